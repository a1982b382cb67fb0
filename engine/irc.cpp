#include "irc.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <AppPrefs.h>
#include <Backlog.h>
#include <Prefs.h>

#include "DebugTarget.h"
#include "IrcCodes.h"
#include "Transport.h"
#include "format.h"

namespace
{

const int16 kDefaultEncoding = 14; // Windows code page 1252
// How long the destructor lets the server close the connection after QUIT.
const bigtime_t kQuitWait = 3000000;
// How long unsent bytes may make no progress: a server that reads nothing
// for this long is not coming back.
const bigtime_t kStallTimeout = 60000000;
std::atomic<bigtime_t> sStallTimeout{kStallTimeout};
// How long a connection may be silent before it is sent a PING, and then
// before it counts as lost.
const bigtime_t kSilenceTimeout = 120000000;
std::atomic<bigtime_t> sSilenceTimeout{kSilenceTimeout};
const char kSilencePing[] = "PING :Pelmor\n";
// The window's lines: a burst of this many, then one per interval.
const int32 kPaceBurst = 5;
const bigtime_t kPaceInterval = 2000000;
std::atomic<int32> sPaceBurst{kPaceBurst};
std::atomic<bigtime_t> sPaceInterval{kPaceInterval};
// How long a TLS handshake may take: a server that accepts the connection
// and then says nothing (a stalled one, or a plain port that waits for a
// line) is given up after this. A handshake takes a few round trips, well
// under a second even on slow links; a user who wrote TLS for a plain port
// should not wait long to hear so.
const bigtime_t kHandshakeTimeout = 10000000;
std::atomic<bigtime_t> sHandshakeTimeout{kHandshakeTimeout};
// How often a paused reader looks at the backlog when it has no
// descriptor to wait on (eventfd failed).
const int kBacklogPollMs = 10;

const char kOverflowText[] = "ERROR : more than 64 KB waiting to be sent, connection closed\n";
const char kStallText[] = "ERROR : the server stopped reading, connection closed\n";
const char kSendText[] = "ERROR : send()\n";
const char kQueueFullText[] =
    "ERROR : more than 64 KB of lines waiting for their turn to be sent, line dropped\n";

// The engine whose network thread this is: its lines go ahead of the
// window's.
thread_local const irc* tNetworkEngine = nullptr;
// Tells engines apart for the lifetime of the program, even when one is made
// where another was deleted.
std::atomic<uint64> sNextEngineId{1};

void copy_bounded(char* to, const char* from, size_t size)
{
    snprintf(to, size, "%s", from != nullptr ? from : "");
}

std::atomic<irc::lookup_function> sLookup{getaddrinfo};

// A name lookup that the engine can walk away from: getaddrinfo cannot be
// interrupted, so it runs on a detached thread that owns its half of this
// record and touches nothing else.
struct Lookup {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::vector<struct sockaddr_storage> addresses;
    std::string host;
};

void* run_lookup(void* data)
{
    std::shared_ptr<Lookup> lookup(*static_cast<std::shared_ptr<Lookup>*>(data));
    delete static_cast<std::shared_ptr<Lookup>*>(data);
    struct addrinfo hints {
    };
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* result = nullptr;
    int error = sLookup.load()(lookup->host.c_str(), nullptr, &hints, &result);
    std::lock_guard<std::mutex> guard(lookup->lock);
    for (struct addrinfo* at = error == 0 ? result : nullptr; at != nullptr; at = at->ai_next) {
        if (at->ai_addr == nullptr || (at->ai_family != AF_INET && at->ai_family != AF_INET6) ||
            at->ai_addrlen > sizeof(struct sockaddr_storage))
            continue;
        struct sockaddr_storage address {
        };
        memcpy(&address, at->ai_addr, at->ai_addrlen);
        lookup->addresses.push_back(address);
    }
    if (result != nullptr)
        freeaddrinfo(result);
    lookup->done = true;
    lookup->finished.notify_all();
    return nullptr;
}

} // namespace

irc::irc(BLooper* looper)
    : BHandler("irc"), m_looper(looper),
      m_backlog(std::make_shared<BPrivate::Backlog>(IRC_BACKLOG_RESUME)), m_addr{}, m_socket(-1),
      m_tls(false), m_got_line(false),
      m_peer_closed(false), m_server{}, m_cur_nick{}, m_user{}, m_port{}, m_port_num(0), m_line{},
      m_thread(-1), m_quit(false), m_closing(false), m_thread_done(false),
      m_wake_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_send_open(false), m_window_bytes(0),
      m_pace_tokens(0), m_pace_time(0), m_socket_full(false), m_send_progress(0),
      m_send_overflow(false), m_unsent(0), m_head_sent(0), m_paused(false), m_rbuf{}, m_rpos(0),
      m_rlen(0), m_ctcp_window_start(0), m_ctcp_answers(0), m_ctcp_dropping(false),
      m_id(sNextEngineId++)
{
    m_thread = spawn_thread(net_irc_thread_stub, "irc_thread", B_NORMAL_PRIORITY, this);
}

irc::~irc()
{
    msg_info("QUITING...\n");
    // The window's thread waits here, so its queue cannot drain: a reader
    // paused for it would never see the server close after QUIT.
    m_closing = true;
    wake();
    if (queue_line("QUIT\n", true)) {
        // The server closes the connection after QUIT, which ends the
        // reader; a server that does not, or that does not even take the
        // QUIT, is left after this long.
        std::unique_lock<std::mutex> lock(m_done_lock);
        m_done.wait_for(lock, std::chrono::microseconds(kQuitWait),
                        [this] { return m_thread_done; });
    }
    m_quit = true;
    wake();
    if (m_thread >= 0)
        wait_for_thread(m_thread, nullptr);
    int s = m_socket.exchange(-1);
    if (s != -1)
        close(s);
    if (m_wake_fd >= 0)
        close(m_wake_fd);
    post_info("READY.\n", true);
}

void irc::setup(const char* server, const char* user, const char* port)
{
    copy_bounded(m_server, server, sizeof(m_server));
    copy_bounded(m_user, user, sizeof(m_user));
    copy_bounded(m_port, port, sizeof(m_port));
}

void irc::set_sasl(const char* account, const char* password)
{
    std::lock_guard<std::mutex> lock(m_nick_lock);
    m_sasl_account = account != nullptr ? account : "";
    m_sasl_password = password != nullptr ? password : "";
}

void irc::set_send_pacing(int32 burst, bigtime_t interval)
{
    if (burst <= 0 && interval <= 0) {
        burst = kPaceBurst;
        interval = kPaceInterval;
    }
    sPaceBurst = std::max<int32>(burst, 1);
    sPaceInterval = std::max<bigtime_t>(interval, 0);
}

void irc::set_tls(bool tls, const char* accepted)
{
    m_tls = tls;
    m_tls_accepted = accepted != nullptr ? accepted : "";
}

void irc::set_handshake_timeout(bigtime_t timeout)
{
    sHandshakeTimeout = timeout > 0 ? timeout : kHandshakeTimeout;
}

void irc::set_tls_ca_file(const char* path)
{
    Transport::set_extra_ca_file(path);
}

void irc::set_lookup_function(lookup_function function)
{
    sLookup = function != nullptr ? function : getaddrinfo;
}

void irc::set_stall_timeout(bigtime_t timeout)
{
    sStallTimeout = timeout > 0 ? timeout : kStallTimeout;
}

void irc::set_silence_timeout(bigtime_t timeout)
{
    sSilenceTimeout = timeout > 0 ? timeout : kSilenceTimeout;
}

int32 irc::unhandled_messages() const
{
    return m_backlog->Count();
}

size_t irc::unsent_bytes() const
{
    return m_unsent.load();
}

bool irc::start()
{
    resume_thread(m_thread);
    return true;
}

const char* irc::get_cur_nick() const
{
    size_t length;
    return cur_nick(&length);
}

const char* irc::cur_nick(size_t* length) const
{
    // Each thread keeps its own copy (the parser asks for every line) and
    // copies again under the lock only once the nickname changed.
    thread_local struct {
        uint64 engine = 0;
        uint32 changes = 0;
        size_t length = 0;
        char nick[sizeof(m_cur_nick)];
    } seen;
    if (seen.engine != m_id || seen.changes != m_nick_changes.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(m_nick_lock);
        memcpy(seen.nick, m_cur_nick, sizeof(seen.nick));
        seen.length = strnlen(seen.nick, sizeof(seen.nick) - 1);
        seen.engine = m_id;
        seen.changes = m_nick_changes.load(std::memory_order_relaxed);
    }
    *length = seen.length;
    return seen.nick;
}

void irc::set_cur_nick(const char* nick, size_t length)
{
    char copy[sizeof(m_cur_nick) + 4];
    length = std::min(length, sizeof(copy) - 1);
    memcpy(copy, nick, length);
    copy[length] = '\0';
    set_cur_nick(copy);
}

void irc::set_cur_nick(const char* nick)
{
    std::lock_guard<std::mutex> lock(m_nick_lock);
    // Cut at 31 bytes, but never inside a UTF-8 character.
    size_t length = strnlen(nick, sizeof(m_cur_nick) - 1);
    if (nick[length] != '\0') {
        while (length > 0 && (static_cast<unsigned char>(nick[length]) & 0xC0) == 0x80)
            length--;
    }
    memcpy(m_cur_nick, nick, length);
    m_cur_nick[length] = '\0';
    m_nick_changes.store(m_nick_changes.load(std::memory_order_relaxed) + 1,
                         std::memory_order_release);
}

void irc::msg_info(const char* text)
{
    post_info(text, false);
}

void irc::post_info(const char* text, bool always)
{
    BMessage message(MSG_INF);
    message.AddString("txt", text);
    post(&message, always);
}

bool irc::dropping() const
{
    // Only while the destructor waits for the server to close: the window
    // handles nothing then, and a server that floods after QUIT must not
    // fill memory.
    return m_closing.load(std::memory_order_relaxed) && m_backlog->Count() > IRC_BACKLOG_PAUSE;
}

void irc::post(BMessage* message, bool always)
{
    if (!always && dropping())
        return;
    m_looper->_PostCounted(message, m_backlog);
}

void irc::post_debug(const char* text)
{
    if (!g_debug.IsSet() || dropping())
        return;
    BMessage debug(MSG_DBG);
    debug.AddString("debug", text);
    g_debug.Post(&debug, m_backlog);
}

void irc::wake()
{
    if (m_wake_fd >= 0) {
        uint64_t one = 1;
        ssize_t ignored = write(m_wake_fd, &one, sizeof(one));
        (void)ignored;
    }
}

int16 irc::current_encoding() const
{
    return app_encoding(kDefaultEncoding);
}

// -- the network thread --------------------------------------------------------

int32 irc::net_irc_thread_stub(void* data)
{
    static_cast<irc*>(data)->net_irc_thread();
    return 0;
}

int32 irc::net_irc_thread()
{
    // Deleted before it was started: nothing happened, nothing to report.
    if (m_quit.load())
        return 0;

    tNetworkEngine = this;
    // OpenSSL writes with write(): a peer gone must be an error, not a
    // signal that ends the process.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    char line[IRC_LINE_SIZE] = {};
    msg_info("start thread\n");
    msg_info("conect to server ...\n");

    if (!resolve(&m_addr)) {
        if (!m_quit.load())
            msg_info("ERROR : gethostbyname()\n");
    } else if (connect_socket() && start_transport()) {
        msg_from_srv("conected\n");
        if (!connectclient()) {
            msg_info("ERROR : connectclient()\n");
        } else {
            BMessage nick(MSG_IRC);
            nick.AddString("params", "nick\n");
            nick.AddInt16("code", 433);
            post(&nick);

            for (;;) {
                char* text;
                size_t length;
                bool plain;
                if (!read_line(line, &text, &length, &plain))
                    break;
                if (m_cap.Active() && negotiate(text, length))
                    continue;
                const bool prefixed = length > 0 && text[0] == ':';
                post_srv(text, length, plain);
                // A line without a sender is dropped by the parser; but the
                // user must learn why a server closes the link (ERROR).
                if (!server_spec(text) && !prefixed && length > 0)
                    post_info(text, false);
            }
            if (m_peer_closed && !m_got_line && !m_tls && !m_closing.load())
                post_info("ERROR : the server closed the connection before it sent a line; if "
                          "this is a TLS port, write host:+port or ircs://host:port\n",
                          false);
        }
    }

    close_output();
    m_transport.reset();
    int s = m_socket.exchange(-1);
    if (s != -1)
        close(s);
    post_info("exit thread\n", true);
    BMessage end(MSG_CON);
    end.AddBool("no_continue", true);
    // Which engine ended: its window may have started another meanwhile.
    end.AddPointer("engine", this);
    // Whether the user ended it: such an end is not tried again.
    end.AddBool("user_quit", m_user_quit.load());
    // Whether another attempt would end the same way.
    end.AddBool("final", m_final.load());
    post(&end, true);
    std::lock_guard<std::mutex> lock(m_done_lock);
    m_thread_done = true;
    m_done.notify_all();
    return 0;
}

bool irc::resolve(std::vector<struct sockaddr_storage>* addresses)
{
    addresses->clear();

    auto lookup = std::make_shared<Lookup>();
    lookup->host = m_server;
    auto* handoff = new std::shared_ptr<Lookup>(lookup);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int error = pthread_create(&thread, &attributes, run_lookup, handoff);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete handoff;
        return false;
    }

    std::unique_lock<std::mutex> lock(lookup->lock);
    while (!lookup->done) {
        if (m_quit.load())
            return false; // the lookup finishes on its own and frees itself
        lookup->finished.wait_for(lock, std::chrono::milliseconds(20));
    }
    *addresses = lookup->addresses;
    return !addresses->empty();
}

bool irc::connect_socket()
{
    char* end = nullptr;
    long port = strtol(m_port, &end, 10);
    m_port_num = int32(port);
    // A port that is not a number from 1 to 65535 cannot be connected to;
    // taking its low 16 bits would quietly dial a different one.
    bool validPort = end != m_port && *end == '\0' && port >= 1 && port <= 65535;

    // Each address in turn until one takes the connection: a name often
    // has an IPv6 and an IPv4 address, and only one may be served.
    int s = -1;
    bool connected = false;
    for (size_t i = 0; validPort && !connected && i < m_addr.size() && !m_quit.load(); i++) {
        struct sockaddr_storage address = m_addr[i];
        socklen_t length;
        if (address.ss_family == AF_INET6) {
            reinterpret_cast<struct sockaddr_in6*>(&address)->sin6_port = htons(uint16_t(port));
            length = sizeof(struct sockaddr_in6);
        } else {
            reinterpret_cast<struct sockaddr_in*>(&address)->sin_port = htons(uint16_t(port));
            length = sizeof(struct sockaddr_in);
        }
        s = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (s < 0)
            continue;
        int result = ::connect(s, reinterpret_cast<struct sockaddr*>(&address), length);
        if (result == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            struct pollfd fds[2] = {{s, POLLOUT, 0}, {m_wake_fd, POLLIN, 0}};
            while (!m_quit.load()) {
                int ready = poll(fds, 2, -1);
                if (ready < 0 && errno == EINTR)
                    continue;
                if (ready > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
                    int error = 0;
                    socklen_t size = sizeof(error);
                    connected =
                        getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
                }
                break;
            }
        }
        if (!connected) {
            close(s);
            s = -1;
        }
    }
    if (!connected) {
        if (!m_quit.load())
            msg_info("ERROR : connect()\n");
        return false;
    }
    m_socket = s;
    return true;
}

bool irc::start_transport()
{
    const int s = m_socket.load();
    m_transport.reset(new Transport(s));
    if (m_tls) {
        if (!m_transport->StartTls(m_server, m_tls_accepted.c_str())) {
            post_info(("ERROR : TLS: " + m_transport->Error() + "\n").c_str(), true);
            return false;
        }
        msg_info("TLS handshake ...\n");
        const bigtime_t deadline = system_time() + sHandshakeTimeout.load();
        for (;;) {
            if (m_quit.load())
                return false;
            Transport::Result result = m_transport->Handshake();
            if (result == Transport::kDone)
                break;
            if (result != Transport::kWantRead && result != Transport::kWantWrite) {
                report_handshake_failure();
                return false;
            }
            bigtime_t left = deadline - system_time();
            if (left <= 0) {
                char text[256];
                snprintf(text, sizeof(text),
                         "ERROR : TLS handshake timed out: no answer in %g s (if this is a "
                         "plain port, write host:port)\n",
                         double(sHandshakeTimeout.load()) / 1e6);
                post_info(text, true);
                return false;
            }
            struct pollfd fds[2] = {{s, m_transport->ReadEvents(), 0}, {m_wake_fd, POLLIN, 0}};
            int ready = poll(fds, 2, int(std::min<bigtime_t>((left + 999) / 1000, INT_MAX)));
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
                uint64_t count;
                ssize_t ignored = read(m_wake_fd, &count, sizeof(count));
                (void)ignored;
            }
        }
        msg_info(("TLS: " + m_transport->Description() + "\n").c_str());
    }
    std::lock_guard<std::mutex> guard(m_send_lock);
    m_send_open = true;
    return true;
}

void irc::report_handshake_failure()
{
    const Transport& transport = *m_transport;
    std::string text;
    if (transport.CertificateRefused()) {
        m_final = true;
        text = "ERROR : TLS certificate refused: " + transport.Error() + "\n";
        post_info(text.c_str(), true);
        if (!transport.Fingerprint().empty()) {
            post_info(("certificate SHA-256 fingerprint " + transport.Fingerprint() + "\n").c_str(),
                      true);
            BMessage refused(MSG_TLS_CERT);
            refused.AddString("server", m_server);
            refused.AddString("reason", transport.Error().c_str());
            refused.AddString("fingerprint", transport.Fingerprint().c_str());
            refused.AddPointer("engine", this);
            post(&refused, true);
        }
        return;
    }
    m_final = transport.PeerNotTls();
    if (transport.PeerNotTls())
        text = "ERROR : TLS handshake failed: the server does not speak TLS here (" +
               transport.Error() + "); if this is a plain port, write host:port\n";
    else
        text = "ERROR : TLS handshake failed: " + transport.Error() + "\n";
    post_info(text.c_str(), true);
}

bool irc::connectclient()
{
    char host[65] = {};
    if (gethostname(host, sizeof(host) - 1) != 0)
        strcpy(host, "localhost");
    // The server's name stands in the middle of the line: an IPv6 address
    // such as "::1" would start the trailing parameter there, and servers
    // ignore the field, so such a name goes as "*".
    const char* server = m_server[0] == ':' || strchr(m_server, ' ') != nullptr ? "*" : m_server;
    std::string account, password;
    {
        std::lock_guard<std::mutex> lock(m_nick_lock);
        account = m_sasl_account;
        password = m_sasl_password;
    }
    // Servers that know CAP hold the registration until "CAP END"; the
    // others answer 421 or register the client as always.
    std::string open = m_cap.Start(account, password);
    if (!writeln(open.c_str())) {
        msg_info("ERROR : writeln ()");
        return false;
    }
    format_line(m_line, sizeof(m_line), "USER %s %s %s :%s\n", m_user, host, server, "INFO");
    msg_from_srv(m_line);
    if (!writeln(m_line)) {
        msg_info("ERROR : writeln ()");
        return false;
    }
    return true;
}

bool irc::check_silence(bigtime_t* left)
{
    const bigtime_t limit = sSilenceTimeout.load();
    const bigtime_t now = system_time();
    if (m_last_heard == 0)
        m_last_heard = now;
    const bigtime_t silent = now - m_last_heard;
    if (silent >= 2 * limit) {
        char text[128];
        snprintf(text, sizeof(text),
                 "ERROR : no answer from the server for %g s, connection closed\n",
                 double(2 * limit) / 1000000);
        post_info(text, true);
        return false;
    }
    if (silent >= limit && !m_ping_sent) {
        m_ping_sent = true;
        writeln(kSilencePing);
    }
    *left = m_last_heard + (m_ping_sent ? 2 * limit : limit) - now;
    return true;
}

bool irc::wait_readable()
{
    const int s = m_socket.load();
    for (;;) {
        if (m_quit.load())
            return false;
        bigtime_t silenceLeft;
        if (!check_silence(&silenceLeft))
            return false;
        bool pending;
        bigtime_t pacedUntil;
        flush_output(&pending, &pacedUntil);
        if (m_send_overflow.load()) {
            post_info(kOverflowText, true);
            return false;
        }
        int timeout = -1;
        if (pending) {
            bigtime_t progress;
            {
                std::lock_guard<std::mutex> guard(m_send_lock);
                progress = m_send_progress;
            }
            bigtime_t left = progress + sStallTimeout.load() - system_time();
            if (left <= 0) {
                post_info(kStallText, true);
                return false;
            }
            timeout = int(std::min<bigtime_t>((left + 999) / 1000, INT_MAX));
        }
        if (pacedUntil > 0) {
            bigtime_t wait = std::max<bigtime_t>(pacedUntil - system_time(), 0);
            int ms = int(std::min<bigtime_t>((wait + 999) / 1000, INT_MAX));
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        }
        bool paused = backlog_full();
        // Bytes OpenSSL has already taken off the socket wake no poll.
        if (!paused && m_transport->Buffered())
            return true;
        if (!paused) {
            int silenceMs = int(std::min<bigtime_t>((silenceLeft + 999) / 1000, INT_MAX));
            timeout = timeout < 0 ? silenceMs : std::min(timeout, silenceMs);
        }
        if (paused && m_backlog->Descriptor() < 0)
            timeout = timeout < 0 ? kBacklogPollMs : std::min(timeout, kBacklogPollMs);
        // Paused, the socket is watched only for room to write: its data
        // stays where it is, and its hang-up is found once reading resumes.
        const short readEvents = m_transport->ReadEvents();
        short events =
            short((paused ? 0 : readEvents) | (pending ? m_transport->WriteEvents() : 0));
        struct pollfd fds[3] = {{events != 0 ? s : -1, events, 0},
                                {m_wake_fd, POLLIN, 0},
                                {paused ? m_backlog->Descriptor() : -1, POLLIN, 0}};
        int ready = poll(fds, 3, timeout);
        if (paused) {
            // Reading nothing by our own choice is no silence of the server:
            // the clock starts again when the reader does.
            m_last_heard = system_time();
            m_ping_sent = false;
        }
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            uint64_t count;
            ssize_t ignored = read(m_wake_fd, &count, sizeof(count));
            (void)ignored;
        }
        if (!paused && (fds[0].revents & (readEvents | POLLHUP | POLLERR)) != 0)
            return true;
    }
}

bool irc::backlog_full()
{
    if (m_closing.load()) {
        m_paused = false;
        return false;
    }
    if (!m_paused) {
        if (m_backlog->Count() <= IRC_BACKLOG_PAUSE)
            return false;
        m_paused = true;
    }
    m_backlog->Arm();
    m_paused = m_backlog->Count() > IRC_BACKLOG_RESUME;
    return m_paused;
}

void irc::flush_output(bool* pending, bigtime_t* paced_until)
{
    *pending = false;
    *paced_until = 0;
    if (m_unsent.load() == 0)
        return;
    for (;;) {
        if (m_head_sent == m_head.size()) {
            // Between lines: the thread's own answers first, then the
            // window's as their pace allows.
            std::lock_guard<std::mutex> guard(m_send_lock);
            m_head.clear();
            m_head_sent = 0;
            if (!m_own_lines.empty()) {
                m_head.swap(m_own_lines.front());
                m_own_lines.pop_front();
            } else if (!m_window_lines.empty()) {
                const bigtime_t interval = sPaceInterval.load();
                const double burst = double(sPaceBurst.load());
                const bigtime_t now = system_time();
                if (interval <= 0 || m_pace_time == 0) {
                    m_pace_tokens = burst;
                } else {
                    m_pace_tokens = std::min(burst, m_pace_tokens + double(now - m_pace_time) /
                                                                        double(interval));
                }
                m_pace_time = now;
                if (m_pace_tokens < 1.0) {
                    *paced_until = now + bigtime_t((1.0 - m_pace_tokens) * double(interval)) + 1;
                    return;
                }
                if (interval > 0)
                    m_pace_tokens -= 1.0;
                m_head.swap(m_window_lines.front());
                m_window_lines.pop_front();
                m_window_bytes -= m_head.size();
            } else {
                return;
            }
        }
        size_t sent = 0;
        Transport::Result result =
            m_transport->Write(m_head.data() + m_head_sent, m_head.size() - m_head_sent, &sent);
        if (result == Transport::kDone) {
            m_head_sent += sent;
            std::lock_guard<std::mutex> guard(m_send_lock);
            m_unsent -= sent;
            m_send_progress = system_time();
            m_socket_full = false;
            continue;
        }
        // A TLS write may also wait for the socket to be readable.
        if (result == Transport::kWantWrite || result == Transport::kWantRead) {
            std::lock_guard<std::mutex> guard(m_send_lock);
            m_socket_full = true;
            if (m_unsent.load() > IRC_SEND_LIMIT) {
                m_send_open = false;
                m_send_overflow = true;
            }
            *pending = true;
            return;
        }
        // The rest of the head can never follow, so nothing more may be
        // written after it. The reader goes on: what the server sent before
        // it went away is still worth showing, and it ends the connection.
        close_output();
        post_info(kSendText, true);
        return;
    }
}

void irc::close_output()
{
    {
        std::lock_guard<std::mutex> guard(m_send_lock);
        m_send_open = false;
        m_own_lines.clear();
        m_window_lines.clear();
        m_window_bytes = 0;
        m_unsent = 0;
    }
    m_head.clear();
    m_head_sent = 0;
}

bool irc::fill_buffer()
{
    if (!m_transport)
        return false; // never connected
    for (;;) {
        if (!wait_readable())
            return false;
        size_t got = 0;
        Transport::Result result = m_transport->Read(m_rbuf, sizeof(m_rbuf), &got);
        if (result == Transport::kDone) {
            m_last_heard = system_time();
            m_ping_sent = false;
            m_rpos = 0;
            m_rlen = got;
            return true;
        }
        if (result == Transport::kWantRead || result == Transport::kWantWrite)
            continue;
        // Closed by the server, or failed.
        m_peer_closed = true;
        if (result == Transport::kFailed && m_transport->IsTls() && !m_closing.load())
            post_info(("ERROR : TLS: " + m_transport->Error() + "\n").c_str(), false);
        return false;
    }
}

// -- reading and writing lines ---------------------------------------------------

bool irc::readln(char* line)
{
    char* text;
    size_t length;
    bool plain;
    if (!read_line(line, &text, &length, &plain))
        return false;
    if (text != line)
        memcpy(line, text, length + 1);
    return true;
}

bool irc::read_line(char* buffer, char** line, size_t* length, bool* plain)
{
    m_splitter.Reset();
    for (;;) {
        if (m_rpos == m_rlen && !fill_buffer())
            return false;
        char* data = m_rbuf + m_rpos;
        bool complete = m_splitter.Next(&data, m_rbuf + m_rlen);
        m_rpos = size_t(data - m_rbuf);
        if (complete)
            break;
    }
    m_got_line = true;
    *line = utf8_line(m_splitter, current_encoding(), buffer, length);
    *plain = *line == m_splitter.PlainLine();
    return true;
}

bool irc::writeln(const char* line)
{
    return queue_line(line, tNetworkEngine == this);
}

bool irc::queue_line(const char* line, bool urgent, const char* debug_text)
{
    if (line == nullptr || *line == '\0')
        return false;
    char wire[LINE_MAX_WIRE + 1];
    size_t length = line_to_wire(current_encoding(), line, wire);
    size_t unsent;
    bool queueFull;
    {
        std::lock_guard<std::mutex> guard(m_send_lock);
        if (!m_send_open)
            return false;
        unsent = m_unsent.load();
        // Lines waiting for their turn are the user's: refuse more than
        // the limit, but keep the connection.
        queueFull = !urgent && sPaceInterval.load() > 0 && m_window_bytes + length > IRC_SEND_LIMIT;
        if (!queueFull) {
            // A burst from a window may run ahead of the network thread;
            // what counts is what the socket does not take.
            if (m_socket_full && unsent + length > IRC_SEND_LIMIT) {
                // The network thread closes the connection and says why.
                m_send_open = false;
                m_send_overflow = true;
                wake();
                return false;
            }
            (urgent ? m_own_lines : m_window_lines).emplace_back(wire, length);
            if (!urgent)
                m_window_bytes += length;
            if (unsent == 0)
                m_send_progress = system_time();
            m_unsent = unsent + length;
        }
    }
    if (queueFull) {
        post_info(kQueueFullText, false);
        return false;
    }
    post_debug(debug_text != nullptr ? debug_text : wire);
    // The network thread writes its own lines before it next waits; it
    // hears of another thread's when they are the first to wait (it is then
    // perhaps asleep without an eye on the socket's room) or go ahead of
    // paced ones.
    if (tNetworkEngine != this && (unsent == 0 || urgent))
        wake();
    return true;
}

bool irc::negotiate(const char* line, size_t length)
{
    CapNegotiation::Result result;
    if (!m_cap.Feed(line, length, &result))
        return false;
    char copy[IRC_LINE_SIZE];
    size_t n = std::min(length, sizeof(copy) - 1);
    memcpy(copy, line, n);
    copy[n] = '\0';
    post_debug(copy);
    for (const std::string& text : result.send) {
        // The login's base64 is the password in all but name.
        const bool secret = text.compare(0, 13, "AUTHENTICATE ") == 0 &&
                            text != "AUTHENTICATE +\n" && text != "AUTHENTICATE PLAIN\n" &&
                            text != "AUTHENTICATE *\n";
        queue_line(text.c_str(), true, secret ? "AUTHENTICATE (login hidden)\n" : nullptr);
    }
    for (const std::string& note : result.notes)
        post_info(note.c_str(), false);
    return true;
}

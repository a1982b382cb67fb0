#include "irc.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <AppPrefs.h>
#include <Prefs.h>

#include "DebugTarget.h"
#include "IrcCodes.h"
#include "format.h"

namespace
{

const int16 kDefaultEncoding = 14; // Windows code page 1252
// How long the destructor lets the server close the connection after QUIT.
const bigtime_t kQuitWait = 3000000;
// How long a write may wait for room in the socket before it gives up.
const int kWriteTimeoutMs = 10000;
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
    bool found = false;
    struct in_addr address {
    };
    std::string host;
};

void* run_lookup(void* data)
{
    std::shared_ptr<Lookup> lookup(*static_cast<std::shared_ptr<Lookup>*>(data));
    delete static_cast<std::shared_ptr<Lookup>*>(data);
    struct addrinfo hints {
    };
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* result = nullptr;
    int error = sLookup.load()(lookup->host.c_str(), nullptr, &hints, &result);
    std::lock_guard<std::mutex> guard(lookup->lock);
    if (error == 0 && result != nullptr && result->ai_addr != nullptr) {
        lookup->found = true;
        lookup->address = reinterpret_cast<struct sockaddr_in*>(result->ai_addr)->sin_addr;
    }
    if (result != nullptr)
        freeaddrinfo(result);
    lookup->done = true;
    lookup->finished.notify_all();
    return nullptr;
}

} // namespace

irc::irc(BLooper* looper)
    : BHandler("irc"), m_looper(looper), m_addr{},
      m_socket(-1), m_server{}, m_cur_nick{}, m_user{}, m_port{}, m_port_num(0), m_line{},
      m_thread(-1), m_quit(false), m_thread_done(false),
      m_wake_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_rbuf{}, m_rpos(0), m_rlen(0),
      m_ctcp_window_start(0), m_ctcp_answers(0), m_ctcp_dropping(false), m_id(sNextEngineId++)
{
    m_thread = spawn_thread(net_irc_thread_stub, "irc_thread", B_NORMAL_PRIORITY, this);
}

irc::~irc()
{
    msg_info("QUITING...\n");
    if (m_socket.load() != -1) {
        writeln("QUIT\n");
        // The server closes the connection after QUIT, which ends the
        // reader; a server that does not is cut off.
        std::unique_lock<std::mutex> lock(m_done_lock);
        if (!m_done.wait_for(lock, std::chrono::microseconds(kQuitWait),
                             [this] { return m_thread_done; })) {
            std::lock_guard<std::mutex> guard(m_write_lock);
            int s = m_socket.load();
            if (s != -1)
                shutdown(s, SHUT_RDWR);
        }
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
    msg_info("READY.\n");
}

void irc::setup(const char* server, const char* user, const char* port)
{
    copy_bounded(m_server, server, sizeof(m_server));
    copy_bounded(m_user, user, sizeof(m_user));
    copy_bounded(m_port, port, sizeof(m_port));
}

void irc::set_lookup_function(lookup_function function)
{
    sLookup = function != nullptr ? function : getaddrinfo;
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
    BMessage message(MSG_INF);
    message.AddString("txt", text);
    m_looper->PostMessage(&message);
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

    char line[IRC_LINE_SIZE] = {};
    msg_info("start thread\n");
    msg_info("conect to server ...\n");

    if (!resolve(&m_addr)) {
        if (!m_quit.load())
            msg_info("ERROR : gethostbyname()\n");
    } else if (connect_socket()) {
        msg_from_srv("conected\n");
        if (!connectclient()) {
            msg_info("ERROR : connectclient()\n");
        } else {
            BMessage nick(MSG_IRC);
            nick.AddString("params", "nick\n");
            nick.AddInt16("code", 433);
            m_looper->PostMessage(&nick);

            for (;;) {
                if (m_rpos == m_rlen && !wait_readable())
                    break;
                char* text;
                size_t length;
                bool plain;
                if (!read_line(line, &text, &length, &plain))
                    break;
                post_srv(text, length, plain);
                server_spec(text);
            }
        }
    }

    {
        std::lock_guard<std::mutex> guard(m_write_lock);
        int s = m_socket.exchange(-1);
        if (s != -1)
            close(s);
    }
    msg_info("exit thread\n");
    BMessage end(MSG_CON);
    end.AddBool("no_continue", true);
    m_looper->PostMessage(&end);
    std::lock_guard<std::mutex> lock(m_done_lock);
    m_thread_done = true;
    m_done.notify_all();
    return 0;
}

bool irc::resolve(struct sockaddr_in* address)
{
    memset(address, 0, sizeof(*address));
    address->sin_family = AF_INET;

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
    if (!lookup->found)
        return false;
    address->sin_addr = lookup->address;
    return true;
}

bool irc::connect_socket()
{
    char* end = nullptr;
    long port = strtol(m_port, &end, 10);
    m_port_num = int32(port);
    // A port that is not a number from 1 to 65535 cannot be connected to;
    // taking its low 16 bits would quietly dial a different one.
    bool validPort = end != m_port && *end == '\0' && port >= 1 && port <= 65535;
    m_addr.sin_port = htons(uint16_t(port));

    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        msg_info("ERROR : socket()\n");
        return false;
    }
    bool connected = false;
    if (validPort) {
        int result = ::connect(s, reinterpret_cast<struct sockaddr*>(&m_addr), sizeof(m_addr));
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
                    socklen_t length = sizeof(error);
                    connected =
                        getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
                }
                break;
            }
        }
    }
    if (!connected) {
        close(s);
        if (!m_quit.load())
            msg_info("ERROR : connect()\n");
        return false;
    }
    std::lock_guard<std::mutex> guard(m_write_lock);
    m_socket = s;
    return true;
}

bool irc::connectclient()
{
    char host[65] = {};
    if (gethostname(host, sizeof(host) - 1) != 0)
        strcpy(host, "localhost");
    format_line(m_line, sizeof(m_line), "USER %s %s %s :%s\n", m_user, host, m_server, "INFO");
    msg_from_srv(m_line);
    if (!writeln(m_line)) {
        msg_info("ERROR : writeln ()");
        return false;
    }
    return true;
}

bool irc::wait_readable()
{
    int s = m_socket.load();
    struct pollfd fds[2] = {{s, POLLIN, 0}, {m_wake_fd, POLLIN, 0}};
    while (!m_quit.load()) {
        int ready = poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            return true;
        if ((fds[1].revents & POLLIN) != 0) {
            uint64_t count;
            ssize_t ignored = read(m_wake_fd, &count, sizeof(count));
            (void)ignored;
        }
    }
    return false;
}

bool irc::fill_buffer()
{
    for (;;) {
        if (!wait_readable())
            return false;
        ssize_t got = recv(m_socket.load(), m_rbuf, sizeof(m_rbuf), 0);
        if (got > 0) {
            m_rpos = 0;
            m_rlen = size_t(got);
            return true;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        return false; // closed by the server, or failed
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
    *line = utf8_line(m_splitter, current_encoding(), buffer, length);
    *plain = *line == m_splitter.PlainLine();
    return true;
}

bool irc::writeln(const char* line)
{
    if (line == nullptr || *line == '\0')
        return false;
    std::lock_guard<std::mutex> guard(m_write_lock);
    int s = m_socket.load();
    if (s == -1)
        return false;

    char wire[LINE_MAX_WIRE + 1];
    size_t wireLength = line_to_wire(current_encoding(), line, wire);

    if (g_debug.IsSet()) {
        BMessage debug(MSG_DBG);
        debug.AddString("debug", wire);
        g_debug.Post(&debug);
    }

    size_t sent = 0;
    bigtime_t deadline = system_time() + bigtime_t(kWriteTimeoutMs) * 1000;
    while (sent < wireLength) {
        ssize_t result = send(s, wire + sent, wireLength - sent, MSG_NOSIGNAL);
        if (result > 0) {
            sent += size_t(result);
            continue;
        }
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A server that reads nothing must not freeze the window for
            // longer than this.
            int left = int((deadline - system_time()) / 1000);
            struct pollfd fd = {s, POLLOUT, 0};
            if (left > 0 && poll(&fd, 1, left) > 0)
                continue;
        }
        return false;
    }
    return true;
}

#pragma once

// The protocol engine: one connection to one IRC server.
//
// The engine is a handler in its server window's looper; commands reach it
// there as 'irc' messages with "cmd" and are translated and queued from
// that thread. Its own network thread resolves the server, connects, sends
// the registration line and then reads the server's lines, answering PING
// and CTCP queries itself and posting every line to the window as a
// classified 'irc' message, and every status line as 'inf'. When the
// connection ends the thread posts 'con' with "no_continue".
//
// The thread never blocks where it cannot be woken: resolution runs on a
// helper thread that the engine can walk away from, and every wait on the
// socket also watches a wake-up descriptor. Deleting the engine in any state
// therefore stops its thread and joins it within the three seconds it
// gives the server to close after QUIT, and at once when there is no
// connection to quit. Lines are read in
// blocks, but handed out one at a time by the same rules as a byte-by-byte
// reader. Every outgoing line is cleaned of CR and NUL, cut to 510 bytes
// plus its line end, and written whole, so nothing a peer or a paste puts
// into a text can smuggle a second line onto the wire.
//
// Flow control: every message the engine posts is counted in a backlog
// until its looper has handled it. Before it reads the next block the
// network thread looks at the count, and while more than IRC_BACKLOG_PAUSE
// wait it reads nothing until they are down to IRC_BACKLOG_RESUME; TCP
// holds the rest at the server. A window of any speed thus holds at most
// the bound plus one block's lines. The price: a PING behind a paused
// reader is answered only once the window has caught up.
//
// The window thread never waits on the network: writeln converts a line and
// queues it; the network thread writes the queue while the socket takes it,
// without blocking. Its own answers (PONG, CTCP replies) go ahead of the
// window's lines, but only between lines: a line partly written stays at
// the head until it is complete. The window's lines are paced (a burst of
// five, then one every two seconds) so that a paste never gets the user
// disconnected for flooding; the thread's own lines are not. A connection
// with more than IRC_SEND_LIMIT
// bytes unsent while the socket takes nothing, or whose unsent bytes make
// no progress for the stall time (60 s), is closed with a status line;
// window lines beyond IRC_SEND_LIMIT waiting for their turn are refused.
//
// Silence: a connection that has received nothing for the silence time
// (120 s) while the reader was free to read is sent "PING :Pelmor" by the
// network thread; when nothing at all arrives within as long again it
// counts as lost: a status line says so and the connection ends, which
// lets the window try again. While the reader is paused for the window it
// reads nothing, so that time is not counted as silence.
//
// Registration starts with capability negotiation (CapSasl.h), handled on
// the network thread like PING: its lines are not posted.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <vector>

#include <Handler.h>
#include <Looper.h>
#include <OS.h>

#include "CapSasl.h"
#include "LineIO.h"

// A line as the reader delivers it: at most 511 bytes from the server,
// grown by up to three times when converted to UTF-8, and its NUL.
enum { IRC_LINE_SIZE = LINE_MAX_UTF8 + 1, IRC_OUT_SIZE = 512 };

enum {
    // The reader pauses above this many unhandled messages and reads on at
    // the lower level. A waiting message takes about 330 bytes, so a window
    // holds about 330 KB of them at most; at 50 us a message it is at most
    // 50 ms behind the reader. Halfway down, a paused reader wakes once per
    // 500 messages, not once per message.
    IRC_BACKLOG_PAUSE = 1000,
    IRC_BACKLOG_RESUME = 500,
    // Unsent bytes past which a connection is given up once its socket is
    // full: a server that reads nothing must not make the client hold its
    // output without end.
    IRC_SEND_LIMIT = 64 * 1024,
};

namespace BPrivate
{
class Backlog;
}
class Transport;

class irc : public BHandler
{
public:
    explicit irc(BLooper* looper);
    virtual ~irc();

    void MessageReceived(BMessage* message) override;

    // Copies host, user name and port (each cut to 255 bytes).
    void setup(const char* server, const char* user, const char* port);
    // The SASL PLAIN login to offer while registering; none when `account`
    // is empty. Call before start().
    void set_sasl(const char* account, const char* password);
    bool start();
    // Before start(): speak TLS, trusting a certificate that fails
    // verification only when its SHA-256 fingerprint is `accepted`
    // ("AB:CD:...", or empty for none).
    void set_tls(bool tls, const char* accepted = "");

    const char* get_server_name() const { return m_server; }
    // Whether the server has welcomed the client (001) on this connection.
    bool is_registered() const { return m_registered.load(); }
    // The current nickname, copied for the calling thread so that a change
    // in another thread cannot tear it; valid until this thread's next call.
    const char* get_cur_nick() const;

    // Line parsing (network thread).
    void msg_from_srv(const char* line);
    // What msg_from_srv does before it posts: copies the line to the debug
    // window and parses it into `message`; false when there is nothing to
    // post (a CTCP query it answered, a line without a command).
    bool parse_srv(const char* line, BMessage* message);
    // The same on a line of known length in a buffer of the caller's, which
    // it changes: the network thread's way, without a copy. `plain`: the
    // caller knows the line holds no CTCP marker (LineSplitter::PlainLine),
    // so it is not searched for one.
    bool parse_own(char* line, size_t length, BMessage* message, bool plain = false);
    bool extract_msg(char* line, char** prefix, char** command, char** params);
    bool server_msg(char* line, BMessage* message);
    bool server_spec(const char* line);

    // CTCP.
    bool reply_ctcp(char* command, char* prefix, char* ctcp);
    bool prepare_ctcp(const char* text, char* out);

    // Outgoing commands; `out` holds IRC_OUT_SIZE bytes.
    bool prepare_cmd(const char* text, char* out);
    // What MessageReceived sends for a command text: the text made one
    // line, then translated as a CTCP query or a command.
    void translate(const char* text, char* out);

    // Line I/O. `line` holds IRC_LINE_SIZE bytes. writeln queues the line
    // and returns at once: true when it was taken for a live connection.
    // Called on the network thread, the line goes ahead of the window's.
    bool readln(char* line);
    bool writeln(const char* line);
    bool connectclient();
    void msg_info(const char* text);

    static int32 net_irc_thread_stub(void* data);
    int32 net_irc_thread();

    // The name lookup (getaddrinfo unless replaced). Tests replace it to
    // make a lookup hang, which a real resolver does not do on demand.
    typedef int (*lookup_function)(const char* host, const char* service,
                                   const struct addrinfo* hints, struct addrinfo** result);
    static void set_lookup_function(lookup_function function);
    // How long unsent bytes may make no progress before the connection is
    // given up: 60 s, or what tests set (0 restores the 60 s).
    static void set_stall_timeout(bigtime_t timeout);
    // The silence time (see above): 120 s, or what tests set (0 restores
    // the 120 s). Read by each network thread as it waits.
    static void set_silence_timeout(bigtime_t timeout);
    // The pace of the window's lines: `burst` lines at once, then one per
    // `interval`, refilled at that rate (5 and 2 s: servers disconnect
    // clients that send faster). An interval of 0 sends them unpaced, for
    // tests that drive many lines; (0, 0) restores the default.
    static void set_send_pacing(int32 burst, bigtime_t interval);
    // How long a TLS handshake may take: 10 s, or what tests set (0
    // restores the 10 s).
    static void set_handshake_timeout(bigtime_t timeout);
    // A CA file trusted beside the system store, for tests (null: none).
    static void set_tls_ca_file(const char* path);

    // For tests: the engine's messages not yet handled by their loopers,
    // and the bytes queued but not yet taken by the socket.
    int32 unhandled_messages() const;
    // The count of this engine's messages not yet handled. A window that
    // forwards them to other windows posts the copies counted in it too,
    // so the reader waits for the slowest of them.
    const std::shared_ptr<BPrivate::Backlog>& backlog() const { return m_backlog; }
    size_t unsent_bytes() const;

    irc(const irc&) = delete;
    irc& operator=(const irc&) = delete;

private:
    // Parses and posts a line in a buffer of the caller's, which it changes:
    // it ends the parts of a line that starts with ':' (nothing else looks
    // at such a line afterwards: server_spec wants "PING" at its start).
    void post_srv(char* line, size_t length, bool plain);
    bool server_msg(char* line, size_t length, BMessage* message, bool plain);
    bool split_line(char* line, size_t length, char** prefix, char** command, char** params);
    // get_cur_nick with its length.
    const char* cur_nick(size_t* length) const;
    // readln without the copy: `*line` is the line where it lies in the
    // receive block, or `buffer` holding it converted; valid until the next
    // read. `*plain` when it is a plain line (see parse_own).
    bool read_line(char* buffer, char** line, size_t* length, bool* plain);

    bool resolve(std::vector<struct sockaddr_storage>* addresses);
    bool connect_socket();
    // Sets up the transport on the connected socket and, for TLS, shakes
    // hands and checks the certificate, staying wakeable; opens the output
    // once it succeeds (false: the reason is posted, nothing was sent).
    bool start_transport();
    void report_handshake_failure();
    // Waits until the socket has data and the window has room for more
    // lines (true), writing queued lines meanwhile; false when the
    // connection is to end (told to stop, or the output overflowed or
    // stalled; the reason is posted).
    bool wait_readable();
    // The silence rule, before each wait: false when the connection counts
    // as lost (the reason is posted); it may queue the PING. `*left`: the
    // time until the rule has to look again.
    bool check_silence(bigtime_t* left);
    // Whether the reader must wait for the window (see IRC_BACKLOG_PAUSE).
    bool backlog_full();
    // Writes queued lines while the socket takes them, without blocking;
    // `*pending` when bytes are left. A send that fails ends the output.
    // `*paced_until` is when the next window line may go (0: none waits).
    void flush_output(bool* pending, bigtime_t* paced_until);
    // Queues a converted line: `urgent` ones (the thread's own answers, the
    // QUIT of a closing window) go ahead of the window's and are not paced.
    bool queue_line(const char* line, bool urgent, const char* debug_text = nullptr);
    // The capability negotiation's part of a line before registration:
    // true when the line was its and is not to be posted.
    bool negotiate(const char* line, size_t length);
    // Drops whatever is queued; writeln refuses from now on.
    void close_output();
    // Posts to the window, counted in the backlog. While the window deletes
    // the engine, messages over the bound are dropped unless `always`.
    void post(BMessage* message, bool always = false);
    void post_info(const char* text, bool always);
    // A copy of raw traffic to the debug window, counted like the rest.
    void post_debug(const char* text);
    bool dropping() const;
    bool fill_buffer();
    int16 current_encoding() const;
    void set_cur_nick(const char* nick);
    // set_cur_nick from a run of `length` bytes that is not NUL-ended.
    void set_cur_nick(const char* nick, size_t length);
    // Follows the server: 001 names the client, a NICK line of the client
    // renames it (network thread, before the line is posted).
    void follow_nick(const char* prefix, size_t prefixLength, const char* command,
                     size_t commandLength, const char* params, size_t paramsLength);
    bool ctcp_allowed(const char* nick);
    void wake();

    BLooper* m_looper;
    std::shared_ptr<BPrivate::Backlog> m_backlog;
    // Every address the server's name has, IPv6 and IPv4, in the resolver's
    // order: each is tried until one connects.
    std::vector<struct sockaddr_storage> m_addr;
    std::atomic<int> m_socket;
    // Set before the thread starts; the transport is the network thread's.
    bool m_tls;
    std::string m_tls_accepted;
    std::unique_ptr<Transport> m_transport;
    // Whether a whole line came, and whether the server ended the
    // connection (network thread): a plain connection closed before its
    // first line is likely a TLS port.
    bool m_got_line;
    bool m_peer_closed;
    char m_server[256];
    char m_cur_nick[32];
    char m_user[256];
    char m_port[256];
    int32 m_port_num;
    char m_line[512];
    thread_id m_thread;

    // Beyond the connection's own data: what keeps the threads apart.
    mutable std::mutex m_nick_lock;
    // Moves with every change of m_cur_nick; with m_id it tells a thread
    // whether its copy of the nickname is still good.
    std::atomic<uint32> m_nick_changes{0};
    // Set by the network thread on the server's welcome (001): from then
    // on the current nickname is what the server says it is, not what was
    // last asked for.
    std::atomic<bool> m_registered{false};
    // A QUIT went out from the window (the user's own, typed raw): the end
    // of this connection was asked for.
    std::atomic<bool> m_user_quit{false};
    // The connection failed in a way another attempt would repeat (a
    // refused certificate, a plain port taken for TLS): not to be retried.
    std::atomic<bool> m_final{false};
    std::atomic<bool> m_quit;
    // Set while the destructor waits: the reader no longer pauses.
    std::atomic<bool> m_closing;
    bool m_thread_done; // under m_done_lock
    std::mutex m_done_lock;
    std::condition_variable m_done;
    int m_wake_fd;

    // The send queue: the network thread's own lines, then the window's.
    std::mutex m_send_lock;
    std::deque<std::string> m_own_lines;    // under m_send_lock
    std::deque<std::string> m_window_lines; // under m_send_lock
    bool m_send_open;                       // under m_send_lock
    size_t m_window_bytes;                  // under m_send_lock: in m_window_lines
    // Window lines that may go now, refilled with time (network thread).
    double m_pace_tokens;
    bigtime_t m_pace_time;
    bool m_socket_full;        // under m_send_lock: it took nothing last
    bigtime_t m_send_progress; // under m_send_lock: last progress
    std::atomic<bool> m_send_overflow;
    // Bytes queued or in m_head not yet sent; changed under m_send_lock.
    std::atomic<size_t> m_unsent;
    // The line being written and how much of it is out (network thread).
    std::string m_head;
    size_t m_head_sent;

    // The reader's block buffer and line state (network thread only).
    bool m_paused;
    // When the server was last heard from, or the reader last paused (0:
    // not yet connected), and whether the silence PING is out since.
    bigtime_t m_last_heard = 0;
    bool m_ping_sent = false;
    LineSplitter m_splitter;
    char m_rbuf[4096];
    size_t m_rpos;
    size_t m_rlen;

    // Capability negotiation and login (network thread; the account and
    // password are set before start, under m_nick_lock).
    CapNegotiation m_cap;
    std::string m_sasl_account;
    std::string m_sasl_password;

    // CTCP answers within the current window of time (network thread only).
    bigtime_t m_ctcp_window_start;
    int32 m_ctcp_answers;
    bool m_ctcp_dropping;
    const uint64 m_id;
};

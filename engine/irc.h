#pragma once

// The protocol engine: one connection to one IRC server.
//
// The engine is a handler in its server window's looper; commands reach it
// there as 'irc' messages with "cmd" and are translated and written from
// that thread. Its own network thread resolves the server, connects, sends
// the registration line and then reads the server's lines, answering PING
// and CTCP queries itself and posting every line to the window as a
// classified 'irc' message, and every status line as 'inf'. When the
// connection ends the thread posts 'con' with "no_continue".
//
// The thread never blocks where it cannot be woken: resolution runs on a
// helper thread that the engine can walk away from, and every wait on the
// socket also watches a wake-up descriptor. Deleting the engine in any state
// therefore stops its thread promptly and joins it. Lines are read in
// blocks, but handed out one at a time by the same rules as a byte-by-byte
// reader. Every outgoing line is cleaned of CR and NUL, cut to 510 bytes
// plus its line end, and written whole under a lock, so nothing a peer or a
// paste puts into a text can smuggle a second line onto the wire, and the
// two threads' lines never interleave.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>

#include <Handler.h>
#include <Looper.h>
#include <OS.h>

#include "LineIO.h"

// A line as the reader delivers it: at most 511 bytes from the server,
// grown by up to three times when converted to UTF-8, and its NUL.
enum { IRC_LINE_SIZE = LINE_MAX_UTF8 + 1, IRC_OUT_SIZE = 512 };

class irc : public BHandler
{
public:
    explicit irc(BLooper* looper);
    virtual ~irc();

    void MessageReceived(BMessage* message) override;

    // Copies host, user name and port (each cut to 255 bytes).
    void setup(const char* server, const char* user, const char* port);
    bool start();

    const char* get_server_name() const { return m_server; }
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

    // Line I/O. `line` holds IRC_LINE_SIZE bytes.
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

    bool resolve(struct sockaddr_in* address);
    bool connect_socket();
    // Waits until the socket has data (true) or the engine is told to stop.
    bool wait_readable();
    bool fill_buffer();
    int16 current_encoding() const;
    void set_cur_nick(const char* nick);
    bool ctcp_allowed(const char* nick);
    void wake();

    BLooper* m_looper;
    struct sockaddr_in m_addr;
    std::atomic<int> m_socket;
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
    std::mutex m_write_lock;
    std::atomic<bool> m_quit;
    bool m_thread_done; // under m_done_lock
    std::mutex m_done_lock;
    std::condition_variable m_done;
    int m_wake_fd;

    // The reader's block buffer and line state (network thread only).
    LineSplitter m_splitter;
    char m_rbuf[4096];
    size_t m_rpos;
    size_t m_rlen;

    // CTCP answers within the current window of time (network thread only).
    bigtime_t m_ctcp_window_start;
    int32 m_ctcp_answers;
    bool m_ctcp_dropping;
    const uint64 m_id;
};

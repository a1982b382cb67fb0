#pragma once

// The window of one server connection: owns the engine while connected,
// routes every classified server line to its own output, its channel list,
// or the channel and private windows it keeps, and is the one gate through
// which commands reach the engine (msg_to_irc).
//
// Threads. Channel and private windows call get_nick, get_server_text,
// get_prefs and msg_to_irc from their own threads; each of these locks
// this window, which may be locked by them (never the other way round).
// Their window lists are changed only under this window's lock. Lines are
// forwarded to them counted in the engine's backlog, so a slow channel
// window pauses this server's reader like a slow server window would.
//
// Lifetime. Closing waits until every channel and private window has said
// (MSG_CHILD_DONE) that it has finished with this window; an application
// quit, which closes every window directly, is met by the children
// locking this window through the looper list, which fails once it is gone.
//
// Reconnect. A connection that ends without the user asking (refused,
// lost, timed out, closed by the server, silent) is tried again after 5 s,
// then after twice as long each time up to 5 minutes; a connection that
// registers sets the delay back. While it waits the button says "Cansel",
// which stops the waiting, as closing the window does. The user's own
// QUIT, Cansel and closing are not tried again. Once a new connection to
// the same server has registered, the channels whose windows are open are
// joined again; their member lists were emptied when the connection ended.

#include <memory>
#include <mutex>
#include <string>

#include <List.h>
#include <Messenger.h>
#include <OS.h>
#include <Window.h>

#include "ChannelMembers.h"
#include "DirtyWnd.h"
#include "RetryDelay.h"
#include "wndItem.h"

class irc;
class WindowList;
class BMessageRunner;
class BMenuItem;
namespace BPrivate
{
class Backlog;
}

enum : uint32 {
    // A channel or private window is done with its server window.
    MSG_CHILD_DONE = 'cdon',
    // To the main view: relabel ("label") or remove a Window-menu item
    // ("item"), in the main window's thread.
    MSG_MENU_LABEL = 'mlbl',
    MSG_MENU_REMOVE = 'mrmv',
    // The wait before the next attempt is over ("attempt": which wait).
    MSG_RECONNECT = 'rcon',
    // To a channel window: the connection ended, its member list is stale.
    MSG_MEMBERS_STALE = 'mstl',
    // The answer of the alert about a refused TLS certificate ("which":
    // 0 = Accept; "server", "fingerprint").
    MSG_TLS_ANSWER = 'tlsa',
};

// Attempts at a nickname before the user is asked to pick one: the two
// configured names in turn, then the first with one and two "_".
enum { NICK_ALTERNATIONS = 4, NICK_ATTEMPTS = 6 };
// Private windows a server opens by itself at most; messages from further
// new partners are shown in the server window.
enum { MAX_PRIVATE_WINDOWS = 64 };

// The server window's current nickname as its channel windows read it:
// without locking the server window, which holds its lock while it routes
// (under a flood, nearly all the time), and still there should the server
// window go first when the application quits.
class PublishedNick
{
public:
    std::string get() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_nick;
    }
    void set(const std::string& nick)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_nick = nick;
    }

private:
    mutable std::mutex m_lock;
    std::string m_nick;
};

class ServerWindow : public BWindow, public DirtyWnd
{
public:
    ServerWindow();
    ~ServerWindow() override;

    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override;
    void Quit() override;
    void WindowActivated(bool active) override;

    // From the main window's thread, right after construction: the item
    // and where to send its changes.
    void AddMenuItem(BMenuItem* item, const BMessenger& menuOwner = BMessenger());

    // The server host while connected, else null. The text lives as long
    // as the window; copy it under the window's lock.
    const char* get_server();
    // The current nickname (a copy for the calling thread) or null.
    const char* get_nick();
    // The nickname echoes show: the current one, or the configured one
    // while disconnected.
    std::string echo_nick();
    BMessage* get_prefs() { return m_srv_msg; }
    std::shared_ptr<const PublishedNick> published_nick() const { return m_published_nick; }
    // The channel windows as the status bars read them; republished with
    // this window locked after every change of m_chat_list.
    std::shared_ptr<const WindowList> window_list() const { return m_window_list; }
    void publish_chat_list();

    // The wait before the first attempt to connect again (5 s, or what
    // tests set; 0 restores the 5 s). The wait doubles with each attempt up
    // to 60 times this first one (5 minutes).
    static void set_reconnect_delay(bigtime_t first);
    // Whether an attempt to connect again is awaited; call with the window
    // locked.
    bool is_waiting_to_reconnect() const { return m_retry != nullptr; }

    void w_print(const char* text, int kind);
    void connect();
    void msg_to_irc(BMessage* msg);
    void do_msg(BMessage* message);
    BWindow* find_chat(const char* text);
    BWindow* find_privat(const char* nick);
    // Posts `message` to every channel window, or, given `member`, to every
    // one that may list that nickname; true when there is a channel window.
    bool to_all_chats(BMessage* message, const char* member = nullptr);

    // This connection's lines not yet handled, here or in the windows they
    // were forwarded to (0 while disconnected).
    int32 unhandled_lines() const;
    // Whether the window is closing (waiting for its windows, or gone
    // further); call with the window locked.
    bool is_closing() const { return m_closing; }

    // The window lists; changed only with this window locked.
    BList m_chat_list;
    BList m_privat_list;

private:
    void post_to(BWindow* window, BMessage* message);
    void answer_nick_in_use();
    void forget_closed_chats();
    void publish_nick();
    void shutdown();
    void store_server_settings();
    // Starts an engine for a server text; false when the text is no server.
    bool start_engine(const std::string& server);
    // Removes and deletes the engine (which sends QUIT).
    void stop_engine();
    // The look of a window without a connection or a wait for one.
    void show_idle();
    // The engine ended by itself: tries again unless the user asked for it.
    void engine_ended(BMessage* message);
    void schedule_retry(bool wasRegistered);
    void rejoin_channels();
    // The alert that offers to trust a refused certificate, and its answer.
    void ask_about_certificate(BMessage* refused);
    void answer_about_certificate(BMessage* answer);
    void set_menu_label(const char* label);
    void close_children();
    std::string current_nick();

    // Who each channel window may list; used in this window's thread only.
    ChannelMembers m_members;
    std::shared_ptr<PublishedNick> m_published_nick = std::make_shared<PublishedNick>();
    std::shared_ptr<WindowList> m_window_list;
    std::string m_nick_as_published;
    BMenuItem* m_menu_item;
    BMessenger m_menu_owner;
    BMessage* m_prefs;
    irc* m_irc;
    BMessage* m_srv_msg;

    std::shared_ptr<BPrivate::Backlog> m_backlog;
    char m_server[512];
    int32 m_nick_tries;
    // The server text of the connection now, or of the one awaited.
    std::string m_server_text;
    // The pending attempt to connect again, which wait it is, and the wait
    // the next one will have.
    std::unique_ptr<BMessageRunner> m_retry;
    int32 m_retry_serial;
    RetryDelay m_retry_delay;
    // Set when a connection starts to the server the channel windows were
    // joined on: they are joined again once it registers.
    bool m_rejoin;
    bool m_closing;
    bool m_shut_down;
};

#include "ServerWindow.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <Alert.h>
#include <AppDefs.h>
#include <Autolock.h>
#include <Backlog.h>
#include <Invoker.h>
#include <MenuItem.h>
#include <MessageRunner.h>
#include <TextControl.h>

#include <IrcCodes.h>
#include <Prefs.h>
#include <irc.h>

#include "ChatWindow.h"
#include "ChildText.h"
#include "IRCApp.h"
#include "IRCView.h"
#include "PrintLog.h"
#include "PrivatWindow.h"
#include "ServerLogin.h"
#include "ServerText.h"
#include "ServerView.h"
#include "StatusBarView.h"
#include "TextFit.h"
#include "ToolBarView.h"
#include "newButton.h"
#include "newComboBox.h"

namespace
{

// The word of `text` at `index` (0 = first), words split at blanks.
std::string nth_word(const std::string& text, int index)
{
    size_t start = 0;
    for (int i = 0;; i++) {
        while (start < text.size() && text[start] == ' ')
            start++;
        size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        if (i == index)
            return text.substr(start, end - start);
        if (end >= text.size())
            return std::string();
        start = end;
    }
}

// The text after the first ':', or `fallback` when there is none.
std::string after_colon(const std::string& text, const std::string& fallback)
{
    size_t colon = text.find(':');
    return colon == std::string::npos ? fallback : text.substr(colon + 1);
}

// The parameters past the addressee (the client's nickname).
std::string after_nick(const std::string& params, const std::string& nick)
{
    if (!nick.empty() && params.compare(0, nick.size(), nick) == 0)
        return params.substr(std::min(params.size(), nick.size() + 1));
    size_t blank = params.find(' ');
    return blank == std::string::npos ? std::string() : params.substr(blank + 1);
}

const bigtime_t kFirstRetryDelay = 5000000;
std::atomic<bigtime_t> sFirstRetryDelay{kFirstRetryDelay};
// Whether a port text can be dialled at all: trying again would fail alike.
bool valid_port(const std::string& port)
{
    char* end = nullptr;
    long value = strtol(port.c_str(), &end, 10);
    return !port.empty() && *end == '\0' && value >= 1 && value <= 65535;
}
// Where a server's entry in the settings keeps the SHA-256 fingerprint of
// the certificate the user accepted for it.
const char kFingerprintKey[] = "tls_fingerprint";

bool is_one_of(int code, std::initializer_list<int> codes)
{
    for (int c : codes)
        if (c == code)
            return true;
    return false;
}

} // namespace

ServerWindow::ServerWindow()
    : BWindow(BRect(30, 30, 380, 200), "Server", B_DOCUMENT_WINDOW, 0), m_chat_list(20),
      m_privat_list(20), m_menu_item(nullptr), m_prefs(new BMessage()), m_irc(nullptr),
      m_srv_msg(new BMessage()), m_server{}, m_nick_tries(0), m_retry_serial(0),
      m_retry_delay(sFirstRetryDelay.load()), m_rejoin(false), m_closing(false), m_shut_down(false)
{
    m_window_list = std::make_shared<WindowList>();
    if (Prefs* prefs = get_app_prefs()) {
        prefs->Lock();
        *m_prefs = *prefs->GetMsg();
        BRect last;
        if (m_prefs->FindRect("LastServerSize", &last) == B_OK) {
            MoveTo(last.LeftTop());
            ResizeTo(last.Width(), last.Height());
        } else {
            prefs->GetMsg()->AddRect("LastServerSize", Frame());
        }
        prefs->Unlock();
    }

    BRect bounds = Bounds();
    BRect bar = bounds;
    bar.bottom = 32;
    new ToolBarView(this, bar);
    BRect server = bounds;
    server.top = 32;
    server.bottom = bounds.bottom - 14;
    new ServerView(this, server);
    auto* status = new StatusBarView(
        this, BRect(-1, bounds.bottom - 13, bounds.right - 14, bounds.bottom + 1));
    status->SetResizingMode(B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
    status->AddList(m_window_list);
    Show();
}

ServerWindow::~ServerWindow()
{
    // Normally empty: each child frees its own entry. After an
    // application quit the children may outlive us; they find us gone.
    for (int32 i = 0; i < m_chat_list.CountItems(); i++)
        delete static_cast<wndItem*>(m_chat_list.ItemAt(i));
    for (int32 i = 0; i < m_privat_list.CountItems(); i++)
        delete static_cast<wndItem*>(m_privat_list.ItemAt(i));
    m_retry.reset();
    delete m_irc;
    delete m_prefs;
    delete m_srv_msg;
}

void ServerWindow::AddMenuItem(BMenuItem* item, const BMessenger& menuOwner)
{
    BAutolock lock(this);
    m_menu_item = item;
    m_menu_owner = menuOwner;
}

const char* ServerWindow::get_server()
{
    BAutolock lock(this);
    if (!lock.IsLocked() || m_irc == nullptr)
        return nullptr;
    return m_server;
}

const char* ServerWindow::get_nick()
{
    BAutolock lock(this);
    if (!lock.IsLocked() || m_irc == nullptr)
        return nullptr;
    return m_irc->get_cur_nick();
}

std::string ServerWindow::current_nick()
{
    const char* nick = m_irc != nullptr ? m_irc->get_cur_nick() : nullptr;
    return nick != nullptr ? nick : "";
}

std::string ServerWindow::echo_nick()
{
    BAutolock lock(this);
    if (!lock.IsLocked())
        return std::string();
    if (m_irc != nullptr)
        return m_irc->get_cur_nick();
    const char* nick = nullptr;
    if (m_prefs != nullptr && m_prefs->FindString("nick", &nick) == B_OK)
        return nick;
    return std::string();
}

void ServerWindow::w_print(const char* text, int kind)
{
    if (print_to_output(this, text, kind))
        set_dirty(!IsActive());
}

void ServerWindow::WindowActivated(bool active)
{
    BWindow::WindowActivated(active);
    set_dirty(false);
}

void ServerWindow::set_menu_label(const char* label)
{
    if (m_menu_item == nullptr)
        return;
    // The menu belongs to the main window: its thread changes it.
    BMessage change(MSG_MENU_LABEL);
    change.AddPointer("item", m_menu_item);
    change.AddString("label", label);
    m_menu_owner.SendMessage(&change);
}

void ServerWindow::set_reconnect_delay(bigtime_t first)
{
    sFirstRetryDelay = first > 0 ? first : kFirstRetryDelay;
}

void ServerWindow::connect()
{
    auto* combo = dynamic_cast<newComboBox*>(FindView("server_combo"));
    if (combo == nullptr)
        return;

    if (m_irc != nullptr) {
        w_print("<<<  stop connection >>>\n", 5);
        stop_engine();
        show_idle();
        return;
    }
    if (m_retry != nullptr) {
        // "Cansel" while waiting: no more attempts.
        m_retry.reset();
        m_retry_delay.Reset(sFirstRetryDelay.load());
        w_print("<<<  stop connection >>>\n", 5);
        show_idle();
        return;
    }
    // Asked for by the user: the waits of an earlier loss start over.
    m_retry_delay.Reset(sFirstRetryDelay.load());
    const char* text = combo->GetString();
    start_engine(text != nullptr ? text : "");
}

bool ServerWindow::start_engine(const std::string& server)
{
    auto* combo = dynamic_cast<newComboBox*>(FindView("server_combo"));
    if (combo == nullptr)
        return false;
    Prefs* prefs = get_app_prefs();
    auto* button = dynamic_cast<BControl*>(FindView("Connect"));
    std::string host, port;
    bool tls = false;
    // The engine keeps 255 bytes of each; a longer text is refused, not
    // cut into another server's name.
    if (!split_server_text(server, &host, &port, &tls) || host.size() > 255 || port.size() > 127) {
        w_print("Not a server: type a host name, optionally followed by \":\" and a port\n", 4);
        return false;
    }

    combo->Enable(false);
    if (prefs != nullptr) {
        prefs->Lock();
        prefs->GetMsg()->ReplaceString("default_server", server.c_str());
        prefs->Unlock();
    }
    char title[128];
    fit_copy(title, sizeof(title), server.c_str());
    set_menu_label(title);
    SetTitle(title);

    // The channel windows were joined on this server: they come back.
    m_rejoin = server == m_server_text && !m_chat_list.IsEmpty();
    m_server_text = server;
    m_irc = new irc(this);
    m_backlog = m_irc->backlog();
    publish_nick();
    AddHandler(m_irc);
    fit_copy(m_server, sizeof(m_server), host.c_str());
    m_nick_tries = 0;
    m_irc->setup(host.c_str(), "Pelmor", port.c_str());
    if (prefs != nullptr) {
        prefs->Lock();
        ServerLogin login = find_server_login(*prefs->GetMsg(), host);
        prefs->Unlock();
        m_irc->set_sasl(login.account.c_str(), login.password.c_str());
    }
    if (tls) {
        // A certificate the user accepted for this server before.
        std::string accepted;
        if (prefs != nullptr) {
            prefs->Lock();
            BMessage entry;
            if (prefs->GetMsg()->FindMessage(m_server, &entry) == B_OK)
                accepted = entry.GetString(kFingerprintKey, "");
            prefs->Unlock();
        }
        m_irc->set_tls(true, accepted.c_str());
    }
    w_print("<<<  starting connection >>>\n", 5);
    m_irc->start();
    if (button != nullptr)
        button->SetLabel("Cansel");

    if (prefs != nullptr) {
        prefs->Lock();
        BMessage* settings = prefs->GetMsg();
        if (!settings->HasMessage(m_server))
            settings->AddMessage(m_server, m_srv_msg);
        settings->FindMessage(m_server, m_srv_msg);
        prefs->Unlock();
    }
    return true;
}

void ServerWindow::stop_engine()
{
    if (m_irc == nullptr)
        return;
    RemoveHandler(m_irc);
    store_server_settings();
    m_srv_msg->MakeEmpty();
    irc* engine = m_irc;
    m_irc = nullptr;
    delete engine;
    m_backlog.reset();
    publish_nick();
    // The channels are left: their member lists would only mislead until
    // the names of a new join fill them again.
    for (int32 i = 0; !m_closing && i < m_chat_list.CountItems(); i++) {
        BWindow* window = static_cast<wndItem*>(m_chat_list.ItemAt(i))->wnd;
        m_members.reset(window);
        window->PostMessage(MSG_MEMBERS_STALE);
    }
}

void ServerWindow::show_idle()
{
    if (auto* combo = dynamic_cast<newComboBox*>(FindView("server_combo")))
        combo->Enable(true);
    set_menu_label("Server");
    SetTitle("Server");
    if (auto* button = dynamic_cast<BControl*>(FindView("Connect")))
        button->SetLabel("Connect");
    if (auto* serverView = dynamic_cast<ServerView*>(FindView("ServerView")))
        serverView->ActivateProgress(0);
}

void ServerWindow::engine_ended(BMessage* message)
{
    const bool registered = m_irc->is_registered();
    w_print("<<<  stop connection >>>\n", 5);
    stop_engine();
    std::string host, port;
    // What the user asked for, and what another attempt would repeat (a
    // refused certificate, a port that cannot be dialled), are final.
    if (message->GetBool("user_quit", false) || message->GetBool("final", false) || m_closing ||
        !split_server_text(m_server_text, &host, &port) || !valid_port(port)) {
        show_idle();
        return;
    }
    schedule_retry(registered);
}

void ServerWindow::schedule_retry(bool wasRegistered)
{
    const bigtime_t delay = m_retry_delay.Next();
    BMessage again(MSG_RECONNECT);
    again.AddInt32("attempt", ++m_retry_serial);
    m_retry = std::make_unique<BMessageRunner>(BMessenger(this), &again, delay, 1);
    if (m_retry->InitCheck() != B_OK) {
        m_retry.reset();
        show_idle();
        return;
    }
    std::string line = std::string(wasRegistered ? "Connection lost" : "No connection") +
                       ": trying again in " + delay_text(delay) + "\n";
    w_print(line.c_str(), 3);
    // Still the server's window while it waits: Cansel stops the wait.
    if (auto* button = dynamic_cast<BControl*>(FindView("Connect")))
        button->SetLabel("Cansel");
}

void ServerWindow::rejoin_channels()
{
    if (m_irc == nullptr)
        return;
    for (int32 i = 0; i < m_chat_list.CountItems(); i++) {
        char cmd[128];
        fit_format(cmd, sizeof(cmd), "/JOIN %s",
                   static_cast<wndItem*>(m_chat_list.ItemAt(i))->name);
        BMessage join(MSG_IRC);
        join.AddString("cmd", cmd);
        PostMessage(&join, m_irc);
    }
}

void ServerWindow::store_server_settings()
{
    Prefs* prefs = get_app_prefs();
    if (prefs == nullptr || m_irc == nullptr)
        return;
    prefs->Lock();
    prefs->GetMsg()->ReplaceMessage(m_server, m_srv_msg);
    prefs->Unlock();
}

void ServerWindow::ask_about_certificate(BMessage* refused)
{
    void* engine = nullptr;
    refused->FindPointer("engine", &engine);
    const char* server = refused->GetString("server", "");
    const char* fingerprint = refused->GetString("fingerprint", "");
    if (engine != m_irc || *fingerprint == '\0' || m_closing)
        return;
    // The fingerprint in two rows of 16 bytes, so the alert stays narrow.
    std::string rows = fingerprint;
    if (rows.size() > 48)
        rows[47] = '\n';
    std::string text = std::string("The TLS certificate of ") + server +
                       " is not trusted: " + refused->GetString("reason", "") +
                       ".\n\nSHA-256 fingerprint:\n" + rows +
                       "\n\nAccept this certificate for this server and connect again?";
    auto* answer = new BMessage(MSG_TLS_ANSWER);
    answer->AddString("server", server);
    answer->AddString("fingerprint", fingerprint);
    auto* alert = new BAlert("Certificate", text.c_str(), "Accept", "Cancel", nullptr,
                             B_WIDTH_AS_USUAL, B_WARNING_ALERT);
    // Enter takes the rightmost, "Cancel": trust is given only on purpose.
    alert->SetShortcut(0, 'a');
    alert->Go(new BInvoker(answer, BMessenger(this)));
}

void ServerWindow::answer_about_certificate(BMessage* answer)
{
    int32 which = -1;
    answer->FindInt32("which", &which);
    const char* server = answer->GetString("server", "");
    const char* fingerprint = answer->GetString("fingerprint", "");
    if (which != 0 || *server == '\0' || *fingerprint == '\0' || m_closing)
        return;
    if (Prefs* prefs = get_app_prefs()) {
        prefs->Lock();
        BMessage* settings = prefs->GetMsg();
        BMessage entry;
        const bool known = settings->FindMessage(server, &entry) == B_OK;
        entry.RemoveName(kFingerprintKey);
        entry.AddString(kFingerprintKey, fingerprint);
        if (known)
            settings->ReplaceMessage(server, &entry);
        else
            settings->AddMessage(server, &entry);
        prefs->Unlock();
    }
    // A connection to the same server holds its entry and writes it back
    // when it ends.
    if (m_irc != nullptr && strcmp(m_server, server) == 0) {
        m_srv_msg->RemoveName(kFingerprintKey);
        m_srv_msg->AddString(kFingerprintKey, fingerprint);
    }
    w_print("Certificate accepted for this server\n", 3);
    if (m_irc != nullptr)
        return;
    // Again to that server, unless the user has typed another meanwhile.
    auto* combo = dynamic_cast<newComboBox*>(FindView("server_combo"));
    const char* text = combo != nullptr ? combo->GetString() : nullptr;
    std::string host, port;
    if (text != nullptr && split_server_text(text, &host, &port) && host == server) {
        // At once, not after a pending wait.
        m_retry.reset();
        connect();
    }
}

void ServerWindow::msg_to_irc(BMessage* msg)
{
    // Called from channel and private windows' threads too.
    BAutolock lock(this);
    if (!lock.IsLocked() || msg == nullptr)
        return;
    if (m_irc == nullptr) {
        w_print("no connection\n", 4);
        return;
    }
    const char* cmd;
    if (msg->FindString("cmd", &cmd) == B_OK && strncasecmp(cmd, "/LIST", 5) == 0) {
        if (auto* view = dynamic_cast<ServerView*>(FindView("ServerView")))
            view->ActivateProgress(1);
    }
    PostMessage(msg, m_irc);
}

BWindow* ServerWindow::find_chat(const char* text)
{
    if (text == nullptr)
        return nullptr;
    std::string word = text;
    size_t blank = word.find(' ');
    if (blank != std::string::npos)
        word.resize(blank);
    wndItem* item = find_item_by_name(&m_chat_list, word.c_str());
    return item != nullptr ? item->wnd : nullptr;
}

BWindow* ServerWindow::find_privat(const char* nick)
{
    wndItem* item = find_item_by_name(&m_privat_list, nick);
    return item != nullptr ? item->wnd : nullptr;
}

int32 ServerWindow::unhandled_lines() const
{
    std::shared_ptr<BPrivate::Backlog> backlog = m_backlog;
    return backlog ? backlog->Count() : 0;
}

void ServerWindow::post_to(BWindow* window, BMessage* message)
{
    if (m_backlog)
        window->_PostCounted(message, m_backlog);
    else
        window->PostMessage(message);
}

bool ServerWindow::to_all_chats(BMessage* message, const char* member)
{
    for (int32 i = 0; i < m_chat_list.CountItems(); i++) {
        BWindow* window = static_cast<wndItem*>(m_chat_list.ItemAt(i))->wnd;
        if (member == nullptr || m_members.may_list(window, member))
            post_to(window, message);
    }
    return m_chat_list.CountItems() > 0;
}

void ServerWindow::forget_closed_chats()
{
    std::vector<const void*> open;
    for (int32 i = 0; i < m_chat_list.CountItems(); i++)
        open.push_back(static_cast<wndItem*>(m_chat_list.ItemAt(i))->wnd);
    m_members.keep_only(open);
}

void ServerWindow::answer_nick_in_use()
{
    if (m_irc == nullptr)
        return;
    const char* nick = m_prefs->GetString("nick", "");
    const char* nick2 = m_prefs->GetString("nick2", "");
    std::string current = current_nick();
    int32 attempt = m_nick_tries++;
    std::string next;
    if (attempt < NICK_ALTERNATIONS)
        next = current == nick ? nick2 : nick;
    else if (attempt < NICK_ATTEMPTS)
        next = std::string(nick) + std::string(size_t(attempt - NICK_ALTERNATIONS + 1), '_');
    if (next.empty()) {
        if (attempt == NICK_ATTEMPTS)
            w_print("Both nicknames are in use: choose another one with /NICK <name>\n", 4);
        return;
    }
    char cmd[128];
    fit_format(cmd, sizeof(cmd), "/NICK %s", next.c_str());
    BMessage request(MSG_IRC);
    request.AddString("cmd", cmd);
    PostMessage(&request, m_irc);
}

void ServerWindow::publish_chat_list()
{
    std::vector<BarWindow> windows;
    for (int32 i = 0; i < m_chat_list.CountItems(); i++) {
        auto* item = static_cast<wndItem*>(m_chat_list.ItemAt(i));
        auto* dirty = dynamic_cast<DirtyWnd*>(item->wnd);
        windows.push_back(BarWindow{item->wnd, item->name, BMessenger(item->wnd),
                                    dirty != nullptr ? dirty->dirty_flag() : nullptr});
    }
    m_window_list->Publish(std::move(windows));
}

void ServerWindow::publish_nick()
{
    std::string nick = current_nick();
    if (nick != m_nick_as_published) {
        m_nick_as_published = nick;
        m_published_nick->set(nick);
    }
}

void ServerWindow::do_msg(BMessage* message)
{
    // Before anything is forwarded: a channel window handling this line
    // finds the nickname as it is now or later, never older.
    publish_nick();
    std::string params;
    const char* text;
    const bool hasParams = message->FindString("params", &text) == B_OK;
    if (hasParams) {
        params = text;
        if (!params.empty() && params.back() == '\n')
            params.pop_back();
    }
    int16 code = -1;
    message->FindInt16("code", &code);
    const char* from = nullptr;
    const char* command = nullptr;
    message->FindString("from", &from);
    message->FindString("command", &command);
    const std::string nick = current_nick();
    const bool registered = m_irc != nullptr && m_irc->is_registered();

    // Before registration servers address replies to "*", which the parser
    // does not take for the client: a 433 rejecting the current name is
    // still ours.
    if (code == -1 && command != nullptr && strcmp(command, "433") == 0 && !nick.empty() &&
        nth_word(params, 1) == nick)
        code = 433;

    bool to_print = true;
    bool route = true;         // step 3
    bool senderAndWord = true; // printed in the generic form
    if (code != -1) {
        if (code == 433) {
            if (!registered) {
                answer_nick_in_use();
                to_print = false;
            }
        } else if (code == 1) {
            m_nick_tries = 0;
            m_retry_delay.Reset(sFirstRetryDelay.load());
            if (m_rejoin) {
                m_rejoin = false;
                rejoin_channels();
            }
            w_print(after_nick(params, nick).c_str(), 0);
            w_print("\n", 1);
            to_print = false;
        } else if (code == 321) {
            if (auto* view = dynamic_cast<ServerView*>(FindView("ServerView"))) {
                view->RemoveAll();
                to_print = false;
            }
        } else if (code == 322) {
            if (auto* view = dynamic_cast<ServerView*>(FindView("ServerView"))) {
                std::string entry = after_nick(params, nick);
                view->AddItem(entry.data());
                view->ProgressStep();
            }
            to_print = false;
            route = senderAndWord = false;
        } else if (code == 323) {
            if (auto* view = dynamic_cast<ServerView*>(FindView("ServerView")))
                view->ActivateProgress(0);
            route = senderAndWord = false;
        } else if (code == 353) {
            // "nick = #chan :names"; "@" and "*" mark secret and private
            // channels, which are channels like the others.
            std::string mark = nth_word(params, 1);
            std::string channel =
                mark == "=" || mark == "@" || mark == "*" ? nth_word(params, 2) : mark;
            if (BWindow* window = find_chat(channel.c_str())) {
                post_to(window, message);
                m_members.names(window, params);
                to_print = false;
            }
        } else if (code == 366 || code == 332) {
            std::string channel = nth_word(params, 1);
            size_t after = params.find(channel);
            bool ok = code == 366 || params.find(':', after) != std::string::npos;
            BWindow* window = ok ? find_chat(channel.c_str()) : nullptr;
            if (window != nullptr) {
                post_to(window, message);
                to_print = false;
            }
        } else if (code == 0 || code == 4) {
            w_print(params.c_str(), 0);
            w_print("\n", 1);
            to_print = false;
        } else if (is_one_of(code,
                             {2, 3, 5, 251, 252, 253, 254, 255, 256, 265, 266, 372, 375, 376})) {
            w_print(after_nick(params, nick).c_str(), 0);
            w_print("\n", 1);
            to_print = false;
        } else if (code == 302) {
            w_print("HOST", 5);
            w_print(after_colon(params, after_nick(params, nick)).c_str(), 5);
            w_print("\n", 1);
            to_print = false;
        } else if (code == 315 || code == 318) {
            w_print(after_colon(params, after_nick(params, nick)).c_str(), 5);
            w_print("\n", 1);
            to_print = false;
        } else if (code == 421) {
            w_print(params.c_str(), 4);
            w_print("\n", 1);
            to_print = false;
            route = senderAndWord = false;
        }
    }

    if (route && command != nullptr) {
        BWindow* wchat = hasParams ? find_chat(params.c_str()) : nullptr;
        BWindow* wprivat = from != nullptr ? find_privat(from) : nullptr;
        if (strcmp(command, "JOIN") == 0) {
            // Many servers send the channel without the ':'.
            std::string channel = nth_word(params[0] == ':' ? params.substr(1) : params, 0);
            wchat = find_chat(channel.c_str());
            // Joined again to a window that stayed open: the names reply
            // that follows lists everyone afresh.
            if (wchat != nullptr && from != nullptr && !nick.empty() && nick == from)
                m_members.reset(wchat);
            if (from != nullptr && !nick.empty() && nick == from && wchat == nullptr &&
                !m_closing) {
                if (!channel.empty() && channel.size() < sizeof(wndItem::name)) {
                    m_members.reset(new ChatWindow(this, channel.c_str()));
                    forget_closed_chats();
                    to_print = false;
                }
            }
        }
        if (strcmp(command, "QUIT") == 0 || strcmp(command, "NICK") == 0) {
            // Only the windows that may list the sender: the others would
            // look the name up and do nothing.
            const char* member = from != nullptr ? from : "";
            to_print = !to_all_chats(message, member);
            if (strcmp(command, "QUIT") == 0)
                m_members.quit(member);
            else
                m_members.rename(member, less_colon(params).c_str());
        } else if (wchat != nullptr) {
            post_to(wchat, message);
            m_members.channel_line(wchat, command, from, params);
            to_print = false;
        }
        if (strcmp(command, "PRIVMSG") == 0 && wchat == nullptr && wprivat == nullptr) {
            size_t colon = params.find(':');
            if (colon != std::string::npos && colon > 0) {
                std::string target = params.substr(0, colon - 1);
                const std::string own = nick;
                if (!own.empty() && strcasecmp(target.c_str(), own.c_str()) == 0 &&
                    from != nullptr && *from != '\0' && strlen(from) < sizeof(wndItem::name) &&
                    !m_closing && m_privat_list.CountItems() < MAX_PRIVATE_WINDOWS) {
                    wprivat = new PrivatWindow(this, from);
                    to_print = false;
                }
            }
        }
        if (strcmp(command, "NOTICE") == 0) {
            w_print(after_colon(params, params).c_str(), 0);
            w_print("\n", 1);
            to_print = false;
        }
        if (wprivat != nullptr) {
            post_to(wprivat, message);
            to_print = false;
        }
    }

    if (code == -1 && from == nullptr && command == nullptr && !hasParams)
        return;
    if (!to_print)
        return;
    if (senderAndWord) {
        w_print(from, 2);
        w_print(command, 3);
    }
    char number[16];
    snprintf(number, sizeof(number), "[%i]", int(code));
    w_print(number, 4);
    if (hasParams)
        w_print(params.c_str(), 0);
    w_print("\n", 1);
}

void ServerWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_IRC:
        do_msg(message);
        break;
    case MSG_INF: {
        const char* text;
        if (message->FindString("txt", &text) == B_OK)
            w_print(text, 3);
        break;
    }
    case MSG_003:
        Activate(true);
        break;
    case MSG_TLS_CERT:
        ask_about_certificate(message);
        break;
    case MSG_TLS_ANSWER:
        answer_about_certificate(message);
        break;
    case MSG_CON:
        if (message->HasBool("no_continue")) {
            // Only the engine that ended: the user may have started
            // another meanwhile.
            void* engine = nullptr;
            message->FindPointer("engine", &engine);
            if (m_irc != nullptr && (engine == nullptr || engine == m_irc))
                engine_ended(message);
        } else {
            connect();
        }
        break;
    case MSG_RECONNECT: {
        // Only the wait still pending: one cancelled may have sent already.
        int32 attempt = 0;
        if (m_retry != nullptr && message->FindInt32("attempt", &attempt) == B_OK &&
            attempt == m_retry_serial && !m_closing) {
            m_retry.reset();
            if (!start_engine(m_server_text))
                show_idle();
        }
        break;
    }
    case MSG_ITM:
        message->what = MSG_IRC;
        msg_to_irc(message);
        break;
    case MSG_NTR: {
        BMessage* target = nullptr;
        if (message->FindPointer("target", reinterpret_cast<void**>(&target)) != B_OK ||
            target == nullptr)
            break;
        if (target->what == MSG_CON) {
            connect();
        } else if (target->what == MSG_UMG) {
            auto* input = dynamic_cast<BTextControl*>(FindView("message"));
            if (input == nullptr)
                break;
            BMessage command(MSG_IRC);
            command.AddString("cmd", input->Text());
            input->SetText(nullptr);
            msg_to_irc(&command);
        }
        break;
    }
    case MSG_CHILD_DONE:
        if (m_closing && m_chat_list.IsEmpty() && m_privat_list.IsEmpty())
            PostMessage(B_QUIT_REQUESTED);
        break;
    }
    BWindow::MessageReceived(message);
}

void ServerWindow::close_children()
{
    for (int32 i = 0; i < m_chat_list.CountItems(); i++)
        static_cast<wndItem*>(m_chat_list.ItemAt(i))->wnd->PostMessage(B_QUIT_REQUESTED);
    for (int32 i = 0; i < m_privat_list.CountItems(); i++)
        static_cast<wndItem*>(m_privat_list.ItemAt(i))->wnd->PostMessage(B_QUIT_REQUESTED);
}

bool ServerWindow::QuitRequested()
{
    if (!m_chat_list.IsEmpty() || !m_privat_list.IsEmpty()) {
        // Each child leaves its channel through our engine and then tells
        // us it is done; we close once the last one has.
        if (!m_closing) {
            m_closing = true;
            m_retry.reset();
            close_children();
        }
        return false;
    }
    shutdown();
    return true;
}

void ServerWindow::Quit()
{
    shutdown();
    BWindow::Quit();
}

void ServerWindow::shutdown()
{
    if (m_shut_down)
        return;
    m_shut_down = true;
    m_closing = true;
    m_retry.reset();
    if (Prefs* prefs = get_app_prefs()) {
        prefs->Lock();
        prefs->GetMsg()->ReplaceRect("LastServerSize", Frame());
        prefs->Unlock();
    }
    // Children still open (the application is quitting) are told to go;
    // they find this window gone when they look.
    close_children();
    stop_engine();
    if (m_menu_item != nullptr) {
        BMessage remove(MSG_MENU_REMOVE);
        remove.AddPointer("item", m_menu_item);
        m_menu_owner.SendMessage(&remove);
        m_menu_item = nullptr;
    }
}

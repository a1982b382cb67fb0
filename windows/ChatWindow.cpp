#include "ChatWindow.h"

#include <cstring>
#include <strings.h>
#include <vector>

#include <Autolock.h>
#include <TextControl.h>

#include <IrcCodes.h>

#include "ChatView.h"
#include "ChildText.h"
#include "IRCView.h"
#include "PrintLog.h"
#include "PrivatWindow.h"
#include "ServerLock.h"
#include "ServerWindow.h"
#include "StatusBarView.h"
#include "TextFit.h"
#include "wndItem.h"

namespace
{

// Mode letters that take an argument whichever the sign, and "l" (the
// limit), which takes one only when set.
bool takes_argument(char letter, bool plus)
{
    return strchr("ovhaqbeIk", letter) != nullptr || (letter == 'l' && plus);
}

} // namespace

ChatWindow::ChatWindow(ServerWindow* server, const char* name)
    : BWindow(BRect(30, 30, 380, 200), "", B_DOCUMENT_WINDOW, 0), m_name{}, m_server(server),
      m_looper(server), m_own_nick(server->published_nick())
{
    fit_copy(m_name, sizeof(m_name), name);
    BRect bounds = Bounds();
    BRect view = bounds;
    view.bottom -= 14;
    new ChatView(this, view);
    auto* bar = new StatusBarView(
        this, BRect(-1, bounds.bottom - 13, bounds.right - 14, bounds.bottom + 1));
    bar->SetResizingMode(B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);

    BAutolock lock(m_server);
    bar->AddList(m_server->window_list());
    bar->AddFirst(BarWindow{m_server, "Server", BMessenger(m_server), m_server->dirty_flag()});
    auto* item = new wndItem{this, {}};
    fit_copy(item->name, sizeof(item->name), m_name);
    m_server->m_chat_list.AddItem(item);
    m_server->publish_chat_list();
    const char* host = m_server->get_server();
    char title[128];
    fit_format(title, sizeof(title), "%s on %s", m_name, host != nullptr ? host : "");
    SetTitle(title);
    BRect stored;
    BMessage* settings = m_server->get_prefs();
    if (settings != nullptr && settings->FindRect(m_name, &stored) == B_OK) {
        MoveTo(stored.LeftTop());
        ResizeTo(stored.Width(), stored.Height());
    } else {
        store_frame(true);
    }
    Show();
}

ChatWindow::~ChatWindow() {}

std::string ChatWindow::server_nick()
{
    return m_own_nick->get();
}

void ChatWindow::store_frame(bool addWhenMissing)
{
    ServerLock lock(m_looper);
    if (!lock.IsLocked())
        return;
    BMessage* settings = m_server->get_prefs();
    if (settings == nullptr)
        return;
    if (settings->ReplaceRect(m_name, Frame()) != B_OK && addWhenMissing)
        settings->AddRect(m_name, Frame());
}

void ChatWindow::FrameMoved(BPoint where)
{
    BWindow::FrameMoved(where);
    // Kept current, so that the frame survives an application quit, in
    // which the server window may store its settings before we close.
    store_frame(false);
}

void ChatWindow::FrameResized(float width, float height)
{
    BWindow::FrameResized(width, height);
    store_frame(false);
}

void ChatWindow::w_print(const char* text, int kind)
{
    if (print_to_output(this, text, kind))
        set_dirty(!IsActive());
}

void ChatWindow::WindowActivated(bool active)
{
    BWindow::WindowActivated(active);
    set_dirty(false);
}

void ChatWindow::do_msg(BMessage* message)
{
    auto* view = dynamic_cast<ChatView*>(FindView("ChatView"));
    bool hasParams;
    std::string params = message_params(message, &hasParams);
    int16 code = -1;
    message->FindInt16("code", &code);
    char line[1024];

    if (view != nullptr) {
        if (code == 332) {
            std::string topic = text_after_colon(params);
            view->SetTopic(topic.data());
        } else if (code == 353) {
            for (const std::string& name : names_in_reply(params))
                view->AddItem(name.c_str());
        } else if (code == 366) {
            view->enable_topic(server_nick().c_str());
        }
    }

    const char* from = nullptr;
    const char* command = nullptr;
    message->FindString("from", &from);
    if (message->FindString("command", &command) != B_OK)
        return;
    if (from == nullptr)
        from = "";

    if (strcmp(command, "PRIVMSG") == 0 && hasParams) {
        fit_format(line, sizeof(line), "<%s> %s\n", from, text_after_colon(params).c_str());
        w_print(line, 0);
    }
    if (strcmp(command, "JOIN") == 0) {
        // Our own JOIN to a window that stayed open (a reconnect, a join
        // after a kick): the names reply that follows lists everyone, us
        // with our marks, so the old list goes.
        std::string own = server_nick();
        if (view != nullptr && !own.empty() && own == from)
            view->RemoveAll();
        else if (view != nullptr)
            view->AddItem(from);
        fit_format(line, sizeof(line), "JOIN %s\n", from);
        w_print(line, 3);
    }
    if (strcmp(command, "PART") == 0 || strcmp(command, "QUIT") == 0) {
        if (view != nullptr && view->RemoveItem(from)) {
            fit_format(line, sizeof(line), "%s %s %s\n", command, from, params.c_str());
            w_print(line, 3);
            std::string own = server_nick();
            if (!own.empty() && own == from)
                view->RemoveAll();
        }
    }
    if (strcmp(command, "KICK") == 0) {
        size_t colon;
        std::string victim = kick_victim(params, &colon);
        if (colon != std::string::npos) {
            std::string reason = params.substr(colon + 1);
            fit_format(line, sizeof(line), "%s %s %s %s\n", from, command, victim.c_str(),
                       reason.c_str());
            w_print(line, 3);
            if (view != nullptr) {
                view->RemoveItem(victim.c_str());
                std::string own = server_nick();
                if (!own.empty() && own == victim)
                    view->RemoveAll();
            }
        }
    }
    if (strcmp(command, "MODE") == 0)
        change_modes(from, params);
    if (strcmp(command, "NICK") == 0) {
        std::string newNick = less_colon(params);
        if (view != nullptr && view->RenameItem(from, newNick.c_str())) {
            fit_format(line, sizeof(line), "%s %s %s\n", from, command, newNick.c_str());
            w_print(line, 3);
        }
    }
    if (strcmp(command, "TOPIC") == 0) {
        std::string topic =
            text_after_colon(params.substr(std::min(params.size(), params.find(' ') + 1)));
        if (view != nullptr)
            view->SetTopic(topic.data());
        fit_format(line, sizeof(line), "%s set the Topic to %s\n", from, topic.c_str());
        w_print(line, 3);
    }
}

void ChatWindow::change_modes(const char* from, const std::string& params)
{
    // "#chan +ov-o ann bob carl": each letter that takes an argument takes
    // the next one, so only the "o" letters' own arguments change status.
    std::vector<std::string> words = split_blanks(params);
    auto* view = dynamic_cast<ChatView*>(FindView("ChatView"));
    char line[1024];
    std::string last;
    bool lastOp = false;
    if (words.size() >= 2) {
        bool plus = true;
        size_t next = 2;
        for (char letter : words[1]) {
            if (letter == '+' || letter == '-') {
                plus = letter == '+';
                continue;
            }
            if (!takes_argument(letter, plus))
                continue;
            if (next >= words.size())
                break;
            const std::string& argument = words[next++];
            if (letter != 'o')
                continue;
            if (view != nullptr) {
                view->SetOP(argument.c_str(), plus);
                std::string own = server_nick();
                if (strcasecmp(argument.c_str(), own.c_str()) == 0)
                    view->enable_topic(own.c_str());
            }
            last = argument;
            lastOp = plus;
        }
    }
    if (last.empty())
        fit_format(line, sizeof(line), "%s %s %s\n", "MODE", from, params.c_str());
    else
        fit_format(line, sizeof(line), "%s has %s %s\n", from, lastOp ? "Opped" : "DeOpped",
                   last.c_str());
    w_print(line, 3);
}

void ChatWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_IRC:
        do_msg(message);
        break;
    case MSG_MEMBERS_STALE:
        if (auto* view = dynamic_cast<ChatView*>(FindView("ChatView")))
            view->RemoveAll();
        break;
    case MSG_ITM: {
        message->what = MSG_IRC;
        ServerLock lock(m_looper);
        if (lock.IsLocked())
            m_server->msg_to_irc(message);
        break;
    }
    case MSG_PRV: {
        const char* name;
        ServerLock lock(m_looper);
        if (lock.IsLocked() && message->FindString("user_name", &name) == B_OK && *name != '\0' &&
            strlen(name) < sizeof(wndItem::name))
            new PrivatWindow(m_server, name);
        break;
    }
    case MSG_NTR: {
        BMessage* target = nullptr;
        if (message->FindPointer("target", reinterpret_cast<void**>(&target)) != B_OK ||
            target == nullptr)
            break;
        if (target->what == MSG_TPC) {
            auto* topic = dynamic_cast<BTextControl*>(FindView("_n_topic_edit"));
            char cmd[600];
            fit_format(cmd, sizeof(cmd), "/TOPIC %s %s", m_name,
                       topic != nullptr && topic->Text() != nullptr ? topic->Text() : "");
            BMessage command(MSG_IRC);
            command.AddString("cmd", cmd);
            ServerLock lock(m_looper);
            if (lock.IsLocked())
                m_server->msg_to_irc(&command);
        } else if (target->what == MSG_UMG) {
            send_typed_text(this, m_server, m_looper, m_name,
                            [this](const char* text, int kind) { w_print(text, kind); });
        }
        break;
    }
    }
    BWindow::MessageReceived(message);
}

void ChatWindow::Quit()
{
    store_frame(false);
    char cmd[128];
    fit_format(cmd, sizeof(cmd), "/PART %s Pelmor Beta 1", m_name);
    BMessage part(MSG_IRC);
    part.AddString("cmd", cmd);
    {
        ServerLock lock(m_looper);
        if (lock.IsLocked()) {
            m_server->msg_to_irc(&part);
            wndItem* item = find_item_by_wnd(&m_server->m_chat_list, this);
            if (item != nullptr) {
                m_server->m_chat_list.RemoveItem(item);
                delete item;
                m_server->publish_chat_list();
            }
            m_server->Activate(true);
            // The last use of the server window: it may close from now on.
            m_server->PostMessage(MSG_CHILD_DONE);
        }
    }
    BWindow::Quit();
}

#include "PrivatWindow.h"

#include <cstring>

#include <AppDefs.h>
#include <Autolock.h>

#include <IrcCodes.h>

#include "ChildText.h"
#include "IRCView.h"
#include "PrintLog.h"
#include "ServerLock.h"
#include "ServerWindow.h"
#include "StatusBarView.h"
#include "TextFit.h"
#include "wndItem.h"

PrivatView::PrivatView(BWindow* window, BRect frame)
    : BView(frame, "PrivatView", B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_FRAME_EVENTS)
{
    window->AddChild(this);
    BRect inner = Bounds();
    inner.top += 1;
    AddChild(new IRCView(window, inner));
}

PrivatView::~PrivatView() {}

void PrivatView::MessageReceived(BMessage* message)
{
    BView::MessageReceived(message);
}

void PrivatView::AttachedToWindow()
{
    SetViewColor(220, 220, 220, 0);
    SetHighColor(250, 250, 250, 0);
    SetLowColor(150, 150, 150, 0);
    BView::AttachedToWindow();
}

void PrivatView::DetachedFromWindow()
{
    BView::DetachedFromWindow();
}

void PrivatView::Draw(BRect updateRect)
{
    BView::Draw(updateRect);
}

void PrivatView::FrameResized(float width, float height)
{
    BView::FrameResized(width, height);
}

PrivatWindow::PrivatWindow(ServerWindow* server, const char* nick)
    : BWindow(BRect(30, 30, 380, 200), "", B_DOCUMENT_WINDOW, 0), m_server(server),
      m_looper(server), m_name{}
{
    const BRect bounds = Bounds();
    BRect view = bounds;
    view.bottom -= 14;
    new PrivatView(this, view);
    // A private window's bar lists nothing: no list, no first cell.
    new StatusBarView(this, BRect(-1, bounds.bottom - 13, bounds.right - 14, bounds.bottom + 1));
    FindView("statusbar")->SetResizingMode(B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
    fit_copy(m_name, sizeof(m_name), nick);
    {
        ServerLock lock(m_looper);
        if (lock.IsLocked()) {
            auto* item = new wndItem{this, {}};
            fit_copy(item->name, sizeof(item->name), m_name);
            m_server->m_privat_list.AddItem(item);
            // Opened from a channel window while the server window waits
            // for its windows to close: this one must close too.
            if (m_server->is_closing())
                PostMessage(B_QUIT_REQUESTED);
        }
    }
    set_title();
    Show();
}

PrivatWindow::~PrivatWindow() {}

void PrivatWindow::set_title()
{
    char title[128];
    fit_format(title, sizeof(title), "Private with <%s>", m_name);
    SetTitle(title);
}

void PrivatWindow::w_print(const char* text, int kind)
{
    print_to_output(this, text, kind);
}

void PrivatWindow::do_msg(BMessage* message)
{
    bool hasParams;
    std::string params = message_params(message, &hasParams);
    const char* from = nullptr;
    const char* command = nullptr;
    message->FindString("from", &from);
    if (message->FindString("command", &command) != B_OK)
        return;
    if (from == nullptr)
        from = "";
    char line[1024];
    if (strcmp(command, "PRIVMSG") == 0 && hasParams) {
        fit_format(line, sizeof(line), "<%s> %s\n", from, text_after_colon(params).c_str());
        w_print(line, 0);
    } else if (strcmp(command, "PART") == 0 || strcmp(command, "QUIT") == 0) {
        fit_format(line, sizeof(line), "%s %s %s\n", command, from, params.c_str());
        w_print(line, 3);
    } else if (strcmp(command, "NICK") == 0) {
        std::string newNick = less_colon(params);
        if (newNick.empty() || newNick.size() >= sizeof(m_name))
            return;
        {
            ServerLock lock(m_looper);
            if (lock.IsLocked()) {
                if (wndItem* item = find_item_by_wnd(&m_server->m_privat_list, this))
                    fit_copy(item->name, sizeof(item->name), newNick.c_str());
            }
        }
        fit_copy(m_name, sizeof(m_name), newNick.c_str());
        set_title();
        fit_format(line, sizeof(line), "%s %s %s\n", from, command, newNick.c_str());
        w_print(line, 3);
    }
}

void PrivatWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_IRC:
        do_msg(message);
        break;
    case MSG_NTR: {
        BMessage* target = nullptr;
        if (message->FindPointer("target", reinterpret_cast<void**>(&target)) == B_OK &&
            target != nullptr && target->what == MSG_UMG)
            send_typed_text(this, m_server, m_looper, m_name,
                            [this](const char* text, int kind) { w_print(text, kind); });
        break;
    }
    }
    BWindow::MessageReceived(message);
}

void PrivatWindow::Quit()
{
    {
        ServerLock lock(m_looper);
        if (lock.IsLocked()) {
            if (wndItem* item = find_item_by_wnd(&m_server->m_privat_list, this)) {
                m_server->m_privat_list.RemoveItem(item);
                delete item;
            }
            m_server->PostMessage(MSG_CHILD_DONE);
        }
    }
    BWindow::Quit();
}

#include "ToolBarView.h"

#include <Window.h>

#include <IrcCodes.h>
#include <Prefs.h>

#include "IRCApp.h"
#include "draw_3Drect.h"
#include "newButton.h"
#include "newComboBox.h"

ToolBarView::ToolBarView(BWindow* window, BRect frame)
    : BView(frame, "ToolBarView", B_FOLLOW_LEFT_RIGHT,
            B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS),
      m_server_combo(nullptr)
{
    SetViewColor(192, 192, 192, 255);
    window->AddChild(this);

    char name[] = "server_combo";
    m_server_combo = new newComboBox(BRect(0, 0, 175, 30), name, new BMessage(MSG_CON));
    AddChild(m_server_combo);
    BRect r = m_server_combo->Bounds();
    BRect t = Bounds();
    m_server_combo->MoveTo(4, (t.top + t.bottom) / 2 - r.Height() / 2);

    if (Prefs* prefs = get_app_prefs()) {
        prefs->Lock();
        BMessage* settings = prefs->GetMsg();
        const char* server;
        for (int32 i = 0; settings->FindString("server", i, &server) == B_OK; i++)
            m_server_combo->AddString(server);
        if (settings->FindString("default_server", &server) == B_OK)
            m_server_combo->SetString(server);
        else
            settings->AddString("default_server", "");
        prefs->Unlock();
    }

    BRect button = m_server_combo->Frame();
    button.OffsetBy(button.Width() + 4, 0);
    button.right = button.left + 120;
    AddChild(new newButton(button, "Connect", "Connect", new BMessage(MSG_CON)));
    MakeFocus(true);
}

ToolBarView::~ToolBarView() {}

void ToolBarView::MessageReceived(BMessage* message)
{
    BView::MessageReceived(message);
}

void ToolBarView::Draw(BRect updateRect)
{
    BRect r = Bounds();
    r.left -= 2;
    r.right += 2;
    draw_3Drect(this, r, false);
    BView::Draw(updateRect);
}

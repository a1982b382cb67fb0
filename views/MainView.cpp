#include "MainView.h"
#include "ViewColors.h"

#include <AppDefs.h>
#include <Application.h>
#include <Menu.h>
#include <MenuBar.h>
#include <MenuItem.h>
#include <Window.h>

#include <IrcCodes.h>

#include <DebugTarget.h>

#include "BringToFront.h"
#include "DebugWindow.h"
#include "ServerWindow.h"
#include "SettingsWindow.h"
#include "newButton.h"

MainView::MainView(BWindow* window)
    : BView(window->Bounds(), "MainView", B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_NAVIGABLE_JUMP),
      m_window_menu(nullptr)
{
    window->AddChild(this);
    CreateMenus();

    BRect b = window->Bounds().InsetByCopy(4, 4);
    auto* settings = new newButton(BRect(b.right - 55, 22, b.right, b.bottom + 2), "Settings",
                                   "Settings", new BMessage(MSG_MFST));
    AddChild(settings);
    settings->SetTarget(this);
    auto* start =
        new newButton(BRect(2, 22, 150, b.bottom + 2), "Start", "Start", new BMessage(MSG_MSTT));
    AddChild(start);
    start->SetTarget(this);
    MakeFocus(true);
}

MainView::~MainView() {}

void MainView::CreateMenus()
{
    auto* bar =
        new BMenuBar(BRect(), "MenuBar", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP, B_ITEMS_IN_ROW, true);
    AddChild(bar);

    auto* file = new BMenu("File", B_ITEMS_IN_COLUMN);
    file->AddItem(new BMenuItem("Settings", new BMessage(MSG_MFST)));
    file->AddSeparatorItem();
    auto* about = new BMenuItem("About", new BMessage(B_ABOUT_REQUESTED));
    file->AddItem(about);
    file->AddSeparatorItem();
    auto* exit = new BMenuItem("Exit", new BMessage(B_QUIT_REQUESTED), 'Q');
    file->AddItem(exit);
    file->SetTargetForItems(this);
    about->SetTarget(be_app);
    exit->SetTarget(be_app);

    m_window_menu = new BMenu("Window", B_ITEMS_IN_COLUMN);
    m_window_menu->AddItem(new BMenuItem("Debug", new BMessage(MSG_3000)));
    m_window_menu->AddSeparatorItem();
    m_window_menu->SetTargetForItems(this);

    bar->AddItem(file);
    bar->AddItem(m_window_menu);
}

void MainView::AttachedToWindow()
{
    SetViewColor(sc_viewcolor);
    SetHighColor(sc_highcolor);
    SetLowColor(sc_lowcolor);
    BView::AttachedToWindow();
}

void MainView::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_MFST:
        // One settings window at most: a second request shows the open one.
        if (!bring_to_front(m_settings))
            m_settings = BMessenger(new SettingsWindow());
        break;
    case MSG_3000:
        // One debug window at most: a second request shows the open one.
        if (!g_debug.IsSet() || !bring_to_front(m_debug)) {
            auto* debug = new DebugWindow();
            m_debug = BMessenger(debug);
            g_debug.Set(debug);
        }
        break;
    case MSG_MSTT: {
        auto* server = new ServerWindow();
        auto* item = new BMenuItem("Server", new BMessage(MSG_003));
        item->SetTarget(server);
        m_window_menu->AddItem(item);
        server->AddMenuItem(item, BMessenger(this));
        break;
    }
    case MSG_MENU_LABEL: {
        BMenuItem* item = nullptr;
        const char* label;
        // The item may have gone meanwhile: only one still in the menu.
        if (message->FindPointer("item", reinterpret_cast<void**>(&item)) == B_OK &&
            message->FindString("label", &label) == B_OK && m_window_menu->IndexOf(item) >= 0)
            item->SetLabel(label);
        break;
    }
    case MSG_MENU_REMOVE: {
        BMenuItem* item = nullptr;
        if (message->FindPointer("item", reinterpret_cast<void**>(&item)) == B_OK &&
            m_window_menu->IndexOf(item) >= 0) {
            m_window_menu->RemoveItem(item);
            delete item;
        }
        break;
    }
    default:
        BView::MessageReceived(message);
    }
}

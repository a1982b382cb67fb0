#include "SettingsWindow.h"

#include <Application.h>
#include <Screen.h>
#include <TabView.h>

#include "ServersViewTab.h"
#include "UserViewTab.h"
#include "ViewColors.h"

namespace
{

const float kWidth = 340;
const float kHeight = 210;

// The screen that shows the application's first window. That window's
// frame belongs to its own thread: it is read only when this thread holds
// the window (the main window opens the settings), else the main screen.
BRect first_window_screen()
{
    BWindow* first = be_app != nullptr ? be_app->WindowAt(0) : nullptr;
    if (first != nullptr && first->IsLocked())
        return BScreen(first).Frame();
    return BScreen().Frame();
}

} // namespace

SettingsWindow::SettingsWindow()
    : BWindow(BRect(), "Settings", B_FLOATING_WINDOW_LOOK, B_MODAL_APP_WINDOW_FEEL,
              B_NOT_RESIZABLE | B_NOT_ZOOMABLE, B_CURRENT_WORKSPACE)
{
    BRect screen = first_window_screen();
    MoveTo((screen.Width() - kWidth) / 2, (screen.Height() - kHeight) / 2);
    ResizeTo(kWidth, kHeight);

    auto* background = new BView(Bounds(), "emptyView", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
    background->SetViewColor(sc_viewcolor);
    background->SetHighColor(sc_highcolor);
    background->SetLowColor(sc_lowcolor);
    AddChild(background);

    auto* tabs = new BTabView(Bounds().InsetByCopy(4, 4), "tab_view", B_WIDTH_AS_USUAL,
                              B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_NAVIGABLE_JUMP);
    tabs->SetViewColor(sc_viewcolor);
    tabs->SetHighColor(sc_highcolor);
    tabs->SetLowColor(sc_lowcolor);

    BRect page = tabs->Bounds();
    page.bottom -= tabs->TabHeight() - 2;
    tabs->AddTab(new UserViewTab(nullptr, page));
    tabs->AddTab(new ServersViewTab(nullptr, page));

    background->AddChild(tabs);
    Show();
}

SettingsWindow::~SettingsWindow() {}

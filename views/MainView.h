#pragma once

// The main window's contents: the File and Window menus and the "Start"
// and "Settings" buttons. "Start" opens a server window and gives it an
// entry in the Window menu, which the server window then relabels and
// removes by messages, so that the menu is changed only in this thread.

#include <Messenger.h>
#include <View.h>

class BMenu;
class BWindow;

class MainView : public BView
{
public:
    explicit MainView(BWindow* window);
    ~MainView() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;

private:
    void CreateMenus();

    BMenu* m_window_menu;
    // The open debug and settings windows, if any.
    BMessenger m_debug;
    BMessenger m_settings;
};

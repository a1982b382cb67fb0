#pragma once

// The small main window: menus, "Start" and "Settings". Closing it quits
// the application.

#include <Window.h>

class MainWindow : public BWindow
{
public:
    explicit MainWindow(BRect frame);
    ~MainWindow() override;

    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override;
};

#pragma once

// The settings window: the "User" and "Servers" pages of the main store in
// a tab view, centred on the screen, modal to the application. It has no
// OK button: each page writes its fields back to the store when it leaves
// the window, on a change of tab and when the window closes.

#include <Window.h>

class SettingsWindow : public BWindow
{
public:
    // Builds the window and shows it.
    SettingsWindow();
    ~SettingsWindow() override;
};

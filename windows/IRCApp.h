#pragma once

// The application object: owns the two settings stores for the whole run
// and opens the main window where it was last closed.
//
// The stores must outlive every window and every engine thread that may
// read them. Run() returns only after every window has quit and every
// window's engine has been deleted (its thread joined), so the destructor,
// which runs after Run(), is the first moment the stores can go.

#include <Application.h>
#include <Point.h>

class Prefs;

class IRCApp : public BApplication
{
public:
    IRCApp();
    ~IRCApp() override;

    bool QuitRequested() override;
    void ReadyToRun() override;
    void AboutRequested() override;

    Prefs* GetPrefs() { return m_app_prefs; }
    void SetWindowPos(BPoint where) { m_window_pos = where; }

private:
    Prefs* m_app_prefs;
    Prefs* m_servers_prefs;
    BPoint m_window_pos;
};

// The main store through the application object, or null when there is no
// IRCApp (tests of single windows).
Prefs* get_app_prefs();

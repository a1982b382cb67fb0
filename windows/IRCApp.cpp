#include "IRCApp.h"

#include <Alert.h>

#include <AppPrefs.h>
#include <Prefs.h>

#include "MainWindow.h"
#include "SettingsAlertWindow.h"

namespace
{
const char kSignature[] = "application/x-vnd.kuzo-Pelmor";
}

Prefs* get_app_prefs()
{
    return app_prefs();
}

IRCApp::IRCApp()
    : BApplication(kSignature), m_app_prefs(nullptr), m_servers_prefs(nullptr), m_window_pos(-1, -1)
{
    install_settings_alert();
    m_app_prefs = new Prefs("Pelmor settings", "Pelmor");
    BMessage* settings = m_app_prefs->GetMsg();
    BPoint where;
    if (settings->FindPoint("IRCAppWindow", &where) == B_OK)
        m_window_pos = where;
    else
        settings->AddPoint("IRCAppWindow", BPoint(-1, -1));
    m_servers_prefs = new Prefs("servers settings", "Pelmor");
    // Published last: from here on engines read the encoding through it.
    set_app_prefs(m_app_prefs);
}

IRCApp::~IRCApp()
{
    // Every window and engine thread has ended by now (see the header);
    // unpublish first so that nothing can reach the store being deleted.
    set_app_prefs(nullptr);
    delete m_app_prefs;
    delete m_servers_prefs;
}

bool IRCApp::QuitRequested()
{
    m_app_prefs->Lock();
    m_app_prefs->GetMsg()->ReplacePoint("IRCAppWindow", m_window_pos);
    m_app_prefs->Unlock();
    return true;
}

void IRCApp::ReadyToRun()
{
    BRect frame(0, 0, 320, 45);
    if (m_window_pos.x == -1 && m_window_pos.y == -1)
        frame.OffsetTo(6, 25);
    else
        frame.OffsetTo(m_window_pos);
    new MainWindow(frame);
}

void IRCApp::AboutRequested()
{
    (new BAlert("Aboute",
                "Pelmor (Beta 1)\t IRC client\n\t(the Pelmor developers, pelmor@localhost)", "OK",
                nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT))
        ->Go();
}

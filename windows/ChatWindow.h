#pragma once

// The window of one joined channel: prints the channel's traffic, keeps
// its member list and topic, sends what the user types, and leaves the
// channel when closed. Its server window creates it and forwards to it.
//
// Every use of the server window (its lists, its per-server settings, its
// engine) goes through the server window's lock; a server window that has
// gone (the application quitting) refuses the lock, and the use is skipped.

#include <memory>
#include <string>

#include <Window.h>

#include "DirtyWnd.h"

class PublishedNick;

class ServerWindow;

class ChatWindow : public BWindow, public DirtyWnd
{
public:
    // In the server window's thread, which holds its lock.
    ChatWindow(ServerWindow* server, const char* name);
    ~ChatWindow() override;

    void MessageReceived(BMessage* message) override;
    void Quit() override;
    void WindowActivated(bool active) override;
    void FrameMoved(BPoint where) override;
    void FrameResized(float width, float height) override;

    void w_print(const char* text, int kind);
    void do_msg(BMessage* message);

private:
    void store_frame(bool addWhenMissing);
    void change_modes(const char* from, const std::string& params);
    std::string server_nick();

    char m_name[64];
    ServerWindow* m_server;
    // The same window as a looper, taken while it was alive: what is
    // locked (ServerLock) before the server window is used.
    BLooper* m_looper;
    std::shared_ptr<const PublishedNick> m_own_nick;
};

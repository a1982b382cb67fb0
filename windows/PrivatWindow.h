#pragma once

// A private conversation with one partner on one server. The server window
// forwards every line whose sender is the partner; the window follows the
// partner's nickname changes. Uses of the server window go through its
// lock, as for channel windows.

#include <View.h>
#include <Window.h>

class ServerWindow;

class PrivatView : public BView
{
public:
    PrivatView(BWindow* window, BRect frame);
    ~PrivatView() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void DetachedFromWindow() override;
    void Draw(BRect updateRect) override;
    void FrameResized(float width, float height) override;
};

class PrivatWindow : public BWindow
{
public:
    PrivatWindow(ServerWindow* server, const char* nick);
    ~PrivatWindow() override;

    void MessageReceived(BMessage* message) override;
    void Quit() override;

    void w_print(const char* text, int kind);
    void do_msg(BMessage* message);

private:
    void set_title();

    ServerWindow* m_server;
    // The same window as a looper, for ServerLock.
    BLooper* m_looper;
    char m_name[64];
};

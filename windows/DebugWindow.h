#pragma once

// The raw traffic of every server connection, both directions, newest
// line first, in one read-only text. At most one is open; the engines post
// their copies to it through g_debug while it is.

#include <deque>
#include <string>

#include <Window.h>

class DebugWindow : public BWindow
{
public:
    // Builds the window and shows it; the caller sets g_debug.
    DebugWindow();
    ~DebugWindow() override;

    void MessageReceived(BMessage* message) override;
    void Quit() override;
    void FrameResized(float width, float height) override;

    // The most text the window keeps; the oldest lines go to make room.
    static const int32 kMaxBytes = 65535;

private:
    void show_pending();

    // Lines that arrived since the last insertion, oldest first, and their
    // bytes: a burst of traffic is inserted at once, not line by line, each
    // of which would move the whole text.
    std::deque<std::string> m_pending;
    int32 m_pending_bytes = 0;
};

#pragma once

// The raw traffic of every server connection, both directions, newest
// line first, in one read-only text. At most one is open; the engines post
// their copies to it through g_debug while it is.

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
};

#pragma once

// What a backend must provide to the display server: real windows on a
// desktop (SDL2) or windows kept in memory (headless).
//
// Every call except Wake() is made on the main thread, by the display
// server. A backend knows nothing of the toolkit's windows and views: it
// shows pixel frames in numbered windows and turns what the user does into
// NativeEvents, which it hands to the sink while the server waits in
// WaitEvents(). Coordinates are whole device pixels; a window's frame is
// the rectangle of its content on the screen, without border or title bar,
// with both edges inside (a 320 x 45 window at (6, 25) is (6, 25, 326, 70)).
// On a high-resolution desktop the server works in points and converts:
// the backend only reports the scale, device pixels per point.

#include <string>

#include <SupportDefs.h>

namespace BPrivate
{

struct NativeEvent {
    enum Type {
        MOUSE_DOWN,
        MOUSE_UP,
        MOUSE_MOVED,
        MOUSE_WHEEL,
        KEY_DOWN,
        KEY_UP,
        WINDOW_CLOSE,   // the close box
        WINDOW_FOCUS,   // `active` tells gained or lost
        WINDOW_MOVED,   // x, y: the content's new left-top on the screen
        WINDOW_RESIZED, // width, height: the content's new size in pixels
        WINDOW_EXPOSED, // the backend lost the pixels; present again
    };

    Type type = MOUSE_MOVED;
    int32 window = 0; // the window's id; 0 when the pointer is over none

    // Pointer events: the position in the window's content, in pixels, and
    // on the screen; the buttons held after the event (bit 0 primary, bit 1
    // secondary, bit 2 tertiary); the most clicks a press may count as (the
    // server counts them itself, with the desktop's time and distance, and
    // takes the smaller; a backend that leaves it to the server says
    // INT32_MAX).
    float x = 0, y = 0;
    float screenX = 0, screenY = 0;
    uint32 buttons = 0;
    int32 clicks = 1;
    float wheelX = 0, wheelY = 0; // wheel steps, positive down and right

    // Key events: the UTF-8 text the key produces (one character; for keys
    // without text, the single control byte: B_ENTER, B_LEFT_ARROW ...),
    // and a raw key code of the backend's own.
    std::string bytes;
    int32 key = 0;

    // Both: the modifier keys held (B_SHIFT_KEY, B_COMMAND_KEY ...).
    uint32 modifiers = 0;

    bool active = false;
    int32 width = 0, height = 0;
};

class EventSink
{
public:
    virtual ~EventSink();
    virtual void HandleEvent(const NativeEvent& event) = 0;
};

// The pointer's look over a window.
enum class CursorShape { kArrow, kIBeam };

// What the desktop says about double clicks: the longest time between two
// presses (microseconds) and how far apart they may be (pixels).
struct ClickSettings {
    bigtime_t time = 400000;
    int32 distance = 4;
};

struct WindowSpec {
    std::string title;
    int32 left = 0, top = 0, width = 1, height = 1; // content, in pixels
    bool resizable = true;
    bool decorated = true; // title bar and border
    bool popup = false;    // a menu: no decoration, no taskbar entry
    bool modal = false;
};

class DisplayBackend
{
public:
    virtual ~DisplayBackend();

    virtual const char* Name() const = 0;
    // Device pixels per point, 1 or 2, as the desktop asks for it; fixed for
    // the backend's life, so any thread may ask.
    virtual int32 Scale() const;
    // Frames a second the screen shows (60 where the desktop does not
    // say); fixed for the backend's life, so any thread may ask.
    virtual int32 RefreshRate() const;
    // The frame of the screen (of the one the point is on, for several).
    virtual void ScreenFrame(int32 x, int32 y, int32* left, int32* top, int32* width,
                             int32* height) = 0;

    virtual bool CreateWindow(int32 id, const WindowSpec& spec) = 0;
    virtual void DestroyWindow(int32 id) = 0;
    virtual void SetTitle(int32 id, const std::string& title) = 0;
    virtual void SetFrame(int32 id, int32 left, int32 top, int32 width, int32 height) = 0;
    virtual void SetVisible(int32 id, bool visible) = 0;
    virtual void Raise(int32 id) = 0;

    // Shows a frame: `pixels` holds height rows of `stride` bytes, each
    // pixel four bytes, blue, green, red, alpha in memory (cairo's ARGB32
    // on a little-endian machine).
    virtual void Present(int32 id, const uint8* pixels, int32 width, int32 height,
                         int32 stride) = 0;

    // Whether the display is gone (the X server ended, with the session).
    // A lost backend does nothing from then on, and its WaitEvents only
    // waits for the timeout or a Wake.
    virtual bool Lost() const;

    // Waits up to `timeout` microseconds for native events and hands each
    // to the sink; returns early once Wake() is called.
    virtual void WaitEvents(bigtime_t timeout, EventSink* sink) = 0;
    // Any thread.
    virtual void Wake() = 0;

    // The pointer as the system sees it now: position on the screen and
    // buttons held.
    virtual void PointerState(float* screenX, float* screenY, uint32* buttons) = 0;

    virtual std::string ClipboardText() = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    // The X primary selection: the text selected last, anywhere.
    virtual std::string PrimaryText() = 0;
    virtual void SetPrimaryText(const std::string& text) = 0;

    // The shape of the pointer while it is over our windows.
    virtual void SetCursor(CursorShape shape) = 0;
    // The desktop's double-click time and distance (defaults where it does
    // not say).
    virtual ClickSettings DoubleClickSettings() = 0;
};

// The backends the toolkit has. Each returns null and says why in `error`
// when it cannot start (no display to open, for SDL).
DisplayBackend* create_sdl2_backend(std::string* error);
DisplayBackend* create_headless_backend(int32 scale = 1);

} // namespace BPrivate

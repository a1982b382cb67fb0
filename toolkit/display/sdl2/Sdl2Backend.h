#pragma once

// Windows on a desktop through SDL2 (X11 or Wayland). DisplayBackend.h has
// the contract; what is noted here are the quirks of SDL this class absorbs.
//
// Keys: SDL reports a printable key twice, as SDL_KEYDOWN (the unshifted
// keysym) and then SDL_TEXTINPUT (the text); composed and IME text comes as
// SDL_TEXTINPUT alone, control keys and Ctrl+letter as SDL_KEYDOWN alone. A
// key down that may still get its text is held back until the next event and
// sent as one KEY_DOWN, with the text if it came, else with the key's own
// byte.
//
// Pointer: SDL's own mouse capture grabs the window that has the keyboard,
// not the one pressed, so it is off; X11's implicit grab keeps the press's
// window getting the release. While a button is held every pointer event
// goes to the window that took the first press; motion outside it, which
// SDL drops, is polled from the X server. A release that never comes (the
// press window loses the focus, or SDL reports motion with no button held)
// is made up, so the server never sees a button stuck down.
//
// Focus: without a window manager a window takes the keyboard when shown,
// pop-up menus too. The loss this causes to the window that opened the
// pop-up is not reported (the user did not leave it), and the keyboard goes
// back to that window when the pop-up is hidden. Focus reports never repeat
// the state the server already has.
//
// Scale: the backend speaks device pixels. On X11 so does SDL, and the
// desktop's scale is its Xft.dpi resource (2 from 144 dpi on). On Wayland
// SDL speaks the desktop's points, windows are made high-DPI, and every
// position and size is converted here, by the scale the outputs ask for.
//
// SDL_QUIT is ignored: SDL sends it for the last window closing and for
// signals, and both are switched off; the close box gives WINDOW_CLOSE.
//
// The end of the display: on X11 Xlib ends the process when it reads or
// writes a connection the server closed (the X server ended, the user
// logged out). So the backend waits itself, with poll() on the connection
// and on an eventfd that Wake() writes, and before each call into SDL it
// looks whether the server has hung up. Once it has, the backend is lost:
// it never calls SDL or Xlib again, and the server asks the application to
// quit. Should the server end between that look and a call, Xlib's I/O
// error handler is the backstop (see ConnectionBroke). Elsewhere (Wayland)
// SDL_WaitEventTimeout waits, and Wake() pushes an SDL event.

#include <SDL.h>

#include <atomic>
#include <map>
#include <string>
#include <unordered_map>

#include "DisplayBackend.h"

namespace BPrivate
{

class Sdl2Backend : public DisplayBackend
{
public:
    static DisplayBackend* Create(std::string* error);
    ~Sdl2Backend() override;

    const char* Name() const override { return "sdl2"; }
    int32 Scale() const override { return fScale; }
    int32 RefreshRate() const override { return fRefreshRate; }
    void ScreenFrame(int32 x, int32 y, int32* left, int32* top, int32* width,
                     int32* height) override;

    bool CreateWindow(int32 id, const WindowSpec& wanted) override;
    void DestroyWindow(int32 id) override;
    void SetTitle(int32 id, const std::string& title) override;
    void SetFrame(int32 id, int32 left, int32 top, int32 width, int32 height) override;
    void SetVisible(int32 id, bool visible) override;
    void Raise(int32 id) override;

    void Present(int32 id, const uint8* pixels, int32 width, int32 height, int32 stride) override;

    bool Lost() const override { return fLost; }
    void WaitEvents(bigtime_t timeout, EventSink* sink) override;
    void Wake() override;

    void PointerState(float* screenX, float* screenY, uint32* buttons) override;

    std::string ClipboardText() override;
    void SetClipboardText(const std::string& text) override;
    std::string PrimaryText() override;
    void SetPrimaryText(const std::string& text) override;
    void SetCursor(CursorShape shape) override;
    ClickSettings DoubleClickSettings() override;

    // For tests: the X display connection (an Xlib Display), or null.
    void* XDisplay() const { return fXDisplay; }

private:
    struct WindowEntry {
        SDL_Window* sdl = nullptr;
        bool popup = false;
        bool visible = false;
        bool active = false;    // the focus state the server was last told
        bigtime_t shownAt = -1; // pop-ups: when last shown
        int32 opener = 0;       // pop-ups: the window (not a pop-up) that had the keyboard
    };

    Sdl2Backend(uint32 wakeEvent, SDL_Window* helper);

    // A device-pixel coordinate or size in SDL's, which may be points.
    int ToSdl(int32 pixels) const { return pixels / fUnit; }

    WindowEntry* Find(int32 id);
    int32 IdOf(uint32 sdlWindowId) const;
    int32 KeyboardOwner() const;
    bool QueryPointer(int32* x, int32* y, uint32* buttons);
    bigtime_t NextDeadline(bigtime_t now) const;

    // False once the display is gone; on X11 it looks first whether the
    // server has hung up, and if so marks the backend lost.
    bool Usable();
    static void ConnectionBroke(void* display);
    // The next event, waiting until `until` (system_time()) at most; false
    // when none came (woken, timed out or lost).
    bool NextEvent(bigtime_t until, SDL_Event* event);
    // The next event SDL has already, without waiting.
    bool PollEvent(SDL_Event* event);
    void TakeWake();
    void WaitWhileLost(bigtime_t timeout);

    void Handle(const SDL_Event& event);
    void Emit(const NativeEvent& event);
    void Housekeeping();

    NativeEvent PointerEvent(NativeEvent::Type type, int32 target, float screenX, float screenY);
    bool ToScreen(uint32 sdlWindowId, float x, float y, float* screenX, float* screenY);
    void HandleButton(const SDL_MouseButtonEvent& event);
    void HandleMotion(const SDL_MouseMotionEvent& event);
    void HandleWheel(const SDL_MouseWheelEvent& event);
    void PointerLeft();
    void PollDrag();
    void ReleaseButtons(uint32 bits);

    void HandleKeyDown(const SDL_KeyboardEvent& event);
    void HandleKeyUp(const SDL_KeyboardEvent& event);
    void HandleText(const SDL_TextInputEvent& event);
    void EmitKeyDown(int32 window, const SDL_Keysym* keysym, const std::string& bytes);
    void FlushKey();

    void HandleWindowEvent(const SDL_WindowEvent& event);
    void HandleFocus(int32 id, bool gained);
    void ReportFocus(int32 id, bool active);
    void ReleaseHeldLoss();
    bool PopupJustShown(const WindowEntry& window, bigtime_t now) const;
    void GiveKeyboardBack(const WindowEntry& popup);
    // The window a pop-up's keyboard goes back to: its opener if still
    // shown, else the last window that had the keyboard.
    int32 KeyboardHeir(const WindowEntry& popup);

    std::map<int32, WindowEntry> fWindows;
    std::unordered_map<uint32, int32> fIds; // SDL window id -> ours

    // Never shown: gives SDL_WaitEventTimeout a window to sleep on when the
    // server has none (SDL polls every millisecond without one).
    SDL_Window* fHelper;
    void* fXDisplay;
    int32 fScale = 1; // device pixels per point
    int32 fRefreshRate = 60;
    int32 fUnit = 1; // device pixels per SDL coordinate

    const uint32 fWakeEvent;
    std::atomic<bool> fWakePending{false};
    // X11: the connection's descriptor, and the eventfd Wake() writes when
    // the backend waits itself (-1 elsewhere).
    int fXConnection = -1;
    int fWakeFd = -1;
    std::atomic<bool> fLost{false};

    EventSink* fSink = nullptr;
    bool fWaiting = false;
    bool fWoken = false;
    int32 fDelivered = 0;

    // The modifiers as of the last key event handled: SDL's current state
    // is already past the events still to handle.
    Uint16 fModifiers;

    // A key down that may still get its text.
    bool fKeyPending = false;
    int32 fKeyWindow = 0;
    SDL_Keysym fKeySym{};
    std::map<int32, std::string> fKeyBytes; // by scancode, for the key up

    uint32 fHeld = 0;      // buttons the server was told are down
    int32 fDragWindow = 0; // the window that took the first of them
    float fLastScreenX = 0, fLastScreenY = 0;

    int32 fLastFocus = 0; // the last window, not a pop-up, that had the keyboard

    SDL_Cursor* fCursors[2] = {nullptr, nullptr}; // by CursorShape, made when first used
    CursorShape fCursor = CursorShape::kArrow;

    ClickSettings fClickSettings;
    bigtime_t fClickSettingsRead = -1;

    int32 fPopupGain = 0; // a pop-up that just took the keyboard
    bigtime_t fPopupGainAt = 0;
    int32 fHeldLoss = 0; // a focus loss waiting to see if a pop-up caused it
    bigtime_t fHeldLossAt = 0;
};

} // namespace BPrivate

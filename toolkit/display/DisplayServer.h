#pragma once

// The display server: the registry of the application's windows, and the
// bridge between them and a backend that shows them.
//
// Window threads call in from anywhere: they register and describe their
// windows and hand over finished frames. Nothing they call touches the
// backend; requests queue up and frames wait in a per-window slot, and the
// main thread, which runs the server as its pump, carries them out. The
// main thread in turn turns native events into the toolkit's messages and
// posts them to the window concerned, so it never waits for a window
// thread. Focus, activation and the modal-app feel are decided here.
//
// Everything the windows see is in points: frames, the screen, the pointer
// and event positions. On a high-resolution desktop the backend works in
// device pixels (Scale() of them to a point) and the server converts, here
// only: frames and positions it hands the backend are multiplied, what the
// backend reports is divided. Window back buffers, and so the frames they
// submit, are in device pixels.

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <MainThread.h>
#include <Messenger.h>
#include <Rect.h>

#include "DisplayBackend.h"

class BLooper;

namespace BPrivate
{

// Told to every shown pop-up when the user acts outside them: a press
// outside every pop-up ("screen_where"), which no window gets, or the
// keyboard going to another window or application. Menus close on it.
enum : uint32 { kPopupDismiss = '_PDM' };

struct WindowFeatures {
    std::string title;
    BRect frame; // content, screen coordinates
    bool resizable = true;
    bool decorated = true;
    bool popup = false;    // a menu: takes input while shown, closes itself
    bool modalApp = false; // other windows take no input while it shows
};

class DisplayServer : public MainThreadPump, public EventSink
{
public:
    // The server, made with the backend the process asked for (see
    // DisplayInit in the interface kit); null before.
    static DisplayServer* Get();
    // Installs the server with this backend (taking ownership) and makes it
    // the main thread's pump. Later calls return the first server.
    static DisplayServer* Install(DisplayBackend* backend);
    // Takes the server down (tests), once every window thread has ended.
    static void Uninstall();

    // -- window side, any thread -------------------------------------------
    // Device pixels per point (1 or 2), fixed while the server runs.
    int32 Scale() const { return fScale; }
    // How long one frame of the screen shows, in microseconds: a window
    // draws at most once in that time.
    bigtime_t FrameInterval() const { return fFrameInterval; }
    int32 RegisterWindow(BLooper* window, const WindowFeatures& features);
    void UnregisterWindow(int32 id);
    void SetTitle(int32 id, const char* title);
    // Moves and sizes the window on screen (the window asked for it).
    void SetFrame(int32 id, BRect frame);
    BRect Frame(int32 id) const;
    void SetVisible(int32 id, bool visible);
    bool IsVisible(int32 id) const;
    void Activate(int32 id);
    int32 ActiveWindow() const;
    // Copies a finished frame (device pixels); the main thread presents the
    // latest one.
    void SubmitFrame(int32 id, const uint8* pixels, int32 width, int32 height, int32 stride);
    // The pointer in screen coordinates and the buttons held.
    void GetPointer(BPoint* where, uint32* buttons) const;
    BRect ScreenFrame(BPoint near) const;
    std::string ClipboardText();
    void SetClipboardText(const std::string& text);
    // The primary selection; setting it does not wait.
    std::string PrimaryText();
    void SetPrimaryText(const std::string& text);
    // The pointer's shape while it is over the window.
    void SetCursor(int32 id, CursorShape shape);
    // While this pop-up shows, presses in `screen` still reach the window
    // under them (a menu bar switching between its menus); elsewhere
    // outside the pop-ups they close it.
    void SetPopupPassThrough(int32 id, BRect screen);
    // The modifier keys held at the last input event.
    uint32 Modifiers() const;
    // Whether a modal-app window is shown (input then goes to it only).
    bool ModalShown() const;

    // -- for tests -----------------------------------------------------------
    DisplayBackend* Backend() const { return fBackend.get(); }
    // The latest frame handed over by a window, in device pixels.
    bool CopyFrame(int32 id, std::vector<uint8>* pixels, int32* width, int32* height) const;
    // Nothing queued for the main thread and no frame waiting.
    bool IsIdle() const;
    // Ids of the registered windows, in order of registration.
    std::vector<int32> Windows() const;
    BLooper* WindowLooper(int32 id) const;

    // -- main thread ---------------------------------------------------------
    void Pump(bigtime_t timeout) override;
    void Wake() override;
    void HandleEvent(const NativeEvent& event) override;

private:
    struct Window {
        int32 id = 0;
        BLooper* looper = nullptr;
        BMessenger messenger;
        WindowFeatures features;
        bool visible = false;
        bool created = false; // the backend has it
        // Shared with the main thread while it presents the frame; a new
        // frame is copied into it only when the window has it alone.
        std::shared_ptr<std::vector<uint8>> frame;
        int32 frameWidth = 0, frameHeight = 0;
        bool framePending = false;
        CursorShape cursor = CursorShape::kArrow;
        BRect passThrough; // pop-ups: see SetPopupPassThrough
    };

    struct Press {
        int32 window = 0;
        uint32 button = 0;
        bigtime_t when = 0;
        BPoint where; // screen
        int32 clicks = 0;
    };

    explicit DisplayServer(DisplayBackend* backend);
    ~DisplayServer() override;

    // Queues work for the main thread and wakes it.
    void Request(std::function<void()> work);
    void RunRequests();
    void PresentPending();
    // Posts B_QUIT_REQUESTED to the application, once, when the backend has
    // lost the display.
    void NoticeLoss();
    void Post(int32 id, BMessage* message, bool toFocus = false);
    void SetActive(int32 id);
    // How many clicks the press counts as: the previous press's count and
    // one, when it was of the same button in the same window, lately and
    // nearby; never more than the backend says.
    int32 CountClicks(const NativeEvent& event, uint32 button);
    // Closes the shown pop-ups; true when there were any.
    bool DismissPopups(BPoint where);
    void ShowCursorOf(int32 id);
    bool AcceptsInput(int32 id) const; // under fLock
    Window* Find(int32 id);
    const Window* Find(int32 id) const;

    // Between points and the backend's device pixels.
    float ToPoints(float pixels) const;
    int32 ToPointSize(int32 pixels) const;
    void ToPixels(BRect frame, int32* left, int32* top, int32* width, int32* height) const;
    NativeEvent InPoints(const NativeEvent& event) const;

    std::unique_ptr<DisplayBackend> fBackend;
    const int32 fScale;
    const bigtime_t fFrameInterval;
    mutable std::mutex fLock;
    std::map<int32, Window> fWindows;
    std::vector<int32> fOrder;
    int32 fNextId = 1;
    int32 fActive = 0;
    std::vector<std::function<void()>> fRequests;
    int32 fPendingFrames = 0;
    bool fPresenting = false; // frames are with the backend, without the lock
    BPoint fPointer;
    uint32 fButtons = 0;
    uint32 fModifiers = 0;
    int32 fPressWindow = 0;     // the window that took the press being held
    std::vector<int32> fPopups; // shown pop-ups, the latest last
    // Main thread only.
    Press fLastPress;
    bool fSwallowing = false; // a press closed the pop-ups: its release and drag go nowhere
    int32 fPointerWindow = 0; // the window whose cursor shows
    bool fLossNoticed = false;
};

} // namespace BPrivate

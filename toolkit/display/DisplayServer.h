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
    // Copies a finished frame; the main thread presents the latest one.
    void SubmitFrame(int32 id, const uint8* pixels, int32 width, int32 height, int32 stride);
    // The pointer in screen coordinates and the buttons held.
    void GetPointer(BPoint* where, uint32* buttons) const;
    // How many presses there have been, and where the last one was
    // (screen): a quick click's press and release may both come between
    // two looks at the buttons.
    uint32 Presses(BPoint* lastPress = nullptr) const;
    BRect ScreenFrame(BPoint near) const;
    std::string ClipboardText();
    void SetClipboardText(const std::string& text);
    // The modifier keys held at the last input event.
    uint32 Modifiers() const;
    // Whether a modal-app window is shown (input then goes to it only).
    bool ModalShown() const;

    // -- for tests -----------------------------------------------------------
    DisplayBackend* Backend() const { return fBackend.get(); }
    // The latest frame handed over by a window.
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
        std::vector<uint8> frame;
        int32 frameWidth = 0, frameHeight = 0;
        bool framePending = false;
    };

    explicit DisplayServer(DisplayBackend* backend);
    ~DisplayServer() override;

    // Queues work for the main thread and wakes it.
    void Request(std::function<void()> work);
    void RunRequests();
    void PresentPending();
    void Post(int32 id, BMessage* message, bool toFocus = false);
    void SetActive(int32 id);
    bool AcceptsInput(int32 id) const; // under fLock
    Window* Find(int32 id);
    const Window* Find(int32 id) const;

    std::unique_ptr<DisplayBackend> fBackend;
    mutable std::mutex fLock;
    std::map<int32, Window> fWindows;
    std::vector<int32> fOrder;
    int32 fNextId = 1;
    int32 fActive = 0;
    std::vector<std::function<void()>> fRequests;
    int32 fPendingFrames = 0;
    BPoint fPointer;
    uint32 fButtons = 0;
    uint32 fPresses = 0;
    BPoint fLastPress;
    uint32 fModifiers = 0;
    int32 fPressWindow = 0;     // the window that took the press being held
    std::vector<int32> fPopups; // shown pop-ups, the latest last
};

} // namespace BPrivate

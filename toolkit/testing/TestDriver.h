#pragma once

// Drives a whole application like a person, for tests.
//
// The driver starts the application on the headless display, runs it on a
// thread of its own (which becomes the main thread), and then finds windows
// and views, clicks, drags, turns the wheel, types and presses keys by
// injecting the events a user would make. WaitIdle() returns once every
// loop is empty and every frame presented, so a test can then read a
// view's state under its window's lock, or save a window as a PNG.
// Destroying the driver quits the application and waits for it, with a
// watchdog that aborts the test rather than let it hang.

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <Application.h>
#include <GraphicsDefs.h>
#include <InterfaceDefs.h>
#include <Rect.h>

class BView;
class BWindow;

class TestDriver
{
public:
    // Where the windows go: the headless display, which the driver's input
    // calls feed, or the desktop's (SDL2), for tests that give input
    // through a real X server and use the driver only to find windows and
    // views, read state and wait.
    enum Display { kHeadless, kDesktop };

    // `make` builds the application; it runs on the calling thread. On the
    // headless display `scale` is its device pixels per point (1 or 2):
    // scale 2 plays a high-resolution desktop.
    explicit TestDriver(const std::function<BApplication*()>& make, Display display = kHeadless,
                        int32 scale = 1);
    ~TestDriver();

    BApplication* App() const { return fApp; }

    // The first window with this title, waiting up to `timeout` for it.
    BWindow* FindWindow(const std::string& title, bigtime_t timeout = 5000000);
    std::vector<BWindow*> Windows() const;
    // A view of the window by name (the whole tree), or null.
    BView* FindView(BWindow* window, const char* name);

    // Pointer input, in window coordinates or in a view's own (points,
    // whatever the scale; the driver hands the backend device pixels). The
    // input calls need the headless display.
    void MouseDown(BWindow* window, BPoint where, uint32 buttons = B_PRIMARY_MOUSE_BUTTON,
                   int32 clicks = 1, uint32 modifiers = 0);
    void MouseMove(BWindow* window, BPoint where, uint32 buttons = 0);
    void MouseUp(BWindow* window, BPoint where, uint32 modifiers = 0);
    void Click(BWindow* window, BPoint where, uint32 buttons = B_PRIMARY_MOUSE_BUTTON,
               int32 clicks = 1, uint32 modifiers = 0);
    // At the view's centre when no point is given.
    void Click(BView* view, uint32 buttons = B_PRIMARY_MOUSE_BUTTON, int32 clicks = 1,
               uint32 modifiers = 0);
    void Click(BView* view, BPoint where, uint32 buttons = B_PRIMARY_MOUSE_BUTTON, int32 clicks = 1,
               uint32 modifiers = 0);
    // Press at `from`, move in `steps` steps (pausing between them, so that
    // views tracking the pointer by polling see the way), release at `to`.
    void Drag(BWindow* window, BPoint from, BPoint to, int32 steps = 8,
              uint32 buttons = B_PRIMARY_MOUSE_BUTTON, bigtime_t stepPause = 40000);
    // Wheel steps over a point; positive is down.
    void Wheel(BWindow* window, BPoint where, float dy, float dx = 0);

    // Keyboard input goes to the active window.
    void Type(const std::string& utf8, uint32 modifiers = 0);
    // A key by its byte (B_ENTER, B_UP_ARROW, 'q' ...), with modifiers.
    void Key(char byte, uint32 modifiers = 0);
    // A function key by its "key" (B_F1_KEY ... B_F12_KEY).
    void FunctionKey(int32 key, uint32 modifiers = 0);
    // The close box.
    void Close(BWindow* window);
    // Makes the window the active one, as a click on its title would.
    void Activate(BWindow* window);

    // Waits until every loop is empty, no event is pending and every frame
    // has been handed over; false after `timeout`.
    bool WaitIdle(bigtime_t timeout = 10000000);

    // Runs `work` with the window locked (it must not be gone).
    template <class Work>
    auto Locked(BWindow* window, Work work) -> decltype(work());

    // The window as last presented, in device pixels: at scale 2 twice as
    // wide and high as the window in points, a point at (x, y) showing at
    // (2x, 2y) to (2x + 1, 2y + 1).
    bool Pixels(BWindow* window, std::vector<uint32>* pixels, int32* width, int32* height);
    rgb_color Pixel(BWindow* window, int32 x, int32 y);
    bool SavePNG(BWindow* window, const std::string& path);
    // The view tree with names and frames, one view a line.
    std::string Dump(BWindow* window);

    TestDriver(const TestDriver&) = delete;
    TestDriver& operator=(const TestDriver&) = delete;

private:
    bool LockWindow(BWindow* window);
    void UnlockWindow(BWindow* window);

    BApplication* fApp;
    std::thread fRunner;
    std::atomic<bool> fFinished;
};

template <class Work>
auto TestDriver::Locked(BWindow* window, Work work) -> decltype(work())
{
    struct Unlocker {
        TestDriver* driver;
        BWindow* window;
        ~Unlocker() { driver->UnlockWindow(window); }
    };
    LockWindow(window);
    Unlocker unlocker{this, window};
    return work();
}

#pragma once

// The display in memory, for tests: a fixed 1024 x 768 screen, windows that
// are only records, the latest frame of each kept, and events that the test
// driver injects instead of a user. Injected events go through the same
// queue and the same sink as a real backend's, on the main thread.
//
// At scale 2 it plays a high-resolution desktop: the screen has twice the
// pixels each way (1024 x 768 points still), and like every backend it
// speaks device pixels: window frames, presented frames, injected events.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "DisplayBackend.h"

namespace BPrivate
{

class HeadlessBackend : public DisplayBackend
{
public:
    struct WindowState {
        WindowSpec spec;
        bool visible = false;
        int32 raises = 0;
        std::vector<uint8> pixels; // presented, width * 4 bytes a row
        int32 width = 0, height = 0;
    };

    explicit HeadlessBackend(int32 scale = 1);
    ~HeadlessBackend() override;

    const char* Name() const override { return "headless"; }
    int32 Scale() const override { return fScale; }
    void ScreenFrame(int32 x, int32 y, int32* left, int32* top, int32* width,
                     int32* height) override;
    bool CreateWindow(int32 id, const WindowSpec& spec) override;
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

    // -- for the test driver, any thread -----------------------------------
    // Queues an event as if the user had made it. Pointer events get their
    // screen position from the window's frame.
    void Inject(const NativeEvent& event);
    // No injected event is waiting.
    bool EventsDone() const;
    bool State(int32 id, WindowState* state) const;
    // The visible window at a screen point, topmost first; 0 for none.
    int32 WindowAt(float screenX, float screenY) const;
    // The pointer's shape as last set.
    CursorShape Cursor() const;
    // A second a double click by default: tests under sanitizers are slow
    // between the presses they make.
    void SetDoubleClickSettings(const ClickSettings& settings);
    // Plays the end of the display session (the X server gone): Lost()
    // holds from now on.
    void Lose();

private:
    const int32 fScale;
    mutable std::mutex fLock;
    std::condition_variable fWakeUp;
    std::deque<NativeEvent> fEvents;
    bool fWoken = false;
    int32 fHandling = 0; // events taken but not yet handed over
    std::map<int32, WindowState> fWindows;
    std::vector<int32> fStack; // bottom to top
    std::string fClipboard;
    std::string fPrimary;
    CursorShape fCursor = CursorShape::kArrow;
    ClickSettings fClicks{1000000, 4};
    float fPointerX = 0, fPointerY = 0;
    uint32 fButtons = 0;
    std::atomic<bool> fLost{false};
};

} // namespace BPrivate

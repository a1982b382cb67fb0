#pragma once

// Shared by the window and drawing tests: an application run by the test
// driver, and a view that records what happens to it.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <Application.h>
#include <Message.h>
#include <TestDriver.h>
#include <View.h>
#include <Window.h>

inline BApplication* make_test_app()
{
    return new BApplication("application/x-vnd.pelmor-toolkit-test");
}

// Every hook that reaches the view, as text, in order.
class RecordingView : public BView
{
public:
    RecordingView(BRect frame, const char* name, uint32 mode = B_FOLLOW_NONE,
                  uint32 flags = B_WILL_DRAW | B_FRAME_EVENTS)
        : BView(frame, name, mode, flags)
    {
    }

    void AttachedToWindow() override { Log("attached"); }
    void AllAttached() override { Log("all attached"); }
    void DetachedFromWindow() override { Log("detached"); }
    void Draw(BRect) override { draws++; }
    void MouseDown(BPoint where) override
    {
        int32 buttons = 0;
        Window()->CurrentMessage()->FindInt32("buttons", &buttons);
        Log("down " + Point(where) + " " + std::to_string(buttons));
    }
    void MouseUp(BPoint where) override { Log("up " + Point(where)); }
    void KeyDown(const char* bytes, int32 length) override
    {
        Log("key " + std::string(bytes, size_t(length)));
    }
    void FrameResized(float width, float height) override
    {
        Log("resized " + std::to_string(int(width)) + "x" + std::to_string(int(height)));
    }
    void Pulse() override { pulses++; }
    void WindowActivated(bool active) override { Log(active ? "active" : "inactive"); }

    std::vector<std::string> Events()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fEvents;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(fLock);
        fEvents.clear();
    }

    std::atomic<int> draws{0};
    std::atomic<int> pulses{0};
    // Shared by a whole tree, so that order across views shows.
    std::vector<std::string>* journal = nullptr;

protected:
    void Log(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(fLock);
        fEvents.push_back(event);
        if (journal != nullptr)
            journal->push_back(std::string(Name()) + " " + event);
    }
    static std::string Point(BPoint p)
    {
        return std::to_string(int(p.x)) + "," + std::to_string(int(p.y));
    }

private:
    std::mutex fLock;
    std::vector<std::string> fEvents;
};

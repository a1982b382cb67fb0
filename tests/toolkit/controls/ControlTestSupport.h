#pragma once

// Shared by the control tests: a test application run by the driver, a
// window that records the messages it receives, and a quick way to put a
// control in a shown window.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <Application.h>
#include <Message.h>
#include <TestDriver.h>
#include <View.h>
#include <Window.h>

inline BApplication* make_control_test_app()
{
    return new BApplication("application/x-vnd.pelmor-controls-test");
}

// Keeps a copy of every message that reaches the window itself.
class RecordingWindow : public BWindow
{
public:
    explicit RecordingWindow(BRect frame, const char* title = "Controls")
        : BWindow(frame, title, B_TITLED_WINDOW, 0)
    {
    }
    void MessageReceived(BMessage* message) override
    {
        {
            std::lock_guard<std::mutex> lock(fLock);
            fMessages.push_back(*message);
        }
        BWindow::MessageReceived(message);
    }
    std::vector<BMessage> Messages()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fMessages;
    }
    int Count(uint32 what)
    {
        int count = 0;
        for (const BMessage& m : Messages())
            count += m.what == what;
        return count;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(fLock);
        fMessages.clear();
    }

private:
    std::mutex fLock;
    std::vector<BMessage> fMessages;
};

// A window's pixels, taken once.
struct Snapshot {
    std::vector<uint32> pixels;
    int32 width = 0, height = 0;

    Snapshot(TestDriver& driver, BWindow* window)
    {
        driver.Pixels(window, &pixels, &width, &height);
    }
    rgb_color At(int32 x, int32 y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return rgb_color{0, 0, 0, 0};
        uint32 value = pixels[size_t(y) * size_t(width) + size_t(x)];
        return rgb_color{uint8(value >> 16), uint8(value >> 8), uint8(value), uint8(value >> 24)};
    }
};

// A test with a running application and one shown window to put controls in.
class ControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        driver = std::make_unique<TestDriver>(make_control_test_app);
        window = new RecordingWindow(BRect(100, 100, 499, 399));
        background = new BView(window->Bounds(), "background", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
        background->SetViewColor(220, 220, 220);
        window->AddChild(background);
        window->Show();
        ASSERT_TRUE(driver->WaitIdle());
    }
    void TearDown() override { driver.reset(); }

    // Adds the view to the window's background, under the window's lock.
    template <class View>
    View* Add(View* view)
    {
        driver->Locked(window, [&] { background->AddChild(view); });
        EXPECT_TRUE(driver->WaitIdle());
        return view;
    }

    std::unique_ptr<TestDriver> driver;
    RecordingWindow* window = nullptr;
    BView* background = nullptr;
};

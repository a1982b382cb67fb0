// Alerts: Go() waits for a button in every state of the application.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include <Alert.h>
#include <DisplayInit.h>
#include <DisplayServer.h>
#include <HeadlessBackend.h>
#include <MainThread.h>

#include "InterfaceTestSupport.h"

namespace
{

// Waits for the alert window, then clicks the button with that label, as
// a user would; returns false when no alert showed up.
bool press_when_shown(const char* label, std::string* textSeen = nullptr)
{
    for (int i = 0; i < 1000; i++) {
        BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get();
        for (BWindow* window : BPrivate::windows()) {
            auto* alert = dynamic_cast<BAlert*>(window);
            if (alert == nullptr || server == nullptr || !server->IsVisible(alert->_ServerId()) ||
                BLooper::_LockLooper(alert, 1000000) != B_OK)
                continue;
            BView* view = alert->FindView("alert");
            int32 index = -1;
            for (int32 b = 0; b < alert->CountButtons(); b++)
                if (strcmp(alert->ButtonLabel(b), label) == 0)
                    index = b;
            BPoint centre;
            if (view != nullptr && index >= 0) {
                // The buttons stand at the bottom right, the last rightmost.
                BRect bounds = view->Bounds();
                float right = bounds.right - 10;
                for (int32 b = alert->CountButtons() - 1; b >= index; b--) {
                    float width =
                        std::max(75.0f, std::ceil(view->StringWidth(alert->ButtonLabel(b))) + 20);
                    if (b == index)
                        centre.Set(right - width / 2, bounds.bottom - 10 - 12);
                    right -= width + 8;
                }
            }
            if (textSeen != nullptr)
                *textSeen = alert->Text();
            int32 id = alert->_ServerId();
            alert->Unlock();
            if (index < 0)
                return false;
            auto* backend = static_cast<BPrivate::HeadlessBackend*>(server->Backend());
            BPrivate::NativeEvent event;
            event.window = id;
            event.x = centre.x;
            event.y = centre.y;
            event.type = BPrivate::NativeEvent::MOUSE_DOWN;
            event.buttons = 1;
            backend->Inject(event);
            event.type = BPrivate::NativeEvent::MOUSE_UP;
            event.buttons = 0;
            backend->Inject(event);
            return true;
        }
        snooze(5000);
    }
    return false;
}

} // namespace

TEST(Alert, GoReturnsThePressedButtonWhileTheApplicationRuns)
{
    TestDriver driver(make_test_app);
    int32 result = -2;
    std::thread caller(
        [&] { result = (new BAlert("", "Pick one", "Cansel", "Middle", "OK"))->Go(); });
    std::string text;
    ASSERT_TRUE(press_when_shown("Middle", &text));
    caller.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(text, "Pick one");
    ASSERT_TRUE(driver.WaitIdle());
    EXPECT_EQ(driver.App()->CountWindows(), 0) << "the alert went away by itself";

    // Enter presses the rightmost button.
    std::thread enter([&] { result = (new BAlert("", "Enter?", "No", "Yes"))->Go(); });
    for (int i = 0; i < 1000 && driver.App()->CountWindows() == 0; i++)
        snooze(2000);
    ASSERT_TRUE(driver.WaitIdle());
    driver.Key(B_ENTER);
    enter.join();
    EXPECT_EQ(result, 1);
}

// Before the application runs and after it has ended, the main thread
// itself keeps the display going while it waits.
TEST(Alert, GoWorksOnTheMainThreadWithoutARunningApplication)
{
    BPrivate::use_headless_display();
    BPrivate::set_main_thread();
    std::string text;
    bool pressed = false;
    std::thread user([&] { pressed = press_when_shown("OK", &text); });
    int32 result = (new BAlert("", "Error...\nThe setting file is not found.", "OK"))->Go();
    user.join();
    EXPECT_TRUE(pressed);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text, "Error...\nThe setting file is not found.");

    // And again after an application has come and gone.
    {
        TestDriver driver(make_test_app);
    }
    BPrivate::set_main_thread();
    std::thread again([&] { pressed = press_when_shown("OK"); });
    result = (new BAlert("", "Once more", "OK"))->Go();
    again.join();
    EXPECT_TRUE(pressed);
    EXPECT_EQ(result, 0);
    // The alert's window ends its thread by itself; wait for that.
    while (!BPrivate::windows().empty())
        snooze(1000);
    BPrivate::reap_looper_threads();
    BPrivate::DisplayServer::Uninstall();
}

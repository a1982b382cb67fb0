// The settings store's failures shown as an alert, also before the
// application runs and after it has ended.

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <Alert.h>
#include <Application.h>
#include <DisplayInit.h>
#include <DisplayServer.h>
#include <HeadlessBackend.h>
#include <MainThread.h>
#include <Prefs.h>
#include <SettingsAlert.h>
#include <SettingsAlertWindow.h>

#include "TestDir.h"

namespace
{

struct SeenAlert {
    std::string title, text, button;
    int32 buttons = 0;
};

// Waits for an alert, notes what it says, and presses Enter (its only
// button) as the user would.
bool answer_alert(SeenAlert* seen)
{
    for (int i = 0; i < 2000; i++) {
        BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get();
        for (BWindow* window : BPrivate::windows()) {
            auto* alert = dynamic_cast<BAlert*>(window);
            if (alert == nullptr || server == nullptr || !server->IsVisible(alert->_ServerId()) ||
                BLooper::_LockLooper(alert, 1000000) != B_OK)
                continue;
            seen->title = alert->Title();
            seen->text = alert->Text();
            seen->buttons = alert->CountButtons();
            seen->button = alert->ButtonLabel(0);
            int32 id = alert->_ServerId();
            alert->Unlock();
            BPrivate::NativeEvent key;
            key.type = BPrivate::NativeEvent::KEY_DOWN;
            key.window = id;
            key.bytes = "\n";
            static_cast<BPrivate::HeadlessBackend*>(server->Backend())->Inject(key);
            return true;
        }
        snooze(5000);
    }
    return false;
}

} // namespace

TEST(SettingsAlert, ShowsTheAlertWhenTheStoreCannotReadOrWrite)
{
    BPrivate::use_headless_display();
    BPrivate::set_main_thread(); // no application: this thread serves the display
    install_settings_alert();
    TestDir dir;
    dir.UseAsConfigHome();
    // A folder where the file should be: it cannot be read at start.
    ASSERT_EQ(mkdir((dir / "Pelmor").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir / "Pelmor/Pelmor settings").c_str(), 0755), 0);

    SeenAlert atStart;
    std::thread user([&] { EXPECT_TRUE(answer_alert(&atStart)); });
    {
        Prefs prefs("Pelmor settings", "Pelmor");
        user.join();
        EXPECT_STREQ(prefs.GetMsg()->GetString("nick"), "be_user");
    }
    EXPECT_EQ(atStart.title, "");
    EXPECT_EQ(atStart.text, "Error...\nThe setting file is not found.");
    EXPECT_EQ(atStart.buttons, 1);
    EXPECT_EQ(atStart.button, "OK");

    // A file removed while running: told at exit, when the store goes.
    SeenAlert atExit;
    auto* servers = new Prefs("servers settings", "Pelmor");
    ASSERT_EQ(unlink((dir / "Pelmor/servers settings").c_str()), 0);
    std::thread later([&] { EXPECT_TRUE(answer_alert(&atExit)); });
    delete servers; // shows the alert and waits for it
    later.join();
    set_settings_alert_handler(nullptr);
    EXPECT_EQ(atExit.text, "Error...\nThe setting file is not found.");
    // The alerts end their threads by themselves; the display goes after.
    while (!BPrivate::windows().empty())
        snooze(1000);
    BPrivate::reap_looper_threads();
    BPrivate::DisplayServer::Uninstall();
}

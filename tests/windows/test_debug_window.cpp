// The debug window against the network threads that post to it: windows
// opened and closed while several threads post copies as fast as they can
// (no post reaches a window after it has gone; ThreadSanitizer and
// AddressSanitizer builds run this too), and the text limit that drops the
// oldest lines, never the newest.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <Application.h>
#include <Backlog.h>
#include <IrcCodes.h>
#include <Messenger.h>
#include <OS.h>
#include <TestDriver.h>
#include <TextView.h>

#include <DebugTarget.h>
#include <DebugWindow.h>

namespace
{

BApplication* make_app()
{
    return new BApplication("application/x-vnd.pelmor-debug-test");
}

std::string text_of(TestDriver& driver, BWindow* window)
{
    return driver.Locked(window, [&] {
        auto* text = dynamic_cast<BTextView*>(driver.FindView(window, "debug_txt"));
        return std::string(text != nullptr ? text->Text() : "");
    });
}

TEST(DebugWindow, OpeningAndClosingWhileThreadsPostIsSafe)
{
    TestDriver driver(make_app);
    std::atomic<bool> stop{false};
    std::atomic<long> posted{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; t++) {
        posters.emplace_back([&, t] {
            auto backlog = std::make_shared<BPrivate::Backlog>(100);
            BMessage copy(MSG_DBG);
            copy.AddString("debug", ("thread " + std::to_string(t) + " line\n").c_str());
            while (!stop.load()) {
                if (g_debug.Post(&copy, backlog))
                    posted++;
                // As an engine does: no more than it lets wait.
                while (backlog->Count() > 200 && !stop.load())
                    std::this_thread::yield();
            }
        });
    }
    for (int round = 0; round < 40; round++) {
        auto* window = new DebugWindow();
        g_debug.Set(window);
        BMessenger messenger(window);
        // Never idle while the threads post: some windows live a moment.
        if (round % 4 == 0) {
            snooze(20000);
        }
        driver.Close(window);
        const bigtime_t deadline = system_time() + 5000000;
        while (messenger.IsValid() && system_time() < deadline)
            snooze(1000);
        ASSERT_FALSE(messenger.IsValid()) << "round " << round;
        EXPECT_FALSE(g_debug.IsSet()) << "a closed window unhooks itself";
    }
    stop = true;
    for (std::thread& poster : posters)
        poster.join();
    EXPECT_GT(posted.load(), 0);
}

TEST(DebugWindow, AFullTextDropsTheOldestWholeLines)
{
    TestDriver driver(make_app);
    auto* window = new DebugWindow();
    BMessenger to(window);
    // Lines of 100 bytes: 700 of them are more than the limit.
    for (int i = 0; i < 700; i++) {
        std::string line = "line " + std::to_string(i) + " ";
        line += std::string(99 - line.size(), 'x') + "\n";
        BMessage copy(MSG_DBG);
        copy.AddString("debug", line.c_str());
        to.SendMessage(&copy);
        if (i % 50 == 0) {
            ASSERT_TRUE(driver.WaitIdle()); // some one at a time, some in bursts
        }
    }
    ASSERT_TRUE(driver.WaitIdle());
    std::string text = text_of(driver, window);
    EXPECT_EQ(text.rfind("line 699 ", 0), 0u) << "the newest on top";
    EXPECT_EQ(text.size(), 655u * 100u) << "as many whole lines as fit";
    EXPECT_EQ(text.substr(text.size() - 100, 9), "line 45 x");

    // One line longer than the limit replaces everything, cut to fit.
    BMessage huge(MSG_DBG);
    huge.AddString("debug", (std::string(70000, 'h') + "\n").c_str());
    to.SendMessage(&huge);
    ASSERT_TRUE(driver.WaitIdle());
    text = text_of(driver, window);
    EXPECT_LE(text.size(), 65535u);
    EXPECT_EQ(text.find_first_not_of('h'), std::string::npos);
    driver.Close(window);
}

} // namespace

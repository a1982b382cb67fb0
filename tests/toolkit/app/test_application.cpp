#include <AppDefs.h>
#include <Application.h>
#include <MainThread.h>

#include <atomic>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

namespace
{

class TestApp : public BApplication
{
public:
    TestApp() : BApplication("application/x-vnd.test-app") {}

    void ReadyToRun() override
    {
        readyThread = find_thread(nullptr);
        if (onReady)
            onReady();
    }
    bool QuitRequested() override
    {
        quitAsks++;
        return quitAnswer;
    }
    void AboutRequested() override
    {
        abouts++;
        PostMessage(B_QUIT_REQUESTED);
    }

    std::function<void()> onReady;
    std::atomic<thread_id> readyThread{0};
    std::atomic<int> quitAsks{0};
    std::atomic<int> abouts{0};
    bool quitAnswer = true;
};

class Watched : public BLooper
{
public:
    explicit Watched(std::atomic<bool>& deleted) : BLooper("watched"), fDeleted(deleted) {}
    ~Watched() override { fDeleted = true; }

private:
    std::atomic<bool>& fDeleted;
};

} // namespace

TEST(Application, RunsItsLoopOnItsOwnThreadAndReturnsWhenQuit)
{
    TestApp app;
    EXPECT_EQ(be_app, &app);
    EXPECT_STREQ(app.Signature(), "application/x-vnd.test-app");
    thread_id main = find_thread(nullptr);
    app.onReady = [&] { app.PostMessage(B_QUIT_REQUESTED); };
    thread_id thread = app.Run();
    EXPECT_GT(thread, 0);
    EXPECT_NE(app.readyThread.load(), 0);
    EXPECT_NE(app.readyThread.load(), main) << "the loop has a thread of its own";
    EXPECT_EQ(app.quitAsks.load(), 1);
}

TEST(Application, QuitRequestedMayRefuse)
{
    TestApp app;
    app.quitAnswer = false;
    app.onReady = [&] {
        app.PostMessage(B_QUIT_REQUESTED);
        std::thread([&] {
            while (app.quitAsks.load() < 1)
                snooze(1000);
            // Still running: a second request, now granted, ends it.
            app.Lock();
            app.quitAnswer = true;
            app.Unlock();
            be_app->PostMessage(B_QUIT_REQUESTED);
        }).detach();
    };
    app.Run();
    EXPECT_EQ(app.quitAsks.load(), 2);
}

TEST(Application, AboutRequestedIsDispatched)
{
    TestApp app;
    app.onReady = [&] { app.PostMessage(B_ABOUT_REQUESTED); };
    app.Run();
    EXPECT_EQ(app.abouts.load(), 1);
}

TEST(Application, QuitFromAnotherThreadEndsRunWithoutAsking)
{
    TestApp app;
    app.onReady = [&] {
        std::thread([] {
            be_app->Lock();
            be_app->Quit();
        }).detach();
    };
    app.Run();
    EXPECT_EQ(app.quitAsks.load(), 0);
}

TEST(Application, RemainingLoopersAreQuitBeforeRunReturns)
{
    std::atomic<bool> deleted{false};
    TestApp app;
    app.onReady = [&] {
        auto* looper = new Watched(deleted);
        looper->Run();
        app.PostMessage(B_QUIT_REQUESTED);
    };
    app.Run();
    EXPECT_TRUE(deleted.load());
}

TEST(Application, MainThreadRunsTasksForOtherThreads)
{
    TestApp app;
    thread_id main = find_thread(nullptr);
    std::atomic<thread_id> ranOn{0};
    app.onReady = [&] {
        // The application thread is not the main thread; the task is.
        BPrivate::call_on_main_thread([&] { ranOn = find_thread(nullptr); });
        app.PostMessage(B_QUIT_REQUESTED);
    };
    app.Run();
    EXPECT_EQ(ranOn.load(), main);
    // With no loop running the task runs on the caller.
    thread_id here = 0;
    std::thread([&] {
        BPrivate::call_on_main_thread([&] { here = find_thread(nullptr); });
    }).join();
    EXPECT_NE(here, 0);
    EXPECT_NE(here, main);
}

namespace
{

class CountingPump : public BPrivate::MainThreadPump
{
public:
    void Pump(bigtime_t timeout) override
    {
        pumps++;
        pumpThread = find_thread(nullptr);
        bigtime_t end = system_time() + timeout;
        while (!woken.exchange(false) && system_time() < end)
            snooze(500);
    }
    void Wake() override { woken = true; }

    std::atomic<int> pumps{0};
    std::atomic<bool> woken{false};
    std::atomic<thread_id> pumpThread{0};
};

} // namespace

TEST(Application, APluggedInPumpRunsOnTheMainThread)
{
    CountingPump pump;
    TestApp app;
    app.onReady = [&] {
        BPrivate::call_on_main_thread([&] { BPrivate::set_main_thread_pump(&pump); });
        std::thread([&] {
            while (pump.pumps.load() < 3)
                snooze(1000);
            std::atomic<bool> ran{false};
            BPrivate::call_on_main_thread([&] { ran = true; }); // wakes the pump
            EXPECT_TRUE(ran.load());
            BPrivate::call_on_main_thread([] { BPrivate::set_main_thread_pump(nullptr); });
            be_app->PostMessage(B_QUIT_REQUESTED);
        }).detach();
    };
    thread_id main = find_thread(nullptr);
    app.Run();
    EXPECT_GE(pump.pumps.load(), 3);
    EXPECT_EQ(pump.pumpThread.load(), main);
}

TEST(Application, OnlyOneApplicationAtATime)
{
    TestApp first;
    status_t status = B_OK;
    BApplication second("application/x-vnd.second", &status);
    EXPECT_NE(status, B_OK);
    EXPECT_EQ(be_app, &first);
}

#include <Looper.h>
#include <Message.h>
#include <MessageRunner.h>
#include <Messenger.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

namespace
{

const bigtime_t kInterval = 40000;

// Notes when each message arrives.
class Clock : public BLooper
{
public:
    Clock() : BLooper("clock") { Run(); }
    void MessageReceived(BMessage* message) override
    {
        if (message->what != 'tick')
            return BLooper::MessageReceived(message);
        std::lock_guard<std::mutex> guard(fLock);
        fTimes.push_back(system_time());
        fChanged.notify_all();
    }
    bool WaitFor(size_t count, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> guard(fLock);
        return fChanged.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                 [&] { return fTimes.size() >= count; });
    }
    std::vector<bigtime_t> Times()
    {
        std::lock_guard<std::mutex> guard(fLock);
        return fTimes;
    }
    void Stop()
    {
        Lock();
        Quit();
    }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<bigtime_t> fTimes;
};

} // namespace

TEST(MessageRunner, SendsCountTimesOneIntervalApart)
{
    Clock* clock = new Clock;
    BMessage tick('tick');
    bigtime_t start = system_time();
    {
        BMessageRunner runner(BMessenger(clock), &tick, kInterval, 3);
        ASSERT_EQ(runner.InitCheck(), B_OK);
        ASSERT_TRUE(clock->WaitFor(3));
        snooze(3 * kInterval);
        int32 left = -5;
        bigtime_t interval = 0;
        EXPECT_EQ(runner.GetInfo(&interval, &left), B_OK);
        EXPECT_EQ(left, 0);
        EXPECT_EQ(interval, kInterval);
    }
    std::vector<bigtime_t> times = clock->Times();
    ASSERT_EQ(times.size(), 3u) << "no more than asked for";
    // None arrives before its time.
    for (size_t i = 0; i < times.size(); i++)
        EXPECT_GE(times[i] - start, bigtime_t(i + 1) * kInterval) << i;
    clock->Stop();
}

// Deleted before its time, a runner sends nothing, then or later; deleted
// while it repeats, it stops at once.
TEST(MessageRunner, DeletingStopsIt)
{
    Clock* clock = new Clock;
    BMessage tick('tick');
    bigtime_t start = system_time();
    {
        BMessageRunner runner(BMessenger(clock), &tick, 10000000, 1);
        ASSERT_EQ(runner.InitCheck(), B_OK);
    }
    EXPECT_LT(system_time() - start, 1000000) << "the wait is cut short";
    {
        BMessageRunner runner(BMessenger(clock), &tick, kInterval);
        ASSERT_TRUE(clock->WaitFor(2));
    }
    size_t sent = clock->Times().size();
    snooze(4 * kInterval);
    EXPECT_EQ(clock->Times().size(), sent);
    clock->Stop();
}

TEST(MessageRunner, RefusesWhatCannotWorkAndOutlivesItsTarget)
{
    Clock* clock = new Clock;
    BMessage tick('tick');
    EXPECT_EQ(BMessageRunner(BMessenger(), &tick, kInterval).InitCheck(), B_BAD_VALUE);
    EXPECT_EQ(BMessageRunner(BMessenger(clock), nullptr, kInterval).InitCheck(), B_BAD_VALUE);
    EXPECT_EQ(BMessageRunner(BMessenger(clock), &tick, 0).InitCheck(), B_BAD_VALUE);

    BMessageRunner runner(BMessenger(clock), &tick, kInterval);
    ASSERT_TRUE(clock->WaitFor(1));
    clock->Stop(); // the target goes while the runner still runs
    snooze(3 * kInterval);
    int32 left = 0;
    EXPECT_EQ(runner.GetInfo(nullptr, &left), B_OK);
    EXPECT_LT(left, 0) << "still a repeating runner, with nothing to reach";
}

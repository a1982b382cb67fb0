#include <OS.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace
{

std::atomic<int> sRuns{0};

int32 count_and_return(void* data)
{
    sRuns++;
    return *static_cast<int32*>(data);
}

} // namespace

TEST(Threads, StartSuspendedAndRunOnResume)
{
    sRuns = 0;
    int32 value = 42;
    thread_id thread =
        spawn_thread(count_and_return, "suspended test thread", B_NORMAL_PRIORITY, &value);
    ASSERT_GT(thread, 0);
    snooze(50000);
    EXPECT_EQ(sRuns.load(), 0);
    EXPECT_EQ(resume_thread(thread), B_OK);
    EXPECT_EQ(resume_thread(thread), B_BAD_THREAD_STATE);
    status_t exitValue = 0;
    EXPECT_EQ(wait_for_thread(thread, &exitValue), B_OK);
    EXPECT_EQ(exitValue, 42);
    EXPECT_EQ(sRuns.load(), 1);
    // The thread is gone: a second wait fails instead of hanging.
    EXPECT_EQ(wait_for_thread(thread, nullptr), B_BAD_THREAD_ID);
    EXPECT_EQ(resume_thread(thread), B_BAD_THREAD_ID);
}

TEST(Threads, WaitingForANeverResumedThreadRunsIt)
{
    sRuns = 0;
    int32 value = 7;
    thread_id thread = spawn_thread(count_and_return, "t", B_NORMAL_PRIORITY, &value);
    status_t exitValue = 0;
    EXPECT_EQ(wait_for_thread(thread, &exitValue), B_OK);
    EXPECT_EQ(exitValue, 7);
    EXPECT_EQ(sRuns.load(), 1);
}

TEST(Threads, EachThreadHasItsOwnId)
{
    thread_id mine = find_thread(nullptr);
    EXPECT_GT(mine, 0);
    EXPECT_EQ(find_thread(nullptr), mine);
    thread_id other = 0;
    std::thread([&] { other = find_thread(nullptr); }).join();
    EXPECT_GT(other, 0);
    EXPECT_NE(other, mine);
    EXPECT_EQ(wait_for_thread(mine, nullptr), B_BAD_THREAD_ID);
    EXPECT_EQ(spawn_thread(nullptr, "x", B_NORMAL_PRIORITY, nullptr), B_BAD_VALUE);
}

TEST(Threads, TimeMovesForwardBySnoozes)
{
    bigtime_t start = system_time();
    snooze(20000);
    bigtime_t elapsed = system_time() - start;
    EXPECT_GE(elapsed, 20000);
    EXPECT_GT(real_time_clock(), 1600000000u);
}

namespace
{

std::atomic<bool> sLetGo{false};

int32 wait_for_go(void*)
{
    while (!sLetGo.load())
        snooze(1000);
    return 5;
}

} // namespace

TEST(Threads, WaitingWithATimeoutJoinsOnlyAnEndedThread)
{
    sLetGo = false;
    thread_id thread = spawn_thread(wait_for_go, "waiter", B_NORMAL_PRIORITY, nullptr);
    resume_thread(thread);
    EXPECT_EQ(wait_for_thread_etc(thread, 0, nullptr), B_WOULD_BLOCK);
    EXPECT_EQ(wait_for_thread_etc(thread, 20000, nullptr), B_TIMED_OUT);
    sLetGo = true;
    status_t exitValue = 0;
    EXPECT_EQ(wait_for_thread_etc(thread, 5000000, &exitValue), B_OK);
    EXPECT_EQ(exitValue, 5);
    EXPECT_EQ(wait_for_thread_etc(thread, 0, nullptr), B_BAD_THREAD_ID) << "already joined";
}

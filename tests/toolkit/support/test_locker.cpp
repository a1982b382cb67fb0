#include <Locker.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

TEST(Locker, IsRecursiveForItsOwner)
{
    BLocker lock;
    EXPECT_FALSE(lock.IsLocked());
    ASSERT_TRUE(lock.Lock());
    ASSERT_TRUE(lock.Lock());
    EXPECT_EQ(lock.CountLocks(), 2);
    EXPECT_EQ(lock.LockingThread(), find_thread(nullptr));
    lock.Unlock();
    EXPECT_TRUE(lock.IsLocked());
    lock.Unlock();
    EXPECT_FALSE(lock.IsLocked());
    EXPECT_EQ(lock.LockingThread(), 0);
}

TEST(Locker, OtherThreadsWaitUntilTheLastUnlock)
{
    BLocker lock;
    lock.Lock();
    lock.Lock();
    std::atomic<bool> got{false};
    std::thread other([&] {
        EXPECT_EQ(lock.LockWithTimeout(20000), B_TIMED_OUT);
        EXPECT_FALSE(lock.IsLocked());
        lock.Lock();
        got = true;
        lock.Unlock();
    });
    snooze(100000);
    lock.Unlock();
    snooze(50000);
    EXPECT_FALSE(got.load()) << "one unlock of two released the lock";
    lock.Unlock();
    other.join();
    EXPECT_TRUE(got.load());
}

TEST(Locker, UnlockByAnotherThreadIsIgnored)
{
    BLocker lock;
    lock.Lock();
    std::thread([&] { lock.Unlock(); }).join();
    EXPECT_TRUE(lock.IsLocked());
    EXPECT_EQ(lock.CountLocks(), 1);
    lock.Unlock();
}

TEST(Locker, ZeroTimeoutDoesNotWait)
{
    BLocker lock;
    lock.Lock();
    std::thread([&] { EXPECT_EQ(lock.LockWithTimeout(0), B_WOULD_BLOCK); }).join();
    lock.Unlock();
}

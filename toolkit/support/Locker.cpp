#include "Locker.h"

#include <chrono>

BLocker::BLocker() {}

BLocker::BLocker(const char*) {}

BLocker::BLocker(const char*, bool) {}

BLocker::~BLocker() {}

bool BLocker::Lock()
{
    return LockWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BLocker::LockWithTimeout(bigtime_t timeout)
{
    thread_id self = find_thread(nullptr);
    std::unique_lock<std::mutex> lock(fMutex);
    if (fOwner == self) {
        fCount++;
        return B_OK;
    }
    auto isFree = [this] { return fOwner == 0; };
    if (timeout == B_INFINITE_TIMEOUT) {
        fReleased.wait(lock, isFree);
    } else if (!fReleased.wait_for(lock, std::chrono::microseconds(timeout < 0 ? 0 : timeout),
                                   isFree)) {
        return timeout <= 0 ? B_WOULD_BLOCK : B_TIMED_OUT;
    }
    fOwner = self;
    fCount = 1;
    return B_OK;
}

void BLocker::Unlock()
{
    std::lock_guard<std::mutex> lock(fMutex);
    if (fOwner != find_thread(nullptr))
        return; // not ours: ignore rather than corrupt the owner's count
    if (--fCount == 0) {
        fOwner = 0;
        fReleased.notify_one();
    }
}

thread_id BLocker::LockingThread() const
{
    std::lock_guard<std::mutex> lock(fMutex);
    return fOwner;
}

bool BLocker::IsLocked() const
{
    std::lock_guard<std::mutex> lock(fMutex);
    return fOwner != 0 && fOwner == find_thread(nullptr);
}

int32 BLocker::CountLocks() const
{
    std::lock_guard<std::mutex> lock(fMutex);
    return fCount;
}

#pragma once

#include <condition_variable>
#include <mutex>

#include "OS.h"

// A recursive lock that knows its owner: the thread that holds it may lock
// it again, and must unlock it as often.
class BLocker
{
public:
    BLocker();
    explicit BLocker(const char* name);
    BLocker(const char* name, bool benaphoreStyle);
    virtual ~BLocker();

    status_t InitCheck() const { return B_OK; }

    bool Lock();
    status_t LockWithTimeout(bigtime_t timeout);
    void Unlock();

    thread_id LockingThread() const;
    bool IsLocked() const; // held by the calling thread
    int32 CountLocks() const;

    BLocker(const BLocker&) = delete;
    BLocker& operator=(const BLocker&) = delete;

private:
    mutable std::mutex fMutex;
    std::condition_variable fReleased;
    thread_id fOwner = 0;
    int32 fCount = 0;
};

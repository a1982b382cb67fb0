#pragma once

#include "Locker.h"

class BLooper;

// Holds a lock (a BLocker or a looper's lock) for the lifetime of a scope.
// The looper form is defined with BLooper.
class BAutolock
{
public:
    explicit BAutolock(BLocker* locker) : fLocker(locker)
    {
        fLocked = fLocker != nullptr && fLocker->Lock();
    }
    explicit BAutolock(BLocker& locker) : BAutolock(&locker) {}
    explicit BAutolock(BLooper* looper);
    ~BAutolock()
    {
        if (fLocked)
            Unlock();
    }
    bool IsLocked() const { return fLocked; }

    BAutolock(const BAutolock&) = delete;
    BAutolock& operator=(const BAutolock&) = delete;

private:
    void Unlock();

    BLocker* fLocker = nullptr;
    BLooper* fLooper = nullptr;
    bool fLocked = false;
};

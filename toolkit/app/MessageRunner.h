#pragma once

// Sends a copy of a message to a target after `interval`, and again after
// each further interval, `count` times in all (a count below 0: until the
// runner is deleted).
//
// A thread of the runner's own waits between deliveries, and only while one
// is still to come; it sends through a BMessenger, which never blocks on
// the target's lock and fails cleanly once the target is gone. Deleting the
// runner wakes that thread and joins it at once, so nothing is sent after
// the destructor has returned: a target that deletes its runner from its
// own thread may take the last delivery as the last word.

#include <condition_variable>
#include <mutex>

#include "Message.h"
#include "Messenger.h"
#include "OS.h"

class BMessageRunner
{
public:
    BMessageRunner(BMessenger target, const BMessage* message, bigtime_t interval,
                   int32 count = -1);
    ~BMessageRunner();

    // B_OK, or B_BAD_VALUE for a target that is not valid, no message or an
    // interval not above 0, or the error of starting the thread.
    status_t InitCheck() const { return fInit; }
    // The interval and the deliveries still to come.
    status_t GetInfo(bigtime_t* interval, int32* count) const;

    BMessageRunner(const BMessageRunner&) = delete;
    BMessageRunner& operator=(const BMessageRunner&) = delete;

private:
    static int32 _RunThread(void* data);
    void _Run();

    BMessenger fTarget;
    BMessage fMessage;
    const bigtime_t fInterval;
    mutable std::mutex fLock;
    std::condition_variable fWake;
    int32 fCount; // under fLock
    bool fStop;   // under fLock
    thread_id fThread;
    status_t fInit;
};

#include "MessageRunner.h"

#include <chrono>

BMessageRunner::BMessageRunner(BMessenger target, const BMessage* message, bigtime_t interval,
                               int32 count)
    : fTarget(target), fInterval(interval), fCount(count), fStop(false), fThread(-1), fInit(B_OK)
{
    if (message == nullptr || interval <= 0 || !target.IsValid()) {
        fInit = B_BAD_VALUE;
        return;
    }
    fMessage = *message;
    if (count == 0)
        return; // nothing to send: no thread
    fThread = spawn_thread(_RunThread, "message runner", B_NORMAL_PRIORITY, this);
    if (fThread < 0) {
        fInit = fThread;
        return;
    }
    resume_thread(fThread);
}

BMessageRunner::~BMessageRunner()
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fStop = true;
    }
    fWake.notify_all();
    if (fThread >= 0)
        wait_for_thread(fThread, nullptr);
}

status_t BMessageRunner::GetInfo(bigtime_t* interval, int32* count) const
{
    if (fInit != B_OK)
        return fInit;
    std::lock_guard<std::mutex> guard(fLock);
    if (interval != nullptr)
        *interval = fInterval;
    if (count != nullptr)
        *count = fCount;
    return B_OK;
}

int32 BMessageRunner::_RunThread(void* data)
{
    static_cast<BMessageRunner*>(data)->_Run();
    return 0;
}

void BMessageRunner::_Run()
{
    bigtime_t due = system_time() + fInterval;
    std::unique_lock<std::mutex> guard(fLock);
    while (!fStop && fCount != 0) {
        bigtime_t now = system_time();
        if (now < due) {
            fWake.wait_for(guard, std::chrono::microseconds(due - now));
            continue;
        }
        if (fCount > 0)
            fCount--;
        // Sent under the lock: the destructor cannot return in between. A
        // post never waits for the target, so this holds nobody up.
        if (fTarget.SendMessage(&fMessage) != B_OK)
            break; // the target is gone for good
        // Late deliveries are not made up for: the next is an interval
        // after the time this one was due, or after now when that has passed.
        due += fInterval;
        now = system_time();
        if (due <= now)
            due = now + fInterval;
    }
}

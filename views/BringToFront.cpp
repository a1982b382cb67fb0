#include "BringToFront.h"

#include <Looper.h>
#include <Window.h>

bool bring_to_front(const BMessenger& window)
{
    if (window.LockTargetWithTimeout(250000) != B_OK)
        return false;
    BLooper* looper = nullptr;
    window.Target(&looper);
    if (auto* target = dynamic_cast<BWindow*>(looper))
        target->Activate(true);
    if (looper != nullptr)
        looper->Unlock();
    return true;
}

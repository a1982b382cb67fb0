#include "DebugTarget.h"

#include <Looper.h>

DebugTarget g_debug;

void DebugTarget::Set(BLooper* window)
{
    std::lock_guard<std::mutex> lock(fLock);
    fWindow = window;
}

void DebugTarget::Clear(BLooper* window)
{
    std::lock_guard<std::mutex> lock(fLock);
    if (fWindow == window)
        fWindow = nullptr;
}

bool DebugTarget::IsSet() const
{
    return fWindow.load() != nullptr;
}

bool DebugTarget::Post(BMessage* message, const std::shared_ptr<BPrivate::Backlog>& backlog) const
{
    std::lock_guard<std::mutex> lock(fLock);
    // Posting checks that the looper still exists.
    BLooper* window = fWindow.load();
    return window != nullptr && window->_PostCounted(message, backlog) == B_OK;
}

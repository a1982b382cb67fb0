#pragma once

// Where raw traffic goes: the debug window while one is open. Network
// threads post to it while the windows that open and close it set and clear
// it, so posting and changing go through one small lock. That lock is a
// leaf: posting takes no looper lock, so it can never wait on a window.
// IsSet, asked for every line, only reads: Post checks again.

#include <atomic>
#include <memory>
#include <mutex>

class BLooper;
class BMessage;
namespace BPrivate
{
class Backlog;
}

class DebugTarget
{
public:
    void Set(BLooper* window);
    // Clears only if `window` is still the one set: a window that closes
    // late must not unhook its successor.
    void Clear(BLooper* window);
    bool IsSet() const;
    // Posts a copy of the message to the window, if one is set, counted in
    // `backlog` if one is given: an engine pauses for a slow debug window
    // as for its own.
    bool Post(BMessage* message, const std::shared_ptr<BPrivate::Backlog>& backlog = nullptr) const;

private:
    mutable std::mutex fLock;
    std::atomic<BLooper*> fWindow{nullptr};
};

extern DebugTarget g_debug;

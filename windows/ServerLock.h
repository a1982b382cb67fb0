#pragma once

// Locks a channel or private window's server window, which may have gone
// (the application quitting closes every window, in any order): the
// looper list is asked whether it is still alive before anything of it is
// touched, so a gone server window is never called. Everything a child
// window does with its server window happens while this lock is held.

#include <Looper.h>
#include <OS.h>

class ServerLock
{
public:
    explicit ServerLock(BLooper* server)
        : fServer(server),
          fLocked(server != nullptr && BLooper::_LockLooper(server, B_INFINITE_TIMEOUT) == B_OK)
    {
    }
    ~ServerLock()
    {
        if (fLocked)
            fServer->Unlock();
    }
    bool IsLocked() const { return fLocked; }

    ServerLock(const ServerLock&) = delete;
    ServerLock& operator=(const ServerLock&) = delete;

private:
    BLooper* fServer;
    bool fLocked;
};

#pragma once

#include <memory>

#include "OS.h"
#include "SupportDefs.h"

class BHandler;
class BLooper;
class BMessage;

namespace BPrivate
{
struct LooperPort;
}

// An address for a handler in a looper that stays safe to use after the
// looper is gone: sending then fails with B_BAD_PORT_ID.
class BMessenger
{
public:
    BMessenger();
    // With a null looper the handler's own looper is used; with a null
    // handler the messages go to the looper's preferred handler.
    BMessenger(const BHandler* handler, const BLooper* looper = nullptr,
               status_t* result = nullptr);
    BMessenger(const BMessenger& other) = default;
    BMessenger& operator=(const BMessenger& other) = default;
    ~BMessenger();

    bool IsValid() const;
    bool IsTargetLocal() const { return true; }
    BHandler* Target(BLooper** looper) const;
    bool LockTarget() const;
    status_t LockTargetWithTimeout(bigtime_t timeout) const;

    status_t SendMessage(uint32 command, BHandler* replyTo = nullptr) const;
    status_t SendMessage(BMessage* message, BHandler* replyTo = nullptr,
                         bigtime_t timeout = B_INFINITE_TIMEOUT) const;

    // Toolkit internals: sends what the user did (from the display
    // server), which goes ahead of a backlog of posted messages.
    status_t _SendInput(BMessage* message) const;

    bool operator==(const BMessenger& other) const;
    bool operator!=(const BMessenger& other) const { return !(*this == other); }

private:
    BLooper* fLooper;
    int32 fToken;
    std::weak_ptr<BPrivate::LooperPort> fPort;
};

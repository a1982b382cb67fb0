#pragma once

#include "Messenger.h"
#include "SupportDefs.h"

class BHandler;
class BLooper;
class BMessage;

// Owns a model message and sends a copy of it to a target when invoked.
class BInvoker
{
public:
    BInvoker();
    BInvoker(BMessage* message, const BHandler* handler, const BLooper* looper = nullptr);
    BInvoker(BMessage* message, BMessenger target);
    virtual ~BInvoker();

    // Takes ownership of the message; the old one is deleted.
    virtual status_t SetMessage(BMessage* message);
    BMessage* Message() const { return fMessage; }
    uint32 Command() const;

    // A handler not yet in a looper is kept and resolved when invoked.
    virtual status_t SetTarget(const BHandler* handler, const BLooper* looper = nullptr);
    virtual status_t SetTarget(BMessenger messenger);
    bool IsTargetLocal() const { return true; }
    BHandler* Target(BLooper** looper = nullptr) const;
    BMessenger Messenger() const;

    status_t SetHandlerForReply(BHandler* handler);
    BHandler* HandlerForReply() const { return fReplyTo; }

    // Sends the given message, or a copy of the model message.
    virtual status_t Invoke(BMessage* message = nullptr);

    status_t SetTimeout(bigtime_t timeout);
    bigtime_t Timeout() const { return fTimeout; }

    BInvoker(const BInvoker&) = delete;
    BInvoker& operator=(const BInvoker&) = delete;

protected:
    // For controls' Invoke: a copy of `message` (or of the model message)
    // stamped with "when" and "source", into `copy`. B_BAD_VALUE when there
    // is neither message.
    status_t _StampedCopy(BMessage* message, const void* source, BMessage* copy) const;

private:
    BMessage* fMessage;
    BMessenger fMessenger;
    const BHandler* fPendingHandler;
    const BLooper* fPendingLooper;
    BHandler* fReplyTo;
    bigtime_t fTimeout;
};

#include "Invoker.h"

#include "Handler.h"
#include "Looper.h"
#include "Message.h"
#include "OS.h"

BInvoker::BInvoker()
    : fMessage(nullptr), fPendingHandler(nullptr), fPendingLooper(nullptr), fReplyTo(nullptr),
      fTimeout(B_INFINITE_TIMEOUT)
{
}

BInvoker::BInvoker(BMessage* message, const BHandler* handler, const BLooper* looper) : BInvoker()
{
    fMessage = message;
    SetTarget(handler, looper);
}

BInvoker::BInvoker(BMessage* message, BMessenger target) : BInvoker()
{
    fMessage = message;
    fMessenger = target;
}

BInvoker::~BInvoker()
{
    delete fMessage;
}

status_t BInvoker::SetMessage(BMessage* message)
{
    if (message == fMessage)
        return B_OK;
    delete fMessage;
    fMessage = message;
    return B_OK;
}

uint32 BInvoker::Command() const
{
    return fMessage != nullptr ? fMessage->what : 0;
}

status_t BInvoker::SetTarget(const BHandler* handler, const BLooper* looper)
{
    fMessenger = BMessenger();
    fPendingHandler = nullptr;
    fPendingLooper = nullptr;
    if (handler == nullptr && looper == nullptr)
        return B_OK;
    status_t status;
    BMessenger messenger(handler, looper, &status);
    if (status == B_OK) {
        fMessenger = messenger;
        return B_OK;
    }
    if (handler != nullptr && handler->Looper() == nullptr) {
        fPendingHandler = handler;
        fPendingLooper = looper;
        return B_OK;
    }
    return status;
}

status_t BInvoker::SetTarget(BMessenger messenger)
{
    fPendingHandler = nullptr;
    fPendingLooper = nullptr;
    fMessenger = messenger;
    return B_OK;
}

BHandler* BInvoker::Target(BLooper** looper) const
{
    if (fPendingHandler != nullptr) {
        if (looper != nullptr)
            *looper = fPendingHandler->Looper();
        return const_cast<BHandler*>(fPendingHandler);
    }
    return fMessenger.Target(looper);
}

BMessenger BInvoker::Messenger() const
{
    if (fPendingHandler != nullptr)
        return BMessenger(fPendingHandler, fPendingLooper);
    return fMessenger;
}

status_t BInvoker::SetHandlerForReply(BHandler* handler)
{
    fReplyTo = handler;
    return B_OK;
}

status_t BInvoker::Invoke(BMessage* message)
{
    if (message == nullptr)
        message = fMessage;
    if (message == nullptr)
        return B_BAD_VALUE;
    return Messenger().SendMessage(message, fReplyTo, fTimeout);
}

status_t BInvoker::_StampedCopy(BMessage* message, const void* source, BMessage* copy) const
{
    if (message == nullptr)
        message = Message();
    if (message == nullptr)
        return B_BAD_VALUE;
    *copy = *message;
    copy->AddInt64("when", system_time());
    copy->AddPointer("source", source);
    return B_OK;
}

status_t BInvoker::SetTimeout(bigtime_t timeout)
{
    fTimeout = timeout;
    return B_OK;
}

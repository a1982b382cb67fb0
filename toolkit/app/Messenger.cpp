#include "Messenger.h"

#include "Handler.h"
#include "Looper.h"
#include "Message.h"

namespace
{
const int32 kPreferred = -1;
}

BMessenger::BMessenger() : fLooper(nullptr), fToken(kPreferred) {}

BMessenger::BMessenger(const BHandler* handler, const BLooper* looper, status_t* result)
    : fLooper(nullptr), fToken(kPreferred)
{
    status_t status = B_OK;
    if (handler != nullptr) {
        BLooper* own = handler->Looper();
        if (own == nullptr)
            status = B_BAD_HANDLER;
        else if (looper != nullptr && looper != own)
            status = B_MISMATCHED_VALUES;
        else {
            fLooper = own;
            fToken = handler->fToken;
        }
    } else if (looper != nullptr) {
        fLooper = const_cast<BLooper*>(looper);
    } else {
        status = B_BAD_VALUE;
    }
    if (status == B_OK) {
        if (BLooper::_IsValid(fLooper))
            fPort = fLooper->_Port();
        else
            status = B_BAD_VALUE;
    }
    if (status != B_OK)
        fLooper = nullptr;
    if (result != nullptr)
        *result = status;
}

BMessenger::~BMessenger() {}

bool BMessenger::IsValid() const
{
    return !fPort.expired() && BLooper::_IsValid(fLooper);
}

BHandler* BMessenger::Target(BLooper** looper) const
{
    if (looper != nullptr)
        *looper = nullptr;
    if (!IsValid())
        return nullptr;
    if (looper != nullptr)
        *looper = fLooper;
    if (fToken == kPreferred)
        return nullptr;
    return fLooper->_HandlerForToken(fToken);
}

bool BMessenger::LockTarget() const
{
    return LockTargetWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BMessenger::LockTargetWithTimeout(bigtime_t timeout) const
{
    if (fLooper == nullptr)
        return B_BAD_VALUE;
    return BLooper::_LockLooper(fLooper, timeout);
}

status_t BMessenger::SendMessage(uint32 command, BHandler* replyTo) const
{
    BMessage message(command);
    return SendMessage(&message, replyTo);
}

status_t BMessenger::SendMessage(BMessage* message, BHandler* /*replyTo*/,
                                 bigtime_t /*timeout*/) const
{
    if (message == nullptr)
        return B_BAD_VALUE;
    std::shared_ptr<BPrivate::LooperPort> port = fPort.lock();
    if (!port)
        return B_BAD_PORT_ID;
    return BLooper::_PostToken(port, *message, fToken);
}

status_t BMessenger::_SendInput(BMessage* message) const
{
    if (message == nullptr)
        return B_BAD_VALUE;
    std::shared_ptr<BPrivate::LooperPort> port = fPort.lock();
    if (!port)
        return B_BAD_PORT_ID;
    return BLooper::_PostToken(port, *message, fToken, nullptr, true);
}

bool BMessenger::operator==(const BMessenger& other) const
{
    return fLooper == other.fLooper && fToken == other.fToken && !fPort.owner_before(other.fPort) &&
           !other.fPort.owner_before(fPort);
}

#include "Handler.h"

#include <atomic>

#include "Looper.h"
#include "MessageFilter.h"

namespace
{
std::atomic<int32> sNextToken{1};
}

BHandler::BHandler(const char* name)
    : fName(name != nullptr ? name : ""), fHasName(name != nullptr), fLooper(nullptr),
      fNextHandler(nullptr), fFilters(nullptr), fToken(sNextToken++)
{
}

BHandler::~BHandler()
{
    if (fLooper != nullptr && fLooper != this)
        fLooper->RemoveHandler(this);
    if (fFilters != nullptr) {
        for (int32 i = 0; i < fFilters->CountItems(); i++)
            delete static_cast<BMessageFilter*>(fFilters->ItemAt(i));
        delete fFilters;
    }
}

void BHandler::MessageReceived(BMessage* message)
{
    if (fNextHandler != nullptr && fNextHandler != this)
        fNextHandler->MessageReceived(message);
}

void BHandler::SetName(const char* name)
{
    fName = name != nullptr ? name : "";
    fHasName = name != nullptr;
}

void BHandler::SetNextHandler(BHandler* handler)
{
    fNextHandler = handler;
}

void BHandler::AddFilter(BMessageFilter* filter)
{
    if (filter == nullptr)
        return;
    if (fFilters == nullptr)
        fFilters = new BList;
    filter->fLooper = fLooper;
    fFilters->AddItem(filter);
}

bool BHandler::RemoveFilter(BMessageFilter* filter)
{
    if (fFilters == nullptr || !fFilters->RemoveItem(filter))
        return false;
    filter->fLooper = nullptr;
    return true;
}

void BHandler::SetFilterList(BList* filters)
{
    if (fFilters != nullptr) {
        for (int32 i = 0; i < fFilters->CountItems(); i++)
            delete static_cast<BMessageFilter*>(fFilters->ItemAt(i));
        delete fFilters;
    }
    fFilters = filters;
    if (fFilters != nullptr) {
        for (int32 i = 0; i < fFilters->CountItems(); i++)
            static_cast<BMessageFilter*>(fFilters->ItemAt(i))->fLooper = fLooper;
    }
}

bool BHandler::LockLooper()
{
    return LockLooperWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BHandler::LockLooperWithTimeout(bigtime_t timeout)
{
    BLooper* looper = fLooper;
    if (looper == nullptr)
        return B_BAD_VALUE;
    status_t status = looper->LockWithTimeout(timeout);
    if (status != B_OK)
        return status;
    // The handler may have moved while we waited.
    if (fLooper != looper) {
        looper->Unlock();
        return B_MISMATCHED_VALUES;
    }
    return B_OK;
}

void BHandler::UnlockLooper()
{
    if (fLooper != nullptr)
        fLooper->Unlock();
}

void BHandler::SetLooper(BLooper* looper)
{
    fLooper = looper;
    if (fFilters != nullptr) {
        for (int32 i = 0; i < fFilters->CountItems(); i++)
            static_cast<BMessageFilter*>(fFilters->ItemAt(i))->fLooper = looper;
    }
}

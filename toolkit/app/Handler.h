#pragma once

#include <string>

#include "List.h"
#include "SupportDefs.h"

class BLooper;
class BMessage;
class BMessageFilter;

// Something that receives messages in a looper's thread.
class BHandler
{
public:
    explicit BHandler(const char* name = nullptr);
    virtual ~BHandler();

    // The default passes the message on to the next handler, if any.
    virtual void MessageReceived(BMessage* message);

    BLooper* Looper() const { return fLooper; }
    void SetName(const char* name);
    const char* Name() const { return fName.empty() && !fHasName ? nullptr : fName.c_str(); }

    virtual void SetNextHandler(BHandler* handler);
    BHandler* NextHandler() const { return fNextHandler; }

    // Filters see a message before the handler does; the handler owns them.
    virtual void AddFilter(BMessageFilter* filter);
    virtual bool RemoveFilter(BMessageFilter* filter);
    virtual void SetFilterList(BList* filters);
    BList* FilterList() { return fFilters; }

    bool LockLooper();
    status_t LockLooperWithTimeout(bigtime_t timeout);
    void UnlockLooper();

    BHandler(const BHandler&) = delete;
    BHandler& operator=(const BHandler&) = delete;

private:
    friend class BLooper;
    friend class BMessenger;

    void SetLooper(BLooper* looper);

    std::string fName;
    bool fHasName;
    BLooper* fLooper;
    BHandler* fNextHandler;
    BList* fFilters;
    int32 fToken;
};

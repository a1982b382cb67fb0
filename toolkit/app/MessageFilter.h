#pragma once

#include "SupportDefs.h"

class BHandler;
class BLooper;
class BMessage;

enum filter_result { B_SKIP_MESSAGE, B_DISPATCH_MESSAGE };

typedef filter_result (*filter_hook)(BMessage* message, BHandler** target,
                                     class BMessageFilter* filter);

enum message_delivery { B_ANY_DELIVERY, B_DROPPED_DELIVERY, B_PROGRAMMED_DELIVERY };

enum message_source { B_ANY_SOURCE, B_REMOTE_SOURCE, B_LOCAL_SOURCE };

// Sees messages before their handler does and may let them pass (and
// change their target) or swallow them.
class BMessageFilter
{
public:
    explicit BMessageFilter(uint32 command, filter_hook filter = nullptr);
    BMessageFilter(message_delivery delivery, message_source source, filter_hook filter = nullptr);
    BMessageFilter(message_delivery delivery, message_source source, uint32 command,
                   filter_hook filter = nullptr);
    BMessageFilter(const BMessageFilter& filter);
    BMessageFilter(const BMessageFilter* filter);
    virtual ~BMessageFilter();

    BMessageFilter& operator=(const BMessageFilter& from);

    // Called for each message the filter accepts; the default calls the
    // hook function, or dispatches when there is none.
    virtual filter_result Filter(BMessage* message, BHandler** target);

    message_delivery MessageDelivery() const { return fDelivery; }
    message_source MessageSource() const { return fSource; }
    uint32 Command() const { return fCommand; }
    bool FiltersAnyCommand() const { return fFiltersAny; }
    BLooper* Looper() const { return fLooper; }

private:
    friend class BLooper;
    friend class BHandler;

    // Whether this filter wants to see the message at all.
    bool Accepts(const BMessage* message) const;
    // Runs the filter on a message it accepts.
    filter_result Run(BMessage* message, BHandler** target);

    uint32 fCommand;
    bool fFiltersAny;
    message_delivery fDelivery;
    message_source fSource;
    BLooper* fLooper;
    filter_hook fFilterFunction;
};

#include "MessageFilter.h"

#include "Message.h"

BMessageFilter::BMessageFilter(uint32 command, filter_hook filter)
    : fCommand(command), fFiltersAny(false), fDelivery(B_ANY_DELIVERY), fSource(B_ANY_SOURCE),
      fLooper(nullptr), fFilterFunction(filter)
{
}

BMessageFilter::BMessageFilter(message_delivery delivery, message_source source, filter_hook filter)
    : fCommand(0), fFiltersAny(true), fDelivery(delivery), fSource(source), fLooper(nullptr),
      fFilterFunction(filter)
{
}

BMessageFilter::BMessageFilter(message_delivery delivery, message_source source, uint32 command,
                               filter_hook filter)
    : fCommand(command), fFiltersAny(false), fDelivery(delivery), fSource(source), fLooper(nullptr),
      fFilterFunction(filter)
{
}

BMessageFilter::BMessageFilter(const BMessageFilter& filter)
    : fCommand(filter.fCommand), fFiltersAny(filter.fFiltersAny), fDelivery(filter.fDelivery),
      fSource(filter.fSource), fLooper(nullptr), fFilterFunction(filter.fFilterFunction)
{
}

BMessageFilter::BMessageFilter(const BMessageFilter* filter) : BMessageFilter(*filter) {}

BMessageFilter::~BMessageFilter() {}

BMessageFilter& BMessageFilter::operator=(const BMessageFilter& from)
{
    fCommand = from.fCommand;
    fFiltersAny = from.fFiltersAny;
    fDelivery = from.fDelivery;
    fSource = from.fSource;
    fFilterFunction = from.fFilterFunction;
    return *this;
}

filter_result BMessageFilter::Filter(BMessage* message, BHandler** target)
{
    if (fFilterFunction != nullptr)
        return fFilterFunction(message, target, this);
    return B_DISPATCH_MESSAGE;
}

// Every message here is posted by this process; dropped delivery does not
// exist, so a filter for dropped messages only never fires.
bool BMessageFilter::Accepts(const BMessage* message) const
{
    if (fDelivery == B_DROPPED_DELIVERY || fSource == B_REMOTE_SOURCE)
        return false;
    return fFiltersAny || message->what == fCommand;
}

filter_result BMessageFilter::Run(BMessage* message, BHandler** target)
{
    if (!Accepts(message))
        return B_DISPATCH_MESSAGE;
    return Filter(message, target);
}

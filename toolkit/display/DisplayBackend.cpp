#include "DisplayBackend.h"

namespace BPrivate
{

EventSink::~EventSink() {}

DisplayBackend::~DisplayBackend() {}

int32 DisplayBackend::Scale() const
{
    return 1;
}

bool DisplayBackend::Lost() const
{
    return false;
}

int32 DisplayBackend::RefreshRate() const
{
    return 60;
}

} // namespace BPrivate

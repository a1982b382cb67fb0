#include "DisplayBackend.h"

namespace BPrivate
{

EventSink::~EventSink() {}

DisplayBackend::~DisplayBackend() {}

} // namespace BPrivate

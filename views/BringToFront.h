#pragma once

// Activates another window reached through a messenger: the window may
// have gone (then nothing happens) or be busy (then it stays behind after
// a bounded wait, so that no window can hold the caller).

#include <Messenger.h>

// True when the window was there and was activated.
bool bring_to_front(const BMessenger& window);

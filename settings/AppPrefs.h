#pragma once

// The main settings store, reachable from every thread. The application
// object sets it once its store exists and clears it before destroying the
// store; until then (and in tests without an application) it is null, and
// readers use their own defaults.

#include <SupportDefs.h>

class Prefs;

Prefs* app_prefs();
void set_app_prefs(Prefs* prefs);

// The 16-bit integer "encoding" of the main store, or `fallback` when there
// is no store or no such value. Always the current value, as if read under
// the store's lock each time, but the lock is taken only when the store's
// message has changed since this thread last read it: the protocol engine
// asks for every line.
int16 app_encoding(int16 fallback);

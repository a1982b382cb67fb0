#pragma once

// The main settings store, reachable from every thread. The application
// object sets it once its store exists and clears it before destroying the
// store; until then (and in tests without an application) it is null, and
// readers use their own defaults.

class Prefs;

Prefs* app_prefs();
void set_app_prefs(Prefs* prefs);

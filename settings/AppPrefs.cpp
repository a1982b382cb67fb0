#include "AppPrefs.h"

#include <atomic>

namespace
{
std::atomic<Prefs*> sAppPrefs{nullptr};
}

Prefs* app_prefs()
{
    return sAppPrefs.load();
}

void set_app_prefs(Prefs* prefs)
{
    sAppPrefs = prefs;
}

#include "AppPrefs.h"

#include <atomic>

#include "Prefs.h"

namespace
{

std::atomic<Prefs*> sAppPrefs{nullptr};
// Moves whenever the store is set, so a value read from one store is never
// taken for another's.
std::atomic<uint32> sEpoch{0};

} // namespace

Prefs* app_prefs()
{
    return sAppPrefs.load();
}

void set_app_prefs(Prefs* prefs)
{
    sAppPrefs = prefs;
    sEpoch++;
}

int16 app_encoding(int16 fallback)
{
    struct Seen {
        bool valid = false;
        uint32 epoch = 0;
        uint32 changes = 0;
        int16 fallback = 0;
        int16 code = 0;
    };
    thread_local Seen seen;

    uint32 epoch = sEpoch.load();
    Prefs* prefs = sAppPrefs.load();
    if (prefs == nullptr)
        return fallback;
    // The message pointer is the store's for its whole life; only what it
    // holds changes, under the lock.
    BMessage* settings = prefs->GetMsg();
    if (seen.valid && seen.epoch == epoch && seen.fallback == fallback &&
        seen.changes == settings->ChangeCount())
        return seen.code;
    int16 code = fallback;
    if (!prefs->Lock())
        return fallback;
    settings->FindInt16("encoding", &code);
    seen = {true, epoch, settings->ChangeCount(), fallback, code};
    prefs->Unlock();
    return code;
}

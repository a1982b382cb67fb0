// Writes the settings over and over until it is killed: the other half of
// the kill test. Usage: settings_child <config folder> <first value>
// Each round stores "nick" = "v<n>" (n counting up from the first value)
// and a payload large enough that a kill often lands inside a write.

#include <Prefs.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: settings_child <config folder> <first value>\n");
        return 2;
    }
    setenv("XDG_CONFIG_HOME", argv[1], 1);
    long value = strtol(argv[2], nullptr, 10);
    Prefs prefs("Pelmor settings", "Pelmor");
    std::string payload(256 * 1024, 'x');
    for (bool first = true;; value++, first = false) {
        prefs.Lock();
        prefs.GetMsg()->RemoveName("nick");
        prefs.GetMsg()->AddString("nick", ("v" + std::to_string(value)).c_str());
        prefs.GetMsg()->RemoveName("payload");
        prefs.GetMsg()->AddString("payload", payload.c_str());
        prefs.Unlock();
        if (prefs.StorePrefs() != B_OK)
            return 1;
        // Tells the parent that one write is done (on a slow build a kill
        // soon after the start would otherwise always land in the first).
        if (first) {
            fprintf(stdout, "ready\n");
            fflush(stdout);
        }
    }
}

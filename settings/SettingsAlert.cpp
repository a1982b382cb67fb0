#include "SettingsAlert.h"

#include <cstdio>

const char* const kSettingsNotFoundText = "Error...\nThe setting file is not found.";

// No alert window exists yet; standard error is where the user (or the
// terminal that started the client) sees it.
void show_settings_alert(const char* text)
{
    fprintf(stderr, "%s\n", text);
}

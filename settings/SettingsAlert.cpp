#include "SettingsAlert.h"

#include <atomic>
#include <cstdio>

const char* const kSettingsNotFoundText = "Error...\nThe setting file is not found.";
const char* const kSettingsReadOnlyText =
    "Error...\nThe setting file cannot be written (it is read-only).\nThe file on disk is "
    "unchanged.";

namespace
{

void to_standard_error(const char* text)
{
    fprintf(stderr, "%s\n", text);
}

std::atomic<void (*)(const char*)> sHandler{to_standard_error};

} // namespace

void show_settings_alert(const char* text)
{
    sHandler.load()(text);
}

void set_settings_alert_handler(void (*handler)(const char* text))
{
    sHandler = handler != nullptr ? handler : to_standard_error;
}

#include "SettingsAlertWindow.h"

#include <Alert.h>

#include <SettingsAlert.h>

namespace
{

void show_in_alert(const char* text)
{
    (new BAlert("", text, "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT))->Go();
}

} // namespace

void install_settings_alert()
{
    set_settings_alert_handler(show_in_alert);
}

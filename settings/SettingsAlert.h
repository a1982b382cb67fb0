#pragma once

// Tells the user that the settings could not be read or written. It may be
// called before the application's loop runs and after it has ended.
//
// The store speaks no window language: by default the text goes to
// standard error, and the application installs a handler that shows it in
// an alert (install_settings_alert in windows/).
void show_settings_alert(const char* text);
void set_settings_alert_handler(void (*handler)(const char* text));

// The text shown when the settings file cannot be opened.
extern const char* const kSettingsNotFoundText;
// The text shown when the settings file exists but may not be written.
extern const char* const kSettingsReadOnlyText;

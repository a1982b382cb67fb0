#pragma once

// Tells the user that the settings could not be read or written. It may be
// called before the application's loop runs and after it has ended.
void show_settings_alert(const char* text);

// The text shown when the settings file cannot be opened.
extern const char* const kSettingsNotFoundText;

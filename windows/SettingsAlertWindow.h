#pragma once

// Makes the settings store report its failures in an information alert
// with an empty title and one "OK" button, waited for.
void install_settings_alert();

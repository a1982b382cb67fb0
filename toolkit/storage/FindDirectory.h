#pragma once

#include "SupportDefs.h"

class BPath;
class BVolume;

enum directory_which {
    B_USER_DIRECTORY = 3000,
    B_USER_CONFIG_DIRECTORY = 3001,
    B_USER_SETTINGS_DIRECTORY = 3002,
};

// B_USER_SETTINGS_DIRECTORY is $XDG_CONFIG_HOME when that is an absolute
// path, else $HOME/.config. With createIt, missing folders are made.
status_t find_directory(directory_which which, BPath* path, bool createIt = false,
                        BVolume* volume = nullptr);

#include "FindDirectory.h"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>

#include "Directory.h"
#include "Path.h"

namespace
{

std::string home_directory()
{
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    struct passwd* entry = getpwuid(getuid());
    if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return std::string();
}

} // namespace

status_t find_directory(directory_which which, BPath* path, bool createIt, BVolume*)
{
    if (path == nullptr)
        return B_BAD_VALUE;
    std::string folder;
    switch (which) {
    case B_USER_DIRECTORY:
        folder = home_directory();
        break;
    case B_USER_CONFIG_DIRECTORY:
    case B_USER_SETTINGS_DIRECTORY: {
        // A relative XDG_CONFIG_HOME is invalid and must be ignored.
        const char* config = getenv("XDG_CONFIG_HOME");
        if (config != nullptr && config[0] == '/')
            folder = config;
        else if (!home_directory().empty())
            folder = home_directory() + "/.config";
        break;
    }
    default:
        return B_BAD_VALUE;
    }
    if (folder.empty())
        return B_ENTRY_NOT_FOUND;
    status_t status = path->SetTo(folder.c_str());
    if (status != B_OK)
        return status;
    if (createIt)
        return create_directory(path->Path(), 0700);
    return B_OK;
}

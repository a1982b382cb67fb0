#include "Directory.h"

#include <cerrno>
#include <sys/stat.h>

#include "Entry.h"
#include "File.h"
#include "Path.h"

BDirectory::BDirectory() : fStatus(B_NO_INIT) {}

BDirectory::BDirectory(const char* path) : fStatus(B_NO_INIT)
{
    SetTo(path);
}

BDirectory::BDirectory(const BEntry* entry) : fStatus(B_NO_INIT)
{
    SetTo(entry);
}

BDirectory::BDirectory(const BDirectory* dir, const char* path) : fStatus(B_NO_INIT)
{
    SetTo(dir, path);
}

BDirectory::~BDirectory() {}

status_t BDirectory::SetTo(const char* path)
{
    Unset();
    BPath normal(path);
    if (normal.InitCheck() != B_OK)
        return fStatus = normal.InitCheck();
    struct stat info;
    if (stat(normal.Path(), &info) != 0)
        return fStatus = errno_to_status(errno);
    if (!S_ISDIR(info.st_mode))
        return fStatus = B_NOT_A_DIRECTORY;
    fPath = normal.Path();
    return fStatus = B_OK;
}

status_t BDirectory::SetTo(const BEntry* entry)
{
    if (entry == nullptr || entry->InitCheck() != B_OK) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return SetTo(entry->PathName());
}

status_t BDirectory::SetTo(const BDirectory* dir, const char* path)
{
    if (dir == nullptr || dir->InitCheck() != B_OK || path == nullptr) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return SetTo(dir->Resolve(path).c_str());
}

void BDirectory::Unset()
{
    fPath.clear();
    fStatus = B_NO_INIT;
}

std::string BDirectory::Resolve(const char* path) const
{
    if (path != nullptr && path[0] == '/')
        return path;
    BPath full(fPath.c_str(), path);
    return full.InitCheck() == B_OK ? full.Path() : std::string();
}

bool BDirectory::Contains(const char* path, int32 nodeFlags) const
{
    if (fStatus != B_OK || path == nullptr)
        return false;
    std::string full = Resolve(path);
    struct stat info;
    if (full.empty() || lstat(full.c_str(), &info) != 0)
        return false;
    int32 flavor = S_ISLNK(info.st_mode)   ? B_SYMLINK_NODE
                   : S_ISDIR(info.st_mode) ? B_DIRECTORY_NODE
                                           : B_FILE_NODE;
    return (flavor & nodeFlags) != 0;
}

status_t BDirectory::FindEntry(const char* path, BEntry* entry, bool traverse) const
{
    if (entry == nullptr || path == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    status_t status = entry->SetTo(Resolve(path).c_str(), traverse);
    if (status != B_OK)
        return status;
    if (!entry->Exists()) {
        entry->Unset();
        return B_ENTRY_NOT_FOUND;
    }
    return B_OK;
}

status_t BDirectory::GetEntry(BEntry* entry) const
{
    if (entry == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    return entry->SetTo(fPath.c_str());
}

status_t BDirectory::CreateDirectory(const char* path, BDirectory* dir)
{
    if (path == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    std::string full = Resolve(path);
    if (mkdir(full.c_str(), 0755) != 0)
        return errno_to_status(errno);
    if (dir != nullptr)
        return dir->SetTo(full.c_str());
    return B_OK;
}

status_t BDirectory::CreateFile(const char* path, BFile* file, bool failIfExists)
{
    if (path == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    BFile local;
    BFile* target = file != nullptr ? file : &local;
    uint32 mode = B_READ_WRITE | B_CREATE_FILE | (failIfExists ? B_FAIL_IF_EXISTS : B_ERASE_FILE);
    return target->SetTo(Resolve(path).c_str(), mode);
}

status_t create_directory(const char* path, mode_t mode)
{
    BPath normal(path);
    if (normal.InitCheck() != B_OK)
        return normal.InitCheck();
    std::string full = normal.Path();
    for (size_t at = 1; at <= full.size(); at++) {
        if (at != full.size() && full[at] != '/')
            continue;
        std::string prefix = full.substr(0, at);
        if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST)
            return errno_to_status(errno);
    }
    struct stat info;
    if (stat(full.c_str(), &info) != 0)
        return errno_to_status(errno);
    return S_ISDIR(info.st_mode) ? B_OK : B_NOT_A_DIRECTORY;
}

#include "Entry.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "Directory.h"
#include "Path.h"

BEntry::BEntry() : fStatus(B_NO_INIT) {}

BEntry::BEntry(const char* path, bool traverse) : fStatus(B_NO_INIT)
{
    SetTo(path, traverse);
}

BEntry::BEntry(const BDirectory* dir, const char* path, bool traverse) : fStatus(B_NO_INIT)
{
    SetTo(dir, path, traverse);
}

BEntry::~BEntry() {}

status_t BEntry::SetTo(const char* path, bool traverse)
{
    Unset();
    BPath normal(path);
    if (normal.InitCheck() != B_OK)
        return fStatus = normal.InitCheck();
    fPath = normal.Path();
    if (traverse) {
        char resolved[PATH_MAX];
        if (realpath(fPath.c_str(), resolved) != nullptr)
            fPath = resolved;
    }
    return fStatus = B_OK;
}

status_t BEntry::SetTo(const BDirectory* dir, const char* path, bool traverse)
{
    if (path != nullptr && path[0] == '/')
        return SetTo(path, traverse);
    if (dir == nullptr || dir->InitCheck() != B_OK || path == nullptr) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    BPath full(dir->PathName(), path);
    if (full.InitCheck() != B_OK) {
        Unset();
        return fStatus = full.InitCheck();
    }
    return SetTo(full.Path(), traverse);
}

void BEntry::Unset()
{
    fPath.clear();
    fStatus = B_NO_INIT;
}

bool BEntry::Exists() const
{
    struct stat info;
    return fStatus == B_OK && lstat(fPath.c_str(), &info) == 0;
}

bool BEntry::IsFile() const
{
    struct stat info;
    return fStatus == B_OK && lstat(fPath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool BEntry::IsDirectory() const
{
    struct stat info;
    return fStatus == B_OK && lstat(fPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool BEntry::IsSymLink() const
{
    struct stat info;
    return fStatus == B_OK && lstat(fPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

status_t BEntry::GetPath(BPath* path) const
{
    if (path == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    return path->SetTo(fPath.c_str());
}

status_t BEntry::GetName(char* buffer) const
{
    if (buffer == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    BPath path(fPath.c_str());
    snprintf(buffer, B_FILE_NAME_LENGTH, "%s", path.Leaf());
    return B_OK;
}

status_t BEntry::GetParent(BEntry* entry) const
{
    if (entry == nullptr)
        return B_BAD_VALUE;
    BPath path(fPath.c_str()), parent;
    status_t status = fStatus == B_OK ? path.GetParent(&parent) : fStatus;
    if (status != B_OK)
        return status;
    return entry->SetTo(parent.Path());
}

status_t BEntry::GetSize(off_t* size) const
{
    struct stat info;
    if (size == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    if (stat(fPath.c_str(), &info) != 0)
        return errno_to_status(errno);
    *size = info.st_size;
    return B_OK;
}

status_t BEntry::Rename(const char* path, bool clobber)
{
    if (fStatus != B_OK)
        return fStatus;
    if (path == nullptr || *path == '\0')
        return B_BAD_VALUE;
    BPath target;
    if (path[0] == '/') {
        target.SetTo(path);
    } else {
        BPath self(fPath.c_str()), parent;
        self.GetParent(&parent);
        target.SetTo(parent.Path(), path);
    }
    if (target.InitCheck() != B_OK)
        return target.InitCheck();
    struct stat info;
    if (!clobber && lstat(target.Path(), &info) == 0)
        return B_FILE_EXISTS;
    if (rename(fPath.c_str(), target.Path()) != 0)
        return errno_to_status(errno);
    fPath = target.Path();
    return B_OK;
}

status_t BEntry::Remove()
{
    if (fStatus != B_OK)
        return fStatus;
    int result = IsDirectory() ? rmdir(fPath.c_str()) : unlink(fPath.c_str());
    return result == 0 ? B_OK : errno_to_status(errno);
}

bool BEntry::operator==(const BEntry& other) const
{
    return fStatus == other.fStatus && fPath == other.fPath;
}

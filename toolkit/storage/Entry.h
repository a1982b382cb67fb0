#pragma once

#include <string>

#include "StorageDefs.h"

class BDirectory;
class BPath;

// A location in the file system; what it names may or may not exist.
class BEntry
{
public:
    BEntry();
    BEntry(const char* path, bool traverse = false);
    BEntry(const BDirectory* dir, const char* path, bool traverse = false);
    BEntry(const BEntry& other) = default;
    BEntry& operator=(const BEntry& other) = default;
    virtual ~BEntry();

    status_t InitCheck() const { return fStatus; }
    status_t SetTo(const char* path, bool traverse = false);
    status_t SetTo(const BDirectory* dir, const char* path, bool traverse = false);
    void Unset();

    bool Exists() const;
    bool IsFile() const;
    bool IsDirectory() const;
    bool IsSymLink() const;

    status_t GetPath(BPath* path) const;
    status_t GetName(char* buffer) const; // B_FILE_NAME_LENGTH bytes
    status_t GetParent(BEntry* entry) const;
    status_t GetSize(off_t* size) const;

    status_t Rename(const char* path, bool clobber = false);
    status_t Remove();

    // The absolute path, for the toolkit's own use.
    const char* PathName() const { return fPath.c_str(); }

    bool operator==(const BEntry& other) const;
    bool operator!=(const BEntry& other) const { return !(*this == other); }

private:
    std::string fPath;
    status_t fStatus;
};

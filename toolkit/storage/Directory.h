#pragma once

#include <string>

#include "StorageDefs.h"

class BEntry;
class BFile;

// An existing directory.
class BDirectory
{
public:
    BDirectory();
    explicit BDirectory(const char* path);
    explicit BDirectory(const BEntry* entry);
    BDirectory(const BDirectory* dir, const char* path);
    BDirectory(const BDirectory& other) = default;
    BDirectory& operator=(const BDirectory& other) = default;
    virtual ~BDirectory();

    status_t InitCheck() const { return fStatus; }
    status_t SetTo(const char* path);
    status_t SetTo(const BEntry* entry);
    status_t SetTo(const BDirectory* dir, const char* path);
    void Unset();

    // Whether the relative or absolute path names an entry of the flavour.
    bool Contains(const char* path, int32 nodeFlags = B_ANY_NODE) const;
    status_t FindEntry(const char* path, BEntry* entry, bool traverse = false) const;
    status_t GetEntry(BEntry* entry) const;
    status_t CreateDirectory(const char* path, BDirectory* dir);
    // Fails with B_FILE_EXISTS when asked to and the file is there;
    // otherwise an existing file is opened and erased.
    status_t CreateFile(const char* path, BFile* file, bool failIfExists = false);

    // The absolute path, for the toolkit's own use.
    const char* PathName() const { return fPath.c_str(); }

private:
    std::string Resolve(const char* path) const;

    std::string fPath;
    status_t fStatus;
};

// Creates the directory and any missing parents.
status_t create_directory(const char* path, mode_t mode);

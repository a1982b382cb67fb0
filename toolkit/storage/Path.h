#pragma once

#include <string>

#include "StorageDefs.h"

class BDirectory;
class BEntry;

// An absolute path name, normalised lexically ("." and ".." and double
// slashes removed); the file it names need not exist.
class BPath
{
public:
    BPath();
    BPath(const char* dir, const char* leaf = nullptr, bool normalize = false);
    BPath(const BDirectory* dir, const char* leaf, bool normalize = false);
    BPath(const BEntry* entry);
    BPath(const BPath& other) = default;
    BPath& operator=(const BPath& other) = default;
    virtual ~BPath();

    status_t InitCheck() const { return fStatus; }
    status_t SetTo(const char* path, const char* leaf = nullptr, bool normalize = false);
    status_t SetTo(const BDirectory* dir, const char* leaf, bool normalize = false);
    status_t SetTo(const BEntry* entry);
    void Unset();

    status_t Append(const char* path, bool normalize = false);
    const char* Path() const;
    const char* Leaf() const;
    status_t GetParent(BPath* path) const;

    bool operator==(const BPath& other) const;
    bool operator!=(const BPath& other) const { return !(*this == other); }

private:
    std::string fPath;
    status_t fStatus;
};

#pragma once

#include <string>

#include "DataIO.h"
#include "StorageDefs.h"

class BDirectory;
class BEntry;

// An open file. Open modes are the B_READ_ONLY ... B_OPEN_AT_END flags.
class BFile : public BPositionIO
{
public:
    BFile();
    BFile(const char* path, uint32 openMode);
    BFile(const BEntry* entry, uint32 openMode);
    BFile(const BDirectory* dir, const char* path, uint32 openMode);
    ~BFile() override;

    status_t InitCheck() const { return fStatus; }
    status_t SetTo(const char* path, uint32 openMode);
    status_t SetTo(const BEntry* entry, uint32 openMode);
    status_t SetTo(const BDirectory* dir, const char* path, uint32 openMode);
    void Unset();

    bool IsReadable() const;
    bool IsWritable() const;

    ssize_t Read(void* buffer, size_t size) override;
    ssize_t Write(const void* buffer, size_t size) override;
    ssize_t ReadAt(off_t position, void* buffer, size_t size) override;
    ssize_t WriteAt(off_t position, const void* buffer, size_t size) override;
    off_t Seek(off_t position, uint32 seekMode) override;
    off_t Position() const override;
    status_t SetSize(off_t size) override;
    status_t GetSize(off_t* size) const override;
    // Flushes written data to the disk.
    status_t Sync();

    BFile(const BFile&) = delete;
    BFile& operator=(const BFile&) = delete;

private:
    int fFd;
    uint32 fMode;
    status_t fStatus;
};

// Replaces the whole content of the file at `path` so that readers see
// either the old bytes or the new ones, never a mix or a truncated file:
// the data goes to a temporary file in the same folder, is flushed, and is
// renamed over the old file. A symbolic link is followed and stays a link;
// the file it points to is replaced. An existing file's permissions carry
// over, unless `mode` (>= 0) gives the permissions the file is to have. On
// failure the old file is untouched and the temporary file gone.
// The temporary file is locked while it is written and, where the file
// system allows, has no name until it is complete.
status_t replace_file_atomically(const char* path, const void* data, size_t size, int mode = -1);

// Removes the temporary files that replace_file_atomically left beside
// `path` when its process was killed. A file another process is still
// writing is locked and stays. Returns how many were removed.
int32 remove_abandoned_temporary_files(const char* path);

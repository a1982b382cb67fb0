#include "File.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Directory.h"
#include "Entry.h"
#include "OS.h"
#include "Path.h"

BFile::BFile() : fFd(-1), fMode(0), fStatus(B_NO_INIT) {}

BFile::BFile(const char* path, uint32 openMode) : BFile()
{
    SetTo(path, openMode);
}

BFile::BFile(const BEntry* entry, uint32 openMode) : BFile()
{
    SetTo(entry, openMode);
}

BFile::BFile(const BDirectory* dir, const char* path, uint32 openMode) : BFile()
{
    SetTo(dir, path, openMode);
}

BFile::~BFile()
{
    Unset();
}

status_t BFile::SetTo(const char* path, uint32 openMode)
{
    Unset();
    if (path == nullptr)
        return fStatus = B_BAD_VALUE;
    int fd = open(path, int(openMode) | O_CLOEXEC, 0644);
    if (fd < 0)
        return fStatus = errno_to_status(errno);
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        return fStatus = B_IS_A_DIRECTORY;
    }
    fFd = fd;
    fMode = openMode;
    return fStatus = B_OK;
}

status_t BFile::SetTo(const BEntry* entry, uint32 openMode)
{
    if (entry == nullptr || entry->InitCheck() != B_OK) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return SetTo(entry->PathName(), openMode);
}

status_t BFile::SetTo(const BDirectory* dir, const char* path, uint32 openMode)
{
    BEntry entry(dir, path);
    if (entry.InitCheck() != B_OK) {
        Unset();
        return fStatus = entry.InitCheck();
    }
    return SetTo(&entry, openMode);
}

void BFile::Unset()
{
    if (fFd >= 0)
        close(fFd);
    fFd = -1;
    fMode = 0;
    fStatus = B_NO_INIT;
}

bool BFile::IsReadable() const
{
    return fFd >= 0 && (fMode & O_ACCMODE) != O_WRONLY;
}

bool BFile::IsWritable() const
{
    return fFd >= 0 && (fMode & O_ACCMODE) != O_RDONLY;
}

ssize_t BFile::Read(void* buffer, size_t size)
{
    if (fFd < 0)
        return B_NO_INIT;
    ssize_t result;
    do {
        result = read(fFd, buffer, size);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? errno_to_status(errno) : result;
}

ssize_t BFile::Write(const void* buffer, size_t size)
{
    if (fFd < 0)
        return B_NO_INIT;
    ssize_t result;
    do {
        result = write(fFd, buffer, size);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? errno_to_status(errno) : result;
}

ssize_t BFile::ReadAt(off_t position, void* buffer, size_t size)
{
    if (fFd < 0)
        return B_NO_INIT;
    ssize_t result;
    do {
        result = pread(fFd, buffer, size, position);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? errno_to_status(errno) : result;
}

ssize_t BFile::WriteAt(off_t position, const void* buffer, size_t size)
{
    if (fFd < 0)
        return B_NO_INIT;
    ssize_t result;
    do {
        result = pwrite(fFd, buffer, size, position);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? errno_to_status(errno) : result;
}

off_t BFile::Seek(off_t position, uint32 seekMode)
{
    if (fFd < 0)
        return B_NO_INIT;
    off_t result = lseek(fFd, position, int(seekMode));
    return result < 0 ? errno_to_status(errno) : result;
}

off_t BFile::Position() const
{
    if (fFd < 0)
        return B_NO_INIT;
    off_t result = lseek(fFd, 0, SEEK_CUR);
    return result < 0 ? errno_to_status(errno) : result;
}

status_t BFile::SetSize(off_t size)
{
    if (fFd < 0)
        return B_NO_INIT;
    return ftruncate(fFd, size) == 0 ? B_OK : errno_to_status(errno);
}

status_t BFile::GetSize(off_t* size) const
{
    if (size == nullptr)
        return B_BAD_VALUE;
    if (fFd < 0)
        return B_NO_INIT;
    struct stat info;
    if (fstat(fFd, &info) != 0)
        return errno_to_status(errno);
    *size = info.st_size;
    return B_OK;
}

status_t BFile::Sync()
{
    if (fFd < 0)
        return B_NO_INIT;
    return fsync(fFd) == 0 ? B_OK : errno_to_status(errno);
}

namespace
{

// Follows a chain of symbolic links to the path of the file at its end,
// which need not exist.
status_t resolve_links(const std::string& path, std::string* resolved)
{
    std::string current = path;
    for (int hops = 0; hops < 40; hops++) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            *resolved = current;
            return B_OK;
        }
        char target[PATH_MAX];
        ssize_t length = readlink(current.c_str(), target, sizeof(target) - 1);
        if (length < 0)
            return errno_to_status(errno);
        target[length] = '\0';
        if (target[0] == '/') {
            current = target;
        } else {
            size_t slash = current.rfind('/');
            current = current.substr(0, slash + 1) + target;
        }
    }
    return B_LINK_LIMIT;
}

status_t write_all(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno_to_status(errno);
        }
        bytes += written;
        size -= size_t(written);
    }
    return B_OK;
}

} // namespace

namespace
{

const char kTempLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const size_t kTempSuffix = 6;

// ".name." followed by six letters: the names of a file's temporary copies.
std::string temporary_prefix(const std::string& target, size_t slash)
{
    return target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".";
}

std::string random_suffix()
{
    static std::atomic<uint32> counter{0};
    uint64 seed = uint64(system_time()) ^ (uint64(getpid()) << 32) ^ counter.fetch_add(7919);
    std::string suffix;
    for (size_t i = 0; i < kTempSuffix; i++) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        suffix += kTempLetters[(seed >> 33) % (sizeof(kTempLetters) - 1)];
    }
    return suffix;
}

bool same_file(int fd, const char* name)
{
    struct stat open, named;
    return fstat(fd, &open) == 0 && lstat(name, &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Makes the temporary copy, locked for as long as it is open so that a
// sweep in another process leaves it alone. Preferably the copy has no name
// until its bytes are complete (O_TMPFILE), so a kill while writing leaves
// nothing behind; `*name` is empty until it gets one.
int open_temporary(const std::string& folder, const std::string& prefix, std::string* name)
{
    name->clear();
    int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        if (flock(fd, LOCK_EX) == 0)
            return fd;
        close(fd);
    }
    // File systems without unnamed files: a named one, locked at once. A
    // sweep may catch it between creation and lock; then take another.
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string candidate = prefix + random_suffix();
        fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        if (flock(fd, LOCK_EX) == 0 && same_file(fd, candidate.c_str())) {
            *name = candidate;
            return fd;
        }
        close(fd);
    }
    errno = EEXIST;
    return -1;
}

// Gives the unnamed copy a name of its own (it must have one to be renamed
// over the target), keeping the lock.
status_t name_temporary(int fd, const std::string& prefix, std::string* name)
{
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string candidate = prefix + random_suffix();
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            *name = candidate;
            return B_OK;
        }
        if (errno != EEXIST)
            return errno_to_status(errno);
    }
    return B_FILE_EXISTS;
}

} // namespace

status_t replace_file_atomically(const char* path, const void* data, size_t size, int mode)
{
    if (path == nullptr || (data == nullptr && size > 0))
        return B_BAD_VALUE;
    BPath absolute(path);
    if (absolute.InitCheck() != B_OK)
        return absolute.InitCheck();
    std::string target;
    status_t status = resolve_links(absolute.Path(), &target);
    if (status != B_OK)
        return status;

    size_t slash = target.rfind('/');
    std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    std::string prefix = temporary_prefix(target, slash);
    std::string name;
    int fd = open_temporary(folder, prefix, &name);
    if (fd < 0)
        return errno_to_status(errno);

    struct stat info;
    if (mode >= 0)
        fchmod(fd, mode_t(mode) & 07777);
    else if (stat(target.c_str(), &info) == 0)
        fchmod(fd, info.st_mode & 07777);
    else
        fchmod(fd, 0644);

    status = write_all(fd, data, size);
    if (status == B_OK && fsync(fd) != 0)
        status = errno_to_status(errno);
    if (status == B_OK && name.empty())
        status = name_temporary(fd, prefix, &name);
    if (status == B_OK && rename(name.c_str(), target.c_str()) != 0)
        status = errno_to_status(errno);
    if (status != B_OK && !name.empty())
        unlink(name.c_str());
    // Closing drops the lock: only now may a sweep look at the name, which
    // is gone by then.
    if (close(fd) != 0 && status == B_OK)
        status = errno_to_status(errno);
    if (status != B_OK)
        return status;
    // Make the rename itself durable.
    int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return B_OK;
}

int32 remove_abandoned_temporary_files(const char* path)
{
    if (path == nullptr)
        return 0;
    BPath absolute(path);
    std::string target;
    if (absolute.InitCheck() != B_OK || resolve_links(absolute.Path(), &target) != B_OK)
        return 0;
    size_t slash = target.rfind('/');
    std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    std::string leaf = "." + target.substr(slash + 1) + ".";

    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    int32 removed = 0;
    while (struct dirent* entry = readdir(dir)) {
        std::string entryName = entry->d_name;
        if (entryName.size() != leaf.size() + kTempSuffix ||
            entryName.compare(0, leaf.size(), leaf) != 0 ||
            entryName.find_first_not_of(kTempLetters, leaf.size()) != std::string::npos)
            continue;
        std::string full = folder + "/" + entryName;
        int fd = open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info;
        // A writer holds its lock until its copy is renamed: a copy that can
        // be locked belongs to no one any more.
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            same_file(fd, full.c_str()) && unlink(full.c_str()) == 0)
            removed++;
        close(fd);
    }
    closedir(dir);
    return removed;
}

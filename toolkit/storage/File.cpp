#include "File.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Directory.h"
#include "Entry.h"
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

status_t replace_file_atomically(const char* path, const void* data, size_t size)
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
    std::string temp = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0)
        return errno_to_status(errno);

    struct stat info;
    if (stat(target.c_str(), &info) == 0)
        fchmod(fd, info.st_mode & 07777);
    else
        fchmod(fd, 0644);

    status = write_all(fd, data, size);
    if (status == B_OK && fsync(fd) != 0)
        status = errno_to_status(errno);
    if (close(fd) != 0 && status == B_OK)
        status = errno_to_status(errno);
    if (status == B_OK && rename(name.data(), target.c_str()) != 0)
        status = errno_to_status(errno);
    if (status != B_OK) {
        unlink(name.data());
        return status;
    }
    // Make the rename itself durable.
    int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return B_OK;
}

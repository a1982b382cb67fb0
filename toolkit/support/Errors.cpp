#include "Errors.h"

#include <cerrno>

int errno_to_status(int error)
{
    switch (error) {
    case 0:
        return B_OK;
    case ENOMEM:
        return B_NO_MEMORY;
    case EACCES:
    case EPERM:
        return B_PERMISSION_DENIED;
    case ENOENT:
        return B_ENTRY_NOT_FOUND;
    case EEXIST:
        return B_FILE_EXISTS;
    case ENOTDIR:
        return B_NOT_A_DIRECTORY;
    case EISDIR:
        return B_IS_A_DIRECTORY;
    case ENAMETOOLONG:
        return B_NAME_TOO_LONG;
    case ENOSPC:
    case EDQUOT:
        return B_DEVICE_FULL;
    case EROFS:
        return B_READ_ONLY_DEVICE;
    case ELOOP:
        return B_LINK_LIMIT;
    case EINVAL:
        return B_BAD_VALUE;
    case EBUSY:
        return B_BUSY;
    case EINTR:
        return B_INTERRUPTED;
    case EAGAIN:
        return B_WOULD_BLOCK;
    case ETIMEDOUT:
        return B_TIMED_OUT;
    default:
        return B_IO_ERROR;
    }
}

const char* status_text(int status)
{
    switch (status) {
    case B_OK:
        return "no error";
    case B_NO_MEMORY:
        return "out of memory";
    case B_IO_ERROR:
        return "input/output error";
    case B_PERMISSION_DENIED:
        return "permission denied";
    case B_BAD_INDEX:
        return "index out of range";
    case B_BAD_TYPE:
        return "wrong type";
    case B_BAD_VALUE:
        return "invalid value";
    case B_NAME_NOT_FOUND:
        return "name not found";
    case B_TIMED_OUT:
        return "timed out";
    case B_BAD_DATA:
        return "damaged data";
    case B_ENTRY_NOT_FOUND:
        return "no such file or folder";
    case B_FILE_EXISTS:
        return "file exists";
    case B_NOT_A_DIRECTORY:
        return "not a folder";
    case B_NAME_TOO_LONG:
        return "name too long";
    case B_DEVICE_FULL:
        return "disk full";
    case B_READ_ONLY_DEVICE:
        return "read-only file system";
    case B_LINK_LIMIT:
        return "too many symbolic links";
    default:
        return "error";
    }
}

#pragma once

#include <fcntl.h>
#include <limits.h>

#include "SupportDefs.h"

#define B_FILE_NAME_LENGTH NAME_MAX + 1
#define B_PATH_NAME_LENGTH PATH_MAX

// Open modes of BFile: the POSIX flags they stand for.
enum {
    B_READ_ONLY = O_RDONLY,
    B_WRITE_ONLY = O_WRONLY,
    B_READ_WRITE = O_RDWR,
    B_FAIL_IF_EXISTS = O_EXCL,
    B_CREATE_FILE = O_CREAT,
    B_ERASE_FILE = O_TRUNC,
    B_OPEN_AT_END = O_APPEND,
};

// Node kinds for BDirectory::Contains.
enum node_flavor {
    B_FILE_NODE = 0x01,
    B_SYMLINK_NODE = 0x02,
    B_DIRECTORY_NODE = 0x04,
    B_ANY_NODE = 0x07,
};

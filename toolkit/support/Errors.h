#pragma once

// Status codes. Success is zero; every failure is negative so that callers
// can test `< B_OK`.
enum : int {
    B_OK = 0,
    B_NO_ERROR = 0,
    B_ERROR = -1,

    B_GENERAL_ERROR_BASE = -0x7fff0000,
    B_NO_MEMORY = B_GENERAL_ERROR_BASE,
    B_IO_ERROR,
    B_PERMISSION_DENIED,
    B_BAD_INDEX,
    B_BAD_TYPE,
    B_BAD_VALUE,
    B_MISMATCHED_VALUES,
    B_NAME_NOT_FOUND,
    B_NAME_IN_USE,
    B_TIMED_OUT,
    B_INTERRUPTED,
    B_WOULD_BLOCK,
    B_CANCELED,
    B_NO_INIT,
    B_BUSY,
    B_NOT_ALLOWED,
    B_BAD_DATA,
    B_BAD_THREAD_ID,
    B_BAD_THREAD_STATE,
    B_BAD_PORT_ID,
    B_BAD_HANDLER,
    B_DUPLICATE_REPLY,
    B_MESSAGE_TO_SELF,
    B_ENTRY_NOT_FOUND,
    B_FILE_EXISTS,
    B_NOT_A_DIRECTORY,
    B_IS_A_DIRECTORY,
    B_NAME_TOO_LONG,
    B_DEVICE_FULL,
    B_READ_ONLY_DEVICE,
    B_LINK_LIMIT,
    B_UNSUPPORTED,
};

// Maps an errno value to the nearest status code above.
int errno_to_status(int error);

// A short English description of a status code.
const char* status_text(int status);

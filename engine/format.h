#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// snprintf for the engine's fixed line buffers, where cutting a too-long
// line is the intended outcome (writeln then restores its line end).
__attribute__((format(printf, 3, 4))) inline int format_line(char* out, size_t size,
                                                             const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(out, size, format, arguments);
    va_end(arguments);
    return length;
}

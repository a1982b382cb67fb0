#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

#include "Errors.h"
#include "TypeConstants.h"

typedef int8_t int8;
typedef uint8_t uint8;
typedef int16_t int16;
typedef uint16_t uint16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;
typedef unsigned char uchar;

typedef int32 status_t;
typedef int64 bigtime_t;
typedef uint32 type_code;

#ifndef min_c
#define min_c(a, b) ((a) > (b) ? (b) : (a))
#define max_c(a, b) ((a) > (b) ? (a) : (b))
#endif

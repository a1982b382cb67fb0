#pragma once

/*
 * Conversion between UTF-8, which the rest of the toolkit uses throughout, and
 * the legacy character sets still met on IRC.
 *
 * Both functions convert as much as fits and say how far they got, so that a
 * caller can feed a stream in pieces: a character cut off at the end of the
 * input is left for the next call, and the output never ends in half a
 * character. A character that has no equivalent, or bytes that are not valid
 * in the source set, become one substitute byte instead of an error: one
 * garbled character is better than a dropped line.
 *
 * The single-byte sets run through 256-entry tables built once from iconv,
 * since every incoming line passes through them. The multibyte sets run
 * through iconv itself, with one converter per thread, set and direction kept
 * open between calls; bad input is skipped here rather than with iconv's
 * //IGNORE or //TRANSLIT, which can neither say how much they skipped nor
 * produce a fixed substitute.
 */

#include "SupportDefs.h"

// The codes are stored in settings, so each keeps its number for good.
enum {
    B_ISO1_CONVERSION = 0,             // ISO 8859-1, Western European
    B_ISO2_CONVERSION = 1,             // ISO 8859-2, Central European
    B_ISO3_CONVERSION = 2,             // ISO 8859-3, South European
    B_ISO4_CONVERSION = 3,             // ISO 8859-4, North European
    B_ISO5_CONVERSION = 4,             // ISO 8859-5, Cyrillic
    B_ISO6_CONVERSION = 5,             // ISO 8859-6, Arabic
    B_ISO7_CONVERSION = 6,             // ISO 8859-7, Greek
    B_ISO8_CONVERSION = 7,             // ISO 8859-8, Hebrew
    B_ISO9_CONVERSION = 8,             // ISO 8859-9, Turkish
    B_ISO10_CONVERSION = 9,            // ISO 8859-10, Nordic
    B_MAC_ROMAN_CONVERSION = 10,       // Mac OS Roman
    B_SJIS_CONVERSION = 11,            // Shift-JIS as Windows has it: 0x5C stays a backslash
    B_EUC_CONVERSION = 12,             // EUC-JP
    B_JIS_CONVERSION = 13,             // ISO-2022-JP: needs shift state, not handled
    B_MS_WINDOWS_CONVERSION = 14,      // Windows code page 1252
    B_UNICODE_CONVERSION = 15,         // not handled
    B_KOI8R_CONVERSION = 16,           // KOI8-R, Russian
    B_MS_WINDOWS_1251_CONVERSION = 17, // Windows code page 1251, Cyrillic
    B_MS_DOS_866_CONVERSION = 18,      // DOS code page 866, Cyrillic
    B_MS_DOS_CONVERSION = 19,          // DOS code page 437
    B_EUC_KR_CONVERSION = 20,          // EUC-KR, Korean
    // UTF-8 itself, numbered apart from the legacy sets: what is not valid
    // UTF-8 becomes U+FFFD (the substitute byte would not be a character).
    B_UTF8_CONVERSION = 100,
};

// What an unconvertible character becomes unless the caller picks another.
#define B_SUBSTITUTE 0x1A

// Both functions read up to *srcLen bytes of src and write up to *dstLen
// bytes to dst (with no terminating NUL), then set *srcLen to the bytes
// consumed and *dstLen to the bytes written. They stop early, still returning
// B_OK, when the next character would not fit; the caller goes on from
// src + *srcLen. An incomplete character at the very end of the input is not
// consumed. `state` may be null; none of these sets needs shift state, so it
// is set to 0. A null pointer, a negative length or an unknown encoding
// returns B_BAD_VALUE with both lengths set to 0; B_ERROR means the C
// library cannot convert this set at all.
status_t convert_to_utf8(uint32 srcEncoding, const char* src, int32* srcLen, char* dst,
                         int32* dstLen, int32* state, char substitute = B_SUBSTITUTE);
status_t convert_from_utf8(uint32 dstEncoding, const char* src, int32* srcLen, char* dst,
                           int32* dstLen, int32* state, char substitute = B_SUBSTITUTE);

// Whether the `length` bytes at `text` are valid UTF-8 throughout (no
// overlong forms, surrogates or code points beyond U+10FFFF, no character
// cut off at the end).
bool is_valid_utf8(const char* text, int32 length);

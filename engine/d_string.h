#pragma once

// Small helpers on NUL-terminated byte strings, used to recognise command
// words and step over blanks. They allocate nothing and never write past
// the strings they are given; UTF-8 is treated as opaque bytes.

#include <SupportDefs.h>

// 0 when s2 is a prefix of s1; otherwise len1 - len2 when s1 is the shorter,
// or the 1-based index of the first differing byte.
int32 d_strncmp(const char* s1, const char* s2);
// As d_strncmp, with ASCII letters compared without regard to case.
int32 d_strnicmp(const char* s1, const char* s2);
// 0 when s2 is a suffix of s1.
int32 d_strRncmp(const char* s1, const char* s2);
// Lowers ASCII letters in place.
void d_tolower(char* s);
// The first byte after the first run of c, or null when c does not occur.
const char* d_skip_chr(const char* s, char c);
char* d_skip_chr(char* s, char c);
// The last byte before the last run of c (or the start of s), or null.
const char* d_skipR_chr(const char* s, char c);
char* d_skipR_chr(char* s, char c);
// The index of the first c, or 0 when there is none.
int32 d_len_chr(const char* s, char c);
// Copies the first blank-delimited word of s into word; 1 when there was
// one. `word` must be able to hold any word of s (strlen(s) + 1 bytes).
int32 d_get_word(const char* s, char* word);

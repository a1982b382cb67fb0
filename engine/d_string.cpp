#include "d_string.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace
{

// Only the letters a-z fold, whatever the locale.
int ascii_upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

int ascii_lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

template <bool IgnoreCase>
int32 prefix_compare(const char* s1, const char* s2)
{
    // s2 is a short word (a command, a nickname), s1 often a whole server
    // line: measure s1 only as far as s2 goes, and both with plain loops,
    // cheaper than library calls at these lengths.
    int32 len2 = 0;
    while (s2[len2] != '\0')
        len2++;
    int32 len1 = 0;
    while (len1 < len2 && s1[len1] != '\0')
        len1++;
    if (len1 < len2)
        return len1 - len2;
    for (int32 i = 0; i < len2; i++) {
        unsigned char a = static_cast<unsigned char>(s1[i]);
        unsigned char b = static_cast<unsigned char>(s2[i]);
        if (IgnoreCase ? ascii_upper(a) != ascii_upper(b) : a != b)
            return i + 1;
    }
    return 0;
}

} // namespace

int32 d_strncmp(const char* s1, const char* s2)
{
    return prefix_compare<false>(s1, s2);
}

int32 d_strnicmp(const char* s1, const char* s2)
{
    return prefix_compare<true>(s1, s2);
}

int32 d_strRncmp(const char* s1, const char* s2)
{
    int32 len1 = int32(strlen(s1));
    int32 len2 = int32(strlen(s2));
    if (len1 < len2)
        return len1 - len2;
    // From the terminating NULs backwards.
    for (int32 i = len2; i >= 0; i--) {
        if (s1[len1 - len2 + i] != s2[i])
            return i + 1;
    }
    return 0;
}

void d_tolower(char* s)
{
    for (; *s != '\0'; s++)
        *s = char(ascii_lower(static_cast<unsigned char>(*s)));
}

const char* d_skip_chr(const char* s, char c)
{
    const char* at = strchr(s, c);
    if (at == nullptr || c == '\0')
        return at;
    while (*at == c)
        at++;
    return at;
}

char* d_skip_chr(char* s, char c)
{
    return const_cast<char*>(d_skip_chr(static_cast<const char*>(s), c));
}

const char* d_skipR_chr(const char* s, char c)
{
    const char* at = strrchr(s, c);
    if (at == nullptr)
        return nullptr;
    while (*at == c && at != s)
        at--;
    return at;
}

char* d_skipR_chr(char* s, char c)
{
    return const_cast<char*>(d_skipR_chr(static_cast<const char*>(s), c));
}

int32 d_len_chr(const char* s, char c)
{
    const char* at = strchr(s, c);
    return at == nullptr ? 0 : int32(at - s);
}

int32 d_get_word(const char* s, char* word)
{
    return int32(sscanf(s, "%s", word));
}

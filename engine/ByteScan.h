#pragma once

// Finding a byte in the short stretches of a server line (a prefix, a
// command, a line in a receive block). Inline and sixteen bytes a step:
// for stretches of tens of bytes a library call costs more than the
// search. Never reads outside [p, end): the last step looks back over
// bytes already searched instead of past the end.

#include <cstddef>
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace byte_scan
{

#ifdef __SSE2__
// The first byte in [p, end) for which `match` (sixteen bytes at a time,
// giving 0xFF where they match) holds, or nullptr.
template <class Match>
inline const char* find_first(const char* p, const char* end, Match match)
{
    const char* begin = p;
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const uint32_t bits = uint32_t(_mm_movemask_epi8(match(block)));
        if (bits != 0)
            return p + __builtin_ctz(bits);
        p += 16;
    }
    if (p == end)
        return nullptr;
    const size_t left = size_t(end - p);
    if (end - begin >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
        const uint32_t bits = uint32_t(_mm_movemask_epi8(match(block))) >> (16 - left);
        return bits != 0 ? p + __builtin_ctz(bits) : nullptr;
    }
    for (; p < end; p++) {
        const __m128i one = _mm_cvtsi32_si128(static_cast<unsigned char>(*p));
        if ((_mm_movemask_epi8(match(one)) & 1) != 0)
            return p;
    }
    return nullptr;
}
#endif

// The first `a` in [p, end), or nullptr.
inline const char* find(const char* p, const char* end, char a)
{
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a);
    return find_first(p, end, [va](__m128i block) { return _mm_cmpeq_epi8(block, va); });
#else
    for (; p < end; p++)
        if (*p == a)
            return p;
    return nullptr;
#endif
}

// The first `a` or `b` in [p, end), or nullptr.
inline const char* find_either(const char* p, const char* end, char a, char b)
{
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    return find_first(p, end, [va, vb](__m128i block) {
        return _mm_or_si128(_mm_cmpeq_epi8(block, va), _mm_cmpeq_epi8(block, vb));
    });
#else
    for (; p < end; p++)
        if (*p == a || *p == b)
            return p;
    return nullptr;
#endif
}

// The first `a`, `b` or `c` in [p, end), or nullptr.
inline const char* find_any(const char* p, const char* end, char a, char b, char c)
{
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c);
    return find_first(p, end, [va, vb, vc](__m128i block) {
        return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, va), _mm_cmpeq_epi8(block, vb)),
                            _mm_cmpeq_epi8(block, vc));
    });
#else
    for (; p < end; p++)
        if (*p == a || *p == b || *p == c)
            return p;
    return nullptr;
#endif
}

// find_any, also telling whether a byte that is not plain ASCII (0x80 or
// above, or 0x01, which marks CTCP) lies before the match (or anywhere,
// when there is none).
inline const char* find_any_noting_special(const char* p, const char* end, char a, char b, char c,
                                           bool* special)
{
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c);
    const __m128i marker = _mm_set1_epi8(0x01);
    const char* begin = p;
    uint32_t seen = 0;
    // The matches and the special bytes of sixteen bytes at `at`, both
    // shifted right by `skip` (bytes already looked at). A marker byte gets
    // its top bit set, so that one mask covers both kinds.
    auto look = [&](const char* at, uint32_t skip, uint32_t* matches) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        *matches = uint32_t(_mm_movemask_epi8(_mm_or_si128(
                       _mm_or_si128(_mm_cmpeq_epi8(block, va), _mm_cmpeq_epi8(block, vb)),
                       _mm_cmpeq_epi8(block, vc)))) >>
                   skip;
        return uint32_t(_mm_movemask_epi8(_mm_or_si128(block, _mm_cmpeq_epi8(block, marker)))) >>
               skip;
    };
    // Only the bytes before the first match count.
    auto found = [&](const char* at, uint32_t matches, uint32_t specials) {
        const uint32_t index = uint32_t(__builtin_ctz(matches));
        *special = (seen | (specials & ((1u << index) - 1))) != 0;
        return at + index;
    };
    while (end - p >= 16) {
        uint32_t matches;
        const uint32_t specials = look(p, 0, &matches);
        if (matches != 0)
            return found(p, matches, specials);
        seen |= specials;
        p += 16;
    }
    if (p < end && end - begin >= 16) {
        uint32_t matches;
        const uint32_t specials = look(end - 16, uint32_t(16 - (end - p)), &matches);
        if (matches != 0)
            return found(p, matches, specials);
        seen |= specials;
        p = end;
    }
    for (; p < end; p++) {
        if (*p == a || *p == b || *p == c)
            break;
        seen |= (static_cast<unsigned char>(*p) & 0x80) | (*p == 0x01);
    }
    *special = seen != 0;
    return p < end ? p : nullptr;
#else
    bool any = false;
    for (; p < end; p++) {
        if (*p == a || *p == b || *p == c)
            break;
        any |= (static_cast<unsigned char>(*p) & 0x80) != 0 || *p == 0x01;
    }
    *special = any;
    return p < end ? p : nullptr;
#endif
}

inline char* find(char* p, char* end, char a)
{
    return const_cast<char*>(find(const_cast<const char*>(p), end, a));
}

} // namespace byte_scan

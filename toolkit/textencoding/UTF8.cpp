#include "UTF8.h"

#include <algorithm>
#include <atomic>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <tmmintrin.h>
#define HAVE_SSSE3_PATH 1
#endif
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iconv.h>
#include <mutex>

namespace
{

enum class Kind { kNone, kSingleByte, kShiftJIS, kEUCJP, kEUCKR };

struct Encoding {
    const char* iconvName;
    Kind kind;
};

// Indexed by conversion code. CP932 rather than SHIFT_JIS: it keeps 0x5C and
// 0x7E as ASCII and knows the NEC and IBM rows that Windows users type.
constexpr Encoding kEncodings[] = {
    {"ISO-8859-1", Kind::kSingleByte}, {"ISO-8859-2", Kind::kSingleByte},
    {"ISO-8859-3", Kind::kSingleByte}, {"ISO-8859-4", Kind::kSingleByte},
    {"ISO-8859-5", Kind::kSingleByte}, {"ISO-8859-6", Kind::kSingleByte},
    {"ISO-8859-7", Kind::kSingleByte}, {"ISO-8859-8", Kind::kSingleByte},
    {"ISO-8859-9", Kind::kSingleByte}, {"ISO-8859-10", Kind::kSingleByte},
    {"MACINTOSH", Kind::kSingleByte},  {"CP932", Kind::kShiftJIS},
    {"EUC-JP", Kind::kEUCJP},          {nullptr, Kind::kNone},
    {"CP1252", Kind::kSingleByte},     {nullptr, Kind::kNone},
    {"KOI8-R", Kind::kSingleByte},     {"CP1251", Kind::kSingleByte},
    {"CP866", Kind::kSingleByte},      {"CP437", Kind::kSingleByte},
    {"EUC-KR", Kind::kEUCKR},
};
constexpr uint32 kEncodingCount = sizeof(kEncodings) / sizeof(kEncodings[0]);

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
const size_t kIconvFailed = static_cast<size_t>(-1);

// #pragma mark - UTF-8

enum class Utf8Status { kValid, kInvalid, kTruncated };

struct Utf8Char {
    Utf8Status status;
    int32 length; // bytes that make up the character, or the bad sequence
    uint32 codePoint;
};

// The second byte decides whether a sequence is overlong, a surrogate or past
// U+10FFFF; the bytes after it cannot.
bool second_byte_ok(uint8 lead, uint8 byte)
{
    switch (lead) {
    case 0xE0:
        return byte >= 0xA0 && byte <= 0xBF;
    case 0xED:
        return byte >= 0x80 && byte <= 0x9F;
    case 0xF0:
        return byte >= 0x90 && byte <= 0xBF;
    case 0xF4:
        return byte >= 0x80 && byte <= 0x8F;
    default:
        return (byte & 0xC0) == 0x80;
    }
}

// Reads the character at s, with n > 0 bytes left. A bad sequence spans its
// lead byte and the continuation bytes after it, up to the length the lead
// announces, so that it becomes one substitute; a stray continuation byte is
// a sequence of its own. Truncated means a valid start cut off by the end of
// the input, which may still be completed by the caller's next chunk.
Utf8Char decode_utf8(const uint8* s, int32 n)
{
    const uint8 lead = s[0];
    if (lead < 0x80)
        return {Utf8Status::kValid, 1, lead};
    int32 length = 1;
    if (lead >= 0xC0 && lead < 0xE0)
        length = 2;
    else if (lead >= 0xE0 && lead < 0xF0)
        length = 3;
    else if (lead >= 0xF0 && lead < 0xF8)
        length = 4;
    else
        return {Utf8Status::kInvalid, 1, 0};

    bool valid = lead >= 0xC2 && lead <= 0xF4;
    uint32 codePoint = lead & (0x7F >> length);
    for (int32 i = 1; i < length; i++) {
        if (i == n)
            return {valid ? Utf8Status::kTruncated : Utf8Status::kInvalid, i, 0};
        if ((s[i] & 0xC0) != 0x80)
            return {Utf8Status::kInvalid, i, 0};
        if (i == 1 && !second_byte_ok(lead, s[1]))
            valid = false;
        codePoint = (codePoint << 6) | (s[i] & 0x3F);
    }
    return {valid ? Utf8Status::kValid : Utf8Status::kInvalid, length, codePoint};
}

// #pragma mark - single-byte sets

struct SingleByteTable {
    bool ready = false;
    // The UTF-8 form of each byte; a length of 0 marks a byte the set leaves
    // undefined.
    // Eight bytes an entry: one aligned load and a shift to index.
    struct alignas(8) {
        uint8 bytes[4]; // the fourth is padding for four-byte stores
        uint8 length;
    } forward[256];
    // The way back: ASCII directly, everything else by binary search.
    int16 ascii[128];
    struct Reverse {
        uint32 codePoint;
        uint8 byte;
        bool operator<(const Reverse& other) const { return codePoint < other.codePoint; }
    } reverse[256];
    int32 reverseCount = 0;
    // Bytes below 0x80 are ASCII, as in every set we use but checked.
    bool asciiSame = false;
    // The longest run of high bytes whose characters follow each other and
    // take two bytes in UTF-8 (a set's main alphabet: Cyrillic in CP1251,
    // Latin-1 in ISO-8859-1): such text converts sixteen bytes at a time
    // when the processor can shuffle bytes.
    bool runUsable = false;
    uint8 runFirst = 0;
    uint8 runLast = 0;
    uint16 runOffset = 0; // code point minus byte, within the run
};

void find_two_byte_run(SingleByteTable& table)
{
    // Code point minus byte for each high byte of two UTF-8 bytes; other
    // bytes get a value no code point gives, so they end every run.
    const int32 kNoRun = -0x10000;
    int32 offset[0x100];
    for (int32 byte = 0x80; byte < 0x100; byte++) {
        const auto& entry = table.forward[byte];
        offset[byte] =
            entry.length == 2 ? int32(decode_utf8(entry.bytes, 2).codePoint) - byte : kNoRun;
    }
    int32 bestFirst = 0;
    int32 bestLength = 0;
    for (int32 first = 0x80; first < 0x100;) {
        int32 last = first;
        while (last + 1 < 0x100 && offset[last + 1] == offset[first])
            last++;
        if (offset[first] != kNoRun && last - first + 1 > bestLength) {
            bestFirst = first;
            bestLength = last - first + 1;
        }
        first = last + 1;
    }
    // A short run is not worth the blocks that stop at a byte outside it.
    if (bestLength < 16)
        return;
    table.runFirst = uint8(bestFirst);
    table.runLast = uint8(bestFirst + bestLength - 1);
    table.runOffset = uint16(offset[bestFirst]);
#ifdef HAVE_SSSE3_PATH
    table.runUsable = table.asciiSame && __builtin_cpu_supports("ssse3");
#endif
}

void build_table(SingleByteTable& table, const char* iconvName)
{
    iconv_t cd = iconv_open("UTF-8", iconvName);
    if (cd == kNoConverter)
        return;
    std::fill(std::begin(table.ascii), std::end(table.ascii), int16(-1));
    for (int32 byte = 0; byte < 256; byte++) {
        char in = char(byte);
        uint8 out[8];
        char* inPos = &in;
        char* outPos = reinterpret_cast<char*>(out);
        size_t inLeft = 1;
        size_t outLeft = sizeof(out);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        auto& entry = table.forward[byte];
        entry = {};
        if (iconv(cd, &inPos, &inLeft, &outPos, &outLeft) == kIconvFailed)
            continue;
        const int32 length = int32(sizeof(out) - outLeft);
        // Only one BMP character per byte fits the table; no set we use
        // has anything else.
        if (length < 1 || length > 3)
            continue;
        const Utf8Char c = decode_utf8(out, length);
        if (c.status != Utf8Status::kValid || c.length != length)
            continue;
        entry.length = uint8(length);
        memcpy(entry.bytes, out, size_t(length));
        if (c.codePoint < 0x80) {
            if (table.ascii[c.codePoint] < 0)
                table.ascii[c.codePoint] = int16(byte);
        } else {
            table.reverse[table.reverseCount++] = {c.codePoint, uint8(byte)};
        }
    }
    iconv_close(cd);
    table.asciiSame = true;
    for (int32 byte = 0; byte < 0x80; byte++)
        if (table.forward[byte].length != 1 || table.forward[byte].bytes[0] != byte)
            table.asciiSame = false;
    // Stable, so that if a set maps two bytes to one character the lower
    // byte wins, as it does for ASCII.
    std::stable_sort(table.reverse, table.reverse + table.reverseCount);
    find_two_byte_run(table);
    table.ready = true;
}

// Built on first use and never changed after, so threads share them freely.
const SingleByteTable* single_byte_table(uint32 code)
{
    static SingleByteTable tables[kEncodingCount];
    static std::once_flag built[kEncodingCount];
    // call_once costs more than the conversion of a short line; once built,
    // a table is known so from a flag.
    static std::atomic<bool> done[kEncodingCount];
    if (!done[code].load(std::memory_order_acquire)) {
        std::call_once(built[code], build_table, std::ref(tables[code]),
                       kEncodings[code].iconvName);
        done[code].store(true, std::memory_order_release);
    }
    return tables[code].ready ? &tables[code] : nullptr;
}

bool eight_ascii(const uint8* p)
{
    uint64_t word;
    memcpy(&word, p, 8);
    return (word & 0x8080808080808080ull) == 0;
}

// One character by the table, stored as a four-byte word of which the
// character's length counts.
inline void table_char(const SingleByteTable& table, uint8 byte, uint8 substitute, uint8* dst,
                       int32& out)
{
    const auto& entry = table.forward[byte];
    uint32 word;
    memcpy(&word, entry.bytes, 4);
    int32 length = entry.length;
    if (__builtin_expect(length == 0, 0)) { // a byte with no character
        word = substitute;
        length = 1;
    }
    memcpy(dst + out, &word, 4);
    out += length;
}

#ifdef HAVE_SSSE3_PATH
// For each pattern of which of eight 16-bit lanes hold an ASCII byte (bit
// set) or a two-byte character, the shuffle that packs the bytes kept: the
// low byte of an ASCII lane, both bytes of the others; and how many bytes
// that keeps (from a table: not every processor that shuffles counts bits).
struct PackShuffles {
    alignas(16) uint8 index[256][16];
    uint8 kept[256];
    constexpr PackShuffles() : index(), kept()
    {
        for (int32 mask = 0; mask < 256; mask++) {
            int32 at = 0;
            for (int32 lane = 0; lane < 8; lane++) {
                index[mask][at++] = uint8(2 * lane);
                if ((mask >> lane & 1) == 0)
                    index[mask][at++] = uint8(2 * lane + 1);
            }
            kept[mask] = uint8(at);
            while (at < 16)
                index[mask][at++] = 0x80;
        }
    }
};
constexpr PackShuffles kPackShuffles;

// Eight characters, widened to 16-bit lanes, to UTF-8 at dst; returns the
// bytes that count (sixteen are stored).
__attribute__((target("ssse3"))) inline int32 pack_eight(__m128i lanes, uint32 asciiMask,
                                                         __m128i offset, uint8* dst)
{
    const __m128i twoByte = _mm_cmpgt_epi16(lanes, _mm_set1_epi16(0x7F));
    const __m128i codePoint = _mm_add_epi16(lanes, _mm_and_si128(twoByte, offset));
    // Under U+0800: the lead byte is 0xC0 and the top five bits, the second
    // 0x80 and the low six; in memory the lead comes first.
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(codePoint, 6), _mm_set1_epi16(0xC0));
    const __m128i trail =
        _mm_or_si128(_mm_and_si128(codePoint, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
    const __m128i pair = _mm_or_si128(lead, _mm_slli_epi16(trail, 8));
    const __m128i merged =
        _mm_or_si128(_mm_and_si128(twoByte, pair), _mm_andnot_si128(twoByte, lanes));
    const __m128i shuffle =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kPackShuffles.index[asciiMask]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_shuffle_epi8(merged, shuffle));
    return kPackShuffles.kept[asciiMask];
}

// Sixteen bytes, each ASCII or in the table's run (`asciiMask` marks the
// ASCII ones), to UTF-8 at dst; returns the bytes that count. Stores up to
// 16 bytes past those.
__attribute__((target("ssse3"))) inline int32 pack_sixteen(__m128i block, uint32 asciiMask,
                                                           __m128i offset, uint8* dst)
{
    if (asciiMask == 0xFFFF) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), block);
        return 16;
    }
    const __m128i zero = _mm_setzero_si128();
    const int32 low = pack_eight(_mm_unpacklo_epi8(block, zero), asciiMask & 0xFF, offset, dst);
    return low + pack_eight(_mm_unpackhi_epi8(block, zero), asciiMask >> 8, offset, dst + low);
}

// Text of ASCII and the table's run, sixteen bytes at a time; a byte
// outside them goes by the table. Advances in and out as far as it gets:
// to the end, or to where the caller's exact loop must go on.
__attribute__((target("ssse3"))) void run_to_utf8(const SingleByteTable& table, const uint8* src,
                                                  int32 srcLen, uint8* dst, int32 dstLen,
                                                  uint8 substitute, int32& inOut, int32& outOut)
{
    int32 in = inOut;
    int32 out = outOut;
    // Signed compares: high bytes are the negative ones.
    const __m128i first = _mm_set1_epi8(int8(table.runFirst));
    const __m128i last = _mm_set1_epi8(int8(table.runLast));
    const __m128i offset = _mm_set1_epi16(int16(table.runOffset));
    // Outside the run or ASCII: a mask of such bytes; ASCII: its mask.
    auto classify = [&](__m128i block, uint32& asciiMask) {
        const __m128i ascii = _mm_cmpgt_epi8(block, _mm_set1_epi8(-1));
        const __m128i outside =
            _mm_or_si128(_mm_cmplt_epi8(block, first), _mm_cmpgt_epi8(block, last));
        asciiMask = uint32(_mm_movemask_epi8(ascii));
        return uint32(_mm_movemask_epi8(_mm_andnot_si128(ascii, outside)));
    };
    // A step keeps at least what it reads and stores at most 16 bytes past
    // that (a byte by the table: 3 past its 1 to 3). The loop leaves at
    // least 8 bytes of input and room for what they give, which overwrite
    // those when the rest goes by the table, and the tail below writes
    // whole bytes only.
    while (srcLen - in >= 24 && dstLen - out >= 64) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + in));
        uint32 asciiMask;
        const uint32 outside = classify(block, asciiMask);
        if (outside != 0) {
            // Up to and including the first byte outside, by the table.
            const int32 stop = in + __builtin_ctz(outside) + 1;
            while (in < stop)
                table_char(table, src[in++], substitute, dst, out);
            continue;
        }
        out += pack_sixteen(block, asciiMask, offset, dst + out);
        in += 16;
    }
    // The last bytes (fewer than 24 when room did not stop the loop), as
    // blocks padded with NULs, converted aside and copied exactly.
    const int32 left = srcLen - in;
    if (left > 0 && left <= 32 && srcLen >= 16) {
        // Loaded so that the block ends where the input does, then shifted
        // down: read from a buffer, the block would wait for the bytes just
        // written there.
        alignas(16) static constexpr uint8 kShift[32] = {
            0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,
            11,   12,   13,   14,   15,   0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
            0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
        const int32 partial = (left - 1) % 16 + 1;
        const __m128i end = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + srcLen - 16));
        const __m128i shift =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShift + 16 - partial));
        __m128i blocks[2];
        int32 count = 0;
        if (left > 16)
            blocks[count++] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + in));
        blocks[count++] = _mm_shuffle_epi8(end, shift);
        uint8 converted[64 + 16];
        int32 length = 0;
        for (int32 i = 0; i < count; i++) {
            uint32 asciiMask;
            if (classify(blocks[i], asciiMask) != 0) {
                length = -1;
                break;
            }
            length += pack_sixteen(blocks[i], asciiMask, offset, converted + length);
        }
        // Each NUL of the padding gave one byte, at the end.
        const int32 padding = 16 - partial;
        if (length >= 0 && length - padding <= dstLen - out) {
            memcpy(dst + out, converted, size_t(length - padding));
            out += length - padding;
            in = srcLen;
        }
    }
    inOut = in;
    outOut = out;
}
#endif

void table_to_utf8(const SingleByteTable& table, const uint8* src, int32 srcLen, uint8* dst,
                   int32 dstLen, uint8 substitute, int32& consumed, int32& written)
{
    int32 in = 0;
    int32 out = 0;
#ifdef HAVE_SSSE3_PATH
    if (table.runUsable) {
        run_to_utf8(table, src, srcLen, dst, dstLen, substitute, in, out);
        if (in == srcLen) {
            consumed = in;
            written = out;
            return;
        }
    }
#endif
    // Fast loop: stores whole blocks and four bytes per character, keeping
    // as many as the text has, with no branch on a character's length.
    // What lands past the end kept is overwritten by what follows: the loop
    // leaves enough input (each byte gives at least one byte) and room for
    // it, so nothing stays written past the end reported.
    while (srcLen - in >= 8 && dstLen - out >= 48) {
        // Chat is mostly ASCII: copy the ASCII a block starts with at once.
        if (table.asciiSame && src[in] < 0x80 && srcLen - in >= 16) {
#ifdef __SSE2__
            // Whole blocks of ASCII, the usual case, in a loop of its own:
            // each step's address does not wait on the last step's load.
            __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + in));
            uint32 high = uint32(_mm_movemask_epi8(block));
            while (high == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + out), block);
                in += 16;
                out += 16;
                if (srcLen - in < 16 || dstLen - out < 48)
                    break;
                block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + in));
                high = uint32(_mm_movemask_epi8(block));
            }
            if (high == 0)
                continue;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + out), block);
            const int32 ascii = __builtin_ctz(high);
#else
            uint64_t word;
            memcpy(&word, src + in, 8);
            memcpy(dst + out, &word, 8);
            const uint64_t high = word & 0x8080808080808080ull;
            const int32 ascii = high == 0 ? 8 : __builtin_ctzll(high) / 8;
#endif
            in += ascii;
            out += ascii;
            continue;
        }
        // Then character by character, ASCII too (the table has it), until
        // a stretch of ASCII comes: words and the blanks between them in
        // one loop, four characters a turn (the loop's bounds leave room and
        // input for four).
        auto one = [&] { table_char(table, src[in++], substitute, dst, out); };
        do {
            one();
            one();
            one();
            one();
        } while (srcLen - in >= 8 && dstLen - out >= 48 &&
                 !(table.asciiSame && srcLen - in >= 16 && eight_ascii(src + in)));
    }
#ifdef __SSE2__
    // The last few bytes, when all ASCII, at once (looking at them through
    // the last sixteen bytes of the input).
    if (table.asciiSame && srcLen >= 16 && in < srcLen && srcLen - in < 16 &&
        dstLen - out >= srcLen - in) {
        const int32 left = srcLen - in;
        __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + srcLen - 16));
        if ((uint32(_mm_movemask_epi8(last)) >> (16 - left)) == 0) {
            memcpy(dst + out, src + in, size_t(left));
            in += left;
            out += left;
        }
    }
#endif
    // The end, one character at a time within bounds.
    while (in < srcLen) {
        // ASCII eight bytes at a time, exactly.
        uint64_t word;
        if (table.asciiSame && srcLen - in >= 8 && dstLen - out >= 8 &&
            (memcpy(&word, src + in, 8), (word & 0x8080808080808080ull) == 0)) {
            memcpy(dst + out, &word, 8);
            in += 8;
            out += 8;
            continue;
        }
        const auto& entry = table.forward[src[in]];
        if (entry.length <= 1) {
            if (out == dstLen)
                break;
            dst[out++] = entry.length == 1 ? entry.bytes[0] : substitute;
        } else {
            if (dstLen - out < entry.length)
                break;
            memcpy(dst + out, entry.bytes, entry.length);
            out += entry.length;
        }
        in++;
    }
    consumed = in;
    written = out;
}

int32 table_lookup(const SingleByteTable& table, uint32 codePoint)
{
    if (codePoint < 0x80)
        return table.ascii[codePoint];
    const SingleByteTable::Reverse key = {codePoint, 0};
    const auto* end = table.reverse + table.reverseCount;
    const auto* found = std::lower_bound(table.reverse, end, key);
    return found != end && found->codePoint == codePoint ? found->byte : -1;
}

void table_from_utf8(const SingleByteTable& table, const uint8* src, int32 srcLen, uint8* dst,
                     int32 dstLen, uint8 substitute, int32& consumed, int32& written)
{
    int32 in = 0;
    int32 out = 0;
    while (in < srcLen && out < dstLen) {
        // Most of any line is ASCII; spare it the full decoder.
        if (src[in] < 0x80 && table.ascii[src[in]] >= 0) {
            dst[out++] = uint8(table.ascii[src[in++]]);
            continue;
        }
        const Utf8Char c = decode_utf8(src + in, srcLen - in);
        if (c.status == Utf8Status::kTruncated)
            break;
        const int32 byte =
            c.status == Utf8Status::kValid ? table_lookup(table, c.codePoint) : int32(-1);
        dst[out++] = byte >= 0 ? uint8(byte) : substitute;
        in += c.length;
    }
    consumed = in;
    written = out;
}

// #pragma mark - multibyte sets

// An iconv_t holds conversion state and must not be used by two threads at
// once; rather than lock, each thread opens its own on first use and closes
// them when it ends.
class ConverterCache
{
public:
    ConverterCache()
    {
        for (auto& pair : fConverters)
            pair[0] = pair[1] = kNoConverter;
    }

    ~ConverterCache()
    {
        for (auto& pair : fConverters) {
            for (iconv_t cd : pair) {
                if (cd != kNoConverter)
                    iconv_close(cd);
            }
        }
    }

    ConverterCache(const ConverterCache&) = delete;
    ConverterCache& operator=(const ConverterCache&) = delete;

    iconv_t Get(uint32 code, bool toUtf8)
    {
        iconv_t& cd = fConverters[code][toUtf8 ? 1 : 0];
        if (cd == kNoConverter) {
            const char* name = kEncodings[code].iconvName;
            cd = toUtf8 ? iconv_open("UTF-8", name) : iconv_open(name, "UTF-8");
        }
        if (cd != kNoConverter)
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return cd;
    }

private:
    iconv_t fConverters[kEncodingCount][2];
};

iconv_t converter(uint32 code, bool toUtf8)
{
    thread_local ConverterCache cache;
    return cache.Get(code, toUtf8);
}

bool is_trail_byte(Kind kind, uint8 byte)
{
    if (kind == Kind::kShiftJIS)
        return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
    return byte >= 0xA1 && byte <= 0xFE;
}

// How many bytes make up the character iconv refused at s, with n > 0 bytes
// left. A lead byte takes its trail bytes with it, up to and including the
// first byte that cannot be a trail byte, so that a broken pair becomes one
// substitute and the next character starts cleanly after it.
int32 bad_char_length(Kind kind, const uint8* s, int32 n)
{
    const uint8 lead = s[0];
    int32 trailCount = 0;
    switch (kind) {
    case Kind::kShiftJIS:
        trailCount = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
        break;
    case Kind::kEUCJP:
        // 0x8E brings a half-width katakana, 0x8F a JIS X 0212 pair.
        trailCount = lead == 0x8F ? 2 : (lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE));
        break;
    case Kind::kEUCKR:
        trailCount = lead >= 0xA1 && lead <= 0xFE;
        break;
    default:
        break;
    }
    int32 length = 1;
    while (trailCount-- > 0 && length < n) {
        if (!is_trail_byte(kind, s[length++]))
            break;
    }
    return length;
}

struct IconvRun {
    char* in;
    size_t inLeft;
    char* out;
    size_t outLeft;

    // Converts until done or stopped; returns 0 or the errno iconv gave.
    // iconv may write part of a character it then finds no room for, past
    // what it reports: it writes into a scratch buffer here, and only what
    // it reports reaches the caller's.
    int Convert(iconv_t cd)
    {
        for (;;) {
            char scratch[256];
            char* to = scratch;
            const size_t room = std::min(outLeft, sizeof(scratch));
            size_t toLeft = room;
            const bool done = iconv(cd, &in, &inLeft, &to, &toLeft) != kIconvFailed;
            const int error = done ? 0 : errno;
            const size_t produced = room - toLeft;
            memcpy(out, scratch, produced);
            out += produced;
            outLeft -= produced;
            // Out of scratch but not of the caller's room: go on.
            if (error == E2BIG && room < outLeft + produced)
                continue;
            return error;
        }
    }

    bool PutSubstitute(char substitute)
    {
        if (outLeft == 0)
            return false;
        *out++ = substitute;
        outLeft--;
        return true;
    }

    void Skip(size_t count)
    {
        in += count;
        inLeft -= count;
    }
};

void iconv_to_utf8(iconv_t cd, Kind kind, const uint8* src, int32 srcLen, uint8* dst, int32 dstLen,
                   char substitute, int32& consumed, int32& written)
{
    // iconv takes non-const input for historical reasons but never writes it.
    char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
    char* out = reinterpret_cast<char*>(dst);
    IconvRun run = {in, size_t(srcLen), out, size_t(dstLen)};
    while (run.inLeft > 0) {
        const int error = run.Convert(cd);
        // E2BIG: the next character does not fit. EINVAL: the input ends
        // in the middle of a character, which stays for the next call.
        if (error != EILSEQ)
            break;
        if (!run.PutSubstitute(substitute))
            break;
        run.Skip(size_t(
            bad_char_length(kind, reinterpret_cast<const uint8*>(run.in), int32(run.inLeft))));
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    consumed = int32(run.in - in);
    written = int32(run.out - out);
}

// UTF-8 is checked here rather than by iconv, which would report a bad
// sequence without saying how long it is; iconv only ever sees valid runs.
void iconv_from_utf8(iconv_t cd, const uint8* src, int32 srcLen, uint8* dst, int32 dstLen,
                     char substitute, int32& consumed, int32& written)
{
    char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
    char* out = reinterpret_cast<char*>(dst);
    IconvRun run = {in, 0, out, size_t(dstLen)};
    bool stopped = false;
    while (!stopped && run.in - in < srcLen) {
        const int32 start = int32(run.in - in);
        int32 end = start;
        Utf8Char c = {Utf8Status::kValid, 0, 0};
        while (end < srcLen) {
            if (src[end] < 0x80) {
                end++;
                continue;
            }
            c = decode_utf8(src + end, srcLen - end);
            if (c.status != Utf8Status::kValid)
                break;
            end += c.length;
        }

        run.inLeft = size_t(end - start);
        while (run.inLeft > 0) {
            const int error = run.Convert(cd);
            if (error == 0)
                break;
            // EILSEQ: a character the target set lacks. Anything else
            // (E2BIG) means there is no room for it.
            if (error != EILSEQ || !run.PutSubstitute(substitute)) {
                stopped = true;
                break;
            }
            run.Skip(size_t(
                decode_utf8(reinterpret_cast<const uint8*>(run.in), int32(run.inLeft)).length));
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        if (stopped || end == srcLen)
            break;

        // The bad or truncated sequence that ended the valid run.
        if (c.status == Utf8Status::kTruncated || !run.PutSubstitute(substitute))
            break;
        run.Skip(size_t(c.length));
    }
    consumed = int32(run.in - in);
    written = int32(run.out - out);
}

// The length of the valid UTF-8 character at `in` (at most `left` bytes
// there): 1 to 4; 0 when the bytes there cannot begin one (a stray
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF); -1
// when they begin one that `left` cuts short.
int32 utf8_char_length(const uint8* in, int32 left)
{
    const uint8 lead = in[0];
    if (lead < 0x80)
        return 1;
    int32 length;
    uint8 low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    for (int32 i = 1; i < length; i++) {
        if (i >= left)
            return -1;
        const uint8 byte = in[i];
        if (i == 1 ? (byte < low || byte > high) : (byte < 0x80 || byte > 0xBF))
            return 0;
    }
    return length;
}

// UTF-8 to UTF-8: valid characters as they are, each byte that begins no
// valid character as U+FFFD.
void utf8_to_utf8(const uint8* in, int32 inLength, uint8* out, int32 outLength, int32& consumed,
                  int32& written)
{
    static const uint8 kReplacement[3] = {0xEF, 0xBF, 0xBD};
    while (consumed < inLength) {
        const int32 length = utf8_char_length(in + consumed, inLength - consumed);
        if (length < 0)
            break; // cut short: left for the next call
        const uint8* from = length == 0 ? kReplacement : in + consumed;
        const int32 bytes = length == 0 ? 3 : length;
        if (written + bytes > outLength)
            break;
        memcpy(out + written, from, size_t(bytes));
        written += bytes;
        consumed += length == 0 ? 1 : length;
    }
}

status_t convert(bool toUtf8, uint32 code, const char* src, int32* srcLen, char* dst, int32* dstLen,
                 int32* state, char substitute)
{
    if (state != nullptr)
        *state = 0;
    if (code == B_UTF8_CONVERSION && src != nullptr && srcLen != nullptr && dst != nullptr &&
        dstLen != nullptr && *srcLen >= 0 && *dstLen >= 0) {
        int32 consumed = 0, written = 0;
        utf8_to_utf8(reinterpret_cast<const uint8*>(src), *srcLen, reinterpret_cast<uint8*>(dst),
                     *dstLen, consumed, written);
        *srcLen = consumed;
        *dstLen = written;
        return B_OK;
    }
    if (src == nullptr || srcLen == nullptr || dst == nullptr || dstLen == nullptr || *srcLen < 0 ||
        *dstLen < 0 || code >= kEncodingCount || kEncodings[code].kind == Kind::kNone) {
        if (srcLen != nullptr)
            *srcLen = 0;
        if (dstLen != nullptr)
            *dstLen = 0;
        return B_BAD_VALUE;
    }

    const uint8* in = reinterpret_cast<const uint8*>(src);
    uint8* out = reinterpret_cast<uint8*>(dst);
    int32 consumed = 0;
    int32 written = 0;
    status_t status = B_OK;
    const Kind kind = kEncodings[code].kind;
    if (kind == Kind::kSingleByte) {
        const SingleByteTable* table = single_byte_table(code);
        if (table == nullptr)
            status = B_ERROR;
        else if (toUtf8)
            table_to_utf8(*table, in, *srcLen, out, *dstLen, uint8(substitute), consumed, written);
        else
            table_from_utf8(*table, in, *srcLen, out, *dstLen, uint8(substitute), consumed,
                            written);
    } else {
        iconv_t cd = converter(code, toUtf8);
        if (cd == kNoConverter)
            status = B_ERROR;
        else if (toUtf8)
            iconv_to_utf8(cd, kind, in, *srcLen, out, *dstLen, substitute, consumed, written);
        else
            iconv_from_utf8(cd, in, *srcLen, out, *dstLen, substitute, consumed, written);
    }
    *srcLen = consumed;
    *dstLen = written;
    return status;
}

} // namespace

status_t convert_to_utf8(uint32 srcEncoding, const char* src, int32* srcLen, char* dst,
                         int32* dstLen, int32* state, char substitute)
{
    return convert(true, srcEncoding, src, srcLen, dst, dstLen, state, substitute);
}

status_t convert_from_utf8(uint32 dstEncoding, const char* src, int32* srcLen, char* dst,
                           int32* dstLen, int32* state, char substitute)
{
    return convert(false, dstEncoding, src, srcLen, dst, dstLen, state, substitute);
}

bool is_valid_utf8(const char* text, int32 length)
{
    if (text == nullptr || length < 0)
        return false;
    const uint8* in = reinterpret_cast<const uint8*>(text);
    for (int32 at = 0; at < length;) {
        if (in[at] < 0x80) {
            at++;
            continue;
        }
        const int32 bytes = utf8_char_length(in + at, length - at);
        if (bytes <= 0)
            return false;
        at += bytes;
    }
    return true;
}

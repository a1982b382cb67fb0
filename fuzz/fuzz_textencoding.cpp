// Feeds arbitrary bytes through both directions of every encoding we handle
// and checks what callers rely on: lengths stay within bounds, nothing is
// written past the reported end, converting in
// small pieces gives the same text as converting in one go, text converted to
// UTF-8 is valid UTF-8, and single-byte sets give back every character or the
// substitute.
//
// Input: byte 0 picks the encoding, byte 1 the direction (bit 0) and the
// substitute (bit 1), byte 2 the output capacity; the rest is converted.

#include "UTF8.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

struct Code {
    uint32 code;
    bool singleByte;
};

// The first ten are the ones the client offers; the rest come along for free.
const Code kCodes[] = {
    {B_ISO1_CONVERSION, true},       {B_ISO2_CONVERSION, true},
    {B_ISO5_CONVERSION, true},       {B_ISO7_CONVERSION, true},
    {B_MAC_ROMAN_CONVERSION, true},  {B_SJIS_CONVERSION, false},
    {B_EUC_CONVERSION, false},       {B_MS_WINDOWS_CONVERSION, true},
    {B_KOI8R_CONVERSION, true},      {B_MS_WINDOWS_1251_CONVERSION, true},
    {B_ISO3_CONVERSION, true},       {B_ISO4_CONVERSION, true},
    {B_ISO6_CONVERSION, true},       {B_ISO8_CONVERSION, true},
    {B_ISO9_CONVERSION, true},       {B_ISO10_CONVERSION, true},
    {B_MS_DOS_866_CONVERSION, true}, {B_MS_DOS_CONVERSION, true},
    {B_EUC_KR_CONVERSION, false},
};
constexpr size_t kCodeCount = sizeof(kCodes) / sizeof(kCodes[0]);

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);          \
            abort();                                                                               \
        }                                                                                          \
    } while (false)

using Converter = status_t (*)(uint32, const char*, int32*, char*, int32*, int32*, char);

// Decodes strict UTF-8 into code points; false if it is not valid.
bool decode(const std::string& text, std::vector<uint32>* codePoints)
{
    const auto* s = reinterpret_cast<const uint8*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        uint32 c = s[i];
        size_t length = c < 0x80   ? 1
                        : c < 0xC2 ? 0
                        : c < 0xE0 ? 2
                        : c < 0xF0 ? 3
                        : c < 0xF5 ? 4
                                   : 0;
        if (length == 0 || i + length > n)
            return false;
        if (length > 1)
            c &= 0x3F >> (length - 1);
        for (size_t k = 1; k < length; k++) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        const uint32 minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < minimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (codePoints != nullptr)
            codePoints->push_back(c);
        i += length;
    }
    return true;
}

// Fills an output buffer before a conversion: nothing past what the call
// reports written may change, though the buffer is bigger.
const char kGuard = 'U';

bool untouched(const char* buffer, int32 written, int32 capacity)
{
    for (int32 i = written; i < capacity; i++)
        if (buffer[i] != kGuard)
            return false;
    return true;
}

// Converts in one call with room to spare.
std::string convert_all(Converter convert, uint32 code, const std::string& in, char substitute,
                        int32* consumed)
{
    const int32 capacity = int32(in.size()) * 4 + 16;
    std::string out(size_t(capacity), kGuard);
    int32 srcLen = int32(in.size());
    int32 dstLen = capacity;
    CHECK(convert(code, in.data(), &srcLen, out.data(), &dstLen, nullptr, substitute) == B_OK);
    CHECK(srcLen >= 0 && srcLen <= int32(in.size()));
    CHECK(dstLen >= 0 && dstLen <= capacity);
    CHECK(untouched(out.data(), dstLen, capacity));
    // With ample room, only a character cut off at the end may be left.
    CHECK(int32(in.size()) - srcLen < 4);
    out.resize(size_t(dstLen));
    if (consumed != nullptr)
        *consumed = srcLen;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3 || size > 1 << 16)
        return 0;
    const Code code = kCodes[data[0] % kCodeCount];
    const bool toUtf8 = (data[1] & 1) != 0;
    const char substitute = (data[1] & 2) != 0 ? '?' : B_SUBSTITUTE;
    const int32 capacity = data[2] < 128 ? data[2] : (data[2] - 127) * 32;
    const std::string input(reinterpret_cast<const char*>(data) + 3, size - 3);
    const int32 length = int32(input.size());
    const Converter convert = toUtf8 ? convert_to_utf8 : convert_from_utf8;
    const Converter back = toUtf8 ? convert_from_utf8 : convert_to_utf8;

    int32 wholeConsumed = 0;
    const std::string whole = convert_all(convert, code.code, input, substitute, &wholeConsumed);

    // The same input in pieces no bigger than the capacity. The buffer is
    // exactly that big, so a write past it trips the address sanitizer.
    std::string pieces;
    int32 position = 0;
    while (position < length) {
        std::unique_ptr<char[]> buffer(new char[size_t(capacity)]);
        memset(buffer.get(), kGuard, size_t(capacity));
        int32 srcLen = length - position;
        int32 dstLen = capacity;
        int32 state = 7;
        CHECK(convert(code.code, input.data() + position, &srcLen, buffer.get(), &dstLen, &state,
                      substitute) == B_OK);
        CHECK(state == 0);
        CHECK(srcLen >= 0 && srcLen <= length - position);
        CHECK(dstLen >= 0 && dstLen <= capacity);
        CHECK(untouched(buffer.get(), dstLen, capacity));
        pieces.append(buffer.get(), size_t(dstLen));
        position += srcLen;
        if (srcLen == 0) {
            // Room for any one character means only a cut-off tail stops it.
            if (capacity >= 8)
                CHECK(length - position < 4);
            break;
        }
    }
    CHECK(pieces.size() <= whole.size());
    CHECK(whole.compare(0, pieces.size(), pieces) == 0);
    if (capacity >= 8)
        CHECK(pieces == whole && position == wholeConsumed);

    // The substitute is ASCII, so the result stays valid UTF-8.
    if (toUtf8)
        CHECK(decode(whole, nullptr));

    std::vector<uint32> inputCodePoints;
    const bool validInput = !toUtf8 && decode(input, &inputCodePoints);
    if (validInput)
        CHECK(wholeConsumed == length);
    if (!code.singleByte)
        return 0;

    // Single-byte sets: one byte per character, and each comes back as
    // itself or as the substitute.
    if (toUtf8) {
        CHECK(wholeConsumed == length);
        const std::string again = convert_all(back, code.code, whole, substitute, nullptr);
        CHECK(again.size() == input.size());
        for (size_t i = 0; i < input.size(); i++)
            CHECK(again[i] == input[i] || again[i] == substitute);
    } else if (validInput) {
        CHECK(whole.size() == inputCodePoints.size());
        std::vector<uint32> again;
        CHECK(decode(convert_all(back, code.code, whole, substitute, nullptr), &again));
        CHECK(again.size() == inputCodePoints.size());
        for (size_t i = 0; i < again.size(); i++)
            CHECK(again[i] == inputCodePoints[i] || again[i] == uint32(uint8(substitute)));
    }
    return 0;
}

#include "UTF8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{

struct Result {
    status_t status;
    int32 consumed;
    std::string out;
};

constexpr char kGuard = '\x55';

// Runs one conversion into a buffer of exactly `capacity` bytes followed by a
// guard region, and fails if anything past what it reports written changed.
Result convert(bool toUtf8, uint32 code, const std::string& in, int32 capacity = 256,
               char substitute = B_SUBSTITUTE)
{
    std::vector<char> buffer(size_t(capacity) + 16, kGuard);
    int32 srcLen = int32(in.size());
    int32 dstLen = capacity;
    int32 state = 0;
    auto fn = toUtf8 ? convert_to_utf8 : convert_from_utf8;
    const status_t status =
        fn(code, in.data(), &srcLen, buffer.data(), &dstLen, &state, substitute);
    EXPECT_EQ(state, 0);
    EXPECT_LE(srcLen, int32(in.size()));
    EXPECT_LE(dstLen, capacity);
    for (size_t i = size_t(std::max(dstLen, 0)); i < buffer.size(); i++)
        EXPECT_EQ(buffer[i], kGuard) << "byte " << i << " written past the reported end";
    return {status, srcLen, std::string(buffer.data(), size_t(std::max(dstLen, 0)))};
}

Result to_utf8(uint32 code, const std::string& in, int32 capacity = 256)
{
    return convert(true, code, in, capacity);
}

Result from_utf8(uint32 code, const std::string& in, int32 capacity = 256)
{
    return convert(false, code, in, capacity);
}

struct Sample {
    uint32 code;
    std::string encoded;
    std::string utf8;
};

const Sample kSamples[] = {
    {B_MS_WINDOWS_CONVERSION, "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
    {B_MS_WINDOWS_1251_CONVERSION, "\xC0", "\xD0\x90"},
    {B_KOI8R_CONVERSION, "\xF0\xD2\xC9\xD7\xC5\xD4",
     "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
    {B_ISO7_CONVERSION, "\xE1\xE2\xE3", "\xCE\xB1\xCE\xB2\xCE\xB3"},
    {B_MAC_ROMAN_CONVERSION, "\x8E\xA5", "\xC3\xA9\xE2\x80\xA2"},
    {B_ISO1_CONVERSION, "\xFF", "\xC3\xBF"},
    {B_ISO2_CONVERSION, "\xB1", "\xC4\x85"},
    {B_ISO5_CONVERSION, "\xB0", "\xD0\x90"},
    {B_SJIS_CONVERSION, "C:\x5C\x7E \x82\xA0\x87\x40", "C:\\~ \xE3\x81\x82\xE2\x91\xA0"},
    {B_SJIS_CONVERSION, "\x93\xFA\x96\x7B\xB1", "\xE6\x97\xA5\xE6\x9C\xAC\xEF\xBD\xB1"},
    {B_EUC_CONVERSION, "\xC6\xFC\xCB\xDC\x8E\xB1\x8F\xA2\xC3",
     "\xE6\x97\xA5\xE6\x9C\xAC\xEF\xBD\xB1\xC2\xA6"},
    {B_EUC_KR_CONVERSION, "\xB0\xA1", "\xEA\xB0\x80"},
};

TEST(TextEncodingTest, ConvertsKnownCharactersBothWays)
{
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(testing::Message() << "code " << sample.code);
        const Result decoded = to_utf8(sample.code, sample.encoded);
        EXPECT_EQ(decoded.status, B_OK);
        EXPECT_EQ(decoded.consumed, int32(sample.encoded.size()));
        EXPECT_EQ(decoded.out, sample.utf8);
        const Result encoded = from_utf8(sample.code, sample.utf8);
        EXPECT_EQ(encoded.consumed, int32(sample.utf8.size()));
        EXPECT_EQ(encoded.out, sample.encoded);
    }
}

TEST(TextEncodingTest, SubstitutesBadSourceBytesOnce)
{
    EXPECT_EQ(to_utf8(B_MS_WINDOWS_CONVERSION, "a\x81z").out, "a\x1Az");
    EXPECT_EQ(to_utf8(B_ISO7_CONVERSION, "\xAE").out, "\x1A");
    EXPECT_EQ(convert(true, B_MS_WINDOWS_CONVERSION, "\x81", 8, '?').out, "?");
    // A lead byte with a bad trail byte goes as a pair; so does an unmapped
    // pair. Lone bytes that cannot start a character go one at a time.
    EXPECT_EQ(to_utf8(B_SJIS_CONVERSION, "\x81\x20z").out, "\x1Az");
    EXPECT_EQ(to_utf8(B_SJIS_CONVERSION, "\x85\x40z").out, "\x1Az");
    EXPECT_EQ(to_utf8(B_SJIS_CONVERSION, "\x80\xA0\xFDz").out, "\x1A\x1A\x1Az");
    EXPECT_EQ(to_utf8(B_EUC_CONVERSION, "\xA4\x20z").out, "\x1Az");
    EXPECT_EQ(to_utf8(B_EUC_CONVERSION, "\x8F\xA2\x20z").out, "\x1Az");
    EXPECT_EQ(to_utf8(B_EUC_KR_CONVERSION, "\xB0\x41z").out, "\x1Az");
}

TEST(TextEncodingTest, SubstitutesWhatTheTargetLacksOrUtf8Breaks)
{
    const std::string bad[] = {
        "\xE2\x82\xAC",     // the euro sign, not in Latin-1
        "\xE6\x97\xA5",     // a CJK character
        "\xF0\x9F\x98\x80", // an emoji, in no target set
        "\x80",             // a stray continuation byte
        "\xC0\xAF",         // overlong '/'
        "\xE0\x80\xAF",     // overlong '/'
        "\xED\xA0\x80",     // a surrogate
        "\xF4\x90\x80\x80", // past U+10FFFF
        "\xE2\x82",         // cut short in the middle of the input
        "\xFF",
    };
    for (const std::string& middle : bad) {
        SCOPED_TRACE(testing::PrintToString(middle));
        const Result latin = from_utf8(B_ISO1_CONVERSION, "a" + middle + "z");
        EXPECT_EQ(latin.out, "a\x1Az");
        EXPECT_EQ(latin.consumed, int32(middle.size() + 2));
        // The multibyte path checks UTF-8 itself before iconv sees it.
        const std::string sjisMiddle = middle == "\xE6\x97\xA5" ? "\x93\xFA" : "\x1A";
        EXPECT_EQ(from_utf8(B_SJIS_CONVERSION, "a" + middle + "z").out, "a" + sjisMiddle + "z");
    }
}

TEST(TextEncodingTest, LeavesCharacterCutOffAtTheEnd)
{
    // Put in front of the next chunk, the held-back byte completes it.
    const std::string stream = "x\x82\xA0";
    const Result first = to_utf8(B_SJIS_CONVERSION, stream.substr(0, 2));
    EXPECT_EQ(first.consumed, 1);
    EXPECT_EQ(to_utf8(B_SJIS_CONVERSION, stream.substr(size_t(first.consumed))).out,
              "\xE3\x81\x82");
    EXPECT_EQ(to_utf8(B_EUC_CONVERSION, "ab\x8F\xA2").consumed, 2);
    for (uint32 code : {B_ISO1_CONVERSION, B_SJIS_CONVERSION}) {
        EXPECT_EQ(from_utf8(code, "ab\xE2\x82").consumed, 2);
        EXPECT_EQ(from_utf8(code, "ab\xF0\x9F\x98").consumed, 2);
        // A start that no further byte can make valid is not held back.
        EXPECT_EQ(from_utf8(code, "ab\xED\xA0").out, "ab\x1A");
    }
}

TEST(TextEncodingTest, StopsAtACharacterBoundaryWhenOutputIsFull)
{
    // 511 bytes of CP1251 grow to 1021 of UTF-8: the first 256 take 511
    // bytes, and the next needs two where one is left.
    const std::string cyrillic = "a" + std::string(510, '\xC0');
    const Result first = to_utf8(B_MS_WINDOWS_1251_CONVERSION, cyrillic, 512);
    EXPECT_EQ(first.status, B_OK);
    EXPECT_EQ(first.consumed, 256);
    EXPECT_EQ(first.out.size(), 511u);
    const Result rest = to_utf8(B_MS_WINDOWS_1251_CONVERSION, cyrillic.substr(256), 512);
    EXPECT_EQ(rest.consumed, 255);
    EXPECT_EQ(first.out + rest.out, to_utf8(B_MS_WINDOWS_1251_CONVERSION, cyrillic, 1024).out);

    // Through iconv: three bytes of UTF-8 per character each way.
    const Result sjis = to_utf8(B_SJIS_CONVERSION, "\x82\xA0\x82\xA0\x82\xA0", 8);
    EXPECT_EQ(sjis.consumed, 4);
    EXPECT_EQ(sjis.out.size(), 6u);
    const Result back = from_utf8(B_EUC_CONVERSION, "\xE3\x81\x82\xE3\x81\x82", 3);
    EXPECT_EQ(back.consumed, 3);
    EXPECT_EQ(back.out, "\xA4\xA2");
    // A substitute needs room too.
    EXPECT_EQ(to_utf8(B_SJIS_CONVERSION, "a\x80", 1).consumed, 1);
    EXPECT_EQ(from_utf8(B_ISO1_CONVERSION, "a\x80", 1).consumed, 1);
    EXPECT_EQ(to_utf8(B_ISO1_CONVERSION, "abc", 0).consumed, 0);

    // Mixed ASCII stretches (copied whole) and two-byte characters, at every
    // output size: always a prefix of the full result, cut between
    // characters, and the input consumed is exactly what was written.
    const std::string mixed = "PRIVMSG #chan :\xCF\xF0\xE8\xE2\xE5\xF2, world! \xE9 ok";
    const std::string full = to_utf8(B_MS_WINDOWS_1251_CONVERSION, mixed, 1024).out;
    for (int32 room = 0; room <= int32(full.size()); room++) {
        const Result part = to_utf8(B_MS_WINDOWS_1251_CONVERSION, mixed, room);
        ASSERT_LE(part.out.size(), size_t(room));
        ASSERT_EQ(part.out, full.substr(0, part.out.size())) << room;
        ASSERT_GE(part.out.size() + 1, size_t(room)) << "stopped early at " << room;
        ASSERT_EQ(
            to_utf8(B_MS_WINDOWS_1251_CONVERSION, mixed.substr(0, size_t(part.consumed)), 1024).out,
            part.out);
    }
}

TEST(TextEncodingTest, RejectsBadArguments)
{
    for (uint32 code : {13u, 15u, 21u, 0xFFFFFFFFu}) {
        const Result result = to_utf8(code, "abc");
        EXPECT_EQ(result.status, B_BAD_VALUE);
        EXPECT_EQ(result.consumed, 0);
        EXPECT_EQ(from_utf8(code, "abc").status, B_BAD_VALUE);
    }
    char dst[8];
    int32 srcLen = 3;
    int32 dstLen = 8;
    EXPECT_EQ(convert_to_utf8(B_ISO1_CONVERSION, nullptr, &srcLen, dst, &dstLen, nullptr),
              B_BAD_VALUE);
    EXPECT_EQ(srcLen, 0);
    EXPECT_EQ(dstLen, 0);
    srcLen = 3;
    EXPECT_EQ(convert_from_utf8(B_ISO1_CONVERSION, "abc", &srcLen, nullptr, &dstLen, nullptr),
              B_BAD_VALUE);
    EXPECT_EQ(convert_from_utf8(B_ISO1_CONVERSION, "abc", nullptr, dst, &dstLen, nullptr),
              B_BAD_VALUE);
    srcLen = -1;
    dstLen = 8;
    EXPECT_EQ(convert_to_utf8(B_ISO1_CONVERSION, "abc", &srcLen, dst, &dstLen, nullptr),
              B_BAD_VALUE);
    EXPECT_EQ(dstLen, 0);
}

TEST(TextEncodingTest, EveryDefinedByteOfASingleByteSetRoundTrips)
{
    // How many of the 256 bytes each set defines.
    const std::pair<uint32, int> sets[] = {
        {B_ISO1_CONVERSION, 256},      {B_ISO2_CONVERSION, 256},
        {B_ISO5_CONVERSION, 256},      {B_ISO7_CONVERSION, 253},
        {B_MAC_ROMAN_CONVERSION, 256}, {B_MS_WINDOWS_CONVERSION, 251},
        {B_KOI8R_CONVERSION, 256},     {B_MS_WINDOWS_1251_CONVERSION, 255},
    };
    for (const auto& [code, expected] : sets) {
        SCOPED_TRACE(testing::Message() << "code " << code);
        int defined = 0;
        for (int byte = 0; byte < 256; byte++) {
            const std::string original(1, char(byte));
            const std::string utf8 = to_utf8(code, original).out;
            if (utf8 == "\x1A" && byte != 0x1A)
                continue;
            defined++;
            EXPECT_EQ(from_utf8(code, utf8).out, original) << "byte " << byte;
        }
        EXPECT_EQ(defined, expected);
    }
}

TEST(TextEncodingTest, ThreadsConvertConcurrently)
{
    const std::string sjis = "\x93\xFA\x96\x7B\x82\xA0\x87\x40";
    const std::string utf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\x82\xE2\x91\xA0";
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; i++) {
                failures[size_t(t)] += to_utf8(B_SJIS_CONVERSION, sjis).out != utf8;
                failures[size_t(t)] += from_utf8(B_SJIS_CONVERSION, utf8).out != sjis;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

} // namespace

// iconv may write part of a character it has no room for; none of that may
// show past the end reported, whatever the room (the helper checks).
TEST(TextEncodingTest, MultiByteSetsWriteNothingPastTheEndAtAnySize)
{
    const std::string utf8 = "\xEC\x95\x88\xEB\x85\x95 \xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94 "
                             "\xE3\x81\x82\xE2\x82\xAC abc";
    for (uint32 code : {B_EUC_KR_CONVERSION, B_EUC_CONVERSION, B_SJIS_CONVERSION}) {
        const Result full = from_utf8(code, utf8, 1024);
        for (int32 room = 0; room <= int32(full.out.size()); room++) {
            const Result part = from_utf8(code, utf8, room);
            ASSERT_EQ(part.out, full.out.substr(0, part.out.size())) << code << " " << room;
            const Result back = to_utf8(code, full.out, room);
            ASSERT_LE(back.out.size(), size_t(room));
        }
    }
}

// The single-byte loop writes whole words ahead of what it keeps and
// relies on the input left to overwrite them: at every input length, short
// and long, with room to spare or exactly enough, nothing may be left past
// the end reported (the helper checks), and the result is the same.
TEST(TextEncodingTest, SingleByteSetsWriteNothingPastTheEndAtAnyInputLength)
{
    const std::string mixed = "\xCF\xF0\xE8 \xE2\xE5\xF2 ok \x98\xE9\xE9\xE9\xE9\xE9\xE9\xE9"
                              "abcdefghijklmnopq\xC0\xC1\xC2\xC3\x85\x88 tail \xFF\xFE";
    for (size_t length = 0; length <= mixed.size(); length++) {
        const std::string in = mixed.substr(0, length);
        std::string expected;
        for (char c : in) {
            const Result one = to_utf8(B_MS_WINDOWS_1251_CONVERSION, std::string(1, c), 8);
            expected += one.out;
        }
        const Result roomy = to_utf8(B_MS_WINDOWS_1251_CONVERSION, in, 1024);
        ASSERT_EQ(roomy.out, expected) << length;
        ASSERT_EQ(roomy.consumed, int32(length));
        const Result exact = to_utf8(B_MS_WINDOWS_1251_CONVERSION, in, int32(expected.size()));
        ASSERT_EQ(exact.out, expected) << length;
    }
}

// Long text goes sixteen bytes at a time where it can (ASCII and a set's
// main alphabet) and by the table elsewhere; wherever the blocks stop and
// however the text ends, the result must be that of converting each byte
// alone, and nothing may be written past the end reported.
TEST(TextEncodingTest, SingleByteSetsConvertLongTextAsEachByteAlone)
{
    const uint32 codes[] = {B_ISO1_CONVERSION,       B_ISO2_CONVERSION,
                            B_ISO5_CONVERSION,       B_ISO7_CONVERSION,
                            B_MAC_ROMAN_CONVERSION,  B_MS_WINDOWS_CONVERSION,
                            B_KOI8R_CONVERSION,      B_MS_WINDOWS_1251_CONVERSION,
                            B_MS_DOS_866_CONVERSION, B_MS_DOS_CONVERSION};
    std::mt19937 random(20261208);
    for (uint32 code : codes) {
        std::string alone[256];
        for (int byte = 0; byte < 256; byte++)
            alone[byte] = to_utf8(code, std::string(1, char(byte)), 8).out;
        for (int round = 0; round < 300; round++) {
            // Mostly letters of one half of the table, with blanks, and now
            // and then any byte at all.
            const int low = round % 3 == 0 ? 0x80 : 0xC0;
            const int rare = 1 + round % 20;
            std::string text;
            const size_t length = random() % 90;
            for (size_t i = 0; i < length; i++) {
                const uint32 pick = random() % 32;
                text += pick == 0                     ? ' '
                        : pick < 4                    ? char('a' + random() % 26)
                        : pick < uint32(4 + rare / 4) ? char(random() % 256)
                                                      : char(low + random() % (256 - low));
            }
            std::string expected;
            for (char c : text)
                expected += alone[uint8(c)];
            SCOPED_TRACE(testing::Message() << "code " << code << ", round " << round);
            const Result roomy = to_utf8(code, text, 1024);
            ASSERT_EQ(roomy.out, expected);
            ASSERT_EQ(roomy.consumed, int32(text.size()));
            const Result exact = to_utf8(code, text, int32(expected.size()));
            ASSERT_EQ(exact.out, expected);
            // Short of room: a whole number of characters, as far as they go.
            const int32 room = int32(expected.size()) * 2 / 3;
            const Result cut = to_utf8(code, text, room);
            ASSERT_EQ(cut.out, expected.substr(0, cut.out.size()));
            ASSERT_GE(int32(cut.out.size()), room - 2);
        }
    }
}

// UTF-8 as a set of its own: valid characters pass as they are, every byte
// that begins no valid character becomes U+FFFD, a character cut off at the
// end waits for the rest, and the output is cut at character boundaries.
TEST(TextEncodingTest, Utf8PassesValidTextAndReplacesEveryBadByte)
{
    const std::string valid = "caf\xC3\xA9 \xD0\x9F \xE2\x82\xAC \xF0\x9F\x98\x80";
    for (bool toUtf8 : {true, false}) {
        Result r = convert(toUtf8, B_UTF8_CONVERSION, valid, 256);
        EXPECT_EQ(r.status, B_OK);
        EXPECT_EQ(r.out, valid);
        EXPECT_EQ(r.consumed, int32(valid.size()));
    }
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a\x80z", "a" + fffd + "z"},                    // stray continuation byte
        {"\xC0\xAF", fffd + fffd},                       // overlong "/"
        {"\xE0\x80\xAF", fffd + fffd + fffd},            // overlong, three bytes
        {"\xED\xA0\x80", fffd + fffd + fffd},            // a surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd}, // beyond U+10FFFF
        {"\xC3(", fffd + "("},                           // a lead byte without its tail
        {"\xCF\xF0\xE8!", fffd + fffd + fffd + "!"},     // code page 1251 text
    };
    for (const Case& c : cases) {
        Result r = to_utf8(B_UTF8_CONVERSION, c.in);
        EXPECT_EQ(r.out, c.out) << c.in;
        EXPECT_EQ(r.consumed, int32(c.in.size())) << c.in;
        EXPECT_FALSE(is_valid_utf8(c.in.data(), int32(c.in.size()))) << c.in;
    }
    EXPECT_TRUE(is_valid_utf8(valid.data(), int32(valid.size())));
    EXPECT_TRUE(is_valid_utf8("", 0));
    EXPECT_FALSE(is_valid_utf8("ab\xE2\x82", 4)) << "a character cut off at the end";
    EXPECT_FALSE(is_valid_utf8(nullptr, 1));

    Result cut = to_utf8(B_UTF8_CONVERSION, "ab\xE2\x82");
    EXPECT_EQ(cut.out, "ab");
    EXPECT_EQ(cut.consumed, 2) << "the cut character waits for the rest";
    Result full = from_utf8(B_UTF8_CONVERSION, "a\xC3\xA9\xE2\x82\xAC", 4);
    EXPECT_EQ(full.out, "a\xC3\xA9");
    EXPECT_EQ(full.consumed, 3) << "no half character at the end of the output";
}

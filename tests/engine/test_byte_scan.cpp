#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include <ByteScan.h>

namespace
{

const char* reference(const char* p, const char* end, char a, char b)
{
    for (; p < end; p++)
        if (*p == a || *p == b)
            return p;
    return nullptr;
}

} // namespace

// Every stretch of a buffer up to 40 bytes, with the byte looked for at
// every place, once, twice or not at all. Each buffer is allocated at its
// exact size, so a read past either end is an error under AddressSanitizer.
TEST(ByteScan, FindsTheFirstMatchOfEveryStretchWithoutReadingOutsideIt)
{
    for (size_t size = 0; size <= 40; size++) {
        for (size_t first = 0; first <= size + 1; first++) {
            for (size_t second = first; second <= size + 1; second += 3) {
                std::unique_ptr<char[]> buffer(new char[size == 0 ? 1 : size]);
                for (size_t i = 0; i < size; i++)
                    buffer[i] = char('a' + i % 7);
                if (first < size)
                    buffer[first] = ' ';
                if (second < size && second != first)
                    buffer[second] = '\n';
                const char* begin = buffer.get();
                for (size_t start = 0; start <= size; start++) {
                    const char* p = begin + start;
                    const char* end = begin + size;
                    EXPECT_EQ(byte_scan::find(p, end, ' '), reference(p, end, ' ', ' '))
                        << size << " " << first << " " << start;
                    EXPECT_EQ(byte_scan::find_either(p, end, '\n', ' '),
                              reference(p, end, '\n', ' '))
                        << size << " " << first << " " << second << " " << start;
                    EXPECT_EQ(byte_scan::find_any(p, end, 'x', '\n', ' '),
                              reference(p, end, '\n', ' '))
                        << size << " " << first << " " << second << " " << start;
                }
            }
        }
    }
}

TEST(ByteScan, MatchesBytesAboveAsciiAndNul)
{
    std::string text = "abc\xC0\xFF";
    text += '\0';
    text += "def";
    text.append(20, 'x');
    const char* begin = text.data();
    const char* end = begin + text.size();
    EXPECT_EQ(byte_scan::find(begin, end, '\xFF'), begin + 4);
    EXPECT_EQ(byte_scan::find_either(begin, end, '\n', '\0'), begin + 5);
    EXPECT_EQ(byte_scan::find(begin + 6, end, '\0'), nullptr);
    char* mutableBegin = text.data();
    EXPECT_EQ(byte_scan::find(mutableBegin, mutableBegin + text.size(), 'x'), mutableBegin + 9);
}

// Whether a byte of 0x80 or above, or the CTCP marker 0x01, comes before
// the match, exactly: at every place of that byte and the match, from every
// start.
TEST(ByteScan, TellsExactlyWhetherASpecialByteComesBeforeTheMatch)
{
    for (char specialByte : {'\xC0', '\x01'}) {
        for (size_t size = 0; size <= 40; size++) {
            for (size_t match = 0; match <= size; match++) {
                for (size_t highAt = 0; highAt <= size; highAt++) {
                    std::unique_ptr<char[]> buffer(new char[size == 0 ? 1 : size]);
                    for (size_t i = 0; i < size; i++)
                        buffer[i] = char('a' + i % 7);
                    if (highAt < size)
                        buffer[highAt] = specialByte;
                    if (match < size)
                        buffer[match] = '\n';
                    const char* end = buffer.get() + size;
                    for (size_t start = 0; start <= size; start++) {
                        const char* p = buffer.get() + start;
                        const char* expected = reference(p, end, '\n', '\0');
                        bool expectedHigh = false;
                        for (const char* q = p; q < (expected != nullptr ? expected : end); q++)
                            expectedHigh |= (static_cast<unsigned char>(*q) & 0x80) != 0 || *q == 1;
                        bool high = !expectedHigh;
                        EXPECT_EQ(
                            byte_scan::find_any_noting_special(p, end, '\n', '\0', '\r', &high),
                            expected)
                            << size << " " << match << " " << highAt << " " << start;
                        EXPECT_EQ(high, expectedHigh)
                            << size << " " << match << " " << highAt << " " << start;
                    }
                }
            }
        }
    }
}

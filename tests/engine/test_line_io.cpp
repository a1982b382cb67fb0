#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <LineIO.h>
#include <UTF8.h>

namespace
{

struct Taken {
    std::string text;
    bool inPlace;
};

// Every complete line of `bytes` as the engine's reader takes it: Next on
// one block, then utf8_line in `encoding`.
std::vector<Taken> take_all(std::string bytes, int16 encoding)
{
    std::vector<Taken> lines;
    LineSplitter splitter;
    char* at = bytes.data();
    char* end = at + bytes.size();
    while (at < end && splitter.Next(&at, end)) {
        char out[LINE_MAX_UTF8 + 1];
        size_t length;
        char* text = utf8_line(splitter, encoding, out, &length);
        EXPECT_EQ(std::string(text).size(), length) << "NUL-terminated at its length";
        lines.push_back({std::string(text, length), text != out});
        splitter.Reset();
    }
    return lines;
}

} // namespace

// Only a plain ASCII line ended by CR LF is used where it lies; every other
// kind is converted (a CTCP query too: the parser must look for its
// marker), and all of them read the same as the copying path would.
TEST(LineReader, PlainLinesEndedByCrLfStayInPlaceTheRestAreConverted)
{
    using namespace std::string_literals;
    const auto lines = take_all("PING :a\r\n"
                                "\xCF\xF0\xE8\r\n"
                                "lf only\n"
                                "\r\n"
                                "nul\0inside\r\n"
                                "done\r\n"
                                ":a!b PRIVMSG me :\x01VERSION\x01\r\n"s,
                                B_MS_WINDOWS_1251_CONVERSION);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].text, "PING :a\n");
    EXPECT_TRUE(lines[0].inPlace);
    EXPECT_EQ(lines[1].text, "\xD0\x9F\xD1\x80\xD0\xB8\n");
    EXPECT_FALSE(lines[1].inPlace);
    EXPECT_EQ(lines[2].text, "lf only\n");
    EXPECT_FALSE(lines[2].inPlace) << "no free byte for the NUL";
    EXPECT_EQ(lines[3].text, "\n");
    EXPECT_EQ(lines[4].text, "nulinside\n");
    EXPECT_FALSE(lines[4].inPlace);
    EXPECT_EQ(lines[5].text, "done\n");
    EXPECT_TRUE(lines[5].inPlace);
    EXPECT_EQ(lines[6].text, ":a!b PRIVMSG me :\x01VERSION\x01\n");
    EXPECT_FALSE(lines[6].inPlace) << "a CTCP marker";
}

// A CR is never text: as seen, a line ending in three CRs reached the
// window with two of them. Every CR goes, before the line end or inside.
TEST(LineReader, NoCarriageReturnReachesTheText)
{
    using namespace std::string_literals;
    for (int16 encoding : {int16(B_ISO1_CONVERSION), int16(B_MS_WINDOWS_1251_CONVERSION)}) {
        const auto lines = take_all(":a!b PRIVMSG #c :hi\r\r\r\n"
                                    ":a!b PRIVMSG #c :one\rtwo\r\n"
                                    "\r\r\n"
                                    "\rlead\r\n"
                                    "plain\r\n"s,
                                    encoding);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[0].text, ":a!b PRIVMSG #c :hi\n");
        EXPECT_EQ(lines[1].text, ":a!b PRIVMSG #c :onetwo\n");
        EXPECT_EQ(lines[2].text, "\n");
        EXPECT_EQ(lines[3].text, "lead\n");
        EXPECT_EQ(lines[4].text, "plain\n");
        EXPECT_TRUE(lines[4].inPlace) << "the usual line stays fast";
    }
}

// The reader's rules one byte at a time: LF ends a line, CR and NUL are
// dropped wherever they are, and a line is cut after 511 other bytes.
std::vector<std::string> byte_by_byte(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
        if (c == '\n') {
            lines.push_back(line + '\n');
            line.clear();
            continue;
        }
        if (c != '\0' && c != '\r')
            line += c;
        if (line.size() == 511) {
            lines.push_back(line);
            line.clear();
        }
    }
    return lines;
}

// Around the cut, with and without CR, whether the line is taken in place
// or copied: the same lines as one byte at a time.
TEST(LineReader, LinesAroundTheCutReadAsOneByteAtATime)
{
    for (size_t body = 505; body <= 515; body++) {
        for (const char* end : {"\r\n", "\n", "\r\r\r\n", "\r"}) {
            const std::string bytes = std::string(body, 'x') + end + "next\r\n";
            const auto lines = take_all(bytes, B_ISO1_CONVERSION);
            const auto expected = byte_by_byte(bytes);
            ASSERT_EQ(lines.size(), expected.size()) << body << " " << strlen(end);
            for (size_t i = 0; i < expected.size(); i++)
                EXPECT_EQ(lines[i].text, expected[i]) << body << " line " << i;
        }
    }
}

// What the reader makes of the three kinds of text a channel carries today
// (UTF-8, Latin-1, code page 1251) under each choice: a line that is valid
// UTF-8 is taken as it is whatever the choice; any other line is read in
// the chosen set, and in UTF-8 its bad bytes show as U+FFFD, never lost.
TEST(LineReader, ValidUtf8IsTakenAsItIsAndTheRestInTheChosenSet)
{
    const std::string fffd = "\xEF\xBF\xBD";
    const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8 caf\xC3\xA9"; // "При café"
    const std::string bytes = utf8 + "\r\n" +
                              "caf\xE9\r\n"       // Latin-1 "café"
                              "\xCF\xF0\xE8\r\n"; // code page 1251 "При"
    struct Case {
        int16 encoding;
        std::string latin1, cp1251;
    } cases[] = {
        {B_MS_WINDOWS_CONVERSION, "caf\xC3\xA9", "\xC3\x8F\xC3\xB0\xC3\xA8"},
        {B_MS_WINDOWS_1251_CONVERSION, "caf\xD0\xB9", "\xD0\x9F\xD1\x80\xD0\xB8"},
        {B_UTF8_CONVERSION, "caf" + fffd, fffd + fffd + fffd},
    };
    for (const Case& c : cases) {
        const auto lines = take_all(bytes, c.encoding);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].text, utf8 + "\n") << c.encoding;
        EXPECT_EQ(lines[1].text, c.latin1 + "\n") << c.encoding;
        EXPECT_EQ(lines[2].text, c.cp1251 + "\n") << c.encoding;
    }

    // Sent in the chosen set: UTF-8 as it is, cut at a character boundary.
    char wire[LINE_MAX_WIRE + 1];
    ASSERT_EQ(line_to_wire(B_UTF8_CONVERSION, (utf8 + "\n").c_str(), wire), utf8.size() + 1);
    EXPECT_EQ(std::string(wire), utf8 + "\n");
    std::string longLine;
    while (longLine.size() < 600)
        longLine += "\xC3\xA9";
    size_t sent = line_to_wire(B_UTF8_CONVERSION, (longLine + "\n").c_str(), wire);
    EXPECT_EQ(sent, size_t(LINE_MAX_BODY) + 1);
    EXPECT_TRUE(is_valid_utf8(wire, int32(sent)));
    ASSERT_EQ(line_to_wire(B_MS_WINDOWS_CONVERSION, "caf\xC3\xA9\n", wire), 5u);
    EXPECT_EQ(std::string(wire), "caf\xE9\n");
}

#include <d_string.h>

#include <cstring>

#include <gtest/gtest.h>

TEST(StringHelpers, PrefixTests)
{
    EXPECT_EQ(d_strncmp("PING :srv1", "PING"), 0);
    EXPECT_EQ(d_strncmp("PIN", "PING"), -1);
    EXPECT_EQ(d_strncmp("PONG", "PING"), 2);
    EXPECT_EQ(d_strncmp("anything", ""), 0);
    EXPECT_EQ(d_strncmp("", ""), 0);
    EXPECT_EQ(d_strncmp("ping", "PING"), 1) << "case matters";

    EXPECT_EQ(d_strnicmp("join #beos", "JOIN "), 0);
    EXPECT_EQ(d_strnicmp("JOINED", "JOIN "), 5);
    EXPECT_EQ(d_strnicmp("nick bob", "NICK "), 0);
    // Only ASCII letters fold: a byte above 0x7F is itself.
    EXPECT_EQ(d_strnicmp("\xE9t\xE9", "\xC9T\xC9"), 1);
    EXPECT_EQ(d_strnicmp("\xE9t", "\xE9T"), 0);
}

TEST(StringHelpers, SuffixTest)
{
    EXPECT_EQ(d_strRncmp("notes.txt", ".txt"), 0);
    EXPECT_EQ(d_strRncmp("notes.txz", ".txt"), 4);
    EXPECT_EQ(d_strRncmp("txt", ".txt"), -1);
    EXPECT_EQ(d_strRncmp("abc", ""), 0);
}

TEST(StringHelpers, SkippingRunsOfACharacter)
{
    const char* none = "nobl4nks";
    EXPECT_EQ(d_skip_chr(none, ' '), nullptr);
    const char* trailing = "a   ";
    EXPECT_EQ(d_skip_chr(trailing, ' '), trailing + 4);
    EXPECT_EQ(*d_skip_chr(trailing, ' '), '\0');
    const char* msg = "MSG   bob hello";
    EXPECT_EQ(d_skip_chr(msg, ' '), msg + 6);

    const char* nick = "bob   ";
    EXPECT_EQ(d_skipR_chr(nick, ' '), nick + 2);
    const char* blanks = "   ";
    EXPECT_EQ(d_skipR_chr(blanks, ' '), blanks);
    EXPECT_EQ(d_skipR_chr(none, ' '), nullptr);
}

TEST(StringHelpers, LengthsAndWords)
{
    EXPECT_EQ(d_len_chr("abc def", ' '), 3);
    EXPECT_EQ(d_len_chr("word", ' '), 0);
    EXPECT_EQ(d_len_chr(" lead", ' '), 0);

    char channel[] = "#BeOS-Talk_42\xC3\x89";
    d_tolower(channel);
    EXPECT_STREQ(channel, "#beos-talk_42\xC3\x89");

    char word[32];
    EXPECT_EQ(d_get_word("  first second", word), 1);
    EXPECT_STREQ(word, "first");
    EXPECT_NE(d_get_word("   ", word), 1);
}

#include <String.h>

#include <gtest/gtest.h>

TEST(String, CapitalizesEachRunOfLetters)
{
    const char* words[][2] = {
        {"PING", "Ping"},
        {"CLIENTINFO", "Clientinfo"},
        {"userinfo", "Userinfo"},
        {"hello wORLD-foo", "Hello World-Foo"},
        {"x2y", "X2Y"}, // a digit ends a word
        {"", ""},
        {"  ", "  "},
    };
    for (auto& pair : words) {
        BString text(pair[0]);
        text.ToLower().CapitalizeEachWord();
        EXPECT_STREQ(text.String(), pair[1]) << pair[0];
    }
}

TEST(String, CaseMappingLeavesNonAsciiBytesAlone)
{
    BString text("#BeOS-\xC3\x89T\xC3\xA9 42");
    text.ToLower();
    EXPECT_STREQ(text.String(), "#beos-\xC3\x89t\xC3\xA9 42");
    text.ToUpper();
    EXPECT_STREQ(text.String(), "#BEOS-\xC3\x89T\xC3\xA9 42");
}

TEST(String, NullAndBoundedInputs)
{
    BString none(nullptr);
    EXPECT_STREQ(none.String(), "");
    EXPECT_EQ(none.Length(), 0);
    BString cut("abcdef", 3);
    EXPECT_STREQ(cut.String(), "abc");
    BString shortOne("ab", 10); // the bound does not read past the NUL
    EXPECT_STREQ(shortOne.String(), "ab");
    none.Append(nullptr).Prepend(nullptr);
    EXPECT_EQ(none.Length(), 0);
}

TEST(String, EditsInPlace)
{
    BString text("one two two three");
    text.ReplaceAll("two", "2");
    EXPECT_STREQ(text.String(), "one 2 2 three");
    text.ReplaceFirst("2", "two");
    EXPECT_STREQ(text.String(), "one two 2 three");
    EXPECT_EQ(text.FindFirst("2"), 8);
    EXPECT_EQ(text.FindLast('e'), 14);
    EXPECT_EQ(text.FindFirst("zz"), -1);
    EXPECT_EQ(text.IFindFirst("TWO"), 4);
    text.Truncate(3);
    EXPECT_STREQ(text.String(), "one");
    text.Truncate(10);
    EXPECT_STREQ(text.String(), "one");
    text.Insert("x", 1).Remove(0, 1);
    EXPECT_STREQ(text.String(), "xne");
    text << ' ' << int32(-5) << " " << uint32(7);
    EXPECT_STREQ(text.String(), "xne -5 7");
    // Replacing with a text that contains the pattern terminates.
    BString loop("aa");
    loop.ReplaceAll("a", "aa");
    EXPECT_STREQ(loop.String(), "aaaa");
}

TEST(String, Compares)
{
    BString text("Bob");
    EXPECT_EQ(text.ICompare("bob"), 0);
    EXPECT_NE(text.Compare("bob"), 0);
    EXPECT_TRUE(text == "Bob");
    EXPECT_EQ(text.Compare("Bobby", 3), 0);
    EXPECT_EQ(text.ByteAt(3), 0);
    EXPECT_EQ(BString("h\xC3\xA9").CountChars(), 2);
}

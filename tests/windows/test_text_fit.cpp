// The window lists' searches and the fitting of composed texts.

#include <gtest/gtest.h>

#include <string>

#include "TextFit.h"
#include "wndItem.h"

namespace
{

bool whole_utf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; k++)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

} // namespace

TEST(WindowLists, SearchesByNameWithoutCaseAndByWindow)
{
    BList list(20);
    EXPECT_EQ(find_item_by_name(&list, "#chan"), nullptr);
    auto* w1 = reinterpret_cast<BWindow*>(0x1000);
    auto* w2 = reinterpret_cast<BWindow*>(0x2000);
    wndItem first{w1, "#chan"};
    wndItem second{w2, "#CHAN"};
    list.AddItem(&first);
    list.AddItem(&second);
    EXPECT_EQ(find_item_by_name(&list, "#Chan"), &first) << "the lower index wins";
    EXPECT_EQ(find_item_by_name(&list, "#chan2"), nullptr);
    EXPECT_EQ(find_item_by_wnd(&list, w2), &second);
    EXPECT_EQ(find_item_by_wnd(&list, reinterpret_cast<BWindow*>(0x3000)), nullptr);
}

TEST(TextFit, CutsNeverInsideACharacter)
{
    char out[8];
    // "aaaaaé" is 7 bytes: fits exactly; one more 'a' and the é goes whole.
    EXPECT_EQ(fit_format(out, sizeof(out), "%s\xC3\xA9", "aaaaa"), 7u);
    EXPECT_STREQ(out, "aaaaa\xC3\xA9");
    EXPECT_EQ(fit_format(out, sizeof(out), "%s\xC3\xA9", "aaaaaa"), 6u);
    EXPECT_STREQ(out, "aaaaaa");
    EXPECT_EQ(fit_copy(out, sizeof(out), "ab\xE6\x97\xA5\xE6\x97\xA5"), 5u);
    EXPECT_STREQ(out, "ab\xE6\x97\xA5");
    EXPECT_EQ(fit_copy(out, 1, "abc"), 0u);
    EXPECT_STREQ(out, "");
}

TEST(TextFit, SplitsTypedTextIntoWholePiecesAndLosesNothing)
{
    std::string text;
    for (int i = 0; text.size() < 3000; i++)
        text += i % 5 == 0 ? "\xE6\x97\xA5\xE6\x97\xA5" : "word" + std::to_string(i) + " ";
    for (size_t limit : {4u, 7u, 64u, 400u}) {
        std::vector<std::string> pieces = split_text(text, limit);
        std::string joined;
        for (const std::string& piece : pieces) {
            EXPECT_LE(piece.size(), limit);
            EXPECT_FALSE(piece.empty());
            EXPECT_TRUE(whole_utf8(piece)) << limit;
            joined += piece;
        }
        EXPECT_EQ(joined, text) << limit;
    }
    // A piece breaks after a blank when one is in its second half.
    std::vector<std::string> words = split_text("aaaa bbbb cccc", 10);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0], "aaaa bbbb ");
    EXPECT_EQ(split_text("short", 400), std::vector<std::string>{"short"});
}

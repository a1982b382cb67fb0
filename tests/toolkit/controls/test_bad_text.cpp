// What a server or a user may send ends up in text views and list rows:
// bytes that are not UTF-8, NULs, control characters, megabytes at once.
// They are shown as replacement characters, and nothing crashes or hangs.

#include "ControlTestSupport.h"

#include <algorithm>
#include <cstring>
#include <random>

#include <ListItem.h>
#include <ListView.h>
#include <ScrollView.h>
#include <TextView.h>

namespace
{

class BadText : public ControlTest
{
protected:
    BTextView* MakeView(BRect frame)
    {
        BRect textRect = frame.OffsetToCopy(0, 0).InsetByCopy(2, 2);
        return Add(new BTextView(frame, "text", textRect, B_FOLLOW_NONE, B_WILL_DRAW));
    }

    // A list whose items (which a list does not own) go with the test.
    BListView* AddList(BRect frame, const char* name)
    {
        fLists.push_back(Add(new BListView(frame, name)));
        return fLists.back();
    }
    void TearDown() override
    {
        if (driver != nullptr)
            driver->Locked(window, [&] {
                for (BListView* list : fLists) {
                    for (int32 i = 0; i < list->CountItems(); i++)
                        delete list->ItemAt(i);
                    list->MakeEmpty();
                }
            });
        ControlTest::TearDown();
    }

    // The pixels of a window rectangle, row by row.
    std::vector<uint32> Area(const Snapshot& shot, BRect rect)
    {
        std::vector<uint32> out;
        for (int32 y = int32(rect.top); y <= int32(rect.bottom); y++)
            for (int32 x = int32(rect.left); x <= int32(rect.right); x++)
                out.push_back(shot.pixels[size_t(y) * size_t(shot.width) + size_t(x)]);
        return out;
    }

    BRect InWindow(BView* view)
    {
        return driver->Locked(window, [&] { return view->_ToWindow(view->Bounds()); });
    }

    std::vector<BListView*> fLists;
};

// Random bytes of every kind: invalid sequences, NULs, control characters,
// line ends, and stretches of valid multi-byte text.
std::string noise(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string out;
    out.reserve(size);
    const char* valid[] = {"word ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\n", "\t"};
    while (out.size() < size) {
        unsigned pick = random() % 8;
        if (pick < 6)
            out += valid[pick];
        else
            out += char(random() % 256);
    }
    out.resize(size);
    return out;
}

} // namespace

TEST_F(BadText, InvalidBytesLookLikeReplacementCharacters)
{
    // The same text twice: once with bad bytes, once with U+FFFD in their
    // place. They must be drawn alike, in text views and in list rows.
    const char bad[] = "a\xFF"
                       "b\xC3z\x80"
                       "c";
    const char shown[] = "a\xEF\xBF\xBD"
                         "b\xEF\xBF\xBDz\xEF\xBF\xBD"
                         "c";

    BTextView* badView = MakeView(BRect(10, 10, 109, 39));
    BTextView* goodView = MakeView(BRect(10, 50, 109, 79));
    BListView* badList = AddList(BRect(150, 10, 249, 39), "bad");
    BListView* goodList = AddList(BRect(150, 50, 249, 79), "good");
    driver->Locked(window, [&] {
        badView->SetText(bad);
        goodView->SetText(shown);
        badList->AddItem(new BStringItem(bad));
        goodList->AddItem(new BStringItem(shown));
        // The bytes themselves are kept.
        EXPECT_STREQ(badView->Text(), bad);
        EXPECT_STREQ(static_cast<BStringItem*>(badList->ItemAt(0))->Text(), bad);
    });
    ASSERT_TRUE(driver->WaitIdle());

    Snapshot shot(*driver, window);
    std::vector<uint32> badPixels = Area(shot, InWindow(badView));
    EXPECT_EQ(badPixels, Area(shot, InWindow(goodView)));
    EXPECT_EQ(Area(shot, InWindow(badList)), Area(shot, InWindow(goodList)));
    // Something was drawn at all: not one colour throughout.
    EXPECT_NE(std::count(badPixels.begin(), badPixels.end(), badPixels[0]),
              std::ptrdiff_t(badPixels.size()));
}

TEST_F(BadText, NulsAndControlCharactersAreDrawnSafely)
{
    BTextView* view = MakeView(BRect(10, 10, 209, 109));
    BListView* list = AddList(BRect(220, 10, 389, 109), "list");
    std::string controls;
    for (int c = 1; c < 32; c++)
        controls += char(c);
    controls += "\x7F end";
    driver->Locked(window, [&] {
        // A NUL inside the given length ends what is taken.
        view->Insert(0, "before\0after", 12, nullptr);
        EXPECT_STREQ(view->Text(), "before");
        view->Insert(view->TextLength(), controls.c_str(), int32(controls.size()), nullptr);
        EXPECT_EQ(view->TextLength(), int32(6 + controls.size()));
        EXPECT_EQ(strlen(view->Text()), size_t(view->TextLength()));
        list->AddItem(new BStringItem(controls.c_str()));
        list->AddItem(new BStringItem(nullptr));
        list->AddItem(new BStringItem(""));
    });
    ASSERT_TRUE(driver->WaitIdle());
    // Every offset still maps to a line and back.
    driver->Locked(window, [&] {
        for (int32 offset = 0; offset <= view->TextLength(); offset++) {
            int32 line = view->LineAt(offset);
            ASSERT_GE(line, 0);
            ASSERT_LT(line, view->CountLines());
            ASSERT_LE(view->OffsetAt(line), offset);
        }
        EXPECT_EQ(list->CountItems(), 3);
    });
}

TEST_F(BadText, AMegabyteOfNoiseIsShownAndScrolledWithoutHanging)
{
    BTextView* view = new BTextView(BRect(0, 0, 199, 149), "log", BRect(2, 2, 197, 147),
                                    B_FOLLOW_NONE, B_WILL_DRAW);
    BScrollView* scroll = new BScrollView("scroll", view, B_FOLLOW_NONE, 0, false, true);
    driver->Locked(window, [&] { scroll->MoveTo(10, 10); });
    Add(scroll);
    BListView* list = AddList(BRect(250, 10, 389, 159), "list");

    const std::string text = noise(1 << 20, 7);
    driver->Locked(window, [&] {
        view->SetText(text.c_str(), int32(text.size()));
        // Up to the first NUL, byte for byte.
        size_t kept = strlen(text.c_str());
        EXPECT_EQ(size_t(view->TextLength()), kept);
        EXPECT_EQ(memcmp(view->Text(), text.data(), kept), 0);
        list->AddItem(new BStringItem(text.c_str()));
        std::string noNul = text;
        std::replace(noNul.begin(), noNul.end(), '\0', 'x');
        list->AddItem(new BStringItem(noNul.c_str()));
    });
    ASSERT_TRUE(driver->WaitIdle(60000000));

    // Scrolled to the end and back, with the text changing under the view.
    driver->Locked(window, [&] {
        view->ScrollToOffset(view->TextLength());
        view->Insert(view->TextLength(), text.data() + 1000, 5000, nullptr);
        view->Delete(10, 200000);
        view->ScrollToOffset(0);
    });
    ASSERT_TRUE(driver->WaitIdle(60000000));
    driver->Locked(window, [&] {
        EXPECT_GT(view->CountLines(), 1);
        int32 last = view->CountLines() - 1;
        EXPECT_EQ(view->LineAt(view->TextLength()), last);
    });
}

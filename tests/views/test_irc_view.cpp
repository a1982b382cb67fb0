// The output view with its print kinds, trimming and scrolling, and the
// input line with its key filter and history.

#include "ViewTestSupport.h"

#include <AppDefs.h>
#include <DisplayServer.h>
#include <IRCView.h>
#include <IrcCodes.h>
#include <ScrollBar.h>
#include <ScrollView.h>
#include <irc_textview.h>
#include <myText.h>
#include <textFilter.h>

namespace
{

class IRCViewTest : public ControlTest
{
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        view = Add(new IRCView(window, background->Bounds()));
        driver->Locked(window, [&] {
            text = dynamic_cast<BTextView*>(view->FindView("srv_txt"));
            input = dynamic_cast<myText*>(view->FindView("message"));
            bar = dynamic_cast<BScrollView*>(view->FindView("TextScroller"))->ScrollBar(B_VERTICAL);
        });
        ASSERT_NE(text, nullptr);
        ASSERT_NE(input, nullptr);
        ASSERT_NE(bar, nullptr);
    }

    std::string Output()
    {
        return driver->Locked(window, [&] { return std::string(text->Text()); });
    }
    std::string Input()
    {
        return driver->Locked(window, [&] { return std::string(input->Text()); });
    }
    // The text of the first line in view.
    std::string FirstVisibleLine()
    {
        return driver->Locked(window, [&] {
            int32 line = text->LineAt(BPoint(5, bar->Value() + 1));
            int32 start = text->OffsetAt(line), end = text->OffsetAt(line + 1);
            return std::string(text->Text() + start, size_t(end - start));
        });
    }
    void Print(const std::string& line, int kind = 0)
    {
        driver->Locked(window, [&] { view->w_print(line.c_str(), kind); });
    }
    std::pair<int32, int32> Selection()
    {
        return driver->Locked(window, [&] {
            int32 start, end;
            input->TextView()->GetSelection(&start, &end);
            return std::make_pair(start, end);
        });
    }
    int NtrFor(BMessage* model)
    {
        int count = 0;
        for (const BMessage& m : window->Messages()) {
            void* target = nullptr;
            if (m.what == MSG_NTR && m.FindPointer("target", &target) == B_OK && target == model)
                count++;
        }
        return count;
    }

    IRCView* view = nullptr;
    BTextView* text = nullptr;
    myText* input = nullptr;
    BScrollBar* bar = nullptr;
};

} // namespace

TEST_F(IRCViewTest, LayoutAndTheInputLineHasTheFocus)
{
    driver->Locked(window, [&] {
        EXPECT_EQ(view->Frame(), BRect(0, 0, 399, 299));
        EXPECT_EQ(text->Frame().right, 385);
        EXPECT_EQ(text->Frame().bottom, 268);
        EXPECT_FALSE(text->IsEditable());
        EXPECT_TRUE(text->IsSelectable());
        EXPECT_EQ(text->MaxBytes(), 16384);
        EXPECT_COLOR(text->ViewColor(), irc_color[1].color);
        EXPECT_EQ(input->Message()->what, MSG_UMG);
        EXPECT_EQ(input->Frame().left, 5);
        EXPECT_EQ(input->Frame().right, 394);
        EXPECT_TRUE(input->TextView()->IsFocus());
    });
    // The engraved separator: dark over light, across the whole width.
    Snapshot shot(*driver, window);
    for (int32 x : {0, 200, 399}) {
        EXPECT_COLOR(shot.At(x, 269), (rgb_color{150, 150, 150, 255})) << x;
        EXPECT_COLOR(shot.At(x, 270), (rgb_color{250, 250, 250, 255})) << x;
    }

    // A wider window re-wraps the text to the new width.
    driver->Locked(window, [&] { window->ResizeBy(100, 40); });
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(text->TextRect().right, view->Bounds().Width() - 14);
        EXPECT_EQ(input->Frame().right, 494);
        EXPECT_EQ(input->Frame().top, 339 - 24);
    });
    Snapshot wider(*driver, window);
    EXPECT_COLOR(wider.At(450, 309), (rgb_color{150, 150, 150, 255}));
    EXPECT_COLOR(wider.At(450, 310), (rgb_color{250, 250, 250, 255}));
}

TEST_F(IRCViewTest, EachPieceTakesTheColourOfItsKind)
{
    Print("<ann> ", 2);
    Print("word", 4);
    Print("\n", 1);
    Print("x", 9); // outside the table: plain text
    for (int kind = 0; kind < 6; kind++)
        Print(std::string("\nkind ") + irc_color[kind].name, kind);
    save_snapshot(*driver, window, "irc_view");
    driver->Locked(window, [&] { view->w_print(nullptr, 0); });
    EXPECT_EQ(Output().substr(0, 12), "<ann> word\nx");
    driver->Locked(window, [&] {
        BFont font;
        rgb_color color;
        text->GetFontAndColor(0, &font, &color);
        EXPECT_COLOR(color, irc_color[2].color);
        text->GetFontAndColor(6, &font, &color);
        EXPECT_COLOR(color, (rgb_color{178, 0, 0, 255}));
        EXPECT_EQ(font, *be_plain_font);
        text->GetFontAndColor(9, &font, &color);
        EXPECT_COLOR(color, (rgb_color{178, 0, 0, 255}));
        text->GetFontAndColor(10, &font, &color);
        EXPECT_COLOR(color, irc_color[1].color);
        text->GetFontAndColor(11, &font, &color);
        EXPECT_COLOR(color, irc_color[0].color);
    });
}

TEST_F(IRCViewTest, AFullOutputLosesWholeLinesAtTheFrontOrExactBytes)
{
    // 16380 bytes of 10-byte lines ("line 0000\n"...), then 10 more:
    // over = 7, so the cut ends after the first line end.
    std::string all;
    for (int i = 0; all.size() < 16380; i++) {
        char line[32];
        snprintf(line, sizeof line, "line %04d\n", i);
        all += line;
    }
    all.resize(16380);
    driver->Locked(window, [&] { text->SetText(all.c_str()); });
    Print("0123456789");
    std::string out = Output();
    EXPECT_EQ(out.substr(0, 10), "line 0001\n");
    EXPECT_EQ(out.size(), 16380u - 10 + 10);
    EXPECT_LT(out.size(), 16384u);

    // No line end among the first 512 bytes: exactly the bytes needed go.
    std::string lump(16000, 'a');
    for (size_t i = 0; i < lump.size(); i++)
        lump[i] = char('a' + i % 26);
    driver->Locked(window, [&] { text->SetText(lump.c_str()); });
    std::string big(1000, 'z');
    Print(big);
    out = Output();
    EXPECT_EQ(out.size(), 16383u);
    EXPECT_EQ(out.substr(0, 10), lump.substr(617, 10));
    EXPECT_EQ(out.substr(out.size() - 1000), big);

    // A cut that falls inside a character moves past it.
    std::string wide;
    while (wide.size() < 16300)
        wide += "\xc3\xa9"; // é
    driver->Locked(window, [&] { text->SetText(wide.c_str()); });
    Print(std::string(600, 'q')); // over = 517: inside the 259th é
    out = Output();
    EXPECT_EQ(out.substr(0, 2), "\xc3\xa9");
    EXPECT_EQ(out.size(), wide.size() - 518 + 600);

    // One text longer than the whole output: the front of it is kept and
    // coloured, the view never over its limit.
    Print(std::string(20000, 'w'), 4);
    out = Output();
    EXPECT_LE(out.size(), 16384u);
    EXPECT_GT(out.size(), 16000u);
    driver->Locked(window, [&] {
        BFont font;
        rgb_color color;
        text->GetFontAndColor(text->TextLength() - 1, &font, &color);
        EXPECT_COLOR(color, irc_color[4].color);
    });
}

TEST_F(IRCViewTest, FollowsTheEndOnlyWhenTheReaderIsThere)
{
    for (int i = 0; i < 100; i++)
        Print("line " + std::to_string(i) + "\n");
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        float min, max;
        bar->GetRange(&min, &max);
        EXPECT_GT(max, 0);
        EXPECT_EQ(bar->Value(), max) << "at the end";
    });
    driver->Locked(window, [&] {
        BPoint end = text->PointAt(text->TextLength());
        EXPECT_LE(end.y, bar->Value() + text->Bounds().Height()) << "the last line shows";
    });

    // Scrolled up: new lines leave the view where it is.
    driver->Locked(window, [&] { bar->SetValue(text->LineHeight(0) * 20); });
    EXPECT_EQ(FirstVisibleLine(), "line 20\n");
    Print("more\n");
    EXPECT_EQ(FirstVisibleLine(), "line 20\n");

    // Also when lines go at the top to make room.
    std::string filler(16384 - Output().size() - 20, '.');
    filler += "\n";
    Print(filler);
    ASSERT_EQ(FirstVisibleLine(), "line 20\n");
    Print("tipping over the limit\n");
    EXPECT_EQ(Output().substr(0, 7), "line 1\n") << "the first line went";
    EXPECT_EQ(FirstVisibleLine(), "line 20\n");

    // Back at the end, it follows again.
    driver->Locked(window, [&] {
        float min, max;
        bar->GetRange(&min, &max);
        bar->SetValue(max);
    });
    Print("last\n");
    driver->Locked(window, [&] {
        float min, max;
        bar->GetRange(&min, &max);
        EXPECT_EQ(bar->Value(), max);
    });
}

TEST_F(IRCViewTest, EnterPostsNtrAndTheArrowsBrowseTheHistory)
{
    BMessage* model = input->Message();
    driver->Key(B_UP_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "") << "Up with an empty history";

    driver->Type("hello there world");
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(NtrFor(model), 1);
    EXPECT_EQ(Input(), "hello there world") << "the window clears the line, not the filter";
    driver->Locked(window, [&] { input->SetText(""); });
    driver->Type("/join #pelmor");
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle()); // typing is delivered before the line is cleared
    driver->Locked(window, [&] { input->SetText(""); });
    driver->Key(B_ENTER); // an empty line is sent and remembered too
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(NtrFor(model), 3);

    driver->Key(B_UP_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "");
    driver->Key(B_UP_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "/join #pelmor");
    EXPECT_EQ(Selection().first, Selection().second) << "a command shows unselected";
    driver->Key(B_UP_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "hello there world");
    EXPECT_EQ(Selection(), std::make_pair(int32(6), int32(17))) << "all after the first word";
    driver->Key(B_UP_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "hello there world") << "Up stops at the oldest";
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_DOWN_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "");
    driver->Key(B_DOWN_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "") << "past the newest";
    driver->Key(B_UP_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "") << "browsing starts again at the newest";
    EXPECT_EQ(NtrFor(model), 3) << "browsing sends nothing";

    // Command keys pass through: Select All reaches the field.
    driver->Locked(window, [&] { input->SetText("abc def"); });
    driver->Key('a', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Selection(), std::make_pair(int32(0), int32(7)));
    EXPECT_EQ(Input(), "abc def");
}

TEST_F(IRCViewTest, KeysInTheOutputGoToTheInputLine)
{
    for (int i = 0; i < 60; i++)
        Print("line " + std::to_string(i) + "\n");
    driver->Locked(window, [&] {
        input->SetText("hi");
        bar->SetValue(text->LineHeight(0) * 5);
        text->MakeFocus(true);
    });
    float before = driver->Locked(window, [&] { return bar->Value(); });
    for (char key : {char(B_PAGE_DOWN), char(B_PAGE_UP), char(B_END), char(B_HOME),
                     char(B_DOWN_ARROW), char(B_BACKSPACE), char(B_TAB)})
        driver->Key(key);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(bar->Value(), before) << "no key scrolls the output";
        EXPECT_TRUE(text->IsFocus());
    });
    EXPECT_EQ(Input(), "hi");

    driver->Type(" x\xc3\xa9");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "hi x\xc3\xa9");
    driver->Locked(window, [&] {
        EXPECT_TRUE(input->TextView()->IsFocus());
        int32 start, end;
        input->TextView()->GetSelection(&start, &end);
        EXPECT_EQ(start, 6);
        EXPECT_EQ(end, 6);
    });

    // Command keys stay with the output (copying from it types nothing).
    driver->Locked(window, [&] { text->MakeFocus(true); });
    driver->Key('a', B_COMMAND_KEY);
    driver->Key('c', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Input(), "hi x\xc3\xa9");
    EXPECT_EQ(BPrivate::DisplayServer::Get()->ClipboardText(), Output());

    // Enter in the output sends the input line, without history.
    driver->Locked(window, [&] { text->MakeFocus(true); });
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(NtrFor(input->Message()), 1);
    EXPECT_EQ(Output().find("hi x"), std::string::npos);
}

TEST(TextFilter, PassesTabAndPagesAndSwallowsArrowsWithoutHistory)
{
    textFilter filter(false);
    BTextView field(BRect(0, 0, 100, 14), "f", BRect(0, 0, 100, 14), 0, B_WILL_DRAW);
    BHandler* target = &field;
    auto key = [&](char byte, int32 modifiers = 0) {
        BMessage message(B_KEY_DOWN);
        message.AddInt8("byte", int8(byte));
        message.AddInt32("modifiers", modifiers);
        return filter.Filter(&message, &target);
    };
    for (char byte : {char(B_TAB), char(B_PAGE_UP), char(B_PAGE_DOWN), 'a', char(B_BACKSPACE),
                      char(B_DELETE), char(B_ESCAPE)})
        EXPECT_EQ(key(byte), B_DISPATCH_MESSAGE) << int(byte);
    field.SetText("kept");
    EXPECT_EQ(key(B_UP_ARROW), B_SKIP_MESSAGE);
    EXPECT_EQ(key(B_DOWN_ARROW), B_SKIP_MESSAGE);
    EXPECT_STREQ(field.Text(), "kept") << "no history: the arrows do nothing";
    EXPECT_EQ(key(B_ENTER), B_SKIP_MESSAGE);
    EXPECT_EQ(filter.CountHistory(), 0);
    EXPECT_EQ(key(B_ENTER, B_COMMAND_KEY), B_DISPATCH_MESSAGE);
}

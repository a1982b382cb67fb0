// Text views, typed into, clicked and dragged over as a person would, and
// fed as the chat window feeds its log.

#include "ControlTestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <AppDefs.h>
#include <DisplayServer.h>
#include <OS.h>
#include <ScrollBar.h>
#include <TextView.h>

#include "ControlLook.h"

namespace
{

const rgb_color kRed = {200, 0, 0, 255};
const rgb_color kBlue = {0, 0, 200, 255};

bool same_color(rgb_color a, rgb_color b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// A run array of one style per piece, pieces given as (offset, colour).
text_run_array* make_runs(std::initializer_list<std::pair<int32, rgb_color>> pieces,
                          const BFont& font = *be_plain_font)
{
    text_run_array* runs = BTextView::AllocRunArray(int32(pieces.size()));
    int32 i = 0;
    for (const auto& [offset, color] : pieces)
        runs->runs[i++] = text_run{offset, font, color};
    return runs;
}

class TextViews : public ControlTest
{
protected:
    BTextView* MakeView(BRect frame = BRect(10, 10, 209, 109), const char* name = "text",
                        uint32 resizingMode = B_FOLLOW_NONE)
    {
        BRect textRect = frame.OffsetToCopy(0, 0).InsetByCopy(2, 2);
        return Add(new BTextView(frame, name, textRect, resizingMode, B_WILL_DRAW));
    }

    BPoint InWindow(BView* view, BPoint point)
    {
        return driver->Locked(window, [&] { return view->_ToWindow(point); });
    }

    // The middle of the line at the caret position before `offset`.
    BPoint AtOffset(BTextView* view, int32 offset, float dx = 0)
    {
        return driver->Locked(window, [&] {
            float height = 0;
            BPoint point = view->PointAt(offset, &height);
            return view->_ToWindow(point + BPoint(dx, height / 2));
        });
    }

    std::string TextOf(BTextView* view)
    {
        return driver->Locked(window, [&] { return std::string(view->Text()); });
    }

    std::pair<int32, int32> SelectionOf(BTextView* view)
    {
        return driver->Locked(window, [&] {
            int32 start = -1, end = -1;
            view->GetSelection(&start, &end);
            return std::make_pair(start, end);
        });
    }

    void Keys(std::initializer_list<char> keys, uint32 modifiers = 0)
    {
        for (char key : keys)
            driver->Key(key, modifiers);
        ASSERT_TRUE(driver->WaitIdle());
    }
};

using Selection = std::pair<int32, int32>;

} // namespace

// -- typing -----------------------------------------------------------------------------------

TEST_F(TextViews, TypingInsertsCharactersAndBackspaceAndDeleteTakeWholeOnes)
{
    BTextView* view = MakeView();
    driver->Click(view);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(driver->Locked(window, [&] { return view->IsFocus(); })) << "a press focuses";

    driver->Type("h\xC3\xA9llo \xE2\x82\xAC");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(view), "h\xC3\xA9llo \xE2\x82\xAC");
    EXPECT_EQ(SelectionOf(view), Selection(10, 10));

    // Backspace takes the three bytes of the euro sign at once.
    Keys({B_BACKSPACE});
    EXPECT_EQ(TextOf(view), "h\xC3\xA9llo ");
    // Left over "llo " and the two-byte e; Delete removes it whole.
    Keys({B_LEFT_ARROW, B_LEFT_ARROW, B_LEFT_ARROW, B_LEFT_ARROW, B_LEFT_ARROW});
    EXPECT_EQ(SelectionOf(view), Selection(1, 1));
    Keys({B_DELETE});
    EXPECT_EQ(TextOf(view), "hllo ");
    // Enter breaks the line; Home and End stay on the caret's line.
    Keys({B_END, B_ENTER});
    driver->Type("x");
    Keys({B_HOME});
    EXPECT_EQ(TextOf(view), "hllo \nx");
    EXPECT_EQ(SelectionOf(view), Selection(6, 6));
    Keys({B_UP_ARROW, B_END});
    EXPECT_EQ(SelectionOf(view), Selection(5, 5));
    Keys({B_DOWN_ARROW});
    EXPECT_EQ(SelectionOf(view), Selection(7, 7)) << "down from past x's column: the end";

    // A composed character arriving as several characters in one key is
    // inserted whole; control bytes in it are dropped.
    driver->Locked(window, [&] { view->KeyDown("\xC3\xB1\x01z", 4); });
    EXPECT_EQ(TextOf(view), "hllo \nx\xC3\xB1z");
}

TEST_F(TextViews, ShiftExtendsTheSelectionAndTypingReplacesIt)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] { view->SetText("alpha beta\ngamma"); });
    driver->Click(view);
    ASSERT_TRUE(driver->WaitIdle());
    Keys({B_HOME}, B_COMMAND_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(0, 0));

    Keys({B_RIGHT_ARROW, B_RIGHT_ARROW}, B_SHIFT_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(0, 2));
    Keys({B_END}, B_SHIFT_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(0, 10));
    Keys({B_DOWN_ARROW}, B_SHIFT_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(0, 16));
    Keys({B_LEFT_ARROW, B_LEFT_ARROW}, B_SHIFT_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(0, 14));

    // Without Shift an arrow collapses the selection to its side.
    Keys({B_LEFT_ARROW});
    EXPECT_EQ(SelectionOf(view), Selection(0, 0));
    // Shift from a caret in the middle goes either way from there.
    Keys({B_RIGHT_ARROW, B_RIGHT_ARROW, B_RIGHT_ARROW});
    Keys({B_LEFT_ARROW, B_LEFT_ARROW}, B_SHIFT_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(1, 3));
    // Ctrl moves by words.
    Keys({B_RIGHT_ARROW}, B_COMMAND_KEY | B_SHIFT_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(3, 5)) << "the anchor stays, the caret jumps";

    driver->Type("Z");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(view), "alpZ beta\ngamma");
    EXPECT_EQ(SelectionOf(view), Selection(4, 4));
}

TEST_F(TextViews, ViewsThatAreNotEditableIgnoreTypingButKeepSelecting)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] {
        view->SetText("read only");
        view->MakeEditable(false);
    });
    driver->Click(view);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Type("xyz");
    Keys({B_BACKSPACE, B_DELETE, B_ENTER});
    EXPECT_EQ(TextOf(view), "read only");
    Keys({'v'}, B_COMMAND_KEY);
    Keys({'x'}, B_COMMAND_KEY);
    EXPECT_EQ(TextOf(view), "read only") << "no paste or cut either";

    Keys({'a'}, B_COMMAND_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(0, 9));
    driver->Click(window, AtOffset(view, 2, 1));
    Keys({B_RIGHT_ARROW, B_RIGHT_ARROW}, B_SHIFT_KEY);
    EXPECT_EQ(SelectionOf(view), Selection(2, 4)) << "Shift and the arrows still select";

    // Not selectable either: a press neither focuses nor selects.
    BTextView* other = MakeView(BRect(10, 150, 209, 199), "other");
    driver->Locked(window, [&] {
        other->SetText("label text");
        other->MakeEditable(false);
        other->MakeSelectable(false);
    });
    Selection before = SelectionOf(other);
    driver->Drag(window, AtOffset(other, 0), AtOffset(other, 5), 3);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(SelectionOf(other), before);
    EXPECT_EQ(before.first, before.second);
    EXPECT_FALSE(driver->Locked(window, [&] { return other->IsFocus(); }));
}

// -- the mouse and the clipboard ---------------------------------------------------------------

TEST_F(TextViews, DraggingSelectsAndDoubleAndTripleClicksTakeWordsAndLines)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] { view->SetText("first line here\nsecond line"); });

    driver->Drag(window, AtOffset(view, 6, 1), AtOffset(view, 10, 1), 4);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(SelectionOf(view), Selection(6, 10));
    // Backwards across lines: the press stays one end.
    driver->Drag(window, AtOffset(view, 20, 1), AtOffset(view, 3, 1), 4);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(SelectionOf(view), Selection(3, 20));

    driver->Click(window, AtOffset(view, 7, 2), B_PRIMARY_MOUSE_BUTTON, 1);
    driver->Click(window, AtOffset(view, 7, 2), B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(SelectionOf(view), Selection(6, 10)) << "the word 'line'";
    driver->Click(window, AtOffset(view, 7, 2), B_PRIMARY_MOUSE_BUTTON, 3);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(SelectionOf(view), Selection(0, 16)) << "the line and its line end";

    // Shift-click extends from where the selection was anchored.
    driver->Click(window, AtOffset(view, 2, 1));
    driver->Click(window, AtOffset(view, 13, 1), B_PRIMARY_MOUSE_BUTTON, 1, B_SHIFT_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(SelectionOf(view), Selection(2, 13));
}

TEST_F(TextViews, DraggingPastTheBottomScrollsAndSelectsOn)
{
    BTextView* view = MakeView(BRect(10, 10, 209, 69));
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "line " + std::to_string(i) + "\n";
    driver->Locked(window, [&] { view->SetText(text.c_str()); });
    BPoint from = AtOffset(view, 0, 1);
    BPoint below = InWindow(view, BPoint(50, 120));
    driver->MouseDown(window, from);
    driver->MouseMove(window, below, B_PRIMARY_MOUSE_BUTTON);
    snooze(400000);
    driver->MouseUp(window, below);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_GT(view->Bounds().top, 20) << "scrolled while the pointer was below";
        int32 start, end;
        view->GetSelection(&start, &end);
        EXPECT_EQ(start, 0);
        EXPECT_GT(view->LineAt(end), 4) << "the selection followed past the first screen";
    });
}

TEST_F(TextViews, CopyInOneViewAndPasteIntoAnother)
{
    BTextView* log = MakeView(BRect(10, 10, 209, 109), "log");
    BTextView* input = MakeView(BRect(10, 150, 209, 199), "input");
    driver->Locked(window, [&] {
        log->SetText("<ann> hello there\n<bob> hi");
        log->MakeEditable(false);
    });
    driver->Click(window, AtOffset(log, 6, 2));
    driver->Click(window, AtOffset(log, 6, 2), B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_EQ(SelectionOf(log), Selection(6, 11));
    Keys({'c'}, B_COMMAND_KEY);
    EXPECT_EQ(BPrivate::DisplayServer::Get()->ClipboardText(), "hello");

    driver->Click(input);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Type("say ");
    Keys({'v'}, B_COMMAND_KEY);
    EXPECT_EQ(TextOf(input), "say hello");
    EXPECT_EQ(SelectionOf(input), Selection(9, 9));

    // Cut takes it away again; the clipboard messages do the same.
    Keys({B_LEFT_ARROW, B_LEFT_ARROW, B_LEFT_ARROW, B_LEFT_ARROW, B_LEFT_ARROW}, B_SHIFT_KEY);
    Keys({'x'}, B_COMMAND_KEY);
    EXPECT_EQ(TextOf(input), "say ");
    EXPECT_EQ(BPrivate::DisplayServer::Get()->ClipboardText(), "hello");
    window->PostMessage(B_PASTE, input);
    window->PostMessage(B_PASTE, input);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(input), "say hellohello");
    window->PostMessage(B_SELECT_ALL, input);
    window->PostMessage(B_CUT, input);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(input), "");
    EXPECT_EQ(BPrivate::DisplayServer::Get()->ClipboardText(), "say hellohello");
}

// -- styles
// ----------------------------------------------------------------------------------------

TEST_F(TextViews, RunsSurviveInsertsDeletesAndRoundTrips)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] {
        text_run_array* runs = make_runs({{0, kRed}, {4, kBlue}});
        view->Insert(0, "<me> hi", 7, runs);
        BTextView::FreeRunArray(runs);

        int32 length = 0;
        text_run_array* back = view->RunArray(0, view->TextLength(), &length);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(length, 7);
        ASSERT_EQ(back->count, 2);
        EXPECT_EQ(back->runs[0].offset, 0);
        EXPECT_TRUE(same_color(back->runs[0].color, kRed));
        EXPECT_EQ(back->runs[1].offset, 4);
        EXPECT_TRUE(same_color(back->runs[1].color, kBlue));

        // The array sets the same styles on a copy of the text elsewhere.
        view->Insert(7, "\n<me> hi", 8, nullptr);
        view->SetRunArray(8, 15, back);
        BTextView::FreeRunArray(back);
        rgb_color color;
        view->GetFontAndColor(9, nullptr, &color);
        EXPECT_TRUE(same_color(color, kRed));
        view->GetFontAndColor(13, nullptr, &color);
        EXPECT_TRUE(same_color(color, kBlue));

        // Without runs, text takes the style of the character before it.
        view->Insert(2, "XY", 2, nullptr);
        view->GetFontAndColor(3, nullptr, &color);
        EXPECT_TRUE(same_color(color, kRed));
        view->GetFontAndColor(7, nullptr, &color);
        EXPECT_TRUE(same_color(color, kBlue)) << "the blue run moved with its text";

        // Deleting across the boundary keeps the style of what follows.
        view->Delete(3, 8);
        EXPECT_STREQ(view->Text(), "<mXi\n<me> hi");
        view->GetFontAndColor(3, nullptr, &color);
        EXPECT_TRUE(same_color(color, kBlue));
        text_run_array* part = view->RunArray(1, 5, &length);
        EXPECT_EQ(length, 4);
        ASSERT_EQ(part->count, 2);
        EXPECT_EQ(part->runs[1].offset, 2);
        BTextView::FreeRunArray(part);

        // A bold selection; the rest keeps its font.
        view->Select(0, 2);
        view->SetFontAndColor(be_bold_font, B_FONT_ALL, &kBlue);
        BFont font;
        view->GetFontAndColor(1, &font, &color);
        EXPECT_EQ(font, *be_bold_font);
        EXPECT_TRUE(same_color(color, kBlue));
        view->GetFontAndColor(2, &font, &color);
        EXPECT_EQ(font, *be_plain_font);
        EXPECT_TRUE(same_color(color, kRed));

        // With nothing selected, it is for what is typed next.
        rgb_color before;
        view->GetFontAndColor(4, nullptr, &before);
        view->Select(5, 5);
        view->SetFontAndColor(nullptr, 0, &kRed);
        view->GetFontAndColor(4, nullptr, &color);
        EXPECT_TRUE(same_color(color, before)) << "the text itself is unchanged";
        EXPECT_TRUE(same_color(before, kBlue));
    });
    driver->Click(window, AtOffset(view, 5, 1));
    driver->Locked(window, [&] { view->SetFontAndColor(nullptr, 0, &kRed); });
    driver->Type("!");
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        ASSERT_EQ(view->ByteAt(5), '!');
        rgb_color color;
        view->GetFontAndColor(5, nullptr, &color);
        EXPECT_TRUE(same_color(color, kRed));
    });
}

TEST_F(TextViews, ViewsThatAreNotStylableKeepOneStyle)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] {
        view->SetStylable(false);
        text_run_array* runs = make_runs({{0, kRed}, {2, kBlue}});
        view->SetText("abcd", runs);
        view->SetRunArray(0, 4, runs);
        BTextView::FreeRunArray(runs);
        text_run_array* back = view->RunArray(0, 4);
        EXPECT_EQ(back->count, 1);
        BTextView::FreeRunArray(back);
        view->Select(1, 2);
        view->SetFontAndColor(nullptr, 0, &kBlue);
        rgb_color color;
        view->GetFontAndColor(0, nullptr, &color);
        EXPECT_TRUE(same_color(color, kBlue)) << "all of it";
    });
}

// -- layout
// -----------------------------------------------------------------------------------------

TEST_F(TextViews, TextWrapsInsideTheTextRectAndRewrapsWhenItChanges)
{
    BTextView* view = MakeView(BRect(10, 10, 209, 209), "text", B_FOLLOW_ALL_SIDES);
    const char* text = "the quick brown fox jumps over the lazy dog and runs far away";
    driver->Locked(window, [&] {
        view->SetTextRect(BRect(5, 5, 104, 195));
        view->SetText(text);
        int32 lines = view->CountLines();
        EXPECT_GT(lines, 2);
        for (int32 line = 0; line < lines; line++) {
            // The last character of each line ends inside the rectangle.
            int32 next = line + 1 < lines ? view->OffsetAt(line + 1) : view->TextLength();
            int32 last = next - 1;
            while (last > view->OffsetAt(line) && view->ByteAt(last) == ' ')
                last--;
            BPoint after = view->PointAt(last + 1);
            if (view->LineAt(last + 1) == line) {
                EXPECT_LE(after.x, 105) << "line " << line;
            }
        }

        view->SetTextRect(BRect(5, 5, 194, 195));
        int32 wider = view->CountLines();
        EXPECT_LT(wider, lines);
        view->SetWordWrap(false);
        EXPECT_EQ(view->CountLines(), 1);
        view->SetWordWrap(true);
        EXPECT_EQ(view->CountLines(), wider);
    });
    // Resizing the view keeps the text rect's margins: narrower, more lines.
    int32 before = driver->Locked(window, [&] { return view->CountLines(); });
    driver->Locked(window, [&] { view->ResizeBy(-100, 0); });
    driver->Locked(window, [&] {
        EXPECT_FLOAT_EQ(view->TextRect().right, 94);
        EXPECT_GT(view->CountLines(), before);
    });
}

TEST_F(TextViews, LinesOffsetsAndPointsAgree)
{
    BTextView* view = MakeView(BRect(10, 10, 159, 259));
    driver->Locked(window, [&] {
        text_run_array* runs = make_runs({{0, kRed}});
        BFont big(be_plain_font);
        big.SetSize(20);
        runs->runs[0].font = big;
        view->SetText("short\n\nA longer paragraph that has to wrap over several lines "
                      "\xE2\x82\xAC\xC3\xA9 here\nlast");
        view->SetRunArray(0, 5, runs);
        BTextView::FreeRunArray(runs);

        int32 lines = view->CountLines();
        ASSERT_GT(lines, 5);
        float top = view->TextRect().top;
        float total = 0;
        for (int32 line = 0; line < lines; line++) {
            int32 start = view->OffsetAt(line);
            EXPECT_EQ(view->LineAt(start), line);
            float height = 0;
            BPoint point = view->PointAt(start, &height);
            EXPECT_FLOAT_EQ(point.y, top + total) << "line " << line;
            EXPECT_FLOAT_EQ(height, view->LineHeight(line));
            EXPECT_EQ(view->LineAt(point + BPoint(1, height / 2)), line);
            total += height;
        }
        EXPECT_FLOAT_EQ(view->TextHeight(0, lines - 1), total);
        EXPECT_GT(view->LineHeight(0), view->LineHeight(1)) << "the big first line";
        EXPECT_FLOAT_EQ(view->LineHeight(1), 13);

        // Every character boundary maps to a point and back.
        for (int32 offset = 0; offset <= view->TextLength(); offset++) {
            if ((uint8(view->ByteAt(offset)) & 0xC0) == 0x80)
                continue;
            float height = 0;
            BPoint point = view->PointAt(offset, &height);
            int32 back = view->OffsetAt(point + BPoint(0.5f, height / 2));
            EXPECT_EQ(back, offset) << "offset " << offset;
        }
        // Clamped: inside a character, and outside the text.
        EXPECT_EQ(view->LineAt(-5), 0);
        EXPECT_EQ(view->LineAt(1 << 30), lines - 1);
        EXPECT_EQ(view->OffsetAt(lines + 3), view->TextLength());
        EXPECT_EQ(view->OffsetAt(BPoint(-50, -50)), 0);
        EXPECT_EQ(view->OffsetAt(BPoint(500, 5000)), view->TextLength());

        view->GoToLine(3);
        EXPECT_EQ(view->CurrentLine(), 3);
        int32 start, end;
        view->GetSelection(&start, &end);
        EXPECT_EQ(start, view->OffsetAt(3));
        EXPECT_EQ(end, start);
    });
}

TEST_F(TextViews, ScrollingKeepsTheLineInViewAndTheEndAtTheBottom)
{
    BTextView* view = MakeView(BRect(10, 10, 199, 109));
    auto* bar = Add(new BScrollBar(BRect(200, 10, 213, 109), "bar", view, 0, 0, B_VERTICAL));
    std::string text;
    for (int i = 0; i < 60; i++)
        text += "line " + std::to_string(i) + "\n";
    driver->Locked(window, [&] {
        view->SetText(text.c_str());
        float total = view->TextHeight(0, view->CountLines() - 1);
        // The insets (2 above and below the text) count.
        float range = total + 4 - 100;
        float min, max;
        bar->GetRange(&min, &max);
        EXPECT_FLOAT_EQ(min, 0);
        EXPECT_FLOAT_EQ(max, range);
        EXPECT_NEAR(bar->Proportion(), 100 / (total + 4), 0.001);
        float small, big;
        bar->GetSteps(&small, &big);
        EXPECT_FLOAT_EQ(small, 13);
        EXPECT_FLOAT_EQ(big, 100 - 13);

        view->ScrollToOffset(view->TextLength());
        BRect bounds = view->Bounds();
        EXPECT_FLOAT_EQ(bounds.top, range) << "the end of the text at the bottom";
        EXPECT_FLOAT_EQ(bar->Value(), range);

        // Up to a line above: it shows at the top.
        int32 offset = view->OffsetAt(20);
        view->ScrollToOffset(offset);
        EXPECT_FLOAT_EQ(view->Bounds().top, view->PointAt(offset).y);
        // A line in view moves nothing.
        view->ScrollToOffset(view->OffsetAt(21));
        EXPECT_FLOAT_EQ(view->Bounds().top, view->PointAt(offset).y);
        // Down to a line below: it shows at the bottom.
        int32 below = view->OffsetAt(40);
        view->ScrollToOffset(below);
        float height = 0;
        float y = view->PointAt(below, &height).y;
        EXPECT_FLOAT_EQ(view->Bounds().bottom + 1, y + height);

        // Shorter text pulls the view back within the range.
        view->ScrollToOffset(view->TextLength());
        view->Delete(0, view->OffsetAt(55));
        EXPECT_FLOAT_EQ(view->Bounds().top, 0);
        bar->GetRange(&min, &max);
        EXPECT_FLOAT_EQ(max, 0);
    });

    // The wheel over the view moves it through its bar.
    driver->Locked(window, [&] {
        view->SetText(text.c_str());
        view->ScrollTo(0, 0);
    });
    driver->Wheel(window, InWindow(view, BPoint(50, 50)), 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_FLOAT_EQ(driver->Locked(window, [&] { return view->Bounds().top; }), 2 * 3 * 13);
}

TEST_F(TextViews, KeysScrollAViewThatIsNotEditable)
{
    BTextView* view = MakeView(BRect(10, 10, 199, 109));
    std::string text;
    for (int i = 0; i < 60; i++)
        text += "line " + std::to_string(i) + "\n";
    driver->Locked(window, [&] {
        view->SetText(text.c_str());
        view->MakeEditable(false);
    });
    driver->Click(view);
    ASSERT_TRUE(driver->WaitIdle());
    Keys({B_DOWN_ARROW, B_DOWN_ARROW});
    EXPECT_FLOAT_EQ(driver->Locked(window, [&] { return view->Bounds().top; }), 26);
    Keys({B_PAGE_DOWN});
    EXPECT_FLOAT_EQ(driver->Locked(window, [&] { return view->Bounds().top; }), 26 + 100 - 13);
    Keys({B_END});
    driver->Locked(window, [&] {
        EXPECT_FLOAT_EQ(view->Bounds().bottom + 1, view->TextHeight(0, view->CountLines() - 1) + 4);
    });
    Keys({B_HOME});
    EXPECT_FLOAT_EQ(driver->Locked(window, [&] { return view->Bounds().top; }), 0);

    // Editable, the page keys move the caret a page and the view with it.
    driver->Locked(window, [&] {
        view->MakeEditable(true);
        view->Select(0, 0);
    });
    Keys({B_PAGE_DOWN});
    driver->Locked(window, [&] {
        int32 caret;
        view->GetSelection(&caret, nullptr);
        EXPECT_EQ(view->LineAt(caret), 7) << "a page is the view's 100 pixels less a line";
        EXPECT_FLOAT_EQ(view->Bounds().top, 100 - 13);
    });

    // A wheel message on a view without a bar scrolls three lines a step.
    driver->Locked(window, [&] { view->ScrollTo(0, 0); });
    BMessage wheel(B_MOUSE_WHEEL_CHANGED);
    wheel.AddFloat("be:wheel_delta_x", 0);
    wheel.AddFloat("be:wheel_delta_y", 2);
    window->PostMessage(&wheel, view);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_FLOAT_EQ(driver->Locked(window, [&] { return view->Bounds().top; }), 2 * 3 * 13);
}

// -- limits and bad input
// ---------------------------------------------------------------------------

TEST_F(TextViews, MaxBytesCutsInsertsAtCharacterBoundariesAndRefusesTyping)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] {
        view->SetMaxBytes(10);
        view->SetText("aaaaaaaa\xE2\x82\xAC");
        EXPECT_STREQ(view->Text(), "aaaaaaaa") << "the euro sign did not fit whole";
        view->Insert(0, "\xC3\xA9\xC3\xA9", 4, nullptr);
        EXPECT_EQ(view->TextLength(), 10);
        EXPECT_STREQ(view->Text(), "\xC3\xA9"
                                   "aaaaaaaa");
    });
    driver->Click(view);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Type("b");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(view), "\xC3\xA9"
                            "aaaaaaaa");
    Keys({B_BACKSPACE, B_BACKSPACE});
    driver->Type("\xE2\x82\xAC"); // three bytes into two: refused
    driver->Type("bc");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(view), "\xC3\xA9"
                            "aaaaaabc");

    driver->Locked(window, [&] {
        // A huge insert takes what fits; lowering the limit cuts the text.
        view->SetMaxBytes(1000);
        std::string huge(1 << 20, 'z');
        view->SetText(huge.c_str(), int32(huge.size()));
        EXPECT_EQ(view->TextLength(), 1000);
        view->SetMaxBytes(3);
        EXPECT_EQ(view->TextLength(), 3);
        view->SetMaxBytes(-4);
        EXPECT_EQ(view->TextLength(), 0);
        EXPECT_EQ(view->MaxBytes(), 0);
    });
}

TEST_F(TextViews, InvalidTextIsKeptAndOffsetsStayOnCharacters)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] {
        // An overlong slash, a lone surrogate, a cut-off euro sign, a valid
        // four-byte character; a NUL ends the insert.
        const char bad[] = "\xC0\xAF|\xED\xA0\x80|\xE2\x82|\xF0\x9F\x98\x80|\0hidden";
        view->SetText(bad, int32(sizeof(bad)));
        ASSERT_EQ(view->TextLength(), 15);
        EXPECT_EQ(memcmp(view->Text(), bad, 15), 0);

        // Each bad byte is a character; the good ones are stepped over whole.
        int32 expected[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 15};
        std::vector<int32> caret;
        view->Select(0, 0);
        for (int i = 0; i < 20; i++) {
            int32 at;
            view->GetSelection(&at, nullptr);
            if (!caret.empty() && caret.back() == at)
                break;
            caret.push_back(at);
            view->KeyDown("\x1d", 1); // right arrow
        }
        EXPECT_EQ(caret, std::vector<int32>(std::begin(expected), std::end(expected)));

        // Offsets inside the good character move to its start.
        view->Select(12, 13);
        int32 start, end;
        view->GetSelection(&start, &end);
        EXPECT_EQ(start, 10);
        EXPECT_EQ(end, 10);
        EXPECT_EQ(view->PointAt(12).x, view->PointAt(10).x);
        view->Select(1 << 30, -7);
        view->GetSelection(&start, &end);
        EXPECT_EQ(start, 0);
        EXPECT_EQ(end, 15);

        // Nonsense arguments do nothing.
        view->Insert(-3, nullptr, 5, nullptr);
        view->Insert(99, "", 0, nullptr);
        view->Delete(9, 2);
        EXPECT_EQ(view->TextLength(), 8);
        view->Delete(-100, 1 << 30);
        EXPECT_EQ(view->TextLength(), 0);
        view->SetText(nullptr);
        EXPECT_STREQ(view->Text(), "");
        EXPECT_EQ(view->ByteAt(0), 0);
        char buffer[4] = {'x', 'x', 'x', 'x'};
        view->GetText(-2, 100, buffer);
        EXPECT_EQ(buffer[0], '\0');
        EXPECT_EQ(BTextView::AllocRunArray(-1), nullptr);

        // Run offsets out of order and out of range.
        text_run_array* runs = make_runs({{50, kBlue}, {-4, kRed}, {2, kBlue}});
        view->SetText("abcdef", runs);
        BTextView::FreeRunArray(runs);
        rgb_color color;
        view->GetFontAndColor(0, nullptr, &color);
        EXPECT_TRUE(same_color(color, kRed));
        view->GetFontAndColor(3, nullptr, &color);
        EXPECT_TRUE(same_color(color, kBlue));
        view->SetTextRect(BRect(0, 0, -100, -100));
        view->SetText("still laid out");
        EXPECT_GE(view->CountLines(), 1);
    });
}

TEST_F(TextViews, VeryLongLinesAreLaidOutInPieces)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] {
        std::string line;
        while (line.size() < 20000)
            line += "word\xC3\xA9 ";
        line += "\nnext";
        view->SetText(line.c_str());
        EXPECT_EQ(view->TextLength(), int32(line.size()));
        // All of it is reachable and shown.
        int32 end = view->TextLength();
        EXPECT_EQ(view->LineAt(end), view->CountLines() - 1);
        EXPECT_GT(view->PointAt(end).y, view->PointAt(19000).y);
        // Edits in the middle keep the text whole, and it is laid out as
        // if it had been given at once.
        view->Insert(6000, "\n", 1, nullptr);
        view->Delete(6000, 6001);
        EXPECT_EQ(std::string(view->Text()), line);
        view->Insert(100, "inserted words ", 15, nullptr);
        view->Delete(9000, 9003);
        BTextView fresh(view->Frame(), "fresh", view->TextRect(), B_FOLLOW_NONE, B_WILL_DRAW);
        fresh.SetText(view->Text());
        ASSERT_EQ(fresh.CountLines(), view->CountLines());
        for (int32 i = 0; i < view->CountLines(); i++)
            ASSERT_EQ(fresh.OffsetAt(i), view->OffsetAt(i)) << "line " << i;
    });
}

TEST_F(TextViews, EditsKeepTextStylesAndLayoutAsAFreshViewWouldHaveThem)
{
    // Random edits against a plain model of the bytes and their colours;
    // now and then the view is compared with one given the whole text at
    // once, which lays out every paragraph anew.
    BTextView* view = MakeView(BRect(10, 10, 209, 209));
    std::mt19937 random(7);
    const std::vector<std::string> pieces = {
        "word ", "\n", "\xC3\xA9", "\xE2\x82\xAC ", "x", "\xF0\x9F\x98\x80", "two\nlines\n", "  "};
    const std::string longLine(4500, 'L');
    const rgb_color colors[] = {kRed, kBlue, {0, 120, 0, 255}};
    std::string text;
    std::vector<rgb_color> model; // a colour per byte
    auto boundary = [&](int32 offset) {
        while (offset > 0 && (uint8(text[size_t(offset)]) & 0xC0) == 0x80)
            offset--;
        return offset;
    };
    auto pick = [&](int32 limit) { return int32(random() % uint32(limit + 1)); };

    driver->Locked(window, [&] {
        for (int step = 0; step < 400; step++) {
            int kind = int(random() % 10);
            int32 length = int32(text.size());
            if (kind < 6 || length == 0) {
                std::string piece =
                    random() % 40 == 0 ? longLine : pieces[random() % pieces.size()];
                int32 at = boundary(pick(length));
                rgb_color color = colors[random() % 3];
                if (random() % 2 == 0) {
                    text_run_array* runs = make_runs({{0, color}});
                    view->Insert(at, piece.c_str(), int32(piece.size()), runs);
                    BTextView::FreeRunArray(runs);
                } else {
                    color = text.empty() ? view->HighColor() : model[size_t(at > 0 ? at - 1 : 0)];
                    view->Insert(at, piece.c_str(), int32(piece.size()));
                }
                text.insert(size_t(at), piece);
                model.insert(model.begin() + at, piece.size(), color);
            } else if (kind < 9 || length > 12000) {
                int32 from = boundary(pick(length)), to = boundary(pick(length));
                if (from > to)
                    std::swap(from, to);
                if (length > 12000)
                    from = 0;
                view->Delete(from, to);
                text.erase(size_t(from), size_t(to - from));
                model.erase(model.begin() + from, model.begin() + to);
            } else {
                int32 from = boundary(pick(length)), to = boundary(pick(length));
                if (from > to)
                    std::swap(from, to);
                rgb_color color = colors[random() % 3];
                text_run_array* runs = make_runs({{0, color}});
                view->SetRunArray(from, to, runs);
                BTextView::FreeRunArray(runs);
                std::fill(model.begin() + from, model.begin() + to, color);
            }

            ASSERT_EQ(std::string(view->Text()), text) << "step " << step;
            for (int32 offset = 0; offset < int32(text.size()); offset++) {
                if ((uint8(text[size_t(offset)]) & 0xC0) == 0x80)
                    continue;
                rgb_color color;
                view->GetFontAndColor(offset, nullptr, &color);
                ASSERT_TRUE(same_color(color, model[size_t(offset)]))
                    << "step " << step << " offset " << offset;
            }
            if (step % 25 != 24)
                continue;
            BTextView fresh(view->Frame(), "fresh", view->TextRect(), B_FOLLOW_NONE, B_WILL_DRAW);
            text_run_array* runs = view->RunArray(0, view->TextLength());
            fresh.SetText(text.c_str(), runs);
            BTextView::FreeRunArray(runs);
            int32 lines = view->CountLines();
            ASSERT_EQ(fresh.CountLines(), lines) << "step " << step;
            EXPECT_FLOAT_EQ(fresh.TextHeight(0, lines - 1), view->TextHeight(0, lines - 1));
            for (int32 line = 0; line < lines; line++) {
                ASSERT_EQ(fresh.OffsetAt(line), view->OffsetAt(line)) << "step " << step;
                EXPECT_EQ(fresh.PointAt(view->OffsetAt(line)), view->PointAt(view->OffsetAt(line)));
            }
        }
    });
}

// -- drawing
// ----------------------------------------------------------------------------------------

TEST_F(TextViews, SelectionAndCaretAreDrawn)
{
    BTextView* view = MakeView();
    driver->Locked(window, [&] { view->SetText("MMMM MMMM"); });
    driver->Click(window, AtOffset(view, 9, 2));
    ASSERT_TRUE(driver->WaitIdle());

    BPoint caret = AtOffset(view, 9);
    int dark = 0;
    Snapshot shot(*driver, window);
    for (int32 dx = -1; dx <= 1; dx++)
        dark += shot.At(int32(caret.x) + dx, int32(caret.y)).red < 60;
    EXPECT_GT(dark, 0) << "the caret after the text";

    driver->Locked(window, [&] { view->Select(0, 4); });
    ASSERT_TRUE(driver->WaitIdle());
    Snapshot selected(*driver, window);
    BPoint inside = AtOffset(view, 2);
    BPoint outside = AtOffset(view, 7);
    // Around the selected letters the selection colour; elsewhere white.
    int selection = 0, white = 0;
    for (int32 y = int32(inside.y) - 5; y <= int32(inside.y) + 5; y++) {
        selection += same_color(selected.At(int32(inside.x) - 12, y), BPrivate::kSelectionColor);
        white += same_color(selected.At(int32(outside.x), y), BPrivate::kFieldColor);
    }
    EXPECT_GT(selection, 0);
    EXPECT_GT(white, 0);
    int ink = 0;
    for (int32 x = int32(AtOffset(view, 0).x); x < int32(AtOffset(view, 4).x); x++)
        ink += selected.At(x, int32(inside.y)).red < 80;
    EXPECT_GT(ink, 3) << "the letters over it";
    dark = 0;
    for (int32 dx = -1; dx <= 1; dx++)
        dark += selected.At(int32(caret.x) + dx, int32(caret.y)).red < 60;
    EXPECT_EQ(dark, 0) << "no caret while something is selected";

    // Nor in a view that is not the focus.
    driver->Locked(window, [&] {
        view->Select(9, 9);
        view->MakeFocus(false);
    });
    ASSERT_TRUE(driver->WaitIdle());
    Snapshot unfocused(*driver, window);
    dark = 0;
    for (int32 dx = -1; dx <= 1; dx++)
        dark += unfocused.At(int32(caret.x) + dx, int32(caret.y)).red < 60;
    EXPECT_EQ(dark, 0);
}

// -- the chat log
// -----------------------------------------------------------------------------------

TEST_F(TextViews, AppendingToATrimmedLogLaysOutOnlyTheNewLines)
{
    BTextView* view = MakeView(BRect(10, 10, 375, 289), "log");
    auto* bar = Add(new BScrollBar(BRect(376, 10, 389, 289), "bar", view, 0, 0, B_VERTICAL));
    const int32 kCap = 16384;
    auto lineFor = [](int i) {
        return "<nick" + std::to_string(i % 7) + "> message number " + std::to_string(i) +
               " with some words in it\n";
    };
    text_run_array* runs = make_runs({{0, kRed}, {8, kBlue}});

    // Fill to 16 KB as the log would be, appended line by line.
    int next = 0;
    double fullLayout = 0;
    driver->Locked(window, [&] {
        view->MakeEditable(false);
        std::string text;
        while (int32(text.size()) < kCap) {
            std::string line = lineFor(next++);
            view->Insert(view->TextLength(), line.c_str(), int32(line.size()), runs);
            text += line;
        }
        // For comparison: laying out all of it at once.
        auto start = std::chrono::steady_clock::now();
        view->SetText(text.c_str());
        fullLayout =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    });

    // Lines are laid out when first drawn: the end of the text set above,
    // once shown.
    driver->Locked(window, [&] { view->ScrollToOffset(view->TextLength()); });
    ASSERT_TRUE(driver->WaitIdle());
    int64 layoutsBefore = driver->Locked(window, [&] { return view->_LayoutCount(); });
    double elapsed = 0;
    const int kAppends = 200;
    for (int batch = 0; batch < kAppends / 10; batch++) {
        driver->Locked(window, [&] {
            auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < 10; i++) {
                std::string line = lineFor(next++);
                int32 excess = view->TextLength() + int32(line.size()) - kCap;
                if (excess > 0) {
                    // Trim whole lines from the front, as the log does.
                    const char* text = view->Text();
                    const char* cut = strchr(text + excess - 1, '\n');
                    view->Delete(0, cut != nullptr ? int32(cut - text) + 1 : excess);
                }
                view->Insert(view->TextLength(), line.c_str(), int32(line.size()), runs);
                view->ScrollToOffset(view->TextLength());
            }
            elapsed +=
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        });
        ASSERT_TRUE(driver->WaitIdle()); // and it is drawn each time
    }
    BTextView::FreeRunArray(runs);

    driver->Locked(window, [&] {
        EXPECT_EQ(view->_LayoutCount() - layoutsBefore, kAppends) << "one paragraph per append";
        EXPECT_LE(view->TextLength(), kCap);
        EXPECT_GT(view->TextLength(), kCap - 200);
        std::string last = lineFor(next - 1);
        EXPECT_EQ(std::string(view->Text() + view->TextLength() - last.size()), last);
        float min, max;
        bar->GetRange(&min, &max);
        EXPECT_FLOAT_EQ(view->Bounds().top, max) << "kept at the end";
    });
    double perAppend = elapsed / kAppends;
    printf("[ text view ] 16 KB log: %.3f ms per trimmed append (%.0f appends/s); "
           "laying out all of it: %.2f ms\n",
           perAppend, 1000 / perAppend, fullLayout);
    // Generous, for sanitizer builds; the count above is the real check.
    EXPECT_LT(perAppend, 10.0);
}

// A log that follows its end, printed into as the program's output view
// does (trimmed at 16 KB by whole lines, kept at the end while the end
// shows): a thousand lines between two frames lay out nothing until the
// frame, which lays out only the lines it shows; lines trimmed before it
// are never laid out.
TEST_F(TextViews, LinesTrimmedBeforeAFrameAreNeverLaidOut)
{
    BTextView* view = MakeView(BRect(10, 10, 375, 289), "log");
    auto* bar = Add(new BScrollBar(BRect(376, 10, 389, 289), "bar", view, 0, 0, B_VERTICAL));
    const int32 kCap = 16384;
    text_run_array* runs = make_runs({{0, kRed}, {8, kBlue}});
    auto lineFor = [](int i) {
        return "<nick" + std::to_string(i % 7) + "> line " + std::to_string(i) +
               " of the flood, with a few more words\n";
    };
    auto print = [&](const std::string& line) {
        int32 n = int32(line.size()) + 1;
        float value = bar->Value(), min = 0, max = 0;
        bar->GetRange(&min, &max);
        int32 top = int32(value / view->LineHeight(0));
        int32 over = view->TextLength() + n - view->MaxBytes();
        int32 removed = 0;
        if (over > 0) {
            for (int32 i = 0; i < 512; i++) {
                if (view->ByteAt(i) == '\n' && i >= over) {
                    over = i + 1;
                    break;
                }
            }
            removed = view->LineAt(over);
            view->Delete(0, over);
        }
        view->Insert(view->TextLength(), line.c_str(), n - 1);
        view->SetRunArray(view->TextLength() - n + 1, view->TextLength(), runs);
        if (value == max)
            view->ScrollToOffset(view->TextLength());
        else
            bar->SetValue(float(top - removed) * view->LineHeight(0));
    };
    int next = 0;
    driver->Locked(window, [&] {
        view->MakeEditable(false);
        view->SetMaxBytes(kCap);
        while (next < 400)
            print(lineFor(next++));
    });
    ASSERT_TRUE(driver->WaitIdle());

    int64 before = driver->Locked(window, [&] { return view->_LayoutCount(); });
    driver->Locked(window, [&] {
        for (int i = 0; i < 1000; i++)
            print(lineFor(next++));
        EXPECT_EQ(view->_LayoutCount(), before) << "laid out before the frame";
    });
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        int64 laid = view->_LayoutCount() - before;
        int64 inView = int64(view->Bounds().Height() / view->LineHeight(0)) + 1;
        EXPECT_GE(laid, inView - 1);
        EXPECT_LE(laid, inView + 1) << "only the lines in view";
        std::string last = lineFor(next - 1);
        ASSERT_GE(view->TextLength(), int32(last.size()));
        EXPECT_EQ(std::string(view->Text() + view->TextLength() - last.size()), last);
        float min = 0, max = 0;
        bar->GetRange(&min, &max);
        EXPECT_EQ(view->Bounds().top, max) << "the end shows";
        EXPECT_EQ(view->LineAt(view->TextLength()), view->CountLines() - 1);
    });

    // Scrolled back by the user, the view stays where it was put while
    // lines arrive, although it followed the end before.
    driver->Locked(window, [&] {
        bar->SetValue(0);
        print(lineFor(next++));
    });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(driver->Locked(window, [&] { return view->Bounds().top; }), 0);
    BTextView::FreeRunArray(runs);
}

// A line is sized from the font's measures until it is laid out; whatever
// it is sized by, every query answers as the laid-out line does.
TEST_F(TextViews, LinesSizedWithoutLayoutAnswerAsTheirLayout)
{
    BTextView* view = MakeView(BRect(10, 10, 209, 289));
    std::string text = "plain line\n\nanother plain one\n"
                       "a line long enough to wrap in a view of two hundred pixels, twice over\n"
                       "tab\there\ncaf\xC3\xA9 au lait\n" +
                       std::string(40, 'W') + "\n" + std::string(60, 'i') + "\nbold\nlast";
    struct Geometry {
        int32 lines;
        float height;
        std::vector<int32> lineOfOffset;
        std::vector<int32> lineStarts;
        std::vector<float> lineHeights;
        bool operator==(const Geometry& other) const
        {
            return lines == other.lines && height == other.height &&
                   lineOfOffset == other.lineOfOffset && lineStarts == other.lineStarts &&
                   lineHeights == other.lineHeights;
        }
    };
    auto measure = [&] {
        Geometry geometry;
        geometry.lines = view->CountLines();
        geometry.height = view->TextHeight(0, geometry.lines - 1);
        for (int32 offset = 0; offset <= view->TextLength(); offset++)
            geometry.lineOfOffset.push_back(view->LineAt(offset));
        for (int32 line = 0; line < geometry.lines; line++) {
            geometry.lineStarts.push_back(view->OffsetAt(line));
            geometry.lineHeights.push_back(view->LineHeight(line));
        }
        return geometry;
    };
    driver->Locked(window, [&] {
        view->SetText(text.c_str());
        // One bold word: a second font in its line.
        BFont bold(be_bold_font);
        text_run_array* runs = make_runs({{0, kRed}}, bold);
        int32 at = int32(text.find("bold"));
        view->SetRunArray(at, at + 4, runs);
        BTextView::FreeRunArray(runs);
        view->ScrollTo(0, 0);

        int64 before = view->_LayoutCount();
        Geometry sized = measure();
        int64 laidForQueries = view->_LayoutCount() - before;
        // The plain lines that fit were not laid out to answer.
        EXPECT_GT(laidForQueries, 0);
        EXPECT_LT(laidForQueries, 8);
        // Laying out every line (the caret's x needs pango) changes nothing.
        for (int32 offset = 0; offset <= view->TextLength(); offset++)
            view->PointAt(offset);
        Geometry laid = measure();
        EXPECT_TRUE(sized == laid);
        EXPECT_GT(laid.lines, 11) << "ten lines, two of them wrapped";
    });
}

// The pointer as desktop users expect it: double clicks only where the
// first click was, an I-beam over text, and the primary selection (select
// to copy, middle click to paste).

#include "ControlTestSupport.h"

#include <Button.h>
#include <DisplayServer.h>
#include <HeadlessBackend.h>
#include <TextControl.h>
#include <TextView.h>

namespace
{

using BPrivate::CursorShape;
using BPrivate::DisplayServer;
using BPrivate::HeadlessBackend;

HeadlessBackend* headless()
{
    return static_cast<HeadlessBackend*>(DisplayServer::Get()->Backend());
}

class Pointer : public ControlTest
{
protected:
    BTextControl* Field(const char* name, BRect frame, const char* text)
    {
        auto* control = new BTextControl(frame, name, "Label:", text, nullptr);
        control->SetDivider(60);
        return Add(control);
    }
    BTextView* Text(BRect frame, const char* text)
    {
        auto* view = new BTextView(frame, "text", frame.OffsetToCopy(0, 0).InsetByCopy(2, 2),
                                   B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
        view->SetText(text);
        return Add(view);
    }
    // The point of a character of a text view, in the window.
    BPoint At(BTextView* view, int32 offset)
    {
        return driver->Locked(window, [&] {
            float height = 0;
            BPoint point = view->PointAt(offset, &height);
            return view->_ToWindow(point + BPoint(0, height / 2));
        });
    }
    std::pair<int32, int32> Selection(BTextView* view)
    {
        int32 start = 0, end = 0;
        driver->Locked(window, [&] { view->GetSelection(&start, &end); });
        return {start, end};
    }
    std::string TextOf(BTextView* view)
    {
        return driver->Locked(window, [&] { return std::string(view->Text()); });
    }
};

} // namespace

TEST_F(Pointer, ADoubleClickNeedsTheSameViewButtonAndPlace)
{
    // As seen: a click in one field, then quickly in the one 26 pixels
    // below it, selected the word there as if double-clicked. The second
    // press comes as the desktop reports a quick second click (clicks 2).
    BTextControl* nick = Field("nick", BRect(10, 10, 210, 28), "be_user");
    BTextControl* name = Field("name", BRect(10, 36, 210, 54), "my name");
    BPoint nickWord = At(nick->TextView(), 4);
    BPoint nameWord = At(name->TextView(), 4);
    ASSERT_EQ(nameWord.y - nickWord.y, 26);
    driver->Click(window, nickWord);
    driver->Click(window, nameWord, B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Selection(name->TextView()), std::make_pair(int32(4), int32(4)))
        << "a click in another view is a single click";

    // In one view, 26 pixels apart: too far for a double click.
    BTextView* text = Text(BRect(10, 70, 300, 200), "first line\nsecond line\nthird line");
    BPoint first = At(text, 2), third = At(text, 25);
    ASSERT_EQ(third.y - first.y, 26);
    driver->Click(window, first);
    driver->Click(window, third, B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Selection(text), std::make_pair(int32(25), int32(25)));

    // Another button first: no double click either.
    driver->Click(window, third, B_SECONDARY_MOUSE_BUTTON);
    driver->Click(window, third, B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Selection(text), std::make_pair(int32(25), int32(25)));

    // Where the first click was, within a few pixels: the word.
    driver->Click(window, third);
    driver->Click(window, third + BPoint(3, -2), B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Selection(text), std::make_pair(int32(23), int32(28))) << "'third'";
    driver->Click(window, third + BPoint(1, 1), B_PRIMARY_MOUSE_BUTTON, 3);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Selection(text), std::make_pair(int32(23), int32(33))) << "the line";

    // The desktop's own distance counts: at 40 pixels the two are a pair.
    headless()->SetDoubleClickSettings(BPrivate::ClickSettings{1000000, 40});
    driver->Click(window, first);
    driver->Click(window, third, B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Selection(text), std::make_pair(int32(23), int32(28)));
    // And its time: a second press after it is a new first one.
    headless()->SetDoubleClickSettings(BPrivate::ClickSettings{50000, 40});
    driver->Click(window, first);
    snooze(120000);
    driver->Click(window, first, B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Selection(text), std::make_pair(int32(2), int32(2)));
}

TEST_F(Pointer, TheIBeamShowsOverTextAndTheArrowElsewhere)
{
    BTextControl* field = Field("nick", BRect(10, 10, 210, 28), "be_user");
    BTextView* log = Text(BRect(10, 70, 300, 200), "read only");
    auto* button = Add(new BButton(BRect(220, 10, 300, 34), "ok", "OK", nullptr));
    auto over = [&](BView* view, BPoint where) {
        BPoint inWindow = driver->Locked(window, [&] { return view->_ToWindow(where); });
        driver->MouseMove(window, inWindow);
        EXPECT_TRUE(driver->WaitIdle());
        return headless()->Cursor();
    };
    EXPECT_EQ(over(field->TextView(), BPoint(5, 5)), CursorShape::kIBeam) << "editable";
    EXPECT_EQ(over(field, BPoint(5, 5)), CursorShape::kArrow) << "the label";
    EXPECT_EQ(over(button, BPoint(5, 5)), CursorShape::kArrow);
    driver->Locked(window, [&] { log->MakeEditable(false); });
    EXPECT_EQ(over(log, BPoint(5, 5)), CursorShape::kIBeam) << "selectable";
    driver->Locked(window, [&] { log->MakeSelectable(false); });
    EXPECT_EQ(over(log, BPoint(6, 6)), CursorShape::kArrow) << "neither";
    // A change under the pointer shows at once.
    driver->Locked(window, [&] { log->MakeSelectable(true); });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(headless()->Cursor(), CursorShape::kIBeam);
}

TEST_F(Pointer, SelectingSetsThePrimarySelectionAndAMiddleClickPastesIt)
{
    BTextView* log = Text(BRect(10, 70, 300, 200), "<ann> hello there\n<bob> hi");
    BTextControl* field = Field("nick", BRect(10, 10, 210, 28), "say  now");
    driver->Locked(window, [&] { log->MakeEditable(false); });

    // A drag over "hello" selects it, and it is the primary selection.
    driver->Drag(window, At(log, 6), At(log, 11), 4);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_EQ(Selection(log), std::make_pair(int32(6), int32(11)));
    EXPECT_EQ(headless()->PrimaryText(), "hello");
    EXPECT_EQ(DisplayServer::Get()->ClipboardText(), "") << "the clipboard is another thing";

    // A middle click in the field pastes it where it points.
    BTextView* input = field->TextView();
    driver->Click(window, At(input, 4), B_TERTIARY_MOUSE_BUTTON);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(input), "say hello now");
    EXPECT_EQ(Selection(input), std::make_pair(int32(9), int32(9))) << "the caret after it";
    EXPECT_EQ(Selection(log), std::make_pair(int32(6), int32(11))) << "the source keeps its own";

    // A middle click on text that cannot be edited changes nothing.
    headless()->SetPrimaryText("intruder");
    driver->Click(window, At(log, 2), B_TERTIARY_MOUSE_BUTTON);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(log), "<ann> hello there\n<bob> hi");

    // Double click, Shift+arrows and select-all offer what they select.
    driver->Click(window, At(log, 19));
    driver->Click(window, At(log, 19), B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(headless()->PrimaryText(), "bob");
    driver->Click(input);
    driver->Key(B_HOME);
    driver->Key(B_RIGHT_ARROW, B_SHIFT_KEY);
    driver->Key(B_RIGHT_ARROW, B_SHIFT_KEY);
    driver->Key(B_RIGHT_ARROW, B_SHIFT_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(headless()->PrimaryText(), "say");
    driver->Key('a', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(headless()->PrimaryText(), "say hello now");
    // A click that only places the caret leaves it alone.
    driver->Click(window, At(log, 3));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(headless()->PrimaryText(), "say hello now");
}

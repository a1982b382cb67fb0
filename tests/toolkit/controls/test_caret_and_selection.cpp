// How a text view shows where the keys go: the caret blinks only in the
// focused view of the active window (and the window sleeps otherwise), a
// selection is paler where the keys do not go, selected text reads on its
// background whatever its colour; and Ctrl+Backspace and Ctrl+Delete
// delete words.

#include "ControlTestSupport.h"

#include <algorithm>
#include <cmath>

#include <OS.h>
#include <TextControl.h>
#include <TextView.h>

#include "ControlLook.h"

namespace
{

// The window's loop asks this when to wake next, with nothing queued.
class SleepyWindow : public RecordingWindow
{
public:
    using RecordingWindow::RecordingWindow;
    bigtime_t NextWakeup() const { return _NextWakeup(); }
};

double channel(uint8 value)
{
    double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Contrast between two colours as readability guidelines define it, from
// 1 (the same) to 21 (black on white).
double contrast(rgb_color a, rgb_color b)
{
    auto luminance = [](rgb_color c) {
        return 0.2126 * channel(c.red) + 0.7152 * channel(c.green) + 0.0722 * channel(c.blue);
    };
    double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool same(rgb_color a, rgb_color b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

class CaretAndSelection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        driver = std::make_unique<TestDriver>(make_control_test_app);
        window = new SleepyWindow(BRect(100, 100, 499, 399));
        field =
            new BTextControl(BRect(10, 10, 300, 28), "field", "Text:", "hello big world", nullptr);
        field->SetDivider(50);
        window->AddChild(field);
        BRect frame(10, 40, 300, 140);
        log = new BTextView(frame, "log", frame.OffsetToCopy(0, 0).InsetByCopy(2, 2), B_FOLLOW_NONE,
                            B_WILL_DRAW);
        window->AddChild(log);
        window->Show();
        other = new BWindow(BRect(600, 100, 700, 200), "Other", B_TITLED_WINDOW, 0);
        other->Show();
        ASSERT_TRUE(driver->WaitIdle());
        driver->Activate(window);
        ASSERT_TRUE(driver->WaitIdle());
    }
    void TearDown() override { driver.reset(); }

    std::string FieldText()
    {
        return driver->Locked(window, [&] { return std::string(field->Text()); });
    }
    // Dark pixels in the column of the caret, at the end of the field's text.
    int CaretInk()
    {
        BRect column = driver->Locked(window, [&] {
            BTextView* text = field->TextView();
            float height = 0;
            BPoint at = text->PointAt(text->TextLength(), &height);
            return text->_ToWindow(
                BRect(std::floor(at.x), at.y, std::floor(at.x), at.y + height - 1));
        });
        Snapshot shot(*driver, window);
        int ink = 0;
        for (int32 y = int32(column.top); y <= int32(column.bottom); y++)
            ink += shot.At(int32(column.left), y).red < 100;
        return ink;
    }
    // How often the caret came or went in `duration`.
    int Changes(bigtime_t duration)
    {
        int changes = 0;
        bool shown = CaretInk() > 5;
        for (bigtime_t end = system_time() + duration; system_time() < end;) {
            snooze(20000);
            bool now = CaretInk() > 5;
            changes += now != shown;
            shown = now;
        }
        return changes;
    }
    bigtime_t NextWakeup()
    {
        return driver->Locked(window, [&] { return window->NextWakeup(); });
    }
    BPoint At(BTextView* view, int32 offset, float dy = 0)
    {
        return driver->Locked(window, [&] {
            float height = 0;
            BPoint point = view->PointAt(offset, &height);
            return view->_ToWindow(point + BPoint(0, dy < 0 ? height / 2 : dy));
        });
    }

    std::unique_ptr<TestDriver> driver;
    SleepyWindow* window = nullptr;
    BWindow* other = nullptr;
    BTextControl* field = nullptr;
    BTextView* log = nullptr;
};

} // namespace

TEST_F(CaretAndSelection, TheCaretBlinksInTheFocusedActiveViewAndTheWindowSleepsOtherwise)
{
    // Nothing focused: nothing to wake for.
    EXPECT_EQ(NextWakeup(), B_INFINITE_TIMEOUT);

    driver->Click(window, At(field->TextView(), 15, -1) + BPoint(20, 0));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_LT(NextWakeup(), system_time() + 600000) << "the next blink is due";
    EXPECT_GE(Changes(1300000), 2) << "on and off and on, without a pulse asked for";

    // Typing shows it at once.
    driver->Type("!");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_GT(CaretInk(), 5);

    // Inactive: no caret, no blinking, no wake-ups.
    driver->Activate(other);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(NextWakeup(), B_INFINITE_TIMEOUT);
    EXPECT_EQ(CaretInk(), 0);
    EXPECT_EQ(Changes(700000), 0);

    // Back: it blinks again; a selection has no caret and does not blink.
    driver->Activate(window);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_NE(NextWakeup(), B_INFINITE_TIMEOUT);
    driver->Key('a', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(NextWakeup(), B_INFINITE_TIMEOUT);
}

TEST_F(CaretAndSelection, CtrlBackspaceAndCtrlDeleteDeleteWords)
{
    driver->Click(field->TextView());
    driver->Key(B_END);
    driver->Key(B_BACKSPACE, B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FieldText(), "hello big ");

    // Before "big": Ctrl+Delete takes the word after the caret.
    for (int i = 0; i < 4; i++)
        driver->Key(B_LEFT_ARROW);
    driver->Key(B_DELETE, B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FieldText(), "hello  ");
    // The blank before the caret and the word before it.
    driver->Key(B_BACKSPACE, B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FieldText(), " ");
    // Nothing before the caret: nothing happens.
    driver->Key(B_HOME);
    driver->Key(B_BACKSPACE, B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FieldText(), " ");

    // A selection goes whole, whatever the word around it.
    driver->Locked(window, [&] {
        field->SetText("one two three");
        field->TextView()->Select(5, 6);
    });
    driver->Key(B_BACKSPACE, B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FieldText(), "one to three");
}

TEST_F(CaretAndSelection, ASelectionIsPalerWhereTheKeysDoNotGoAndItsTextReads)
{
    // "ann" in the light blue of a nickname that reads on white, selected.
    const rgb_color kLightBlue = {152, 203, 255, 255};
    driver->Locked(window, [&] {
        text_run_array* runs = BTextView::AllocRunArray(2);
        runs->runs[0] = text_run{0, *be_plain_font, kLightBlue};
        runs->runs[1] = text_run{3, *be_plain_font, {0, 0, 0, 255}};
        log->SetText("ann PRIVMSG #beos :hello", runs);
        BTextView::FreeRunArray(runs);
    });
    driver->Click(log);
    driver->Key('a', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());

    // The background at the top of the line, where no letter reaches.
    auto background = [&] {
        BPoint top = At(log, 5, 0);
        return Snapshot(*driver, window).At(int32(top.x), int32(top.y));
    };
    EXPECT_TRUE(same(background(), BPrivate::kSelectionColor));

    // The darkest pixel of "ann" stands out from the selection as text must.
    auto darkest = [&] {
        BPoint start = At(log, 0, 0), end = At(log, 3, 0);
        float height = driver->Locked(window, [&] { return log->LineHeight(0); });
        Snapshot shot(*driver, window);
        rgb_color best = shot.At(int32(start.x), int32(start.y));
        for (int32 y = int32(start.y); y < int32(start.y + height); y++)
            for (int32 x = int32(start.x); x < int32(end.x); x++) {
                rgb_color c = shot.At(x, y);
                if (c.red + c.green + c.blue < best.red + best.green + best.blue)
                    best = c;
            }
        return best;
    };
    EXPECT_GE(contrast(darkest(), BPrivate::kSelectionColor), 4.5);

    // The focus elsewhere: paler, and the text still reads on it.
    driver->Click(field->TextView());
    ASSERT_TRUE(driver->WaitIdle());
    rgb_color pale = background();
    EXPECT_TRUE(same(pale, BPrivate::kInactiveSelectionColor));
    EXPECT_GT(int(pale.red) + pale.green + pale.blue, int(BPrivate::kSelectionColor.red) +
                                                          BPrivate::kSelectionColor.green +
                                                          BPrivate::kSelectionColor.blue);
    EXPECT_GE(contrast(darkest(), pale), 4.5);

    // Unselected, the colour is the one it was given.
    driver->Locked(window, [&] { log->Select(0, 0); });
    ASSERT_TRUE(driver->WaitIdle());
    rgb_color plain = darkest();
    EXPECT_LT(std::abs(plain.red - kLightBlue.red) + std::abs(plain.green - kLightBlue.green) +
                  std::abs(plain.blue - kLightBlue.blue),
              30);
}

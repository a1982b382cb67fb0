// Text controls: a label and a one-line field, used as a person would.

#include "ControlTestSupport.h"

#include <AppDefs.h>
#include <DisplayServer.h>
#include <MessageFilter.h>
#include <TextControl.h>
#include <TextView.h>

#include "ControlLook.h"

namespace
{

const uint32 kNick = 'nick';
const uint32 kEdited = 'edit';

class TextControls : public ControlTest
{
protected:
    BTextControl* MakeControl(const char* label = "Nickname:", const char* text = "be_user",
                              BRect frame = BRect(20, 20, 260, 40))
    {
        return Add(new BTextControl(frame, "nick", label, text, new BMessage(kNick)));
    }

    std::string TextOf(BTextControl* control)
    {
        return driver->Locked(window, [&] { return std::string(control->Text()); });
    }

    // Where the field's text starts, in the window.
    BPoint FieldPoint(BTextControl* control, float x = 4)
    {
        return driver->Locked(window, [&] {
            BTextView* field = control->TextView();
            return field->_ToWindow(BPoint(x, field->Bounds().Height() / 2));
        });
    }
};

// Swallows Enter, as the program's command line does.
class EnterFilter : public BMessageFilter
{
public:
    EnterFilter() : BMessageFilter(B_KEY_DOWN) {}
    filter_result Filter(BMessage* message, BHandler**) override
    {
        const char* bytes = "";
        message->FindString("bytes", &bytes);
        if (bytes[0] == B_ENTER) {
            taken++;
            return B_SKIP_MESSAGE;
        }
        return B_DISPATCH_MESSAGE;
    }
    int taken = 0;
};

} // namespace

TEST_F(TextControls, TextDividerAndHeightComeFromTheLabelAndFont)
{
    BTextControl* control = MakeControl();
    BTextControl* bare = MakeControl(nullptr, nullptr, BRect(20, 60, 260, 100));
    driver->Locked(window, [&] {
        EXPECT_STREQ(control->Text(), "be_user");
        BTextView* field = control->TextView();
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(control->FindView("_input_"), field);
        EXPECT_EQ(field->Parent(), control);

        // The font's 13-pixel line, a pixel above and below it and a
        // two-pixel frame: 19 rows, whatever height it was made with.
        EXPECT_FLOAT_EQ(control->Frame().Height(), 18);
        EXPECT_FLOAT_EQ(bare->Frame().Height(), 18);
        EXPECT_FLOAT_EQ(field->Frame().top, 2);
        EXPECT_FLOAT_EQ(field->Frame().bottom, 16);

        float label = control->StringWidth("Nickname:");
        EXPECT_GT(control->Divider(), label);
        EXPECT_LT(control->Divider(), label + 12);
        EXPECT_FLOAT_EQ(field->Frame().left, control->Divider() + 2);
        EXPECT_FLOAT_EQ(field->Frame().right, control->Bounds().right - 2);
        EXPECT_FLOAT_EQ(bare->Divider(), 0);
        EXPECT_STREQ(bare->Text(), "");

        control->SetDivider(100);
        EXPECT_FLOAT_EQ(control->Divider(), 100);
        EXPECT_FLOAT_EQ(field->Frame().left, 102);
        EXPECT_FLOAT_EQ(field->Frame().right, control->Bounds().right - 2);
        control->SetDivider(-30);
        EXPECT_FLOAT_EQ(control->Divider(), 0);

        control->SetText(nullptr);
        EXPECT_STREQ(control->Text(), "");
        control->SetText("two\nlines\r\nand\rmore");
        EXPECT_STREQ(control->Text(), "two lines and more");
        EXPECT_EQ(field->CountLines(), 1);
    });
}

TEST_F(TextControls, PastesAndTypingStayOnOneLineAndEnterInvokes)
{
    BTextControl* control = MakeControl("Say:", "");
    BPrivate::DisplayServer::Get()->SetClipboardText("a\r\nb\n");
    driver->Click(window, FieldPoint(control));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(driver->Locked(window, [&] { return control->TextView()->IsFocus(); }));
    driver->Key('v', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(control), "a b ");

    driver->Type("c");
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(control), "a b c") << "Enter adds no line";
    ASSERT_EQ(window->Count(kNick), 1) << "an Enter nobody took invokes";
    BMessage sent = window->Messages().back();
    void* source = nullptr;
    EXPECT_EQ(sent.FindPointer("source", &source), B_OK);
    EXPECT_EQ(source, static_cast<BControl*>(control));

    // A filter on the field takes Enter first.
    auto* filter = new EnterFilter;
    driver->Locked(window, [&] { control->TextView()->AddFilter(filter); });
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kNick), 1);
    EXPECT_EQ(driver->Locked(window, [&] { return filter->taken; }), 1);

    driver->Locked(window, [&] { control->TextView()->MakeFocus(false); });
    driver->Locked(window, [&] { control->MakeFocus(); });
    EXPECT_TRUE(driver->Locked(window, [&] { return control->TextView()->IsFocus(); }));

    // Clicking the label focuses the field too.
    driver->Locked(window, [&] { control->TextView()->MakeFocus(false); });
    driver->Click(window, driver->Locked(window, [&] { return control->_ToWindow(BPoint(3, 8)); }));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(driver->Locked(window, [&] { return control->TextView()->IsFocus(); }));
}

TEST_F(TextControls, TheFieldScrollsToKeepTheCaretInView)
{
    BTextControl* control = MakeControl("Say:", "", BRect(20, 20, 160, 40));
    driver->Click(window, FieldPoint(control));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Type("a line far too long for this little field to show at once");
    ASSERT_TRUE(driver->WaitIdle());
    BTextView* field = control->TextView();
    driver->Locked(window, [&] {
        BRect bounds = field->Bounds();
        float caret = field->PointAt(field->TextLength()).x;
        EXPECT_GT(bounds.left, 0);
        EXPECT_LE(caret, bounds.right);
        EXPECT_GE(caret, bounds.left);
        EXPECT_EQ(field->CountLines(), 1);
    });
    driver->Key(B_HOME);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_FLOAT_EQ(driver->Locked(window, [&] { return field->Bounds().left; }), 0);
    driver->Key(B_END);
    driver->Locked(window, [&] { control->SetText("short"); });
    EXPECT_FLOAT_EQ(driver->Locked(window, [&] { return field->Bounds().left; }), 0)
        << "back when the text fits again";
}

TEST_F(TextControls, ModificationMessagesFollowWhatTheUserChanges)
{
    BTextControl* control = MakeControl();
    driver->Locked(window, [&] { control->SetModificationMessage(new BMessage(kEdited)); });
    driver->Click(window, FieldPoint(control, 150));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Type("ab");
    driver->Key(B_BACKSPACE);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(control), "be_usera");
    EXPECT_EQ(window->Count(kEdited), 3);
    driver->Locked(window, [&] { control->SetText("other"); });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kEdited), 3) << "setting the text is no edit";
    EXPECT_EQ(window->Count(kNick), 0);
}

TEST_F(TextControls, DisabledControlsTakeNoInputAndAreGreyed)
{
    BTextControl* control = MakeControl("Name:", "MMMM");
    driver->Locked(window, [&] { control->SetEnabled(false); });
    driver->Click(window, FieldPoint(control));
    driver->Type("x");
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(control), "MMMM");
    EXPECT_EQ(window->Count(kNick), 0);
    EXPECT_FALSE(driver->Locked(window, [&] { return control->TextView()->IsFocus(); }));

    // No black left in the field or the label: both are grey.
    BRect frame = driver->Locked(window, [&] { return control->Frame(); });
    Snapshot shot(*driver, window);
    int black = 0, grey = 0;
    for (int32 y = int32(frame.top) + 3; y < int32(frame.bottom) - 2; y++) {
        for (int32 x = int32(frame.left); x < int32(frame.left) + 120; x++) {
            rgb_color pixel = shot.At(x, y);
            black += pixel.red < 60;
            grey += pixel.red >= 100 && pixel.red < 180;
        }
    }
    EXPECT_EQ(black, 0);
    EXPECT_GT(grey, 10);

    driver->Locked(window, [&] { control->SetEnabled(true); });
    driver->Click(window, FieldPoint(control, 150));
    driver->Type("x");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(TextOf(control), "MMMMx");
}

TEST_F(TextControls, TheLabelAndFrameAreDrawnUnlessDrawIsOverridden)
{
    BTextControl* control = MakeControl("Label:", "");
    // Like the program's own field: only the text view shows.
    struct Bare : BTextControl {
        Bare() : BTextControl(BRect(20, 60, 260, 80), "bare", "Label:", "", nullptr) {}
        void Draw(BRect) override {}
    };
    auto* bare = Add(new Bare);

    auto look = [&](BTextControl* which, int* labelInk, rgb_color* outline, rgb_color* inside) {
        BRect frame = driver->Locked(window, [&] { return which->Frame(); });
        float divider = driver->Locked(window, [&] { return which->Divider(); });
        Snapshot shot(*driver, window);
        *labelInk = 0;
        for (int32 y = int32(frame.top); y <= int32(frame.bottom); y++)
            for (int32 x = int32(frame.left); x < int32(frame.left + divider); x++)
                *labelInk += shot.At(x, y).red < 80;
        int32 middle = int32(frame.left + divider + 30);
        *outline = shot.At(middle, int32(frame.top));
        *inside = shot.At(middle, int32(frame.top) + 5);
    };
    int ink;
    rgb_color outline, inside;
    look(control, &ink, &outline, &inside);
    EXPECT_GT(ink, 15) << "the label";
    EXPECT_LT(outline.red, 100) << "the frame's outline";
    EXPECT_EQ(inside.red, 255) << "the white field";
    look(bare, &ink, &outline, &inside);
    EXPECT_EQ(ink, 0);
    EXPECT_EQ(outline.red, 220) << "the background shows through";
    EXPECT_EQ(inside.red, 255) << "the field itself still draws";

    // The focused field's frame is marked.
    driver->Click(window, FieldPoint(control));
    ASSERT_TRUE(driver->WaitIdle());
    look(control, &ink, &outline, &inside);
    EXPECT_EQ(outline.blue, BPrivate::kFocusColor.blue);
    EXPECT_EQ(outline.red, BPrivate::kFocusColor.red);
}

TEST_F(TextControls, HiddenTypingShowsStarsAndKeepsTheTextOffTheClipboard)
{
    BTextControl* secret = MakeControl("Password", "", BRect(20, 20, 260, 40));
    BTextControl* stars = MakeControl("Password", "", BRect(20, 60, 260, 80));
    driver->Locked(window, [&] {
        secret->TextView()->HideTyping(true);
        stars->SetText("****");
    });
    driver->Click(window, FieldPoint(secret));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Type("Wi\xc3\xa9");
    ASSERT_TRUE(driver->WaitIdle());
    // Byte for byte: "é" is two stars.
    EXPECT_EQ(TextOf(secret), "Wi\xc3\xa9");
    driver->Locked(window, [&] { secret->TextView()->MakeFocus(false); });
    ASSERT_TRUE(driver->WaitIdle());

    // The hidden field looks exactly like one holding the stars.
    Snapshot shot(*driver, window);
    BRect a = driver->Locked(window, [&] { return secret->Frame(); });
    BRect b = driver->Locked(window, [&] { return stars->Frame(); });
    int differing = 0, inked = 0;
    for (int32 y = 0; y <= int32(a.Height()); y++) {
        for (int32 x = 0; x <= int32(a.Width()); x++) {
            rgb_color p = shot.At(int32(a.left) + x, int32(a.top) + y);
            rgb_color q = shot.At(int32(b.left) + x, int32(b.top) + y);
            if (p.red != q.red || p.green != q.green || p.blue != q.blue)
                differing++;
            if (p.red < 100)
                inked++;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(inked, 0);

    // Neither copy nor cut gives it away.
    BPrivate::DisplayServer::Get()->SetClipboardText("before");
    window->PostMessage(B_SELECT_ALL, secret->TextView());
    window->PostMessage(B_COPY, secret->TextView());
    window->PostMessage(B_CUT, secret->TextView());
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(BPrivate::DisplayServer::Get()->ClipboardText(), "before");
    EXPECT_EQ(TextOf(secret), "Wi\xc3\xa9");
}

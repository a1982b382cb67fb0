// Buttons, check boxes and boxes, used as a person would.

#include "ControlTestSupport.h"

#include <Box.h>
#include <Button.h>
#include <CheckBox.h>

namespace
{

const uint32 kPressed = 'prss';

class Buttons : public ControlTest
{
protected:
    BButton* MakeButton(const char* label = "Connect")
    {
        return Add(new BButton(BRect(20, 20, 139, 45), "button", label, new BMessage(kPressed)));
    }
};

} // namespace

TEST_F(Buttons, AReleaseInsideInvokesAndOneOutsideDoesNot)
{
    BButton* button = MakeButton();
    driver->Click(button);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_EQ(window->Count(kPressed), 1);
    BMessage sent = window->Messages().back();
    void* source = nullptr;
    EXPECT_EQ(sent.FindPointer("source", &source), B_OK);
    EXPECT_EQ(source, static_cast<BControl*>(button));
    EXPECT_TRUE(sent.HasInt64("when"));

    // Pressed, dragged out and released outside: nothing.
    BPoint inside = driver->Locked(window, [&] { return button->_ToWindow(BPoint(10, 10)); });
    driver->Drag(window, inside, BPoint(300, 250), 4);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kPressed), 1);
    driver->Locked(window, [&] { EXPECT_EQ(button->Value(), B_CONTROL_OFF); });

    // Out and back in, then released: once.
    driver->MouseDown(window, inside);
    snooze(60000);
    driver->MouseMove(window, BPoint(300, 250), 1);
    snooze(60000);
    driver->MouseMove(window, inside, 1);
    snooze(60000);
    driver->MouseUp(window, inside);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kPressed), 2);
}

TEST_F(Buttons, TargetsDisabledStateAndKeys)
{
    BButton* button = MakeButton();
    BView* other = nullptr;
    driver->Locked(window, [&] {
        other = new BView(BRect(0, 0, 1, 1), "target", 0, 0);
        background->AddChild(other);
        button->SetEnabled(false);
    });
    driver->Click(button);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kPressed), 0) << "disabled";

    driver->Locked(window, [&] {
        button->SetEnabled(true);
        button->MakeFocus();
    });
    driver->Key(B_SPACE);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kPressed), 1) << "space presses the focused button";

    // A target set on purpose gets the message instead of the window.
    struct Catcher : BView {
        Catcher() : BView(BRect(0, 0, 1, 1), "catcher", 0, 0) {}
        void MessageReceived(BMessage* message) override
        {
            if (message->what == kPressed)
                caught++;
            else
                BView::MessageReceived(message);
        }
        int caught = 0;
    };
    auto* catcher = new Catcher;
    driver->Locked(window, [&] {
        background->AddChild(catcher);
        button->SetTarget(catcher);
    });
    driver->Click(button);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(catcher->caught, 1); });
    EXPECT_EQ(window->Count(kPressed), 1);
}

TEST_F(Buttons, ASubclassThatTrackedThePressHandsItOnAfterRelease)
{
    // Like the program's own button: it tracks the press itself and then
    // calls the base class, with the mouse button already up.
    struct Tracking : BButton {
        Tracking() : BButton(BRect(20, 60, 139, 85), "own", "Own", new BMessage(kPressed)) {}
        void MouseDown(BPoint) override
        {
            uint32 buttons = 1;
            BPoint at;
            while (buttons != 0) {
                GetMouse(&at, &buttons);
                snooze(10000);
            }
            if (Bounds().Contains(at))
                BButton::MouseDown(at);
        }
    };
    auto* button = Add(new Tracking);
    driver->Click(button);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kPressed), 1);
}

TEST_F(Buttons, ButtonsDrawTheirLabelAndBevel)
{
    BButton* button = MakeButton("OK");
    BRect frame = driver->Locked(window, [&] { return button->Frame(); });
    EXPECT_GE(frame.Height(), 22) << "at least the font's line and a frame";
    // The outline is dark, the bevel inside it light at the top.
    rgb_color outline = driver->Pixel(window, int32(frame.left) + 5, int32(frame.top));
    rgb_color light = driver->Pixel(window, int32(frame.left) + 5, int32(frame.top) + 1);
    EXPECT_LT(outline.red, 100);
    EXPECT_GT(light.red, 240);
    Snapshot shot(*driver, window);
    int dark = 0;
    for (int32 y = int32(frame.top) + 3; y < int32(frame.bottom) - 2; y++)
        for (int32 x = int32(frame.left) + 3; x < int32(frame.right) - 2; x++)
            dark += shot.At(x, y).red < 80;
    EXPECT_GT(dark, 10) << "the label is drawn";
}

TEST_F(Buttons, CheckBoxesToggleOnAClickInside)
{
    auto* box = Add(
        new BCheckBox(BRect(20, 100, 150, 115), "invisible", "Invisible", new BMessage('chek')));
    driver->Click(box);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(box->Value(), B_CONTROL_ON); });
    ASSERT_EQ(window->Count('chek'), 1);
    int32 value = -1;
    window->Messages().back().FindInt32("be:value", &value);
    EXPECT_EQ(value, B_CONTROL_ON);
    driver->Click(box);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(box->Value(), B_CONTROL_OFF); });
    BPoint inside = driver->Locked(window, [&] { return box->_ToWindow(BPoint(5, 5)); });
    driver->Drag(window, inside, BPoint(350, 250), 3);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(box->Value(), B_CONTROL_OFF); });
    EXPECT_EQ(window->Count('chek'), 2);
}

TEST_F(Buttons, BoxesDrawTheirBorderAndLabel)
{
    auto* box = Add(new BBox(BRect(10, 130, 200, 220), "info"));
    driver->Locked(window, [&] {
        box->SetLabel("Default user info");
        EXPECT_EQ(box->Border(), B_FANCY_BORDER);
        EXPECT_STREQ(box->Label(), "Default user info");
    });
    ASSERT_TRUE(driver->WaitIdle());
    // Bottom edge: a dark line with a light one under it.
    rgb_color dark = driver->Pixel(window, 100, 130 + 89);
    rgb_color light = driver->Pixel(window, 100, 130 + 90);
    EXPECT_EQ(dark.red, 150);
    EXPECT_EQ(light.red, 250);
    Snapshot shot(*driver, window);
    int text = 0;
    for (int32 y = 130; y < 145; y++)
        for (int32 x = 18; x < 100; x++)
            text += shot.At(x, y).red < 80;
    EXPECT_GT(text, 20) << "the label";
}

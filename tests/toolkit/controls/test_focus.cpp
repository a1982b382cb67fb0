// The focus as desktop users expect it: one view shows it, only in the
// active window; Tab and Shift+Tab walk the views that take it; F10 opens
// the menu bar.

#include "ControlTestSupport.h"

#include <Button.h>
#include <CheckBox.h>
#include <DisplayServer.h>
#include <ListItem.h>
#include <ListView.h>
#include <Menu.h>
#include <MenuBar.h>
#include <MenuItem.h>
#include <ScrollView.h>
#include <TextControl.h>
#include <TextView.h>

#include "ControlLook.h"

namespace
{

bool is_focus_color(rgb_color color)
{
    return color.red == BPrivate::kFocusColor.red && color.green == BPrivate::kFocusColor.green &&
           color.blue == BPrivate::kFocusColor.blue;
}

class Focus : public ControlTest
{
protected:
    // A list leaves its items to whoever made them.
    void TearDown() override
    {
        ControlTest::TearDown();
        fItems.clear();
    }
    BTextControl* Field(const char* name, BRect frame, const char* text = "")
    {
        auto* control = new BTextControl(frame, name, "Label:", text, nullptr);
        control->SetDivider(60);
        return Add(control);
    }
    BListView* List(BRect frame)
    {
        auto* list = new BListView(frame, "list");
        for (const char* text : {"one", "two", "three"}) {
            fItems.push_back(std::make_unique<BStringItem>(text));
            list->AddItem(fItems.back().get());
        }
        Add(new BScrollView("list_scroll", list, B_FOLLOW_LEFT | B_FOLLOW_TOP, 0, false, true,
                            B_FANCY_BORDER));
        return list;
    }
    BTextView* Text(BRect frame)
    {
        auto* text = new BTextView(frame, "text", frame.OffsetToCopy(0, 0).InsetByCopy(2, 2),
                                   B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
        text->SetText("some text");
        Add(new BScrollView("text_scroll", text, B_FOLLOW_LEFT | B_FOLLOW_TOP, 0, false, true,
                            B_FANCY_BORDER));
        return text;
    }
    // Pixels of the focus colour in a rectangle of the window (all of it
    // when none is given).
    int FocusPixels(BRect area = BRect())
    {
        Snapshot shot(*driver, window);
        if (!area.IsValid())
            area = BRect(0, 0, shot.width - 1, shot.height - 1);
        int count = 0;
        for (int32 y = int32(area.top); y <= int32(area.bottom); y++)
            for (int32 x = int32(area.left); x <= int32(area.right); x++)
                count += is_focus_color(shot.At(x, y));
        return count;
    }
    BRect FrameInWindow(BView* view)
    {
        return driver->Locked(window, [&] { return view->Parent()->_ToWindow(view->Frame()); });
    }
    // Dark pixels inside a field: with no text in it, only a caret makes any.
    int Ink(BTextControl* control)
    {
        BRect field = driver->Locked(window, [&] {
            BTextView* text = control->TextView();
            return text->_ToWindow(text->Bounds());
        });
        Snapshot shot(*driver, window);
        int count = 0;
        for (int32 y = int32(field.top); y <= int32(field.bottom); y++)
            for (int32 x = int32(field.left); x <= int32(field.right); x++)
                count += shot.At(x, y).red < 100;
        return count;
    }
    BView* FocusView()
    {
        return driver->Locked(window, [&] { return window->CurrentFocus(); });
    }

    std::vector<std::unique_ptr<BStringItem>> fItems;
};

} // namespace

TEST_F(Focus, OnlyTheFocusViewOfTheActiveWindowShowsFocus)
{
    BTextControl* nick = Field("nick", BRect(10, 10, 210, 28));
    BTextControl* name = Field("name", BRect(10, 36, 210, 54));
    BListView* list = List(BRect(10, 70, 120, 150));
    BTextView* text = Text(BRect(150, 70, 300, 150));
    BRect nickFrame = FrameInWindow(nick), nameFrame = FrameInWindow(name);
    BRect listFrame = FrameInWindow(list->Parent()), textFrame = FrameInWindow(text->Parent());

    driver->Click(nick->TextView());
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_GT(FocusPixels(nickFrame), 100);

    // As seen: a click in one field, then in the other, left both framed.
    driver->Click(name->TextView());
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusView(), name->TextView());
    EXPECT_EQ(FocusPixels(nickFrame), 0) << "the field that lost the focus keeps its mark";
    EXPECT_EQ(Ink(nick), 0) << "and its caret";
    EXPECT_GT(FocusPixels(nameFrame), 100);

    driver->Click(list, BPoint(20, 5));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusPixels(nameFrame), 0);
    EXPECT_GT(FocusPixels(listFrame), 100) << "a list's scroll view shows its focus";

    // A text view in a scroll view shows the focus the same way.
    driver->Click(text);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusPixels(listFrame), 0);
    EXPECT_GT(FocusPixels(textFrame), 100);
    EXPECT_EQ(FocusPixels(), FocusPixels(textFrame)) << "no mark anywhere else";

    // Another window active: this one shows no focus at all, and its
    // focus view is still the same when it comes back.
    auto* other = new BWindow(BRect(600, 100, 700, 200), "Other", B_TITLED_WINDOW, 0);
    other->Show();
    ASSERT_TRUE(driver->WaitIdle());
    driver->Activate(other);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_FALSE(driver->Locked(window, [&] { return window->IsActive(); }));
    EXPECT_EQ(FocusPixels(), 0);
    driver->Activate(window);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusView(), text);
    EXPECT_GT(FocusPixels(textFrame), 100);
    EXPECT_EQ(FocusPixels(), FocusPixels(textFrame));
}

TEST_F(Focus, TabAndShiftTabWalkTheNavigableViewsInTreeOrder)
{
    BTextControl* nick = Field("nick", BRect(10, 10, 210, 28));
    auto* check = Add(new BCheckBox(BRect(10, 36, 120, 52), "check", "Invisible", nullptr));
    auto* off = Add(new BButton(BRect(10, 60, 90, 84), "off", "Off", nullptr));
    auto* on = Add(new BButton(BRect(100, 60, 180, 84), "on", "On", nullptr));
    BTextControl* hidden = Field("hidden", BRect(10, 90, 210, 108));
    BListView* list = List(BRect(10, 120, 120, 200));
    BTextView* text = Text(BRect(150, 120, 300, 200));
    auto* plain = Add(new BView(BRect(310, 10, 390, 50), "plain", B_FOLLOW_NONE, B_WILL_DRAW));
    driver->Locked(window, [&] {
        off->SetEnabled(false);
        hidden->Hide();
    });

    // Nothing has the focus: Tab takes the first view that takes it.
    driver->Key(B_TAB);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusView(), nick->TextView());
    std::vector<BView*> expected = {check, on, list, text};
    for (BView* next : expected) {
        driver->Key(B_TAB);
        ASSERT_TRUE(driver->WaitIdle());
        EXPECT_EQ(FocusView(), next) << "passing over disabled, hidden and plain views";
    }
    EXPECT_NE(FocusView(), plain);

    // The text view takes Tab as text; Ctrl+Tab leaves it, round to the start.
    driver->Key(B_TAB);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusView(), text);
    EXPECT_EQ(driver->Locked(window, [&] { return std::string(text->Text()); }), "some text\t");
    driver->Key(B_TAB, B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusView(), nick->TextView());

    // Shift+Tab goes back, round to the end.
    driver->Key(B_TAB, B_SHIFT_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusView(), text);
    driver->Key(B_TAB, B_SHIFT_KEY | B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusView(), list);

    // A field's Tab is no text; the enabled button now comes in turn.
    driver->Locked(window, [&] {
        off->SetEnabled(true);
        nick->MakeFocus(true);
    });
    driver->Key(B_TAB);
    driver->Key(B_TAB);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FocusView(), off);
    EXPECT_EQ(driver->Locked(window, [&] { return std::string(nick->Text()); }), "");
}

TEST_F(Focus, F10OpensTheMenuBarAndClosesIt)
{
    auto* bar = new BMenuBar(BRect(0, 0, 10, 10), "menubar");
    auto* file = new BMenu("File");
    file->AddItem(new BMenuItem("Settings", new BMessage('sett')));
    file->AddItem(new BMenuItem("Exit", new BMessage('exit')));
    bar->AddItem(file);
    Add(bar);
    auto open = [&] {
        BWindow* menuWindow = driver->Locked(window, [&] { return file->Window(); });
        if (menuWindow == nullptr)
            return false;
        return BPrivate::DisplayServer::Get()->IsVisible(menuWindow->_ServerId());
    };

    driver->FunctionKey(B_F10_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(open()) << "F10 opens the first menu";
    // From the keyboard, its first item is highlighted: Enter chooses it.
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_FALSE(open());
    EXPECT_EQ(window->Count('sett'), 1);

    driver->FunctionKey(B_F10_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_TRUE(open());
    driver->FunctionKey(B_F10_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_FALSE(open()) << "a second F10 closes it";

    // The pointer resting where the menu opens: the window shown under it
    // reports it entering, which must not take the keys' choice away.
    BPoint under =
        driver->Locked(window, [&] { return bar->Frame().LeftBottom() + BPoint(20, 30); });
    driver->MouseMove(window, under);
    driver->FunctionKey(B_F10_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_TRUE(open());
    BWindow* menuWindow = driver->Locked(window, [&] { return file->Window(); });
    BPoint inMenu = driver->Locked(
        menuWindow, [&] { return menuWindow->ConvertFromScreen(window->ConvertToScreen(under)); });
    driver->MouseMove(menuWindow, inMenu);
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count('sett'), 2);

    // Other function keys and Shift+F10 leave the bar alone.
    driver->FunctionKey(B_F9_KEY);
    driver->FunctionKey(B_F10_KEY, B_SHIFT_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_FALSE(open());
}

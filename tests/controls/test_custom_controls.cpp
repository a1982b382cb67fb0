// The bevels, the flat button and the combo box: golden pixels for what
// they draw (no text), and their handling of presses.

#include "ViewTestSupport.h"

#include <cmath>
#include <functional>

#include <DisplayServer.h>
#include <MenuItem.h>
#include <PopUpMenu.h>

#include <draw_3Drect.h>
#include <myText.h>
#include <newButton.h>
#include <newComboBox.h>

namespace
{

const uint32 kConnect = 'con';

const rgb_color kBackground = {100, 110, 200, 255};
const rgb_color kLight = {255, 255, 255, 255};
const rgb_color kDark = {172, 172, 172, 255};
const rgb_color kOutline = {62, 62, 62, 255};

bool wait_until(const std::function<bool()>& condition, bigtime_t timeout = 5000000)
{
    bigtime_t deadline = system_time() + timeout;
    while (!condition()) {
        if (system_time() > deadline)
            return false;
        snooze(5000);
    }
    return true;
}

// Draws the four bevels side by side on a plain background.
class BevelView : public BView
{
public:
    BevelView() : BView(BRect(10, 10, 89, 29), "bevels", B_FOLLOW_NONE, B_WILL_DRAW)
    {
        SetViewColor(kBackground);
    }
    void Draw(BRect) override
    {
        SetHighColor(1, 2, 3);
        SetLowColor(4, 5, 6);
        draw_3Drect(this, BRect(0, 0, 10, 10), false);
        draw_3Drect(this, BRect(15, 0, 25, 10), true);
        draw_frame(this, BRect(30, 0, 42, 12), false);
        draw_frame(this, BRect(50, 0, 62, 12), true);
        // The colours are given back.
        colorsKept = HighColor().red == 1 && LowColor().red == 4;
    }
    bool colorsKept = false;
};

// What each pixel of a picture should be: '.' the background, 'L' light,
// 'D' dark, 'O' the outline.
void expect_picture(const Snapshot& shot, BPoint origin, const std::vector<std::string>& rows)
{
    for (size_t y = 0; y < rows.size(); y++) {
        for (size_t x = 0; x < rows[y].size(); x++) {
            rgb_color want = kBackground;
            switch (rows[y][x]) {
            case 'L':
                want = kLight;
                break;
            case 'D':
                want = kDark;
                break;
            case 'O':
                want = kOutline;
                break;
            }
            EXPECT_COLOR(shot.At(int32(origin.x + x), int32(origin.y + y)), want)
                << "at " << x << "," << y << " of the picture at " << origin.x;
        }
    }
}

class CustomControls : public ControlTest
{
protected:
    // The colours of a bevel on `r` (window coordinates), as draw_3Drect
    // lays it: the top row and left column in one colour, the right
    // column and bottom row, from one pixel in, in the other.
    void ExpectRing(const Snapshot& shot, BRect r, rgb_color topLeft, rgb_color bottomRight,
                    const char* what)
    {
        for (int32 x = int32(r.left); x <= int32(r.right); x++) {
            EXPECT_COLOR(shot.At(x, int32(r.top)), topLeft) << what << " top, x " << x;
            if (x > r.left) {
                EXPECT_COLOR(shot.At(x, int32(r.bottom)), bottomRight) << what << " bottom " << x;
            }
        }
        for (int32 y = int32(r.top); y <= int32(r.bottom); y++) {
            EXPECT_COLOR(shot.At(int32(r.left), y), topLeft) << what << " left, y " << y;
            if (y > r.top) {
                EXPECT_COLOR(shot.At(int32(r.right), y), bottomRight) << what << " right " << y;
            }
        }
    }
    void ExpectOutline(const Snapshot& shot, BRect r, rgb_color color, const char* what)
    {
        ExpectRing(shot, r, color, color, what);
    }
    // The button as drawn: an outline, a bevel inside it, the view colour
    // within (the label aside).
    // The frame is read without the window's lock, which a press holds.
    void ExpectButton(newButton* button, bool pressed)
    {
        BRect r = button->Frame();
        Snapshot shot(*driver, window);
        ExpectOutline(shot, r, kOutline, "outline");
        r.InsetBy(1, 1);
        ExpectRing(shot, r, pressed ? kDark : kLight, pressed ? kLight : kDark,
                   pressed ? "sunken" : "raised");
        EXPECT_COLOR(shot.At(int32(r.left) + 2, int32(r.top) + 2), (rgb_color{220, 220, 220, 255}));
    }
    // The darkest channel value among the button's inside pixels.
    int Darkest(newButton* button)
    {
        BRect r = driver->Locked(window, [&] { return button->Frame(); }).InsetByCopy(3, 3);
        Snapshot shot(*driver, window);
        int darkest = 255;
        for (int32 y = int32(r.top); y <= int32(r.bottom); y++)
            for (int32 x = int32(r.left); x <= int32(r.right); x++) {
                rgb_color c = shot.At(x, y);
                darkest = std::min({darkest, int(c.red), int(c.green), int(c.blue)});
            }
        return darkest;
    }
    newButton* MakeButton(const char* label)
    {
        auto* button =
            new newButton(BRect(20, 40, 99, 63), "Connect", label, new BMessage(kConnect));
        button->SetViewColor(220, 220, 220);
        return Add(button);
    }
    // A shown menu window with this title, or null (a window waiting in
    // Go() holds its lock and is passed over).
    BWindow* ShownMenu(const char* title)
    {
        for (BWindow* candidate : driver->Windows()) {
            if (BLooper::_LockLooper(candidate, 20000) != B_OK)
                continue;
            bool match = strcmp(candidate->Title(), title) == 0;
            int32 id = candidate->_ServerId();
            candidate->Unlock();
            if (match && BPrivate::DisplayServer::Get()->IsVisible(id))
                return candidate;
        }
        return nullptr;
    }
    BWindow* WaitMenu(const char* title)
    {
        BWindow* found = nullptr;
        wait_until([&] {
            found = ShownMenu(title);
            return found != nullptr && BPrivate::DisplayServer::Get()->IsIdle();
        });
        return found;
    }
};

} // namespace

TEST_F(CustomControls, BevelsAndFramesLightExactlyTheirPixels)
{
    auto* bevels = Add(new BevelView);
    Snapshot shot(*driver, window);
    save_snapshot(*driver, window, "bevels");
    // Raised: white on x = 0 and y = 0; grey on x = 10 from y = 1 and on
    // y = 10 from x = 1.
    expect_picture(shot, BPoint(10, 10),
                   {"LLLLLLLLLLL.", "L.........D.", "L.........D.", "L.........D.", "L.........D.",
                    "L.........D.", "L.........D.", "L.........D.", "L.........D.", "L.........D.",
                    "LDDDDDDDDDD.", "............"});
    expect_picture(shot, BPoint(25, 10),
                   {"DDDDDDDDDDD.", "D.........L.", "D.........L.", "D.........L.", "D.........L.",
                    "D.........L.", "D.........L.", "D.........L.", "D.........L.", "D.........L.",
                    "DLLLLLLLLLL.", "............"});
    expect_picture(shot, BPoint(40, 10),
                   {"OOOOOOOOOOOOO", "OLLLLLLLLLLLO", "OL.........DO", "OL.........DO",
                    "OL.........DO", "OL.........DO", "OL.........DO", "OL.........DO",
                    "OL.........DO", "OL.........DO", "OL.........DO", "OLDDDDDDDDDDO",
                    "OOOOOOOOOOOOO"});
    expect_picture(shot, BPoint(60, 10),
                   {"OOOOOOOOOOOOO", "ODDDDDDDDDDDO", "OD.........LO", "OD.........LO",
                    "OD.........LO", "OD.........LO", "OD.........LO", "OD.........LO",
                    "OD.........LO", "OD.........LO", "OD.........LO", "ODLLLLLLLLLLO",
                    "OOOOOOOOOOOOO"});
    EXPECT_TRUE(driver->Locked(window, [&] { return bevels->colorsKept; }));
}

TEST_F(CustomControls, ButtonKeepsItsSizeAndShowsItsStates)
{
    newButton* blank = MakeButton("");
    driver->Locked(window, [&] {
        EXPECT_EQ(blank->Frame(), BRect(20, 40, 99, 63));
        EXPECT_EQ(blank->Flags(), uint32(B_WILL_DRAW | B_NAVIGABLE));
    });
    ExpectButton(blank, false);

    // Held down: sunken; dragged out: raised again; back in: sunken.
    driver->MouseDown(window, BPoint(40, 50));
    snooze(150000);
    ExpectButton(blank, true);
    save_snapshot(*driver, window, "button_pressed");
    driver->MouseMove(window, BPoint(200, 200), B_PRIMARY_MOUSE_BUTTON);
    snooze(150000);
    ExpectButton(blank, false);
    driver->MouseMove(window, BPoint(41, 51), B_PRIMARY_MOUSE_BUTTON);
    snooze(150000);
    ExpectButton(blank, true);
    driver->MouseUp(window, BPoint(41, 51));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kConnect), 1) << "out and back in, released inside: once";
    ExpectButton(blank, false);

    // Dragged out and released outside: nothing.
    driver->Drag(window, BPoint(40, 50), BPoint(200, 200), 4);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kConnect), 1);
    ExpectButton(blank, false);
    EXPECT_FALSE(driver->Locked(window, [&] { return blank->IsPressed(); }));
}

TEST_F(CustomControls, ADisabledButtonIsGreyAndIgnoresPresses)
{
    newButton* button = MakeButton("Connect");
    save_snapshot(*driver, window, "button");
    EXPECT_LT(Darkest(button), 60) << "a black label";
    driver->Click(window, BPoint(30, 45));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kConnect), 1);

    driver->Locked(window, [&] {
        button->SetEnabled(false);
        button->SetEnabled(false);
        EXPECT_FALSE(button->IsEnabled());
    });
    ASSERT_TRUE(driver->WaitIdle());
    int darkest = Darkest(button);
    EXPECT_GE(darkest, 120) << "a grey label";
    EXPECT_LE(darkest, 140);
    driver->MouseDown(window, BPoint(30, 45));
    snooze(100000);
    ExpectButton(button, false);
    driver->MouseUp(window, BPoint(30, 45));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kConnect), 1);
}

TEST_F(CustomControls, ComboBoxDrawsItsBorderAndArrowAndChoosesStrings)
{
    newComboBox* combo = nullptr;
    driver->Locked(window, [&] {
        combo = new newComboBox(BRect(20, 100, 219, 117), (char*)"server_combo",
                                new BMessage(kConnect));
        combo->AddString("irc.example.net");
        combo->AddString("127.0.0.1:6668");
    });
    Add(combo);
    BRect frame = driver->Locked(window, [&] {
        BRect field = combo->Field()->Frame();
        EXPECT_EQ(field.LeftTop(), BPoint(2, 2));
        EXPECT_EQ(combo->Bounds().Width(), combo->Field()->Bounds().Width() + 20);
        EXPECT_EQ(combo->Bounds().Height(), combo->Field()->Bounds().Height() + 4);
        EXPECT_EQ(combo->Field()->TextView()->Frame().LeftTop(), BPoint(1, 1));
        EXPECT_EQ(combo->Frame().LeftTop(), BPoint(20, 100));
        return combo->Frame();
    });
    save_snapshot(*driver, window, "combo");

    const rgb_color panel = {220, 220, 220, 255};
    auto expectDrawn = [&](bool enabled, bool pressed) {
        Snapshot shot(*driver, window);
        const rgb_color line = enabled ? rgb_color{64, 64, 64, 255} : rgb_color{128, 128, 128, 255};
        ExpectRing(shot, frame, kDark, kLight, "sunken border");
        BRect r = frame.InsetByCopy(1, 1);
        BRect a(r.right - 16, r.top, r.right, r.bottom);
        // The outline, up to the arrow box that covers its right part.
        for (int32 x = int32(r.left); x < int32(a.left); x++) {
            EXPECT_COLOR(shot.At(x, int32(r.top)), line) << "outline top " << x;
            EXPECT_COLOR(shot.At(x, int32(r.bottom)), line) << "outline bottom " << x;
        }
        for (int32 y = int32(r.top); y <= int32(r.bottom); y++)
            EXPECT_COLOR(shot.At(int32(r.left), y), line) << "outline left " << y;
        ExpectOutline(shot, a, kOutline, "arrow box");
        ExpectRing(shot, a.InsetByCopy(1, 1), pressed ? kDark : kLight, pressed ? kLight : kDark,
                   "arrow bevel");
        // Five lines of 9, 7, 5, 3 and 1 pixels.
        const int32 p = pressed ? 1 : 0;
        int32 x0 = int32(std::floor((a.left + a.right) / 2)) - 4 + p;
        int32 y0 = int32(std::floor((a.top + a.bottom) / 2)) - 2 + p;
        for (int32 k = 0; k < 5; k++) {
            EXPECT_COLOR(shot.At(x0 + k - 1, y0 + k), panel) << "before line " << k;
            for (int32 x = x0 + k; x <= x0 + 8 - k; x++)
                EXPECT_COLOR(shot.At(x, y0 + k), line) << "line " << k << " x " << x;
            EXPECT_COLOR(shot.At(x0 + 9 - k, y0 + k), panel) << "after line " << k;
        }
        EXPECT_COLOR(shot.At(x0 + 4, y0 + 5), panel) << "under the tip";
    };
    expectDrawn(true, false);

    // The arrow opens the list just under the box; a choice replaces the
    // text and posts nothing.
    driver->Locked(window, [&] { combo->SetString("typed"); });
    BPoint arrow(frame.right - 8, frame.top + 8);
    driver->Click(window, arrow);
    BWindow* menu = WaitMenu("_n_combo_menu");
    ASSERT_NE(menu, nullptr);
    expectDrawn(true, true);
    save_snapshot(*driver, menu, "combo_menu");
    BRect menuFrame = driver->Locked(menu, [&] { return menu->Frame(); });
    EXPECT_EQ(menuFrame.LeftTop(), BPoint(100 + frame.left + 2, 100 + frame.bottom + 2));
    BMenuItem* second = combo->Menu()->ItemAt(1);
    BRect itemFrame = driver->Locked(menu, [&] { return second->Frame(); });
    driver->Click(menu, BPoint(itemFrame.left + 10, (itemFrame.top + itemFrame.bottom) / 2));
    ASSERT_TRUE(wait_until([&] { return ShownMenu("_n_combo_menu") == nullptr; }));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_STREQ(driver->Locked(window, [&] { return combo->GetString(); }), "127.0.0.1:6668");
    EXPECT_EQ(window->Count(MSG_NTR), 0);
    EXPECT_EQ(window->Count(kConnect), 0);
    expectDrawn(true, false);

    // Enter in the field posts 'ntr' for its model message.
    driver->Click(window, BPoint(frame.left + 20, frame.top + 8));
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_EQ(window->Count(MSG_NTR), 1);
    void* target = nullptr;
    for (const BMessage& m : window->Messages())
        if (m.what == MSG_NTR)
            m.FindPointer("target", &target);
    EXPECT_EQ(target, combo->Field()->Message());
    EXPECT_EQ(combo->Field()->Message()->what, kConnect);

    // Disabled: grey, the arrow opens nothing and the field takes no typing.
    driver->Locked(window, [&] { combo->Enable(false); });
    ASSERT_TRUE(driver->WaitIdle());
    expectDrawn(false, false);
    save_snapshot(*driver, window, "combo_disabled");
    driver->Click(window, arrow);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(ShownMenu("_n_combo_menu"), nullptr);
    driver->Click(window, BPoint(frame.left + 20, frame.top + 8));
    driver->Type("x");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_STREQ(driver->Locked(window, [&] { return combo->GetString(); }), "127.0.0.1:6668");
    driver->Locked(window, [&] { combo->Enable(true); });
    ASSERT_TRUE(driver->WaitIdle());
    expectDrawn(true, false);
}

TEST_F(CustomControls, AnEmptyComboListOpensAndClosesLeavingTheText)
{
    auto* combo = Add(
        new newComboBox(BRect(20, 100, 219, 117), (char*)"server_combo", new BMessage(kConnect)));
    driver->Locked(window, [&] { combo->SetString("kept"); });
    BRect frame = driver->Locked(window, [&] { return combo->Frame(); });
    driver->Click(window, BPoint(frame.right - 8, frame.top + 8));
    ASSERT_NE(WaitMenu("_n_combo_menu"), nullptr);
    driver->Key(B_ESCAPE);
    ASSERT_TRUE(wait_until([&] { return ShownMenu("_n_combo_menu") == nullptr; }));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_STREQ(driver->Locked(window, [&] { return combo->GetString(); }), "kept");
    EXPECT_FALSE(driver->Locked(window, [&] { return combo->IsPressed(); }));
}

TEST(CustomControlsAlone, AComboBoxNeverShownFreesItsField)
{
    // Under the sanitizers this would report the field and its filter.
    delete new newComboBox(BRect(0, 0, 100, 17), (char*)"combo", new BMessage(kConnect));
}

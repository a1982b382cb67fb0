// The toolkit's windows on a real X server, given input only through the
// server (xdotool), as a person at the desktop would: the demo program as
// it ships, and the gallery of controls in this process, where the test can
// read the views' state and the messages they send.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <Application.h>
#include <ListView.h>
#include <Menu.h>
#include <MenuBar.h>
#include <MenuField.h>
#include <MenuItem.h>
#include <MessageFilter.h>
#include <TestDriver.h>
#include <TextControl.h>
#include <TextView.h>
#include <View.h>
#include <Window.h>

#include "Gallery.h"
#include "X11TestSupport.h"

// SDL looks for a session bus when it starts; libdbus keeps a buffer from
// the failed attempt for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

using namespace x11_test;

namespace
{

// Pixels of `shot` in the rectangle that differ from `before`.
int Changed(const Screenshot& before, const Screenshot& after, int left, int top, int right,
            int bottom)
{
    int changed = 0;
    for (int y = top; y <= bottom; y++)
        for (int x = left; x <= right; x++)
            changed += before.At(x, y) != after.At(x, y);
    return changed;
}

int Count(const Screenshot& shot, uint32 color, int left, int top, int right, int bottom)
{
    int count = 0;
    for (int y = top; y <= bottom; y++)
        for (int x = left; x <= right; x++)
            count += shot.At(x, y) == color;
    return count;
}

std::string XPoint(BPoint screen)
{
    return std::to_string(int(screen.x)) + " " + std::to_string(int(screen.y));
}

// -- the demo program -----------------------------------------------------------------

// A program started in the background, killed with the object.
class Background
{
public:
    explicit Background(const std::vector<std::string>& args)
    {
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&fPid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            fPid = -1;
    }
    ~Background()
    {
        if (fPid > 0) {
            kill(fPid, SIGKILL);
            waitpid(fPid, nullptr, 0);
        }
    }
    bool Running() const { return fPid > 0 && waitpid(fPid, nullptr, WNOHANG) == 0; }

private:
    pid_t fPid = -1;
};

// The drag box of the demo's "Drag" window: its colour and where it starts,
// in the window's content.
const uint32 kBoxColor = 0x98cbff;
const int kBoxLeft = 20, kBoxTop = 20, kBoxRight = 69, kBoxBottom = 49;

TEST(Demo, OpensItsWindowsAndFollowsADragThroughTheXServer)
{
    Watchdog watchdog;
    XServer server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    UseOnly(server);
    Background demo({TOOLKIT_DEMO});

    unsigned long drawing = 0, drag = 0, gallery = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            drawing = FindXWindow("Drawing");
            drag = FindXWindow("Drag");
            gallery = FindXWindow("Gallery");
            return drawing != 0 && drag != 0 && gallery != 0;
        },
        20 * kSecond))
        << "the demo's three windows did not appear";
    int x = 0, y = 0;
    ASSERT_TRUE(XWindowOrigin(drag, &x, &y));

    // The windows show what they draw: the box in its place, and text and
    // controls (many colours) in the other two.
    Screenshot shot;
    ASSERT_TRUE(WaitFor([&] {
        return Grab(&shot) && Count(shot, kBoxColor, x + kBoxLeft, y + kBoxTop, x + kBoxRight,
                                    y + kBoxBottom) > 1000;
    })) << "the drag box is not on the screen";
    for (unsigned long window : {drawing, gallery}) {
        int left = 0, top = 0;
        ASSERT_TRUE(XWindowOrigin(window, &left, &top));
        std::vector<uint32> colors;
        for (int py = top; py < top + 150; py++)
            for (int px = left; px < left + 200; px++)
                colors.push_back(shot.At(px, py));
        std::sort(colors.begin(), colors.end());
        colors.erase(std::unique(colors.begin(), colors.end()), colors.end());
        EXPECT_GT(colors.size(), 10u) << "window " << window << " looks empty";
    }

    // A press on the box, moves with the button held, a release: the view
    // under the pointer tracks the drag and the box ends where it was let go.
    const int kMove = 100;
    ASSERT_EQ(Xdo("mousemove " + std::to_string(x + 40) + " " + std::to_string(y + 30)), 0);
    ASSERT_EQ(Xdo("mousedown 1"), 0);
    for (int step = 1; step <= 5; step++) {
        snooze(60000);
        Xdo("mousemove " + std::to_string(x + 40 + kMove * step / 5) + " " +
            std::to_string(y + 30 + 20 * step / 5));
    }
    snooze(100000);
    ASSERT_EQ(Xdo("mouseup 1"), 0);
    EXPECT_TRUE(WaitFor([&] {
        return Grab(&shot) && Count(shot, kBoxColor, x + kBoxLeft + kMove, y + kBoxTop + 20,
                                    x + kBoxRight + kMove, y + kBoxBottom + 20) > 1000;
    })) << "the box did not follow the drag";
    EXPECT_LT(
        Count(shot, kBoxColor, x + kBoxLeft, y + kBoxTop, x + kBoxLeft + 30, y + kBoxTop + 10), 10)
        << "the box is still drawn where it was";
    EXPECT_TRUE(demo.Running());
}

// -- the gallery in this process ----------------------------------------------------------

// The gallery at a fixed place; the X server may put it elsewhere (a window
// manager would), so points go through Offset().
const BRect kGalleryFrame(60, 60, 579, 449);

class GalleryApp : public BApplication
{
public:
    GalleryApp() : BApplication("application/x-vnd.pelmor-gallery-test") {}
    void ReadyToRun() override { make_gallery(kGalleryFrame)->Show(); }
};

// Codes of the messages the gallery window was given.
class Received
{
public:
    void Add(uint32 what)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fCodes.push_back(what);
    }
    bool Has(uint32 what)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return std::find(fCodes.begin(), fCodes.end(), what) != fCodes.end();
    }

private:
    std::mutex fMutex;
    std::vector<uint32> fCodes;
};

Received* sReceived = nullptr;

filter_result Record(BMessage* message, BHandler**, BMessageFilter*)
{
    if (sReceived != nullptr)
        sReceived->Add(message->what);
    return B_DISPATCH_MESSAGE;
}

// Whether a window manager runs: openbox's check window is on the root.
bool ManagerRunning()
{
    std::string output;
    RunProgram({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, &output);
    return output.find("window id") != std::string::npos;
}

class GalleryOnX : public ::testing::Test
{
protected:
    // With a window manager (openbox), or bare as tests and kiosks run.
    explicit GalleryOnX(bool managed = false) : fManaged(managed) {}

    void SetUp() override
    {
        ASSERT_FALSE(fServer.Name().empty()) << "Xvfb did not start";
        UseOnly(fServer);
        if (fManaged) {
            fManager = std::make_unique<Background>(
                std::vector<std::string>{"/bin/sh", "-c", "exec openbox 2>/dev/null"});
            ASSERT_TRUE(WaitFor(ManagerRunning, 10 * kSecond)) << "openbox did not start";
        }
        sReceived = &fReceived;
        fDriver = std::make_unique<TestDriver>([] { return new GalleryApp; }, TestDriver::kDesktop);
        fGallery = fDriver->FindWindow("Gallery");
        ASSERT_NE(fGallery, nullptr);
        fDriver->Locked(fGallery, [&] {
            fGallery->AddCommonFilter(new BMessageFilter(B_ANY_DELIVERY, B_ANY_SOURCE, Record));
        });
        unsigned long id = 0;
        ASSERT_TRUE(WaitFor([&] { return (id = FindXWindow("Gallery")) != 0; }));
        int x = 0, y = 0;
        ASSERT_TRUE(WaitFor([&] { return XWindowOrigin(id, &x, &y) && x != 0; }));
        // A window manager places the window where it likes; the window
        // hears of that a moment later, or (some set-ups) never: what is
        // left between the two is the offset.
        auto frame = [&] { return fDriver->Locked(fGallery, [&] { return fGallery->Frame(); }); };
        WaitFor(
            [&] {
                XWindowOrigin(id, &x, &y);
                return frame().LeftTop() == BPoint(float(x), float(y));
            },
            2 * kSecond);
        fOffset = BPoint(float(x), float(y)) - frame().LeftTop();
        ASSERT_TRUE(fDriver->WaitIdle());
    }
    void TearDown() override
    {
        fDriver.reset();
        fManager.reset();
        sReceived = nullptr;
    }

    template <class View>
    View* Find(const char* name)
    {
        return dynamic_cast<View*>(fDriver->FindView(fGallery, name));
    }
    // Where a point of a view is on the X screen.
    BPoint OnScreen(BView* view, BPoint where)
    {
        return fDriver->Locked(view->Window(), [&] { return view->ConvertToScreen(where); }) +
               fOffset;
    }
    BPoint CentreOnScreen(BView* view)
    {
        BRect bounds = fDriver->Locked(view->Window(), [&] { return view->Bounds(); });
        return OnScreen(view,
                        BPoint((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2));
    }
    void ClickAt(BPoint screen)
    {
        ASSERT_EQ(Xdo("mousemove " + XPoint(screen)), 0);
        ASSERT_EQ(Xdo("click 1"), 0);
    }
    // The item of an open menu, on the screen.
    BPoint ItemOnScreen(BMenu* menu, int32 index)
    {
        BWindow* window = menu->Window();
        BPoint centre = fDriver->Locked(window, [&] {
            BRect frame = menu->ItemAt(index)->Frame();
            return menu->ConvertToScreen(
                BPoint((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2));
        });
        return centre + fOffset;
    }
    // Menu windows are kept for the next opening, hidden.
    bool IsOpen(BMenu* menu)
    {
        BWindow* window = menu->Window();
        return window != nullptr && !fDriver->Locked(window, [&] { return window->IsHidden(); });
    }
    BRect ScreenFrame(BWindow* window)
    {
        BRect frame = fDriver->Locked(window, [&] { return window->Frame(); });
        frame.OffsetBy(fOffset);
        return frame;
    }

    bool fManaged;
    Watchdog fWatchdog;
    XServer fServer;
    std::unique_ptr<Background> fManager;
    Received fReceived;
    std::unique_ptr<TestDriver> fDriver;
    BWindow* fGallery = nullptr;
    BPoint fOffset;
};

TEST_F(GalleryOnX, ClicksAndKeysReachTheViewsUnderThem)
{
    auto* nick = Find<BTextControl>("nick");
    auto* name = Find<BTextControl>("name");
    auto* list = Find<BListView>("list");
    ASSERT_NE(nick, nullptr);
    ASSERT_NE(name, nullptr);
    ASSERT_NE(list, nullptr);

    // The third server in the list, by a click on its row.
    BRect row = fDriver->Locked(fGallery, [&] { return list->ItemFrame(2); });
    ClickAt(OnScreen(list, BPoint(row.left + 20, (row.top + row.bottom) / 2)));
    EXPECT_TRUE(WaitFor(
        [&] { return fDriver->Locked(fGallery, [&] { return list->CurrentSelection(); }) == 2; }));

    // Text typed after a click on the nick field goes there and nowhere
    // else. The click puts the caret at its end (the text is shorter than
    // the field), so the keys follow the text that is there.
    BView* nickText = nick->TextView();
    ClickAt(OnScreen(
        nickText,
        BPoint(fDriver->Locked(fGallery, [&] { return nickText->Bounds().right - 4; }), 8)));
    ASSERT_EQ(Xdo("type --delay 30 _2"), 0);
    EXPECT_TRUE(WaitFor([&] {
        return fDriver->Locked(fGallery, [&] { return std::string(nick->Text()); }) == "be_user_2";
    })) << fDriver->Locked(fGallery, [&] { return std::string(nick->Text()); });
    ASSERT_EQ(Xdo("key BackSpace"), 0);
    EXPECT_TRUE(WaitFor([&] {
        return fDriver->Locked(fGallery, [&] { return std::string(nick->Text()); }) == "be_user_";
    }));
    ASSERT_TRUE(fDriver->WaitIdle());
    EXPECT_STREQ(fDriver->Locked(fGallery, [&] { return std::string(name->Text()); }).c_str(),
                 "my name");
    EXPECT_EQ(fDriver->Locked(fGallery, [&] { return list->CurrentSelection(); }), 2);
}

TEST_F(GalleryOnX, AClickOnAMenuOpensItAndTheChosenItemIsDelivered)
{
    auto* bar = Find<BMenuBar>("MenuBar");
    ASSERT_NE(bar, nullptr);
    BMenu* file = fDriver->Locked(fGallery, [&] { return bar->SubmenuAt(0); });
    ASSERT_NE(file, nullptr);
    BRect title = fDriver->Locked(fGallery, [&] { return bar->ItemAt(0)->Frame(); });

    Screenshot before, open, after;
    ASSERT_TRUE(Grab(&before));
    ClickAt(OnScreen(bar, BPoint((title.left + title.right) / 2, (title.top + title.bottom) / 2)));

    // The menu's window opens under its title and shows the items.
    ASSERT_TRUE(WaitFor([&] { return IsOpen(file); })) << "the menu did not open";
    BRect menuFrame = ScreenFrame(file->Window());
    EXPECT_GE(menuFrame.top, OnScreen(bar, title.LeftBottom()).y - 1);
    ASSERT_TRUE(WaitFor([&] {
        return Grab(&open) &&
               Changed(before, open, int(menuFrame.left), int(menuFrame.top), int(menuFrame.right),
                       int(menuFrame.bottom)) > int(menuFrame.Width() * menuFrame.Height() / 4);
    })) << "the open menu is not on the screen";
    // Its labels are drawn in dark text.
    int dark = 0;
    for (int y = int(menuFrame.top); y <= int(menuFrame.bottom); y++)
        for (int x = int(menuFrame.left); x <= int(menuFrame.right); x++)
            dark += (open.At(x, y) & 0xff) < 0x60;
    EXPECT_GT(dark, 20);
    EXPECT_FALSE(fReceived.Has('mfst'));

    // The first item, "Settings", chosen with a click.
    ClickAt(ItemOnScreen(file, 0));
    EXPECT_TRUE(WaitFor([&] { return fReceived.Has('mfst'); })) << "the item was not delivered";
    EXPECT_TRUE(WaitFor([&] { return !IsOpen(file); })) << "the menu stayed open";
    // And the screen where the menu was shows the gallery again.
    EXPECT_TRUE(WaitFor([&] {
        return Grab(&after) && Changed(before, after, int(menuFrame.left), int(menuFrame.top),
                                       int(menuFrame.right), int(menuFrame.bottom)) < 20;
    }));
}

TEST_F(GalleryOnX, TheMenuFieldShowsTheItemChosenFromIt)
{
    auto* field = Find<BMenuField>("Encoding");
    ASSERT_NE(field, nullptr);
    BMenu* menu = field->Menu();
    // The box with the marked item starts at the divider.
    BRect bounds = fDriver->Locked(fGallery, [&] { return field->Bounds(); });
    float divider = fDriver->Locked(fGallery, [&] { return field->Divider(); });
    ClickAt(OnScreen(field, BPoint(divider + 30, (bounds.top + bounds.bottom) / 2)));
    ASSERT_TRUE(WaitFor([&] { return IsOpen(menu); })) << "the menu did not open";

    ClickAt(ItemOnScreen(menu, 1));
    EXPECT_TRUE(WaitFor([&] { return !IsOpen(menu); })) << "the menu stayed open";
    ASSERT_TRUE(fDriver->WaitIdle());
    fDriver->Locked(fGallery, [&] {
        BMenuItem* marked = menu->FindMarked();
        ASSERT_NE(marked, nullptr);
        EXPECT_STREQ(marked->Label(), "Cyrillic / ISO 8859-5");
        EXPECT_STREQ(field->MenuItem()->Label(), "Cyrillic / ISO 8859-5");
    });
}

// -- menus, focus, clicks and the primary selection, with and without a window manager ------

class DesktopOnX : public GalleryOnX, public ::testing::WithParamInterface<bool>
{
protected:
    DesktopOnX() : GalleryOnX(GetParam()) {}

    // A shown window with this title that is not waiting in a menu.
    BWindow* ShownWindow(const char* title)
    {
        for (BWindow* candidate : fDriver->Windows()) {
            if (BLooper::_LockLooper(candidate, 20000) != B_OK)
                continue;
            bool match = strcmp(candidate->Title(), title) == 0 && !candidate->IsHidden();
            candidate->Unlock();
            if (match)
                return candidate;
        }
        return nullptr;
    }
    BPoint MenuItemOnScreen(BWindow* menuWindow, int32 index)
    {
        return fDriver->Locked(menuWindow, [&] {
            auto* menu = dynamic_cast<BMenu*>(menuWindow->ChildAt(0));
            BRect frame = menu->ItemAt(index)->Frame();
            return menu->ConvertToScreen(
                BPoint((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2));
        }) + fOffset;
    }
    // The gallery's thread waits in the menu until it closes: what a test
    // needs of the gallery it takes before.
    BWindow* OpenPopUp()
    {
        auto* popUp = Find<BView>("popup");
        EXPECT_NE(popUp, nullptr);
        ClickAt(CentreOnScreen(popUp));
        BWindow* menu = nullptr;
        EXPECT_TRUE(WaitFor([&] { return (menu = ShownWindow("user_menu")) != nullptr; }))
            << "the pop-up menu did not open";
        snooze(200000); // on the screen, not only shown
        return menu;
    }
    std::string TextOf(BTextControl* control)
    {
        return fDriver->Locked(fGallery, [&] { return std::string(control->Text()); });
    }
};

INSTANTIATE_TEST_SUITE_P(WindowManager, DesktopOnX, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "openbox" : "bare";
                         });

TEST_P(DesktopOnX, AClickOutsideAnOpenMenuClosesItAndIsSpent)
{
    auto* connect = Find<BView>("connect");
    ASSERT_NE(connect, nullptr);
    // Taken now: the gallery's thread waits in the menu while it is open.
    BPoint connectCentre = CentreOnScreen(connect);

    // As seen: "Pop-up...", then a click on "Connect": the menu stayed
    // open, and the click ran after Esc.
    ASSERT_NE(OpenPopUp(), nullptr);
    ClickAt(connectCentre);
    EXPECT_TRUE(WaitFor([&] { return ShownWindow("user_menu") == nullptr; }))
        << "the menu stayed open";
    snooze(300000);
    ASSERT_TRUE(fDriver->WaitIdle());
    EXPECT_FALSE(fReceived.Has('grow')) << "the click went on to the button";
    ClickAt(connectCentre);
    EXPECT_TRUE(WaitFor([&] { return fReceived.Has('grow'); })) << "the next click is the button's";

    // A menu of the menu bar, and a click on a field of the window.
    auto* bar = Find<BMenuBar>("MenuBar");
    auto* name = Find<BTextControl>("name");
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(name, nullptr);
    BMenu* file = fDriver->Locked(fGallery, [&] { return bar->SubmenuAt(0); });
    BRect title = fDriver->Locked(fGallery, [&] { return bar->ItemAt(0)->Frame(); });
    ClickAt(OnScreen(bar, BPoint((title.left + title.right) / 2, (title.top + title.bottom) / 2)));
    ASSERT_TRUE(WaitFor([&] { return IsOpen(file); }));
    snooze(200000);
    ClickAt(CentreOnScreen(name->TextView()));
    EXPECT_TRUE(WaitFor([&] { return !IsOpen(file); }));
    ASSERT_TRUE(fDriver->WaitIdle());
    EXPECT_NE(fDriver->Locked(fGallery, [&] { return fGallery->CurrentFocus(); }), name->TextView())
        << "the press that closed the menu did not reach the field";
}

TEST_P(DesktopOnX, AfterAChoiceInASubmenuTheKeyboardStillWorks)
{
    auto* nick = Find<BTextControl>("nick");
    ASSERT_NE(nick, nullptr);
    BView* nickText = nick->TextView();
    ClickAt(OnScreen(
        nickText,
        BPoint(fDriver->Locked(fGallery, [&] { return nickText->Bounds().right - 4; }), 8)));
    ASSERT_TRUE(WaitFor([&] {
        return fDriver->Locked(fGallery, [&] { return fGallery->CurrentFocus(); }) == nickText;
    }));

    // As seen on a bare X server: "Pop-up..." ▸ "CTCP" ▸ "Version", and
    // no key reached any window afterwards.
    BWindow* menu = OpenPopUp();
    ASSERT_NE(menu, nullptr);
    BPoint ctcp = MenuItemOnScreen(menu, 4);
    ASSERT_EQ(Xdo("mousemove " + XPoint(ctcp)), 0);
    BWindow* submenu = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (submenu = ShownWindow("CTCP")) != nullptr; }))
        << "the submenu did not open";
    snooze(200000);
    ClickAt(MenuItemOnScreen(submenu, 1));
    ASSERT_TRUE(WaitFor([&] { return ShownWindow("user_menu") == nullptr; }));
    ASSERT_TRUE(WaitFor([&] { return ShownWindow("CTCP") == nullptr; }));

    std::string output;
    RunProgram({"xdotool", "getwindowfocus"}, &output);
    EXPECT_EQ(strtoul(output.c_str(), nullptr, 10), FindXWindow("Gallery"))
        << "the X input focus is elsewhere";
    ASSERT_EQ(Xdo("type --delay 30 xy"), 0);
    EXPECT_TRUE(WaitFor([&] { return TextOf(nick) == "be_userxy"; })) << TextOf(nick);
}

TEST_P(DesktopOnX, QuickClicksOnTwoFieldsAreTwoSingleClicks)
{
    auto* nick = Find<BTextControl>("nick");
    auto* name = Find<BTextControl>("name");
    ASSERT_NE(nick, nullptr);
    ASSERT_NE(name, nullptr);
    // On the words, in one go: 26 pixels and a few milliseconds apart.
    auto onLetter = [&](BTextControl* control, int32 offset) {
        BTextView* text = control->TextView();
        BPoint point = fDriver->Locked(fGallery, [&] { return text->PointAt(offset); });
        return OnScreen(text, point + BPoint(2, 6));
    };
    BPoint first = onLetter(nick, 4);
    BPoint second = onLetter(name, 4);
    ASSERT_EQ(second.y - first.y, 26);
    ASSERT_EQ(
        Xdo("mousemove " + XPoint(first) + " click 1 mousemove " + XPoint(second) + " click 1"), 0);
    ASSERT_TRUE(WaitFor([&] {
        return fDriver->Locked(fGallery, [&] { return fGallery->CurrentFocus(); }) ==
               name->TextView();
    }));
    ASSERT_TRUE(fDriver->WaitIdle());
    int32 start = -1, end = -1;
    fDriver->Locked(fGallery, [&] { name->TextView()->GetSelection(&start, &end); });
    EXPECT_EQ(start, end) << "a word was selected as if double-clicked";

    // Where the first click was, it is a double click: "name".
    snooze(600000);
    ASSERT_EQ(Xdo("click --repeat 2 --delay 80 1"), 0);
    EXPECT_TRUE(WaitFor([&] {
        fDriver->Locked(fGallery, [&] { name->TextView()->GetSelection(&start, &end); });
        return start == 3 && end == 7;
    })) << start
        << " " << end;
}

TEST_P(DesktopOnX, ThePrimarySelectionThroughTheXServer)
{
    auto* nick = Find<BTextControl>("nick");
    auto* name = Find<BTextControl>("name");
    ASSERT_NE(nick, nullptr);
    ASSERT_NE(name, nullptr);

    // A double click selects "be_user"; another program reads it.
    ClickAt(OnScreen(nick->TextView(), BPoint(20, 8)));
    ASSERT_EQ(Xdo("click 1"), 0);
    std::string primary;
    EXPECT_TRUE(WaitFor([&] {
        primary.clear();
        RunProgram({"xclip", "-o", "-selection", "primary"}, &primary);
        return primary == "be_user";
    })) << primary;

    // Another program's selection, pasted by a middle click at the start
    // of "my name".
    Background owner(
        {"/bin/sh", "-c", "printf 'your ' | xclip -i -selection primary -quiet >/dev/null 2>&1"});
    ASSERT_TRUE(WaitFor([&] {
        std::string now;
        RunProgram({"xclip", "-o", "-selection", "primary"}, &now);
        return now == "your ";
    }));
    BPoint start = OnScreen(name->TextView(), BPoint(2, 8));
    ASSERT_EQ(Xdo("mousemove " + XPoint(start) + " click 2"), 0);
    EXPECT_TRUE(WaitFor([&] { return TextOf(name) == "your my name"; })) << TextOf(name);
}

} // namespace

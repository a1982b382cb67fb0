// Menus: a menu bar with its pop-up menus and shortcuts, submenus, pop-up
// menus opened by a window's thread, and menu fields, used as a person would.

#include "ControlTestSupport.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include <AppDefs.h>
#include <DisplayServer.h>
#include <Menu.h>
#include <MenuBar.h>
#include <MenuField.h>
#include <MenuItem.h>
#include <PopUpMenu.h>

namespace
{

const uint32 kSettings = 'sett';
const uint32 kAbout = 'abou';
const uint32 kExit = 'exit';
const uint32 kWhois = 'whoi';
const uint32 kVersion = 'cver';
const uint32 kPing = 'cpng';
const uint32 kReconnect = 'reco';
const uint32 kQuery = 'qury';
const uint32 kEncoding = 'enco';
const uint32 kOpenPopUp = 'gopu';

const rgb_color kSelection = {170, 190, 225, 255};

bool same_colour(rgb_color a, rgb_color b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

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

// Keeps every message the handler gets, from any thread.
class Recorder
{
public:
    void Record(const BMessage* message)
    {
        std::lock_guard<std::mutex> lock(fLock);
        fMessages.push_back(*message);
    }
    int Count(uint32 what)
    {
        std::lock_guard<std::mutex> lock(fLock);
        int count = 0;
        for (const BMessage& message : fMessages)
            count += message.what == what;
        return count;
    }
    BMessage Last(uint32 what)
    {
        std::lock_guard<std::mutex> lock(fLock);
        for (auto it = fMessages.rbegin(); it != fMessages.rend(); ++it) {
            if (it->what == what)
                return *it;
        }
        return BMessage();
    }

private:
    std::mutex fLock;
    std::vector<BMessage> fMessages;
};

class RecordingApp : public BApplication
{
public:
    RecordingApp() : BApplication("application/x-vnd.pelmor-menu-test") {}
    void MessageReceived(BMessage* message) override
    {
        recorder.Record(message);
        BApplication::MessageReceived(message);
    }
    Recorder recorder;
};

// A handler of the window, as the program's windows keep for their menus.
class RecordingHandler : public BHandler
{
public:
    RecordingHandler() : BHandler("menu handler") {}
    void MessageReceived(BMessage* message) override { recorder.Record(message); }
    Recorder recorder;
};

// The window's content: counts the presses that reach it, and opens a
// pop-up menu from the window's thread when asked to.
class Content : public BView
{
public:
    explicit Content(BRect frame) : BView(frame, "content", B_FOLLOW_ALL_SIDES, B_WILL_DRAW)
    {
        SetViewColor(220, 220, 220);
    }
    void MouseDown(BPoint where) override
    {
        presses++;
        if (popUp != nullptr && pressOpens) {
            // As a list does on a press: the menu follows the pointer, and
            // a release near the press leaves it open.
            BPoint screen = ConvertToScreen(where);
            BRect near(screen.x - 2, screen.y - 2, screen.x + 2, screen.y + 2);
            Finish(popUp->Go(screen + BPoint(1, 1), true, false, near));
        }
    }
    void MessageReceived(BMessage* message) override
    {
        if (message->what != kOpenPopUp) {
            BView::MessageReceived(message);
            return;
        }
        BPoint where(150, 150);
        bool delivers = true, anyway = true;
        message->FindPoint("where", &where);
        message->FindBool("delivers", &delivers);
        message->FindBool("anyway", &anyway);
        Finish(popUp->Go(where, delivers, anyway));
    }
    void Finish(BMenuItem* item)
    {
        result = item;
        goes++;
    }

    std::atomic<int> presses{0};
    std::atomic<int> goes{0};
    std::atomic<BMenuItem*> result{nullptr};
    BPopUpMenu* popUp = nullptr;
    bool pressOpens = false;
};

// The main window of the program in small: File, User (with the CTCP
// submenu) and Channel menus in a bar.
class Menus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        driver = std::make_unique<TestDriver>([] { return new RecordingApp; });
        app = static_cast<RecordingApp*>(driver->App());
        window = new RecordingWindow(BRect(100, 100, 499, 399), "Main");
        content = new Content(window->Bounds());
        window->AddChild(content);
        handler = new RecordingHandler;
        window->AddHandler(handler);

        bar = new BMenuBar(BRect(0, 0, 10, 10), "menubar");
        file = new BMenu("File");
        settings = new BMenuItem("Settings", new BMessage(kSettings));
        settings->SetTarget(handler);
        file->AddItem(settings);
        file->AddSeparatorItem();
        about = new BMenuItem("About", new BMessage(kAbout)); // to the window
        file->AddItem(about);
        exit = new BMenuItem("Exit", new BMessage(kExit), 'Q');
        exit->SetTarget(be_app);
        file->AddItem(exit);

        user = new BMenu("User");
        whois = new BMenuItem("Whois", new BMessage(kWhois));
        user->AddItem(whois);
        ctcp = new BMenu("CTCP");
        version = new BMenuItem("Version", new BMessage(kVersion));
        ping = new BMenuItem("Ping", new BMessage(kPing), 'P', B_SHIFT_KEY);
        ctcp->AddItem(version);
        ctcp->AddItem(ping);
        user->AddItem(ctcp);

        bar->AddItem(file);
        bar->AddItem(user);
        content->AddChild(bar);
        window->Show();
        ASSERT_TRUE(driver->WaitIdle());
    }
    void TearDown() override
    {
        driver.reset();
        // Windows leave their handlers to whoever made them.
        delete handler;
    }

    // A shown menu window with this title, or null. A window that waits in
    // Go() holds its lock: it is skipped (it is no menu).
    BWindow* Shown(const char* title)
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
    // Waits for the menu window to show, with nothing left for the display
    // to do, without waiting for every loop (a window may wait in Go()).
    BWindow* WaitShown(const char* title)
    {
        BWindow* found = nullptr;
        wait_until([&] {
            found = Shown(title);
            return found != nullptr && BPrivate::DisplayServer::Get()->IsIdle();
        });
        return found;
    }
    bool WaitHidden(const char* title)
    {
        return wait_until([&] { return Shown(title) == nullptr; });
    }
    BPoint Centre(BRect frame)
    {
        return BPoint(std::floor((frame.left + frame.right) / 2),
                      std::floor((frame.top + frame.bottom) / 2));
    }
    // An item's centre in its menu's window (the menu fills the window).
    BPoint ItemPoint(BWindow* menuWindow, BMenuItem* item)
    {
        return driver->Locked(menuWindow, [&] { return Centre(item->Frame()); });
    }
    BPoint BarItemPoint(BMenuItem* item)
    {
        return driver->Locked(window, [&] { return bar->_ToWindow(Centre(item->Frame())); });
    }
    void ClickItem(BWindow* menuWindow, BMenuItem* item)
    {
        driver->Click(menuWindow, ItemPoint(menuWindow, item));
    }
    BWindow* OpenFile()
    {
        driver->Click(window, BarItemPoint(bar->ItemAt(0)));
        EXPECT_TRUE(driver->WaitIdle());
        return Shown("File");
    }

    std::unique_ptr<TestDriver> driver;
    RecordingApp* app = nullptr;
    RecordingWindow* window = nullptr;
    Content* content = nullptr;
    RecordingHandler* handler = nullptr;
    BMenuBar* bar = nullptr;
    BMenu* file = nullptr;
    BMenu* user = nullptr;
    BMenu* ctcp = nullptr;
    BMenuItem* settings = nullptr;
    BMenuItem* about = nullptr;
    BMenuItem* exit = nullptr;
    BMenuItem* whois = nullptr;
    BMenuItem* version = nullptr;
    BMenuItem* ping = nullptr;
};

} // namespace

TEST_F(Menus, TheBarSizesItselfAndBecomesTheKeyMenuBar)
{
    driver->Locked(window, [&] {
        EXPECT_EQ(window->KeyMenuBar(), bar);
        BRect frame = bar->Frame();
        EXPECT_EQ(frame.Width(), window->Bounds().Width()) << "follows left and right";
        EXPECT_GE(frame.Height(), 14) << "a line of the plain font";
        EXPECT_LE(frame.Height(), 30);
        BRect first = bar->ItemAt(0)->Frame();
        BRect second = bar->ItemAt(1)->Frame();
        EXPECT_GT(second.left, first.right) << "items in a row";
        EXPECT_EQ(first.top, second.top);
        EXPECT_EQ(bar->ItemAt(0)->Submenu(), file);
        EXPECT_STREQ(bar->ItemAt(0)->Label(), "File") << "labelled by the submenu's name";
        EXPECT_EQ(file->Supermenu(), bar);
        EXPECT_EQ(ctcp->Supermenu(), user);
        EXPECT_EQ(ctcp->Superitem(), user->ItemAt(1));
    });
}

TEST_F(Menus, ClickingAnItemDeliversToItsTargetAndCloses)
{
    BWindow* menu = OpenFile();
    ASSERT_NE(menu, nullptr) << "clicking File opens its window";
    BRect barItem = driver->Locked(window, [&] { return bar->ItemAt(0)->Frame(); });
    BRect frame = driver->Locked(menu, [&] { return menu->Frame(); });
    EXPECT_EQ(frame.left, 100 + barItem.left) << "below its item";
    EXPECT_EQ(frame.top, 100 + barItem.bottom + 1);
    EXPECT_EQ(window->Count(kAbout), 0);

    // About has no target: the window gets it.
    ClickItem(menu, about);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr) << "the menu closes";
    ASSERT_EQ(window->Count(kAbout), 1);
    BMessage sent = window->Messages().back();
    void* source = nullptr;
    int32 index = -1;
    EXPECT_EQ(sent.FindPointer("source", &source), B_OK);
    EXPECT_EQ(source, about);
    EXPECT_EQ(sent.FindInt32("index", &index), B_OK);
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(sent.HasInt64("when"));

    // A handler in the window, and the application.
    ClickItem(OpenFile(), settings);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(handler->recorder.Count(kSettings), 1);
    EXPECT_EQ(window->Count(kSettings), 0);
    ClickItem(OpenFile(), exit);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 1);

    // The separator cannot be chosen: the menu stays open.
    menu = OpenFile();
    ASSERT_NE(menu, nullptr);
    ClickItem(menu, file->ItemAt(1));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_NE(Shown("File"), nullptr);
    // A disabled item neither.
    driver->Locked(window, [&] { about->SetEnabled(false); });
    ClickItem(menu, about);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_NE(Shown("File"), nullptr);
    EXPECT_EQ(window->Count(kAbout), 1);
}

TEST_F(Menus, ClosingByEscapeByClickingOutsideAndByTheBar)
{
    ASSERT_NE(OpenFile(), nullptr);
    driver->Key(B_ESCAPE);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    // The window has the keyboard again.
    driver->Key('q', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 1);

    // A click elsewhere in the window closes the menu and goes no further.
    ASSERT_NE(OpenFile(), nullptr);
    int presses = content->presses;
    driver->Click(window, BPoint(300, 250));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    EXPECT_EQ(content->presses, presses);
    driver->Click(window, BPoint(300, 250));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(content->presses, presses + 1) << "with no menu open clicks arrive";

    // The open item again closes it.
    ASSERT_NE(OpenFile(), nullptr);
    driver->Click(window, BarItemPoint(bar->ItemAt(0)));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    EXPECT_EQ(window->Count(kAbout) + window->Count(kSettings) + app->recorder.Count(kExit), 1)
        << "nothing was invoked by closing";
}

TEST_F(Menus, APressInAnotherWindowClosesTheMenuAndGoesNoFurther)
{
    auto* other = new RecordingWindow(BRect(600, 100, 799, 299), "Other");
    auto* otherContent = new Content(other->Bounds());
    other->AddChild(otherContent);
    other->Show();
    ASSERT_TRUE(driver->WaitIdle());
    driver->Activate(window);
    ASSERT_NE(OpenFile(), nullptr);

    driver->Click(other, BPoint(50, 50));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    EXPECT_EQ(otherContent->presses, 0);
    EXPECT_EQ(window->Count(kAbout) + window->Count(kSettings) + app->recorder.Count(kExit), 0);
    driver->Click(other, BPoint(50, 50));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(otherContent->presses, 1);

    // A drag begun outside an open menu goes nowhere either, release and all.
    driver->Activate(window);
    ASSERT_NE(OpenFile(), nullptr);
    driver->Drag(other, BPoint(20, 20), BPoint(80, 80), 3);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    EXPECT_EQ(otherContent->presses, 1);
}

TEST_F(Menus, MovingAlongTheBarSwitchesMenus)
{
    ASSERT_NE(OpenFile(), nullptr);
    driver->MouseMove(window, BarItemPoint(bar->ItemAt(1)));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    BWindow* menu = Shown("User");
    ASSERT_NE(menu, nullptr);
    // The open item is drawn highlighted, the other not (beside the labels).
    BPoint open = driver->Locked(window, [&] { return bar->ItemAt(1)->Frame().LeftTop(); });
    BPoint closed = driver->Locked(window, [&] { return bar->ItemAt(0)->Frame().LeftTop(); });
    Snapshot shot(*driver, window);
    EXPECT_TRUE(same_colour(shot.At(int32(open.x) + 2, int32(open.y) + 2), kSelection));
    EXPECT_FALSE(same_colour(shot.At(int32(closed.x) + 2, int32(closed.y) + 2), kSelection));
    ClickItem(menu, whois);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kWhois), 1);
    Snapshot after(*driver, window);
    EXPECT_FALSE(same_colour(after.At(int32(open.x) + 2, int32(open.y) + 2), kSelection));
}

TEST_F(Menus, AnOpenMenuFollowsChangesToItsItems)
{
    BWindow* menu = OpenFile();
    ASSERT_NE(menu, nullptr);
    BRect before = driver->Locked(menu, [&] { return menu->Frame(); });
    BMenuItem* disconnect = nullptr;
    driver->Locked(window, [&] {
        disconnect = new BMenuItem("Disconnect from every server", new BMessage(kReconnect));
        file->AddItem(disconnect, 1);
    });
    ASSERT_TRUE(driver->WaitIdle());
    BRect after = driver->Locked(menu, [&] { return menu->Frame(); });
    BRect row = driver->Locked(menu, [&] { return disconnect->Frame(); });
    EXPECT_EQ(after.Height(), before.Height() + row.Height() + 1) << "one row more";
    EXPECT_GT(after.Width(), before.Width()) << "as wide as the new label";
    EXPECT_EQ(after.LeftTop(), before.LeftTop());
    ClickItem(menu, disconnect);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_EQ(window->Count(kReconnect), 1);
    int32 index = -1;
    window->Messages().back().FindInt32("index", &index);
    EXPECT_EQ(index, 1);
}

TEST_F(Menus, PressDragAndReleaseOnAnItem)
{
    // The press opens File; its events stay with the main window while the
    // pointer goes down into the menu, and the release chooses.
    BPoint from = BarItemPoint(bar->ItemAt(0));
    driver->MouseMove(window, from);
    driver->MouseDown(window, from);
    BWindow* menu = WaitShown("File");
    ASSERT_NE(menu, nullptr);
    BRect frame = driver->Locked(menu, [&] { return menu->Frame(); });
    BPoint onAbout = ItemPoint(menu, about) + frame.LeftTop() - BPoint(100, 100);
    driver->MouseMove(window, onAbout, B_PRIMARY_MOUSE_BUTTON);
    // The menu under the pointer highlights it meanwhile.
    int32 aboutY = int32(ItemPoint(menu, about).y);
    ASSERT_TRUE(
        wait_until([&] { return same_colour(driver->Pixel(menu, 4, aboutY), kSelection); }));
    driver->MouseUp(window, onAbout);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kAbout), 1);
    EXPECT_EQ(Shown("File"), nullptr);

    // Released where it was pressed: open for a click. Released elsewhere
    // after that press: closed.
    driver->Drag(window, from, from, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_NE(Shown("File"), nullptr);
    driver->Key(B_ESCAPE);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Drag(window, from, BPoint(380, 280), 4);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    EXPECT_EQ(window->Count(kAbout), 1);
}

TEST_F(Menus, ShortcutsWorkWithoutOpeningAndFollowTheItems)
{
    driver->Key('q', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 1) << "to the item's target";
    EXPECT_EQ(Shown("File"), nullptr) << "without opening the menu";
    BMessage sent = app->recorder.Last(kExit);
    void* source = nullptr;
    sent.FindPointer("source", &source);
    EXPECT_EQ(source, exit);

    // Disabled: nothing, also through a disabled menu.
    driver->Locked(window, [&] { exit->SetEnabled(false); });
    driver->Key('q', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 1);
    driver->Locked(window, [&] {
        exit->SetEnabled(true);
        file->SetEnabled(false);
    });
    driver->Key('q', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 1);
    driver->Locked(window, [&] { file->SetEnabled(true); });

    // A submenu's item, with Shift; without Shift it is another shortcut.
    driver->Key('p', B_COMMAND_KEY | B_SHIFT_KEY);
    driver->Key('p', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kPing), 1);

    // Items added later, and changed shortcuts.
    BMenuItem* reconnect = nullptr;
    driver->Locked(window, [&] {
        reconnect = new BMenuItem("Reconnect", new BMessage(kReconnect), 'R');
        file->AddItem(reconnect, 0);
        uint32 modifiers = 0;
        EXPECT_EQ(reconnect->Shortcut(&modifiers), 'R');
        EXPECT_EQ(modifiers, uint32(B_COMMAND_KEY)) << "always with the Command key";
    });
    driver->Key('r', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kReconnect), 1);
    driver->Locked(window, [&] { exit->SetShortcut('W', 0); });
    driver->Key('q', B_COMMAND_KEY);
    driver->Key('w', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 2);

    // Removed items take their shortcut along.
    driver->Locked(window, [&] { EXPECT_TRUE(file->RemoveItem(reconnect)); });
    driver->Key('r', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kReconnect), 1);
    delete reconnect;
}

TEST_F(Menus, KeyboardInAnOpenMenu)
{
    // Down, Down, Enter: past the separator to About.
    ASSERT_NE(OpenFile(), nullptr);
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kAbout), 1);
    EXPECT_EQ(handler->recorder.Count(kSettings), 0);
    EXPECT_EQ(Shown("File"), nullptr);

    // Disabled items are skipped; Up wraps around.
    driver->Locked(window, [&] { about->SetEnabled(false); });
    ASSERT_NE(OpenFile(), nullptr);
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 1);
    ASSERT_NE(OpenFile(), nullptr);
    driver->Key(B_UP_ARROW);
    driver->Key(B_UP_ARROW);
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(handler->recorder.Count(kSettings), 1);

    // Escape invokes nothing.
    ASSERT_NE(OpenFile(), nullptr);
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_ESCAPE);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    EXPECT_EQ(handler->recorder.Count(kSettings), 1);

    // Right and Left move along the bar; the trigger letter chooses.
    ASSERT_NE(OpenFile(), nullptr);
    driver->Key(B_RIGHT_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    ASSERT_NE(Shown("User"), nullptr);
    driver->Key(B_LEFT_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_NE(Shown("File"), nullptr);
    // Settings, About and Exit take S, A and E; a letter no item has
    // does nothing.
    driver->Key('x');
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_NE(Shown("File"), nullptr);
    driver->Key('e');
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 2);
    EXPECT_EQ(Shown("File"), nullptr);
}

TEST_F(Menus, SubmenusOpenBesideTheirItemAndDeliver)
{
    driver->Click(window, BarItemPoint(bar->ItemAt(1)));
    ASSERT_TRUE(driver->WaitIdle());
    BWindow* userWindow = Shown("User");
    ASSERT_NE(userWindow, nullptr);
    EXPECT_EQ(Shown("CTCP"), nullptr);
    BMenuItem* ctcpItem = user->ItemAt(1);
    driver->MouseMove(userWindow, ItemPoint(userWindow, ctcpItem));
    ASSERT_TRUE(driver->WaitIdle());
    BWindow* ctcpWindow = Shown("CTCP");
    ASSERT_NE(ctcpWindow, nullptr) << "hovering the item opens its submenu";
    BRect outer = driver->Locked(userWindow, [&] { return userWindow->Frame(); });
    BRect inner = driver->Locked(ctcpWindow, [&] { return ctcpWindow->Frame(); });
    EXPECT_EQ(inner.left, outer.right + 1) << "to the right";
    EXPECT_NEAR(inner.top,
                outer.top + driver->Locked(userWindow, [&] { return ctcpItem->Frame().top; }) - 2,
                0.5);

    // Back onto Whois: the submenu closes.
    driver->MouseMove(userWindow, ItemPoint(userWindow, whois));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("CTCP"), nullptr);
    driver->MouseMove(userWindow, ItemPoint(userWindow, ctcpItem));
    ASSERT_TRUE(driver->WaitIdle());
    ctcpWindow = Shown("CTCP");
    ASSERT_NE(ctcpWindow, nullptr);
    ClickItem(ctcpWindow, version);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kVersion), 1);
    EXPECT_EQ(Shown("CTCP"), nullptr);
    EXPECT_EQ(Shown("User"), nullptr);

    // By keyboard: Right opens it with its first item, Left closes it only.
    driver->Click(window, BarItemPoint(bar->ItemAt(1)));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_RIGHT_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_NE(Shown("CTCP"), nullptr);
    driver->Key(B_LEFT_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("CTCP"), nullptr);
    ASSERT_NE(Shown("User"), nullptr);
    driver->Key(B_RIGHT_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Key(B_DOWN_ARROW);
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kPing), 1);
    EXPECT_EQ(Shown("User"), nullptr);
}

TEST_F(Menus, AnOpenMenuLooksRight)
{
    BWindow* menu = OpenFile();
    ASSERT_NE(menu, nullptr);
    driver->MouseMove(menu, ItemPoint(menu, about));
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_TRUE(driver->SavePNG(menu, ::testing::TempDir() + "menu-file.png"));
    Snapshot shot(*driver, menu);
    BRect aboutFrame, exitFrame, separator;
    driver->Locked(menu, [&] {
        aboutFrame = about->Frame();
        exitFrame = exit->Frame();
        separator = file->ItemAt(1)->Frame();
    });
    // A dark outline, then the bevel.
    EXPECT_EQ(shot.At(0, 0).red, 62);
    EXPECT_EQ(shot.At(1, 5).red, 250);
    EXPECT_EQ(shot.At(shot.width - 2, 5).red, 150);
    // The highlighted item, and only it.
    EXPECT_TRUE(
        same_colour(shot.At(int32(aboutFrame.left) + 2, int32(aboutFrame.top) + 1), kSelection));
    EXPECT_FALSE(
        same_colour(shot.At(int32(exitFrame.left) + 2, int32(exitFrame.top) + 1), kSelection));
    // The separator: a dark line over a light one.
    int32 middle = int32(std::floor((separator.top + separator.bottom) / 2));
    EXPECT_EQ(shot.At(20, middle).red, 150);
    EXPECT_EQ(shot.At(20, middle + 1).red, 250);
    // "Ctrl+Q" at the right of Exit, text at the left of every item.
    auto dark = [&](BRect frame, float from, float to) {
        int count = 0;
        for (int32 y = int32(frame.top); y <= int32(frame.bottom); y++)
            for (int32 x = int32(from); x <= int32(to); x++)
                count += shot.At(x, y).red < 90;
        return count;
    };
    EXPECT_GT(dark(exitFrame, exitFrame.right - 60, exitFrame.right - 10), 15) << "shortcut";
    EXPECT_EQ(dark(aboutFrame, aboutFrame.right - 60, aboutFrame.right - 10), 0);
    EXPECT_GT(dark(aboutFrame, aboutFrame.left + 20, aboutFrame.left + 50), 15) << "label";
    driver->Key(B_ESCAPE);
    ASSERT_TRUE(driver->WaitIdle());
}

TEST_F(Menus, GoFromAWindowThreadReturnsTheChoice)
{
    auto* popUp = new BPopUpMenu("Nick", false, false);
    BMenuItem* whoisItem = new BMenuItem("Whois", new BMessage(kWhois));
    BMenuItem* queryItem = new BMenuItem("Query", new BMessage(kQuery));
    popUp->AddItem(whoisItem);
    popUp->AddItem(queryItem);
    driver->Locked(window, [&] { content->popUp = popUp; });
    auto go = [&](bool delivers) {
        BMessage open(kOpenPopUp);
        open.AddPoint("where", BPoint(300, 200));
        open.AddBool("delivers", delivers);
        window->PostMessage(&open, content);
    };

    // Chosen by a click: returned and delivered to the calling window.
    go(true);
    BWindow* menu = WaitShown("Nick");
    ASSERT_NE(menu, nullptr);
    BRect frame = driver->Locked(menu, [&] { return menu->Frame(); });
    EXPECT_EQ(frame.LeftTop(), BPoint(300, 200));
    EXPECT_EQ(content->goes, 0) << "the window waits";
    ClickItem(menu, queryItem);
    ASSERT_TRUE(wait_until([&] { return content->goes == 1; }));
    EXPECT_EQ(content->result, queryItem);
    ASSERT_TRUE(driver->WaitIdle()) << "the window runs again";
    EXPECT_EQ(window->Count(kQuery), 1);

    // Without delivering: only returned.
    go(false);
    menu = WaitShown("Nick");
    ASSERT_NE(menu, nullptr);
    ClickItem(menu, whoisItem);
    ASSERT_TRUE(wait_until([&] { return content->goes == 2; }));
    EXPECT_EQ(content->result, whoisItem);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kWhois), 0);

    // Escape: null.
    go(true);
    ASSERT_NE(WaitShown("Nick"), nullptr);
    driver->Key(B_ESCAPE);
    ASSERT_TRUE(wait_until([&] { return content->goes == 3; }));
    EXPECT_EQ(content->result, nullptr);

    // A press outside (held a moment, as a hand does): null, and the
    // press was spent on closing: the window never gets it.
    go(true);
    ASSERT_NE(WaitShown("Nick"), nullptr);
    content->result = whoisItem;
    int presses = content->presses;
    driver->MouseDown(window, BPoint(20, 250));
    ASSERT_TRUE(wait_until([&] { return content->goes == 4; }));
    driver->MouseUp(window, BPoint(20, 250));
    EXPECT_EQ(content->result, nullptr);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("Nick"), nullptr);
    EXPECT_EQ(window->Count(kWhois) + window->Count(kQuery), 1);
    EXPECT_EQ(content->presses, presses);

    // A quick click outside, press and release at once (as seen, the
    // menu stayed open and the click ran after Esc): the same.
    go(true);
    ASSERT_NE(WaitShown("Nick"), nullptr);
    driver->Click(window, BPoint(20, 250));
    ASSERT_TRUE(wait_until([&] { return content->goes == 5; }));
    EXPECT_EQ(content->result, nullptr);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("Nick"), nullptr);
    EXPECT_EQ(content->presses, presses) << "not even after the menu closed";
    driver->Click(window, BPoint(20, 250));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(content->presses, presses + 1) << "the next click is the window's";

    // The button already up and nothing under the pointer: not even opened.
    BMessage quick(kOpenPopUp);
    quick.AddBool("anyway", false);
    window->PostMessage(&quick, content);
    ASSERT_TRUE(wait_until([&] { return content->goes == 6; }));
    EXPECT_EQ(content->result, nullptr);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("Nick"), nullptr);

    driver->Locked(window, [&] { content->popUp = nullptr; });
    delete popUp;
}

// A click whose press and release come at once (a tap on a touchpad, a
// click made by a program) closes an open menu like a held press does, in
// the window waiting in Go() and in a window the menu does not belong to.
TEST_F(Menus, AQuickClickElsewhereClosesTheMenu)
{
    auto* popUp = new BPopUpMenu("Nick", false, false);
    popUp->AddItem(new BMenuItem("Whois", new BMessage(kWhois)));
    driver->Locked(window, [&] { content->popUp = popUp; });
    auto* other = new RecordingWindow(BRect(600, 100, 799, 299), "Other");
    other->Show();
    ASSERT_TRUE(driver->WaitIdle());

    for (int i = 1; i <= 4; i++) {
        BMessage open(kOpenPopUp);
        window->PostMessage(&open, content);
        ASSERT_NE(WaitShown("Nick"), nullptr);
        content->result = popUp->ItemAt(0);
        if (i % 2 == 1)
            driver->Click(window, BPoint(20, 250));
        else
            driver->Click(other, BPoint(50, 50));
        bool closed = wait_until([&] { return content->goes == i; }, 1000000);
        EXPECT_TRUE(closed) << "click " << i << " went unseen";
        if (!closed)
            driver->Key(B_ESCAPE);
        ASSERT_TRUE(wait_until([&] { return content->goes == i; }));
        EXPECT_EQ(content->result, nullptr);
        ASSERT_TRUE(driver->WaitIdle());
        EXPECT_EQ(Shown("Nick"), nullptr);
    }
    // The menu bar's menu, clicked away in the other window.
    ASSERT_NE(OpenFile(), nullptr);
    driver->Click(other, BPoint(50, 50));
    EXPECT_TRUE(wait_until([&] { return Shown("File") == nullptr; }, 1000000));
    EXPECT_EQ(window->Count(kWhois), 0);

    driver->Locked(window, [&] { content->popUp = nullptr; });
    delete popUp;
}

// The close button or key of the window manager, which no menu sees, while
// the window waits in Go(): the menu closes first, as by Escape, so that
// the window takes the request at once.
TEST_F(Menus, ACloseRequestClosesTheMenuFirst)
{
    auto* popUp = new BPopUpMenu("Nick", false, false);
    popUp->AddItem(new BMenuItem("Whois", new BMessage(kWhois)));
    driver->Locked(window, [&] { content->popUp = popUp; });
    BMessage open(kOpenPopUp);
    window->PostMessage(&open, content);
    ASSERT_NE(WaitShown("Nick"), nullptr);

    driver->Close(window);
    bool closed = wait_until([&] { return !BLooper::_IsValid(window); }, 2000000);
    EXPECT_TRUE(closed) << "the close request waits for the menu";
    if (!closed)
        driver->Key(B_ESCAPE);
    ASSERT_TRUE(wait_until([&] { return !BLooper::_IsValid(window); }));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("Nick"), nullptr);
    EXPECT_EQ(app->recorder.Count(kWhois), 0);
    delete popUp;
}

// The application asked to quit (another window's close box, a shortcut)
// while a window waits in Go() for its menu: the menus go first and the
// window gets its answer, even when it opens its menu again right away.
TEST_F(Menus, TheApplicationQuitsWhileAWindowWaitsInGo)
{
    auto* popUp = new BPopUpMenu("Nick", false, false);
    popUp->AddItem(new BMenuItem("Whois", new BMessage(kWhois)));
    auto* more = new BMenu("More");
    more->AddItem(new BMenuItem("Query", new BMessage(kQuery)));
    popUp->AddItem(more);
    driver->Locked(window, [&] { content->popUp = popUp; });
    BMessage open(kOpenPopUp);
    window->PostMessage(&open, content);
    // Waiting behind the first: opened as soon as that one returns.
    window->PostMessage(&open, content);
    BWindow* menu = WaitShown("Nick");
    ASSERT_NE(menu, nullptr);
    driver->MouseMove(menu, ItemPoint(menu, popUp->ItemAt(1)));
    ASSERT_NE(WaitShown("More"), nullptr);

    app->PostMessage(B_QUIT_REQUESTED);
    bool quit = wait_until([&] { return !app->IsRunning(); }, 3000000);
    EXPECT_TRUE(quit) << "the quit waits for the open menu";
    // Else let the test end: menus closed by hand let the quit go on.
    while (!quit) {
        driver->Key(B_ESCAPE);
        quit = wait_until([&] { return !app->IsRunning(); }, 500000);
    }
    EXPECT_TRUE(driver->Windows().empty());
    EXPECT_EQ(app->recorder.Count(kWhois) + app->recorder.Count(kQuery), 0);
    delete popUp;
}

TEST_F(Menus, GoOnAPressClickToOpenAndDragRelease)
{
    auto* popUp = new BPopUpMenu("Nick", false, false);
    BMenuItem* whoisItem = new BMenuItem("Whois", new BMessage(kWhois));
    BMenuItem* queryItem = new BMenuItem("Query", new BMessage(kQuery));
    popUp->AddItem(whoisItem);
    popUp->AddItem(queryItem);
    driver->Locked(window, [&] {
        content->popUp = popUp;
        content->pressOpens = true;
    });

    // Released inside the click-to-open rectangle: it stays open, and a
    // click chooses.
    BPoint at(200, 150);
    driver->MouseMove(window, at);
    driver->MouseDown(window, at);
    BWindow* menu = WaitShown("Nick");
    ASSERT_NE(menu, nullptr);
    driver->MouseUp(window, at);
    snooze(100000);
    ASSERT_NE(Shown("Nick"), nullptr);
    EXPECT_EQ(content->goes, 0);
    ClickItem(menu, whoisItem);
    ASSERT_TRUE(wait_until([&] { return content->goes == 1; }));
    EXPECT_EQ(content->result, whoisItem);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kWhois), 1);

    // Pressed, dragged onto Query and released there: chosen.
    driver->MouseMove(window, at);
    driver->MouseDown(window, at);
    menu = WaitShown("Nick");
    ASSERT_NE(menu, nullptr);
    BRect frame = driver->Locked(menu, [&] { return menu->Frame(); });
    BPoint onQuery = ItemPoint(menu, queryItem) + frame.LeftTop() - BPoint(100, 100);
    driver->MouseMove(window, onQuery, B_PRIMARY_MOUSE_BUTTON);
    snooze(60000);
    driver->MouseUp(window, onQuery);
    ASSERT_TRUE(wait_until([&] { return content->goes == 2; }));
    EXPECT_EQ(content->result, queryItem);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kQuery), 1);

    // Dragged away and released outside: dismissed.
    driver->MouseMove(window, at);
    driver->MouseDown(window, at);
    ASSERT_NE(WaitShown("Nick"), nullptr);
    driver->MouseMove(window, BPoint(20, 280), B_PRIMARY_MOUSE_BUTTON);
    snooze(60000);
    driver->MouseUp(window, BPoint(20, 280));
    ASSERT_TRUE(wait_until([&] { return content->goes == 3; }));
    EXPECT_EQ(content->result, nullptr);
    ASSERT_TRUE(driver->WaitIdle());

    driver->Locked(window, [&] { content->popUp = nullptr; });
    delete popUp;
}

TEST_F(Menus, AMenuFieldShowsTheMarkedItem)
{
    auto* encodings = new BPopUpMenu("Encoding");
    BMenuItem* utf8 = new BMenuItem("UTF-8", new BMessage(kEncoding));
    BMenuItem* latin1 = new BMenuItem("ISO-8859-1", new BMessage(kEncoding));
    BMenuItem* cp1252 = new BMenuItem("Windows-1252", new BMessage(kEncoding));
    encodings->AddItem(utf8);
    encodings->AddItem(latin1);
    encodings->AddItem(cp1252);
    auto* field = new BMenuField(BRect(20, 60, 260, 80), "encoding", "Encoding:", encodings);
    driver->Locked(window, [&] {
        content->AddChild(field);
        EXPECT_TRUE(encodings->IsRadioMode());
        EXPECT_TRUE(encodings->IsLabelFromMarked());
        EXPECT_EQ(field->Menu(), encodings);
        EXPECT_STREQ(field->Label(), "Encoding:");
        EXPECT_GT(field->Divider(), 40);
        EXPECT_STREQ(field->MenuItem()->Label(), "Encoding") << "none marked: the menu's name";
        latin1->SetMarked(true);
        EXPECT_STREQ(field->MenuItem()->Label(), "ISO-8859-1");
    });
    ASSERT_TRUE(driver->WaitIdle());

    // A click on the box opens the menu below it, at least as wide.
    BRect box = driver->Locked(window, [&] {
        BRect bounds = field->Bounds();
        return field->ConvertToScreen(BRect(field->Divider(), 0, bounds.right, bounds.bottom));
    });
    driver->Click(window, Centre(box) - BPoint(100, 100));
    ASSERT_TRUE(driver->WaitIdle());
    BWindow* menu = Shown("Encoding");
    ASSERT_NE(menu, nullptr);
    BRect frame = driver->Locked(menu, [&] { return menu->Frame(); });
    EXPECT_EQ(frame.left, box.left);
    EXPECT_EQ(frame.top, box.bottom + 1);
    EXPECT_GE(frame.Width(), box.Width());
    // The marked item has its check mark.
    Snapshot shot(*driver, menu);
    auto markPixels = [&](BMenuItem* item) {
        BRect itemFrame = driver->Locked(menu, [&] { return item->Frame(); });
        int count = 0;
        for (int32 y = int32(itemFrame.top); y <= int32(itemFrame.bottom); y++)
            for (int32 x = int32(itemFrame.left); x < int32(itemFrame.left) + 18; x++)
                count += shot.At(x, y).red < 90;
        return count;
    };
    EXPECT_GT(markPixels(latin1), 8);
    EXPECT_EQ(markPixels(utf8), 0);

    ClickItem(menu, cp1252);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("Encoding"), nullptr);
    driver->Locked(window, [&] {
        EXPECT_TRUE(cp1252->IsMarked());
        EXPECT_FALSE(latin1->IsMarked()) << "radio";
        EXPECT_EQ(encodings->FindMarked(), cp1252);
        EXPECT_STREQ(field->MenuItem()->Label(), "Windows-1252");
    });
    ASSERT_EQ(window->Count(kEncoding), 1) << "items deliver to the field's window";
    void* source = nullptr;
    window->Messages().back().FindPointer("source", &source);
    EXPECT_EQ(source, cp1252);

    // From the keyboard: opens on the marked item; Up and Enter choose the
    // one above.
    driver->Locked(window, [&] { field->MakeFocus(true); });
    driver->Key(B_SPACE);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_NE(Shown("Encoding"), nullptr);
    driver->Key(B_UP_ARROW);
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_STREQ(field->MenuItem()->Label(), "ISO-8859-1");
        // Unmarking leaves the name again; disabled, a click does nothing.
        latin1->SetMarked(false);
        EXPECT_STREQ(field->MenuItem()->Label(), "Encoding");
        field->SetEnabled(false);
    });
    driver->Click(window, Centre(box) - BPoint(100, 100));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("Encoding"), nullptr);
}

TEST_F(Menus, MenusGoAwayCleanlyAndStayOnTheScreen)
{
    // Far off the screen and taller than it: shown on it, no bigger. Opened
    // asynchronously from no window, the choice goes to the application.
    auto* popUp = new BPopUpMenu("Far", false, false);
    BMenuItem* first = new BMenuItem("First", new BMessage(kQuery));
    popUp->AddItem(first);
    for (int i = 0; i < 100; i++)
        popUp->AddItem(new BMenuItem(("Nick " + std::to_string(i)).c_str(), nullptr));
    EXPECT_EQ(popUp->Go(BPoint(1e9f, -1e9f), true, true, true), nullptr);
    BWindow* menu = WaitShown("Far");
    ASSERT_NE(menu, nullptr);
    BRect screen = BPrivate::DisplayServer::Get()->ScreenFrame(BPoint(0, 0));
    BRect frame = driver->Locked(menu, [&] { return menu->Frame(); });
    EXPECT_TRUE(screen.Contains(frame));
    EXPECT_EQ(frame.Height(), screen.Height());
    ClickItem(menu, first);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kQuery), 1);
    EXPECT_EQ(Shown("Far"), nullptr);

    // Not a number: the screen's corner. Deleted while open: gone.
    EXPECT_EQ(popUp->Go(BPoint(NAN, NAN), true, true, true), nullptr);
    menu = WaitShown("Far");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(driver->Locked(menu, [&] { return menu->Frame().LeftTop(); }), screen.LeftTop());
    delete popUp;
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("Far"), nullptr);

    // The next menu shows in the window the deleted one left.
    size_t windows = driver->Windows().size();
    BPopUpMenu next("Next", false, false);
    BMenuItem* only = new BMenuItem("Only", new BMessage(kWhois));
    next.AddItem(only);
    next.Go(BPoint(40, 40), true, true, true);
    menu = WaitShown("Next");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(driver->Windows().size(), windows);
    ClickItem(menu, only);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kWhois), 1);

    // The bar deleted while its menu is open: the menu closes and the
    // shortcuts leave with it.
    ASSERT_NE(OpenFile(), nullptr);
    driver->Locked(window, [&] {
        content->RemoveChild(bar);
        delete bar;
        EXPECT_EQ(window->KeyMenuBar(), nullptr);
    });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(Shown("File"), nullptr);
    driver->Key('q', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(app->recorder.Count(kExit), 0);
}

TEST(MenuItems, AddRemoveFindAndMark)
{
    BMenu menu("Channel");
    auto* part = new BMenuItem("Part", new BMessage('part'));
    auto* topic = new BMenuItem("Topic", new BMessage('topc'));
    auto* modes = new BMenu("Modes");
    auto* secret = new BMenuItem("Secret", new BMessage('secr'));
    modes->AddItem(secret);
    EXPECT_TRUE(menu.AddItem(part));
    EXPECT_TRUE(menu.AddItem(topic, 0));
    EXPECT_TRUE(menu.AddItem(modes));
    EXPECT_EQ(menu.CountItems(), 3);
    EXPECT_EQ(menu.ItemAt(0), topic);
    EXPECT_EQ(menu.IndexOf(part), 1);
    EXPECT_EQ(menu.IndexOf(modes), 2);
    EXPECT_EQ(menu.SubmenuAt(2), modes);
    EXPECT_EQ(part->Menu(), &menu);

    // Refused: null, twice, out of range, a menu holding itself.
    EXPECT_FALSE(menu.AddItem(static_cast<BMenuItem*>(nullptr)));
    EXPECT_FALSE(menu.AddItem(part));
    auto* stray = new BMenuItem("Stray", nullptr);
    EXPECT_FALSE(menu.AddItem(stray, 4));
    EXPECT_FALSE(menu.AddItem(stray, -1));
    EXPECT_FALSE(modes->AddItem(&menu)) << "would be a cycle";
    EXPECT_EQ(menu.Superitem(), nullptr);
    EXPECT_EQ(menu.ItemAt(-1), nullptr);
    EXPECT_EQ(menu.ItemAt(3), nullptr);
    EXPECT_EQ(menu.IndexOf(stray), -1);

    // Found through submenus, by label and by command.
    EXPECT_EQ(menu.FindItem("Secret"), secret);
    EXPECT_EQ(menu.FindItem('secr'), secret);
    EXPECT_EQ(menu.FindItem("Nothing"), nullptr);
    EXPECT_EQ(menu.FindItem(static_cast<const char*>(nullptr)), nullptr);

    // Removing hands the item back without deleting it.
    EXPECT_TRUE(menu.RemoveItem(part));
    EXPECT_EQ(part->Menu(), nullptr);
    EXPECT_EQ(menu.CountItems(), 2);
    EXPECT_FALSE(menu.RemoveItem(part));
    EXPECT_EQ(menu.RemoveItem(int32(0)), topic);
    EXPECT_EQ(menu.RemoveItem(int32(5)), nullptr);
    EXPECT_FALSE(menu.RemoveItems(0, 2));
    EXPECT_TRUE(menu.AddItem(part));
    EXPECT_TRUE(menu.AddItem(topic));
    EXPECT_TRUE(menu.AddItem(stray));

    // Marks: many without radio mode, one with it.
    part->SetMarked(true);
    topic->SetMarked(true);
    EXPECT_TRUE(part->IsMarked());
    EXPECT_EQ(menu.FindMarked(), part);
    menu.SetRadioMode(true);
    EXPECT_EQ(int(part->IsMarked()) + int(topic->IsMarked()), 1);
    stray->SetMarked(true);
    EXPECT_TRUE(stray->IsMarked());
    EXPECT_FALSE(part->IsMarked());
    EXPECT_FALSE(topic->IsMarked());
    EXPECT_EQ(menu.FindMarked(), stray);
    EXPECT_EQ(modes->FindMarked(), nullptr) << "a menu's own items only";
    menu.SetRadioMode(false);
    EXPECT_FALSE(menu.IsLabelFromMarked());
    menu.SetLabelFromMarked(true);
    EXPECT_TRUE(menu.IsRadioMode()) << "label from marked turns radio mode on";

    // Submenus follow the marked label; a disabled submenu disables its item.
    modes->SetLabelFromMarked(true);
    BMenuItem* modesItem = menu.ItemAt(menu.IndexOf(modes));
    EXPECT_STREQ(modesItem->Label(), "Modes");
    secret->SetMarked(true);
    EXPECT_STREQ(modesItem->Label(), "Secret");
    secret->SetLabel("Secret (+s)");
    EXPECT_STREQ(modesItem->Label(), "Secret (+s)");
    modes->SetEnabled(false);
    EXPECT_FALSE(modesItem->IsEnabled());
    EXPECT_FALSE(modes->IsEnabled());
    menu.SetEnabled(false);
    modes->SetEnabled(true);
    EXPECT_FALSE(modes->IsEnabled()) << "inside a disabled menu";

    // Bad input never hurts.
    BMenuItem nameless(static_cast<const char*>(nullptr), nullptr);
    EXPECT_STREQ(nameless.Label(), "");
    nameless.SetLabel(nullptr);
    EXPECT_EQ(nameless.Invoke(), B_BAD_VALUE) << "no message";
    BSeparatorItem separator;
    separator.SetEnabled(true);
    EXPECT_FALSE(separator.IsEnabled());

    // Deleting the menu deletes its items and submenus (the sanitizers see
    // leaks); removed ones are ours.
    EXPECT_TRUE(menu.RemoveItem(part));
    delete part;
}

TEST(MenuItems, TargetsTriggersAndArchives)
{
    BMenu menu("Server");
    auto* connect = new BMenuItem("Connect", new BMessage('conn'), 'N', B_SHIFT_KEY);
    auto* away = new BMenuItem("Away", new BMessage('away'));
    menu.AddItem(connect);
    menu.AddItem(away);
    BLooper* looper = new BLooper("target");
    BHandler target("handler");
    looper->AddHandler(&target);
    EXPECT_EQ(menu.SetTargetForItems(&target), B_OK);
    EXPECT_EQ(connect->Target(), &target);
    EXPECT_EQ(away->Target(), &target);
    looper->RemoveHandler(&target);
    looper->Lock();
    looper->Quit();

    uint32 modifiers = 0;
    EXPECT_EQ(connect->Shortcut(&modifiers), 'N');
    EXPECT_EQ(modifiers, uint32(B_COMMAND_KEY | B_SHIFT_KEY));
    away->SetTrigger('w');
    EXPECT_EQ(away->Trigger(), 'w');
    EXPECT_EQ(connect->Trigger(), 0) << "none set";

    BMessage archive;
    ASSERT_EQ(connect->Archive(&archive), B_OK);
    const char* label = nullptr;
    int32 shortcut = 0;
    EXPECT_EQ(archive.FindString("_label", &label), B_OK);
    EXPECT_STREQ(label, "Connect");
    EXPECT_EQ(archive.FindInt32("_shortcut", &shortcut), B_OK);
    EXPECT_EQ(shortcut, 'N');
    BMessage model;
    EXPECT_EQ(archive.FindMessage("_msg", &model), B_OK);
    EXPECT_EQ(model.what, uint32('conn'));
}

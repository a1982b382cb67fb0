// The status bar: its cells follow the list its server window publishes
// and the windows' unread flags, it draws them 52 pixels apart in dark red
// or black, a click brings a cell's window to the front, and nothing it
// does touches a window that has gone.

#include "ViewTestSupport.h"

#include <atomic>
#include <functional>
#include <memory>

#include <StatusBarView.h>

namespace
{

using Cells = std::vector<std::pair<std::string, bool>>;

class StatusBarTest : public ControlTest
{
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        const BRect b = window->Bounds();
        driver->Locked(window, [&] {
            background->ResizeBy(0, -14);
            bar = new StatusBarView(window, BRect(-1, b.bottom - 13, b.right - 14, b.bottom + 1));
            bar->SetResizingMode(B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
        });
        ASSERT_TRUE(driver->WaitIdle());
    }
    void TearDown() override
    {
        for (BWindow* other : others)
            driver->Close(other);
        ControlTest::TearDown();
    }

    // Another shown window, with an unread flag the test sets.
    BarWindow Other(const std::string& name)
    {
        auto* other = new BWindow(BRect(20 + 30 * others.size(), 20, 200, 120), name.c_str(),
                                  B_TITLED_WINDOW, 0);
        other->Show();
        others.push_back(other);
        auto flag = std::make_shared<std::atomic<bool>>(false);
        flags.push_back(flag);
        return BarWindow{other, name, BMessenger(other), flag};
    }
    Cells Check()
    {
        return driver->Locked(window, [&] {
            bar->check_window();
            return bar->Cells();
        });
    }
    bool Active(BWindow* which)
    {
        if (BLooper::_LockLooper(which, 1000000) != B_OK)
            return false;
        bool active = which->IsActive();
        which->Unlock();
        return active;
    }
    bool WaitUntil(const std::function<bool()>& done, bigtime_t timeout = 3000000)
    {
        bigtime_t end = system_time() + timeout;
        while (!done()) {
            if (system_time() > end)
                return false;
            snooze(5000);
        }
        return true;
    }

    StatusBarView* bar = nullptr;
    std::shared_ptr<WindowList> list = std::make_shared<WindowList>();
    std::vector<BWindow*> others;
    std::vector<std::shared_ptr<std::atomic<bool>>> flags;
};

TEST_F(StatusBarTest, CellsFollowTheListInFirstSeenOrderAndTheUnreadFlags)
{
    EXPECT_EQ(Check(), Cells{}) << "no list, no cells";
    EXPECT_EQ(driver->Locked(window, [&] { return bar->find_item(window); }), -1);

    BarWindow a = Other("#a"), b = Other("#b"), c = Other("#c");
    driver->Locked(window, [&] { bar->AddList(list); });
    list->Publish({a, b});
    EXPECT_EQ(Check(), (Cells{{"#a", false}, {"#b", false}}));

    flags[1]->store(true);
    EXPECT_EQ(Check(), (Cells{{"#a", false}, {"#b", true}}));
    EXPECT_EQ(Check(), (Cells{{"#a", false}, {"#b", true}}));

    // #a closes and #c opens: #a's cell goes, the others move left, the new
    // one comes last.
    list->Publish({b, c});
    EXPECT_EQ(Check(), (Cells{{"#b", true}, {"#c", false}}));
    // Names are matched without regard to case; windows by identity.
    b.name = "#B";
    list->Publish({c, b});
    EXPECT_EQ(Check(), (Cells{{"#b", true}, {"#c", false}}));

    // The pulse does the same by itself, within one pulse (half a second).
    flags[1]->store(false);
    flags[2]->store(true);
    bigtime_t start = system_time();
    ASSERT_TRUE(WaitUntil([&] {
        return driver->Locked(window, [&] { return bar->Cells(); }) ==
               (Cells{{"#b", false}, {"#c", true}});
    }));
    EXPECT_LT(system_time() - start, 800000) << "later than a pulse";

    // Drawn 52 pixels apart: the unread cell's label in dark red, the other
    // in black.
    ASSERT_TRUE(driver->WaitIdle());
    save_snapshot(*driver, window, "status_bar");
    Snapshot shot(*driver, window);
    const int32 top = int32(window->Bounds().bottom) - 13;
    auto has = [&](int32 left, int32 right, rgb_color color) {
        for (int32 y = top; y <= top + 14; y++)
            for (int32 x = left; x < right; x++)
                if (same_color(shot.At(x, y), color))
                    return true;
        return false;
    };
    EXPECT_TRUE(has(1, 51, rgb_color{0, 0, 0, 255}));
    EXPECT_FALSE(has(1, 51, rgb_color{128, 0, 0, 255}));
    EXPECT_TRUE(has(53, 103, rgb_color{128, 0, 0, 255}));
    EXPECT_FALSE(has(105, 300, rgb_color{128, 0, 0, 255})) << "nothing right of the cells";
}

TEST_F(StatusBarTest, AClickBringsTheCellsWindowToTheFront)
{
    BarWindow server = Other("server"), a = Other("#a");
    driver->Locked(window, [&] {
        bar->AddList(list);
        bar->AddFirst(server);
    });
    list->Publish({a});
    EXPECT_EQ(Check(), (Cells{{"Server", false}, {"#a", false}}));
    flags[0]->store(true);
    EXPECT_EQ(Check(), (Cells{{"Server", true}, {"#a", false}}));

    const float y = window->Bounds().bottom - 6;
    driver->Activate(window);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Click(window, BPoint(10, y));
    ASSERT_TRUE(WaitUntil([&] { return Active(others[0]); })) << "the Server cell";
    driver->Click(window, BPoint(52 + 10, y));
    ASSERT_TRUE(WaitUntil([&] { return Active(others[1]); })) << "the second cell";

    // Right of the last cell: nothing is activated.
    driver->Activate(window);
    ASSERT_TRUE(WaitUntil([&] { return Active(window); }));
    driver->Click(window, BPoint(3 * 52 + 10, y));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(Active(window));
}

TEST_F(StatusBarTest, AWindowThatClosedIsNeverTouched)
{
    BarWindow a = Other("#a");
    driver->Locked(window, [&] { bar->AddList(list); });
    list->Publish({a});
    EXPECT_EQ(Check(), (Cells{{"#a", false}}));

    // The window goes before its server window publishes the change: the
    // cell is still there, and a click on it finds nothing to activate.
    driver->Close(others[0]);
    others.clear();
    ASSERT_TRUE(WaitUntil([&] { return !a.messenger.IsValid(); }));
    driver->Activate(window);
    driver->Click(window, BPoint(10, window->Bounds().bottom - 6));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(Active(window));
    // The flag outlives the window it belonged to.
    flags[0]->store(true);
    EXPECT_EQ(Check(), (Cells{{"#a", true}}));
    list->Publish({});
    EXPECT_EQ(Check(), Cells{});
}

TEST_F(StatusBarTest, LongNamesAreCutAtACharacterBoundary)
{
    std::string name = "#" + std::string(61, 'x') + "\xc3\xa9" + "tail";
    BarWindow a = Other(name);
    driver->Locked(window, [&] { bar->AddList(list); });
    list->Publish({a});
    Cells cells = Check();
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].first, name.substr(0, 62)) << "63 bytes would split the character";
    EXPECT_EQ(Check(), cells) << "the cut name still finds its window";
}

} // namespace

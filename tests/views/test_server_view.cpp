// The server view: the channel list with its progress bar, the join and
// reload pop-up, and the splitter.

#include "ViewTestSupport.h"

#include <functional>

#include <DisplayServer.h>
#include <ListView.h>
#include <MenuItem.h>
#include <PopUpMenu.h>
#include <ServerView.h>
#include <StatusBar.h>
#include <chanelItem.h>

namespace
{

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

class ServerViewTest : public ControlTest
{
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        driver->Locked(window, [&] {
            background->RemoveSelf();
            delete background;
            background = nullptr;
            view = new ServerView(window, window->Bounds());
            list = dynamic_cast<BListView*>(view->FindView("channel_list"));
            scroller = view->FindView("sw_channel_list");
            progress = dynamic_cast<BStatusBar*>(view->FindView("progress"));
        });
        ASSERT_TRUE(driver->WaitIdle());
        ASSERT_NE(list, nullptr);
        ASSERT_NE(scroller, nullptr);
        ASSERT_NE(progress, nullptr);
    }
    BRect ScrollerFrame()
    {
        return driver->Locked(window, [&] { return scroller->Frame(); });
    }
    bool BarShown()
    {
        return driver->Locked(window, [&] { return !progress->IsHidden(); });
    }
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
    // Opens the pop-up with a secondary click at `where` in the list and
    // returns its items' labels and frames.
    BWindow* OpenMenu(BPoint where, std::vector<std::string>* labels, std::vector<BRect>* frames)
    {
        driver->Click(list, where, B_SECONDARY_MOUSE_BUTTON);
        BWindow* menu = nullptr;
        EXPECT_TRUE(wait_until([&] { return (menu = ShownMenu("server_menu")) != nullptr; }));
        EXPECT_TRUE(wait_until([&] { return BPrivate::DisplayServer::Get()->IsIdle(); }));
        if (menu == nullptr)
            return nullptr;
        driver->Locked(menu, [&] {
            BMenu* items = dynamic_cast<BMenu*>(menu->ChildAt(0));
            for (int32 i = 0; items != nullptr && i < items->CountItems(); i++) {
                labels->push_back(items->ItemAt(i)->Label());
                frames->push_back(items->ItemAt(i)->Frame());
            }
        });
        return menu;
    }
    std::string Choose(BWindow* menu, BRect item)
    {
        window->Clear();
        driver->Click(menu, BPoint(item.left + 10, (item.top + item.bottom) / 2));
        EXPECT_TRUE(wait_until([&] { return ShownMenu("server_menu") == nullptr; }));
        EXPECT_TRUE(driver->WaitIdle());
        for (const BMessage& m : window->Messages()) {
            if (m.what == MSG_ITM)
                return m.GetString("cmd", "");
        }
        return "";
    }

    ServerView* view = nullptr;
    BListView* list = nullptr;
    BView* scroller = nullptr;
    BStatusBar* progress = nullptr;
};

} // namespace

TEST_F(ServerViewTest, LayoutAndAnEmptyListRunsTheBarOnce)
{
    driver->Locked(window, [&] {
        EXPECT_EQ(view->FindView("IRCView")->Frame(), BRect(0, 1, 279, 299));
        EXPECT_EQ(list->Frame().Width(), 100);
        EXPECT_EQ(progress->MaxValue(), 1000);
    });
    const BRect full = ScrollerFrame();
    EXPECT_EQ(full, BRect(285, 1, 399, 299));
    EXPECT_FALSE(BarShown());

    // Ending a list that never started changes nothing, every time.
    driver->Locked(window, [&] {
        view->ActivateProgress(0);
        view->ActivateProgress(0);
    });
    EXPECT_EQ(ScrollerFrame(), full);

    // A /LIST, then the start and the end of an empty list.
    driver->Locked(window, [&] {
        view->ActivateProgress(1);
        view->ActivateProgress(1); // already running: no second shrink
        view->RemoveAll();
    });
    EXPECT_TRUE(BarShown());
    EXPECT_EQ(ScrollerFrame().bottom, full.bottom - 14);
    ASSERT_TRUE(driver->WaitIdle());
    save_snapshot(*driver, window, "server_view_progress");
    driver->Locked(window, [&] {
        view->ActivateProgress(0);
        view->ActivateProgress(0);
    });
    EXPECT_FALSE(BarShown());
    EXPECT_EQ(ScrollerFrame(), full);
    EXPECT_EQ(driver->Locked(window, [&] { return list->CountItems(); }), 0);
}

TEST_F(ServerViewTest, TheBarStartsAgainAfterEveryThousandAndFirstChannel)
{
    driver->Locked(window, [&] {
        view->ActivateProgress(1);
        view->RemoveAll();
        for (int i = 0; i < 2500; i++) {
            std::string reply = "#c" + std::to_string(i) + " 12 :topic " + std::to_string(i);
            view->AddItem(reply.data());
            view->ProgressStep();
            if (i == 999) {
                EXPECT_EQ(progress->CurrentValue(), 1000);
            }
            if (i == 1000) {
                EXPECT_EQ(progress->CurrentValue(), 0) << "restarted after the 1001st";
            }
        }
        EXPECT_EQ(progress->CurrentValue(), 498);
        EXPECT_EQ(progress->MaxValue(), 1000);
        EXPECT_EQ(list->CountItems(), 2500);
        EXPECT_STREQ(static_cast<chanelItem*>(list->ItemAt(0))->get_name(), "#c0 12 :topic 0");
        EXPECT_STREQ(static_cast<chanelItem*>(list->ItemAt(2499))->get_name(),
                     "#c2499 12 :topic 2499");
        view->ActivateProgress(0);
        // Steps while the bar is hidden count for nothing.
        view->ProgressStep();
        EXPECT_EQ(progress->CurrentValue(), 498);
        // The next list starts from an empty bar.
        view->ActivateProgress(1);
        EXPECT_EQ(progress->CurrentValue(), 0);
    });
    ASSERT_TRUE(driver->WaitIdle());
    save_snapshot(*driver, window, "server_view_list");

    // A row without a name draws as an empty row.
    driver->Locked(window, [&] {
        view->RemoveAll();
        view->AddItem(nullptr);
        auto* item = static_cast<chanelItem*>(list->ItemAt(0));
        EXPECT_EQ(item->get_name(), nullptr);
        item->rename("#late 1 :x");
        EXPECT_STREQ(item->get_name(), "#late 1 :x");
        item->rename(nullptr);
    });
    ASSERT_TRUE(driver->WaitIdle());
}

TEST_F(ServerViewTest, ThePopUpJoinsTheSelectedChannelOrReloads)
{
    driver->Locked(window, [&] {
        view->AddItem((char*)"#pelmor 12 :the client's channel");
        view->AddItem((char*)"#solo");
    });
    ASSERT_TRUE(driver->WaitIdle());

    // Nothing selected: only the reload.
    std::vector<std::string> labels;
    std::vector<BRect> frames;
    BWindow* menu = OpenMenu(BPoint(50, 200), &labels, &frames);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(labels, (std::vector<std::string>{"Reload chanels list"}));
    EXPECT_EQ(Choose(menu, frames[0]), "/LIST");

    BRect row = driver->Locked(window, [&] { return list->ItemFrame(0); });
    labels.clear();
    frames.clear();
    menu = OpenMenu(BPoint(20, (row.top + row.bottom) / 2), &labels, &frames);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(labels, (std::vector<std::string>{"Join to #pelmor", "Reload chanels list"}));
    EXPECT_EQ(Choose(menu, frames[0]), "/JOIN #pelmor");

    row = driver->Locked(window, [&] { return list->ItemFrame(1); });
    labels.clear();
    frames.clear();
    menu = OpenMenu(BPoint(20, (row.top + row.bottom) / 2), &labels, &frames);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(labels, (std::vector<std::string>{"Join to #solo", "Reload chanels list"}));
    EXPECT_EQ(Choose(menu, frames[0]), "/JOIN #solo");
}

TEST_F(ServerViewTest, DraggingTheSplitterWidensTheListAndTheBar)
{
    driver->Locked(window, [&] { view->ActivateProgress(1); });
    BRect bar = driver->Locked(window, [&] { return progress->Frame(); });
    BRect before = ScrollerFrame();
    driver->Drag(window, BPoint(282, 150), BPoint(252, 150), 6, B_PRIMARY_MOUSE_BUTTON, 100000);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(view->FindView("IRCView")->Frame().right, 249);
        EXPECT_EQ(progress->Frame(), BRect(bar.left - 30, bar.top, bar.right, bar.bottom));
    });
    EXPECT_EQ(ScrollerFrame(), BRect(before.left - 30, before.top, before.right, before.bottom));
    Snapshot shot(*driver, window);
    EXPECT_COLOR(shot.At(250, 100), (rgb_color{255, 255, 255, 255}));
    EXPECT_COLOR(shot.At(254, 100), (rgb_color{172, 172, 172, 255}));
}

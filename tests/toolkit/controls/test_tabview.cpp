// Tab views: pages chosen by their tabs; the hidden page leaves the window.

#include "ControlTestSupport.h"

#include <TabView.h>

namespace
{

// A page that counts its comings and goings.
class Page : public BView
{
public:
    Page(const char* name, int* attached, int* detached, bool* deleted)
        : BView(BRect(0, 0, 100, 100), name, B_FOLLOW_ALL_SIDES, B_WILL_DRAW), fAttached(attached),
          fDetached(detached), fDeleted(deleted)
    {
    }
    ~Page() override { *fDeleted = true; }
    void AttachedToWindow() override { ++*fAttached; }
    void DetachedFromWindow() override { ++*fDetached; }

private:
    int* fAttached;
    int* fDetached;
    bool* fDeleted;
};

} // namespace

TEST_F(ControlTest, TabsSwitchPagesAndTheHiddenPageIsDetached)
{
    int userIn = 0, userOut = 0, serversIn = 0, serversOut = 0;
    bool userGone = false, serversGone = false;
    BTabView* tabs = nullptr;
    float tabHeight = 0;
    driver->Locked(window, [&] {
        tabs = new BTabView(BRect(4, 4, 343, 213), "tab_view");
        tabHeight = tabs->TabHeight();
        BRect page = tabs->Bounds();
        page.bottom -= tabHeight - 2;
        tabs->AddTab(new Page("User", &userIn, &userOut, &userGone));
        tabs->AddTab(new Page("Servers", &serversIn, &serversOut, &serversGone));
        background->AddChild(tabs);
    });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_GE(tabHeight, 20);
    driver->Locked(window, [&] {
        EXPECT_EQ(tabs->CountTabs(), 2);
        EXPECT_STREQ(tabs->TabAt(0)->Label(), "User") << "labelled by the page's name";
        EXPECT_STREQ(tabs->TabAt(1)->Label(), "Servers");
        EXPECT_EQ(tabs->Selection(), 0);
        EXPECT_EQ(userIn, 1);
        EXPECT_EQ(serversIn, 0) << "a page not shown is not in the window";
        EXPECT_NE(window->FindView("User"), nullptr);
        EXPECT_EQ(window->FindView("Servers"), nullptr);
    });

    // A click on the second tab.
    BRect second = driver->Locked(window, [&] { return tabs->TabFrame(1); });
    driver->Click(tabs, BPoint((second.left + second.right) / 2, (second.top + second.bottom) / 2));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(tabs->Selection(), 1);
        EXPECT_EQ(userOut, 1) << "switching away detached the first page";
        EXPECT_EQ(serversIn, 1);
        EXPECT_EQ(window->FindView("User"), nullptr);
        EXPECT_NE(window->FindView("Servers"), nullptr);
    });

    // Closing the window detaches the page that shows, and every page goes.
    window->Lock();
    window->Quit();
    EXPECT_EQ(serversOut, 1);
    EXPECT_EQ(userOut, 1) << "the hidden page was not detached twice";
    EXPECT_TRUE(userGone);
    EXPECT_TRUE(serversGone);
}

TEST_F(ControlTest, TabViewsTakeKeysAndRemovePages)
{
    int in = 0, out = 0;
    bool gone[3] = {false, false, false};
    BTabView* tabs = nullptr;
    driver->Locked(window, [&] {
        tabs = new BTabView(BRect(4, 4, 343, 213), "tabs");
        tabs->AddTab(new Page("One", &in, &out, &gone[0]));
        tabs->AddTab(new Page("Two", &in, &out, &gone[1]));
        tabs->AddTab(new Page("Three", &in, &out, &gone[2]));
        background->AddChild(tabs);
        tabs->MakeFocus();
    });
    driver->Key(B_RIGHT_ARROW);
    driver->Key(B_RIGHT_ARROW);
    driver->Key(B_RIGHT_ARROW); // past the last: stays
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(tabs->Selection(), 2);
        BTab* removed = tabs->RemoveTab(2);
        ASSERT_NE(removed, nullptr);
        EXPECT_EQ(tabs->Selection(), 1) << "the neighbour shows";
        delete removed;
        EXPECT_TRUE(gone[2]);
        EXPECT_EQ(tabs->RemoveTab(5), nullptr);
    });
}

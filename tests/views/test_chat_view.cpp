// The channel view: the user list with its marks and arrival order, the
// topic field that follows operator status, the user pop-up menu and the
// divider.

#include "ViewTestSupport.h"

#include <functional>

#include <ChatView.h>
#include <DisplayServer.h>
#include <IRCView.h>
#include <ListView.h>
#include <MenuItem.h>
#include <PopUpMenu.h>
#include <ScrollView.h>
#include <myText.h>
#include <nickitem.h>

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

class ChatViewTest : public ControlTest
{
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        driver->Locked(window, [&] {
            background->RemoveSelf();
            delete background;
            background = nullptr;
            view = new ChatView(window, window->Bounds());
            list = dynamic_cast<BListView*>(view->FindView("users_list"));
        });
        ASSERT_TRUE(driver->WaitIdle());
        ASSERT_NE(list, nullptr);
    }

    // "name" or "@name" (an operator's row) for each row, in order.
    std::vector<std::string> Rows()
    {
        return driver->Locked(window, [&] {
            std::vector<std::string> rows;
            for (int32 i = 0; i < list->CountItems(); i++) {
                auto* item = static_cast<nickitem*>(list->ItemAt(i));
                rows.push_back(std::string(item->get_type() != 0 ? "@" : "") + item->get_name());
            }
            return rows;
        });
    }
    // Whether the row shows the operator mark's dark red, in its margin.
    bool ShowsMark(int32 index)
    {
        BRect row = driver->Locked(window, [&] { return list->_ToWindow(list->ItemFrame(index)); });
        Snapshot shot(*driver, window);
        for (int32 y = int32(row.top); y <= int32(row.bottom); y++)
            for (int32 x = int32(row.left); x < int32(row.left) + 11; x++) {
                rgb_color c = shot.At(x, y);
                if (c.red == 122 && c.green == 0 && c.blue == 0)
                    return true;
            }
        return false;
    }
    // Whether any pixel of the "Topic :" label is reddish.
    bool LabelIsRed()
    {
        Snapshot shot(*driver, window);
        for (int32 y = 0; y < 15; y++)
            for (int32 x = 4; x < 44; x++) {
                rgb_color c = shot.At(x, y);
                if (c.red > c.green + 40)
                    return true;
            }
        return false;
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

    ChatView* view = nullptr;
    BListView* list = nullptr;
};

} // namespace

TEST_F(ChatViewTest, LayoutOfTopicTextListAndDivider)
{
    std::string dump = driver->Dump(window);
    driver->Locked(window, [&] {
        EXPECT_EQ(view->Frame(), BRect(0, 0, 399, 299));
        EXPECT_EQ(view->FindView("IRCView")->Frame(), BRect(0, 16, 279, 299));
        EXPECT_EQ(view->FindView("sw_users_list")->Frame(), BRect(285, 16, 399, 299));
        EXPECT_EQ(list->Frame().Width(), 100);
        BView* topic = view->FindView("_n_topic_edit");
        ASSERT_NE(topic, nullptr);
        EXPECT_EQ(topic->Frame().left, 45);
        EXPECT_EQ(topic->Frame().top, 0);
        EXPECT_EQ(static_cast<myText*>(topic)->Message()->what, MSG_TPC);
        EXPECT_TRUE(static_cast<myText*>(topic)->TextView()->IsEditable())
            << "editable until told otherwise";
    });
    EXPECT_TRUE(LabelIsRed()) << dump;
    save_snapshot(*driver, window, "chat_view_empty");
    // The divider: a raised bevel one pixel inside the strip right of the
    // text; the topic band's lower edge.
    Snapshot shot(*driver, window);
    EXPECT_COLOR(shot.At(280, 100), (rgb_color{255, 255, 255, 255}));
    EXPECT_COLOR(shot.At(284, 100), (rgb_color{172, 172, 172, 255}));
    EXPECT_COLOR(shot.At(200, 15), (rgb_color{172, 172, 172, 255}));
    EXPECT_COLOR(shot.At(20, 14), (rgb_color{192, 192, 192, 255}));
}

TEST_F(ChatViewTest, NamesKeepTheirOrderAndLoseTheirMarks)
{
    driver->Locked(window, [&] {
        for (const char* name :
             {"@op", "+voice", "plain", "~owner", "&admin", "%half", "@+both", "+@both2"})
            view->AddItem(name);
        view->AddItem("op");     // listed already, marks aside
        view->AddItem("@plain"); // likewise: no second row
        view->AddItem(nullptr);
    });
    EXPECT_EQ(Rows(), (std::vector<std::string>{"@op", "voice", "plain", "@owner", "@admin", "half",
                                                "@both", "@both2"}));
    ASSERT_TRUE(driver->WaitIdle());
    save_snapshot(*driver, window, "chat_view_names");
    EXPECT_TRUE(ShowsMark(0));
    EXPECT_FALSE(ShowsMark(1));
    EXPECT_FALSE(ShowsMark(2));
    EXPECT_TRUE(ShowsMark(3));

    // Case matters: another row.
    driver->Locked(window, [&] {
        view->AddItem("Plain");
        EXPECT_EQ(view->FaindItem("PLAIN"), nullptr);
        EXPECT_NE(view->FaindItem("@plain"), nullptr);
        EXPECT_TRUE(view->RemoveItem("@op"));
        EXPECT_TRUE(view->RemoveItem("+voice"));
        EXPECT_FALSE(view->RemoveItem("voice"));
        EXPECT_FALSE(view->RemoveItem("nobody"));
    });
    EXPECT_EQ(Rows(), (std::vector<std::string>{"plain", "@owner", "@admin", "half", "@both",
                                                "@both2", "Plain"}));
}

TEST_F(ChatViewTest, OperatorChangesAndRenamesKeepTheRowInPlace)
{
    driver->Locked(window, [&] {
        for (const char* name : {"ann", "@bob", "cid"})
            view->AddItem(name);
        view->SetOP("ann", true);
        view->SetOP("bob", false);
        view->SetOP("nobody", true);
    });
    EXPECT_EQ(Rows(), (std::vector<std::string>{"@ann", "bob", "cid"}));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(ShowsMark(0));
    EXPECT_FALSE(ShowsMark(1));

    driver->Locked(window, [&] {
        EXPECT_TRUE(view->RenameItem("ann", "anna")); // an operator stays one
        EXPECT_TRUE(view->RenameItem("cid", "@cyd")); // a mark makes one
        EXPECT_TRUE(view->RenameItem("bob", "+bobby"));
        EXPECT_FALSE(view->RenameItem("ann", "x"));
    });
    EXPECT_EQ(Rows(), (std::vector<std::string>{"@anna", "bobby", "@cyd"}));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(ShowsMark(2));

    // A nickname too long for a row is cut, never inside a character.
    std::string longName = "x" + std::string(41, 'y');
    for (int i = 0; i < 20; i++)
        longName += "\xc3\xa9";
    driver->Locked(window, [&] {
        view->AddItem(("@" + longName).c_str());
        view->AddItem(longName.c_str()); // the same row: the same cut
    });
    std::vector<std::string> rows = Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3].size(), 63u) << "the mark and 62 bytes: 63 would split a character";
    EXPECT_EQ(rows[3], "@" + longName.substr(0, 62));

    driver->Locked(window, [&] {
        for (int i = 0; i < 2000; i++)
            view->AddItem(("user" + std::to_string(i)).c_str());
        EXPECT_EQ(list->CountItems(), 2004);
        EXPECT_NE(view->FaindItem("user1999"), nullptr);
        view->RemoveAll();
        EXPECT_EQ(list->CountItems(), 0);
        EXPECT_EQ(view->FaindItem("user1999"), nullptr);
        view->AddItem("user7"); // listed anew after the list was emptied
        EXPECT_EQ(list->CountItems(), 1);
    });
}

TEST_F(ChatViewTest, ARenameOntoAListedNameLeavesOneRowThatStaysReachable)
{
    driver->Locked(window, [&] {
        for (const char* name : {"ann", "bob", "cid"})
            view->AddItem(name);
        // A server renaming bob to a name still listed: the old row goes.
        EXPECT_TRUE(view->RenameItem("bob", "@cid"));
    });
    EXPECT_EQ(Rows(), (std::vector<std::string>{"ann", "@cid"}));
    driver->Locked(window, [&] {
        EXPECT_EQ(view->FaindItem("bob"), nullptr);
        EXPECT_TRUE(view->RenameItem("cid", "dan"));
        EXPECT_FALSE(view->RemoveItem("cid"));
        EXPECT_TRUE(view->RemoveItem("dan"));
        EXPECT_TRUE(view->RenameItem("ann", "ann")); // to itself: kept
        EXPECT_NE(view->FaindItem("ann"), nullptr);
    });
    EXPECT_EQ(Rows(), (std::vector<std::string>{"ann"}));
}

TEST_F(ChatViewTest, TheTopicOpensToOperatorsOnly)
{
    driver->Locked(window, [&] {
        view->AddItem("@me");
        view->AddItem("you");
        view->SetTopic((char*)"the topic");
        view->enable_topic("you");
    });
    ASSERT_TRUE(driver->WaitIdle());
    auto* topic = static_cast<myText*>(driver->FindView(window, "_n_topic_edit"));
    EXPECT_FALSE(driver->Locked(window, [&] { return topic->TextView()->IsEditable(); }));
    EXPECT_FALSE(LabelIsRed()) << "black for a user who may not change it";
    driver->Click(topic);
    driver->Type("x");
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_STREQ(driver->Locked(window, [&] { return topic->Text(); }), "the topic");

    driver->Locked(window, [&] { view->enable_topic("nobody"); });
    EXPECT_FALSE(driver->Locked(window, [&] { return topic->TextView()->IsEditable(); }));

    driver->Locked(window, [&] { view->enable_topic("me"); });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(LabelIsRed());
    save_snapshot(*driver, window, "chat_view_topic");
    driver->Click(topic);
    driver->Key(B_END);
    driver->Type("!");
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_STREQ(driver->Locked(window, [&] { return topic->Text(); }), "the topic!");
    int ntr = 0;
    for (const BMessage& m : window->Messages()) {
        void* target = nullptr;
        if (m.what == MSG_NTR && m.FindPointer("target", &target) == B_OK &&
            target == topic->Message())
            ntr++;
    }
    EXPECT_EQ(ntr, 1);
}

TEST_F(ChatViewTest, TheUserMenuDeliversCommandsForTheSelectedRow)
{
    driver->Locked(window, [&] {
        view->AddItem("ann");
        view->AddItem("@bob");
    });
    ASSERT_TRUE(driver->WaitIdle());
    // Nothing selected, a secondary click below the rows: no menu.
    driver->Click(list, BPoint(50, 200), B_SECONDARY_MOUSE_BUTTON);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(ShownMenu("user_menu"), nullptr);

    BRect row = driver->Locked(window, [&] { return list->ItemFrame(1); });
    // Read now: the window waits in the menu later, holding its lock.
    BPoint rowCorner =
        driver->Locked(window, [&] { return list->ConvertToScreen(row.LeftBottom()); });
    // The menu opens while the button is still held; the release that
    // ends the click leaves it open.
    BPoint press = driver->Locked(
        window, [&] { return list->_ToWindow(BPoint(30, (row.top + row.bottom) / 2)); });
    driver->MouseDown(window, press, B_SECONDARY_MOUSE_BUTTON);
    BWindow* menu = nullptr;
    ASSERT_TRUE(wait_until([&] { return (menu = ShownMenu("user_menu")) != nullptr; }));
    driver->MouseUp(window, press);
    snooze(100000);
    ASSERT_TRUE(wait_until([&] { return BPrivate::DisplayServer::Get()->IsIdle(); }));
    ASSERT_EQ(ShownMenu("user_menu"), menu);
    // The menu opens under the selected row.
    BRect menuFrame = driver->Locked(menu, [&] { return menu->Frame(); });
    EXPECT_EQ(menuFrame.LeftTop(), rowCorner);
    std::vector<std::string> labels;
    BRect whoFrame;
    driver->Locked(menu, [&] {
        BMenu* items = dynamic_cast<BMenu*>(menu->ChildAt(0));
        ASSERT_NE(items, nullptr);
        for (int32 i = 0; i < items->CountItems(); i++) {
            labels.push_back(items->ItemAt(i)->Label() != nullptr ? items->ItemAt(i)->Label() : "");
            if (labels.back() == "Who bob")
                whoFrame = items->ItemAt(i)->Frame();
        }
    });
    EXPECT_EQ(labels, (std::vector<std::string>{"Private chat whith bob", "", "Who bob",
                                                "WhoIs bob", "", "UserHost bob", "", "CTCP"}));
    driver->Click(menu, BPoint(whoFrame.left + 10, (whoFrame.top + whoFrame.bottom) / 2));
    ASSERT_TRUE(wait_until([&] { return ShownMenu("user_menu") == nullptr; }));
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_EQ(window->Count(MSG_ITM), 1);
    for (const BMessage& m : window->Messages())
        if (m.what == MSG_ITM) {
            EXPECT_STREQ(m.GetString("cmd"), "/WHO bob");
        }
}

TEST_F(ChatViewTest, TheCtcpMenuHasOneItemPerQuery)
{
    auto* menu = new BPopUpMenu("user_menu", false, true);
    driver->Locked(window, [&] { view->make_ctcp_menu(menu, "bob"); });
    ASSERT_EQ(menu->CountItems(), 1);
    BMenu* ctcp = menu->SubmenuAt(0);
    ASSERT_NE(ctcp, nullptr);
    EXPECT_STREQ(menu->ItemAt(0)->Label(), "CTCP");
    std::vector<std::string> labels, commands;
    for (int32 i = 0; i < ctcp->CountItems(); i++) {
        BMenuItem* item = ctcp->ItemAt(i);
        labels.push_back(item->Label());
        EXPECT_EQ(item->Trigger(), 0);
        ASSERT_NE(item->Message(), nullptr);
        EXPECT_EQ(item->Message()->what, MSG_ITM);
        commands.push_back(item->Message()->GetString("cmd"));
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Ping", "Userinfo", "Version", "Time", "Finger",
                                                "Source", "Clientinfo"}));
    EXPECT_EQ(commands[2], "/CTCP VERSION bob");
    EXPECT_EQ(commands[6], "/CTCP CLIENTINFO bob");
    delete menu;
}

TEST_F(ChatViewTest, DraggingTheDividerMovesTextAndListApart)
{
    driver->Drag(window, BPoint(282, 150), BPoint(252, 150), 6, B_PRIMARY_MOUSE_BUTTON, 100000);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(view->FindView("IRCView")->Frame().right, 249);
        EXPECT_EQ(view->FindView("sw_users_list")->Frame(), BRect(255, 16, 399, 299));
        EXPECT_EQ(list->Frame().Width(), 130);
    });
    Snapshot shot(*driver, window);
    EXPECT_COLOR(shot.At(250, 100), (rgb_color{255, 255, 255, 255})) << "the divider moved";
    EXPECT_COLOR(shot.At(254, 100), (rgb_color{172, 172, 172, 255}));
}

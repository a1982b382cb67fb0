// The client against a real server (ngircd), driven like a person.

#include "SessionSupport.h"

#include <DisplayServer.h>
#include <ListItem.h>
#include <ListView.h>
#include <Menu.h>
#include <MenuBar.h>
#include <MenuItem.h>
#include <TextControl.h>

#include "SessionTest.h"

using Session = SessionTest;

// Start, connect with the first nickname taken, read the welcome, list the
// channels, join one, talk both ways, operator changes, a kick, a nick
// change and a quit of others, part by closing, disconnect and reconnect.
TEST_F(Session, ConnectsListsJoinsAndChats)
{
    Peer& holder = AddPeer("alice"); // takes the first nickname
    Peer& bob = AddPeer("bob");
    bob.Send("JOIN #test");
    ASSERT_TRUE(bob.WaitFor("366 bob #test"));
    bob.Send("TOPIC #test :Talk about tests");
    ASSERT_TRUE(bob.WaitFor("TOPIC #test"));
    (void)holder;

    Start();
    BWindow* window = OpenServer();
    ASSERT_NE(window, nullptr);
    // The first nickname is in use: the second is asked for, and the
    // server's welcome and message of the day are printed in text colour.
    ASSERT_TRUE(client->WaitSent("NICK alice2"));
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "Welcome to the Pelmor test server", 0));
    EXPECT_TRUE(client->Printed("127.0.0.1", "starting connection", 5));
    EXPECT_EQ(Client::TitleOf(window), "127.0.0.1:" + server.Port());
    // The Window menu's entry follows, changed in the main window's thread.
    ASSERT_TRUE(client->WaitUntil([&] {
        return !WindowMenu().empty() && WindowMenu().back() == "127.0.0.1:" + server.Port();
    }));

    // /LIST fills the channel list.
    client->Say(window, "/list");
    ASSERT_TRUE(client->WaitUntil([&] {
        return client->driver->Locked(window, [&] {
            auto* list = dynamic_cast<BListView*>(client->driver->FindView(window, "channel_list"));
            for (int32 i = 0; list != nullptr && i < list->CountItems(); i++)
                if (item_text(list->ItemAt(i)).rfind("#test 1 ", 0) == 0)
                    return true;
            return false;
        });
    }));

    // Join from the list's pop-up menu: select the row, a secondary click,
    // then the menu's first item, "Join to #test".
    auto* list = dynamic_cast<BListView*>(client->driver->FindView(window, "channel_list"));
    ASSERT_NE(list, nullptr);
    BPoint row = client->driver->Locked(window, [&] {
        for (int32 i = 0; i < list->CountItems(); i++)
            if (item_text(list->ItemAt(i)).rfind("#test ", 0) == 0) {
                BRect frame = list->ItemFrame(i);
                return BPoint(frame.left + 20, (frame.top + frame.bottom) / 2);
            }
        return BPoint(-1, -1);
    });
    ASSERT_GE(row.x, 0);
    std::vector<BWindow*> before = client->driver->Windows();
    client->driver->Click(list, row);
    client->driver->WaitIdle();
    client->driver->Click(list, row, B_SECONDARY_MOUSE_BUTTON);
    // The menu's window: new, shown and drawn. The server window waits in
    // the menu meanwhile, so not every loop can be waited for.
    BWindow* menu = nullptr;
    ASSERT_TRUE(client->WaitUntil([&] {
        for (BWindow* w : client->driver->Windows()) {
            if (std::find(before.begin(), before.end(), w) != before.end() ||
                BLooper::_LockLooper(w, 20000) != B_OK)
                continue;
            int32 id = w->_ServerId();
            w->Unlock();
            if (BPrivate::DisplayServer::Get()->IsVisible(id))
                menu = w;
        }
        return menu != nullptr && BPrivate::DisplayServer::Get()->IsIdle();
    }));
    client->driver->Click(menu, BPoint(20, 6));
    BWindow* chat = client->WindowStarting("#test on 127.0.0.1");
    ASSERT_NE(chat, nullptr);
    ASSERT_TRUE(bob.WaitFor(":alice2!"));
    ASSERT_TRUE(client->WaitUntil([&] { return Members(chat).size() == 2; }));
    std::vector<std::string> members = Members(chat);
    EXPECT_NE(std::find(members.begin(), members.end(), "@bob"), members.end())
        << "the operator is marked";
    EXPECT_EQ(client->driver->Locked(chat,
                                     [&] {
                                         auto* topic = dynamic_cast<BTextControl*>(
                                             client->driver->FindView(chat, "_n_topic_edit"));
                                         return std::string(topic != nullptr ? topic->Text() : "");
                                     }),
              "Talk about tests");

    // Text both ways.
    client->Say(chat, "hello bob");
    ASSERT_TRUE(bob.WaitFor("PRIVMSG #test :hello bob"));
    EXPECT_TRUE(client->Printed("#test", "<alice2> hello bob\n", 4)) << "the echo";
    bob.Send("PRIVMSG #test :hi alice");
    ASSERT_TRUE(client->WaitPrinted("#test", "<bob> hi alice\n", 0));

    // Operator changes.
    bob.Send("MODE #test +o alice2");
    ASSERT_TRUE(client->WaitPrinted("#test", "bob has Opped alice2\n", 3));
    bob.Send("MODE #test -o alice2");
    ASSERT_TRUE(client->WaitPrinted("#test", "bob has DeOpped alice2\n", 3));

    // A kick of another member.
    Peer& carol = AddPeer("carol");
    carol.Send("JOIN #test");
    ASSERT_TRUE(client->WaitPrinted("#test", "JOIN carol\n", 3));
    bob.Send("KICK #test carol :enough");
    ASSERT_TRUE(client->WaitPrinted("#test", "bob KICK carol enough\n", 3));
    ASSERT_TRUE(client->WaitUntil([&] { return Members(chat).size() == 2; }));

    // NICK and QUIT reach only the channels the user shares with us: dave
    // is in no channel of ours.
    Peer& dave = AddPeer("dave");
    dave.Send("JOIN #other");
    ASSERT_TRUE(dave.WaitFor("366 dave #other"));
    dave.Send("NICK davey");
    ASSERT_TRUE(dave.WaitFor("NICK"));
    bob.Send("NICK bobby");
    ASSERT_TRUE(client->WaitPrinted("#test", "bob NICK bobby\n", 3));
    dave.Send("QUIT :bye");
    carol.Send("JOIN #test");
    ASSERT_TRUE(client->WaitPrinted("#test", "JOIN carol\n", 3));
    carol.Send("QUIT :gone");
    ASSERT_TRUE(client->WaitPrinted("#test", "QUIT carol", 3));
    EXPECT_FALSE(client->Printed("", "davey")) << "dave shares no channel with us";
    EXPECT_FALSE(client->Printed("#test", "bye"));
    // A member who renamed still gets their QUIT shown, under the new name.
    Peer& erin = AddPeer("erin");
    erin.Send("JOIN #test");
    ASSERT_TRUE(client->WaitPrinted("#test", "JOIN erin\n", 3));
    erin.Send("NICK erin2");
    ASSERT_TRUE(client->WaitPrinted("#test", "erin NICK erin2\n", 3));
    erin.Send("QUIT :later");
    ASSERT_TRUE(client->WaitPrinted("#test", "QUIT erin2", 3));
    ASSERT_TRUE(client->WaitUntil([&] { return Members(chat).size() == 2; }));

    // Closing the channel window leaves the channel.
    client->driver->Close(chat);
    ASSERT_TRUE(bob.WaitFor("PART #test"));
    ASSERT_TRUE(client->WaitUntil([&] { return client->WindowStarting("#test", 0) == nullptr; }));

    // Disconnect and connect again.
    client->driver->Click(client->driver->FindView(window, "Connect"));
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "stop connection", 5));
    ASSERT_TRUE(client->WaitSent("QUIT"));
    EXPECT_EQ(Client::TitleOf(window), "Server");
    ASSERT_TRUE(client->WaitUntil([&] { return WindowMenu().back() == "Server"; }));
    client->driver->Click(client->driver->FindView(window, "Connect"));
    ASSERT_TRUE(client->WaitUntil([&] {
        int welcomes = 0;
        for (const Printed& piece : PrintRecord::Get().Pieces())
            welcomes += piece.text.find("Welcome to the Pelmor test server") != std::string::npos;
        return welcomes >= 2;
    }));
}

// A private message opens a private window that follows the partner's new
// nickname; closing the server window closes its channel and private
// windows (each leaving first) and removes its Window-menu entry.
TEST_F(Session, PrivateChatsAndClosingTheServerWindow)
{
    Peer& bob = AddPeer("bob");
    Start();
    BWindow* window = OpenServer();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "End of MOTD", 0));
    client->Say(window, "/JOIN #room");
    BWindow* chat = client->WindowStarting("#room on 127.0.0.1");
    ASSERT_NE(chat, nullptr);
    bob.Send("JOIN #room"); // so that bob's nick change reaches us
    ASSERT_TRUE(client->WaitPrinted("#room", "JOIN bob\n", 3));

    bob.Send("PRIVMSG alice :psst");
    BWindow* privat = client->WindowStarting("Private with <bob>");
    ASSERT_NE(privat, nullptr);
    ASSERT_TRUE(client->WaitPrinted("Private with <bob>", "<bob> psst\n", 0));
    EXPECT_FALSE(client->Printed("127.0.0.1", "psst")) << "not in the server window";

    bob.Send("NICK bobby");
    ASSERT_TRUE(
        client->WaitUntil([&] { return Client::TitleOf(privat) == "Private with <bobby>"; }));
    bob.Send("PRIVMSG alice :still me");
    ASSERT_TRUE(client->WaitPrinted("Private with <bobby>", "<bobby> still me\n", 0));
    client->Say(privat, "hello there");
    ASSERT_TRUE(bob.WaitFor("PRIVMSG bobby :hello there"));
    EXPECT_TRUE(client->Printed("Private with <bobby>", "<alice> hello there\n", 4));
    // One window per partner.
    int windows = 0;
    for (BWindow* w : client->driver->Windows())
        windows += Client::TitleOf(w).rfind("Private with", 0) == 0;
    EXPECT_EQ(windows, 1);

    client->driver->Close(window);
    ASSERT_TRUE(client->WaitUntil([&] {
        for (BWindow* w : client->driver->Windows()) {
            std::string title = Client::TitleOf(w);
            if (title != "Pelmor")
                return false;
        }
        return true;
    })) << "the server window and its windows are closed";
    EXPECT_TRUE(client->Sent("PART #room :Pelmor Beta 1")) << "the channel was left first";
    EXPECT_TRUE(client->WaitUntil([&] { return WindowMenu().size() == 2; }))
        << "only Debug and the separator are left";
    EXPECT_TRUE(client->Sent("QUIT"));
}

// File > Exit, then the next start: the main window where it was, the
// server window where the last one closed, a channel window where it was.
TEST_F(Session, TheNextStartOpensWindowsWhereTheyWere)
{
    Start();
    BWindow* window = OpenServer();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "End of MOTD", 0));
    client->Say(window, "/JOIN #keep");
    BWindow* chat = client->WindowStarting("#keep on 127.0.0.1");
    ASSERT_NE(chat, nullptr);
    client->driver->Locked(chat, [&] {
        chat->MoveTo(200, 150);
        chat->ResizeTo(400, 250);
    });
    client->driver->Locked(window, [&] { window->MoveTo(120, 300); });
    client->driver->WaitIdle();
    BRect chatFrame = client->driver->Locked(chat, [&] { return chat->Frame(); });
    BRect serverFrame = client->driver->Locked(window, [&] { return window->Frame(); });
    BRect mainFrame = client->driver->Locked(main, [&] { return main->Frame(); });

    // File > Exit: the item itself, as a click on it would invoke it.
    client->driver->Locked(main, [&] {
        auto* bar = dynamic_cast<BMenuBar*>(client->driver->FindView(main, "MenuBar"));
        ASSERT_NE(bar, nullptr);
        BMenu* file = bar->SubmenuAt(0);
        ASSERT_NE(file, nullptr);
        BMenuItem* exit = file->ItemAt(file->CountItems() - 1);
        ASSERT_STREQ(exit->Label(), "Exit");
        exit->Invoke();
    });
    ASSERT_TRUE(client->WaitUntil([&] { return client->driver->Windows().empty(); }));
    client.reset();

    Start();
    EXPECT_EQ(client->driver->Locked(main, [&] { return main->Frame(); }).LeftTop(),
              mainFrame.LeftTop());
    window = OpenServer();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(client->driver->Locked(window, [&] { return window->Frame(); }), serverFrame);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "End of MOTD", 0));
    client->Say(window, "/JOIN #keep");
    chat = client->WindowStarting("#keep on 127.0.0.1");
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(client->driver->Locked(chat, [&] { return chat->Frame(); }), chatFrame);
}

// An IPv6 address in brackets, to a server that listens on ::1 only.
TEST_F(Session, AServerInBracketsIsReachedOverIpv6)
{
    Ngircd six(true);
    ASSERT_TRUE(six.Ready()) << six.Log();
    Start("alice", "alice2", "[::1]:" + six.Port());
    BWindow* window = OpenServer();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(client->WaitPrinted("[::1]:" + six.Port(), "Welcome to the Pelmor test server", 0));
}

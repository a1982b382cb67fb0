// The client's status bars and debug window against a real server
// (ngircd): cells that follow the channel windows and their unread text,
// a click that brings a window forward, and the raw traffic of two
// servers, newest first, in one window that opens only once.

#include "SessionTest.h"

#include <MenuItem.h>
#include <Messenger.h>
#include <TextView.h>

#include <StatusBarView.h>

namespace
{

using Cells = std::vector<std::pair<std::string, bool>>;

class Bars : public SessionTest
{
protected:
    Cells CellsOf(BWindow* window)
    {
        return client->driver->Locked(window, [&] {
            auto* bar = dynamic_cast<StatusBarView*>(client->driver->FindView(window, "statusbar"));
            return bar != nullptr ? bar->Cells() : Cells{{"no bar", false}};
        });
    }
    // Waits until every bar shows what `expected` gives for its window.
    bool BarsShow(const std::vector<BWindow*>& windows,
                  const std::function<Cells(BWindow*)>& expected, int timeoutMs = 3000)
    {
        return client->WaitUntil(
            [&] {
                for (BWindow* w : windows)
                    if (CellsOf(w) != expected(w))
                        return false;
                return true;
            },
            timeoutMs);
    }
    bool Active(BWindow* window)
    {
        return client->driver->Locked(window, [&] { return window->IsActive(); });
    }
};

TEST_F(Bars, CellsFollowChannelWindowsAndTheirUnreadText)
{
    Peer& bob = AddPeer("bob");
    for (const char* channel : {"#a", "#b", "#c"}) {
        bob.Send(std::string("JOIN ") + channel);
        ASSERT_TRUE(bob.WaitFor(std::string("366 bob ") + channel));
    }
    Start();
    BWindow* window = OpenServer();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "Welcome to the Pelmor test server", 0));
    client->Say(window, "/JOIN #a");
    BWindow* a = client->WindowStarting("#a on");
    ASSERT_NE(a, nullptr);
    client->Say(window, "/JOIN #b");
    BWindow* b = client->WindowStarting("#b on");
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(client->WaitUntil([&] { return Members(b).size() == 2; }));

    // Every window seen once: nothing unread.
    client->driver->Activate(a);
    client->driver->Activate(window);
    client->driver->Activate(b);
    ASSERT_TRUE(client->driver->WaitIdle());
    auto clean = [&](BWindow* w) {
        Cells cells = {{"#a", false}, {"#b", false}};
        if (w != window)
            cells.insert(cells.begin(), {"Server", false});
        return cells;
    };
    ASSERT_TRUE(BarsShow({window, a, b}, clean));

    // Text in the inactive #a: dark red in every bar within a pulse; black
    // again once #a is activated.
    bob.Send("PRIVMSG #a :hello a");
    ASSERT_TRUE(client->WaitPrinted("#a", "<bob> hello a", 0));
    const auto printed = std::chrono::steady_clock::now();
    auto unread = [&](BWindow* w) {
        Cells cells = clean(w);
        cells[w == window ? 0 : 1].second = true;
        return cells;
    };
    ASSERT_TRUE(BarsShow({window, a, b}, unread));
    const auto shown = std::chrono::steady_clock::now() - printed;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(shown).count(), 1000)
        << "a pulse is half a second";
    client->driver->Activate(a);
    ASSERT_TRUE(BarsShow({window, a, b}, clean));

    // A private window's bar has no cells.
    bob.Send("PRIVMSG alice :psst");
    BWindow* privat = client->WindowStarting("Private with <bob>");
    ASSERT_NE(privat, nullptr);
    ASSERT_TRUE(client->WaitUntil([&] { return CellsOf(privat).empty(); }));

    // A join adds a cell at the end of every bar; a closed window's cell
    // goes and the ones after it move left.
    client->Say(window, "/JOIN #c");
    BWindow* c = client->WindowStarting("#c on");
    ASSERT_NE(c, nullptr);
    auto names = [&](BWindow* w) {
        Cells cells;
        for (const auto& cell : CellsOf(w))
            cells.push_back({cell.first, false});
        return cells;
    };
    ASSERT_TRUE(client->WaitUntil([&] {
        return names(window) == Cells{{"#a", false}, {"#b", false}, {"#c", false}} &&
               names(a) == Cells{{"Server", false}, {"#a", false}, {"#b", false}, {"#c", false}} &&
               names(c) == names(a);
    }));
    client->driver->Close(b);
    ASSERT_TRUE(bob.WaitFor("PART #b"));
    ASSERT_TRUE(client->WaitUntil([&] {
        return names(window) == Cells{{"#a", false}, {"#c", false}} &&
               names(a) == Cells{{"Server", false}, {"#a", false}, {"#c", false}} &&
               names(c) == names(a);
    }));

    // The "Server" cell of a channel window's bar brings the server window
    // forward.
    client->driver->Activate(a);
    ASSERT_TRUE(client->WaitUntil([&] { return Active(a); }));
    BView* bar = client->driver->FindView(a, "statusbar");
    ASSERT_NE(bar, nullptr);
    client->driver->Click(bar, BPoint(10, 7));
    EXPECT_TRUE(client->WaitUntil([&] { return Active(window); }));
}

class Debug : public SessionTest
{
protected:
    void OpenDebug()
    {
        BView* view = client->driver->FindView(main, "MainView");
        ASSERT_NE(view, nullptr);
        BMessenger(view).SendMessage(MSG_3000);
    }
    std::vector<BWindow*> DebugWindows()
    {
        std::vector<BWindow*> found;
        for (BWindow* w : client->driver->Windows())
            if (Client::TitleOf(w) == "Debug")
                found.push_back(w);
        return found;
    }
    std::string Text(BWindow* debug)
    {
        return client->driver->Locked(debug, [&] {
            auto* text = dynamic_cast<BTextView*>(client->driver->FindView(debug, "debug_txt"));
            return std::string(text != nullptr ? text->Text() : "no text view");
        });
    }

    bool BringForward(BWindow* window)
    {
        client->driver->Activate(window);
        return client->WaitUntil([&] {
            return client->driver->WaitIdle() &&
                   client->driver->Locked(window, [&] { return window->IsActive(); });
        });
    }

    Ngircd second;
};

TEST_F(Debug, ShowsTwoServersNewestFirstOpensOnceAndKeepsTheNewest)
{
    ASSERT_TRUE(second.Ready()) << second.Log();
    Start();
    BWindow* one = OpenServer();
    ASSERT_NE(one, nullptr);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1:" + server.Port(), "Welcome", 0));
    client->driver->Click(client->driver->FindView(main, "Start"));
    BWindow* two = nullptr;
    ASSERT_TRUE(client->WaitUntil([&] {
        for (BWindow* w : client->driver->Windows())
            if (w != one && Client::TitleOf(w) == "Server")
                two = w;
        return two != nullptr;
    }));
    ASSERT_TRUE(client->driver->WaitIdle());
    BView* combo = client->driver->FindView(two, "server_combo");
    ASSERT_NE(combo, nullptr);
    client->driver->Click(combo, BPoint(20, 8));
    client->driver->Key('a', B_COMMAND_KEY);
    client->driver->Type("127.0.0.1:" + second.Port());
    client->driver->Click(client->driver->FindView(two, "Connect"));
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1:" + second.Port(), "Welcome", 0));

    OpenDebug();
    BWindow* debug = client->WindowStarting("Debug");
    ASSERT_NE(debug, nullptr);
    OpenDebug(); // a second request: still one window
    ASSERT_TRUE(client->driver->WaitIdle());
    EXPECT_EQ(DebugWindows().size(), 1u);

    // Both directions of both servers, interleaved, the newest on top.
    // The windows all open at one place: the one typed into comes forward.
    ASSERT_TRUE(BringForward(one));
    client->Say(one, "/JOIN #first");
    ASSERT_TRUE(client->WindowStarting("#first on") != nullptr) << Text(debug);
    ASSERT_TRUE(BringForward(two));
    client->Say(two, "/JOIN #second");
    ASSERT_TRUE(client->WindowStarting("#second on") != nullptr);
    ASSERT_TRUE(client->WaitUntil([&] {
        std::string text = Text(debug);
        return text.find("366 alice #second") != std::string::npos;
    }));
    std::string text = Text(debug);
    const size_t sentFirst = text.find("JOIN #first\n");
    const size_t gotFirst = text.find("JOIN :#first");
    const size_t sentSecond = text.find("JOIN #second\n");
    const size_t gotSecond = text.find("366 alice #second");
    ASSERT_NE(sentFirst, std::string::npos) << text;
    ASSERT_NE(gotFirst, std::string::npos) << text;
    ASSERT_NE(sentSecond, std::string::npos) << text;
    EXPECT_LT(gotSecond, sentSecond);
    EXPECT_LT(sentSecond, gotFirst) << "the second server's lines came later: above";
    EXPECT_LT(gotFirst, sentFirst);

    // Closed and opened again: empty, and one window again.
    client->driver->Close(debug);
    ASSERT_TRUE(client->WaitUntil([&] { return DebugWindows().empty(); }));
    OpenDebug();
    debug = client->WindowStarting("Debug");
    ASSERT_NE(debug, nullptr);
    EXPECT_EQ(Text(debug).find("#first"), std::string::npos);

    // A flood of 100,000 lines: the newest on top, whole lines, within the
    // 65,535-byte limit.
    BMessenger to(debug);
    for (int i = 0; i < 100000; i++) {
        BMessage copy(MSG_DBG);
        copy.AddString("debug", (":srv NOTICE alice :line " + std::to_string(i) + "\n").c_str());
        to.SendMessage(&copy);
    }
    ASSERT_TRUE(client->WaitUntil(
        [&] { return Text(debug).rfind(":srv NOTICE alice :line 99999\n", 0) == 0; }, 60000));
    text = Text(debug);
    EXPECT_LE(text.size(), 65535u);
    EXPECT_GT(text.size(), 60000u) << "room is made by the oldest lines only";
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find(":srv NOTICE alice :line 99998\n"), text.find('\n') + 1);
}

} // namespace

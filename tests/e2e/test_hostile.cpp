// The client against a scripted server: the faults of nickname handling,
// lines of unusual shape, and floods that must not crash, hang or grow
// without bound.

#include "SessionSupport.h"

#include <ListItem.h>
#include <ListView.h>
#include <TextControl.h>

#include <algorithm>
#include <thread>

#include "EngineTestSupport.h"
#include "ItemText.h"
#include "ServerWindow.h"
#include "StatusBarView.h"
#include <UTF8.h>
#include <irc.h>

namespace
{

class Hostile : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string address = "127.0.0.1:" + server.Port();
        PrintRecord::Get().Clear();
        client = std::make_unique<Client>(config, [&](BMessage* settings) {
            settings->RemoveName("nick");
            settings->RemoveName("nick2");
            settings->AddString("nick", "alice");
            settings->AddString("nick2", "alice2");
            settings->RemoveName("default_server");
            settings->AddString("default_server", address.c_str());
            // The wire checks below are written for code page 1252.
            settings->RemoveName("encoding");
            settings->AddInt16("encoding", B_MS_WINDOWS_CONVERSION);
        });
        BWindow* main = client->driver->FindWindow("Pelmor");
        ASSERT_NE(main, nullptr);
        client->driver->Click(client->driver->FindView(main, "Start"));
        window = client->driver->FindWindow("Server");
        ASSERT_NE(window, nullptr);
        client->driver->WaitIdle();
        client->driver->Click(client->driver->FindView(window, "Connect"));
        ASSERT_TRUE(server.Accept());
        ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
        ASSERT_EQ(server.ReadLine().rfind("USER Pelmor ", 0), 0u);
        ASSERT_EQ(server.ReadLine(), "NICK alice\n");
    }
    void TearDown() override
    {
        if (HasFailure() && client)
            fprintf(stderr, "%s", client->Dump().c_str());
        server.Close();
        client.reset();
    }
    void Register(const std::string& nick = "alice")
    {
        server.Send(":srv 001 " + nick + " :Welcome " + nick + "\r\n");
        ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "Welcome " + nick, 0));
    }
    std::vector<std::string> Members(BWindow* chat)
    {
        return client->driver->Locked(chat, [&] {
            std::vector<std::string> names;
            auto* list = dynamic_cast<BListView*>(client->driver->FindView(chat, "users_list"));
            for (int32 i = 0; list != nullptr && i < list->CountItems(); i++)
                names.push_back(list_item_text(list->ItemAt(i)));
            return names;
        });
    }
    // The window answers: its loop gets to a message posted now.
    bool Responsive(BWindow* w)
    {
        return client->WaitUntil(
            [&] {
                bool locked = w->LockWithTimeout(50000) == B_OK;
                if (locked)
                    w->Unlock();
                return locked;
            },
            5000);
    }

    TestDir config;
    ScriptedServer server;
    std::unique_ptr<Client> client;
    BWindow* window = nullptr;
};

} // namespace

// Servers address 433 to "*" before registration. Both names taken: the
// two alternate a few times, then the first with "_" and "__", then the
// user is told; after registration a refused /NICK changes nothing.
TEST_F(Hostile, NickInUseAlternatesABoundedNumberOfTimes)
{
    std::string current = "alice";
    for (const char* next : {"alice2", "alice", "alice2", "alice_", "alice__"}) {
        server.Send(":srv 433 * " + current + " :Nickname is already in use\r\n");
        ASSERT_EQ(server.ReadLine(), std::string("NICK ") + next + "\n");
        current = next;
    }
    server.Send(":srv 433 * alice__ :Nickname is already in use\r\n");
    EXPECT_EQ(server.ReadLine(700), "") << "no more attempts";
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "choose another one with /NICK", 4));
    // A 433 for a name we did not ask for is not ours to answer.
    server.Send(":srv 433 * zed :Nickname is already in use\r\n");
    EXPECT_EQ(server.ReadLine(500), "");

    client->Say(window, "/NICK carol");
    ASSERT_EQ(server.ReadLine(), "NICK carol\n");
    Register("carol");
    // Registered: a refused change keeps the name the server gave.
    client->Say(window, "/NICK dave");
    ASSERT_EQ(server.ReadLine(), "NICK dave\n");
    server.Send(":srv 433 carol dave :Nickname is already in use\r\n");
    EXPECT_EQ(server.ReadLine(500), "") << "no alternation once registered";
    server.Send(":erin!e@h PRIVMSG carol :are you there?\r\n");
    ASSERT_NE(client->WindowStarting("Private with <erin>"), nullptr)
        << "private messages to the real name are recognised";
    // The server renames us: that is the name from now on.
    server.Send(":carol!c@h NICK :frank\r\n");
    server.Send(":gina!g@h PRIVMSG frank :hello frank\r\n");
    ASSERT_NE(client->WindowStarting("Private with <gina>"), nullptr);
}

// Channel traffic in the shapes servers really send, and a few they should
// not: JOIN without ':', names of secret channels with every status mark,
// MODE letters that take arguments, ERROR lines, lines without ':'.
TEST_F(Hostile, LinesOfEveryShapeReachTheirWindows)
{
    Register();
    server.Send(":alice!a@h JOIN #plain\r\n");
    BWindow* chat = client->WindowStarting("#plain on 127.0.0.1");
    ASSERT_NE(chat, nullptr);
    server.Send(":srv 353 alice @ #plain :~ann &bob %carl @+dave +eve alice\r\n"
                ":srv 366 alice #plain :End of NAMES list\r\n"
                ":srv 332 alice #plain :the topic\r\n");
    ASSERT_TRUE(client->WaitUntil([&] { return Members(chat).size() == 6; }));
    EXPECT_EQ(Members(chat),
              (std::vector<std::string>{"@ann", "@bob", "carl", "@dave", "eve", "alice"}));
    EXPECT_FALSE(client->Printed("127.0.0.1", "#plain")) << "a secret channel's names are routed";

    // Only the "o" letter's own argument changes operator status.
    server.Send(":x!x@h MODE #plain +ov carl eve\r\n");
    ASSERT_TRUE(client->WaitPrinted("#plain", "x has Opped carl\n", 3));
    server.Send(":x!x@h MODE #plain +lo 50 eve\r\n");
    ASSERT_TRUE(client->WaitPrinted("#plain", "x has Opped eve\n", 3));
    server.Send(":x!x@h MODE #plain -vo carl ann\r\n");
    ASSERT_TRUE(client->WaitPrinted("#plain", "x has DeOpped ann\n", 3));
    EXPECT_EQ(Members(chat),
              (std::vector<std::string>{"ann", "@bob", "@carl", "@dave", "@eve", "alice"}));
    server.Send(":x!x@h MODE #plain +l 50\r\n:x!x@h MODE #plain\r\n");
    ASSERT_TRUE(client->WaitPrinted("#plain", "MODE x #plain +l 50\n", 3));
    ASSERT_TRUE(client->WaitPrinted("#plain", "MODE x #plain\n", 3));
    std::string many = ":x!x@h MODE #plain +" + std::string(50, 'o');
    for (int i = 0; i < 50; i++)
        many += " n" + std::to_string(i);
    server.Send(many + "\r\n");
    ASSERT_TRUE(client->WaitPrinted("#plain", "x has Opped n49\n", 3));

    // Lines without ':' where the text after it is read.
    server.Send(":bob!b@h PRIVMSG #plain no colon\r\n:bob!b@h NICK bobby\r\n"
                ":bob!b@h TOPIC #plain\r\n:bob!b@h KICK #plain\r\n:srv 332 alice #plain\r\n");
    ASSERT_TRUE(client->WaitPrinted("#plain", "<bob> #plain no colon\n", 0));
    ASSERT_TRUE(client->WaitPrinted("#plain", "bob NICK bobby\n", 3));
    EXPECT_TRUE(Responsive(chat));

    // Names too long for a window's name: no window, shown by the server.
    std::string longName = "#" + std::string(80, 'x');
    server.Send(":alice!a@h JOIN :" + longName + "\r\n");
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", longName, 0));
    std::string longNick = std::string(80, 'n');
    server.Send(":" + longNick + "!u@h PRIVMSG alice :hi\r\n");
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", longNick, 2));

    // Why the server closes: shown as status text.
    server.Send("ERROR :Closing link: alice (Flooding)\r\n");
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "ERROR :Closing link: alice (Flooding)", 3));

    // Disconnected: the channel window stays, its member list emptied;
    // what is typed there is echoed with the configured nickname and meets
    // "no connection" in the server window, which waits to try again under
    // the server's name.
    server.Close();
    ASSERT_TRUE(client->WaitPrinted("", "stop connection", 5));
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "Connection lost: trying again in 5 s\n", 3));
    ASSERT_TRUE(client->WaitUntil([&] { return Members(chat).empty(); }));
    client->Say(chat, "anyone?");
    ASSERT_TRUE(client->WaitPrinted("#plain", "<alice> anyone?\n", 4));
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "no connection\n", 4));
}

// Typed text longer than a protocol line goes out in pieces that each fit,
// cut between characters, with nothing lost; each piece is echoed.
TEST_F(Hostile, LongTypedTextIsSentInPieces)
{
    Register();
    server.Send(":alice!a@h JOIN :#long\r\n");
    BWindow* chat = client->WindowStarting("#long on 127.0.0.1");
    ASSERT_NE(chat, nullptr);
    std::string text;
    const size_t wanted = 1500;
    for (int i = 0; text.size() < wanted; i++)
        text += "w\xC3\xB6rd" + std::to_string(i) + (i % 7 == 0 ? "\xC3\xA9" : " ");
    // The wire carries the configured character set (Windows 1252 here): a
    // piece cut inside a character would show as 0x1A there.
    std::string wire;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\xC3') {
            wire += char(text[i + 1] + 0x40);
            i++;
        } else {
            wire += text[i];
        }
    }
    client->driver->Locked(chat, [&] {
        dynamic_cast<BTextControl*>(client->driver->FindView(chat, "message"))
            ->SetText(text.c_str());
    });
    client->driver->Click(client->driver->FindView(chat, "message"));
    client->driver->Key(B_ENTER);
    std::string joined;
    int pieces = 0;
    while (joined.size() < wire.size()) {
        std::string line = server.ReadLine();
        ASSERT_EQ(line.rfind("PRIVMSG #long :", 0), 0u) << line;
        ASSERT_LE(line.size(), 512u);
        std::string piece = line.substr(15, line.size() - 16);
        ASSERT_FALSE(piece.empty());
        joined += piece;
        pieces++;
    }
    EXPECT_EQ(joined, wire);
    EXPECT_GE(pieces, 4);
    int echoes = 0;
    for (const Printed& p : PrintRecord::Get().Pieces())
        echoes += p.title.rfind("#long", 0) == 0 && p.kind == 4 && p.text.rfind("<alice> ", 0) == 0;
    EXPECT_EQ(echoes, pieces);
}

// Floods: a names reply of 10,000 names, the client joined to 200
// channels, private messages from 200 new nicknames at once, and a server
// that goes away in the middle of a channel list.
TEST_F(Hostile, FloodsStayBoundedAndWindowsAnswer)
{
    Register();
    server.Send(":alice!a@h JOIN :#big\r\n");
    BWindow* chat = client->WindowStarting("#big on 127.0.0.1");
    ASSERT_NE(chat, nullptr);
    std::string names;
    std::string burst;
    for (int i = 0; i < 10000; i++) {
        names += (i % 3 == 0 ? "@u" : "u") + std::to_string(i) + " ";
        if (names.size() > 400) {
            burst += ":srv 353 alice = #big :" + names + "\r\n";
            names.clear();
        }
    }
    burst += ":srv 353 alice = #big :" + names + "\r\n:srv 366 alice #big :End\r\n";
    server.Send(burst);
    ASSERT_TRUE(client->WaitUntil([&] { return Members(chat).size() == 10000; }, 60000));

    burst.clear();
    for (int i = 0; i < 200; i++)
        burst += ":alice!a@h JOIN #c" + std::to_string(i) + "\r\n";
    for (int i = 0; i < 200; i++)
        burst += ":p" + std::to_string(i) + "!u@h PRIVMSG alice :hi " + std::to_string(i) + "\r\n";
    server.Send(burst);
    ASSERT_NE(client->WindowStarting("#c199 on", 60000), nullptr);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "hi 199", 0)) << "past the private window bound";
    int privates = 0;
    for (BWindow* w : client->driver->Windows())
        privates += Client::TitleOf(w).rfind("Private with", 0) == 0;
    EXPECT_EQ(privates, int(MAX_PRIVATE_WINDOWS));
    EXPECT_TRUE(Responsive(window));
    EXPECT_TRUE(Responsive(chat));

    // The server goes away in the middle of a channel list. Every window
    // opened above is shown first: one that becomes active after the click
    // would take the typed keys.
    ASSERT_TRUE(client->driver->WaitIdle());
    client->Say(window, "/LIST");
    ASSERT_EQ(server.ReadLine(), "LIST\n");
    burst = ":srv 321 alice Channel :Users Name\r\n";
    for (int i = 0; i < 3000; i++)
        burst += ":srv 322 alice #l" + std::to_string(i) + " 3 :topic\r\n";
    server.Send(burst);
    server.Close();
    ASSERT_TRUE(client->WaitPrinted("", "stop connection", 5));
    EXPECT_TRUE(Responsive(window));
    EXPECT_EQ(Client::TitleOf(window), "127.0.0.1:" + server.Port()) << "waiting to try again";
}

// A channel window that handles nothing (its loop held) while its server
// floods the channel: the lines forwarded to it count against the
// connection like the server window's own, so the reader stops and memory
// stays bounded; the server window keeps answering; once the channel
// window runs again every line arrives, in order.
TEST_F(Hostile, ASlowChannelWindowPausesItsServerNotMemory)
{
    Register();
    server.Send(":alice!a@h JOIN :#slow\r\n");
    BWindow* chat = client->WindowStarting("#slow on 127.0.0.1");
    ASSERT_NE(chat, nullptr);
    client->driver->WaitIdle();
    auto* serverWindow = dynamic_cast<ServerWindow*>(window);
    ASSERT_NE(serverWindow, nullptr);

    const int kLines = 6000;
    ASSERT_TRUE(chat->Lock());
    std::thread flood([&] {
        std::string burst;
        for (int i = 0; i < kLines; i++) {
            burst += ":bob!b@h PRIVMSG #slow :line " + std::to_string(i) + "\r\n";
            if (burst.size() > 64 * 1024) {
                server.Send(burst);
                burst.clear();
            }
        }
        server.Send(burst);
    });
    // The reader stops once the count passes its bound; copies to the
    // debug target (here the test's traffic record) count too and drain,
    // so the channel window's share settles above the resume level.
    bigtime_t before = system_time();
    EXPECT_TRUE(client->WaitUntil(
        [&] {
            int32 now = serverWindow->unhandled_lines();
            bool steady = now > IRC_BACKLOG_RESUME && system_time() - before > 2000000;
            return steady;
        },
        30000))
        << "the channel window's lines are counted";
    int32 peak = 0;
    for (int i = 0; i < 20; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peak = std::max(peak, serverWindow->unhandled_lines());
    }
    EXPECT_GT(peak, IRC_BACKLOG_RESUME);
    EXPECT_LT(peak, IRC_BACKLOG_PAUSE + 300) << "the reader stopped near its bound";
    EXPECT_EQ(window->LockWithTimeout(1000000), B_OK) << "the server window answers";
    window->Unlock();
    chat->Unlock();
    flood.join();
    ASSERT_TRUE(client->WaitUntil(
        [&] { return client->Printed("#slow", "<bob> line " + std::to_string(kLines - 1) + "\n"); },
        120000));
    int expected = 0;
    for (const Printed& piece : PrintRecord::Get().Pieces()) {
        if (piece.title.rfind("#slow", 0) != 0 || piece.text.rfind("<bob> line ", 0) != 0)
            continue;
        ASSERT_EQ(piece.text, "<bob> line " + std::to_string(expected) + "\n");
        expected++;
    }
    EXPECT_EQ(expected, kLines);
}

// 100,000 lines into one channel window: the other windows' bars still
// mark it unread within a pulse of its first line, while it works through
// the flood.
TEST_F(Hostile, StatusBarsKeepUpWhileAChannelFloods)
{
    Register();
    server.Send(":alice!a@h JOIN :#big\r\n:alice!a@h JOIN :#quiet\r\n");
    BWindow* big = client->WindowStarting("#big on 127.0.0.1");
    BWindow* quiet = client->WindowStarting("#quiet on 127.0.0.1");
    ASSERT_NE(big, nullptr);
    ASSERT_NE(quiet, nullptr);
    client->driver->Activate(big);
    client->driver->Activate(quiet);
    ASSERT_TRUE(client->driver->WaitIdle());
    auto bigUnread = [&](BWindow* w) {
        return client->driver->Locked(w, [&] {
            auto* bar = dynamic_cast<StatusBarView*>(client->driver->FindView(w, "statusbar"));
            for (const auto& cell : bar != nullptr ? bar->Cells() : decltype(bar->Cells()){})
                if (cell.first == "#big")
                    return cell.second;
            return false;
        });
    };
    ASSERT_TRUE(client->WaitUntil([&] { return !bigUnread(quiet) && !bigUnread(window); }));

    std::string flood;
    for (int i = 0; i < 100000; i++)
        flood += ":u!u@h PRIVMSG #big :line " + std::to_string(i) + "\r\n";
    std::thread sender([&] { server.Send(flood); });
    ASSERT_TRUE(client->WaitPrinted("#big", "<u> line 0\n", 0));
    const auto first = std::chrono::steady_clock::now();
    const bool shown = client->WaitUntil([&] { return bigUnread(quiet) && bigUnread(window); });
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - first)
                           .count();
    const bool floodOver = client->Printed("#big", "<u> line 99999\n", 0);
    sender.join();
    ASSERT_TRUE(shown);
    EXPECT_LT(delay, 1000) << "a pulse is half a second";
    fprintf(stderr, "bars marked the flooded window after %lld ms%s\n", (long long)delay,
            floodOver ? " (the flood had ended)" : ", the flood still running");
    ASSERT_TRUE(client->WaitPrinted("#big", "<u> line 99999\n", 0));
}

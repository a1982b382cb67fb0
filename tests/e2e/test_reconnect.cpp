// Connections that end without the user asking are tried again; what the
// user asked for is not. The waits are shortened to a few tenths of a
// second.

#include "SessionSupport.h"

#include <Control.h>

#include <algorithm>

#include "EngineTestSupport.h"
#include "ServerWindow.h"
#include "SessionTest.h"
#include <irc.h>

namespace
{

const bigtime_t kFirstDelay = 300000;

std::string ButtonLabel(Client& client, BWindow* window)
{
    return client.driver->Locked(window, [&] {
        auto* button = dynamic_cast<BControl*>(client.driver->FindView(window, "Connect"));
        return std::string(button != nullptr && button->Label() != nullptr ? button->Label() : "");
    });
}

class Reconnect : public SessionTest
{
protected:
    void SetUp() override
    {
        ServerWindow::set_reconnect_delay(kFirstDelay);
        SessionTest::SetUp();
    }
    void TearDown() override
    {
        SessionTest::TearDown();
        ServerWindow::set_reconnect_delay(0);
    }
    // The windows open on top of each other: the one typed in comes first.
    void Say(BWindow* window, const std::string& text)
    {
        client->driver->Locked(window, [&] {
            window->Activate(true);
            return 0;
        });
        ASSERT_TRUE(client->driver->WaitIdle());
        client->Say(window, text);
    }
    int Count(const std::string& title, const std::string& text)
    {
        int count = 0;
        for (const Printed& piece : PrintRecord::Get().Pieces())
            count += piece.title.rfind(title, 0) == 0 && piece.text == text;
        return count;
    }
};

// Against a scripted server, which counts the connections it is offered.
class ReconnectScripted : public testing::Test
{
protected:
    void SetUp() override
    {
        ServerWindow::set_reconnect_delay(kFirstDelay);
        std::string address = "127.0.0.1:" + server.Port();
        PrintRecord::Get().Clear();
        client = std::make_unique<Client>(config, [&](BMessage* settings) {
            settings->RemoveName("nick");
            settings->AddString("nick", "alice");
            settings->RemoveName("default_server");
            settings->AddString("default_server", address.c_str());
        });
        BWindow* main = client->driver->FindWindow("Pelmor");
        ASSERT_NE(main, nullptr);
        client->driver->Click(client->driver->FindView(main, "Start"));
        window = client->driver->FindWindow("Server");
        ASSERT_NE(window, nullptr);
        client->driver->WaitIdle();
        ASSERT_NO_FATAL_FAILURE(Connect());
    }
    void TearDown() override
    {
        if (HasFailure() && client)
            fprintf(stderr, "%s", client->Dump().c_str());
        server.Close();
        client.reset();
        ServerWindow::set_reconnect_delay(0);
        irc::set_silence_timeout(0);
    }
    void Connect()
    {
        client->driver->Click(client->driver->FindView(window, "Connect"));
        ASSERT_NO_FATAL_FAILURE(Accepted());
    }
    // The client's next connection, up to its NICK line.
    void Accepted(int timeoutMs = 5000)
    {
        server.Close();
        ASSERT_TRUE(server.Accept(timeoutMs));
        ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
        ASSERT_EQ(server.ReadLine().rfind("USER Pelmor ", 0), 0u);
        ASSERT_EQ(server.ReadLine(), "NICK alice\n");
    }

    // The lines announcing a wait.
    int Waits()
    {
        int count = 0;
        for (const Printed& piece : PrintRecord::Get().Pieces())
            count += piece.text.find(": trying again in ") != std::string::npos;
        return count;
    }

    ScriptedServer server;
    TestDir config;
    std::unique_ptr<Client> client;
    BWindow* window = nullptr;
};

} // namespace

// The server goes down and comes back on the same port: the client tries
// again (refused attempts wait longer each time), registers, and joins the
// channel whose window is still open, not the one whose window was closed;
// the member list is refilled, not doubled. Registering set the wait back.
TEST_F(Reconnect, TheServerComesBackAndTheOpenChannelsAreJoinedAgain)
{
    Start();
    BWindow* window = OpenServer();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "End of MOTD", 0));
    client->Say(window, "/JOIN #stay");
    BWindow* stay = client->WindowStarting("#stay on 127.0.0.1");
    ASSERT_NE(stay, nullptr);
    client->Say(window, "/JOIN #gone");
    BWindow* gone = client->WindowStarting("#gone on 127.0.0.1");
    ASSERT_NE(gone, nullptr);
    Say(stay, "before");
    ASSERT_TRUE(client->WaitPrinted("#stay", "<alice> before\n", 4));
    Peer& bob = AddPeer("bob");
    bob.Send("JOIN #stay");
    ASSERT_TRUE(client->WaitUntil([&] { return Members(stay).size() == 2; }));
    client->driver->Close(gone);
    ASSERT_TRUE(client->WaitSent("PART #gone :Pelmor Beta 1"));

    server.Stop();
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "Connection lost: trying again in 0.3 s\n", 3));
    EXPECT_EQ(ButtonLabel(*client, window), "Cansel");
    EXPECT_EQ(Client::TitleOf(window), "127.0.0.1:" + server.Port());
    ASSERT_TRUE(client->WaitUntil([&] { return Members(stay).empty(); }))
        << "the old members are not shown as present";
    // While the server is down the attempts are refused, and wait longer;
    // a wait long enough for carol to be in the channel first.
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "No connection: trying again in 0.6 s\n", 3));
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "No connection: trying again in 1.2 s\n", 3));

    ASSERT_TRUE(server.Start());
    Peer& carol = AddPeer("carol");
    carol.Send("JOIN #stay");
    ASSERT_TRUE(carol.WaitFor("366 carol #stay"));
    ASSERT_TRUE(carol.WaitForLine([](const std::string& line) {
        return line.rfind(":alice!", 0) == 0 && line.find(" JOIN ") != std::string::npos;
    })) << "the client joins #stay again";
    ASSERT_TRUE(client->WaitUntil([&] {
        std::vector<std::string> names = Members(stay);
        std::sort(names.begin(), names.end());
        return names == std::vector<std::string>{"@carol", "alice"};
    })) << "refilled from the names reply, nothing doubled";
    EXPECT_TRUE(client->Printed("#stay", "before")) << "the channel's text is kept";
    EXPECT_EQ(ButtonLabel(*client, window), "Cansel");
    std::string dump = client->Dump();
    std::string traffic = dump.substr(0, dump.find("printed:"));
    size_t first = traffic.find("JOIN #gone");
    EXPECT_EQ(traffic.find("JOIN #gone", first + 1), std::string::npos)
        << "the channel whose window was closed is not joined again";
    EXPECT_EQ(client->WindowStarting("#gone", 0), nullptr);
    Say(stay, "after");
    ASSERT_TRUE(client->WaitPrinted("#stay", "<alice> after\n", 4));
    ASSERT_TRUE(carol.WaitFor("PRIVMSG #stay :after"));

    // Registered, the next loss waits the first time again.
    server.Stop();
    ASSERT_TRUE(client->WaitUntil(
        [&] { return Count("127.0.0.1", "Connection lost: trying again in 0.3 s\n") == 2; }));
}

// Cansel during the wait, the user's own QUIT and closing the window: none
// of them is followed by another attempt.
TEST_F(ReconnectScripted, WhatTheUserAskedForIsNotTriedAgain)
{
    // Lost before registering: tried again, and again after twice as long.
    server.Close();
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "No connection: trying again in 0.3 s\n", 3));
    ASSERT_NO_FATAL_FAILURE(Accepted());
    server.Close();
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "No connection: trying again in 0.6 s\n", 3));
    EXPECT_EQ(ButtonLabel(*client, window), "Cansel");
    if (const char* dir = getenv("PELMOR_SNAPSHOTS"); dir != nullptr && client->driver->WaitIdle())
        client->driver->SavePNG(window, std::string(dir) + "/reconnect-wait.png");
    client->driver->Click(client->driver->FindView(window, "Connect"));
    ASSERT_TRUE(client->WaitUntil([&] { return ButtonLabel(*client, window) == "Connect"; }));
    EXPECT_EQ(Client::TitleOf(window), "Server");
    EXPECT_FALSE(server.Accept(1500)) << "no attempt after Cansel";

    // The user's QUIT, typed raw.
    ASSERT_NO_FATAL_FAILURE(Connect());
    client->Say(window, "/^QUIT :bye");
    ASSERT_EQ(server.ReadLine(), "QUIT :bye\n");
    server.Close();
    ASSERT_TRUE(client->WaitUntil([&] { return ButtonLabel(*client, window) == "Connect"; }));
    EXPECT_FALSE(server.Accept(1000)) << "no attempt after the user's QUIT";
    EXPECT_EQ(Waits(), 2) << "nor a line announcing one";

    // Closing the window while it waits.
    ASSERT_NO_FATAL_FAILURE(Connect());
    server.Close();
    ASSERT_TRUE(client->WaitUntil([&] {
        return client->driver->Locked(window, [&] {
            auto* serverWindow = dynamic_cast<ServerWindow*>(window);
            return serverWindow != nullptr && serverWindow->is_waiting_to_reconnect();
        });
    }));
    client->driver->Close(window);
    ASSERT_TRUE(
        client->WaitUntil([&] { return client->WindowStarting("127.0.0.1", 0) == nullptr; }));
    EXPECT_FALSE(server.Accept(1000)) << "no attempt after closing";
}

// A server that takes the connection and never answers: the silence rule
// pings it, gives it up, and the window tries again.
class ReconnectSilent : public ReconnectScripted
{
protected:
    void SetUp() override
    {
        irc::set_silence_timeout(200000);
        ReconnectScripted::SetUp();
    }
};

TEST_F(ReconnectSilent, ASilentServerIsGivenUpAndTriedAgain)
{
    ASSERT_EQ(server.ReadLine(2000), "PING :Pelmor\n");
    ASSERT_TRUE(server.PeerClosed(2000));
    ASSERT_TRUE(client->WaitPrinted(
        "127.0.0.1", "ERROR : no answer from the server for 0.4 s, connection closed\n", 3));
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "No connection: trying again in 0.3 s\n", 3));
    ASSERT_NO_FATAL_FAILURE(Accepted());
}

// A port no attempt can reach is not tried again.
TEST_F(Reconnect, APortThatCannotBeDialledIsNotTriedAgain)
{
    Start("alice", "alice2", "127.0.0.1:70000");
    BWindow* window = OpenServer();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "ERROR : connect()\n", 3));
    ASSERT_TRUE(client->WaitUntil([&] { return ButtonLabel(*client, window) == "Connect"; }));
    snooze(2 * kFirstDelay);
    EXPECT_FALSE(client->Printed("", "trying again"));
    EXPECT_EQ(Count("127.0.0.1", "<<<  starting connection >>>\n"), 1);
}

// Capability negotiation, the SASL PLAIN login and the pace of the
// window's lines: the negotiation's steps on their own, then the exact
// bytes an engine exchanges with a scripted server.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <CapSasl.h>
#include <DebugTarget.h>
#include <IrcCodes.h>
#include <irc.h>

#include "EngineTestSupport.h"

namespace
{

using Lines = std::vector<std::string>;

// Feeds `line` and returns what the negotiation sends back.
Lines Step(CapNegotiation& cap, const std::string& line, bool* consumed = nullptr,
           Lines* notes = nullptr)
{
    CapNegotiation::Result result;
    bool taken = cap.Feed(line.data(), line.size(), &result);
    if (consumed != nullptr)
        *consumed = taken;
    if (notes != nullptr)
        *notes = result.notes;
    return result.send;
}

} // namespace

TEST(CapNegotiation, LogsInWithPlainWhenOfferedAndEndsAfterSuccess)
{
    CapNegotiation cap;
    EXPECT_EQ(cap.Start("jilles", "sesame"), "CAP LS 302\n");
    // Continued over two lines, with values and unknown capabilities.
    EXPECT_EQ(Step(cap, ":srv CAP * LS * :away-notify sasl=EXTERNAL,PLAIN\r\n"), Lines{});
    EXPECT_EQ(Step(cap, ":srv CAP * LS :multi-prefix batch\r\n"),
              Lines{"CAP REQ :multi-prefix sasl\n"});
    EXPECT_EQ(Step(cap, ":srv CAP * ACK :multi-prefix sasl\r\n"), Lines{"AUTHENTICATE PLAIN\n"});
    // base64 of "jilles\0jilles\0sesame".
    EXPECT_EQ(Step(cap, "AUTHENTICATE +\r\n"),
              Lines{"AUTHENTICATE amlsbGVzAGppbGxlcwBzZXNhbWU=\n"});
    // A server repeating itself gets nothing more.
    for (int i = 0; i < 1000; i++)
        EXPECT_EQ(Step(cap, "AUTHENTICATE +\r\n"), Lines{});
    Lines notes;
    bool consumed = false;
    EXPECT_EQ(Step(cap, ":srv 900 me me!u@h jilles :You are now logged in as jilles\r\n", &consumed,
                   &notes),
              Lines{});
    EXPECT_TRUE(consumed);
    EXPECT_EQ(notes, Lines{"SASL: You are now logged in as jilles\n"});
    EXPECT_EQ(Step(cap, ":srv 903 me :SASL authentication successful\r\n"), Lines{"CAP END\n"});
    EXPECT_TRUE(cap.LoggedIn());
    EXPECT_FALSE(cap.Active());
    // Done: ordinary lines, and later CAP lines, are not its business.
    EXPECT_EQ(Step(cap, ":srv 001 me :Welcome\r\n", &consumed), Lines{});
    EXPECT_FALSE(consumed);
}

TEST(CapNegotiation, EveryFailureEndsTheNegotiationAndSaysWhy)
{
    Lines notes;
    bool consumed = false;
    {
        // The login is refused: registration goes on without it.
        CapNegotiation cap;
        cap.Start("me", "wrong");
        Step(cap, ":srv CAP * LS :sasl\r\n");
        Step(cap, ":srv CAP * ACK :sasl\r\n");
        Step(cap, "AUTHENTICATE +\r\n");
        EXPECT_EQ(Step(cap, ":srv 904 * :SASL authentication failed\r\n", &consumed, &notes),
                  Lines{"CAP END\n"});
        EXPECT_EQ(notes, Lines{"SASL login failed (904: SASL authentication failed): "
                               "registering without it\n"});
        EXPECT_FALSE(cap.LoggedIn());
        EXPECT_FALSE(cap.Active());
    }
    {
        // The request is refused.
        CapNegotiation cap;
        cap.Start("me", "pw");
        EXPECT_EQ(Step(cap, ":srv CAP * LS :sasl multi-prefix\r\n"),
                  Lines{"CAP REQ :multi-prefix sasl\n"});
        EXPECT_EQ(Step(cap, ":srv CAP * NAK :multi-prefix sasl\r\n", &consumed, &notes),
                  Lines{"CAP END\n"});
        EXPECT_EQ(notes.size(), 1u);
    }
    {
        // SASL without PLAIN among its mechanisms is not asked for.
        CapNegotiation cap;
        cap.Start("me", "pw");
        EXPECT_EQ(Step(cap, ":srv CAP * LS :sasl=EXTERNAL,SCRAM-SHA-256 multi-prefix\r\n",
                       &consumed, &notes),
                  Lines{"CAP REQ :multi-prefix\n"});
        EXPECT_EQ(notes, Lines{"This server offers no SASL login: registering without it\n"});
        EXPECT_EQ(Step(cap, ":srv CAP * ACK :multi-prefix\r\n"), Lines{"CAP END\n"});
    }
    {
        // The server asks for something other than PLAIN's empty challenge.
        CapNegotiation cap;
        cap.Start("me", "pw");
        Step(cap, ":srv CAP * LS :sasl\r\n");
        Step(cap, ":srv CAP * ACK :sasl\r\n");
        EXPECT_EQ(Step(cap, "AUTHENTICATE Zm9v\r\n"), (Lines{"AUTHENTICATE *\n", "CAP END\n"}));
    }
}

TEST(CapNegotiation, WithoutAnAccountOrWithoutCapItStaysOutOfTheWay)
{
    bool consumed = false;
    {
        // Nothing to ask for: the negotiation ends at once.
        CapNegotiation cap;
        cap.Start("", "");
        EXPECT_EQ(Step(cap, ":srv CAP * LS :sasl away-notify\r\n"), Lines{"CAP END\n"});
    }
    {
        // A server that does not know CAP: no CAP END, which it would
        // not know either.
        CapNegotiation cap;
        cap.Start("me", "pw");
        EXPECT_EQ(Step(cap, ":srv 421 * CAP :Unknown command\r\n", &consumed), Lines{});
        EXPECT_TRUE(consumed);
        EXPECT_FALSE(cap.Active());
    }
    {
        // A server that ignores it and registers.
        CapNegotiation cap;
        cap.Start("me", "pw");
        EXPECT_EQ(Step(cap, ":srv NOTICE * :Looking up your hostname\r\n", &consumed), Lines{});
        EXPECT_FALSE(consumed);
        EXPECT_EQ(Step(cap, ":srv 001 me :Welcome\r\n", &consumed), Lines{});
        EXPECT_FALSE(consumed);
        EXPECT_FALSE(cap.Active());
    }
}

TEST(CapNegotiation, TenThousandCapabilitiesCostNoMemoryAndStillFindSasl)
{
    CapNegotiation cap;
    cap.Start("me", "pw");
    int lines = 0;
    std::string line;
    for (int i = 0; i < 10000; i++) {
        std::string name = "vendor.example/cap-" + std::to_string(i);
        if (line.size() + name.size() > 400) {
            EXPECT_EQ(Step(cap, ":srv CAP * LS * :" + line + "\r\n"), Lines{});
            line.clear();
            lines++;
        }
        line += (line.empty() ? "" : " ") + name;
    }
    EXPECT_EQ(Step(cap, ":srv CAP * LS :" + line + " sasl\r\n"), Lines{"CAP REQ :sasl\n"});
    EXPECT_GT(lines, 100);
    EXPECT_EQ(sizeof(CapNegotiation) < 256, true) << "no list grows with the server's";
}

TEST(CapNegotiation, TheCredentialIsCutInto400ByteLines)
{
    EXPECT_EQ(CapNegotiation::Base64(""), "");
    EXPECT_EQ(CapNegotiation::Base64("f"), "Zg==");
    EXPECT_EQ(CapNegotiation::Base64("fo"), "Zm8=");
    EXPECT_EQ(CapNegotiation::Base64("foo"), "Zm9v");
    EXPECT_EQ(CapNegotiation::Base64(std::string("\xff\x00\x80", 3)), "/wCA");

    // "a\0a\0" + password: 298 bytes make exactly 400 of base64, which
    // an empty line must follow; 301 bytes need a second piece.
    std::string password(298 - 4, 'p');
    Lines exact = CapNegotiation::PlainLines("a", password);
    ASSERT_EQ(exact.size(), 2u);
    EXPECT_EQ(exact[0].size(), std::string("AUTHENTICATE \n").size() + 400);
    EXPECT_EQ(exact[1], "AUTHENTICATE +\n");
    Lines longer = CapNegotiation::PlainLines("a", password + "ppp");
    ASSERT_EQ(longer.size(), 2u);
    EXPECT_EQ(longer[1], "AUTHENTICATE cA==\n");
}

// -- an engine and a scripted server -------------------------------------------------------

class Registration : public testing::Test
{
protected:
    void SetUp() override
    {
        owner = new RecordingLooper;
        engine = new irc(owner);
        owner->Adopt(engine);
    }
    void TearDown() override
    {
        server.Close();
        owner->Drop(engine);
        if (debug != nullptr) {
            g_debug.Clear(debug);
            debug->Stop();
        }
        owner->Stop();
        irc::set_send_pacing(0, 0);
    }
    // Connects with the login and reads the opening lines.
    void Connect(const char* account, const char* password)
    {
        engine->setup("127.0.0.1", "Pelmor", server.Port().c_str());
        engine->set_sasl(account, password);
        engine->start();
        ASSERT_TRUE(server.Accept());
        ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
        ASSERT_EQ(server.ReadLine().rfind("USER Pelmor ", 0), 0u);
    }
    void Command(const std::string& text)
    {
        BMessage message(MSG_IRC);
        message.AddString("cmd", text.c_str());
        owner->PostMessage(&message, engine);
    }

    ScriptedServer server;
    RecordingLooper* owner = nullptr;
    RecordingLooper* debug = nullptr;
    irc* engine = nullptr;
};

TEST_F(Registration, ASuccessfulLoginOnTheWireAndNoNegotiationLinePosted)
{
    debug = new RecordingLooper;
    g_debug.Set(debug);
    Connect("alice", "open sesame");
    server.Send(":srv CAP * LS :multi-prefix sasl\r\n");
    EXPECT_EQ(server.ReadLine(), "CAP REQ :multi-prefix sasl\n");
    server.Send(":srv CAP * ACK :multi-prefix sasl\r\n");
    EXPECT_EQ(server.ReadLine(), "AUTHENTICATE PLAIN\n");
    server.Send("AUTHENTICATE +\r\n");
    EXPECT_EQ(server.ReadLine(), "AUTHENTICATE YWxpY2UAYWxpY2UAb3BlbiBzZXNhbWU=\n");
    server.Send(":srv 900 alice alice!u@h alice :You are now logged in as alice\r\n"
                ":srv 903 alice :SASL authentication successful\r\n");
    EXPECT_EQ(server.ReadLine(), "CAP END\n");
    server.Send(":srv 001 alice :Welcome alice\r\n");
    ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        for (const BMessage& m : all)
            if (m.what == MSG_IRC && std::string(m.GetString("command", "")) == "001")
                return true;
        return false;
    }));
    EXPECT_TRUE(owner->WaitForInfo("SASL: You are now logged in as alice\n"));
    for (const BMessage& m : owner->Messages()) {
        std::string command = m.GetString("command", "");
        EXPECT_TRUE(command != "CAP" && command != "903" && command != "900") << command;
    }
    for (const std::string& info : owner->Infos())
        EXPECT_EQ(info.find("AUTHENTICATE"), std::string::npos) << info;
    // The debug window sees the exchange, but not the password.
    for (const BMessage& m : debug->Messages()) {
        std::string text = m.GetString("debug", "");
        EXPECT_EQ(text.find("YWxpY2UAYWxpY2UAb3BlbiBzZXNhbWU="), std::string::npos);
    }
}

TEST_F(Registration, AFailedLoginIsALineAndRegistrationGoesOn)
{
    Connect("alice", "wrong");
    server.Send(":srv CAP * LS :sasl\r\n");
    EXPECT_EQ(server.ReadLine(), "CAP REQ :sasl\n");
    server.Send(":srv CAP * ACK :sasl\r\n");
    EXPECT_EQ(server.ReadLine(), "AUTHENTICATE PLAIN\n");
    server.Send("AUTHENTICATE +\r\n");
    EXPECT_EQ(server.ReadLine(), "AUTHENTICATE YWxpY2UAYWxpY2UAd3Jvbmc=\n");
    // A flood of challenges after the answer gets nothing.
    std::string flood;
    for (int i = 0; i < 5000; i++)
        flood += "AUTHENTICATE +\r\n";
    server.Send(flood + ":srv 904 * :SASL authentication failed\r\n");
    EXPECT_EQ(server.ReadLine(), "CAP END\n");
    EXPECT_TRUE(owner->WaitForInfo(
        "SASL login failed (904: SASL authentication failed): registering without it\n"));
    // The nickname request still follows the registration.
    Command("/NICK alice");
    EXPECT_EQ(server.ReadLine(), "NICK alice\n");
    EXPECT_EQ(server.ReadAll(), "");
}

TEST_F(Registration, AServerWithoutCapRegistersAsBefore)
{
    Connect("alice", "pw");
    Command("/NICK alice");
    EXPECT_EQ(server.ReadLine(), "NICK alice\n");
    server.Send(":srv 421 * CAP :Unknown command\r\n:srv 001 alice :Welcome\r\n");
    ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        for (const BMessage& m : all)
            if (m.what == MSG_IRC && std::string(m.GetString("command", "")) == "001")
                return true;
        return false;
    }));
    for (const BMessage& m : owner->Messages())
        EXPECT_NE(std::string(m.GetString("command", "")), "421");
    // Nothing more: no CAP END to a server that does not know CAP.
    EXPECT_EQ(server.ReadAll(), "");
}

TEST_F(Registration, PastedLinesArePacedAndAPingMeanwhileIsAnsweredAtOnce)
{
    // Shortened from 2 s so the test is quick; the burst is the real one.
    const auto interval = std::chrono::milliseconds(150);
    irc::set_send_pacing(5, bigtime_t(interval.count()) * 1000);
    Connect("", "");
    server.Send(":srv CAP * LS :multi-prefix\r\n");
    EXPECT_EQ(server.ReadLine(), "CAP REQ :multi-prefix\n");
    server.Send(":srv CAP * ACK :multi-prefix\r\n");
    EXPECT_EQ(server.ReadLine(), "CAP END\n");
    // Let the bucket fill again after registration's lines.
    std::this_thread::sleep_for(interval * 6);

    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; i++)
        Command("/MSG #c line " + std::to_string(i));
    std::vector<double> arrived;
    for (int i = 0; i < 20; i++) {
        if (i == 8)
            server.Send("PING :now\r\n");
        std::string line = server.ReadLine();
        if (line == "PONG :now\n") {
            // Answered ahead of the lines still waiting.
            EXPECT_LT(i, 10);
            line = server.ReadLine();
        }
        ASSERT_EQ(line, "PRIVMSG #c :line " + std::to_string(i) + "\n");
        arrived.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const double step = std::chrono::duration<double>(interval).count();
    // The burst at once, then one per interval.
    EXPECT_LT(arrived[4], step * 0.8);
    for (int i = 5; i < 20; i++)
        EXPECT_GT(arrived[size_t(i)] - arrived[4], step * (i - 4) * 0.85) << "line " << i;
    EXPECT_LT(arrived[19], step * 15 * 1.8 + 0.5);
}

TEST_F(Registration, QueuedLinesAreBoundedWhileTheConnectionStays)
{
    irc::set_send_pacing(5, 10000000);
    Connect("", "");
    for (int i = 0; i < 400; i++)
        Command("/MSG #c " + std::string(300, 'x'));
    EXPECT_TRUE(owner->WaitForInfo("ERROR : more than 64 KB of lines waiting for their turn to be "
                                   "sent, line dropped\n"));
    EXPECT_LE(engine->unsent_bytes(), size_t(IRC_SEND_LIMIT));
    // Still connected: the server's lines come through.
    server.Send(":srv NOTICE me :still here\r\n");
    EXPECT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        for (const BMessage& m : all)
            if (std::string(m.GetString("params", "")).find("still here") != std::string::npos)
                return true;
        return false;
    }));
}

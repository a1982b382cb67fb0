// The engine against a scripted server on 127.0.0.1: exact bytes out, exact
// bytes back.

#include <gtest/gtest.h>

#include <algorithm>

#include <AppPrefs.h>
#include <DebugTarget.h>
#include <Prefs.h>

#include <atomic>
#include <memory>
#include <thread>

#include "EngineTestSupport.h"
#include "TestDir.h"

namespace
{

std::string local_host_name()
{
    char host[65] = {};
    gethostname(host, sizeof(host) - 1);
    return host;
}

class Connection : public testing::Test
{
protected:
    void SetUp() override
    {
        // These drive many lines at once; the pace has tests of its own.
        irc::set_send_pacing(1, 0);
        owner = new RecordingLooper;
        engine = new irc(owner);
        owner->Adopt(engine);
    }
    void TearDown() override
    {
        irc::set_send_pacing(0, 0);
        // Closing first lets the thread end by itself, so the drop is quick.
        server.Close();
        if (engine != nullptr)
            owner->Drop(engine);
        owner->Stop();
        g_debug.Clear(debug);
        if (debug != nullptr)
            debug->Stop();
        // Only now that no engine can read it may the store go.
        set_app_prefs(nullptr);
        prefs.reset();
        configHome.reset();
        irc::set_lookup_function(nullptr);
        if (HasFailure())
            fprintf(stderr, "owner received:\n%s", dump.c_str());
    }

    // Starts the engine on the scripted server and reads its CAP and USER lines.
    void Connect(const char* nick = nullptr)
    {
        engine->setup("127.0.0.1", "Pelmor", server.Port().c_str());
        engine->start();
        ASSERT_TRUE(server.Accept());
        ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
        ASSERT_EQ(server.ReadLine(), "USER Pelmor " + local_host_name() + " 127.0.0.1 :INFO\n");
        ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
            for (const BMessage& m : all)
                if (m.what == MSG_IRC && m.HasInt16("code"))
                    return true;
            return false;
        }));
        if (nick != nullptr) {
            Command(std::string("/NICK ") + nick);
            ASSERT_EQ(server.ReadLine(), std::string("NICK ") + nick + "\n");
        }
    }
    // As a window's input line would pass it.
    void Command(const std::string& text)
    {
        BMessage message(MSG_IRC);
        message.AddString("cmd", text.c_str());
        owner->PostMessage(&message, engine);
    }
    void WatchTraffic()
    {
        debug = new RecordingLooper;
        g_debug.Set(debug);
    }
    std::vector<std::string> Traffic()
    {
        std::vector<std::string> lines;
        for (const BMessage& m : debug->Messages())
            lines.push_back(m.GetString("debug", ""));
        return lines;
    }
    bool WaitTraffic(size_t count)
    {
        return debug->WaitFor(
            [count](const std::vector<BMessage>& all) { return all.size() >= count; });
    }
    void Remember() { dump = owner->Dump(); }
    // Makes the engine read and write in this encoding from now on.
    void UseEncoding(int16 code)
    {
        if (!prefs) {
            configHome = std::make_unique<TestDir>();
            configHome->UseAsConfigHome();
            prefs = std::make_unique<Prefs>("Pelmor settings", "Pelmor");
        }
        prefs->Lock();
        if (prefs->GetMsg()->ReplaceInt16("encoding", code) != B_OK)
            prefs->GetMsg()->AddInt16("encoding", code);
        prefs->Unlock();
        set_app_prefs(prefs.get());
    }

    ScriptedServer server;
    RecordingLooper* owner = nullptr;
    RecordingLooper* debug = nullptr;
    irc* engine = nullptr;
    std::string dump;
    std::unique_ptr<TestDir> configHome;
    std::unique_ptr<Prefs> prefs;
};

} // namespace

TEST_F(Connection, RegistersAndPostsTheNicknameRequest)
{
    Connect();
    auto messages = owner->Messages();
    std::vector<std::string> infos = owner->Infos();
    ASSERT_GE(infos.size(), 2u);
    EXPECT_EQ(infos[0], "start thread\n");
    EXPECT_EQ(infos[1], "conect to server ...\n");
    const BMessage* request = nullptr;
    for (const BMessage& m : messages)
        if (m.what == MSG_IRC)
            request = &m;
    ASSERT_NE(request, nullptr);
    int16 code = 0;
    EXPECT_EQ(request->FindInt16("code", &code), B_OK);
    EXPECT_EQ(code, 433);
    EXPECT_STREQ(request->GetString("params", ""), "nick\n");
    EXPECT_FALSE(request->HasString("command"));
    Remember();
}

TEST_F(Connection, AnswersPingAndReadsLinesByTheRules)
{
    WatchTraffic();
    Connect("bob");
    // Everything so far, up to the NICK line, has reached the debug window.
    ASSERT_TRUE(debug->WaitFor([](const std::vector<BMessage>& all) {
        return !all.empty() && strcmp(all.back().GetString("debug", ""), "NICK bob\n") == 0;
    }));
    size_t before = Traffic().size();
    server.Send("PING :srv1\r\n");
    EXPECT_EQ(server.ReadLine(), "PONG :srv1\n");
    std::string longLine = ":srv " + std::string(595, 'x') + "\n"; // 600 bytes before LF
    const char withNul[] = ":a!b PRIV\0MSG #c :nul\r\n";
    server.Send(":a!b PRIVMSG #c :crlf\r\n"
                ":a!b PRIVMSG #c :lf\n"
                ":a!b PRIVMSG #c :cr\rinside\n"
                "\n" +
                std::string(withNul, sizeof(withNul) - 1) + longLine);
    ASSERT_TRUE(WaitTraffic(before + 8));
    std::vector<std::string> lines = Traffic();
    std::vector<std::string> read(lines.begin() + long(before), lines.end());
    ASSERT_GE(read.size(), 8u);
    EXPECT_EQ(read[0], "PING :srv1\n");
    EXPECT_EQ(read[1], "PONG :srv1\n") << "the answer as written";
    EXPECT_EQ(read[2], ":a!b PRIVMSG #c :crlf\n");
    EXPECT_EQ(read[3], ":a!b PRIVMSG #c :lf\n");
    EXPECT_EQ(read[4], ":a!b PRIVMSG #c :crinside\n") << "a CR is never text";
    EXPECT_EQ(read[5], "\n");
    EXPECT_EQ(read[6], ":a!b PRIVMSG #c :nul\n") << "NUL bytes are dropped";
    EXPECT_EQ(read[7], longLine.substr(0, 511));
    ASSERT_TRUE(WaitTraffic(before + 9));
    EXPECT_EQ(Traffic()[before + 8], longLine.substr(511));
    EXPECT_EQ(Traffic()[before + 8].size(), 90u) << "89 bytes and the LF";
    Remember();
}

TEST_F(Connection, ConvertsBothWaysWithTheConfiguredEncoding)
{
    Connect("bob");
    server.Send(":ann!u PRIVMSG #c :caf\xE9\r\n");
    ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        for (const BMessage& m : all)
            if (strcmp(m.GetString("command", ""), "PRIVMSG") == 0)
                return true;
        return false;
    }));
    EXPECT_EQ(owner->Lines().back(), "PRIVMSG|#c :caf\xC3\xA9\n|ann|-") << "code page 1252";
    Command("/MSG ann caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(server.ReadLine(), "PRIVMSG ann :caf\xE9 \x80\n");

    UseEncoding(17);
    server.Send(":ann!u PRIVMSG #c :\xC0\xE1\r\n");
    ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        int count = 0;
        for (const BMessage& m : all)
            count += strcmp(m.GetString("command", ""), "PRIVMSG") == 0;
        return count >= 2;
    }));
    EXPECT_EQ(owner->Lines().back(), "PRIVMSG|#c :\xD0\x90\xD0\xB1\n|ann|-") << "code page 1251";
    Command("/MSG ann \xD0\x90\xE2\x82\xAC");
    EXPECT_EQ(server.ReadLine(), "PRIVMSG ann :\xC0\x88\n");
    // 511 bytes that double in UTF-8 arrive whole.
    server.Send(":a!b PRIVMSG #c :" + std::string(493, '\xC0') + "\n");
    ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        int count = 0;
        for (const BMessage& m : all)
            count += strcmp(m.GetString("command", ""), "PRIVMSG") == 0;
        return count >= 3;
    }));
    std::string params = owner->Lines().back();
    EXPECT_EQ(std::count(params.begin(), params.end(), '\xD0'), 493) << "no character lost";
    Remember();
}

namespace
{

std::string query(ScriptedServer& server, const std::string& body)
{
    server.Send(":bob!u@h PRIVMSG me :\x01" + body + "\x01\r\n");
    return server.ReadLine();
}

} // namespace

// Five queries at most in a row: more would meet the flood limit.
TEST_F(Connection, AnswersCtcpQueries)
{
    Connect("me");
    EXPECT_EQ(query(server, "VERSION"),
              "NOTICE bob :\x01VERSION Pelmor (v0.1a) for BeOS R4 Intel(c) by the Pelmor "
              "developers\x01\n");
    EXPECT_EQ(query(server, "PING 123"), "NOTICE bob :\x01PING 123\x01\n");
    EXPECT_EQ(query(server, "PING"), "NOTICE bob :\x01PING \x01\n");
    EXPECT_EQ(query(server, "CLIENTINFO"), "NOTICE bob :\x01"
                                           "CLIENTINFO PING USERINFO VERSION SOURCE TIME\x01\n");
    EXPECT_EQ(query(server, "FINGER"), "NOTICE bob :\x01"
                                       "FINGER Finger info unavailable.\x01\n");
    ASSERT_TRUE(owner->WaitForInfo("query CTCP FINGER from bob\n"));
    std::vector<std::string> infos = owner->Infos();
    EXPECT_NE(std::find(infos.begin(), infos.end(), "query CTCP PING from bob\n"), infos.end());
    // Nothing of it was posted as a chat line.
    for (const std::string& line : owner->Lines())
        EXPECT_EQ(line.find("PRIVMSG"), std::string::npos) << line;
    Remember();
}

TEST_F(Connection, AnswersTimeUserinfoAndSource)
{
    Connect("me");
    EXPECT_EQ(query(server, "USERINFO"), "NOTICE bob :\x01USERINFO Pelmor\x01\n");
    EXPECT_EQ(query(server, "SOURCE"),
              "NOTICE bob :\x01SOURCE https://pelmor.example.org/source\x01\n");
    std::string time = query(server, "TIME");
    ASSERT_EQ(time.rfind("NOTICE bob :\x01TIME ", 0), 0u) << time;
    EXPECT_EQ(time.size(), strlen("NOTICE bob :\x01TIME ") + 24 + 1);
    EXPECT_EQ(server.ReadLine(), "\n") << "the TIME answer ends in two line ends";
    EXPECT_EQ(time.find('\x01', 13), std::string::npos) << "and has no closing byte";
    ASSERT_TRUE(owner->WaitForInfo("query CTCP TIME from bob\n"));
    Remember();
}

TEST_F(Connection, AFloodOfCtcpQueriesGetsAFewAnswers)
{
    Connect("me");
    std::string flood;
    for (int i = 0; i < 200; i++)
        flood += ":bob!u PRIVMSG me :\x01VERSION\x01\r\n";
    server.Send(flood);
    server.Send("PING :after\r\n");
    std::string all;
    for (std::string line = server.ReadLine(); !line.empty() && line != "PONG :after\n";
         line = server.ReadLine())
        all += line;
    size_t answers = 0;
    for (size_t at = all.find("NOTICE bob"); at != std::string::npos;
         at = all.find("NOTICE bob", at + 1))
        answers++;
    EXPECT_EQ(answers, 5u);
    ASSERT_TRUE(owner->WaitForInfo("too many CTCP queries (last from bob): not answering them "
                                   "for a while\n"));
    int reports = 0;
    for (const std::string& info : owner->Infos())
        reports += info.rfind("too many CTCP", 0) == 0;
    EXPECT_EQ(reports, 1) << "one report for the whole burst";
    Remember();
}

TEST_F(Connection, NoPeerTextCanAddALineOfItsOwn)
{
    Connect("me");
    // CR inside a CTCP argument and inside a nickname.
    server.Send(":bob!u PRIVMSG me :\x01PING 1\rQUIT :pwned\x01\r\n");
    EXPECT_EQ(server.ReadLine(), "NOTICE bob :\x01PING 1QUIT :pwned\x01\n");
    server.Send(":ev\ril!u PRIVMSG me :\x01VERSION\x01\r\n");
    std::string line = server.ReadLine();
    EXPECT_EQ(line.rfind("NOTICE evil :\x01VERSION ", 0), 0u) << line;
    // A PING to be echoed that is too long is not answered.
    server.Send(":bob!u PRIVMSG me :\x01PING " + std::string(101, '9') + "\x01\r\n");
    server.Send("PING :marker\r\n");
    EXPECT_EQ(server.ReadLine(), "PONG :marker\n");
    // A pasted line end inside a command.
    Command("/MSG bob hi\r\nQUIT :gone");
    EXPECT_EQ(server.ReadLine(), "PRIVMSG bob :hi QUIT :gone\n");
    Command("/^JOIN #a\rJOIN #b");
    EXPECT_EQ(server.ReadLine(), "JOIN #aJOIN #b\n");
    // Every line is cut to 510 bytes and its line end.
    Command("/^PRIVMSG #c :" + std::string(700, 'z'));
    std::string cut = server.ReadLine();
    EXPECT_EQ(cut.size(), 511u);
    EXPECT_EQ(cut.back(), '\n');
    // A two-byte character that would end past the cut is left out whole.
    UseEncoding(11);                                              // Shift-JIS
    Command("/MSG #c " + std::string(497, 'a') + "\xE3\x81\x82"); // HIRAGANA A
    EXPECT_EQ(server.ReadLine(), "PRIVMSG #c :" + std::string(497, 'a') + "\n");
    Command("/MSG #c " + std::string(496, 'a') + "\xE3\x81\x82");
    EXPECT_EQ(server.ReadLine(), "PRIVMSG #c :" + std::string(496, 'a') + "\x82\xA0\n");
    Remember();
}

TEST_F(Connection, WritesNeverInterleaveAndLargeWritesArriveWhole)
{
    Connect("me");
    // The network thread answers pings while the window thread sends.
    std::string pings;
    for (int i = 0; i < 300; i++)
        pings += "PING :p" + std::to_string(i) + "\r\n";
    server.Send(pings);
    for (int i = 0; i < 300; i++)
        Command("/MSG #c message " + std::to_string(i) + " " + std::string(400, 'm'));
    int pongs = 0, messages = 0;
    for (int i = 0; i < 600; i++) {
        std::string line = server.ReadLine();
        ASSERT_FALSE(line.empty()) << "after " << i << " lines";
        if (line.rfind("PONG :p", 0) == 0)
            pongs++;
        else if (line.rfind("PRIVMSG #c :message ", 0) == 0 &&
                 line.find(std::string(400, 'm') + "\n") != std::string::npos)
            messages++;
        else
            FAIL() << "mangled line: " << line.substr(0, 60);
    }
    EXPECT_EQ(pongs, 300);
    EXPECT_EQ(messages, 300);
    Remember();
}

TEST_F(Connection, TheServerClosingMidLineEndsTheConnection)
{
    Connect("bob");
    server.Send(":a!b PRIVMSG #c :whole\r\n:a!b PRIVMSG #c :part");
    server.Close();
    ASSERT_TRUE(owner->WaitForCode(MSG_CON));
    std::vector<std::string> lines = owner->Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "PRIVMSG|#c :whole\n|a|-") << "the partial line is not delivered";
    EXPECT_EQ(owner->Infos().back(), "exit thread\n");
    auto messages = owner->Messages();
    bool noContinue = false;
    EXPECT_EQ(messages.back().what, uint32(MSG_CON));
    EXPECT_EQ(messages.back().FindBool("no_continue", &noContinue), B_OK);
    EXPECT_TRUE(noContinue);
    // Writing now fails cleanly.
    EXPECT_FALSE(engine->writeln("PRIVMSG #c :late\n"));
    Remember();
}

// The parser drops lines without a sender; the server's reason for closing
// the link is one of them, and the user must see it.
TEST_F(Connection, LinesWithoutASenderAreShownAsStatusText)
{
    Connect("bob");
    server.Send("PING :x\r\nNOTICE AUTH :*** Looking up\r\nERROR :Closing link: bob (Bye)\r\n");
    ASSERT_EQ(server.ReadLine(), "PONG :x\n");
    server.Close();
    ASSERT_TRUE(owner->WaitForCode(MSG_CON));
    std::vector<std::string> infos = owner->Infos();
    auto at = std::find(infos.begin(), infos.end(), "ERROR :Closing link: bob (Bye)\n");
    EXPECT_NE(at, infos.end());
    EXPECT_NE(std::find(infos.begin(), at, "NOTICE AUTH :*** Looking up\n"), at) << "in order";
    for (const std::string& info : infos)
        EXPECT_EQ(info.find("PING"), std::string::npos) << "PING is answered, not shown";
    for (const std::string& line : owner->Lines())
        EXPECT_EQ(line.find("ERROR"), std::string::npos) << "not a classified line: " << line;
    Remember();
}

TEST_F(Connection, ARefusedPortAndAnUnknownHostAreReportedInOrder)
{
    uint16_t freePort;
    {
        ScriptedServer closed;
        freePort = uint16_t(std::stoi(closed.Port()));
    }
    engine->setup("127.0.0.1", "Pelmor", std::to_string(freePort).c_str());
    engine->start();
    ASSERT_TRUE(owner->WaitForCode(MSG_CON));
    EXPECT_EQ(owner->Infos(), (std::vector<std::string>{"start thread\n", "conect to server ...\n",
                                                        "ERROR : connect()\n", "exit thread\n"}));
    EXPECT_EQ(owner->Messages().back().what, uint32(MSG_CON));
    owner->Drop(engine);

    auto* second = new RecordingLooper;
    engine = new irc(second);
    second->Adopt(engine);
    engine->setup("no-such-host.invalid", "Pelmor", "6667");
    engine->start();
    ASSERT_TRUE(second->WaitForCode(MSG_CON));
    EXPECT_EQ(second->Infos(),
              (std::vector<std::string>{"start thread\n", "conect to server ...\n",
                                        "ERROR : gethostbyname()\n", "exit thread\n"}));
    EXPECT_EQ(second->Messages().back().what, uint32(MSG_CON));
    second->Drop(engine);
    engine = nullptr;
    second->Stop();

    // Ports that are not ports are refused rather than wrapped around.
    auto* third = new RecordingLooper;
    engine = new irc(third);
    third->Adopt(engine);
    engine->setup("127.0.0.1", "Pelmor", std::to_string(65536 + freePort).c_str());
    engine->start();
    ASSERT_TRUE(third->WaitForCode(MSG_CON));
    EXPECT_EQ(third->Infos()[2], "ERROR : connect()\n");
    third->Drop(engine);
    engine = nullptr;
    third->Stop();
}

namespace
{

std::atomic<bool> sReleaseLookup{false};

int hanging_lookup(const char*, const char*, const struct addrinfo*, struct addrinfo** result)
{
    *result = nullptr;
    for (int i = 0; i < 10000 && !sReleaseLookup.load(); i++)
        usleep(1000);
    return EAI_AGAIN;
}

bigtime_t timed_drop(RecordingLooper* owner, irc* engine)
{
    bigtime_t start = system_time();
    owner->Drop(engine);
    return system_time() - start;
}

} // namespace

TEST_F(Connection, DeletingStopsTheThreadPromptlyInEveryState)
{
    // The bounds leave room for slow sanitizer builds; a thread that was
    // not stopped would hold its owner for seconds.
    // Created, never started: no thread ever ran, no QUIT is sent.
    EXPECT_LT(timed_drop(owner, engine), 1000000);
    engine = nullptr;
    ASSERT_TRUE(owner->WaitForInfo("READY.\n"));
    EXPECT_EQ(owner->Infos(), (std::vector<std::string>{"QUITING...\n", "READY.\n"}));

    // Resolving, with a lookup that hangs.
    sReleaseLookup = false;
    irc::set_lookup_function(hanging_lookup);
    auto* resolving = new RecordingLooper;
    irc* slow = new irc(resolving);
    resolving->Adopt(slow);
    slow->setup("slow.example", "Pelmor", "6667");
    slow->start();
    ASSERT_TRUE(resolving->WaitForInfo("conect to server ...\n"));
    EXPECT_LT(timed_drop(resolving, slow), 1500000) << "the lookup hangs for ten seconds";
    ASSERT_TRUE(resolving->WaitForInfo("READY.\n"));
    EXPECT_EQ(resolving->Infos(),
              (std::vector<std::string>{"start thread\n", "conect to server ...\n", "QUITING...\n",
                                        "exit thread\n", "READY.\n"}));
    sReleaseLookup = true;
    irc::set_lookup_function(nullptr);
    resolving->Stop();

    // Online with a server that closes after QUIT.
    auto* online = new RecordingLooper;
    irc* polite = new irc(online);
    online->Adopt(polite);
    polite->setup("127.0.0.1", "Pelmor", server.Port().c_str());
    polite->start();
    ASSERT_TRUE(server.Accept());
    ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
    server.ReadLine();
    std::thread closer([&] {
        if (server.ReadLine() == "QUIT\n")
            server.Close();
    });
    EXPECT_LT(timed_drop(online, polite), 2000000);
    closer.join();
    online->Stop();

    // Online with a server that ignores QUIT: the wait is bounded.
    ScriptedServer stubborn;
    auto* waiting = new RecordingLooper;
    irc* patient = new irc(waiting);
    waiting->Adopt(patient);
    patient->setup("127.0.0.1", "Pelmor", stubborn.Port().c_str());
    patient->start();
    ASSERT_TRUE(stubborn.Accept());
    ASSERT_EQ(stubborn.ReadLine(), "CAP LS 302\n");
    stubborn.ReadLine();
    bigtime_t took = timed_drop(waiting, patient);
    EXPECT_LT(took, 8000000);
    EXPECT_GE(took, 2000000) << "it gave the server time to close";
    EXPECT_EQ(stubborn.ReadLine(), "QUIT\n");
    EXPECT_TRUE(stubborn.PeerClosed());
    waiting->Stop();

    // Ended: the thread is already gone.
    ScriptedServer ending;
    auto* ended = new RecordingLooper;
    irc* done = new irc(ended);
    ended->Adopt(done);
    done->setup("127.0.0.1", "Pelmor", ending.Port().c_str());
    done->start();
    ASSERT_TRUE(ending.Accept());
    ending.Close();
    ASSERT_TRUE(ended->WaitForCode(MSG_CON));
    EXPECT_LT(timed_drop(ended, done), 1500000);
    ended->Stop();
}

TEST_F(Connection, WritingNeedsAConnectionAndALine)
{
    EXPECT_FALSE(engine->writeln("NICK bob\n")) << "no socket yet";
    Connect();
    EXPECT_FALSE(engine->writeln(""));
    EXPECT_FALSE(engine->writeln(nullptr));
    EXPECT_TRUE(engine->writeln("NICK bob\n"));
    EXPECT_EQ(server.ReadLine(), "NICK bob\n");
}

namespace
{

// The silence rule with times a test can wait for.
class Silence : public Connection
{
protected:
    static constexpr bigtime_t kSilence = 300000;
    void SetUp() override
    {
        irc::set_silence_timeout(kSilence);
        Connection::SetUp();
    }
    void TearDown() override
    {
        Connection::TearDown();
        irc::set_silence_timeout(0);
    }
    bool UserQuit()
    {
        for (const BMessage& m : owner->Messages())
            if (m.what == MSG_CON)
                return m.GetBool("user_quit", true);
        return true;
    }
};

} // namespace

// A server that takes the connection and then says nothing is sent a PING
// after the silence time and given up after as long again; the end is not
// the user's, so the window may try again.
TEST_F(Silence, ASilentServerIsPingedThenGivenUp)
{
    Connect("bob");
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(server.ReadLine(3000), "PING :Pelmor\n");
    auto pinged = std::chrono::steady_clock::now();
    EXPECT_GE(pinged - start, std::chrono::microseconds(kSilence * 8 / 10));
    ASSERT_TRUE(server.PeerClosed(3000));
    EXPECT_GE(std::chrono::steady_clock::now() - pinged,
              std::chrono::microseconds(kSilence * 8 / 10));
    ASSERT_TRUE(owner->WaitForCode(MSG_CON));
    std::vector<std::string> infos = owner->Infos();
    EXPECT_NE(std::find(infos.begin(), infos.end(),
                        "ERROR : no answer from the server for 0.6 s, connection closed\n"),
              infos.end());
    EXPECT_FALSE(UserQuit());
    Remember();
}

// Any line resets the clock: a server that talks now and then is never
// pinged, and one that answers the PING keeps the connection.
TEST_F(Silence, TrafficAndAnAnsweredPingKeepTheConnection)
{
    Connect("bob");
    for (int i = 0; i < 8; i++) {
        usleep(useconds_t(kSilence / 2));
        server.Send(":a!b PRIVMSG bob :still here\r\n");
    }
    EXPECT_EQ(server.ReadAll(50), "") << "no PING while the server talks";
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(server.ReadLine(3000), "PING :Pelmor\n") << round;
        usleep(useconds_t(kSilence / 2));
        server.Send(":irc.test PONG irc.test :Pelmor\r\n");
    }
    EXPECT_FALSE(owner->WaitForCode(MSG_CON, int(kSilence / 1000)));
    Remember();
}

// The user's own QUIT ends the connection as asked: not to be tried again.
TEST_F(Silence, TheUsersQuitIsMarked)
{
    Connect("bob");
    Command("/^quit :bye");
    ASSERT_EQ(server.ReadLine(), "quit :bye\n");
    server.Close();
    ASSERT_TRUE(owner->WaitForCode(MSG_CON));
    EXPECT_TRUE(UserQuit());
    Remember();
}

// Server lines into posted messages, without a connection.

#include <gtest/gtest.h>

#include <algorithm>

#include "EngineTestSupport.h"

#include <DebugTarget.h>

namespace
{

struct Parsed {
    bool posted;
    std::string command, params, from;
    int16 code; // -1: none
};

Parsed parse(irc& engine, const char* line)
{
    char work[IRC_LINE_SIZE];
    snprintf(work, sizeof(work), "%s", line);
    BMessage message(MSG_IRC);
    Parsed result{engine.server_msg(work, &message), "", "", "", -1};
    result.command = message.GetString("command", "");
    result.params = message.GetString("params", "");
    result.from = message.GetString("from", "");
    message.FindInt16("code", &result.code);
    return result;
}

class Parse : public testing::Test
{
protected:
    void SetUp() override
    {
        owner = new RecordingLooper;
        engine = new irc(owner);
    }
    void TearDown() override
    {
        delete engine;
        owner->Stop();
    }
    void SetNick(const char* nick)
    {
        char out[IRC_OUT_SIZE] = {};
        engine->prepare_cmd((std::string("/NICK ") + nick).c_str(), out);
    }

    RecordingLooper* owner;
    irc* engine;
};

} // namespace

TEST_F(Parse, ClassifiesLinesForTheCurrentNickname)
{
    SetNick("bob");
    struct {
        const char* line;
        bool posted;
        const char* command;
        const char* params;
        const char* from;
        int16 code;
    } table[] = {
        {":ann!user PRIVMSG #beos :hi\n", true, "PRIVMSG", "#beos :hi\n", "ann", -1},
        {":srv1 001 bob :Welcome\n", true, "001", "bob :Welcome\n", "srv1", 1},
        {":bob!user MODE bob :+i\n", true, "MODE", "bob :+i\n", "bob", 0},
        {":ann!user JOIN :#beos\n", true, "JOIN", ":#beos\n", "ann", -1},
        {":srv1 433 * bob :Nickname is already in use\n", true, "433",
         "* bob :Nickname is already in use\n", "srv1", -1},
        {":bob!user NOTICE bob :text\n", true, "NOTICE", "bob :text\n", "bob", -1},
        {":srv1 372 bobby :- motd\n", true, "372", "bobby :- motd\n", "srv1", 372},
        {":srv1 332 bob #beos :two  blanks  kept\n", true, "332", "bob #beos :two  blanks  kept\n",
         "srv1", 332},
        {"PING :srv1\n", false, "", "", "", -1},
        {":srv1 QUIT\n", false, "", "", "", -1},
        {"ERROR :Closing link\n", false, "", "", "", -1},
        {":nospace\n", false, "", "", "", -1},
    };
    for (auto& row : table) {
        Parsed p = parse(*engine, row.line);
        EXPECT_EQ(p.posted, row.posted) << row.line;
        if (!row.posted)
            continue;
        EXPECT_EQ(p.command, row.command) << row.line;
        EXPECT_EQ(p.params, row.params) << row.line;
        EXPECT_EQ(p.from, row.from) << row.line;
        EXPECT_EQ(p.code, row.code) << row.line;
    }
}

TEST_F(Parse, BeforeTheFirstNickEveryNonChatLineHasACode)
{
    EXPECT_EQ(parse(*engine, ":srv 020 * :Please wait\n").code, 20);
    EXPECT_EQ(parse(*engine, ":ann!u JOIN :#x\n").code, 0);
    EXPECT_EQ(parse(*engine, ":ann!u PRIVMSG #x :hi\n").code, -1);
    // A command that is not a number, or a huge one, never misbehaves.
    EXPECT_EQ(parse(*engine, ":srv 99999999999999999999 x\n").code, int16(INT_MAX));
    // Read as atoi reads, whatever the length: digits up to the first other byte.
    const std::pair<const char*, int16> numbers[] = {
        {"999", 999}, {"000", 0},    {"9a9", 9}, {"12:", 12}, {"1/2", 1}, {"+12", 12},
        {"-01", -1},  {"0433", 433}, {"43", 43}, {"4", 4},    {"x43", 0}, {"70000", int16(70000)},
    };
    for (const auto& [command, code] : numbers)
        EXPECT_EQ(parse(*engine, (std::string(":srv ") + command + " x\n").c_str()).code, code)
            << command;
}

TEST_F(Parse, ANewNicknameOfAnotherLengthTakesEffectOnTheNextLine)
{
    // Before the welcome the nickname is the one last asked for.
    SetNick("bob");
    EXPECT_EQ(parse(*engine, ":s 020 bobby :hi\n").code, 20) << "the nickname starts the line";
    SetNick("bobby2");
    EXPECT_EQ(parse(*engine, ":s 020 bobby :hi\n").code, -1);
    EXPECT_EQ(parse(*engine, ":s 002 bobby2 :hi\n").code, 2);
    SetNick("b");
    EXPECT_EQ(parse(*engine, ":s 003 b\n").code, 3);
    EXPECT_EQ(parse(*engine, ":s 004 a\n").code, -1);
}

TEST_F(Parse, SplitsOnlyAtTheFirstBlanks)
{
    char line[] = ":pre fix  COMMAND  params";
    char *prefix, *command, *params;
    ASSERT_TRUE(engine->extract_msg(line, &prefix, &command, &params));
    EXPECT_STREQ(prefix, "pre");
    EXPECT_STREQ(command, "fix");
    EXPECT_STREQ(params, " COMMAND  params");
    char noColon[] = "pre fix params";
    EXPECT_FALSE(engine->extract_msg(noColon, &prefix, &command, &params));
}

TEST_F(Parse, CtcpRepliesAreReportedNotPosted)
{
    SetNick("me");
    // Without a connection nothing can be sent; reports still arrive.
    Parsed version = parse(*engine, ":bob!u NOTICE me :\x01VERSION some client\x01\n");
    EXPECT_FALSE(version.posted);
    time_t sent = time(nullptr) - 3;
    std::string ping = ":bob!u NOTICE me :\x01PING " + std::to_string(sent) + "\x01\n";
    EXPECT_FALSE(parse(*engine, ping.c_str()).posted);
    EXPECT_FALSE(parse(*engine, ":bob!u NOTICE me :\x01PING\x01\n").posted);
    ASSERT_TRUE(owner->WaitForInfo("PING bob ? (s)\n"));
    // A number no clock could have sent cannot be timed either.
    EXPECT_FALSE(parse(*engine, ":bob!u NOTICE me :\x01PING -9223372036854775808\x01\n").posted);
    EXPECT_FALSE(parse(*engine, ":bob!u NOTICE me :\x01PING -99999999999999999999\x01\n").posted);
    ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        return std::count_if(all.begin(), all.end(),
                             [](const BMessage& m) { return m.what == MSG_INF; }) >= 5;
    }));
    auto infos = owner->Infos();
    ASSERT_EQ(infos.size(), 5u);
    EXPECT_EQ(infos[3], "PING bob ? (s)\n");
    EXPECT_EQ(infos[4], "PING bob ? (s)\n");
    EXPECT_EQ(infos[0], "VERSION bob some client\n");
    // Three seconds, or four if the clock ticked over meanwhile.
    EXPECT_TRUE(infos[1] == "PING bob 3 (s)\n" || infos[1] == "PING bob 4 (s)\n") << infos[1];
}

TEST_F(Parse, UnansweredCtcpIsPostedCutAfterItsWord)
{
    SetNick("me");
    Parsed action = parse(*engine, ":ann!u PRIVMSG #beos :\x01"
                                   "ACTION waves\x01\n");
    ASSERT_TRUE(action.posted);
    EXPECT_EQ(action.params, "#beos :\x01"
                             "ACTION");
    EXPECT_EQ(action.from, "ann");
    // From a server (no "!"): not answered, posted untouched.
    Parsed server = parse(*engine, ":services PRIVMSG me :\x01VERSION\x01\n");
    ASSERT_TRUE(server.posted);
    EXPECT_EQ(server.params, "me :\x01VERSION\x01\n");
    EXPECT_EQ(server.from, "services");
    // No closing byte and no line end: not a CTCP body at all.
    Parsed open = parse(*engine, ":ann!u PRIVMSG me :\x01VERSION");
    ASSERT_TRUE(open.posted);
    EXPECT_EQ(open.params, "me :\x01VERSION");
    // A lower-case word is not in the table.
    EXPECT_TRUE(parse(*engine, ":ann!u PRIVMSG me :\x01version\x01\n").posted);
}

// As seen: a NOTICE made only of CTCP markers produced the status line
// " e ". A marker with no word after it is no CTCP: the line is posted as
// the plain text it is, and no status line comes of it.
TEST_F(Parse, AMarkerWithoutAWordIsPlainText)
{
    SetNick("e");
    for (const char* text : {"\x01\x01\x01", "\x01", "\x01 VERSION\x01", "\x01\x01VERSION\x01"}) {
        for (const char* command : {"NOTICE", "PRIVMSG"}) {
            std::string line = std::string(":bob!u ") + command + " e :" + text + "\n";
            Parsed parsed = parse(*engine, line.c_str());
            ASSERT_TRUE(parsed.posted) << line;
            EXPECT_EQ(parsed.params, std::string("e :") + text + "\n");
            EXPECT_EQ(parsed.from, "bob");
        }
    }
    // Only the query after it counts: posted, then a real one reported.
    EXPECT_FALSE(parse(*engine, ":bob!u NOTICE e :\x01VERSION x\x01\n").posted);
    ASSERT_TRUE(owner->WaitForInfo("VERSION bob x\n"));
    EXPECT_EQ(owner->Infos(), std::vector<std::string>{"VERSION bob x\n"});
}

TEST_F(Parse, EveryLineReachesTheDebugWindow)
{
    RecordingLooper* debug = new RecordingLooper;
    g_debug.Set(debug);
    engine->msg_from_srv("PING :srv1\n");
    engine->msg_from_srv(":srv1 QUIT\n");
    engine->msg_from_srv(":ann!u PRIVMSG #beos :hi\n");
    ASSERT_TRUE(debug->WaitFor([](const std::vector<BMessage>& all) { return all.size() >= 3; }));
    auto messages = debug->Messages();
    EXPECT_EQ(messages[0].what, uint32(MSG_DBG));
    EXPECT_STREQ(messages[0].GetString("debug"), "PING :srv1\n");
    EXPECT_STREQ(messages[1].GetString("debug"), ":srv1 QUIT\n");
    ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        for (const BMessage& m : all)
            if (m.what == MSG_IRC)
                return true;
        return false;
    }));
    EXPECT_EQ(owner->Lines().size(), 1u) << "only the PRIVMSG is posted";

    // Cleared from another thread while a network thread might post.
    g_debug.Clear(owner); // not the one set: no effect
    EXPECT_TRUE(g_debug.IsSet());
    g_debug.Clear(debug);
    EXPECT_FALSE(g_debug.IsSet());
    engine->msg_from_srv("PING :again\n");
    debug->Stop();
}

// The nickname follows the server once it has welcomed the client: a /NICK
// the server refuses must not change it (private messages to the real name
// would no longer be recognised), a NICK line of the client does.
TEST_F(Parse, AfterTheWelcomeTheNicknameIsWhatTheServerSays)
{
    SetNick("bob");
    EXPECT_FALSE(engine->is_registered());
    // The server cut the name it was asked for: 001 names the real one.
    Parsed welcome = parse(*engine, ":irc.test 001 bo :Welcome bo\n");
    EXPECT_TRUE(engine->is_registered());
    EXPECT_STREQ(engine->get_cur_nick(), "bo");
    EXPECT_EQ(welcome.code, 1) << "001 to the new name is addressed to the client";

    SetNick("carol");
    EXPECT_STREQ(engine->get_cur_nick(), "bo") << "asked for, not granted";
    parse(*engine, ":irc.test 433 bo carol :Nickname already in use\n");
    EXPECT_STREQ(engine->get_cur_nick(), "bo");

    // Someone else's change is not ours; ours is, by any letter case.
    parse(*engine, ":ann!a@h NICK :anne\n");
    EXPECT_STREQ(engine->get_cur_nick(), "bo");
    parse(*engine, ":BO!b@h NICK :dave\n");
    EXPECT_STREQ(engine->get_cur_nick(), "dave");
    // Servers that send the new name without ':'.
    parse(*engine, ":dave!b@h NICK erin\n");
    EXPECT_STREQ(engine->get_cur_nick(), "erin");
    EXPECT_EQ(parse(*engine, ":irc.test 251 erin :There are 2 users\n").code, 251);
}

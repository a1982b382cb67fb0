// Command texts into protocol lines, without a connection.

#include <thread>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace
{

class Commands : public testing::Test
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
    // What the command text translates to ("" when nothing is sent).
    std::string Translate(const std::string& text)
    {
        char out[IRC_OUT_SIZE] = {};
        if (!engine->prepare_ctcp(text.c_str(), out))
            engine->prepare_cmd(text.c_str(), out);
        return out;
    }

    RecordingLooper* owner;
    irc* engine;
};

} // namespace

TEST_F(Commands, TranslateByTheTable)
{
    const char* table[][2] = {
        {"/JOIN #beos", "JOIN #beos\n"},
        {"/join #beos", "join #beos\n"},
        {"/JOIN", ""},
        {"/j #beos", "JOIN #beos\n"},
        {"/LIST", "LIST\n"},
        {"/list >10", "LIST >10\n"},
        {"/LISTEN", "LISTEN\n"},
        {"/WHO #beos", "WHO #beos\n"},
        {"/whois bob", "whois bob\n"},
        {"/USERHOST bob", "USERHOST bob\n"},
        {"/MODE #beos +o bob", "MODE #beos +o bob\n"},
        {"/KICK #beos bob", "KICK #beos bob\n"},
        {"/INVITE bob #beos", "INVITE bob #beos\n"},
        {"/MSG bob hello there", "PRIVMSG bob :hello there\n"},
        {"/msg   bob  two blanks", "PRIVMSG bob : two blanks\n"},
        {"/MSG bob", ""},
        {"/PART #beos", ""},
        {"/PART #beos bye", "PART #beos :bye\n"},
        {"/TOPIC #beos New topic", "TOPIC #beos :New topic\n"},
        {"/QUIT bye", ""},
        {"/AWAY gone fishing", ""},
        {"/^QUIT :bye", "QUIT :bye\n"},
        {"hello", ""},
        {"/", ""},
        {"/ab", ""},
        {"/CTCP VERSION bob", "PRIVMSG bob :\x01VERSION\x01\n"},
        {"/ctcp ping bob", "PRIVMSG bob :\x01ping\x01\n"},
        {"/CTCP PING", ""},
        {"/CTCP", ""},
        {"/CTCP  ", ""},
    };
    for (auto& row : table)
        EXPECT_EQ(Translate(row[0]), row[1]) << row[0];
}

TEST_F(Commands, NickIsSentAsTypedAndRecorded)
{
    EXPECT_STREQ(engine->get_cur_nick(), "");
    EXPECT_EQ(Translate("/NICK bob"), "NICK bob\n");
    EXPECT_STREQ(engine->get_cur_nick(), "bob");
    EXPECT_EQ(Translate("/nick carol   "), "nick carol   \n");
    EXPECT_STREQ(engine->get_cur_nick(), "carol");
    EXPECT_EQ(Translate("/NICK bob ann"), "NICK bob ann\n");
    EXPECT_STREQ(engine->get_cur_nick(), "bob ann");
    // Only blanks: the line goes out, the nickname stays.
    EXPECT_EQ(Translate("/NICK    "), "NICK    \n");
    EXPECT_STREQ(engine->get_cur_nick(), "bob ann");
    // At most 31 bytes are kept, and never half a character.
    Translate("/NICK " + std::string(40, 'x'));
    EXPECT_EQ(std::string(engine->get_cur_nick()), std::string(31, 'x'));
    Translate("/NICK " + std::string(30, 'x') + "\xC3\xA9");
    EXPECT_EQ(std::string(engine->get_cur_nick()), std::string(30, 'x'));
}

// Each thread keeps a copy of the nickname it last read: the copy must
// follow changes made by any thread, and never stand for another engine's.
TEST_F(Commands, EveryThreadSeesTheNicknameOfThisEngineNow)
{
    Translate("/NICK bob");
    irc* other = new irc(owner);
    char out[IRC_OUT_SIZE] = {};
    other->prepare_cmd("/NICK ann", out);
    for (int i = 0; i < 3; i++) {
        EXPECT_STREQ(engine->get_cur_nick(), "bob");
        EXPECT_STREQ(other->get_cur_nick(), "ann");
    }
    std::thread([this] { Translate("/NICK carol"); }).join();
    EXPECT_STREQ(engine->get_cur_nick(), "carol") << "changed by another thread";
    std::string seen;
    std::thread([this, &seen] { seen = engine->get_cur_nick(); }).join();
    EXPECT_EQ(seen, "carol");
    // A new engine made where the last one was starts without a nickname.
    delete other;
    other = new irc(owner);
    EXPECT_STREQ(other->get_cur_nick(), "");
    delete other;
}

TEST_F(Commands, CtcpPingCarriesATimeStampAndTargetsAreBounded)
{
    time_t before = time(nullptr);
    std::string line = Translate("/CTCP PING bob");
    time_t after = time(nullptr);
    ASSERT_EQ(line.rfind("PRIVMSG bob :\x01PING ", 0), 0u) << line;
    long stamp = atol(line.c_str() + strlen("PRIVMSG bob :\x01PING "));
    EXPECT_GE(stamp, long(before));
    EXPECT_LE(stamp, long(after));
    EXPECT_EQ(line.substr(line.size() - 2), "\x01\n");

    EXPECT_EQ(Translate("/CTCP PING    ").rfind("PRIVMSG  :\x01PING ", 0), 0u)
        << "blanks only: an empty target";
    std::string longWord = Translate("/CTCP " + std::string(50, 'W') + " bob");
    EXPECT_EQ(longWord, "PRIVMSG bob :\x01" + std::string(31, 'W') + "\x01\n");
    std::string longTarget = Translate("/CTCP VERSION " + std::string(80, 't'));
    EXPECT_EQ(longTarget, "PRIVMSG " + std::string(63, 't') + " :\x01VERSION\x01\n");
}

TEST_F(Commands, OverlongTextsAreCutNotOverflowed)
{
    std::string huge = "/MSG bob " + std::string(5000, 'a');
    std::string line = Translate(huge);
    EXPECT_LT(line.size(), size_t(IRC_OUT_SIZE));
    EXPECT_EQ(line.rfind("PRIVMSG bob :aaa", 0), 0u);
    std::string raw = Translate("/^" + std::string(3000, 'r'));
    EXPECT_LT(raw.size(), size_t(IRC_OUT_SIZE));
}

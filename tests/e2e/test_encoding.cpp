// What the client shows and sends under each character set against a real
// server: a line that is valid UTF-8 shows as it is whatever the choice,
// other lines are read in the chosen set, and in UTF-8 their bad bytes
// show as U+FFFD; typed text leaves in the chosen set.

#include "SessionTest.h"

#include <AppPrefs.h>
#include <Prefs.h>
#include <UTF8.h>

namespace
{

using Encoding = SessionTest;

void choose(int16 encoding)
{
    Prefs* prefs = app_prefs();
    ASSERT_NE(prefs, nullptr);
    prefs->Lock();
    prefs->GetMsg()->RemoveName("encoding");
    prefs->GetMsg()->AddInt16("encoding", encoding);
    prefs->Unlock();
}

TEST_F(Encoding, EachChoiceShowsUtf8Latin1AndCp1251AsTheRulesSay)
{
    Peer& bob = AddPeer("bob");
    bob.Send("JOIN #enc");
    ASSERT_TRUE(bob.WaitFor("366 bob #enc"));
    Start();
    BWindow* window = OpenServer();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(client->WaitPrinted("127.0.0.1", "Welcome to the Pelmor test server", 0));
    client->Say(window, "/JOIN #enc");
    BWindow* chat = client->WindowStarting("#enc on");
    ASSERT_NE(chat, nullptr);
    ASSERT_TRUE(client->WaitUntil([&] { return Members(chat).size() == 2; }));

    const std::string fffd = "\xEF\xBF\xBD";
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"; // UTF-8
    const std::string privet1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
    struct Case {
        int16 encoding;
        const char* name;
        std::string latin1, cp1251;
    } cases[] = {
        {B_UTF8_CONVERSION, "utf8", "caf" + fffd, ""},
        {B_MS_WINDOWS_CONVERSION, "1252", "caf\xC3\xA9",
         "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2"},
        {B_MS_WINDOWS_1251_CONVERSION, "1251", "caf\xD0\xB9", privet},
    };
    for (int i = 0; i < 6; i++)
        cases[0].cp1251 += fffd;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choose(c.encoding);
        bob.Send(std::string("PRIVMSG #enc :") + c.name + " utf8 " + privet);
        bob.Send(std::string("PRIVMSG #enc :") + c.name + " latin1 caf\xE9");
        bob.Send(std::string("PRIVMSG #enc :") + c.name + " cp1251 " + privet1251);
        ASSERT_TRUE(client->WaitPrinted(
            "#enc", std::string("<bob> ") + c.name + " cp1251 " + c.cp1251 + "\n", 0));
        EXPECT_TRUE(
            client->Printed("#enc", std::string("<bob> ") + c.name + " utf8 " + privet + "\n", 0));
        EXPECT_TRUE(client->Printed(
            "#enc", std::string("<bob> ") + c.name + " latin1 " + c.latin1 + "\n", 0));
    }

    // Typed text leaves in the chosen set.
    choose(B_UTF8_CONVERSION);
    client->Say(chat, "utf8 " + privet);
    EXPECT_TRUE(bob.WaitFor("PRIVMSG #enc :utf8 " + privet));
    choose(B_MS_WINDOWS_1251_CONVERSION);
    client->Say(chat, "cp1251 " + privet);
    EXPECT_TRUE(bob.WaitFor("PRIVMSG #enc :cp1251 " + privet1251));
}

} // namespace

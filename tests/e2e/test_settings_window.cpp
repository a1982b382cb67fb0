// The settings window in the whole client, headless, against a real server:
// opened from the main window, its edits reach the server windows opened
// afterwards, the engines and the settings file.

#include "SessionTest.h"

#include <PopUpMenu.h>

#include "SettingsWindowSteps.h"
#include "newComboBox.h"

using namespace settings_steps;

namespace
{

class SettingsSession : public SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (HasFatalFailure())
            return;
        std::string address = "127.0.0.1:" + server.Port();
        client = std::make_unique<Client>(config, [&](BMessage* settings) {
            settings->RemoveName("nick");
            settings->RemoveName("nick2");
            settings->AddString("nick", "alice");
            settings->AddString("nick2", "alice2");
            settings->RemoveName("server");
            settings->AddString("server", "irc.example.net");
            settings->RemoveName("encoding");
            settings->AddInt16("encoding", 14);
            settings->RemoveName("default_server");
            settings->AddString("default_server", address.c_str());
        });
        driver = client->driver.get();
        main = driver->FindWindow("Pelmor");
        ASSERT_NE(main, nullptr);
    }

    std::vector<BWindow*> SettingsWindows()
    {
        std::vector<BWindow*> found;
        for (BWindow* w : driver->Windows())
            if (Client::TitleOf(w) == "Settings")
                found.push_back(w);
        return found;
    }
    // File > Settings, as a click on the item would invoke it.
    void InvokeFileSettings()
    {
        driver->Locked(main, [&] {
            auto* bar = dynamic_cast<BMenuBar*>(driver->FindView(main, "MenuBar"));
            ASSERT_NE(bar, nullptr);
            BMenuItem* item = bar->SubmenuAt(0)->ItemAt(0);
            ASSERT_STREQ(item->Label(), "Settings");
            item->Invoke();
        });
        ASSERT_TRUE(driver->WaitIdle());
    }
    BWindow* Start()
    {
        size_t before = driver->Windows().size();
        driver->Click(driver->FindView(main, "Start"));
        if (!client->WaitUntil([&] { return driver->Windows().size() > before; }))
            return nullptr;
        for (BWindow* w : driver->Windows())
            if (Client::TitleOf(w) == "Server" &&
                std::find(servers.begin(), servers.end(), w) == servers.end()) {
                servers.push_back(w);
                EXPECT_TRUE(driver->WaitIdle());
                return w;
            }
        return nullptr;
    }
    std::vector<std::string> ComboItems(BWindow* window)
    {
        auto* combo = dynamic_cast<newComboBox*>(driver->FindView(window, "server_combo"));
        return driver->Locked(window, [&] {
            std::vector<std::string> items;
            for (int32 i = 0; combo != nullptr && i < combo->Menu()->CountItems(); i++)
                items.push_back(combo->Menu()->ItemAt(i)->Label());
            return items;
        });
    }
    TestDriver* driver = nullptr;
    std::vector<BWindow*> servers;
};

// The button opens one settings window; while it is open the main window
// takes no clicks, and a second request shows the open one instead of
// opening another. Once closed, a request opens a new one.
TEST_F(SettingsSession, OneSettingsWindowAtATime)
{
    driver->Click(driver->FindView(main, "Settings"));
    ASSERT_TRUE(client->WaitUntil([&] { return SettingsWindows().size() == 1; }));
    BWindow* settings = SettingsWindows()[0];
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(driver->Locked(settings, [&] { return settings->IsActive(); }));

    // Modal: "Start" does nothing meanwhile.
    driver->Click(driver->FindView(main, "Start"));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(driver->Windows().size(), 2u);

    // The main window in front (as a window manager may put it), then
    // File > Settings again.
    driver->Locked(main, [&] { main->Activate(); });
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_FALSE(driver->Locked(settings, [&] { return settings->IsActive(); }));
    ASSERT_NO_FATAL_FAILURE(InvokeFileSettings());
    EXPECT_EQ(SettingsWindows(), std::vector<BWindow*>{settings});
    EXPECT_TRUE(driver->Locked(settings, [&] { return settings->IsActive(); }));

    driver->Close(settings);
    ASSERT_TRUE(client->WaitUntil([&] { return SettingsWindows().empty(); }));
    ASSERT_NO_FATAL_FAILURE(InvokeFileSettings());
    ASSERT_TRUE(client->WaitUntil([&] { return SettingsWindows().size() == 1; }));
}

// New nicknames, a server and the 1251 encoding: a server window opened
// afterwards lists the server and registers with the new nickname; one
// that was open before keeps the nicknames it copied when it opened. The
// engines read Cyrillic in 1251 from the next line on, and the settings
// file has the edits after quit.
TEST_F(SettingsSession, EditsReachLaterServerWindowsTheEnginesAndTheFile)
{
    BWindow* before = Start();
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(ComboItems(before), std::vector<std::string>{"irc.example.net"});

    driver->Click(driver->FindView(main, "Settings"));
    ASSERT_TRUE(client->WaitUntil([&] { return SettingsWindows().size() == 1; }));
    BWindow* settings = SettingsWindows()[0];
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_NO_FATAL_FAILURE(retype(*driver, settings, "nick", "carol"));
    ASSERT_NO_FATAL_FAILURE(retype(*driver, settings, "nick2", "carol2"));
    ASSERT_NO_FATAL_FAILURE(show_tab(*driver, settings, 1));
    std::string address = "127.0.0.1:" + server.Port();
    ASSERT_NO_FATAL_FAILURE(retype(*driver, settings, "Server", address));
    driver->Click(driver->FindView(settings, "Add"));
    ASSERT_NO_FATAL_FAILURE(
        choose_encoding(*driver, settings, "Cyrillic / MS-Windows Codepage 1251"));
    driver->Close(settings);
    ASSERT_TRUE(client->WaitUntil([&] { return SettingsWindows().empty(); }));

    BWindow* after = Start();
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(ComboItems(after), (std::vector<std::string>{"irc.example.net", address}));
    driver->Click(driver->FindView(after, "Connect"));
    ASSERT_TRUE(client->WaitSent("NICK carol"));
    ASSERT_TRUE(client->WaitPrinted(address, "End of MOTD", 0));

    driver->Click(driver->FindView(before, "Connect"));
    ASSERT_TRUE(client->WaitSent("NICK alice")) << "the window open before keeps its copy";
    ASSERT_TRUE(client->WaitUntil([&] {
        int shown = 0;
        for (const Printed& piece : PrintRecord::Get().Pieces())
            shown += piece.text.find("End of MOTD") != std::string::npos;
        return shown == 2;
    }));

    // "Привет" in code page 1251.
    Peer& bob = AddPeer("bob");
    bob.Send("PRIVMSG carol :\xcf\xf0\xe8\xe2\xe5\xf2");
    ASSERT_TRUE(client->WaitPrinted("Private with <bob>", "Привет"));

    driver->Locked(main, [&] {
        auto* bar = dynamic_cast<BMenuBar*>(driver->FindView(main, "MenuBar"));
        BMenu* file = bar->SubmenuAt(0);
        file->ItemAt(file->CountItems() - 1)->Invoke();
    });
    ASSERT_TRUE(client->WaitUntil([&] { return driver->Windows().empty(); }));
    client.reset();

    Prefs stored("Pelmor settings", "Pelmor");
    stored.Lock();
    BMessage* m = stored.GetMsg();
    const char* text = nullptr;
    EXPECT_EQ(m->FindString("nick", &text), B_OK);
    EXPECT_STREQ(text, "carol");
    EXPECT_EQ(m->FindString("nick2", &text), B_OK);
    EXPECT_STREQ(text, "carol2");
    EXPECT_EQ(m->FindString("server", 1, &text), B_OK);
    EXPECT_EQ(std::string(text != nullptr ? text : ""), address);
    int16 encoding = 0;
    EXPECT_EQ(m->FindInt16("encoding", &encoding), B_OK);
    EXPECT_EQ(encoding, 17);
    stored.Unlock();
}

} // namespace

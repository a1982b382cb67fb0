// The settings window on its own, headless, over a store in memory: what
// its pages read, what they write back and when, and what they refuse.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <AppPrefs.h>
#include <Application.h>
#include <Box.h>
#include <ListItem.h>
#include <ListView.h>
#include <MenuField.h>
#include <Prefs.h>
#include <TestDriver.h>
#include <TextControl.h>
#include <TextView.h>
#include <Window.h>

#include "NoteView.h"
#include "ServerLogin.h"
#include "ServerText.h"
#include "ServersViewTab.h"
#include "SettingsCheck.h"
#include "SettingsWindow.h"
#include "SettingsWindowSteps.h"
#include "TestDir.h"

namespace
{

class SettingsWindowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        config.UseAsConfigHome();
        store = std::make_unique<Prefs>("Pelmor settings", "Pelmor");
        Store([](BMessage* m) {
            m->MakeEmpty();
            m->AddString("nick", "alice");
            m->AddString("nick2", "alice2");
            m->AddString("name", "Alice A.");
            m->AddString("userinfo", "here");
            m->AddString("server", "a");
            m->AddString("server", "b");
            m->AddString("server", "c");
        });
        set_app_prefs(store.get());
        driver = std::make_unique<TestDriver>(
            [] { return new BApplication("application/x-vnd.pelmor-settings-test"); });
    }
    void TearDown() override
    {
        driver.reset();
        set_app_prefs(nullptr);
    }

    template <class Work>
    void Store(Work work)
    {
        store->Lock();
        work(store->GetMsg());
        store->Unlock();
    }
    std::vector<std::string> Strings(const char* key)
    {
        std::vector<std::string> values;
        Store([&](BMessage* m) {
            const char* text;
            for (int32 i = 0; m->FindString(key, i, &text) == B_OK; i++)
                values.push_back(text);
        });
        return values;
    }
    std::string String(const char* key)
    {
        std::vector<std::string> values = Strings(key);
        return values.empty() ? "<missing>" : values[0];
    }
    int Encoding()
    {
        int16 value = -1;
        Store([&](BMessage* m) {
            if (m->FindInt16("encoding", &value) != B_OK)
                value = -1;
        });
        return value;
    }

    void Open()
    {
        new SettingsWindow();
        window = driver->FindWindow("Settings");
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(driver->WaitIdle());
    }
    void CloseWindow()
    {
        driver->Close(window);
        ASSERT_TRUE(driver->WaitIdle());
        for (BWindow* w : driver->Windows())
            ASSERT_NE(w, window) << "the window did not close";
        window = nullptr;
    }
    BView* View(const char* name) { return driver->FindView(window, name); }
    void ShowTab(int32 index) { settings_steps::show_tab(*driver, window, index); }
    void Retype(const char* field, const std::string& text)
    {
        settings_steps::retype(*driver, window, field, text);
    }
    std::string Note()
    {
        auto* note = dynamic_cast<NoteView*>(View("note"));
        return note == nullptr ? "<none>"
                               : driver->Locked(window, [&] { return std::string(note->Text()); });
    }
    BListView* List() { return dynamic_cast<BListView*>(View("list")); }
    std::vector<std::string> ListEntries()
    {
        BListView* list = List();
        return driver->Locked(window, [&] {
            std::vector<std::string> entries;
            for (int32 i = 0; list != nullptr && i < list->CountItems(); i++)
                entries.push_back(static_cast<BStringItem*>(list->ItemAt(i))->Text());
            return entries;
        });
    }
    int32 Selection()
    {
        BListView* list = List();
        return driver->Locked(window, [&] { return list->CurrentSelection(); });
    }
    void ClickEntry(int32 index)
    {
        BListView* list = List();
        BRect row = driver->Locked(window, [&] { return list->ItemFrame(index); });
        driver->Click(list, settings_steps::centre(row));
        ASSERT_TRUE(driver->WaitIdle());
    }
    void Press(const char* button)
    {
        BView* view = View(button);
        ASSERT_NE(view, nullptr) << button;
        driver->Click(view);
        ASSERT_TRUE(driver->WaitIdle());
    }
    std::string EncodingLabel()
    {
        auto* field = dynamic_cast<BMenuField*>(View("Encoding"));
        return driver->Locked(window, [&] {
            const char* label = field->MenuItem()->Label();
            return std::string(label != nullptr ? label : "");
        });
    }
    void ChooseEncoding(const char* label)
    {
        settings_steps::choose_encoding(*driver, window, label);
    }

    TestDir config;
    std::unique_ptr<Prefs> store;
    std::unique_ptr<TestDriver> driver;
    BWindow* window = nullptr;
};

// The window and its pages where they belong, with the names, labels and
// colours the rest of the program and the user expect.
TEST_F(SettingsWindowTest, LayoutNamesAndLabels)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    driver->Locked(window, [&] {
        EXPECT_EQ(window->Feel(), B_MODAL_APP_WINDOW_FEEL);
        BRect frame = window->Frame();
        EXPECT_EQ(frame.Width(), 340);
        EXPECT_EQ(frame.Height(), 210);
        // Centred on the 1024 x 768 headless screen.
        EXPECT_EQ(frame.left, std::floor((1024 - 340) / 2.0f));
        EXPECT_EQ(frame.top, std::floor((768 - 210) / 2.0f));
    });
    auto* tabs = dynamic_cast<BTabView*>(View("tab_view"));
    ASSERT_NE(tabs, nullptr);
    driver->Locked(window, [&] {
        ASSERT_EQ(tabs->CountTabs(), 2);
        EXPECT_STREQ(tabs->TabAt(0)->Label(), "User");
        EXPECT_STREQ(tabs->TabAt(1)->Label(), "Servers");
        EXPECT_EQ(tabs->Selection(), 0);
        // Only the shown page is in the window.
        EXPECT_NE(tabs->ViewForTab(0)->Window(), nullptr);
        EXPECT_EQ(tabs->ViewForTab(1)->Window(), nullptr);
    });
    driver->Locked(window, [&] {
        BRect nick = View("nick")->Frame();
        BRect nick2 = View("nick2")->Frame();
        EXPECT_EQ(nick.left, 10);
        EXPECT_NEAR(nick.right, 213.67, 0.5);
        EXPECT_NEAR(nick2.left, 215.67, 0.5);
        EXPECT_EQ(nick2.right, 312);
        EXPECT_LT(View("name")->Frame().top, View("userinfo")->Frame().top);
        EXPECT_STREQ(static_cast<BBox*>(View("info"))->Label(), "Default user info");
        EXPECT_STREQ(static_cast<BBox*>(View("modes"))->Label(), "Default user modes");
        EXPECT_NE(View("invisible"), nullptr);
        rgb_color c = View("User")->ViewColor();
        EXPECT_EQ(c.red + c.green + c.blue, 3 * 220);
    });
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    driver->Locked(window, [&] {
        // The list sits in its scroll view, inside the 2-pixel border.
        BRect list = View("list")->Frame();
        list.OffsetBy(View("scroll_list")->Frame().LeftTop());
        EXPECT_EQ(list.left, 5);
        EXPECT_NEAR(list.right, 127.8, 0.5);
        BRect server = View("Server")->Frame();
        EXPECT_NEAR(server.left, 147.8, 0.5);
        EXPECT_EQ(server.right, 327);
        BRect add = View("Add")->Frame();
        BRect remove = View("Remove")->Frame();
        EXPECT_EQ(add.top, server.bottom + 5);
        EXPECT_EQ(remove.left, add.right + 2);
        EXPECT_NEAR(remove.right, server.right, 1);
        BRect encoding = View("Encoding")->Frame();
        EXPECT_EQ(encoding.left, add.left);
        EXPECT_EQ(encoding.top, add.bottom + 15);
        auto* menu = static_cast<BMenuField*>(View("Encoding"))->Menu();
        ASSERT_EQ(menu->CountItems(), ENCODING_COUNT);
        for (int32 i = 0; i < ENCODING_COUNT; i++)
            EXPECT_STREQ(menu->ItemAt(i)->Label(), sc_en[i].name);
        EXPECT_FALSE(menu->AreTriggersEnabled());
        EXPECT_TRUE(menu->IsLabelFromMarked());
    });
    if (const char* dir = getenv("PELMOR_SNAPSHOTS")) {
        driver->SavePNG(window, std::string(dir) + "/settings-servers.png");
        ASSERT_NO_FATAL_FAILURE(ShowTab(0));
        driver->SavePNG(window, std::string(dir) + "/settings.png");
    }
}

// Open and close without changes: the user page writes its texts back (a
// change made to the store meanwhile is overwritten), the never shown
// servers page writes nothing, yet building it added the missing encoding.
// A missing key stays missing.
TEST_F(SettingsWindowTest, ClosingWritesBackOnlyThePagesShown)
{
    Store([](BMessage* m) { m->RemoveName("userinfo"); });
    ASSERT_EQ(Encoding(), -1);
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Encoding(), 14) << "added when the servers page was built";
    EXPECT_EQ(
        driver->Locked(
            window, [&] { return std::string(static_cast<BTextControl*>(View("nick"))->Text()); }),
        "alice");
    Store([](BMessage* m) {
        m->ReplaceString("name", "changed elsewhere");
        m->RemoveName("server");
        m->AddString("server", "elsewhere");
        m->ReplaceInt16("encoding", 17);
    });
    ASSERT_NO_FATAL_FAILURE(CloseWindow());
    EXPECT_EQ(String("nick"), "alice");
    EXPECT_EQ(String("nick2"), "alice2");
    EXPECT_EQ(String("name"), "Alice A.");
    EXPECT_EQ(String("userinfo"), "<missing>");
    EXPECT_EQ(Strings("server"), std::vector<std::string>{"elsewhere"});
    EXPECT_EQ(Encoding(), 17);
}

// Showing the servers page writes it back when it leaves: on the change of
// tab and again at closing, the servers in list order, the encoding marked.
TEST_F(SettingsWindowTest, TheServersPageWritesBackWhenItLeaves)
{
    Store([](BMessage* m) { m->AddInt16("encoding", 1); });
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    EXPECT_EQ(ListEntries(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(EncodingLabel(), "Central European / ISO 8859-2");
    Store([](BMessage* m) {
        m->RemoveName("server");
        m->ReplaceInt16("encoding", 17);
    });
    ASSERT_NO_FATAL_FAILURE(ShowTab(0));
    EXPECT_EQ(Strings("server"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Encoding(), 1);

    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    ASSERT_NO_FATAL_FAILURE(ClickEntry(0));
    ASSERT_NO_FATAL_FAILURE(Press("Remove"));
    Store([](BMessage* m) { m->RemoveName("server"); });
    ASSERT_NO_FATAL_FAILURE(CloseWindow());
    EXPECT_EQ(Strings("server"), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(Encoding(), 1);
}

// 14 shows the 1252 name; choosing KOI8-R from the menu stores 16.
TEST_F(SettingsWindowTest, ChoosingAnEncodingStoresItsConstant)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    EXPECT_EQ(EncodingLabel(), "Western / MS-Windows Codepage 1252");
    ASSERT_NO_FATAL_FAILURE(ChooseEncoding("Cyrillic /KOI8-R"));
    EXPECT_EQ(EncodingLabel(), "Cyrillic /KOI8-R");
    EXPECT_EQ(Encoding(), 14) << "not before the page leaves";
    ASSERT_NO_FATAL_FAILURE(CloseWindow());
    EXPECT_EQ(Encoding(), 16);
}

// A stored encoding the menu does not offer marks nothing, shows the
// menu's name, and stays as it was unless the user picks one.
TEST_F(SettingsWindowTest, AnUnknownEncodingStaysUnlessOneIsChosen)
{
    Store([](BMessage* m) { m->AddInt16("encoding", 2); });
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    EXPECT_EQ(EncodingLabel(), "en");
    ASSERT_NO_FATAL_FAILURE(ShowTab(0));
    EXPECT_EQ(Encoding(), 2);
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    ASSERT_NO_FATAL_FAILURE(ChooseEncoding("Cyrillic / MS-Windows Codepage 1251"));
    ASSERT_NO_FATAL_FAILURE(CloseWindow());
    EXPECT_EQ(Encoding(), 17);
}

// Remove takes the selected entry and selects the next one; after the last
// entry the one before it. Nothing selected removes nothing and selects the
// first. Selecting an entry puts its text in the field.
TEST_F(SettingsWindowTest, RemoveAndTheSelection)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    auto* text = dynamic_cast<BTextControl*>(View("Server"));
    auto fieldText = [&] {
        return driver->Locked(window, [&] { return std::string(text->Text()); });
    };

    ASSERT_NO_FATAL_FAILURE(ClickEntry(1));
    EXPECT_EQ(fieldText(), "b");
    ASSERT_NO_FATAL_FAILURE(Press("Remove"));
    EXPECT_EQ(ListEntries(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Selection(), -1) << "index 2 is past the two entries left";
    EXPECT_EQ(fieldText(), "");

    ASSERT_NO_FATAL_FAILURE(Press("Remove"));
    EXPECT_EQ(ListEntries(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Selection(), 0);
    EXPECT_EQ(fieldText(), "a");

    ASSERT_NO_FATAL_FAILURE(ClickEntry(1));
    ASSERT_NO_FATAL_FAILURE(Press("Remove"));
    EXPECT_EQ(ListEntries(), std::vector<std::string>{"a"});
    EXPECT_EQ(Selection(), 0) << "the last one removed: the one before";

    ASSERT_NO_FATAL_FAILURE(Press("Remove"));
    EXPECT_TRUE(ListEntries().empty());
    EXPECT_EQ(Selection(), -1);
    ASSERT_NO_FATAL_FAILURE(Press("Remove"));
    EXPECT_TRUE(ListEntries().empty());
    ASSERT_NO_FATAL_FAILURE(CloseWindow());
    EXPECT_TRUE(Strings("server").empty());
}

// Add takes host or host:port (blanks around it dropped) and selects it;
// anything a server window could not connect to is not added, and the
// note says why until an entry is added.
TEST_F(SettingsWindowTest, AddTakesOnlyServers)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    EXPECT_EQ(Note(), "");

    ASSERT_NO_FATAL_FAILURE(Press("Add"));
    EXPECT_EQ(ListEntries().size(), 3u) << "empty text";
    EXPECT_NE(Note().find("Not added"), std::string::npos) << Note();

    for (const char* bad : {"   ", "irc.example.net:0", "irc.example.net:65536", "irc.example.net:",
                            ":6667", "irc.example.net:66x", "irc example.net"}) {
        ASSERT_NO_FATAL_FAILURE(Retype("Server", bad));
        ASSERT_NO_FATAL_FAILURE(Press("Add"));
        EXPECT_EQ(ListEntries().size(), 3u) << bad;
        EXPECT_NE(Note().find("Not added"), std::string::npos) << bad;
    }
    if (const char* dir = getenv("PELMOR_SNAPSHOTS"))
        driver->SavePNG(window, std::string(dir) + "/settings-not-added.png");
    EXPECT_NE(Note().find("blank"), std::string::npos) << Note();

    ASSERT_NO_FATAL_FAILURE(Retype("Server", "irc.example.net:65535"));
    ASSERT_NO_FATAL_FAILURE(Press("Add"));
    EXPECT_EQ(Note(), "");
    ASSERT_NO_FATAL_FAILURE(Retype("Server", "  localhost "));
    ASSERT_NO_FATAL_FAILURE(Press("Add"));
    EXPECT_EQ(ListEntries(),
              (std::vector<std::string>{"a", "b", "c", "irc.example.net:65535", "localhost"}));
    EXPECT_EQ(Selection(), 4);
    ASSERT_NO_FATAL_FAILURE(CloseWindow());
    EXPECT_EQ(Strings("server"),
              (std::vector<std::string>{"a", "b", "c", "irc.example.net:65535", "localhost"}));
}

// A nickname left empty, of blanks only or with a blank inside is not
// stored: the old one stays, and the note under the fields says so while
// the field holds it. The other fields are stored as typed.
TEST_F(SettingsWindowTest, ANicknameThatCannotBeSentIsNotStored)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Note(), "");
    ASSERT_NO_FATAL_FAILURE(Retype("nick", ""));
    EXPECT_NE(Note().find("First nickname is empty"), std::string::npos) << Note();
    ASSERT_NO_FATAL_FAILURE(Retype("nick2", "   "));
    EXPECT_NE(Note().find("Second nickname is empty"), std::string::npos) << Note();
    if (const char* dir = getenv("PELMOR_SNAPSHOTS"))
        driver->SavePNG(window, std::string(dir) + "/settings-refused.png");
    ASSERT_NO_FATAL_FAILURE(Retype("name", "Alice B."));
    // A change of tab writes the page back: the nicknames stay.
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    EXPECT_EQ(String("nick"), "alice");
    EXPECT_EQ(String("nick2"), "alice2");
    EXPECT_EQ(String("name"), "Alice B.");

    ASSERT_NO_FATAL_FAILURE(ShowTab(0));
    EXPECT_NE(Note().find("First nickname"), std::string::npos) << "still said on return";
    ASSERT_NO_FATAL_FAILURE(Retype("nick", "al ice"));
    EXPECT_NE(Note().find("First nickname holds a blank"), std::string::npos) << Note();
    ASSERT_NO_FATAL_FAILURE(Retype("nick2", " bob "));
    EXPECT_EQ(Note().find("Second"), std::string::npos) << Note();
    ASSERT_NO_FATAL_FAILURE(CloseWindow());
    EXPECT_EQ(String("nick"), "alice");
    EXPECT_EQ(String("nick2"), "bob") << "stored without the blanks around it";
}

// A stored nickname the window would refuse is shown with the note at once.
TEST_F(SettingsWindowTest, AStoredBadNicknameIsPointedOutAtOnce)
{
    Store([](BMessage* m) { m->RemoveName("nick2"); });
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_NE(Note().find("Second nickname is empty"), std::string::npos) << Note();
    ASSERT_NO_FATAL_FAILURE(CloseWindow());
    EXPECT_EQ(String("nick2"), "<missing>");
}

TEST(SettingsCheck, Nicknames)
{
    EXPECT_EQ(nick_problem("alice"), nullptr);
    EXPECT_EQ(nick_problem(" alice\t"), nullptr);
    EXPECT_EQ(trim_blanks(" alice\t"), "alice");
    EXPECT_STREQ(nick_problem(nullptr), "is empty");
    EXPECT_STREQ(nick_problem(""), "is empty");
    EXPECT_STREQ(nick_problem(" \t "), "is empty");
    EXPECT_STREQ(nick_problem("al ice"), "holds a blank");
    EXPECT_STREQ(nick_problem("al\x01ice"), "holds a blank");
}

TEST(SettingsCheck, Servers)
{
    for (const char* good :
         {"irc.libera.chat", "irc.libera.chat:6667", "127.0.0.1:1", "localhost:65535",
          " irc.oftc.net ", "[::1]", "[2001:db8::1]:6697", "host:+80", "[::1]:+6697",
          "ircs://irc.libera.chat", "IRCS://irc.oftc.net:7000/"})
        EXPECT_EQ(server_problem(good), nullptr) << good;
    for (const char* bad : {"",
                            "  ",
                            ":6667",
                            "host:",
                            "host:0",
                            "host:65536",
                            "host:99999999999",
                            "host:-1",
                            "host:++80",
                            "host:+",
                            "host:+0",
                            "ircs://",
                            "ircs://:6697",
                            "ircs://host:",
                            "ircs://[::1",
                            "host:80:81",
                            "host:8 0",
                            "a b",
                            "[::1",
                            "[]:6667",
                            "[::1]6667",
                            "[::1]:",
                            "[::1]:0"})
        EXPECT_NE(server_problem(bad), nullptr) << bad;
    EXPECT_NE(server_problem(std::string(256, 'h').c_str()), nullptr);
    EXPECT_EQ(server_problem(std::string(255, 'h').c_str()), nullptr);
}

TEST(ServerText, HostAndPortWithIpv6InBrackets)
{
    struct Case {
        const char* text;
        bool ok;
        const char *host, *port;
        bool tls;
    } cases[] = {
        {"irc.example.org", true, "irc.example.org", "6667", false},
        {"irc.example.org:7000", true, "irc.example.org", "7000", false},
        {"[2001:db8::1]:6697", true, "2001:db8::1", "6697", false},
        {"[::1]", true, "::1", "6667", false},
        {"[::1", false, "", "", false},
        {"[::1]x", false, "", "", false},
        {"[]", false, "", "", false},
        {":6667", false, "", "", false},
        // TLS: "+" before the port, or the ircs scheme (6697 by default).
        {"irc.example.org:+6697", true, "irc.example.org", "6697", true},
        {"[::1]:+6697", true, "::1", "6697", true},
        {"ircs://irc.example.org", true, "irc.example.org", "6697", true},
        {"ircs://irc.example.org:7000", true, "irc.example.org", "7000", true},
        {"ircs://irc.example.org/", true, "irc.example.org", "6697", true},
        {"ircs://[2001:db8::1]:7000", true, "2001:db8::1", "7000", true},
        {"ircs://[2001:db8::1]", true, "2001:db8::1", "6697", true},
        {"ircs://", false, "", "", true},
        {"ircs://[::1]x", false, "", "", true},
        // Only the scheme is TLS, not a host that happens to look like it.
        {"ircs.example.org", true, "ircs.example.org", "6667", false},
    };
    for (const Case& c : cases) {
        std::string host, port;
        bool tls = !c.tls;
        EXPECT_EQ(split_server_text(c.text, &host, &port, &tls), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
            EXPECT_EQ(tls, c.tls) << c.text;
        }
    }
}

} // namespace

// The login fields follow the selected server and are stored per host.
TEST_F(SettingsWindowTest, TheLoginBelongsToTheSelectedServersHost)
{
    Store([](BMessage* m) {
        m->RemoveName("server");
        m->AddString("server", "irc.one.example:6667");
        m->AddString("server", "irc.two.example");
        store_server_login(m, "irc.two.example", ServerLogin{"bob", "hunter2"});
    });
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(ShowTab(1));
    auto* account = dynamic_cast<BTextControl*>(View("Account"));
    auto* password = dynamic_cast<BTextControl*>(View("Password"));
    ASSERT_NE(account, nullptr);
    ASSERT_NE(password, nullptr);
    auto shown = [&] {
        return driver->Locked(window, [&] {
            return std::string(account->Text()) + "/" + password->Text() +
                   (account->IsEnabled() ? "" : " (off)");
        });
    };
    EXPECT_EQ(shown(), "/ (off)") << "nothing selected";
    EXPECT_TRUE(driver->Locked(window, [&] { return password->TextView()->IsTypingHidden(); }));

    ASSERT_NO_FATAL_FAILURE(ClickEntry(1));
    EXPECT_EQ(shown(), "bob/hunter2");
    ASSERT_NO_FATAL_FAILURE(ClickEntry(0));
    EXPECT_EQ(shown(), "/");
    ASSERT_NO_FATAL_FAILURE(Retype("Account", "alice"));
    ASSERT_NO_FATAL_FAILURE(Retype("Password", "s3cret word"));
    if (const char* dir = getenv("PELMOR_SNAPSHOTS"))
        driver->SavePNG(window, std::string(dir) + "/settings-login.png");
    ASSERT_NO_FATAL_FAILURE(ClickEntry(1));
    EXPECT_EQ(shown(), "bob/hunter2");
    ASSERT_NO_FATAL_FAILURE(Retype("Account", ""));
    ASSERT_NO_FATAL_FAILURE(ClickEntry(0));
    EXPECT_EQ(shown(), "alice/s3cret word");
    ASSERT_NO_FATAL_FAILURE(CloseWindow());

    store->Lock();
    ServerLogin one = find_server_login(*store->GetMsg(), "irc.one.example");
    ServerLogin two = find_server_login(*store->GetMsg(), "irc.two.example");
    store->Unlock();
    EXPECT_EQ(one.account, "alice");
    EXPECT_EQ(one.password, "s3cret word");
    EXPECT_EQ(two.account, "") << "an emptied account removes the login";
}

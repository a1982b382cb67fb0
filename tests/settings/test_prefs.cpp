#include <Prefs.h>

#include <AppPrefs.h>
#include <ServerLogin.h>
#include <SettingsAlert.h>

#include <Entry.h>
#include <File.h>
#include <Message.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include <UTF8.h>

#include "TestDir.h"

namespace
{

const char* kFile = "Pelmor settings";

std::string flatten(const BMessage& m)
{
    std::string out(size_t(m.FlattenedSize()), '\0');
    m.Flatten(out.data(), ssize_t(out.size()));
    return out;
}

struct Stderr {
    Stderr() { testing::internal::CaptureStderr(); }
    std::string Text() { return testing::internal::GetCapturedStderr(); }
};

} // namespace

TEST(Prefs, DefaultsHoldExactlyTheKeysInOrder)
{
    TestDir dir;
    dir.UseAsConfigHome();
    Prefs prefs(kFile, "Pelmor");
    BMessage* msg = prefs.GetMsg();
    const char* expected[] = {"nick", "nick2", "name",   "userinfo", "server", "txt",
                              "bkg",  "usr",   "cannel", "hilite",   "err",    "encoding"};
    ASSERT_EQ(msg->CountNames(B_ANY_TYPE), 12);
    for (int32 i = 0; i < 12; i++) {
        const char* name;
        type_code type;
        int32 count;
        ASSERT_EQ(msg->GetInfo(B_ANY_TYPE, i, &name, &type, &count), B_OK);
        EXPECT_STREQ(name, expected[i]);
        EXPECT_EQ(count, strcmp(name, "server") == 0 ? 4 : 1) << name;
        EXPECT_EQ(type, type_code(i < 5    ? B_STRING_TYPE
                                  : i < 11 ? B_ANY_TYPE
                                           : B_INT16_TYPE))
            << name;
    }
    int16 encoding = 0;
    EXPECT_EQ(msg->FindInt16("encoding", &encoding), B_OK);
    EXPECT_EQ(encoding, int16(B_UTF8_CONVERSION)) << "a new file speaks UTF-8";
    EXPECT_STREQ(msg->GetString("nick"), "be_user");
    EXPECT_STREQ(msg->GetString("nick2"), "be_user_2");
    // TLS entries first, then the same networks in the clear.
    std::vector<std::string> servers;
    const char* server;
    for (int32 i = 0; msg->FindString("server", i, &server) == B_OK; i++)
        servers.push_back(server);
    EXPECT_EQ(servers, (std::vector<std::string>{"ircs://irc.libera.chat", "ircs://irc.oftc.net",
                                                 "irc.libera.chat:6667", "irc.oftc.net"}));
    // The colours are stored as they stand in the table.
    for (const irc_color_item& item : irc_color) {
        const void* data;
        ssize_t size;
        ASSERT_EQ(msg->FindData(item.name, B_ANY_TYPE, &data, &size), B_OK);
        ASSERT_EQ(size, 4);
        EXPECT_EQ(memcmp(data, &item.color, 4), 0) << item.name;
    }
    EXPECT_EQ(irc_color[1].color, (rgb_color{224, 224, 224, 224}));
    EXPECT_STREQ(irc_color[3].name, "cannel");
}

TEST(Prefs, FirstStartCreatesAnEmptyFileAndWritesItAtExit)
{
    TestDir dir;
    dir.UseAsConfigHome();
    std::string path = dir / "Pelmor/Pelmor settings";
    std::string written;
    {
        Prefs prefs(kFile, "Pelmor");
        ASSERT_TRUE(BEntry(path.c_str()).IsFile());
        EXPECT_EQ(TestDir::ReadFile(path), "") << "nothing is written before exit";
        prefs.Lock();
        prefs.GetMsg()->ReplaceString("nick", "alice");
        prefs.GetMsg()->ReplaceInt16("encoding", 17);
        written = flatten(*prefs.GetMsg());
        prefs.Unlock();
    }
    EXPECT_EQ(TestDir::ReadFile(path), written);

    // The next start reads it back; the defaults are not merged in.
    Prefs again(kFile, "Pelmor");
    EXPECT_STREQ(again.GetMsg()->GetString("nick"), "alice");
    int16 encoding = 0;
    EXPECT_EQ(again.GetMsg()->FindInt16("encoding", &encoding), B_OK);
    EXPECT_EQ(encoding, 17);
}

TEST(Prefs, AFileWithoutAKeyLeavesItAbsent)
{
    TestDir dir;
    dir.UseAsConfigHome();
    mkdir((dir / "Pelmor").c_str(), 0755);
    BMessage stored;
    stored.AddString("nick2", "only");
    TestDir::WriteFile(dir / "Pelmor/Pelmor settings", flatten(stored));
    Prefs prefs(kFile, "Pelmor");
    EXPECT_FALSE(prefs.GetMsg()->HasString("nick"));
    EXPECT_STREQ(prefs.GetMsg()->GetString("nick2"), "only");
}

TEST(Prefs, AFileRemovedWhileRunningIsNotRecreated)
{
    TestDir dir;
    dir.UseAsConfigHome();
    std::string path = dir / "Pelmor/Pelmor settings";
    Stderr err;
    {
        Prefs prefs(kFile, "Pelmor");
        ASSERT_EQ(unlink(path.c_str()), 0);
    }
    EXPECT_NE(err.Text().find("Error...\nThe setting file is not found."), std::string::npos);
    EXPECT_FALSE(BEntry(path.c_str()).Exists());
}

TEST(Prefs, ADamagedFileIsKeptAsideAndTheDefaultsUsed)
{
    TestDir dir;
    dir.UseAsConfigHome();
    mkdir((dir / "Pelmor").c_str(), 0755);
    std::string path = dir / "Pelmor/Pelmor settings";
    BMessage stored;
    stored.AddString("nick", "carol");
    std::string damaged = flatten(stored);
    damaged.resize(damaged.size() - 3); // cut off mid-value
    TestDir::WriteFile(path, damaged);
    TestDir::WriteFile(path + ".damaged", "an older casualty");

    std::string told;
    {
        Stderr err;
        Prefs prefs(kFile, "Pelmor");
        told = err.Text();
        EXPECT_STREQ(prefs.GetMsg()->GetString("nick"), "be_user");
        EXPECT_EQ(TestDir::ReadFile(path + ".damaged.2"), damaged);
        EXPECT_EQ(TestDir::ReadFile(path + ".damaged"), "an older casualty");
    }
    EXPECT_NE(told.find("damaged"), std::string::npos) << told;
    EXPECT_NE(told.find(".damaged.2"), std::string::npos) << told;
    // At exit the good settings replace the damaged file; the copy stays.
    BMessage back;
    std::string now = TestDir::ReadFile(path);
    ASSERT_EQ(back.Unflatten(now.data(), ssize_t(now.size())), B_OK);
    EXPECT_STREQ(back.GetString("nick"), "be_user");
    EXPECT_EQ(TestDir::ReadFile(path + ".damaged.2"), damaged);
}

TEST(Prefs, TrailingGarbageCountsAsDamage)
{
    TestDir dir;
    dir.UseAsConfigHome();
    mkdir((dir / "Pelmor").c_str(), 0755);
    BMessage stored;
    stored.AddString("nick", "dave");
    TestDir::WriteFile(dir / "Pelmor/Pelmor settings", flatten(stored) + "junk");
    Stderr err;
    Prefs prefs(kFile, "Pelmor");
    EXPECT_NE(err.Text().find("damaged"), std::string::npos);
    EXPECT_STREQ(prefs.GetMsg()->GetString("nick"), "be_user");
}

TEST(Prefs, AnEmptyFileLeftByAnEarlyExitMeansDefaults)
{
    TestDir dir;
    dir.UseAsConfigHome();
    mkdir((dir / "Pelmor").c_str(), 0755);
    TestDir::WriteFile(dir / "Pelmor/Pelmor settings", "");
    Stderr err;
    Prefs prefs(kFile, "Pelmor");
    EXPECT_EQ(err.Text(), "");
    EXPECT_STREQ(prefs.GetMsg()->GetString("nick"), "be_user");
    EXPECT_FALSE(BEntry((dir / "Pelmor/Pelmor settings.damaged").c_str()).Exists());
}

TEST(Prefs, WithNoFolderTheStoreStillWorks)
{
    TestDir dir;
    TestDir::WriteFile(dir / "notafolder", "x");
    dir.UseAsConfigHome(dir / "notafolder/config");
    Stderr err;
    {
        Prefs prefs(kFile, "Pelmor");
        ASSERT_NE(prefs.GetMsg(), nullptr);
        prefs.Lock();
        EXPECT_STREQ(prefs.GetMsg()->GetString("nick"), "be_user");
        prefs.GetMsg()->AddPoint("IRCAppWindow", BPoint(-1, -1));
        prefs.Unlock();
    }
    EXPECT_NE(err.Text().find("The setting file is not found."), std::string::npos);
}

TEST(Prefs, AFileThatCannotBeReadIsNotOverwritten)
{
    TestDir dir;
    dir.UseAsConfigHome();
    // A folder where the file should be: it exists but cannot be read.
    ASSERT_EQ(mkdir((dir / "Pelmor").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir / "Pelmor/Pelmor settings").c_str(), 0755), 0);
    TestDir::WriteFile(dir / "Pelmor/Pelmor settings/keep", "mine");
    Stderr err;
    {
        Prefs prefs(kFile, "Pelmor");
        EXPECT_STREQ(prefs.GetMsg()->GetString("nick"), "be_user");
    }
    EXPECT_NE(err.Text().find("The setting file is not found."), std::string::npos);
    EXPECT_EQ(TestDir::ReadFile(dir / "Pelmor/Pelmor settings/keep"), "mine");
}

TEST(Prefs, AReadOnlyFileIsReportedAsSuchAndLeftUnchanged)
{
    TestDir dir;
    dir.UseAsConfigHome();
    mkdir((dir / "Pelmor").c_str(), 0755);
    std::string path = dir / "Pelmor/Pelmor settings";
    BMessage stored;
    stored.AddString("nick", "gina");
    TestDir::WriteFile(path, flatten(stored));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    Stderr err;
    {
        Prefs prefs(kFile, "Pelmor");
        EXPECT_STREQ(prefs.GetMsg()->GetString("nick"), "gina");
        prefs.Lock();
        prefs.GetMsg()->ReplaceString("nick", "hal");
        prefs.Unlock();
        EXPECT_NE(prefs.StorePrefs(), B_OK);
    }
    std::string text = err.Text();
    EXPECT_NE(text.find("The setting file cannot be written (it is read-only)."), std::string::npos)
        << text;
    EXPECT_EQ(text.find("not found"), std::string::npos) << text;
    EXPECT_EQ(TestDir::ReadFile(path), flatten(stored));
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
}

TEST(Prefs, LeftoverTemporaryFilesAreSweptAtStart)
{
    TestDir dir;
    dir.UseAsConfigHome();
    mkdir((dir / "Pelmor").c_str(), 0755);
    TestDir::WriteFile(dir / "Pelmor/.Pelmor settings.Ab3xYz", "partial");
    TestDir::WriteFile(dir / "Pelmor/.Pelmor settings.Q9q9q9", "");
    // Not ours: other names, and a copy that another process still writes.
    TestDir::WriteFile(dir / "Pelmor/.servers settings.Ab3xYz", "theirs");
    TestDir::WriteFile(dir / "Pelmor/.Pelmor settings.toolong1", "keep");
    std::string busy = dir / "Pelmor/.Pelmor settings.Busy00";
    TestDir::WriteFile(busy, "in flight");
    int held = open(busy.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    // The lock is held by a different process, as it would be.
    pid_t other = fork();
    if (other == 0) {
        pause();
        _exit(0);
    }
    close(held);
    {
        Prefs prefs(kFile, "Pelmor");
    }
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    EXPECT_FALSE(BEntry((dir / "Pelmor/.Pelmor settings.Ab3xYz").c_str()).Exists());
    EXPECT_FALSE(BEntry((dir / "Pelmor/.Pelmor settings.Q9q9q9").c_str()).Exists());
    EXPECT_TRUE(BEntry((dir / "Pelmor/.servers settings.Ab3xYz").c_str()).Exists());
    EXPECT_TRUE(BEntry((dir / "Pelmor/.Pelmor settings.toolong1").c_str()).Exists());
    EXPECT_EQ(TestDir::ReadFile(busy), "in flight");
}

namespace
{

// Starts the writer and waits until its store is open.
pid_t start_writer(const std::string& folder, long first)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::string value = std::to_string(first);
        execl(SETTINGS_CHILD, SETTINGS_CHILD, folder.c_str(), value.c_str(), nullptr);
        _exit(127);
    }
    close(out[1]);
    char ready[6] = {};
    ssize_t got = read(out[0], ready, 5);
    close(out[0]);
    return got == 5 ? pid : -pid;
}

size_t count_temporary_files(const std::string& folder)
{
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(".Pelmor settings.", 0) == 0)
            count++;
    return count;
}

} // namespace

// Kills a process at random moments while it writes the settings. Every time
// the file must load with one of the values written, never going back, and
// at most one temporary file may be left (the one the last kill caught).
// PELMOR_KILLS sets the number of kills (300 by default).
TEST(PrefsKills, EveryKillLeavesALoadableFileAndAtMostOneTemporaryFile)
{
    TestDir dir;
    std::string path = dir / "Pelmor/Pelmor settings";
    const char* wanted = getenv("PELMOR_KILLS");
    int kills = wanted != nullptr ? atoi(wanted) : 300;
    std::mt19937 random(std::random_device{}());
    long newest = -1;
    int changed = 0;
    for (int round = 0; round < kills; round++) {
        long first = long(round) * 1000000;
        pid_t pid = start_writer(dir.Path(), first);
        ASSERT_GT(pid, 0) << "the writer did not start";
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);

        // The writer said so only after its first write was complete.
        std::string bytes = TestDir::ReadFile(path);
        BMessage back;
        ASSERT_EQ(back.Unflatten(bytes.data(), ssize_t(bytes.size())), B_OK) << "round " << round;
        const char* nick = back.GetString("nick");
        ASSERT_TRUE(nick != nullptr && nick[0] == 'v') << "round " << round;
        long value = atol(nick + 1);
        ASSERT_GE(value, first) << "round " << round << ": the completed write was lost";
        ASSERT_LT(value, first + 1000000) << "round " << round;
        changed += value != newest;
        newest = value;
        ASSERT_LE(count_temporary_files(dir / "Pelmor"), 1u) << "round " << round;
    }
    EXPECT_EQ(changed, kills);
}

TEST(Prefs, ALinkedSettingsFileStaysALink)
{
    TestDir dir;
    dir.UseAsConfigHome();
    mkdir((dir / "Pelmor").c_str(), 0755);
    mkdir((dir / "dotfiles").c_str(), 0755);
    BMessage stored;
    stored.AddString("nick", "erin");
    TestDir::WriteFile(dir / "dotfiles/pelmor", flatten(stored));
    std::string link = dir / "Pelmor/Pelmor settings";
    ASSERT_EQ(symlink((dir / "dotfiles/pelmor").c_str(), link.c_str()), 0);
    {
        Prefs prefs(kFile, "Pelmor");
        EXPECT_STREQ(prefs.GetMsg()->GetString("nick"), "erin");
        prefs.Lock();
        prefs.GetMsg()->ReplaceString("nick", "frank");
        prefs.Unlock();
    }
    EXPECT_TRUE(BEntry(link.c_str()).IsSymLink());
    BMessage back;
    std::string now = TestDir::ReadFile(dir / "dotfiles/pelmor");
    ASSERT_EQ(back.Unflatten(now.data(), ssize_t(now.size())), B_OK);
    EXPECT_STREQ(back.GetString("nick"), "frank");
}

TEST(Prefs, TwoStoresShareTheFolder)
{
    TestDir dir;
    dir.UseAsConfigHome();
    {
        Prefs main(kFile, "Pelmor");
        Prefs servers("servers settings", "Pelmor");
    }
    EXPECT_FALSE(TestDir::ReadFile(dir / "Pelmor/Pelmor settings").empty());
    EXPECT_FALSE(TestDir::ReadFile(dir / "Pelmor/servers settings").empty());
}

TEST(Prefs, PrintsBothMessages)
{
    TestDir dir;
    dir.UseAsConfigHome();
    Prefs prefs(kFile, "Pelmor");
    testing::internal::CaptureStdout();
    prefs.PrintToStream();
    std::string out = testing::internal::GetCapturedStdout();
    size_t defaults = out.find("\nDefault Settings\n");
    size_t user = out.find("\nUser Settings\n");
    ASSERT_NE(defaults, std::string::npos);
    ASSERT_NE(user, std::string::npos);
    EXPECT_LT(defaults, user);
    EXPECT_NE(out.find("be_user", user), std::string::npos);
}

// The engine asks for the encoding on every line; whatever changed the
// store since, the answer is the value now in it.
TEST(Prefs, TheEncodingReadIsAlwaysCurrent)
{
    set_settings_alert_handler([](const char*) {});
    EXPECT_EQ(app_encoding(14), 14) << "no store";
    Prefs first(nullptr, nullptr);
    Prefs second(nullptr, nullptr);
    auto edit = [](Prefs& prefs, auto change) {
        prefs.Lock();
        change(prefs.GetMsg());
        prefs.Unlock();
    };
    // Stores made as an older version made them: no "encoding".
    edit(first, [](BMessage* m) { m->RemoveName("encoding"); });
    edit(second, [](BMessage* m) { m->RemoveName("encoding"); });
    set_app_prefs(&first);
    EXPECT_EQ(app_encoding(14), 14) << "no value";
    EXPECT_EQ(app_encoding(3), 3) << "the caller's fallback";

    edit(first, [](BMessage* m) { m->AddInt16("encoding", 17); });
    EXPECT_EQ(app_encoding(14), 17);
    edit(first, [](BMessage* m) { m->ReplaceInt16("encoding", 16); });
    EXPECT_EQ(app_encoding(14), 16);
    // Changed from another thread, between two reads of this one.
    std::thread([&] { edit(first, [](BMessage* m) { m->ReplaceInt16("encoding", 12); }); }).join();
    EXPECT_EQ(app_encoding(14), 12);
    edit(first, [](BMessage* m) { m->RemoveName("encoding"); });
    EXPECT_EQ(app_encoding(14), 14) << "removed";
    edit(first, [](BMessage* m) {
        BMessage other;
        other.AddInt16("encoding", 11);
        *m = other;
    });
    EXPECT_EQ(app_encoding(14), 11) << "the message replaced whole";

    edit(second, [](BMessage* m) { m->AddInt16("encoding", 5); });
    set_app_prefs(&second);
    EXPECT_EQ(app_encoding(14), 5) << "another store";
    set_app_prefs(&first);
    EXPECT_EQ(app_encoding(14), 11);
    set_app_prefs(nullptr);
    EXPECT_EQ(app_encoding(14), 14);
    set_settings_alert_handler(nullptr);
}

TEST(Prefs, SettingsFilesAreReadableByTheirOwnerOnly)
{
    TestDir dir;
    dir.UseAsConfigHome();
    std::string path = dir / "Pelmor/Pelmor settings";
    auto mode = [](const std::string& file) {
        struct stat info {
        };
        return stat(file.c_str(), &info) == 0 ? int(info.st_mode & 0777) : -1;
    };
    {
        // A new file, before anything is in it.
        Prefs prefs(kFile, "Pelmor");
        EXPECT_EQ(mode(path), 0600);
    }
    EXPECT_EQ(mode(path), 0600);

    // A file from before, readable by all, is narrowed when written.
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    {
        Prefs prefs(kFile, "Pelmor");
    }
    EXPECT_EQ(mode(path), 0600);

    // The copy of a damaged file holds the same secrets.
    TestDir::WriteFile(path, "not a message");
    chmod(path.c_str(), 0644);
    {
        Stderr err;
        Prefs prefs(kFile, "Pelmor");
        EXPECT_EQ(mode(path + ".damaged"), 0600);
    }
}

TEST(ServerLogin, KeptPerHostApartFromTheServerWindowsMessage)
{
    BMessage settings;
    BMessage perServer;
    perServer.AddRect("#chan", BRect(1, 2, 3, 4));
    settings.AddMessage("irc.example.net", &perServer);

    EXPECT_EQ(find_server_login(settings, "irc.example.net").account, "");
    store_server_login(&settings, "irc.example.net", ServerLogin{"alice", "p ss\x01"});
    store_server_login(&settings, "other.example", ServerLogin{"bob", ""});
    ServerLogin login = find_server_login(settings, "irc.example.net");
    EXPECT_EQ(login.account, "alice");
    EXPECT_EQ(login.password, "p ss\x01");
    EXPECT_EQ(find_server_login(settings, "other.example").account, "bob");
    EXPECT_EQ(find_server_login(settings, "irc.example").account, "") << "whole host names only";

    // The server window writing back its own message keeps the login.
    settings.ReplaceMessage("irc.example.net", &perServer);
    EXPECT_EQ(find_server_login(settings, "irc.example.net").account, "alice");

    // An empty account removes the login, and only that one.
    store_server_login(&settings, "irc.example.net", ServerLogin{"", "ignored"});
    EXPECT_EQ(find_server_login(settings, "irc.example.net").account, "");
    EXPECT_EQ(find_server_login(settings, "other.example").account, "bob");

    // It survives the file.
    std::string flat = flatten(settings);
    BMessage back;
    ASSERT_EQ(back.Unflatten(flat.data(), ssize_t(flat.size())), B_OK);
    EXPECT_EQ(find_server_login(back, "other.example").account, "bob");
}

#include <Directory.h>
#include <Entry.h>
#include <File.h>
#include <FindDirectory.h>
#include <Path.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestDir.h"

TEST(Storage, SettingsDirectoryFollowsTheEnvironment)
{
    TestDir dir;
    const char* oldHome = getenv("HOME");
    std::string savedHome = oldHome != nullptr ? oldHome : "";

    dir.UseAsConfigHome(dir / "config");
    BPath path;
    ASSERT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path), B_OK);
    EXPECT_EQ(std::string(path.Path()), dir / "config");
    EXPECT_FALSE(BEntry(path.Path()).Exists()) << "not created unless asked";
    ASSERT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path, true), B_OK);
    EXPECT_TRUE(BEntry(path.Path()).IsDirectory());

    // A relative XDG_CONFIG_HOME is ignored in favour of $HOME/.config.
    dir.UseAsConfigHome("relative/config");
    setenv("HOME", (dir / "home").c_str(), 1);
    ASSERT_EQ(find_directory(B_USER_SETTINGS_DIRECTORY, &path, true), B_OK);
    EXPECT_EQ(std::string(path.Path()), dir / "home/.config");
    EXPECT_TRUE(BEntry(path.Path()).IsDirectory());
    setenv("HOME", savedHome.c_str(), 1);

    // A folder that cannot be made is reported, not pretended.
    TestDir::WriteFile(dir / "plainfile", "x");
    dir.UseAsConfigHome(dir / "plainfile/sub");
    EXPECT_NE(find_directory(B_USER_SETTINGS_DIRECTORY, &path, true), B_OK);
}

TEST(Storage, PathsAreNormalised)
{
    BPath path("/a//b/./c/../d", "leaf.txt");
    ASSERT_EQ(path.InitCheck(), B_OK);
    EXPECT_STREQ(path.Path(), "/a/b/d/leaf.txt");
    EXPECT_STREQ(path.Leaf(), "leaf.txt");
    BPath parent;
    ASSERT_EQ(path.GetParent(&parent), B_OK);
    EXPECT_STREQ(parent.Path(), "/a/b/d");
    ASSERT_EQ(parent.Append("x/y"), B_OK);
    EXPECT_STREQ(parent.Path(), "/a/b/d/x/y");
    EXPECT_EQ(parent.Append("/abs"), B_BAD_VALUE);
    EXPECT_EQ(BPath("/").GetParent(&parent), B_ENTRY_NOT_FOUND);
    BPath empty;
    EXPECT_EQ(empty.InitCheck(), B_NO_INIT);
    EXPECT_EQ(empty.Path(), nullptr);
    EXPECT_EQ(BPath("").InitCheck(), B_BAD_VALUE);
    EXPECT_EQ(BPath("/a", "/b").InitCheck(), B_BAD_VALUE);
}

TEST(Storage, DirectoriesEntriesAndFiles)
{
    TestDir dir;
    BDirectory root(dir.Path().c_str());
    ASSERT_EQ(root.InitCheck(), B_OK);
    BDirectory sub;
    ASSERT_EQ(root.CreateDirectory("Pelmor", &sub), B_OK);
    EXPECT_EQ(root.CreateDirectory("Pelmor", nullptr), B_FILE_EXISTS);
    EXPECT_TRUE(root.Contains("Pelmor", B_DIRECTORY_NODE));
    EXPECT_FALSE(root.Contains("Pelmor", B_FILE_NODE));

    BFile file;
    ASSERT_EQ(sub.CreateFile("settings", &file, true), B_OK);
    EXPECT_EQ(file.Write("abc", 3), 3);
    file.Unset();
    BFile again;
    EXPECT_EQ(sub.CreateFile("settings", &again, true), B_FILE_EXISTS);
    EXPECT_EQ(TestDir::ReadFile(dir / "Pelmor/settings"), "abc") << "failIfExists kept it";

    BEntry entry(&sub, "settings");
    ASSERT_EQ(entry.InitCheck(), B_OK);
    EXPECT_TRUE(entry.Exists());
    EXPECT_TRUE(entry.IsFile());
    off_t size = 0;
    EXPECT_EQ(entry.GetSize(&size), B_OK);
    EXPECT_EQ(size, 3);
    char name[B_FILE_NAME_LENGTH];
    EXPECT_EQ(entry.GetName(name), B_OK);
    EXPECT_STREQ(name, "settings");

    BFile reader(&entry, B_READ_ONLY);
    ASSERT_EQ(reader.InitCheck(), B_OK);
    EXPECT_TRUE(reader.IsReadable());
    EXPECT_FALSE(reader.IsWritable());
    char buffer[8] = {};
    EXPECT_EQ(reader.ReadAt(1, buffer, sizeof(buffer)), 2);
    EXPECT_STREQ(buffer, "bc");
    EXPECT_LT(reader.Write("x", 1), 0);

    ASSERT_EQ(entry.Rename("renamed"), B_OK);
    EXPECT_TRUE(sub.Contains("renamed"));
    EXPECT_FALSE(sub.Contains("settings"));
    ASSERT_EQ(entry.Remove(), B_OK);
    EXPECT_FALSE(entry.Exists());
    BEntry found;
    EXPECT_EQ(sub.FindEntry("renamed", &found), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(BFile((dir / "missing").c_str(), B_READ_ONLY).InitCheck(), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(BFile(dir.Path().c_str(), B_READ_ONLY).InitCheck(), B_IS_A_DIRECTORY);
    EXPECT_EQ(BDirectory((dir / "missing").c_str()).InitCheck(), B_ENTRY_NOT_FOUND);
}

TEST(Storage, AtomicReplacementKeepsLinksAndPermissions)
{
    TestDir dir;
    std::string target = dir / "real settings";
    TestDir::WriteFile(target, "old contents that are longer than the new ones");
    chmod(target.c_str(), 0600);
    ASSERT_EQ(mkdir((dir / "links").c_str(), 0755), 0);
    std::string link = dir / "links/settings";
    ASSERT_EQ(symlink("../real settings", link.c_str()), 0);

    ASSERT_EQ(replace_file_atomically(link.c_str(), "new", 3), B_OK);
    EXPECT_TRUE(BEntry(link.c_str()).IsSymLink()) << "the link stays a link";
    EXPECT_EQ(TestDir::ReadFile(target), "new") << "the target is replaced, not appended to";
    struct stat info;
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // No temporary files are left beside it.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        files++;
    }
    EXPECT_EQ(files, 2);

    // A loop of links is refused.
    std::string a = dir / "loopA", b = dir / "loopB";
    ASSERT_EQ(symlink(b.c_str(), a.c_str()), 0);
    ASSERT_EQ(symlink(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(replace_file_atomically(a.c_str(), "x", 1), B_LINK_LIMIT);
    EXPECT_EQ(replace_file_atomically((dir / "no/such/folder/f").c_str(), "x", 1),
              B_ENTRY_NOT_FOUND);
}

TEST(Storage, AWriteThatFailsMidwayLeavesTheOldFile)
{
    TestDir dir;
    std::string target = dir / "settings";
    TestDir::WriteFile(target, "precious");
    // A file size limit makes the write fail part way, as a full disk would.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string big(100000, 'x');
        status_t status = replace_file_atomically(target.c_str(), big.data(), big.size());
        _exit(status == B_OK ? 1 : 0);
    }
    int result = 0;
    waitpid(child, &result, 0);
    ASSERT_TRUE(WIFEXITED(result));
    EXPECT_EQ(WEXITSTATUS(result), 0) << "the failed write was reported as success";
    EXPECT_EQ(TestDir::ReadFile(target), "precious");
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        files++;
    }
    EXPECT_EQ(files, 1) << "the temporary file was removed";
}

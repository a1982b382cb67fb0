// The X server ends under a running application (the session ended, the
// user logged out): the application quits in order, as if the user had
// asked, instead of being ended by Xlib. The application is quit_child on
// the SDL2 backend, in a process of its own, on an Xvfb of the test's own.

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "ChildProcess.h"
#include "TestDir.h"
#include "X11TestSupport.h"

using namespace x11_test;

namespace
{

// Generous for the start under a sanitizer; the quit is expected within a
// few seconds.
const bigtime_t kStartLimit = 30 * kSecond;
const bigtime_t kQuitLimit = 5 * kSecond;

bool Marked(const TestDir& dir, const char* name)
{
    return std::filesystem::exists(dir / name);
}

std::string Describe(int status)
{
    if (WIFEXITED(status))
        return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("killed by ") + strsignal(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// How the server ends: told to (SIGTERM, as at a logout) or killed.
class XServerEnds : public ::testing::TestWithParam<int>
{
};

} // namespace

// The child says it is ready only once its main thread waits for the
// server, out of Xlib: the backend sees the hang-up before Xlib reads, and
// Run() returns.
TEST_P(XServerEnds, TheApplicationQuitsInOrderAndRunReturns)
{
    Watchdog watchdog;
    XServer server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    UseOnly(server);
    TestDir dir;
    ChildProcess child({QUIT_CHILD, dir.Path(), "--desktop"});
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.WaitForLine("ready", kStartLimit));
    ASSERT_TRUE(WaitFor([] { return FindXWindow("Quit child") != 0; }, kStartLimit));

    server.Kill(GetParam());
    int status = 0;
    ASSERT_TRUE(child.WaitForEnd(kQuitLimit, &status)) << "still running";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Describe(status);
    EXPECT_TRUE(Marked(dir, "app-quit"));
    EXPECT_TRUE(Marked(dir, "window-quit"));
    EXPECT_TRUE(Marked(dir, "after-run")) << "Run() returned and main() went on";
}

INSTANTIATE_TEST_SUITE_P(By, XServerEnds, ::testing::Values(SIGTERM, SIGKILL),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return std::string(sigabbrev_np(param.param));
                         });

// The server may end while the main thread is inside an Xlib call, past
// the backend's look at the connection; Xlib then calls its I/O error
// handler, which must not return. The application still quits in order,
// but from inside the handler: Run() does not return.
TEST(XServerEndsInAnXlibCall, TheApplicationStillQuits)
{
    Watchdog watchdog;
    XServer server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    UseOnly(server);
    TestDir dir;
    ChildProcess child({QUIT_CHILD, dir.Path(), "--desktop", "--xlib-in-task"});
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.WaitForLine("in-task", kStartLimit));

    server.Kill(SIGKILL);
    int status = 0;
    ASSERT_TRUE(child.WaitForEnd(kQuitLimit, &status)) << "still running";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Describe(status);
    EXPECT_TRUE(Marked(dir, "app-quit"));
    EXPECT_TRUE(Marked(dir, "window-quit"));
}

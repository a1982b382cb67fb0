// SIGTERM, SIGINT and SIGHUP end an application in order, as a quit asked
// for by the user: tried on an application with a window in a process of
// its own (quit_child), which leaves a mark on disk for every step.

#include <Application.h>

#include <atomic>
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TestDir.h"

namespace
{

const bigtime_t kSecond = 1000000;
// Generous: the child may run under a sanitizer.
const bigtime_t kStartLimit = 30 * kSecond;
const bigtime_t kQuitLimit = 20 * kSecond;

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

class QuitSignal : public ::testing::TestWithParam<int>
{
};

} // namespace

TEST_P(QuitSignal, QuitsTheApplicationInOrder)
{
    TestDir dir;
    ChildProcess child({QUIT_CHILD, dir.Path()});
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.WaitForLine("ready", kStartLimit));

    ASSERT_TRUE(child.Signal(GetParam()));
    int status = 0;
    ASSERT_TRUE(child.WaitForEnd(kQuitLimit, &status)) << "still running";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Describe(status);
    EXPECT_TRUE(Marked(dir, "app-quit"));
    EXPECT_TRUE(Marked(dir, "window-quit")) << "the windows were asked too";
    EXPECT_TRUE(Marked(dir, "after-run")) << "Run() returned and main() went on";
}

INSTANTIATE_TEST_SUITE_P(EachOf, QuitSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return std::string(sigabbrev_np(param.param));
                         });

TEST(QuitSignals, ASecondSignalEndsAQuitThatHangs)
{
    TestDir dir;
    ChildProcess child({QUIT_CHILD, dir.Path(), "--hang-in-quit"});
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.WaitForLine("ready", kStartLimit));

    ASSERT_TRUE(child.Signal(SIGTERM));
    for (bigtime_t end = system_time() + kQuitLimit; !Marked(dir, "app-quit");) {
        ASSERT_LT(system_time(), end) << "QuitRequested() was never called";
        snooze(10000);
    }
    ASSERT_TRUE(child.Signal(SIGINT));
    int status = 0;
    ASSERT_TRUE(child.WaitForEnd(kQuitLimit, &status)) << "still running";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << Describe(status);
    EXPECT_FALSE(Marked(dir, "after-run"));
}

namespace
{

std::atomic<int> sOwnHandlerCalls{0};

void OwnHandler(int)
{
    sOwnHandlerCalls++;
}

// The dispositions of the signals concerned, put back at the end.
class Dispositions
{
public:
    Dispositions()
    {
        for (int i = 0; i < 4; i++)
            sigaction(kSignals[i], nullptr, &fSaved[i]);
    }
    ~Dispositions()
    {
        for (int i = 0; i < 4; i++)
            sigaction(kSignals[i], &fSaved[i], nullptr);
    }
    static void Set(int number, void (*handler)(int))
    {
        struct sigaction action = {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        sigaction(number, &action, nullptr);
    }
    static void (*Handler(int number))(int)
    {
        struct sigaction action;
        sigaction(number, nullptr, &action);
        return action.sa_handler;
    }

private:
    static constexpr int kSignals[4] = {SIGTERM, SIGINT, SIGHUP, SIGPIPE};
    struct sigaction fSaved[4];
};

} // namespace

TEST(QuitSignals, TheHandlersFoundAreBackOnceTheApplicationIsGone)
{
    Dispositions saved;
    Dispositions::Set(SIGTERM, OwnHandler);
    Dispositions::Set(SIGINT, SIG_DFL);
    // As under nohup: the user asked for the program to outlive the
    // terminal, so a hang-up must not quit it.
    Dispositions::Set(SIGHUP, SIG_IGN);
    Dispositions::Set(SIGPIPE, SIG_DFL);
    {
        BApplication app("application/x-vnd.test-signals");
        EXPECT_NE(Dispositions::Handler(SIGTERM), OwnHandler);
        EXPECT_NE(Dispositions::Handler(SIGINT), SIG_DFL);
        EXPECT_EQ(Dispositions::Handler(SIGHUP), SIG_IGN);
        EXPECT_EQ(Dispositions::Handler(SIGPIPE), SIG_IGN);

        // A second application object takes nothing over, nor gives back.
        BApplication second("application/x-vnd.test-signals-2");
        EXPECT_NE(second.InitCheck(), B_OK);
    }
    EXPECT_EQ(Dispositions::Handler(SIGTERM), OwnHandler);
    EXPECT_EQ(Dispositions::Handler(SIGINT), SIG_DFL);
    EXPECT_EQ(Dispositions::Handler(SIGHUP), SIG_IGN);
    EXPECT_EQ(Dispositions::Handler(SIGPIPE), SIG_DFL);
    raise(SIGTERM);
    EXPECT_EQ(sOwnHandlerCalls.load(), 1);
}

TEST(QuitSignals, AnIgnoredSigpipeStaysIgnored)
{
    Dispositions saved;
    Dispositions::Set(SIGPIPE, SIG_IGN);
    {
        BApplication app("application/x-vnd.test-signals");
    }
    EXPECT_EQ(Dispositions::Handler(SIGPIPE), SIG_IGN);
}

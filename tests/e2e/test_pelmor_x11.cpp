// The real pelmor on an X server (Xvfb), driven only through the X server
// with xdotool: start, connect to ngircd, join a channel, type a line that
// another user of the server receives.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Ngircd.h"
#include "SessionSupport.h"
#include "X11TestSupport.h"

using namespace x11_test;

namespace
{

// The window's content origin and size on the screen.
bool XGeometry(unsigned long window, int* x, int* y, int* height)
{
    std::string output;
    if (!XWindowOrigin(window, x, y) ||
        RunProgram({"xwininfo", "-id", std::to_string(window)}, &output) != 0)
        return false;
    size_t at = output.find("Height:");
    if (at == std::string::npos)
        return false;
    *height = atoi(output.c_str() + at + 7);
    return true;
}

unsigned long WaitXWindow(const std::string& titlePattern, bigtime_t limit = 10 * kSecond)
{
    unsigned long window = 0;
    WaitFor(
        [&] {
            std::string output;
            RunProgram({"xdotool", "search", "--name", titlePattern}, &output);
            window = strtoul(output.c_str(), nullptr, 10);
            return window != 0;
        },
        limit);
    return window;
}

void ClickAt(int x, int y)
{
    Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

} // namespace

TEST(PelmorOnX11, ConnectsJoinsAndSaysSomethingAnotherUserReads)
{
    Ngircd server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    XServer display;
    ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
    UseOnly(display);
    TestDir config;
    config.UseAsConfigHome();
    {
        Prefs prefs("Pelmor settings", "Pelmor");
        prefs.Lock();
        prefs.GetMsg()->RemoveName("default_server");
        prefs.GetMsg()->AddString("default_server", ("127.0.0.1:" + server.Port()).c_str());
        prefs.Unlock();
    }
    Peer bob(server.Port(), "bob");
    ASSERT_TRUE(bob.Registered());
    bob.Send("JOIN #xtest");
    ASSERT_TRUE(bob.WaitFor("366 bob #xtest"));

    pid_t pelmor = fork();
    if (pelmor == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execl(PELMOR_BINARY, PELMOR_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    int x, y, height;
    unsigned long main = WaitXWindow("^Pelmor$");
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(XGeometry(main, &x, &y, &height));
    // Mapped is not yet drawn and taking input: press until it opens.
    unsigned long window = 0;
    for (int i = 0; i < 10 && window == 0; i++) {
        ClickAt(x + 70, y + 32); // "Start"
        window = WaitXWindow("^Server$", kSecond);
    }

    ASSERT_NE(window, 0u);
    usleep(300000);
    ASSERT_TRUE(XGeometry(window, &x, &y, &height));
    ClickAt(x + 240, y + 16); // "Connect"
    // The client's registration reaches the channel's other user once it
    // joins; first the input line of the server window.
    ASSERT_NE(WaitXWindow("^127.0.0.1:"), 0u);
    ClickAt(x + 100, y + height - 24);
    RunProgram({"xdotool", "type", "--delay", "15", "/JOIN #xtest"});
    Xdo("key Return");
    ASSERT_TRUE(bob.WaitFor("JOIN :#xtest"));

    unsigned long chat = WaitXWindow("^#xtest on ");
    ASSERT_NE(chat, 0u);
    usleep(300000);
    ASSERT_TRUE(XGeometry(chat, &x, &y, &height));
    ClickAt(x + 100, y + height - 24);
    RunProgram({"xdotool", "type", "--delay", "15", "hello from pelmor"});
    Xdo("key Return");
    EXPECT_TRUE(bob.WaitFor("PRIVMSG #xtest :hello from pelmor"));
    bob.Send("PRIVMSG #xtest :hello pelmor, bob here");
    usleep(500000);
    if (const char* path = getenv("PELMOR_SCREENSHOT")) {
        std::string shot;
        if (RunProgram({"xwd", "-root", "-silent"}, &shot) == 0)
            TestDir::WriteFile(path, shot);
    }
    kill(pelmor, SIGKILL);
    waitpid(pelmor, nullptr, 0);
    if (HasFailure())
        fprintf(stderr, "bob:\n%s", bob.Log().c_str());
}

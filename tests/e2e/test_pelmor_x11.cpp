// The real pelmor on an X server (Xvfb), driven only through the X server
// with xdotool: start, connect to ngircd, join a channel, type a line that
// another user of the server receives; change the nickname in the settings
// window and register with it.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include "Ngircd.h"
#include "SessionSupport.h"
#include "X11CloseRequest.h"
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

bool XWindowGone(unsigned long window)
{
    std::string output;
    return RunProgram({"xwininfo", "-id", std::to_string(window)}, &output) != 0;
}

pid_t StartPelmor()
{
    pid_t pelmor = fork();
    if (pelmor == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execl(PELMOR_BINARY, PELMOR_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pelmor;
}

// A real server, an X server of its own, the program on its own settings
// folder with the server preset, and bob, a raw user of the server.
class PelmorOnX11 : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Ready()) << server.Log();
        ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
        UseOnly(display);
        config.UseAsConfigHome();
        {
            Prefs prefs("Pelmor settings", "Pelmor");
            prefs.Lock();
            prefs.GetMsg()->RemoveName("default_server");
            prefs.GetMsg()->AddString("default_server", ("127.0.0.1:" + server.Port()).c_str());
            prefs.GetMsg()->RemoveName("nick");
            prefs.GetMsg()->AddString("nick", "alice");
            prefs.Unlock();
        }
        bob = std::make_unique<Peer>(server.Port(), "bob");
        ASSERT_TRUE(bob->Registered());
    }
    void TearDown() override
    {
        if (pelmor > 0) {
            kill(pelmor, SIGKILL);
            waitpid(pelmor, nullptr, 0);
        }
        if (HasFailure() && bob)
            fprintf(stderr, "bob:\n%s", bob->Log().c_str());
    }
    // Clicks the main window's button at `x` until the window titled
    // `title` opens (mapped is not yet drawn and taking input); its id.
    unsigned long OpenFromMain(int x, const std::string& title)
    {
        int left, top, height;
        unsigned long main = WaitXWindow("^Pelmor$");
        if (main == 0 || !XGeometry(main, &left, &top, &height))
            return 0;
        unsigned long window = 0;
        for (int i = 0; i < 10 && window == 0; i++) {
            ClickAt(left + x, top + 32);
            window = WaitXWindow(title, kSecond);
        }
        usleep(300000);
        return window;
    }
    // "Start", then "Connect" in the new server window, whose geometry
    // comes back; false when a step failed.
    bool StartAndConnect(int* x, int* y, int* height)
    {
        unsigned long window = OpenFromMain(70, "^Server$");
        if (window == 0 || !XGeometry(window, x, y, height))
            return false;
        ClickAt(*x + 240, *y + 16); // "Connect"
        return WaitXWindow("^127.0.0.1:") != 0;
    }

    Ngircd server;
    XServer display;
    TestDir config;
    std::unique_ptr<Peer> bob;
    pid_t pelmor = 0;
};

} // namespace

TEST_F(PelmorOnX11, ConnectsJoinsAndSaysSomethingAnotherUserReads)
{
    bob->Send("JOIN #xtest");
    ASSERT_TRUE(bob->WaitFor("366 bob #xtest"));

    pelmor = StartPelmor();
    int x, y, height;
    ASSERT_TRUE(StartAndConnect(&x, &y, &height));
    // The client's registration reaches the channel's other user once it
    // joins; first the input line of the server window.
    ClickAt(x + 100, y + height - 24);
    RunProgram({"xdotool", "type", "--delay", "15", "/JOIN #xtest"});
    Xdo("key Return");
    ASSERT_TRUE(bob->WaitFor("JOIN :#xtest"));

    unsigned long chat = WaitXWindow("^#xtest on ");
    ASSERT_NE(chat, 0u);
    usleep(300000);
    ASSERT_TRUE(XGeometry(chat, &x, &y, &height));
    ClickAt(x + 100, y + height - 24);
    RunProgram({"xdotool", "type", "--delay", "15", "hello from pelmor"});
    Xdo("key Return");
    EXPECT_TRUE(bob->WaitFor("PRIVMSG #xtest :hello from pelmor"));
    bob->Send("PRIVMSG #xtest :hello pelmor, bob here");
    usleep(500000);
    if (const char* path = getenv("PELMOR_SCREENSHOT")) {
        std::string shot;
        if (RunProgram({"xwd", "-root", "-silent"}, &shot) == 0)
            TestDir::WriteFile(path, shot);
    }
}

TEST_F(PelmorOnX11, RegistersWithTheNicknameSetInTheSettingsWindow)
{
    pelmor = StartPelmor();
    unsigned long settings = OpenFromMain(288, "^Settings$");
    ASSERT_NE(settings, 0u);
    int x, y, height;
    ASSERT_TRUE(XGeometry(settings, &x, &y, &height));
    // The first nickname's field: the page under the tabs, the box in the
    // page, the field right of its 70-pixel label.
    ClickAt(x + 150, y + 56);
    Xdo("key ctrl+a");
    RunProgram({"xdotool", "type", "--delay", "15", "dora"});
    usleep(200000);
    SendCloseRequest(settings);
    ASSERT_TRUE(WaitFor([&] { return XWindowGone(settings); }));

    ASSERT_TRUE(StartAndConnect(&x, &y, &height));
    // The new nickname is the one the server knows: bob can write to it.
    EXPECT_TRUE(WaitFor(
        [&] {
            bob->Send("WHOIS dora");
            return bob->Receives(" 311 bob dora ", 200);
        },
        10 * kSecond));
}

// A high-resolution X11 desktop: Xvfb with an Xft.dpi loaded by xrdb, as
// desktops do at 200%. The SDL2 backend must report scale 2, and the
// toolkit's windows must come out at twice their size in points, draw
// twice the pixels and take clicks in device pixels back to points.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include <Application.h>
#include <DisplayBackend.h>
#include <Screen.h>
#include <TestDriver.h>
#include <View.h>
#include <Window.h>

#include "Sdl2X11.h"
#include "X11TestSupport.h"

// SDL looks for a session bus when it starts; libdbus keeps a buffer from
// the failed attempt for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

using namespace x11_test;

namespace
{

// Loads resources into the X server as a desktop session does.
bool MergeResources(const std::string& text)
{
    char path[] = "/tmp/pelmor-xrdb-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return false;
    bool written = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    bool merged = written && RunProgram({"xrdb", "-nocpp", "-merge", path}) == 0;
    unlink(path);
    return merged;
}

int32 BackendScale()
{
    std::string error;
    std::unique_ptr<BPrivate::DisplayBackend> backend(BPrivate::create_sdl2_backend(&error));
    EXPECT_NE(backend, nullptr) << error;
    return backend != nullptr ? backend->Scale() : 0;
}

// The window's size as the X server has it.
bool XWindowSize(unsigned long window, int* width, int* height)
{
    std::string output;
    if (RunProgram({"xdotool", "getwindowgeometry", "--shell", std::to_string(window)}, &output) !=
        0)
        return false;
    size_t at = output.find("WIDTH="), atHeight = output.find("HEIGHT=");
    if (at == std::string::npos || atHeight == std::string::npos)
        return false;
    *width = atoi(output.c_str() + at + 6);
    *height = atoi(output.c_str() + atHeight + 7);
    return true;
}

} // namespace

TEST(Sdl2Scale, XftDpiInTheResources)
{
    using BPrivate::Sdl2::xft_dpi_in;
    EXPECT_EQ(xft_dpi_in(nullptr), 0);
    EXPECT_EQ(xft_dpi_in(""), 0);
    EXPECT_EQ(xft_dpi_in("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n"), 192);
    EXPECT_EQ(xft_dpi_in("! a comment\nXft.dpi: 144.5\n"), 144.5);
    EXPECT_EQ(xft_dpi_in("Xft.dpi: 96\nXft.dpi: 120\n"), 120) << "the last entry wins";
    EXPECT_EQ(xft_dpi_in("*dpi: 150\n"), 150) << "a wildcard entry applies too";
    EXPECT_EQ(xft_dpi_in("Xft.dpi: many\n"), 0);
    EXPECT_EQ(xft_dpi_in("Xft.dpi: -5\n"), 0);
    EXPECT_EQ(xft_dpi_in("Xterm.dpi: 192\n"), 0);
}

TEST(Sdl2Scale, FollowsTheDesktopsXftDpi)
{
    Watchdog watchdog;
    XServer server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    UseOnly(server);
    EXPECT_EQ(BackendScale(), 1) << "no resources at all";
    for (auto [dpi, scale] : {std::pair{"96", 1}, {"143", 1}, {"144", 2}, {"192", 2}, {"120", 1}}) {
        ASSERT_TRUE(MergeResources(std::string("Xft.dpi:\t") + dpi + "\n"));
        EXPECT_EQ(BackendScale(), scale) << "Xft.dpi " << dpi;
    }
}

namespace
{

const rgb_color kPanel = {220, 220, 220, 255};

// Fills a band one point high at its top and records where it is pressed.
class Target : public BView
{
public:
    Target(BRect frame, const char* name, rgb_color band)
        : BView(frame, name, B_FOLLOW_NONE, B_WILL_DRAW), fBand(band)
    {
        SetViewColor(kPanel);
    }
    void Draw(BRect) override
    {
        SetHighColor(fBand);
        StrokeLine(BPoint(0, 0), BPoint(Bounds().right, 0));
    }
    void MouseDown(BPoint where) override
    {
        std::lock_guard<std::mutex> lock(fLock);
        fPresses.push_back(where);
    }
    std::vector<BPoint> Presses()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fPresses;
    }

private:
    rgb_color fBand;
    std::mutex fLock;
    std::vector<BPoint> fPresses;
};

class TargetApp : public BApplication
{
public:
    TargetApp() : BApplication("application/x-vnd.pelmor-hidpi-test") {}
    void ReadyToRun() override
    {
        auto* window = new BWindow(BRect(40, 30, 239, 129), "Scaled", B_TITLED_WINDOW, 0);
        window->AddChild(new Target(BRect(0, 0, 99, 99), "left", rgb_color{255, 0, 0, 255}));
        window->AddChild(new Target(BRect(100, 0, 199, 99), "right", rgb_color{0, 0, 255, 255}));
        window->Show();
    }
};

} // namespace

TEST(HiDpiOnX, WindowsAreTwiceTheirPointsAndClicksComeBackInPoints)
{
    Watchdog watchdog;
    XServer server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    UseOnly(server);
    ASSERT_TRUE(MergeResources("Xft.dpi: 192\n"));

    TestDriver driver([] { return new TargetApp; }, TestDriver::kDesktop);
    BWindow* window = driver.FindWindow("Scaled");
    ASSERT_NE(window, nullptr);
    auto* right = dynamic_cast<Target*>(driver.FindView(window, "right"));
    ASSERT_NE(right, nullptr);
    // Without a window manager the window is where it asked to be; the
    // screen is 1024 x 768 pixels, so 512 x 384 points.
    EXPECT_EQ(driver.Locked(window, [&] { return window->Frame(); }), BRect(40, 30, 239, 129));
    EXPECT_EQ(driver.Locked(window, [&] { return BScreen(window).Frame(); }),
              BRect(0, 0, 511, 383));

    unsigned long id = 0;
    ASSERT_TRUE(WaitFor([&] { return (id = FindXWindow("Scaled")) != 0; }));
    int x = 0, y = 0, width = 0, height = 0;
    ASSERT_TRUE(WaitFor([&] { return XWindowOrigin(id, &x, &y) && x != 0; }));
    ASSERT_TRUE(XWindowSize(id, &width, &height));
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 200);
    EXPECT_EQ(x, 80);
    EXPECT_EQ(y, 60);

    // The one-point bands are two screen pixels high, each colour in its
    // view's half, with nothing between.
    Screenshot shot;
    ASSERT_TRUE(WaitFor([&] { return Grab(&shot) && shot.At(x + 10, y) == 0xff0000; }))
        << "the window's frame is not on the screen";
    for (int row = 0; row < 3; row++) {
        uint32 want = row < 2 ? 0xff0000 : 0xdcdcdc;
        for (int column = 0; column < 200; column++)
            ASSERT_EQ(shot.At(x + column, y + row), want) << column << ", " << row;
        want = row < 2 ? 0x0000ff : 0xdcdcdc;
        for (int column = 200; column < 400; column++)
            ASSERT_EQ(shot.At(x + column, y + row), want) << column << ", " << row;
    }

    // Screen pixel 200 across the window is point 100, the right view's
    // first column.
    ASSERT_EQ(
        Xdo("mousemove " + std::to_string(x + 200) + " " + std::to_string(y + 101) + " click 1"),
        0);
    ASSERT_TRUE(WaitFor([&] { return !right->Presses().empty(); }));
    EXPECT_EQ(right->Presses()[0], BPoint(0, 50));
}

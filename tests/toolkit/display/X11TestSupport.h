// Helpers for tests on a real X server: an Xvfb of the test's own, other
// programs run to their end (xdotool, xwd), and the screen read back from
// an XWD dump.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <OS.h>

extern char** environ;

namespace x11_test
{

inline const bigtime_t kSecond = 1000000;

// Polls until `done` holds; false after `limit`.
inline bool WaitFor(const std::function<bool()>& done, bigtime_t limit = 5 * kSecond)
{
    for (bigtime_t end = system_time() + limit; !done();) {
        if (system_time() >= end)
            return false;
        snooze(20000);
    }
    return true;
}

// Runs a program to its end (killed after ten seconds); its output if asked.
inline int RunProgram(const std::vector<std::string>& args, std::string* output = nullptr)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed != 0) {
        close(fds[0]);
        return -1;
    }
    bigtime_t end = system_time() + 10 * kSecond;
    char buffer[65536];
    for (;;) {
        struct pollfd p = {fds[0], POLLIN, 0};
        int left = int((end - system_time()) / 1000);
        if (left <= 0 || poll(&p, 1, left) <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        ssize_t n = read(fds[0], buffer, sizeof(buffer));
        if (n <= 0)
            break;
        if (output != nullptr)
            output->append(buffer, size_t(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int Xdo(const std::string& commandLine)
{
    std::vector<std::string> args{"xdotool"};
    size_t start = 0;
    while (start < commandLine.size()) {
        size_t end = commandLine.find(' ', start);
        if (end == std::string::npos)
            end = commandLine.size();
        if (end > start)
            args.push_back(commandLine.substr(start, end - start));
        start = end + 1;
    }
    return RunProgram(args);
}

// Xvfb on a display number of its own choosing, gone with the object (or
// with this process, should a test die).
class XServer
{
public:
    XServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        fPid = fork();
        if (fPid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(fds[1], 3);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten",
                   "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes the number once it accepts connections.
        std::string number;
        struct pollfd p = {fds[0], POLLIN, 0};
        char c;
        while (fPid > 0 && poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            fName = ":" + number;
    }
    ~XServer()
    {
        if (fPid <= 0)
            return;
        kill(fPid, SIGTERM);
        for (int i = 0; i < 100; i++) {
            if (waitpid(fPid, nullptr, WNOHANG) == fPid)
                return;
            usleep(20000);
        }
        kill(fPid, SIGKILL);
        waitpid(fPid, nullptr, 0);
    }
    const std::string& Name() const { return fName; }
    // Ends the server at once with `signal`, as at the end of a session.
    void Kill(int signal)
    {
        if (fPid <= 0)
            return;
        kill(fPid, signal);
        waitpid(fPid, nullptr, 0);
        fPid = -1;
    }

private:
    pid_t fPid = -1;
    std::string fName;
};

// The screen as xwd saw it, pixels as 0xRRGGBB.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint32> pixels;
    uint32 At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0xdeadbeef;
        return pixels[size_t(y) * width + x];
    }
};

inline uint32 Big32(const uint8* p)
{
    return uint32(p[0]) << 24 | uint32(p[1]) << 16 | uint32(p[2]) << 8 | p[3];
}

inline uint32 Channel(uint32 pixel, uint32 mask)
{
    if (mask == 0)
        return 0;
    return (pixel & mask) >> __builtin_ctz(mask) & 0xff;
}

// An XWD file: a header of big-endian 32-bit fields, the window name, the
// colour map (12 bytes an entry), then the image: pixels of 24 or 32 bits,
// lines of bytes_per_line (which may be longer than the pixels need).
inline bool ParseXwd(const std::string& file, Screenshot* shot)
{
    const uint8* data = reinterpret_cast<const uint8*>(file.data());
    if (file.size() < 100)
        return false;
    uint32 field[25];
    for (int i = 0; i < 25; i++)
        field[i] = Big32(data + 4 * i);
    uint32 headerSize = field[0], version = field[1], format = field[2];
    uint32 width = field[4], height = field[5], byteOrder = field[7];
    uint32 bitsPerPixel = field[11], bytesPerLine = field[12];
    uint32 redMask = field[14], greenMask = field[15], blueMask = field[16];
    uint32 colors = field[19];
    if (version != 7 || format != 2 || width == 0 || width > 16384 || height > 16384)
        return false;
    uint32 bytesPerPixel = bitsPerPixel / 8;
    if ((bitsPerPixel != 24 && bitsPerPixel != 32) || bytesPerLine < width * bytesPerPixel)
        return false;
    uint64_t start = uint64_t(headerSize) + uint64_t(colors) * 12;
    if (start + uint64_t(bytesPerLine) * height > file.size())
        return false;
    shot->width = int(width);
    shot->height = int(height);
    shot->pixels.resize(size_t(width) * height);
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            const uint8* p = data + start + uint64_t(y) * bytesPerLine + x * bytesPerPixel;
            uint32 pixel = 0;
            for (uint32 i = 0; i < bytesPerPixel; i++) {
                uint32 byte = byteOrder == 0 ? p[bytesPerPixel - 1 - i] : p[i];
                pixel = pixel << 8 | byte;
            }
            shot->pixels[size_t(y) * width + x] = Channel(pixel, redMask) << 16 |
                                                  Channel(pixel, greenMask) << 8 |
                                                  Channel(pixel, blueMask);
        }
    }
    return true;
}

inline bool Grab(Screenshot* shot)
{
    std::string file;
    return RunProgram({"xwd", "-root", "-silent"}, &file) == 0 && ParseXwd(file, shot);
}

// The X id of the window with this exact title.
inline unsigned long FindXWindow(const std::string& title)
{
    std::string output;
    RunProgram({"xdotool", "search", "--name", "^" + title + "$"}, &output);
    return strtoul(output.c_str(), nullptr, 10);
}

// Points this process's X clients (SDL among them) at the server, and
// only at it.
inline void UseOnly(const XServer& server)
{
    setenv("DISPLAY", server.Name().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
}

// The top left corner of the window's content on the screen, as the X
// server has it (xdotool's geometry adds a window manager's frame twice).
inline bool XWindowOrigin(unsigned long window, int* x, int* y)
{
    std::string output;
    if (RunProgram({"xwininfo", "-id", std::to_string(window)}, &output) != 0)
        return false;
    size_t atX = output.find("Absolute upper-left X:"), atY = output.find("Absolute upper-left Y:");
    if (atX == std::string::npos || atY == std::string::npos)
        return false;
    *x = atoi(output.c_str() + atX + 22);
    *y = atoi(output.c_str() + atY + 22);
    return true;
}

inline void TimedOut(int)
{
    const char message[] = "\n*** a test ran past its time limit\n";
    ssize_t ignored = write(2, message, sizeof(message) - 1);
    (void)ignored;
    _exit(3);
}

// Each test stops itself after this long, whatever blocks.
class Watchdog
{
public:
    Watchdog()
    {
        signal(SIGALRM, TimedOut);
        alarm(60);
    }
    ~Watchdog() { alarm(0); }
};

} // namespace x11_test

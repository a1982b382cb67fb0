#pragma once

// What the end-to-end tests of the client share: the program run headless
// by the test driver on a settings folder of its own, a record of every
// piece each window printed and of every line the client's engines read and
// wrote, and a raw IRC peer that records its own traffic. On failure a test
// prints all of it (Dump).

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <DebugTarget.h>
#include <IrcCodes.h>
#include <Looper.h>
#include <Prefs.h>
#include <TestDriver.h>
#include <Window.h>

#include "IRCApp.h"
#include "PrintLog.h"
#include "TestDir.h"

struct Printed {
    BWindow* window;
    std::string title;
    std::string text;
    int kind;
};

// Every piece printed by any window, in order.
class PrintRecord
{
public:
    static PrintRecord& Get()
    {
        static PrintRecord record;
        return record;
    }
    static void Record(BWindow* window, const char* text, int kind)
    {
        PrintRecord& record = Get();
        std::lock_guard<std::mutex> lock(record.fLock);
        record.fPieces.push_back({window, window->Title(), text, kind});
    }
    std::vector<Printed> Pieces()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fPieces;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(fLock);
        fPieces.clear();
    }

private:
    std::mutex fLock;
    std::vector<Printed> fPieces;
};

// Receives the copies of raw traffic the engines send to the debug window.
class TrafficLooper : public BLooper
{
public:
    TrafficLooper() : BLooper("traffic") { Run(); }
    void MessageReceived(BMessage* message) override
    {
        const char* text;
        if (message->what == MSG_DBG && message->FindString("debug", &text) == B_OK) {
            std::lock_guard<std::mutex> lock(fLock);
            fLines.push_back(text);
        }
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fLines;
    }

private:
    std::mutex fLock;
    std::vector<std::string> fLines;
};

// A user of the server typed by the test: a plain socket.
class Peer
{
public:
    Peer(const std::string& port, const std::string& nick) : fNick(nick)
    {
        fFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in address {
        };
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(std::stoi(port)));
        fConnected =
            ::connect(fFd, reinterpret_cast<struct sockaddr*>(&address), sizeof(address)) == 0;
        Send("NICK " + nick);
        Send("USER " + nick + " 0 * :" + nick);
    }
    ~Peer()
    {
        if (fFd >= 0)
            close(fFd);
    }
    bool Registered() { return WaitFor(" 001 " + fNick); }
    void Send(const std::string& line)
    {
        {
            std::lock_guard<std::mutex> lock(fLock);
            fLog.push_back(fNick + " > " + line);
        }
        std::string bytes = line + "\r\n";
        size_t sent = 0;
        while (fConnected && sent < bytes.size()) {
            ssize_t n = ::send(fFd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += size_t(n);
        }
    }
    // Reads until a line received contains `text` (true), or time runs out.
    bool WaitFor(const std::string& text, int timeoutMs = 10000)
    {
        return WaitForLine(
                   [&](const std::string& line) { return line.find(text) != std::string::npos; },
                   timeoutMs) != nullptr;
    }
    const std::string* WaitForLine(const std::function<bool(const std::string&)>& match,
                                   int timeoutMs = 10000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            for (; fSeen < fReceived.size(); fSeen++)
                if (match(fReceived[fSeen]))
                    return &fReceived[fSeen++];
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(int(left.count())))
                return nullptr;
        }
    }
    // Whether a line containing `text` arrives within `ms` (for what must
    // not arrive).
    bool Receives(const std::string& text, int ms) { return WaitFor(text, ms); }
    std::string Log()
    {
        std::lock_guard<std::mutex> lock(fLock);
        std::string all;
        for (const std::string& line : fLog)
            all += "  " + line + "\n";
        return all;
    }

private:
    bool ReadSome(int timeoutMs)
    {
        struct pollfd fd = {fFd, POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0)
            return false;
        char buffer[8192];
        ssize_t n = recv(fFd, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return false;
        fPartial.append(buffer, size_t(n));
        size_t end;
        while ((end = fPartial.find('\n')) != std::string::npos) {
            std::string line = fPartial.substr(0, end);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            fPartial.erase(0, end + 1);
            if (line.rfind("PING", 0) == 0) {
                Send("PONG" + line.substr(4));
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(fLock);
                fLog.push_back(fNick + " < " + line);
            }
            fReceived.push_back(line);
        }
        return true;
    }

    std::string fNick;
    int fFd = -1;
    bool fConnected = false;
    std::string fPartial;
    std::vector<std::string> fReceived;
    size_t fSeen = 0;
    std::mutex fLock;
    std::vector<std::string> fLog;
};

// The client on its own settings folder, driven headless.
class Client
{
public:
    // Writes the settings the client will start with, then starts it.
    explicit Client(TestDir& config, const std::function<void(BMessage*)>& settings = nullptr)
    {
        config.UseAsConfigHome();
        if (settings) {
            Prefs prefs("Pelmor settings", "Pelmor");
            prefs.Lock();
            settings(prefs.GetMsg());
            prefs.Unlock();
        }
        set_print_recorder(&PrintRecord::Record);
        fTraffic = new TrafficLooper;
        fTrafficLooper = fTraffic;
        g_debug.Set(fTraffic);
        driver = std::make_unique<TestDriver>([] { return new IRCApp(); });
    }
    ~Client()
    {
        // The traffic looper goes first: the quitting application would
        // take it down with its own loopers.
        g_debug.Clear(fTraffic);
        // Through the looper list: File > Exit may have taken it already.
        if (BLooper::_LockLooper(fTrafficLooper, B_INFINITE_TIMEOUT) == B_OK)
            fTraffic->Quit();
        driver.reset();
        set_print_recorder(nullptr);
    }

    // Polls until `done` holds (true) or 10 s pass.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return done();
    }
    // Whether a window whose title starts with `title` printed a piece
    // containing `text` (of `kind`, unless -1).
    bool Printed(const std::string& title, const std::string& text, int kind = -1)
    {
        for (const ::Printed& piece : PrintRecord::Get().Pieces())
            if (piece.title.rfind(title, 0) == 0 && piece.text.find(text) != std::string::npos &&
                (kind < 0 || piece.kind == kind))
                return true;
        return false;
    }
    bool WaitPrinted(const std::string& title, const std::string& text, int kind = -1)
    {
        return WaitUntil([&] { return Printed(title, text, kind); });
    }
    bool Sent(const std::string& line)
    {
        for (const std::string& l : fTraffic->Lines())
            if (l == line + "\n" || l == line + "\r\n")
                return true;
        return false;
    }
    bool WaitSent(const std::string& line)
    {
        return WaitUntil([&] { return Sent(line); });
    }
    // Types a line into the named window's input line and presses Enter.
    void Say(BWindow* window, const std::string& text)
    {
        BView* input = driver->FindView(window, "message");
        ASSERT_NE(input, nullptr);
        driver->Click(input);
        driver->Type(text);
        driver->Key(B_ENTER);
        driver->WaitIdle();
    }
    // A window's title, read under its lock (through the looper list: the
    // window may be gone); "" when it is gone or busy in a menu.
    static std::string TitleOf(BWindow* window)
    {
        if (BLooper::_LockLooper(window, 1000000) != B_OK)
            return std::string();
        std::string title = window->Title();
        window->Unlock();
        return title;
    }
    BWindow* WindowStarting(const std::string& title, int timeoutMs = 10000)
    {
        BWindow* found = nullptr;
        WaitUntil(
            [&] {
                for (BWindow* w : driver->Windows())
                    if (TitleOf(w).rfind(title, 0) == 0) {
                        found = w;
                        return true;
                    }
                return false;
            },
            timeoutMs);
        return found;
    }
    std::string Dump()
    {
        std::string all = "client traffic:\n";
        for (const std::string& line : fTraffic->Lines())
            all += "  " + line + (line.empty() || line.back() != '\n' ? "\n" : "");
        all += "printed:\n";
        for (const ::Printed& piece : PrintRecord::Get().Pieces())
            all += "  [" + piece.title + "] (" + std::to_string(piece.kind) + ") " + piece.text +
                   (piece.text.empty() || piece.text.back() != '\n' ? "\n" : "");
        return all;
    }

    std::unique_ptr<TestDriver> driver;

private:
    TrafficLooper* fTraffic;
    BLooper* fTrafficLooper;
};

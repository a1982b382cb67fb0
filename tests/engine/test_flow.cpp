// Flow in both directions: a window slower than its server, and servers that
// read slowly or not at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "EngineTestSupport.h"

namespace
{

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif
#else
const bool kSanitized = false;
#endif

const char kOverflowText[] = "ERROR : more than 64 KB waiting to be sent, connection closed\n";
const char kStallText[] = "ERROR : the server stopped reading, connection closed\n";
// The engine's receive block: how many lines one read can bring at most.
const int kBlock = 4096;

long resident_kb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Work that takes `time` on the calling thread: sleeping would take the
// timer's slack on top.
void spin(std::chrono::microseconds time)
{
    auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
    }
}

// A server window that times what the engine does on its thread and can be
// made slow. Holds the engine as a handler; what it reads of the engine it
// reads in its own lock, where the engine cannot go away.
class Owner : public BLooper
{
public:
    Owner() : BLooper("owner") { Run(); }

    void Adopt(irc* engine)
    {
        Lock();
        AddHandler(engine);
        fEngine = engine;
        Unlock();
    }
    // Deletes the engine in the looper's lock, as a window does; returns
    // how long that took.
    bigtime_t Drop()
    {
        Lock();
        bigtime_t start = system_time();
        RemoveHandler(fEngine);
        delete fEngine;
        fEngine = nullptr;
        bigtime_t took = system_time() - start;
        Unlock();
        return took;
    }
    void Stop()
    {
        Lock();
        Quit();
    }

    // Each PRIVMSG line takes `work`; the first one `stall` more.
    void SetPace(std::chrono::microseconds work, std::chrono::milliseconds stall)
    {
        fWork = work;
        fStall = stall;
    }

    void DispatchMessage(BMessage* message, BHandler* handler) override
    {
        if (handler == nullptr || handler != fEngine) {
            BLooper::DispatchMessage(message, handler);
            return;
        }
        bigtime_t start = system_time();
        BLooper::DispatchMessage(message, handler);
        bigtime_t took = system_time() - start;
        size_t unsent = fEngine->unsent_bytes();
        std::lock_guard<std::mutex> lock(fLock);
        fLongestCommand = std::max(fLongestCommand, took);
        fMostUnsent = std::max(fMostUnsent, unsent);
        fCommandsQueued += unsent > 0;
    }

    void MessageReceived(BMessage* message) override
    {
        if (message->what == MSG_IRC && strcmp(message->GetString("command", ""), "PRIVMSG") == 0) {
            Line(message->GetString("params", ""));
            return;
        }
        std::lock_guard<std::mutex> lock(fLock);
        if (message->what == MSG_INF)
            fInfos.push_back(message->GetString("txt", ""));
        else if (message->what == MSG_CON)
            fEnded = true;
        fChanged.notify_all();
    }

    bool WaitFor(const std::function<bool()>& done, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(fLock);
        return fChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    }
    bool WaitEnded(int timeoutMs = 10000)
    {
        return WaitFor([this] { return fEnded; }, timeoutMs);
    }

    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<std::string> fInfos;
    bool fEnded = false;
    bigtime_t fLongestCommand = 0;
    size_t fMostUnsent = 0;
    int fCommandsQueued = 0; // commands that left bytes waiting
    // Set: at the first flood line the window waits until the engine has
    // stopped reading for it, then deletes the engine (fDropTook).
    bool fDropWhenPaused = false;
    bigtime_t fDropTook = -1;
    // The flood: lines "#flood :<number> ...", counted and checked in order.
    int64 fHandled = 0;
    int64 fOutOfOrder = 0;
    int32 fMostWaiting = 0;
    long fMostResident = 0;

private:
    void Line(const char* params)
    {
        if (fDropWhenPaused && fEngine != nullptr)
            DropWhenPaused();
        if (fHandled == 0)
            std::this_thread::sleep_for(fStall);
        long number = strtol(params + strlen("#flood :"), nullptr, 10);
        int32 waiting = fEngine != nullptr ? fEngine->unhandled_messages() : 0;
        long resident = fHandled % 2048 == 0 ? resident_kb() : 0;
        spin(fWork);
        std::lock_guard<std::mutex> lock(fLock);
        fOutOfOrder += number != fHandled;
        fHandled++;
        fMostWaiting = std::max(fMostWaiting, waiting);
        fMostResident = std::max(fMostResident, resident);
        fChanged.notify_all();
    }

    void DropWhenPaused()
    {
        int32 seen = -1;
        for (int i = 0; i < 1000; i++) {
            int32 now = fEngine->unhandled_messages();
            if (now > IRC_BACKLOG_PAUSE && now == seen)
                break;
            seen = now;
            snooze(20000);
        }
        bigtime_t start = system_time();
        RemoveHandler(fEngine);
        delete fEngine;
        fEngine = nullptr;
        std::lock_guard<std::mutex> lock(fLock);
        fDropTook = system_time() - start;
        fChanged.notify_all();
    }

    irc* fEngine = nullptr;
    std::chrono::microseconds fWork{0};
    std::chrono::milliseconds fStall{0};
};

// One flood line of exactly 100 bytes with its CR LF.
std::string flood_line(int number)
{
    std::string line = ":srv!u@h PRIVMSG #flood :" + std::to_string(number) + " ";
    line.append(98 - line.size(), 'f');
    return line + "\r\n";
}

// Sends `bytes` on `fd` until done, failed or told to stop.
bool send_until(int fd, const std::string& bytes, const std::atomic<bool>& stop)
{
    size_t sent = 0;
    while (sent < bytes.size() && !stop.load()) {
        struct pollfd wait = {fd, POLLOUT, 0};
        if (poll(&wait, 1, 100) <= 0)
            continue;
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return sent == bytes.size();
}

class Flow : public testing::Test
{
protected:
    void SetUp() override
    {
        // These drive many lines at once; the pace has tests of its own.
        irc::set_send_pacing(1, 0);
        owner = new Owner;
        engine = new irc(owner);
        owner->Adopt(engine);
    }
    void TearDown() override
    {
        irc::set_send_pacing(0, 0);
        stop = true;
        for (std::thread& thread : threads)
            thread.join();
        server->Close();
        if (engine != nullptr)
            owner->Drop();
        if (HasFailure()) {
            fprintf(stderr, "status lines:\n");
            for (const std::string& info : Infos())
                fprintf(stderr, "  %s", info.c_str());
        }
        owner->Stop();
        irc::set_stall_timeout(0);
        irc::set_silence_timeout(0);
    }

    // Starts the engine on `server`, reads its USER line; with
    // `sendBuffer`, gives its socket a send buffer that small.
    void Connect(int sendBuffer = 0)
    {
        engine->setup("127.0.0.1", "Pelmor", server->Port().c_str());
        engine->start();
        ASSERT_TRUE(server->Accept());
        if (sendBuffer > 0) {
            ASSERT_TRUE(server->ShrinkClientSendBuffer(sendBuffer));
        }
        ASSERT_EQ(server->ReadLine(), "CAP LS 302\n");
        ASSERT_EQ(server->ReadLine().rfind("USER Pelmor ", 0), 0u);
    }
    void Command(const std::string& text)
    {
        BMessage message(MSG_IRC);
        message.AddString("cmd", text.c_str());
        owner->PostMessage(&message, engine);
    }
    // Sends long lines until the socket takes no more and they wait in the
    // engine, a few kilobytes of them: far from the limit. The kernel goes
    // on taking a little for a while after the first refusal.
    bool FillTheSocket()
    {
        bigtime_t start = system_time();
        for (int i = 0; system_time() - start < 20000000; i++) {
            for (int j = 0; j < 4; j++)
                Command("/MSG #c filler " + std::to_string(i) + " " + std::string(400, 'z'));
            snooze(1000);
            size_t unsent = engine->unsent_bytes();
            if (unsent > 4096) {
                snooze(300000);
                if (engine->unsent_bytes() == unsent)
                    return true;
            }
        }
        return false;
    }
    std::vector<std::string> Infos()
    {
        std::lock_guard<std::mutex> lock(owner->fLock);
        return owner->fInfos;
    }
    bool HasInfo(const std::string& text)
    {
        std::vector<std::string> all = Infos();
        return std::find(all.begin(), all.end(), text) != all.end();
    }

    std::unique_ptr<ScriptedServer> server = std::make_unique<ScriptedServer>(2048);
    Owner* owner = nullptr;
    irc* engine = nullptr;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
};

} // namespace

// The window stalls at the first line, then takes its time over each: the
// engine must stop reading at the bound and go on as the window catches up,
// losing nothing, and memory must not grow with the flood.
TEST_F(Flow, ASlowWindowGetsEveryLineInOrderWithABoundedQueue)
{
    const int kLines = 150000;
    server = std::make_unique<ScriptedServer>();
    owner->SetPace(std::chrono::microseconds(10), std::chrono::milliseconds(300));
    long before = resident_kb();
    Connect();
    threads.emplace_back([this, kLines] {
        std::string block;
        for (int i = 0; i < kLines && !stop.load(); i++) {
            block += flood_line(i);
            if (block.size() > 100000 || i == kLines - 1) {
                if (!send_until(server->Fd(), block, stop))
                    return;
                block.clear();
            }
        }
    });
    ASSERT_TRUE(owner->WaitFor([this, kLines] { return owner->fHandled == kLines; }, 120000))
        << owner->fHandled << " lines handled";
    std::lock_guard<std::mutex> lock(owner->fLock);
    EXPECT_EQ(owner->fOutOfOrder, 0);
    // The line in hand, the bound, and what one block can hold besides.
    EXPECT_LE(owner->fMostWaiting, IRC_BACKLOG_PAUSE + kBlock / 100 + 2);
    EXPECT_GT(owner->fMostWaiting, IRC_BACKLOG_PAUSE) << "the window's stall filled the queue";
    // Unbounded, the flood takes some 50 MB of messages; sanitizers keep
    // freed memory in quarantine, so only the plain build can tell.
    if (!kSanitized) {
        EXPECT_LT(owner->fMostResident - before, 16 * 1024) << "kB grown";
    }
}

// The server sends a million PINGs and reads nothing: the answers pile up.
// The window must never wait for the socket, and the connection is given
// up once 64 KB wait in the engine.
TEST_F(Flow, AServerThatNeverReadsCannotHoldTheWindow)
{
    Connect(4096);
    // Twenty at a time, so that the window's commands meet a full socket
    // well before the limit.
    threads.emplace_back([this] {
        const std::string token(40, 't');
        std::string block;
        for (int i = 1; i <= 1000000 && !stop.load(); i++) {
            block += "PING :" + token + "\r\n";
            if (i % 20 == 0) {
                if (!send_until(server->Fd(), block, stop))
                    return; // the client has closed
                block.clear();
                snooze(1000);
            }
        }
    });
    // Commands from the window meanwhile, each timed on the window's thread.
    bigtime_t start = system_time();
    while (!owner->WaitEnded(5) && system_time() - start < 20000000)
        Command("/MSG #c still here " + std::string(400, 'w'));
    ASSERT_TRUE(owner->WaitEnded());
    {
        std::lock_guard<std::mutex> lock(owner->fLock);
        EXPECT_LT(owner->fLongestCommand, 100000) << "us on the window's thread";
        EXPECT_GE(owner->fCommandsQueued, 5) << "commands that met a full socket";
        EXPECT_LE(owner->fMostUnsent, size_t(IRC_SEND_LIMIT));
    }
    std::vector<std::string> all = Infos();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2], kOverflowText);
    EXPECT_EQ(all.back(), "exit thread\n");
    EXPECT_FALSE(engine->writeln("PRIVMSG #c :late\n"));
    EXPECT_LT(owner->Drop(), 4000000);
    engine = nullptr;
}

// A server that stops reading with a few kilobytes waiting: QUIT cannot
// go out, and deleting the engine takes the three seconds it waits for the
// server, no longer.
TEST_F(Flow, DeletingWhileTheServerStopsReadingTakesTheQuitWait)
{
    Connect(4096);
    ASSERT_TRUE(FillTheSocket());
    snooze(200000);
    size_t unsent = engine->unsent_bytes();
    EXPECT_GT(unsent, 0u) << "the server takes nothing";
    EXPECT_LT(unsent, size_t(IRC_SEND_LIMIT));
    bigtime_t took = owner->Drop();
    engine = nullptr;
    EXPECT_LT(took, 4000000);
    EXPECT_GE(took, 2500000) << "it gave the server its time";
    ASSERT_TRUE(owner->WaitFor(
        [this] { return !owner->fInfos.empty() && owner->fInfos.back() == "READY.\n"; }, 10000));
    EXPECT_FALSE(HasInfo(kOverflowText));
}

// Nothing leaves for the stall time: the connection is given up and says
// why.
TEST_F(Flow, AStalledConnectionIsClosed)
{
    irc::set_stall_timeout(1500000);
    Connect(4096);
    ASSERT_TRUE(FillTheSocket());
    bigtime_t filled = system_time();

    ASSERT_TRUE(owner->WaitEnded());
    bigtime_t took = system_time() - filled;
    EXPECT_GT(took, 500000) << "not before the stall time";
    EXPECT_LT(took, 5000000);
    std::vector<std::string> all = Infos();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2], kStallText);
    EXPECT_EQ(all.back(), "exit thread\n");
    EXPECT_EQ(engine->unsent_bytes(), 0u);
    EXPECT_FALSE(engine->writeln("PRIVMSG #c :late\n"));
}

// The server reads in odd-sized pieces and, once, not at all for longer
// than the client ever waited for a write before; meanwhile it sends PINGs
// and the window sends long lines. A line the socket took in part is
// completed before anything else: every line arrives whole, PONGs included.
TEST_F(Flow, APartlyWrittenLineIsCompletedBeforeAnyOther)
{
    const int kLines = 300;
    Connect(4096);
    std::mutex lock;
    std::string received;
    // Set once the pings have stopped: the reader ends when the client has
    // been quiet for a while, so that no answer is caught half read.
    std::atomic<bool> drain{false};
    std::atomic<bool> stopPings{false};
    threads.emplace_back([&] {
        static const size_t sPieces[] = {1, 7, 64, 333, 997, 1500, 2, 129};
        char buffer[1500];
        bool paused = false;
        for (size_t i = 0; !stop.load(); i++) {
            bool pause;
            {
                std::lock_guard<std::mutex> guard(lock);
                pause = !paused && received.size() > 40000;
            }
            // Longer than the ten seconds a write used to wait for room.
            if (pause) {
                paused = true;
                for (int j = 0; j < 105 && !stop.load(); j++)
                    snooze(100000);
            }
            struct pollfd wait = {server->Fd(), POLLIN, 0};
            if (poll(&wait, 1, 300) <= 0) {
                if (drain.load())
                    return;
                continue;
            }
            ssize_t n = recv(server->Fd(), buffer, sPieces[i % 8], 0);
            if (n <= 0)
                return;
            std::lock_guard<std::mutex> guard(lock);
            received.append(buffer, size_t(n));
            snooze(200);
        }
    });
    std::atomic<int> pings{0};
    threads.emplace_back([&] {
        while (!stop.load() && !stopPings.load()) {
            std::string ping = "PING :p" + std::to_string(pings.load()) + "\r\n";
            if (send(server->Fd(), ping.data(), ping.size(), MSG_NOSIGNAL) != ssize_t(ping.size()))
                return;
            pings++;
            snooze(5000);
        }
    });
    auto line = [](int i) {
        return "PRIVMSG #c :line " + std::to_string(i) + std::string(450, 'x');
    };
    for (int i = 0; i < kLines; i++) {
        // Well below the limit, PONGs included.
        for (int wait = 0; wait < 20000 && engine->unsent_bytes() > 16384; wait++)
            snooze(1000);
        Command("/MSG #c line " + std::to_string(i) + std::string(450, 'x'));
        snooze(500);
    }
    auto complete = [&] {
        std::lock_guard<std::mutex> guard(lock);
        return received.find(line(kLines - 1) + "\n") != std::string::npos;
    };
    for (int i = 0; i < 30000 && !complete(); i++)
        snooze(1000);
    stopPings = true;
    threads[1].join();
    drain = true;
    for (std::thread& thread : threads)
        if (thread.joinable())
            thread.join();
    threads.clear();

    std::istringstream lines(received);
    std::string text;
    std::vector<long> order;
    int pongs = 0, bad = 0;
    while (std::getline(lines, text)) {
        char* end = nullptr;
        if (text.rfind("PONG :p", 0) == 0) {
            long number = strtol(text.c_str() + 7, &end, 10);
            if (*end == '\0' && number < pings.load()) {
                pongs++;
                continue;
            }
        } else if (text.rfind("PRIVMSG #c :line ", 0) == 0) {
            long number = strtol(text.c_str() + 17, &end, 10);
            if (text == line(int(number))) {
                order.push_back(number);
                continue;
            }
        }
        if (bad++ < 3)
            ADD_FAILURE() << "mixed or cut line (" << text.size()
                          << " bytes): " << text.substr(0, 60) << " ... "
                          << text.substr(text.size() > 60 ? text.size() - 60 : 0);
    }
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(order.size(), size_t(kLines)) << "every window line";
    for (int i = 0; i < kLines; i++)
        ASSERT_EQ(order[size_t(i)], i) << "in order";
    EXPECT_GT(pongs, 100);
    EXPECT_TRUE(received.empty() || received.back() == '\n');
}

// The window is far behind and deletes the engine: it can no longer take
// lines while it waits, so the engine must stop waiting for it, or it would
// not see the server close after QUIT and would sit out the whole wait.
TEST_F(Flow, DeletingWhilePausedForTheWindowIsPrompt)
{
    server = std::make_unique<ScriptedServer>();
    owner->fDropWhenPaused = true;
    Connect();
    threads.emplace_back([this] {
        std::string block;
        for (int i = 0; i < 10000; i++)
            block += flood_line(i);
        while (send_until(server->Fd(), block, stop)) {
        }
    });
    std::atomic<bool> quit{false};
    threads.emplace_back([this, &quit] {
        for (std::string line = server->ReadLine(); !line.empty() && !stop.load();
             line = server->ReadLine()) {
            if (line == "QUIT\n") {
                quit = true;
                shutdown(server->Fd(), SHUT_RDWR);
                return;
            }
        }
    });
    ASSERT_TRUE(owner->WaitFor([this] { return owner->fDropTook >= 0; }, 20000));
    engine = nullptr;
    EXPECT_TRUE(quit.load());
    EXPECT_LT(owner->fDropTook, 2000000) << "us; the server closed at once";
    ASSERT_TRUE(owner->WaitFor(
        [this] { return !owner->fInfos.empty() && owner->fInfos.back() == "READY.\n"; }, 10000));
    std::vector<std::string> all = Infos();
    EXPECT_EQ(all[all.size() - 2], "exit thread\n");
}

// A reader paused for a slow window reads nothing: a server quiet all that
// time is not silent. Once the window has caught up the clock runs again.
TEST_F(Flow, TimePausedForTheWindowIsNoSilence)
{
    irc::set_silence_timeout(300000);
    server = std::make_unique<ScriptedServer>();
    Connect();
    // Paused five times the silence time: long enough to be given up.
    owner->SetPace(std::chrono::microseconds(0), std::chrono::milliseconds(1500));
    const int kLines = 2 * IRC_BACKLOG_PAUSE;
    std::string block;
    for (int i = 0; i < kLines; i++)
        block += flood_line(i);
    server->Send(block);
    ASSERT_TRUE(owner->WaitFor([this, kLines] { return owner->fHandled == kLines; }, 20000));
    EXPECT_FALSE(owner->WaitEnded(0));
    EXPECT_EQ(server->ReadAll(50).find("PING"), std::string::npos);
    ASSERT_EQ(server->ReadLine(3000), "PING :Pelmor\n");
    EXPECT_FALSE(owner->WaitEnded(0));
}

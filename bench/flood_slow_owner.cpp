// A server floods the engine while its window is slow: by default 2,000,000
// lines of 100 bytes from 127.0.0.1, and an owner looper that takes 50 us of
// work for each line. The engine must stop reading while the window is
// behind, so the process's memory stays small however long the flood.
//
//     build/bench/flood_slow_owner [lines] [microseconds per line]
//
// Prints the time, the peak resident size (VmHWM) and the most messages
// seen waiting, and checks that every line arrived once and in order. Exit
// status 1 when a line is missing or out of order, or the peak is 100 MB or
// more. Not run by CTest: at the defaults it takes 100 s and a core.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <IrcCodes.h>
#include <Looper.h>
#include <Message.h>
#include <irc.h>

namespace
{

using Clock = std::chrono::steady_clock;

const long kPeakLimitKb = 100 * 1024;

long status_kb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    size_t length = strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0)
            return std::stol(line.substr(length));
    return -1;
}

// One line of exactly 100 bytes with its CR LF.
std::string flood_line(long number)
{
    std::string line = ":srv!u@host PRIVMSG #flood :" + std::to_string(number) + " ";
    line.append(98 - line.size(), 'f');
    return line + "\r\n";
}

// The window: checks each line's number and works `work` on it.
class SlowOwner : public BLooper
{
public:
    SlowOwner(long lines, std::chrono::microseconds work)
        : BLooper("slow owner"), fLines(lines), fWork(work)
    {
    }

    void SetEngine(irc* engine) { fEngine = engine; }

    void MessageReceived(BMessage* message) override
    {
        if (message->what == MSG_CON) {
            std::lock_guard<std::mutex> lock(fLock);
            fEnded = true;
            fChanged.notify_all();
            return;
        }
        if (message->what != MSG_IRC || strcmp(message->GetString("command", ""), "PRIVMSG") != 0)
            return;
        long number = strtol(message->GetString("params", "") + strlen("#flood :"), nullptr, 10);
        int32 waiting = fEngine != nullptr ? fEngine->unhandled_messages() : 0;
        auto until = Clock::now() + fWork;
        while (Clock::now() < until) {
        }
        std::lock_guard<std::mutex> lock(fLock);
        fOutOfOrder += number != fHandled;
        fHandled++;
        fMostWaiting = std::max(fMostWaiting, waiting);
        if (fHandled == fLines || fHandled % 100000 == 0)
            fChanged.notify_all();
    }

    // Waits for every line, printing progress; false if the connection
    // ended first.
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(fLock);
        long reported = 0;
        while (fHandled < fLines && !fEnded) {
            fChanged.wait_for(lock, std::chrono::seconds(1));
            if (fHandled / 200000 != reported / 200000) {
                reported = fHandled;
                printf("  %ld lines, %ld kB resident, at most %d waiting\n", fHandled,
                       status_kb("VmRSS:"), int(fMostWaiting));
                fflush(stdout);
            }
        }
        return fHandled == fLines;
    }

    std::mutex fLock;
    std::condition_variable fChanged;
    long fHandled = 0;
    long fOutOfOrder = 0;
    int32 fMostWaiting = 0;
    bool fEnded = false;

private:
    const long fLines;
    const std::chrono::microseconds fWork;
    irc* fEngine = nullptr;
};

bool send_all(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

// The engine's USER line (after its CAP line); false when none comes.
bool read_registration(int fd)
{
    std::string line;
    char byte;
    struct pollfd wait = {fd, POLLIN, 0};
    while (poll(&wait, 1, 10000) == 1 && recv(fd, &byte, 1, 0) == 1) {
        if (byte != '\n') {
            line.push_back(byte);
            continue;
        }
        if (line.compare(0, 4, "CAP ") != 0)
            return line.compare(0, 5, "USER ") == 0;
        line.clear();
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    long lines = argc > 1 ? atol(argv[1]) : 2000000;
    long micros = argc > 2 ? atol(argv[2]) : 50;
    if (lines <= 0 || micros < 0) {
        fprintf(stderr, "usage: %s [lines] [microseconds per line]\n", argv[0]);
        return 2;
    }

    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in address {
    };
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) ||
        listen(listener, 1) ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length)) {
        perror("listen on 127.0.0.1");
        return 1;
    }

    auto* owner = new SlowOwner(lines, std::chrono::microseconds(micros));
    owner->Run();
    irc* engine = new irc(owner);
    owner->Lock();
    owner->AddHandler(engine);
    owner->SetEngine(engine);
    owner->Unlock();
    engine->setup("127.0.0.1", "flood", std::to_string(ntohs(address.sin_port)).c_str());
    engine->start();

    struct pollfd incoming = {listener, POLLIN, 0};
    int server = poll(&incoming, 1, 10000) == 1 ? accept(listener, nullptr, nullptr) : -1;
    if (server < 0 || !read_registration(server)) {
        fprintf(stderr, "the engine did not connect and register\n");
        return 1;
    }

    long before = status_kb("VmRSS:");
    printf("%ld lines of 100 bytes, the window working %ld us on each\n", lines, micros);
    fflush(stdout);
    Clock::time_point start = Clock::now();
    std::thread writer([server, lines] {
        std::string block;
        for (long i = 0; i < lines; i++) {
            block += flood_line(i);
            if (block.size() >= 1 << 20 || i == lines - 1) {
                if (!send_all(server, block))
                    return;
                block.clear();
            }
        }
    });
    bool complete = owner->Wait();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();

    long peak = status_kb("VmHWM:");
    long handled, outOfOrder;
    int32 mostWaiting;
    {
        std::lock_guard<std::mutex> lock(owner->fLock);
        handled = owner->fHandled;
        outOfOrder = owner->fOutOfOrder;
        mostWaiting = owner->fMostWaiting;
    }
    printf("  lines arrived        %ld of %ld, %ld out of order\n", handled, lines, outOfOrder);
    printf("  time                 %.1f s (the window's work alone: %.1f s)\n", seconds,
           double(lines) * double(micros) / 1e6);
    printf("  most waiting         %d messages (pause above %d)\n", int(mostWaiting),
           int(IRC_BACKLOG_PAUSE));
    printf("  resident at start    %ld kB\n", before);
    printf("  peak resident        %ld kB (VmHWM)   [limit %ld kB: %s]\n", peak, kPeakLimitKb,
           peak < kPeakLimitKb ? "met" : "MISSED");

    close(server);
    owner->Lock();
    owner->SetEngine(nullptr);
    owner->RemoveHandler(engine);
    delete engine;
    owner->Quit();
    close(listener);
    return complete && outOfOrder == 0 && peak < kPeakLimitKb ? 0 : 1;
}

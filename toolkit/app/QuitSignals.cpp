#include "QuitSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "AppDefs.h"

namespace BPrivate
{

namespace
{

const int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
const int kQuitSignalCount = int(sizeof(kQuitSignals) / sizeof(kQuitSignals[0]));
// Told to the watcher through the pipe besides signal numbers, which are
// never 0: the application is going.
const char kStop = 0;

// All the handler touches: the pipe's write end, and the count of handlers
// running, so that the pipe is closed only when none can still write to it.
std::atomic<int> sSignalPipe{-1};
std::atomic<int> sInHandler{0};

struct Watch {
    int readEnd = -1;
    int writeEnd = -1;
    std::thread thread;
    struct sigaction previous[kQuitSignalCount];
    bool caught[kQuitSignalCount] = {};
    struct sigaction previousPipe;
    bool pipeIgnored = false;
};

// Only the application's constructor and destructor change it.
Watch* sWatch = nullptr;

void on_quit_signal(int number)
{
    int savedErrno = errno;
    sInHandler++;
    int fd = sSignalPipe.load();
    if (fd >= 0) {
        char byte = char(number);
        ssize_t ignored = write(fd, &byte, 1);
        (void)ignored;
    }
    sInHandler--;
    errno = savedErrno;
}

void set_default(int number)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
}

void watch(Watch* state, BMessenger target)
{
    bool asked = false;
    for (;;) {
        char byte;
        ssize_t got = read(state->readEnd, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || byte == kStop)
            return;
        if (!asked) {
            asked = true;
            // Before the request: whatever comes after it meets the
            // default action.
            for (int i = 0; i < kQuitSignalCount; i++) {
                if (state->caught[i])
                    set_default(kQuitSignals[i]);
            }
            target.SendMessage(B_QUIT_REQUESTED);
            continue;
        }
        // A second signal that came before the default action was back.
        kill(getpid(), int(byte));
    }
}

} // namespace

void watch_quit_signals(const BMessenger& target)
{
    if (sWatch != nullptr)
        return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        perror("cannot watch for termination signals");
        return;
    }
    // The handler must never block, whatever the watcher does.
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    auto* state = new Watch;
    state->readEnd = fds[0];
    state->writeEnd = fds[1];
    sSignalPipe = fds[1];

    struct sigaction action = {};
    action.sa_handler = on_quit_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int number : kQuitSignals)
        sigaddset(&action.sa_mask, number);
    for (int i = 0; i < kQuitSignalCount; i++) {
        struct sigaction& previous = state->previous[i];
        if (sigaction(kQuitSignals[i], nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        state->caught[i] = sigaction(kQuitSignals[i], &action, nullptr) == 0;
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    state->pipeIgnored = sigaction(SIGPIPE, &ignore, &state->previousPipe) == 0;

    // Started last: it reads `caught`.
    state->thread = std::thread(watch, state, target);
    sWatch = state;
}

void unwatch_quit_signals()
{
    Watch* state = sWatch;
    if (state == nullptr)
        return;
    sWatch = nullptr;
    for (int i = 0; i < kQuitSignalCount; i++) {
        if (!state->caught[i])
            continue;
        // Someone who put a handler of their own over ours keeps it.
        struct sigaction current;
        if (sigaction(kQuitSignals[i], nullptr, &current) == 0 &&
            (current.sa_handler == on_quit_signal || current.sa_handler == SIG_DFL))
            sigaction(kQuitSignals[i], &state->previous[i], nullptr);
    }
    if (state->pipeIgnored)
        sigaction(SIGPIPE, &state->previousPipe, nullptr);

    sSignalPipe = -1;
    while (sInHandler.load() != 0)
        std::this_thread::yield();
    char stop = kStop;
    while (write(state->writeEnd, &stop, 1) < 0 && errno == EINTR) {
    }
    state->thread.join();
    close(state->readEnd);
    close(state->writeEnd);
    delete state;
}

} // namespace BPrivate

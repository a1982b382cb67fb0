#pragma once

// A program run by a test as a process of its own, to be told apart from
// the test by what it prints, how it ends and what it leaves on disk.
// Killed with the object if still running.

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <OS.h>

extern char** environ;

class ChildProcess
{
public:
    explicit ChildProcess(const std::vector<std::string>& args)
    {
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        if (posix_spawn(&fPid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            fPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        fOutput = fds[0];
    }
    ~ChildProcess()
    {
        if (fPid > 0) {
            kill(fPid, SIGKILL);
            waitpid(fPid, nullptr, 0);
        }
        if (fOutput >= 0)
            close(fOutput);
    }

    bool Started() const { return fPid > 0; }
    pid_t Pid() const { return fPid; }

    // Reads the standard output until a line `line` came; false when the
    // program ended or `limit` passed first.
    bool WaitForLine(const std::string& line, bigtime_t limit)
    {
        bigtime_t end = system_time() + limit;
        for (;;) {
            for (size_t start = 0, newline;
                 (newline = fRead.find('\n', start)) != std::string::npos; start = newline + 1) {
                if (fRead.compare(start, newline - start, line) == 0) {
                    fRead.erase(0, newline + 1);
                    return true;
                }
            }
            bigtime_t left = end - system_time();
            struct pollfd p = {fOutput, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, int(left / 1000) + 1) <= 0)
                return false;
            char buffer[512];
            ssize_t got = read(fOutput, buffer, sizeof(buffer));
            if (got <= 0)
                return false;
            fRead.append(buffer, size_t(got));
        }
    }

    bool Signal(int number) const { return fPid > 0 && kill(fPid, number) == 0; }

    // The wait status once the program has ended; false when it still runs
    // after `limit`.
    bool WaitForEnd(bigtime_t limit, int* status)
    {
        for (bigtime_t end = system_time() + limit; fPid > 0;) {
            pid_t done = waitpid(fPid, status, WNOHANG);
            if (done == fPid) {
                fPid = -1;
                return true;
            }
            if (done < 0 && errno != EINTR)
                return false;
            if (system_time() >= end)
                return false;
            snooze(10000);
        }
        return false;
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

private:
    pid_t fPid = -1;
    int fOutput = -1;
    std::string fRead;
};

#pragma once

// What the engine tests share: a scripted server on 127.0.0.1 that sends
// exact bytes and reads exact bytes back, and an owner looper that records
// every message the engine posts to it.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <IrcCodes.h>
#include <Looper.h>
#include <Message.h>
#include <irc.h>

// A listening socket on 127.0.0.1 on a free port; `receiveBuffer` > 0
// gives accepted connections a receive buffer that small.
inline int listen_on_loopback(int receiveBuffer, int* port)
{
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (receiveBuffer > 0)
        setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    struct sockaddr_in address {
    };
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<struct sockaddr*>(&address), sizeof(address));
    listen(listener, 4);
    socklen_t length = sizeof(address);
    getsockname(listener, reinterpret_cast<struct sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return listener;
}

class ScriptedServer
{
public:
    // With `receiveBuffer`, the accepted connection's receive buffer is
    // that small (set before listening, so the window is scaled to it): a
    // server that reads slowly then makes the client's sends partial.
    explicit ScriptedServer(int receiveBuffer = 0)
    {
        fListener = listen_on_loopback(receiveBuffer, &fPort);
    }
    ~ScriptedServer()
    {
        Close();
        if (fListener >= 0)
            close(fListener);
    }

    std::string Port() const { return std::to_string(fPort); }
    // The accepted connection, for tests that read or write it from
    // threads of their own.
    int Fd() const { return fClient; }

    // Gives the client's end of the accepted connection (a socket of this
    // process: the engine's) a send buffer of about `bytes`. On loopback
    // the kernel lets a sender queue megabytes for a peer that reads
    // nothing; over a real network it is tens of kilobytes, and this makes
    // it so, so that the engine's own queue is what fills.
    bool ShrinkClientSendBuffer(int bytes)
    {
        struct sockaddr_in peer {
        };
        socklen_t length = sizeof(peer);
        if (fClient < 0 ||
            getpeername(fClient, reinterpret_cast<struct sockaddr*>(&peer), &length) != 0)
            return false;
        for (int fd = 0; fd < 4096; fd++) {
            struct sockaddr_in local {
            };
            length = sizeof(local);
            if (fd == fClient || fd == fListener ||
                getsockname(fd, reinterpret_cast<struct sockaddr*>(&local), &length) != 0 ||
                local.sin_family != AF_INET || local.sin_port != peer.sin_port ||
                local.sin_addr.s_addr != peer.sin_addr.s_addr)
                continue;
            return setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes)) == 0;
        }
        return false;
    }

    bool Accept(int timeoutMs = 10000)
    {
        struct pollfd fd = {fListener, POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0)
            return false;
        fClient = accept4(fListener, nullptr, nullptr, SOCK_CLOEXEC);
        // A new connection: nothing of the last one carries over.
        fClosed = false;
        fPending.clear();
        return fClient >= 0;
    }

    void Send(const std::string& bytes)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = send(fClient, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += size_t(n);
        }
    }

    // One line as the client sent it, with its LF; "" on time-out.
    std::string ReadLine(int timeoutMs = 10000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t end = fPending.find('\n');
            if (end != std::string::npos) {
                std::string line = fPending.substr(0, end + 1);
                fPending.erase(0, end + 1);
                return line;
            }
            if (!Fill(deadline))
                return "";
        }
    }

    // Everything that arrives until the client is quiet for `quietMs`.
    std::string ReadAll(int quietMs = 300)
    {
        while (Fill(std::chrono::steady_clock::now() + std::chrono::milliseconds(quietMs))) {
        }
        std::string all = fPending;
        fPending.clear();
        return all;
    }

    void Close()
    {
        if (fClient >= 0)
            close(fClient);
        fClient = -1;
    }
    bool PeerClosed(int timeoutMs = 10000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Fill(deadline)) {
        }
        return fClosed;
    }

private:
    bool Fill(std::chrono::steady_clock::time_point deadline)
    {
        if (fClient < 0 || fClosed)
            return false;
        int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                           deadline - std::chrono::steady_clock::now())
                           .count());
        struct pollfd fd = {fClient, POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, left) <= 0)
            return false;
        char buffer[4096];
        ssize_t n = recv(fClient, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            fClosed = true;
            return false;
        }
        fPending.append(buffer, size_t(n));
        return true;
    }

    int fListener = -1;
    int fClient = -1;
    int fPort = 0;
    bool fClosed = false;
    std::string fPending;
};

// Owns nothing; records copies of what reaches it. With a nickname set it
// answers every 433 as a server window would, alternating two names.
class RecordingLooper : public BLooper
{
public:
    RecordingLooper() : BLooper("owner") { Run(); }

    void MessageReceived(BMessage* message) override
    {
        std::lock_guard<std::mutex> lock(fLock);
        fMessages.push_back(*message);
        fChanged.notify_all();
        int16 code;
        if (message->what == MSG_IRC && message->FindInt16("code", &code) == B_OK && code == 433 &&
            fEngine != nullptr && !fNick.empty()) {
            const char* current = fEngine->get_cur_nick();
            std::string nick = fNick == current ? fNick2 : fNick;
            BMessage command(MSG_IRC);
            command.AddString("cmd", ("/NICK " + nick).c_str());
            PostMessage(&command, fEngine);
        }
    }

    // Waits until `done` holds for the messages so far.
    bool WaitFor(const std::function<bool(const std::vector<BMessage>&)>& done,
                 int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(fLock);
        return fChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return done(fMessages); });
    }
    bool WaitForInfo(const std::string& text, int timeoutMs = 10000)
    {
        return WaitFor(
            [&](const std::vector<BMessage>& all) {
                for (const BMessage& m : all)
                    if (m.what == MSG_INF && text == m.GetString("txt", ""))
                        return true;
                return false;
            },
            timeoutMs);
    }
    bool WaitForCode(uint32 what, int timeoutMs = 10000)
    {
        return WaitFor(
            [&](const std::vector<BMessage>& all) {
                for (const BMessage& m : all)
                    if (m.what == what)
                        return true;
                return false;
            },
            timeoutMs);
    }
    std::vector<BMessage> Messages()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fMessages;
    }
    std::vector<std::string> Infos()
    {
        std::vector<std::string> texts;
        for (const BMessage& m : Messages())
            if (m.what == MSG_INF)
                texts.push_back(m.GetString("txt", ""));
        return texts;
    }
    // The server lines posted, as "command|params|from|code".
    std::vector<std::string> Lines()
    {
        std::vector<std::string> lines;
        for (const BMessage& m : Messages()) {
            if (m.what != MSG_IRC)
                continue;
            int16 code = -1;
            bool hasCode = m.FindInt16("code", &code) == B_OK;
            lines.push_back(std::string(m.GetString("command", "-")) + "|" +
                            m.GetString("params", "-") + "|" + m.GetString("from", "-") + "|" +
                            (hasCode ? std::to_string(code) : "-"));
        }
        return lines;
    }
    std::string Dump()
    {
        std::string text;
        for (const BMessage& m : Messages()) {
            char what[5] = {char(m.what >> 16), char(m.what >> 8), char(m.what), 0, 0};
            text += std::string(what) + ": ";
            if (m.what == MSG_INF)
                text += m.GetString("txt", "");
            else if (m.what == MSG_IRC)
                text += std::string(m.GetString("command", "-")) + " " + m.GetString("params", "-");
            text += "\n";
        }
        return text;
    }

    void Answer433(irc* engine, const std::string& nick, const std::string& nick2)
    {
        std::lock_guard<std::mutex> lock(fLock);
        fEngine = engine;
        fNick = nick;
        fNick2 = nick2;
    }

    // Adds the engine as a handler, as a server window does.
    void Adopt(irc* engine)
    {
        Lock();
        AddHandler(engine);
        Unlock();
    }
    // Removes and deletes the engine in the looper's lock, as a window does.
    void Drop(irc* engine)
    {
        Lock();
        RemoveHandler(engine);
        {
            std::lock_guard<std::mutex> lock(fLock);
            if (fEngine == engine)
                fEngine = nullptr;
        }
        delete engine;
        Unlock();
    }
    void Stop()
    {
        Lock();
        Quit();
    }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<BMessage> fMessages;
    irc* fEngine = nullptr;
    std::string fNick;
    std::string fNick2;
};

#pragma once

// A real IRC server for end-to-end tests: Debian's ngircd, started on a
// free port on 127.0.0.1 with a configuration in a temporary folder, and
// stopped when the object goes. Stop() and Start() take it down and bring
// it back on the same port, for tests of what clients do meanwhile.

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestDir.h"

class Ngircd
{
public:
    static const char* Binary()
    {
        for (const char* path : {"/usr/sbin/ngircd", "/usr/bin/ngircd"})
            if (access(path, X_OK) == 0)
                return path;
        return nullptr;
    }

    // A certificate, its key and Diffie-Hellman parameters (PEM files):
    // the server then also listens for TLS on TlsPort().
    struct Tls {
        std::string cert, key, dh;
    };

    // `ipv6`: on ::1 only, not on 127.0.0.1.
    explicit Ngircd(bool ipv6 = false, const Tls* tls = nullptr) : fIpv6(ipv6)
    {
        fPort = FreePort();
        std::string ssl;
        if (tls != nullptr) {
            do
                fTlsPort = FreePort();
            while (fTlsPort == fPort);
            ssl = "[SSL]\n"
                  "    CertFile = " +
                  tls->cert + "\n    KeyFile = " + tls->key + "\n" +
                  (tls->dh.empty() ? "" : "    DHFile = " + tls->dh + "\n") +
                  "    Ports = " + std::to_string(fTlsPort) + "\n";
        }
        chmod(fDir.Path().c_str(), 0755);
        std::string config = fDir / "ngircd.conf";
        TestDir::WriteFile(config, "[Global]\n"
                                   "    Name = irc.pelmor.test\n"
                                   "    Info = Pelmor test server\n"
                                   "    AdminInfo1 = Pelmor tests\n"
                                   "    AdminInfo2 = 127.0.0.1\n"
                                   "    AdminEMail = nobody@pelmor.test\n"
                                   "    Listen = " +
                                       std::string(fIpv6 ? "::1" : "127.0.0.1") +
                                       "\n"
                                       "    Ports = " +
                                       std::to_string(fPort) +
                                       "\n"
                                       "    MotdPhrase = \"Welcome to the Pelmor test server\"\n"
                                       "[Limits]\n"
                                       "    PingTimeout = 120\n"
                                       "    PongTimeout = 20\n"
                                       "    MaxNickLength = 30\n"
                                       "[Options]\n"
                                       "    DNS = no\n"
                                       "    Ident = no\n"
                                       "    PAM = no\n" +
                                       ssl);
        Start();
    }

    ~Ngircd() { Stop(); }

    // Starts the server (again) on its ports; true once it takes connections.
    bool Start()
    {
        const char* binary = Binary();
        if (binary == nullptr || fPort == 0 || fPid > 0)
            return fReady;
        std::string config = fDir / "ngircd.conf";
        std::string log = fDir / "ngircd.log";
        fPid = fork();
        if (fPid == 0) {
            int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
            }
            execl(binary, binary, "-n", "-f", config.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready once it accepts connections.
        for (int i = 0; i < 200 && !fReady; i++) {
            fReady = CanConnect(fPort) && (fTlsPort == 0 || CanConnect(fTlsPort));
            if (!fReady)
                usleep(50000);
        }
        return fReady;
    }

    // Ends the server; its clients' connections close with it.
    void Stop()
    {
        fReady = false;
        if (fPid <= 0)
            return;
        pid_t pid = fPid;
        fPid = -1;
        kill(pid, SIGTERM);
        for (int i = 0; i < 60; i++) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return;
            usleep(50000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    bool Ready() const { return fReady; }
    std::string Port() const { return std::to_string(fPort); }
    std::string TlsPort() const { return std::to_string(fTlsPort); }
    std::string Log() const { return TestDir::ReadFile(fDir / "ngircd.log"); }

    Ngircd(const Ngircd&) = delete;
    Ngircd& operator=(const Ngircd&) = delete;

private:
    // A port free on the loopback address the server listens on.
    uint16_t FreePort() const
    {
        struct sockaddr_storage address {
        };
        socklen_t length = Loopback(&address, 0);
        int s = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        uint16_t port = 0;
        if (bind(s, reinterpret_cast<struct sockaddr*>(&address), length) == 0 &&
            getsockname(s, reinterpret_cast<struct sockaddr*>(&address), &length) == 0)
            port = ntohs(fIpv6 ? reinterpret_cast<struct sockaddr_in6*>(&address)->sin6_port
                               : reinterpret_cast<struct sockaddr_in*>(&address)->sin_port);
        close(s);
        return port;
    }

    bool CanConnect(uint16_t port) const
    {
        struct sockaddr_storage address {
        };
        socklen_t length = Loopback(&address, port);
        int s = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bool ok = connect(s, reinterpret_cast<struct sockaddr*>(&address), length) == 0;
        close(s);
        return ok;
    }

    socklen_t Loopback(struct sockaddr_storage* storage, uint16_t port) const
    {
        if (fIpv6) {
            auto* address = reinterpret_cast<struct sockaddr_in6*>(storage);
            address->sin6_family = AF_INET6;
            address->sin6_addr = in6addr_loopback;
            address->sin6_port = htons(port);
            return sizeof(*address);
        }
        auto* address = reinterpret_cast<struct sockaddr_in*>(storage);
        address->sin_family = AF_INET;
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address->sin_port = htons(port);
        return sizeof(*address);
    }

    bool fIpv6 = false;
    TestDir fDir;
    uint16_t fPort = 0;
    uint16_t fTlsPort = 0;
    pid_t fPid = -1;
    bool fReady = false;
};

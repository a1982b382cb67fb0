// The engine over TLS against a scripted TLS server of the test's own, with
// certificates made for each case in a temporary folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <thread>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "EngineTestSupport.h"
#include "TestCerts.h"

namespace
{

std::string local_host_name()
{
    char host[65] = {};
    gethostname(host, sizeof(host) - 1);
    return host;
}

// One TLS connection at a time on 127.0.0.1, served with blocking calls.
class TlsServer
{
public:
    explicit TlsServer(const TestCerts::Cert& cert, int receiveBuffer = 0)
    {
        fContext = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_file(fContext, cert.cert.c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_use_PrivateKey_file(fContext, cert.key.c_str(), SSL_FILETYPE_PEM);
        fListener = listen_on_loopback(receiveBuffer, &fPort);
    }
    ~TlsServer()
    {
        Close();
        close(fListener);
        SSL_CTX_free(fContext);
    }

    std::string Port() const { return std::to_string(fPort); }
    // The name the client asked for (SNI), once accepted.
    std::string ServerName() const { return fServerName; }

    // Accepts a connection and shakes hands; false when either fails.
    bool Accept(int timeoutMs = 10000)
    {
        struct pollfd fd = {fListener, POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0)
            return false;
        fClient = accept4(fListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fClient < 0)
            return false;
        SetTimeout(timeoutMs);
        fSsl = SSL_new(fContext);
        SSL_set_fd(fSsl, fClient);
        if (SSL_accept(fSsl) != 1) {
            ERR_clear_error();
            return false;
        }
        const char* name = SSL_get_servername(fSsl, TLSEXT_NAMETYPE_host_name);
        fServerName = name != nullptr ? name : "";
        return true;
    }

    bool Send(const std::string& bytes)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            int n = SSL_write(fSsl, bytes.data() + sent, int(bytes.size() - sent));
            if (n <= 0)
                return false;
            sent += size_t(n);
        }
        return true;
    }

    std::string ReadLine(int timeoutMs = 10000)
    {
        SetTimeout(timeoutMs);
        for (;;) {
            size_t end = fPending.find('\n');
            if (end != std::string::npos) {
                std::string line = fPending.substr(0, end + 1);
                fPending.erase(0, end + 1);
                return line;
            }
            if (!Fill())
                return "";
        }
    }

    // What arrives until the client is quiet for `quietMs` or closes.
    std::string ReadAll(int quietMs = 300)
    {
        SetTimeout(quietMs);
        while (Fill()) {
        }
        std::string all = fPending;
        fPending.clear();
        return all;
    }
    bool PeerClosed() const { return fClosed; }

    void Close()
    {
        SSL_free(fSsl);
        fSsl = nullptr;
        if (fClient >= 0)
            close(fClient);
        fClient = -1;
    }

private:
    void SetTimeout(int ms)
    {
        struct timeval tv = {ms / 1000, (ms % 1000) * 1000};
        setsockopt(fClient, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    }
    bool Fill()
    {
        if (fSsl == nullptr || fClosed)
            return false;
        char buffer[4096];
        int n = SSL_read(fSsl, buffer, sizeof(buffer));
        if (n <= 0) {
            int error = SSL_get_error(fSsl, n);
            if (error == SSL_ERROR_ZERO_RETURN ||
                (error == SSL_ERROR_SYSCALL && errno != EAGAIN && errno != EWOULDBLOCK) ||
                error == SSL_ERROR_SSL)
                fClosed = true;
            ERR_clear_error();
            return false;
        }
        fPending.append(buffer, size_t(n));
        return true;
    }

    SSL_CTX* fContext = nullptr;
    SSL* fSsl = nullptr;
    int fListener = -1;
    int fClient = -1;
    int fPort = 0;
    bool fClosed = false;
    std::string fPending;
    std::string fServerName;
};

bigtime_t timed_drop(RecordingLooper* owner, irc* engine)
{
    bigtime_t start = system_time();
    owner->Drop(engine);
    return system_time() - start;
}

bool has_info_start(RecordingLooper* owner, const std::string& start, int timeoutMs = 10000)
{
    return owner->WaitFor(
        [&](const std::vector<BMessage>& all) {
            for (const BMessage& m : all)
                if (m.what == MSG_INF && std::string(m.GetString("txt", "")).rfind(start, 0) == 0)
                    return true;
            return false;
        },
        timeoutMs);
}

class Tls : public testing::Test
{
protected:
    void SetUp() override
    {
        // The scripted server writes with OpenSSL, which uses write(): a
        // client that hung up must not end the test process.
        signal(SIGPIPE, SIG_IGN);
        // Some push many lines at once; the pace has tests of its own.
        irc::set_send_pacing(1, 0);
        irc::set_tls_ca_file(certs.Ca().cert.c_str());
    }
    void TearDown() override
    {
        irc::set_send_pacing(0, 0);
        for (auto& [owner, engine] : engines) {
            if (engine != nullptr)
                owner->Drop(engine);
            owner->Stop();
        }
        irc::set_tls_ca_file(nullptr);
        irc::set_handshake_timeout(0);
    }

    // A started engine and its owner; the fixture deletes both.
    RecordingLooper* Start(const char* host, const std::string& port, bool tls = true,
                           const std::string& accepted = "")
    {
        auto* owner = new RecordingLooper;
        irc* engine = new irc(owner);
        owner->Adopt(engine);
        engine->setup(host, "Pelmor", port.c_str());
        engine->set_tls(tls, accepted.c_str());
        engine->start();
        engines.emplace_back(owner, engine);
        return owner;
    }
    irc* EngineOf(RecordingLooper* owner)
    {
        for (auto& pair : engines)
            if (pair.first == owner)
                return pair.second;
        return nullptr;
    }
    void Drop(RecordingLooper* owner)
    {
        for (auto& pair : engines) {
            if (pair.first == owner && pair.second != nullptr) {
                owner->Drop(pair.second);
                pair.second = nullptr;
            }
        }
    }

    // Expects the engine to refuse `cert` for `reason` without writing a
    // byte, and to hand its fingerprint to the window.
    void ExpectRefused(const TestCerts::Cert& cert, const char* host, const std::string& reason,
                       const std::string& accepted = "")
    {
        SCOPED_TRACE(reason);
        TlsServer server(cert);
        RecordingLooper* owner = Start(host, server.Port(), true, accepted);
        ASSERT_TRUE(server.Accept()) << owner->Dump();
        EXPECT_EQ(server.ReadAll(2000), "") << "nothing is sent on a refused connection";
        EXPECT_TRUE(server.PeerClosed());
        ASSERT_TRUE(owner->WaitForCode(MSG_CON)) << owner->Dump();
        std::vector<std::string> infos = owner->Infos();
        EXPECT_NE(std::find(infos.begin(), infos.end(),
                            "ERROR : TLS certificate refused: " + reason + "\n"),
                  infos.end())
            << owner->Dump();
        bool told = false;
        for (const BMessage& m : owner->Messages()) {
            if (m.what != MSG_TLS_CERT)
                continue;
            told = true;
            EXPECT_EQ(std::string(m.GetString("fingerprint", "")), cert.fingerprint);
            EXPECT_EQ(std::string(m.GetString("reason", "")), reason);
            EXPECT_STREQ(m.GetString("server", ""), host);
        }
        EXPECT_TRUE(told) << owner->Dump();
    }

    TestCerts certs;
    std::vector<std::pair<RecordingLooper*, irc*>> engines;
};

} // namespace

TEST_F(Tls, AVerifiedConnectionCarriesLinesBothWays)
{
    TestCerts::Cert cert = certs.Server("localhost", {"DNS:localhost", "IP:127.0.0.1"});
    for (const char* host : {"localhost", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        TlsServer server(cert);
        RecordingLooper* owner = Start(host, server.Port());
        ASSERT_TRUE(server.Accept());
        // A name is sent for the server to pick its certificate; an
        // address is not.
        EXPECT_EQ(server.ServerName(), strcmp(host, "localhost") == 0 ? "localhost" : "");
        std::string server_field = host;
        ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
        ASSERT_EQ(server.ReadLine(),
                  "USER Pelmor " + local_host_name() + " " + server_field + " :INFO\n");
        ASSERT_TRUE(has_info_start(owner, "TLS: TLSv1.3 ")) << owner->Dump();
        server.Send(":srv 001 bob :Welcome\r\nPING :tls1\r\n");
        EXPECT_EQ(server.ReadLine(), "PONG :tls1\n");
        ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
            for (const BMessage& m : all)
                if (m.what == MSG_IRC && strcmp(m.GetString("command", ""), "001") == 0)
                    return true;
            return false;
        })) << owner->Dump();
        BMessage command(MSG_IRC);
        command.AddString("cmd", "/JOIN #tls");
        owner->PostMessage(&command, EngineOf(owner));
        EXPECT_EQ(server.ReadLine(), "JOIN #tls\n");

        // Deleting sends QUIT through TLS and waits for the server to close.
        std::thread closer([&] {
            if (server.ReadLine() == "QUIT\n")
                server.Close();
        });
        bigtime_t start = system_time();
        Drop(owner);
        EXPECT_LT(system_time() - start, 2000000);
        closer.join();
    }
}

TEST_F(Tls, RefusedCertificatesNameTheirReasonAndNothingIsSent)
{
    const std::vector<std::string> local = {"DNS:localhost", "IP:127.0.0.1"};
    TestCerts::Cert other = certs.Server("other", {"DNS:other.example", "IP:10.0.0.1"});
    ExpectRefused(other, "localhost", "hostname mismatch");
    ExpectRefused(other, "127.0.0.1", "IP address mismatch");
    ExpectRefused(certs.Server("self", local, -3600, 86400, true), "localhost",
                  "self-signed certificate");
    ExpectRefused(certs.Server("expired", local, -2 * 86400, -86400), "localhost",
                  "certificate has expired");
    ExpectRefused(certs.Server("future", local, 86400, 2 * 86400), "localhost",
                  "certificate is not yet valid");
    // Without the test CA the chain ends nowhere the system trusts.
    irc::set_tls_ca_file(nullptr);
    ExpectRefused(certs.Server("unknown", local), "localhost",
                  "unable to get local issuer certificate");
}

TEST_F(Tls, AnAcceptedFingerprintLetsInThatCertificateOnly)
{
    const std::vector<std::string> local = {"DNS:localhost", "IP:127.0.0.1"};
    TestCerts::Cert self = certs.Server("self", local, -3600, 86400, true);
    {
        TlsServer server(self);
        RecordingLooper* owner = Start("localhost", server.Port(), true, self.fingerprint);
        ASSERT_TRUE(server.Accept());
        EXPECT_EQ(server.ReadLine(), "CAP LS 302\n") << owner->Dump();
        EXPECT_EQ(server.ReadLine().rfind("USER Pelmor ", 0), 0u) << owner->Dump();
        server.Send("PING :in\r\n");
        EXPECT_EQ(server.ReadLine(), "PONG :in\n");
    }
    // Another self-signed certificate for the same name: the stored
    // fingerprint is not a licence for the server.
    ExpectRefused(certs.Server("self2", local, -3600, 86400, true), "localhost",
                  "self-signed certificate", self.fingerprint);
    // Nor does it turn a CA-signed certificate for another name into one
    // for this server.
    TestCerts::Cert other = certs.Server("other", {"DNS:other.example"});
    ExpectRefused(other, "localhost", "hostname mismatch", self.fingerprint);
    // The accepted certificate itself, even for a name it does not carry.
    TlsServer server(other);
    RecordingLooper* owner = Start("localhost", server.Port(), true, other.fingerprint);
    ASSERT_TRUE(server.Accept());
    EXPECT_EQ(server.ReadLine(), "CAP LS 302\n") << owner->Dump();
    EXPECT_EQ(server.ReadLine().rfind("USER Pelmor ", 0), 0u) << owner->Dump();
}

TEST_F(Tls, PlainToATlsPortAndTlsToAPlainPortFailWithAClearLine)
{
    TestCerts::Cert cert = certs.Server("localhost", {"DNS:localhost", "IP:127.0.0.1"});
    {
        // The TLS server takes the USER line for a bad handshake and closes.
        TlsServer server(cert);
        bigtime_t start = system_time();
        RecordingLooper* owner = Start("127.0.0.1", server.Port(), false);
        EXPECT_FALSE(server.Accept());
        server.Close();
        ASSERT_TRUE(owner->WaitForCode(MSG_CON, 3000)) << owner->Dump();
        EXPECT_LT(system_time() - start, 3000000);
        EXPECT_TRUE(has_info_start(owner,
                                   "ERROR : the server closed the connection before it sent a "
                                   "line; if this is a TLS port, write host:+port",
                                   0))
            << owner->Dump();
    }
    {
        // A plain server that greets at once: the greeting is no TLS record.
        ScriptedServer server;
        bigtime_t start = system_time();
        RecordingLooper* owner = Start("127.0.0.1", server.Port());
        ASSERT_TRUE(server.Accept());
        server.Send(":srv NOTICE * :*** Looking up your hostname...\r\n");
        ASSERT_TRUE(owner->WaitForCode(MSG_CON, 3000)) << owner->Dump();
        EXPECT_LT(system_time() - start, 3000000);
        EXPECT_TRUE(has_info_start(owner,
                                   "ERROR : TLS handshake failed: the server does not speak TLS "
                                   "here",
                                   0))
            << owner->Dump();
        std::string sent = server.ReadAll();
        EXPECT_EQ(sent.find("USER"), std::string::npos) << "only the TLS hello went out";
    }
}

TEST_F(Tls, AStalledHandshakeTimesOutAndDeletingStopsItAtOnce)
{
    // A server that accepts and never answers; or a plain one that waits
    // for a line, which looks the same from here.
    ScriptedServer silent;
    RecordingLooper* owner = Start("127.0.0.1", silent.Port());
    ASSERT_TRUE(silent.Accept());
    ASSERT_TRUE(owner->WaitForInfo("TLS handshake ...\n")) << owner->Dump();
    EXPECT_LT(timed_drop(owner, EngineOf(owner)), 1000000) << "no QUIT waits on a handshake";
    engines.back().second = nullptr;
    std::string sent = silent.ReadAll();
    EXPECT_EQ(sent.find("QUIT"), std::string::npos);

    irc::set_handshake_timeout(500000);
    ScriptedServer stalled;
    bigtime_t start = system_time();
    RecordingLooper* timed = Start("127.0.0.1", stalled.Port());
    ASSERT_TRUE(stalled.Accept());
    ASSERT_TRUE(timed->WaitForCode(MSG_CON, 5000)) << timed->Dump();
    bigtime_t took = system_time() - start;
    EXPECT_GE(took, 500000);
    EXPECT_LT(took, 3000000);
    EXPECT_TRUE(has_info_start(timed, "ERROR : TLS handshake timed out: no answer in 0.5 s", 0))
        << timed->Dump();
}

TEST_F(Tls, AMegabyteWithoutALineEndIsCutIntoBoundedLines)
{
    TestCerts::Cert cert = certs.Server("localhost", {"DNS:localhost"});
    TlsServer server(cert);
    RecordingLooper* owner = Start("localhost", server.Port());
    ASSERT_TRUE(server.Accept());
    ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
    ASSERT_NE(server.ReadLine(), "");
    ASSERT_TRUE(server.Send(std::string(1 << 20, 'x')));
    ASSERT_TRUE(server.Send("\r\nPING :after\r\n"));
    EXPECT_EQ(server.ReadLine(20000), "PONG :after\n") << "the connection goes on";
    size_t longest = 0;
    for (const BMessage& m : owner->Messages())
        longest = std::max(longest, strlen(m.GetString("params", "")));
    EXPECT_LE(longest, 512u) << "no line grows past the bound";
}

TEST_F(Tls, LinesLeftInsideOpenSSLAreReadWithoutMoreTraffic)
{
    // One record of 12 KB holds many lines; the engine reads 4 KB at a
    // time, so the rest waits in OpenSSL with nothing on the socket.
    TestCerts::Cert cert = certs.Server("localhost", {"DNS:localhost"});
    TlsServer server(cert);
    RecordingLooper* owner = Start("localhost", server.Port());
    ASSERT_TRUE(server.Accept());
    ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
    ASSERT_NE(server.ReadLine(), "");
    std::string block;
    for (int i = 0; i < 30; i++)
        block += ":a!b@c PRIVMSG #t :" + std::string(380, 'a' + i % 26) + "\r\n";
    block += "PING :last\r\n";
    ASSERT_LT(block.size(), 16000u);
    ASSERT_TRUE(server.Send(block));
    EXPECT_EQ(server.ReadLine(5000), "PONG :last\n");
    ASSERT_TRUE(owner->WaitFor([](const std::vector<BMessage>& all) {
        int count = 0;
        for (const BMessage& m : all)
            count += m.what == MSG_IRC && strcmp(m.GetString("command", ""), "PRIVMSG") == 0;
        return count == 30;
    })) << owner->Dump();
}

TEST_F(Tls, WritesTheSocketTakesInPartsArriveWhole)
{
    TestCerts::Cert cert = certs.Server("localhost", {"DNS:localhost"});
    TlsServer server(cert, 4096);
    RecordingLooper* owner = Start("localhost", server.Port());
    ASSERT_TRUE(server.Accept());
    ASSERT_EQ(server.ReadLine(), "CAP LS 302\n");
    ASSERT_NE(server.ReadLine(), "");
    irc* engine = EngineOf(owner);
    // 40 KB while the server reads nothing: the socket fills and the
    // engine keeps the rest, then writes it as the server reads.
    for (int i = 0; i < 80; i++) {
        BMessage command(MSG_IRC);
        command.AddString("cmd", ("/^PRIVMSG #t :" + std::to_string(i) + " " +
                                  std::string(480, char('a' + i % 26)))
                                     .c_str());
        owner->PostMessage(&command, engine);
    }
    snooze(300000);
    for (int i = 0; i < 80; i++) {
        std::string expected =
            "PRIVMSG #t :" + std::to_string(i) + " " + std::string(480, char('a' + i % 26));
        expected = expected.substr(0, 510) + "\n";
        ASSERT_EQ(server.ReadLine(), expected) << i;
    }
}

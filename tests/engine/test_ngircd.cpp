// Two engines on a real IRC server.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "Ngircd.h"
#include "TestCerts.h"

#include <netdb.h>
#include <sys/socket.h>

namespace
{

// A user of the test: an owner looper and its engine.
struct Client {
    RecordingLooper* owner = new RecordingLooper;
    irc* engine = new irc(owner);

    Client(const std::string& port, const std::string& nick, const std::string& nick2,
           const char* host = "127.0.0.1", bool tls = false)
    {
        owner->Adopt(engine);
        owner->Answer433(engine, nick, nick2);
        engine->setup(host, "Pelmor", port.c_str());
        engine->set_tls(tls);
        engine->start();
    }
    ~Client()
    {
        if (engine != nullptr)
            owner->Drop(engine);
        owner->Stop();
    }
    void Command(const std::string& text)
    {
        BMessage message(MSG_IRC);
        message.AddString("cmd", text.c_str());
        owner->PostMessage(&message, engine);
    }
    // Waits for a posted line whose command, sender and parameter start
    // are as given.
    bool WaitLine(const std::string& command, const std::string& from,
                  const std::string& paramsStart)
    {
        return owner->WaitFor([&](const std::vector<BMessage>& all) {
            for (const BMessage& m : all) {
                if (m.what == MSG_IRC && command == m.GetString("command", "") &&
                    from == m.GetString("from", "") &&
                    std::string(m.GetString("params", "")).rfind(paramsStart, 0) == 0)
                    return true;
            }
            return false;
        });
    }
    bool WaitInfoStart(const std::string& start)
    {
        return owner->WaitFor([&](const std::vector<BMessage>& all) {
            for (const BMessage& m : all)
                if (m.what == MSG_INF && std::string(m.GetString("txt", "")).rfind(start, 0) == 0)
                    return true;
            return false;
        });
    }
};

} // namespace

TEST(Ngircd, TwoClientsTalkOnARealServer)
{
    ASSERT_NE(Ngircd::Binary(), nullptr) << "ngircd is not installed (./test.sh installs it)";
    Ngircd server;
    ASSERT_TRUE(server.Ready()) << server.Log();

    Client alice(server.Port(), "alice", "alice_");
    ASSERT_TRUE(alice.WaitLine("001", "irc.pelmor.test", "alice :")) << alice.owner->Dump();
    EXPECT_STREQ(alice.engine->get_cur_nick(), "alice");

    // The second client asks for the same name first: the server refuses
    // it before registration, so the reply names "*" and carries no code.
    Client bob(server.Port(), "alice", "bob");
    ASSERT_TRUE(bob.WaitLine("433", "irc.pelmor.test", "* alice ")) << bob.owner->Dump();
    for (const BMessage& m : bob.owner->Messages()) {
        if (strcmp(m.GetString("command", ""), "433") == 0) {
            EXPECT_FALSE(m.HasInt16("code"));
        }
    }
    bob.Command("/NICK bob");
    ASSERT_TRUE(bob.WaitLine("001", "irc.pelmor.test", "bob :")) << bob.owner->Dump();

    alice.Command("/JOIN #pelmor");
    ASSERT_TRUE(alice.WaitLine("JOIN", "alice", ":#pelmor")) << alice.owner->Dump();
    ASSERT_TRUE(alice.WaitLine("366", "irc.pelmor.test", "alice #pelmor ")) << alice.owner->Dump();
    bob.Command("/j #pelmor");
    ASSERT_TRUE(alice.WaitLine("JOIN", "bob", ":#pelmor")) << alice.owner->Dump();
    ASSERT_TRUE(bob.WaitLine("353", "irc.pelmor.test", "bob = #pelmor :")) << bob.owner->Dump();

    alice.Command("/MSG #pelmor hello from alice \xC3\xA9");
    ASSERT_TRUE(bob.WaitLine("PRIVMSG", "alice", "#pelmor :hello from alice \xC3\xA9\n"))
        << bob.owner->Dump();

    bob.Command("/CTCP VERSION alice");
    ASSERT_TRUE(bob.WaitInfoStart("VERSION alice Pelmor (v0.1a) for BeOS R4 Intel(c)"))
        << bob.owner->Dump();
    ASSERT_TRUE(alice.owner->WaitForInfo("query CTCP VERSION from bob\n"));
    bob.Command("/CTCP PING alice");
    ASSERT_TRUE(bob.WaitInfoStart("PING alice ")) << bob.owner->Dump();
    for (const std::string& info : bob.owner->Infos()) {
        if (info.rfind("PING alice ", 0) == 0) {
            EXPECT_TRUE(info == "PING alice 0 (s)\n" || info == "PING alice 1 (s)\n") << info;
        }
    }

    alice.Command("/NICK alice2");
    ASSERT_TRUE(bob.WaitLine("NICK", "alice", ":alice2")) << bob.owner->Dump();
    ASSERT_TRUE(alice.WaitLine("NICK", "alice", ":alice2"));
    EXPECT_STREQ(alice.engine->get_cur_nick(), "alice2");
    alice.Command("/MSG bob private words");
    ASSERT_TRUE(bob.WaitLine("PRIVMSG", "alice2", "bob :private words")) << bob.owner->Dump();

    // Alice quits: her engine sends QUIT and the server closes the line.
    bigtime_t start = system_time();
    alice.owner->Drop(alice.engine);
    alice.engine = nullptr;
    EXPECT_LT(system_time() - start, 2500000) << "the server closed after QUIT";
    ASSERT_TRUE(bob.WaitLine("QUIT", "alice2", ":")) << bob.owner->Dump();
    ASSERT_TRUE(alice.owner->WaitForInfo("READY.\n"));
    std::vector<std::string> infos = alice.owner->Infos();
    // The server's farewell (ERROR, shown so the user learns why a link
    // closed) comes between the QUIT and the thread's end.
    ASSERT_GE(infos.size(), 4u);
    EXPECT_EQ(infos[infos.size() - 4], "QUITING...\n");
    EXPECT_EQ(infos[infos.size() - 3].rfind("ERROR :", 0), 0u) << infos[infos.size() - 3];
    EXPECT_EQ(infos[infos.size() - 2], "exit thread\n");
    EXPECT_EQ(infos.back(), "READY.\n");
}

namespace
{

// "localhost" as a system whose hosts file lists it for IPv4 first and
// then for IPv6 resolves it.
int both_loopbacks(const char* name, const char* service, const struct addrinfo* hints,
                   struct addrinfo** result)
{
    if (strcmp(name, "localhost") != 0)
        return getaddrinfo(name, service, hints, result);
    struct addrinfo numeric = *hints;
    numeric.ai_flags |= AI_NUMERICHOST;
    struct addrinfo* four = nullptr;
    struct addrinfo* six = nullptr;
    if (getaddrinfo("127.0.0.1", service, &numeric, &four) != 0)
        return EAI_NONAME;
    if (getaddrinfo("::1", service, &numeric, &six) != 0) {
        freeaddrinfo(four);
        return EAI_NONAME;
    }
    struct addrinfo* last = four;
    while (last->ai_next != nullptr)
        last = last->ai_next;
    last->ai_next = six;
    *result = four;
    return 0;
}

} // namespace

// A server on ::1 only: reached by its address, and by a name whose first
// address (IPv4) refuses, the next one being tried.
TEST(Ngircd, AnIpv6OnlyServerIsReachedByAddressAndByName)
{
    Ngircd server(true);
    ASSERT_TRUE(server.Ready()) << server.Log();
    {
        Client byAddress(server.Port(), "six", "six_", "::1");
        ASSERT_TRUE(byAddress.WaitLine("001", "irc.pelmor.test", "six :"))
            << byAddress.owner->Dump();
    }
    irc::set_lookup_function(both_loopbacks);
    Client byName(server.Port(), "name", "name_", "localhost");
    const bool registered = byName.WaitLine("001", "irc.pelmor.test", "name :");
    irc::set_lookup_function(nullptr);
    EXPECT_TRUE(registered) << byName.owner->Dump();
}

namespace
{

// An ngircd that also listens for TLS with `cert`.
struct TlsNgircd {
    TestCerts& certs;
    Ngircd::Tls files;
    Ngircd server;
    TlsNgircd(TestCerts& all, const TestCerts::Cert& cert)
        : certs(all), files{cert.cert, cert.key, all.DhParams()}, server(false, &files)
    {
    }
};

bool waits_for_start(Client& client, const std::string& start, int timeoutMs)
{
    return client.owner->WaitFor(
        [&](const std::vector<BMessage>& all) {
            for (const BMessage& m : all)
                if (m.what == MSG_INF && std::string(m.GetString("txt", "")).rfind(start, 0) == 0)
                    return true;
            return false;
        },
        timeoutMs);
}

} // namespace

TEST(NgircdTls, TwoClientsTalkOverVerifiedTls)
{
    ASSERT_NE(Ngircd::Binary(), nullptr);
    TestCerts certs;
    irc::set_tls_ca_file(certs.Ca().cert.c_str());
    TlsNgircd tls(certs, certs.Server("localhost", {"DNS:localhost", "IP:127.0.0.1"}));
    ASSERT_TRUE(tls.server.Ready()) << tls.server.Log();

    Client alice(tls.server.TlsPort(), "alice", "alice_", "localhost", true);
    Client bob(tls.server.TlsPort(), "bob", "bob_", "127.0.0.1", true);
    ASSERT_TRUE(alice.WaitLine("001", "irc.pelmor.test", "alice :")) << alice.owner->Dump();
    ASSERT_TRUE(bob.WaitLine("001", "irc.pelmor.test", "bob :")) << bob.owner->Dump();
    ASSERT_TRUE(alice.WaitInfoStart("TLS: TLSv1.")) << alice.owner->Dump();

    alice.Command("/JOIN #secure");
    ASSERT_TRUE(alice.WaitLine("366", "irc.pelmor.test", "alice #secure ")) << alice.owner->Dump();
    bob.Command("/JOIN #secure");
    ASSERT_TRUE(alice.WaitLine("JOIN", "bob", ":#secure")) << alice.owner->Dump();
    alice.Command("/MSG #secure over tls \xC3\xA9");
    ASSERT_TRUE(bob.WaitLine("PRIVMSG", "alice", "#secure :over tls \xC3\xA9\n"))
        << bob.owner->Dump();
    bob.Command("/MSG #secure and back");
    ASSERT_TRUE(alice.WaitLine("PRIVMSG", "bob", "#secure :and back\n")) << alice.owner->Dump();
    irc::set_tls_ca_file(nullptr);
}

TEST(NgircdTls, WrongNamesAndSelfSignedCertificatesAreRefused)
{
    ASSERT_NE(Ngircd::Binary(), nullptr);
    TestCerts certs;
    irc::set_tls_ca_file(certs.Ca().cert.c_str());
    struct Case {
        TestCerts::Cert cert;
        const char* reason;
    } cases[] = {
        {certs.Server("other", {"DNS:irc.other.example"}), "hostname mismatch"},
        {certs.Server("self", {"DNS:localhost"}, -3600, 86400, true), "self-signed certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        TlsNgircd tls(certs, c.cert);
        ASSERT_TRUE(tls.server.Ready()) << tls.server.Log();
        Client client(tls.server.TlsPort(), "carol", "carol_", "localhost", true);
        ASSERT_TRUE(client.owner->WaitForCode(MSG_CON)) << client.owner->Dump();
        EXPECT_TRUE(
            waits_for_start(client, std::string("ERROR : TLS certificate refused: ") + c.reason, 0))
            << client.owner->Dump();
        // The server never saw a client register: nothing was sent.
        for (const BMessage& m : client.owner->Messages())
            EXPECT_NE(m.what, uint32(MSG_IRC)) << client.owner->Dump();
    }
    irc::set_tls_ca_file(nullptr);
}

TEST(NgircdTls, PlainToTheTlsPortAndTlsToThePlainPortSayWhatWentWrong)
{
    ASSERT_NE(Ngircd::Binary(), nullptr);
    TestCerts certs;
    irc::set_tls_ca_file(certs.Ca().cert.c_str());
    TlsNgircd tls(certs, certs.Server("localhost", {"DNS:localhost"}));
    ASSERT_TRUE(tls.server.Ready()) << tls.server.Log();

    bigtime_t start = system_time();
    Client plain(tls.server.TlsPort(), "dave", "dave_", "localhost", false);
    ASSERT_TRUE(plain.owner->WaitForCode(MSG_CON, 5000)) << plain.owner->Dump();
    EXPECT_LT(system_time() - start, 5000000);
    EXPECT_TRUE(waits_for_start(plain,
                                "ERROR : the server closed the connection before it sent "
                                "a line; if this is a TLS port, write host:+port",
                                0))
        << plain.owner->Dump();

    // ngircd's plain port says nothing until it gets a line, so a TLS
    // hello there stalls like a silent server: the handshake time-out
    // (shortened here from 10 s) ends it, naming the likely cause.
    irc::set_handshake_timeout(2000000);
    start = system_time();
    Client secure(tls.server.Port(), "erin", "erin_", "localhost", true);
    ASSERT_TRUE(secure.owner->WaitForCode(MSG_CON, 6000)) << secure.owner->Dump();
    EXPECT_LT(system_time() - start, 5000000);
    EXPECT_TRUE(waits_for_start(secure,
                                "ERROR : TLS handshake timed out: no answer in 2 s (if this is "
                                "a plain port, write host:port)",
                                0))
        << secure.owner->Dump();
    irc::set_handshake_timeout(0);
    irc::set_tls_ca_file(nullptr);
}

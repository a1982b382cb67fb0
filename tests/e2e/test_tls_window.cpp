// A server window and a TLS server whose certificate the system does not
// trust: the refusal, the alert with the fingerprint, Cancel and Accept.

#include "SessionSupport.h"

#include <Alert.h>
#include <AppPrefs.h>
#include <Prefs.h>
#include <TestDriver.h>

#include "Ngircd.h"
#include "TestCerts.h"

namespace
{

// The alert on screen, if any.
BAlert* find_alert(Client& client)
{
    for (BWindow* window : client.driver->Windows())
        if (auto* alert = dynamic_cast<BAlert*>(window))
            return alert;
    return nullptr;
}

// The alert once it shows, or null after 10 s.
BAlert* wait_alert(Client& client)
{
    BAlert* found = nullptr;
    client.WaitUntil([&] { return (found = find_alert(client)) != nullptr; });
    return found;
}

// Brings the alert forward as a click does and presses `key` once it has
// the keyboard: under load the alert may show a moment after it exists.
bool press_on_alert(Client& client, BAlert* alert, char key)
{
    client.driver->Click(alert, BPoint(60, 20));
    bool active = client.WaitUntil([&] {
        return client.driver->WaitIdle() &&
               client.driver->Locked(alert, [&] { return alert->IsActive(); });
    });
    client.driver->Key(key);
    client.driver->WaitIdle();
    return active;
}

std::string stored_fingerprint(const std::string& host)
{
    Prefs* prefs = app_prefs();
    if (prefs == nullptr)
        return "-";
    prefs->Lock();
    BMessage entry;
    std::string value = prefs->GetMsg()->FindMessage(host.c_str(), &entry) == B_OK
                            ? entry.GetString("tls_fingerprint", "")
                            : "-";
    prefs->Unlock();
    return value;
}

} // namespace

TEST(TlsWindow, ASelfSignedServerIsLetInOnlyAfterAccept)
{
    ASSERT_NE(Ngircd::Binary(), nullptr);
    TestCerts certs;
    TestCerts::Cert self = certs.Server("self", {"DNS:localhost"}, -3600, 86400, true);
    Ngircd::Tls files{self.cert, self.key, certs.DhParams()};
    Ngircd server(false, &files);
    ASSERT_TRUE(server.Ready()) << server.Log();

    TestDir config;
    const std::string address = "localhost:+" + server.TlsPort();
    PrintRecord::Get().Clear();
    Client client(config, [&](BMessage* settings) {
        settings->RemoveName("nick");
        settings->AddString("nick", "tessa");
        settings->RemoveName("default_server");
        settings->AddString("default_server", address.c_str());
    });
    BWindow* main = client.driver->FindWindow("Pelmor");
    ASSERT_NE(main, nullptr);
    client.driver->Click(client.driver->FindView(main, "Start"));
    BWindow* window = client.driver->FindWindow("Server");
    ASSERT_NE(window, nullptr);
    client.driver->WaitIdle();
    client.driver->Click(client.driver->FindView(window, "Connect"));

    ASSERT_TRUE(client.WaitPrinted(address, "TLS certificate refused: self-signed certificate", 3))
        << client.Dump();
    BAlert* alert = wait_alert(client);
    ASSERT_NE(alert, nullptr) << client.Dump();
    std::string text = client.driver->Locked(alert, [&] { return std::string(alert->Text()); });
    // The fingerprint in its two rows.
    EXPECT_NE(text.find(self.fingerprint.substr(0, 47) + "\n" + self.fingerprint.substr(48)),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("self-signed certificate"), std::string::npos) << text;
    EXPECT_STREQ(alert->ButtonLabel(0), "Accept");
    EXPECT_STREQ(alert->ButtonLabel(1), "Cancel");
    if (const char* dir = getenv("PELMOR_SNAPSHOTS")) {
        client.driver->SavePNG(alert, std::string(dir) + "/tls_alert.png");
        client.driver->SavePNG(window, std::string(dir) + "/tls_refused.png");
    }

    // Enter is Cancel: nothing is stored and the window stays unconnected.
    ASSERT_TRUE(press_on_alert(client, alert, B_ENTER));
    ASSERT_TRUE(client.WaitUntil([&] { return find_alert(client) == nullptr; }, 3000));
    snooze(300000);
    EXPECT_EQ(stored_fingerprint("localhost"), "");
    EXPECT_FALSE(client.Printed(address, "Welcome to the Pelmor test server"));
    EXPECT_FALSE(client.Printed("", "trying again")) << "a refused certificate is not retried";

    // Again, and Accept: stored with the server, and connected at once.
    client.driver->Click(client.driver->FindView(window, "Connect"));
    alert = wait_alert(client);
    ASSERT_NE(alert, nullptr) << client.Dump();
    ASSERT_TRUE(press_on_alert(client, alert, 'a'));
    ASSERT_TRUE(client.WaitPrinted(address, "Welcome to the Pelmor test server", 0))
        << client.Dump();
    EXPECT_TRUE(client.Printed(address, "TLS: TLSv1.3 ", 3));
    EXPECT_EQ(stored_fingerprint("localhost"), self.fingerprint);
    if (const char* dir = getenv("PELMOR_SNAPSHOTS"))
        client.driver->SavePNG(window, std::string(dir) + "/tls_connected.png");
}

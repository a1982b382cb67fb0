#include "ServerLogin.h"

#include <Message.h>

namespace
{
const char kLogins[] = "sasl";
} // namespace

ServerLogin find_server_login(const BMessage& settings, const std::string& host)
{
    ServerLogin login;
    BMessage logins;
    BMessage entry;
    if (host.empty() || settings.FindMessage(kLogins, &logins) != B_OK ||
        logins.FindMessage(host.c_str(), &entry) != B_OK)
        return login;
    login.account = entry.GetString("account", "");
    login.password = entry.GetString("password", "");
    return login;
}

void store_server_login(BMessage* settings, const std::string& host, const ServerLogin& login)
{
    if (settings == nullptr || host.empty())
        return;
    BMessage logins;
    const bool had = settings->FindMessage(kLogins, &logins) == B_OK;
    logins.RemoveName(host.c_str());
    if (!login.account.empty()) {
        BMessage entry;
        entry.AddString("account", login.account.c_str());
        entry.AddString("password", login.password.c_str());
        logins.AddMessage(host.c_str(), &entry);
    }
    if (had)
        settings->ReplaceMessage(kLogins, &logins);
    else if (!login.account.empty())
        settings->AddMessage(kLogins, &logins);
}

#pragma once

// The SASL login kept per server: the store's "sasl" message holds one
// message per host name with "account" and "password". Kept apart from
// the per-server message a server window holds while connected (and writes
// back when it disconnects), so an edit in the settings window meanwhile is
// not overwritten.

#include <string>

class BMessage;

struct ServerLogin {
    std::string account;
    std::string password;
};

// The login stored for `host` in `settings`; empty when there is none.
ServerLogin find_server_login(const BMessage& settings, const std::string& host);
// Stores the login for `host`; an empty account removes it.
void store_server_login(BMessage* settings, const std::string& host, const ServerLogin& login);

#pragma once

// A server as the user types it: "host", "host:port", or an IPv6 address
// in brackets, "[2001:db8::1]" or "[2001:db8::1]:6667". Without a port the
// server's is 6667.

#include <string>

// Splits `text` into host (brackets taken off) and port; false when it is
// no server: an empty host, a bracket never closed, or something other
// than ":port" after the closing bracket. The port is not checked here.
bool split_server_text(const std::string& text, std::string* host, std::string* port);

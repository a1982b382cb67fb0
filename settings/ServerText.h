#pragma once

// A server as the user types it: "host", "host:port", or an IPv6 address
// in brackets, "[2001:db8::1]" or "[2001:db8::1]:6667". Without a port the
// server's is 6667. TLS is asked for with a "+" before the port
// ("host:+6697", "[::1]:+6697") or with "ircs://host[:port]", whose
// default port is 6697.

#include <string>

// Splits `text` into host (brackets taken off) and port (without "+");
// false when it is no server: an empty host, a bracket never closed, or
// something other than ":port" after the closing bracket. The port is not
// checked here. `*tls`, when given, says whether TLS was asked for.
bool split_server_text(const std::string& text, std::string* host, std::string* port,
                       bool* tls = nullptr);

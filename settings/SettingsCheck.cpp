#include "SettingsCheck.h"
#include "ServerText.h"

namespace
{

bool is_blank(char c)
{
    return uint8_t(c) <= ' ' || c == 0x7f;
}

bool has_blank(const std::string& text)
{
    for (char c : text)
        if (is_blank(c))
            return true;
    return false;
}

// The engine keeps this much of a host name.
const size_t kMaxHost = 255;

} // namespace

std::string trim_blanks(const char* text)
{
    std::string value = text != nullptr ? text : "";
    size_t first = 0;
    while (first < value.size() && is_blank(value[first]))
        first++;
    size_t last = value.size();
    while (last > first && is_blank(value[last - 1]))
        last--;
    return value.substr(first, last - first);
}

const char* nick_problem(const char* text)
{
    std::string nick = trim_blanks(text);
    if (nick.empty())
        return "is empty";
    if (has_blank(nick))
        return "holds a blank";
    return nullptr;
}

const char* server_problem(const char* text)
{
    std::string server = trim_blanks(text);
    if (server.empty())
        return "Type a server first";
    if (has_blank(server))
        return "A server holds no blanks";
    std::string host, port;
    if (!split_server_text(server, &host, &port)) {
        // Only a bracketed address leaves a host behind when it fails.
        if (!host.empty())
            return "After the address in brackets only :port may follow";
        return "The host name is missing";
    }
    if (host.size() > kMaxHost)
        return "The host name is too long";
    if (port.empty() || port.size() > 5)
        return "The port must be 1 to 65535";
    long value = 0;
    for (char c : port) {
        if (c < '0' || c > '9')
            return "The port must be 1 to 65535";
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return "The port must be 1 to 65535";
    return nullptr;
}

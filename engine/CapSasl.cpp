#include "CapSasl.h"

#include <cstring>
#include <strings.h>

namespace
{

// A server line taken apart: the command, the middle parameters and the
// trailing one (after " :"; also a last middle word when there is no ':').
struct Parts {
    std::string command;
    std::vector<std::string> middle;
    std::string trailing;
    bool hasTrailing = false;
};

// Middle parameters beyond these are not needed and not kept.
const size_t kMaxMiddle = 8;
// The longest a base64 piece of one AUTHENTICATE line may be.
const size_t kAuthenticateChunk = 400;

Parts split(const char* line, size_t length)
{
    Parts parts;
    const char* at = line;
    const char* end = line + length;
    while (end > at && (end[-1] == '\n' || end[-1] == '\r'))
        end--;
    if (at < end && *at == ':') {
        const char* blank = static_cast<const char*>(memchr(at, ' ', size_t(end - at)));
        at = blank != nullptr ? blank : end;
    }
    bool first = true;
    while (at < end) {
        while (at < end && *at == ' ')
            at++;
        if (at == end)
            break;
        if (!first && *at == ':') {
            parts.trailing.assign(at + 1, end);
            parts.hasTrailing = true;
            break;
        }
        const char* blank = static_cast<const char*>(memchr(at, ' ', size_t(end - at)));
        const char* wordEnd = blank != nullptr ? blank : end;
        if (first)
            parts.command.assign(at, wordEnd);
        else if (parts.middle.size() < kMaxMiddle)
            parts.middle.emplace_back(at, wordEnd);
        first = false;
        at = wordEnd;
    }
    return parts;
}

// The capability list of a CAP reply: the trailing parameter, or, from a
// server that leaves out the ':', the last word.
std::string capability_list(const Parts& parts, size_t skip)
{
    if (parts.hasTrailing)
        return parts.trailing;
    return parts.middle.size() > skip ? parts.middle.back() : std::string();
}

// Calls `each(name, value)` for every "name" or "name=value" in `list`.
template <typename Function>
void for_each_capability(const std::string& list, Function each)
{
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(' ', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start) {
            std::string token = list.substr(start, end - start);
            size_t equals = token.find('=');
            if (equals == std::string::npos)
                each(token, std::string());
            else
                each(token.substr(0, equals), token.substr(equals + 1));
        }
        start = end + 1;
    }
}

} // namespace

std::string CapNegotiation::Start(const std::string& account, const std::string& password)
{
    fAccount = account;
    fPassword = password;
    fOfferedMultiPrefix = fOfferedSasl = fGotSasl = fLoggedIn = false;
    fState = State::Listing;
    return "CAP LS 302\n";
}

void CapNegotiation::End(Result* result)
{
    result->send.emplace_back("CAP END\n");
    fState = State::Done;
}

void CapNegotiation::Listed(const std::string& capabilities)
{
    for_each_capability(capabilities, [this](const std::string& name, const std::string& value) {
        if (strcasecmp(name.c_str(), "multi-prefix") == 0)
            fOfferedMultiPrefix = true;
        // A list of mechanisms without PLAIN rules out the one we speak.
        if (strcasecmp(name.c_str(), "sasl") == 0) {
            bool plain = value.empty();
            size_t start = 0;
            while (!plain && start <= value.size()) {
                size_t comma = value.find(',', start);
                if (comma == std::string::npos)
                    comma = value.size();
                plain = strncasecmp(value.c_str() + start, "PLAIN", 5) == 0 && comma - start == 5;
                start = comma + 1;
            }
            fOfferedSasl = fOfferedSasl || plain;
        }
    });
}

void CapNegotiation::Acknowledged(const std::string& capabilities)
{
    for_each_capability(capabilities, [this](const std::string& name, const std::string&) {
        if (strcasecmp(name.c_str(), "sasl") == 0)
            fGotSasl = true;
    });
}

bool CapNegotiation::Feed(const char* line, size_t length, Result* result)
{
    if (fState == State::Done)
        return false;
    Parts parts = split(line, length);
    const std::string& command = parts.command;

    if (command == "001") {
        // Registered without (or despite) the negotiation.
        fState = State::Done;
        return false;
    }
    if ((command == "421" || command == "451") && parts.middle.size() >= 2 &&
        strcasecmp(parts.middle[1].c_str(), "CAP") == 0) {
        // The server does not know CAP: it registers as it always did.
        fState = State::Done;
        return true;
    }

    if (strcasecmp(command.c_str(), "CAP") == 0) {
        if (parts.middle.size() < 2)
            return true;
        const std::string& sub = parts.middle[1];
        // "CAP <target> <sub> * :..." marks a reply that more lines continue.
        const bool more = parts.middle.size() >= 3 && parts.middle[2] == "*";
        if (strcasecmp(sub.c_str(), "LS") == 0 && fState == State::Listing) {
            Listed(capability_list(parts, 2));
            if (more)
                return true;
            std::string request;
            if (fOfferedMultiPrefix)
                request = "multi-prefix";
            const bool wantSasl = !fAccount.empty();
            if (wantSasl && fOfferedSasl)
                request += request.empty() ? "sasl" : " sasl";
            else if (wantSasl)
                result->notes.emplace_back(
                    "This server offers no SASL login: registering without it\n");
            if (request.empty()) {
                End(result);
            } else {
                result->send.push_back("CAP REQ :" + request + "\n");
                fState = State::Requested;
            }
        } else if (strcasecmp(sub.c_str(), "ACK") == 0 && fState == State::Requested) {
            Acknowledged(capability_list(parts, 2));
            if (more)
                return true;
            if (fGotSasl && !fAccount.empty()) {
                result->send.emplace_back("AUTHENTICATE PLAIN\n");
                fState = State::Authenticating;
            } else {
                End(result);
            }
        } else if (strcasecmp(sub.c_str(), "NAK") == 0 && fState == State::Requested) {
            if (!fAccount.empty())
                result->notes.emplace_back(
                    "The server refused the SASL capability: registering without logging in\n");
            End(result);
        }
        return true;
    }

    if (strcasecmp(command.c_str(), "AUTHENTICATE") == 0) {
        // Answered once: a server repeating itself gets nothing more.
        if (fState == State::Authenticating) {
            if (!parts.middle.empty() && parts.middle[0] == "+") {
                for (std::string& piece : PlainLines(fAccount, fPassword))
                    result->send.push_back(std::move(piece));
                fState = State::AwaitingResult;
            } else {
                result->send.emplace_back("AUTHENTICATE *\n");
                result->notes.emplace_back("SASL login failed: the server asked for something "
                                           "other than PLAIN; registering without it\n");
                End(result);
            }
        }
        return true;
    }

    if (fState != State::Authenticating && fState != State::AwaitingResult)
        return false;
    std::string text = parts.hasTrailing ? parts.trailing : std::string();
    if (command == "900") {
        fLoggedIn = true;
        result->notes.push_back("SASL: " + (text.empty() ? std::string("logged in") : text) + "\n");
        return true;
    }
    if (command == "903") {
        End(result);
        return true;
    }
    if (command == "902" || command == "904" || command == "905" || command == "906" ||
        command == "907") {
        result->notes.push_back("SASL login failed (" + command + ": " +
                                (text.empty() ? std::string("no reason given") : text) +
                                "): registering without it\n");
        fLoggedIn = false;
        End(result);
        return true;
    }
    // The list of mechanisms the server offers, sent before its 904.
    return command == "908";
}

std::string CapNegotiation::Base64(const std::string& bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = unsigned(uint8_t(bytes[i])) << 16 | unsigned(uint8_t(bytes[i + 1])) << 8 |
                     unsigned(uint8_t(bytes[i + 2]));
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    if (i + 1 == bytes.size()) {
        unsigned v = unsigned(uint8_t(bytes[i])) << 16;
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        unsigned v = unsigned(uint8_t(bytes[i])) << 16 | unsigned(uint8_t(bytes[i + 1])) << 8;
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::vector<std::string> CapNegotiation::PlainLines(const std::string& account,
                                                    const std::string& password)
{
    std::string credential = account;
    credential += '\0';
    credential += account;
    credential += '\0';
    credential += password;
    std::string encoded = Base64(credential);
    std::vector<std::string> lines;
    size_t at = 0;
    for (; at < encoded.size(); at += kAuthenticateChunk)
        lines.push_back("AUTHENTICATE " + encoded.substr(at, kAuthenticateChunk) + "\n");
    // A piece of exactly 400 bytes says more follows: an empty one ends it.
    if (encoded.size() % kAuthenticateChunk == 0)
        lines.emplace_back("AUTHENTICATE +\n");
    return lines;
}

#pragma once

// Capability negotiation and SASL PLAIN before registration.
//
// The client opens with "CAP LS 302", asks for the capabilities it uses
// (multi-prefix, sasl) among those the server lists, logs in with PLAIN
// when it has an account and the server took "sasl", and ends with
// "CAP END", after which the server completes the registration. Every
// failure (the server rejects the request, the login fails, the server
// aborts) ends the negotiation the same way: the registration goes on
// without it, and a status line says why. A server that does not know CAP
// answers 421 or simply registers the client (001); either ends it quietly.
//
// The object only reads lines and says what to send and what to tell the
// user; it keeps no list the server can grow (the capabilities are looked
// for as they pass, however many lines they span) and answers each step
// once, so a flood of capabilities or AUTHENTICATE lines costs nothing.

#include <cstddef>
#include <string>
#include <vector>

class CapNegotiation
{
public:
    // What a line made the client do: lines to send (each ending in LF) and
    // status lines for the user (each ending in LF).
    struct Result {
        std::vector<std::string> send;
        std::vector<std::string> notes;
    };

    // Starts a negotiation; an empty account means no login. Returns the
    // opening line.
    std::string Start(const std::string& account, const std::string& password);
    // Whether lines are still to be looked at.
    bool Active() const { return fState != State::Done; }
    // Takes a server line (with or without its ":prefix" and line end);
    // true when it belonged to the negotiation and is not to be shown as an
    // ordinary server line.
    bool Feed(const char* line, size_t length, Result* result);
    // Whether the login succeeded on this connection.
    bool LoggedIn() const { return fLoggedIn; }

    // The credential "account\0account\0password" as base64, cut into the
    // AUTHENTICATE lines that carry it (400 bytes of base64 each, a final
    // "AUTHENTICATE +" when the last piece is full).
    static std::vector<std::string> PlainLines(const std::string& account,
                                               const std::string& password);
    static std::string Base64(const std::string& bytes);

private:
    enum class State { Done, Listing, Requested, Authenticating, AwaitingResult };

    void End(Result* result);
    void Listed(const std::string& capabilities);
    void Acknowledged(const std::string& capabilities);

    State fState = State::Done;
    std::string fAccount;
    std::string fPassword;
    bool fOfferedMultiPrefix = false;
    bool fOfferedSasl = false;
    bool fGotSasl = false;
    bool fLoggedIn = false;
};

// Commands from the user: slash commands become protocol lines.

#include "irc.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "IrcCodes.h"
#include "d_string.h"
#include "format.h"

namespace
{

// The longest command text taken from a window; anything longer could not
// fit a protocol line anyway.
const size_t kMaxCommandText = 1024;

// A command text holds one line: a pasted CR is dropped and an LF becomes a
// blank, so that no text can carry a second command to the server.
std::string one_line(const char* text)
{
    std::string line;
    for (const char* p = text; *p != '\0' && line.size() < kMaxCommandText; p++) {
        if (*p == '\r')
            continue;
        line.push_back(*p == '\n' ? ' ' : *p);
    }
    return line;
}

} // namespace

void irc::MessageReceived(BMessage* message)
{
    const char* cmd;
    if (message->what == MSG_IRC && message->FindString("cmd", &cmd) == B_OK) {
        char out[IRC_OUT_SIZE] = {};
        translate(cmd, out);
        // The user's own QUIT (typed raw): the end it brings was asked for.
        if (strncasecmp(out, "QUIT", 4) == 0 && (out[4] == ' ' || out[4] == '\n'))
            m_user_quit = true;
        writeln(out);
    }
    BHandler::MessageReceived(message);
}

void irc::translate(const char* text, char* out)
{
    std::string line = one_line(text);
    if (!prepare_ctcp(line.c_str(), out))
        prepare_cmd(line.c_str(), out);
}

bool irc::prepare_cmd(const char* text, char* out)
{
    if (text[0] != '/')
        return false;
    if (text[1] == '^') {
        format_line(out, IRC_OUT_SIZE, "%s\n", text + 2);
        return true;
    }
    char cmd[512];
    snprintf(cmd, sizeof(cmd), "%s", text + 1);

    if (d_strnicmp(cmd, "NICK ") == 0) {
        format_line(out, IRC_OUT_SIZE, "%s\n", cmd);
        // The nickname: after the first run of blanks, trailing blanks off.
        char nick[512];
        snprintf(nick, sizeof(nick), "%s", d_skip_chr(cmd, ' '));
        size_t length = strlen(nick);
        while (length > 0 && nick[length - 1] == ' ')
            nick[--length] = '\0';
        // Blanks alone name nobody: the nickname stays what it was. Once
        // registered, the server decides: a refused NICK changes nothing.
        if (length > 0 && !m_registered.load())
            set_cur_nick(nick);
        return true;
    }

    static const char* const sAsTyped[] = {"WHO ",  "WHOIS ", "USERHOST ",
                                           "MODE ", "KICK ",  "INVITE "};
    if (d_strnicmp(cmd, "JOIN ") == 0) {
        format_line(out, IRC_OUT_SIZE, "%s\n", cmd);
        return true;
    }
    if (d_strnicmp(cmd, "J ") == 0) {
        format_line(out, IRC_OUT_SIZE, "JOIN%s\n", cmd + 1);
        return true;
    }
    if (d_strnicmp(cmd, "LIST") == 0) {
        format_line(out, IRC_OUT_SIZE, "LIST%s\n", cmd + 4);
        return true;
    }
    for (const char* keyword : sAsTyped) {
        if (d_strnicmp(cmd, keyword) == 0) {
            format_line(out, IRC_OUT_SIZE, "%s\n", cmd);
            return true;
        }
    }

    // The rest need a target and a message; the search for the target
    // starts at the fourth character, past any three-letter command word.
    if (strlen(cmd) < 3)
        return false;
    char* target = d_skip_chr(cmd + 3, ' ');
    if (target == nullptr)
        return false;
    char* blank = strchr(target, ' ');
    if (blank == nullptr)
        return false;
    *blank = '\0';
    const char* words = blank + 1;

    if (d_strnicmp(cmd, "MSG ") == 0)
        format_line(out, IRC_OUT_SIZE, "PRIVMSG %s :%s\n", target, words);
    else if (d_strnicmp(cmd, "PART ") == 0)
        format_line(out, IRC_OUT_SIZE, "PART %s :%s\n", target, words);
    else if (d_strnicmp(cmd, "TOPIC ") == 0)
        format_line(out, IRC_OUT_SIZE, "TOPIC %s :%s\n", target, words);
    else
        return false;
    return true;
}

// Server lines: split, classify, post.

#include "irc.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "ByteScan.h"
#include "DebugTarget.h"
#include "IrcCodes.h"

namespace
{

// Whether the `length` bytes at `text` begin with `word`: the prefix test of
// d_strncmp, for texts whose length is already known.
template <size_t N>
bool starts_with(const char* text, size_t length, const char (&word)[N])
{
    return length >= N - 1 && memcmp(text, word, N - 1) == 0;
}

// Copies a line of `length` (< IRC_LINE_SIZE) bytes to `work` to be parsed
// there. Out of line: inlined, the copy becomes a slow string instruction.
__attribute__((noinline)) void copy_line(char* work, const char* line, size_t length)
{
    memcpy(work, line, length);
    work[length] = '\0';
}

// The command read as a number, as atoi would, kept within int range and
// then cut to 16 bits. Replies are three digits, read directly.
int16 command_number(const char* command, size_t length)
{
    if (length == 3 && unsigned(command[0] - '0') < 10 && unsigned(command[1] - '0') < 10 &&
        unsigned(command[2] - '0') < 10)
        return int16((command[0] - '0') * 100 + (command[1] - '0') * 10 + (command[2] - '0'));
    long number = strtol(command, nullptr, 10);
    number = std::max<long>(std::min<long>(number, INT_MAX), INT_MIN);
    return int16(number);
}

} // namespace

void irc::msg_from_srv(const char* line)
{
    char work[IRC_LINE_SIZE];
    size_t length = strnlen(line, sizeof(work) - 1);
    copy_line(work, line, length);
    post_srv(work, length, false);
}

void irc::post_srv(char* line, size_t length, bool plain)
{
    BMessage message(MSG_IRC);
    if (parse_own(line, length, &message, plain))
        post(&message);
}

bool irc::parse_srv(const char* line, BMessage* message)
{
    char work[IRC_LINE_SIZE];
    size_t length = strnlen(line, sizeof(work) - 1);
    copy_line(work, line, length);
    return parse_own(work, length, message);
}

bool irc::parse_own(char* line, size_t length, BMessage* message, bool plain)
{
    if (g_debug.IsSet())
        post_debug(line);
    return server_msg(line, length, message, plain);
}

bool irc::extract_msg(char* line, char** prefix, char** command, char** params)
{
    return split_line(line, strlen(line), prefix, command, params);
}

bool irc::split_line(char* line, size_t length, char** prefix, char** command, char** params)
{
    if (length == 0 || line[0] != ':')
        return false;
    char* end = line + length;
    *prefix = line + 1;
    char* blank = byte_scan::find(*prefix, end, ' ');
    if (blank == nullptr)
        return false;
    *blank = '\0';
    *command = blank + 1;
    blank = byte_scan::find(*command, end, ' ');
    if (blank == nullptr)
        return false;
    *blank = '\0';
    *params = blank + 1;
    return true;
}

bool irc::server_msg(char* line, BMessage* message)
{
    return server_msg(line, strlen(line), message, false);
}

bool irc::server_msg(char* line, size_t length, BMessage* message, bool plain)
{
    char* prefix;
    char* command;
    char* params;
    if (!split_line(line, length, &prefix, &command, &params))
        return false;
    // Every part's length follows from where the next begins: a server line
    // is measured once.
    size_t prefixLength = size_t(command - 1 - prefix);
    size_t commandLength = size_t(params - 1 - command);
    size_t paramsLength = size_t(line + length - params);
    follow_nick(prefix, prefixLength, command, commandLength, params, paramsLength);

    if (starts_with(command, commandLength, "NOTICE") ||
        starts_with(command, commandLength, "PRIVMSG")) {
        char* ctcp = plain ? nullptr : byte_scan::find(params, params + paramsLength, 0x01);
        if (ctcp != nullptr) {
            if (reply_ctcp(command, prefix, ctcp))
                return false;
            paramsLength = strlen(params); // cut after the CTCP word
        }
    } else {
        size_t nickLength;
        const char* nick = cur_nick(&nickLength);
        // Most lines name a channel or start with ':'; the first byte
        // settles those without a call.
        if (paramsLength >= nickLength && (nickLength == 0 || params[0] == nick[0]) &&
            memcmp(params, nick, nickLength) == 0) {
            const int16 code = command_number(command, commandLength);
            message->AddData("code", B_INT16_TYPE, &code, sizeof(code));
        }
    }
    message->AddData("command", B_STRING_TYPE, command, ssize_t(commandLength + 1), false);
    message->AddData("params", B_STRING_TYPE, params, ssize_t(paramsLength + 1), false);
    char* bang = byte_scan::find(prefix, prefix + prefixLength, '!');
    if (bang != nullptr) {
        *bang = '\0';
        prefixLength = size_t(bang - prefix);
    }
    message->AddData("from", B_STRING_TYPE, prefix, ssize_t(prefixLength + 1), false);
    return true;
}

void irc::follow_nick(const char* prefix, size_t prefixLength, const char* command,
                      size_t commandLength, const char* params, size_t paramsLength)
{
    // The nickname a line names: up to the first blank or line end, less a
    // leading ':'.
    auto word = [](const char* text, size_t textLength, size_t* wordLength) {
        if (textLength > 0 && text[0] == ':') {
            text++;
            textLength--;
        }
        size_t n = 0;
        while (n < textLength && text[n] != ' ' && text[n] != '\r' && text[n] != '\n')
            n++;
        *wordLength = n;
        return text;
    };
    if (commandLength == 3 && memcmp(command, "001", 3) == 0) {
        size_t nickLength;
        const char* nick = word(params, paramsLength, &nickLength);
        if (nickLength > 0)
            set_cur_nick(nick, nickLength);
        m_registered = true;
        return;
    }
    if (commandLength != 4 || memcmp(command, "NICK", 4) != 0)
        return;
    const char* bang = byte_scan::find(prefix, prefix + prefixLength, '!');
    size_t senderLength = bang != nullptr ? size_t(bang - prefix) : prefixLength;
    size_t nickLength;
    const char* current = cur_nick(&nickLength);
    if (senderLength != nickLength || strncasecmp(prefix, current, nickLength) != 0)
        return;
    size_t newLength;
    const char* newNick = word(params, paramsLength, &newLength);
    if (newLength > 0)
        set_cur_nick(newNick, newLength);
}

bool irc::server_spec(const char* line)
{
    if (line[0] != 'P' || line[1] != 'I' || line[2] != 'N' || line[3] != 'G')
        return false;
    char pong[IRC_LINE_SIZE];
    snprintf(pong, sizeof(pong), "%s", line);
    pong[1] = 'O';
    writeln(pong);
    return true;
}

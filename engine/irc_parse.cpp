// Server lines: split, classify, post.

#include "irc.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DebugTarget.h"
#include "IrcCodes.h"
#include "d_string.h"

void irc::msg_from_srv(const char* line)
{
    BMessage message(MSG_IRC);
    if (parse_srv(line, &message))
        m_looper->PostMessage(&message);
}

bool irc::parse_srv(const char* line, BMessage* message)
{
    char work[IRC_LINE_SIZE];
    size_t length = strnlen(line, sizeof(work) - 1);
    memcpy(work, line, length);
    work[length] = '\0';

    if (g_debug.IsSet()) {
        BMessage debug(MSG_DBG);
        debug.AddString("debug", line);
        g_debug.Post(&debug);
    }
    return server_msg(work, message);
}

bool irc::extract_msg(char* line, char** prefix, char** command, char** params)
{
    if (line[0] != ':')
        return false;
    *prefix = line + 1;
    char* blank = strchr(*prefix, ' ');
    if (blank == nullptr)
        return false;
    *blank = '\0';
    *command = blank + 1;
    blank = strchr(*command, ' ');
    if (blank == nullptr)
        return false;
    *blank = '\0';
    *params = blank + 1;
    return true;
}

bool irc::server_msg(char* line, BMessage* message)
{
    char* prefix;
    char* command;
    char* params;
    if (!extract_msg(line, &prefix, &command, &params))
        return false;
    // Each part measured once: a server line is mostly its parameters.
    size_t paramsLength = strlen(params);

    if (d_strncmp(command, "NOTICE") == 0 || d_strncmp(command, "PRIVMSG") == 0) {
        char* ctcp = static_cast<char*>(memchr(params, 0x01, paramsLength));
        if (ctcp != nullptr) {
            if (reply_ctcp(command, prefix, ctcp))
                return false;
            paramsLength = strlen(params); // cut after the CTCP word
        }
    } else if (d_strncmp(params, get_cur_nick()) == 0) {
        // The command read as a number, as atoi would, kept within range.
        long number = strtol(command, nullptr, 10);
        number = std::max<long>(std::min<long>(number, INT_MAX), INT_MIN);
        message->AddInt16("code", int16(number));
    }
    // extract_msg ended the command at the blank before the parameters.
    message->AddData("command", B_STRING_TYPE, command, params - command, false);
    message->AddData("params", B_STRING_TYPE, params, ssize_t(paramsLength + 1), false);
    char* bang = strchr(prefix, '!');
    if (bang != nullptr)
        *bang = '\0';
    message->AddData("from", B_STRING_TYPE, prefix, ssize_t(strlen(prefix) + 1), false);
    return true;
}

bool irc::server_spec(const char* line)
{
    if (d_strncmp(line, "PING") != 0)
        return false;
    char pong[IRC_LINE_SIZE];
    snprintf(pong, sizeof(pong), "%s", line);
    pong[1] = 'O';
    writeln(pong);
    return true;
}

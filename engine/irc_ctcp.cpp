// CTCP: answering queries, reporting answers, building queries.

#include "irc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "d_string.h"
#include "format.h"

namespace
{

const char* const kVersionReply = "Pelmor (v0.1a) for BeOS R4 Intel(c) by the Pelmor developers";
const char* const kSourceReply = "https://pelmor.example.org/source";

// Answers at most this many queries in each window of time; a flood of
// queries must not make the client flood the server in turn.
const int32 kMaxAnswers = 5;
const bigtime_t kAnswerWindow = 10000000;
// A PING echo longer than this is not worth sending back.
const size_t kMaxPingArgument = 100;

void copy_word(char* to, size_t size, const char* from)
{
    snprintf(to, size, "%.*s", int(size - 1), from);
}

} // namespace

bool irc::ctcp_allowed(const char* nick)
{
    bigtime_t now = system_time();
    if (m_ctcp_window_start == 0 || now - m_ctcp_window_start >= kAnswerWindow) {
        m_ctcp_window_start = now;
        m_ctcp_answers = 0;
        m_ctcp_dropping = false;
    }
    if (m_ctcp_answers < kMaxAnswers) {
        m_ctcp_answers++;
        return true;
    }
    if (!m_ctcp_dropping) {
        m_ctcp_dropping = true;
        std::string text = std::string("too many CTCP queries (last from ") + nick +
                           "): not answering them for a while\n";
        msg_info(text.c_str());
    }
    return false;
}

bool irc::reply_ctcp(char* command, char* prefix, char* ctcp)
{
    // A marker with no word after it (another marker, a blank, the end)
    // is no query or answer: the line is plain text, left as it is.
    char first = ctcp[1];
    if (first == 0x01 || first == ' ' || first == '\n' || first == '\0')
        return false;
    bool isNotice = d_strncmp(command, "NOTICE") == 0;

    char* bang = strchr(prefix, '!');
    if (bang == nullptr)
        return false; // a server or a service: not a user to answer
    *bang = '\0';
    const char* nick = prefix;

    char* body = ctcp + 1;
    char* end = strchr(body, 0x01);
    if (end == nullptr)
        end = strchr(body, '\n');
    if (end == nullptr)
        return false;
    *end = '\0';
    const char* argument = nullptr;
    char* blank = strchr(body, ' ');
    if (blank != nullptr) {
        *blank = '\0';
        argument = blank + 1;
    }
    char word[32];
    copy_word(word, sizeof(word), body);

    std::string text;
    if (isNotice) {
        if (strcmp(word, "PING") == 0) {
            char* after = nullptr;
            long sent = argument != nullptr ? strtol(argument, &after, 10) : 0;
            long trip = 0;
            // Nothing to time the trip from, or a peer's number too far off
            // to subtract from the clock.
            if (argument == nullptr || after == argument ||
                __builtin_sub_overflow(long(time(nullptr)), sent, &trip))
                text = std::string("PING ") + nick + " ? (s)\n";
            else
                text = std::string("PING ") + nick + " " + std::to_string(trip) + " (s)\n";
        } else {
            text =
                std::string(word) + " " + nick + " " + (argument != nullptr ? argument : "") + "\n";
        }
        msg_info(text.c_str());
        return true;
    }

    static const char* const sKnown[] = {"VERSION", "PING",       "FINGER",  "SOURCE",
                                         "TIME",    "CLIENTINFO", "USERINFO"};
    bool known = false;
    for (const char* candidate : sKnown)
        known = known || strcmp(word, candidate) == 0;
    if (!known)
        return false;

    if (!ctcp_allowed(nick))
        return true;
    if (strcmp(word, "PING") == 0 && argument != nullptr && strlen(argument) > kMaxPingArgument) {
        text = std::string("query CTCP PING from ") + nick + " not answered: too long\n";
        msg_info(text.c_str());
        return true;
    }

    text = std::string("query CTCP ") + word + " from " + nick + "\n";
    msg_info(text.c_str());

    std::string reply;
    if (strcmp(word, "TIME") == 0) {
        time_t now = time(nullptr);
        struct tm local;
        char stamp[64] = {};
        localtime_r(&now, &local);
        asctime_r(&local, stamp); // ends in its own LF, so the line ends in two
        reply = std::string("NOTICE ") + nick + " :\x01TIME " + stamp + "\n";
    } else {
        const char* answer = "";
        if (strcmp(word, "VERSION") == 0)
            answer = kVersionReply;
        else if (strcmp(word, "PING") == 0)
            answer = argument != nullptr ? argument : "";
        else if (strcmp(word, "FINGER") == 0)
            answer = "Finger info unavailable.";
        else if (strcmp(word, "SOURCE") == 0)
            answer = kSourceReply;
        else if (strcmp(word, "CLIENTINFO") == 0)
            answer = "PING USERINFO VERSION SOURCE TIME";
        else if (strcmp(word, "USERINFO") == 0)
            answer = m_user;
        reply = std::string("NOTICE ") + nick + " :\x01" + word + " " + answer + "\x01\n";
    }
    writeln(reply.c_str());
    return true;
}

bool irc::prepare_ctcp(const char* text, char* out)
{
    char stamp[32];
    snprintf(stamp, sizeof(stamp), "%li", long(time(nullptr)));

    if (d_strnicmp(text, "/CTCP ") != 0)
        return false;
    const char* word = d_skip_chr(text + 5, ' ');
    if (word == nullptr || *word == '\0')
        return false;
    size_t wordLength = strcspn(word, " ");
    char query[32] = {};
    snprintf(query, sizeof(query), "%.*s", int(std::min<size_t>(wordLength, 31)), word);

    const char* after = word + wordLength;
    if (*after != ' ')
        return false;
    const char* target = d_skip_chr(after, ' ');
    char name[64] = {};
    snprintf(name, sizeof(name), "%.*s", int(std::min<size_t>(strcspn(target, " "), 63)), target);

    if (strcmp(query, "PING") == 0)
        format_line(out, IRC_OUT_SIZE, "PRIVMSG %s :\x01PING %s\x01\n", name, stamp);
    else
        format_line(out, IRC_OUT_SIZE, "PRIVMSG %s :\x01%s\x01\n", name, query);
    return true;
}

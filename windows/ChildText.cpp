#include "ChildText.h"

#include <cstring>

#include <TextControl.h>
#include <Window.h>

#include <IrcCodes.h>

#include "ServerLock.h"
#include "ServerWindow.h"
#include "TextFit.h"

void send_typed_text(BWindow* window, ServerWindow* server, BLooper* looper, const char* target,
                     const std::function<void(const char*, int)>& print)
{
    auto* input = dynamic_cast<BTextControl*>(window->FindView("message"));
    if (input == nullptr)
        return;
    std::string text = input->Text() != nullptr ? input->Text() : "";
    input->SetText(nullptr);
    if (text.empty())
        return;
    ServerLock lock(looper);
    if (!lock.IsLocked())
        return;
    if (text[0] == '/') {
        BMessage command(MSG_IRC);
        command.AddString("cmd", text.c_str());
        server->msg_to_irc(&command);
        return;
    }
    const std::string nick = server->echo_nick();
    size_t limit = CHAT_PIECE_BASE > strlen(target) + 64 ? CHAT_PIECE_BASE - strlen(target) : 64;
    for (const std::string& piece : split_text(text, limit)) {
        char cmd[600];
        fit_format(cmd, sizeof(cmd), "/MSG %s %s", target, piece.c_str());
        char echo[600];
        fit_format(echo, sizeof(echo), "<%s> %s\n", nick.c_str(), piece.c_str());
        print(echo, 4);
        BMessage command(MSG_IRC);
        command.AddString("cmd", cmd);
        server->msg_to_irc(&command);
    }
}

std::string text_after_colon(const std::string& text)
{
    size_t colon = text.find(':');
    return colon == std::string::npos ? text : text.substr(colon + 1);
}

std::string less_colon(const std::string& text)
{
    return !text.empty() && text[0] == ':' ? text.substr(1) : text;
}

std::string message_params(const BMessage* message, bool* present)
{
    const char* text = nullptr;
    *present = message->FindString("params", &text) == B_OK;
    std::string params = *present ? text : "";
    if (!params.empty() && params.back() == '\n')
        params.pop_back();
    return params;
}

std::vector<std::string> split_blanks(const std::string& text)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

std::string member_name(const std::string& entry)
{
    size_t marks = entry.find_first_not_of("~&@%+");
    if (marks == std::string::npos)
        return std::string();
    const bool op = entry.find_first_of("~&@") < marks;
    return std::string(op ? "@" : "") + entry.substr(marks);
}

std::vector<std::string> names_in_reply(const std::string& params)
{
    std::vector<std::string> names;
    size_t colon = params.find(':');
    if (colon == std::string::npos)
        return names;
    for (const std::string& entry : split_blanks(params.substr(colon + 1))) {
        std::string name = member_name(entry);
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

std::string kick_victim(const std::string& params, size_t* colon)
{
    size_t blank = params.find(' ');
    *colon = blank == std::string::npos ? blank : params.find(':', blank);
    if (*colon == std::string::npos)
        return std::string();
    std::string rest = params.substr(blank + 1);
    return rest.substr(0, rest.find(' '));
}

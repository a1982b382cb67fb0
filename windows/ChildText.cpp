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

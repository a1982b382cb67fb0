#pragma once

// What channel and private windows share: sending typed text through their
// server window, and the small text helpers of their routing.

#include <functional>
#include <string>
#include <vector>

class BMessage;
class BLooper;
class BWindow;
class ServerWindow;

// The bytes of chat text per PRIVMSG, less the target's length: the server
// relays the line with the sender's full address in front, and the whole
// must fit 512 bytes.
enum { CHAT_PIECE_BASE = 420 };

// Sends what the user typed in `window`'s input line "message" to `target`
// (a channel or nickname): a "/" command as typed, other text as one or
// more "/MSG" commands that each fit a protocol line, every piece echoed as
// "<nick> piece\n" in print kind 4 through `print`. Clears the input line.
// `looper` is the server window as a looper, locked (ServerLock) around
// each use of it.
void send_typed_text(BWindow* window, ServerWindow* server, BLooper* looper, const char* target,
                     const std::function<void(const char*, int)>& print);

// The text after the first ':' of `text`, or all of it when there is none.
std::string text_after_colon(const std::string& text);
// `text` less one leading ':'.
std::string less_colon(const std::string& text);
// "params" of an 'irc' message, one trailing "\n" cut.
std::string message_params(const BMessage* message, bool* present);

// The words of `text` between blanks.
std::vector<std::string> split_blanks(const std::string& text);
// A names-reply entry as the member list takes it: every status mark
// ("~", "&", "@", "%", "+", several at once) stripped, and "@" put back
// for the marks that make an operator; empty for an entry of marks only.
std::string member_name(const std::string& entry);
// The names of a names reply's params ("nick = #chan :@ann bob"), each as
// member_name() gives it, empty ones left out.
std::vector<std::string> names_in_reply(const std::string& params);
// The nickname a KICK's params ("#chan victim :reason") remove; `colon` is
// where the reason's ':' is, npos (and the name empty) when there is none.
std::string kick_victim(const std::string& params, size_t* colon);

// A server line through the parser, CTCP included: first a nickname line,
// then the server line. Nothing may crash, and what is posted must be whole.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <IrcCodes.h>
#include <Looper.h>
#include <irc.h>

namespace
{

// Receives what the engine posts and drops it, so memory stays flat.
class Sink : public BLooper
{
public:
    Sink() : BLooper("sink") { Run(); }
    void MessageReceived(BMessage* message) override
    {
        if (message->what == MSG_IRC &&
            (!message->HasString("params") || !message->HasString("command") ||
             !message->HasString("from")))
            abort();
    }
};

irc* engine()
{
    static Sink* sink = new Sink;
    static irc* instance = new irc(sink);
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const char* newline = static_cast<const char*>(memchr(bytes, '\n', size));
    size_t nickLength = newline != nullptr ? size_t(newline - bytes) : 0;
    std::string nick(bytes, nickLength);
    std::string line(bytes + (newline != nullptr ? nickLength + 1 : 0),
                     size - (newline != nullptr ? nickLength + 1 : 0));
    // Lines never hold NUL and never exceed what the reader delivers.
    line = line.substr(0, strnlen(line.c_str(), LINE_MAX_UTF8));
    nick = nick.substr(0, strnlen(nick.c_str(), nick.size()));

    char out[IRC_OUT_SIZE] = {};
    engine()->prepare_cmd(("/NICK " + nick).c_str(), out);
    if (strlen(engine()->get_cur_nick()) > 31)
        abort();

    char work[IRC_LINE_SIZE];
    snprintf(work, sizeof(work), "%s", line.c_str());
    BMessage message(MSG_IRC);
    if (engine()->server_msg(work, &message)) {
        if (!message.HasString("command") || !message.HasString("params") ||
            !message.HasString("from"))
            abort();
    }
    engine()->msg_from_srv(line.c_str());
    engine()->server_spec(line.c_str());
    return 0;
}

// A command text from a window into the protocol line that goes on the
// wire. Whatever the text, the wire gets exactly one line of at most 510
// bytes plus its line end, without CR or NUL.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <LineIO.h>
#include <Looper.h>
#include <irc.h>

namespace
{

class Sink : public BLooper
{
public:
    Sink() : BLooper("sink") { Run(); }
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
    if (size < 1)
        return 0;
    int16 encoding = int16(data[0] % 21);
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    text = text.substr(0, strlen(text.c_str()));

    char out[IRC_OUT_SIZE] = {};
    engine()->translate(text.c_str(), out);
    if (strnlen(out, IRC_OUT_SIZE) >= size_t(IRC_OUT_SIZE))
        abort();
    // One line: no CR, and an LF only as the last byte.
    const char* newline = strchr(out, '\n');
    if (strchr(out, '\r') != nullptr || (newline != nullptr && newline[1] != '\0'))
        abort();
    if (*out == '\0')
        return 0;

    char wire[LINE_MAX_WIRE + 1];
    size_t length = line_to_wire(encoding, out, wire);
    if (length > size_t(LINE_MAX_WIRE) || length != strlen(wire) || length == 0)
        abort();
    size_t body = length;
    while (body > 0 && wire[body - 1] == '\n')
        body--;
    if (body > size_t(LINE_MAX_BODY) || length - body < 1 || length - body > 2)
        abort();
    for (size_t i = 0; i < body; i++) {
        if (wire[i] == '\r' || wire[i] == '\n')
            abort();
    }
    return 0;
}

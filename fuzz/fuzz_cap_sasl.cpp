// Server lines through the capability negotiation and login: the input is
// split at line ends and fed in order to one negotiation with a login.
// Nothing may crash, every line it sends must be one protocol line, and it
// may answer the login's challenge only once.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <CapSasl.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CapNegotiation cap;
    cap.Start("account", "password");
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    int credentials = 0;
    int ends = 0;
    while (start < size) {
        const char* newline = static_cast<const char*>(memchr(text + start, '\n', size - start));
        size_t end = newline != nullptr ? size_t(newline - text) + 1 : size;
        CapNegotiation::Result result;
        // The reader hands out at most 512 bytes a line.
        cap.Feed(text + start, std::min<size_t>(end - start, 512), &result);
        for (const std::string& line : result.send) {
            // One line, ended once, never longer than the protocol allows.
            if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1 ||
                line.find('\r') != std::string::npos || line.find('\0') != std::string::npos ||
                line.size() > 512)
                abort();
            if (line.compare(0, 13, "AUTHENTICATE ") == 0 && line != "AUTHENTICATE PLAIN\n" &&
                line != "AUTHENTICATE *\n")
                credentials++;
            if (line == "CAP END\n")
                ends++;
        }
        for (const std::string& note : result.notes) {
            if (note.empty() || note.back() != '\n' || note.size() > 1024)
                abort();
        }
        start = end;
    }
    if (credentials > 1 || ends > 1)
        abort();
    return 0;
}

// A byte stream from a server into the lines the reader delivers, with
// conversion. The first byte picks the encoding; the stream arrives in
// chunks whose sizes come from the second byte.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <LineIO.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    int16 encoding = int16(data[0] % 21);
    size_t chunk = size_t(data[1] % 64) + 1;
    const char* stream = reinterpret_cast<const char*>(data) + 2;
    const char* end = stream + size - 2;

    LineSplitter splitter;
    size_t kept = 0;
    for (const char* at = stream; at < end;) {
        const char* chunkEnd = at + std::min<size_t>(chunk, size_t(end - at));
        while (at < chunkEnd) {
            if (!splitter.Take(&at, chunkEnd))
                break;
            const char* line = splitter.Line();
            size_t length = splitter.Length();
            if (length == 0 || length > size_t(LINE_MAX_RAW) || strlen(line) != length)
                abort();
            // A line end only at the end; a cut line has none.
            const char* lf = static_cast<const char*>(memchr(line, '\n', length));
            if (lf != nullptr && lf != line + length - 1)
                abort();
            if (lf == nullptr && length != size_t(LINE_MAX_RAW))
                abort();
            char utf8[LINE_MAX_UTF8 + 1];
            size_t converted = line_to_utf8(encoding, line, length, utf8);
            if (converted > size_t(LINE_MAX_UTF8) || strlen(utf8) != converted)
                abort();
            kept += length;
            splitter.Reset();
        }
    }
    // Every byte is a line byte, a dropped NUL, a dropped CR before LF, or
    // still waiting in an unfinished line.
    size_t nuls = 0;
    for (const char* p = stream; p < end; p++)
        nuls += *p == '\0';
    if (kept + splitter.Length() + nuls > size_t(end - stream))
        abort();
    return 0;
}

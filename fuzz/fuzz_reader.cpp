// A byte stream from a server into the lines the reader delivers, with
// conversion. The first byte picks the encoding; the stream arrives in
// chunks whose sizes come from the second byte, which also picks the
// in-place or the copying path.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <string>
#include <vector>

#include <LineIO.h>

namespace
{

// The reader's rules one byte at a time, over the whole stream at once: what
// the block reader must deliver however the stream is cut into chunks.
std::vector<std::string> expected_lines(const char* stream, const char* end)
{
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = stream; p < end; p++) {
        if (*p == '\n') {
            lines.push_back(line + '\n');
            line.clear();
            continue;
        }
        // CR and NUL are no text, wherever they are.
        if (*p != '\0' && *p != '\r')
            line += *p;
        if (line.size() == size_t(LINE_MAX_RAW)) {
            lines.push_back(line);
            line.clear();
        }
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    int16 encoding = int16(data[0] % 21);
    // Small chunks cut lines anywhere; 4096 is the engine's own block.
    size_t chunk = (data[1] & 0x40) != 0 ? 4096 : size_t(data[1] % 64) + 1;
    // The engine's reader takes lines in place (Next); Take is the copying
    // path Next falls back on. Both must deliver the same lines.
    bool inPlace = (data[1] & 0x80) == 0;
    std::vector<char> block(reinterpret_cast<const char*>(data) + 2,
                            reinterpret_cast<const char*>(data) + size);
    const char* stream = reinterpret_cast<const char*>(data) + 2;
    const char* end = stream + size - 2;

    const std::vector<std::string> expected = expected_lines(stream, end);
    size_t delivered = 0;
    LineSplitter splitter;
    size_t kept = 0;
    char* blockEnd = block.data() + block.size();
    for (char* at = block.data(); at < blockEnd;) {
        char* chunkEnd = at + std::min<size_t>(chunk, size_t(blockEnd - at));
        while (at < chunkEnd) {
            bool complete;
            if (inPlace) {
                complete = splitter.Next(&at, chunkEnd);
            } else {
                const char* taken = at;
                complete = splitter.Take(&taken, chunkEnd);
                at += taken - at;
            }
            if (!complete)
                break;
            const char* line = splitter.Line();
            size_t length = splitter.Length();
            if (length == 0 || length > size_t(LINE_MAX_RAW) ||
                memchr(line, '\0', length) != nullptr)
                abort();
            if (!inPlace && line[length] != '\0')
                abort();
            // A line end only at the end; a cut line has none.
            const char* lf = static_cast<const char*>(memchr(line, '\n', length));
            if (lf != nullptr && lf != line + length - 1)
                abort();
            if (lf == nullptr && length != size_t(LINE_MAX_RAW))
                abort();
            if (delivered >= expected.size() || expected[delivered++] != std::string(line, length))
                abort();
            // What the engine parses: in place or converted, the same as
            // converting the expected line.
            char reference[LINE_MAX_UTF8 + 1];
            size_t referenceLength = line_to_utf8(encoding, expected[delivered - 1].data(),
                                                  expected[delivered - 1].size(), reference);
            char utf8[LINE_MAX_UTF8 + 1];
            size_t converted;
            const char* text = utf8_line(splitter, encoding, utf8, &converted);
            if (converted > size_t(LINE_MAX_UTF8) || strlen(text) != converted ||
                converted != referenceLength || memcmp(text, reference, converted) != 0)
                abort();
            // The parser skips its CTCP search on a plain line: it must hold
            // neither the marker nor a byte of another set.
            if (text == splitter.PlainLine()) {
                for (size_t i = 0; i < converted; i++)
                    if (text[i] == 0x01 || (static_cast<unsigned char>(text[i]) & 0x80) != 0)
                        abort();
            }
            kept += length;
            splitter.Reset();
        }
    }
    if (delivered != expected.size())
        abort();
    // Every byte is a line byte, a dropped NUL, a dropped CR before LF, or
    // still waiting in an unfinished line.
    size_t nuls = 0;
    for (const char* p = stream; p < end; p++)
        nuls += *p == '\0';
    if (kept + splitter.Length() + nuls > size_t(end - stream))
        abort();
    return 0;
}

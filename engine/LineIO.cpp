#include "LineIO.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <UTF8.h>

namespace
{

const int16 kDefaultEncoding = B_MS_WINDOWS_CONVERSION;

} // namespace

bool LineSplitter::Take(const char** data, const char* end)
{
    const char* p = *data;
    bool complete = false;
    // Whole stretches at a time: up to the line end or to the cut, whichever
    // comes first, then without their NULs (which do not count toward it).
    while (p < end && !complete) {
        size_t room = size_t(LINE_MAX_RAW) - fCount;
        size_t span = std::min(size_t(end - p), room);
        const char* newline = static_cast<const char*>(memchr(p, '\n', span));
        const char* stop = newline != nullptr ? newline : p + span;
        const char* nul = static_cast<const char*>(memchr(p, '\0', size_t(stop - p)));
        if (nul == nullptr) {
            memcpy(fLine + fCount, p, size_t(stop - p));
            fCount += size_t(stop - p);
        } else {
            for (const char* q = p; q < stop; q++)
                if (*q != '\0')
                    fLine[fCount++] = *q;
        }
        p = stop;
        if (newline != nullptr) {
            if (fCount > 0 && fLine[fCount - 1] == '\r')
                fCount--;
            fLine[fCount++] = '\n';
            p++;
            complete = true;
        } else if (fCount == LINE_MAX_RAW) {
            complete = true;
        }
    }
    fLine[fCount] = '\0';
    *data = p;
    return complete;
}

size_t line_to_utf8(int16 encoding, const char* raw, size_t length, char* out)
{
    int32 sourceLength = int32(length);
    int32 outLength = LINE_MAX_UTF8;
    int32 state = 0;
    if (convert_to_utf8(uint32(encoding), raw, &sourceLength, out, &outLength, &state,
                        B_SUBSTITUTE) != B_OK) {
        sourceLength = int32(length);
        outLength = LINE_MAX_UTF8;
        convert_to_utf8(uint32(kDefaultEncoding), raw, &sourceLength, out, &outLength, &state,
                        B_SUBSTITUTE);
    }
    out[outLength] = '\0';
    return size_t(outLength);
}

size_t line_to_wire(int16 encoding, const char* line, char* wire)
{
    size_t length = strlen(line);
    size_t bodyLength = length;
    while (bodyLength > 0 && line[bodyLength - 1] == '\n')
        bodyLength--;
    size_t tail = std::min<size_t>(std::max<size_t>(length - bodyLength, 1), 2);

    std::string body;
    body.reserve(bodyLength);
    for (size_t i = 0; i < bodyLength; i++) {
        if (line[i] == '\r')
            continue;
        body.push_back(line[i] == '\n' ? ' ' : line[i]);
    }

    // Converting into LINE_MAX_BODY bytes cuts at a character boundary.
    int32 sourceLength = int32(body.size());
    int32 wireLength = LINE_MAX_BODY;
    int32 state = 0;
    if (convert_from_utf8(uint32(encoding), body.data(), &sourceLength, wire, &wireLength, &state,
                          B_SUBSTITUTE) != B_OK) {
        sourceLength = int32(body.size());
        wireLength = LINE_MAX_BODY;
        convert_from_utf8(uint32(kDefaultEncoding), body.data(), &sourceLength, wire, &wireLength,
                          &state, B_SUBSTITUTE);
    }
    for (size_t i = 0; i < tail; i++)
        wire[wireLength++] = '\n';
    wire[wireLength] = '\0';
    return size_t(wireLength);
}

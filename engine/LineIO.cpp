#include "LineIO.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <UTF8.h>

#include "ByteScan.h"

namespace
{

const int16 kDefaultEncoding = B_MS_WINDOWS_CONVERSION;

// Whether `encoding` turns every ASCII byte into itself, as most sets do;
// found out once per thread and encoding by converting them all.
bool keeps_ascii(int16 encoding)
{
    thread_local int16 known = -1;
    thread_local bool keeps = false;
    if (known == encoding && encoding != -1)
        return keeps;
    char ascii[127];
    for (int i = 0; i < 127; i++)
        ascii[i] = char(i + 1);
    char utf8[LINE_MAX_UTF8 + 1];
    size_t length = line_to_utf8(encoding, ascii, sizeof(ascii), utf8);
    keeps = length == sizeof(ascii) && memcmp(utf8, ascii, sizeof(ascii)) == 0;
    known = encoding;
    return keeps;
}

} // namespace

bool LineSplitter::Take(const char** data, const char* end)
{
    const char* p = *data;
    bool complete = false;
    // Whole stretches at a time: up to the line end, a NUL, a CR or the
    // cut, whichever comes first. NUL and CR are skipped and do not count
    // toward the cut.
    while (p < end && !complete) {
        const char* limit = p + std::min(size_t(end - p), size_t(LINE_MAX_RAW) - fCount);
        const char* hit = byte_scan::find_any(p, limit, '\n', '\0', '\r');
        const char* stop = hit != nullptr ? hit : limit;
        memcpy(fLine + fCount, p, size_t(stop - p));
        fCount += size_t(stop - p);
        p = stop;
        if (hit != nullptr && *hit != '\n') {
            p++;
        } else if (hit != nullptr) {
            fLine[fCount++] = '\n';
            p++;
            complete = true;
        } else if (fCount == LINE_MAX_RAW) {
            complete = true;
        }
    }
    fLine[fCount] = '\0';
    fView = fLine;
    fViewLength = fCount;
    fPlain = nullptr;
    *data = p;
    return complete;
}

bool LineSplitter::Next(char** data, char* end)
{
    char* p = *data;
    if (fCount == 0) {
        // At the start of a line: a whole line ahead, with its LF (or CR LF)
        // where Take would not have cut it and no other NUL or CR before,
        // is taken where it lies.
        const char* limit = p + std::min(size_t(end - p), size_t(LINE_MAX_RAW));
        bool special;
        const char* hit = byte_scan::find_any_noting_special(p, limit, '\n', '\0', '\r', &special);
        char* lf = nullptr;
        if (hit != nullptr && *hit == '\n')
            lf = p + (hit - p);
        else if (hit != nullptr && *hit == '\r' && hit + 1 < end && hit[1] == '\n')
            lf = p + (hit - p) + 1;
        if (lf != nullptr) {
            char* last = lf;
            fPlain = nullptr;
            if (lf > p && lf[-1] == '\r') {
                lf[-1] = '\n';
                last = lf - 1;
                // The LF's own place is free for the NUL.
                if (!special) {
                    *lf = '\0';
                    fPlain = p;
                }
            }
            fView = p;
            fViewLength = size_t(last - p) + 1;
            *data = lf + 1;
            return true;
        }
    }
    const char* at = p;
    bool complete = Take(&at, end);
    *data = p + (at - p);
    return complete;
}

size_t line_to_utf8(int16 encoding, const char* raw, size_t length, char* out)
{
    // A line that is valid UTF-8 is taken as it is whatever set is chosen:
    // today's networks send UTF-8, and a legacy set's text beyond ASCII is
    // almost never valid UTF-8.
    if (encoding != B_UTF8_CONVERSION && is_valid_utf8(raw, int32(length)))
        encoding = B_UTF8_CONVERSION;
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
    // A character cut off at the end of the line is shown, not lost.
    if (encoding == B_UTF8_CONVERSION && size_t(sourceLength) < length &&
        outLength + 3 <= LINE_MAX_UTF8 && sourceLength + 4 > int32(length)) {
        memcpy(out + outLength, "\xEF\xBF\xBD", 3);
        outLength += 3;
    }
    out[outLength] = '\0';
    return size_t(outLength);
}

char* utf8_line(const LineSplitter& splitter, int16 encoding, char* out, size_t* length)
{
    char* ascii = splitter.PlainLine();
    if (ascii != nullptr && keeps_ascii(encoding)) {
        *length = splitter.Length();
        return ascii;
    }
    *length = line_to_utf8(encoding, splitter.Line(), splitter.Length(), out);
    return out;
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

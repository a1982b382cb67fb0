#pragma once

// The byte-level rules of the connection, apart from any socket so that
// they can be tested and fuzzed on their own.
//
// Reading: a line ends at LF; CR and NUL bytes are dropped wherever they
// are (a CR is never text) and do not count toward the cut; a line is cut
// after 511 bytes and the rest of the server's line is read as the next
// line. The line is then converted to
// UTF-8 whole, into a buffer big enough for any 511 bytes to grow into.
// Most lines need neither copy nor conversion: one that lies whole in the
// receive block stays there, and if it is plain ASCII (without the CTCP
// marker, which the parser then need not look for) ended by CR LF in a set
// that keeps ASCII as it is, it is used there as it is.
//
// Writing: a line's body (everything before its trailing LFs) loses every
// CR, and any LF inside it becomes a blank, so one line stays one line on
// the wire. The body is converted and cut to 510 bytes at a character
// boundary; the line end is the original trailing LFs (one or two: the
// CTCP TIME answer has two), or one LF when there were none.

#include <SupportDefs.h>

enum {
    LINE_MAX_RAW = 511,                // bytes of one server line as read
    LINE_MAX_UTF8 = LINE_MAX_RAW * 3,  // the same after conversion to UTF-8
    LINE_MAX_BODY = 510,               // bytes before the line end on the wire
    LINE_MAX_WIRE = LINE_MAX_BODY + 2, // with the longest line end
};

class LineSplitter
{
public:
    // Takes bytes from [*data, end) until a line is complete (true) or the
    // bytes run out first (false; call again with more).
    bool Take(const char** data, const char* end);
    // The same for a block the caller lets it change, without copying a
    // line that lies whole in the block (no NUL, its LF within reach):
    // Line() then points into the block, where a CR before the LF has been
    // overwritten with the LF. The lines and the bytes taken are Take's.
    bool Next(char** data, char* end);
    // Starts a new line.
    void Reset()
    {
        fCount = 0;
        fView = fLine;
        fViewLength = 0;
        fPlain = nullptr;
    }
    // The line so far: Length() bytes, ending in LF when complete and not
    // cut; NUL-terminated unless Next found it in place.
    const char* Line() const { return fView; }
    size_t Length() const { return fViewLength; }
    // A line Next found in place that is plain ASCII (no byte of 0x80 or
    // above, and no 0x01, the CTCP marker) and ended in CR LF, NUL-
    // terminated there (where its LF was); nullptr for any other.
    char* PlainLine() const { return fPlain; }

private:
    char fLine[LINE_MAX_RAW + 1] = {};
    size_t fCount = 0;
    const char* fView = fLine;
    size_t fViewLength = 0;
    char* fPlain = nullptr;
};

// Converts a raw line from `encoding` to UTF-8 into `out` (at least
// LINE_MAX_UTF8 + 1 bytes), NUL-terminated; returns the length. An unknown
// encoding reads as the default, Windows code page 1252.
size_t line_to_utf8(int16 encoding, const char* raw, size_t length, char* out);

// The complete line `splitter` holds, in UTF-8 and NUL-terminated: where
// it lies when it is a plain line (PlainLine()) that `encoding` keeps as it
// is (the usual case, no copy), else converted into `out` (at least
// LINE_MAX_UTF8 + 1 bytes). `*length` is its length.
char* utf8_line(const LineSplitter& splitter, int16 encoding, char* out, size_t* length);

// Builds the bytes to send for `line` in `encoding` into `wire` (at least
// LINE_MAX_WIRE + 1 bytes), NUL-terminated; returns their count.
size_t line_to_wire(int16 encoding, const char* line, char* wire);

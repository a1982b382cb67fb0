#pragma once

// What TextView.cpp and TextViewInput.cpp share: the text, its styles and
// its paragraphs, and the UTF-8 stepping both need.

#include <optional>
#include <string>
#include <vector>

#include "TextLayout.h"
#include "TextView.h"

struct BTextView::Style {
    BFont font;
    rgb_color color;

    bool operator==(const Style& other) const { return color == other.color && font == other.font; }
    bool operator!=(const Style& other) const { return !(*this == other); }
};

struct BTextView::State {
    // A line of the text up to and including its line end; a line longer
    // than the most laid out in one piece is cut into pieces, each but the
    // first "continued". A text that is empty or ends in a line end has an
    // empty paragraph at its end, where the caret can go.
    struct Paragraph {
        int32 start = 0;
        int32 length = 0;
        bool continued = false;
        bool stale = true;   // its text or styles changed since laid out
        bool rewrap = false; // the wrapping width changed
        float top = 0;       // from the top of the text
        float height = 0;
        int32 firstLine = 0;
        int32 lines = 1;
        BPrivate::TextLayout layout;
    };

    std::string text;
    // Sorted, the first at 0, each differing from the one before; none at
    // or past the end of a text that is not empty.
    std::vector<BPrivate::TextRun> runs;
    std::vector<Paragraph> paragraphs;
    // Paragraphs from here on need laying out or placing again.
    size_t firstStale = 0;
    // Set by SetFontAndColor with nothing selected, for what is typed next.
    std::optional<Style> typingStyle;
};

namespace BPrivate
{

// Bytes of the valid UTF-8 character at text[at], or 1 for a byte that
// starts none: such a byte is a character of its own, as it is laid out.
int32 utf8_char_length(const char* text, int32 size, int32 at);
// The start of the character that `at` falls in.
int32 utf8_char_start(const char* text, int32 size, int32 at);

} // namespace BPrivate

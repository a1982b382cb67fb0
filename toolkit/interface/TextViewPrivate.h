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
        // Height and lines are known for the text and width as they are;
        // until it is laid out they come from the font's measures, exact
        // for a line of plain ASCII in one font that fits the width, and
        // only a guess otherwise.
        bool sized = false;
        bool guessed = false;
        float top = 0; // from the top of the text
        float height = 0;
        int32 firstLine = 0;
        int32 lines = 1;
        BPrivate::TextLayout layout;

        // Its layout matches its text, styles and width.
        bool Current() const { return !stale && !rewrap; }
        // Lines within it. Sized but not laid out, it is one line (one
        // whose size is guessed is laid out before anything asks).
        int32 LocalLineAt(int32 offset) const { return Current() ? layout.LineAt(offset) : 0; }
        float LocalLineTop(int32 line) const { return Current() ? layout.LineTop(line) : 0; }
        float LocalLineHeight(int32 line) const
        {
            return Current() ? layout.LineHeight(line) : height;
        }
        int32 LocalLineStart(int32 line) const { return Current() ? layout.LineStart(line) : 0; }
    };

    std::string text;
    // Sorted, the first at 0, each differing from the one before; none at
    // or past the end of a text that is not empty.
    std::vector<BPrivate::TextRun> runs;
    std::vector<Paragraph> paragraphs;
    // Paragraphs from here on need sizing or placing again.
    size_t firstStale = 0;
    // No paragraph before this one has a guessed size.
    size_t firstGuessed = 0;
    // ScrollToOffset(end) waits for the next update to know the heights of
    // the last lines: while the view is still where it was put then and
    // the text unchanged, the update scrolls to the end again.
    bool pinnedToEnd = false;
    float pinnedY = 0;
    uint64 pinnedEdits = 0;
    uint64 edits = 0;
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

#pragma once

// One laid-out paragraph of styled text: what a text view keeps per line of
// its text, so that adding a line lays out only that line and drawing lays
// out nothing.
//
// Offsets are byte offsets into the UTF-8 text as given. Pango takes only
// valid UTF-8, so each byte that is not part of a valid character (and each
// NUL) is shown as U+FFFD; offsets are mapped both ways, and such a byte
// counts as one character of its own. Offsets passed in are clamped to the
// text and moved back to the start of the character they fall in.
//
// Setting anything is cheap; the text is laid out again on the next query
// or draw. Pango cannot measure a run of text wider than about two million
// pixels, so a paragraph is cut short after 360000 / s bytes, s being the
// largest font size in it (36 KB at 10): TextLength() tells where. Lines
// are stacked on whole pixels.
//
// A TextLayout may be used from any thread, one thread at a time; different
// layouts may be used from different threads at once.

#include <memory>
#include <vector>

#include <Font.h>
#include <GraphicsDefs.h>
#include <Point.h>

struct _cairo;

namespace BPrivate
{

// A style from `offset` up to the next run's offset or the end of the text.
struct TextRun {
    int32 offset = 0;
    BFont font;
    rgb_color color = {0, 0, 0, 255};
};

class TextLayout
{
public:
    TextLayout();
    ~TextLayout();
    TextLayout(TextLayout&& other) noexcept;
    TextLayout& operator=(TextLayout&& other) noexcept;
    TextLayout(const TextLayout&) = delete;
    TextLayout& operator=(const TextLayout&) = delete;

    // A negative length takes the text up to its NUL; null is empty.
    void SetText(const char* utf8, int32 length);
    // The font and colour of text before the first run, and the font whose
    // flags choose anti-aliasing for the whole paragraph.
    void SetFont(const BFont& font);
    void SetColor(rgb_color color);
    // Runs may come in any order; out-of-range offsets are clamped, and of
    // runs at the same offset the last one wins.
    void SetRuns(const std::vector<TextRun>& runs);
    // Wraps at word boundaries, breaking a word only when it is wider than
    // a line; 0 or less: one visual line per paragraph.
    void SetWidth(float width);

    int32 TextLength() const; // bytes, as laid out

    float Width() const; // of the widest line
    float Height() const;
    int32 CountLines() const; // visual lines after wrapping
    int32 LineAt(int32 offset) const;
    float LineTop(int32 line) const;
    float LineHeight(int32 line) const;
    int32 LineStart(int32 line) const;
    int32 LineEnd(int32 line) const; // after its last character, its trailing space included

    // The character boundary nearest a point, points outside the text
    // clamped to its nearest line and end; for mouse selection and the caret.
    int32 OffsetAt(BPoint point) const;
    // The caret before the character at `offset`: its leading edge (the
    // left one in left-to-right text) and the top of its line, relative to
    // the layout's left-top.
    BPoint PointAt(int32 offset, float* lineHeight = nullptr) const;

    // Draws with the layout's left-top at (x, y); only the lines inside
    // the context's clip.
    void Draw(_cairo* context, float x, float y) const;
    // Fills the background of the characters in [from, to), for a selection
    // drawn before the text.
    void DrawSelection(_cairo* context, float x, float y, int32 from, int32 to,
                       rgb_color color) const;

    // Draws the text over a selection of [from, to) in `color`: its
    // background, and the selected characters in colours that read on it.
    void DrawSelected(_cairo* context, float x, float y, int32 from, int32 to,
                      rgb_color color) const;

    // Lets go of pango's copy of the laid-out text (about 11 KB for a
    // 200-byte paragraph wrapped in three lines), keeping the sizes and the
    // line bounds. Drawing, OffsetAt() and PointAt() lay it out again. For
    // a view to call on lines scrolled far out of sight.
    void Compact();

private:
    struct Data;
    Data* _Ready(bool withPango = false) const;

    mutable std::unique_ptr<Data> fData; // laid out on demand
};

} // namespace BPrivate

// BTextView: the text, its styles, its paragraphs, geometry and drawing.
// Keyboard, mouse and clipboard are in TextViewInput.cpp.

#include "TextView.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "ControlLook.h"
#include "Cursor.h"
#include "ScrollBar.h"
#include "TextViewPrivate.h"
#include "Window.h"

using BPrivate::TextRun;

namespace
{

// Longer lines are laid out in pieces of about this many bytes: pango's
// cost per change grows with the paragraph, and it cannot lay out more than
// 360000 / size bytes at all.
const int32 kMaxParagraphBytes = 4096;
// Paragraphs this many view heights away from the visible part let go of
// pango's copy of their layout.
const float kKeepLaidOutScreens = 2;
// Run arrays from elsewhere are trusted up to this many runs.
const int32 kMaxRuns = 1 << 24;
// Whatever MaxBytes says: offsets plus lengths stay far from overflowing.
const int32 kMaxTextBytes = INT32_MAX / 2;

bool is_continuation(char byte)
{
    return (uint8(byte) & 0xC0) == 0x80;
}

void apply_font(BFont& target, const BFont& source, uint32 mask)
{
    if ((mask & B_FONT_ALL) == B_FONT_ALL) {
        target = source;
        return;
    }
    if ((mask & B_FONT_FAMILY_AND_STYLE) != 0) {
        font_family family;
        font_style style;
        source.GetFamilyAndStyle(&family, &style);
        target.SetFamilyAndStyle(family, style);
    }
    if ((mask & B_FONT_SIZE) != 0)
        target.SetSize(source.Size());
    if ((mask & B_FONT_SHEAR) != 0)
        target.SetShear(source.Shear());
    if ((mask & B_FONT_ROTATION) != 0)
        target.SetRotation(source.Rotation());
    if ((mask & B_FONT_FACE) != 0)
        target.SetFace(source.Face());
    if ((mask & B_FONT_FLAGS) != 0)
        target.SetFlags(source.Flags());
}

// What a font's plain ASCII measures, taken from pango once per font: the
// height of a line and each printable character's advance. A line of such
// characters in one font that is narrower than the wrapping width is one
// line of that height, so it can be sized without being laid out.
struct AsciiMeasures {
    BFont font;
    float lineHeight = 0;
    float advance[95] = {};
};

// Kerning and ligatures only narrow such text in the fonts we use; this
// much room is left all the same.
float fit_margin(float width)
{
    return 2 + width / 100;
}

std::shared_ptr<const AsciiMeasures> ascii_measures(const BFont& font)
{
    static std::mutex& lock = *new std::mutex;
    static auto& cache = *new std::vector<std::shared_ptr<const AsciiMeasures>>;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (const auto& measures : cache) {
            if (measures->font == font)
                return measures;
        }
    }
    auto measures = std::make_shared<AsciiMeasures>();
    measures->font = font;
    BPrivate::TextLayout layout;
    layout.SetFont(font);
    layout.SetText("X", 1);
    measures->lineHeight = layout.Height();
    for (int32 c = 0x20; c < 0x7F; c++) {
        char character = char(c);
        layout.SetText(&character, 1);
        measures->advance[c - 0x20] = layout.Width();
    }
    std::lock_guard<std::mutex> guard(lock);
    // Few fonts show text in views; a program that makes many keeps the
    // latest.
    if (cache.size() >= 64)
        cache.erase(cache.begin());
    cache.push_back(measures);
    return measures;
}

} // namespace

namespace BPrivate
{

int32 utf8_char_length(const char* text, int32 size, int32 at)
{
    uint8 lead = uint8(text[at]);
    int32 length;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 1;
    if (size - at < length)
        return 1;
    uint8 second = uint8(text[at + 1]);
    if (!is_continuation(char(second)))
        return 1;
    // Overlong forms, surrogates and code points past U+10FFFF are invalid,
    // as they are to pango.
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 1;
    for (int32 i = 2; i < length; i++) {
        if (!is_continuation(text[at + i]))
            return 1;
    }
    return length;
}

int32 utf8_char_start(const char* text, int32 size, int32 at)
{
    if (at <= 0)
        return 0;
    if (at >= size)
        return size;
    if (!is_continuation(text[at]))
        return at;
    // Only the nearest byte before that is no continuation byte can start
    // a character reaching this far.
    for (int32 back = 1; back <= 3 && at - back >= 0; back++) {
        if (!is_continuation(text[at - back]))
            return utf8_char_length(text, size, at - back) > back ? at - back : at;
    }
    return at;
}

} // namespace BPrivate

using BPrivate::utf8_char_length;
using BPrivate::utf8_char_start;

// -- life ------------------------------------------------------------------------------

BTextView::BTextView(BRect frame, const char* name, BRect textRect, uint32 resizingMode,
                     uint32 flags)
    : BView(frame, name, resizingMode, flags | B_FRAME_EVENTS)
{
    Init(textRect);
}

BTextView::BTextView(BRect frame, const char* name, BRect textRect, const BFont* font,
                     const rgb_color* color, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags | B_FRAME_EVENTS)
{
    if (font != nullptr)
        SetFont(font);
    if (color != nullptr)
        SetHighColor(*color);
    Init(textRect);
}

void BTextView::Init(BRect textRect)
{
    fState.reset(new State);
    fSelStart = fSelEnd = fAnchor = fCaret = 0;
    fGoalX = -1;
    fMaxBytes = INT32_MAX;
    fEditable = true;
    fSelectable = true;
    fStylable = true;
    fWordWrap = true;
    fDimmed = false;
    fHideTyping = false;
    fCaretOn = true;
    fAlignment = B_ALIGN_LEFT;
    fLayoutCount = 0;
    fRefreshes = 0;
    SetViewColor(BPrivate::kFieldColor);
    SetLowColor(BPrivate::kFieldColor);
    SetViewCursor(B_CURSOR_I_BEAM);

    Style style = InsertionStyle(0);
    fState->runs.push_back(TextRun{0, style.font, style.color});
    fState->paragraphs.emplace_back();
    fLeftInset = fTopInset = fRightInset = fBottomInset = 0;
    SetTextRect(textRect);
}

BTextView::~BTextView()
{
    // A bar that outlives its target must not scroll it any more.
    for (orientation direction : {B_VERTICAL, B_HORIZONTAL}) {
        if (BScrollBar* bar = ScrollBar(direction))
            bar->SetTarget(nullptr);
    }
}

void BTextView::AttachedToWindow()
{
    BView::AttachedToWindow();
    // Scroll bars may have taken this view as their target meanwhile.
    UpdateScrollBars();
}

void BTextView::TargetedByScrollView(BScrollView* scrollView)
{
    BView::TargetedByScrollView(scrollView);
    // The text may be there already when the bars arrive.
    UpdateScrollBars();
}

// -- the text ----------------------------------------------------------------------------

void BTextView::SetText(const char* text, const text_run_array* runs)
{
    SetText(text, -1, runs);
}

void BTextView::SetText(const char* text, int32 length, const text_run_array* runs)
{
    fState->typingStyle.reset();
    if (TextLength() > 0)
        DeleteText(0, TextLength());
    if (text != nullptr && length != 0)
        InsertText(text, length, 0, runs);
}

void BTextView::Insert(const char* text, const text_run_array* runs)
{
    Insert(fSelStart, text, -1, runs);
}

void BTextView::Insert(const char* text, int32 length, const text_run_array* runs)
{
    Insert(fSelStart, text, length, runs);
}

void BTextView::Insert(int32 offset, const char* text, int32 length, const text_run_array* runs)
{
    if (text != nullptr && length != 0)
        InsertText(text, length, offset, runs);
}

void BTextView::Delete()
{
    if (fSelStart < fSelEnd)
        DeleteText(fSelStart, fSelEnd);
}

void BTextView::Delete(int32 start, int32 finish)
{
    DeleteText(start, finish);
}

const char* BTextView::Text() const
{
    return fState->text.c_str();
}

int32 BTextView::TextLength() const
{
    return int32(fState->text.size());
}

char BTextView::ByteAt(int32 offset) const
{
    if (offset < 0 || offset >= TextLength())
        return 0;
    return fState->text[size_t(offset)];
}

void BTextView::GetText(int32 offset, int32 length, char* buffer) const
{
    if (buffer == nullptr)
        return;
    offset = std::clamp(offset, int32(0), TextLength());
    length = std::clamp(length, int32(0), TextLength() - offset);
    memcpy(buffer, fState->text.data() + offset, size_t(length));
    buffer[length] = '\0';
}

void BTextView::InsertText(const char* text, int32 length, int32 offset, const text_run_array* runs)
{
    if (text == nullptr || length == 0)
        return;
    // A NUL ends the text.
    size_t bytes = length < 0 ? strlen(text) : strnlen(text, size_t(length));
    int64 room = int64(std::min(fMaxBytes, kMaxTextBytes)) - TextLength();
    if (room <= 0 || bytes == 0)
        return;
    if (int64(bytes) > room) {
        // Cut to fit, without splitting the character at the cut.
        bytes = size_t(room);
        int32 cut = utf8_char_start(text, int32(bytes) + 1, int32(bytes));
        bytes = size_t(cut);
        if (bytes == 0)
            return;
    }
    int32 count = int32(bytes);
    offset = Clamp(offset);
    Style style = InsertionStyle(offset);

    fState->text.insert(size_t(offset), text, bytes);
    for (TextRun& run : fState->runs) {
        if (run.offset >= offset)
            run.offset += count;
    }
    ApplyRuns(offset, offset + count, fStylable ? runs : nullptr, style);
    TextChanged(offset, offset, offset + count);
    AdjustSelection(offset, offset, offset + count);
    Refresh();
}

void BTextView::DeleteText(int32 fromOffset, int32 toOffset)
{
    int32 from = Clamp(std::min(fromOffset, toOffset));
    int32 to = Clamp(std::max(fromOffset, toOffset));
    if (from >= to)
        return;
    int32 count = to - from;
    bool keepAfter = to < TextLength();
    Style after = StyleAt(to);

    fState->text.erase(size_t(from), size_t(count));
    std::vector<TextRun>& runs = fState->runs;
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [&](const TextRun& run) {
                                  return run.offset >= from && run.offset < to && run.offset != 0;
                              }),
               runs.end());
    for (TextRun& run : runs) {
        if (run.offset >= to)
            run.offset -= count;
    }
    if (keepAfter)
        SetStyleFrom(from, after);
    NormalizeRuns(from, from);
    TextChanged(from, to, from);
    AdjustSelection(from, to, from);
    Refresh();
}

int32 BTextView::Clamp(int32 offset) const
{
    const std::string& text = fState->text;
    return utf8_char_start(text.data(), int32(text.size()),
                           std::clamp(offset, int32(0), int32(text.size())));
}

int32 BTextView::NextChar(int32 offset) const
{
    const std::string& text = fState->text;
    offset = Clamp(offset);
    if (offset >= int32(text.size()))
        return offset;
    return offset + utf8_char_length(text.data(), int32(text.size()), offset);
}

int32 BTextView::PreviousChar(int32 offset) const
{
    offset = Clamp(offset);
    return offset > 0 ? Clamp(offset - 1) : 0;
}

void BTextView::AdjustSelection(int32 start, int32 oldEnd, int32 newEnd)
{
    auto adjust = [&](int32& offset) {
        if (offset >= oldEnd)
            offset += newEnd - oldEnd;
        else if (offset > start)
            offset = start;
    };
    adjust(fSelStart);
    adjust(fSelEnd);
    adjust(fAnchor);
    adjust(fCaret);
}

// -- styles ------------------------------------------------------------------------------

text_run_array* BTextView::AllocRunArray(int32 count, int32* outSize)
{
    if (count < 0 || count > kMaxRuns)
        return nullptr;
    size_t size = sizeof(text_run_array) + size_t(std::max(count, int32(1)) - 1) * sizeof(text_run);
    void* memory = ::operator new(size, std::nothrow);
    if (memory == nullptr)
        return nullptr;
    auto* array = static_cast<text_run_array*>(memory);
    array->count = count;
    for (int32 i = 0; i < std::max(count, int32(1)); i++)
        new (&array->runs[i]) text_run{0, *be_plain_font, rgb_color{0, 0, 0, 255}};
    if (outSize != nullptr)
        *outSize = int32(size);
    return array;
}

void BTextView::FreeRunArray(text_run_array* array)
{
    ::operator delete(array);
}

BTextView::Style BTextView::StyleAt(int32 offset) const
{
    const std::vector<TextRun>& runs = fState->runs;
    auto after =
        std::upper_bound(runs.begin(), runs.end(), offset,
                         [](int32 value, const TextRun& run) { return value < run.offset; });
    const TextRun& run = after == runs.begin() ? runs.front() : *(after - 1);
    return Style{run.font, run.color};
}

BTextView::Style BTextView::InsertionStyle(int32 offset) const
{
    if (fState->text.empty()) {
        Style style;
        GetFont(&style.font);
        style.color = HighColor();
        return style;
    }
    return StyleAt(offset > 0 ? offset - 1 : 0);
}

void BTextView::SetStyleFrom(int32 offset, const Style& style)
{
    std::vector<TextRun>& runs = fState->runs;
    auto at = std::lower_bound(runs.begin(), runs.end(), offset,
                               [](const TextRun& run, int32 value) { return run.offset < value; });
    if (at != runs.end() && at->offset == offset) {
        at->font = style.font;
        at->color = style.color;
    } else {
        runs.insert(at, TextRun{offset, style.font, style.color});
    }
}

void BTextView::NormalizeRuns(int32 from, int32 to)
{
    std::vector<TextRun>& runs = fState->runs;
    int32 length = TextLength();
    while (runs.size() > 1 && runs.back().offset >= length)
        runs.pop_back();
    if (runs.empty()) {
        Style style = InsertionStyle(0);
        runs.push_back(TextRun{0, style.font, style.color});
    }
    runs.front().offset = 0;
    // Merge equal neighbours around the range that changed: each run from
    // the first at `from` on is checked against the one before, up to the
    // first past `to`.
    auto first =
        std::lower_bound(runs.begin(), runs.end(), from,
                         [](const TextRun& run, int32 value) { return run.offset < value; });
    size_t index = size_t(std::max<ptrdiff_t>(first - runs.begin(), 1));
    while (index < runs.size() && runs[index - 1].offset <= to) {
        const TextRun& previous = runs[index - 1];
        const TextRun& run = runs[index];
        if (run.offset == previous.offset)
            runs.erase(runs.begin() + ptrdiff_t(index) - 1); // the later one wins
        else if (run.color == previous.color && run.font == previous.font)
            runs.erase(runs.begin() + ptrdiff_t(index));
        else
            index++;
    }
}

void BTextView::ApplyRuns(int32 start, int32 end, const text_run_array* runs, const Style& first)
{
    bool keepAfter = end < TextLength();
    Style after = StyleAt(end);
    std::vector<TextRun>& stored = fState->runs;
    stored.erase(std::remove_if(stored.begin(), stored.end(),
                                [&](const TextRun& run) {
                                    return run.offset >= start && run.offset < end &&
                                           run.offset != 0;
                                }),
                 stored.end());
    if (runs == nullptr || runs->count <= 0) {
        SetStyleFrom(start, first);
    } else {
        // Of runs at the same offset the last given wins; the first covers
        // the range's start whatever its offset says.
        int32 count = std::min(runs->count, kMaxRuns);
        std::vector<TextRun> given;
        given.reserve(size_t(count));
        for (int32 i = 0; i < count; i++) {
            const text_run& run = runs->runs[i];
            given.push_back(TextRun{std::max(run.offset, int32(0)), run.font, run.color});
        }
        std::stable_sort(given.begin(), given.end(),
                         [](const TextRun& a, const TextRun& b) { return a.offset < b.offset; });
        given.front().offset = 0;
        for (const TextRun& run : given) {
            if (run.offset >= end - start)
                break;
            SetStyleFrom(Clamp(start + run.offset), Style{run.font, run.color});
        }
    }
    if (keepAfter)
        SetStyleFrom(end, after);
    NormalizeRuns(start, end);
}

void BTextView::SetRunArray(int32 startOffset, int32 endOffset, const text_run_array* runs)
{
    if (!fStylable || runs == nullptr || runs->count <= 0)
        return;
    int32 start = Clamp(std::min(startOffset, endOffset));
    int32 end = Clamp(std::max(startOffset, endOffset));
    if (start >= end)
        return;
    ApplyRuns(start, end, runs, StyleAt(start));
    StylesChanged(start, end);
    Refresh();
}

text_run_array* BTextView::RunArray(int32 startOffset, int32 endOffset, int32* length) const
{
    int32 start = Clamp(std::min(startOffset, endOffset));
    int32 end = Clamp(std::max(startOffset, endOffset));
    const std::vector<TextRun>& runs = fState->runs;
    std::vector<TextRun> found;
    Style first = fState->text.empty() ? InsertionStyle(0) : StyleAt(start);
    found.push_back(TextRun{0, first.font, first.color});
    auto after =
        std::upper_bound(runs.begin(), runs.end(), start,
                         [](int32 value, const TextRun& run) { return value < run.offset; });
    for (; after != runs.end() && after->offset < end; ++after)
        found.push_back(TextRun{after->offset - start, after->font, after->color});
    text_run_array* array = AllocRunArray(int32(found.size()));
    if (array == nullptr)
        return nullptr;
    for (size_t i = 0; i < found.size(); i++)
        array->runs[i] = text_run{found[i].offset, found[i].font, found[i].color};
    if (length != nullptr)
        *length = end - start;
    return array;
}

void BTextView::SetFontAndColor(const BFont* font, uint32 mode, const rgb_color* color)
{
    auto modify = [&](Style style) {
        if (font != nullptr)
            apply_font(style.font, *font, mode);
        if (color != nullptr)
            style.color = *color;
        return style;
    };
    int32 length = TextLength();
    if (!fStylable) {
        // One style for all of it, also what an empty view starts with.
        Style style = modify(InsertionStyle(0));
        SetFont(&style.font);
        SetHighColor(style.color);
        fState->runs.assign(1, TextRun{0, style.font, style.color});
        StylesChanged(0, length);
        Refresh();
        return;
    }
    if (fSelStart >= fSelEnd) {
        Style current = fState->typingStyle ? *fState->typingStyle : InsertionStyle(fSelStart);
        fState->typingStyle = modify(current);
        return;
    }
    if (fSelEnd < length)
        SetStyleFrom(fSelEnd, StyleAt(fSelEnd));
    SetStyleFrom(fSelStart, StyleAt(fSelStart));
    for (TextRun& run : fState->runs) {
        if (run.offset < fSelStart || run.offset >= fSelEnd)
            continue;
        Style style = modify(Style{run.font, run.color});
        run.font = style.font;
        run.color = style.color;
    }
    NormalizeRuns(fSelStart, fSelEnd);
    StylesChanged(fSelStart, fSelEnd);
    Refresh();
}

void BTextView::GetFontAndColor(int32 offset, BFont* font, rgb_color* color) const
{
    Style style = fState->text.empty() ? InsertionStyle(0) : StyleAt(Clamp(offset));
    if (font != nullptr)
        *font = style.font;
    if (color != nullptr)
        *color = style.color;
}

void BTextView::SetStylable(bool stylable)
{
    fStylable = stylable;
}

void BTextView::_SetDimmed(bool dimmed)
{
    if (dimmed == fDimmed)
        return;
    fDimmed = dimmed;
    StylesChanged(0, TextLength());
    Refresh();
}

void BTextView::HideTyping(bool enabled)
{
    if (enabled == fHideTyping)
        return;
    fHideTyping = enabled;
    StylesChanged(0, TextLength());
    Refresh();
}

// -- settings ------------------------------------------------------------------------------

void BTextView::SetMaxBytes(int32 max)
{
    fMaxBytes = std::max(max, int32(0));
    if (TextLength() > fMaxBytes)
        DeleteText(Clamp(fMaxBytes), TextLength());
}

void BTextView::MakeEditable(bool editable)
{
    if (editable == fEditable)
        return;
    fEditable = editable;
    fCaretOn = true;
    InvalidateCaret();
    SetViewCursor(fEditable || fSelectable ? B_CURSOR_I_BEAM : nullptr);
}

void BTextView::MakeSelectable(bool selectable)
{
    if (selectable == fSelectable)
        return;
    fSelectable = selectable;
    if (!selectable)
        Select(fSelStart, fSelStart);
    SetViewCursor(fEditable || fSelectable ? B_CURSOR_I_BEAM : nullptr);
}

void BTextView::SetWordWrap(bool wrap)
{
    if (wrap == fWordWrap)
        return;
    fWordWrap = wrap;
    for (State::Paragraph& paragraph : fState->paragraphs) {
        paragraph.rewrap = true;
        paragraph.sized = false;
    }
    fState->firstStale = 0;
    fState->edits++;
    Refresh();
    Invalidate();
}

void BTextView::SetTextRect(BRect rect)
{
    for (float* side : {&rect.left, &rect.top, &rect.right, &rect.bottom}) {
        if (!std::isfinite(*side))
            *side = 0;
    }
    rect.right = std::max(rect.right, rect.left);
    rect.bottom = std::max(rect.bottom, rect.top);
    bool rewrap = fWordWrap && rect.Width() != fTextRect.Width();
    fTextRect = rect;
    // Kept when the view is resized.
    BRect frame = Frame();
    fLeftInset = rect.left;
    fTopInset = rect.top;
    fRightInset = frame.Width() - rect.right;
    fBottomInset = frame.Height() - rect.bottom;
    if (rewrap) {
        for (State::Paragraph& paragraph : fState->paragraphs) {
            paragraph.rewrap = true;
            paragraph.sized = false;
        }
        fState->edits++;
    }
    fState->firstStale = 0;
    Refresh();
    Invalidate();
}

void BTextView::FrameResized(float newWidth, float newHeight)
{
    BRect rect = fTextRect;
    rect.right = std::max(rect.left, newWidth - fRightInset);
    rect.bottom = std::max(rect.top, newHeight - fBottomInset);
    if (fWordWrap && rect.Width() != fTextRect.Width()) {
        for (State::Paragraph& paragraph : fState->paragraphs) {
            paragraph.rewrap = true;
            paragraph.sized = false;
        }
        fState->firstStale = 0;
        fState->edits++;
    }
    fTextRect = rect;
    Refresh();
}

// -- selection -------------------------------------------------------------------------------

void BTextView::Select(int32 start, int32 finish)
{
    if (start > finish)
        std::swap(start, finish);
    start = Clamp(start);
    finish = Clamp(finish);
    if (start != fSelStart || finish != fSelEnd)
        fState->typingStyle.reset();
    if (fSelStart < fSelEnd)
        InvalidateRange(fSelStart, fSelEnd);
    else
        InvalidateCaret();
    fSelStart = fAnchor = start;
    fSelEnd = fCaret = finish;
    CaretShown();
    if (fSelStart < fSelEnd)
        InvalidateRange(fSelStart, fSelEnd);
    else
        InvalidateCaret();
}

void BTextView::GetSelection(int32* start, int32* finish) const
{
    if (start != nullptr)
        *start = fSelStart;
    if (finish != nullptr)
        *finish = fSelEnd;
}

void BTextView::SelectAll()
{
    Select(0, TextLength());
}

// -- paragraphs --------------------------------------------------------------------------------

void BTextView::TextChanged(int32 start, int32 oldEnd, int32 newEnd)
{
    std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    const std::string& text = fState->text;
    int32 delta = newEnd - oldEnd;

    // The old paragraphs [first, last] are laid anew: from the start of the
    // line the change begins in to the end of the line it ends in.
    int32 first = ParagraphAt(start);
    while (first > 0 && paragraphs[size_t(first)].continued)
        first--;
    int32 last = ParagraphAt(oldEnd);
    const State::Paragraph& tail = paragraphs[size_t(last)];
    if (tail.start == oldEnd && !tail.continued &&
        (newEnd == 0 || text[size_t(newEnd) - 1] == '\n'))
        last--; // still starts a line after the change: untouched
    else {
        while (size_t(last) + 1 < paragraphs.size() && paragraphs[size_t(last) + 1].continued)
            last++;
    }
    bool reachesEnd = size_t(last) + 1 == paragraphs.size();
    int32 regionStart = paragraphs[size_t(first)].start;
    int32 oldRegionEnd = last >= first
                             ? paragraphs[size_t(last)].start + paragraphs[size_t(last)].length
                             : regionStart;
    int32 regionEnd = oldRegionEnd + delta;

    std::vector<State::Paragraph> laid;
    bool continued = false;
    for (int32 at = regionStart; at < regionEnd;) {
        int32 limit = int32(std::min(int64(regionEnd), int64(at) + kMaxParagraphBytes));
        // A line end just past the limit still ends this piece.
        int32 searched = int32(std::min(int64(regionEnd), int64(limit) + 1));
        const void* found = memchr(text.data() + at, '\n', size_t(searched - at));
        int32 end;
        if (found != nullptr) {
            end = int32(static_cast<const char*>(found) - text.data()) + 1;
        } else if (limit == regionEnd) {
            end = regionEnd;
        } else {
            end = utf8_char_start(text.data(), int32(text.size()), limit);
            if (end <= at)
                end = limit;
        }
        State::Paragraph paragraph;
        paragraph.start = at;
        paragraph.length = end - at;
        paragraph.continued = continued;
        continued = text[size_t(end) - 1] != '\n';
        laid.push_back(std::move(paragraph));
        at = end;
    }
    if (reachesEnd && (regionEnd == 0 || text[size_t(regionEnd) - 1] == '\n')) {
        State::Paragraph empty;
        empty.start = regionEnd;
        laid.push_back(std::move(empty));
    }

    auto eraseFrom = paragraphs.begin() + first;
    auto eraseTo = paragraphs.begin() + (last + 1);
    if (last < first)
        eraseTo = eraseFrom;
    auto inserted = paragraphs.erase(eraseFrom, eraseTo);
    paragraphs.insert(inserted, std::make_move_iterator(laid.begin()),
                      std::make_move_iterator(laid.end()));
    // Starts are kept right at once: the next change looks paragraphs up
    // by them before any layout.
    for (size_t i = size_t(first); i < paragraphs.size(); i++) {
        paragraphs[i].start = i == 0 ? 0 : paragraphs[i - 1].start + paragraphs[i - 1].length;
    }
    fState->firstStale = std::min(fState->firstStale, size_t(first));
    fState->firstGuessed = std::min(fState->firstGuessed, size_t(first));
    fState->edits++;
}

void BTextView::StylesChanged(int32 start, int32 end)
{
    std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    int32 first = ParagraphAt(start);
    int32 last = ParagraphAt(end);
    for (int32 i = first; i <= last; i++) {
        paragraphs[size_t(i)].stale = true;
        paragraphs[size_t(i)].sized = false;
    }
    fState->firstStale = std::min(fState->firstStale, size_t(first));
    fState->edits++;
}

int32 BTextView::ParagraphAt(int32 offset) const
{
    const std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    auto after = std::upper_bound(
        paragraphs.begin(), paragraphs.end(), offset,
        [](int32 value, const State::Paragraph& paragraph) { return value < paragraph.start; });
    return std::max(int32(after - paragraphs.begin()) - 1, int32(0));
}

int32 BTextView::ParagraphAtY(float y) const
{
    const std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    if (std::isnan(y))
        return 0;
    auto after = std::upper_bound(
        paragraphs.begin(), paragraphs.end(), y,
        [](float value, const State::Paragraph& paragraph) { return value < paragraph.top; });
    return std::max(int32(after - paragraphs.begin()) - 1, int32(0));
}

int32 BTextView::ParagraphOfLine(int32 line) const
{
    const std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    auto after = std::upper_bound(
        paragraphs.begin(), paragraphs.end(), line,
        [](int32 value, const State::Paragraph& paragraph) { return value < paragraph.firstLine; });
    return std::max(int32(after - paragraphs.begin()) - 1, int32(0));
}

namespace
{

// The bytes laid out: the paragraph without its line end.
int32 shown_length(const std::string& text, int32 start, int32 length)
{
    if (length > 0 && text[size_t(start + length) - 1] == '\n')
        return length - 1;
    return length;
}

} // namespace

bool BTextView::LayOutParagraph(int32 index)
{
    State::Paragraph& paragraph = fState->paragraphs[size_t(index)];
    bool wasSized = paragraph.sized;
    float oldHeight = paragraph.height;
    int32 oldLines = paragraph.lines;
    const std::string& text = fState->text;
    if (paragraph.stale) {
        int32 shown = shown_length(text, paragraph.start, paragraph.length);
        Style base = InsertionStyle(0);
        if (!text.empty())
            base = StyleAt(paragraph.start);
        rgb_color dimmed = BPrivate::kDisabledText;
        // Byte for byte, so that offsets into the text stay offsets into
        // what is shown.
        std::string masked;
        if (fHideTyping)
            masked.assign(size_t(shown), '*');
        paragraph.layout.SetText(fHideTyping ? masked.data() : text.data() + paragraph.start,
                                 shown);
        paragraph.layout.SetFont(base.font);
        paragraph.layout.SetColor(fDimmed ? dimmed : base.color);
        std::vector<TextRun> runs;
        runs.push_back(TextRun{0, base.font, fDimmed ? dimmed : base.color});
        const std::vector<TextRun>& stored = fState->runs;
        auto run = std::upper_bound(stored.begin(), stored.end(), paragraph.start,
                                    [](int32 value, const TextRun& r) { return value < r.offset; });
        for (; run != stored.end() && run->offset < paragraph.start + shown; ++run) {
            runs.push_back(
                TextRun{run->offset - paragraph.start, run->font, fDimmed ? dimmed : run->color});
        }
        paragraph.layout.SetRuns(runs);
    }
    paragraph.layout.SetWidth(WrapWidth());
    paragraph.height = paragraph.layout.Height();
    paragraph.lines = std::max(paragraph.layout.CountLines(), int32(1));
    paragraph.stale = false;
    paragraph.rewrap = false;
    paragraph.sized = true;
    paragraph.guessed = false;
    fLayoutCount++;
    bool changed = !wasSized || paragraph.height != oldHeight || paragraph.lines != oldLines;
    if (changed)
        fState->firstStale = std::min(fState->firstStale, size_t(index));
    return changed;
}

void BTextView::SizeParagraph(int32 index)
{
    State::Paragraph& paragraph = fState->paragraphs[size_t(index)];
    if (!fWordWrap) {
        // Scrolling sideways needs the width of every line.
        LayOutParagraph(index);
        return;
    }
    const std::string& text = fState->text;
    int32 shown = shown_length(text, paragraph.start, paragraph.length);
    Style base = text.empty() ? InsertionStyle(0) : StyleAt(paragraph.start);
    std::shared_ptr<const AsciiMeasures> measures = ascii_measures(base.font);
    bool plain = true;
    const std::vector<TextRun>& runs = fState->runs;
    auto run = std::upper_bound(runs.begin(), runs.end(), paragraph.start,
                                [](int32 value, const TextRun& r) { return value < r.offset; });
    for (; run != runs.end() && run->offset < paragraph.start + shown && plain; ++run)
        plain = run->font == base.font;
    float width = 0;
    const char* bytes = text.data() + paragraph.start;
    float typical = measures->advance['n' - 0x20];
    for (int32 i = 0; i < shown; i++) {
        uint8 byte = uint8(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            width += measures->advance[byte - 0x20];
        } else {
            plain = false;
            if (!is_continuation(char(byte)))
                width += typical;
        }
    }
    float wrap = WrapWidth();
    paragraph.sized = true;
    if (plain && width <= wrap - fit_margin(wrap)) {
        paragraph.height = measures->lineHeight;
        paragraph.lines = 1;
        paragraph.guessed = false;
        return;
    }
    // A guess, made exact when the paragraph is drawn or asked about.
    paragraph.lines = std::max(int32(std::ceil(width / wrap)), int32(1));
    paragraph.height = float(paragraph.lines) * measures->lineHeight;
    paragraph.guessed = true;
    fState->firstGuessed = std::min(fState->firstGuessed, size_t(index));
}

void BTextView::Settle(int32 last) const
{
    auto* self = const_cast<BTextView*>(this);
    std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    size_t end = std::min(size_t(std::max(last, int32(0))) + 1, paragraphs.size());
    if (fState->firstGuessed >= end)
        return;
    bool changed = false;
    for (size_t i = fState->firstGuessed; i < end; i++) {
        if (paragraphs[i].guessed)
            changed = self->LayOutParagraph(int32(i)) || changed;
    }
    fState->firstGuessed = end;
    if (changed)
        self->Refresh();
}

int32 BTextView::SettledParagraphAt(int32 offset) const
{
    int32 index = ParagraphAt(offset);
    Settle(index);
    return index;
}

int32 BTextView::SettledParagraphAtY(float y) const
{
    // Settling what lies above moves the paragraphs; a few rounds find the
    // one that ends up at y.
    for (;;) {
        int32 index = ParagraphAtY(y);
        if (fState->firstGuessed > size_t(index))
            return index;
        Settle(index);
    }
}

int32 BTextView::SettledParagraphOfLine(int32 line) const
{
    for (;;) {
        int32 index = ParagraphOfLine(line);
        if (fState->firstGuessed > size_t(index))
            return index;
        Settle(index);
    }
}

const BPrivate::TextLayout& BTextView::Laid(int32 index) const
{
    State::Paragraph& paragraph = fState->paragraphs[size_t(index)];
    if (!paragraph.Current()) {
        auto* self = const_cast<BTextView*>(this);
        if (self->LayOutParagraph(index))
            self->Refresh();
    }
    return paragraph.layout;
}

float BTextView::NominalLineHeight() const
{
    const State::Paragraph& first = fState->paragraphs.front();
    if (first.Current())
        return first.layout.LineHeight(0);
    if (first.sized && !first.guessed)
        return first.height;
    Style base = fState->text.empty() ? InsertionStyle(0) : StyleAt(0);
    return ascii_measures(base.font)->lineHeight;
}

float BTextView::WrapWidth() const
{
    return fWordWrap ? std::max(fTextRect.Width(), 1.0f) : 0;
}

void BTextView::Refresh()
{
    std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    size_t from = fState->firstStale;
    for (size_t i = from; i < paragraphs.size(); i++) {
        State::Paragraph& paragraph = paragraphs[i];
        if (!paragraph.sized)
            SizeParagraph(int32(i));
        if (i == 0) {
            paragraph.top = 0;
            paragraph.firstLine = 0;
        } else {
            paragraph.top = paragraphs[i - 1].top + paragraphs[i - 1].height;
            paragraph.firstLine = paragraphs[i - 1].firstLine + paragraphs[i - 1].lines;
        }
    }
    fState->firstStale = paragraphs.size();

    // What moved or changed shows again, from its top down.
    BRect bounds = Bounds();
    if (from < paragraphs.size()) {
        float top = std::max(bounds.top, std::floor(fTextRect.top + paragraphs[from].top));
        if (top <= bounds.bottom)
            Invalidate(BRect(bounds.left, top, bounds.right, bounds.bottom));
    }

    UpdateScrollBars();
    // Also when no bar does it: the text may have become shorter.
    bounds = Bounds();
    float y = std::clamp(bounds.top, 0.0f, MaxScrollY());
    float x = std::clamp(bounds.left, 0.0f, MaxScrollX());
    if (x != bounds.left || y != bounds.top)
        ScrollTo(x, y);
    if (++fRefreshes % 64 == 0)
        CompactHidden();
}

void BTextView::UpdateScrollBars()
{
    BRect bounds = Bounds();
    if (BScrollBar* bar = ScrollBar(B_VERTICAL)) {
        float visible = bounds.Height() + 1;
        float total = std::max(fTopInset, 0.0f) + TotalHeight() + std::max(fBottomInset, 0.0f);
        float line = NominalLineHeight();
        bar->SetRange(0, MaxScrollY());
        bar->SetProportion(total > 0 ? std::min(visible / total, 1.0f) : 1.0f);
        bar->SetSteps(line, std::max(line, visible - line));
    }
    if (BScrollBar* bar = ScrollBar(B_HORIZONTAL)) {
        float visible = bounds.Width() + 1;
        float total = visible + MaxScrollX();
        bar->SetRange(0, MaxScrollX());
        bar->SetProportion(total > 0 ? std::min(visible / total, 1.0f) : 1.0f);
        bar->SetSteps(std::ceil(NominalLineHeight() / 2), std::max(visible - 20, 10.0f));
    }
}

float BTextView::TotalHeight() const
{
    const State::Paragraph& last = fState->paragraphs.back();
    return last.top + last.height;
}

float BTextView::WidestLine() const
{
    float widest = 0;
    for (const State::Paragraph& paragraph : fState->paragraphs)
        widest = std::max(widest, paragraph.layout.Width());
    return widest;
}

float BTextView::MaxScrollY() const
{
    float total = std::max(fTopInset, 0.0f) + TotalHeight() + std::max(fBottomInset, 0.0f);
    return std::max(0.0f, std::ceil(total - (Bounds().Height() + 1)));
}

float BTextView::MaxScrollX() const
{
    // One pixel more for the caret after the last character.
    float content = fWordWrap ? fTextRect.right + 1 : fTextRect.left + WidestLine() + 1;
    content += std::max(fRightInset, 0.0f);
    return std::max(0.0f, std::ceil(content - (Bounds().Width() + 1)));
}

void BTextView::CompactHidden()
{
    BRect bounds = Bounds();
    float margin = (bounds.Height() + 1) * kKeepLaidOutScreens;
    float low = bounds.top - fTextRect.top - margin;
    float high = bounds.bottom - fTextRect.top + margin;
    for (State::Paragraph& paragraph : fState->paragraphs) {
        if (paragraph.top + paragraph.height < low || paragraph.top > high)
            paragraph.layout.Compact();
    }
}

void BTextView::InvalidateRange(int32 start, int32 end)
{
    const std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    const State::Paragraph& first = paragraphs[size_t(ParagraphAt(start))];
    const State::Paragraph& last = paragraphs[size_t(ParagraphAt(end))];
    BRect bounds = Bounds();
    Invalidate(BRect(bounds.left, std::floor(fTextRect.top + first.top), bounds.right,
                     std::ceil(fTextRect.top + last.top + last.height)));
}

BRect BTextView::CaretRect() const
{
    float height = 0;
    BPoint point = PointAt(fCaret, &height);
    float x = std::floor(point.x);
    return BRect(x, point.y, x, point.y + std::max(height, 1.0f) - 1);
}

void BTextView::InvalidateCaret()
{
    if (Window() == nullptr)
        return;
    Invalidate(CaretRect().InsetByCopy(-1, -1));
}

// -- geometry ----------------------------------------------------------------------------------

int32 BTextView::CountLines() const
{
    Settle(int32(fState->paragraphs.size()) - 1);
    const State::Paragraph& last = fState->paragraphs.back();
    return last.firstLine + last.lines;
}

int32 BTextView::LineAt(int32 offset) const
{
    offset = Clamp(offset);
    const State::Paragraph& paragraph = fState->paragraphs[size_t(SettledParagraphAt(offset))];
    int32 shown = shown_length(fState->text, paragraph.start, paragraph.length);
    return paragraph.firstLine + paragraph.LocalLineAt(std::min(offset - paragraph.start, shown));
}

int32 BTextView::LineAt(BPoint point) const
{
    float y = point.y - fTextRect.top;
    const State::Paragraph& paragraph = fState->paragraphs[size_t(SettledParagraphAtY(y))];
    int32 line = 0;
    while (line + 1 < paragraph.lines && paragraph.LocalLineTop(line + 1) <= y - paragraph.top)
        line++;
    return paragraph.firstLine + line;
}

float BTextView::LineHeight(int32 line) const
{
    // Past the last line: the last line's, without settling every
    // paragraph for the first line's.
    line = std::max(line, int32(0));
    const State::Paragraph& paragraph = fState->paragraphs[size_t(SettledParagraphOfLine(line))];
    return paragraph.LocalLineHeight(std::min(line - paragraph.firstLine, paragraph.lines - 1));
}

float BTextView::TextHeight(int32 startLine, int32 endLine) const
{
    int32 count = CountLines();
    startLine = std::clamp(startLine, int32(0), count - 1);
    endLine = std::clamp(endLine, int32(0), count - 1);
    if (endLine < startLine)
        return 0;
    const State::Paragraph& first = fState->paragraphs[size_t(ParagraphOfLine(startLine))];
    const State::Paragraph& last = fState->paragraphs[size_t(ParagraphOfLine(endLine))];
    int32 lastLocal = endLine - last.firstLine;
    float top = first.top + first.LocalLineTop(startLine - first.firstLine);
    float bottom = last.top + last.LocalLineTop(lastLocal) + last.LocalLineHeight(lastLocal);
    return bottom - top;
}

int32 BTextView::OffsetAt(BPoint point) const
{
    float y = point.y - fTextRect.top;
    int32 index = SettledParagraphAtY(y);
    const State::Paragraph& paragraph = fState->paragraphs[size_t(index)];
    int32 shown = shown_length(fState->text, paragraph.start, paragraph.length);
    int32 local = Laid(index).OffsetAt(BPoint(point.x - fTextRect.left, y - paragraph.top));
    return Clamp(paragraph.start + std::clamp(local, int32(0), shown));
}

int32 BTextView::OffsetAt(int32 line) const
{
    if (line < 0)
        return 0;
    const State::Paragraph& paragraph = fState->paragraphs[size_t(SettledParagraphOfLine(line))];
    if (line >= paragraph.firstLine + paragraph.lines)
        return TextLength(); // past the last line
    return paragraph.start + paragraph.LocalLineStart(line - paragraph.firstLine);
}

BPoint BTextView::PointAt(int32 offset, float* height) const
{
    offset = Clamp(offset);
    int32 index = SettledParagraphAt(offset);
    const State::Paragraph& paragraph = fState->paragraphs[size_t(index)];
    int32 shown = shown_length(fState->text, paragraph.start, paragraph.length);
    BPoint point = Laid(index).PointAt(std::min(offset - paragraph.start, shown), height);
    return BPoint(fTextRect.left + point.x, fTextRect.top + paragraph.top + point.y);
}

void BTextView::ScrollToOffset(int32 offset)
{
    offset = Clamp(offset);
    BRect bounds = Bounds();
    if (offset == TextLength() && fWordWrap && bounds.left == 0 && MaxScrollX() == 0 &&
        Window() != nullptr && bounds.Height() + 1 >= 2 * NominalLineHeight() + fBottomInset) {
        // The end of a log that follows it: its line is the last, shown at
        // the bottom. Where that is for sure is known once the last lines
        // are laid out, which waits for the update that draws them; the
        // update then scrolls to the end again, unless the text or the
        // scrolling changed meanwhile.
        float y = MaxScrollY();
        if (y != bounds.top)
            ScrollTo(bounds.left, y);
        fState->pinnedToEnd = true;
        fState->pinnedY = Bounds().top;
        fState->pinnedEdits = fState->edits;
        return;
    }
    float height = 0;
    BPoint point = PointAt(offset, &height);
    int32 line = LineAt(offset);
    float visible = bounds.Height() + 1;
    float y = bounds.top;
    if (point.y < bounds.top)
        y = line == 0 ? 0 : point.y;
    else if (point.y + height > bounds.bottom + 1)
        y = line == CountLines() - 1 ? MaxScrollY() : point.y + height - visible;
    y = std::clamp(std::round(y), 0.0f, MaxScrollY());

    float x = bounds.left;
    float maxX = MaxScrollX();
    if (maxX > 0 || x > 0) {
        float left = std::max(fLeftInset, 0.0f), right = std::max(fRightInset, 0.0f);
        if (point.x - left < bounds.left)
            x = point.x - left;
        else if (point.x + 1 + right > bounds.right + 1)
            x = point.x + 1 + right - (bounds.Width() + 1);
        x = std::clamp(std::round(x), 0.0f, maxX);
    }
    if (x != bounds.left || y != bounds.top)
        ScrollTo(x, y);
}

void BTextView::ScrollToSelection()
{
    ScrollToOffset(fCaret);
}

void BTextView::GoToLine(int32 line)
{
    int32 offset = OffsetAt(std::clamp(line, int32(0), CountLines() - 1));
    Select(offset, offset);
    ScrollToOffset(offset);
}

int32 BTextView::CurrentLine() const
{
    return LineAt(fSelStart);
}

// -- drawing ------------------------------------------------------------------------------------

void BTextView::Draw(BRect updateRect)
{
    std::vector<State::Paragraph>& paragraphs = fState->paragraphs;
    int32 first = ParagraphAtY(updateRect.top - fTextRect.top);
    int32 last = ParagraphAtY(updateRect.bottom - fTextRect.top);
    const std::string& text = fState->text;
    bool focused = IsFocus() && Window() != nullptr && Window()->IsActive();
    bool caret = fEditable && fCaretOn && fSelStart == fSelEnd && focused;
    BRect caretRect = caret ? CaretRect() : BRect();
    rgb_color caretColor = HighColor();
    // A selection where the keys do not go is paler.
    rgb_color selection = focused ? BPrivate::kSelectionColor : BPrivate::kInactiveSelectionColor;

    _Draw([&](_cairo* context) {
        auto* cr = reinterpret_cast<cairo_t*>(context);
        for (int32 i = first; i <= last; i++) {
            State::Paragraph& paragraph = paragraphs[size_t(i)];
            const BPrivate::TextLayout& layout = Laid(i);
            float x = fTextRect.left, y = fTextRect.top + paragraph.top;
            int32 shown = shown_length(text, paragraph.start, paragraph.length);
            int32 from = fSelStart - paragraph.start, to = fSelEnd - paragraph.start;
            bool selected = fSelStart < fSelEnd && from < paragraph.length && to > 0;
            if (selected && to > shown && shown < paragraph.length && from <= shown) {
                // The line end is selected too: a little past the text.
                float height = 0;
                BPoint end = layout.PointAt(shown, &height);
                cairo_set_source_rgb(cr, selection.red / 255.0, selection.green / 255.0,
                                     selection.blue / 255.0);
                cairo_rectangle(cr, x + end.x, y + end.y, std::ceil(layout.LineHeight(0) / 3),
                                height);
                cairo_fill(cr);
            }
            if (selected) {
                // Selected text in colours that read on the selection.
                layout.DrawSelected(context, x, y, std::max(from, int32(0)), std::min(to, shown),
                                    selection);
            } else {
                layout.Draw(context, x, y);
            }
        }
        if (caret) {
            cairo_set_source_rgb(cr, caretColor.red / 255.0, caretColor.green / 255.0,
                                 caretColor.blue / 255.0);
            cairo_rectangle(cr, caretRect.left, caretRect.top, 1, caretRect.Height() + 1);
            cairo_fill(cr);
        }
    });
    CompactHidden();
}

void BTextView::_Prepare()
{
    State& state = *fState;
    std::vector<State::Paragraph>& paragraphs = state.paragraphs;
    bool pinned =
        state.pinnedToEnd && state.pinnedEdits == state.edits && Bounds().top == state.pinnedY;
    state.pinnedToEnd = false;
    // Laying out changes heights, and so what is in view; a few rounds
    // settle it.
    for (int round = 0; round < 8; round++) {
        BRect bounds = Bounds();
        bool changed = false;
        if (pinned) {
            // From the end up, as many lines as fill the view.
            float height = std::max(fBottomInset, 0.0f);
            for (int32 i = int32(paragraphs.size()) - 1; i >= 0 && height <= bounds.Height() + 1;
                 i--) {
                if (!paragraphs[size_t(i)].Current())
                    changed = LayOutParagraph(i) || changed;
                height += paragraphs[size_t(i)].height;
            }
        }
        int32 first = ParagraphAtY(bounds.top - fTextRect.top);
        int32 last = ParagraphAtY(bounds.bottom - fTextRect.top);
        for (int32 i = first; i <= last; i++) {
            if (!paragraphs[size_t(i)].Current())
                changed = LayOutParagraph(i) || changed;
        }
        if (changed)
            Refresh();
        if (pinned && Bounds().top != MaxScrollY()) {
            ScrollTo(Bounds().left, MaxScrollY());
            changed = true;
        }
        if (!changed)
            break;
    }
}

#pragma once

// A view of styled, editable UTF-8 text.
//
// All offsets are byte offsets into the text; offsets given are clamped to
// the text and moved back to the start of the character they fall in. Bytes
// that are not valid UTF-8 are kept as they are and shown as replacement
// glyphs, each such byte counting as one character.
//
// The text is kept as paragraphs (text up to and including a line end), each
// laid out once and cached, and only when first drawn or asked about: an
// edit only marks what it touched and sizes it from the font's measures
// (exact for a line of plain ASCII that fits the width, a guess otherwise,
// made exact when a query needs it); the window's next update lays out the
// lines in view, and drawing draws only those. A change of width re-wraps
// lines as they are drawn. That keeps a chat log that is appended to and
// trimmed thousands of times a second cheap: lines trimmed before a frame
// are never laid out, and appending never lays out the others again.
//
// Text inserted without runs takes the style of the character before the
// insertion point (the first character's at the start, the view's font and
// high colour in an empty view). Views are stylable unless told otherwise.
//
// The text rectangle is in view coordinates; its distances to the view's
// edges are kept when the view is resized, so the text re-wraps with it.

#include <memory>

#include <Font.h>
#include <View.h>

namespace BPrivate
{
class TextLayout;
}

struct text_run {
    int32 offset; // where the run starts, from the start of the text it styles
    BFont font;
    rgb_color color;
};

struct text_run_array {
    int32 count;
    text_run runs[1]; // `count` of them
};

class BTextView : public BView
{
public:
    BTextView(BRect frame, const char* name, BRect textRect, uint32 resizingMode, uint32 flags);
    BTextView(BRect frame, const char* name, BRect textRect, const BFont* font,
              const rgb_color* color, uint32 resizingMode, uint32 flags);
    ~BTextView() override;

    // Hooks.
    void AttachedToWindow() override;
    void TargetedByScrollView(BScrollView* scrollView) override;
    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;
    void MouseUp(BPoint where) override;
    void MouseMoved(BPoint where, uint32 transit, const BMessage* dragMessage) override;
    void KeyDown(const char* bytes, int32 numBytes) override;
    void FrameResized(float newWidth, float newHeight) override;
    void MakeFocus(bool focus = true) override;
    void WindowActivated(bool active) override;
    // Also B_CUT, B_COPY, B_PASTE, B_SELECT_ALL and the wheel.
    void MessageReceived(BMessage* message) override;

    // The text. Null text is empty; a NUL ends the text given; a negative
    // length takes it up to its NUL.
    void SetText(const char* text, const text_run_array* runs = nullptr);
    void SetText(const char* text, int32 length, const text_run_array* runs = nullptr);
    // At the start of the selection.
    void Insert(const char* text, const text_run_array* runs = nullptr);
    void Insert(const char* text, int32 length, const text_run_array* runs = nullptr);
    void Insert(int32 offset, const char* text, int32 length, const text_run_array* runs = nullptr);
    void Delete(); // the selection
    void Delete(int32 start, int32 finish);
    const char* Text() const; // NUL-terminated, valid until the next change
    int32 TextLength() const;
    char ByteAt(int32 offset) const; // 0 outside the text
    // Copies up to `length` bytes from `offset` and a NUL: `buffer` holds
    // length + 1 bytes.
    void GetText(int32 offset, int32 length, char* buffer) const;

    // Styles. A run array holds `count` runs; make one with AllocRunArray
    // and free what RunArray returns with FreeRunArray.
    static text_run_array* AllocRunArray(int32 count, int32* outSize = nullptr);
    static void FreeRunArray(text_run_array* array);
    // Applies the runs (offsets from startOffset) to [startOffset,
    // endOffset); the first run covers the range's start.
    void SetRunArray(int32 startOffset, int32 endOffset, const text_run_array* runs);
    text_run_array* RunArray(int32 startOffset, int32 endOffset, int32* length = nullptr) const;
    // To the selection, or to what is typed next when nothing is selected;
    // a null font or colour leaves that part alone.
    void SetFontAndColor(const BFont* font, uint32 mode = B_FONT_ALL,
                         const rgb_color* color = nullptr);
    void GetFontAndColor(int32 offset, BFont* font, rgb_color* color = nullptr) const;
    // A view that is not stylable keeps one style for all its text.
    void SetStylable(bool stylable);
    bool IsStylable() const { return fStylable; }

    // Inserts that would make the text longer are cut to fit; typing that
    // does not fit is refused. Lowering it cuts the text.
    void SetMaxBytes(int32 max);
    int32 MaxBytes() const { return fMaxBytes; }

    // Shows every byte of the text as '*' and keeps it off the clipboard:
    // for passwords. Text() still gives the text.
    void HideTyping(bool enabled);
    bool IsTypingHidden() const { return fHideTyping; }

    void MakeEditable(bool editable = true);
    bool IsEditable() const { return fEditable; }
    void MakeSelectable(bool selectable = true);
    bool IsSelectable() const { return fSelectable; }
    void SetWordWrap(bool wrap);
    bool DoesWordWrap() const { return fWordWrap; }
    // Left alignment only is drawn; the others are kept.
    void SetAlignment(alignment flag) { fAlignment = flag; }
    alignment Alignment() const { return fAlignment; }

    // start > finish swaps them.
    void Select(int32 start, int32 finish);
    void GetSelection(int32* start, int32* finish) const;
    void SelectAll();

    BRect TextRect() const { return fTextRect; }
    void SetTextRect(BRect rect);

    // Lines are visual lines, after wrapping; points are in view
    // coordinates.
    int32 CountLines() const;
    int32 LineAt(int32 offset) const;
    int32 LineAt(BPoint point) const;
    float LineHeight(int32 line = 0) const;
    float TextHeight(int32 startLine, int32 endLine) const; // both included
    int32 OffsetAt(BPoint point) const;
    int32 OffsetAt(int32 line) const; // where the line starts
    // The caret before the character at `offset`: the top of its line.
    BPoint PointAt(int32 offset, float* height = nullptr) const;
    // Scrolls as little as shows the line of `offset`; scrolling down to
    // the last line shows the end of the text at the bottom.
    void ScrollToOffset(int32 offset);
    void ScrollToSelection();
    void GoToLine(int32 line);
    int32 CurrentLine() const;

    // Toolkit internals ----------------------------------------------------
    // Paragraphs laid out so far, to check that edits lay out only what
    // they touched and that lines are laid out only once drawn.
    int64 _LayoutCount() const { return fLayoutCount; }
    // Before an update draws: lays out the lines in view, and scrolls to
    // the end again if ScrollToOffset(TextLength()) asked for it since.
    void _Prepare() override;
    // Draws every run in the disabled text colour.
    void _SetDimmed(bool dimmed);
    // The caret blinks while the view is the focus of the active window
    // and nothing is selected (the window times it).
    bool _CaretBlinks() const override;
    void _BlinkCaret(bool on) override;
    bool _AcceptsNavigation() const override;

protected:
    // Every insertion and deletion goes through these; a subclass may
    // change what is inserted and then call the base.
    virtual void InsertText(const char* text, int32 length, int32 offset,
                            const text_run_array* runs);
    virtual void DeleteText(int32 fromOffset, int32 toOffset);

private:
    struct State;
    struct Style;

    void Init(BRect textRect);

    // Model.
    int32 Clamp(int32 offset) const;
    int32 NextChar(int32 offset) const;
    int32 PreviousChar(int32 offset) const;
    Style StyleAt(int32 offset) const;
    Style InsertionStyle(int32 offset) const;
    void SetStyleFrom(int32 offset, const Style& style);
    void NormalizeRuns(int32 from, int32 to);
    void ApplyRuns(int32 start, int32 end, const text_run_array* runs, const Style& first);
    void TextChanged(int32 start, int32 oldEnd, int32 newEnd);
    void StylesChanged(int32 start, int32 end);
    void AdjustSelection(int32 start, int32 oldEnd, int32 newEnd);

    // Layout.
    int32 ParagraphAt(int32 offset) const;
    int32 ParagraphAtY(float y) const;
    int32 ParagraphOfLine(int32 line) const;
    // Lays the paragraph out with pango; true when its height or line
    // count differ from what was known before.
    bool LayOutParagraph(int32 index);
    // Height and lines of a paragraph not laid out, without pango.
    void SizeParagraph(int32 index);
    // Makes the sizes of paragraphs up to `last` exact, laying out those
    // only guessed at, and places the paragraphs after them again.
    void Settle(int32 last) const;
    // The paragraph at an offset, a y or a line, with it and every
    // paragraph before it sized exactly.
    int32 SettledParagraphAt(int32 offset) const;
    int32 SettledParagraphAtY(float y) const;
    int32 SettledParagraphOfLine(int32 line) const;
    // The paragraph with its layout up to date, for what needs pango (the
    // x of a caret, the offset under a point, drawing).
    const BPrivate::TextLayout& Laid(int32 index) const;
    // The height of the first line without laying anything out.
    float NominalLineHeight() const;
    void Refresh();
    void UpdateScrollBars();
    void CompactHidden();
    float WrapWidth() const;
    float TotalHeight() const;
    float WidestLine() const;
    float MaxScrollY() const;
    float MaxScrollX() const;
    void InvalidateRange(int32 start, int32 end);
    BRect CaretRect() const;
    void InvalidateCaret();

    // Editing.
    void ReplaceSelection(const char* text, int32 length, bool typed);
    void MoveCaret(int32 offset, bool extend);
    int32 LineEndForCaret(int32 line) const;
    int32 VerticalMove(int32 offset, float dy);
    void WordAt(int32 offset, int32* start, int32* end) const;
    void LineRangeAt(int32 offset, int32* start, int32* end) const;
    int32 WordBoundary(int32 offset, bool forward) const;
    void Copy();
    void Cut();
    void Paste();
    // The caret shows at once and blinks again from now.
    void CaretShown();
    // What the user selected becomes the primary selection.
    void OfferPrimary();
    void PastePrimary(BPoint where);
    uint32 CurrentModifiers() const;
    bool HandleCommandKey(char key);
    void HandleNavigationKey(char key, uint32 modifiers);

    std::unique_ptr<State> fState;
    BRect fTextRect;
    float fLeftInset, fTopInset, fRightInset, fBottomInset;
    int32 fSelStart, fSelEnd;
    int32 fAnchor, fCaret; // the fixed and the moving end of the selection
    float fGoalX;          // kept while moving up and down; < 0 unset
    int32 fMaxBytes;
    bool fEditable;
    bool fSelectable;
    bool fStylable;
    bool fWordWrap;
    bool fDimmed;
    bool fHideTyping;
    bool fCaretOn;
    alignment fAlignment;
    mutable int64 fLayoutCount;
    uint32 fRefreshes;
};

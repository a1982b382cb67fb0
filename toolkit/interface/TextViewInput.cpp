// BTextView: what the user does to it: keys, the mouse, the clipboard, the
// caret and the focus.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include <AppDefs.h>
#include <DisplayServer.h>
#include <Message.h>
#include <OS.h>

#include "ScrollBar.h"
#include "TextViewPrivate.h"
#include "Window.h"

namespace
{

// How often a held press looks at the pointer.
const bigtime_t kTrackInterval = 20000;
// Lines one wheel step scrolls a view without a scroll bar.
const float kWheelLines = 3;

enum CharClass { kSpace, kWord, kLineEnd, kOther };

CharClass char_class(char byte)
{
    uint8 value = uint8(byte);
    if (byte == '\n')
        return kLineEnd;
    if (byte == ' ' || byte == '\t')
        return kSpace;
    // Every byte of a character past ASCII counts as a letter.
    if (value >= 0x80 || std::isalnum(value) || byte == '_')
        return kWord;
    return kOther;
}

} // namespace

// -- selection helpers -----------------------------------------------------------------------

void BTextView::MoveCaret(int32 offset, bool extend)
{
    int32 anchor = extend ? fAnchor : offset;
    offset = Clamp(offset);
    anchor = Clamp(anchor);
    int32 start = std::min(anchor, offset), end = std::max(anchor, offset);
    if (start != fSelStart || end != fSelEnd) {
        fState->typingStyle.reset();
        if (fSelStart < fSelEnd)
            InvalidateRange(fSelStart, fSelEnd);
        if (start < end)
            InvalidateRange(start, end);
    }
    InvalidateCaret();
    fSelStart = start;
    fSelEnd = end;
    fAnchor = anchor;
    fCaret = offset;
    CaretShown();
    InvalidateCaret();
}

void BTextView::WordAt(int32 offset, int32* start, int32* end) const
{
    const std::string& text = fState->text;
    int32 length = TextLength();
    offset = Clamp(offset);
    // Past the end of a line: the last word on it.
    if (offset > 0 && (offset == length || text[size_t(offset)] == '\n'))
        offset = PreviousChar(offset);
    if (length == 0 || text[size_t(offset)] == '\n') {
        *start = *end = offset;
        return;
    }
    CharClass kind = char_class(text[size_t(offset)]);
    *start = offset;
    *end = NextChar(offset);
    if (kind == kOther)
        return;
    while (*start > 0) {
        int32 before = PreviousChar(*start);
        if (char_class(text[size_t(before)]) != kind)
            break;
        *start = before;
    }
    while (*end < length && char_class(text[size_t(*end)]) == kind)
        *end = NextChar(*end);
}

void BTextView::LineRangeAt(int32 offset, int32* start, int32* end) const
{
    const std::string& text = fState->text;
    offset = Clamp(offset);
    size_t before = offset > 0 ? text.rfind('\n', size_t(offset) - 1) : std::string::npos;
    *start = before == std::string::npos ? 0 : int32(before) + 1;
    size_t after = text.find('\n', size_t(offset));
    *end = after == std::string::npos ? TextLength() : int32(after) + 1;
}

int32 BTextView::WordBoundary(int32 offset, bool forward) const
{
    const std::string& text = fState->text;
    int32 length = TextLength();
    offset = Clamp(offset);
    if (forward) {
        while (offset < length && char_class(text[size_t(offset)]) != kWord)
            offset = NextChar(offset);
        while (offset < length && char_class(text[size_t(offset)]) == kWord)
            offset = NextChar(offset);
        return offset;
    }
    while (offset > 0 && char_class(text[size_t(PreviousChar(offset))]) != kWord)
        offset = PreviousChar(offset);
    while (offset > 0 && char_class(text[size_t(PreviousChar(offset))]) == kWord)
        offset = PreviousChar(offset);
    return offset;
}

int32 BTextView::LineEndForCaret(int32 line) const
{
    const State::Paragraph& paragraph = fState->paragraphs[size_t(SettledParagraphOfLine(line))];
    int32 local = line - paragraph.firstLine;
    if (local + 1 < paragraph.lines) {
        // A wrapped line ends where the next begins, which would put the
        // caret on the next line: stop before the character it broke at.
        const BPrivate::TextLayout& layout = Laid(ParagraphOfLine(line));
        int32 start = paragraph.start + layout.LineStart(local);
        int32 end = paragraph.start + layout.LineEnd(local);
        return std::max(start, PreviousChar(end));
    }
    int32 end = paragraph.start + paragraph.length;
    if (paragraph.length > 0 && fState->text[size_t(end) - 1] == '\n')
        end--;
    return end;
}

int32 BTextView::VerticalMove(int32 offset, float dy)
{
    float height = 0;
    BPoint point = PointAt(offset, &height);
    if (fGoalX < 0)
        fGoalX = point.x;
    float y = point.y + (dy < 0 ? dy : height + dy - 1);
    if (y < fTextRect.top)
        return 0;
    if (y >= fTextRect.top + TotalHeight())
        return TextLength();
    return OffsetAt(BPoint(fGoalX, y));
}

// -- editing ---------------------------------------------------------------------------------

void BTextView::ReplaceSelection(const char* text, int32 length, bool typed)
{
    int32 start = fSelStart, end = fSelEnd;
    if (typed && int64(TextLength()) - (end - start) + length > fMaxBytes)
        return; // typing that does not fit is refused whole
    std::optional<Style> typing = fState->typingStyle;
    fState->typingStyle.reset();
    if (end > start)
        DeleteText(start, end);
    if (length > 0) {
        if (typing && fStylable) {
            text_run_array runs;
            runs.count = 1;
            runs.runs[0] = text_run{0, typing->font, typing->color};
            InsertText(text, length, fSelStart, &runs);
        } else {
            InsertText(text, length, fSelStart, nullptr);
        }
    }
    fGoalX = -1;
    ScrollToSelection();
}

void BTextView::Copy()
{
    if (fSelStart >= fSelEnd || fHideTyping)
        return;
    if (BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get()) {
        server->SetClipboardText(
            fState->text.substr(size_t(fSelStart), size_t(fSelEnd - fSelStart)));
    }
}

void BTextView::Cut()
{
    if (!fEditable || fSelStart >= fSelEnd || fHideTyping)
        return;
    Copy();
    DeleteText(fSelStart, fSelEnd);
    ScrollToSelection();
}

void BTextView::Paste()
{
    if (!fEditable)
        return;
    BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get();
    if (server == nullptr)
        return;
    std::string text = server->ClipboardText();
    if (text.empty())
        return;
    ReplaceSelection(text.data(), int32(std::min(text.size(), size_t(INT32_MAX))), false);
}

// -- keys ----------------------------------------------------------------------------------------

uint32 BTextView::CurrentModifiers() const
{
    if (Window() != nullptr) {
        if (BMessage* message = Window()->CurrentMessage()) {
            int32 held = 0;
            if (message->FindInt32("modifiers", &held) == B_OK)
                return uint32(held);
        }
    }
    return modifiers();
}

bool BTextView::HandleCommandKey(char key)
{
    switch (std::tolower(uint8(key))) {
    case 'c':
        Copy();
        return true;
    case 'x':
        if (!fEditable)
            return false;
        Cut();
        return true;
    case 'v':
        if (!fEditable)
            return false;
        Paste();
        return true;
    case 'a':
        if (!fSelectable)
            return false;
        SelectAll();
        OfferPrimary();
        return true;
    default:
        return false;
    }
}

void BTextView::HandleNavigationKey(char key, uint32 modifiers)
{
    bool shift = (modifiers & B_SHIFT_KEY) != 0;
    bool command = (modifiers & B_COMMAND_KEY) != 0;
    BRect bounds = Bounds();
    float line = LineHeight(LineAt(fCaret));
    float page = std::max(line, bounds.Height() + 1 - line);

    if (!fEditable && (!shift || !fSelectable)) {
        // Nothing to move a caret in: the keys scroll.
        float y = bounds.top;
        switch (key) {
        case B_UP_ARROW:
            y -= line;
            break;
        case B_DOWN_ARROW:
            y += line;
            break;
        case B_PAGE_UP:
            y -= page;
            break;
        case B_PAGE_DOWN:
            y += page;
            break;
        case B_HOME:
            y = 0;
            break;
        case B_END:
            y = MaxScrollY();
            break;
        default:
            return;
        }
        ScrollTo(bounds.left, std::clamp(y, 0.0f, MaxScrollY()));
        return;
    }

    int32 target = fCaret;
    bool vertical = false;
    switch (key) {
    case B_LEFT_ARROW:
        if (!shift && fSelStart < fSelEnd)
            target = fSelStart;
        else
            target = command ? WordBoundary(fCaret, false) : PreviousChar(fCaret);
        break;
    case B_RIGHT_ARROW:
        if (!shift && fSelStart < fSelEnd)
            target = fSelEnd;
        else
            target = command ? WordBoundary(fCaret, true) : NextChar(fCaret);
        break;
    case B_UP_ARROW:
        target = VerticalMove(fCaret, -1);
        vertical = true;
        break;
    case B_DOWN_ARROW:
        target = VerticalMove(fCaret, 1);
        vertical = true;
        break;
    case B_PAGE_UP:
    case B_PAGE_DOWN: {
        float dy = key == B_PAGE_UP ? -page : page;
        target = VerticalMove(fCaret, dy);
        vertical = true;
        ScrollTo(bounds.left, std::clamp(bounds.top + dy, 0.0f, MaxScrollY()));
        break;
    }
    case B_HOME:
        target = command ? 0 : OffsetAt(LineAt(fCaret));
        break;
    case B_END:
        target = command ? TextLength() : LineEndForCaret(LineAt(fCaret));
        break;
    default:
        return;
    }
    if (!vertical)
        fGoalX = -1;
    MoveCaret(target, shift);
    ScrollToOffset(target);
    if (shift)
        OfferPrimary();
}

void BTextView::KeyDown(const char* bytes, int32 numBytes)
{
    if (bytes == nullptr || numBytes <= 0) {
        BView::KeyDown(bytes, numBytes);
        return;
    }
    uint32 held = CurrentModifiers();
    char key = bytes[0];
    bool control = numBytes == 1 && (uint8(key) < 0x20 || key == B_DELETE);

    if ((held & B_COMMAND_KEY) != 0 && !control) {
        if (numBytes != 1 || !HandleCommandKey(key))
            BView::KeyDown(bytes, numBytes);
        return;
    }

    CaretShown();
    if (control) {
        switch (key) {
        case B_BACKSPACE:
        case B_DELETE:
            if (!fEditable)
                break;
            if (fSelStart == fSelEnd) {
                // With Ctrl, to the start of the word before the caret or
                // the end of the word after it.
                bool word = (held & B_COMMAND_KEY) != 0;
                int32 from = key == B_BACKSPACE
                                 ? (word ? WordBoundary(fCaret, false) : PreviousChar(fCaret))
                                 : fCaret;
                int32 to = key == B_BACKSPACE
                               ? fCaret
                               : (word ? WordBoundary(fCaret, true) : NextChar(fCaret));
                if (from < to)
                    DeleteText(from, to);
            } else {
                DeleteText(fSelStart, fSelEnd);
            }
            fGoalX = -1;
            ScrollToSelection();
            return;
        case B_ENTER:
            if (!fEditable)
                break;
            ReplaceSelection("\n", 1, true);
            return;
        case B_TAB:
            // Ctrl+Tab leaves a text that takes Tab as text.
            if (!fEditable || (held & B_COMMAND_KEY) != 0)
                break;
            ReplaceSelection("\t", 1, true);
            return;
        case B_LEFT_ARROW:
        case B_RIGHT_ARROW:
        case B_UP_ARROW:
        case B_DOWN_ARROW:
        case B_HOME:
        case B_END:
        case B_PAGE_UP:
        case B_PAGE_DOWN:
            HandleNavigationKey(key, held);
            return;
        default:
            break;
        }
        BView::KeyDown(bytes, numBytes);
        return;
    }

    if (!fEditable) {
        BView::KeyDown(bytes, numBytes);
        return;
    }
    // A composed character may come as several bytes; control bytes among
    // them are no text.
    std::string typed;
    for (int32 i = 0; i < numBytes && bytes[i] != '\0'; i++) {
        if (uint8(bytes[i]) >= 0x20 && bytes[i] != B_DELETE)
            typed += bytes[i];
    }
    if (!typed.empty())
        ReplaceSelection(typed.data(), int32(typed.size()), true);
}

// -- the mouse -----------------------------------------------------------------------------------

void BTextView::MouseDown(BPoint where)
{
    if (!fSelectable && !fEditable) {
        BView::MouseDown(where);
        return;
    }
    int32 clicks = 1, held = 0, buttons = B_PRIMARY_MOUSE_BUTTON;
    if (Window() != nullptr) {
        if (BMessage* message = Window()->CurrentMessage()) {
            message->FindInt32("clicks", &clicks);
            message->FindInt32("modifiers", &held);
            message->FindInt32("buttons", &buttons);
        }
    }
    if (!IsFocus())
        MakeFocus(true);
    if ((buttons & B_TERTIARY_MOUSE_BUTTON) != 0 && (buttons & B_PRIMARY_MOUSE_BUTTON) == 0) {
        if (fEditable)
            PastePrimary(where);
        else
            BView::MouseDown(where);
        return;
    }
    if ((buttons & B_PRIMARY_MOUSE_BUTTON) == 0) {
        BView::MouseDown(where);
        return;
    }

    // What the press took: a place, a word or a line; dragging selects
    // from it to the same kind of unit under the pointer.
    auto unitAt = [&](int32 offset, int32* start, int32* end) {
        if (clicks == 2 && fSelectable)
            WordAt(offset, start, end);
        else if (clicks >= 3 && fSelectable)
            LineRangeAt(offset, start, end);
        else
            *start = *end = offset;
    };
    int32 pressed = OffsetAt(where);
    int32 fixedStart, fixedEnd;
    if ((held & B_SHIFT_KEY) != 0 && clicks == 1 && fSelectable) {
        fixedStart = fixedEnd = fAnchor;
        MoveCaret(pressed, true);
    } else {
        unitAt(pressed, &fixedStart, &fixedEnd);
        MoveCaret(fixedStart, false);
        MoveCaret(fixedEnd, true);
    }
    fGoalX = -1;
    if (Window() == nullptr)
        return;
    Window()->UpdateIfNeeded();

    BPoint at;
    uint32 down = 0;
    GetMouse(&at, &down, true);
    while (down != 0 && Window() != nullptr) {
        snooze(kTrackInterval);
        GetMouse(&at, &down, true);
        // Past an edge the view scrolls, faster the farther the pointer.
        BRect bounds = Bounds();
        float x = bounds.left, y = bounds.top;
        float step = LineHeight(0);
        if (at.y < bounds.top)
            y -= std::min(std::max(step, (bounds.top - at.y) / 2), 10 * step);
        else if (at.y > bounds.bottom)
            y += std::min(std::max(step, (at.y - bounds.bottom) / 2), 10 * step);
        if (at.x < bounds.left)
            x -= std::max(step, (bounds.left - at.x) / 2);
        else if (at.x > bounds.right)
            x += std::max(step, (at.x - bounds.right) / 2);
        x = std::clamp(x, 0.0f, MaxScrollX());
        y = std::clamp(y, 0.0f, MaxScrollY());
        if (x != bounds.left || y != bounds.top)
            ScrollTo(x, y);

        if (fSelectable) {
            int32 start, end;
            unitAt(OffsetAt(at), &start, &end);
            if (start < fixedStart) {
                MoveCaret(fixedEnd, false);
                MoveCaret(start, true);
            } else {
                MoveCaret(fixedStart, false);
                MoveCaret(std::max(end, fixedEnd), true);
            }
        }
        Window()->UpdateIfNeeded();
    }
    OfferPrimary();
}

void BTextView::MouseUp(BPoint where)
{
    BView::MouseUp(where);
}

void BTextView::MouseMoved(BPoint where, uint32 transit, const BMessage* dragMessage)
{
    BView::MouseMoved(where, transit, dragMessage);
}

// -- focus, caret and messages
// ---------------------------------------------------------------------

void BTextView::MakeFocus(bool focus)
{
    bool was = IsFocus();
    BView::MakeFocus(focus);
    if (was == IsFocus())
        return;
    fCaretOn = true;
    InvalidateCaret();
}

void BTextView::WindowActivated(bool active)
{
    BView::WindowActivated(active);
    fCaretOn = true;
    InvalidateCaret();
}

bool BTextView::_AcceptsNavigation() const
{
    return (fEditable || fSelectable) && BView::_AcceptsNavigation();
}

bool BTextView::_CaretBlinks() const
{
    return fEditable && fSelStart == fSelEnd;
}

void BTextView::_BlinkCaret(bool on)
{
    if (on == fCaretOn)
        return;
    fCaretOn = on;
    InvalidateCaret();
}

void BTextView::CaretShown()
{
    fCaretOn = true;
    if (Window() != nullptr && IsFocus())
        Window()->_RestartBlink();
}

void BTextView::OfferPrimary()
{
    if (fSelStart >= fSelEnd || !fSelectable)
        return;
    if (BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get())
        server->SetPrimaryText(fState->text.substr(size_t(fSelStart), size_t(fSelEnd - fSelStart)));
}

// A middle click pastes the primary selection where it points, and the
// caret follows the pasted text.
void BTextView::PastePrimary(BPoint where)
{
    BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get();
    if (server == nullptr)
        return;
    std::string text = server->PrimaryText();
    if (text.empty())
        return;
    int32 offset = OffsetAt(where);
    MoveCaret(offset, false);
    ReplaceSelection(text.data(), int32(std::min(text.size(), size_t(INT32_MAX))), false);
}

void BTextView::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case B_COPY:
        Copy();
        return;
    case B_CUT:
        Cut();
        return;
    case B_PASTE:
        Paste();
        return;
    case B_SELECT_ALL:
        if (fSelectable) {
            SelectAll();
            OfferPrimary();
        }
        return;
    case B_MOUSE_WHEEL_CHANGED:
        if (ScrollBar(B_VERTICAL) == nullptr) {
            float dy = 0;
            message->FindFloat("be:wheel_delta_y", &dy);
            if (!std::isfinite(dy))
                return;
            BRect bounds = Bounds();
            float y = bounds.top + dy * kWheelLines * LineHeight(0);
            ScrollTo(bounds.left, std::clamp(std::round(y), 0.0f, MaxScrollY()));
            return;
        }
        break;
    default:
        break;
    }
    BView::MessageReceived(message);
}

#include "TextControl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include <Message.h>

#include "ControlLook.h"
#include "TextView.h"
#include "Window.h"

using namespace BPrivate;

namespace
{

// The sunken frame around the field: an outline and a bevel.
const float kFrame = 2;
// Between the frame and the text.
const float kPadding = 1;
const float kLabelGap = 6;

// The field: a text view that holds one line and reports to its control.
class TextInput : public BTextView
{
public:
    TextInput(BRect frame, BTextControl* control)
        : BTextView(frame, "_input_", TextRectFor(frame), B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP,
                    B_WILL_DRAW | B_NAVIGABLE),
          fControl(control)
    {
        SetWordWrap(false);
    }

    static BRect TextRectFor(BRect frame)
    {
        return BRect(2, kPadding, std::max(frame.Width() - 2, 2.0f), frame.Height() - kPadding);
    }

    void KeyDown(const char* bytes, int32 numBytes) override
    {
        // Key filters on this view see Enter first; what reaches here was
        // left to the control.
        if (numBytes == 1 && (bytes[0] == B_ENTER || bytes[0] == '\r')) {
            fControl->_EnterPressed();
            return;
        }
        if (numBytes == 1 && bytes[0] == B_TAB) {
            BView::KeyDown(bytes, numBytes);
            return;
        }
        BTextView::KeyDown(bytes, numBytes);
    }

    // The control's flags say whether Tab stops here.
    bool _AcceptsNavigation() const override
    {
        return (fControl->Flags() & B_NAVIGABLE) != 0 && fControl->IsEnabled() &&
               !fControl->IsHidden() && !IsHidden();
    }

    void MakeFocus(bool focus) override
    {
        bool was = IsFocus();
        BTextView::MakeFocus(focus);
        if (was != IsFocus() && Parent() != nullptr)
            Parent()->Invalidate(); // the frame shows the focus
    }

    void WindowActivated(bool active) override
    {
        BTextView::WindowActivated(active);
        if (IsFocus() && Parent() != nullptr)
            Parent()->Invalidate();
    }

protected:
    void InsertText(const char* text, int32 length, int32 offset,
                    const text_run_array* runs) override
    {
        if (text == nullptr)
            return;
        size_t bytes = length < 0 ? strlen(text) : strnlen(text, size_t(length));
        bytes = std::min(bytes, size_t(INT32_MAX / 2)); // more would not fit anyway
        // One line: a line end (CR, LF or both) becomes one blank, so that
        // nothing pasted here carries a line end into a command.
        std::string line;
        line.reserve(bytes);
        for (size_t i = 0; i < bytes; i++) {
            if (text[i] == '\r' || text[i] == '\n') {
                line += ' ';
                if (text[i] == '\r' && i + 1 < bytes && text[i + 1] == '\n')
                    i++;
            } else {
                line += text[i];
            }
        }
        int32 before = TextLength();
        BTextView::InsertText(line.data(), int32(line.size()), offset, runs);
        if (TextLength() != before)
            fControl->_TextModified();
    }

    void DeleteText(int32 fromOffset, int32 toOffset) override
    {
        int32 before = TextLength();
        BTextView::DeleteText(fromOffset, toOffset);
        if (TextLength() != before)
            fControl->_TextModified();
    }

private:
    BTextControl* fControl;
};

float line_height(const BView* view)
{
    font_height height;
    view->GetFontHeight(&height);
    return std::ceil(height.ascent + height.descent + height.leading);
}

} // namespace

BTextControl::BTextControl(BRect frame, const char* name, const char* label, const char* text,
                           BMessage* message, uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags), fText(nullptr),
      fModificationMessage(nullptr), fDivider(0), fLabelAlignment(B_ALIGN_LEFT),
      fTextAlignment(B_ALIGN_LEFT), fSettingText(false)
{
    if (label != nullptr)
        fDivider = std::ceil(StringWidth(label)) + kLabelGap;
    // Text controls take their height from the font.
    float width, height;
    GetPreferredSize(&width, &height);
    ResizeTo(Frame().Width(), height);

    BRect bounds = Bounds();
    BRect field(fDivider + kFrame, kFrame, std::max(bounds.right - kFrame, fDivider + kFrame),
                bounds.bottom - kFrame);
    fText = new TextInput(field, this);
    AddChild(fText);
    SetText(text);
}

BTextControl::~BTextControl()
{
    delete fModificationMessage;
}

void BTextControl::GetPreferredSize(float* width, float* height)
{
    float line = line_height(this);
    if (height != nullptr)
        *height = line + 2 * (kFrame + kPadding) - 1;
    if (width != nullptr)
        *width = fDivider + std::max(line * 5, std::ceil(StringWidth(Text())) + 8);
}

void BTextControl::ResizeToPreferred()
{
    float width, height;
    GetPreferredSize(&width, &height);
    ResizeTo(width, height);
}

void BTextControl::LayOutField()
{
    if (fText == nullptr)
        return;
    BRect bounds = Bounds();
    float left = fDivider + kFrame;
    fText->MoveTo(left, kFrame);
    fText->ResizeTo(std::max(bounds.right - kFrame - left, 0.0f),
                    std::max(bounds.bottom - 2 * kFrame, 0.0f));
}

void BTextControl::Draw(BRect)
{
    BRect bounds = Bounds();
    if (Label() != nullptr && fDivider > 0) {
        font_height height;
        GetFontHeight(&height);
        float y = std::floor((bounds.top + bounds.bottom + height.ascent - height.descent) / 2);
        SetHighColor(IsEnabled() ? kTextColor : kDisabledText);
        DrawString(Label(), BPoint(bounds.left + 1, y));
    }
    BRect field(fDivider, bounds.top, bounds.right, bounds.bottom);
    draw_framed_bevel(this, field, true);
    if (fText != nullptr && fText->IsFocus() && Window() != nullptr && Window()->IsActive()) {
        SetHighColor(kFocusColor);
        StrokeRect(field);
    }
}

void BTextControl::MouseDown(BPoint where)
{
    if (IsEnabled())
        MakeFocus(true);
    else
        BControl::MouseDown(where);
}

bool BTextControl::_AcceptsNavigation() const
{
    return false; // its field takes the focus
}

void BTextControl::MakeFocus(bool focus)
{
    if (fText != nullptr)
        fText->MakeFocus(focus);
}

void BTextControl::SetEnabled(bool enabled)
{
    if (enabled == IsEnabled())
        return;
    BControl::SetEnabled(enabled);
    if (fText == nullptr)
        return;
    if (!enabled && fText->IsFocus())
        fText->MakeFocus(false);
    fText->MakeEditable(enabled);
    fText->MakeSelectable(enabled);
    fText->SetViewColor(enabled ? kFieldColor : kPanelColor);
    fText->_SetDimmed(!enabled);
    fText->Invalidate();
}

void BTextControl::SetText(const char* text)
{
    if (fText == nullptr)
        return;
    fSettingText = true;
    fText->SetText(text != nullptr ? text : "");
    fSettingText = false;
}

const char* BTextControl::Text() const
{
    return fText != nullptr ? fText->Text() : "";
}

void BTextControl::SetModificationMessage(BMessage* message)
{
    if (message == fModificationMessage)
        return;
    delete fModificationMessage;
    fModificationMessage = message;
}

void BTextControl::SetAlignment(alignment label, alignment text)
{
    fLabelAlignment = label;
    fTextAlignment = text;
    if (fText != nullptr)
        fText->SetAlignment(text);
}

void BTextControl::GetAlignment(alignment* label, alignment* text) const
{
    if (label != nullptr)
        *label = fLabelAlignment;
    if (text != nullptr)
        *text = fTextAlignment;
}

void BTextControl::SetDivider(float position)
{
    if (!std::isfinite(position))
        return;
    fDivider = std::round(std::clamp(position, 0.0f, Bounds().Width()));
    LayOutField();
    Invalidate();
}

void BTextControl::_TextModified()
{
    if (fModificationMessage != nullptr && !fSettingText && Window() != nullptr)
        Invoke(fModificationMessage);
}

void BTextControl::_EnterPressed()
{
    if (IsEnabled())
        Invoke();
}

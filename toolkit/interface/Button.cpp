#include "Button.h"

#include <cmath>

#include "ControlLook.h"
#include "Window.h"

using namespace BPrivate;

namespace
{

// How often a held press looks at the pointer.
const bigtime_t kTrackInterval = 20000;

} // namespace

BButton::BButton(BRect frame, const char* name, const char* label, BMessage* message,
                 uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags), fDefault(false)
{
    // Buttons take their height from the font, as the original ones did.
    float width, height;
    GetPreferredSize(&width, &height);
    if (Frame().Height() < height)
        ResizeTo(Frame().Width(), height);
}

BButton::~BButton() {}

void BButton::GetPreferredSize(float* width, float* height)
{
    font_height metrics;
    GetFontHeight(&metrics);
    float text = std::ceil(metrics.ascent + metrics.descent + metrics.leading);
    if (height != nullptr)
        *height = text + 10;
    if (width != nullptr)
        *width = std::max(60.0f, std::ceil(StringWidth(Label() != nullptr ? Label() : "")) + 24);
}

void BButton::ResizeToPreferred()
{
    float width, height;
    GetPreferredSize(&width, &height);
    ResizeTo(width, height);
}

void BButton::MakeDefault(bool isDefault)
{
    if (fDefault == isDefault)
        return;
    fDefault = isDefault;
    Invalidate();
}

void BButton::Draw(BRect)
{
    BRect bounds = Bounds();
    bool pressed = Value() == B_CONTROL_ON;
    SetHighColor(pressed ? kDarkColor : ViewColor());
    if (pressed)
        FillRect(bounds.InsetByCopy(2, 2));
    draw_framed_bevel(this, bounds, pressed);
    if (fDefault) {
        SetHighColor(kOutlineColor);
        StrokeRect(bounds.InsetByCopy(1, 1));
    }
    BRect label = bounds;
    if (pressed)
        label.OffsetBy(1, 1);
    draw_centred_label(this, label, Label(), IsEnabled());
    if (IsFocus() && Window() != nullptr && Window()->IsActive()) {
        SetHighColor(kFocusColor);
        float width = StringWidth(Label() != nullptr ? Label() : "");
        float x = std::floor((label.left + label.right - width) / 2);
        font_height metrics;
        GetFontHeight(&metrics);
        float y = std::floor((label.top + label.bottom + metrics.ascent - metrics.descent) / 2) + 2;
        StrokeLine(BPoint(x, y), BPoint(x + width, y));
    }
}

void BButton::MouseDown(BPoint)
{
    if (!IsEnabled())
        return;
    BPoint where;
    uint32 buttons = 0;
    GetMouse(&where, &buttons, true);
    if (buttons == 0) {
        // Already released: the press was tracked elsewhere.
        Invoke();
        return;
    }
    SetTracking(true);
    SetValue(B_CONTROL_ON);
    Window()->UpdateIfNeeded();
    while (buttons != 0) {
        snooze(kTrackInterval);
        GetMouse(&where, &buttons, true);
        int32 inside = Bounds().Contains(where) ? B_CONTROL_ON : B_CONTROL_OFF;
        if (inside != Value()) {
            SetValue(inside);
            Window()->UpdateIfNeeded();
        }
    }
    SetTracking(false);
    if (Value() == B_CONTROL_ON) {
        SetValue(B_CONTROL_OFF);
        Invoke();
    }
}

void BButton::KeyDown(const char* bytes, int32 numBytes)
{
    if (numBytes == 1 && (bytes[0] == B_SPACE || bytes[0] == B_ENTER)) {
        if (IsEnabled())
            Invoke();
        return;
    }
    BControl::KeyDown(bytes, numBytes);
}

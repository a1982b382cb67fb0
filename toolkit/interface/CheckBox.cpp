#include "CheckBox.h"

#include <cmath>

#include "ControlLook.h"
#include "Window.h"

using namespace BPrivate;

BCheckBox::BCheckBox(BRect frame, const char* name, const char* label, BMessage* message,
                     uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags), fPressed(false)
{
}

BCheckBox::~BCheckBox() {}

BRect BCheckBox::BoxFrame() const
{
    BRect bounds = Bounds();
    float top = std::floor((bounds.top + bounds.bottom) / 2 - 6);
    return BRect(bounds.left + 1, top, bounds.left + 13, top + 12);
}

void BCheckBox::GetPreferredSize(float* width, float* height)
{
    font_height metrics;
    GetFontHeight(&metrics);
    if (height != nullptr)
        *height =
            std::max(14.0f, std::ceil(metrics.ascent + metrics.descent + metrics.leading) + 2);
    if (width != nullptr)
        *width = 20 + std::ceil(StringWidth(Label() != nullptr ? Label() : ""));
}

void BCheckBox::ResizeToPreferred()
{
    float width, height;
    GetPreferredSize(&width, &height);
    ResizeTo(width, height);
}

void BCheckBox::Draw(BRect)
{
    BRect box = BoxFrame();
    SetHighColor(fPressed ? kPanelColor : kFieldColor);
    FillRect(box.InsetByCopy(1, 1));
    draw_bevel(this, box, true);
    if (Value() == B_CONTROL_ON) {
        // A tick, two pixels thick.
        SetHighColor(IsEnabled() ? kTextColor : kDisabledText);
        BPoint a(box.left + 3, box.top + 6), b(box.left + 5, box.top + 8),
            c(box.left + 9, box.top + 3);
        for (int i = 0; i < 2; i++) {
            StrokeLine(BPoint(a.x, a.y + i), BPoint(b.x, b.y + i));
            StrokeLine(BPoint(b.x, b.y + i), BPoint(c.x, c.y + i));
        }
    }
    if (Label() != nullptr) {
        font_height metrics;
        GetFontHeight(&metrics);
        BRect bounds = Bounds();
        float y = std::floor((bounds.top + bounds.bottom + metrics.ascent - metrics.descent) / 2);
        SetHighColor(IsEnabled() ? kTextColor : kDisabledText);
        DrawString(Label(), BPoint(box.right + 5, y));
        if (IsFocus() && Window() != nullptr && Window()->IsActive()) {
            SetHighColor(kFocusColor);
            StrokeLine(BPoint(box.right + 5, y + 2),
                       BPoint(box.right + 5 + StringWidth(Label()), y + 2));
        }
    }
}

void BCheckBox::MouseDown(BPoint)
{
    if (!IsEnabled())
        return;
    BPoint where;
    uint32 buttons = 0;
    GetMouse(&where, &buttons, true);
    fPressed = true;
    Invalidate();
    Window()->UpdateIfNeeded();
    bool inside = true;
    while (buttons != 0) {
        snooze(20000);
        GetMouse(&where, &buttons, true);
        bool now = Bounds().Contains(where);
        if (now != inside) {
            inside = now;
            fPressed = inside;
            Invalidate();
            Window()->UpdateIfNeeded();
        }
    }
    fPressed = false;
    if (inside && Bounds().Contains(where)) {
        SetValue(Value() == B_CONTROL_ON ? B_CONTROL_OFF : B_CONTROL_ON);
        Invoke();
    }
    Invalidate();
}

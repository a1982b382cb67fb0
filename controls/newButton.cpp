#include "newButton.h"

#include <cmath>

#include <OS.h>
#include <Window.h>

#include "draw_3Drect.h"

namespace
{
const bigtime_t sc_track_interval = 30000;
const rgb_color sc_label = {0, 0, 0, 255};
const rgb_color sc_label_disabled = {128, 128, 128, 255};
const rgb_color sc_focus = {0, 0, 179, 255};
} // namespace

newButton::newButton(BRect frame, const char* name, const char* label, BMessage* message)
    : BButton(frame, name, label, message, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE),
      m_pressed(false)
{
    ResizeTo(frame.Width(), frame.Height());
}

newButton::~newButton() = default;

void newButton::MessageReceived(BMessage* message)
{
    BView::MessageReceived(message);
}

void newButton::Draw(BRect)
{
    BRect r = Bounds();
    draw_frame(this, r, m_pressed);

    const char* label = Label() != nullptr ? Label() : "";
    font_height height;
    GetFontHeight(&height);
    const float shift = m_pressed ? 1 : 0;
    BPoint pen(std::floor(r.left + r.Width() / 2 - StringWidth(label) / 2) + shift,
               std::floor(r.top + r.Height() / 2 + height.descent + 2) + shift);
    SetHighColor(IsEnabled() ? sc_label : sc_label_disabled);
    const drawing_mode mode = DrawingMode();
    SetDrawingMode(B_OP_OVER);
    DrawString(label, pen);
    SetDrawingMode(mode);

    // The keyboard focus underlines the label, as on the standard button.
    if (IsFocus() && Window() != nullptr && Window()->IsActive()) {
        const rgb_color high = HighColor();
        SetHighColor(sc_focus);
        StrokeLine(BPoint(pen.x, pen.y + 2), BPoint(pen.x + StringWidth(label), pen.y + 2));
        SetHighColor(high);
    }
}

void newButton::set_pressed(bool pressed)
{
    m_pressed = pressed;
    Invalidate();
    // The press loop holds the window's thread: draw now, not after it.
    if (Window() != nullptr)
        Window()->UpdateIfNeeded();
}

void newButton::MouseDown(BPoint where)
{
    if (!IsEnabled())
        return;
    set_pressed(true);
    uint32 buttons = 0;
    GetMouse(&where, &buttons, true);
    while (buttons != 0) {
        snooze(sc_track_interval);
        GetMouse(&where, &buttons, true);
        const bool inside = Bounds().Contains(where);
        if (inside != m_pressed)
            set_pressed(inside);
    }
    if (m_pressed) {
        // Released already: the button's own press handling invokes at once.
        BButton::MouseDown(where);
        set_pressed(false);
    }
}

void newButton::SetEnabled(bool enabled)
{
    if (enabled != IsEnabled())
        BControl::SetEnabled(enabled);
}

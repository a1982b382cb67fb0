#include "ControlLook.h"

#include <cmath>

#include "View.h"

namespace BPrivate
{

const rgb_color kPanelColor = {220, 220, 220, 255};
const rgb_color kLightColor = {250, 250, 250, 255};
const rgb_color kDarkColor = {150, 150, 150, 255};
const rgb_color kOutlineColor = {62, 62, 62, 255};
const rgb_color kTextColor = {0, 0, 0, 255};
const rgb_color kDisabledText = {128, 128, 128, 255};
const rgb_color kFieldColor = {255, 255, 255, 255};
const rgb_color kSelectionColor = {170, 190, 225, 255};
const rgb_color kFocusColor = {0, 0, 179, 255};

void draw_bevel(BView* view, BRect rect, bool sunken)
{
    rgb_color high = view->HighColor();
    view->SetHighColor(sunken ? kDarkColor : kLightColor);
    view->StrokeLine(rect.LeftBottom(), rect.LeftTop());
    view->StrokeLine(rect.RightTop());
    view->SetHighColor(sunken ? kLightColor : kDarkColor);
    view->StrokeLine(BPoint(rect.right, rect.top + 1), rect.RightBottom());
    view->StrokeLine(BPoint(rect.left + 1, rect.bottom));
    view->SetHighColor(high);
}

void draw_framed_bevel(BView* view, BRect rect, bool sunken)
{
    rgb_color high = view->HighColor();
    view->SetHighColor(kOutlineColor);
    view->StrokeRect(rect);
    view->SetHighColor(high);
    rect.InsetBy(1, 1);
    if (rect.IsValid())
        draw_bevel(view, rect, sunken);
}

void draw_centred_label(BView* view, BRect rect, const char* label, bool enabled)
{
    if (label == nullptr)
        return;
    font_height height;
    view->GetFontHeight(&height);
    float x = std::floor((rect.left + rect.right - view->StringWidth(label)) / 2);
    float y = std::floor((rect.top + rect.bottom + height.ascent - height.descent) / 2);
    rgb_color high = view->HighColor();
    view->SetHighColor(enabled ? kTextColor : kDisabledText);
    view->DrawString(label, BPoint(x, y));
    view->SetHighColor(high);
}

} // namespace BPrivate

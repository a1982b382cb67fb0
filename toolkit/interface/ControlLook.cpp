#include "ControlLook.h"

#include <algorithm>
#include <cmath>

#include "View.h"
#include "Window.h"

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
const rgb_color kInactiveSelectionColor = {212, 218, 228, 255};

namespace
{

double linear(uint8 channel)
{
    double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(rgb_color color)
{
    return 0.2126 * linear(color.red) + 0.7152 * linear(color.green) + 0.0722 * linear(color.blue);
}

double contrast(rgb_color a, rgb_color b)
{
    double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

rgb_color selection_color(const BView* view)
{
    bool focused = view != nullptr && view->IsFocus() && view->Window() != nullptr &&
                   view->Window()->IsActive();
    return focused ? kSelectionColor : kInactiveSelectionColor;
}

rgb_color readable_on(rgb_color color, rgb_color background)
{
    const double kWanted = 4.5;
    if (contrast(color, background) >= kWanted)
        return color;
    // Towards black on a light background, white on a dark one, a tenth
    // of the way at a time, so that the hue still shows where it can.
    bool light = luminance(background) > 0.18;
    uint8 target = light ? 0 : 255;
    rgb_color mixed = color;
    for (int step = 1; step <= 10; step++) {
        auto mix = [&](uint8 channel) {
            return uint8(std::lround(channel + (target - channel) * step / 10.0));
        };
        mixed = {mix(color.red), mix(color.green), mix(color.blue), color.alpha};
        if (contrast(mixed, background) >= kWanted)
            break;
    }
    return mixed;
}

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

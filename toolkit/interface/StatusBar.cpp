#include "StatusBar.h"

#include <algorithm>
#include <cmath>

#include "ControlLook.h"

using namespace BPrivate;

namespace
{

const float kDefaultMax = 100;
const float kDefaultBarHeight = 16;
const float kMaxBarHeight = 10000;
const rgb_color kDefaultBarColor = {60, 120, 210, 255};
const float kTextGap = 2;

} // namespace

BStatusBar::BStatusBar(BRect frame, const char* name, const char* label, const char* trailingLabel)
    : BView(frame, name, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW),
      fLabel(label != nullptr ? label : ""),
      fTrailingLabel(trailingLabel != nullptr ? trailingLabel : ""), fMax(kDefaultMax), fValue(0),
      fBarHeight(kDefaultBarHeight), fBarColor(kDefaultBarColor)
{
    SetViewColor(kPanelColor);
    SetLowColor(kPanelColor);
}

BStatusBar::~BStatusBar() {}

void BStatusBar::SetFlags(uint32 flags)
{
    BView::SetFlags(flags | B_WILL_DRAW);
}

bool BStatusBar::HasText() const
{
    return !fLabel.empty() || !fTrailingLabel.empty() || !fText.empty() || !fTrailingText.empty();
}

BRect BStatusBar::BarFrame() const
{
    BRect bounds = Bounds();
    float top = bounds.top;
    if (HasText()) {
        font_height metrics;
        GetFontHeight(&metrics);
        top += std::ceil(metrics.ascent + metrics.descent + metrics.leading) + kTextGap;
    }
    float bottom = std::min(bounds.bottom, top + fBarHeight - 1);
    return BRect(bounds.left, top, bounds.right, bottom);
}

float BStatusBar::FilledWidth(float value) const
{
    // Inside the one-pixel bevel.
    float inside = BarFrame().Width() - 1;
    if (fMax <= 0 || inside <= 0)
        return 0;
    return std::round(inside * std::clamp(value / fMax, 0.0f, 1.0f));
}

void BStatusBar::SetValueAndRedraw(float value)
{
    value = std::clamp(value, 0.0f, std::max(fMax, 0.0f));
    if (value == fValue)
        return;
    // Thousands of small steps redraw only when the fill grows a pixel.
    bool visible = FilledWidth(value) != FilledWidth(fValue);
    fValue = value;
    if (visible)
        Invalidate(BarFrame());
}

void BStatusBar::SetMaxValue(float max)
{
    if (std::isnan(max))
        return;
    max = std::min(max, 3.0e38f);
    if (max == fMax)
        return;
    fMax = max;
    fValue = std::clamp(fValue, 0.0f, std::max(fMax, 0.0f));
    Invalidate();
}

void BStatusBar::Update(float delta, const char* text, const char* trailingText)
{
    if (text != nullptr)
        SetText(text);
    if (trailingText != nullptr)
        SetTrailingText(trailingText);
    if (std::isnan(delta))
        return;
    // In double, so that a huge delta cannot overflow to infinity.
    double value = std::clamp(double(fValue) + delta, 0.0, double(std::max(fMax, 0.0f)));
    SetValueAndRedraw(float(value));
}

void BStatusBar::Reset(const char* label, const char* trailingLabel)
{
    fLabel = label != nullptr ? label : "";
    fTrailingLabel = trailingLabel != nullptr ? trailingLabel : "";
    fText.clear();
    fTrailingText.clear();
    fMax = kDefaultMax;
    fValue = 0;
    Invalidate();
}

void BStatusBar::SetText(const char* text)
{
    std::string now = text != nullptr ? text : "";
    if (now == fText)
        return;
    fText = now;
    Invalidate();
}

void BStatusBar::SetTrailingText(const char* text)
{
    std::string now = text != nullptr ? text : "";
    if (now == fTrailingText)
        return;
    fTrailingText = now;
    Invalidate();
}

void BStatusBar::SetBarHeight(float height)
{
    if (std::isnan(height))
        return;
    height = std::clamp(std::round(height), 1.0f, kMaxBarHeight);
    if (height == fBarHeight)
        return;
    fBarHeight = height;
    Invalidate();
}

void BStatusBar::SetBarColor(rgb_color color)
{
    fBarColor = color;
    Invalidate(BarFrame());
}

void BStatusBar::Draw(BRect)
{
    BRect bar = BarFrame();
    if (HasText()) {
        font_height metrics;
        GetFontHeight(&metrics);
        float baseline = Bounds().top + std::ceil(metrics.ascent);
        SetHighColor(kTextColor);
        std::string left = fLabel + fText;
        if (!left.empty())
            DrawString(left.c_str(), BPoint(Bounds().left, baseline));
        std::string right = fTrailingText + fTrailingLabel;
        if (!right.empty()) {
            float x = Bounds().right - std::ceil(StringWidth(right.c_str()));
            DrawString(right.c_str(), BPoint(x, baseline));
        }
    }
    if (!bar.IsValid())
        return;
    SetHighColor(kFieldColor);
    FillRect(bar);
    draw_bevel(this, bar, true);
    float filled = FilledWidth(fValue);
    if (filled > 0 && bar.Height() >= 2) {
        SetHighColor(fBarColor);
        FillRect(BRect(bar.left + 1, bar.top + 1, bar.left + filled, bar.bottom - 1));
    }
}

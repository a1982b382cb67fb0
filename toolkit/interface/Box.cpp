#include "Box.h"

#include <cmath>

#include "ControlLook.h"

using namespace BPrivate;

BBox::BBox(BRect frame, const char* name, uint32 resizingMode, uint32 flags, border_style border)
    : BView(frame, name, resizingMode, flags | B_WILL_DRAW), fHasLabel(false), fBorder(border)
{
    SetViewColor(kPanelColor);
    SetLowColor(kPanelColor);
}

BBox::~BBox() {}

void BBox::AttachedToWindow()
{
    if (Parent() != nullptr && Parent()->ViewColor() != B_TRANSPARENT_COLOR) {
        SetViewColor(Parent()->ViewColor());
        SetLowColor(Parent()->ViewColor());
    }
    BView::AttachedToWindow();
}

void BBox::FrameResized(float, float)
{
    Invalidate();
}

void BBox::SetBorder(border_style border)
{
    fBorder = border;
    Invalidate();
}

void BBox::SetLabel(const char* label)
{
    fLabel = label != nullptr ? label : "";
    fHasLabel = label != nullptr;
    Invalidate();
}

void BBox::Draw(BRect)
{
    BRect frame = Bounds();
    font_height metrics;
    GetFontHeight(&metrics);
    // The frame's top line runs through the middle of the label.
    if (fHasLabel)
        frame.top = std::floor((metrics.ascent + metrics.descent) / 2);
    switch (fBorder) {
    case B_FANCY_BORDER: {
        // Engraved: a dark line with a light one inside.
        rgb_color high = HighColor();
        SetHighColor(kDarkColor);
        StrokeRect(BRect(frame.left, frame.top, frame.right - 1, frame.bottom - 1));
        SetHighColor(kLightColor);
        StrokeRect(BRect(frame.left + 1, frame.top + 1, frame.right, frame.bottom));
        SetHighColor(high);
        break;
    }
    case B_PLAIN_BORDER:
        SetHighColor(kDarkColor);
        StrokeRect(frame);
        break;
    case B_NO_BORDER:
        break;
    }
    if (fHasLabel && !fLabel.empty()) {
        float width = std::ceil(StringWidth(fLabel.c_str()));
        SetHighColor(ViewColor());
        FillRect(BRect(6, 0, 6 + width + 5, std::ceil(metrics.ascent + metrics.descent)));
        SetHighColor(kTextColor);
        DrawString(fLabel.c_str(), BPoint(8, std::ceil(metrics.ascent)));
    }
}

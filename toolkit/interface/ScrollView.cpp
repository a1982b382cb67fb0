#include "ScrollView.h"

#include "ControlLook.h"
#include "ScrollBar.h"

using namespace BPrivate;

namespace
{

border_style valid_border(border_style border)
{
    return border == B_PLAIN_BORDER || border == B_FANCY_BORDER ? border : B_NO_BORDER;
}

float border_width(border_style border)
{
    switch (border) {
    case B_PLAIN_BORDER:
        return 1;
    case B_FANCY_BORDER:
        return 2;
    default:
        return 0;
    }
}

BRect frame_around(const BView* target, bool horizontal, bool vertical, border_style border)
{
    BRect frame = target != nullptr ? target->Frame() : BRect(0, 0, 0, 0);
    float inset = border_width(border);
    frame.InsetBy(-inset, -inset);
    if (vertical)
        frame.right += B_V_SCROLL_BAR_WIDTH;
    if (horizontal)
        frame.bottom += B_H_SCROLL_BAR_HEIGHT;
    return frame;
}

} // namespace

BScrollView::BScrollView(const char* name, BView* target, uint32 resizingMode, uint32 flags,
                         bool horizontal, bool vertical, border_style border)
    : BView(frame_around(target, horizontal, vertical, valid_border(border)), name, resizingMode,
            flags | B_WILL_DRAW), // the border and the corner are drawn here
      fTarget(target), fVerticalBar(nullptr), fHorizontalBar(nullptr),
      fBorder(valid_border(border)), fHighlighted(false)
{
    SetViewColor(kPanelColor);
    SetLowColor(kPanelColor);
    float inset = border_width(fBorder);
    if (fTarget != nullptr) {
        fTarget->RemoveSelf();
        fTarget->MoveTo(inset, inset);
        fTarget->SetResizingMode(B_FOLLOW_ALL_SIDES);
        AddChild(fTarget);
    }
    // The vertical bar's frame depends on whether there is a horizontal one.
    if (horizontal)
        fHorizontalBar = new BScrollBar(BRect(0, 0, 0, 0), "_HSB_", nullptr, 0, 0, B_HORIZONTAL);
    if (vertical) {
        fVerticalBar = new BScrollBar(VerticalBarFrame(), "_VSB_", fTarget, 0, 0, B_VERTICAL);
        fVerticalBar->SetResizingMode(B_FOLLOW_RIGHT | B_FOLLOW_TOP_BOTTOM);
        AddChild(fVerticalBar);
    }
    if (fHorizontalBar != nullptr) {
        BRect frame = HorizontalBarFrame();
        fHorizontalBar->MoveTo(frame.LeftTop());
        fHorizontalBar->ResizeTo(frame.Width(), frame.Height());
        fHorizontalBar->SetResizingMode(B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
        fHorizontalBar->SetTarget(fTarget);
        AddChild(fHorizontalBar);
    }
    if (fTarget != nullptr)
        fTarget->TargetedByScrollView(this);
}

BScrollView::~BScrollView()
{
    // The children go after this, the target first: the bars must not
    // reach for it once it is gone.
    if (fVerticalBar != nullptr)
        fVerticalBar->SetTarget(nullptr);
    if (fHorizontalBar != nullptr)
        fHorizontalBar->SetTarget(nullptr);
}

BScrollBar* BScrollView::ScrollBar(orientation direction) const
{
    return direction == B_VERTICAL ? fVerticalBar : fHorizontalBar;
}

BRect BScrollView::VerticalBarFrame() const
{
    BRect bounds = Bounds().OffsetToCopy(0, 0);
    float inset = border_width(fBorder);
    float bottom = bounds.bottom - inset - (fHorizontalBar != nullptr ? B_H_SCROLL_BAR_HEIGHT : 0);
    return BRect(bounds.right - inset - (B_V_SCROLL_BAR_WIDTH - 1), inset, bounds.right - inset,
                 bottom);
}

BRect BScrollView::HorizontalBarFrame() const
{
    BRect bounds = Bounds().OffsetToCopy(0, 0);
    float inset = border_width(fBorder);
    float right = bounds.right - inset - (fVerticalBar != nullptr ? B_V_SCROLL_BAR_WIDTH : 0);
    return BRect(inset, bounds.bottom - inset - (B_H_SCROLL_BAR_HEIGHT - 1), right,
                 bounds.bottom - inset);
}

void BScrollView::SetBorder(border_style border)
{
    border = valid_border(border);
    if (border == fBorder)
        return;
    float change = border_width(border) - border_width(fBorder);
    fBorder = border;
    if (fTarget != nullptr && fTarget->Parent() == this) {
        float inset = border_width(fBorder);
        fTarget->MoveTo(inset, inset);
        fTarget->ResizeBy(-2 * change, -2 * change);
    }
    for (BScrollBar* bar : {fVerticalBar, fHorizontalBar}) {
        if (bar == nullptr || bar->Parent() != this)
            continue;
        BRect frame = bar == fVerticalBar ? VerticalBarFrame() : HorizontalBarFrame();
        bar->MoveTo(frame.LeftTop());
        bar->ResizeTo(frame.Width(), frame.Height());
    }
    Invalidate();
}

void BScrollView::SetBorderHighlighted(bool highlighted)
{
    if (highlighted == fHighlighted)
        return;
    fHighlighted = highlighted;
    if (fBorder != B_NO_BORDER)
        Invalidate();
}

void BScrollView::Draw(BRect)
{
    BRect bounds = Bounds();
    if (fBorder == B_PLAIN_BORDER) {
        SetHighColor(fHighlighted ? kFocusColor : kDarkColor);
        StrokeRect(bounds);
    } else if (fBorder == B_FANCY_BORDER) {
        draw_bevel(this, bounds, true);
        SetHighColor(fHighlighted ? kFocusColor : kOutlineColor);
        StrokeRect(bounds.InsetByCopy(1, 1));
    }
}

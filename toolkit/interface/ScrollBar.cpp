#include "ScrollBar.h"

#include <algorithm>
#include <cmath>

#include <OS.h>

#include "ControlLook.h"
#include "Window.h"

using namespace BPrivate;

namespace
{

// A held arrow or track press waits this long before it repeats, then
// repeats at the interval; the pointer is read at the poll interval.
const bigtime_t kRepeatDelay = 300000;
const bigtime_t kRepeatInterval = 50000;
const bigtime_t kPollInterval = 20000;
const float kMinThumbLength = 12;
const float kWheelSmallSteps = 3;
const rgb_color kTrackColor = {200, 200, 200, 255};

} // namespace

// Declared by BView; defined here, where the bar's class is known.
BScrollBar* BView::ScrollBar(orientation direction) const
{
    return dynamic_cast<BScrollBar*>(direction == B_VERTICAL ? fVerticalBar : fHorizontalBar);
}

BScrollBar::BScrollBar(BRect frame, const char* name, BView* target, float min, float max,
                       orientation direction)
    : BView(frame, name, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW), fTarget(nullptr),
      fOrientation(direction == B_HORIZONTAL ? B_HORIZONTAL : B_VERTICAL), fMin(0), fMax(0),
      fValue(0), fProportion(0), fSmallStep(1), fBigStep(10), fPressed(kNoPart),
      fScrollingTarget(false)
{
    SetViewColor(kPanelColor);
    SetLowColor(kPanelColor);
    // The window gives the wheel to the nearest view with a scroll bar; a
    // bar that lists itself as its own gets the wheel turned over it.
    _SetScrollBar(fOrientation, this);
    SetRange(min, max);
    SetTarget(target);
}

BScrollBar::~BScrollBar()
{
    SetTarget(nullptr);
}

// -- value and range ---------------------------------------------------------------

void BScrollBar::SetTarget(BView* target)
{
    // Bars scroll views, not one another.
    if (dynamic_cast<BScrollBar*>(target) != nullptr)
        target = nullptr;
    if (target == fTarget)
        return;
    if (fTarget != nullptr && fTarget->ScrollBar(fOrientation) == this)
        fTarget->_SetScrollBar(fOrientation, nullptr);
    fTarget = target;
    if (fTarget == nullptr)
        return;
    // A view has one bar per axis: the bar it had before lets go of it.
    if (BScrollBar* previous = fTarget->ScrollBar(fOrientation))
        previous->fTarget = nullptr;
    fTarget->_SetScrollBar(fOrientation, this);
    BRect bounds = fTarget->Bounds();
    float position = fOrientation == B_VERTICAL ? bounds.top : bounds.left;
    fValue = std::clamp(position, fMin, fMax);
    Invalidate();
}

void BScrollBar::SetValue(float value)
{
    if (!std::isfinite(value))
        return;
    value = std::clamp(value, fMin, fMax);
    if (value == fValue)
        return;
    fValue = value;
    Invalidate();
    if (fTarget != nullptr) {
        // The target reports its new position back; that echo is ignored.
        fScrollingTarget = true;
        BRect bounds = fTarget->Bounds();
        if (fOrientation == B_VERTICAL)
            fTarget->ScrollTo(bounds.left, value);
        else
            fTarget->ScrollTo(value, bounds.top);
        fScrollingTarget = false;
    }
    ValueChanged(fValue);
}

void BScrollBar::ValueChanged(float) {}

void BScrollBar::SetRange(float min, float max)
{
    if (!std::isfinite(min) || !std::isfinite(max))
        return;
    max = std::max(min, max);
    if (min == fMin && max == fMax)
        return;
    fMin = min;
    fMax = max;
    Invalidate();
    if (fValue < fMin || fValue > fMax)
        SetValue(std::clamp(fValue, fMin, fMax));
}

void BScrollBar::GetRange(float* min, float* max) const
{
    if (min != nullptr)
        *min = fMin;
    if (max != nullptr)
        *max = fMax;
}

void BScrollBar::SetProportion(float proportion)
{
    if (std::isnan(proportion))
        return;
    proportion = std::clamp(proportion, 0.0f, 1.0f);
    if (proportion == fProportion)
        return;
    fProportion = proportion;
    Invalidate();
}

void BScrollBar::SetSteps(float smallStep, float bigStep)
{
    if (std::isfinite(smallStep) && smallStep >= 0)
        fSmallStep = smallStep;
    if (std::isfinite(bigStep) && bigStep >= 0)
        fBigStep = bigStep;
}

void BScrollBar::GetSteps(float* smallStep, float* bigStep) const
{
    if (smallStep != nullptr)
        *smallStep = fSmallStep;
    if (bigStep != nullptr)
        *bigStep = fBigStep;
}

void BScrollBar::_ScrollWheel(float delta)
{
    if (!std::isfinite(delta))
        return;
    // In double: a huge delta times the step must not overflow to infinity.
    double target = double(fValue) + double(delta) * kWheelSmallSteps * fSmallStep;
    SetValue(float(std::clamp(target, double(fMin), double(fMax))));
}

void BScrollBar::_TargetScrolled(float position)
{
    if (fScrollingTarget || !std::isfinite(position))
        return;
    position = std::clamp(position, fMin, fMax);
    if (position == fValue)
        return;
    fValue = position;
    Invalidate();
    ValueChanged(fValue);
}

// -- geometry ----------------------------------------------------------------------

BScrollBar::Layout BScrollBar::ComputeLayout() const
{
    BRect bounds = Bounds();
    bool vertical = fOrientation == B_VERTICAL;
    Layout layout;
    layout.length = (vertical ? bounds.Height() : bounds.Width()) + 1;
    float across = (vertical ? bounds.Width() : bounds.Height()) + 1;
    // Square arrows, squeezed when the bar is too short for two.
    layout.arrow = std::max(0.0f, std::min(across, std::floor(layout.length / 2)));
    layout.trackStart = layout.arrow;
    layout.trackLength = std::max(0.0f, layout.length - 2 * layout.arrow);
    layout.hasThumb = fMax > fMin && layout.trackLength >= 4;
    layout.thumbLength = 0;
    layout.thumbStart = layout.trackStart;
    if (layout.hasThumb) {
        float length = fProportion > 0 ? std::round(layout.trackLength * fProportion) : 0;
        length = std::max(length, kMinThumbLength);
        layout.thumbLength = std::min(length, layout.trackLength);
        double fraction = (double(fValue) - fMin) / (double(fMax) - fMin);
        layout.thumbStart = layout.trackStart +
                            float(std::round((layout.trackLength - layout.thumbLength) * fraction));
    }
    return layout;
}

BRect BScrollBar::Span(float from, float to) const
{
    BRect bounds = Bounds();
    if (fOrientation == B_VERTICAL)
        return BRect(bounds.left, bounds.top + from, bounds.right, bounds.top + to);
    return BRect(bounds.left + from, bounds.top, bounds.left + to, bounds.bottom);
}

float BScrollBar::Along(BPoint where) const
{
    BRect bounds = Bounds();
    return fOrientation == B_VERTICAL ? where.y - bounds.top : where.x - bounds.left;
}

BScrollBar::Part BScrollBar::PartAt(BPoint where) const
{
    if (!Bounds().Contains(where))
        return kNoPart;
    Layout layout = ComputeLayout();
    float at = Along(where);
    if (at < layout.arrow)
        return kDecrement;
    if (at >= layout.length - layout.arrow)
        return kIncrement;
    if (!layout.hasThumb)
        return kNoPart;
    if (at < layout.thumbStart)
        return kTrackBefore;
    if (at < layout.thumbStart + layout.thumbLength)
        return kThumb;
    return kTrackAfter;
}

// -- drawing -----------------------------------------------------------------------

void BScrollBar::Draw(BRect)
{
    Layout layout = ComputeLayout();
    bool enabled = fMax > fMin;
    if (layout.trackLength > 0) {
        BRect track = Span(layout.trackStart, layout.trackStart + layout.trackLength - 1);
        SetHighColor(kTrackColor);
        FillRect(track);
        draw_bevel(this, track, true);
    }
    if (layout.arrow > 0) {
        DrawArrow(Span(0, layout.arrow - 1), true, fPressed == kDecrement, enabled);
        DrawArrow(Span(layout.length - layout.arrow, layout.length - 1), false,
                  fPressed == kIncrement, enabled);
    }
    if (layout.hasThumb)
        DrawThumb(Span(layout.thumbStart, layout.thumbStart + layout.thumbLength - 1));
}

void BScrollBar::DrawArrow(BRect rect, bool decrement, bool pressed, bool enabled)
{
    SetHighColor(pressed ? kDarkColor : kPanelColor);
    FillRect(rect);
    draw_bevel(this, rect, pressed);
    // A crisp triangle drawn line by line: rows 1, 3, 5 ... pixels long.
    float cx = std::floor((rect.left + rect.right) / 2);
    float cy = std::floor((rect.top + rect.bottom) / 2);
    int rows = int(std::min(4.0f, std::floor((std::min(rect.Width(), rect.Height()) - 3) / 2)));
    if (rows < 1)
        return;
    SetHighColor(enabled ? kTextColor : kDisabledText);
    float first = std::floor(float(rows) / 2);
    for (int i = 0; i < rows; i++) {
        // Distance from the tip, which points away from the track.
        float along = decrement ? -first + i : first - i;
        if (fOrientation == B_VERTICAL)
            StrokeLine(BPoint(cx - i, cy + along), BPoint(cx + i, cy + along));
        else
            StrokeLine(BPoint(cx + along, cy - i), BPoint(cx + along, cy + i));
    }
}

void BScrollBar::DrawThumb(BRect rect)
{
    SetHighColor(fPressed == kThumb ? kTrackColor : kPanelColor);
    FillRect(rect);
    draw_framed_bevel(this, rect, false);
    // Three grip lines across the middle, where there is room for them.
    float length = fOrientation == B_VERTICAL ? rect.Height() : rect.Width();
    if (length < 12)
        return;
    SetHighColor(kDarkColor);
    if (fOrientation == B_VERTICAL) {
        float mid = std::floor((rect.top + rect.bottom) / 2);
        for (float y = mid - 2; y <= mid + 2; y += 2)
            StrokeLine(BPoint(rect.left + 4, y), BPoint(rect.right - 4, y));
    } else {
        float mid = std::floor((rect.left + rect.right) / 2);
        for (float x = mid - 2; x <= mid + 2; x += 2)
            StrokeLine(BPoint(x, rect.top + 4), BPoint(x, rect.bottom - 4));
    }
}

// -- the mouse ---------------------------------------------------------------------

void BScrollBar::MouseDown(BPoint where)
{
    Part part = PartAt(where);
    if (part == kThumb)
        TrackThumb(where);
    else if (part != kNoPart)
        TrackRepeating(part);
}

void BScrollBar::Step(Part part)
{
    switch (part) {
    case kDecrement:
        SetValue(fValue - fSmallStep);
        break;
    case kIncrement:
        SetValue(fValue + fSmallStep);
        break;
    case kTrackBefore:
        SetValue(fValue - fBigStep);
        break;
    case kTrackAfter:
        SetValue(fValue + fBigStep);
        break;
    default:
        break;
    }
}

void BScrollBar::TrackRepeating(Part part)
{
    // The press steps once even when the button is already up again; the
    // repeats only come while it stays held over the same part (in the
    // track: until the thumb reaches the pointer).
    fPressed = part;
    Step(part);
    Invalidate();
    if (Window() != nullptr)
        Window()->UpdateIfNeeded();
    bigtime_t next = system_time() + kRepeatDelay;
    BPoint at;
    uint32 buttons = 0;
    GetMouse(&at, &buttons, true);
    while (buttons != 0 && Window() != nullptr) {
        snooze(kPollInterval);
        GetMouse(&at, &buttons, true);
        if (buttons == 0)
            break;
        Part shown = PartAt(at) == part ? part : kNoPart;
        if (shown != fPressed) {
            fPressed = shown;
            Invalidate();
        }
        if (shown == part && system_time() >= next) {
            Step(part);
            next = system_time() + kRepeatInterval;
        }
        Window()->UpdateIfNeeded();
    }
    fPressed = kNoPart;
    Invalidate();
}

void BScrollBar::TrackThumb(BPoint where)
{
    float grab = Along(where) - ComputeLayout().thumbStart;
    fPressed = kThumb;
    Invalidate();
    BPoint at = where;
    uint32 buttons = 0;
    GetMouse(&at, &buttons, true);
    for (;;) {
        Layout layout = ComputeLayout();
        float travel = layout.trackLength - layout.thumbLength;
        if (layout.hasThumb && travel > 0) {
            double fraction = (double(Along(at)) - grab - layout.trackStart) / travel;
            fraction = std::clamp(fraction, 0.0, 1.0);
            SetValue(float(fMin + fraction * (double(fMax) - fMin)));
        }
        if (buttons == 0 || Window() == nullptr)
            break;
        Window()->UpdateIfNeeded();
        snooze(kPollInterval);
        GetMouse(&at, &buttons, true);
    }
    fPressed = kNoPart;
    Invalidate();
}

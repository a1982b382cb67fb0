#pragma once

// A bar that scrolls its target view along one axis.
//
// The value is the target's scroll position on that axis, kept within the
// range; the proportion (0 to 1) is the part of the content in view and
// sizes the thumb. The arrows at both ends move by the small step and a
// press in the track by the big step, both repeating while held; the thumb
// can be dragged. A target that knows its content size keeps the range,
// the proportion and the steps current; the bar only follows.
//
// Scroll bars are B_V_SCROLL_BAR_WIDTH (14) pixels across: a vertical bar's
// frame is 13 wide in the toolkit's inclusive coordinates.

#include <View.h>

class BScrollBar : public BView
{
public:
    BScrollBar(BRect frame, const char* name, BView* target, float min, float max,
               orientation direction);
    ~BScrollBar() override;

    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;

    // The old target forgets the bar and the new one learns of it; the
    // value takes up the new target's scroll position.
    void SetTarget(BView* target);
    BView* Target() const { return fTarget; }

    // Clamped to the range; scrolls the target, then calls ValueChanged.
    void SetValue(float value);
    float Value() const { return fValue; }
    // Called whenever the value changes, also when the target scrolled by
    // itself. Does nothing here.
    virtual void ValueChanged(float newValue);

    // A maximum below the minimum is taken as the minimum. The value is
    // clamped into the new range, scrolling the target if it moves.
    void SetRange(float min, float max);
    void GetRange(float* min, float* max) const;
    void SetProportion(float proportion);
    float Proportion() const { return fProportion; }
    void SetSteps(float smallStep, float bigStep);
    void GetSteps(float* smallStep, float* bigStep) const;
    orientation Orientation() const { return fOrientation; }

    // Toolkit internals: one wheel step scrolls three small steps.
    void _ScrollWheel(float delta) override;
    void _TargetScrolled(float position) override;

private:
    enum Part { kNoPart, kDecrement, kIncrement, kTrackBefore, kTrackAfter, kThumb };
    // Positions along the bar's axis, in pixels from its start.
    struct Layout {
        float length;
        float arrow;
        float trackStart;
        float trackLength;
        float thumbStart;
        float thumbLength;
        bool hasThumb;
    };

    Layout ComputeLayout() const;
    // Pixels `from` to `to` (inclusive) along the axis, across the bar.
    BRect Span(float from, float to) const;
    float Along(BPoint where) const;
    Part PartAt(BPoint where) const;
    void Step(Part part);
    void TrackRepeating(Part part);
    void TrackThumb(BPoint where);
    void DrawArrow(BRect rect, bool decrement, bool pressed, bool enabled);
    void DrawThumb(BRect rect);

    BView* fTarget;
    orientation fOrientation;
    float fMin;
    float fMax;
    float fValue;
    float fProportion;
    float fSmallStep;
    float fBigStep;
    Part fPressed;
    bool fScrollingTarget; // set while SetValue scrolls the target
};

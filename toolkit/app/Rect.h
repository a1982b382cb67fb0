#pragma once

#include <cmath>

#include "Point.h"

// A rectangle whose four edges all lie inside it: Width() is right - left,
// so (0, 0, 10, 10) covers eleven pixels a side.
class BRect
{
public:
    float left;
    float top;
    float right;
    float bottom;

    constexpr BRect() : left(0), top(0), right(-1), bottom(-1) {}
    constexpr BRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
    constexpr BRect(BPoint leftTop, BPoint rightBottom)
        : left(leftTop.x), top(leftTop.y), right(rightBottom.x), bottom(rightBottom.y)
    {
    }

    void Set(float l, float t, float r, float b)
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }

    BPoint LeftTop() const { return BPoint(left, top); }
    BPoint RightBottom() const { return BPoint(right, bottom); }
    BPoint LeftBottom() const { return BPoint(left, bottom); }
    BPoint RightTop() const { return BPoint(right, top); }
    void SetLeftTop(BPoint p)
    {
        left = p.x;
        top = p.y;
    }
    void SetRightBottom(BPoint p)
    {
        right = p.x;
        bottom = p.y;
    }
    void SetLeftBottom(BPoint p)
    {
        left = p.x;
        bottom = p.y;
    }
    void SetRightTop(BPoint p)
    {
        right = p.x;
        top = p.y;
    }

    float Width() const { return right - left; }
    float Height() const { return bottom - top; }
    int32 IntegerWidth() const { return int32(std::ceil(right - left)); }
    int32 IntegerHeight() const { return int32(std::ceil(bottom - top)); }
    bool IsValid() const { return left <= right && top <= bottom; }

    BRect& InsetBy(float dx, float dy);
    BRect& InsetBy(BPoint delta) { return InsetBy(delta.x, delta.y); }
    BRect& OffsetBy(float dx, float dy);
    BRect& OffsetBy(BPoint delta) { return OffsetBy(delta.x, delta.y); }
    BRect& OffsetTo(float x, float y);
    BRect& OffsetTo(BPoint where) { return OffsetTo(where.x, where.y); }
    BRect InsetByCopy(float dx, float dy) const { return BRect(*this).InsetBy(dx, dy); }
    BRect OffsetByCopy(float dx, float dy) const { return BRect(*this).OffsetBy(dx, dy); }
    BRect OffsetToCopy(float x, float y) const { return BRect(*this).OffsetTo(x, y); }
    BRect OffsetToCopy(BPoint where) const { return BRect(*this).OffsetTo(where); }

    bool Contains(BPoint p) const;
    bool Contains(BRect r) const;
    bool Intersects(BRect r) const;

    BRect operator&(BRect r) const; // intersection
    BRect operator|(BRect r) const; // union
    bool operator==(BRect r) const;
    bool operator!=(BRect r) const { return !(*this == r); }

    void PrintToStream() const;
};

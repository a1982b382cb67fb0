#include "Rect.h"

#include <algorithm>
#include <cstdio>

const BPoint B_ORIGIN(0, 0);

void BPoint::ConstrainTo(BRect rect)
{
    x = std::max(std::min(x, rect.right), rect.left);
    y = std::max(std::min(y, rect.bottom), rect.top);
}

void BPoint::PrintToStream() const
{
    printf("BPoint(x:%.0f, y:%.0f)\n", double(x), double(y));
}

BRect& BRect::InsetBy(float dx, float dy)
{
    left += dx;
    right -= dx;
    top += dy;
    bottom -= dy;
    return *this;
}

BRect& BRect::OffsetBy(float dx, float dy)
{
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
    return *this;
}

BRect& BRect::OffsetTo(float x, float y)
{
    right = x + Width();
    bottom = y + Height();
    left = x;
    top = y;
    return *this;
}

bool BRect::Contains(BPoint p) const
{
    return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom;
}

bool BRect::Contains(BRect r) const
{
    return r.left >= left && r.right <= right && r.top >= top && r.bottom <= bottom;
}

bool BRect::Intersects(BRect r) const
{
    if (!IsValid() || !r.IsValid())
        return false;
    return std::max(left, r.left) <= std::min(right, r.right) &&
           std::max(top, r.top) <= std::min(bottom, r.bottom);
}

BRect BRect::operator&(BRect r) const
{
    return BRect(std::max(left, r.left), std::max(top, r.top), std::min(right, r.right),
                 std::min(bottom, r.bottom));
}

BRect BRect::operator|(BRect r) const
{
    return BRect(std::min(left, r.left), std::min(top, r.top), std::max(right, r.right),
                 std::max(bottom, r.bottom));
}

bool BRect::operator==(BRect r) const
{
    return left == r.left && top == r.top && right == r.right && bottom == r.bottom;
}

void BRect::PrintToStream() const
{
    printf("BRect(l:%.1f, t:%.1f, r:%.1f, b:%.1f)\n", double(left), double(top), double(right),
           double(bottom));
}

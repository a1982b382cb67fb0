#include <Rect.h>

#include <gtest/gtest.h>

TEST(Geometry, RectEdgesAreInside)
{
    BRect r(0, 0, 320, 45);
    EXPECT_EQ(r.Width(), 320);
    EXPECT_EQ(r.Height(), 45);
    EXPECT_TRUE(r.Contains(BPoint(320, 45)));
    EXPECT_FALSE(r.Contains(BPoint(320.5f, 45)));
    r.OffsetTo(6, 25);
    EXPECT_EQ(r, BRect(6, 25, 326, 70));
    r.OffsetBy(BPoint(-6, -25));
    EXPECT_EQ(r.LeftTop(), B_ORIGIN);
    r.InsetBy(1, 2);
    EXPECT_EQ(r, BRect(1, 2, 319, 43));
    EXPECT_FALSE(BRect().IsValid());
    EXPECT_TRUE(BRect(5, 5, 5, 5).IsValid()) << "a one-pixel rectangle";
}

TEST(Geometry, IntersectionAndUnion)
{
    BRect a(0, 0, 10, 10), b(5, 5, 20, 20), c(11, 0, 12, 1);
    EXPECT_EQ(a & b, BRect(5, 5, 10, 10));
    EXPECT_EQ(a | b, BRect(0, 0, 20, 20));
    EXPECT_TRUE(a.Intersects(b));
    EXPECT_FALSE(a.Intersects(c));
    EXPECT_TRUE(a.Intersects(BRect(10, 10, 11, 11))) << "shared edge pixel";
    EXPECT_FALSE((a & c).IsValid());
    BPoint p(30, -3);
    p.ConstrainTo(a);
    EXPECT_EQ(p, BPoint(10, 0));
}

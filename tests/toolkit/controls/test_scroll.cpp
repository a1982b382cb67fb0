// Scroll bars and scroll views, used as a person would: arrows, track,
// thumb and wheel, and the places a scroll view gives its target and bars.

#include "ControlTestSupport.h"

#include <cmath>

#include <ListItem.h>
#include <ListView.h>
#include <ScrollBar.h>
#include <ScrollView.h>

namespace
{

class Scrolling : public ControlTest
{
protected:
    // A plain view and a vertical bar beside it that scrolls it.
    void MakeBarAndTarget(float barHeight = 199)
    {
        target = new BView(BRect(20, 20, 119, 20 + barHeight), "target", B_FOLLOW_NONE, 0);
        bar =
            new BScrollBar(BRect(120, 20, 133, 20 + barHeight), "bar", target, 0, 500, B_VERTICAL);
        // The bar first, so that it is deleted first: a view does not tell
        // its bars when it goes.
        driver->Locked(window, [&] {
            background->AddChild(bar);
            background->AddChild(target);
            bar->SetSteps(7, 60);
            bar->SetProportion(0.25f);
        });
        ASSERT_TRUE(driver->WaitIdle());
    }

    // A point of the bar, in window coordinates.
    BPoint OnBar(float x, float y)
    {
        return driver->Locked(window, [&] { return bar->_ToWindow(BPoint(x, y)); });
    }

    // The bar's value, once the target is seen to have scrolled to it.
    float Scrolled()
    {
        EXPECT_TRUE(driver->WaitIdle());
        return driver->Locked(window, [&] {
            EXPECT_EQ(target->Bounds().top, std::round(bar->Value())) << "the target follows";
            return bar->Value();
        });
    }

    void SetValue(float value)
    {
        driver->Locked(window, [&] { bar->SetValue(value); });
    }

    BView* target = nullptr;
    BScrollBar* bar = nullptr;
    // Outlive the window, whose lists may draw them until it goes.
    std::vector<std::unique_ptr<BListItem>> items;
};

} // namespace

TEST_F(Scrolling, ArrowsStepAndTheTrackPagesClampedAtBothEnds)
{
    MakeBarAndTarget();
    // The increment arrow is the 14-pixel square at the bottom.
    driver->Click(window, OnBar(7, 192));
    EXPECT_EQ(Scrolled(), 7);
    driver->Click(window, OnBar(7, 6));
    driver->Click(window, OnBar(7, 6));
    EXPECT_EQ(Scrolled(), 0) << "two steps back from 7 stop at the minimum";

    // Below the thumb (which sits at the top): a page down; above it: up.
    driver->Click(window, OnBar(7, 170));
    EXPECT_EQ(Scrolled(), 60);
    driver->Click(window, OnBar(7, 16));
    EXPECT_EQ(Scrolled(), 0);

    SetValue(495);
    driver->Click(window, OnBar(7, 192));
    EXPECT_EQ(Scrolled(), 500) << "a step past the end stops at the maximum";
}

TEST_F(Scrolling, HeldArrowsRepeatAndAHeldTrackPressStopsAtThePointer)
{
    MakeBarAndTarget();
    // Points are worked out before the press: a tracking bar holds the
    // window's lock until the release.
    BPoint arrow = OnBar(7, 192);
    driver->MouseMove(window, arrow);
    driver->MouseDown(window, arrow);
    snooze(900000);
    driver->MouseUp(window, arrow);
    float held = Scrolled();
    EXPECT_GE(held, 4 * 7) << "the press and at least three repeats";
    EXPECT_EQ(std::fmod(held, 7.0f), 0) << "whole steps";

    // Held in the track near its middle: pages until the thumb reaches the
    // pointer, then stays there however long the press lasts.
    SetValue(0);
    BPoint middle = OnBar(7, 110);
    driver->MouseMove(window, middle);
    driver->MouseDown(window, middle, B_PRIMARY_MOUSE_BUTTON);
    snooze(1500000);
    driver->MouseUp(window, middle);
    float paged = Scrolled();
    EXPECT_GT(paged, 60) << "it repeated";
    EXPECT_LT(paged, 500) << "it stopped under the pointer instead of running to the end";
    EXPECT_EQ(std::fmod(paged, 60.0f), 0);
}

TEST_F(Scrolling, DraggingTheThumbMovesTheValueProportionally)
{
    MakeBarAndTarget();
    // The thumb starts right under the top arrow; grab it there.
    BPoint grab = OnBar(7, 18);
    driver->Drag(window, grab, grab + BPoint(0, 20), 4);
    float shortDrag = Scrolled();
    SetValue(0);
    driver->Drag(window, grab, grab + BPoint(0, 40), 4);
    float longDrag = Scrolled();
    EXPECT_GT(shortDrag, 0);
    // Twice the distance, twice the value, give or take a pixel's worth.
    EXPECT_NEAR(longDrag, 2 * shortDrag, shortDrag / 10 + 1);

    // Dragged beyond either end, the value stops at the range.
    driver->Drag(window, grab + BPoint(0, 40), OnBar(7, 270), 4);
    EXPECT_EQ(Scrolled(), 500);
    // The thumb is drawn at the bottom now: its dark outline shows in the
    // lowest quarter of the track and not in the top one.
    Snapshot shot(*driver, window);
    auto outline_rows = [&](float from, float to) {
        int rows = 0;
        for (float y = from; y < to; y++) {
            BPoint at = OnBar(7, y);
            rows += shot.At(int32(at.x), int32(at.y)).red < 80;
        }
        return rows;
    };
    EXPECT_EQ(outline_rows(14, 57), 0);
    EXPECT_GT(outline_rows(143, 186), 0);

    driver->Drag(window, OnBar(7, 170), OnBar(7, -15), 4);
    EXPECT_EQ(Scrolled(), 0);
}

TEST_F(Scrolling, RangeProportionAndStepsRejectNonsense)
{
    MakeBarAndTarget();
    driver->Locked(window, [&] {
        bar->SetValue(300);
        EXPECT_EQ(target->Bounds().top, 300);

        bar->SetRange(0, 120);
        EXPECT_EQ(bar->Value(), 120) << "the range clamps the value";
        EXPECT_EQ(target->Bounds().top, 120) << "and the target follows";
        bar->SetRange(200, 250);
        EXPECT_EQ(bar->Value(), 200);

        float min = -1, max = -1;
        bar->SetRange(50, 10);
        bar->GetRange(&min, &max);
        EXPECT_EQ(min, 50);
        EXPECT_EQ(max, 50) << "a maximum below the minimum collapses the range";
        EXPECT_EQ(bar->Value(), 50);

        bar->SetRange(NAN, 10);
        bar->SetRange(0, INFINITY);
        bar->SetValue(NAN);
        bar->GetRange(&min, &max);
        EXPECT_EQ(max - min, 0);
        EXPECT_EQ(bar->Value(), 50);

        bar->SetRange(-3e38f, 3e38f);
        bar->SetValue(3e38f);
        EXPECT_EQ(bar->Value(), 3e38f);
        bar->_ScrollWheel(1e30f);
        EXPECT_EQ(bar->Value(), 3e38f);
        bar->_ScrollWheel(-INFINITY);
        EXPECT_EQ(bar->Value(), 3e38f);
        bar->_ScrollWheel(-1e38f);
        EXPECT_EQ(bar->Value(), -3e38f);

        bar->SetProportion(7);
        EXPECT_EQ(bar->Proportion(), 1);
        bar->SetProportion(-1);
        bar->SetProportion(NAN);
        EXPECT_EQ(bar->Proportion(), 0);

        float small = 0, big = 0;
        bar->SetSteps(-4, NAN);
        bar->GetSteps(&small, &big);
        EXPECT_EQ(small, 7);
        EXPECT_EQ(big, 60);
    });
    // A bar with huge values still draws and takes clicks.
    driver->Click(window, OnBar(7, 100));
    driver->Click(window, OnBar(7, 192));
    ASSERT_TRUE(driver->WaitIdle());
}

TEST_F(Scrolling, TargetsKnowTheirBarsAndScrollingByThemselvesMovesTheValue)
{
    MakeBarAndTarget();
    BView* other = new BView(BRect(200, 20, 260, 80), "other", B_FOLLOW_NONE, 0);
    // Records what the hook is told.
    struct WatchedBar : BScrollBar {
        explicit WatchedBar(BView* target)
            : BScrollBar(BRect(270, 20, 283, 120), "watched", target, 0, 100, B_VERTICAL)
        {
        }
        void ValueChanged(float value) override { values.push_back(value); }
        std::vector<float> values;
    }* watched = nullptr;
    driver->Locked(window, [&] {
        background->AddChild(other);
        EXPECT_EQ(target->ScrollBar(B_VERTICAL), bar);
        EXPECT_EQ(target->ScrollBar(B_HORIZONTAL), nullptr);

        // The target scrolls itself: the value follows without scrolling it
        // again, clamped to the range.
        target->ScrollTo(0, 42);
        EXPECT_EQ(bar->Value(), 42);
        target->ScrollTo(0, 900);
        EXPECT_EQ(bar->Value(), 500);
        EXPECT_EQ(target->Bounds().top, 900) << "the bar does not move its target back";

        bar->SetTarget(other);
        EXPECT_EQ(target->ScrollBar(B_VERTICAL), nullptr);
        EXPECT_EQ(other->ScrollBar(B_VERTICAL), bar);
        EXPECT_EQ(bar->Value(), 0) << "the value takes up the new target's place";

        // A second bar for the same view takes it over.
        watched = new WatchedBar(other);
        background->AddChild(watched);
        EXPECT_EQ(other->ScrollBar(B_VERTICAL), watched);
        EXPECT_EQ(bar->Target(), nullptr);
        bar->SetValue(30);
        EXPECT_EQ(other->Bounds().top, 0) << "a bar without a target scrolls nothing";

        watched->SetValue(10);
        other->ScrollTo(0, 25);
        watched->SetValue(25);
        ASSERT_EQ(watched->values.size(), 2u) << "one call per change, none for no change";
        EXPECT_EQ(watched->values[0], 10);
        EXPECT_EQ(watched->values[1], 25);

        // Deleting a bar leaves its target without one.
        watched->RemoveSelf();
        delete watched;
        EXPECT_EQ(other->ScrollBar(B_VERTICAL), nullptr);
    });
    // The wheel over a view without a bar is harmless.
    driver->Wheel(window, driver->Locked(window, [&] { return other->_ToWindow(BPoint(5, 5)); }),
                  3);
    ASSERT_TRUE(driver->WaitIdle());
}

TEST_F(Scrolling, ScrollViewsPlaceTheirTargetAndBarsForEveryBorder)
{
    struct Case {
        border_style border;
        float width;
    } borders[] = {{B_NO_BORDER, 0}, {B_PLAIN_BORDER, 1}, {B_FANCY_BORDER, 2}};
    for (const Case& c : borders) {
        for (int bars = 0; bars < 4; bars++) {
            bool horizontal = (bars & 1) != 0, vertical = (bars & 2) != 0;
            SCOPED_TRACE(testing::Message() << "border " << c.width << " horizontal " << horizontal
                                            << " vertical " << vertical);
            auto* inner = new BView(BRect(20, 30, 119, 99), "inner", B_FOLLOW_NONE, 0);
            auto* scroll =
                new BScrollView("scroll", inner, B_FOLLOW_NONE, 0, horizontal, vertical, c.border);
            float b = c.width;
            EXPECT_EQ(scroll->Frame(), BRect(20 - b, 30 - b, 119 + b + (vertical ? 14 : 0),
                                             99 + b + (horizontal ? 14 : 0)));
            EXPECT_EQ(inner->Parent(), scroll);
            EXPECT_EQ(inner->Frame(), BRect(b, b, b + 99, b + 69));
            BScrollBar* v = scroll->ScrollBar(B_VERTICAL);
            BScrollBar* h = scroll->ScrollBar(B_HORIZONTAL);
            ASSERT_EQ(v != nullptr, vertical);
            ASSERT_EQ(h != nullptr, horizontal);
            auto check_bars = [&] {
                BRect place = inner->Frame(), all = scroll->Bounds();
                if (v != nullptr) {
                    // 14 pixels wide, against the target, inside the border.
                    EXPECT_EQ(v->Frame(),
                              BRect(place.right + 1, place.top, place.right + 14, place.bottom));
                    EXPECT_EQ(v->Frame().right, all.right - b);
                    EXPECT_EQ(inner->ScrollBar(B_VERTICAL), v);
                }
                if (h != nullptr) {
                    EXPECT_EQ(h->Frame(),
                              BRect(place.left, place.bottom + 1, place.right, place.bottom + 14));
                    EXPECT_EQ(h->Frame().bottom, all.bottom - b);
                    EXPECT_EQ(inner->ScrollBar(B_HORIZONTAL), h);
                }
                EXPECT_EQ(place.left, b);
                EXPECT_EQ(place.right, all.right - b - (vertical ? 14 : 0));
                EXPECT_EQ(place.bottom, all.bottom - b - (horizontal ? 14 : 0));
            };
            check_bars();
            // Resized, the target follows all sides and the bars keep to it.
            scroll->ResizeBy(30, 20);
            EXPECT_EQ(inner->Frame().RightBottom(), BPoint(b + 99 + 30, b + 69 + 20));
            check_bars();
            // Another border keeps the frame and refits what is inside.
            BRect frame = scroll->Frame();
            scroll->SetBorder(B_PLAIN_BORDER);
            b = 1;
            EXPECT_EQ(scroll->Frame(), frame);
            check_bars();
            delete scroll;
        }
    }
}

TEST_F(Scrolling, AScrollViewTakesTheProgramsLayoutAndDrawsItsBorder)
{
    // An output view of (0, 0, R - 14, B) with a vertical bar and no border
    // covers (0, 0, R, B).
    const float R = 300, B = 200;
    auto* output = new BView(BRect(0, 0, R - 14, B), "output", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
    auto* plain =
        new BScrollView("TextScroller", output, B_FOLLOW_ALL_SIDES, 0, false, true, B_NO_BORDER);
    EXPECT_EQ(plain->Frame(), BRect(0, 0, R, B));
    delete plain;

    auto* list = new BListView(BRect(20, 20, 120, 120), "list");
    auto* fancy = Add(new BScrollView("scroll_list", list, B_FOLLOW_LEFT | B_FOLLOW_TOP, 0, false,
                                      true, B_FANCY_BORDER));
    BRect frame = driver->Locked(window, [&] { return fancy->Frame(); });
    EXPECT_EQ(frame, BRect(18, 18, 136, 122));
    // Sunken: a dark line outside, the outline inside it, light at the
    // bottom; the list inside.
    EXPECT_EQ(driver->Pixel(window, 18, 60).red, 150);
    EXPECT_EQ(driver->Pixel(window, 19, 60).red, 62);
    EXPECT_EQ(driver->Pixel(window, 60, 122).red, 250);
    EXPECT_EQ(driver->Pixel(window, 60, 60).red, 255);

    // Focus marks the border.
    driver->Click(list, BPoint(50, 90));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(driver->Locked(window, [&] { return fancy->IsBorderHighlighted(); }));
    rgb_color focused = driver->Pixel(window, 19, 60);
    EXPECT_GT(focused.blue, 150);
    EXPECT_LT(focused.red, 50);
}

TEST_F(Scrolling, TheWheelScrollsAListThreeRowsAStepWithinItsRange)
{
    auto* list = new BListView(BRect(20, 20, 150, 179), "list");
    for (int i = 0; i < 40; i++) {
        items.push_back(std::make_unique<BStringItem>(("row " + std::to_string(i)).c_str()));
        list->AddItem(items.back().get());
    }
    auto* scroll = Add(new BScrollView("scroll", list, B_FOLLOW_NONE, 0, false, true));
    BScrollBar* vertical = scroll->ScrollBar(B_VERTICAL);
    auto max_of = [&] {
        float min = -1, max = -1;
        vertical->GetRange(&min, &max);
        EXPECT_EQ(min, 0);
        return max;
    };
    float row = 0, max = 0;
    driver->Locked(window, [&] {
        row = list->ItemFrame(0).Height() + 1;
        float small = 0, big = 0;
        max = max_of();
        vertical->GetSteps(&small, &big);
        EXPECT_EQ(max, 40 * row - 160) << "all the rows less what shows";
        EXPECT_EQ(small, row);
        EXPECT_GE(big, 160 - row);
        EXPECT_LE(big, 160);
        EXPECT_NEAR(vertical->Proportion(), 160 / (40 * row), 0.001);
    });
    ASSERT_GT(row, 10);

    BPoint over = driver->Locked(window, [&] { return list->_ToWindow(BPoint(40, 40)); });
    driver->Wheel(window, over, 1);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(vertical->Value(), 3 * row);
        EXPECT_EQ(list->Bounds().top, 3 * row);
    });
    driver->Wheel(window, over, -5);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(vertical->Value(), 0); });
    driver->Wheel(window, over, 100);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(vertical->Value(), max);
        EXPECT_EQ(list->Bounds().top, max);
        // The last row shows at the bottom.
        EXPECT_EQ(list->IndexOf(BPoint(5, list->Bounds().bottom)), 39);
    });

    // Over the bar itself, too.
    BPoint onBar = driver->Locked(window, [&] { return vertical->_ToWindow(BPoint(7, 80)); });
    driver->Wheel(window, onBar, -1);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(vertical->Value(), max - 3 * row); });

    // Removing rows shrinks the range and pulls the list back into it.
    driver->Locked(window, [&] {
        list->RemoveItems(10, 30);
        EXPECT_EQ(max_of(), 0) << "ten rows fit";
        EXPECT_EQ(vertical->Value(), 0);
        EXPECT_EQ(list->Bounds().top, 0);
        EXPECT_EQ(vertical->Proportion(), 1);
        // Resizing the scroll view resizes the list and its range.
        scroll->ResizeBy(0, -100);
        EXPECT_EQ(max_of(), 10 * row - 60);
    });
}

// Status bars: the value and its limits, and the filled part on screen.

#include "ControlTestSupport.h"

#include <cmath>

#include <StatusBar.h>

namespace
{

class StatusBars : public ControlTest
{
protected:
    // Pixels of the bar's colour along a row of the window.
    int FilledPixels(BStatusBar* bar, float y)
    {
        BRect frame = driver->Locked(window, [&] { return bar->Frame(); });
        rgb_color color = driver->Locked(window, [&] { return bar->BarColor(); });
        Snapshot shot(*driver, window);
        int filled = 0;
        for (int32 x = int32(frame.left); x <= int32(frame.right); x++)
            filled += shot.At(x, int32(y)) == color;
        return filled;
    }
};

} // namespace

TEST_F(StatusBars, TheValueStaysBetweenZeroAndTheMaximum)
{
    BStatusBar bar(BRect(0, 0, 99, 14), "progress");
    EXPECT_EQ(bar.MaxValue(), 100);
    EXPECT_EQ(bar.BarHeight(), 16);
    bar.SetMaxValue(1000);
    for (int i = 0; i < 5; i++)
        bar.Update(1);
    EXPECT_EQ(bar.CurrentValue(), 5);
    bar.Update(2000, "half", "way");
    EXPECT_EQ(bar.CurrentValue(), 1000);
    EXPECT_STREQ(bar.Text(), "half");
    EXPECT_STREQ(bar.TrailingText(), "way");
    bar.Update(-5000);
    EXPECT_EQ(bar.CurrentValue(), 0);
    bar.Update(7);
    bar.Update(NAN);
    bar.Update(-INFINITY, nullptr, nullptr);
    EXPECT_EQ(bar.CurrentValue(), 0);
    EXPECT_STREQ(bar.Text(), "half") << "null texts keep the current ones";

    bar.Update(80);
    bar.SetMaxValue(50);
    EXPECT_EQ(bar.CurrentValue(), 50) << "a lower maximum pulls the value down";
    bar.SetMaxValue(NAN);
    EXPECT_EQ(bar.MaxValue(), 50);
    bar.SetMaxValue(-1);
    EXPECT_EQ(bar.CurrentValue(), 0);
    bar.Update(10);
    EXPECT_EQ(bar.CurrentValue(), 0) << "nothing fits under a negative maximum";

    bar.SetMaxValue(1000);
    bar.Update(300);
    bar.Reset("Label", "Trailing");
    EXPECT_EQ(bar.CurrentValue(), 0);
    EXPECT_EQ(bar.MaxValue(), 100) << "the maximum goes back to its default";
    EXPECT_STREQ(bar.Text(), "");
    EXPECT_STREQ(bar.Label(), "Label");
    EXPECT_STREQ(bar.TrailingLabel(), "Trailing");
    bar.Reset();
    EXPECT_STREQ(bar.Label(), "");

    bar.SetBarHeight(-3);
    EXPECT_EQ(bar.BarHeight(), 1);
    bar.SetBarHeight(NAN);
    EXPECT_EQ(bar.BarHeight(), 1);
}

TEST_F(StatusBars, TheFilledPartGrowsWithTheValueAndHidesWithTheView)
{
    // As the program's channel list uses it: no labels, a bar of 14.
    auto* bar = Add(new BStatusBar(BRect(20, 20, 219, 34), "progress"));
    driver->Locked(window, [&] {
        bar->SetMaxValue(1000);
        bar->SetBarHeight(14);
        // A status bar copied the flags of a view that does not draw
        // still draws.
        bar->SetFlags(0);
        for (int i = 0; i < 250; i++)
            bar->Update(1);
    });
    ASSERT_TRUE(driver->WaitIdle());
    // Inside the bevel the track is 198 pixels wide: a quarter is filled.
    EXPECT_NEAR(FilledPixels(bar, 27), 198 / 4.0, 1);
    EXPECT_EQ(FilledPixels(bar, 20), 0) << "the bevel's top line";
    EXPECT_GT(FilledPixels(bar, 21), 0) << "the bar starts at the top without labels";
    EXPECT_EQ(FilledPixels(bar, 33), 0) << "and is 14 pixels high: its bevel's bottom line";
    rgb_color empty = driver->Pixel(window, 200, 27);
    EXPECT_EQ(empty.red, 255) << "the rest of the track";

    driver->Locked(window, [&] { bar->Update(5000); });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FilledPixels(bar, 27), 198);

    driver->Locked(window, [&] { bar->Hide(); });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(FilledPixels(bar, 27), 0);
    driver->Locked(window, [&] {
        bar->Show();
        bar->Reset("Channels");
        bar->Update(50);
    });
    ASSERT_TRUE(driver->WaitIdle());
    // With a label the bar moves under the text line.
    EXPECT_EQ(FilledPixels(bar, 27), 0);
    driver->Locked(window, [&] { bar->ResizeTo(199, 40); });
    ASSERT_TRUE(driver->WaitIdle());
    float barTop = driver->Locked(window, [&] { return bar->Frame().top + bar->BarFrame().top; });
    EXPECT_GT(barTop, 20 + 12);
    EXPECT_NEAR(FilledPixels(bar, barTop + 7), 99, 1);
    Snapshot shot(*driver, window);
    int text = 0;
    for (int32 y = 20; y < int32(barTop); y++)
        for (int32 x = 20; x < 80; x++)
            text += shot.At(x, y).red < 80;
    EXPECT_GT(text, 10) << "the label";
}

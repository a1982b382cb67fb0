#include "RetryDelay.h"

#include <vector>

#include <gtest/gtest.h>

TEST(RetryDelay, DoublesUpToFiveMinutesAndStartsOver)
{
    RetryDelay delay(5000000);
    std::vector<bigtime_t> waits;
    for (int i = 0; i < 9; i++)
        waits.push_back(delay.Next() / 1000000);
    EXPECT_EQ(waits, (std::vector<bigtime_t>{5, 10, 20, 40, 80, 160, 300, 300, 300}));
    delay.Reset(5000000);
    EXPECT_EQ(delay.Next(), 5000000);
    // A shortened first wait shortens the longest alike.
    delay.Reset(100000);
    bigtime_t last = 0;
    for (int i = 0; i < 12; i++)
        last = delay.Next();
    EXPECT_EQ(last, 6000000);
}

TEST(RetryDelay, NamesTheWait)
{
    EXPECT_EQ(delay_text(5000000), "5 s");
    EXPECT_EQ(delay_text(160000000), "160 s");
    EXPECT_EQ(delay_text(300000000), "5 min");
    EXPECT_EQ(delay_text(300000), "0.3 s");
}

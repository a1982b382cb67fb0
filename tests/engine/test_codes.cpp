#include <IrcCodes.h>

#include <AppDefs.h>

#include <gtest/gtest.h>

// The codes are part of what other builds and saved files may rely on.
TEST(Codes, HaveTheirFixedValues)
{
    EXPECT_EQ(uint32(MSG_IRC), 0x00697263u);
    EXPECT_EQ(uint32(MSG_INF), 0x00696E66u);
    EXPECT_EQ(uint32(MSG_DBG), 0x00646267u);
    EXPECT_EQ(uint32(MSG_CON), 0x00636F6Eu);
    EXPECT_EQ(uint32(MSG_NTR), 0x006E7472u);
    EXPECT_EQ(uint32(MSG_UMG), 0x00756D67u);
    EXPECT_EQ(uint32(MSG_TPC), 0x00747063u);
    EXPECT_EQ(uint32(MSG_ITM), 0x0069746Du);
    EXPECT_EQ(uint32(MSG_PRV), 0x00707276u);
    EXPECT_EQ(uint32(MSG_MDN), 0x006D646Eu);
    EXPECT_EQ(uint32(MSG_MFST), 0x6D667374u);
    EXPECT_EQ(uint32(MSG_MSTT), 0x6D737474u);
    EXPECT_EQ(uint32(MSG_003), 0x00303033u);
    EXPECT_EQ(uint32(MSG_3000), 0x33303030u);
    EXPECT_EQ(uint32(MSG_LVCH), 0x6C766368u);
    EXPECT_EQ(uint32(MSG_MAD1), 0x6D616431u);
    EXPECT_EQ(uint32(MSG_MREV), 0x6D726576u);
    EXPECT_EQ(uint32(B_QUIT_REQUESTED), 0x5F515251u);
    EXPECT_EQ(uint32(B_ABOUT_REQUESTED), 0x5F414252u);
    EXPECT_EQ(uint32(B_KEY_DOWN), 0x5F4B5944u);
}

// The pictures compiled into the program, loaded by name.

#include <gtest/gtest.h>

#include <memory>

#include <AppResources.h>
#include <Bitmap.h>
#include <Message.h>

#include <RetrieveBitmap.h>

namespace
{

struct pixel {
    int red, green, blue, alpha;
};

pixel at(const BBitmap& bitmap, int32 x, int32 y)
{
    const uint8* p = static_cast<const uint8*>(bitmap.Bits()) + y * bitmap.BytesPerRow() + x * 4;
    return pixel{p[2], p[1], p[0], p[3]};
}

bool is(pixel p, int red, int green, int blue)
{
    return p.red == red && p.green == green && p.blue == blue;
}

} // namespace

TEST(Bitmaps, TheLampsAreGreyCorneredDiscsOfTheirColour)
{
    struct lamp {
        const char* name;
        int red, green, blue;
    };
    for (lamp l : {lamp{"green.trg_bitmap", 125, 160, 8}, lamp{"red.trg_bitmap", 222, 128, 40},
                   lamp{"blue.trg_bitmap", 104, 104, 154}}) {
        SCOPED_TRACE(l.name);
        std::unique_ptr<BBitmap> bitmap(RetrieveBitmap(l.name));
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->Bounds(), BRect(0, 0, 7, 7));
        EXPECT_EQ(bitmap->ColorSpace(), B_RGB32);
        int sum[3] = {0, 0, 0};
        for (int32 y = 0; y < 8; y++) {
            for (int32 x = 0; x < 8; x++) {
                pixel p = at(*bitmap, x, y);
                EXPECT_EQ(p.alpha, 255);
                bool corner = (x == 0 || x == 7) && (y == 0 || y == 7);
                EXPECT_EQ(is(p, 196, 196, 196), corner) << x << "," << y;
                if (!corner) {
                    sum[0] += p.red;
                    sum[1] += p.green;
                    sum[2] += p.blue;
                }
            }
        }
        EXPECT_NEAR(sum[0] / 60.0, l.red, 1.0);
        EXPECT_NEAR(sum[1] / 60.0, l.green, 1.0);
        EXPECT_NEAR(sum[2] / 60.0, l.blue, 1.0);
        // Lit from the upper left.
        pixel light = at(*bitmap, 1, 1), dark = at(*bitmap, 6, 6);
        EXPECT_GT(light.red + light.green + light.blue, dark.red + dark.green + dark.blue);
    }
}

TEST(Bitmaps, TheOperatorMarkIsNineByNineInItsColours)
{
    std::unique_ptr<BBitmap> mark(RetrieveBitmap("op.trg_bitmap"));
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->Bounds(), BRect(0, 0, 8, 8));
    EXPECT_EQ(mark->ColorSpace(), B_RGB32);
    int red = 0, black = 0, grey = 0;
    for (int32 y = 0; y < 9; y++) {
        for (int32 x = 0; x < 9; x++) {
            pixel p = at(*mark, x, y);
            EXPECT_EQ(p.alpha, 255);
            red += is(p, 122, 0, 0);
            black += is(p, 14, 14, 14);
            grey += is(p, 196, 196, 196);
            EXPECT_TRUE(is(p, 122, 0, 0) || is(p, 14, 14, 14) || is(p, 196, 196, 196) ||
                        is(p, 255, 255, 255))
                << x << "," << y;
        }
    }
    EXPECT_GT(red, 10);
    EXPECT_GT(black, 10);
    EXPECT_GT(grey, 0);
    EXPECT_TRUE(is(at(*mark, 0, 0), 255, 255, 255)) << "on white";
    EXPECT_TRUE(is(at(*mark, 4, 4), 122, 0, 0)) << "a red middle";

    // Every call reads again and hands over a bitmap of its own.
    std::unique_ptr<BBitmap> again(RetrieveBitmap("op.trg_bitmap"));
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again.get(), mark.get());
    EXPECT_EQ(memcmp(again->Bits(), mark->Bits(), size_t(mark->BitsLength())), 0);
}

TEST(Bitmaps, OtherNamesAndOtherTypesGiveNothing)
{
    EXPECT_EQ(RetrieveBitmap("purple.trg_bitmap"), nullptr);
    EXPECT_EQ(RetrieveBitmap("BEOS:APP_SIG"), nullptr) << "a resource, but not a bitmap";
    EXPECT_EQ(RetrieveBitmap("OP.TRG_BITMAP"), nullptr);
    EXPECT_EQ(RetrieveBitmap(""), nullptr);
    EXPECT_EQ(RetrieveBitmap(nullptr), nullptr);

    const app_resource* signature = find_app_resource('MIMS', "BEOS:APP_SIG");
    ASSERT_NE(signature, nullptr);
    EXPECT_EQ(signature->size, 21u);
    EXPECT_STREQ(static_cast<const char*>(signature->data), "application/x-Pelmor");
    const app_resource* large = find_app_resource('ICON', "BEOS:L:STD_ICON");
    const app_resource* small = find_app_resource('MICN', "BEOS:M:STD_ICON");
    ASSERT_NE(large, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(large->size, 1024u);
    EXPECT_EQ(small->size, 256u);
    EXPECT_EQ(large->id, 101);
    const app_resource* version = find_app_resource('APPV', "BEOS:APP_VERSION");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->size, 680u);
}

TEST(Bitmaps, ABitmapResourceIsTheArchivedBitmap)
{
    const app_resource* resource = find_app_resource('RAWT', "op.trg_bitmap");
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(resource->id, 3);
    BMessage archive;
    ASSERT_EQ(archive.Unflatten(static_cast<const char*>(resource->data), ssize_t(resource->size)),
              B_OK);
    EXPECT_EQ(archive.what, uint32('ARCV'));
    EXPECT_STREQ(archive.GetString("class"), "BBitmap");
    BRect frame;
    ASSERT_EQ(archive.FindRect("_frame", &frame), B_OK);
    EXPECT_EQ(frame, BRect(0, 0, 8, 8));
    EXPECT_EQ(archive.GetInt32("_cspace", 0), 8);
    const void* data = nullptr;
    ssize_t size = 0;
    ASSERT_EQ(archive.FindData("_data", B_RAW_TYPE, &data, &size), B_OK);
    EXPECT_EQ(size, 324);
    bool contiguous = true;
    ASSERT_EQ(archive.FindBool("_contiguous", &contiguous), B_OK);
    EXPECT_FALSE(contiguous);
}

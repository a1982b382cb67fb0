// Golden images of text-free drawing, and the structure of drawn text.

#include <gtest/gtest.h>

#include <cairo.h>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>

#include <Bitmap.h>

#include "InterfaceTestSupport.h"

namespace
{

const rgb_color kBackground = {220, 220, 220, 255};

// A view that draws whatever the test gives it.
class Canvas : public BView
{
public:
    explicit Canvas(BRect frame, std::function<void(BView*)> paint)
        : BView(frame, "canvas", B_FOLLOW_ALL_SIDES, B_WILL_DRAW), fPaint(std::move(paint))
    {
        SetViewColor(kBackground);
    }
    void Draw(BRect) override { fPaint(this); }

private:
    std::function<void(BView*)> fPaint;
};

class Drawing : public testing::Test
{
protected:
    void SetUp() override { driver = std::make_unique<TestDriver>(make_test_app); }
    void TearDown() override { driver.reset(); }

    // Draws into a fresh 40 x 30 window and returns it once presented.
    BWindow* Paint(std::function<void(BView*)> paint, BRect frame = BRect(0, 0, 39, 29))
    {
        auto* window = new BWindow(frame, "Canvas", B_TITLED_WINDOW, 0);
        window->AddChild(new Canvas(window->Bounds(), std::move(paint)));
        window->Show();
        EXPECT_TRUE(driver->WaitIdle());
        return window;
    }

    // Compares the window's top-left corner with a picture: one character
    // a pixel, each standing for the colour the legend gives it.
    void ExpectPicture(BWindow* window, const std::vector<std::string>& rows,
                       const std::map<char, rgb_color>& legend)
    {
        for (size_t y = 0; y < rows.size(); y++) {
            for (size_t x = 0; x < rows[y].size(); x++) {
                rgb_color want = legend.at(rows[y][x]);
                rgb_color got = driver->Pixel(window, int32(x), int32(y));
                EXPECT_TRUE(got.red == want.red && got.green == want.green && got.blue == want.blue)
                    << "pixel (" << x << ", " << y << ") is " << int(got.red) << ","
                    << int(got.green) << "," << int(got.blue) << ", want '" << rows[y][x] << "'";
            }
        }
    }

    std::unique_ptr<TestDriver> driver;
};

// The program's bevel: light top and left, dark right and bottom (or the
// reverse, sunken), the dark lines starting one pixel in.
void bevel(BView* view, BRect r, bool sunken)
{
    const rgb_color light = {255, 255, 255, 0}, dark = {172, 172, 172, 0};
    rgb_color high = view->HighColor(), low = view->LowColor();
    view->SetHighColor(sunken ? dark : light);
    view->SetLowColor(sunken ? light : dark);
    view->StrokeLine(r.LeftBottom(), r.LeftTop(), B_SOLID_HIGH);
    view->StrokeLine(r.LeftTop(), r.RightTop(), B_SOLID_HIGH);
    r.left++;
    r.top++;
    view->StrokeLine(r.RightTop(), r.RightBottom(), B_SOLID_LOW);
    view->StrokeLine(r.RightBottom(), r.LeftBottom(), B_SOLID_LOW);
    view->SetHighColor(high);
    view->SetLowColor(low);
}

const std::map<char, rgb_color> kBevelLegend = {
    {'W', {255, 255, 255, 255}}, {'g', {172, 172, 172, 255}}, {'.', kBackground}};

} // namespace

TEST_F(Drawing, ARaisedBevelLightsExactlyItsPixels)
{
    BWindow* window = Paint([](BView* view) { bevel(view, BRect(0, 0, 10, 10), false); });
    ExpectPicture(window,
                  {
                      "WWWWWWWWWWW.",
                      "W.........g.",
                      "W.........g.",
                      "W.........g.",
                      "W.........g.",
                      "W.........g.",
                      "W.........g.",
                      "W.........g.",
                      "W.........g.",
                      "W.........g.",
                      "Wgggggggggg.",
                      "............",
                  },
                  kBevelLegend);
}

TEST_F(Drawing, ASunkenBevelIsTheReverse)
{
    BWindow* window = Paint([](BView* view) { bevel(view, BRect(2, 1, 6, 5), true); });
    ExpectPicture(window,
                  {
                      "........",
                      "..ggggg.",
                      "..g...W.",
                      "..g...W.",
                      "..g...W.",
                      "..gWWWW.",
                      "........",
                  },
                  kBevelLegend);
}

TEST_F(Drawing, RectanglesAndLinesIncludeBothEnds)
{
    BWindow* window = Paint([](BView* view) {
        view->SetHighColor(0, 0, 0);
        view->FillRect(BRect(1, 1, 3, 2));
        view->SetHighColor(255, 0, 0);
        view->StrokeRect(BRect(5, 0, 8, 3));
        view->SetHighColor(0, 0, 255);
        view->MovePenTo(BPoint(0, 5));
        view->StrokeLine(BPoint(3, 8)); // from the pen, a diagonal
        view->StrokeLine(BPoint(6, 8)); // continues from where it ended
        view->SetLowColor(0, 255, 0);
        view->FillRect(BRect(8, 6, 8, 6), B_SOLID_LOW);
    });
    ExpectPicture(window,
                  {
                      ".....rrrr",
                      ".kkk.r..r",
                      ".kkk.r..r",
                      ".....rrrr",
                      ".........",
                      "b........",
                      ".b......G",
                      "..b......",
                      "...bbbb..",
                      ".........",
                  },
                  {{'.', kBackground},
                   {'k', {0, 0, 0, 255}},
                   {'r', {255, 0, 0, 255}},
                   {'b', {0, 0, 255, 255}},
                   {'G', {0, 255, 0, 255}}});
}

TEST_F(Drawing, DrawingModesActPerPixel)
{
    BWindow* window = Paint([](BView* view) {
        // Copy ignores the colour's alpha: the program draws with alpha 0.
        view->SetHighColor(250, 250, 250, 0);
        view->FillRect(BRect(0, 0, 1, 1));
        view->SetDrawingMode(B_OP_OVER);
        view->SetHighColor(10, 20, 30, 0);
        view->FillRect(BRect(2, 0, 3, 1));
        view->SetDrawingMode(B_OP_INVERT);
        view->FillRect(BRect(4, 0, 5, 1)); // over the background
        view->FillRect(BRect(0, 0, 0, 1)); // over the copied pixels
        view->SetDrawingMode(B_OP_SUBTRACT);
        view->SetHighColor(30, 30, 30, 255);
        view->FillRect(BRect(6, 0, 7, 1));
        view->SetHighColor(250, 0, 0, 255);
        view->FillRect(BRect(8, 0, 8, 1)); // clamps at zero
        view->SetDrawingMode(B_OP_COPY);
    });
    ExpectPicture(window, {"ICOOXXSSZ.", "ICOOXXSSZ."},
                  {{'.', kBackground},
                   {'C', {250, 250, 250, 255}},
                   {'I', {5, 5, 5, 255}},
                   {'O', {10, 20, 30, 255}},
                   {'X', {35, 35, 35, 255}},
                   {'S', {190, 190, 190, 255}},
                   {'Z', {0, 220, 220, 255}}});
}

TEST_F(Drawing, ThickLinesAndClippingToTheView)
{
    auto* window = new BWindow(BRect(0, 0, 39, 29), "Clip", B_TITLED_WINDOW, 0);
    auto* inner = new Canvas(BRect(2, 2, 5, 5), [](BView* view) {
        view->SetHighColor(0, 0, 0);
        view->FillRect(BRect(-10, -10, 100, 100)); // far beyond its bounds
    });
    auto* outer = new Canvas(window->Bounds(), [](BView* view) {
        view->SetHighColor(255, 0, 0);
        view->SetPenSize(3);
        view->StrokeLine(BPoint(10, 1), BPoint(14, 1));
    });
    window->AddChild(outer);
    outer->AddChild(inner);
    window->Show();
    ASSERT_TRUE(driver->WaitIdle());
    ExpectPicture(window,
                  {
                      ".........",
                      ".........",
                      "..kkkk...",
                      "..kkkk...",
                      "..kkkk...",
                      "..kkkk...",
                      ".........",
                  },
                  {{'.', kBackground}, {'k', {0, 0, 0, 255}}});
    // A three-pixel pen covers three rows around the line and reaches a
    // pixel past each end.
    for (int x = 9; x <= 15; x++) {
        for (int y = 0; y <= 2; y++) {
            rgb_color c = driver->Pixel(window, x, y);
            EXPECT_EQ(c.red, 255) << x << "," << y;
            EXPECT_EQ(c.green, 0) << x << "," << y;
        }
    }
    EXPECT_EQ(driver->Pixel(window, 16, 1).red, kBackground.red);
    EXPECT_EQ(driver->Pixel(window, 12, 3).red, kBackground.red);
}

TEST_F(Drawing, BitmapsDrawTheirPixels)
{
    BBitmap bitmap(BRect(0, 0, 2, 1), B_RGB32);
    ASSERT_TRUE(bitmap.IsValid());
    EXPECT_EQ(bitmap.BytesPerRow(), 12);
    uint32 pixels[6] = {0xff0000ff,
                        0xff00ff00,
                        0xffff0000, // blue, green, red
                        B_TRANSPARENT_MAGIC_RGBA32,
                        0x00000000,
                        0xffffffff};
    bitmap.SetBits(pixels, sizeof(pixels), 0, B_RGB32);

    // Archived and made again, as resources are loaded.
    BMessage archive;
    ASSERT_EQ(bitmap.Archive(&archive), B_OK);
    BArchivable* object = instantiate_object(&archive);
    auto* copy = dynamic_cast<BBitmap*>(object);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Bounds(), BRect(0, 0, 2, 1));
    EXPECT_EQ(memcmp(copy->Bits(), pixels, sizeof(pixels)), 0);
    BMessage notABitmap;
    notABitmap.AddString("class", "BSomethingElse");
    EXPECT_EQ(instantiate_object(&notABitmap), nullptr);

    BWindow* window = Paint([copy](BView* view) {
        view->DrawBitmap(copy, BPoint(1, 1));
        view->SetDrawingMode(B_OP_OVER);
        view->DrawBitmap(copy, BPoint(5, 1)); // the magic pixel stays out
        view->SetDrawingMode(B_OP_COPY);
        view->DrawBitmap(copy, BRect(0, 5, 5, 8)); // scaled by two
    });
    ExpectPicture(window,
                  {
                      "..........",
                      ".BGR.BGR..",
                      ".MKW..KW..",
                      "..........",
                      "..........",
                      "BBGGRR....",
                      "BBGGRR....",
                      "MMKKWW....",
                      "MMKKWW....",
                  },
                  {{'.', kBackground},
                   {'B', {0, 0, 255, 255}},
                   {'G', {0, 255, 0, 255}},
                   {'R', {255, 0, 0, 255}},
                   {'M', {0x74, 0x77, 0x00, 255}},
                   {'K', {0, 0, 0, 255}},
                   {'W', {255, 255, 255, 255}}});
    delete copy;
}

TEST_F(Drawing, TextAdvancesThePenAndStaysBetweenAscentAndDescent)
{
    float advance = 0, width = 0;
    font_height height{};
    BWindow* window = Paint(
        [&](BView* view) {
            BFont font(be_plain_font);
            font.SetFlags(B_DISABLE_ANTIALIASING);
            view->SetFont(&font);
            view->GetFontHeight(&height);
            view->SetHighColor(0, 0, 0);
            view->MovePenTo(BPoint(2, 20));
            view->DrawString("Hello");
            width = view->StringWidth("Hello");
            advance = view->PenLocation().x - 2;
        },
        BRect(0, 0, 59, 29));
    EXPECT_EQ(height.ascent, 10);
    EXPECT_EQ(height.descent, 3);
    EXPECT_EQ(advance, width);
    EXPECT_GT(width, 20);
    int dark = 0;
    for (int y = 0; y < 30; y++) {
        for (int x = 0; x < 60; x++) {
            rgb_color c = driver->Pixel(window, x, y);
            bool background = c.red == kBackground.red && c.green == kBackground.green;
            bool black = c.red == 0 && c.green == 0 && c.blue == 0;
            EXPECT_TRUE(background || black) << "a partial pixel at " << x << "," << y;
            if (black) {
                dark++;
                EXPECT_GE(y, 20 - 10) << "above the ascent";
                EXPECT_LE(y, 20 + 3) << "below the descent";
                EXPECT_GE(x, 2);
                EXPECT_LT(x, 2 + int(std::ceil(width)) + 1);
            }
        }
    }
    EXPECT_GT(dark, 20) << "the text was drawn";
}

// Scale 2, a high-resolution desktop played by the headless display: the
// same layout in points, twice the device pixels each way, input in points.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include <Bitmap.h>
#include <DisplayServer.h>
#include <HeadlessBackend.h>
#include <Screen.h>
#include <TextView.h>

#include "InterfaceTestSupport.h"

using BPrivate::DisplayServer;
using BPrivate::HeadlessBackend;
using BPrivate::NativeEvent;

namespace
{

const rgb_color kBackground = {220, 220, 220, 255};

class Canvas : public BView
{
public:
    Canvas(BRect frame, const char* name, std::function<void(BView*)> paint)
        : BView(frame, name, B_FOLLOW_NONE, B_WILL_DRAW), fPaint(std::move(paint))
    {
        SetViewColor(kBackground);
    }
    void Draw(BRect) override { fPaint(this); }

private:
    std::function<void(BView*)> fPaint;
};

// A window's pixels as presented, 0xAARRGGBB.
struct Shot {
    int32 width = 0, height = 0;
    std::vector<uint32> pixels;
    uint32 At(int32 x, int32 y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    bool Dark(int32 x, int32 y) const
    {
        uint32 p = At(x, y);
        return ((p >> 16) & 0xff) < 110 && ((p >> 8) & 0xff) < 110 && (p & 0xff) < 110;
    }
};

// Runs an application at `scale`, shows a window of `frame` whose one view
// paints with `paint`, and takes its pixels once presented.
Shot Render(int32 scale, const std::function<void(BView*)>& paint,
            BRect frame = BRect(0, 0, 39, 29), const std::function<void(BWindow*)>& more = {})
{
    TestDriver driver(make_test_app, TestDriver::kHeadless, scale);
    auto* window = new BWindow(frame, "Canvas", B_TITLED_WINDOW, 0);
    auto* canvas = new Canvas(window->Bounds(), "canvas", paint);
    window->AddChild(canvas);
    if (more)
        more(window);
    window->Show();
    Shot shot;
    EXPECT_TRUE(driver.WaitIdle());
    EXPECT_TRUE(driver.Pixels(window, &shot.pixels, &shot.width, &shot.height));
    return shot;
}

// The program's bevel: light top and left, dark right and bottom, the dark
// lines starting one pixel in.
void bevel(BView* view, BRect r)
{
    view->SetHighColor(255, 255, 255);
    view->StrokeLine(r.LeftBottom(), r.LeftTop());
    view->StrokeLine(r.LeftTop(), r.RightTop());
    r.left++;
    r.top++;
    view->SetHighColor(172, 172, 172);
    view->StrokeLine(r.RightTop(), r.RightBottom());
    view->StrokeLine(r.RightBottom(), r.LeftBottom());
}

// Everything the toolkit draws exactly: lines, bevels, rectangles, the
// per-pixel modes, patterns, bitmaps, and a child clipped to its frame.
void exact_scene(BView* view)
{
    bevel(view, BRect(0, 0, 12, 9));
    view->SetHighColor(0, 0, 0);
    view->FillRect(BRect(2, 2, 4, 3));
    view->SetHighColor(255, 0, 0);
    view->StrokeRect(BRect(14, 0, 19, 4));
    view->SetHighColor(0, 0, 255);
    view->StrokeLine(BPoint(20, 6), BPoint(27, 9)); // a diagonal
    view->SetHighColor(0, 128, 0);
    view->SetLowColor(255, 255, 0);
    view->FillRect(BRect(28, 0, 37, 5), B_MIXED_COLORS);
    view->SetDrawingMode(B_OP_INVERT);
    view->FillRect(BRect(3, 3, 9, 6)); // across the black and the grey
    view->SetDrawingMode(B_OP_SUBTRACT);
    view->SetHighColor(60, 10, 200);
    view->FillRect(BRect(15, 6, 18, 12));
    view->SetDrawingMode(B_OP_COPY);

    BBitmap bitmap(BRect(0, 0, 2, 1), B_RGB32);
    uint32 bits[6] = {0xff0000ff, 0xff00ff00, 0xffff0000, 0xff000000, 0xffffffff, 0xff808080};
    bitmap.SetBits(bits, sizeof(bits), 0, B_RGB32);
    view->DrawBitmap(&bitmap, BPoint(1, 12));
    view->DrawBitmap(&bitmap, BRect(5, 12, 10, 15)); // scaled up by two
}

void exact_child(BWindow* window)
{
    window->ChildAt(0)->AddChild(new Canvas(BRect(22, 14, 27, 17), "child", [](BView* view) {
        view->SetHighColor(90, 40, 10);
        view->FillRect(BRect(-20, -20, 100, 100)); // far beyond its bounds
        view->SetHighColor(250, 250, 250);
        view->StrokeLine(BPoint(1, 1), BPoint(3, 1));
    }));
}

// Pixels of `shot` that are not the colour of the point of `base` they lie in.
int DoubledMismatches(const Shot& base, const Shot& shot, std::string* first)
{
    int mismatches = 0;
    for (int32 y = 0; y < shot.height; y++) {
        for (int32 x = 0; x < shot.width; x++) {
            if (shot.At(x, y) == base.At(x / 2, y / 2))
                continue;
            if (mismatches++ == 0) {
                char text[120];
                snprintf(text, sizeof(text), "device pixel (%d, %d) is %08x, its point %08x", x, y,
                         shot.At(x, y), base.At(x / 2, y / 2));
                *first = text;
            }
        }
    }
    return mismatches;
}

} // namespace

TEST(HiDpi, TextFreeDrawingIsTheScaleOnePictureDoubled)
{
    Shot one = Render(1, exact_scene, BRect(0, 0, 39, 29), exact_child);
    Shot two = Render(2, exact_scene, BRect(0, 0, 39, 29), exact_child);
    ASSERT_EQ(one.width, 40);
    ASSERT_EQ(one.height, 30);
    ASSERT_EQ(two.width, 80);
    ASSERT_EQ(two.height, 60);
    std::string first;
    EXPECT_EQ(DoubledMismatches(one, two, &first), 0) << first;
}

TEST(HiDpi, ABevelIsTwoDevicePixelsWideWithoutFringe)
{
    Shot shot = Render(2, [](BView* view) { bevel(view, BRect(1, 1, 4, 3)); });
    const std::vector<std::string> rows = {
        "............", "............", "..WWWWWWWW..", "..WWWWWWWW..", "..WW....gg..",
        "..WW....gg..", "..WWgggggg..", "..WWgggggg..", "............", "............",
    };
    const std::map<char, uint32> legend = {{'W', 0xffffffff}, {'g', 0xffacacac}, {'.', 0xffdcdcdc}};
    for (size_t y = 0; y < rows.size(); y++) {
        for (size_t x = 0; x < rows[y].size(); x++) {
            EXPECT_EQ(shot.At(int32(x), int32(y)), legend.at(rows[y][x]))
                << "device pixel (" << x << ", " << y << ") should be '" << rows[y][x] << "'";
        }
    }
}

namespace
{

// Fills, outside Draw(), the point it was pressed at; counts its updates.
class Board : public BView
{
public:
    explicit Board(BRect frame) : BView(frame, "board", B_FOLLOW_NONE, B_WILL_DRAW)
    {
        SetViewColor(kBackground);
    }
    void Draw(BRect) override
    {
        SetHighColor(fColor);
        FillRect(BRect(2, 2, 7, 5));
    }
    void MouseDown(BPoint where) override
    {
        pressed = where;
        SetHighColor(0, 0, 0);
        FillRect(BRect(where, where));
    }
    rgb_color fColor = {0, 0, 255, 255};
    BPoint pressed{-1, -1};
};

} // namespace

TEST(HiDpi, UpdatesAndDrawingOutsideThemCoverWholeDevicePixels)
{
    TestDriver driver(make_test_app, TestDriver::kHeadless, 2);
    auto* window = new BWindow(BRect(0, 0, 19, 9), "Board", B_TITLED_WINDOW, 0);
    auto* board = new Board(window->Bounds());
    window->AddChild(board);
    window->Show();
    ASSERT_TRUE(driver.WaitIdle());
    Shot before;
    ASSERT_TRUE(driver.Pixels(window, &before.pixels, &before.width, &before.height));

    // Only the invalidated points are drawn again, in the new colour.
    driver.Locked(window, [&] {
        board->fColor = rgb_color{255, 0, 0, 255};
        board->Invalidate(BRect(4, 3, 5, 4));
    });
    ASSERT_TRUE(driver.WaitIdle());
    // A press at device pixel (31, 15) is in point (15, 7).
    NativeEvent press;
    press.type = NativeEvent::MOUSE_DOWN;
    press.window = window->_ServerId();
    press.x = 31;
    press.y = 15;
    press.buttons = B_PRIMARY_MOUSE_BUTTON;
    static_cast<HeadlessBackend*>(DisplayServer::Get()->Backend())->Inject(press);
    ASSERT_TRUE(driver.WaitIdle());
    EXPECT_EQ(driver.Locked(window, [&] { return board->pressed; }), BPoint(15, 7));

    Shot after;
    ASSERT_TRUE(driver.Pixels(window, &after.pixels, &after.width, &after.height));
    ASSERT_EQ(after.width, 40);
    for (int32 y = 0; y < after.height; y++) {
        for (int32 x = 0; x < after.width; x++) {
            uint32 want = before.At(x, y);
            if (x >= 8 && x <= 11 && y >= 6 && y <= 9)
                want = 0xffff0000;
            else if (x >= 30 && x <= 31 && y >= 14 && y <= 15)
                want = 0xff000000;
            EXPECT_EQ(after.At(x, y), want) << "device pixel (" << x << ", " << y << ")";
        }
    }
}

TEST(HiDpi, InputArrivesInPointsAtTheViewUnderIt)
{
    TestDriver driver(make_test_app, TestDriver::kHeadless, 2);
    auto* window = new BWindow(BRect(10, 20, 309, 219), "Input", B_TITLED_WINDOW, 0);
    auto* left = new RecordingView(BRect(0, 0, 99, 199), "left");
    auto* right = new RecordingView(BRect(100, 0, 299, 199), "right");
    window->AddChild(left);
    window->AddChild(right);
    window->Show();
    ASSERT_TRUE(driver.WaitIdle());
    left->Clear();
    right->Clear();

    auto* backend = static_cast<HeadlessBackend*>(DisplayServer::Get()->Backend());
    auto click = [&](float x, float y) {
        NativeEvent event;
        event.window = window->_ServerId();
        event.x = x;
        event.y = y;
        event.type = NativeEvent::MOUSE_DOWN;
        event.buttons = B_PRIMARY_MOUSE_BUTTON;
        backend->Inject(event);
        event.type = NativeEvent::MOUSE_UP;
        event.buttons = 0;
        backend->Inject(event);
        EXPECT_TRUE(driver.WaitIdle());
    };
    // Device pixels 200 and 201 are both point 100, the right view's first
    // column; 199 is still the left view's last.
    click(200, 100);
    click(201, 101);
    click(199, 100);
    EXPECT_EQ(right->Events(),
              (std::vector<std::string>{"down 0,50 1", "up 0,50", "down 0,50 1", "up 0,50"}));
    EXPECT_EQ(left->Events(), (std::vector<std::string>{"down 99,50 1", "up 99,50"}));

    // The driver takes points; the pointer the views read is in points too.
    right->Clear();
    driver.Click(window, BPoint(150, 60));
    ASSERT_TRUE(driver.WaitIdle());
    EXPECT_EQ(right->Events(), (std::vector<std::string>{"down 50,60 1", "up 50,60"}));
    BPoint screen;
    uint32 buttons;
    DisplayServer::Get()->GetPointer(&screen, &buttons);
    EXPECT_EQ(screen, BPoint(160, 80));
}

TEST(HiDpi, FramesAreInPointsAndTheBackendGetsDevicePixels)
{
    TestDriver driver(make_test_app, TestDriver::kHeadless, 2);
    auto* window = new BWindow(BRect(30, 40, 229, 139), "Frames", B_TITLED_WINDOW, 0);
    window->Show();
    ASSERT_TRUE(driver.WaitIdle());
    EXPECT_EQ(BScreen(window).Frame(), BRect(0, 0, 1023, 767));

    auto* backend = static_cast<HeadlessBackend*>(DisplayServer::Get()->Backend());
    int32 id = window->_ServerId();
    auto spec = [&] {
        HeadlessBackend::WindowState state;
        EXPECT_TRUE(backend->State(id, &state));
        return std::vector<int32>{state.spec.left,   state.spec.top, state.spec.width,
                                  state.spec.height, state.width,    state.height};
    };
    EXPECT_EQ(spec(), (std::vector<int32>{60, 80, 400, 200, 400, 200}));

    driver.Locked(window, [&] {
        window->MoveTo(50, 60);
        window->ResizeTo(99, 49);
    });
    ASSERT_TRUE(driver.WaitIdle());
    EXPECT_EQ(spec(), (std::vector<int32>{100, 120, 200, 100, 200, 100}));

    // The desktop moves and sizes it in device pixels; an odd size rounds
    // up, so that the back buffer covers the whole window.
    NativeEvent moved;
    moved.type = NativeEvent::WINDOW_MOVED;
    moved.window = id;
    moved.x = 41;
    moved.y = 61;
    backend->Inject(moved);
    NativeEvent resized;
    resized.type = NativeEvent::WINDOW_RESIZED;
    resized.window = id;
    resized.width = 301;
    resized.height = 200;
    backend->Inject(resized);
    ASSERT_TRUE(driver.WaitIdle());
    EXPECT_EQ(driver.Locked(window, [&] { return window->Frame(); }), BRect(20, 30, 170, 129));
    std::vector<uint32> pixels;
    int32 width = 0, height = 0;
    ASSERT_TRUE(driver.Pixels(window, &pixels, &width, &height));
    EXPECT_EQ(width, 302);
    EXPECT_EQ(height, 200);
}

namespace
{

struct TextShot {
    Shot shot;
    float width = 0;
    font_height height{};
    float lineHeight = 0;
    BRect ink; // the dark pixels' bounding box, in device pixels
};

TextShot RenderText(int32 scale, bool antialiased)
{
    TextShot result;
    result.shot = Render(
        scale,
        [&](BView* view) {
            BFont font(be_plain_font);
            if (!antialiased)
                font.SetFlags(B_DISABLE_ANTIALIASING);
            view->SetFont(&font);
            view->SetHighColor(0, 0, 0);
            view->DrawString("Hello, world", BPoint(4, 20));
            result.width = view->StringWidth("Hello, world");
            view->GetFontHeight(&result.height);
        },
        BRect(0, 0, 99, 39),
        [&](BWindow* window) {
            auto* text = new BTextView(BRect(0, 30, 99, 39), "text", BRect(0, 0, 99, 9),
                                       B_FOLLOW_NONE, B_WILL_DRAW);
            text->SetText("one\ntwo");
            window->AddChild(text);
            result.lineHeight = text->LineHeight(0);
        });
    const Shot& shot = result.shot;
    int32 left = shot.width, top = shot.height, right = -1, bottom = -1;
    // Above the text view, which draws a line too.
    for (int32 y = 0; y < 30 * scale; y++) {
        for (int32 x = 0; x < shot.width; x++) {
            if (!shot.Dark(x, y))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    result.ink = BRect(float(left), float(top), float(right), float(bottom));
    return result;
}

} // namespace

TEST(HiDpi, TextKeepsItsLayoutInPointsAndDrawsAtDeviceResolution)
{
    for (bool antialiased : {true, false}) {
        SCOPED_TRACE(antialiased ? "anti-aliased" : "without anti-aliasing");
        TextShot one = RenderText(1, antialiased);
        TextShot two = RenderText(2, antialiased);
        ASSERT_TRUE(one.ink.IsValid());
        ASSERT_TRUE(two.ink.IsValid());

        // The same metrics in points.
        EXPECT_EQ(two.width, one.width);
        EXPECT_EQ(two.height.ascent, 10);
        EXPECT_EQ(two.height.descent, 3);
        EXPECT_EQ(two.lineHeight, 13);
        EXPECT_EQ(two.lineHeight, one.lineHeight);

        // Twice the ink each way, within hinting's pixel or two, and in the
        // same place once halved.
        EXPECT_NEAR(two.ink.Width() + 1, 2 * (one.ink.Width() + 1), 3);
        EXPECT_NEAR(two.ink.Height() + 1, 2 * (one.ink.Height() + 1), 3);
        EXPECT_NEAR(two.ink.left, 2 * one.ink.left, 2);
        EXPECT_NEAR(two.ink.top, 2 * one.ink.top, 2);

        const Shot& shot = two.shot;
        if (!antialiased) {
            int partial = 0;
            for (int32 y = 0; y < 60; y++) {
                for (int32 x = 0; x < shot.width; x++)
                    partial += shot.At(x, y) != 0xff000000 && shot.At(x, y) != 0xffdcdcdc;
            }
            EXPECT_EQ(partial, 0) << "pixels neither black nor background";
        }

        // Drawn at the device's resolution, not enlarged: some 2 x 2 block
        // of device pixels is not of one colour.
        int split = 0;
        for (int32 y = 0; y + 1 < 60; y += 2) {
            for (int32 x = 0; x + 1 < shot.width; x += 2) {
                uint32 p = shot.At(x, y);
                split +=
                    shot.At(x + 1, y) != p || shot.At(x, y + 1) != p || shot.At(x + 1, y + 1) != p;
            }
        }
        EXPECT_GT(split, 20);
    }
}

// Tries the toolkit on a real desktop: two windows with bevels, text in
// several colours and fonts, a bitmap, and a view that follows a drag.
//
//   toolkit-demo                 opens the windows (SDL2: X11 or Wayland)
//   toolkit-demo --snapshot DIR  draws them headless and saves DIR/*.png
//   toolkit-demo --snapshot DIR --scale 2
//                                the same on a high-resolution display

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <AppDefs.h>
#include <Application.h>
#include <Bitmap.h>
#include <DisplayInit.h>
#include <Font.h>
#include <TestDriver.h>
#include <View.h>
#include <Window.h>

#include "Gallery.h"

namespace
{

const rgb_color kPanel = {220, 220, 220, 255};

void bevel(BView* view, BRect r, bool sunken)
{
    rgb_color light = {255, 255, 255, 255}, dark = {172, 172, 172, 255};
    view->SetHighColor(sunken ? dark : light);
    view->StrokeLine(r.LeftBottom(), r.LeftTop());
    view->StrokeLine(r.RightTop());
    view->SetHighColor(sunken ? light : dark);
    view->StrokeLine(BPoint(r.right, r.top + 1), r.RightBottom());
    view->StrokeLine(BPoint(r.left + 1, r.bottom));
}

class SamplerView : public BView
{
public:
    explicit SamplerView(BRect frame)
        : BView(frame, "sampler", B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_FRAME_EVENTS),
          fBitmap(BRect(0, 0, 15, 15), B_RGB32)
    {
        SetViewColor(kPanel);
        // A small shaded disc.
        auto* bits = static_cast<uint8*>(fBitmap.Bits());
        for (int y = 0; y < 16; y++) {
            for (int x = 0; x < 16; x++) {
                uint8* p = bits + y * fBitmap.BytesPerRow() + x * 4;
                float d = std::hypot(x - 7.5f, y - 7.5f);
                bool inside = d < 7.5f;
                float shade = 1.0f - float(x + y) / 40.0f;
                p[0] = inside ? uint8(40 * shade) : 220;
                p[1] = inside ? uint8(200 * shade) : 220;
                p[2] = inside ? uint8(60 * shade) : 220;
                p[3] = 255;
            }
        }
    }

    void Draw(BRect) override
    {
        BRect bounds = Bounds();
        bevel(this, bounds, false);
        bevel(this, BRect(10, 10, 130, 40), true);
        bevel(this, BRect(140, 10, 260, 40), false);

        struct Line {
            const BFont* font;
            rgb_color color;
            const char* text;
        } lines[] = {
            {be_plain_font, {0, 0, 0, 255}, "Plain text in black"},
            {be_plain_font, {0, 0, 179, 255}, "Channel events in dark blue"},
            {be_plain_font, {178, 0, 0, 255}, "Your own lines in dark red"},
            {be_bold_font, {255, 0, 0, 255}, "Bold red for errors"},
            {be_fixed_font, {0, 0, 0, 255}, "Fixed: 0123456789"},
            {be_plain_font,
             {60, 60, 60, 255},
             "Unicode: caf\xC3\xA9 \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
             "\xE6\x97\xA5\xE6\x9C\xAC"},
        };
        float y = 62;
        for (const Line& line : lines) {
            SetFont(line.font);
            SetHighColor(line.color);
            DrawString(line.text, BPoint(12, y));
            y += 16;
        }
        SetFont(be_plain_font);
        DrawBitmap(&fBitmap, BPoint(bounds.right - 30, 60));
        SetDrawingMode(B_OP_INVERT);
        FillRect(BRect(bounds.right - 34, 90, bounds.right - 10, 100));
        SetDrawingMode(B_OP_COPY);
    }

    void FrameResized(float, float) override { Invalidate(); }

private:
    BBitmap fBitmap;
};

// A box that follows the pointer while a button is held on it.
class DragView : public BView
{
public:
    explicit DragView(BRect frame)
        : BView(frame, "drag", B_FOLLOW_ALL_SIDES, B_WILL_DRAW), fBox(20, 20, 69, 49)
    {
        SetViewColor(240, 240, 240);
    }

    void Draw(BRect) override
    {
        SetHighColor(0, 0, 0);
        DrawString("Drag the box", BPoint(8, Bounds().bottom - 8));
        SetHighColor(152, 203, 255);
        FillRect(fBox);
        bevel(this, fBox, false);
    }

    void MouseDown(BPoint where) override
    {
        if (!fBox.Contains(where))
            return;
        BPoint grab = where - fBox.LeftTop();
        uint32 buttons = 1;
        while (buttons != 0) {
            BPoint at;
            GetMouse(&at, &buttons);
            BRect moved = fBox.OffsetToCopy(at - grab);
            if (moved != fBox) {
                Invalidate(fBox);
                fBox = moved;
                Invalidate(fBox);
                Window()->UpdateIfNeeded();
            }
            snooze(20000);
        }
    }

private:
    BRect fBox;
};

class DemoWindow : public BWindow
{
public:
    DemoWindow(BRect frame, const char* title, BView* content)
        : BWindow(frame, title, B_DOCUMENT_WINDOW, 0)
    {
        content->ResizeTo(Bounds().Width(), Bounds().Height());
        AddChild(content);
    }
    bool QuitRequested() override
    {
        be_app->PostMessage(B_QUIT_REQUESTED);
        return true;
    }
};

class DemoApp : public BApplication
{
public:
    DemoApp() : BApplication("application/x-vnd.pelmor-toolkit-demo") {}
    void ReadyToRun() override
    {
        (new DemoWindow(BRect(60, 60, 379, 259), "Drawing", new SamplerView(BRect())))->Show();
        (new DemoWindow(BRect(400, 60, 619, 259), "Drag", new DragView(BRect())))->Show();
        make_gallery(BRect(60, 300, 579, 689))->Show();
    }
};

} // namespace

int main(int argc, char** argv)
{
    bool scaled = argc == 5 && strcmp(argv[3], "--scale") == 0 && strcmp(argv[4], "2") == 0;
    if ((argc == 3 || scaled) && strcmp(argv[1], "--snapshot") == 0) {
        TestDriver driver([] { return new DemoApp; }, TestDriver::kHeadless, scaled ? 2 : 1);
        driver.WaitIdle();
        for (const char* title : {"Drawing", "Drag", "Gallery"}) {
            BWindow* window = driver.FindWindow(title);
            std::string path = std::string(argv[2]) + "/" + title + ".png";
            if (window == nullptr || !driver.SavePNG(window, path)) {
                fprintf(stderr, "could not save %s (%s)\n", path.c_str(),
                        window == nullptr ? "no such window" : "nothing drawn");
                return 1;
            }
            printf("%s\n", path.c_str());
        }
        return 0;
    }
    DemoApp app;
    app.Run();
    return 0;
}

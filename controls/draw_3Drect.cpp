#include "draw_3Drect.h"

#include <View.h>

const rgb_color c_light = {255, 255, 255, 0};
const rgb_color c_dark = {172, 172, 172, 0};

namespace
{
const rgb_color sc_outline = {62, 62, 62, 0};
}

void draw_3Drect(BView* view, BRect r, bool sunken)
{
    const rgb_color high = view->HighColor(), low = view->LowColor();
    view->SetHighColor(sunken ? c_dark : c_light);
    view->SetLowColor(sunken ? c_light : c_dark);
    view->StrokeLine(r.LeftBottom(), r.LeftTop(), B_SOLID_HIGH);
    view->StrokeLine(r.LeftTop(), r.RightTop(), B_SOLID_HIGH);
    // The dark edges start one pixel in, so they keep the light corners.
    r.left += 1;
    r.top += 1;
    view->StrokeLine(r.RightTop(), r.RightBottom(), B_SOLID_LOW);
    view->StrokeLine(r.RightBottom(), r.LeftBottom(), B_SOLID_LOW);
    view->SetHighColor(high);
    view->SetLowColor(low);
}

void draw_frame(BView* view, BRect r, bool sunken)
{
    const rgb_color high = view->HighColor();
    view->SetHighColor(sc_outline);
    view->StrokeRect(r);
    view->SetHighColor(high);
    draw_3Drect(view, r.InsetByCopy(1, 1), sunken);
}

#pragma once

// The one-pixel bevel and the outlined bevel of every custom-drawn view:
// raised is light at the top and left and grey at the right and bottom,
// sunken the reverse. They draw with the view's pen size and leave its
// colours as they were.

#include <GraphicsDefs.h>
#include <Rect.h>

class BView;

extern const rgb_color c_light;
extern const rgb_color c_dark;

void draw_3Drect(BView* view, BRect r, bool sunken);
// A dark outline on `r` with a bevel just inside it.
void draw_frame(BView* view, BRect r, bool sunken);

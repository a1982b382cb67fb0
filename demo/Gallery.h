#pragma once

#include <Rect.h>

class BWindow;

// A window with one of every standard control.
BWindow* make_gallery(BRect frame);

#pragma once

#include <GraphicsDefs.h>
#include <Rect.h>

class BWindow;

struct screen_id {
    int32 id;
};
extern const screen_id B_MAIN_SCREEN_ID;

// The screen a window is on, or the main screen.
class BScreen
{
public:
    explicit BScreen(screen_id id = B_MAIN_SCREEN_ID);
    explicit BScreen(BWindow* window);
    ~BScreen();

    bool IsValid() const { return true; }
    status_t SetToNext() { return B_ERROR; }
    BRect Frame() const { return fFrame; }
    color_space ColorSpace() const { return B_RGB32; }

private:
    BRect fFrame;
};

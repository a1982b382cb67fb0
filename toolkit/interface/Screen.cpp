#include "Screen.h"

#include <DisplayServer.h>

#include "DisplayInit.h"
#include "Window.h"

const screen_id B_MAIN_SCREEN_ID = {0};

BScreen::BScreen(screen_id)
{
    fFrame = BPrivate::display()->ScreenFrame(BPoint(0, 0));
}

BScreen::BScreen(BWindow* window)
{
    BPoint near = window != nullptr ? window->Frame().LeftTop() : BPoint(0, 0);
    fFrame = BPrivate::display()->ScreenFrame(near);
}

BScreen::~BScreen() {}

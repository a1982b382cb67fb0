#pragma once

// The little the SDL backend asks of X11 itself. Kept apart so that Xlib's
// macros (None, Bool, Window ...) stay out of the backend's code.

#include <SDL.h>

namespace BPrivate::Sdl2
{

// The X display connection behind an SDL window, or null when SDL does not
// run on X11 (or the backend was built without Xlib).
void* x11_display(SDL_Window* window);

// The pointer on the screen and the buttons held (bit 0 left, bit 1 right,
// bit 2 middle), straight from the X server.
bool x11_query_pointer(void* display, int* x, int* y, unsigned* buttons);

} // namespace BPrivate::Sdl2

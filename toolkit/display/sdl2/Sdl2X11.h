#pragma once

// The little the SDL backend asks of X11 itself. Kept apart so that Xlib's
// macros (None, Bool, Window ...) stay out of the backend's code.

struct SDL_Window;

#include "XSettings.h"

namespace BPrivate::Sdl2
{

// The X display connection behind an SDL window, or null when SDL does not
// run on X11 (or the backend was built without Xlib).
void* x11_display(SDL_Window* window);

// The pointer on the screen and the buttons held (bit 0 left, bit 1 right,
// bit 2 middle), straight from the X server.
bool x11_query_pointer(void* display, int* x, int* y, unsigned* buttons);

// The settings of the desktop's XSETTINGS manager, if one runs; false
// when none does or its settings cannot be read.
bool x11_xsettings(void* display, XSettingsValues* values);

// The desktop's Xft.dpi, from the resources it loaded into the X server
// (xrdb) as they were when the connection opened; 0 when none is set or
// SDL does not run on X11.
double x11_xft_dpi(void* display);
// The same, read from a resource manager string.
double xft_dpi_in(const char* resources);

// Makes X protocol errors survivable. Xlib's default ends the program on
// any of them, and SDL causes one on its own: it wakes its waiting thread
// with an event sent over a second connection to the window it waits on,
// which may be destroyed over the first connection before the server reads
// the event (the two connections are not ordered). That error is ignored;
// any other is reported on stderr, and the program goes on. Call it before
// SDL opens the display: SDL keeps the handler it finds and puts it back.
void x11_tolerate_errors();

// The descriptor of the display's connection, or -1.
int x11_connection(void* display);
// Xlib's XPending: reads what the connection has and counts the events
// queued, also those Xlib took in while it waited for a reply (SDL only
// looks at the socket and at what is queued already).
int x11_pending(void* display);

// A backstop for a connection that breaks inside an Xlib call (the server
// ended between our look at the socket and the call): Xlib then calls its
// I/O error handler and ends the process when that returns. The handler
// installed here calls `broken` with the display first; a `broken` that
// takes the display as its own does not return. For other displays, or
// when it returns, the handler found before takes over (Xlib's own: a
// message and exit(1)). Any thread; the latest `broken` counts.
void x11_on_broken_connection(void (*broken)(void* display));

} // namespace BPrivate::Sdl2

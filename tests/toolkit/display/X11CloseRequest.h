#pragma once

// What a window manager does when a window's close box is clicked: a
// WM_DELETE_WINDOW request to the window, sent through the X server.
// Apart from X11TestSupport.h, whose other users do not link Xlib.

#include <X11/Xlib.h>

namespace x11_test
{

inline void SendCloseRequest(unsigned long window)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);
}

} // namespace x11_test

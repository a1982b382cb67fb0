#pragma once

// Which display the toolkit talks to. The first window asks for it: SDL2 on
// a real desktop, or the headless backend when a test asked for it first.

#include <SupportDefs.h>

namespace BPrivate
{

class DisplayServer;

// The display server, started on first use. Without a display to open (no
// X11 or Wayland), it says so on standard error and ends the process: a
// desktop client has nothing to show then.
DisplayServer* display();
// Makes display() start the headless backend, with `scale` device pixels
// to a point (1 or 2); call before any window.
void use_headless_display(int32 scale = 1);

} // namespace BPrivate

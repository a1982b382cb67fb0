#pragma once

// The toolkit's modifier bits and the bytes of keys that have no text, as
// the SDL backend needs them. The values are the toolkit's own and must not
// change.

#include <SupportDefs.h>

namespace BPrivate::Sdl2
{

enum : uint32 {
    B_SHIFT_KEY = 0x1,
    B_COMMAND_KEY = 0x2,
    B_CONTROL_KEY = 0x4,
    B_CAPS_LOCK = 0x8,
    B_SCROLL_LOCK = 0x10,
    B_NUM_LOCK = 0x20,
    B_OPTION_KEY = 0x40,
    B_MENU_KEY = 0x80,
    B_LEFT_SHIFT_KEY = 0x100,
    B_RIGHT_SHIFT_KEY = 0x200,
    B_LEFT_COMMAND_KEY = 0x400,
    B_RIGHT_COMMAND_KEY = 0x800,
    B_LEFT_CONTROL_KEY = 0x1000,
    B_RIGHT_CONTROL_KEY = 0x2000,
    B_LEFT_OPTION_KEY = 0x4000,
    B_RIGHT_OPTION_KEY = 0x8000,
};

enum : int32 {
    B_F1_KEY = 0x02, // the "key" of F1; F2 to F12 follow
};

enum : char {
    B_HOME = 1,
    B_END = 4,
    B_INSERT = 5,
    B_BACKSPACE = 8,
    B_TAB = 9,
    B_ENTER = 10,
    B_PAGE_UP = 11,
    B_PAGE_DOWN = 12,
    B_FUNCTION_KEY = 16,
    B_ESCAPE = 27,
    B_LEFT_ARROW = 28,
    B_RIGHT_ARROW = 29,
    B_UP_ARROW = 30,
    B_DOWN_ARROW = 31,
    B_SPACE = 32,
    B_DELETE = 127,
};

} // namespace BPrivate::Sdl2

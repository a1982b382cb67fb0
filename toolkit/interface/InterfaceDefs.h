#pragma once

// Constants of the interface kit: keys, modifiers, mouse buttons, view
// and window flags, resizing modes, drawing modes and patterns.

#include <GraphicsDefs.h>
#include <SupportDefs.h>

// Bytes of keys that produce no text.
enum {
    B_BACKSPACE = 0x08,
    B_RETURN = 0x0a,
    B_ENTER = 0x0a,
    B_SPACE = 0x20,
    B_TAB = 0x09,
    B_ESCAPE = 0x1b,
    B_SUBSTITUTE_KEY = 0x1a,
    B_LEFT_ARROW = 0x1c,
    B_RIGHT_ARROW = 0x1d,
    B_UP_ARROW = 0x1e,
    B_DOWN_ARROW = 0x1f,
    B_INSERT = 0x05,
    B_DELETE = 0x7f,
    B_HOME = 0x01,
    B_END = 0x04,
    B_PAGE_UP = 0x0b,
    B_PAGE_DOWN = 0x0c,
    B_FUNCTION_KEY = 0x10,
};

// The "key" of a B_FUNCTION_KEY press: which function key it was.
enum {
    B_F1_KEY = 0x02,
    B_F2_KEY = 0x03,
    B_F3_KEY = 0x04,
    B_F4_KEY = 0x05,
    B_F5_KEY = 0x06,
    B_F6_KEY = 0x07,
    B_F7_KEY = 0x08,
    B_F8_KEY = 0x09,
    B_F9_KEY = 0x0a,
    B_F10_KEY = 0x0b,
    B_F11_KEY = 0x0c,
    B_F12_KEY = 0x0d,
};

// Modifier keys. On Linux the Ctrl key is the Command key.
enum {
    B_SHIFT_KEY = 0x00000001,
    B_COMMAND_KEY = 0x00000002,
    B_CONTROL_KEY = 0x00000004,
    B_CAPS_LOCK = 0x00000008,
    B_SCROLL_LOCK = 0x00000010,
    B_NUM_LOCK = 0x00000020,
    B_OPTION_KEY = 0x00000040,
    B_MENU_KEY = 0x00000080,
    B_LEFT_SHIFT_KEY = 0x00000100,
    B_RIGHT_SHIFT_KEY = 0x00000200,
    B_LEFT_COMMAND_KEY = 0x00000400,
    B_RIGHT_COMMAND_KEY = 0x00000800,
    B_LEFT_CONTROL_KEY = 0x00001000,
    B_RIGHT_CONTROL_KEY = 0x00002000,
    B_LEFT_OPTION_KEY = 0x00004000,
    B_RIGHT_OPTION_KEY = 0x00008000,
};

enum {
    B_PRIMARY_MOUSE_BUTTON = 0x01,
    B_SECONDARY_MOUSE_BUTTON = 0x02,
    B_TERTIARY_MOUSE_BUTTON = 0x04,
};

// Where a mouse-moved event found the pointer relative to the view.
enum { B_ENTERED_VIEW = 0, B_INSIDE_VIEW, B_EXITED_VIEW, B_OUTSIDE_VIEW };

// View flags.
enum {
    B_FULL_UPDATE_ON_RESIZE = 0x80000000UL,
    B_WILL_DRAW = 0x20000000UL,
    B_PULSE_NEEDED = 0x10000000UL,
    B_NAVIGABLE_JUMP = 0x08000000UL,
    B_FRAME_EVENTS = 0x04000000UL,
    B_NAVIGABLE = 0x02000000UL,
    B_SUBPIXEL_PRECISE = 0x01000000UL,
    B_DRAW_ON_CHILDREN = 0x00800000UL,
};

// Resizing modes: for each edge of a view, which edge of its parent it
// keeps its distance to when the parent is resized.
#define _PELMOR_RULE_(left, top, right, bottom)                                                    \
    (((left) << 12) | ((top) << 8) | ((right) << 4) | (bottom))
enum { _VIEW_TOP_ = 1, _VIEW_LEFT_ = 2, _VIEW_BOTTOM_ = 3, _VIEW_RIGHT_ = 4, _VIEW_CENTER_ = 5 };
enum : uint32 {
    B_FOLLOW_NONE = 0,
    B_FOLLOW_ALL_SIDES = _PELMOR_RULE_(_VIEW_LEFT_, _VIEW_TOP_, _VIEW_RIGHT_, _VIEW_BOTTOM_),
    B_FOLLOW_ALL = B_FOLLOW_ALL_SIDES,
    B_FOLLOW_LEFT = _PELMOR_RULE_(_VIEW_LEFT_, 0, _VIEW_LEFT_, 0),
    B_FOLLOW_RIGHT = _PELMOR_RULE_(_VIEW_RIGHT_, 0, _VIEW_RIGHT_, 0),
    B_FOLLOW_LEFT_RIGHT = _PELMOR_RULE_(_VIEW_LEFT_, 0, _VIEW_RIGHT_, 0),
    B_FOLLOW_H_CENTER = _PELMOR_RULE_(_VIEW_CENTER_, 0, _VIEW_CENTER_, 0),
    B_FOLLOW_TOP = _PELMOR_RULE_(0, _VIEW_TOP_, 0, _VIEW_TOP_),
    B_FOLLOW_BOTTOM = _PELMOR_RULE_(0, _VIEW_BOTTOM_, 0, _VIEW_BOTTOM_),
    B_FOLLOW_TOP_BOTTOM = _PELMOR_RULE_(0, _VIEW_TOP_, 0, _VIEW_BOTTOM_),
    B_FOLLOW_V_CENTER = _PELMOR_RULE_(0, _VIEW_CENTER_, 0, _VIEW_CENTER_),
};

enum drawing_mode {
    B_OP_COPY,
    B_OP_OVER,
    B_OP_ERASE,
    B_OP_INVERT,
    B_OP_ADD,
    B_OP_SUBTRACT,
    B_OP_BLEND,
    B_OP_MIN,
    B_OP_MAX,
    B_OP_SELECT,
    B_OP_ALPHA,
};

struct pattern {
    uint8 data[8];
    bool operator==(const pattern& other) const
    {
        for (int i = 0; i < 8; i++)
            if (data[i] != other.data[i])
                return false;
        return true;
    }
};
extern const pattern B_SOLID_HIGH;
extern const pattern B_MIXED_COLORS;
extern const pattern B_SOLID_LOW;

enum border_style { B_PLAIN_BORDER, B_FANCY_BORDER, B_NO_BORDER };
enum orientation { B_HORIZONTAL, B_VERTICAL };
enum alignment { B_ALIGN_LEFT, B_ALIGN_RIGHT, B_ALIGN_CENTER };

// The view colour that means "do not paint my background".
extern const rgb_color B_TRANSPARENT_COLOR;
#define B_TRANSPARENT_32_BIT B_TRANSPARENT_COLOR

enum { B_CURRENT_WORKSPACE = 0, B_ALL_WORKSPACES = 0xffffffff };

// Widths of standard scroll bars.
#define B_V_SCROLL_BAR_WIDTH 14.0f
#define B_H_SCROLL_BAR_HEIGHT 14.0f

struct escapement_delta {
    float nonspace;
    float space;
};

// The modifier keys held now.
uint32 modifiers();

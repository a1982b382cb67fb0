#pragma once

#include "SupportDefs.h"

// Command codes the toolkit itself sends or understands.
enum {
    B_ABOUT_REQUESTED = '_ABR',
    B_QUIT_REQUESTED = '_QRQ',
    B_READY_TO_RUN = '_RTR',
    B_PULSE = '_PUL',
    B_KEY_DOWN = '_KYD',
    B_KEY_UP = '_KYU',
    B_MOUSE_DOWN = '_MDN',
    B_MOUSE_UP = '_MUP',
    B_MOUSE_MOVED = '_MMV',
    B_MOUSE_WHEEL_CHANGED = '_MWC',
    B_WINDOW_ACTIVATED = '_ACT',
    B_WINDOW_RESIZED = '_WRS',
    B_WINDOW_MOVED = '_WMV',
    B_VIEW_RESIZED = '_VRS',
    B_VIEW_MOVED = '_VMV',
    B_MODIFIERS_CHANGED = '_MCH',
    B_MESSAGE_NOT_UNDERSTOOD = '_NUN',
    B_NO_REPLY = '_NRP',
    B_REPLY = '_RPY',
    B_SIMPLE_DATA = 'DATA',
    B_CUT = 'CCUT',
    B_COPY = 'COPY',
    B_PASTE = 'PSTE',
    B_SELECT_ALL = 'SALL',
    B_UNDO = 'UNDO',
};

#pragma once

// The desktop settings that an XSETTINGS manager publishes on the X
// server: the contents of the property _XSETTINGS_SETTINGS on the owner
// of the selection _XSETTINGS_S<screen>, as raw bytes.
//
// Layout: one byte order byte (0 little, 1 big endian), three unused
// bytes, a serial and the number of settings (32 bits each); then each
// setting: its type (0 integer, 1 string, 2 colour), one unused byte, the
// length of its name (16 bits), the name padded to four bytes, the serial
// of its last change (32 bits), and the value: an integer (32 bits), a
// string (its length in 32 bits, the bytes padded to four), or a colour
// (four 16-bit channels). The bytes come from another program: every
// length is checked against what remains, and a setting that does not fit
// ends the parse with what was read until then.

#include <cstddef>

#include <SupportDefs.h>

namespace BPrivate
{

struct XSettingsValues {
    // -1 where the manager does not say.
    int32 doubleClickTime = -1;     // Net/DoubleClickTime, milliseconds
    int32 doubleClickDistance = -1; // Net/DoubleClickDistance, pixels
    int32 dpi = -1;                 // Xft/DPI, in 1024ths of a dot per inch
    int32 windowScale = -1;         // Gdk/WindowScalingFactor
};

// False when the bytes are not settings at all (too short, a bad byte
// order); true otherwise, with what could be read.
bool parse_xsettings(const uint8* data, size_t size, XSettingsValues* values);

} // namespace BPrivate

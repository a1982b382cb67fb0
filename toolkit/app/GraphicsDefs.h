#pragma once

#include "SupportDefs.h"

struct rgb_color {
    uint8 red;
    uint8 green;
    uint8 blue;
    uint8 alpha;

    bool operator==(const rgb_color& other) const
    {
        return red == other.red && green == other.green && blue == other.blue &&
               alpha == other.alpha;
    }
    bool operator!=(const rgb_color& other) const { return !(*this == other); }
};

inline rgb_color make_color(uint8 red, uint8 green, uint8 blue, uint8 alpha = 255)
{
    return rgb_color{red, green, blue, alpha};
}

enum color_space {
    B_NO_COLOR_SPACE = 0,
    B_RGB32 = 0x0008,
    B_RGBA32 = 0x2008,
    B_CMAP8 = 0x0004,
    B_GRAY8 = 0x0002,
};

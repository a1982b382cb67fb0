#pragma once

// Shared by the views' tests: the control tests' window and driver, and
// helpers to read what an output view shows.

#include "ControlTestSupport.h"

#include <cstdlib>
#include <string>

#include <IrcCodes.h>
#include <Prefs.h>
#include <TextView.h>

inline bool same_color(rgb_color a, rgb_color b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

inline std::string color_text(rgb_color c)
{
    return std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue);
}

#define EXPECT_COLOR(actual, expected) EXPECT_EQ(color_text(actual), color_text(expected))

// Saves the window as a PNG when PELMOR_SNAPSHOTS names a folder, to look
// at what the views draw.
inline void save_snapshot(TestDriver& driver, BWindow* window, const std::string& name)
{
    if (const char* dir = getenv("PELMOR_SNAPSHOTS"); dir != nullptr && driver.WaitIdle())
        driver.SavePNG(window, std::string(dir) + "/" + name + ".png");
}

#pragma once

// The grey of the program's views and bars, with their light and dark
// edge colours.

#include <GraphicsDefs.h>

inline constexpr rgb_color sc_viewcolor = {220, 220, 220, 0};
inline constexpr rgb_color sc_highcolor = {250, 250, 250, 0};
inline constexpr rgb_color sc_lowcolor = {150, 150, 150, 0};

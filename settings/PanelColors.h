#pragma once

// The colours of the settings window's panels, as the program's other
// panels have them: view, light edges, dark edges.

#include <GraphicsDefs.h>

inline constexpr rgb_color sc_viewcolor = {220, 220, 220, 0};
inline constexpr rgb_color sc_highcolor = {250, 250, 250, 0};
inline constexpr rgb_color sc_lowcolor = {150, 150, 150, 0};

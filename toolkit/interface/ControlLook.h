#pragma once

// The look every standard control shares: flat grey panels with one-pixel
// bevels, light at the top and left, dark at the right and bottom (the
// reverse for sunken parts).

#include <GraphicsDefs.h>
#include <Rect.h>

class BView;

namespace BPrivate
{

extern const rgb_color kPanelColor;     // (220, 220, 220)
extern const rgb_color kLightColor;     // (250, 250, 250)
extern const rgb_color kDarkColor;      // (150, 150, 150)
extern const rgb_color kOutlineColor;   // (62, 62, 62)
extern const rgb_color kTextColor;      // black
extern const rgb_color kDisabledText;   // (128, 128, 128)
extern const rgb_color kFieldColor;     // white, behind editable text
extern const rgb_color kSelectionColor; // behind selected text and rows
// Behind a selection in a view that does not have the keyboard.
extern const rgb_color kInactiveSelectionColor;
extern const rgb_color kFocusColor; // the focus mark

// The colour behind a selection in `view`: paler unless the view has the
// keyboard in the active window.
rgb_color selection_color(const BView* view);

// `color`, darkened (or lightened) as far as needed to read on
// `background`: a contrast of at least 4.5 to 1, as for body text.
rgb_color readable_on(rgb_color color, rgb_color background);

// A one-pixel bevel on the rectangle's edges; the dark lines start one
// pixel in, so that the two never overwrite each other's first pixel.
void draw_bevel(BView* view, BRect rect, bool sunken);
// A dark outline with a bevel inside it.
void draw_framed_bevel(BView* view, BRect rect, bool sunken);
// Draws `label` centred in `rect`, grey when disabled.
void draw_centred_label(BView* view, BRect rect, const char* label, bool enabled);

} // namespace BPrivate

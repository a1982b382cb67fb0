#pragma once

// The strip between an output view and the list beside it, which the user
// drags to share the width between them (channel and server views).

#include <Rect.h>

#include <initializer_list>

class BView;

// The strip right of `output` in its parent's coordinates; invalid without
// an output view.
BRect divider_beside(const BView* output);

// Follows a drag of the strip begun at `where` until the buttons are
// released: `left` widens or narrows, the views in `right` move along.
void drag_divider(BView* parent, BRect strip, BPoint where, BView* left,
                  std::initializer_list<BView*> right);

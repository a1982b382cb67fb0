#pragma once

// A frame around a target view with scroll bars beside it.
//
// The scroll view takes the target's place: its frame is the target's
// frame grown by the border (1 pixel plain, 2 fancy, none) and by a 14-pixel
// bar on the right (vertical) and at the bottom (horizontal). The target
// becomes its child, inside the border, and follows all four sides when the
// scroll view is resized. The bars target the target view.

#include <View.h>

class BScrollBar;

class BScrollView : public BView
{
public:
    BScrollView(const char* name, BView* target, uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
                uint32 flags = 0, bool horizontal = false, bool vertical = false,
                border_style border = B_FANCY_BORDER);
    ~BScrollView() override;

    void Draw(BRect updateRect) override;

    // This scroll view's own bars (null where it has none).
    BScrollBar* ScrollBar(orientation direction) const;
    BView* Target() const { return fTarget; }

    // Keeps the scroll view's frame: the target and the bars move and
    // shrink or grow by the change in border width.
    void SetBorder(border_style border);
    border_style Border() const { return fBorder; }
    // Marks the border in the focus colour, for a target that has the focus.
    void SetBorderHighlighted(bool highlighted);
    bool IsBorderHighlighted() const { return fHighlighted; }

private:
    BRect VerticalBarFrame() const;
    BRect HorizontalBarFrame() const;

    BView* fTarget;
    BScrollBar* fVerticalBar;
    BScrollBar* fHorizontalBar;
    border_style fBorder;
    bool fHighlighted;
};

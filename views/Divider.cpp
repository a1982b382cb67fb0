#include "Divider.h"

#include <OS.h>
#include <View.h>
#include <Window.h>

namespace
{
const bigtime_t sc_drag_interval = 80000;
}

BRect divider_beside(const BView* output)
{
    if (output == nullptr)
        return BRect();
    BRect frame = output->Frame();
    return BRect(frame.right, frame.top, frame.right + 6, frame.bottom);
}

void drag_divider(BView* parent, BRect strip, BPoint where, BView* left,
                  std::initializer_list<BView*> right)
{
    float last = where.x;
    BPoint now = where;
    uint32 buttons = 0;
    parent->GetMouse(&now, &buttons, true);
    while (buttons != 0) {
        snooze(sc_drag_interval);
        parent->GetMouse(&now, &buttons, true);
        if (now.x == last)
            continue;
        const float dx = now.x - last;
        left->ResizeBy(dx, 0);
        for (BView* view : right) {
            view->ResizeBy(-dx, 0);
            view->MoveBy(dx, 0);
        }
        parent->Invalidate(strip);
        strip.OffsetBy(dx, 0);
        parent->Invalidate(strip);
        last = now.x;
        // The drag holds this thread: show each step as it happens.
        parent->Window()->UpdateIfNeeded();
    }
}

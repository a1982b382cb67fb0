#include "newListView.h"

#include <IrcCodes.h>
#include <Message.h>
#include <Messenger.h>
#include <Window.h>

newListView::newListView(BRect frame, const char* name, list_view_type type, uint32 resizingMode,
                         uint32 flags)
    : BListView(frame, name, type, resizingMode, flags)
{
}

newListView::~newListView() = default;

void newListView::MouseDown(BPoint where)
{
    // The buttons of the press itself: a quick click may be over before
    // the pointer's state is read.
    uint32 buttons = 0;
    BMessage* current = Window() != nullptr ? Window()->CurrentMessage() : nullptr;
    int32 pressed = 0;
    if (current != nullptr && current->FindInt32("buttons", &pressed) == B_OK) {
        buttons = uint32(pressed);
    } else {
        BPoint now;
        GetMouse(&now, &buttons, true);
    }

    BListView::MouseDown(where);

    BView* holder = Parent() != nullptr ? Parent()->Parent() : nullptr;
    if (buttons == B_SECONDARY_MOUSE_BUTTON && holder != nullptr) {
        BMessage message(MSG_MDN);
        message.AddPoint("mouse", where);
        BMessenger(holder).SendMessage(&message, holder, B_INFINITE_TIMEOUT);
    }
}

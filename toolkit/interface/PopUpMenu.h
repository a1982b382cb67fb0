#pragma once

// A menu that opens where it is asked to: on a right click in a list, or as
// the menu of a menu field (radio mode and showing the marked item's label
// by default).
//
// Go() opens it with its left-top at a screen point. Synchronously it
// blocks the calling thread only, usually a window's thread holding its own
// lock (the menu's window never needs that lock), until an item is chosen
// (returned; with deliversMessage it is also invoked) or the menu is
// dismissed (null): by a click outside it, Escape, or a release outside it
// after a press-drag. Go() returns null at once, without opening, when the
// button is already up and no item is under the pointer, unless
// openAnyway. A release inside clickToOpen keeps the menu open for a click.
// Asynchronously, Go() returns null at once and the choice is delivered
// (with deliversMessage) when it is made.

#include <Menu.h>

class BPopUpMenu : public BMenu
{
public:
    explicit BPopUpMenu(const char* name, bool radioMode = true, bool autoRename = true,
                        menu_layout layout = B_ITEMS_IN_COLUMN);
    ~BPopUpMenu() override;

    BMenuItem* Go(BPoint screenWhere, bool deliversMessage = false, bool openAnyway = false,
                  bool asynchronous = false);
    BMenuItem* Go(BPoint screenWhere, bool deliversMessage, bool openAnyway, BRect clickToOpen,
                  bool asynchronous = false);

private:
    BMenuItem* GoAt(BPoint where, bool deliversMessage, bool openAnyway, const BRect* clickToOpen,
                    bool asynchronous);
};

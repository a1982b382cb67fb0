#pragma once

// A row of menus along the top of a window. Clicking an item opens its
// menu below it; while one is open, moving along the bar switches menus,
// the arrow keys move through the items and the bar, Enter chooses and
// Escape or a click elsewhere closes. An item without a submenu is chosen
// by clicking it.
//
// Attached to a window, the bar becomes its key menu bar and makes the
// shortcuts of all its items, in all its menus, work in that window (those
// added later too); a disabled item's shortcut does nothing. Items without
// a target of their own deliver to the window.

#include <Menu.h>

class BWindow;

class BMenuBar : public BMenu
{
public:
    // With resizeToFit the bar takes its height from the font, and its
    // width from its parent when it follows both the left and the right.
    BMenuBar(BRect frame, const char* name,
             uint32 resizingMode = B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP,
             menu_layout layout = B_ITEMS_IN_ROW, bool resizeToFit = true);
    ~BMenuBar() override;

    void AttachedToWindow() override;
    void DetachedFromWindow() override;
    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;
    void MouseUp(BPoint where) override;
    void MouseMoved(BPoint where, uint32 transit, const BMessage* dragMessage) override;
    void MessageReceived(BMessage* message) override;

private:
    friend class BMenu;

    // Opens the menu of the item at `index`, starting tracking if needed.
    void OpenItem(int32 index, bool fromKeyboard, BRect screen);
    void FitToItems();
    void AddShortcutFor(uint32 key, uint32 modifiers);
    void LeaveWindow();

    BWindow* fShortcutWindow; // under the menu lock
    BPrivate::MenuClickFilter* fFilter;
};

#pragma once

// A list of menu items, shown in a column (a pop-up window of its own that
// opens when the menu is chosen from a menu bar, a menu field, another menu
// or BPopUpMenu::Go) or in a row (a menu bar).
//
// Threads: an open menu is a view of its own window and is drawn and
// operated by that window's thread, while the application adds, removes,
// marks and relabels items from its own windows' threads. Menu and item
// state is therefore guarded by one process-wide recursive lock, which is
// only ever taken after a window lock and never held while waiting for
// another thread; open menus learn of changes through messages. So a
// window thread may open a menu and wait for it (BPopUpMenu::Go) while it
// holds its own window's lock: no menu window ever needs that lock.

#include <memory>
#include <vector>

#include <Font.h>
#include <Messenger.h>
#include <View.h>

class BMenuItem;
class BMenuBar;
class BMenuField;
class BPopUpMenu;

namespace BPrivate
{
class MenuWindow;
struct MenuTracking;
class MenuClickFilter;
} // namespace BPrivate

enum menu_layout { B_ITEMS_IN_ROW = 0, B_ITEMS_IN_COLUMN, B_ITEMS_IN_MATRIX };

class BMenu : public BView
{
public:
    // A matrix menu is laid out as a column.
    explicit BMenu(const char* name, menu_layout layout = B_ITEMS_IN_COLUMN);
    ~BMenu() override;

    void AttachedToWindow() override;
    void DetachedFromWindow() override;
    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;
    void MouseUp(BPoint where) override;
    void MouseMoved(BPoint where, uint32 transit, const BMessage* dragMessage) override;
    void KeyDown(const char* bytes, int32 numBytes) override;
    void MessageReceived(BMessage* message) override;
    void SetFont(const BFont* font, uint32 mask = B_FONT_ALL) override;
    virtual void GetPreferredSize(float* width, float* height);
    virtual void ResizeToPreferred();

    // The menu owns the items it holds and deletes them with itself. An
    // item already in a menu is refused.
    bool AddItem(BMenuItem* item);
    bool AddItem(BMenuItem* item, int32 index);
    bool AddItem(BMenu* submenu);
    bool AddItem(BMenu* submenu, int32 index);
    bool AddSeparatorItem();
    // Removing gives the item back to the caller.
    bool RemoveItem(BMenuItem* item);
    BMenuItem* RemoveItem(int32 index);
    bool RemoveItem(BMenu* submenu);
    bool RemoveItems(int32 index, int32 count, bool deleteItems = false);

    BMenuItem* ItemAt(int32 index) const;
    BMenu* SubmenuAt(int32 index) const;
    int32 CountItems() const;
    int32 IndexOf(BMenuItem* item) const;
    int32 IndexOf(BMenu* submenu) const;
    // These two search submenus too.
    BMenuItem* FindItem(const char* label) const;
    BMenuItem* FindItem(uint32 command) const;
    BMenuItem* FindMarked() const;

    // This menu's items only, as the original does.
    status_t SetTargetForItems(BHandler* target);
    status_t SetTargetForItems(BMessenger messenger);

    virtual void SetEnabled(bool enabled);
    bool IsEnabled() const;
    virtual void SetRadioMode(bool on);
    bool IsRadioMode() const;
    // Turns radio mode on; the item that shows this menu (in a menu bar
    // or a menu field) then shows the marked item's label, or the menu's
    // name when none is marked.
    virtual void SetLabelFromMarked(bool on);
    bool IsLabelFromMarked() const;
    virtual void SetTriggersEnabled(bool enabled);
    bool AreTriggersEnabled() const;

    BMenuItem* Superitem() const;
    BMenu* Supermenu() const;
    menu_layout Layout() const { return fLayout; }

protected:
    BMenu(BRect frame, const char* name, uint32 resizingMode, uint32 flags, menu_layout layout,
          bool resizeToFit);

    // Toolkit internals shared with the menu bar, the pop-up menu and the
    // menu field; all under the menu lock.
    struct Metrics {
        float lineHeight;
        float ascent;
    };
    Metrics FontMetrics() const;
    // Places the items and works out the preferred size.
    void LayoutItems();
    BMenuItem* ItemAtPoint(BPoint where) const;
    void DrawItem(BMenuItem* item, bool highlighted);
    BMenu* RootMenu();
    // Delivers the item's message, marking it first in a radio menu.
    void ChooseItem(BMenuItem* item);
    // Tells the views that show this menu (its own window, the bar or the
    // field it belongs to) that items changed.
    void Changed();
    bool fResizeToFit;
    float fMinWidth;           // of an open column in pixels, e.g. a menu field's box
    BMessenger fDefaultTarget; // for items without a target of their own
    BMessenger fOwner;         // a menu field that shows this menu
    std::vector<BMenuItem*> fItems;

private:
    friend class BMenuItem;
    friend class BMenuBar;
    friend class BMenuField;
    friend class BPopUpMenu;
    friend class BPrivate::MenuWindow;
    friend struct BPrivate::MenuTracking;
    friend class BPrivate::MenuClickFilter;

    void InitData(menu_layout layout);
    // Ends tracking that involves this menu and takes it out of its menu
    // window, under that window's lock, so that the window no longer draws
    // it. The most derived destructor calls it first: the window's thread
    // must not call into an object that is being taken apart.
    void LeaveMenuWindow();
    void UpdateSuperitemLabel();
    void ItemMarked(BMenuItem* item);
    void MoveHighlight(int32 direction);
    // Highlights the first item that may be chosen, for the keyboard.
    void SelectFirstItem();
    void SetHighlight(int32 index, bool openSubmenu);
    void HighlightAt(BPoint where);
    bool IsChoosable(const BMenuItem* item) const;
    bool ChooseByTrigger(uint32 character);
    void RegisterShortcuts(BMenuItem* item, bool add);
    // The first item (this menu's or a submenu's) with the shortcut.
    BMenuItem* FindShortcut(uint32 key, uint32 modifiers, const BMenuItem* except,
                            bool choosableOnly = false);
    void ResizeWindowToFit();

    menu_layout fLayout;
    BMenuItem* fSuperitem;
    bool fEnabled;
    bool fRadioMode;
    bool fLabelFromMarked;
    bool fTriggersEnabled;
    bool fLayoutValid;
    BFont fMenuFont;
    float fPreferredWidth;
    float fPreferredHeight;
    int32 fHighlight;
    bool fChangePosted;                                // a kMenuChanged is on its way
    BMessenger fSelf;                                  // while in a window
    BPrivate::MenuWindow* fMenuWindow;                 // made on first opening
    std::shared_ptr<BPrivate::MenuTracking> fTracking; // while open
};

#pragma once

// How open menus work together (toolkit-internal).
//
// Each column menu, once opened, keeps a borderless pop-up window of its
// own (a MenuWindow), hidden while the menu is closed. One MenuTracking
// describes a menu that is open with its open submenus: which windows show
// which menu where on the screen, whether the button is still held from the
// press that opened it, and what was chosen. Windows never lock one another:
// they tell each other what to do by messages, and everything they share is
// guarded by menu_lock(). BPopUpMenu::Go waits on the tracking's condition.
//
// Presses and releases outside the menu windows: a menu bar or menu field
// sees those in its own window through a message filter; the first open
// menu's window also polls the pointer, for windows that are busy (the one
// that waits in Go) or a drag whose events go to the window that took the
// press. It polls the display server's count of presses as well: a quick
// click's press and release may both fall between two looks.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include <MessageFilter.h>
#include <Messenger.h>
#include <Rect.h>
#include <Window.h>

class BMenu;
class BMenuBar;
class BMenuItem;
class BView;

namespace BPrivate
{

std::recursive_mutex& menu_lock();

class MenuWindow;
// Windows of menus that have gone, hidden and free; under menu_lock().
std::vector<MenuWindow*>& menu_window_pool();

// Private messages of the menu classes.
enum : uint32 {
    kMenuOpen = '_MOP',     // to a MenuWindow: "frame" (screen), "poll"
    kMenuClose = '_MCL',    // to a MenuWindow
    kMenuPointer = '_MPT',  // to a MenuWindow: "where" (screen), from the poller
    kMenuChanged = '_MUP',  // to a menu, bar or field: items changed
    kMenuEnded = '_MTE',    // to the bar or field that opened a menu
    kMenuSwitch = '_MSW',   // to a bar: "direction", from the arrow keys
    kMenuShortcut = '_MSC', // to a bar: "key", "modifiers"
    kMenuAdopt = '_MAD',    // to a MenuWindow from the pool: show fMenu from now on
};

struct MenuTracking : std::enable_shared_from_this<MenuTracking> {
    struct Open {
        BMenu* menu;
        BRect frame; // screen
    };

    // All of these under menu_lock().
    BMenu* root = nullptr;   // a bar, a pop-up menu or a field's menu
    BMenuBar* bar = nullptr; // when a bar opened it
    int32 barIndex = -1;     // the bar item whose menu is open
    BMessenger opener;       // told when tracking ends
    BRect openerFrame;       // screen; presses and releases there are the opener's
    BRect openerWindowFrame; // screen; the opener's filter sees presses there
    BRect clickToOpen;       // screen; a release there keeps the menu open
    BRect screen;            // where menus must fit
    std::vector<Open> open;  // outermost first
    bool sticky = false;     // the opening press is over: clicks choose
    bool deliver = true;     // invoke the chosen item
    bool done = false;
    BMenuItem* chosen = nullptr;
    uint32 lastButtons = 0;
    uint32 lastPresses = 0; // the display server's count
    BPoint lastPointer;

    // Go() waits for `finished`.
    std::mutex waitLock;
    std::condition_variable finishedChanged;
    bool finished = false;

    // Opens `menu` with its left-top at `where` (screen) as level `level`,
    // closing what was open at that level and deeper.
    void OpenMenu(BMenu* menu, BPoint where, size_t level);
    // Opens the submenu of an item of the menu open at `level`, beside it.
    void OpenSubmenu(size_t level, BMenuItem* item);
    void CloseFrom(size_t level);
    // -1 when the menu is not open here.
    int32 LevelOf(const BMenu* menu) const;
    // Chooses an item: a submenu opens, anything else ends tracking.
    void Choose(BMenuItem* item);
    // Closes every menu; `chosen` (may be null) is marked and delivered.
    void End(BMenuItem* chosen);
    // Pointer input in screen coordinates from outside the menu windows.
    void Press(BPoint where, bool polled);
    void Release(BPoint where);
    // `presses` counts every press so far, the last at `pressedAt`.
    void Poll(BPoint where, uint32 buttons, uint32 presses, BPoint pressedAt);
};

// The pop-up window of a column menu. A menu that goes leaves its window
// to the next menu that opens (menu_window_pool()), rather than quitting it:
// only the application, when it quits, ends menu windows, so no looper goes
// while the application walks its list of them.
class MenuWindow : public BWindow
{
public:
    explicit MenuWindow(BMenu* menu);
    ~MenuWindow() override;

    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override { return true; }

    BMenu* fMenu; // under menu_lock(); null once the menu has left

protected:
    bigtime_t _NextWakeup() const override;
    void _Wakeup() override;

private:
    // Only this window's thread touches these.
    bool fPolling;
    bigtime_t fLastPoll;
};

// Watches presses in the window of a menu bar or menu field: a press
// outside the opener and the open menus closes them and goes no further.
class MenuClickFilter : public BMessageFilter
{
public:
    MenuClickFilter(BView* opener, BMenu* root);
    filter_result Filter(BMessage* message, BHandler** target) override;

private:
    BView* fOpener;
    BMenu* fRoot;
};

// "Ctrl+Shift+Q" for a shortcut.
std::string shortcut_text(char shortcut, uint32 modifiers);
// The pointer and buttons as the display server saw them last; with
// `presses`, also its count of presses and where the last one was.
void pointer_state(BPoint* where, uint32* buttons, uint32* presses = nullptr,
                   BPoint* pressedAt = nullptr);
// The screen a point is on.
BRect screen_frame(BPoint near);

} // namespace BPrivate

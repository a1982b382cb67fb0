// Open menus: their windows, the tracking of one open menu tree, and the
// watch on presses outside them (see MenuPrivate.h).

#include <algorithm>
#include <cctype>
#include <cmath>

#include <AppDefs.h>
#include <DisplayServer.h>
#include <Message.h>

#include "Menu.h"
#include "MenuItem.h"
#include "MenuPrivate.h"

namespace BPrivate
{

namespace
{

using Guard = std::lock_guard<std::recursive_mutex>;

// How often the first open menu looks at the pointer.
const bigtime_t kPollInterval = 15000;

BRect snapped(BRect frame)
{
    return BRect(std::round(frame.left), std::round(frame.top), std::round(frame.right),
                 std::round(frame.bottom));
}

} // namespace

std::recursive_mutex& menu_lock()
{
    // Never destroyed: menu windows may still be going at exit.
    static std::recursive_mutex& lock = *new std::recursive_mutex;
    return lock;
}

std::vector<MenuWindow*>& menu_window_pool()
{
    static std::vector<MenuWindow*>& pool = *new std::vector<MenuWindow*>;
    return pool;
}

void pointer_state(BPoint* where, uint32* buttons, uint32* presses, BPoint* pressedAt)
{
    *where = BPoint(0, 0);
    *buttons = 0;
    if (presses != nullptr)
        *presses = 0;
    DisplayServer* server = DisplayServer::Get();
    if (server == nullptr)
        return;
    // The count first: a press counted after the buttons were read is
    // found at the next look.
    if (presses != nullptr)
        *presses = server->Presses(pressedAt);
    server->GetPointer(where, buttons);
}

BRect screen_frame(BPoint near)
{
    if (DisplayServer* server = DisplayServer::Get())
        return server->ScreenFrame(near);
    return BRect(0, 0, 1023, 767);
}

std::string shortcut_text(char shortcut, uint32 modifiers)
{
    std::string text;
    if ((modifiers & B_CONTROL_KEY) != 0)
        text += "Super+";
    if ((modifiers & B_COMMAND_KEY) != 0)
        text += "Ctrl+";
    if ((modifiers & B_OPTION_KEY) != 0)
        text += "Alt+";
    if ((modifiers & B_SHIFT_KEY) != 0)
        text += "Shift+";
    switch (uint8(shortcut)) {
    case B_DELETE:
        return text + "Del";
    case B_BACKSPACE:
        return text + "Backspace";
    case B_ENTER:
        return text + "Enter";
    case B_TAB:
        return text + "Tab";
    case B_ESCAPE:
        return text + "Esc";
    case B_SPACE:
        return text + "Space";
    case B_UP_ARROW:
        return text + "Up";
    case B_DOWN_ARROW:
        return text + "Down";
    case B_LEFT_ARROW:
        return text + "Left";
    case B_RIGHT_ARROW:
        return text + "Right";
    default:
        break;
    }
    if (uint8(shortcut) < 0x20 || uint8(shortcut) >= 0x80)
        return text + "?";
    return text + char(std::toupper(uint8(shortcut)));
}

// -- tracking ----------------------------------------------------------------------------

void MenuTracking::OpenMenu(BMenu* menu, BPoint where, size_t level)
{
    auto self = shared_from_this();
    CloseFrom(level);
    if (menu == nullptr || done)
        return;
    // A menu shows in one place at a time.
    std::shared_ptr<MenuTracking> other = menu->fTracking;
    if (other && other.get() != this && !other->done)
        other->End(nullptr);

    menu->LayoutItems();
    if (!std::isfinite(where.x) || !std::isfinite(where.y))
        where = screen.IsValid() ? screen.LeftTop() : BPoint(0, 0);
    float width = menu->fPreferredWidth;
    float height = menu->fPreferredHeight;
    if (screen.IsValid()) {
        // No bigger than the screen, however many or long the items, and
        // starting on it (far away, floats lose the menu's size).
        width = std::min(width, screen.Width());
        height = std::min(height, screen.Height());
        where.x = std::clamp(where.x, screen.left, screen.right);
        where.y = std::clamp(where.y, screen.top, screen.bottom);
    }
    BRect frame(where.x, where.y, where.x + width, where.y + height);
    if (screen.IsValid()) {
        if (frame.right > screen.right)
            frame.OffsetBy(screen.right - frame.right, 0);
        if (frame.bottom > screen.bottom)
            frame.OffsetBy(0, screen.bottom - frame.bottom);
        if (frame.left < screen.left)
            frame.OffsetBy(screen.left - frame.left, 0);
        if (frame.top < screen.top)
            frame.OffsetBy(0, screen.top - frame.top);
    }
    frame = snapped(frame);

    if (menu->fMenuWindow == nullptr) {
        std::vector<MenuWindow*>& pool = menu_window_pool();
        if (!pool.empty()) {
            // Its own thread takes the menu in, before the opening below.
            MenuWindow* window = pool.back();
            pool.pop_back();
            window->fMenu = menu;
            menu->fMenuWindow = window;
            window->PostMessage(kMenuAdopt);
        } else {
            auto* window = new MenuWindow(menu);
            menu->fMenuWindow = window;
            window->Run();
        }
    }
    menu->fTracking = self;
    menu->fHighlight = -1;
    open.push_back(Open{menu, frame});
    BMessage show(kMenuOpen);
    show.AddRect("frame", frame);
    show.AddBool("poll", level == 0);
    menu->fMenuWindow->PostMessage(&show);
}

void MenuTracking::OpenSubmenu(size_t level, BMenuItem* item)
{
    if (level >= open.size() || item == nullptr || item->fSubmenu == nullptr || done)
        return;
    BRect parent = open[level].frame;
    BMenu* submenu = item->fSubmenu;
    submenu->LayoutItems();
    // Beside the item, its first item level with it; to the left when the
    // right has no room.
    BPoint where(parent.right + 1, parent.top + item->fFrame.top - 2);
    if (screen.IsValid() && where.x + submenu->fPreferredWidth > screen.right)
        where.x = std::max(screen.left, parent.left - submenu->fPreferredWidth - 1);
    OpenMenu(submenu, where, level + 1);
}

void MenuTracking::CloseFrom(size_t level)
{
    auto self = shared_from_this();
    while (open.size() > level) {
        Open closing = open.back();
        open.pop_back();
        closing.menu->fHighlight = -1;
        if (closing.menu->fTracking.get() == this)
            closing.menu->fTracking.reset();
        if (closing.menu->fMenuWindow != nullptr)
            closing.menu->fMenuWindow->PostMessage(kMenuClose);
    }
}

int32 MenuTracking::LevelOf(const BMenu* menu) const
{
    for (size_t i = 0; i < open.size(); i++) {
        if (open[i].menu == menu)
            return int32(i);
    }
    return -1;
}

void MenuTracking::Choose(BMenuItem* item)
{
    auto self = shared_from_this();
    if (done || item == nullptr || item->fMenu == nullptr || !item->fMenu->IsChoosable(item))
        return;
    if (item->fSubmenu != nullptr) {
        int32 level = LevelOf(item->fMenu);
        if (level >= 0 && LevelOf(item->fSubmenu) < 0)
            OpenSubmenu(size_t(level), item);
        return;
    }
    End(item);
}

void MenuTracking::End(BMenuItem* item)
{
    auto self = shared_from_this();
    if (done)
        return;
    done = true;
    sticky = true;
    chosen = item;
    CloseFrom(0);
    if (item != nullptr) {
        // A radio menu remembers the choice; a menu field shows it.
        if (item->fMenu != nullptr && item->fMenu->fRadioMode)
            item->SetMarked(true);
        if (deliver)
            item->Invoke();
    }
    if (opener.IsValid()) {
        BMessage ended(kMenuEnded);
        opener.SendMessage(&ended);
    }
    {
        std::lock_guard<std::mutex> lock(waitLock);
        finished = true;
    }
    finishedChanged.notify_all();
}

void MenuTracking::Press(BPoint where, bool polled)
{
    auto self = shared_from_this();
    if (done)
        return;
    for (const Open& menu : open) {
        if (menu.frame.Contains(where))
            return; // the menu's window has it
    }
    if (openerFrame.Contains(where))
        return; // the bar or field decides
    if (polled && openerWindowFrame.Contains(where))
        return; // the opener's filter sees it, in order with its other input
    End(nullptr);
}

void MenuTracking::Release(BPoint where)
{
    auto self = shared_from_this();
    if (done || sticky)
        return;
    sticky = true;
    // Released over an item after dragging to it: chosen.
    for (size_t i = open.size(); i-- > 0;) {
        if (!open[i].frame.Contains(where))
            continue;
        BMenu* menu = open[i].menu;
        BMenuItem* item = menu->ItemAtPoint(where - open[i].frame.LeftTop());
        if (item != nullptr && item->fSubmenu == nullptr && menu->IsChoosable(item))
            Choose(item);
        return;
    }
    // Released where it was opened: it stays open for a click.
    if (clickToOpen.Contains(where) || openerFrame.Contains(where))
        return;
    End(nullptr);
}

void MenuTracking::Poll(BPoint where, uint32 buttons, uint32 presses, BPoint pressedAt)
{
    auto self = shared_from_this();
    if (done)
        return;
    // A press since the last look, though the buttons may be up again.
    bool clicked = presses != lastPresses;
    bool pressed = clicked || (buttons != 0 && lastButtons == 0);
    bool released = buttons == 0 && (lastButtons != 0 || clicked);
    lastButtons = buttons;
    lastPresses = presses;
    if (pressed) {
        Press(clicked ? pressedAt : where, true);
        if (released)
            Release(where);
    } else if (released) {
        Release(where);
    } else if (buttons != 0 && !sticky && where != lastPointer) {
        // Dragging: the pointer's events go to the window that took the
        // press, so the menu under it is told here.
        for (size_t i = open.size(); i-- > 0;) {
            if (!open[i].frame.Contains(where))
                continue;
            BMessage pointer(kMenuPointer);
            pointer.AddPoint("where", where);
            if (open[i].menu->fMenuWindow != nullptr)
                open[i].menu->fMenuWindow->PostMessage(&pointer);
            break;
        }
    }
    lastPointer = where;
}

// -- the window ------------------------------------------------------------------------------

MenuWindow::MenuWindow(BMenu* menu)
    : BWindow(BRect(0, 0, 10, 10), menu->Name() != nullptr ? menu->Name() : "",
              B_NO_BORDER_WINDOW_LOOK, B_FLOATING_ALL_WINDOW_FEEL,
              B_NOT_MOVABLE | B_NOT_RESIZABLE | B_NOT_CLOSABLE | B_NOT_ZOOMABLE |
                  B_NOT_MINIMIZABLE | B_AVOID_FOCUS),
      fMenu(menu), fPolling(false), fLastPoll(0)
{
    // Not running yet: the lock is ours since construction.
    menu->MoveTo(0, 0);
    AddChild(menu);
}

MenuWindow::~MenuWindow()
{
    BMenu* menu;
    {
        Guard guard(menu_lock());
        std::vector<MenuWindow*>& pool = menu_window_pool();
        pool.erase(std::remove(pool.begin(), pool.end(), this), pool.end());
        menu = fMenu;
        fMenu = nullptr;
        if (menu != nullptr) {
            menu->fMenuWindow = nullptr;
            std::shared_ptr<MenuTracking> tracking = menu->fTracking;
            if (tracking && !tracking->done)
                tracking->End(nullptr);
        }
    }
    // The menu belongs to whoever made it, not to this window.
    if (menu != nullptr && menu->Window() == this)
        RemoveChild(menu);
}

void MenuWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case kMenuOpen: {
        BRect frame;
        bool poll = false;
        message->FindRect("frame", &frame);
        message->FindBool("poll", &poll);
        {
            Guard guard(menu_lock());
            if (fMenu == nullptr || !frame.IsValid())
                return;
            MoveTo(frame.LeftTop());
            ResizeTo(frame.Width(), frame.Height());
            fMenu->MoveTo(0, 0);
            fMenu->ResizeTo(frame.Width(), frame.Height());
            fMenu->Invalidate();
            fMenu->MakeFocus(true);
        }
        fPolling = poll;
        fLastPoll = system_time();
        if (IsHidden())
            Show();
        return;
    }
    case kMenuAdopt: {
        Guard guard(menu_lock());
        if (fMenu != nullptr && fMenu->Window() == nullptr) {
            SetTitle(fMenu->Name() != nullptr ? fMenu->Name() : "");
            fMenu->MoveTo(0, 0);
            AddChild(fMenu);
        }
        return;
    }
    case kMenuClose:
        fPolling = false;
        if (!IsHidden())
            Hide();
        return;
    case kMenuPointer: {
        BPoint where;
        if (message->FindPoint("where", &where) != B_OK)
            return;
        Guard guard(menu_lock());
        if (fMenu != nullptr && fMenu->fTracking && !fMenu->fTracking->done)
            fMenu->HighlightAt(ConvertFromScreen(where));
        return;
    }
    default:
        BWindow::MessageReceived(message);
        return;
    }
}

bigtime_t MenuWindow::_NextWakeup() const
{
    bigtime_t next = BWindow::_NextWakeup();
    if (fPolling)
        next = std::min(next, fLastPoll + kPollInterval);
    return next;
}

void MenuWindow::_Wakeup()
{
    BWindow::_Wakeup();
    if (!fPolling || system_time() < fLastPoll + kPollInterval)
        return;
    fLastPoll = system_time();
    BPoint where, pressedAt;
    uint32 buttons, presses;
    pointer_state(&where, &buttons, &presses, &pressedAt);
    Guard guard(menu_lock());
    std::shared_ptr<MenuTracking> tracking = fMenu != nullptr ? fMenu->fTracking : nullptr;
    if (!tracking || tracking->done || tracking->LevelOf(fMenu) != 0) {
        fPolling = false;
        return;
    }
    tracking->Poll(where, buttons, presses, pressedAt);
}

// -- presses in the opener's window ------------------------------------------------------

MenuClickFilter::MenuClickFilter(BView* opener, BMenu* root)
    : BMessageFilter(B_MOUSE_DOWN), fOpener(opener), fRoot(root)
{
}

filter_result MenuClickFilter::Filter(BMessage* message, BHandler**)
{
    Guard guard(menu_lock());
    std::shared_ptr<MenuTracking> tracking = fRoot->fTracking;
    if (!tracking || tracking->done)
        return B_DISPATCH_MESSAGE;
    BPoint where;
    message->FindPoint("where", &where);
    if (fOpener->Window() != nullptr && fOpener->_ToWindow(fOpener->Bounds()).Contains(where))
        return B_DISPATCH_MESSAGE;
    // A click outside an open menu closes it, and does nothing else.
    tracking->End(nullptr);
    return B_SKIP_MESSAGE;
}

} // namespace BPrivate

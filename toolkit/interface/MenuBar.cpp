#include "MenuBar.h"

#include <Message.h>

#include "ControlLook.h"
#include "MenuItem.h"
#include "MenuPrivate.h"
#include "Window.h"

using namespace BPrivate;

namespace
{

using Guard = std::lock_guard<std::recursive_mutex>;

bool follows_left_and_right(uint32 mode)
{
    return ((mode >> 12) & 0xF) == _VIEW_LEFT_ && ((mode >> 4) & 0xF) == _VIEW_RIGHT_;
}

} // namespace

BMenuBar::BMenuBar(BRect frame, const char* name, uint32 resizingMode, menu_layout layout,
                   bool resizeToFit)
    : BMenu(frame, name, resizingMode, B_WILL_DRAW, layout, resizeToFit), fShortcutWindow(nullptr),
      fFilter(nullptr)
{
}

BMenuBar::~BMenuBar()
{
    // Deleted while attached: the views below no longer call our hooks.
    if (Window() != nullptr)
        LeaveWindow();
}

void BMenuBar::AttachedToWindow()
{
    BMenu::AttachedToWindow();
    Guard guard(menu_lock());
    BWindow* window = Window();
    window->SetKeyMenuBar(this);
    fShortcutWindow = window;
    for (BMenuItem* item : fItems)
        RegisterShortcuts(item, true);
    fDefaultTarget = BMessenger(window);
    fFilter = new MenuClickFilter(this, this);
    window->AddCommonFilter(fFilter);
    FitToItems();
}

void BMenuBar::DetachedFromWindow()
{
    LeaveWindow();
    BMenu::DetachedFromWindow();
}

void BMenuBar::LeaveWindow()
{
    Guard guard(menu_lock());
    BWindow* window = Window();
    std::shared_ptr<MenuTracking> tracking = fTracking;
    if (tracking && !tracking->done)
        tracking->End(nullptr);
    for (BMenuItem* item : fItems)
        RegisterShortcuts(item, false);
    fShortcutWindow = nullptr;
    if (window->KeyMenuBar() == this)
        window->SetKeyMenuBar(nullptr);
    if (fFilter != nullptr) {
        window->RemoveCommonFilter(fFilter);
        delete fFilter;
        fFilter = nullptr;
    }
    fDefaultTarget = BMessenger();
}

void BMenuBar::AddShortcutFor(uint32 key, uint32 modifiers)
{
    if (fShortcutWindow == nullptr)
        return;
    // The window hands the key back to the bar, which finds the item then:
    // so its current message, target and enabled state count.
    auto* message = new BMessage(kMenuShortcut);
    message->AddInt32("key", int32(key));
    message->AddInt32("modifiers", int32(modifiers));
    fShortcutWindow->AddShortcut(key, modifiers, message, this);
}

void BMenuBar::FitToItems()
{
    LayoutItems();
    if (!fResizeToFit)
        return;
    float width = fPreferredWidth;
    if (follows_left_and_right(ResizingMode())) {
        float parentWidth =
            Parent() != nullptr ? Parent()->Bounds().Width() : Window()->Bounds().Width();
        width = parentWidth - Frame().left;
    }
    ResizeTo(width, fPreferredHeight);
}

void BMenuBar::Draw(BRect)
{
    Guard guard(menu_lock());
    if (!fLayoutValid)
        LayoutItems();
    BView::SetFont(&fMenuFont);
    BRect bounds = Bounds();
    SetHighColor(kPanelColor);
    FillRect(bounds);
    draw_bevel(this, bounds, false);
    int32 open = fTracking && !fTracking->done ? fTracking->barIndex : -1;
    for (size_t i = 0; i < fItems.size(); i++)
        DrawItem(fItems[i], int32(i) == open);
}

void BMenuBar::OpenItem(int32 index, bool fromKeyboard, BRect screen)
{
    BMenuItem* item = ItemAt(index);
    if (item == nullptr || item->fSubmenu == nullptr || !IsChoosable(item) || Window() == nullptr)
        return;
    std::shared_ptr<MenuTracking> tracking = fTracking;
    if (!tracking || tracking->done) {
        tracking = std::make_shared<MenuTracking>();
        tracking->root = this;
        tracking->bar = this;
        tracking->opener = BMessenger(this);
        tracking->openerFrame = ConvertToScreen(Bounds());
        tracking->openerWindowFrame = Window()->Frame();
        tracking->screen = screen;
        uint32 buttons;
        pointer_state(&tracking->lastPointer, &buttons, &tracking->lastPresses);
        tracking->lastButtons = buttons;
        tracking->sticky = fromKeyboard || buttons == 0;
        fTracking = tracking;
    }
    tracking->barIndex = index;
    BMenu* menu = item->fSubmenu;
    tracking->OpenMenu(menu, ConvertToScreen(item->fFrame.LeftBottom() + BPoint(0, 1)), 0);
    if (fromKeyboard)
        menu->SelectFirstItem();
    Invalidate();
}

void BMenuBar::MouseDown(BPoint where)
{
    BRect screen = screen_frame(ConvertToScreen(where));
    Guard guard(menu_lock());
    if (!fLayoutValid)
        LayoutItems();
    BMenuItem* item = ItemAtPoint(where);
    int32 index = IndexOf(item);
    std::shared_ptr<MenuTracking> tracking = fTracking;
    bool open = tracking && !tracking->done;
    if (open && (index == tracking->barIndex || item == nullptr || !IsChoosable(item))) {
        // The open item, or nothing: a click closes.
        tracking->End(nullptr);
        Invalidate();
        return;
    }
    if (item == nullptr || !IsChoosable(item))
        return;
    if (item->fSubmenu == nullptr) {
        if (open)
            tracking->End(nullptr);
        ChooseItem(item);
        return;
    }
    OpenItem(index, false, screen);
}

void BMenuBar::MouseUp(BPoint where)
{
    Guard guard(menu_lock());
    std::shared_ptr<MenuTracking> tracking = fTracking;
    if (tracking && !tracking->done && !tracking->sticky)
        tracking->Release(ConvertToScreen(where));
}

void BMenuBar::MouseMoved(BPoint where, uint32 transit, const BMessage*)
{
    Guard guard(menu_lock());
    std::shared_ptr<MenuTracking> tracking = fTracking;
    if (!tracking || tracking->done || transit == B_EXITED_VIEW)
        return;
    BMenuItem* item = ItemAtPoint(where);
    int32 index = IndexOf(item);
    if (item != nullptr && index != tracking->barIndex && item->fSubmenu != nullptr &&
        IsChoosable(item))
        OpenItem(index, false, tracking->screen);
}

void BMenuBar::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case kMenuChanged: {
        Guard guard(menu_lock());
        fChangePosted = false;
        FitToItems();
        Invalidate();
        return;
    }
    case kMenuEnded:
        Invalidate();
        return;
    case kMenuSwitch: {
        int32 direction = 0;
        message->FindInt32("direction", &direction);
        Guard guard(menu_lock());
        std::shared_ptr<MenuTracking> tracking = fTracking;
        int32 count = int32(fItems.size());
        if (!tracking || tracking->done || count == 0 || direction == 0)
            return;
        int32 index = tracking->barIndex;
        for (int32 step = 0; step < count; step++) {
            index = ((index + (direction > 0 ? 1 : -1)) % count + count) % count;
            BMenuItem* item = fItems[size_t(index)];
            if (item->fSubmenu != nullptr && IsChoosable(item)) {
                OpenItem(index, true, tracking->screen);
                return;
            }
        }
        return;
    }
    case kMenuShortcut: {
        int32 key = 0, modifiers = 0;
        message->FindInt32("key", &key);
        message->FindInt32("modifiers", &modifiers);
        Guard guard(menu_lock());
        // Of several items with the same keys, the first that may be chosen.
        BMenuItem* found = FindShortcut(uint32(key), uint32(modifiers), nullptr, true);
        if (found != nullptr) {
            if (fTracking && !fTracking->done)
                fTracking->End(nullptr);
            ChooseItem(found);
        }
        return;
    }
    default:
        BMenu::MessageReceived(message);
        return;
    }
}

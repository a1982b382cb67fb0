#include "MenuItem.h"

#include <Message.h>

#include "InterfaceDefs.h"
#include "Menu.h"
#include "MenuPrivate.h"

using BPrivate::menu_lock;

namespace
{

using Guard = std::lock_guard<std::recursive_mutex>;

// Only these modifiers tell shortcuts apart, as the window sees them.
const uint32 kShortcutModifiers = B_SHIFT_KEY | B_COMMAND_KEY | B_CONTROL_KEY | B_OPTION_KEY;

} // namespace

BMenuItem::BMenuItem(const char* label, BMessage* message, char shortcut, uint32 modifiers)
    : BInvoker(message, nullptr), fLabel(label != nullptr ? label : ""), fSubmenu(nullptr),
      fMenu(nullptr), fEnabled(true), fMarked(false), fTrigger(0), fShortcut(0), fModifiers(0),
      fTriggerOffset(-1)
{
    if (shortcut != 0) {
        fShortcut = shortcut;
        fModifiers = (modifiers | B_COMMAND_KEY) & kShortcutModifiers;
    }
}

BMenuItem::BMenuItem(BMenu* submenu, BMessage* message)
    : BInvoker(message, nullptr), fSubmenu(nullptr), fMenu(nullptr), fEnabled(true), fMarked(false),
      fTrigger(0), fShortcut(0), fModifiers(0), fTriggerOffset(-1)
{
    Guard guard(menu_lock());
    if (submenu != nullptr && submenu->fSuperitem == nullptr) {
        fSubmenu = submenu;
        submenu->fSuperitem = this;
        fLabel = submenu->Name() != nullptr ? submenu->Name() : "";
        submenu->UpdateSuperitemLabel();
    }
}

BMenuItem::~BMenuItem()
{
    BMenu* submenu;
    {
        Guard guard(menu_lock());
        if (fMenu != nullptr)
            fMenu->RemoveItem(this);
        submenu = fSubmenu;
        fSubmenu = nullptr;
        if (submenu != nullptr)
            submenu->fSuperitem = nullptr;
    }
    // Outside the lock: a menu that goes takes its window down.
    delete submenu;
}

status_t BMenuItem::Archive(BMessage* into, bool deep) const
{
    status_t status = BArchivable::Archive(into, deep);
    if (status != B_OK)
        return status;
    Guard guard(menu_lock());
    into->AddString("_label", fLabel.c_str());
    if (!fEnabled)
        into->AddBool("_disable", true);
    if (fMarked)
        into->AddBool("_marked", true);
    if (fShortcut != 0) {
        into->AddInt32("_shortcut", fShortcut);
        into->AddInt32("_mods", int32(fModifiers));
    }
    if (fTrigger != 0)
        into->AddInt32("_trigger", fTrigger);
    if (Message() != nullptr)
        into->AddMessage("_msg", Message());
    return B_OK;
}

void BMenuItem::Changed()
{
    if (fMenu != nullptr)
        fMenu->Changed();
}

void BMenuItem::SetLabel(const char* label)
{
    Guard guard(menu_lock());
    std::string text = label != nullptr ? label : "";
    if (text == fLabel)
        return;
    fLabel = text;
    Changed();
    // The item that shows a marked label follows it.
    if (fMarked && fMenu != nullptr)
        fMenu->UpdateSuperitemLabel();
}

const char* BMenuItem::Label() const
{
    Guard guard(menu_lock());
    return fLabel.c_str();
}

void BMenuItem::SetEnabled(bool enabled)
{
    Guard guard(menu_lock());
    if (enabled == fEnabled)
        return;
    fEnabled = enabled;
    Changed();
}

bool BMenuItem::IsEnabled() const
{
    Guard guard(menu_lock());
    if (fSubmenu != nullptr && !fSubmenu->fEnabled)
        return false;
    return fEnabled;
}

void BMenuItem::SetMarked(bool marked)
{
    Guard guard(menu_lock());
    if (marked == fMarked)
        return;
    fMarked = marked;
    if (fMenu != nullptr && marked)
        fMenu->ItemMarked(this);
    Changed();
    if (fMenu != nullptr)
        fMenu->UpdateSuperitemLabel();
}

bool BMenuItem::IsMarked() const
{
    Guard guard(menu_lock());
    return fMarked;
}

void BMenuItem::SetTrigger(char trigger)
{
    Guard guard(menu_lock());
    fTrigger = trigger;
    Changed();
}

char BMenuItem::Trigger() const
{
    Guard guard(menu_lock());
    return fTrigger;
}

void BMenuItem::SetShortcut(char shortcut, uint32 modifiers)
{
    Guard guard(menu_lock());
    if (fMenu != nullptr)
        fMenu->RegisterShortcuts(this, false);
    fShortcut = shortcut;
    fModifiers = shortcut != 0 ? (modifiers | B_COMMAND_KEY) & kShortcutModifiers : 0;
    if (fMenu != nullptr)
        fMenu->RegisterShortcuts(this, true);
    Changed();
}

char BMenuItem::Shortcut(uint32* modifiers) const
{
    Guard guard(menu_lock());
    if (modifiers != nullptr)
        *modifiers = fModifiers;
    return fShortcut;
}

BMenu* BMenuItem::Menu() const
{
    Guard guard(menu_lock());
    return fMenu;
}

BRect BMenuItem::Frame() const
{
    Guard guard(menu_lock());
    return fFrame;
}

status_t BMenuItem::Invoke(BMessage* message)
{
    Guard guard(menu_lock());
    BMessage copy;
    if (_StampedCopy(message, this, &copy) != B_OK)
        return B_BAD_VALUE;
    copy.AddInt32("index", fMenu != nullptr ? fMenu->IndexOf(this) : -1);
    if (Target() != nullptr || Messenger().IsValid())
        return BInvoker::Invoke(&copy);
    // Without a target of its own, the item speaks to the window that holds
    // its menu bar or menu field (or that opened its pop-up menu).
    BMenu* root = fMenu != nullptr ? fMenu->RootMenu() : nullptr;
    if (root != nullptr && root->fDefaultTarget.IsValid())
        return root->fDefaultTarget.SendMessage(&copy);
    return B_BAD_VALUE;
}

status_t BMenuItem::SetMessage(BMessage* message)
{
    Guard guard(menu_lock());
    return BInvoker::SetMessage(message);
}

status_t BMenuItem::SetTarget(const BHandler* handler, const BLooper* looper)
{
    Guard guard(menu_lock());
    return BInvoker::SetTarget(handler, looper);
}

status_t BMenuItem::SetTarget(BMessenger messenger)
{
    Guard guard(menu_lock());
    return BInvoker::SetTarget(messenger);
}

// -- separator -------------------------------------------------------------------------

BSeparatorItem::BSeparatorItem() : BMenuItem("", nullptr)
{
    fEnabled = false;
}

BSeparatorItem::~BSeparatorItem() {}

status_t BSeparatorItem::Archive(BMessage* into, bool deep) const
{
    return BMenuItem::Archive(into, deep);
}

void BSeparatorItem::SetEnabled(bool)
{
    // Never enabled: it cannot be chosen.
}

#include "Menu.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include <Message.h>

#include "ControlLook.h"
#include "MenuBar.h"
#include "MenuItem.h"
#include "MenuPrivate.h"
#include "TextViewPrivate.h"
#include "Window.h"

using namespace BPrivate;

namespace
{

using Guard = std::lock_guard<std::recursive_mutex>;

// Column geometry: the frame (outline and bevel) around the items, the
// room for the check mark on the left and for the submenu arrow on the
// right, and the gap before a shortcut.
const float kInset = 2;
const float kMarkWidth = 20;
const float kSubmenuWidth = 18;
const float kShortcutGap = 24;
const float kMinColumnWidth = 50;
const float kSeparatorHeight = 9;
// Row (menu bar) items: padding on both sides of the label.
const float kRowPadding = 8;

bool same_letter(char a, char b)
{
    return std::tolower(uint8(a)) == std::tolower(uint8(b));
}

} // namespace

// -- life ----------------------------------------------------------------------------

BMenu::BMenu(const char* name, menu_layout layout)
    : BView(BRect(0, 0, 10, 10), name, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW)
{
    InitData(layout);
}

BMenu::BMenu(BRect frame, const char* name, uint32 resizingMode, uint32 flags, menu_layout layout,
             bool resizeToFit)
    : BView(frame, name, resizingMode, flags)
{
    InitData(layout);
    fResizeToFit = resizeToFit;
}

void BMenu::InitData(menu_layout layout)
{
    fResizeToFit = true;
    fMinWidth = 0;
    fLayout = layout;
    fSuperitem = nullptr;
    fEnabled = true;
    fRadioMode = false;
    fLabelFromMarked = false;
    fTriggersEnabled = true;
    fLayoutValid = false;
    fMenuFont = *be_plain_font;
    fPreferredWidth = 0;
    fPreferredHeight = 0;
    fHighlight = -1;
    fChangePosted = false;
    fMenuWindow = nullptr;
    SetViewColor(kPanelColor);
    SetLowColor(kPanelColor);
}

void BMenu::LeaveMenuWindow()
{
    MenuWindow* window;
    {
        Guard guard(menu_lock());
        std::shared_ptr<MenuTracking> tracking = fTracking;
        if (tracking && !tracking->done && (tracking->root == this || tracking->LevelOf(this) >= 0))
            tracking->End(nullptr);
        window = fMenuWindow;
    }
    // The menu's window waits for the next menu. Locking it is safe: menu
    // windows never wait for other windows.
    if (window != nullptr && BLooper::_LockLooper(window, B_INFINITE_TIMEOUT) == B_OK) {
        Guard guard(menu_lock());
        if (window->fMenu == this) {
            window->fMenu = nullptr;
            fMenuWindow = nullptr;
            if (Window() == window)
                window->RemoveChild(this);
            menu_window_pool().push_back(window);
        }
        window->Unlock();
    }
}

BMenu::~BMenu()
{
    LeaveMenuWindow();
    std::vector<BMenuItem*> items;
    {
        Guard guard(menu_lock());
        for (BMenuItem* item : fItems)
            RegisterShortcuts(item, false);
        items.swap(fItems);
        for (BMenuItem* item : items)
            item->fMenu = nullptr;
        if (fSuperitem != nullptr) {
            fSuperitem->fSubmenu = nullptr;
            fSuperitem = nullptr;
        }
    }
    for (BMenuItem* item : items)
        delete item;
}

void BMenu::AttachedToWindow()
{
    Guard guard(menu_lock());
    fSelf = BMessenger(this);
    fLayoutValid = false;
    BView::AttachedToWindow();
}

void BMenu::DetachedFromWindow()
{
    Guard guard(menu_lock());
    fSelf = BMessenger();
    fChangePosted = false; // what was posted may never arrive now
    BView::DetachedFromWindow();
}

void BMenu::SetFont(const BFont* font, uint32 mask)
{
    if (font == nullptr)
        return;
    Guard guard(menu_lock());
    BView::SetFont(font, mask);
    GetFont(&fMenuFont);
    Changed();
}

BMenu::Metrics BMenu::FontMetrics() const
{
    font_height height;
    fMenuFont.GetHeight(&height);
    return Metrics{std::ceil(height.ascent + height.descent + height.leading),
                   std::ceil(height.ascent)};
}

void BMenu::GetPreferredSize(float* width, float* height)
{
    Guard guard(menu_lock());
    LayoutItems();
    if (width != nullptr)
        *width = fPreferredWidth;
    if (height != nullptr)
        *height = fPreferredHeight;
}

void BMenu::ResizeToPreferred()
{
    float width, height;
    GetPreferredSize(&width, &height);
    ResizeTo(width, height);
}

// -- items ---------------------------------------------------------------------------

bool BMenu::AddItem(BMenuItem* item)
{
    Guard guard(menu_lock());
    return AddItem(item, int32(fItems.size()));
}

bool BMenu::AddItem(BMenuItem* item, int32 index)
{
    Guard guard(menu_lock());
    if (item == nullptr || item->fMenu != nullptr || index < 0 || size_t(index) > fItems.size())
        return false;
    // A menu cannot hold itself or one of the menus it is part of.
    for (BMenu* menu = this; menu != nullptr; menu = menu->Supermenu()) {
        if (item->fSubmenu == menu)
            return false;
    }
    fItems.insert(fItems.begin() + index, item);
    item->fMenu = this;
    RegisterShortcuts(item, true);
    if (item->fMarked)
        ItemMarked(item);
    // Indices above the highlight move up.
    if (fHighlight >= index)
        fHighlight++;
    Changed();
    UpdateSuperitemLabel();
    return true;
}

bool BMenu::AddItem(BMenu* submenu)
{
    Guard guard(menu_lock());
    return AddItem(submenu, int32(fItems.size()));
}

bool BMenu::AddItem(BMenu* submenu, int32 index)
{
    Guard guard(menu_lock());
    if (submenu == nullptr || submenu->fSuperitem != nullptr)
        return false;
    auto* item = new BMenuItem(submenu);
    if (!AddItem(item, index)) {
        // Give the submenu back untouched.
        item->fSubmenu = nullptr;
        submenu->fSuperitem = nullptr;
        delete item;
        return false;
    }
    return true;
}

bool BMenu::AddSeparatorItem()
{
    return AddItem(new BSeparatorItem);
}

bool BMenu::RemoveItem(BMenuItem* item)
{
    Guard guard(menu_lock());
    int32 index = IndexOf(item);
    return index >= 0 && RemoveItem(index) != nullptr;
}

BMenuItem* BMenu::RemoveItem(int32 index)
{
    Guard guard(menu_lock());
    if (index < 0 || size_t(index) >= fItems.size())
        return nullptr;
    BMenuItem* item = fItems[size_t(index)];
    // An open submenu of the item closes first.
    if (fTracking && item->fSubmenu != nullptr) {
        int32 level = fTracking->LevelOf(item->fSubmenu);
        if (level >= 0)
            fTracking->CloseFrom(size_t(level));
    }
    RegisterShortcuts(item, false);
    fItems.erase(fItems.begin() + index);
    item->fMenu = nullptr;
    if (fHighlight == index)
        fHighlight = -1;
    else if (fHighlight > index)
        fHighlight--;
    Changed();
    UpdateSuperitemLabel();
    return item;
}

bool BMenu::RemoveItem(BMenu* submenu)
{
    Guard guard(menu_lock());
    int32 index = IndexOf(submenu);
    return index >= 0 && RemoveItem(index) != nullptr;
}

bool BMenu::RemoveItems(int32 index, int32 count, bool deleteItems)
{
    std::vector<BMenuItem*> removed;
    {
        Guard guard(menu_lock());
        if (index < 0 || count < 0 || size_t(index) > fItems.size() ||
            size_t(count) > fItems.size() - size_t(index))
            return false;
        for (int32 i = 0; i < count; i++)
            removed.push_back(RemoveItem(index));
    }
    if (deleteItems) {
        for (BMenuItem* item : removed)
            delete item;
    }
    return true;
}

BMenuItem* BMenu::ItemAt(int32 index) const
{
    Guard guard(menu_lock());
    if (index < 0 || size_t(index) >= fItems.size())
        return nullptr;
    return fItems[size_t(index)];
}

BMenu* BMenu::SubmenuAt(int32 index) const
{
    Guard guard(menu_lock());
    BMenuItem* item = ItemAt(index);
    return item != nullptr ? item->fSubmenu : nullptr;
}

int32 BMenu::CountItems() const
{
    Guard guard(menu_lock());
    return int32(fItems.size());
}

int32 BMenu::IndexOf(BMenuItem* item) const
{
    Guard guard(menu_lock());
    auto found = std::find(fItems.begin(), fItems.end(), item);
    return item == nullptr || found == fItems.end() ? -1 : int32(found - fItems.begin());
}

int32 BMenu::IndexOf(BMenu* submenu) const
{
    Guard guard(menu_lock());
    for (size_t i = 0; i < fItems.size(); i++) {
        if (submenu != nullptr && fItems[i]->fSubmenu == submenu)
            return int32(i);
    }
    return -1;
}

BMenuItem* BMenu::FindItem(const char* label) const
{
    if (label == nullptr)
        return nullptr;
    Guard guard(menu_lock());
    for (BMenuItem* item : fItems) {
        if (item->fSubmenu == nullptr && !item->IsSeparator() && item->fLabel == label)
            return item;
        if (item->fSubmenu != nullptr) {
            if (item->fLabel == label)
                return item;
            if (BMenuItem* found = item->fSubmenu->FindItem(label))
                return found;
        }
    }
    return nullptr;
}

BMenuItem* BMenu::FindItem(uint32 command) const
{
    Guard guard(menu_lock());
    for (BMenuItem* item : fItems) {
        if (item->Message() != nullptr && item->Message()->what == command)
            return item;
        if (item->fSubmenu != nullptr) {
            if (BMenuItem* found = item->fSubmenu->FindItem(command))
                return found;
        }
    }
    return nullptr;
}

BMenuItem* BMenu::FindMarked() const
{
    Guard guard(menu_lock());
    for (BMenuItem* item : fItems) {
        if (item->fMarked)
            return item;
    }
    return nullptr;
}

status_t BMenu::SetTargetForItems(BHandler* target)
{
    Guard guard(menu_lock());
    status_t result = B_OK;
    for (BMenuItem* item : fItems) {
        status_t status = item->SetTarget(target);
        if (status != B_OK)
            result = status;
    }
    return result;
}

status_t BMenu::SetTargetForItems(BMessenger messenger)
{
    Guard guard(menu_lock());
    for (BMenuItem* item : fItems)
        item->SetTarget(messenger);
    return B_OK;
}

// -- state ---------------------------------------------------------------------------

void BMenu::SetEnabled(bool enabled)
{
    Guard guard(menu_lock());
    if (enabled == fEnabled)
        return;
    fEnabled = enabled;
    if (!enabled && fTracking && !fTracking->done) {
        int32 level = fTracking->LevelOf(this);
        if (level >= 0)
            fTracking->CloseFrom(size_t(level));
    }
    Changed();
    // The item that opens this menu is drawn disabled now.
    if (fSuperitem != nullptr)
        fSuperitem->Changed();
}

bool BMenu::IsEnabled() const
{
    Guard guard(menu_lock());
    if (!fEnabled)
        return false;
    BMenu* super = Supermenu();
    return super == nullptr || super->IsEnabled();
}

void BMenu::SetRadioMode(bool on)
{
    Guard guard(menu_lock());
    fRadioMode = on;
    if (!on)
        fLabelFromMarked = false;
    if (on) {
        // Only one may stay marked: the first.
        bool seen = false;
        for (BMenuItem* item : fItems) {
            if (item->fMarked && seen)
                item->fMarked = false;
            seen = seen || item->fMarked;
        }
    }
    Changed();
    UpdateSuperitemLabel();
}

bool BMenu::IsRadioMode() const
{
    Guard guard(menu_lock());
    return fRadioMode;
}

void BMenu::SetLabelFromMarked(bool on)
{
    Guard guard(menu_lock());
    fLabelFromMarked = on;
    if (on)
        SetRadioMode(true);
    UpdateSuperitemLabel();
}

bool BMenu::IsLabelFromMarked() const
{
    Guard guard(menu_lock());
    return fLabelFromMarked;
}

void BMenu::SetTriggersEnabled(bool enabled)
{
    Guard guard(menu_lock());
    fTriggersEnabled = enabled;
    Changed();
}

bool BMenu::AreTriggersEnabled() const
{
    Guard guard(menu_lock());
    return fTriggersEnabled;
}

BMenuItem* BMenu::Superitem() const
{
    Guard guard(menu_lock());
    return fSuperitem;
}

BMenu* BMenu::Supermenu() const
{
    Guard guard(menu_lock());
    return fSuperitem != nullptr ? fSuperitem->fMenu : nullptr;
}

BMenu* BMenu::RootMenu()
{
    BMenu* menu = this;
    // Bounded: AddItem refuses cycles, but a bad tree must not hang us.
    for (int depth = 0; depth < 64; depth++) {
        BMenu* super = menu->fSuperitem != nullptr ? menu->fSuperitem->fMenu : nullptr;
        if (super == nullptr)
            break;
        menu = super;
    }
    return menu;
}

void BMenu::ItemMarked(BMenuItem* item)
{
    if (!fRadioMode)
        return;
    for (BMenuItem* other : fItems) {
        if (other != item && other->fMarked) {
            other->fMarked = false;
            Changed();
        }
    }
}

void BMenu::UpdateSuperitemLabel()
{
    if (!fLabelFromMarked || fSuperitem == nullptr)
        return;
    BMenuItem* marked = FindMarked();
    const char* label = marked != nullptr ? marked->fLabel.c_str() : (Name() ? Name() : "");
    if (fSuperitem->fLabel == label)
        return;
    fSuperitem->fLabel = label;
    fSuperitem->Changed();
    // A menu field shows its item's label.
    RootMenu()->Changed();
}

void BMenu::Changed()
{
    fLayoutValid = false;
    // One message at a time: filling a menu item by item lays it out once.
    if (fChangePosted)
        return;
    BMessage changed(kMenuChanged);
    if (fSelf.IsValid() && fSelf.SendMessage(&changed) == B_OK)
        fChangePosted = true;
    if (fOwner.IsValid() && fOwner.SendMessage(&changed) == B_OK)
        fChangePosted = true;
}

bool BMenu::IsChoosable(const BMenuItem* item) const
{
    if (item == nullptr || item->IsSeparator() || !item->fEnabled)
        return false;
    if (item->fSubmenu != nullptr && !item->fSubmenu->fEnabled)
        return false;
    // Every menu above must be enabled too.
    const BMenu* menu = item->fMenu;
    for (int depth = 0; menu != nullptr && depth < 64; depth++) {
        if (!menu->fEnabled)
            return false;
        BMenuItem* super = menu->fSuperitem;
        if (super != nullptr && !super->fEnabled)
            return false;
        menu = super != nullptr ? super->fMenu : nullptr;
    }
    return true;
}

void BMenu::ChooseItem(BMenuItem* item)
{
    if (item == nullptr || item->fMenu == nullptr)
        return;
    if (item->fMenu->fRadioMode)
        item->SetMarked(true);
    item->Invoke();
}

// -- shortcuts ---------------------------------------------------------------------------

void BMenu::RegisterShortcuts(BMenuItem* item, bool add)
{
    auto* bar = dynamic_cast<BMenuBar*>(RootMenu());
    if (bar == nullptr || bar->fShortcutWindow == nullptr || item == nullptr)
        return;
    if (item->fSubmenu != nullptr) {
        for (BMenuItem* inner : item->fSubmenu->fItems)
            item->fSubmenu->RegisterShortcuts(inner, add);
    }
    if (item->fShortcut == 0)
        return;
    uint32 key = uint32(uint8(std::tolower(uint8(item->fShortcut))));
    if (add) {
        bar->AddShortcutFor(key, item->fModifiers);
        return;
    }
    // Another item may still use the same keys.
    BMenuItem* other = bar->FindShortcut(key, item->fModifiers, item);
    if (other == nullptr)
        bar->fShortcutWindow->RemoveShortcut(key, item->fModifiers);
}

BMenuItem* BMenu::FindShortcut(uint32 key, uint32 modifiers, const BMenuItem* except,
                               bool choosableOnly)
{
    for (BMenuItem* item : fItems) {
        if (item != except && item->fShortcut != 0 && item->fModifiers == modifiers &&
            uint32(uint8(std::tolower(uint8(item->fShortcut)))) == key &&
            (!choosableOnly || IsChoosable(item)))
            return item;
        if (item->fSubmenu != nullptr) {
            if (BMenuItem* found =
                    item->fSubmenu->FindShortcut(key, modifiers, except, choosableOnly))
                return found;
        }
    }
    return nullptr;
}

// -- layout ------------------------------------------------------------------------------

void BMenu::LayoutItems()
{
    Metrics metrics = FontMetrics();
    float itemHeight = metrics.lineHeight + 6;

    // Triggers: the item's own letter, or else the first letter of its
    // label that no item above has taken.
    std::string taken;
    for (BMenuItem* item : fItems) {
        item->fTriggerOffset = -1;
        if (!fTriggersEnabled || item->IsSeparator())
            continue;
        const std::string& label = item->fLabel;
        for (size_t i = 0; i < label.size(); i++) {
            char c = label[i];
            bool wanted = item->fTrigger != 0
                              ? same_letter(c, item->fTrigger)
                              : (uint8(c) < 0x80 && std::isalnum(uint8(c)) &&
                                 taken.find(char(std::tolower(uint8(c)))) == std::string::npos);
            if (wanted) {
                item->fTriggerOffset = int32(i);
                taken.push_back(char(std::tolower(uint8(c))));
                break;
            }
        }
    }

    if (fLayout == B_ITEMS_IN_ROW) {
        float x = 1;
        for (BMenuItem* item : fItems) {
            float width = std::ceil(fMenuFont.StringWidth(item->fLabel.c_str())) + 2 * kRowPadding;
            if (item->IsSeparator())
                width = kSeparatorHeight;
            item->fFrame.Set(x, 1, x + width - 1, itemHeight);
            x += width;
        }
        fPreferredWidth = x;
        fPreferredHeight = itemHeight + 1;
        fLayoutValid = true;
        return;
    }

    float labelWidth = 0;
    float shortcutWidth = 0;
    for (BMenuItem* item : fItems) {
        if (item->IsSeparator())
            continue;
        labelWidth = std::max(labelWidth, std::ceil(fMenuFont.StringWidth(item->fLabel.c_str())));
        if (item->fShortcut != 0) {
            std::string text = shortcut_text(item->fShortcut, item->fModifiers);
            shortcutWidth = std::max(shortcutWidth, std::ceil(fMenuFont.StringWidth(text.c_str())));
        }
    }
    float width = kInset + kMarkWidth + labelWidth +
                  (shortcutWidth > 0 ? kShortcutGap + shortcutWidth : 0) + kSubmenuWidth + kInset;
    width = std::max({width, kMinColumnWidth, fMinWidth});
    float y = kInset;
    for (BMenuItem* item : fItems) {
        float height = item->IsSeparator() ? kSeparatorHeight : itemHeight;
        item->fFrame.Set(kInset, y, width - 1 - kInset, y + height - 1);
        y += height;
    }
    if (fItems.empty())
        y += itemHeight;
    fPreferredWidth = width - 1;
    fPreferredHeight = y + kInset - 1;
    fLayoutValid = true;
}

BMenuItem* BMenu::ItemAtPoint(BPoint where) const
{
    for (BMenuItem* item : fItems) {
        if (item->fFrame.Contains(where))
            return item;
    }
    return nullptr;
}

// -- drawing -------------------------------------------------------------------------------

void BMenu::Draw(BRect)
{
    Guard guard(menu_lock());
    if (!fLayoutValid)
        LayoutItems();
    BView::SetFont(&fMenuFont);
    BRect bounds = Bounds();
    SetHighColor(kPanelColor);
    FillRect(bounds);
    draw_framed_bevel(this, bounds, false);
    for (size_t i = 0; i < fItems.size(); i++)
        DrawItem(fItems[i], int32(i) == fHighlight);
}

void BMenu::DrawItem(BMenuItem* item, bool highlighted)
{
    BRect frame = item->fFrame;
    if (item->IsSeparator()) {
        if (fLayout == B_ITEMS_IN_ROW) {
            float x = std::floor((frame.left + frame.right) / 2);
            SetHighColor(kDarkColor);
            StrokeLine(BPoint(x, frame.top + 2), BPoint(x, frame.bottom - 2));
            SetHighColor(kLightColor);
            StrokeLine(BPoint(x + 1, frame.top + 2), BPoint(x + 1, frame.bottom - 2));
            return;
        }
        float y = std::floor((frame.top + frame.bottom) / 2);
        SetHighColor(kDarkColor);
        StrokeLine(BPoint(frame.left + 3, y), BPoint(frame.right - 3, y));
        SetHighColor(kLightColor);
        StrokeLine(BPoint(frame.left + 3, y + 1), BPoint(frame.right - 3, y + 1));
        return;
    }
    bool enabled = IsChoosable(item);
    if (highlighted && enabled) {
        SetHighColor(kSelectionColor);
        FillRect(frame);
    }
    rgb_color text = enabled ? kTextColor : kDisabledText;
    Metrics metrics = FontMetrics();
    float baseline =
        frame.top + std::floor((frame.Height() + 1 - metrics.lineHeight) / 2) + metrics.ascent;
    float x = fLayout == B_ITEMS_IN_ROW ? frame.left + kRowPadding : frame.left + kMarkWidth;
    SetHighColor(text);
    DrawString(item->fLabel.c_str(), BPoint(x, baseline));
    // Triggers work in open menus, so only columns show them.
    if (fLayout != B_ITEMS_IN_ROW && item->fTriggerOffset >= 0 &&
        size_t(item->fTriggerOffset) < item->fLabel.size()) {
        const char* label = item->fLabel.c_str();
        float start = x + fMenuFont.StringWidth(label, item->fTriggerOffset);
        int32 length =
            BPrivate::utf8_char_length(label, int32(item->fLabel.size()), item->fTriggerOffset);
        float width = fMenuFont.StringWidth(label + item->fTriggerOffset, length);
        if (width >= 1)
            StrokeLine(BPoint(start, baseline + 2), BPoint(start + width - 1, baseline + 2));
    }
    if (fLayout == B_ITEMS_IN_ROW)
        return;

    float middle = std::floor((frame.top + frame.bottom) / 2);
    if (item->fMarked) {
        // A check mark two pixels thick.
        float left = frame.left + 6;
        for (float dy = 0; dy < 2; dy++) {
            StrokeLine(BPoint(left, middle + dy), BPoint(left + 3, middle + 3 + dy));
            StrokeLine(BPoint(left + 3, middle + 3 + dy), BPoint(left + 9, middle - 3 + dy));
        }
    }
    if (item->fShortcut != 0) {
        std::string shortcut = shortcut_text(item->fShortcut, item->fModifiers);
        float width = std::ceil(fMenuFont.StringWidth(shortcut.c_str()));
        DrawString(shortcut.c_str(), BPoint(frame.right - kSubmenuWidth - width, baseline));
    }
    if (item->fSubmenu != nullptr) {
        float right = frame.right - 6;
        FillTriangle(BPoint(right - 4, middle - 4), BPoint(right - 4, middle + 4),
                     BPoint(right, middle));
    }
}

// -- input in an open column menu --------------------------------------------------------

void BMenu::SetHighlight(int32 index, bool openSubmenu)
{
    std::shared_ptr<MenuTracking> tracking = fTracking;
    if (index != fHighlight) {
        if (BMenuItem* old = ItemAt(fHighlight))
            Invalidate(old->fFrame);
        fHighlight = index;
        if (BMenuItem* item = ItemAt(index))
            Invalidate(item->fFrame);
    }
    if (!tracking || tracking->done)
        return;
    int32 level = tracking->LevelOf(this);
    if (level < 0)
        return;
    BMenuItem* item = ItemAt(index);
    BMenu* submenu = item != nullptr ? item->fSubmenu : nullptr;
    // Whatever is open below belongs to another item now.
    if (size_t(level) + 1 < tracking->open.size() &&
        (submenu == nullptr || tracking->open[size_t(level) + 1].menu != submenu))
        tracking->CloseFrom(size_t(level) + 1);
    if (openSubmenu && submenu != nullptr && IsChoosable(item) && tracking->LevelOf(submenu) < 0)
        tracking->OpenSubmenu(size_t(level), item);
}

void BMenu::HighlightAt(BPoint where)
{
    BMenuItem* item = ItemAtPoint(where);
    if (item != nullptr && !IsChoosable(item))
        item = nullptr;
    if (item == nullptr) {
        // Off the items: keep the item whose submenu is open.
        BMenuItem* current = ItemAt(fHighlight);
        if (current != nullptr && current->fSubmenu != nullptr && fTracking &&
            fTracking->LevelOf(current->fSubmenu) >= 0)
            return;
    }
    SetHighlight(IndexOf(item), true);
}

void BMenu::MoveHighlight(int32 direction)
{
    int32 count = int32(fItems.size());
    if (count == 0)
        return;
    int32 index = fHighlight;
    for (int32 step = 0; step < count; step++) {
        if (index < 0)
            index = direction > 0 ? 0 : count - 1;
        else
            index = (index + direction + count) % count;
        if (IsChoosable(fItems[size_t(index)])) {
            SetHighlight(index, false);
            return;
        }
    }
}

void BMenu::SelectFirstItem()
{
    fHighlight = -1;
    for (size_t i = 0; i < fItems.size(); i++) {
        if (IsChoosable(fItems[i])) {
            fHighlight = int32(i);
            break;
        }
    }
    // Called from another menu's window: this one redraws in its own.
    Changed();
}

bool BMenu::ChooseByTrigger(uint32 character)
{
    if (!fTriggersEnabled || character == 0 || character >= 0x80)
        return false;
    if (!fLayoutValid)
        LayoutItems();
    for (size_t i = 0; i < fItems.size(); i++) {
        BMenuItem* item = fItems[i];
        if (item->fTriggerOffset < 0 || !IsChoosable(item) ||
            !same_letter(item->fLabel[size_t(item->fTriggerOffset)], char(character)))
            continue;
        SetHighlight(int32(i), false);
        std::shared_ptr<MenuTracking> tracking = fTracking;
        if (tracking)
            tracking->Choose(item);
        return true;
    }
    return false;
}

void BMenu::MouseDown(BPoint where)
{
    Guard guard(menu_lock());
    if (!fTracking || fTracking->done)
        return;
    HighlightAt(where);
}

void BMenu::MouseUp(BPoint where)
{
    Guard guard(menu_lock());
    std::shared_ptr<MenuTracking> tracking = fTracking;
    if (!tracking || tracking->done)
        return;
    BMenuItem* item = ItemAtPoint(where);
    if (item != nullptr && IsChoosable(item) && item->fSubmenu == nullptr)
        tracking->Choose(item);
    else
        tracking->sticky = true;
}

void BMenu::MouseMoved(BPoint where, uint32 transit, const BMessage*)
{
    Guard guard(menu_lock());
    if (!fTracking || fTracking->done)
        return;
    // A menu opened from the keyboard under a still pointer keeps the
    // item the keys chose.
    if (transit == B_ENTERED_VIEW && ConvertToScreen(where) == fTracking->openedAt)
        return;
    if (transit == B_EXITED_VIEW)
        where.Set(-1, -1);
    HighlightAt(where);
}

void BMenu::KeyDown(const char* bytes, int32 numBytes)
{
    Guard guard(menu_lock());
    std::shared_ptr<MenuTracking> tracking = fTracking;
    if (!tracking || tracking->done || numBytes < 1) {
        BView::KeyDown(bytes, numBytes);
        return;
    }
    int32 modifiers = 0;
    if (Window() != nullptr && Window()->CurrentMessage() != nullptr)
        Window()->CurrentMessage()->FindInt32("modifiers", &modifiers);
    uint8 key = uint8(bytes[0]);
    int32 level = tracking->LevelOf(this);

    // A shortcut of the whole menu tree works while it is open.
    if ((modifiers & B_COMMAND_KEY) != 0) {
        uint32 relevant =
            uint32(modifiers) & (B_SHIFT_KEY | B_COMMAND_KEY | B_CONTROL_KEY | B_OPTION_KEY);
        BMenuItem* item =
            tracking->root->FindShortcut(uint32(uint8(std::tolower(key))), relevant, nullptr, true);
        if (item != nullptr)
            tracking->End(item);
        return;
    }

    BMenuItem* current = ItemAt(fHighlight);
    switch (key) {
    case B_UP_ARROW:
        MoveHighlight(-1);
        break;
    case B_DOWN_ARROW:
        MoveHighlight(1);
        break;
    case B_HOME:
        fHighlight = -1;
        MoveHighlight(1);
        break;
    case B_END:
        fHighlight = -1;
        MoveHighlight(-1);
        break;
    case B_RIGHT_ARROW:
        if (current != nullptr && current->fSubmenu != nullptr && IsChoosable(current)) {
            SetHighlight(fHighlight, true);
            current->fSubmenu->SelectFirstItem();
        } else if (tracking->bar != nullptr) {
            BMessage next(kMenuSwitch);
            next.AddInt32("direction", 1);
            tracking->opener.SendMessage(&next);
        }
        break;
    case B_LEFT_ARROW:
        if (level > 0) {
            tracking->CloseFrom(size_t(level));
        } else if (tracking->bar != nullptr) {
            BMessage previous(kMenuSwitch);
            previous.AddInt32("direction", -1);
            tracking->opener.SendMessage(&previous);
        }
        break;
    case B_ENTER:
    case B_SPACE:
        if (current != nullptr && current->fSubmenu != nullptr && IsChoosable(current)) {
            SetHighlight(fHighlight, true);
            current->fSubmenu->SelectFirstItem();
        } else if (current != nullptr && IsChoosable(current)) {
            tracking->Choose(current);
        }
        break;
    case B_ESCAPE:
        tracking->End(nullptr);
        break;
    case B_FUNCTION_KEY: {
        // F10, which opens a menu bar, closes it again.
        int32 code = 0;
        if (Window() != nullptr && Window()->CurrentMessage() != nullptr)
            Window()->CurrentMessage()->FindInt32("key", &code);
        if (code == B_F10_KEY && tracking->bar != nullptr)
            tracking->End(nullptr);
        break;
    }
    default:
        ChooseByTrigger(key);
        break;
    }
}

void BMenu::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case kMenuChanged: {
        Guard guard(menu_lock());
        fChangePosted = false;
        ResizeWindowToFit();
        Invalidate();
        return;
    }
    default:
        BView::MessageReceived(message);
        return;
    }
}

// An open menu grows and shrinks with its items.
void BMenu::ResizeWindowToFit()
{
    if (!fLayoutValid)
        LayoutItems();
    auto* window = dynamic_cast<MenuWindow*>(Window());
    if (window == nullptr || !fTracking || fTracking->done)
        return;
    int32 level = fTracking->LevelOf(this);
    if (level < 0)
        return;
    float width = fPreferredWidth;
    float height = fPreferredHeight;
    const BRect& screen = fTracking->screen;
    if (screen.IsValid()) {
        width = std::min(width, screen.Width());
        height = std::min(height, screen.Height());
    }
    BRect& frame = fTracking->open[size_t(level)].frame;
    frame.right = frame.left + width;
    frame.bottom = frame.top + height;
    window->ResizeTo(width, height);
    ResizeTo(width, height);
}

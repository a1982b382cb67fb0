#pragma once

// One entry of a menu: a label with an optional check mark, keyboard
// shortcut and trigger letter, or a submenu. Choosing it sends a copy of its
// message to its target (the window that holds the menu bar or menu field,
// when no target was set), with "when", "source" and "index" added.
//
// Menus are shown by windows of their own, so items are read by those
// windows' threads while the application changes them: every accessor takes
// the process-wide menu lock (see Menu.h).

#include <string>

#include <Archivable.h>
#include <Invoker.h>
#include <Rect.h>

class BMenu;
class BMenuBar;
class BMenuField;
class BView;
namespace BPrivate
{
struct MenuTracking;
}

class BMenuItem : public BArchivable, public BInvoker
{
public:
    // The Command key (Ctrl on Linux) is always part of the shortcut.
    BMenuItem(const char* label, BMessage* message, char shortcut = 0, uint32 modifiers = 0);
    // Labelled by the submenu's name; the item owns the submenu.
    explicit BMenuItem(BMenu* submenu, BMessage* message = nullptr);
    ~BMenuItem() override;

    status_t Archive(BMessage* into, bool deep = true) const override;

    virtual void SetLabel(const char* label);
    // Valid until the label changes.
    const char* Label() const;
    virtual void SetEnabled(bool enabled);
    // False also when the item's submenu is disabled.
    bool IsEnabled() const;
    // In a radio-mode menu, marking one item unmarks the others.
    virtual void SetMarked(bool marked);
    bool IsMarked() const;
    // 0: none. The first occurrence of the letter in the label, in either
    // case, is underlined.
    virtual void SetTrigger(char trigger);
    char Trigger() const;
    virtual void SetShortcut(char shortcut, uint32 modifiers);
    char Shortcut(uint32* modifiers = nullptr) const;

    BMenu* Submenu() const { return fSubmenu; }
    BMenu* Menu() const;
    // In the coordinates of the menu that holds the item.
    BRect Frame() const;

    status_t Invoke(BMessage* message = nullptr) override;
    // Under the menu lock, as an open menu may be invoking the item.
    status_t SetMessage(BMessage* message) override;
    status_t SetTarget(const BHandler* handler, const BLooper* looper = nullptr) override;
    status_t SetTarget(BMessenger messenger) override;

    BMenuItem(const BMenuItem&) = delete;
    BMenuItem& operator=(const BMenuItem&) = delete;

protected:
    virtual bool IsSeparator() const { return false; }

private:
    friend class BMenu;
    friend class BMenuBar;
    friend class BMenuField;
    friend class BSeparatorItem;
    friend struct BPrivate::MenuTracking;

    void Changed();

    std::string fLabel;
    BMenu* fSubmenu;
    BMenu* fMenu;
    BRect fFrame;
    bool fEnabled;
    bool fMarked;
    char fTrigger;
    char fShortcut;
    uint32 fModifiers;
    // Byte offset of the underlined letter in the label, or -1; worked out
    // with the layout (an explicit trigger or the first free letter).
    int32 fTriggerOffset;
};

// A line between groups of items; it cannot be chosen.
class BSeparatorItem : public BMenuItem
{
public:
    BSeparatorItem();
    ~BSeparatorItem() override;

    status_t Archive(BMessage* into, bool deep = true) const override;
    void SetEnabled(bool enabled) override;

protected:
    bool IsSeparator() const override { return true; }
};

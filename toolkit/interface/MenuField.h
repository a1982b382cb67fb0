#pragma once

// A labelled box that opens a menu: the label is drawn left of the divider
// and, right of it, a button-like box shows the marked item's label (when
// the menu takes its label from the marked item) or else the menu's name.
// A click on the box, or Space, Enter or Down while focused, opens the menu
// below it; choosing an item marks it (radio) and the box shows it. Items
// without a target of their own deliver to the field's window.

#include <string>

#include <View.h>

class BMenu;
class BMenuItem;

namespace BPrivate
{
class MenuClickFilter;
}

class BMenuField : public BView
{
public:
    // The field owns the menu (a null menu is replaced by an empty one).
    BMenuField(BRect frame, const char* name, const char* label, BMenu* menu,
               uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
               uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
    ~BMenuField() override;

    void AttachedToWindow() override;
    void DetachedFromWindow() override;
    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;
    void MouseUp(BPoint where) override;
    void KeyDown(const char* bytes, int32 numBytes) override;
    void MakeFocus(bool focus = true) override;
    void MessageReceived(BMessage* message) override;
    virtual void GetPreferredSize(float* width, float* height);
    virtual void ResizeToPreferred();

    BMenu* Menu() const { return fMenu; }
    // The item whose submenu is the menu; its label is what the box shows.
    BMenuItem* MenuItem() const { return fItem; }
    virtual void SetLabel(const char* label);
    const char* Label() const { return fHasLabel ? fLabel.c_str() : nullptr; }
    virtual void SetEnabled(bool enabled);
    bool IsEnabled() const { return fEnabled; }
    // Where the box starts, from the field's left.
    virtual void SetDivider(float divider);
    float Divider() const { return fDivider; }

private:
    BRect BoxFrame() const;
    bool IsOpen() const;
    void OpenMenu(bool fromKeyboard);
    void LeaveWindow();

    std::string fLabel;
    bool fHasLabel;
    BMenu* fMenu;
    BMenuItem* fItem;
    float fDivider;
    bool fEnabled;
    BPrivate::MenuClickFilter* fFilter;
};

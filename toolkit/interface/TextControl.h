#pragma once

// A label and a one-line text field.
//
// The field is a BTextView child named "_input_", right of the divider, in
// a sunken frame. The control takes its height from its font. It holds one
// line: line ends in text set, typed or pasted into it become blanks. Enter
// is left to the key filters on TextView(); one that no filter took invokes
// the control with its message. The modification message, when set, is
// sent on every change the user makes.

#include <Control.h>

class BTextView;

class BTextControl : public BControl
{
public:
    BTextControl(BRect frame, const char* name, const char* label, const char* text,
                 BMessage* message, uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
                 uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
    ~BTextControl() override;

    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;
    // Focuses the text field.
    void MakeFocus(bool focus = true) override;
    bool _AcceptsNavigation() const override;
    // A disabled control's field takes no input and is greyed.
    void SetEnabled(bool enabled) override;

    virtual void SetText(const char* text); // null: empty
    const char* Text() const;
    BTextView* TextView() const { return fText; }

    // Takes ownership; null sends none.
    virtual void SetModificationMessage(BMessage* message);
    BMessage* ModificationMessage() const { return fModificationMessage; }

    // The field is drawn left-aligned; the alignments are kept.
    virtual void SetAlignment(alignment label, alignment text);
    void GetAlignment(alignment* label, alignment* text) const;
    // Where the field starts, from the control's left.
    virtual void SetDivider(float position);
    float Divider() const { return fDivider; }

    virtual void GetPreferredSize(float* width, float* height);
    virtual void ResizeToPreferred();

    // Toolkit internals: the field reports what happened in it.
    void _TextModified();
    void _EnterPressed();

private:
    void LayOutField();

    BTextView* fText;
    BMessage* fModificationMessage;
    float fDivider;
    alignment fLabelAlignment;
    alignment fTextAlignment;
    bool fSettingText;
};

#pragma once

// A labelled box that is on or off; each completed click toggles it and
// invokes it.

#include <Control.h>

class BCheckBox : public BControl
{
public:
    BCheckBox(BRect frame, const char* name, const char* label, BMessage* message,
              uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
              uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
    ~BCheckBox() override;

    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;
    virtual void GetPreferredSize(float* width, float* height);
    virtual void ResizeToPreferred();

private:
    BRect BoxFrame() const;
    bool fPressed;
};

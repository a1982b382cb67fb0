#pragma once

// A push button. A press that ends inside it invokes it; one that ends
// outside does nothing. MouseDown called when no mouse button is held any
// more (a subclass that tracked the press itself hands it on this way)
// invokes at once.

#include <Control.h>

class BButton : public BControl
{
public:
    BButton(BRect frame, const char* name, const char* label, BMessage* message,
            uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
            uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
    ~BButton() override;

    void Draw(BRect updateRect) override;
    void MouseDown(BPoint where) override;
    void KeyDown(const char* bytes, int32 numBytes) override;

    // The default button (Enter in its window) is drawn with a heavier
    // outline.
    virtual void MakeDefault(bool isDefault);
    bool IsDefault() const { return fDefault; }

    virtual void GetPreferredSize(float* width, float* height);
    virtual void ResizeToPreferred();

private:
    bool fDefault;
};

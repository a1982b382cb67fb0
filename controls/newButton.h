#pragma once

// A push button drawn as a flat outlined bevel with a centred label. It
// shows itself pressed while a press that began on it is held over it;
// released inside, it is invoked once, released outside, nothing happens.

#include <Button.h>

class newButton : public BButton
{
public:
    // Keeps exactly the size of `frame`.
    newButton(BRect frame, const char* name, const char* label, BMessage* message);
    ~newButton() override;

    void MessageReceived(BMessage* message) override;
    void Draw(BRect update) override;
    void MouseDown(BPoint where) override;
    void SetEnabled(bool enabled) override;

    bool IsPressed() const { return m_pressed; }

private:
    void set_pressed(bool pressed);

    bool m_pressed;
};

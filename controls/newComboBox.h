#pragma once

// An editable one-line field with a drop-down arrow that opens a list of
// strings; choosing one puts it into the field and sends nothing. Enter in
// the field posts 'ntr' with a pointer to the model message given.

#include <View.h>

class BPopUpMenu;
class myText;

class newComboBox : public BView
{
public:
    // Owns `message`, as the field's model message.
    newComboBox(BRect frame, char* name, BMessage* message);
    ~newComboBox() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void Draw(BRect update) override;
    void MouseDown(BPoint where) override;

    void AddString(const char* s);
    const char* GetString();
    void SetString(const char* s);
    void Enable(bool on);

    bool IsEnabled() const { return m_enabled; }
    bool IsPressed() const { return m_pressed; }
    myText* Field() const { return m_edit; }
    BPopUpMenu* Menu() const { return m_menu; }

private:
    BRect arrow_area() const;

    myText* m_edit;
    BPopUpMenu* m_menu;
    bool m_pressed;
    bool m_enabled;
};

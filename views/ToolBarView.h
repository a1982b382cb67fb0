#pragma once

// Across the top of a server window: the server combo box and "Connect".

#include <View.h>

class BWindow;
class newComboBox;

class ToolBarView : public BView
{
public:
    ToolBarView(BWindow* window, BRect frame);
    ~ToolBarView() override;

    void MessageReceived(BMessage* message) override;
    void Draw(BRect updateRect) override;

private:
    newComboBox* m_server_combo;
};

#pragma once

// The content of a channel window: the topic field across the top, the
// channel's text with its input line on the left, the user list on the
// right, and a divider between them that can be dragged.
//
// The channel window decides who arrives, leaves, is renamed or gains and
// loses operator status; the list keeps the order of arrival. A secondary
// click on a user opens a menu of actions on that user, each delivered to
// the window as a message.

#include <string>
#include <unordered_map>

#include <View.h>

class BListView;
class BPopUpMenu;
class myText;
class nickitem;

class ChatView : public BView
{
public:
    // Builds the children and adds itself to `window`.
    ChatView(BWindow* window, BRect frame);
    ~ChatView() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void DetachedFromWindow() override;
    void Draw(BRect update) override;
    void MouseDown(BPoint where) override;
    void FrameResized(float width, float height) override;

    void AddItem(const char* name);
    bool RemoveItem(const char* name);
    bool RenameItem(const char* oldName, const char* newName);
    void SetOP(const char* name, bool op);
    void RemoveAll();
    nickitem* FaindItem(const char* name);
    void SetTopic(char* text);
    void enable_topic(const char* nick);
    void make_ctcp_menu(BPopUpMenu* menu, const char* nick);

private:
    BRect divider() const;

    myText* m_topic;
    BListView* m_users;
    // Name to row: every arrival, departure, rename and mode change looks a
    // user up, in every channel window for a QUIT or NICK, and a busy
    // channel has hundreds of rows.
    std::unordered_map<std::string, nickitem*> m_rows;
};

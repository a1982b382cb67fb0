#pragma once

// The settings window's "User" page: the two nicknames, the full name and
// the user-info text of the main store, and an "Invisible" check box that
// is not stored. The fields are filled once, when the page is built, and
// written back each time the page leaves the window (a change of tab or
// the window closing). Keys missing from the store stay missing.
//
// A nickname that is empty or holds a blank is not written back: the store
// keeps the old one, and the note under the fields says so while the field
// holds such a text.

#include <View.h>

class BWindow;

class UserViewTab : public BView
{
public:
    // With a window, the page becomes its child.
    UserViewTab(BWindow* window, BRect frame);
    ~UserViewTab() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void DetachedFromWindow() override;

private:
    // Shows in the note what is wrong with the nickname fields, if anything.
    void check_nicks();
};

#pragma once

// The settings window's "Servers" page: the list of servers every server
// window offers in its combo box, with a field and "Add" and "Remove" to
// edit it, and the menu of the character sets the engine reads and writes.
// The page is filled once, when it is built, and written back each time it
// leaves the window: the "server" values are replaced by the list, in its
// order, and "encoding" by the marked character set (kept as it was when
// none is marked, e.g. a stored value the menu does not offer).
//
// "Add" takes only `host` or `host:port` with a port of 1 to 65535; other
// text is not added, and the note under the buttons says why.
//
// "Account" and "Password" are the SASL login of the selected server's
// host (ServerLogin.h), edited in place and stored with the list.

#include <map>
#include <set>
#include <string>

#include <SupportDefs.h>
#include <View.h>

#include "ServerLogin.h"

class BListView;
class BTextControl;
class newButton;

// One character set of the "Encoding" menu: the conversion constant the
// store keeps, and the name the menu shows.
struct encoding_entry {
    int32 code;
    char name[64];
};

enum { ENCODING_COUNT = 11 };
extern const encoding_entry sc_en[ENCODING_COUNT];

class ServersViewTab : public BView
{
public:
    // With a parent, the page becomes its child.
    ServersViewTab(BView* parent, BRect frame);
    ~ServersViewTab() override;

    void MessageReceived(BMessage* message) override;
    void AllAttached() override;
    void DetachedFromWindow() override;

private:
    void set_note(const char* text);
    // The host of the selected entry, or "" when none is selected.
    std::string selected_host() const;
    // Shows the selected host's login in the fields.
    void show_login();

    // Every host's login as edited here, written back when the page goes.
    std::map<std::string, ServerLogin> m_logins;
    std::set<std::string> m_logins_changed;
    bool m_showing_login = false;
    BTextControl* m_account = nullptr;
    BTextControl* m_password = nullptr;

    newButton* m_add_button;
    newButton* m_remove_button;
    BListView* m_server_list;
    BTextControl* m_server_text;
};

#pragma once

// One row of a channel's user list: a nickname, and whether its user is a
// channel operator, shown by the operator mark in the row's left margin.
//
// Names replies put status marks before nicknames ("@" operator, "+"
// voice, and on many servers "~" owner, "&" admin, "%" half-operator,
// several at once as in "@+nick"). No nickname begins with one of them,
// so every leading mark is taken off; "~", "&" and "@" make the row an
// operator's.

#include <ListItem.h>

class BBitmap;

class nickitem : public BListItem
{
public:
    nickitem(const char* name, int type);
    ~nickitem() override;

    void DrawItem(BView* owner, BRect frame, bool complete = false) override;

    const char* get_name() const { return m_name; }
    int get_type() const { return m_type; }
    void set_type(int type) { m_type = type; }
    // Keeps the operator state unless the new text carries an operator mark.
    void rename(const char* name);

    // The nickname without its marks, and whether the marks make an
    // operator; `out` holds 64 bytes (a longer nickname is cut at a
    // character boundary).
    static void strip_marks(const char* name, char* out, bool* op);

private:
    char m_name[64];
    int32 m_type;
};

#pragma once

// The pointer's look over a view: the desktop's own shapes, by name.

#include <SupportDefs.h>

enum BCursorID {
    B_CURSOR_ID_SYSTEM_DEFAULT = 1,
    B_CURSOR_ID_I_BEAM = 10,
};

class BCursor
{
public:
    explicit BCursor(BCursorID id);
    BCursorID ID() const { return fID; }

private:
    BCursorID fID;
};

// Shared shapes; never freed.
extern const BCursor* B_CURSOR_SYSTEM_DEFAULT;
extern const BCursor* B_CURSOR_I_BEAM;

#pragma once

// One entry of a server window's channel or private window list: the
// window (not owned) and the channel name or partner's nickname.

#include <List.h>

class BWindow;

struct wndItem {
    BWindow* wnd;
    char name[64];
};

// The first entry whose name matches without regard to letter case.
wndItem* find_item_by_name(const BList* list, const char* name);
// The first entry for this window.
wndItem* find_item_by_wnd(const BList* list, const BWindow* window);

#include "wndItem.h"

#include <strings.h>

wndItem* find_item_by_name(const BList* list, const char* name)
{
    if (list == nullptr || name == nullptr)
        return nullptr;
    for (int32 i = 0; i < list->CountItems(); i++) {
        auto* item = static_cast<wndItem*>(list->ItemAt(i));
        if (item != nullptr && strcasecmp(item->name, name) == 0)
            return item;
    }
    return nullptr;
}

wndItem* find_item_by_wnd(const BList* list, const BWindow* window)
{
    if (list == nullptr)
        return nullptr;
    for (int32 i = 0; i < list->CountItems(); i++) {
        auto* item = static_cast<wndItem*>(list->ItemAt(i));
        if (item != nullptr && item->wnd == window)
            return item;
    }
    return nullptr;
}

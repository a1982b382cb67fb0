#include "ItemText.h"

#if __has_include("nickitem.h")
#include "chanelItem.h"
#include "nickitem.h"
#define HAVE_CLIENT_ITEMS 1
#endif

std::string list_item_text(BListItem* item)
{
#ifdef HAVE_CLIENT_ITEMS
    if (auto* nick = dynamic_cast<nickitem*>(item))
        return std::string(nick->get_type() == 1 ? "@" : "") + nick->get_name();
    if (auto* channel = dynamic_cast<chanelItem*>(item))
        return channel->get_name() != nullptr ? channel->get_name() : "";
#endif
    if (auto* text = dynamic_cast<BStringItem*>(item))
        return text->Text() != nullptr ? text->Text() : "";
    return std::string();
}

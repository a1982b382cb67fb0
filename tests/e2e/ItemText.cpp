#include "ItemText.h"

#include "chanelItem.h"
#include "nickitem.h"

std::string list_item_text(BListItem* item)
{
    if (auto* nick = dynamic_cast<nickitem*>(item))
        return std::string(nick->get_type() == 1 ? "@" : "") + nick->get_name();
    if (auto* channel = dynamic_cast<chanelItem*>(item))
        return channel->get_name() != nullptr ? channel->get_name() : "";
    return std::string();
}

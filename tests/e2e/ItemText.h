#pragma once

// The text a list row shows, whatever its class: the client's rows and the
// toolkit's string items.

#include <string>

#include <ListItem.h>

std::string list_item_text(BListItem* item);

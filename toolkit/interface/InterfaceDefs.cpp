#include "InterfaceDefs.h"

#include <DisplayServer.h>

const pattern B_SOLID_HIGH = {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}};
const pattern B_MIXED_COLORS = {{0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55}};
const pattern B_SOLID_LOW = {{0, 0, 0, 0, 0, 0, 0, 0}};

const rgb_color B_TRANSPARENT_COLOR = {0x77, 0x74, 0x77, 0x00};

uint32 modifiers()
{
    BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get();
    return server != nullptr ? server->Modifiers() : 0;
}

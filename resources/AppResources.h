#pragma once

// The program's resources, compiled into the executable: blocks of bytes
// found by type and name, each with its id, as the platform's resource
// files hold them. The pictures are drawn here as small pixel maps; a
// bitmap resource ('RAWT') holds the bitmap in its archived form, a
// flattened message that instantiate_object turns back into a BBitmap.

#include <cstddef>
#include <vector>

#include <SupportDefs.h>

struct app_resource {
    type_code type;
    int32 id;
    const char* name;
    const void* data;
    size_t size;
};

// The resource of that type and name, or null. The bytes stay valid for
// the rest of the run.
const app_resource* find_app_resource(type_code type, const char* name);

// The application's icon (the speech bubble of the 'ICON' resources) as
// `size` × `size` premultiplied ARGB pixels, row by row, each picture
// pixel a square block; transparent around the bubble. For the desktop's
// icon files; `size` is a multiple of 16.
std::vector<uint32> app_icon_argb(int32 size);

#include "RetrieveBitmap.h"

#include <cstring>
#include <memory>

#include <AppResources.h>
#include <Archivable.h>
#include <Bitmap.h>
#include <Message.h>

BBitmap* RetrieveBitmap(const char* name)
{
    const app_resource* resource = find_app_resource('RAWT', name);
    if (resource == nullptr)
        return nullptr;
    // Read into a buffer of our own, as from a file.
    std::unique_ptr<char[]> buffer(new char[resource->size]);
    memcpy(buffer.get(), resource->data, resource->size);
    BMessage archive;
    if (archive.Unflatten(buffer.get(), ssize_t(resource->size)) != B_OK)
        return nullptr;
    BArchivable* object = instantiate_object(&archive);
    BBitmap* bitmap = dynamic_cast<BBitmap*>(object);
    if (bitmap == nullptr)
        delete object;
    return bitmap;
}

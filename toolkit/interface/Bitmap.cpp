#include "Bitmap.h"

#include <cairo.h>
#include <cmath>
#include <cstring>

namespace
{

// Registers the class with instantiate_object on first use of a bitmap.
struct Registration {
    Registration() { register_instantiation_func("BBitmap", BBitmap::Instantiate); }
};
Registration sRegistration;

// The largest bitmap we agree to make: archives come from files.
const int64 kMaxPixels = 16 * 1024 * 1024;

int32 bytes_per_pixel(color_space space)
{
    switch (space) {
    case B_RGB32:
    case B_RGBA32:
        return 4;
    case B_CMAP8:
    case B_GRAY8:
        return 1;
    default:
        return 0;
    }
}

} // namespace

BBitmap::BBitmap(BRect bounds, color_space space, bool, bool)
{
    Allocate(bounds, space, -1);
}

BBitmap::BBitmap(BRect bounds, uint32, color_space space, int32 bytesPerRow)
{
    Allocate(bounds, space, bytesPerRow);
}

BBitmap::BBitmap(const BBitmap& other)
    : BArchivable(), fBounds(other.fBounds), fSpace(other.fSpace), fBytesPerRow(other.fBytesPerRow),
      fBits(other.fBits), fStatus(other.fStatus)
{
}

BBitmap::BBitmap(BMessage* archive) : BArchivable(archive)
{
    fStatus = B_BAD_VALUE;
    fSpace = B_NO_COLOR_SPACE;
    fBytesPerRow = 0;
    BRect frame;
    int32 space = 0;
    const void* data = nullptr;
    ssize_t size = 0;
    if (archive == nullptr || archive->FindRect("_frame", &frame) != B_OK ||
        archive->FindInt32("_cspace", &space) != B_OK ||
        archive->FindData("_data", B_RAW_TYPE, &data, &size) != B_OK)
        return;
    Allocate(frame, color_space(space), -1);
    if (fStatus != B_OK)
        return;
    if (size != ssize_t(fBits.size())) {
        fStatus = B_BAD_DATA;
        return;
    }
    memcpy(fBits.data(), data, fBits.size());
}

BBitmap::~BBitmap() {}

void BBitmap::Allocate(BRect bounds, color_space space, int32 bytesPerRow)
{
    fBounds = BRect(0, 0, std::round(bounds.Width()), std::round(bounds.Height()));
    fSpace = space;
    fStatus = B_BAD_VALUE;
    fBytesPerRow = 0;
    int32 pixelBytes = bytes_per_pixel(space);
    if (pixelBytes == 0 || !bounds.IsValid())
        return;
    int64 width = int64(fBounds.Width()) + 1, height = int64(fBounds.Height()) + 1;
    if (width * height > kMaxPixels)
        return;
    int64 minimum = width * pixelBytes;
    fBytesPerRow = bytesPerRow >= minimum ? bytesPerRow : int32((minimum + 3) / 4 * 4);
    fBits.assign(size_t(fBytesPerRow) * size_t(height), 0);
    fStatus = B_OK;
}

void BBitmap::SetBits(const void* data, int32 length, int32 offset, color_space)
{
    if (data == nullptr || offset < 0 || length <= 0 || size_t(offset) >= fBits.size())
        return;
    size_t count = std::min(size_t(length), fBits.size() - size_t(offset));
    memcpy(fBits.data() + offset, data, count);
}

status_t BBitmap::Archive(BMessage* into, bool deep) const
{
    status_t status = BArchivable::Archive(into, deep);
    if (status != B_OK)
        return status;
    into->AddString("class", "BBitmap");
    into->AddRect("_frame", fBounds);
    into->AddInt32("_cspace", int32(fSpace));
    into->AddData("_data", B_RAW_TYPE, fBits.data(), ssize_t(fBits.size()), false);
    into->AddBool("_contiguous", false);
    return B_OK;
}

BArchivable* BBitmap::Instantiate(BMessage* archive)
{
    if (!validate_instantiation(archive, "BBitmap"))
        return nullptr;
    BBitmap* bitmap = new BBitmap(archive);
    if (!bitmap->IsValid()) {
        delete bitmap;
        return nullptr;
    }
    return bitmap;
}

void* BBitmap::_Surface(bool withAlpha)
{
    if (!IsValid() || (fSpace != B_RGB32 && fSpace != B_RGBA32))
        return nullptr;
    int width = int(fBounds.Width()) + 1, height = int(fBounds.Height()) + 1;
    cairo_surface_t* surface = cairo_image_surface_create(
        withAlpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    uint8* out = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; y++) {
        const uint8* in = fBits.data() + size_t(y) * size_t(fBytesPerRow);
        uint8* row = out + y * stride;
        for (int x = 0; x < width; x++) {
            const uint8* p = in + x * 4;
            uint8* q = row + x * 4;
            uint32 value =
                uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
            if (!withAlpha) {
                q[0] = p[0];
                q[1] = p[1];
                q[2] = p[2];
                q[3] = 255;
            } else if (fSpace == B_RGB32) {
                bool transparent = value == B_TRANSPARENT_MAGIC_RGBA32;
                q[0] = transparent ? 0 : p[0];
                q[1] = transparent ? 0 : p[1];
                q[2] = transparent ? 0 : p[2];
                q[3] = transparent ? 0 : 255;
            } else {
                // Cairo wants the colour premultiplied by alpha.
                q[0] = uint8(p[0] * p[3] / 255);
                q[1] = uint8(p[1] * p[3] / 255);
                q[2] = uint8(p[2] * p[3] / 255);
                q[3] = p[3];
            }
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

#pragma once

// Pixels in memory that views can draw. B_RGB32 keeps four bytes a pixel,
// blue, green, red and an unused fourth, rows top to bottom; B_RGBA32 uses
// the fourth as alpha.

#include <vector>

#include <Archivable.h>
#include <GraphicsDefs.h>
#include <Rect.h>

// A B_RGB32 pixel drawn in B_OP_OVER with this value is left out.
#define B_TRANSPARENT_MAGIC_RGBA32 0x77747700

class BBitmap : public BArchivable
{
public:
    BBitmap(BRect bounds, color_space space, bool acceptsViews = false,
            bool needsContiguous = false);
    BBitmap(BRect bounds, uint32 flags, color_space space, int32 bytesPerRow = -1);
    explicit BBitmap(BMessage* archive);
    BBitmap(const BBitmap& other);
    ~BBitmap() override;

    status_t InitCheck() const { return fStatus; }
    bool IsValid() const { return fStatus == B_OK; }
    BRect Bounds() const { return fBounds; }
    color_space ColorSpace() const { return fSpace; }
    void* Bits() const { return const_cast<uint8*>(fBits.data()); }
    int32 BitsLength() const { return int32(fBits.size()); }
    int32 BytesPerRow() const { return fBytesPerRow; }
    // Copies `length` bytes into the pixels from `offset` on.
    void SetBits(const void* data, int32 length, int32 offset, color_space space);

    status_t Archive(BMessage* into, bool deep = true) const override;
    static BArchivable* Instantiate(BMessage* archive);

    // A cairo image of the pixels (a new reference the caller releases);
    // with alpha, transparent pixels are left out.
    void* _Surface(bool withAlpha);

    BBitmap& operator=(const BBitmap&) = delete;

private:
    void Allocate(BRect bounds, color_space space, int32 bytesPerRow);

    BRect fBounds;
    color_space fSpace;
    int32 fBytesPerRow;
    std::vector<uint8> fBits;
    status_t fStatus;
};

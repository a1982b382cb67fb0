#pragma once

// A font: family, style, size and the properties views carry with it.
//
// Text is measured and drawn with pango at 72 dpi, so a size is in pixels:
// be_plain_font, DejaVu Sans 10, is 10 pixels from em to em and lays out
// lines of 13. A BFont is a plain value, cheap to copy and safe to share
// between threads; what is expensive to work out (the pango description
// and the metrics) is cached per family, style, size and face, process-wide.

#include <GraphicsDefs.h>
#include <SupportDefs.h>

struct _cairo;
namespace BPrivate
{
struct SystemFonts;
}

#define B_FONT_FAMILY_LENGTH 63
#define B_FONT_STYLE_LENGTH 63
typedef char font_family[B_FONT_FAMILY_LENGTH + 1];
typedef char font_style[B_FONT_STYLE_LENGTH + 1];

// Which properties BView::SetFont() takes from the font it is given.
enum {
    B_FONT_FAMILY_AND_STYLE = 0x1,
    B_FONT_SIZE = 0x2,
    B_FONT_SHEAR = 0x4,
    B_FONT_ROTATION = 0x8,
    B_FONT_SPACING = 0x10,
    B_FONT_ENCODING = 0x20,
    B_FONT_FACE = 0x40,
    B_FONT_FLAGS = 0x80,
    B_FONT_ALL = 0xFF
};

enum { B_DISABLE_ANTIALIASING = 0x1, B_FORCE_ANTIALIASING = 0x2 };

enum {
    B_ITALIC_FACE = 0x1,
    B_UNDERSCORE_FACE = 0x2,
    B_NEGATIVE_FACE = 0x4,
    B_OUTLINED_FACE = 0x8,
    B_STRIKEOUT_FACE = 0x10,
    B_BOLD_FACE = 0x20,
    B_REGULAR_FACE = 0x40
};

struct font_height {
    float ascent;
    float descent;
    float leading;
};

class BFont
{
public:
    BFont(); // a copy of be_plain_font
    BFont(const BFont& font) = default;
    explicit BFont(const BFont* font); // null: the plain font
    BFont& operator=(const BFont& font) = default;

    // B_NAME_NOT_FOUND, leaving the font as it was, when the family or the
    // style is not installed. A null family keeps the current one; a null
    // style picks the family's regular style. The bold and italic bits of
    // the face follow the style; underscore and strikeout are kept.
    status_t SetFamilyAndStyle(const font_family family, const font_style style);
    void GetFamilyAndStyle(font_family* family, font_style* style) const;

    // Clamped to [1, 1000]; a size that is not a number is ignored.
    void SetSize(float size);
    float Size() const { return fSize; }

    // Picks the family's style that has the face's weight and slant where
    // there is one; otherwise pango makes the bold or slanted variant up.
    // B_UNDERSCORE_FACE and B_STRIKEOUT_FACE are drawn; the negative and
    // outlined faces are only stored.
    void SetFace(uint16 face);
    uint16 Face() const { return fFace; }

    // B_DISABLE_ANTIALIASING draws whole pixels only, unless
    // B_FORCE_ANTIALIASING is set too.
    void SetFlags(uint32 flags) { fFlags = flags; }
    uint32 Flags() const { return fFlags; }

    // Stored and compared, not drawn. Shear is in degrees, 45 to 135, 90
    // upright; rotation in degrees, counter-clockwise, [0, 360).
    void SetShear(float shear);
    float Shear() const { return fShear; }
    void SetRotation(float rotation);
    float Rotation() const { return fRotation; }

    // Hinted, in whole pixels at whole sizes: ascent + descent + leading
    // is the height of a laid-out line of the font's own glyphs.
    void GetHeight(font_height* height) const;

    // Widths in pixels, as draw_string() advances. A length counts bytes
    // and stops early at a NUL; a negative length measures up to the NUL.
    // Invalid UTF-8 is measured as the replacement characters it is drawn
    // with. GetStringWidths() takes the lock once for all the strings;
    // `lengths` may be null.
    float StringWidth(const char* string) const;
    float StringWidth(const char* string, int32 length) const;
    void GetStringWidths(const char* strings[], const int32 lengths[], int32 count,
                         float widths[]) const;

    bool operator==(const BFont& other) const;
    bool operator!=(const BFont& other) const { return !(*this == other); }

    void PrintToStream() const;

private:
    // Lets the system fonts be constant-initialised, so they are complete
    // before any static constructor anywhere runs.
    constexpr BFont(const char* family, const char* style, float size, uint16 face)
        : fSize(size), fFace(face)
    {
        for (int i = 0; i < B_FONT_FAMILY_LENGTH && family[i] != '\0'; i++)
            fFamily[i] = family[i];
        for (int i = 0; i < B_FONT_STYLE_LENGTH && style[i] != '\0'; i++)
            fStyle[i] = style[i];
    }

    friend struct BPrivate::SystemFonts;

    font_family fFamily = {};
    font_style fStyle = {};
    float fSize = 10;
    float fShear = 90;
    float fRotation = 0;
    uint32 fFlags = 0;
    uint16 fFace = B_REGULAR_FACE;
};

extern const BFont* be_plain_font;
extern const BFont* be_bold_font;
extern const BFont* be_fixed_font;

namespace BPrivate
{

// Draws `length` bytes of `text` (up to a NUL; all of it when negative) on
// one line, the left of the first character at x and the baseline at
// baselineY, in the context's current coordinates. The colour's alpha is
// ignored: text is drawn solid. Invalid UTF-8 shows as replacement
// characters. Returns the advance, equal to the font's StringWidth() of the
// same bytes. Safe from any thread; the context is left as it was, without
// a current path.
float draw_string(_cairo* context, const BFont& font, const char* text, int32 length, float x,
                  float baselineY, rgb_color color);

} // namespace BPrivate

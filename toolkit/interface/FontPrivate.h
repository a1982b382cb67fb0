#pragma once

// What Font.cpp and TextLayout.cpp share. It sees pango, which the interface
// kit links privately, so no header outside these two files includes it.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <pango/pangocairo.h>

#include "Font.h"

namespace BPrivate
{

// Held around everything that may reach the shared font map or cairo's font
// caches: laying out and measuring text, drawing it, making and releasing
// contexts. Pango's font maps are not thread-safe, and cairo 1.16 can abort
// when two threads race in its scaled-font cache.
std::mutex& text_lock();

// This thread's context, made from the shared 72 dpi font map with hinted
// metrics; one with grey anti-aliasing and one without. Hold text_lock().
PangoContext* thread_context(bool antialiased);

struct FontInfo {
    PangoFontDescription* description = nullptr; // never changed once made
    font_height height = {};

    FontInfo() = default;
    FontInfo(const FontInfo&) = delete;
    FontInfo& operator=(const FontInfo&) = delete;
    ~FontInfo();
};

// The description and metrics of a font, cached. Takes text_lock() on a
// miss, so it must not be called with that lock held.
std::shared_ptr<const FontInfo> font_info(const BFont& font);

bool is_antialiased(const BFont& font);

// The underline and strikethrough the font's face asks for over [start,
// end), each set explicitly, on or off, so that a run's face overrides the
// face of the text around it.
void add_face_attributes(PangoAttrList* list, const BFont& font, guint start, guint end);

// The most bytes laid out in one piece with fonts up to `size` pixels.
// Pango keeps widths as 32-bit counts of 1/1024 pixel, so one run of glyphs
// wider than about two million pixels overflows; a byte of text advances at
// most about five ems (a tab in a monospaced font).
size_t max_piece_bytes(float size);

// Appends `length` bytes of `text` to `out`, each byte that does not belong
// to a valid UTF-8 character, and each NUL, replaced by U+FFFD. When
// `replaced` is given, the offsets in `text` of those bytes are appended.
void append_sanitized(std::string& out, const char* text, size_t length,
                      std::vector<int32>* replaced);

} // namespace BPrivate

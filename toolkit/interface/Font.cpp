#include "Font.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <map>

#include "FontPrivate.h"

// Constant-initialised: usable from any static constructor and any thread.
struct BPrivate::SystemFonts {
    static const BFont kPlain;
    static const BFont kBold;
    static const BFont kFixed;
};
constinit const BFont BPrivate::SystemFonts::kPlain("DejaVu Sans", "Book", 10, B_REGULAR_FACE);
constinit const BFont BPrivate::SystemFonts::kBold("DejaVu Sans", "Bold", 10, B_BOLD_FACE);
constinit const BFont BPrivate::SystemFonts::kFixed("DejaVu Sans Mono", "Book", 12, B_REGULAR_FACE);

const BFont* be_plain_font = &BPrivate::SystemFonts::kPlain;
const BFont* be_bold_font = &BPrivate::SystemFonts::kBold;
const BFont* be_fixed_font = &BPrivate::SystemFonts::kFixed;

namespace BPrivate
{

namespace
{

const float kMinSize = 1;
const float kMaxSize = 1000;
const uint16 kSlantAndWeight = B_BOLD_FACE | B_ITALIC_FACE;

// -- the font map and the per-thread contexts -------------------------------

// Guarded by text_lock(). Made once and kept for the life of the process:
// layouts of exited threads may still hold its fonts.
PangoFontMap* sFontMap = nullptr;

PangoFontMap* font_map()
{
    if (sFontMap == nullptr) {
        // Pango loads fontconfig's configuration on a thread of its own and
        // hands it over with glib's futex-based locks, which ThreadSanitizer
        // cannot see. Loading it here first, on this thread, leaves that
        // thread nothing to do. Fontconfig comes in with pango, so it is
        // looked up rather than linked.
        using InitFunction = int (*)();
        if (auto init = reinterpret_cast<InitFunction>(dlsym(RTLD_DEFAULT, "FcInit")))
            init();
        sFontMap = pango_cairo_font_map_new();
        pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(sFontMap), 72);
    }
    return sFontMap;
}

// A thread's contexts, and the one-line layouts that StringWidth() and
// draw_string() reuse. Released when the thread ends, under the lock, since
// dropping a context can drop fonts back into the shared map.
struct ThreadText {
    PangoContext* contexts[2] = {};
    PangoLayout* lines[2] = {};

    ~ThreadText()
    {
        std::lock_guard<std::mutex> lock(text_lock());
        for (int i = 0; i < 2; i++) {
            if (lines[i] != nullptr)
                g_object_unref(lines[i]);
            if (contexts[i] != nullptr)
                g_object_unref(contexts[i]);
        }
    }
};

thread_local ThreadText tText;

PangoLayout* thread_line_layout(bool antialiased)
{
    PangoLayout*& layout = tText.lines[antialiased ? 1 : 0];
    if (layout == nullptr) {
        layout = pango_layout_new(thread_context(antialiased));
        // Newlines show as glyphs instead of starting new lines.
        pango_layout_set_single_paragraph_mode(layout, TRUE);
    }
    return layout;
}

// -- installed families ----------------------------------------------------

struct FaceEntry {
    std::string name;
    PangoWeight weight;
    PangoStyle style;
    PangoStretch stretch;

    bool Bold() const { return weight >= PANGO_WEIGHT_SEMIBOLD; }
    bool Slanted() const { return style != PANGO_STYLE_NORMAL; }
    uint16 Face() const
    {
        uint16 face = (Bold() ? B_BOLD_FACE : 0) | (Slanted() ? B_ITALIC_FACE : 0);
        return face != 0 ? face : uint16(B_REGULAR_FACE);
    }
};

struct FamilyEntry {
    std::string name;
    std::vector<FaceEntry> faces;
};

// Listed once, on first use; guarded by text_lock().
std::vector<FamilyEntry>* sFamilies = nullptr;

const std::vector<FamilyEntry>& families()
{
    if (sFamilies != nullptr)
        return *sFamilies;
    sFamilies = new std::vector<FamilyEntry>;
    PangoFontFamily** list = nullptr;
    int count = 0;
    pango_font_map_list_families(font_map(), &list, &count);
    for (int i = 0; i < count; i++) {
        FamilyEntry family;
        family.name = pango_font_family_get_name(list[i]);
        PangoFontFace** faces = nullptr;
        int faceCount = 0;
        pango_font_family_list_faces(list[i], &faces, &faceCount);
        for (int j = 0; j < faceCount; j++) {
            PangoFontDescription* description = pango_font_face_describe(faces[j]);
            family.faces.push_back(FaceEntry{pango_font_face_get_face_name(faces[j]),
                                             pango_font_description_get_weight(description),
                                             pango_font_description_get_style(description),
                                             pango_font_description_get_stretch(description)});
            pango_font_description_free(description);
        }
        g_free(faces);
        sFamilies->push_back(std::move(family));
    }
    g_free(list);
    return *sFamilies;
}

// Both with text_lock() held.
const FamilyEntry* find_family(const char* name)
{
    for (const FamilyEntry& family : families()) {
        if (g_ascii_strcasecmp(family.name.c_str(), name) == 0)
            return &family;
    }
    return nullptr;
}

const FaceEntry* find_face(const FamilyEntry* family, const char* name)
{
    if (family == nullptr)
        return nullptr;
    for (const FaceEntry& face : family->faces) {
        if (g_ascii_strcasecmp(face.name.c_str(), name) == 0)
            return &face;
    }
    return nullptr;
}

// The face of `family` with the given weight class and slant, nearest to
// plain bold or regular weight and to `stretch`; null when there is none.
const FaceEntry* closest_face(const FamilyEntry& family, bool bold, bool slanted,
                              PangoStretch stretch)
{
    const FaceEntry* best = nullptr;
    int bestScore = 0;
    for (const FaceEntry& face : family.faces) {
        if (face.Bold() != bold || face.Slanted() != slanted)
            continue;
        int score = std::abs(int(face.weight) - (bold ? 700 : 400)) +
                    100 * std::abs(int(face.stretch) - int(stretch));
        if (best == nullptr || score < bestScore) {
            best = &face;
            bestScore = score;
        }
    }
    return best;
}

// For a family fontconfig substitutes because it is not installed.
void guess_from_style_name(const char* style, PangoWeight* weight, PangoStyle* slant,
                           PangoStretch* stretch)
{
    std::string lower(style);
    for (char& c : lower)
        c = g_ascii_tolower(c);
    auto has = [&](const char* word) { return lower.find(word) != std::string::npos; };
    *weight =
        has("bold") ? PANGO_WEIGHT_BOLD : (has("light") ? PANGO_WEIGHT_LIGHT : PANGO_WEIGHT_NORMAL);
    *slant = has("italic") ? PANGO_STYLE_ITALIC
                           : (has("oblique") ? PANGO_STYLE_OBLIQUE : PANGO_STYLE_NORMAL);
    *stretch = has("condensed") ? PANGO_STRETCH_SEMI_CONDENSED : PANGO_STRETCH_NORMAL;
}

// -- the font cache ----------------------------------------------------------

struct FontKey {
    font_family family;
    font_style style;
    float size;
    uint16 face;
    bool antialiased;

    int Compare(const FontKey& other) const
    {
        if (int result = strcmp(family, other.family))
            return result;
        if (int result = strcmp(style, other.style))
            return result;
        if (size != other.size)
            return size < other.size ? -1 : 1;
        if (face != other.face)
            return face < other.face ? -1 : 1;
        return int(antialiased) - int(other.antialiased);
    }
    bool operator<(const FontKey& other) const { return Compare(other) < 0; }
};

// Bounded, so that a program zooming through many sizes does not grow it
// for ever; holders keep their entries alive through the shared pointers.
const size_t kMaxCachedFonts = 256;

struct FontCache {
    std::mutex lock;
    std::map<FontKey, std::shared_ptr<const FontInfo>> fonts;
};

FontCache& font_cache()
{
    // Never destroyed, like text_lock(): threads may still measure text
    // while the process exits.
    static FontCache* cache = new FontCache;
    return *cache;
}

// The last few fonts each thread used, to skip the shared cache's lock.
struct RecentFonts {
    static const int kCount = 4;
    FontKey keys[kCount];
    std::shared_ptr<const FontInfo> infos[kCount];
    int next = 0;
};
thread_local RecentFonts tRecent;

std::shared_ptr<FontInfo> make_font_info(const FontKey& key)
{
    auto info = std::make_shared<FontInfo>();
    std::lock_guard<std::mutex> lock(text_lock());

    PangoWeight weight;
    PangoStyle slant;
    PangoStretch stretch;
    if (const FaceEntry* face = find_face(find_family(key.family), key.style)) {
        weight = face->weight;
        slant = face->style;
        stretch = face->stretch;
    } else {
        guess_from_style_name(key.style, &weight, &slant, &stretch);
    }
    if ((key.face & B_BOLD_FACE) != 0 && weight < PANGO_WEIGHT_BOLD)
        weight = PANGO_WEIGHT_BOLD;
    if ((key.face & B_ITALIC_FACE) != 0 && slant == PANGO_STYLE_NORMAL)
        slant = PANGO_STYLE_ITALIC;

    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, key.family);
    pango_font_description_set_weight(description, weight);
    pango_font_description_set_style(description, slant);
    pango_font_description_set_stretch(description, stretch);
    pango_font_description_set_absolute_size(description, key.size * PANGO_SCALE);
    info->description = description;

    // The metrics are those of a laid-out line, so that a line of text is
    // always exactly ascent + descent + leading high. Pango adds no line
    // gap of its own, so leading stays 0.
    PangoLayout* layout = pango_layout_new(thread_context(key.antialiased));
    pango_layout_set_font_description(layout, description);
    pango_layout_set_text(layout, "", 0);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    int baseline = pango_layout_get_baseline(layout);
    g_object_unref(layout);
    info->height.ascent = float(baseline) / PANGO_SCALE;
    info->height.descent = float(logical.height - baseline) / PANGO_SCALE;
    info->height.leading = 0;
    return info;
}

size_t text_length(const char* text, int32 length)
{
    if (text == nullptr)
        return 0;
    if (length < 0)
        return strlen(text);
    return strnlen(text, size_t(length));
}

// Where to cut `text` at or before `end` without splitting a character,
// but never at or before `start`.
size_t piece_end(const char* text, size_t start, size_t end)
{
    size_t cut = end;
    while (cut > start + 1 && end - cut < 3 && (uchar(text[cut]) & 0xC0) == 0x80)
        cut--;
    return (uchar(text[cut]) & 0xC0) == 0x80 ? end : cut;
}

// Lays out `text` on one line, in pieces when it is long, measuring it and
// drawing it when `context` is given. Hold text_lock().
class LineRunner
{
public:
    LineRunner(const BFont& font)
        : fInfo(font_info(font)), fLayout(nullptr), fFont(font),
          fPieceBytes(std::min<size_t>(max_piece_bytes(font.Size()), 65536))
    {
    }

    // Call once the lock is held.
    void Prepare()
    {
        fLayout = thread_line_layout(is_antialiased(fFont));
        pango_layout_set_font_description(fLayout, fInfo->description);
        if ((fFont.Face() & (B_UNDERSCORE_FACE | B_STRIKEOUT_FACE)) != 0) {
            PangoAttrList* list = pango_attr_list_new();
            add_face_attributes(list, fFont, 0, PANGO_ATTR_INDEX_TO_TEXT_END);
            pango_layout_set_attributes(fLayout, list);
            pango_attr_list_unref(list);
        } else {
            pango_layout_set_attributes(fLayout, nullptr);
        }
    }

    double Run(const char* text, size_t length, cairo_t* context = nullptr, double x = 0,
               double baselineY = 0, double clipLeft = 0, double clipRight = 0)
    {
        double advance = 0;
        for (size_t start = 0; start < length;) {
            size_t end =
                length - start > fPieceBytes ? piece_end(text, start, start + fPieceBytes) : length;
            fScratch.clear();
            append_sanitized(fScratch, text + start, end - start, nullptr);
            pango_layout_set_text(fLayout, fScratch.data(), int(fScratch.size()));
            PangoLayoutLine* line = pango_layout_get_line_readonly(fLayout, 0);
            PangoRectangle logical;
            pango_layout_line_get_extents(line, nullptr, &logical);
            double width = double(logical.width) / PANGO_SCALE;
            double left = x + advance;
            if (context != nullptr && left < clipRight && left + width > clipLeft) {
                cairo_move_to(context, left, baselineY);
                pango_cairo_show_layout_line(context, line);
            }
            advance += width;
            start = end;
        }
        return advance;
    }

private:
    std::shared_ptr<const FontInfo> fInfo;
    PangoLayout* fLayout;
    const BFont& fFont;
    size_t fPieceBytes;
    std::string fScratch;
};

} // namespace

// -- shared with TextLayout ----------------------------------------------------

std::mutex& text_lock()
{
    // Never destroyed: threads may still end, and take it, during exit.
    static std::mutex* lock = new std::mutex;
    return *lock;
}

PangoContext* thread_context(bool antialiased)
{
    PangoContext*& context = tText.contexts[antialiased ? 1 : 0];
    if (context == nullptr) {
        context = pango_font_map_create_context(font_map());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
        cairo_font_options_set_antialias(options,
                                         antialiased ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
    }
    return context;
}

FontInfo::~FontInfo()
{
    if (description != nullptr)
        pango_font_description_free(description);
}

std::shared_ptr<const FontInfo> font_info(const BFont& font)
{
    FontKey key = {};
    font.GetFamilyAndStyle(&key.family, &key.style);
    key.size = font.Size();
    key.face = font.Face() & kSlantAndWeight;
    key.antialiased = is_antialiased(font);

    RecentFonts& recent = tRecent;
    for (int i = 0; i < RecentFonts::kCount; i++) {
        if (recent.infos[i] != nullptr && recent.keys[i].Compare(key) == 0)
            return recent.infos[i];
    }

    FontCache& cache = font_cache();
    std::shared_ptr<const FontInfo> info;
    {
        std::lock_guard<std::mutex> lock(cache.lock);
        auto found = cache.fonts.find(key);
        if (found != cache.fonts.end())
            info = found->second;
    }
    if (info == nullptr) {
        // Made outside the cache's lock; should two threads race for the
        // same font, the second copy is simply dropped.
        std::shared_ptr<const FontInfo> made = make_font_info(key);
        std::lock_guard<std::mutex> lock(cache.lock);
        if (cache.fonts.size() >= kMaxCachedFonts)
            cache.fonts.clear();
        info = cache.fonts.emplace(key, made).first->second;
    }

    recent.keys[recent.next] = key;
    recent.infos[recent.next] = info;
    recent.next = (recent.next + 1) % RecentFonts::kCount;
    return info;
}

bool is_antialiased(const BFont& font)
{
    return (font.Flags() & B_DISABLE_ANTIALIASING) == 0 ||
           (font.Flags() & B_FORCE_ANTIALIASING) != 0;
}

void add_face_attributes(PangoAttrList* list, const BFont& font, guint start, guint end)
{
    PangoAttribute* underline = pango_attr_underline_new(
        (font.Face() & B_UNDERSCORE_FACE) != 0 ? PANGO_UNDERLINE_SINGLE : PANGO_UNDERLINE_NONE);
    underline->start_index = start;
    underline->end_index = end;
    pango_attr_list_insert(list, underline);
    PangoAttribute* strikeout = pango_attr_strikethrough_new((font.Face() & B_STRIKEOUT_FACE) != 0);
    strikeout->start_index = start;
    strikeout->end_index = end;
    pango_attr_list_insert(list, strikeout);
}

size_t max_piece_bytes(float size)
{
    return size_t(360000 / std::clamp(size, kMinSize, kMaxSize));
}

void append_sanitized(std::string& out, const char* text, size_t length,
                      std::vector<int32>* replaced)
{
    static const char kReplacement[] = "\xEF\xBF\xBD";
    const char* start = text;
    const char* end = text + length;
    while (start < end) {
        // Stops at the first invalid byte or NUL, as pango's own check does.
        const gchar* valid = start;
        g_utf8_validate_len(start, size_t(end - start), &valid);
        out.append(start, size_t(valid - start));
        if (valid == end)
            break;
        out.append(kReplacement, 3);
        if (replaced != nullptr)
            replaced->push_back(int32(valid - text));
        start = valid + 1;
    }
}

// -- drawing -------------------------------------------------------------------

float draw_string(_cairo* context, const BFont& font, const char* text, int32 length, float x,
                  float baselineY, rgb_color color)
{
    size_t bytes = text_length(text, length);
    if (bytes == 0)
        return 0;
    LineRunner runner(font);
    if (context == nullptr || cairo_status(context) != CAIRO_STATUS_SUCCESS) {
        std::lock_guard<std::mutex> lock(text_lock());
        runner.Prepare();
        return float(runner.Run(text, bytes));
    }

    double clipLeft, clipTop, clipRight, clipBottom;
    cairo_clip_extents(context, &clipLeft, &clipTop, &clipRight, &clipBottom);
    // Glyphs from fallback fonts may reach past the font's own ascent and
    // descent, hence the margin. A line off the clip is only measured.
    float margin = font.Size() * 2;
    bool visible = baselineY + margin >= clipTop && baselineY - margin <= clipBottom;

    cairo_save(context);
    cairo_set_source_rgb(context, color.red / 255.0, color.green / 255.0, color.blue / 255.0);
    double advance;
    {
        std::lock_guard<std::mutex> lock(text_lock());
        runner.Prepare();
        advance =
            runner.Run(text, bytes, visible ? context : nullptr, x, baselineY, clipLeft, clipRight);
    }
    cairo_new_path(context);
    cairo_restore(context);
    return float(advance);
}

} // namespace BPrivate

using namespace BPrivate;

// -- BFont ----------------------------------------------------------------------

BFont::BFont() : BFont(SystemFonts::kPlain) {}

BFont::BFont(const BFont* font) : BFont(font != nullptr ? *font : SystemFonts::kPlain) {}

status_t BFont::SetFamilyAndStyle(const font_family family, const font_style style)
{
    // Longer names than fit cannot be installed ones.
    if (family != nullptr && strnlen(family, sizeof(font_family)) == sizeof(font_family))
        return B_NAME_NOT_FOUND;
    if (style != nullptr && strnlen(style, sizeof(font_style)) == sizeof(font_style))
        return B_NAME_NOT_FOUND;

    std::string familyName;
    std::string styleName;
    uint16 face;
    {
        std::lock_guard<std::mutex> lock(text_lock());
        const FamilyEntry* entry = find_family(family != nullptr ? family : fFamily);
        if (entry == nullptr || entry->faces.empty())
            return B_NAME_NOT_FOUND;
        const FaceEntry* chosen = style != nullptr
                                      ? find_face(entry, style)
                                      : closest_face(*entry, false, false, PANGO_STRETCH_NORMAL);
        if (chosen == nullptr && style == nullptr)
            chosen = &entry->faces.front();
        if (chosen == nullptr)
            return B_NAME_NOT_FOUND;
        familyName = entry->name;
        styleName = chosen->name;
        face = chosen->Face();
    }

    memset(fFamily, 0, sizeof(fFamily));
    memset(fStyle, 0, sizeof(fStyle));
    memcpy(fFamily, familyName.data(), std::min(familyName.size(), sizeof(fFamily) - 1));
    memcpy(fStyle, styleName.data(), std::min(styleName.size(), sizeof(fStyle) - 1));
    fFace = uint16((fFace & ~(kSlantAndWeight | B_REGULAR_FACE)) | face);
    return B_OK;
}

void BFont::GetFamilyAndStyle(font_family* family, font_style* style) const
{
    if (family != nullptr)
        memcpy(*family, fFamily, sizeof(fFamily));
    if (style != nullptr)
        memcpy(*style, fStyle, sizeof(fStyle));
}

void BFont::SetSize(float size)
{
    if (!std::isnan(size))
        fSize = std::clamp(size, kMinSize, kMaxSize);
}

void BFont::SetFace(uint16 face)
{
    face = (face & kSlantAndWeight) != 0 ? uint16(face & ~B_REGULAR_FACE)
                                         : uint16(face | B_REGULAR_FACE);
    std::string styleName;
    {
        std::lock_guard<std::mutex> lock(text_lock());
        const FamilyEntry* family = find_family(fFamily);
        const FaceEntry* current = find_face(family, fStyle);
        bool bold = (face & B_BOLD_FACE) != 0;
        bool slanted = (face & B_ITALIC_FACE) != 0;
        if (family != nullptr &&
            (current == nullptr || current->Bold() != bold || current->Slanted() != slanted)) {
            PangoStretch stretch = current != nullptr ? current->stretch : PANGO_STRETCH_NORMAL;
            if (const FaceEntry* match = closest_face(*family, bold, slanted, stretch))
                styleName = match->name;
        }
    }
    if (!styleName.empty()) {
        memset(fStyle, 0, sizeof(fStyle));
        memcpy(fStyle, styleName.data(), std::min(styleName.size(), sizeof(fStyle) - 1));
    }
    fFace = face;
}

void BFont::SetShear(float shear)
{
    if (!std::isnan(shear))
        fShear = std::clamp(shear, 45.0f, 135.0f);
}

void BFont::SetRotation(float rotation)
{
    if (!std::isfinite(rotation))
        return;
    rotation = std::fmod(rotation, 360.0f);
    fRotation = rotation < 0 ? rotation + 360 : rotation;
    if (fRotation >= 360) // -tiny + 360 rounds up to 360
        fRotation = 0;
}

void BFont::GetHeight(font_height* height) const
{
    if (height != nullptr)
        *height = font_info(*this)->height;
}

float BFont::StringWidth(const char* string) const
{
    return StringWidth(string, -1);
}

float BFont::StringWidth(const char* string, int32 length) const
{
    return draw_string(nullptr, *this, string, length, 0, 0, rgb_color{});
}

void BFont::GetStringWidths(const char* strings[], const int32 lengths[], int32 count,
                            float widths[]) const
{
    if (strings == nullptr || widths == nullptr || count <= 0)
        return;
    LineRunner runner(*this);
    std::lock_guard<std::mutex> lock(text_lock());
    runner.Prepare();
    for (int32 i = 0; i < count; i++) {
        size_t bytes = text_length(strings[i], lengths != nullptr ? lengths[i] : -1);
        widths[i] = bytes > 0 ? float(runner.Run(strings[i], bytes)) : 0;
    }
}

bool BFont::operator==(const BFont& other) const
{
    return strcmp(fFamily, other.fFamily) == 0 && strcmp(fStyle, other.fStyle) == 0 &&
           fSize == other.fSize && fShear == other.fShear && fRotation == other.fRotation &&
           fFlags == other.fFlags && fFace == other.fFace;
}

void BFont::PrintToStream() const
{
    printf("BFont(\"%s\", \"%s\", size %g, face 0x%x, flags 0x%x, shear %g, rotation %g)\n",
           fFamily, fStyle, double(fSize), unsigned(fFace), unsigned(fFlags), double(fShear),
           double(fRotation));
}

#include "TextLayout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ControlLook.h"
#include "FontPrivate.h"

namespace BPrivate
{

namespace
{

// Wider than any window, narrow enough for pango's 32-bit units.
const float kMaxWrapWidth = 1000000;

// Coordinates handed to pango become 32-bit counts of 1/1024 pixel.
int pango_units(float value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(value, -kMaxWrapWidth, kMaxWrapWidth) * PANGO_SCALE);
}

float pixels(int units)
{
    return float(units) / PANGO_SCALE;
}

// Where to cut `text` at or before `limit` without splitting a valid
// character.
size_t cut_before(const char* text, size_t length, size_t limit)
{
    if (length <= limit)
        return length;
    size_t cut = limit;
    while (cut > 0 && limit - cut < 3 && (uchar(text[cut]) & 0xC0) == 0x80)
        cut--;
    return (uchar(text[cut]) & 0xC0) == 0x80 ? limit : cut;
}

} // namespace

struct TextLayout::Data {
    // The text as pango sees it, and the offsets in the original text of the
    // bytes shown as U+FFFD. Each such byte becomes three, so an original
    // offset o maps to o + 2 * (replaced bytes before o).
    std::string shown;
    std::vector<int32> replaced;
    int32 originalLength = 0;

    BFont font;
    rgb_color color = {0, 0, 0, 255};
    std::vector<TextRun> runs; // by offset
    std::shared_ptr<const FontInfo> fontInfo;
    std::vector<std::shared_ptr<const FontInfo>> runInfos;
    float width = 0;

    bool dirty = true;
    bool antialiased = true;
    PangoLayout* layout = nullptr;
    // The layout again with its colours made to read on a selection of
    // `selectedOn`; made while a selection shows, dropped with `layout`.
    PangoLayout* selected = nullptr;
    rgb_color selectedOn = {0, 0, 0, 0};
    int32 shownLimit = 0; // the bytes of `shown` laid out

    // Copied out of pango once laid out, so that most queries need neither
    // pango nor the lock. Offsets are into `shown`.
    struct Line {
        int32 start;
        int32 end;
        float top;
        float height;
        float baseline;
        float left;
    };
    std::vector<Line> lines;
    float layoutWidth = 0;
    float layoutHeight = 0;

    Data() : fontInfo(font_info(font)) {}

    ~Data()
    {
        if (layout != nullptr || selected != nullptr) {
            std::lock_guard<std::mutex> lock(text_lock());
            DropSelected();
            if (layout != nullptr)
                g_object_unref(layout);
        }
    }

    void DropSelected() // with text_lock() held
    {
        if (selected != nullptr)
            g_object_unref(selected);
        selected = nullptr;
    }

    // With text_lock() held.
    PangoLayout* SelectedLayout(rgb_color background);
    void DrawLines(cairo_t* context, PangoLayout* which, rgb_color textColor, float x, float y,
                   double clipTop, double clipBottom) const;
    // Adds the rectangles behind [start, end) of `shown` to the path.
    void SelectionPath(cairo_t* context, float x, float y, int32 start, int32 end) const;

    int32 ToShown(int32 offset) const
    {
        offset = std::clamp(offset, int32(0), originalLength);
        auto before = std::lower_bound(replaced.begin(), replaced.end(), offset);
        return offset + 2 * int32(before - replaced.begin());
    }

    int32 ToOriginal(int32 offset) const
    {
        // The replaced bytes that start at or before `offset` in `shown`.
        size_t low = 0, high = replaced.size();
        while (low < high) {
            size_t middle = (low + high) / 2;
            if (replaced[middle] + 2 * int32(middle) <= offset)
                low = middle + 1;
            else
                high = middle;
        }
        if (low == 0)
            return offset;
        size_t last = low - 1;
        if (offset < replaced[last] + 2 * int32(last) + 3)
            return replaced[last];
        return offset - 2 * int32(low);
    }

    // An original offset as an offset into what is laid out, at the start
    // of the character it falls in.
    int32 ClampShown(int32 offset) const
    {
        int32 result = std::min(ToShown(offset), shownLimit);
        while (result > 0 && (uchar(shown[size_t(result)]) & 0xC0) == 0x80)
            result--;
        return result;
    }

    int32 LineAtShown(int32 offset) const
    {
        auto after =
            std::upper_bound(lines.begin(), lines.end(), offset,
                             [](int32 value, const Line& line) { return value < line.start; });
        return std::max(int32(after - lines.begin()) - 1, int32(0));
    }

    const Line& LineClamped(int32 line) const
    {
        return lines[size_t(std::clamp(line, int32(0), int32(lines.size()) - 1))];
    }

    PangoLayoutLine* PangoLine(int32 line) const
    {
        return pango_layout_get_line_readonly(layout, std::clamp(line, 0, int(lines.size()) - 1));
    }

    void LayOut(); // with text_lock() held
};

void TextLayout::Data::LayOut()
{
    DropSelected();
    bool wantAntialiasing = is_antialiased(font);
    if (layout != nullptr && antialiased != wantAntialiasing) {
        g_object_unref(layout);
        layout = nullptr;
    }
    if (layout == nullptr) {
        antialiased = wantAntialiasing;
        layout = pango_layout_new(thread_context(antialiased));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }

    float largest = font.Size();
    for (const TextRun& run : runs)
        largest = std::max(largest, run.font.Size());
    shownLimit = int32(cut_before(shown.data(), shown.size(), max_piece_bytes(largest)));

    pango_layout_set_font_description(layout, fontInfo->description);
    pango_layout_set_width(layout, width > 0 ? pango_units(std::min(width, kMaxWrapWidth)) : -1);
    pango_layout_set_text(layout, shown.data(), shownLimit);

    PangoAttrList* list = pango_attr_list_new();
    int32 firstRun = runs.empty() ? shownLimit : ClampShown(runs.front().offset);
    if (firstRun > 0)
        add_face_attributes(list, font, 0, guint(firstRun));
    for (size_t i = 0; i < runs.size(); i++) {
        guint start = guint(ClampShown(runs[i].offset));
        guint end = guint(i + 1 < runs.size() ? ClampShown(runs[i + 1].offset) : shownLimit);
        if (start >= end)
            continue;
        PangoAttribute* attribute = pango_attr_font_desc_new(runInfos[i]->description);
        attribute->start_index = start;
        attribute->end_index = end;
        pango_attr_list_insert(list, attribute);
        const rgb_color& runColor = runs[i].color;
        attribute =
            pango_attr_foreground_new(guint16(runColor.red * 257), guint16(runColor.green * 257),
                                      guint16(runColor.blue * 257));
        attribute->start_index = start;
        attribute->end_index = end;
        pango_attr_list_insert(list, attribute);
        add_face_attributes(list, runs[i].font, start, end);
    }
    pango_layout_set_attributes(layout, list);
    pango_attr_list_unref(list);

    // Lines stack on whole pixels. Pango can shift a line by a fraction
    // when a fallback font's baseline differs (wqy-microhei at 10 px is
    // 1/128 px off DejaVu), and those fractions would add up down a
    // paragraph and blur the text.
    lines.clear();
    float top = 0;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
        int lineTop, lineBottom;
        pango_layout_iter_get_line_yrange(iter, &lineTop, &lineBottom);
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        float height = std::round(pixels(lineBottom - lineTop));
        float baseline = std::round(pixels(pango_layout_iter_get_baseline(iter) - lineTop));
        lines.push_back(Line{line->start_index, line->start_index + line->length, top, height,
                             top + baseline, pixels(logical.x)});
        top += height;
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);

    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    layoutWidth = pixels(logical.width);
    layoutHeight = top;
    dirty = false;
}

TextLayout::TextLayout() : fData(new Data) {}

TextLayout::~TextLayout() = default;

TextLayout::TextLayout(TextLayout&& other) noexcept = default;

TextLayout& TextLayout::operator=(TextLayout&& other) noexcept = default;

TextLayout::Data* TextLayout::_Ready(bool withPango) const
{
    // A moved-from layout starts again empty.
    if (fData == nullptr)
        fData.reset(new Data);
    if (fData->dirty || (withPango && fData->layout == nullptr)) {
        std::lock_guard<std::mutex> lock(text_lock());
        fData->LayOut();
    }
    return fData.get();
}

void TextLayout::Compact()
{
    if (fData == nullptr || fData->layout == nullptr)
        return;
    std::lock_guard<std::mutex> lock(text_lock());
    fData->DropSelected();
    g_object_unref(fData->layout);
    fData->layout = nullptr;
}

void TextLayout::SetText(const char* utf8, int32 length)
{
    if (fData == nullptr)
        fData.reset(new Data);
    Data& data = *fData;
    size_t bytes = 0;
    if (utf8 != nullptr)
        bytes = length < 0 ? strlen(utf8) : size_t(length);
    // No font is small enough to lay out more than this.
    bytes = cut_before(utf8, bytes, max_piece_bytes(0));
    data.shown.clear();
    data.replaced.clear();
    if (bytes > 0)
        append_sanitized(data.shown, utf8, bytes, &data.replaced);
    data.originalLength = int32(bytes);
    data.dirty = true;
}

void TextLayout::SetFont(const BFont& font)
{
    if (fData == nullptr)
        fData.reset(new Data);
    fData->fontInfo = font_info(font);
    fData->font = font;
    fData->dirty = true;
}

void TextLayout::SetColor(rgb_color color)
{
    if (fData == nullptr)
        fData.reset(new Data);
    fData->color = color;
}

void TextLayout::SetRuns(const std::vector<TextRun>& runs)
{
    if (fData == nullptr)
        fData.reset(new Data);
    Data& data = *fData;
    data.runs = runs;
    std::stable_sort(data.runs.begin(), data.runs.end(),
                     [](const TextRun& a, const TextRun& b) { return a.offset < b.offset; });
    data.runInfos.clear();
    for (const TextRun& run : data.runs)
        data.runInfos.push_back(font_info(run.font));
    data.dirty = true;
}

void TextLayout::SetWidth(float width)
{
    if (fData == nullptr)
        fData.reset(new Data);
    fData->width = std::isnan(width) ? 0 : width;
    fData->dirty = true;
}

int32 TextLayout::TextLength() const
{
    Data* data = _Ready();
    return data->ToOriginal(data->shownLimit);
}

float TextLayout::Width() const
{
    return _Ready()->layoutWidth;
}

float TextLayout::Height() const
{
    return _Ready()->layoutHeight;
}

int32 TextLayout::CountLines() const
{
    return int32(_Ready()->lines.size());
}

int32 TextLayout::LineAt(int32 offset) const
{
    Data* data = _Ready();
    return data->LineAtShown(data->ClampShown(offset));
}

float TextLayout::LineTop(int32 line) const
{
    return _Ready()->LineClamped(line).top;
}

float TextLayout::LineHeight(int32 line) const
{
    return _Ready()->LineClamped(line).height;
}

int32 TextLayout::LineStart(int32 line) const
{
    Data* data = _Ready();
    return data->ToOriginal(data->LineClamped(line).start);
}

int32 TextLayout::LineEnd(int32 line) const
{
    Data* data = _Ready();
    return data->ToOriginal(data->LineClamped(line).end);
}

int32 TextLayout::OffsetAt(BPoint point) const
{
    Data* data = _Ready(true);
    // The line from our own stacking of the lines, not from pango's.
    int32 line = 0;
    if (!std::isnan(point.y)) {
        auto below = std::upper_bound(
            data->lines.begin(), data->lines.end(), point.y,
            [](float y, const Data::Line& candidate) { return y < candidate.top; });
        line = std::max(int32(below - data->lines.begin()) - 1, int32(0));
    }
    int index = 0, trailing = 0;
    {
        std::lock_guard<std::mutex> lock(text_lock());
        pango_layout_line_x_to_index(data->PangoLine(line),
                                     pango_units(point.x - data->lines[size_t(line)].left), &index,
                                     &trailing);
    }
    // `trailing` counts the characters of the grapheme when the point is
    // past its middle.
    const char* text = data->shown.data();
    const char* end = text + data->shownLimit;
    const char* at = text + std::clamp(index, 0, int(data->shownLimit));
    for (; trailing > 0 && at < end; trailing--)
        at = g_utf8_next_char(at);
    return data->ToOriginal(int32(std::min(at, end) - text));
}

BPoint TextLayout::PointAt(int32 offset, float* lineHeight) const
{
    Data* data = _Ready(true);
    int32 shown = data->ClampShown(offset);
    int32 line = data->LineAtShown(shown);
    const Data::Line& info = data->lines[size_t(line)];
    // Pango's strong cursor: the leading edge of the character, which is
    // its right edge in right-to-left text; x is from the layout's left.
    PangoRectangle cursor;
    {
        std::lock_guard<std::mutex> lock(text_lock());
        pango_layout_get_cursor_pos(data->layout, shown, &cursor, nullptr);
    }
    if (lineHeight != nullptr)
        *lineHeight = info.height;
    return BPoint(pixels(cursor.x), info.top);
}

void TextLayout::Data::DrawLines(cairo_t* context, PangoLayout* which, rgb_color textColor, float x,
                                 float y, double clipTop, double clipBottom) const
{
    // Solid, whatever the alpha says.
    cairo_set_source_rgb(context, textColor.red / 255.0, textColor.green / 255.0,
                         textColor.blue / 255.0);
    GSList* pangoLines = pango_layout_get_lines_readonly(which);
    for (const Line& line : lines) {
        if (pangoLines == nullptr)
            break;
        double top = y + line.top;
        if (top < clipBottom && top + line.height > clipTop) {
            cairo_move_to(context, x + line.left, y + line.baseline);
            pango_cairo_show_layout_line(context, static_cast<PangoLayoutLine*>(pangoLines->data));
        }
        pangoLines = pangoLines->next;
    }
    cairo_new_path(context);
}

void TextLayout::Data::SelectionPath(cairo_t* context, float x, float y, int32 start,
                                     int32 end) const
{
    GSList* pangoLines = pango_layout_get_lines_readonly(layout);
    for (size_t i = 0; i < lines.size() && pangoLines != nullptr;
         i++, pangoLines = pangoLines->next) {
        const Line& line = lines[i];
        if (line.start >= end || line.end < start)
            continue;
        // A selection that starts where a line ends holds that line's
        // newline, unless the line only wrapped there.
        if (line.end == start && i + 1 < lines.size() && lines[i + 1].start == line.end)
            continue;
        PangoLayoutLine* pangoLine = static_cast<PangoLayoutLine*>(pangoLines->data);
        int* ranges = nullptr;
        int count = 0;
        pango_layout_line_get_x_ranges(pangoLine, std::max(start, line.start), end, &ranges,
                                       &count);
        for (int r = 0; r < count; r++) {
            cairo_rectangle(context, x + pixels(ranges[2 * r]), y + line.top,
                            pixels(ranges[2 * r + 1] - ranges[2 * r]), line.height);
        }
        g_free(ranges);
    }
}

PangoLayout* TextLayout::Data::SelectedLayout(rgb_color background)
{
    if (selected != nullptr && memcmp(&selectedOn, &background, sizeof(background)) == 0)
        return selected;
    DropSelected();
    selected = pango_layout_copy(layout);
    selectedOn = background;
    PangoAttrList* attributes = pango_layout_get_attributes(layout);
    if (attributes != nullptr) {
        PangoAttrList* readable = pango_attr_list_copy(attributes);
        // The filter keeps every attribute; it is only the way to visit
        // each one and change its colour in place.
        pango_attr_list_filter(
            readable,
            [](PangoAttribute* attribute, gpointer on) -> gboolean {
                if (attribute->klass->type == PANGO_ATTR_FOREGROUND) {
                    PangoColor& c = reinterpret_cast<PangoAttrColor*>(attribute)->color;
                    rgb_color value = {uint8(c.red / 257), uint8(c.green / 257),
                                       uint8(c.blue / 257), 255};
                    value = readable_on(value, *static_cast<rgb_color*>(on));
                    c.red = guint16(value.red * 257);
                    c.green = guint16(value.green * 257);
                    c.blue = guint16(value.blue * 257);
                }
                return FALSE;
            },
            &background);
        pango_layout_set_attributes(selected, readable);
        pango_attr_list_unref(readable);
    }
    return selected;
}

void TextLayout::Draw(_cairo* context, float x, float y) const
{
    if (context == nullptr || cairo_status(context) != CAIRO_STATUS_SUCCESS)
        return;
    double clipLeft, clipTop, clipRight, clipBottom;
    cairo_clip_extents(context, &clipLeft, &clipTop, &clipRight, &clipBottom);
    // Off the clip, a compacted layout need not be laid out again.
    if (y + Height() <= clipTop || y >= clipBottom)
        return;
    Data* data = _Ready(true);

    cairo_save(context);
    {
        std::lock_guard<std::mutex> lock(text_lock());
        data->DrawLines(context, data->layout, data->color, x, y, clipTop, clipBottom);
    }
    cairo_restore(context);
}

void TextLayout::DrawSelection(_cairo* context, float x, float y, int32 from, int32 to,
                               rgb_color color) const
{
    if (context == nullptr || cairo_status(context) != CAIRO_STATUS_SUCCESS)
        return;
    Data* data = _Ready(true);
    int32 start = data->ClampShown(std::min(from, to));
    int32 end = data->ClampShown(std::max(from, to));
    if (start >= end)
        return;

    cairo_save(context);
    cairo_new_path(context);
    cairo_set_source_rgb(context, color.red / 255.0, color.green / 255.0, color.blue / 255.0);
    {
        std::lock_guard<std::mutex> lock(text_lock());
        data->SelectionPath(context, x, y, start, end);
    }
    cairo_fill(context);
    cairo_restore(context);
}

void TextLayout::DrawSelected(_cairo* context, float x, float y, int32 from, int32 to,
                              rgb_color color) const
{
    if (context == nullptr || cairo_status(context) != CAIRO_STATUS_SUCCESS)
        return;
    double clipLeft, clipTop, clipRight, clipBottom;
    cairo_clip_extents(context, &clipLeft, &clipTop, &clipRight, &clipBottom);
    if (y + Height() <= clipTop || y >= clipBottom)
        return;
    Data* data = _Ready(true);
    int32 start = data->ClampShown(std::min(from, to));
    int32 end = data->ClampShown(std::max(from, to));
    if (start >= end) {
        Draw(context, x, y);
        return;
    }

    std::lock_guard<std::mutex> lock(text_lock());
    // Outside the selection the text as it is: the selection's shape cut
    // out of the clip.
    cairo_save(context);
    cairo_new_path(context);
    cairo_rectangle(context, clipLeft, clipTop, clipRight - clipLeft, clipBottom - clipTop);
    data->SelectionPath(context, x, y, start, end);
    cairo_set_fill_rule(context, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(context);
    data->DrawLines(context, data->layout, data->color, x, y, clipTop, clipBottom);
    cairo_restore(context);

    // Inside it, the background and the text in readable colours.
    cairo_save(context);
    cairo_new_path(context);
    data->SelectionPath(context, x, y, start, end);
    cairo_clip_preserve(context);
    cairo_set_source_rgb(context, color.red / 255.0, color.green / 255.0, color.blue / 255.0);
    cairo_fill(context);
    PangoLayout* readable = data->SelectedLayout(color);
    data->DrawLines(context, readable, readable_on(data->color, color), x, y, clipTop, clipBottom);
    cairo_restore(context);
}

} // namespace BPrivate

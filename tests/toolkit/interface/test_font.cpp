#include <Font.h>
#include <TextLayout.h>

#include <atomic>
#include <cairo.h>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using BPrivate::draw_string;
using BPrivate::TextLayout;
using BPrivate::TextRun;

namespace
{

// An ARGB32 image, transparent until drawn on.
class Canvas
{
public:
    Canvas(int width, int height)
        : fWidth(width), fHeight(height),
          fSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
          fContext(cairo_create(fSurface))
    {
    }
    ~Canvas()
    {
        cairo_destroy(fContext);
        cairo_surface_destroy(fSurface);
    }

    cairo_t* Context() const { return fContext; }
    int Width() const { return fWidth; }
    int Height() const { return fHeight; }

    // Premultiplied, as cairo stores it.
    uint32 Pixel(int x, int y) const
    {
        cairo_surface_flush(fSurface);
        const uchar* row =
            cairo_image_surface_get_data(fSurface) + y * cairo_image_surface_get_stride(fSurface);
        uint32 pixel;
        memcpy(&pixel, row + 4 * x, 4);
        return pixel;
    }
    int Alpha(int x, int y) const { return Pixel(x, y) >> 24; }
    int Red(int x, int y) const { return (Pixel(x, y) >> 16) & 0xFF; }
    int Green(int x, int y) const { return (Pixel(x, y) >> 8) & 0xFF; }
    int Blue(int x, int y) const { return Pixel(x, y) & 0xFF; }

    // Inked pixels in [left, right) x [top, bottom).
    int CountInked(int left, int top, int right, int bottom) const
    {
        int count = 0;
        for (int y = std::max(top, 0); y < std::min(bottom, fHeight); y++) {
            for (int x = std::max(left, 0); x < std::min(right, fWidth); x++)
                count += Alpha(x, y) != 0;
        }
        return count;
    }
    int CountInked() const { return CountInked(0, 0, fWidth, fHeight); }

private:
    int fWidth;
    int fHeight;
    cairo_surface_t* fSurface;
    cairo_t* fContext;
};

BFont font_with(const BFont& base, float size, uint16 face = 0, uint32 flags = 0)
{
    BFont font(base);
    font.SetSize(size);
    if (face != 0)
        font.SetFace(face);
    font.SetFlags(flags);
    return font;
}

float line_height(const BFont& font)
{
    font_height height;
    font.GetHeight(&height);
    return height.ascent + height.descent + height.leading;
}

bool wqy_installed()
{
    BFont font;
    return font.SetFamilyAndStyle("WenQuanYi Micro Hei", nullptr) == B_OK;
}

const char* kProse = "Pelmor lays out each line of a channel once, wraps it at the width of the "
                     "window and draws only the lines that show; scrolling back through a day "
                     "of chatter should never wait on text.";

} // namespace

// -- metrics -------------------------------------------------------------------

TEST(FontMetrics, SystemFontsHaveTheirHintedHeights)
{
    struct {
        const BFont* font;
        float ascent, descent, leading, line;
    } expected[] = {
        {be_plain_font, 10, 3, 0, 13},
        {be_bold_font, 10, 3, 0, 13},
        {be_fixed_font, 12, 3, 0, 15},
    };
    for (auto& e : expected) {
        font_height height;
        e.font->GetHeight(&height);
        EXPECT_EQ(height.ascent, e.ascent);
        EXPECT_EQ(height.descent, e.descent);
        EXPECT_EQ(height.leading, e.leading);
        TextLayout layout;
        layout.SetFont(*e.font);
        layout.SetText("Hxgj", -1);
        EXPECT_EQ(layout.Height(), e.line);
        EXPECT_EQ(layout.LineHeight(0), e.line);
    }
}

TEST(FontMetrics, LaidOutLineIsAscentPlusDescentPlusLeadingAtEverySize)
{
    float lastAscent = 0;
    for (float size = 5; size <= 48; size += 1.5f) {
        for (const BFont* base : {be_plain_font, be_fixed_font}) {
            BFont font = font_with(*base, size);
            TextLayout layout;
            layout.SetFont(font);
            layout.SetText("Tygj", -1);
            EXPECT_EQ(layout.Height(), line_height(font)) << size;
        }
        font_height height;
        font_with(*be_plain_font, size).GetHeight(&height);
        EXPECT_GE(height.ascent, lastAscent) << size;
        lastAscent = height.ascent;
    }
}

TEST(FontMetrics, MonospacedCharactersAreSevenPixelsWide)
{
    EXPECT_EQ(be_fixed_font->StringWidth(""), 0);
    for (const char* text : {"x", "WiW", "iiiii", "<nick> hello",
                             "caf\xC3\xA9 stra\xC3\x9F"
                             "e"}) {
        int32 characters = 0;
        for (const char* p = text; *p != '\0'; p++)
            characters += (uchar(*p) & 0xC0) != 0x80;
        EXPECT_EQ(be_fixed_font->StringWidth(text), 7.0f * characters) << text;
    }
    std::string line(80, 'm');
    EXPECT_EQ(be_fixed_font->StringWidth(line.c_str()), 560);
}

TEST(FontMetrics, ProportionalWidthsAddUpAndFollowTheLength)
{
    const BFont& font = *be_plain_font;
    EXPECT_LT(font.StringWidth("iii"), font.StringWidth("WWW"));
    EXPECT_GT(font.StringWidth("iii"), 0);
    EXPECT_EQ(font.StringWidth(""), 0);
    EXPECT_EQ(font.StringWidth("hello") + font.StringWidth(" world"),
              font.StringWidth("hello world"));

    // Lengths count bytes, stop at a NUL, and negative means up to it.
    EXPECT_EQ(font.StringWidth("hello world", 5), font.StringWidth("hello"));
    EXPECT_EQ(font.StringWidth("hello", 500), font.StringWidth("hello"));
    EXPECT_EQ(font.StringWidth("ab\0cd", 5), font.StringWidth("ab"));
    EXPECT_EQ(font.StringWidth("hello", -1), font.StringWidth("hello"));
    EXPECT_EQ(font.StringWidth("hello", 0), 0);
}

TEST(FontMetrics, GetStringWidthsMatchesStringWidth)
{
    const char* strings[] = {"#pelmor", "WWW", nullptr, "caf\xC3\xA9 au lait", "", "tail"};
    const int32 lengths[] = {-1, 2, 4, -1, 0, 3};
    float widths[6] = {-1, -1, -1, -1, -1, -1};
    be_bold_font->GetStringWidths(strings, lengths, 6, widths);
    EXPECT_EQ(widths[0], be_bold_font->StringWidth("#pelmor"));
    EXPECT_EQ(widths[1], be_bold_font->StringWidth("WW"));
    EXPECT_EQ(widths[2], 0);
    EXPECT_EQ(widths[3], be_bold_font->StringWidth(strings[3]));
    EXPECT_EQ(widths[4], 0);
    EXPECT_EQ(widths[5], be_bold_font->StringWidth("tai"));

    be_bold_font->GetStringWidths(strings, nullptr, 2, widths);
    EXPECT_EQ(widths[1], be_bold_font->StringWidth("WWW"));
}

TEST(FontMetrics, BoldIsWiderAndSizesScale)
{
    const char* text = "The quick brown fox, 12:45";
    EXPECT_GT(be_bold_font->StringWidth(text), be_plain_font->StringWidth(text));

    float base = be_plain_font->StringWidth(text);
    for (float factor : {2.0f, 3.0f, 5.0f}) {
        BFont larger = font_with(*be_plain_font, 10 * factor);
        // Hinting rounds each advance, so only roughly proportional.
        EXPECT_NEAR(larger.StringWidth(text) / base, factor, 0.1 * factor) << factor;
        EXPECT_NEAR(line_height(larger) / 13, factor, 0.15 * factor) << factor;
    }
}

// -- properties -----------------------------------------------------------------

TEST(FontProperties, DefaultIsThePlainFontAndCopiesCompareEqual)
{
    EXPECT_EQ(BFont(), *be_plain_font);
    EXPECT_EQ(BFont(static_cast<const BFont*>(nullptr)), *be_plain_font);
    EXPECT_EQ(BFont(be_fixed_font), *be_fixed_font);
    EXPECT_NE(*be_plain_font, *be_bold_font);
    EXPECT_NE(*be_plain_font, *be_fixed_font);

    BFont copy;
    copy = *be_bold_font;
    EXPECT_EQ(copy, *be_bold_font);
    font_family family;
    font_style style;
    copy.GetFamilyAndStyle(&family, &style);
    EXPECT_STREQ(family, "DejaVu Sans");
    EXPECT_STREQ(style, "Bold");
    EXPECT_EQ(copy.Face(), B_BOLD_FACE);
    EXPECT_EQ(be_plain_font->Face(), B_REGULAR_FACE);
    EXPECT_EQ(be_fixed_font->Size(), 12);
}

TEST(FontProperties, EveryPropertyTakesPartInEquality)
{
    void (*changes[])(BFont&) = {
        [](BFont& f) { f.SetSize(11); },
        [](BFont& f) { f.SetFace(B_UNDERSCORE_FACE); },
        [](BFont& f) { f.SetFlags(B_DISABLE_ANTIALIASING); },
        [](BFont& f) { f.SetShear(100); },
        [](BFont& f) { f.SetRotation(90); },
        [](BFont& f) { f.SetFamilyAndStyle(nullptr, "Oblique"); },
        [](BFont& f) { f.SetFamilyAndStyle("DejaVu Serif", nullptr); },
    };
    for (auto change : changes) {
        BFont font;
        change(font);
        EXPECT_NE(font, *be_plain_font);
    }
}

TEST(FontProperties, PrintToStreamNamesTheFont)
{
    testing::internal::CaptureStdout();
    be_fixed_font->PrintToStream();
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("DejaVu Sans Mono"), std::string::npos) << printed;
    EXPECT_NE(printed.find("size 12"), std::string::npos) << printed;
}

TEST(FontProperties, SetFamilyAndStyleTakesOnlyInstalledFaces)
{
    BFont font;
    font_family family;
    font_style style;

    // Matched without regard to case, stored as installed.
    EXPECT_EQ(font.SetFamilyAndStyle("dejavu sans mono", "BOLD"), B_OK);
    font.GetFamilyAndStyle(&family, &style);
    EXPECT_STREQ(family, "DejaVu Sans Mono");
    EXPECT_STREQ(style, "Bold");
    EXPECT_EQ(font.Face(), B_BOLD_FACE);

    BFont before = font;
    EXPECT_EQ(font.SetFamilyAndStyle("No Such Family", "Bold"), B_NAME_NOT_FOUND);
    EXPECT_EQ(font.SetFamilyAndStyle("DejaVu Sans", "Wobbly"), B_NAME_NOT_FOUND);
    char longName[sizeof(font_family)];
    memset(longName, 'a', sizeof(longName)); // no NUL within the length
    EXPECT_EQ(font.SetFamilyAndStyle(longName, nullptr), B_NAME_NOT_FOUND);
    EXPECT_EQ(font, before);

    // No style: the family's regular one. No family: the current one.
    EXPECT_EQ(font.SetFamilyAndStyle("DejaVu Sans", nullptr), B_OK);
    font.GetFamilyAndStyle(&family, &style);
    EXPECT_STREQ(style, "Book");
    EXPECT_EQ(font.Face(), B_REGULAR_FACE);
    EXPECT_EQ(font.SetFamilyAndStyle(nullptr, "Bold Oblique"), B_OK);
    font.GetFamilyAndStyle(&family, &style);
    EXPECT_STREQ(family, "DejaVu Sans");
    EXPECT_EQ(font.Face(), B_BOLD_FACE | B_ITALIC_FACE);

    // Decorations stay; weight and slant follow the style.
    font.SetFace(B_UNDERSCORE_FACE | B_BOLD_FACE);
    EXPECT_EQ(font.SetFamilyAndStyle(nullptr, "Oblique"), B_OK);
    EXPECT_EQ(font.Face(), B_UNDERSCORE_FACE | B_ITALIC_FACE);
}

TEST(FontProperties, SetFacePicksTheMatchingStyle)
{
    BFont font;
    font.SetFace(B_BOLD_FACE);
    EXPECT_EQ(font, *be_bold_font);
    EXPECT_EQ(font.StringWidth(kProse), be_bold_font->StringWidth(kProse));

    font_family family;
    font_style style;
    font.SetFace(B_BOLD_FACE | B_ITALIC_FACE);
    font.GetFamilyAndStyle(&family, &style);
    EXPECT_STREQ(style, "Bold Oblique");

    font.SetFace(0);
    font.GetFamilyAndStyle(&family, &style);
    EXPECT_STREQ(style, "Book");
    EXPECT_EQ(font.Face(), B_REGULAR_FACE);
    EXPECT_EQ(font.StringWidth(kProse), be_plain_font->StringWidth(kProse));
}

TEST(FontProperties, OutOfRangeValuesAreClamped)
{
    BFont font;
    for (float size : {0.0f, -12.0f, 1e-30f}) {
        font.SetSize(size);
        EXPECT_EQ(font.Size(), 1) << size;
    }
    font.SetSize(1e9f);
    EXPECT_EQ(font.Size(), 1000);
    font.SetSize(NAN);
    EXPECT_EQ(font.Size(), 1000);
    EXPECT_GT(font.StringWidth("W"), 500);
    EXPECT_GT(line_height(font), 1000);
    font.SetSize(1);
    EXPECT_GT(font.StringWidth("WWW"), 0);
    EXPECT_GT(line_height(font), 0);

    font.SetShear(10);
    EXPECT_EQ(font.Shear(), 45);
    font.SetShear(200);
    EXPECT_EQ(font.Shear(), 135);
    font.SetRotation(-90);
    EXPECT_EQ(font.Rotation(), 270);
    font.SetRotation(720);
    EXPECT_EQ(font.Rotation(), 0);
    font.SetRotation(INFINITY);
    EXPECT_EQ(font.Rotation(), 0);
}

// -- drawing -----------------------------------------------------------------------

TEST(FontDrawing, DrawStringAdvancesByStringWidth)
{
    Canvas canvas(400, 40);
    const BFont fonts[] = {*be_plain_font, *be_bold_font, *be_fixed_font,
                           font_with(*be_plain_font, 17, B_UNDERSCORE_FACE),
                           font_with(*be_plain_font, 10, 0, B_DISABLE_ANTIALIASING)};
    for (const BFont& font : fonts) {
        for (const char* text : {"<mick> lunch?", "\xE6\xBC\xA2\xE5\xAD\x97 kanji", "a\tb\nc"}) {
            EXPECT_EQ(draw_string(canvas.Context(), font, text, -1, 3, 20, make_color(0, 0, 0)),
                      font.StringWidth(text))
                << text;
        }
    }
}

TEST(FontDrawing, DrawsBetweenAscentAndDescentFromTheBaseline)
{
    Canvas canvas(200, 60);
    const float x = 10, baseline = 40;
    float advance = draw_string(canvas.Context(), *be_plain_font, "Hgjpqy", -1, x, baseline,
                                make_color(0, 0, 0));
    EXPECT_EQ(canvas.CountInked(0, 0, 200, int(baseline) - 10), 0);            // above the ascent
    EXPECT_EQ(canvas.CountInked(0, int(baseline) + 3, 200, 60), 0);            // below the descent
    EXPECT_GT(canvas.CountInked(0, int(baseline) - 1, 200, int(baseline)), 0); // stems
    EXPECT_GT(canvas.CountInked(0, int(baseline), 200, int(baseline) + 3), 0); // descenders
    EXPECT_EQ(canvas.CountInked(0, 0, int(x) - 1, 60), 0);
    EXPECT_EQ(canvas.CountInked(int(x + advance) + 1, 0, 200, 60), 0);
}

TEST(FontDrawing, DrawsTheColourSolidWhateverItsAlpha)
{
    Canvas canvas(200, 60);
    draw_string(canvas.Context(), font_with(*be_plain_font, 30), "HIE", -1, 5, 40,
                make_color(200, 30, 60, 0));
    int opaque = 0, partial = 0;
    for (int y = 0; y < canvas.Height(); y++) {
        for (int x = 0; x < canvas.Width(); x++) {
            int alpha = canvas.Alpha(x, y);
            if (alpha == 0)
                continue;
            // Edges are the colour at partial coverage, premultiplied.
            (alpha == 255 ? opaque : partial)++;
            EXPECT_NEAR(canvas.Red(x, y), 200 * alpha / 255.0, 1.5);
            EXPECT_NEAR(canvas.Green(x, y), 30 * alpha / 255.0, 1.5);
            EXPECT_NEAR(canvas.Blue(x, y), 60 * alpha / 255.0, 1.5);
        }
    }
    EXPECT_GT(opaque, 100);
    EXPECT_GT(partial, 0);
}

TEST(FontDrawing, DisabledAntialiasingDrawsOnlyWholePixels)
{
    auto count = [](const BFont& font, int* partial) {
        Canvas canvas(300, 40);
        draw_string(canvas.Context(), font, "Pelmor waves /\\ O%", -1, 4, 28, make_color(0, 0, 0));
        *partial = 0;
        int opaque = 0;
        for (int y = 0; y < canvas.Height(); y++) {
            for (int x = 0; x < canvas.Width(); x++) {
                int alpha = canvas.Alpha(x, y);
                *partial += alpha != 0 && alpha != 255;
                opaque += alpha == 255;
            }
        }
        return opaque;
    };
    int partial;
    EXPECT_GT(count(font_with(*be_plain_font, 16, 0, B_DISABLE_ANTIALIASING), &partial), 50);
    EXPECT_EQ(partial, 0);
    count(font_with(*be_plain_font, 16), &partial);
    EXPECT_GT(partial, 50);
    // Forcing wins over disabling.
    count(font_with(*be_plain_font, 16, 0, B_DISABLE_ANTIALIASING | B_FORCE_ANTIALIASING),
          &partial);
    EXPECT_GT(partial, 50);
}

TEST(FontDrawing, UnderscoreAndStrikeoutCrossTheGaps)
{
    // Between the x's there is nothing to draw but the lines.
    const char* text = "x      x";
    const int baseline = 30;
    auto inkInGap = [&](uint16 face, int top, int bottom) {
        Canvas canvas(200, 50);
        BFont font = font_with(*be_plain_font, 16, face);
        float start = font.StringWidth("x") + 2;
        float end = font.StringWidth("x      ") - 2;
        draw_string(canvas.Context(), font, text, -1, 0, baseline, make_color(0, 0, 0));
        return canvas.CountInked(int(start), top, int(end), bottom);
    };
    EXPECT_EQ(inkInGap(B_REGULAR_FACE, 0, 50), 0);
    EXPECT_GT(inkInGap(B_UNDERSCORE_FACE, baseline, 50), 0);
    EXPECT_EQ(inkInGap(B_UNDERSCORE_FACE, 0, baseline), 0);
    EXPECT_GT(inkInGap(B_STRIKEOUT_FACE, 0, baseline), 0);
    EXPECT_EQ(inkInGap(B_STRIKEOUT_FACE, baseline, 50), 0);
}

TEST(FontDrawing, LeavesTheContextAsItWasAndSkipsWhatIsClipped)
{
    Canvas canvas(100, 100);
    cairo_t* cr = canvas.Context();
    cairo_set_source_rgb(cr, 0, 1, 0);
    cairo_pattern_t* source = cairo_get_source(cr);
    cairo_rectangle(cr, 0, 0, 100, 50);
    cairo_clip(cr);

    // Below the clip, and far right of it: measured, not drawn.
    float advance = draw_string(cr, *be_plain_font, kProse, -1, 0, 90, make_color(0, 0, 0));
    EXPECT_EQ(advance, be_plain_font->StringWidth(kProse));
    EXPECT_EQ(draw_string(cr, *be_plain_font, kProse, -1, 500, 20, make_color(0, 0, 0)), advance);
    EXPECT_EQ(canvas.CountInked(), 0);

    EXPECT_EQ(draw_string(cr, *be_plain_font, "ok", -1, 0, 20, make_color(0, 0, 0)),
              be_plain_font->StringWidth("ok"));
    EXPECT_GT(canvas.CountInked(), 0);
    EXPECT_EQ(cairo_get_source(cr), source);
    EXPECT_FALSE(cairo_has_current_point(cr));
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
}

// -- bad input ------------------------------------------------------------------------

TEST(FontInput, InvalidUtf8IsMeasuredAndDrawnAsReplacementCharacters)
{
    const BFont& font = *be_plain_font;
    const std::string fffd = "\xEF\xBF\xBD";
    struct {
        const char* bad;
        std::string good;
    } cases[] = {
        {"a\xFF\xFE"
         "b",
         "a" + fffd + fffd + "b"},
        {"end\xE2\x82", "end" + fffd + fffd},            // cut short
        {"\xC0\xAF", fffd + fffd},                       // overlong
        {"\xED\xA0\x80", fffd + fffd + fffd},            // a surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd}, // past U+10FFFF
    };
    Canvas canvas(300, 40);
    for (auto& c : cases) {
        float width = font.StringWidth(c.bad);
        EXPECT_GT(width, 0) << c.good;
        EXPECT_EQ(width, font.StringWidth(c.good.c_str())) << c.good;
        EXPECT_EQ(draw_string(canvas.Context(), font, c.bad, -1, 0, 20, make_color(0, 0, 0)),
                  width);
    }
    EXPECT_GT(canvas.CountInked(), 0);
}

TEST(FontInput, HugeStringsAreMeasuredWithoutOverflow)
{
    // About six million pixels: past what pango can hold in one piece.
    const std::string word = "Pelmor ";
    std::string huge;
    for (int i = 0; i < 150000; i++)
        huge += word;
    float expected = 150000 * be_plain_font->StringWidth(word.c_str());
    float width = be_plain_font->StringWidth(huge.c_str());
    EXPECT_NEAR(width, expected, expected * 0.001);

    Canvas canvas(200, 30);
    EXPECT_EQ(
        draw_string(canvas.Context(), *be_plain_font, huge.c_str(), -1, 0, 20, make_color(0, 0, 0)),
        width);
    EXPECT_GT(canvas.CountInked(), 0);

    std::string junk(300000, '\xFF');
    EXPECT_NEAR(be_plain_font->StringWidth(junk.c_str()),
                300000 * be_plain_font->StringWidth("\xEF\xBF\xBD"), 300000 * 0.01);

    TextLayout layout;
    layout.SetText(huge.data(), int32(huge.size()));
    EXPECT_GT(layout.TextLength(), 1000);
    EXPECT_LT(layout.TextLength(), int32(huge.size()));
    EXPECT_GT(layout.Width(), 0);
    EXPECT_LT(layout.Width(), 2e6);
    EXPECT_EQ(layout.OffsetAt(BPoint(1e9, 1e9)), layout.TextLength());
    layout.SetWidth(300);
    EXPECT_GT(layout.CountLines(), 10);
    EXPECT_LE(layout.Width(), 300);
    layout.Draw(canvas.Context(), 0, 0);
}

TEST(FontInput, NullsAndEmptiesAreHarmless)
{
    EXPECT_EQ(be_plain_font->StringWidth(nullptr), 0);
    EXPECT_EQ(be_plain_font->StringWidth(nullptr, 12), 0);
    EXPECT_EQ(draw_string(nullptr, *be_plain_font, "abc", -1, 0, 0, make_color(0, 0, 0)),
              be_plain_font->StringWidth("abc"));
    be_plain_font->GetStringWidths(nullptr, nullptr, 3, nullptr);
    float width = -1;
    const char* strings[] = {"abc"};
    be_plain_font->GetStringWidths(strings, nullptr, 0, &width);
    EXPECT_EQ(width, -1);
    be_plain_font->GetHeight(nullptr);
    be_plain_font->GetFamilyAndStyle(nullptr, nullptr);

    TextLayout layout;
    layout.SetText(nullptr, 40);
    EXPECT_EQ(layout.TextLength(), 0);
    EXPECT_EQ(layout.CountLines(), 1);
    EXPECT_EQ(layout.Height(), 13);
    EXPECT_EQ(layout.Width(), 0);
    EXPECT_EQ(layout.OffsetAt(BPoint(50, 50)), 0);
    EXPECT_EQ(layout.PointAt(12), BPoint(0, 0));
    EXPECT_EQ(layout.LineStart(-5), 0);
    EXPECT_EQ(layout.LineEnd(99), 0);
    layout.Draw(nullptr, 0, 0);
    layout.DrawSelection(nullptr, 0, 0, 0, 10, make_color(0, 0, 0));

    // A moved-from layout is empty again, not broken.
    layout.SetText("moved", -1);
    TextLayout other(std::move(layout));
    EXPECT_EQ(other.TextLength(), 5);
    EXPECT_EQ(layout.TextLength(), 0);
}

// -- text layout ------------------------------------------------------------------

TEST(TextLayout, WrapsAtWordsWithinTheWidth)
{
    const float width = 150;
    TextLayout layout;
    layout.SetText(kProse, -1);
    layout.SetWidth(width);
    int32 lines = layout.CountLines();
    ASSERT_GT(lines, 3);
    EXPECT_LE(layout.Width(), width);
    EXPECT_EQ(layout.Height(), 13.0f * lines);
    EXPECT_EQ(layout.LineStart(0), 0);
    EXPECT_EQ(layout.LineEnd(lines - 1), int32(strlen(kProse)));
    for (int32 line = 0; line < lines; line++) {
        int32 start = layout.LineStart(line);
        int32 end = layout.LineEnd(line);
        EXPECT_LT(start, end);
        EXPECT_EQ(layout.LineTop(line), 13.0f * line);
        EXPECT_EQ(layout.LineHeight(line), 13);
        if (line > 0) {
            EXPECT_EQ(start, layout.LineEnd(line - 1));
            EXPECT_EQ(kProse[start - 1], ' ') << "broke inside a word at " << start;
        }
        std::string shown(kProse + start, size_t(end - start));
        while (!shown.empty() && shown.back() == ' ')
            shown.pop_back();
        EXPECT_LE(be_plain_font->StringWidth(shown.c_str()), width) << shown;
        for (int32 offset = start; offset < end; offset++)
            EXPECT_EQ(layout.LineAt(offset), line) << offset;
    }
    EXPECT_EQ(layout.LineAt(int32(strlen(kProse))), lines - 1);

    // Unwrapped again: one line as wide as the text.
    layout.SetWidth(0);
    EXPECT_EQ(layout.CountLines(), 1);
    EXPECT_EQ(layout.Width(), be_plain_font->StringWidth(kProse));
}

TEST(TextLayout, BreaksAWordWiderThanALine)
{
    std::string word(100, 'm');
    TextLayout layout;
    layout.SetText(word.c_str(), -1);
    layout.SetWidth(50);
    ASSERT_GT(layout.CountLines(), 5);
    EXPECT_LE(layout.Width(), 50);
    for (int32 line = 0; line < layout.CountLines(); line++)
        EXPECT_LT(layout.LineStart(line), layout.LineEnd(line));
}

TEST(TextLayout, NewlinesStartLines)
{
    TextLayout layout;
    layout.SetText("one\ntwo", -1);
    ASSERT_EQ(layout.CountLines(), 2);
    EXPECT_EQ(layout.LineEnd(0), 3);
    EXPECT_EQ(layout.LineStart(1), 4);
    EXPECT_EQ(layout.LineAt(3), 0);
    EXPECT_EQ(layout.LineAt(4), 1);
    EXPECT_EQ(layout.Height(), 26);
    EXPECT_EQ(layout.OffsetAt(layout.PointAt(3)), 3);
}

TEST(TextLayout, CaretPositionsRoundTrip)
{
    // Latin, accents, CJK, an em dash: one, two, three bytes a character.
    const char* text = "Gr\xC3\xBC\xC3\x9F"
                       "e, \xE4\xB8\x96\xE7\x95\x8C! na\xC3\xAFve caf\xC3\xA9 \xE2\x80\x94 "
                       "mixed text wrapped here and there";
    int32 length = int32(strlen(text));
    TextLayout layout;
    layout.SetText(text, length);
    layout.SetWidth(80);
    ASSERT_GT(layout.CountLines(), 2);

    float lastX = -1;
    int32 lastLine = -1;
    for (int32 offset = 0; offset <= length; offset++) {
        float height = 0;
        BPoint point = layout.PointAt(offset, &height);
        int32 line = layout.LineAt(offset);
        if (offset < length && (uchar(text[offset]) & 0xC0) == 0x80) {
            // Inside a character: where the character starts.
            int32 start = offset;
            while ((uchar(text[start]) & 0xC0) == 0x80)
                start--;
            EXPECT_EQ(point, layout.PointAt(start)) << offset;
            continue;
        }
        EXPECT_EQ(layout.OffsetAt(point), offset) << offset;
        EXPECT_EQ(point.y, layout.LineTop(line)) << offset;
        EXPECT_EQ(height, layout.LineHeight(line));
        if (line == lastLine) {
            EXPECT_GT(point.x, lastX) << offset;
        }
        lastX = point.x;
        lastLine = line;
    }

    EXPECT_EQ(layout.OffsetAt(BPoint(-50, -50)), 0);
    EXPECT_EQ(layout.OffsetAt(BPoint(1e9, 1e9)), length);
    EXPECT_EQ(layout.OffsetAt(BPoint(-1e9, 1e9)), layout.LineStart(layout.CountLines() - 1));
    int32 nan = layout.OffsetAt(BPoint(NAN, NAN));
    EXPECT_TRUE(nan >= 0 && nan <= length);
    EXPECT_EQ(layout.PointAt(-10), BPoint(0, 0));
    EXPECT_EQ(layout.PointAt(length + 10), layout.PointAt(length));

    // Right to left, the caret sits at each character's right edge.
    const char* hebrew = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D "
                         "\xD7\x96\xD7\x94 \xD7\x98\xD7\xA7\xD7\xA1\xD7\x98";
    layout.SetText(hebrew, -1);
    layout.SetWidth(50);
    ASSERT_GT(layout.CountLines(), 1);
    EXPECT_GT(layout.PointAt(0).x, layout.PointAt(2).x);
    for (int32 offset = 0; offset <= int32(strlen(hebrew)); offset++) {
        if ((uchar(hebrew[offset]) & 0xC0) == 0x80)
            continue;
        EXPECT_EQ(layout.OffsetAt(layout.PointAt(offset)), offset) << offset;
    }
}

TEST(TextLayout, InvalidBytesKeepTheirOriginalOffsets)
{
    // Each bad byte, and the NUL, is one character shown as U+FFFD.
    const char text[] = "ab\xFF"
                        "cd\xE2\x82"
                        "e\0f";
    const int32 length = sizeof(text) - 1;
    TextLayout layout;
    layout.SetText(text, length);
    EXPECT_EQ(layout.TextLength(), length);
    EXPECT_EQ(layout.LineEnd(0), length);
    float lastX = -1;
    for (int32 offset = 0; offset <= length; offset++) {
        BPoint point = layout.PointAt(offset);
        EXPECT_GT(point.x, lastX) << offset;
        EXPECT_EQ(layout.OffsetAt(point), offset) << offset;
        lastX = point.x;
    }
    std::string shown = "ab\xEF\xBF\xBD"
                        "cd\xEF\xBF\xBD\xEF\xBF\xBD"
                        "e\xEF\xBF\xBD"
                        "f";
    EXPECT_EQ(layout.Width(), be_plain_font->StringWidth(shown.c_str()));

    // Wrapped, the line bounds are original offsets too.
    std::string long_text;
    for (int i = 0; i < 30; i++)
        long_text += "word\xFF ";
    layout.SetText(long_text.data(), int32(long_text.size()));
    layout.SetWidth(60);
    ASSERT_GT(layout.CountLines(), 3);
    for (int32 line = 1; line < layout.CountLines(); line++) {
        EXPECT_EQ(long_text[size_t(layout.LineStart(line)) - 1], ' ');
        EXPECT_EQ(long_text[size_t(layout.LineStart(line))], 'w');
    }
    EXPECT_EQ(layout.LineEnd(layout.CountLines() - 1), int32(long_text.size()));
}

TEST(TextLayout, RunsSetColourAndSize)
{
    const char* text = "RRRR GGGG BBBB";
    BFont large = font_with(*be_plain_font, 20);
    TextLayout layout;
    layout.SetText(text, -1);
    // Before the first run: the layout's own colour, drawn solid.
    layout.SetColor(make_color(200, 0, 0, 0));
    // Given out of order; of two at the same offset the last wins.
    layout.SetRuns({{10, *be_plain_font, make_color(0, 0, 200)},
                    {5, *be_bold_font, make_color(0, 0, 0)},
                    {5, large, make_color(0, 200, 0)},
                    {400, *be_bold_font, make_color(1, 2, 3)}});
    EXPECT_EQ(layout.Height(), line_height(large));
    EXPECT_EQ(layout.TextLength(), int32(strlen(text)));
    EXPECT_GT(layout.PointAt(9).x - layout.PointAt(5).x, layout.PointAt(4).x * 1.5);

    Canvas canvas(300, 40);
    layout.Draw(canvas.Context(), 0, 5);
    for (int part = 0; part < 3; part++) {
        int left = int(layout.PointAt(5 * part).x);
        int right = int(layout.PointAt(5 * part + 4).x);
        int wanted = 0, other = 0;
        for (int y = 0; y < canvas.Height(); y++) {
            for (int x = left; x < right; x++) {
                int channels[3] = {canvas.Red(x, y), canvas.Green(x, y), canvas.Blue(x, y)};
                for (int c = 0; c < 3; c++)
                    (c == part ? wanted : other) += channels[c] > 0;
            }
        }
        EXPECT_GT(wanted, 10) << part;
        EXPECT_EQ(other, 0) << part;
    }
}

TEST(TextLayout, CompactedLayoutsAnswerAndDrawTheSame)
{
    TextLayout layout;
    layout.SetText(kProse, -1);
    layout.SetWidth(120);
    Canvas before(200, 200);
    layout.Draw(before.Context(), 0, 0);
    BPoint caret = layout.PointAt(40);
    int32 lines = layout.CountLines();

    layout.Compact();
    EXPECT_EQ(layout.CountLines(), lines);
    EXPECT_EQ(layout.Height(), 13.0f * lines);
    EXPECT_EQ(layout.PointAt(40), caret);
    layout.Compact();
    EXPECT_EQ(layout.OffsetAt(caret), 40);
    layout.Compact();
    Canvas after(200, 200);
    layout.Draw(after.Context(), 0, 0);
    int differing = 0;
    for (int y = 0; y < 200; y++) {
        for (int x = 0; x < 200; x++)
            differing += before.Pixel(x, y) != after.Pixel(x, y);
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(after.CountInked(), 100);
}

TEST(TextLayout, SelectionFillsOnlyItsCharacters)
{
    TextLayout layout;
    layout.SetText("hello world, and more words", -1);
    layout.SetWidth(80);
    ASSERT_GE(layout.CountLines(), 2);
    const float x = 5, y = 7;

    // Within the first line: exactly the characters' columns and the line's rows.
    {
        Canvas canvas(120, 60);
        layout.DrawSelection(canvas.Context(), x, y, 8, 2, make_color(0, 0, 255));
        int left = int(x + layout.PointAt(2).x), right = int(x + layout.PointAt(8).x);
        int bottom = int(y + layout.LineHeight(0));
        EXPECT_EQ(canvas.CountInked(), (right - left) * (bottom - int(y)));
        EXPECT_EQ(canvas.CountInked(left, int(y), right, bottom),
                  (right - left) * (bottom - int(y)));
        EXPECT_EQ(canvas.Pixel(left, int(y)), 0xFF0000FFu);
    }
    // Across the wrap: both lines, nothing past the end.
    {
        Canvas canvas(120, 60);
        int32 end = layout.LineStart(1) + 2;
        layout.DrawSelection(canvas.Context(), x, y, 3, end, make_color(0, 0, 255));
        float secondTop = y + layout.LineTop(1);
        EXPECT_GT(canvas.CountInked(0, int(y), 120, int(secondTop)), 0);
        EXPECT_GT(canvas.CountInked(0, int(secondTop), 120, int(secondTop + 13)), 0);
        EXPECT_EQ(canvas.CountInked(int(x + layout.PointAt(end).x), int(secondTop), 120, 60), 0);
    }
    // Starting where a wrapped line ends selects nothing of that line.
    {
        Canvas canvas(120, 60);
        int32 start = layout.LineStart(1);
        layout.DrawSelection(canvas.Context(), x, y, start, start + 1, make_color(0, 0, 255));
        EXPECT_EQ(canvas.CountInked(0, 0, 120, int(y + layout.LineTop(1))), 0);
        EXPECT_GT(canvas.CountInked(), 0);
    }
}

TEST(TextLayout, CjkKeepsTheLineHeight)
{
    if (!wqy_installed())
        GTEST_SKIP() << "fonts-wqy-microhei is not installed";
    const char* text = "\xE6\xBC\xA2\xE5\xAD\x97\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 and Latin "
                       "\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87";
    TextLayout layout;
    layout.SetText(text, -1);
    EXPECT_EQ(layout.CountLines(), 1);
    EXPECT_EQ(layout.Height(), 13);
    EXPECT_GT(layout.PointAt(3).x, 5); // the ideographs have width
    layout.SetWidth(40);
    ASSERT_GT(layout.CountLines(), 3);
    EXPECT_EQ(layout.Height(), 13.0f * layout.CountLines());
    for (int32 line = 0; line < layout.CountLines(); line++)
        EXPECT_EQ(layout.LineHeight(line), 13);
}

// -- threads ---------------------------------------------------------------------------

TEST(FontThreads, WindowThreadsLayOutMeasureAndDrawAtOnce)
{
    struct Expected {
        BFont font;
        float width;
        float height;
        int32 lines;
    };
    std::vector<Expected> expected;
    for (float size : {9.0f, 10.0f, 12.0f, 14.5f, 18.0f}) {
        for (const BFont* base : {be_plain_font, be_bold_font, be_fixed_font}) {
            BFont font = font_with(*base, size);
            TextLayout layout;
            layout.SetFont(font);
            layout.SetText(kProse, -1);
            layout.SetWidth(200);
            expected.push_back(
                {font, font.StringWidth(kProse), line_height(font), layout.CountLines()});
        }
    }

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; t++) {
        threads.emplace_back([&, t] {
            Canvas canvas(300, 60);
            for (int i = 0; i < 40; i++) {
                const Expected& e = expected[size_t(t * 7 + i) % expected.size()];
                if (e.font.StringWidth(kProse) != e.width)
                    mismatches++;
                if (line_height(e.font) != e.height)
                    mismatches++;
                TextLayout layout;
                layout.SetFont(e.font);
                layout.SetText(kProse, -1);
                layout.SetWidth(200);
                if (layout.CountLines() != e.lines)
                    mismatches++;
                layout.Draw(canvas.Context(), 0, 0);
                if (draw_string(canvas.Context(), e.font, kProse, -1, 0, 30, make_color(0, 0, 0)) !=
                    e.width)
                    mismatches++;
                // New sizes fill the shared cache from every thread.
                BFont odd = font_with(e.font, 8 + float(t * 40 + i) / 8);
                if (!(odd.StringWidth("abc") > 0))
                    mismatches++;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(FontThreads, LayoutsOutliveTheThreadsThatMadeThem)
{
    const float width = be_plain_font->StringWidth(kProse);
    std::vector<TextLayout> layouts(8);
    for (int round = 0; round < 4; round++) {
        std::vector<std::thread> threads;
        for (size_t i = 0; i < layouts.size(); i++) {
            threads.emplace_back([&, i] {
                layouts[i].SetText(kProse, -1);
                layouts[i].SetWidth(float(100 + 20 * i));
                layouts[i].CountLines();
                EXPECT_EQ(be_plain_font->StringWidth(kProse), width);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
    }
    // Their threads are gone; the layouts still work here.
    Canvas canvas(300, 200);
    for (size_t i = 0; i < layouts.size(); i++) {
        layouts[i].SetWidth(0);
        EXPECT_EQ(layouts[i].Width(), width);
        layouts[i].Draw(canvas.Context(), 0, 0);
    }
    EXPECT_GT(canvas.CountInked(), 0);
}

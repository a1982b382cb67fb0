// BView's drawing operations, on the window's back buffer.
//
// Coordinates follow the toolkit: whole coordinates are pixel centres, and
// a shape lights every pixel whose centre it covers, edges included. Lines
// and rectangles are drawn without anti-aliasing; a one-pixel line lights
// exactly the pixels from its start to its end. The pixels here are points:
// on a back buffer of scale 2 every point is 2 x 2 device pixels, and the
// shapes, whose edges lie on whole points, cover them exactly. The copy and over modes
// draw solid colours whatever their alpha; invert, subtract and the other
// per-pixel modes render the shape into a mask first and then change the
// pixels under it in a plain loop.

#include "View.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstring>

#include "Bitmap.h"
#include "Window.h"

namespace
{

int pixel(float coordinate)
{
    return int(std::floor(coordinate + 0.5f));
}

void set_color(cairo_t* cr, rgb_color color, bool useAlpha)
{
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                          useAlpha ? color.alpha / 255.0 : 1.0);
}

// Calls `plot` for every pixel of a one-pixel line, both ends included.
template <class Plot>
void line_pixels(int x0, int y0, int x1, int y1, Plot plot)
{
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        plot(x0, y0);
        if (x0 == x1 && y0 == y1)
            return;
        int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

bool is_solid(const pattern& p)
{
    return p == B_SOLID_HIGH || p == B_SOLID_LOW;
}

} // namespace

template <class Operation>
void BView::Paint(Operation operation)
{
    if (fWindow == nullptr)
        return;
    cairo_t* cr = static_cast<cairo_t*>(fContext);
    bool temporary = cr == nullptr;
    if (temporary) {
        // Outside an update: clip to what shows of the view.
        BRect visible = _VisibleInWindow();
        if (!visible.IsValid() || IsHidden())
            return;
        cr = static_cast<cairo_t*>(fWindow->_DrawingContext());
        cairo_rectangle(cr, visible.left, visible.top, visible.Width() + 1, visible.Height() + 1);
        cairo_clip(cr);
        BPoint origin = _ToWindow(BPoint(0, 0));
        cairo_translate(cr, origin.x, origin.y);
    }
    cairo_save(cr);
    operation(cr);
    cairo_restore(cr);
    if (temporary) {
        cairo_destroy(cr);
        fWindow->_DrewOutsideUpdate();
    }
}

void BView::_Draw(const std::function<void(_cairo*)>& draw)
{
    Paint([&](cairo_t* cr) { draw(reinterpret_cast<_cairo*>(cr)); });
}

// Fills the shape traced by `path` (in view coordinates, pixel edges on
// whole numbers) with the pattern and the drawing mode.
void BView::PaintShape(pattern p, const std::function<void(_cairo*)>& path, bool)
{
    Paint([&](cairo_t* cr) {
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_new_path(cr);
        path(cr);
        drawing_mode mode = fDrawingMode;
        if (mode == B_OP_COPY || mode == B_OP_OVER || mode == B_OP_ERASE || mode == B_OP_ALPHA ||
            mode == B_OP_SELECT) {
            rgb_color color = p == B_SOLID_LOW || mode == B_OP_ERASE ? fLowColor : fHighColor;
            if (is_solid(p) || mode == B_OP_ERASE) {
                set_color(cr, color, mode == B_OP_ALPHA);
            } else {
                // An 8 x 8 pattern: set bits in the high colour, others low.
                cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
                uint32* data = reinterpret_cast<uint32*>(cairo_image_surface_get_data(tile));
                int stride = cairo_image_surface_get_stride(tile) / 4;
                cairo_surface_flush(tile);
                for (int y = 0; y < 8; y++) {
                    for (int x = 0; x < 8; x++) {
                        rgb_color c = (p.data[y] & (0x80 >> x)) != 0 ? fHighColor : fLowColor;
                        data[y * stride + x] =
                            0xff000000u | uint32(c.red) << 16 | uint32(c.green) << 8 | c.blue;
                    }
                }
                cairo_surface_mark_dirty(tile);
                cairo_pattern_t* source = cairo_pattern_create_for_surface(tile);
                cairo_pattern_set_extend(source, CAIRO_EXTEND_REPEAT);
                cairo_pattern_set_filter(source, CAIRO_FILTER_NEAREST);
                cairo_set_source(cr, source);
                cairo_pattern_destroy(source);
                cairo_surface_destroy(tile);
            }
            cairo_fill(cr);
            return;
        }

        // The other modes change each pixel under the shape by rule.
        cairo_surface_t* target = cairo_get_target(cr);
        int width = cairo_image_surface_get_width(target);
        int height = cairo_image_surface_get_height(target);
        double x1, y1, x2, y2;
        cairo_fill_extents(cr, &x1, &y1, &x2, &y2);
        double cx1, cy1, cx2, cy2;
        cairo_clip_extents(cr, &cx1, &cy1, &cx2, &cy2);
        x1 = std::max(x1, cx1);
        y1 = std::max(y1, cy1);
        x2 = std::min(x2, cx2);
        y2 = std::min(y2, cy2);
        cairo_user_to_device(cr, &x1, &y1);
        cairo_user_to_device(cr, &x2, &y2);
        // That is in window points; the loop runs over device pixels.
        double scaleX, scaleY;
        cairo_surface_get_device_scale(target, &scaleX, &scaleY);
        int left = std::max(0, int(std::floor(x1 * scaleX))),
            top = std::max(0, int(std::floor(y1 * scaleY)));
        int right = std::min(width, int(std::ceil(x2 * scaleX))),
            bottom = std::min(height, int(std::ceil(y2 * scaleY)));
        if (left >= right || top >= bottom) {
            cairo_new_path(cr);
            return;
        }
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
        cairo_surface_set_device_scale(mask, scaleX, scaleY);
        cairo_t* mcr = cairo_create(mask);
        cairo_set_antialias(mcr, CAIRO_ANTIALIAS_NONE);
        cairo_path_t* shape = cairo_copy_path(cr);
        cairo_matrix_t matrix;
        cairo_get_matrix(cr, &matrix);
        cairo_rectangle_list_t* clips = cairo_copy_clip_rectangle_list(cr);
        cairo_set_matrix(mcr, &matrix);
        if (clips->status == CAIRO_STATUS_SUCCESS) {
            for (int i = 0; i < clips->num_rectangles; i++) {
                const cairo_rectangle_t& r = clips->rectangles[i];
                cairo_rectangle(mcr, r.x, r.y, r.width, r.height);
            }
            cairo_clip(mcr);
        }
        cairo_rectangle_list_destroy(clips);
        cairo_append_path(mcr, shape);
        cairo_path_destroy(shape);
        cairo_set_source_rgba(mcr, 0, 0, 0, 1);
        cairo_fill(mcr);
        cairo_destroy(mcr);
        cairo_new_path(cr);

        cairo_surface_flush(mask);
        cairo_surface_flush(target);
        const uint8* coverage = cairo_image_surface_get_data(mask);
        int maskStride = cairo_image_surface_get_stride(mask);
        uint8* pixels = cairo_image_surface_get_data(target);
        int stride = cairo_image_surface_get_stride(target);
        rgb_color color = fHighColor;
        for (int y = top; y < bottom; y++) {
            uint8* row = pixels + y * stride;
            const uint8* covered = coverage + y * maskStride;
            for (int x = left; x < right; x++) {
                if (covered[x] < 128)
                    continue;
                uint8* px = row + x * 4; // blue, green, red, alpha
                uint8 source[3] = {color.blue, color.green, color.red};
                for (int c = 0; c < 3; c++) {
                    int value = px[c];
                    switch (mode) {
                    case B_OP_INVERT:
                        value = 255 - value;
                        break;
                    case B_OP_SUBTRACT:
                        value = std::max(0, value - source[c]);
                        break;
                    case B_OP_ADD:
                        value = std::min(255, value + source[c]);
                        break;
                    case B_OP_BLEND:
                        value = (value + source[c]) / 2;
                        break;
                    case B_OP_MIN:
                        value = std::min<int>(value, source[c]);
                        break;
                    case B_OP_MAX:
                        value = std::max<int>(value, source[c]);
                        break;
                    default:
                        break;
                    }
                    px[c] = uint8(value);
                }
                px[3] = 255;
            }
        }
        cairo_surface_mark_dirty(target);
        cairo_surface_destroy(mask);
    });
}

// -- lines and shapes ----------------------------------------------------------------

void BView::StrokeLine(BPoint to, pattern p)
{
    StrokeLine(fPenLocation, to, p);
}

void BView::StrokeLine(BPoint from, BPoint to, pattern p)
{
    fPenLocation = to;
    int x0 = pixel(from.x), y0 = pixel(from.y), x1 = pixel(to.x), y1 = pixel(to.y);
    if (fPenSize <= 1.0f) {
        PaintShape(
            p,
            [&](_cairo* context) {
                cairo_t* cr = static_cast<cairo_t*>(context);
                if (x0 == x1 || y0 == y1) {
                    cairo_rectangle(cr, std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1,
                                    std::abs(y1 - y0) + 1);
                    return;
                }
                line_pixels(x0, y0, x1, y1, [&](int x, int y) { cairo_rectangle(cr, x, y, 1, 1); });
            },
            true);
        return;
    }
    // A thick line: a rectangle around the centre line, square at the ends.
    float half = fPenSize / 2;
    PaintShape(
        p,
        [&](_cairo* context) {
            cairo_t* cr = static_cast<cairo_t*>(context);
            double ax = x0 + 0.5, ay = y0 + 0.5, bx = x1 + 0.5, by = y1 + 0.5;
            double length = std::hypot(bx - ax, by - ay);
            double ux = length > 0 ? (bx - ax) / length : 1,
                   uy = length > 0 ? (by - ay) / length : 0;
            double nx = -uy * half, ny = ux * half;
            ax -= ux * half;
            ay -= uy * half;
            bx += ux * half;
            by += uy * half;
            cairo_move_to(cr, ax + nx, ay + ny);
            cairo_line_to(cr, bx + nx, by + ny);
            cairo_line_to(cr, bx - nx, by - ny);
            cairo_line_to(cr, ax - nx, ay - ny);
            cairo_close_path(cr);
        },
        true);
}

void BView::StrokeRect(BRect rect, pattern p)
{
    int left = pixel(rect.left), top = pixel(rect.top), right = pixel(rect.right),
        bottom = pixel(rect.bottom);
    if (left > right || top > bottom)
        return;
    int pen = std::max(1, int(std::lround(fPenSize)));
    PaintShape(
        p,
        [&](_cairo* context) {
            cairo_t* cr = static_cast<cairo_t*>(context);
            int width = right - left + 1, height = bottom - top + 1;
            if (width <= 2 * pen || height <= 2 * pen) {
                cairo_rectangle(cr, left, top, width, height);
                return;
            }
            // Four bands inside the rectangle's edges, not overlapping, so
            // that per-pixel modes touch each pixel once.
            cairo_rectangle(cr, left, top, width, pen);
            cairo_rectangle(cr, left, bottom - pen + 1, width, pen);
            cairo_rectangle(cr, left, top + pen, pen, height - 2 * pen);
            cairo_rectangle(cr, right - pen + 1, top + pen, pen, height - 2 * pen);
        },
        true);
}

void BView::FillRect(BRect rect, pattern p)
{
    int left = pixel(rect.left), top = pixel(rect.top), right = pixel(rect.right),
        bottom = pixel(rect.bottom);
    if (left > right || top > bottom)
        return;
    PaintShape(
        p,
        [&](_cairo* context) {
            cairo_rectangle(static_cast<cairo_t*>(context), left, top, right - left + 1,
                            bottom - top + 1);
        },
        true);
}

void BView::InvertRect(BRect rect)
{
    drawing_mode mode = fDrawingMode;
    fDrawingMode = B_OP_INVERT;
    FillRect(rect);
    fDrawingMode = mode;
}

void BView::StrokeEllipse(BRect rect, pattern p)
{
    int left = pixel(rect.left), top = pixel(rect.top), right = pixel(rect.right),
        bottom = pixel(rect.bottom);
    if (left > right || top > bottom)
        return;
    double pen = std::max(1.0f, fPenSize);
    PaintShape(
        p,
        [&](_cairo* context) {
            cairo_t* cr = static_cast<cairo_t*>(context);
            double cx = (left + right + 1) / 2.0, cy = (top + bottom + 1) / 2.0;
            double rx = (right - left + 1) / 2.0, ry = (bottom - top + 1) / 2.0;
            cairo_save(cr);
            cairo_translate(cr, cx, cy);
            cairo_scale(cr, rx, ry);
            cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
            cairo_restore(cr);
            if (rx > pen && ry > pen) {
                cairo_new_sub_path(cr);
                cairo_save(cr);
                cairo_translate(cr, cx, cy);
                cairo_scale(cr, rx - pen, ry - pen);
                cairo_arc_negative(cr, 0, 0, 1, 2 * M_PI, 0);
                cairo_restore(cr);
            }
        },
        true);
}

void BView::FillEllipse(BRect rect, pattern p)
{
    int left = pixel(rect.left), top = pixel(rect.top), right = pixel(rect.right),
        bottom = pixel(rect.bottom);
    if (left > right || top > bottom)
        return;
    PaintShape(
        p,
        [&](_cairo* context) {
            cairo_t* cr = static_cast<cairo_t*>(context);
            cairo_save(cr);
            cairo_translate(cr, (left + right + 1) / 2.0, (top + bottom + 1) / 2.0);
            cairo_scale(cr, (right - left + 1) / 2.0, (bottom - top + 1) / 2.0);
            cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
            cairo_restore(cr);
        },
        true);
}

void BView::FillTriangle(BPoint a, BPoint b, BPoint c, pattern p)
{
    PaintShape(
        p,
        [&](_cairo* context) {
            cairo_t* cr = static_cast<cairo_t*>(context);
            cairo_move_to(cr, pixel(a.x) + 0.5, pixel(a.y) + 0.5);
            cairo_line_to(cr, pixel(b.x) + 0.5, pixel(b.y) + 0.5);
            cairo_line_to(cr, pixel(c.x) + 0.5, pixel(c.y) + 0.5);
            cairo_close_path(cr);
        },
        true);
}

// -- text ------------------------------------------------------------------------------

void BView::DrawString(const char* string, escapement_delta* delta)
{
    if (string != nullptr)
        DrawString(string, int32(strlen(string)), delta);
}

void BView::DrawString(const char* string, BPoint where, escapement_delta* delta)
{
    fPenLocation = where;
    DrawString(string, delta);
}

void BView::DrawString(const char* string, int32 length, escapement_delta*)
{
    if (string == nullptr || length <= 0)
        return;
    length = int32(strnlen(string, size_t(length)));
    float advance = fFont.StringWidth(string, length);
    BPoint pen = fPenLocation;
    fPenLocation.x += advance;
    if (fDrawingMode == B_OP_COPY || fDrawingMode == B_OP_OVER || fDrawingMode == B_OP_ALPHA ||
        fDrawingMode == B_OP_ERASE) {
        rgb_color color = fDrawingMode == B_OP_ERASE ? fLowColor : fHighColor;
        Paint([&](cairo_t* cr) {
            BPrivate::draw_string(reinterpret_cast<_cairo*>(cr), fFont, string, length, pen.x,
                                  pen.y, color);
        });
        return;
    }
    // Per-pixel modes: the glyphs' coverage is the mask.
    font_height height;
    fFont.GetHeight(&height);
    PaintShape(
        B_SOLID_HIGH,
        [&](_cairo* context) {
            // In these modes text changes the box its glyphs stand in (what an
            // inverted selection of text shows); nothing asks for more.
            cairo_rectangle(static_cast<cairo_t*>(context), std::floor(pen.x),
                            std::floor(pen.y - height.ascent), std::ceil(advance),
                            std::ceil(height.ascent + height.descent));
        },
        true);
}

// -- bitmaps -----------------------------------------------------------------------------

void BView::DrawBitmap(const BBitmap* bitmap)
{
    DrawBitmap(bitmap, fPenLocation);
}

void BView::DrawBitmap(const BBitmap* bitmap, BPoint where)
{
    if (bitmap != nullptr)
        DrawBitmap(bitmap, bitmap->Bounds(), bitmap->Bounds().OffsetToCopy(where));
}

void BView::DrawBitmap(const BBitmap* bitmap, BRect destination)
{
    if (bitmap != nullptr)
        DrawBitmap(bitmap, bitmap->Bounds(), destination);
}

void BView::DrawBitmap(const BBitmap* bitmap, BRect source, BRect destination)
{
    if (bitmap == nullptr || !bitmap->IsValid())
        return;
    int srcLeft = pixel(source.left), srcTop = pixel(source.top);
    int srcWidth = pixel(source.right) - srcLeft + 1, srcHeight = pixel(source.bottom) - srcTop + 1;
    int dstLeft = pixel(destination.left), dstTop = pixel(destination.top);
    int dstWidth = pixel(destination.right) - dstLeft + 1;
    int dstHeight = pixel(destination.bottom) - dstTop + 1;
    if (srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return;
    cairo_surface_t* image = static_cast<cairo_surface_t*>(const_cast<BBitmap*>(bitmap)->_Surface(
        fDrawingMode == B_OP_OVER || fDrawingMode == B_OP_ALPHA));
    if (image == nullptr)
        return;
    Paint([&](cairo_t* cr) {
        cairo_rectangle(cr, dstLeft, dstTop, dstWidth, dstHeight);
        cairo_clip(cr);
        cairo_translate(cr, dstLeft, dstTop);
        cairo_scale(cr, double(dstWidth) / srcWidth, double(dstHeight) / srcHeight);
        cairo_set_source_surface(cr, image, -srcLeft, -srcTop);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
    });
    cairo_surface_destroy(image);
}

void BView::Sync() const
{
    if (fWindow != nullptr)
        fWindow->Sync();
}

void BView::Flush() const
{
    Sync();
}

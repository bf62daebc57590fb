// One-pixel solid lines stepped in integers straight into an image's
// scanlines. A painter costs some ten nanoseconds a pixel on long lines
// (its stroker collects spans and blends them); stepping and storing costs
// one or two.
//
// The pixels: a line is stepped along its longer axis (the x axis when the
// two are equal), one pixel a step, from its start up to but not including
// its end. The cross coordinate is a 16.16 fixed-point value started at the
// start point (plus half a step when it grows) and moved by the slope,
// truncated to 16 fractional bits, each step: the pixels the painter's
// one-pixel stroker gives a line drawn forward (right or down), so curves
// look as before. A line drawn backward takes the pixels of the same line
// drawn forward, with its start drawn and its end left out instead.
#include "platform/gdi_raster.h"

#include <algorithm>

namespace gdi::raster {

namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::int64_t ceil_div(std::int64_t a, std::int64_t b) {
    return -floor_div(-a, b);
}

inline void put(const Pixels& px, int x, int y, std::uint32_t colour) {
    reinterpret_cast<std::uint32_t*>(px.bits + y * px.stride)[x] = colour;
}

} // namespace

void line(const Pixels& px, QPoint a, QPoint b, std::uint32_t colour, const QRect& clip) {
    const std::int64_t dx = static_cast<std::int64_t>(b.x()) - a.x();
    const std::int64_t dy = static_cast<std::int64_t>(b.y()) - a.y();
    if (dx == 0 && dy == 0) return;
    if (clip.isEmpty()) return;
    const bool x_major = std::llabs(dx) >= std::llabs(dy);
    // (u, v): the long axis and the cross axis.
    auto u_of = [&](QPoint p) -> std::int64_t { return x_major ? p.x() : p.y(); };
    auto v_of = [&](QPoint p) -> std::int64_t { return x_major ? p.y() : p.x(); };
    const bool backward = u_of(b) < u_of(a);
    const QPoint from = backward ? b : a, to = backward ? a : b;
    const std::int64_t n = u_of(to) - u_of(from);
    // Lines that fit on an image step in 16.16 as the painter does; longer
    // ones (far past the image, clipped) in 32.32, or the truncated slope
    // would drift whole pixels over millions of steps.
    const int shift = n <= max_side + 1 ? 16 : 32;
    const std::int64_t one = std::int64_t{1} << shift;
    const std::int64_t inc = ((v_of(to) - v_of(from)) * one) / n; // truncated
    const std::int64_t v0 = v_of(from) * one + (inc > 0 ? inc / 2 : 0);
    const std::int64_t u0 = u_of(from);

    // Steps k in [k0, k1] whose pixel lies in the clip: the long axis, then
    // the cross axis (v0 + k * inc within [lo, hi] in fixed point).
    const std::int64_t cu0 = x_major ? clip.left() : clip.top();
    const std::int64_t cu1 = x_major ? clip.right() : clip.bottom();
    const std::int64_t lo = (x_major ? clip.top() : clip.left()) * one;
    const std::int64_t hi = ((x_major ? clip.bottom() : clip.right()) + 1) * one - 1;
    std::int64_t k0 = std::max<std::int64_t>(backward ? 1 : 0, cu0 - u0);
    std::int64_t k1 = std::min<std::int64_t>(n - 1, cu1 - u0);
    if (inc > 0) {
        k0 = std::max(k0, ceil_div(lo - v0, inc));
        k1 = std::min(k1, floor_div(hi - v0, inc));
    } else if (inc < 0) {
        k0 = std::max(k0, ceil_div(hi - v0, inc));
        k1 = std::min(k1, floor_div(lo - v0, inc));
    } else if (v0 < lo || v0 > hi) {
        k1 = k0 - 1;
    }
    if (k0 <= k1) {
        int u = static_cast<int>(u0 + k0);
        const int count = static_cast<int>(k1 - k0 + 1);
        std::int64_t v = v0 + k0 * inc;
        if (inc == 0) {
            const int fixed = static_cast<int>(v >> shift);
            if (x_major) {
                auto* row = reinterpret_cast<std::uint32_t*>(px.bits + fixed * px.stride);
                std::fill_n(row + u, count, colour);
            } else {
                uchar* p = px.bits + u * px.stride + fixed * 4;
                for (int i = 0; i < count; ++i, p += px.stride)
                    *reinterpret_cast<std::uint32_t*>(p) = colour;
            }
        } else if (x_major) {
            for (int i = 0; i < count; ++i, ++u, v += inc)
                put(px, u, static_cast<int>(v >> shift), colour);
        } else {
            for (int i = 0; i < count; ++i, ++u, v += inc)
                put(px, static_cast<int>(v >> shift), u, colour);
        }
    }
    if (backward && clip.contains(a)) put(px, a.x(), a.y(), colour);
}

bool lines(Dc& d, const QPoint* pts, int n) {
    if (n < 2 || d.rec || d.is_info || is_metafile(d) || d.kind == DcKind::painter) return false;
    if (d.s.rop2 != R2_COPYPEN) return false;
    const Object* pen = object(d.s.pen, Kind::pen);
    if (pen_is_null(pen) || !pen_is_cosmetic(d, pen)) return false;
    const int style = pen->pen_style & PS_STYLE_MASK;
    if (style != PS_SOLID && style != PS_INSIDEFRAME) return false;
    QImage* img = image_of(d);
    if (!img || img->isNull()) return false;
    const QImage::Format f = img->format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
        f != QImage::Format_ARGB32_Premultiplied)
        return false;

    bool has_clip = false;
    QRegion clip = effective_clip(d, has_clip);
    if (has_clip && clip.isEmpty()) return true;
    if (d.hwnd && ::gdi_window_drawn_hook) ::gdi_window_drawn_hook(d.hwnd);
    // A painter open on the image writes straight into these pixels and
    // keeps nothing back, so it may stay open: the order of calls holds.
    // Should asking for the pixels copy them (the image shared), a painter
    // still on the old ones is ended.
    const uchar* before = img->constBits();
    Pixels px{img->bits(), img->bytesPerLine(), img->width(), img->height()};
    if (px.bits != before) end_live_painters_on(img);
    const std::uint32_t colour = qrgb(pen->colour);
    const QRect whole = img->rect();
    auto draw = [&](const QRect& r) {
        for (int i = 0; i + 1 < n; ++i) line(px, pts[i], pts[i + 1], colour, r);
    };
    if (!has_clip) {
        draw(whole);
    } else {
        for (const QRect& r : clip) draw(r.intersected(whole));
    }
    return true;
}

} // namespace gdi::raster

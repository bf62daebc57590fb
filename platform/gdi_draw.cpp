// Drawing operations: lines, shapes, fills, pixels, block transfers. Every
// call maps its logical coordinates to device pixels itself (rounded as the
// platform rounds them) and draws with the identity transform, so a one-pixel
// pen covers exactly the pixels the platform's rules give; on a metafile
// context the call is recorded instead.
#include "platform/gdi_impl.h"
#include "platform/gdi_raster.h"
#include "platform/metafile.h"

#include <QPainterPath>
#include <QPolygon>

#include <cmath>
#include <cstring>
#include <numbers>

using namespace gdi;

namespace {

// Metafile bounds of a device rectangle given by corners (inclusive).
void bound(Dc& d, const QRect& r) {
    if (d.rec) d.rec->add_bounds(r.normalized());
}

QRect bbox(const QPolygon& poly) {
    return poly.boundingRect();
}

// Extra pixels a wide pen adds around a shape, for metafile bounds.
int pen_margin(Dc& d) {
    Object* p = object(d.s.pen, Kind::pen);
    if (!p) return 0;
    return clamp_coord(std::ceil(p->pen_width * scale_x(d.s) / 2));
}

QRect grow(const QRect& r, int m) {
    return r.adjusted(-m, -m, m, m);
}

// The ellipse rectangle of a box (right and bottom exclusive).
QRectF ellipse_rect(int L, int T, int R, int B) {
    return QRectF(L, T, std::max(0, R - L - 1), std::max(0, B - T - 1));
}

// Angle in degrees, y up, of the radial from the centre through p.
double radial_angle(const QRectF& r, QPointF p, bool parametric) {
    QPointF c = r.center();
    double dx = p.x() - c.x(), dy = c.y() - p.y();
    if (dx == 0 && dy == 0) return 0;
    double a = std::atan2(dy, dx);
    if (parametric && r.width() > 0 && r.height() > 0) {
        // Where the radial meets the ellipse, as the ellipse's parameter.
        a = std::atan2(std::sin(a) / (r.height() / 2), std::cos(a) / (r.width() / 2));
    }
    return a * 180.0 / std::numbers::pi;
}

// A shape drawn in a box (rectangles, ellipses, arcs). The box is mapped to
// device pixels (right and bottom exclusive); on a metafile context `record`
// writes the call's record and the box, grown by the pen, joins the bounds (with its far
// edge when `bound_far_edge`); otherwise `draw` paints it with the pen, and the
// brush when `fill`.
struct DeviceBox {
    int L, T, R, B;
};

// Does the mapping turn or slant shapes (a world transform of a picture)?
// Then a box is no longer a box on the device.
bool turns(const QTransform& t) {
    return t.m12() != 0 || t.m21() != 0;
}

// Under a turning mapping a box shape is drawn as its outline in logical
// units (`outline`), mapped point by point like a polygon.
template <typename Record, typename Draw, typename Outline>
BOOL box_shape(HDC h, int l, int t, int r, int b, bool fill, bool bound_far_edge, Record record,
               Draw draw, Outline outline) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    Mapper m(d->s);
    DeviceBox box{};
    m.box(l, t, r, b, box.L, box.T, box.R, box.B);
    bool turned = turns(m.t);
    if (d->rec) {
        record(*d);
        int edge = bound_far_edge ? 0 : 1;
        QRect bounds(QPoint(box.L, box.T), QPoint(box.R - edge, box.B - edge));
        if (turned)
            bounds = m.t.map(QPolygonF(QRectF(QPointF(l, t), QPointF(r, b))))
                         .boundingRect()
                         .toAlignedRect();
        bound(*d, grow(bounds, pen_margin(*d)));
        return TRUE;
    }
    Paint p(*d);
    if (!p.ok()) return TRUE;
    p.use_pen_and_brush(true, fill);
    if (turned) {
        QPainterPath shape =
            outline(*d, QRectF(QPointF(l, t), QPointF(r, b)).normalized(), m.t.determinant() < 0);
        p.p().drawPath(m.t.map(shape));
        return TRUE;
    }
    draw(*d, p.p(), m, box);
    return TRUE;
}

enum class ArcKind { arc, pie, chord };

BOOL arc_like(HDC h, ArcKind kind, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    auto record = [&](Dc& d) {
        WORD wfn = kind == ArcKind::arc ? wmf::ARC : kind == ArcKind::pie ? wmf::PIE : wmf::CHORD;
        DWORD efn = kind == ArcKind::arc ? emr::ARC : kind == ArcKind::pie ? emr::PIE : emr::CHORD;
        if (d.rec->emf)
            d.rec->e(efn, {l, t, r, b, xs, ys, xe, ye});
        else
            d.rec->w(wfn, {ye, xe, ys, xs, b, r, t, l});
    };
    auto draw = [&](Dc& d, QPainter& p, const Mapper& m, const DeviceBox& box) {
        if (box.R - box.L < 2 || box.B - box.T < 2) return;
        QRectF er = ellipse_rect(box.L, box.T, box.R, box.B);
        QPointF ps = m(xs, ys), pe = m(xe, ye);
        double a0 = radial_angle(er, ps, true), a1 = radial_angle(er, pe, true);
        double span;
        if (d.s.arc_direction == AD_CLOCKWISE) {
            span = a1 - a0;
            if (span >= 0) span -= 360;
        } else {
            span = a1 - a0;
            if (span <= 0) span += 360;
        }
        QPainterPath path;
        if (kind == ArcKind::pie) {
            path.moveTo(er.center());
            path.arcTo(er, a0, span);
            path.closeSubpath();
        } else {
            path.arcMoveTo(er, a0);
            path.arcTo(er, a0, span);
            if (kind == ArcKind::chord) path.closeSubpath();
        }
        p.drawPath(path);
    };
    auto outline = [&](Dc& d, const QRectF& er, bool mirrored) {
        // The same figure in logical units; a mirroring mapping turns the
        // direction seen on the device around.
        double a0 = radial_angle(er, QPointF(xs, ys), true),
               a1 = radial_angle(er, QPointF(xe, ye), true);
        bool clockwise = (d.s.arc_direction == AD_CLOCKWISE) != mirrored;
        double span = a1 - a0;
        if (clockwise && span >= 0) span -= 360;
        if (!clockwise && span <= 0) span += 360;
        QPainterPath path;
        if (kind == ArcKind::pie) {
            path.moveTo(er.center());
            path.arcTo(er, a0, span);
            path.closeSubpath();
        } else {
            path.arcMoveTo(er, a0);
            path.arcTo(er, a0, span);
            if (kind == ArcKind::chord) path.closeSubpath();
        }
        return path;
    };
    return box_shape(h, l, t, r, b, kind != ArcKind::arc, true, record, draw, outline);
}

QPolygon map_points(const Mapper& m, const POINT* pts, int n) {
    QPolygon poly(n);
    const double dx = m.t.dx(), dy = m.t.dy();
    if (m.t.type() <= QTransform::TxTranslate && dx == std::trunc(dx) && dy == std::trunc(dy) &&
        std::fabs(dx) <= coord_limit && std::fabs(dy) <= coord_limit) {
        // The usual page mapping (none, or whole-pixel origins): integer sums,
        // clamped as the general mapping clamps them, and the same points.
        const auto ix = static_cast<long long>(dx), iy = static_cast<long long>(dy);
        const auto lim = static_cast<long long>(coord_limit);
        for (int i = 0; i < n; ++i)
            poly[i] = QPoint(static_cast<int>(std::clamp(pts[i].x + ix, -lim, lim)),
                             static_cast<int>(std::clamp(pts[i].y + iy, -lim, lim)));
        return poly;
    }
    for (int i = 0; i < n; ++i) poly[i] = m(pts[i]);
    return poly;
}

bool bad_count(const POINT* pts, long n, long min) {
    if (!pts || n < min || n > 4'000'000) {
        fail("bad point count " + std::to_string(n));
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Ternary raster operations on image targets

// The colour of the context's brush at a device pixel.
class PatternSampler {
public:
    PatternSampler(const Dc& d, const Object* brush) {
        if (!brush || brush->brush_style == BS_NULL) {
            solid_ = true;
            colour_ = 0xFFFFFF; // a null brush acts as white in raster operations
            return;
        }
        if (brush->brush_style == BS_SOLID) {
            solid_ = true;
            colour_ = brush->colour;
            return;
        }
        QBrush b = make_qbrush(d, brush, QTransform());
        tile_ = b.textureImage().convertToFormat(QImage::Format_RGB32);
        if (brush->brush_style == BS_HATCHED && d.s.bk_mode != OPAQUE) {
            // Transparent gaps take the background colour in raster operations.
            QImage t = b.textureImage();
            for (int y = 0; y < t.height(); ++y)
                for (int x = 0; x < t.width(); ++x)
                    if (qAlpha(t.pixel(x, y)) == 0) tile_.setPixel(x, y, qrgb(d.s.bk));
        }
        org_ = QPoint(d.s.brush_org.x, d.s.brush_org.y);
        solid_ = tile_.isNull();
        if (solid_) colour_ = brush->colour;
    }
    std::uint32_t at(int x, int y) const {
        if (solid_) return qrgb(colour_) & 0xFFFFFF;
        int w = tile_.width(), h = tile_.height();
        int tx = ((x - org_.x()) % w + w) % w, ty = ((y - org_.y()) % h + h) % h;
        return tile_.pixel(tx, ty) & 0xFFFFFF;
    }

private:
    bool solid_ = true;
    COLORREF colour_ = 0;
    QImage tile_;
    QPoint org_;
};

std::uint32_t rop3_pixel(std::uint32_t index, std::uint32_t P, std::uint32_t S, std::uint32_t D) {
    std::uint32_t r = 0;
    for (int k = 0; k < 8; ++k) {
        if (!((index >> k) & 1)) continue;
        std::uint32_t m = ((k & 4) ? P : ~P) & ((k & 2) ? S : ~S) & ((k & 1) ? D : ~D);
        r |= m;
    }
    return r & 0xFFFFFF;
}

bool rop_uses_source(DWORD rop) {
    std::uint32_t i = (rop >> 16) & 0xFF;
    return ((i >> 2) & 0x33) != (i & 0x33);
}
bool rop_uses_pattern(DWORD rop) {
    std::uint32_t i = (rop >> 16) & 0xFF;
    return ((i >> 4) & 0x0F) != (i & 0x0F);
}

bool target_is_mono(Dc& d) {
    if (d.kind != DcKind::memory) return false;
    Object* b = object(d.bitmap, Kind::bitmap);
    return b && b->bits_pixel == 1;
}

} // namespace

namespace gdi {

// Applies `rop` over dest (device pixels) with an optional source already at
// the destination's size; respects the clip.
bool image_rop3(Dc& d, const QRect& dest, const QImage* src, const QRect& src_rect, DWORD rop,
                bool src_mono) {
    QImage* img = target_image(d);
    if (!img) return false;
    bool has = false;
    QRegion clip = effective_clip(d, has);
    QRegion area = QRegion(dest).intersected(QRect(QPoint(0, 0), img->size()));
    if (has) area = area.intersected(clip);
    if (area.isEmpty()) return true;
    std::uint32_t index = (rop >> 16) & 0xFF;
    PatternSampler pat(d, object(d.s.brush, Kind::brush));
    bool dest_mono = target_is_mono(d);
    std::uint32_t fg = qrgb(d.s.text) & 0xFFFFFF, bg = qrgb(d.s.bk) & 0xFFFFFF;
    for (const QRect& r : area) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            auto row = reinterpret_cast<QRgb*>(img->scanLine(y));
            const QRgb* srow = nullptr;
            if (src) {
                int sy = src_rect.top() + (y - dest.top());
                if (sy < 0 || sy >= src->height()) continue;
                srow = reinterpret_cast<const QRgb*>(src->constScanLine(sy));
            }
            for (int x = r.left(); x <= r.right(); ++x) {
                std::uint32_t S = 0;
                if (srow) {
                    int sx = src_rect.left() + (x - dest.left());
                    if (sx < 0 || sx >= src->width()) continue;
                    S = srow[sx] & 0xFFFFFF;
                    if (src_mono && !dest_mono) S = (S == 0) ? fg : bg; // black = text colour
                }
                std::uint32_t D = row[x] & 0xFFFFFF;
                std::uint32_t v = rop3_pixel(index, pat.at(x, y), S, D);
                if (dest_mono) v = qGray(static_cast<QRgb>(v)) >= 128 ? 0xFFFFFF : 0;
                row[x] = 0xFF000000u | v;
            }
        }
    }
    return true;
}

} // namespace gdi

// ---------------------------------------------------------------------------
// Lines

BOOL MoveToEx(HDC h, int x, int y, POINT* old) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (old) *old = d->s.cur;
    d->s.cur = POINT{x, y};
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::MOVETOEX, {x, y});
        else
            d->rec->w(wmf::MOVETO, {y, x});
    }
    return TRUE;
}

BOOL GetCurrentPositionEx(HDC h, POINT* pos) {
    Dc* d = dc(h);
    if (!d || !pos) return FALSE;
    *pos = d->s.cur;
    return TRUE;
}

BOOL LineTo(HDC h, int x, int y) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    POINT from = d->s.cur;
    d->s.cur = POINT{x, y};
    Mapper m(d->s);
    QPoint a = m(from), b = m(x, y);
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::LINETO, {x, y});
        else
            d->rec->w(wmf::LINETO, {y, x});
        bound(*d, grow(QRect(a, b).normalized(), pen_margin(*d)));
        return TRUE;
    }
    const QPoint ends[2] = {a, b};
    if (raster::lines(*d, ends, 2)) return TRUE;
    Paint p(*d);
    if (!p.ok()) return TRUE;
    p.use_pen_and_brush(true, false);
    p.p().drawLine(a, b);
    return TRUE;
}

// Records an open polyline in a metafile (bounded by its pen) or draws it.
static BOOL polyline_out(Dc& d, WORD wfn, DWORD etype, const POINT* pts, int n,
                         const QPolygon& poly) {
    if (d.rec) {
        record_points(d, wfn, etype, pts, n);
        bound(d, grow(bbox(poly), pen_margin(d)));
        return TRUE;
    }
    if (raster::lines(d, poly.constData(), static_cast<int>(poly.size()))) return TRUE;
    Paint p(d);
    if (!p.ok()) return TRUE;
    p.use_pen_and_brush(true, false);
    p.p().drawPolyline(poly);
    return TRUE;
}

BOOL Polyline(HDC h, const POINT* pts, int n) {
    Dc* d = dc(h);
    if (!d || bad_count(pts, n, 2)) return FALSE;
    Mapper m(d->s);
    return polyline_out(*d, wmf::POLYLINE, emr::POLYLINE, pts, n, map_points(m, pts, n));
}

BOOL PolylineTo(HDC h, const POINT* pts, DWORD n) {
    Dc* d = dc(h);
    if (!d || bad_count(pts, static_cast<long>(n), 1)) return FALSE;
    if (d->rec && !d->rec->emf) {
        // Windows metafiles have no PolylineTo: it is a run of LineTo records.
        for (DWORD i = 0; i < n; ++i) LineTo(h, pts[i].x, pts[i].y);
        return TRUE;
    }
    Mapper m(d->s);
    QPolygon poly(static_cast<int>(n) + 1);
    poly[0] = m(d->s.cur);
    for (DWORD i = 0; i < n; ++i) poly[static_cast<int>(i) + 1] = m(pts[i]);
    d->s.cur = pts[n - 1];
    return polyline_out(*d, 0, emr::POLYLINETO, pts, static_cast<int>(n), poly);
}

BOOL PolyPolyline(HDC h, const POINT* pts, const DWORD* counts, DWORD polys) {
    if (!counts || polys > 1'000'000) return FALSE;
    std::size_t at = 0;
    for (DWORD i = 0; i < polys; ++i) {
        if (!Polyline(h, pts + at, static_cast<int>(counts[i]))) return FALSE;
        at += counts[i];
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Filled shapes

BOOL Polygon(HDC h, const POINT* pts, int n) {
    Dc* d = dc(h);
    if (!d || bad_count(pts, n, 2)) return FALSE;
    Mapper m(d->s);
    QPolygon poly = map_points(m, pts, n);
    if (d->rec) {
        record_points(*d, wmf::POLYGON, emr::POLYGON, pts, n);
        bound(*d, grow(bbox(poly), pen_margin(*d)));
        return TRUE;
    }
    Paint p(*d);
    if (!p.ok()) return TRUE;
    p.use_pen_and_brush(true, true);
    p.p().drawPolygon(poly, d->s.poly_fill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    return TRUE;
}

BOOL PolyPolygon(HDC h, const POINT* pts, const int* counts, int polys) {
    Dc* d = dc(h);
    if (!d || !pts || !counts || polys <= 0 || polys > 1'000'000) return FALSE;
    long total = 0;
    for (int i = 0; i < polys; ++i) {
        if (counts[i] < 2) return FALSE;
        total += counts[i];
        if (total > 4'000'000) return FALSE;
    }
    Mapper m(d->s);
    QPainterPath path;
    path.setFillRule(d->s.poly_fill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    QRect box;
    long at = 0;
    for (int i = 0; i < polys; ++i) {
        QPolygon poly = map_points(m, pts + at, counts[i]);
        poly << poly.first();
        path.addPolygon(poly);
        box = box.united(bbox(poly));
        at += counts[i];
    }
    if (d->rec) {
        Recorder& r = *d->rec;
        Bytes b;
        if (r.emf) {
            QRect bb = box;
            b.i32(bb.left());
            b.i32(bb.top());
            b.i32(bb.right());
            b.i32(bb.bottom());
            b.u32(static_cast<std::uint32_t>(polys));
            b.u32(static_cast<std::uint32_t>(total));
            for (int i = 0; i < polys; ++i) b.u32(static_cast<std::uint32_t>(counts[i]));
            for (long i = 0; i < total; ++i) {
                b.i32(pts[i].x);
                b.i32(pts[i].y);
            }
            r.e_raw(emr::POLYPOLYGON, b);
        } else {
            b.u16(static_cast<unsigned>(polys));
            for (int i = 0; i < polys; ++i) b.u16(static_cast<unsigned>(counts[i]));
            for (long i = 0; i < total; ++i) {
                b.i16(clamp16(pts[i].x));
                b.i16(clamp16(pts[i].y));
            }
            r.w_raw(wmf::POLYPOLYGON, b);
        }
        bound(*d, grow(box, pen_margin(*d)));
        return TRUE;
    }
    Paint p(*d);
    if (!p.ok()) return TRUE;
    p.use_pen_and_brush(true, true);
    p.p().drawPath(path);
    return TRUE;
}

BOOL Rectangle(HDC h, int l, int t, int r, int b) {
    return box_shape(
        h, l, t, r, b, true, false,
        [&](Dc& d) { record_rect_call(d, wmf::RECTANGLE, emr::RECTANGLE, l, t, r, b); },
        [](Dc& d, QPainter& p, const Mapper&, const DeviceBox& box) {
            // The box excludes its right and bottom edges; without a pen the
            // fill is one pixel smaller still, as on the platform.
            int w = box.R - box.L, ht = box.B - box.T;
            if (pen_is_null(object(d.s.pen, Kind::pen)))
                p.drawRect(QRect(box.L, box.T, std::max(0, w - 1), std::max(0, ht - 1)));
            else if (w >= 1 && ht >= 1)
                p.drawRect(QRect(box.L, box.T, w - 1, ht - 1));
        },
        [](Dc&, const QRectF& box, bool) {
            QPainterPath path;
            path.addRect(box);
            return path;
        });
}

BOOL RoundRect(HDC h, int l, int t, int r, int b, int w, int ht) {
    auto record = [&](Dc& d) {
        if (d.rec->emf)
            d.rec->e(emr::ROUNDRECT, {l, t, r, b, w, ht});
        else
            d.rec->w(wmf::ROUNDRECT, {ht, w, b, r, t, l});
    };
    auto draw = [&](Dc& d, QPainter& p, const Mapper&, const DeviceBox& box) {
        if (box.R - box.L < 1 || box.B - box.T < 1) return;
        double rx = std::abs(w * scale_x(d.s)) / 2, ry = std::abs(ht * scale_y(d.s)) / 2;
        p.drawRoundedRect(QRectF(box.L, box.T, box.R - box.L - 1, box.B - box.T - 1), rx, ry);
    };
    auto outline = [&](Dc&, const QRectF& box, bool) {
        QPainterPath path;
        path.addRoundedRect(box, std::abs(w) / 2.0, std::abs(ht) / 2.0);
        return path;
    };
    return box_shape(h, l, t, r, b, true, false, record, draw, outline);
}

BOOL Ellipse(HDC h, int l, int t, int r, int b) {
    return box_shape(
        h, l, t, r, b, true, false,
        [&](Dc& d) { record_rect_call(d, wmf::ELLIPSE, emr::ELLIPSE, l, t, r, b); },
        [](Dc&, QPainter& p, const Mapper&, const DeviceBox& box) {
            if (box.R - box.L < 1 || box.B - box.T < 1) return;
            p.drawEllipse(ellipse_rect(box.L, box.T, box.R, box.B));
        },
        [](Dc&, const QRectF& box, bool) {
            QPainterPath path;
            path.addEllipse(box);
            return path;
        });
}

BOOL Arc(HDC h, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    return arc_like(h, ArcKind::arc, l, t, r, b, xs, ys, xe, ye);
}

BOOL Pie(HDC h, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    return arc_like(h, ArcKind::pie, l, t, r, b, xs, ys, xe, ye);
}

BOOL Chord(HDC h, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    return arc_like(h, ArcKind::chord, l, t, r, b, xs, ys, xe, ye);
}

// ---------------------------------------------------------------------------
// Rectangles with a given brush

int FillRect(HDC h, const RECT* rc, HBRUSH brush) {
    Dc* d = dc(h);
    if (!d || !rc) return 0;
    Object* br = brush_arg(brush);
    if (!br) return 0;
    if (d->rec) {
        HBRUSH real =
            reinterpret_cast<std::uintptr_t>(brush) <= 31
                ? GetSysColorBrush(static_cast<int>(reinterpret_cast<std::uintptr_t>(brush)) - 1)
                : brush;
        HGDIOBJ old = SelectObject(h, real);
        PatBlt(h, rc->left, rc->top, rc->right - rc->left, rc->bottom - rc->top, PATCOPY);
        if (old) SelectObject(h, old);
        return 1;
    }
    Mapper m(d->s);
    int L, T, R, B;
    m.box(rc->left, rc->top, rc->right, rc->bottom, L, T, R, B);
    if (R <= L || B <= T) return 1;
    Paint p(*d, false);
    if (!p.ok()) return 1;
    p.p().setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.p().fillRect(QRect(L, T, R - L, B - T), make_qbrush(*d, br, QTransform()));
    return 1;
}

int FrameRect(HDC h, const RECT* rc, HBRUSH brush) {
    Dc* d = dc(h);
    if (!d || !rc) return 0;
    if (rc->right <= rc->left || rc->bottom <= rc->top) return 1;
    RECT sides[4] = {{rc->left, rc->top, rc->right, rc->top + 1},
                     {rc->left, rc->bottom - 1, rc->right, rc->bottom},
                     {rc->left, rc->top, rc->left + 1, rc->bottom},
                     {rc->right - 1, rc->top, rc->right, rc->bottom}};
    for (const RECT& s : sides)
        if (!FillRect(h, &s, brush)) return 0;
    return 1;
}

BOOL InvertRect(HDC h, const RECT* rc) {
    if (!rc) return FALSE;
    return PatBlt(h, rc->left, rc->top, rc->right - rc->left, rc->bottom - rc->top, DSTINVERT);
}

BOOL DrawFocusRect(HDC h, const RECT* rc) {
    Dc* d = dc(h);
    if (!d || !rc) return FALSE;
    if (d->rec) return TRUE; // not recorded by the platform either
    Mapper m(d->s);
    int L, T, R, B;
    m.box(rc->left, rc->top, rc->right, rc->bottom, L, T, R, B);
    QImage* img = target_image(*d);
    if (!img || R - L < 1 || B - T < 1) return TRUE;
    if (L < -2 || T < -2 || R > img->width() + 2 || B > img->height() + 2) {
        // Only the part over the image matters; keep the dotting phase.
        int l2 = std::max(L, -2 + (L % 2 + 2) % 2), t2 = std::max(T, -2 + (T % 2 + 2) % 2);
        L = l2;
        T = t2;
        R = std::min(R, img->width() + 2);
        B = std::min(B, img->height() + 2);
        if (R - L < 1 || B - T < 1) return TRUE;
    }
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    // Every other pixel of the frame inverted: drawing it twice removes it.
    auto flip = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= img->width() || y >= img->height()) return;
        if (has && !clip.contains(QPoint(x, y))) return;
        auto row = reinterpret_cast<QRgb*>(img->scanLine(y));
        row[x] ^= 0x00FFFFFF;
    };
    for (int x = L; x < R; ++x) {
        if ((x - L) % 2 == 0) flip(x, T);
        if (B - 1 != T && (x - L + (B - 1 - T)) % 2 == 0) flip(x, B - 1);
    }
    for (int y = T + 1; y < B - 1; ++y) {
        if ((y - T) % 2 == 0) flip(L, y);
        if (R - 1 != L && (y - T + (R - 1 - L)) % 2 == 0) flip(R - 1, y);
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Pixels

COLORREF SetPixel(HDC h, int x, int y, COLORREF c) {
    Dc* d = dc(h);
    if (!d) return CLR_INVALID;
    c = plain(c);
    Mapper m(d->s);
    QPoint q = m(x, y);
    if (d->rec) {
        if (d->rec->emf)
            d->rec->e(emr::SETPIXELV, {x, y, static_cast<std::int32_t>(c)});
        else
            d->rec->w(wmf::SETPIXEL,
                      {static_cast<int>(c & 0xFFFF), static_cast<int>(c >> 16), y, x});
        bound(*d, QRect(q, q));
        return c;
    }
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    if (has && !clip.contains(q)) return CLR_INVALID;
    if (QImage* img = target_image(*d)) {
        if (!img->rect().contains(q)) return CLR_INVALID;
        COLORREF v = c;
        if (target_is_mono(*d)) v = qGray(qrgb(c)) >= 128 ? RGB(255, 255, 255) : 0;
        img->setPixel(q, qrgb(v));
        return v;
    }
    Paint p(*d, false);
    if (!p.ok()) return CLR_INVALID;
    p.p().fillRect(QRect(q, QSize(1, 1)), qcolor(c));
    return c;
}

BOOL SetPixelV(HDC h, int x, int y, COLORREF c) {
    return SetPixel(h, x, y, c) != CLR_INVALID;
}

COLORREF GetPixel(HDC h, int x, int y) {
    Dc* d = dc(h);
    if (!d) return CLR_INVALID;
    QImage* img = target_image(*d);
    if (!img) return CLR_INVALID;
    QPoint q = Mapper(d->s)(x, y);
    if (!img->rect().contains(q)) return CLR_INVALID;
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    if (has && !clip.contains(q)) return CLR_INVALID;
    return colorref(img->pixel(q));
}

// ---------------------------------------------------------------------------
// Block transfers

namespace {

// A pattern fill in a Windows metafile as a rectangle under a null pen: some
// readers ignore PATBLT records (bars went missing), every reader draws a
// rectangle. A null-pen rectangle fills one unit less to the right and below,
// hence the one more. False when the records cannot be made (the caller
// writes PATBLT then).
bool record_pattern_fill(Dc& d, int x, int y, int w, int ht) {
    if (w < 0) {
        x += w;
        w = -w;
    }
    if (ht < 0) {
        y += ht;
        ht = -ht;
    }
    HPEN none = CreatePen(PS_NULL, 0, 0);
    if (!none) return false;
    if (!d.rec->select(none)) {
        DeleteObject(none);
        return false;
    }
    d.rec->w(wmf::RECTANGLE, {clamp16(static_cast<long long>(y) + ht + 1),
                              clamp16(static_cast<long long>(x) + w + 1), clamp16(y), clamp16(x)});
    d.rec->select(d.s.pen);
    DeleteObject(none); // its deletion record frees the slot
    return true;
}

} // namespace

BOOL PatBlt(HDC h, int x, int y, int w, int ht, DWORD rop) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    Mapper m(d->s);
    int L, T, R, B;
    m.box(x, y, static_cast<double>(x) + w, static_cast<double>(y) + ht, L, T, R, B);
    if (d->rec) {
        if (!d->rec->emf && rop == PATCOPY && d->s.rop2 == R2_COPYPEN && w != 0 && ht != 0 &&
            record_pattern_fill(*d, x, y, w, ht)) {
            bound(*d, QRect(QPoint(L, T), QPoint(R - 1, B - 1)));
            return TRUE;
        }
        record_blit(*d, x, y, w, ht, nullptr, 0, 0, 0, 0, rop);
        bound(*d, QRect(QPoint(L, T), QPoint(R - 1, B - 1)));
        return TRUE;
    }
    if (R <= L || B <= T) return TRUE;
    QRect dest(L, T, R - L, B - T);
    if (rop_uses_source(rop)) {
        fail("PatBlt: the raster operation needs a source");
        return FALSE;
    }
    if (image_rop3(*d, dest, nullptr, QRect(), rop, false)) return TRUE;
    // Painter devices (printers): copy-like operations only.
    Paint p(*d, false);
    if (!p.ok()) return TRUE;
    if (rop == BLACKNESS)
        p.p().fillRect(dest, Qt::black);
    else if (rop == WHITENESS)
        p.p().fillRect(dest, Qt::white);
    else if (rop_uses_pattern(rop))
        p.p().fillRect(dest, make_qbrush(*d, object(d->s.brush, Kind::brush), QTransform()));
    return TRUE;
}

namespace {

// The source pixels of a context and whether they are monochrome.
const QImage* source_image(Dc& s, bool& mono) {
    mono = target_is_mono(s);
    return target_image(s);
}

BOOL blit(Dc& d, int x, int y, int w, int h, const QImage& src_img, bool src_mono, int sx, int sy,
          int sw, int sh, DWORD rop, const DcState* src_state) {
    Mapper m(d.s);
    int L, T, R, B;
    m.box(x, y, static_cast<double>(x) + w, static_cast<double>(y) + h, L, T, R, B);
    if (R <= L || B <= T) return TRUE;
    // The source rectangle in the source's device pixels.
    QRect s_dev;
    if (src_state) {
        Mapper ms(*src_state);
        int a, b, c, e;
        ms.box(sx, sy, static_cast<double>(sx) + sw, static_cast<double>(sy) + sh, a, b, c, e);
        s_dev = QRect(a, b, c - a, e - b);
    } else {
        long x0 = std::min<long>(sx, static_cast<long>(sx) + sw);
        long y0 = std::min<long>(sy, static_cast<long>(sy) + sh);
        s_dev = QRect(clamp_coord(x0), clamp_coord(y0), clamp_coord(std::labs(sw)),
                      clamp_coord(std::labs(sh)));
    }
    if (s_dev.isEmpty()) return TRUE;
    if (static_cast<qint64>(s_dev.width()) * s_dev.height() > max_pixels) {
        fail("StretchBlt: source rectangle too large");
        return FALSE;
    }
    bool flip_x = (w < 0) != (sw < 0), flip_y = (h < 0) != (sh < 0);
    QImage part = src_img.copy(s_dev); // outside the source reads as black
    if (flip_x || flip_y) part = part.mirrored(flip_x, flip_y);
    QRect dest(L, T, R - L, B - T);
    if (!d.rec && part.size() != dest.size()) {
        // Stretched far past what can be seen (a tiny bitmap over a huge
        // destination, as a picture may ask): only the part over the surface
        // and the clip is made, pixel by pixel from the nearest source pixel.
        QRect seen = dest.intersected(QRect(QPoint(0, 0), surface_size(d)));
        bool has = false;
        QRegion clip = effective_clip(d, has);
        if (has) seen = seen.intersected(clip.boundingRect());
        if (seen.isEmpty()) return TRUE;
        if (static_cast<qint64>(dest.width()) * dest.height() > 4 * 1024 * 1024 &&
            static_cast<qint64>(seen.width()) * seen.height() * 4 <
                static_cast<qint64>(dest.width()) * dest.height()) {
            QImage src = part.convertToFormat(QImage::Format_RGB32);
            QImage out = make_image(seen.width(), seen.height(), "stretched bitmap");
            if (out.isNull() || src.isNull()) return FALSE;
            std::vector<int> cols(static_cast<std::size_t>(seen.width()));
            for (int x = 0; x < seen.width(); ++x)
                cols[static_cast<std::size_t>(x)] = static_cast<int>(std::min<qint64>(
                    src.width() - 1,
                    (static_cast<qint64>(seen.left() - L + x) * src.width()) / dest.width()));
            for (int y = 0; y < seen.height(); ++y) {
                int sy = static_cast<int>(std::min<qint64>(
                    src.height() - 1,
                    (static_cast<qint64>(seen.top() - T + y) * src.height()) / dest.height()));
                auto in = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
                auto row = reinterpret_cast<QRgb*>(out.scanLine(y));
                for (int x = 0; x < seen.width(); ++x)
                    row[x] = in[cols[static_cast<std::size_t>(x)]];
            }
            part = out;
            dest = seen;
        }
    }
    if (part.size() != dest.size()) {
        if (static_cast<qint64>(dest.width()) * dest.height() > max_pixels) {
            fail("StretchBlt: destination too large");
            return FALSE;
        }
        part = part.scaled(dest.width(), dest.height(), Qt::IgnoreAspectRatio,
                           d.s.stretch_mode == HALFTONE ? Qt::SmoothTransformation
                                                        : Qt::FastTransformation);
    }
    part = part.convertToFormat(QImage::Format_RGB32);
    if (d.rec) {
        record_blit(d, x, y, w, h, &part, 0, 0, part.width(), part.height(), rop);
        bound(d, dest.adjusted(0, 0, -1, -1));
        return TRUE;
    }
    if (image_rop3(d, dest, &part, QRect(0, 0, part.width(), part.height()), rop, src_mono))
        return TRUE;
    Paint p(d, false);
    if (!p.ok()) return TRUE;
    if (src_mono) {
        QRgb fg = qrgb(d.s.text), bg = qrgb(d.s.bk);
        for (int yy = 0; yy < part.height(); ++yy) {
            auto row = reinterpret_cast<QRgb*>(part.scanLine(yy));
            for (int xx = 0; xx < part.width(); ++xx) row[xx] = (row[xx] & 0xFFFFFF) ? bg : fg;
        }
    }
    p.p().drawImage(dest.topLeft(), part);
    return TRUE;
}

} // namespace

BOOL gdi::blit_image(HDC h, int x, int y, int w, int ht, const QImage& src, int sx, int sy, int sw,
                     int sh, DWORD rop) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    if (!rop_uses_source(rop)) return PatBlt(h, x, y, w, ht, rop);
    return blit(*d, x, y, w, ht, src, false, sx, sy, sw, sh, rop, nullptr);
}

BOOL StretchBlt(HDC hd, int x, int y, int w, int h, HDC hs, int sx, int sy, int sw, int sh,
                DWORD rop) {
    Dc* d = dc(hd);
    if (!d) return FALSE;
    if (!rop_uses_source(rop)) return PatBlt(hd, x, y, w, h, rop);
    Dc* s = dc(hs);
    if (!s) return FALSE;
    bool mono = false;
    const QImage* img = source_image(*s, mono);
    if (!img || img->isNull()) {
        fail("StretchBlt: the source context has no pixels");
        return FALSE;
    }
    // Copy first: the source and destination may be the same image.
    QImage src = *img;
    src.detach();
    return blit(*d, x, y, w, h, src, mono, sx, sy, sw, sh, rop, &s->s);
}

BOOL BitBlt(HDC hd, int x, int y, int w, int h, HDC hs, int sx, int sy, DWORD rop) {
    return StretchBlt(hd, x, y, w, h, hs, sx, sy, w, h, rop);
}

namespace {

// The header, masks and colour table are read as far as the header says they
// go (its own size word first); the bits as far as its sides and depth, or
// for run-length coding its coded size, say.
QImage dib_from_info(const void* bits, const BITMAPINFO* info, bool& mono, bool& top_down) {
    if (!bits || !info) return {};
    DibHeader h;
    std::string err;
    if (!parse_dib_header(reinterpret_cast<const BYTE*>(info), 256, h, err)) {
        fail("bad bitmap header: " + err);
        return {};
    }
    top_down = h.top_down;
    QImage img = decode_dib_parts(h, reinterpret_cast<const BYTE*>(info),
                                  static_cast<const BYTE*>(bits), h.bits_bytes, err, &mono);
    if (img.isNull()) fail("bad bitmap: " + err);
    return img;
}

} // namespace

int StretchDIBits(HDC h, int x, int y, int w, int ht, int sx, int sy, int sw, int sh,
                  const void* bits, const BITMAPINFO* info, UINT, DWORD rop) {
    Dc* d = dc(h);
    if (!d) return 0;
    bool mono = false, top_down = false;
    QImage img = dib_from_info(bits, info, mono, top_down);
    if (img.isNull()) return 0;
    // DIB source rows count from the bottom for bottom-up bitmaps.
    int src_y = top_down ? sy : img.height() - sy - sh;
    if (!blit(*d, x, y, w, ht, img, false, sx, src_y, sw, sh, rop, nullptr)) return 0;
    return sh;
}

int SetDIBitsToDevice(HDC h, int x, int y, DWORD w, DWORD ht, int sx, int sy, UINT, UINT lines,
                      const void* bits, const BITMAPINFO* info, UINT usage) {
    int r = StretchDIBits(h, x, y, static_cast<int>(w), static_cast<int>(ht), sx, sy,
                          static_cast<int>(w), static_cast<int>(ht), bits, info, usage, SRCCOPY);
    return r ? static_cast<int>(lines) : 0;
}

// ---------------------------------------------------------------------------
// Regions drawn

namespace {

QRegion region_device(Dc& d, const QRegion& r) {
    QTransform t = full_transform(d.s);
    return t.isIdentity() ? r : t.map(r);
}

} // namespace

BOOL FillRgn(HDC h, HRGN rgn, HBRUSH brush) {
    Dc* d = dc(h);
    Object* r = object(rgn, Kind::region);
    if (!d || !r) return FALSE;
    for (const QRect& q : r->region) {
        RECT rc{q.left(), q.top(), q.right() + 1, q.bottom() + 1};
        if (!FillRect(h, &rc, brush)) return FALSE;
    }
    return TRUE;
}

BOOL PaintRgn(HDC h, HRGN rgn) {
    Dc* d = dc(h);
    if (!d) return FALSE;
    return FillRgn(h, rgn, d->s.brush);
}

BOOL InvertRgn(HDC h, HRGN rgn) {
    Dc* d = dc(h);
    Object* r = object(rgn, Kind::region);
    if (!d || !r) return FALSE;
    for (const QRect& q : r->region) {
        RECT rc{q.left(), q.top(), q.right() + 1, q.bottom() + 1};
        if (!InvertRect(h, &rc)) return FALSE;
    }
    return TRUE;
}

BOOL FrameRgn(HDC h, HRGN rgn, HBRUSH brush, int w, int ht) {
    Dc* d = dc(h);
    Object* r = object(rgn, Kind::region);
    if (!d || !r || w < 1 || ht < 1) return FALSE;
    QRegion dev = region_device(*d, r->region);
    // The frame is the region less the region shrunk by (w, h) on each side.
    QRegion inner = dev;
    inner = inner.intersected(dev.translated(w, 0))
                .intersected(dev.translated(-w, 0))
                .intersected(dev.translated(0, ht))
                .intersected(dev.translated(0, -ht));
    QRegion frame = dev.subtracted(inner);
    Object* br = brush_arg(brush);
    if (!br) return FALSE;
    if (d->rec) return TRUE;
    Paint p(*d, false);
    if (!p.ok()) return TRUE;
    QBrush qb = make_qbrush(*d, br, QTransform());
    for (const QRect& q : frame) p.p().fillRect(q, qb);
    return TRUE;
}

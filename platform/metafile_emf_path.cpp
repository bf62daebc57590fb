// Paths of an enhanced metafile: the figures drawn between a path's begin and
// end records, kept in device pixels as drawn; curves outside a path are built
// the same way and stroked at once. A path is filled, stroked, widened or made
// the clip; played into a metafile context it is recorded as polygons.
#include "platform/metafile_emf_play.h"

#include <QPainterPathStroker>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

using namespace gdi;
using namespace gdi::mf;

namespace {

// Kinds of the points of a point-drawing record.
constexpr BYTE pt_closefigure = 0x01, pt_lineto = 0x02, pt_bezierto = 0x04, pt_moveto = 0x06;

} // namespace

// The path with each open figure closed (filling closes them).
QPainterPath mf::closed_figures(const QPainterPath& in) {
    QPainterPath out;
    out.setFillRule(in.fillRule());
    for (int k = 0; k < in.elementCount(); ++k) {
        QPainterPath::Element e = in.elementAt(k);
        if (e.isMoveTo()) {
            if (k > 0) out.closeSubpath();
            out.moveTo(e.x, e.y);
        } else if (e.isLineTo()) {
            out.lineTo(e.x, e.y);
        } else if (e.isCurveTo() && k + 2 < in.elementCount()) {
            QPainterPath::Element c2 = in.elementAt(k + 1), end = in.elementAt(k + 2);
            out.cubicTo(QPointF(e.x, e.y), QPointF(c2.x, c2.y), QPointF(end.x, end.y));
            k += 2;
        }
    }
    out.closeSubpath();
    return out;
}

QPointF EmfPlayer::dev(const POINT& p) const {
    Dc* d = gdi::dc(dc);
    return d ? full_transform(d->s).map(QPointF(p.x, p.y)) : QPointF();
}
POINT EmfPlayer::cur() const {
    Dc* d = gdi::dc(dc);
    return d ? d->s.cur : POINT{0, 0};
}
void EmfPlayer::set_cur(const POINT& p) {
    if (Dc* d = gdi::dc(dc)) d->s.cur = p;
}
// Room in the path for `n` more elements; past the limit the path is dropped.
bool EmfPlayer::room(int n) {
    if (!path_too_long && path.elementCount() <= max_path_points - n) return true;
    if (!path_too_long)
        limits.reached("a path of more than " + std::to_string(max_path_points) + " points");
    path_too_long = true;
    path = QPainterPath();
    return false;
}
void EmfPlayer::new_path() {
    path = QPainterPath();
    path_too_long = false;
    figure_open = false;
}
void EmfPlayer::move_to(const POINT& p) {
    set_cur(p);
    if (!room(1)) return;
    path.moveTo(dev(p));
    figure_open = true;
}
void EmfPlayer::start_figure() {
    if (!figure_open) move_to(cur());
}
void EmfPlayer::line_to(const POINT& p) {
    start_figure();
    set_cur(p);
    if (room(1)) path.lineTo(dev(p));
}
void EmfPlayer::bezier_to(const POINT* p3) {
    start_figure();
    set_cur(p3[2]);
    if (room(3)) path.cubicTo(dev(p3[0]), dev(p3[1]), dev(p3[2]));
}
void EmfPlayer::close_figure() {
    if (!figure_open) return;
    path.closeSubpath();
    figure_open = false;
}
// A figure given in logical units (shapes drawn while a path is open).
void EmfPlayer::add_logical(const QPainterPath& logical) {
    Dc* d = gdi::dc(dc);
    if (!d) return;
    figure_open = false;
    if (room(logical.elementCount())) path.addPath(full_transform(d->s).map(logical));
}

// Adds the points of a line, curve or point-drawing record to the path.
void EmfPlayer::add_points(DWORD type, const std::vector<POINT>& pts, const BYTE* kinds) {
    std::size_t n = pts.size();
    if (n == 0) return;
    switch (type) {
    case emr::POLYLINE:
    case emr::POLYLINE16:
    case emr::POLYGON:
    case emr::POLYGON16:
        move_to(pts[0]);
        for (std::size_t k = 1; k < n; ++k) line_to(pts[k]);
        if (type == emr::POLYGON || type == emr::POLYGON16) close_figure();
        break;
    case emr::POLYLINETO:
    case emr::POLYLINETO16:
        for (const POINT& p : pts) line_to(p);
        break;
    case emr::POLYBEZIER:
    case emr::POLYBEZIER16:
        move_to(pts[0]);
        for (std::size_t k = 1; k + 3 <= n; k += 3) bezier_to(&pts[k]);
        break;
    case emr::POLYBEZIERTO:
    case emr::POLYBEZIERTO16:
        for (std::size_t k = 0; k + 3 <= n; k += 3) bezier_to(&pts[k]);
        break;
    case emr::POLYDRAW:
    case emr::POLYDRAW16:
        for (std::size_t k = 0; k < n; ++k) {
            BYTE kind = static_cast<BYTE>(kinds[k] & ~pt_closefigure);
            std::size_t last = k;
            if (kind == pt_moveto) {
                move_to(pts[k]);
            } else if (kind == pt_lineto) {
                line_to(pts[k]);
            } else if (kind == pt_bezierto && k + 3 <= n) {
                bezier_to(&pts[k]);
                last = k + 2;
            } else {
                return; // a malformed run of kinds ends the drawing
            }
            if (kinds[last] & pt_closefigure) close_figure();
            k = last;
        }
        break;
    default:
        break;
    }
}

// While a path is open, the drawing records build it instead of drawing.
// False for a record that is not part of a path (it plays as usual).
bool EmfPlayer::add_to_path(const ERec& r) {
    if (is_points(r.type)) {
        std::size_t n = r.u(24);
        add_points(r.type, poly_points(r), r.p + 28 + n * (is_small_points(r.type) ? 4 : 8));
        return true;
    }
    if (is_polys(r.type)) {
        std::vector<int> counts;
        std::vector<POINT> pts = polys_points(r, counts);
        bool closed = r.type == emr::POLYPOLYGON || r.type == emr::POLYPOLYGON16;
        std::size_t at = 0;
        for (int count : counts) {
            std::vector<POINT> one(pts.begin() + static_cast<long>(at),
                                   pts.begin() + static_cast<long>(at) + count);
            add_points(closed ? emr::POLYGON : emr::POLYLINE, one, nullptr);
            at += static_cast<std::size_t>(count);
        }
        return true;
    }
    switch (r.type) {
    case emr::MOVETOEX:
        move_to(POINT{r.i(8), r.i(12)});
        return true;
    case emr::LINETO:
        line_to(POINT{r.i(8), r.i(12)});
        return true;
    case emr::RECTANGLE:
    case emr::ELLIPSE:
    case emr::ROUNDRECT: {
        QRectF box(QPointF(r.i(8), r.i(12)), QPointF(r.i(16), r.i(20)));
        QPainterPath logical;
        if (r.type == emr::RECTANGLE)
            logical.addRect(box.normalized());
        else if (r.type == emr::ELLIPSE)
            logical.addEllipse(box.normalized());
        else
            logical.addRoundedRect(box.normalized(), std::abs(r.i(24)) / 2.0,
                                   std::abs(r.i(28)) / 2.0);
        add_logical(logical);
        return true;
    }
    default:
        return false;
    }
}

// Fills and strokes a path given in device pixels with the context's brush and
// pen. Filling closes every figure, as the platform does.
void EmfPlayer::draw_path(QPainterPath p, bool stroke, bool fill) {
    Dc* d = gdi::dc(dc);
    if (!d || p.isEmpty()) return;
    if (fill) p = closed_figures(p);
    p.setFillRule(d->s.poly_fill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    if (d->rec) {
        record_path(p, stroke, fill);
        return;
    }
    Paint paint(*d);
    if (!paint.ok()) return;
    paint.use_pen_and_brush(stroke, fill);
    if (stroke) {
        QPen q = paint.p().pen();
        q.setMiterLimit(miter);
        paint.p().setPen(q);
    }
    paint.p().drawPath(p);
}

// Played into a metafile context, a path is recorded as polygons and
// polylines in logical units (the records every reader knows).
void EmfPlayer::record_path(const QPainterPath& p, bool stroke, bool fill) {
    Dc* d = gdi::dc(dc);
    bool invertible = false;
    QTransform back = full_transform(d->s).inverted(&invertible);
    if (!invertible) return;
    std::vector<POINT> pts;
    std::vector<int> counts;
    for (const QPolygonF& poly : p.toSubpathPolygons(back)) {
        if (poly.size() < 2 || pts.size() + static_cast<std::size_t>(poly.size()) > 4'000'000)
            continue;
        counts.push_back(static_cast<int>(poly.size()));
        for (const QPointF& q : poly) pts.push_back(POINT{clamp_coord(q.x()), clamp_coord(q.y())});
    }
    if (counts.empty()) return;
    if (fill) {
        HGDIOBJ old = SelectObject(dc, GetStockObject(NULL_PEN));
        PolyPolygon(dc, pts.data(), counts.data(), static_cast<int>(counts.size()));
        if (old) SelectObject(dc, old);
    }
    if (stroke) {
        std::vector<DWORD> lines(counts.begin(), counts.end());
        PolyPolyline(dc, pts.data(), lines.data(), static_cast<DWORD>(lines.size()));
    }
}

// Combines a region with the clip. The context maps regions by its placement

// Widens the path to the outline the pen would stroke.
void EmfPlayer::widen_path() {
    Dc* d = gdi::dc(dc);
    if (!d) return;
    QPen pen = make_qpen(*d, object(d->s.pen, Kind::pen));
    QPainterPathStroker widen(pen);
    // Each dash is a figure of the outline: a fine pattern along a long path
    // would make millions.
    double cycle = 0;
    for (qreal v : pen.dashPattern()) cycle += v * std::max<qreal>(1, pen.widthF());
    if (pen.style() != Qt::SolidLine && cycle > 0 && path.length() / cycle > max_path_points / 16) {
        limits.reached("a widened path of too many dashes");
        widen.setDashPattern(Qt::SolidLine);
    }
    path = widen.createStroke(path);
    if (path.elementCount() > max_path_points) {
        limits.reached("a widened path of more than " + std::to_string(max_path_points) +
                       " points");
        path = QPainterPath();
    }
}

// Ends the path and combines the region it covers with the clip.
void EmfPlayer::clip_to_path(int mode) {
    Dc* d = gdi::dc(dc);
    if (!d) return;
    in_path = false;
    QPainterPath p = closed_figures(path);
    new_path();
    Qt::FillRule rule = d->s.poly_fill == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
    HRGN h = region_object(path_region(p, rule, drawing_area(*d), limits));
    select_clip(h, mode, QTransform()); // the path is in device pixels already
    DeleteObject(h);
}

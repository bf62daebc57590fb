// The work one picture may cause: past its limits a picture is simplified and
// one message says what was reached. Clip paths become regions by a scan of
// our own, and rectangles read from a file join into regions in n log n
// steps, so neither can take minutes.
#include "platform/metafile_play.h"

#include <QPolygonF>

#include <algorithm>
#include <cmath>

using namespace gdi;
using namespace gdi::mf;

void Limits::report(std::string* out, bool emf) const {
    if (out)
        *out = first;
    else if (!first.empty())
        fail(limits_message(first, emf));
}

std::string gdi::limits_message(const std::string& reached, bool emf) {
    return std::string(emf ? "PlayEnhMetaFile" : "PlayMetaFile") +
           ": the picture asks for more work than allowed (" + reached + "); it was simplified";
}

QRect mf::drawing_area(Dc& d) {
    QSize z = surface_size(d);
    if (is_metafile(d)) // a recorded picture may draw around the reference device
        return QRect(-z.width(), -z.height(), 3 * z.width(), 3 * z.height());
    return QRect(-1, -1, z.width() + 2, z.height() + 2);
}

namespace {

// A polygon cut to a rectangle (Sutherland-Hodgman, one side at a time).
// Inside the rectangle every point keeps its winding number, so the fill is
// the same under either fill rule.
QPolygonF cut_to(const QPolygonF& in, const QRectF& box) {
    QPolygonF poly = in;
    for (int side = 0; side < 4 && !poly.isEmpty(); ++side) {
        auto inside = [&](const QPointF& p) {
            switch (side) {
            case 0:
                return p.x() >= box.left();
            case 1:
                return p.x() <= box.right();
            case 2:
                return p.y() >= box.top();
            default:
                return p.y() <= box.bottom();
            }
        };
        auto cross = [&](const QPointF& a, const QPointF& b) {
            double t = side < 2
                           ? ((side == 0 ? box.left() : box.right()) - a.x()) / (b.x() - a.x())
                           : ((side == 2 ? box.top() : box.bottom()) - a.y()) / (b.y() - a.y());
            QPointF c = a + (b - a) * t;
            if (side < 2)
                c.setX(side == 0 ? box.left() : box.right());
            else
                c.setY(side == 2 ? box.top() : box.bottom());
            return c;
        };
        QPolygonF out;
        out.reserve(poly.size() + 4);
        for (qsizetype k = 0; k < poly.size(); ++k) {
            const QPointF& cur = poly[k];
            const QPointF& prev = poly[(k + poly.size() - 1) % poly.size()];
            bool in_cur = inside(cur), in_prev = inside(prev);
            if (in_cur) {
                if (!in_prev) out << cross(prev, cur);
                out << cur;
            } else if (in_prev) {
                out << cross(prev, cur);
            }
        }
        poly = out;
    }
    return poly;
}

} // namespace

// The region a filled path covers within `area`: the pixels whose centres
// are inside, row by row (the painter's own polygon regions take time that
// grows with rows times pieces). Past the limit the box of that part stands
// for it, with the limit noted.
QRegion mf::path_region(const QPainterPath& path, Qt::FillRule rule, const QRect& area,
                        Limits& limits) {
    QPolygonF poly = cut_to(path.toFillPolygon(), QRectF(area));
    if (poly.size() < 3) return QRegion();
    struct Edge {
        QPointF a, b;
        int first, last; // rows whose centres it crosses
        int dir;
    };
    std::vector<Edge> edges;
    std::uint64_t rows = 0; // the work of the scan: rows crossed, all edges
    for (qsizetype k = 0; k < poly.size(); ++k) {
        QPointF a = poly[k], b = poly[(k + 1) % poly.size()];
        if (a.y() == b.y()) continue;
        int dir = a.y() < b.y() ? 1 : -1;
        if (dir < 0) std::swap(a, b);
        // Rows r with a.y <= r + 0.5 < b.y.
        int first = static_cast<int>(std::ceil(a.y() - 0.5)),
            last = static_cast<int>(std::ceil(b.y() - 0.5)) - 1;
        first = std::max(first, area.top());
        last = std::min(last, area.bottom());
        if (last < first) continue;
        edges.push_back({a, b, first, last, dir});
        rows += static_cast<std::uint64_t>(last - first) + 1;
    }
    if (rows > max_region_rows) {
        limits.reached("a clip path of " + std::to_string(poly.size()) + " points over " +
                       std::to_string(rows) + " edge rows");
        return QRegion(poly.boundingRect().toAlignedRect().intersected(area));
    }
    std::sort(edges.begin(), edges.end(),
              [](const Edge& x, const Edge& y) { return x.first < y.first; });
    // Rows with the same spans make one band; bands hold pieces side by side
    // that neither touch nor overlap, as a region keeps them.
    std::vector<QRect> rects;
    std::vector<std::pair<int, int>> spans, band; // [left, right] pixels
    int band_top = 0;
    auto flush = [&](int end_row) {
        for (const auto& [l, r] : band)
            rects.emplace_back(l, band_top, r - l + 1, end_row - band_top);
        band.clear();
    };
    std::vector<const Edge*> active;
    std::vector<std::pair<double, int>> cross;
    std::size_t next = 0;
    int row = edges.empty() ? area.bottom() + 1 : edges.front().first;
    for (; row <= area.bottom() && (next < edges.size() || !active.empty()); ++row) {
        while (next < edges.size() && edges[next].first <= row) active.push_back(&edges[next++]);
        std::erase_if(active, [&](const Edge* e) { return e->last < row; });
        double y = row + 0.5;
        cross.clear();
        for (const Edge* e : active)
            cross.emplace_back(
                e->a.x() + (y - e->a.y()) * (e->b.x() - e->a.x()) / (e->b.y() - e->a.y()), e->dir);
        std::sort(cross.begin(), cross.end());
        spans.clear();
        int wind = 0;
        for (std::size_t k = 0; k + 1 < cross.size(); ++k) {
            wind = rule == Qt::WindingFill ? wind + cross[k].second : (wind ^ 1);
            if (wind == 0) continue;
            // Pixels whose centres lie in [x0, x1).
            int l = std::max(static_cast<int>(std::ceil(cross[k].first - 0.5)), area.left());
            int r =
                std::min(static_cast<int>(std::ceil(cross[k + 1].first - 0.5)) - 1, area.right());
            if (r < l) continue;
            if (!spans.empty() && l <= spans.back().second + 1)
                spans.back().second = std::max(spans.back().second, r);
            else
                spans.emplace_back(l, r);
        }
        if (spans != band) {
            flush(row);
            band = spans;
            band_top = row;
        }
    }
    flush(row);
    QRegion out;
    if (!rects.empty()) out.setRects(rects.data(), static_cast<int>(rects.size()));
    return out;
}

// The union of rectangles read from a file. Rectangles in bands (as every
// writer of regions stores them: rows of equal height, side by side, not
// overlapping) join in n log n steps into at most n pieces. Loose rectangles
// can cut each other into a number of pieces that grows with the square of
// theirs: past a small count their box stands for them.
QRegion mf::region_of(std::vector<QRect>& rects, Limits& limits) {
    if (rects.empty()) return QRegion();
    std::stable_sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
    bool banded = true;
    for (std::size_t k = 1; k < rects.size() && banded; ++k) {
        const QRect &a = rects[k - 1], &b = rects[k];
        if (b.top() == a.top()) // the same band: as high, further right
            banded = b.bottom() == a.bottom() && b.left() > a.right();
        else // the next band starts below this one (all of whose pieces end with `a`)
            banded = b.top() > a.bottom();
    }
    if (!banded && rects.size() > max_loose_rects) {
        QRect box;
        for (const QRect& r : rects) box = box.united(r);
        limits.reached("a region of " + std::to_string(rects.size()) + " overlapping rectangles");
        return QRegion(box);
    }
    // Pairwise joins, level by level.
    std::vector<QRegion> level;
    level.reserve(rects.size());
    for (const QRect& r : rects) level.emplace_back(r);
    while (level.size() > 1) {
        std::vector<QRegion> next;
        next.reserve((level.size() + 1) / 2);
        for (std::size_t k = 0; k + 1 < level.size(); k += 2)
            next.push_back(level[k].united(level[k + 1]));
        if (level.size() % 2) next.push_back(level.back());
        level.swap(next);
    }
    return level.front();
}

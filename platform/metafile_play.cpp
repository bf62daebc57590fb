// Reading metafiles: the checks that make a byte string a trusted metafile,
// and the players that turn the records back into drawing calls on any
// context. Every count, size and offset is checked against the record
// before anything is read; a metafile that fails is refused whole.
#include "platform/metafile.h"

#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

using namespace gdi;

namespace {

std::uint16_t u16at(const BYTE* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::int16_t i16at(const BYTE* p) {
    return static_cast<std::int16_t>(u16at(p));
}
std::uint32_t u32at(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t i32at(const BYTE* p) {
    return static_cast<std::int32_t>(u32at(p));
}

std::string hex(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

// ---------------------------------------------------------------------------
// The work one picture may cause
//
// A few hundred bytes can ask for a path of millions of points, a region of
// millions of pieces or a long run of drawing. Past these limits a picture is
// simplified (the part that would cost too much is left out or replaced by its
// bounding box) and one message says what was reached.

inline constexpr int max_path_points = 1'000'000;            // elements of one path
inline constexpr std::uint64_t max_region_rows = 1'000'000;  // edge rows of a clip path
inline constexpr std::size_t max_loose_rects = 2'000;        // rectangles not in bands
inline constexpr std::size_t max_records_played = 4'000'000; // records of one picture

struct Limits {
    std::string first; // the first limit reached ("" while none)
    void reached(const std::string& what) {
        if (first.empty()) first = what;
    }
    // Hands what was reached to the caller, or gives the message itself.
    void report(std::string* out, bool emf) const {
        if (out)
            *out = first;
        else if (!first.empty())
            fail(limits_message(first, emf));
    }
};

// The part of the device where drawing can land, with a pixel to spare: a
// clip outside it changes nothing that can be seen.
QRect drawing_area(Dc& d) {
    QSize z = surface_size(d);
    if (is_metafile(d)) // a recorded picture may draw around the reference device
        return QRect(-z.width(), -z.height(), 3 * z.width(), 3 * z.height());
    return QRect(-1, -1, z.width() + 2, z.height() + 2);
}

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

// The region a filled path covers within `area`: the pixels whose centres
// are inside, row by row (the painter's own polygon regions take time that
// grows with rows times pieces). Past the limit the box of that part stands
// for it, with the limit noted.
QRegion path_region(const QPainterPath& path, Qt::FillRule rule, const QRect& area,
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
QRegion region_of(std::vector<QRect>& rects, Limits& limits) {
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

// The character set of the font selected in a context: single-byte text of a
// picture is in its code page.
BYTE font_charset(HDC h) {
    Dc* d = gdi::dc(h);
    Object* f = d ? object(d->s.font, Kind::font) : nullptr;
    return f ? f->lf.lfCharSet : static_cast<BYTE>(ANSI_CHARSET);
}

// Spacing stored per byte, added up per UTF-16 unit of the decoded text (a
// character of two bytes gets both; the second half of a pair gets 0).
std::vector<int> spacing_per_unit(const std::vector<int>& byte_dx,
                                  const std::vector<int>& unit_bytes) {
    if (byte_dx.empty()) return {};
    std::vector<int> dx;
    dx.reserve(unit_bytes.size());
    std::size_t at = 0;
    for (int n : unit_bytes) {
        long v = 0;
        for (int k = 0; k < n && at < byte_dx.size(); ++k) v += byte_dx[at++];
        dx.push_back(static_cast<int>(std::clamp<long>(v, INT32_MIN / 2, INT32_MAX / 2)));
    }
    return dx;
}

// ---------------------------------------------------------------------------
// Windows metafile records

// A record's parameters (16-bit words).
struct WRec {
    WORD fn;
    const BYTE* p; // parameters
    std::size_t n; // number of parameter words
    std::int16_t s(std::size_t i) const { return i < n ? i16at(p + 2 * i) : 0; }
    std::uint16_t u(std::size_t i) const { return i < n ? u16at(p + 2 * i) : 0; }
    std::uint32_t u32(std::size_t i) const {
        return u(i) | (static_cast<std::uint32_t>(u(i + 1)) << 16);
    }
    const BYTE* bytes(std::size_t word) const { return p + 2 * word; }
    std::size_t bytes_from(std::size_t word) const { return word <= n ? 2 * (n - word) : 0; }
    // A signed field and a double word, by parameter index.
    int field(std::size_t i) const { return s(i); }
    std::uint32_t dword(std::size_t i) const { return u32(i); }
};

bool rop_uses_src(DWORD rop) {
    std::uint32_t i = (rop >> 16) & 0xFF;
    return ((i >> 2) & 0x33) != (i & 0x33);
}

// Where a block transfer record keeps its fields: parameter indexes in a
// Windows metafile, byte offsets in an enhanced one. A record whose source has
// the destination's size names the destination's size fields for the source.
struct BlitLayout {
    std::size_t rop;
    std::size_t x, y, w, h;     // destination
    std::size_t sx, sy, sw, sh; // source rectangle
    bool bottom_up;             // the source's rows count from the bottom
};

inline constexpr BlitLayout wmf_dib_bitblt{0, 7, 6, 5, 4, 3, 2, 5, 4, false};
inline constexpr BlitLayout wmf_dib_stretchblt{0, 9, 8, 7, 6, 5, 4, 3, 2, false};
inline constexpr BlitLayout wmf_stretchdib{0, 10, 9, 8, 7, 6, 5, 4, 3, true};
inline constexpr BlitLayout emf_bitblt{40, 24, 28, 32, 36, 44, 48, 32, 36, false};
inline constexpr BlitLayout emf_stretchblt{40, 24, 28, 32, 36, 44, 48, 100, 104, false};
inline constexpr BlitLayout emf_stretchdibits{68, 24, 28, 72, 76, 32, 36, 40, 44, true};

// The pattern form of a Windows metafile transfer: without a bitmap the record
// holds one reserved word more, ahead of the destination.
constexpr BlitLayout without_bitmap(BlitLayout at) {
    ++at.x;
    ++at.y;
    ++at.w;
    ++at.h;
    return at;
}

// Plays a transfer record of either format: onto the destination with the
// source bitmap, or (`src` null) as a pattern operation. A source that could
// not be decoded draws nothing.
template <typename Rec>
void play_blit(HDC dc, const Rec& r, const BlitLayout& at, const QImage* src) {
    DWORD rop = r.dword(at.rop);
    int x = r.field(at.x), y = r.field(at.y), w = r.field(at.w), h = r.field(at.h);
    if (!src) {
        PatBlt(dc, x, y, w, h, rop);
        return;
    }
    if (src->isNull()) return;
    int sy = r.field(at.sy), sh = r.field(at.sh);
    if (at.bottom_up) sy = src->height() - sy - sh;
    blit_image(dc, x, y, w, h, *src, r.field(at.sx), sy, r.field(at.sw), sh, rop);
}

// Checks one Windows metafile record's parameters; "" when sound. `known`
// turns false for a function the player does not know.
std::string check_wmf_record(const WRec& r, bool& known) {
    known = true;
    auto need = [&](std::size_t k) {
        return r.n >= k ? std::string() : "record " + hex(r.fn) + " too short";
    };
    switch (r.fn) {
    case wmf::SAVEDC:
    case wmf::REALIZEPALETTE:
        return {};
    case wmf::SETBKMODE:
    case wmf::SETMAPMODE:
    case wmf::SETROP2:
    case wmf::SETRELABS:
    case wmf::SETPOLYFILLMODE:
    case wmf::SETSTRETCHBLTMODE:
    case wmf::SETTEXTCHAREXTRA:
    case wmf::RESTOREDC:
    case wmf::SELECTOBJECT:
    case wmf::SELECTCLIPREGION:
    case wmf::DELETEOBJECT:
    case wmf::SETTEXTALIGN:
    case wmf::SELECTPALETTE:
    case wmf::INVERTREGION:
    case wmf::PAINTREGION:
        return need(1);
    case wmf::SETBKCOLOR:
    case wmf::SETTEXTCOLOR:
    case wmf::SETTEXTJUSTIFICATION:
    case wmf::SETWINDOWORG:
    case wmf::SETWINDOWEXT:
    case wmf::SETVIEWPORTORG:
    case wmf::SETVIEWPORTEXT:
    case wmf::OFFSETWINDOWORG:
    case wmf::OFFSETVIEWPORTORG:
    case wmf::LINETO:
    case wmf::MOVETO:
    case wmf::OFFSETCLIPRGN:
    case wmf::FILLREGION:
    case wmf::SETMAPPERFLAGS:
        return need(2);
    case wmf::SCALEWINDOWEXT:
    case wmf::SCALEVIEWPORTEXT:
    case wmf::EXCLUDECLIPRECT:
    case wmf::INTERSECTCLIPRECT:
    case wmf::ELLIPSE:
    case wmf::RECTANGLE:
    case wmf::SETPIXEL:
    case wmf::FRAMEREGION:
        return need(4);
    case wmf::FLOODFILL:
        return need(4);
    case wmf::ROUNDRECT:
    case wmf::PATBLT:
        return need(6);
    case wmf::ARC:
    case wmf::PIE:
    case wmf::CHORD:
        return need(8);
    case wmf::CREATEPENINDIRECT:
        return need(5);
    case wmf::CREATEBRUSHINDIRECT:
        return need(4);
    case wmf::CREATEFONTINDIRECT:
        return need(9);
    case wmf::CREATEPALETTE: {
        if (r.n < 2) return need(2);
        std::size_t entries = r.u(1);
        return r.n >= 2 + entries * 2 ? std::string() : "palette record too short";
    }
    case wmf::ESCAPE: {
        if (r.n < 2) return need(2);
        return r.bytes_from(2) >= r.u(1) ? std::string() : "escape record too short";
    }
    case wmf::POLYGON:
    case wmf::POLYLINE: {
        if (r.n < 1) return need(1);
        return r.n >= 1 + 2 * static_cast<std::size_t>(r.u(0)) ? std::string()
                                                               : "point count beyond the record";
    }
    case wmf::POLYPOLYGON: {
        if (r.n < 1) return need(1);
        std::size_t polys = r.u(0);
        if (r.n < 1 + polys) return "polygon count beyond the record";
        std::size_t total = 0;
        for (std::size_t i = 0; i < polys; ++i) total += r.u(1 + i);
        return r.n >= 1 + polys + 2 * total ? std::string() : "point count beyond the record";
    }
    case wmf::TEXTOUT: {
        if (r.n < 1) return need(1);
        std::size_t len = static_cast<std::size_t>(std::max<int>(0, r.s(0)));
        return r.n >= 1 + (len + 1) / 2 + 2 ? std::string() : "text beyond the record";
    }
    case wmf::EXTTEXTOUT: {
        if (r.n < 4) return need(4);
        std::size_t len = static_cast<std::size_t>(std::max<int>(0, r.s(2)));
        std::size_t at = 4 + ((r.u(3) & (ETO_OPAQUE | ETO_CLIPPED)) ? 4 : 0);
        return r.n >= at + (len + 1) / 2 ? std::string() : "text beyond the record";
    }
    case wmf::DIBCREATEPATTERNBRUSH:
        return need(2);
    case wmf::DIBBITBLT:
        return r.n >= 2 && rop_uses_src(r.u32(0)) ? need(8) : need(9);
    case wmf::DIBSTRETCHBLT:
        return r.n >= 2 && rop_uses_src(r.u32(0)) ? need(10) : need(11);
    case wmf::STRETCHDIB:
        return need(11);
    case wmf::SETDIBTODEV:
        return need(9);
    case wmf::CREATEREGION: {
        if (r.n < 11) return need(11);
        std::size_t scans = r.u(5);
        std::size_t at = 11;
        for (std::size_t i = 0; i < scans; ++i) {
            if (r.n < at + 3) return "region scan beyond the record";
            std::size_t count = r.u(at);
            if (count % 2) return "region scan with an odd count";
            if (r.n < at + 3 + count + 1) return "region scan beyond the record";
            at += 3 + count + 1;
        }
        return {};
    }
    case wmf::BITBLT:
    case wmf::STRETCHBLT:
        return {}; // old device-bitmap transfers: accepted and skipped
    default:
        known = false;
        return {};
    }
}

// Does the record create an object (taking the lowest free slot)? Besides
// the known ones, every function numbered like an object creation (low byte
// 0xF7 and up) does, so that the indexes after it stay right.
bool wmf_creates(WORD fn) {
    return fn == wmf::CREATEPENINDIRECT || fn == wmf::CREATEBRUSHINDIRECT ||
           fn == wmf::CREATEFONTINDIRECT || fn == wmf::CREATEPALETTE ||
           fn == wmf::DIBCREATEPATTERNBRUSH || fn == wmf::CREATEREGION || (fn & 0xFF) >= 0xF7;
}

// Walks the records; `each` returns false to stop (an error).
bool walk_wmf(const BYTE* data, std::size_t size, std::string& error,
              const std::function<bool(const WRec&)>& each) {
    if (size < 18) {
        error = "metafile header truncated";
        return false;
    }
    WORD type = u16at(data), header_words = u16at(data + 2), version = u16at(data + 4);
    if ((type != 1 && type != 2) || header_words != 9 || (version != 0x0300 && version != 0x0100)) {
        error = "not a Windows metafile (bad header)";
        return false;
    }
    std::size_t total = static_cast<std::size_t>(u32at(data + 6)) * 2;
    if (total < 18 + 6 || total > size) {
        error = "metafile size " + std::to_string(total) + " does not match the data (" +
                std::to_string(size) + " bytes)";
        return false;
    }
    std::size_t pos = 18;
    while (true) {
        if (total - pos < 6) {
            error = "metafile truncated: no end record";
            return false;
        }
        std::size_t words = u32at(data + pos);
        WORD fn = u16at(data + pos + 4);
        if (words < 3 || words > (total - pos) / 2) {
            error = "record at byte " + std::to_string(pos) + " has a bad size";
            return false;
        }
        if (fn == wmf::EOF_) return true;
        WRec r{fn, data + pos + 6, words - 3};
        if (!each(r)) return false;
        pos += words * 2;
    }
}

} // namespace

bool gdi::validate_wmf(const BYTE* data, std::size_t size, std::string& error,
                       SkippedRecords* skipped) {
    if (!data) {
        error = "no metafile data";
        return false;
    }
    if (size < 18) {
        error = "metafile header truncated";
        return false;
    }
    std::size_t objects = u16at(data + 10);
    std::vector<bool> used(objects, false);
    return walk_wmf(data, size, error, [&](const WRec& r) {
        bool known = true;
        std::string e = check_wmf_record(r, known);
        if (!e.empty()) {
            error = e;
            return false;
        }
        if (!known && skipped && skipped->count++ == 0) skipped->first = r.fn;
        if (wmf_creates(r.fn)) {
            auto it = std::find(used.begin(), used.end(), false);
            if (it == used.end()) {
                error = "more objects than the header's object table holds";
                return false;
            }
            *it = true;
        } else if (r.fn == wmf::DELETEOBJECT) {
            if (r.u(0) >= objects) {
                error = "object index " + std::to_string(r.u(0)) + " outside the object table";
                return false;
            }
            used[r.u(0)] = false;
        } else if (r.fn == wmf::SELECTOBJECT || r.fn == wmf::SELECTPALETTE) {
            if (r.u(0) >= objects) {
                error = "object index " + std::to_string(r.u(0)) + " outside the object table";
                return false;
            }
        }
        return true;
    });
}

// ---------------------------------------------------------------------------
// Windows metafile player

namespace {

struct WmfPlayer {
    HDC dc;
    std::vector<HGDIOBJ> table;
    std::vector<bool> used;
    int saves = 0;
    bool ok = true;
    Limits limits;

    void put(HGDIOBJ h) {
        auto it = std::find(used.begin(), used.end(), false);
        if (it == used.end()) return; // checked by the validation
        std::size_t i = static_cast<std::size_t>(it - used.begin());
        used[i] = true;
        table[i] = h;
    }
    HGDIOBJ get(std::size_t i) const { return i < table.size() ? table[i] : nullptr; }

    QImage dib(const WRec& r, std::size_t word) {
        std::string err;
        QImage img = decode_dib(r.bytes(word), r.bytes_from(word), err);
        if (img.isNull()) {
            fail("metafile bitmap: " + err);
            ok = false;
        }
        return img;
    }

    std::vector<POINT> points(const WRec& r, std::size_t at, std::size_t count) {
        std::vector<POINT> pts(count);
        for (std::size_t i = 0; i < count; ++i)
            pts[i] = POINT{r.s(at + 2 * i), r.s(at + 2 * i + 1)};
        return pts;
    }

    void play(const WRec& r);
};

void WmfPlayer::play(const WRec& r) {
    switch (r.fn) {
    case wmf::SETBKCOLOR:
        SetBkColor(dc, r.u32(0));
        break;
    case wmf::SETTEXTCOLOR:
        SetTextColor(dc, r.u32(0));
        break;
    case wmf::SETBKMODE:
        SetBkMode(dc, r.u(0));
        break;
    case wmf::SETMAPMODE:
        SetMapMode(dc, r.u(0));
        break;
    case wmf::SETROP2:
        SetROP2(dc, r.u(0));
        break;
    case wmf::SETPOLYFILLMODE:
        SetPolyFillMode(dc, r.u(0));
        break;
    case wmf::SETSTRETCHBLTMODE:
        SetStretchBltMode(dc, r.u(0));
        break;
    case wmf::SETTEXTCHAREXTRA:
        SetTextCharacterExtra(dc, r.s(0));
        break;
    case wmf::SETTEXTALIGN:
        SetTextAlign(dc, r.u(0));
        break;
    case wmf::SETWINDOWORG:
        SetWindowOrgEx(dc, r.s(1), r.s(0), nullptr);
        break;
    case wmf::SETWINDOWEXT:
        SetWindowExtEx(dc, r.s(1), r.s(0), nullptr);
        break;
    case wmf::SETVIEWPORTORG:
        SetViewportOrgEx(dc, r.s(1), r.s(0), nullptr);
        break;
    case wmf::SETVIEWPORTEXT:
        SetViewportExtEx(dc, r.s(1), r.s(0), nullptr);
        break;
    case wmf::OFFSETWINDOWORG:
        OffsetWindowOrgEx(dc, r.s(1), r.s(0), nullptr);
        break;
    case wmf::OFFSETVIEWPORTORG:
        OffsetViewportOrgEx(dc, r.s(1), r.s(0), nullptr);
        break;
    case wmf::SCALEWINDOWEXT:
        ScaleWindowExtEx(dc, r.s(3), r.s(2), r.s(1), r.s(0), nullptr);
        break;
    case wmf::SCALEVIEWPORTEXT:
        ScaleViewportExtEx(dc, r.s(3), r.s(2), r.s(1), r.s(0), nullptr);
        break;
    case wmf::LINETO:
        LineTo(dc, r.s(1), r.s(0));
        break;
    case wmf::MOVETO:
        MoveToEx(dc, r.s(1), r.s(0), nullptr);
        break;
    case wmf::EXCLUDECLIPRECT:
        ExcludeClipRect(dc, r.s(3), r.s(2), r.s(1), r.s(0));
        break;
    case wmf::INTERSECTCLIPRECT:
        IntersectClipRect(dc, r.s(3), r.s(2), r.s(1), r.s(0));
        break;
    case wmf::OFFSETCLIPRGN:
        OffsetClipRgn(dc, r.s(1), r.s(0));
        break;
    case wmf::ARC:
        Arc(dc, r.s(7), r.s(6), r.s(5), r.s(4), r.s(3), r.s(2), r.s(1), r.s(0));
        break;
    case wmf::PIE:
        Pie(dc, r.s(7), r.s(6), r.s(5), r.s(4), r.s(3), r.s(2), r.s(1), r.s(0));
        break;
    case wmf::CHORD:
        Chord(dc, r.s(7), r.s(6), r.s(5), r.s(4), r.s(3), r.s(2), r.s(1), r.s(0));
        break;
    case wmf::ELLIPSE:
        Ellipse(dc, r.s(3), r.s(2), r.s(1), r.s(0));
        break;
    case wmf::RECTANGLE:
        Rectangle(dc, r.s(3), r.s(2), r.s(1), r.s(0));
        break;
    case wmf::ROUNDRECT:
        RoundRect(dc, r.s(5), r.s(4), r.s(3), r.s(2), r.s(1), r.s(0));
        break;
    case wmf::PATBLT:
        PatBlt(dc, r.s(5), r.s(4), r.s(3), r.s(2), r.u32(0));
        break;
    case wmf::SETPIXEL:
        SetPixel(dc, r.s(3), r.s(2), r.u32(0));
        break;
    case wmf::SAVEDC:
        if (SaveDC(dc)) ++saves;
        break;
    case wmf::RESTOREDC: {
        int n = r.s(0);
        // Only levels this metafile saved may be restored.
        long back = n < 0 ? -static_cast<long>(n) : 0;
        if (back >= 1 && back <= saves && RestoreDC(dc, n)) saves -= static_cast<int>(back);
        break;
    }
    case wmf::POLYGON:
    case wmf::POLYLINE: {
        std::size_t count = r.u(0);
        std::vector<POINT> pts = points(r, 1, count);
        if (count >= 2) {
            if (r.fn == wmf::POLYGON)
                Polygon(dc, pts.data(), static_cast<int>(count));
            else
                Polyline(dc, pts.data(), static_cast<int>(count));
        }
        break;
    }
    case wmf::POLYPOLYGON: {
        std::size_t polys = r.u(0);
        std::vector<int> counts(polys);
        std::size_t total = 0;
        bool sound = polys > 0;
        for (std::size_t i = 0; i < polys; ++i) {
            counts[i] = r.u(1 + i);
            total += counts[i];
            if (counts[i] < 2) sound = false;
        }
        std::vector<POINT> pts = points(r, 1 + polys, total);
        if (sound) PolyPolygon(dc, pts.data(), counts.data(), static_cast<int>(polys));
        break;
    }
    case wmf::TEXTOUT: {
        int len = std::max<int>(0, r.s(0));
        std::size_t after = 1 + (static_cast<std::size_t>(len) + 1) / 2;
        text_out(dc, r.s(after + 1), r.s(after), 0, nullptr,
                 decode_charset(reinterpret_cast<const char*>(r.bytes(1)), len, font_charset(dc)),
                 nullptr, true);
        break;
    }
    case wmf::EXTTEXTOUT: {
        int y = r.s(0), x = r.s(1), len = std::max<int>(0, r.s(2));
        UINT opts = r.u(3);
        std::size_t at = 4;
        RECT rc{};
        bool has_rect = opts & (ETO_OPAQUE | ETO_CLIPPED);
        if (has_rect) {
            rc = RECT{r.s(4), r.s(5), r.s(6), r.s(7)};
            at = 8;
        }
        std::vector<int> unit_bytes;
        QString s = decode_charset(reinterpret_cast<const char*>(r.bytes(at)), len,
                                   font_charset(dc), &unit_bytes);
        std::size_t dx_at = at + (static_cast<std::size_t>(len) + 1) / 2;
        std::vector<int> byte_dx;
        if (r.n >= dx_at + static_cast<std::size_t>(len) && len > 0)
            for (int i = 0; i < len; ++i)
                byte_dx.push_back(r.s(dx_at + static_cast<std::size_t>(i)));
        std::vector<int> dx = spacing_per_unit(byte_dx, unit_bytes);
        text_out(dc, x, y, opts, has_rect ? &rc : nullptr, s, dx.empty() ? nullptr : dx.data(),
                 false);
        break;
    }
    case wmf::SELECTOBJECT:
        if (HGDIOBJ h = get(r.u(0)))
            SelectObject(dc, h);
        else
            ok = false;
        break;
    case wmf::SELECTCLIPREGION: {
        HGDIOBJ h = get(r.u(0));
        SelectClipRgn(dc, static_cast<HRGN>(h)); // no region object: no clip
        break;
    }
    case wmf::DELETEOBJECT: {
        std::size_t i = r.u(0);
        if (i < table.size() && used[i]) {
            if (table[i]) DeleteObject(table[i]);
            table[i] = nullptr;
            used[i] = false;
        }
        break;
    }
    case wmf::CREATEPENINDIRECT: {
        int style = r.u(0);
        HPEN pen;
        if (style & (PS_ENDCAP_MASK | PS_JOIN_MASK)) {
            LOGBRUSH lb{BS_SOLID, r.u32(3), 0};
            pen = ExtCreatePen(static_cast<DWORD>(PS_GEOMETRIC | style),
                               static_cast<DWORD>(std::max<int>(0, r.s(1))), &lb, 0, nullptr);
        } else {
            pen = CreatePen(style, r.s(1), r.u32(3));
        }
        put(pen);
        break;
    }
    case wmf::CREATEBRUSHINDIRECT: {
        int style = r.u(0);
        COLORREF c = r.u32(1);
        HBRUSH b = style == BS_HATCHED ? CreateHatchBrush(std::clamp<int>(r.u(3), 0, 5), c)
                   : style == BS_NULL  ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))
                                       : CreateSolidBrush(c);
        put(b);
        break;
    }
    case wmf::CREATEFONTINDIRECT: {
        LOGFONT lf{};
        lf.lfHeight = r.s(0);
        lf.lfWidth = r.s(1);
        lf.lfEscapement = r.s(2);
        lf.lfOrientation = r.s(3);
        lf.lfWeight = r.s(4);
        const BYTE* b = r.bytes(5);
        lf.lfItalic = b[0];
        lf.lfUnderline = b[1];
        lf.lfStrikeOut = b[2];
        lf.lfCharSet = b[3];
        lf.lfOutPrecision = b[4];
        lf.lfClipPrecision = b[5];
        lf.lfQuality = b[6];
        lf.lfPitchAndFamily = b[7];
        std::size_t face_bytes = std::min<std::size_t>(r.bytes_from(9), LF_FACESIZE - 1);
        std::memcpy(lf.lfFaceName, r.bytes(9), face_bytes);
        lf.lfFaceName[face_bytes] = 0;
        put(CreateFontIndirect(&lf));
        break;
    }
    case wmf::DIBCREATEPATTERNBRUSH: {
        QImage img = dib(r, 2);
        HBRUSH b = nullptr;
        if (!img.isNull()) {
            HBITMAP bm = gdi_bitmap_from_image(img);
            bool mono = r.u(0) == BS_PATTERN;
            if (mono)
                if (Object* o = object(bm, Kind::bitmap)) o->bits_pixel = 1;
            b = CreatePatternBrush(bm);
            DeleteObject(bm);
        }
        put(b ? static_cast<HGDIOBJ>(b) : GetStockObject(NULL_BRUSH));
        break;
    }
    case wmf::CREATEPALETTE:
        put(GetStockObject(NULL_BRUSH));
        break;
    case wmf::CREATEREGION: {
        std::vector<QRect> rects;
        std::size_t scans = r.u(5), at = 11;
        for (std::size_t i = 0; i < scans; ++i) {
            std::size_t count = r.u(at);
            int top = r.s(at + 1), bottom = r.s(at + 2);
            for (std::size_t k = 0; k + 1 < count; k += 2) {
                int l = r.s(at + 3 + k), rr = r.s(at + 4 + k);
                if (rr > l && bottom > top) rects.emplace_back(l, top, rr - l, bottom - top);
            }
            at += 3 + count + 1;
        }
        HRGN h = CreateRectRgn(0, 0, 0, 0);
        if (Object* o = object(h, Kind::region)) o->region = region_of(rects, limits);
        put(h);
        break;
    }
    case wmf::FILLREGION:
        FillRgn(dc, static_cast<HRGN>(get(r.u(0))), static_cast<HBRUSH>(get(r.u(1))));
        break;
    case wmf::FRAMEREGION:
        FrameRgn(dc, static_cast<HRGN>(get(r.u(0))), static_cast<HBRUSH>(get(r.u(1))), r.s(3),
                 r.s(2));
        break;
    case wmf::INVERTREGION:
        InvertRgn(dc, static_cast<HRGN>(get(r.u(0))));
        break;
    case wmf::PAINTREGION:
        PaintRgn(dc, static_cast<HRGN>(get(r.u(0))));
        break;
    case wmf::DIBBITBLT:
    case wmf::DIBSTRETCHBLT: {
        const BlitLayout& at = r.fn == wmf::DIBBITBLT ? wmf_dib_bitblt : wmf_dib_stretchblt;
        if (!rop_uses_src(r.dword(at.rop))) {
            play_blit(dc, r, without_bitmap(at), nullptr);
            break;
        }
        QImage img = dib(r, at.x + 1); // the bitmap follows the destination
        play_blit(dc, r, at, &img);
        break;
    }
    case wmf::STRETCHDIB: {
        QImage img = dib(r, wmf_stretchdib.x + 1);
        play_blit(dc, r, wmf_stretchdib, &img);
        break;
    }
    default:
        // Validated records without drawing effect (palettes, escapes, ...) and
        // unknown ones; an unknown object (a device-bitmap pattern brush, ...)
        // holds its slot.
        if (wmf_creates(r.fn)) put(GetStockObject(NULL_BRUSH));
        break;
    }
}

} // namespace

std::string gdi::limits_message(const std::string& reached, bool emf) {
    return std::string(emf ? "PlayEnhMetaFile" : "PlayMetaFile") +
           ": the picture asks for more work than allowed (" + reached + "); it was simplified";
}

bool gdi::play_wmf(HDC h, const std::vector<BYTE>& bytes, std::string* limits) {
    Dc* d = dc(h);
    if (!d) return false;
    std::string error;
    if (!validate_wmf(bytes.data(), bytes.size(), error)) {
        fail("PlayMetaFile: " + error);
        return false;
    }
    WmfPlayer pl{h, {}, {}, 0, true, {}};
    std::size_t objects = u16at(bytes.data() + 10);
    pl.table.assign(objects, nullptr);
    pl.used.assign(objects, false);
    if (!SaveDC(h)) return false;
    bool had_meta = d->has_meta_clip;
    QRegion old_meta = d->meta_clip;
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    d->has_meta_clip = has;
    d->meta_clip = clip;
    std::size_t played = 0;
    walk_wmf(bytes.data(), bytes.size(), error, [&](const WRec& r) {
        if (++played > max_records_played) {
            pl.limits.reached("more than " + std::to_string(max_records_played) + " records");
            return false;
        }
        pl.play(r);
        return true;
    });
    if ((d = dc(h)) != nullptr) {
        d->has_meta_clip = had_meta;
        d->meta_clip = old_meta;
    }
    RestoreDC(h, -1 - pl.saves);
    for (std::size_t i = 0; i < pl.table.size(); ++i)
        if (pl.used[i] && pl.table[i]) DeleteObject(pl.table[i]);
    pl.limits.report(limits, false);
    if (!pl.ok) fail("PlayMetaFile: some records could not be played");
    return pl.ok;
}

// ---------------------------------------------------------------------------
// Enhanced metafile records

namespace {

struct ERec {
    DWORD type;
    const BYTE* p; // whole record
    std::size_t size;
    std::int32_t i(std::size_t off) const { return off + 4 <= size ? i32at(p + off) : 0; }
    std::uint32_t u(std::size_t off) const { return off + 4 <= size ? u32at(p + off) : 0; }
    bool span(std::size_t off, std::size_t len) const { return off <= size && len <= size - off; }
    // A signed field and a double word, by byte offset.
    int field(std::size_t off) const { return i(off); }
    std::uint32_t dword(std::size_t off) const { return u(off); }
};

bool is_small_points(DWORD type) {
    return type == emr::POLYGON16 || type == emr::POLYLINE16 || type == emr::POLYLINETO16 ||
           type == emr::POLYBEZIER16 || type == emr::POLYBEZIERTO16 || type == emr::POLYDRAW16;
}
bool is_poly_draw(DWORD type) {
    return type == emr::POLYDRAW || type == emr::POLYDRAW16;
}

std::string check_emf_record(const ERec& r, std::size_t handles, bool& known) {
    known = true;
    auto need = [&](std::size_t k) {
        return r.size >= k ? std::string() : "record type " + std::to_string(r.type) + " too short";
    };
    auto handle_ok = [&](std::uint32_t ih) {
        return (ih & emf_stock_bit) || (ih >= 1 && ih < handles);
    };
    switch (r.type) {
    case emr::EOF_:
        return need(20);
    case emr::SAVEDC:
    case emr::REALIZEPALETTE:
        return need(8);
    case emr::SETMAPMODE:
    case emr::SETBKMODE:
    case emr::SETPOLYFILLMODE:
    case emr::SETROP2:
    case emr::SETSTRETCHBLTMODE:
    case emr::SETTEXTALIGN:
    case emr::SETTEXTCOLOR:
    case emr::SETBKCOLOR:
    case emr::RESTOREDC:
    case emr::SETARCDIRECTION:
    case emr::SETMAPPERFLAGS:
    case emr::SETICMMODE:
    case emr::SETLAYOUT:
    case emr::SETMITERLIMIT:
    case emr::SELECTPALETTE:
        return need(12);
    case emr::SELECTOBJECT:
    case emr::DELETEOBJECT: {
        std::string e = need(12);
        if (!e.empty()) return e;
        std::uint32_t ih = r.u(8);
        if (r.type == emr::DELETEOBJECT && (ih & emf_stock_bit)) return {};
        return handle_ok(ih) ? std::string()
                             : "object index " + std::to_string(ih) + " out of range";
    }
    case emr::SETWINDOWEXTEX:
    case emr::SETWINDOWORGEX:
    case emr::SETVIEWPORTEXTEX:
    case emr::SETVIEWPORTORGEX:
    case emr::SETBRUSHORGEX:
    case emr::MOVETOEX:
    case emr::LINETO:
    case emr::OFFSETCLIPRGN:
        return need(16);
    case emr::SETPIXELV:
        return need(20);
    case emr::EXCLUDECLIPRECT:
    case emr::INTERSECTCLIPRECT:
    case emr::ELLIPSE:
    case emr::RECTANGLE:
    case emr::SCALEVIEWPORTEXTEX:
    case emr::SCALEWINDOWEXTEX:
        return need(24);
    case emr::ROUNDRECT:
        return need(32);
    case emr::ARC:
    case emr::CHORD:
    case emr::PIE:
        return need(40);
    case emr::POLYGON:
    case emr::POLYLINE:
    case emr::POLYLINETO:
    case emr::POLYBEZIER:
    case emr::POLYBEZIERTO:
    case emr::POLYGON16:
    case emr::POLYLINE16:
    case emr::POLYLINETO16:
    case emr::POLYBEZIER16:
    case emr::POLYBEZIERTO16:
    case emr::POLYDRAW:
    case emr::POLYDRAW16: {
        if (r.size < 28) return need(28);
        std::size_t n = r.u(24);
        // Points of 8 or 4 bytes; a point drawing adds one kind byte a point.
        std::size_t each = (is_small_points(r.type) ? 4 : 8) + (is_poly_draw(r.type) ? 1 : 0);
        return n <= (r.size - 28) / each ? std::string() : "point count beyond the record";
    }
    case emr::BEGINPATH:
    case emr::ENDPATH:
    case emr::CLOSEFIGURE:
    case emr::FLATTENPATH:
    case emr::WIDENPATH:
    case emr::ABORTPATH:
        return need(8);
    case emr::SELECTCLIPPATH:
        return need(12);
    case emr::FILLPATH:
    case emr::STROKEANDFILLPATH:
    case emr::STROKEPATH:
        return need(24);
    case emr::SETWORLDTRANSFORM:
        return need(32);
    case emr::MODIFYWORLDTRANSFORM:
        return need(36);
    case emr::POLYPOLYGON:
    case emr::POLYPOLYLINE:
    case emr::POLYPOLYGON16:
    case emr::POLYPOLYLINE16: {
        if (r.size < 32) return need(32);
        std::uint64_t polys = r.u(24), total = r.u(28);
        if (!r.span(32, polys * 4)) return "polygon count beyond the record";
        std::uint64_t sum = 0;
        for (std::uint64_t k = 0; k < polys; ++k) sum += r.u(32 + 4 * k);
        if (sum != total) return "polygon point counts do not add up";
        bool small = r.type == emr::POLYPOLYGON16 || r.type == emr::POLYPOLYLINE16;
        return r.span(32 + polys * 4, total * (small ? 4 : 8)) ? std::string()
                                                               : "point count beyond the record";
    }
    case emr::CREATEPEN: {
        std::string e = need(28);
        if (!e.empty()) return e;
        return handle_ok(r.u(8)) && !(r.u(8) & emf_stock_bit) ? std::string()
                                                              : "object index out of range";
    }
    case emr::EXTCREATEPEN: {
        std::string e = need(52);
        if (!e.empty()) return e;
        if (!handle_ok(r.u(8)) || (r.u(8) & emf_stock_bit)) return "object index out of range";
        return r.span(52, static_cast<std::size_t>(r.u(48)) * 4) ? std::string()
                                                                 : "pen style beyond the record";
    }
    case emr::CREATEBRUSHINDIRECT: {
        std::string e = need(24);
        if (!e.empty()) return e;
        return handle_ok(r.u(8)) && !(r.u(8) & emf_stock_bit) ? std::string()
                                                              : "object index out of range";
    }
    case emr::CREATEMONOBRUSH:
    case emr::CREATEDIBPATTERNBRUSHPT: {
        std::string e = need(32);
        if (!e.empty()) return e;
        if (!handle_ok(r.u(8)) || (r.u(8) & emf_stock_bit)) return "object index out of range";
        if (!r.span(r.u(16), r.u(20)) || !r.span(r.u(24), r.u(28)))
            return "bitmap beyond the record";
        return {};
    }
    case emr::EXTCREATEFONTINDIRECTW: {
        std::string e = need(12 + 92);
        if (!e.empty()) return e;
        return handle_ok(r.u(8)) && !(r.u(8) & emf_stock_bit) ? std::string()
                                                              : "object index out of range";
    }
    case emr::CREATEPALETTE: {
        std::string e = need(16);
        if (!e.empty()) return e;
        return handle_ok(r.u(8)) && !(r.u(8) & emf_stock_bit) ? std::string()
                                                              : "object index out of range";
    }
    case emr::EXTTEXTOUTA:
    case emr::EXTTEXTOUTW: {
        std::string e = need(76);
        if (!e.empty()) return e;
        std::size_t n = r.u(44), off = r.u(48), offdx = r.u(72);
        std::size_t unit = r.type == emr::EXTTEXTOUTW ? 2 : 1;
        if (n > 0xFFFF || !r.span(off, n * unit)) return "text beyond the record";
        if (offdx && !r.span(offdx, n * 4)) return "character spacing beyond the record";
        return {};
    }
    case emr::EXTSELECTCLIPRGN: {
        std::string e = need(16);
        if (!e.empty()) return e;
        std::size_t cb = r.u(8);
        if (cb == 0) return {};
        if (cb < 32 || !r.span(16, cb)) return "region beyond the record";
        std::size_t n = r.u(16 + 8);
        if (n > (cb - 32) / 16) return "region rectangles beyond the record";
        return {};
    }
    case emr::BITBLT:
    case emr::STRETCHBLT: {
        std::string e = need(r.type == emr::BITBLT ? 100 : 108);
        if (!e.empty()) return e;
        // Without a source bitmap (offset 0) the transfer is a pattern operation.
        if (r.u(84) != 0 && (!r.span(r.u(84), r.u(88)) || !r.span(r.u(92), r.u(96))))
            return "bitmap beyond the record";
        return {};
    }
    case emr::STRETCHDIBITS: {
        std::string e = need(80);
        if (!e.empty()) return e;
        if (!r.span(r.u(48), r.u(52)) || !r.span(r.u(56), r.u(60)))
            return "bitmap beyond the record";
        return {};
    }
    case emr::GDICOMMENT:
    case emr::SETCOLORADJUSTMENT:
    case emr::SETMETARGN:
    case emr::SETPALETTEENTRIES:
    case emr::RESIZEPALETTE:
        return need(8);
    default:
        known = false;
        return {};
    }
}

bool walk_emf(const BYTE* data, std::size_t size, std::string& error,
              const std::function<bool(const ERec&)>& each) {
    if (!data || size < 88) {
        error = "enhanced metafile header truncated";
        return false;
    }
    if (u32at(data) != emr::HEADER || u32at(data + 40) != emf_signature) {
        error = "not an enhanced metafile (no \" EMF\" header)";
        return false;
    }
    std::size_t hsize = u32at(data + 4);
    std::size_t total = u32at(data + 48);
    if (hsize < 88 || hsize % 4 || hsize > size) {
        error = "enhanced metafile header size " + std::to_string(hsize) + " out of range";
        return false;
    }
    if (total < hsize || total > size) {
        error = "enhanced metafile size " + std::to_string(total) + " does not match the data (" +
                std::to_string(size) + " bytes)";
        return false;
    }
    std::size_t pos = hsize;
    while (true) {
        if (total - pos < 8) {
            error = "enhanced metafile truncated: no end record";
            return false;
        }
        DWORD type = u32at(data + pos);
        std::size_t rs = u32at(data + pos + 4);
        if (rs < 8 || rs % 4 || rs > total - pos) {
            error = "record at byte " + std::to_string(pos) + " has a bad size";
            return false;
        }
        ERec r{type, data + pos, rs};
        if (type == emr::HEADER) {
            error = "a second header record";
            return false;
        }
        if (!each(r)) return false;
        if (type == emr::EOF_) return true;
        pos += rs;
    }
}

} // namespace

bool gdi::validate_emf(const BYTE* data, std::size_t size, std::string& error,
                       SkippedRecords* skipped) {
    if (!data || size < 88) {
        error = "enhanced metafile header truncated";
        return false;
    }
    std::size_t handles = u16at(data + 56);
    return walk_emf(data, size, error, [&](const ERec& r) {
        bool known = true;
        std::string e = check_emf_record(r, handles, known);
        if (!e.empty()) {
            error = e;
            return false;
        }
        if (!known && skipped && skipped->count++ == 0) skipped->first = r.type;
        return true;
    });
}

std::string gdi::skipped_message(const SkippedRecords& skipped, bool emf) {
    std::string first = emf ? "type " + std::to_string(skipped.first) : hex(skipped.first);
    return std::to_string(skipped.count) +
           (skipped.count == 1 ? " record of an unknown kind was"
                               : " records of unknown kinds were") +
           " skipped (the first: " + first + "); the rest of the picture is shown";
}

// ---------------------------------------------------------------------------
// Enhanced metafile player

namespace {

// Kinds of the points of a point-drawing record, and the ways a world
// transform is changed.
constexpr BYTE pt_closefigure = 0x01, pt_lineto = 0x02, pt_bezierto = 0x04, pt_moveto = 0x06;
constexpr std::uint32_t mwt_identity = 1, mwt_leftmultiply = 2, mwt_rightmultiply = 3, mwt_set = 4;

float f32at(const BYTE* p) {
    std::uint32_t bits = u32at(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A transform's six numbers (eM11 eM12 eM21 eM22 eDx eDy); false when one is
// not a finite number or the transform cannot be undone.
bool read_xform(const ERec& r, std::size_t at, QTransform& out) {
    double v[6];
    for (int k = 0; k < 6; ++k) {
        v[k] = f32at(r.p + at + 4 * static_cast<std::size_t>(k));
        if (!std::isfinite(v[k]) || std::abs(v[k]) > coord_limit) return false;
    }
    out = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    return out.isInvertible();
}

// The path with each open figure closed (filling closes them).
QPainterPath closed_figures(const QPainterPath& in) {
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

struct EmfPlayer {
    HDC dc = nullptr;
    std::vector<HGDIOBJ> table;
    int saves = 0;
    bool ok = true;

    // The figures drawn between a path's begin and end records, in device
    // pixels; outside a path, curves are built here and stroked at once.
    bool in_path = false;
    bool figure_open = false;
    QPainterPath path;
    bool path_too_long = false; // the path passed the limit: it draws nothing
    double miter = 10;
    Limits limits;

    // The world transform, applied before the page mapping: kept in the
    // context's placement transform (after the page mapping) as
    // page^-1 * world * page * placement, renewed after every record once the
    // picture has used one.
    QTransform placement;
    QTransform world;
    bool world_used = false;
    std::vector<QTransform> world_saved;

    void put(std::uint32_t ih, HGDIOBJ h) {
        if (ih >= table.size()) {
            if (h) DeleteObject(h);
            return;
        }
        if (table[ih]) DeleteObject(table[ih]);
        table[ih] = h;
    }
    HGDIOBJ get(std::uint32_t ih) const {
        if (ih & emf_stock_bit) return stock(static_cast<int>(ih & ~emf_stock_bit));
        return ih < table.size() ? table[ih] : nullptr;
    }
    QImage dib(const ERec& r, std::size_t off_bmi, std::size_t cb_bmi, std::size_t off_bits,
               std::size_t cb_bits, bool* mono = nullptr) {
        // The header and colours, then the bits, may lie apart in the record.
        std::vector<BYTE> packed(r.p + off_bmi, r.p + off_bmi + cb_bmi);
        packed.insert(packed.end(), r.p + off_bits, r.p + off_bits + cb_bits);
        std::string err;
        QImage img = decode_dib(packed.data(), packed.size(), err, mono);
        if (img.isNull()) {
            fail("enhanced metafile bitmap: " + err);
            ok = false;
        }
        return img;
    }
    // `n` points from byte `at`: 32-bit pairs, or 16-bit pairs when `small`.
    static std::vector<POINT> points(const ERec& r, std::size_t at, std::size_t n, bool small) {
        std::vector<POINT> pts(n);
        for (std::size_t k = 0; k < n; ++k)
            pts[k] = small ? POINT{i16at(r.p + at + 4 * k), i16at(r.p + at + 4 * k + 2)}
                           : POINT{r.i(at + 8 * k), r.i(at + 8 * k + 4)};
        return pts;
    }

    // --- paths
    QPointF dev(const POINT& p) const {
        Dc* d = gdi::dc(dc);
        return d ? full_transform(d->s).map(QPointF(p.x, p.y)) : QPointF();
    }
    POINT cur() const {
        Dc* d = gdi::dc(dc);
        return d ? d->s.cur : POINT{0, 0};
    }
    void set_cur(const POINT& p) {
        if (Dc* d = gdi::dc(dc)) d->s.cur = p;
    }
    // Room in the path for `n` more elements; past the limit the path is dropped.
    bool room(int n) {
        if (!path_too_long && path.elementCount() <= max_path_points - n) return true;
        if (!path_too_long)
            limits.reached("a path of more than " + std::to_string(max_path_points) + " points");
        path_too_long = true;
        path = QPainterPath();
        return false;
    }
    void new_path() {
        path = QPainterPath();
        path_too_long = false;
        figure_open = false;
    }
    void move_to(const POINT& p) {
        set_cur(p);
        if (!room(1)) return;
        path.moveTo(dev(p));
        figure_open = true;
    }
    void start_figure() {
        if (!figure_open) move_to(cur());
    }
    void line_to(const POINT& p) {
        start_figure();
        set_cur(p);
        if (room(1)) path.lineTo(dev(p));
    }
    void bezier_to(const POINT* p3) {
        start_figure();
        set_cur(p3[2]);
        if (room(3)) path.cubicTo(dev(p3[0]), dev(p3[1]), dev(p3[2]));
    }
    void close_figure() {
        if (!figure_open) return;
        path.closeSubpath();
        figure_open = false;
    }
    // A figure given in logical units (shapes drawn while a path is open).
    void add_logical(const QPainterPath& logical) {
        Dc* d = gdi::dc(dc);
        if (!d) return;
        figure_open = false;
        if (room(logical.elementCount())) path.addPath(full_transform(d->s).map(logical));
    }
    bool add_to_path(const ERec& r);
    void add_points(DWORD type, const std::vector<POINT>& pts, const BYTE* kinds);
    void draw_path(QPainterPath p, bool stroke, bool fill);
    void record_path(const QPainterPath& p, bool stroke, bool fill);
    void select_clip(HRGN region, int mode, const QTransform& region_to_device);

    // --- world transform
    void apply_world() {
        Dc* d = gdi::dc(dc);
        if (!d) return;
        QTransform page = page_transform(d->s);
        bool invertible = false;
        QTransform back = page.inverted(&invertible);
        d->s.outer =
            invertible && !world.isIdentity() ? back * world * page * placement : placement;
    }

    void play(const ERec& r);
};

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
    switch (r.type) {
    case emr::MOVETOEX:
        move_to(POINT{r.i(8), r.i(12)});
        return true;
    case emr::LINETO:
        line_to(POINT{r.i(8), r.i(12)});
        return true;
    case emr::POLYGON:
    case emr::POLYLINE:
    case emr::POLYLINETO:
    case emr::POLYBEZIER:
    case emr::POLYBEZIERTO:
    case emr::POLYGON16:
    case emr::POLYLINE16:
    case emr::POLYLINETO16:
    case emr::POLYBEZIER16:
    case emr::POLYBEZIERTO16:
    case emr::POLYDRAW:
    case emr::POLYDRAW16: {
        std::size_t n = r.u(24);
        bool small = is_small_points(r.type);
        add_points(r.type, points(r, 28, n, small), r.p + 28 + n * (small ? 4 : 8));
        return true;
    }
    case emr::POLYPOLYGON:
    case emr::POLYPOLYLINE:
    case emr::POLYPOLYGON16:
    case emr::POLYPOLYLINE16: {
        std::size_t polys = r.u(24), total = r.u(28);
        bool small = r.type == emr::POLYPOLYGON16 || r.type == emr::POLYPOLYLINE16;
        bool closed = r.type == emr::POLYPOLYGON || r.type == emr::POLYPOLYGON16;
        std::vector<POINT> pts = points(r, 32 + polys * 4, total, small);
        std::size_t at = 0;
        for (std::size_t k = 0; k < polys; ++k) {
            std::size_t count = r.u(32 + 4 * k);
            std::vector<POINT> one(pts.begin() + static_cast<long>(at),
                                   pts.begin() + static_cast<long>(at + count));
            add_points(closed ? emr::POLYGON : emr::POLYLINE, one, nullptr);
            at += count;
        }
        return true;
    }
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
// transform; here that is `region_to_device`, the world transform aside.
void EmfPlayer::select_clip(HRGN region, int mode, const QTransform& region_to_device) {
    Dc* d = gdi::dc(dc);
    if (!d) return;
    QTransform keep = d->s.outer;
    d->s.outer = region_to_device;
    ExtSelectClipRgn(dc, region, mode);
    if ((d = gdi::dc(dc)) != nullptr) d->s.outer = keep;
}

void EmfPlayer::play(const ERec& r) {
    if (in_path && add_to_path(r)) return;
    switch (r.type) {
    case emr::SETMAPMODE:
        SetMapMode(dc, r.i(8));
        break;
    case emr::SETBKMODE:
        SetBkMode(dc, r.i(8));
        break;
    case emr::SETPOLYFILLMODE:
        SetPolyFillMode(dc, r.i(8));
        break;
    case emr::SETROP2:
        SetROP2(dc, r.i(8));
        break;
    case emr::SETSTRETCHBLTMODE:
        SetStretchBltMode(dc, r.i(8));
        break;
    case emr::SETTEXTALIGN:
        SetTextAlign(dc, r.u(8));
        break;
    case emr::SETTEXTCOLOR:
        SetTextColor(dc, r.u(8));
        break;
    case emr::SETBKCOLOR:
        SetBkColor(dc, r.u(8));
        break;
    case emr::SETARCDIRECTION:
        SetArcDirection(dc, r.i(8));
        break;
    case emr::SAVEDC:
        if (SaveDC(dc)) {
            ++saves;
            world_saved.push_back(world);
        }
        break;
    case emr::RESTOREDC: {
        int n = r.i(8);
        long back = n < 0 ? -static_cast<long>(n) : 0;
        if (back >= 1 && back <= saves && RestoreDC(dc, n)) {
            saves -= static_cast<int>(back);
            world = world_saved[static_cast<std::size_t>(saves)];
            world_saved.resize(static_cast<std::size_t>(saves));
        }
        break;
    }
    case emr::SETWORLDTRANSFORM: {
        QTransform t;
        if (read_xform(r, 8, t)) world = t;
        world_used = true;
        break;
    }
    case emr::MODIFYWORLDTRANSFORM: {
        QTransform t;
        std::uint32_t mode = r.u(32);
        if (mode == mwt_identity)
            world = QTransform();
        else if (!read_xform(r, 8, t))
            break;
        else if (mode == mwt_leftmultiply)
            world = t * world;
        else if (mode == mwt_rightmultiply)
            world = world * t;
        else if (mode == mwt_set)
            world = t;
        world_used = true;
        break;
    }
    case emr::SETMITERLIMIT: {
        // A whole number by the format; some writers store a float's bits.
        std::uint32_t v = r.u(8);
        double limit = v <= 1000 ? static_cast<double>(v) : f32at(r.p + 8);
        if (std::isfinite(limit) && limit >= 1 && limit <= 1000) miter = limit;
        break;
    }
    case emr::BEGINPATH:
        in_path = true;
        new_path();
        break;
    case emr::ENDPATH:
        in_path = false;
        break;
    case emr::ABORTPATH:
        in_path = false;
        new_path();
        break;
    case emr::CLOSEFIGURE:
        close_figure();
        break;
    case emr::FLATTENPATH:
        break; // curves are flattened when drawn
    case emr::WIDENPATH:
        if (Dc* d = gdi::dc(dc)) {
            QPen pen = make_qpen(*d, object(d->s.pen, Kind::pen));
            QPainterPathStroker widen(pen);
            // Each dash is a figure of the outline: a fine pattern along a long
            // path would make millions.
            double cycle = 0;
            for (qreal v : pen.dashPattern()) cycle += v * std::max<qreal>(1, pen.widthF());
            if (pen.style() != Qt::SolidLine && cycle > 0 &&
                path.length() / cycle > max_path_points / 16) {
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
        break;
    case emr::FILLPATH:
    case emr::STROKEPATH:
    case emr::STROKEANDFILLPATH:
        in_path = false;
        draw_path(path, r.type != emr::FILLPATH, r.type != emr::STROKEPATH);
        new_path();
        break;
    case emr::SELECTCLIPPATH: {
        Dc* d = gdi::dc(dc);
        if (!d) break;
        in_path = false;
        QPainterPath p = closed_figures(path);
        new_path();
        Qt::FillRule rule = d->s.poly_fill == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
        HRGN h = CreateRectRgn(0, 0, 0, 0);
        if (Object* o = object(h, Kind::region))
            o->region = path_region(p, rule, drawing_area(*d), limits);
        select_clip(h, r.i(8), QTransform()); // the path is in device pixels already
        DeleteObject(h);
        break;
    }
    case emr::SETWINDOWEXTEX:
        SetWindowExtEx(dc, r.i(8), r.i(12), nullptr);
        break;
    case emr::SETWINDOWORGEX:
        SetWindowOrgEx(dc, r.i(8), r.i(12), nullptr);
        break;
    case emr::SETVIEWPORTEXTEX:
        SetViewportExtEx(dc, r.i(8), r.i(12), nullptr);
        break;
    case emr::SETVIEWPORTORGEX:
        SetViewportOrgEx(dc, r.i(8), r.i(12), nullptr);
        break;
    case emr::SCALEVIEWPORTEXTEX:
        ScaleViewportExtEx(dc, r.i(8), r.i(12), r.i(16), r.i(20), nullptr);
        break;
    case emr::SCALEWINDOWEXTEX:
        ScaleWindowExtEx(dc, r.i(8), r.i(12), r.i(16), r.i(20), nullptr);
        break;
    case emr::SETBRUSHORGEX:
        SetBrushOrgEx(dc, r.i(8), r.i(12), nullptr);
        break;
    case emr::MOVETOEX:
        MoveToEx(dc, r.i(8), r.i(12), nullptr);
        break;
    case emr::LINETO:
        LineTo(dc, r.i(8), r.i(12));
        break;
    case emr::OFFSETCLIPRGN:
        OffsetClipRgn(dc, r.i(8), r.i(12));
        break;
    case emr::SETPIXELV:
        SetPixel(dc, r.i(8), r.i(12), r.u(16));
        break;
    case emr::EXCLUDECLIPRECT:
        ExcludeClipRect(dc, r.i(8), r.i(12), r.i(16), r.i(20));
        break;
    case emr::INTERSECTCLIPRECT:
        IntersectClipRect(dc, r.i(8), r.i(12), r.i(16), r.i(20));
        break;
    case emr::ELLIPSE:
        Ellipse(dc, r.i(8), r.i(12), r.i(16), r.i(20));
        break;
    case emr::RECTANGLE:
        Rectangle(dc, r.i(8), r.i(12), r.i(16), r.i(20));
        break;
    case emr::ROUNDRECT:
        RoundRect(dc, r.i(8), r.i(12), r.i(16), r.i(20), r.i(24), r.i(28));
        break;
    case emr::ARC:
        Arc(dc, r.i(8), r.i(12), r.i(16), r.i(20), r.i(24), r.i(28), r.i(32), r.i(36));
        break;
    case emr::CHORD:
        Chord(dc, r.i(8), r.i(12), r.i(16), r.i(20), r.i(24), r.i(28), r.i(32), r.i(36));
        break;
    case emr::PIE:
        Pie(dc, r.i(8), r.i(12), r.i(16), r.i(20), r.i(24), r.i(28), r.i(32), r.i(36));
        break;
    case emr::POLYBEZIER:
    case emr::POLYBEZIERTO:
    case emr::POLYBEZIER16:
    case emr::POLYBEZIERTO16:
    case emr::POLYDRAW:
    case emr::POLYDRAW16:
        // Curves are built as a path of their own and stroked at once.
        new_path();
        add_to_path(r);
        draw_path(path, true, false);
        new_path();
        break;
    case emr::POLYGON:
    case emr::POLYLINE:
    case emr::POLYLINETO:
    case emr::POLYGON16:
    case emr::POLYLINE16:
    case emr::POLYLINETO16: {
        std::size_t n = r.u(24);
        std::vector<POINT> pts = points(r, 28, n, is_small_points(r.type));
        if (n == 0) break;
        if (r.type == emr::POLYGON || r.type == emr::POLYGON16) {
            if (n >= 2) Polygon(dc, pts.data(), static_cast<int>(n));
        } else if (r.type == emr::POLYLINE || r.type == emr::POLYLINE16) {
            if (n >= 2) Polyline(dc, pts.data(), static_cast<int>(n));
        } else {
            PolylineTo(dc, pts.data(), static_cast<DWORD>(n));
        }
        break;
    }
    case emr::POLYPOLYGON:
    case emr::POLYPOLYLINE:
    case emr::POLYPOLYGON16:
    case emr::POLYPOLYLINE16: {
        std::size_t polys = r.u(24), total = r.u(28);
        bool small = r.type == emr::POLYPOLYGON16 || r.type == emr::POLYPOLYLINE16;
        std::vector<int> counts(polys);
        bool sound = polys > 0;
        for (std::size_t k = 0; k < polys; ++k) {
            counts[k] = static_cast<int>(std::min<std::uint32_t>(r.u(32 + 4 * k), 0x7FFFFFFF));
            if (counts[k] < 2) sound = false;
        }
        std::size_t at = 32 + polys * 4;
        std::vector<POINT> pts = points(r, at, total, small);
        if (!sound) break;
        if (r.type == emr::POLYPOLYGON || r.type == emr::POLYPOLYGON16) {
            PolyPolygon(dc, pts.data(), counts.data(), static_cast<int>(polys));
        } else {
            std::vector<DWORD> dc_counts(counts.begin(), counts.end());
            PolyPolyline(dc, pts.data(), dc_counts.data(), static_cast<DWORD>(polys));
        }
        break;
    }
    case emr::SELECTOBJECT:
        if (HGDIOBJ h = get(r.u(8)))
            SelectObject(dc, h);
        else
            ok = false;
        break;
    case emr::DELETEOBJECT: {
        std::uint32_t ih = r.u(8);
        if (!(ih & emf_stock_bit) && ih < table.size() && table[ih]) {
            DeleteObject(table[ih]);
            table[ih] = nullptr;
        }
        break;
    }
    case emr::CREATEPEN: {
        int style = r.i(12);
        COLORREF c = r.u(24);
        HPEN pen;
        if (style & (PS_ENDCAP_MASK | PS_JOIN_MASK | PS_TYPE_MASK)) {
            LOGBRUSH lb{BS_SOLID, c, 0};
            pen = ExtCreatePen(static_cast<DWORD>(style | PS_GEOMETRIC),
                               static_cast<DWORD>(std::max(0, r.i(16))), &lb, 0, nullptr);
        } else {
            pen = CreatePen(style, r.i(16), c);
        }
        put(r.u(8), pen);
        break;
    }
    case emr::EXTCREATEPEN: {
        std::uint32_t style = r.u(28), width = r.u(32);
        LOGBRUSH lb{r.u(36), r.u(40), 0};
        std::size_t n = r.u(48);
        std::vector<DWORD> styles(n);
        for (std::size_t k = 0; k < n; ++k) styles[k] = r.u(52 + 4 * k);
        HPEN pen = ExtCreatePen(style, width, &lb, static_cast<DWORD>(n),
                                styles.empty() ? nullptr : styles.data());
        if (!pen) pen = CreatePen(PS_SOLID, 0, r.u(40));
        put(r.u(8), pen);
        break;
    }
    case emr::CREATEBRUSHINDIRECT: {
        std::uint32_t style = r.u(12);
        COLORREF c = r.u(16);
        HBRUSH b = style == BS_HATCHED
                       ? CreateHatchBrush(static_cast<int>(std::min<std::uint32_t>(r.u(20), 5)), c)
                   : style == BS_NULL ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))
                                      : CreateSolidBrush(c);
        put(r.u(8), b);
        break;
    }
    case emr::CREATEMONOBRUSH:
    case emr::CREATEDIBPATTERNBRUSHPT: {
        QImage img = dib(r, r.u(16), r.u(20), r.u(24), r.u(28));
        HBRUSH b = nullptr;
        if (!img.isNull()) {
            HBITMAP bm = gdi_bitmap_from_image(img);
            if (r.type == emr::CREATEMONOBRUSH)
                if (Object* o = object(bm, Kind::bitmap)) o->bits_pixel = 1;
            b = CreatePatternBrush(bm);
            DeleteObject(bm);
        }
        put(r.u(8), b ? static_cast<HGDIOBJ>(b) : GetStockObject(NULL_BRUSH));
        break;
    }
    case emr::EXTCREATEFONTINDIRECTW: {
        LOGFONT lf{};
        lf.lfHeight = r.i(12);
        lf.lfWidth = r.i(16);
        lf.lfEscapement = r.i(20);
        lf.lfOrientation = r.i(24);
        lf.lfWeight = r.i(28);
        const BYTE* b = r.p + 32;
        lf.lfItalic = b[0];
        lf.lfUnderline = b[1];
        lf.lfStrikeOut = b[2];
        lf.lfCharSet = b[3];
        lf.lfOutPrecision = b[4];
        lf.lfClipPrecision = b[5];
        lf.lfQuality = b[6];
        lf.lfPitchAndFamily = b[7];
        QString face;
        for (int k = 0; k < LF_FACESIZE; ++k) {
            char16_t c = u16at(r.p + 40 + 2 * k);
            if (!c) break;
            face.append(QChar(c));
        }
        QByteArray f = face.toUtf8();
        qsizetype keep = std::min<qsizetype>(f.size(), LF_FACESIZE - 1);
        while (keep > 0 && keep < f.size() && (static_cast<unsigned char>(f[keep]) & 0xC0) == 0x80)
            --keep;
        f.truncate(keep);
        std::memcpy(lf.lfFaceName, f.constData(), static_cast<std::size_t>(f.size()));
        put(r.u(8), CreateFontIndirect(&lf));
        break;
    }
    case emr::CREATEPALETTE:
        put(r.u(8), nullptr);
        break;
    case emr::EXTTEXTOUTA:
    case emr::EXTTEXTOUTW: {
        std::size_t n = r.u(44), off = r.u(48), offdx = r.u(72);
        UINT opts = r.u(52);
        RECT rc{r.i(56), r.i(60), r.i(64), r.i(68)};
        QString s;
        std::vector<int> unit_bytes;
        if (r.type == emr::EXTTEXTOUTW)
            for (std::size_t k = 0; k < n; ++k)
                s.append(QChar(static_cast<char16_t>(u16at(r.p + off + 2 * k))));
        else
            s = decode_charset(reinterpret_cast<const char*>(r.p + off), static_cast<int>(n),
                               font_charset(dc), &unit_bytes);
        std::vector<int> dx;
        if (offdx)
            for (std::size_t k = 0; k < n; ++k) dx.push_back(r.i(offdx + 4 * k));
        if (r.type == emr::EXTTEXTOUTA) dx = spacing_per_unit(dx, unit_bytes);
        bool has_rect = (opts & (ETO_OPAQUE | ETO_CLIPPED)) && rc.right >= rc.left;
        text_out(dc, r.i(36), r.i(40), opts, has_rect ? &rc : nullptr, s,
                 dx.empty() ? nullptr : dx.data(), false);
        break;
    }
    case emr::EXTSELECTCLIPRGN: {
        std::size_t cb = r.u(8);
        int mode = r.i(12);
        if (cb == 0) {
            if (mode == RGN_COPY) SelectClipRgn(dc, nullptr);
            break;
        }
        std::size_t n = r.u(16 + 8);
        // Only the part over the drawing area matters (in the picture's
        // pixels, kept within the coordinate limit and a pixel to spare).
        QRect area(-0x4000000, -0x4000000, 0x8000000, 0x8000000);
        if (Dc* d = gdi::dc(dc)) {
            bool invertible = false;
            QTransform back = placement.inverted(&invertible);
            if (invertible) {
                QRectF f = back.mapRect(QRectF(drawing_area(*d)));
                int l = clamp_coord(std::floor(f.left())) - 1,
                    t = clamp_coord(std::floor(f.top())) - 1;
                int rr = clamp_coord(std::ceil(f.right())) + 1,
                    b = clamp_coord(std::ceil(f.bottom())) + 1;
                area = QRect(QPoint(l, t), QPoint(rr, b));
            }
        }
        std::vector<QRect> rects;
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t at = 16 + 32 + 16 * k;
            int l = clamp_coord(r.i(at)), t = clamp_coord(r.i(at + 4));
            int rr = clamp_coord(r.i(at + 8)), b = clamp_coord(r.i(at + 12));
            if (rr > l && b > t) {
                QRect q = QRect(l, t, rr - l, b - t).intersected(area);
                if (!q.isEmpty()) rects.push_back(q);
            }
        }
        HRGN h = CreateRectRgn(0, 0, 0, 0);
        if (Object* o = object(h, Kind::region)) o->region = region_of(rects, limits);
        select_clip(h, mode, placement); // device units: no world transform
        DeleteObject(h);
        break;
    }
    case emr::BITBLT:
    case emr::STRETCHBLT: {
        // A transfer without a source bitmap is a pattern operation. The
        // source transform is taken as the identity (every writer we know
        // stores that).
        const BlitLayout& at = r.type == emr::BITBLT ? emf_bitblt : emf_stretchblt;
        if (r.u(84) == 0 || !rop_uses_src(r.dword(at.rop))) {
            play_blit(dc, r, at, nullptr);
            break;
        }
        QImage img = dib(r, r.u(84), r.u(88), r.u(92), r.u(96));
        play_blit(dc, r, at, &img);
        break;
    }
    case emr::STRETCHDIBITS: {
        QImage img = dib(r, r.u(48), r.u(52), r.u(56), r.u(60));
        play_blit(dc, r, emf_stretchdibits, &img);
        break;
    }
    default:
        break; // validated records without drawing effect
    }
}

} // namespace

bool gdi::play_emf(HDC h, const std::vector<BYTE>& bytes, const RECT* rect, std::string* limits) {
    Dc* d = dc(h);
    if (!d || !rect) return false;
    std::string error;
    if (!validate_emf(bytes.data(), bytes.size(), error)) {
        fail("PlayEnhMetaFile: " + error);
        return false;
    }
    const BYTE* hd = bytes.data();
    // The picture's frame in reference pixels, placed on the target rectangle.
    double dev_w = i32at(hd + 72), dev_h = i32at(hd + 76), mm_w = i32at(hd + 80),
           mm_h = i32at(hd + 84);
    double fl = i32at(hd + 24), ft = i32at(hd + 28), fr = i32at(hd + 32), fb = i32at(hd + 36);
    // The reference's size in micrometres, where the header has it, is exact;
    // whole millimetres can be off by most of one.
    if (u32at(hd + 4) >= 108 && i32at(hd + 100) > 0 && i32at(hd + 104) > 0) {
        mm_w = i32at(hd + 100) / 1000.0;
        mm_h = i32at(hd + 104) / 1000.0;
    }
    double px_x = (mm_w > 0 && dev_w > 0) ? dev_w / (mm_w * 100.0) : screen_dpi / 2540.0;
    double px_y = (mm_h > 0 && dev_h > 0) ? dev_h / (mm_h * 100.0) : screen_dpi / 2540.0;
    double pl = fl * px_x, pt = ft * px_y, pr = fr * px_x, pb = fb * px_y;
    {
        // A frame within a pixel of the bounds is the bounds rounded to
        // 0.01 mm (as recorded here): take the exact pixels.
        double bl = i32at(hd + 8), bt = i32at(hd + 12), br = i32at(hd + 16) + 1.0,
               bb = i32at(hd + 20) + 1.0;
        if (std::abs(pl - bl) < 1 && std::abs(pt - bt) < 1 && std::abs(pr - br) < 1 &&
            std::abs(pb - bb) < 1) {
            pl = bl;
            pt = bt;
            pr = br;
            pb = bb;
        }
    }
    if (!(pr - pl > 0.5) || !(pb - pt > 0.5)) { // no frame: the bounds
        pl = i32at(hd + 8);
        pt = i32at(hd + 12);
        pr = i32at(hd + 16) + 1.0;
        pb = i32at(hd + 20) + 1.0;
    }
    if (!(pr - pl > 0.5) || !(pb - pt > 0.5) || !std::isfinite(pr - pl) ||
        !std::isfinite(pb - pt)) {
        return true; // an empty picture
    }
    QTransform target = full_transform(d->s);
    QRectF dest =
        target.mapRect(QRectF(QPointF(rect->left, rect->top), QPointF(rect->right, rect->bottom)));
    QTransform outer = QTransform::fromTranslate(-pl, -pt) *
                       QTransform::fromScale(dest.width() / (pr - pl), dest.height() / (pb - pt)) *
                       QTransform::fromTranslate(dest.left(), dest.top());
    if (!SaveDC(h)) return false;
    d = dc(h);
    bool had_meta = d->has_meta_clip;
    QRegion old_meta = d->meta_clip;
    bool has = false;
    QRegion clip = effective_clip(*d, has);
    d->has_meta_clip = has;
    d->meta_clip = clip;
    // The picture starts from the default page and objects.
    d->s.map_mode = MM_TEXT;
    d->s.win_org = d->s.vp_org = POINT{0, 0};
    d->s.win_ext = d->s.vp_ext = SIZE{1, 1};
    d->s.has_clip = false;
    d->s.clip = QRegion();
    d->s.outer = outer;
    SelectObject(h, GetStockObject(BLACK_PEN));
    SelectObject(h, GetStockObject(WHITE_BRUSH));
    SelectObject(h, GetStockObject(SYSTEM_FONT));
    EmfPlayer pl_;
    pl_.dc = h;
    pl_.table.assign(u16at(hd + 56), nullptr);
    pl_.placement = outer;
    std::size_t played = 0;
    walk_emf(bytes.data(), bytes.size(), error, [&](const ERec& r) {
        if (++played > max_records_played) {
            pl_.limits.reached("more than " + std::to_string(max_records_played) + " records");
            return false;
        }
        pl_.play(r);
        if (pl_.world_used) pl_.apply_world();
        return true;
    });
    if ((d = dc(h)) != nullptr) {
        d->has_meta_clip = had_meta;
        d->meta_clip = old_meta;
    }
    RestoreDC(h, -1 - pl_.saves);
    for (HGDIOBJ o : pl_.table)
        if (o) DeleteObject(o);
    pl_.limits.report(limits, true);
    if (!pl_.ok) fail("PlayEnhMetaFile: some records could not be played");
    return pl_.ok;
}

#include "sketch/drawsketch.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "model/model.h"
#include "resources/sketchpics.h"
#include "sketch/geometry.h"
#include "sketch/views.h"

namespace {

constexpr double two_pi = 6.283185307179586;

struct mapper {
    int zoom, sx, sy;
    int x(double v) const { return static_cast<int>(std::lround(v * zoom / 100.0)) - sx; }
    int y(double v) const { return static_cast<int>(std::lround(v * zoom / 100.0)) - sy; }
    int len(double v) const { return static_cast<int>(std::lround(v * zoom / 100.0)); }
};

COLORREF colour_or(std::uint32_t c, COLORREF fallback) {
    return c == 0xFFFFFFFFu ? fallback : static_cast<COLORREF>(c & 0xFFFFFF);
}

// The pen width of a connector's width code: 1 to 4 thicken the line, flow
// pipes (codes above 20) draw double width; anything else is a plain line.
int pen_width(int code, int zoom) {
    int w = 1;
    if (code >= 1 && code <= 4)
        w = code + 1;
    else if (code > 20)
        w = 2;
    return std::max(1, w * zoom / 100);
}

// A text element's picture (1 to 50) at its own size centred on the
// element; a cloud keeps a readable size whatever its text measured.
void draw_picture(HDC dc, const mapper& m, const sketch_elem& e, COLORREF ink, COLORREF paper,
                  RECT* out) {
    const int n = static_cast<int>(e.payload);
    int hw, hh;
    if (n == sketch_picture_cloud) {
        hw = std::max<int>(e.w, 14), hh = std::max<int>(e.h, 9);
    } else {
        const SIZE size = sketch_picture_size(n);
        hw = static_cast<int>(size.cx / 2), hh = static_cast<int>(size.cy / 2);
    }
    const RECT r{m.x(e.x - hw), m.y(e.y - hh), m.x(e.x + hw), m.y(e.y + hh)};
    draw_sketch_picture(dc, n, r, ink, paper);
    *out = r;
}

void draw_valve(HDC dc, const mapper& m, const sketch_elem& e) {
    int l = m.x(e.x - e.w), r = m.x(e.x + e.w), t = m.y(e.y - e.h), b = m.y(e.y + e.h);
    int cx = m.x(e.x), cy = m.y(e.y);
    // A bow tie across the pipe with the valve's stem on top.
    POINT tie[4] = {
        {l, t + (b - t) / 4}, {r, b - (b - t) / 4}, {r, t + (b - t) / 4}, {l, b - (b - t) / 4}};
    Polygon(dc, tie, 4);
    MoveToEx(dc, cx, cy, nullptr);
    LineTo(dc, cx, t - std::max(2, (b - t) / 4));
    int k = std::max(2, (r - l) / 6);
    MoveToEx(dc, cx - k, t - std::max(2, (b - t) / 4), nullptr);
    LineTo(dc, cx + k + 1, t - std::max(2, (b - t) / 4));
}

void draw_element(HDC dc, const sketch_state& s, const mapper& m, const sketch_elem& e,
                  COLORREF outline, COLORREF text_colour, COLORREF background) {
    const int shape = e.shape_code();
    const int l = m.x(e.x - e.w), r = m.x(e.x + e.w), t = m.y(e.y - e.h), b = m.y(e.y + e.h);
    const int lw = std::max(1, std::max<int>(std::abs(e.line_width), 1) * m.zoom / 100);
    HPEN pen =
        CreatePen(PS_SOLID, lw, colour_or(e.own_outline ? e.own_outline : 0xFFFFFFFFu, outline));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    std::string label = sketch_element_text(s, e);
    RECT box{l, t, r, b};
    bool name_below = false;
    if (e.kind == ek_text && !(e.flags & ef_io_object) && e.payload >= 1 &&
        e.payload <= static_cast<std::uint32_t>(sketch_picture_count)) {
        RECT pic;
        draw_picture(dc, m, e, colour_or(e.own_outline ? e.own_outline : 0xFFFFFFFFu, outline),
                     background, &pic);
        // A caption goes under the picture; a cloud has none.
        if (e.payload == sketch_picture_cloud) label.clear();
        box = RECT{pic.left - m.len(40), pic.bottom, pic.right + m.len(40), pic.bottom + m.len(16)};
    } else if (e.kind == ek_valve) {
        // Filled with the background, so the pipe does not run through it.
        HBRUSH fill = CreateSolidBrush(background);
        SelectObject(dc, fill);
        draw_valve(dc, m, e);
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        DeleteObject(fill);
        label.clear(); // the flow's own variable element carries the name
    } else if (e.kind == ek_bitmap || e.kind == ek_metafile ||
               (e.kind == ek_text && (e.flags & ef_io_object))) {
        Rectangle(dc, l, t, r + 1, b + 1);
    } else if (e.kind == ek_variable || e.kind == ek_text) {
        if (shape == 1 || shape == 3)
            Rectangle(dc, l, t, r + 1, b + 1);
        else if (shape == 2 || shape == 4 || shape == 5 || shape == 6 || shape == 11) {
            Ellipse(dc, l, t, r + 1, b + 1);
            name_below = e.kind == ek_variable;
        }
    }
    if (!label.empty() && !(e.flags & ef_no_label)) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, e.primary() || e.kind != ek_variable ? text_colour : RGB(128, 128, 128));
        if (name_below) box = RECT{l - m.len(40), b, r + m.len(40), b + m.len(16)};
        DrawText(dc, label.c_str(), static_cast<int>(label.size()), &box,
                 DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
    }
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(pen);
}

// The angle of a point about a centre, y up, in [0, 2 pi).
double angle_about(double x, double y, double cx, double cy) {
    double a = std::atan2(cy - y, x - cx);
    return a < 0 ? a + two_pi : a;
}

// Draws the connector's line (not its arrowhead) with the pen selected.
void connector_line(HDC dc, const mapper& m, const sketch_elem& c);
void draw_marks(HDC dc, const mapper& m, const sketch_elem& c, COLORREF colour);

// A flow's pipe (a width code above 20) is a double line in the outline
// colour: a wide stroke with the background drawn down its middle.
bool is_pipe(const sketch_elem& c) {
    return c.width_code > 20;
}

void draw_connector(HDC dc, const mapper& m, const sketch_elem& c, COLORREF colour,
                    COLORREF outline, COLORREF background) {
    const COLORREF own =
        colour_or(c.line_colour ? c.line_colour : 0xFFFFFFFFu, is_pipe(c) ? outline : colour);
    HPEN pen = CreatePen(
        PS_SOLID, is_pipe(c) ? std::max(3, 5 * m.zoom / 100) : pen_width(c.width_code, m.zoom),
        own);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HBRUSH head = CreateSolidBrush(own);
    HGDIOBJ old_brush = SelectObject(dc, head);
    connector_line(dc, m, c);
    if (is_pipe(c)) {
        HPEN inner = CreatePen(PS_SOLID, std::max(1, 2 * m.zoom / 100), background);
        SelectObject(dc, inner);
        connector_line(dc, m, c);
        SelectObject(dc, pen);
        DeleteObject(inner);
    }
    if (!is_pipe(c)) draw_marks(dc, m, c, own);
    float hx[3], hy[3];
    if (arrowhead_points(c, hx, hy)) {
        POINT tri[3];
        for (int i = 0; i < 3; ++i) tri[i] = POINT{m.x(hx[i]), m.y(hy[i])};
        Polygon(dc, tri, 3);
    }
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(head);
    DeleteObject(pen);
}

// The connector's mark (its text, or one character) at each anchor, and
// its delay mark: two short strokes across the line.
void draw_marks(HDC dc, const mapper& m, const sketch_elem& c, COLORREF colour) {
    if (c.decoration & deco_delay) {
        for (const mark_anchor& a : connector_mark_anchors(c, false)) {
            int sx = 1, sy = 1;
            if (std::abs(a.dx) * 5 < std::abs(a.dy) * 2)
                sx = 2, sy = 0;
            else if (std::abs(a.dy) * 5 < std::abs(a.dx) * 2)
                sx = 0, sy = 2;
            if (a.dy > 0) sx = -sx;
            if (a.dx < 0) sy = -sy;
            for (int side : {1, -1}) {
                MoveToEx(dc, m.x(a.x + a.dx + side * sx), m.y(a.y + a.dy + side * sy), nullptr);
                LineTo(dc, m.x(a.x - a.dx + side * sx), m.y(a.y - a.dy + side * sy));
            }
        }
    }
    if (!c.mark) return;
    const std::string text = c.mark == 1 ? c.text : std::string(1, static_cast<char>(c.mark));
    if (text.empty()) return;
    const COLORREF old_colour = SetTextColor(dc, colour);
    const int old_mode = SetBkMode(dc, TRANSPARENT);
    for (const mark_anchor& a : connector_mark_anchors(c, true)) {
        SIZE size{};
        GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &size);
        TextOut(dc, m.x(a.x + a.dx) - size.cx / 2, m.y(a.y + a.dy) - size.cy / 2, text.c_str(),
                static_cast<int>(text.size()));
    }
    SetBkMode(dc, old_mode);
    SetTextColor(dc, old_colour);
}

void connector_line(HDC dc, const mapper& m, const sketch_elem& c) {
    const int type = c.path_type() & 0x1F;
    // The line runs to the arrow base; the arrowhead covers the rest.
    const double end_x = c.arrow_x, end_y = c.arrow_y;
    if (type == path_arc && c.arc_width > 0 && c.arc_height > 0) {
        int l = m.x(c.arc_left), t = m.y(c.arc_top);
        int r = m.x(static_cast<double>(c.arc_left) + c.arc_width);
        int b = m.y(static_cast<double>(c.arc_top) + c.arc_height);
        int xs = m.x(c.start_x), ys = m.y(c.start_y), xe = m.x(end_x), ye = m.y(end_y);
        int dir = c.sweep;
        if (dir < 0) {
            // The long way round: whichever way sweeps more than half a turn.
            double cx = c.arc_left + c.arc_width / 2.0, cy = c.arc_top + c.arc_height / 2.0;
            double a0 = angle_about(c.start_x, c.start_y, cx, cy);
            double a1 = angle_about(end_x, end_y, cx, cy);
            double ccw = a1 - a0;
            if (ccw < 0) ccw += two_pi;
            dir = ccw > two_pi / 2 ? 1 : 0;
        }
        // Arc draws counter-clockwise from its first point to its second.
        if (dir == 1)
            Arc(dc, l, t, r, b, xs, ys, xe, ye);
        else
            Arc(dc, l, t, r, b, xe, ye, xs, ys);
    } else {
        MoveToEx(dc, m.x(c.start_x), m.y(c.start_y), nullptr);
        if (type == path_polyline || type == path_orthogonal) {
            int px = c.start_x, py = c.start_y;
            for (const sketch_point& p : c.points) {
                if (type == path_orthogonal && px != p.x && py != p.y)
                    LineTo(dc, m.x(p.x), m.y(py));
                LineTo(dc, m.x(p.x), m.y(p.y));
                px = p.x, py = p.y;
            }
            if (type == path_orthogonal && std::lround(end_x) != px && std::lround(end_y) != py)
                LineTo(dc, m.x(px), m.y(end_y));
        }
        LineTo(dc, m.x(end_x), m.y(end_y));
    }
}

} // namespace

bool arrowhead_points(const sketch_elem& c, float out_x[3], float out_y[3]) {
    if (c.kind != ek_connector || (c.path & path_no_arrow)) return false;
    double dx = c.end_x - c.arrow_x, dy = c.end_y - c.arrow_y;
    double len = std::hypot(dx, dy);
    if (!(len > 0.5) || !std::isfinite(len)) return false;
    double half = connector_arrowhead(c.width_code).width / 2.0;
    double nx = -dy / len * half, ny = dx / len * half;
    out_x[0] = c.end_x, out_y[0] = c.end_y;
    out_x[1] = static_cast<float>(c.arrow_x + nx), out_y[1] = static_cast<float>(c.arrow_y + ny);
    out_x[2] = static_cast<float>(c.arrow_x - nx), out_y[2] = static_cast<float>(c.arrow_y - ny);
    return true;
}

void paint_sketch(HDC dc, const sketch_state& s, const RECT& client) {
    const view_rec& vr = s.view.rec;
    const COLORREF background = colour_or(vr.background, GetSysColor(COLOR_WINDOW));
    HBRUSH bg = CreateSolidBrush(background);
    FillRect(dc, &client, bg);
    DeleteObject(bg);
    const mapper m{s.zoom > 0 ? s.zoom : 100, s.scroll_x, s.scroll_y};
    HFONT font =
        CreateFont(-std::max(4, 11 * m.zoom / 100), 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Sans");
    HGDIOBJ old_font = SelectObject(dc, font);
    const COLORREF outline = colour_or(vr.outline, RGB(0, 0, 0));
    const COLORREF connector = colour_or(vr.connector, RGB(0, 0, 255));
    // Connectors first, so elements sit on their pipes and arrow tails.
    for (const sketch_elem& e : s.view.elems)
        if (e.kind == ek_connector && !e.hidden() && e.level_value() <= s.shown_level)
            draw_connector(dc, m, e, connector, outline, background);
    for (const sketch_elem& e : s.view.elems)
        if (e.kind >= ek_variable && !e.hidden() && e.level_value() <= s.shown_level)
            draw_element(dc, s, m, e, outline, outline, background);
    SelectObject(dc, old_font);
    DeleteObject(font);
}

namespace {

// (x, y) scaled to length len (0, 0 stays).
void scale_to(double x, double y, double len, int* ox, int* oy) {
    const double d = std::hypot(x, y);
    if (d <= 0) {
        *ox = *oy = 0;
        return;
    }
    *ox = static_cast<int>(std::lround(x * len / d));
    *oy = static_cast<int>(std::lround(y * len / d));
}

} // namespace

std::vector<mark_anchor> connector_mark_anchors(const sketch_elem& c, bool for_label) {
    std::vector<mark_anchor> out;
    const int d = workbench_metrics().label_distance;
    const int type = c.path_type() & 0x1F;
    const int bx = static_cast<int>(std::lround(c.arrow_x)),
              by = static_cast<int>(std::lround(c.arrow_y));
    if (type == path_polyline || type == path_orthogonal) {
        int px = c.start_x, py = c.start_y;
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            const sketch_point p = c.points[i];
            int nx = bx, ny = by;
            for (std::size_t j = i + 1; j < c.points.size(); ++j)
                if (c.points[j].x != p.x || c.points[j].y != p.y) {
                    nx = c.points[j].x, ny = c.points[j].y;
                    break;
                }
            // The average of the ways back and on, the longer cut to the
            // shorter's length; at a straight run, across the way in.
            double ix = px - p.x, iy = py - p.y, ox = nx - p.x, oy = ny - p.y;
            const double li = std::hypot(ix, iy), lo = std::hypot(ox, oy);
            if (li > lo && li > 0) ix *= lo / li, iy *= lo / li;
            if (lo > li && lo > 0) ox *= li / lo, oy *= li / lo;
            double ax = (ix + ox) / 2, ay = (iy + oy) / 2;
            if (std::fabs(ax) <= 1 && std::fabs(ay) <= 1) ax = -iy, ay = ix;
            mark_anchor a{p.x, p.y, 0, 0};
            scale_to(ax, ay, d, &a.dx, &a.dy);
            out.push_back(a);
            px = p.x, py = p.y;
        }
    } else if (type == path_arc && c.arc_width > 0 && c.arc_height > 0 && !c.points.empty()) {
        // Toward the arc's centre, per axis in proportion to the box size.
        const sketch_point p = c.points[0];
        const long cx = c.arc_left + c.arc_width / 2, cy = c.arc_top + c.arc_height / 2;
        mark_anchor a{p.x, p.y, 0, 0};
        a.dx = static_cast<int>(2L * d * (cx - p.x) / c.arc_width);
        a.dy = static_cast<int>(2L * d * (cy - p.y) / c.arc_height);
        out.push_back(a);
    } else {
        // Straight (also an arc laid out straight): across the middle.
        mark_anchor a{(c.start_x + bx) / 2, (c.start_y + by) / 2, 0, 0};
        scale_to(-(by - c.start_y), bx - c.start_x, d, &a.dx, &a.dy);
        out.push_back(a);
    }
    if (for_label && (c.decoration & deco_other_side))
        for (mark_anchor& a : out) a.dx = -a.dx, a.dy = -a.dy;
    return out;
}

std::string sketch_element_text(const sketch_state& s, const sketch_elem& e) {
    if (e.kind == ek_variable || e.kind == ek_valve) {
        if (!e.payload || !s.symbols) return {};
        model_lock_guard lock(s.symbols, 0);
        if (!lock.ok() || !valid_symbol(e.payload)) return {};
        std::string name = sym_name(e.payload);
        return e.primary() ? name : "<" + name + ">";
    }
    if (e.kind != ek_text) return {};
    if (e.link_lo == 253 && e.link_hi == 253) {
        // A file link shows its caption, after the file's name and "|".
        const std::size_t bar = e.text.find('|');
        return bar == std::string::npos ? std::string() : e.text.substr(bar + 1);
    }
    if (e.flags & ef_io_object) {
        // An input or output object: its variable's name (the placeholder
        // until its control is built), without what follows a "|".
        std::string shown;
        if (!s.symbols || !io_object_text(s.symbols, e.text, &shown)) return {};
        const std::size_t bar = shown.find('|');
        if (bar != std::string::npos) shown.resize(bar);
        return shown;
    }
    return e.text;
}

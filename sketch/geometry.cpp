// Element sizes, connector paths, bends, grid and hit testing.
#include "sketch/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "model/model.h"
#include "resources/sketchpics.h"
#include "sketch/pictures.h"

namespace {

constexpr double two_pi = 6.283185307179586;

std::int16_t clamp16(double v) {
    if (!(v == v)) return 0; // NaN
    return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}
std::int16_t clamp16(long v) {
    return static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
}

// Shapes that count as round when a connector is clipped.
bool round_straight(int shape) {
    return shape == 2 || shape == 6;
}
bool round_polyline(int shape) {
    return shape == 2 || shape == 4 || shape == 5 || shape == 6 || shape == 11;
}

// The fraction of d from a centre at which a line leaves a box or circle.
double outline_factor(const sketch_elem& e, double dx, double dy, double m, bool round) {
    if (m == 0) return 0;
    if (round) return e.w / m;
    double fx = dx != 0 ? e.w / std::fabs(dx) : 1;
    double fy = dy != 0 ? e.h / std::fabs(dy) : 1;
    return std::min(fx, fy);
}

// Moves (x, y) back towards (tx, ty) by len; unchanged when they coincide.
void set_back(double x, double y, double tx, double ty, double len, float* ox, float* oy) {
    double dx = tx - x, dy = ty - y, d = std::hypot(dx, dy);
    if (d == 0) {
        *ox = static_cast<float>(x), *oy = static_cast<float>(y);
        return;
    }
    *ox = static_cast<float>(x + dx * len / d);
    *oy = static_cast<float>(y + dy * len / d);
}

// keep_handle: an arc laid out straight for now keeps its handle point, so
// the bend comes back when its ends move apart again.
void straight_geometry(sketch_elem& c, const sketch_elem& a, const sketch_elem& b, int length,
                       bool keep_handle = false) {
    double dx = b.x - a.x, dy = b.y - a.y, d = std::hypot(dx, dy);
    double m = std::max<double>(d, length);
    double fa = outline_factor(a, dx, dy, m, round_straight(a.shape_code()));
    double fb = outline_factor(b, dx, dy, m, round_straight(b.shape_code()));
    double g = 1 - fb;
    long sx = a.x + static_cast<long>(fa * dx), sy = a.y + static_cast<long>(fa * dy);
    long ex = a.x + static_cast<long>(g * dx), ey = a.y + static_cast<long>(g * dy);
    c.start_x = static_cast<std::int32_t>(sx);
    c.start_y = static_cast<std::int32_t>(sy);
    c.end_x = clamp16(ex);
    c.end_y = clamp16(ey);
    if (c.path & path_no_arrow) {
        c.arrow_x = static_cast<float>(ex), c.arrow_y = static_cast<float>(ey);
    } else if (fa > g && m > 0) {
        c.arrow_x = static_cast<float>(ex - length / m * dx);
        c.arrow_y = static_cast<float>(ey - length / m * dy);
    } else {
        set_back(static_cast<double>(ex), static_cast<double>(ey), static_cast<double>(sx),
                 static_cast<double>(sy), length, &c.arrow_x, &c.arrow_y);
    }
    sketch_point mid{clamp16((sx + static_cast<long>(c.arrow_x)) / 2),
                     clamp16((sy + static_cast<long>(c.arrow_y)) / 2)};
    if (!keep_handle) c.points.assign(1, mid);
    c.arc_width = c.arc_height = 0;
    c.arc_left = c.arc_top = 0;
    c.sweep = 0;
}

// The end of a polyline on an element's outline, along the line from the
// element's centre towards p.
void polyline_end(const sketch_elem& e, sketch_point p, double* x, double* y) {
    double dx = p.x - e.x, dy = p.y - e.y, d = std::hypot(dx, dy);
    double f = round_polyline(e.shape_code()) ? (d > 0 ? e.w / d : 0)
                                              : outline_factor(e, dx, dy, d, false);
    if (f > 1) f = 1;
    *x = e.x + std::trunc(f * dx);
    *y = e.y + std::trunc(f * dy);
}

// Where an orthogonal path leaves an element towards p.
sketch_point orthogonal_end(const sketch_elem& e, sketch_point p) {
    long x = e.x, y = e.y;
    int shape = e.shape_code();
    if (e.kind == ek_valve && shape != 5) return {e.x, e.y};
    bool rect = e.kind != ek_valve && (shape == 0 || shape == 3 || shape == 8);
    if (rect && p.x != e.x && p.y != e.y) {
        if (e.x - e.w <= p.x && p.x <= e.x + e.w)
            x = p.x;
        else
            y = p.y;
    }
    if (x != p.x)
        x = p.x <= e.x ? e.x - e.w : e.x + e.w;
    else
        y = p.y <= e.y ? e.y - e.h : e.y + e.h;
    return {clamp16(x), clamp16(y)};
}

// An element as place_pipe_ends sees it: a box of its half sizes (shapes
// 0, 3, 8; valves never) or a point at its centre.
struct pipe_box {
    long x, y, w, h;
};
pipe_box pipe_box_of(const sketch_elem& e) {
    const int shape = e.shape_code();
    const bool box = e.kind != ek_valve && (shape == 0 || shape == 3 || shape == 8);
    return {e.x, e.y, box ? std::abs(static_cast<long>(e.w)) : 0L,
            box ? std::abs(static_cast<long>(e.h)) : 0L};
}

// The end bend point of a pipe against element e, towards the next point p.
// `from`: a point level with the centre faces the left (top) edge, else the
// right (bottom) one.
sketch_point pipe_end_point(const pipe_box& e, sketch_point p, bool from) {
    const long px = p.x, py = p.y;
    const bool box = e.w > 0 || e.h > 0;
    const bool inside_x = e.x - e.w < px && px < e.x + e.w;
    const bool inside_y = e.y - e.h < py && py < e.y + e.h;
    const bool level_y = e.y - e.h <= py && py <= e.y + e.h;
    if (box && (inside_x || inside_y)) {
        if (level_y) {
            const bool right = px > e.x || (px == e.x && !from);
            const long edge = right ? e.x + e.w : e.x - e.w;
            return {clamp16((px + edge) / 2), clamp16(py)};
        }
        const bool below = py > e.y || (py == e.y && !from);
        const long edge = below ? e.y + e.h : e.y - e.h;
        return {clamp16(px), clamp16((py + edge) / 2)};
    }
    if (level_y) return {clamp16(px), clamp16(e.y)};
    return {clamp16(e.x), clamp16(py)};
}

double arc_angle(double x, double y, double cx, double cy, double rx, double ry) {
    return std::atan2((cy - y) * rx, (x - cx) * ry);
}

} // namespace

sketch_metrics& workbench_metrics() {
    static sketch_metrics metrics;
    return metrics;
}

int measure_text(const char* text, const sketch_elem* element) {
    const sketch_metrics& m = workbench_metrics();
    if (m.text_width) return m.text_width(text, element);
    return static_cast<int>(std::strlen(text)) * m.char_width;
}

arrowhead connector_arrowhead(int width_code) {
    const sketch_metrics& m = workbench_metrics();
    arrowhead a{m.arrow_width, m.arrow_length};
    int widened = a.width;
    if (width_code >= 11 && width_code <= 20)
        widened = a.width + width_code - 10;
    else if (width_code >= 21)
        widened = a.width + 2 * width_code - 40;
    // The length grows with the width; a zero metric leaves both as they are.
    if (widened != a.width && a.width > 0 && a.length > 0) {
        double ratio = static_cast<double>(a.width) / a.length * 0.5;
        a.length = static_cast<int>(widened / ratio * 0.5);
        a.width = widened;
    } else if (widened != a.width) {
        a.width = widened;
    }
    return a;
}

int circle_through_points(int x1, int y1, int x2, int y2, int x3, int y3, int* cx, int* cy, int* rx,
                          int* ry, int circle) {
    double k = 1;
    if (!circle) {
        double ap = double(x1 - x2) * (x1 - x2) + double(y1 - y2) * (y1 - y2);
        double pb = double(x2 - x3) * (x2 - x3) + double(y2 - y3) * (y2 - y3);
        if (pb > 0) k = ap / pb;
        if (!(k > 0.01 && k < 100)) k = 1;
    }
    double ay = y1 / k, py = y2 / k, by = y3 / k;
    if (std::fabs(double(x1 - x2)) <= 0.0001 && std::fabs(ay - py) <= 0.001) return 0;
    // Perpendicular bisectors of a-p and a-b: (p - a) . c = (|p|^2 - |a|^2) / 2.
    double ux = x2 - x1, uy = py - ay, vx = x3 - x1, vy = by - ay;
    double det = ux * vy - uy * vx;
    if (std::fabs(det) <= 0.0001) return 0;
    double mx1 = (x1 + x2) / 2, my1 = (ay + py) / 2; // x by integer halving
    double mx2 = (x1 + x3) / 2, my2 = (ay + by) / 2;
    double r1 = ux * mx1 + uy * my1, r2 = vx * mx2 + vy * my2;
    double ccx = (r1 * vy - uy * r2) / det;
    double ccy = (ux * r2 - r1 * vx) / det;
    double r = std::hypot(x1 - ccx, ay - ccy);
    if (!(r < 2500)) return 0;
    *cx = static_cast<int>(std::round(ccx));
    *cy = static_cast<int>(std::round(ccy * k));
    *rx = static_cast<int>(r + 0.5);
    *ry = static_cast<int>(r * k + 0.5);
    return 1;
}

bool clip_arc_round(int direction, double dx, double dy, double w, int arrow_length, bool arrow,
                    int* px, int* py, float* ax, float* ay, double* angle) {
    double d = std::hypot(dx, dy);
    if (d == 0 || w / (2 * d) > 1) return false;
    if (arrow && arrow_length / (2 * d) > 1) return false;
    double sign = direction == 1 ? 1 : -1;
    double theta = std::atan2(dy, dx) + sign * 2 * std::asin(w / (2 * d));
    *px = static_cast<int>(d * std::cos(theta) + 0.5);
    *py = static_cast<int>(d * std::sin(theta) + 0.5);
    *angle = theta;
    if (arrow) {
        double t2 = theta + sign * 2 * std::asin(arrow_length / (2 * d));
        *ax = static_cast<float>(d * std::cos(t2) + 0.5);
        *ay = static_cast<float>(d * std::sin(t2) - 0.5);
        *angle = t2;
    }
    return true;
}

bool clip_arc_rect(int direction, int ref_x, int ref_y, double left, double top, double right,
                   double bottom, double ref_angle, double rx, double ry, int arrow_length,
                   bool arrow, int* px, int* py, float* ax, float* ay, double* angle) {
    if (!(rx > 0) || !(ry > 0)) return false;
    double lo_y = std::min(top, bottom), hi_y = std::max(top, bottom);
    struct cand {
        double x, y;
    };
    std::vector<cand> found;
    for (double y : {top, bottom}) {
        if (std::fabs(y) > ry) continue;
        double x = rx * std::sqrt(std::max(0.0, 1 - y * y / (ry * ry)));
        for (double sx : {x, -x})
            if (sx >= left && sx <= right) found.push_back({sx, y});
    }
    for (double x : {left, right}) {
        if (std::fabs(x) > rx) continue;
        double y = ry * std::sqrt(std::max(0.0, 1 - x * x / (rx * rx)));
        for (double sy : {y, -y})
            if (sy >= lo_y && sy <= hi_y) found.push_back({x, sy});
    }
    bool any = false;
    double best = 0, best_angle = ref_angle;
    cand pick{static_cast<double>(ref_x), static_cast<double>(ref_y)};
    for (const cand& c : found) {
        double a = std::atan2(c.y * rx, c.x * ry);
        double diff = std::fmod(ref_angle - a, two_pi);
        if (direction == 0) {
            if (diff < 0) diff += two_pi;
            if (!any || diff < best) best = diff, pick = c, best_angle = a, any = true;
        } else {
            if (diff > 0) diff -= two_pi;
            if (!any || diff > best) best = diff, pick = c, best_angle = a, any = true;
        }
    }
    *px = static_cast<int>(std::lround(pick.x));
    *py = static_cast<int>(std::lround(pick.y));
    *angle = best_angle;
    if (arrow) {
        *ax = static_cast<float>(*px), *ay = static_cast<float>(*py);
        if (rx == ry) {
            if (arrow_length / (2 * rx) > 1) return false;
            double t =
                best_angle + (direction == 1 ? 1 : -1) * 2 * std::asin(arrow_length / (2 * rx));
            *ax = static_cast<float>(rx * std::cos(t));
            *ay = static_cast<float>(rx * std::sin(t));
            *angle = t;
        }
    }
    return true;
}

void place_pipe_ends(std::vector<sketch_point>& points, const sketch_elem& from,
                     const sketch_elem& to) {
    if (points.empty()) return;
    const pipe_box a = pipe_box_of(from), b = pipe_box_of(to);
    const std::size_t n = points.size();
    if (n >= 2) {
        points[0] = pipe_end_point(a, points[1], true);
        points[n - 1] = pipe_end_point(b, points[n - 2], false);
        return;
    }
    sketch_point& p = points[0];
    const bool over_y = a.y - a.h <= b.y + b.h && b.y - b.h <= a.y + a.h;
    const bool over_x = a.x - a.w <= b.x + b.w && b.x - b.w <= a.x + a.w;
    // Halfway between the facing edges (the centres when the boxes overlap).
    auto between = [](long ac, long ah, long bc, long bh, bool overlap) {
        if (overlap) return (ac + bc) / 2;
        return ac < bc ? (ac + ah + bc - bh) / 2 : (ac - ah + bc + bh) / 2;
    };
    if (over_y) {
        p = {clamp16(between(a.x, a.w, b.x, b.w, over_x)),
             clamp16(std::clamp(a.y, b.y - b.h, b.y + b.h))};
    } else if (over_x) {
        p = {clamp16(std::clamp(a.x, b.x - b.w, b.x + b.w)),
             clamp16(between(a.y, a.h, b.y, b.h, over_y))};
    } else {
        // The pipe turns once, at the nearer of the two corners.
        const double e1 =
            std::hypot(static_cast<double>(b.x - p.x), static_cast<double>(a.y - p.y));
        const double e2 =
            std::hypot(static_cast<double>(a.x - p.x), static_cast<double>(b.y - p.y));
        p = e1 <= e2 ? sketch_point{clamp16(b.x), clamp16(a.y)}
                     : sketch_point{clamp16(a.x), clamp16(b.y)};
    }
}

void connector_geometry(sketch_state& s, int n) {
    working_view& v = s.view;
    if (n <= 0 || n >= v.count()) return;
    sketch_elem& c = v.elems[static_cast<std::size_t>(n)];
    if (c.kind != ek_connector) return;
    s.layout_changed = true;
    if (c.tail <= 0 || c.tail >= v.count() || c.head <= 0 || c.head >= v.count()) return;
    const sketch_elem& a = v.elems[c.tail];
    const sketch_elem& b = v.elems[c.head];
    if (c.points.empty()) c.points.push_back({});
    arrowhead ah = connector_arrowhead(c.width_code);
    int len = ah.length;
    bool arrow = !(c.path & path_no_arrow);
    int type = c.path_type();
    if (type == path_straight) {
        straight_geometry(c, a, b, len);
        return;
    }
    if (type == path_polyline) {
        double sx, sy, ex, ey;
        polyline_end(a, c.points.front(), &sx, &sy);
        polyline_end(b, c.points.back(), &ex, &ey);
        c.start_x = static_cast<std::int32_t>(sx);
        c.start_y = static_cast<std::int32_t>(sy);
        c.end_x = clamp16(ex);
        c.end_y = clamp16(ey);
        c.arc_width = 0;
        if (arrow)
            set_back(ex, ey, c.points.back().x, c.points.back().y, len, &c.arrow_x, &c.arrow_y);
        else
            c.arrow_x = static_cast<float>(ex), c.arrow_y = static_cast<float>(ey);
        return;
    }
    if (type == path_orthogonal) {
        place_pipe_ends(c.points, a, b);
        sketch_point st = orthogonal_end(a, c.points.front());
        sketch_point en = orthogonal_end(b, c.points.back());
        c.start_x = st.x, c.start_y = st.y;
        c.end_x = en.x, c.end_y = en.y;
        c.arc_width = 0;
        if (arrow)
            set_back(en.x, en.y, c.points.back().x, c.points.back().y, len, &c.arrow_x, &c.arrow_y);
        else
            c.arrow_x = en.x, c.arrow_y = en.y;
        return;
    }
    // An arc through the handle point.
    sketch_point p = c.points.front();
    int cx, cy, rx, ry;
    if (!circle_through_points(a.x, a.y, p.x, p.y, b.x, b.y, &cx, &cy, &rx, &ry, 1) || rx <= 0 ||
        ry <= 0) {
        straight_geometry(c, a, b, len, true);
        return;
    }
    double alpha = arc_angle(a.x, a.y, cx, cy, rx, ry);
    double beta = arc_angle(p.x, p.y, cx, cy, rx, ry);
    double gamma = arc_angle(b.x, b.y, cx, cy, rx, ry);
    int dir;
    if (gamma > alpha)
        dir = (alpha < beta && beta < gamma) ? 1 : 0;
    else
        dir = (gamma < beta && beta < alpha) ? 0 : 1;
    auto clip = [&](const sketch_elem& e, int d, double ref, bool want_arrow, int* x, int* y,
                    float* fx, float* fy, double* ang) {
        double rel_x = e.x - cx, rel_y = cy - e.y;
        if (round_straight(e.shape_code()))
            return clip_arc_round(d, rel_x, rel_y, e.w, len, want_arrow, x, y, fx, fy, ang);
        return clip_arc_rect(d, static_cast<int>(rel_x), static_cast<int>(rel_y), rel_x - e.w,
                             rel_y + e.h, rel_x + e.w, rel_y - e.h, ref, rx, ry, len, want_arrow, x,
                             y, fx, fy, ang);
    };
    int sx, sy, ex, ey;
    float fax = 0, fay = 0, unused_x, unused_y;
    double s_ang, e_ang;
    if (!clip(a, dir, alpha, false, &sx, &sy, &unused_x, &unused_y, &s_ang) ||
        !clip(b, 1 - dir, gamma, arrow, &ex, &ey, &fax, &fay, &e_ang)) {
        straight_geometry(c, a, b, len, true);
        return;
    }
    if (!arrow) fax = static_cast<float>(ex), fay = static_cast<float>(ey);
    double cut_s, cut_e, span;
    if (dir == 1) {
        cut_s = s_ang - alpha + (s_ang < alpha ? two_pi : 0);
        cut_e = gamma - (e_ang > gamma ? e_ang - two_pi : e_ang);
        span = gamma - alpha;
    } else {
        cut_s = alpha - (s_ang > alpha ? s_ang - two_pi : s_ang);
        cut_e = (e_ang < gamma ? e_ang + two_pi : e_ang) - gamma;
        span = alpha - gamma;
    }
    if (span < 0) span += two_pi;
    c.sweep = cut_s + cut_e > span ? -1 : dir;
    c.start_x = cx + sx;
    c.start_y = cy - sy;
    c.end_x = clamp16(static_cast<long>(cx) + ex);
    c.end_y = clamp16(static_cast<long>(cy) - ey);
    c.arrow_x = static_cast<float>(cx + static_cast<double>(fax));
    c.arrow_y = static_cast<float>(cy - static_cast<double>(fay));
    c.arc_left = cx - rx;
    c.arc_top = cy - ry;
    c.arc_width = 2 * rx;
    c.arc_height = 2 * ry;
}

void label_box_size(const char* text, int text_width, int* width, int* height) {
    const sketch_metrics& m = workbench_metrics();
    int lh = std::max(m.line_height, 1), dw = std::max(m.default_width, 1);
    std::string t = text ? text : "";
    // Words break at blanks and underscores, else between a lower-case and an
    // upper-case letter.
    std::vector<std::string> words;
    bool has_breaks = t.find_first_of(" _") != std::string::npos;
    std::string cur;
    for (std::size_t i = 0; i < t.size(); ++i) {
        char ch = t[i];
        if (has_breaks && (ch == ' ' || ch == '_')) {
            cur += ch;
            words.push_back(cur);
            cur.clear();
            continue;
        }
        if (!has_breaks && !cur.empty() && std::islower(static_cast<unsigned char>(cur.back())) &&
            std::isupper(static_cast<unsigned char>(ch))) {
            words.push_back(cur);
            cur.clear();
        }
        cur += ch;
    }
    if (!cur.empty()) words.push_back(cur);
    if (words.size() <= 1) {
        *width = dw;
        *height = (text_width / dw + 1) * lh + 3;
        return;
    }
    std::vector<int> ww;
    int widest_word = 0, sum = 0;
    for (const std::string& w : words) {
        ww.push_back(measure_text(w.c_str(), nullptr));
        widest_word = std::max(widest_word, ww.back());
        sum += ww.back();
    }
    // Word widths measured apart may not add up to the whole: spread the
    // difference so the lines agree with the width passed in.
    double scale = sum > 0 ? static_cast<double>(text_width) / sum : 1;
    int start = std::max(static_cast<int>(1.2 * std::sqrt(3.0 * lh * std::max(text_width, 0))),
                         m.wrap_margin + widest_word);
    int max_lines = static_cast<int>(std::sqrt(std::max(text_width, 0) / 3.0 / lh)) + 1;
    int lines = 1, widest_line = 0;
    for (double f : {1.0, 1.1, 1.2, 1.3}) {
        int limit = static_cast<int>(start * f);
        lines = 1;
        widest_line = 0;
        double line = 0;
        bool forced = false;
        for (std::size_t i = 0; i < ww.size(); ++i) {
            double wi = ww[i] * scale;
            if (line > 0 && line + wi > limit) {
                widest_line = std::max(widest_line, static_cast<int>(line));
                if (lines >= 10) {
                    forced = true;
                    line += wi;
                    continue;
                }
                ++lines;
                line = 0;
            }
            line += wi;
        }
        widest_line = std::max(widest_line, static_cast<int>(line));
        if (!forced && lines <= max_lines) break;
    }
    *width = ((widest_line * 25 / 24 + 1) / 2) * 2 + 2;
    *height = lh * lines;
}

void element_size(sketch_state& s, int n, int type) {
    const sketch_metrics& m = workbench_metrics();
    if (n <= 0 || n >= s.view.count()) return;
    sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
    if (e.kind < ek_variable) return;
    if (e.shape & shape_auto) {
        int want = 0;
        bool pair_var = n > 1 && e.kind == ek_variable && (e.shape & shape_pair) &&
                        s.view.elems[static_cast<std::size_t>(n - 1)].is_valve_pair();
        if (pair_var)
            want = m.shape_pair;
        else if (type == st_level)
            want = m.shape_level;
        else if (type == st_aux || type == st_game)
            want = m.shape_aux;
        else if (type >= st_initial && type <= st_data_constant)
            want = m.shape_constant;
        else if (type == st_data)
            want = m.shape_data;
        if (want != e.shape_code()) {
            e.shape = static_cast<std::uint8_t>((e.shape & ~shape_mask) | want);
            e.w = e.h = 0;
        }
    }
    // The natural size.
    int nw = 6, nh = 6;
    std::string label;
    if (e.kind == ek_variable && e.payload && s.symbols) {
        model_lock_guard lock(s.symbols, 0);
        if (lock.ok() && valid_symbol(e.payload)) label = sym_name(e.payload);
        if (!e.primary()) label = "<" + label + ">";
    } else if (e.kind == ek_text) {
        label = e.text;
    }
    if (!label.empty()) {
        nw = measure_text(label.c_str(), &e) + 5;
        nh = m.line_height + 3;
    }
    bool picture = e.kind == ek_bitmap || e.kind == ek_metafile;
    // A text element showing one of the sketch pictures takes the picture's size.
    if (e.kind == ek_text && !(e.flags & ef_io_object) && e.payload >= 1 &&
        e.payload <= static_cast<std::uint32_t>(sketch_picture_count)) {
        const SIZE size = sketch_picture_size(static_cast<int>(e.payload));
        nw = static_cast<int>(size.cx), nh = static_cast<int>(size.cy);
        picture = true;
    }
    bitmap_info bi;
    if (e.kind == ek_bitmap && check_bitmap(e.blob, &bi))
        nw = bi.width, nh = bi.height;
    else if (e.kind == ek_metafile && e.w > 0)
        nw = 2 * e.w, nh = 2 * e.h;
    int shape = e.shape_code();
    int w2 = 2 * e.w, h2 = 2 * e.h;
    bool sized = e.w > 0;
    if (e.kind == ek_valve) {
        if (!sized) {
            if (shape == 5)
                w2 = h2 = m.valve_width;
            else if (shape == 1 || shape == 3)
                w2 = m.valve_width, h2 = m.valve_height;
            else
                w2 = m.valve_height, h2 = m.valve_width;
        }
    } else if (shape == 2 || shape == 4 || shape == 5 || shape == 6 || shape == 11) {
        if (sized)
            h2 = w2;
        else if (picture)
            w2 = h2 = static_cast<int>(std::sqrt(double(nw) * nw + double(nh) * nh)) + 2;
        else
            w2 = h2 = m.round_diameter;
    } else if (shape == 3 || shape == 9 || shape == 10 || shape == 8) {
        if (shape == 8 && !label.empty() && !sized) {
            w2 = nw, h2 = nh;
            if (2 * nw > 3 * m.default_width) label_box_size(label.c_str(), nw, &w2, &h2);
        } else if (!sized) {
            if (picture) {
                w2 = nw, h2 = nh;
            } else if (e.kind == ek_text && (e.flags & ef_io_object)) {
                if (e.label == 0)
                    w2 = 160, h2 = 40;
                else
                    w2 = h2 = 300;
            } else {
                w2 = m.default_width, h2 = m.default_height;
            }
        }
    } else {
        w2 = nw, h2 = nh;
    }
    e.w = static_cast<std::int16_t>(std::clamp(w2 / 2, 0, 16383));
    e.h = static_cast<std::int16_t>(std::clamp(h2 / 2, 0, 16383));
}

sketch_point keep_bend(const sketch_state& s, sketch_point p, sketch_point f, sketch_point o,
                       sketch_point n) {
    double ox = o.x - f.x, oy = o.y - f.y, d2 = ox * ox + oy * oy;
    if (d2 <= 0.55) return p;
    double px = p.x - f.x, py = p.y - f.y;
    double t = (px * ox + py * oy) / d2;
    double sv = (px * oy - py * ox) / d2; // offset along (oy, -ox)
    double nx = n.x - f.x, ny = n.y - f.y;
    double scale = std::sqrt(nx * nx + ny * ny) / std::sqrt(d2);
    double rx = f.x + t * nx + sv * scale * ny;
    double ry = f.y + t * ny - sv * scale * nx;
    auto inside = [](double v, int lo, int hi) {
        long r = static_cast<long>(std::trunc(v + 0.5));
        // Strictly inside the drawing bounds when they are set, and a 16-bit unit.
        if (lo < hi) {
            if (r <= lo) r = lo + 1;
            if (r >= hi) r = hi - 1;
        }
        return clamp16(r);
    };
    return {inside(rx, s.min_x, s.max_x), inside(ry, s.min_y, s.max_y)};
}

void move_element(sketch_state& s, int n, int x, int y) {
    working_view& v = s.view;
    if (n <= 0 || n >= v.count()) return;
    sketch_elem& e = v.elems[static_cast<std::size_t>(n)];
    sketch_point o{e.x, e.y}, to{clamp16(static_cast<long>(x)), clamp16(static_cast<long>(y))};
    e.x = to.x, e.y = to.y;
    for (int i = 1; i < v.count(); ++i) {
        sketch_elem& c = v.elems[static_cast<std::size_t>(i)];
        if (c.kind != ek_connector || (c.tail != n && c.head != n)) continue;
        if (c.path_type() == path_arc && c.arc_width > 0 && !c.shared() && !c.points.empty() &&
            c.tail != c.head) {
            int other = c.tail == n ? c.head : c.tail;
            if (other > 0 && other < v.count()) {
                const sketch_elem& f = v.elems[static_cast<std::size_t>(other)];
                c.points[0] = keep_bend(s, c.points[0], {f.x, f.y}, o, to);
            }
        }
        connector_geometry(s, i);
    }
}

void snap_to_grid(sketch_elem& e, const sketch_metrics& m) {
    auto snap = [](int centre, int half, int g, int align) {
        if (g <= 1) return centre;
        int v = centre + (centre < 0 ? -g / 2 : g / 2);
        if (align == 1) return ((v - half) / g) * g + half;
        if (align == 2) return ((v + half) / g) * g - half;
        return (v / g) * g;
    };
    e.x = clamp16(static_cast<long>(snap(e.x, e.w, m.grid_x, m.align_x)));
    e.y = clamp16(static_cast<long>(snap(e.y, e.h, m.grid_y, m.align_y)));
}

int hit_test(sketch_state& s, int mode, int x, int y, bool include_shared) {
    working_view& v = s.view;
    constexpr int tol = 3;
    for (int i = v.count() - 1; i >= 1; --i) {
        const sketch_elem& e = v.elems[static_cast<std::size_t>(i)];
        if (e.kind < ek_variable) continue;
        if (x < e.x - e.w || x > e.x + e.w + tol || y < e.y - e.h || y > e.y + e.h + tol) continue;
        if (e.level_value() > s.shown_level || e.hidden()) continue;
        if (e.shared() && !include_shared) continue;
        if (mode != 0 && !e.shared() && (s.mode == 24 || s.handles == i)) {
            int hx = e.x + e.w, hy = e.y + e.h, code = 0;
            int shape = e.shape_code();
            if (e.kind == ek_valve) {
                code = shape == 5 ? 14 : 13;
                if (shape == 5) hx = e.x;
            } else if (shape == 2 || shape == 4 || shape == 5 || shape == 6 || shape == 11) {
                hx = e.x, code = 2;
            } else if (shape == 3 || shape == 8) {
                code = 3;
                if (e.kind == ek_variable && (e.shape & shape_pair) && i > 1) {
                    const sketch_elem& valve = v.elems[static_cast<std::size_t>(i - 1)];
                    if (valve.is_valve_pair() && (valve.label == 1 || valve.label == 3)) code = 15;
                }
            } else if (shape == 9) {
                code = 9;
            } else if (shape == 10) {
                hy = e.y - e.h, code = 10;
            }
            if (code && std::abs(x - hx) <= tol && std::abs(y - hy) <= tol) {
                s.hover = static_cast<std::uint16_t>(i);
                if (mode != 2) {
                    s.grab = code;
                    s.drag_right = hx;
                    s.drag_bottom = hy;
                }
                return -1;
            }
        }
        if (y >= e.y - e.h && y <= e.y + e.h && x <= e.x + e.w) {
            s.hover = static_cast<std::uint16_t>(i);
            if (mode != 2) s.grab = 0;
            return 1;
        }
    }
    s.hover = 0;
    if (mode != 2) s.grab = 0;
    return 0;
}

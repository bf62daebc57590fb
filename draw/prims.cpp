// Drawing primitives (see prims.h).
#include "draw/prims.h"

#include "draw/drawing.h"
#include "foundation/report.h"
#include "resources/patterns.h"
#include "shell/fonts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

const COLORREF colour_table[colour_table_size] = {
    0xFF0000, 0x0000FF, 0x008000, 0x808080, 0x000000, 0x000080, 0xFFFF00,
    0x800080, 0x800000, 0x00FF00, 0xFF00FF, 0x008080, 0xFFFFFF, 0x000000,
};
const int pen_styles[5] = {PS_SOLID, PS_DOT, PS_DASH, PS_DASHDOT, PS_DASHDOTDOT};

namespace {

std::string* sink = nullptr;

int mod12(int index) {
    return ((index % 12) + 12) % 12;
}

// The stock objects every primitive leaves behind.
void restore_stock(HDC dc) {
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
}

int to_points(int v, bool horizontal) {
    int res = drawing.device_res[(drawing.printing ? 2 : 0) + (horizontal ? 0 : 1)];
    if (res < 1) res = 72;
    return static_cast<int>(static_cast<long long>(v) * 72 / res);
}

void append(const char* format, int a, int b = 0, int c = 0, int d = 0, int e = 0) {
    if (!sink) return;
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, format, a, b, c, d, e);
    if (n > 0) sink->append(buf, static_cast<std::size_t>(std::min<int>(n, sizeof buf - 1)));
}

// A pattern brush for a monochrome fill (null when the bitmap cannot be made).
HBRUSH pattern_brush(int id) {
    HBITMAP bm = load_fill_pattern(id);
    if (!bm) return nullptr;
    HBRUSH b = CreatePatternBrush(bm);
    DeleteObject(bm);
    return b;
}

void filled_rect(HDC dc, HBRUSH brush, COLORREF outline, int l, int t, int r, int b) {
    HPEN pen = CreatePen(PS_SOLID, 0, outline);
    SelectObject(dc, pen);
    SelectObject(dc, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(WHITE_BRUSH));
    if (!drawing.colour_mode) {
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, RGB(255, 255, 255));
    }
    Rectangle(dc, l, t, r, b);
    restore_stock(dc);
    DeleteObject(pen);
    if (brush) DeleteObject(brush);
}

} // namespace

COLORREF table_colour(int index) {
    if (index >= 0 && index < colour_table_size) return colour_table[index];
    return colour_table[mod12(index)];
}

COLORREF curve_colour(const COLORREF* colours, int index) {
    return colours ? colours[index] : colour_table[mod12(index)];
}

int fill_pattern_for(int first_offset, int index) {
    return fill_pattern_first + mod12(first_offset + index);
}

void draw_line(std::uint32_t colour, int width, int x1, int y1, int x2, int y2) {
    HDC dc = drawing.cur_dc;
    if (!dc) return;
    COLORREF c = colour == 0xFFFFFFFFu ? font_ink(drawing.active_font.colour) : colour & 0xFFFFFF;
    if (!drawing.colour_mode) c = 0;
    int style = PS_SOLID, w = width;
    if (width < 0) {
        style = -width;
        w = 0;
    } else if (drawing.printing && drawing.device_res[0] > 0) {
        w = width * drawing.device_res[2] / drawing.device_res[0];
    }
    HPEN pen = CreatePen(style, w, c);
    SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    restore_stock(dc);
    DeleteObject(pen);
    gtx_width(w);
    gtx_line(x1, y1, x2, y2);
}

void draw_frame(int index, int width, int left, int top, int right, int bottom) {
    HDC dc = drawing.cur_dc;
    if (!dc) return;
    int w = std::max(width, 1);
    COLORREF c = drawing.colour_mode ? table_colour(index) : 0;
    HPEN pen = CreatePen(PS_SOLID, w, c);
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, left, top, right + w - 1, bottom + w - 1);
    restore_stock(dc);
    DeleteObject(pen);
}

void fill_box(int index, int left, int top, int right, int bottom) {
    HDC dc = drawing.cur_dc;
    if (!dc) return;
    if (drawing.colour_mode) {
        COLORREF c = table_colour(index);
        filled_rect(dc, CreateSolidBrush(c), c, left, top, right, bottom);
    } else {
        bool pattern = index >= 0 && index < 12;
        filled_rect(dc, pattern ? pattern_brush(fill_pattern_for(0, index)) : nullptr, 0, left, top,
                    right, bottom);
    }
    gtx_box(left, top, right, bottom);
}

void fill_bar(int index, int left, int top, int right, int bottom, const COLORREF* colours) {
    HDC dc = drawing.cur_dc;
    if (!dc) return;
    if (drawing.colour_mode) {
        COLORREF c = curve_colour(colours, index);
        HBRUSH b = CreateSolidBrush(c);
        RECT r{left, top, right + 1, bottom + 1};
        FillRect(dc, &r, b);
        DeleteObject(b);
        gtx_box(left, top, right + 1, bottom + 1);
    } else {
        filled_rect(dc, pattern_brush(fill_pattern_for(1, index)), 0, left, top, right, bottom);
        gtx_box(left, top, right, bottom);
    }
}

HPEN curve_pen(const COLORREF* colours, int index, int width) {
    COLORREF c = drawing.colour_mode ? curve_colour(colours, index) : 0;
    if (width < 0) return CreatePen(pen_styles[(-(long long)width) % 5], 1, c);
    int w = width;
    if (drawing.printing && drawing.device_res[0] > 0 && !(w < 2 && drawing.styled_lines))
        w = static_cast<int>(static_cast<long long>(w) * drawing.device_res[2] /
                             drawing.device_res[0]);
    if (drawing.styled_lines) return CreatePen(pen_styles[mod12(index) % 5], 1, c);
    return CreatePen(PS_SOLID, w, c);
}

namespace {

HFONT marker_font = nullptr;

// The marker text of a curve drawn centred at points, transparent, in the
// curve's colour; `step` and `first` from the width of "W".
struct marker_painter {
    HDC dc;
    char text[2];
    int step = 0, first = 0, w = 0, h = 0;
    HGDIOBJ old_font = nullptr;
    marker_painter(HDC d, const COLORREF* colours, int index, int spacing) : dc(d) {
        text[0] = marker_chars[mod12(index)];
        text[1] = '\0';
        HDC measure = drawing.measure_dc ? drawing.measure_dc : d;
        if (!marker_font) marker_font = make_marker_font(measure);
        if (marker_font) old_font = SelectObject(dc, marker_font);
        SIZE z{};
        GetTextExtentPoint32(dc, "W", 1, &z);
        int wide = std::max<int>(1, z.cx);
        step = wide * std::max(spacing, 3);
        first = wide * mod12(index);
        GetTextExtentPoint32(dc, text, 1, &z);
        w = z.cx;
        h = z.cy;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, drawing.colour_mode ? curve_colour(colours, index) : 0);
    }
    ~marker_painter() {
        if (old_font) SelectObject(dc, old_font);
    }
    void at(int x, int y) { TextOut(dc, x - w / 2, y - h / 2, text, 1); }
    static HFONT make_marker_font(HDC measure);
};

} // namespace

font_spec marker_font_spec() {
    font_spec f{};
    f.size = 7;
    return f;
}

void delete_marker_font() {
    if (marker_font) DeleteObject(marker_font);
    marker_font = nullptr;
}

HFONT marker_painter::make_marker_font(HDC measure) {
    return measure ? make_font(measure, marker_font_spec(), 0) : nullptr;
}

void draw_curve(const COLORREF* colours, int index, int width, int left, int top, int right,
                int bottom, const std::int16_t* xs, const std::int16_t* ys, int n, int mode,
                bool last_only, bool clip, int marker_spacing) {
    HDC dc = drawing.cur_dc;
    if (!dc || !xs || !ys || n <= 0) return;
    long long w = static_cast<long long>(right) - left, h = static_cast<long long>(bottom) - top;
    auto at = [&](int i) {
        return POINT{static_cast<LONG>(left + xs[i] * w / 10000),
                     static_cast<LONG>(top + ys[i] * h / 10000)};
    };
    bool clipped = clip && drawing.gtx_mode == 0;
    if (clipped) {
        int sx = drawing.printing ? drawing.page_offset_x : 0,
            sy = drawing.printing ? drawing.page_offset_y : 0;
        // A region is in device pixels, where a printed graph sits at the page offsets.
        HRGN r = CreateRectRgn(left + sx, top + sy, right + sx + 1, bottom + sy + 1);
        SelectClipRgn(dc, r);
        DeleteObject(r);
    }
    HPEN pen = curve_pen(colours, index, width);
    SelectObject(dc, pen);
    LOGPEN lp{};
    GetObject(pen, sizeof lp, &lp);
    auto flush = [&](const std::vector<POINT>& pts) {
        if (pts.empty()) return;
        if (pts.size() == 1) {
            POINT two[2] = {pts[0], pts[0]};
            Polyline(dc, two, 2);
        } else {
            Polyline(dc, pts.data(), static_cast<int>(pts.size()));
        }
        gtx_width(static_cast<int>(lp.lopnWidth.x));
        gtx_polyline(pts.data(), static_cast<int>(pts.size()));
    };
    static thread_local std::vector<POINT> pts;
    pts.clear();
    if (last_only && n > 2) {
        pts.push_back(at(n - 2));
        pts.push_back(at(n - 1));
        flush(pts);
    } else {
        for (int i = 0; i < n; ++i) {
            POINT p = at(i);
            if (!pts.empty() && p.x == pts.back().x && p.y == pts.back().y) continue;
            if (mode > 0 && i > 0 && std::abs(static_cast<int>(xs[i]) - xs[i - 1]) > mode) {
                flush(pts);
                pts.clear();
            }
            pts.push_back(p);
        }
        flush(pts);
    }
    if (marker_spacing > 0 && !(last_only && n > 2)) {
        marker_painter m(dc, colours, index, marker_spacing);
        long long next = m.first;
        POINT p0 = at(0);
        while (next < p0.x) next += m.step;
        for (int i = 0; i < n; ++i) {
            POINT p = at(i);
            if (p.x <= next) continue;
            m.at(p.x, p.y);
            while (next < p.x) next += m.step;
        }
    }
    restore_stock(dc);
    DeleteObject(pen);
    if (clipped) SelectClipRgn(dc, nullptr);
}

void draw_legend_line(const COLORREF* colours, int index, int width, int x1, int y1, int x2, int y2,
                      int marker_spacing) {
    HDC dc = drawing.cur_dc;
    if (!dc) return;
    HPEN pen = curve_pen(colours, index, width);
    SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    LOGPEN lp{};
    GetObject(pen, sizeof lp, &lp);
    if (marker_spacing > 0) {
        marker_painter m(dc, colours, index, marker_spacing);
        long long x = m.first;
        for (int tries = 0; x < x1 && tries < 512; ++tries) x += m.step;
        for (int count = 0; x <= x2 && count < 512; ++count, x += m.step)
            m.at(static_cast<int>(x), y1);
    }
    restore_stock(dc);
    DeleteObject(pen);
    gtx_width(static_cast<int>(lp.lopnWidth.x));
    gtx_line(x1, y1, x2, y2);
}

namespace {

struct box_clip {
    HDC dc;
    bool on;
    box_clip(HDC d, int l, int t, int r, int b) : dc(d), on(drawing.gtx_mode == 0) {
        if (!on) return;
        int sx = drawing.printing ? drawing.page_offset_x : 0,
            sy = drawing.printing ? drawing.page_offset_y : 0;
        HRGN rgn = CreateRectRgn(l + sx, t + sy, r + sx + 1, b + sy + 1);
        SelectClipRgn(dc, rgn);
        DeleteObject(rgn);
    }
    ~box_clip() {
        if (on) SelectClipRgn(dc, nullptr);
    }
};

POINT map_pos(int left, int top, int right, int bottom, int x, int y) {
    long long w = static_cast<long long>(right) - left, h = static_cast<long long>(bottom) - top;
    return POINT{static_cast<LONG>(left + x * w / 10000), static_cast<LONG>(top + y * h / 10000)};
}

// A marker shape in the box (l, t) .. (l + s, t + s).
void marker_shape(HDC dc, int shape, int l, int t, int s) {
    int r = l + s, b = t + s, mx = l + s / 2, my = t + s / 2;
    switch (shape) {
    case 0:
    case 1:
    case 2:
        Rectangle(dc, l, t, r, b);
        break;
    case 3:
    case 4:
        Ellipse(dc, l, t, r, b);
        break;
    case 5:
        MoveToEx(dc, l, t, nullptr);
        LineTo(dc, r, b);
        MoveToEx(dc, r, t, nullptr);
        LineTo(dc, l, b);
        break;
    case 6: {
        POINT p[5] = {{mx, t}, {r, my}, {mx, b}, {l, my}, {mx, t}};
        Polyline(dc, p, 5);
        break;
    }
    case 7: {
        POINT p[4] = {{l, t}, {r, t}, {mx, b}, {l, t}};
        Polyline(dc, p, 4);
        break;
    }
    case 8: {
        POINT p[4] = {{l, b}, {r, b}, {mx, t}, {l, b}};
        Polyline(dc, p, 4);
        break;
    }
    case 9:
        MoveToEx(dc, mx, t, nullptr);
        LineTo(dc, mx, b);
        MoveToEx(dc, l, my, nullptr);
        LineTo(dc, r, my);
        break;
    default:
        break;
    }
}

int marker_size(int size) {
    int s = (size ? size : 1) + 2;
    if (drawing.printing && drawing.device_res[0] > 0)
        s = static_cast<int>(static_cast<long long>(s) * drawing.device_res[2] /
                             drawing.device_res[0]);
    return std::max(1, s);
}

// Pen and brush of marker shapes; the caller restores the stock objects.
void marker_objects(HDC dc, COLORREF c, int shape, HPEN& pen, HBRUSH& brush) {
    pen = CreatePen(PS_SOLID, 1, c);
    SelectObject(dc, pen);
    brush = (shape == 0 || shape == 2 || shape == 4) ? CreateSolidBrush(c) : nullptr;
    if (brush) SelectObject(dc, brush);
}

} // namespace

void draw_curve_family(int left, int top, int right, int bottom, const std::int16_t* xs,
                       const std::int16_t* rows, int n, int count, COLORREF colour) {
    HDC dc = drawing.cur_dc;
    if (!dc || !xs || !rows || n <= 0) return;
    box_clip clip(dc, left, top, right, bottom);
    int first = count >= 1 ? 2 : 1, last = count >= 1 ? count + 1 : 1;
    int width = count >= 1 ? 0 : static_cast<int>(std::min(-(long long)count, 100LL));
    HPEN pen = CreatePen(PS_SOLID, width, drawing.colour_mode ? colour : 0);
    SelectObject(dc, pen);
    std::vector<POINT> pts(static_cast<std::size_t>(n));
    for (int r = first; r <= last; ++r) {
        const std::int16_t* ys = rows + static_cast<std::ptrdiff_t>(r) * n;
        for (int i = 0; i < n; ++i)
            pts[static_cast<std::size_t>(i)] = map_pos(left, top, right, bottom, xs[i], ys[i]);
        Polyline(dc, pts.data(), n);
        gtx_width(width);
        gtx_polyline(pts.data(), n);
    }
    restore_stock(dc);
    DeleteObject(pen);
}

void fill_bands(int left, int top, int right, int bottom, const std::int16_t* xs,
                const std::int16_t* rows, int n, int count, const COLORREF* colours) {
    HDC dc = drawing.cur_dc;
    if (!dc || !xs || !rows || n <= 0 || count < 1) return;
    box_clip clip(dc, left, top, right, bottom);
    std::vector<POINT> poly(static_cast<std::size_t>(2 * n));
    for (int k = count; k >= 1; --k) {
        const std::int16_t* a = rows + static_cast<std::ptrdiff_t>(k) * n;
        const std::int16_t* b = rows + static_cast<std::ptrdiff_t>(k + 1) * n;
        for (int i = 0; i < n; ++i) {
            poly[static_cast<std::size_t>(i)] = map_pos(left, top, right, bottom, xs[i], a[i]);
            poly[static_cast<std::size_t>(2 * n - 1 - i)] =
                map_pos(left, top, right, bottom, xs[i], b[i]);
        }
        HBRUSH brush;
        HPEN pen;
        if (drawing.colour_mode) {
            COLORREF c = colours ? colours[k - 1] : colour_table[mod12(k - 1)];
            brush = CreateSolidBrush(c);
            pen = CreatePen(PS_SOLID, 0, c);
        } else {
            brush = pattern_brush(fill_pattern_for(1, k - 1));
            pen = CreatePen(PS_SOLID, 0, 0);
            SetTextColor(dc, 0);
            SetBkColor(dc, RGB(255, 255, 255));
        }
        SelectObject(dc, pen);
        SelectObject(dc, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(WHITE_BRUSH));
        Polygon(dc, poly.data(), 2 * n);
        restore_stock(dc);
        DeleteObject(pen);
        if (brush) DeleteObject(brush);
    }
}

void draw_point_markers(const COLORREF* colours, int index, int size, int shape, int left, int top,
                        int right, int bottom, const std::int16_t* xs, const std::int16_t* ys,
                        int n, bool last_two) {
    HDC dc = drawing.cur_dc;
    if (!dc || !xs || !ys || n <= 0) return;
    int s = marker_size(size);
    HPEN pen;
    HBRUSH brush;
    marker_objects(dc, drawing.colour_mode ? curve_colour(colours, index) : 0, shape, pen, brush);
    for (int i = last_two ? std::max(0, n - 2) : 0; i < n; ++i) {
        if (xs[i] < 0 || xs[i] > 10000 || ys[i] < 0 || ys[i] > 10000) continue;
        POINT p = map_pos(left, top, right, bottom, xs[i], ys[i]);
        marker_shape(dc, shape, p.x - s / 2, p.y - s / 2, s);
    }
    restore_stock(dc);
    DeleteObject(pen);
    if (brush) DeleteObject(brush);
}

void dotted_line(const COLORREF* colours, int index, int size, int shape, int x1, int y1, int x2,
                 int y2) {
    HDC dc = drawing.cur_dc;
    if (!dc) return;
    if (y1 != y2) {
        report(10, "dotted_line");
        return;
    }
    int s = marker_size(size);
    HPEN pen;
    HBRUSH brush;
    marker_objects(dc, drawing.colour_mode ? curve_colour(colours, index) : 0, shape, pen, brush);
    for (long long x = x1; x + s < x2; x += 2LL * s)
        marker_shape(dc, shape, static_cast<int>(x), y1 - s / 2, s);
    restore_stock(dc);
    DeleteObject(pen);
    if (brush) DeleteObject(brush);
}

void set_gtx_sink(std::string* text) {
    sink = text;
}

std::string* gtx_sink() {
    return sink;
}

void gtx_width(int width) {
    append("%d|%d\n", 5, width);
}

void gtx_box(int l, int t, int r, int b) {
    append("%d|(%d,%d)-(%d,%d)\n", 2, to_points(l, true), to_points(t, false), to_points(r, true),
           to_points(b, false));
}

void gtx_line(int x1, int y1, int x2, int y2) {
    append("%d|(%d,%d)-(%d,%d)\n", 4, to_points(x1, true), to_points(y1, false),
           to_points(x2, true), to_points(y2, false));
}

void gtx_text(int x, int baseline, const char* text) {
    if (!sink || !text) return;
    int n = static_cast<int>(std::strlen(text));
    append("%d|(%d,%d)%d\n", 1, to_points(x, true), to_points(baseline, false), n);
    sink->append(text, static_cast<std::size_t>(n));
    sink->push_back('\n');
}

void gtx_polyline(const POINT* p, int n) {
    if (!sink || !p || n < 1) return;
    int x0 = p[0].x, y0 = p[0].y, x1 = x0, y1 = y0;
    for (int i = 1; i < n; ++i) {
        x0 = std::min<int>(x0, p[i].x);
        x1 = std::max<int>(x1, p[i].x);
        y0 = std::min<int>(y0, p[i].y);
        y1 = std::max<int>(y1, p[i].y);
    }
    append("%d|(%d,%d)-(%d,%d)|", 3, to_points(x0, true), to_points(y0, false), to_points(x1, true),
           to_points(y1, false));
    append("%d\n", n);
    for (int i = 0; i < n; ++i)
        append("(%d,%d)\n", to_points(p[i].x, true), to_points(p[i].y, false));
}

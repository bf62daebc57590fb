// Painting a working view: elements, pipes, valves, clouds, names, pictures
// and connectors with their arrowheads, at any zoom on any device.
#include "sketch/drawsketch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "draw/drawing.h"
#include "model/context.h"
#include "model/model.h"
#include "model/varnames.h"
#include "resources/sketchpics.h"
#include "shell/settings_rows.h"
#include "sim/simdata.h"
#include "sketch/geometry.h"
#include "sketch/ioobjects.h"
#include "sketch/overrides.h"
#include "sketch/pictures.h"
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

// A connector's line pen from its width code: below 10 a pen style (1 dash,
// 2 dot, 3 dash-dot, 4 dash-dot-dot) one pixel wide, a solid line printed at
// the printer's pixels to the screen's (the zoom carries that ratio); 10 to
// 20 a solid line of code - 10 units, scaled by the zoom (0: the thinnest
// line); 21 and up (a flow's pipe) one pixel, the pipe's two lines being
// drawn apart.
HPEN connector_pen(int code, int zoom, bool printing, bool solid, COLORREF colour) {
    if (code < 10) {
        int style = code > 0 && code <= PS_DASHDOTDOT && !solid ? code : PS_SOLID;
        int width = code <= 0 && printing ? std::max(1, zoom / 100) : 1;
        return CreatePen(style, width, colour);
    }
    if (code <= 20) return CreatePen(PS_SOLID, (code - 10) * zoom / 100, colour);
    return CreatePen(PS_SOLID, printing ? std::max(1, zoom / 100) : 1, colour);
}

// What one paint of a view draws with: the mapping, the view's colours and
// font, and the fonts made so far (one per face, size and style).
struct paint_ctx {
    HDC dc;
    const sketch_state& s;
    mapper m;
    COLORREF background, outline;
    std::uint32_t view_fill; // 0xFFFFFFFF: none
    int dpi_y;               // pixels per inch the font sizes are made for
    bool output;             // printing or copying: objects are drawn, not their windows
    bool mono;               // black on white: no fills but arrowheads, no colours
    bool solid;              // every line solid
    HWND view;               // the window whose object windows are drawn (null: none)
    std::map<std::string, HFONT> fonts;
    ~paint_ctx() {
        for (auto& f : fonts) DeleteObject(f.second);
    }
};

// The font an element's text is drawn in: the view's font with the parts
// the element has of its own (size 8, style 16, face 32 of its style bits).
font_spec element_font(const sketch_state& s, const sketch_elem& e) {
    font_spec f = s.view.rec.font;
    if (e.style & 8) f.size = e.font.size;
    if (e.style & 16) f.style = e.font.style;
    if ((e.style & 32) && e.font.face[0]) std::memcpy(f.face, e.font.face, sizeof f.face);
    if (e.style & 2) f.colour = e.font.colour;
    return f;
}

HFONT font_for(paint_ctx& c, const font_spec& f) {
    int points = static_cast<std::int8_t>(f.size);
    if (points <= 0) points = 8;
    std::string key(f.face, strnlen(f.face, sizeof f.face));
    key += '|' + std::to_string(points) + '|' + std::to_string(f.style & 15);
    auto it = c.fonts.find(key);
    if (it != c.fonts.end()) return it->second;
    const int height =
        std::max(1, static_cast<int>(std::lround(points * c.dpi_y / 72.0 * c.m.zoom / 100.0)));
    HFONT font =
        CreateFont(-height, 0, 0, 0, (f.style & font_bold) ? 700 : 400,
                   (f.style & font_italic) ? 1 : 0, (f.style & font_underline) ? 1 : 0,
                   (f.style & font_strikeout) ? 1 : 0, 0, 0, 0, 0, 0, f.face[0] ? f.face : "Sans");
    c.fonts.emplace(key, font);
    return font;
}

int text_width(HDC dc, const std::string& t) {
    SIZE z{};
    GetTextExtentPoint32(dc, t.c_str(), static_cast<int>(t.size()), &z);
    return static_cast<int>(z.cx);
}

// Lines of at most `width` pixels, broken at blanks and underscores (a word
// wider than that stands on a line of its own).
std::vector<std::string> wrap_label(HDC dc, const std::string& text, int width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = text.find_first_of(" _", i);
        const std::size_t stop = j == std::string::npos ? text.size() : j + 1;
        std::string word = text.substr(i, stop - i);
        i = stop;
        std::string tried = line + word;
        while (!tried.empty() && tried.back() == ' ') tried.pop_back();
        if (!line.empty() && text_width(dc, tried) > width) {
            while (!line.empty() && line.back() == ' ') line.pop_back();
            lines.push_back(line);
            line = word;
        } else {
            line += word;
        }
        if (lines.size() >= 16) break;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// A label: inside the box (word-wrapped to the shape's inner box when one
// line does not fit), or one line beside it: position 1 below, 2 left, 3
// above, 4 right.
void draw_label(paint_ctx& c, const std::string& text, const RECT& box, int position, int shape) {
    HDC dc = c.dc;
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    const int lh = std::max<int>(1, tm.tmHeight);
    const int w = text_width(dc, text);
    const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    auto out = [&](int x, int y, const std::string& t) {
        TextOut(dc, x, y, t.c_str(), static_cast<int>(t.size()));
    };
    switch (position) {
    case 1:
        out(cx - w / 2, box.bottom, text);
        return;
    case 2:
        out(box.left - 2 - w, cy - lh / 2, text);
        return;
    case 3:
        out(cx - w / 2, box.top - lh, text);
        return;
    case 4:
        out(box.right + 2, cy - lh / 2, text);
        return;
    default:
        break;
    }
    // Inside: the inner box of round and pointed shapes is narrower.
    int usable = box.right - box.left - 2;
    const bool round = shape == 2 || shape == 4 || shape == 5 || shape == 6 || shape == 11;
    if (round)
        usable = (box.right - box.left) * 5 / 7;
    else if (shape == 9 || shape == 10)
        usable = (box.right - box.left) / 2;
    if (w <= usable || shape == 0 || usable <= 0) {
        out(cx - w / 2, cy - lh / 2, text);
        return;
    }
    const std::vector<std::string> lines = wrap_label(dc, text, usable);
    const int n = static_cast<int>(lines.size());
    int top = cy - n * lh / 2;
    if (shape == 9) top = cy + (box.bottom - cy) / 2 - n * lh / 2;
    if (shape == 10) top = cy - (cy - box.top) / 2 - n * lh / 2;
    for (int i = 0; i < n; ++i)
        out(cx - text_width(dc, lines[static_cast<std::size_t>(i)]) / 2, top + i * lh,
            lines[static_cast<std::size_t>(i)]);
}

// Shapes 4 and 5: three quarters of the inscribed ellipse, the open quarter
// at the top left (4) or top right (5), with an arrowhead at its end.
void draw_loop_shape(paint_ctx& c, const sketch_elem& e, int l, int t, int r, int b, HBRUSH head) {
    const mapper& m = c.m;
    const int cx = (l + r) / 2, cy = (t + b) / 2;
    const sketch_metrics& wm = workbench_metrics();
    const int rr = std::max<int>(e.h / 3, wm.arrow_length);
    const int d = m.len(rr * std::max(1, wm.arrow_width) / (2.0 * std::max(1, wm.arrow_length)));
    if (e.shape_code() == 4)
        Arc(c.dc, l, t, r + 1, b + 1, l, cy, cx, t);
    else
        Arc(c.dc, l, t, r + 1, b + 1, cx, t, r, cy);
    const int edge = e.shape_code() == 4 ? l : r;
    POINT tri[3] = {{edge, m.y(e.y - rr)}, {edge - d, cy}, {edge + d, cy}};
    HGDIOBJ old = SelectObject(c.dc, head);
    Polygon(c.dc, tri, 3);
    SelectObject(c.dc, old);
}

void draw_shape(paint_ctx& c, const sketch_elem& e, int l, int t, int r, int b, HBRUSH head) {
    HDC dc = c.dc;
    const int cx = (l + r) / 2, cy = (t + b) / 2;
    switch (e.shape_code()) {
    case 2:
        Ellipse(dc, l, t, r + 1, b + 1);
        break;
    case 3:
        Rectangle(dc, l, t, r + 1, b + 1);
        break;
    case 4:
    case 5:
        draw_loop_shape(c, e, l, t, r, b, head);
        break;
    case 6:
        draw_hexagon(dc, l, t, r, b);
        break;
    case 8:
        Rectangle(dc, l, t, r + 1, b + 1); // the null pen: the fill alone
        break;
    case 9: {
        POINT p[3] = {{cx, t}, {r, b}, {l, b}};
        Polygon(dc, p, 3);
        break;
    }
    case 10: {
        POINT p[3] = {{cx, b}, {r, t}, {l, t}};
        Polygon(dc, p, 3);
        break;
    }
    case 11: {
        POINT p[4] = {{cx, t}, {r, cy}, {cx, b}, {l, cy}};
        Polygon(dc, p, 4);
        break;
    }
    default:
        break; // 0, 1, 7 and others: the text alone
    }
}

// The valve's own shapes (kind 11), drawn with the pen alone.
void draw_valve(paint_ctx& c, const sketch_elem& e, int l, int t, int r, int b) {
    HDC dc = c.dc;
    const int cx = (l + r) / 2, cy = (t + b) / 2;
    switch (e.shape_code()) {
    case 1: {
        POINT p[4] = {{l, t}, {r, b}, {r, t}, {l, b}};
        Polygon(dc, p, 4);
        break;
    }
    case 2: {
        POINT p[4] = {{l, t}, {r, b}, {l, b}, {r, t}};
        Polygon(dc, p, 4);
        break;
    }
    case 3:
        MoveToEx(dc, l, t, nullptr);
        LineTo(dc, l, b + 1);
        MoveToEx(dc, r, t, nullptr);
        LineTo(dc, r, b + 1);
        MoveToEx(dc, l, cy, nullptr);
        LineTo(dc, r + 1, cy);
        break;
    case 4:
        MoveToEx(dc, l, t, nullptr);
        LineTo(dc, r + 1, t);
        MoveToEx(dc, l, b, nullptr);
        LineTo(dc, r + 1, b);
        MoveToEx(dc, cx, t, nullptr);
        LineTo(dc, cx, b + 1);
        break;
    case 5: {
        Ellipse(dc, l, t, r + 1, b + 1);
        const int dx = e.w * 7 / 10, dy = e.h * 7 / 10;
        MoveToEx(dc, c.m.x(e.x - dx), c.m.y(e.y - dy), nullptr);
        LineTo(dc, c.m.x(e.x + dx), c.m.y(e.y + dy));
        MoveToEx(dc, c.m.x(e.x - dx), c.m.y(e.y + dy), nullptr);
        LineTo(dc, c.m.x(e.x + dx), c.m.y(e.y - dy));
        break;
    }
    default:
        break;
    }
}

// A kind-30 picture: the stored BMP stretched over the element's box.
void draw_stored_bitmap(paint_ctx& c, const sketch_elem& e, const RECT& box) {
    // A picture that cannot be drawn still shows where it stands.
    auto frame = [&] { Rectangle(c.dc, box.left, box.top, box.right + 1, box.bottom + 1); };
    bitmap_info bi;
    if (!check_bitmap(e.blob, &bi)) return frame();
    // The header and colour table, copied so they are aligned.
    constexpr std::uint32_t info = 18;
    const std::uint32_t head_bytes = bi.pixels > info ? bi.pixels - info : 0;
    if (head_bytes < 12 || info + head_bytes > e.blob.size()) return frame();
    std::vector<std::uint32_t> head((head_bytes + 3) / 4 + 1, 0);
    std::memcpy(head.data(), e.blob.data() + info, head_bytes);
    if (!StretchDIBits(c.dc, box.left, box.top, box.right - box.left, box.bottom - box.top, 0, 0,
                       bi.width, bi.height, e.blob.data() + bi.pixels,
                       reinterpret_cast<const BITMAPINFO*>(head.data()), DIB_RGB_COLORS, SRCCOPY))
        frame();
}

// A stored metafile played into a bitmap of the element's size (finer by
// up to four times, for paper) filled with the view's background, then
// stretched over the box.
void draw_metafile_as_bitmap(paint_ctx& c, const sketch_elem& e, HMETAFILE mf, const RECT& box) {
    const int w = std::max(1, 2 * static_cast<int>(e.w)),
              h = std::max(1, 2 * static_cast<int>(e.h));
    const int fine = std::clamp(2000 / std::max(w, h), 1, 4);
    const int bw = w * fine, bh = h * fine;
    const memory_canvas canvas(bw, bh);
    if (!canvas.ok()) return;
    HDC mem = canvas.dc();
    const RECT all{0, 0, bw, bh};
    HBRUSH bg = CreateSolidBrush(c.background);
    FillRect(mem, &all, bg);
    DeleteObject(bg);
    IntersectClipRect(mem, 0, 0, bw, bh);
    SetMapMode(mem, MM_ANISOTROPIC);
    SetWindowOrgEx(mem, 0, 0, nullptr);
    SetWindowExtEx(mem, w, h, nullptr);
    SetViewportOrgEx(mem, 0, 0, nullptr);
    SetViewportExtEx(mem, bw, bh, nullptr);
    PlayMetaFile(mem, mf);
    SetMapMode(mem, MM_TEXT);
    StretchBlt(c.dc, box.left, box.top, std::max<int>(1, box.right - box.left),
               std::max<int>(1, box.bottom - box.top), mem, 0, 0, bw, bh, SRCCOPY);
}

// A kind-31 picture: the stored metafile played into the element's box.
void draw_stored_metafile(paint_ctx& c, const sketch_elem& e, const RECT& box) {
    metafile_info mi;
    HMETAFILE mf = nullptr;
    if (check_metafile(e.blob, &mi)) mf = SetMetaFileBitsEx(mi.bytes, e.blob.data() + mi.bits);
    if (!mf) {
        Rectangle(c.dc, box.left, box.top, box.right + 1, box.bottom + 1);
        return;
    }
    if (c.output) {
        // Printed or copied, the picture is played into a bitmap and the
        // bitmap laid over the box: its own mapping records, played inside
        // the recording, would act on the page's or the reader's mapping.
        draw_metafile_as_bitmap(c, e, mf, box);
        DeleteMetaFile(mf);
        return;
    }
    const int saved = SaveDC(c.dc);
    IntersectClipRect(c.dc, box.left, box.top, box.right + 1, box.bottom + 1);
    SetMapMode(c.dc, MM_ANISOTROPIC);
    SetWindowOrgEx(c.dc, 0, 0, nullptr);
    SetWindowExtEx(c.dc, std::max(1, 2 * e.w), std::max(1, 2 * e.h), nullptr);
    SetViewportOrgEx(c.dc, box.left, box.top, nullptr);
    SetViewportExtEx(c.dc, std::max<int>(1, box.right - box.left),
                     std::max<int>(1, box.bottom - box.top), nullptr);
    PlayMetaFile(c.dc, mf);
    RestoreDC(c.dc, saved);
    DeleteMetaFile(mf);
}

// An input slider drawn where no window stands (printing, copying, or before
// its window is made): the track, the thumb at its value, the range and the
// value box.
void draw_slider_object(paint_ctx& c, const sketch_elem& e, const RECT& box, COLORREF ink) {
    HDC dc = c.dc;
    double lo = 0, hi = 100, step = 0;
    slider_range(e.text, &lo, &hi, &step);
    double v = lo;
    float value = 0;
    if (io_slider_value(e, &value)) v = value;
    const int w = box.right - box.left, h = box.bottom - box.top;
    const int track_y = box.top + std::max(3, h / 6);
    const int tl = box.left + 4, tr = box.right - 4;
    MoveToEx(dc, tl, track_y, nullptr);
    LineTo(dc, tr, track_y);
    const double f = hi > lo ? std::clamp((v - lo) / (hi - lo), 0.0, 1.0) : 0.0;
    const int tx = tl + static_cast<int>(std::lround(f * (tr - tl)));
    const int th = std::max(3, h / 10);
    HBRUSH face = CreateSolidBrush(RGB(192, 192, 192));
    HGDIOBJ old = SelectObject(dc, face);
    Rectangle(dc, tx - th, track_y - th, tx + th + 1, track_y + th + 1);
    SelectObject(dc, old);
    DeleteObject(face);
    char buf[64];
    const COLORREF was = SetTextColor(dc, ink);
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    std::snprintf(buf, sizeof buf, "%g", lo);
    TextOut(dc, tl, track_y + th + 1, buf, static_cast<int>(std::strlen(buf)));
    std::snprintf(buf, sizeof buf, "%g", hi);
    TextOut(dc, tr - text_width(dc, buf), track_y + th + 1, buf,
            static_cast<int>(std::strlen(buf)));
    std::snprintf(buf, sizeof buf, "%g", v);
    const int bw = std::min(w - 8, std::max(40, text_width(dc, buf) + 8));
    const int by = std::min<int>(box.bottom - tm.tmHeight - 3, track_y + th + tm.tmHeight + 2);
    Rectangle(dc, box.left + (w - bw) / 2, by, box.left + (w + bw) / 2, by + tm.tmHeight + 2);
    TextOut(dc, box.left + (w - bw) / 2 + 3, by + 1, buf, static_cast<int>(std::strlen(buf)));
    SetTextColor(dc, was);
}

// An output graph or tool where its window does not stand: a rising line.
void draw_graph_object(HDC dc, const RECT& b) {
    const int w = b.right - b.left, mid = (b.top + b.bottom) / 2;
    const int x1 = b.left + w / 5, x2 = x1 + (b.right - x1) / 3, x3 = x2 + (b.right - x2) / 2;
    Rectangle(dc, b.left, b.top, b.right + 1, b.bottom + 1);
    POINT p[5] = {
        {b.left, b.bottom}, {x1, mid}, {x2, mid}, {x3, mid - (mid - b.top) / 3}, {b.right, b.top}};
    Polyline(dc, p, 5);
}

// The mark a variable shows for the mode the engine is in: yellow for what a
// user may change now (constants and lookups in Simulation Setup, lookups in
// Livesweep, where sliders stand for the constants), light green for an
// input an override holds in Livesweep and for a game input in a game, and
// outside the modes (or for another model's sketch) inverted for a variable
// without an equation of its own (none, or only "A FUNCTION OF").
enum : int { mark_none = 0, mark_invert = 1, mark_yellow = 2, mark_green = 4 };

int element_mark(const sketch_state& s, const sketch_elem& e) {
    if (e.kind != ek_variable || !e.payload || !s.symbols) return mark_none;
    const bool current = s.symbols == cur_model_symbols;
    model_lock_guard lock(s.symbols, 1);
    if (!lock.ok() || !valid_symbol(e.payload)) return mark_none;
    const symbol_record* r = sym(e.payload);
    const bool lookup = r->type == st_lookup || (r->flags & sf_lookup_like);
    if (current && livesweep_state == ls_on) {
        if (override_flags && r->type <= st_last_with_slots && r->slot >= 0) {
            const std::vector<std::uint8_t>& held = input_override_tables().marks;
            if (static_cast<std::size_t>(r->slot) < held.size() &&
                held[static_cast<std::size_t>(r->slot)] == 2)
                return mark_green;
        }
        return lookup ? mark_yellow : mark_none;
    }
    if (current && sim_phase == phase_setup)
        return lookup || symbol_has_type(e.payload, st_constant) ? mark_yellow : mark_none;
    if (current && game_state) return symbol_has_type(e.payload, st_game) ? mark_green : mark_none;
    // Time is the engine's own and needs no equation.
    if (r->type == st_level && r->slot == 0) return mark_none;
    if (r->type > st_last_variable) return mark_none;
    equation_record* eq = first_equation(e.payload);
    if (!eq) return mark_invert;
    const node_view nodes = equation_nodes(eq);
    return nodes.ok(0) && nodes.at(0).code == nc_function_of ? mark_invert : mark_none;
}

void draw_element(paint_ctx& c, const sketch_elem& e) {
    const sketch_state& s = c.s;
    const mapper& m = c.m;
    HDC dc = c.dc;
    const int shape = e.shape_code();
    const int l = m.x(e.x - e.w), r = m.x(e.x + e.w), t = m.y(e.y - e.h), b = m.y(e.y + e.h);
    const RECT box{l, t, r, b};
    // Outline and fill: the element's own when it has them, else the view's.
    const COLORREF pen_colour = c.mono ? RGB(0, 0, 0)
                                : (e.style & 1) && e.own_outline != 0xFFFFFFFFu
                                    ? colour_or(e.own_outline, c.outline)
                                    : c.outline;
    std::uint32_t fill = 0xFFFFFFFFu;
    if ((e.style & 4) && e.own_fill != 0xFFFFFFFFu)
        fill = e.own_fill;
    else if (shape != 8)
        fill = c.view_fill;
    const int mark = element_mark(s, e);
    const bool marked = !c.mono && (mark == mark_yellow || mark == mark_green);
    if (marked) fill = mark == mark_yellow ? RGB(255, 255, 0) : RGB(128, 255, 128);
    if (c.mono && !marked) fill = 0xFFFFFFFFu;
    // A variable without an equation of its own is drawn inverted: its box
    // in the ink, its name in the background (drawn, not a raster inversion,
    // so printers and metafile readers show it too).
    const bool inverted = mark == mark_invert;
    if (inverted) fill = 0;
    // A line width of 0 draws 1; the width does not grow with the zoom.
    const int lw = std::max(1, std::abs(static_cast<int>(e.line_width)));
    HPEN pen = CreatePen(shape == 8 && e.kind != ek_valve ? PS_NULL : PS_SOLID, lw, pen_colour);
    HBRUSH brush = fill != 0xFFFFFFFFu ? CreateSolidBrush(fill & 0xFFFFFF) : nullptr;
    HBRUSH head = CreateSolidBrush(pen_colour);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush =
        SelectObject(dc, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
    const font_spec f = element_font(s, e);
    HGDIOBJ old_font = SelectObject(dc, font_for(c, f));
    SetBkMode(dc, TRANSPARENT);
    const COLORREF ink = c.mono ? RGB(0, 0, 0) : font_ink(f.colour);
    SetTextColor(dc, inverted ? c.background
                     : !c.mono && e.kind == ek_variable && !e.primary() && !(e.style & 2)
                         ? RGB(128, 128, 128)
                         : ink);
    std::string label = sketch_element_text(s, e);
    const bool io = e.kind == ek_text && (e.flags & ef_io_object);
    const int position = static_cast<std::int8_t>(e.label);
    if (e.kind == ek_valve) {
        // Line drawings: the pipe and the arrows into the flow show through.
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        draw_valve(c, e, l, t, r, b);
        label.clear(); // the flow's own variable element carries the name
    } else if (io) {
        // The name under the object; the object itself is its window on the
        // screen, drawn here for prints and copies.
        const int n = static_cast<int>(&e - s.view.elems.data());
        const bool drawn = c.output && render_io_window(dc, c.view, n, box, ink, c.mono);
        if (e.label == 0) {
            label = io_slider_name(s, e);
            const bool window = !c.output && s.io_state == 2;
            if (!window && !drawn) draw_slider_object(c, e, box, ink);
            draw_label(c, label, box, 1, 0);
        } else if ((c.output || s.io_state != 2 || !(e.runtime & ef_io_window)) && !drawn) {
            draw_graph_object(dc, box);
        }
        label.clear();
    } else if (e.kind == ek_text && e.payload >= 1 &&
               e.payload <= static_cast<std::uint32_t>(sketch_picture_count)) {
        // A sketch picture keeps its own size, centred on the element.
        const int n = static_cast<int>(e.payload);
        int hw, hh;
        if (n == sketch_picture_cloud) {
            hw = std::max<int>(e.w, 14), hh = std::max<int>(e.h, 9);
        } else {
            const SIZE size = sketch_picture_size(n);
            hw = static_cast<int>(size.cx / 2), hh = static_cast<int>(size.cy / 2);
        }
        const RECT pic{m.x(e.x - hw), m.y(e.y - hh), m.x(e.x + hw), m.y(e.y + hh)};
        draw_sketch_picture(dc, n, pic, ink,
                            brush ? static_cast<COLORREF>(fill & 0xFFFFFF) : c.background);
        if (n == sketch_picture_cloud) label.clear();
        if (position <= 0 && !label.empty()) {
            // Under the picture, so the picture stays whole.
            draw_label(c, label, pic, 1, 0);
            label.clear();
        }
    } else if (e.kind == ek_bitmap) {
        draw_stored_bitmap(c, e, box);
    } else if (e.kind == ek_metafile) {
        draw_stored_metafile(c, e, box);
    } else {
        draw_shape(c, e, l, t, r, b, head);
        if ((marked || inverted) && (shape == 0 || shape == 1 || shape == 7)) {
            // A text-only variable gets the mark behind its name.
            HGDIOBJ was = SelectObject(dc, GetStockObject(NULL_PEN));
            Rectangle(dc, l, t, r + 1, b + 1);
            SelectObject(dc, was);
        }
    }
    if (!label.empty() && !(e.flags & ef_no_label) &&
        (e.kind == ek_variable || e.kind == ek_text || (e.flags & ef_has_text)))
        draw_label(c, label, box, shape == 0 || position <= 0 ? 0 : position, shape);
    SelectObject(dc, old_font);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    if (brush) DeleteObject(brush);
    DeleteObject(head);
    DeleteObject(pen);
}

// The angle of a point about a centre, y up, in [0, 2 pi).
double angle_about(double x, double y, double cx, double cy) {
    double a = std::atan2(cy - y, x - cx);
    return a < 0 ? a + two_pi : a;
}

// Draws the connector's line (not its arrowhead) with the pen selected.
void connector_line(HDC dc, const mapper& m, const sketch_elem& c);
void draw_marks(paint_ctx& pc, const sketch_elem& c, COLORREF line, COLORREF text_default);
bool drawn_as_arc(const sketch_elem& c);

// A flow's pipe (a width code above 20) is a double line in the outline
// colour, code - 20 units either side of its path: a wide stroke with the
// background drawn down its middle.
bool is_pipe(const sketch_elem& c) {
    return c.width_code > 20;
}

// Whether a connector is drawn as an arc: any path but a polyline or an
// orthogonal one, when its geometry gave it an arc box.
bool drawn_as_arc(const sketch_elem& c) {
    const int type = c.path_type() & 0x1F;
    return type != path_polyline && type != path_orthogonal && c.arc_width > 0 && c.arc_height > 0;
}

// A pipe's strokes: square at the bends and cut square at the ends, so the
// two lines run parallel round every bend and the pipe stays open at its ends.
HPEN pipe_pen(int width, COLORREF colour) {
    LOGBRUSH lb{BS_SOLID, colour, 0};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER,
                            static_cast<DWORD>(width), &lb, 0, nullptr);
    return pen ? pen : CreatePen(PS_SOLID, width, colour);
}

void draw_connector(paint_ctx& pc, const sketch_elem& c, COLORREF colour) {
    HDC dc = pc.dc;
    const mapper& m = pc.m;
    // Its own line colour when it has one; else pipes in the outline colour,
    // arrows in the view's (initial-value links in their own).
    const COLORREF own = (c.style & 1) && c.line_colour != 0xFFFFFFFFu
                             ? static_cast<COLORREF>(c.line_colour & 0xFFFFFF)
                             : (is_pipe(c) ? pc.outline : colour);
    const bool printing = pc.output && drawing.printing == 1;
    HPEN pen;
    if (is_pipe(c)) {
        const int across = m.len(2.0 * (c.width_code - 20));
        pen = pipe_pen(std::max(3, across + 1), own);
    } else {
        pen = connector_pen(c.width_code, m.zoom, printing, pc.solid, own);
    }
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HBRUSH head = CreateSolidBrush(own);
    HGDIOBJ old_brush = SelectObject(dc, head);
    connector_line(dc, m, c);
    if (is_pipe(c)) {
        const int across = m.len(2.0 * (c.width_code - 20));
        HPEN inner = pipe_pen(std::max(1, across - 1), pc.background);
        SelectObject(dc, inner);
        connector_line(dc, m, c);
        SelectObject(dc, pen);
        DeleteObject(inner);
    }
    // The arrowhead (and the delay mark's strokes) with a solid pen of width
    // one in the same colour.
    HPEN thin = CreatePen(PS_SOLID, 1, own);
    SelectObject(dc, thin);
    if (!is_pipe(c)) draw_marks(pc, c, own, colour);
    float hx[3], hy[3];
    if (arrowhead_points(c, hx, hy)) {
        POINT tri[3];
        for (int i = 0; i < 3; ++i) tri[i] = POINT{m.x(hx[i]), m.y(hy[i])};
        Polygon(dc, tri, 3);
    }
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(head);
    DeleteObject(thin);
    DeleteObject(pen);
}

// The connector's mark (its text, or one character) at each anchor, in its
// own text colour when it has one, else the view's connector colour, and in
// the view's font with the parts the connector has of its own; and its delay
// mark: two short strokes across the line in the line's colour.
void draw_marks(paint_ctx& pc, const sketch_elem& c, COLORREF line, COLORREF text_default) {
    HDC dc = pc.dc;
    const mapper& m = pc.m;
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
    (void)line;
    if (!c.mark) return;
    const std::string text = c.mark == 1 ? c.text : std::string(1, static_cast<char>(c.mark));
    if (text.empty()) return;
    const font_spec f = element_font(pc.s, c);
    const COLORREF colour = !pc.mono && (c.style & 2) && f.colour != 0xFFFFFFFFu
                                ? static_cast<COLORREF>(f.colour & 0xFFFFFF)
                                : text_default;
    HGDIOBJ old_font = SelectObject(dc, font_for(pc, f));
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
    SelectObject(dc, old_font);
}

// Draws an arc, or a straight line between its ends when its box is too
// large for the device (16383 units or more across, or turned inside out).
void safe_arc(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2) {
    const auto w = static_cast<unsigned>(right - left), h = static_cast<unsigned>(bottom - top);
    if (w < 16383u && h < 16383u) {
        Arc(dc, left, top, right, bottom, x1, y1, x2, y2);
    } else {
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
    }
}

void connector_line(HDC dc, const mapper& m, const sketch_elem& c) {
    const int type = c.path_type() & 0x1F;
    // The line runs to the arrow base; the arrowhead covers the rest.
    const double end_x = c.arrow_x, end_y = c.arrow_y;
    if (drawn_as_arc(c)) {
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
            safe_arc(dc, l, t, r, b, xs, ys, xe, ye);
        else
            safe_arc(dc, l, t, r, b, xe, ye, xs, ys);
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

void paint_sketch(HDC dc, const sketch_state& s, const RECT& client, bool output, HWND view) {
    const view_rec& vr = s.view.rec;
    const std::uint8_t mode = sketch_colour_mode(output);
    const bool mono = (mode & cm_kind) == cm_mono;
    const COLORREF background =
        mono ? RGB(255, 255, 255) : colour_or(vr.background, GetSysColor(COLOR_WINDOW));
    HBRUSH bg = CreateSolidBrush(background);
    FillRect(dc, &client, bg);
    DeleteObject(bg);
    // Font sizes are for the screen's pixels, which are sketch units at 100 %.
    static int screen_dpi = 0;
    if (!screen_dpi) {
        HDC screen = GetDC(nullptr);
        screen_dpi = screen ? std::max(GetDeviceCaps(screen, LOGPIXELSY), 1) : 96;
        if (screen) ReleaseDC(nullptr, screen);
    }
    paint_ctx c{dc,
                s,
                mapper{s.zoom > 0 ? s.zoom : 100, s.scroll_x, s.scroll_y},
                background,
                mono ? RGB(0, 0, 0) : colour_or(vr.outline, RGB(0, 0, 0)),
                mono ? 0xFFFFFFFFu : vr.fill,
                screen_dpi,
                output,
                mono,
                (mode & cm_solid) != 0,
                view,
                {}};
    const COLORREF connector = mono ? RGB(0, 0, 0) : colour_or(vr.connector, RGB(0, 0, 255));
    const COLORREF init_link = mono ? connector : colour_or(vr.init_link_colour, connector);
    HGDIOBJ old_font = SelectObject(dc, font_for(c, vr.font));
    // Connectors first, so elements sit on their pipes and arrow tails.
    for (const sketch_elem& e : s.view.elems) {
        if (e.kind != ek_connector || e.hidden() || e.level_value() > s.shown_level) continue;
        const COLORREF colour = e.init_link ? init_link : connector;
        if (mono && (e.style & 1)) {
            sketch_elem black = e; // its own colour gives way to black
            black.style = static_cast<std::uint8_t>(black.style & ~1);
            draw_connector(c, black, colour);
        } else {
            draw_connector(c, e, colour);
        }
    }
    for (const sketch_elem& e : s.view.elems)
        if (e.kind >= ek_variable && !e.hidden() && e.level_value() <= s.shown_level)
            draw_element(c, e);
    SelectObject(dc, old_font);
}

std::uint8_t sketch_colour_mode(bool output) {
    if (!output) return opts.colour_modes[0];
    return opts.colour_modes[drawing.printing == 1 ? 1 : 2];
}

int symbol_has_type(symbol_id id, int type) {
    if (!valid_symbol(id)) return 0;
    const symbol_record* r = sym(id);
    if (r->type == type) return 1;
    if (type == st_constant && !(r->flags & sf_changeable)) return 0;
    if (r->type > st_last_with_slots || r->slot < 0) return 0;
    // The per-slot types: the first slot, or (where its elements' types
    // differ) any element of an array.
    const dim_record* d = (r->flags & sf_mixed_types) ? safe_dims(id) : nullptr;
    const std::uint32_t n = d ? std::max<std::uint32_t>(1, d->count) : 1;
    for (std::uint32_t k = 0; k < n; ++k)
        if (slot_kind(r->slot + static_cast<std::int32_t>(k)) == type) return 1;
    return 0;
}

void draw_hexagon(HDC dc, int left, int top, int right, int bottom) {
    const int h = bottom - top, cx = left + (right - left) / 2;
    const int a = top + h * 22 / 100, b = top + h * 78 / 100;
    POINT p[6] = {{left, a}, {cx, top}, {right, a}, {right, b}, {cx, bottom}, {left, b}};
    Polygon(dc, p, 6);
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

int turns_outward(long x, long y, long dx, long dy) {
    return (x + dx) * (x + dx) + (y + dy) * (y + dy) > x * x + y * y ? 1 : 0;
}

std::vector<mark_anchor> connector_mark_anchors(const sketch_elem& c, bool for_label) {
    std::vector<mark_anchor> out;
    const int d = workbench_metrics().label_distance;
    const int type = c.path_type() & 0x1F;
    const int bx = static_cast<int>(std::lround(c.arrow_x)),
              by = static_cast<int>(std::lround(c.arrow_y));
    const bool arc =
        type != path_polyline && type != path_orthogonal && c.arc_width > 0 && c.arc_height > 0;
    if (for_label && (c.decoration & deco_label_at_head)) {
        // At the arrowhead's base, beside it: the arrowhead's direction
        // turned by a right angle (for an arc, toward the arc's inside).
        double vx = c.end_x - c.arrow_x, vy = c.end_y - c.arrow_y;
        double ox = -vy, oy = vx;
        if (arc) {
            const long rx = bx - (c.arc_left + c.arc_width / 2),
                       ry = by - (c.arc_top + c.arc_height / 2);
            if (turns_outward(rx, ry, static_cast<long>(std::lround(ox)),
                              static_cast<long>(std::lround(oy))))
                ox = -ox, oy = -oy;
        }
        mark_anchor a{bx, by, 0, 0};
        scale_to(ox, oy, d, &a.dx, &a.dy);
        out.push_back(a);
    } else if (type == path_polyline || type == path_orthogonal) {
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
    } else if (arc && !c.points.empty()) {
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

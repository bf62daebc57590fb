// The lookup editor's dialog and graph area (see lookupdlg.h). The point
// table and its rules live in lookupedit.cpp; this file is what the user
// sees and does: the rows, the range fields, the graph and the mouse.
#include "graphs/lookupdlg.h"

#include "foundation/names.h"

#include "draw/drawing.h"
#include "draw/printing.h"
#include "foundation/report.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "platform/clip.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/gdi.h"
#include "platform/global.h"
#include "resources/lookupdlg.h"
#include "shell/dialogs.h"
#include "shell/msgbox.h"
#include "shell/questions.h"
#include "shell/settings_rows.h"
#include "shell/upcalls.h"
#include "sim/simdata.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// One editor runs at a time; this lives from edit_lookup to the dialog's end.
struct editor_state {
    lookup_points points;
    std::string name;
    int slot = -1;
    int first_row = 0;     // index of the point in the top row
    bool clearing = false; // "Clear Points" pressed: a click deletes
    bool filling = false;  // the fields are being set by the editor
    // Mouse state of the graph area.
    POINT press{-1, -1};
    int dragged = -1;
    // Where a dragged point was taken and its values then: an axis the
    // cursor has not moved along keeps its value exactly.
    POINT drag_from{-1, -1};
    float drag_x = 0, drag_y = 0;
    int zoom = 0; // 1 x range, 2 y range
    POINT zoom_from{-1, -1}, zoom_at{-1, -1};
    bool sweeping = false;
    int margin_x = 8, margin_y = 8;
    bool dirty[900] = {}; // edited since the field was last set, by control id
    bool live = false;    // rows refilled from now on re-run Livesweep
};
editor_state* ed = nullptr;

constexpr COLORREF point_colour = 0xFF0000;
constexpr int pick_distance = 3;

// Four significant digits, without the padding a field width would put in
// front of short numbers, so that the numbers of a column line up.
std::string num(float v, const char* format = "%.4g") {
    char b[40];
    std::snprintf(b, sizeof b, format, static_cast<double>(v));
    return b;
}

// Reads a number typed into a field; false for text that is no number.
bool read_field(HWND dialog, int id, float* out) {
    char b[64] = {};
    GetDlgItemText(dialog, id, b, sizeof b);
    char* end = nullptr;
    const double v = std::strtod(b, &end);
    if (end == b || !std::isfinite(v)) return false;
    while (*end == ' ') ++end;
    if (*end) return false;
    *out = static_cast<float>(v);
    return true;
}

void set_field(HWND dialog, int id, const std::string& text) {
    ed->filling = true;
    SetDlgItemText(dialog, id, text.c_str());
    ed->filling = false;
    if (id >= 0 && id < 900) ed->dirty[id] = false;
}

void redraw_graph(HWND dialog) {
    InvalidateRect(GetDlgItem(dialog, idl_graph), nullptr, TRUE);
}

void show_range(HWND dialog) {
    const lookup_points& p = ed->points;
    set_field(dialog, idl_x_min, num(p.x_min, "%g"));
    set_field(dialog, idl_x_max, num(p.x_max, "%g"));
    set_field(dialog, idl_y_min, num(p.y_min, "%g"));
    set_field(dialog, idl_y_max, num(p.y_max, "%g"));
}

// Rows from the top point on, the scroll bar, and the graph.
void fill_point_fields(HWND dialog) {
    const lookup_points& p = ed->points;
    ed->first_row = std::clamp(ed->first_row, 0, std::max(0, p.count() - lookup_rows));
    for (int r = 0; r < lookup_rows; ++r) {
        const int i = ed->first_row + r;
        set_field(dialog, idl_row_x + r, i < p.count() ? num(p.x[i]) : "");
        set_field(dialog, idl_row_y + r, i < p.count() ? num(p.y[i]) : "");
    }
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(0, p.count() - 1);
    si.nPage = lookup_rows;
    si.nPos = ed->first_row;
    HWND bar = GetDlgItem(dialog, idl_scroll);
    SetScrollInfo(bar, SB_CTL, &si, TRUE);
    EnableWindow(bar, p.count() >= lookup_rows + 1);
    redraw_graph(dialog);
    // In Livesweep every change shows in the sketch and graphs at once.
    if (ed->live) push_lookup_live(ed->slot, p);
}

// After a change through the fields or the mouse: widen the sides a point
// left, and show the rows again.
void after_change(HWND dialog) {
    if (ed->points.out_of_range) {
        rescale_lookup_points(ed->points, false);
        show_range(dialog);
    }
    fill_point_fields(dialog);
}

// A row's x was left changed (row r).
void x_field_left(HWND dialog, int r) {
    lookup_points& p = ed->points;
    const int i = ed->first_row + r;
    float x = 0;
    if (!read_field(dialog, idl_row_x + r, &x)) {
        set_field(dialog, idl_row_x + r, i < p.count() ? num(p.x[i]) : "");
        return;
    }
    int at;
    if (i >= p.count()) {
        at = insert_lookup_point(p, x, 0);
        note_out_of_range(p, x, 0);
    } else {
        at = set_lookup_x(p, i, x);
        note_out_of_range(p, x, p.y[at]);
    }
    if (at < ed->first_row || at >= ed->first_row + lookup_rows)
        ed->first_row = at - lookup_rows / 2;
    after_change(dialog);
    const int row = std::clamp(at - ed->first_row, 0, lookup_rows - 1);
    HWND y_field = GetDlgItem(dialog, idl_row_y + row);
    SetFocus(y_field);
    SendMessage(y_field, EM_SETSEL, 0, -1);
}

void y_field_left(HWND dialog, int r) {
    lookup_points& p = ed->points;
    const int i = ed->first_row + r;
    if (i >= p.count()) {
        set_field(dialog, idl_row_y + r, "");
        report(8, "Enter x value first");
        return;
    }
    float y = 0;
    if (!read_field(dialog, idl_row_y + r, &y)) {
        set_field(dialog, idl_row_y + r, num(p.y[i]));
        return;
    }
    p.y[i] = y;
    note_out_of_range(p, p.x[i], y);
    after_change(dialog);
}

void new_point_left(HWND dialog) {
    float x = 0, y = 0;
    if (!read_field(dialog, idl_new_x, &x) || !read_field(dialog, idl_new_y, &y)) return;
    insert_lookup_point(ed->points, x, y);
    note_out_of_range(ed->points, x, y);
    set_field(dialog, idl_new_x, "");
    set_field(dialog, idl_new_y, "");
    after_change(dialog);
}

float* bound_of(int id) {
    lookup_points& p = ed->points;
    switch (id) {
    case idl_x_min:
        return &p.x_min;
    case idl_x_max:
        return &p.x_max;
    case idl_y_min:
        return &p.y_min;
    default:
        return &p.y_max;
    }
}

// A range field: a value that keeps the minimum below the maximum is taken;
// when the field is left with one that does not, the bound stays and the
// field shows "?refused|kept".
void range_field_changed(HWND dialog, int id, bool leaving, bool selection) {
    char b[20] = {};
    HWND combo = GetDlgItem(dialog, id);
    if (selection) {
        const LRESULT sel = SendMessage(combo, CB_GETCURSEL, 0, 0);
        if (sel < 0) return;
        SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(b));
    } else {
        GetWindowText(combo, b, sizeof b);
    }
    const bool is_min = id == idl_x_min || id == idl_y_min;
    const int other = id == idl_x_min   ? idl_x_max
                      : id == idl_x_max ? idl_x_min
                      : id == idl_y_min ? idl_y_max
                                        : idl_y_min;
    char* end = nullptr;
    const double v = std::strtod(b, &end);
    const bool readable = end != b && std::isfinite(v);
    const float bound_other = *bound_of(other);
    const bool in_order = readable && (is_min ? v < bound_other : v > bound_other);
    if (in_order) {
        *bound_of(id) = static_cast<float>(v);
        if (selection) set_field(dialog, id, b);
        // The other field's refused value ("?refused|kept") that this bound
        // now makes valid becomes that bound.
        char pending[40] = {};
        GetWindowText(GetDlgItem(dialog, other), pending, sizeof pending);
        if (pending[0] == '?') {
            char* stop = nullptr;
            const double refused = std::strtod(pending + 1, &stop);
            if (stop != pending + 1 && *stop == '|' && std::isfinite(refused) &&
                (is_min ? refused > v : refused < v)) {
                *bound_of(other) = static_cast<float>(refused);
                set_field(dialog, other, num(static_cast<float>(refused), "%g"));
            }
        }
        redraw_graph(dialog);
        return;
    }
    if (!leaving) return;
    if (b[0] == '?') return; // already showing a refusal
    char shown[80];
    std::snprintf(shown, sizeof shown, "?%s|%g",
                  readable ? num(static_cast<float>(v), "%g").c_str() : b,
                  static_cast<double>(*bound_of(id)));
    set_field(dialog, id, shown);
}

// ---- the graph ---------------------------------------------------------------

} // namespace

void draw_lookup_points(HDC dc, const RECT& plot_rect, const lookup_points& p, int half) {
    lookup_plot plot{plot_rect.left, plot_rect.top, plot_rect.right - plot_rect.left,
                     plot_rect.bottom - plot_rect.top};
    HPEN grid = CreatePen(PS_DOT, 1, 0x808080);
    HGDIOBJ old_pen = SelectObject(dc, grid);
    // The graphs' division counts: x across, y up.
    const int across = std::clamp(graph_defaults().x_divisions, 1, 100);
    const int up = std::clamp(graph_defaults().y_divisions, 1, 100);
    for (int i = 1; i < across; ++i) {
        const int x = plot.left + plot.width * i / across;
        MoveToEx(dc, x, plot.top, nullptr);
        LineTo(dc, x, plot.top + plot.height);
    }
    for (int i = 1; i < up; ++i) {
        const int y = plot.top + plot.height * i / up;
        MoveToEx(dc, plot.left, y, nullptr);
        LineTo(dc, plot.left + plot.width, y);
    }
    HBRUSH frame = CreateSolidBrush(0x808080);
    FrameRect(dc, &plot_rect, frame);
    DeleteObject(frame);

    IntersectClipRect(dc, plot_rect.left, plot_rect.top, plot_rect.right, plot_rect.bottom);
    auto polyline = [&](const std::vector<float>& xs, const std::vector<float>& ys) {
        for (std::size_t i = 0; i < xs.size(); ++i) {
            const int x = plot.px(p, xs[i]), y = plot.py(p, ys[i]);
            if (i == 0)
                MoveToEx(dc, x, y, nullptr);
            else
                LineTo(dc, x, y);
        }
    };
    HPEN ref_pen = CreatePen(PS_SOLID, 1, 0xC0C0C0);
    SelectObject(dc, ref_pen);
    polyline(p.ref_x, p.ref_y);
    HPEN pen = CreatePen(PS_SOLID, 1, point_colour);
    SelectObject(dc, pen);
    polyline(p.x, p.y);
    HBRUSH square = CreateSolidBrush(point_colour);
    for (int i = 0; i < p.count(); ++i) {
        if (p.x[i] < p.x_min || p.x[i] > p.x_max || p.y[i] < p.y_min || p.y[i] > p.y_max) continue;
        const int x = plot.px(p, p.x[i]), y = plot.py(p, p.y[i]);
        RECT r{x - half, y - half, x + half + 1, y + half + 1};
        FillRect(dc, &r, square);
    }
    SelectObject(dc, old_pen);
    DeleteObject(square);
    DeleteObject(pen);
    DeleteObject(ref_pen);
    DeleteObject(grid);
}

namespace {

void draw_lookup_graph(HDC dc, const RECT& plot_rect, int half = 2) {
    draw_lookup_points(dc, plot_rect, ed->points, half);
}

// The numbers along the graph's axes on screen: the value at each grid
// line, x from the minimum across, y from the minimum up.
struct axis_numbers {
    std::vector<std::string> x, y;
};
axis_numbers numbers_of(const lookup_points& p) {
    axis_numbers n;
    const int across = std::clamp(graph_defaults().x_divisions, 1, 100);
    const int up = std::clamp(graph_defaults().y_divisions, 1, 100);
    const double sx = (static_cast<double>(p.x_max) - p.x_min) / across;
    const double sy = (static_cast<double>(p.y_max) - p.y_min) / up;
    for (int i = 0; i <= across; ++i) n.x.emplace_back(format_to_step(p.x_min + i * sx, sx));
    for (int i = 0; i <= up; ++i) n.y.emplace_back(format_to_step(p.y_min + i * sy, sy));
    return n;
}

// The graph window's text measures in the dialog's font: the widest y
// number and the line height.
struct number_room {
    int width = 0, height = 0;
};
number_room room_for_numbers(HWND graph) {
    number_room room;
    if (!ed) return room;
    HDC dc = GetDC(graph);
    if (!dc) return room;
    HFONT font = reinterpret_cast<HFONT>(SendMessage(GetParent(graph), WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    for (const std::string& t : numbers_of(ed->points).y) {
        SIZE sz{};
        GetTextExtentPoint32(dc, t.c_str(), static_cast<int>(t.size()), &sz);
        room.width = std::max(room.width, static_cast<int>(sz.cx));
        room.height = std::max(room.height, static_cast<int>(sz.cy));
    }
    if (old) SelectObject(dc, old);
    ReleaseDC(graph, dc);
    return room;
}

// The plot inside the graph window: its margins, and on screen room for
// the y numbers at the left and the x numbers below.
RECT plot_rect_of(HWND graph) {
    RECT r{};
    GetClientRect(graph, &r);
    const int mx = ed ? ed->margin_x : 8, my = ed ? ed->margin_y : 8;
    const number_room room = room_for_numbers(graph);
    const int left = mx + (room.width ? room.width + mx / 2 : 0);
    // The top number stands half a line above the plot, the x numbers a
    // line below it.
    const int top = my + room.height / 2, bottom = my + room.height;
    return RECT{r.left + left, r.top + top, std::max(r.left + left + 1, r.right - mx),
                std::max(r.top + top + 1, r.bottom - bottom)};
}

// Draws the numbers of the axes around the plot.
void draw_axis_numbers(HWND graph, HDC dc, const RECT& plot) {
    if (!ed) return;
    const axis_numbers n = numbers_of(ed->points);
    HFONT font = reinterpret_cast<HFONT>(SendMessage(GetParent(graph), WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0);
    const int w = plot.right - plot.left, h = plot.bottom - plot.top;
    const int gap = ed->margin_x / 2;
    const int lines = static_cast<int>(n.y.size()) - 1;
    for (int i = 0; i <= lines; ++i) {
        const std::string& t = n.y[static_cast<std::size_t>(i)];
        SIZE sz{};
        GetTextExtentPoint32(dc, t.c_str(), static_cast<int>(t.size()), &sz);
        const int y = plot.bottom - h * i / std::max(lines, 1);
        TextOut(dc, plot.left - gap - sz.cx, y - sz.cy / 2, t.c_str(), static_cast<int>(t.size()));
    }
    // The x numbers, skipping those that would run into the one before.
    const int cols = static_cast<int>(n.x.size()) - 1;
    int free_from = -1000000;
    for (int i = 0; i <= cols; ++i) {
        const std::string& t = n.x[static_cast<std::size_t>(i)];
        SIZE sz{};
        GetTextExtentPoint32(dc, t.c_str(), static_cast<int>(t.size()), &sz);
        const int x = plot.left + w * i / std::max(cols, 1);
        int at = x - sz.cx / 2;
        if (i == cols) at = std::min(at, plot.right + ed->margin_x - static_cast<int>(sz.cx));
        if (at < free_from) continue;
        TextOut(dc, at, plot.bottom + 1, t.c_str(), static_cast<int>(t.size()));
        free_from = at + sz.cx + gap;
    }
    if (old) SelectObject(dc, old);
}

// The first point within pick_distance pixels of the cursor; -1 none, -2
// when another point stands within reach horizontally before it (ambiguous).
int point_under(HWND graph, int cx, int cy) {
    const lookup_points& p = ed->points;
    const lookup_plot plot = lookup_graph_plot(graph);
    bool near_x = false;
    for (int i = 0; i < p.count(); ++i) {
        const int dx = std::abs(plot.px(p, p.x[i]) - cx), dy = std::abs(plot.py(p, p.y[i]) - cy);
        if (dx <= pick_distance && dy <= pick_distance) return i;
        if (dx <= pick_distance) near_x = true;
    }
    return near_x ? -2 : -1;
}

void show_cursor_values(HWND graph, int cx, int cy) {
    HWND dialog = GetParent(graph);
    const lookup_plot plot = lookup_graph_plot(graph);
    SetDlgItemText(dialog, idl_cursor_x, ("x=" + num(plot.vx(ed->points, cx))).c_str());
    SetDlgItemText(dialog, idl_cursor_y, ("y=" + num(plot.vy(ed->points, cy))).c_str());
}

void mouse_down(HWND graph, int cx, int cy, WPARAM keys) {
    SetCapture(graph);
    ed->sweeping = false;
    ed->dragged = -1;
    ed->press = {-1, -1};
    if (keys & (MK_SHIFT | MK_CONTROL)) {
        ed->zoom = (keys & MK_SHIFT) ? 1 : 2;
        ed->zoom_from = ed->zoom_at = {cx, cy};
        return;
    }
    const int hit = point_under(graph, cx, cy);
    if (hit == -2) return;
    if (!ed->clearing && hit >= 0) {
        ed->dragged = hit;
        ed->drag_from = {cx, cy};
        ed->drag_x = ed->points.x[hit];
        ed->drag_y = ed->points.y[hit];
        return;
    }
    ed->press = {cx, cy};
}

void mouse_move(HWND graph, int cx, int cy) {
    show_cursor_values(graph, cx, cy);
    HWND dialog = GetParent(graph);
    lookup_points& p = ed->points;
    const lookup_plot plot = lookup_graph_plot(graph);
    if (ed->zoom) {
        ed->zoom_at = {cx, cy};
        redraw_graph(dialog);
        return;
    }
    if (ed->dragged >= 0) {
        // The point moves by as many pixels as the cursor from where it was
        // taken (a point grabbed a pixel off its centre does not jump), and
        // keeps its value along an axis the cursor has not moved on: a point
        // dragged straight up keeps its x.
        const int dx = cx - ed->drag_from.x, dy = cy - ed->drag_from.y;
        const float x = dx ? plot.vx(p, plot.px(p, ed->drag_x) + dx) : ed->drag_x;
        const float y = dy ? plot.vy(p, plot.py(p, ed->drag_y) + dy) : ed->drag_y;
        ed->dragged = move_lookup_point(p, ed->dragged, x, y);
        note_out_of_range(p, p.x[ed->dragged], y);
        fill_point_fields(dialog);
        return;
    }
    if (ed->press.x < 0) return;
    if (!ed->sweeping && std::abs(cx - ed->press.x) < 4 && std::abs(cy - ed->press.y) < 4) return;
    if (ed->clearing) { // a click, not a drag, clears a point
        ed->press = {-1, -1};
        return;
    }
    // Sweeping: the y of the first point just right of the cursor follows it.
    ed->sweeping = true;
    for (int i = 0; i < p.count(); ++i) {
        const int px = plot.px(p, p.x[i]);
        if (px >= cx && px <= cx + 8) {
            p.y[i] = plot.vy(p, cy);
            note_out_of_range(p, p.x[i], p.y[i]);
            fill_point_fields(dialog);
            break;
        }
    }
}

void mouse_up(HWND graph, int cx, int cy) {
    HWND dialog = GetParent(graph);
    lookup_points& p = ed->points;
    const lookup_plot plot = lookup_graph_plot(graph);
    if (ed->zoom == 1 && cx != ed->zoom_from.x) {
        const float a = plot.vx(p, ed->zoom_from.x), b = plot.vx(p, cx);
        p.x_min = std::min(a, b);
        p.x_max = std::max(a, b);
    } else if (ed->zoom == 2 && cy != ed->zoom_from.y) {
        const float a = plot.vy(p, ed->zoom_from.y), b = plot.vy(p, cy);
        p.y_min = std::min(a, b);
        p.y_max = std::max(a, b);
    }
    if (ed->zoom) {
        p.out_of_range = 0;
        show_range(dialog);
        redraw_graph(dialog);
    } else if (ed->press.x >= 0 && !ed->sweeping) {
        if (!ed->clearing) {
            const float x = plot.vx(p, cx), y = plot.vy(p, cy);
            insert_lookup_point(p, x, y);
            note_out_of_range(p, x, y);
            fill_point_fields(dialog);
        } else if (const int hit = point_under(graph, cx, cy); hit >= 0) {
            delete_lookup_point(p, hit);
            fill_point_fields(dialog);
        }
    }
    if (p.out_of_range) after_change(dialog);
    ReleaseCapture();
    ed->press = {-1, -1};
    ed->dragged = -1;
    ed->zoom = 0;
    ed->sweeping = false;
}

void paint_graph(HWND graph) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(graph, &ps);
    RECT client{};
    GetClientRect(graph, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (ed) {
        const RECT plot = plot_rect_of(graph);
        draw_axis_numbers(graph, dc, plot);
        const int saved = SaveDC(dc);
        draw_lookup_graph(dc, plot);
        RestoreDC(dc, saved);
        if (ed->zoom) { // the line the zoom drag ends at
            HPEN pen = CreatePen(PS_SOLID, 1, 0x000000);
            HGDIOBJ old = SelectObject(dc, pen);
            if (ed->zoom == 1) {
                MoveToEx(dc, ed->zoom_at.x, plot.top, nullptr);
                LineTo(dc, ed->zoom_at.x, plot.bottom);
            } else {
                MoveToEx(dc, plot.left, ed->zoom_at.y, nullptr);
                LineTo(dc, plot.right, ed->zoom_at.y);
            }
            SelectObject(dc, old);
            DeleteObject(pen);
        }
    }
    EndPaint(graph, &ps);
}

// ---- copy, paste and print ----------------------------------------------------

std::string dialog_title(HWND dialog) {
    char b[200] = {};
    GetWindowText(dialog, b, sizeof b);
    return b;
}

// The labels around a printed or copied graph, in the default font: the
// title centred at the top, the y bounds left of the plot at its top and
// bottom, the x bounds under it at its left and right. The plot rectangle
// shrinks to make room for them.
void draw_lookup_labels(HDC dc, const std::string& title, RECT& plot) {
    font_spec f = graph_defaults().fonts[0];
    f.size = 10;
    f.style = 0;
    use_graph_font(f);
    const lookup_points& p = ed->points;
    const int line = std::max(1, static_cast<int>(drawing.line_height));
    const std::string x_lo = num(p.x_min, "%g"), x_hi = num(p.x_max, "%g");
    const std::string y_lo = num(p.y_min, "%g"), y_hi = num(p.y_max, "%g");
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0);
    const int title_w = text_width(title.c_str());
    TextOut(dc, (plot.left + plot.right - title_w) / 2, plot.top, title.c_str(),
            static_cast<int>(title.size()));
    plot.top += line * 3 / 2;
    const int left = plot.left;
    plot.left += std::max(1, static_cast<int>(drawing.char_width)) +
                 std::max(text_width(y_lo.c_str()), text_width(y_hi.c_str()));
    plot.bottom -= 2 * line;
    plot.bottom = std::max(plot.bottom, plot.top + 1);
    plot.left = std::min(plot.left, plot.right - 1);
    TextOut(dc, left, plot.top, y_hi.c_str(), static_cast<int>(y_hi.size()));
    TextOut(dc, left, plot.bottom - line, y_lo.c_str(), static_cast<int>(y_lo.size()));
    TextOut(dc, plot.left, plot.bottom + line / 4, x_lo.c_str(), static_cast<int>(x_lo.size()));
    TextOut(dc, plot.right - text_width(x_hi.c_str()), plot.bottom + line / 4, x_hi.c_str(),
            static_cast<int>(x_hi.size()));
}

// The labels and the graph in a rectangle of the active device.
void draw_labelled_graph(HDC dc, const std::string& title, RECT area, int half) {
    const int saved = SaveDC(dc);
    draw_lookup_labels(dc, title, area);
    draw_lookup_graph(dc, area, half);
    RestoreDC(dc, saved);
}

// One page: the graph, 8 cm by 8 cm with its labels, centred at the top.
void print_lookup(HWND dialog) {
    HCURSOR old_cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    HDC dc = open_printer_dc("P", nullptr, nullptr, false);
    if (dc) {
        drawing.printing = 1;
        make_date_stamp();
        if (start_print_doc()) {
            if (StartPage(dc) > 0) {
                {
                    draw_pass pass(dc, dc);
                    if (pass.ok()) {
                        const int w = cm_to_device(8, 1), h = cm_to_device(8, 0);
                        const int page_w = GetDeviceCaps(dc, HORZRES);
                        const int left = std::max(0, (page_w - w) / 2), top = cm_to_device(1, 0);
                        const int half = std::max(2, cm_to_device(0.05, 1));
                        draw_labelled_graph(dc, dialog_title(dialog),
                                            RECT{left, top, left + w, top + h}, half);
                    }
                }
                close_printer(1);
            } else {
                close_printer(0);
            }
        }
    }
    SetCursor(old_cursor);
}

// The size of a copied graph in centimetres: 8 by 8, or as the user answers
// when the graphs ask for the size of exports. false when cancelled.
bool copied_graph_size(double* w_cm, double* h_cm) {
    *w_cm = *h_cm = 8;
    if (graph_export_options().export_size != 1) return true;
    const bool metric = opts.metric != 0;
    const char* offered = metric ? "8x8" : "3.149606x3.149606";
    for (;;) {
        const char* answer = ask_text("Enter size of exported graph", offered);
        if (!answer) return false;
        double w = 0, h = 0;
        char tail = 0;
        if (std::sscanf(answer, "%lgx%lg%c", &w, &h, &tail) == 2 && std::isfinite(w) &&
            std::isfinite(h) && w > 0 && h > 0 && w < 1000 && h < 1000) {
            *w_cm = metric ? w : w * 2.54;
            *h_cm = metric ? h : h * 2.54;
            return true;
        }
        report(8, "Bad size %s", answer);
    }
}

// The graph as a metafile picture and the points as text on the clipboard.
void copy_lookup_graph(HWND dialog) {
    double w_cm = 8, h_cm = 8;
    if (!copied_graph_size(&w_cm, &h_cm)) return;
    HCURSOR old_cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    HDC screen = GetDC(nullptr);
    const int dpi_x = std::max(screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96, 1);
    const int dpi_y = std::max(screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96, 1);
    const int w = std::max(1, static_cast<int>(w_cm / 2.54 * dpi_x));
    const int h = std::max(1, static_cast<int>(h_cm / 2.54 * dpi_y));
    HMETAFILE picture = nullptr;
    if (HDC mf = CreateMetaFile(nullptr)) {
        SetWindowExtEx(mf, w, h, nullptr);
        drawing.gtx_mode = 1; // metafile: the primitives clip nothing themselves
        {
            draw_pass pass(mf, screen ? screen : mf);
            if (pass.ok()) draw_labelled_graph(mf, dialog_title(dialog), RECT{0, 0, w, h}, 2);
        }
        drawing.gtx_mode = 0;
        picture = CloseMetaFile(mf);
    }
    if (screen) ReleaseDC(nullptr, screen);
    const std::string text = lookup_clipboard_text(ed->points);
    HGLOBAL pict_mem =
        picture ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT)) : nullptr;
    if (pict_mem) {
        auto* pict = static_cast<METAFILEPICT*>(GlobalLock(pict_mem));
        pict->mm = MM_ANISOTROPIC;
        pict->xExt = static_cast<LONG>(w_cm * 1000);
        pict->yExt = static_cast<LONG>(h_cm * 1000);
        pict->hMF = picture;
        GlobalUnlock(pict_mem);
    }
    HGLOBAL text_mem = global_from_bytes(text.c_str(), text.size() + 1);
    bool picture_taken = false, text_taken = false;
    if (OpenClipboard(dialog)) {
        EmptyClipboard();
        picture_taken = pict_mem && SetClipboardData(CF_METAFILEPICT, pict_mem) != nullptr;
        text_taken = text_mem && SetClipboardData(CF_TEXT, text_mem) != nullptr;
        CloseClipboard();
    }
    // What the clipboard refused is still ours.
    if (!picture_taken) {
        if (pict_mem) GlobalFree(pict_mem);
        if (picture) DeleteMetaFile(picture);
    }
    if (!text_taken && text_mem) GlobalFree(text_mem);
    SetCursor(old_cursor);
    if (!picture_taken || !text_taken) report(8, "Unable to copy to the clipboard");
}

// The clipboard's text, else the table a spreadsheet put there ("Biff");
// empty when it holds neither.
std::string clipboard_table_text(HWND dialog) {
    std::string text;
    if (!OpenClipboard(dialog)) return text;
    if (auto mem = static_cast<HGLOBAL>(GetClipboardData(CF_TEXT))) {
        const std::size_t size = GlobalSize(mem);
        if (const auto* b = static_cast<const char*>(GlobalLock(mem))) {
            text.assign(b, ::strnlen(b, size));
            GlobalUnlock(mem);
        }
    } else if (auto biff =
                   static_cast<HGLOBAL>(GetClipboardData(RegisterClipboardFormat("Biff")))) {
        const std::size_t size = GlobalSize(biff);
        if (const auto* b = static_cast<const std::uint8_t*>(GlobalLock(biff))) {
            text = biff_paste_text(b, size);
            GlobalUnlock(biff);
        }
    }
    CloseClipboard();
    return text;
}

// Asks for a number with a default; false when cancelled or unreadable.
bool ask_number(const char* prompt, const char* offered, float* out) {
    const char* answer = ask_text(prompt, offered);
    if (!answer) return false;
    char* end = nullptr;
    const double v = std::strtod(answer, &end);
    while (end && *end == ' ') ++end;
    if (end == answer || (end && *end) || !std::isfinite(v) || std::fabs(v) > 1e30) {
        report(8, "Bad number %s", answer);
        return false;
    }
    *out = static_cast<float>(v);
    return true;
}

void paste_lookup(HWND dialog) {
    const std::string text = clipboard_table_text(dialog);
    const char* const refused = "Place x-y or y values in clipboard in tab delimited format";
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        report(8, "%s", refused);
        return;
    }
    if (!ask_yes_no("%s...\nAttempt to read lookup values???", text.substr(0, 40).c_str())) return;
    const lookup_paste paste = read_lookup_paste(text);
    if (paste.kind == lookup_paste::none) {
        report(8, "%s", paste.message.empty() ? refused : paste.message.c_str());
        return;
    }
    float first = 0, increment = 1;
    if (paste.kind == lookup_paste::y_only &&
        (!ask_number("First X value", "0", &first) || !ask_number("X increment", "1", &increment)))
        return;
    lookup_points& p = ed->points;
    if (!apply_lookup_paste(p, paste, first, increment)) return;
    for (int i = 0; i < p.count(); ++i) note_out_of_range(p, p.x[i], p.y[i]);
    ed->first_row = 0;
    after_change(dialog);
}

// Reset (Livesweep): back to the model's own points.
void reset_to_model(HWND dialog) {
    lookup_points model;
    if (!model_lookup_points(ed->slot, &model)) return;
    ed->points.x = model.x;
    ed->points.y = model.y;
    ed->first_row = 0;
    fill_point_fields(dialog);
}

// ---- the dialog ---------------------------------------------------------------

// Enter moves on through the table: x to the y of its row, y to the next
// row's x, the last row and the new point's y to the new x, that to its y.
void enter_pressed(HWND dialog) {
    const int id = GetDlgCtrlID(GetFocus());
    int next = -1;
    if (id >= idl_row_x && id < idl_row_x + lookup_rows)
        next = idl_row_y + (id - idl_row_x);
    else if (id >= idl_row_y && id < idl_row_y + lookup_rows - 1)
        next = idl_row_x + (id - idl_row_y) + 1;
    else if (id == idl_row_y + lookup_rows - 1 || id == idl_new_y)
        next = idl_new_x;
    else if (id == idl_new_x)
        next = idl_new_y;
    else if (id == idl_x_min || id == idl_x_max || id == idl_y_min || id == idl_y_max)
        range_field_changed(dialog, id, true, false);
    if (next >= 0) SetFocus(GetDlgItem(dialog, next));
}

void scroll_rows(HWND dialog, int code) {
    const int count = ed->points.count();
    int& first = ed->first_row;
    switch (code) {
    case SB_LINEUP:
        --first;
        break;
    case SB_LINEDOWN:
        if (first + lookup_rows < count) ++first;
        break;
    case SB_PAGEUP:
        first -= 10;
        break;
    case SB_PAGEDOWN:
        first = std::min(first + 10, count - lookup_rows);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(GetDlgItem(dialog, idl_scroll), SB_CTL, &si);
        first = si.nTrackPos;
        break;
    }
    default:
        return;
    }
    fill_point_fields(dialog);
}

void init_dialog(HWND dialog) {
    SetWindowText(dialog, ("Graph Lookup - " + ed->name).c_str());
    // The documentation's parts; without any, the lookup's name heads it.
    const lookup_captions c = lookup_captions_of(ed->name.c_str());
    auto part = [&](std::size_t i) { return i < c.parts.size() ? c.parts[i] : std::string(); };
    const std::string first = part(0).empty() && c.parts.size() < 2 ? ed->name : part(0);
    SetDlgItemText(dialog, idl_caption1, first.c_str());
    SetDlgItemText(dialog, idl_caption2, part(1).c_str());
    SetDlgItemText(dialog, idl_caption3, (c.parts.size() > 2 ? part(2) : c.units).c_str());
    for (int id : {idl_x_min, idl_y_min})
        for (const char* s : {"-1", "0"})
            SendDlgItemMessage(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    for (int id : {idl_x_max, idl_y_max})
        for (const char* s : {"0.1", "1.0", "10", "100"})
            SendDlgItemMessage(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    show_range(dialog);
    fill_point_fields(dialog);
    if (livesweep_state == ls_on) {
        SetDlgItemText(dialog, idl_ok, "Close");
        SetDlgItemText(dialog, idl_cancel, "Reset");
        ed->live = true;
    }
}

} // namespace

INT_PTR lookup_ed_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (!ed) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        init_dialog(dialog);
        return TRUE;
    case WM_VSCROLL:
        scroll_rows(dialog, LOWORD(wparam));
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wparam), code = HIWORD(wparam);
        const bool row_x = id >= idl_row_x && id < idl_row_x + lookup_rows;
        const bool row_y = id >= idl_row_y && id < idl_row_y + lookup_rows;
        if (row_x || row_y || id == idl_new_x || id == idl_new_y) {
            if (code == EN_CHANGE && !ed->filling) ed->dirty[id] = true;
            if (code == EN_KILLFOCUS && ed->dirty[id]) {
                ed->dirty[id] = false;
                if (row_x)
                    x_field_left(dialog, id - idl_row_x);
                else if (row_y)
                    y_field_left(dialog, id - idl_row_y);
                else
                    new_point_left(dialog);
            }
            return TRUE;
        }
        switch (id) {
        case idl_x_min:
        case idl_x_max:
        case idl_y_min:
        case idl_y_max:
            if (ed->filling) return TRUE;
            if (code == CBN_SELCHANGE) range_field_changed(dialog, id, false, true);
            if (code == CBN_EDITCHANGE) range_field_changed(dialog, id, false, false);
            if (code == CBN_KILLFOCUS) range_field_changed(dialog, id, true, false);
            return TRUE;
        case idl_reset_scaling:
            rescale_lookup_points(ed->points, true);
            show_range(dialog);
            redraw_graph(dialog);
            return TRUE;
        case idl_clear_points:
            ed->clearing = !ed->clearing;
            SetDlgItemText(dialog, idl_clear_points, ed->clearing ? "Add Points" : "Clear Points");
            return TRUE;
        case idl_clear_all:
            ed->points.x.clear();
            ed->points.y.clear();
            fill_point_fields(dialog);
            return TRUE;
        case idl_cur_to_ref:
            if (ed->points.count() > 0) {
                ed->points.ref_x = ed->points.x;
                ed->points.ref_y = ed->points.y;
                redraw_graph(dialog);
            }
            return TRUE;
        case idl_ref_to_cur:
            if (!ed->points.ref_x.empty()) {
                ed->points.x = ed->points.ref_x;
                ed->points.y = ed->points.ref_y;
                fill_point_fields(dialog);
            }
            return TRUE;
        case idl_clear_ref:
            ed->points.ref_x.clear();
            ed->points.ref_y.clear();
            redraw_graph(dialog);
            return TRUE;
        case IDOK:
            enter_pressed(dialog);
            return TRUE;
        case IDCANCEL:
            if (ed->clearing) {
                ed->clearing = false;
                SetDlgItemText(dialog, idl_clear_points, "Clear Points");
                return TRUE;
            }
            EndDialog(dialog, 0);
            return TRUE;
        case idl_ok: {
            // A field still being typed in counts, as leaving it would.
            SetFocus(GetDlgItem(dialog, idl_ok));
            if (ed->points.count() < 2) {
                report(8, "You must have at least 2 points for a lookup");
                return TRUE;
            }
            EndDialog(dialog, 1);
            return TRUE;
        }
        case idl_cancel:
            if (ed->live)
                reset_to_model(dialog);
            else
                EndDialog(dialog, 0);
            return TRUE;
        case idl_print:
            print_lookup(dialog);
            return TRUE;
        case idl_copy:
        case idl_paste: {
            // The questions take the focus; it comes back where it was.
            HWND had = GetFocus();
            if (id == idl_copy)
                copy_lookup_graph(dialog);
            else
                paste_lookup(dialog);
            if (had && IsWindow(had)) SetFocus(had);
            return TRUE;
        }
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

LRESULT lookup_proc(HWND graph, UINT message, WPARAM wparam, LPARAM lparam) {
    const int cx = static_cast<short>(LOWORD(lparam)), cy = static_cast<short>(HIWORD(lparam));
    switch (message) {
    case WM_PAINT:
        paint_graph(graph);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
        SetFocus(graph); // for Ctrl+C and Ctrl+V
        if (ed) mouse_down(graph, cx, cy, wparam);
        return 0;
    case WM_KEYDOWN:
        // Copy and paste have no control of their own.
        if (GetKeyState(VK_CONTROL) < 0 && (wparam == 'C' || wparam == 'V'))
            SendMessage(GetParent(graph), WM_COMMAND, wparam == 'C' ? idl_copy : idl_paste, 0);
        return 0;
    case WM_MOUSEMOVE:
        if (ed) mouse_move(graph, cx, cy);
        return 0;
    case WM_LBUTTONUP:
        if (ed && GetCapture() == graph) mouse_up(graph, cx, cy);
        return 0;
    default:
        return DefWindowProc(graph, message, wparam, lparam);
    }
}

const lookup_points* open_lookup_points() {
    return ed ? &ed->points : nullptr;
}

lookup_plot lookup_graph_plot(HWND graph) {
    const RECT r = plot_rect_of(graph);
    return lookup_plot{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

int edit_lookup(const char* name) {
    if (game_state) return 0;
    if (ed) return 0; // one editor at a time
    // Callers need no graph window nor any set-up of their own: the graph
    // area's class forwards to the editor from the first call on.
    if (!lookup_editor_hooks.graph_proc) lookup_editor_hooks.graph_proc = lookup_proc;
    const int slot = lookup_slot_of(name);
    if (slot < 0) return 0;
    editor_state state;
    if (!working_lookup_points(slot, &state.points)) {
        report(8, "Lost Lookup %s", name);
        return 0;
    }
    state.name = name;
    state.slot = slot;
    const LONG units = GetDialogBaseUnits();
    state.margin_x = std::max(4, static_cast<int>(LOWORD(units)));
    state.margin_y = std::max(4, static_cast<int>(HIWORD(units)) / 2);
    ed = &state;
    const std::vector<float> first_x = state.points.x, first_y = state.points.y;
    int taken = 0;
    // OK on points left as they were takes nothing: the lookup would count as
    // a change, and leaving set-up would ask about changes no run has used.
    // In Livesweep the points were pushed as they changed, so OK still commits.
    if (run_dialog(dlg_lookup_editor, nullptr, lookup_ed_proc, 0) == 1 &&
        (state.live || state.points.x != first_x || state.points.y != first_y))
        taken = commit_lookup_points(slot, state.points);
    ed = nullptr;
    return taken;
}

void install_lookup_editor_hooks() {
    lookup_editor_hooks.edit = edit_lookup;
    lookup_editor_hooks.graph_proc = lookup_proc;
}

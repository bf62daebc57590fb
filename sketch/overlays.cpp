// Selecting sketch elements by kind or by the rubber band, the page lines,
// and the pictures of the sketch tool buttons.
#include "sketch/overlays.h"

#include <algorithm>
#include <cmath>

#include "sketch/viewprint.h"

namespace {

bool shown(const sketch_state& s, const sketch_elem& e) {
    return e.level_value() <= s.shown_level;
}

// A flow's pipe: a connector of path type 4 (or drawn with a pipe's width).
bool is_pipe(const sketch_elem& c) {
    return (c.path & 31) == path_orthogonal || c.width_code > 20;
}

bool has_pair_bit(const sketch_elem& e) {
    return e.kind >= ek_variable && (e.shape & shape_pair);
}

bool matches(const sketch_elem& e, int command) {
    const bool variable = e.kind == ek_variable;
    switch (command) {
    case sel_all:
        return e.kind != ek_deleted;
    case sel_main:
        return e.kind > ek_variable || (variable && e.primary()) || e.kind == ek_connector;
    case sel_aux:
        return variable && !(e.shape & shape_pair) && e.shape_code() != 3;
    case sel_arrows:
        return e.kind == ek_connector && !is_pipe(e);
    case sel_levels:
        return variable && e.shape_code() == 3;
    case sel_rates:
        return has_pair_bit(e) || e.kind == ek_valve || (e.kind == ek_connector && is_pipe(e));
    case sel_shadows:
        return variable && !e.primary();
    default:
        return false;
    }
}

} // namespace

int select_sketch_elements(sketch_state& s, bool fresh, int command) {
    auto& elems = s.view.elems;
    const int n = static_cast<int>(elems.size());
    int count = 0;
    if (command >= 0) {
        for (int i = 1; i < n; ++i) {
            sketch_elem& e = elems[static_cast<std::size_t>(i)];
            e.runtime &= static_cast<std::uint8_t>(~ef_selected);
            if (shown(s, e) && matches(e, command)) {
                e.runtime |= ef_selected;
                ++count;
            }
        }
        s.selection = count ? 3 : 0;
        return count;
    }
    if (fresh) {
        for (sketch_elem& e : elems) e.runtime &= static_cast<std::uint8_t>(~ef_selected);
        s.selection = 0;
    }
    const int lo_x = std::min(s.band_x0, s.band_x1), hi_x = std::max(s.band_x0, s.band_x1);
    const int lo_y = std::min(s.band_y0, s.band_y1), hi_y = std::max(s.band_y0, s.band_y1);
    auto select = [&](int i) {
        sketch_elem& e = elems[static_cast<std::size_t>(i)];
        if (!(e.runtime & ef_selected)) ++count;
        e.runtime |= ef_selected;
    };
    for (int i = 1; i < n; ++i) {
        const sketch_elem& e = elems[static_cast<std::size_t>(i)];
        if (!shown(s, e)) continue;
        if (e.kind == ek_connector) {
            if (!e.tail) continue;
            for (const sketch_point& p : e.points)
                if (p.x - 3 < hi_x && lo_x < p.x + 3 && p.y - 3 < hi_y && lo_y < p.y + 3) {
                    select(i);
                    break;
                }
            continue;
        }
        if (e.kind < ek_variable) continue;
        if (!(e.x - e.w < hi_x && e.x + e.w > lo_x && e.y - e.h < hi_y && e.y + e.h > lo_y))
            continue;
        select(i);
        // A valve and its flow variable are one thing to the user: the valve
        // comes just before its variable.
        if (has_pair_bit(e)) {
            const int partner = e.kind == ek_valve ? i + 1 : i - 1;
            if (partner >= 1 && partner < n &&
                has_pair_bit(elems[static_cast<std::size_t>(partner)]))
                select(partner);
        }
    }
    bool any = false;
    for (const sketch_elem& e : elems) any = any || (e.runtime & ef_selected);
    if (any) s.selection = 1;
    return count;
}

void draw_page_lines(HDC dc, const sketch_state& s, const RECT& client, SIZE page) {
    if (!dc) return;
    HPEN pen = CreatePen(PS_DOT, 0, RGB(0, 0, 0));
    const int saved = SaveDC(dc);
    SelectObject(dc, pen);
    SetBkMode(dc, TRANSPARENT);
    for (int x : page_line_positions(s.scroll_x, s.scroll_x + client.right, page.cx)) {
        MoveToEx(dc, x - s.scroll_x, client.top, nullptr);
        LineTo(dc, x - s.scroll_x, client.bottom);
    }
    for (int y : page_line_positions(s.scroll_y, s.scroll_y + client.bottom, page.cy)) {
        MoveToEx(dc, client.left, y - s.scroll_y, nullptr);
        LineTo(dc, client.right, y - s.scroll_y);
    }
    RestoreDC(dc, saved);
    DeleteObject(pen);
}

namespace {

// Valve shapes in the square of half size r round (cx, cy).
void valve_icon(HDC dc, int shape, int cx, int cy, int r) {
    switch (shape) {
    case 1: { // bow tie with vertical edges
        const POINT p[4] = {{cx - r, cy - r}, {cx + r, cy + r}, {cx + r, cy - r}, {cx - r, cy + r}};
        Polygon(dc, p, 4);
        break;
    }
    case 2: { // hourglass
        const POINT p[4] = {{cx - r, cy - r}, {cx + r, cy - r}, {cx - r, cy + r}, {cx + r, cy + r}};
        Polygon(dc, p, 4);
        break;
    }
    case 3: // H
        MoveToEx(dc, cx - r, cy - r, nullptr);
        LineTo(dc, cx - r, cy + r + 1);
        MoveToEx(dc, cx + r, cy - r, nullptr);
        LineTo(dc, cx + r, cy + r + 1);
        MoveToEx(dc, cx - r, cy, nullptr);
        LineTo(dc, cx + r, cy);
        break;
    case 4: // I
        MoveToEx(dc, cx - r, cy - r, nullptr);
        LineTo(dc, cx + r + 1, cy - r);
        MoveToEx(dc, cx - r, cy + r, nullptr);
        LineTo(dc, cx + r + 1, cy + r);
        MoveToEx(dc, cx, cy - r, nullptr);
        LineTo(dc, cx, cy + r);
        break;
    default: { // circle with a cross
        Ellipse(dc, cx - r, cy - r, cx + r + 1, cy + r + 1);
        const int k = r * 7 / 10;
        MoveToEx(dc, cx - k, cy - k, nullptr);
        LineTo(dc, cx + k + 1, cy + k + 1);
        MoveToEx(dc, cx + k, cy - k, nullptr);
        LineTo(dc, cx - k - 1, cy + k + 1);
        break;
    }
    }
}

void black_bar(HDC dc, int left, int top, int right, int bottom) {
    RECT b{left, top, right, bottom};
    FillRect(dc, &b, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

void tool_w(HDC dc, int cx, int cy) {
    SIZE size{};
    GetTextExtentPoint32(dc, "w", 1, &size);
    const int old = SetBkMode(dc, TRANSPARENT);
    TextOut(dc, cx - size.cx / 2, cy - size.cy / 2, "w", 1);
    SetBkMode(dc, old);
}

// Three quarters of a circle with a small arrowhead at its end (clockwise
// for shape 4, the other way for 5).
void loop_icon(HDC dc, bool clockwise, int cx, int cy, int r) {
    const int k = r - 1;
    if (clockwise) {
        Arc(dc, cx - k, cy - k, cx + k + 1, cy + k + 1, cx, cy - k, cx - k, cy);
        const POINT p[3] = {{cx - k - 3, cy}, {cx - k + 3, cy}, {cx - k, cy + 3}};
        Polygon(dc, p, 3);
    } else {
        Arc(dc, cx - k, cy - k, cx + k + 1, cy + k + 1, cx + k, cy, cx, cy - k);
        const POINT p[3] = {{cx + k - 3, cy}, {cx + k + 3, cy}, {cx + k, cy + 3}};
        Polygon(dc, p, 3);
    }
}

} // namespace

bool draw_sketch_tool_icon(int command, HDC dc, const RECT& rc) {
    if (!dc || command < 1341 || command > 1375 || command == 1354) return false;
    const int cx = (rc.left + rc.right) / 2, cy = (rc.top + rc.bottom) / 2;
    const int r = std::max(1, static_cast<int>(rc.bottom - rc.top - 4) / 2);
    const int saved = SaveDC(dc);
    HPEN pen = nullptr;
    if (command >= 1341 && command <= 1343) {
        pen = CreatePen(command == 1341   ? PS_DASH
                        : command == 1342 ? PS_DOT
                                          : PS_SOLID,
                        1, RGB(0, 0, 0));
    } else if (command >= 1349 && command <= 1353) {
        pen = CreatePen(PS_SOLID, command - 1347, RGB(0, 0, 0));
    } else {
        pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    }
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    if (command <= 1343 || (command >= 1349 && command <= 1353)) {
        MoveToEx(dc, rc.left, cy, nullptr);
        LineTo(dc, rc.right, cy);
    } else if (command <= 1348) {
        const int n = command - 1343; // the pipe widths 1 to 5
        MoveToEx(dc, rc.left, cy - n, nullptr);
        LineTo(dc, rc.right, cy - n);
        MoveToEx(dc, rc.left, cy + n, nullptr);
        LineTo(dc, rc.right, cy + n);
    } else {
        switch (command) {
        case 1355:
            valve_icon(dc, 1, cx, cy, r);
            break;
        case 1356:
            valve_icon(dc, 3, cx, cy, r);
            break;
        case 1357:
            valve_icon(dc, 2, cx, cy, r);
            break;
        case 1358:
            valve_icon(dc, 4, cx, cy, r);
            break;
        case 1359:
            valve_icon(dc, 5, cx, cy, r);
            break;
        case 1360:
        case 1361:
        case 1364:
        case 1371:
        case 1373: {
            const int k = r - 1;
            Ellipse(dc, cx - k, cy - k, cx + k + 1, cy + k + 1);
            if (command == 1360) black_bar(dc, cx - k, cy - k - 3, cx + k + 1, cy - k - 1);
            if (command == 1361) black_bar(dc, cx - k, cy + k + 2, cx + k + 1, cy + k + 4);
            if (command == 1364) black_bar(dc, cx - 1, cy - 1, cx + 1, cy + 1);
            if (command == 1371) black_bar(dc, cx - k - 4, cy - k, cx - k - 2, cy + k + 1);
            if (command == 1373) black_bar(dc, cx + k + 3, cy - k, cx + k + 5, cy + k + 1);
            break;
        }
        case 1362:
            Rectangle(dc, cx - r, cy - r, cx + r + 1, cy + r + 1);
            break;
        case 1363:
            Rectangle(dc, cx - r, cy - r, cx + r + 1, cy + r + 1);
            Ellipse(dc, cx - r + 1, cy - r + 1, cx + r, cy + r);
            break;
        case 1365:
            Ellipse(dc, cx - r - r / 2, cy - r, cx + r + r / 2 + 1, cy + r + 1);
            break;
        case 1366:
            Ellipse(dc, cx - r, cy - r / 2, cx + r + 1, cy + r / 2 + 1);
            tool_w(dc, cx, cy);
            break;
        case 1367:
        case 1368:
            loop_icon(dc, command == 1367, cx, cy, r);
            break;
        case 1369: {
            const POINT p[4] = {{cx, cy - r}, {cx + r, cy}, {cx, cy + r}, {cx - r, cy}};
            Polygon(dc, p, 4);
            break;
        }
        case 1370: {
            const int h = r / 2;
            const POINT p[6] = {{cx - r, cy}, {cx - h, cy - r}, {cx + h, cy - r},
                                {cx + r, cy}, {cx + h, cy + r}, {cx - h, cy + r}};
            Polygon(dc, p, 6);
            break;
        }
        case 1372:
            tool_w(dc, cx, cy);
            break;
        case 1374:
        case 1375: {
            const int apex = command == 1374 ? cy - r : cy + r;
            const int base = command == 1374 ? cy + r : cy - r;
            const POINT p[3] = {{cx, apex}, {cx + r, base}, {cx - r, base}};
            Polygon(dc, p, 3);
            break;
        }
        default:
            break;
        }
    }
    RestoreDC(dc, saved);
    DeleteObject(pen);
    return true;
}

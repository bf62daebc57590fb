// The dial gauge control: draws its row of the game's gauge table as a needle
// on a full or half dial.
#include "shell/controls/gauge.h"

#include "foundation/memory.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "sim/game.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double pi = std::numbers::pi;

// The row of the game's table with this control id; false when none.
bool find_row(int id, gauge_row& out) {
    if (!game_gauges || game_gauge_count <= 0) return false;
    const auto* rows = static_cast<const gauge_row*>(lock_handle(game_gauges));
    if (!rows) return false;
    const int n = std::min<int>(game_gauge_count,
                                static_cast<int>(handle_size(game_gauges) / sizeof(gauge_row)));
    bool found = false;
    for (int i = 0; i < n && !found; ++i)
        if (rows[i].id == id) {
            out = rows[i];
            found = true;
        }
    unlock_handle(game_gauges);
    return found;
}

int needle_length(int w, int h) {
    return w >= 2 * h - 4 ? h - 4 : w / 2;
}

void draw(HWND window, HDC dc, const gauge_row& row, int mode) {
    RECT c{};
    GetClientRect(window, &c);
    const int w = c.right, h = c.bottom;
    gauge_needle n;
    if (!gauge_needle_for(row, w, h, n)) return;
    HBRUSH face = GetSysColorBrush(COLOR_WINDOW);
    if (mode == 0) FillRect(dc, &c, face); // the old needle goes with the old dial
    HPEN frame = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
    HGDIOBJ old_pen = SelectObject(dc, frame);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    if (row.id > 0) {
        Ellipse(dc, 0, 0, w, h);
    } else {
        const int cx = w / 2, cy = h - 3, r = needle_length(w, h);
        Pie(dc, cx - r, cy - r, cx + r, cy + r, cx + r, cy, cx - r, cy);
    }
    MoveToEx(dc, static_cast<int>(std::lround(n.x0)), static_cast<int>(std::lround(n.y0)), nullptr);
    LineTo(dc, static_cast<int>(std::lround(n.x1)), static_cast<int>(std::lround(n.y1)));
    if (mode == 2 && row.id > 0) {
        const int cx = w / 2, cy = h / 2;
        Ellipse(dc, cx - 3, cy - 3, cx + 4, cy + 4);
    }
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(frame);
}

} // namespace

bool gauge_needle_for(const gauge_row& row, int w, int h, gauge_needle& out) {
    if (w <= 0 || h <= 0) return false;
    // The angle whose tangent is the width over the height.
    const double a0 = std::atan(static_cast<double>(w) / static_cast<double>(h));
    const double v = row.value, lo = row.minimum, hi = row.maximum;
    if (row.id > 0) {
        double a;
        if (!(v > lo))
            a = a0;
        else if (!(v < hi))
            a = 2 * pi - a0;
        else
            a = a0 + 2 * (v - lo) * (pi - a0) / (hi - lo);
        out = {a, w / 2.0, h / 2.0, (1 - std::sin(a)) * w / 2.0, (std::cos(a) + 1) * h / 2.0};
        return true;
    }
    double a;
    if (v < lo)
        a = -a0;
    else if (!(v < hi))
        a = a0;
    else
        a = 2 * (v - lo) * a0 / (hi - lo) - a0;
    const double len = needle_length(w, h);
    const double x0 = w / 2.0, y0 = h - 3.0;
    out = {a, x0, y0, x0 + len * std::sin(a), y0 - len * std::cos(a)};
    return true;
}

LRESULT guage_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        gauge_row row;
        if (dc && find_row(GetDlgCtrlID(window), row)) draw(window, dc, row, 1);
        EndPaint(window, &ps);
        return 0;
    }
    case gauge_draw_message: {
        const auto* row = reinterpret_cast<const gauge_row*>(lparam);
        if (!row) return 0;
        HDC dc = GetDC(window);
        if (!dc) return 0;
        draw(window, dc, *row, static_cast<int>(wparam));
        ReleaseDC(window, dc);
        return 0;
    }
    default:
        return DefWindowProc(window, message, wparam, lparam);
    }
}

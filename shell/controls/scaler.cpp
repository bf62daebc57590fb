// The time scaler.
#include "shell/controls/scaler.h"

#include "model/context.h"
#include "platform/gdi.h"

#include <cmath>

scaler_geometry scaler;

namespace {

// The marker being dragged (sm_none when none).
int dragging = sm_none;

// R / 2 in whole pixels, R the bar's room.
long long half_room(const scaler_geometry& g) {
    return (g.width - 2 * g.margin) / 2;
}

void paint(HWND window, HDC dc) {
    RECT c{};
    GetClientRect(window, &c);
    FillRect(dc, &c, GetSysColorBrush(COLOR_BTNFACE));
    if (!scaler_has_room(scaler)) return;
    int bottom = scaler.top + scaler.height;
    // The full range as a sunken line under the bar.
    HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ old_pen = SelectObject(dc, shadow);
    MoveToEx(dc, scaler.margin, bottom, nullptr);
    LineTo(dc, scaler.width - scaler.margin + 1, bottom);
    SelectObject(dc, old_pen);
    DeleteObject(shadow);
    RECT bar{scaler.start_x, scaler.top, scaler.end_x + 1, bottom};
    if (bar.right > bar.left) FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
    FrameRect(dc, &bar, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    // The special marker: a cross at mid-height and a small square below the
    // bar, inverted so that a second drawing would erase it.
    int old_rop = SetROP2(dc, R2_NOT);
    HGDIOBJ pen = SelectObject(dc, GetStockObject(BLACK_PEN));
    int x = scaler.special_x;
    int mid = scaler.top + scaler.height / 2;
    MoveToEx(dc, x - 3, mid - 3, nullptr);
    LineTo(dc, x + 3, mid + 3);
    MoveToEx(dc, x + 3, mid - 3, nullptr);
    LineTo(dc, x - 3, mid + 3);
    SelectObject(dc, pen);
    SetROP2(dc, old_rop);
    RECT square{x - 3, bottom + 1, x + 3, bottom + 7};
    InvertRect(dc, &square);
}

// The marker a press at (x, y) grabs.
int hit(int x, int y) {
    int bottom = scaler.top + scaler.height;
    if (std::abs(x - scaler.start_x) <= 2 && y <= bottom) return sm_start;
    if (std::abs(x - scaler.end_x) <= 2 && y <= bottom) return sm_end;
    if (std::abs(x - scaler.special_x) <= 3 && y > bottom) return sm_special;
    return sm_none;
}

void drag_to(HWND window, int x) {
    if (!model_rec || !scaler_has_room(scaler)) return;
    model_context& c = *model_rec;
    int lo = scaler.margin, hi = scaler.width - scaler.margin;
    if (dragging == sm_start && hi > scaler.end_x) hi = scaler.end_x;
    if (dragging == sm_end && lo < scaler.start_x) lo = scaler.start_x;
    x = x < lo ? lo : (x > hi ? hi : x);
    int* marker = dragging == sm_start ? &scaler.start_x
                  : dragging == sm_end ? &scaler.end_x
                                       : &scaler.special_x;
    if (*marker == x) return;
    int old = *marker;
    *marker = x;
    double s = c.full_start, e = c.full_end, step = scaler_step(c.arrow_step);
    double t = scaler_snap(scaler, dragging, x, s, e, step);
    if (dragging == sm_start) c.start = t;
    if (dragging == sm_end) c.end = t <= c.start ? c.start + step : t;
    if (dragging == sm_special) c.special = t;
    // Repaint between the old and the new place.
    RECT r{(old < x ? old : x) - 4, 0, (old < x ? x : old) + 5, 0};
    RECT client{};
    GetClientRect(window, &client);
    r.bottom = client.bottom;
    InvalidateRect(window, &r, TRUE);
    HWND parent = GetParent(window);
    if (parent)
        SendMessage(parent, WM_COMMAND,
                    MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(window)), scn_moved + dragging),
                    reinterpret_cast<LPARAM>(window));
}

} // namespace

bool scaler_has_room(const scaler_geometry& g) {
    return g.width - 2 * g.margin > 0;
}

double scaler_ppu(const scaler_geometry& g, double s, double e) {
    if (e > s && g.width != 0 && scaler_has_room(g)) return (g.width - 2 * g.margin) / (e - s);
    return 1.0;
}

double scaler_step(float step) {
    return step > 0 ? step : 1.0;
}

double scaler_snap(const scaler_geometry& g, int marker, int x, double s, double e, double step) {
    double room = g.width - 2 * g.margin;
    double half = static_cast<double>(half_room(g));
    double k = g.steps;
    if (marker == sm_start) return s + step * std::trunc(((x - g.margin) * k + half) / room);
    return e - step * std::trunc(((g.width - x - g.margin) * k + half) / room);
}

void scaler_set_size(int w, int h) {
    scaler.top = 1;
    scaler.height = h / 2;
    scaler.margin = 10;
    scaler.width = w - 5;
}

LRESULT scale_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
    case WM_SIZE:
    case WM_SETFONT: {
        RECT c{};
        GetClientRect(window, &c);
        scaler_set_size(c.right, c.bottom);
        break;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        paint(window, dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN: {
        int x = static_cast<short>(LOWORD(lparam)), y = static_cast<short>(HIWORD(lparam));
        dragging = model_rec && scaler_has_room(scaler) ? hit(x, y) : sm_none;
        if (dragging == sm_none) return 0;
        SetCapture(window);
        double s = model_rec->full_start, e = model_rec->full_end;
        scaler.steps = (e - s) / scaler_step(model_rec->arrow_step);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (dragging != sm_none && (wparam & MK_LBUTTON))
            drag_to(window, static_cast<short>(LOWORD(lparam)));
        return 0;
    case WM_CAPTURECHANGED:
        // Taking the capture again is no loss of it.
        if (reinterpret_cast<HWND>(lparam) == window) return 0;
        [[fallthrough]];
    case WM_LBUTTONUP:
    case WM_CANCELMODE:
        if (dragging != sm_none) {
            dragging = sm_none;
            if (GetCapture() == window) ReleaseCapture();
        }
        return 0;
    case WM_DESTROY:
        dragging = sm_none;
        break;
    default:
        break;
    }
    return DefWindowProc(window, message, wparam, lparam);
}

bool scaler_dragging() {
    return dragging != sm_none;
}

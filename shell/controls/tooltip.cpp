// The tooltip window and its state machine (see tooltip.h).
#include "shell/controls/tooltip.h"

#include "platform/gdi.h"
#include "shell/pump.h"
#include "shell/state.h"

#include <algorithm>
#include <cmath>
#include <string>

int tooltip_seconds = 5;

namespace {

enum : int { st_idle = 0, st_waiting = 1, st_suppressed = 2, st_tracking = 3, st_given = 4 };
enum : UINT_PTR { timer_show = 1, timer_hide = 2 };

struct tip_tracking {
    int state = st_idle;
    HWND control = nullptr;
    int item = 0;
    int extra = 0;
};
tip_tracking tip;
// The item a self-drawn tip shows (-1: a text tip), and who draws it.
int graph_item = -1;
tip_graph_painter graph_painter = nullptr;

HFONT tip_font() {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool focus_is_ours() {
    HWND f = GetFocus();
    HWND a = GetActiveWindow();
    HWND w = f ? f : a;
    return w && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId();
}

void ensure_window() {
    if (tooltip_wnd && IsWindow(tooltip_wnd)) return;
    tooltip_wnd = CreateWindow("Kavrel_tooltip", "", WS_POPUP | WS_BORDER, 0, 0, 10, 10, main_wnd,
                               nullptr, hinst, nullptr);
}

int screen_w() {
    return screen_right > 0 ? screen_right : GetSystemMetrics(SM_CXSCREEN);
}
int screen_h() {
    return screen_bottom > 0 ? screen_bottom : GetSystemMetrics(SM_CYSCREEN);
}

} // namespace

void set_tip_graph_painter(tip_graph_painter fn) {
    graph_painter = fn;
}

int tooltip_graph_item() {
    return graph_item;
}

int tooltip_state() {
    return tip.state;
}

HWND tooltip_control() {
    return tip.control;
}

SIZE tooltip_size(HDC dc, const char* text, bool wrap) {
    HGDIOBJ old = SelectObject(dc, tip_font());
    SIZE s{};
    GetTextExtentPoint32(dc, text, static_cast<int>(std::char_traits<char>::length(text)), &s);
    SelectObject(dc, old);
    int line = s.cy > 0 ? s.cy : 1;
    SIZE out{s.cx + 4, line + 2};
    if (wrap && s.cx > 10 * line) {
        // A wider text gets more lines: 1 + the integer square root of a
        // tenth of its width in line heights.
        int n = 1 + static_cast<int>(std::sqrt(static_cast<double>((s.cx / line) / 10)));
        double factor = (n > 2 || s.cx > 200) ? 1.25 : 1.4;
        out.cy = n * line + 2;
        out.cx = static_cast<int>(s.cx / n * factor) + 4;
    }
    return out;
}

void hide_tooltip(int forget) {
    switch (tip.state) {
    case st_given:
        if (tooltip_wnd) ShowWindow(tooltip_wnd, SW_HIDE);
        break;
    case st_tracking:
        if (tip.control && GetCapture() == tip.control) ReleaseCapture();
        if (tooltip_wnd) {
            KillTimer(tooltip_wnd, timer_hide);
            ShowWindow(tooltip_wnd, SW_HIDE);
        }
        break;
    case st_waiting:
        if (tooltip_wnd) KillTimer(tooltip_wnd, timer_show);
        break;
    default:
        break;
    }
    if (forget) {
        tip.control = nullptr;
        tip.item = tip.extra = 0;
    }
    tip.state = st_idle;
}

void track_tooltip(HWND control, int item, int extra) {
    // The state before the old tip goes decides how the new item's tip comes:
    // once a tip has been up, the next item's shows at once.
    const int state = tip.state;
    const bool changed = control != tip.control || item != tip.item || extra != tip.extra;
    if (changed) hide_tooltip(0);
    tip.control = control;
    tip.item = item;
    tip.extra = extra;
    switch (state) {
    case st_idle:
    case st_waiting:
        if (tooltip_wnd) KillTimer(tooltip_wnd, timer_show);
        if (item != 0 && modal_count == 0 && focus_is_ours()) {
            ensure_window();
            SetTimer(tooltip_wnd, timer_show, tip_wait_ms, nullptr);
            tip.state = st_waiting;
        } else {
            tip.state = st_idle;
        }
        break;
    default: {
        // Suppressed or shown: the same item keeps what it has; a given-text
        // tip gives way to the control's own unless it is the run-name
        // field's (which gives its tips that way).
        bool show = changed || (state == st_given && GetDlgCtrlID(control) != run_name_field_id);
        if (!show) break;
        if (modal_count == 0 && focus_is_ours())
            show_tooltip(tooltip_wnd, control, item, nullptr);
        else
            tip.state = st_idle;
        break;
    }
    }
}

void show_tooltip(HWND window, HWND control, int item, const char* text) {
    if (!control || !IsWindow(control)) return;
    ensure_window();
    if (!window) window = tooltip_wnd;
    if (!window) return;
    POINT pointer{};
    GetCursorPos(&pointer);
    tip_request req{};
    if (!text) {
        RECT cr{};
        GetClientRect(control, &cr);
        POINT local = pointer;
        ScreenToClient(control, &local);
        if (item == 0 || !PtInRect(&cr, local)) {
            int was = tip.state;
            hide_tooltip(0);
            tip.state = was == st_waiting ? st_idle : st_suppressed;
            return;
        }
        if (!SendMessage(control, wm_tip_request, static_cast<WPARAM>(item),
                         reinterpret_cast<LPARAM>(&req)) ||
            !req.text || !*req.text) {
            hide_tooltip(0);
            tip.state = st_suppressed;
            return;
        }
        text = req.text;
    } else {
        req.x = pointer.x;
        req.y = pointer.y;
        POINT p{0, 0};
        ClientToScreen(control, &p);
        req.x -= p.x;
        req.y -= p.y;
    }
    if (tip.state == st_waiting) KillTimer(window, timer_show);
    HDC dc = GetDC(window);
    SIZE size = tooltip_size(dc, text, req.wrap);
    // A behaviour graph: 2.5 by 1.5 inches of the screen.
    graph_item = req.graph && graph_painter && req.graph_index >= 0 ? req.graph_index : -1;
    if (graph_item >= 0)
        size = SIZE{GetDeviceCaps(dc, LOGPIXELSX) * 250 / 100,
                    GetDeviceCaps(dc, LOGPIXELSY) * 150 / 100};
    ReleaseDC(window, dc);
    POINT at{req.x, req.y};
    ClientToScreen(control, &at);
    if (req.right_of_pointer) {
        at.x = std::max<LONG>(at.x, pointer.x + 16);
    } else {
        if (at.x + size.cx < pointer.x) at.x = pointer.x - size.cx;
        if (req.above)
            at.y -= size.cy;
        else
            at.y = std::max<LONG>(at.y, pointer.y + 22);
    }
    at.x = std::clamp<LONG>(at.x, 0, std::max(0, screen_w() - size.cx));
    at.y = std::clamp<LONG>(at.y, 0, std::max(0, screen_h() - size.cy));
    SetWindowWord(window, 0, static_cast<WORD>(graph_item >= 0 ? 1 : 0));
    SetWindowPos(window, HWND_TOPMOST, at.x, at.y, size.cx, size.cy, SWP_NOACTIVATE);
    SetWindowText(window, text);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    tip.control = control;
    tip.item = item;
    if (tooltip_seconds > 0)
        SetTimer(window, timer_hide, static_cast<UINT>(tooltip_seconds) * 1000u, nullptr);
    if (req.text == nullptr) {
        tip.state = st_given;
        return;
    }
    SetCapture(control);
    tip.state = st_tracking;
}

LRESULT vtooltip_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT rc{};
        GetClientRect(w, &rc);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_INFOBK));
        if (GetWindowWord(w, 0) && graph_item >= 0 && graph_painter) {
            graph_painter(dc, rc, graph_item);
            EndPaint(w, &ps);
            return 0;
        }
        char text[512];
        int n = GetWindowText(w, text, sizeof text);
        HGDIOBJ old = SelectObject(dc, tip_font());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
        RECT tr{2, 1, rc.right - 2, rc.bottom - 1};
        // One line unless the tip was sized for more: a one-line tip is never
        // broken, whatever the last pixel of its measure.
        TEXTMETRIC tm{};
        GetTextMetrics(dc, &tm);
        bool lines = rc.bottom > 2 * tm.tmHeight;
        DrawText(dc, text, n, &tr, DT_LEFT | (lines ? DT_WORDBREAK : DT_SINGLELINE | DT_NOCLIP));
        SelectObject(dc, old);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_TIMER:
        if (wp == timer_show) {
            KillTimer(w, timer_show);
            if (tip.state == st_waiting) show_tooltip(w, tip.control, tip.item, nullptr);
        } else if (wp == timer_hide) {
            KillTimer(w, timer_hide);
            // Gone for good until the pointer moves to another item.
            hide_tooltip(0);
            tip.state = st_suppressed;
        }
        return 0;
    case WM_SETFOCUS: {
        HWND from = reinterpret_cast<HWND>(wp);
        if (from && IsWindow(from)) SetFocus(from);
        return 0;
    }
    case WM_DESTROY:
        if (tooltip_wnd == w) {
            KillTimer(w, timer_show);
            KillTimer(w, timer_hide);
            tip = tip_tracking{};
            tooltip_wnd = nullptr;
        }
        return 0;
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

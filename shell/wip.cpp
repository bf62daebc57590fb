// The work-in-progress window (see wip.h) and the About box.
#include "shell/wip.h"
#include "shell/toolset_hooks.h"

#include "foundation/app_strings.h"
#include "foundation/report.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/gdi.h"
#include "resources/dialogs.h"
#include "resources/simdlg.h"
#include "shell/dialogs.h"
#include "shell/pump.h"
#include "shell/state.h"
#include "shell/winlist.h"
#include "sim/simdata.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

HWND wip_wnd = nullptr;
int wip_mode = 0;

namespace {

constexpr const char* wip_class = "Kavrel_wip";
constexpr int stop_id = 2;
constexpr std::size_t kept_chars = 59;
constexpr int splash_w = 512, splash_h = 256;
// The panel's width in average characters: the lines start a fifth of the
// way in, so this leaves room for about 33 characters of text.
constexpr int panel_chars = 42;

std::string lines[2];
bool cursor_kept = false;
HCURSOR saved_cursor = nullptr;
bool captured = false;
HWND focus_before = nullptr; // where the focus was when the panel took it
POINT press_point{0, 0};
std::vector<handle> wip_graphs;
wip_graph_update_fn graph_updater = nullptr;
wip_run_start_fn run_start_hook = nullptr;
// Set once the start-of-run call was made for the run under way; cleared when
// the panel closes after it.
bool run_start_done = false;
// A Livesweep re-run lasts milliseconds and saves at each of hundreds of
// steps: its messages are pumped once this long has passed since the last
// pump (a drag or a Stop still comes through within it), not at every save
// (a pump looks at every window's queue, about as long as a step of a
// world-size model takes to compute).
constexpr auto livesweep_pump_every = std::chrono::milliseconds(8);
std::chrono::steady_clock::time_point last_livesweep_pump{};

bool ensure_class() {
    WNDCLASS wc{};
    if (GetClassInfo(hinst, wip_class, &wc)) return true;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = wip_proc;
    wc.hInstance = hinst;
    wc.hCursor = LoadCursor(nullptr, MAKEINTRESOURCE(IDC_ARROW_ID));
    wc.lpszClassName = wip_class;
    return RegisterClass(&wc) != 0;
}

void set_hourglass() {
    HCURSOR wait = wait_cursor ? wait_cursor : LoadCursor(nullptr, MAKEINTRESOURCE(IDC_WAIT_ID));
    HCURSOR previous = SetCursor(wait);
    if (!cursor_kept) {
        saved_cursor = previous;
        cursor_kept = true;
    }
    keep_hourglass = true;
}

wip_game_window_fn game_window_hook = nullptr;

// The game window while a game is in progress with it open, else null.
HWND game_in_window() {
    HWND w = game_state && game_window_open && game_window_hook ? game_window_hook() : nullptr;
    return w && IsWindow(w) ? w : nullptr;
}

void restore_cursor() {
    if (cursor_kept) SetCursor(saved_cursor ? saved_cursor : arrow_cursor);
    cursor_kept = false;
    saved_cursor = nullptr;
    keep_hourglass = false;
}

HFONT panel_font() {
    HFONT f = nullptr;
    if (main_wnd && IsWindow(main_wnd))
        f = reinterpret_cast<HFONT>(SendMessage(main_wnd, WM_GETFONT, 0, 0));
    return f ? f : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

SIZE char_size() {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, panel_font());
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return SIZE{std::max<LONG>(tm.tmAveCharWidth, 4), std::max<LONG>(tm.tmHeight, 8)};
}

// A small hourglass drawn in place of a bitmap, its top left at (x, y).
void draw_glass(HDC dc, int x, int y, int size) {
    HBRUSH sand = CreateSolidBrush(RGB(200, 160, 60));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(60, 60, 60));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, sand);
    int m = size / 2;
    POINT top[3] = {{x, y}, {x + size, y}, {x + m, y + m}};
    POINT bottom[3] = {{x + m, y + m}, {x + size, y + size}, {x, y + size}};
    Polygon(dc, top, 3);
    Polygon(dc, bottom, 3);
    MoveToEx(dc, x - 2, y, nullptr);
    LineTo(dc, x + size + 3, y);
    MoveToEx(dc, x - 2, y + size, nullptr);
    LineTo(dc, x + size + 3, y + size);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(pen);
    DeleteObject(sand);
}

void paint_splash(HDC dc) {
    RECT r{0, 0, splash_w, splash_h};
    HBRUSH back = CreateSolidBrush(RGB(34, 68, 102));
    FillRect(dc, &r, back);
    DeleteObject(back);
    HFONT big = CreateFont(-36, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Sans Serif");
    HFONT small =
        CreateFont(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Sans Serif");
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(dc, big);
    TextOut(dc, 40, 20, "Kavrel", 6);
    SelectObject(dc, small);
    std::string v = std::string(product_title()) + " for Linux Version " + version_text();
    TextOut(dc, 150, 70, v.c_str(), static_cast<int>(v.size()));
    const char* sub = "System-dynamics models: simulate and study their runs";
    TextOut(dc, 40, splash_h - 40, sub, static_cast<int>(std::char_traits<char>::length(sub)));
    SelectObject(dc, old);
    DeleteObject(big);
    DeleteObject(small);
    draw_glass(dc, 60, 120, 40);
}

void draw_line(HDC dc, int n, const char* text, std::size_t length, bool clear_band) {
    RECT cr{};
    GetClientRect(wip_wnd, &cr);
    int w = cr.right, h = cr.bottom;
    int y = n == 0 ? h / 4 : 3 * h / 8;
    if (clear_band) {
        RECT band{w / 5, y, w, y + h / 8};
        FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    HGDIOBJ old = SelectObject(dc, panel_font());
    TextOut(dc, w / 5, y, text, static_cast<int>(length));
    SelectObject(dc, old);
}

void paint_panel(HDC dc) {
    RECT cr{};
    GetClientRect(wip_wnd, &cr);
    FillRect(dc, &cr, GetSysColorBrush(COLOR_BTNFACE));
    int size = std::max<int>(cr.bottom / 5, 8);
    draw_glass(dc, std::max<int>((cr.right / 5 - size) / 2, 4), cr.bottom / 4, size);
    for (int n = 0; n < 2; ++n)
        if (!lines[n].empty()) draw_line(dc, n, lines[n].c_str(), lines[n].size(), false);
}

HWND make_splash() {
    if (!ensure_class()) return nullptr;
    int x = (GetSystemMetrics(SM_CXSCREEN) - splash_w) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - splash_h) / 2;
    HWND w = CreateWindowEx(0, wip_class, "Kavrel", WS_POPUP, std::max(x, 0), std::max(y, 0),
                            splash_w, splash_h, main_wnd, nullptr, hinst, nullptr);
    return w;
}

HWND make_panel() {
    if (!ensure_class()) return nullptr;
    SIZE c = char_size();
    RECT rc{0, 0, panel_chars * c.cx, 8 * c.cy};
    bool child = main_wnd && IsWindow(main_wnd);
    DWORD style = (child ? WS_CHILD : WS_POPUP) | WS_DLGFRAME | WS_CLIPCHILDREN;
    AdjustWindowRect(&rc, style, FALSE);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (child) GetClientRect(main_wnd, &area);
    int x = area.left + (area.right - area.left - w) / 2;
    int y = area.top + (area.bottom - area.top - h) / 2;
    HWND panel = CreateWindowEx(0, wip_class, "", style, std::max(x, 0), std::max(y, 0), w, h,
                                child ? main_wnd : nullptr, nullptr, hinst, nullptr);
    if (!panel) return nullptr;
    controls_register();
    // The Stop button: half as large again as the word, centred near the bottom.
    HDC dc = GetDC(panel);
    HGDIOBJ old = SelectObject(dc, panel_font());
    SIZE stop{};
    GetTextExtentPoint32(dc, "Stop", 4, &stop);
    SelectObject(dc, old);
    ReleaseDC(panel, dc);
    int bw = stop.cx * 3 / 2 + 12, bh = stop.cy * 3 / 2 + 4;
    RECT cr{};
    GetClientRect(panel, &cr);
    HWND button = CreateWindowEx(0, WC_BUTTON, "Stop", WS_CHILD | BS_PUSHBUTTON,
                                 (cr.right - bw) / 2, cr.bottom - bh - c.cy / 2, bw, bh, panel,
                                 reinterpret_cast<HMENU>(static_cast<std::intptr_t>(stop_id)),
                                 hinst, nullptr);
    if (button) SendMessage(button, WM_SETFONT, reinterpret_cast<WPARAM>(panel_font()), FALSE);
    return panel;
}

void show_stop(bool on) {
    HWND b = GetDlgItem(wip_wnd, stop_id);
    if (b) ShowWindow(b, on ? SW_SHOWNA : SW_HIDE);
}

int vmessage(int mode, const char* format, va_list args, bool quiet) {
    if (wip_wnd && !IsWindow(wip_wnd)) {
        wip_wnd = nullptr;
        wip_mode = 0;
    }
    // 1. The splash is up.
    if (wip_wnd && wip_mode == 10) {
        if (mode == -10) {
            restore_cursor();
            wip_mode = 0;
            HWND w = wip_wnd;
            wip_wnd = nullptr;
            ShowWindow(w, SW_HIDE);
            DestroyWindow(w);
            return 0;
        }
        InvalidateRect(wip_wnd, nullptr, FALSE);
        UpdateWindow(wip_wnd);
        return 1;
    }
    if (mode == -10) return 0;
    // While Livesweep is on, the quiet form only keeps messages moving: the
    // sketch shows the re-runs itself.
    if (quiet && mode != 0) {
        pump_messages();
        return 1;
    }
    // 2. No window yet.
    if (!wip_wnd) {
        if (mode == 10) {
            wip_wnd = make_splash();
            if (!wip_wnd) return 0;
            wip_mode = 10;
            ShowWindow(wip_wnd, SW_SHOWNA);
            UpdateWindow(wip_wnd);
            return 1;
        }
        if (mode == 0) return 1;
        wip_wnd = make_panel();
        if (!wip_wnd) return 0;
        wip_mode = 0;
    }
    // 3. Close the panel.
    if (mode == 0) {
        restore_cursor();
        lines[0].clear();
        lines[1].clear();
        show_stop(false);
        HWND focus = GetFocus();
        bool had_focus = focus && (focus == wip_wnd || IsChild(wip_wnd, focus));
        ShowWindow(wip_wnd, SW_HIDE);
        wip_mode = 0;
        // The keyboard goes back where it was before the panel took it.
        if (had_focus) {
            HWND back = focus_before && IsWindow(focus_before) && IsWindowVisible(focus_before)
                            ? focus_before
                            : main_wnd;
            if (back && IsWindow(back)) SetFocus(back);
        }
        focus_before = nullptr;
        if (!wip_graphs.empty() && !game_state) wip_graphs.clear();
        run_start_done = false;
        return 1;
    }
    // 4. Show a line.
    set_hourglass();
    if (!wip_graphs.empty()) {
        pump_messages();
        return 1;
    }
    std::string text = format_text(format, args);
    // A game's moves report in the game window's own time field: the panel
    // would cover the window the player is working in and take its focus.
    if (HWND game = game_in_window()) {
        SetDlgItemText(game, ids_game_time, text.c_str());
        BringWindowToTop(game);
        SetActiveWindow(game);
        pump_messages();
        return 1;
    }
    if (!IsWindowVisible(wip_wnd) || wip_mode != 1) {
        ShowWindow(wip_wnd, SW_SHOW);
        wip_mode = 1;
    }
    BringWindowToTop(wip_wnd);
    if (!(GetAsyncKeyState(VK_LBUTTON) & 0x8000)) {
        HWND was = SetFocus(wip_wnd);
        if (was && was != wip_wnd && !IsChild(wip_wnd, was)) focus_before = was;
    }
    UpdateWindow(wip_wnd);
    show_stop(mode < 0);
    int n = (mode == 1 || mode == -1) ? 0 : 1;
    lines[n] = text.substr(0, kept_chars);
    // The whole text is drawn now; a repaint shows what is kept.
    HDC dc = GetDC(wip_wnd);
    draw_line(dc, n, text.c_str(), text.size(), true);
    ReleaseDC(wip_wnd, dc);
    pump_messages();
    return 1;
}

void sim_pump() {
    if (!run_start_done && run_start_hook) {
        run_start_done = true;
        if (run_start_hook() && wip_wnd && IsWindowVisible(wip_wnd)) ShowWindow(wip_wnd, SW_HIDE);
    }
    if (wip_wnd && wip_mode == 1 && wip_graphs.empty()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Time %g", sim_time);
        if (lines[1] != buf) {
            lines[1] = buf;
            HDC dc = GetDC(wip_wnd);
            draw_line(dc, 1, buf, lines[1].size(), true);
            ReleaseDC(wip_wnd, dc);
        }
    }
    if (run_kind == rk_livesweep && wip_graphs.empty()) {
        // The time counts from the re-run's initial save: a re-run shorter
        // than that leaves its messages to the main loop.
        const auto now = std::chrono::steady_clock::now();
        if (sim_phase == phase_initialising) last_livesweep_pump = now;
        if (now - last_livesweep_pump < livesweep_pump_every) return;
        last_livesweep_pump = now;
    }
    wip_show_time();
}

} // namespace

int wip_message(int mode, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = vmessage(mode, format, args, false);
    va_end(args);
    return r;
}

int wip_message_quiet(int mode, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = vmessage(mode, format, args, livesweep_state == ls_on);
    va_end(args);
    return r;
}

void wip_show_time() {
    if (HWND game = game_in_window()) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "Time=%g", sim_time);
        SetDlgItemText(game, ids_game_time, buf);
    }
    if (graph_updater) {
        for (std::size_t i = 0; i < wip_graphs.size();) {
            if (!graph_updater(wip_graphs[i]))
                wip_graphs.erase(wip_graphs.begin() + static_cast<std::ptrdiff_t>(i));
            else
                ++i;
        }
    }
    pump_messages();
    set_hourglass();
}

void set_wip_game_window_hook(wip_game_window_fn fn) {
    game_window_hook = fn;
}

void wip_install_sim_hooks() {
    set_sim_pump_hook(sim_pump);
}

const std::string& wip_line(int n) {
    static const std::string none;
    return n == 1 ? lines[0] : n == 2 ? lines[1] : none;
}

bool wip_stop_shown() {
    HWND b = wip_wnd ? GetDlgItem(wip_wnd, stop_id) : nullptr;
    return b && (GetWindowLong(b, GWL_STYLE) & WS_VISIBLE);
}

void wip_destroy() {
    restore_cursor();
    lines[0].clear();
    lines[1].clear();
    wip_graphs.clear();
    captured = false;
    focus_before = nullptr;
    if (wip_wnd && IsWindow(wip_wnd)) DestroyWindow(wip_wnd);
    wip_wnd = nullptr;
    wip_mode = 0;
}

LRESULT wip_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (cursor_kept && message == WM_SETCURSOR) {
        set_hourglass();
        return TRUE;
    }
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (window == wip_wnd && wip_mode == 10)
            paint_splash(dc);
        else if (window == wip_wnd)
            paint_panel(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        RECT cr{};
        GetClientRect(window, &cr);
        FillRect(reinterpret_cast<HDC>(wparam), &cr, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_KEYDOWN: {
        bool ctrl = GetKeyState(VK_CONTROL) & 0x8000;
        bool alt = GetKeyState(VK_MENU) & 0x8000;
        int vk = static_cast<int>(wparam);
        if (!alt &&
            ((ctrl && (vk == 'C' || vk == VK_DELETE || vk == VK_CANCEL || vk == VK_OEM_PERIOD)) ||
             (!ctrl && vk == VK_ESCAPE))) {
            stop_request = 1;
            return 0;
        }
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == stop_id) {
            stop_request = 1;
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
        SetCapture(window);
        captured = true;
        press_point = POINT{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        return 0;
    case WM_LBUTTONUP:
        if (captured) {
            captured = false;
            ReleaseCapture();
            POINT p{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
            RECT cr{};
            GetClientRect(window, &cr);
            if (!PtInRect(&cr, p)) {
                // Dragged out of the panel: it follows the pointer.
                RECT wr{};
                GetWindowRect(window, &wr);
                POINT tl{wr.left, wr.top};
                HWND parent = GetParent(window);
                if (parent && (GetWindowLong(window, GWL_STYLE) & WS_CHILD))
                    ScreenToClient(parent, &tl);
                SetWindowPos(window, nullptr, tl.x + p.x - press_point.x,
                             tl.y + p.y - press_point.y, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        return 0;
    case WM_CAPTURECHANGED:
        captured = false;
        return 0;
    case WM_DESTROY:
        if (window == wip_wnd) {
            wip_wnd = nullptr;
            wip_mode = 0;
        }
        return 0;
    default:
        break;
    }
    return DefWindowProc(window, message, wparam, lparam);
}

void activate_output_window(handle record) {
    // Output records belong to the tools, which sit above the shell.
    if (tool_window_hooks.activate) {
        tool_window_hooks.activate(record);
        return;
    }
    if (active_child && IsWindow(active_child)) activate_window(active_child, 0, 0);
}

INT_PTR empty_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        fit_dialog(dialog, 0);
        if (GetDlgItem(dialog, idc_about_version)) {
            std::string v = std::string(product_title()) + " for Linux Version " + version_text();
            SetDlgItemText(dialog, idc_about_version, v.c_str());
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR about_box(int template_id) {
    return run_dialog(template_id ? template_id : dlg_about, nullptr, empty_proc, 0);
}

int wip_graph_add(handle record) {
    if (!record) return 0;
    if (std::find(wip_graphs.begin(), wip_graphs.end(), record) != wip_graphs.end()) return 1;
    if (static_cast<int>(wip_graphs.size()) >= max_wip_graphs) return 0;
    wip_graphs.push_back(record);
    return 1;
}

void wip_graph_remove(handle record) {
    wip_graphs.erase(std::remove(wip_graphs.begin(), wip_graphs.end(), record), wip_graphs.end());
}

int wip_graph_count() {
    return static_cast<int>(wip_graphs.size());
}

void set_wip_graph_updater(wip_graph_update_fn fn) {
    graph_updater = fn;
}

void set_wip_run_start_hook(wip_run_start_fn fn) {
    run_start_hook = fn;
}

const char* product_title() {
    return app_strings().program_name.c_str();
}

const char* version_text() {
    return app_strings().version.c_str();
}

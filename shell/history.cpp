// The history and error-log window (see history.h).
#include "shell/history.h"

#include "foundation/errlog.h"
#include "foundation/openfile.h"
#include "foundation/report.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "resources/menus.h"
#include "shell/floats.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/winlist.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* history_class = "Kavrel_history";
constexpr const char* history_title = "Kavrel History and Error Log";

HWND window = nullptr;
std::vector<std::string> lines;
history_reader reader;
int top_line = 0;
int line_height = 16;

// The log is looked at for new lines this often while the window is open.
constexpr UINT_PTR follow_timer = 1;
constexpr UINT follow_ms = 500;
// The strip at the bottom with the Close button.
constexpr int close_w = 75, close_h = 23, strip_pad = 4;
constexpr int strip_h = close_h + 2 * strip_pad;
// The smallest place a saved position may give.
constexpr int min_w = 160, min_h = 100;

// The height of the lines' area (the client area above the Close strip).
int text_height(HWND w) {
    RECT r{};
    if (w) GetClientRect(w, &r);
    return std::max(0, static_cast<int>(r.bottom) - strip_h);
}

int visible_rows() {
    return std::max(1, text_height(window) / std::max(1, line_height));
}

bool at_end() {
    return top_line >= std::max(0, static_cast<int>(lines.size()) - visible_rows());
}

void layout(HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    if (HWND b = GetDlgItem(w, IDCANCEL))
        MoveWindow(b, std::max(0, static_cast<int>(r.right) - close_w - strip_pad),
                   std::max(0, static_cast<int>(r.bottom) - close_h - strip_pad), close_w, close_h,
                   TRUE);
}

void update_scroll() {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = static_cast<int>(lines.size()) - 1;
    si.nPage = static_cast<UINT>(visible_rows());
    si.nPos = top_line;
    SetScrollInfo(window, SB_VERT, &si, TRUE);
}

void scroll_to(int line) {
    int last = std::max(0, static_cast<int>(lines.size()) - visible_rows());
    line = std::clamp(line, 0, last);
    if (line == top_line) return;
    top_line = line;
    update_scroll();
    InvalidateRect(window, nullptr, TRUE);
}

void paint(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    line_height = std::max(1, static_cast<int>(tm.tmHeight));
    SetBkMode(dc, TRANSPARENT);
    RECT r{};
    GetClientRect(w, &r);
    r.bottom = text_height(w);
    IntersectClipRect(dc, 0, 0, r.right, r.bottom);
    int rows = static_cast<int>(r.bottom) / line_height + 1;
    for (int i = 0; i < rows && top_line + i < static_cast<int>(lines.size()); ++i) {
        const std::string& s = lines[static_cast<std::size_t>(top_line + i)];
        TextOut(dc, 2, i * line_height, s.c_str(), static_cast<int>(s.size()));
    }
    SelectObject(dc, old);
    EndPaint(w, &ps);
}

void keep_place() {
    if (!window) return;
    RECT r{};
    GetWindowRect(window, &r);
    POINT o = window_origin(window, GetParent(window));
    opts.err_dim[0] = o.x;
    opts.err_dim[1] = o.y;
    opts.err_dim[2] = r.right - r.left;
    opts.err_dim[3] = r.bottom - r.top;
}

bool register_history_class() {
    WNDCLASS wc{};
    wc.lpfnWndProc = history_proc;
    wc.hInstance = hinst;
    wc.lpszClassName = history_class;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClass(&wc); // already there: harmless
    WNDCLASS have{};
    return GetClassInfo(hinst, history_class, &have) != 0;
}

// Reads what was added to the log since the last look; a log that became
// shorter was made afresh and is read again from its start. The view stays
// at the end when it was there.
void follow_log() {
    const char* path = error_log_path();
    if (!window || !path || !*path) return;
    struct stat st {};
    if (::stat(path, &st) != 0) return;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size == reader.taken()) return;
    const bool follow_end = at_end();
    std::FILE* f = open_regular_stream(path, "rb");
    if (!f) return;
    if (size < reader.taken()) {
        reader.reset();
        lines.clear();
        top_line = 0;
    }
    if (fseeko(f, static_cast<off_t>(reader.taken()), SEEK_SET) == 0) reader.take_stream(f, &lines);
    std::fclose(f);
    update_scroll();
    if (follow_end) scroll_to(static_cast<int>(lines.size()));
    InvalidateRect(window, nullptr, TRUE);
}

// Closes the window; when it was the active child another one takes over.
void close_history() {
    HWND w = window;
    if (!w) return;
    const bool was_active = active_child == w;
    DestroyWindow(w);
    if (was_active) activate_window(nullptr, 0, 0);
}

// A placement from the settings or a caller, made to fit the container: the
// title bar inside it and the window no larger than it.
void fit_place(HWND parent, int* x, int* y, int* w, int* h) {
    RECT c{};
    if (!parent || !GetClientRect(parent, &c) || c.right <= 0 || c.bottom <= 0) return;
    *w = std::clamp(*w, std::min(min_w, static_cast<int>(c.right)), static_cast<int>(c.right));
    *h = std::clamp(*h, std::min(min_h, static_cast<int>(c.bottom)), static_cast<int>(c.bottom));
    *x = clamp_value(*x, static_cast<int>(c.right) - 30);
    *y = clamp_value(*y, static_cast<int>(c.bottom) - 30);
}

} // namespace

HWND history_hwnd() {
    return window && IsWindow(window) ? window : nullptr;
}

const std::vector<std::string>& history_lines() {
    return lines;
}

void history_window(int show, int x, int y, int w, int h) {
    if (history_hwnd()) {
        if (show) {
            ShowWindow(window, SW_SHOW);
            SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetFocus(window);
        }
        return;
    }
    const int given[4] = {x, y, w, h};
    for (int i = 0; i < 4; ++i)
        if (given[i] != -1) opts.err_dim[i] = given[i];
    if (!register_history_class()) return;
    int px = opts.err_dim[0], py = opts.err_dim[1];
    int pw = opts.err_dim[2] > 0 ? opts.err_dim[2] : 480;
    int ph = opts.err_dim[3] > 0 ? opts.err_dim[3] : 320;
    HWND parent = container_wnd && IsWindow(container_wnd) ? container_wnd : nullptr;
    fit_place(parent, &px, &py, &pw, &ph);
    // No maximise or minimise box: inside the container a maximised window
    // would cover the work area with its title bar out of reach.
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VSCROLL | WS_CLIPSIBLINGS |
                  WS_CLIPCHILDREN | (parent ? WS_CHILD : 0);
    window = CreateWindow(history_class, history_title, style, px, py, pw, ph, parent, nullptr,
                          hinst, nullptr);
    if (!window) return;
    set_float_window(fw_err_history, window);
    lines.clear();
    reader.reset();
    top_line = 0;
    HWND close = CreateWindow(
        WC_BUTTON, "Close", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, close_w, close_h, window,
        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(IDCANCEL)), hinst, nullptr);
    if (close)
        SendMessage(close, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                    0);
    layout(window);

    // The log is read through its own reading stream and closed again.
    if (err_log_stream) std::fflush(err_log_stream);
    bool read = false;
    if (error_log(-1) && err_log_stream) {
        read = reader.take_stream(err_log_stream, &lines);
        error_log(0);
    }
    if (!read) {
        lines.clear();
        reader.reset();
        report(6, "Unable to read the error log %s",
               *error_log_path() ? error_log_path() : "kavrel.err");
    }
    SetTimer(window, follow_timer, follow_ms, nullptr);
    if (parent) place_under_floats(window, px, py, pw, ph, SWP_NOACTIVATE);
    update_scroll();
    // Open at the end of the log: the newest messages are the ones wanted.
    scroll_to(static_cast<int>(lines.size()));
    if (show) ShowWindow(window, SW_SHOW);
}

LRESULT history_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_PAINT:
        paint(w);
        return 0;
    case WM_SIZE:
        layout(w);
        if (w == window) {
            update_scroll();
            scroll_to(top_line);
            InvalidateRect(w, nullptr, TRUE);
        }
        break;
    case WM_TIMER:
        if (wp == follow_timer && w == window) follow_log();
        return 0;
    case WM_COMMAND:
        // Close, and File > Close or Ctrl+W while the window is the active
        // child (the main window passes them on).
        if (w == window && (LOWORD(wp) == IDCANCEL || LOWORD(wp) == cmd_close)) {
            close_history();
            return 0;
        }
        break;
    case WM_CLOSE:
        if (w == window) close_history();
        return 0;
    case WM_SYSCOMMAND:
        // Never maximised or minimised (see the window's style).
        if ((wp & 0xFFF0) == SC_MAXIMIZE || (wp & 0xFFF0) == SC_MINIMIZE) return 0;
        break;
    case WM_LBUTTONDOWN:
        SetFocus(w);
        return 0;
    case WM_VSCROLL: {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(w, SB_VERT, &si);
        int page = visible_rows();
        switch (LOWORD(wp)) {
        case SB_LINEUP:
            scroll_to(top_line - 1);
            break;
        case SB_LINEDOWN:
            scroll_to(top_line + 1);
            break;
        case SB_PAGEUP:
            scroll_to(top_line - page);
            break;
        case SB_PAGEDOWN:
            scroll_to(top_line + page);
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            scroll_to(si.nTrackPos);
            break;
        case SB_TOP:
            scroll_to(0);
            break;
        case SB_BOTTOM:
            scroll_to(static_cast<int>(lines.size()));
            break;
        default:
            break;
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
        scroll_to(top_line - GET_WHEEL_DELTA_WPARAM(wp) / 40);
        return 0;
    case WM_KEYDOWN:
        if (wp == VK_ESCAPE || (wp == 'W' && GetKeyState(VK_CONTROL) < 0)) {
            close_history();
            return 0;
        }
        switch (wp) {
        case VK_UP:
            scroll_to(top_line - 1);
            return 0;
        case VK_DOWN:
            scroll_to(top_line + 1);
            return 0;
        case VK_PRIOR:
            scroll_to(top_line - visible_rows());
            return 0;
        case VK_NEXT:
            scroll_to(top_line + visible_rows());
            return 0;
        case VK_HOME:
            scroll_to(0);
            return 0;
        case VK_END:
            scroll_to(static_cast<int>(lines.size()));
            return 0;
        default:
            break;
        }
        break;
    case WM_DESTROY:
        if (w == window) {
            KillTimer(w, follow_timer);
            keep_place();
            set_float_window(fw_err_history, nullptr);
            window = nullptr;
            lines.clear();
            reader.reset();
            top_line = 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}

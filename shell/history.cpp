// The history and error-log window (see history.h).
#include "shell/history.h"

#include "foundation/errlog.h"
#include "foundation/report.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "shell/floats.h"
#include "shell/settings_rows.h"
#include "shell/state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* history_class = "Kavrel_history";
constexpr const char* history_title = "Kavrel History and Error Log";

HWND window = nullptr;
std::vector<std::string> lines;
int top_line = 0;
int line_height = 16;

// One line as shown: cut to the limit, control characters as blanks.
std::string shown_line(const char* begin, const char* end) {
    if (end > begin && end[-1] == '\r') --end;
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(end - begin),
                                          static_cast<std::size_t>(history_line_limit));
    std::string s(begin, n);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32 && c != '\t') c = ' ';
    return s;
}

void split_lines(const std::vector<char>& data, std::vector<std::string>* out) {
    const char* p = data.data();
    const char* end = p + data.size();
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const char* e = nl ? nl : end;
        out->push_back(shown_line(p, e));
        p = nl ? nl + 1 : end;
    }
}

bool read_stream(std::FILE* f, std::vector<std::string>* out) {
    std::vector<char> data;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    if (std::ferror(f)) return false;
    split_lines(data, out);
    return true;
}

int visible_rows() {
    RECT r{};
    if (window) GetClientRect(window, &r);
    return std::max(1, static_cast<int>(r.bottom) / std::max(1, line_height));
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

} // namespace

bool read_history_lines(const char* path, std::vector<std::string>* out) {
    std::FILE* f = path && *path ? std::fopen(path, "rb") : nullptr;
    if (!f) return false;
    bool ok = read_stream(f, out);
    std::fclose(f);
    return ok;
}

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
    DWORD style = WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_CLIPSIBLINGS | (parent ? WS_CHILD : 0);
    window = CreateWindow(history_class, history_title, style, px, py, pw, ph, parent, nullptr,
                          hinst, nullptr);
    if (!window) return;
    set_float_window(fw_err_history, window);
    lines.clear();
    top_line = 0;

    // The log is read through its own reading stream and closed again.
    if (err_log_stream) std::fflush(err_log_stream);
    bool read = false;
    if (error_log(-1) && err_log_stream) {
        read = read_stream(err_log_stream, &lines);
        error_log(0);
    }
    if (!read) {
        lines.clear();
        report(6, "Unable to read the error log %s",
               *error_log_path() ? error_log_path() : "kavrel.err");
    }
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
        if (w == window) {
            update_scroll();
            scroll_to(top_line);
        }
        break;
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
            keep_place();
            set_float_window(fw_err_history, nullptr);
            window = nullptr;
            lines.clear();
            top_line = 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}

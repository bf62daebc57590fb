// Text windows: see textwin.h.
#include "tools/textwin.h"

#include "draw/drawing.h"
#include "draw/printing.h"
#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "platform/clip.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/global.h"
#include "shell/controls/longlist.h"
#include "shell/filechoice.h"
#include "shell/fonts.h"
#include "shell/mainwnd.h"
#include "shell/msgbox.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/toolset_hooks.h"
#include "shell/varselect.h"
#include "tools/output.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

void (*text_record_released)(handle record) = nullptr;

namespace {

constexpr const char* text_class = "Kavrel_text";
constexpr int tab_chars = 8;
constexpr UINT msg_button_down = 1025;
constexpr UINT msg_button_up = 1026;

// What a text record holds after its head (the record keeps a pointer to it,
// so nothing here moves when the record's block does).
struct text_data {
    text_lines lines;
    text_view view;
    font_spec font{};
    HFONT hfont = nullptr;
    HDC measure = nullptr; // a memory device with the font selected
    int line_height = 16;
    int step = 1;
    int tab_px = 64;
    // Advances of the font's 256 characters, measured once: appending a line
    // then needs no text shaping to find its width.
    int advance[256] = {};
    int sel_start = 0, sel_end = 0, anchor = -1;
    bool selecting = false;
    bool relayout = true;
    bool track_width = true;
    bool printing = false; // Close waits until the job is done
    std::string title;
};

text_data* data_of(handle record) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return nullptr;
    text_data* d = nullptr;
    if (r->type == 0 && r->release) std::memcpy(&d, r + 1, sizeof d);
    unlock_handle(record);
    return d;
}

HWND window_of(handle record) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return nullptr;
    HWND w = r->window;
    unlock_handle(record);
    return w;
}

// Frees the lines and the font, never the window (the record's release).
void release_text_data(handle record) {
    if (text_record_released) text_record_released(record);
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return;
    text_data* d = nullptr;
    std::memcpy(&d, r + 1, sizeof d);
    std::memset(static_cast<void*>(r + 1), 0, sizeof d);
    unlock_handle(record);
    if (!d) return;
    if (d->measure) DeleteDC(d->measure);
    if (d->hfont) DeleteObject(d->hfont);
    delete d;
}

// Width of a run of a line, tabs going to the next stop from the line's start.
int run_width(const text_data& d, std::string_view s) {
    int x = 0;
    for (char c : s)
        x = c == '\t' ? (x / d.tab_px + 1) * d.tab_px
                      : x + d.advance[static_cast<unsigned char>(c)];
    return x;
}

// Index of the character of a line under x (from the line's start).
int index_at(const text_data& d, std::string_view s, int x) {
    if (x <= 0) return 0;
    int cx = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const int next = s[i] == '\t' ? (cx / d.tab_px + 1) * d.tab_px
                                      : cx + d.advance[static_cast<unsigned char>(s[i])];
        if (x < (cx + next + 1) / 2) return static_cast<int>(i);
        cx = next;
    }
    return static_cast<int>(s.size());
}

// Draws the part of a line that falls between 0 and right (lines of a
// megabyte are drawn only as far as they show).
void draw_line(HDC dc, const text_data& d, int x0, int y, std::string_view s, int right) {
    int x = x0;
    std::size_t i = 0, run = 0;
    int run_x = x;
    auto flush = [&](std::size_t end) {
        if (end > run) TextOut(dc, run_x, y, s.data() + run, static_cast<int>(end - run));
    };
    for (; i < s.size() && x < right; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int next = c == '\t' ? x0 + ((x - x0) / d.tab_px + 1) * d.tab_px : x + d.advance[c];
        if (c == '\t' || next <= 0) {
            // A tab ends a run; characters wholly left of the window are skipped.
            flush(i);
            run = i + 1;
            run_x = next;
        }
        x = next;
    }
    flush(i);
}

void client_size(HWND w, int* cw, int* ch) {
    RECT rc{0, 0, 0, 0};
    if (w) GetClientRect(w, &rc);
    *cw = rc.right;
    *ch = rc.bottom;
}

void set_scrolls(HWND w, const text_data& d) {
    if (!w) return;
    int cw, ch;
    client_size(w, &cw, &ch);
    // Past 32,000 lines the bars count in steps of several lines, so a
    // thumb's 16-bit position reaches the end.
    set_scroll_scaled(w, SB_VERT, 0, d.lines.lines(), d.view.visible, d.view.top);
    set_scroll_scaled(w, SB_HORZ, 0, d.view.longest, std::max(1, cw / d.step), d.view.hpos);
}

void layout(HWND w, text_data& d) {
    int cw, ch;
    client_size(w, &cw, &ch);
    d.view.visible = std::max(1, ch / d.line_height);
    clamp_view(d.view, d.lines.lines());
    d.relayout = false;
    set_scrolls(w, d);
}

void paint(HWND w, text_data& d) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    if (!dc) return;
    if (d.relayout) layout(w, d);
    int cw, ch;
    client_size(w, &cw, &ch);
    HGDIOBJ old = SelectObject(dc, d.hfont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, d.font.colour == 0xFFFFFFFFu ? GetSysColor(COLOR_WINDOWTEXT) : d.font.colour);
    const int x0 = -d.step * d.view.hpos;
    const int first_sel = d.lines.line_of(static_cast<std::size_t>(d.sel_start));
    for (int i = d.view.top, y = 0; i < d.lines.lines() && y < ch; ++i, y += d.line_height) {
        std::string_view s = d.lines.line(i);
        draw_line(dc, d, x0, y, s, cw);
        if (d.sel_end <= d.sel_start || i < first_sel) continue;
        std::size_t ls = d.lines.line_start(i);
        if (static_cast<std::size_t>(d.sel_end) <= ls) continue;
        std::size_t a = std::max<std::size_t>(ls, static_cast<std::size_t>(d.sel_start)) - ls;
        std::size_t b =
            std::min<std::size_t>(ls + s.size() + 1, static_cast<std::size_t>(d.sel_end)) - ls;
        int xa = run_width(d, s.substr(0, std::min(a, s.size())));
        int xb = b > s.size() ? run_width(d, s) + d.step / 5 : run_width(d, s.substr(0, b));
        RECT sel{x0 + xa, y, x0 + xb, y + d.line_height};
        InvertRect(dc, &sel);
    }
    SelectObject(dc, old);
    EndPaint(w, &ps);
}

// The byte offset of the character under a client point.
int offset_at(const text_data& d, int x, int y) {
    int line = d.view.top + (y < 0 ? -1 : y / d.line_height);
    if (line >= d.lines.lines()) return static_cast<int>(d.lines.bytes());
    line = std::max(0, line);
    std::string_view s = d.lines.line(line);
    return static_cast<int>(d.lines.line_start(line)) + index_at(d, s, x + d.step * d.view.hpos);
}

void scroll_to(HWND w, text_data& d, int top, int hpos) {
    d.view.top = top;
    d.view.hpos = hpos;
    clamp_view(d.view, d.lines.lines());
    set_scrolls(w, d);
    InvalidateRect(w, nullptr, TRUE);
}

void vscroll(HWND w, text_data& d, int code, int thumb) {
    int top = d.view.top, page = std::max(1, d.view.visible - 1);
    switch (code) {
    case SB_LINEUP:
        --top;
        break;
    case SB_LINEDOWN:
        ++top;
        break;
    case SB_PAGEUP:
        top -= page;
        break;
    case SB_PAGEDOWN:
        top += page;
        break;
    case SB_TOP:
        top = 0;
        break;
    case SB_BOTTOM:
        top = d.lines.lines();
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        top = scroll_thumb_pos(d.lines.lines(), thumb);
        break;
    default:
        return;
    }
    scroll_to(w, d, top, d.view.hpos);
}

void hscroll(HWND w, text_data& d, int code, int thumb) {
    int cw, ch;
    client_size(w, &cw, &ch);
    int in_view = std::max(1, cw / d.step);
    int pos = d.view.hpos;
    switch (code) {
    case SB_LINELEFT:
        --pos;
        break;
    case SB_LINERIGHT:
        if (pos + in_view < d.view.longest) ++pos;
        break;
    case SB_PAGELEFT:
        pos -= std::max(1, in_view - 1);
        break;
    case SB_PAGERIGHT:
        pos += std::max(1, in_view - 1);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        pos = scroll_thumb_pos(d.view.longest, thumb);
        break;
    default:
        return;
    }
    pos = std::clamp(pos, 0, std::max(0, d.view.longest - in_view));
    scroll_to(w, d, d.view.top, pos);
}

void set_selection(HWND w, text_data& d, int a, int b) {
    d.sel_start = std::min(a, b);
    d.sel_end = std::max(a, b);
    InvalidateRect(w, nullptr, TRUE);
}

void notify_container(handle record, HWND w, UINT message, LPARAM point) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    HWND container = r ? r->container : nullptr;
    if (r) unlock_handle(record);
    if (container) SendMessage(container, message, reinterpret_cast<WPARAM>(w), point);
}

bool is_kept(handle record) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return false;
    bool kept = r->keep != 0;
    unlock_handle(record);
    return kept;
}

void set_keep(handle record, int mode) {
    auto* r = static_cast<output_record*>(lock_handle(record));
    if (!r) return;
    r->keep = static_cast<std::uint8_t>(mode < 0 ? !r->keep : mode);
    unlock_handle(record);
}

std::string selected_or_all(const text_data& d) {
    if (d.sel_end > d.sel_start)
        return d.lines.text().substr(static_cast<std::size_t>(d.sel_start),
                                     static_cast<std::size_t>(d.sel_end - d.sel_start));
    return d.lines.text();
}

LRESULT command(HWND w, handle record, text_data& d, int cmd) {
    switch (cmd) {
    case cmd_export_output:
        textwin_copy(record);
        return 0;
    case cmd_save_output:
    case 494: {
        char* path = file_dialog("File to save contents as", "", fd_save, ft_text | ft_all, 0,
                                 ft_text, 0, nullptr, nullptr);
        if (path) textwin_save(record, path);
        return 0;
    }
    case cmd_lock_output:
        set_keep(record, 1);
        InvalidateRect(w, nullptr, TRUE);
        if (HWND frame = GetParent(w)) InvalidateRect(frame, nullptr, TRUE);
        return 0;
    case cmd_unlock_output:
        set_keep(record, 0);
        if (HWND frame = GetParent(w)) InvalidateRect(frame, nullptr, TRUE);
        return 0;
    case 493:
        set_keep(record, -1);
        if (HWND frame = GetParent(w)) InvalidateRect(frame, nullptr, TRUE);
        return 0;
    case cmd_print_output:
        textwin_print(record);
        return 0;
    case cmd_close_output:
        if (is_kept(record) || d.printing) return 0;
        unlist_output_window(record);
        free_text_window(record);
        return 0;
    default:
        return 0;
    }
}

} // namespace

POINT text_pos{0, 0};

void place_text_window(const RECT& container, int width, int height, int* x, int* y) {
    if (preset_rect.x >= 1) return; // the output code's own placement wins
    if (*x == -1 || *y == -1) {
        // The next default place, or the corner when the window would not
        // fit the container from there; each window steps on from the last.
        if (text_pos.x + width > container.right || text_pos.y + height > container.bottom)
            text_pos = POINT{0, 0};
        *x = text_pos.x;
        *y = text_pos.y;
        text_pos.x += 2 * GetSystemMetrics(SM_CXFRAME) + 15;
        text_pos.y += 2 * GetSystemMetrics(SM_CYFRAME) + 15;
        return;
    }
    // A given place stays on the usable screen.
    *x = std::min(*x, GetSystemMetrics(SM_CXSCREEN) - 40);
    *y = std::min(*y, GetSystemMetrics(SM_CYSCREEN) - 40);
}

handle open_text_window(const char* title, int x, int y, int width, int height, int in_cells,
                        const font_spec* font) {
    handle record = new_output_record(sizeof(text_data*), 0);
    if (!record) return 0;
    auto* d = new text_data;
    if (font)
        d->font = sane_font_spec(*font);
    else {
        d->font.colour = 0xFFFFFFFFu;
        d->font.size = 10;
    }
    HDC screen = GetDC(nullptr);
    d->hfont = make_font(screen, d->font, 0);
    d->measure = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (d->measure && d->hfont) SelectObject(d->measure, d->hfont);
    TEXTMETRIC tm{};
    if (d->measure && GetTextMetrics(d->measure, &tm) && tm.tmHeight > 0)
        d->line_height = tm.tmHeight + tm.tmExternalLeading;
    SIZE m{0, 0}, w0{0, 0};
    if (d->measure) {
        GetTextExtentPoint32(d->measure, "M", 1, &m);
        GetTextExtentPoint32(d->measure, "W", 1, &w0);
    }
    if (d->measure)
        for (int c = 1; c < 256; ++c) {
            const char ch = static_cast<char>(c);
            SIZE sz{0, 0};
            GetTextExtentPoint32(d->measure, &ch, 1, &sz);
            d->advance[c] = std::max(0, static_cast<int>(sz.cx));
        }
    d->step = text_step(m.cx);
    d->title = title ? title : "";
    d->tab_px = std::max(1, tab_chars * std::max(1, static_cast<int>(m.cx)));
    {
        auto* r = static_cast<output_record*>(lock_handle(record));
        std::memcpy(r + 1, &d, sizeof d);
        r->release = release_text_data;
        r->step = static_cast<std::int8_t>(std::min(d->step, 127));
        unlock_handle(record);
    }
    RECT c{0, 0, 640, 480};
    if (container_wnd) GetClientRect(container_wnd, &c);
    if (width < 1 || height < 1) {
        width = c.right * 2 / 3;
        height = c.bottom / 2;
    } else if (in_cells) {
        width *= std::max(1, static_cast<int>(w0.cx));
        height *= d->line_height;
    }
    place_text_window(c, width, height, &x, &y);
    HWND w = open_output_window(record, text_class, title ? title : "", x, y, width, height,
                                WS_VSCROLL | WS_HSCROLL);
    if (!w) {
        release_text_data(record);
        free_output_record(record);
        return 0;
    }
    auto* r = static_cast<output_record*>(lock_handle(record));
    r->window = w;
    unlock_handle(record);
    SetWindowLongPtr(w, 0, static_cast<LONG_PTR>(record));
    layout(w, *d);
    return record;
}

int textwin_append(handle record, int follow, std::string_view text) {
    text_data* d = data_of(record);
    if (!d) return 0;
    HWND w = window_of(record);
    // The view's height is needed before following (a resize may be pending).
    if (w && d->relayout) layout(w, *d);
    const int before = d->lines.lines();
    d->lines.append(text);
    for (int i = before; i < d->lines.lines(); ++i) {
        if (d->track_width) {
            int width = run_width(*d, d->lines.line(i));
            d->view.longest = std::max(d->view.longest, (width - 1) / d->step + 1);
        }
        if (!follow) continue;
        follow_result f = follow_append(d->view, i + 1);
        if (!w) continue;
        if (f == follow_result::band) {
            RECT band{0, (i - d->view.top) * d->line_height, 32767,
                      (i - d->view.top + 1) * d->line_height};
            InvalidateRect(w, &band, TRUE);
        } else if (f == follow_result::scrolled) {
            InvalidateRect(w, nullptr, TRUE);
        }
    }
    if (w) {
        if (!follow) {
            d->relayout = true;
            InvalidateRect(w, nullptr, TRUE);
        } else {
            set_scrolls(w, *d);
        }
    }
    return static_cast<int>(std::min<std::size_t>(d->lines.bytes(), 0x7FFFFFFF));
}

int textwin_printf(int expected_length, handle record, int follow, const char* format, ...) {
    (void)expected_length; // the text is measured, whatever the caller expected
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    return textwin_append(record, follow, text);
}

void free_text_window(handle record) {
    HWND w = window_of(record);
    release_text_data(record);
    if (w) {
        SetWindowLongPtr(w, 0, 0);
        destroy_tool_window(w);
    }
    free_output_record(record);
}

void close_text_window(handle record) {
    HWND w = window_of(record);
    if (!w) return;
    set_keep(record, 0);
    PostMessage(w, WM_COMMAND, cmd_close_output, 0);
}

int textwin_copy(handle record) {
    text_data* d = data_of(record);
    if (!d) return 0;
    std::string text = crlf_text(selected_or_all(*d));
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    void* p = mem ? GlobalLock(mem) : nullptr;
    bool ok = false;
    if (p) {
        std::memcpy(p, text.c_str(), text.size() + 1);
        GlobalUnlock(mem);
        if (OpenClipboard(window_of(record))) {
            EmptyClipboard();
            ok = SetClipboardData(CF_TEXT, mem) != nullptr;
            CloseClipboard();
        }
    }
    if (!ok) {
        if (mem) GlobalFree(mem);
        report(8, "Cannot copy the text to the clipboard");
        return 0;
    }
    return 1;
}

int textwin_save(handle record, const char* path) {
    text_data* d = data_of(record);
    if (!d || !path) return 0;
    const std::string& text = d->lines.text();
    if (!write_whole_file(path, text.data(), text.size())) {
        report(8, "Cannot open %s to write output", path);
        return 0;
    }
    return 1;
}

int textwin_print(handle record) {
    text_data* d = data_of(record);
    if (!d) return 0;
    int first = 0, last = d->lines.lines() - 1;
    if (d->sel_end > d->sel_start && (!opts.print_all_text || opts.print_selection == 1)) {
        first = d->lines.line_of(static_cast<std::size_t>(d->sel_start));
        last = d->lines.line_of(static_cast<std::size_t>(d->sel_end - 1));
    }
    // The job pumps messages: print from a copy.
    std::vector<std::string> lines{"", d->title, ""};
    for (int i = first; i <= last; ++i) lines.emplace_back(d->lines.line(i));
    const font_spec font = d->font;
    d->printing = true;
    HDC dc = start_text_print(d->title.c_str(), &font);
    if (dc) {
        for (const std::string& l : lines)
            print_text_line(l.c_str(), static_cast<int>(l.size()), 0, true);
        end_text_print();
    }
    if ((d = data_of(record)) != nullptr) d->printing = false;
    return dc ? 1 : 0;
}

const text_lines* textwin_lines(handle record) {
    text_data* d = data_of(record);
    return d ? &d->lines : nullptr;
}
text_view textwin_view(handle record) {
    text_data* d = data_of(record);
    return d ? d->view : text_view{};
}
void textwin_selection(handle record, int* start, int* end) {
    text_data* d = data_of(record);
    *start = d ? d->sel_start : 0;
    *end = d ? d->sel_end : 0;
}
int textwin_line_height(handle record) {
    text_data* d = data_of(record);
    return d ? d->line_height : 0;
}
int textwin_step(handle record) {
    text_data* d = data_of(record);
    return d ? d->step : 0;
}

LRESULT text_window_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    handle record = static_cast<handle>(GetWindowLongPtr(w, 0));
    text_data* d = record ? data_of(record) : nullptr;
    if (!d) return DefWindowProc(w, m, wp, lp);
    switch (m) {
    case WM_PAINT:
        paint(w, *d);
        return 0;
    case WM_SIZE:
        layout(w, *d);
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    case WM_VSCROLL:
        vscroll(w, *d, LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_HSCROLL:
        hscroll(w, *d, LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_LBUTTONDOWN: {
        notify_container(record, w, msg_button_down, lp);
        int at = offset_at(*d, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        d->anchor = at;
        int s, e;
        const std::string& text = d->lines.text();
        find_name_extent(text, at, static_cast<int>(text.size()), &s, &e);
        set_selection(w, *d, s, e);
        d->selecting = true;
        SetCapture(w);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (d->selecting && (wp & MK_LBUTTON)) {
            int at = offset_at(*d, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            if (at != d->anchor) set_selection(w, *d, d->anchor, at);
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!d->selecting) return 0;
        d->selecting = false;
        ReleaseCapture();
        notify_container(record, w, msg_button_up, lp);
        if (d->sel_end > d->sel_start) {
            // A copy: making the workbench variable may append to this window.
            std::string sel = selected_or_all(*d);
            select_var_text(sel.c_str(), 0, static_cast<int>(sel.size()));
        }
        return 0;
    }
    case WM_COMMAND:
        return command(w, record, *d, LOWORD(wp));
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_CLOSE) return command(w, record, *d, cmd_close_output);
        return DefWindowProc(w, m, wp, lp);
    case WM_NCDESTROY:
        // Destroyed some other way than Close (its frame went): the record
        // goes with it, so nothing keeps naming it.
        SetWindowLongPtr(w, 0, 0);
        unlist_output_window(record);
        {
            auto* r = static_cast<output_record*>(lock_handle(record));
            if (r) {
                r->window = nullptr;
                unlock_handle(record);
            }
        }
        release_text_data(record);
        free_output_record(record);
        return DefWindowProc(w, m, wp, lp);
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

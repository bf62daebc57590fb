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
#include "tools/outwin_common.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

void (*text_record_released)(handle record) = nullptr;

namespace {

constexpr const char* text_class = "Kavrel_text";
constexpr int tab_chars = 8;
constexpr int text_type = 0;

// What a text record holds after its head (the record keeps a pointer to it,
// so nothing here moves when the record's block does).
struct text_data {
    text_lines lines;
    text_view view;
    outwin_font font;
    int step = 1;
    int tab_px = 64;
    // Advances of the font's 256 characters, measured once: appending a line
    // then needs no text shaping to find its width.
    int advance[256] = {};
    int sel_start = 0, sel_end = 0, anchor = -1;
    int pressed_at = -1;  // the character the button went down on
    bool dragged = false; // the selection was drawn out, not only clicked
    bool selecting = false;
    bool relayout = true;
    bool track_width = true;
    bool printing = false; // Close waits until the job is done
    std::string title;
};

text_data* data_of(handle record) {
    return static_cast<text_data*>(outwin_data(record, text_type));
}

// Frees the lines and the font, never the window (the record's release).
void release_text_data(handle record) {
    if (text_record_released) text_record_released(record);
    auto* d = static_cast<text_data*>(outwin_take_data(record));
    if (!d) return;
    outwin_close_font(d->font);
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

void set_scrolls(HWND w, const text_data& d) {
    if (!w) return;
    int cw, ch;
    outwin_client_size(w, &cw, &ch);
    // Past 32,000 lines the bars count in steps of several lines, so a
    // thumb's 16-bit position reaches the end.
    set_scroll_scaled(w, SB_VERT, 0, d.lines.lines(), d.view.visible, d.view.top);
    set_scroll_scaled(w, SB_HORZ, 0, d.view.longest, std::max(1, cw / d.step), d.view.hpos);
}

void layout(HWND w, text_data& d) {
    int cw, ch;
    outwin_client_size(w, &cw, &ch);
    d.view.visible = std::max(1, ch / d.font.line_height);
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
    outwin_client_size(w, &cw, &ch);
    HGDIOBJ old = SelectObject(dc, d.font.hfont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, outwin_text_colour(d.font.spec));
    const int x0 = -d.step * d.view.hpos;
    const int first_sel = d.lines.line_of(static_cast<std::size_t>(d.sel_start));
    for (int i = d.view.top, y = 0; i < d.lines.lines() && y < ch; ++i, y += d.font.line_height) {
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
        RECT sel{x0 + xa, y, x0 + xb, y + d.font.line_height};
        InvertRect(dc, &sel);
    }
    SelectObject(dc, old);
    EndPaint(w, &ps);
}

// The byte offset of the character under a client point.
int offset_at(const text_data& d, int x, int y) {
    int line = d.view.top + (y < 0 ? -1 : y / d.font.line_height);
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
    const std::optional<int> top = outwin_scroll_target(
        code, d.view.top, std::max(1, d.view.visible - 1), d.lines.lines(), thumb);
    if (top) scroll_to(w, d, *top, d.view.hpos);
}

void hscroll(HWND w, text_data& d, int code, int thumb) {
    int cw, ch;
    outwin_client_size(w, &cw, &ch);
    const int in_view = std::max(1, cw / d.step);
    const std::optional<int> pos =
        outwin_scroll_target(code, d.view.hpos, std::max(1, in_view - 1), d.view.longest, thumb);
    // The last steps stay in view: the right end shows a full window.
    if (pos)
        scroll_to(w, d, d.view.top, std::clamp(*pos, 0, std::max(0, d.view.longest - in_view)));
}

void set_selection(HWND w, text_data& d, int a, int b) {
    d.sel_start = std::min(a, b);
    d.sel_end = std::max(a, b);
    InvalidateRect(w, nullptr, TRUE);
}

// The variable a click chose, as [start, end) offsets: the clicked span when
// it names one, else the longest run of its blank-separated words round the
// clicked character that does (a message line such as "Floating point error
// computing births at time 5" is one span of name characters). Each try goes
// through select_var_text, so the first that names a variable is chosen.
// False when none does.
bool choose_clicked_name(const std::string& text, int start, int end, int at, int* chosen_start,
                         int* chosen_end) {
    struct word {
        int start, end;
    };
    std::vector<word> words;
    for (int i = start; i < end;) {
        while (i < end && text[static_cast<std::size_t>(i)] == ' ') ++i;
        const int b = i;
        while (i < end && text[static_cast<std::size_t>(i)] != ' ') ++i;
        if (i > b) words.push_back({b, i});
    }
    int hit = -1;
    for (int k = 0; k < static_cast<int>(words.size()) && hit < 0; ++k)
        if (at >= words[static_cast<std::size_t>(k)].start &&
            at <= words[static_cast<std::size_t>(k)].end)
            hit = k;
    const int n = static_cast<int>(words.size());
    auto tried = [&](int from, int to) {
        const int b = words[static_cast<std::size_t>(from)].start;
        const int e = words[static_cast<std::size_t>(to)].end;
        if (select_var_text(text.c_str(), b, e) != 1) return false;
        *chosen_start = b;
        *chosen_end = e;
        return true;
    };
    if (n == 0) return false;
    if (tried(0, n - 1)) return true;
    if (hit < 0) return false;
    for (int length = n - 1; length >= 1; --length)
        for (int from = std::max(0, hit - length + 1); from <= hit && from + length <= n; ++from)
            if (tried(from, from + length - 1)) return true;
    return false;
}

std::string selected_or_all(const text_data& d) {
    if (d.sel_end > d.sel_start)
        return d.lines.text().substr(static_cast<std::size_t>(d.sel_start),
                                     static_cast<std::size_t>(d.sel_end - d.sel_start));
    return d.lines.text();
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
    outwin_open_font(d->font, font);
    HDC measure = d->font.measure;
    SIZE m{0, 0}, w0{0, 0};
    if (measure) {
        GetTextExtentPoint32(measure, "M", 1, &m);
        GetTextExtentPoint32(measure, "W", 1, &w0);
    }
    if (measure)
        for (int c = 1; c < 256; ++c) {
            const char ch = static_cast<char>(c);
            SIZE sz{0, 0};
            GetTextExtentPoint32(measure, &ch, 1, &sz);
            d->advance[c] = std::max(0, static_cast<int>(sz.cx));
        }
    d->step = text_step(m.cx);
    d->title = title ? title : "";
    d->tab_px = std::max(1, tab_chars * std::max(1, static_cast<int>(m.cx)));
    outwin_set_data(record, d, release_text_data);
    if (auto* r = static_cast<output_record*>(lock_handle(record))) {
        r->step = static_cast<std::int8_t>(std::min(d->step, 127));
        unlock_handle(record);
    }
    const bool given = width >= 1 && height >= 1;
    const RECT c = outwin_default_size(&width, &height);
    if (given && in_cells) {
        width *= std::max(1, static_cast<int>(w0.cx));
        height *= d->font.line_height;
    }
    place_text_window(c, width, height, &x, &y);
    HWND w = outwin_open(record, text_class, title ? title : "", x, y, width, height,
                         WS_VSCROLL | WS_HSCROLL, release_text_data);
    if (!w) return 0;
    layout(w, *d);
    return record;
}

int textwin_append(handle record, int follow, std::string_view text) {
    text_data* d = data_of(record);
    if (!d) return 0;
    HWND w = outwin_window(record);
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
            RECT band{0, (i - d->view.top) * d->font.line_height, 32767,
                      (i - d->view.top + 1) * d->font.line_height};
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
    outwin_free(record, release_text_data);
}

void close_text_window(handle record) {
    HWND w = outwin_window(record);
    if (!w) return;
    outwin_set_keep(record, 0);
    PostMessage(w, WM_COMMAND, cmd_close_output, 0);
}

int textwin_copy(handle record) {
    text_data* d = data_of(record);
    if (!d) return 0;
    std::string text = crlf_text(selected_or_all(*d));
    HGLOBAL mem = global_from_bytes(text.c_str(), text.size() + 1);
    if (!clip_put(outwin_window(record), CF_TEXT, mem)) {
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
    const font_spec font = d->font.spec;
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
    return d ? d->font.line_height : 0;
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
        outwin_press(w, record, lp, &d->selecting);
        int at = offset_at(*d, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        d->anchor = at;
        d->pressed_at = at;
        d->dragged = false;
        int s, e;
        const std::string& text = d->lines.text();
        find_name_extent(text, at, static_cast<int>(text.size()), &s, &e);
        set_selection(w, *d, s, e);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (d->selecting && (wp & MK_LBUTTON)) {
            int at = offset_at(*d, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            if (at != d->anchor) {
                set_selection(w, *d, d->anchor, at);
                d->dragged = true;
            }
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!outwin_release(w, record, lp, &d->selecting)) return 0;
        if (d->sel_end > d->sel_start && !d->dragged) {
            // A copy: making the workbench variable may append to this window.
            const std::string text = d->lines.text();
            int s = 0, e = 0;
            if (choose_clicked_name(text, d->sel_start, d->sel_end, d->pressed_at, &s, &e) &&
                (d = data_of(record)) != nullptr)
                set_selection(w, *d, s, e); // the name chosen, not the whole line
        } else if (d->sel_end > d->sel_start) {
            std::string sel = selected_or_all(*d);
            select_var_text(sel.c_str(), 0, static_cast<int>(sel.size()));
        }
        return 0;
    }
    default:
        return outwin_default_proc(w, record, m, wp, lp,
                                   {.copy = textwin_copy,
                                    .save = textwin_save,
                                    .print = textwin_print,
                                    .release = release_text_data,
                                    .busy = d->printing});
    }
}

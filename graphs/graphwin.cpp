// The graphics window: see graphwin.h.
#include "graphs/graphwin.h"

#include "draw/boxname.h"
#include "draw/drawing.h"
#include "draw/export.h"
#include "draw/exsize.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/subpanel.h"
#include "model/timebase.h"
#include "model/varnames.h"
#include "shell/controlpanel.h"
#include "shell/filechoice.h"
#include "shell/options.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/varselect.h"
#include "tools/output.h"
#include "tools/textwin_core.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

COLORREF graph_background = RGB(255, 255, 255);

export_options& graph_export_options() {
    static export_options o;
    return o;
}

namespace {

output_record* lock_out(handle h) {
    return h ? static_cast<output_record*>(lock_handle(h)) : nullptr;
}

// Walks the list; the guard stops a damaged list from looping.
template <class F> void for_each_spot(handle block, std::uint32_t head, F f) {
    void* b = lock_handle(block);
    if (!b) return;
    int guard = 0;
    for (std::uint32_t c = head; c && guard < 100000; ++guard) {
        auto* s = static_cast<hot_spot*>(hblock_cell(b, static_cast<std::int32_t>(c)));
        if (!s) break;
        std::uint32_t next = s->next;
        if (!f(c, *s)) break;
        c = next;
    }
    unlock_handle(block);
}

} // namespace

namespace {
struct pending_range {
    double top = 0, bottom = 0;
    bool set = false;
} pending_y;
} // namespace

void set_value_map(int p0, int p1, double v0, double v1, std::int32_t name_cell, bool y_axis) {
    output_record* o = lock_out(cur_output);
    if (!o) return;
    if (!o->hot_spots_ready && o->hot_spots) {
        if (!o->value_map) o->value_map = hblock_alloc(o->hot_spots, sizeof(value_map), 0);
        void* b = o->value_map > 0 ? lock_handle(o->hot_spots) : nullptr;
        auto* m = b ? static_cast<value_map*>(hblock_cell(b, o->value_map)) : nullptr;
        auto c16 = [](int v) { return static_cast<std::int16_t>(std::clamp(v, -32760, 32760)); };
        if (m && y_axis) {
            m->y_p0 = c16(p0), m->y_p1 = c16(p1);
            m->y_v0 = static_cast<float>(v0), m->y_v1 = static_cast<float>(v1);
        } else if (m) {
            m->x_p0 = c16(p0), m->x_p1 = c16(p1);
            m->x_v0 = static_cast<float>(v0), m->x_v1 = static_cast<float>(v1);
            m->name = static_cast<std::uint32_t>(name_cell);
        }
        if (b) unlock_handle(o->hot_spots);
    }
    unlock_handle(cur_output);
}

bool record_value_map(handle record, value_map* out) {
    output_record* o = lock_out(record);
    if (!o) return false;
    bool ok = false;
    void* b = o->value_map > 0 ? lock_handle(o->hot_spots) : nullptr;
    if (b) {
        if (auto* m = static_cast<value_map*>(hblock_cell(b, o->value_map))) {
            *out = *m;
            ok = true;
        }
        unlock_handle(o->hot_spots);
    }
    unlock_handle(record);
    return ok;
}

bool take_pending_y_range(double* top, double* bottom) {
    if (!pending_y.set) return false;
    pending_y.set = false;
    *top = pending_y.top;
    *bottom = pending_y.bottom;
    return true;
}

RECT draw_text_hot(int x, int y, char horizontal, char vertical, const char* text,
                   std::int32_t text_cell, int font) {
    RECT r = draw_text_aligned(x, y, horizontal, vertical, text);
    if (!text_cell || !cur_output) return r;
    output_record* o = lock_out(cur_output);
    if (!o) return r;
    if (!o->hot_spots_ready && o->hot_spots) {
        const handle block = o->hot_spots;
        std::uint32_t head = static_cast<std::uint32_t>(o->words[3]);
        std::uint32_t cell = 0;
        for_each_spot(block, head, [&](std::uint32_t c, hot_spot& s) {
            if (s.text) return true;
            cell = c;
            return false;
        });
        bool fresh = false;
        if (!cell) {
            std::int32_t c = hblock_alloc(block, sizeof(hot_spot), 0);
            if (c > 0) {
                cell = static_cast<std::uint32_t>(c);
                fresh = true;
            }
        }
        if (cell) {
            void* b = lock_handle(block);
            auto* s = static_cast<hot_spot*>(hblock_cell(b, static_cast<std::int32_t>(cell)));
            if (s) {
                if (fresh) {
                    s->next = head;
                    o->words[3] = static_cast<std::int32_t>(cell);
                }
                s->text = static_cast<std::uint32_t>(text_cell);
                s->font = static_cast<std::uint32_t>(font);
                auto clamp16 = [](long v) {
                    return static_cast<std::int16_t>(std::clamp(v, -32760L, 32760L));
                };
                s->top = clamp16(r.top);
                s->left = clamp16(r.left);
                s->bottom = clamp16(static_cast<long>(r.top) + drawing.line_height);
                s->right = clamp16(r.right);
            }
            unlock_handle(block);
        }
    }
    unlock_handle(cur_output);
    return r;
}

std::vector<hot_spot> record_hot_spots(handle record) {
    std::vector<hot_spot> out;
    output_record* o = lock_out(record);
    if (!o) return out;
    for_each_spot(o->hot_spots, static_cast<std::uint32_t>(o->words[3]),
                  [&](std::uint32_t, hot_spot& s) {
                      if (s.text) out.push_back(s);
                      return true;
                  });
    unlock_handle(record);
    return out;
}

void reset_hot_spots(handle record) {
    output_record* o = lock_out(record);
    if (!o) return;
    for_each_spot(o->hot_spots, static_cast<std::uint32_t>(o->words[3]),
                  [](std::uint32_t, hot_spot& s) {
                      s.text = 0;
                      return true;
                  });
    o->hot_spots_ready = 0;
    unlock_handle(record);
}

std::uint32_t hit_hot_spot(handle record, int x, int y) {
    for (const hot_spot& s : record_hot_spots(record))
        if (x >= s.left && x <= s.right && y >= s.top && y <= s.bottom) return s.text;
    return 0;
}

void graph_output_size(int width, int height, int* out_width, int* out_height) {
    if (out_size.cx > 0 && out_size.cy > 0) {
        *out_width = out_size.cx;
        *out_height = out_size.cy;
        return;
    }
    int w = width, h = height;
    if (drawing.printing && !drawing.gtx_mode && drawing.printer_dc) {
        // The print options' sizing, within the page.
        const int pw = std::max(GetDeviceCaps(drawing.printer_dc, HORZRES), 1);
        const int ph = std::max(GetDeviceCaps(drawing.printer_dc, VERTRES), 1);
        if ((opts.sizing & sz_percent) && opts.print_percent > 5) {
            const long long p = std::min(opts.print_percent, 100000);
            w = static_cast<int>(std::min<long long>(w * p / 100, pw));
            h = static_cast<int>(std::min<long long>(h * p / 100, ph));
        } else if (opts.sizing & sz_fill_page) {
            w = pw - drawing.device_res[2];
            h = ph - drawing.device_res[3];
        } else {
            if ((opts.sizing & sz_width) && opts.print_width > 0)
                w = cm_to_device(std::min(opts.print_width, 1000.0f) * 2.54, 1);
            if ((opts.sizing & sz_height) && opts.print_height > 0)
                h = cm_to_device(std::min(opts.print_height, 1000.0f) * 2.54, 0);
        }
        *out_width = std::clamp(w, 1, pw);
        *out_height = std::clamp(h, 1, ph);
        return;
    }
    if (!drawing.gtx_mode && container_wnd) {
        RECT c;
        GetClientRect(container_wnd, &c);
        const int bx = GetSystemMetrics(SM_CXFRAME), by = GetSystemMetrics(SM_CYFRAME);
        const int cw = static_cast<int>(c.right) - 2 * bx;
        const int ch = static_cast<int>(c.bottom) - 2 * by - caption_height;
        if (cw > 0) w = std::min(w, cw);
        if (ch > 0) h = std::min(h, ch);
    }
    *out_width = std::max(w, 1);
    *out_height = std::max(h, 1);
}

int open_graph_window(handle record, const char* title, int x, int y, int width, int height) {
    int w = 0, h = 0;
    graph_output_size(std::max(width, min_graph_width), height, &w, &h);
    if (drawing.gtx_mode || drawing.printing) {
        // Laid out for a saved, copied or printed picture: only the size.
        out_size = SIZE{w, h};
        return 1;
    }
    HWND window = open_output_window(record, "Kavrel_graphics", title, x, y, w, h, 0);
    if (!window) return 0;
    SetWindowLongPtr(window, 0, static_cast<LONG_PTR>(record));
    RECT c;
    GetClientRect(window, &c);
    output_record* o = lock_out(record);
    if (o) {
        o->window = window;
        o->width = static_cast<std::int32_t>(c.right);
        o->height = static_cast<std::int32_t>(c.bottom);
        unlock_handle(record);
    }
    if (std::find(open_windows.begin(), open_windows.end(), record) == open_windows.end())
        open_windows.push_back(record);
    // The window may have painted before it knew its record.
    InvalidateRect(window, nullptr, TRUE);
    return 1;
}

namespace {

// The press of a click on a drawn name: the spot's text cell, 0 none.
std::uint32_t pressed_spot = 0;

// The one text selection of all graphics windows, and the character the
// press was on.
hot_spot_selection selection;
int pressed_char = 0;

// The spot's text and a pass on the window's device with the spot's font
// selected, for measuring its characters.
class spot_measure {
public:
    spot_measure(HWND window, handle record, const hot_spot& spot)
        : window_(window), dc_(GetDC(window)), pass_(dc_, dc_) {
        text_ = hot_spot_text(record, spot.text);
        if (!pass_.ok()) return;
        output_record* o = static_cast<output_record*>(lock_handle(record));
        const handle texts = o ? static_cast<handle>(o->words[1]) : 0;
        const std::int32_t table = o ? o->font_table_cell : 0;
        if (o) unlock_handle(record);
        void* b = texts && table > 0 && spot.font < 6 ? lock_handle(texts) : nullptr;
        if (b) {
            if (auto* fonts = static_cast<const font_spec*>(hblock_cell(b, table))) {
                const font_spec f = sane_font_spec(fonts[spot.font]);
                select_font(1, &f, nullptr, 0, 0xFFFFFFFFu, 0, false);
            }
            unlock_handle(texts);
        }
    }
    ~spot_measure() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    spot_measure(const spot_measure&) = delete;
    spot_measure& operator=(const spot_measure&) = delete;
    HDC dc() const { return pass_.ok() ? dc_ : nullptr; }
    const std::string& text() const { return text_; }

private:
    HWND window_;
    HDC dc_;
    draw_pass pass_;
    std::string text_;
};

// Inverts the selected characters on the window (twice puts them back).
void invert_selection(HWND window) {
    if (!selection.record || selection.start >= selection.end || !IsWindow(window)) return;
    spot_measure m(window, selection.record, selection.spot);
    if (!m.dc()) return;
    const char* t = m.text().c_str();
    RECT r{text_index_to_x(selection.spot.left, t, selection.start), selection.spot.top,
           text_index_to_x(selection.spot.left, t, selection.end), selection.spot.bottom};
    InvertRect(m.dc(), &r);
}

// The character of the selected spot under x.
int char_at(HWND window, int x) {
    spot_measure m(window, selection.record, selection.spot);
    if (!m.dc()) return 0;
    const int n = static_cast<int>(m.text().size());
    return std::clamp(text_x_to_index(m.text().c_str(), x - selection.spot.left), 0, n);
}

HWND container_of(handle record) {
    output_record* o = static_cast<output_record*>(lock_handle(record));
    HWND c = o ? o->container : nullptr;
    if (o) unlock_handle(record);
    return c && IsWindow(c) ? c : nullptr;
}

void clear_selection(HWND window) {
    invert_selection(window);
    selection = hot_spot_selection{};
}

// Within 10 pixels of the selected spot.
bool near_selection(int x, int y) {
    const hot_spot& s = selection.spot;
    return x >= s.left - 10 && x <= s.right + 10 && y >= s.top - 10 && y <= s.bottom + 10;
}

void paint(HWND window, handle record) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    output_record* o = lock_out(record);
    if (o && !o->chart && o->draw) {
        RECT c;
        GetClientRect(window, &c);
        out_size = SIZE{c.right, c.bottom};
        SetBkMode(dc, TRANSPARENT);
        {
            draw_pass pass(dc, dc);
            if (pass.ok()) o->draw(o);
        }
        out_size = SIZE{0, 0};
        o->hot_spots_ready = 1;
    }
    if (o) unlock_handle(record);
    EndPaint(window, &ps);
    // The selected characters stay shown.
    if (selection.record == record) invert_selection(window);
}

void close_graph(HWND window, handle record) {
    output_record* o = lock_out(record);
    if (!o) return;
    const bool kept = o->keep != 0;
    void (*release)(handle) = o->release;
    unlock_handle(record);
    if (kept || drawing.printing) return;
    if (selection.record == record) selection = hot_spot_selection{};
    unlist_output_window(record);
    SetWindowLongPtr(window, 0, 0);
    if (release) release(record);
    free_output_record(record);
    destroy_tool_window(window);
}

// A range drag: the axis (0 x, 1 y), the anchors in pixels (-1 unset), the map.
struct range_drag {
    bool on = false;
    int axis = 0;
    int a = -1, b = -1;
    value_map map{};
} drag;

void invert_anchor(HWND window, int pos) {
    if (pos < 0) return;
    HDC dc = GetDC(window);
    if (!dc) return;
    RECT c;
    GetClientRect(window, &c);
    const int old = SetROP2(dc, R2_NOTXORPEN);
    HGDIOBJ pen = SelectObject(dc, GetStockObject(BLACK_PEN));
    if (drag.axis == 0) {
        MoveToEx(dc, pos, 0, nullptr);
        LineTo(dc, pos, c.bottom);
    } else {
        MoveToEx(dc, 0, pos, nullptr);
        LineTo(dc, c.right, pos);
    }
    SelectObject(dc, pen);
    SetROP2(dc, old);
    ReleaseDC(window, dc);
}

int clamp_to_axis(int pos) {
    const int p0 = drag.axis ? drag.map.y_p0 : drag.map.x_p0;
    const int p1 = drag.axis ? drag.map.y_p1 : drag.map.x_p1;
    return std::clamp(pos, std::min(p0, p1), std::max(p0, p1));
}

// The values of the two anchors applied: the next graph's y range, or the
// model's shown time range.
void finish_range(handle record) {
    const int s = std::min(drag.a, drag.b), e = std::max(drag.a, drag.b);
    const value_map& m = drag.map;
    if (drag.axis == 1) {
        const double k = static_cast<double>(m.y_v1 - m.y_v0) / (m.y_p1 - m.y_p0);
        pending_y.top = m.y_v1 - (s - m.y_p0) * k;
        pending_y.bottom = m.y_v1 - (e - m.y_p0) * k;
        pending_y.set = true;
        return;
    }
    const double k = static_cast<double>(m.x_v1 - m.x_v0) / (m.x_p1 - m.x_p0);
    const double lo = m.x_v0 + (s - m.x_p0) * k, hi = m.x_v0 + (e - m.x_p0) * k;
    // Only an x axis of the time basis in use sets the shown times; a time
    // base's values go back to model time through its scale and offset.
    if (!model_rec || !(hi > lo)) return;
    const std::string name = hot_spot_text(record, m.name);
    // An axis of a subscript range's elements (the value at each element's
    // place is its position): the elements the drag reaches become the
    // range's selection.
    if (!name.empty() && lock_model(0) == 1) {
        const symbol_id named = find_symbol(name.c_str());
        const bool range = valid_symbol(named) && sym(named)->type == st_range;
        const element_list* elements = range ? safe_range_elements(named) : nullptr;
        const long count = elements ? static_cast<long>(elements->count) : 0;
        unlock_model(0);
        if (range) {
            // Each element owns the room of its bars (position +- 0.5): a
            // drag that reaches into it takes it.
            const long first = std::max(0L, static_cast<long>(std::floor(lo + 0.5)));
            const long last = std::min(count - 1, static_cast<long>(std::floor(hi + 0.5)));
            if (first <= last && subpanel_set_range(named))
                subpanel_select_span(static_cast<int>(first), static_cast<int>(last));
            return;
        }
    }
    double scale = 1, offset = 0;
    if (model_rec->time_base) {
        if (lock_model(0) != 1) return;
        const symbol_id named = find_symbol(name.c_str());
        unlock_model(0);
        if (named != model_rec->time_base || time_base_scale(named, &scale, &offset) != 1 ||
            !std::isfinite(scale) || scale == 0)
            return;
    } else if (name != "Time" && !name.empty()) {
        return;
    }
    const double a = (lo - offset) / scale, b = (hi - offset) / scale;
    model_rec->start = std::min(a, b);
    model_rec->end = std::max(a, b);
    refresh_time_axis();
}

} // namespace

const hot_spot_selection& current_selection() {
    return selection;
}

namespace {

// One graph window's page of the open print job: laid out at the window's
// size in the printer's resolution (or as the print options size it),
// within the page, centred, with the page footer. false when the record
// cannot be drawn or the page could not be started.
bool print_graph_page(HDC dc, handle record) {
    output_record* o = lock_out(record);
    if (!o) return false;
    void (*draw)(output_record*) = o->draw;
    const int cw = o->width, ch = o->height;
    unlock_handle(record);
    if (!draw || StartPage(dc) <= 0) return false;
    // The window's picture at the printer's resolution, within the page.
    const int page_w = GetDeviceCaps(dc, HORZRES), page_h = GetDeviceCaps(dc, VERTRES);
    const int sx = std::max(drawing.device_res[0], 1), sy = std::max(drawing.device_res[1], 1);
    int w = static_cast<int>(static_cast<long long>(std::max(cw, 1)) * drawing.device_res[2] / sx);
    int h = static_cast<int>(static_cast<long long>(std::max(ch, 1)) * drawing.device_res[3] / sy);
    if (opts.sizing & (sz_width | sz_height | sz_fill_page | sz_percent)) {
        // Sized by the print options (within the page).
        graph_output_size(w, h, &w, &h);
    } else {
        // The window's picture, shrunk to leave room for the footer.
        const double fit = std::min(
            {1.0, page_w / static_cast<double>(std::max(w, 1)), page_h * 0.9 / std::max(h, 1)});
        w = std::max(1, static_cast<int>(w * fit));
        h = std::max(1, static_cast<int>(h * fit));
    }
    drawing.page_offset_x = std::max(0, (page_w - w) / 2);
    drawing.page_offset_y = std::max(0, (page_h - h) / 2);
    const handle saved = cur_output;
    cur_output = record;
    {
        draw_pass pass(dc, dc);
        if (pass.ok()) {
            out_size = SIZE{w, h};
            SetBkMode(dc, TRANSPARENT);
            SetViewportOrgEx(dc, drawing.page_offset_x, drawing.page_offset_y, nullptr);
            if ((o = lock_out(record)) != nullptr) {
                draw(o);
                unlock_handle(record);
            }
            font_spec footer{};
            footer.colour = 0;
            footer.size = 8;
            std::memcpy(footer.face, opts.tool_face, sizeof footer.face);
            footer.face[sizeof footer.face - 1] = '\0';
            print_page_footer(&footer, h);
            out_size = SIZE{0, 0};
        }
    }
    cur_output = saved;
    drawing.page_offset_x = drawing.page_offset_y = 0;
    return EndPage(dc) > 0;
}

} // namespace

std::vector<handle> framed_graph_windows() {
    std::vector<handle> out;
    for (handle h : open_windows) {
        output_record* o = lock_out(h);
        if (!o) continue;
        HWND w = o->window;
        const bool drawn = o->draw != nullptr;
        unlock_handle(h);
        char cls[64] = {};
        if (drawn && w && IsWindow(w) && GetParent(w) && GetClassName(w, cls, sizeof cls) > 0 &&
            std::strcmp(cls, "Kavrel_graphics") == 0)
            out.push_back(h);
    }
    return out;
}

bool (*portrait_page_of)(handle record) = nullptr;

int print_graph_window(handle record) {
    if (drawing.printing) return 0;
    std::vector<handle> records{record};
    // The print options first when asked for; Cancel prints nothing.
    if (printer.open_on_printing && !print_options_dialog(static_cast<int>(record))) return 0;
    // "Multiple", chosen here or earlier in Print Options: every graph window
    // of the tool frames, in turn. The open-first switch has no control in
    // this edition, so a choice made in Print Options must count by itself.
    if (opts.print_selection == 2) records = framed_graph_windows();
    if (records.empty()) return 0;
    // A graph designed for a portrait page prints on one.
    const bool portrait = portrait_page_of && portrait_page_of(records.front());
    const char* orientation = opts.orientation == 2 || portrait ? "P" : "L";
    HDC dc = open_printer_dc(orientation, nullptr, nullptr, false);
    if (!dc) {
        report(8, "Unable to print");
        return 0;
    }
    drawing.printing = 1;
    make_date_stamp();
    if (!start_print_doc()) return 0;
    // One document, a page per window, ended at the first that fails.
    int printed = 0;
    for (handle r : records) {
        if (!print_graph_page(dc, r)) break;
        ++printed;
    }
    close_printer(0);
    return printed == static_cast<int>(records.size()) ? 1 : 0;
}

namespace {

void draw_record(void* context) {
    const handle record = static_cast<handle>(reinterpret_cast<std::uintptr_t>(context));
    const handle saved = cur_output;
    cur_output = record;
    if (output_record* o = lock_out(record)) {
        if (o->draw) o->draw(o);
        unlock_handle(record);
    }
    cur_output = saved;
}

bool ends_with_gtx(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".gtx";
}

} // namespace

namespace {

// A save or copy under way: the device text is measured on, the picture's
// size and the resolution it is laid out at.
struct export_job {
    HWND window = nullptr;
    HDC reference = nullptr;
    bool printer = false;
    SIZE size{1, 1};
    int res_x = 96, res_y = 96;
};

void end_export(export_job& e) {
    if (e.printer) {
        if (printer_is_open()) close_printer(-1);
    } else if (e.reference) {
        ReleaseDC(e.window, e.reference);
    }
    e.reference = nullptr;
    drawing.printing = 0;
    drawing.gtx_mode = 0;
    out_size = SIZE{0, 0};
}

// The reference device (the printer with the printer-for-exports option,
// else the window's) and the size by the export-size option: the window's
// client size, the laid-out size, or what the export-size dialog is told.
// false when no printer could be opened or the dialog was cancelled.
bool begin_export(handle record, export_job& e) {
    output_record* o = lock_out(record);
    if (!o) return false;
    e.window = o->window;
    const SIZE client{std::max(o->width, 1), std::max(o->height, 1)};
    int (*layout)(output_record*) = o->layout;
    unlock_handle(record);
    const export_options& s = graph_export_options();
    drawing.gtx_mode = 1;
    if (s.printer_for_exports) {
        e.reference = open_printer_dc(nullptr, nullptr, nullptr, true);
        if (!e.reference) {
            end_export(e);
            return false;
        }
        e.printer = true;
        drawing.printing = 1;
    } else {
        e.reference = e.window ? GetDC(e.window) : nullptr;
    }
    const int sx = std::max(drawing.device_res[0], 1), sy = std::max(drawing.device_res[1], 1);
    e.res_x = e.printer ? std::max(drawing.device_res[2], 1) : sx;
    e.res_y = e.printer ? std::max(drawing.device_res[3], 1) : sy;
    auto scaled = [](long long v, int to, int from) {
        return static_cast<int>(std::clamp<long long>(v * to / from, 1, export_max_side));
    };
    e.size = SIZE{scaled(client.cx, e.res_x, sx), scaled(client.cy, e.res_y, sy)};
    if (!s.export_size) return true;
    SIZE full = e.size;
    out_size = SIZE{0, 0};
    if (layout && (o = lock_out(record)) != nullptr) {
        const handle saved = cur_output;
        cur_output = record;
        const int laid = layout(o);
        cur_output = saved;
        unlock_handle(record);
        if (laid && out_size.cx > 0 && out_size.cy > 0)
            full = SIZE{std::min<LONG>(out_size.cx, export_max_side),
                        std::min<LONG>(out_size.cy, export_max_side)};
    }
    out_size = SIZE{0, 0};
    e.size = full;
    if (s.export_size != 1) return true;
    export_size_request r;
    r.metric = opts.metric != 0;
    const double unit = r.metric ? 2.54 : 1.0;
    r.full_w = full.cx * unit / e.res_x;
    r.full_h = full.cy * unit / e.res_y;
    r.screen_w = client.cx * unit / sx;
    r.screen_h = client.cy * unit / sy;
    r.res_x = e.res_x;
    r.res_y = e.res_y;
    SIZE chosen{0, 0};
    if (!ask_export_size(e.window, r, &chosen)) {
        end_export(e);
        return false;
    }
    e.size = chosen;
    return true;
}

void mark_spots_ready(handle record) {
    if (output_record* o = lock_out(record)) {
        o->hot_spots_ready = 1;
        unlock_handle(record);
    }
}

} // namespace

int save_graph_window(handle record, const char* path) {
    if (!path || !*path) return 0;
    export_job e;
    if (!begin_export(record, e)) return 0;
    void* context = reinterpret_cast<void*>(static_cast<std::uintptr_t>(record));
    const int ok = ends_with_gtx(path)
                       ? write_gtx(path, e.size, e.reference, draw_record, context)
                       : write_wmf(path, e.size, e.reference, e.res_x, draw_record, context);
    end_export(e);
    mark_spots_ready(record);
    return ok;
}

int copy_graph_window(handle record) {
    export_job e;
    if (!begin_export(record, e)) return 0;
    void* context = reinterpret_cast<void*>(static_cast<std::uintptr_t>(record));
    const int ok =
        copy_picture(e.window, e.size, e.reference, e.res_x, e.res_y, draw_record, context);
    end_export(e);
    mark_spots_ready(record);
    return ok;
}

std::string hot_spot_text(handle record, std::uint32_t cell) {
    output_record* o = lock_out(record);
    if (!o) return {};
    const handle texts = static_cast<handle>(o->words[1]);
    unlock_handle(record);
    void* b = texts && cell ? lock_handle(texts) : nullptr;
    if (!b) return {};
    const char* t = static_cast<const char*>(hblock_cell(b, static_cast<std::int32_t>(cell)));
    std::string out = t ? t : "";
    unlock_handle(texts);
    return out;
}

std::string variable_name_of(const std::string& text) {
    // A legend line names the element before " : " (the run after it); a
    // title may carry units in brackets after the name.
    std::string name = text.substr(0, text.find(" : "));
    const std::size_t units = name.find(" (");
    if (units != std::string::npos && units > 0) name.resize(units);
    return name;
}

namespace {

// The background in the graph's colour.
void erase_graph_background(HWND window, HDC dc) {
    RECT c;
    GetClientRect(window, &c);
    HBRUSH b = CreateSolidBrush(graph_background);
    FillRect(dc, &c, b);
    DeleteObject(b);
}

// The output's new size; its hot spots are made again at the next paint.
void graph_resized(HWND window, handle record, LPARAM lparam) {
    output_record* o = lock_out(record);
    if (o) {
        o->width = LOWORD(lparam);
        o->height = HIWORD(lparam);
        unlock_handle(record);
    }
    reset_hot_spots(record);
    InvalidateRect(window, nullptr, TRUE);
}

// A press: Shift or Ctrl starts dragging a new x or y range on the axis;
// otherwise a press on a text selects the name under it, and a window
// holding the graph hears of the press.
void graph_mouse_down(HWND window, handle record, WPARAM wparam, LPARAM lparam) {
    SetCapture(window);
    const int x = GET_X_LPARAM(lparam), y = GET_Y_LPARAM(lparam);
    value_map m{};
    const bool shift = wparam & MK_SHIFT, ctrl = wparam & MK_CONTROL;
    if ((shift || ctrl) && record_value_map(record, &m) &&
        (shift ? m.x_p1 != m.x_p0 : m.y_p1 != m.y_p0)) {
        drag = range_drag{};
        drag.on = true;
        drag.axis = shift ? 0 : 1;
        drag.map = m;
        drag.a = clamp_to_axis(shift ? x : y);
        invert_anchor(window, drag.a);
        return;
    }
    clear_selection(window);
    pressed_spot = hit_hot_spot(record, x, y);
    for (const hot_spot& s : record_hot_spots(record))
        if (pressed_spot && s.text == pressed_spot) {
            // The name around the pressed character is selected.
            selection.record = record;
            selection.spot = s;
            pressed_char = char_at(window, x);
            const std::string text = hot_spot_text(record, s.text);
            int a = 0, b = 0;
            find_name_extent(text, pressed_char, static_cast<int>(text.size()), &a, &b);
            selection.start = a < b ? a : pressed_char;
            selection.end = a < b ? b : pressed_char;
            invert_selection(window);
            break;
        }
    // A window that holds the graph hears of the press.
    if (HWND container = container_of(record))
        SendMessage(container, WM_USER + 1, reinterpret_cast<WPARAM>(window), lparam);
}

// A drag widens the selection from the pressed character, or moves the range
// drag's second end.
void graph_mouse_move(HWND window, handle record, WPARAM wparam, LPARAM lparam) {
    if (!drag.on && selection.record == record && pressed_spot && (wparam & MK_LBUTTON) &&
        near_selection(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam))) {
        // From the pressed character to the one under the pointer.
        const int c = char_at(window, GET_X_LPARAM(lparam));
        const int a = std::min(c, pressed_char), b = std::max(c, pressed_char);
        if (c != pressed_char && (a != selection.start || b != selection.end)) {
            invert_selection(window);
            selection.start = a;
            selection.end = b;
            invert_selection(window);
        }
    }
    if (drag.on && (wparam & MK_LBUTTON)) {
        const int p = clamp_to_axis(drag.axis ? GET_Y_LPARAM(lparam) : GET_X_LPARAM(lparam));
        if (p != drag.b) {
            invert_anchor(window, drag.b);
            drag.b = p;
            invert_anchor(window, drag.b);
        }
    }
}

// A release ends a range drag (taking the range) or a press on a text.
void graph_mouse_up(HWND window, handle record, LPARAM lparam) {
    ReleaseCapture();
    if (drag.on) {
        invert_anchor(window, drag.a);
        invert_anchor(window, drag.b);
        if (drag.b >= 0 && drag.b != drag.a) finish_range(record);
        drag = range_drag{};
        return;
    }
    const std::uint32_t spot = pressed_spot;
    pressed_spot = 0;
    const int x = GET_X_LPARAM(lparam), y = GET_Y_LPARAM(lparam);
    // A release on the name that was pressed makes the selected text's
    // variable the workbench variable (the whole name when the selection
    // is not one).
    if (spot && hit_hot_spot(record, x, y) == spot) {
        const std::string text = hot_spot_text(record, spot);
        const bool chosen = selection.record == record && selection.start < selection.end &&
                            select_var_text(text.c_str(), selection.start, selection.end) == 1;
        const std::string name = variable_name_of(text);
        if (!chosen && !name.empty())
            select_var_text(name.c_str(), 0, static_cast<int>(name.size()));
    }
    if (HWND container = spot ? container_of(record) : nullptr)
        PostMessage(container, WM_USER + 2, reinterpret_cast<WPARAM>(window), lparam);
    // A click leaves nothing selected; a drag leaves its text shown.
    if (selection.record == record && (!spot || char_at(window, x) == pressed_char))
        clear_selection(window);
}

// The output's live update, asked for by a Livesweep re-run.
void graph_live_update(handle record) {
    output_record* o = lock_out(record);
    void (*live)(handle) = o ? o->live_update : nullptr;
    if (o) unlock_handle(record);
    if (live) live(record);
}

// The output window's commands: keep, close, print, copy and save.
void graph_command(HWND window, handle record, WPARAM wparam) {
    const int id = LOWORD(wparam);
    output_record* o = lock_out(record);
    if (!o) return;
    if (id == 493) o->keep = !o->keep;
    if (id == cmd_lock_output) o->keep = 1;
    if (id == cmd_unlock_output) o->keep = 0;
    unlock_handle(record);
    if (id == cmd_close_output) close_graph(window, record);
    if (id == cmd_print_output) print_graph_window(record);
    if (id == cmd_export_output) copy_graph_window(record);
    if (id == cmd_save_output || id == 494) {
        const char* path = file_dialog("File to save contents as", "", fd_save,
                                       ft_metafiles | ft_gtx, 0, ft_metafiles, 0, nullptr, nullptr);
        if (path) save_graph_window(record, path);
    }
    if (id == 493) InvalidateRect(window, nullptr, TRUE);
}

} // namespace

LRESULT graphics_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const handle record = record_of(window);
    if (!record) return DefWindowProc(window, message, wparam, lparam);
    // Drawing callbacks read the current record; give it back afterwards.
    const handle saved = cur_output;
    struct restore {
        handle h;
        ~restore() { cur_output = h; }
    } keep_current{saved};
    cur_output = record;
    switch (message) {
    case WM_ERASEBKGND:
        erase_graph_background(window, reinterpret_cast<HDC>(wparam));
        return 1;
    case WM_PAINT:
        paint(window, record);
        return 0;
    case WM_KILLFOCUS:
        if (selection.record == record) clear_selection(window);
        return 0;
    case WM_SIZE:
        graph_resized(window, record, lparam);
        return 0;
    case WM_LBUTTONDOWN:
        graph_mouse_down(window, record, wparam, lparam);
        return 0;
    case WM_MOUSEMOVE:
        graph_mouse_move(window, record, wparam, lparam);
        return 0;
    case WM_LBUTTONUP:
        graph_mouse_up(window, record, lparam);
        return 0;
    case WM_USER:
        graph_live_update(record);
        return 0;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE) {
            close_graph(window, record);
            return 0;
        }
        break;
    case WM_COMMAND:
        graph_command(window, record, wparam);
        return 0;
    default:
        break;
    }
    return DefWindowProc(window, message, wparam, lparam);
}

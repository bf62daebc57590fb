// The input and output objects of a view: the live slider and output windows
// placed over their elements' boxes, set up and kept following the runs.
#include "sketch/ioobjects.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <strings.h>
#include <vector>

#include "draw/drawing.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "graphs/chartgraph.h"
#include "graphs/customgraph.h"
#include "model/context.h"
#include "model/model.h"
#include "model/subscript_selection.h"
#include "model/varnames.h"
#include "runs/cache.h"
#include "shell/controls/slider.h"
#include "shell/msgbox.h"
#include "shell/palette.h"
#include "shell/state.h"
#include "shell/toolset.h"
#include "shell/varselect.h"
#include "sim/native/native.h"
#include "sim/run.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sketch/viewnav.h"
#include "sketch/views.h"
#include "tools/output.h"

namespace {

// Each view's object windows by element number (null: none).
std::map<HWND, std::vector<HWND>>& objects() {
    static std::map<HWND, std::vector<HWND>> map;
    return map;
}

struct pending_rect {
    bool set = false;
    int x = 0, y = 0, w = 0, h = 0;
};
pending_rect& pending() {
    static pending_rect p;
    return p;
}

bool is_io_object(const sketch_elem& e) {
    return e.kind == ek_text && (e.flags & ef_io_object);
}

// The symbol number that begins an object's stored text (0: none).
symbol_id object_symbol(const sketch_elem& e) {
    const char* t = e.text.c_str();
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(t, &end, 10);
    return end == t || errno || n <= 0 ? 0 : static_cast<symbol_id>(n);
}

// Whether sliders set constants now: in Simulation Setup and Livesweep.
bool constants_changeable() {
    return sim_phase == phase_setup || sim_phase == phase_livesweep_ready ||
           livesweep_state == ls_on;
}

// The value slot a slider on element e sets now (0: none, read-only): a
// constant in Simulation Setup and Livesweep, a game input between the
// intervals of a game.
int slider_binding(const sketch_state& s, const sketch_elem& e) {
    const bool gaming = game_state != 0;
    if (!constants_changeable() && !gaming) return 0;
    std::int32_t slot = 0;
    const int type = io_object_slot(s.symbols, e, &slot);
    if (slot <= 0) return 0;
    if (type == st_constant && constants_changeable()) return slot;
    if (type == st_game && gaming) return slot;
    return 0;
}

// The value of an object's variable in the run shown (its first time).
bool run_value(const sketch_state& s, const sketch_elem& e, float* out) {
    if (!value_cache_exists()) return false;
    std::int32_t slot = 0;
    if (!io_object_slot(s.symbols, e, &slot) || slot < 0) return false;
    const float *times = nullptr, *values = nullptr;
    const int run = shown_run_slot() >= 0 ? shown_run_slot() : 0;
    if (cached_series(slot, &times, &values, run) <= 0 || !values || is_na(values[0])) return false;
    *out = values[0];
    return true;
}

// The value a read-only slider shows: the run shown's, or while no run holds
// it the model's own, from one initial pass kept for the model (a slider at 0
// before the first run would read as a constant of 0).
bool shown_value(const sketch_state& s, const sketch_elem& e, float* out) {
    if (run_value(s, e, out)) return true;
    std::int32_t slot = -1;
    if (!s.symbols || !io_object_slot(s.symbols, e, &slot)) return false;
    static handle initial_of = 0;
    static std::vector<float> initial;
    if (initial_of != s.symbols) {
        initial_of = s.symbols;
        initial.clear();
        sim_options o;
        o.initial_only = true;
        sim_output run;
        // Only values to show: no compile started, no code generator loaded.
        native_auto_held no_compile(true);
        if (simulate_model(s.symbols, o, &run) == sim_done) initial = run.initial;
    }
    if (slot <= 0 || static_cast<std::size_t>(slot) >= initial.size()) return false;
    *out = initial[static_cast<std::size_t>(slot)];
    return true;
}

// Sends a float by pointer, as the slider takes its numbers.
void send_float(HWND w, UINT m, float v) {
    SendMessage(w, m, 0, reinterpret_cast<LPARAM>(&v));
}

// A slider's range that cannot be used is said once per model and slider,
// not at every redraw of the view.
bool first_word_on(const sketch_state& s, const sketch_elem& e) {
    static std::set<std::pair<handle, std::string>> told;
    return told.insert({s.symbols, e.text}).second;
}

// Binds a slider to its slot for the mode now, with its range and colour.
// A range the slider cannot work over (values it would write that do not
// read back as themselves) leaves the slider on the default scale and
// read-only, with one message naming the slider and why.
void set_up_slider(HWND w, const sketch_state& s, const sketch_elem& e) {
    double lo = 0, hi = 100.0, step = 0;
    std::string why;
    const bool usable = read_slider_range(e.text, &lo, &hi, &step, &why) >= 0;
    if (!usable) {
        lo = 0, hi = 100.0, step = 0;
        if (first_word_on(s, e)) {
            std::string name;
            if (!io_object_text(s.symbols, e.text, &name)) name = e.text;
            name = name.substr(0, name.find('|'));
            report(7,
                   "The slider of %s cannot be used: its range \"%s\" will not do (%s). It "
                   "shows the value and cannot change it.",
                   name.c_str(), e.text.substr(e.text.find('|') + 1).c_str(), why.c_str());
        }
    }
    const std::uint32_t bg = s.view.rec.background;
    SendMessage(w, vs_background, 0,
                static_cast<LPARAM>(bg == 0xFFFFFFFFu ? -1 : static_cast<std::int32_t>(bg)));
    send_float(w, vs_set_minimum, static_cast<float>(lo));
    send_float(w, vs_set_maximum, static_cast<float>(hi));
    send_float(w, vs_set_increment, static_cast<float>(step));
    SendMessage(w, vs_show_labels, 1, 0);
    const int slot = usable ? slider_binding(s, e) : 0;
    if (slot > 0 && !setup_copy) ensure_setup_copy(0);
    SendMessage(w, vs_bind_slot, static_cast<WPARAM>(setup_copy ? slot : 0), 0);
    if (slot > 0 && setup_copy) return;
    // Not changeable now: the constant's value in the run shown, read-only.
    float shown = 0;
    if (shown_value(s, e, &shown)) send_float(w, vs_set_value, shown);
}

HWND make_slider(HWND view, const sketch_state& s, const sketch_elem& e, int n) {
    const RECT r = io_object_rect(s, e);
    HWND w = CreateWindow("Kavrel_vslider", "10.0", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, r.left,
                          r.top, r.right - r.left, r.bottom - r.top, view,
                          reinterpret_cast<HMENU>(static_cast<std::intptr_t>(n)), hinst, nullptr);
    if (w) set_up_slider(w, s, e);
    return w;
}

// The palette tool of that name (case ignored), 0 when there is none.
handle palette_tool_named(const std::string& name) {
    const palette_grid& g = palette_cells;
    for (int row = 0; row < g.rows; ++row)
        for (int col = 0; col < g.cols; ++col)
            if (handle t = grid_tool(g, row, col);
                t && strcasecmp(tool_name(t).c_str(), name.c_str()) == 0)
                return t;
    return 0;
}

// Runs an output object's graph or tool with the diagram as the parent; the
// window it opened there, or null.
HWND make_output(HWND view, sketch_state& s, const sketch_elem& e) {
    std::string shown;
    if (!io_object_text(s.symbols, e.text, &shown)) return nullptr;
    const RECT r = io_object_rect(s, e);
    pending() = {true, static_cast<int>(r.left), static_cast<int>(r.top),
                 static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top)};
    const handle before = cur_output;
    // An object that cannot show yet (no run loaded, a graph the set lacks)
    // keeps its stand-in quietly: the diagram is made often, and a box each
    // time would stand in the user's way.
    message_hold quiet;
    io_parent_wnd = view;
    if (e.label == io_output_graph) {
        const std::size_t bar = shown.find('|');
        run_user_tool(bar == std::string::npos ? shown.c_str() : shown.substr(0, bar).c_str(), 0,
                      0);
    } else {
        const std::size_t bar = shown.find('|');
        if (bar != std::string::npos) {
            const std::string variable = shown.substr(0, bar);
            select_var_text(variable.c_str(), 0, static_cast<int>(variable.size()));
            if (handle tool = palette_tool_named(shown.substr(bar + 1))) run_palette_tool(tool);
        }
    }
    io_parent_wnd = nullptr;
    pending() = {};
    HWND opened = nullptr;
    if (cur_output && cur_output != before) {
        if (auto* o = static_cast<output_record*>(lock_handle(cur_output))) {
            opened = o->window;
            unlock_handle(cur_output);
        }
    }
    if (opened && GetParent(opened) != view) opened = nullptr; // it went elsewhere
    cur_output = before;
    return opened;
}

void close_object(HWND w, bool slider) {
    if (!w || !IsWindow(w)) return;
    if (slider)
        DestroyWindow(w);
    else
        SendMessage(w, WM_COMMAND, cmd_close_output, 0);
}

bool is_slider(HWND w) {
    char cls[32] = "";
    return w && GetClassName(w, cls, sizeof cls) && std::string(cls) == "Kavrel_vslider";
}

} // namespace

RECT io_object_rect(const sketch_state& s, const sketch_elem& e) {
    const int zoom = s.zoom > 0 ? s.zoom : 100;
    const int x = (e.x - e.w) * zoom / 100 - s.scroll_x;
    const int y = (e.y - e.h) * zoom / 100 - s.scroll_y;
    const int w = std::max(1, e.w * zoom * 2 / 100), h = std::max(1, e.h * zoom * 2 / 100);
    return RECT{x, y, x + w, y + h};
}

void make_io_objects(HWND view, sketch_state& s, int mode) {
    if (!view || !s.io_state || !s.symbols || s.symbols != cur_model_symbols) return;
    if (mode == 0) destroy_io_objects(view, s);
    s.io_state = 0; // nothing re-enters while the objects are made
    ++busy_depth;
    const handle saved_output = cur_output;
    std::vector<HWND> list = objects()[view];
    list.resize(s.view.elems.size(), nullptr);
    for (std::size_t n = 1; n < s.view.elems.size(); ++n) {
        const sketch_elem& e = s.view.elems[n];
        if (!is_io_object(e)) continue;
        HWND& w = list[n];
        if (e.hidden() || e.level_value() > s.shown_level) {
            close_object(w, is_slider(w));
            w = nullptr;
            continue;
        }
        if (e.label == io_input_slider) {
            if (w && IsWindow(w)) {
                if (GetCapture() != w) set_up_slider(w, s, e);
            } else {
                w = make_slider(view, s, e, static_cast<int>(n));
            }
        } else if (e.label == io_output_graph || e.label == io_output_tool) {
            // Mode 2 (a Livesweep re-run): the window redraws from the new
            // values. Otherwise made again, showing the runs as they are now.
            if (mode == 2 && w && IsWindow(w)) {
                PostMessage(w, WM_USER, 0, 0);
                continue;
            }
            close_object(w, false);
            w = nullptr;
            w = make_output(view, s, e);
        }
    }
    objects()[view] = list;
    // An object whose graph or tool could not open (no run loaded yet, a
    // graph the set lacks) has no window: the diagram draws its stand-in.
    for (std::size_t n = 1; n < s.view.elems.size(); ++n) {
        sketch_elem& e = s.view.elems[n];
        if (list[n] && IsWindow(list[n]))
            e.runtime |= ef_io_window;
        else
            e.runtime &= static_cast<std::uint8_t>(~ef_io_window);
    }
    cur_output = saved_output;
    --busy_depth;
    s.io_state = 2;
}

void destroy_io_objects(HWND view, sketch_state& s) {
    auto it = objects().find(view);
    if (it != objects().end()) {
        std::vector<HWND> list = std::move(it->second);
        objects().erase(it);
        for (HWND w : list) close_object(w, is_slider(w));
    }
    for (sketch_elem& e : s.view.elems) e.runtime &= static_cast<std::uint8_t>(~ef_io_window);
    if (s.io_state == 2) s.io_state = 1;
}

bool update_io_objects() {
    HWND view = current_sketch_view();
    sketch_state* s = view ? sketch_of(view) : nullptr;
    if (!s || !s->io_state) return false;
    make_io_objects(view, *s, 1);
    auto it = objects().find(view);
    if (it == objects().end()) return false;
    return std::any_of(it->second.begin(), it->second.end(),
                       [](HWND w) { return w && IsWindow(w) && !is_slider(w); });
}

bool take_pending_io_rect(int* x, int* y, int* w, int* h) {
    pending_rect& p = pending();
    if (!p.set) return false;
    *x = p.x, *y = p.y, *w = p.w, *h = p.h;
    p = {};
    return true;
}

void place_io_objects(HWND view, const sketch_state& s) {
    auto it = objects().find(view);
    if (it == objects().end()) return;
    for (std::size_t n = 1; n < it->second.size() && n < s.view.elems.size(); ++n) {
        HWND w = it->second[n];
        if (!w || !IsWindow(w)) continue;
        const RECT r = io_object_rect(s, s.view.elems[n]);
        RECT now{};
        GetWindowRect(w, &now);
        POINT tl{now.left, now.top};
        ScreenToClient(view, &tl);
        if (tl.x == r.left && tl.y == r.top && now.right - now.left == r.right - r.left &&
            now.bottom - now.top == r.bottom - r.top)
            continue;
        MoveWindow(w, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
}

HWND io_object_window(HWND view, int n) {
    auto it = objects().find(view);
    if (it == objects().end() || n <= 0 || static_cast<std::size_t>(n) >= it->second.size())
        return nullptr;
    HWND w = it->second[static_cast<std::size_t>(n)];
    return w && IsWindow(w) ? w : nullptr;
}

bool io_slider_value(const sketch_elem& e, float* out) {
    if (!cur_model_symbols) return false;
    std::int32_t slot = -1;
    if (!io_object_slot(cur_model_symbols, e, &slot) || slot <= 0) return false;
    // The value being set in Setup, Livesweep and a game; else the run shown.
    if (setup_copy && (constants_changeable() || game_state) &&
        static_cast<std::uint32_t>(slot) < handle_size(setup_copy) / 4) {
        const auto* v = static_cast<const float*>(lock_handle(setup_copy));
        if (!v) return false;
        *out = v[slot];
        unlock_handle(setup_copy);
        return true;
    }
    sketch_state s;
    s.symbols = cur_model_symbols;
    return shown_value(s, e, out);
}

void show_slot_value(std::int32_t slot, float value) {
    if (slot <= 0) return;
    for (const auto& [view, list] : objects())
        for (HWND w : list) {
            if (!w || !IsWindow(w) || !is_slider(w) || slider_slot(w) != slot) continue;
            float shown = NA;
            SendMessage(w, vs_get_value, 0, reinterpret_cast<LPARAM>(&shown));
            if (shown != value) send_float(w, vs_set_value, value);
        }
}

int resolve_value_slot(symbol_id symbol, std::int32_t* slot, value_slot_ref* out) {
    if (slot) *slot = 0;
    if (out) *out = value_slot_ref{};
    if (!valid_symbol(symbol)) return 0;
    const symbol_record* r = sym(symbol);
    if (r->slot < 0) return 0;
    std::int64_t at = r->slot;
    int ndims = 0;
    if (const dim_record* d = r->dims == scalar_dims ? nullptr : safe_dims(symbol)) {
        ndims = static_cast<int>(d->ndims);
        for (std::uint32_t i = 0; i < d->ndims; ++i) {
            // The first selected element of the dimension's range (the first
            // element when the selection holds none of it).
            std::uint32_t first = 0;
            for (std::uint32_t p = 0; p < d->d[i].count; ++p)
                if (subscript_selected(d->d[i].range, static_cast<int>(p))) {
                    first = p;
                    break;
                }
            at += static_cast<std::int64_t>(first) * d->d[i].stride;
        }
    }
    if (at > INT32_MAX || static_cast<std::uint64_t>(at) >= model_value_slots()) return 0;
    int type = r->type;
    if (type <= st_last_with_slots) {
        const int k = slot_kind(static_cast<std::int32_t>(at));
        if (k > 0) type = k;
    }
    if (slot) *slot = static_cast<std::int32_t>(at);
    if (out) *out = value_slot_ref{symbol, ndims, static_cast<std::int32_t>(at)};
    return type;
}

int io_object_slot(handle symbols, const sketch_elem& e, std::int32_t* slot, symbol_id* symbol) {
    if (slot) *slot = 0;
    if (symbol) *symbol = 0;
    std::string shown;
    if (!symbols || !object_symbol(e) || !io_object_text(symbols, e.text, &shown)) return 0;
    const std::size_t bar = shown.find('|');
    if (bar != std::string::npos) shown.resize(bar);
    model_lock_guard lock(symbols, 0);
    if (!lock.ok()) return 0;
    parsed_name name;
    if (!parse_var_name(shown.c_str(), &name)) return 0;
    // The element the text names; else the variable at the subscript
    // selection (a name typed without its subscripts).
    std::int32_t at = 0;
    symbol_id id = 0;
    int type = find_var_name(name, &at, 0, &id);
    if (!type) {
        id = name.nsubs == 0 ? find_symbol(name.name.c_str()) : 0;
        if (!id || !is_variable_type(sym(id)->type)) return 0;
        type = resolve_value_slot(id, &at);
        if (!type) return 0;
    }
    if (slot) *slot = at;
    if (symbol) *symbol = id;
    return type;
}

std::string io_slider_name(const sketch_state& s, const sketch_elem& e) {
    std::string shown;
    if (!s.symbols || !io_object_text(s.symbols, e.text, &shown)) return {};
    const std::size_t bar = shown.find('|');
    if (bar != std::string::npos) shown.resize(bar);
    // While the engine is in a mode, a name without its subscripts says
    // which element the slider stands for.
    if ((sim_phase == phase_idle && !game_state) || shown.find('[') != std::string::npos ||
        s.symbols != cur_model_symbols)
        return shown;
    std::int32_t slot = 0;
    symbol_id id = 0;
    const int type = io_object_slot(s.symbols, e, &slot, &id);
    if (!type || type >= 25 || !id) return shown;
    model_lock_guard lock(s.symbols, 0);
    if (!lock.ok() || !valid_symbol(id) || sym(id)->slot < 0 || slot < sym(id)->slot) return shown;
    const dim_record* d = safe_dims(id);
    if (!d || d->ndims == 0) return shown;
    return element_name(id, static_cast<std::uint32_t>(slot - sym(id)->slot));
}

namespace {

// An input slider drawn as its window shows it: the groove, the raised
// thumb, the scale labels and the value box with its text, laid out for the
// box (at the recording's scale the box is the window's size at 100 %).
bool draw_slider_window(HDC dc, HWND w, const RECT& box, COLORREF ink, bool mono) {
    const SIZE size{box.right - box.left, box.bottom - box.top};
    slider_geometry g;
    if (size.cx <= 0 || size.cy <= 0 || !slider_layout(w, size, &g)) return false;
    auto at = [&](const RECT& r) {
        return RECT{r.left + box.left, r.top + box.top, r.right + box.left, r.bottom + box.top};
    };
    paint_slider_body(dc, at(g.track), at(g.thumb), GetWindowLong(w, GWL_STYLE) & 0xF, mono, mono);
    const COLORREF was_ink = SetTextColor(dc, ink);
    draw_slider_labels(w, dc, g, POINT{box.left, box.top});
    // The value box: a sunken field with the value's text.
    const RECT edit = at(g.edit);
    HBRUSH field = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &edit, field);
    DeleteObject(field);
    HPEN shadow = CreatePen(PS_SOLID, 1, mono ? RGB(0, 0, 0) : GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ old_pen = SelectObject(dc, shadow);
    {
        HGDIOBJ was = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, edit.left, edit.top, edit.right, edit.bottom);
        SelectObject(dc, was);
    }
    char text[64] = "";
    if (HWND field_wnd = GetDlgItem(w, slider_edit_id)) {
        GetWindowText(field_wnd, text, sizeof text);
        text[14] = 0; // as much as the box shows
        HFONT font = reinterpret_cast<HFONT>(SendMessage(field_wnd, WM_GETFONT, 0, 0));
        if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
        const int mode = SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        TextOut(dc, edit.left + 3, edit.top + 1, text, static_cast<int>(std::strlen(text)));
        SetBkMode(dc, mode);
        if (old_font) SelectObject(dc, old_font);
    }
    SetTextColor(dc, was_ink);
    SelectObject(dc, old_pen);
    DeleteObject(shadow);
    return true;
}

// An output object's window drawn by its own record into a bitmap of the
// window's size, as the screen shows it, then laid over the box.
bool draw_output_window(HDC dc, HWND w, const RECT& box) {
    const handle rec = record_of(w);
    if (!rec) return false;
    RECT rc{};
    GetClientRect(w, &rc);
    const int cw = rc.right, ch = rc.bottom;
    if (cw <= 0 || ch <= 0) return false;
    bool chart = false;
    {
        auto* o = static_cast<output_record*>(lock_handle(rec));
        const bool drawable = o && (o->draw || o->chart);
        chart = o && o->chart;
        if (o) unlock_handle(rec);
        if (!drawable) return false;
    }
    const memory_canvas canvas(cw, ch);
    if (!canvas.ok()) return false;
    HDC mem = canvas.dc();
    FillRect(mem, &rc, GetSysColorBrush(COLOR_WINDOW));
    SetBkMode(mem, TRANSPARENT);
    // The window's own drawing: on the screen's terms, at its size.
    const std::uint8_t printing = drawing.printing;
    const std::int32_t gtx = drawing.gtx_mode;
    const SIZE size = out_size;
    const handle saved = cur_output;
    drawing.printing = 0;
    drawing.gtx_mode = 0;
    out_size = SIZE{cw, ch};
    cur_output = rec;
    {
        draw_pass pass(mem, mem);
        if (chart) {
            // A chart-control graph draws through its chart.
            if (pass.ok()) draw_chart_graph(rec);
        } else {
            auto* o = static_cast<output_record*>(lock_handle(rec));
            if (o && pass.ok() && o->draw) o->draw(o);
            if (o) unlock_handle(rec);
        }
    }
    cur_output = saved;
    out_size = size;
    drawing.printing = printing;
    drawing.gtx_mode = gtx;
    StretchBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, mem, 0, 0, cw, ch,
               SRCCOPY);
    return true;
}

} // namespace

bool render_io_window(HDC dc, HWND view, int n, const RECT& box, COLORREF ink, bool mono) {
    HWND w = view ? io_object_window(view, n) : nullptr;
    if (!w || box.right <= box.left || box.bottom <= box.top) return false;
    return is_slider(w) ? draw_slider_window(dc, w, box, ink, mono)
                        : draw_output_window(dc, w, box);
}

// The quick sliders under each constant of the view in Livesweep: placing,
// drawing, dragging, keyboard focus and the re-runs they ask for.
#include "sketch/sliders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "draw/axis.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/varnames.h"
#include "resources/sketchdlg.h"
#include "runs/cache.h"
#include "shell/controls/bevel.h"
#include "shell/dialogs.h"
#include "shell/msgbox.h"
#include "shell/settings_rows.h"
#include "shell/simdlg.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sketch/behave.h"
#include "sketch/ioobjects.h"
#include "sketch/keys.h"
#include "sketch/livepaint.h"
#include "sketch/overlays.h"
#include "sketch/overrides.h"
#include "sketch/viewnav.h"
#include "sketch/viewprint.h"

namespace {

std::map<HWND, qslider_rec>& records() {
    static std::map<HWND, qslider_rec> map;
    return map;
}

// Each view's sliders by element index (0: none).
std::map<HWND, std::vector<HWND>>& lists() {
    static std::map<HWND, std::vector<HWND>> map;
    return map;
}

void (*previous_refresh)() = nullptr;
void (*previous_output)(int phase) = nullptr;

// Before each re-run the value cache keeps the re-run's values only for the
// slots asked for: the behaviour graphs ask for theirs.
void livesweep_output(int phase) {
    // The refresh after the re-run repaints only the graphs that changed.
    set_live_refresh(phase == 0);
    if (phase == 0) {
        HWND view = current_sketch_view();
        if (const sketch_state* s = view ? sketch_of(view) : nullptr)
            for (std::int32_t slot : behavior_graph_slots(*s))
                cached_series(slot, nullptr, nullptr, shown_run_slot());
    }
    if (previous_output) previous_output(phase);
}

bool usable(float v) {
    return !is_na(v) && std::isfinite(v);
}

// The working copy's value at a slot (NA when there is none).
float working_value(std::int32_t slot) {
    if (slot < 0 || !setup_copy || static_cast<std::uint32_t>(slot) >= handle_size(setup_copy) / 4)
        return NA;
    const auto* v = static_cast<const float*>(lock_handle(setup_copy));
    const float out = v ? v[slot] : NA;
    unlock_handle(setup_copy);
    return out;
}

// The model's own value of a slot (before any change of the working copy).
float model_value(std::int32_t slot) {
    const setup_state* st = setup_copies();
    if (!st || slot < 0 || static_cast<std::size_t>(slot) >= st->model_values.size()) return NA;
    return st->model_values[static_cast<std::size_t>(slot)];
}

// The "Constant (with slider)" override in force on one of a variable's
// value slots (null: none). Needs the model locked.
const input_override* slider_override(symbol_id id, const symbol_record& p) {
    if (!(override_flags & 1) || p.slot < 0 || p.type > st_last_with_slots) return nullptr;
    const std::uint32_t count = sym_dims(id)->count;
    for (std::uint32_t k = 0; k < count; ++k)
        if (const input_override* o = find_input_override(p.slot + static_cast<std::int32_t>(k));
            o && o->shape == ovr_slider)
            return o;
    return nullptr;
}

// A variable of the open model on the view that has a slider: a constant, or
// a variable that a "Constant (with slider)" override holds (the slider then
// drives the held slot). Its symbol and value slot. Needs the model locked.
bool slider_variable(const sketch_elem& e, symbol_id* symbol, std::int32_t* slot) {
    if (e.kind != ek_variable || !e.payload || !valid_symbol(e.payload)) return false;
    const symbol_record* p = sym(e.payload);
    if (!p || p->slot < 0) return false;
    if (p->type == st_constant) {
        // A subscripted constant's slider drives the element the subscript
        // selection picks.
        std::int32_t at = p->slot;
        if (resolve_value_slot(e.payload, &at) <= 0) at = p->slot;
        *symbol = e.payload;
        *slot = at;
        return true;
    }
    const input_override* o = slider_override(e.payload, *p);
    if (!o) return false;
    *symbol = e.payload;
    *slot = static_cast<std::int32_t>(o->slot);
    return true;
}

// The "Constant (with slider)" override holding a slot (null: none).
const input_override* held_by_slider_override(std::int32_t slot) {
    if (!(override_flags & 1)) return nullptr;
    const input_override* o = find_input_override(slot);
    return o && o->shape == ovr_slider ? o : nullptr;
}

// Where an element's slider goes in the view's client.
POINT slider_place(const sketch_state& s, const sketch_elem& e) {
    const int zoom = s.zoom > 0 ? s.zoom : 100;
    int x = e.x * zoom / 100 - s.scroll_x - qslider_width / 2;
    int y = (e.y + e.h) * zoom / 100 - s.scroll_y;
    if (e.label == 1) y += 12; // the name sits below the element
    return POINT{x, y};
}

void repaint(HWND w) {
    if (w && IsWindow(w)) InvalidateRect(w, nullptr, TRUE);
}

void draw_qslider(HDC dc, const qslider_rec& r) {
    RECT rc{0, 0, qslider_width, qslider_height};
    HWND parent = GetParent(r.window);
    const sketch_state* s = parent ? sketch_of(parent) : nullptr;
    const COLORREF back = s && s->view.rec.background != 0xFFFFFFFFu
                              ? static_cast<COLORREF>(s->view.rec.background & 0xFFFFFF)
                              : GetSysColor(COLOR_WINDOW);
    HBRUSH bg = CreateSolidBrush(back);
    FillRect(dc, &rc, bg);
    DeleteObject(bg);
    const POINT arrow[10] = {{6, 3},  {86, 3}, {86, 0}, {92, 6}, {86, 12},
                             {86, 9}, {6, 9},  {6, 12}, {0, 6},  {6, 0}};
    HBRUSH track = CreateSolidBrush(r.focus ? RGB(0, 0, 160) : RGB(128, 128, 128));
    HGDIOBJ old_brush = SelectObject(dc, track);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    Polygon(dc, arrow, 10);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(track);
    const int left = slider_box_left(r.position);
    RECT top{left, 0, left + qslider_box_width, 1}, side{left, 0, left + 1, qslider_height};
    FillRect(dc, &top, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FillRect(dc, &side, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const char* text = is_na(r.value) ? "--" : format_number(r.value, 0, nullptr);
    bevel_content c;
    c.kind = bevel_content::text;
    c.label = text;
    c.inset_x = 1;
    c.inset_y = 0;
    draw_bevel_button(dc, nullptr, left + 1, 1, qslider_box_width - 1, qslider_height - 1,
                      r.dragging ? 1 : 0, &c);
}

// Writes the record's value into the working copy and asks for a re-run.
void slider_changed(qslider_rec& r, int mode) {
    set_setup_value(r.slot, r.value);
    r.position = slider_position(r);
    repaint(r.window);
    livesweep_rerun(0, mode, 1);
}

void destroy_list(HWND view) {
    auto it = lists().find(view);
    if (it == lists().end()) return;
    std::vector<HWND> list = std::move(it->second);
    lists().erase(it);
    for (HWND w : list)
        if (w && IsWindow(w)) DestroyWindow(w);
}

HWND create_slider(HWND view, const sketch_state& s, int n, symbol_id symbol, std::int32_t slot,
                   bool focus) {
    const POINT at = slider_place(s, s.view.elems[static_cast<std::size_t>(n)]);
    HWND w = CreateWindow("Kavrel_qslider", "", 0x54000000, at.x, at.y, qslider_width,
                          qslider_height, view, nullptr, hinst, nullptr);
    if (!w) return nullptr;
    qslider_rec& r = records()[w];
    r.window = w;
    r.view = view;
    r.symbol = symbol;
    r.slot = r.placed_slot = slot;
    r.focus = focus;
    if (!slider_range(r, true)) ShowWindow(w, SW_HIDE);
    r.run_value = r.value;
    return w;
}

// Keeps the sliders of a view at their elements (after a scroll or zoom).
void follow_view(HWND view, const sketch_state& s) {
    auto it = lists().find(view);
    if (it == lists().end()) return;
    for (std::size_t n = 1; n < it->second.size() && n < s.view.elems.size(); ++n) {
        HWND w = it->second[n];
        if (!w) continue;
        const POINT at = slider_place(s, s.view.elems[n]);
        RECT rc;
        GetWindowRect(w, &rc);
        POINT old{rc.left, rc.top};
        ScreenToClient(view, &old);
        if (old.x != at.x || old.y != at.y)
            MoveWindow(w, at.x, at.y, qslider_width, qslider_height, TRUE);
    }
}

void refresh_hook() {
    place_quick_sliders();
    if (previous_refresh) previous_refresh();
}

LRESULT mouse_move(HWND w, qslider_rec& r, LPARAM lp) {
    // Only the newest position counts.
    MSG m;
    while (PeekMessage(&m, w, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) lp = m.lParam;
    if (!r.dragging) return 0;
    const int x = static_cast<short>(LOWORD(lp));
    r.position = std::clamp(x - 6, 0, qslider_positions);
    r.value = slider_value_at(r, r.position);
    repaint(w);
    set_setup_value(r.slot, r.value);
    const bool ask = r.value != r.run_value || (r.position != 0 && r.position != qslider_positions);
    if (ask && livesweep_rerun(token_of(w), 0, 1)) r.run_value = r.value;
    return 0;
}

// The slider whose options dialog is open.
HWND qslider_edited = nullptr;

std::string item_text(HWND dialog, int id) {
    char buf[128] = {};
    GetDlgItemText(dialog, id, buf, sizeof buf);
    return buf;
}

void set_item_number(HWND dialog, int id, float v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    SetDlgItemText(dialog, id, buf);
}

} // namespace

int apply_slider_options(qslider_rec& r, const char* value, const char* min, const char* max,
                         const char* increment, bool permanent) {
    float v = r.value, lo = r.min, hi = r.max, inc = 0;
    const struct {
        const char* text;
        float* out;
        const char* name;
    } fields[] = {{value, &v, "value"}, {min, &lo, "minimum"}, {max, &hi, "maximum"}};
    for (const auto& f : fields)
        if (!f.text || !parse_number(f.text, f.out, 0)) {
            report(8, "The %s is not a number", f.name);
            return -1;
        }
    if (increment && *increment && !parse_number(increment, &inc, 0)) {
        report(8, "The increment is not a number");
        return -1;
    }
    if (!(hi > lo)) {
        report(8, "Max value less than minimum");
        return -1;
    }
    if (inc < 0) {
        report(8, "Increment is negative");
        return -1;
    }
    if (static_cast<double>(hi) - lo < inc) {
        report(8, "Increment is more than max - min");
        return -1;
    }
    const int result = v != r.value ? 2 : 1;
    r.value = v;
    r.min = lo;
    r.max = hi;
    r.increment = inc;
    r.position = slider_position(r);
    if (permanent && r.symbol) {
        model_lock_guard lock(cur_model_symbols, 0);
        if (symbol_record* p = lock.ok() && valid_symbol(r.symbol) ? sym(r.symbol) : nullptr) {
            std::memcpy(&p->min, &lo, 4);
            std::memcpy(&p->max, &hi, 4);
            std::memcpy(&p->incr, &inc, 4);
        }
    }
    if (result == 2) set_setup_value(r.slot, r.value);
    return result;
}

// The slot the slider had when its options dialog opened.
std::int32_t options_opened_slot = -1;

// The subscript list of a subscripted variable's slider: a line per element,
// "[a,b]" for an element that is a constant, "-----" for any other, the
// slider's element chosen. Hidden, with its label and the Changes button,
// for a variable without subscripts.
void fill_subscript_list(HWND dialog, const qslider_rec& r) {
    HWND list = GetDlgItem(dialog, idq_subscripts);
    std::uint32_t count = 0;
    std::int32_t first = 0;
    std::vector<std::string> lines;
    {
        model_lock_guard lock(cur_model_symbols, 0);
        const symbol_record* p =
            lock.ok() && r.symbol && valid_symbol(r.symbol) ? sym(r.symbol) : nullptr;
        if (p && p->dims != scalar_dims && p->slot >= 0) {
            count = sym_dims(r.symbol)->count;
            first = p->slot;
            const std::string name = sym_name(r.symbol);
            for (std::uint32_t k = 0; k < count; ++k) {
                const int kind = slot_kind(first + static_cast<std::int32_t>(k));
                if (kind != st_constant && !(kind <= 0 && p->type == st_constant)) {
                    lines.push_back("-----");
                    continue;
                }
                std::string full = element_name(r.symbol, k);
                lines.push_back(full.size() > name.size() ? full.substr(name.size()) : full);
            }
        }
    }
    const bool shown = !lines.empty();
    for (int id : {idq_subscripts, idq_subscript_label, idq_changes})
        if (HWND c = GetDlgItem(dialog, id)) ShowWindow(c, shown ? SW_SHOW : SW_HIDE);
    if (!list || !shown) return;
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& l : lines)
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(l.c_str()));
    SendMessage(list, LB_SETCURSEL, static_cast<WPARAM>(r.slot - first), 0);
}

// Another element chosen in the subscript list: the value typed for the old
// element is kept in the working copy, and the slider takes the new element
// (a line that is not a constant goes back to the slider's element).
void choose_subscript(HWND dialog, qslider_rec& r) {
    const int line =
        static_cast<int>(SendDlgItemMessage(dialog, idq_subscripts, LB_GETCURSEL, 0, 0));
    std::int32_t first = -1;
    bool constant = false;
    std::string title = "Slider control options for: ";
    {
        model_lock_guard lock(cur_model_symbols, 1);
        const symbol_record* p =
            lock.ok() && r.symbol && valid_symbol(r.symbol) ? sym(r.symbol) : nullptr;
        if (p && p->slot >= 0 && line >= 0 &&
            static_cast<std::uint32_t>(line) < sym_dims(r.symbol)->count) {
            first = p->slot;
            const int kind = slot_kind(first + line);
            constant = kind == st_constant || (kind <= 0 && p->type == st_constant);
            if (constant)
                if (const char* n = offset_name(first + line)) title += n;
        }
    }
    if (!constant) {
        if (first >= 0)
            SendDlgItemMessage(dialog, idq_subscripts, LB_SETCURSEL,
                               static_cast<WPARAM>(r.slot - first), 0);
        return;
    }
    float typed = r.value;
    if (parse_number(item_text(dialog, idq_value).c_str(), &typed, 0) && typed != r.value) {
        r.value = typed;
        set_setup_value(r.slot, typed);
    }
    r.slot = first + line;
    r.value = working_value(r.slot);
    SetDlgItemText(dialog, idq_title, title.c_str());
    set_item_number(dialog, idq_value, r.value);
}

INT_PTR slider_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    qslider_rec* r = quick_slider(qslider_edited);
    switch (message) {
    case WM_INITDIALOG: {
        fit_dialog(dialog, 0);
        if (!r) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        std::string title = "Slider control options for: ";
        {
            model_lock_guard lock(cur_model_symbols, 1);
            if (lock.ok())
                if (const char* n = offset_name(r->slot)) title += n;
        }
        SetDlgItemText(dialog, idq_title, title.c_str());
        options_opened_slot = r->slot;
        fill_subscript_list(dialog, *r);
        set_item_number(dialog, idq_value, r->value);
        set_item_number(dialog, idq_min, r->min);
        set_item_number(dialog, idq_max, r->max);
        if (r->increment != 0) set_item_number(dialog, idq_increment, r->increment);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            if (!r) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            int result = apply_slider_options(
                *r, item_text(dialog, idq_value).c_str(), item_text(dialog, idq_min).c_str(),
                item_text(dialog, idq_max).c_str(), item_text(dialog, idq_increment).c_str(),
                IsDlgButtonChecked(dialog, idq_permanent) == BST_CHECKED);
            // Another element chosen: the slider re-runs for it.
            if (result == 1 && r->slot != options_opened_slot) result = 2;
            if (result > 0) EndDialog(dialog, result);
            return TRUE;
        }
        if (LOWORD(wparam) == idq_subscripts && HIWORD(wparam) == LBN_SELCHANGE && r) {
            choose_subscript(dialog, *r);
            return TRUE;
        }
        if (LOWORD(wparam) == idq_changes && r) {
            // The constant's elements in the Constant Changes dialog; the
            // chosen element's value comes back into the value box.
            constant_changes_dialog(r->symbol);
            r->value = working_value(r->slot);
            set_item_number(dialog, idq_value, r->value);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

void default_slider_range(double v, double dt, double* lo, double* hi) {
    if (v > 0) {
        *hi = v <= 0.2 ? 1.0 : 5 * v;
        *lo = v >= 5 ? 0.2 * v : v <= dt ? -1.0 : 0;
    } else {
        *lo = v >= -0.2 ? -1.0 : 5 * v;
        *hi = v <= -5 ? 0.2 * v : v < -1.0 ? 0 : 1.0;
    }
}

bool slider_range(qslider_rec& r, bool with_position) {
    float v = working_value(r.slot);
    double lo = 0, hi = 100;
    if ((override_flags & 1) && find_input_override(r.slot)) {
        // A slot an override supplies: a slider's range is the override's
        // Minimum and Maximum (another shape leaves no range, so no slider).
        const input_override* o = held_by_slider_override(r.slot);
        r.min = o ? o->p1 : 0;
        r.max = o ? o->p2 : 0;
        if (!usable(v) && o) {
            v = static_cast<float>((static_cast<double>(r.min) + r.max) / 2);
            set_setup_value(r.slot, v);
        }
        float incr = 0;
        if (r.symbol) {
            model_lock_guard lock(cur_model_symbols, 0);
            if (const symbol_record* p =
                    lock.ok() && valid_symbol(r.symbol) ? sym(r.symbol) : nullptr)
                if (usable(as_float(p->incr)) && as_float(p->incr) > 0) incr = as_float(p->incr);
        }
        if (incr > 0) r.increment = incr;
        r.value = v;
        r.position = with_position ? slider_position(r) : 0;
        return r.max > r.min;
    }
    if (usable(v)) {
        default_slider_range(v, sim_dt, &lo, &hi);
    } else {
        const float *t = nullptr, *vals = nullptr;
        const int run = shown_run_slot() >= 0 ? shown_run_slot() : 0;
        const int n = value_cache_exists() ? cached_series(r.slot, &t, &vals, run) : 0;
        double mn = 1e300, mx = -1e300;
        if (n > 0 && vals && behavior_extremes(vals, n, &mn, &mx)) {
            double lo2, hi2;
            default_slider_range((mn + mx) / 2, sim_dt, &lo2, &hi2);
            lo = std::min(lo2, mn);
            hi = std::max(hi2, mx);
        }
    }
    double a = lo, b = hi;
    nice_axis_range(lo, hi, &a, &b);
    if (std::isfinite(a) && std::isfinite(b) && std::abs(a) < axis_unset &&
        std::abs(b) < axis_unset)
        lo = a, hi = b;
    float incr = 0;
    if (r.symbol) {
        model_lock_guard lock(cur_model_symbols, 0);
        if (const symbol_record* p =
                lock.ok() && valid_symbol(r.symbol) ? sym(r.symbol) : nullptr) {
            if (usable(as_float(p->min))) lo = as_float(p->min);
            if (usable(as_float(p->max))) hi = as_float(p->max);
            if (usable(as_float(p->incr)) && as_float(p->incr) > 0) incr = as_float(p->incr);
        }
    }
    r.min = static_cast<float>(lo);
    r.max = static_cast<float>(hi);
    if (incr > 0) r.increment = incr;
    r.value = v;
    r.position = with_position ? slider_position(r) : 0;
    return r.max > r.min;
}

float slider_value_at(const qslider_rec& r, int position) {
    double v = r.min + (static_cast<double>(r.max) - r.min) * position * 0.0125;
    if (r.increment > 0) v = std::trunc((v - r.min) / r.increment + 0.5) * r.increment + r.min;
    // Snapping may pass an end (0 to 1 in steps of 0.4 reaches 1.2).
    return static_cast<float>(
        std::clamp(v, static_cast<double>(r.min), static_cast<double>(r.max)));
}

int slider_position(const qslider_rec& r) {
    if (!(r.max > r.min) || !usable(r.value)) return 0;
    double p = std::trunc((static_cast<double>(r.value) - r.min) * qslider_positions /
                          (static_cast<double>(r.max) - r.min));
    // The value a position gives is kept as a float, which may fall just
    // below the position's exact value: it still shows at that position, not
    // one before it (the knob would creep left at every redraw).
    if (p >= 0 && p < qslider_positions) {
        qslider_rec plain = r;
        plain.increment = 0;
        if (slider_value_at(plain, static_cast<int>(p) + 1) <= r.value) p += 1;
    }
    return static_cast<int>(std::clamp(p, 0.0, static_cast<double>(qslider_positions)));
}

qslider_rec* quick_slider(HWND window) {
    auto it = records().find(window);
    return it == records().end() ? nullptr : &it->second;
}

HWND element_slider(HWND view, int element) {
    auto it = lists().find(view);
    if (it == lists().end() || element <= 0 ||
        static_cast<std::size_t>(element) >= it->second.size())
        return nullptr;
    return it->second[static_cast<std::size_t>(element)];
}

LRESULT quick_slider_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    qslider_rec* r = quick_slider(w);
    switch (m) {
    case WM_DESTROY:
        records().erase(w);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        if (r && r->max > r->min) draw_qslider(dc, *r);
        EndPaint(w, &ps);
        if (r && !(r->max > r->min)) ShowWindow(w, SW_HIDE);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        if (!r || modal_depth()) return 0;
        SetCapture(w);
        if (r->view) SetFocus(r->view);
        if (auto it = lists().find(r->view); it != lists().end())
            for (HWND o : it->second)
                if (qslider_rec* q = o && o != w ? quick_slider(o) : nullptr; q && q->focus) {
                    q->focus = false;
                    repaint(o);
                }
        r->run_value = r->value;
        r->focus = true;
        const int x = static_cast<short>(LOWORD(lp));
        const int left = slider_box_left(r->position);
        if (x >= left && x <= left + qslider_box_width) {
            POINT p{r->position + 6, static_cast<short>(HIWORD(lp))};
            ClientToScreen(w, &p);
            SetCursorPos(p.x, p.y);
            r->dragging = true;
        } else {
            r->clicked = true;
        }
        repaint(w);
        return 0;
    }
    case WM_MOUSEMOVE:
        // The capture holds from the press to the release: a drag is on
        // while the flag is.
        if (r && r->dragging) return mouse_move(w, *r, lp);
        return 0;
    case WM_LBUTTONUP: {
        if (!r) return 0;
        ReleaseCapture();
        r = quick_slider(w);
        if (!r) return 0;
        if (r->dragging) {
            r->dragging = false;
            livesweep_rerun(0, 1, 1);
            repaint(w);
        }
        if (r->clicked) {
            r->clicked = false;
            qslider_edited = w;
            const INT_PTR result = run_dialog(dlg_slider_options, r->view, slider_options_proc, 0);
            qslider_edited = nullptr;
            if (result == 2) livesweep_rerun(0, 2, 1);
            if (quick_slider(w)) repaint(w);
        }
        return 0;
    }
    case 1074:
    case 1076:
    case 1077:
    case 1078: {
        if (!r || !lp) return 0;
        const float v = *reinterpret_cast<const float*>(lp);
        (m == 1074 ? r->value : m == 1076 ? r->min : m == 1077 ? r->max : r->increment) = v;
        r->position = slider_position(*r);
        repaint(w);
        return 1;
    }
    case livesweep_done_message:
        // The re-run this slider asked for is done: the drag may have moved on.
        if (r && r->dragging && r->value != r->run_value && livesweep_rerun(token_of(w), 0, 1))
            r->run_value = r->value;
        return 0;
    default:
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}

void quick_sliders_value_changed(std::int32_t slot, float value) {
    for (auto& [w, r] : records()) {
        if (r.slot != slot || r.dragging || r.value == value) continue;
        r.value = value;
        r.position = slider_position(r);
        repaint(w);
    }
}

void set_quick_sliders(HWND view, const sketch_state& s, int mode) {
    if (mode < 0) {
        destroy_list(view);
        return;
    }
    if (mode == 0) {
        follow_view(view, s);
        return;
    }
    destroy_list(view);
    std::vector<HWND> list(s.view.elems.size(), nullptr);
    std::vector<std::pair<int, std::pair<symbol_id, std::int32_t>>> found;
    {
        model_lock_guard lock(s.symbols, 0);
        if (!lock.ok()) return;
        for (std::size_t n = 1; n < s.view.elems.size(); ++n) {
            const sketch_elem& e = s.view.elems[n];
            symbol_id id;
            std::int32_t slot;
            if (e.hidden() || e.level_value() > s.shown_level || !slider_variable(e, &id, &slot))
                continue;
            found.push_back({static_cast<int>(n), {id, slot}});
        }
    }
    lists()[view] = list;
    bool first = true;
    for (const auto& [n, what] : found) {
        HWND w = create_slider(view, s, n, what.first, what.second, first);
        first = false;
        lists()[view][static_cast<std::size_t>(n)] = w;
    }
}

void place_quick_sliders() {
    HWND view = current_sketch_view();
    const sketch_state* s = view ? sketch_of(view) : nullptr;
    if (livesweep_state != ls_on || !s || s->symbols != cur_model_symbols) {
        // Livesweep ended (or the sketch went): its sliders go with it.
        std::vector<HWND> views;
        for (auto& [v, list] : lists()) views.push_back(v);
        for (HWND v : views) destroy_list(v);
        // The input overrides last as long as the stay in Livesweep.
        if (livesweep_state != ls_on && (override_flags || !input_override_tables().list.empty()))
            clear_input_overrides();
        // The re-runs wrote over the shown run's series: read the runs again.
        if (!views.empty() && value_cache_exists()) reset_value_cache(-1, 1, 0);
        return;
    }
    auto it = lists().find(view);
    if (it == lists().end()) {
        // Livesweep has just begun: its re-runs stand in for the run the
        // run driver chose to show (the run being made when it is loaded,
        // else the first selected), and the first shows the model as it is
        // now. (Slot 0 here wrote the re-runs over the first selected run
        // whatever the driver chose.)
        reset_value_cache(std::max(shown_run_slot(), 0), 0, 1);
        set_quick_sliders(view, *s, 1);
        apply_input_overrides(s, 1); // sets the override tables up and asks for the re-run
        return;
    }
    if (it->second.size() != s->view.elems.size()) {
        set_quick_sliders(view, *s, 1); // another view
        InvalidateRect(view, nullptr, FALSE);
        return;
    }
    // An override that came or went gives or takes a slider; a slot an
    // override holds takes its range again (the dialog may have changed it).
    {
        std::vector<std::pair<int, std::pair<symbol_id, std::int32_t>>> wanted;
        {
            model_lock_guard lock(s->symbols, 0);
            if (lock.ok())
                for (std::size_t n = 1; n < s->view.elems.size(); ++n) {
                    const sketch_elem& e = s->view.elems[n];
                    symbol_id id = 0;
                    std::int32_t slot = -1;
                    if (!e.hidden() && e.level_value() <= s->shown_level &&
                        slider_variable(e, &id, &slot))
                        wanted.push_back({static_cast<int>(n), {id, slot}});
                }
        }
        std::vector<HWND>& list = it->second;
        std::vector<bool> keep(list.size(), false);
        for (const auto& [n, what] : wanted) {
            HWND& w = list[static_cast<std::size_t>(n)];
            keep[static_cast<std::size_t>(n)] = true;
            qslider_rec* r = w ? quick_slider(w) : nullptr;
            if (!r) {
                w = create_slider(view, *s, n, what.first, what.second, false);
                continue;
            }
            if (r->dragging) continue;
            if (r->placed_slot != what.second || held_by_slider_override(r->slot)) {
                if (r->placed_slot != what.second) r->slot = r->placed_slot = what.second;
                const bool shown = slider_range(*r, true);
                ShowWindow(w, shown ? SW_SHOWNA : SW_HIDE);
                r->run_value = r->value;
                repaint(w);
            }
        }
        for (std::size_t n = 1; n < list.size(); ++n)
            if (list[n] && !keep[n]) {
                if (IsWindow(list[n])) DestroyWindow(list[n]);
                list[n] = nullptr;
            }
    }
    // The values may have changed under the sliders (a reset, a dialog).
    for (HWND w : it->second) {
        qslider_rec* r = w ? quick_slider(w) : nullptr;
        if (!r || r->dragging) continue;
        const float v = working_value(r->slot);
        if (v != r->value) {
            r->value = v;
            r->position = slider_position(*r);
            repaint(w);
        }
    }
    follow_view(view, *s);
}

bool slider_keys(HWND view, int action, bool shift) {
    if (action == -1) {
        // Reset all: the toolbar's command, with its question about overrides.
        const bool done = sim_control_command(sc_reset_all, 0, 0) != 0;
        if (done) place_quick_sliders();
        return done;
    }
    auto it = lists().find(view);
    if (it == lists().end()) return false;
    std::vector<HWND> shown;
    int focused = -1;
    for (HWND w : it->second)
        if (qslider_rec* r = w ? quick_slider(w) : nullptr; r && r->max > r->min) {
            if (r->focus) focused = static_cast<int>(shown.size());
            shown.push_back(w);
        }
    if (shown.empty()) return false;
    if (action == -2) {
        const int n = static_cast<int>(shown.size());
        const int next = focused < 0 ? 0 : (focused + (shift ? n - 1 : 1)) % n;
        if (focused >= 0) {
            quick_slider(shown[static_cast<std::size_t>(focused)])->focus = false;
            repaint(shown[static_cast<std::size_t>(focused)]);
        }
        quick_slider(shown[static_cast<std::size_t>(next)])->focus = true;
        repaint(shown[static_cast<std::size_t>(next)]);
        return true;
    }
    if (focused < 0) return false;
    qslider_rec& r = *quick_slider(shown[static_cast<std::size_t>(focused)]);
    const double step =
        r.increment > 0 ? r.increment : (static_cast<double>(r.max) - r.min) * 0.0125;
    if (action == 1) {
        if (r.value >= r.max) return false;
        r.value = static_cast<float>(std::min<double>(r.value + step, r.max));
    } else if (action == 2) {
        if (r.value <= r.min) return false;
        r.value = static_cast<float>(std::max<double>(r.value - step, r.min));
    } else if (action == 0) {
        // An overridden value stays until its override ends.
        if (override_flags) {
            const auto& marks = input_override_tables().marks;
            const auto at = static_cast<std::size_t>(r.slot);
            if (r.slot >= 0 && at < marks.size() && marks[at] == 2) return false;
        }
        const float v = model_value(r.slot);
        if (v == r.value || (is_na(v) && is_na(r.value))) return false;
        r.value = v;
    } else {
        return false;
    }
    slider_changed(r, 2);
    return true;
}

bool live_sketch_key(HWND view, int vk, bool shift) {
    if (livesweep_state != ls_on) return false;
    switch (vk) {
    case VK_RIGHT:
    case VK_UP:
        slider_keys(view, 1, shift);
        return true;
    case VK_LEFT:
    case VK_DOWN:
        slider_keys(view, 2, shift);
        return true;
    case VK_TAB:
        return slider_keys(view, -2, shift);
    case VK_HOME:
        // Home: the focused slider back to the model's value; Ctrl+Home
        // (routed here by the window) every one.
        slider_keys(view, GetKeyState(VK_CONTROL) < 0 ? -1 : 0, shift);
        return true;
    case VK_RETURN:
        // Enter opens the input options of the one selected variable.
        return open_input_options(view);
    default:
        return false;
    }
}

bool live_sketch_command(HWND view, int id) {
    if (id != skc_show_behavior) return false;
    set_behavior_display(!behavior_display());
    InvalidateRect(view, nullptr, FALSE);
    return true;
}

void paint_sketch_live(HDC dc, HWND view, const sketch_state& s) {
    paint_live_graphs(dc, view, s);
    if (opts.sketch_positioning == 1) {
        // Pagemarks: where printing on whole pages breaks the view.
        RECT rc;
        GetClientRect(view, &rc);
        draw_page_lines(
            dc, s, rc,
            default_view_page(GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY)));
    }
    follow_view(view, s);
}

void print_quick_sliders(HDC dc, HWND view, const sketch_state& rs) {
    auto it = lists().find(view);
    if (!dc || it == lists().end()) return;
    const std::vector<HWND>& list = it->second;
    HFONT font = CreateFont(-11, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0,
                            rs.view.rec.font.face[0] ? rs.view.rec.font.face : "Sans");
    HGDIOBJ old_font = SelectObject(dc, font);
    HBRUSH track = CreateSolidBrush(RGB(128, 128, 128));
    HGDIOBJ old_brush = SelectObject(dc, track);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
    const int old_mode = SetBkMode(dc, TRANSPARENT);
    for (std::size_t n = 1; n < list.size() && n < rs.view.elems.size(); ++n) {
        const qslider_rec* r = list[n] ? quick_slider(list[n]) : nullptr;
        if (!r || !(r->max > r->min)) continue;
        // The on-screen picture: a double arrow (half length 40, heads 6,
        // shaft half height 3) and the value box (half width 25) over it.
        const POINT at = slider_place(rs, rs.view.elems[n]);
        const int cx = at.x + qslider_width / 2, cy = at.y + 6;
        SelectObject(dc, track);
        Rectangle(dc, cx - 34, cy - 3, cx + 35, cy + 4);
        const POINT left[3] = {{cx - 40, cy}, {cx - 34, cy - 6}, {cx - 34, cy + 6}};
        const POINT right[3] = {{cx + 40, cy}, {cx + 34, cy - 6}, {cx + 34, cy + 6}};
        Polygon(dc, left, 3);
        Polygon(dc, right, 3);
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        Rectangle(dc, cx - 25, cy - 6, cx + 26, cy + 7);
        const char* text = is_na(r->value) ? "--" : format_number(r->value, 0, nullptr);
        SIZE size{};
        GetTextExtentPoint32(dc, text, static_cast<int>(std::strlen(text)), &size);
        TextOut(dc, cx - size.cx / 2, cy - size.cy / 2, text, static_cast<int>(std::strlen(text)));
    }
    SetBkMode(dc, old_mode);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_font);
    DeleteObject(track);
    DeleteObject(font);
}

void install_quick_sliders() {
    if (sketch_hooks.refresh != refresh_hook) {
        previous_refresh = sketch_hooks.refresh;
        sketch_hooks.refresh = refresh_hook;
    }
    sketch_hooks.slider_proc = quick_slider_proc;
    record_sliders_hook = print_quick_sliders;
    set_reset_all_ask_hook([] {
        return ask_yes_no("Can't reset all. Overrides/Partial Simulation active - do you want to "
                          "stop this?") == 1;
    });
    install_input_overrides();
    set_overrides_changed_hook(place_quick_sliders);
    set_override_range_source([](std::int32_t slot, std::uint32_t symbol, float* lo, float* hi) {
        qslider_rec r;
        r.slot = slot;
        r.symbol = symbol;
        const bool ok = slider_range(r, false);
        *lo = r.min;
        *hi = r.max;
        return ok;
    });
    if (livesweep_output_hook != livesweep_output) {
        previous_output = livesweep_output_hook;
        livesweep_output_hook = livesweep_output;
    }
}

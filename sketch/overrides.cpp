// Input overrides in Livesweep: the tables of overridden variables, their
// input functions of time and the engine hook that applies them.
#include "sketch/overrides.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/varnames.h"
#include "resources/sketchdlg.h"
#include "shell/dialogs.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sim/timeloop.h"
#include "sketch/sketch.h"
#include "sketch/viewnav.h"

namespace {

override_tables& tables() {
    static override_tables t;
    return t;
}

std::uint32_t model_slots() {
    if (!cur_model_symbols) return 0;
    return get_header_word(cur_model_symbols, mh_level_slots) +
           get_header_word(cur_model_symbols, mh_other_slots);
}

// The working copy's value at a slot (NA when there is none).
float working_value(std::int32_t slot) {
    if (slot < 0 || !setup_copy || static_cast<std::uint32_t>(slot) >= handle_size(setup_copy) / 4)
        return NA;
    handle_lock<float> v(setup_copy);
    return v ? v.get()[slot] : NA;
}

// The value slot of a named variable of the current model (-1: none).
std::int32_t named_slot(const char* name) {
    model_lock_guard lock(cur_model_symbols, 0);
    if (!lock.ok()) return -1;
    const symbol_id id = find_symbol(name);
    const symbol_record* p = id ? sym(id) : nullptr;
    return p ? p->slot : -1;
}

// Allocates the tables (when absent) and points the engine at them.
void set_up_tables() {
    override_tables& t = tables();
    const std::uint32_t slots = model_slots();
    if (t.held.size() != slots) {
        t.marks.assign(slots, 1);
        t.held.assign(slots, 0);
        t.values_copy.assign(slots, 0.0f);
    }
    if (t.list.size() != override_capacity) {
        t.list.assign(override_capacity, input_override{});
        t.count = 1;
        t.current = 1;
    }
    override_held = t.held.empty() ? nullptr : t.held.data();
    override_flags |= 2;
}

// Slots the partial simulation need not recompute: those of the variables
// shown on the view and the time settings.
void mark_view_slots(const sketch_state& s) {
    override_tables& t = tables();
    std::fill(t.marks.begin(), t.marks.end(), 1);
    model_lock_guard lock(cur_model_symbols, 0);
    if (!lock.ok()) return;
    auto clear = [&](std::int32_t slot, std::uint32_t n) {
        for (std::uint32_t k = 0; k < n; ++k)
            if (slot >= 0 && static_cast<std::size_t>(slot) + k < t.marks.size())
                t.marks[static_cast<std::size_t>(slot) + k] = 0;
    };
    clear(0, 1);
    for (const char* name : {"TIME STEP", "FINAL TIME", "SAVEPER"})
        if (symbol_id id = find_symbol(name))
            if (const symbol_record* p = sym(id)) clear(p->slot, 1);
    for (std::size_t n = 1; n < s.view.elems.size(); ++n) {
        const sketch_elem& e = s.view.elems[n];
        if (e.kind != ek_variable || e.level_value() > s.shown_level || !e.primary()) continue;
        if (!e.payload || !valid_symbol(e.payload)) continue;
        const symbol_record* p = sym(e.payload);
        if (!p || p->type >= 25 || p->slot < 0) continue;
        clear(p->slot, sym_slot_count(e.payload));
    }
}

// The final pass: inactive entries leave the list (one entry per overridden
// slot, the count covering exactly the entries in use); the held slots and
// the type copy follow the active ones.
void final_pass() {
    override_tables& t = tables();
    if (t.list.empty()) return;
    int kept = 1;
    for (int i = 1; i < t.count && i < override_capacity; ++i)
        if (t.list[static_cast<std::size_t>(i)].shape &&
            t.list[static_cast<std::size_t>(i)].slot < t.held.size())
            t.list[static_cast<std::size_t>(kept++)] = t.list[static_cast<std::size_t>(i)];
    for (int i = kept; i < override_capacity; ++i) t.list[static_cast<std::size_t>(i)] = {};
    t.count = kept;
    t.current = std::min(t.current, std::max(kept - 1, 1));
    std::fill(t.held.begin(), t.held.end(), 0);
    if (kept < 2) {
        override_flags &= static_cast<std::uint8_t>(~1u);
        free_handle(type_copy);
        type_copy = 0;
        return;
    }
    const std::uint32_t slots = static_cast<std::uint32_t>(t.held.size());
    if (!type_copy || handle_size(type_copy) < slots) {
        free_handle(type_copy);
        type_copy = 0;
        std::vector<std::uint8_t> types;
        if (model_type_bytes(cur_model_symbols, slots, types)) {
            type_copy = new_handle(slots);
            handle_lock<std::uint8_t> c(type_copy);
            if (c) std::copy(types.begin(), types.end(), c.get());
        }
    }
    handle_lock<std::uint8_t> c(type_copy);
    for (int i = 1; i < kept; ++i) {
        const input_override& e = t.list[static_cast<std::size_t>(i)];
        t.held[e.slot] = 2;
        if (e.slot < t.marks.size()) t.marks[e.slot] = 2;
        // An overridden constant varies now: it is saved as a series.
        if (c) c.get()[e.slot] = e.shape == ovr_slider ? st_constant : st_aux;
    }
    override_flags |= 1;
}

// The value of one override at the engine's time (long double arithmetic);
// false when the shape leaves the slot as it is.
bool override_value(const input_override& e, int mode, long double* out) {
    const override_tables& tb = tables();
    const long double t = sim_time, th = sim_time_hi, tl = sim_time_lo;
    const long double p1 = e.p1, p2 = e.p2, p3 = e.p3, p4 = e.p4;
    switch (e.shape) {
    case ovr_decay:
        // The decay is taken at the upper bound of TIME, growth at TIME.
        *out = mode == 1 || t < p3 ? p1 : p1 * std::exp((th - p3) * p4 * -0.01L);
        return true;
    case ovr_growth:
        *out = mode == 1 || t < p3 ? p1 : p1 * std::exp((t - p3) * p4 * 0.01L);
        return true;
    case ovr_pulse:
        *out = th > p3 && p3 + p4 > tl ? p2 : p1;
        return true;
    case ovr_pulse_train: {
        const long double from = tb.time_from;
        const long double n = std::trunc((th - from) / p3);
        if (n == 0) {
            *out = p1; // no pulse in the first period
            return true;
        }
        const long double f = (tl - from) - n * p3;
        *out = f < p4 ? p2 : p1;
        return true;
    }
    case ovr_ramp:
        *out = t > p4 ? p2 : t < p3 ? p1 : p1 + (t - p3) / (p4 - p3) * (p2 - p1);
        return true;
    case ovr_sine:
        *out = t < p3 ? (p1 + p2) / 2
                      : p1 + (std::sin(2 * std::numbers::pi_v<long double> * (t - p3) / p4) + 1) *
                                 (p2 - p1) * 0.5L;
        return true;
    case ovr_slider: {
        const float v =
            mode == 0 ? tb.values_copy[e.slot] : working_value(static_cast<int>(e.slot));
        *out = v;
        return true;
    }
    case ovr_square: {
        if (th < p3) {
            *out = (p1 + p2) / 2;
            return true;
        }
        const long double n = std::trunc((th - p3) / p4);
        const long double x = ((t - p3) - n * p4) / p4;
        *out = x < 0.5L ? p2 : p1; // the first half of each period high
        return true;
    }
    case ovr_step:
        *out = t < p3 ? p1 : p2;
        return true;
    default:
        return false;
    }
}

// The number fields of the dialog: their defaults when hidden.
constexpr float field_defaults[4] = {0.0f, 100.0f, 0.0f, 0.0f};

} // namespace

const override_tables& input_override_tables() {
    return tables();
}

void eval_input_overrides(int mode) {
    override_tables& t = tables();
    if (!value_array) return;
    if (mode == 1) {
        // A whole TIME STEP on each side here.
        sim_time = value_array[0];
        sim_time_hi = sim_time + sim_dt;
        sim_time_lo = sim_time - sim_dt;
        t.time_from = sim_time;
        t.time_known = true;
        const std::int32_t final_slot = named_slot("FINAL TIME");
        if (final_slot >= 0 && static_cast<std::uint32_t>(final_slot) < value_slot_count)
            t.time_to = value_array[final_slot];
    } else if (mode != 0 && (override_flags & 2)) {
        const std::size_t n = std::min<std::size_t>(t.values_copy.size(), value_slot_count);
        std::copy(value_array, value_array + n, t.values_copy.begin());
    }
    if (t.list.empty() || t.count < 2) return;
    for (int i = 1; i < t.count && i < override_capacity; ++i) {
        const input_override& e = t.list[static_cast<std::size_t>(i)];
        if (!e.shape || e.slot >= value_slot_count || e.slot >= t.values_copy.size()) continue;
        long double v = 0;
        if (!override_value(e, mode, &v)) v = value_array[e.slot];
        // A value a float cannot hold (a growth past the float range) keeps
        // the slot's value rather than putting an infinity into the run.
        if (!std::isfinite(v) || std::fabs(v) > static_cast<long double>(3.4028234e38f)) continue;
        const float f = static_cast<float>(v);
        t.values_copy[e.slot] = f;
        value_array[e.slot] = f;
    }
}

void apply_input_overrides(const sketch_state* s, int mode) {
    override_tables& t = tables();
    if (mode == 1) {
        if (!s) return;
        if (!(override_flags & 2)) set_up_tables();
    }
    if (mode == 2) {
        for (input_override& e : t.list) e.shape = 0;
        t.count = t.list.empty() ? 0 : 1;
        override_flags = 0;
    }
    if ((override_flags & 2) && mode != 2 && s) mark_view_slots(*s);
    final_pass();
    if (mode == 1) livesweep_rerun(0, 2, 0);
}

const input_override* find_input_override(std::int32_t slot) {
    const override_tables& t = tables();
    for (int i = 1; i < t.count && i < static_cast<int>(t.list.size()); ++i)
        if (t.list[static_cast<std::size_t>(i)].shape &&
            t.list[static_cast<std::size_t>(i)].slot == static_cast<std::uint32_t>(slot))
            return &t.list[static_cast<std::size_t>(i)];
    return nullptr;
}

int check_override_numbers(std::uint32_t shape, const char* const texts[4], float out[4]) {
    static const char* const names[4] = {"first", "second", "third", "fourth"};
    for (int i = 0; i < 4; ++i) {
        out[i] = field_defaults[i];
        if (!texts[i]) continue;
        if (!parse_number(texts[i], &out[i], 0)) {
            report(8, "The %s number is not a number", names[i]);
            return 0;
        }
    }
    switch (shape) {
    case ovr_pulse_train:
        if (!(out[2] > 0)) {
            report(8, "The pulses must repeat after a time greater than 0");
            return 0;
        }
        break;
    case ovr_sine:
    case ovr_square:
        if (!(out[3] > 0)) {
            report(8, "The period must be greater than 0");
            return 0;
        }
        break;
    case ovr_ramp:
        if (!(out[3] > out[2])) {
            report(8, "The ramp must finish after it starts");
            return 0;
        }
        break;
    default:
        break;
    }
    return 1;
}

int set_input_override(const sketch_state* s, const input_override& entry) {
    override_tables& t = tables();
    if (!(override_flags & 2)) {
        if (livesweep_state != ls_on) return 0;
        set_up_tables();
    }
    if (entry.slot >= t.held.size()) return 0;
    int at = 0;
    for (int i = 1; i < t.count && i < override_capacity; ++i)
        if (t.list[static_cast<std::size_t>(i)].slot == entry.slot) at = i;
    if (!at && entry.shape) {
        if (t.count >= override_capacity) {
            report(8, "No more than %d variables can have their behavior overridden",
                   override_capacity - 1);
            return 0;
        }
        at = t.count++;
    }
    if (at) {
        t.list[static_cast<std::size_t>(at)] = entry;
        t.current = at;
    }
    apply_input_overrides(s, 0);
    return 1;
}

void input_overrides_off() {
    apply_input_overrides(nullptr, 2);
}

void clear_input_overrides() {
    override_tables& t = tables();
    t = override_tables{};
    override_flags = 0;
    override_held = nullptr;
    free_handle(type_copy);
    type_copy = 0;
}

// ------------------------------------------------------------- dialog 377 ---

namespace {

struct dialog_context {
    const sketch_state* s = nullptr;
    std::int32_t slot = -1;
    symbol_id symbol = 0;
    std::uint8_t type = 0;
};
dialog_context edited;
override_range_fn range_source = nullptr;
overrides_changed_fn changed_hook = nullptr;

constexpr int shape_buttons[] = {ovr_square, ovr_pulse_train, ovr_pulse, ovr_sine,  ovr_decay,
                                 ovr_growth, ovr_ramp,        ovr_step,  ovr_slider};

int checked_shape(HWND d) {
    for (int id : shape_buttons)
        if (IsDlgButtonChecked(d, id) == BST_CHECKED) return id;
    return ovr_slider;
}

void check_shape(HWND d, int shape) {
    for (int id : shape_buttons) CheckDlgButton(d, id, id == shape ? BST_CHECKED : BST_UNCHECKED);
}

std::string field_text(HWND d, int id) {
    char buf[40] = {};
    GetDlgItemText(d, id, buf, sizeof buf);
    return buf;
}

void set_number(HWND d, int id, double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%g", v);
    SetDlgItemText(d, id, buf);
}

// The Livesweep run's time range: that of the last re-run, else the working
// copy's INITIAL TIME and FINAL TIME.
void time_range(double* from, double* to) {
    const override_tables& t = tables();
    if (t.time_known) {
        *from = t.time_from;
        *to = t.time_to;
        return;
    }
    const float a = working_value(named_slot("INITIAL TIME"));
    const float b = working_value(named_slot("FINAL TIME"));
    *from = is_na(a) ? 0 : a;
    *to = is_na(b) ? *from + 100 : b;
}

// Labels, visible fields and (mode 1) default times of the checked shape.
void input_options_fields(HWND d, int mode) {
    const int shape = checked_shape(d);
    struct labels {
        const char *a, *b, *c, *e; // null: kept
        bool show2, show3, show4;
    };
    labels l{};
    switch (shape) {
    case ovr_decay:
    case ovr_growth:
        l = {"Starting from",
             nullptr,
             "changing after time",
             shape == ovr_decay ? "decay rate (%/unit time)" : "growth rate (%/unit time)",
             false,
             true,
             true};
        break;
    case ovr_pulse:
        l = {"Base value", "pulsing to", "at time", "for duration", true, true, true};
        break;
    case ovr_pulse_train:
        l = {"Base value", "pulsing to", "repeating every", "for duration", true, true, true};
        break;
    case ovr_ramp:
        l = {"From", "to", "starting at time", "finishing at", true, true, true};
        break;
    case ovr_sine:
    case ovr_square:
        l = {"Between", "and", "mean value till time", "then with period", true, true, true};
        break;
    case ovr_step:
        l = {"From", "to", "at time", nullptr, true, true, false};
        break;
    default:
        l = {"Minimum", "Maximum", nullptr, nullptr, true, false, false};
        break;
    }
    const char* texts[4] = {l.a, l.b, l.c, l.e};
    for (int i = 0; i < 4; ++i)
        if (texts[i]) SetDlgItemText(d, idi_label1 + i, texts[i]);
    const bool shown[3] = {l.show2, l.show3, l.show4};
    for (int i = 0; i < 3; ++i) {
        ShowWindow(GetDlgItem(d, idi_p2 + i), shown[i] ? SW_SHOW : SW_HIDE);
        ShowWindow(GetDlgItem(d, idi_label2 + i), shown[i] ? SW_SHOW : SW_HIDE);
    }
    if (mode != 1) return;
    double from, to;
    time_range(&from, &to);
    const double span = to - from;
    switch (shape) {
    case ovr_decay:
    case ovr_growth:
        set_number(d, idi_p3, from);
        set_number(d, idi_p4, 2);
        break;
    case ovr_pulse:
        set_number(d, idi_p3, from + 0.2 * span);
        set_number(d, idi_p4, 0);
        break;
    case ovr_pulse_train:
        set_number(d, idi_p3, 0.2 * span);
        set_number(d, idi_p4, 0);
        break;
    case ovr_ramp:
        set_number(d, idi_p3, from);
        set_number(d, idi_p4, to);
        break;
    case ovr_sine:
    case ovr_square:
        set_number(d, idi_p3, from);
        set_number(d, idi_p4, 0.2 * span);
        break;
    case ovr_step:
        set_number(d, idi_p3, from + 0.2 * span);
        break;
    default:
        break;
    }
}

void enable_fields(HWND d, bool on) {
    for (int id : shape_buttons) EnableWindow(GetDlgItem(d, id), on);
    for (int id = idi_p1; id <= idi_p4; ++id) EnableWindow(GetDlgItem(d, id), on);
    for (int id = idi_label1; id <= idi_label4; ++id) EnableWindow(GetDlgItem(d, id), on);
}

// OK: the override stored (or removed when unchecked). False keeps the
// dialog open.
bool accept(HWND d) {
    input_override e;
    e.slot = static_cast<std::uint32_t>(edited.slot);
    if (IsDlgButtonChecked(d, idi_override) == BST_CHECKED) {
        e.shape = static_cast<std::uint32_t>(checked_shape(d));
        std::string text[4];
        const char* texts[4] = {};
        for (int i = 0; i < 4; ++i) {
            text[i] = field_text(d, idi_p1 + i);
            // A field the shape hides takes its default.
            const HWND field = GetDlgItem(d, idi_p1 + i);
            if (i == 0 || (field && (GetWindowLongPtr(field, GWL_STYLE) & WS_VISIBLE)))
                texts[i] = text[i].c_str();
        }
        float p[4];
        if (!check_override_numbers(e.shape, texts, p)) return false;
        e.p1 = p[0];
        e.p2 = p[1];
        e.p3 = p[2];
        e.p4 = p[3];
    }
    if (!set_input_override(edited.s, e)) return false;
    freeze_levels = IsDlgButtonChecked(d, idi_freeze) == BST_CHECKED ? 1 : 0;
    return true;
}

} // namespace

INT_PTR input_options_proc(HWND d, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        fit_dialog(d, 0);
        std::string title = "Input Options for: ";
        {
            model_lock_guard lock(cur_model_symbols, 1);
            if (lock.ok())
                if (const char* n = offset_name(edited.slot)) title += n;
        }
        SetDlgItemText(d, idi_title, title.c_str());
        CheckDlgButton(d, idi_override, BST_CHECKED);
        CheckDlgButton(d, idi_freeze, freeze_levels ? BST_CHECKED : BST_UNCHECKED);
        if (const input_override* e = find_input_override(edited.slot)) {
            check_shape(d, static_cast<int>(e->shape));
            set_number(d, idi_p1, e->p1);
            set_number(d, idi_p2, e->p2);
            set_number(d, idi_p3, e->p3);
            set_number(d, idi_p4, e->p4);
            input_options_fields(d, 0);
        } else {
            check_shape(d, edited.type == st_constant ? ovr_step : ovr_slider);
            float lo = 0, hi = 100;
            if (range_source && !range_source(edited.slot, edited.symbol, &lo, &hi))
                lo = 0, hi = 100;
            set_number(d, idi_p1, lo);
            set_number(d, idi_p2, hi);
            input_options_fields(d, 1);
        }
        return TRUE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        if (id == idi_override) {
            enable_fields(d, IsDlgButtonChecked(d, idi_override) == BST_CHECKED);
            return TRUE;
        }
        if (std::find(std::begin(shape_buttons), std::end(shape_buttons), id) !=
            std::end(shape_buttons)) {
            check_shape(d, id);
            input_options_fields(d, 1);
            return TRUE;
        }
        if (id == IDOK) {
            if (accept(d)) EndDialog(d, 1);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(d, 0);
            return TRUE;
        }
        break;
    }
    default:
        break;
    }
    return FALSE;
}

int input_options_dialog(HWND owner, const sketch_state* s, std::int32_t slot) {
    if (slot < 0 || static_cast<std::uint32_t>(slot) >= model_slots()) return 0;
    dialog_context c;
    c.s = s;
    c.slot = slot;
    {
        model_lock_guard lock(cur_model_symbols, 0);
        if (!lock.ok()) return 0;
        std::uint32_t element = 0;
        c.symbol = slot_symbol(slot, &element);
        if (const symbol_record* p = c.symbol ? sym(c.symbol) : nullptr) c.type = p->type;
    }
    const dialog_context saved = edited;
    edited = c;
    const INT_PTR result = run_dialog(dlg_input_options, owner, input_options_proc, 0);
    edited = saved;
    if (result == 1) {
        livesweep_rerun(0, 2, 0);
        if (changed_hook) changed_hook();
    }
    return result == 1 ? 1 : 0;
}

bool open_input_options(HWND view) {
    const sketch_state* s = view ? sketch_of(view) : nullptr;
    if (!s || livesweep_state != ls_on || s->symbols != cur_model_symbols) return false;
    std::int32_t slot = -1;
    int found = 0;
    {
        model_lock_guard lock(cur_model_symbols, 0);
        if (!lock.ok()) return false;
        for (std::size_t n = 1; n < s->view.elems.size(); ++n) {
            const sketch_elem& e = s->view.elems[n];
            if (e.kind != ek_variable || !(e.runtime & ef_selected)) continue;
            if (!e.payload || !valid_symbol(e.payload)) continue;
            const symbol_record* p = sym(e.payload);
            if (!p || p->slot < 0 || !has_value_slots(p->type)) continue;
            slot = p->slot;
            ++found;
        }
    }
    if (found > 1) return false;
    if (!found) {
        // In Livesweep a click chooses the variable (the workbench variable)
        // rather than selecting it: that one, when the view shows it.
        model_lock_guard lock(cur_model_symbols, 0);
        const symbol_id v = workbench_var.var;
        const symbol_record* p = lock.ok() && v && valid_symbol(v) ? sym(v) : nullptr;
        if (!p || p->slot < 0 || !has_value_slots(p->type)) return false;
        bool shown = false;
        for (std::size_t n = 1; n < s->view.elems.size() && !shown; ++n)
            shown = s->view.elems[n].kind == ek_variable && s->view.elems[n].payload == v;
        if (!shown) return false;
        slot = p->slot;
    }
    input_options_dialog(view, s, slot);
    return true;
}

void set_override_range_source(override_range_fn fn) {
    range_source = fn;
}

void set_overrides_changed_hook(overrides_changed_fn fn) {
    changed_hook = fn;
}

void install_input_overrides() {
    set_override_hook(eval_input_overrides);
    set_overrides_off_hook(input_overrides_off);
    set_setup_cleanup_hook(clear_input_overrides);
}

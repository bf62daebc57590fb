// The "Subscript Control" panel's logic.
#include "model/subpanel.h"

#include <algorithm>

#include "foundation/names.h"
#include "model/context.h"
#include "model/subscript_selection.h"
#include "model/varnames.h"

namespace {

bool panel_open = false;
symbol_id shown_range = 0;
int rect[4] = {-1, -1, -1, -1};
subscript_panel_window window{nullptr, nullptr};
void (*change_hook)() = nullptr;

handle reading_model() {
    return model_lock_flag != -1 && locked_model_symbols ? locked_model_symbols : cur_model_symbols;
}

std::uint32_t range_size(symbol_id range) {
    model_lock_guard g(reading_model(), 0);
    const element_list* l = g.ok() ? safe_range_elements(range) : nullptr;
    return l ? l->count : 0;
}

// The shown range belongs to the current model; from the first time the
// panel's state is set (opened, or a range chosen) it follows model switches.
// Before that there is nothing to follow.
void follow_model_switches() {
    on_model_switched(subpanel_model_changed);
}

void changed() {
    if (window.changed) window.changed();
    if (change_hook) change_hook();
}

symbol_id first_range() {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok()) return 0;
    if (valid_symbol(workbench_var.var)) {
        const dim_record* d = safe_dims(workbench_var.var);
        if (d && d->ndims > 0 && safe_range_elements(d->d[0].range)) return d->d[0].range;
    }
    std::vector<symbol_id> all = subpanel_ranges();
    return all.empty() ? 0 : all.front();
}

} // namespace

int create_subscript_panel(int show, int x, int y, int w, int h) {
    if (show == -1 && x == -1 && y == -1 && w == -1 && h == -1) {
        if (panel_open && window.show) window.show(-1, rect[0], rect[1], rect[2], rect[3]);
        panel_open = false;
        shown_range = 0;
        return 0;
    }
    follow_model_switches();
    const int given[4] = {x, y, w, h};
    for (int i = 0; i < 4; ++i)
        if (given[i] != -1) rect[i] = given[i];
    if (show) {
        if (!panel_open || !range_size(shown_range)) shown_range = first_range();
        panel_open = true;
    }
    if (panel_open && window.show) window.show(show ? 1 : 0, rect[0], rect[1], rect[2], rect[3]);
    return panel_open ? 1 : 0;
}

bool subscript_panel_open() {
    return panel_open;
}

int subscript_panel_exit_check() {
    return 1;
}

void subscript_panel_rect(int out[4]) {
    for (int i = 0; i < 4; ++i) out[i] = rect[i];
}

void subscript_panel_set_rect(const int r[4]) {
    for (int i = 0; i < 4; ++i) rect[i] = r[i];
}

void subpanel_model_changed() {
    if (!panel_open) {
        shown_range = 0;
        return;
    }
    shown_range = cur_model_symbols ? first_range() : 0;
    if (window.changed) window.changed();
}

void set_subscript_panel_window(const subscript_panel_window* w) {
    window = w ? *w : subscript_panel_window{nullptr, nullptr};
}

void set_subscript_change_hook(void (*hook)()) {
    change_hook = hook;
}

std::vector<symbol_id> subpanel_ranges() {
    std::vector<symbol_id> out;
    model_lock_guard g(reading_model(), 0);
    if (!g.ok()) return out;
    int n = 0;
    const symbol_id* alpha = alpha_index(&n);
    for (int i = 0; alpha && i < n; ++i)
        if (valid_symbol(alpha[i]) && sym(alpha[i])->type == st_range &&
            safe_range_elements(alpha[i]))
            out.push_back(alpha[i]);
    return out;
}

symbol_id subpanel_range() {
    return shown_range;
}

int subpanel_set_range(symbol_id range) {
    if (!range_size(range)) return 0;
    follow_model_switches();
    shown_range = range;
    if (window.changed) window.changed();
    return 1;
}

std::vector<subpanel_item> subpanel_items() {
    std::vector<subpanel_item> out;
    model_lock_guard g(reading_model(), 0);
    const element_list* l = g.ok() ? safe_range_elements(shown_range) : nullptr;
    for (std::uint32_t i = 0; l && i < l->count; ++i)
        out.push_back({l->ids[i], safe_sym_name(l->ids[i]),
                       subscript_selected(shown_range, static_cast<int>(i))});
    return out;
}

int subpanel_toggle(int position) {
    std::uint32_t n = range_size(shown_range);
    if (!n || position < 0 || static_cast<std::uint32_t>(position) >= n || !model_rec) return 0;
    select_subscript(shown_range, position, !subscript_selected(shown_range, position));
    changed();
    return 1;
}

int subpanel_select_all(bool on) {
    std::uint32_t n = range_size(shown_range);
    if (!n || !model_rec) return 0;
    int r = on ? select_element_span(shown_range, 0, static_cast<int>(n) - 1)
               : select_element_span(shown_range, 1, 0);
    changed();
    return r;
}

int subpanel_select_span(int first, int last) {
    if (!range_size(shown_range) || !model_rec) return 0;
    int r = select_element_span(shown_range, first, last);
    changed();
    return r;
}

std::string subpanel_summary(symbol_id range) {
    std::uint32_t n = range_size(range);
    if (!n) return {};
    std::uint32_t k = 0;
    int one = -1;
    for (std::uint32_t i = 0; i < n; ++i)
        if (subscript_selected(range, static_cast<int>(i))) {
            ++k;
            one = static_cast<int>(i);
        }
    if (k == n) return "All";
    if (k == 0) return "None";
    if (k == 1) {
        model_lock_guard g(reading_model(), 0);
        return g.ok() ? safe_sym_name(range_element_at(range, one)) : std::string();
    }
    return std::to_string(k) + " of " + std::to_string(n);
}

// Variable lists and series of the multi-variable graphs: see varlist.h.
#include "graphs/varlist.h"

#include "draw/axis.h"
#include "draw/boxname.h"
#include "draw/prims.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/textsrc.h"
#include "graphs/linegraph.h"
#include "model/constants.h"
#include "model/trees.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "shell/msgbox.h"
#include "shell/toolset.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

void add_elements(symbol_id s, std::vector<std::string>& out) {
    const char** list = nullptr;
    const int n = var_element_names(s, &list, 0);
    for (int i = 0; i < n && list; ++i)
        if (list[i] && std::find(out.begin(), out.end(), list[i]) == out.end())
            out.emplace_back(list[i]);
}

} // namespace

namespace {

// Where a symbol goes: 1 a value graph, 2 a lookup graph, 0 none.
int graph_kind_of(symbol_id s) {
    const symbol_record* r = sym(s);
    if (!r || r->slot < 0) return 0;
    if (r->type == st_lookup) return 2;
    return r->type >= 1 && r->type <= 24 ? 1 : 0;
}

// Sets the tree filter's kinds for the life of the guard.
struct kinds_guard {
    int saved[9];
    explicit kinds_guard(const std::uint8_t kinds[9]) {
        std::copy(std::begin(tree_kind_flags), std::end(tree_kind_flags), saved);
        for (int i = 0; i < 9; ++i) tree_kind_flags[i] = kinds ? kinds[i] : 1;
    }
    ~kinds_guard() { std::copy(std::begin(saved), std::end(saved), tree_kind_flags); }
};

void place(symbol_id s, std::vector<std::string>& out, std::vector<std::string>* lookups) {
    const int kind = graph_kind_of(s);
    if (kind == 1) add_elements(s, out);
    if (kind == 2 && lookups) add_elements(s, *lookups);
}

} // namespace

std::vector<std::string> graph_variable_list(symbol_id var, int choice,
                                             const std::uint8_t tree_kinds[9],
                                             std::vector<std::string>* lookups) {
    std::vector<std::string> out;
    if (lookups) lookups->clear();
    if (!var) return out;
    place(var, out, lookups);
    if (choice != 0 && choice != 1) return out;
    kinds_guard guard(tree_kinds);
    symbol_id found[4096];
    const int n = choice == 0 ? symbol_causes(var, found, 4096) : symbol_uses(var, found, 4096);
    std::vector<symbol_id> kept;
    for (int i = 0; i < n; ++i) {
        const symbol_id s = found[i];
        if (s == var || !graph_kind_of(s) || !tree_kind_shown(sym(s)->type)) continue;
        kept.push_back(s);
    }
    // By name, as the trees list them.
    std::sort(kept.begin(), kept.end(), [](symbol_id a, symbol_id b) {
        const std::string na = varformat(a, 0);
        return name_cmp(na.c_str(), varformat(b, 0)) < 0;
    });
    for (symbol_id s : kept) place(s, out, lookups);
    return out;
}

std::vector<std::string> all_variables_list(const std::uint8_t tree_kinds[9],
                                            std::vector<std::string>* lookups) {
    std::vector<std::string> out;
    if (lookups) lookups->clear();
    kinds_guard guard(tree_kinds);
    int count = 0;
    const symbol_id* alpha = alpha_index(&count);
    for (int i = 0; alpha && i < count; ++i)
        if (graph_kind_of(alpha[i]) && tree_kind_shown(sym(alpha[i])->type))
            place(alpha[i], out, lookups);
    return out;
}

int sane_graph_mm(int mm) {
    return std::clamp(mm, 1, 10000);
}

int read_lookup_points(const char* name, int run, std::vector<float>& x, std::vector<float>& y) {
    x.clear();
    y.clear();
    if (run < 0) return 0;
    read_run_lookup(name, run, x, y);
    const std::size_t n = std::min(x.size(), y.size());
    x.resize(n);
    y.resize(n);
    return static_cast<int>(n);
}

int read_series_or_constant(const char* name, const char* xname, int run, double t0, double t1,
                            std::vector<float>& values, std::vector<float>& times) {
    values.clear();
    times.clear();
    read_run_values(name, xname, run, values, times);
    if (values.empty()) {
        float v = NA;
        if (run_constant_value(name, run, &v) == 1) values.assign(1, v);
    }
    if (values.size() == 1) {
        values.assign(2, values[0]);
        times.assign({static_cast<float>(t0), static_cast<float>(t1)});
    }
    return static_cast<int>(values.size());
}

int stacked_tool_setup(int mode, handle tool, std::string* out, const char* text, int size,
                       const toptset_field* fields, void (*defaults)(tool_record*),
                       void (*settle)(tool_record*)) {
    if (!tool) return size;
    if (tool_option_size(tool) < static_cast<std::uint32_t>(size)) return size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return size;
        std::memset(tool_options(r), 0, static_cast<std::size_t>(size));
        defaults(r);
        unlock_tool(tool);
        if (text && read_line(0)) {
            r = lock_tool(tool);
            read_toptset(line_buf, tool_options(r), static_cast<std::uint32_t>(size), fields);
            unlock_tool(tool);
        }
        r = lock_tool(tool);
        if (r) {
            settle(r);
            unlock_tool(tool);
        }
    } else if (mode == 1 && out) {
        tool_record* r = lock_tool(tool);
        if (!r) return size;
        write_toptset(out, tool_options(r), static_cast<std::uint32_t>(size), fields);
        unlock_tool(tool);
    }
    return size;
}

void default_stacked_fonts(font_spec& font, font_spec& small, font_spec& smallest) {
    font = graph_defaults().fonts[0];
    font.size = 12;
    font.style = 0;
    small = font;
    small.size = 10;
    smallest = font;
    smallest.size = 8;
}

void sane_stacked_fonts(font_spec& font, font_spec& small, font_spec& smallest) {
    font = sane_font_spec(font);
    small = sane_font_spec(small);
    smallest = sane_font_spec(smallest);
}

int ask_all_windows(int windows) {
    return ask_yes_no_cancel(
        "To show all elements will require %d windows\nContinue? (No to show only initial "
        "elments)",
        windows);
}

value_range fit_value_range(double lo, double hi, bool round, double fixed_low, double fixed_high,
                            int divisions) {
    int chosen = 0;
    if (lo > hi) {
        lo = 0;
        hi = 100;
    } else if (lo == hi || round) {
        double a = lo, b = hi;
        if (a == b) {
            a -= std::max(std::fabs(a) * 0.1, 1.0);
            b += std::max(std::fabs(b) * 0.1, 1.0);
        }
        nice_axis_range(a, b, &lo, &hi);
        if (!(hi > lo)) lo = a, hi = b;
        round_scale r;
        if (round && divisions > 0 &&
            round_axis_steps(lo, hi, divisions, std::max(2, (divisions + 1) / 2),
                             std::max(2 * divisions, 2), true, true, &r)) {
            lo = r.lo, hi = r.hi;
            chosen = r.divisions;
        }
    }
    if (std::isfinite(fixed_low) && std::isfinite(fixed_high) && fixed_high > fixed_low) {
        lo = fixed_low;
        hi = fixed_high;
        chosen = 0;
    }
    value_range v;
    v.low = lo;
    v.high = hi;
    v.divisions = chosen;
    v.zero_line = (lo < 0 && hi > 0) ? axis_y_pos(0, lo, hi) : 0;
    return v;
}

void draw_plot_name(const std::string& name, const std::string& units, bool show_units, int left,
                    int right, int top, std::int32_t cell) {
    std::string text = name;
    if (show_units && !units.empty()) text += " (" + units + ")";
    draw_text_hot((left + right) / 2, top - std::max(drawing.line_height, 1), 'C', 'T',
                  text.c_str(), cell, 0);
}

void draw_plot_axes(int left, int top, int right, int bottom, int vdiv, int adiv, double low,
                    double high, std::int16_t zero_line) {
    const int lh = std::max(drawing.line_height, 1), cw = std::max(drawing.char_width, 1);
    const std::uint32_t grid = 0x00C0C0C0;
    const int plot_h = bottom - top, pw = right - left;
    draw_frame(13, 1, left, top, right, bottom);
    for (int k = 1; k < vdiv; ++k)
        draw_line(grid, 0, left, top + k * plot_h / vdiv, right, top + k * plot_h / vdiv);
    if (zero_line > 0 && zero_line < 10000) {
        const int zy = top + static_cast<int>(static_cast<long>(zero_line) * plot_h / 10000);
        draw_line(0, 1, left, zy, right, zy);
    }
    int step = 1;
    while (step < vdiv && (vdiv % step || step * plot_h / vdiv < lh)) ++step;
    for (int k = 0; k <= vdiv; k += step)
        draw_text_aligned(left - cw, bottom - k * plot_h / vdiv, 'R', 'C',
                          format_number(low + k * (high - low) / vdiv, 0, nullptr));
    for (int k = 1; k < adiv; ++k)
        draw_line(grid, 0, left + k * pw / adiv, top, left + k * pw / adiv, bottom);
}

void draw_axis_labels(const std::vector<std::string>& labels, int left, int right, int bottom,
                      const std::string& title, handle texts, std::int32_t* title_cell) {
    const int lh = std::max(drawing.line_height, 1), cw = std::max(drawing.char_width, 1);
    const int pw = right - left;
    const int div = std::max(static_cast<int>(labels.size()) - 1, 1);
    int widest = 1;
    for (const std::string& l : labels) widest = std::max(widest, text_width(l.c_str()));
    int step = 1;
    while (step < div && (div % step || step * pw / div < widest + cw)) ++step;
    for (int k = 0; k <= div && k < static_cast<int>(labels.size()); k += step)
        draw_text_aligned(left + k * pw / div, bottom + lh / 4, 'C', 'T',
                          labels[static_cast<std::size_t>(k)].c_str());
    if (!*title_cell) *title_cell = hblock_add_string(texts, title.c_str());
    draw_text_hot((left + right) / 2, bottom + lh + lh / 4, 'C', 'T', title.c_str(), *title_cell,
                  0);
}

// The Sensitivity Graph tool: see sensitivity.h.
#include "graphs/sensitivity.h"

#include "draw/axis.h"
#include "draw/boxname.h"
#include "draw/drawing.h"
#include "draw/prims.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "graphs/graphstore.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "graphs/varlist.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/units.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/select.h"
#include "runs/sens.h"
#include "shell/msgbox.h"
#include "shell/toolset.h"
#include "tools/output.h"
#include "tools/toolrun.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>

namespace {

constexpr int option_size = static_cast<int>(sizeof(sens_options));

#define SO(field) static_cast<std::int32_t>(offsetof(sens_options, field))
const toptset_field sens_option_fields[] = {
    {SO(var_choice), tf_byte},
    {SO(eq_flag_a), tf_byte},
    {SO(eq_flag_b), tf_byte},
    {SO(tree_kinds) + 0, tf_byte},
    {SO(tree_kinds) + 1, tf_byte},
    {SO(tree_kinds) + 2, tf_byte},
    {SO(tree_kinds) + 3, tf_byte},
    {SO(tree_kinds) + 4, tf_byte},
    {SO(tree_kinds) + 5, tf_byte},
    {SO(tree_kinds) + 6, tf_byte},
    {SO(tree_kinds) + 7, tf_byte},
    {SO(graphs_per_window), tf_int},
    {SO(max_windows), tf_int},
    {SO(show_units), tf_byte},
    {SO(font), tf_font},
    {SO(small_font), tf_font},
    {SO(smallest_font), tf_font},
    {SO(graph_width), tf_int},
    {SO(graph_height), tf_int},
    {SO(show_bands), tf_byte},
    {SO(bounds) + 0, tf_int},
    {SO(bounds) + 4, tf_int},
    {SO(bounds) + 8, tf_int},
    {SO(bounds) + 12, tf_int},
    {SO(bounds) + 16, tf_int},
    {SO(bounds) + 20, tf_int},
    {SO(bounds) + 24, tf_int},
    {SO(bounds) + 28, tf_int},
    {SO(band_colours) + 0, tf_long},
    {SO(band_colours) + 4, tf_long},
    {SO(band_colours) + 8, tf_long},
    {SO(band_colours) + 12, tf_long},
    {SO(band_colours) + 16, tf_long},
    {SO(band_colours) + 20, tf_long},
    {SO(band_colours) + 24, tf_long},
    {SO(band_colours) + 28, tf_long},
    {SO(sim_colour), tf_long},
    {SO(spare_colour), tf_long},
    {SO(show_mean), tf_byte},
    {SO(hide_first_run), tf_byte},
    {-1, 0},
};
#undef SO

bool finite_value(float v) {
    return !is_na(v) && std::isfinite(v);
}

} // namespace

int compact_bands(std::int32_t bounds[8], COLORREF colours[8]) {
    std::vector<std::pair<std::int32_t, COLORREF>> kept;
    for (int i = 0; i < 8; ++i)
        if (bounds[i] != 0) kept.emplace_back(bounds[i], colours[i]);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (int i = 0; i < 8; ++i) {
        const bool have = i < static_cast<int>(kept.size());
        bounds[i] = have ? kept[static_cast<std::size_t>(i)].first : 0;
        colours[i] = have ? kept[static_cast<std::size_t>(i)].second : RGB(255, 255, 255);
    }
    return static_cast<int>(kept.size());
}

std::vector<int> split_sens_windows(int graphs, int per_window, bool one_fits) {
    std::vector<int> out;
    if (graphs <= 0) return out;
    per_window = std::max(per_window, 1);
    int windows = one_fits ? 1 : (graphs + per_window - 1) / per_window;
    int remaining = graphs;
    for (int left = windows; left > 0 && remaining > 0; --left) {
        const int take = std::min(remaining, (remaining + left - 1) / left);
        out.push_back(take);
        remaining -= take;
    }
    return out;
}

void map_sens_plot(sens_plot& p, const sens_window& w, const sens_series& first,
                   const std::vector<std::vector<float>>& sims,
                   const std::vector<sens_series>& others, bool round_range, double fixed_low,
                   double fixed_high) {
    const double t0 = w.t_low, t1 = w.t_high;
    // The value range: every point inside the time range of every series.
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    auto take = [&](float t, float v) {
        if (!finite_value(v) || t < t0 || t > t1) return;
        lo = std::min(lo, static_cast<double>(v));
        hi = std::max(hi, static_cast<double>(v));
    };
    const std::size_t n = std::min(first.times.size(), first.values.size());
    for (std::size_t i = 0; i < n; ++i) take(first.times[i], first.values[i]);
    for (const auto& row : sims)
        for (std::size_t i = 0; i < n && i < row.size(); ++i) take(first.times[i], row[i]);
    for (const sens_series& s : others)
        for (std::size_t i = 0; i < s.times.size() && i < s.values.size(); ++i)
            take(s.times[i], s.values[i]);
    const value_range range =
        fit_value_range(lo, hi, round_range, fixed_low, fixed_high, w.value_divisions);
    lo = range.low;
    hi = range.high;
    p.low = lo;
    p.high = hi;
    p.zero_line = range.zero_line;
    p.divisions = range.divisions;

    // The first run with its simulations: rows of bands or of lines.
    const bool have_sims = !sims.empty() && n > 0;
    std::vector<const float*> sim_ptrs;
    std::vector<std::vector<float>> padded;
    if (have_sims) {
        padded.reserve(sims.size());
        for (const auto& row : sims) {
            std::vector<float> r(row.begin(), row.begin() + std::min(row.size(), n));
            r.resize(n, NA);
            padded.push_back(std::move(r));
        }
        for (const auto& r : padded) sim_ptrs.push_back(r.data());
    }
    const int bands = have_sims ? w.band_count : 0;
    const int sim_count = static_cast<int>(sim_ptrs.size());
    p.band_count = have_sims ? std::max(bands, 0) : 0;
    p.sim_lines = have_sims && bands == 0 ? sim_count : 0;
    p.row_count = 2 + (bands > 0 ? 2 * bands : p.sim_lines);
    const int stride = static_cast<int>(n);
    std::vector<std::int16_t> xs(n), rows(static_cast<std::size_t>(p.row_count) * n);
    std::int32_t bounds[8];
    std::copy(std::begin(w.bounds), std::end(w.bounds), bounds);
    int kept = 0;
    if (n > 0)
        kept = map_series_with_bands(
            first.times.data(), first.values.data(), stride, sim_ptrs.data(),
            have_sims && bands == 0 ? sim_count : sim_count, t0, t1, lo, hi, xs.data(), rows.data(),
            stride, bands > 0 ? bounds : nullptr, bands, 1);
    // Rows to the kept count, as the band filler reads them.
    p.xs.assign(xs.begin(), xs.begin() + kept);
    p.rows.assign(static_cast<std::size_t>(p.row_count) * static_cast<std::size_t>(kept), 0);
    for (int r = 0; r < p.row_count; ++r)
        std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(r) * stride, kept,
                    p.rows.begin() + static_cast<std::ptrdiff_t>(r) * kept);
    // The other runs' lines.
    p.run_xs.clear();
    p.run_ys.clear();
    for (const sens_series& s : others) {
        const int m = static_cast<int>(std::min(s.times.size(), s.values.size()));
        std::vector<std::int16_t> x(static_cast<std::size_t>(m)), y(static_cast<std::size_t>(m));
        int k = 0;
        for (int i = 0; i < m; ++i) {
            const float t = s.times[static_cast<std::size_t>(i)],
                        v = s.values[static_cast<std::size_t>(i)];
            if (!finite_value(v) || t < t0 || t > t1) continue;
            x[static_cast<std::size_t>(k)] = axis_x_pos(t, t0, t1);
            y[static_cast<std::size_t>(k)] = axis_y_pos(v, lo, hi);
            ++k;
        }
        x.resize(static_cast<std::size_t>(k));
        y.resize(static_cast<std::size_t>(k));
        p.run_xs.push_back(std::move(x));
        p.run_ys.push_back(std::move(y));
    }
}

// ------------------------------------------------------------ the record ---

namespace {

using sens_entry = graphs::stacked_entry<sens_window>;

graphs::stacked_store<sens_window>& store() {
    static graphs::stacked_store<sens_window> all;
    return all;
}

sens_entry* entry_of(const output_record* o) {
    return store().entry_of(o);
}

void release_sens(handle record) {
    store().release(record);
}

int legend_lines(const sens_window& w) {
    return static_cast<int>(w.run_labels.size()) + (w.band_count > 0 ? 1 : 0);
}

// Wanted size in pixels with the font selected.
void wanted(const sens_window& w, int* width, int* height) {
    const int lh = std::max(drawing.line_height, 1);
    const int g = static_cast<int>(w.graphs.size());
    *width = cm_to_device(w.graph_width_mm * 0.1, 1);
    *height =
        g * cm_to_device(w.graph_height_mm * 0.1, 0) + (legend_lines(w) + 2 * g + 2) * lh + lh;
}

int sens_layout(output_record* record) {
    sens_entry* e = entry_of(record);
    return e ? open_stacked_window(e->w, wanted) : 0;
}

void sens_draw(output_record* record) {
    sens_entry* e = entry_of(record);
    if (!e) return;
    sens_window& w = e->w;
    const int vdiv = std::max(w.value_divisions, 1);
    const stacked_page page = begin_stacked_draw(w, w.graphs, vdiv);
    const int W = page.width, H = page.height, lh = page.line_height, cw = page.char_width;
    const int left = page.left, right = page.right;
    const int g = static_cast<int>(w.graphs.size());
    // Legend: runs with a line sample, then the bands' per cents.
    int y = lh / 2;
    for (std::size_t r = 0; r < w.run_labels.size(); ++r) {
        draw_text_aligned(2 * cw, y, 'L', 'T', w.run_labels[r].c_str());
        const int sx = 2 * cw + text_width(w.run_labels[r].c_str()) + 2 * cw;
        if (sx + 4 * cw < W / 2)
            draw_legend_line(nullptr, static_cast<int>(r), 1, sx, y + lh / 2, W / 2, y + lh / 2);
        y += lh;
    }
    if (w.band_count > 0) {
        int x = 2 * cw;
        for (int b = 0; b < w.band_count; ++b) {
            char pct[16];
            std::snprintf(pct, sizeof pct, "%d%%", (w.bounds[b] + 5) / 10);
            const RECT r = draw_text_aligned(x, y, 'L', 'T', pct);
            const int bx = r.right + cw;
            HBRUSH brush = CreateSolidBrush(w.colours[b]);
            RECT box{bx, y + lh / 4, bx + 3 * cw, y + lh - lh / 4};
            if (drawing.colour_mode)
                FillRect(drawing.cur_dc, &box, brush);
            else
                fill_box(b, box.left, box.top, box.right, box.bottom);
            DeleteObject(brush);
            draw_frame(13, 1, box.left, box.top, box.right, box.bottom);
            x = bx + 5 * cw;
        }
        y += lh;
    }
    y += lh / 2;
    // The graphs share what is left above two lines of time labels.
    const int bottom_all = H - 2 * lh - lh / 2;
    if (g <= 0 || right - left < 4) return;
    const int pitch = (bottom_all - y) / g;
    const int plot_h = pitch - lh - lh / 2;
    if (plot_h < 4) return;
    e->name_plots(w.graphs);
    const int tdiv = std::max(w.time_divisions, 1);
    for (int i = 0; i < g; ++i) {
        const sens_plot& p = w.graphs[static_cast<std::size_t>(i)];
        const int top = y + i * pitch + lh;
        const int bottom = top + plot_h;
        draw_plot_name(p.name, p.units, w.show_units, left, right, top,
                       e->name_cells[static_cast<std::size_t>(i)]);
        fill_box(12, left, top, right, bottom);
        const int n = static_cast<int>(p.xs.size());
        if (n > 0 && p.band_count > 0) {
            // Widest band first, the narrower ones over it.
            for (int b = p.band_count - 1; b >= 0; --b)
                fill_bands(left, top, right, bottom, p.xs.data(),
                           p.rows.data() + static_cast<std::ptrdiff_t>(2 * b + 1) * n, n, 1,
                           &w.colours[b]);
        } else if (n > 0 && p.sim_lines > 0) {
            draw_curve_family(left, top, right, bottom, p.xs.data(), p.rows.data(), n, p.sim_lines,
                              w.sim_colour);
        }
        draw_plot_axes(left, top, right, bottom, p.divisions > 0 ? p.divisions : vdiv, tdiv, p.low,
                       p.high, p.zero_line);
        if (n > 0 && w.show_mean && p.band_count + p.sim_lines > 0)
            draw_curve_family(left, top, right, bottom, p.xs.data(), p.rows.data(), n, -2, 0);
        // The runs, last first; the first run's own line unless hidden.
        for (int r = static_cast<int>(p.run_xs.size()) - 1; r >= 0; --r) {
            const auto& xs = p.run_xs[static_cast<std::size_t>(r)];
            const auto& ys = p.run_ys[static_cast<std::size_t>(r)];
            if (xs.empty()) continue;
            draw_curve(nullptr, r + 1, 1, left, top, right, bottom, xs.data(), ys.data(),
                       static_cast<int>(xs.size()), 0, false, true);
        }
        const bool has_data = p.band_count + p.sim_lines > 0;
        if (n > 0 && !(w.hide_first_run && has_data))
            draw_curve(nullptr, 0, 1, left, top, right, bottom, p.xs.data(), p.rows.data(), n, 0,
                       false, true);
        if (i == 0) {
            if (!e->x_name_cell) e->x_name_cell = hblock_add_string(e->texts, w.x_var_name.c_str());
            set_value_map(left, right, w.t_low, w.t_high, e->x_name_cell, false);
        }
    }
    // Time labels under the last graph, then the axis title.
    const int last_bottom = y + (g - 1) * pitch + lh + plot_h;
    std::vector<std::string> tl;
    for (int k = 0; k <= tdiv; ++k) {
        const double v = w.t_low + k * (w.t_high - w.t_low) / tdiv;
        char buf[64];
        if (std::fabs(v) >= 999.99)
            std::snprintf(buf, sizeof buf, "%4.0f", v);
        else
            std::snprintf(buf, sizeof buf, "%s", format_number(v, 0, nullptr));
        tl.emplace_back(buf);
    }
    draw_axis_labels(tl, left, right, last_bottom, w.x_title, e->texts, &e->x_title_cell);
}

} // namespace

sens_window* sens_window_of(handle record) {
    return store().window_of(record);
}

const std::vector<handle>& last_sens_records() {
    return store().last_records();
}

handle show_sens_window(sens_window w) {
    return store().show(std::move(w), 4, {sens_layout, sens_draw, release_sens, nullptr},
                        "Unable to complete sens diagram");
}

// --------------------------------------------------------------- the tool ---

namespace {

void sens_defaults(tool_record* r) {
    auto* o = static_cast<sens_options*>(tool_options(r));
    default_stacked_options(*o);
    const std::int32_t bounds[8] = {500, 750, 950, 1000, 0, 0, 0, 0};
    const COLORREF colours[8] = {RGB(255, 255, 128), RGB(0, 255, 0),     RGB(0, 0, 255),
                                 RGB(128, 128, 128), RGB(255, 255, 255), RGB(255, 255, 255),
                                 RGB(255, 255, 255), RGB(255, 255, 255)};
    std::copy(std::begin(bounds), std::end(bounds), o->bounds);
    std::copy(std::begin(colours), std::end(colours), o->band_colours);
    o->graphs_per_window = 6;
    o->graph_width = 152;
    o->graph_height = 66;
    r->action = tool_action_id(sens_tool_run);
}

void sens_settle(tool_record* r) {
    auto* o = static_cast<sens_options*>(tool_options(r));
    o->graphs_per_window = std::max(o->graphs_per_window, 1);
    settle_stacked_options(*o);
    r->icon = o->var_choice == 0   ? 0x1e0060
              : o->var_choice == 1 ? 0x1e0070
              : o->show_bands      ? 0x1e0080
                                   : 0x2d0080;
}

} // namespace

int sens_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    return stacked_tool_setup(mode, tool, out, text, option_size, sens_option_fields, sens_defaults,
                              sens_settle);
}

namespace {

// The settings every window of a run of the tool shares: fonts, bands and
// colours, sizes, divisions, the title, the runs' labels and the time axis.
// False, said, when the time axis has no span.
bool sens_prototype(handle tool, const sens_options& o, symbol_id var, int runs, sens_window& proto,
                    std::vector<int>& run_index) {
    proto.fonts[0] = o.font;
    proto.fonts[1] = o.small_font;
    proto.fonts[2] = o.smallest_font;
    if (o.show_bands) {
        std::copy(std::begin(o.bounds), std::end(o.bounds), proto.bounds);
        std::copy(std::begin(o.band_colours), std::end(o.band_colours), proto.colours);
        proto.band_count = compact_bands(proto.bounds, proto.colours);
    }
    proto.sim_colour = o.sim_colour;
    proto.show_units = o.show_units;
    proto.show_mean = o.show_mean;
    proto.hide_first_run = o.hide_first_run;
    proto.graph_width_mm = sane_graph_mm(o.graph_width);
    proto.graph_height_mm = sane_graph_mm(o.graph_height);
    proto.value_divisions = graph_defaults().y_divisions;
    proto.time_divisions = graph_defaults().x_divisions;
    proto.title = std::string(varformat(var, 1)) + ": " + tool_name(tool);
    for (int k = 0; k < runs && k < max_selected_runs; ++k) {
        run_index.push_back(model_rec->runs[k].run);
        proto.run_labels.emplace_back(selected_run_names[k] ? selected_run_names[k] : "");
    }
    time_basis_label(model_rec->start, &proto.t_low, 0, nullptr, 0);
    time_basis_label(model_rec->end, &proto.t_high, 0, nullptr, 0);
    if (!(proto.t_high > proto.t_low)) {
        // A time axis of no span has nowhere to put a point.
        report(8, "Unable to complete sens diagram");
        return false;
    }
    const symbol_id basis = time_basis_symbol();
    proto.x_var_name = basis ? varformat(basis, 0) : "Time";
    proto.x_title = basis ? name_units_label(nullptr, basis, 0) : "Time";
    return true;
}

// How many graphs each window takes: all in one when every graph fits at 0.6
// of its height, else as many as the options allow; past the most windows
// the user chooses between all of them and the first only. False when the
// user cancels.
bool plan_sens_windows(const sens_window& proto, const sens_options& o, int total, int lookups,
                       std::vector<int>& split, std::vector<int>& lookup_split) {
    bool one_fits = false;
    {
        sens_window all = proto;
        all.graphs.resize(static_cast<std::size_t>(total));
        int w = 0, h = 0, aw = 0, ah = 0;
        use_graph_font(all.fonts[0]);
        wanted(all, &w, &h);
        graph_output_size(w, h, &aw, &ah);
        one_fits = total <= o.graphs_per_window && ah >= 0.6 * h;
    }
    split = split_sens_windows(total, o.graphs_per_window, one_fits);
    lookup_split = split_sens_windows(lookups, o.graphs_per_window, false);
    const int windows = static_cast<int>(split.size() + lookup_split.size());
    if (windows > o.max_windows) {
        const int answer = ask_all_windows(windows);
        if (answer < 0) return false;
        if (answer == 0) {
            if (!split.empty()) split.assign(1, std::min(total, o.graphs_per_window));
            if (!lookup_split.empty())
                lookup_split.assign(1, std::min(lookups, o.graphs_per_window));
        }
    }
    return true;
}

// A graph's units, when the options show them.
std::string sens_units(const sens_options& o, const std::string& name) {
    std::int32_t slot = 0;
    symbol_id s = 0;
    if (!o.show_units || !find_var_name(name.c_str(), &slot, 0, &s) || !s) return std::string();
    const char* u = name_units_label(nullptr, s, 2);
    return std::string(u ? u : "");
}

// One variable's graph: each run's series, and the first (sensitivity) run's
// simulations behind it.
sens_plot variable_plot(const sens_options& o, const sens_window& w, const std::string& name,
                        const std::vector<int>& run_index, int first_run) {
    sens_plot p;
    p.name = name;
    p.units = sens_units(o, name);
    sens_series first;
    std::vector<sens_series> others;
    for (std::size_t r = 0; r < run_index.size(); ++r) {
        sens_series s;
        if (run_index[r] >= 0)
            read_series_or_constant(name.c_str(), w.x_var_name.c_str(), run_index[r], w.t_low,
                                    w.t_high, s.values, s.times);
        if (r == 0)
            first = std::move(s);
        else
            others.push_back(std::move(s));
    }
    std::vector<std::vector<float>> sims;
    if (first_run >= 0 && sens_values(name.c_str(), first_run, sims) <= 1) sims.clear();
    // The first run's line is drawn from row 0; others from run 1 on. A range
    // dragged on a graph's value axis is taken once.
    double top = 0, bottom = 0;
    if (!take_pending_y_range(&top, &bottom)) top = bottom = 0;
    map_sens_plot(p, w, first, sims, others, true, bottom, top);
    return p;
}

// A window of lookups: x against y, on the x range of all its lookups.
sens_window lookup_window(const sens_options& o, const sens_window& proto,
                          const std::vector<std::string>& lookups, std::size_t& next, int count,
                          const std::vector<int>& run_index) {
    sens_window w = proto;
    w.x_title = "-X-";
    w.x_var_name.clear();
    std::vector<std::pair<sens_series, std::vector<sens_series>>> read;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (int k = 0; k < count && next < lookups.size(); ++k, ++next) {
        const std::string& name = lookups[next];
        sens_series first;
        std::vector<sens_series> others;
        for (std::size_t r = 0; r < run_index.size(); ++r) {
            sens_series s;
            read_lookup_points(name.c_str(), run_index[r], s.times, s.values);
            for (float x : s.times)
                if (std::isfinite(x)) lo = std::min(lo, double(x)), hi = std::max(hi, double(x));
            if (r == 0)
                first = std::move(s);
            else
                others.push_back(std::move(s));
        }
        sens_plot p;
        p.name = name;
        p.units = sens_units(o, name);
        w.graphs.push_back(std::move(p));
        read.emplace_back(std::move(first), std::move(others));
    }
    w.t_low = lo <= hi ? lo : 0;
    w.t_high = lo < hi ? hi : w.t_low + 1;
    for (std::size_t k = 0; k < read.size(); ++k)
        map_sens_plot(w.graphs[k], w, read[k].first, {}, read[k].second, true);
    return w;
}

} // namespace

void sens_tool_run(handle tool) {
    store().forget_last();
    output_oneshots_guard oneshots;
    const tool_run<sens_options> run(tool);
    if (!run.ok() || !run.var) return;
    const sens_options& o = run.options;
    const symbol_id var = run.var;
    std::vector<std::string> lookups;
    std::vector<std::string> names = graph_variable_list(var, o.var_choice, o.tree_kinds, &lookups);
    if (names.empty() && lookups.empty()) return;
    const int runs = loaded_run_names(0);
    if (runs <= 0 || !model_rec) return;
    std::uint32_t head[9];
    const int first_run = model_rec->runs[0].run;
    const char type = selected_run_types[0];
    if ((type != 'S' && type != 's') || first_run < 0 || !run_sens_header(first_run, head) ||
        head[0] == 0) {
        report(8, "First run must be sensitivity run to get results.  Try strip graph");
        return;
    }
    sens_window proto;
    std::vector<int> run_index;
    if (!sens_prototype(tool, o, var, runs, proto, run_index)) return;
    std::vector<int> split, lookup_split;
    if (!plan_sens_windows(proto, o, static_cast<int>(names.size()),
                           static_cast<int>(lookups.size()), split, lookup_split))
        return;
    auto open_window = [&](sens_window w) {
        // The tool's window is reused for the first; the others are new.
        opening_tool = store().first_of_run() ? tool : 0;
        if (handle h = show_sens_window(std::move(w))) store().add_last(h);
    };
    std::size_t next = 0;
    for (int count : split) {
        sens_window w = proto;
        for (int k = 0; k < count && next < names.size(); ++k, ++next)
            w.graphs.push_back(variable_plot(o, w, names[next], run_index, first_run));
        open_window(std::move(w));
    }
    next = 0;
    for (int count : lookup_split)
        open_window(lookup_window(o, proto, lookups, next, count, run_index));
}

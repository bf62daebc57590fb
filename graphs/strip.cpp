// The Strip Graph tool: see strip.h.
#include "graphs/strip.h"

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
#include "model/trees.h"
#include "model/units.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/select.h"
#include "shell/msgbox.h"
#include "shell/toolset.h"
#include "tools/liveruns.h"
#include "tools/output.h"
#include "tools/series.h"
#include "tools/toolrun.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>

namespace {

constexpr int option_size = static_cast<int>(sizeof(strip_options));

#define SO(field) static_cast<std::int32_t>(offsetof(strip_options, field))
const toptset_field strip_option_fields[] = {
    {SO(as_points), tf_byte},      {SO(var_choice), tf_byte},
    {SO(eq_flag_a), tf_byte},      {SO(eq_flag_b), tf_byte},
    {SO(strip_kind), tf_byte},     {SO(tree_kinds) + 0, tf_byte},
    {SO(tree_kinds) + 1, tf_byte}, {SO(tree_kinds) + 2, tf_byte},
    {SO(tree_kinds) + 3, tf_byte}, {SO(tree_kinds) + 4, tf_byte},
    {SO(tree_kinds) + 5, tf_byte}, {SO(tree_kinds) + 6, tf_byte},
    {SO(tree_kinds) + 7, tf_byte}, {SO(strips_per_window), tf_int},
    {SO(max_windows), tf_int},     {SO(show_units), tf_byte},
    {SO(font), tf_font},           {SO(small_font), tf_font},
    {SO(smallest_font), tf_font},  {SO(strip_width), tf_int},
    {SO(strip_height), tf_int},    {SO(max_lag), tf_float},
    {SO(remove_mean), tf_byte},    {-1, 0},
};
#undef SO

bool finite_value(float v) {
    return !is_na(v) && std::isfinite(v);
}

} // namespace

std::string shorten_strip_label(const std::string& label) {
    if (label.size() <= 50) return label;
    std::string out;
    out += label[0];
    out += label[2];
    out += "...";
    out += label.substr(label.size() - 45);
    return out;
}

int constants_per_window(int height, int runs, int line_height) {
    const long per = static_cast<long>((runs + 1) / 2) * (std::max(line_height, 1) + 4);
    if (per <= 0) return 1;
    const long m = static_cast<long>(5.0 / 3.0 * height / static_cast<double>(per));
    return static_cast<int>(std::clamp(m, 1L, 1000000L));
}

void strip_analysis(int kind, const std::vector<float>& times, const std::vector<float>& values,
                    double t0, double t1, double dt, double first_dt, double max_lag,
                    bool remove_mean, std::vector<float>& x, std::vector<float>& y, double* top) {
    x.clear();
    y.clear();
    std::vector<float> in, in_t;
    for (std::size_t i = 0; i < times.size() && i < values.size(); ++i)
        if (times[i] >= t0 && times[i] <= t1) {
            in.push_back(values[i]);
            in_t.push_back(times[i]);
        }
    if (!(dt > 0) || !std::isfinite(dt)) dt = 1.0;
    if (!(first_dt > 0) || !std::isfinite(first_dt)) first_dt = dt;
    if (kind == 0) {
        x = in_t;
        y = in;
        if (top) *top = t1;
        return;
    }
    int n = static_cast<int>(in.size());
    if (n < 1) {
        if (top) *top = 1;
        return;
    }
    if (kind == 2) {
        const float* r = autocorrelation(in.data(), &n, max_lag, dt);
        for (int i = 0; r && i < n; ++i) {
            x.push_back(static_cast<float>(i * dt));
            y.push_back(r[i]);
        }
        if (top) *top = n > 1 ? (n - 1) * dt : 1.0;
        return;
    }
    const float* s = power_spectrum(in.data(), &n, remove_mean);
    const int points = n / 2;
    // A time axis of no span: the series' own span, else one.
    double span = t1 - t0;
    if (!(span > 0)) span = in_t.size() > 1 ? in_t.back() - in_t.front() : 0;
    if (!(span > 0)) span = 1;
    const double axis_top = points / (2.0 * span);
    for (int i = 0; s && i < points; ++i) {
        x.push_back(static_cast<float>(i * axis_top / std::max(points, 1) * first_dt / dt));
        y.push_back(s[i]);
    }
    if (top) *top = axis_top > 0 ? axis_top : 1;
}

namespace {
// Run r's points of a strip at their positions in the window (those with a
// value inside the axis's span); the strip's value range stays.
void map_run(strip_plot& p, const strip_window& w, std::size_t r, const float* xs, const float* ys,
             std::size_t n) {
    p.xs[r].clear();
    p.ys[r].clear();
    for (std::size_t i = 0; i < n; ++i) {
        if (!finite_value(ys[i]) || xs[i] < w.x_low || xs[i] > w.x_high) continue;
        p.xs[r].push_back(axis_x_pos(xs[i], w.x_low, w.x_high));
        p.ys[r].push_back(axis_y_pos(ys[i], p.low, p.high));
    }
}
} // namespace

void map_strip(strip_plot& p, const strip_window& w, const std::vector<std::vector<float>>& xs,
               const std::vector<std::vector<float>>& ys, double fixed_low, double fixed_high) {
    const double x0 = w.x_low, x1 = w.x_high;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (std::size_t r = 0; r < xs.size() && r < ys.size(); ++r)
        for (std::size_t i = 0; i < xs[r].size() && i < ys[r].size(); ++i) {
            const float v = ys[r][i];
            if (!finite_value(v) || xs[r][i] < x0 || xs[r][i] > x1) continue;
            lo = std::min(lo, static_cast<double>(v));
            hi = std::max(hi, static_cast<double>(v));
        }
    const value_range range =
        fit_value_range(lo, hi, true, fixed_low, fixed_high, w.value_divisions);
    p.low = range.low;
    p.high = range.high;
    p.zero_line = range.zero_line;
    p.divisions = range.divisions;
    p.xs.assign(xs.size(), {});
    p.ys.assign(xs.size(), {});
    for (std::size_t r = 0; r < xs.size() && r < ys.size(); ++r)
        map_run(p, w, r, xs[r].data(), ys[r].data(), std::min(xs[r].size(), ys[r].size()));
}

// ------------------------------------------------------------ the record ---

namespace {

using strip_entry = graphs::stacked_entry<strip_window>;

graphs::stacked_store<strip_window>& store() {
    static graphs::stacked_store<strip_window> all;
    return all;
}

strip_entry* entry_of(const output_record* o) {
    return store().entry_of(o);
}

void release_strip(handle record) {
    store().release(record);
}

int constant_block(const strip_window& w, int lh) {
    const int runs = static_cast<int>(w.run_labels.size());
    return ((runs + 1) / 2 + 1) * (lh + 4);
}

void wanted(const strip_window& w, int* width, int* height) {
    const int lh = std::max(drawing.line_height, 1);
    const int s = static_cast<int>(w.strips.size());
    const int runs = static_cast<int>(w.run_labels.size());
    *width = cm_to_device(w.strip_width_mm * 0.1, 1);
    *height = s * cm_to_device(w.strip_height_mm * 0.1, 0) + (runs + 2 * s + 1) * lh + lh;
    if (!w.constants.empty()) {
        *height += static_cast<int>(w.constants.size()) * constant_block(w, lh) + lh;
        // Two columns of "run: value" entries.
        int widest = 0;
        for (const std::string& l : w.run_labels)
            widest = std::max(widest, text_width(shorten_strip_label(l).c_str()));
        *width = std::max(*width, 2 * (widest + text_width(": 0.000000")) +
                                      8 * std::max(drawing.char_width, 1));
    }
}

int strip_layout(output_record* record) {
    strip_entry* e = entry_of(record);
    return e ? open_stacked_window(e->w, wanted) : 0;
}

void strip_draw(output_record* record) {
    strip_entry* e = entry_of(record);
    if (!e) return;
    strip_window& w = e->w;
    const int vdiv = std::max(w.value_divisions, 1);
    const stacked_page page = begin_stacked_draw(w, w.strips, vdiv);
    const int W = page.width, H = page.height, lh = page.line_height, cw = page.char_width;
    const int left = page.left, right = page.right;
    const int s = static_cast<int>(w.strips.size());
    const int runs = static_cast<int>(w.run_labels.size());
    // Legend.
    int y = lh / 2;
    for (int r = 0; r < runs; ++r) {
        const std::string label = shorten_strip_label(w.run_labels[static_cast<std::size_t>(r)]);
        draw_text_aligned(2 * cw, y, 'L', 'T', label.c_str());
        const int sx = 2 * cw + text_width(label.c_str()) + 2 * cw;
        if (sx + 4 * cw < W / 2) {
            if (w.as_points) {
                std::int16_t xs[2] = {0, 10000}, ys[2] = {5000, 5000};
                draw_point_markers(nullptr, r, 1, 0, sx, y + lh / 2, W / 2, y + lh / 2, xs, ys, 2,
                                   false);
            } else {
                draw_legend_line(nullptr, r, 1, sx, y + lh / 2, W / 2, y + lh / 2);
            }
        }
        y += lh;
    }
    y += lh / 2;
    const int const_h =
        w.constants.empty() ? 0 : static_cast<int>(w.constants.size()) * constant_block(w, lh) + lh;
    const int bottom_all = H - const_h - 2 * lh - lh / 2;
    const int pw = right - left;
    e->name_plots(w.strips);
    int last_bottom = y;
    if (s > 0 && pw > 4) {
        const int pitch = (bottom_all - y) / s;
        const int plot_h = pitch - lh - lh / 2;
        if (plot_h >= 4) {
            const int adiv = std::max(w.axis_divisions, 1);
            for (int i = 0; i < s; ++i) {
                const strip_plot& p = w.strips[static_cast<std::size_t>(i)];
                const int top = y + i * pitch + lh, bottom = top + plot_h;
                draw_plot_name(p.name, p.units, w.show_units, left, right, top,
                               e->name_cells[static_cast<std::size_t>(i)]);
                fill_box(12, left, top, right, bottom);
                draw_plot_axes(left, top, right, bottom, p.divisions > 0 ? p.divisions : vdiv, adiv,
                               p.low, p.high, p.zero_line);
                for (int r = static_cast<int>(p.xs.size()) - 1; r >= 0; --r) {
                    const auto& xs = p.xs[static_cast<std::size_t>(r)];
                    const auto& ys = p.ys[static_cast<std::size_t>(r)];
                    if (xs.empty()) continue;
                    if (w.as_points)
                        draw_point_markers(nullptr, r, 1, 0, left, top, right, bottom, xs.data(),
                                           ys.data(), static_cast<int>(xs.size()), false);
                    else
                        draw_curve(nullptr, r, 1, left, top, right, bottom, xs.data(), ys.data(),
                                   static_cast<int>(xs.size()), 0, false, true);
                }
                if (i == 0) {
                    if (!e->x_name_cell)
                        e->x_name_cell = hblock_add_string(e->texts, w.x_var_name.c_str());
                    set_value_map(left, right, w.x_low, w.x_high, e->x_name_cell, false);
                }
                last_bottom = bottom;
            }
            // Axis labels and title under the last strip.
            const double step_v = (w.x_high - w.x_low) / adiv;
            std::vector<std::string> tl;
            for (int k = 0; k <= adiv; ++k)
                tl.emplace_back(format_to_step(w.x_low + k * step_v, step_v));
            draw_axis_labels(tl, left, right, last_bottom, w.x_title, e->texts, &e->x_title_cell);
            last_bottom += 2 * lh + lh / 2;
        }
    }
    // Constants: the name, then each run's value in two columns.
    int cy = std::max(last_bottom, H - const_h);
    // The second column starts past the widest first-column entry.
    int col_w = 0;
    for (const strip_constant& c : w.constants)
        for (int r = 0; r < runs; r += 2)
            col_w = std::max(
                col_w,
                text_width((shorten_strip_label(w.run_labels[static_cast<std::size_t>(r)]) + ": " +
                            format_number(r < static_cast<int>(c.values.size())
                                              ? c.values[static_cast<std::size_t>(r)]
                                              : NA,
                                          0, nullptr))
                               .c_str()));
    const int second_x = std::max(W / 2, 4 * cw + col_w + 2 * cw);
    for (const strip_constant& c : w.constants) {
        std::string name = c.name;
        if (w.show_units && !c.units.empty()) name += " (" + c.units + ")";
        draw_text_aligned(2 * cw, cy, 'L', 'T', name.c_str());
        cy += lh + 4;
        for (int r = 0; r < runs; ++r) {
            const std::string label =
                shorten_strip_label(w.run_labels[static_cast<std::size_t>(r)]) + ": " +
                format_number(r < static_cast<int>(c.values.size())
                                  ? c.values[static_cast<std::size_t>(r)]
                                  : NA,
                              0, nullptr);
            const int col = r % 2, row = r / 2;
            draw_text_aligned(col ? second_x : 4 * cw, cy + row * (lh + 4), 'L', 'T',
                              label.c_str());
        }
        cy += ((runs + 1) / 2) * (lh + 4);
    }
}

// The time base the re-runs' times are read against (none for Time).
const char* live_x_name(const strip_window& w) {
    return w.x_var_name.empty() || w.x_var_name == "Time" ? nullptr : w.x_var_name.c_str();
}

} // namespace

namespace {

// Which strips follow the Livesweep re-runs: for the run position of the run
// the value cache shows, each strip of a variable the re-runs compute.
// Found again whenever that run is not the one they were found for.
void follow_shown_run(strip_window& w) {
    const int shown = shown_run_index();
    if (shown < 0 || shown == w.live_found_for || w.runs.empty()) return;
    model_lock_guard lock(cur_model_symbols, 0);
    if (!lock.ok()) return;
    for (strip_plot& p : w.strips) {
        p.live_slots.assign(w.runs.size(), 0);
        std::int32_t slot = -1;
        const int type = w.x_var_name.empty() ? 0 : find_var_name(p.name.c_str(), &slot);
        if (slot < 0 || type < 1 || type > 21 || type == 5 || type == 6 || type == 12) continue;
        for (std::size_t r = 0; r < w.runs.size(); ++r)
            if (w.runs[r] == shown) p.live_slots[r] = static_cast<std::uint32_t>(slot) + 1;
    }
    w.live_found_for = shown;
}

} // namespace

void strip_prepare_live(handle record) {
    if (!cache_livesweep()) return;
    strip_window* w = store().window_of(record);
    if (!w) return;
    follow_shown_run(*w);
    for (const strip_plot& p : w->strips)
        for (std::size_t r = 0; r < p.live_slots.size(); ++r)
            if (p.live_slots[r])
                cached_series(static_cast<int>(p.live_slots[r] - 1), nullptr, nullptr,
                              static_cast<int>(r), live_x_name(*w));
    // The listed constants too, for the shown run's position.
    if (w->constants.empty()) return;
    model_lock_guard lock(cur_model_symbols, 0);
    const int shown = shown_run_index();
    for (const strip_constant& c : w->constants) {
        std::int32_t slot = -1;
        if (!lock.ok() || !find_var_name(c.name.c_str(), &slot) || slot < 0) continue;
        for (std::size_t r = 0; r < w->runs.size(); ++r)
            if (w->runs[r] == shown)
                cached_series(slot, nullptr, nullptr, static_cast<int>(r), nullptr);
    }
}

void strip_live_update(handle record) {
    if (!cache_livesweep()) return;
    auto* o = static_cast<output_record*>(lock_handle(record));
    if (!o) return;
    strip_entry* e = entry_of(o);
    HWND window = o->window;
    unlock_handle(record);
    if (!e) return;
    follow_shown_run(e->w);
    const strip_window& w = e->w;
    bool changed = false;
    // The listed constants of the shown run as the re-runs have them (the
    // names are looked up in the model).
    model_lock_guard lock(cur_model_symbols, 0);
    for (strip_constant& c : e->w.constants)
        for (std::size_t r = 0; lock.ok() && r < w.runs.size() && r < c.values.size(); ++r) {
            float live = NA;
            if (w.runs[r] >= 0 && w.runs[r] == shown_run_index() &&
                live_value_at_time(c.name.c_str(), nullptr, w.runs[r], &live, nullptr, 0) == 1 &&
                live != c.values[r]) {
                c.values[r] = live;
                changed = true;
            }
        }
    for (strip_plot& p : e->w.strips)
        for (std::size_t r = 0; r < p.live_slots.size() && r < p.xs.size(); ++r) {
            if (!p.live_slots[r]) continue;
            const float* times = nullptr;
            const float* values = nullptr;
            const int n = cached_series(static_cast<int>(p.live_slots[r] - 1), &times, &values,
                                        static_cast<int>(r), live_x_name(w));
            if (n <= 0 || !times || !values) continue;
            if (w.kind == 0) {
                map_run(p, w, r, times, values, static_cast<std::size_t>(n));
            } else {
                // The analysis worked out again from the re-run, on the axes
                // the window was opened with.
                if (r >= w.dts.size()) continue;
                std::vector<float> x, y;
                strip_analysis(w.kind, std::vector<float>(times, times + n),
                               std::vector<float>(values, values + n), w.t0, w.t1, w.dts[r],
                               w.dts[0], w.max_lag, w.remove_mean, x, y, nullptr);
                map_run(p, w, r, x.data(), y.data(), std::min(x.size(), y.size()));
            }
            changed = true;
        }
    if (changed && window) InvalidateRect(window, nullptr, FALSE);
}

strip_window* strip_window_of(handle record) {
    return store().window_of(record);
}

const std::vector<handle>& last_strip_records() {
    return store().last_records();
}

handle show_strip_window(strip_window w) {
    return store().show(std::move(w), 3,
                        {strip_layout, strip_draw, release_strip, strip_live_update},
                        "Unable to complete strip diagram");
}

// --------------------------------------------------------------- the tool ---

namespace {

void strip_defaults(tool_record* r) {
    auto* o = static_cast<strip_options*>(tool_options(r));
    default_stacked_options(*o);
    o->strips_per_window = 6;
    o->strip_width = 60;
    o->strip_height = 25;
    o->max_lag = 40;
    r->action = tool_action_id(strip_tool_run);
}

void strip_settle(tool_record* r) {
    auto* o = static_cast<strip_options*>(tool_options(r));
    o->strips_per_window = std::max(o->strips_per_window, 1);
    settle_stacked_options(*o);
    const std::uint32_t base = o->as_points ? 0x1e0030 : 0x1e0000;
    r->icon = base + (o->var_choice == 0 ? 0 : o->var_choice == 1 ? 0x10 : 0x20);
}

} // namespace

int strip_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    return stacked_tool_setup(mode, tool, out, text, option_size, strip_option_fields,
                              strip_defaults, strip_settle);
}

namespace {

double run_saveper(int run) {
    float v = NA;
    if (run_constant_value("SAVEPER", run, &v) == 1 && finite_value(v) && v > 0) return v;
    std::vector<float> values, times;
    if (read_run_values("SAVEPER", nullptr, run, values, times) > 0 && finite_value(values[0]) &&
        values[0] > 0)
        return values[0];
    return 1.0;
}

} // namespace

namespace {

// The settings every window of a run of the tool shares: fonts, sizes, the
// analysis, divisions, the title, the runs with their labels and saving
// steps, and the time axis (its variable, title and span).
strip_window strip_prototype(handle tool, const strip_options& o, const std::string& title_text,
                             int runs, int kind) {
    strip_window proto;
    proto.fonts[0] = o.font;
    proto.fonts[1] = o.small_font;
    proto.fonts[2] = o.smallest_font;
    proto.strip_width_mm = sane_graph_mm(o.strip_width);
    proto.strip_height_mm = sane_graph_mm(o.strip_height);
    proto.kind = kind;
    proto.as_points = o.as_points;
    proto.show_units = o.show_units;
    proto.value_divisions = graph_defaults().y_divisions;
    proto.axis_divisions = graph_defaults().x_divisions;
    proto.title = title_text + ": " + tool_name(tool);
    std::vector<int> run_index;
    for (int k = 0; k < runs && k < max_selected_runs; ++k) {
        run_index.push_back(model_rec->runs[k].run);
        proto.run_labels.emplace_back(selected_run_names[k] ? selected_run_names[k] : "");
    }
    double t0 = model_rec->start, t1 = model_rec->end;
    time_basis_label(model_rec->start, &t0, 0, nullptr, 0);
    time_basis_label(model_rec->end, &t1, 0, nullptr, 0);
    const symbol_id basis = time_basis_symbol();
    proto.x_var_name = basis ? varformat(basis, 0) : "Time";
    const std::string basis_label = basis ? name_units_label(nullptr, basis, 0) : "Time";
    proto.x_title = kind == 2   ? "Lag " + basis_label
                    : kind == 1 ? "Frequency/" + basis_label
                                : basis_label;
    std::vector<double> dts;
    for (int run : run_index) dts.push_back(run >= 0 ? run_saveper(run) : 1.0);
    proto.t0 = t0;
    proto.t1 = t1;
    proto.dts = dts;
    proto.max_lag = o.max_lag;
    proto.remove_mean = o.remove_mean != 0;
    proto.runs = run_index;
    if (cache_livesweep()) proto.live_found_for = shown_run_index();
    return proto;
}

// How the strips, constants and lookups go into windows.
struct strip_plan {
    bool one_fits = false; // one window holds every strip and constant
    int strip_windows = 0, const_windows = 0, const_cap = 0, lookup_windows = 0;
};

// One window holding everything when it fits at 0.6 of its height, else as
// many as the options allow; past the most windows the user chooses between
// all of them and one of each. False when the user cancels.
bool plan_strip_windows(const strip_window& proto, const strip_options& o, int runs,
                        std::size_t dynamic, std::size_t constants, std::size_t lookups,
                        strip_plan& plan) {
    const int per = std::max(o.strips_per_window, 1);
    strip_window all = proto;
    all.strips.resize(dynamic);
    all.constants.resize(constants);
    int ww = 0, wh = 0, aw = 0, ah = 0;
    use_graph_font(all.fonts[0]);
    wanted(all, &ww, &wh);
    graph_output_size(ww, wh, &aw, &ah);
    const int strips_n = static_cast<int>(dynamic);
    const int consts_n = static_cast<int>(constants);
    plan.one_fits = strips_n <= per && ah >= 0.6 * wh;
    plan.strip_windows = strips_n ? (plan.one_fits ? 1 : (strips_n + per - 1) / per) : 0;
    const int m = constants_per_window(ah, runs, std::max(drawing.line_height, 1));
    plan.const_windows = plan.one_fits || !consts_n ? 0 : (consts_n + m - 1) / m;
    plan.const_cap = plan.one_fits ? consts_n : m;
    const int lookups_n = static_cast<int>(lookups);
    plan.lookup_windows = (lookups_n + per - 1) / per;
    const int windows = plan.strip_windows + plan.const_windows + plan.lookup_windows;
    if (windows > o.max_windows) {
        const int answer = ask_all_windows(windows);
        if (answer < 0) return false;
        if (answer == 0) {
            plan.strip_windows = std::min(plan.strip_windows, 1);
            plan.const_windows = std::min(plan.const_windows, 1);
            plan.lookup_windows = std::min(plan.lookup_windows, 1);
        }
    }
    return true;
}

// Livesweep: per run, the value slot (plus one) whose re-runs the strip of
// this variable follows; only the shown run's. Empty outside Livesweep.
std::vector<std::uint32_t> strip_live_slots(const std::string& name, std::size_t runs) {
    std::vector<std::uint32_t> live_slots;
    if (!cache_livesweep()) return live_slots;
    const int shown = shown_run_slot();
    std::int32_t slot = -1;
    const int type = find_var_name(name.c_str(), &slot);
    live_slots.assign(runs, 0);
    if (shown >= 0 && shown < static_cast<int>(runs) && slot >= 0 && type >= 1 && type <= 21 &&
        type != 5 && type != 6 && type != 12)
        live_slots[static_cast<std::size_t>(shown)] = static_cast<std::uint32_t>(slot) + 1;
    return live_slots;
}

// One variable's strip: per run its series (the value cache's for a run the
// re-runs follow) through the strip's analysis into xs and ys. axis_top
// grows to the first run's top of the analysis axis.
strip_plot variable_strip(const strip_options& o, const strip_window& proto,
                          const std::string& name, std::vector<std::vector<float>>& xs,
                          std::vector<std::vector<float>>& ys, double& axis_top) {
    const std::vector<int>& run_index = proto.runs;
    const double t0 = proto.t0, t1 = proto.t1;
    const std::vector<double>& dts = proto.dts;
    const int kind = proto.kind;
    std::vector<std::uint32_t> live_slots = strip_live_slots(name, run_index.size());
    for (std::size_t r = 0; r < run_index.size(); ++r) {
        std::vector<float> values, times, x, y;
        if (run_index[r] >= 0)
            read_series_or_constant(name.c_str(), proto.x_var_name.c_str(), run_index[r], t0, t1,
                                    values, times);
        // The re-runs write the shown run's values into the value cache
        // only, never into its run file: a strip opened after them shows what
        // they made, not the run they stand in for.
        if (r < live_slots.size() && live_slots[r]) {
            const float *lt = nullptr, *lv = nullptr;
            const int n = cached_series(static_cast<int>(live_slots[r] - 1), &lt, &lv,
                                        static_cast<int>(r), live_x_name(proto));
            if (n > 0 && lt && lv) {
                times.assign(lt, lt + n);
                values.assign(lv, lv + n);
            }
        }
        double run_top = 0;
        strip_analysis(kind, times, values, t0, t1, dts[r], dts[0], o.max_lag, o.remove_mean != 0,
                       x, y, &run_top);
        if (r == 0) axis_top = std::max(axis_top, run_top);
        xs.push_back(std::move(x));
        ys.push_back(std::move(y));
    }
    strip_plot p;
    p.name = name;
    p.live_slots = std::move(live_slots);
    if (o.show_units) {
        std::int32_t slot = 0;
        symbol_id sid = 0;
        if (find_var_name(name.c_str(), &slot, 0, &sid) && sid) {
            const char* u = name_units_label(nullptr, sid, 2);
            p.units = u ? u : "";
        }
    }
    return p;
}

// A window of `take` variables' strips from dynamic[next] on: every strip's
// points first, since an analysis's axis is the widest top of them.
strip_window dynamic_window(const strip_options& o, const strip_window& proto,
                            const std::vector<std::string>& dynamic, std::size_t& next, int take) {
    strip_window w = proto;
    std::vector<std::vector<std::vector<float>>> all_x, all_y;
    double axis_top = 0;
    for (int k = 0; k < take; ++k, ++next) {
        std::vector<std::vector<float>> xs, ys;
        w.strips.push_back(variable_strip(o, proto, dynamic[next], xs, ys, axis_top));
        all_x.push_back(std::move(xs));
        all_y.push_back(std::move(ys));
    }
    const double t0 = proto.t0, t1 = proto.t1;
    if (proto.kind == 0) {
        w.x_low = t0;
        w.x_high = t1 > t0 ? t1 : t0 + 1; // a time axis of no span: one unit
    } else {
        w.x_low = 0;
        w.x_high = axis_top > 0 ? axis_top : 1;
    }
    for (std::size_t k = 0; k < w.strips.size(); ++k) {
        // A range dragged on a graph's value axis is taken once.
        double top = 0, bottom = 0;
        if (!take_pending_y_range(&top, &bottom)) top = bottom = 0;
        map_strip(w.strips[k], w, all_x[k], all_y[k], bottom, top);
    }
    return w;
}

// Up to cap constants from constants[next] on, listed with each run's value
// (the shown run's as the re-runs have it: a slider may have moved it).
void fill_constants(strip_window& w, const std::vector<std::string>& constants, std::size_t& next,
                    int cap) {
    for (int k = 0; k < cap && next < constants.size(); ++k, ++next) {
        strip_constant c;
        c.name = constants[next];
        for (int run : w.runs) {
            float v = NA;
            if (run < 0 || run_constant_value(c.name.c_str(), run, &v) != 1) v = NA;
            float live = NA;
            if (run >= 0 && cache_livesweep() && run == shown_run_index() &&
                live_value_at_time(c.name.c_str(), nullptr, run, &live, nullptr, 0) == 1)
                v = live;
            c.values.push_back(v);
        }
        w.constants.push_back(std::move(c));
    }
}

// A window of `take` lookups from lookups[next] on: x against y on the x
// range of all its lookups.
strip_window lookup_window(const strip_window& proto, const std::vector<std::string>& lookups,
                           std::size_t& next, int take) {
    strip_window w = proto;
    w.x_title = "-X-";
    w.x_var_name.clear();
    std::vector<std::vector<std::vector<float>>> all_x, all_y;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (int k = 0; k < take && next < lookups.size(); ++k, ++next) {
        std::vector<std::vector<float>> xs, ys;
        for (int run : proto.runs) {
            std::vector<float> x, y;
            read_lookup_points(lookups[next].c_str(), run, x, y);
            for (float v : x)
                if (std::isfinite(v)) lo = std::min(lo, double(v)), hi = std::max(hi, double(v));
            xs.push_back(std::move(x));
            ys.push_back(std::move(y));
        }
        strip_plot p;
        p.name = lookups[next];
        w.strips.push_back(std::move(p));
        all_x.push_back(std::move(xs));
        all_y.push_back(std::move(ys));
    }
    w.x_low = lo <= hi ? lo : 0;
    w.x_high = lo < hi ? hi : w.x_low + 1;
    for (std::size_t k = 0; k < w.strips.size(); ++k) map_strip(w.strips[k], w, all_x[k], all_y[k]);
    return w;
}

} // namespace

void strip_tool_run(handle tool) {
    store().forget_last();
    output_oneshots_guard oneshots;
    const tool_run<strip_options> run(tool);
    if (!run.ok()) return;
    const strip_options& o = run.options;
    const symbol_id var = run.var;
    std::vector<std::string> names, lookups;
    std::string title_text;
    if (o.var_choice == 3) {
        names = all_variables_list(o.tree_kinds, &lookups);
        title_text = "All Variables";
    } else {
        if (!var) {
            report(8, "Strip Graph: no workbench variable is chosen. Click a name on the diagram "
                      "or choose one on the Control Panel's Variable page.");
            return;
        }
        names = graph_variable_list(var, o.var_choice, o.tree_kinds, &lookups);
        title_text = varformat(var, 1);
    }
    if (o.strip_kind == 1 || o.strip_kind == 2) lookups.clear(); // no analyses of lookups
    if (names.empty() && lookups.empty()) return;
    const int runs = loaded_run_names(0);
    if (runs <= 0 || !model_rec) return;
    const int kind = o.strip_kind == 1 || o.strip_kind == 2 ? o.strip_kind : 0;
    const strip_window proto = strip_prototype(tool, o, title_text, runs, kind);

    // Dynamic strips and (over time only) constants listed as text.
    std::vector<std::string> dynamic, constants;
    for (const std::string& n : names) {
        std::int32_t slot = 0;
        symbol_id s = 0;
        const int type = find_var_name(n.c_str(), &slot, 0, &s);
        if (type >= 22 && type <= 24) {
            if (kind == 0) constants.push_back(n);
        } else if (type >= 1 && type <= 21) {
            dynamic.push_back(n);
        }
    }
    strip_plan plan;
    if (!plan_strip_windows(proto, o, runs, dynamic.size(), constants.size(), lookups.size(), plan))
        return;
    const int per = std::max(o.strips_per_window, 1);
    const int strips_n = static_cast<int>(dynamic.size());
    std::vector<strip_window> out;
    std::size_t next = 0;
    int remaining = std::min(strips_n, plan.strip_windows == 1 && !plan.one_fits ? per : strips_n);
    for (int left = plan.strip_windows; left > 0 && remaining > 0; --left) {
        const int take = std::min(remaining, (remaining + left - 1) / left);
        out.push_back(dynamic_window(o, proto, dynamic, next, take));
        remaining -= take;
    }
    // Constants: with the strips when one window holds all, else their own.
    std::size_t cnext = 0;
    if (plan.one_fits) {
        if (out.empty()) out.push_back(proto);
        fill_constants(out.front(), constants, cnext, plan.const_cap);
    } else {
        for (int k = 0; k < plan.const_windows; ++k) {
            strip_window w = proto;
            fill_constants(w, constants, cnext, plan.const_cap);
            out.push_back(std::move(w));
        }
    }
    std::size_t lnext = 0;
    int lremaining = std::min(static_cast<int>(lookups.size()), plan.lookup_windows * per);
    for (int left = plan.lookup_windows; left > 0 && lremaining > 0; --left) {
        const int take = std::min(lremaining, (lremaining + left - 1) / left);
        out.push_back(lookup_window(proto, lookups, lnext, take));
        lremaining -= take;
    }
    const double t0 = proto.t0, t1 = proto.t1;
    for (strip_window& w : out) {
        if (w.strips.empty() && w.constants.empty()) continue;
        if (w.strips.empty()) w.x_low = t0, w.x_high = t1 > t0 ? t1 : t0 + 1;
        opening_tool = store().first_of_run() ? tool : 0;
        if (handle h = show_strip_window(std::move(w))) store().add_last(h);
    }
}

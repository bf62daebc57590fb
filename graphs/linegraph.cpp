// The line graph: see linegraph.h.
#include "graphs/linegraph.h"

#include "draw/boxname.h"
#include "draw/drawing.h"
#include "draw/graphtexts.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "graphs/graphwin.h"
#include "model/constants.h"
#include "model/context.h"
#include "model/model.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "shell/controlpanel.h"
#include "shell/settings_rows.h"
#include "tools/output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace {

// Graphs by the id kept in their output record's words[0].
std::map<std::int32_t, std::unique_ptr<line_graph>>& graphs() {
    static std::map<std::int32_t, std::unique_ptr<line_graph>> all;
    return all;
}
std::int32_t next_graph_id = 1;

void release_graph(handle record) {
    auto* o = static_cast<output_record*>(lock_handle(record));
    if (!o) return;
    const std::int32_t id = o->words[0];
    o->words[0] = 0;
    o->words[1] = 0;
    unlock_handle(record);
    auto it = graphs().find(id);
    if (it == graphs().end()) return;
    free_hblock(it->second->data);
    graphs().erase(it);
}

font_spec graph_font(int size, std::uint8_t style) {
    font_spec f{};
    f.colour = 0;
    f.size = static_cast<std::uint8_t>(size);
    f.style = style;
    std::memcpy(f.face, opts.tool_face, sizeof f.face);
    f.face[sizeof f.face - 1] = '\0';
    return f;
}

} // namespace

namespace {
graph_settings& settings_store() {
    static graph_settings s = [] {
        graph_settings d;
        d.fonts[0] = graph_font(10, 0);
        d.fonts[1] = graph_font(8, 0);
        d.fonts[2] = graph_font(7, 0);
        d.fonts[3] = graph_font(12, font_bold);
        d.fonts[4] = graph_font(10, 0);
        d.fonts[5] = graph_font(10, font_italic);
        return d;
    }();
    return s;
}
} // namespace

const graph_settings& graph_defaults() {
    // The division counts are the Scaling page's, read at each new graph.
    graph_settings& s = settings_store();
    s.x_divisions = std::max(scaling_opts.h_divisions, 1);
    s.y_divisions = std::max(scaling_opts.v_divisions, 1);
    return s;
}

void set_graph_interval(float interval) {
    settings_store().interval = std::isfinite(interval) ? interval : 0;
}

handle new_line_graph_record() {
    handle h = new_output_record(0, 5);
    if (!h) return 0;
    auto g = std::make_unique<line_graph>();
    g->data = new_hblock(0, 0, 0);
    if (!g->data) {
        free_output_record(h);
        return 0;
    }
    const graph_settings& s = graph_defaults();
    std::copy(std::begin(s.fonts), std::end(s.fonts), std::begin(g->fonts));
    g->y_divisions = s.y_divisions;
    auto* o = static_cast<output_record*>(lock_handle(h));
    const std::int32_t id = next_graph_id++;
    o->words[0] = id;
    o->words[1] = static_cast<std::int32_t>(g->data);
    o->layout = layout_graph;
    o->draw = draw_graph;
    o->release = release_graph;
    o->live_update = update_graph_live;
    unlock_handle(h);
    graphs()[id] = std::move(g);
    return h;
}

line_graph* graph_of_record(const output_record* record) {
    if (!record) return nullptr;
    auto it = graphs().find(record->words[0]);
    return it == graphs().end() ? nullptr : it->second.get();
}

line_graph* graph_of(handle record) {
    auto* o = static_cast<output_record*>(lock_handle(record));
    line_graph* g = graph_of_record(o);
    if (o) unlock_handle(record);
    return g;
}

std::int32_t graph_text(line_graph& g, const char* text) {
    return hblock_add_string(g.data, text ? text : "");
}

void set_graph_size(line_graph& g, int size_code, double width, double height) {
    double w = 6, h = 4;
    switch (size_code) {
    case 0: {
        double cw = width, ch = height;
        if (!opts.metric) {
            cw *= 2.54;
            ch *= 2.54;
        }
        // Custom sizes below 0.4 in either way are not taken.
        if (std::isfinite(cw) && std::isfinite(ch) && cw / 2.54 > 0.4 && ch / 2.54 > 0.4 &&
            cw / 2.54 < 1000 && ch / 2.54 < 1000) {
            w = cw / 2.54;
            h = ch / 2.54;
        }
        break;
    }
    case 1:
        w = 4, h = 3;
        break;
    case 3:
        w = 8, h = 6;
        break;
    case 4:
        w = 30, h = 30;
        break;
    default:
        break;
    }
    g.design_width = cm_to_device(w * 2.54, 1);
    g.design_height = cm_to_device(h * 2.54, 0);
}

int choose_x_divisions(double x_min, double x_max, int default_count, bool scale_small) {
    const double span = x_max - x_min;
    if (!(x_max > x_min) || span >= 10000 || !std::isfinite(span)) return default_count;
    double d = 1;
    while (scale_small && span * d < 4.5) d *= 10;
    int n = static_cast<int>(std::trunc(span * d - 0.5)) + 1;
    if (n > 20) {
        int k = 2;
        while (n / k > 20) ++k;
        while (n % k) ++k;
        n /= k;
    }
    while (n < 4) n *= 2;
    // Steps such as 6 (0 to 120 in 20) read badly: a count whose step is
    // round (here 12 of 10) where one divides the range.
    round_scale r;
    if (!is_round_step(span / n) && round_axis_steps(x_min, x_max, n, 4, 20, false, false, &r))
        n = r.divisions;
    return n;
}

namespace {

// Rounds the open ends of the x range (the ends not given by the caller).
void round_x_range(line_graph& g, bool min_open, bool max_open) {
    double lo = g.x_min, hi = g.x_max;
    if (std::fabs(lo) >= 1e6 || std::fabs(hi) >= 1e6 || hi <= lo) {
        double a = lo, b = hi;
        nice_axis_range(lo, hi, &a, &b);
        if (min_open && a != axis_unset) g.x_min = a;
        if (max_open && b != -axis_unset && b != axis_unset) g.x_max = b;
        return;
    }
    double d = 1;
    while ((hi - lo) * d < 4.1) d *= 10;
    if (min_open) g.x_min = lo >= 0 ? std::trunc(lo * d + 0.05) / d : std::trunc(lo * d - 0.95) / d;
    if (max_open) g.x_max = hi >= 0 ? std::trunc(hi * d + 0.95) / d : std::trunc(hi * d - 0.05) / d;
}

bool is_set(double lo_or_hi) {
    return std::isfinite(lo_or_hi) && std::fabs(lo_or_hi) < axis_unset;
}

// Round steps on the scales the program chose: the y division count moves
// (unless the definition gave it) to one whose steps are round on every
// group, and the ends the data chose move out to multiples of the step. A
// group whose both ends were set keeps the count as it is.
void round_y_steps(line_graph& g, const std::vector<char>& lo_found,
                   const std::vector<char>& hi_found) {
    if (!g.y_custom.empty() || scaling_opts.raw || g.y_divisions < 1) return;
    const int groups = group_count(g);
    bool any = false, all = true;
    for (int k = 0; k < groups; ++k) {
        const bool chosen =
            lo_found[static_cast<std::size_t>(k)] || hi_found[static_cast<std::size_t>(k)];
        any = any || chosen;
        all = all && chosen;
    }
    if (!any) return;
    int n = g.y_divisions;
    bool count_free = all && !g.y_divisions_given;
    for (int k = 0; k < groups; ++k) {
        const bool lo_open = lo_found[static_cast<std::size_t>(k)],
                   hi_open = hi_found[static_cast<std::size_t>(k)];
        if (!lo_open && !hi_open) continue;
        double& y_min = group_min(g, k);
        double& y_max = group_max(g, k);
        const int lo_count = count_free ? std::max(2, (n + 1) / 2) : n;
        const int hi_count = count_free ? std::max(2 * n, 2) : n;
        round_scale r;
        if (!round_axis_steps(y_min, y_max, n, lo_count, hi_count, lo_open, hi_open, &r)) continue;
        y_min = r.lo;
        y_max = r.hi;
        // The first group chooses the count; the others take it.
        n = r.divisions;
        count_free = false;
    }
    g.y_divisions = n;
}

int series_group(const line_graph& g, const graph_series& s) {
    return s.group > 0 && s.group < group_count(g) ? s.group : 0;
}

// Whether series i takes part in stacking: stacked graphs stack the first
// stack_limit series of each group (all without a limit).
bool in_stack(const line_graph& g, int i) {
    if (g.graph_mode != 2) return false;
    if (g.stack_limit <= 0) return true;
    const int k = series_group(g, g.series[static_cast<std::size_t>(i)]);
    int pos = 0;
    for (int j = 0; j < i; ++j)
        if (series_group(g, g.series[static_cast<std::size_t>(j)]) == k) ++pos;
    return pos < g.stack_limit;
}

// Maps a series (and its bands) at the graph's x range and its group's y range.
void map_series(line_graph& g, graph_series& s) {
    const int k = series_group(g, s);
    const double y_min = group_min(g, k), y_max = group_max(g, k);
    const int n = static_cast<int>(std::min(s.times.size(), s.values.size()));
    const int cap = 2 * n + 2;
    s.xs.assign(static_cast<std::size_t>(cap), 0);
    s.ys.assign(static_cast<std::size_t>(cap), 0);
    int m = n ? map_xy_series(s.times.data(), s.values.data(), n, g.x_min, g.x_max, y_min, y_max,
                              s.xs.data(), s.ys.data(), g.line_kind > 0 ? 1 : 0, cap, nullptr)
              : 0;
    s.xs.resize(static_cast<std::size_t>(std::max(m, 0)));
    s.ys.resize(s.xs.size());
    s.band_xs.clear();
    s.band_rows.clear();
    if (s.sims.empty() || n == 0) return;
    // Every simulation as long as the series (the shortest decides).
    int len = n;
    for (const std::vector<float>& sim : s.sims) len = std::min(len, static_cast<int>(sim.size()));
    if (len <= 0) return;
    std::vector<const float*> runs;
    for (const std::vector<float>& sim : s.sims) runs.push_back(sim.data());
    const int bands = static_cast<int>(s.band_per_mille.size());
    const int rows = 2 + (bands > 0 ? 2 * bands : static_cast<int>(runs.size()));
    std::vector<std::int32_t> bounds(s.band_per_mille.begin(), s.band_per_mille.end());
    std::vector<std::int16_t> xs(static_cast<std::size_t>(len)),
        ys(static_cast<std::size_t>(rows) * static_cast<std::size_t>(len));
    const int kept =
        map_series_with_bands(s.times.data(), s.values.data(), len, runs.data(),
                              static_cast<int>(runs.size()), g.x_min, g.x_max, y_min, y_max,
                              xs.data(), ys.data(), len, bands ? bounds.data() : nullptr, bands, 1);
    // Rows to the kept count, as the band filler reads them.
    s.band_xs.assign(xs.begin(), xs.begin() + kept);
    s.band_rows.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(kept), 0);
    for (int r = 0; r < rows; ++r)
        std::copy_n(ys.begin() + static_cast<std::ptrdiff_t>(r) * len, kept,
                    s.band_rows.begin() + static_cast<std::ptrdiff_t>(r) * kept);
}

} // namespace

int group_count(const line_graph& g) {
    return 1 + static_cast<int>(g.more_groups.size());
}

double& group_min(line_graph& g, int k) {
    return k > 0 && k < group_count(g) ? g.more_groups[static_cast<std::size_t>(k - 1)].y_min
                                       : g.y_min;
}

double& group_max(line_graph& g, int k) {
    return k > 0 && k < group_count(g) ? g.more_groups[static_cast<std::size_t>(k - 1)].y_max
                                       : g.y_max;
}

double group_min(const line_graph& g, int k) {
    return group_min(const_cast<line_graph&>(g), k);
}

double group_max(const line_graph& g, int k) {
    return group_max(const_cast<line_graph&>(g), k);
}

const std::string& group_units(const line_graph& g, int k) {
    return k > 0 && k < group_count(g) ? g.more_groups[static_cast<std::size_t>(k - 1)].units
                                       : g.units;
}

bool set_axis_labels(line_graph& g, const char* text, bool x_axis) {
    const axis_labels l = parse_axis_labels(text, x_axis);
    if (!l.ok) return false;
    auto& out = x_axis ? g.x_custom : g.y_custom;
    out.clear();
    for (const axis_label& a : l.labels) out.push_back({a.text, a.pos});
    if (x_axis) {
        g.x_min = l.min;
        g.x_max = l.max;
        g.x_divisions = static_cast<int>(l.labels.size()) - 1;
    } else {
        g.y_min = l.min;
        g.y_max = l.max;
        g.y_divisions = static_cast<int>(l.labels.size());
    }
    return true;
}

void set_reference_lines(line_graph& g, std::uint8_t extra_lines, double special_time) {
    g.zero_line = g.one_line = g.special_time_line = 0;
    // Reference values belong to one scale: with several groups they would
    // lie at a different height for each.
    if (group_count(g) == 1 && g.y_max > g.y_min && std::isfinite(g.y_max - g.y_min)) {
        auto pos = [&](double v) {
            return static_cast<std::int16_t>(
                std::trunc((g.y_max - v) / (g.y_max - g.y_min) * 10000));
        };
        if ((extra_lines & xl_zero) && g.y_min < 0 && 0 < g.y_max) g.zero_line = pos(0);
        if ((extra_lines & xl_one) && g.y_min < 1 && 1 < g.y_max) g.one_line = pos(1);
    }
    if ((extra_lines & xl_special) && g.x_is_time && g.graph_mode < 3 &&
        axis_value_ok(special_time) && g.x_min < special_time && special_time < g.x_max)
        g.special_time_line = static_cast<std::int16_t>(
            std::trunc((special_time - g.x_min) / (g.x_max - g.x_min) * 10000));
    // The interval in x positions; one longer than the axis is cut at its
    // length (a 16-bit position could not hold it).
    g.interval_width = 0;
    const double interval = graph_defaults().interval;
    const double span = g.x_max - g.x_min;
    if (interval > 0.0001 && g.graph_mode < 3 && span > 0 && std::isfinite(span))
        g.interval_width =
            static_cast<std::int16_t>(std::min(10000.0, std::trunc(interval * 10000 / span)));
}

namespace {

// X range: a given range that is empty or reversed cannot be drawn; say so
// once and take the range from the model's times instead. Tells which ends
// are left for the data to choose.
void open_x_range(line_graph& g, bool& min_open, bool& max_open) {
    min_open = !is_set(g.x_min);
    max_open = !is_set(g.x_max);
    if (!min_open && !max_open && g.x_max <= g.x_min) {
        if (!g.bad_x_range_reported)
            report(8, "The x range %g to %g of the graph is empty; the data range is used", g.x_min,
                   g.x_max);
        g.bad_x_range_reported = true;
        min_open = max_open = true;
    }
    if (!g.xy_mode) {
        if (min_open) g.x_min = model_rec ? model_rec->start : 0;
        if (max_open) g.x_max = model_rec ? model_rec->end : 100;
    }
}

// Reads a series' values from its run (unless it has them already), as many
// times as values; against another variable its values matched on time are
// the x positions. Livesweep's series take the value cache's newer values.
void read_series(const line_graph& g, graph_series& s, bool livesweep_on) {
    if (s.times.empty() && s.run >= 0 && g.xy_mode) {
        if (read_run_xy(s.name.c_str(), s.run, s.values, g.x_var_name.c_str(), s.run, s.times) <=
            0) {
            s.values.clear();
            s.times.clear();
        }
        s.values.resize(std::min(s.values.size(), s.times.size()));
        s.times.resize(s.values.size());
        return;
    }
    if (!s.times.empty() || s.run < 0) return;
    double first = 0, last = 0;
    int n = read_run_values(s.name.c_str(), g.x_var_name.c_str(), s.run, s.values, s.times, &first,
                            &last);
    if (n <= 0) {
        s.values.clear();
        s.times.clear();
    } else if (n == 1 && g.line_kind <= 0 && std::isfinite(first) && std::isfinite(last) &&
               last > first) {
        // A constant: a flat line over the run's saved times.
        const float v = s.values[0];
        s.times = {static_cast<float>(first), static_cast<float>(last)};
        s.values = {v, v};
    }
    s.values.resize(std::min(s.values.size(), s.times.size()));
    s.times.resize(s.values.size());
    // Livesweep redraws the series of the run the value cache shows (the
    // caller holds the model).
    std::int32_t slot = -1;
    const int type =
        livesweep_on && s.run == shown_run_index() ? find_var_name(s.name.c_str(), &slot) : 0;
    s.live_slot = type > 0 && type < st_lookup && slot >= 0 ? slot + 1 : 0;
    // A graph opened after re-runs shows what they made, as the sketch does,
    // not the run file they stand in for.
    if (s.live_slot) {
        const float *t = nullptr, *v = nullptr;
        const char* xname = g.x_var_name == "Time" ? nullptr : g.x_var_name.c_str();
        const int cached = cached_series(s.live_slot - 1, &t, &v, shown_run_slot(), xname);
        if (cached > 0 && t && v) {
            s.times.assign(t, t + cached);
            s.values.assign(v, v + cached);
        }
    }
}

// An x axis of another variable spans its values (the open ends).
void span_xy_range(line_graph& g, bool min_open, bool max_open) {
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const graph_series& s : g.series)
        for (float x : s.times)
            if (axis_value_ok(x)) {
                lo = std::min(lo, static_cast<double>(x));
                hi = std::max(hi, static_cast<double>(x));
            }
    if (lo > hi) lo = 0, hi = 100;
    if (min_open) g.x_min = lo;
    if (max_open) g.x_max = hi > lo ? hi : lo + 1;
}

// Integrates (mode 1) or stacks (mode 2) the values read; false, said, when
// two series of a stack do not share their times.
bool transform_series(line_graph& g) {
    // Values a gathering before integrated or stacked go back to those read,
    // so gathering again (a work-in-progress graph at each widening) does
    // not integrate the integrals or stack the sums once more.
    for (graph_series& s : g.series)
        if (s.transformed) {
            s.values = s.read_values;
            s.transformed = false;
        }
    if (g.graph_mode == 1 || g.graph_mode == 2)
        for (graph_series& s : g.series) {
            s.read_values = s.values;
            s.transformed = true;
        }
    if (g.graph_mode == 1) {
        for (graph_series& s : g.series) {
            double acc = 0;
            std::vector<float> out(s.values.size());
            for (std::size_t i = 0; i < s.values.size(); ++i) {
                out[i] = static_cast<float>(acc);
                if (i + 1 < s.values.size() && axis_value_ok(s.values[i]))
                    acc += (static_cast<double>(s.times[i + 1]) - s.times[i]) * s.values[i];
            }
            s.values = std::move(out);
        }
    } else if (g.graph_mode == 2) {
        for (std::size_t k = 1; k < g.series.size(); ++k) {
            const graph_series& a = g.series[k - 1];
            graph_series& b = g.series[k];
            // Each units group stacks on its own, up to the limit.
            if (series_group(g, a) != series_group(g, b)) continue;
            if (!in_stack(g, static_cast<int>(k))) continue;
            if (a.times != b.times) {
                report(8, "Inconsistent X axis for units %s\nDo not know how to stack",
                       group_units(g, series_group(g, b)).c_str());
                return false;
            }
            for (std::size_t i = 0; i < b.values.size(); ++i) b.values[i] += a.values[i];
        }
    }
    return true;
}

// Y range per group: the given ends, the rest from the points inside the x
// range (the simulations behind bands count too), rounded to steps where the
// data chose an end. One chosen by a drag on a graph's y axis wins once (the
// first group's, whose scale the drag read).
void scale_y_groups(line_graph& g) {
    const int groups = group_count(g);
    double drag_top = 0, drag_bottom = 0;
    if (take_pending_y_range(&drag_top, &drag_bottom) && drag_top > drag_bottom) {
        g.y_min = drag_bottom;
        g.y_max = drag_top;
    }
    // Per group, which ends the data chose (for the round steps below).
    std::vector<char> lo_found(static_cast<std::size_t>(groups), 0),
        hi_found(static_cast<std::size_t>(groups), 0);
    for (int k = 0; k < groups; ++k) {
        double& y_min = group_min(g, k);
        double& y_max = group_max(g, k);
        const bool ymin_open = !is_set(y_min), ymax_open = !is_set(y_max);
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        auto take = [&](float t, float v) {
            if (!axis_value_ok(v) || !axis_value_ok(t)) return;
            if (t < g.x_min || t > g.x_max) return;
            lo = std::min(lo, static_cast<double>(v));
            hi = std::max(hi, static_cast<double>(v));
        };
        for (const graph_series& s : g.series) {
            if (series_group(g, s) != k) continue;
            for (std::size_t i = 0; i < s.values.size(); ++i) take(s.times[i], s.values[i]);
            for (const std::vector<float>& sim : s.sims)
                for (std::size_t i = 0; i < sim.size() && i < s.times.size(); ++i)
                    take(s.times[i], sim[i]);
        }
        const bool custom = k == 0 && !g.y_custom.empty();
        bool widened = false;
        if (lo > hi) lo = 0, hi = 100;
        if (ymin_open) y_min = lo;
        if (ymax_open) y_max = hi;
        if (g.soft_bounds && !custom && lo <= hi) {
            if (!ymin_open && lo < y_min) y_min = lo, widened = true;
            if (!ymax_open && hi > y_max) y_max = hi, widened = true;
        }
        const bool found = ymin_open || ymax_open || widened;
        if (!custom && (y_min == y_max || (!scaling_opts.raw && g.y_divisions > 0 && found))) {
            double a = y_min, b = y_max;
            nice_axis_range(y_min, y_max, &a, &b);
            if (ymin_open || widened || y_min == y_max) y_min = a;
            if (ymax_open || widened || a == b) y_max = b;
            lo_found[static_cast<std::size_t>(k)] = ymin_open || widened;
            hi_found[static_cast<std::size_t>(k)] = ymax_open || widened;
        }
        if (!(y_max > y_min)) y_max = y_min + 1;
    }
    round_y_steps(g, lo_found, hi_found);
}

// How many series are drawn: all, or the first 16 shown when limited (said).
void count_drawn_series(line_graph& g, bool limit16) {
    g.series_count = static_cast<int>(g.series.size());
    g.skipped_count = 0;
    if (g.hide_empty)
        for (const graph_series& s : g.series)
            if (s.xs.empty()) ++g.skipped_count;
    if (limit16 && g.series_count - g.skipped_count > 16) {
        report(7, "Only the first 16 variables of %d shown in the graph",
               g.series_count - g.skipped_count);
        g.series_count = g.skipped_count + 16;
    }
}

} // namespace

int gather_graph_series(line_graph& g, bool limit16) {
    bool min_open = false, max_open = false;
    open_x_range(g, min_open, max_open);
    int with_data = 0;
    // Names are looked up only while the caller holds the model.
    const bool livesweep_on = cache_livesweep() && model_lock_flag >= 0;
    for (graph_series& s : g.series) {
        read_series(g, s, livesweep_on);
        if (!s.times.empty()) ++with_data;
    }
    if (g.xy_mode && (min_open || max_open)) span_xy_range(g, min_open, max_open);
    if (!transform_series(g)) return -1;
    scale_y_groups(g);
    round_x_range(g, min_open, max_open);
    if (g.x_divisions < 0)
        g.x_divisions = choose_x_divisions(g.x_min, g.x_max, graph_defaults().x_divisions);
    if (g.x_divisions < 1) g.x_divisions = 1;
    for (graph_series& s : g.series) map_series(g, s);
    set_reference_lines(g, scaling_opts.extra_lines, model_rec ? model_rec->special : NA);
    count_drawn_series(g, limit16);
    return with_data;
}

handle show_line_graph(handle h) {
    line_graph* g = graph_of(h);
    const int got = g ? gather_graph_series(*g, true) : 0;
    int opened = 0;
    if (got > 0) {
        auto* rec = static_cast<output_record*>(lock_handle(h));
        cur_output = h;
        opened = rec ? layout_graph(rec) : 0;
        if (rec) unlock_handle(h);
    }
    if (got > 0 && opened) return h;
    if (got == 0 || !opened) report(8, "Unable to complete graph");
    auto* rec = static_cast<output_record*>(lock_handle(h));
    void (*release)(handle) = rec ? rec->release : nullptr;
    if (rec) unlock_handle(h);
    if (release) release(h);
    free_output_record(h);
    return 0;
}

void update_graph_live(handle record) {
    line_graph* g = graph_of(record);
    if (!g || !cache_livesweep()) return;
    const int run_slot = shown_run_slot();
    const int count = std::min(g->series_count, static_cast<int>(g->series.size()));
    std::vector<float> sum;
    bool any = false;
    int sum_group = -1;
    for (int i = 0; i < count; ++i) {
        graph_series& s = g->series[static_cast<std::size_t>(i)];
        if (!s.live_slot) continue;
        const float *t = nullptr, *v = nullptr;
        const char* xname = g->x_var_name == "Time" ? nullptr : g->x_var_name.c_str();
        int n = cached_series(s.live_slot - 1, &t, &v, run_slot, xname);
        if (n <= 0 || !t || !v) n = 0;
        s.times.assign(t, t + n);
        s.values.assign(v, v + n);
        if (in_stack(*g, i)) {
            // Stacked: what is drawn is the running sum of the group, as
            // short as the shortest series so far.
            if (series_group(*g, s) != sum_group) sum.assign(s.values.size(), 0.0f);
            sum_group = series_group(*g, s);
            sum.resize(std::min(sum.size(), s.values.size()));
            for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += s.values[k];
            s.values.assign(sum.begin(), sum.end());
            s.times.resize(s.values.size());
        }
        any = true;
        map_series(*g, s);
    }
    if (!any) return;
    auto* o = static_cast<output_record*>(lock_handle(record));
    HWND window = o ? o->window : nullptr;
    if (o) unlock_handle(record);
    if (window) InvalidateRect(window, nullptr, TRUE);
}

namespace {

// Which series follow the Livesweep re-runs: those read from the run the
// value cache shows. Worked out before every re-run rather than only when the
// graph is gathered, so a graph opened before Livesweep started, or one that
// shows a run another sweep stood in for, follows the sweep too instead of
// showing the run file's old values under the live run's name.
void follow_shown_run(line_graph& g) {
    const int shown = shown_run_index();
    if (shown < 0 || g.xy_mode) {
        for (graph_series& s : g.series) s.live_slot = 0;
        return;
    }
    model_lock_guard lock(cur_model_symbols, 0);
    for (graph_series& s : g.series) {
        std::int32_t slot = -1;
        const int type = lock.ok() && s.run == shown && !s.name.empty()
                             ? find_var_name(s.name.c_str(), &slot)
                             : 0;
        s.live_slot = type > 0 && type < st_lookup && slot >= 0 ? slot + 1 : 0;
    }
}

} // namespace

void livesweep_graphs(int phase) {
    // A copy: a callback may close a window and change the list.
    const std::vector<handle> records = open_windows;
    for (handle record : records) {
        auto* o = static_cast<output_record*>(lock_handle(record));
        if (!o) continue;
        HWND window = o->live_update ? o->window : nullptr;
        line_graph* g = graph_of_record(o);
        unlock_handle(record);
        if (phase == 0 && g && cache_livesweep()) follow_shown_run(*g);
        if (phase == 0 && g) {
            const char* xname = g->x_var_name == "Time" ? nullptr : g->x_var_name.c_str();
            for (const graph_series& s : g->series)
                if (s.live_slot)
                    cached_series(s.live_slot - 1, nullptr, nullptr, shown_run_slot(), xname);
        }
        if (phase != 0 && window && IsWindow(window)) SendMessage(window, WM_USER, 0, 0);
    }
}

int layout_graph(output_record* record) {
    line_graph* g = graph_of_record(record);
    if (!g) return 0;
    // The fonts the texts are drawn in, where the window measures a selection.
    if (!record->font_table_cell)
        record->font_table_cell = hblock_alloc(g->data, sizeof g->fonts, 0);
    if (void* b = record->font_table_cell > 0 ? lock_handle(g->data) : nullptr) {
        if (void* cell = hblock_cell(b, record->font_table_cell))
            std::memcpy(cell, g->fonts, sizeof g->fonts);
        unlock_handle(g->data);
    }
    if (!g->design_width || !g->design_height) set_graph_size(*g, -1, 0, 0);
    handle h = cur_output;
    return open_graph_window(h, g->title.c_str(), -1, -1, g->design_width, g->design_height);
}

void draw_graph(output_record* record) {
    if (line_graph* g = graph_of_record(record)) draw_line_graph(*g, 1);
}

namespace {

void use_font(const font_spec& f) {
    select_font(1, &f, nullptr, 0, 0xFFFFFFFFu, 0, false);
}

bool shown(const line_graph& g, int i) {
    const graph_series& s = g.series[static_cast<std::size_t>(i)];
    return !(g.hide_empty && s.xs.empty() && s.band_xs.empty());
}

// The colour of every series: its own, else the table's by index.
std::vector<COLORREF> series_colours(const line_graph& g) {
    std::vector<COLORREF> c(g.series.size());
    for (std::size_t i = 0; i < c.size(); ++i)
        c[i] = g.series[i].has_colour ? g.series[i].colour : colour_table[i % 12];
    return c;
}

bool any_own_colour(const line_graph& g) {
    return std::any_of(g.series.begin(), g.series.end(),
                       [](const graph_series& s) { return s.has_colour; });
}

// The pen width draw_curve takes: the series' own width or dash style, else 1.
// A series' own width or dash style; else 1, or a width growing with the
// series index (up to 4) on devices set to widen lines by series.
int series_width(const graph_series& s, int i) {
    if (s.line != 0) return s.line;
    return drawing.output_flag_5 ? std::min(i + 1, 4) : 1;
}

void draw_series(const line_graph& g, int i, const COLORREF* colours, int left, int top, int right,
                 int bottom, int from) {
    const graph_series& s = g.series[static_cast<std::size_t>(i)];
    const int n = static_cast<int>(s.xs.size()) - from;
    if (n <= 0) return;
    if (g.line_kind > 0)
        draw_point_markers(colours, i, s.shape_size ? s.shape_size : 1, s.shape, left, top, right,
                           bottom, s.xs.data() + from, s.ys.data() + from, n, false);
    else
        draw_curve(colours, i, series_width(s, i), left, top, right, bottom, s.xs.data() + from,
                   s.ys.data() + from, n, 0, false, true);
}

} // namespace

namespace {

// Lines of a legend of n entries in this many columns.
int legend_rows(int n, int columns) {
    return columns > 1 ? (n + columns - 1) / columns : n;
}

// A text cut to `room` pixels in the current font, ending in "..." when
// anything was cut.
std::string cut_to_fit(const std::string& text, int room) {
    if (text_width(text.c_str()) <= room) return text;
    std::string t = text;
    while (!t.empty() && text_width((t + "...").c_str()) > room) t.pop_back();
    return t + "...";
}

} // namespace

namespace {

// Where everything of a line graph goes, worked out before anything of the
// plot is drawn: the output's size, the plot's edges, the axis and legend
// fonts' metrics and the axis label texts.
struct graph_layout {
    int W = 0, H = 0;
    int count = 0;  // series drawn
    int groups = 0; // y scales
    int top = 0, bottom = 0, left = 0, right = 0;
    int pw = 0, ph = 0;
    bool has_height = false, has_width = false;
    int axis_lh = 1, axis_cw = 1;
    // Legend: entries shown, their font (index into the graph's fonts), line
    // height and columns.
    int legend_entries = 0, legend_font = 0, legend_lh = 1, legend_columns = 1;
    int group_w = 0; // room for a group's units after its numbers
    bool x_custom = false;
    std::vector<std::string> xl;
    int widest_x = 1;
    bool y_custom = false;
    int ydiv = 1;
    std::vector<int> y_pos;                   // per row, 0..10000 from the top
    std::vector<std::vector<std::string>> yl; // [row][group]
    int widest_y = 0;
};

// Title: a title wider than the graph takes a smaller font, down to 7 points,
// and is cut after that, so it never runs off the edges. Sets the plot's top.
void place_title(line_graph& g, int full, graph_layout& L) {
    use_font(g.fonts[3]);
    if (!(g.hide_flags & 2)) {
        const int room = std::max(L.W - 2 * std::max(drawing.char_width, 1), 1);
        font_spec title_font = g.fonts[3];
        while (text_width(g.caption.c_str()) > room && title_font.size > 7) {
            title_font.size = static_cast<std::uint8_t>(title_font.size - 1);
            use_font(title_font);
        }
        if (full) {
            if (!g.caption_cell) g.caption_cell = graph_text(g, g.caption.c_str());
            const std::string shown_title = cut_to_fit(g.caption, room);
            draw_text_hot(L.W / 2, drawing.line_height, 'C', 'B', shown_title.c_str(),
                          g.caption_cell, 3);
        }
        L.top = 2 * drawing.line_height;
    } else {
        L.top = drawing.line_height / 2;
    }
}

// Legend: the larger font when the legend fits in it, columns when it is
// long; the plot's bottom rises by the legend's height. Leaves the axis font
// selected.
void place_legend(const line_graph& g, graph_layout& L) {
    int n = 0;
    for (int i = 0; i < L.count; ++i)
        if (shown(g, i)) ++n;
    n = std::min(n, L.count - std::min(g.skipped_count, L.count));
    L.legend_entries = n;
    L.legend_font = 0;
    L.legend_lh = L.axis_lh;
    L.legend_columns = 1;
    if (g.hide_flags & 1) return;
    L.legend_font = 2;
    for (int f : {n > 6 ? 1 : 0, 1}) {
        use_font(g.fonts[f]);
        bool fits = (n + 1) * 3 * drawing.line_height <= L.bottom - L.top;
        for (int i = 0; fits && i < L.count; ++i)
            if (text_width(g.series[static_cast<std::size_t>(i)].label.c_str()) > L.W / 2)
                fits = false;
        if (fits) {
            L.legend_font = f;
            break;
        }
    }
    use_font(g.fonts[L.legend_font]);
    L.legend_lh = std::max(drawing.line_height, 1);
    // A long legend goes into columns, read down then across, so that the
    // plot keeps at least half the height (as far as columns of some twenty
    // characters can give it).
    const int max_columns =
        std::clamp(L.W / std::max(24 * std::max(drawing.char_width, 1), 1), 1, 4);
    while (L.legend_columns < max_columns &&
           L.bottom - (legend_rows(n, L.legend_columns) + 1) * L.legend_lh - L.top < L.H / 2)
        ++L.legend_columns;
    L.bottom -= (legend_rows(n, L.legend_columns) + 1) * L.legend_lh;
    use_font(g.fonts[4]);
}

// X labels: the definition's list, the category texts or numbers.
void make_x_labels(const line_graph& g, graph_layout& L) {
    L.x_custom = !g.x_custom.empty();
    const double xstep = (g.x_max - g.x_min) / g.x_divisions;
    if (L.x_custom) {
        for (const line_graph::placed_label& l : g.x_custom) {
            L.xl.push_back(l.text);
            L.widest_x = std::max(L.widest_x, text_width(l.text.c_str()));
        }
        return;
    }
    for (int i = 0; i <= g.x_divisions; ++i) {
        if (static_cast<std::size_t>(i) < g.x_labels.size())
            L.xl.push_back(g.x_labels[static_cast<std::size_t>(i)]);
        else
            L.xl.emplace_back(format_to_step(g.x_min + i * xstep, xstep));
        L.widest_x = std::max(L.widest_x, text_width(L.xl.back().c_str()));
    }
}

// Y labels: per row (a division, or a label of the list) its position from
// the top (0..10000) and one text per group.
void make_y_labels(const line_graph& g, graph_layout& L) {
    L.y_custom = !g.y_custom.empty();
    L.ydiv = std::max(g.y_divisions, 1);
    auto value_text = [&](int k, int pos) {
        const double lo = group_min(g, k), hi = group_max(g, k);
        // A label's place rarely falls on a round value of another scale:
        // shown to a hundredth of that scale's span.
        return std::string(format_to_step(hi - pos * (hi - lo) / 10000.0, (hi - lo) / 100));
    };
    if (L.y_custom) {
        for (const line_graph::placed_label& l : g.y_custom) {
            L.y_pos.push_back(l.pos);
            std::vector<std::string> row{l.text};
            for (int k = 1; k < L.groups; ++k) row.push_back(value_text(k, l.pos));
            L.yl.push_back(std::move(row));
        }
    } else {
        for (int i = 0; i <= L.ydiv; ++i) {
            L.y_pos.push_back(static_cast<int>(static_cast<long>(i) * 10000 / L.ydiv));
            std::vector<std::string> row;
            for (int k = 0; k < L.groups; ++k) {
                const double lo = group_min(g, k), hi = group_max(g, k);
                row.emplace_back(format_number(hi - i * (hi - lo) / L.ydiv, 0, nullptr));
            }
            L.yl.push_back(std::move(row));
        }
    }
    for (const auto& row : L.yl)
        for (const std::string& t : row) L.widest_y = std::max(L.widest_y, text_width(t.c_str()));
}

// The whole layout, in the order its parts depend on one another (each part
// measures in the font it leaves selected for the next).
graph_layout lay_out_graph(line_graph& g, int full) {
    graph_layout L;
    // Without a designed size: 6 x 4 inches on a 96-pixel screen.
    graph_output_size(g.design_width ? g.design_width : 576,
                      g.design_height ? g.design_height : 384, &L.W, &L.H);
    L.count = std::min(g.series_count, static_cast<int>(g.series.size()));
    L.groups = group_count(g);
    place_title(g, full, L);
    // Axis font and the bottom.
    use_font(g.fonts[4]);
    L.axis_lh = std::max(drawing.line_height, 1);
    L.axis_cw = std::max(drawing.char_width, 1);
    L.bottom = (g.hide_flags & 4) ? L.H - L.axis_lh : L.H - 3 * L.axis_lh;
    place_legend(g, L);
    // Group labels: with several groups each number is followed by its
    // group's units.
    if (L.groups > 1) {
        for (int k = 0; k < L.groups; ++k)
            L.group_w = std::max(L.group_w, text_width(group_units(g, k).c_str()));
        L.group_w += L.axis_cw;
    }
    make_x_labels(g, L);
    make_y_labels(g, L);
    // The plot.
    L.left = 2 * L.axis_cw + L.widest_y + L.group_w;
    L.right = (g.labels_between ? L.W : L.W - L.widest_x / 2) - L.axis_cw;
    L.has_height = L.top < L.bottom;
    L.has_width = L.left < L.right;
    L.pw = L.right - L.left;
    L.ph = L.bottom - L.top;
    return L;
}

// Bands and simulation lines, under everything else.
void draw_series_bands(const line_graph& g, const graph_layout& L) {
    for (int i = L.count - 1; i >= 0; --i) {
        const graph_series& s = g.series[static_cast<std::size_t>(i)];
        const int m = static_cast<int>(s.band_xs.size());
        if (m == 0) continue;
        const int bands = static_cast<int>(s.band_per_mille.size());
        if (bands > 0) {
            // Widest band first, the narrower ones over it.
            for (int b = bands - 1; b >= 0; --b)
                fill_bands(L.left, L.top, L.right, L.bottom, s.band_xs.data(),
                           s.band_rows.data() + static_cast<std::ptrdiff_t>(2 * b + 1) * m, m, 1,
                           &s.band_colours[static_cast<std::size_t>(b)]);
        } else {
            draw_curve_family(L.left, L.top, L.right, L.bottom, s.band_xs.data(),
                              s.band_rows.data(), m, static_cast<int>(s.sims.size()),
                              s.sims_colour);
        }
    }
}

constexpr std::uint32_t grid_colour = 0x00C0C0C0;

// The horizontal grid lines and the y labels, every k-th row labelled so that
// the labels keep their room; with several groups each row's numbers stack.
void draw_y_grid_and_labels(const line_graph& g, const graph_layout& L) {
    const int rows = static_cast<int>(L.y_pos.size());
    const int groups = L.groups, ydiv = L.ydiv, axis_lh = L.axis_lh, ph = L.ph;
    int k = 1;
    const int needed = (groups + 1) * axis_lh;
    int spacing = axis_lh;
    if (groups > 1) {
        // Several scales: each division's numbers stand one below the other,
        // closer (down to three quarters of a line) before a division goes
        // without them; a quarter line parts the stacks.
        const int slot = ph / ydiv, gap = axis_lh / 4;
        spacing = std::clamp((slot - axis_lh - gap) / (groups - 1), axis_lh * 3 / 4, axis_lh);
        if (!L.y_custom && ydiv > 1)
            while (k < ydiv && k * slot < (groups - 1) * spacing + axis_lh + gap) {
                ++k;
                while (ydiv % k) ++k;
            }
    } else if (!L.y_custom && ydiv > 1) {
        while (k < ydiv && k * ph / (ydiv + 1) < needed) {
            ++k;
            while (ydiv % k) ++k;
        }
    }
    // The stacked group labels draw closer when even every label is short of
    // room.
    if (groups > 1 && !L.y_custom && k >= ydiv)
        spacing = axis_lh * std::clamp(ph * 50 / std::max(needed, 1), 50, 100) / 100;
    for (int r = 0; r < rows; ++r) {
        const int y =
            L.top +
            static_cast<int>(static_cast<long>(L.y_pos[static_cast<std::size_t>(r)]) * ph / 10000);
        if (y > L.top && y < L.bottom) draw_line(grid_colour, 0, L.left, y, L.right, y);
        if (!L.y_custom && r % k) continue;
        // The group's labels stacked, centred on the line.
        const int first = y - (groups - 1) * spacing / 2;
        for (int gk = 0; gk < groups; ++gk) {
            const int gy = first + gk * spacing;
            const auto& row = L.yl[static_cast<std::size_t>(r)];
            draw_text_aligned(L.left - L.axis_cw - L.group_w, gy, 'R', 'C',
                              row[static_cast<std::size_t>(gk)].c_str());
            if (groups > 1)
                draw_text_aligned(L.left - L.group_w, gy, 'L', 'C', group_units(g, gk).c_str());
        }
    }
}

void draw_x_grid(const line_graph& g, const graph_layout& L) {
    if (L.x_custom) {
        for (const line_graph::placed_label& l : g.x_custom) {
            const int x = L.left + static_cast<int>(static_cast<long>(l.pos) * L.pw / 10000);
            if (x > L.left && x < L.right) draw_line(grid_colour, 0, x, L.top, x, L.bottom);
        }
    } else {
        for (int i = 1; i < g.x_divisions; ++i) {
            const int x = L.left + static_cast<int>(static_cast<long>(i) * L.pw / g.x_divisions);
            draw_line(grid_colour, 0, x, L.top, x, L.bottom);
        }
    }
}

// Reference lines at 0, at 1 and at the special time; the frame; the
// interval marker.
void draw_plot_marks(const line_graph& g, const graph_layout& L, int full) {
    for (std::int16_t p : {g.zero_line, g.one_line})
        if (p > 0 && p < 10000) {
            const int y = L.top + static_cast<int>(static_cast<long>(p) * L.ph / 10000);
            draw_line(0, 1, L.left, y, L.right, y);
        }
    if (g.special_time_line > 0 && g.special_time_line < 10000) {
        const int x =
            L.left + static_cast<int>(static_cast<long>(g.special_time_line) * L.pw / 10000);
        draw_line(0, 1, x, L.top, x, L.bottom);
    }
    if (full) draw_frame(13, 2, L.left, L.top, L.right, L.bottom);
    // The interval marker: a bracket of the interval's length along the
    // bottom of the plot from its left end.
    if (g.interval_width > 0) {
        const int x2 =
            L.left + static_cast<int>(static_cast<long>(g.interval_width) * L.pw / 10000);
        const int tick = std::max(L.axis_lh / 3, 2);
        const int y = L.bottom - tick;
        draw_line(0, 1, L.left, y, x2, y);
        draw_line(0, 1, L.left, y - tick / 2, L.left, y + tick / 2);
        draw_line(0, 1, x2, y - tick / 2, x2, y + tick / 2);
    }
}

// Series, the first on top; the first group's y scale for reading values off.
void draw_all_series(const line_graph& g, const graph_layout& L, const COLORREF* colours) {
    const int left = L.left, top = L.top, right = L.right, bottom = L.bottom;
    set_value_map(top, bottom, g.y_min, g.y_max, 0, true);
    for (int i = L.count - 1; i >= 0; --i) {
        const graph_series& s = g.series[static_cast<std::size_t>(i)];
        const int m = static_cast<int>(s.band_xs.size());
        if (m > 0) {
            // A banded series shows its mean line when asked, not itself.
            if (s.band_mean)
                draw_curve_family(left, top, right, bottom, s.band_xs.data(), s.band_rows.data(), m,
                                  -std::max(s.mean_width, 1), s.mean_colour);
            continue;
        }
        if (g.line_kind < 0 && in_stack(g, i) && !s.xs.empty()) {
            // Stacked areas: the sum down to the bottom, each series over the
            // one it was added onto, outlined a little wider with every
            // series.
            const int m2 = static_cast<int>(s.xs.size());
            std::vector<std::int16_t> rows(3 * static_cast<std::size_t>(m2), 10000);
            std::copy(s.ys.begin(), s.ys.end(), rows.begin() + m2);
            const COLORREF c = colours ? colours[i] : colour_table[i % 12];
            fill_bands(left, top, right, bottom, s.xs.data(), rows.data(), m2, 1, &c);
            draw_curve(colours, i, std::min(i + 1, 4), left, top, right, bottom, s.xs.data(),
                       s.ys.data(), m2, 0, false, true);
            continue;
        }
        draw_series(g, i, colours, left, top, right, bottom, 0);
    }
}

// X numbers (or the list's labels), the x value map and the x title.
void draw_x_labels_and_title(line_graph& g, const graph_layout& L) {
    const int left = L.left, right = L.right, bottom = L.bottom, pw = L.pw, axis_lh = L.axis_lh;
    if (L.x_custom) {
        for (std::size_t i = 0; i < g.x_custom.size(); ++i) {
            const int x =
                left + static_cast<int>(static_cast<long>(g.x_custom[i].pos) * pw / 10000);
            draw_text_aligned(x, bottom + axis_lh / 4, 'C', 'T', L.xl[i].c_str());
        }
    } else {
        int k = 1;
        // Numbers need a character's gap between them, or they run together.
        const long need = static_cast<long>(g.x_divisions) * (L.widest_x + L.axis_cw);
        while (need > static_cast<long>(k) * pw && k < g.x_divisions) ++k;
        const int labels = g.labels_between ? g.x_divisions : g.x_divisions + 1;
        for (int i = 0; i < labels; i += k) {
            const int x =
                left + static_cast<int>(
                           (static_cast<long>(g.labels_between + 2 * i) * pw / g.x_divisions) / 2);
            draw_text_aligned(x, bottom + axis_lh / 4, 'C', 'T',
                              L.xl[static_cast<std::size_t>(i)].c_str());
        }
    }
    if (!g.x_name_cell) g.x_name_cell = graph_text(g, g.x_var_name.c_str());
    // Named categories have no x values to read off.
    if (g.graph_mode != 4) set_value_map(left, right, g.x_min, g.x_max, g.x_name_cell, false);
    if (!(g.hide_flags & 4)) {
        if (!g.x_title_cell) g.x_title_cell = graph_text(g, g.x_title.c_str());
        draw_text_hot((left + right) / 2, bottom + axis_lh + axis_lh / 4, 'C', 'T',
                      g.x_title.c_str(), g.x_title_cell, 4);
    }
}

// A legend entry's sample between sample_left and sample_right on line y:
// a banded series' percentages with boxes of their colours, the simulations'
// lines, or the series' own line or markers; a mean line after the first two.
void draw_legend_sample(const line_graph& g, int i, const COLORREF* colours,
                        const std::vector<std::string>& pcts, int cw, int box, int sample_left,
                        int sample_right, int y) {
    const graph_series& s = g.series[static_cast<std::size_t>(i)];
    const bool banded = !s.band_xs.empty() && !s.band_per_mille.empty();
    const bool sims = !s.band_xs.empty() && s.band_per_mille.empty();
    const int ly = y + drawing.line_height / 2;
    if (banded) {
        // Per band its percentage and a box of its colour, as far as they fit
        // whole; then the mean line's sample.
        int x = sample_left;
        for (std::size_t b = 0; b < pcts.size(); ++b) {
            const int tw = text_width(pcts[b].c_str());
            if (x + tw + cw / 2 + box > sample_right) break;
            const RECT t = draw_text_aligned(x, y, 'L', 'T', pcts[b].c_str());
            const COLORREF c = s.band_colours[b];
            fill_bar(0, t.right + cw / 2, y + 1, t.right + cw / 2 + box,
                     y + drawing.line_height - 1, &c);
            x = t.right + cw / 2 + box + cw;
        }
        if (s.band_mean && sample_right - x > 2 * cw)
            draw_line(s.mean_colour, std::max(s.mean_width, 1), x + cw, ly, sample_right, ly);
    } else if (sims) {
        // The simulations' lines as they are drawn (and the mean's).
        const int mid = s.band_mean ? (sample_left + sample_right) / 2 : sample_right;
        if (mid - sample_left > cw) {
            draw_line(s.sims_colour, 1, sample_left, ly - 2, mid, ly - 2);
            draw_line(s.sims_colour, 1, sample_left, ly + 2, mid, ly + 2);
        }
        if (s.band_mean && sample_right - mid > 2 * cw)
            draw_line(s.mean_colour, std::max(s.mean_width, 1), mid + cw, ly, sample_right, ly);
    } else if (sample_right - sample_left > 2 * cw) {
        if (g.line_kind > 0) {
            std::int16_t xs[2] = {0, 10000}, ys[2] = {5000, 5000};
            draw_point_markers(colours, i, s.shape_size ? s.shape_size : 1, s.shape, sample_left,
                               ly, sample_right, ly, xs, ys, 2, false);
        } else {
            draw_legend_line(colours, i, series_width(s, i), sample_left, ly, sample_right, ly);
        }
    }
}

// One legend entry in its column between col_left and col_right: the units of
// the line's group at the right, the sample before them; the label gets what
// is left and is cut to leave the sample its room, so that every series keeps
// its colour.
void draw_legend_entry(line_graph& g, const graph_layout& L, int i, const COLORREF* colours, int cw,
                       int col_left, int col_right, int y) {
    graph_series& s = g.series[static_cast<std::size_t>(i)];
    if (!s.label_cell) s.label_cell = graph_text(g, s.label.c_str());
    const std::string& units = group_units(g, series_group(g, s));
    int sample_right = col_right - 2 * cw;
    if (!units.empty()) sample_right -= text_width(units.c_str()) + 2 * cw;
    const bool banded = !s.band_xs.empty() && !s.band_per_mille.empty();
    const int box = 2 * std::max(text_width("W"), 1);
    std::vector<std::string> pcts;
    // A line sample of eight characters; four in a legend of columns,
    // where the name wants the room.
    int need = L.legend_columns > 1 ? 4 * cw : 8 * cw;
    if (banded) {
        need = s.band_mean ? 6 * cw : 0;
        for (int pm : s.band_per_mille) {
            char pct[16];
            std::snprintf(pct, sizeof pct, "%d%%", (pm + 5) / 10);
            pcts.emplace_back(pct);
            need += text_width(pct) + cw / 2 + box + cw;
        }
    }
    const int label_room = std::max(sample_right - col_left - 2 * cw - 2 * cw - need, 4 * cw);
    const std::string label = cut_to_fit(s.label, label_room);
    RECT r =
        draw_text_hot(col_left + 2 * cw, y, 'L', 'T', label.c_str(), s.label_cell, L.legend_font);
    if (!units.empty()) draw_text_aligned(col_right - 2 * cw, y, 'R', 'T', units.c_str());
    draw_legend_sample(g, i, colours, pcts, cw, box, r.right + 2 * cw, sample_right, y);
}

// The legend under the plot: entries down each column, then across.
void draw_legend(line_graph& g, const graph_layout& L, const COLORREF* colours) {
    use_font(g.fonts[L.legend_font]);
    const int rows = legend_rows(L.legend_entries, L.legend_columns);
    const int legend_top = L.H - (rows + 1) * L.legend_lh + L.legend_lh / 2;
    const int cw = std::max(drawing.char_width, 1);
    int entry = 0;
    for (int i = 0; i < L.count; ++i) {
        if (!shown(g, i)) continue;
        const int column = entry / std::max(rows, 1);
        const int y = legend_top + (entry % std::max(rows, 1)) * L.legend_lh;
        const int col_left = column * L.W / L.legend_columns;
        const int col_right = (column + 1) * L.W / L.legend_columns;
        ++entry;
        draw_legend_entry(g, L, i, colours, cw, col_left, col_right, y);
    }
}

// Printed pages carry the graph's footer and annotation.
void draw_print_notes(const line_graph& g, const graph_layout& L) {
    if (!g.footer.empty()) {
        font_spec f = g.fonts[4];
        f.size = 8;
        f.style = 0;
        use_font(f);
        draw_text_aligned(2 * L.axis_cw, L.H, 'L', 'B', g.footer.c_str());
    }
    if (!g.annotation.empty()) {
        use_font(g.fonts[5]);
        if (text_width(g.annotation.c_str()) > L.W / 2)
            draw_text_aligned(L.W, 2 * L.H / 3, 'R', 'C', g.annotation.c_str());
        else
            draw_text_aligned(2 * L.W / 3, 2 * L.H / 3, 'C', 'C', g.annotation.c_str());
    }
}

} // namespace

void draw_line_graph(line_graph& g, int full) {
    const graph_layout L = lay_out_graph(g, full);
    const bool own_colours = any_own_colour(g);
    const std::vector<COLORREF> colour_list =
        own_colours ? series_colours(g) : std::vector<COLORREF>{};
    const COLORREF* colours = own_colours ? colour_list.data() : nullptr;
    if (full && !drawing.printing && !drawing.gtx_mode) {
        g.plot_ok = L.has_height && L.has_width;
        g.plot_left = L.left, g.plot_top = L.top, g.plot_right = L.right, g.plot_bottom = L.bottom;
        g.laid_w = L.W, g.laid_h = L.H;
    }
    const bool has_plot = L.has_height && L.has_width;
    if (has_plot) {
        if (full) {
            fill_box(12, L.left, L.top, L.right, L.bottom);
            draw_series_bands(g, L);
        }
        draw_y_grid_and_labels(g, L);
        draw_x_grid(g, L);
        draw_plot_marks(g, L, full);
        draw_all_series(g, L, colours);
    }
    if (!full) return;
    if (has_plot) draw_x_labels_and_title(g, L);
    if (!(g.hide_flags & 1)) draw_legend(g, L, colours);
    if (drawing.printing == 1) draw_print_notes(g, L);
}

void map_newest_points(line_graph& g, const std::vector<int>& series) {
    for (int i : series) {
        if (i < 0 || static_cast<std::size_t>(i) >= g.series.size()) continue;
        graph_series& s = g.series[static_cast<std::size_t>(i)];
        if (s.times.empty() || s.values.size() < s.times.size()) continue;
        const float t = s.times.back(), v = s.values[s.times.size() - 1];
        if (!axis_value_ok(t) || !axis_value_ok(v)) continue;
        const int k = series_group(g, s);
        const std::int16_t x = axis_x_pos(t, g.x_min, g.x_max);
        const std::int16_t y = axis_y_pos(v, group_min(g, k), group_max(g, k));
        // The point the segment starts at is stored once.
        if (!s.xs.empty() && s.xs.back() == x && s.ys.back() == y) continue;
        s.xs.push_back(x);
        s.ys.push_back(y);
    }
}

bool point_in_ranges(const line_graph& g, int i, double x, double y) {
    if (i < 0 || static_cast<std::size_t>(i) >= g.series.size()) return false;
    const int k = series_group(g, g.series[static_cast<std::size_t>(i)]);
    return x >= g.x_min && x <= g.x_max && y >= group_min(g, k) && y <= group_max(g, k);
}

bool draw_newest_segments(line_graph& g, const std::vector<int>& series) {
    int W = 0, H = 0;
    graph_output_size(g.design_width ? g.design_width : 576,
                      g.design_height ? g.design_height : 384, &W, &H);
    if (!g.plot_ok || W != g.laid_w || H != g.laid_h) return false;
    const bool own_colours = any_own_colour(g);
    const std::vector<COLORREF> colour_list =
        own_colours ? series_colours(g) : std::vector<COLORREF>{};
    const COLORREF* colours = own_colours ? colour_list.data() : nullptr;
    const int count = std::min(g.series_count, static_cast<int>(g.series.size()));
    // Last to first, as a whole paint draws them.
    std::vector<int> order(series.begin(), series.end());
    std::sort(order.rbegin(), order.rend());
    for (int i : order) {
        if (i < 0 || i >= count) continue;
        const graph_series& s = g.series[static_cast<std::size_t>(i)];
        const int m = static_cast<int>(s.xs.size());
        const int from = g.line_kind > 0 ? m - 1 : m - 2;
        if (from < 0) continue;
        draw_series(g, i, colours, g.plot_left, g.plot_top, g.plot_right, g.plot_bottom, from);
    }
    return true;
}

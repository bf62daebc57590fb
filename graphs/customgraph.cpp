// Custom line graphs, the work-in-progress graph and the user-tool runner.
//
// A custom graph fills the line graph of the Graph tool (graphs/linegraph.h)
// and uses its gathering, layout and drawing. Series that show the running
// simulation keep their points here: the engine gives only the current
// values, so each save appends one point per series and the graph is mapped
// and drawn again.
#include "graphs/customgraph.h"

#include "draw/drawing.h"
#include "draw/graphtexts.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "graphs/chartgraph.h"
#include "graphs/custombar.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "graphs/sets/graphset.h"
#include "graphs/sets/valuerefs.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/timebase.h"
#include "model/units.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "runs/sens.h"
#include "shell/controlpanel.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/game.h"
#include "sim/runname.h"
#include "sim/simdata.h"
#include "tools/output.h"
#include "tools/textwin.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <string>
#include <strings.h>
#include <vector>

bool widen_live_x(line_graph& g, double lo, double hi, bool grow_min, bool grow_max) {
    const bool past_max = grow_max && hi > g.x_max;
    const bool past_min = grow_min && lo < g.x_min;
    if (!past_max && !past_min) return false;
    // One point reached (lo = hi) has no span to widen: one unit past it.
    const double span = hi > lo ? 1.25 * (hi - lo) : 1;
    double new_min = past_min ? hi - span : g.x_min;
    double new_max = past_max ? lo + span : g.x_max;
    double a = new_min, b = new_max;
    nice_axis_range(new_min, new_max, &a, &b);
    // The rounded end is taken when it still holds what was reached.
    if (past_min) g.x_min = a <= lo && std::isfinite(a) ? a : new_min;
    if (past_max) g.x_max = b >= hi && std::isfinite(b) ? b : new_max;
    if (g.x_max - g.x_min < 10000)
        g.x_divisions = choose_x_divisions(g.x_min, g.x_max, g.x_divisions, false);
    return true;
}

bool widen_live_y(double& y_min, double& y_max, double lo, double hi) {
    const bool ranged = std::fabs(y_min) < axis_unset && std::fabs(y_max) < axis_unset &&
                        y_max > y_min && std::isfinite(y_max - y_min);
    if (!ranged || !(hi > lo) || !std::isfinite(hi - lo)) return false;
    if (lo >= y_min && hi <= y_max) return true;
    const double span = 1.25 * (hi - lo);
    const double new_min = lo < y_min ? hi - span : y_min;
    const double new_max = hi > y_max ? lo + span : y_max;
    double a = new_min, b = new_max;
    nice_axis_range(new_min, new_max, &a, &b);
    if (lo < y_min) y_min = a <= lo && std::isfinite(a) ? a : new_min;
    if (hi > y_max) y_max = b >= hi && std::isfinite(b) ? b : new_max;
    return true;
}

namespace {

// The live part of a graph that shows the running simulation.
struct live_graph {
    std::vector<int> slots; // per series: value slot, -1 for a series read from a run
    // The x ends that follow the data (not given by the definition).
    bool x_auto_min = true, x_auto_max = true;
    std::vector<bool> y_fixed; // per units group: its range was given
    // Points a live series holds at most; a full series stops growing.
    std::size_t max_points = 200;
    // The graph filled up in this run and said so (once a run, not once a
    // saved time).
    bool told_full = false;
};
std::map<handle, live_graph> live_graphs;

bool running() {
    return sim_phase >= phase_initialising && value_array;
}

// Between the intervals of a game: the game's values stand at its time and
// its run file holds the saves so far.
bool game_waiting() {
    return game_state != 0 && !running() && value_array && game_in_progress();
}

// Fills a live series during a game: the game's run so far, then the game's
// current value when it is newer than the run's last save. At most
// max_points points are kept (the first ones); false when more were there.
bool fill_from_game(graph_series& s, int slot, std::size_t max_points) {
    s.times.clear();
    s.values.clear();
    s.read_values.clear();
    const run_result game = game_run();
    if (!game.run_file.empty()) {
        const int run = kdf_open(game.run_file.c_str());
        if (run >= 0) read_run_series(s.name.c_str(), nullptr, run, s.values, s.times);
        if (s.values.size() != s.times.size()) s.times.resize(s.values.size());
    }
    const float now = value_array[0];
    if (s.times.empty() || s.times.back() < now) {
        s.times.push_back(now);
        s.values.push_back(value_array[slot]);
    }
    const bool fits = s.times.size() <= max_points;
    if (!fits) {
        s.times.resize(max_points);
        s.values.resize(max_points);
    }
    if (s.transformed) s.read_values = s.values;
    return fits;
}

// A game moved back: the points at and after the game's time go, the
// replay adds them again.
void drop_points_from(graph_series& s, float now) {
    std::size_t keep = s.times.size();
    while (keep > 0 && s.times[keep - 1] >= now) --keep;
    s.times.resize(keep);
    s.values.resize(std::min(s.values.size(), keep));
    if (s.transformed) s.read_values.resize(std::min(s.read_values.size(), keep));
}

// The time axis of the graph while the run goes on: the model's time range,
// widened to 1.25 times the span reached when the run goes past an end that
// follows the data.
void fit_live_x(line_graph& g, const live_graph& live) {
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const graph_series& s : g.series)
        for (float t : s.times)
            if (std::isfinite(t)) {
                lo = std::min(lo, static_cast<double>(t));
                hi = std::max(hi, static_cast<double>(t));
            }
    if (lo > hi) return;
    widen_live_x(g, lo, hi, live.x_auto_min, live.x_auto_max);
}

int remap(line_graph& g, const live_graph& live) {
    for (int k = 0; k < group_count(g); ++k) {
        if (static_cast<std::size_t>(k) < live.y_fixed.size() &&
            live.y_fixed[static_cast<std::size_t>(k)])
            continue;
        // Sums and integrals are made while gathering: their ranges are
        // found from the data each time.
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        if (g.graph_mode == 0)
            for (const graph_series& s : g.series)
                if (s.group == k)
                    for (float v : s.values)
                        if (axis_value_ok(v)) {
                            lo = std::min(lo, static_cast<double>(v));
                            hi = std::max(hi, static_cast<double>(v));
                        }
        if (g.graph_mode != 0 || !widen_live_y(group_min(g, k), group_max(g, k), lo, hi)) {
            group_min(g, k) = axis_unset;
            group_max(g, k) = -axis_unset;
        } else if (g.y_divisions > 0 && !scaling_opts.raw) {
            // The widened scale steps by round numbers too, in the graph's
            // division count (its other scales share it).
            round_scale r;
            if (round_axis_steps(group_min(g, k), group_max(g, k), g.y_divisions, g.y_divisions,
                                 g.y_divisions, true, true, &r)) {
                group_min(g, k) = r.lo;
                group_max(g, k) = r.hi;
            }
        }
    }
    fit_live_x(g, live);
    // The layout may change with the ranges: no new segment is drawn on the
    // old one until the window has painted again.
    g.plot_ok = false;
    return gather_graph_series(g, true);
}

// The band widths and colours used when a definition gives none.
const int default_band_per_mille[4] = {500, 750, 950, 1000};
const COLORREF default_band_colours[4] = {0x0080FFFF, 0x0000FF00, 0x00FF0000, 0x00808080};

// The sensitivity bands (kind 1) or simulation lines (kind 2) of a series
// read from a sensitivity run; nothing when the run has none for it.
void add_series_bands(graph_series& s, const graph_var& v) {
    std::vector<std::vector<float>> rows;
    if (s.run < 0 || sens_values(s.name.c_str(), s.run, rows) <= 1 || rows.empty()) return;
    s.sims = std::move(rows);
    if (v.extra_kind == 2) {
        s.sims_colour = parse_rgb_bars(v.extra_text.c_str(), 0x00808080);
    } else {
        std::vector<band_spec> bands = parse_band_spec(v.extra_text.c_str());
        // Narrowest first, as the band mapper and the legend take them.
        std::reverse(bands.begin(), bands.end());
        for (const band_spec& b : bands) {
            s.band_per_mille.push_back(b.per_mille);
            s.band_colours.push_back(b.colour);
        }
        if (bands.empty()) {
            s.band_per_mille.assign(std::begin(default_band_per_mille),
                                    std::end(default_band_per_mille));
            s.band_colours.assign(std::begin(default_band_colours), std::end(default_band_colours));
        }
    }
    if (v.mean) {
        s.band_mean = true;
        s.mean_colour = parse_rgb_bars(v.mean_text.c_str(), 0);
    }
}

// A definition's line style (its LINE-STYLE index, DASH, DOT, DASHDOT,
// DASHDOTDOT) as the dash style of the curve pens; a width stays.
std::int8_t series_line(std::int8_t line) {
    static const std::int8_t pen_of_style[5] = {0, 2, 1, 3, 4};
    if (line >= 0) return line;
    return static_cast<std::int8_t>(-pen_of_style[(-line) % 5]);
}

// The units of the variable an element belongs to ("" when unknown).
std::string units_of(const std::string& element) {
    const std::string base = element.substr(0, element.find('['));
    const symbol_id id = find_symbol(base.c_str());
    return id ? name_units_label(nullptr, id, 2) : "";
}

// The run text of a legend: the dataset's name, the running simulation's
// run name, or the selected run's name. The running simulation is named as
// the run it becomes is named in every other legend: without the run file's
// extension.
std::string run_text_of(int selected, const std::string& dataset, bool sim) {
    if (!dataset.empty()) return dataset;
    if (sim) {
        std::string name = run_name_or_current(model_rec);
        const std::size_t dot = name.size() >= 4 ? name.size() - 4 : std::string::npos;
        if (dot != std::string::npos && strcasecmp(name.c_str() + dot, ".kdf") == 0)
            name.resize(dot);
        return name;
    }
    if (selected >= 0 && selected < 16 && selected_run_names[selected])
        return selected_run_names[selected];
    return {};
}

} // namespace

namespace {

// The graph's settings from its definition: fonts, titles and stamps, the x
// range, variable and title, divisions, the kind of lines and the stacking.
void apply_graph_settings(line_graph& g, const graph_def& def, symbol_id basis) {
    for (int i = 0; i < 6; ++i) g.fonts[i] = graph_defaults().fonts[i];
    const std::string title =
        expand_value_refs(def.title.empty() ? def.name.c_str() : def.title.c_str());
    g.title = title;
    g.caption = title;
    g.footer = def.stamp[0];
    g.annotation = def.stamp[1];
    if (def.x_min != FLT_MAX) g.x_min = def.x_min;
    if (def.x_max != -FLT_MAX) g.x_max = def.x_max;
    g.x_var_name = !def.x_axis.empty() ? def.x_axis : basis ? varformat(basis, 0) : "Time";
    // The x title: the definition's, else the time basis with its units on
    // a time axis, else the x variable's name.
    const bool time_axis =
        def.x_axis.empty() || (basis && name_cmp(def.x_axis.c_str(), varformat(basis, 0)) == 0);
    g.x_title = !def.x_label.empty() ? def.x_label
                : time_axis          ? (basis ? name_units_label(nullptr, basis, 0) : "Time")
                                     : g.x_var_name;
    g.x_divisions = def.x_div < 0 ? graph_defaults().x_divisions : def.x_div == 0 ? -1 : def.x_div;
    g.y_divisions = def.y_div ? def.y_div : graph_defaults().y_divisions;
    g.y_divisions_given = def.y_div != 0;
    g.line_kind = def.dots < 0 ? -1 : def.dots; // STACK-FILL: -1
    g.labels_between = def.label_intervals;
    g.graph_mode = def.cumulative ? 1 : def.stack ? 2 : 0;
    // STACK n (stored n + 1) stacks the first n series of each group.
    if (def.stack > 1) g.stack_limit = def.stack - 1;
}

// Which x ends follow the data, how many points a live series holds, the
// bounds, page and legend, and whether the x axis is time or a variable the
// others are plotted against.
void apply_axis_settings(line_graph& g, live_graph& live, const graph_def& def, symbol_id basis) {
    // An x title of its own fixes the x range: only the y ranges follow.
    live.x_auto_min = def.x_min == FLT_MAX && def.x_label.empty();
    live.x_auto_max = def.x_max == -FLT_MAX && def.x_label.empty();
    live.max_points = def.max_points ? 2u * def.max_points : 200u;
    // A chart-style graph widens set bounds by the data, as SOFT-BOUNDS does.
    g.soft_bounds = def.soft_bounds != 0 || def.graph_style != 0;
    g.portrait = def.portrait != 0;
    g.hide_flags = def.no_legend ? 1 : 0;
    g.x_is_time = def.x_axis.empty() ||
                  (basis && name_cmp(def.x_axis.c_str(), varformat(basis, 0)) == 0) ||
                  name_cmp(def.x_axis.c_str(), "Time") == 0;
    // An X-AXIS that is no time base plots the variables against it.
    if (!g.x_is_time) {
        double scale = 1, offset = 0;
        const symbol_id x_id = find_symbol(def.x_axis.c_str());
        g.xy_mode = !(x_id && time_base_scale(x_id, &scale, &offset));
    }
}

// A work-in-progress series starts from the running values (or the game's
// so far); false, said, when the variable cannot be one. too_many is set
// when a game's points do not all fit.
bool start_wip_series(graph_series& s, const std::string& e, int& slot, std::size_t max_points,
                      bool& too_many) {
    const int type = find_var_name(e.c_str(), &slot, 1);
    if (type == 0 || type == 5 || type == 6 || type == 12 || (type > 21 && type != 23) ||
        slot < 0 || static_cast<std::uint32_t>(slot) >= value_slot_count) {
        report(0, "-%s- is of wrong type for work in progress graph", e.c_str());
        return false;
    }
    s.run = -2;
    if (game_state && game_in_progress()) {
        if (!fill_from_game(s, slot, max_points)) too_many = true;
        s.run = -2;
    } else {
        s.times = {value_array[0]};
        s.values = {value_array[slot]};
    }
    return true;
}

// The series' units group, made when its scale first appears (numbered in
// the order they appear); a variable's own bounds set its group's range.
void join_scale_group(line_graph& g, live_graph& live, std::map<int, int>& group_of_scale,
                      const graph_var& v, const std::string& e, graph_series& s) {
    auto [at, made] =
        group_of_scale.try_emplace(v.scale_group, static_cast<int>(group_of_scale.size()));
    s.group = at->second;
    if (made) {
        if (s.group > 0) g.more_groups.emplace_back();
        if (static_cast<std::size_t>(s.group) >= live.y_fixed.size())
            live.y_fixed.resize(static_cast<std::size_t>(s.group) + 1, false);
        std::string units = v.units == " " ? "" : v.units;
        if (v.units.empty()) units = units_of(e);
        (s.group ? g.more_groups.back().units : g.units) = units;
    }
    if (v.y_min != FLT_MAX) group_min(g, s.group) = v.y_min;
    if (v.y_max != -FLT_MAX) group_max(g, s.group) = v.y_max;
    if ((v.y_min != FLT_MAX || v.y_max != -FLT_MAX) && !g.soft_bounds)
        live.y_fixed[static_cast<std::size_t>(s.group)] = true;
}

// Where a variable's values come from.
enum class var_source { run, skip, no_runs };

// The run a variable of the definition is read from (its data set, opened
// when not loaded; else a selected run by position, the first selected run
// that knows it for the first position). skip when it has none (said when
// the run lacks the variable, and why kept in missing); no_runs when no run
// is loaded at all.
var_source run_of_variable(const graph_var& v, int selected, bool in_run, bool game_wip,
                           const graph_def& def, int& run, int& position, std::string& missing) {
    if (!v.dataset.empty()) {
        // Opened by its file name when not loaded; unloaded again later.
        run = kdf_open(v.dataset.c_str());
        return run < 0 ? var_source::skip : var_source::run;
    }
    position = v.run < 0 ? 0 : v.run;
    if (position >= selected) {
        if (selected == 0 && !in_run && !game_wip) return var_source::no_runs;
        report(3, "Not enough runs loaded to get all wildcards");
        return var_source::skip;
    }
    run = model_rec->runs[position].run;
    // A variable of the first selected run takes the first selected run that
    // knows it: a run of another model loaded first is passed over, as the
    // Graph tool passes it over.
    if (position == 0 && !run_holds_variable(v.name.c_str(), run))
        for (int p = position + 1; p < selected; ++p) {
            const int other = model_rec->runs[p].run;
            if (!run_holds_variable(v.name.c_str(), other)) continue;
            position = p;
            run = other;
            break;
        }
    // A run without the variable (of another model, most often) gives it no
    // line: it is left out, and said why.
    if (!run_holds_variable(v.name.c_str(), run)) {
        const std::string why = missing_in_run_text(v.name.c_str(), run);
        report(3, "%s: left out of the graph %s", why.c_str(), def.name.c_str());
        if (missing.empty()) missing = why;
        return var_source::skip;
    }
    return var_source::run;
}

// The time axis of a live graph runs from the run's INITIAL TIME to its FINAL
// TIME unless the definition gives its own.
void live_time_axis(line_graph& g) {
    auto control = [](const char* name, double fallback) {
        std::int32_t slot = -1;
        if (find_var_name(name, &slot, 0) && slot >= 0 &&
            static_cast<std::uint32_t>(slot) < value_slot_count && std::isfinite(value_array[slot]))
            return static_cast<double>(value_array[slot]);
        return fallback;
    };
    if (!(std::fabs(g.x_min) < axis_unset)) g.x_min = control("INITIAL TIME", value_array[0]);
    if (!(std::fabs(g.x_max) < axis_unset)) {
        g.x_max = control("FINAL TIME", model_rec->end);
        if (!(g.x_max > g.x_min)) g.x_max = g.x_min + 1;
    }
}

} // namespace

namespace {

// The series of one element of a definition's variable, as the definition
// draws it: its label (the variable's own, else the element and its run),
// colour, line, marker and bands (not for the running values).
graph_series series_of(const graph_var& v, const std::string& e, int run, int position, bool sim) {
    graph_series s;
    s.name = e;
    s.run = run;
    s.label = !v.label.empty() ? v.label : e + " : " + run_text_of(position, v.dataset, sim);
    s.has_colour = v.extra_kind == 8;
    s.colour = v.colour & 0x00FFFFFF;
    s.line = series_line(v.line);
    s.shape = static_cast<std::int8_t>(((v.shape % 10) + 10) % 10);
    s.shape_size = v.shape_size > 0 ? v.shape_size : 0;
    if (!sim && (v.extra_kind == 1 || v.extra_kind == 2)) add_series_bands(s, v);
    return s;
}

// A ready series' points (as many as both its lists hold) taken by the
// graph's series, which reads no run; labelled by the variable as written.
void take_given_series(graph_series& s, const graph_var& v, const given_series& ready) {
    const std::size_t n = std::min(ready.times.size(), ready.values.size());
    s.run = -1;
    s.times.assign(ready.times.begin(), ready.times.begin() + static_cast<long>(n));
    s.values.assign(ready.values.begin(), ready.values.begin() + static_cast<long>(n));
    if (v.label.empty()) s.label = v.name;
}

} // namespace

handle build_custom_graph(const graph_def& def, const std::vector<given_series>* given) {
    const bool in_run = running();
    if (in_run && !def.wip) return 0;
    if (!model_rec) return 0;
    // A WIP definition drawn between a game's intervals shows the game as
    // it goes on, and joins the work-in-progress list as in a run.
    const bool game_wip = def.wip && !given && game_waiting();
    const int selected = given ? 0 : loaded_run_names(1);

    handle h = new_line_graph_record();
    if (!h) return 0;
    line_graph* g = graph_of(h);
    auto fail = [&](const char* message) -> handle {
        if (message && !in_run) report(8, "%s", message);
        auto* rec = static_cast<output_record*>(lock_handle(h));
        void (*release)(handle) = rec ? rec->release : nullptr;
        if (rec) unlock_handle(h);
        if (release) release(h);
        free_output_record(h);
        live_graphs.erase(h);
        return 0;
    };
    const symbol_id basis = time_basis_symbol();
    apply_graph_settings(*g, def, basis);

    // Runs the graph opens itself are unloaded when it is built (the series
    // keep their values); the runs loaded before stay.
    mark_loaded_runs();
    struct unload_opened {
        ~unload_opened() { unload_runs(0); }
    } unload;
    live_graph live;
    apply_axis_settings(*g, live, def, basis);
    // Scale groups in the order they first appear, numbered from 0 (a group
    // whose variables were all skipped takes no axis).
    std::map<int, int> group_of_scale;
    int planned = 0;
    bool too_many = false;
    std::string missing; // why the first variable left out was
    for (const graph_var& v : def.vars) {
        ++planned;
        bool sim = false;
        int run = -1, position = -1;
        if (given) {
            // Ready series: one per variable, under its name as written.
            if (static_cast<std::size_t>(planned) > given->size()) break;
        } else if (v.dataset.empty() && v.run == gd_wip_run && (in_run || game_wip)) {
            sim = true;
        } else {
            const var_source from =
                run_of_variable(v, selected, in_run, game_wip, def, run, position, missing);
            if (from == var_source::no_runs) return fail("Graph requires datasets be loaded");
            if (from == var_source::skip) continue;
        }
        std::vector<std::string> elements;
        if (!sim && !given) expand_element_names(v.name.c_str(), run, elements, 0);
        if (elements.empty()) elements.push_back(v.name);
        for (const std::string& e : elements) {
            graph_series s = series_of(v, e, run, position, sim);
            int slot = -1;
            if (sim) {
                if (!start_wip_series(s, e, slot, live.max_points, too_many)) continue;
            } else if (given) {
                take_given_series(s, v, (*given)[static_cast<std::size_t>(planned - 1)]);
            }
            join_scale_group(*g, live, group_of_scale, v, e, s);
            live.slots.push_back(slot);
            g->series.push_back(std::move(s));
        }
    }
    if (too_many) report(8, "Too many points to complete WIP graph");
    if (g->series.empty() && !missing.empty())
        return fail(("No Variables/Datasets to graph\n" + missing).c_str());
    if (g->series.empty()) return fail("No Variables/Datasets to graph");
    // Label lists in place of numbers: the X-DIV label along x, Y-LABEL for
    // the first group. A list sets its axis's range.
    if (set_axis_labels(*g, def.x_div_label.c_str(), true))
        live.x_auto_min = live.x_auto_max = false;
    if (set_axis_labels(*g, def.y_label.c_str(), false) && !live.y_fixed.empty())
        live.y_fixed[0] = true;
    if (in_run && static_cast<int>(g->series.size()) < planned)
        report(6, "Icompatible/bad graph specification partially completed");
    if (def.plot_width > 0 && def.plot_height > 0)
        set_graph_size(*g, 0, def.plot_width, def.plot_height);

    const bool has_live =
        std::any_of(live.slots.begin(), live.slots.end(), [](int s) { return s >= 0; });
    // The running values come against time only.
    if (has_live) g->xy_mode = false;
    if (has_live) live_time_axis(*g);
    int got = 0;
    if (lock_model(1) == 1) {
        got = has_live ? remap(*g, live) : gather_graph_series(*g, true);
        unlock_model(1);
    }
    if (got < 0) return fail(nullptr);
    if (got == 0) return fail("Unable to complete graph");
    if (def.width > 0 && def.height > 0)
        preset_rect = {def.x > 0 ? def.x : 1, def.y, def.width, def.height};
    auto* rec = static_cast<output_record*>(lock_handle(h));
    cur_output = h;
    const int opened = rec ? layout_graph(rec) : 0;
    if (rec) unlock_handle(h);
    preset_rect = {};
    if (!opened) return fail("Unable to complete graph");
    if (has_live) {
        live_graphs[h] = std::move(live);
        wip_graph_add(h);
    }
    // A graph style hands the drawing to the chart control (without its
    // application object the graph stays a plain line graph).
    if (def.graph_style) build_chart_graph(h, def.graph_style);
    return h;
}

bool draw_wip_segments(handle record, HWND window, line_graph& g, const std::vector<int>& grown) {
    // A paint still to come draws them anyway, at the layout it makes.
    RECT pending{};
    if (GetUpdateRect(window, &pending, FALSE)) return true;
    HDC dc = GetDC(window);
    if (!dc) return false;
    RECT c{};
    GetClientRect(window, &c);
    const SIZE saved_size = out_size;
    out_size = SIZE{c.right, c.bottom};
    const handle saved = cur_output;
    cur_output = record;
    bool drawn = false;
    {
        draw_pass pass(dc, dc);
        if (pass.ok()) {
            SetBkMode(dc, TRANSPARENT);
            drawn = draw_newest_segments(g, grown);
        }
    }
    cur_output = saved;
    out_size = saved_size;
    ReleaseDC(window, dc);
    return drawn;
}

bool update_wip_graph(handle record) {
    if (is_live_bar_graph(record)) return update_live_bars(record);
    // A graph whose window closed was forgotten with its record: the record
    // is not looked at again (its handle is stale, or another's by now).
    auto it = live_graphs.find(record);
    if (it == live_graphs.end()) return false;
    line_graph* g = graph_of(record);
    if (!g) {
        live_graphs.erase(it);
        return false;
    }
    auto* rec = static_cast<output_record*>(lock_handle(record));
    HWND window = rec ? rec->window : nullptr;
    const bool chart = rec && rec->chart;
    if (rec) unlock_handle(record);
    if (!window || !IsWindow(window)) {
        live_graphs.erase(it);
        return false;
    }
    if (!value_array) return true;
    live_graph& live = it->second;
    const float now = value_array[0];
    std::vector<int> grown;
    // Sums and integrals change as a whole: those graphs are mapped anew.
    bool remap_all = chart || g->graph_mode != 0;
    bool full = false;
    for (std::size_t i = 0; i < g->series.size() && i < live.slots.size(); ++i) {
        const int slot = live.slots[i];
        if (slot < 0 || static_cast<std::uint32_t>(slot) >= value_slot_count) continue;
        graph_series& s = g->series[i];
        // A game moved back replays its intervals from the start: what the
        // graph showed from there on is made again.
        if (game_state && !s.times.empty() && now < s.times.back()) {
            drop_points_from(s, now);
            remap_all = true;
        }
        if (!s.times.empty() && s.times.back() == now) continue;
        if (s.times.size() >= live.max_points) {
            full = true;
            continue;
        }
        const float v = value_array[slot];
        if (axis_value_ok(now) && axis_value_ok(v) &&
            !point_in_ranges(*g, static_cast<int>(i), now, v)) {
            // A point outside a range that follows the data moves that range.
            const bool x_out =
                (now < g->x_min && live.x_auto_min) || (now > g->x_max && live.x_auto_max);
            const std::size_t k = static_cast<std::size_t>(std::max(s.group, 0));
            const bool y_fixed = k < live.y_fixed.size() && live.y_fixed[k];
            const bool y_out = v < group_min(*g, s.group) || v > group_max(*g, s.group);
            if (x_out || (y_out && !y_fixed)) remap_all = true;
        }
        s.times.push_back(now);
        s.values.push_back(v);
        if (s.transformed) s.read_values.push_back(v);
        grown.push_back(static_cast<int>(i));
    }
    // Said once while the series stay full: a new run starts them empty.
    if (full && !live.told_full) report(0, "Increase maxpoints for WIP graph");
    live.told_full = full;
    if (grown.empty()) return true;
    if (remap_all) {
        remap(*g, live);
        InvalidateRect(window, nullptr, TRUE);
        refill_chart(record);
        return true;
    }
    // Inside every range: only the new segments are mapped and drawn.
    map_newest_points(*g, grown);
    if (!draw_wip_segments(record, window, *g, grown)) InvalidateRect(window, nullptr, TRUE);
    return true;
}

bool refresh_wip_graph(handle record, bool x_changed) {
    auto it = live_graphs.find(record);
    if (it == live_graphs.end()) return false;
    line_graph* g = graph_of(record);
    if (!g) return false;
    live_graph& live = it->second;
    if (value_array && game_waiting()) {
        bool too_many = false;
        mark_loaded_runs();
        for (std::size_t i = 0; i < g->series.size() && i < live.slots.size(); ++i) {
            const int slot = live.slots[i];
            if (slot < 0 || static_cast<std::uint32_t>(slot) >= value_slot_count) continue;
            if (!fill_from_game(g->series[i], slot, live.max_points)) too_many = true;
        }
        unload_runs(0);
        if (too_many) report(8, "Too many points to complete WIP graph");
    }
    // Without x_changed the time axis stays where it is.
    const bool auto_min = live.x_auto_min, auto_max = live.x_auto_max;
    if (!x_changed) live.x_auto_min = live.x_auto_max = false;
    if (lock_model(1) == 1) {
        remap(*g, live);
        unlock_model(1);
    }
    live.x_auto_min = auto_min;
    live.x_auto_max = auto_max;
    auto* rec = static_cast<output_record*>(lock_handle(record));
    HWND window = rec ? rec->window : nullptr;
    if (rec) unlock_handle(record);
    if (window && IsWindow(window)) InvalidateRect(window, nullptr, TRUE);
    refill_chart(record);
    return true;
}

// ----------------------------------------------------------- user tools ---

void forget_tool_window(handle record) {
    for (graph_set& set : graph_sets())
        for (graph_def& d : set.defs)
            if (d.window == record) d.window = 0;
    // A closed graph leaves the work-in-progress list at once: during a game
    // the list lasts from interval to interval.
    live_graphs.erase(record);
    wip_graph_remove(record);
}

namespace {

// The release callbacks of the records user tools opened: closing the window
// forgets it in its definition first, so no definition keeps a handle the
// record table may give to another window.
std::map<handle, void (*)(handle)> tool_releases;

void release_tool_record(handle record) {
    forget_tool_window(record);
    auto it = tool_releases.find(record);
    void (*release)(handle) = it != tool_releases.end() ? it->second : nullptr;
    if (it != tool_releases.end()) tool_releases.erase(it);
    if (release) release(record);
}

void watch_release(handle record) {
    auto* rec = static_cast<output_record*>(lock_handle(record));
    if (!rec) return;
    if (rec->release != release_tool_record) {
        tool_releases[record] = rec->release;
        rec->release = release_tool_record;
    }
    unlock_handle(record);
}

handle run_user_report(const graph_def& def) {
    mark_loaded_runs();
    const std::string title =
        expand_value_refs(def.title.empty() ? def.name.c_str() : def.title.c_str());
    handle h = open_text_window(title.c_str(), def.x > 0 ? def.x : -1, def.x > 0 ? def.y : -1,
                                def.width, def.height, 0, def.font.face[0] ? &def.font : nullptr);
    if (!h) return 0;
    int taken = 0;
    for (const std::string& line : def.lines) {
        int n = 0;
        const std::string text = expand_value_refs(line.c_str(), &n, &def.var_texts);
        // Each line takes the VAR texts after those of the lines before it.
        taken += n;
        textwin_append(h, 0, text);
    }
    if (taken != static_cast<int>(def.var_texts.size()))
        report(8, "Got %d but expected %d variable descriptors", taken,
               static_cast<int>(def.var_texts.size()));
    unload_runs(0);
    return h;
}

handle run_one(graph_def& def) {
    switch (def.kind) {
    case gd_line:
        return build_custom_graph(def);
    case gd_report:
        return run_user_report(def);
    case gd_bar:
        return build_custom_bar_graph(def);
    case gd_table:
        return run_user_table(def);
    default:
        return 0;
    }
}

} // namespace

namespace {

// The place of a user tool's framed window in the workbench: its frame's
// corner in the container and the tool window's size. false for a window
// that is not framed in the workbench (inside another window, or gone).
bool tool_window_place(handle record, std::int16_t out[4], bool* open = nullptr) {
    if (open) *open = false;
    if (!record) return false;
    auto* o = static_cast<output_record*>(lock_handle(record));
    HWND w = o ? o->window : nullptr;
    HWND inside = o ? o->container : nullptr;
    if (o) unlock_handle(record);
    if (!w || !IsWindow(w)) return false;
    if (open) *open = true;
    HWND frame = GetParent(w);
    if (inside || !frame || !container_wnd || GetParent(frame) != container_wnd) return false;
    RECT fr{}, tr{};
    GetWindowRect(frame, &fr);
    MapWindowPoints(nullptr, container_wnd, reinterpret_cast<POINT*>(&fr), 2);
    GetWindowRect(w, &tr);
    const auto clip = [](long v) {
        return static_cast<std::int16_t>(std::clamp<long>(v, INT16_MIN, INT16_MAX));
    };
    out[0] = clip(fr.left);
    out[1] = clip(fr.top);
    out[2] = clip(tr.right - tr.left);
    out[3] = clip(tr.bottom - tr.top);
    return true;
}

} // namespace

void note_tool_window_place(graph_def& d) {
    d.shown_known = tool_window_place(d.window, d.shown);
}

int merge_window_changes(int mode) {
    const int index = current_graph_set();
    graph_set* set = graph_set_at(index);
    if (!set) return 0;
    int stored = 0;
    std::vector<std::string> rerun;
    for (graph_def& d : set->defs) {
        std::int16_t at[4];
        bool open = false;
        const bool framed = tool_window_place(d.window, at, &open);
        if (!open) continue;
        if (mode != 1) {
            rerun.push_back(d.name);
            continue;
        }
        // Only a window the user moved or sized since it opened changes
        // the definition's place.
        if (!framed || (d.shown_known && std::equal(at, at + 4, d.shown))) continue;
        d.x = at[0];
        d.y = at[1];
        d.width = at[2];
        d.height = at[3];
        std::copy(at, at + 4, d.shown);
        d.shown_known = true;
        ++stored;
    }
    for (const std::string& name : rerun) run_user_tool(name.c_str(), -1, 0);
    // A set loaded for the model (255) counts as unchanged too: it is the
    // set the user moves windows of most.
    if (mode == 1 && stored && (set->state == 0 || set->state == 255)) mark_set_modified(index);
    return stored;
}

int run_user_tool(const char* name, int index, int mode) {
    if (name && std::string(name) == "**NEW**") return 0;
    const int set_index = current_graph_set();
    graph_set* set = graph_set_at(set_index);
    if (!set || set->defs.empty()) {
        if (name) report(8, "No user tools defined");
        return 0;
    }
    int ran = 0;
    auto run = [&](std::size_t i) {
        // The set may be reloaded by what a tool does: find it again after.
        graph_def def = set->defs[i];
        handle h = run_one(def);
        if (h) watch_release(h);
        set = graph_set_at(set_index);
        if (set && i < set->defs.size()) {
            set->defs[i].window = h;
            note_tool_window_place(set->defs[i]);
        }
        if (h) ++ran;
    };
    if (name) {
        for (std::size_t i = 0; i < set->defs.size(); ++i)
            if (name_cmp(set->defs[i].name.c_str(), name) == 0) {
                if (mode == 1 && !set->defs[i].wip) return 0;
                run(i);
                return ran;
            }
        if (mode == 0) report(8, "Unable to match the name %s to a user tool", name);
        return 0;
    }
    if (index >= 0) {
        if (static_cast<std::size_t>(index) < set->defs.size())
            run(static_cast<std::size_t>(index));
        return ran;
    }
    for (std::size_t i = 0; set && i < set->defs.size(); ++i)
        if (set->defs[i].wip) run(i);
    if (set && ran == 0) set->wip = 0;
    return ran;
}

int open_wip_graphs() {
    if (!(float_opts & fo_wip_graph)) return 0;
    graph_set* set = graph_set_at(current_graph_set());
    if (!set || !set->wip) return 0;
    // Each interval of a game starts a run: the graphs opened by an earlier
    // interval go on growing rather than opening again beside themselves.
    if (game_state) {
        int open = 0;
        std::vector<std::string> closed;
        for (const graph_def& d : set->defs) {
            if (!d.wip) continue;
            if (d.window && live_graphs.count(d.window))
                ++open;
            else
                closed.push_back(d.name);
        }
        if (open) {
            for (const std::string& name : closed) run_user_tool(name.c_str(), -1, 1);
            return 1;
        }
    }
    return run_user_tool(nullptr, -1, 1) > 0 ? 1 : 0;
}

namespace {

int tool_names(std::vector<std::string>* out) {
    out->clear();
    if (const graph_set* set = graph_set_at(current_graph_set()))
        for (const graph_def& d : set->defs) out->push_back(d.name);
    return static_cast<int>(out->size());
}

int run_tool(const char* name) {
    return run_user_tool(name, -1, 0);
}

} // namespace

void install_graph_set_hooks() {
    set_graph_set_hook(model_graph_set_hook);
    // Where the user moved or sized a set's windows counts as a change of
    // the set before the questions are asked.
    graph_set_slots.ask_save = [](int all) {
        merge_window_changes(1);
        return query_save_graph_sets(all);
    };
    graph_set_slots.tool_names = tool_names;
    graph_set_slots.run_tool = run_tool;
    graph_set_slots.model_opened = use_saved_model_graph_set;
    install_value_ref_hook();
    set_wip_graph_updater(update_wip_graph);
    set_wip_run_start_hook(open_wip_graphs);
}

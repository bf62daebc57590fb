// Custom bar graphs and user tables: see custombar.h.
#include "graphs/custombar.h"

#include "foundation/report.h"
#include "graphs/bargraph.h"
#include "graphs/linegraph.h"
#include "graphs/sets/valuerefs.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/wip.h"
#include "sim/runname.h"
#include "sim/simdata.h"
#include "tools/output.h"
#include "tools/toolrun.h"

#include <algorithm>
#include <cfloat>
#include <map>
#include <string>
#include <vector>

namespace {

bool running() {
    return sim_phase >= phase_initialising && value_array;
}

// The bars of a graph that show the running simulation: per position and
// run entry (group-major like the values) the value slot, -1 for a bar read
// from a saved run; and the values the heights are built from.
struct live_bars {
    std::vector<std::vector<int>> slots, side_slots;
    std::vector<std::vector<float>> values, side_values;
};
std::map<handle, live_bars> live_bar_graphs;

std::string file_label(const std::string& dataset) {
    std::string l = dataset;
    if (!l.empty() && l.front() == '@') l.erase(0, 1);
    const std::size_t slash = l.find_last_of('/');
    if (slash != std::string::npos) l.erase(0, slash + 1);
    if (l.size() < 4 || l.compare(l.size() - 4, 4, ".kdf") != 0) l += ".kdf";
    return l;
}

} // namespace

namespace {

// A list of VAR or OVAR items: a single item is expanded into its elements;
// several are taken as they stand, a new group at each change of AS-RUN
// group.
bool plan_items(const std::vector<bar_item>& items, custom_bar_plan& plan) {
    plan = {};
    if (items.empty()) return false;
    if (items.size() == 1) {
        const bar_item& it = items.front();
        const char** names = nullptr;
        const int n = expand_subscripted_name(it.name.c_str(), nullptr, nullptr, &names);
        if (n <= 0 || !names) return false;
        plan.names.emplace_back(names, names + n);
        plan.labels.push_back(plan.names.back());
        if (!it.label.empty() && n == 1)
            plan.labels.back()[0] = expand_value_refs(it.label.c_str());
        plan.times.emplace_back(static_cast<std::size_t>(n), it.time);
        plan.group_texts.push_back(it.text);
    } else {
        int group = -1;
        for (const bar_item& it : items) {
            if (plan.names.empty() || it.as_run_group != group) {
                group = it.as_run_group;
                plan.names.emplace_back();
                plan.labels.emplace_back();
                plan.times.emplace_back();
                plan.group_texts.push_back(it.text);
            }
            plan.names.back().push_back(it.name);
            plan.labels.back().push_back(it.label.empty() ? it.name
                                                          : expand_value_refs(it.label.c_str()));
            plan.times.back().push_back(it.time);
        }
    }
    for (const auto& g : plan.names)
        plan.largest = std::max(plan.largest, static_cast<int>(g.size()));
    for (std::size_t g = 0; g < plan.names.size(); ++g) {
        const auto n = static_cast<std::size_t>(plan.largest);
        plan.names[g].resize(n);
        plan.labels[g].resize(n);
        plan.times[g].resize(n, NA);
    }
    return true;
}

} // namespace

bool plan_custom_bars(const graph_def& def, custom_bar_plan& plan) {
    return plan_items(def.bar_vars, plan);
}

bool plan_side_bars(const graph_def& def, custom_bar_plan& plan) {
    return plan_items(def.bar_ovars, plan);
}

void align_bar_plans(custom_bar_plan& main, custom_bar_plan& side) {
    const int largest = std::max(main.largest, side.largest);
    for (custom_bar_plan* p : {&main, &side}) {
        p->largest = largest;
        for (std::size_t g = 0; g < p->names.size(); ++g) {
            const auto n = static_cast<std::size_t>(largest);
            p->names[g].resize(n);
            p->labels[g].resize(n);
            p->times[g].resize(n, NA);
        }
    }
}

std::vector<custom_bar_run> custom_bar_runs(const graph_def& def, int groups) {
    std::vector<custom_bar_run> runs;
    const int selected = model_rec ? loaded_run_names(1) : 0;
    const bool single = def.bar_datasets.size() == 1;
    // While a WIP definition follows the running simulation, an item naming
    // no run (or no item at all) stands for the simulation.
    const bool sim = running() && def.wip;
    const std::string sim_label = sim ? std::string(run_name_or_current(model_rec)) : std::string();
    for (const bar_item& it : def.bar_datasets) {
        custom_bar_run r;
        // The text form stores "*1" and a DATASET naming nothing alike.
        if (sim && it.dataset.empty() && (it.run == 0 || it.run == gd_wip_run)) {
            r.run = -2;
            r.label = !it.text.empty() ? it.text : sim_label;
        } else if (!it.dataset.empty()) {
            // A file that cannot be opened keeps its place: its bars read
            // as missing.
            r.run = kdf_open(it.dataset.c_str());
            r.label = !it.text.empty() ? it.text : file_label(it.dataset);
        } else {
            if (it.run < 0 || it.run >= selected) continue; // no such selected run
            r.run = model_rec->runs[it.run].run;
            r.label = !it.text.empty()             ? it.text
                      : selected_run_names[it.run] ? selected_run_names[it.run]
                                                   : "";
        }
        if (groups > 1 && single && it.text.empty()) r.label.clear();
        runs.push_back(std::move(r));
    }
    if (def.bar_datasets.empty() && sim) {
        custom_bar_run r;
        r.run = -2;
        if (groups <= 1) r.label = sim_label;
        runs.push_back(std::move(r));
    } else if (def.bar_datasets.empty()) {
        for (int i = 0; i < selected; ++i) {
            custom_bar_run r;
            r.run = model_rec->runs[i].run;
            if (!(groups > 1 && selected == 1))
                r.label = selected_run_names[i] ? selected_run_names[i] : "";
            runs.push_back(std::move(r));
        }
    }
    return runs;
}

namespace {

// The values of a plan's bars, values[position][entry] (NA: no bar), and
// for the running simulation's entries (-2) the value slot of each bar.
struct bar_values {
    std::vector<std::vector<float>> values;
    std::vector<std::vector<int>> slots;
    bool live = false;
};

bar_values gather_bars(const custom_bar_plan& plan, const std::vector<int>& entry_run,
                       std::size_t runs_n, double at, const std::string& xname) {
    bar_values out;
    const auto positions = static_cast<std::size_t>(plan.largest);
    out.values.assign(positions, std::vector<float>(entry_run.size(), NA));
    out.slots.assign(positions, std::vector<int>(entry_run.size(), -1));
    for (std::size_t p = 0; p < positions; ++p)
        for (std::size_t e = 0; e < entry_run.size(); ++e) {
            const std::size_t k = e / runs_n;
            if (k >= plan.names.size()) continue; // a group this list does not have
            const std::string& name = plan.names[k][p];
            if (name.empty()) continue;
            if (entry_run[e] == -2) {
                // The running simulation: its value now, updated at each save.
                std::int32_t slot = -1;
                if (find_var_name(name.c_str(), &slot, 0) && slot >= 0 &&
                    static_cast<std::uint32_t>(slot) < value_slot_count) {
                    out.slots[p][e] = slot;
                    out.values[p][e] = value_array[slot];
                    out.live = true;
                }
                continue;
            }
            if (entry_run[e] < 0) continue;
            const float t = is_na(plan.times[k][p]) ? static_cast<float>(at) : plan.times[k][p];
            float v = NA;
            if (run_value_at_time(name.c_str(), xname.c_str(), entry_run[e], &v, &t, 0) != 1)
                v = NA;
            out.values[p][e] = v;
        }
    return out;
}

// A time graph: a group per saved time of the first series that has data,
// a bar per variable and run entry (the series), labelled by the variable's
// label and, with several runs, the run's.
void gather_time_bars(bar_graph& g, const custom_bar_plan& plan, const std::vector<int>& entry_run,
                      std::size_t runs_n, const std::vector<std::string>& entry_labels,
                      const std::string& xname, std::vector<std::vector<float>>& values,
                      std::vector<std::string>& labels) {
    struct series {
        std::size_t entry, position;
    };
    std::vector<series> list;
    const auto positions = static_cast<std::size_t>(plan.largest);
    for (std::size_t e = 0; e < entry_run.size(); ++e)
        for (std::size_t p = 0; p < positions; ++p)
            if (!plan.names[e / runs_n][p].empty()) list.push_back({e, p});
    const bool one_variable = positions == 1;
    g.run_labels.clear();
    for (const series& s : list) {
        const std::string& var = plan.labels[s.entry / runs_n][s.position];
        const std::string& run = entry_labels[s.entry];
        g.run_labels.push_back(one_variable ? run : run.empty() ? var : var + " : " + run);
    }
    std::vector<float> group_times;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const series& s = list[i];
        const std::string& name = plan.names[s.entry / runs_n][s.position];
        std::vector<float> v, t;
        if (entry_run[s.entry] >= 0)
            read_run_values(name.c_str(), xname.c_str(), entry_run[s.entry], v, t);
        if (group_times.empty() && !t.empty()) {
            group_times = t;
            values.assign(t.size(), std::vector<float>(list.size(), NA));
            for (float x : t) labels.emplace_back(format_number_fmt("%s", 0, x));
        }
        for (std::size_t j = 0; j < t.size() && j < v.size(); ++j) {
            const int k =
                nearest_time_index(group_times.data(), static_cast<int>(group_times.size()), t[j]);
            if (k >= 0) values[static_cast<std::size_t>(k)][i] = v[j];
        }
    }
    g.run_count = static_cast<int>(list.size());
}

} // namespace

namespace {

// The graph's own settings from its definition: fonts, divisions, titles,
// orientation, sorting, the legend and the value bounds.
bar_graph custom_bar_settings(const graph_def& def, bool two_sided) {
    bar_graph g;
    g.font = graph_defaults().fonts[0];
    g.font.size = 12;
    g.font.style = 0;
    g.small_font = g.font;
    g.small_font.size = 10;
    g.divisions = def.y_div > 0 ? def.y_div : graph_defaults().y_divisions;
    g.divisions_given = def.y_div > 0;
    g.title = expand_value_refs(def.title.empty() ? def.name.c_str() : def.title.c_str());
    g.window_title = g.title;
    g.axis_label = def.subtitle;
    if (two_sided) g.side_label = def.osubtitle;
    g.horizontal = def.horizontal;
    g.force_bars = def.sort != 0 ? 1 : 0;
    g.soft_bounds = def.soft_bounds;
    g.style = def.no_legend;
    if (def.y_min != FLT_MAX) g.low = def.y_min;
    if (def.y_max != -FLT_MAX) g.high = def.y_max;
    return g;
}

// The run entries: the run list once per group, each labelled in the legend;
// a group's texts come from whichever list has that group. Returns each
// entry's run.
std::vector<int> custom_bar_entries(bar_graph& g, const custom_bar_plan& plan,
                                    const custom_bar_plan& side,
                                    const std::vector<custom_bar_run>& runs, int groups) {
    std::vector<int> entry_run;
    for (int k = 0; k < groups; ++k)
        for (const custom_bar_run& r : runs) {
            entry_run.push_back(r.run);
            std::string label = r.label;
            if (groups > 1) {
                const auto gk = static_cast<std::size_t>(k);
                label = gk < plan.group_texts.size()   ? plan.group_texts[gk]
                        : gk < side.group_texts.size() ? side.group_texts[gk]
                                                       : std::string();
                if (!r.label.empty()) label += label.empty() ? r.label : " " + r.label;
            }
            g.run_labels.push_back(std::move(label));
        }
    g.run_count = static_cast<int>(entry_run.size());
    return entry_run;
}

// A position shows the labels of its names in every group, of both sets.
std::vector<std::string> position_labels(const custom_bar_plan& plan, const custom_bar_plan& side,
                                         std::size_t positions) {
    std::vector<std::string> labels(positions, "");
    for (std::size_t p = 0; p < positions; ++p)
        for (const custom_bar_plan* pl : {&plan, &side})
            for (std::size_t k = 0; k < pl->labels.size(); ++k) {
                const std::string& l = pl->labels[k][p];
                if (l.empty() || labels[p].find(l) != std::string::npos) continue;
                labels[p] += labels[p].empty() ? l : " / " + l;
            }
    return labels;
}

// What the bars need to follow a Livesweep: every bar's element, run and
// time, and (for the run Livesweep shows) its value slot.
struct live_set {
    std::vector<std::uint32_t> slots;
    std::vector<float> times;
    std::vector<std::string> names;
    std::vector<int> runs;
};

live_set live_set_of(const custom_bar_plan& pl, const std::vector<int>& entry_run,
                     std::size_t runs_n, std::size_t positions, double at, int shown_run) {
    live_set out;
    const std::size_t entries = entry_run.size();
    out.slots.assign(positions * entries, 0);
    out.times.assign(positions * entries, NA);
    out.names.assign(positions * entries, {});
    out.runs.assign(positions * entries, -1);
    for (std::size_t p = 0; p < positions; ++p)
        for (std::size_t e = 0; e < entries; ++e) {
            const std::size_t k = e / runs_n;
            if (k >= pl.names.size() || pl.names[k][p].empty()) continue;
            out.names[p * entries + e] = pl.names[k][p];
            out.runs[p * entries + e] = entry_run[e];
            out.times[p * entries + e] =
                is_na(pl.times[k][p]) ? static_cast<float>(at) : pl.times[k][p];
            if (shown_run >= 0 && entry_run[e] == shown_run)
                out.slots[p * entries + e] = live_slot(pl.names[k][p].c_str());
        }
    return out;
}

// Sorts the bars as the definition asks and gives the graph what a
// Livesweep follows, its rows in the sorted order: the bars of the run
// Livesweep shows follow its re-runs, each at its own time; every bar's
// element and run are kept too, so that a Livesweep started after the graph
// was made finds the bars of its run.
void sort_and_follow(bar_graph& g, const graph_def& def, const custom_bar_plan& plan,
                     const custom_bar_plan& side, bool two_sided, const std::vector<int>& entry_run,
                     std::size_t runs_n, std::size_t positions, double at,
                     std::vector<std::vector<float>>& values,
                     std::vector<std::vector<float>>& side_values,
                     std::vector<std::string>& labels) {
    const int shown = cache_livesweep() ? shown_run_slot() : -1;
    const int shown_run = shown >= 0 && shown < max_selected_runs ? model_rec->runs[shown].run : -1;
    const std::size_t entries = entry_run.size();
    live_set live_main = live_set_of(plan, entry_run, runs_n, positions, at, shown_run);
    live_set live_side;
    if (two_sided) live_side = live_set_of(side, entry_run, runs_n, positions, at, shown_run);
    std::vector<int> order;
    order_bars(values, labels, decode_sort_byte(def.sort), nullptr,
               two_sided ? &side_values : nullptr, &order);
    // The live rows follow their positions.
    auto reorder = [&](auto& v) {
        if (v.size() != order.size() * entries) return;
        std::remove_reference_t<decltype(v)> out;
        for (int i : order)
            out.insert(out.end(), v.begin() + static_cast<std::ptrdiff_t>(i * entries),
                       v.begin() + static_cast<std::ptrdiff_t>((i + 1) * entries));
        v = std::move(out);
    };
    reorder(live_main.slots);
    reorder(live_main.times);
    reorder(live_main.names);
    reorder(live_main.runs);
    if (!two_sided || side_values.size() == values.size()) {
        reorder(live_side.slots);
        reorder(live_side.times);
        reorder(live_side.names);
        reorder(live_side.runs);
    }
    g.live_times = std::move(live_main.times);
    g.side_live_times = std::move(live_side.times);
    g.live_names = std::move(live_main.names);
    g.live_runs = std::move(live_main.runs);
    g.side_live_names = std::move(live_side.names);
    g.side_live_runs = std::move(live_side.runs);
    g.live_time = static_cast<float>(at);
    if (shown_run >= 0) {
        g.live_slots = std::move(live_main.slots);
        g.side_live_slots = std::move(live_side.slots);
        g.live_run_slot = shown;
        g.live_found_for = shown_run;
    }
}

} // namespace

handle build_custom_bar_graph(const graph_def& def) {
    if (!model_rec) return 0;
    // While a simulation runs only WIP definitions are drawn.
    const bool in_run = running();
    if (in_run && !def.wip) return 0;
    const tool_model_lock lock;
    if (!lock.ok()) return 0;
    // The run files the graph opens are unloaded once it is built; the runs
    // loaded before stay.
    mark_loaded_runs();
    struct unload_opened {
        ~unload_opened() { unload_runs(0); }
    } unload;

    custom_bar_plan plan, side;
    if (!plan_custom_bars(def, plan)) return 0;
    // The side list (OVAR) is a second set of bars on the left; a time graph
    // has no room for one.
    const bool two_sided = !def.bar_ovars.empty() && !def.bar_by_time;
    if (two_sided) {
        if (!plan_side_bars(def, side)) return 0;
        align_bar_plans(plan, side);
    }
    const int groups =
        std::max(static_cast<int>(plan.names.size()), static_cast<int>(side.names.size()));
    const std::vector<custom_bar_run> runs = custom_bar_runs(def, groups);
    if (runs.empty()) {
        if (!in_run) report(8, "Unable to complete bar-graph");
        return 0;
    }

    bar_graph g = custom_bar_settings(def, two_sided);
    const std::vector<int> entry_run = custom_bar_entries(g, plan, side, runs, groups);

    // The time: BAR-TIME, or the model's special time in the time basis.
    double at = def.bar_time;
    if (is_na(def.bar_time)) time_basis_label(model_rec->special, &at, 0, nullptr, 0);
    const symbol_id basis = time_basis_symbol();
    const std::string xname = basis ? varformat(basis, 0) : "Time";
    const auto runs_n = runs.size();
    const auto positions = static_cast<std::size_t>(plan.largest);

    std::vector<std::vector<float>> values, side_values;
    std::vector<std::string> labels;
    if (def.bar_by_time) {
        g.value_title = "Time";
        g.force_bars = 1; // a time graph stays bars, as the Bar Graph tool's does
        const std::vector<std::string> entry_labels = g.run_labels;
        gather_time_bars(g, plan, entry_run, runs_n, entry_labels, xname, values, labels);
    } else {
        bar_values main = gather_bars(plan, entry_run, runs_n, at, xname);
        bar_values second;
        if (two_sided) second = gather_bars(side, entry_run, runs_n, at, xname);
        values = std::move(main.values);
        side_values = std::move(second.values);
        labels = position_labels(plan, side, positions);
        if (main.live || second.live) {
            // Bars that move keep their places: no sort while running.
            live_bars live;
            live.slots = std::move(main.slots);
            live.side_slots = std::move(second.slots);
            live.values = values;
            live.side_values = side_values;
            g.follows_run = 1;
            g.labels = std::move(labels);
            build_bar_heights(g, values, side_values);
            g.labels.resize(values.size());
            const handle h = show_bar_graph(std::move(g));
            if (!h) return 0;
            live_bar_graphs[h] = std::move(live);
            wip_graph_add(h);
            return h;
        }
        sort_and_follow(g, def, plan, side, two_sided, entry_run, runs_n, positions, at, values,
                        side_values, labels);
    }
    g.labels = std::move(labels);
    if (def.bar_by_time)
        build_time_bar_heights(g, values);
    else
        build_bar_heights(g, values, side_values);
    g.labels.resize(values.size());
    handle h = show_bar_graph(std::move(g));
    if (!h) report(8, "Unable to complete bar-graph");
    return h;
}

bool is_live_bar_graph(handle record) {
    auto it = live_bar_graphs.find(record);
    if (it == live_bar_graphs.end()) return false;
    // A record freed since (its handle perhaps reused by another graph)
    // is no longer ours.
    if (bar_graph_of(record)) return true;
    live_bar_graphs.erase(it);
    return false;
}

bool update_live_bars(handle record) {
    auto it = live_bar_graphs.find(record);
    bar_graph* g = bar_graph_of(record);
    if (it == live_bar_graphs.end() || !g) {
        if (it != live_bar_graphs.end()) live_bar_graphs.erase(it);
        return false;
    }
    auto* rec = static_cast<output_record*>(lock_handle(record));
    HWND window = rec ? rec->window : nullptr;
    if (rec) unlock_handle(record);
    if (!window || !IsWindow(window)) {
        live_bar_graphs.erase(it);
        return false;
    }
    if (!value_array) return true;
    live_bars& live = it->second;
    auto take = [](const std::vector<std::vector<int>>& slots,
                   std::vector<std::vector<float>>& values) {
        for (std::size_t p = 0; p < slots.size() && p < values.size(); ++p)
            for (std::size_t e = 0; e < slots[p].size() && e < values[p].size(); ++e) {
                const int slot = slots[p][e];
                if (slot >= 0 && static_cast<std::uint32_t>(slot) < value_slot_count)
                    values[p][e] = value_array[slot];
            }
    };
    take(live.slots, live.values);
    take(live.side_slots, live.side_values);
    build_bar_heights(*g, live.values, live.side_values);
    InvalidateRect(window, nullptr, TRUE);
    return true;
}

user_table_spec user_table_spec_of(const graph_def& def) {
    user_table_spec s;
    s.title = expand_value_refs(def.title.empty() ? def.name.c_str() : def.title.c_str());
    s.x = def.x;
    s.y = def.y;
    s.width = def.width;
    s.height = def.height;
    s.font = def.font;
    s.interval = def.print_every;
    s.start = def.x_min;
    s.end = def.x_max;
    s.at_time = def.special_time;
    s.first_cellwidth = def.first_cellwidth;
    s.cellwidth = def.cellwidth;
    s.time_down = def.time_down != 0;
    s.as_displayed = def.prettynum != 0;
    s.notime = def.notime != 0;
    for (const table_item& it : def.items) {
        user_table_item u;
        u.comment = it.comment;
        if (it.comment) {
            u.text = it.label;
        } else {
            u.name = it.name;
            u.label = it.label;
            u.dataset = it.dataset;
            u.format = it.format;
            u.run = it.run;
            // The first selected run and no run at all are stored alike:
            // both show every selected run.
            u.every_run = it.dataset.empty() && it.run == 0;
        }
        s.items.push_back(std::move(u));
    }
    return s;
}

handle run_user_table(const graph_def& def) {
    const tool_model_lock lock;
    if (!lock.ok()) return 0;
    return user_table(user_table_spec_of(def));
}

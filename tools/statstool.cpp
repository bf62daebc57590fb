// The Stats tool: see statstool.h.
#include "tools/statstool.h"

#include "foundation/docwriter.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "runs/sens.h"
#include "shell/toolset.h"
#include "shell/varselect.h"
#include "tools/grid_core.h"
#include "tools/gridtool.h"
#include "tools/gridwin.h"
#include "tools/liveruns.h"
#include "tools/output.h"
#include "tools/stats.h"
#include "tools/table.h"
#include "tools/toolrun.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr toptset_field stats_fields[] = {
    {0, tf_byte},   {1, tf_byte}, {2, tf_byte},  {3, tf_byte},   {4, tf_byte},  {5, tf_byte},
    {6, tf_byte},   {7, tf_byte}, {8, tf_byte},  {9, tf_byte},   {10, tf_byte}, {11, tf_byte},
    {16, tf_font},  {56, tf_int}, {60, tf_int},  {64, tf_byte},  {65, tf_byte}, {66, tf_byte},
    {68, tf_float}, {72, tf_int}, {76, tf_int},  {80, tf_int},   {84, tf_int},  {88, tf_int},
    {92, tf_int},   {96, tf_int}, {100, tf_int}, {104, tf_byte}, {105, 8},      {-1, 0},
};

stats_tool_options options_of(handle tool) {
    stats_tool_options o = stats_defaults();
    read_tool_options(tool, &o, sizeof o);
    o.number_format[sizeof o.number_format - 1] = 0;
    return o;
}

const char* time_text(double t) {
    return format_number_fmt(nullptr, 0, t);
}

} // namespace

stats_tool_options stats_defaults() {
    stats_tool_options o{};
    o.variable_set = 255;
    o.print_switch[0] = o.print_switch[1] = 1;
    o.display = 1;
    for (int i = 0; i < 6; ++i) o.kinds[i] = 1;
    o.font.colour = 0xFFFFFFFFu;
    o.font.size = 10;
    o.first_tab = 30;
    o.tab_width = 10;
    return o;
}

int stats_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    static const stats_tool_options defaults = stats_defaults();
    static const grid_tool_kind kind{&defaults, sizeof defaults, stats_fields, stats_tool_run,
                                     [](const void*) -> std::uint32_t { return 0x2D0040; }};
    return grid_tool_setup(kind, mode, tool, out, text);
}

namespace {

// Which entries of the variable the tool shows, from its options.
table_tool_options entry_options(const stats_tool_options& o) {
    table_tool_options which = table_defaults();
    which.related = o.variable_set;
    which.eq_switch[0] = o.print_switch[0];
    which.eq_switch[1] = o.print_switch[1];
    std::memcpy(which.show, o.kinds, sizeof which.show);
    which.ninth_show = o.ninth_kind;
    return which;
}

// The heading in the document: the variables, what the statistics are over
// (the run's time, a sensitivity result or the subscripts at a time) and the
// runs.
void print_stats_heading(const stats_tool_options& o, const grid_tool_runs& selected,
                         double chosen_time) {
    grid_tool_print_variable(o.variable_set, "");
    if (o.mode == 0) {
        // The time axis is named by its own variable (a model may call it
        // anything, and a time base may stand in for it).
        const symbol_id axis = grid_tool_time_axis();
        const std::string axis_name =
            axis && valid_symbol(axis) ? std::string(varformat(axis, 0)) : std::string("Time");
        docprintf("for %s from %s ", axis_name.c_str(), time_text(model_rec->start));
        docprintf("to %s ", time_text(model_rec->end));
    } else if (o.mode == 1) {
        docprintf("sensitivity results at time %s ", time_text(chosen_time));
    } else {
        docprintf("results across subscripts at time %s ", time_text(chosen_time));
    }
    grid_tool_print_runs(selected, false);
    doc_flush();
}

// The values the statistics of one run are taken over: the series within the
// analysis window (with their times), the sensitivity percentiles at the
// chosen time, or each element of the group at that time.
std::vector<float> stats_values(const stats_tool_options& o, const std::string& name,
                                const std::vector<std::string>& group, int run, int i,
                                double chosen_time, std::vector<float>& times) {
    std::vector<float> values;
    if (o.mode == 0) {
        std::vector<float> all, all_times;
        const int n = live_run_series(name.c_str(), "Time", run, all, all_times);
        int first = 0, last = -1;
        const double saving = model_rec->runs[i].step;
        if (n > 0 && analysis_window(all_times.data(), n, model_rec->start, model_rec->end, saving,
                                     &first, &last)) {
            values.assign(all.begin() + first, all.begin() + last + 1);
            times.assign(all_times.begin() + first, all_times.begin() + last + 1);
        }
    } else if (o.mode == 1) {
        sens_percentiles(name.c_str(), run, values, "Time", chosen_time);
    } else {
        const float ftime = static_cast<float>(chosen_time);
        for (const std::string& el : group) {
            float v = NA;
            if (live_value_at_time(el.c_str(), "Time", run, &v, &ftime, 1)) values.push_back(v);
        }
    }
    return values;
}

// The statistics of one run's values, for one row.
struct stats_row_input {
    const std::vector<float>* values;
    const std::vector<float>* times;
    const int* percentiles;
    int npercentiles;
    bool with_r2;
};

// Adds a run's row: "--" without values; else the statistics and, against
// the first run, R squared and how many points matched (the first run's
// values kept for the later runs).
void add_stats_row(handle rec, const stats_tool_options& o, const std::string& label, int i,
                   const stats_row_input& in, std::vector<float>& first_values,
                   std::vector<float>& first_times) {
    const std::vector<float>& values = *in.values;
    const std::vector<float>& times = *in.times;
    const stats_row s = compute_stats(values.data(), static_cast<int>(values.size()),
                                      in.percentiles, in.npercentiles);
    if (s.count == 0) {
        spread_add_row(rec, (label + "\t--").c_str(), nullptr, nullptr, nullptr, 0, false, nullptr,
                       0, run_colour_mark(i));
        if (i == 0) first_values.clear();
        return;
    }
    std::vector<float> cells = {static_cast<float>(s.count),
                                static_cast<float>(s.min),
                                static_cast<float>(s.max),
                                static_cast<float>(s.mean),
                                static_cast<float>(s.median),
                                static_cast<float>(s.stdev),
                                s.norm};
    for (double p : s.percentiles) cells.push_back(static_cast<float>(p));
    std::vector<int> indices(cells.size(), -1);
    if (in.with_r2) {
        if (i == 0) {
            first_values = values;
            first_times = times;
            cells.push_back(1.0f);
            cells.push_back(NA); // the first run has no count of its own
            indices.push_back(-1);
            indices.push_back(-1);
        } else {
            double r2 = 0;
            int matched = 0;
            if (values.size() >= 2 && !first_values.empty()) {
                const double saving = model_rec->runs[i].step;
                const double tol = saving > 0 ? saving / 2 : 0.5;
                matched = r_square(first_times.data(), first_values.data(), times.data(),
                                   values.data(), tol, static_cast<int>(first_values.size()),
                                   static_cast<int>(values.size()), &r2);
            }
            cells.push_back(static_cast<float>(r2));
            cells.push_back(0);
            indices.push_back(-1);
            indices.push_back(matched);
        }
    }
    spread_add_row(rec, label.c_str(), nullptr, cells.data(), indices.data(),
                   static_cast<int>(cells.size()), o.display != 0, o.number_format, 0,
                   run_colour_mark(i));
}

} // namespace

void stats_tool_run(handle tool) {
    const symbol_id var = workbench_var.var;
    if (!var) {
        grid_tool_no_variable("Stats");
        return;
    }
    const stats_tool_options o = options_of(tool);
    const int runs = loaded_run_names(0);
    if (runs <= 0 || !model_rec) return;
    const grid_tool_runs selected = grid_tool_selected_runs(runs);
    const std::vector<int>& run_index = selected.index;
    const std::vector<std::string>& run_names = selected.names;
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok()) return;

    const std::vector<table_entry> entries = table_entries(var, entry_options(o));
    if (entries.empty()) return;

    int percentiles[stats_max_percentiles];
    std::copy(o.percentiles, o.percentiles + stats_max_percentiles, percentiles);
    const int npercentiles = pack_percentiles(percentiles);
    const bool with_r2 = o.r_square && o.mode == 0;

    output_oneshots_guard oneshots;
    bool opened = false;
    const handle rec = grid_tool_window(tool, &o.font, o.first_tab, o.tab_width, 0, &opened);
    if (!rec) return;
    if (opened) {
        const std::vector<std::string> headings =
            stats_headings(percentiles, npercentiles, with_r2);
        std::vector<const char*> texts;
        for (const std::string& h : headings) texts.push_back(h.c_str());
        spread_add_row(rec, "Variable", texts.data(), nullptr, nullptr,
                       static_cast<int>(texts.size()), false, nullptr, 0, 0);
    }
    grid_tool_report report_to(rec);

    const double chosen_time = o.time_choice == 1   ? model_rec->start
                               : o.time_choice == 2 ? model_rec->end
                               : o.time_choice == 3 ? static_cast<double>(o.time)
                                                    : model_rec->special;
    print_stats_heading(o, selected, chosen_time);
    if (!grid_tool_main_run_present(selected)) return;

    // Across subscripts a variable gives one row per run; else each element.
    for (const table_entry& e : entries) {
        std::vector<std::vector<std::string>> groups;
        if (o.mode == 2)
            groups.push_back(e.elements);
        else
            for (const std::string& el : e.elements) groups.push_back({el});
        std::vector<float> first_times, first_values;
        for (const std::vector<std::string>& group : groups) {
            const std::string name = o.mode == 2 ? varformat(e.var, 0) : group.front();
            for (int i = 0; i < runs; ++i) {
                const int run = run_index[static_cast<std::size_t>(i)];
                std::string label = name;
                if (i > 0 && !o.label_per_run)
                    label = " : " + run_names[static_cast<std::size_t>(i)];
                std::vector<float> times;
                const std::vector<float> values =
                    stats_values(o, name, group, run, i, chosen_time, times);
                add_stats_row(rec, o, label, i,
                              {&values, &times, percentiles, npercentiles, with_r2}, first_values,
                              first_times);
            }
        }
    }
    doc_flush();
    activate_record_window(rec);
}

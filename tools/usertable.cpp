// User tables: see usertable.h.
#include "tools/usertable.h"

#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/units.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "tools/grid_core.h"
#include "tools/gridwin.h"
#include "tools/liveruns.h"
#include "tools/output.h"
#include "tools/series.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The colour of a run: a selected run's own (its position among the
// selected runs, as in the other tools), then the runs opened from files in
// the order they are met.
struct run_colours {
    int selected = 0;
    std::vector<int> extra;
    int colour_of(int run) {
        for (int i = 0; i < selected; ++i)
            if (model_rec->runs[i].run == run) return run_colour_mark(i);
        auto it = std::find(extra.begin(), extra.end(), run);
        if (it == extra.end()) {
            extra.push_back(run);
            it = extra.end() - 1;
        }
        return run_colour_mark(selected + static_cast<int>(it - extra.begin()));
    }
};

std::string run_label(int run) {
    const char* n = run_display_name(run);
    return n ? n : "";
}

std::string value_text(float v, const char* format) {
    if (is_na(v)) return "--";
    return format_number_fmt(format && *format ? format : nullptr, 0, v);
}

} // namespace

std::vector<user_table_row> plan_user_table(const user_table_spec& spec, int* first_run) {
    std::vector<user_table_row> rows;
    if (first_run) *first_run = -1;
    const int selected = model_rec ? loaded_run_names(1) : 0;
    run_colours colours;
    colours.selected = selected;
    for (std::size_t k = 0; k < spec.items.size(); ++k) {
        const user_table_item& it = spec.items[k];
        if (it.comment) {
            user_table_row r;
            r.item = static_cast<int>(k);
            r.label = it.text;
            rows.push_back(std::move(r));
            continue;
        }
        std::vector<int> runs;
        if (!it.dataset.empty()) {
            // Opened by its file name when not loaded; a file that cannot be
            // read leaves the variable out.
            const int run = kdf_open(it.dataset.c_str());
            if (run >= 0) runs.push_back(run);
        } else if (it.every_run) {
            for (int i = 0; i < selected; ++i) runs.push_back(model_rec->runs[i].run);
        } else if (it.run >= 0 && it.run < selected) {
            runs.push_back(model_rec->runs[it.run].run);
        }
        if (runs.empty()) continue;
        if (first_run && *first_run < 0) *first_run = runs.front();
        std::vector<std::string> elements;
        expand_element_names(it.name.c_str(), runs.front(), elements, 0);
        if (elements.empty()) elements.push_back(it.name);
        for (const std::string& e : elements) {
            for (std::size_t i = 0; i < runs.size(); ++i) {
                user_table_row r;
                r.item = static_cast<int>(k);
                r.element = e;
                r.run = runs[i];
                r.colour = colours.colour_of(runs[i]);
                if (i > 0)
                    r.label = spec.time_down ? "" : " : " + run_label(runs[i]);
                else
                    r.label = !it.label.empty() && elements.size() == 1 ? it.label : e;
                rows.push_back(std::move(r));
            }
        }
    }
    return rows;
}

handle user_table(const user_table_spec& spec) {
    if (!model_rec) return 0;
    // Run files the table opens are unloaded when it is built; the runs
    // loaded before stay.
    mark_loaded_runs();
    struct unload_opened {
        ~unload_opened() { unload_runs(0); }
    } unload;

    int first = -1;
    const std::vector<user_table_row> rows = plan_user_table(spec, &first);
    if (first < 0) {
        report(8, "No variables for Table.  Load/Create Runs");
        return 0;
    }

    const symbol_id base = time_basis_symbol();
    const std::string axis_name = base ? varformat(base, 0) : "Time";
    // The times of every run the rows name, the first's first: a run that
    // ends later or saves more often than the first adds its times.
    std::vector<int> runs{first};
    for (const user_table_row& r : rows)
        if (r.run >= 0 && std::find(runs.begin(), runs.end(), r.run) == runs.end())
            runs.push_back(r.run);
    const double start = is_na(spec.start) ? model_rec->full_start : spec.start;
    const double end = is_na(spec.end) ? model_rec->full_end : spec.end;
    const double interval = is_na(spec.interval) ? 0.0 : static_cast<double>(spec.interval);
    std::vector<axis_source> sources;
    std::vector<float> times;
    for (int run : runs) {
        std::vector<float> saved;
        const int n = read_run_values(axis_name.c_str(), "Time", run, saved, times);
        if (n <= 0) {
            if (run != first) continue; // its rows show "--"
            report(8, "Selected time axis %s \nnot valid for primary run", axis_name.c_str());
            return 0;
        }
        saved.resize(static_cast<std::size_t>(n));
        sources.push_back({std::move(saved), interval});
    }
    // Without an at-time of its own the table shows its interval's times
    // only: the model's special time may lie outside the table's range.
    const union_axis axis = union_axis_times(sources, start, end, spec.at_time);
    const std::vector<float>& axis_times = axis.times;

    output_oneshots_guard oneshots;
    const handle rec = open_spread_window(
        spec.title.c_str(), spec.x > 0 ? spec.x : -1, spec.y > 0 ? spec.y : -1, spec.width,
        spec.height, &spec.font, spec.first_cellwidth > 0 ? spec.first_cellwidth : 30,
        spec.cellwidth > 0 ? spec.cellwidth : 14, spec.time_down ? 1 : 0);
    if (!rec) return 0;

    if (!spec.notime) {
        const std::string label =
            base && valid_symbol(base) ? name_units_label(nullptr, base, 0) : axis_name;
        spread_add_row(rec, label.c_str(), nullptr, axis_times.data(), nullptr,
                       static_cast<int>(axis_times.size()), spec.as_displayed, nullptr, 0, 0);
    }
    std::vector<float> values, out(axis_times.size());
    for (const user_table_row& r : rows) {
        const user_table_item& it = spec.items[static_cast<std::size_t>(r.item)];
        if (it.comment) {
            spread_add_row(rec, r.label.c_str(), nullptr, nullptr, nullptr, 0, false, nullptr, 0,
                           0);
            continue;
        }
        const char* format = it.format.empty() ? nullptr : it.format.c_str();
        // During Livesweep the shown run's values are its re-runs' (the
        // caller holds the model; without it this reads the run file).
        const int got = live_run_values(r.element.c_str(), axis_name.c_str(), r.run, values, times);
        if (got == 1 || got <= 0) {
            // A constant's one value, a string's text, or nothing in that run.
            std::string cell = "--";
            if (got == 1) {
                cell = value_text(values[0], format);
            } else if (const char* s = run_string_value(r.element.c_str(), r.run); s && *s) {
                cell = s;
            }
            spread_add_row(rec, (r.label + "\t" + cell).c_str(), nullptr, nullptr, nullptr, 0,
                           false, nullptr, 0, r.colour);
            continue;
        }
        resample(values.data(), times.data(), got, axis_times.data(),
                 static_cast<int>(axis_times.size()), out.data(), axis.tolerance);
        spread_add_row(rec, r.label.c_str(), nullptr, out.data(), nullptr,
                       static_cast<int>(out.size()), spec.as_displayed, format, 0, r.colour);
    }
    activate_record_window(rec);
    return rec;
}

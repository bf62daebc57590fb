// The Table tool: see table.h.
#include "tools/table.h"

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "model/context.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/trees.h"
#include "model/units.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "runs/sens.h"
#include "shell/msgbox.h"
#include "shell/toolset.h"
#include "shell/varselect.h"
#include "tools/grid_core.h"
#include "tools/gridtool.h"
#include "tools/gridwin.h"
#include "tools/liveruns.h"
#include "tools/output.h"
#include "tools/series.h"
#include "tools/toolrun.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr toptset_field table_fields[] = {
    {0, tf_byte},   {1, tf_byte},  {2, tf_byte},   {3, tf_byte},  {4, tf_byte},   {5, tf_byte},
    {6, tf_byte},   {7, tf_byte},  {8, tf_byte},   {9, tf_byte},  {10, tf_byte},  {11, tf_byte},
    {12, tf_font},  {52, tf_int},  {56, tf_int},   {60, tf_byte}, {64, tf_float}, {68, tf_float},
    {72, tf_float}, {76, tf_byte}, {80, tf_float}, {84, tf_byte}, {85, tf_byte},  {86, tf_byte},
    {88, tf_float}, {92, 8},       {-1, 0},
};

// Element rows past this many ask before going on.
constexpr int elements_before_question = 256;

table_tool_options options_of(handle tool) {
    table_tool_options o = table_defaults();
    read_tool_options(tool, &o, sizeof o);
    o.number_format[sizeof o.number_format - 1] = 0;
    return o;
}

std::vector<std::string> element_names(symbol_id var) {
    const char** list = nullptr;
    const int n = var_element_names(var, &list, 0);
    std::vector<std::string> out;
    for (int i = 0; i < n && list; ++i) out.emplace_back(list[i] ? list[i] : "");
    return out;
}

std::string value_text(double v, const table_tool_options& o) {
    if (is_na(v)) return "--";
    return format_number_fmt(o.number_format[0] ? o.number_format : nullptr, 0, v);
}

// The name of the range of a subscript element; "*" when the name is no
// subscript element.
std::string range_name_of(const std::string& element) {
    const symbol_id e = find_symbol(element.c_str());
    if (!valid_symbol(e) || sym(e)->type != st_element || !valid_symbol(sym(e)->subref)) return "*";
    return varformat(sym(e)->subref, 0);
}

} // namespace

std::string subscript_label(const run_name& parsed) {
    if (parsed.subs.empty()) return parsed.name;
    std::string out = parsed.name + "[";
    for (std::size_t i = 0; i < parsed.subs.size(); ++i) {
        if (i) out += ",";
        out += parsed.subs[i];
    }
    return out + "]";
}

std::vector<array_row> array_output_layout(const std::vector<run_name>& parsed) {
    std::vector<array_row> rows;
    const int n = static_cast<int>(parsed.size());
    int prev_outer = -1;
    const array_row* prev = nullptr;
    std::vector<std::string> prev_columns;
    for (int k = 0; k < n;) {
        const run_name& a = parsed[static_cast<std::size_t>(k)];
        const std::size_t dims = a.subs.size();
        int varying = -1;
        if (dims > 0 && k + 1 < n && parsed[static_cast<std::size_t>(k) + 1].subs.size() == dims) {
            const run_name& b = parsed[static_cast<std::size_t>(k) + 1];
            for (std::size_t p = 0; p < dims && varying < 0; ++p)
                if (a.subs[p] != b.subs[p]) varying = static_cast<int>(p);
        }
        if (varying < 0) {
            array_row alone;
            alone.elements = {k};
            rows.push_back(alone);
            prev = nullptr; // the next row starts anew
            ++k;
            continue;
        }
        // The row: k and the followers that agree before the varying position.
        auto agree = [&](const run_name& b) {
            if (b.subs.size() != dims) return false;
            for (int p = 0; p < varying; ++p)
                if (b.subs[static_cast<std::size_t>(p)] != a.subs[static_cast<std::size_t>(p)])
                    return false;
            return true;
        };
        array_row row;
        row.varying = varying;
        int j = k;
        while (j < n && agree(parsed[static_cast<std::size_t>(j)])) row.elements.push_back(j++);
        bool new_block = false;
        int outer = prev_outer;
        if (j < n && parsed[static_cast<std::size_t>(j)].subs.size() == dims) {
            const run_name& b = parsed[static_cast<std::size_t>(j)];
            for (int p = 0; p < varying; ++p)
                if (b.subs[static_cast<std::size_t>(p)] != a.subs[static_cast<std::size_t>(p)]) {
                    outer = p;
                    break;
                }
            if (prev_outer >= 0 && outer < prev_outer) {
                outer = prev_outer;
                new_block = true;
            }
        }
        row.outer = outer;
        std::vector<std::string> columns;
        for (int e : row.elements)
            columns.push_back(
                parsed[static_cast<std::size_t>(e)].subs[static_cast<std::size_t>(varying)]);
        row.header = !prev || new_block || prev->elements.size() != row.elements.size() ||
                     prev->varying != varying || prev->outer != outer ||
                     parsed[static_cast<std::size_t>(prev->elements.front())].subs.size() != dims ||
                     prev_columns != columns;
        prev_outer = outer;
        prev_columns = std::move(columns);
        rows.push_back(std::move(row));
        prev = &rows.back();
        k = j;
    }
    return rows;
}

table_tool_options table_defaults() {
    table_tool_options o{};
    o.related = 255;
    o.eq_switch[0] = o.eq_switch[1] = 1;
    o.as_displayed = 1;
    for (int i = 0; i < 6; ++i) o.show[i] = 1;
    o.font.colour = 0xFFFFFFFFu;
    o.font.size = 10;
    o.first_column_width = 30;
    o.column_width = 14;
    o.max_lag = 40.0f;
    return o;
}

std::string element_row_label(const std::string& element) {
    const std::size_t b = element.find('[');
    return b == std::string::npos ? element : element.substr(b);
}

std::vector<table_entry> table_entries(symbol_id var, const table_tool_options& o) {
    std::vector<table_entry> out;
    const std::vector<std::string> own = element_names(var);
    if (own.empty()) return out;
    for (int i = 0; i < 8; ++i) tree_kind_flags[i] = o.show[i];
    tree_kind_flags[8] = o.ninth_show;
    auto entries_of = [&](tree_node* list) {
        for (tree_node* n = list; n; n = n->next)
            out.push_back({n->symbol, {element_name(n->symbol, n->element)}});
    };
    if (o.related == 0) {
        for (const std::string& e : own) out.push_back({var, {e}});
        // The equation writer collects the elements each equation names.
        doc_push();
        text_report(512, 0, 0, report_collect, 0, 0);
        clear_cause_element_list();
        for (const std::string& e : own)
            print_var_equation(e.c_str(), o.eq_switch[0], o.eq_switch[1]);
        tree_node* causes = cause_element_list();
        tree_node* exclude = nullptr;
        for (std::uint32_t el : selected_element_offsets(var, 0)) {
            tree_node* n = new_tree_node(var, el);
            n->next = exclude;
            exclude = n;
        }
        causes = filter_tree_list(sort_tree_list(causes, exclude));
        entries_of(causes);
        clear_cause_element_list();
        doc_pop();
        return out;
    }
    if (o.related == 1) {
        out.push_back({var, own});
        clear_var_flag(0x14);
        tree_node* root = new_tree_node(var);
        uses_tree(root, 1);
        tree_node* uses = filter_tree_list(sort_tree_list(root->child, nullptr));
        for (tree_node* n = uses; n; n = n->next) {
            if (!n->symbol) continue;
            std::vector<std::string> names = element_names(n->symbol);
            if (!names.empty()) out.push_back({n->symbol, std::move(names)});
        }
        return out;
    }
    out.push_back({var, own});
    return out;
}

int table_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    static const table_tool_options defaults = table_defaults();
    static const grid_tool_kind kind{&defaults, sizeof defaults, table_fields, table_tool_run,
                                     [](const void* o) -> std::uint32_t {
                                         return static_cast<const table_tool_options*>(o)->layout
                                                    ? 0x2D0070
                                                    : 0x2D0030;
                                     }};
    return grid_tool_setup(kind, mode, tool, out, text);
}

namespace {

// The state of one table run.
struct table_run {
    table_tool_options o;
    handle rec = 0;
    int runs = 0;
    grid_tool_runs selected;
    std::string axis_name = "Time";
    const grid_kept_axis* axis = nullptr;
    double dt = 1;
    int elements = 0, total_elements = 0;
    bool asked = false;

    // Counts an element; false when the user chose to stop here.
    bool count_element() {
        if (++elements == elements_before_question && !asked) {
            asked = true;
            if (!ask_yes_no("Current subscript selection would require the display of %d "
                            "elements.  Do you want to continue (answer no to truncate at %d).",
                            total_elements, elements_before_question))
                return false;
        }
        return true;
    }

    void add_single(const std::string& label, const std::string& value, int run) {
        doc_flush();
        spread_add_row(rec, (label + "\t" + value).c_str(), nullptr, nullptr, nullptr, 0, false,
                       nullptr, 0, run_colour_mark(run));
    }

    void add_values(const std::string& label, const std::vector<float>& v, int run) {
        doc_flush();
        spread_add_row(rec, label.c_str(), nullptr, v.data(), nullptr, static_cast<int>(v.size()),
                       o.as_displayed != 0, o.number_format, 0, run_colour_mark(run));
    }

    // The array output of one variable's element names at a time.
    void array_output(const std::vector<std::string>& names, float at) {
        std::vector<run_name> parsed;
        std::vector<std::string> full;
        for (const std::string& n : names) {
            run_name p;
            if (!parse_run_name(n.c_str(), p)) continue;
            parsed.push_back(p);
            full.push_back(subscript_label(p));
        }
        const std::vector<array_row> rows = array_output_layout(parsed);
        for (const array_row& row : rows) {
            const run_name& first = parsed[static_cast<std::size_t>(row.elements.front())];
            if (row.varying < 0) {
                const std::string& name = full[static_cast<std::size_t>(row.elements.front())];
                for (int i = 0; i < runs; ++i) {
                    float v = NA;
                    const int got =
                        run_value_at_time(name.c_str(), "Time",
                                          selected.index[static_cast<std::size_t>(i)], &v, &at, 1);
                    add_single(i == 0 ? name : "", got ? value_text(v, o) : "--", i);
                }
                continue;
            }
            if (row.header) {
                std::string label = first.name + "[";
                for (std::size_t p = 0; p < first.subs.size(); ++p) {
                    if (p) label += ",";
                    const bool ranged =
                        static_cast<int>(p) == row.varying || static_cast<int>(p) == row.outer;
                    label += ranged ? range_name_of(first.subs[p]) : first.subs[p];
                }
                label += "]";
                std::vector<const char*> texts;
                for (int e : row.elements)
                    texts.push_back(parsed[static_cast<std::size_t>(e)]
                                        .subs[static_cast<std::size_t>(row.varying)]
                                        .c_str());
                doc_flush();
                spread_add_row(rec, label.c_str(), texts.data(), nullptr, nullptr,
                               static_cast<int>(texts.size()), false, nullptr, 0, 0);
            }
            for (int i = 0; i < runs; ++i) {
                std::vector<float> values;
                for (int e : row.elements) {
                    float v = NA;
                    if (!live_value_at_time(full[static_cast<std::size_t>(e)].c_str(), "Time",
                                            selected.index[static_cast<std::size_t>(i)], &v, &at,
                                            1))
                        v = NA;
                    values.push_back(v);
                }
                const std::string label =
                    i == 0 && row.outer >= 0 ? first.subs[static_cast<std::size_t>(row.outer)] : "";
                add_values(label, values, i);
            }
        }
    }

    void element_rows(const std::string& element, const std::string& label, symbol_id var) {
        for (int i = 0; i < runs; ++i) {
            std::string l = i == 0 ? label : "";
            if (i > 0 && !o.layout) l = " : " + selected.names[static_cast<std::size_t>(i)];
            // Laid out time down, each run's column is headed by the element
            // and its run.
            if (o.layout && runs > 1)
                l = label + " : " + selected.names[static_cast<std::size_t>(i)];
            const int run = selected.index[static_cast<std::size_t>(i)];
            if (valid_symbol(var) && sym(var)->type == st_lookup) {
                doc_flush();
                spread_add_row(rec, l.c_str(), nullptr, nullptr, nullptr, 0, false, nullptr, 0,
                               run_colour_mark(i));
                std::vector<float> x, y;
                if (read_run_lookup(element.c_str(), run, x, y) > 0) {
                    add_values("x...", x, i);
                    add_values("y...", y, i);
                }
                continue;
            }
            std::vector<float> values, times;
            const int n = live_run_values(element.c_str(), axis_name.c_str(), run, values, times);
            if (n <= 0) {
                char* s = run_string_value(element.c_str(), run);
                add_single(l, s && *s ? s : "--", i);
                continue;
            }
            if (n == 1) {
                add_single(l, value_text(values[0], o), i);
                continue;
            }
            if (o.spectral) {
                const spectral_columns c = table_spectral_columns(
                    o.spectral, times.data(), values.data(), n, static_cast<double>(o.max_lag), dt);
                doc_flush();
                spread_add_row(rec, l.c_str(), nullptr, nullptr, nullptr, 0, false, nullptr, 0,
                               run_colour_mark(i));
                add_values(c.x_heading, c.x, i);
                add_values(c.y_heading, c.y, i);
                continue;
            }
            std::vector<float> out(axis->times.size());
            resample(values.data(), times.data(), n, axis->times.data(),
                     static_cast<int>(axis->times.size()), out.data(), axis->tolerance);
            add_values(l, out, i);
        }
    }
};

// Chooses the time axis over the times of every selected run (a run that
// ends later or saves more often than the first adds its times) and gives
// the grid its header row; false after the message when the first run lacks
// the axis. Each run's step is the larger of the option's interval and its
// own saving interval.
bool make_axis(table_run& t, grid_kept_axis& axis, float option_interval) {
    std::vector<axis_source> sources;
    for (std::size_t i = 0; i < t.selected.index.size(); ++i) {
        std::vector<float> saved, times;
        const int n =
            read_run_values(t.axis_name.c_str(), "Time", t.selected.index[i], saved, times);
        if (n <= 0) {
            if (i == 0) {
                report(8, "Selected time axis %s \nnot valid for primary run", t.axis_name.c_str());
                return false;
            }
            continue; // its rows show "--"
        }
        saved.resize(static_cast<std::size_t>(n));
        const float step =
            i < static_cast<std::size_t>(model_rec->run_count) ? model_rec->runs[i].step : 0.0f;
        sources.push_back({std::move(saved), std::max(option_interval, step)});
    }
    const union_axis a =
        union_axis_times(sources, model_rec->full_start, model_rec->full_end, model_rec->special);
    axis.times = a.times;
    axis.name = t.axis_name;
    axis.tolerance = a.tolerance;
    axis.set = true;
    // The axis variable's name and units ("Time (Month)").
    const symbol_id base = grid_tool_time_axis();
    const std::string label =
        base && valid_symbol(base) ? name_units_label(nullptr, base, 0) : t.axis_name;
    doc_flush();
    spread_add_row(t.rec, label.c_str(), nullptr, axis.times.data(), nullptr,
                   static_cast<int>(axis.times.size()), t.o.as_displayed != 0, t.o.number_format, 0,
                   0);
    return true;
}

} // namespace

void table_tool_run(handle tool) {
    const symbol_id var = workbench_var.var;
    table_run t;
    t.o = options_of(tool);
    t.runs = loaded_run_names(0);
    if (t.runs <= 0 || !model_rec) return;
    if (!var && !t.o.changing_levels) {
        grid_tool_no_variable("Table");
        return;
    }
    t.selected = grid_tool_selected_runs(t.runs);
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok()) return;

    std::vector<table_entry> entries;
    if (t.o.changing_levels) {
        std::vector<changing_level> levels;
        if (!changing_levels(t.selected.index[0], levels, t.o.relative_threshold,
                             t.o.absolute_threshold))
            return;
        for (const changing_level& l : levels) entries.push_back({l.id, {l.name}});
    } else {
        entries = table_entries(var, t.o);
    }
    if (entries.empty()) return;
    for (const table_entry& e : entries) t.total_elements += static_cast<int>(e.elements.size());

    t.dt = model_rec->runs[0].step > 0 ? model_rec->runs[0].step : 1.0;
    if (!grid_tool_main_run_present(t.selected)) return;

    // Laid out time down, a column is wide enough for its heading (the
    // element and its run) up to 40 characters, so the heading can be read.
    int column_width = t.o.column_width;
    if (t.o.layout && t.runs > 1) {
        std::size_t widest = 0;
        for (const std::string& run : t.selected.names) widest = std::max(widest, run.size());
        std::size_t label = 0;
        for (const table_entry& e : entries)
            for (const std::string& el : e.elements) label = std::max(label, el.size());
        column_width = std::max<int>(
            column_width, static_cast<int>(std::min<std::size_t>(label + widest + 4, 40)));
    }
    output_oneshots_guard oneshots;
    bool opened = false;
    t.rec = grid_tool_window(tool, &t.o.font, t.o.first_column_width, column_width, t.o.layout,
                             &opened);
    if (!t.rec) return;
    grid_kept_axis* kept = spread_kept_axis(t.rec);
    if (!kept) return;
    grid_tool_report report_to(t.rec);

    const symbol_id base = time_basis_symbol();
    t.axis_name = base ? varformat(base, 0) : "Time";
    const bool had_axis = kept->set;
    if (t.o.array_output)
        docprintf(had_axis ? "Note that time labels do not apply in 2d subscript mode\n"
                           : "Array output format\n");
    else if (!had_axis && !make_axis(t, *kept, t.o.interval))
        return;
    t.axis = kept;

    if (t.o.changing_levels)
        docprintf("Changing levels for error threshold Rel:%s Abs:%s ",
                  format_number_fmt(nullptr, 0, t.o.relative_threshold),
                  format_number_fmt(nullptr, 0, t.o.absolute_threshold));
    else
        grid_tool_print_variable(t.o.related, " ");
    const float at = t.o.time_choice == 1   ? model_rec->runs[0].first
                     : t.o.time_choice == 2 ? model_rec->runs[0].last
                     : t.o.time_choice == 3 ? t.o.fixed_time
                                            : static_cast<float>(model_rec->special);
    if (t.o.array_output) docprintf("at time %s ", format_number_fmt(nullptr, 0, at));
    grid_tool_print_runs(t.selected, !t.o.layout);

    if (t.o.array_output) {
        // Each variable's consecutive entries are written together.
        for (std::size_t k = 0; k < entries.size();) {
            std::vector<std::string> names;
            std::size_t j = k;
            for (; j < entries.size() && entries[j].var == entries[k].var; ++j)
                names.insert(names.end(), entries[j].elements.begin(), entries[j].elements.end());
            t.array_output(names, at);
            k = j;
        }
        doc_flush();
        activate_record_window(t.rec);
        return;
    }

    symbol_id previous = 0;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const table_entry& e = entries[k];
        const bool next_same = k + 1 < entries.size() && entries[k + 1].var == e.var;
        const bool grouped = e.elements.size() > 1 || next_same || (e.var == previous);
        if (e.var != previous && grouped) docprintf("%s\n", varformat(e.var, 0));
        for (const std::string& el : e.elements) {
            if (!t.count_element()) return;
            t.element_rows(el, grouped ? element_row_label(el) : el, e.var);
        }
        previous = e.var;
    }
    doc_flush();
    activate_record_window(t.rec);
}

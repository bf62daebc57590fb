// The Gantt tool: see gantt.h.
#include "graphs/gantt.h"

#include "draw/boxname.h"
#include "draw/drawing.h"
#include "draw/prims.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "graphs/graphstore.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/units.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/select.h"
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

constexpr int option_size = static_cast<int>(sizeof(gantt_options));

#define GO(field) static_cast<std::int32_t>(offsetof(gantt_options, field))
const toptset_field gantt_fields[] = {
    {GO(threshold), tf_float},
    {GO(sort_order), tf_int},
    {GO(all_bars), tf_byte},
    {GO(font), tf_font},
    {-1, 0},
};
#undef GO

std::uint16_t position(double t, double start, double end) {
    if (t <= start) return 0;
    if (t >= end) return 10000;
    return static_cast<std::uint16_t>((t - start) * 10000.0 / (end - start));
}

} // namespace

std::vector<gantt_bar> find_gantt_bars(const std::vector<float>& times,
                                       const std::vector<float>& values, double start, double end,
                                       float threshold, bool all_bars) {
    std::vector<gantt_bar> bars;
    if (!(end > start)) return bars;
    const std::size_t n = std::min(times.size(), values.size());
    std::size_t i = 0;
    while (i < n && times[i] < start) ++i;
    if (i > 0) --i;
    auto above = [&](std::size_t k) { return !is_na(values[k]) && values[k] > threshold; };
    while (i < n) {
        while (i < n && !above(i)) ++i;
        if (i >= n) break;
        const double on = times[i];
        if (on > end) break;
        while (i < n && above(i)) ++i;
        const double off = i < n ? times[i] : times[n - 1];
        bars.emplace_back(position(on, start, end), position(off, start, end));
        if (off > end) break;
    }
    if (!all_bars && bars.size() > 1) {
        const gantt_bar whole{bars.front().first, bars.back().second};
        bars.assign(1, whole);
    }
    return bars;
}

void sort_gantt_rows(gantt_chart& c, int sort_order) {
    if (sort_order != gantt_by_end && sort_order != gantt_by_start) return;
    const std::size_t rows = std::min(c.row_names.size(), c.bars.size());
    std::vector<std::pair<int, std::size_t>> keys;
    for (std::size_t r = 0; r < rows; ++r) {
        int key = sort_order == gantt_by_start ? 10005 : 0;
        for (const auto& run : c.bars[r]) {
            if (run.empty()) continue;
            key = sort_order == gantt_by_start ? std::min<int>(key, run.front().first)
                                               : std::max<int>(key, run.back().second);
        }
        keys.emplace_back(key, r);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    std::vector<std::vector<std::vector<gantt_bar>>> bars;
    for (const auto& k : keys) {
        names.push_back(std::move(c.row_names[k.second]));
        bars.push_back(std::move(c.bars[k.second]));
    }
    c.row_names = std::move(names);
    c.bars = std::move(bars);
}

// ------------------------------------------------------------ the record ---

namespace {

struct gantt_entry {
    gantt_chart c;
    handle texts = 0;
    std::vector<std::int32_t> run_cells;
    std::int32_t x_name_cell = 0, x_title_cell = 0;
};

graphs::graph_store<gantt_entry>& store() {
    static graphs::graph_store<gantt_entry> all;
    return all;
}
handle last_record = 0;

gantt_entry* entry_of(const output_record* o) {
    return store().entry_of(o);
}

void release_gantt(handle record) {
    if (store().release(record) && last_record == record) last_record = 0;
}

int widest_of(const std::vector<std::string>& texts) {
    int w = 0;
    for (const std::string& t : texts) w = std::max(w, text_width(t.c_str()));
    return w;
}

// Designed and minimum heights in pixels with the chart's font selected.
void gantt_heights(const gantt_chart& c, int* designed, int* minimum) {
    const int lh = std::max(drawing.line_height, 1);
    const int runs = static_cast<int>(c.run_labels.size());
    const int rows = static_cast<int>(c.row_names.size());
    *designed = (runs + 6) * lh + rows * cm_to_device(1.2, 0);
    *minimum = (runs + rows + 6) * lh;
}

int layout_gantt(output_record* record) {
    gantt_entry* e = entry_of(record);
    if (!e) return 0;
    use_graph_font(e->c.font);
    const int cw = std::max(drawing.char_width, 1);
    const int label_w = std::max(6 * cw, widest_of(e->c.row_names)) + 2 * cw;
    int designed = 0, minimum = 0;
    gantt_heights(e->c, &designed, &minimum);
    const int want_w = label_w + cm_to_device(10, 1) + 3 * cw;
    int w = 0, h = 0;
    graph_output_size(want_w, std::max(designed, minimum), &w, &h);
    if (h < minimum) return 0;
    handle rec = cur_output;
    return open_graph_window(rec, e->c.window_title.c_str(), -1, -1, want_w,
                             std::max(designed, minimum));
}

void draw_gantt(output_record* record) {
    gantt_entry* e = entry_of(record);
    if (!e) return;
    const gantt_chart& c = e->c;
    int W = 0, H = 0;
    graph_output_size(576, 384, &W, &H);
    use_graph_font(c.font);
    const int lh = std::max(drawing.line_height, 1), cw = std::max(drawing.char_width, 1);
    const int runs = static_cast<int>(c.run_labels.size());
    const int rows = static_cast<int>(std::min(c.row_names.size(), c.bars.size()));
    // Legend: each run's name and a box in its colour.
    if (e->run_cells.size() != c.run_labels.size()) {
        e->run_cells.clear();
        for (const std::string& l : c.run_labels)
            e->run_cells.push_back(hblock_add_string(e->texts, l.c_str()));
    }
    const int name_w = widest_of(c.run_labels);
    int y = lh / 2;
    for (int r = 0; r < runs; ++r) {
        draw_text_hot(2 * cw, y, 'L', 'T', c.run_labels[static_cast<std::size_t>(r)].c_str(),
                      e->run_cells[static_cast<std::size_t>(r)], 0);
        const int bl = 2 * cw + name_w + 2 * cw, br = W - 2 * cw;
        if (br > bl) fill_box(r % 12, bl, y + lh / 4, br, y + lh - lh / 4);
        y += lh;
    }
    draw_text_aligned(2 * cw, y, 'L', 'T', c.var_text.c_str());
    y += lh + lh / 2;
    // The plot.
    const int left = widest_of(c.row_names) + 2 * cw, right = W - 2 * cw;
    const int top = y, bottom = H - 3 * lh;
    if (right - left < 4 || bottom - top < 4) return;
    fill_box(12, left, top, right, bottom);
    const int div = std::max(c.x_divisions, 1);
    const int pw = right - left;
    for (int i = 1; i < div; ++i)
        draw_line(0x00C0C0C0, 0, left + i * pw / div, top, left + i * pw / div, bottom);
    draw_frame(13, 1, left, top, right, bottom);
    for (int i = 0; i <= div; ++i) {
        const double v = c.start + i * (c.end - c.start) / div;
        char buf[64];
        if (std::fabs(v) >= 999.99)
            std::snprintf(buf, sizeof buf, "%4.0f", v);
        else
            std::snprintf(buf, sizeof buf, "%s", format_number(v, 0, nullptr));
        draw_text_aligned(left + i * pw / div, bottom + lh / 4, 'C', 'T', buf);
    }
    if (!e->x_title_cell) e->x_title_cell = hblock_add_string(e->texts, c.x_title.c_str());
    draw_text_hot((left + right) / 2, bottom + lh + lh / 2, 'C', 'T', c.x_title.c_str(),
                  e->x_title_cell, 0);
    // Rows: the pitch shrinks with the plot, the bars share each row's band.
    const double pitch = rows ? static_cast<double>(bottom - top) / rows : 0;
    const double band = pitch * 0.8 / 1.2;
    const double slot = runs ? band / runs : band;
    const double thick = runs ? std::max(band * (0.8 - (runs - 1) * 0.2) / 0.8 / runs, 2.0) : 0;
    for (int row = 0; row < rows; ++row) {
        const double row_top = top + row * pitch + (pitch - band) / 2;
        draw_text_aligned(left - cw, static_cast<int>(top + row * pitch + pitch / 2), 'R', 'C',
                          c.row_names[static_cast<std::size_t>(row)].c_str());
        const auto& per_run = c.bars[static_cast<std::size_t>(row)];
        for (int r = 0; r < runs && r < static_cast<int>(per_run.size()); ++r)
            for (const gantt_bar& b : per_run[static_cast<std::size_t>(r)]) {
                const int x0 = left + static_cast<int>(static_cast<long>(b.first) * pw / 10000);
                const int x1 = left + static_cast<int>(static_cast<long>(b.second) * pw / 10000);
                const int y0 = static_cast<int>(row_top + r * slot);
                fill_box(r % 12, x0, y0, std::max(x1, x0 + 1), y0 + static_cast<int>(thick));
            }
    }
    if (!e->x_name_cell) e->x_name_cell = hblock_add_string(e->texts, c.x_var_name.c_str());
    set_value_map(left, right, c.start, c.end, e->x_name_cell, false);
}

} // namespace

gantt_chart* gantt_chart_of(handle record) {
    auto* o = static_cast<output_record*>(lock_handle(record));
    gantt_entry* e = entry_of(o);
    if (o) unlock_handle(record);
    return e ? &e->c : nullptr;
}

handle last_gantt_record() {
    return last_record;
}

handle show_gantt_chart(gantt_chart c) {
    if (!(c.end > c.start)) {
        report(8, "Unable to complete the gantt chart");
        return 0;
    }
    auto e = std::make_unique<gantt_entry>();
    e->c = std::move(c);
    const graphs::record_callbacks cb{layout_gantt, draw_gantt, release_gantt, nullptr};
    return store().open(store().make(11, std::move(e), cb), "Unable to complete the gantt chart");
}

// --------------------------------------------------------------- the tool ---

int gantt_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    if (!tool) return option_size;
    if (tool_option_size(tool) < static_cast<std::uint32_t>(option_size)) return option_size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return option_size;
        auto* o = static_cast<gantt_options*>(tool_options(r));
        std::memset(o, 0, sizeof *o);
        o->font = graph_defaults().fonts[0];
        o->font.size = 12;
        o->font.style = 0;
        o->sort_order = gantt_in_order;
        r->action = tool_action_id(gantt_tool_run);
        r->icon = 0xf0010;
        unlock_tool(tool);
        if (text && read_line(0)) {
            r = lock_tool(tool);
            read_toptset(line_buf, tool_options(r), static_cast<std::uint32_t>(option_size),
                         gantt_fields);
            o = static_cast<gantt_options*>(tool_options(r));
            o->font = sane_font_spec(o->font);
            unlock_tool(tool);
        }
    } else if (mode == 1 && out) {
        tool_record* r = lock_tool(tool);
        if (!r) return option_size;
        write_toptset(out, tool_options(r), static_cast<std::uint32_t>(option_size), gantt_fields);
        unlock_tool(tool);
    }
    return option_size;
}

void gantt_tool_run(handle tool) {
    last_record = 0;
    output_oneshots_guard oneshots;
    const tool_run<gantt_options> run(tool);
    if (!run.ok()) return;
    const gantt_options& o = run.options;
    const char *prefix = "", *suffix = "";
    const char** names = nullptr;
    const int count = expand_subscripted_name(nullptr, &prefix, &suffix, &names);
    if (count <= 0 || !names) return;
    const int runs = loaded_run_names(0);
    if (runs <= 0 || !model_rec) return;
    gantt_chart c;
    c.font = sane_font_spec(o.font);
    const std::string pre = prefix ? prefix : "", suf = suffix ? suffix : "";
    c.var_text = pre + (names[count] ? names[count] : names[0]) + suf;
    c.window_title = c.var_text + " : " + tool_name(tool);
    std::vector<int> run_index;
    for (int k = 0; k < runs && k < max_selected_runs; ++k) {
        run_index.push_back(model_rec->runs[k].run);
        c.run_labels.emplace_back(selected_run_names[k] ? selected_run_names[k] : "");
    }
    c.x_divisions = graph_defaults().x_divisions;
    time_basis_label(model_rec->start, &c.start, 0, nullptr, 0);
    time_basis_label(model_rec->end, &c.end, 0, nullptr, 0);
    const symbol_id basis = time_basis_symbol();
    c.x_title = basis ? name_units_label(nullptr, basis, 0) : "Time";
    c.x_var_name = basis ? varformat(basis, 0) : "Time";
    if (!(c.end > c.start)) {
        // A time axis of no span has no place for a bar.
        report(8, "Unable to complete the gantt chart");
        return;
    }
    for (int i = 0; i < count; ++i) {
        c.row_names.emplace_back(names[i]);
        std::vector<std::vector<gantt_bar>> per_run;
        for (int run : run_index) {
            std::vector<float> values, times;
            if (run >= 0) read_run_values(names[i], c.x_var_name.c_str(), run, values, times);
            if (values.size() == 1) { // a single value holds over the whole axis
                values.push_back(values[0]);
                times.assign({static_cast<float>(c.start), static_cast<float>(c.end)});
            }
            per_run.push_back(
                find_gantt_bars(times, values, c.start, c.end, o.threshold, o.all_bars != 0));
        }
        c.bars.push_back(std::move(per_run));
    }
    sort_gantt_rows(c, o.sort_order);
    opening_tool = tool;
    last_record = show_gantt_chart(std::move(c));
}

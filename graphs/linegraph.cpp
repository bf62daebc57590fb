// The line graph: see linegraph.h.
#include "graphs/linegraph.h"

#include "foundation/memory.h"
#include "foundation/report.h"
#include "graphs/draw/boxname.h"
#include "graphs/draw/drawing.h"
#include "graphs/draw/prims.h"
#include "graphs/draw/printing.h"
#include "graphs/graphwin.h"
#include "model/constants.h"
#include "model/context.h"
#include "model/model.h"
#include "model/varnames.h"
#include "runs/core/access.h"
#include "runs/core/cache.h"
#include "runs/core/runfile.h"
#include "shell/settings_rows.h"
#include "tools/output.h"

#include <algorithm>
#include <cmath>
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

const graph_settings& graph_defaults() {
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

int choose_x_divisions(double x_min, double x_max, int default_count) {
    const double span = x_max - x_min;
    if (!(x_max > x_min) || span >= 10000 || !std::isfinite(span)) return default_count;
    double d = 1;
    while (span * d < 4.5) d *= 10;
    int n = static_cast<int>(std::trunc(span * d - 0.5)) + 1;
    if (n > 20) {
        int k = 2;
        while (n / k > 20) ++k;
        while (n % k) ++k;
        n /= k;
    }
    while (n < 4) n *= 2;
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

} // namespace

int gather_graph_series(line_graph& g, bool limit16) {
    // X range: a given range that is empty or reversed cannot be drawn; say
    // so once and take the range from the model's times instead.
    bool min_open = !is_set(g.x_min), max_open = !is_set(g.x_max);
    if (!min_open && !max_open && g.x_max <= g.x_min) {
        if (!g.bad_x_range_reported)
            report(8, "The x range %g to %g of the graph is empty; the data range is used", g.x_min,
                   g.x_max);
        g.bad_x_range_reported = true;
        min_open = max_open = true;
    }
    if (min_open) g.x_min = model_rec ? model_rec->start : 0;
    if (max_open) g.x_max = model_rec ? model_rec->end : 100;

    int with_data = 0;
    // Names are looked up only while the caller holds the model.
    const bool livesweep_on = cache_livesweep() && model_lock_flag >= 0;
    for (graph_series& s : g.series) {
        if (s.times.empty() && s.run >= 0) {
            double first = 0, last = 0;
            int n = read_run_values(s.name.c_str(), g.x_var_name.c_str(), s.run, s.values, s.times,
                                    &first, &last);
            if (n <= 0) {
                s.values.clear();
                s.times.clear();
            } else if (n == 1 && g.line_kind == 0 && std::isfinite(first) && std::isfinite(last) &&
                       last > first) {
                // A constant: a flat line over the run's saved times.
                const float v = s.values[0];
                s.times = {static_cast<float>(first), static_cast<float>(last)};
                s.values = {v, v};
            }
            s.values.resize(std::min(s.values.size(), s.times.size()));
            s.times.resize(s.values.size());
            // Livesweep redraws the series of the run the value cache shows
            // (the caller holds the model).
            std::int32_t slot = -1;
            const int type = livesweep_on && s.run == shown_run_index()
                                 ? find_var_name(s.name.c_str(), &slot)
                                 : 0;
            s.live_slot = type > 0 && type < st_lookup && slot >= 0 ? slot + 1 : 0;
        }
        if (!s.times.empty()) ++with_data;
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
            if (a.times != b.times) {
                report(8, "Inconsistent X axis for units %s\nDo not know how to stack",
                       g.units.c_str());
                return -1;
            }
            for (std::size_t i = 0; i < b.values.size(); ++i) b.values[i] += a.values[i];
        }
    }

    // Y range: one chosen by a drag on a graph's y axis wins once.
    double drag_top = 0, drag_bottom = 0;
    if (take_pending_y_range(&drag_top, &drag_bottom) && drag_top > drag_bottom) {
        g.y_min = drag_bottom;
        g.y_max = drag_top;
    }
    // Else from the points inside the x range.
    const bool ymin_open = !is_set(g.y_min), ymax_open = !is_set(g.y_max);
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const graph_series& s : g.series)
        for (std::size_t i = 0; i < s.values.size(); ++i) {
            if (!axis_value_ok(s.values[i]) || !axis_value_ok(s.times[i])) continue;
            if (s.times[i] < g.x_min || s.times[i] > g.x_max) continue;
            lo = std::min(lo, static_cast<double>(s.values[i]));
            hi = std::max(hi, static_cast<double>(s.values[i]));
        }
    if (lo > hi) lo = 0, hi = 100;
    if (ymin_open) g.y_min = lo;
    if (ymax_open) g.y_max = hi;
    if (g.y_min == g.y_max || (g.y_divisions > 0 && (ymin_open || ymax_open))) {
        double a = g.y_min, b = g.y_max;
        nice_axis_range(g.y_min, g.y_max, &a, &b);
        if (ymin_open || g.y_min == g.y_max) g.y_min = a;
        if (ymax_open || a == b) g.y_max = b;
        if (!(g.y_max > g.y_min)) g.y_max = g.y_min + 1;
    }

    round_x_range(g, min_open, max_open);
    if (g.x_divisions < 0)
        g.x_divisions = choose_x_divisions(g.x_min, g.x_max, graph_defaults().x_divisions);
    if (g.x_divisions < 1) g.x_divisions = 1;

    for (graph_series& s : g.series) {
        const int n = static_cast<int>(s.times.size());
        const int cap = 2 * n + 2;
        s.xs.assign(static_cast<std::size_t>(cap), 0);
        s.ys.assign(static_cast<std::size_t>(cap), 0);
        int m = n ? map_xy_series(s.times.data(), s.values.data(), n, g.x_min, g.x_max, g.y_min,
                                  g.y_max, s.xs.data(), s.ys.data(), g.line_kind > 0 ? 1 : 0, cap,
                                  nullptr)
                  : 0;
        s.xs.resize(static_cast<std::size_t>(std::max(m, 0)));
        s.ys.resize(s.xs.size());
    }

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
    for (int i = 0; i < count; ++i) {
        graph_series& s = g->series[static_cast<std::size_t>(i)];
        if (!s.live_slot) continue;
        const float *t = nullptr, *v = nullptr;
        const char* xname = g->x_var_name == "Time" ? nullptr : g->x_var_name.c_str();
        int n = cached_series(s.live_slot - 1, &t, &v, run_slot, xname);
        if (n <= 0 || !t || !v) n = 0;
        s.times.assign(t, t + n);
        s.values.assign(v, v + n);
        if (g->graph_mode == 2) {
            // Stacked: what is drawn is the running sum, as short as the
            // shortest series so far.
            if (!any) sum.assign(s.values.size(), 0.0f);
            sum.resize(std::min(sum.size(), s.values.size()));
            for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += s.values[k];
            s.values.assign(sum.begin(), sum.end());
            s.times.resize(s.values.size());
        }
        any = true;
        const int m = static_cast<int>(s.times.size());
        const int cap = 2 * m + 2;
        s.xs.assign(static_cast<std::size_t>(cap), 0);
        s.ys.assign(static_cast<std::size_t>(cap), 0);
        const int got = m ? map_xy_series(s.times.data(), s.values.data(), m, g->x_min, g->x_max,
                                          g->y_min, g->y_max, s.xs.data(), s.ys.data(),
                                          g->line_kind > 0 ? 1 : 0, cap, nullptr)
                          : 0;
        s.xs.resize(static_cast<std::size_t>(std::max(got, 0)));
        s.ys.resize(s.xs.size());
    }
    if (!any) return;
    auto* o = static_cast<output_record*>(lock_handle(record));
    HWND window = o ? o->window : nullptr;
    if (o) unlock_handle(record);
    if (window) InvalidateRect(window, nullptr, TRUE);
}

void livesweep_graphs(int phase) {
    // A copy: a callback may close a window and change the list.
    const std::vector<handle> records = open_windows;
    for (handle record : records) {
        auto* o = static_cast<output_record*>(lock_handle(record));
        if (!o) continue;
        HWND window = o->live_update ? o->window : nullptr;
        line_graph* g = graph_of_record(o);
        unlock_handle(record);
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
    return !(g.hide_empty && g.series[static_cast<std::size_t>(i)].xs.empty());
}

} // namespace

void draw_line_graph(line_graph& g, int full) {
    int W = 0, H = 0;
    // Without a designed size: 6 x 4 inches on a 96-pixel screen.
    graph_output_size(g.design_width ? g.design_width : 576,
                      g.design_height ? g.design_height : 384, &W, &H);
    const int count = std::min(g.series_count, static_cast<int>(g.series.size()));
    // Title.
    use_font(g.fonts[3]);
    int top;
    if (!(g.hide_flags & 2)) {
        if (full) {
            if (!g.caption_cell) g.caption_cell = graph_text(g, g.caption.c_str());
            draw_text_hot(W / 2, drawing.line_height, 'C', 'B', g.caption.c_str(), g.caption_cell,
                          3);
        }
        top = 2 * drawing.line_height;
    } else {
        top = drawing.line_height / 2;
    }
    // Axis font and the bottom.
    use_font(g.fonts[4]);
    const int axis_lh = std::max(drawing.line_height, 1);
    const int axis_cw = std::max(drawing.char_width, 1);
    int bottom = (g.hide_flags & 4) ? H - axis_lh : H - 3 * axis_lh;
    // Legend font.
    int n = 0;
    for (int i = 0; i < count; ++i)
        if (shown(g, i)) ++n;
    n = std::min(n, count - std::min(g.skipped_count, count));
    int legend_font = 0, legend_lh = axis_lh;
    if (!(g.hide_flags & 1)) {
        legend_font = 2;
        for (int f : {n > 6 ? 1 : 0, 1}) {
            use_font(g.fonts[f]);
            bool fits = (n + 1) * 3 * drawing.line_height <= bottom - top;
            for (int i = 0; fits && i < count; ++i)
                if (text_width(g.series[static_cast<std::size_t>(i)].label.c_str()) > W / 2)
                    fits = false;
            if (fits) {
                legend_font = f;
                break;
            }
        }
        use_font(g.fonts[legend_font]);
        legend_lh = std::max(drawing.line_height, 1);
        bottom -= (n + 1) * legend_lh;
        use_font(g.fonts[4]);
    }
    // Labels.
    const double xstep = (g.x_max - g.x_min) / g.x_divisions;
    std::vector<std::string> xl;
    int widest_x = 1;
    for (int i = 0; i <= g.x_divisions; ++i) {
        if (static_cast<std::size_t>(i) < g.x_labels.size())
            xl.push_back(g.x_labels[static_cast<std::size_t>(i)]);
        else
            xl.emplace_back(format_to_step(g.x_min + i * xstep, xstep));
        widest_x = std::max(widest_x, text_width(xl.back().c_str()));
    }
    const int ydiv = std::max(g.y_divisions, 1);
    std::vector<std::string> yl;
    int widest_y = 0;
    for (int i = 0; i <= ydiv; ++i) {
        double v = g.y_max - i * (g.y_max - g.y_min) / ydiv;
        yl.emplace_back(format_number(v, 0, nullptr));
        widest_y = std::max(widest_y, text_width(yl.back().c_str()));
    }
    // The plot.
    const int left = 2 * axis_cw + widest_y;
    const int right = (g.labels_between ? W : W - widest_x / 2) - axis_cw;
    const bool has_height = top < bottom, has_width = left < right;
    const int pw = right - left, ph = bottom - top;
    if (has_height && has_width) {
        if (full) fill_box(12, left, top, right, bottom);
        // Grid and y labels.
        const std::uint32_t grid = 0x00C0C0C0;
        int k = 1;
        if (ydiv > 1)
            while (k < ydiv && k * ph / (ydiv + 1) < 2 * axis_lh) {
                ++k;
                while (ydiv % k) ++k;
            }
        for (int i = 1; i < ydiv; ++i) {
            const int y = top + i * ph / ydiv;
            draw_line(grid, 0, left, y, right, y);
        }
        for (int i = 0; i <= ydiv; i += k)
            draw_text_aligned(left - axis_cw, top + i * ph / ydiv, 'R', 'C',
                              yl[static_cast<std::size_t>(i)].c_str());
        for (int i = 1; i < g.x_divisions; ++i) {
            const int x = left + static_cast<int>(static_cast<long>(i) * pw / g.x_divisions);
            draw_line(grid, 0, x, top, x, bottom);
        }
        if (full) draw_frame(13, 2, left, top, right, bottom);
        // Series, the first on top; the y scale for reading values off.
        set_value_map(top, bottom, g.y_min, g.y_max, 0, true);
        for (int i = count - 1; i >= 0; --i) {
            const graph_series& s = g.series[static_cast<std::size_t>(i)];
            if (s.xs.empty()) continue;
            const int n_pts = static_cast<int>(s.xs.size());
            if (g.line_kind > 0)
                draw_point_markers(nullptr, i, 1, 0, left, top, right, bottom, s.xs.data(),
                                   s.ys.data(), n_pts, false);
            else
                draw_curve(nullptr, i, 1, left, top, right, bottom, s.xs.data(), s.ys.data(), n_pts,
                           0, false, true);
        }
    }
    if (!full) return;
    // X numbers and title.
    if (has_height && has_width) {
        int k = 1;
        // Numbers need a character's gap between them, or they run together.
        const long need = static_cast<long>(g.x_divisions) * (widest_x + axis_cw);
        while (need > static_cast<long>(k) * pw && k < g.x_divisions) ++k;
        const int labels = g.labels_between ? g.x_divisions : g.x_divisions + 1;
        for (int i = 0; i < labels; i += k) {
            const int x =
                left + static_cast<int>(
                           (static_cast<long>(g.labels_between + 2 * i) * pw / g.x_divisions) / 2);
            draw_text_aligned(x, bottom + axis_lh / 4, 'C', 'T',
                              xl[static_cast<std::size_t>(i)].c_str());
        }
        if (!g.x_name_cell) g.x_name_cell = graph_text(g, g.x_var_name.c_str());
        set_value_map(left, right, g.x_min, g.x_max, g.x_name_cell, false);
        if (!(g.hide_flags & 4)) {
            if (!g.x_title_cell) g.x_title_cell = graph_text(g, g.x_title.c_str());
            draw_text_hot((left + right) / 2, bottom + axis_lh + axis_lh / 4, 'C', 'T',
                          g.x_title.c_str(), g.x_title_cell, 4);
        }
    }
    // Legend.
    if (!(g.hide_flags & 1)) {
        use_font(g.fonts[legend_font]);
        int y = H - (n + 1) * legend_lh + legend_lh / 2;
        const int cw = std::max(drawing.char_width, 1);
        for (int i = 0; i < count; ++i) {
            graph_series& s = g.series[static_cast<std::size_t>(i)];
            if (!shown(g, i)) continue;
            if (!s.label_cell) s.label_cell = graph_text(g, s.label.c_str());
            RECT r = draw_text_hot(2 * cw, y, 'L', 'T', s.label.c_str(), s.label_cell, legend_font);
            const int sample_left = r.right + 2 * cw, sample_right = W - 2 * cw;
            if (sample_right - sample_left > 4 * cw) {
                const int ly = y + drawing.line_height / 2;
                if (g.line_kind > 0) {
                    std::int16_t xs[2] = {0, 10000}, ys[2] = {5000, 5000};
                    draw_point_markers(nullptr, i, 1, 0, sample_left, ly, sample_right, ly, xs, ys,
                                       2, false);
                } else {
                    draw_legend_line(nullptr, i, 1, sample_left, ly, sample_right, ly);
                }
            }
            y += legend_lh;
        }
    }
}

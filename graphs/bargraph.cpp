// The Bar Graph tool: see bargraph.h.
#include "graphs/bargraph.h"

#include "draw/boxname.h"
#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "graphs/category.h"
#include "graphs/graphstore.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/select.h"
#include "runs/sens.h"
#include "shell/controlpanel.h"
#include "shell/settings_rows.h"
#include "shell/toolset.h"
#include "tools/output.h"
#include "tools/toolrun.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace {

constexpr int option_size = static_cast<int>(sizeof(bar_options));
constexpr double min_span = 0.00001;

#define BO(field) static_cast<std::int32_t>(offsetof(bar_options, field))
const toptset_field bar_option_fields[] = {
    {BO(at_time), tf_float},      {BO(time_choice), tf_byte},
    {BO(horizontal), tf_byte},    {BO(hist_kind), tf_byte},
    {BO(hide_outliers), tf_byte}, {BO(bin_count), tf_int},
    {BO(bin_min), tf_float},      {BO(bin_max), tf_float},
    {BO(font), tf_font},          {BO(small_font), tf_font},
    {BO(fraction), tf_byte},      {BO(freq_min), tf_float},
    {BO(freq_max), tf_float},     {BO(cumulative), tf_byte},
    {BO(sort_run), tf_byte},      {-1, 0},
};
#undef BO

bool set_low(double v) {
    return v < axis_unset && std::isfinite(v);
}
bool set_high(double v) {
    return v > -axis_unset && std::isfinite(v);
}
bool usable(float v) {
    return !is_na(v) && std::isfinite(v);
}

std::uint16_t share(double value, double low, double span) {
    if (!std::isfinite(value) || value <= low) return 0;
    const double h = (value - low) * 10000.0 / span;
    if (!(h < 10000.0)) return 10000;
    return static_cast<std::uint16_t>(h);
}

// The bin width brought to a round step: into 0.1..1 by powers of ten, then
// the next of 0.15, 0.2, 0.25, 0.4, 0.5, 0.75, 1.0 it exceeds, scaled back.
double round_bin_width(double w) {
    if (!(w > 0) || !std::isfinite(w)) return w;
    double scale = 1;
    int guard = 0;
    while (w * scale < 0.1 && guard++ < 400) scale *= 10;
    while (w * scale > 1 && guard++ < 400) scale *= 0.1;
    const double x = w * scale;
    double r = 0.15;
    if (x > 0.75)
        r = 1.0;
    else if (x > 0.5)
        r = 0.75;
    else if (x > 0.4)
        r = 0.5;
    else if (x > 0.25)
        r = 0.4;
    else if (x > 0.2)
        r = 0.25;
    else if (x > 0.15)
        r = 0.2;
    return r / scale;
}

} // namespace

namespace {

// Shares of the range per group and run, group-major.
std::vector<std::uint16_t> shares_of(const std::vector<std::vector<float>>& values, int runs,
                                     double lo, double span) {
    std::vector<std::uint16_t> out(values.size() * static_cast<std::size_t>(std::max(runs, 0)), 0);
    for (std::size_t i = 0; i < values.size(); ++i)
        for (int r = 0; r < runs; ++r) {
            const auto& group = values[i];
            const float v =
                r < static_cast<int>(group.size()) ? group[static_cast<std::size_t>(r)] : NA;
            out[i * static_cast<std::size_t>(runs) + static_cast<std::size_t>(r)] =
                usable(v) ? share(v, lo, span) : 0;
        }
    return out;
}

} // namespace

// A value axis the graph chose (an end open) steps by round numbers: see
// round_axis_steps. The open ends only move outward.
static void round_bar_axis(bar_graph& g, double& lo, double& hi, bool lo_open, bool hi_open) {
    if (scaling_opts.raw || g.divisions < 1 || (!lo_open && !hi_open)) return;
    const int n = g.divisions;
    round_scale r;
    if (!round_axis_steps(lo, hi, n, g.divisions_given ? n : std::max(2, (n + 1) / 2),
                          g.divisions_given ? n : std::max(2 * n, 2), lo_open, hi_open, &r))
        return;
    lo = r.lo;
    hi = r.hi;
    g.divisions = r.divisions;
}

void build_bar_heights(bar_graph& g, const std::vector<std::vector<float>>& values,
                       const std::vector<std::vector<float>>& side) {
    const bool low_given = set_low(g.low), high_given = set_high(g.high);
    double lo = g.low, hi = g.high;
    if (!low_given || !high_given) g.soft_bounds = 1;
    double dmin = axis_unset, dmax = -axis_unset;
    for (const auto* set : {&values, &side})
        for (const auto& group : *set)
            for (float v : group)
                if (usable(v)) {
                    dmin = std::min(dmin, static_cast<double>(v));
                    dmax = std::max(dmax, static_cast<double>(v));
                }
    if (!high_given || g.soft_bounds) hi = set_high(hi) ? std::max(hi, dmax) : dmax;
    if (!low_given || g.soft_bounds) lo = set_low(lo) ? std::min(lo, dmin) : dmin;
    if (g.soft_bounds && set_low(lo) && set_high(hi) &&
        (dmin < g.low || dmax > g.high || !low_given || !high_given)) {
        double a = lo, b = hi;
        nice_axis_range(lo, hi, &a, &b);
        if (set_low(a) && set_high(b)) lo = a, hi = b;
    }
    if (!set_low(lo) || !set_high(hi)) lo = 0, hi = 1; // no data at all
    if (hi - lo < 0) lo = hi = 0;
    if (hi > lo) round_bar_axis(g, lo, hi, !low_given || lo < g.low, !high_given || hi > g.high);
    g.low = lo;
    g.high = hi;
    double span = hi - lo;
    if (span <= min_span) span = 1;
    g.group_count = static_cast<int>(values.size());
    g.heights = shares_of(values, g.run_count, lo, span);
    g.side_group_count = static_cast<int>(side.size());
    g.side_heights = shares_of(side, g.run_count, lo, span);
    if (!side.empty()) g.horizontal = 1;
}

void build_time_bar_heights(bar_graph& g, const std::vector<std::vector<float>>& values) {
    bool any = false;
    for (const auto& group : values)
        for (float v : group) any = any || usable(v);
    if (!any) {
        if (!set_low(g.low)) g.low = 0;
        if (!set_high(g.high)) g.high = 100;
    }
    build_bar_heights(g, values);
}

namespace {

// The span of a histogram's bins: the given low and high, else the values'
// own range widened to whole bins of a round width centred on it.
void histogram_range(bar_graph& g, const std::vector<std::vector<float>>& runs, int bins) {
    const bool low_given = set_low(g.low), high_given = set_high(g.high);
    double lo = g.low, hi = g.high;
    double dmin = axis_unset, dmax = -axis_unset;
    for (const auto& run : runs)
        for (float v : run)
            if (usable(v)) {
                dmin = std::min(dmin, static_cast<double>(v));
                dmax = std::max(dmax, static_cast<double>(v));
            }
    if (!low_given) lo = set_low(dmin) ? dmin : 0;
    if (!high_given) hi = set_high(dmax) ? dmax : 0;
    if (hi < lo) {
        lo = 0;
        hi = 100;
    } else if (hi == lo) {
        const double v = lo;
        lo = v * 0.995 - 0.5;
        hi = v * 1.0050251256281406 + 1.0;
    }
    if (!low_given || !high_given) {
        const double w = round_bin_width((hi - lo) / bins);
        if (w > 0 && std::isfinite(w)) {
            const double c = std::trunc((lo + hi) / 2 / w + 0.5);
            const double nlo = c * w - (bins / 2) * w, nhi = c * w + ((bins + 1) / 2) * w;
            if (std::isfinite(nlo) && std::isfinite(nhi)) lo = nlo, hi = nhi;
        }
    }
    if (hi - lo < 0) lo = hi = 0;
    g.low = lo;
    g.high = hi;
}

// Each run's count of values in each slot: below the span (slot 0), in each
// bin (1 to bins), above it (the last); whether any fell below or above.
std::vector<std::vector<double>> histogram_counts(const bar_graph& g,
                                                  const std::vector<std::vector<float>>& runs,
                                                  int bins, bool& below, bool& above) {
    const double lo = g.low, hi = g.high;
    double span = hi - lo;
    if (span <= min_span) span = 1;
    const std::size_t slots = static_cast<std::size_t>(bins) + 2;
    std::vector<std::vector<double>> counts(static_cast<std::size_t>(g.run_count),
                                            std::vector<double>(slots, 0));
    below = above = false;
    for (std::size_t r = 0; r < runs.size(); ++r)
        for (float f : runs[r]) {
            if (!usable(f)) continue;
            const double v = f;
            std::size_t k;
            if (v < lo) {
                k = 0;
                below = true;
            } else if (v > hi) {
                k = slots - 1;
                above = true;
            } else {
                double b = (v - lo) / span * bins * 0.9999;
                k = 1 + static_cast<std::size_t>(std::clamp(b, 0.0, double(bins - 1)));
            }
            counts[r][k] += 1;
        }
    return counts;
}

// The slots shown as bars, with their labels: the outliers only when there
// are some and they are not hidden.
std::vector<std::size_t> histogram_bars_shown(bar_graph& g, int bins, bool below, bool above) {
    const double lo = g.low, hi = g.high;
    const std::size_t slots = static_cast<std::size_t>(bins) + 2;
    std::vector<std::size_t> shown;
    g.labels.clear();
    if (below && !g.hide_outliers) {
        shown.push_back(0);
        g.labels.push_back(std::string("<") + format_number_fmt(nullptr, 0, lo));
    }
    // An edge that should be 0 comes out of the sums as a rounding residue
    // (-5.55112e-17 for bins of 0.2 from -0.2): a millionth of a bin or less
    // from zero is zero.
    auto edge = [&](int j) {
        const double e = lo + j * (hi - lo) / bins;
        return std::fabs(e) <= 1e-6 * std::fabs((hi - lo) / bins) ? 0.0 : e;
    };
    for (int j = 0; j < bins; ++j) {
        shown.push_back(static_cast<std::size_t>(j) + 1);
        std::string a = format_number_fmt(nullptr, 0, edge(j));
        g.labels.push_back(a + "-" + format_number_fmt(nullptr, 0, edge(j + 1)));
    }
    if (above && !g.hide_outliers) {
        shown.push_back(slots - 1);
        g.labels.push_back(std::string(">") + format_number_fmt(nullptr, 0, hi));
    }
    return shown;
}

// The value axis of a histogram of shares: each run's share of its own total,
// runs with fewer values brought up to the largest total so one axis serves
// them all. The axis's ends; the largest total (0 when no run has a value).
double histogram_share_axis(const bar_graph& g, std::vector<std::vector<double>>& bars, double& flo,
                            double& fhi) {
    const std::size_t n = static_cast<std::size_t>(g.group_count);
    double T = 0, top_share = 0;
    std::vector<double> totals(bars.size(), 0);
    for (std::size_t r = 0; r < bars.size(); ++r) {
        double t = 0;
        if (g.cumulative)
            t = n ? bars[r][n - 1] : 0;
        else
            for (double c : bars[r]) t += c;
        totals[r] = t;
        T = std::max(T, t);
        if (t > 0)
            for (double c : bars[r]) top_share = std::max(top_share, c / t);
    }
    for (std::size_t r = 0; r < bars.size(); ++r)
        if (totals[r] > 0 && totals[r] < T)
            for (double& c : bars[r]) c = std::round(c * T / totals[r]);
    const bool given_lo = usable(g.freq_min), given_hi = usable(g.freq_max);
    if (T <= 0) {
        // No value in any run: nothing to show a share of.
        flo = 0;
        fhi = 1;
    } else if (given_lo && given_hi) {
        flo = g.freq_min;
        fhi = g.freq_max;
    } else {
        double a = given_lo ? g.freq_min : 0, b = top_share;
        if (b <= a) b = a + 1;
        nice_axis_range(a, b, &flo, &fhi);
        if (given_lo) flo = g.freq_min;
        if (given_hi) fhi = g.freq_max;
        if (g.cumulative && !given_hi) fhi = 1.0;
    }
    return T;
}

} // namespace

void build_histogram(bar_graph& g, const std::vector<std::vector<float>>& runs) {
    const int bins = std::clamp(g.bins, 2, max_histogram_bins);
    g.bins = bins;
    g.run_count = std::max(g.run_count, static_cast<int>(runs.size()));
    histogram_range(g, runs, bins);
    bool below = false, above = false;
    const std::vector<std::vector<double>> counts = histogram_counts(g, runs, bins, below, above);
    const std::vector<std::size_t> shown = histogram_bars_shown(g, bins, below, above);
    if (g.value_title.empty()) g.value_title = "Y values";
    const std::size_t n = shown.size();
    g.group_count = static_cast<int>(n);
    std::vector<std::vector<double>> bars(counts.size(), std::vector<double>(n, 0));
    for (std::size_t r = 0; r < counts.size(); ++r)
        for (std::size_t j = 0; j < n; ++j) bars[r][j] = counts[r][shown[j]];
    if (g.cumulative)
        for (auto& run : bars)
            for (std::size_t j = 1; j < n; ++j) run[j] += run[j - 1];

    double flo = 0, fhi = 1;
    double scale_total = 1; // the T of the fraction heights
    if (!g.fraction) {
        double most = 0;
        for (const auto& run : bars)
            for (double c : run) most = std::max(most, c);
        nice_axis_range(0, most > 0 ? most : 1, &flo, &fhi);
        // Whole counts: a division per count when there are few.
        const double whole = fhi - flo;
        if (whole == std::floor(whole) && whole >= 2 && whole <= 10)
            g.divisions = static_cast<int>(whole);
        else
            round_bar_axis(g, flo, fhi, false, true);
    } else {
        scale_total = histogram_share_axis(g, bars, flo, fhi);
    }
    if (!(fhi > flo)) fhi = flo + 1;
    g.low = flo;
    g.high = fhi;
    g.heights.assign(n * static_cast<std::size_t>(g.run_count), 0);
    g.counts.assign(n * static_cast<std::size_t>(g.run_count), 0);
    const double denom = (fhi - flo) * (g.fraction ? scale_total : 1.0);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t r = 0; r < bars.size(); ++r) {
            const std::size_t at = j * static_cast<std::size_t>(g.run_count) + r;
            g.counts[at] = bars[r][j];
            g.heights[at] =
                denom > 0 ? share(bars[r][j] - flo * (g.fraction ? scale_total : 1), 0, denom) : 0;
        }
}

void order_bars(std::vector<std::vector<float>>& values, std::vector<std::string>& labels,
                int sort_run, std::vector<std::uint32_t>* live_slots,
                std::vector<std::vector<float>>* side, std::vector<int>* order) {
    const int n = static_cast<int>(values.size());
    std::vector<int> idx(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) idx[static_cast<std::size_t>(i)] = i;
    if (order) *order = idx;
    if (sort_run == 0 || values.empty()) return;
    const int want = sort_run > 0 ? sort_run : -sort_run;
    auto key = [&](int g) {
        const auto& row = values[static_cast<std::size_t>(g)];
        if (row.empty()) return -HUGE_VAL;
        const std::size_t k = std::min(static_cast<std::size_t>(want - 1), row.size() - 1);
        const float v = row[k];
        return usable(v) ? static_cast<double>(v) : -HUGE_VAL;
    };
    // Shell sort with gaps n/2, n/4, ... 1, as the groups are few.
    for (int gap = n / 2; gap > 0; gap /= 2)
        for (int i = gap; i < n; ++i)
            for (int j = i - gap; j >= 0; j -= gap) {
                const double a = key(idx[static_cast<std::size_t>(j)]),
                             b = key(idx[static_cast<std::size_t>(j + gap)]);
                if (sort_run > 0 ? a <= b : a >= b) break;
                std::swap(idx[static_cast<std::size_t>(j)], idx[static_cast<std::size_t>(j + gap)]);
            }
    std::vector<std::vector<float>> v2;
    std::vector<std::string> l2;
    for (int i : idx) {
        v2.push_back(std::move(values[static_cast<std::size_t>(i)]));
        if (static_cast<std::size_t>(i) < labels.size())
            l2.push_back(std::move(labels[static_cast<std::size_t>(i)]));
    }
    // Live slots (group-major, a row of runs per group) follow their groups.
    if (live_slots && !live_slots->empty() &&
        live_slots->size() % static_cast<std::size_t>(n) == 0) {
        const std::size_t per = live_slots->size() / static_cast<std::size_t>(n);
        std::vector<std::uint32_t> s2;
        for (int i : idx)
            s2.insert(s2.end(), live_slots->begin() + static_cast<std::ptrdiff_t>(i * per),
                      live_slots->begin() + static_cast<std::ptrdiff_t>((i + 1) * per));
        *live_slots = std::move(s2);
    }
    if (order) *order = idx;
    if (side && side->size() == values.size()) {
        std::vector<std::vector<float>> s2;
        for (int i : idx) s2.push_back(std::move((*side)[static_cast<std::size_t>(i)]));
        *side = std::move(s2);
    }
    values = std::move(v2);
    if (l2.size() == values.size()) {
        for (std::size_t i = values.size(); i < labels.size(); ++i)
            l2.push_back(std::move(labels[i]));
        labels = std::move(l2);
    }
}

int decode_sort_byte(std::int8_t stored) {
    if (stored > 1) return stored - 1;
    if (stored < -1) return stored + 1;
    return 0;
}

// ------------------------------------------------------------ the record ---

namespace {

struct bar_entry {
    bar_graph g;
    handle texts = 0; // the hot spots' texts
    std::int32_t title_cell = 0, range_cell = 0;
    std::vector<std::int32_t> run_cells;
};

graphs::graph_store<bar_entry>& store() {
    static graphs::graph_store<bar_entry> all;
    return all;
}
handle last_record = 0;
// The line graph a bar graph that does not fit is shown as, made by its
// first layout and taken by show_bar_graph.
std::optional<category_graph_spec> pending_fallback;

bar_entry* entry_of(const output_record* o) {
    return store().entry_of(o);
}

void release_bar(handle record) {
    if (store().release(record) && last_record == record) last_record = 0;
}

// The line graph of a bar graph's data: a category per group (the value
// title after them names the x axis), a series per run.
category_graph_spec category_spec_of(const bar_graph& g) {
    category_graph_spec c;
    c.title = g.title;
    const std::size_t at = g.title.find(" @");
    c.variable = at == std::string::npos ? g.title : g.title.substr(0, at);
    c.categories.assign(g.labels.begin(),
                        g.labels.begin() +
                            std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(g.labels.size()),
                                                     std::max(g.group_count, 0)));
    c.categories.resize(static_cast<std::size_t>(std::max(g.group_count, 0)));
    c.categories.push_back(g.value_title.empty() ? c.variable : g.value_title);
    c.y_min = g.low;
    c.y_max = g.high;
    c.series = g.run_labels;
    c.series.resize(static_cast<std::size_t>(std::max(g.run_count, 0)));
    for (int r = 0; r < g.run_count; ++r) {
        std::vector<int> column;
        for (int i = 0; i < g.group_count; ++i) column.push_back(g.height(i, r));
        c.positions.push_back(std::move(column));
    }
    return c;
}

// The pixels the graph wants on the device with the font selected.
// The minimum height: a line per run and per group for horizontal bars
// (vertical bars have no minimum height).
void wanted_size(const bar_graph& g, int* w, int* h, int* min_w, int* min_h = nullptr) {
    const int lh = std::max(drawing.line_height, 1), cw = std::max(drawing.char_width, 1);
    int label_w = 0;
    for (int i = 0; i <= g.divisions; ++i)
        label_w = std::max(
            label_w, text_width(format_number(
                         g.low + i * (g.high - g.low) / std::max(g.divisions, 1), 0, nullptr)));
    label_w += 2 * cw;
    int widest = 0;
    for (const std::string& l : g.labels) widest = std::max(widest, text_width(l.c_str()));
    const int margin = (g.style & 4) ? cw : 2 * cw;
    const int per_group = cm_to_device(1.2, 1);
    const int groups = std::max({g.group_count, g.side_group_count, 1});
    const int title_w = (g.style & 2) ? 0 : text_width(g.title.c_str()) + 2 * margin;
    if (!g.horizontal) {
        *h = cm_to_device(15, 0);
        const int need = (groups / 3 + 1) * widest + margin + label_w;
        *w = std::max(groups * per_group + margin + label_w, need);
        *min_w = need;
    } else {
        *w = cm_to_device(g.side_group_count > 0 ? 22.5 : 15, 1);
        *h = std::max(groups * cm_to_device(1.2, 0) + (g.run_count + 5) * lh,
                      (g.run_count + groups + 5) * lh);
        *min_w = widest + label_w + margin;
    }
    if (min_h) *min_h = g.horizontal ? (g.run_count + groups + 5) * lh : 0;
    *w = std::max(*w, title_w);
}

int bar_layout(output_record* record) {
    bar_entry* e = entry_of(record);
    if (!e) return 0;
    bar_graph& g = e->g;
    int w = 0, h = 0, min_w = 0, min_h = 0;
    use_graph_font(g.font);
    wanted_size(g, &w, &h, &min_w, &min_h);
    g.font_choice = 0;
    const bool screen = !drawing.printing && !drawing.gtx_mode;
    const int cap_w = cm_to_device(g.horizontal ? 16.51 : 22.86, 1);
    const int cap_h = cm_to_device(g.horizontal ? 22.86 : 16.51, 0);
    if (screen && (min_w > cap_w || min_h > cap_h)) {
        use_graph_font(g.small_font);
        wanted_size(g, &w, &h, &min_w, &min_h);
        g.font_choice = 1;
        // Not even the small font fits: before the window exists, the same
        // data go to a line graph over the bar labels.
        if ((min_w > cap_w || min_h > cap_h) && !g.force_bars && !g.follows_run &&
            !record->window) {
            pending_fallback = category_spec_of(g);
            return 0;
        }
    }
    if (screen) {
        w = std::min(w, std::max(cap_w, min_w));
        h = std::min(h, cap_h);
    }
    handle rec = cur_output;
    return open_graph_window(rec, g.window_title.c_str(), -1, -1, w, h);
}

} // namespace

namespace {

// Where a bar graph's parts go: the output's size, the font's metrics, the
// plot (and a two-sided graph's second plot on the left), the value axis'
// tick texts and the room along the group axis.
struct bar_frame {
    int W = 0, H = 0;
    int lh = 1, cw = 1;
    int runs = 1, groups = 1;
    bool two_sided = false;
    int margin = 0;
    int div = 1;
    std::vector<std::string> ticks;
    int tick_w = 0, widest = 0;
    int left = 0, right = 0, top = 0, bottom = 0;
    int side_left = 0, side_right = 0;
};

// The title, the sets' axis labels and the legend (a box in each run's
// colour and its label) down from the top; returns the plot's top.
int draw_bar_heading(bar_entry* e, const bar_graph& g, const bar_frame& f) {
    const int lh = f.lh, cw = f.cw, margin = f.margin, W = f.W;
    int y = lh / 2;
    if (!(g.style & 2)) {
        if (!e->title_cell) e->title_cell = hblock_add_string(e->texts, g.title.c_str());
        draw_text_hot(W / 2, y, 'C', 'T', g.title.c_str(), e->title_cell, 0);
        y += lh + lh / 2;
    }
    if (f.two_sided && !(g.axis_label.empty() && g.side_label.empty())) {
        // Each set's label over its side.
        draw_text_aligned(margin, y, 'L', 'T', g.side_label.c_str());
        draw_text_aligned(W - margin, y, 'R', 'T', g.axis_label.c_str());
        y += lh;
    } else if (!g.axis_label.empty()) {
        draw_text_aligned(margin, y, 'L', 'T', g.axis_label.c_str());
        y += lh;
    }
    if (!(g.style & 1)) {
        if (e->run_cells.size() != g.run_labels.size()) {
            e->run_cells.clear();
            for (const std::string& l : g.run_labels)
                e->run_cells.push_back(hblock_add_string(e->texts, l.c_str()));
        }
        for (std::size_t r = 0; r < g.run_labels.size(); ++r) {
            fill_box(static_cast<int>(r % 12), margin, y + lh / 4, margin + 2 * cw,
                     y + lh - lh / 4);
            draw_text_hot(margin + 3 * cw, y, 'L', 'T', g.run_labels[r].c_str(), e->run_cells[r],
                          0);
            y += lh;
        }
    }
    return y + lh / 2;
}

// The tick texts of the value axis and the widest group label; then the
// plot's edges (a two-sided graph: the second set's plot on the left half,
// its bars growing leftwards from its right edge; the first set on the right
// half). False when a plot has no room.
bool place_bar_plot(const bar_graph& g, bar_frame& f) {
    f.div = std::max(g.divisions, 1);
    for (int i = 0; i <= f.div; ++i) {
        f.ticks.emplace_back(format_number(g.low + i * (g.high - g.low) / f.div, 0, nullptr));
        f.tick_w = std::max(f.tick_w, text_width(f.ticks.back().c_str()));
    }
    for (int i = 0; i < g.group_count && i < static_cast<int>(g.labels.size()); ++i)
        f.widest = std::max(f.widest, text_width(g.labels[static_cast<std::size_t>(i)].c_str()));
    const int lh = f.lh, cw = f.cw, margin = f.margin, W = f.W, H = f.H;
    if (!g.horizontal) {
        f.left = margin + f.tick_w + cw;
        // The last group's label is centred on its bars and may be wider.
        const int overhang = f.widest / 2 - (W - margin - f.left) / (2 * f.groups);
        f.right = W - margin - std::max(overhang, 0);
        f.bottom = H - ((g.style & 4) ? lh : 4 * lh);
    } else {
        f.left = margin + (g.style & 4 ? 0 : f.widest + cw);
        f.right = W - margin - f.tick_w / 2;
        f.bottom = H - 2 * lh;
    }
    if (f.two_sided) {
        const int gap = std::max(f.tick_w, 2 * cw);
        f.side_left = f.left;
        f.side_right = f.left + (f.right - f.left - gap) / 2;
        f.left = f.side_right + gap;
        if (f.side_right - f.side_left < 4) return false;
    }
    return f.right - f.left >= 4 && f.bottom - f.top >= 4;
}

constexpr std::uint32_t bar_grid_colour = 0x00C0C0C0;

// The plots' backgrounds, grid lines, tick numbers and frames.
void draw_bar_axes(const bar_graph& g, const bar_frame& f) {
    const int left = f.left, right = f.right, top = f.top, bottom = f.bottom;
    const int div = f.div, lh = f.lh, cw = f.cw;
    const int pw = right - left, ph = bottom - top;
    fill_box(12, left, top, right, bottom);
    if (!g.horizontal) {
        for (int i = 1; i < div; ++i)
            draw_line(bar_grid_colour, 0, left, bottom - i * ph / div, right,
                      bottom - i * ph / div);
        for (int i = 0; i <= div; ++i)
            draw_text_aligned(left - cw, bottom - i * ph / div, 'R', 'C',
                              f.ticks[static_cast<std::size_t>(i)].c_str());
    } else {
        for (int i = 1; i < div; ++i)
            draw_line(bar_grid_colour, 0, left + i * pw / div, top, left + i * pw / div, bottom);
        for (int i = 0; i <= div; ++i)
            draw_text_aligned(left + i * pw / div, bottom + lh / 4, 'C', 'T',
                              f.ticks[static_cast<std::size_t>(i)].c_str());
    }
    draw_frame(13, 1, left, top, right, bottom);
    if (f.two_sided) {
        // Its own frame and divisions; values grow to the left.
        const int side_left = f.side_left, side_right = f.side_right;
        const int sw = side_right - side_left;
        fill_box(12, side_left, top, side_right, bottom);
        for (int i = 1; i < div; ++i)
            draw_line(bar_grid_colour, 0, side_right - i * sw / div, top, side_right - i * sw / div,
                      bottom);
        for (int i = 0; i <= div; ++i)
            draw_text_aligned(side_right - i * sw / div, bottom + lh / 4, 'C', 'T',
                              f.ticks[static_cast<std::size_t>(i)].c_str());
        draw_frame(13, 1, side_left, top, side_right, bottom);
    }
}

// The groups' labels along the group axis; labels that do not fit on three
// rows are thinned to every k-th group.
void draw_bar_group_labels(const bar_graph& g, const bar_frame& f, double spacing) {
    const int pw = f.right - f.left, ph = f.bottom - f.top;
    const int groups = f.groups, lh = f.lh, cw = f.cw, widest = f.widest;
    int label_step = 1;
    if (!g.horizontal && widest > 0)
        while (label_step < groups &&
               3L * label_step * pw < static_cast<long>(widest + cw) * groups)
            ++label_step;
    else if (g.horizontal)
        while (label_step < groups && groups / label_step * lh > ph) ++label_step;
    if (g.style & 4) return;
    for (int i = 0; i < g.group_count && i < static_cast<int>(g.labels.size()); i += label_step) {
        const char* text = g.labels[static_cast<std::size_t>(i)].c_str();
        const int mid = static_cast<int>(i * spacing + spacing / 2);
        if (!g.horizontal)
            draw_text_aligned(f.left + mid, f.bottom + lh / 4 + (i / label_step % 3) * lh, 'C', 'T',
                              text);
        else
            draw_text_aligned((f.two_sided ? f.side_left : f.left) - cw, f.top + mid, 'R', 'C',
                              text);
    }
}

// The zero line when the range spans 0, and the bars growing from it (the
// second set's first; bars of no height are left out).
void draw_bars(const bar_graph& g, const bar_frame& f, double spacing) {
    const int left = f.left, right = f.right, top = f.top, bottom = f.bottom;
    const int pw = right - left, ph = bottom - top;
    const int side_right = f.side_right, sw = f.side_right - f.side_left;
    const double bar_room = spacing * 0.8 / 1.2;
    const double bar_w = bar_room / f.runs;
    const double span = g.high - g.low > min_span ? g.high - g.low : 1.0;
    int origin = 0; // along the value axis, 0..10000
    if (g.low < 0 && g.high > 0) origin = static_cast<int>(-g.low * 10000.0 / span);
    const int value_len = g.horizontal ? pw : ph;
    const int origin_px = static_cast<int>(static_cast<long>(origin) * value_len / 10000);
    const int side_origin_px = static_cast<int>(static_cast<long>(origin) * sw / 10000);
    if (origin > 0) {
        if (!g.horizontal)
            draw_line(0, 1, left, bottom - origin_px, right, bottom - origin_px);
        else
            draw_line(0, 1, left + origin_px, top, left + origin_px, bottom);
        if (f.two_sided)
            draw_line(0, 1, side_right - side_origin_px, top, side_right - side_origin_px, bottom);
    }
    if (f.two_sided)
        for (int i = 0; i < g.side_group_count; ++i)
            for (int r = 0; r < g.run_count; ++r) {
                const std::size_t at = static_cast<std::size_t>(i) * g.run_count + r;
                const int hgt = at < g.side_heights.size() ? g.side_heights[at] : 0;
                if (hgt == 0) continue;
                const int px = static_cast<int>(static_cast<long>(hgt) * sw / 10000);
                if (px == side_origin_px) continue;
                const int a = static_cast<int>(i * spacing + (spacing - bar_room) / 2 + r * bar_w);
                const int b = a + std::max(static_cast<int>(bar_w) - 2, 1);
                fill_bar(r % 12, side_right - std::max(px, side_origin_px), top + a,
                         side_right - std::min(px, side_origin_px), top + b, nullptr);
            }
    for (int i = 0; i < g.group_count; ++i)
        for (int r = 0; r < g.run_count; ++r) {
            const int hgt = g.height(i, r);
            const int px = static_cast<int>(static_cast<long>(hgt) * value_len / 10000);
            if (px == origin_px) continue;
            const int a = static_cast<int>(i * spacing + (spacing - bar_room) / 2 + r * bar_w);
            const int b = a + std::max(static_cast<int>(bar_w) - 2, 1);
            const int lo_px = std::min(px, origin_px), hi_px = std::max(px, origin_px);
            if (!g.horizontal)
                fill_bar(r % 12, left + a, bottom - hi_px, left + b, bottom - lo_px, nullptr);
            else
                fill_bar(r % 12, left + lo_px, top + a, left + hi_px, top + b, nullptr);
        }
}

} // namespace

void bar_draw(output_record* record) {
    bar_entry* e = store().entry_of(record);
    if (!e) return;
    bar_graph& g = e->g;
    bar_frame f;
    graph_output_size(576, 384, &f.W, &f.H);
    use_graph_font(g.font_choice ? g.small_font : g.font);
    {
        // The small font when the labels do not fit across with the first.
        int w = 0, h = 0, min_w = 0;
        wanted_size(g, &w, &h, &min_w);
        if (min_w > f.W && !g.font_choice) use_graph_font(g.small_font);
    }
    f.lh = std::max(drawing.line_height, 1);
    f.cw = std::max(drawing.char_width, 1);
    f.runs = std::max(g.run_count, 1);
    f.two_sided = g.horizontal && g.side_group_count > 0;
    f.groups = std::max({g.group_count, f.two_sided ? g.side_group_count : 0, 1});
    f.margin = (g.style & 4) ? f.cw : 2 * f.cw;
    f.top = draw_bar_heading(e, g, f);
    if (!place_bar_plot(g, f)) return;
    draw_bar_axes(g, f);
    // Groups along the other axis: 0.8 of each group's room for bars.
    const int along = g.horizontal ? f.bottom - f.top : f.right - f.left;
    const double spacing = static_cast<double>(along) / f.groups;
    draw_bar_group_labels(g, f, spacing);
    draw_bars(g, f, spacing);
    set_value_map(g.horizontal ? f.left : f.bottom, g.horizontal ? f.right : f.top, g.low, g.high,
                  0, !g.horizontal);
    // Vertical bars of consecutive elements: x values along the group axis
    // are the elements' positions in their range, each at its group's
    // middle, so a Shift-drag there selects the elements it spans.
    if (!g.horizontal && !f.two_sided && !g.element_range.empty() && e) {
        if (!e->range_cell) e->range_cell = hblock_add_string(e->texts, g.element_range.c_str());
        set_value_map(f.left, f.right, g.element_first - 0.5, g.element_first + f.groups - 0.5,
                      e->range_cell, false);
    }
}

bool element_span_of(const std::vector<std::string>& elements, std::string& range, int& first) {
    if (elements.size() < 2) return false;
    symbol_id var = 0;
    std::vector<std::array<long, max_dims>> at;
    const dim_record* dims = nullptr;
    for (const std::string& e : elements) {
        std::int32_t slot = -1;
        symbol_id id = 0;
        std::uint32_t offset = 0;
        if (!find_var_name(e.c_str(), &slot, 0, &id, &offset) || !id) return false;
        if (var && id != var) return false;
        var = id;
        dims = safe_dims(id);
        if (!dims || dims->ndims == 0 || dims->ndims > max_dims) return false;
        std::array<long, max_dims> p{};
        for (std::uint32_t d = 0; d < dims->ndims; ++d) {
            const dim_entry& de = dims->d[d];
            if (de.count == 0 || de.stride == 0) return false;
            p[d] = static_cast<long>((offset / de.stride) % de.count);
        }
        at.push_back(p);
    }
    int varying = -1;
    for (std::uint32_t d = 0; d < dims->ndims; ++d)
        for (std::size_t i = 1; i < at.size(); ++i)
            if (at[i][d] != at[0][d]) {
                if (varying >= 0 && varying != static_cast<int>(d)) return false;
                varying = static_cast<int>(d);
            }
    if (varying < 0) return false;
    const std::size_t v = static_cast<std::size_t>(varying);
    for (std::size_t i = 1; i < at.size(); ++i)
        if (at[i][v] != at[0][v] + static_cast<long>(i)) return false;
    const char* name = safe_sym_name(dims->d[v].range);
    if (!name || !*name) return false;
    range = name;
    first = static_cast<int>(at[0][v]);
    return true;
}

std::uint32_t live_slot(const char* element) {
    std::int32_t slot = -1;
    const int type = element ? find_var_name(element, &slot) : 0;
    if (type == 0 || type == 5 || type == 6 || type == 12 || type >= 25 || slot < 0) {
        report(0, "-%s- wrong type for WIP graph", element ? element : "");
        return 0;
    }
    return static_cast<std::uint32_t>(slot) + 1;
}

namespace {

// Which bars follow the Livesweep re-runs: those of the run the value cache
// shows, found again whenever that run is not the one the slots were found
// for.
void follow_shown_run(bar_graph& g) {
    const int shown = shown_run_index();
    if (shown < 0 || shown == g.live_found_for) return;
    if (g.live_names.empty() && g.side_live_names.empty()) return;
    model_lock_guard lock(cur_model_symbols, 0);
    if (!lock.ok()) return;
    auto find = [&](const std::vector<std::string>& names, const std::vector<int>& runs,
                    std::vector<std::uint32_t>& slots) {
        slots.assign(names.size(), 0);
        for (std::size_t k = 0; k < names.size() && k < runs.size(); ++k)
            if (runs[k] == shown && !names[k].empty()) slots[k] = live_slot(names[k].c_str());
    };
    find(g.live_names, g.live_runs, g.live_slots);
    if (!g.side_live_names.empty()) find(g.side_live_names, g.side_live_runs, g.side_live_slots);
    g.live_run_slot = shown_run_slot();
    g.live_found_for = shown;
}

} // namespace

void bar_prepare_live(handle record) {
    if (!cache_livesweep()) return;
    bar_entry* e = store().entry_of(record);
    if (!e) return;
    bar_graph& g = e->g;
    follow_shown_run(g);
    for (const auto* slots : {&g.live_slots, &g.side_live_slots})
        for (std::size_t at = 0; at < slots->size(); ++at)
            if (const std::uint32_t s = (*slots)[at]) {
                const int r = g.run_count > 0 ? static_cast<int>(at % g.run_count) : 0;
                cached_series(static_cast<int>(s - 1), nullptr, nullptr,
                              g.live_run_slot >= 0 ? g.live_run_slot : r);
            }
}

void bar_live_update(handle record) {
    if (!cache_livesweep()) return;
    auto* o = static_cast<output_record*>(lock_handle(record));
    if (!o) return;
    bar_entry* e = entry_of(o);
    HWND window = o->window;
    unlock_handle(record);
    if (e) follow_shown_run(e->g);
    if (!e || (e->g.live_slots.empty() && e->g.side_live_slots.empty())) return;
    bar_graph& g = e->g;
    double span = g.high - g.low;
    if (span <= min_span) span = 1;
    auto update = [&](const std::vector<std::uint32_t>& slots, const std::vector<float>& at_times,
                      std::vector<std::uint16_t>& heights) {
        for (std::size_t at = 0; at < slots.size() && at < heights.size(); ++at) {
            if (!slots[at]) continue;
            const int r = g.run_count > 0 ? static_cast<int>(at % g.run_count) : 0;
            const float* times = nullptr;
            const float* values = nullptr;
            const int n = cached_series(static_cast<int>(slots[at] - 1), &times, &values,
                                        g.live_run_slot >= 0 ? g.live_run_slot : r);
            if (n <= 0 || !times || !values) continue;
            // The last saved point whose time less half a spacing is below
            // the bar's time, or the only point.
            const float own = at < at_times.size() ? at_times[at] : NA;
            const double t = usable(own) ? own : usable(g.live_time) ? g.live_time : times[0];
            const double h = n > 1 ? (times[n - 1] - times[0]) / (2.0 * n) : 0;
            int k = 0;
            for (int j = 0; j < n; ++j)
                if (times[j] - h < t) k = j;
            const float v = values[k];
            heights[at] = !usable(v) || v < g.low ? 0 : v >= g.high ? 10000 : share(v, g.low, span);
        }
    };
    update(g.live_slots, g.live_times, g.heights);
    update(g.side_live_slots, g.side_live_times, g.side_heights);
    if (window) InvalidateRect(window, nullptr, FALSE);
}

bar_graph* bar_graph_of(handle record) {
    auto* o = static_cast<output_record*>(lock_handle(record));
    bar_entry* e = entry_of(o);
    if (o) unlock_handle(record);
    return e ? &e->g : nullptr;
}

handle last_bar_record() {
    return last_record;
}

handle new_bar_record(bar_graph g) {
    auto e = std::make_unique<bar_entry>();
    e->g = std::move(g);
    const graphs::record_callbacks cb{bar_layout, bar_draw, release_bar, bar_live_update};
    return store().make(9, std::move(e), cb);
}

handle show_bar_graph(bar_graph g) {
    pending_fallback.reset();
    const handle h = store().open(new_bar_record(std::move(g)), nullptr);
    if (h || !pending_fallback) return h;
    const category_graph_spec spec = std::move(*pending_fallback);
    pending_fallback.reset();
    return build_category_graph(spec);
}

// --------------------------------------------------------------- the tool ---

namespace {

bar_options* options_of(tool_record* r) {
    return static_cast<bar_options*>(tool_options(r));
}

void normalise(bar_options& o) {
    if (o.hist_kind > 3) o.hist_kind = 0;
    o.font = sane_font_spec(o.font);
    o.small_font = sane_font_spec(o.small_font);
}

} // namespace

int bar_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    if (!tool) return option_size;
    if (tool_option_size(tool) < static_cast<std::uint32_t>(option_size)) return option_size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return option_size;
        bar_options* o = options_of(r);
        std::memset(o, 0, sizeof *o);
        o->font = graph_defaults().fonts[0];
        o->font.size = 12;
        o->font.style = 0;
        o->small_font = o->font;
        o->small_font.size = 10;
        o->bin_min = o->bin_max = o->freq_min = o->freq_max = NA;
        o->bin_count = 10;
        o->time_choice = 2;
        r->action = tool_action_id(bar_tool_run);
        unlock_tool(tool);
        if (text && read_line(0)) {
            r = lock_tool(tool);
            read_toptset(line_buf, tool_options(r), static_cast<std::uint32_t>(option_size),
                         bar_option_fields);
            unlock_tool(tool);
        }
        r = lock_tool(tool);
        if (r) {
            normalise(*options_of(r));
            r->icon = options_of(r)->horizontal ? 0 : 16;
            unlock_tool(tool);
        }
    } else if (mode == 1 && out) {
        tool_record* r = lock_tool(tool);
        if (!r) return option_size;
        write_toptset(out, tool_options(r), static_cast<std::uint32_t>(option_size),
                      bar_option_fields);
        unlock_tool(tool);
    }
    return option_size;
}

namespace {

// Drops points outside the time axis: with h half the smallest spacing, a
// point whose time - h is at or past the end or whose time + h is at or
// before the start.
void keep_axis_points(std::vector<float>& values, std::vector<float>& times, double start,
                      double end) {
    double h = HUGE_VAL;
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1]) h = std::min(h, (times[i] - times[i - 1]) / 2.0);
    if (!std::isfinite(h)) h = 0;
    std::size_t k = 0;
    for (std::size_t i = 0; i < times.size() && i < values.size(); ++i) {
        const double t = times[i];
        if (t - h >= end || t + h <= start) continue;
        times[k] = times[i];
        values[k] = values[i];
        ++k;
    }
    times.resize(k);
    values.resize(k);
}

} // namespace

namespace {

// Where on the time axis a bar graph reads: its time, the axis' span in the
// time basis in use, and the axis variable's name.
struct bar_time_axis {
    double at = 0;
    float t = 0;
    double start = 0, end = 0;
    std::string xname;
};

// A histogram of the first element: over the run's times (kind 1), over a
// sensitivity run's simulations at the time (2) or over the elements at the
// time (3).
void fill_histogram(bar_graph& g, const bar_options& o, const std::vector<std::string>& elements,
                    const std::vector<int>& run_index, const bar_time_axis& ax) {
    if (usable(o.bin_min)) g.low = o.bin_min;
    if (usable(o.bin_max)) g.high = o.bin_max;
    g.freq_min = o.freq_min;
    g.freq_max = o.freq_max;
    g.fraction = o.fraction;
    g.cumulative = o.cumulative;
    g.hide_outliers = o.hide_outliers;
    g.bins = std::clamp(o.bin_count, 2, max_histogram_bins);
    std::vector<std::vector<float>> per_run(run_index.size());
    for (std::size_t r = 0; r < run_index.size(); ++r) {
        const int run = run_index[r];
        if (run < 0) continue; // a run that is not there reads as missing
        if (o.hist_kind == 1) {
            std::vector<float> times;
            read_run_values(elements[0].c_str(), ax.xname.c_str(), run, per_run[r], times);
            keep_axis_points(per_run[r], times, ax.start, ax.end);
        } else if (o.hist_kind == 2) {
            sens_percentiles(elements[0].c_str(), run, per_run[r], ax.xname.c_str(), ax.at);
        } else {
            for (const std::string& e : elements) {
                float v = NA;
                if (!run_value_at_time(e.c_str(), ax.xname.c_str(), run, &v, &ax.t, 0)) v = NA;
                per_run[r].push_back(v);
            }
        }
    }
    build_histogram(g, per_run);
}

// A time graph: a group of bars per saved time of the first run, which the
// other runs fill where their times reach.
void fill_time_bars(bar_graph& g, const std::vector<std::string>& elements,
                    const std::vector<int>& run_index, const bar_time_axis& ax) {
    g.force_bars = 1;
    g.value_title = "Time";
    std::vector<std::vector<float>> values;
    std::vector<float> group_times;
    for (std::size_t r = 0; r < run_index.size(); ++r) {
        std::vector<float> v, times;
        if (run_index[r] >= 0)
            read_run_values(elements[0].c_str(), ax.xname.c_str(), run_index[r], v, times);
        std::vector<float> all_v = v, all_t = times;
        keep_axis_points(v, times, ax.start, ax.end);
        if (r == 0) {
            if (times.empty() && !all_t.empty()) { // keep one point for the first run
                times.assign(1, all_t[0]);
                v.assign(1, all_v[0]);
            }
            group_times = times;
            values.assign(times.size(), std::vector<float>(run_index.size(), NA));
            for (std::size_t i = 0; i < times.size(); ++i) {
                values[i][0] = v[i];
                g.labels.emplace_back(format_number_fmt("%s", 0, times[i]));
            }
            continue;
        }
        // A run fills the groups whose times it reaches.
        for (std::size_t i = 0; i < times.size(); ++i) {
            const int k = nearest_time_index(group_times.data(),
                                             static_cast<int>(group_times.size()), times[i]);
            if (k >= 0) values[static_cast<std::size_t>(k)][r] = v[i];
        }
    }
    build_time_bar_heights(g, values);
    g.labels.resize(values.size());
}

// A bar per element and run at the time, in the order the options sort
// them, with what a Livesweep follows (each bar's element, run and value
// slot).
void fill_element_bars(bar_graph& g, const bar_options& o, const std::vector<std::string>& elements,
                       const std::vector<int>& run_index, const bar_time_axis& ax) {
    std::vector<std::vector<float>> values(elements.size(),
                                           std::vector<float>(run_index.size(), NA));
    for (std::size_t i = 0; i < elements.size(); ++i)
        for (std::size_t r = 0; r < run_index.size(); ++r) {
            float v = NA;
            if (run_index[r] >= 0 && run_value_at_time(elements[i].c_str(), ax.xname.c_str(),
                                                       run_index[r], &v, &ax.t, 0) != 1)
                v = NA;
            values[i][r] = v;
        }
    // Livesweep: the elements of the Livesweep run follow its re-runs.
    if (cache_livesweep()) {
        const int shown = shown_run_slot();
        g.live_slots.assign(elements.size() * run_index.size(), 0);
        if (shown >= 0 && shown < static_cast<int>(run_index.size()))
            for (std::size_t i = 0; i < elements.size(); ++i)
                g.live_slots[i * run_index.size() + static_cast<std::size_t>(shown)] =
                    live_slot(elements[i].c_str());
        g.live_found_for = shown_run_index();
    }
    g.live_time = ax.t;
    g.labels = elements;
    order_bars(values, g.labels, o.sort_run, &g.live_slots);
    // What a later Livesweep follows: each bar's element and run.
    g.live_names.assign(g.labels.size() * run_index.size(), {});
    g.live_runs.assign(g.labels.size() * run_index.size(), -1);
    for (std::size_t i = 0; i < g.labels.size(); ++i)
        for (std::size_t r = 0; r < run_index.size(); ++r) {
            g.live_names[i * run_index.size() + r] = g.labels[i];
            g.live_runs[i * run_index.size() + r] = run_index[r];
        }
    build_bar_heights(g, values);
    if (!element_span_of(g.labels, g.element_range, g.element_first)) g.element_range.clear();
    g.value_title = g.title.substr(0, g.title.find('@'));
}

} // namespace

void bar_tool_run(handle tool) {
    last_record = 0;
    output_oneshots_guard oneshots;
    tool_run<bar_options> run(tool);
    if (!run.ok()) return;
    bar_options& o = run.options;
    normalise(o);
    const int runs = loaded_run_names(0);
    if (runs <= 0 || !model_rec) return;
    const char *prefix = "", *suffix = "";
    const char** names = nullptr;
    const int count = expand_subscripted_name(nullptr, &prefix, &suffix, &names);
    if (count <= 0 || !names) return;
    std::vector<std::string> elements(names, names + count);
    const std::string whole = names[count] ? names[count] : elements[0];
    const std::string pre = prefix ? prefix : "", suf = suffix ? suffix : "";

    bar_graph g;
    g.font = o.font;
    g.small_font = o.small_font;
    g.divisions = graph_defaults().y_divisions;
    std::vector<int> run_index;
    for (int k = 0; k < runs && k < max_selected_runs; ++k) {
        run_index.push_back(model_rec->runs[k].run);
        g.run_labels.emplace_back(selected_run_names[k] ? selected_run_names[k] : "");
    }
    g.run_count = static_cast<int>(run_index.size());
    g.window_title = pre + whole + suf + " : " + tool_name(tool);

    // The time, in the time basis in use.
    const bool time_graph = o.hist_kind == 0 && o.time_choice == 5;
    double model_time = o.time_choice == 0   ? model_rec->start
                        : o.time_choice == 1 ? model_rec->end
                        : o.time_choice == 3 ? o.at_time
                                             : model_rec->special;
    bar_time_axis ax;
    ax.at = model_time;
    if (o.time_choice != 3) time_basis_label(model_time, &ax.at, 0, nullptr, 0);
    ax.start = model_rec->start;
    ax.end = model_rec->end;
    time_basis_label(model_rec->start, &ax.start, 0, nullptr, 0);
    time_basis_label(model_rec->end, &ax.end, 0, nullptr, 0);
    const symbol_id basis = time_basis_symbol();
    ax.xname = basis ? varformat(basis, 0) : "Time";
    const char* at_text = format_number(ax.at, 0, nullptr);
    const std::string at_str = at_text ? at_text : "";

    g.hist_kind = o.hist_kind;
    g.horizontal = o.horizontal;
    switch (o.hist_kind) {
    case 1:
        g.title = pre + elements[0] + suf + " - time histogram";
        break;
    case 2:
        g.title = pre + elements[0] + suf + " @ " + at_str + " sensivity histogram";
        break;
    case 3:
        g.title = pre + elements[0] + suf + " to " + pre + elements.back() + suf + " @ " + at_str +
                  " subscript histogram";
        break;
    default:
        g.title =
            time_graph ? pre + whole + suf + " - time graph" : pre + whole + suf + " @ " + at_str;
    }
    ax.t = static_cast<float>(ax.at);
    if (o.hist_kind != 0)
        fill_histogram(g, o, elements, run_index, ax);
    else if (time_graph)
        fill_time_bars(g, elements, run_index, ax);
    else
        fill_element_bars(g, o, elements, run_index, ax);
    opening_tool = tool;
    handle h = show_bar_graph(std::move(g));
    if (!h) {
        report(8, "Unable to complete bar graph");
        return;
    }
    last_record = h;
}

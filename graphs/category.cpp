// The category graph: see category.h.
#include "graphs/category.h"

#include "foundation/memory.h"
#include "foundation/report.h"
#include "graphs/linegraph.h"
#include "tools/output.h"

#include <algorithm>
#include <cmath>

namespace {

int category_count(const category_graph_spec& spec) {
    // The last name is the x title once there is one per category.
    return static_cast<int>(spec.bounds.empty() ? spec.categories.size() - 1
                                                : spec.bounds.size() - 1);
}

// The x axis's ends: the lowest and highest bound, or 1 and the count.
void x_range(const category_graph_spec& spec, double* lo, double* hi) {
    if (!spec.bounds.empty()) {
        *lo = spec.bounds.front();
        *hi = spec.bounds.back();
    } else {
        *lo = 1;
        *hi = static_cast<double>(spec.categories.size()) - 1;
    }
}

// The span the positions are scaled by: never 0 (one category, equal bounds).
double x_span(const category_graph_spec& spec) {
    double lo = 0, hi = 0;
    x_range(spec, &lo, &hi);
    const double span = hi - lo;
    return std::isfinite(span) && span > 0 ? span : 1;
}

bool bounds_fit(const category_graph_spec& spec) {
    if (spec.bounds.empty()) return spec.categories.size() >= 2;
    if (spec.bounds.size() < 2 || spec.categories.size() + 1 < spec.bounds.size()) return false;
    for (std::size_t i = 0; i < spec.bounds.size(); ++i)
        if (!std::isfinite(spec.bounds[i]) || (i && spec.bounds[i] < spec.bounds[i - 1]))
            return false;
    return true;
}

// The category whose place holds x (in axis units from the lowest end).
int category_at(const category_graph_spec& spec, double x) {
    const int n = category_count(spec);
    int c = 0;
    if (spec.bounds.empty()) {
        c = static_cast<int>(std::floor(x + 0.5));
    } else {
        const double lo = spec.bounds.front();
        while (c + 1 < n && spec.bounds[static_cast<std::size_t>(c) + 1] - lo <= x + 1e-9) ++c;
    }
    return std::clamp(c, 0, std::max(n - 1, 0));
}

} // namespace

int category_x_position(const category_graph_spec& spec, int index) {
    const double span = x_span(spec);
    double at = index;
    if (!spec.bounds.empty() && index >= 0 && static_cast<std::size_t>(index) < spec.bounds.size())
        at = spec.bounds[static_cast<std::size_t>(index)] - spec.bounds.front();
    return static_cast<int>(std::clamp(at * 10000 / span, -32760.0, 32760.0));
}

int category_divisions(const category_graph_spec& spec) {
    // One division per unit of the span, at most 20 (a divisor of the count).
    const double span = std::min(x_span(spec), 1e6);
    int n = static_cast<int>(std::trunc(span - 0.5)) + 1;
    if (n > 20) {
        int k = 2;
        while (n / k > 20) ++k;
        while (n % k) ++k;
        n /= k;
    }
    return std::max(n, 1);
}

handle build_category_graph(const category_graph_spec& spec) {
    if (!bounds_fit(spec) || category_count(spec) < 1 || spec.series.empty() ||
        !(spec.y_max > spec.y_min)) {
        report(8, "Unable to complete graph");
        return 0;
    }
    const int n = category_count(spec);
    handle h = new_line_graph_record();
    if (!h) return 0;
    line_graph* g = graph_of(h);
    g->title = spec.title;
    g->caption = spec.title;
    g->graph_mode = spec.bounds.empty() ? 4 : 3;
    g->line_kind = 1;     // dots
    g->x_is_time = false; // categories: no special time
    const std::size_t title_at = static_cast<std::size_t>(n);
    g->x_title = title_at < spec.categories.size() ? spec.categories[title_at] : spec.variable;
    g->x_var_name = g->x_title;
    x_range(spec, &g->x_min, &g->x_max);
    if (!(g->x_max > g->x_min)) g->x_max = g->x_min + 1;
    g->y_min = spec.y_min;
    g->y_max = spec.y_max;
    g->x_divisions = category_divisions(spec);
    const double span = x_span(spec);
    for (int i = 0; i <= g->x_divisions; ++i) {
        const int c = category_at(spec, i * span / g->x_divisions);
        g->x_labels.push_back(static_cast<std::size_t>(c) < spec.categories.size()
                                  ? spec.categories[static_cast<std::size_t>(c)]
                                  : std::string());
    }
    g->units = spec.units;
    for (std::size_t k = 0; k < spec.series.size(); ++k) {
        graph_series s;
        s.name = spec.variable;
        s.label = spec.variable + " : " + spec.series[k];
        const std::vector<int>* given = k < spec.positions.size() ? &spec.positions[k] : nullptr;
        for (int c = 0; given && c < n && static_cast<std::size_t>(c) < given->size(); ++c) {
            const int v = (*given)[static_cast<std::size_t>(c)];
            // No value: a place outside the plot, which the dots leave out.
            const int y = v == 0 ? -1 : std::clamp(10000 - v, -32760, 32760);
            s.xs.push_back(static_cast<std::int16_t>(category_x_position(spec, c)));
            s.ys.push_back(static_cast<std::int16_t>(y));
        }
        g->series.push_back(std::move(s));
    }
    g->series_count = static_cast<int>(g->series.size());
    set_graph_size(*g, -1, 0, 0);
    auto* rec = static_cast<output_record*>(lock_handle(h));
    cur_output = h;
    const int opened = rec ? layout_graph(rec) : 0;
    if (rec) unlock_handle(h);
    if (opened) return h;
    report(8, "Unable to complete graph");
    rec = static_cast<output_record*>(lock_handle(h));
    void (*release)(handle) = rec ? rec->release : nullptr;
    if (rec) unlock_handle(h);
    if (release) release(h);
    free_output_record(h);
    return 0;
}

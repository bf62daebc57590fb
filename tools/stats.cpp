// Statistics of the Stats tool.
#include "tools/stats.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "foundation/types.h"

stats_row compute_stats(const float* values, int n, const int* percentiles, int npercentiles) {
    stats_row row;
    std::vector<double> v;
    v.reserve(n > 0 ? static_cast<std::size_t>(n) : 0);
    for (int i = 0; i < n; ++i)
        if (!is_na(values[i]) && !std::isnan(values[i])) v.push_back(values[i]);
    row.count = static_cast<int>(v.size());
    if (v.empty()) return row;
    std::sort(v.begin(), v.end());
    const std::size_t c = v.size();
    row.min = v.front();
    row.max = v.back();
    row.median = c % 2 ? v[c / 2] : (v[c / 2 - 1] + v[c / 2]) / 2;
    double sum = 0;
    for (double x : v) sum += x;
    row.mean = sum / static_cast<double>(c);
    // Two passes: the deviations from the mean, so rounding never makes the
    // variance negative (the one-pass form gave the square root of a
    // negative number for nearly constant values).
    double sq = 0;
    for (double x : v) sq += (x - row.mean) * (x - row.mean);
    row.stdev = std::sqrt(std::max(0.0, sq / static_cast<double>(c)));
    row.norm =
        std::fabs(row.mean) > 1e-5 * row.stdev ? static_cast<float>(row.stdev / row.mean) : NA;
    for (int i = 0; i < npercentiles; ++i) {
        long long at = static_cast<long long>(percentiles[i]) * static_cast<long long>(c) / 1000;
        at = std::clamp<long long>(at, 0, static_cast<long long>(c) - 1);
        row.percentiles.push_back(v[static_cast<std::size_t>(at)]);
    }
    return row;
}

int pack_percentiles(int* list) {
    int n = 0;
    for (int i = 0; i < stats_max_percentiles; ++i)
        if (list[i] != 0) list[n++] = list[i];
    std::sort(list, list + n);
    std::fill(list + n, list + stats_max_percentiles, 0);
    return n;
}

std::vector<std::string> stats_headings(const int* percentiles, int npercentiles,
                                        bool with_r_square) {
    std::vector<std::string> h = {"Count", "Min", "Max", "Mean", "Median", "StDev", "(Norm)"};
    for (int i = 0; i < npercentiles; ++i)
        h.push_back(std::to_string((percentiles[i] + 5) / 10) + "%");
    if (with_r_square) {
        h.push_back("R-square");
        h.push_back("#points");
    }
    return h;
}

bool analysis_window(const float* times, int n, double start, double end, double saving_interval,
                     int* first, int* last) {
    const double tol = saving_interval > 0 ? saving_interval / 2 : 0.5;
    int f = 0;
    while (f < n && !(start <= times[f] + tol)) ++f;
    int l = n - 1;
    while (l >= f && !(end > times[l] - tol)) --l;
    if (f >= n || l < f) return false;
    *first = f;
    *last = l;
    return true;
}

int r_square(const float* times_a, const float* values_a, const float* times_b,
             const float* values_b, double tolerance, int count_a, int count_b, double* r2) {
    double sum = 0, sum_sq = 0, diff_sq = 0;
    int matched = 0, j = 0;
    for (int i = 0; i < count_a; ++i) {
        const double ta = times_a[i];
        while (j < count_b && times_b[j] + tolerance < ta) ++j;
        if (j == count_b) break;
        if (times_b[j] > ta + tolerance) continue;
        int k = j;
        if (j + 1 < count_b && times_b[j + 1] <= ta &&
            std::fabs(times_b[j + 1] - ta) < std::fabs(times_b[j] - ta))
            k = j + 1;
        const float a = values_a[i], b = values_b[k];
        if (is_na(a) || is_na(b) || std::isnan(a) || std::isnan(b)) continue;
        ++matched;
        sum += a;
        sum_sq += static_cast<double>(a) * a;
        diff_sq += (static_cast<double>(a) - b) * (static_cast<double>(a) - b);
    }
    double denominator = matched ? sum_sq - sum * sum / matched : 0;
    *r2 = denominator > 0 ? 1 - diff_sq / denominator : 0;
    return matched;
}

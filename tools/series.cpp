// Autocorrelation, power spectrum, the table's time axis and resampling.
#include "tools/series.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/types.h"

namespace {

bool holds_na(const float* v, int n) {
    return std::any_of(v, v + n, [](float x) { return is_na(x) || std::isnan(x); });
}

float* scratch_floats(int n) {
    return static_cast<float*>(scratch(static_cast<std::size_t>(n) * sizeof(float)));
}

} // namespace

float* autocorrelation(const float* series, int* n, double max_lag, double dt) {
    if (!series || !n || *n < 1) return nullptr;
    const int count = *n;
    if (!(dt > 0)) dt = 1.0;
    double lags_d = std::trunc(max_lag / dt + 0.5) + 1;
    int lags = !(lags_d >= 1) ? 1 : lags_d >= count ? count : static_cast<int>(lags_d);
    float* r = scratch_floats(lags);
    *n = lags;
    if (holds_na(series, count)) {
        std::fill(r, r + lags, NA);
        return r;
    }
    double mean = 0;
    for (int i = 0; i < count; ++i) mean += series[i];
    mean /= count;
    double var = 0;
    for (int i = 0; i < count; ++i) var += (series[i] - mean) * (series[i] - mean);
    var /= count;
    r[0] = 1;
    const bool constant =
        std::all_of(series, series + count, [&](float x) { return x == series[0]; });
    for (int k = 1; k < lags; ++k) {
        if (constant || !(var > 0)) {
            r[k] = NA;
            continue;
        }
        double sum = 0;
        for (int i = 0; i + k < count; ++i) sum += (series[i] - mean) * (series[i + k] - mean);
        r[k] = static_cast<float>(sum / (count - k) / var);
    }
    return r;
}

float* power_spectrum(float* series, int* n, bool remove_mean) {
    if (!series || !n || *n < 1) return nullptr;
    const int count = *n;
    int size = 2;
    while (size < count) size *= 2;
    float* out = scratch_floats(size);
    *n = size;
    if (holds_na(series, count)) {
        std::fill(out, out + size, NA);
        return out;
    }
    if (remove_mean) {
        double mean = 0;
        for (int i = 0; i < count; ++i) mean += series[i];
        mean /= count;
        for (int i = 0; i < count; ++i) series[i] = static_cast<float>(series[i] - mean);
    }
    std::vector<std::complex<double>> a(static_cast<std::size_t>(size));
    for (int i = 0; i < count; ++i) a[static_cast<std::size_t>(i)] = series[i];
    // Bit-reversal reordering, then the butterflies of the iterative
    // decimation-in-time transform.
    for (int i = 1, j = 0; i < size; ++i) {
        int bit = size >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[static_cast<std::size_t>(i)], a[static_cast<std::size_t>(j)]);
    }
    const double pi = std::acos(-1.0);
    for (int len = 2; len <= size; len *= 2) {
        const std::complex<double> step = std::polar(1.0, 2 * pi / len);
        for (int i = 0; i < size; i += len) {
            std::complex<double> w = 1;
            for (int k = 0; k < len / 2; ++k) {
                auto& lo = a[static_cast<std::size_t>(i + k)];
                auto& hi = a[static_cast<std::size_t>(i + k + len / 2)];
                std::complex<double> t = w * hi;
                hi = lo - t;
                lo += t;
                w *= step;
            }
        }
    }
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<float>(std::abs(a[static_cast<std::size_t>(i)]));
    return out;
}

double spectrum_bin_spacing(double first, double last, int n, int transform_size) {
    double dt = n > 1 ? (last - first) / (n - 1) : 0;
    if (!(dt > 0)) dt = 1;
    return 1.0 / (transform_size * dt);
}

namespace {

// choose_axis_times without its message: the selection may hold one time
// more than table_max_times, which the callers cut.
table_axis select_axis_times(const float* saved, int count, double start, double end,
                             double interval, double at_time) {
    table_axis axis;
    if (!saved || count < 1) return axis;
    double step = count > 1 ? (static_cast<double>(saved[count - 1]) - saved[0]) / (count - 1) : 0;
    double tol;
    if (count > 1 && step > 0) {
        tol = step / 2;
        if (interval > 0 && interval / 2 < tol) tol = interval / 2;
    } else {
        // One saved time (or all at one time): a tolerance that stays positive
        // for negative times too.
        tol = (std::fabs(static_cast<double>(saved[0])) + 1) * 0.01;
    }
    axis.tolerance = tol;
    const double narrow = tol / 4;
    auto& sel = axis.indices;

    if (!(interval > 0)) {
        // No interval to step by: every saved time of the range.
        for (int j = 0; j < count && static_cast<int>(sel.size()) <= table_max_times; ++j)
            if (saved[j] >= start - tol && saved[j] <= end + tol) sel.push_back(j);
    } else {
        int j = 0;
        double k = 0;
        while (static_cast<int>(sel.size()) <= table_max_times) {
            // Each time from the start, so no error accumulates over the steps.
            double t = start + k * interval;
            if (t > end + tol) break;
            while (j < count && saved[j] < t - tol) ++j;
            if (j == count) break;
            if (saved[j] < t + tol) ++j, sel.push_back(j - 1);
            if (j == count) break;
            // Steps with no saved time near them are passed over at once.
            double next = std::ceil((saved[j] - tol - start) / interval);
            k = std::max(k + 1, next);
        }
    }
    if (!is_na(at_time) && !std::isnan(at_time)) {
        const float* p = std::lower_bound(saved, saved + count, static_cast<float>(at_time));
        int best = -1;
        for (const float* q : {p - 1, p}) {
            if (q < saved || q >= saved + count) continue;
            double d = std::fabs(*q - at_time);
            if (d <= narrow && (best < 0 || d < std::fabs(saved[best] - at_time)))
                best = static_cast<int>(q - saved);
        }
        if (best < 0) best = count - 1;
        auto at = std::lower_bound(sel.begin(), sel.end(), best);
        if (at == sel.end() || *at != best) sel.insert(at, best);
    }
    return axis;
}

void say_truncated() {
    report(8, "Truncating data.  Tool cannot display more than %d times", table_max_times);
}

} // namespace

table_axis choose_axis_times(const float* saved, int count, double start, double end,
                             double interval, double at_time) {
    table_axis axis = select_axis_times(saved, count, start, end, interval, at_time);
    if (static_cast<int>(axis.indices.size()) > table_max_times) {
        say_truncated();
        axis.indices.resize(table_max_times);
        axis.truncated = true;
    }
    return axis;
}

union_axis union_axis_times(const std::vector<axis_source>& runs, double start, double end,
                            double at_time) {
    union_axis out;
    struct pick {
        float time;
        double narrow;
    };
    std::vector<pick> picks;
    bool any = false;
    for (const axis_source& r : runs) {
        if (r.saved.empty()) continue;
        const table_axis a = select_axis_times(r.saved.data(), static_cast<int>(r.saved.size()),
                                               start, end, r.interval, at_time);
        out.tolerance = any ? std::min(out.tolerance, a.tolerance) : a.tolerance;
        any = true;
        for (int i : a.indices)
            picks.push_back({r.saved[static_cast<std::size_t>(i)], a.tolerance / 4});
    }
    // In time order; of two runs' times closer than either run's narrow
    // tolerance the earlier kept, so a time every run saved is one column.
    std::stable_sort(picks.begin(), picks.end(),
                     [](const pick& a, const pick& b) { return a.time < b.time; });
    double last_narrow = 0;
    for (const pick& p : picks) {
        if (!out.times.empty() &&
            static_cast<double>(p.time) - out.times.back() <= std::min(last_narrow, p.narrow))
            continue;
        out.times.push_back(p.time);
        last_narrow = p.narrow;
    }
    if (static_cast<int>(out.times.size()) > table_max_times) {
        say_truncated();
        out.times.resize(table_max_times);
        out.truncated = true;
    }
    return out;
}

void resample(const float* values, const float* times, int n, const float* targets, int m,
              float* out, double tolerance) {
    for (int i = 0; i < m; ++i) {
        const double t = targets[i];
        const float* p = std::lower_bound(times, times + n, targets[i]);
        int best = -1;
        double best_d = 0;
        // The later candidate first, so an earlier one replaces it only when
        // strictly nearer.
        for (const float* q : {p, p - 1}) {
            if (q < times || q >= times + n) continue;
            double d = std::fabs(*q - t);
            if (d <= tolerance && (best < 0 || d < best_d))
                best = static_cast<int>(q - times), best_d = d;
        }
        out[i] = best < 0 ? NA : values[best];
    }
}

spectral_columns table_spectral_columns(int option, const float* times, const float* values, int n,
                                        double max_lag, double dt) {
    spectral_columns out;
    if (n < 1 || !values) return out;
    if (!(dt > 0)) dt = 1;
    if (option == 2) {
        out.x_heading = "Lag time";
        out.y_heading = "Autocorrelation";
        int lags = n;
        const float* r = autocorrelation(values, &lags, max_lag, dt);
        for (int k = 0; k < lags; ++k) {
            out.x.push_back(static_cast<float>(k * dt));
            out.y.push_back(r[k]);
        }
        return out;
    }
    out.x_heading = "Frequency";
    out.y_heading = "Power";
    std::vector<float> copy(values, values + n);
    int size = n;
    const float* p = power_spectrum(copy.data(), &size, false);
    const double spacing =
        times ? spectrum_bin_spacing(times[0], times[n - 1], n, size) : 1.0 / (size * dt);
    for (int k = 0; k < size / 2; ++k) {
        out.x.push_back(static_cast<float>(k * spacing));
        out.y.push_back(p[k]);
    }
    return out;
}

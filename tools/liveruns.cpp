// Run values that follow Livesweep: see liveruns.h.
#include "tools/liveruns.h"

#include "foundation/names.h"
#include "foundation/types.h"
#include "model/constants.h"
#include "model/model.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/cache.h"

#include <algorithm>
#include <cstdint>

namespace {

// The re-runs' series of a number variable when run is the run Livesweep
// shows; 0 otherwise (then the file has the values).
int shown_series(const char* name, const char* xname, int run, const float** times,
                 const float** values) {
    if (!name || run < 0 || !cache_livesweep() || model_lock_flag < 0 || run != shown_run_index())
        return 0;
    std::int32_t slot = -1;
    const int type = find_var_name(name, &slot);
    if (type <= 0 || type >= st_lookup || slot < 0) return 0;
    const char* base = xname && *xname && name_cmp(xname, "Time") != 0 ? xname : nullptr;
    const int n = cached_series(slot, times, values, shown_run_slot(), base);
    return n > 0 && *times && *values ? n : 0;
}

// The file's reading, replaced by the re-runs' values where there are any. A
// single value in the file (a constant) stays a single value.
template <typename Read>
int read_live(Read read, const char* name, const char* xname, int run, std::vector<float>& values,
              std::vector<float>& times) {
    const int n = read(name, xname, run, values, times, nullptr, nullptr, nullptr);
    const float *t = nullptr, *v = nullptr;
    const int m = shown_series(name, xname, run, &t, &v);
    if (m <= 0) return n;
    if (n == 1) {
        values.assign(v, v + 1);
        times.resize(1);
        return 1;
    }
    values.assign(v, v + m);
    times.assign(t, t + m);
    return m;
}

} // namespace

int live_run_values(const char* name, const char* xname, int run, std::vector<float>& values,
                    std::vector<float>& times) {
    return read_live(read_run_values, name, xname, run, values, times);
}

int live_run_series(const char* name, const char* xname, int run, std::vector<float>& values,
                    std::vector<float>& times) {
    return read_live(read_run_series, name, xname, run, values, times);
}

int live_value_at_time(const char* name, const char* xname, int run, float* out, const float* time,
                       int mode) {
    const float *t = nullptr, *v = nullptr;
    const int n = shown_series(name, xname, run, &t, &v);
    if (n <= 0) return run_value_at_time(name, xname, run, out, time, mode);
    const float answer = series_value_at(t, v, n, time, mode);
    if (out) *out = answer;
    return 1;
}

float series_value_at(const float* times, const float* values, int n, const float* time, int mode) {
    if (n <= 0) return NA;
    if (n == 1 && mode >= 0) return values[0];
    if (!time || is_na(*time)) return values[n - 1];
    const double at = *time;
    const int j = static_cast<int>(std::upper_bound(times, times + n, *time) - times);
    const double first = times[0], last = times[n - 1], half = (last - first) / (2.0 * n);
    if (j == n) return n > 1 && at - last > half ? NA : values[n - 1];
    if (j == 0) return n > 1 && first - at > half ? NA : values[0];
    const int a = j - 1, b = j;
    if (mode <= 0) return at - times[a] < times[b] - at ? values[a] : values[b];
    const double span = times[b] - times[a];
    const double w = span > 0 ? (at - times[a]) / span : 1.0;
    if (is_na(values[a]) || is_na(values[b])) return w < 0.5 ? values[a] : values[b];
    return static_cast<float>(values[a] + w * (values[b] - values[a]));
}

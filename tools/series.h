// Series analysis of the Table tool and the strip graph: autocorrelation,
// the power spectrum, the table's time axis chosen from a run's saved times,
// and resampling a run's series onto that axis.
//
// Series are 32-bit floats; NA (foundation/types.h) marks a missing value.
// Results of the two transforms are in scratch memory.
#pragma once

#include <vector>

// The autocorrelation of series[0 .. *n) at lags 0, dt, 2 dt, ... up to
// max_lag: L = trunc(max_lag / dt + 0.5) + 1 lags (at most n; dt not above 0
// counts as 1). r(0) = 1 and r(k) is the mean lagged product of the
// deviations divided by the variance (taken in two passes in double). A
// constant series has no variance: r(0) 1 and NA at every other lag. A series
// holding NA gives NA at every lag. *n becomes L. Null when n < 1.
float* autocorrelation(const float* series, int* n, double max_lag, double dt);

// The magnitude spectrum of series[0 .. *n): N = the smallest power of two at
// least n and at least 2; the series, zero-padded to N, goes through a radix-2
// FFT and the N magnitudes are returned; *n becomes N. With remove_mean the
// mean is subtracted from the series in place first. A series holding NA
// gives N NA values (and is left as it was). Null when n < 1.
float* power_spectrum(float* series, int* n, bool remove_mean);

// The spacing of the spectrum's frequency bins, 1 / (N x dt), for n values
// saved from first to last: dt = (last - first) / (n - 1), or 1 when that is
// not positive.
double spectrum_bin_spacing(double first, double last, int n, int transform_size);

// The times a table shows, chosen among a run's saved times.
struct table_axis {
    std::vector<int> indices; // indices into the saved times, ascending
    double tolerance = 0;     // matching tolerance of the axis (time_tolerance)
    bool truncated = false;   // more than table_max_times were selected
};
inline constexpr int table_max_times = 8000;

// Chooses the table's times among saved[0 .. count) (ascending): for t =
// start + k x interval up to end + tolerance, the next saved time not below
// t - tolerance when it lies below t + tolerance, each saved time at most
// once; interval not above 0 takes every saved time from start to end. The
// saved time nearest to at_time within the narrow tolerance (the last saved
// time when none is that near) is added in time order unless already there;
// at_time NA adds nothing. The tolerance is half the average saved step, or
// half the interval when smaller; with one saved time t it is
// (|t| + 1) x 0.01; the narrow tolerance is a quarter of it. More than 8000
// times: "Truncating data.  Tool cannot display more than 8000 times"
// (severity 8) and the first 8000 are kept.
table_axis choose_axis_times(const float* saved, int count, double start, double end,
                             double interval, double at_time);

// The times of a table over several runs: each run's times chosen among its
// own saved times as choose_axis_times does (over the same range and at
// time, with the run's own interval), then taken together in time order; a
// time closer to the one before it than the narrow tolerance of both runs'
// (a quarter of each one's tolerance) is the same column. The tolerance is
// the smallest of the runs' tolerances, so a run saved less often matches
// no neighbouring time. Runs without saved times add nothing. More than 8000
// times: the truncation message (once) and the first 8000.
struct axis_source {
    std::vector<float> saved; // the run's saved times, ascending
    double interval = 0;      // the table's step for this run
};
struct union_axis {
    std::vector<float> times;
    double tolerance = 0;
    bool truncated = false;
};
union_axis union_axis_times(const std::vector<axis_source>& runs, double start, double end,
                            double at_time);

// One run's series onto the table's times: each target time gets the value
// of the nearest source time within tolerance (the later one of two equally
// near), else NA. Source times ascending; targets in any order.
void resample(const float* values, const float* times, int n, const float* targets, int m,
              float* out, double tolerance);

// The two columns a table shows in place of a series row: with option 2 the
// lag times k x dt ("Lag time") and the autocorrelation up to max_lag
// ("Autocorrelation"); with any other non-zero option the frequencies
// k / (N x dt') for k below N / 2 ("Frequency") and the first N / 2 magnitudes
// of the spectrum ("Power"), dt' being the spacing of the saved times. dt is
// the run's saving interval (1 when not positive).
struct spectral_columns {
    const char* x_heading = "";
    const char* y_heading = "";
    std::vector<float> x, y;
};
spectral_columns table_spectral_columns(int option, const float* times, const float* values, int n,
                                        double max_lag, double dt);

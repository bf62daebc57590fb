// The statistics of the Stats tool: one row of Count, Min, Max, Mean, Median,
// StDev, (Norm) and percentiles over a list of values, the column headings,
// the analysis window of a run's saved times and R-square of one run against
// another. Windowless: the tool puts the rows into a grid window.
#pragma once

#include <string>
#include <vector>

inline constexpr int stats_max_percentiles = 8;

// The statistics of the values that are not NA.
struct stats_row {
    int count = 0; // values counted (NA skipped); 0: the row shows "--"
    double min = 0, max = 0;
    double mean = 0, median = 0;
    double stdev = 0;                // population deviation (divided by n), never negative
    float norm = 0;                  // stdev / mean, NA when |mean| <= 1e-5 x stdev
    std::vector<double> percentiles; // one per requested percentile
};

// percentiles: tenths of a percent (250 = 25 %), packed (pack_percentiles).
// Percentile p is the sorted value at p x count / 1000, at most the last.
stats_row compute_stats(const float* values, int n, const int* percentiles, int npercentiles);

// Moves the non-zero entries of list[0 .. 8) to the front, sorted ascending;
// returns their count.
int pack_percentiles(int* list);

// "Count", "Min", "Max", "Mean", "Median", "StDev", "(Norm)", a heading per
// packed percentile ("%d%%" of (p + 5) / 10), then "R-square" and "#points"
// when with_r_square.
std::vector<std::string> stats_headings(const int* percentiles, int npercentiles,
                                        bool with_r_square);

// The indices [*first, *last] of the saved times t of the analysis range:
// from the first with start <= t + tol to the last with end > t - tol, tol
// being half the saving interval (0.5 when that is not positive). False when
// none lies in the range.
bool analysis_window(const float* times, int n, double start, double end, double saving_interval,
                     int* first, int* last);

// R-square of A against B: each point of A is matched to the first B time
// with t_B + tol >= t_A when that lies not above t_A + tol (or to the B time
// after it when that one is not beyond t_A and nearer; ties to the earlier);
// points where either value is NA are skipped. r2 = 1 - (sum of squared
// differences) / (sum of squares of A about its mean), 0 when that sum is not
// positive or nothing matched. Returns the number of matched points.
int r_square(const float* times_a, const float* values_a, const float* times_b,
             const float* values_b, double tolerance, int count_a, int count_b, double* r2);

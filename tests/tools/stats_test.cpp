// Stats: medians, deviation of values far from zero, NA skipped, percentiles
// and their headings, the analysis window, R-square and the run colour marks.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "foundation/types.h"
#include "tools/grid_core.h"
#include "tools/stats.h"

namespace {

TEST(Stats, RowOfValuesWithGaps) {
    int pct[8] = {0, 1000, 0, 500, 250, 0, 0, 0};
    ASSERT_EQ(pack_percentiles(pct), 3);
    EXPECT_EQ(pct[0], 250);
    EXPECT_EQ(pct[1], 500);
    EXPECT_EQ(pct[2], 1000);
    EXPECT_EQ(pct[3], 0);

    std::vector<float> v = {4, NA, 1, 3, 2, NA};
    stats_row r = compute_stats(v.data(), 6, pct, 3);
    EXPECT_EQ(r.count, 4);
    EXPECT_DOUBLE_EQ(r.min, 1);
    EXPECT_DOUBLE_EQ(r.max, 4);
    EXPECT_DOUBLE_EQ(r.mean, 2.5);
    EXPECT_DOUBLE_EQ(r.median, 2.5); // even count: the two middle values
    EXPECT_DOUBLE_EQ(r.stdev, std::sqrt(1.25));
    EXPECT_FLOAT_EQ(r.norm, static_cast<float>(std::sqrt(1.25) / 2.5));
    ASSERT_EQ(r.percentiles.size(), 3u);
    EXPECT_DOUBLE_EQ(r.percentiles[0], 2); // index 250 x 4 / 1000 = 1
    EXPECT_DOUBLE_EQ(r.percentiles[1], 3); // index 2
    EXPECT_DOUBLE_EQ(r.percentiles[2], 4); // 100 %: the maximum

    v = {5, 1, 3};
    EXPECT_DOUBLE_EQ(compute_stats(v.data(), 3, pct, 0).median, 3);

    // One value: no deviation; (Norm) 0, or NA when the mean is 0.
    float one = 7;
    r = compute_stats(&one, 1, pct, 3);
    EXPECT_DOUBLE_EQ(r.median, 7);
    EXPECT_DOUBLE_EQ(r.stdev, 0);
    EXPECT_FLOAT_EQ(r.norm, 0);
    one = 0;
    EXPECT_TRUE(is_na(compute_stats(&one, 1, pct, 3).norm));
    // Nothing but NA: no values.
    v = {NA, NA};
    EXPECT_EQ(compute_stats(v.data(), 2, pct, 3).count, 0);
}

TEST(Stats, DeviationFarFromZero) {
    // A sum of squares taken in one pass loses these deviations entirely.
    std::vector<float> v = {1e7f + 1, 1e7f + 2, 1e7f + 3};
    stats_row r = compute_stats(v.data(), 3, nullptr, 0);
    EXPECT_NEAR(r.stdev, std::sqrt(2.0 / 3.0), 1e-9);
    std::vector<float> same(1000, 16777215.0f);
    r = compute_stats(same.data(), 1000, nullptr, 0);
    EXPECT_EQ(r.stdev, 0);
    EXPECT_FLOAT_EQ(r.norm, 0);
}

TEST(Stats, HeadingsRoundToWholePercent) {
    int pct[8] = {975, 25, 0, 0, 0, 0, 0, 0};
    int n = pack_percentiles(pct);
    std::vector<std::string> h = stats_headings(pct, n, true);
    std::vector<std::string> want = {"Count",  "Min", "Max", "Mean",     "Median", "StDev",
                                     "(Norm)", "3%",  "98%", "R-square", "#points"};
    EXPECT_EQ(h, want);
    EXPECT_EQ(stats_headings(pct, 0, false).size(), 7u);
}

TEST(Stats, AnalysisWindowWithinTheRange) {
    std::vector<float> t = {0, 1, 2, 3, 4, 5};
    int f = -1, l = -1;
    ASSERT_TRUE(analysis_window(t.data(), 6, 1, 4, 1, &f, &l));
    EXPECT_EQ(f, 1);
    EXPECT_EQ(l, 4);
    ASSERT_TRUE(analysis_window(t.data(), 6, 0.6, 3.4, 1, &f, &l)); // within half an interval
    EXPECT_EQ(f, 1);
    EXPECT_EQ(l, 3);
    EXPECT_FALSE(analysis_window(t.data(), 6, 7, 9, 1, &f, &l));
}

TEST(Stats, RSquareOfOneRunAgainstAnother) {
    std::vector<float> ta = {0, 1, 2}, a = {1, 2, 3};
    double r2 = -1;
    EXPECT_EQ(r_square(ta.data(), a.data(), ta.data(), a.data(), 0.5, 3, 3, &r2), 3);
    EXPECT_DOUBLE_EQ(r2, 1);
    std::vector<float> b = {2, 2, 2}; // A's mean: explains nothing
    EXPECT_EQ(r_square(ta.data(), a.data(), ta.data(), b.data(), 0.5, 3, 3, &r2), 3);
    EXPECT_DOUBLE_EQ(r2, 0);
    // B saved at other times, within the tolerance, with a gap.
    std::vector<float> tb = {0.2f, 1.1f, 2.3f}, bgap = {1, NA, 3};
    EXPECT_EQ(r_square(ta.data(), a.data(), tb.data(), bgap.data(), 0.4, 3, 3, &r2), 2);
    EXPECT_DOUBLE_EQ(r2, 1);
    // No time in common: no points, R-square 0.
    std::vector<float> far = {10, 11, 12};
    EXPECT_EQ(r_square(ta.data(), a.data(), far.data(), a.data(), 0.5, 3, 3, &r2), 0);
    EXPECT_DOUBLE_EQ(r2, 0);
}

TEST(Stats, RunColourMarksWrapAfterTwelve) {
    EXPECT_EQ(run_colour_mark(0), 1);
    EXPECT_EQ(run_colour_mark(11), 12);
    for (int run = 12; run < 16; ++run) {
        EXPECT_EQ(run_colour_mark(run), run - 11);
        EXPECT_EQ(run_colour_char(run), '0' + run - 12);
    }
    EXPECT_EQ(run_colour_char(11), ';');
}

} // namespace

namespace {

// The analysis range takes the saved times from the first with
// start <= t + tol to the last with end > t - tol, tol half the saving
// interval: over times 0 to 10 saved every 1, a range of 0.5 to 9.5 takes 0
// to 9 (10 lies just outside its end), and 0.5 to 9.51 takes 0 to 10.
TEST(StatsWindow, TheRangesEndsFollowTheHalfIntervalRule) {
    std::vector<float> t;
    for (int k = 0; k <= 10; ++k) t.push_back(static_cast<float>(k));
    int first = -1, last = -1;
    ASSERT_TRUE(analysis_window(t.data(), 11, 0.5, 9.5, 1, &first, &last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 9);
    ASSERT_TRUE(analysis_window(t.data(), 11, 0.5, 9.51, 1, &first, &last));
    EXPECT_EQ(last, 10);
    ASSERT_TRUE(analysis_window(t.data(), 11, 0.51, 9.51, 1, &first, &last));
    EXPECT_EQ(first, 1);
    EXPECT_FALSE(analysis_window(t.data(), 11, 20, 30, 1, &first, &last));
}

} // namespace

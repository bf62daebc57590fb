// Series analysis: transform sizes and a cosine's peak at its own frequency,
// autocorrelation with constant and NA series, the table's time axis
// (interval 0, an at-time inside the axis, one negative time, 8,001 times)
// and resampling a coarser run.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "tests/common/report_log.h"
#include "tools/series.h"

namespace {

class Series : public testing::Test {
protected:
    void TearDown() override { free_scratch(); }
    std::string messages() { return log_.text(); }
    report_log log_;
};

std::vector<float> ramp(int n, double first, double step) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<float>(first + i * step));
    return v;
}

TEST_F(Series, PowerSpectrumSizesAndSums) {
    std::vector<float> ones(5, 1.0f);
    int n = 5;
    float* p = power_spectrum(ones.data(), &n, false);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(n, 8);
    EXPECT_FLOAT_EQ(p[0], 5.0f); // the sum of the values
    // |1 + w + w^2 + w^3 + w^4| at the Nyquist bin (w = -1) is 1.
    EXPECT_NEAR(p[4], 1.0f, 1e-6);

    float one = 3;
    n = 1;
    p = power_spectrum(&one, &n, false);
    EXPECT_EQ(n, 2);
    EXPECT_FLOAT_EQ(p[0], 3.0f);
    EXPECT_FLOAT_EQ(p[1], 3.0f);

    // Removing the mean of a constant leaves nothing.
    std::vector<float> c(6, 2.5f);
    n = 6;
    p = power_spectrum(c.data(), &n, true);
    for (int k = 0; k < n; ++k) EXPECT_NEAR(p[k], 0.0f, 1e-6) << k;
    EXPECT_FLOAT_EQ(c[0], 0.0f);

    // A missing value inside the series gives no spectrum, only NA.
    std::vector<float> gap = {1, 2, NA, 4};
    n = 4;
    p = power_spectrum(gap.data(), &n, false);
    EXPECT_EQ(n, 4);
    for (int k = 0; k < n; ++k) EXPECT_TRUE(is_na(p[k])) << k;
    EXPECT_TRUE(is_na(gap[2]));
    n = 0;
    EXPECT_EQ(power_spectrum(gap.data(), &n, false), nullptr);
}

TEST_F(Series, CosinePeaksAtItsFrequency) {
    // 64 values saved every 0.5 from 0 to 31.5 of a cosine of frequency 1/8:
    // the bins are 1 / (64 x 0.5) apart, so the peak is bin 4 at 0.125.
    const int n = 64;
    std::vector<float> times = ramp(n, 0, 0.5), x;
    for (float t : times)
        x.push_back(static_cast<float>(std::cos(2 * std::numbers::pi * 0.125 * t)));
    int size = n;
    float* p = power_spectrum(x.data(), &size, false);
    ASSERT_EQ(size, 64);
    int peak = 0;
    for (int k = 1; k < size / 2; ++k)
        if (p[k] > p[peak]) peak = k;
    EXPECT_EQ(peak, 4);
    EXPECT_NEAR(p[4], 32.0f, 1e-3);
    double spacing = spectrum_bin_spacing(times.front(), times.back(), n, size);
    EXPECT_DOUBLE_EQ(peak * spacing, 0.125);
    // One value, or all at one time: a spacing of 1 / N.
    EXPECT_DOUBLE_EQ(spectrum_bin_spacing(3, 3, 1, 2), 0.5);
}

TEST_F(Series, SpectralColumnsReplaceASeries) {
    std::vector<float> times = ramp(16, 10, 2), x; // saved every 2 from 10
    for (float t : times) x.push_back(static_cast<float>(std::cos(2 * std::numbers::pi * t / 8)));
    spectral_columns c = table_spectral_columns(1, times.data(), x.data(), 16, 40, 2);
    EXPECT_STREQ(c.x_heading, "Frequency");
    ASSERT_EQ(c.x.size(), 8u); // half of N = 16
    EXPECT_FLOAT_EQ(c.x[1], 1.0f / 32);
    int peak = 0;
    for (int k = 1; k < 8; ++k)
        if (c.y[static_cast<std::size_t>(k)] > c.y[static_cast<std::size_t>(peak)]) peak = k;
    EXPECT_FLOAT_EQ(c.x[static_cast<std::size_t>(peak)], 0.125f);                       // period 8
    EXPECT_FLOAT_EQ(x[0], static_cast<float>(std::cos(2 * std::numbers::pi * 10 / 8))); // untouched

    c = table_spectral_columns(2, times.data(), x.data(), 16, 4, 2);
    EXPECT_STREQ(c.y_heading, "Autocorrelation");
    ASSERT_EQ(c.x.size(), 3u); // lags 0, 2 and 4
    EXPECT_FLOAT_EQ(c.x[2], 4.0f);
    EXPECT_FLOAT_EQ(c.y[0], 1.0f);
    EXPECT_LT(c.y[2], -0.9f); // half a period apart
}

TEST_F(Series, AutocorrelationOfRampConstantAndGaps) {
    std::vector<float> x = {1, 2, 3, 4, 5}; // mean 3, variance 2
    int n = 5;
    float* r = autocorrelation(x.data(), &n, 2, 1);
    ASSERT_EQ(n, 3);
    EXPECT_FLOAT_EQ(r[0], 1.0f);
    EXPECT_FLOAT_EQ(r[1], 0.5f);         // (2 + 0 + 0 + 2) / 4 / 2
    EXPECT_FLOAT_EQ(r[2], -1.0f / 6.0f); // (0 - 1 + 0) / 3 / 2
    n = 5;
    autocorrelation(x.data(), &n, 40, 1); // more lags than values
    EXPECT_EQ(n, 5);
    n = 5;
    autocorrelation(x.data(), &n, 2, 0.5); // lags of half a time unit: 0 to 2 is 5 lags
    EXPECT_EQ(n, 5);

    std::vector<float> flat(10, 7.0f);
    n = 10;
    r = autocorrelation(flat.data(), &n, 3, 1);
    ASSERT_EQ(n, 4);
    EXPECT_FLOAT_EQ(r[0], 1.0f);
    for (int k = 1; k < n; ++k) EXPECT_TRUE(is_na(r[k])) << k;

    std::vector<float> gap = {1, NA, 3, 4};
    n = 4;
    r = autocorrelation(gap.data(), &n, 2, 1);
    ASSERT_EQ(n, 3);
    for (int k = 0; k < n; ++k) EXPECT_TRUE(is_na(r[k])) << k;
}

TEST_F(Series, AxisTimesFromTheSavedTimes) {
    std::vector<float> saved = ramp(101, 0, 1); // 0 .. 100 every 1
    // No interval: every saved time of the range, and no endless loop.
    table_axis a = choose_axis_times(saved.data(), 101, 0, 100, 0, NA);
    EXPECT_EQ(a.indices.size(), 101u);
    EXPECT_DOUBLE_EQ(a.tolerance, 0.5);
    a = choose_axis_times(saved.data(), 101, 20, 30, 0, NA);
    ASSERT_EQ(a.indices.size(), 11u);
    EXPECT_EQ(a.indices.front(), 20);

    // Every 10, with an at-time inside the axis: it goes in its place.
    a = choose_axis_times(saved.data(), 101, 0, 100, 10, 55);
    std::vector<int> want = {0, 10, 20, 30, 40, 50, 55, 60, 70, 80, 90, 100};
    EXPECT_EQ(a.indices, want);
    // An at-time already on the axis is not repeated; one near no saved time
    // takes the last saved time, which is there already.
    EXPECT_EQ(choose_axis_times(saved.data(), 101, 0, 100, 10, 50).indices.size(), 11u);
    EXPECT_EQ(choose_axis_times(saved.data(), 101, 0, 100, 10, 55.4).indices.size(), 11u);

    // Steps finer than the saved times take each saved time once.
    a = choose_axis_times(saved.data(), 101, 0, 10, 0.25, NA);
    EXPECT_EQ(a.indices.size(), 11u);
    EXPECT_DOUBLE_EQ(a.tolerance, 0.125);

    // One saved time below -1 still has a positive tolerance and is taken.
    float one = -5;
    a = choose_axis_times(&one, 1, -5, -5, 1, NA);
    EXPECT_NEAR(a.tolerance, 0.06, 1e-12);
    ASSERT_EQ(a.indices.size(), 1u);
}

TEST_F(Series, AxisOf8001TimesIsTruncated) {
    std::vector<float> saved = ramp(8001, 0, 1);
    table_axis a = choose_axis_times(saved.data(), 8001, 0, 8000, 1, NA);
    EXPECT_TRUE(a.truncated);
    ASSERT_EQ(a.indices.size(), 8000u);
    EXPECT_EQ(a.indices.back(), 7999);
    EXPECT_NE(messages().find("Truncating data.  Tool cannot display more than 8000 times"),
              std::string::npos);
    a = choose_axis_times(saved.data(), 8000, 0, 8000, 1, NA);
    EXPECT_FALSE(a.truncated);
}

TEST_F(Series, ResamplingACoarserRunLeavesGaps) {
    std::vector<float> axis = ramp(11, 0, 1);                           // 0 .. 10 every 1
    std::vector<float> times = ramp(6, 0, 2), values = ramp(6, 100, 1); // every 2
    std::vector<float> out(11);
    resample(values.data(), times.data(), 6, axis.data(), 11, out.data(), 0.5);
    for (int i = 0; i <= 10; ++i) {
        if (i % 2)
            EXPECT_TRUE(is_na(out[static_cast<std::size_t>(i)])) << i;
        else
            EXPECT_FLOAT_EQ(out[static_cast<std::size_t>(i)], 100.0f + i / 2) << i;
    }
    // Between two equally near source times the later wins; targets need not
    // be in order.
    std::vector<float> targets = {3, 1};
    resample(values.data(), times.data(), 6, targets.data(), 2, out.data(), 1.0);
    EXPECT_FLOAT_EQ(out[0], 102.0f);
    EXPECT_FLOAT_EQ(out[1], 101.0f);
}

} // namespace

namespace {

// Two runs' times in one table: a time as close to the one before as the
// narrow tolerance of both runs (a quarter of each one's tolerance) is the
// same column; the finer run's times closer than the coarse run's narrow
// tolerance but farther than its own stay columns of their own. Run A saved
// every 1 (narrow tolerance 0.125), run B every 0.1 (0.0125): over 0 to 1,
// 0 and 1 are shared, 0.1 to 0.9 are B's alone.
TEST(UnionAxis, TimesOfTwoRunsMergeOnlyWithinBothNarrowTolerances) {
    axis_source a, b;
    for (int k = 0; k <= 10; ++k) a.saved.push_back(static_cast<float>(k));
    for (int k = 0; k <= 10; ++k) b.saved.push_back(static_cast<float>(k) / 10.0f);
    const union_axis u = union_axis_times({a, b}, 0, 1, NA);
    std::vector<float> want;
    for (int k = 0; k <= 10; ++k) want.push_back(static_cast<float>(k) / 10.0f);
    EXPECT_EQ(u.times, want);
    EXPECT_NEAR(u.tolerance, 0.05, 1e-7); // the finer run's: half its step
}

} // namespace

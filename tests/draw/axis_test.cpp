// Axis scaling: round numbers and bounds, series mapping with bands, x-y
// mapping with clipping at the plot box.
#include "draw/axis.h"

#include "foundation/types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// A round step is 1, 2, 2.5 or 5 times a power of ten.
TEST(Axis, RoundStepsAreOneTwoTwoAndAHalfOrFiveTimesAPowerOfTen) {
    for (double step : {1.0, 2.0, 2.5, 5.0, 10.0, 0.25, 0.5, 25.0, 250.0, 0.002, 5000.0})
        EXPECT_TRUE(is_round_step(step)) << step;
    for (double step : {3.0, 6.0, 7.5, 0.3, 1.5, 12.0, 0.0, -2.0})
        EXPECT_FALSE(is_round_step(step)) << step;
    EXPECT_FALSE(is_round_step(std::numeric_limits<double>::infinity()));
}

TEST(Axis, RoundNumbersAndBoundsOfTheWorkedExamples) {
    struct {
        double x, step;
        int down;
        double want;
    } numbers[] = {
        {1234, 50, 0, 1300}, {1234, 50, 1, 1200}, {100, 0, 0, 100},  {100, 0, 1, 80},
        {0.035, 0, 0, 0.04}, {0.035, 0, 1, 0.02}, {7, 7, 0, 8},      {0, 0, 0, 0.2},
        {-5, 0, 1, 0.1},     {1, 0, 0, 1},        {3e9, 10, 0, 3e9}, {0.5, 0, 0, 0.6},
    };
    for (const auto& c : numbers)
        EXPECT_NEAR(nice_number(c.x, c.step, c.down), c.want, 1e-12 * std::fabs(c.want))
            << c.x << " step " << c.step << " down " << c.down;

    struct {
        double min, max, lo, hi;
    } ranges[] = {
        {1000, 1010, 1000, 1100},
        {0, 7, 0, 8},
        {-2.5, 10, -4, 10},
        {-3, 10, -10, 10},
        {-5, 10, -10, 10},
        {-1010, -1000, -2000, -800},
        {-10, -8, -10, -6},
        {-7, 0, -8, 0},
        {3, 4, 2, 4},
        {-10, 2.5, -10, 4},
        {1e30, 3e38, 0, axis_unset},
        {-3e38, 3e38, -axis_unset / 2, axis_unset / 2},
    };
    for (const auto& c : ranges) {
        double lo = 0, hi = 0;
        nice_axis_range(c.min, c.max, &lo, &hi);
        EXPECT_NEAR(lo, c.lo, 1e-9 * std::fabs(c.lo) + 1e-12) << c.min << ".." << c.max;
        EXPECT_NEAR(hi, c.hi, 1e-9 * std::fabs(c.hi) + 1e-12) << c.min << ".." << c.max;
    }
}

TEST(Axis, UnsetAndNonFiniteBoundsStayUnsetAndNeverHang) {
    double lo = 0, hi = 0;
    for (auto [a, b] :
         {std::pair{-4e38, 5.0}, std::pair{0.0, 4e38}, std::pair{-inf, 1.0}, std::pair{0.0, inf},
          std::pair{std::nan(""), 1.0}, std::pair{0.0, std::nan("")}}) {
        nice_axis_range(a, b, &lo, &hi);
        EXPECT_EQ(lo, -axis_unset) << a << " " << b;
        EXPECT_EQ(hi, axis_unset) << a << " " << b;
    }
    // Infinity used to divide by ten for ever.
    EXPECT_EQ(nice_number(inf, 0, 0), inf);
    EXPECT_EQ(nice_number(-inf, 10, 1), -inf);
    EXPECT_TRUE(std::isnan(nice_number(std::nan(""), 0, 0)));
    EXPECT_GT(nice_number(1e308, 0, 0), 0);
    EXPECT_GT(nice_number(1e-300, 0, 0), 0);
}

TEST(Axis, SeriesMapToTheSquareWithZeroSpansAndBadPointsHandled) {
    const float t[] = {0, 1, 2, 3, 4, 5};
    const float v[] = {0, 50, 100, 1e30f, NA, std::numeric_limits<float>::quiet_NaN()};
    std::int16_t x[6], y[6];
    int k = map_series_with_bands(t, v, 6, nullptr, 0, 0, 4, 0, 100, x, y, 6, nullptr, 0, 0);
    ASSERT_EQ(k, 4); // NA and NaN left out, t = 5 beyond x_max
    EXPECT_EQ(x[0], 0);
    EXPECT_EQ(x[1], 2500);
    EXPECT_EQ(x[3], 7500);
    EXPECT_EQ(y[0], 10000);
    EXPECT_EQ(y[1], 5000);
    EXPECT_EQ(y[2], 0);
    EXPECT_EQ(y[3], -axis_pos_limit); // far above the top
    EXPECT_EQ(axis_y_pos(-1e30, 0, 100), axis_pos_limit);
    // A flat range (a constant) maps as a span of one, not a division by zero.
    const float c[] = {7, 7};
    const float tt[] = {3, 3};
    k = map_series_with_bands(tt, c, 2, nullptr, 0, 3, 3, 7, 7, x, y, 6, nullptr, 0, 0);
    ASSERT_EQ(k, 2);
    EXPECT_EQ(x[0], 0);
    EXPECT_EQ(y[0], 0);
    EXPECT_EQ(axis_x_pos(4, 3, 3), 10000);
}

TEST(Axis, BandsTakeTheRunsAtTheirSortedIndexes) {
    const int runs = 200;
    std::vector<std::vector<float>> data(runs, std::vector<float>(1));
    std::vector<const float*> ptrs;
    for (int j = 0; j < runs; ++j) {
        data[static_cast<std::size_t>(j)][0] = static_cast<float>((j * 37) % runs); // a permutation
        ptrs.push_back(data[static_cast<std::size_t>(j)].data());
    }
    const float t[] = {0}, v[] = {100};
    std::int32_t bounds[] = {950, 1200};
    std::int16_t x[1], y[6];
    int k = map_series_with_bands(t, v, 1, ptrs.data(), runs, 0, 1, 0, 200, x, y, 1, bounds, 2, 1);
    ASSERT_EQ(k, 1);
    EXPECT_EQ(bounds[1], 1000);               // stored back limited
    EXPECT_EQ(y[2], axis_y_pos(4, 0, 200));   // h = 25: index 199 x 25 / 1000 = 4
    EXPECT_EQ(y[3], axis_y_pos(194, 0, 200)); // 199 x 975 / 1000 = 194
    EXPECT_EQ(y[4], axis_y_pos(0, 0, 200));
    EXPECT_EQ(y[5], axis_y_pos(199, 0, 200));
    EXPECT_EQ(y[1], axis_y_pos(99.5, 0, 200)); // the mean
    // Bounds with no runs read nothing: the band lies on the series.
    k = map_series_with_bands(t, v, 1, nullptr, 0, 0, 1, 0, 200, x, y, 1, bounds, 2, 1);
    ASSERT_EQ(k, 1);
    for (int r = 1; r < 6; ++r) EXPECT_EQ(y[r], y[0]) << r;
    // Equal values keep their order.
    float a[] = {1}, b[] = {1}, c[] = {0};
    const float* s[] = {a, b, c};
    sort_series_at(s, 3, 0);
    EXPECT_EQ(s[0], c);
    EXPECT_EQ(s[1], a);
    EXPECT_EQ(s[2], b);
}

TEST(Axis, ClippedLinesLeaveAndEnterTheBoxOnItsEdges) {
    // A line rising out through the top and coming back down: the exit and
    // entry points lie on the top edge (y -1) at the crossing x.
    const float xs[] = {0, 2, 4, 6, 8};
    const float ys[] = {0, 8, 14, 8, 0};
    std::int16_t x[16], y[16];
    int stop = -1;
    int k = map_xy_series(xs, ys, 5, 0, 8, 0, 10, x, y, 0, 0, &stop);
    ASSERT_EQ(k, 6);
    EXPECT_EQ(stop, 5);
    EXPECT_EQ(y[2], -1);
    EXPECT_EQ(x[2], 3333); // crosses y 10 at x 2 + 2 x 2/6
    EXPECT_EQ(y[3], -1);
    EXPECT_EQ(y[1], 2000);
    EXPECT_EQ(x[5], 10000);
    // A segment crossing the whole box adds its entry and exit; beyond the
    // right edge the x position is 10001, before the left edge -1.
    set_clip_box(0, 10, 0, 10);
    axis_point seg[2];
    ASSERT_EQ(clip_segment(-5, 5, 15, 5, seg), 1);
    EXPECT_EQ(seg[0].x, -1);
    EXPECT_EQ(seg[0].y, 5000);
    EXPECT_EQ(seg[1].x, 10001);
    EXPECT_EQ(seg[1].y, 5000);
    ASSERT_EQ(clip_segment(5, -5, 5, 20, seg), 1);
    EXPECT_EQ(seg[0].y, 10001); // the bottom, top-down like every y position
    EXPECT_EQ(seg[1].y, -1);
    EXPECT_EQ(seg[0].x, 5000);
    EXPECT_EQ(clip_segment(-5, 5, -1, 50, seg), 0); // both left of the box
    EXPECT_EQ(clip_segment(-5, 8, 8, 25, seg), 0);  // passes the corner outside
    // A walk ending outside with mode -1 is closed; the point limit holds.
    k = map_xy_series(xs, ys, 3, 0, 8, 0, 10, x, y, -1, 0, nullptr);
    EXPECT_EQ(k, 4);
    EXPECT_EQ(x[3], 10000);
    EXPECT_EQ(y[3], 0);
    k = map_xy_series(xs, ys, 5, 0, 8, 0, 10, x, y, 0, 3, &stop);
    EXPECT_EQ(k, 3);
    EXPECT_EQ(stop, 3);
    // Coming back in with one place left: the entry and the point would be
    // two positions, more than the limit lets be written.
    for (int limit : {4, 5}) {
        std::int16_t lx[8], ly[8];
        std::fill(std::begin(lx), std::end(lx), std::int16_t{12345});
        k = map_xy_series(xs, ys, 5, 0, 8, 0, 10, lx, ly, 0, limit, &stop);
        EXPECT_LE(k, limit) << limit;
        EXPECT_EQ(lx[limit], 12345) << "written past the limit " << limit;
    }
    const float bad[] = {0, std::numeric_limits<float>::infinity(), 4};
    const float by[] = {1, 2, NA};
    k = map_xy_series(xs, by, 3, 0, 8, 0, 10, x, y, 1, 0, nullptr);
    EXPECT_EQ(k, 2);
    k = map_xy_series(bad, ys, 3, 0, 8, 0, 10, x, y, 0, 0, nullptr);
    EXPECT_EQ(k, 2);
}

// Round steps over a range: the open ends move outward to multiples of the
// step, the smallest such range wins, then the count nearest the one wanted.
TEST(Axis, RoundStepsMoveOpenEndsOutwardToMultiplesOfTheStep) {
    round_scale r;
    // 3..97 wanting 5: steps 10, 20 and 25 all span 0..100; 20 gives the 5.
    ASSERT_TRUE(round_axis_steps(3, 97, 5, 3, 10, true, true, &r));
    EXPECT_DOUBLE_EQ(r.lo, 0);
    EXPECT_DOUBLE_EQ(r.hi, 100);
    EXPECT_EQ(r.divisions, 5);
    // Below zero the low end goes down, not up towards the data.
    ASSERT_TRUE(round_axis_steps(-13, 37, 5, 3, 10, true, true, &r));
    EXPECT_DOUBLE_EQ(r.lo, -20);
    EXPECT_DOUBLE_EQ(r.hi, 40);
    EXPECT_EQ(r.divisions, 6);
    // Only the open end moves: a set low end of 3 keeps its place and must
    // be a multiple of the step (1 here, 94 of them: too many).
    EXPECT_FALSE(round_axis_steps(3, 97, 5, 3, 10, false, true, &r));
    ASSERT_TRUE(round_axis_steps(20, 97, 4, 2, 8, false, true, &r));
    EXPECT_DOUBLE_EQ(r.lo, 20);
    EXPECT_DOUBLE_EQ(r.hi, 100);
    EXPECT_EQ(r.divisions, 4);
    // Both ends set: a step that divides the range, the count nearest 4.
    ASSERT_TRUE(round_axis_steps(0, 100, 4, 2, 8, false, false, &r));
    EXPECT_DOUBLE_EQ(r.hi, 100);
    EXPECT_EQ(r.divisions, 4); // 25 each
    EXPECT_FALSE(round_axis_steps(0, 0, 4, 2, 8, true, true, &r));
    EXPECT_FALSE(round_axis_steps(0, 10, 4, 5, 2, true, true, &r));
}

} // namespace

// Tick runs over a value range: places, end ticks, the every-n-th switches,
// and ranges that would make endless or huge runs.
#include "chart/tick_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using chart::plan_range_ticks;
using chart::PlannedTick;
using chart::TickRunSettings;

namespace {

std::vector<double> values(const std::vector<PlannedTick>& ticks) {
    std::vector<double> v;
    for (const PlannedTick& t : ticks) v.push_back(t.value);
    return v;
}

TEST(TickRun, ZeroToNineStepTwo) {
    TickRunSettings s;
    s.step = 2;
    auto t = plan_range_ticks(s, 0, 9);
    EXPECT_EQ(values(t), (std::vector<double>{0, 2, 4, 6, 8, 9}));
    EXPECT_EQ(t.back().end, 1);
    EXPECT_TRUE(t.back().label);
    for (const PlannedTick& k : t) {
        EXPECT_FALSE(k.minor) << k.value; // every tick major at majorEvery 1
        EXPECT_FALSE(k.grid) << k.value;  // no grid at gridEvery 0
        EXPECT_TRUE(k.mark);
    }
    s.end_tick_at_max = false;
    EXPECT_EQ(values(plan_range_ticks(s, 0, 9)), (std::vector<double>{0, 2, 4, 6, 8}));
}

TEST(TickRun, RangeAcrossZeroRunsBothWays) {
    TickRunSettings s;
    s.step = 1;
    auto t = plan_range_ticks(s, -4, 4);
    EXPECT_EQ(values(t), (std::vector<double>{0, 1, 2, 3, 4, -1, -2, -3, -4}));
    EXPECT_EQ(t[4].end, 1);
    EXPECT_EQ(t[8].end, -1);
    // Index placement makes no zero tick, but 0 still stands once.
    s.x_mode = 1;
    EXPECT_EQ(values(plan_range_ticks(s, -2, 2)), (std::vector<double>{0, 1, 2, -1, -2}));
    // Entirely positive: the run starts at the minimum.
    s.x_mode = 3;
    EXPECT_EQ(values(plan_range_ticks(s, 10, 12.5)), (std::vector<double>{10, 11, 12, 12.5}));
    EXPECT_EQ(values(plan_range_ticks(s, -3.5, -2)), (std::vector<double>{-2, -3, -3.5}));
}

TEST(TickRun, EveryNthSwitches) {
    TickRunSettings s;
    s.step = 1;
    s.major_every = 2;
    s.grid_every = 3;
    s.label_every = 2;
    s.label_max_tick = false;
    auto t = plan_range_ticks(s, 1, 7);
    ASSERT_EQ(values(t), (std::vector<double>{1, 2, 3, 4, 5, 6, 7}));
    std::vector<bool> minor, grid, label;
    for (const PlannedTick& k : t)
        minor.push_back(k.minor), grid.push_back(k.grid), label.push_back(k.label);
    EXPECT_EQ(minor, (std::vector<bool>{false, true, false, true, false, true, false}));
    EXPECT_EQ(grid, (std::vector<bool>{true, false, false, true, false, false, true}));
    EXPECT_EQ(label, (std::vector<bool>{true, false, true, false, true, false, true}));

    // The zero tick counts as the first of each run.
    s.grid_every = 2;
    auto z = plan_range_ticks(s, 0, 4);
    ASSERT_EQ(values(z), (std::vector<double>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(z[0].grid);
    EXPECT_FALSE(z[1].grid);
    EXPECT_TRUE(z[2].grid);
    EXPECT_TRUE(z[1].minor);
    EXPECT_FALSE(z[2].minor);

    s.major_every = 0;
    // With every other tick minor the zero tick stays a major one, whether
    // the range starts at it or crosses it.
    for (double lo : {0.0, -2.0}) {
        auto m = plan_range_ticks(s, lo, 4);
        ASSERT_GE(m.size(), 2u);
        EXPECT_EQ(m[0].value, 0);
        EXPECT_FALSE(m[0].minor) << lo;
        EXPECT_TRUE(m[1].minor) << lo;
    }
    s.hide_tick_marks = true;
    for (const PlannedTick& k : plan_range_ticks(s, 1, 5)) {
        EXPECT_TRUE(k.minor);
        EXPECT_FALSE(k.mark);
    }
}

TEST(TickRun, RunawayRangesStop) {
    TickRunSettings s;
    const double inf = std::numeric_limits<double>::infinity();
    s.step = 100;
    // A step lost against the values' size ends (at most kMaxTicks ticks).
    auto big = plan_range_ticks(s, 1e20, 1e20 + 1e6);
    EXPECT_LE(static_cast<int>(big.size()), chart::kMaxTicks);
    s.step = 1e-9;
    EXPECT_EQ(static_cast<int>(plan_range_ticks(s, 0, 1).size()), chart::kMaxTicks);
    s.step = inf;
    EXPECT_TRUE(plan_range_ticks(s, 0, 1).empty());
    s.step = 0;
    EXPECT_TRUE(plan_range_ticks(s, 0, 1).empty());
    s.step = 1;
    EXPECT_TRUE(plan_range_ticks(s, 3, 3).empty());
    EXPECT_TRUE(plan_range_ticks(s, 0, std::nan("")).empty());
    EXPECT_TRUE(plan_range_ticks(s, -inf, 0).empty());
}

TEST(TickRun, GridEveryMarksFromTheFirst) {
    EXPECT_EQ(chart::grid_marks(10, 2),
              (std::vector<bool>{true, false, true, false, true, false, true, false, true, false}));
    EXPECT_EQ(chart::grid_marks(3, 0), (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(chart::grid_marks(-1, 2).empty());
}

} // namespace

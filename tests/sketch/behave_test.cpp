// Behaviour graphs: the range rules, and the graphs the sketch draws in its
// variables' boxes while Livesweep re-runs the model.
#include "sketch/behave.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cfloat>
#include <cmath>
#include <limits>

#include "foundation/types.h"
#include "tests/sketch/live_fixture.h"

namespace td = test_driver;

namespace {

class BehaviorRange : public ::testing::Test {
protected:
    void SetUp() override { behavior_opts = behavior_options{}; }
    void TearDown() override { behavior_opts = behavior_options{}; }
    behavior_range draw(double mn, double mx, float dmin = NA, float dmax = NA,
                        bool with_symbol = true) {
        return compute_behavior_range(mn, mx, with_symbol, dmin, dmax, remembered, &flash);
    }
    behavior_range remembered;
    behavior_flash flash = flash_none;
};

TEST_F(BehaviorRange, FlatSeriesGetABandAroundTheirValue) {
    behavior_range r = draw(0, 0);
    EXPECT_DOUBLE_EQ(r.lo, -0.1);
    EXPECT_DOUBLE_EQ(r.hi, 0.1);
    remembered = {};
    r = draw(10, 10);
    EXPECT_DOUBLE_EQ(r.lo, 9);
    EXPECT_DOUBLE_EQ(r.hi, 11);
    remembered = {};
    r = draw(-10, -10);
    EXPECT_DOUBLE_EQ(r.lo, -10.1);
    EXPECT_DOUBLE_EQ(r.hi, -9.9);
}

TEST_F(BehaviorRange, TheRememberedRangeHoldsStillAndAGrowingOneFlashes) {
    // The first drawing sets the range without flashing: nothing was shown.
    behavior_range r = draw(0, 100);
    EXPECT_EQ(flash, flash_none);
    EXPECT_DOUBLE_EQ(r.hi, 100);
    // Smaller data inside the range keeps it (no symbol: no shrinking).
    r = draw(10, 50, NA, NA, false);
    EXPECT_DOUBLE_EQ(r.lo, 0);
    EXPECT_DOUBLE_EQ(r.hi, 100);
    EXPECT_EQ(flash, flash_none);
    // Data past the top rescales and tints the box.
    r = draw(0, 150);
    EXPECT_DOUBLE_EQ(r.hi, 150);
    EXPECT_EQ(flash, flash_grew);
    EXPECT_TRUE(behavior_opts.rescaled);
    EXPECT_DOUBLE_EQ(remembered.hi, 150);
    // With the symbol, a range that became smaller follows the data.
    r = draw(0, 20);
    EXPECT_DOUBLE_EQ(r.hi, 20);
    EXPECT_EQ(flash, flash_shrank);
}

TEST_F(BehaviorRange, ADeclaredRangeWinsWithoutFlashing) {
    behavior_range r = draw(2, 5, 0.0f, 10.0f);
    EXPECT_DOUBLE_EQ(r.lo, 0);
    EXPECT_DOUBLE_EQ(r.hi, 10);
    for (double top : {6.0, 3.0, 9.0}) {
        r = draw(1, top, 0.0f, 10.0f);
        EXPECT_DOUBLE_EQ(r.lo, 0);
        EXPECT_DOUBLE_EQ(r.hi, 10);
        EXPECT_EQ(flash, flash_none) << top;
    }
}

TEST_F(BehaviorRange, KeptModesHoldTheOldRangeAndMode255Forgets) {
    behavior_opts.range_mode = 1;
    draw(0, 10);
    behavior_range r = draw(0, 40);
    EXPECT_DOUBLE_EQ(r.hi, 10); // kept, the curve is clipped
    EXPECT_EQ(flash, flash_none);
    behavior_opts.range_mode = 255;
    r = draw(0, 40);
    EXPECT_DOUBLE_EQ(r.hi, 40);
    r = draw(0, 5, NA, NA, false);
    EXPECT_DOUBLE_EQ(r.hi, 5);
}

TEST_F(BehaviorRange, MarginWidensTheFreeEndsOnly) {
    behavior_opts.margin = 1.2f;
    behavior_range r = draw(0, 10, NA, NA, false);
    EXPECT_NEAR(r.lo, -1, 1e-5);
    EXPECT_NEAR(r.hi, 11, 1e-5);
    remembered = {};
    r = draw(0, 10, NA, 10.0f);
    EXPECT_NEAR(r.lo, -1, 1e-5);
    EXPECT_DOUBLE_EQ(r.hi, 10);
    behavior_opts.include_zero = true;
    remembered = {};
    r = draw(5, 10, NA, NA, false);
    EXPECT_DOUBLE_EQ(r.lo, 0);
    EXPECT_NEAR(r.hi, 12, 1e-5);
}

TEST(BehaviorExtremes, RunsOfMissingValuesDoNotCount) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    double mn = DBL_MAX, mx = -DBL_MAX;
    const float missing[] = {NA, NA, nan, inf};
    EXPECT_FALSE(behavior_extremes(missing, 4, &mn, &mx));
    EXPECT_EQ(mn, DBL_MAX);
    const float some[] = {NA, 3e38f, -2, inf, 5};
    EXPECT_TRUE(behavior_extremes(some, 5, &mn, &mx));
    EXPECT_EQ(mn, -2);
    EXPECT_FLOAT_EQ(static_cast<float>(mx), 3e38f);
    // A range built from float extremes stays finite in double.
    behavior_range rem;
    behavior_range r = compute_behavior_range(-3e38, 3e38, false, NA, NA, rem, nullptr);
    EXPECT_TRUE(std::isfinite(r.hi - r.lo));
}

// Long series (the vector loop and its remainder), the extremes at either end
// of a series, the float range's ends and values left out anywhere: the same
// extremes as a comparison of each value in double, also carried across runs.
TEST(BehaviorExtremes, LongSeriesGiveTheExtremesOfEachValueInDouble) {
    const float special[] = {NA,
                             std::numeric_limits<float>::quiet_NaN(),
                             -std::numeric_limits<float>::infinity(),
                             FLT_MAX,
                             -FLT_MAX,
                             1e-40f,
                             -0.0f};
    std::uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    double mn = DBL_MAX, mx = -DBL_MAX, rmn = DBL_MAX, rmx = -DBL_MAX;
    for (int count : {1, 7, 8, 17, 401, 1003}) {
        std::vector<float> v(static_cast<std::size_t>(count));
        for (float& x : v)
            x = next() % 5 == 0 ? special[next() % 7] : static_cast<float>(next() % 20001) - 1e4f;
        bool any = false;
        for (float x : v)
            if (!is_na(x) && std::isfinite(x)) {
                any = true;
                rmn = std::min(rmn, static_cast<double>(x));
                rmx = std::max(rmx, static_cast<double>(x));
            }
        EXPECT_EQ(behavior_extremes(v.data(), count, &mn, &mx), any) << count;
        EXPECT_EQ(mn, rmn) << count;
        EXPECT_EQ(mx, rmx) << count;
    }
    EXPECT_EQ(mx, FLT_MAX); // the special values did come up
    EXPECT_EQ(mn, -FLT_MAX);
}

// The population sample under Livesweep: its stock's box shows the curve.
class SketchBehavior : public LiveSketch {
protected:
    // The pixels of an element's box.
    QImage box(const QImage& image, const sketch_elem* e) {
        auto px = [&](int v, int scroll) { return v * s_->zoom / 100 - scroll; };
        return image.copy(px(e->x - e->w, s_->scroll_x), px(e->y - e->h, s_->scroll_y),
                          px(e->x + e->w, s_->scroll_x) - px(e->x - e->w, s_->scroll_x) + 1,
                          px(e->y + e->h, s_->scroll_y) - px(e->y - e->h, s_->scroll_y) + 1);
    }
    static int coloured(const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                QColor c = img.pixelColor(x, y);
                if (std::abs(c.red() - c.green()) > 40 || std::abs(c.blue() - c.green()) > 40) ++n;
            }
        return n;
    }
};

TEST_F(SketchBehavior, LivesweepDrawsCurvesThatFollowEachReRun) {
    const sketch_elem* pop = variable("Population");
    ASSERT_NE(pop, nullptr);
    const QImage plain = box(shot("behave-plain.png"), pop);
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_on);
    const QImage live = box(shot("behave-live.png"), pop);
    EXPECT_NE(live, plain);
    EXPECT_GT(coloured(live), coloured(plain) + 10) << "no curve drawn in the stock's box";

    // A faster birth rate re-run: the stock's curve changes.
    const std::int32_t slot = slot_of("birth rate");
    ASSERT_EQ(set_setup_value(slot, 0.08f), 1);
    ASSERT_EQ(livesweep_rerun(token_of(view_), 2, 0), 1);
    const QImage faster = box(shot("behave-faster.png"), pop);
    EXPECT_NE(faster, live);

    // Leaving Livesweep takes the graphs away; Show Behavior brings them back.
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_off);
    InvalidateRect(view_, nullptr, FALSE);
    EXPECT_EQ(box(shot("behave-off.png"), pop), plain);
    set_behavior_display(true);
    InvalidateRect(view_, nullptr, FALSE);
    EXPECT_GT(coloured(box(shot("behave-shown.png"), pop)), coloured(plain) + 10);
}

TEST_F(SketchBehavior, ConstantsShowNoGraph) {
    const sketch_elem* rate = variable("birth rate");
    ASSERT_NE(rate, nullptr);
    const QImage plain = box(shot("behave-c0.png"), rate);
    set_behavior_display(true);
    InvalidateRect(view_, nullptr, FALSE);
    EXPECT_EQ(box(shot("behave-c1.png"), rate), plain);
}

} // namespace

// A declared end the data reach exactly still holds that end: the margin
// widens only the other one, whichever end it is.
TEST_F(BehaviorRange, ADeclaredEndTheDataReachHoldsAgainstTheMargin) {
    behavior_opts.margin = 1.2f;
    behavior_range r = draw(0, 10, 0.0f, NA);
    EXPECT_DOUBLE_EQ(r.lo, 0);
    EXPECT_NEAR(r.hi, 11, 1e-5);
    remembered = {};
    r = draw(-4, 6, -4.0f, 6.0f);
    EXPECT_DOUBLE_EQ(r.lo, -4);
    EXPECT_DOUBLE_EQ(r.hi, 6);
    remembered = {};
    // A declared end inside the data is no end: the data and margin decide.
    r = draw(0, 10, 2.0f, 8.0f);
    EXPECT_NEAR(r.lo, -1, 1e-5);
    EXPECT_NEAR(r.hi, 11, 1e-5);
}

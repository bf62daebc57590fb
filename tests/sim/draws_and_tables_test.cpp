// What the random functions draw over many steps (their distributions'
// moments), arrayed lookups beyond their ends, points of lookups read from
// outside sources as the run file keeps them, and control variables computed
// from other constants.
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "model/blockfile.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

// Runs a finished model on every road of the engine in turn (the
// interpreter alone, the flat loop, the native tiers where there are) and
// checks each road's output on its own.
void back_to_the_usual_roads() {
    set_flat_passes(true);
    set_native_mode(nm_environment);
    forget_kept_passes();
}
template <typename Check> void on_every_road(model_builder& b, Check check) {
    message_capture messages;
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
    const int modes[] = {nm_off, nm_off, nm_tier0, nm_tier1};
    const char* names[] = {"interpreter", "flat loop", "tier 0", "tier 1"};
    for (int r = 0; r < (native_available() ? 4 : 2); ++r) {
        SCOPED_TRACE(names[r]);
        set_flat_passes(r != 0);
        set_native_mode(modes[r]);
        forget_kept_passes();
        sim_output out;
        ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
        check(out);
    }
    back_to_the_usual_roads();
}

class Draws : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override { back_to_the_usual_roads(); }

    // The values of x at every step of a run of n steps of TIME STEP 1, the
    // same on every road.
    std::vector<double> draws(const char* expr, int n) {
        model_builder b("draws");
        b.control(0, static_cast<float>(n - 1), 1, 1);
        b.aux("x", expr);
        std::vector<std::vector<double>> roads;
        on_every_road(b, [&](const sim_output& out) {
            std::vector<double> v;
            for (std::size_t k = 0; k < out.times.size(); ++k)
                v.push_back(saved_value(out, k, slot_of(b, "x")));
            EXPECT_EQ(v.size(), static_cast<std::size_t>(n));
            if (!roads.empty()) {
                EXPECT_EQ(v, roads.front());
            }
            roads.push_back(std::move(v));
        });
        return roads.empty() ? std::vector<double>{} : roads.front();
    }
    static double mean(const std::vector<double>& v) {
        double s = 0;
        for (double x : v) s += x;
        return s / static_cast<double>(v.size());
    }
    static double sd(const std::vector<double>& v) {
        const double m = mean(v);
        double s = 0;
        for (double x : v) s += (x - m) * (x - m);
        return std::sqrt(s / static_cast<double>(v.size() - 1));
    }
};

// 4000 draws: the sample mean lies within 0.07 standard deviations of the
// true one and the sample deviation within 5 % (both some four standard
// errors); a deviation off by a factor of the square root of two is not.
TEST_F(Draws, NormalDrawsHaveTheirMeanAndDeviationAndStayWithinTheirBounds) {
    const std::vector<double> v = draws("RANDOM NORMAL(-100, 100, 5, 3, 11)", 4000);
    EXPECT_NEAR(mean(v), 5, 0.07 * 3);
    EXPECT_NEAR(sd(v), 3, 0.05 * 3);
    // About 68 % within one deviation of the mean.
    std::size_t inside = 0;
    for (double x : v) inside += std::fabs(x - 5) < 3;
    EXPECT_NEAR(static_cast<double>(inside) / 4000.0, 0.6827, 0.03);
    // Draws beyond the bounds take the bound.
    const std::vector<double> c = draws("RANDOM NORMAL(4, 6, 5, 3, 11)", 400);
    std::size_t low = 0, high = 0;
    for (double x : c) {
        EXPECT_GE(x, 4);
        EXPECT_LE(x, 6);
        low += x == 4;
        high += x == 6;
    }
    // Each tail beyond a third of a deviation holds some 37 % of the draws.
    EXPECT_GT(low, 100u);
    EXPECT_GT(high, 100u);
}

TEST_F(Draws, UniformAndExponentialDrawsHaveTheirMeansAndDeviations) {
    // Uniform on [2, 6]: mean 4, deviation 4 / sqrt(12).
    const std::vector<double> u = draws("RANDOM UNIFORM(2, 6, 3)", 4000);
    EXPECT_NEAR(mean(u), 4, 0.07);
    EXPECT_NEAR(sd(u), 4 / std::sqrt(12.0), 0.05);
    for (double x : u) {
        EXPECT_GE(x, 2);
        EXPECT_LE(x, 6);
    }
    // Exponential shifted by 1 and stretched by 2: mean 3, deviation 2,
    // nothing below the shift.
    const std::vector<double> e = draws("RANDOM EXPONENTIAL(0, 1000, 1, 2, 7)", 4000);
    EXPECT_NEAR(mean(e), 3, 0.15);
    EXPECT_NEAR(sd(e), 2, 0.15);
    for (double x : e) EXPECT_GE(x, 1);
}

class Tables : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override { back_to_the_usual_roads(); }
};

// Each element of an arrayed lookup keeps its own end values beyond its
// points (no extrapolation), and NA in gives NA out.
TEST_F(Tables, ArrayedLookupsHoldTheirEndValuesBeyondTheirPoints) {
    model_builder b("curves");
    b.control(0, 4, 1, 1);
    b.range("region", {"north", "south"});
    b.lookup("Curve[north]", {{0, 10}, {1, 20}});
    b.lookup("Curve[south]", {{0, -5}, {2, 5}});
    b.aux("below[region]", "Curve[region](-3 - Time)");
    b.aux("above[region]", "Curve[region](3 + Time)");
    b.aux("inside[region]", "Curve[region](0.5)");
    on_every_road(b, [&](const sim_output& out) {
        ASSERT_EQ(out.times.size(), 5u);
        const std::int32_t below = slot_of(b, "below"), above = slot_of(b, "above"),
                           inside = slot_of(b, "inside");
        for (std::size_t k = 0; k < out.times.size(); ++k) {
            EXPECT_EQ(saved_value(out, k, below), 10) << k;
            EXPECT_EQ(saved_value(out, k, below + 1), -5) << k;
            EXPECT_EQ(saved_value(out, k, above), 20) << k;
            EXPECT_EQ(saved_value(out, k, above + 1), 5) << k;
            EXPECT_EQ(saved_value(out, k, inside), 15) << k;
            EXPECT_EQ(saved_value(out, k, inside + 1), -2.5f) << k;
        }
    });
}

} // namespace

namespace {

class Controls : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    message_capture messages;
};

// Control variables computed from other values: the values they read are
// computed first, also those read through another control.
TEST_F(Controls, ControlsComputedFromOtherConstantsSetTheTimeAxis) {
    model_builder b("horizon");
    b.control(0, 100, 1, 1);
    b.constant("horizon", 3);
    b.constant("resolution", 4);
    b.aux("FINAL TIME", "horizon * 2");
    b.aux("TIME STEP", "1 / resolution");
    b.aux("SAVEPER", "TIME STEP * 4");
    b.level("S", "1", "0");
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    ASSERT_EQ(out.times.size(), 7u); // 0 to 6 by 1, stepping by a quarter
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        EXPECT_EQ(out.times[k], static_cast<float>(k));
        EXPECT_FLOAT_EQ(saved_value(out, k, slot_of(b, "S")), static_cast<float>(k));
    }
}

} // namespace

namespace {

class Conditions : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override { back_to_the_usual_roads(); }
};

// IF THEN ELSE takes any condition but 0 as true, a negative one too, on
// one element and on many, in the initial pass and after it; :NOT: alike.
TEST_F(Conditions, ANegativeConditionIsTrueOnEveryRoad) {
    model_builder b("conditions");
    b.control(0, 2, 1, 1);
    std::vector<std::string> names;
    for (int k = 0; k < 40; ++k) names.push_back("e" + std::to_string(k));
    std::vector<const char*> elems;
    for (auto& n : names) elems.push_back(n.c_str());
    b.range("cell", elems);
    b.aux("cond[cell]", "Time - 1.5");
    b.aux("pick[cell]", "IF THEN ELSE(cond[cell], 10, 20)");
    b.aux("zero[cell]", "IF THEN ELSE(cond[cell] * 0, 10, 20)");
    b.aux("one", "IF THEN ELSE(Time - 1.5, 10, 20)");
    // :NOT: of any number but 0 is 0, of a negative one too.
    b.aux("nots[cell]", ":NOT: cond[cell]");
    b.aux("not zero[cell]", ":NOT: (cond[cell] * 0)");
    b.aux("not one", ":NOT: (Time - 1.5)");
    on_every_road(b, [&](const sim_output& out) {
        ASSERT_EQ(out.times.size(), 3u);
        const std::int32_t pick = slot_of(b, "pick"), zero = slot_of(b, "zero"),
                           one = slot_of(b, "one");
        for (std::size_t t = 0; t < 3; ++t) {
            for (int k = 0; k < 40; ++k) {
                EXPECT_EQ(saved_value(out, t, pick + k), 10) << t << " " << k;
                EXPECT_EQ(saved_value(out, t, zero + k), 20) << t << " " << k;
                EXPECT_EQ(saved_value(out, t, slot_of(b, "nots") + k), 0) << t << " " << k;
                EXPECT_EQ(saved_value(out, t, slot_of(b, "not zero") + k), 1) << t << " " << k;
            }
            EXPECT_EQ(saved_value(out, t, one), 10) << t;
            EXPECT_EQ(saved_value(out, t, slot_of(b, "not one")), 0) << t;
        }
    });
}

// SUM, PROD, VMIN and VMAX over elements of which one is missing give the
// missing value, however many elements the reduction runs over.
TEST_F(Conditions, AReductionOverAMissingElementIsMissing) {
    for (int count : {3, 40, 300}) {
        SCOPED_TRACE(count);
        model_builder b("reductions");
        b.control(0, 2, 1, 1);
        std::vector<std::string> names;
        for (int k = 0; k < count; ++k) names.push_back("e" + std::to_string(k));
        std::vector<const char*> elems;
        for (auto& n : names) elems.push_back(n.c_str());
        b.range("cell", elems);
        std::vector<float> k(static_cast<std::size_t>(count), 1);
        k[1] = NA;
        b.constant_list("k[cell]", k);
        b.aux("x[cell]", "k[cell] * (Time + 1)");
        b.aux("total", "SUM(x[cell!])");
        b.aux("product", "PROD(x[cell!])");
        b.aux("least", "VMIN(x[cell!])");
        b.aux("most", "VMAX(x[cell!])");
        b.constant_list("j[cell]", std::vector<float>(static_cast<std::size_t>(count), 2));
        b.aux("y[cell]", "j[cell] * (Time + 1)");
        b.aux("sound", "SUM(y[cell!])");
        on_every_road(b, [&](const sim_output& out) {
            ASSERT_EQ(out.times.size(), 3u);
            for (std::size_t t = 0; t < 3; ++t) {
                for (const char* name : {"total", "product", "least", "most"})
                    EXPECT_TRUE(is_na(saved_value(out, t, slot_of(b, name)))) << name << " " << t;
                EXPECT_FLOAT_EQ(saved_value(out, t, slot_of(b, "sound")),
                                2.0f * static_cast<float>(count) * static_cast<float>(t + 1));
            }
        });
    }
}

} // namespace

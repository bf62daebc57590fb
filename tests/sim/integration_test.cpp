// The time loop against independent results: closed forms, hand-computed
// Euler steps and the order of convergence of the Runge-Kutta methods.
#include <cmath>

#include "tests/sim/engine_fixture.h"

namespace {

class Integration : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    message_capture messages;

    // Runs a model; the run must reach FINAL TIME.
    sim_output run(model_builder& b, int method) {
        EXPECT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
        sim_options o;
        o.method = method;
        sim_output out;
        EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
        EXPECT_FALSE(out.times.empty());
        return out;
    }

    // The value of a scalar at the last saved time of a decay model run with a step.
    double decay_end(int method, float dt) {
        model_builder b("decay");
        b.control(0, 10, dt, 10);
        b.level("Stock", "-0.5 * Stock", "100");
        sim_output out = run(b, method);
        return saved_value(out, out.times.size() - 1, slot_of(b, "Stock"));
    }
};

TEST_F(Integration, EulerDecayFollowsItsDiscreteClosedFormAtEverySavedTime) {
    model_builder b("decay");
    b.control(0, 10, 0.25f, 1);
    b.level("Stock", "-k * Stock", "100");
    b.constant("k", 0.1f);
    sim_output out = run(b, im_euler);
    ASSERT_EQ(out.times.size(), 11u); // SAVEPER 1 with TIME STEP 0.25
    std::int32_t s = slot_of(b, "Stock");
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        EXPECT_FLOAT_EQ(out.times[k], static_cast<float>(k));
        double expect = 100 * std::pow(1 - 0.1 * 0.25, 4.0 * k);
        EXPECT_NEAR(saved_value(out, k, s), expect, expect * 2e-6) << "t=" << k;
    }
    // And near the continuous solution, within Euler's first-order error.
    EXPECT_NEAR(saved_value(out, 10, s), 100 * std::exp(-1.0), 0.5);
}

TEST_F(Integration, Rk4GrowthMatchesTheRk4AmplificationAndTheExponential) {
    model_builder b("growth");
    b.control(0, 5, 0.5f, 0.5f);
    b.level("Population", "0.2 * Population", "1000");
    sim_output out = run(b, im_rk4);
    double z = 0.2 * 0.5;
    double amp = 1 + z + z * z / 2 + z * z * z / 6 + z * z * z * z / 24;
    std::int32_t s = slot_of(b, "Population");
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        double expect = 1000 * std::pow(amp, static_cast<double>(k));
        EXPECT_NEAR(saved_value(out, k, s), expect, expect * 2e-6);
        EXPECT_NEAR(saved_value(out, k, s), 1000 * std::exp(0.2 * 0.5 * k), 0.05);
    }
}

TEST_F(Integration, Rk4ConvergesAtFourthOrderAndRk2AtSecond) {
    double exact = 100 * std::exp(-5.0);
    double e1 = std::fabs(decay_end(im_rk4, 1.0f) - exact);
    double e2 = std::fabs(decay_end(im_rk4, 0.5f) - exact);
    double e3 = std::fabs(decay_end(im_rk4, 0.25f) - exact);
    EXPECT_NEAR(e1 / e2, 16, 4);
    EXPECT_NEAR(e2 / e3, 16, 4);
    double r1 = std::fabs(decay_end(im_rk2, 0.5f) - exact);
    double r2 = std::fabs(decay_end(im_rk2, 0.25f) - exact);
    EXPECT_NEAR(r1 / r2, 4, 1);
    double u1 = std::fabs(decay_end(im_euler, 0.5f) - exact);
    double u2 = std::fabs(decay_end(im_euler, 0.25f) - exact);
    EXPECT_NEAR(u1 / u2, 2, 0.5);
}

TEST_F(Integration, AutomaticStepControlMeetsItsTolerance) {
    double exact = 100 * std::exp(-5.0);
    EXPECT_NEAR(decay_end(im_rk_auto, 1.0f), exact, exact * 1e-3);
}

// Below 1 the automatic control's tolerance is absolute (1e-4), so a small
// stock takes whole TIME STEPs: each is the step-doubling result, two RK4
// half steps y2 corrected by (y2 - y1) / 15 against the full RK4 step y1
// (Richardson: the half steps' fourth-order error is a sixteenth of the
// full step's). For S' = -S and TIME STEP 1 every step multiplies S by the
// same factor, some 4.5e-5 below e^-1.
TEST_F(Integration, AutomaticStepControlTakesRichardsonCorrectedDoubledSteps) {
    model_builder b("small");
    b.control(0, 6, 1, 1);
    b.level("S", "-S", "0.01");
    sim_output out = run(b, im_rk_auto);
    auto rk4 = [](double z) { return 1 + z + z * z / 2 + z * z * z / 6 + z * z * z * z / 24; };
    const double y1 = rk4(-1), y2 = rk4(-0.5) * rk4(-0.5);
    const double factor = y2 + (y2 - y1) / 15;
    ASSERT_EQ(out.times.size(), 7u);
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        const double expect = 0.01 * std::pow(factor, static_cast<double>(k));
        EXPECT_NEAR(saved_value(out, k, slot_of(b, "S")), expect, expect * 2e-6) << "t=" << k;
    }
    EXPECT_EQ(out.rk_steps, 6.0); // one accepted step a TIME STEP, none rejected
}

TEST_F(Integration, LogisticGrowthMatchesItsClosedForm) {
    model_builder b("logistic");
    b.control(0, 20, 0.125f, 1);
    b.level("P", "r * P * (1 - P / K)", "10");
    b.constant("r", 0.5f);
    b.constant("K", 1000);
    sim_output out = run(b, im_rk4);
    std::int32_t s = slot_of(b, "P");
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        double t = out.times[k];
        double expect = 1000 / (1 + (1000.0 / 10 - 1) * std::exp(-0.5 * t));
        EXPECT_NEAR(saved_value(out, k, s), expect, expect * 1e-4 + 1e-3) << "t=" << t;
    }
}

TEST_F(Integration, HandComputedEulerStepsThroughAnAuxiliary) {
    model_builder b("hand");
    b.control(0, 3, 1, 1);
    b.level("S", "inflow", "10");
    b.aux("inflow", "2 + 0.5 * a");
    b.aux("a", "S / 10");
    sim_output out = run(b, im_euler);
    std::int32_t s = slot_of(b, "S"), f = slot_of(b, "inflow");
    ASSERT_EQ(out.times.size(), 4u);
    EXPECT_FLOAT_EQ(saved_value(out, 0, s), 10);
    EXPECT_FLOAT_EQ(saved_value(out, 0, f), 2.5f);
    EXPECT_FLOAT_EQ(saved_value(out, 1, s), 12.5f);
    EXPECT_FLOAT_EQ(saved_value(out, 2, s), 15.125f);
    EXPECT_FLOAT_EQ(saved_value(out, 3, s), 17.88125f);
    EXPECT_FLOAT_EQ(saved_value(out, 3, f), 2.0f + 0.5f * 1.788125f);
}

TEST_F(Integration, FirstOrderDelayStepResponse) {
    model_builder b("delay");
    b.control(0, 30, 0.25f, 0.25f);
    b.aux("input", "STEP(10, 2)");
    b.aux("output", "DELAY1(input, 5)");
    sim_output out = run(b, im_euler);
    std::int32_t s = slot_of(b, "output");
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        double t = out.times[k];
        // Euler's exact discrete response, and the continuous one within O(dt).
        double m = std::max(0.0, (t - 2) / 0.25);
        double discrete = t <= 2 ? 0 : 10 * (1 - std::pow(1 - 0.25 / 5, m));
        double continuous = t <= 2 ? 0 : 10 * (1 - std::exp(-(t - 2) / 5));
        EXPECT_NEAR(saved_value(out, k, s), discrete, 1e-4) << "t=" << t;
        EXPECT_NEAR(saved_value(out, k, s), continuous, 0.15) << "t=" << t;
    }
}

TEST_F(Integration, SmoothingAndThirdOrderDelayKeepTheirSteadyStateAndConserve) {
    model_builder b("smooth");
    b.control(0, 60, 0.125f, 1);
    b.aux("input", "5 + STEP(10, 1)");
    b.aux("smoothed", "SMOOTH(input, 4)");
    b.aux("delayed", "DELAY3(input, 6)");
    b.aux("initial input", "INITIAL(input)");
    sim_output out = run(b, im_rk4);
    std::int32_t sm = slot_of(b, "smoothed"), de = slot_of(b, "delayed"),
                 in = slot_of(b, "initial input");
    EXPECT_FLOAT_EQ(saved_value(out, 0, sm), 5); // starts at the input
    EXPECT_FLOAT_EQ(saved_value(out, 0, de), 5);
    std::size_t last = out.times.size() - 1;
    EXPECT_NEAR(saved_value(out, last, sm), 15, 1e-3);
    EXPECT_NEAR(saved_value(out, last, de), 15, 1e-2);
    EXPECT_FLOAT_EQ(saved_value(out, last, in), 5);
    // SMOOTH at t = 5 (4 time units after the step): 5 + 10 (1 - e^-1).
    EXPECT_NEAR(saved_value(out, 5, sm), 5 + 10 * (1 - std::exp(-1.0)), 0.05);
}

TEST_F(Integration, PipelineDelayShiftsItsInputByTheDelayTime) {
    model_builder b("pipe");
    b.control(0, 10, 0.5f, 0.5f);
    b.aux("shifted", "DELAY FIXED(Time * 2, 3, -1)");
    sim_output out = run(b, im_euler);
    std::int32_t s = slot_of(b, "shifted");
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        double t = out.times[k];
        EXPECT_FLOAT_EQ(saved_value(out, k, s), t < 3 ? -1.0f : static_cast<float>(2 * (t - 3)))
            << t;
    }
}

TEST_F(Integration, TestInputsAndLookupsOfTime) {
    model_builder b("inputs");
    b.control(0, 12, 1, 1);
    b.aux("stepped", "STEP(3, 4)");
    b.aux("pulsed", "PULSE(2, 3)");
    b.aux("ramped", "RAMP(2, 5, 8)");
    b.lookup("table", {{0, 0}, {4, 8}, {8, 0}});
    b.aux("looked", "table(Time)");
    b.aux("extrapolated", "LOOKUP EXTRAPOLATE(table, Time)");
    sim_output out = run(b, im_euler);
    std::int32_t st = slot_of(b, "stepped"), pu = slot_of(b, "pulsed"), ra = slot_of(b, "ramped");
    std::int32_t lo = slot_of(b, "looked"), ex = slot_of(b, "extrapolated");
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        double t = static_cast<double>(k);
        EXPECT_FLOAT_EQ(saved_value(out, k, st), t >= 4 ? 3 : 0) << t;
        EXPECT_FLOAT_EQ(saved_value(out, k, pu), t >= 2 && t < 5 ? 1 : 0) << t;
        EXPECT_FLOAT_EQ(saved_value(out, k, ra), t <= 5 ? 0 : 2 * (std::min(t, 8.0) - 5)) << t;
        double tri = t <= 4 ? 2 * t : (t <= 8 ? 16 - 2 * t : 0);
        EXPECT_FLOAT_EQ(saved_value(out, k, lo), tri) << t;
        EXPECT_FLOAT_EQ(saved_value(out, k, ex), t <= 8 ? tri : 16 - 2 * t) << t;
    }
}

TEST_F(Integration, SubscriptedLevelsWithConstantListsAndSums) {
    model_builder b("arrays");
    b.control(0, 4, 1, 1);
    b.range("region", {"north", "south", "east"});
    b.constant_list("growth[region]", {0.1f, 0.2f, 0.5f});
    b.level("Stock[region]", "growth[region] * Stock[region]", "100");
    b.aux("total", "SUM(Stock[region!])");
    b.aux("north share", "Stock[north] / total");
    sim_output out = run(b, im_euler);
    std::int32_t s = slot_of(b, "Stock"), tot = slot_of(b, "total"), sh = slot_of(b, "north share");
    const double g[3] = {0.1, 0.2, 0.5};
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        double sum = 0;
        for (int e = 0; e < 3; ++e) {
            double expect = 100 * std::pow(1 + g[e], static_cast<double>(k));
            sum += expect;
            EXPECT_NEAR(saved_value(out, k, s + e), expect, expect * 1e-6);
        }
        EXPECT_NEAR(saved_value(out, k, tot), sum, sum * 1e-6);
        EXPECT_NEAR(saved_value(out, k, sh), 100 * std::pow(1.1, static_cast<double>(k)) / sum,
                    1e-6);
    }
}

TEST_F(Integration, RandomStreamsAreDeterministicForASeed) {
    auto draw = [&](float seed) {
        model_builder b("random");
        b.control(0, 20, 1, 1);
        b.constant("seed", seed);
        b.aux("noise", "RANDOM UNIFORM(-1, 1, seed)");
        sim_output out = run(b, im_rk4);
        std::vector<float> v;
        for (std::size_t k = 0; k < out.times.size(); ++k)
            v.push_back(saved_value(out, k, slot_of(b, "noise")));
        return v;
    };
    std::vector<float> a = draw(7), b = draw(7), c = draw(8);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    for (float x : a) {
        EXPECT_GE(x, -1);
        EXPECT_LT(x, 1);
    }
    // Not a constant stream.
    EXPECT_NE(a.front(), a.back());
}

TEST_F(Integration, NaPropagatesThroughArithmeticWithoutEndingTheRun) {
    model_builder b("na");
    b.control(0, 2, 1, 1);
    b.data("observed"); // no source: NA
    b.aux("scaled", "observed * 2 + 1");
    b.aux("checked", "IF THEN ELSE(observed = observed, 1, 0)");
    sim_output out = run(b, im_euler);
    EXPECT_TRUE(is_na(saved_value(out, 1, slot_of(b, "scaled"))));
    EXPECT_FLOAT_EQ(saved_value(out, 1, slot_of(b, "checked")), 1);
}

} // namespace

namespace {

TEST(Subranges, ReorderedAndReversedElementsReadTheRightValues) {
    init_vocabulary();
    message_capture messages;
    model_builder b("subranges");
    b.control(0, 1, 1, 1);
    b.range("r", {"a1", "a2", "a3"});
    b.range("shuffled", {"a2", "a3", "a1"});
    b.range("back", {"a3", "a1"});
    b.constant_list("y[r]", {10, 20, 30});
    b.aux("x[shuffled]", "y[shuffled] + 1");
    b.aux("z[back]", "y[back] * 2");
    b.aux("w[r]", "x[r] + z[a1]");
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    std::int32_t x = slot_of(b, "x"), z = slot_of(b, "z"), w = slot_of(b, "w");
    // x and z are dimensioned by the ranges they were declared with.
    EXPECT_FLOAT_EQ(saved_value(out, 0, x + 0), 21); // a2
    EXPECT_FLOAT_EQ(saved_value(out, 0, x + 1), 31); // a3
    EXPECT_FLOAT_EQ(saved_value(out, 0, x + 2), 11); // a1
    EXPECT_FLOAT_EQ(saved_value(out, 0, z + 0), 60); // a3
    EXPECT_FLOAT_EQ(saved_value(out, 0, z + 1), 20); // a1
    EXPECT_FLOAT_EQ(saved_value(out, 0, w + 0), 11 + 20);
    EXPECT_FLOAT_EQ(saved_value(out, 0, w + 2), 31 + 20);
}

} // namespace

// Smoothing, delay, trend and forecast functions against values worked by
// hand from their definitions, step by step with Euler's method (TIME STEP
// 1): the engine's roads are checked against one another elsewhere, so a
// fault shared by all of them shows only here.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/sim/engine_fixture.h"

namespace {

class StateFunctions : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
};

// in = 10, i0 = 4, x = 10 + 2 Time; the value of y at Times 0 to 3.
//   SMOOTH INIT(in, 2, i0): s = 4, then s += (10 - s) / 2.
//   SMOOTH3 INIT(in, 6, i0): three stages of time 2, each from 4: the first
//     stage moves at once, the output (the last stage) only at Time 3.
//   DELAY1 INIT(in, 2, i0): held 2 * 4 = 8, output 8 / 2, inflow 10 minus it.
//   DELAY3 INIT / DELAY N of order 3 with time 6: three stages of 8, the
//     output the last stage over 2.
//   TREND(in, 2, 0.1) is (input - average) / (average x 2), the average a
//     SMOOTH of the input that starts at 10 / (1 + 0.1 x 2) = 25/3 so that
//     the trend starts at the initial trend 0.1; then 55/6, 115/12, 235/24.
//   SMOOTH(x, 2) starts at x (10) and follows it a step behind: 10, 10, 11,
//     12.5; FORECAST(x, 2, 3) is x (1 + 3 (x - that average) / (average x 2)).
TEST_F(StateFunctions, WorkedValuesOverThreeEulerSteps) {
    struct worked {
        const char* call;
        std::vector<double> want;
    };
    const worked rows[] = {
        {"SMOOTH INIT(in, 2, i0)", {4, 7, 8.5, 9.25}},
        {"SMOOTH3 INIT(in, 6, i0)", {4, 4, 4, 4.75}},
        {"SMOOTH N(in, 6, i0, 3)", {4, 4, 4, 4.75}},
        {"SMOOTH3(in, 6)", {10, 10, 10, 10}}, // every stage starts at the input
        {"DELAY1 INIT(in, 2, i0)", {4, 7, 8.5, 9.25}},
        {"DELAY1(in, 2)", {10, 10, 10, 10}},
        {"DELAY3 INIT(in, 6, i0)", {4, 4, 4, 4.75}},
        {"DELAY N(in, 6, i0, 3)", {4, 4, 4, 4.75}},
        {"TREND(in, 2, 0.1)", {0.1, 1.0 / 22, 1.0 / 46, 1.0 / 94}},
        {"SMOOTH(x, 2)", {10, 10, 11, 12.5}},
        {"FORECAST(x, 2, 3)", {10, 12 * 1.3, 14 * (1 + 9.0 / 22), 16 * (1 + 10.5 / 25)}},
    };
    for (const worked& w : rows) {
        SCOPED_TRACE(w.call);
        message_capture messages;
        model_builder m("states");
        m.control(0, 3, 1, 1);
        m.constant("in", 10);
        m.constant("i0", 4);
        m.aux("x", "10 + 2 * Time");
        m.aux("y", w.call);
        ASSERT_TRUE(m.finish());
        sim_output out;
        ASSERT_EQ(simulate_model(m.symbols(), sim_options{}, &out), sim_done) << out.error;
        ASSERT_EQ(out.times.size(), 4u);
        for (std::size_t t = 0; t < 4; ++t)
            EXPECT_NEAR(saved_value(out, t, slot_of(m, "y")), w.want[t], 1e-5 * (1 + w.want[t]))
                << "at Time " << t;
    }
}

// A pipeline whose delay time is not a number cannot say when anything
// leaves it: the run stops at its start naming the variable, as for a
// negative delay time.
TEST_F(StateFunctions, APipelineDelayTimeThatIsNotANumberStopsTheRun) {
    for (const char* time : {"0 - 1", "LN(0 - 1)"}) {
        SCOPED_TRACE(time);
        message_capture messages;
        model_builder m("pipes");
        m.control(0, 3, 1, 1);
        m.aux("late", (std::string("DELAY FIXED(Time, ") + time + ", 0)").c_str());
        ASSERT_TRUE(m.finish());
        sim_output out;
        EXPECT_EQ(simulate_model(m.symbols(), sim_options{}, &out), sim_error_saved);
        EXPECT_NE(out.error.find("The delay time is negative in late"), std::string::npos)
            << out.error;
        EXPECT_TRUE(out.times.empty());
    }
}

// MESSAGE shows its text once a step where its condition holds, whatever the
// integration method: the Runge-Kutta stages between the steps show nothing.
TEST_F(StateFunctions, AMessageIsShownOnceAStepWithEveryMethod) {
    auto shown = [](int method) {
        message_capture messages;
        model_builder m("said");
        m.control(0, 3, 1, 1);
        m.level("S", "1", "0");
        m.aux("note", "MESSAGE(\"passing by\", S + 1)");
        EXPECT_TRUE(m.finish());
        sim_options o;
        o.method = method;
        sim_output out;
        EXPECT_EQ(simulate_model(m.symbols(), o, &out), sim_done) << messages.joined();
        int n = 0;
        for (const std::string& t : messages.all()) n += t.find("passing by") != std::string::npos;
        return n;
    };
    const int euler = shown(im_euler);
    EXPECT_GE(euler, 4); // Times 0 to 3
    EXPECT_EQ(shown(im_rk2), euler);
    EXPECT_EQ(shown(im_rk4), euler);
    EXPECT_EQ(shown(im_rk_auto), euler);
}

} // namespace

// The random draws keep to their bounds (the first two arguments, minimum
// then maximum), whatever the mean or shift: with no spread a draw is its
// mean (or shift) cut to the bounds; with a wide spread over many steps the
// draws reach both bounds and nothing beyond them.
TEST_F(StateFunctions, RandomDrawsAreCutToTheirMinimumAndMaximum) {
    struct bounded {
        const char* call;
        float low, high;
        float only; // the one value every draw gives (NA: spread)
    };
    const bounded rows[] = {
        {"RANDOM NORMAL(-1, 2, 0.5, 0, 11)", -1, 2, 0.5f},
        {"RANDOM NORMAL(-1, 2, 10, 0, 11)", -1, 2, 2},
        {"RANDOM NORMAL(-1, 2, -10, 0, 11)", -1, 2, -1},
        {"RANDOM NORMAL(-1, 2, 0.5, 3, 11)", -1, 2, NA},
        {"RANDOM EXPONENTIAL(0, 9, 1, 0, 13)", 0, 9, 1},
        {"RANDOM EXPONENTIAL(0, 9, 20, 0, 13)", 0, 9, 9},
        {"RANDOM EXPONENTIAL(2, 9, 0, 4, 13)", 2, 9, NA},
        {"RANDOM UNIFORM(3, 5, 7)", 3, 5, NA},
    };
    for (const bounded& r : rows) {
        SCOPED_TRACE(r.call);
        message_capture messages;
        model_builder m("draws");
        m.control(0, 200, 1, 1);
        m.aux("y", r.call);
        ASSERT_TRUE(m.finish());
        sim_output out;
        ASSERT_EQ(simulate_model(m.symbols(), sim_options{}, &out), sim_done) << out.error;
        ASSERT_EQ(out.times.size(), 201u);
        float lo = 1e30f, hi = -1e30f;
        for (std::size_t t = 0; t < out.times.size(); ++t) {
            const float v = saved_value(out, t, slot_of(m, "y"));
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        if (r.only != NA) {
            EXPECT_EQ(lo, r.only);
            EXPECT_EQ(hi, r.only);
        } else {
            EXPECT_GE(lo, r.low);
            EXPECT_LE(hi, r.high);
            // 201 draws of a wide spread come near both ends.
            EXPECT_LT(lo, r.low + 0.25f * (r.high - r.low));
            EXPECT_GT(hi, r.high - 0.25f * (r.high - r.low));
        }
    }
}

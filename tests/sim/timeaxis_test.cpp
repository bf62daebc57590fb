// The run's time axis: the control values come first, and the steps and
// saves reach FINAL TIME whatever the float rounding of the control values.
#include <cmath>

#include "model/codegen.h"
#include "model/order.h"
#include "sim/simdata.h"
#include "sim/timeloop.h"
#include "tests/sim/engine_fixture.h"

namespace {

class TimeAxis : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    message_capture messages;
};

TEST_F(TimeAxis, EquationsFirstSeeTimeAtInitialTime) {
    // "a" sorts before the control variables and "zeta" after them: both
    // must be computed only once Time is INITIAL TIME.
    model_builder b("reciprocal");
    b.control(1, 3, 1, 1);
    b.aux("a", "1 / Time");
    b.aux("zeta", "1 / Time");
    b.initial("first", "1 / Time");
    ASSERT_TRUE(b.finish());
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    ASSERT_EQ(out.times.size(), 3u);
    for (const char* name : {"a", "zeta"})
        for (std::size_t k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(saved_value(out, k, slot_of(b, name)), 1.0f / (k + 1.0f)) << name;
    EXPECT_FLOAT_EQ(saved_value(out, 2, slot_of(b, "first")), 1.0f);
    EXPECT_FALSE(messages.contains("Floating point error"));
}

TEST_F(TimeAxis, StepsAndSavesReachFinalTimeForAwkwardSteps) {
    struct axis {
        float initial, final_time, step, saveper;
        std::size_t saves;
        double save_every; // time between saves
    };
    const axis cases[] = {
        {0, 10, 0.1f, 0.1f, 101, 0.1},
        {0, 30, 0.3f, 0.3f, 101, 0.3},
        {0, 10, 0.0625f, 0.0625f, 161, 0.0625},
        {0, 10, 1.0f / 3, 1.0f / 3, 31, 1.0 / 3},
        {0, 10, 0.125f, 0.5f, 21, 0.5},
        {1900, 2100, 0.1f, 1, 201, 1},
        {0, 1, 0.01f, 0.05f, 21, 0.05},
        {0.1f, 0.7f, 0.1f, 0.2f, 4, 0.2},
        {0, 3, 0.25f, 0.6f, 7, 0.5},     // not a multiple: saved every two steps
        {0, 0.9f, 0.1f, 0.3f, 4, 0.3},   // 0.3 / 0.1 falls just short of 3 in double
        {0, 4.5f, 0.25f, 0.7f, 7, 0.75}, // 2.8 steps round to three
        {5, 5, 1, 1, 1, 1},              // FINAL TIME at INITIAL TIME: the one save
    };
    for (const axis& c : cases) {
        SCOPED_TRACE(testing::Message() << "step " << c.step << " saveper " << c.saveper << " from "
                                        << c.initial << " to " << c.final_time);
        model_builder b("axis");
        b.control(c.initial, c.final_time, c.step, c.saveper);
        b.level("Steps", "1 / TIME STEP", "0");
        ASSERT_TRUE(b.finish());
        sim_output out;
        ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
        ASSERT_EQ(out.times.size(), c.saves);
        for (std::size_t k = 0; k < out.times.size(); ++k)
            EXPECT_FLOAT_EQ(out.times[k], static_cast<float>(c.initial + k * c.save_every));
        EXPECT_FLOAT_EQ(out.times.back(), c.final_time);
        // The level counts the steps taken, one per TIME STEP.
        EXPECT_NEAR(saved_value(out, c.saves - 1, slot_of(b, "Steps")),
                    (c.saves - 1) * c.save_every / c.step, 1e-3);
    }
    EXPECT_TRUE(messages.contains("SAVEPER 0.6 is not a multiple of TIME STEP 0.25"));
    EXPECT_TRUE(messages.contains(
        "SAVEPER 0.7 is not a multiple of TIME STEP 0.25; values are saved every 0.75"));
    EXPECT_FALSE(messages.contains("SAVEPER 0.3"));
}

// A model without SAVEPER saves at every TIME STEP.
TEST_F(TimeAxis, WithoutSaveperEveryStepIsSaved) {
    model_builder b("unsaved");
    b.control(0, 1, 0.25f, 0.5f);
    b.level("Steps", "1 / TIME STEP", "0");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1) << messages.joined();
    ASSERT_EQ(order_program(b.symbols(), p), 1) << messages.joined();
    ASSERT_NE(p.saveper, 0u);
    p.saveper = 0; // as the program of a model that has none
    sim_output out;
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &out), sim_done) << messages.joined();
    ASSERT_EQ(out.times.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(out.times[k], 0.25f * k);
}

TEST(TimeAxisRules, ControlValuesAreReadAsWrittenAndStepsCountedWithinRounding) {
    EXPECT_EQ(as_written(0.1f), 0.1);
    EXPECT_EQ(as_written(0.3f), 0.3);
    EXPECT_EQ(as_written(0.0625f), 0.0625);
    EXPECT_EQ(as_written(-2.5e-7f), -2.5e-7);
    EXPECT_TRUE(std::isnan(as_written(NAN)));
    // The float steps themselves fall just short of a whole count.
    EXPECT_EQ(step_count(0, 10, static_cast<double>(0.1f)), 100);
    EXPECT_EQ(step_count(0, 30, static_cast<double>(0.3f)), 100);
    EXPECT_EQ(step_count(0, 10, static_cast<double>(1.0f / 3)), 30);
    // A step that would pass FINAL TIME by a real fraction is not taken.
    EXPECT_EQ(step_count(0, 10, 3), 3);
    EXPECT_EQ(step_count(0, 10.999, 1), 10);
    EXPECT_EQ(step_count(5, 5, 1), 0);
}

} // namespace

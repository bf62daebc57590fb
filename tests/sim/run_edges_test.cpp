// What users' runs hold and the engine's own tests did not: variables that
// start at 0, written by the engine's run writer and read back by the run
// reader; a run of more saved times than a 16-bit count holds; and the
// Runge-Kutta methods on a rate that depends on Time, against the exact
// integral.
#include <cmath>
#include <string>
#include <vector>

#include "runs/access.h"
#include "runs/runfile.h"
#include "tests/sim/engine_fixture.h"

namespace {

class RunEdges : public testing::TestWithParam<char> {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override { unload_runs(1); }
    std::string path(const char* name) const {
        return testing::TempDir() + "/run_edges_" + name + "_" + std::string(1, GetParam()) +
               ".kdf";
    }
    // Every saved value of each variable read back as the run had it.
    void expect_read_back(model_builder& b, const sim_output& out, int run,
                          const std::vector<const char*>& names, std::size_t points) {
        for (const char* name : names) {
            SCOPED_TRACE(name);
            std::vector<float> values, times;
            ASSERT_EQ(read_run_series(name, "Time", run, values, times), static_cast<int>(points))
                << messages.joined();
            const std::int32_t slot = slot_of(b, name);
            for (std::size_t k = 0; k < points; ++k) {
                EXPECT_EQ(times[k], saved_value(out, k, 0)) << k;
                EXPECT_EQ(values[k], saved_value(out, k, slot)) << k;
                if (HasFailure()) return;
            }
        }
    }
    message_capture messages;
};

TEST_P(RunEdges, VariablesThatStartAtZeroReadBackWhole) {
    model_builder b("zero start");
    b.control(0, 8, 0.5f, 0.5f);
    b.level("Filled", "1", "0");
    b.level("Drained", "-2", "0");
    b.aux("ramp", "Time");
    b.aux("late", "STEP(3, 4)");
    b.aux("dips", "Time * (Time - 4)");
    b.aux("never", "0 * Time");
    ASSERT_TRUE(b.finish());
    const std::string p = path("zero");
    sim_options o;
    o.run_file = p.c_str();
    o.run_type = GetParam();
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
    ASSERT_EQ(out.rows.size() / out.value_slots, 17u);
    // The first saved value of each is 0.
    for (const char* name : {"Filled", "Drained", "ramp", "late", "dips", "never"})
        EXPECT_EQ(saved_value(out, 0, slot_of(b, name)), 0.0f) << name;
    const int run = kdf_open(p.c_str());
    ASSERT_GE(run, 0) << messages.joined();
    expect_read_back(b, out, run, {"Filled", "Drained", "ramp", "late", "dips", "never"}, 17);
    std::vector<float> values, times;
    ASSERT_EQ(read_run_series("late", "Time", run, values, times), 17);
    EXPECT_EQ(values[7], 0.0f);
    EXPECT_EQ(values[8], 3.0f);
}

TEST_P(RunEdges, ARunOfMoreSavedTimesThanASixteenBitCountReadsBack) {
    model_builder b("long run");
    b.control(0, 40000, 1, 1); // 40,001 saved times
    b.level("Stock", "1", "0");
    b.aux("late", "STEP(1, 35000)");
    b.aux("wave", "SIN(Time / 100)");
    ASSERT_TRUE(b.finish());
    const std::string p = path("long");
    sim_options o;
    o.run_file = p.c_str();
    o.run_type = GetParam();
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
    constexpr std::size_t points = 40001;
    ASSERT_EQ(out.rows.size() / out.value_slots, points);
    const int run = kdf_open(p.c_str());
    ASSERT_GE(run, 0) << messages.joined();
    expect_read_back(b, out, run, {"Stock", "late", "wave"}, points);
    std::vector<float> values, times;
    ASSERT_EQ(read_run_series("Stock", "Time", run, values, times), static_cast<int>(points));
    EXPECT_EQ(times.back(), 40000.0f);
    EXPECT_EQ(values.back(), 40000.0f);
}

INSTANTIATE_TEST_SUITE_P(Layouts, RunEdges, testing::Values('R', 'r'));

// Second order is exact for a rate linear in Time, fourth order for one
// cubic in Time: any stage taken at the wrong time shows at once.
TEST(RungeKutta, RatesThatDependOnTimeMeetTheExactIntegral) {
    init_vocabulary();
    message_capture messages;
    struct method {
        int id;
        const char* name;
        const char* rate;
        double (*exact)(double);
    };
    const method methods[] = {
        {im_rk2, "RK2", "2 * Time + 1", [](double t) { return t * t + t; }},
        {im_rk4, "RK4", "4 * Time * Time * Time + 3 * Time * Time",
         [](double t) { return t * t * t * t + t * t * t; }},
    };
    for (const method& m : methods) {
        SCOPED_TRACE(m.name);
        model_builder b("time rate");
        b.control(1, 5, 0.25f, 0.5f);
        b.level("Area", m.rate, "2");
        ASSERT_TRUE(b.finish());
        sim_options o;
        o.method = m.id;
        sim_output out;
        ASSERT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
        const std::size_t points = out.rows.size() / out.value_slots;
        ASSERT_EQ(points, 9u);
        const std::int32_t area = slot_of(b, "Area");
        for (std::size_t k = 0; k < points; ++k) {
            const double t = saved_value(out, k, 0);
            EXPECT_DOUBLE_EQ(t, 1 + 0.5 * static_cast<double>(k));
            // Area(1) = 2 = exact(1): the integral from 1 is exact(t).
            const double want = m.exact(t);
            EXPECT_NEAR(saved_value(out, k, area), want, 1e-5 * want) << "Time " << t;
        }
    }
}

} // namespace

// Runs written by the engine read back through the run readers: the writer
// and the reader agree on docs/formats/run-file.md.
#include <cmath>
#include <cstdlib>

#include "foundation/files.h"
#include "model/context.h"
#include "model/modelfile.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "sim/currentrun.h"
#include "tests/sim/engine_fixture.h"

namespace {

class RoundTrip : public testing::TestWithParam<char> {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override { unload_runs(1); }
    message_capture messages;
};

TEST_P(RoundTrip, SeriesConstantsStringsLookupsAndDataReadBack) {
    model_builder b("round trip");
    b.control(0, 5, 0.5f, 1);
    b.range("r", {"a1", "a2"});
    b.constant_list("k[r]", {2, 3});
    b.level("Stock[r]", "k[r] * STEP(1, 2)", "1");
    b.lookup("curve", {{0, 1}, {5, 6}});
    b.aux("shaped", "curve(Time)");
    b.data("observed", "Time * 10");
    b.data("held", "IF THEN ELSE(Time < 2, 4, 9)");
    b.string_var("label", "round trip text");
    ASSERT_TRUE(b.finish());
    std::string path = testing::TempDir() + "/roundtrip_" + std::string(1, GetParam()) + ".kdf";
    sim_options o;
    o.run_file = path.c_str();
    o.run_type = GetParam();
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();

    int i = kdf_open(path.c_str());
    ASSERT_GE(i, 0) << messages.joined();
    EXPECT_EQ(run_type(i), GetParam());
    std::vector<float> values, times;
    ASSERT_EQ(read_run_series("Stock[a2]", "Time", i, values, times), 6) << messages.joined();
    std::int32_t s = slot_of(b, "Stock");
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_FLOAT_EQ(times[k], static_cast<float>(k));
        EXPECT_FLOAT_EQ(values[k], saved_value(out, k, s + 1)) << k;
    }
    float c = 0;
    ASSERT_EQ(run_constant_value("k[a2]", i, &c), 1);
    EXPECT_FLOAT_EQ(c, 3);
    char* text = run_string_value("label", i);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "round trip text");
    std::vector<float> x, y;
    ASSERT_EQ(read_run_lookup("curve", i, x, y), 2);
    EXPECT_FLOAT_EQ(x[1], 5);
    EXPECT_FLOAT_EQ(y[1], 6);
    ASSERT_EQ(read_run_series("shaped", "Time", i, values, times), 6);
    EXPECT_FLOAT_EQ(values[4], 5);
    int data = 0;
    ASSERT_EQ(read_run_series("observed", "Time", i, values, times, nullptr, nullptr, &data), 6);
    EXPECT_FLOAT_EQ(values[3], 30);
    // A data variable keeps a point at every saved time, repeated values too.
    ASSERT_EQ(read_run_series("held", "Time", i, values, times, nullptr, nullptr, &data), 6);
    EXPECT_EQ(values, (std::vector<float>{4, 4, 9, 9, 9, 9}));
    EXPECT_EQ(times, (std::vector<float>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(data, 1);
}

INSTANTIATE_TEST_SUITE_P(Layouts, RoundTrip, testing::Values('R', 'r'));

} // namespace

namespace {

TEST(RunSimulation, TheRunSetupOfAnOpenModelNamesTheRunFileAndMethod) {
    init_vocabulary();
    message_capture messages;
    std::string dir = testing::TempDir() + "/runsim";
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::string model = dir + "/decay.kmf";
    {
        model_builder b("decay");
        b.control(0, 4, 1, 1);
        b.level("Stock", "-0.5 * Stock", "100");
        ASSERT_EQ(b.write(model.c_str()), 1);
    }
    ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1) << messages.joined();
    ASSERT_NE(model_rec, nullptr);
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "Fourth order");
    model_rec->setup.method = im_rk4;
    model_rec->run_command = ctx_set_text(model_rec, model_rec->run_command, "sim  Fourth order");
    run_result r = run_simulation(&model_rec->setup);
    EXPECT_EQ(r.status, sim_done) << messages.joined();
    std::string run = dir + "/Fourth order.kdf";
    // The engine reports the file it wrote: the run driver loads exactly that.
    EXPECT_EQ(r.run_name, "Fourth order");
    EXPECT_EQ(r.run_file, full_path(nullptr, run.c_str()));
    EXPECT_TRUE(r.written());
    int i = kdf_open(run.c_str());
    ASSERT_GE(i, 0) << messages.joined();
    std::vector<float> values, times;
    ASSERT_EQ(read_run_series("Stock", "Time", i, values, times), 5);
    double z = -0.5, amp = 1 + z + z * z / 2 + z * z * z / 6 + z * z * z * z / 24;
    EXPECT_NEAR(values[4], 100 * std::pow(amp, 4), 1e-3);
    // The information block holds the command line alone.
    EXPECT_EQ(run_info_text(i), "sim  Fourth order");
    unload_runs(1);
    // The setup's comment follows the command line on a line of its own.
    model_rec->setup.info_text =
        ctx_set_text(model_rec, model_rec->setup.info_text, "slower decay tried");
    r = run_simulation(&model_rec->setup);
    ASSERT_EQ(r.status, sim_done) << messages.joined();
    i = kdf_open(run.c_str());
    ASSERT_GE(i, 0) << messages.joined();
    EXPECT_EQ(run_info_text(i), "sim  Fourth order\nslower decay tried");
    unload_runs(1);
    // With no name in the setup the run takes the last run's name, and with
    // none either it is the current run.
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "");
    model_rec->last_run_name = ctx_set_text(model_rec, model_rec->last_run_name, "Earlier");
    r = run_simulation(&model_rec->setup);
    EXPECT_EQ(r.status, sim_done) << messages.joined();
    EXPECT_EQ(r.run_name, "Earlier");
    EXPECT_EQ(r.run_file, full_path(nullptr, (dir + "/Earlier.kdf").c_str()));
    model_rec->last_run_name = ctx_set_text(model_rec, model_rec->last_run_name, "");
    r = run_simulation(&model_rec->setup);
    EXPECT_EQ(r.status, sim_done) << messages.joined();
    EXPECT_EQ(r.run_name, "Current");
    EXPECT_EQ(r.run_file, full_path(nullptr, (dir + "/Current.kdf").c_str()));
    EXPECT_EQ(file_status(r.run_file.c_str(), 1), 1);
    close_model(0, 0);
}

} // namespace

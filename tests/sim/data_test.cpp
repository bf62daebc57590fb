// Data and constants read from run files through the runs subsystem's readers.
#include <string>

#include "sim/interp.h"
#include "tests/sim/engine_fixture.h"

namespace {

std::string seen_file, seen_variable;
int seen_elements = 0;

int fake_data(const char* file, const char* variable, float offset, float, int elements,
              std::vector<std::vector<float>>* times, std::vector<std::vector<float>>* values) {
    seen_file = file;
    seen_variable = variable;
    seen_elements = elements;
    for (int e = 0; e < elements; ++e) {
        times->push_back({0 + offset, 2 + offset, 4 + offset});
        values->push_back({10.0f * static_cast<float>(e + 1), 20.0f * static_cast<float>(e + 1),
                           40.0f * static_cast<float>(e + 1)});
    }
    return 1;
}

int fake_constants(const char*, const char*, float time, int elements, std::vector<float>* values) {
    for (int e = 0; e < elements; ++e) values->push_back(time + static_cast<float>(e));
    return 1;
}

class RunData : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        set_run_data_readers(&fake_data, &fake_constants);
    }
    void TearDown() override { set_run_data_readers(nullptr, nullptr); }
    message_capture messages;
};

TEST_F(RunData, SeriesAreInterpolatedAndMissingOutsideTheirSpan) {
    model_builder b("data");
    b.control(0, 6, 1, 1);
    b.range("r", {"a1", "a2"});
    b.data("observed[r]", "GET KDF DATA(\"past\", \"x[r]\", 0, 1)");
    b.data("fixed[r]", "GET KDF CONSTANTS(\"past\", \"k[r]\", 3)");
    b.aux("twice", "observed[a2] * 2");
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    EXPECT_EQ(seen_file, "past");
    EXPECT_EQ(seen_variable, "x[r]");
    EXPECT_EQ(seen_elements, 2);
    std::int32_t o = slot_of(b, "observed"), f = slot_of(b, "fixed"), t = slot_of(b, "twice");
    EXPECT_FLOAT_EQ(saved_value(out, 1, o), 15);
    EXPECT_FLOAT_EQ(saved_value(out, 3, o + 1), 60);
    EXPECT_FLOAT_EQ(saved_value(out, 3, t), 120);
    EXPECT_FLOAT_EQ(saved_value(out, 4, o), 40);
    EXPECT_TRUE(is_na(saved_value(out, 5, o)));
    EXPECT_FLOAT_EQ(saved_value(out, 0, f), 3);
    EXPECT_FLOAT_EQ(saved_value(out, 6, f + 1), 4);
}

TEST_F(RunData, WithoutAReaderTheValuesAreMissing) {
    set_run_data_readers(nullptr, nullptr);
    model_builder b("no reader");
    b.control(0, 2, 1, 1);
    b.data("observed", "GET KDF DATA(\"past\", \"x\", 0, 1)");
    ASSERT_TRUE(b.finish());
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
    EXPECT_TRUE(messages.contains("Unable to read x from past: no run reader"))
        << messages.joined();
    EXPECT_TRUE(is_na(saved_value(out, 1, slot_of(b, "observed"))));
}

} // namespace

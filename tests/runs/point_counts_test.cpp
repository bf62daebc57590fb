// Runs whose saved-point count fills its presence bytes exactly (8, 16
// points) or spills one bit into a new byte (9, 17) load whole, in both
// layouts and with the constants in the table or in their section, and read
// back the values the engine saved.
#include <fstream>
#include <iterator>

#include "model/modelfile.h"
#include "runs_fixture.h"
#include "sim/run.h"

namespace {

class point_counts_test : public runs_test {
protected:
    void TearDown() override {
        close_model(0, 0);
        model_dir.clear();
        runs_test::TearDown();
    }
    // A model counting up by one from 0 over times 0..last.
    void open_model(float last) {
        model_dir = dir_;
        model_builder b("count");
        b.control(0, last, 1, 1);
        b.constant("rate", 1);
        b.level("Stock", "rate", "0");
        b.aux("twice", "2 * Stock");
        ASSERT_TRUE(b.finish());
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir_.c_str(), path("count.kmf").c_str());
        ASSERT_NE(cur_model_symbols, 0u);
    }
};

TEST_F(point_counts_test, runs_with_whole_and_spilling_presence_bytes_load_and_read_back) {
    for (int points : {8, 9, 16, 17}) {
        open_model(static_cast<float>(points - 1));
        for (char type : {'R', 'r'})
            for (bool in_table : {true, false}) {
                const std::string what = std::to_string(points) + type + (in_table ? "t" : "s");
                std::string p = path("run_" + what + ".kdf");
                sim_options o;
                o.run_file = p.c_str();
                o.run_type = type;
                o.constants_in_table = in_table;
                ASSERT_EQ(simulate_model(cur_model_symbols, o, nullptr), sim_done) << what;
                captured().clear();
                int r = kdf_open(p.c_str());
                ASSERT_GE(r, 0) << what << ": "
                                << (captured().empty() ? "" : captured().back().text);
                EXPECT_EQ(run_time_count(r), points) << what;
                std::vector<float> v, t;
                ASSERT_EQ(read_run_series("twice", "Time", r, v, t), points) << what;
                for (int k = 0; k < points; ++k) {
                    EXPECT_EQ(t[static_cast<std::size_t>(k)], static_cast<float>(k)) << what;
                    EXPECT_EQ(v[static_cast<std::size_t>(k)], 2.0f * static_cast<float>(k))
                        << what << " at " << k;
                }
                unload_run(r);
            }
        close_model(0, 0);
    }
}

} // namespace

namespace {

// A constant a data source gave (type byte 24) is kept in the offset table
// like any other constant when the run keeps its constants there: its cell
// holds the value, not the offset of a record, and the run loads with it.
TEST_F(runs_test, constants_from_a_data_source_read_from_the_table) {
    model_builder mb("sourced");
    mb.control(0, 10, 1, 1);
    mb.level("Stock", "rate", "10");
    mb.constant("rate", 0.1f);
    mb.constant("given", 0);
    ASSERT_TRUE(mb.finish());
    const int slot = run_builder::slot_of(mb.symbols(), "given");
    ASSERT_GT(slot, 0);
    {
        model_lock_guard g(mb.symbols(), 0);
        ASSERT_TRUE(g.ok());
        ASSERT_NE(model_slot_types, nullptr);
        model_slot_types[slot] = st_data_constant;
    }
    for (bool in_table : {true, false}) {
        run_builder rb(mb.symbols(), 'R');
        rb.times({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})
            .series("Stock", ramp(11, 10, 1))
            .constant("rate", 0.1f)
            .constant("given", 42.5f)
            .constants_in_table(in_table);
        std::string p = write_run(in_table ? "table.kdf" : "section.kdf", rb);
        captured().clear();
        int r = kdf_open(p.c_str());
        ASSERT_GE(r, 0) << in_table << ": " << (captured().empty() ? "" : captured().back().text);
        std::vector<float> all;
        ASSERT_GT(read_run_constants(r, all), slot) << in_table;
        EXPECT_EQ(all[static_cast<std::size_t>(slot)], 42.5f) << in_table;
        float v = 0;
        EXPECT_EQ(run_constant_value("rate", r, &v), 1) << in_table;
        EXPECT_EQ(v, 0.1f) << in_table;
        unload_run(r);
    }
}

} // namespace

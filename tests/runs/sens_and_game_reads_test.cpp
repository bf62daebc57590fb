// Sensitivity runs in the other byte order and the section head a user's
// tools read, and the values a game reads back from a run: a series for a
// level, one value for a variable computed once at the start.
#include "runs/readback.h"
#include "runs/sens.h"
#include "runs_fixture.h"
#include "sim/simdata.h"

namespace {

class sens_and_game_test : public runs_test {
protected:
    void TearDown() override {
        game_state = 0;
        runs_test::TearDown();
    }
};

// Three simulations of rate (one value) and Stock (four times).
sens_spec three_simulations() {
    sens_spec s;
    s.rows = 3;
    s.times = 4;
    s.singles = {"rate"};
    s.series = {"Stock"};
    for (int r = 0; r < 3; ++r) {
        s.matrix.push_back(0.5f * static_cast<float>(r + 1));
        for (int t = 0; t < 4; ++t) s.matrix.push_back(static_cast<float>(10 * r + t));
    }
    return s;
}

TEST_F(sens_and_game_test, a_sensitivity_run_reads_alike_in_either_byte_order) {
    model_builder mb;
    build_test_model(mb);
    const int rate = run_builder::slot_of(mb.symbols(), "rate");
    ASSERT_GE(rate, 0);
    for (bool foreign : {false, true}) {
        SCOPED_TRACE(foreign ? "foreign" : "native");
        run_builder rb(mb.symbols(), 'S');
        rb.times({0, 1, 2, 3}).series("Stock", {0, 1, 2, 3}).constant("rate", 0.5f);
        rb.sensitivity(three_simulations()).foreign(foreign);
        const int r = kdf_open(write_run(foreign ? "f.kdf" : "n.kdf", rb).c_str());
        ASSERT_GE(r, 0);
        std::uint32_t head[9];
        ASSERT_TRUE(run_sens_header(r, head));
        EXPECT_EQ(head[0], 3u);          // simulations
        EXPECT_EQ(head[1], 4u);          // saved times per series
        EXPECT_EQ(head[6] >> 16, 1u);    // one single-value variable (bytes 26-27)
        EXPECT_EQ(head[7] & 0xFFFF, 1u); // one series variable (bytes 28-29)
        EXPECT_EQ(head[8], static_cast<std::uint32_t>(rate)); // the first slot listed
        std::vector<std::vector<float>> rows;
        ASSERT_EQ(sens_values("rate", r, rows), 1);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0][0], 0.5f);
        EXPECT_EQ(rows[2][0], 1.5f);
        ASSERT_EQ(sens_values("Stock", r, rows), 4);
        EXPECT_EQ(rows[1], (std::vector<float>{10, 11, 12, 13}));
        EXPECT_EQ(rows[2], (std::vector<float>{20, 21, 22, 23}));
        unload_runs(1);
    }
}

TEST_F(sens_and_game_test, a_game_reads_a_series_for_a_level_and_one_value_for_an_initial) {
    model_builder mb("game");
    mb.control(0, 3, 1, 1);
    mb.level("Stock", "rate", "start");
    mb.initial("start", "5");
    mb.constant("rate", 2);
    ASSERT_TRUE(mb.finish());
    int type = 0;
    const int start = run_builder::slot_of(mb.symbols(), "start", &type);
    ASSERT_GE(start, 0);
    ASSERT_EQ(type, st_initial);
    const int stock = run_builder::slot_of(mb.symbols(), "Stock");
    run_builder rb(mb.symbols());
    rb.times({0, 1, 2, 3}).series("Stock", {5, 7, 9, 11}).constant("start", 5).constant("rate", 2);
    const int r = kdf_open(write_run("g.kdf", rb).c_str());
    ASSERT_GE(r, 0);
    std::vector<float> out;
    EXPECT_EQ(read_run_var_values(r, stock, out), 0) << "only while a game is on";
    game_state = 1;
    ASSERT_EQ(read_run_var_values(r, stock, out), 4);
    EXPECT_EQ(out, (std::vector<float>{5, 7, 9, 11}));
    ASSERT_EQ(read_run_var_values(r, start, out), 1);
    EXPECT_EQ(out, (std::vector<float>{5}));
}

} // namespace

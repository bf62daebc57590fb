// Reading runs back into simulations, sensitivity reads and the level-change
// check.
#include "runs/readback.h"
#include "runs/sens.h"
#include "runs_fixture.h"
#include "sim/simdata.h"

namespace {

class readback_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        build_test_model(mb_);
    }
    void TearDown() override {
        close_model(0, 0);
        runs_test::TearDown();
    }
    int open_run(run_builder& rb, const char* name = "rb.kdf") {
        return kdf_open(write_run(name, rb).c_str());
    }
    void make_open(model_builder& b) {
        model_pair m = b.release();
        close_model(m.header, m.symbols);
    }
    model_builder mb_{"town"};
};

TEST_F(readback_test, constants_and_data_from_a_run) {
    run_builder rb(mb_.symbols());
    rb.times({0, 2, 4, 6})
        .series("Pop[north]", {1, 2, 3, 4})
        .series("Pop[south]", {10, 20, 30, 40})
        .constant("rate", 0.5f);
    std::string p = path("src.kdf");
    ASSERT_EQ(rb.write(p), 1);
    make_open(mb_);
    // Midway between saved times a constant takes the earlier value.
    float* rows[1];
    run_const_dest c{2, 1, rows};
    ASSERT_EQ(get_run_data(nullptr, &c, p.c_str(), "Pop[region]", 3, 0), 1);
    EXPECT_EQ(c.row[0][0], 2);
    EXPECT_EQ(c.row[0][1], 20);
    ASSERT_EQ(get_run_data(nullptr, &c, p.c_str(), "Pop", 100, 0), 1);
    EXPECT_EQ(c.row[0][1], 40);
    // On the first and the last saved time exactly: their values.
    ASSERT_EQ(get_run_data(nullptr, &c, p.c_str(), "Pop[region]", 6, 0), 1);
    EXPECT_EQ(c.row[0][0], 4);
    EXPECT_EQ(c.row[0][1], 40);
    ASSERT_EQ(get_run_data(nullptr, &c, p.c_str(), "Pop[region]", 0, 0), 1);
    EXPECT_EQ(c.row[0][0], 1);
    EXPECT_EQ(c.row[0][1], 10);
    // A constant feeds a data destination as a flat line over the run's span.
    run_data_dest d{1, nullptr};
    ASSERT_EQ(get_run_data(&d, nullptr, p.c_str(), "rate", 1, 2), 1);
    ASSERT_EQ(d.blocks[0]->count, 2);
    EXPECT_EQ(d.blocks[0]->times[0], 1);  // 0 * 2 + 1
    EXPECT_EQ(d.blocks[0]->times[1], 13); // 6 * 2 + 1
    EXPECT_EQ(d.blocks[0]->values[1], 0.5f);
    captured().clear();
    EXPECT_EQ(get_run_data(nullptr, &c, p.c_str(), "rate", 0, 0), 0);
    EXPECT_TRUE(any_message_contains("has 1 elements (need 2)"));
    EXPECT_EQ(get_run_data(&d, nullptr, p.c_str(), "nothing", 0, 0), 0);
    EXPECT_TRUE(any_message_contains("is not contained in"));
    EXPECT_EQ(get_run_data(&d, nullptr, path("none.kdf").c_str(), "rate", 0, 0), 0);
    EXPECT_TRUE(any_message_contains("Unable to open"));
    free_scratch();
}

TEST_F(readback_test, resume_maps_by_name_or_refuses) {
    // The run comes from another version (an extra level first).
    model_builder v2("town");
    build_test_model(v2, true);
    run_builder rb(v2.symbols());
    rb.times({0, 1, 2, 3})
        .series("Stock", {1, 2, 3, 4})
        .series("extra", {7, 7, 7, 7})
        .series("Pop[north]", {5, 6, 7, 8})
        .series("Pop[south]", {9, 9, 9, 9});
    int r = open_run(rb);
    ASSERT_GE(r, 0);
    make_open(mb_);
    std::uint32_t slots = get_header_word(cur_model_symbols, mh_level_slots) +
                          get_header_word(cur_model_symbols, mh_other_slots);
    std::vector<float> values(slots, -1);
    EXPECT_EQ(resume_from_run(r, values, 1.5, 0),
              static_cast<int>(get_header_word(cur_model_symbols, mh_level_slots)));
    int stock = run_builder::slot_of(cur_model_symbols, "Stock");
    int north = run_builder::slot_of(cur_model_symbols, "Pop[north]");
    EXPECT_EQ(values[static_cast<std::size_t>(stock)], 3); // the tie takes the later time
    EXPECT_EQ(values[static_cast<std::size_t>(north)], 7);
    EXPECT_EQ(values[0], 2); // Time
    // Beyond the run's end by more than span / (2 n): refused.
    EXPECT_EQ(resume_from_run(r, values, 4, 0), 0);
    EXPECT_EQ(resume_from_run(r, values, 3.3, 0), 4);
}

// Without a file name every element gets the value a: a constants
// destination in each cell, a data destination one point at time 0.
TEST_F(readback_test, no_file_gives_the_value_everywhere) {
    make_open(mb_);
    float* rows[2];
    run_const_dest c{2, 2, rows};
    ASSERT_EQ(get_run_data(nullptr, &c, "", "Pop[region]", 7, 3), 1);
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k < 2; ++k) EXPECT_EQ(c.row[r][k], 7) << r << k;
    run_data_dest d{2, nullptr};
    ASSERT_EQ(get_run_data(&d, nullptr, nullptr, "Pop[region]", 5, 2), 1);
    for (int k = 0; k < 2; ++k) {
        ASSERT_NE(d.blocks[k], nullptr);
        ASSERT_EQ(d.blocks[k]->count, 1);
        EXPECT_EQ(d.blocks[k]->times[0], 0);
        EXPECT_EQ(d.blocks[k]->values[0], 5);
    }
    free_scratch();
}

// A run of another version is mapped by element name, where a blank and an
// underscore are the same character and case does not count.
TEST_F(readback_test, resume_by_name_takes_underscores_for_blanks_in_any_case) {
    model_builder v2("town");
    v2.control(0, 10, 1, 1);
    v2.level("extra", "1", "0");
    v2.level("Big_Stock", "1", "0");
    ASSERT_TRUE(v2.finish());
    run_builder rb(v2.symbols());
    rb.times({0, 1, 2}).series("extra", {1, 1, 1}).series("Big_Stock", {4, 5, 6});
    const int r = open_run(rb);
    ASSERT_GE(r, 0);
    model_builder now("town");
    now.control(0, 10, 1, 1);
    now.level("big stock", "1", "0");
    ASSERT_TRUE(now.finish());
    make_open(now);
    const std::uint32_t levels = get_header_word(cur_model_symbols, mh_level_slots);
    std::vector<float> values(levels + get_header_word(cur_model_symbols, mh_other_slots), -1);
    EXPECT_EQ(resume_from_run(r, values, 1, 0), static_cast<int>(levels));
    const int big = run_builder::slot_of(cur_model_symbols, "big stock");
    ASSERT_GE(big, 0);
    EXPECT_EQ(values[static_cast<std::size_t>(big)], 5);
}

TEST_F(readback_test, resume_refuses_when_a_level_has_no_counterpart) {
    model_builder small("small");
    small.control(0, 10, 1, 1);
    small.level("Other", "1", "0");
    ASSERT_TRUE(small.finish());
    run_builder rb(small.symbols());
    rb.times({0, 1}).series("Other", {1, 2});
    int r = open_run(rb);
    ASSERT_GE(r, 0);
    make_open(mb_);
    std::vector<float> values(64, -1);
    EXPECT_EQ(resume_from_run(r, values, 1, 0), 0);
}

TEST_F(readback_test, delay_states_are_checked_before_use) {
    set_header_word(mb_.symbols(), mh_delay_objects, 2);
    std::vector<std::uint8_t> obj(28 + 8 * 3, 0);
    obj[0] = 40;
    run_builder good(mb_.symbols()), foreign(mb_.symbols());
    good.times({0, 1}).delays({obj, {}});
    foreign.times({0, 1}).delays({obj, {}}).foreign(true);
    int rg = open_run(good, "g.kdf");
    int rf = open_run(foreign, "f.kdf");
    std::vector<std::uint8_t> bytes = good.bytes();
    // A capacity field that disagrees with the count before it.
    bytes[good.layout().delays + 2 + 24] = 9;
    std::string pb = write_bytes("bad.kdf", bytes);
    int rbad = kdf_open(pb.c_str());
    ASSERT_GE(rg, 0);
    ASSERT_GE(rbad, 0);
    make_open(mb_);
    std::vector<std::vector<std::uint8_t>> states;
    ASSERT_EQ(read_run_delays(rg, states), 1);
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].size(), obj.size());
    EXPECT_EQ(states[0][24], 3);
    EXPECT_TRUE(states[1].empty());
    std::vector<std::vector<std::uint8_t>> fs;
    ASSERT_EQ(read_run_delays(rf, fs), 1);
    EXPECT_EQ(fs, states);
    static int given;
    given = 0;
    set_delay_state_sink([](const std::vector<std::vector<std::uint8_t>>&) {
        ++given;
        return 1;
    });
    EXPECT_EQ(load_run_delays(rbad), 0);
    EXPECT_EQ(given, 0); // nothing handed over from a bad run
    // The states read last (not the bad run's) are there to be asked for again.
    std::vector<std::vector<std::uint8_t>> last;
    ASSERT_EQ(read_run_delays(-1, last), 1);
    EXPECT_EQ(last, states);
    EXPECT_EQ(load_run_delays(rg), 1);
    EXPECT_EQ(given, 1);
    set_delay_state_sink(nullptr);
}

TEST_F(readback_test, sensitivity_values_and_percentiles) {
    sens_spec s;
    s.rows = 3;
    s.times = 4;
    s.singles = {"rate"};
    s.series = {"Stock"};
    for (int r = 0; r < 3; ++r) {
        s.matrix.push_back(0.1f * static_cast<float>(r + 1));
        for (int t = 0; t < 4; ++t) s.matrix.push_back(static_cast<float>(100 * r + t));
    }
    run_builder rb(mb_.symbols(), 'S');
    rb.times({0, 1, 2, 3}).series("Stock", {0, 1, 2, 3}).constant("rate", 0.1f).sensitivity(s);
    int r = open_run(rb);
    ASSERT_GE(r, 0);
    std::uint32_t head[9];
    ASSERT_TRUE(run_sens_header(r, head));
    EXPECT_EQ(head[0], 3u);
    EXPECT_EQ(head[1], 4u);
    std::vector<std::vector<float>> rows;
    EXPECT_EQ(sens_values("rate", r, rows), 1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FLOAT_EQ(rows[2][0], 0.3f);
    EXPECT_EQ(sens_values("Stock", r, rows), 4);
    EXPECT_EQ(rows[1][3], 103);
    EXPECT_EQ(sens_values("inflow", r, rows), 0);
    std::vector<float> at;
    EXPECT_EQ(sens_percentiles("Stock", r, at, "Time", 2), 3);
    EXPECT_EQ(at, (std::vector<float>{2, 102, 202}));
    EXPECT_EQ(sens_percentiles("Stock", r, at, "Time", -1), 0); // before by more than span/(2n)
    EXPECT_EQ(sens_percentiles("rate", r, at, "Time", 50), 3);
    run_builder plain(mb_.symbols());
    plain.times({0, 1});
    int p = open_run(plain, "plain.kdf");
    EXPECT_FALSE(run_sens_header(p, head));
    // Against a time base the time is the base's: Year = Time + 2000.
    make_open(mb_);
    EXPECT_EQ(sens_percentiles("Stock", r, at, "Year", 2002), 3);
    EXPECT_EQ(at, (std::vector<float>{2, 102, 202}));
    EXPECT_EQ(sens_percentiles("Stock", r, at, "Year", 2), 0);
}

TEST_F(readback_test, changing_levels_needs_both_first_values) {
    run_builder rb(mb_.symbols());
    rb.times({0, 1, 2})
        .series("Stock", {10, 11, 12})
        .series("Pop[north]", {5, 5, 6})   // unchanged over the first two
        .series("Pop[south]", {NA, 3, 4}); // no first value
    int r = open_run(rb);
    ASSERT_GE(r, 0);
    std::vector<changing_level> list;
    EXPECT_EQ(changing_levels(r, list, 0, 0), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "Stock");
    // With tolerances the change of 1 on 10.5 is too small.
    captured().clear();
    EXPECT_EQ(changing_levels(r, list, 0.5, 0), 0);
    EXPECT_TRUE(any_message_contains("No levels are changing"));
    EXPECT_EQ(changing_levels(77, list, 0, 0), 0);
    EXPECT_TRUE(any_message_contains("Problem with first run"));
}

} // namespace

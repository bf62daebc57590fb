// Damaged run files are rejected with a message naming the file, and reads of
// damaged records give nothing rather than another run's bytes.
#include <cstring>

#include "runs_fixture.h"

namespace {

class corrupt_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        build_test_model(mb_);
    }
    run_builder base(char type = 'R') {
        run_builder rb(mb_.symbols(), type);
        rb.times({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})
            .data_times({0, 5, 10})
            .series("Stock", ramp(11, 10, 1))
            .series("Obs", {1, 2, 3})
            .constant("rate", 0.5f);
        return rb;
    }
    // Writes bytes, opens them, and expects a rejection naming the file.
    void expect_rejected(const std::vector<std::uint8_t>& b, const char* why) {
        std::string p = write_bytes("bad.kdf", b);
        captured().clear();
        EXPECT_EQ(kdf_open(p.c_str()), -1) << why;
        bool named = false;
        for (auto& m : captured())
            if (m.text.find("bad.kdf") != std::string::npos) named = true;
        EXPECT_TRUE(named) << why;
    }
    static void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        std::memcpy(b.data() + at, &v, 4);
    }
    model_builder mb_;
};

TEST_F(corrupt_test, counts_that_disagree_with_the_file_are_rejected) {
    run_builder rb = base();
    std::vector<std::uint8_t> good = rb.bytes();
    const run_layout L = rb.layout();

    auto b = good;
    // Time's count below the saved times would read the next record as times.
    std::uint16_t short_count = 5;
    std::memcpy(b.data() + L.time_record, &short_count, 2);
    expect_rejected(b, "time count below word 30");
    EXPECT_TRUE(any_message_contains("Corrupted kdf file"));

    b = good;
    put32(b, 120, 0x40000000); // word 30 beyond the file
    expect_rejected(b, "word 30 too large");

    b = good;
    put32(b, 124, 3); // word 31 below word 30
    expect_rejected(b, "word 31 below word 30");

    b = good;
    put32(b, 116, 0xFFFFFFF0u); // word 29 negative
    expect_rejected(b, "negative word 29");

    b = good;
    put32(b, 100, static_cast<std::uint32_t>(good.size() - 8)); // offset table off the end
    expect_rejected(b, "offset table");

    b = good;
    std::uint16_t bad_data = 9;
    std::memcpy(b.data() + L.data_axis_record, &bad_data, 2);
    expect_rejected(b, "data axis count");

    b = good;
    b.resize(L.constants / 2); // truncated
    expect_rejected(b, "truncated");
}

TEST_F(corrupt_test, row_layout_and_sensitivity_heads_are_checked) {
    run_builder rb = base('r');
    std::vector<std::uint8_t> good = rb.bytes();
    const run_layout L = rb.layout();
    auto b = good;
    put32(b, L.offset_table + 4, 0); // row length 0
    expect_rejected(b, "row length 0");
    b = good;
    put32(b, L.offset_table + 4, 1000000); // rows beyond the file
    expect_rejected(b, "row length large");

    run_builder pairs = base('r');
    pairs.direct_table(false).series("inflow", ramp(11, 1, 0));
    good = pairs.bytes();
    const run_layout P = pairs.layout();
    b = good;
    // Pairs out of slot order.
    put32(b, P.offset_table + 20 + 4, 5);
    put32(b, P.offset_table + 20 + 12, 1);
    expect_rejected(b, "unsorted pairs");

    sens_spec s;
    s.rows = 2;
    s.times = 11;
    s.singles = {"rate"};
    s.series = {"Stock"};
    s.matrix.assign(2 * (1 + 11), 1.0f);
    run_builder sr = base('S');
    sr.sensitivity(s);
    good = sr.bytes();
    const run_layout S = sr.layout();
    b = good;
    put32(b, S.section, 100000); // rows
    expect_rejected(b, "sensitivity rows");
    b = good;
    std::uint16_t many = 60000;
    std::memcpy(b.data() + S.section + 28, &many, 2); // S
    expect_rejected(b, "sensitivity series count");
    b = good;
    put32(b, S.section + 4, 7); // T differs from the saved times
    expect_rejected(b, "sensitivity T");
    b = good;
    put32(b, S.section + 32, 99999); // a slot outside the model
    expect_rejected(b, "sensitivity slot");
}

TEST_F(corrupt_test, damaged_records_read_nothing) {
    run_builder rb = base();
    rb.string_value("Label", "text");
    std::vector<std::uint8_t> good = rb.bytes();
    const run_layout L = rb.layout();
    int stock = run_builder::slot_of(mb_.symbols(), "Stock");
    ASSERT_GT(stock, 0);
    // Stock's record points past the end of the file: the run is refused
    // rather than shown with Stock empty.
    auto b = good;
    put32(b, L.offset_table + 4 * static_cast<std::uint32_t>(stock),
          static_cast<std::uint32_t>(b.size() + 100));
    expect_rejected(b, "record beyond the end");
    EXPECT_TRUE(any_message_contains("the values of Stock are cut off"));

    // The string block's pointer cell names a cell outside the block.
    b = good;
    put32(b, L.strings + 4 * 7, 100000);
    std::string p = write_bytes("damaged.kdf", b);
    int r = kdf_open(p.c_str());
    ASSERT_GE(r, 0);
    std::vector<float> v, t;
    EXPECT_EQ(read_run_series("Stock", "Time", r, v, t), 11);
    EXPECT_EQ(run_string_value("Label", r), nullptr);
    EXPECT_EQ(read_run_series("Obs", "Time", r, v, t), 3);
}

TEST_F(corrupt_test, a_record_count_that_disagrees_with_its_presence_bits_is_refused) {
    run_builder rb = base();
    std::vector<std::uint8_t> good = rb.bytes();
    const run_layout L = rb.layout();
    int obs = run_builder::slot_of(mb_.symbols(), "Obs");
    std::uint32_t at = L.records.at(obs);
    // A count above the bits would repeat or invent values; one below them
    // would show the last values at the wrong times.
    for (std::uint16_t count : {std::uint16_t{30000}, std::uint16_t{2}}) {
        auto b = good;
        std::memcpy(b.data() + at, &count, 2);
        expect_rejected(b, "count against the presence bits");
        EXPECT_TRUE(any_message_contains("the value count of Obs disagrees with its presence bits"))
            << count;
    }
    // A presence bit past the record's points.
    auto b = good;
    b[at + 2] |= 0x80;
    expect_rejected(b, "stray presence bit");
    EXPECT_TRUE(any_message_contains("the presence bits of Obs run past its 3 points"));
}

// A lookup record whose points run past the end of the lookup data block
// (by as little as one cell) reads nothing: neither its points nor the
// tables that would hand them to the model.
TEST_F(corrupt_test, a_lookup_record_past_its_data_block_reads_nothing) {
    run_builder rb(mb_.symbols());
    rb.times({0, 1}).lookup_points("Effect", {0, 5}, {1, 9});
    std::vector<std::uint8_t> good = rb.bytes();
    const run_layout L = rb.layout();
    ASSERT_NE(L.lookups, 0u);
    // One lookup record of 52 bytes, then the data block: its cell count is
    // the block head's fourth word.
    const std::size_t block = L.lookups + 52;
    std::uint32_t cells = 0;
    std::memcpy(&cells, good.data() + block + 12, 4);
    ASSERT_GT(cells, 7u);
    std::vector<int> runs;
    for (std::size_t field : {std::size_t{20}, std::size_t{24}}) { // x_cell, y_cell
        auto b = good;
        put32(b, L.lookups + field, cells - 1); // two points from the last cell
        const int r = kdf_open(write_bytes(field == 20 ? "x.kdf" : "y.kdf", b).c_str());
        ASSERT_GE(r, 0) << field;
        std::vector<float> x, y;
        EXPECT_EQ(read_run_lookup("Effect", r, x, y), 0) << field;
        EXPECT_TRUE(x.empty());
        runs.push_back(r);
    }
    const int sound = kdf_open(write_bytes("good.kdf", good).c_str());
    ASSERT_GE(sound, 0);
    std::vector<float> x, y;
    EXPECT_EQ(read_run_lookup("Effect", sound, x, y), 2);
    EXPECT_EQ(y, (std::vector<float>{1, 9}));

    model_pair open = mb_.release();
    close_model(open.header, open.symbols);
    std::vector<kdf_lookup_record> recs;
    for (int r : runs) {
        EXPECT_EQ(read_run_lookup_tables(r, recs, 1), 0u) << r;
        EXPECT_TRUE(recs.empty());
    }
    handle h = read_run_lookup_tables(sound, recs, 1);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(recs.size(), 1u);
    free_handle(h);
    close_model(0, 0);
}

// A header whose time count (word 31) is below the data points (word 29),
// though not below the saved times, is refused: the data axis would run
// past the time axis.
TEST_F(corrupt_test, a_time_count_below_the_data_points_is_refused) {
    run_builder rb(mb_.symbols());
    rb.times({0, 1}).data_times({0, 1, 2, 3}).series("Stock", {1, 2}).series("Obs", {1, 2, 3, 4});
    std::vector<std::uint8_t> good = rb.bytes();
    EXPECT_GE(kdf_open(write_bytes("good.kdf", good).c_str()), 0);
    auto b = good;
    put32(b, 84 + 4 * (31 - 21), 2); // word 31: the saved times, fewer than the data points
    expect_rejected(b, "time count below the data points");
    EXPECT_TRUE(any_message_contains("time count below the saved times"));
}

// Time typed as a data variable in the run's model part reads its record
// over the data points: with more data points than saved times its record
// misses saved times, and the file is refused rather than read with a time
// axis shorter than its type says.
TEST_F(corrupt_test, a_time_record_short_of_its_points_is_refused) {
    std::uint8_t time_type = 0;
    {
        model_lock_guard g(mb_.symbols(), 1);
        ASSERT_NE(model_slot_types, nullptr);
        time_type = model_slot_types[0];
        model_slot_types[0] = 5; // a data type
    }
    run_builder rb(mb_.symbols());
    rb.times({0, 1}).data_times({0, 1, 2, 3}).series("Stock", {1, 2});
    std::vector<std::uint8_t> bytes = rb.bytes();
    {
        model_lock_guard g(mb_.symbols(), 1);
        model_slot_types[0] = time_type;
    }
    expect_rejected(bytes, "Time short of its points");
    EXPECT_TRUE(any_message_contains("the record of Time misses saved times"));
}

TEST_F(corrupt_test, wrong_version_is_not_compatible) {
    run_builder rb = base();
    rb.version(200);
    std::vector<std::uint8_t> b = rb.bytes();
    std::string p = write_bytes("old.kdf", b);
    EXPECT_EQ(kdf_open(p.c_str()), -1);
    EXPECT_TRUE(any_message_contains("is not compatible with the current system"));
}

} // namespace

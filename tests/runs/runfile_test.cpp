// The run-file reader and the table of loaded runs.
#include <cstring>
#include <fstream>
#include <iterator>

#include "runs/runinfo.h"
#include "runs_fixture.h"

namespace {

struct layout_case {
    char type;
    bool counts32;
    bool foreign;
    bool in_table;
    bool direct;
};

// Fills a builder with the values every layout test reads back.
void standard_values(run_builder& rb) {
    rb.times({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})
        .data_times({0, 2.5f, 5, 7.5f, 10})
        // Repeated values leave gaps in the presence bits.
        .series("Stock", {10, 11, 11, 11, 12, 13, 13, 14, 15, 15, 15})
        .series("Pop[south]", {NA, NA, 3, 4, 4, 5, 6, 7, 8, 9, 10})
        .series("inflow", {1, 1.1f, 1.2f, 1.3f, 1.4f, 1.5f, 1.6f, 1.7f, 1.8f, 1.9f, 2})
        .series("Obs", {NA, 20, NA, 22, 23})
        .constant("rate", 0.1f)
        .constant("size", 7)
        .string_value("Label", "run label");
}

class layout_test : public runs_test, public testing::WithParamInterface<layout_case> {};

TEST_P(layout_test, every_layout_reads_alike) {
    const layout_case& c = GetParam();
    model_builder mb("town");
    build_test_model(mb);
    ASSERT_TRUE(mb.finish());
    run_builder rb(mb.symbols(), c.type);
    standard_values(rb);
    rb.counts32(c.counts32)
        .foreign(c.foreign)
        .constants_in_table(c.in_table)
        .direct_table(c.direct);
    std::string p = write_run("layout.kdf", rb);
    int r = kdf_open(p.c_str());
    ASSERT_GE(r, 0) << (captured().empty() ? "" : captured().back().text);
    EXPECT_EQ(run_type(r), c.type);
    EXPECT_EQ(run_time_count(r), 11);

    std::vector<float> v, t;
    double first = -1, last = -1;
    int data = -1;
    ASSERT_EQ(read_run_series("Stock", "Time", r, v, t, &first, &last, &data), 11);
    EXPECT_EQ(v, (std::vector<float>{10, 11, 11, 11, 12, 13, 13, 14, 15, 15, 15}));
    EXPECT_EQ(t.front(), 0);
    EXPECT_EQ(t.back(), 10);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 10);
    EXPECT_EQ(data, 0);

    // Leading missing points are dropped with their times.
    ASSERT_EQ(read_run_series("Pop[south]", "Time", r, v, t), 9);
    EXPECT_EQ(v.front(), 3);
    EXPECT_EQ(t.front(), 2);
    EXPECT_EQ(read_run_series("Pop[north]", "Time", r, v, t), 0); // not saved

    // A constant: one point at the first saved time.
    ASSERT_EQ(read_run_series("rate", "Time", r, v, t), 1);
    EXPECT_FLOAT_EQ(v[0], 0.1f);
    float cv = 0;
    EXPECT_EQ(run_constant_value("size", r, &cv), 1);
    EXPECT_EQ(cv, 7);

    // The data variable against the data time axis.
    ASSERT_GE(read_run_series("Obs", "Time", r, v, t, nullptr, nullptr, &data), 3);
    EXPECT_EQ(data, 1);
    if (c.type == 'R') {
        EXPECT_EQ(t, (std::vector<float>{2.5f, 7.5f, 10}));
        EXPECT_EQ(v, (std::vector<float>{20, 22, 23}));
    }
    std::vector<float> axis;
    EXPECT_EQ(read_run_series(nullptr, "Time", r, axis, t), 5);

    char* s = run_string_value("Label", r);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "run label");

    std::vector<float> x, y;
    ASSERT_EQ(read_run_lookup("Effect", r, x, y), 3);
    EXPECT_EQ(y, (std::vector<float>{0, 2, 3}));
    // A lookup is read through read_run_values when it is not a series.
    EXPECT_EQ(read_run_values("Effect", "Time", r, v, t), 3);
    EXPECT_EQ(t, (std::vector<float>{0, 1, 2}));

    std::vector<float> all;
    int slots = read_run_constants(r, all);
    EXPECT_GT(slots, 5);
    EXPECT_TRUE(captured().empty()) << captured().front().text;
}

INSTANTIATE_TEST_SUITE_P(layouts, layout_test,
                         testing::Values(layout_case{'R', false, false, true, true},
                                         layout_case{'R', true, false, true, true},
                                         layout_case{'R', false, true, true, true},
                                         layout_case{'R', true, true, false, true},
                                         layout_case{'R', false, false, false, true},
                                         layout_case{'r', false, false, false, true},
                                         layout_case{'r', true, false, false, false},
                                         layout_case{'r', false, true, false, false},
                                         layout_case{'P', false, false, true, true},
                                         layout_case{'p', false, true, false, true}));

TEST_F(runs_test, same_name_returns_the_loaded_run) {
    model_builder mb;
    build_test_model(mb);
    run_builder rb(mb.symbols());
    standard_values(rb);
    std::string p = write_run("Base.kdf", rb);
    int a = kdf_open(p.c_str());
    ASSERT_GE(a, 0);
    // Another spelling of the same file: case, extension, leading '@'.
    std::string other = "@" + dir_ + "/BASE.dat";
    EXPECT_EQ(kdf_open(other.c_str()), a);
    EXPECT_EQ(find_run(p.c_str()), a);
    EXPECT_STREQ(run_display_name(a), "Base");
    EXPECT_EQ(find_run(path("nothing").c_str()), -1);
    // Any number of leading '@' and trailing blanks name the same file.
    EXPECT_EQ(kdf_open(("@@" + p + " \t").c_str()), a);
    EXPECT_EQ(find_run(("@@@" + p).c_str()), a);
    // Only the extension leaves the shown name: dots before it stay.
    int b = kdf_open(write_run("Base.v2.kdf", rb).c_str());
    ASSERT_GE(b, 0);
    EXPECT_NE(b, a);
    EXPECT_STREQ(run_display_name(b), "Base.v2");
}

TEST_F(runs_test, the_run_information_comes_back_whole_at_every_length) {
    model_builder mb;
    build_test_model(mb);
    for (std::size_t n = 1; n <= 12; ++n) {
        run_builder rb(mb.symbols());
        standard_values(rb);
        const std::string comment(n, 'c');
        rb.info("kavrel", comment.c_str());
        int r = kdf_open(write_run("info" + std::to_string(n) + ".kdf", rb).c_str());
        ASSERT_GE(r, 0) << n;
        EXPECT_EQ(run_info_text(r), "kavrel\n" + comment) << n;
    }
}

TEST_F(runs_test, identical_model_parts_are_shared_and_versions_are_not) {
    model_builder mb("same origin");
    build_test_model(mb);
    model_builder other("same origin");
    build_test_model(other, true);
    run_builder r1(mb.symbols()), r2(mb.symbols()), r3(other.symbols());
    standard_values(r1);
    standard_values(r2);
    standard_values(r3);
    r3.series("extra", std::vector<float>(11, 0.2f));
    // The origin texts are equal: only the model bytes tell the versions apart.
    int a = kdf_open(write_run("a.kdf", r1).c_str());
    int b = kdf_open(write_run("b.kdf", r2).c_str());
    int c = kdf_open(write_run("c.kdf", r3).c_str());
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_GE(c, 0);
    EXPECT_TRUE(runs_share_model(a, b));
    EXPECT_FALSE(runs_share_model(a, c));
    // Each reads through its own symbol table.
    std::vector<float> v, t;
    ASSERT_EQ(read_run_series("inflow", "Time", c, v, t), 11);
    EXPECT_FLOAT_EQ(v[1], 1.1f);
    ASSERT_EQ(read_run_series("extra", "Time", c, v, t), 11);
    EXPECT_FLOAT_EQ(v[0], 0.2f);
    EXPECT_EQ(read_run_series("extra", "Time", a, v, t), 0);
    // Unloading one sharer keeps the model part for the other.
    std::size_t before = live_handle_count();
    EXPECT_EQ(unload_run(a), 1);
    EXPECT_EQ(read_run_series("Stock", "Time", b, v, t), 11);
    EXPECT_EQ(unload_run(b), 1);
    EXPECT_LT(live_handle_count(), before);
    EXPECT_EQ(unload_run(b), 0);
}

TEST_F(runs_test, lock_pair_is_never_nested) {
    model_builder mb;
    build_test_model(mb);
    run_builder rb(mb.symbols());
    standard_values(rb);
    int r = kdf_open(write_run("x.kdf", rb).c_str());
    ASSERT_GE(r, 0);
    {
        run_lock outer(r);
        ASSERT_TRUE(outer);
        // An accessor called while a run is current is refused.
        std::vector<float> v, t;
        EXPECT_EQ(read_run_series("Stock", "Time", r, v, t), 0);
        EXPECT_TRUE(any_message_contains("lock_rh called when a block is already locked"));
    }
    EXPECT_EQ(cur_run, nullptr);
    captured().clear();
    unlock_rh();
    EXPECT_TRUE(any_message_contains("unlock_rh called when there is nothing to unlock"));
    EXPECT_EQ(lock_rh(-1), nullptr);
    EXPECT_EQ(lock_rh(999), nullptr);
}

TEST_F(runs_test, broken_handle_refuses_reads_and_allows_unloading) {
    model_builder mb;
    build_test_model(mb);
    run_builder rb(mb.symbols());
    standard_values(rb);
    std::string p = write_run("b.kdf", rb);
    int r = kdf_open(p.c_str());
    ASSERT_GE(r, 0);
    std::vector<float> v, t;
    // Closed for a moment: reads refused, the record still answers.
    ASSERT_EQ(close_run_file_for_rewrite(p.c_str()), r);
    EXPECT_EQ(read_run_series("Stock", "Time", r, v, t), 0);
    EXPECT_EQ(run_type(r), 'R');
    // The file is replaced by another: the reopen is refused.
    std::remove(p.c_str());
    {
        std::ofstream f(p, std::ios::binary);
        f << "not the same file";
    }
    ASSERT_EQ(reopen_run_file(p.c_str()), r);
    captured().clear();
    EXPECT_EQ(read_run_series("Stock", "Time", r, v, t), 0);
    EXPECT_TRUE(any_message_contains("not loaded properly"));
    captured().clear();
    EXPECT_EQ(read_run_series("Stock", "Time", r, v, t), 0);
    EXPECT_EQ(run_type(r), 'R');
    EXPECT_TRUE(captured().empty()); // reported once
    EXPECT_EQ(find_run(p.c_str()), -1);
    EXPECT_EQ(unload_run(r), 1);
}

TEST_F(runs_test, deleting_a_run_file_unloads_the_run) {
    model_builder mb;
    build_test_model(mb);
    run_builder rb(mb.symbols());
    standard_values(rb);
    std::string p = write_run("gone.kdf", rb);
    int r = kdf_open(p.c_str());
    ASSERT_GE(r, 0);
    delete_file(p.c_str(), 1);
    EXPECT_EQ(run_type(r), 0);
}

TEST_F(runs_test, retry_after_a_failed_open_keeps_referenced_runs) {
    model_builder mb;
    build_test_model(mb);
    run_builder rb(mb.symbols());
    standard_values(rb);
    std::vector<int> idx;
    for (int k = 0; k < 21; ++k)
        idx.push_back(kdf_open(write_run("m" + std::to_string(k) + ".kdf", rb).c_str()));
    ASSERT_GE(loaded_run_count(), 21);
    // Run 0 is kept, run 1 is in a selected list, the others neither.
    loaded_run* rec = lock_rh(idx[1]);
    ASSERT_NE(rec, nullptr);
    std::uint16_t serial = rec->serial;
    unlock_rh();
    static int referenced;
    static std::uint16_t referenced_serial;
    referenced = idx[1];
    referenced_serial = serial;
    set_run_reference_hook(
        [](int run, std::uint16_t s) { return run == referenced && s == referenced_serial; });
    mark_loaded_runs();
    int late = kdf_open(write_run("late.kdf", rb).c_str());
    ASSERT_GE(late, 0);
    captured().clear();
    EXPECT_EQ(kdf_open(path("missing.kdf").c_str()), -1);
    // The failed open dropped only the unkept, unreferenced run opened since.
    EXPECT_EQ(run_type(late), 0);
    EXPECT_EQ(run_type(idx[0]), 'R');
    // A run opened since the mark survives when a selected list refers to it.
    int late2 = kdf_open(write_run("late2.kdf", rb).c_str());
    int late3 = kdf_open(write_run("late3.kdf", rb).c_str());
    ASSERT_GE(late2, 0);
    rec = lock_rh(late3);
    ASSERT_NE(rec, nullptr);
    referenced = late3;
    referenced_serial = rec->serial;
    unlock_rh();
    unload_runs(0);
    EXPECT_EQ(run_type(late2), 0);
    EXPECT_EQ(run_type(late3), 'R');
    set_run_reference_hook(nullptr);
}

TEST_F(runs_test, foreign_and_native_files_read_the_same_values) {
    model_builder mb;
    build_test_model(mb);
    run_builder a(mb.symbols()), b(mb.symbols());
    standard_values(a);
    standard_values(b);
    b.foreign(true).counts32(true).info("kavrel -r base", "a comment");
    const std::string foreign_path = write_run("f.kdf", b);
    int ra = kdf_open(write_run("n.kdf", a).c_str());
    int rb = kdf_open(foreign_path.c_str());
    ASSERT_GE(ra, 0);
    ASSERT_GE(rb, 0);
    for (const char* n : {"Stock", "Pop[south]", "inflow", "Obs", "rate"}) {
        std::vector<float> v1, t1, v2, t2;
        EXPECT_EQ(read_run_series(n, "Time", ra, v1, t1), read_run_series(n, "Time", rb, v2, t2));
        EXPECT_EQ(v1, v2) << n;
        EXPECT_EQ(t1, t2) << n;
    }
    EXPECT_EQ(run_info_text(rb), "kavrel -r base\na comment");
    EXPECT_EQ(run_info_text(ra), "");
    // The run information read from the file alone, as the Datasets page
    // asks for it before loading: the same texts in the other byte order.
    run_file_info info;
    ASSERT_TRUE(read_run_file_info(foreign_path.c_str(), info));
    EXPECT_TRUE(info.has_info);
    EXPECT_EQ(info.command_line, "kavrel -r base");
    EXPECT_EQ(info.comment, "a comment");
    // Its block's length is read in the file's byte order too: a block of
    // five cells holds no text and is refused.
    std::ifstream in(foreign_path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const std::size_t block = 164; // the information block follows the header
    ASSERT_GT(bytes.size(), block + 24);
    const std::uint8_t five[4] = {0, 0, 0, 5};
    std::memcpy(&bytes[block + 12], five, 4);
    EXPECT_FALSE(parse_run_file_info(bytes.data(), bytes.size(), info));
}

} // namespace

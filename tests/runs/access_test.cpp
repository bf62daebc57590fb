// The run accessors: the nearest-time rule, interpolation, time bases, pairs
// of series, array runs and reading another model version by name.
#include "runs_fixture.h"

namespace {

class access_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        build_test_model(mb_);
    }
    int open_standard() {
        run_builder rb(mb_.symbols());
        rb.times({0, 2, 4, 6, 8, 10})
            .series("Stock", {10, 20, 30, 40, 50, 60})
            .series("inflow", {NA, 1, 2, 3, 4, 5})
            .constant("rate", 0.25f);
        return kdf_open(write_run("std.kdf", rb).c_str());
    }
    // An array run ('A') of four points in which Stock is saved against
    // Months, written as file.
    int open_array_run(const char* file, std::vector<float> months, std::vector<float> stock) {
        symbol_record rec = get_symbol(mb_.symbols(), mb_.id("Stock"));
        rec.subref = mb_.id("Months");
        put_symbol(mb_.symbols(), mb_.id("Stock"), rec);
        run_builder rb(mb_.symbols(), 'A');
        rb.times({0, 1, 2, 3})
            .series("Months", std::move(months))
            .series("Stock", std::move(stock))
            .array_points(4);
        return kdf_open(write_run(file, rb).c_str());
    }
    model_builder mb_;
};

TEST_F(access_test, nearest_time_rule_at_the_edges_and_on_ties) {
    int r = open_standard();
    ASSERT_GE(r, 0);
    float v;
    auto at = [&](float t, int mode) {
        v = -1;
        EXPECT_EQ(run_value_at_time("Stock", "Time", r, &v, &t, mode), 1);
        return v;
    };
    EXPECT_EQ(at(10, 0), 60);      // exactly the last time
    EXPECT_EQ(at(10.5f, 0), 60);   // within span / (2 n) = 10 / 12
    EXPECT_TRUE(is_na(at(11, 0))); // further: NA, still found
    EXPECT_EQ(at(-0.8f, 0), 10);
    EXPECT_TRUE(is_na(at(-1, 0)));
    EXPECT_EQ(at(3, 0), 30); // a tie takes the later point
    EXPECT_EQ(at(2.9f, 0), 20);
    EXPECT_FLOAT_EQ(at(3, 1), 25); // interpolated
    EXPECT_FLOAT_EQ(at(9.5f, 1), 57.5f);
    // No time: the last value; a constant: its value at any time.
    EXPECT_EQ(run_value_at_time("Stock", "Time", r, &v, nullptr, 0), 1);
    EXPECT_EQ(v, 60);
    float t = 1000;
    EXPECT_EQ(run_value_at_time("rate", "Time", r, &v, &t, 0), 1);
    EXPECT_EQ(v, 0.25f);
    EXPECT_EQ(run_value_at_time("nothing", "Time", r, &v, &t, 0), 0);
    EXPECT_TRUE(is_na(v));

    std::vector<float> times = {0, 2, 4, 6, 8, 10};
    EXPECT_EQ(nearest_time_index(times.data(), 6, 5, false), 3);
    EXPECT_EQ(nearest_time_index(times.data(), 6, -5, false), -1);
    EXPECT_EQ(nearest_time_index(times.data(), 6, -5, true), 0);
}

TEST_F(access_test, names_with_wrong_subscripts_read_nothing) {
    run_builder rb(mb_.symbols());
    rb.times({0, 1}).series("Pop[north]", {1, 2}).series("Pop[south]", {3, 4});
    int r = kdf_open(write_run("subs.kdf", rb).c_str());
    ASSERT_GE(r, 0);
    std::vector<float> v, t;
    EXPECT_EQ(read_run_series("Pop[south]", "Time", r, v, t), 2);
    EXPECT_EQ(v[0], 3);
    EXPECT_EQ(read_run_series("pop [ North ]", "Time", r, v, t), 2);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(read_run_series("Pop", "Time", r, v, t), 0);              // too few
    EXPECT_EQ(read_run_series("Pop[north,south]", "Time", r, v, t), 0); // too many
    EXPECT_EQ(read_run_series("Pop[Stock]", "Time", r, v, t), 0);       // not an element
    EXPECT_EQ(read_run_series("Pop[north", "Time", r, v, t), 0);
    std::vector<std::string> names;
    EXPECT_EQ(expand_element_names("Pop", r, names, 0), 2);
    EXPECT_EQ(names[1], "Pop[south]");
    EXPECT_EQ(expand_element_names("Pop[region]", r, names, 2), 2);
    int slot = -1;
    symbol_id id = run_var_slot("Pop[south]", r, &slot);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(run_element_name(r, id, 1), "Pop[south]");
    EXPECT_EQ(run_var_type("Effect", r), st_lookup);
    EXPECT_EQ(run_var_type("Stock", r), st_level);
}

TEST_F(access_test, time_base_rescales_and_unknown_x_reads_nothing) {
    int r = open_standard();
    ASSERT_GE(r, 0);
    model_pair open = mb_.release();
    close_model(open.header, open.symbols);
    std::vector<float> v, t;
    double first = 0, last = 0;
    ASSERT_EQ(read_run_series("Stock", "Months", r, v, t, &first, &last), 6);
    EXPECT_EQ(t[1], 24);
    EXPECT_EQ(last, 120);
    EXPECT_EQ(read_run_series("Stock", "Stock", r, v, t), 0);
    EXPECT_EQ(read_run_series("Stock", "no such", r, v, t), 0);
    close_model(0, 0);
}

// A constant read as a series is one point at the run's first saved time
// (not its last), whatever the time axis the caller asks for.
TEST_F(access_test, a_constant_reads_as_one_point_at_the_first_saved_time) {
    run_builder rb(mb_.symbols());
    rb.times({2, 4, 6}).series("Stock", {1, 2, 3}).constant("rate", 0.25f);
    const int r = kdf_open(write_run("late.kdf", rb).c_str());
    ASSERT_GE(r, 0);
    std::vector<float> v, t;
    double first = 0, last = 0;
    ASSERT_EQ(read_run_series("rate", "Time", r, v, t, &first, &last), 1);
    EXPECT_EQ(v, (std::vector<float>{0.25f}));
    EXPECT_EQ(t, (std::vector<float>{2}));
    EXPECT_EQ(first, 2);
    EXPECT_EQ(last, 6);
    ASSERT_EQ(read_run_values("rate", "Time", r, v, t), 1);
    EXPECT_EQ(t, (std::vector<float>{2}));
    model_pair open = mb_.release();
    close_model(open.header, open.symbols);
    ASSERT_EQ(read_run_series("rate", "Months", r, v, t, &first, &last), 1);
    EXPECT_EQ(t, (std::vector<float>{24}));
    EXPECT_EQ(last, 72);
    close_model(0, 0);
}

// The time bases of a run's model are listed by name, in alphabetical order,
// each once.
TEST_F(access_test, the_time_bases_of_a_run_are_listed_by_name) {
    const int r = open_standard();
    ASSERT_GE(r, 0);
    char** list = nullptr;
    ASSERT_EQ(run_time_bases(r, &list), 2);
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list[0], "Months");
    EXPECT_STREQ(list[1], "Year");
    EXPECT_EQ(run_time_bases(r, nullptr), 2);
    EXPECT_EQ(run_time_bases(r + 100, &list), 0);
    EXPECT_EQ(list, nullptr);
}

// A model part without type bytes (an older file) types each slot by its
// variable: every element of an arrayed level reads as a series.
TEST_F(access_test, a_model_part_without_type_bytes_types_every_element_by_its_variable) {
    const handle types = get_header_word(mb_.symbols(), mh_slot_types);
    ASSERT_NE(types, 0u);
    set_header_word(mb_.symbols(), mh_slot_types, 0);
    run_builder rb(mb_.symbols());
    rb.times({0, 1, 2})
        .series("Stock", {7, 8, 9})
        .series("Pop[north]", {1, 2, 3})
        .series("Pop[south]", {4, 5, 6})
        .constant("rate", 0.5f);
    const std::string p = write_run("untyped.kdf", rb);
    set_header_word(mb_.symbols(), mh_slot_types, types);
    const int r = kdf_open(p.c_str());
    ASSERT_GE(r, 0);
    std::vector<float> v, t;
    ASSERT_EQ(read_run_series("Pop[south]", "Time", r, v, t), 3);
    EXPECT_EQ(v, (std::vector<float>{4, 5, 6}));
    ASSERT_EQ(read_run_series("Pop[north]", "Time", r, v, t), 3);
    EXPECT_EQ(v, (std::vector<float>{1, 2, 3}));
    ASSERT_EQ(read_run_series("Stock", "Time", r, v, t), 3);
    float c = 0;
    EXPECT_EQ(run_constant_value("rate", r, &c), 1);
    EXPECT_EQ(c, 0.5f);
}

TEST_F(access_test, another_model_version_reads_by_name) {
    // The run was made by a version with an extra variable first: every slot
    // differs from the open model's.
    model_builder v2("town");
    build_test_model(v2, true);
    run_builder rb(v2.symbols());
    rb.times({0, 1, 2})
        .series("Stock", {5, 6, 7})
        .series("extra", {9, 9, 9})
        .series("Pop[south]", {1, 2, 3})
        .constant("size", 3);
    int r = kdf_open(write_run("v2.kdf", rb).c_str());
    ASSERT_GE(r, 0);
    EXPECT_NE(run_builder::slot_of(v2.symbols(), "Stock"),
              run_builder::slot_of(mb_.symbols(), "Stock"));
    std::vector<float> v, t;
    ASSERT_EQ(read_run_series("Stock", "Time", r, v, t), 3);
    EXPECT_EQ(v, (std::vector<float>{5, 6, 7}));
    ASSERT_EQ(read_run_series("Pop[south]", "Time", r, v, t), 3);
    EXPECT_EQ(v[2], 3);
    float c = 0;
    EXPECT_EQ(run_constant_value("size", r, &c), 1);
    EXPECT_EQ(c, 3);
}

// A value fixed at the start (INITIAL) is a single value of the run like a
// constant, and reads back as one; a series does not.
TEST_F(access_test, initial_values_read_back_as_single_values) {
    model_builder mb("start");
    mb.control(0, 10, 1, 1);
    mb.level("Stock", "inflow", "10");
    mb.aux("inflow", "rate * Stock");
    mb.constant("rate", 0.1f);
    mb.initial("first stock", "Stock");
    ASSERT_TRUE(mb.finish());
    run_builder rb(mb.symbols());
    rb.times({0, 1, 2})
        .series("Stock", {10, 11, 12.1f})
        .constant("rate", 0.1f)
        .constant("first stock", 10);
    int r = kdf_open(write_run("initial.kdf", rb).c_str());
    ASSERT_GE(r, 0);
    float v = 0;
    EXPECT_EQ(run_constant_value("first stock", r, &v), 1);
    EXPECT_EQ(v, 10);
    EXPECT_EQ(run_constant_value("rate", r, &v), 1);
    EXPECT_FLOAT_EQ(v, 0.1f);
    EXPECT_EQ(run_constant_value("Stock", r, &v), 0);
}

TEST_F(access_test, xy_pairs_match_on_time) {
    run_builder a(mb_.symbols()), b(mb_.symbols()), one(mb_.symbols()), two(mb_.symbols());
    a.times({0, 1, 2, 3, 4}).series("Stock", {0, 1, 2, 3, 4});
    b.times({0, 2, 4}).series("Stock", {10, 12, 14});
    int ra = kdf_open(write_run("a.kdf", a).c_str());
    int rb = kdf_open(write_run("b.kdf", b).c_str());
    ASSERT_GE(ra, 0);
    ASSERT_GE(rb, 0);
    std::vector<float> va, vb;
    double mn = 0, mx = 0;
    ASSERT_EQ(read_run_xy("Stock", ra, va, "Stock", rb, vb, &mn, &mx), 3);
    EXPECT_EQ(va, (std::vector<float>{0, 2, 4}));
    EXPECT_EQ(vb, (std::vector<float>{10, 12, 14}));
    EXPECT_EQ(mn, 10);
    EXPECT_EQ(mx, 14);
    // Single points: only equal times pair.
    one.times({3}).series("Stock", {1});
    two.times({5}).series("Stock", {2});
    int r1 = kdf_open(write_run("one.kdf", one).c_str());
    int r2 = kdf_open(write_run("two.kdf", two).c_str());
    EXPECT_EQ(read_run_xy("Stock", r1, va, "Stock", r2, vb), 0);
    EXPECT_EQ(read_run_xy("Stock", r1, va, "Stock", r1, vb), 1);
}

TEST_F(access_test, array_run_reads_against_each_time_base) {
    // Stock is saved against Months; Time against itself.
    int r = open_array_run("arr.kdf", {0, 12, 24, 36}, {5, NA, 7, 8});
    ASSERT_GE(r, 0);
    EXPECT_EQ(run_type(r), 'A');
    std::vector<float> v, t;
    double first = 0, last = 0;
    ASSERT_EQ(expand_act("Stock", nullptr, r, v, t, &first, &last), 3);
    EXPECT_EQ(t, (std::vector<float>{0, 24, 36}));
    EXPECT_EQ(v, (std::vector<float>{5, 7, 8}));
    EXPECT_EQ(last, 36);
    int data = 0;
    EXPECT_EQ(read_run_values("Stock", nullptr, r, v, t, nullptr, nullptr, &data), 3);
    EXPECT_EQ(data, 1);
    // 'A' runs have no time axis of their own.
    EXPECT_EQ(read_run_series("Stock", "Time", r, v, t), 0);
    // Another time base of the open model converts; Time is not a time base.
    model_pair open = mb_.release();
    close_model(open.header, open.symbols);
    EXPECT_EQ(expand_act("Stock", "Time", r, v, t), 0);
    close_model(0, 0);
}

// A record with more points than its time base gives times for is damaged:
// the points that have times are read, and the user is told once which run
// and variable lost points.
TEST_F(access_test, array_run_with_points_beyond_its_time_base_says_so_once) {
    int r = open_array_run("short_base.kdf", {0, 12, NA, NA}, {5, 6, 7, 8});
    ASSERT_GE(r, 0);
    std::vector<float> v, t;
    captured().clear();
    EXPECT_EQ(expand_act("Stock", nullptr, r, v, t), 2);
    EXPECT_EQ(t, (std::vector<float>{0, 12}));
    EXPECT_TRUE(any_message_contains("Got 2 != 4 in expand_act"));
    EXPECT_TRUE(any_message_contains("short_base"));
    EXPECT_TRUE(any_message_contains("Stock"));
    const std::size_t told = captured().size();
    EXPECT_EQ(expand_act("Stock", nullptr, r, v, t), 2); // read again: not told again
    EXPECT_EQ(captured().size(), told);
}

} // namespace

namespace {

TEST_F(access_test, lookup_tables_only_for_the_same_lookups) {
    run_builder rb(mb_.symbols());
    rb.times({0, 1}).lookup_points("Effect", {0, 5}, {1, 9});
    int r = kdf_open(write_run("lk.kdf", rb).c_str());
    ASSERT_GE(r, 0);
    model_builder other("other");
    other.control(0, 1, 1, 1);
    other.lookup("Different", {{0, 0}, {1, 1}});
    ASSERT_TRUE(other.finish());
    model_pair o = other.release();
    close_model(o.header, o.symbols);
    std::vector<kdf_lookup_record> recs;
    EXPECT_EQ(read_run_lookup_tables(r, recs, 1), 0u); // another model's lookups
    model_pair open = mb_.release();
    close_model(open.header, open.symbols);
    handle h = read_run_lookup_tables(r, recs, 1);
    ASSERT_NE(h, 0u);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].npoints, 2u);
    free_handle(h);
    // keep 0: the open model's lookup now has the run's points.
    ASSERT_NE(read_run_lookup_tables(r, recs, 0), 0u);
    {
        model_lock_guard g(cur_model_symbols, 0);
        const lookup_entry* e = lookup_at(0);
        ASSERT_NE(e, nullptr);
        ASSERT_EQ(e->npoints, 2u);
        EXPECT_EQ(lookup_y(e)[1], 9);
    }
    close_model(0, 0);
}

} // namespace

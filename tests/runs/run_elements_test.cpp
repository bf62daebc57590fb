// What a user reads out of runs beyond the simple cases: elements of
// two-subscript variables, rows wider than a read chunk, time bases with an
// offset, payoff runs whose type bytes override the model's, resuming from a
// run at a time where a data point lies, and the comparison text of elements.
#include <memory>

#include "foundation/docwriter.h"
#include "runs/compare.h"
#include "runs/readback.h"
#include "runs_fixture.h"
#include "sim/simdata.h"

namespace {

class run_elements_test : public runs_test {
protected:
    void TearDown() override {
        close_model(0, 0);
        runs_test::TearDown();
    }
    int load(const std::string& name, run_builder& rb) {
        const int r = kdf_open(write_run(name, rb).c_str());
        EXPECT_GE(r, 0) << name;
        return r;
    }
    static std::vector<float> series_of(const char* name, int run, const char* x = "Time") {
        std::vector<float> v, t;
        read_run_series(name, x, run, v, t);
        return v;
    }
};

// A model with a variable of two subscripts: each element's values come back
// from the element the name picks, whichever subscript moves fastest.
std::unique_ptr<model_builder> matrix_model(const char* name) {
    auto b = std::make_unique<model_builder>(name);
    b->control(0, 3, 1, 1);
    b->range("region", {"north", "south"});
    b->range("age", {"young", "mid", "old"});
    b->level("Mat[region,age]", "0", "1");
    EXPECT_TRUE(b->finish());
    return b;
}

TEST_F(run_elements_test, each_element_of_a_two_subscript_variable_reads_its_own_series) {
    auto m = matrix_model("grid");
    run_builder rb(m->symbols());
    rb.times({0, 1, 2, 3});
    const char* regions[] = {"north", "south"};
    const char* ages[] = {"young", "mid", "old"};
    for (int r = 0; r < 2; ++r)
        for (int a = 0; a < 3; ++a) {
            const std::string e = std::string("Mat[") + regions[r] + "," + ages[a] + "]";
            const float base = static_cast<float>(10 * (r + 1) + a);
            rb.series(e, {base, base + 100, base + 200, base + 300});
        }
    const int run = load("grid.kdf", rb);
    ASSERT_GE(run, 0);
    EXPECT_EQ(series_of("Mat[north,young]", run), (std::vector<float>{10, 110, 210, 310}));
    EXPECT_EQ(series_of("Mat[north,old]", run), (std::vector<float>{12, 112, 212, 312}));
    EXPECT_EQ(series_of("Mat[south,young]", run), (std::vector<float>{20, 120, 220, 320}));
    EXPECT_EQ(series_of("Mat[south,mid]", run), (std::vector<float>{21, 121, 221, 321}));
    EXPECT_EQ(series_of("Mat[south,old]", run), (std::vector<float>{22, 122, 222, 322}));
    // Subscripts given the wrong way round name no element.
    EXPECT_TRUE(series_of("Mat[young,north]", run).empty());
}

// The elements of a two-subscript variable are listed, numbered and named
// slot by slot with the last subscript varying fastest, each as the model
// writes it ("Mat[south,mid]").
TEST_F(run_elements_test, elements_are_listed_and_named_with_the_last_subscript_fastest) {
    auto m = matrix_model("grid");
    run_builder rb(m->symbols());
    rb.times({0, 1}).series("Mat[north,young]", {1, 2});
    const int run = load("names.kdf", rb);
    ASSERT_GE(run, 0);
    const std::vector<std::string> all = {"Mat[north,young]", "Mat[north,mid]", "Mat[north,old]",
                                          "Mat[south,young]", "Mat[south,mid]", "Mat[south,old]"};
    std::vector<std::string> names;
    EXPECT_EQ(expand_element_names("Mat", run, names, 0), 6);
    EXPECT_EQ(names, all);
    EXPECT_EQ(expand_element_names("Mat", run, names, 2), 6); // only counted
    // A range in one place and an element in the other.
    EXPECT_EQ(expand_element_names("Mat[south,age]", run, names, 0), 3);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Mat[south,young]", "Mat[south,mid]", "Mat[south,old]"}));
    EXPECT_EQ(expand_element_names("Mat[region,old]", run, names, 0), 2);
    EXPECT_EQ(names, (std::vector<std::string>{"Mat[north,old]", "Mat[south,old]"}));

    const symbol_id id = run_find_symbol("Mat", run);
    ASSERT_NE(id, 0u);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(run_element_name(run, id, k), all[static_cast<std::size_t>(k)]) << k;
    EXPECT_EQ(run_element_name(run, id, 6), "");
    EXPECT_EQ(run_element_name(run, id, -1), "");

    const std::vector<std::string> slots = model_slot_names(m->symbols());
    const int first = run_builder::slot_of(m->symbols(), "Mat[north,young]");
    ASSERT_GE(first, 0);
    ASSERT_GE(slots.size(), static_cast<std::size_t>(first) + 6);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(slots[static_cast<std::size_t>(first + k)], all[static_cast<std::size_t>(k)]);
}

// A comparison names the element that differs with its subscripts as the
// model writes them: comma-separated, no blanks.
TEST_F(run_elements_test, comparisons_name_the_differing_element_by_its_subscripts) {
    auto m = matrix_model("grid");
    auto make = [&](const std::string& file, float south_old) {
        run_builder rb(m->symbols());
        rb.times({0, 1, 2, 3});
        for (const char* r : {"north", "south"})
            for (const char* a : {"young", "mid", "old"})
                rb.series(std::string("Mat[") + r + "," + a + "]", {1, 1, 1, 1});
        rb.series("Mat[south,old]", {1, 1, south_old, south_old});
        return load(file, rb);
    };
    const int one = make("one.kdf", 1), two = make("two.kdf", 5);
    ASSERT_GE(one, 0);
    ASSERT_GE(two, 0);
    text_report(0, 0, 0, report_none, 0, 0);
    clear_report_lines();
    EXPECT_EQ(compare_runs("one", one, "two", two, 0, st_level, 0, 0), 1);
    doc_flush();
    std::string all;
    for (const std::string& l : report_lines()) all += l + "\n";
    EXPECT_NE(all.find("Mat[south,old] - has different values at time 2 and perhaps beyond"),
              std::string::npos)
        << all;
    clear_report_lines();
}

// A run name may carry as many subscripts as a variable can have, and no
// more.
TEST_F(run_elements_test, run_names_take_up_to_the_most_subscripts_a_variable_has) {
    std::string subs;
    for (int k = 0; k < max_dims; ++k) subs += (k ? ",e" : "e") + std::to_string(k);
    run_name rn;
    ASSERT_TRUE(parse_run_name(("x[" + subs + "]").c_str(), rn));
    EXPECT_EQ(rn.name, "x");
    ASSERT_EQ(rn.subs.size(), static_cast<std::size_t>(max_dims));
    EXPECT_EQ(rn.subs.back(), "e" + std::to_string(max_dims - 1));
    EXPECT_FALSE(parse_run_name(("x[" + subs + ",more]").c_str(), rn));
}

// Rows of more than 64 values are read value by value: a column far along a
// wide row reads the same as in the record layout.
TEST_F(run_elements_test, wide_rows_read_like_records) {
    model_builder b("wide");
    b.control(0, 4, 1, 1);
    std::vector<std::string> names;
    for (int k = 0; k < 80; ++k) names.push_back("c" + std::to_string(k));
    std::vector<const char*> elems;
    for (auto& n : names) elems.push_back(n.c_str());
    b.range("cell", elems);
    b.level("Wide[cell]", "0", "1");
    ASSERT_TRUE(b.finish());
    auto fill = [&](run_builder& rb) {
        rb.times({0, 1, 2, 3, 4});
        for (int k = 0; k < 80; ++k) {
            const float f = static_cast<float>(k);
            rb.series("Wide[" + names[static_cast<std::size_t>(k)] + "]",
                      {f, f + 1000, f + 2000, f + 3000, f + 4000});
        }
    };
    run_builder rows(b.symbols(), 'r');
    fill(rows);
    run_builder records(b.symbols(), 'R');
    fill(records);
    const int r = load("rows.kdf", rows), R = load("records.kdf", records);
    ASSERT_GE(r, 0);
    ASSERT_GE(R, 0);
    for (const char* e : {"Wide[c0]", "Wide[c1]", "Wide[c63]", "Wide[c64]", "Wide[c79]"}) {
        const int k = std::atoi(e + 6);
        const float f = static_cast<float>(k);
        const std::vector<float> want{f, f + 1000, f + 2000, f + 3000, f + 4000};
        EXPECT_EQ(series_of(e, r), want) << e;
        EXPECT_EQ(series_of(e, R), want) << e;
    }
    EXPECT_EQ(series_of("Time", r), (std::vector<float>{0, 1, 2, 3, 4}));
}

// Opening a loaded run again gives the loaded copy; a fresh open reads the
// file into a copy of its own beside it, with the same values.
TEST_F(run_elements_test, a_fresh_open_reads_a_second_copy_beside_the_loaded_one) {
    model_builder b;
    build_test_model(b);
    run_builder rb(b.symbols());
    rb.times({0, 1, 2}).series("Stock", {4, 5, 6});
    const std::string p = write_run("twice.kdf", rb);
    const int first = kdf_open(p.c_str());
    ASSERT_GE(first, 0);
    EXPECT_EQ(kdf_open(p.c_str()), first);
    const int fresh = kdf_open_fresh(p.c_str());
    ASSERT_GE(fresh, 0);
    EXPECT_NE(fresh, first);
    EXPECT_EQ(series_of("Stock", first), (std::vector<float>{4, 5, 6}));
    EXPECT_EQ(series_of("Stock", fresh), (std::vector<float>{4, 5, 6}));
}

// A time base with an offset moves the whole axis, its last point too.
TEST_F(run_elements_test, a_time_base_with_an_offset_moves_first_and_last) {
    model_builder b;
    build_test_model(b);
    run_builder rb(b.symbols());
    rb.times({0, 5, 10}).series("Stock", {1, 2, 3});
    const int run = load("year.kdf", rb);
    ASSERT_GE(run, 0);
    model_pair open = b.release();
    close_model(open.header, open.symbols);
    std::vector<float> v, t;
    double first = 0, last = 0;
    ASSERT_EQ(read_run_series("Stock", "Year", run, v, t, &first, &last), 3);
    EXPECT_EQ(t, (std::vector<float>{2000, 2005, 2010}));
    EXPECT_EQ(first, 2000);
    EXPECT_EQ(last, 2010);
}

// A payoff run's own type bytes stand for its slots instead of the model's.
TEST_F(run_elements_test, a_payoff_runs_type_bytes_replace_the_models) {
    model_builder b;
    build_test_model(b);
    int model_type = 0;
    const int slot = run_builder::slot_of(b.symbols(), "inflow", &model_type);
    ASSERT_GE(slot, 0);
    ASSERT_EQ(model_type, st_aux);
    // Every slot keeps the model's type but inflow, which the run says was a
    // game input.
    std::vector<std::uint8_t> types;
    {
        model_lock_guard g(b.symbols(), 0);
        ASSERT_TRUE(g.ok() && model_slot_types);
        const std::uint32_t slots = model_hdr->w[mh_level_slots] + model_hdr->w[mh_other_slots];
        types.assign(model_slot_types, model_slot_types + slots);
    }
    types[static_cast<std::size_t>(slot)] = st_game;
    run_builder rb(b.symbols(), 'P');
    rb.times({0, 1, 2}).series("inflow", {4, 5, 6}).payoff(1.5f).payoff_types(types);
    const int run = load("payoff.kdf", rb);
    ASSERT_GE(run, 0);
    EXPECT_EQ(run_var_type("inflow", run, nullptr), st_game);
    EXPECT_EQ(run_var_type("Stock", run, nullptr), st_level);
    EXPECT_EQ(series_of("inflow", run), (std::vector<float>{4, 5, 6}));
}

// Resuming a game from a run: a data point saved at the chosen time is the
// value taken, and the game counts the saved times up to that one.
TEST_F(run_elements_test, resuming_a_game_takes_data_at_the_time_and_counts_saved_times) {
    model_builder b("town");
    build_test_model(b);
    run_builder rb(b.symbols());
    rb.times({0, 1, 2, 3})
        .data_times({0.5f, 2, 3})
        .series("Obs", {7, 8, 9})
        .series("Stock", {1, 2, 3, 4});
    const int run = load("game.kdf", rb);
    ASSERT_GE(run, 0);
    model_pair open = b.release();
    close_model(open.header, open.symbols);
    const std::uint32_t slots = get_header_word(cur_model_symbols, mh_level_slots) +
                                get_header_word(cur_model_symbols, mh_other_slots);
    std::vector<float> values(slots, -1);
    game_saved_times = 0;
    ASSERT_GT(resume_from_run(run, values, 2, 1), 0);
    const int obs = run_builder::slot_of(cur_model_symbols, "Obs");
    const int stock = run_builder::slot_of(cur_model_symbols, "Stock");
    ASSERT_GE(obs, 0);
    EXPECT_EQ(values[static_cast<std::size_t>(obs)], 8); // the point at 2, not the one at 0.5
    EXPECT_EQ(values[static_cast<std::size_t>(stock)], 3);
    EXPECT_EQ(game_saved_times, 3); // times 0, 1 and 2
    // Between data points the last one before the time holds.
    ASSERT_GT(resume_from_run(run, values, 1, 1), 0);
    EXPECT_EQ(values[static_cast<std::size_t>(obs)], 7);
    EXPECT_EQ(game_saved_times, 2);
}

} // namespace

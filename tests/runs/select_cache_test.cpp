// Loading and selecting runs, and the value cache over the selected runs.
#include "model/modelfile.h"
#include "runs/cache.h"
#include "runs/select.h"
#include "runs_fixture.h"

namespace {

class select_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        build_test_model(mb_);
        // The run files are written from the model before it becomes the open
        // one (the open model must not be locked while a part is written).
        model_dir = dir_;
        new_run_place = 1;
        // The shown arrays' capacity outlives a model's closing (a second sweep
        // of the same length need not grow again); a reset with no model open
        // is what forgets it, so a growth test starts from the run's own length.
        ASSERT_EQ(model_rec, nullptr);
        reset_value_cache(-1, 1, 1);
        reset_value_cache(-1, 2, 1);
    }
    void open_model_now() {
        model_pair m = mb_.release();
        symbols_ = m.symbols;
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir_.c_str(), path("town.kmf").c_str());
        ASSERT_NE(model_rec, nullptr);
        reset_value_cache(-1, 1, 1); // the cache exists from the model's opening on
    }
    void TearDown() override {
        set_cache_livesweep(false);
        reset_value_cache(-1, 2, 1);
        close_model(0, 0);
        model_dir.clear();
        runs_test::TearDown();
    }
    void make_run(const std::string& name, float stock0, bool with_inflow = true) {
        run_builder rb(symbols_ ? symbols_ : mb_.symbols());
        rb.times({0, 1, 2, 3, 4})
            .series("Stock", {stock0, stock0 + 1, stock0 + 2, stock0 + 3, stock0 + 4})
            .constant("rate", stock0);
        if (with_inflow) rb.series("inflow", {NA, NA, 1, 2, 3});
        write_run(name + ".kdf", rb);
    }
    std::string entry_name(int k) { return ctx_text(model_rec, model_rec->runs[k].name); }

    model_builder mb_{"town"};
    handle symbols_ = 0;
};

TEST_F(select_test, sixteen_runs_and_reloads_of_selected_names) {
    for (int k = 0; k < 17; ++k) make_run("run" + std::to_string(k), static_cast<float>(k));
    make_run("empty_later", 0);
    open_model_now();
    for (int k = 0; k < 16; ++k)
        ASSERT_EQ(load_runs(model_rec, 0, ("run" + std::to_string(k)).c_str(), 1, 0), 1);
    EXPECT_EQ(model_rec->run_count, 16);
    captured().clear();
    EXPECT_EQ(load_runs(model_rec, 0, "run16", 0, 0), 0);
    EXPECT_TRUE(any_message_contains("Can load at most 16 runs at one time"));
    // A reload of a selected name is not a 17th run; it keeps its place.
    int place = -1;
    for (int k = 0; k < 16; ++k)
        if (entry_name(k) == "run3") place = k;
    ASSERT_GE(place, 0);
    int old_run = model_rec->runs[place].run;
    std::uint16_t old_serial = model_rec->runs[place].serial;
    make_run("run3", 100);
    ASSERT_EQ(load_runs(model_rec, 0, "run3.kdf ", 1, 0), 1);
    EXPECT_EQ(model_rec->run_count, 16);
    EXPECT_EQ(entry_name(place), "run3");
    EXPECT_NE(model_rec->runs[place].serial, old_serial);
    std::vector<float> v, t;
    ASSERT_EQ(read_run_series("Stock", "Time", model_rec->runs[place].run, v, t), 5);
    EXPECT_EQ(v[0], 100); // read afresh
    // The old copy is gone (its record free or reused by another serial).
    loaded_run* rec = lock_rh(old_run);
    EXPECT_TRUE(rec == nullptr || rec->serial != old_serial);
    if (rec) unlock_rh();
    // position -1 does nothing for a selected name.
    EXPECT_EQ(load_runs(model_rec, -1, "run3", 1, 0), 0);
}

// A name read from a list or a typed line keeps no line end or tab; the
// list of loaded runs names each run with its own type.
TEST_F(select_test, names_lose_their_line_ends_and_the_list_gives_each_runs_type) {
    make_run("upper", 1);
    {
        run_builder rb(mb_.symbols(), 'r');
        rb.times({0, 1, 2, 3, 4}).series("Stock", {5, 6, 7, 8, 9});
        write_run("lower.kdf", rb);
    }
    open_model_now();
    new_run_place = 0; // appended, in loading order
    ASSERT_EQ(load_runs(model_rec, 0, "upper\r\n", 1, 0), 1);
    ASSERT_EQ(load_runs(model_rec, 0, "lower\t\n", 1, 0), 1);
    ASSERT_EQ(model_rec->run_count, 2);
    EXPECT_EQ(entry_name(0), "upper");
    EXPECT_EQ(entry_name(1), "lower");
    // The same name again with other line ends is the run already loaded.
    EXPECT_EQ(load_runs(model_rec, -1, "upper\n", 1, 0), 0);
    EXPECT_EQ(model_rec->run_count, 2);

    ASSERT_EQ(loaded_run_names(1), 2);
    ASSERT_NE(selected_run_names[0], nullptr);
    ASSERT_NE(selected_run_names[1], nullptr);
    EXPECT_STREQ(selected_run_names[0], "upper");
    EXPECT_STREQ(selected_run_names[1], "lower");
    EXPECT_EQ(selected_run_types[0], 'R');
    EXPECT_EQ(selected_run_types[1], 'r');
    EXPECT_EQ(selected_run_names[2], nullptr);
}

// Loading says which file goes in under which name, and a payoff the run
// holds, a negative one too; a run without one says none.
TEST_F(select_test, loading_tells_the_names_and_any_payoff) {
    {
        run_builder rb(mb_.symbols());
        rb.times({0, 1, 2, 3, 4}).series("Stock", {1, 2, 3, 4, 5}).payoff(-3.5f);
        write_run("paid.kdf", rb);
    }
    make_run("free", 1);
    open_model_now();
    captured().clear();
    ASSERT_EQ(load_runs(model_rec, 0, "paid", 0, 0), 1);
    EXPECT_TRUE(any_message_contains("Loading paid as paid.  Origin is .."));
    EXPECT_TRUE(any_message_contains("Payoff = -3.5"));
    captured().clear();
    ASSERT_EQ(load_runs(model_rec, 0, "free", 0, 0), 1);
    EXPECT_TRUE(any_message_contains("Loading free as free."));
    EXPECT_FALSE(any_message_contains("Payoff"));
}

TEST_F(select_test, failed_reload_keeps_the_old_entry) {
    make_run("base", 1);
    open_model_now();
    ASSERT_EQ(load_runs(model_rec, 0, "base", 1, 0), 1);
    int run = model_rec->runs[0].run;
    // The file is replaced by a damaged one (as writers do: a new file
    // renamed over the old).
    FILE* f = std::fopen(path("new.tmp").c_str(), "wb");
    std::fputs("garbage", f);
    std::fclose(f);
    std::rename(path("new.tmp").c_str(), path("base.kdf").c_str());
    captured().clear();
    EXPECT_EQ(load_runs(model_rec, 0, "base", 0, 0), 0);
    EXPECT_TRUE(any_message_contains("Unable to load"));
    ASSERT_EQ(model_rec->run_count, 1);
    EXPECT_EQ(model_rec->runs[0].run, run);
    std::vector<float> v, t;
    EXPECT_EQ(read_run_series("Stock", "Time", run, v, t), 5);
}

TEST_F(select_test, place_of_new_runs_and_the_time_range) {
    make_run("a", 1);
    make_run("b", 2);
    make_run("c", 3);
    {
        run_builder rb(mb_.symbols());
        write_run("novalues.kdf", rb);
    }
    open_model_now();
    ASSERT_EQ(load_runs(model_rec, 0, "a", 1, 0), 1);
    ASSERT_EQ(load_runs(model_rec, 0, "b", 1, 0), 1);
    EXPECT_EQ(entry_name(0), "b"); // new-run place 1: first
    new_run_place = 0;
    ASSERT_EQ(load_runs(model_rec, 0, "c", 1, 0), 1);
    EXPECT_EQ(entry_name(2), "c"); // appended
    EXPECT_FLOAT_EQ(model_rec->full_start, 0);
    EXPECT_FLOAT_EQ(model_rec->full_end, 4);
    EXPECT_FLOAT_EQ(model_rec->runs[0].step, 1);
    captured().clear();
    EXPECT_EQ(load_runs(model_rec, 0, "novalues", 0, 0), 0);
    EXPECT_TRUE(any_message_contains("No values in run novalues - unloaded"));
    EXPECT_EQ(model_rec->run_count, 3);

    // Names compare without case in every mode.
    const char* order[] = {"C", "a"};
    ASSERT_EQ(set_runs1(1, order, 2), 1);
    EXPECT_EQ(entry_name(0), "c");
    EXPECT_EQ(entry_name(1), "a");
    EXPECT_EQ(model_rec->active_count, 2);
    const char* toggle[] = {"A"};
    ASSERT_EQ(set_runs1(2, toggle, 1), 1);
    EXPECT_EQ(model_rec->active_count, 1);
    const char* toggle_c[] = {"c"};
    ASSERT_EQ(set_runs1(2, toggle_c, 1), 1);
    EXPECT_EQ(model_rec->active_count, 0);
    const char* unknown[] = {"zz"};
    EXPECT_EQ(set_runs1(3, unknown, 1), 0);
    EXPECT_EQ(loaded_run_names(1), 3);
    EXPECT_EQ(selected_run_types[0], 'R');

    const char* all[] = {"A", "b", "C"};
    ASSERT_EQ(set_runs1(-1, all, 3), 1);
    EXPECT_EQ(model_rec->run_count, 0);
    EXPECT_EQ(model_rec->made_up_range, 1);
    EXPECT_FLOAT_EQ(model_rec->full_end, 100);
    captured().clear();
    EXPECT_EQ(loaded_run_names(0), 0);
    EXPECT_TRUE(any_message_contains("No runs are loaded"));
}

// Unloading a run keeps the active part's count right: an active run leaves
// it one shorter, an inactive one (even the first after it) leaves it alone.
// A graph range that no longer fits the runs' range is brought back into it.
TEST_F(select_test, unloading_keeps_the_active_part_and_the_graph_range_fits) {
    make_run("a", 1);
    make_run("b", 2);
    make_run("c", 3);
    open_model_now();
    new_run_place = 0;
    for (const char* n : {"a", "b", "c"}) ASSERT_EQ(load_runs(model_rec, 0, n, 1, 0), 1);
    const char* order[] = {"c", "a"};
    ASSERT_EQ(set_runs1(1, order, 2), 1); // c, a active; b after them
    ASSERT_EQ(entry_name(2), "b");
    ASSERT_EQ(model_rec->active_count, 2);
    const char* inactive[] = {"b"};
    ASSERT_EQ(set_runs1(-1, inactive, 1), 1);
    EXPECT_EQ(model_rec->run_count, 2);
    EXPECT_EQ(model_rec->active_count, 2);
    const char* active[] = {"c"};
    ASSERT_EQ(set_runs1(-1, active, 1), 1);
    EXPECT_EQ(model_rec->run_count, 1);
    EXPECT_EQ(model_rec->active_count, 1);
    EXPECT_EQ(entry_name(0), "a");

    // The runs span 0 to 4: a graph range starting at 4 or ending at 0 holds
    // no time and goes back to the whole range.
    model_rec->start = 4;
    model_rec->end = 0;
    ASSERT_EQ(set_runs1(0, nullptr, 0), 1);
    EXPECT_FLOAT_EQ(model_rec->start, 0);
    EXPECT_FLOAT_EQ(model_rec->end, 4);
    model_rec->start = 1;
    model_rec->end = 3;
    ASSERT_EQ(set_runs1(0, nullptr, 0), 1);
    EXPECT_FLOAT_EQ(model_rec->start, 1); // inside: kept
    EXPECT_FLOAT_EQ(model_rec->end, 3);
}

// The full time range spans every loaded run, whichever comes first in the
// list or starts and ends where: runs of 0..4, 2..10 and -1..3 give -1..10,
// the step is the first entry's, and unloading the run that held an end
// brings that end back in.
TEST_F(select_test, the_time_range_spans_every_loaded_run) {
    const auto run_over = [&](const std::string& name, std::vector<float> times) {
        run_builder rb(mb_.symbols());
        std::vector<float> stock(times.size(), 5);
        rb.times(times).series("Stock", stock).constant("rate", 1);
        write_run(name + ".kdf", rb);
    };
    run_over("early", {0, 1, 2, 3, 4});
    run_over("long", {2, 4, 6, 8, 10});
    run_over("before", {-1, -0.5f, 0, 0.5f, 1, 1.5f, 2, 2.5f, 3});
    open_model_now();
    new_run_place = 0; // appended, so the list's order is the loading order
    ASSERT_EQ(load_runs(model_rec, 0, "early", 1, 0), 1);
    ASSERT_EQ(load_runs(model_rec, 0, "long", 1, 0), 1);
    EXPECT_FLOAT_EQ(model_rec->full_start, 0);
    EXPECT_FLOAT_EQ(model_rec->full_end, 10);
    ASSERT_EQ(load_runs(model_rec, 0, "before", 1, 0), 1);
    EXPECT_FLOAT_EQ(model_rec->full_start, -1);
    EXPECT_FLOAT_EQ(model_rec->full_end, 10);
    EXPECT_FLOAT_EQ(model_rec->full_step, 1); // the first entry's
    EXPECT_EQ(model_rec->made_up_range, 0);

    const char* drop_long[] = {"long"};
    ASSERT_EQ(set_runs1(-1, drop_long, 1), 1);
    EXPECT_FLOAT_EQ(model_rec->full_start, -1);
    EXPECT_FLOAT_EQ(model_rec->full_end, 4);
    const char* drop_early[] = {"early"};
    ASSERT_EQ(set_runs1(-1, drop_early, 1), 1);
    EXPECT_FLOAT_EQ(model_rec->full_start, -1);
    EXPECT_FLOAT_EQ(model_rec->full_end, 3);
    EXPECT_FLOAT_EQ(model_rec->full_step, 0.5f); // now the first entry
}

// Toggling a run moves it across the border of the active part: an active
// run becomes the first after it, an inactive one the last inside it, the
// runs between keeping their order.
TEST_F(select_test, toggling_moves_a_run_across_the_active_border) {
    make_run("a", 1);
    make_run("b", 2);
    make_run("c", 3);
    open_model_now();
    new_run_place = 0;
    for (const char* n : {"a", "b", "c"}) ASSERT_EQ(load_runs(model_rec, 0, n, 1, 0), 1);
    const char* order[] = {"c", "a", "b"};
    ASSERT_EQ(set_runs1(1, order, 2), 1); // c, a active; b after them
    const auto names = [&] {
        std::vector<std::string> out;
        for (int k = 0; k < model_rec->run_count; ++k) out.push_back(entry_name(k));
        return out;
    };
    const char* c[] = {"c"};
    ASSERT_EQ(set_runs1(2, c, 1), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(model_rec->active_count, 1);
    const char* b[] = {"b"};
    ASSERT_EQ(set_runs1(2, b, 1), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(model_rec->active_count, 2);
    const char* a[] = {"a"};
    ASSERT_EQ(set_runs1(2, a, 1), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(model_rec->active_count, 1);
}

// A later run only widens the graph range: the start moves down to its first
// time, the end out to its last, and the special time follows the end only
// when it stood there.
TEST_F(select_test, a_later_run_widens_the_graph_range) {
    const auto run_over = [&](const std::string& name, std::vector<float> times) {
        run_builder rb(mb_.symbols());
        rb.times(times).series("Stock", std::vector<float>(times.size(), 5)).constant("rate", 1);
        write_run(name + ".kdf", rb);
    };
    run_over("first", {0, 1, 2, 3, 4});
    run_over("longer", {0, 2, 4, 6, 8});
    run_over("longest", {0, 4, 8, 12});
    run_over("earlier", {-2, -1, 0, 1});
    run_over("inside", {1, 2, 3});
    open_model_now();
    new_run_place = 0;
    ASSERT_EQ(load_runs(model_rec, 0, "first", 1, 0), 1);
    EXPECT_DOUBLE_EQ(model_rec->start, 0);
    EXPECT_DOUBLE_EQ(model_rec->end, 4);
    EXPECT_DOUBLE_EQ(model_rec->special, 4);
    model_rec->special = 2; // moved off the end by the user
    ASSERT_EQ(load_runs(model_rec, 0, "longer", 1, 0), 1);
    EXPECT_DOUBLE_EQ(model_rec->end, 8);
    EXPECT_DOUBLE_EQ(model_rec->special, 2);
    model_rec->special = 8; // back at the end: it follows
    ASSERT_EQ(load_runs(model_rec, 0, "longest", 1, 0), 1);
    EXPECT_DOUBLE_EQ(model_rec->end, 12);
    EXPECT_DOUBLE_EQ(model_rec->special, 12);
    ASSERT_EQ(load_runs(model_rec, 0, "earlier", 1, 0), 1);
    EXPECT_DOUBLE_EQ(model_rec->start, -2);
    EXPECT_DOUBLE_EQ(model_rec->end, 12);
    // A run inside the range leaves it as it is, a narrowed one too.
    model_rec->start = 0;
    model_rec->end = 10;
    model_rec->special = 5;
    ASSERT_EQ(load_runs(model_rec, 0, "inside", 1, 0), 1);
    EXPECT_DOUBLE_EQ(model_rec->start, 0);
    EXPECT_DOUBLE_EQ(model_rec->end, 10);
    EXPECT_DOUBLE_EQ(model_rec->special, 5);
}

// The loading messages name the run as given and as listed, its origin, and
// its payoff when it has one.
TEST_F(select_test, loading_says_the_names_origin_and_payoff) {
    run_builder rb(mb_.symbols());
    rb.times({0, 1, 2}).series("Stock", {1, 2, 3}).origin("from the office").payoff(1.5f);
    write_run("paid.kdf", rb);
    make_run("plain", 1);
    open_model_now();
    captured().clear();
    ASSERT_EQ(load_runs(model_rec, 0, "paid.kdf", 0, 0), 1);
    EXPECT_TRUE(any_message_contains("Loading paid.kdf as paid.  Origin is .."));
    EXPECT_TRUE(any_message_contains("from the office"));
    EXPECT_TRUE(any_message_contains("Payoff = 1.5"));
    captured().clear();
    ASSERT_EQ(load_runs(model_rec, 0, "plain", 0, 0), 1);
    EXPECT_TRUE(any_message_contains("Loading plain as plain."));
    EXPECT_FALSE(any_message_contains("Payoff"));
}

TEST_F(select_test, unloading_from_one_list_keeps_runs_another_list_holds) {
    make_run("shared", 1);
    open_model_now();
    ASSERT_EQ(load_runs(model_rec, 0, "shared", 1, 0), 1);
    int run = model_rec->runs[0].run;
    // A reference-run context holds the same run.
    model_context other{};
    other.runs[0] = model_rec->runs[0];
    other.run_count = 1;
    register_run_context(&other);
    const char* names[] = {"shared"};
    ASSERT_EQ(set_runs1(-1, names, 1), 1);
    EXPECT_EQ(run_type(run), 'R');
    unregister_run_context(&other);
    set_run_reference_hook(nullptr);
}

TEST_F(select_test, cache_serves_series_per_run_slot) {
    make_run("a", 1);
    make_run("b", 10, false);
    open_model_now();
    ASSERT_EQ(load_runs(model_rec, 0, "a", 1, 0), 1);
    new_run_place = 0;
    ASSERT_EQ(load_runs(model_rec, 0, "b", 1, 0), 1);
    int stock = run_builder::slot_of(symbols_, "Stock");
    int inflow = run_builder::slot_of(symbols_, "inflow");
    int rate = run_builder::slot_of(symbols_, "rate");
    const float *t = nullptr, *v = nullptr;
    ASSERT_EQ(cached_series(stock, &t, &v, 0), 5);
    EXPECT_EQ(v[4], 5);
    EXPECT_EQ(t[4], 4);
    // Missing first values come back as NA on the full axis.
    ASSERT_EQ(cached_series(inflow, &t, &v, 0), 5);
    EXPECT_TRUE(is_na(v[0]) && is_na(v[1]));
    EXPECT_EQ(v[2], 1);
    // A constant comes back as a flat full-length series.
    ASSERT_EQ(cached_series(rate, &t, &v, 0), 5);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[4], 1);
    // Absent in run b, present in run a.
    EXPECT_EQ(cached_series(inflow, &t, &v, 1), 0);
    EXPECT_EQ(cached_series(stock, &t, &v, 1), 5);
    EXPECT_EQ(v[0], 10);
    // Run slots beyond the selection.
    EXPECT_EQ(cached_series(stock, &t, &v, 5), 0);

    // The entry was made while two runs were selected; a third selected run
    // reads through it without a reset.
    make_run("c", 20);
    ASSERT_EQ(load_runs(model_rec, 0, "c", 1, 0), 1);
    ASSERT_EQ(cached_series(stock, &t, &v, 2), 5);
    EXPECT_EQ(v[0], 20);
    model_rec->run_count = 3;

    // A slot whose run was unloaded behind the cache's back is absent, also
    // when its record is reused by another run.
    ASSERT_EQ(cached_series(stock, &t, &v, 0), 5);
    int run0 = model_rec->runs[0].run;
    unload_run(run0);
    make_run("d", 30);
    int d = kdf_open(path("d.kdf").c_str());
    EXPECT_EQ(d, run0); // the free record is reused
    EXPECT_EQ(cached_series(stock, &t, &v, 0), 0);
    EXPECT_EQ(cached_series(rate, &t, &v, 0), 0);
}

// Time itself and the time bases are served from the cache: a graph against
// Months takes the run's Months series as its times.
TEST_F(select_test, time_and_time_bases_come_from_the_cache) {
    {
        run_builder rb(mb_.symbols());
        rb.times({0, 1, 2, 3, 4})
            .series("Stock", {1, 2, 3, 4, 5})
            .series("Months", {0, 12, 24, 36, 48});
        write_run("based.kdf", rb);
    }
    open_model_now();
    ASSERT_EQ(load_runs(model_rec, 0, "based", 1, 0), 1);
    const float *t = nullptr, *v = nullptr;
    ASSERT_EQ(cached_series(0, &t, &v, 0), 5); // Time as a variable
    EXPECT_EQ(v[3], 3);
    const float* times = nullptr;
    EXPECT_EQ(cached_time_base("Months", &times, 5, 0), 5);
    ASSERT_NE(times, nullptr);
    EXPECT_EQ(std::vector<float>(times, times + 5), (std::vector<float>{0, 12, 24, 36, 48}));
    times = nullptr;
    EXPECT_EQ(cached_time_base("Time", &times, 5, 0), 5);
    EXPECT_EQ(times, nullptr);
    EXPECT_EQ(cached_time_base("Months", &times, 4, 0), 4); // another count: not its axis
    EXPECT_EQ(times, nullptr);
    const int stock = run_builder::slot_of(symbols_, "Stock");
    ASSERT_EQ(cached_series(stock, &t, &v, 0, "Months"), 5);
    EXPECT_EQ(t[2], 24);
    EXPECT_EQ(v[2], 3);
}

TEST_F(select_test, livesweep_growth_keeps_handed_out_series) {
    make_run("a", 1);
    open_model_now();
    ASSERT_EQ(load_runs(model_rec, 0, "a", 1, 0), 1);
    set_cache_livesweep(true);
    reset_value_cache(0, 0, 1);
    set_cache_points_counter(5);
    int stock = run_builder::slot_of(symbols_, "Stock");
    const float *t = nullptr, *v = nullptr;
    ASSERT_EQ(cached_series(stock, &t, &v, 0), 5);
    const float* before = v;
    std::uint32_t gen = value_cache_generation();
    std::vector<float> values(64, 0);
    values[static_cast<std::size_t>(stock)] = 99;
    values[0] = 5;
    livesweep_save_values(values.data(), values.size(), 3);
    EXPECT_NE(value_cache_generation(), gen);
    // The old pointer still reads the old points (kept until the reset).
    EXPECT_EQ(before[4], 5);
    ASSERT_EQ(cached_series(stock, &t, &v, 0), 5);
    EXPECT_EQ(v[4], 5);
    EXPECT_EQ(v[5], 99);
}

} // namespace

// Run comparison over runs made by the run builder from two versions of a
// model: the text is checked whole, in the formats the comparison window shows.
#include <memory>

#include "model/modelfile.h"
#include "sim/run.h"

#include "foundation/docwriter.h"
#include "runs/compare.h"
#include "runs_fixture.h"

namespace {

const std::string sep = compare_separator;

// Two versions of one model. The second drops "gone", adds "fresh", makes the
// constant "kind" an auxiliary and "wide" a scalar.
std::unique_ptr<model_builder> make_model(bool second) {
    auto b = std::make_unique<model_builder>(second ? "v2" : "v1");
    b->control(0, 10, 1, 1);
    b->range("region", {"north", "south"});
    b->constant("a_abs", 10);
    b->constant("b_rel", 100);
    if (!second) b->constant("gone", 1);
    if (second) b->constant("fresh", 2);
    if (second)
        b->aux("kind", "Time");
    else
        b->constant("kind", 3);
    if (second)
        b->constant("wide", 1);
    else
        b->constant("wide[region]", 1);
    b->level("Stock", "inflow", "10");
    b->aux("inflow", "a_abs * 0");
    b->data("Obs");
    b->game_input("steer", "1");
    b->lookup("Effect", {{0, 0}, {1, 2}, {2, 3}});
    b->lookup("Shape", {{0, 1}, {1, 1}});
    EXPECT_TRUE(b->finish());
    return b;
}

class compare_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        v1 = make_model(false);
        v2 = make_model(true);
        text_report(0, 0, 0, report_none, 0, 0);
        clear_report_lines();
    }
    void TearDown() override {
        compare_header_hook = nullptr;
        runs_test::TearDown();
    }
    // A run of a version with every value the tests do not change.
    run_builder base(const model_builder& m) {
        run_builder rb(m.symbols());
        rb.times(ramp(11, 0, 1));
        rb.constant("a_abs", 10).constant("b_rel", 100);
        rb.series("Stock", ramp(11, 10, 1));
        rb.series("steer", std::vector<float>(11, 1));
        return rb;
    }
    int load(const std::string& name, run_builder& rb) {
        int r = kdf_open(write_run(name + ".kdf", rb).c_str());
        EXPECT_GE(r, 0) << name;
        return r;
    }
    // The text of the forward call (and, with both, of the reverse call).
    std::string compare(int r1, int r2, int cls, float rel = 0, float abs = 0, bool both = false,
                        int* result = nullptr) {
        clear_report_lines();
        int n = compare_runs("one", r1, "two", r2, 0, cls, rel, abs);
        if (result) *result = n;
        if (both && n != -1) compare_runs("two", r2, "one", r1, 1, cls, rel, abs);
        doc_flush();
        std::string all;
        for (const std::string& l : report_lines()) all += l + "\n";
        return all;
    }

    std::unique_ptr<model_builder> v1, v2;
};

TEST_F(compare_test, ConstantsAgainstEachTolerance) {
    run_builder a = base(*v1), b = base(*v1);
    b.constant("a_abs", 10.5f).constant("b_rel", 101);
    const int r1 = load("one", a), r2 = load("two", b);
    EXPECT_EQ(compare(r1, r2, st_constant), "a_abs - has changed in value\n"
                                            "     10            one\n"
                                            "     10.5          two\n"
                                            "b_rel - has changed in value\n"
                                            "     100           one\n"
                                            "     101           two\n");
    // 1 is within 2% of the mean 100.5: only a_abs is listed.
    EXPECT_EQ(compare(r1, r2, st_constant, 0.02f, 0.1f), "a_abs - has changed in value\n"
                                                         "     10            one\n"
                                                         "     10.5          two\n");
    // 0.5 is within the absolute tolerance: only b_rel is listed.
    EXPECT_EQ(compare(r1, r2, st_constant, 0, 0.6f), "b_rel - has changed in value\n"
                                                     "     100           one\n"
                                                     "     101           two\n");
    int n = -1;
    EXPECT_EQ(compare(r1, r2, st_constant, 0.02f, 0.6f, true, &n), "");
    EXPECT_EQ(n, 0);
}

TEST_F(compare_test, SeriesPartAndAxesShareOnlyTheirFirstTimes) {
    run_builder a = base(*v1), b = base(*v1);
    std::vector<float> s = ramp(11, 10, 1);
    s[6] = 99;
    b.series("Stock", s);
    const int r1 = load("one", a), r2 = load("two", b);
    EXPECT_EQ(compare(r1, r2, st_level),
              "Stock - has different values at time 6 and perhaps beyond\n"
              "     16            one\n"
              "     99            two\n" +
                  sep);

    // A run whose times part after 3: the note, then values only up to 3, so
    // the difference at 6 is not seen but one at 2 is.
    run_builder c = base(*v1);
    std::vector<float> t = {0, 1, 2, 3, 4.5f, 5.5f, 6.5f};
    c.times(t);
    std::vector<float> cs = ramp(7, 10, 1);
    c.series("Stock", cs).series("steer", std::vector<float>(7, 1));
    const int r3 = load("three", c);
    EXPECT_EQ(compare(r1, r3, st_level), "Time axes may differ - comparing only to time 3\n" + sep);
    cs[2] = 5;
    c.series("Stock", cs);
    unload_run(r3);
    const int r4 = load("four", c);
    EXPECT_EQ(compare(r1, r4, st_level),
              "Time axes may differ - comparing only to time 3\n" + sep +
                  "Stock - has different values at time 2 and perhaps beyond\n"
                  "     12            one\n"
                  "     5             two\n" +
                  sep);
    // Not even the first time agrees: no values at all.
    run_builder d = base(*v1);
    d.times(ramp(11, 1, 1));
    const int r5 = load("five", d);
    EXPECT_EQ(compare(r1, r5, st_level), "Time axes different, not able to compare values\n" + sep);
}

TEST_F(compare_test, VersionsReportMissingRetypedAndRedimensioned) {
    run_builder a = base(*v1), b = base(*v2);
    const int r1 = load("one", a), r2 = load("two", b);
    // "fresh" exists only in the second run: only the reverse call finds it.
    EXPECT_EQ(compare(r1, r2, st_constant, 0, 0, true),
              "-gone- in run one is not contained in run two\n" + sep + sep +
                  "-kind- in run one is of different type in run two\n" + sep + sep +
                  "wide has different dimensions in run two\n" + sep +
                  "-fresh- in run two is not contained in run one\n" + sep + sep +
                  "wide has different dimensions in run one\n" + sep);
    // The auxiliaries: kind is one in the second run only, found in reverse.
    EXPECT_EQ(compare(r1, r2, st_aux, 0, 0, true),
              sep + "-kind- in run two is of different type in run one\n" + sep);
}

TEST_F(compare_test, LookupsSameXThreeColumnsOtherXSideBySide) {
    run_builder a = base(*v1), b = base(*v1);
    b.lookup_points("Effect", {0, 1, 2}, {0, 2.5f, 3});
    b.lookup_points("Shape", {0, 1, 2}, {1, 1, 5});
    const int r1 = load("one", a), r2 = load("two", b);
    // Lookups are compared exactly: a tolerance hides nothing.
    EXPECT_EQ(compare(r1, r2, st_lookup, 0.5f, 10, true),
              "Effect - has changed in value\n"
              "     X                   one                 two                 \n"
              "     0                   0                   0                   \n"
              "     1                   2                   2.5                 \n"
              "     2                   3                   3                   \n" +
                  sep +
                  "Shape - has changed in value\n"
                  "        one                             two                     \n"
                  "                X | Y                           X | Y           \n"
                  "                0 | 1                           0 | 1           \n"
                  "                1 | 1                           1 | 1           \n" +
                  std::string(47, ' ') + "2|5           \n" + sep);
    // The other way round the first run has the longer table.
    EXPECT_EQ(compare(r2, r1, st_lookup),
              "Effect - has changed in value\n"
              "     X                   one                 two                 \n"
              "     0                   0                   0                   \n"
              "     1                   2.5                 2                   \n"
              "     2                   3                   3                   \n" +
                  sep +
                  "Shape - has changed in value\n"
                  "        one                             two                     \n"
                  "                X | Y                           X | Y           \n"
                  "                0 | 1                           0 | 1           \n"
                  "                1 | 1                           1 | 1           \n"
                  "                2 | 5           \n" +
                  sep);
}

TEST_F(compare_test, DataWithGapsAndTheDataAxes) {
    run_builder a = base(*v1), b = base(*v1);
    a.data_times({0, 2, 4, 6});
    b.data_times({0, 2, 4, 6});
    a.series("Obs", {1, NA, 3, NA});
    b.series("Obs", {1, NA, 3, 4});
    const int r1 = load("one", a), r2 = load("two", b);
    char na[32];
    std::snprintf(na, sizeof na, "%-12.6g", static_cast<double>(NA));
    const std::string parted = "Obs - has different values at time 6 and perhaps beyond\n"
                               "     " +
                               std::string(na) +
                               "  one\n"
                               "     4             two\n" +
                               sep;
    // The gap both runs share is no difference, with or without tolerances;
    // NA against a value always is.
    EXPECT_EQ(compare(r1, r2, st_data), parted);
    EXPECT_EQ(compare(r1, r2, st_data, 0.5f, 100), parted);

    // One run with a data axis, one without: no values.
    run_builder c = base(*v1);
    const int r3 = load("three", c);
    EXPECT_EQ(compare(r1, r3, st_data), "Time axes different, not able to compare values\n" + sep);
    // A data variable the first run did not save.
    run_builder d = base(*v1);
    d.data_times({0, 2, 4, 6});
    const int r4 = load("four", d);
    EXPECT_EQ(compare(r4, r2, st_data), "Obs - first run has no values\n" + sep);
    EXPECT_EQ(compare(r2, r4, st_data), "Obs - second run has no values\n" + sep);
    // Only missing values are no values either: against a run without the
    // variable there is nothing to tell, either way round.
    run_builder e = base(*v1);
    e.data_times({0, 2, 4, 6});
    e.series("Obs", {NA, NA, NA, NA});
    const int r5 = load("five", e);
    EXPECT_EQ(compare(r5, r4, st_data), compare(r4, r4, st_data));
    EXPECT_EQ(compare(r4, r5, st_data), compare(r4, r4, st_data));
}

TEST_F(compare_test, GameInputsAndMixedTypeElements) {
    // An auxiliary whose north element is a constant in both runs.
    model_builder m("mixed");
    m.control(0, 10, 1, 1);
    m.range("region", {"north", "south"});
    symbol_id mix = m.aux("mix[region]", "Time");
    m.game_input("steer", "1");
    ASSERT_TRUE(m.finish());
    m.flags(mix, sf_mixed_types);
    const int north = run_builder::slot_of(m.symbols(), "mix[north]");
    ASSERT_GE(north, 0);
    {
        model_lock_guard g(m.symbols(), 0);
        ASSERT_TRUE(g.ok() && model_slot_types);
        model_slot_types[north] = st_constant;
    }
    auto run = [&](float north_value, float south_last, float steer_last) {
        run_builder rb(m.symbols());
        rb.times(ramp(11, 0, 1));
        rb.constant("mix[north]", north_value);
        std::vector<float> s = ramp(11, 0, 1), g(11, 1);
        s[10] = south_last;
        g[10] = steer_last;
        rb.series("mix[south]", s).series("steer", g);
        return rb;
    };
    run_builder a = run(1, 10, 1), b = run(2, 20, 3);
    const int r1 = load("one", a), r2 = load("two", b);
    EXPECT_EQ(compare(r1, r2, st_constant), "mix[north] - has changed in value\n"
                                            "     1             one\n"
                                            "     2             two\n");
    EXPECT_EQ(compare(r1, r2, st_aux),
              "mix[south] - has different values at time 10 and perhaps beyond\n"
              "     10            one\n"
              "     20            two\n" +
                  sep);
    EXPECT_EQ(compare(r1, r2, st_game),
              "steer - has different values at time 10 and perhaps beyond\n"
              "     1             one\n"
              "     3             two\n" +
                  sep);
}

TEST_F(compare_test, RefusalsAndTheHeaderHook) {
    run_builder a = base(*v1), b = base(*v1);
    b.constant("a_abs", 11);
    const int r1 = load("one", a), r2 = load("two", b);
    run_builder arr = base(*v1);
    arr.type('A');
    const int ra = load("arr", arr);
    struct refusal {
        int r1, r2;
        const char* message;
    } cases[] = {
        {r1, r1, "Trying to compare a run with itself"}, {99, r2, "Unable to find run1"},
        {ra, r2, "Run1 is not from a simulation"},       {r1, 99, "Unable to find run2"},
        {r1, ra, "Run is not from a simulation"},
    };
    for (const refusal& c : cases) {
        captured().clear();
        EXPECT_EQ(compare_runs("x", c.r1, "y", c.r2, 0, st_constant, 0, 0), -1) << c.message;
        ASSERT_EQ(captured().size(), 1u) << c.message;
        EXPECT_EQ(captured()[0].text, c.message);
        EXPECT_EQ(captured()[0].severity, 8);
    }
    // The hook runs once, before the first line, and not when nothing differs.
    static std::vector<std::string> calls;
    calls.clear();
    compare_header_hook = [](const char* n1, const char* n2) {
        calls.push_back(std::string(n1) + "|" + n2 + "|" + std::to_string(report_lines().size()));
    };
    EXPECT_EQ(compare(r1, r2, st_level), "");
    EXPECT_TRUE(calls.empty());
    int n = 0;
    EXPECT_EQ(compare(r1, r2, st_constant, 0, 0, false, &n), "a_abs - has changed in value\n"
                                                             "     10            one\n"
                                                             "     11            two\n");
    EXPECT_EQ(n, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "one|two|0");
    // The open model is the one published before the call.
    EXPECT_EQ(locked_model_symbols, 0u);
}

// Runs the engine wrote from two versions of one model: a renamed, a removed,
// a retyped and a re-dimensioned variable, a changed constant and lookup, and
// a shorter run.
TEST_F(compare_test, EngineRunsOfTwoVersions) {
    auto simulate = [&](bool second, const char* name) {
        model_builder b(second ? "two" : "one");
        b.control(0, second ? 6 : 10, 1, 1);
        b.range("region", {"north", "south"});
        b.constant("rate", second ? 0.2f : 0.1f);
        b.constant(second ? "new name" : "old name", 5);
        if (!second) b.constant("gone", 1);
        if (second)
            b.aux("kind", "Time");
        else
            b.constant("kind", 3);
        b.constant(second ? "wide" : "wide[region]", 1);
        b.level("Stock", "inflow", "10");
        b.aux("inflow", "rate * Stock");
        b.lookup("Effect", {{0, 0}, {1, second ? 3.0f : 2.0f}});
        b.aux("shaped", "Effect(Time)");
        EXPECT_TRUE(b.finish());
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir_.c_str(), path(std::string(name) + ".kmf").c_str());
        const std::string file = path(std::string(name) + ".kdf");
        sim_options o;
        o.run_file = file.c_str();
        EXPECT_EQ(simulate_model(cur_model_symbols, o, nullptr), sim_done);
        return kdf_open(file.c_str());
    };
    const int r1 = simulate(false, "one");
    const int r2 = simulate(true, "two");
    close_model(0, 0);
    ASSERT_GE(r1, 0);
    ASSERT_GE(r2, 0);
    const std::string moved = "Time axes may differ - comparing only to time 6\n" + sep;
    EXPECT_EQ(compare(r1, r2, st_constant, 0, 0, true),
              "FINAL TIME - has changed in value\n"
              "     10            one\n"
              "     6             two\n"
              "-gone- in run one is not contained in run two\n" +
                  sep + sep + "-kind- in run one is of different type in run two\n" + sep +
                  "-old name- in run one is not contained in run two\n" + sep +
                  "rate - has changed in value\n"
                  "     0.1           one\n"
                  "     0.2           two\n" +
                  sep + "wide has different dimensions in run two\n" + sep +
                  "-new name- in run two is not contained in run one\n" + sep + sep +
                  "wide has different dimensions in run one\n" + sep);
    EXPECT_EQ(compare(r1, r2, st_lookup, 0, 0, true),
              "Effect - has changed in value\n"
              "     X                   one                 two                 \n"
              "     0                   0                   0                   \n"
              "     1                   2                   3                   \n" +
                  sep);
    EXPECT_EQ(compare(r1, r2, st_level, 0, 0, true),
              moved +
                  "Stock - has different values at time 1 and perhaps beyond\n"
                  "     11            one\n"
                  "     12            two\n" +
                  sep);
    EXPECT_EQ(compare(r1, r2, st_aux, 0, 0, true),
              moved +
                  "inflow - has different values at time 0 and perhaps beyond\n"
                  "     1             one\n"
                  "     2             two\n" +
                  sep +
                  "shaped - has different values at time 1 and perhaps beyond\n"
                  "     2             one\n"
                  "     3             two\n" +
                  sep + sep + "-kind- in run two is of different type in run one\n" + sep);
}

} // namespace

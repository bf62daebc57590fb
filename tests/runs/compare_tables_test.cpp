// Run comparison of tables between two versions of a model: a table that is
// no table in the other run is said so, with that run's name; a table the
// same in both is not mentioned.
#include <memory>
#include <string>
#include <vector>

#include "model/modelfile.h"
#include "sim/run.h"

#include "foundation/docwriter.h"
#include "runs/compare.h"
#include "runs_fixture.h"

namespace {

const std::string sep = compare_separator;

std::unique_ptr<model_builder> version(bool second) {
    auto b = std::make_unique<model_builder>(second ? "t2" : "t1");
    b->control(0, 10, 1, 1);
    b->range("region", {"north", "south"});
    b->level("Stock", "inflow", "10");
    b->aux("inflow", "0");
    if (second) {
        b->lookup("Shape", {{0, 1}, {1, 1}});
        b->constant("Curve", 1);
    } else {
        b->lookup("Shape", {{0, 1}, {1, 1}});
        b->lookup("Curve", {{0, 0}, {1, 1}});
    }
    EXPECT_TRUE(b->finish());
    return b;
}

class compare_tables_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        text_report(0, 0, 0, report_none, 0, 0);
        clear_report_lines();
    }
};

TEST_F(compare_tables_test, ATableRetypedIsSaidWithItsRun) {
    auto v1 = version(false), v2 = version(true);
    run_builder a(v1->symbols()), b(v2->symbols());
    a.times(ramp(11, 0, 1)).series("Stock", ramp(11, 10, 1));
    b.times(ramp(11, 0, 1)).series("Stock", ramp(11, 10, 1)).constant("Curve", 1);

    const int r1 = kdf_open(write_run("t1.kdf", a).c_str());
    const int r2 = kdf_open(write_run("t2.kdf", b).c_str());
    ASSERT_GE(r1, 0);
    ASSERT_GE(r2, 0);
    clear_report_lines();
    compare_runs("one", r1, "two", r2, 0, st_lookup, 0, 0);
    doc_flush();
    std::string all;
    for (const std::string& l : report_lines()) all += l + "\n";
    EXPECT_NE(all.find("The table Curve is not a table in run two\n"), std::string::npos) << all;
    // The same table in both: nothing said of it.
    EXPECT_EQ(all.find("Shape"), std::string::npos) << all;
}

// Arrayed tables in engine runs of two versions of a model: the reshaped
// table is said once, and a table of the same shape is compared element by
// element, matched by name.
TEST_F(compare_tables_test, ArrayedTablesInEngineRunsAreComparedByShapeThenByElement) {
    // kind 0: Curve over region (north, south); 1: a scalar Curve; 2: over
    // region with south's second point moved, the range's elements listed the
    // other way round; 3: over a range of three; 4: over region and a range of
    // one (two elements, but two dimensions).
    auto simulate = [&](int kind, const std::string& name) {
        model_builder b(name.c_str());
        b.control(0, 2, 1, 1);
        if (kind == 2)
            b.range("region", {"south", "north"});
        else
            b.range("region", {"north", "south"});
        b.range("trio", {"a", "b", "c"});
        b.range("solo", {"only"});
        b.level("Stock", "inflow", "1");
        b.aux("inflow", "0");
        switch (kind) {
        case 1:
            b.lookup("Curve", {{0, 0}, {1, 1}});
            break;
        case 3:
            b.lookup("Curve[a]", {{0, 0}, {1, 1}});
            b.lookup("Curve[b]", {{0, 0}, {1, 1}});
            b.lookup("Curve[c]", {{0, 0}, {1, 1}});
            break;
        case 4:
            b.lookup("Curve[north,only]", {{0, 0}, {1, 1}});
            b.lookup("Curve[south,only]", {{0, 0}, {1, 2}});
            break;
        case 2:
            b.lookup("Curve[south]", {{0, 0}, {1, 5}});
            b.lookup("Curve[north]", {{0, 0}, {1, 1}});
            break;
        default:
            b.lookup("Curve[north]", {{0, 0}, {1, 1}});
            b.lookup("Curve[south]", {{0, 0}, {1, 2}});
        }
        EXPECT_TRUE(b.finish());
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir_.c_str(), path(name + ".kmf").c_str());
        const std::string file = path(name + ".kdf");
        sim_options o;
        o.run_file = file.c_str();
        EXPECT_EQ(simulate_model(cur_model_symbols, o, nullptr), sim_done) << name;
        return kdf_open(file.c_str());
    };
    std::vector<int> runs;
    for (int kind = 0; kind < 5; ++kind) runs.push_back(simulate(kind, "v" + std::to_string(kind)));
    close_model(0, 0);
    for (int r : runs) ASSERT_GE(r, 0);

    auto compare = [&](int r1, int r2) {
        clear_report_lines();
        compare_runs("one", r1, "two", r2, 0, st_lookup, 0, 0);
        doc_flush();
        std::string all;
        for (const std::string& l : report_lines()) all += l + "\n";
        return all;
    };
    const std::string reshaped = "The table Curve has different dimensions in the second run\n";
    EXPECT_EQ(compare(runs[0], runs[1]), reshaped);
    EXPECT_EQ(compare(runs[1], runs[0]), reshaped);
    EXPECT_EQ(compare(runs[0], runs[3]), reshaped);
    EXPECT_EQ(compare(runs[0], runs[4]), reshaped);
    EXPECT_EQ(compare(runs[0], runs[0]), "");
    EXPECT_EQ(compare(runs[0], runs[2]),
              "Curve[south] - has changed in value\n"
              "     X                   one                 two                 \n"
              "     0                   0                   0                   \n"
              "     1                   2                   5                   \n" +
                  sep);
}

} // namespace

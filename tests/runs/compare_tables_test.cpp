// Run comparison of tables between two versions of a model: a table that is
// no table in the other run is said so, with that run's name; a table the
// same in both is not mentioned.
#include <memory>

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

} // namespace

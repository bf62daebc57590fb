// Pairs of two runs' values for an XY graph keep to the model's time range
// as set, both of its ends included.
#include "model/modelfile.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/select.h"
#include "runs_fixture.h"

namespace {

class xy_range_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        build_test_model(mb_);
        model_dir = dir_;
        new_run_place = 1;
    }
    void TearDown() override {
        reset_value_cache(-1, 2, 1);
        close_model(0, 0);
        model_dir.clear();
        runs_test::TearDown();
    }
    model_builder mb_{"town"};
};

TEST_F(xy_range_test, the_pairs_run_from_the_start_to_the_end_of_the_range) {
    run_builder a(mb_.symbols()), b(mb_.symbols());
    a.times({0, 1, 2, 3, 4}).series("Stock", {0, 1, 2, 3, 4});
    b.times({0, 1, 2, 3, 4}).series("Stock", {10, 11, 12, 13, 14});
    write_run("xa.kdf", a);
    write_run("xb.kdf", b);
    model_pair m = mb_.release();
    read_model_settings(m.header, m.symbols);
    close_model(m.header, m.symbols, dir_.c_str(), path("town.kmf").c_str());
    ASSERT_NE(model_rec, nullptr);
    reset_value_cache(-1, 1, 1);
    ASSERT_EQ(load_runs(model_rec, 0, "xa", 1, 0), 1);
    ASSERT_EQ(load_runs(model_rec, 0, "xb", 1, 0), 1);
    const int ra = model_rec->runs[1].run, rb = model_rec->runs[0].run;
    std::vector<float> va, vb;
    double lo = 0, hi = 0;
    // The whole span.
    EXPECT_EQ(read_run_xy("Stock", ra, va, "Stock", rb, vb, &lo, &hi), 5);
    // From 1 to 3: the points at 1, 2 and 3.
    model_rec->start = 1;
    model_rec->end = 3;
    ASSERT_EQ(read_run_xy("Stock", ra, va, "Stock", rb, vb, &lo, &hi), 3);
    EXPECT_EQ(va, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(vb, (std::vector<float>{11, 12, 13}));
    EXPECT_EQ(lo, 11);
    EXPECT_EQ(hi, 13);
}

} // namespace

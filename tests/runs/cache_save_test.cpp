// The Livesweep save step of the value cache: each save writes the shown
// run's series of the variables someone has read, grows them all together,
// and leaves every other variable and run slot alone.
#include <vector>

#include "model/modelfile.h"
#include "runs/cache.h"
#include "runs/select.h"
#include "runs_fixture.h"

namespace {

class cache_save_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        build_test_model(mb_);
        model_dir = dir_;
        new_run_place = 1;
        for (const char* name : {"a", "b"}) {
            run_builder rb(mb_.symbols());
            rb.times({0, 1, 2}).series("Stock", {1, 2, 3}).series("inflow", {4, 5, 6});
            write_run(std::string(name) + ".kdf", rb);
        }
        model_pair m = mb_.release();
        symbols_ = m.symbols;
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir_.c_str(), path("town.kmf").c_str());
        ASSERT_NE(model_rec, nullptr);
        ASSERT_EQ(load_runs(model_rec, 0, "a", 1, 0), 1);
        ASSERT_EQ(load_runs(model_rec, 0, "b", 1, 0), 1);
        stock_ = run_builder::slot_of(symbols_, "Stock");
        inflow_ = run_builder::slot_of(symbols_, "inflow");
        set_cache_livesweep(true);
        reset_value_cache(0, 0, 1); // run slot 0 is the shown one
    }
    void TearDown() override {
        set_cache_livesweep(false);
        reset_value_cache(-1, 2, 1);
        close_model(0, 0);
        // The grown capacity outlives resets while a model is open; a reset
        // without one forgets it, so the next test starts as a fresh one.
        reset_value_cache(-1, 1, 1);
        reset_value_cache(-1, 2, 1);
        model_dir.clear();
        runs_test::TearDown();
    }
    // A save step whose values are base + slot, at time base.
    void save(float base, int remaining) {
        std::vector<float> values(64);
        for (std::size_t s = 0; s < values.size(); ++s) values[s] = base + static_cast<float>(s);
        values[0] = base;
        livesweep_save_values(values.data(), values.size(), remaining);
    }
    model_builder mb_{"town"};
    handle symbols_ = 0;
    int stock_ = 0, inflow_ = 0;
};

TEST_F(cache_save_test, saves_reach_the_shown_series_read_before_and_during_the_sweep) {
    const float *t = nullptr, *v = nullptr;
    set_cache_points_counter(3); // the sweep goes on after the three read points
    ASSERT_EQ(cached_series(stock_, &t, &v, 0), 3);
    ASSERT_EQ(cached_series(stock_, &t, &v, 1), 3); // another run slot: never written
    // Enough saves to grow the arrays more than once (room: 3, then 3 + 2 + 5).
    for (int k = 3; k < 8; ++k) save(100.0f * static_cast<float>(k + 1), 2);
    // A variable read in the middle of the sweep is written from then on.
    ASSERT_EQ(cached_series(inflow_, &t, &v, 0), 3);
    for (int k = 8; k < 16; ++k) save(100.0f * static_cast<float>(k + 1), 16 - k);
    EXPECT_EQ(cache_points_counter(), 16);

    ASSERT_EQ(cached_series(stock_, &t, &v, 0), 3);
    EXPECT_EQ(v[2], 3); // the read points stay
    for (int k = 3; k < 16; ++k) {
        EXPECT_EQ(t[k], 100.0f * static_cast<float>(k + 1)) << k;
        EXPECT_EQ(v[k], 100.0f * static_cast<float>(k + 1) + static_cast<float>(stock_)) << k;
    }
    ASSERT_EQ(cached_series(inflow_, &t, &v, 0), 3);
    EXPECT_EQ(v[2], 6);
    for (int k = 8; k < 16; ++k)
        EXPECT_EQ(v[k], 100.0f * static_cast<float>(k + 1) + static_cast<float>(inflow_)) << k;

    ASSERT_EQ(cached_series(stock_, &t, &v, 1), 3);
    EXPECT_EQ(t[2], 2);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[2], 3);
}

TEST_F(cache_save_test, a_reset_forgets_the_shown_variables) {
    const float *t = nullptr, *v = nullptr;
    set_cache_points_counter(3);
    ASSERT_EQ(cached_series(stock_, &t, &v, 0), 3);
    reset_value_cache(0, 0, 1);
    set_cache_points_counter(0);
    std::uint32_t gen = value_cache_generation();
    // Nothing is shown after the reset: saves write nothing and grow nothing.
    for (int k = 0; k < 8; ++k) save(static_cast<float>(k), 1);
    EXPECT_EQ(value_cache_generation(), gen);
    EXPECT_EQ(cache_points_counter(), 8);
}

} // namespace

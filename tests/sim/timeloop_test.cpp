// The time loop's Euler step with its finite check, and what a save keeps.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "sim/interp.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

// The update is v + h r lane by lane, and the flag is set by a not-finite
// result in any lane, including those after the vector body of the loop,
// for short ranges (updated one state at a time) and long ones, with the
// processor's wider vectors and without (the same values).
TEST(EulerUpdate, UpdatesEveryLaneAndFlagsANotFiniteResultAnywhere) {
    const float h = 0.25f;
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 19; ++n) sizes.push_back(n);
    for (std::size_t n : {30, 31, 32, 33, 47, 63, 64, 71, 100, 257}) sizes.push_back(n);
    for (int k = 0; k < 2 * static_cast<int>(sizes.size()); ++k) {
        const std::size_t n = sizes[static_cast<std::size_t>(k / 2)];
        set_wider_vectors(k % 2 == 0);
        std::vector<float> v(n), r(n), want(n);
        for (std::size_t i = 0; i < n; ++i) {
            v[i] = 1.5f * static_cast<float>(i) - 3;
            r[i] = 0.1f * static_cast<float>(i * i) + 0.3f;
            want[i] = v[i] + h * r[i];
        }
        EXPECT_FALSE(euler_update(v.data(), r.data(), n, h)) << n;
        for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(v[i], want[i]) << n << " " << i;
        const float bad[] = {std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::max()}; // overflows with v
        for (std::size_t at = 0; at < n; ++at)
            for (float b : bad) {
                std::vector<float> w(n, 1.0f), q(n, 2.0f);
                w[at] = std::numeric_limits<float>::max();
                q[at] = b;
                EXPECT_TRUE(euler_update(w.data(), q.data(), n, 1.0f)) << n << " " << at;
                EXPECT_FALSE(std::isfinite(w[at]));
                for (std::size_t i = 0; i < n; ++i) {
                    if (i != at) {
                        EXPECT_EQ(w[i], 3.0f);
                    }
                }
            }
    }
    set_wider_vectors(true);
}

class TimeLoop : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override {
        set_livesweep_save_hook(nullptr);
        run_kind = rk_ordinary;
    }
    message_capture messages;
};

// Only one element, late in a range longer than a vector, overflows: the
// message names it, and the saves before are kept.
TEST_F(TimeLoop, AnOverflowLateInALongRangeIsNamed) {
    std::vector<std::string> names;
    for (int i = 1; i <= 19; ++i) names.push_back("e" + std::to_string(i));
    std::vector<const char*> elems;
    for (const auto& s : names) elems.push_back(s.c_str());
    model_builder b("late");
    b.control(0, 10, 1, 1);
    b.range("r", elems);
    std::vector<float> k(19, 0.0f);
    k[16] = 1;
    b.constant_list("k[r]", k);
    b.level("Big[r]", "k[r] * Big[r] * Big[r]", "1e10");
    ASSERT_TRUE(b.finish()) << messages.joined();
    sim_output out;
    EXPECT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_error_saved);
    EXPECT_TRUE(messages.contains("Floating point error computing Big[e17]")) << messages.joined();
    EXPECT_FALSE(out.times.empty());
}

std::vector<float> hook_rows;
void keep_save(const float* values, std::uint32_t slots, int) {
    hook_rows.insert(hook_rows.end(), values, values + slots);
}

// A Livesweep re-run without a run file hands every save, the initial one
// too, to the cache's hook and keeps no rows of its own; with a run file the
// rows are kept for it.
TEST_F(TimeLoop, ALivesweepRunKeepsRowsOnlyForItsRunFile) {
    model_builder b("sweep");
    b.control(0, 8, 0.5f, 1);
    b.constant("growth", 0.1f);
    b.level("Stock", "growth * Stock", "100");
    b.aux("twice", "2 * Stock");
    ASSERT_TRUE(b.finish());
    sim_output plain;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &plain), sim_done);
    ASSERT_EQ(plain.times.size(), 9u);
    ASSERT_EQ(plain.rows.size(), 9u * plain.value_slots);

    run_kind = rk_livesweep;
    set_livesweep_save_hook(&keep_save);
    hook_rows.clear();
    sim_output sweep;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &sweep), sim_done);
    EXPECT_EQ(sweep.times, plain.times);
    EXPECT_TRUE(sweep.rows.empty());
    // The hook sees every save, as the ordinary run saved it.
    EXPECT_EQ(hook_rows, plain.rows);

    std::string file = testing::TempDir() + "/timeloop_sweep.kdf";
    sim_options disk;
    disk.run_file = file.c_str();
    sim_output written;
    ASSERT_EQ(simulate_model(b.symbols(), disk, &written), sim_done);
    EXPECT_EQ(written.rows, plain.rows);
    std::remove(file.c_str());
}

} // namespace

// A run's output is emptied for the next run but keeps its storage, so runs of
// one model again and again (Livesweep, sensitivity) map no fresh memory.
#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "tests/sim/engine_fixture.h"

namespace {

TEST(RunStorage, ASecondRunReusesTheRowsAndKeepsNothingOfTheFirst) {
    init_vocabulary();
    message_capture messages;
    model_builder b("storage");
    b.control(0, 50, 1, 1);
    b.range("r", {"r1", "r2", "r3"});
    b.constant("limit", 100);
    b.level("Stock[r]", "1 / (limit - TIME)", "1");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(check_model(b.symbols()), 0);
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);

    sim_output fresh;
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &fresh), sim_done);
    // The first run of out ends early with an error (limit hit at time 40,
    // through the changed value), the second goes the whole way.
    std::int32_t limit = slot_of(b, "limit");
    std::vector<float> values(p.value_slots, 0);
    std::vector<std::uint8_t> changed(p.value_slots, 0);
    values[static_cast<std::size_t>(limit)] = 40;
    changed[static_cast<std::size_t>(limit)] = 1;
    sim_options early;
    early.setup_values = values.data();
    early.setup_changed = changed.data();
    early.method = im_rk_auto;
    sim_output out;
    ASSERT_EQ(run_program(b.symbols(), p, early, &out), sim_error_saved);
    ASSERT_FALSE(out.error.empty());
    ASSERT_GT(out.rk_steps, 0);
    out.rows.reserve(fresh.rows.size() * 2);
    const float* storage = out.rows.data();

    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &out), sim_done) << messages.joined();
    EXPECT_EQ(out.rows.data(), storage);
    EXPECT_EQ(out.error, "");
    EXPECT_EQ(out.rk_steps, 0);
    EXPECT_EQ(out.times, fresh.times);
    EXPECT_EQ(out.rows, fresh.rows);
    EXPECT_EQ(out.initial, fresh.initial);
}

} // namespace

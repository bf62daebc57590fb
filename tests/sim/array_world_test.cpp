// The array model (tests/support/array_world.h) against its hand-written
// C++: every saved value at every step, to the bit, so the benchmark that
// times the two compares the same arithmetic. The engine runs whichever road
// the suite is run with (the flat loop, or every pass compiled with
// KAVREL_NATIVE=1 or 2); the test also runs it with the flat passes off (the
// interpreter) and on native code forced to tier 1 when this build has it.
#include <cstring>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "tests/sim/engine_fixture.h"
#include "tests/support/array_world.h"

namespace {

class ArrayWorld : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        flat_ = flat_passes();
    }
    void TearDown() override {
        set_flat_passes(flat_);
        set_native_mode(nm_environment);
        forget_kept_passes();
    }
    // The engine's rows in the C++'s layout, after two runs (the second on
    // kept passes, and whatever code the worker has made by then).
    void expect_cpp_values(int cells) {
        model_builder b("arrays");
        array_world w = build_array_world(b, cells);
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors().front());
        check_model(b.symbols());
        sim_program p;
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
        std::vector<float> rows;
        array_world_cpp(cells, rows);
        const std::vector<std::size_t> slots = w.slots(b);
        const std::size_t n = w.row_size();
        ASSERT_EQ(slots.size(), n);
        for (int run = 0; run < 2; ++run) {
            sim_options o;
            sim_output out;
            ASSERT_EQ(run_program(b.symbols(), p, o, &out), 1) << out.error;
            native_wait_idle();
            const std::size_t saves = out.times.size();
            ASSERT_EQ(saves, std::size_t{array_world_steps} + 1);
            ASSERT_EQ(rows.size(), saves * n);
            for (std::size_t s = 0; s < saves; ++s)
                for (std::size_t k = 0; k < n; ++k) {
                    const float e = out.rows[s * out.value_slots + slots[k]], c = rows[s * n + k];
                    if (std::memcmp(&e, &c, 4) != 0) {
                        ADD_FAILURE() << "run " << run << ", save " << s << ", value " << k
                                      << ": engine " << e << ", C++ " << c;
                        return;
                    }
                }
        }
    }
    message_capture messages;
    bool flat_ = true; // the suite's road (the interpreter alone when off)
};

TEST_F(ArrayWorld, TheEngineGivesTheValuesOfTheHandWrittenCpp) {
    // Odd counts leave chunks and vectors partly filled.
    for (int cells : {1000, 37, 2}) {
        SCOPED_TRACE(std::to_string(cells) + " cells");
        expect_cpp_values(cells);
    }
}

TEST_F(ArrayWorld, TheInterpreterAndTierOneGiveTheSameValues) {
    set_flat_passes(false);
    forget_kept_passes();
    expect_cpp_values(300);
    set_flat_passes(flat_);
    if (!native_available()) return;
    set_native_mode(nm_tier1);
    forget_kept_passes();
    expect_cpp_values(300);
}

} // namespace

// The random worlds (tests/support/random_world.h) against their C++,
// generated at build time from the same seeds: every level and auxiliary at
// every step, to the bit, so the benchmark that times the engine against that
// C++ compares the same arithmetic. The engine runs whichever road the suite
// is run with (the flat loop, or every pass compiled with
// KAVREL_NATIVE=1 or 2).
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "tests/common/sanitized.h"
#include "tests/sim/engine_fixture.h"
#include "tests/support/random_world.h"

namespace {

class RandomWorlds : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    message_capture messages;
};

TEST_F(RandomWorlds, TheEngineGivesTheValuesOfTheCppWrittenFromTheSameSeed) {
    ASSERT_FALSE(random_world_cpps().empty());
    // Compiling every pass before its run (the suite's reruns on native
    // code) takes seconds a large world at tier 1: there the largest worlds
    // are left to the benchmark, which checks its runs too.
    const char* native = std::getenv("KAVREL_NATIVE");
    const bool compiled = native && (*native == '1' || *native == '2');
    int checked = 0;
    for (const random_world_cpp& entry : random_world_cpps()) {
        if ((sanitized || compiled) && entry.sectors > 15 &&
            (entry.sectors > 45 || entry.seed != random_world_cpps().front().seed || sanitized))
            continue;
        SCOPED_TRACE("seed " + std::to_string(entry.seed) + ", " + std::to_string(entry.sectors) +
                     " sectors");
        model_builder b("random world");
        const std::string fn =
            "random_world_" + std::to_string(entry.seed) + "_" + std::to_string(entry.sectors);
        random_world w = build_random_world(b, entry.seed, entry.sectors, fn);
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors().front());
        check_model(b.symbols());
        sim_program p;
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
        sim_options o;
        sim_output out;
        ASSERT_EQ(run_program(b.symbols(), p, o, &out), 1) << out.error;
        std::vector<float> rows;
        entry.run(rows);
        const std::size_t n = w.saved.size(), saves = out.times.size();
        ASSERT_EQ(saves, 401u);
        ASSERT_EQ(rows.size(), saves * n);
        std::vector<std::size_t> slots;
        for (const std::string& name : w.saved) {
            symbol_id id = b.id(name.c_str());
            ASSERT_NE(id, 0u) << name;
            slots.push_back(static_cast<std::size_t>(get_symbol(b.symbols(), id).slot));
        }
        std::vector<float> engine(rows.size());
        for (std::size_t s = 0; s < saves; ++s)
            for (std::size_t k = 0; k < n; ++k)
                engine[s * n + k] = out.rows[s * out.value_slots + slots[k]];
        if (std::memcmp(engine.data(), rows.data(), 4 * rows.size()) != 0) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                ASSERT_EQ(std::memcmp(&engine[i], &rows[i], 4), 0)
                    << w.saved[i % n] << " at save " << i / n << ": engine " << engine[i]
                    << ", C++ " << rows[i];
            }
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

} // namespace

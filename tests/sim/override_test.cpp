// The input overrides' hooks in the time loop: NA before the initial pass,
// supplied values kept over their equations, rate 0 for overridden levels,
// frozen levels.
#include <vector>

#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

std::int32_t slot_a = 0, slot_held = 0;
std::vector<int> modes;
float seen_before_supply = 0;

void supply(int mode) {
    modes.push_back(mode);
    if (mode == 1) {
        seen_before_supply = value_array[slot_a];
        value_array[slot_held] = 1; // supplied once; its rate 0 keeps it
    }
    value_array[slot_a] = static_cast<float>(50 + sim_time);
}

class Overrides : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        modes.clear();
        set_override_hook(&supply);
    }
    void TearDown() override {
        set_override_hook(nullptr);
        override_flags = 0;
        override_held = nullptr;
        freeze_levels = 0;
    }
    message_capture messages;
};

TEST_F(Overrides, SuppliedValuesReplaceEquationsAndOverriddenLevelsStand) {
    model_builder b("overrides");
    b.control(0, 3, 1, 1);
    b.aux("a", "Time * 2");
    b.aux("uses a", "a + 1");
    b.level("Held", "5", "1");
    b.level("Free", "a", "0");
    ASSERT_TRUE(b.finish());
    slot_a = slot_of(b, "a");
    slot_held = slot_of(b, "Held");
    std::uint32_t slots =
        get_header_word(b.symbols(), mh_level_slots) + get_header_word(b.symbols(), mh_other_slots);
    std::vector<std::uint8_t> held(slots, 0);
    held[static_cast<std::size_t>(slot_a)] = 2;
    held[static_cast<std::size_t>(slot_of(b, "Held"))] = 2;
    override_held = held.data();
    override_flags = 1;
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    EXPECT_EQ(modes, (std::vector<int>{1, 0, 0, 0}));
    EXPECT_TRUE(is_na(seen_before_supply)); // the equation of a was not used
    for (std::size_t k = 0; k < out.times.size(); ++k) {
        float t = out.times[k];
        EXPECT_FLOAT_EQ(saved_value(out, k, slot_a), 50 + t);
        EXPECT_FLOAT_EQ(saved_value(out, k, slot_of(b, "uses a")), 51 + t);
        EXPECT_FLOAT_EQ(saved_value(out, k, slot_of(b, "Held")), 1); // rate 0
    }
    EXPECT_FLOAT_EQ(saved_value(out, 3, slot_of(b, "Free")), 50 + 51 + 52);
    // Frozen levels: only TIME moves.
    freeze_levels = 1;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
    EXPECT_FLOAT_EQ(saved_value(out, 3, slot_of(b, "Free")), 0);
    EXPECT_FLOAT_EQ(out.times.back(), 3);
}

} // namespace

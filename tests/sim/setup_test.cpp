// The setup copies a user changes between runs: which changes count, which
// slots they may touch, and that a copy belongs to the model it was made of.
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

class SetupCopies : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override {
        clear_setup();
        close_model(0, 0);
    }
    // A model with two constants, a lookup and a string; opened.
    void open_small_model() {
        model_builder b("small");
        b.constant("k", 4);
        b.constant("m", 6);
        b.aux("x", "k * m");
        b.lookup("Effect", {{0, 0}, {1, 2}, {2, 3}});
        b.string_var("Label", "hello");
        ASSERT_TRUE(b.finish());
        k_ = slot_of(b, "k");
        label_ = slot_of(b, "Label");
        model_pair p = b.release();
        close_model(p.header, p.symbols);
        ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    }
    message_capture messages;
    std::int32_t k_ = -1, label_ = -1;
};

// A new copy holds no change; a changed value, lookup or string each makes
// one, and a run after it takes the copies.
TEST_F(SetupCopies, EachKindOfChangeCounts) {
    open_small_model();
    setup_state* st = setup_copies();
    ASSERT_NE(st, nullptr);
    EXPECT_FALSE(setup_has_changes());
    ASSERT_GE(label_, 0);
    ASSERT_EQ(set_setup_string(static_cast<std::uint32_t>(label_), "goodbye"), 1);
    EXPECT_TRUE(setup_has_changes());
    EXPECT_EQ(st->strings[static_cast<std::size_t>(label_)], "goodbye");

    ASSERT_EQ(ensure_setup_copy(0), 1);
    clear_setup();
    ASSERT_EQ(ensure_setup_copy(0), 1);
    EXPECT_FALSE(setup_has_changes());
    ASSERT_EQ(set_setup_lookup(0, {0, 5}, {1, 1}), 1);
    EXPECT_TRUE(setup_has_changes());

    clear_setup();
    ASSERT_EQ(ensure_setup_copy(0), 1);
    ASSERT_EQ(set_setup_value(k_, 9), 1);
    EXPECT_TRUE(setup_has_changes());
}

// Every value slot of the copy can be changed, and nothing past its end.
TEST_F(SetupCopies, ValuesAreChangedOnlyInsideTheCopy) {
    open_small_model();
    const auto n = static_cast<std::int32_t>(setup_copies()->changed.size());
    ASSERT_GT(n, 0);
    EXPECT_EQ(set_setup_value(n - 1, 1.5f), 1);
    EXPECT_EQ(set_setup_value(n, 1.5f), 0);
    EXPECT_EQ(set_setup_value(-1, 1.5f), 0);
    const auto strings = static_cast<std::uint32_t>(setup_copies()->strings.size());
    EXPECT_EQ(set_setup_string(strings, "x"), 0);
    const auto lookups = static_cast<std::uint32_t>(setup_copies()->lookups.size());
    EXPECT_EQ(set_setup_lookup(lookups, {0, 1}, {0, 1}), 0);
    EXPECT_EQ(set_setup_lookup(0, {0, 1}, {0}), 0); // points of two sizes
}

// A copy made of one model is not used for the next: asking for the copies
// after another model opened makes them afresh from that model.
TEST_F(SetupCopies, AnotherModelGetsCopiesOfItsOwn) {
    open_small_model();
    ASSERT_EQ(set_setup_value(k_, 9), 1);
    model_builder b("other");
    b.constant("speed", 30);
    ASSERT_TRUE(b.finish());
    const std::int32_t speed = slot_of(b, "speed");
    model_pair p = b.release();
    close_model(p.header, p.symbols);
    ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    setup_state* st = setup_copies();
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->symbols, cur_model_symbols);
    EXPECT_FALSE(setup_has_changes());
    ASSERT_LT(static_cast<std::size_t>(speed), st->model_values.size());
    EXPECT_FLOAT_EQ(st->model_values[static_cast<std::size_t>(speed)], 30);
    handle_lock<float> v(setup_copy);
    EXPECT_FLOAT_EQ(v.get()[speed], 30);
}

// Dropping the copies drops the input-override state with them.
TEST_F(SetupCopies, ClearingDropsTheOverrideState) {
    open_small_model();
    override_flags = 1;
    clear_setup();
    EXPECT_EQ(override_flags, 0);
    EXPECT_EQ(override_held, nullptr);
    EXPECT_EQ(setup_copies(), nullptr);
    EXPECT_EQ(setup_copy, 0u);
}

// A subscripted string variable's literal is every element's text in the
// copy, not the first element's alone.
TEST_F(SetupCopies, EveryElementOfAStringVariableStartsWithItsText) {
    model_builder b("places");
    b.range("region", {"north", "south", "east"});
    b.string_var("Place[region]", "here");
    b.constant("k", 1);
    ASSERT_TRUE(b.finish()) << messages.joined();
    const std::int32_t place = slot_of(b, "Place");
    model_pair p = b.release();
    close_model(p.header, p.symbols);
    ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    const setup_state* st = setup_copies();
    ASSERT_NE(st, nullptr);
    ASSERT_GE(place, 0);
    ASSERT_GE(st->strings.size(), static_cast<std::size_t>(place) + 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(st->strings[static_cast<std::size_t>(place + k)], "here") << k;
    EXPECT_FALSE(setup_has_changes());
}

} // namespace

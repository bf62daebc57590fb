// Behaviour-test inputs: computed like auxiliaries at every step of a
// behaviour test (so constraints can use them), absent from every other run,
// and out of reach of ordinary equations.
#include "model/check.h"
#include "model/order.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

class TestInputs : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    void TearDown() override { run_kind = rk_ordinary; }
    message_capture messages;
};

const constraint_violation* violation(const sim_output& out, const std::string& element) {
    for (const auto& v : out.violations)
        if (v.element == element) return &v;
    return nullptr;
}

// Stock rises by 1 a step from 0 (Time 0..10); the test inputs and
// constraints over it are listed in the tests.
TEST_F(TestInputs, ConstraintsSeeTheTestInputsOfEveryStep) {
    model_builder b("tests");
    b.control(0, 10, 1, 1);
    b.range("r", {"a1", "a2"});
    b.constant_list("limit[r]", {1, 5});
    b.level("Stock", "1", "0");
    // "a outer" reads "z inner": the order must compute z inner first at every
    // step, or outer would lag one step behind Stock.
    symbol_id outer = b.aux("a outer", "z inner + 1");
    symbol_id inner = b.aux("z inner", "Stock");
    symbol_id doubled = b.aux("doubled", "Stock * 2");
    symbol_id shock = b.aux("shock", "STEP(100, 3)");
    symbol_id bump = b.aux("bump[r]", "limit[r] * Time");
    symbol_id tracks = b.aux("outer tracks", "a outer = Stock + 1");
    symbol_id small = b.aux("doubled small", "doubled <= 10");
    symbol_id quiet = b.aux("no shock", "shock = 0");
    symbol_id bounded = b.aux("bump bounded[r]", "bump[r] <= 20");
    ASSERT_TRUE(b.finish()) << messages.joined();
    for (symbol_id s : {outer, inner, doubled, shock, bump}) retype(b, s, st_test_input);
    for (symbol_id s : {tracks, small, quiet, bounded}) retype(b, s, st_constraint);
    ASSERT_EQ(check_model(b.symbols()), 0) << messages.joined();

    run_kind = rk_plausitest;
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    EXPECT_EQ(out.constraint_checks, 11);
    EXPECT_EQ(violation(out, "outer tracks"), nullptr) << messages.joined();
    EXPECT_EQ(violation(out, "bump bounded[a1]"), nullptr);
    const constraint_violation* v = violation(out, "doubled small");
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(v->first_time, 6); // 2 x 6 > 10
    EXPECT_EQ(v->count, 5);
    v = violation(out, "no shock");
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(v->first_time, 3);
    EXPECT_EQ(v->count, 8);
    v = violation(out, "bump bounded[a2]");
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(v->first_time, 5); // 5 x 5 > 20
    EXPECT_EQ(v->count, 6);
    EXPECT_EQ(out.violations.size(), 3u);
    // The test inputs have no slot in the saved values.
    EXPECT_EQ(get_symbol(b.symbols(), doubled).slot, -1);
    EXPECT_EQ(out.value_slots, get_header_word(b.symbols(), mh_level_slots) +
                                   get_header_word(b.symbols(), mh_other_slots));

    // An ordinary run neither computes nor checks them.
    run_kind = rk_ordinary;
    sim_output plain;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &plain), sim_done);
    EXPECT_EQ(plain.constraint_checks, 0);
    EXPECT_TRUE(plain.violations.empty());
    EXPECT_EQ(plain.value_slots, out.value_slots);
    EXPECT_EQ(plain.rows, out.rows);
}

// A test input that cannot be computed (and test inputs in a loop) stop a
// behaviour test, but an ordinary run never evaluates or orders them.
TEST_F(TestInputs, OrdinaryRunsLeaveTestInputsAlone) {
    model_builder b("tests");
    b.control(0, 4, 1, 1);
    b.level("Stock", "1", "0");
    symbol_id broken = b.aux("broken", "1 / (Stock - Stock)");
    symbol_id holds = b.aux("broken holds", "broken > 0");
    ASSERT_TRUE(b.finish()) << messages.joined();
    retype(b, broken, st_test_input);
    retype(b, holds, st_constraint);

    sim_output plain;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &plain), sim_done) << messages.joined();
    EXPECT_EQ(plain.times.size(), 5u);

    sim_options test;
    test.check_constraints = true;
    sim_output out;
    EXPECT_EQ(simulate_model(b.symbols(), test, &out), sim_error_saved);
    EXPECT_NE(out.error.find("Floating point error computing broken"), std::string::npos)
        << out.error;
    // A program ordered without its test inputs cannot check its constraints.
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    EXPECT_TRUE(p.test_dynamic_order.empty());
    sim_output unprepared;
    EXPECT_EQ(run_program(b.symbols(), p, test, &unprepared), sim_done);
    EXPECT_EQ(unprepared.constraint_checks, 0);
    EXPECT_TRUE(messages.contains("The test inputs were not prepared for this run"));

    model_builder l("tests");
    l.control(0, 4, 1, 1);
    l.level("Stock", "1", "0");
    symbol_id x = l.aux("loop x", "loop y + Stock");
    symbol_id y = l.aux("loop y", "loop x");
    symbol_id c = l.aux("loop holds", "loop x > 0");
    ASSERT_TRUE(l.finish()) << messages.joined();
    retype(l, x, st_test_input);
    retype(l, y, st_test_input);
    retype(l, c, st_constraint);
    EXPECT_EQ(simulate_model(l.symbols(), sim_options{}, nullptr), sim_done) << messages.joined();
    EXPECT_FALSE(messages.contains("Simultaneous"));
    EXPECT_EQ(simulate_model(l.symbols(), test, nullptr), sim_refused);
    EXPECT_TRUE(messages.contains("Simultaneous initial value equations: loop"))
        << messages.joined();
}

// Only test inputs and constraints may use a test input, and a test input may
// not keep state; the check names both variables.
TEST_F(TestInputs, TheCheckKeepsTestInputsToBehaviourTests) {
    model_builder b("tests");
    b.control(0, 4, 1, 1);
    b.level("Stock", "flow", "0");
    symbol_id probe = b.aux("probe", "Stock * 3");
    b.aux("flow", "probe + 1");
    symbol_id smoothed = b.aux("smoothed", "SMOOTH(Stock, 2)");
    symbol_id chained = b.aux("chained", "probe + 1");
    ASSERT_TRUE(b.finish()) << messages.joined();
    retype(b, probe, st_test_input);
    retype(b, smoothed, st_test_input);
    retype(b, chained, st_test_input);
    EXPECT_EQ(check_model(b.symbols()), 2) << messages.joined();
    EXPECT_TRUE(
        messages.contains("The equation for flow uses the test input probe, which has a value "
                          "only in behaviour tests"))
        << messages.joined();
    EXPECT_TRUE(messages.contains("The test input smoothed uses SMOOTH, which keeps state"))
        << messages.joined();
    EXPECT_FALSE(messages.contains("chained")) << messages.joined();
    EXPECT_EQ(simulate_model(b.symbols(), sim_options{}, nullptr), sim_refused);
}

} // namespace

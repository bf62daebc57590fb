// Behaviour tests: constraints checked at every step, violations reported.
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

int shown = 0;
void show(const sim_output&) {
    ++shown;
}

class Plausitest : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        shown = 0;
        set_plausitest_hook(&show);
    }
    void TearDown() override {
        set_plausitest_hook(nullptr);
        run_kind = rk_ordinary;
    }
    message_capture messages;
};

TEST_F(Plausitest, ViolatedConstraintsAreNamedWithTheirFirstTime) {
    model_builder b("tests");
    b.control(0, 10, 1, 1);
    b.range("r", {"a1", "a2"});
    b.constant_list("limit[r]", {100, 5});
    b.level("Stock", "1", "0");
    symbol_id never = b.aux("stock positive", "Stock >= 0");
    symbol_id below = b.aux("below limit[r]", "Stock <= limit[r]");
    ASSERT_TRUE(b.finish());
    retype(b, never, st_constraint);
    retype(b, below, st_constraint);
    sim_options o;
    o.check_constraints = true;
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
    EXPECT_EQ(out.constraint_checks, 11);
    ASSERT_EQ(out.violations.size(), 1u);
    EXPECT_EQ(out.violations[0].element, "below limit[a2]");
    EXPECT_DOUBLE_EQ(out.violations[0].first_time, 6);
    EXPECT_EQ(out.violations[0].count, 5);
    EXPECT_TRUE(messages.contains(
        "The constraint below limit[a2] does not hold from time 6 (5 of 11 checks)"))
        << messages.joined();
    EXPECT_EQ(shown, 1);
    // An ordinary run does not check them.
    sim_output plain;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &plain), sim_done);
    EXPECT_EQ(plain.constraint_checks, 0);
    // A Plausitest run does.
    run_kind = rk_plausitest;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &plain), sim_done);
    EXPECT_EQ(plain.violations.size(), 1u);
}

// An output run into again keeps nothing of the run before: the constraints
// are listed once, the violations counted afresh, and a run that checks
// nothing leaves no violations behind.
TEST_F(Plausitest, ARunIntoTheSameOutputStartsItsChecksAfresh) {
    model_builder b("again");
    b.control(0, 10, 1, 1);
    b.level("Stock", "1", "0");
    symbol_id positive = b.aux("stock positive", "Stock >= 0");
    symbol_id small = b.aux("stock small", "Stock <= 5");
    ASSERT_TRUE(b.finish());
    retype(b, positive, st_constraint);
    retype(b, small, st_constraint);
    sim_options o;
    o.check_constraints = true;
    sim_output out;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
        EXPECT_EQ(out.constraints, (std::vector<std::string>{"stock positive", "stock small"}))
            << round;
        EXPECT_EQ(out.constraint_checks, 11) << round;
        ASSERT_EQ(out.violations.size(), 1u) << round;
        EXPECT_EQ(out.violations[0].count, 5) << round; // times 6 to 10
    }
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
    EXPECT_TRUE(out.violations.empty());
    EXPECT_TRUE(out.constraints.empty());
    EXPECT_EQ(out.constraint_checks, 0);
}

} // namespace

// Equation ordering: the initial and dynamic passes and simultaneous equations.
#include <algorithm>

#include "model/check.h"
#include "model/order.h"
#include "tests/sim/engine_fixture.h"

namespace {

class Order : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    message_capture messages;

    // Compiles and orders; the result of order_program.
    int order(model_builder& b, sim_program& p) {
        EXPECT_TRUE(b.finish());
        EXPECT_EQ(check_model(b.symbols()), 0) << messages.joined();
        EXPECT_EQ(generate_code(b.symbols(), p), 1) << messages.joined();
        return order_program(b.symbols(), p);
    }
    // Position of the first unit of a variable (of a kind) in an order.
    static int pos(const sim_program& p, const std::vector<int>& order, symbol_id s,
                   int kind = uk_value) {
        for (std::size_t i = 0; i < order.size(); ++i) {
            const code_unit& u = p.units[static_cast<std::size_t>(order[i])];
            if (u.sym == s && u.kind == kind) return static_cast<int>(i);
        }
        return -1;
    }
};

TEST_F(Order, EachEquationFollowsWhatItUses) {
    model_builder b("chain");
    symbol_id c = b.aux("c", "b + 1");
    symbol_id a = b.aux("a", "Stock * 2");
    symbol_id bb = b.aux("b", "a + k");
    symbol_id k = b.constant("k", 3);
    symbol_id s = b.level("Stock", "c", "k * 10");
    sim_program p;
    ASSERT_EQ(order(b, p), 1);
    EXPECT_LT(pos(p, p.dynamic_order, a), pos(p, p.dynamic_order, bb));
    EXPECT_LT(pos(p, p.dynamic_order, bb), pos(p, p.dynamic_order, c));
    EXPECT_LT(pos(p, p.initial_order, k), pos(p, p.initial_order, s, uk_level_init));
    EXPECT_LT(pos(p, p.initial_order, s, uk_level_init), pos(p, p.initial_order, a));
    EXPECT_EQ(pos(p, p.dynamic_order, k), -1); // constants are not recomputed
    EXPECT_EQ(p.rate_order.size(), 1u);
}

TEST_F(Order, SimultaneousEquationsNameTheLoop) {
    model_builder b("loop");
    b.aux("first", "second + 1");
    b.aux("second", "third * 2");
    b.aux("third", "first - 1");
    b.aux("outside", "first");
    sim_program p;
    EXPECT_EQ(order(b, p), 0);
    EXPECT_TRUE(messages.contains("Simultaneous equations: ")) << messages.joined();
    EXPECT_TRUE(messages.contains("first -> ") && messages.contains("second -> ") &&
                messages.contains("third -> "))
        << messages.joined();
    EXPECT_FALSE(messages.contains("outside"));
}

TEST_F(Order, ALoopOfInitialValuesIsNamedAsSuch) {
    model_builder b("initial loop");
    b.level("Stock", "0", "start");
    b.initial("start", "Stock * 2");
    sim_program p;
    EXPECT_EQ(order(b, p), 0);
    EXPECT_TRUE(messages.contains("Simultaneous initial value equations: ")) << messages.joined();
}

TEST_F(Order, ASmoothingThatStartsFromItsInputLoopsInTheInitialPass) {
    model_builder b("feedback");
    b.aux("perceived", "SMOOTH(actual, 2)");
    b.aux("actual", "10 - perceived");
    sim_program p;
    EXPECT_EQ(order(b, p), 0);
    EXPECT_TRUE(messages.contains("Simultaneous initial value equations: ")) << messages.joined();
}

TEST_F(Order, LevelsAndSmoothingBreakFeedbackLoops) {
    model_builder b("feedback");
    b.aux("perceived", "SMOOTH INIT(actual, 2, 4)");
    b.aux("actual", "10 - perceived + Stock");
    b.level("Stock", "actual", "1");
    sim_program p;
    EXPECT_EQ(order(b, p), 1) << messages.joined();
    EXPECT_EQ(p.rate_order.size(), 2u); // the level and the smoothing state
}

TEST_F(Order, ElementsOfOneVariableMayDependOnEachOther) {
    model_builder b("elements");
    b.range("r", {"a1", "a2"});
    b.aux("x[a2]", "x[a1] + 1");
    b.aux("x[a1]", "5");
    sim_program p;
    ASSERT_EQ(order(b, p), 1) << messages.joined();
    sim_options o;
    sim_output out;
    ASSERT_EQ(run_program(b.symbols(), p, o, &out), sim_done);
    EXPECT_FLOAT_EQ(saved_value(out, 0, slot_of(b, "x") + 1), 6);
}

TEST_F(Order, DeepChainsStopAtTheRecursionGuard) {
    std::vector<order_node> nodes(300);
    for (int i = 1; i < 300; ++i) nodes[static_cast<std::size_t>(i)].deps = {i - 1};
    std::vector<int> out, loop;
    ASSERT_TRUE(order_nodes(nodes, out, &loop));
    EXPECT_EQ(out.front(), 0);
    EXPECT_EQ(out.back(), 299);
    // The chain walked from its end is 300 deep; a limit of 2 x 50 stops it.
    std::reverse(nodes.begin(), nodes.end());
    for (int i = 0; i < 300; ++i)
        nodes[static_cast<std::size_t>(i)].deps =
            i < 299 ? std::vector<int>{i + 1} : std::vector<int>{};
    int old = max_check_depth;
    max_check_depth = 2;
    EXPECT_FALSE(order_nodes(nodes, out, &loop));
    max_check_depth = old;
    EXPECT_TRUE(loop.empty());
    EXPECT_TRUE(messages.contains(too_much_recursion_text));
}

// A variable that reads itself is a loop of its own.
TEST_F(Order, AVariableReadingItselfIsALoop) {
    model_builder b("itself");
    b.aux("growth", "growth + 1");
    sim_program p;
    EXPECT_EQ(order(b, p), 0);
    EXPECT_TRUE(messages.contains("Simultaneous equations: growth -> growth")) << messages.joined();
}

// A loop reached from a variable outside it is named from where it closes,
// without that variable.
TEST_F(Order, ALoopEnteredFromOutsideIsNamedWithoutTheWayIn) {
    model_builder b("entered");
    b.aux("a lead", "first * 2");
    b.aux("first", "second + 1");
    b.aux("second", "third * 2");
    b.aux("third", "first - 1");
    sim_program p;
    EXPECT_EQ(order(b, p), 0);
    EXPECT_TRUE(messages.contains("Simultaneous equations: first -> second -> third -> first"))
        << messages.joined();
    EXPECT_FALSE(messages.contains("a lead")) << messages.joined();
}

// A reader of several elements waits for every unit that computes one of
// them, not only for the unit of the first element it reads.
TEST_F(Order, AReaderOfSeveralElementsWaitsForEachOfTheirUnits) {
    model_builder b("several");
    b.range("r", {"a1", "a2", "a3"});
    b.aux("ends", "x[a1] + x[a3]");
    b.aux("all", "SUM(x[r!])");
    b.aux("x[a3]", "Time + 7");
    b.aux("x[a2]", "Time + 1");
    b.aux("x[a1]", "Time + 5");
    sim_program p;
    ASSERT_EQ(order(b, p), 1) << messages.joined();
    sim_options o;
    sim_output out;
    ASSERT_EQ(run_program(b.symbols(), p, o, &out), sim_done);
    // At Time 0 and Time 1.
    EXPECT_FLOAT_EQ(saved_value(out, 0, slot_of(b, "ends")), 12);
    EXPECT_FLOAT_EQ(saved_value(out, 0, slot_of(b, "all")), 13);
    EXPECT_FLOAT_EQ(saved_value(out, 1, slot_of(b, "ends")), 14);
    EXPECT_FLOAT_EQ(saved_value(out, 1, slot_of(b, "all")), 16);
}

} // namespace

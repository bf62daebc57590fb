// The model check: every problem is refused with a message naming the variable.
#include <string>
#include <vector>

#include "model/check.h"
#include "model/eqtext.h"
#include "tests/sim/engine_fixture.h"

namespace {

class Check : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    message_capture messages;
};

TEST_F(Check, ASoundModelPassesAndClearsTheErrorFlag) {
    model_builder b("fine");
    b.range("region", {"north", "south"});
    b.constant_list("k[region]", {1, 2});
    b.level("S[region]", "k[region] * 2", "0");
    b.aux("total", "SUM(S[region!])");
    b.lookup("effect", {{0, 1}, {1, 2}});
    b.aux("e", "effect(total)");
    ASSERT_TRUE(b.finish());
    set_header_word(b.symbols(), mh_flags, mfl_has_errors);
    EXPECT_EQ(check_model(b.symbols()), 0) << messages.joined();
    EXPECT_EQ(get_header_word(b.symbols(), mh_flags) & mfl_has_errors, 0u);
}

TEST_F(Check, AnUndefinedVariableIsNamed) {
    model_builder b("undefined");
    add_symbol(b.symbols(), "missing input", st_aux);
    b.aux("uses it", "missing input * 2");
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(check_model(b.symbols()), 1);
    EXPECT_TRUE(messages.contains("missing input is not defined")) << messages.joined();
    EXPECT_NE(get_header_word(b.symbols(), mh_flags) & mfl_has_errors, 0u);
}

TEST_F(Check, EquationsMustFitTheirVariablesType) {
    model_builder b("types");
    symbol_id x = b.aux("x", "1 + 1");
    ASSERT_TRUE(b.finish());
    symbol_record r = get_symbol(b.symbols(), x);
    r.type = st_level;
    put_symbol(b.symbols(), x, r);
    EXPECT_GE(check_model(b.symbols()), 1);
    EXPECT_TRUE(messages.contains("The equation for x does not fit its type")) << messages.joined();
}

TEST_F(Check, ElementsMustBeDefinedExactlyOnce) {
    model_builder b("elements");
    b.range("region", {"north", "south", "east"});
    b.aux("x[north]", "1");
    b.aux("x[east]", "3");
    b.aux("y[region]", "1");
    b.aux("y[south]", "2");
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(check_model(b.symbols()), 2);
    EXPECT_TRUE(messages.contains("x[south] is not defined")) << messages.joined();
    EXPECT_TRUE(messages.contains("y[south] has more than one equation")) << messages.joined();
}

TEST_F(Check, RangesOnTheRightMustBeLoopsOfTheEquation) {
    model_builder b("subscripts");
    b.range("region", {"north", "south"});
    b.range("colour", {"red", "blue"});
    b.constant("y[colour]", 1);
    b.aux("x[region]", "y[colour]");
    b.aux("z", "y[colour]");
    b.aux("w", "y[red] + SUM(y[colour!])");
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(check_model(b.symbols()), 2) << messages.joined();
    EXPECT_TRUE(
        messages.contains("The range colour used with y is not a subscript of the equation for x"));
    EXPECT_TRUE(
        messages.contains("The range colour used with y is not a subscript of the equation for z"));
}

TEST_F(Check, ASubscriptedVariableNeedsItsSubscripts) {
    model_builder b("count");
    b.range("region", {"north", "south"});
    b.constant("y[region]", 1);
    b.aux("z", "y * 2");
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(check_model(b.symbols()), 1);
    EXPECT_TRUE(messages.contains("y needs 1 subscripts in the equation for z (has 0)"))
        << messages.joined();
}

TEST_F(Check, LookupsMustBeWellFormed) {
    model_builder b("lookups");
    b.lookup("bent", {{0, 0}, {2, 1}, {1, 2}});
    b.aux("x", "bent(Time)");
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(check_model(b.symbols()), 1);
    EXPECT_TRUE(messages.contains("The x values of the lookup bent do not increase (point 3)"))
        << messages.joined();
}

// The variables whose equations the error window was given, in order.
std::vector<std::string> equations_shown;
void note_equation(equation_record* e) {
    expr_node* lhs = node_child(eq_nodes(e));
    if (lhs && lhs->code == nc_subscripted) lhs = node_child(lhs);
    equations_shown.push_back(lhs ? sym_name(lhs->operand) : "?");
}

TEST_F(Check, OutsideSourcesTakeTheirNumbersAsWrittenAndTheErrorShowsTheEquation) {
    model_builder b("sources");
    b.constant("offset", 2);
    b.data("shifted", "GET KDF DATA(\"past\", \"x\", offset, 1)");
    b.data("signed", "GET KDF DATA(\"past\", \"x\", -1, (2))");
    b.data("fixed", "GET KDF CONSTANTS(\"past\", \"k\", 1 + 2)");
    ASSERT_TRUE(b.finish());
    equations_shown.clear();
    set_error_equation_hook(note_equation);
    EXPECT_EQ(check_model(b.symbols()), 2) << messages.joined();
    set_error_equation_hook(nullptr);
    EXPECT_TRUE(messages.contains("Expected a number for argument 3")) << messages.joined();
    EXPECT_EQ(equations_shown, (std::vector<std::string>{"shifted", "fixed"})) << messages.joined();
    // Without a writer nothing is shown, and a message without an equation
    // (an undefined variable) asks for none.
    add_symbol(b.symbols(), "lost", st_aux);
    equations_shown.clear();
    set_error_equation_hook(note_equation);
    check_model(b.symbols());
    set_error_equation_hook(nullptr);
    EXPECT_EQ(equations_shown.size(), 2u);
}

TEST_F(Check, DeepExpressionsStopAtTheRecursionGuard) {
    model_builder b("deep");
    std::string e = "1";
    for (int i = 0; i < 60; ++i) e = "(" + e + " + 1)";
    b.aux("deep", e.c_str());
    ASSERT_TRUE(b.finish());
    int old = max_check_depth;
    max_check_depth = 30;
    EXPECT_GE(check_model(b.symbols()), 1);
    max_check_depth = old;
    EXPECT_TRUE(messages.contains(too_much_recursion_text)) << messages.joined();
    // With the normal limit the same model is fine.
    EXPECT_EQ(check_model(b.symbols()), 0);
}

} // namespace

namespace {

TEST(CheckLookups, ALookupIsNotAValue) {
    init_vocabulary();
    message_capture messages;
    model_builder b("lookup value");
    b.lookup("curve", {{0, 0}, {1, 1}});
    b.aux("wrong", "curve + 1");
    b.aux("right", "curve(0.5) + LOOKUP EXTRAPOLATE(curve, 2)");
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(check_model(b.symbols()), 1);
    EXPECT_TRUE(messages.contains("The lookup curve is used as a value in the equation for wrong"))
        << messages.joined();
}

// A constant list holds one number for every element of all its ranges
// together: 2 by 3 elements take 6 numbers, not 3 nor 2.
TEST_F(Check, AConstantListOverTwoRangesNeedsANumberForEveryPair) {
    model_builder b("lists");
    b.range("side", {"left", "right"});
    b.range("row", {"r1", "r2", "r3"});
    b.constant_list("full[side, row]", {1, 2, 3, 4, 5, 6});
    b.constant_list("short[side, row]", {1, 2, 3});
    b.constant_list("shorter[side, row]", {1, 2});
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(check_model(b.symbols()), 2) << messages.joined();
    EXPECT_TRUE(messages.contains("The constant list of short has 3 values for 6 elements"))
        << messages.joined();
    EXPECT_TRUE(messages.contains("The constant list of shorter has 2 values for 6 elements"))
        << messages.joined();
    EXPECT_FALSE(messages.contains("The constant list of full")) << messages.joined();
}

// A level takes exactly two parts, its rate and its initial value: a
// damaged tree that gives it more is refused, not simulated.
TEST_F(Check, ALevelWithMoreThanTwoPartsIsRefused) {
    model_builder b("parts");
    b.constant_list("a", {1});
    b.constant_list("b", {2});
    b.constant_list("c", {3});
    symbol_id s = b.level("S", "a", "b + c");
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(check_model(b.symbols()), 0) << messages.joined();
    {
        model_lock_guard g(b.symbols(), 1);
        ASSERT_TRUE(g.ok());
        expr_node* rate = node_skip(eq_nodes(eq_at(sym(s)->eqn)));
        ASSERT_NE(rate, nullptr);
        expr_node* init = node_next(rate);
        ASSERT_NE(init, nullptr);
        ASSERT_EQ(node_next(init), nullptr);
        expr_node* first = node_child(init);
        ASSERT_NE(first, nullptr);
        // The initial value's operands follow it as further parts.
        init->next = static_cast<std::uint16_t>(first - init);
    }
    EXPECT_GE(check_model(b.symbols()), 1);
    EXPECT_TRUE(messages.contains("The level S needs a rate and an initial value"))
        << messages.joined();
}

} // namespace

// Every pair of neighbouring points is compared, the first pair and the last
// alike; equal x values are allowed (a step), a lookup without points or with
// a point that is not a number is refused.
TEST_F(Check, EachLookupPointIsCheckedFromTheFirstPairToTheLast) {
    const struct {
        std::vector<std::pair<float, float>> points;
        const char* said; // null: accepted
    } rows[] = {
        {{{1, 0}, {0, 1}, {2, 2}}, "do not increase (point 2)"},
        {{{0, 0}, {1, 1}, {0.5f, 2}}, "do not increase (point 3)"},
        {{{0, 0}, {1, 1}, {1, 2}, {3, 3}}, nullptr},
        {{{0, 0}, {NAN, 1}}, "has a point that is not a number"},
        {{{0, 0}, {1, INFINITY}}, "has a point that is not a number"},
        {{}, "has no points"},
    };
    for (const auto& r : rows) {
        message_capture m;
        model_builder b("points");
        b.lookup("shape", r.points);
        b.aux("x", "shape(Time)");
        ASSERT_TRUE(b.finish());
        EXPECT_EQ(check_model(b.symbols()), r.said ? 1 : 0) << m.joined();
        if (r.said) {
            EXPECT_TRUE(m.contains(std::string("lookup shape ") + r.said) ||
                        m.contains(std::string("The lookup shape ") + r.said))
                << r.said << ": " << m.joined();
        }
    }
}

namespace {

// An equation may define a part of a variable only with as many subscripts
// as the variable has; one too few is refused with the variable's name.
TEST_F(Check, ALeftHandSideWithTooFewSubscriptsIsRefused) {
    model_builder b("lhs");
    b.range("region", {"north", "south"});
    b.range("colour", {"red", "blue"});
    b.aux("x[region,colour]", "1");
    b.aux("y[region,colour]", "2");
    b.aux("y[north]", "3");
    ASSERT_TRUE(b.finish()) << messages.joined();
    EXPECT_EQ(check_model(b.symbols()), 1) << messages.joined();
    EXPECT_TRUE(
        messages.contains("The left-hand side of an equation for y has the wrong subscripts"))
        << messages.joined();
}

// A loop over a part of a range may read a variable over the whole range
// (each element of the part is one of the whole); the other way round the
// whole range's extra elements have nothing to read.
TEST_F(Check, ALoopOverASubrangeReadsTheWholeRange) {
    model_builder b("sub");
    b.range("region", {"north", "south", "east"});
    b.range("nordic", {"north"});
    b.constant_list("y[region]", {1, 2, 3});
    b.constant("w[nordic]", 4);
    b.aux("x[nordic]", "y[region] * 2");
    b.aux("z[region]", "w[nordic] * 2");
    ASSERT_TRUE(b.finish()) << messages.joined();
    EXPECT_EQ(check_model(b.symbols()), 1) << messages.joined();
    EXPECT_FALSE(messages.contains("used with y")) << messages.joined();
    EXPECT_TRUE(
        messages.contains("The range nordic used with w is not a subscript of the equation for z"))
        << messages.joined();
}

// A number too large for the model's floats is refused, as a NaN would be.
TEST_F(Check, ANumberBeyondTheFloatsRangeIsRefused) {
    model_builder b("huge");
    b.aux("huge", "1e39 * 2");
    b.aux("fine", "3.4e38 * 1");
    ASSERT_TRUE(b.finish()) << messages.joined();
    EXPECT_EQ(check_model(b.symbols()), 1) << messages.joined();
    EXPECT_TRUE(messages.contains("The equation for huge holds a number that is not finite"))
        << messages.joined();
    EXPECT_FALSE(messages.contains("The equation for fine")) << messages.joined();
}

// Test inputs have values only in behaviour tests: test inputs and
// constraints may read them, an auxiliary may not.
TEST_F(Check, OnlyTestInputsAndConstraintsReadATestInput) {
    model_builder b("inputs");
    b.level("Stock", "1", "0");
    symbol_id shock = b.aux("shock", "STEP(100, 3)");
    symbol_id twice = b.aux("twice", "shock * 2");
    symbol_id calm = b.aux("calm", "shock = 0");
    b.aux("reads it", "shock + Stock");
    ASSERT_TRUE(b.finish()) << messages.joined();
    for (symbol_id s : {shock, twice}) retype(b, s, st_test_input);
    retype(b, calm, st_constraint);
    EXPECT_EQ(check_model(b.symbols()), 1) << messages.joined();
    EXPECT_TRUE(messages.contains("The equation for reads it uses the test input shock"))
        << messages.joined();
    EXPECT_FALSE(messages.contains("The equation for calm")) << messages.joined();
    EXPECT_FALSE(messages.contains("The equation for twice")) << messages.joined();
}

} // namespace

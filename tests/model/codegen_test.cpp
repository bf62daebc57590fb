// Code generation: the eq_code layout of docs/formats/eq-code.md.
#include <algorithm>

#include "model/check.h"
#include "model/order.h"
#include "tests/sim/engine_fixture.h"

namespace {

class Codegen : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    message_capture messages;

    const code_unit* unit_of(const sim_program& p, symbol_id s, int kind = uk_value) {
        for (const auto& u : p.units)
            if (u.sym == s && u.kind == kind) return &u;
        return nullptr;
    }
};

// The words of a unit's opcode stream, from its start to the ending 0.
std::vector<std::uint32_t> ops_of(const code_unit& u) {
    std::uint32_t loops = u.code[1];
    std::uint32_t start = u.code[2 + loops + 4];
    return std::vector<std::uint32_t>(u.code.begin() + start, u.code.end());
}

TEST_F(Codegen, AScalarEquationIsPostfixNodeCodesEndedByZero) {
    model_builder b("scalar");
    b.constant("b", 2);
    b.constant("c", 3);
    symbol_id a = b.aux("a", "b * 2 + c");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1) << messages.joined();
    const code_unit* u = unit_of(p, a);
    ASSERT_NE(u, nullptr);
    std::uint32_t sb = static_cast<std::uint32_t>(slot_of(b, "b"));
    std::uint32_t sc = static_cast<std::uint32_t>(slot_of(b, "c"));
    std::uint32_t sa = static_cast<std::uint32_t>(slot_of(b, "a"));
    // Header: one lane, no loops, target value_array at a's slot.
    EXPECT_EQ(u->code[0], 1u);
    EXPECT_EQ(u->code[1], 0u);
    EXPECT_EQ(u->code[2], 0u); // value array
    EXPECT_EQ(u->code[3], std::uint32_t{addr_strided});
    EXPECT_EQ(u->code[4], sa);
    std::vector<std::uint32_t> expect = {
        nc_ref, addr_strided, sb, 0, nc_number, float_bits(2), nc_mul,
        nc_ref, addr_strided, sc, 0, nc_add,    op_end};
    EXPECT_EQ(ops_of(*u), expect);
}

TEST_F(Codegen, SubscriptedEquationsCarryTheirLoopsAndAddresses) {
    model_builder b("arrays");
    b.range("row", {"r1", "r2"});
    b.range("col", {"c1", "c2", "c3"});
    b.constant("y[col, row]", 1);
    symbol_id x = b.aux("x[row, col]", "y[col, row] + y[c2, row]");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1) << messages.joined();
    const code_unit* u = unit_of(p, x);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->code[0], 6u); // lanes
    EXPECT_EQ(u->code[1], 2u); // loops
    EXPECT_EQ(u->code[2], 2u); // row
    EXPECT_EQ(u->code[3], 3u); // col
    // The target is x's own six slots in order.
    EXPECT_EQ(u->code[5], std::uint32_t{addr_strided});
    EXPECT_EQ(u->code[7], 1u);
    std::vector<std::uint32_t> ops = ops_of(*u);
    // y[col,row] transposed: a table of offsets (lane -> col*2 + row).
    ASSERT_EQ(ops[0], std::uint32_t{nc_ref});
    ASSERT_EQ(ops[1], std::uint32_t{addr_table});
    std::uint32_t ys = static_cast<std::uint32_t>(slot_of(b, "y"));
    EXPECT_EQ(ops[2], ys);
    const std::uint32_t* table = u->code.data() + ops[3];
    std::vector<std::uint32_t> offsets(table, table + 6);
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0, 2, 4, 1, 3, 5}));
    // y[c2,row]: a line with stride 1 from y's c2 row.
    EXPECT_EQ(ops[4], std::uint32_t{nc_ref});
    EXPECT_EQ(ops[5], std::uint32_t{addr_table}); // 2,3,2,3,... repeats: not a line
    EXPECT_EQ(ops.back(), std::uint32_t{op_end});
}

TEST_F(Codegen, PipelineDelaysAreCountedInTheModelHeader) {
    model_builder b("pipes");
    b.range("r", {"a1", "a2", "a3"});
    b.aux("late[r]", "DELAY FIXED(Time, 2, 0)");
    b.aux("once", "DELAY FIXED(Time, 1, 0)");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    EXPECT_EQ(p.delay_objects, 4u);
    EXPECT_EQ(get_header_word(b.symbols(), mh_delay_objects), 4u);
    // Each pipeline also gets a rate unit, evaluated with the rates.
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    EXPECT_EQ(p.rate_order.size(), 2u);
}

// Each smooth or delay keeps one hidden stage per order an element: the
// third-order ones three, the first-order ones one, DELAY N its order.
TEST_F(Codegen, HiddenStagesFollowTheOrderOfEachSmoothAndDelay) {
    auto stages = [&](const char* expr, bool over_range) {
        model_builder b("stages");
        b.range("r", {"a1", "a2"});
        b.constant("n", 4);
        b.aux(over_range ? "x[r]" : "x", expr);
        EXPECT_TRUE(b.finish());
        sim_program p;
        EXPECT_EQ(generate_code(b.symbols(), p), 1) << expr << messages.joined();
        return p.hidden_states;
    };
    EXPECT_EQ(stages("SMOOTH(Time, 2)", false), 1u);
    EXPECT_EQ(stages("SMOOTH3(Time, 2)", false), 3u);
    EXPECT_EQ(stages("SMOOTH3 INIT(Time, 2, 0)", false), 3u);
    EXPECT_EQ(stages("DELAY1(Time, 2)", false), 1u);
    EXPECT_EQ(stages("DELAY3(Time, 2)", false), 3u);
    EXPECT_EQ(stages("DELAY3(Time, 2)", true), 6u);
    EXPECT_EQ(stages("DELAY N(Time, 2, 0, n)", false), 4u);
    EXPECT_EQ(stages("SMOOTH N(Time, 2, 0, n)", true), 8u);
}

TEST_F(Codegen, TheOrderOfADelayMustBeAConstant) {
    model_builder b("order");
    b.constant("n", 3);
    b.aux("fine", "DELAY N(Time, 6, 0, n)");
    b.aux("bad", "DELAY N(Time, 6, 0, Time)");
    ASSERT_TRUE(b.finish());
    sim_program p;
    EXPECT_EQ(generate_code(b.symbols(), p), 0);
    EXPECT_TRUE(
        messages.contains("The order of DELAY N in the equation for bad must be a constant"))
        << messages.joined();
    EXPECT_FALSE(messages.contains("for fine"));
}

// The order may be any constant from 1 to 100.
TEST_F(Codegen, TheOrderOfADelayIsFromOneToAHundred) {
    for (int order : {0, 1, 100, 101}) {
        SCOPED_TRACE(order);
        message_capture messages;
        model_builder b("order");
        b.constant("n", static_cast<float>(order));
        b.aux("y", "DELAY N(Time, 6, 0, n)");
        ASSERT_TRUE(b.finish());
        sim_program p;
        const bool fits = order >= 1 && order <= 100;
        EXPECT_EQ(generate_code(b.symbols(), p), fits ? 1 : 0);
        EXPECT_EQ(messages.contains("The order of DELAY N in the equation for y must be a "
                                    "constant from 1 to 100"),
                  !fits)
            << messages.joined();
        if (fits) {
            EXPECT_EQ(p.hidden_states, static_cast<std::uint32_t>(order));
        }
    }
}

// A list of constants gives one number an element: a list longer or shorter
// than the variable (a damaged model) is refused, not cut or read past.
TEST_F(Codegen, AConstantListMustFitItsVariable) {
    for (std::size_t n : {2u, 3u, 4u}) {
        SCOPED_TRACE(n);
        message_capture messages;
        model_builder b("list");
        b.range("r", {"a1", "a2", "a3"});
        b.constant_list("x[r]", std::vector<float>(n, 1.5f));
        ASSERT_TRUE(b.finish());
        sim_program p;
        EXPECT_EQ(generate_code(b.symbols(), p), n == 3 ? 1 : 0);
        EXPECT_EQ(messages.contains("The constant list of x does not fit"), n != 3)
            << messages.joined();
    }
}

// Elements are named by their position in each dimension, the last varying
// fastest: offset 4 of a 2 x 3 variable is its second row's second column.
TEST_F(Codegen, ElementTextsNameEachDimensionsElement) {
    model_builder b("names");
    b.range("row", {"r1", "r2"});
    b.range("col", {"c1", "c2", "c3"});
    symbol_id x = b.constant("x[row,col]", 1);
    symbol_id v = b.constant("v[col]", 1);
    symbol_id k = b.constant("k", 1);
    ASSERT_TRUE(b.finish());
    model_lock_guard g(b.symbols(), 0);
    ASSERT_TRUE(g.ok());
    const char* want[] = {"x[r1,c1]", "x[r1,c2]", "x[r1,c3]", "x[r2,c1]", "x[r2,c2]", "x[r2,c3]"};
    for (std::uint32_t off = 0; off < 6; ++off) EXPECT_EQ(element_text(x, off), want[off]);
    EXPECT_EQ(element_text(v, 2), "v[c3]");
    EXPECT_EQ(element_text(k, 0), "k");
}

// A delay's order written as a number is taken to the nearest whole number.
TEST_F(Codegen, AWrittenOrderIsRoundedToTheNearestWholeNumber) {
    auto stages = [&](const char* expr) {
        model_builder b("rounded");
        b.aux("x", expr);
        EXPECT_TRUE(b.finish());
        sim_program p;
        EXPECT_EQ(generate_code(b.symbols(), p), 1) << expr << messages.joined();
        return p.hidden_states;
    };
    EXPECT_EQ(stages("DELAY N(Time, 2, 0, 2.6)"), 3u);
    EXPECT_EQ(stages("DELAY N(Time, 2, 0, 3.4)"), 3u);
    EXPECT_EQ(stages("SMOOTH N(Time, 2, 0, (4.5))"), 5u);
}

// The leading texts of an outside source: quoted, or the text of a string
// variable.
TEST_F(Codegen, TheTextsOfAnOutsideSourceMayBeStringVariables) {
    model_builder b("sources");
    b.string_var("source", "past runs");
    b.data("shifted", "GET KDF DATA(source, \"x\", 0, 1)");
    ASSERT_TRUE(b.finish()) << messages.joined();
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1) << messages.joined();
    EXPECT_EQ(p.texts, (std::vector<std::string>{"past runs", "x"}));
}

// A lookup element without points is named with its subscripts.
TEST_F(Codegen, ALookupElementWithoutPointsIsNamed) {
    model_builder b("gaps");
    b.range("r", {"a1", "a2"});
    b.lookup("shape[a1]", {{0, 0}, {1, 1}});
    b.aux("y[r]", "shape[r](Time)");
    ASSERT_TRUE(b.finish()) << messages.joined();
    sim_program p;
    EXPECT_EQ(generate_code(b.symbols(), p), 0);
    EXPECT_TRUE(messages.contains("The lookup shape[a2] has no points")) << messages.joined();
}

// A sum over two ranges reads every pair of their elements once (sizes with
// a common factor, where a wrong lane split repeats pairs).
TEST_F(Codegen, ASumOverTwoRangesReadsEveryPair) {
    model_builder b("sum2");
    b.range("row", {"r1", "r2"});
    b.range("col", {"c1", "c2", "c3", "c4"});
    b.constant("y[row, col]", 1);
    symbol_id t = b.aux("total", "SUM(y[row!, col!])");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1) << messages.joined();
    const code_unit* u = unit_of(p, t);
    ASSERT_NE(u, nullptr);
    std::vector<std::uint32_t> ops = ops_of(*u);
    const std::uint32_t ys = static_cast<std::uint32_t>(slot_of(b, "y"));
    // The reference to y: its eight elements, whichever address form it takes.
    auto it = std::find(ops.begin(), ops.end(), std::uint32_t{nc_ref});
    ASSERT_NE(it, ops.end());
    const std::size_t at = static_cast<std::size_t>(it - ops.begin());
    ASSERT_LT(at + 3, ops.size());
    std::vector<std::uint32_t> slots;
    if (ops[at + 1] == addr_table) {
        const std::uint32_t* table = u->code.data() + ops[at + 3];
        for (int k = 0; k < 8; ++k) slots.push_back(ops[at + 2] + table[k]);
    } else {
        ASSERT_EQ(ops[at + 1], std::uint32_t{addr_strided});
        for (std::uint32_t k = 0; k < 8; ++k) slots.push_back(ops[at + 2] + k * ops[at + 3]);
    }
    std::sort(slots.begin(), slots.end());
    std::vector<std::uint32_t> want;
    for (std::uint32_t k = 0; k < 8; ++k) want.push_back(ys + k);
    EXPECT_EQ(slots, want);
}

} // namespace

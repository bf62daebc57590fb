// Equations and trees as a user reads them: a constant list of several rows
// written back with its row marks, subtraction and division on the right
// kept in parentheses, and a cause or user named several times by one
// equation listed once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/model/text_fixture.h"

namespace {

class TextForms : public TextTest {
protected:
    std::string equation_text(const char* name) {
        equation_record* e = first_equation(find_symbol(name));
        if (!e) return "<none>";
        begin_report();
        write_expr(e, 0);
        return report_text();
    }
    static std::vector<std::string> names(const symbol_id* ids, int n) {
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i) out.emplace_back(safe_sym_name(ids[i]));
        return out;
    }
    static std::vector<std::string> children(symbol_id of, bool uses) {
        clear_var_flag(sf_mark_10 | sf_mark_04);
        sym(of)->flags |= sf_mark_10;
        tree_node* root = new_tree_node(of);
        uses ? uses_tree(root, 1) : cause_tree(root, 1);
        std::vector<std::string> out;
        for (const tree_node* c = root->child; c; c = c->next)
            out.emplace_back(std::string(safe_sym_name(c->symbol)) + (c->repeated ? "(r)" : ""));
        return out;
    }
};

TEST_F(TextForms, AConstantListOfRowsIsWrittenWithItsRowMarks) {
    model_builder b("rows");
    b.range("r", {"r1", "r2"});
    b.range("c", {"c1", "c2"});
    ASSERT_TRUE(b.finish());
    handle s = b.symbols();
    // m[r, c] = 1,2; 3,4 (a row mark between the rows).
    symbol_id m = add_symbol(s, "m", st_constant);
    std::vector<expr_node> nodes = {
        {nc_constant_eq, 0, 1},           {nc_ref, 1, m},
        {nc_number_list, 0, 1},           {nc_number, 1, float_bits(1)},
        {nc_number, 1, float_bits(2)},    {nc_row_break, 1, 0},
        {nc_number, 1, float_bits(3.5f)}, {nc_number, 0, float_bits(-4)}};
    add_equation(s, m, nodes.data(), static_cast<std::uint32_t>(nodes.size()), 0, 1);
    model_pair p = b.release();
    close_model(p.header, p.symbols);
    ASSERT_EQ(lock_model(1), 1);
    EXPECT_EQ(equation_text("m"), "m = 1,2;3.5,-4");
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(TextForms, TheRightOperandOfMinusAndDivideKeepsItsParentheses) {
    model_builder b("ops");
    b.constant("a", 1);
    b.constant("b", 2);
    b.constant("c", 3);
    b.aux("d1", "a - (b - c)");
    b.aux("d2", "a / (b / c)");
    b.aux("d3", "a - (b + c)");
    b.aux("d5", "a / (b * c)");
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    EXPECT_EQ(equation_text("d1"), "d1 = a - (b - c)");
    EXPECT_EQ(equation_text("d2"), "d2 = a / (b / c)");
    EXPECT_EQ(equation_text("d3"), "d3 = a - (b + c)");
    EXPECT_EQ(equation_text("d5"), "d5 = a / (b * c)");
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(TextForms, ACauseOrUserNamedSeveralTimesIsListedOnce) {
    model_builder b("repeats");
    b.constant("k", 2);
    b.aux("a", "k + 1");
    b.aux("x", "a * a + a / k + k");
    b.aux("y", "x + x");
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    const symbol_id x = find_symbol("x"), a = find_symbol("a"), k = find_symbol("k");
    symbol_id out[8] = {};
    EXPECT_EQ(names(out, symbol_causes(x, out, 8)), (std::vector<std::string>{"a", "k"}));
    EXPECT_EQ(names(out, symbol_uses(a, out, 8)), (std::vector<std::string>{"x"}));
    EXPECT_EQ(symbol_uses(k, out, 8), 2) << "a and x";
    EXPECT_EQ(children(x, false), (std::vector<std::string>{"a", "k"}));
    EXPECT_EQ(children(x, true), (std::vector<std::string>{"y"}));
    EXPECT_EQ(children(find_symbol("y"), false), (std::vector<std::string>{"x"}));
    EXPECT_EQ(unlock_model(1), 1);
}

// A list of users is cut at the caller's room and never written past it.
TEST_F(TextForms, UsersAreListedUpToTheRoomGiven) {
    model_builder b("many users");
    b.constant("k", 2);
    b.aux("a", "k + 1");
    b.aux("b", "k * 2");
    b.aux("c", "k - 3");
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    const symbol_id k = find_symbol("k");
    symbol_id out[4] = {0, 0, 0, 0x7777};
    EXPECT_EQ(symbol_uses(k, out, 3), 3);
    EXPECT_EQ(names(out, 3), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(symbol_uses(k, out, 2), 2);
    out[2] = 0x7777;
    EXPECT_EQ(symbol_uses(k, out, 2), 2);
    EXPECT_EQ(out[2], 0x7777u) << "written past the room given";
    EXPECT_EQ(symbol_uses(k, out, 0), 0);
    EXPECT_EQ(unlock_model(1), 1);
}

} // namespace

// Equations and names as text: every node kind written back in model text,
// stored token texts, element and slot names, the equation of one element and
// the cause elements it names, and corrupt trees that must not crash.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/model/text_fixture.h"

namespace {

class EqText : public TextTest {
protected:
    // A model that uses every kind of node.
    void build_rich(model_builder& b) {
        b.range("region", {"north", "south"});
        b.range("r2", {"p", "q", "r"});
        b.constant("k", 0.5f, "1/Year");
        b.constant("c", 3);
        b.constant("d", 4);
        b.constant_list("cl[r2]", {1, 2.5f, 3});
        b.lookup("lk", {{0, 0}, {1, 2}});
        b.level("Stock[region]", "inflow[region] - outflow", "100");
        b.aux("inflow[region]", "Stock[region] * k");
        b.aux("outflow", "1.5e-05 * 1234567");
        b.aux("e1", "-a + +b * (c - d) / a ^ 2 ^ b");
        b.aux("e2", "IF THEN ELSE(a > b :AND: :NOT: c <= d :OR: a <> b, 1, a - -2)");
        b.aux("e3", "SMOOTH INIT(a, 2, 3) + SUM(z[r2!]) + lk(Time)");
        b.aux("e4", "MESSAGE(\"hello\", k)");
        b.aux("a", "1");
        b.aux("b", "a = 2");
        b.constant("z[r2]", 1);
        b.string_var("txt", "hello world");
        b.function_of("fo", {"a", "b"});
        b.data("dv");
    }

    std::string equation_text(const char* name) {
        symbol_id id = find_symbol(name);
        equation_record* e = first_equation(id);
        if (!e) return "<none>";
        begin_report();
        write_expr(e, 0);
        return report_text();
    }
};

TEST_F(EqText, WriteExprGivesModelTextForEveryNodeKind) {
    model_builder b("rich");
    build_rich(b);
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    EXPECT_EQ(equation_text("Stock"), "Stock[region] = INTEG(inflow[region] - outflow, 100)");
    EXPECT_EQ(equation_text("inflow"), "inflow[region] = Stock[region] * k");
    EXPECT_EQ(equation_text("outflow"), "outflow = 1.5e-05 * 1234567");
    EXPECT_EQ(equation_text("e1"), "e1 = -a + +b * (c - d) / a ^ 2 ^ b");
    EXPECT_EQ(equation_text("e2"),
              "e2 = IF THEN ELSE(a > b :AND: :NOT: c <= d :OR: a <> b, 1, a - -2)");
    EXPECT_EQ(equation_text("e3"), "e3 = SMOOTH INIT(a, 2, 3) + SUM(z[r2!]) + lk(Time)");
    EXPECT_EQ(equation_text("e4"), "e4 = MESSAGE(\"hello\", k)");
    EXPECT_EQ(equation_text("b"), "b = a = 2");
    EXPECT_EQ(equation_text("k"), "k = 0.5");
    EXPECT_EQ(equation_text("cl"), "cl[r2] = 1,2.5,3");
    EXPECT_EQ(equation_text("lk"), "lk((0,0),(1,2))");
    EXPECT_EQ(equation_text("region"), "region: north, south");
    EXPECT_EQ(equation_text("txt"), "txt = \"hello world\"");
    EXPECT_EQ(equation_text("fo"), "fo = A FUNCTION OF(a, b)");
    EXPECT_EQ(equation_text("dv"), "dv");

    // The right-hand side alone, and an inner node.
    begin_report();
    write_equation_rhs(first_equation(find_symbol("Stock")));
    EXPECT_EQ(report_text(), "INTEG(inflow[region] - outflow, 100)");
    begin_report();
    write_expr(first_equation(find_symbol("inflow")), 4);
    EXPECT_EQ(report_text(), "Stock[region] * k");
    EXPECT_EQ(unlock_model(1), 1);
    EXPECT_EQ(report_counts[10], 0);
}

TEST_F(EqText, GeneratedTreesGetTheParenthesesTheyNeed) {
    model_builder b("prec");
    symbol_id a = b.constant("a", 1), bb = b.constant("b", 2), c = b.constant("c", 3);
    ASSERT_TRUE(b.finish());
    handle s = b.symbols();
    auto make = [&](const char* name, std::vector<expr_node> body) {
        symbol_id m = add_symbol(s, name, st_aux);
        std::vector<expr_node> nodes = {{nc_aux_eq, 0, 1}, {nc_ref, 1, m}};
        nodes.insert(nodes.end(), body.begin(), body.end());
        add_equation(s, m, nodes.data(), static_cast<std::uint32_t>(nodes.size()), 0, 1);
        return m;
    };
    // (a + b) * c, a - (b - c), a / (b * c), (a ^ b) ^ c, -(a + b), a - (-2) and
    // (-2) ^ 2 with -2 a number.
    make("m1", {{nc_mul, 0, 1}, {nc_add, 3, 1}, {nc_ref, 1, a}, {nc_ref, 0, bb}, {nc_ref, 0, c}});
    make("m2", {{nc_sub, 0, 1}, {nc_ref, 1, a}, {nc_sub, 0, 1}, {nc_ref, 1, bb}, {nc_ref, 0, c}});
    make("m3", {{nc_div, 0, 1}, {nc_ref, 1, a}, {nc_mul, 0, 1}, {nc_ref, 1, bb}, {nc_ref, 0, c}});
    make("m4", {{nc_pow, 0, 1}, {nc_pow, 3, 1}, {nc_ref, 1, a}, {nc_ref, 0, bb}, {nc_ref, 0, c}});
    make("m5", {{nc_neg, 0, 1}, {nc_add, 0, 1}, {nc_ref, 1, a}, {nc_ref, 0, bb}});
    make("m6", {{nc_sub, 0, 1}, {nc_ref, 1, a}, {nc_number, 0, float_bits(-2)}});
    make("m7", {{nc_pow, 0, 1}, {nc_number, 1, float_bits(-2)}, {nc_number, 0, float_bits(2)}});
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    ASSERT_EQ(lock_model(1), 1);
    EXPECT_EQ(equation_text("m1"), "m1 = (a + b) * c");
    EXPECT_EQ(equation_text("m2"), "m2 = a - (b - c)");
    EXPECT_EQ(equation_text("m3"), "m3 = a / (b * c)");
    EXPECT_EQ(equation_text("m4"), "m4 = (a ^ b) ^ c");
    EXPECT_EQ(equation_text("m5"), "m5 = -(a + b)");
    EXPECT_EQ(equation_text("m6"), "m6 = a - -2");
    EXPECT_EQ(equation_text("m7"), "m7 = (-2) ^ 2");
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(EqText, CorruptTreesAndEquationsAreWrittenWithoutCrashing) {
    model_builder b("corrupt");
    symbol_id a = b.constant("a", 1);
    ASSERT_TRUE(b.finish());
    handle s = b.symbols();
    // A child index far outside the equation, a sibling link outside it, and
    // a bad symbol id.
    symbol_id bad = add_symbol(s, "bad", st_aux);
    std::vector<expr_node> nodes = {
        {nc_aux_eq, 0, 1}, {nc_ref, 1, bad}, {nc_mul, 40, 5000}, {nc_ref, 0, 0xFFFFFFF0u}};
    add_equation(s, bad, nodes.data(), 4, 0, 1);
    // 3000 nested minus signs: deep, but written without exhausting the stack.
    symbol_id deep = add_symbol(s, "deep", st_aux);
    std::vector<expr_node> chain = {{nc_aux_eq, 0, 1}, {nc_ref, 1, deep}};
    for (int i = 0; i < 3000; ++i) chain.push_back({nc_neg, 0, 1});
    chain.push_back({nc_ref, 0, a});
    add_equation(s, deep, chain.data(), static_cast<std::uint32_t>(chain.size()), 0, 2);
    // An equation chain pointing outside the block, and a text whose length
    // runs past the equation.
    symbol_id lost = add_symbol(s, "lost", st_aux);
    symbol_record r = get_symbol(s, lost);
    r.eqn = 0x7FFFFFF0u;
    r.dims = 0xFFF0; // no dims record there
    put_symbol(s, lost, r);
    symbol_id lit = add_symbol(s, "lit", st_string);
    std::vector<expr_node> ln = {{nc_string_eq, 0, 1},
                                 {nc_ref, 1, lit},
                                 {nc_literal, 0, 1000},
                                 {0x6968, 0x6968, 0x69686968}};
    add_equation(s, lit, ln.data(), 4, 0, 3);
    model_pair m = b.release();
    close_model(m.header, m.symbols);

    ASSERT_EQ(lock_model(1), 1);
    EXPECT_EQ(equation_text("bad"), "bad = ? * ?");
    std::string d = equation_text("deep");
    EXPECT_NE(d.find("..."), std::string::npos);
    EXPECT_LT(d.size(), 2000u);
    EXPECT_EQ(equation_text("lost"), "<none>");
    EXPECT_EQ(equation_text("lit").substr(0, 9), "lit = \"hi");
    EXPECT_STREQ(element_name(lost, 0), "lost[?]");
    EXPECT_EQ(print_var_equation("lost", 1, 1), 0);
    EXPECT_EQ(print_var_equation("lost", -1, -1), -1);
    EXPECT_STREQ(varformat(0x7FFFFFF0u, 0), "error");
    EXPECT_STREQ(varformat(a + 1, 0), "error"); // not a symbol boundary
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(EqText, TokensAreWrittenAsTypedAndTheirNamesCollected) {
    model_builder b("tokens");
    symbol_id br = b.constant("Birth Rate", 0.1f, "1/Year");
    symbol_id pop = b.level("Population", "births", "1000", "people");
    symbol_id births = b.aux("births", "Population * Birth Rate", "people/Year");
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    equation_record* e = first_equation(births);
    ASSERT_NE(e, nullptr);
    begin_report(0, true);
    write_tokens(e->tokens);
    EXPECT_EQ(report_text(), "births = Population * Birth Rate");
    const auto& got = doc_collected_names();
    EXPECT_EQ(std::set<std::uint32_t>(got.begin(), got.end()),
              (std::set<std::uint32_t>{births, pop, br}));
    // A token text cut in the middle of a symbol escape, and a bad cell.
    begin_report();
    handle tb = model_hdr->w[mh_tokens];
    EXPECT_NE(tb, 0u);
    token_text* t = reinterpret_cast<token_text*>(model_tokens + 4 * e->tokens);
    std::uint32_t saved = t->bytes;
    t->bytes = 12; // "births = Pop" ends inside the escape of Population
    write_tokens(e->tokens);
    t->bytes = 0x7FFFFFFF; // past the block: refused
    write_tokens(e->tokens);
    t->bytes = saved;
    write_tokens(0xFFFFFF00u);
    EXPECT_EQ(report_text(), "births = ");
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(EqText, NamesOfElementsAndSlotsAreOwnCopies) {
    model_builder b("names");
    b.range("region", {"north", "south"});
    b.range("r2", {"a", "b", "c"});
    symbol_id x = b.constant("x[region,r2]", 1);
    symbol_id stock = b.level("Stock[region]", "0", "1");
    symbol_id lk = b.lookup("lk", {{0, 1}, {2, 3}});
    symbol_id txt = b.string_var("txt", "t");
    symbol_id odd = b.constant("k", 1);
    make_current(b);
    ASSERT_EQ(lock_model(0), 1);
    EXPECT_STREQ(element_name(x, 0), "x[north,a]");
    EXPECT_STREQ(element_name(x, 4), "x[south,b]");
    EXPECT_STREQ(element_name(x, 6), "x[?]");
    EXPECT_STREQ(element_name(odd, 0), "k");
    const char* one = element_name(x, 1);
    const char* two = element_name(x, 5);
    EXPECT_STRNE(one, two); // two results in one call stay apart
    EXPECT_STREQ(one, "x[north,b]");
    EXPECT_STREQ(two, "x[south,c]");

    std::int32_t s = sym(stock)->slot;
    EXPECT_STREQ(offset_name(s + 1), "Stock[south]");
    EXPECT_STREQ(offset_name(0), "Time");
    EXPECT_STREQ(offset_name(-1), "Unknown Symbol");
    EXPECT_STREQ(offset_name(100000), "Unknown Symbol");
    EXPECT_STREQ(offset_name(sym(x)->slot + 5), "x[south,c]");
    EXPECT_STREQ(lookup_offset_name(sym(lk)->slot), "lk");
    EXPECT_STREQ(lookup_offset_name(7), "Unknown Symbol");
    EXPECT_STREQ(string_offset_name(sym(txt)->slot), "txt");
    EXPECT_STREQ(string_offset_name(3), "Unknown Symbol");
    EXPECT_EQ(unlock_model(0), 1);
    // The names need no lock from the caller.
    EXPECT_STREQ(element_name(x, 3), "x[south,a]");

    EXPECT_EQ(model_text_name("Birth Rate"), "Birth Rate");
    EXPECT_EQ(model_text_name("x/y ratio"), "\"x/y ratio\"");
    EXPECT_EQ(model_text_name("2nd"), "\"2nd\"");
    EXPECT_EQ(model_text_name("say \"hi\""), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(number_model_text(0.1f), "0.1");
    EXPECT_EQ(number_model_text(16777216.0f), "16777216");
    EXPECT_EQ(number_model_text(NA), ":NA:");
    EXPECT_STREQ(format_symbol_name("Stock", st_level, 1, 0), "<Stock>");
    EXPECT_STREQ(format_symbol_name(".Sector A", st_group, 0, 1), "SECTOR A");
}

TEST_F(EqText, PrintVarEquationFindsTheElementsEquation) {
    model_builder b("elements");
    b.range("region", {"north", "south"});
    b.constant("k", 2);
    b.level("Stock[region]", "flow[region]", "10");
    b.aux("flow[north]", "Stock[north] * k");
    b.aux("flow[south]", "Stock[south] * k * 2");
    make_current(b);
    EXPECT_EQ(print_var_equation("flow[north]", -1, -1), 0);
    EXPECT_EQ(print_var_equation("flow[south]", -1, -1), 1);
    EXPECT_EQ(print_var_equation("Stock[south]", -1, -1), 0);
    EXPECT_EQ(print_var_equation("flow[east]", -1, -1), -1);
    EXPECT_EQ(print_var_equation("nothing", -1, -1), -1);
    EXPECT_EQ(print_var_equation("flow", -1, -1), -1); // needs its subscript
    begin_report();
    EXPECT_EQ(print_var_equation("flow[south]", 1, 1), 1);
    EXPECT_EQ(report_text(), "Stock[south] * k * 2");
    begin_report();
    EXPECT_EQ(print_var_equation("flow[east]", 1, 1), 0);
    EXPECT_EQ(report_text(), "");
    EXPECT_EQ(model_lock_flag, -1); // it locked and unlocked for itself
}

TEST_F(EqText, PrintVarEquationListsTheCauseElements) {
    model_builder b("causes");
    b.range("region", {"north", "south"});
    b.range("r2", {"a", "b", "c"});
    b.constant("k", 2);
    b.constant("x[region,r2]", 1);
    b.constant("z[r2]", 1);
    b.constant("i0", 5);
    b.lookup("lk", {{0, 0}, {10, 1}});
    b.level("Stock[region]", "0", "1");
    b.aux("y[region]", "x[region, a] * k + SUM(z[r2!]) + lk(Time) + Stock[north]");
    b.aux("f", "k");
    b.level("S", "f", "i0");
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    auto causes = [&](const char* element, int sw1, int sw2) {
        clear_cause_element_list();
        begin_report(0, true);
        EXPECT_EQ(print_var_equation(element, sw1, sw2), 1);
        std::vector<std::string> names;
        for (tree_node* n = cause_element_list(); n; n = n->next)
            names.push_back(element_name(n->symbol, n->element));
        return names;
    };
    EXPECT_EQ(causes("y[south]", 1, 1),
              (std::vector<std::string>{"x[south,a]", "k", "z[a]", "z[b]", "z[c]", "lk", "Time",
                                        "Stock[north]"}));
    EXPECT_EQ(causes("y[north]", 1, 0), (std::vector<std::string>{"x[north,a]", "k", "z[a]", "z[b]",
                                                                  "z[c]", "Time", "Stock[north]"}));
    EXPECT_EQ(causes("S", 0, 1), (std::vector<std::string>{"f"}));
    EXPECT_EQ(causes("S", 1, 1), (std::vector<std::string>{"f", "i0"}));

    // The list sorted by slot, lookups last, the variable's own element left out.
    causes("y[south]", 1, 1);
    tree_node* own = new_tree_node(find_symbol("Stock"), 0);
    tree_node* sorted = sort_tree_list(cause_element_list(), own);
    std::vector<std::string> order;
    for (tree_node* n = sorted; n; n = n->next)
        order.push_back(element_name(n->symbol, n->element));
    ASSERT_EQ(order.size(), 7u);
    EXPECT_EQ(order.front(), "Time");
    EXPECT_EQ(order.back(), "lk");
    EXPECT_EQ(std::count(order.begin(), order.end(), "Stock[north]"), 0);

    // Not collecting: nothing is added.
    clear_cause_element_list();
    begin_report();
    EXPECT_EQ(print_var_equation("y[south]", 1, 1), 1);
    EXPECT_EQ(cause_element_list(), nullptr);
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(EqText, WrappedTextBreaksAtBlanksOrAfterOperators) {
    begin_report(20);
    write_wrapped(0, "alpha beta gamma delta epsilon", 1, 0);
    EXPECT_EQ(report_text(), "alpha beta gamma\n\tdelta\n\tepsilon");
    begin_report(20);
    write_wrapped(5, "aaaa+bbbb*cccc-dddd/eeee", 0, 1);
    std::string t = report_text();
    EXPECT_EQ(t.substr(0, t.find('\n')), "aaaa+bbbb*cccc-\\");
    begin_report(0);
    write_wrapped(50, "no width means no wrapping at all", 2, 0);
    EXPECT_EQ(report_text(), "no width means no wrapping at all");
    // doc_multiline goes through the registered writer.
    begin_report(12);
    doc_multiline("one two three\nfour", 0, 0);
    EXPECT_EQ(report_text(), "one two\nthree\nfour\n");
}

// A text that exactly fills the line from its start column stays on it; one
// character more breaks at the last blank.
TEST_F(EqText, WrappedTextThatExactlyFillsTheLineIsNotBroken) {
    begin_report(20);
    write_wrapped(0, "alpha beta gamma del", 1, 0); // 20 characters
    EXPECT_EQ(report_text(), "alpha beta gamma del");
    begin_report(20);
    write_wrapped(0, "alpha beta gamma delt", 1, 0);
    EXPECT_EQ(report_text(), "alpha beta gamma\n\tdelt");
    begin_report(20);
    write_wrapped(4, "beta gamma delta", 0, 0); // 4 + 16 columns
    EXPECT_EQ(report_text(), "beta gamma delta");
    begin_report(20);
    write_wrapped(5, "beta gamma delta", 0, 0);
    EXPECT_EQ(report_text(), "beta gamma\ndelta");
}

// A sum over a part of a range reads the elements of that part, wherever
// they stand in the whole range.
TEST_F(EqText, ASumOverASubrangeNamesThatPartsElements) {
    model_builder b("subsum");
    b.range("region", {"north", "south", "east", "west"});
    b.range("warm", {"south", "west"});
    b.constant_list("z[region]", {1, 2, 3, 4});
    b.aux("y", "SUM(z[warm!])");
    b.aux("all", "SUM(z[region!])");
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    auto causes = [&](const char* element) {
        clear_cause_element_list();
        begin_report(0, true);
        EXPECT_EQ(print_var_equation(element, 1, 1), 1);
        std::vector<std::string> names;
        for (tree_node* n = cause_element_list(); n; n = n->next)
            names.push_back(element_name(n->symbol, n->element));
        return names;
    };
    EXPECT_EQ(causes("y"), (std::vector<std::string>{"z[south]", "z[west]"}));
    EXPECT_EQ(causes("all"),
              (std::vector<std::string>{"z[north]", "z[south]", "z[east]", "z[west]"}));
    EXPECT_EQ(unlock_model(1), 1);
}

} // namespace

// A model started with New holds the four control constants at the values a
// user expects before typing anything: from 0 to 100 in steps of 1, every
// step saved.
TEST_F(EqText, ANewModelStartsWithTheUsualControlConstants) {
    model_pair m = new_model("fresh", 0);
    ASSERT_NE(m.symbols, 0u);
    ASSERT_NE(read_model_settings(m.header, m.symbols), 0u);
    close_model(m.header, m.symbols);
    ASSERT_EQ(lock_model(1), 1);
    EXPECT_EQ(equation_text("INITIAL TIME"), "INITIAL TIME = 0");
    EXPECT_EQ(equation_text("FINAL TIME"), "FINAL TIME = 100");
    EXPECT_EQ(equation_text("TIME STEP"), "TIME STEP = 1");
    EXPECT_EQ(equation_text("SAVEPER"), "SAVEPER = 1");
    EXPECT_NE(find_symbol("Time"), 0u);
    EXPECT_EQ(unlock_model(1), 1);
}

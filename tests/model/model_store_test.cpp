// The model in memory: names and their hash, locking, slots, builder trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/subscript_selection.h"
#include "tests/support/model_builder.h"

namespace {

class ModelStore : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        reset_report_counts();
    }
};

TEST_F(ModelStore, NamesCompareIgnoringCaseBlanksAndUnderscores) {
    EXPECT_EQ(hash_name("Birth Rate", 101), hash_name("birth_rate", 101));
    EXPECT_EQ(hash_name("BIRTH  RATE ", 101), hash_name(" birth rate", 101));
    EXPECT_NE(hash_name("birthrate", 1u << 30), hash_name("birth rate", 1u << 30));
    model_builder b("names");
    symbol_id br = b.constant("Birth Rate", 0.1f);
    b.constant("birthrate", 0.2f);
    b.finish();
    EXPECT_EQ(find_symbol_in(b.symbols(), "birth_rate"), br);
    EXPECT_EQ(find_symbol_in(b.symbols(), "  BIRTH   RATE "), br);
    EXPECT_EQ(find_symbol_in(b.symbols(), "\"Birth Rate\""), br);
    EXPECT_EQ(find_symbol_in(b.symbols(), "birth rate[north]"), br);
    EXPECT_NE(find_symbol_in(b.symbols(), "BirthRate"), br);
    EXPECT_EQ(find_symbol_in(b.symbols(), "birth rates"), 0u);
    EXPECT_EQ(find_symbol_in(b.symbols(), ""), 0u);
    EXPECT_EQ(scan_var_name("  \"my_var\"  "), "my var");
    EXPECT_EQ(scan_var_name("Stock_A [ north , south ]"), "Stock A[ north , south ]");
    // A quoted name keeps its subscript after blanks too.
    EXPECT_EQ(scan_var_name("\"birth rate\" [north]"), "birth rate[north]");
    EXPECT_EQ(scan_var_name("\"birth rate\"\t[north]"), "birth rate[north]");
    EXPECT_EQ(find_symbol_in(b.symbols(), "\"Birth Rate\" [north]"), br);
    // Blanks inside the quotes count as the blanks outside: none kept at
    // either end, a run of them inside one blank.
    EXPECT_EQ(scan_var_name("\"  my \t var  \""), "my var");
    EXPECT_EQ(scan_var_name("\"\tdeath__rate\""), "death rate");
}

TEST_F(ModelStore, ANameIsStoredWithoutItsSurroundingBlanks) {
    model_builder b("padded");
    symbol_id s = b.constant("  growth \t rate ", 2);
    b.finish();
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    ASSERT_EQ(lock_model(0), 1);
    EXPECT_STREQ(sym_name(s), "growth rate");
    EXPECT_EQ(find_symbol("growth rate"), s);
    EXPECT_EQ(unlock_model(0), 1);
    close_model(0, 0);
}

TEST_F(ModelStore, FindSymbolWorksWithAndWithoutTheCallersLock) {
    model_builder b("cur");
    symbol_id s = b.constant("speed", 3);
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    EXPECT_EQ(find_symbol("Speed"), s); // no lock held: it locks itself
    ASSERT_EQ(lock_model(0), 1);
    EXPECT_EQ(find_symbol("SPEED"), s);
    EXPECT_STREQ(sym_name(s), "speed");
    EXPECT_EQ(unlock_model(0), 1);
    EXPECT_EQ(model_syms, nullptr);
    EXPECT_EQ(report_counts[10], 0);
    close_model(0, 0);
}

TEST_F(ModelStore, LockMisuseIsReportedAndLeavesTheStateSane) {
    model_builder b("locks");
    b.constant("k", 1);
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    std::FILE* sink = std::tmpfile();
    set_report_stream(sink);

    EXPECT_EQ(unlock_model(0), 0); // no lock
    EXPECT_EQ(report_counts[10], 1);

    ASSERT_EQ(lock_model(1), 1);
    EXPECT_NE(model_eqs, nullptr);
    EXPECT_EQ(lock_model(1), 0); // nested
    EXPECT_EQ(report_counts[10], 2);
    EXPECT_NE(model_syms, nullptr); // the first lock still stands
    EXPECT_EQ(unlock_model(0), 1);  // wrong flag: reported, unlocked all the same
    EXPECT_EQ(report_counts[10], 3);
    EXPECT_EQ(model_syms, nullptr);
    EXPECT_EQ(model_lock_flag, -1);

    ASSERT_EQ(lock_model_alt(1), 1);
    EXPECT_EQ(work_model_ok, 1);
    EXPECT_EQ(unlock_model(1), 1); // closes an _alt lock: reported
    EXPECT_EQ(report_counts[10], 4);
    EXPECT_EQ(lock_model(0), 1); // usable again
    EXPECT_EQ(unlock_model(0), 1);
    EXPECT_EQ(report_counts[10], 4);

    set_report_stream(nullptr);
    std::fclose(sink);
    close_model(0, 0);
}

TEST_F(ModelStore, SlotsPutTimeAndLevelsFirst) {
    model_builder b("slots");
    symbol_id region = b.range("region", {"a", "b", "c"});
    symbol_id stock = b.level("stock[region]", "flow[region]", "10");
    symbol_id flow = b.aux("flow[region]", "stock[region] * k");
    symbol_id k = b.constant("k", 0.1f);
    symbol_id lk = b.lookup("lk", {{0, 0}, {1, 1}});
    symbol_id txt = b.string_var("txt", "hello");
    ASSERT_TRUE(b.finish());
    model_lock_guard g(b.symbols(), 0);
    ASSERT_TRUE(g.ok());
    symbol_id time = model_hdr->w[mh_time_symbol];
    EXPECT_EQ(sym(time)->slot, 0);
    EXPECT_EQ(sym(stock)->slot, 1);
    EXPECT_EQ(sym_dims(stock)->count, 3u);
    EXPECT_EQ(sym_dims(stock)->d[0].range, region);
    EXPECT_EQ(model_hdr->w[mh_level_slots], 4u);
    EXPECT_EQ(sym(flow)->slot, 4);
    EXPECT_GT(sym(k)->slot, sym(flow)->slot);
    EXPECT_EQ(sym(lk)->slot, 0);
    EXPECT_EQ(sym(txt)->slot, 0);
    EXPECT_EQ(model_hdr->w[mh_string_slots], 1u);
    ASSERT_NE(model_slot_types, nullptr);
    EXPECT_EQ(model_slot_types[1], st_level);
    EXPECT_EQ(model_slot_types[sym(k)->slot], st_constant);
    EXPECT_EQ(element_position(region, find_symbol_in(b.symbols(), "c")), 2);
}

TEST_F(ModelStore, BuilderMakesWellFormedTreesAndUses) {
    model_builder b("trees");
    b.range("r", {"x1", "x2"});
    symbol_id a = b.aux("a", "SMOOTH INIT(b, 2, 7) + SUM(v[r!])");
    symbol_id bb = b.constant("b", 1);
    symbol_id v = b.constant_list("v[r]", {1, 2});
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    model_lock_guard g(b.symbols(), 1);
    equation_record* e = eq_at(sym(a)->eqn);
    expr_node* root = eq_nodes(e);
    EXPECT_EQ(root->code, nc_aux_eq);
    expr_node* body = node_skip(root);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->code, nc_add);
    expr_node* call = node_child(body);
    EXPECT_EQ(call->code, nc_call);
    expr_node* fn = node_child(call);
    EXPECT_EQ(fn->code, nc_symbol);
    EXPECT_STREQ(sym_name(fn->operand), "SMOOTH INIT");
    EXPECT_EQ(sym(fn->operand)->type, st_function);
    expr_node* args = node_next(fn);
    ASSERT_EQ(args->code, nc_arglist);
    int n = 0, mark_at = -1;
    for (expr_node* k = node_child(args); k; k = node_next(k), ++n)
        if (k->code == nc_init_mark) mark_at = n;
    EXPECT_EQ(n, 4);
    EXPECT_EQ(mark_at, 2);
    expr_node* vcall = node_next(call);
    EXPECT_EQ(vcall->code, nc_vector_call);
    // b and v are used by a; the uses lists say so.
    const uses_list* ub = sym_uses(bb);
    ASSERT_NE(ub, nullptr);
    EXPECT_EQ(ub->count, 1u);
    EXPECT_EQ(ub->ids[0], a);
    ASSERT_NE(sym_uses(v), nullptr);
    // The token text names the symbols by id.
    const token_text* t = tokens_at(e->tokens);
    ASSERT_NE(t, nullptr);
    std::string tok(t->text, t->bytes);
    EXPECT_NE(tok.find(static_cast<char>(token_symbol)), std::string::npos);
    EXPECT_NE(tok.find(" = "), std::string::npos);
}

TEST_F(ModelStore, BuilderReportsEquationsThatDoNotRead) {
    model_builder b("bad");
    b.aux("a", "b +");
    b.aux("c", "nothing here * 2");
    EXPECT_FALSE(b.finish());
    EXPECT_EQ(b.errors().size(), 2u);
}

TEST_F(ModelStore, ContextSelectsElementSpans) {
    model_builder b("ctx");
    symbol_id r = b.range("r", {"e1", "e2", "e3", "e4"});
    model_pair m = b.release();
    read_model_settings(m.header, m.symbols);
    close_model(m.header, m.symbols);
    ASSERT_NE(model_rec, nullptr);
    EXPECT_TRUE(subscript_selected(r, 3));
    EXPECT_EQ(select_element_span(r, 1, 2), 1);
    EXPECT_FALSE(subscript_selected(r, 0));
    EXPECT_TRUE(subscript_selected(r, 1));
    EXPECT_TRUE(subscript_selected(r, 2));
    EXPECT_FALSE(subscript_selected(r, 3));
    std::uint32_t c = ctx_set_text(model_rec, 0, "run one");
    EXPECT_STREQ(ctx_text(model_rec, c), "run one");
    close_model(0, 0);
}

// Clearing an element already cleared leaves it cleared, and elements past
// the first 32 are kept in their own word.
TEST_F(ModelStore, SubscriptSelectionsSetAndClearEachElementOnce) {
    model_builder b("selections");
    std::vector<std::string> names;
    for (int k = 1; k <= 40; ++k) names.push_back("e" + std::to_string(k));
    std::vector<const char*> ptrs;
    for (const auto& n : names) ptrs.push_back(n.c_str());
    symbol_id r = b.range("r", ptrs);
    model_pair m = b.release();
    read_model_settings(m.header, m.symbols);
    close_model(m.header, m.symbols);
    ASSERT_NE(model_rec, nullptr);
    select_subscript(r, 1, false);
    select_subscript(r, 1, false);
    EXPECT_FALSE(subscript_selected(r, 1));
    select_subscript(r, 35, false);
    select_subscript(r, 35, false);
    EXPECT_FALSE(subscript_selected(r, 35));
    for (int k : {0, 2, 3, 31, 32, 34, 36, 39}) EXPECT_TRUE(subscript_selected(r, k)) << k;
    select_subscript(r, 35, true);
    select_subscript(r, 35, true);
    EXPECT_TRUE(subscript_selected(r, 35));
    EXPECT_FALSE(subscript_selected(r, 40)); // past the range
    EXPECT_EQ(select_element_span(r, 30, 33), 1);
    for (int k = 0; k < 40; ++k) EXPECT_EQ(subscript_selected(r, k), k >= 30 && k <= 33) << k;
    close_model(0, 0);
}

// A selection kept for a range of another size (the model changed since the
// context was saved) is started afresh with every element selected, never
// read or written with the old size.
TEST_F(ModelStore, ASelectionOfARangeThatChangedSizeStartsAfresh) {
    std::vector<std::uint32_t> saved;
    symbol_id small_r = 0;
    {
        model_builder b("before");
        small_r = b.range("r", {"e1", "e2", "e3", "e4"});
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols);
        ASSERT_NE(model_rec, nullptr);
        select_subscript(small_r, 1, false);
        ASSERT_FALSE(subscript_selected(small_r, 1));
        handle h = model_rec->subscripts;
        ASSERT_NE(h, 0u);
        handle_lock<std::uint32_t> w(h);
        saved.assign(w.get(), w.get() + handle_size(h) / 4);
        close_model(0, 0);
    }
    model_builder b("after");
    std::vector<std::string> names;
    for (int k = 1; k <= 40; ++k) names.push_back("e" + std::to_string(k));
    std::vector<const char*> ptrs;
    for (const auto& n : names) ptrs.push_back(n.c_str());
    symbol_id r = b.range("r", ptrs);
    ASSERT_EQ(r, small_r);
    model_pair m = b.release();
    read_model_settings(m.header, m.symbols);
    close_model(m.header, m.symbols);
    ASSERT_NE(model_rec, nullptr);
    // The old context's selection: range r with 4 elements, e2 cleared.
    model_rec->subscripts = new_handle(static_cast<std::uint32_t>(saved.size() * 4));
    {
        handle_lock<std::uint32_t> w(model_rec->subscripts);
        std::copy(saved.begin(), saved.end(), w.get());
    }
    select_subscript(r, 35, false);
    for (int k = 0; k < 40; ++k) EXPECT_EQ(subscript_selected(r, k), k != 35) << k;
    EXPECT_EQ(select_element_span(r, 36, 38), 1);
    for (int k = 0; k < 40; ++k) EXPECT_EQ(subscript_selected(r, k), k >= 36 && k <= 38) << k;
    close_model(0, 0);
}

// Comments and the pairs of a symbol as the builder stores them: a comment
// given anew replaces the old one (an empty one clears it), and every pair
// is kept in the order given.
TEST_F(ModelStore, CommentsAreReplacedAndPairsKeptInOrder) {
    model_builder b("notes");
    symbol_id k = b.constant("k", 1);
    symbol_id a = b.constant("a", 2);
    symbol_id c = b.constant("c", 3);
    b.comment(k, "first words");
    b.pair(k, a, "one").pair(k, c, "two").pair(k, a, "three");
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    ASSERT_EQ(lock_model(0), 1);
    EXPECT_STREQ(sym_comment(k), "first words");
    std::vector<std::string> texts;
    std::vector<symbol_id> others;
    for (const pair_entry* pe = sym_pairs(k); pe && texts.size() < 10; pe = next_pair(pe)) {
        texts.emplace_back(pair_text(pe));
        others.push_back(pe->symbol);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(others, (std::vector<symbol_id>{a, c, a}));
    EXPECT_EQ(unlock_model(0), 1);
    set_comment(cur_model_symbols, k, "second");
    ASSERT_EQ(lock_model(0), 1);
    EXPECT_STREQ(sym_comment(k), "second");
    EXPECT_EQ(unlock_model(0), 1);
    set_comment(cur_model_symbols, k, "");
    ASSERT_EQ(lock_model(0), 1);
    EXPECT_STREQ(sym_comment(k), "");
    EXPECT_EQ(unlock_model(0), 1);
    close_model(0, 0);
}

// The texts of a context: a null context means the current one; freeing the
// current context leaves no current context behind.
TEST_F(ModelStore, ContextTextsAndFreeingTheCurrentContext) {
    handle h = new_model_context();
    set_model_rec(h);
    ASSERT_NE(model_rec, nullptr);
    std::uint32_t cell = ctx_set_text(nullptr, 0, "base case");
    ASSERT_NE(cell, 0u);
    EXPECT_STREQ(ctx_text(nullptr, cell), "base case");
    EXPECT_STREQ(ctx_text(model_rec, cell), "base case");
    EXPECT_STREQ(ctx_text(nullptr, 0), "");
    free_model_context(h);
    EXPECT_EQ(model_rec, nullptr);
    EXPECT_EQ(model_rec_handle, 0u);
    EXPECT_STREQ(ctx_text(nullptr, cell), "");
}

} // namespace

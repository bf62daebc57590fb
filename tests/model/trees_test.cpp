// Causes and uses trees on models with feedback loops: finite trees, repeats
// flagged, depth limits, the cause options, filtering with lifted children and
// sorting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/model/text_fixture.h"

namespace {

class Trees : public TextTest {
protected:
    // a -> b -> c -> a (a loop), k a constant cause of c, L a level with a
    // rate and an initial value, t an auxiliary over an initial value.
    void build_loops() {
        model_builder b("loops");
        b.constant("k", 1);
        b.constant("i0", 5);
        b.aux("a", "b + 1");
        b.aux("b", "c * 2");
        b.aux("c", "a - k");
        b.level("L", "a + L * k", "i0");
        b.initial("init v", "k * 2");
        b.aux("t", "init v + 1");
        b.lookup("lk", {{0, 0}, {1, 1}});
        b.aux("w", "lk(a)");
        make_current(b);
    }

    // The tree as text: name, "(r)" for repeats, "~" for lifted, children in braces.
    static std::string text(const tree_node* n) {
        std::string out = n->symbol ? safe_sym_name(n->symbol) : "*";
        if (n->repeated) out += "(r)";
        if (n->lifted) out = "~" + out;
        if (n->child) {
            out += "{";
            for (const tree_node* c = n->child; c; c = c->next) {
                if (c != n->child) out += ",";
                out += text(c);
            }
            out += "}";
        }
        return out;
    }

    tree_node* root_for(const char* name) {
        clear_var_flag(sf_mark_10 | sf_mark_04);
        symbol_id s = find_symbol(name);
        sym(s)->flags |= sf_mark_10;
        return new_tree_node(s);
    }
};

TEST_F(Trees, CauseTreeOfALoopIsFiniteAndFlagsRepeats) {
    build_loops();
    ASSERT_EQ(lock_model(1), 1);
    tree_node* root = root_for("a");
    int added = 0;
    for (int level = 1; level <= 10; ++level) added += cause_tree(root, level);
    EXPECT_EQ(text(root), "a{b{c{a(r),k}}}");
    EXPECT_EQ(added, 4);
    EXPECT_EQ(tree_size(root), 5);
    // Growing the same level again adds nothing.
    EXPECT_EQ(cause_tree(root, 3), 0);
    EXPECT_EQ(cause_tree(root, 0), 0);
    EXPECT_EQ(cause_tree(root, max_tree_level + 1), 0);

    // A level that refers to itself.
    root = root_for("L");
    for (int level = 1; level <= 4; ++level) cause_tree(root, level);
    EXPECT_EQ(text(root),
              "L{a{b{c{a(r),k(r)}}},L(r),k,i0}"); // level by level: k is met first at level 1
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(Trees, UsesTreeFollowsTheUsersAndStopsAtRepeats) {
    build_loops();
    ASSERT_EQ(lock_model(1), 1);
    tree_node* root = root_for("k");
    for (int level = 1; level <= 6; ++level) uses_tree(root, level);
    std::string t = text(root);
    // k is used by c, L and init v; c by a; a by b, L, w; ...
    EXPECT_EQ(t.substr(0, 2), "k{");
    EXPECT_NE(t.find("init v{t}"), std::string::npos);
    EXPECT_NE(t.find("(r)"), std::string::npos);
    EXPECT_LT(tree_size(root), 20);

    // Depth 1 only: the direct users.
    root = root_for("a");
    uses_tree(root, 1);
    sort_tree(root);
    EXPECT_EQ(text(root), "a{c,L,w}");
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(Trees, CauseOptionsLeaveOutInitialValuesAndLookups) {
    build_loops();
    ASSERT_EQ(lock_model(1), 1);
    tree_node* root = root_for("L");
    cause_tree(root, 1);
    EXPECT_EQ(text(root), "L{a,L(r),k,i0}");
    cause_opts[0] = 0;
    root = root_for("L");
    cause_tree(root, 1);
    EXPECT_EQ(text(root), "L{a,L(r),k}");
    root = root_for("i0");
    uses_tree(root, 1);
    EXPECT_EQ(text(root), "i0"); // used only through an initial value

    root = root_for("w");
    cause_tree(root, 1);
    EXPECT_EQ(text(root), "w{lk,a}");
    cause_opts[1] = 0;
    root = root_for("w");
    cause_tree(root, 1);
    EXPECT_EQ(text(root), "w{a}");
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(Trees, FilterLiftsChildrenOfHiddenKindsAndSortOrdersByName) {
    build_loops();
    ASSERT_EQ(lock_model(1), 1);
    tree_node* root = root_for("t");
    cause_tree(root, 1);
    cause_tree(root, 2);
    EXPECT_EQ(text(root), "t{init v{k}}");
    tree_kind_flags[3] = 0; // hide initials
    filter_tree(root);
    EXPECT_EQ(text(root), "t{~k}");
    tree_kind_flags[4] = 0; // and constants: k goes too, with nothing to lift
    filter_tree(root);
    EXPECT_EQ(text(root), "t");
    EXPECT_TRUE(tree_kind_shown(0));
    EXPECT_TRUE(tree_kind_shown(st_range));
    EXPECT_TRUE(tree_kind_shown(st_element));
    EXPECT_FALSE(tree_kind_shown(st_constant));
    EXPECT_TRUE(tree_kind_shown(st_aux));

    for (int& f : tree_kind_flags) f = 1;
    root = root_for("L");
    cause_tree(root, 1);
    sort_tree(root);
    EXPECT_EQ(text(root), "L{a,i0,k,L(r)}");

    // A flat list filtered without a root.
    tree_node* a = new_tree_node(find_symbol("a"));
    tree_node* k = new_tree_node(find_symbol("k"));
    a->next = k;
    tree_kind_flags[0] = tree_kind_flags[1] = 0; // hide levels and auxiliaries
    tree_node* head = filter_tree_list(a);
    ASSERT_EQ(head, k);
    EXPECT_EQ(head->next, nullptr);
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(Trees, SortTreeListOrdersBySlotDropsRepeatsAndExcluded) {
    build_loops();
    ASSERT_EQ(lock_model(0), 1);
    std::vector<const char*> names = {"lk", "k", "a", "L", "a", "Time"};
    tree_node* head = nullptr;
    tree_node* tail = nullptr;
    for (const char* n : names) {
        tree_node* t = new_tree_node(find_symbol(n));
        (tail ? tail->next : head) = t;
        tail = t;
    }
    tree_node* ex = new_tree_node(find_symbol("L"));
    std::vector<std::string> out;
    for (tree_node* n = sort_tree_list(head, ex); n; n = n->next)
        out.push_back(safe_sym_name(n->symbol));
    EXPECT_EQ(out, (std::vector<std::string>{"Time", "a", "k", "lk"}));
    EXPECT_EQ(unlock_model(0), 1);
}

TEST_F(Trees, BadSymbolsInTreesAreSkipped) {
    build_loops();
    ASSERT_EQ(lock_model(1), 1);
    tree_node* root = new_tree_node(0x7FFFFFF0u);
    EXPECT_EQ(cause_tree(root, 1), 0);
    EXPECT_EQ(uses_tree(root, 1), 0);
    tree_node* kid = new_tree_node(0x7FFFFFF0u);
    tree_node* ok = root_for("a");
    ok->child = kid;
    filter_tree(ok); // a node with a bad symbol is not shown
    EXPECT_EQ(ok->child, nullptr);
    EXPECT_EQ(unlock_model(1), 1);
}

TEST_F(Trees, ItemPoolResetDropsTheCauseList) {
    build_loops();
    begin_report(0, true);
    EXPECT_EQ(print_var_equation("a", 1, 1), 1);
    ASSERT_NE(cause_element_list(), nullptr);
    reset_item_pool();
    EXPECT_EQ(cause_element_list(), nullptr);
    void* p = item_alloc(64);
    EXPECT_NE(p, nullptr);
}

// Each of the tools' kind flags hides its own kinds and no other.
TEST(TreeKinds, EachFlagHidesItsOwnKindsOnly) {
    struct kind {
        int type, flag;
    };
    const kind kinds[] = {{st_level, 0},      {st_aux, 1},           {st_game, 1},
                          {st_time_base, 1},  {st_data, 2},          {st_initial, 3},
                          {st_constant, 4},   {st_data_constant, 4}, {st_lookup, 5},
                          {st_test_input, 6}, {st_constraint, 7}};
    for (int hidden = 0; hidden < 8; ++hidden) {
        for (int& f : tree_kind_flags) f = 1;
        tree_kind_flags[hidden] = 0;
        for (const kind& k : kinds)
            EXPECT_EQ(tree_kind_shown(k.type), k.flag != hidden)
                << "type " << k.type << " with flag " << hidden << " off";
        EXPECT_TRUE(tree_kind_shown(st_range));
        EXPECT_TRUE(tree_kind_shown(st_element));
    }
    for (int& f : tree_kind_flags) f = 1;
}

} // namespace

// Each element of a subscripted variable has its own slot, the variable's
// first slot plus the element's offset: sorting a list of elements puts them
// in element order and keeps every one of them.
TEST_F(Trees, ElementNodesSortByTheirOwnSlots) {
    model_builder b("elements");
    b.range("r", {"e1", "e2", "e3"});
    b.constant("k", 1);
    b.aux("x[r]", "k");
    make_current(b);
    ASSERT_EQ(lock_model(0), 1);
    const symbol_id x = find_symbol("x");
    const std::int32_t first = sym(x)->slot;
    ASSERT_GE(first, 0);
    const std::uint32_t order[] = {2, 0, 1};
    tree_node* head = nullptr;
    tree_node* tail = nullptr;
    for (std::uint32_t el : order) {
        tree_node* t = new_tree_node(x, el);
        EXPECT_EQ(t->slot, first + static_cast<std::int32_t>(el)) << el;
        EXPECT_EQ(t->element, el);
        (tail ? tail->next : head) = t;
        tail = t;
    }
    std::vector<std::uint32_t> out;
    for (tree_node* n = sort_tree_list(head, nullptr); n; n = n->next) out.push_back(n->element);
    EXPECT_EQ(out, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(unlock_model(0), 1);
}

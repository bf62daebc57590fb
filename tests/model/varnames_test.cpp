// Variable names as typed: parsing, finding elements and slots, expanding
// ranges, wildcards and the subscript selection, and the Subscript Control
// panel's logic.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/subpanel.h"
#include "tests/model/text_fixture.h"

namespace {

std::vector<std::string> to_vector(const char** list, int n) {
    std::vector<std::string> v;
    for (int i = 0; i < n; ++i) v.emplace_back(list[i]);
    return v;
}

class VarNames : public TextTest {
protected:
    void build() {
        model_builder b("names");
        b.range("region", {"north", "south"});
        b.range("r2", {"a", "b", "c"});
        b.range("sub2", {"a", "c"}); // a sub-range of r2
        b.constant("x[region,r2]", 1);
        b.constant("xx", 2);
        b.aux("y[r2]", "x[north, r2]");
        b.lookup("lk", {{0, 0}, {1, 1}});
        b.string_var("txt", "t");
        b.level("Stock", "1", "0");
        make_current(b);
        region = find_symbol("region");
        r2 = find_symbol("r2");
        x = find_symbol("x");
    }
    symbol_id region = 0, r2 = 0, x = 0;
};

TEST(ParseVarName, SplitsNamesAndSubscripts) {
    parsed_name p;
    ASSERT_EQ(parse_var_name("  Stock_A [ north , b ]", &p), 1);
    EXPECT_EQ(p.name, "Stock A");
    ASSERT_EQ(p.nsubs, 2);
    EXPECT_EQ(p.subs[0], "north");
    EXPECT_EQ(p.subs[1], "b");
    EXPECT_EQ(p.flags, 0);
    EXPECT_EQ(p.stop, 23);

    ASSERT_EQ(parse_var_name("Stock_A", &p, 1), 1);
    EXPECT_EQ(p.name, "Stock_A");
    ASSERT_EQ(parse_var_name("\"odd [name]\"[\"a,b\", c]", &p), 1);
    EXPECT_EQ(p.name, "odd [name]");
    ASSERT_EQ(p.nsubs, 2);
    EXPECT_EQ(p.subs[0], "a,b");
    EXPECT_EQ(p.subs[1], "c");

    ASSERT_EQ(parse_var_name("v[s1,s2,s3,s4,s5,s6,s7,s8]", &p), 1);
    EXPECT_EQ(p.nsubs, 8);
    EXPECT_EQ(p.flags, 0);
    EXPECT_EQ(p.subs[7], "s8");
    ASSERT_EQ(parse_var_name("v[s1,s2,s3,s4,s5,s6,s7,s8,s9]", &p), 1);
    EXPECT_EQ(p.nsubs, 8);
    EXPECT_TRUE(p.flags & pn_too_many_subscripts);

    EXPECT_EQ(parse_var_name("x[a,b", &p), 1);
    EXPECT_TRUE(p.flags & pn_unclosed);
    EXPECT_EQ(p.nsubs, 2);
    EXPECT_EQ(parse_var_name("x[a,,b]", &p), 1);
    EXPECT_TRUE(p.flags & pn_empty_subscript);
    EXPECT_EQ(parse_var_name("x[]", &p), 1);
    EXPECT_TRUE(p.flags & pn_empty_subscript);
    EXPECT_EQ(parse_var_name("x[a] tail", &p), 1);
    EXPECT_EQ(p.flags, pn_trailing_text);
    EXPECT_EQ(p.stop, 5);

    EXPECT_EQ(parse_var_name("", &p), 0);
    EXPECT_EQ(parse_var_name(nullptr, &p), 0);
    EXPECT_EQ(parse_var_name("   ", &p), 0);
    EXPECT_EQ(parse_var_name("[a,b]", &p), 0);
    EXPECT_EQ(parse_var_name("[a,b]", &p, 0, 1), 1);
    EXPECT_EQ(p.name, "");
    EXPECT_EQ(p.nsubs, 2);
    EXPECT_EQ(parse_var_name("\"", &p), 0);
}

TEST_F(VarNames, FindVarNameGivesTypesAndSlots) {
    build();
    ASSERT_EQ(lock_model(0), 1);
    std::int32_t slot = 0;
    symbol_id s = 0;
    std::uint32_t el = 0;
    EXPECT_EQ(find_var_name("x[south,b]", &slot, 0, &s, &el), st_constant);
    EXPECT_EQ(s, x);
    EXPECT_EQ(el, 4u);
    EXPECT_EQ(slot, sym(x)->slot + 4);
    EXPECT_EQ(find_var_name("X[SOUTH, c]", &slot), st_constant);
    EXPECT_EQ(slot, sym(x)->slot + 5);
    EXPECT_EQ(find_var_name("x[b,south]", &slot), 0); // ranges in the wrong order
    EXPECT_EQ(slot, -1);
    EXPECT_EQ(find_var_name("x[south]", &slot), 0);
    EXPECT_EQ(find_var_name("x", &slot), 0);
    EXPECT_EQ(find_var_name("x[south,b,c]", &slot), 0);
    EXPECT_EQ(find_var_name("x[south,zz]", &slot), 0);
    EXPECT_EQ(find_var_name("x[region,b]", &slot), 0);
    EXPECT_EQ(find_var_name("x[region,b]", &slot, 1), st_constant);
    EXPECT_EQ(slot, sym(x)->slot + 1);
    EXPECT_EQ(find_var_name("x[south,sub2]", &slot, 1), st_constant);
    EXPECT_EQ(slot, sym(x)->slot + 3);
    EXPECT_EQ(find_var_name("y[c]", &slot), st_aux);
    EXPECT_EQ(find_var_name("Time", &slot), st_level);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(find_var_name("lk", &slot), st_lookup);
    EXPECT_EQ(slot, sym(find_symbol("lk"))->slot);
    EXPECT_EQ(find_var_name("txt", &slot), st_string);
    EXPECT_EQ(find_var_name("region", &slot), 0);
    EXPECT_EQ(find_var_name("north", &slot), 0);
    EXPECT_EQ(find_var_name("nothing", &slot), 0);
    EXPECT_EQ(find_var_name("x[a,b", &slot), 0);

    // A variable whose elements have types of their own.
    symbol_id y = find_symbol("y");
    sym(y)->flags |= sf_mixed_types;
    model_slot_types[sym(y)->slot + 2] = st_data;
    EXPECT_EQ(find_var_name("y[c]", &slot), st_data);
    EXPECT_EQ(find_var_name("y[a]", &slot), st_aux);

    std::uint32_t n = 0;
    const std::uint8_t* kinds = per_slot_kinds(&n);
    ASSERT_NE(kinds, nullptr);
    EXPECT_EQ(n, model_hdr->w[mh_level_slots] + model_hdr->w[mh_other_slots]);
    EXPECT_EQ(kinds[0], st_level);
    EXPECT_EQ(slot_kind(sym(x)->slot), st_constant);
    EXPECT_EQ(slot_kind(-1), -1);
    EXPECT_EQ(slot_kind(static_cast<std::int32_t>(n)), -1);
    EXPECT_EQ(unlock_model(0), 1);
    // No lock needed from the caller.
    EXPECT_EQ(find_var_name("x[north,a]", &slot), st_constant);
}

TEST_F(VarNames, ElementNamesFollowTheSubscriptSelection) {
    build();
    const char** list = nullptr;
    int n = var_element_names(x, &list, 0);
    EXPECT_EQ(to_vector(list, n),
              (std::vector<std::string>{"x[north,a]", "x[north,b]", "x[north,c]", "x[south,a]",
                                        "x[south,b]", "x[south,c]"}));
    select_subscript(region, 0, false);
    select_element_span(r2, 1, 2);
    n = var_element_names(x, &list, 0);
    EXPECT_EQ(to_vector(list, n), (std::vector<std::string>{"x[south,b]", "x[south,c]"}));
    EXPECT_EQ(var_element_names(x, &list, 1), 6);
    EXPECT_STREQ(varformat(x, 1), "x[south,b|c]");
    EXPECT_STREQ(varformat(x, 0), "x");
    n = var_element_names(find_symbol("xx"), &list, 0);
    EXPECT_EQ(to_vector(list, n), (std::vector<std::string>{"xx"}));
    EXPECT_EQ(var_element_names(0x7FFFFFF0u, &list, 0), 0);

    // The workbench variable's own subscripts take precedence.
    workbench_var.var = x;
    workbench_var.nsubs = 2;
    workbench_var.subs[0] = find_symbol("north");
    workbench_var.subs[1] = r2;
    n = var_element_names(x, &list, 0);
    EXPECT_EQ(to_vector(list, n), (std::vector<std::string>{"x[north,b]", "x[north,c]"}));
    EXPECT_STREQ(varformat(x, 1), "x[north,b|c]");

    // Nothing selected in one range: no elements.
    select_element_span(r2, 5, 4);
    EXPECT_EQ(var_element_names(x, &list, 0), 0);
    EXPECT_STREQ(varformat(x, 1), "x[north,r2]");
}

TEST_F(VarNames, ExpandSubscriptedNameResolvesTypedAndWorkbenchNames) {
    build();
    const char** names = nullptr;
    const char* prefix = nullptr;
    const char* suffix = nullptr;
    int n = expand_subscripted_name("x[north,r2]", &prefix, &suffix, &names);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(to_vector(names, n + 1),
              (std::vector<std::string>{"x[north,a]", "x[north,b]", "x[north,c]", "x[north,r2]"}));
    EXPECT_STREQ(prefix, "");
    EXPECT_STREQ(suffix, "");
    n = expand_subscripted_name("x[region,sub2]", &prefix, &suffix, &names);
    EXPECT_EQ(to_vector(names, n + 1),
              (std::vector<std::string>{"x[north,a]", "x[north,c]", "x[south,a]", "x[south,c]",
                                        "x[region,a|c]"}));

    workbench_var.var = x;
    select_subscript(r2, 0, false);
    n = expand_subscripted_name(nullptr, &prefix, &suffix, &names);
    EXPECT_EQ(to_vector(names, n + 1),
              (std::vector<std::string>{"x[north,b]", "x[north,c]", "x[south,b]", "x[south,c]",
                                        "x[region,b|c]"}));
    workbench_var.var = find_symbol("Stock");
    n = expand_subscripted_name("", &prefix, &suffix, &names);
    EXPECT_EQ(to_vector(names, n + 1), (std::vector<std::string>{"Stock", "Stock"}));

    EXPECT_EQ(report_counts[8], 0);
    EXPECT_EQ(expand_subscripted_name("nothing", &prefix, &suffix, &names), 0);
    EXPECT_EQ(expand_subscripted_name("x[north]", &prefix, &suffix, &names), 0);
    EXPECT_EQ(expand_subscripted_name("x[north,zz]", &prefix, &suffix, &names), 0);
    EXPECT_EQ(expand_subscripted_name("x[north,b", &prefix, &suffix, &names), 0);
    workbench_var.var = 0;
    EXPECT_EQ(expand_subscripted_name(nullptr, &prefix, &suffix, &names), 0);
    EXPECT_EQ(report_counts[8], 5);
    EXPECT_NE(messages().find("Unable to find nothing in model"), std::string::npos);
}

TEST_F(VarNames, ExpandNameElementsTakesWildcardsAndRanges) {
    build();
    const char** list = nullptr;
    int n = expand_name_elements(nullptr, "x[*,b]", &list, 0);
    EXPECT_EQ(to_vector(list, n), (std::vector<std::string>{"x[north,b]", "x[south,b]"}));
    n = expand_name_elements(nullptr, "x[s*,?]", &list, 0);
    EXPECT_EQ(to_vector(list, n),
              (std::vector<std::string>{"x[south,a]", "x[south,b]", "x[south,c]"}));
    n = expand_name_elements(nullptr, "x[region,sub2]", &list, 0);
    EXPECT_EQ(n, 4);
    n = expand_name_elements(nullptr, "x*", &list, 0);
    EXPECT_EQ(n, 7); // the six of x and xx
    EXPECT_STREQ(list[6], "xx");
    n = expand_name_elements(nullptr, "y", &list, 0);
    EXPECT_EQ(n, 3);
    parsed_name p;
    parse_var_name("x[north,a]", &p);
    n = expand_name_elements(&p, "x[north,a]", &list, 0);
    EXPECT_EQ(to_vector(list, n), (std::vector<std::string>{"x[north,a]"}));
    // Names that resolve to nothing are taken as they are.
    n = expand_name_elements(nullptr, "unknown[q]", &list, 0);
    EXPECT_EQ(to_vector(list, n), (std::vector<std::string>{"unknown[q]"}));
    n = expand_name_elements(nullptr, "x[north]", &list, 0);
    EXPECT_EQ(to_vector(list, n), (std::vector<std::string>{"x[north]"}));
    // Mode 1 honours the subscript selection.
    select_subscript(region, 1, false);
    EXPECT_EQ(expand_name_elements(nullptr, "x[region,a]", &list, 1), 1);
    EXPECT_EQ(expand_name_elements(nullptr, "x[region,a]", &list, 0), 2);
}

TEST_F(VarNames, ClearVarFlagClearsOnlyThoseBits) {
    build();
    ASSERT_EQ(lock_model(0), 1);
    sym(x)->flags |= sf_mark_04 | sf_mark_10 | sf_hidden;
    EXPECT_EQ(unlock_model(0), 1);
    clear_var_flag(sf_mark_04 | sf_mark_10);
    ASSERT_EQ(lock_model(0), 1);
    EXPECT_EQ(sym(x)->flags & (sf_mark_04 | sf_mark_10), 0);
    EXPECT_NE(sym(x)->flags & sf_hidden, 0);
    EXPECT_EQ(unlock_model(0), 1);
}

TEST_F(VarNames, SubscriptPanelWorksTheSelection) {
    build();
    std::vector<int> shown;
    static int changes = 0;
    changes = 0;
    subscript_panel_window w{nullptr, [] { ++changes; }};
    set_subscript_panel_window(&w);
    workbench_var.var = find_symbol("y");
    EXPECT_EQ(create_subscript_panel(1, 10, 20, 300, 200), 1);
    EXPECT_TRUE(subscript_panel_open());
    EXPECT_EQ(subpanel_range(), r2); // the workbench variable's range
    EXPECT_EQ(subpanel_ranges(), (std::vector<symbol_id>{r2, region, find_symbol("sub2")}));
    std::vector<subpanel_item> items = subpanel_items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].name, "b");
    EXPECT_TRUE(items[1].selected);
    EXPECT_EQ(subpanel_summary(r2), "All");

    EXPECT_EQ(subpanel_toggle(1), 1);
    EXPECT_FALSE(subpanel_items()[1].selected);
    EXPECT_EQ(subpanel_summary(r2), "2 of 3");
    EXPECT_EQ(subpanel_toggle(3), 0);
    EXPECT_EQ(subpanel_select_span(2, 2), 1);
    EXPECT_EQ(subpanel_summary(r2), "c");
    EXPECT_EQ(subpanel_select_all(false), 1);
    EXPECT_EQ(subpanel_summary(r2), "None");
    EXPECT_EQ(subpanel_select_all(true), 1);
    EXPECT_EQ(subpanel_summary(r2), "All");
    EXPECT_EQ(changes, 4);

    EXPECT_EQ(subpanel_set_range(region), 1);
    EXPECT_EQ(subpanel_items().size(), 2u);
    EXPECT_EQ(subpanel_set_range(x), 0); // not a range
    EXPECT_EQ(subpanel_range(), region);

    int rect[4];
    subscript_panel_rect(rect);
    EXPECT_EQ(std::vector<int>(rect, rect + 4), (std::vector<int>{10, 20, 300, 200}));
    // Shown again with only a new width: -1 keeps the place and height.
    EXPECT_EQ(create_subscript_panel(1, -1, -1, 420, -1), 1);
    subscript_panel_rect(rect);
    EXPECT_EQ(std::vector<int>(rect, rect + 4), (std::vector<int>{10, 20, 420, 200}));
    EXPECT_EQ(subpanel_range(), region); // the open panel keeps its range
    EXPECT_EQ(subscript_panel_exit_check(), 1);
    EXPECT_EQ(create_subscript_panel(-1, -1, -1, -1, -1), 0);
    EXPECT_FALSE(subscript_panel_open());
    EXPECT_EQ(subpanel_toggle(0), 0);
    set_subscript_panel_window(nullptr);
}

// The panel opens on the workbench variable's first dimension.
TEST_F(VarNames, SubscriptPanelOpensOnTheFirstRangeOfTheWorkbenchVariable) {
    build();
    workbench_var.var = x; // x[region, r2]
    EXPECT_EQ(create_subscript_panel(1, 0, 0, 200, 200), 1);
    EXPECT_EQ(subpanel_range(), region);
    EXPECT_EQ(create_subscript_panel(-1, -1, -1, -1, -1), 0);
    workbench_var.var = 0;
}

// Every value slot names its own variable's element, the first and the last
// of each variable alike; slots outside every variable, and lookups past the
// last, are unknown.
TEST_F(VarNames, EachSlotNamesItsOwnElement) {
    build();
    ASSERT_EQ(lock_model(0), 1);
    const std::vector<std::pair<const char*, std::vector<std::string>>> vars = {
        {"x", {"x[north,a]", "x[north,b]", "x[north,c]", "x[south,a]", "x[south,b]", "x[south,c]"}},
        {"xx", {"xx"}},
        {"y", {"y[a]", "y[b]", "y[c]"}},
        {"Stock", {"Stock"}},
        {"Time", {"Time"}}};
    for (const auto& [name, elements] : vars) {
        const std::int32_t first = sym(find_symbol(name))->slot;
        ASSERT_GE(first, 0) << name;
        for (std::size_t k = 0; k < elements.size(); ++k) {
            std::uint32_t el = 99;
            EXPECT_EQ(slot_symbol(first + static_cast<std::int32_t>(k), &el), find_symbol(name))
                << name << " " << k;
            EXPECT_EQ(el, k) << name;
            EXPECT_STREQ(offset_name(first + static_cast<std::int32_t>(k)), elements[k].c_str());
        }
    }
    std::uint32_t n = 0;
    per_slot_kinds(&n);
    ASSERT_GT(n, 0u);
    EXPECT_STREQ(offset_name(-1), "Unknown Symbol");
    EXPECT_STREQ(offset_name(static_cast<std::int32_t>(n) + 50), "Unknown Symbol");
    EXPECT_STREQ(lookup_offset_name(0), "lk");
    EXPECT_STREQ(lookup_offset_name(1), "Unknown Symbol");
    EXPECT_STREQ(lookup_offset_name(-1), "Unknown Symbol");
    EXPECT_EQ(unlock_model(0), 1);
}

// A typed subscript that is no subscript of the variable is named first in
// the message; a bare name lists all elements, or in mode 1 the selected ones.
TEST_F(VarNames, ExpandingNamesTheWrongSubscriptAndHonoursTheModeForABareName) {
    build();
    const char** names = nullptr;
    const char* prefix = nullptr;
    const char* suffix = nullptr;
    EXPECT_EQ(expand_subscripted_name("x[north,zz]", &prefix, &suffix, &names), 0);
    EXPECT_NE(messages().find("zz is not a subscript of x"), std::string::npos) << messages();
    select_subscript(region, 1, false);
    const char** list = nullptr;
    int n = expand_name_elements(nullptr, "x", &list, 1);
    EXPECT_EQ(to_vector(list, n),
              (std::vector<std::string>{"x[north,a]", "x[north,b]", "x[north,c]"}));
    EXPECT_EQ(expand_name_elements(nullptr, "x", &list, 0), 6);
}

} // namespace

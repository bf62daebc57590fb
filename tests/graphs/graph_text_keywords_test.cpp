// The text form of graph definitions, keyword by keyword: what a bar graph
// and a table were given comes back from the writer, each keyword sets its
// own field, names in quotes keep their commas, the ":9" run keyword, the
// text of a MEAN line and numbers that need all their digits.
#include "graphs/sets/gdtext.h"
#include "graphs/sets/graphset.h"
#include "tests/common/message_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

class GraphTextKeywords : public ::testing::Test {
protected:
    void SetUp() override {
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
    }
    void TearDown() override {
        for (std::size_t i = 1; i < graph_sets().size(); ++i) free_graph_set(static_cast<int>(i));
        set_message_hook(nullptr);
    }
    // The set read from a text (the marker line is added).
    // A copy: a later read may grow the list of sets and move them.
    graph_set parse(const std::string& body) {
        const std::string text = std::string(graph_set_marker_line) + "\n" + body;
        const int i = load_graph_set_text(text.c_str(), 0, 0, 0);
        EXPECT_GT(i, 0);
        return graph_sets()[static_cast<std::size_t>(i > 0 ? i : 0)];
    }
    // The set written by the program and read back.
    graph_set again(const graph_set& s) {
        std::string error;
        const std::string text = graph_set_text(s, true, &error);
        EXPECT_TRUE(error.empty()) << error;
        const int i = load_graph_set_text(text.c_str(), 0, 0, 0);
        EXPECT_GT(i, 0);
        return graph_sets()[static_cast<std::size_t>(i > 0 ? i : 0)];
    }
};

// A horizontal bar graph with a time on its other variables, and a table
// written time down: each of them read, written and read again.
TEST_F(GraphTextKeywords, BarAndTableSettingsComeBackFromTheWriter) {
    const graph_set& first = parse(":BAR-GRAPH Bars\n"
                                   ":HORIZONTAL\n"
                                   ":VAR a\n"
                                   ":OVAR e|E\n"
                                   ":BAR-VAR-TIME 7.5\n"
                                   ":OVAR f\n"
                                   "\n"
                                   ":TABLE Tab\n"
                                   ":TIME-DOWN\n"
                                   ":VAR x\n");
    const graph_set first_back = again(first);
    for (const graph_set* s : {&first, &first_back}) {
        ASSERT_EQ(s->defs.size(), 2u);
        const graph_def& bar = s->defs[0];
        EXPECT_EQ(bar.horizontal, 1);
        ASSERT_EQ(bar.bar_ovars.size(), 2u);
        EXPECT_EQ(bar.bar_ovars[0].name, "e");
        EXPECT_EQ(bar.bar_ovars[0].label, "E");
        EXPECT_EQ(bar.bar_ovars[0].time, 7.5f);
        EXPECT_TRUE(is_na(bar.bar_ovars[1].time));
        const graph_def& table = s->defs[1];
        EXPECT_EQ(table.time_down, 1);
        EXPECT_EQ(table.notime, 0);
        EXPECT_EQ(table.prettynum, 0);
    }
    // Without the keywords, none of them.
    const graph_set& plain = parse(":BAR-GRAPH b\n:VAR a\n\n:TABLE t\n:VAR x\n");
    const graph_set plain_back = again(plain);
    for (const graph_set* s : {&plain, &plain_back}) {
        ASSERT_EQ(s->defs.size(), 2u);
        EXPECT_EQ(s->defs[0].horizontal, 0);
        EXPECT_EQ(s->defs[1].time_down, 0);
    }
}

// Each of a table's switches sets its own field and no other.
TEST_F(GraphTextKeywords, EachTableSwitchSetsItsOwnField) {
    struct {
        const char* keyword;
        int notime, prettynum, time_down;
    } cases[] = {{":NOTIME", 1, 0, 0}, {":PRETTYNUM", 0, 1, 0}, {":TIME-DOWN", 0, 0, 1}};
    for (const auto& c : cases) {
        const graph_set& s = parse(std::string(":TABLE t\n") + c.keyword + "\n:VAR x\n");
        ASSERT_EQ(s.defs.size(), 1u) << c.keyword;
        EXPECT_EQ(s.defs[0].notime, c.notime) << c.keyword;
        EXPECT_EQ(s.defs[0].prettynum, c.prettynum) << c.keyword;
        EXPECT_EQ(s.defs[0].time_down, c.time_down) << c.keyword;
    }
}

// A MEAN line keeps its text through the writer; a bare one has none.
TEST_F(GraphTextKeywords, AMeanLineKeepsItsText) {
    const graph_set& s = parse(":GRAPH g\n:VAR a\n:SENS-LINES 50\n:MEAN average of all\n"
                               ":VAR b\n:CONFIDENCE 90\n:MEAN\n");
    const graph_set s_back = again(s);
    for (const graph_set* set : {&s, &s_back}) {
        ASSERT_EQ(set->defs.size(), 1u);
        ASSERT_EQ(set->defs[0].vars.size(), 2u);
        EXPECT_EQ(set->defs[0].vars[0].mean, 1);
        EXPECT_EQ(set->defs[0].vars[0].mean_text, "average of all");
        EXPECT_EQ(set->defs[0].vars[1].mean, 1);
        EXPECT_EQ(set->defs[0].vars[1].mean_text, "");
    }
}

// A comma inside quotes is part of the name; outside it parts the entries.
TEST_F(GraphTextKeywords, AQuotedNameKeepsItsComma) {
    std::string name, label;
    int no_subs = 0;
    const char* rest = split_var_entry("\"cost, total\"|Cost,b", name, label, no_subs);
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(name, "\"cost, total\"");
    EXPECT_EQ(label, "Cost");
    EXPECT_EQ(no_subs, 1);
    rest = split_var_entry(rest, name, label, no_subs);
    EXPECT_EQ(name, "b");
    EXPECT_EQ(split_var_entry(rest, name, label, no_subs), nullptr);
    const graph_set& s = parse(":GRAPH g\n:VAR \"a, b\",c\n");
    ASSERT_EQ(s.defs.size(), 1u);
    ASSERT_EQ(s.defs[0].vars.size(), 2u);
    EXPECT_EQ(s.defs[0].vars[0].name, "\"a, b\"");
    EXPECT_EQ(s.defs[0].vars[1].name, "c");
}

// ":1" to ":9" pick the selected runs 1 to 9, each with its label.
TEST_F(GraphTextKeywords, RunKeywordsOneToNinePickTheirRun) {
    for (int n = 1; n <= 9; ++n) {
        std::string value;
        const std::string line = ":" + std::to_string(n) + "|run " + std::to_string(n);
        EXPECT_EQ(decode_keyword_line(line.c_str(), 0, &value), kw_run1 + n - 1) << line;
        const graph_set& s = parse(":GRAPH g\n:VAR a\n" + line + "\n");
        ASSERT_EQ(s.defs.size(), 1u) << line;
        ASSERT_EQ(s.defs[0].vars.size(), 1u) << line;
        EXPECT_EQ(s.defs[0].vars[0].run, n - 1) << line;
        EXPECT_EQ(s.defs[0].vars[0].run_label, "run " + std::to_string(n)) << line;
    }
    EXPECT_TRUE(message_log::messages.empty());
}

// Bounds that need all nine digits of a float read back exactly.
TEST_F(GraphTextKeywords, BoundsKeepEveryDigitThroughTheWriter) {
    graph_def g = make_graph_def(gd_line);
    g.name = "g";
    g.x_min = 0.1f;
    g.x_max = 2.0f / 3.0f; // no six- or seven-digit form reads back as this
    g.plot_width = 1.0f / 3.0f;
    graph_var v;
    v.name = "x";
    v.y_min = 123456.789f;
    v.y_max = std::nextafter(1.0f, 2.0f);
    g.vars.push_back(v);
    graph_set set;
    set.defs.push_back(g);
    const graph_set& back = again(set);
    ASSERT_EQ(back.defs.size(), 1u);
    const graph_def& d = back.defs[0];
    EXPECT_EQ(d.x_min, g.x_min);
    EXPECT_EQ(d.x_max, g.x_max);
    EXPECT_EQ(d.plot_width, g.plot_width);
    ASSERT_EQ(d.vars.size(), 1u);
    EXPECT_EQ(d.vars[0].y_min, v.y_min);
    EXPECT_EQ(d.vars[0].y_max, v.y_max);
}

// A table's two cell widths are read each into its own field.
TEST_F(GraphTextKeywords, ATablesCellWidthsAreEachTheirOwn) {
    const graph_set both = parse(":TABLE t\n:CELLWIDTH 9\n:FIRST-CELLWIDTH 12\n:VAR x\n");
    ASSERT_EQ(both.defs.size(), 1u);
    EXPECT_EQ(both.defs[0].cellwidth, 9);
    EXPECT_EQ(both.defs[0].first_cellwidth, 12);
    const graph_set one = parse(":TABLE t\n:CELLWIDTH 7\n:VAR x\n");
    ASSERT_EQ(one.defs.size(), 1u);
    EXPECT_EQ(one.defs[0].cellwidth, 7);
    EXPECT_EQ(one.defs[0].first_cellwidth, 0);
}

// Lines that begin with "!" are comments: read over without a word, inside
// a definition too.
TEST_F(GraphTextKeywords, ExclamationLinesAreComments) {
    const graph_set s = parse("! the set's own note\n:GRAPH g\n  ! about the variable\n:VAR x\n"
                              "!\n:VAR y\n");
    ASSERT_EQ(s.defs.size(), 1u);
    ASSERT_EQ(s.defs[0].vars.size(), 2u);
    EXPECT_EQ(s.defs[0].vars[1].name, "y");
    EXPECT_TRUE(message_log::messages.empty());
}

} // namespace

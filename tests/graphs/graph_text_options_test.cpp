// A line graph's page and plotting options in the graph set text: the last
// of two opposite keywords holds, scale limits given before the variables
// apply to each variable that gives none of its own, and every option comes
// back from the set's own writer.
#include "graphs/sets/gdtext.h"
#include "graphs/sets/graphset.h"
#include "shell/upcalls.h"
#include "tests/common/message_log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class GraphTextOptions : public ::testing::Test {
protected:
    void SetUp() override {
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
    }
    void TearDown() override {
        for (std::size_t i = 1; i < graph_sets().size(); ++i) free_graph_set(static_cast<int>(i));
        set_message_hook(nullptr);
    }
    // A copy: a later read may grow the list of sets and move them.
    graph_set parse(const std::string& body) {
        const std::string text = std::string(graph_set_marker_line) + "\n" + body;
        const int i = load_graph_set_text(text.c_str(), 0, 0, 0);
        EXPECT_GT(i, 0);
        return graph_sets()[static_cast<std::size_t>(i)];
    }
};

TEST_F(GraphTextOptions, TheLaterOfTwoOppositeKeywordsHolds) {
    const graph_set& s = parse(":GRAPH a\n:PORTRAIT\n:LANDSCAPE\n:LABEL-INTERVALS\n:LABEL-LINES\n"
                               ":DOTS\n:VAR x\n"
                               ":GRAPH b\n:LANDSCAPE\n:PORTRAIT\n:LABEL-LINES\n:LABEL-INTERVALS\n"
                               ":DOTS\n:DOTS-LINES\n:VAR x\n");
    ASSERT_EQ(s.defs.size(), 2u);
    EXPECT_EQ(s.defs[0].portrait, 0);
    EXPECT_EQ(s.defs[0].label_intervals, 0);
    EXPECT_EQ(s.defs[0].dots, 1);
    EXPECT_EQ(s.defs[1].portrait, 1);
    EXPECT_EQ(s.defs[1].label_intervals, 1);
    EXPECT_EQ(s.defs[1].dots, 2);
    EXPECT_TRUE(message_log::messages.empty());
}

TEST_F(GraphTextOptions, ScaleLimitsBeforeTheVariablesAreTheirDefaults) {
    const graph_set& s =
        parse(":GRAPH g\n:Y-MIN -5\n:Y-MAX 40\n:VAR a\n:Y-MAX 9\n:VAR b\n:VAR c\n:Y-MIN 2.5\n");
    ASSERT_EQ(s.defs.size(), 1u);
    const auto& v = s.defs[0].vars;
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].y_min, -5.0f);
    EXPECT_EQ(v[0].y_max, 9.0f) << "a variable's own limit wins over the graph's";
    EXPECT_EQ(v[1].y_min, -5.0f);
    EXPECT_EQ(v[1].y_max, 40.0f);
    EXPECT_EQ(v[2].y_min, 2.5f);
    EXPECT_EQ(v[2].y_max, 40.0f);
}

TEST_F(GraphTextOptions, OptionsComeBackFromTheWriter) {
    const graph_set& first =
        parse(":GRAPH g\n:PORTRAIT\n:LABEL-INTERVALS\n:DOTS-LINES\n:Y-MAX 40\n:VAR a\n:VAR b\n"
              ":GRAPH h\n:DOTS\n:VAR c\n");
    std::string error;
    const std::string text = graph_set_text(first, true, &error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_NE(text.find(":DOTS-LINES\r\n"), std::string::npos);
    EXPECT_NE(text.find(":DOTS\r\n"), std::string::npos);
    EXPECT_NE(text.find(":PORTRAIT\r\n"), std::string::npos);
    const int again = load_graph_set_text(text.c_str(), 0, 0, 0);
    ASSERT_GT(again, 0);
    const graph_set& second = graph_sets()[static_cast<std::size_t>(again)];
    ASSERT_EQ(second.defs.size(), 2u);
    EXPECT_EQ(second.defs[0].portrait, 1);
    EXPECT_EQ(second.defs[0].label_intervals, 1);
    EXPECT_EQ(second.defs[0].dots, 2);
    ASSERT_EQ(second.defs[0].vars.size(), 2u);
    EXPECT_EQ(second.defs[0].vars[1].y_max, 40.0f);
    EXPECT_EQ(second.defs[1].dots, 1);
    EXPECT_EQ(second.defs[1].portrait, 0);
}

// A table's title and the current-run mark may come after its other
// keywords, not only right after the TABLE line; the writer puts them back
// at the head, where they read the same.
TEST_F(GraphTextOptions, ATablesLateTitleAndCurrentRunMarkAreKept) {
    const graph_set& first = parse(":TABLE t\n:WIDTH 320\n:TITLE Late title\n:WIP\n:VAR x\n");
    ASSERT_EQ(first.defs.size(), 1u);
    EXPECT_EQ(first.defs[0].title, "Late title");
    EXPECT_EQ(first.defs[0].wip, 1);
    const std::string text = graph_set_text(first, true, nullptr);
    EXPECT_NE(text.find(":TABLE t\r\n:TITLE Late title\r\n:WIP\r\n"), std::string::npos) << text;
    const int again = load_graph_set_text(text.c_str(), 0, 0, 0);
    ASSERT_GT(again, 0);
    const graph_def& back = graph_sets()[static_cast<std::size_t>(again)].defs.at(0);
    EXPECT_EQ(back.title, "Late title");
    EXPECT_EQ(back.wip, 1);
    EXPECT_EQ(back.plot_width, 320.0f);
}

} // namespace

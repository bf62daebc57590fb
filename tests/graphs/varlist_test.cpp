// The variables a graph of a variable's causes or uses shows: the variable
// first, then the others by name, each element once, lookups apart.
#include "graphs/linegraph.h"
#include "graphs/varlist.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "tests/support/model_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(GraphVariableList, TheVariableFirstThenItsCausesByName) {
    model_builder b("causes");
    b.constant("zeta", 1);
    b.constant("Alpha", 2);
    b.constant("middle", 3);
    b.aux("total", "zeta + Alpha + middle");
    b.aux("user", "total * 2");
    ASSERT_TRUE(b.finish());
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    ASSERT_EQ(lock_model(1), 1);
    const symbol_id total = find_symbol("total");
    const std::vector<std::string> causes = graph_variable_list(total, 0, nullptr, nullptr);
    const std::vector<std::string> uses = graph_variable_list(total, 1, nullptr, nullptr);
    const std::vector<std::string> alone = graph_variable_list(total, 2, nullptr, nullptr);
    unlock_model(1);
    EXPECT_EQ(causes, (std::vector<std::string>{"total", "Alpha", "middle", "zeta"}));
    EXPECT_EQ(uses, (std::vector<std::string>{"total", "user"}));
    EXPECT_EQ(alone, (std::vector<std::string>{"total"}));
    close_model(0, 0);
}

// A size from a tool set is kept to 1 mm .. 10 m: nothing of no size or of a
// negative one, nothing past the limit.
TEST(StackedTools, GraphSizesAreKeptFromOneMillimetreToTenMetres) {
    EXPECT_EQ(sane_graph_mm(0), 1);
    EXPECT_EQ(sane_graph_mm(-40), 1);
    EXPECT_EQ(sane_graph_mm(1), 1);
    EXPECT_EQ(sane_graph_mm(152), 152);
    EXPECT_EQ(sane_graph_mm(10000), 10000);
    EXPECT_EQ(sane_graph_mm(10001), 10000);
}

// The stacked tools' three fonts start as the graphs' first font at 12, 10
// and 8 points, plain.
TEST(StackedTools, TheThreeFontsStartAtTwelveTenAndEightPoints) {
    font_spec font{}, small{}, smallest{};
    default_stacked_fonts(font, small, smallest);
    EXPECT_EQ(font.size, 12);
    EXPECT_EQ(small.size, 10);
    EXPECT_EQ(smallest.size, 8);
    for (const font_spec* f : {&font, &small, &smallest}) {
        EXPECT_EQ(f->style, 0);
        EXPECT_STREQ(f->face, graph_defaults().fonts[0].face);
    }
}

} // namespace

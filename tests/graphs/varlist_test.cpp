// The variables a graph of a variable's causes or uses shows: the variable
// first, then the others by name, each element once, lookups apart.
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

} // namespace

// The causes a view's check walks come in the order a user reads names in:
// case ignored, a name before any longer one it begins.
#include <string>
#include <vector>

#include "model/model.h"
#include "sketch/views.h"
#include "tests/sketch/sketch_fixture.h"
#include "tests/support/model_builder.h"

namespace {

class CauseOrder : public SketchTest {};

TEST_F(CauseOrder, CausesComeInNameOrderIgnoringCase) {
    model_builder b("order");
    b.constant("Zeta", 1);
    b.constant("alpha", 1);
    b.constant("alphabet", 1);
    b.constant("Beta", 1);
    b.constant("gamma 2", 1);
    b.constant("Gamma", 1);
    b.constant("Mid point", 1);
    symbol_id target =
        b.aux("target", "Zeta + mid_point + alphabet + gamma_2 + Beta + alpha + Gamma");
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors().front());
    model_lock_guard g(b.symbols(), 1);
    ASSERT_TRUE(g.ok());
    std::vector<std::string> names;
    for (const view_cause& c : collect_causes(target)) {
        std::string n = sym_name(c.symbol);
        names.push_back(n);
    }
    const std::vector<std::string> want = {"alpha",   "alphabet",  "Beta", "Gamma",
                                           "gamma 2", "Mid point", "Zeta"};
    EXPECT_EQ(names, want);
}

} // namespace

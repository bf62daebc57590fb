// The Strip Graph of all variables: it needs no workbench variable, strips
// every variable with a behaviour, lists the constants per run and gives
// each lookup of the model its own x-against-y strip.
#include "foundation/textsrc.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/moregraphs.h"
#include "graphs/strip.h"
#include "model/context.h"
#include "model/varnames.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/palette.h"
#include "shell/toolset.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"
#include "tests/graphs/graph_windows_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/run_builder.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class StripAllVariables : public GraphToolTest {
protected:
    StripAllVariables() : GraphToolTest("Strip Graph") {}
    void SetUp() override {
        GraphToolTest::SetUp();
        ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        std::vector<float> times, pop, births, deaths;
        for (int t = 0; t <= 50; ++t) {
            times.push_back(float(t));
            pop.push_back(1000.0f + 10.0f * t);
            births.push_back(40.0f + t);
            deaths.push_back(16.0f);
        }
        run_builder rb(cur_model_symbols, 'R');
        rb.times(times)
            .series("Population", pop)
            .series("births", births)
            .series("deaths", deaths)
            .constant("birth rate", 0.04f)
            .constant("carrying capacity", 10000);
        const std::string path = dir + "/all.kdf";
        ASSERT_EQ(rb.write(path), 1) << rb.error();
        ASSERT_EQ(load_runs(model_rec, 1, path.c_str(), 1, 0), 1);
        workbench_var = {}; // the whole model needs no chosen variable
    }
    void TearDown() override {
        set_message_hook(nullptr);
        GraphToolTest::TearDown();
    }
    void run_all_variables() {
        tool_ = new_tool(find_tool_row("Strip Graph"), "All Strip", 156);
        // Variable choice 3 (all variables), over time.
        const std::string line = "0,3,1,1,0,1,1,1,1,1,1,0,0,6,2,0,Arial|12||0-0-0,"
                                 "Arial|10||0-0-0,Arial|8||0-0-0,60,25,10,0,";
        const char* lines[] = {line.c_str()};
        ASSERT_EQ(push_text_source(lines, 1, 0), 1);
        strip_tool_setup(0, tool_, nullptr, "x");
        close_text_source();
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
        run_tool();
    }
};

TEST_F(StripAllVariables, EveryVariableWithoutAWorkbenchVariable) {
    run_all_variables();
    EXPECT_FALSE(message_log::said("no workbench variable is chosen", 8));
    ASSERT_FALSE(last_strip_records().empty());
    std::set<std::string> strips, constants;
    for (handle rec : last_strip_records()) {
        const strip_window* w = strip_window_of(rec);
        ASSERT_NE(w, nullptr);
        for (const strip_plot& p : w->strips) strips.insert(p.name);
        for (const strip_constant& c : w->constants) constants.insert(c.name);
    }
    for (const char* dynamic : {"Population", "births", "deaths"})
        EXPECT_EQ(strips.count(dynamic), 1u) << dynamic;
    for (const char* lookup : {"crowding effect on births", "crowding effect on deaths"})
        EXPECT_EQ(strips.count(lookup), 1u) << lookup;
    for (const char* constant : {"birth rate", "average lifetime", "carrying capacity"})
        EXPECT_EQ(constants.count(constant), 1u) << constant;
    EXPECT_EQ(strips.count("birth rate"), 0u) << "constants are listed, not stripped";
}

} // namespace

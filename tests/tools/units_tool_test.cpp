// The Units Check tool on the workbench variable: its own text window shows
// the variable's units, the mismatches as the check reports them and a line
// that says how the check ended (agreement included); no variable chosen is
// said in a box.
#include "foundation/report.h"
#include "model/context.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/units.h"
#include "model/varnames.h"
#include "shell/msgbox.h"
#include "shell/toolset.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/model_builder.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/textwin.h"
#include "tools/units_tool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class UnitsTool : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_text_hooks();
        make_workbench();
        init_vocabulary();
        workbench_var = {};
        model_builder b("units");
        b.constant("birth rate", 0.1f, "1/Year");
        b.level("Population", "births", "1000", "people");
        b.aux("births", "Population * birth rate", "people/Year");
        b.aux("wrong", "Population * birth rate", "people");
        b.aux("nounits", "Population * 2");
        // A sum with one term of other units; a product over a range.
        b.aux("orders", "100 + Population * birth rate + 10 * SIN(Population / 1000)",
              "people/Year");
        b.range("region", {"north", "south"});
        b.aux("share[region]", "Population / 2", "people");
        b.aux("share product", "PROD(share[region!]) / 1e6", "dmnl");
        b.aux("unknown part", "Population ^ birth rate", "people");
        // Two equations, the second of other units.
        b.aux("split[north]", "Population", "people");
        b.aux("split[south]", "Population * birth rate", "people");
        ASSERT_TRUE(b.finish());
        model_pair m = b.release();
        ASSERT_NE(read_model_settings(m.header, m.symbols), 0u);
        close_model(m.header, m.symbols);
        set_tool_setup(find_tool_row("Units Check"), units_tool_setup);
        tool_ = new_tool(find_tool_row("Units Check"), "Units Check", 0);
        units_tool_setup(0, tool_, nullptr, nullptr);
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        free_tool(tool_);
        set_tool_setup(find_tool_row("Units Check"), nullptr);
        close_model(0, 0);
        workbench_var = {};
        ShellWorkbenchTest::TearDown();
    }
    // Runs the tool as the palette would, through its recorded action, and
    // gives the lines of the window it showed.
    std::vector<std::string> run(const char* var) {
        workbench_var.var = var ? find_symbol(var) : 0;
        tool_record* r = lock_tool(tool_);
        tool_action action = tool_action_of(r->action);
        unlock_tool(tool_);
        EXPECT_NE(action, nullptr);
        if (!action) return {};
        action(tool_);
        test_driver::run_until_idle();
        EXPECT_EQ(model_lock_flag, -1);     // unlocked on the way out
        EXPECT_EQ(message_text_window, 0u); // the window is named only while checking
        r = lock_tool(tool_);
        const handle out = r->output;
        unlock_tool(tool_);
        std::vector<std::string> lines;
        if (const text_lines* l = textwin_lines(out))
            for (int i = 0; i < l->lines(); ++i) lines.emplace_back(l->line(i));
        return lines;
    }
    static bool has(const std::vector<std::string>& lines, const std::string& part) {
        for (const std::string& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    handle tool_ = 0;
};

TEST_F(UnitsTool, ShowsWhatTheEquationsUnitsSayInItsOwnWindow) {
    tool_record* r = lock_tool(tool_);
    EXPECT_EQ(r->icon, 0x2D0050u);
    unlock_tool(tool_);

    std::vector<std::string> lines = run("births");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Units of births: people/Year");
    EXPECT_EQ(lines.back(), "The units of births agree.");
    // Agreement is no error: nothing is labelled so.
    EXPECT_FALSE(has(lines, "ERROR"));

    lines = run("wrong");
    EXPECT_TRUE(has(lines, "ERROR:")) << lines.size();
    EXPECT_TRUE(has(lines, "Right hand and left hand units do not match"));
    EXPECT_TRUE(has(lines, "wrong: "));
    EXPECT_EQ(lines.back(), "The units of wrong do not agree (1 of 1 equations).");
    // The mismatch also went to the message list the Error History shows.
    int n = 0;
    const char* const* kept = message_list_lines(&n);
    bool in_list = false;
    for (int i = 0; i < n; ++i)
        in_list |= std::string(kept[i]).find("do not match") != std::string::npos;
    EXPECT_TRUE(in_list);

    lines = run("nounits");
    EXPECT_TRUE(has(lines, "cannot be told"));
    EXPECT_TRUE(has(lines, "Units of nounits: (none given)"));
}

// The window names the term at fault: the one of a sum whose units differ,
// or the part whose units the check cannot tell, with the variables inside
// it that have units.
TEST_F(UnitsTool, TheTermAtFaultIsNamed) {
    std::vector<std::string> lines = run("orders");
    auto joined = [&] {
        std::string all;
        for (const std::string& l : lines) all += l + "\n";
        return all;
    };
    EXPECT_TRUE(has(lines, "orders: the terms of its sum have different units")) << joined();
    EXPECT_TRUE(has(lines, "Term 10 * SIN(Population / 1000) has units 1")) << joined();
    EXPECT_FALSE(has(lines, "Term Population * birth rate")) << "a fitting term is not named";
    EXPECT_FALSE(has(lines, "Term 100")) << "a number fits any units";

    // All terms of one kind but not the wanted one: the mismatch and the term.
    lines = run("wrong");
    EXPECT_TRUE(has(lines, "Term Population * birth rate has units people/Year")) << joined();

    // A product over a range of two: people squared, not the wanted dmnl.
    lines = run("share product");
    EXPECT_TRUE(has(lines, "Term PROD(share[region!]) / 1e+06 has units people*people") ||
                has(lines, "Term PROD(share[region!]) / 1e6 has units people*people"))
        << joined();
    EXPECT_EQ(lines.back(), "The units of share product do not agree (1 of 1 equations).");

    // A part whose units cannot be told is named with the variables in it
    // that have units.
    lines = run("unknown part");
    EXPECT_TRUE(has(lines, "cannot be told from those of Population (people)")) << joined();
    EXPECT_TRUE(has(lines, "cannot be told: a side of its equation has no units")) << joined();
}

TEST_F(UnitsTool, NoVariableChosenIsSaidInABox) {
    answerer::box(severity_caption(8)).text("no workbench variable is chosen").press(IDOK);
    workbench_var.var = 0;
    tool_record* r = lock_tool(tool_);
    tool_action action = tool_action_of(r->action);
    unlock_tool(tool_);
    action(tool_);
    EXPECT_EQ(answerer::pending(), 0u);
}

// A variable of two equations, one of which does not agree: the closing line
// counts the faulty ones of all of them.
TEST_F(UnitsTool, TheClosingLineCountsTheFaultyEquationsOfAll) {
    const std::vector<std::string> lines = run("split");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "The units of split do not agree (1 of 2 equations).");
}

} // namespace

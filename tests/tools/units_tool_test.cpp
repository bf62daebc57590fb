// The Units Check tool on the workbench variable: agreeing and mismatching
// equations, a variable without units, and no variable chosen.
#include "foundation/report.h"
#include "model/context.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/units.h"
#include "model/varnames.h"
#include "shell/toolset.h"
#include "tests/common/message_log.h"
#include "tests/support/model_builder.h"
#include "tools/units_tool.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class UnitsTool : public ::testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
        sink_ = std::tmpfile();
        set_report_stream(sink_);
        workbench_var = {};
        model_builder b("units");
        b.constant("birth rate", 0.1f, "1/Year");
        b.level("Population", "births", "1000", "people");
        b.aux("births", "Population * birth rate", "people/Year");
        b.aux("wrong", "Population * birth rate", "people");
        b.aux("nounits", "Population * 2");
        ASSERT_TRUE(b.finish());
        model_pair m = b.release();
        ASSERT_NE(read_model_settings(m.header, m.symbols), 0u);
        close_model(m.header, m.symbols);
        set_tool_setup(find_tool_row("Units Check"), units_tool_setup);
        tool_ = new_tool(find_tool_row("Units Check"), "Units Check", 0);
        units_tool_setup(0, tool_, nullptr, nullptr);
    }
    void TearDown() override {
        free_tool(tool_);
        set_tool_setup(find_tool_row("Units Check"), nullptr);
        close_model(0, 0);
        workbench_var = {};
        set_report_stream(nullptr);
        set_message_hook(nullptr);
        if (sink_) std::fclose(sink_);
    }
    // Runs the tool as the palette would: through its recorded action.
    void run(const char* var) {
        message_log::messages.clear();
        workbench_var.var = var ? find_symbol(var) : 0;
        tool_record* r = lock_tool(tool_);
        tool_action action = tool_action_of(r->action);
        unlock_tool(tool_);
        ASSERT_NE(action, nullptr);
        action(tool_);
        EXPECT_EQ(model_lock_flag, -1); // unlocked on the way out
    }
    std::FILE* sink_ = nullptr;
    handle tool_ = 0;
};

TEST_F(UnitsTool, ReportsWhatTheEquationsUnitsSay) {
    tool_record* r = lock_tool(tool_);
    EXPECT_EQ(r->icon, 0x2D0050u);
    unlock_tool(tool_);

    run("births");
    EXPECT_TRUE(message_log::said("Units Check: the units of births agree"));
    run("wrong");
    EXPECT_TRUE(message_log::said("Right hand and left hand units do not match"));
    EXPECT_FALSE(message_log::said("agree"));
    run("nounits");
    EXPECT_TRUE(message_log::said("cannot be told"));
    run(nullptr);
    // A click with nothing chosen says so in a box, not only in the error
    // window the user may not have open.
    EXPECT_TRUE(message_log::said("no workbench variable is chosen", 8));
}

} // namespace

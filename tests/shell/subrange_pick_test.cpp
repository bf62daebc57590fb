// Picking a subscripted variable by its text: a sub-range fits a dimension
// whatever elements it holds, the first of the range's included; and the
// note of a constant gives its model value to six digits.
#include "shell_fixture.h"

#include "model/varnames.h"
#include "shell/varselect.h"
#include "tests/support/model_builder.h"

#include <cstring>
#include <string>

namespace {

class SubrangePick : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        reset_varselect_state();
        make_workbench();
        model_builder b("picks");
        b.control(0, 2, 1, 1);
        b.range("region", {"north", "south", "east"});
        b.range("near", {"north", "south"});
        b.range("far", {"south", "east"});
        b.range("product", {"food", "tools"});
        b.aux("flow[region]", "1");
        b.constant("unit price", 1234.567f, "dollar");
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
        const std::string path = dir + "/picks.kmf";
        ASSERT_EQ(b.write(path.c_str()), 1);
        ASSERT_EQ(open_model(1, -1, path.c_str(), 0), 1);
    }
    void close_windows() override {
        ShellWorkbenchTest::close_windows();
        workbench_var = {};
        reset_varselect_state();
    }
    static int pick(const char* text) {
        return select_var_text(text, 0, static_cast<int>(std::strlen(text)));
    }
};

TEST_F(SubrangePick, SubRangesAndElementsFitTheirRangeOthersDoNot) {
    EXPECT_EQ(pick("flow[near]"), 1) << "holds the range's first element";
    EXPECT_EQ(workbench_var_text(), "flow[near]");
    EXPECT_EQ(pick("flow[far]"), 1);
    EXPECT_EQ(pick("flow[north]"), 1);
    EXPECT_EQ(workbench_var_text(), "flow[north]");
    EXPECT_EQ(pick("flow[region]"), 1);
    EXPECT_EQ(pick("flow[product]"), 0);
    EXPECT_EQ(pick("flow[food]"), 0);
    EXPECT_EQ(workbench_var_text(), "flow[region]") << "a refused text keeps the last pick";
}

TEST_F(SubrangePick, AConstantsNoteGivesItsValueToSixDigits) {
    EXPECT_EQ(variable_note(find_symbol("unit price")), "Units: dollar  Base model value: 1234.57");
}

} // namespace

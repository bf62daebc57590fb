// The text tools' windows on their default options use the default text
// font: the Document and Outline windows' lines are as high as those of a
// text window opened with no font at all.
#include "model/model.h"
#include "model/varnames.h"
#include "tests/tools/text_tools_fixture.h"
#include "tools/textwin.h"

#include <gtest/gtest.h>

namespace {

class TextToolFonts : public TextToolsTest {};

TEST_F(TextToolFonts, DefaultOptionsWriteInTheDefaultTextFont) {
    lock_model(0);
    workbench_var.var = find_symbol("Population");
    unlock_model(0);
    handle plain = open_text_window("Plain", 10, 10, 300, 200, 0, nullptr);
    ASSERT_NE(plain, 0u);
    const int height = textwin_line_height(plain);
    ASSERT_GT(height, 0);
    for (const char* row : {"Document", "Outline"}) {
        SCOPED_TRACE(row);
        handle rec = run(tool(row, row));
        ASSERT_NE(rec, 0u);
        EXPECT_FALSE(lines(rec).empty());
        EXPECT_EQ(textwin_line_height(rec), height);
    }
}

} // namespace

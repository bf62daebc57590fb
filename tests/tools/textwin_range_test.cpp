// A text window's horizontal range counts a line's last part step as a whole
// step, so the end of every line can be scrolled into view.
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/textwin_fixture.h"

namespace {

class TextWindowRange : public TextWindowTest {};

TEST_F(TextWindowRange, APartStepAtALinesEndCountsAsAStep) {
    handle rec = open_text_window("Range", 10, 10, 300, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    test_driver::run_until_idle();
    EXPECT_EQ(textwin_view(rec).longest, 0) << "no lines, no range";
    // A step is wider than one character: one character is one step.
    ASSERT_GT(textwin_step(rec), 1);
    textwin_printf(0, rec, 1, ".\n");
    EXPECT_EQ(textwin_view(rec).longest, 1);
    textwin_printf(0, rec, 1, "M\n");
    EXPECT_EQ(textwin_view(rec).longest, 1);
    // A long line: its whole width within the range, less than a step over.
    textwin_printf(0, rec, 1, "%s\n", std::string(101, 'M').c_str());
    const int longest = textwin_view(rec).longest;
    textwin_printf(0, rec, 1, "%s\n", std::string(100, 'M').c_str());
    EXPECT_EQ(textwin_view(rec).longest, longest) << "a shorter line changes nothing";
    textwin_printf(0, rec, 1, "%s\n", std::string(101 + 200, 'M').c_str());
    EXPECT_GT(textwin_view(rec).longest, longest);
}

} // namespace

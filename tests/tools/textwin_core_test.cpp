// The text window's windowless parts: the line store and its splitting, the
// follow rule, the horizontal step and the extent of a clicked name.
#include "tools/textwin_core.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string extent(std::string_view text, int pos) {
    int s = -1, e = -1;
    find_name_extent(text, pos, static_cast<int>(text.size()), &s, &e);
    EXPECT_LE(s, e);
    return std::string(text.substr(static_cast<std::size_t>(s), static_cast<std::size_t>(e - s)));
}

} // namespace

TEST(TextLines, SplitsAtLineFeedsWithoutATrailingEmptyLine) {
    text_lines t;
    EXPECT_EQ(t.append("one\n"), 1) << "a final line feed adds no empty line";
    EXPECT_EQ(t.append("two\nthree"), 2);
    EXPECT_EQ(t.append(""), 1) << "an empty text is an empty line";
    EXPECT_EQ(t.append("a\n\n"), 2);
    EXPECT_EQ(t.append(std::string_view("crlf\r\nnul\0x", 11)), 2);
    ASSERT_EQ(t.lines(), 8);
    EXPECT_EQ(t.text(), std::string("one\ntwo\nthree\n\na\n\ncrlf\nnul x\n"));
    EXPECT_EQ(t.line(2), "three");
    EXPECT_EQ(t.line(3), "");
    EXPECT_EQ(t.line(7), "nul x");
    EXPECT_EQ(t.line(8), "") << "outside the store";
    EXPECT_EQ(t.line(-1), "");
    EXPECT_EQ(t.line_of(0), 0);
    EXPECT_EQ(t.line_of(4), 1);
    EXPECT_EQ(t.line_of(t.bytes() + 10), 7);
    EXPECT_EQ(t.line_start(8), t.bytes());
}

TEST(TextLines, ClipboardFormHasCrLfAndStepIsAtLeastOne) {
    EXPECT_EQ(crlf_text("a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(crlf_text(""), "");
    // Kept in a byte, five widths of "M" turned negative from 26 pixels.
    EXPECT_EQ(text_step(26), 130);
    EXPECT_EQ(text_step(60), 300);
    EXPECT_EQ(text_step(0), 1);
    EXPECT_EQ(text_step(-3), 1);
}

TEST(TextFollow, ScrollsAtTheEndOnlyAndKeepsAViewScrolledBack) {
    text_view v;
    v.visible = 3;
    // Until the window is full only the new line's band changes.
    for (int lines = 1; lines <= 3; ++lines)
        EXPECT_EQ(follow_append(v, lines), follow_result::band);
    EXPECT_EQ(v.top, 0);
    // At the end every line moves the view down one.
    EXPECT_EQ(follow_append(v, 4), follow_result::scrolled);
    EXPECT_EQ(v.top, 1);
    EXPECT_EQ(follow_append(v, 5), follow_result::scrolled);
    EXPECT_EQ(v.top, 2);
    // Scrolled back, appending leaves the view where the reader put it.
    v.top = 0;
    EXPECT_EQ(follow_append(v, 6), follow_result::kept);
    EXPECT_EQ(v.top, 0);
    // Clamping keeps the last page full and the top in range.
    v.top = 50;
    clamp_view(v, 6);
    EXPECT_EQ(v.top, 3);
    v.top = -4;
    clamp_view(v, 2);
    EXPECT_EQ(v.top, 0);
}

TEST(NameExtent, FindsPlainQuotedHashedAndSubscriptedNames) {
    const std::string line = "  births = birth rate * Population\tx";
    EXPECT_EQ(extent(line, 4), "births");
    EXPECT_EQ(extent(line, 13), "birth rate") << "blanks belong to names";
    EXPECT_EQ(extent(line, 27), "Population");
    EXPECT_EQ(extent(line, 9), "") << "on an operator";
    EXPECT_EQ(extent(line, 35), "x") << "after a tab";
    EXPECT_EQ(extent("a \"odd, name\" + b", 6), "\"odd, name\"");
    EXPECT_EQ(extent("\"say \\\"hi\\\"\" z", 3), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(extent("(#macro (x)# ok)", 4), "#macro (x)#");
    EXPECT_EQ(extent("Stock[north, food] + 1", 2), "Stock[north, food]");
    EXPECT_EQ(extent("Stock[north, food] + 1", 8), "Stock[north, food]");
    // A name stops at line ends on either side.
    EXPECT_EQ(extent("first\nsecond", 7), "second");
    EXPECT_EQ(extent("first\nsecond", 2), "first");
}

TEST(NameExtent, StaysInsideTheTextWhateverItIsGiven) {
    int s = -1, e = -1;
    find_name_extent("abc", 10, 3, &s, &e);
    EXPECT_EQ(s, 3);
    EXPECT_EQ(e, 3);
    find_name_extent("abc def", 1, 2, &s, &e); // a limit inside the text
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 2);
    find_name_extent("\"open quote", 3, 11, &s, &e);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 11) << "an unclosed quote runs to the end";
    find_name_extent("x[1,2", 0, 5, &s, &e);
    EXPECT_EQ(e, 5) << "an unclosed subscript list runs to the end";
    find_name_extent("", 0, 0, &s, &e);
    EXPECT_EQ(s, e);
    find_name_extent("abc", -5, -1, &s, &e);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 0);
}

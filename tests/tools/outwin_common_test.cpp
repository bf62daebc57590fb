// What the tools' own windows share: where a scroll bar's codes move to,
// the size a window opens at when none is given, and the default font.
#include "platform/controls.h"
#include "platform/gdi.h"
#include "shell/state.h"
#include "tests/shell/shell_fixture.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputWindowsCommon, ScrollCodesMoveByALineAPageOrToEitherEnd) {
    // At position 10 of 50, four positions a page.
    EXPECT_EQ(outwin_scroll_target(SB_LINEUP, 10, 4, 50, 0), 9);
    EXPECT_EQ(outwin_scroll_target(SB_LINEDOWN, 10, 4, 50, 0), 11);
    EXPECT_EQ(outwin_scroll_target(SB_PAGEUP, 10, 4, 50, 0), 6);
    EXPECT_EQ(outwin_scroll_target(SB_PAGEDOWN, 10, 4, 50, 0), 14);
    EXPECT_EQ(outwin_scroll_target(SB_TOP, 10, 4, 50, 0), 0);
    EXPECT_EQ(outwin_scroll_target(SB_BOTTOM, 10, 4, 50, 0), 50);
    // A bar short enough for its own positions: the thumb is the position.
    EXPECT_EQ(outwin_scroll_target(SB_THUMBTRACK, 10, 4, 50, 20), 20);
    EXPECT_EQ(outwin_scroll_target(SB_THUMBPOSITION, 10, 4, 50, 37), 37);
    EXPECT_FALSE(outwin_scroll_target(SB_ENDSCROLL, 10, 4, 50, 0).has_value());
}

TEST(OutputWindowsCommon, AWindowWithoutASizeTakesTwoThirdsOfTheWidthAndHalfTheHeight) {
    const HWND saved = container_wnd;
    container_wnd = nullptr; // no container: a 640 x 480 area
    int w = 0, h = 0;
    RECT c = outwin_default_size(&w, &h);
    EXPECT_EQ(c.right, 640);
    EXPECT_EQ(c.bottom, 480);
    EXPECT_EQ(w, 426);
    EXPECT_EQ(h, 240);
    // A size given is kept; one side missing replaces both.
    w = 300, h = 200;
    outwin_default_size(&w, &h);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 200);
    w = 300, h = 0;
    outwin_default_size(&w, &h);
    EXPECT_EQ(w, 426);
    EXPECT_EQ(h, 240);
    container_wnd = saved;
}

class OutputWindowsFont : public ShellDialogTest {};

TEST_F(OutputWindowsFont, TheDefaultIsTenPointsInTheWindowTextColour) {
    outwin_font f;
    outwin_open_font(f, nullptr);
    ASSERT_NE(f.hfont, nullptr);
    ASSERT_NE(f.measure, nullptr);
    EXPECT_EQ(f.spec.size, 10);
    EXPECT_EQ(outwin_text_colour(f.spec), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_NE(GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW));
    TEXTMETRIC tm{};
    ASSERT_TRUE(GetTextMetrics(f.measure, &tm));
    // A line is at least the font's height.
    EXPECT_GE(f.line_height, tm.tmHeight);
    if (GetDeviceCaps(f.measure, LOGPIXELSY) == 96) {
        EXPECT_GE(f.line_height, 13); // 10 points at 96 pixels per inch
    }
    outwin_close_font(f);
    EXPECT_EQ(f.hfont, nullptr);
    EXPECT_EQ(f.measure, nullptr);

    font_spec red = f.spec;
    red.colour = RGB(200, 0, 0);
    EXPECT_EQ(outwin_text_colour(red), RGB(200, 0, 0));
}

} // namespace

// Text windows line by line: tab stops, printing the lines a drawn-out
// selection covers, the error window's title, and a tool's message window
// taking each message on a line of its own.
#include "foundation/report.h"
#include "platform/clip.h"
#include "platform/global.h"
#include "shell/fonts.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"
#include "sim/simdata.h"
#include "tests/common/command_output.h"
#include "tests/common/packages.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/tools/textwin_fixture.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/textwin.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <filesystem>
#include <string>

namespace td = test_driver;

namespace {

class TextWindowLines : public TextWindowTest {
protected:
    // The leftmost and rightmost columns with ink in a band of rows.
    static std::pair<int, int> ink_span(const QImage& img, int y0, int y1) {
        int left = img.width(), right = -1;
        for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 96) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return {left, right};
    }
    static std::string window_text(HWND w) {
        char buf[256] = {};
        const int n = GetWindowText(w, buf, sizeof buf);
        return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
};

// A tab goes on to the next stop of eight character widths: "W" after a tab
// starts where a ninth "M" would, right of eight of them on the line below.
TEST_F(TextWindowLines, TabsStopEveryEightCharacters) {
    handle rec = open_text_window("Tabs", 10, 10, 500, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    textwin_append(rec, 0, "\tW\nMMMMMMMM\nMMMM\tW\n");
    td::run_until_idle();
    const QImage img = td::image(outwin_window(rec));
    ASSERT_FALSE(img.isNull());
    const int lh = textwin_line_height(rec);
    const auto [tab_left, tab_right] = ink_span(img, 0, lh);
    const auto [ms_left, ms_right] = ink_span(img, lh, 2 * lh);
    const auto [mixed_left, mixed_right] = ink_span(img, 2 * lh, 3 * lh);
    ASSERT_GE(tab_right, 0) << "the W is drawn";
    ASSERT_GE(ms_right, 0) << "the Ms are drawn";
    EXPECT_GE(tab_left, ms_right - 1) << "the W stands past eight Ms";
    EXPECT_LT(tab_left, ms_right + (ms_right - ms_left) / 4) << "at the first stop, not later";
    // Text before the tab shorter than a stop: the W goes to the same stop.
    EXPECT_EQ(mixed_right, tab_right);
    EXPECT_LT(mixed_left, tab_left);
}

// A selection drawn from the start of one line down to the start of the
// next holds that one line: printed alone, without the line below.
TEST_F(TextWindowLines, PrintingASelectionToTheNextLinesStartPrintsOneLine) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const std::string pdf = dir + "/lines.pdf";
    const pdf_printer to_pdf(pdf);
    handle rec = open_text_window("Report", 10, 10, 400, 200, 0, nullptr);
    textwin_append(rec, 0, "alpha line\nbeta line\ngamma line\n");
    HWND w = outwin_window(rec);
    td::run_until_idle();
    const int lh = textwin_line_height(rec);
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, lh + lh / 2));
    SendMessage(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0, 2 * lh + lh / 2));
    SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(0, 2 * lh + lh / 2));
    int s = 0, e = 0;
    textwin_selection(rec, &s, &e);
    ASSERT_EQ(s, 11) << "from the start of the second line";
    ASSERT_EQ(e, 21) << "to the start of the third";
    opts.print_selection = 1;
    ASSERT_EQ(textwin_print(rec), 1);
    opts.print_selection = 0;
    const std::string text = pdf_text(pdf);
    EXPECT_NE(text.find("beta line"), std::string::npos) << text;
    EXPECT_EQ(text.find("gamma line"), std::string::npos) << text;
    EXPECT_EQ(text.find("alpha line"), std::string::npos) << text;
}

// The error window is titled by the run it collects for, "Errors" when no
// run gave a name.
TEST_F(TextWindowLines, TheErrorWindowIsNamedByItsRunOrErrors) {
    set_error_title("");
    err_window_on = -1;
    report(3, "first fault");
    ASSERT_NE(err_window, 0u);
    EXPECT_EQ(window_text(outwin_window(err_window)), "Errors");
    err_window_on = 0;
    close_framed_tool_windows(1);
    td::run_until_idle();
    ASSERT_EQ(err_window, 0u);

    set_error_title("base run");
    err_window_on = -1;
    report(3, "second fault");
    ASSERT_NE(err_window, 0u);
    EXPECT_EQ(window_text(outwin_window(err_window)), "base run");
}

// Outside a game a collecting run opens an error window of its own, never
// the message window a game left.
TEST_F(TextWindowLines, OutsideAGameTheErrorsGetTheirOwnWindow) {
    handle game_messages = open_text_window("Game messages", 10, 10, 300, 200, 0, nullptr);
    ASSERT_NE(game_messages, 0u);
    msg_window = game_messages;
    game_state = 0;
    err_window_on = -1;
    report(3, "a run's warning");
    ASSERT_NE(err_window, 0u);
    EXPECT_NE(err_window, game_messages);
    EXPECT_EQ(textwin_lines(game_messages)->lines(), 0) << "nothing in the game's window";
    err_window_on = 0;
    msg_window = 0;
}

// A tool whose findings are messages names its window: each message is a
// line of its own there, prefix and all.
TEST_F(TextWindowLines, AToolsMessageWindowTakesEachMessageOnItsOwnLine) {
    handle rec = open_text_window("Units Check", 10, 10, 400, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    message_text_window = rec;
    report(3, "units of births differ");
    report(2, "deaths has no units");
    const text_lines* t = textwin_lines(rec);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->lines(), 2);
    EXPECT_EQ(t->line(0), std::string(severity_prefix(3)) + "units of births differ");
    EXPECT_EQ(t->line(1), std::string(severity_prefix(2)) + "deaths has no units");
    EXPECT_EQ(err_window, 0u) << "no error window outside a run";
}

// A drag ends between the two characters nearest the pointer: past the
// middle of a character takes it in, short of its middle leaves it out. One
// character selected is what Copy takes, not the whole text.
TEST_F(TextWindowLines, ADragEndsAtTheNearestCharacterEdgeAndCopiesWhatItHolds) {
    font_spec spec{};
    spec.colour = 0xFFFFFFFFu;
    spec.size = 12;
    std::strcpy(spec.face, "Sans Serif");
    HDC screen = GetDC(nullptr);
    HFONT font = make_font(screen, spec, 0);
    HGDIOBJ old = SelectObject(screen, font);
    SIZE m{};
    GetTextExtentPoint32(screen, "M", 1, &m);
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    ASSERT_GT(m.cx, 6);
    handle rec = open_text_window("Drag", 10, 10, 500, 200, 0, &spec);
    ASSERT_NE(rec, 0u);
    textwin_append(rec, 0, "MMMMMM\n");
    HWND w = outwin_window(rec);
    td::run_until_idle();
    const int y = textwin_line_height(rec) / 2;
    auto drag_to = [&](int x) {
        SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, y));
        SendMessage(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        int s = -1, e = -1;
        textwin_selection(rec, &s, &e);
        return std::pair<int, int>{s, e};
    };
    // Three quarters into the third M: the third is in.
    EXPECT_EQ(drag_to(2 * m.cx + 3 * m.cx / 4), (std::pair<int, int>{0, 3}));
    // A quarter into it: only two.
    EXPECT_EQ(drag_to(2 * m.cx + m.cx / 4), (std::pair<int, int>{0, 2}));

    // One character: Copy takes that one alone.
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(m.cx + m.cx / 4, y));
    SendMessage(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2 * m.cx + m.cx / 4, y));
    SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(2 * m.cx + m.cx / 4, y));
    int s = -1, e = -1;
    textwin_selection(rec, &s, &e);
    ASSERT_EQ(e - s, 1);
    ASSERT_EQ(textwin_copy(rec), 1);
    std::string copied;
    ASSERT_TRUE(OpenClipboard(nullptr));
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        copied = static_cast<const char*>(GlobalLock(static_cast<HGLOBAL>(h)));
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    CloseClipboard();
    EXPECT_EQ(copied, "M");
}

// A selection that takes in a line's end shows it: the marked band runs on
// a little past the last character, where one ending at that character
// stops with it.
TEST_F(TextWindowLines, ASelectedLineEndIsMarkedPastTheText) {
    handle rec = open_text_window("Ends", 10, 10, 400, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    textwin_append(rec, 0, "alpha beta\ngamma\n");
    HWND w = outwin_window(rec);
    td::run_until_idle();
    const int lh = textwin_line_height(rec);
    auto marked_right = [&](int y_end) {
        // From the line's start to the end of "beta" (y_end in the line) or
        // on to the start of the next line.
        SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, lh / 2));
        SendMessage(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(y_end == 0 ? 390 : 0, y_end + lh / 2));
        SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(y_end == 0 ? 390 : 0, y_end + lh / 2));
        td::run_until_idle();
        const QImage img = td::image(w);
        return ink_span(img, 0, lh).second;
    };
    const int to_text = marked_right(0);
    int s = 0, e = 0;
    textwin_selection(rec, &s, &e);
    ASSERT_EQ(e, 10) << "up to the end of beta";
    const int past_end = marked_right(lh);
    textwin_selection(rec, &s, &e);
    ASSERT_EQ(e, 11) << "the line end taken in";
    EXPECT_GT(past_end, to_text + 2);
}

// A size in cells is that many widths of "W" across and lines down: a
// proportional font's W is wider than its M, and the window is as wide as
// thirty Ws.
TEST_F(TextWindowLines, ASizeInCellsIsInWidthsOfW) {
    font_spec spec{};
    spec.colour = 0xFFFFFFFFu;
    spec.size = 10;
    std::strcpy(spec.face, "Sans Serif");
    HDC screen = GetDC(nullptr);
    HFONT font = make_font(screen, spec, 0);
    ASSERT_NE(font, nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    SIZE w{}, m{};
    GetTextExtentPoint32(screen, "W", 1, &w);
    GetTextExtentPoint32(screen, "M", 1, &m);
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    ASSERT_GT(w.cx, 0);
    ASSERT_NE(w.cx, m.cx) << "the test needs a face whose W and M differ";
    handle rec = open_text_window("Cells", 10, 10, 30, 6, 1, &spec);
    ASSERT_NE(rec, 0u);
    RECT r{};
    GetWindowRect(outwin_window(rec), &r);
    EXPECT_EQ(r.right - r.left, 30 * w.cx);
    EXPECT_EQ(r.bottom - r.top, 6 * textwin_line_height(rec));
}

// A placement the output code set beforehand (its x 1 or more) wins over
// the default steps and over the screen's limits.
TEST_F(TextWindowLines, APresetPlaceWinsFromItsFirstColumn) {
    text_pos = POINT{40, 40};
    const RECT container{0, 0, 700, 500};
    preset_rect = {};
    preset_rect.x = 1;
    int x = -1, y = -1;
    place_text_window(container, 300, 200, &x, &y);
    EXPECT_EQ(x, -1) << "left for the preset place";
    EXPECT_EQ(y, -1);
    EXPECT_EQ(text_pos.x, 40) << "the default steps do not move on";
    preset_rect = {};
    place_text_window(container, 300, 200, &x, &y);
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 40);
    text_pos = POINT{0, 0};
}

} // namespace

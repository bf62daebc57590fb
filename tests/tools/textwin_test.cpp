// Text windows and the error window in the workbench, through the test
// driver: appending and following the end, scrolling, a click selecting a
// name as the workbench variable, copy (CR LF), save (LF), lock and close,
// and the error window collecting a run's low messages.
#include "draw/drawing.h"
#include "draw/printing.h"
#include "model/varnames.h"
#include "platform/clip.h"
#include "platform/global.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/settings_rows.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"
#include "shell/varselect.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "tests/common/command_output.h"
#include "tests/common/packages.h"
#include "tests/common/pdf_printer.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/model_builder.h"
#include "tests/tools/textwin_fixture.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/texttools.h"
#include "tools/textwin.h"

#include "sim/simdata.h"

#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

class TextWindows : public TextWindowTest {
protected:
    // Opens the model the builder made, written to name in the test's folder,
    // ready to simulate with the run driver; the tools palette kept out of
    // the way.
    void open_for_runs(model_builder& b, const char* name) {
        const std::string model = dir + "/" + name;
        ASSERT_EQ(b.write(model.c_str()), 1);
        ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
        if (HWND palette = test_driver::find_window("Kavrel_tools")) ShowWindow(palette, SW_HIDE);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
    }
    static int client_height(HWND w) {
        RECT rc;
        GetClientRect(w, &rc);
        return rc.bottom;
    }
    // Dark pixels in a band of rows of a window's image.
    static int dark_pixels(const QImage& img, int y0, int y1) {
        int n = 0;
        for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 96) ++n;
        return n;
    }
    static std::string clipboard_text() {
        std::string out;
        if (!OpenClipboard(nullptr)) return out;
        if (HANDLE h = GetClipboardData(CF_TEXT)) {
            if (auto* p = static_cast<const char*>(GlobalLock(static_cast<HGLOBAL>(h)))) {
                out = p;
                GlobalUnlock(static_cast<HGLOBAL>(h));
            }
        }
        CloseClipboard();
        return out;
    }
};

TEST_F(TextWindows, FollowsTheEndScrollsAndPaintsItsLines) {
    handle rec = open_text_window("Lines", 10, 10, 300, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    EXPECT_EQ(cur_output, rec);
    HWND w = outwin_window(rec);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(record_of(w), rec) << "the window's long 0 holds its record";
    test_driver::run_until_idle();
    const int lh = textwin_line_height(rec);
    ASSERT_GT(lh, 0);
    const int visible = client_height(w) / lh;
    ASSERT_GT(visible, 2);
    for (int i = 0; i < 40; ++i) textwin_printf(0, rec, 1, "line %d\n", i);
    EXPECT_EQ(textwin_lines(rec)->lines(), 40);
    EXPECT_EQ(textwin_view(rec).top, 40 - visible) << "at the end, the view follows";
    EXPECT_EQ(GetScrollPos(w, SB_VERT), 40 - visible);

    // The reader scrolls back: appending leaves the view there.
    SendMessage(w, WM_VSCROLL, SB_TOP, 0);
    SendMessage(w, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(textwin_view(rec).top, 1);
    textwin_printf(0, rec, 1, "more");
    EXPECT_EQ(textwin_view(rec).top, 1);
    SendMessage(w, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(textwin_view(rec).top, 1 + visible - 1);
    SendMessage(w, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(textwin_view(rec).top, 41 - visible) << "the last page stays full";
    SendMessage(w, WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(textwin_view(rec).top, 40 - visible);

    // Horizontally: a long line gives a range; right stops with it in view.
    textwin_printf(0, rec, 1, "%s", std::string(400, 'M').c_str());
    const text_view v = textwin_view(rec);
    EXPECT_GT(v.longest, 300 / textwin_step(rec));
    for (int i = 0; i < 200; ++i) SendMessage(w, WM_HSCROLL, SB_LINERIGHT, 0);
    const int in_view = std::max(1, 300 / textwin_step(rec));
    EXPECT_LE(textwin_view(rec).hpos, v.longest - 1);
    EXPECT_GE(textwin_view(rec).hpos + in_view, v.longest - in_view);
    SendMessage(w, WM_HSCROLL, SB_PAGELEFT, 0);
    SendMessage(w, WM_HSCROLL, SB_PAGELEFT, 0);
    for (int i = 0; i < 200; ++i) SendMessage(w, WM_HSCROLL, SB_LINELEFT, 0);
    EXPECT_EQ(textwin_view(rec).hpos, 0);

    // Painted: the rows of lines have ink, the rows past the last line none.
    SendMessage(w, WM_VSCROLL, SB_TOP, 0);
    test_driver::run_until_idle();
    QImage img = test_driver::image(w);
    EXPECT_GT(dark_pixels(img, 0, lh), 10);
    handle small = open_text_window("Short", 320, 10, 200, 200, 0, nullptr);
    textwin_printf(0, small, 1, "only line");
    test_driver::run_until_idle();
    QImage one = test_driver::image(outwin_window(small));
    EXPECT_GT(dark_pixels(one, 0, lh), 10);
    EXPECT_EQ(dark_pixels(one, 2 * lh, one.height() - 20), 0);
}

// Freeing a text window from the program takes its window and frame down
// with its record, and a message window that was that record is forgotten;
// another text window stays.
TEST_F(TextWindows, FreeingATextWindowTakesItsWindowAndRecordAndForgetsTheMessageWindow) {
    handle rec = open_text_window("Messages", 10, 10, 300, 200, 0, nullptr);
    handle other = open_text_window("Other", 320, 10, 200, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    ASSERT_NE(other, 0u);
    textwin_printf(0, rec, 0, "a line");
    HWND w = outwin_window(rec);
    ASSERT_NE(w, nullptr);
    HWND frame = GetParent(w);
    ASSERT_NE(frame, nullptr);
    msg_window = rec;
    free_text_window(rec);
    test_driver::run_until_idle();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(handle_valid(rec));
    EXPECT_EQ(msg_window, 0u);
    EXPECT_TRUE(handle_valid(other));
    EXPECT_TRUE(IsWindow(outwin_window(other)));
    ASSERT_NE(textwin_lines(other), nullptr);
}

TEST_F(TextWindows, LongFormattedTextsArriveWhole) {
    handle rec = open_text_window("Long", -1, -1, 0, 0, 0, nullptr);
    ASSERT_NE(rec, 0u);
    const std::string big(100000, 'y');
    textwin_printf(10, rec, 0, "<%s>", big.c_str());
    textwin_printf(0, rec, 0, "a\nb\n");
    const text_lines* t = textwin_lines(rec);
    ASSERT_EQ(t->lines(), 3);
    EXPECT_EQ(t->line(0), "<" + big + ">");
    EXPECT_EQ(t->line(2), "b");
}

TEST_F(TextWindows, AClickSelectsTheNameAndMakesItTheWorkbenchVariable) {
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    // The tools palette comes up with the model; out of the way of the clicks.
    if (HWND palette = test_driver::find_window("Kavrel_tools")) ShowWindow(palette, SW_HIDE);
    handle rec = open_text_window("Names", 10, 10, 400, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    textwin_printf(0, rec, 1, "first line");
    textwin_printf(0, rec, 1, "births = Population * birth rate");
    HWND w = outwin_window(rec);
    test_driver::run_until_idle();
    const int lh = textwin_line_height(rec);
    test_driver::click(w, 3, lh + lh / 2);
    test_driver::run_until_idle();
    int s, e;
    textwin_selection(rec, &s, &e);
    EXPECT_EQ(textwin_lines(rec)->text().substr(s, e - s), "births");
    EXPECT_EQ(workbench_var_text(), "births");
    // The selection is shown inverted: the band has light pixels on dark.
    QImage img = test_driver::image(w);
    EXPECT_GT(dark_pixels(img, lh, 2 * lh), 200);

    // A drag selects the span from the press to the release, across lines;
    // a span that names no variable leaves the workbench variable alone.
    test_driver::drag(w, {1, lh / 2}, {1, lh + lh / 2});
    test_driver::run_until_idle();
    textwin_selection(rec, &s, &e);
    EXPECT_EQ(textwin_lines(rec)->text().substr(s, e - s), "first line\n");
    EXPECT_EQ(workbench_var_text(), "births");

    // A click past the names (on "=") selects nothing and changes nothing.
    test_driver::click(w, 400 - 30, lh + lh / 2);
    test_driver::run_until_idle();
    textwin_selection(rec, &s, &e);
    EXPECT_EQ(s, e);
    EXPECT_EQ(workbench_var_text(), "births");
}

// A message line is one span of name characters (words and blanks): a
// click on a name inside it chooses that variable and selects the name, not
// the line; the longest run of words that names a variable wins.
TEST_F(TextWindows, AClickOnANameInAMessageChoosesThatVariable) {
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    if (HWND palette = test_driver::find_window("Kavrel_tools")) ShowWindow(palette, SW_HIDE);
    handle rec = open_text_window("Errors", 10, 10, 700, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    const std::string line =
        "ERROR: Floating point error computing births at time 5 from birth rate";
    textwin_printf(0, rec, 1, "%s", line.c_str());
    HWND w = outwin_window(rec);
    test_driver::run_until_idle();
    const int lh = textwin_line_height(rec);
    std::vector<std::string> chosen, selected;
    for (int x = 1; x < 690; x += 2) {
        workbench_var = {};
        test_driver::click(w, x, lh / 2);
        test_driver::run_until_idle();
        int s, e;
        textwin_selection(rec, &s, &e);
        const std::string var = workbench_var_text();
        if (var.empty()) continue;
        if (chosen.empty() || chosen.back() != var) {
            chosen.push_back(var);
            selected.push_back(textwin_lines(rec)->text().substr(s, e - s));
        }
    }
    EXPECT_EQ(chosen, (std::vector<std::string>{"births", "Time", "birth rate"}));
    EXPECT_EQ(selected, (std::vector<std::string>{"births", "time", "birth rate"}));
}

TEST_F(TextWindows, CopiesWithCrLfSavesWithLfAndReportsFailures) {
    handle rec = open_text_window("Copy", 10, 10, 300, 200, 0, nullptr);
    textwin_printf(0, rec, 0, "alpha\nbeta");
    HWND w = outwin_window(rec);
    SendMessage(w, WM_COMMAND, cmd_export_output, 0);
    EXPECT_EQ(clipboard_text(), "alpha\r\nbeta\r\n");

    const std::string path = dir + "/saved.txt";
    ASSERT_EQ(textwin_save(rec, path.c_str()), 1);
    EXPECT_EQ(read_file(path), "alpha\nbeta\n");

    // A file that cannot be written is said so, as a stop; no success.
    const std::string bad = dir + "/no such folder/out.txt";
    answerer::box("Stop from Kavrel").press(IDOK);
    EXPECT_EQ(textwin_save(rec, bad.c_str()), 0);
    EXPECT_EQ(answerer::pending(), 0u);
    ASSERT_FALSE(seen_texts().empty());
    EXPECT_EQ(seen_texts().back(), "Cannot open " + bad + " to write output");
}

TEST_F(TextWindows, PrintsTheTitleAndTheLinesOrOnlyTheSelectedOnes) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const std::string pdf = dir + "/text.pdf";
    const pdf_printer to_pdf(pdf);
    handle rec = open_text_window("Loop report", 10, 10, 400, 200, 0, nullptr);
    textwin_printf(0, rec, 0, "alpha line\nbeta line\ngamma line");
    SendMessage(outwin_window(rec), WM_COMMAND, cmd_print_output, 0);
    std::string all = pdf_text(pdf);
    EXPECT_NE(all.find("Loop report"), std::string::npos) << all;
    for (const char* l : {"alpha line", "beta line", "gamma line"})
        EXPECT_NE(all.find(l), std::string::npos) << l << "\n" << all;

    // With the selection chosen, only the lines it touches.
    std::filesystem::remove(pdf);
    opts.print_selection = 1;
    SendMessage(outwin_window(rec), WM_LBUTTONDOWN, MK_LBUTTON,
                MAKELPARAM(3, textwin_line_height(rec) + 2));
    SendMessage(outwin_window(rec), WM_LBUTTONUP, 0, MAKELPARAM(3, textwin_line_height(rec) + 2));
    ASSERT_EQ(textwin_print(rec), 1);
    std::string part = pdf_text(pdf);
    EXPECT_NE(part.find("beta line"), std::string::npos) << part;
    EXPECT_EQ(part.find("alpha line"), std::string::npos) << part;
    EXPECT_EQ(part.find("gamma line"), std::string::npos) << part;
    // With all text asked for and not the selection: every line again.
    std::filesystem::remove(pdf);
    opts.print_selection = 0;
    opts.print_all_text = 1;
    ASSERT_EQ(textwin_print(rec), 1);
    part = pdf_text(pdf);
    EXPECT_NE(part.find("alpha line"), std::string::npos) << part;
    // Clear (the default): the selection alone.
    std::filesystem::remove(pdf);
    opts.print_all_text = 0;
    ASSERT_EQ(textwin_print(rec), 1);
    part = pdf_text(pdf);
    EXPECT_EQ(part.find("alpha line"), std::string::npos) << part;
    EXPECT_NE(part.find("beta line"), std::string::npos) << part;
}

// Default places step on from window to window and start again at the
// corner when the next would not fit; given places stay on the screen.
TEST_F(TextWindows, DefaultPlacesStepOnAndGivenPlacesStayOnTheScreen) {
    text_pos = POINT{0, 0};
    const RECT container{0, 0, 700, 500};
    const int step = 2 * GetSystemMetrics(SM_CXFRAME) + 15;
    int x = -1, y = -1;
    place_text_window(container, 300, 200, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    x = y = -1;
    place_text_window(container, 300, 200, &x, &y);
    EXPECT_EQ(x, step);
    EXPECT_EQ(y, 2 * GetSystemMetrics(SM_CYFRAME) + 15);
    // Too far to fit from the next place: back to the corner.
    text_pos = POINT{500, 100};
    x = y = -1;
    place_text_window(container, 300, 200, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    x = 100000;
    y = 100000;
    place_text_window(container, 300, 200, &x, &y);
    EXPECT_EQ(x, GetSystemMetrics(SM_CXSCREEN) - 40);
    EXPECT_EQ(y, GetSystemMetrics(SM_CYSCREEN) - 40);
    text_pos = POINT{0, 0};
}

// A line for the error window while no run collects is a program error;
// while a game runs, its messages go to one window, reused.
TEST_F(TextWindows, TheErrorWindowWithoutACollectingRunAndInAGame) {
    answerer::box(severity_caption(10))
        .text("Trying to show an error line for non-existant source")
        .press(IDOK);
    show_error_window(5, "ERROR:", "stray");
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(err_window, 0u);

    game_state = 1;
    err_window_on = -1;
    show_error_window(5, "ERROR:", "first turn");
    ASSERT_NE(err_window, 0u);
    EXPECT_EQ(msg_window, err_window);
    const handle first = err_window;
    // The next collection (after a truncation ended the last) goes on in
    // the same window.
    err_window = 0;
    show_error_window(5, "ERROR:", "second turn");
    EXPECT_EQ(err_window, first);
    const text_lines* l = textwin_lines(first);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->lines() >= 2, true);
    game_state = 0;
    err_window_on = 0;
    close_framed_tool_windows(1);
    test_driver::run_until_idle();
    EXPECT_EQ(msg_window, 0u);
}

TEST_F(TextWindows, ALockedWindowRefusesCloseUntilUnlocked) {
    handle rec = open_text_window("Locked", 10, 10, 300, 200, 0, nullptr);
    HWND w = outwin_window(rec);
    SendMessage(w, WM_COMMAND, cmd_lock_output, 0);
    SendMessage(w, WM_COMMAND, cmd_close_output, 0);
    SendMessage(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    close_framed_tool_windows(0);
    test_driver::run_until_idle();
    EXPECT_TRUE(IsWindow(w));
    SendMessage(w, WM_COMMAND, 493, 0); // toggles to unlocked
    SendMessage(w, WM_COMMAND, cmd_close_output, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_NE(cur_output, rec);
}

TEST_F(TextWindows, TheErrorWindowCollectsARunsLowMessages) {
    report(3, "not collecting yet");
    EXPECT_EQ(err_window, 0u) << "outside a run the message list takes them";
    err_window_on = -1;
    report(3, "Dividing by zero in births at time 3");
    report(5, "births is not defined");
    ASSERT_NE(err_window, 0u);
    const text_lines* t = textwin_lines(err_window);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->lines(), 2);
    EXPECT_EQ(t->line(0), std::string(severity_prefix(3)) + "Dividing by zero in births at time 3");
    EXPECT_EQ(t->line(1), std::string(severity_prefix(5)) + "births is not defined");

    HWND w = outwin_window(err_window);
    test_driver::run_until_idle();
    const std::string png = dir + "/errwin.png";
    ASSERT_TRUE(test_driver::save_png(w, png));
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull());
    const int lh = textwin_line_height(err_window);
    EXPECT_GT(dark_pixels(img, 0, lh), 30);
    EXPECT_GT(dark_pixels(img, lh, 2 * lh), 30);
    EXPECT_EQ(dark_pixels(img, 3 * lh, img.height() - 20), 0);

    // Closed other than by its Close command: the window is forgotten.
    destroy_tool_window(w);
    EXPECT_EQ(err_window, 0u);
    report(3, "a fresh window");
    ASSERT_NE(err_window, 0u);
    EXPECT_EQ(textwin_lines(err_window)->lines(), 1);
}

TEST_F(TextWindows, ARunsWarningOpensTheErrorWindowWithItsLine) {
    // A save interval that is not a multiple of the time step: the run warns.
    model_builder b("warned");
    b.control(0, 10, 0.5f, 0.75f);
    b.level("Population", "births", "100", "people");
    b.aux("births", "Population * 0.01", "people/year");
    ASSERT_TRUE(b.finish());
    ASSERT_NO_FATAL_FAILURE(open_for_runs(b, "warned.kmf"));
    int result = -1;
    ASSERT_EQ(run_command(rc_simulate, 0, 0, &result), 1);
    EXPECT_EQ(err_window_on, 0) << "collection ends with the run";
    ASSERT_NE(err_window, 0u);
    const text_lines* t = textwin_lines(err_window);
    ASSERT_NE(t, nullptr);
    ASSERT_GE(t->lines(), 1);
    EXPECT_EQ(t->line(0).substr(0, 13), severity_prefix(3));
    EXPECT_NE(t->line(0).find("SAVEPER 0.75 is not a multiple of TIME STEP 0.5"),
              std::string_view::npos)
        << t->line(0);
    // The frame's caption is the run's name.
    char caption[128] = "";
    GetWindowText(GetParent(outwin_window(err_window)), caption, sizeof caption);
    EXPECT_STREQ(caption, "Current");
    EXPECT_STREQ(caption, error_title());

    HWND w = outwin_window(err_window);
    test_driver::run_until_idle();
    const std::string png = dir + "/errwin_run.png";
    ASSERT_TRUE(test_driver::save_png(w, png));
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull());
    const int lh = textwin_line_height(err_window);
    // Ink in the first line's band, from the left edge (the prefix) to well
    // past the middle of the message; nothing below the last line.
    EXPECT_GT(dark_pixels(img, 0, lh), 100);
    int rightmost = 0;
    for (int y = 0; y < lh; ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 96) rightmost = std::max(rightmost, x);
    EXPECT_GT(rightmost, 250);
    EXPECT_EQ(dark_pixels(img, (t->lines() + 1) * lh, img.height() - 20), 0);
}

// A run that stops on an error in one variable's equation: the error line
// names it, and the equation stands under it in model-text syntax.
TEST_F(TextWindows, ARunErrorIsFollowedByTheOffendingEquation) {
    install_text_tools(); // the report writer's text-window sink
    model_builder b("blowup");
    b.control(0, 10, 1, 1);
    b.aux("blowup", "1 / (5 - Time)");
    b.level("Sum", "blowup", "0");
    ASSERT_TRUE(b.finish());
    ASSERT_NO_FATAL_FAILURE(open_for_runs(b, "blowup.kmf"));
    answerer::box(severity_caption(8)).text("Problems encountered").press(IDOK);
    int result = -1;
    run_command(rc_simulate, 0, 0, &result);
    answerer::clear();
    ASSERT_NE(err_window, 0u);
    const text_lines* t = textwin_lines(err_window);
    ASSERT_NE(t, nullptr);
    int at = -1;
    for (int i = 0; i < t->lines(); ++i)
        if (std::string(t->line(i)).find("Floating point error computing blowup") !=
            std::string::npos)
            at = i;
    ASSERT_GE(at, 0);
    ASSERT_GT(t->lines(), at + 1);
    EXPECT_EQ(t->line(at + 1), "blowup = 1 / (5 - Time)");
}

std::string g_logged;
void keep_logged(const std::string& line) {
    g_logged += line;
}

TEST_F(TextWindows, AnOverfullErrorWindowIsTruncatedOnceAndTheRestLogged) {
    // The log as it is without a redirected stream: the reporter leaves the
    // collected severities out of it.
    set_report_stream(nullptr);
    set_log_line_writer(keep_logged);
    g_logged.clear();
    err_window_on = -1;
    const std::string chunk(990, 'e');
    for (int i = 0; i < 130; ++i) report(3, "%d %s", i, chunk.c_str());
    EXPECT_EQ(err_window, err_window_truncated);
    report(3, "after the truncation");
    // The window holds the truncation line once, as its last line.
    HWND w = test_driver::find_window("Kavrel_text");
    ASSERT_NE(w, nullptr);
    handle rec = record_of(w);
    const text_lines* t = textwin_lines(rec);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->line(t->lines() - 1), error_truncated_line);
    EXPECT_LE(t->bytes(), error_window_limit + 2000);
    EXPECT_EQ(t->text().find("after the truncation"), std::string::npos);
    EXPECT_EQ(g_logged.find(std::string(severity_prefix(3)) + "1 eee"), std::string::npos)
        << "collected lines are not logged";
    EXPECT_NE(g_logged.find(std::string(severity_prefix(3)) + "after the truncation"),
              std::string::npos)
        << "past the truncation messages reach the log";

    // When collection stops and starts again, a new window collects.
    err_window_on = 0;
    report(3, "between runs");
    err_window_on = -1;
    report(3, "next run");
    ASSERT_NE(err_window, 0u);
    ASSERT_NE(err_window, err_window_truncated);
    EXPECT_EQ(textwin_lines(err_window)->line(0), std::string(severity_prefix(3)) + "next run");
    set_log_line_writer(nullptr);
}

} // namespace

namespace {

TEST_F(TextWindows, AThumbReachesTheEndPast32000Lines) {
    handle rec = open_text_window("Long", 10, 10, 300, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    HWND w = outwin_window(rec);
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "line " + std::to_string(i) + "\n";
    textwin_append(rec, 0, text);
    test_driver::run_until_idle();
    const int lines = textwin_lines(rec)->lines();
    ASSERT_EQ(lines, 100000);
    const int visible = textwin_view(rec).visible;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE;
    GetScrollInfo(w, SB_VERT, &si);
    EXPECT_LE(si.nMax, 32767) << "the bar's range fits a thumb's 16 bits";
    SendMessage(w, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(textwin_view(rec).top, lines - visible);
    const int end_thumb = GetScrollPos(w, SB_VERT);
    EXPECT_LE(end_thumb, 32767);
    // Dragged to the top, then back to where the bottom put it.
    SendMessage(w, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 0), 0);
    EXPECT_EQ(textwin_view(rec).top, 0);
    SendMessage(w, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, end_thumb), 0);
    EXPECT_GE(textwin_view(rec).top, lines - visible - 4) << "the thumb reaches the end";
    // Half way along the bar is half way through the lines.
    SendMessage(w, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, (si.nMax + 1) / 2), 0);
    EXPECT_NEAR(textwin_view(rec).top, lines / 2, 10);
}

// The horizontal bar's "Left edge" and "Right edge" (its ends) move the view
// as far as a long line goes, a full window at the right.
TEST_F(TextWindows, TheHorizontalBarsEndsReachBothEdgesOfALongLine) {
    handle rec = open_text_window("Wide", 10, 10, 300, 200, 0, nullptr);
    ASSERT_NE(rec, 0u);
    HWND w = outwin_window(rec);
    textwin_printf(0, rec, 1, "%s\n", std::string(400, 'M').c_str());
    test_driver::run_until_idle();
    RECT rc{};
    GetClientRect(w, &rc);
    const int in_view = std::max(1, static_cast<int>(rc.right) / textwin_step(rec));
    const int longest = textwin_view(rec).longest;
    ASSERT_GT(longest, in_view);
    SendMessage(w, WM_HSCROLL, SB_RIGHT, 0);
    EXPECT_EQ(textwin_view(rec).hpos, longest - in_view);
    EXPECT_EQ(GetScrollPos(w, SB_HORZ), longest - in_view);
    SendMessage(w, WM_HSCROLL, SB_LEFT, 0);
    EXPECT_EQ(textwin_view(rec).hpos, 0);
}

} // namespace

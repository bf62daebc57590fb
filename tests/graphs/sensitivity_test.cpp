// The sensitivity graph: bands kept and sorted, graphs split over windows,
// the bands' outlines from the simulations, ranges of graphs without values
// and of constants, the option line; and the tool on a sensitivity run of
// the population sample: nested band colours in their regions, the windows
// question answered.
#include "draw/axis.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/textsrc.h"
#include "graphs/bargraph.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/moregraphs.h"
#include "graphs/sensitivity.h"
#include "model/context.h"
#include "model/varnames.h"
#include "platform/print.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/palette.h"
#include "shell/settings_rows.h"
#include "shell/toolset.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"
#include "tests/graphs/graph_windows_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/run_builder.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <string>

namespace td = test_driver;

TEST(SensBands, ZeroBoundsDroppedTheRestSortedWithTheirColours) {
    std::int32_t b[8] = {950, 0, 500, 1000, 0, 750, 0, 0};
    COLORREF c[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(compact_bands(b, c), 4);
    EXPECT_EQ(b[0], 500);
    EXPECT_EQ(c[0], 3u);
    EXPECT_EQ(b[1], 750);
    EXPECT_EQ(c[1], 6u);
    EXPECT_EQ(b[3], 1000);
    EXPECT_EQ(c[3], 4u);
    EXPECT_EQ(b[4], 0);
}

TEST(SensWindows, GraphsSplitEvenlyOverTheWindowsTheyNeed) {
    EXPECT_EQ(split_sens_windows(8, 6, false), (std::vector<int>{4, 4}));
    EXPECT_EQ(split_sens_windows(13, 6, false), (std::vector<int>{5, 4, 4}));
    EXPECT_EQ(split_sens_windows(5, 6, true), (std::vector<int>{5}));
    EXPECT_EQ(split_sens_windows(3, 0, false), (std::vector<int>{1, 1, 1}));
    EXPECT_TRUE(split_sens_windows(0, 6, false).empty());
}

TEST(SensPlot, BandOutlinesComeFromTheSortedSimulations) {
    sens_window w;
    w.t_low = 0;
    w.t_high = 2;
    w.band_count = 2;
    w.bounds[0] = 500;
    w.bounds[1] = 1000;
    sens_series first{{0, 1, 2}, {50, 50, 50}};
    // Eleven simulations 0, 10, ..., 100 (given out of order).
    std::vector<std::vector<float>> sims;
    for (int s : {30, 0, 100, 50, 10, 90, 20, 80, 40, 60, 70})
        sims.push_back({float(s), float(s), float(s)});
    sens_plot p;
    map_sens_plot(p, w, first, sims, {}, false);
    EXPECT_DOUBLE_EQ(p.low, 0);
    EXPECT_DOUBLE_EQ(p.high, 100);
    ASSERT_EQ(p.xs.size(), 3u);
    ASSERT_EQ(p.row_count, 6);
    const int n = 3;
    auto row = [&](int r, int i) { return p.rows[static_cast<std::size_t>(r * n + i)]; };
    // 50 %: indices trunc(10 x 250 / 1000) = 2 and trunc(10 x 750 / 1000) = 7.
    EXPECT_EQ(row(2, 1), axis_y_pos(20, 0, 100));
    EXPECT_EQ(row(3, 1), axis_y_pos(70, 0, 100));
    // 100 %: the smallest and the largest.
    EXPECT_EQ(row(4, 0), axis_y_pos(0, 0, 100));
    EXPECT_EQ(row(5, 2), axis_y_pos(100, 0, 100));
    EXPECT_EQ(row(1, 0), axis_y_pos(50, 0, 100)); // the mean
    EXPECT_EQ(p.band_count, 2);

    // Without bands every simulation is a line of its own.
    w.band_count = 0;
    map_sens_plot(p, w, first, sims, {}, false);
    EXPECT_EQ(p.sim_lines, 11);
    EXPECT_EQ(p.row_count, 13);
}

TEST(SensPlot, NoValuesGiveZeroToHundredAndAConstantAFlatLine) {
    sens_window w;
    w.t_low = 0;
    w.t_high = 10;
    sens_plot p;
    map_sens_plot(p, w, sens_series{}, {}, {}, true);
    EXPECT_DOUBLE_EQ(p.low, 0);
    EXPECT_DOUBLE_EQ(p.high, 100);
    EXPECT_TRUE(p.xs.empty());
    // A constant read as a flat line over the axis: a range around it.
    sens_series flat{{0, 10}, {7, 7}};
    map_sens_plot(p, w, flat, {}, {}, true);
    EXPECT_LT(p.low, 7);
    EXPECT_GT(p.high, 7);
    ASSERT_EQ(p.xs.size(), 2u);
    EXPECT_EQ(p.rows[0], p.rows[1]);
    EXPECT_EQ(p.band_count, 0);
    // A range dragged on a value axis replaces the data's; an empty one not.
    map_sens_plot(p, w, flat, {}, {}, true, 6, 8);
    EXPECT_DOUBLE_EQ(p.low, 6);
    EXPECT_DOUBLE_EQ(p.high, 8);
    EXPECT_EQ(p.rows[0], 5000);
    map_sens_plot(p, w, flat, {}, {}, true, 8, 8);
    EXPECT_LT(p.low, 6);
}

TEST(SensToolSetup, DefaultsAndOptionLine) {
    set_tool_setup(find_tool_row("Sensitivity Graph"), sens_tool_setup);
    ASSERT_EQ(sens_tool_setup(0, 0, nullptr, nullptr), 224);
    handle tool = new_tool(find_tool_row("Sensitivity Graph"), "Sens", 224);
    sens_tool_setup(0, tool, nullptr, nullptr);
    tool_record* r = lock_tool(tool);
    auto* o = static_cast<sens_options*>(tool_options(r));
    EXPECT_EQ(o->bounds[2], 950);
    EXPECT_EQ(o->band_colours[0], RGB(255, 255, 128));
    EXPECT_EQ(o->graphs_per_window, 6);
    EXPECT_EQ(o->graph_width, 152); // millimetres
    EXPECT_EQ(o->graph_height, 66);
    EXPECT_EQ(o->var_choice, 255);
    EXPECT_EQ(r->icon, 0x2d0080u);
    unlock_tool(tool);
    std::string out;
    sens_tool_setup(1, tool, &out, nullptr);
    // Forty fields; a written line reads back the same.
    EXPECT_EQ(std::count(out.begin(), out.end(), ','), 40);
    const std::string line = "1,1,1,1,1,1,1,1,1,0,0,3,0,0,"
                             "Arial|12||0-0-0,Arial|10||0-0-0,Arial|8||0-0-0,100,50,1,"
                             "500,950,0,0,0,0,0,0,1,2,3,4,5,6,7,8,9,10,1,0,";
    const char* lines[] = {line.c_str()};
    ASSERT_EQ(push_text_source(lines, 1, 0), 1);
    sens_tool_setup(0, tool, nullptr, "x");
    close_text_source();
    r = lock_tool(tool);
    o = static_cast<sens_options*>(tool_options(r));
    EXPECT_EQ(o->var_choice, 1);
    EXPECT_EQ(o->graphs_per_window, 3);
    EXPECT_EQ(o->max_windows, 1); // 0 raised to 1
    EXPECT_EQ(o->show_bands, 1);
    EXPECT_EQ(o->bounds[1], 950);
    EXPECT_EQ(o->sim_colour, 9u);
    EXPECT_EQ(o->show_mean, 1);
    EXPECT_EQ(r->icon, 0x1e0070u);
    unlock_tool(tool);
    free_tool(tool);
    set_tool_setup(find_tool_row("Sensitivity Graph"), nullptr);
}

// The population sample with a sensitivity run made by the run builder:
// Population of simulations fanning out from 1000.
class SensWindow : public GraphToolTest {
protected:
    SensWindow() : GraphToolTest("Sensitivity Graph") {}
    // A sensitivity run of the open model: series of `element` (times 0..T-1)
    // for each simulation s: base + s x slope x t.
    void load_sens_run(const std::vector<std::string>& elements, int sims, int T) {
        sens_spec s;
        s.rows = static_cast<std::uint32_t>(sims);
        s.times = static_cast<std::uint32_t>(T);
        s.series = elements;
        for (int r = 0; r < sims; ++r)
            for (std::size_t e = 0; e < elements.size(); ++e)
                for (int t = 0; t < T; ++t) s.matrix.push_back(1000.0f + r * 0.1f * t);
        std::vector<float> times, base;
        for (int t = 0; t < T; ++t) {
            times.push_back(float(t));
            base.push_back(1000.0f + sims * 0.05f * t);
        }
        run_builder rb(cur_model_symbols, 'S');
        rb.times(times);
        for (const std::string& e : elements) rb.series(e, base);
        rb.sensitivity(s);
        const std::string path = dir + "/sens.kdf";
        ASSERT_EQ(rb.write(path), 1) << rb.error();
        ASSERT_EQ(load_runs(model_rec, 1, path.c_str(), 1, 0), 1);
        ASSERT_EQ(loaded_run_names(1), 1);
        ASSERT_EQ(selected_run_types[0], 'S');
    }
    // Opens a sample model, loads a sensitivity run of `elements` into it
    // (see load_sens_run) and makes `var` the workbench variable.
    void open_with_sens_run(const char* model, const std::vector<std::string>& elements, int sims,
                            int T, const char* var) {
        model_ = sample(model);
        ASSERT_EQ(open_model(1, 0, model_.c_str(), 0), 1);
        ASSERT_NO_FATAL_FAILURE(load_sens_run(elements, sims, T));
        choose_variable(var);
    }
    void make_tool(const std::string& line) {
        const int r = find_tool_row("Sensitivity Graph");
        tool_ = new_tool(r, "Sensitivity Graph", 224);
        const char* lines[] = {line.c_str()};
        ASSERT_EQ(push_text_source(lines, 1, 0), 1);
        sens_tool_setup(0, tool_, nullptr, "x");
        close_text_source();
    }
};

namespace {

bool is(QRgb p, COLORREF c) {
    return (p & 0xFFFFFF) == (qRgb(GetRValue(c), GetGValue(c), GetBValue(c)) & 0xFFFFFF);
}

// The options with bands on: the 50/75/95/100 defaults, 6 graphs a window.
std::string bands_line(int per_window, int max_windows) {
    return "255,1,1,1,1,1,1,1,1,0,0," + std::to_string(per_window) + "," +
           std::to_string(max_windows) +
           ",0,Arial|12||0-0-0,Arial|10||0-0-0,Arial|8||0-0-0,152,66,1,"
           "500,750,950,1000,0,0,0,0,"
           "8454143,65280,16711680,8421504,16777215,16777215,16777215,16777215,0,0,0,0,";
}

} // namespace

TEST_F(SensWindow, BandsFillNestedRegionsAroundTheRunsLine) {
    ASSERT_NO_FATAL_FAILURE(
        open_with_sens_run("population.kmf", {"Population"}, 200, 201, "Population"));
    make_tool(bands_line(6, 2));
    run_tool();
    ASSERT_EQ(last_sens_records().size(), 1u);
    handle rec = last_sens_records()[0];
    sens_window* w = sens_window_of(rec);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->graphs.size(), 1u);
    EXPECT_EQ(w->band_count, 4);
    EXPECT_EQ(w->graphs[0].band_count, 4);
    HWND win = outwin_window(rec);
    ASSERT_NE(win, nullptr);
    const QImage img = td::image(win);
    EXPECT_TRUE(td::save_png(win, testing::TempDir() + "kavrel_sens.png"));
    // Down a column near the end of the time axis: grey (100 %), blue (95 %),
    // green (75 %), yellow (50 %) from the top, then back out.
    const COLORREF yellow = RGB(255, 255, 128), green = RGB(0, 255, 0), blue = RGB(0, 0, 255),
                   grey = RGB(128, 128, 128);
    const int x = img.width() * 7 / 8;
    std::vector<int> order; // 0 grey, 1 blue, 2 green, 3 yellow, each change
    for (int y = 0; y < img.height(); ++y) {
        const QRgb p = img.pixel(x, y);
        int k = is(p, grey) ? 0 : is(p, blue) ? 1 : is(p, green) ? 2 : is(p, yellow) ? 3 : -1;
        if (k >= 0 && (order.empty() || order.back() != k)) order.push_back(k);
    }
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ((std::vector<int>(order.begin(), order.begin() + 4)), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(order.back(), 0);
    // The legend names the bands in per cent.
    const std::string text = printed_pdf_text(testing::TempDir() + "kavrel_sens.pdf", [&] {
        SendMessage(win, WM_COMMAND, cmd_print_output, 0);
    });
    for (const char* want : {"50%", "75%", "95%", "100%", "Population", "sens"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " in\n" << text;
    const std::string wmf = dir + "/sens.wmf";
    EXPECT_EQ(save_graph_window(rec, wmf.c_str()), 1);
    EXPECT_GT(std::filesystem::file_size(wmf), 100u);
}

TEST_F(SensWindow, TooManyWindowsAskAndNoShowsTheFirstWindowOnly) {
    // Stock has twelve elements.
    ASSERT_NO_FATAL_FAILURE(
        open_with_sens_run("subscripted.kmf", {"Stock[north,food]"}, 10, 101, "Stock"));
    make_tool(bands_line(6, 1));
    answerer::box("Question from Kavrel")
        .text("To show all elements will require 2 windows\nContinue? (No to show only "
              "initial elments)")
        .press(IDNO);
    run_tool();
    ASSERT_EQ(last_sens_records().size(), 1u);
    sens_window* w = sens_window_of(last_sens_records()[0]);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->graphs.size(), 6u);
    EXPECT_EQ(w->graphs[0].band_count, 4); // the one element with simulations
    EXPECT_EQ(w->graphs[1].band_count, 0);

    // Two windows allowed: built without a question, six graphs each.
    close_framed_tool_windows(1);
    free_tool(tool_);
    make_tool(bands_line(6, 2));
    run_tool();
    ASSERT_EQ(last_sens_records().size(), 2u);
    EXPECT_EQ(sens_window_of(last_sens_records()[1])->graphs.size(), 6u);
}

TEST_F(SensWindow, AFirstRunThatIsNoSensitivityRunIsRefused) {
    model_ = sample("population.kmf");
    ASSERT_EQ(open_model(1, 0, model_.c_str(), 0), 1);
    run_builder rb(cur_model_symbols, 'R');
    rb.times({0, 1, 2}).series("Population", {1, 2, 3});
    const std::string path = dir + "/plain.kdf";
    ASSERT_EQ(rb.write(path), 1);
    ASSERT_EQ(load_runs(model_rec, 1, path.c_str(), 1, 0), 1);
    choose_variable("Population");
    make_tool(bands_line(6, 2));
    answerer::box("Stop from Kavrel")
        .text("First run must be sensitivity run to get results.  Try strip graph")
        .press(IDOK);
    run_tool();
    EXPECT_TRUE(last_sens_records().empty());
}

// The bar graph's histograms over a sensitivity run: the simulations' values
// at one time, and the saved values of the run over the time axis.
TEST_F(SensWindow, BarGraphHistogramsOfTheSimulationsAndOfTheSavedTimes) {
    ASSERT_NO_FATAL_FAILURE(
        open_with_sens_run("population.kmf", {"Population"}, 200, 201, "Population"));
    set_tool_setup(find_tool_row("Bar Graph"), bar_tool_setup);
    // Sensitivity histogram at 100: 1000 + s x 10 for s = 0..199.
    tool_ = new_tool(find_tool_row("Bar Graph"), "Bars", 112);
    const char* lines[] = {"100,3,0,2,0,10,NA,NA,"};
    ASSERT_EQ(push_text_source(lines, 1, 0), 1);
    bar_tool_setup(0, tool_, nullptr, "x");
    close_text_source();
    run_tool();
    handle rec = last_bar_record();
    ASSERT_NE(rec, 0u);
    bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    EXPECT_NE(g->title.find("@ 100 sensivity histogram"), std::string::npos) << g->title;
    double total = 0;
    for (double c : g->counts) total += c;
    EXPECT_EQ(total, 200);
    EXPECT_EQ(g->group_count, 10); // nothing outside the rounded range
    EXPECT_NE(g->labels.front().find("1000"), std::string::npos) << g->labels.front();

    // Time histogram of the base series over the time axis: every saved time
    // counted once.
    close_framed_tool_windows(1);
    free_tool(tool_);
    tool_ = new_tool(find_tool_row("Bar Graph"), "Bars", 112);
    const char* lines2[] = {"0,2,0,1,0,5,NA,NA,"};
    ASSERT_EQ(push_text_source(lines2, 1, 0), 1);
    bar_tool_setup(0, tool_, nullptr, "x");
    close_text_source();
    run_tool();
    g = bar_graph_of(last_bar_record());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->title, "Population - time histogram");
    total = 0;
    for (double c : g->counts) total += c;
    EXPECT_EQ(total, 201);
    set_tool_setup(find_tool_row("Bar Graph"), nullptr);
}

TEST_F(SensWindow, CausesGetValueWindowsAndTheirLookupsAWindowOfTheirOwn) {
    ASSERT_NO_FATAL_FAILURE(open_with_sens_run("population.kmf", {"births"}, 20, 201, "births"));
    // Causes, bands, up to 6 graphs a window and 2 windows.
    std::string line = bands_line(6, 2);
    line.replace(0, 3, "0");
    make_tool(line);
    run_tool();
    ASSERT_EQ(last_sens_records().size(), 2u);
    sens_window* values = sens_window_of(last_sens_records()[0]);
    sens_window* lookups = sens_window_of(last_sens_records()[1]);
    ASSERT_NE(values, nullptr);
    ASSERT_NE(lookups, nullptr);
    EXPECT_EQ(values->graphs.front().name, "births");
    EXPECT_EQ(values->graphs.front().band_count, 4);
    ASSERT_EQ(lookups->graphs.size(), 1u);
    EXPECT_EQ(lookups->graphs[0].name, "crowding effect on births");
    EXPECT_EQ(lookups->x_title, "-X-");
    EXPECT_DOUBLE_EQ(lookups->t_high, 2);
    EXPECT_EQ(lookups->graphs[0].xs.size(), 5u);
    EXPECT_EQ(lookups->graphs[0].band_count, 0);
}

TEST_F(SensWindow, LinesPerSimulationTheMeanAndATimeAxisOfNoSpan) {
    ASSERT_NO_FATAL_FAILURE(
        open_with_sens_run("population.kmf", {"Population"}, 30, 201, "Population"));
    // No bands: every simulation a line in the simulation colour (green),
    // the mean drawn, the run's own line hidden.
    std::string line = bands_line(6, 2);
    line.replace(line.find(",152,66,1,"), 10, ",152,66,0,");
    line.replace(line.rfind("0,0,0,0,"), 8, "65280,0,1,1,");
    make_tool(line);
    run_tool();
    ASSERT_EQ(last_sens_records().size(), 1u);
    handle rec = last_sens_records()[0];
    sens_window* w = sens_window_of(rec);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->band_count, 0);
    EXPECT_EQ(w->show_mean, 1);
    EXPECT_EQ(w->hide_first_run, 1);
    ASSERT_EQ(w->graphs.size(), 1u);
    EXPECT_EQ(w->graphs[0].sim_lines, 30);
    HWND win = outwin_window(rec);
    const QImage img = td::image(win);
    int green = 0, run_colour = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = img.width() / 4; x < img.width(); ++x) {
            green += is(img.pixel(x, y), RGB(0, 255, 0));
            run_colour += y > img.height() / 4 && is(img.pixel(x, y), colour_table[0]);
        }
    EXPECT_GT(green, 500);
    EXPECT_EQ(run_colour, 0); // the first run's line is hidden with simulations shown

    // A time axis of no span is refused before anything is divided by it.
    close_framed_tool_windows(1);
    model_rec->end = model_rec->start;
    answerer::box("Stop from Kavrel").text("Unable to complete sens diagram").press(IDOK);
    run_tool();
    EXPECT_TRUE(last_sens_records().empty());
}

// The value range takes every point from the axis's first time to its last,
// both ends included, of the series, the simulations and the other runs; a
// point past the end is left out.
TEST(SensPlot, TheValueRangeHoldsThePointsAtBothEndsOfTheAxis) {
    sens_window w;
    w.t_low = 0;
    w.t_high = 10;
    sens_plot p;
    const sens_series first{{0, 5, 10, 12}, {-3, 2, 40, 500}};
    map_sens_plot(p, w, first, {}, {}, false);
    EXPECT_DOUBLE_EQ(p.low, -3);
    EXPECT_DOUBLE_EQ(p.high, 40);
    // A simulation's and another run's highest values at the last time.
    map_sens_plot(p, w, first, {{0, 1, 60, 900}}, {}, false);
    EXPECT_DOUBLE_EQ(p.high, 60);
    map_sens_plot(p, w, first, {}, {sens_series{{0, 10, 11}, {-8, 70, 800}}}, false);
    EXPECT_DOUBLE_EQ(p.low, -8);
    EXPECT_DOUBLE_EQ(p.high, 70);
}

// Another run's line keeps only its points on the time axis, ends included.
TEST(SensPlot, AnotherRunsLineKeepsOnlyThePointsOnTheAxis) {
    sens_window w;
    w.t_low = 0;
    w.t_high = 10;
    sens_plot p;
    const sens_series first{{0, 10}, {0, 100}};
    map_sens_plot(p, w, first, {}, {sens_series{{-1, 0, 10, 11}, {5, 20, 80, 50}}}, false, 0, 100);
    ASSERT_EQ(p.run_xs.size(), 1u);
    ASSERT_EQ(p.run_xs[0].size(), 2u);
    EXPECT_EQ(p.run_xs[0][0], 0);
    EXPECT_EQ(p.run_xs[0][1], 10000);
    EXPECT_EQ(p.run_ys[0][0], 8000); // 20 of 0..100, from the top
    EXPECT_EQ(p.run_ys[0][1], 2000);
}

// Band bounds in tenths of a per cent are named to the nearest per cent:
// 12.5 % reads 13 % and 97.5 % reads 98 %.
TEST_F(SensWindow, TheLegendNamesEachBandToTheNearestPerCent) {
    ASSERT_NO_FATAL_FAILURE(
        open_with_sens_run("population.kmf", {"Population"}, 40, 21, "Population"));
    make_tool("255,1,1,1,1,1,1,1,1,0,0,6,2,0,Arial|12||0-0-0,Arial|10||0-0-0,Arial|8||0-0-0,"
              "152,66,1,125,975,0,0,0,0,0,0,"
              "8454143,65280,16711680,8421504,16777215,16777215,16777215,16777215,0,0,0,0,");
    run_tool();
    ASSERT_EQ(last_sens_records().size(), 1u);
    handle rec = last_sens_records()[0];
    sens_window* w = sens_window_of(rec);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->band_count, 2);
    HWND win = outwin_window(rec);
    ASSERT_NE(win, nullptr);
    const std::string text = printed_pdf_text(testing::TempDir() + "kavrel_sens_pct.pdf", [&] {
        SendMessage(win, WM_COMMAND, cmd_print_output, 0);
    });
    EXPECT_NE(text.find("13%"), std::string::npos) << text;
    EXPECT_NE(text.find("98%"), std::string::npos) << text;
    EXPECT_EQ(text.find("12%"), std::string::npos) << text;
    EXPECT_EQ(text.find("97%"), std::string::npos) << text;
}

// The mean of the simulations is drawn only when asked for: with it the
// plot holds a black line across the fan that it lacks without.
TEST_F(SensWindow, TheMeanLineIsDrawnOnlyWhenAsked) {
    ASSERT_NO_FATAL_FAILURE(
        open_with_sens_run("population.kmf", {"Population"}, 30, 201, "Population"));
    auto black_in_plot = [&](const char* mean_and_hide) {
        std::string line = bands_line(6, 2);
        line.replace(line.find(",152,66,1,"), 10, ",152,66,0,");
        line.replace(line.rfind("0,0,0,0,"), 8, std::string("65280,0,") + mean_and_hide);
        make_tool(line);
        run_tool();
        EXPECT_EQ(last_sens_records().size(), 1u);
        if (last_sens_records().empty()) return -1;
        handle rec = last_sens_records()[0];
        HWND win = outwin_window(rec);
        const QImage img = td::image(win);
        int black = 0;
        for (int y = img.height() / 4; y < img.height() * 3 / 4; ++y)
            for (int x = img.width() / 3; x < img.width() * 9 / 10; ++x)
                black += is(img.pixel(x, y), RGB(0, 0, 0));
        close_framed_tool_windows(1);
        free_tool(tool_);
        tool_ = 0;
        return black;
    };
    const int with_mean = black_in_plot("1,1,");
    const int without = black_in_plot("0,1,");
    ASSERT_GE(without, 0);
    EXPECT_GT(with_mean, without + 50) << with_mean << " " << without;
}

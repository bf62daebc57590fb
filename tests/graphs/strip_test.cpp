// The strip graph: shortened run labels, constants per window, the
// analyses' points and axis (also over a time axis of no span), ranges; the
// tool on two runs of the population sample: strips of births and its
// causes over time with the constants listed per run, and autocorrelation;
// during Livesweep the shown run's strips are its re-runs' from the start.
#include "draw/axis.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/textsrc.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/moregraphs.h"
#include "graphs/strip.h"
#include "model/context.h"
#include "model/varnames.h"
#include "platform/print.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/palette.h"
#include "shell/settings_rows.h"
#include "shell/toolset.h"
#include "tests/common/message_log.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"
#include "tests/graphs/graph_windows_fixture.h"
#include "tests/graphs/livesweep_cache.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/run_builder.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace td = test_driver;

TEST(StripLabels, LongLabelsKeepFirstAndThirdCharactersAndTheLast45) {
    const std::string sixty = "abcdefghij" + std::string(50, 'x');
    const std::string s = shorten_strip_label(sixty);
    EXPECT_EQ(s, "ac..." + std::string(45, 'x'));
    EXPECT_EQ(s.size(), 50u);
    const std::string fifty(50, 'y');
    EXPECT_EQ(shorten_strip_label(fifty), fifty);
}

TEST(StripConstants, AWindowAlwaysHoldsAtLeastOneConstant) {
    EXPECT_EQ(constants_per_window(0, 2, 16), 1);
    EXPECT_EQ(constants_per_window(10, 16, 16), 1);
    // 5/3 x 600 / (1 x 20) = 50.
    EXPECT_EQ(constants_per_window(600, 2, 16), 50);
    EXPECT_EQ(constants_per_window(600, 0, 0), 1);
}

TEST(StripAnalysis, AutocorrelationAndSpectrumPointsAndTheirAxis) {
    std::vector<float> t, v;
    for (int i = 0; i <= 40; ++i) {
        t.push_back(i * 0.5f);
        v.push_back(std::sin(i * 0.7f));
    }
    std::vector<float> x, y;
    double top = 0;
    strip_analysis(2, t, v, 0, 20, 0.5, 0.5, 5, false, x, y, &top);
    ASSERT_EQ(x.size(), 11u); // lags 0 .. 5 by 0.5
    EXPECT_FLOAT_EQ(x[1], 0.5f);
    EXPECT_FLOAT_EQ(y[0], 1.0f);
    EXPECT_DOUBLE_EQ(top, 5.0);
    // Only the points inside the time axis take part.
    strip_analysis(0, t, v, 5, 10, 0.5, 0.5, 5, false, x, y, &top);
    EXPECT_EQ(x.size(), 11u);
    EXPECT_FLOAT_EQ(x.front(), 5.0f);
    // The spectrum: half the transform (64 for 41 points), up to 32 / (2 x 20).
    strip_analysis(1, t, v, 0, 20, 0.5, 0.5, 5, true, x, y, &top);
    ASSERT_EQ(x.size(), 32u);
    EXPECT_DOUBLE_EQ(top, 32.0 / 40.0);
    EXPECT_FLOAT_EQ(x[1], static_cast<float>(top / 32));
    for (float f : y) EXPECT_TRUE(std::isfinite(f));
    // A time axis of no span: the series' own span, never a division by 0.
    strip_analysis(1, {3, 3}, {1, 2}, 3, 3, 0, 0, 5, false, x, y, &top);
    EXPECT_TRUE(std::isfinite(top));
    EXPECT_GT(top, 0);
    for (float f : x) EXPECT_TRUE(std::isfinite(f));
}

TEST(StripMap, RangesFromTheDataOrAGivenRangeAndNoValues) {
    strip_window w;
    w.x_low = 0;
    w.x_high = 10;
    strip_plot p;
    map_strip(p, w, {{0, 5, 10, 20}}, {{-3, 4, 7, 99}});
    EXPECT_LT(p.low, -3 + 1e-9);
    EXPECT_GE(p.high, 7);
    EXPECT_LT(p.high, 99); // the point outside the axis does not count
    EXPECT_EQ(p.xs[0].size(), 3u);
    EXPECT_GT(p.zero_line, 0);
    map_strip(p, w, {{0, 5}}, {{1, 3}}, 0, 4);
    EXPECT_DOUBLE_EQ(p.low, 0);
    EXPECT_DOUBLE_EQ(p.high, 4);
    EXPECT_EQ(p.ys[0][1], axis_y_pos(3, 0, 4));
    map_strip(p, w, {{}}, {{}});
    EXPECT_DOUBLE_EQ(p.low, 0);
    EXPECT_DOUBLE_EQ(p.high, 100);
}

// A strip whose range comes from its values steps by round numbers: 9.2 to
// 17.5 in the window's five divisions would read 8, 10.4, 12.8 ...; the
// strip takes six of 2 (8 to 20). A given range keeps the window's count.
TEST(StripMap, AChosenRangeStepsByRoundNumbers) {
    strip_window w;
    w.x_low = 0;
    w.x_high = 10;
    w.value_divisions = 5;
    strip_plot p;
    map_strip(p, w, {{0, 5, 10}}, {{9.2f, 17.5f, 12}});
    EXPECT_DOUBLE_EQ(p.low, 8);
    EXPECT_DOUBLE_EQ(p.high, 20);
    EXPECT_EQ(p.divisions, 6);
    map_strip(p, w, {{0, 5}}, {{1, 3}}, 0, 4);
    EXPECT_EQ(p.divisions, 0);
}

// Only values from the axis's start to its end choose a strip's range: one
// just before the start does not.
TEST(StripMap, AValueBeforeTheAxisStartLeavesTheRangeAlone) {
    strip_window w;
    w.x_low = 0;
    w.x_high = 10;
    strip_plot p;
    map_strip(p, w, {{-0.5f, 0, 5, 10}}, {{-99, 1, 2, 3}});
    EXPECT_GT(p.low, -10);
    EXPECT_LE(p.low, 1);
    EXPECT_EQ(p.xs[0].size(), 3u);
}

TEST(StripToolSetup, DefaultsOptionLineAndIcons) {
    set_tool_setup(find_tool_row("Strip Graph"), strip_tool_setup);
    ASSERT_EQ(strip_tool_setup(0, 0, nullptr, nullptr), 156);
    handle tool = new_tool(find_tool_row("Strip Graph"), "Strip", 156);
    strip_tool_setup(0, tool, nullptr, nullptr);
    tool_record* r = lock_tool(tool);
    auto* o = static_cast<strip_options*>(tool_options(r));
    EXPECT_EQ(o->strips_per_window, 6);
    EXPECT_FLOAT_EQ(o->max_lag, 40);
    EXPECT_EQ(r->icon, 0x1e0020u);
    unlock_tool(tool);
    const char* lines[] = {"1,1,1,1,2,1,1,1,1,1,1,0,0,0,0,1,"
                           "Arial|12||0-0-0,Arial|10||0-0-0,Arial|8||0-0-0,80,30,12.5,1,"};
    ASSERT_EQ(push_text_source(lines, 1, 0), 1);
    strip_tool_setup(0, tool, nullptr, "x");
    close_text_source();
    r = lock_tool(tool);
    o = static_cast<strip_options*>(tool_options(r));
    EXPECT_EQ(o->as_points, 1);
    EXPECT_EQ(o->strip_kind, 2);
    EXPECT_EQ(o->strips_per_window, 1); // 0 raised to 1
    EXPECT_EQ(o->max_windows, 1);
    EXPECT_EQ(o->strip_width, 80);
    EXPECT_FLOAT_EQ(o->max_lag, 12.5f);
    EXPECT_EQ(o->remove_mean, 1);
    EXPECT_EQ(r->icon, 0x1e0040u); // points, uses
    unlock_tool(tool);
    std::string out;
    strip_tool_setup(1, tool, &out, nullptr);
    EXPECT_EQ(std::count(out.begin(), out.end(), ','), 23);
    free_tool(tool);
    set_tool_setup(find_tool_row("Strip Graph"), nullptr);
}

// The tool's text line: the variables (0 the workbench variable and its
// causes, 255 it alone) and the kind (0 over time, 1 spectrum, 2
// autocorrelation).
static std::string strip_line(int choice, int kind) {
    return "0," + std::to_string(choice) + ",1,1," + std::to_string(kind) +
           ",1,1,1,1,1,1,0,0,6,2,0,Arial|12||0-0-0,Arial|10||0-0-0,Arial|8||0-0-0,"
           "60,25,10,0,";
}

class StripWindow : public GraphToolTest {
protected:
    StripWindow() : GraphToolTest("Strip Graph") {}
    void SetUp() override {
        GraphToolTest::SetUp();
        model_ = sample("population.kmf");
        ASSERT_EQ(open_model(1, 0, model_.c_str(), 0), 1);
        // Two runs: birth rate 0.04 and 0.06, the births rising with it.
        for (float rate : {0.04f, 0.06f}) {
            std::vector<float> times, pop, births;
            for (int t = 0; t <= 100; ++t) {
                times.push_back(float(t));
                pop.push_back(1000 + rate * 100 * t);
                births.push_back(rate * (1000 + rate * 100 * t));
            }
            run_builder rb(cur_model_symbols, 'R');
            rb.times(times)
                .series("Population", pop)
                .series("births", births)
                .constant("birth rate", rate)
                .constant("carrying capacity", 10000);
            const std::string path =
                dir + (rate < 0.05f ? "/slow.kdf"
                                    : "/a run with a name that is much longer than "
                                      "fifty characters.kdf");
            ASSERT_EQ(rb.write(path), 1) << rb.error();
            ASSERT_EQ(load_runs(model_rec, 1, path.c_str(), 1, 0), 1);
        }
        ASSERT_EQ(loaded_run_names(1), 2);
        choose_variable("births");
    }
    // Changes the tool's options in its block, as its setup dialog does.
    template <class Change> void change_options(Change change) {
        tool_record* r = lock_tool(tool_);
        ASSERT_NE(r, nullptr);
        change(*static_cast<strip_options*>(tool_options(r)));
        unlock_tool(tool_);
    }
    void make_tool(const std::string& line) {
        tool_ = new_tool(find_tool_row("Strip Graph"), "Causes Strip", 156);
        const char* lines[] = {line.c_str()};
        ASSERT_EQ(push_text_source(lines, 1, 0), 1);
        strip_tool_setup(0, tool_, nullptr, "x");
        close_text_source();
    }
    // Opens the strip of births alone (kind 0 over time, 1 spectrum, 2
    // autocorrelation) during Livesweep, the first run shown: its record
    // and its strip, the shown run's live, the other's not.
    // A Livesweep re-run saved into the value cache, step by step as the run
    // saves them: birth rate 0.02 and a third of the births in file (the
    // births' slot's values at times 0 to 100).
    static void save_rerun_with_a_third(std::int32_t births, std::int32_t rate,
                                        const std::vector<float>& file) {
        std::vector<float> step(static_cast<std::size_t>(std::max(births, rate)) + 1, NA);
        set_cache_points_counter(0);
        for (int i = 0; i <= 100; ++i) {
            step[0] = float(i);
            step[static_cast<std::size_t>(rate)] = 0.02f;
            step[static_cast<std::size_t>(births)] = file[static_cast<std::size_t>(i)] / 3;
            livesweep_save_values(step.data(), step.size(), 100 - i);
        }
    }
    void open_live_births(int kind, handle& rec, strip_plot*& plot) {
        make_tool(strip_line(255, kind));
        run_tool();
        ASSERT_EQ(last_strip_records().size(), 1u);
        rec = last_strip_records()[0];
        strip_window* w = strip_window_of(rec);
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(w->strips.size(), 1u);
        plot = &w->strips[0];
        ASSERT_EQ(plot->live_slots.size(), 2u);
        EXPECT_NE(plot->live_slots[0], 0u);
        EXPECT_EQ(plot->live_slots[1], 0u);
    }
};

TEST_F(StripWindow, CausesOverTimeWithTheConstantsListedPerRun) {
    make_tool(strip_line(0, 0));
    run_tool();
    // The strips with the constants, and a window of the lookup that births
    // use, x against y over the lookup's own x range.
    ASSERT_EQ(last_strip_records().size(), 2u);
    strip_window* lw = strip_window_of(last_strip_records()[1]);
    ASSERT_NE(lw, nullptr);
    ASSERT_EQ(lw->strips.size(), 1u);
    EXPECT_EQ(lw->strips[0].name, "crowding effect on births");
    EXPECT_EQ(lw->x_title, "-X-");
    EXPECT_DOUBLE_EQ(lw->x_low, 0);
    EXPECT_DOUBLE_EQ(lw->x_high, 2);
    ASSERT_EQ(lw->strips[0].xs.size(), 2u);
    EXPECT_EQ(lw->strips[0].xs[0].size(), 5u);
    EXPECT_EQ(lw->strips[0].xs[0].back(), 10000);
    EXPECT_TRUE(lw->constants.empty());
    handle rec = last_strip_records()[0];
    strip_window* w = strip_window_of(rec);
    ASSERT_NE(w, nullptr);
    ASSERT_GE(w->strips.size(), 2u);
    EXPECT_EQ(w->strips[0].name, "births");
    bool has_population = false;
    for (const strip_plot& p : w->strips) has_population |= p.name == "Population";
    EXPECT_TRUE(has_population);
    ASSERT_GE(w->constants.size(), 2u);
    const strip_constant* rate = nullptr;
    for (const strip_constant& c : w->constants)
        if (c.name == "birth rate") rate = &c;
    ASSERT_NE(rate, nullptr);
    ASSERT_EQ(rate->values.size(), 2u);
    EXPECT_FLOAT_EQ(rate->values[0], 0.06f); // the newest run first
    EXPECT_FLOAT_EQ(rate->values[1], 0.04f);
    // Both runs draw in the births strip.
    ASSERT_EQ(w->strips[0].xs.size(), 2u);
    EXPECT_EQ(w->strips[0].xs[0].size(), 101u);
    EXPECT_GT(w->strips[0].ys[1].front(), w->strips[0].ys[0].back()); // slower run lower (y down)

    auto* o = static_cast<output_record*>(lock_handle(rec));
    HWND win = o->window;
    unlock_handle(rec);
    ASSERT_NE(win, nullptr);
    const QImage img = td::image(win);
    EXPECT_TRUE(td::save_png(win, testing::TempDir() + "kavrel_strip.png"));
    int red = 0, blue = 0;
    for (int y = img.height() / 5; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y) & 0xFFFFFF;
            const COLORREF c0 = colour_table[0], c1 = colour_table[1];
            blue += p == (qRgb(GetRValue(c0), GetGValue(c0), GetBValue(c0)) & 0xFFFFFF);
            red += p == (qRgb(GetRValue(c1), GetGValue(c1), GetBValue(c1)) & 0xFFFFFF);
        }
    EXPECT_GT(blue, 50);
    EXPECT_GT(red, 50);
    const std::string text = printed_pdf_text(testing::TempDir() + "kavrel_strip.pdf", [&] {
        SendMessage(win, WM_COMMAND, cmd_print_output, 0);
    });
    for (const char* want : {"births", "birth rate", "slow: 0.04", "Population", "Time"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " in\n" << text;
    // The long run name is shortened in the list: first and third
    // characters, "...", the last 45.
    const std::string long_name = "a run with a name that is much longer than fifty characters";
    EXPECT_NE(text.find("ar..." + long_name.substr(long_name.size() - 45) + ": 0.06"),
              std::string::npos)
        << text;
    // A constant's values stand two to a line: both runs' entries share one.
    {
        std::size_t at = text.find("slow: 0.04");
        ASSERT_NE(at, std::string::npos);
        const std::size_t from = text.rfind('\n', at) + 1, to = text.find('\n', at);
        EXPECT_NE(text.substr(from, to - from).find(": 0.06"), std::string::npos) << text;
    }
    const std::string wmf = dir + "/strip.wmf";
    EXPECT_EQ(save_graph_window(rec, wmf.c_str()), 1);
    EXPECT_GT(std::filesystem::file_size(wmf), 100u);
}

// With no workbench variable a causes strip says what to do instead of
// leaving the user with nothing; "All Variables" needs none.
// Run again with taller strips, a strip tool takes its window over and fits
// the frame to the new layout: the window gets the size a new window of the
// same strips gets, not the size it had.
TEST_F(StripWindow, ARunAgainFitsTheWindowItTakesOverToTheNewLayout) {
    make_tool(strip_line(255, 0)); // births alone
    run_tool();
    ASSERT_EQ(last_strip_records().size(), 1u);
    HWND first = outwin_window(last_strip_records()[0]);
    ASSERT_NE(first, nullptr);
    RECT alone{};
    GetClientRect(first, &alone);
    // Strips twice as tall: a taller layout.
    change_options([](strip_options& o) { o.strip_height *= 2; });
    run_tool();
    ASSERT_EQ(last_strip_records().size(), 1u);
    HWND again = outwin_window(last_strip_records()[0]);
    EXPECT_EQ(again, first) << "the tool's window is taken over";
    RECT refitted{};
    GetClientRect(again, &refitted);
    // The same strips in a window of their own.
    close_framed_tool_windows(1);
    td::run_until_idle();
    run_tool();
    ASSERT_EQ(last_strip_records().size(), 1u);
    HWND fresh = outwin_window(last_strip_records()[0]);
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, first);
    RECT own{};
    GetClientRect(fresh, &own);
    EXPECT_GT(own.bottom, alone.bottom) << "the layout grew";
    EXPECT_EQ(refitted.right, own.right);
    EXPECT_EQ(refitted.bottom, own.bottom);
}

TEST_F(StripWindow, WithoutAWorkbenchVariableTheUserIsToldWhy) {
    make_tool(strip_line(0, 0));
    workbench_var = {};
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    run_tool();
    set_message_hook(nullptr);
    EXPECT_TRUE(last_strip_records().empty());
    EXPECT_TRUE(message_log::said("no workbench variable is chosen", 8));
}

TEST_F(StripWindow, AutocorrelationStripsListNoConstants) {
    make_tool(strip_line(0, 2));
    run_tool();
    ASSERT_EQ(last_strip_records().size(), 1u);
    strip_window* w = strip_window_of(last_strip_records()[0]);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->constants.empty());
    EXPECT_EQ(w->x_title.rfind("Lag ", 0), 0u);
    EXPECT_DOUBLE_EQ(w->x_low, 0);
    EXPECT_DOUBLE_EQ(w->x_high, 10); // lags up to 10 by the saving interval 1
    ASSERT_FALSE(w->strips.empty());
    EXPECT_EQ(w->strips[0].xs[0].size(), 11u);
}

// The re-runs write the shown run's values into the value cache only, never
// into its run file: a strip opened after them shows what they made at once,
// not the run file until the next re-run.
TEST_F(StripWindow, AStripOpenedDuringLivesweepShowsTheReRunsAtOnce) {
    const livesweep_session sweep(101); // the first selected run (0.06, the newest) is shown
    lock_model(0);
    std::int32_t slot = -1, rate = -1;
    ASSERT_GT(find_var_name("births", &slot), 0);
    ASSERT_GT(find_var_name("birth rate", &rate), 0);
    unlock_model(0);
    ASSERT_GE(slot, 0);
    ASSERT_GE(rate, 0);
    const float *t = nullptr, *v = nullptr;
    ASSERT_GT(cached_series(rate, &t, &v, 0), 0); // the sliders' constants are cached
    ASSERT_EQ(cached_series(slot, &t, &v, 0), 101);
    // A re-run with a slider moved saves its steps with a third of the
    // births: below the other run's (0.04) throughout, where the file's are
    // above them.
    const std::vector<float> file(v, v + 101);
    save_rerun_with_a_third(slot, rate, file);
    ASSERT_EQ(cached_series(slot, &t, &v, 0), 101);
    ASSERT_FLOAT_EQ(v[100], file[100] / 3);

    make_tool(strip_line(0, 0)); // births and its causes
    run_tool();
    ASSERT_FALSE(last_strip_records().empty());
    const handle rec = last_strip_records()[0];
    strip_window* w = strip_window_of(rec);
    ASSERT_NE(w, nullptr);
    ASSERT_FALSE(w->strips.empty());
    ASSERT_EQ(w->strips[0].name, "births");
    // The listed constant: the re-run's for the shown run, the file's for
    // the other.
    const strip_constant* listed = nullptr;
    for (const strip_constant& c : w->constants)
        if (c.name == "birth rate") listed = &c;
    ASSERT_NE(listed, nullptr);
    ASSERT_EQ(listed->values.size(), 2u);
    EXPECT_FLOAT_EQ(listed->values[0], 0.02f);
    EXPECT_FLOAT_EQ(listed->values[1], 0.04f);
    strip_plot& p = w->strips[0];
    ASSERT_FALSE(p.ys[0].empty());
    ASSERT_FALSE(p.ys[1].empty());
    // Smaller positions are higher: the re-run's curve lies under the other.
    EXPECT_GT(*std::min_element(p.ys[0].begin(), p.ys[0].end()),
              *std::max_element(p.ys[1].begin(), p.ys[1].end()));
    // The next re-run's redraw of the same values changes nothing.
    const std::vector<std::int16_t> opened = p.ys[0];
    update_live(rec);
    EXPECT_EQ(p.ys[0], opened);
}

// An autocorrelation or spectrum strip opened during Livesweep works its
// analysis out again from each re-run of the shown run, on the axes it
// opened with; the other run stays as its file has it.
TEST_F(StripWindow, AnalysisStripsFollowTheLivesweepReRuns) {
    livesweep_session sweep;
    for (int kind : {1, 2}) {
        sweep.start(101);
        lock_model(0);
        std::int32_t slot = -1;
        ASSERT_GT(find_var_name("births", &slot), 0);
        unlock_model(0);
        const float *t = nullptr, *v = nullptr;
        ASSERT_EQ(cached_series(slot, &t, &v, 0), 101);
        const std::vector<float> file(v, v + 101);
        handle rec = 0;
        strip_plot* plot = nullptr;
        ASSERT_NO_FATAL_FAILURE(open_live_births(kind, rec, plot));
        strip_plot& p = *plot;
        const std::vector<std::int16_t> opened = p.ys[0], other = p.ys[1];
        ASSERT_FALSE(opened.empty());
        // The same values again: the same points.
        update_live(rec);
        EXPECT_EQ(p.ys[0], opened) << kind;
        // A re-run whose births ripple from step to step: another
        // autocorrelation and another spectrum.
        std::vector<float> step(static_cast<std::size_t>(slot) + 1, NA);
        set_cache_points_counter(0);
        for (int i = 0; i <= 100; ++i) {
            step[0] = float(i);
            step[static_cast<std::size_t>(slot)] =
                file[static_cast<std::size_t>(i)] * (i % 2 ? 1.2f : 0.8f);
            livesweep_save_values(step.data(), step.size(), 100 - i);
        }
        update_live(rec);
        EXPECT_NE(p.ys[0], opened) << kind;
        EXPECT_EQ(p.ys[0].size(), opened.size()) << kind;
        EXPECT_EQ(p.ys[1], other) << kind;
    }
}

TEST_F(StripWindow, LivesweepStripsFollowTheCacheOfTheLivesweepRun) {
    const livesweep_session sweep(101);
    handle rec = 0;
    strip_plot* plot = nullptr;
    ASSERT_NO_FATAL_FAILURE(open_live_births(0, rec, plot));
    strip_plot& p = *plot;
    const std::vector<std::int16_t> ys = p.ys[0];
    p.xs[0].clear();
    p.ys[0].clear();
    p.xs[1].clear();
    update_live(rec);
    EXPECT_EQ(p.ys[0], ys);       // the Livesweep run mapped again from the cache
    EXPECT_TRUE(p.xs[1].empty()); // the other run is left alone
}

namespace {

// A strip opened before Livesweep started follows the re-runs too, and so
// do the constants it lists.
TEST_F(StripWindow, AStripOpenedBeforeLivesweepFollowsTheReRuns) {
    make_tool(strip_line(0, 0)); // births and its causes
    run_tool();
    ASSERT_FALSE(last_strip_records().empty());
    const handle rec = last_strip_records()[0];
    strip_window* w = strip_window_of(rec);
    ASSERT_NE(w, nullptr);
    ASSERT_FALSE(w->strips.empty());
    strip_plot& p = w->strips[0];
    ASSERT_EQ(p.name, "births");
    for (std::uint32_t s : p.live_slots) EXPECT_EQ(s, 0u);
    const std::vector<std::int16_t> before = p.ys[0], other = p.ys[1];

    const livesweep_session sweep(101);
    // Before the re-run: the strip's series is asked of the cache.
    strip_prepare_live(rec);
    ASSERT_EQ(p.live_slots.size(), 2u);
    EXPECT_NE(p.live_slots[0], 0u);
    EXPECT_EQ(p.live_slots[1], 0u);
    lock_model(0);
    std::int32_t slot = -1, rate = -1;
    ASSERT_GT(find_var_name("births", &slot), 0);
    ASSERT_GT(find_var_name("birth rate", &rate), 0);
    unlock_model(0);
    const float *t = nullptr, *v = nullptr;
    ASSERT_EQ(cached_series(slot, &t, &v, 0), 101);
    const std::vector<float> file(v, v + 101);
    // A re-run with a third of the births and another birth rate.
    save_rerun_with_a_third(slot, rate, file);
    update_live(rec);
    EXPECT_NE(p.ys[0], before);
    EXPECT_EQ(p.ys[1], other); // the other run is left alone
    // Lower births: larger positions (the strip's scale is as it opened).
    EXPECT_GT(p.ys[0].back(), before.back());
    const strip_constant* listed = nullptr;
    for (const strip_constant& c : w->constants)
        if (c.name == "birth rate") listed = &c;
    ASSERT_NE(listed, nullptr);
    EXPECT_FLOAT_EQ(listed->values[0], 0.02f);
    EXPECT_FLOAT_EQ(listed->values[1], 0.04f);
}

} // namespace

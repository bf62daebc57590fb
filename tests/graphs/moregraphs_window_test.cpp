// The Bar Graph and Gantt tools run from the palette on simulated samples:
// their windows checked on the image (bars in each run's colour inside the
// plot, labels on three rows, outlier bars, Gantt rows), printed to the PDF
// printer and saved as a metafile.
#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/textsrc.h"
#include "graphs/bargraph.h"
#include "graphs/gantt.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "graphs/moregraphs.h"
#include "model/context.h"
#include "model/subscript_selection.h"
#include "model/varnames.h"
#include "platform/print.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/msgbox.h"
#include "shell/palette.h"
#include "shell/rundrv.h"
#include "shell/settings_rows.h"
#include "shell/toolset.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/common/command_output.h"
#include "tests/common/message_log.h"
#include "tests/common/packages.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"
#include "tests/graphs/graph_windows_fixture.h"
#include "tests/graphs/livesweep_cache.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace td = test_driver;

namespace {

using test_driver::count_colour;

// The rows of the image that hold a colour, first and last (-1 none).
std::pair<int, int> rows_with(const QImage& img, COLORREF c) {
    int first = -1, last = -1;
    for (int y = 0; y < img.height(); ++y)
        if (count_colour(img, QRect(0, y, img.width(), 1), c) > 0) {
            if (first < 0) first = y;
            last = y;
        }
    return {first, last};
}

} // namespace

// A sample simulated twice (a constant changed for the second run), the
// workbench variable chosen, a tool of the row made as the palette makes it.
class MoreGraphsWindow : public GraphToolTest {
protected:
    MoreGraphsWindow() : GraphToolTest("Bar Graph") {}
    void open_sample(const char* file, const char* constant, float second_value,
                     const char* variable) {
        GraphToolTest::SetUp();
        if (HasFatalFailure()) return;
        model_ = sample(file);
        ASSERT_EQ(open_model(1, 0, model_.c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
        set_run_name("base");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        lock_model(0);
        const std::int32_t slot = sym(find_symbol(constant))->slot;
        unlock_model(0);
        ASSERT_EQ(ensure_setup_copy(0), 1);
        ASSERT_EQ(set_setup_value(slot, second_value), 1);
        set_run_name("other");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        ASSERT_EQ(loaded_run_names(1), 2);
        choose_variable(variable);
        ASSERT_NE(workbench_var.var, 0u);
    }
    void TearDown() override {
        set_tool_setup(find_tool_row("Gantt"), nullptr);
        clear_setup();
        ask_dataset_overwrite = true;
        GraphToolTest::TearDown();
    }
    void set_run_name(const char* name) {
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
    }
    // A tool of the row read from an option line, as a tool set gives it.
    void make_tool(const char* row, const char* line) {
        const int r = find_tool_row(row);
        tool_setup_fn setup = analysis_tool_table[r].setup;
        tool_ = new_tool(r, row, setup(0, 0, nullptr, nullptr));
        const char* const lines[] = {line};
        ASSERT_EQ(push_text_source(lines, 1, 0), 1);
        setup(0, tool_, nullptr, "x");
        close_text_source();
    }
    HWND run_tool(handle (*last)()) {
        GraphToolTest::run_tool();
        handle rec = last();
        if (!rec) return nullptr;
        return outwin_window(rec);
    }
    std::string print_to_pdf(HWND w, const char* name) {
        const std::string pdf = testing::TempDir() + name;
        std::string text =
            printed_pdf_text(pdf, [&] { SendMessage(w, WM_COMMAND, cmd_print_output, 0); });
        EXPECT_TRUE(std::filesystem::exists(pdf));
        return text;
    }
    std::string save_wmf(handle rec, const char* name) {
        const std::string wmf = dir + "/" + name;
        EXPECT_EQ(save_graph_window(rec, wmf.c_str()), 1);
        std::ifstream in(wmf, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_GT(bytes.size(), 22u);
        if (bytes.size() > 3) {
            EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD7); // placeable metafile
            EXPECT_EQ(static_cast<unsigned char>(bytes[3]), 0x9A);
        }
        // An independent reader converts it; its texts come back with it.
        EXPECT_EQ(packages_missing({"libwmf-bin"}), "");
        const std::string svg = wmf + ".svg";
        EXPECT_EQ(std::system(("wmf2svg -o '" + svg + "' '" + wmf + "' 2>/dev/null").c_str()), 0);
        std::ifstream sin(svg);
        svg_text_.assign((std::istreambuf_iterator<char>(sin)), std::istreambuf_iterator<char>());
        return bytes;
    }
    std::string svg_text_; // the last saved metafile converted to SVG
};

class BarGraphWindow : public MoreGraphsWindow {
protected:
    void SetUp() override { open_sample("subscripted.kmf", "demand[north,food]", 40, "demand"); }
    // A bar graph of supply (a series; demand is a constant): its 12 elements
    // over the two runs. Its record, 0 when it did not open.
    handle open_supply_bars() {
        lock_model(0);
        workbench_var.var = find_symbol("supply");
        unlock_model(0);
        make_tool("Bar Graph", "0,1,0,0,0,10,NA,NA,");
        if (!run_tool(last_bar_record)) return 0;
        return last_bar_record();
    }
    // Supply's bars of the first run (the Livesweep run) are asked of the
    // value cache, the second run's not; wiped, a re-run's update brings back
    // the Livesweep run's as they were (before) and leaves the other's.
    static void expect_supply_bars_follow_the_cache(handle rec, bar_graph& g,
                                                    std::vector<std::uint16_t> before) {
        ASSERT_EQ(g.live_slots.size(), 24u);
        for (int i = 0; i < 12; ++i) {
            EXPECT_NE(g.live_slots[static_cast<std::size_t>(2 * i)], 0u) << i;
            EXPECT_EQ(g.live_slots[static_cast<std::size_t>(2 * i + 1)], 0u) << i;
        }
        std::fill(g.heights.begin(), g.heights.end(), 0);
        update_live(rec);
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(g.height(i, 0), before[static_cast<std::size_t>(2 * i)]) << i;
            EXPECT_EQ(g.height(i, 1), 0) << i;
        }
    }
};

// Bars of consecutive elements of one range: a Shift-drag along their axis
// selects the elements whose bars' middles it spans. Bars of two varying
// subscripts, or with a gap, have no such axis.
TEST_F(BarGraphWindow, DraggingAlongTheElementsSelectsThem) {
    lock_model(0);
    const symbol_id region = find_symbol("region"), product = find_symbol("product");
    unlock_model(0);
    ASSERT_NE(region, 0u);
    ASSERT_EQ(select_element_span(product, 1, 1), 1); // tools only
    struct restore {
        symbol_id a, b;
        ~restore() {
            select_element_span(a, 0, 3);
            select_element_span(b, 0, 2);
        }
    } put_back{region, product};
    make_tool("Bar Graph", "0,1,0,0,0,10,NA,NA,");
    HWND w = run_tool(last_bar_record);
    ASSERT_NE(w, nullptr);
    handle rec = last_bar_record();
    bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->group_count, 4);
    EXPECT_EQ(g->labels[1], "demand[south,tools]");
    EXPECT_EQ(g->element_range, "region");
    EXPECT_EQ(g->element_first, 0);
    td::run_until_idle();
    value_map m{};
    ASSERT_TRUE(record_value_map(rec, &m));
    ASSERT_NE(m.x_p0, m.x_p1);
    const auto middle = [&](int i) { return m.x_p0 + (2 * i + 1) * (m.x_p1 - m.x_p0) / 8; };
    const int y = (m.y_p0 + m.y_p1) / 2;
    // From east's middle back to just past south's.
    td::drag(w, POINT{middle(2) + 2, y}, POINT{middle(1) - 2, y}, 4, td::Button::left, td::shift);
    td::run_until_idle();
    EXPECT_FALSE(subscript_selected(region, 0));
    EXPECT_TRUE(subscript_selected(region, 1));
    EXPECT_TRUE(subscript_selected(region, 2));
    EXPECT_FALSE(subscript_selected(region, 3));
    // The time axis was not touched.
    EXPECT_DOUBLE_EQ(model_rec->start, 0);
    // A drag that reaches into a bar's room takes its element: from the
    // left of north's middle to the right edge of south's room.
    const int room = (m.x_p1 - m.x_p0) / 4;
    td::drag(w, POINT{middle(0) - 3, y}, POINT{m.x_p0 + 2 * room - 3, y}, 4, td::Button::left,
             td::shift);
    td::run_until_idle();
    EXPECT_TRUE(subscript_selected(region, 0));
    EXPECT_TRUE(subscript_selected(region, 1));
    EXPECT_FALSE(subscript_selected(region, 2));

    lock_model(0);
    std::string range;
    int first = -1;
    EXPECT_TRUE(element_span_of({"demand[south,cloth]", "demand[east,cloth]"}, range, first));
    EXPECT_EQ(range, "region");
    EXPECT_EQ(first, 1);
    EXPECT_TRUE(element_span_of({"demand[west,food]", "demand[west,tools]"}, range, first));
    EXPECT_EQ(range, "product");
    EXPECT_FALSE(element_span_of({"demand[north,food]", "demand[east,food]"}, range, first));
    EXPECT_FALSE(element_span_of({"demand[north,food]", "demand[south,tools]"}, range, first));
    EXPECT_FALSE(element_span_of({"demand[south,food]", "demand[north,food]"}, range, first));
    EXPECT_FALSE(element_span_of({"demand[north,food]"}, range, first));
    unlock_model(0);
}

TEST_F(BarGraphWindow, TwelveGroupsOfTwoRunsWithLabelsOnThreeRows) {
    // At the end of the time axis, bars.
    make_tool("Bar Graph", "0,1,0,0,0,10,NA,NA,");
    HWND w = run_tool(last_bar_record);
    ASSERT_NE(w, nullptr);
    handle rec = last_bar_record();
    bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->group_count, 12);
    EXPECT_EQ(g->run_count, 2);
    EXPECT_EQ(g->labels[0], "demand[north,food]");
    EXPECT_NE(g->title.find("demand"), std::string::npos);
    EXPECT_NE(g->title.find(" @ 50"), std::string::npos);
    // The second run's demand for north's food is higher; the others equal.
    EXPECT_LT(g->height(0, 1), g->height(0, 0));
    EXPECT_EQ(g->height(1, 1), g->height(1, 0));
    EXPECT_GT(g->height(1, 0), 0);

    const QImage img = td::image(w);
    EXPECT_TRUE(td::save_png(w, testing::TempDir() + "kavrel_bar_graph.png"));
    // Both runs' colours fill bars below the legend; the plot is white inside.
    const auto [top0, bottom0] = rows_with(img, colour_table[0]);
    const auto [top1, bottom1] = rows_with(img, colour_table[1]);
    ASSERT_GE(top0, 0);
    ASSERT_GE(top1, 0);
    EXPECT_GT(
        count_colour(img, QRect(0, img.height() / 4, img.width(), img.height()), colour_table[0]),
        200);
    EXPECT_GT(
        count_colour(img, QRect(0, img.height() / 4, img.width(), img.height()), colour_table[1]),
        200);
    EXPECT_GT(bottom0, img.height() / 2);

    const std::string text = print_to_pdf(w, "kavrel_bar_graph.pdf");
    for (const char* want : {"base", "other", "demand[north,food]", "demand[west,cloth]"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " in\n" << text;
    // Labels of neighbouring groups sit on different rows.
    const std::size_t first = text.find("demand[north,food]"),
                      second = text.find("demand[north,tools]");
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(text.rfind('\n', first), text.rfind('\n', second));
    const std::string wmf = save_wmf(rec, "bars.wmf");
    EXPECT_NE(wmf.find("demand[east,food]"), std::string::npos);
    EXPECT_NE(svg_text_.find("demand[east,food]"), std::string::npos);
}

TEST_F(BarGraphWindow, ASubscriptHistogramShowsOutlierBars) {
    // Subscript histogram at the end, range 2 to 10 given, 4 bins: the
    // demands below and above it (1; 12 and 40) get "<2" and ">10" bars.
    make_tool("Bar Graph", "0,1,0,3,0,4,2,10,");
    HWND w = run_tool(last_bar_record);
    ASSERT_NE(w, nullptr);
    handle rec = last_bar_record();
    bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    EXPECT_NE(g->title.find("subscript histogram"), std::string::npos);
    double total = 0;
    for (double c : g->counts) total += c;
    EXPECT_EQ(total, 24); // twelve elements, two runs
    ASSERT_EQ(g->group_count, 6);
    EXPECT_EQ(g->labels.front(), "<2");
    EXPECT_EQ(g->labels[1], "2-4");
    EXPECT_EQ(g->labels.back(), ">10");
    // Run 0 (the newest, "other") has 40 for north's food, run 1 has 10.
    EXPECT_EQ(g->counts[0 * 2 + 0], 1);
    EXPECT_EQ(g->counts[5 * 2 + 0], 2); // 12 and 40
    EXPECT_EQ(g->counts[5 * 2 + 1], 1); // 12
    const std::string text = print_to_pdf(w, "kavrel_histogram.pdf");
    for (const char* want : {"subscript histogram", "<2", ">10", "2-4"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " in\n" << text;
    EXPECT_TRUE(td::save_png(w, testing::TempDir() + "kavrel_histogram.png"));
    save_wmf(rec, "histogram.wmf");
    EXPECT_NE(svg_text_.find("subscript histogram"), std::string::npos);
}

// The inventory sample run twice, the second with orders averaged over 12,
// expected orders the workbench variable.
class InventoryRuns : public MoreGraphsWindow {
protected:
    void SetUp() override {
        open_sample("inventory.kmf", "order averaging time", 12, "expected orders");
    }
};

class GanttWindow : public InventoryRuns {};

TEST_F(GanttWindow, OrdersAboveAThresholdDrawABarPerIntervalAndRun) {
    // Every interval above 120: the smoothed orders rise past it after the
    // step and swing around it with the season.
    make_tool("Gantt", "120,658,1,");
    HWND w = run_tool(last_gantt_record);
    ASSERT_NE(w, nullptr);
    handle rec = last_gantt_record();
    gantt_chart* c = gantt_chart_of(rec);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->row_names.size(), 1u);
    EXPECT_EQ(c->row_names[0], "expected orders");
    ASSERT_EQ(c->bars[0].size(), 2u);
    ASSERT_FALSE(c->bars[0][0].empty());
    ASSERT_FALSE(c->bars[0][1].empty());
    // Nothing before the step at 10 (of 0 to 100).
    EXPECT_GT(c->bars[0][0].front().first, 1000);
    EXPECT_GT(c->bars[0][1].front().first, 1000);

    const QImage img = td::image(w);
    EXPECT_TRUE(td::save_png(w, testing::TempDir() + "kavrel_gantt.png"));
    // Each run's colour: its legend box and its bars below the legend.
    const auto [top0, bottom0] = rows_with(img, colour_table[0]);
    const auto [top1, bottom1] = rows_with(img, colour_table[1]);
    ASSERT_GE(top0, 0);
    ASSERT_GE(top1, 0);
    EXPECT_GT(bottom0, top1); // the first run's bars lie below the second's legend line
    EXPECT_GT(bottom1, bottom0 - 40);

    const std::string text = print_to_pdf(w, "kavrel_gantt.pdf");
    for (const char* want : {"base", "other", "expected orders", "Time"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " in\n" << text;
    const std::string wmf = save_wmf(rec, "gantt.wmf");
    EXPECT_NE(wmf.find("expected orders"), std::string::npos);
    EXPECT_NE(svg_text_.find("expected orders"), std::string::npos);
}

TEST_F(GanttWindow, AnAxisOfNoSpanIsRefusedWithTheMessage) {
    make_tool("Gantt", "120,658,1,");
    model_rec->end = model_rec->start;
    answerer::box("Stop from Kavrel").text("Unable to complete the gantt chart").press(IDOK);
    EXPECT_EQ(run_tool(last_gantt_record), nullptr);
    EXPECT_EQ(last_gantt_record(), 0u);
}

TEST_F(BarGraphWindow, HorizontalBarsRunRightFromTheLabels) {
    make_tool("Bar Graph", "0,1,1,0,0,10,NA,NA,");
    HWND w = run_tool(last_bar_record);
    ASSERT_NE(w, nullptr);
    bar_graph* g = bar_graph_of(last_bar_record());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->horizontal, 1);
    const QImage img = td::image(w);
    // North's food of the second run (40) is the longest bar: a row of the
    // first run's colour reaching past two thirds of the width.
    int longest = 0;
    for (int y = 0; y < img.height(); ++y) {
        int run = 0;
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y) & 0xFFFFFF;
            const COLORREF c = colour_table[0];
            run = p == (qRgb(GetRValue(c), GetGValue(c), GetBValue(c)) & 0xFFFFFF) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    EXPECT_GT(longest, img.width() / 2);
    // Bars are taller than wide nowhere: each is a thin horizontal strip.
    const auto [top0, bottom0] = rows_with(img, colour_table[0]);
    EXPECT_GT(bottom0 - top0, img.height() / 2); // spread down the groups
}

// Bars too wide for the screen even in the small font are shown as a line
// graph over the bar labels, a series per run; forced bars stay bars and so
// does a graph that fits.
TEST_F(BarGraphWindow, BarsTooWideForTheScreenBecomeALineGraphUnlessForced) {
    bar_graph g;
    g.title = "demand @ 10";
    g.run_count = 2;
    g.run_labels = {"base", "other"};
    std::vector<std::vector<float>> values;
    for (int i = 0; i < 90; ++i) {
        char label[60];
        std::snprintf(label, sizeof label, "a rather long element name %d", i);
        g.labels.emplace_back(label);
        values.push_back({static_cast<float>(i + 1), static_cast<float>(2 * i + 2)});
    }
    build_bar_heights(g, values);
    bar_graph forced = g, narrow = g;
    forced.force_bars = 1;

    const handle h = show_bar_graph(std::move(g));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(bar_graph_of(h), nullptr);
    const line_graph* l = graph_of(h);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->x_labels.front(), "a rather long element name 0");
    ASSERT_EQ(l->series.size(), 2u);
    EXPECT_EQ(l->series[1].label, "demand : other");
    EXPECT_EQ(l->series[0].xs.size(), 90u);

    const handle f = show_bar_graph(std::move(forced));
    ASSERT_NE(f, 0u);
    EXPECT_NE(bar_graph_of(f), nullptr);

    // Horizontal bars that need more lines than the screen has fall back too.
    bar_graph tall = narrow;
    tall.horizontal = 1;
    for (std::string& l : tall.labels) l = l.substr(l.size() - 2);
    const handle t = show_bar_graph(std::move(tall));
    ASSERT_NE(t, 0u);
    EXPECT_EQ(bar_graph_of(t), nullptr);
    EXPECT_NE(graph_of(t), nullptr);

    narrow.labels.resize(4);
    values.resize(4);
    build_bar_heights(narrow, values);
    const handle n = show_bar_graph(std::move(narrow));
    ASSERT_NE(n, 0u);
    EXPECT_NE(bar_graph_of(n), nullptr);
}

class TimeGraphWindow : public InventoryRuns {};

TEST_F(TimeGraphWindow, AGroupPerSavedTimeInsideTheAxis) {
    // Time graph: a group per saved time of the first run on the axis 0..100
    // (saved every 0.5), each run's value at that time.
    make_tool("Bar Graph", "0,5,0,0,0,10,NA,NA,");
    HWND w = run_tool(last_bar_record);
    ASSERT_NE(w, nullptr);
    bar_graph* g = bar_graph_of(last_bar_record());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->force_bars, 1);
    EXPECT_NE(g->title.find(" - time graph"), std::string::npos);
    EXPECT_EQ(g->group_count, 201);
    EXPECT_EQ(g->labels.front(), "0");
    EXPECT_EQ(g->labels.back(), "100");
    // Before the step both runs expect 100 orders; later the slower
    // smoothing lags behind.
    EXPECT_EQ(g->height(0, 0), g->height(0, 1));
    EXPECT_NE(g->height(40, 0), g->height(40, 1));
    EXPECT_GT(g->height(200, 0), 0);
}

TEST_F(BarGraphWindow, LivesweepBarsFollowTheCacheOfTheLivesweepRun) {
    livesweep_session sweep(51); // as a finished re-run leaves it (0 to 50 by 1)
    const handle rec = open_supply_bars();
    ASSERT_NE(rec, 0u);
    bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_NO_FATAL_FAILURE(expect_supply_bars_follow_the_cache(rec, *g, g->heights));
    // Outside Livesweep nothing changes.
    sweep.stop();
    std::fill(g->heights.begin(), g->heights.end(), 0);
    update_live(rec);
    EXPECT_EQ(g->height(0, 0), 0);
    // An element without a series is refused with the message.
    lock_model(0);
    EXPECT_EQ(live_slot("no such thing"), 0u);
    unlock_model(0);
    int lines = 0;
    const char* const* list = message_list_lines(&lines);
    bool said = false;
    for (int i = 0; i < lines; ++i)
        said |= std::string(list[i]).find("-no such thing- wrong type for WIP graph") !=
                std::string::npos;
    EXPECT_TRUE(said);
}

// A bar graph made before Livesweep started follows the re-runs too.
TEST_F(BarGraphWindow, BarsMadeBeforeLivesweepFollowTheLivesweepRun) {
    const handle rec = open_supply_bars();
    ASSERT_NE(rec, 0u);
    bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->live_slots.empty());
    const std::vector<std::uint16_t> before = g->heights;

    const livesweep_session sweep(51);
    bar_prepare_live(rec); // before a re-run
    ASSERT_NO_FATAL_FAILURE(expect_supply_bars_follow_the_cache(rec, *g, before));
}

TEST_F(TimeGraphWindow, RunsWithNoSavedTimeOnTheAxisStillShowOneGroup) {
    model_rec->start = 200; // the runs end at 100
    model_rec->end = 300;
    make_tool("Bar Graph", "0,5,0,0,0,10,NA,NA,");
    HWND w = run_tool(last_bar_record);
    ASSERT_NE(w, nullptr);
    bar_graph* g = bar_graph_of(last_bar_record());
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->group_count, 1);
    EXPECT_EQ(g->labels[0], "0"); // the first run's first saved time
    EXPECT_GT(g->height(0, 0), 0);
}

// A saved time belongs to the axis while the half step around it reaches
// inside: on an axis of 0.25 to 99.75 the runs' saves at 0 and 100 (every
// 0.5) only touch its ends and make no group.
TEST_F(TimeGraphWindow, SavesOnlyTouchingTheAxisEndsMakeNoGroup) {
    const double start = model_rec->start, end = model_rec->end;
    model_rec->start = 0.25;
    model_rec->end = 99.75;
    make_tool("Bar Graph", "0,5,0,0,0,10,NA,NA,");
    HWND w = run_tool(last_bar_record);
    model_rec->start = start;
    model_rec->end = end;
    ASSERT_NE(w, nullptr);
    bar_graph* g = bar_graph_of(last_bar_record());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->group_count, 199);
    ASSERT_FALSE(g->labels.empty());
    EXPECT_EQ(g->labels.front(), "0.5");
    EXPECT_EQ(g->labels.back(), "99.5");
}

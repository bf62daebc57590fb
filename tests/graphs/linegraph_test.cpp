// The Graph tool and the line graph: the tool's option lines, gathering
// (x divisions, a given x range that cannot be drawn, stacking, the 16-series
// cut, constants), and the picture of two runs of the population sample in
// its graphics window, checked on the window's image.
#include "draw/drawing.h"
#include "draw/export.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/textsrc.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "model/context.h"
#include "model/varnames.h"
#include "platform/clip.h"
#include "platform/gdi_internal.h"
#include "platform/print.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/controlpanel.h"
#include "shell/mainwnd.h"
#include "shell/palette.h"
#include "shell/rundrv.h"
#include "shell/settings_rows.h"
#include "shell/toolset.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/common/command_output.h"
#include "tests/common/message_log.h"
#include "tests/common/packages.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/driver.h"
#include "tests/graphs/graph_windows_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <tuple>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace td = test_driver;

namespace {

int count_said(const std::string& part) {
    int n = 0;
    for (const message_log::message& m : message_log::messages)
        if (m.text.find(part) != std::string::npos) ++n;
    return n;
}

void set_run_name(const char* name) {
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
}

TEST(GraphDivisions, SpansGiveRoundDivisionCounts) {
    // 0.37: n = 37, no k below 37 divides it, so n = 1, doubled to 4.
    EXPECT_EQ(choose_x_divisions(0, 0.37, 10), 4);
    // 0 to 100: n = 100, reduced with k = 5 to 20.
    EXPECT_EQ(choose_x_divisions(0, 100, 10), 20);
    EXPECT_EQ(choose_x_divisions(0, 10, 10), 10);
    // Empty, reversed or huge spans take the default.
    EXPECT_EQ(choose_x_divisions(5, 5, 7), 7);
    EXPECT_EQ(choose_x_divisions(5, 1, 7), 7);
    EXPECT_EQ(choose_x_divisions(0, 20000, 7), 7);
}

// A work-in-progress graph counts whole units of a small span: 3 units give
// 3 divisions, doubled to 6 (the Graph tool's count would be 15 tenths).
TEST(GraphDivisions, WipGraphsCountWholeUnitsOfSmallSpans) {
    EXPECT_EQ(choose_x_divisions(0, 3, 10), 15);
    EXPECT_EQ(choose_x_divisions(0, 3, 10, false), 6);
    EXPECT_EQ(choose_x_divisions(0, 0.37, 10, false), 4);
    EXPECT_EQ(choose_x_divisions(0, 100, 10, false), 20);
}

class GatherSeries : public ::testing::Test {
protected:
    void SetUp() override {
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
        h_ = new_line_graph_record();
        ASSERT_NE(h_, 0u);
        g_ = graph_of(h_);
        ASSERT_NE(g_, nullptr);
    }
    void TearDown() override {
        auto* o = static_cast<output_record*>(lock_handle(h_));
        void (*release)(handle) = o->release;
        unlock_handle(h_);
        release(h_);
        EXPECT_EQ(graph_of(h_), nullptr);
        free_output_record(h_);
        set_message_hook(nullptr);
    }
    void add(std::vector<float> t, std::vector<float> v) {
        graph_series s;
        s.label = "s" + std::to_string(g_->series.size());
        s.times = std::move(t);
        s.values = std::move(v);
        g_->series.push_back(std::move(s));
    }
    handle h_ = 0;
    line_graph* g_ = nullptr;
};

TEST_F(GatherSeries, AGivenEmptyXRangeIsReportedOnceAndTheDataRangeUsed) {
    add({0, 5, 10}, {1, 2, 3});
    g_->x_min = 10;
    g_->x_max = 2; // would never end the rounding loop
    EXPECT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_LT(g_->x_min, g_->x_max);
    EXPECT_EQ(count_said("is empty"), 1);
    g_->x_min = 3;
    g_->x_max = 3;
    EXPECT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_LT(g_->x_min, g_->x_max);
    EXPECT_EQ(count_said("is empty"), 1); // once per graph
}

TEST_F(GatherSeries, RangesArRoundAndPointsMapIntoTheSquare) {
    g_->x_min = 0;
    g_->x_max = 10;
    add({0, 5, 10}, {13, 57, 91});
    add({0, 5, 10}, {20, NAN, 30}); // a bad value is left out, not converted
    EXPECT_EQ(gather_graph_series(*g_, true), 2);
    EXPECT_DOUBLE_EQ(g_->y_min, 0);
    EXPECT_DOUBLE_EQ(g_->y_max, 100);
    EXPECT_EQ(g_->x_divisions, 10);
    ASSERT_EQ(g_->series[0].xs.size(), 3u);
    EXPECT_EQ(g_->series[0].xs[0], 0);
    EXPECT_EQ(g_->series[0].xs[2], 10000);
    EXPECT_EQ(g_->series[0].ys[0], 8700);
    EXPECT_EQ(g_->series[0].ys[2], 900);
    EXPECT_EQ(g_->series[1].xs.size(), 2u);
}

// The settings' interval as a length along the x axis: none at 0.0001 or
// less, cut at the axis when longer than the range.
TEST_F(GatherSeries, TheIntervalMarkerTakesItsShareOfTheXRange) {
    g_->x_min = 0;
    g_->x_max = 50;
    add({0, 25, 50}, {1, 2, 3});
    struct row {
        float interval;
        int width;
    } rows[] = {{0, 0}, {0.0001f, 0}, {5, 1000}, {12.5f, 2500}, {400, 10000}};
    for (const row& r : rows) {
        set_graph_interval(r.interval);
        ASSERT_EQ(gather_graph_series(*g_, true), 1);
        EXPECT_EQ(g_->interval_width, r.width) << r.interval;
    }
    set_graph_interval(NAN);
    EXPECT_EQ(graph_defaults().interval, 0);
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_EQ(g_->interval_width, 0);
}

TEST_F(GatherSeries, StackingNeedsOneTimeAxisAndCumulativeIntegrates) {
    g_->graph_mode = 2;
    add({0, 1, 2}, {1, 1, 1});
    add({0, 1}, {1, 1});
    EXPECT_EQ(gather_graph_series(*g_, true), -1);
    EXPECT_EQ(count_said("Do not know how to stack"), 1);
    EXPECT_FALSE(message_log::said("Unable to complete graph"));

    g_->series.clear();
    g_->graph_mode = 1;
    g_->x_min = 0, g_->x_max = 4;
    add({0, 1, 2, 4}, {2, 2, 3, 0});
    EXPECT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_EQ(g_->series[0].values, (std::vector<float>{0, 2, 4, 10}));
    // Gathering again (as a work-in-progress graph does whenever a range
    // widens) starts from the values read, not from the integral; a point
    // added since is integrated with them.
    g_->series[0].times.push_back(5);
    g_->series[0].values.push_back(1);
    g_->series[0].read_values.push_back(1);
    g_->x_max = 5;
    EXPECT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_EQ(g_->series[0].values, (std::vector<float>{0, 2, 4, 10, 10}));

    g_->series.clear();
    g_->graph_mode = 2;
    add({0, 1}, {1, 2});
    add({0, 1}, {10, 20});
    EXPECT_EQ(gather_graph_series(*g_, true), 2);
    EXPECT_EQ(gather_graph_series(*g_, true), 2);
    EXPECT_EQ(g_->series[1].values, (std::vector<float>{11, 22}));
}

TEST_F(GatherSeries, TwentySeriesAreCutToSixteen) {
    for (int i = 0; i < 20; ++i) add({0, 1}, {float(i), float(i + 1)});
    EXPECT_EQ(gather_graph_series(*g_, true), 20);
    EXPECT_EQ(g_->series_count, 16);
    EXPECT_TRUE(message_log::said("Only the first 16 variables of 20 shown in the graph", 7));
}

// Sixteen series all show; the seventeenth is the first one cut.
TEST_F(GatherSeries, SeventeenSeriesAreCutToSixteenAndSixteenAreNot) {
    for (int i = 0; i < 16; ++i) add({0, 1}, {float(i), float(i + 1)});
    EXPECT_EQ(gather_graph_series(*g_, true), 16);
    EXPECT_EQ(g_->series_count, 16);
    EXPECT_EQ(count_said("Only the first 16"), 0);
    add({0, 1}, {3, 4});
    EXPECT_EQ(gather_graph_series(*g_, true), 17);
    EXPECT_EQ(g_->series_count, 16);
    EXPECT_TRUE(message_log::said("Only the first 16 variables of 17 shown in the graph", 7));
}

// Draws the fixture's graph into an image of that size, as a window's paint
// would (hot spots registered on the first pass); with fonts, the legend
// spots' fonts.
QImage drawn_graph(handle rec, line_graph& g, int w, int h, std::vector<int>* fonts = nullptr) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, w, h)));
    cur_output = rec;
    out_size = SIZE{w, h};
    {
        draw_pass pass(dc, dc);
        draw_line_graph(g, 1);
    }
    out_size = SIZE{0, 0};
    gdi_delete_image_dc(dc);
    if (fonts)
        for (const hot_spot& s : record_hot_spots(rec))
            if (s.font <= 2) fonts->push_back(static_cast<int>(s.font));
    reset_hot_spots(rec);
    cur_output = 0;
    return img;
}

std::vector<int> legend_fonts(handle rec, line_graph& g, int w, int h) {
    std::vector<int> fonts;
    drawn_graph(rec, g, w, h, &fonts);
    return fonts;
}

int colour_in(const QImage& img, QRect box, COLORREF c) {
    const QRgb want = qRgb(GetRValue(c), GetGValue(c), GetBValue(c)) & 0xFFFFFF;
    int n = 0;
    box = box.intersected(img.rect());
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == want;
    return n;
}

// Two series of 75-character names keep their colour samples in the
// legend, and a title longer than the window stays inside it.
TEST_F(GatherSeries, LongNamesKeepTheirSamplesAndALongTitleStaysInside) {
    td::start();
    add({0, 1, 2}, {1, 2, 3});
    add({0, 1, 2}, {3, 2, 1});
    ASSERT_EQ(gather_graph_series(*g_, true), 2);
    const std::string long_name(75, 'n');
    g_->series[0].label = long_name + "a";
    g_->series[1].label = long_name + "b";
    g_->caption = "A title of a graph that goes on and on, far longer than the window it stands "
                  "in can hold at any size of its font";
    const QImage img = drawn_graph(h_, *g_, 500, 360);
    if (const char* keep = std::getenv("KAVREL_SHOT_DIR"))
        img.save(QString(keep) + "/kavrel_long_names.png");
    const QRect legend(0, 360 - 60, 500, 60);
    EXPECT_GT(colour_in(img, legend, colour_table[0]), 10);
    EXPECT_GT(colour_in(img, legend, colour_table[1]), 10);
    // Nothing of the title touches the outermost columns.
    const QRect left_edge(0, 0, 2, 30), right_edge(498, 0, 2, 30);
    for (const QRect& edge : {left_edge, right_edge})
        for (int y = edge.top(); y <= edge.bottom(); ++y)
            for (int x = edge.left(); x <= edge.right(); ++x)
                EXPECT_GT(qGray(img.pixel(x, y)), 200) << x << "," << y;
}

// A sensitivity series with bands shows every band's box and keeps the
// mean's sample clear of the last percentage; with its simulations' lines
// the sample is those lines' colour, not the series' own.
TEST_F(GatherSeries, SensitivityLegendsShowWhatIsDrawn) {
    td::start();
    add({0, 1, 2}, {1, 2, 3});
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    graph_series& s = g_->series[0];
    s.label = "Population : sensitivity run";
    s.band_xs = {0, 5000, 10000};
    s.band_rows.assign(3 * 10, 5000); // the series, the mean, two rows per band
    s.band_per_mille = {500, 750, 950, 1000};
    s.band_colours = {0x0000C000, 0x00C0C000, 0x00C000C0, 0x000000C0};
    s.band_mean = true;
    s.mean_colour = 0x00123456;
    s.mean_width = 2;
    QImage img = drawn_graph(h_, *g_, 500, 360);
    if (const char* keep = std::getenv("KAVREL_SHOT_DIR"))
        img.save(QString(keep) + "/kavrel_bands.png");
    const QRect legend(0, 360 - 40, 500, 40);
    for (COLORREF c : s.band_colours) EXPECT_GT(colour_in(img, legend, c), 20) << std::hex << c;
    EXPECT_GT(colour_in(img, legend, s.mean_colour), 10);
    // Individual lines: their colour in the legend, and not the series' own.
    s.band_per_mille.clear();
    s.band_colours.clear();
    s.sims = {{1, 2, 3}, {2, 3, 4}};
    s.band_rows.assign(3 * 4, 5000);
    s.sims_colour = 0x00808080;
    s.band_mean = false;
    img = drawn_graph(h_, *g_, 500, 360);
    EXPECT_GT(colour_in(img, legend, s.sims_colour), 20);
    EXPECT_EQ(colour_in(img, legend, colour_table[0]), 0);
}

// The texts of the graph as drawn (from its transfer text): each with its
// left edge and baseline in points.
struct drawn_text {
    int x = 0, y = 0;
    std::string text;
};
// Points per pixel of the last transfer text (its size line over the size).
double pt_per_px = 0.75;
std::vector<drawn_text> drawn_texts(handle rec, line_graph& g, int w, int h) {
    QImage ref(w, h, QImage::Format_RGB32);
    HDC dc = gdi_create_image_dc(&ref, nullptr, QRegion(QRect(0, 0, w, h)));
    cur_output = rec;
    const std::string gtx = gtx_text_of(
        SIZE{w, h}, dc, [](void* c) { draw_line_graph(*static_cast<line_graph*>(c), 1); }, &g);
    drawing.gtx_mode = 0;
    out_size = SIZE{0, 0};
    reset_hot_spots(rec);
    cur_output = 0;
    gdi_delete_image_dc(dc);
    std::vector<drawn_text> out;
    int wp = 0, hp = 0;
    if (std::sscanf(gtx.c_str() + gtx.find('\n') + 1, "(0,0)-(%d,%d)", &wp, &hp) == 2 && wp > 0)
        pt_per_px = static_cast<double>(wp) / w;
    std::size_t at = 0;
    while (at < gtx.size()) {
        const std::size_t end = gtx.find('\n', at);
        const std::string line = gtx.substr(at, end - at);
        at = end == std::string::npos ? gtx.size() : end + 1;
        drawn_text t;
        int n = 0;
        if (std::sscanf(line.c_str(), "1|(%d,%d)%d", &t.x, &t.y, &n) != 3) continue;
        t.text = gtx.substr(at, static_cast<std::size_t>(n));
        at += static_cast<std::size_t>(n) + 1;
        out.push_back(t);
    }
    return out;
}

// The numbers drawn left of the plot (the y axis), top to bottom: left of
// its left edge and not below its bottom (where the time axis's first number
// stands), by the plot of the last screen drawing.
std::vector<std::string> y_numbers(const std::vector<drawn_text>& texts, const line_graph& g) {
    const double left = g.plot_left * pt_per_px, bottom = g.plot_bottom * pt_per_px;
    std::vector<drawn_text> ys;
    for (const drawn_text& t : texts) {
        char* end = nullptr;
        std::strtod(t.text.c_str(), &end);
        if (end && *end == '\0' && !t.text.empty() && t.x < left && t.y < bottom + 8)
            ys.push_back(t);
    }
    std::stable_sort(ys.begin(), ys.end(),
                     [](const drawn_text& a, const drawn_text& b) { return a.y < b.y; });
    std::vector<std::string> out;
    for (const drawn_text& t : ys) out.push_back(t.text);
    return out;
}

// A scale the graph chooses itself steps by round numbers: data from 9.2 to
// 17.5 (rounded out to 8 and 20) read 8, 10, ... 20, not 8, 10.4, 12.8 ...
// in five divisions, and a time axis of 0 to 120 is cut in tens, not sixes.
TEST_F(GatherSeries, ScalesTheGraphChoosesStepByRoundNumbers) {
    td::start();
    add({0, 60, 120}, {9.2f, 17.5f, 12});
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    drawn_graph(h_, *g_, 576, 384);
    const std::vector<drawn_text> texts = drawn_texts(h_, *g_, 576, 384);
    EXPECT_EQ(y_numbers(texts, *g_),
              (std::vector<std::string>{"20", "18", "16", "14", "12", "10", "8"}));
    std::vector<std::string> xs;
    for (const drawn_text& t : texts)
        if (t.y > (g_->plot_bottom + 8) * pt_per_px && !t.text.empty() &&
            std::isdigit(static_cast<unsigned char>(t.text[0])))
            xs.push_back(t.text);
    ASSERT_GE(xs.size(), 4u);
    for (const std::string& x : xs) EXPECT_EQ(std::stoi(x) % 10, 0) << x;
    // A count the definition gives stays: the range widens to round steps.
    g_->y_min = axis_unset;
    g_->y_max = -axis_unset;
    g_->y_divisions = 5;
    g_->y_divisions_given = true;
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_EQ(g_->y_divisions, 5);
    drawn_graph(h_, *g_, 576, 384);
    const std::vector<std::string> given = y_numbers(drawn_texts(h_, *g_, 576, 384), *g_);
    EXPECT_EQ(given, (std::vector<std::string>{"20", "17.5", "15", "12.5", "10", "7.5"}));
    cur_output = 0;
}

// Two scales in the default 6 by 4 inch graph number every division of
// each, the units after each number, even with a legend of sixteen lines.
TEST_F(GatherSeries, TwoScalesNumberEveryDivision) {
    td::start();
    for (int i = 0; i < 16; ++i) {
        add({0, 10}, {float(i), float(i + 5)});
        g_->series.back().group = i < 8 ? 0 : 1;
    }
    g_->units = "widgets";
    g_->more_groups.push_back(y_group{});
    g_->more_groups.back().units = "people";
    for (int i = 8; i < 16; ++i)
        g_->series[static_cast<std::size_t>(i)].values = {1000.0f * i, 900.0f};
    ASSERT_EQ(gather_graph_series(*g_, true), 16);
    const int rows = g_->y_divisions + 1;
    const std::vector<drawn_text> texts = drawn_texts(h_, *g_, 576, 384);
    int widgets = 0, people = 0;
    for (const drawn_text& t : texts) {
        widgets += t.text == "widgets" && t.x < 100;
        people += t.text == "people" && t.x < 100;
    }
    EXPECT_EQ(widgets, rows);
    EXPECT_EQ(people, rows);
    cur_output = 0;
}

// Sixteen legend lines go into columns: the plot keeps at least half the
// window's height, and every line still shows its name.
TEST_F(GatherSeries, SixteenLegendLinesLeaveThePlotHalfTheWindow) {
    td::start();
    for (int i = 0; i < 16; ++i) {
        add({0, 1}, {float(i), float(i + 1)});
        g_->series.back().label = "Population[region" + std::to_string(i + 1) + "] : base";
    }
    ASSERT_EQ(gather_graph_series(*g_, true), 16);
    for (const QSize size : {QSize(576, 384), QSize(800, 600)}) {
        const QImage img = drawn_graph(h_, *g_, size.width(), size.height());
        // The plot's fill down the middle column of the window.
        const COLORREF fill = colour_table[12];
        const QRgb want = qRgb(GetRValue(fill), GetGValue(fill), GetBValue(fill)) & 0xFFFFFF;
        int first = -1, last = -1;
        for (int y = 0; y < img.height(); ++y)
            if ((img.pixel(img.width() / 2 + 3, y) & 0xFFFFFF) == want) {
                if (first < 0) first = y;
                last = y;
            }
        ASSERT_GE(first, 0);
        EXPECT_GE(last - first, size.height() / 2 - 4) << size.width();
        // Whole names: a legend of columns gives the name the room before
        // a shorter line sample.
        int names = 0;
        for (const drawn_text& t : drawn_texts(h_, *g_, size.width(), size.height()))
            names += t.text.rfind("Population[region", 0) == 0 && t.text.size() > 7 &&
                     t.text.compare(t.text.size() - 7, 7, " : base") == 0;
        EXPECT_EQ(names, 16) << size.width();
    }
    cur_output = 0;
}

TEST_F(GatherSeries, TheLegendTakesASmallerFontWhenCrowded) {
    td::start();
    for (int i = 0; i < 7; ++i) add({0, 1}, {float(i), float(i + 1)});
    ASSERT_EQ(gather_graph_series(*g_, true), 7);
    // Seven series start with the crowded legend's font.
    EXPECT_EQ(legend_fonts(h_, *g_, 800, 600), std::vector<int>(7, 1));
    // Too low for three lines per entry in either: the last resort.
    EXPECT_EQ(legend_fonts(h_, *g_, 800, 120), std::vector<int>(7, 2));
    g_->series.resize(2);
    g_->series_count = 2;
    EXPECT_EQ(legend_fonts(h_, *g_, 800, 600), std::vector<int>(2, 0));
    cur_output = 0;
}

TEST(GraphToolSetup, OptionLinesReadAndWriteBack) {
    set_tool_setup(find_tool_row("Graph"), graph_tool_setup);
    handle tool =
        new_tool(find_tool_row("Graph"), "Graph", graph_tool_setup(0, 0, nullptr, nullptr));
    ASSERT_NE(tool, 0u);
    graph_tool_setup(0, tool, nullptr, nullptr);
    tool_record* r = lock_tool(tool);
    auto* o = static_cast<graph_options*>(tool_options(r));
    EXPECT_EQ(o->size_code, 2);
    EXPECT_FLOAT_EQ(o->width, 16);
    EXPECT_FLOAT_EQ(o->height, 12);
    EXPECT_EQ(o->fixed_divisions, 0);
    EXPECT_EQ(r->icon, 0xf0050u);
    unlock_tool(tool);

    const char* const lines[] = {"6.5,4,1,2,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,"
                                 "Arial|10||0-0-0,Arial|8||0-0-0,Arial|7||0-0-0,Arial|12|B|0-0-0,"
                                 "Arial|10||0-0-0,Arial|10|I|0-0-0,2,1,",
                                 "My title", "", "A note"};
    ASSERT_EQ(push_text_source(lines, 4, 0), 1);
    graph_tool_setup(0, tool, nullptr, "x");
    close_text_source();
    r = lock_tool(tool);
    o = static_cast<graph_options*>(tool_options(r));
    EXPECT_FLOAT_EQ(o->width, 6.5f);
    EXPECT_EQ(o->size_code, 1);
    EXPECT_EQ(o->graph_mode, 2);
    EXPECT_EQ(o->labels_between, 1);
    EXPECT_EQ(o->hide_flags, 2);
    EXPECT_EQ(o->hide_empty, 1);
    EXPECT_EQ(o->fonts[3].size, 12);
    EXPECT_NE(o->title, 0u);
    EXPECT_EQ(o->footer, 0u);     // the empty line stores none
    EXPECT_EQ(r->icon, 0xf0070u); // stacked lines
    unlock_tool(tool);
    std::string out;
    graph_tool_setup(1, tool, &out, nullptr);
    EXPECT_EQ(out.substr(out.find('\n') + 1), "My title\n\nA note\n");
    // The palette's picture by mode and line kind: with markers 0xf0020
    // plain, 0xf0030 cumulative, 0xf0040 stacked; lines 0xf0050, 0xf0060,
    // 0xf0070.
    for (const auto& [mode, kind, icon] : {std::tuple{0, 1, 0xf0020u},
                                           {1, 1, 0xf0030u},
                                           {2, 1, 0xf0040u},
                                           {1, 0, 0xf0060u},
                                           {0, 0, 0xf0050u}}) {
        const std::string line = "6.5,4,1," + std::to_string(mode) + "," + std::to_string(kind) +
                                 ",1,0,0,0,0,0,0,0,0,0,0,0,0,0,"
                                 "Arial|10||0-0-0,Arial|8||0-0-0,Arial|7||0-0-0,Arial|12|B|0-0-0,"
                                 "Arial|10||0-0-0,Arial|10|I|0-0-0,2,1,";
        const char* const one[] = {line.c_str(), "", "", ""};
        ASSERT_EQ(push_text_source(one, 4, 0), 1);
        graph_tool_setup(0, tool, nullptr, "x");
        close_text_source();
        r = lock_tool(tool);
        EXPECT_EQ(r->icon, icon) << mode << "," << kind;
        unlock_tool(tool);
    }
    free_tool(tool);
    set_tool_setup(find_tool_row("Graph"), nullptr);
}

// The population sample run twice, Population as workbench variable, the
// Graph tool run as the palette runs it.
class GraphWindow : public GraphWindowsTest {
protected:
    // Livesweep on through its menu command, showing its re-runs in place of
    // the first selected run.
    static void start_livesweep() {
        set_livesweep_refresh_hook(shell_livesweep_refresh);
        install_cache_livesweep_hook();
        menu_command(cmd_livesweep);
        ASSERT_EQ(livesweep_state, ls_on);
        model_opened();
        reset_value_cache(0, 0, 1);
    }
    // Livesweep's re-run of the shown run with the birth rate set in Setup,
    // as a slider moved on the diagram asks for it.
    static void rerun_with_birth_rate(HWND w, float rate) {
        lock_model(0);
        const std::int32_t slot = sym(find_symbol("birth rate"))->slot;
        unlock_model(0);
        ASSERT_EQ(set_setup_value(slot, rate), 1);
        ASSERT_EQ(livesweep_rerun(token_of(w), 2, 0), 1);
        td::run_until_idle();
    }
    void SetUp() override {
        GraphWindowsTest::SetUp();
        model_ = sample("population.kmf");
        ASSERT_EQ(open_model(1, 0, model_.c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
        set_run_name("base");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        lock_model(0);
        const std::int32_t slot = sym(find_symbol("birth rate"))->slot;
        unlock_model(0);
        ASSERT_EQ(ensure_setup_copy(0), 1);
        ASSERT_EQ(set_setup_value(slot, 0.02f), 1);
        set_run_name("slow");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        ASSERT_EQ(loaded_run_names(1), 2);
        // A game window an earlier case left open stays above the main window
        // it belongs to: out of the way of the clicks on the graph.
        if (HWND game = FindWindow(nullptr, "Game")) DestroyWindow(game);
        lock_model(0);
        workbench_var = {};
        workbench_var.var = find_symbol("Population");
        unlock_model(0);
        ASSERT_NE(workbench_var.var, 0u);
        tool_ = new_tool(find_tool_row("Graph"), "Graph", graph_tool_setup(0, 0, nullptr, nullptr));
        graph_tool_setup(0, tool_, nullptr, nullptr);
    }
    void TearDown() override {
        close_framed_tool_windows(1); // before the model and runs they show go
        free_tool(tool_);
        set_tool_setup(find_tool_row("Graph"), nullptr);
        workbench_var = {};
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        GraphWindowsTest::TearDown();
    }
    // The hot spot of a name drawn in one of the graph's own fonts (text 0
    // when there is none).
    static hot_spot drawn_name(handle rec, const std::string& name) {
        hot_spot found{};
        for (const hot_spot& s : record_hot_spots(rec))
            if (s.font <= 2 && hot_spot_text(rec, s.text) == name) found = s;
        return found;
    }
    HWND run_tool() {
        tool_record* r = lock_tool(tool_);
        tool_action action = tool_action_of(r->action);
        unlock_tool(tool_);
        tool_action_runner(action, tool_);
        td::run_until_idle();
        handle rec = last_graph_record();
        if (!rec) return nullptr;
        auto* o = static_cast<output_record*>(lock_handle(rec));
        HWND w = o->window;
        unlock_handle(rec);
        return w;
    }
    static int count_colour(const QImage& img, QRect box, COLORREF c) {
        return test_driver::count_colour(img, box, c);
    }
    // The plot frame: the black frame's outer left and top edges, found
    // from the middle of the image.
    static QRect plot_of(const QImage& img) {
        const int my = img.height() / 3, mx = img.width() / 2;
        int left = -1, right = -1, top = -1, bottom = -1;
        for (int x = 0; x < img.width() && left < 0; ++x)
            if ((img.pixel(x, my) & 0xFFFFFF) == 0) left = x;
        for (int x = img.width() - 1; x >= 0 && right < 0; --x)
            if ((img.pixel(x, my) & 0xFFFFFF) == 0) right = x;
        for (int y = 0; y < img.height() && top < 0; ++y)
            if ((img.pixel(mx, y) & 0xFFFFFF) == 0 && (img.pixel(mx + 3, y) & 0xFFFFFF) == 0)
                top = y;
        for (int y = img.height() - 1; y > top && bottom < 0; --y)
            if ((img.pixel(mx, y) & 0xFFFFFF) == 0 && (img.pixel(mx + 3, y) & 0xFFFFFF) == 0 &&
                (img.pixel(mx - 3, y) & 0xFFFFFF) == 0)
                bottom = y;
        return QRect(QPoint(left, top), QPoint(right, bottom));
    }
    std::string model_;
    handle tool_ = 0;
};

TEST_F(GraphWindow, TwoRunsOfPopulationDrawAFramedGridWithACurvePerRun) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    char cls[64] = {};
    GetClassName(w, cls, sizeof cls);
    EXPECT_STREQ(cls, "Kavrel_graphics");
    handle rec = last_graph_record();
    line_graph* g = graph_of(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 2u);
    // Without a title of its own: the tool's name for the variable.
    EXPECT_EQ(g->title, "Graph for Population");
    // The newest run is selected first.
    EXPECT_EQ(g->series[0].label, "Population : slow");
    EXPECT_EQ(g->series[1].label, "Population : base");

    const QImage img = td::image(w);
    EXPECT_TRUE(td::save_png(w, testing::TempDir() + "kavrel_line_graph.png"));
    ASSERT_FALSE(img.isNull());
    const QRect plot = plot_of(img);
    ASSERT_GT(plot.width(), img.width() / 2);
    ASSERT_GT(plot.height(), img.height() / 4);
    const QRect inside = plot.adjusted(3, 3, -3, -3);
    EXPECT_GT(count_colour(img, inside, 0x00C0C0C0), plot.width()); // grid lines
    EXPECT_GT(count_colour(img, inside, colour_table[0]), 50);
    EXPECT_GT(count_colour(img, inside, colour_table[1]), 50);
    // No curve colour outside the plot except in the legend below it.
    const QRect above(0, 0, img.width(), plot.top() - 1);
    EXPECT_EQ(count_colour(img, above, colour_table[0]), 0);

    // Caption and legend texts are hot spots where they were drawn.
    std::vector<hot_spot> spots = record_hot_spots(rec);
    ASSERT_GE(spots.size(), 4u); // caption, x title, two legend lines
    int legend = 0, caption = 0;
    for (const hot_spot& s : spots) {
        EXPECT_LT(s.left, s.right);
        EXPECT_LT(s.top, s.bottom);
        if (s.font == 3) {
            ++caption;
            EXPECT_LT(s.bottom, plot.top());
            EXPECT_LT(s.left, img.width() / 2);
            EXPECT_GT(s.right, img.width() / 2);
        }
        if (s.font <= 2 && s.top > plot.bottom()) ++legend;
    }
    EXPECT_EQ(caption, 1);
    EXPECT_EQ(legend, 2);
    EXPECT_EQ(hit_hot_spot(rec, spots[0].left, spots[0].top), spots[0].text);
    // Its first and last columns belong to it, the columns beyond do not.
    for (const hot_spot& s : spots) {
        const int mid_y = (s.top + s.bottom) / 2;
        EXPECT_EQ(hit_hot_spot(rec, s.left, mid_y), s.text);
        EXPECT_EQ(hit_hot_spot(rec, s.right, mid_y), s.text);
        EXPECT_NE(hit_hot_spot(rec, s.left - 1, mid_y), s.text);
        EXPECT_NE(hit_hot_spot(rec, s.right + 1, mid_y), s.text);
    }

    // A resize lays the graph out anew for the new size.
    HWND frame = GetParent(w);
    RECT fr;
    GetWindowRect(frame, &fr);
    MoveWindow(frame, 0, 0, 400, 300, TRUE);
    td::run_until_idle();
    const QImage small = td::image(w);
    const QRect plot2 = plot_of(small);
    EXPECT_LT(plot2.width(), plot.width());
    EXPECT_GT(count_colour(small, plot2.adjusted(3, 3, -3, -3), colour_table[1]), 10);
    EXPECT_EQ(record_hot_spots(rec).size(), spots.size());
}

// With the screen's option for widening lines by series (bit 5 of its
// output option byte) the second run's curve is drawn two pixels wide; and
// the interval marker, a black bracket, sits along the bottom of the plot
// from its left end.
// During a game the Graph tool run again over its open graph keeps that
// graph's scales (the lines grow on the same axes interval by interval);
// outside a game, and once its window is gone, the ranges are found anew.
// The Scaling page's division counts reach the next new graph: the vertical
// count directly, the horizontal one where the graph takes the default.
TEST_F(GraphWindow, TheScalingPagesDivisionsReachANewGraph) {
    const scaling_options kept = scaling_opts;
    scaling_opts.v_divisions = 3;
    scaling_opts.h_divisions = 7;
    scaling_opts.raw = 1; // the count as given, not rounded to a nicer one
    ASSERT_NE(run_tool(), nullptr);
    line_graph* g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->y_divisions, 3);
    EXPECT_EQ(graph_defaults().x_divisions, 7);
    EXPECT_EQ(graph_defaults().y_divisions, 3);
    // The tool's own option decides the x divisions: automatic (100 years
    // in 20 steps of 5) unless it asks for the Scaling page's count.
    EXPECT_EQ(g->x_divisions, 20);
    tool_record* r = lock_tool(tool_);
    static_cast<graph_options*>(tool_options(r))->fixed_divisions = 1;
    unlock_tool(tool_);
    ASSERT_NE(run_tool(), nullptr);
    g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->x_divisions, 7);
    scaling_opts = kept;
    EXPECT_EQ(graph_defaults().y_divisions, kept.v_divisions);
}

// Locked, a graph window stays through Close; unlocked it closes again.
TEST_F(GraphWindow, ALockedGraphStaysUntilUnlocked) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    SendMessage(w, WM_COMMAND, cmd_lock_output, 0);
    SendMessage(w, WM_COMMAND, cmd_close_output, 0);
    td::run_until_idle();
    ASSERT_TRUE(IsWindow(w)) << "locked";
    SendMessage(w, WM_COMMAND, cmd_unlock_output, 0);
    SendMessage(w, WM_COMMAND, cmd_close_output, 0);
    td::run_until_idle();
    EXPECT_FALSE(IsWindow(w)) << "unlocked";
}

// A custom size below the narrowest graph window still opens one that wide:
// 1.1 cm across would leave no room for the plot.
TEST_F(GraphWindow, ATinyCustomSizeOpensTheNarrowestWindow) {
    const std::uint8_t metric = opts.metric;
    opts.metric = 1;
    tool_record* r = lock_tool(tool_);
    auto* o = static_cast<graph_options*>(tool_options(r));
    o->size_code = 0;
    o->width = 1.1f;
    o->height = 6;
    unlock_tool(tool_);
    HWND w = run_tool();
    opts.metric = metric;
    ASSERT_NE(w, nullptr);
    RECT frame{};
    GetWindowRect(GetParent(w), &frame);
    RECT c{};
    GetClientRect(w, &c);
    EXPECT_GE(c.right, 190);
    EXPECT_GE(frame.right - frame.left, 200);
}

TEST_F(GraphWindow, AGraphReopenedDuringAGameKeepsItsRanges) {
    ASSERT_NE(run_tool(), nullptr);
    line_graph* old = graph_of(last_graph_record());
    ASSERT_NE(old, nullptr);
    const double x_min = old->x_min, x_max = old->x_max, y_max = old->y_max;
    // Scales a user could have set on the shown graph (a dragged range).
    old->x_min = x_min + 7;
    old->y_max = y_max * 3;
    line_graph fresh;
    EXPECT_TRUE(reuse_graph_ranges(fresh, tool_));
    EXPECT_DOUBLE_EQ(fresh.x_min, x_min + 7);
    EXPECT_DOUBLE_EQ(fresh.x_max, x_max);
    EXPECT_DOUBLE_EQ(fresh.y_max, y_max * 3);
    EXPECT_TRUE(fresh.soft_bounds); // kept, but widened by data outside them
    // An end the game has passed follows the model's times again.
    old->x_max = model_rec->end - 1;
    line_graph passed;
    EXPECT_TRUE(reuse_graph_ranges(passed, tool_));
    EXPECT_DOUBLE_EQ(passed.x_min, x_min + 7);
    EXPECT_FALSE(std::fabs(passed.x_max) < axis_unset);
    old->x_max = x_max;
    line_graph two_groups;
    two_groups.more_groups.emplace_back();
    EXPECT_FALSE(reuse_graph_ranges(two_groups, tool_));

    // Not in a game: the tool finds the ranges from the data again.
    ASSERT_NE(run_tool(), nullptr);
    line_graph* g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    EXPECT_DOUBLE_EQ(g->x_min, x_min);
    EXPECT_DOUBLE_EQ(g->y_max, y_max);
    g->y_max = y_max * 3;
    g->x_min = x_min + 7;
    const std::uint8_t saved = game_state;
    game_state = 4;
    HWND w = run_tool();
    game_state = saved;
    ASSERT_NE(w, nullptr);
    g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    EXPECT_DOUBLE_EQ(g->x_min, x_min + 7);
    EXPECT_DOUBLE_EQ(g->y_max, y_max * 3);
    // A closed window has nothing to hand on.
    close_framed_tool_windows(1);
    td::run_until_idle();
    EXPECT_FALSE(reuse_graph_ranges(fresh, tool_));
}

TEST_F(GraphWindow, LinesWidenBySeriesAndTheIntervalIsMarked) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    const QImage thin = td::image(w);
    const QRect plot = plot_of(thin);
    const QRect inside = plot.adjusted(3, 3, -3, -3);
    const int thin0 = count_colour(thin, inside, colour_table[0]);
    const int thin1 = count_colour(thin, inside, colour_table[1]);
    // The strip along the bottom of the plot's left quarter: grid only.
    const QRect strip(plot.left() + 3, plot.bottom() - 14, plot.width() / 4, 11);
    const int strip_black = count_colour(thin, strip, 0);

    const std::uint8_t saved = opts.colour_modes[0];
    opts.colour_modes[0] |= 0x20;
    line_graph* g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    set_graph_interval(static_cast<float>((g->x_max - g->x_min) / 5));
    ASSERT_EQ(gather_graph_series(*g, true), 2);
    EXPECT_EQ(g->interval_width, 2000);
    InvalidateRect(w, nullptr, TRUE);
    td::run_until_idle();
    const QImage wide = td::image(w);
    EXPECT_TRUE(td::save_png(w, testing::TempDir() + "kavrel_line_graph_wide.png"));
    opts.colour_modes[0] = saved;
    set_graph_interval(0);
    EXPECT_EQ(plot_of(wide), plot);
    // Series 0 keeps width 1 (the widened second one may cover a little of
    // it); series 1 is about twice as heavy.
    EXPECT_LE(count_colour(wide, inside, colour_table[0]), thin0);
    EXPECT_GT(count_colour(wide, inside, colour_table[1]), thin1 * 3 / 2);
    // The bracket: a black line a fifth of the plot long, ends ticked.
    EXPECT_GT(count_colour(wide, strip, 0), strip_black + plot.width() / 5 - 4);
}

// Stacked with filled areas: each run's area is filled in its colour (the
// option's -1 was read as a byte and drew markers).
TEST_F(GraphWindow, StackedAreasAreFilledInTheRunsColours) {
    tool_record* r = lock_tool(tool_);
    auto* o = static_cast<graph_options*>(tool_options(r));
    o->graph_mode = 2;
    o->line_kind = -1;
    unlock_tool(tool_);
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    line_graph* g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->line_kind, -1);
    const QImage img = td::image(w);
    ASSERT_TRUE(g->plot_ok);
    const QRect plot =
        QRect(QPoint(g->plot_left, g->plot_top), QPoint(g->plot_right, g->plot_bottom))
            .adjusted(3, 3, -3, -3);
    const int area = plot.width() * plot.height();
    // The first run's area lies under the second's sum; both are areas.
    EXPECT_GT(count_colour(img, plot, colour_table[0]), area / 20);
    EXPECT_GT(count_colour(img, plot, colour_table[1]), area / 20);
}

TEST_F(GraphWindow, AClickOnADrawnNameMakesItTheWorkbenchVariable) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    handle rec = last_graph_record();
    const hot_spot* axis = nullptr;
    const hot_spot* legend = nullptr;
    std::vector<hot_spot> spots = record_hot_spots(rec);
    for (const hot_spot& s : spots) {
        if (s.font == 4) axis = &s;
        if (s.font <= 2) legend = &s;
    }
    ASSERT_NE(axis, nullptr);
    ASSERT_NE(legend, nullptr);
    EXPECT_EQ(hot_spot_text(rec, axis->text), "Time");
    td::click(w, (axis->left + axis->right) / 2, (axis->top + axis->bottom) / 2);
    td::run_until_idle();
    lock_model(0);
    const symbol_id time = find_symbol("Time"), population = find_symbol("Population");
    unlock_model(0);
    EXPECT_EQ(workbench_var.var, time);
    // Pressing on one name and letting go elsewhere chooses nothing.
    td::drag(w, POINT{legend->left + 2, legend->top + 2}, POINT{legend->left + 2, 5});
    td::run_until_idle();
    EXPECT_EQ(workbench_var.var, time);
    td::click(w, legend->left + 2, (legend->top + legend->bottom) / 2);
    td::run_until_idle();
    EXPECT_EQ(workbench_var.var, population);
    EXPECT_EQ(variable_name_of("Stock[a] : run 1"), "Stock[a]");
    EXPECT_EQ(variable_name_of("Time (Year)"), "Time");
}

TEST_F(GraphWindow, DragsOnTheAxesChooseTheNextYRangeAndTheShownTimes) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    handle rec = last_graph_record();
    value_map m{};
    ASSERT_TRUE(record_value_map(rec, &m));
    EXPECT_LT(m.x_p0, m.x_p1);
    EXPECT_LT(m.y_p0, m.y_p1);
    EXPECT_FLOAT_EQ(m.y_v1, 20000);
    EXPECT_FLOAT_EQ(m.y_v0, 0);
    EXPECT_EQ(hot_spot_text(rec, m.name), "Time");
    const QImage before = td::image(w);

    // Ctrl-drag from a quarter to three quarters of the y axis: the next
    // graph shows 15000 down to 5000, unrounded.
    const int q1 = m.y_p0 + (m.y_p1 - m.y_p0) / 4, q3 = m.y_p0 + 3 * (m.y_p1 - m.y_p0) / 4;
    td::drag(w, POINT{m.x_p0 + 20, q1}, POINT{m.x_p0 + 20, q3}, 4, td::Button::left, td::ctrl);
    td::run_until_idle();
    EXPECT_EQ(td::image(w), before); // the inverted anchor lines are gone again
    HWND again = run_tool();
    ASSERT_EQ(again, w); // the tool's window shows the new graph
    line_graph* g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    EXPECT_NEAR(g->y_max, 15000, 20000.0 / (m.y_p1 - m.y_p0) + 1);
    EXPECT_NEAR(g->y_min, 5000, 20000.0 / (m.y_p1 - m.y_p0) + 1);
    // Taken once: the graph after it finds its range from the data again.
    run_tool();
    EXPECT_DOUBLE_EQ(graph_of(last_graph_record())->y_max, 20000);

    // Shift-drag over the x axis from 50 to 150 sets the shown time range.
    rec = last_graph_record();
    ASSERT_TRUE(record_value_map(rec, &m));
    const int x50 = m.x_p0 + (m.x_p1 - m.x_p0) / 4, x150 = m.x_p0 + 3 * (m.x_p1 - m.x_p0) / 4;
    td::drag(w, POINT{x150, m.y_p1 - 5}, POINT{x50, m.y_p1 - 5}, 4, td::Button::left, td::shift);
    td::run_until_idle();
    const double per_pixel = 200.0 / (m.x_p1 - m.x_p0);
    EXPECT_NEAR(model_rec->start, 50, per_pixel + 0.01);
    EXPECT_NEAR(model_rec->end, 150, per_pixel + 0.01);
    run_tool();
    g = graph_of(last_graph_record());
    EXPECT_GE(g->x_min, 40);
    EXPECT_LE(g->x_max, 160);
}

TEST_F(GraphWindow, SavingWritesTheTransferTextOrAPlaceableMetafile) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    handle rec = last_graph_record();
    const std::string gtx = dir + "/graph.gtx", wmf = dir + "/graph.WMF";
    ASSERT_EQ(save_graph_window(rec, gtx.c_str()), 1);
    const std::string text = read_file(gtx);
    EXPECT_EQ(text.rfind("V161| - Tolmera graphics transfer format\n", 0), 0u)
        << text.substr(0, 80);
    EXPECT_NE(text.find("\nPopulation : slow\n"), std::string::npos);
    EXPECT_NE(text.find("\nPopulation : base\n"), std::string::npos);
    EXPECT_NE(text.find("\n3|("), std::string::npos); // polylines of the curves
    EXPECT_EQ(text.substr(text.size() - 11), "\n8|The End\n");

    ASSERT_EQ(save_graph_window(rec, wmf.c_str()), 1);
    std::ifstream in(wmf, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 22u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD7);
    EXPECT_EQ(static_cast<unsigned char>(bytes[3]), 0x9A);
    EXPECT_NE(bytes.find("Population : base"), std::string::npos);

    // A folder that does not exist: refused with the message, nothing made.
    const std::string bad = dir + "/no/such/graph.wmf";
    answerer::box("Stop from Kavrel").text("Unable to save to " + bad).press(IDOK);
    EXPECT_EQ(save_graph_window(rec, bad.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(bad));
}

TEST_F(GraphWindow, PrintingToThePdfPrinterPutsTheGraphsTextsOnAPage) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    const std::string pdf = testing::TempDir() + "kavrel_line_graph.pdf";
    std::filesystem::remove(pdf);
    {
        const pdf_printer to_pdf(pdf);
        opts.print_comment = "Graph comment";
        message_log::messages.clear();
        SendMessage(w, WM_COMMAND, cmd_print_output, 0);
    }
    EXPECT_EQ(drawing.printing, 0);
    EXPECT_EQ(drawing.printer_dc, nullptr);
    EXPECT_FALSE(message_log::said("close_printer"));
    ASSERT_TRUE(std::filesystem::exists(pdf));
    std::string text = pdf_text(pdf);
    for (const char* want :
         {"Population : slow", "Population : base", "Time", "20000", "Graph comment", "people"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " in\n" << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 1); // one page
    // The window still paints on the screen afterwards.
    InvalidateRect(w, nullptr, TRUE);
    td::run_until_idle();
    EXPECT_GT(
        count_colour(td::image(w), plot_of(td::image(w)).adjusted(3, 3, -3, -3), colour_table[0]),
        50);
}

// The print options' orientation decides the page: 1 landscape, 2 portrait.
// A graph taller than the page is printed smaller, leaving the bottom tenth
// of the page for the footer: the footer's words stand below every word of
// the graph, never over its legend.
TEST_F(GraphWindow, ATallGraphLeavesThePagesFooterRoomBelowIt) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    const handle rec = last_graph_record();
    auto* o = static_cast<output_record*>(lock_handle(rec));
    ASSERT_NE(o, nullptr);
    o->height = 4 * o->width; // far taller than any page at the printer's resolution
    unlock_handle(rec);
    const std::string pdf = testing::TempDir() + "kavrel_tall_graph.pdf";
    std::filesystem::remove(pdf);
    {
        const pdf_printer to_pdf(pdf);
        opts.sizing = 0;
        opts.info_corner = 0;
        opts.orientation = 1;
        opts.print_comment = "Footnote";
        SendMessage(w, WM_COMMAND, cmd_print_output, 0);
    }
    ASSERT_TRUE(std::filesystem::exists(pdf));
    // Each word's box from the PDF: the footer's top, the graph's lowest bottom.
    const std::string boxes = command_output("pdftotext -bbox '" + pdf + "' - 2>/dev/null");
    double footer_top = -1, graph_bottom = -1, footer_height = 0;
    std::size_t at = 0;
    while ((at = boxes.find("<word ", at)) != std::string::npos) {
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        const std::size_t close = boxes.find('>', at), end = boxes.find("</word>", at);
        if (close == std::string::npos || end == std::string::npos) break;
        if (std::sscanf(boxes.c_str() + at,
                        "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &x0, &y0, &x1,
                        &y1) == 4) {
            const std::string word = boxes.substr(close + 1, end - close - 1);
            if (word == "Footnote") {
                footer_top = y0;
                footer_height = y1 - y0;
            } else if (word == "people" || word == "Time") // the legend's units, the x title
                graph_bottom = std::max(graph_bottom, y1);
        }
        at = end;
    }
    ASSERT_GT(footer_top, 0) << boxes;
    ASSERT_GT(graph_bottom, 0) << boxes;
    EXPECT_GE(footer_top, graph_bottom) << boxes;
    // The footer is in 8-point type: its words' boxes are some 9 points high.
    EXPECT_GT(footer_height, 7);
    EXPECT_LT(footer_height, 10.4);
}

TEST_F(GraphWindow, PrintingTakesTheOptionsOrientation) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    auto page = [&](std::uint8_t orientation) {
        const std::string pdf = testing::TempDir() + "kavrel_orientation.pdf";
        std::filesystem::remove(pdf);
        {
            const pdf_printer to_pdf(pdf);
            opts.orientation = orientation;
            SendMessage(w, WM_COMMAND, cmd_print_output, 0);
        }
        const std::string info = command_output("pdfinfo '" + pdf + "' 2>&1");
        double pw = 0, ph = 0;
        const std::size_t at = info.find("Page size:");
        if (at == std::string::npos ||
            std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &pw, &ph) != 2)
            ADD_FAILURE() << info;
        return std::pair{pw, ph};
    };
    const auto [lw, lh] = page(1);
    const auto [pw, ph] = page(2);
    EXPECT_GT(lw, lh) << "landscape";
    EXPECT_GT(ph, pw) << "portrait";
}

TEST_F(GraphWindow, MonochromeDrawsTheCurvesBlackAndAPlotWithoutWidthStillDraws) {
    std::uint8_t saved = opts.colour_modes[0];
    opts.colour_modes[0] = 2; // the screen in monochrome
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    const QImage img = td::image(w);
    const QRect plot = plot_of(img);
    EXPECT_EQ(count_colour(img, plot.adjusted(3, 3, -3, -3), colour_table[0]), 0);
    EXPECT_EQ(count_colour(img, plot.adjusted(3, 3, -3, -3), colour_table[1]), 0);
    EXPECT_TRUE(td::save_png(w, testing::TempDir() + "kavrel_line_graph_mono.png"));
    // The curves are told apart by dashes: the copy (also monochrome) records
    // the second curve's pen dotted and every curve pen black.
    const std::uint8_t saved_export = opts.colour_modes[2];
    opts.colour_modes[2] = 2;
    clip_use_private(true);
    clip_reset();
    ASSERT_EQ(copy_graph_window(last_graph_record()), 1);
    opts.colour_modes[2] = saved_export;
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto emf = static_cast<HENHMETAFILE>(GetClipboardData(CF_ENHMETAFILE));
    std::vector<BYTE> bytes(emf ? GetEnhMetaFileBits(emf, 0, nullptr) : 0);
    if (emf) GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
    CloseClipboard();
    clip_use_private(false);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    int dotted = 0, coloured = 0;
    for (std::size_t at = 0; at + 8 <= bytes.size();) {
        const std::uint32_t type = u32(at), size = u32(at + 4);
        if (size < 8 || at + size > bytes.size()) break;
        if (type == 38 /* create pen */ && size >= 28) {
            const std::uint32_t style = u32(at + 12), colour = u32(at + 24) & 0xFFFFFF;
            if ((style & 0xF) == PS_DOT && colour == 0) ++dotted;
            if (colour == colour_table[0] || colour == colour_table[1]) ++coloured;
        }
        at += size;
    }
    EXPECT_GE(dotted, 1);
    EXPECT_EQ(coloured, 0);
    opts.colour_modes[0] = saved;
    // A window too narrow for a plot: title and legend only, and no hang
    // looking for an x-label step.
    MoveWindow(GetParent(w), 0, 0, 30, 400, TRUE);
    td::run_until_idle();
    EXPECT_FALSE(td::image(w).isNull());
}

TEST_F(GraphWindow, CopyPutsTheGraphOnTheClipboardAtTheExportSize) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    handle rec = last_graph_record();
    RECT c;
    GetClientRect(w, &c);
    clip_use_private(true);
    clip_reset();
    SendMessage(w, WM_COMMAND, cmd_export_output, 0);
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto emf = static_cast<HENHMETAFILE>(GetClipboardData(CF_ENHMETAFILE));
    ENHMETAHEADER head{};
    const bool got = emf && GetEnhMetaFileHeader(emf, sizeof head, &head) != 0;
    std::vector<BYTE> bytes(emf ? GetEnhMetaFileBits(emf, 0, nullptr) : 0);
    if (emf) GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
    CloseClipboard();
    clip_use_private(false);
    ASSERT_TRUE(got);
    // At the window's size by default, in 0.01 mm.
    const int res = drawing.device_res[0];
    EXPECT_EQ(head.rclFrame.right, c.right * 2540 / res);
    EXPECT_EQ(head.rclFrame.bottom, c.bottom * 2540 / res);
    // The legend texts are in it (as UTF-16 text records).
    std::u16string wide(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
    EXPECT_NE(wide.find(u"Population : slow"), std::u16string::npos);
    EXPECT_EQ(drawing.gtx_mode, 0);
    EXPECT_EQ(out_size.cx, 0);

    // "As laid out": the Graph tool's 6 by 4 inches, whatever the window's size.
    const std::string gtx = dir + "/laid.gtx";
    graph_export_options().export_size = 2;
    ASSERT_EQ(save_graph_window(rec, gtx.c_str()), 1);
    // (Inches become pixels truncated, so a side may lose a point.)
    auto size_line = [&](int* pw, int* ph) {
        const std::string t = read_file(gtx);
        return std::sscanf(t.c_str() + t.find('\n') + 1, "(0,0)-(%d,%d)", pw, ph) == 2;
    };
    int pw = 0, ph = 0;
    ASSERT_TRUE(size_line(&pw, &ph));
    EXPECT_NEAR(pw, 432, 1);
    EXPECT_NEAR(ph, 288, 1);
    // Asked: 3 by 2 inches typed into the export-size dialog; Cancel saves nothing.
    graph_export_options().export_size = 1;
    answerer::dialog(dlg_export_size)
        .call([](HWND d) {
            char t[64] = {};
            GetDlgItemText(d, exs_full, t, sizeof t);
            EXPECT_STREQ(t, "Full Size (6x4)");
        })
        .set_text(exs_width, "3")
        .set_text(exs_height, "2")
        .press(IDOK);
    ASSERT_EQ(save_graph_window(rec, gtx.c_str()), 1);
    ASSERT_TRUE(size_line(&pw, &ph));
    EXPECT_NEAR(pw, 216, 1);
    EXPECT_NEAR(ph, 144, 1);
    const std::string none = dir + "/cancelled.gtx";
    answerer::dialog(dlg_export_size).press(IDCANCEL);
    EXPECT_EQ(save_graph_window(rec, none.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(none));
    graph_export_options().export_size = 0;
    // Laid out for the printer: the window's size at the printer's
    // resolution, written in points all the same; the printer is closed after
    // (a misplaced close would show an unanswered message box).
    print_use_system_printers(false);
    const std::string saved_printer = opts.printer_name;
    opts.printer_name.clear();
    graph_export_options().printer_for_exports = true;
    ASSERT_EQ(save_graph_window(rec, gtx.c_str()), 1);
    graph_export_options().printer_for_exports = false;
    opts.printer_name = saved_printer;
    print_use_system_printers(true);
    EXPECT_EQ(drawing.printing, 0);
    EXPECT_EQ(drawing.printer_dc, nullptr);
    ASSERT_TRUE(size_line(&pw, &ph));
    EXPECT_NEAR(pw, c.right * 72 / res, 2);
    EXPECT_NEAR(ph, c.bottom * 72 / res, 2);
    EXPECT_EQ(drawing.gtx_mode, 0);
    EXPECT_EQ(out_size.cx, 0);
    // The window is still there and paints.
    EXPECT_TRUE(IsWindow(w));
}

TEST_F(GraphWindow, PrintSizingOptionsSizeTheGraphWithinThePage) {
    print_use_system_printers(false);
    const opt_block saved = opts;
    opts.printer_name.clear();
    HDC dc = open_printer_dc("L", nullptr, nullptr, true);
    ASSERT_NE(dc, nullptr);
    drawing.printing = 1;
    const int pw = GetDeviceCaps(dc, HORZRES), ph = GetDeviceCaps(dc, VERTRES);
    const int rx = drawing.device_res[2], ry = drawing.device_res[3];
    int w = 0, h = 0;
    opts.sizing = 0;
    graph_output_size(1000, 600, &w, &h);
    EXPECT_EQ(w, std::min(1000, pw));
    EXPECT_EQ(h, std::min(600, ph));
    opts.sizing = sz_percent;
    opts.print_percent = 50;
    graph_output_size(1000, 600, &w, &h);
    EXPECT_EQ(w, 500);
    EXPECT_EQ(h, 300);
    // A request just inside the page at full size keeps both sides, whichever
    // way the page is turned: each side is bounded by its own page side.
    ASSERT_NE(pw, ph);
    opts.print_percent = 100;
    graph_output_size(pw - 10, ph - 10, &w, &h);
    EXPECT_EQ(w, pw - 10);
    EXPECT_EQ(h, ph - 10);
    opts.print_percent = 5; // too small: the next choice, here none
    graph_output_size(1000, 600, &w, &h);
    EXPECT_EQ(w, std::min(1000, pw));
    opts.sizing = sz_percent | sz_fill_page;
    opts.print_percent = 100000000; // huge: within the page
    graph_output_size(1000, 600, &w, &h);
    EXPECT_EQ(w, pw);
    EXPECT_EQ(h, ph);
    opts.sizing = sz_fill_page;
    graph_output_size(1000, 600, &w, &h);
    EXPECT_EQ(w, pw - rx);
    EXPECT_EQ(h, ph - ry);
    opts.sizing = sz_width | sz_height;
    opts.print_width = 4;
    opts.print_height = 0; // unset: the request's height
    graph_output_size(1000, 600, &w, &h);
    EXPECT_EQ(w, cm_to_device(4 * 2.54, 1));
    EXPECT_EQ(h, std::min(600, ph));
    close_printer(-1);
    // The same on a page turned upright.
    dc = open_printer_dc("P", nullptr, nullptr, true);
    ASSERT_NE(dc, nullptr);
    drawing.printing = 1;
    const int upright_w = GetDeviceCaps(dc, HORZRES), upright_h = GetDeviceCaps(dc, VERTRES);
    ASSERT_LT(upright_w, upright_h);
    opts.sizing = sz_percent;
    opts.print_percent = 100;
    graph_output_size(upright_w - 10, upright_h - 10, &w, &h);
    EXPECT_EQ(w, upright_w - 10);
    EXPECT_EQ(h, upright_h - 10);
    close_printer(-1);
    EXPECT_EQ(drawing.printing, 0);
    opts = saved;
    print_use_system_printers(true);
}

TEST_F(GraphWindow, LivesweepReRunsRedrawTheCurveOfTheShownRun) {
    ASSERT_NO_FATAL_FAILURE(start_livesweep());
    ASSERT_GE(shown_run_index(), 0);
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    line_graph* g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    // Only the series of the run the value cache shows follows the re-runs.
    int live = -1, fixed = -1;
    for (std::size_t i = 0; i < g->series.size(); ++i)
        (g->series[i].live_slot ? live : fixed) = static_cast<int>(i);
    ASSERT_GE(live, 0);
    ASSERT_GE(fixed, 0);
    EXPECT_EQ(g->series[static_cast<std::size_t>(live)].run, shown_run_index());
    const std::vector<std::int16_t> live_before = g->series[static_cast<std::size_t>(live)].ys;
    const std::vector<std::int16_t> fixed_before = g->series[static_cast<std::size_t>(fixed)].ys;
    const QImage before = td::image(w);

    // A faster birth rate, re-run as a slider would ask: the shown run's
    // curve rises (smaller y positions) and the window repaints it.
    ASSERT_NO_FATAL_FAILURE(rerun_with_birth_rate(w, 0.05f));
    g = graph_of(last_graph_record());
    const std::vector<std::int16_t> live_after = g->series[static_cast<std::size_t>(live)].ys;
    ASSERT_FALSE(live_after.empty());
    EXPECT_NE(live_after, live_before);
    EXPECT_LT(live_after.back(), live_before.back());
    EXPECT_EQ(g->series[static_cast<std::size_t>(fixed)].ys, fixed_before);
    EXPECT_NE(td::image(w), before);
    // A graph opened now shows the re-run too, not the run file it stands in
    // for (it showed the file until the next re-run).
    {
        HWND w2 = run_tool(); // the same window, its graph made again
        ASSERT_NE(w2, nullptr);
        line_graph* g2 = graph_of(last_graph_record());
        ASSERT_NE(g2, nullptr);
        ASSERT_GT(g2->series.size(), static_cast<std::size_t>(live));
        ASSERT_NE(g2->series[static_cast<std::size_t>(live)].live_slot, 0);
        EXPECT_EQ(g2->series[static_cast<std::size_t>(live)].ys, live_after);
        EXPECT_EQ(g2->series[static_cast<std::size_t>(fixed)].ys, fixed_before);
    }
    // Every re-run writes from the start again: a slower rate brings the
    // curve back down.
    const std::int16_t risen = live_after.back();
    ASSERT_NO_FATAL_FAILURE(rerun_with_birth_rate(w, 0.03f));
    g = graph_of(last_graph_record());
    const std::int16_t between = g->series[static_cast<std::size_t>(live)].ys.back();
    EXPECT_GT(between, risen);
    EXPECT_LT(between, live_before.back()); // above the run it stands in for (0.02)

    menu_command(cmd_livesweep);
    EXPECT_EQ(livesweep_state, ls_off);
    set_livesweep_refresh_hook(nullptr);
    set_livesweep_save_hook(nullptr);
}

TEST_F(GraphWindow, AGraphOpenedBeforeLivesweepFollowsTheReRuns) {
    // The graph is opened first, with the mode off: no series is live yet.
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    line_graph* g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    for (const graph_series& s : g->series) EXPECT_EQ(s.live_slot, 0);

    ASSERT_NO_FATAL_FAILURE(start_livesweep());
    const int shown = shown_run_index();
    ASSERT_GE(shown, 0);
    int live = -1, fixed = -1;
    for (std::size_t i = 0; i < g->series.size(); ++i)
        (g->series[i].run == shown ? live : fixed) = static_cast<int>(i);
    ASSERT_GE(live, 0);
    ASSERT_GE(fixed, 0);
    const std::vector<std::int16_t> live_before = g->series[static_cast<std::size_t>(live)].ys;
    const std::vector<std::int16_t> fixed_before = g->series[static_cast<std::size_t>(fixed)].ys;

    // A faster birth rate: the curve named after the shown run rises.
    ASSERT_NO_FATAL_FAILURE(rerun_with_birth_rate(w, 0.05f));
    g = graph_of(last_graph_record());
    ASSERT_NE(g, nullptr);
    EXPECT_NE(g->series[static_cast<std::size_t>(live)].live_slot, 0);
    EXPECT_EQ(g->series[static_cast<std::size_t>(fixed)].live_slot, 0);
    const std::vector<std::int16_t> risen = g->series[static_cast<std::size_t>(live)].ys;
    ASSERT_FALSE(risen.empty());
    EXPECT_LT(risen.back(), live_before.back());
    EXPECT_EQ(g->series[static_cast<std::size_t>(fixed)].ys, fixed_before);
    // And comes down again with a slower one: it follows every re-run.
    ASSERT_NO_FATAL_FAILURE(rerun_with_birth_rate(w, 0.01f));
    g = graph_of(last_graph_record());
    EXPECT_GT(g->series[static_cast<std::size_t>(live)].ys.back(), live_before.back());

    menu_command(cmd_livesweep);
    EXPECT_EQ(livesweep_state, ls_off);
    set_livesweep_refresh_hook(nullptr);
    set_livesweep_save_hook(nullptr);
}

// A drag that ends a little past a drawn name's end (up to 10 pixels)
// selects to its last character; one far off leaves the selection as the
// press made it.
TEST_F(GraphWindow, ADragJustPastANamesEndSelectsToItsLastCharacter) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    handle rec = last_graph_record();
    const hot_spot legend = drawn_name(rec, "Population : slow");
    ASSERT_NE(legend.text, 0u);
    const int mid_y = (legend.top + legend.bottom) / 2;
    const int length = static_cast<int>(std::strlen("Population : slow"));
    td::drag(w, POINT{legend.left + 1, mid_y}, POINT{legend.right + 8, mid_y}, 1);
    td::run_until_idle();
    EXPECT_EQ(current_selection().record, rec);
    EXPECT_EQ(current_selection().start, 0);
    EXPECT_EQ(current_selection().end, length);
    SendMessage(w, WM_KILLFOCUS, 0, 0);
    td::drag(w, POINT{legend.left + 1, mid_y}, POINT{legend.right + 30, mid_y}, 1);
    td::run_until_idle();
    EXPECT_EQ(current_selection().record, rec);
    EXPECT_LT(current_selection().end, length);
    SendMessage(w, WM_KILLFOCUS, 0, 0);
}

TEST_F(GraphWindow, DraggingOverADrawnNameSelectsItsCharactersUntilFocusLeaves) {
    HWND w = run_tool();
    ASSERT_NE(w, nullptr);
    handle rec = last_graph_record();
    const hot_spot legend = drawn_name(rec, "Population : slow");
    ASSERT_NE(legend.text, 0u);
    const QImage before = td::image(w);
    const int mid_y = (legend.top + legend.bottom) / 2;
    auto dark_in_spot = [&](const QImage& img) {
        int n = 0;
        for (int y = legend.top; y < legend.bottom; ++y)
            for (int x = legend.left; x < legend.right; ++x) n += qGray(img.pixel(x, y)) < 128;
        return n;
    };
    // Pressing and dragging over the first third of the line selects those
    // characters and shows them inverted.
    td::drag(w, POINT{legend.left + 1, mid_y},
             POINT{legend.left + (legend.right - legend.left) / 3, mid_y});
    td::run_until_idle();
    const hot_spot_selection& sel = current_selection();
    EXPECT_EQ(sel.record, rec);
    EXPECT_EQ(sel.start, 0);
    EXPECT_GT(sel.end, 2);
    EXPECT_LT(sel.end, 10);
    const QImage selected = td::image(w);
    EXPECT_GT(dark_in_spot(selected), 2 * dark_in_spot(before));
    // The name is still the variable chosen (the selection is only part of it).
    lock_model(0);
    const symbol_id population = find_symbol("Population");
    unlock_model(0);
    EXPECT_EQ(workbench_var.var, population);
    // A repaint keeps it shown; losing the focus takes it away.
    InvalidateRect(w, nullptr, TRUE);
    td::run_until_idle();
    EXPECT_EQ(td::image(w), selected);
    SendMessage(w, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(current_selection().record, 0u);
    EXPECT_EQ(td::image(w), before);
    // A plain click selects nothing that stays. A window holding the graph
    // hears of the press and, after the text selection, of the release.
    static int pressed = 0, released = 0;
    pressed = released = 0;
    HWND holder = make_test_window("GraphHolder", [](HWND h, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_USER + 1) ++pressed;
        if (m == WM_USER + 2) ++released;
        return DefWindowProc(h, m, wp, lp);
    });
    ASSERT_NE(holder, nullptr);
    auto* o = static_cast<output_record*>(lock_handle(rec));
    o->container = holder;
    unlock_handle(rec);
    td::click(w, legend.left + 2, mid_y);
    td::run_until_idle();
    EXPECT_EQ(current_selection().record, 0u);
    EXPECT_EQ(td::image(w), before);
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(released, 1);
    o = static_cast<output_record*>(lock_handle(rec));
    o->container = nullptr;
    unlock_handle(rec);
    DestroyWindow(holder);
}

} // namespace

namespace {

// A cumulative graph of births adds people per year up over years: its
// units are people, the plain graph's people/year.
TEST_F(GraphWindow, ACumulativeGraphTakesTheUnitsTimesTheTimeBasis) {
    lock_model(0);
    workbench_var.var = find_symbol("births");
    unlock_model(0);
    for (int mode : {0, 1}) {
        tool_record* r = lock_tool(tool_);
        static_cast<graph_options*>(tool_options(r))->graph_mode = static_cast<std::uint8_t>(mode);
        unlock_tool(tool_);
        ASSERT_NE(run_tool(), nullptr);
        const line_graph* g = graph_of(last_graph_record());
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->units, mode ? "people" : "people/year") << mode;
    }
}

} // namespace

// Against another variable the x axis spans that variable's values, its
// open ends moved out to the next whole unit (a tenth when the span is under
// 4.1): never inside the data.
TEST_F(GatherSeries, AnXyGraphsOpenEndsRoundOutwardPastItsValues) {
    const struct {
        std::vector<float> xs;
        double lo, hi;
    } rows[] = {
        {{0.2f, 3.1f, 7.3f}, 0, 8},   // 7.3 up to 8, 0.2 down to 0
        {{1.7f, 9.4f}, 1, 10},        // 9.4 up to 10
        {{-2.36f, 1.04f}, -2.4, 1.1}, // span 3.4: tenths
        {{-7.3f, -1.2f}, -8, -1},     // 7.3 below zero out to -8; -1.2 up to -1
    };
    for (const auto& r : rows) {
        g_->series.clear();
        g_->xy_mode = true;
        g_->x_min = axis_unset;
        g_->x_max = axis_unset;
        std::vector<float> ys(r.xs.size(), 1.0f);
        add(r.xs, ys);
        ASSERT_EQ(gather_graph_series(*g_, true), 1);
        EXPECT_NEAR(g_->x_min, r.lo, 1e-6) << r.xs.front();
        EXPECT_NEAR(g_->x_max, r.hi, 1e-6) << r.xs.back();
    }
}

// Under the plot: the x axis title, a blank line, then the legend's lines,
// one per series, a line apart.
TEST_F(GatherSeries, ABlankLineSeparatesTheXTitleFromTheLegend) {
    td::start();
    add({0, 1, 2}, {1, 2, 3});
    add({0, 1, 2}, {3, 2, 1});
    ASSERT_EQ(gather_graph_series(*g_, true), 2);
    g_->series[0].label = "first series";
    g_->series[1].label = "second series";
    g_->x_title = "Months of the run";
    const std::vector<drawn_text> texts = drawn_texts(h_, *g_, 576, 384);
    int title_y = -1, first_y = -1, second_y = -1;
    for (const drawn_text& t : texts) {
        if (t.text == g_->x_title) title_y = t.y;
        if (t.text.rfind("first series", 0) == 0) first_y = t.y;
        if (t.text.rfind("second series", 0) == 0) second_y = t.y;
    }
    ASSERT_GE(title_y, 0);
    ASSERT_GE(first_y, 0);
    ASSERT_GT(second_y, first_y);
    const int line = second_y - first_y; // the legend's line, the axis font's too
    EXPECT_GE(first_y - title_y, 2 * line) << title_y << " " << first_y << " " << line;
    EXPECT_LE(first_y - title_y, 3 * line) << title_y << " " << first_y << " " << line;
    cur_output = 0;
}

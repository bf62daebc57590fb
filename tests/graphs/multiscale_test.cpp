// Line graphs with several units groups, label lists, own colours and pens,
// sensitivity bands and reference lines; the work-in-progress graph's
// newest-segment drawing; printing every graph window in one go.
#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "graphs/customgraph.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "graphs/sets/graphset.h"
#include "model/context.h"
#include "platform/gdi_internal.h"
#include "platform/print.h"
#include "resources/options.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/controlpanel.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/common/command_output.h"
#include "tests/common/message_log.h"
#include "tests/common/packages.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"
#include "tests/graphs/inventory_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/run_builder.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace td = test_driver;

namespace {

QRgb rgb_of(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

using test_driver::count_colour;

// The graph drawn into an image of w x h as a window's paint draws it.
void paint_into(QImage& img, line_graph& g, int full) {
    out_size = SIZE{img.width(), img.height()};
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, img.width(), img.height())));
    {
        draw_pass pass(dc, dc);
        if (full)
            draw_line_graph(g, 1);
        else
            draw_newest_segments(g, {0, 1});
    }
    gdi_delete_image_dc(dc);
    out_size = SIZE{0, 0};
}

QImage painted(line_graph& g, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    paint_into(img, g, 1);
    return img;
}

class ScaledGraph : public ::testing::Test {
protected:
    void SetUp() override {
        td::start();
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
        h_ = new_line_graph_record();
        ASSERT_NE(h_, 0u);
        g_ = graph_of(h_);
        g_->x_min = 0;
        g_->x_max = 10;
    }
    void TearDown() override {
        auto* o = static_cast<output_record*>(lock_handle(h_));
        void (*release)(handle) = o->release;
        unlock_handle(h_);
        release(h_);
        free_output_record(h_);
        set_message_hook(nullptr);
        scaling_opts = scaling_options{};
    }
    graph_series& add(std::vector<float> t, std::vector<float> v, int group = 0) {
        graph_series s;
        s.label = "s" + std::to_string(g_->series.size());
        s.times = std::move(t);
        s.values = std::move(v);
        s.group = group;
        g_->series.push_back(std::move(s));
        return g_->series.back();
    }
    handle h_ = 0;
    line_graph* g_ = nullptr;
};

// Each group takes its range from its own series, and each series is placed
// on its group's scale; stacking stays within a group.
TEST_F(ScaledGraph, EachGroupHasItsOwnRangeAndStacksOnItsOwn) {
    g_->more_groups.emplace_back();
    g_->more_groups[0].units = "people";
    add({0, 10}, {100, 120});
    add({0, 10}, {1, 3}, 1);
    ASSERT_EQ(gather_graph_series(*g_, true), 2);
    EXPECT_LE(g_->y_min, 100);
    EXPECT_GE(g_->y_max, 120);
    EXPECT_LE(g_->more_groups[0].y_min, 1);
    EXPECT_GE(g_->more_groups[0].y_max, 3);
    EXPECT_LT(g_->more_groups[0].y_max, 10); // not the first group's range
    // Both series climb a good part of the plot (1 to 3 on the orders'
    // scale would climb less than 2 %).
    for (const graph_series& s : g_->series) {
        ASSERT_EQ(s.ys.size(), 2u);
        EXPECT_GT(s.ys[0] - s.ys[1], 1000) << s.label;
    }
    // A group index past the groups counts as the first.
    EXPECT_EQ(group_units(*g_, 5), g_->units);

    // Stacked: the second group's series is not added onto the first's.
    g_->graph_mode = 2;
    add({0, 10}, {1, 1}, 1);
    g_->y_min = g_->more_groups[0].y_min = axis_unset;
    g_->y_max = g_->more_groups[0].y_max = -axis_unset;
    ASSERT_EQ(gather_graph_series(*g_, true), 3);
    EXPECT_FLOAT_EQ(g_->series[1].values[1], 3);
    EXPECT_FLOAT_EQ(g_->series[2].values[1], 4);

    // A limit of 2 (STACK 2) stacks the first two series of each group; the
    // third stays as read, and its time axis need not match.
    g_->stack_limit = 2;
    add({0, 5, 10}, {7, 7, 7}, 1);
    ASSERT_EQ(gather_graph_series(*g_, true), 4);
    EXPECT_FLOAT_EQ(g_->series[2].values[1], 4);
    EXPECT_FLOAT_EQ(g_->series[3].values[1], 7);
}

// A y list of 0, 50 and 100 places Low at the bottom, Mid in the middle and
// High at the top with 3 divisions; an x list sets the x range. Lists that
// cannot be placed are ignored and leave the axis as it was.
TEST_F(ScaledGraph, LabelListsReplaceTheNumbersAndSetTheRange) {
    ASSERT_TRUE(set_axis_labels(*g_, "0=Low?50=Mid?100=High", false));
    EXPECT_EQ(g_->y_divisions, 3);
    ASSERT_EQ(g_->y_custom.size(), 3u);
    EXPECT_EQ(g_->y_custom[0].text, "Low");
    EXPECT_EQ(g_->y_custom[0].pos, 10000);
    EXPECT_EQ(g_->y_custom[1].pos, 5000);
    EXPECT_EQ(g_->y_custom[2].pos, 0);
    ASSERT_TRUE(set_axis_labels(*g_, "?2=two?4=four", true));
    EXPECT_DOUBLE_EQ(g_->x_min, 2);
    EXPECT_DOUBLE_EQ(g_->x_max, 4);
    EXPECT_FALSE(set_axis_labels(*g_, "7=seven", true));
    EXPECT_FALSE(set_axis_labels(*g_, "", false));
    EXPECT_DOUBLE_EQ(g_->x_min, 2);
    EXPECT_EQ(g_->x_custom.size(), 2u);

    // The list's range holds against the data (not rounded, not widened).
    add({2, 4}, {-20, 180});
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_DOUBLE_EQ(g_->y_min, 0);
    EXPECT_DOUBLE_EQ(g_->y_max, 100);
    EXPECT_EQ(g_->series[0].xs.size(), 2u);
}

TEST_F(ScaledGraph, ReferenceLinesLieInsideTheirRangesOnly) {
    g_->y_min = -10;
    g_->y_max = 10;
    set_reference_lines(*g_, xl_zero | xl_one | xl_special, 2.5);
    EXPECT_EQ(g_->zero_line, 5000);
    EXPECT_EQ(g_->one_line, 4500);
    EXPECT_EQ(g_->special_time_line, 2500);
    // Options off, values on an end or outside: none.
    set_reference_lines(*g_, 0, 2.5);
    EXPECT_EQ(g_->zero_line + g_->one_line + g_->special_time_line, 0);
    g_->y_min = 0;
    set_reference_lines(*g_, xl_zero | xl_one | xl_special, 10);
    EXPECT_EQ(g_->zero_line, 0);
    EXPECT_EQ(g_->one_line, 9000);
    EXPECT_EQ(g_->special_time_line, 0);
    // Not with several scales, nor on an axis that is not time.
    g_->more_groups.emplace_back();
    g_->x_is_time = false;
    set_reference_lines(*g_, xl_zero | xl_one | xl_special, 5);
    EXPECT_EQ(g_->zero_line + g_->one_line + g_->special_time_line, 0);

    // Gathering takes them from the scaling options: a black line across
    // the plot at 0.
    g_->more_groups.clear();
    g_->x_is_time = true;
    g_->y_min = axis_unset;
    g_->y_max = -axis_unset;
    add({0, 10}, {-50, 50});
    scaling_opts.extra_lines = xl_zero;
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_EQ(g_->zero_line, 5000);
    const QImage img = painted(*g_, 600, 400);
    ASSERT_TRUE(g_->plot_ok);
    const int y = g_->plot_top + (g_->plot_bottom - g_->plot_top) / 2;
    int black = 0;
    for (int x = g_->plot_left + 5; x < g_->plot_right - 5; ++x)
        if ((img.pixel(x, y) & 0xFFFFFF) == 0) ++black;
    EXPECT_GT(black, (g_->plot_right - g_->plot_left) * 3 / 4);
}

// Own colours and pens are drawn; bands fill their colours around the
// series, the widest band under the narrower ones.
TEST_F(ScaledGraph, OwnColoursAndBandsAreDrawn) {
    graph_series& a = add({0, 5, 10}, {10, 20, 30});
    a.has_colour = true;
    a.colour = RGB(160, 0, 160);
    a.line = 3;
    graph_series& b = add({0, 5, 10}, {50, 50, 50});
    b.band_per_mille = {500, 1000};
    b.band_colours = {RGB(0, 200, 0), RGB(250, 250, 0)};
    b.band_mean = true;
    for (float d : {-20.0f, -10.0f, 0.0f, 10.0f, 20.0f}) b.sims.push_back({50 + d, 50 + d, 50 + d});
    ASSERT_EQ(gather_graph_series(*g_, true), 2);
    // The simulations count towards the range.
    EXPECT_LE(g_->y_min, 10);
    EXPECT_GE(g_->y_max, 70);
    const graph_series& mapped = g_->series[1];
    ASSERT_EQ(mapped.band_xs.size(), 3u);
    ASSERT_EQ(mapped.band_rows.size(), 3u * (2 + 2 * 2));
    const QImage img = painted(*g_, 600, 400);
    EXPECT_GT(count_colour(img, RGB(160, 0, 160)), 200);   // 3 pixels wide
    EXPECT_EQ(count_colour(img, colour_table[0]), 0);      // its own colour, not the table's
    const int inner = count_colour(img, RGB(0, 200, 0));   // 50 %: 40 to 60
    const int outer = count_colour(img, RGB(250, 250, 0)); // 100 %: 30 to 70, less the inner
    EXPECT_GT(inner, 2000);
    EXPECT_GT(outer, inner / 2);
    // A banded series shows no line of its own in the table's colour 1.
    EXPECT_EQ(count_colour(img, colour_table[1]), 0);
}

// The newest segments drawn alone over the last paint give the picture a
// whole paint gives; another size or no paint yet asks for a repaint.
TEST_F(ScaledGraph, NewestSegmentsMatchAWholeRepaint) {
    g_->y_min = 0;
    g_->y_max = 100;
    add({0, 1, 2}, {10, 30, 20});
    add({0, 1, 2}, {80, 60, 70});
    ASSERT_EQ(gather_graph_series(*g_, true), 2);
    EXPECT_FALSE(draw_newest_segments(*g_, {0, 1})); // never painted
    QImage img = painted(*g_, 640, 420);
    const int before = count_colour(img, colour_table[0]);
    for (float t : {3.0f, 4.0f, 5.0f}) {
        for (graph_series& s : g_->series) {
            s.times.push_back(t);
            s.values.push_back(t * 10);
        }
        ASSERT_TRUE(point_in_ranges(*g_, 0, t, t * 10));
        map_newest_points(*g_, {0, 1});
        paint_into(img, *g_, 0);
    }
    EXPECT_GT(count_colour(img, colour_table[0]), before);
    EXPECT_EQ(g_->series[0].xs.size(), 6u);
    // The positions are those a full mapping gives.
    const std::vector<std::int16_t> xs = g_->series[0].xs, ys = g_->series[0].ys;
    ASSERT_EQ(gather_graph_series(*g_, true), 2);
    EXPECT_EQ(g_->series[0].xs, xs);
    EXPECT_EQ(g_->series[0].ys, ys);
    const QImage whole = painted(*g_, 640, 420);
    const int c0 = count_colour(whole, colour_table[0]), c1 = count_colour(img, colour_table[0]);
    EXPECT_NEAR(c1, c0, c0 / 20 + 5);
    // A point past a range cannot be placed without a remap.
    EXPECT_FALSE(point_in_ranges(*g_, 1, 11, 50));
    EXPECT_FALSE(point_in_ranges(*g_, 1, 5, 101));
    // A different output size: repaint instead.
    QImage other(500, 300, QImage::Format_RGB32);
    out_size = SIZE{500, 300};
    HDC dc = gdi_create_image_dc(&other, nullptr, QRegion(QRect(0, 0, 500, 300)));
    {
        draw_pass pass(dc, dc);
        EXPECT_FALSE(draw_newest_segments(*g_, {0}));
    }
    gdi_delete_image_dc(dc);
    out_size = SIZE{0, 0};
}

// The inventory sample's graph set: its Orders graph has two scale groups,
// label lists on both axes and a dashed purple Workforce.
class InventoryGraphs : public InventoryWorkbenchTest {
protected:
    void SetUp() override {
        InventoryWorkbenchTest::SetUp();
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
    }
    void more_teardown() override {
        set_message_hook(nullptr);
        printer = print_state{};
        print_use_system_printers(true);
    }
    handle open_def(const char* name) {
        if (run_user_tool(name, -1, 0) != 1) return 0;
        graph_set* set = graph_set_at(current_graph_set());
        for (const graph_def& d : set->defs)
            if (d.name == name) return d.window;
        return 0;
    }
};

TEST_F(InventoryGraphs, OrdersShowsTwoScalesWithTheirLabelsAndOwnPens) {
    simulate("base");
    const handle h = open_def("Orders");
    ASSERT_NE(h, 0u);
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(group_count(*g), 2);
    ASSERT_EQ(g->series.size(), 3u);
    EXPECT_EQ(g->series[0].group, 0);
    EXPECT_EQ(g->series[1].group, 0);
    EXPECT_EQ(g->series[2].group, 1);
    EXPECT_EQ(g->units, "widgets/week");
    EXPECT_EQ(g->more_groups[0].units, "people");
    // The second scale fits Workforce, not the orders' 0 to 150.
    EXPECT_DOUBLE_EQ(g->y_min, 0);
    EXPECT_DOUBLE_EQ(g->y_max, 150);
    EXPECT_GT(g->more_groups[0].y_min, 0);
    EXPECT_LT(g->more_groups[0].y_max, 150);
    EXPECT_EQ(g->series[2].line, -2); // DASH as the pens' dash style
    EXPECT_TRUE(g->series[2].has_colour);
    EXPECT_EQ(g->series[2].colour, RGB(160, 0, 160));
    ASSERT_EQ(g->x_custom.size(), 3u);
    EXPECT_EQ(g->x_custom[1].pos, 5000);

    // The window shows the purple line and the lists' labels and units.
    HWND w = outwin_window(h);
    ASSERT_NE(w, nullptr);
    td::run_until_idle();
    const QImage shot = td::image(w);
    const std::string png = ::testing::TempDir() + "/kavrel_orders_two_scales.png";
    shot.save(QString::fromStdString(png), "PNG");
    std::printf("screenshot: %s\n", png.c_str());
    EXPECT_GT(count_colour(shot, RGB(160, 0, 160)), 30);
    EXPECT_GT(count_colour(shot, colour_table[0]), 30);
    const std::string gtx = dir + "/orders.gtx";
    ASSERT_EQ(save_graph_window(h, gtx.c_str()), 1);
    std::ifstream in(gtx);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    for (const char* want :
         {"start", "middle", "end", "none", "base", "high", "people", "widgets/week", "Orders"})
        EXPECT_NE(text.find(want), std::string::npos) << want;
}

// During a run the WIP graph's updates inside its ranges draw only the new
// segments; its positions are those a whole mapping gives at the end.
TEST_F(InventoryGraphs, TheWipGraphGrowsBySegmentsAsAWholeMappingWould) {
    float_opts |= fo_wip_graph;
    // Room for all 201 saves.
    graph_set_at(current_graph_set())->defs[0].max_points = 101;
    simulate("first");
    graph_set* set = graph_set_at(current_graph_set());
    const handle h = set->defs[0].window;
    ASSERT_NE(h, 0u);
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 2u);
    EXPECT_EQ(group_count(*g), 2); // two VAR lines without SCALE: a scale each
    EXPECT_EQ(g->series[0].times.size(), 201u);
    const std::vector<std::int16_t> xs = g->series[0].xs, ys = g->series[0].ys;
    ASSERT_GT(xs.size(), 100u);
    EXPECT_EQ(gather_graph_series(*g, true), 2);
    EXPECT_EQ(g->series[0].xs, xs);
    EXPECT_EQ(g->series[0].ys, ys);
    HWND w = outwin_window(h);
    InvalidateRect(w, nullptr, TRUE);
    td::run_until_idle();
    EXPECT_GT(count_colour(td::image(w), colour_table[0]), 50);

    // A new segment drawn into the window shows on its picture at once, in
    // the plot of the last paint: a line to the plot's top right corner.
    ASSERT_TRUE(g->plot_ok);
    graph_series& s = g->series[0];
    const QImage before = td::image(w);
    s.times.push_back(static_cast<float>(g->x_max));
    s.values.push_back(static_cast<float>(group_max(*g, 0)));
    map_newest_points(*g, {0});
    ASSERT_TRUE(draw_wip_segments(h, w, *g, {0}));
    const QImage after = td::image(w);
    const int x = g->plot_right - 2, y = g->plot_top + 2;
    int new_pixels = 0;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx)
            if ((after.pixel(x + dx, y + dy) & 0xFFFFFF) == (rgb_of(colour_table[0]) & 0xFFFFFF) &&
                before.pixel(x + dx, y + dy) != after.pixel(x + dx, y + dy))
                ++new_pixels;
    EXPECT_GT(new_pixels, 0);
    EXPECT_GT(count_colour(after, colour_table[0]), count_colour(before, colour_table[0]));
}

// A cumulative WIP graph is gathered again whenever its ranges widen; it
// shows the integral of the run's values, not an integral of integrals.
TEST_F(InventoryGraphs, ACumulativeWipGraphIntegratesOnce) {
    graph_def d = make_graph_def(gd_line);
    d.name = "Total";
    d.wip = 1;
    d.cumulative = 1;
    d.max_points = 101; // room for all 201 saves
    graph_var v;
    v.name = "shipments";
    v.run = gd_wip_run;
    d.vars.push_back(v);
    graph_set* set = graph_set_at(current_graph_set());
    for (graph_def& def : set->defs) def.wip = 0;
    add_graph_def(*set, d);
    float_opts |= fo_wip_graph;
    simulate("first");
    set = graph_set_at(current_graph_set());
    line_graph* g = graph_of(set->defs.back().window);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 1u);
    std::vector<float> values, times;
    ASSERT_GT(read_run_values("shipments", nullptr, model_rec->runs[0].run, values, times, nullptr,
                              nullptr),
              1);
    double total = 0;
    for (std::size_t i = 0; i + 1 < values.size(); ++i)
        total += (static_cast<double>(times[i + 1]) - times[i]) * values[i];
    ASSERT_EQ(g->series[0].values.size(), values.size());
    EXPECT_NEAR(g->series[0].values.back(), total, total * 1e-4);
}

// CONFIDENCE on a variable of a sensitivity run: the bands its list names,
// sorted narrowest first with their colours carried along, filled around
// the mean line the definition asks for.
// A sensitivity run's simulations drawn as lines: grey unless the
// definition gives their colour, and a mean line black unless given.
TEST_F(InventoryGraphs, SimulationLinesAreGreyAndTheMeanBlackUnlessGiven) {
    const int sims = 5, T = 11;
    sens_spec spec;
    spec.rows = sims;
    spec.times = T;
    spec.series = {"Inventory"};
    std::vector<float> times, base;
    for (int r = 0; r < sims; ++r)
        for (int t = 0; t < T; ++t) spec.matrix.push_back(300.0f + static_cast<float>(r * t));
    for (int t = 0; t < T; ++t) {
        times.push_back(static_cast<float>(t));
        base.push_back(300.0f);
    }
    run_builder rb(cur_model_symbols, 'S');
    rb.times(times);
    rb.series("Inventory", base);
    rb.sensitivity(spec);
    ASSERT_EQ(rb.write(dir + "/lines.kdf"), 1) << rb.error();

    graph_def d = make_graph_def(gd_line);
    d.name = "Lines";
    graph_var plain;
    plain.name = "Inventory";
    plain.dataset = "lines";
    plain.extra_kind = 2;
    plain.mean = 1;
    graph_var red = plain;
    red.extra_text = "255|0|0";
    red.mean_text = "0|0|255";
    d.vars = {plain, red};
    add_graph_def(*graph_set_at(current_graph_set()), d);
    const handle h = open_def("Lines");
    ASSERT_NE(h, 0u);
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 2u);
    EXPECT_EQ(g->series[0].sims.size(), static_cast<std::size_t>(sims));
    EXPECT_TRUE(g->series[0].band_per_mille.empty());
    EXPECT_EQ(g->series[0].sims_colour, RGB(128, 128, 128));
    EXPECT_EQ(g->series[0].mean_colour, RGB(0, 0, 0));
    EXPECT_EQ(g->series[1].sims_colour, RGB(255, 0, 0));
    EXPECT_EQ(g->series[1].mean_colour, RGB(0, 0, 255));
}

// A subscripted element's line takes the units of its variable.
TEST_F(InventoryGraphs, AnElementsLineTakesItsVariablesUnits) {
    close_model(0, 0);
    unload_runs(1);
    ASSERT_EQ(open_model(1, 0, sample("subscripted.kmf").c_str(), 0), 1);
    simulate("sub");
    graph_def d = make_graph_def(gd_line);
    d.name = "Supply";
    graph_var v;
    v.name = "supply[north,food]";
    d.vars = {v};
    const handle h = build_custom_graph(d);
    ASSERT_NE(h, 0u);
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 1u);
    EXPECT_EQ(g->units, "units/month");
}

TEST_F(InventoryGraphs, ConfidenceBandsOfASensitivityRunAreFilled) {
    const int sims = 21, T = 101;
    sens_spec spec;
    spec.rows = sims;
    spec.times = T;
    spec.series = {"Inventory"};
    std::vector<float> times, base;
    for (int r = 0; r < sims; ++r)
        for (int t = 0; t < T; ++t) spec.matrix.push_back(300.0f + (r - 10) * 0.5f * t);
    for (int t = 0; t < T; ++t) {
        times.push_back(static_cast<float>(t));
        base.push_back(300.0f);
    }
    run_builder rb(cur_model_symbols, 'S');
    rb.times(times);
    rb.series("Inventory", base);
    rb.sensitivity(spec);
    ASSERT_EQ(rb.write(dir + "/sens.kdf"), 1) << rb.error();

    graph_def d = make_graph_def(gd_line);
    d.name = "Spread";
    graph_var v;
    v.name = "Inventory";
    v.dataset = "sens";
    v.extra_kind = 1;
    v.extra_text = "95=0|0|255,50=255|0|0";
    v.mean = 1;
    v.mean_text = "0|0|0";
    d.vars.push_back(v);
    add_graph_def(*graph_set_at(current_graph_set()), d);
    const handle h = open_def("Spread");
    ASSERT_NE(h, 0u);
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    const graph_series& s = g->series[0];
    EXPECT_EQ(s.band_per_mille, (std::vector<int>{500, 950}));
    EXPECT_EQ(s.band_colours, (std::vector<COLORREF>{RGB(255, 0, 0), RGB(0, 0, 255)}));
    EXPECT_EQ(s.sims.size(), static_cast<std::size_t>(sims));
    EXPECT_TRUE(s.band_mean);
    ASSERT_FALSE(s.band_xs.empty());
    // The range takes the simulations in: 300 +- 500.
    EXPECT_LE(g->y_min, -200);
    EXPECT_GE(g->y_max, 800);
    HWND w = outwin_window(h);
    td::run_until_idle();
    const QImage shot = td::image(w);
    const int red = count_colour(shot, RGB(255, 0, 0)), blue = count_colour(shot, RGB(0, 0, 255));
    EXPECT_GT(red, 500);
    EXPECT_GT(blue, 500);

    // Without a list: the middle 50, 75, 95 and all 100 per cent, each in
    // its own colour; no mean line unless asked for.
    graph_def plain = make_graph_def(gd_line);
    plain.name = "Spread plainly";
    v.extra_text.clear();
    v.mean = 0;
    v.mean_text.clear();
    plain.vars.push_back(v);
    add_graph_def(*graph_set_at(current_graph_set()), plain);
    const handle p = open_def("Spread plainly");
    ASSERT_NE(p, 0u);
    const graph_series& bands = graph_of(p)->series[0];
    EXPECT_EQ(bands.band_per_mille, (std::vector<int>{500, 750, 950, 1000}));
    ASSERT_EQ(bands.band_colours.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = i + 1; j < 4; ++j)
            EXPECT_NE(bands.band_colours[i], bands.band_colours[j]) << i << "," << j;
    EXPECT_FALSE(bands.band_mean);
}

// "Open on printing" shows the print options first; "Multiple" prints every
// graph window, one page each; Cancel prints nothing.
TEST_F(InventoryGraphs, OpenOnPrintingAndMultiplePrintEveryGraphWindow) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    simulate("base");
    // A STAMP's footer and annotation show on the printed page only.
    for (graph_def& d : graph_set_at(current_graph_set())->defs)
        if (d.name == "Orders") d.stamp[0] = "Footer of orders", d.stamp[1] = "Note on orders";
    const handle orders = open_def("Orders");
    const handle style = open_def("Inventory_WIP");
    const std::string gtx = dir + "/orders.gtx";
    ASSERT_EQ(save_graph_window(orders, gtx.c_str()), 1);
    std::ifstream in(gtx);
    const std::string saved_text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(saved_text.find("Note on orders"), std::string::npos);
    ASSERT_NE(orders, 0u);
    ASSERT_NE(style, 0u);
    EXPECT_EQ(framed_graph_windows().size(), 2u);
    print_use_system_printers(false);
    const opt_block saved = opts;
    opts.printer_name.clear();
    const std::string pdf = ::testing::TempDir() + "kavrel_multiple.pdf";
    std::filesystem::remove(pdf);
    printer.output_file = pdf;
    printer.open_on_printing = true;

    answerer::dialog(dlg_print_options).press(IDCANCEL);
    EXPECT_EQ(print_graph_window(orders), 0);
    EXPECT_FALSE(std::filesystem::exists(pdf));

    answerer::dialog(dlg_print_options).check(idp_multiple).press(IDOK);
    SendMessage(outwin_window(orders), WM_COMMAND, cmd_print_output, 0);
    opts = saved;
    EXPECT_EQ(drawing.printing, 0);
    EXPECT_TRUE(printer.open_on_printing);
    ASSERT_TRUE(std::filesystem::exists(pdf));
    const std::string text = pdf_text(pdf);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2) << text;
    EXPECT_NE(text.find("Orders and workforce of base"), std::string::npos) << text;
    EXPECT_NE(text.find("Inventory : base"), std::string::npos) << text;
    EXPECT_NE(text.find("Footer of orders"), std::string::npos) << text;
    EXPECT_NE(text.find("Note on orders"), std::string::npos) << text;
    EXPECT_FALSE(message_log::said("close_printer"));

    // "Multiple" chosen beforehand in Print Options prints every graph
    // window too, with no dialog at print time.
    std::filesystem::remove(pdf);
    printer.open_on_printing = false;
    opts.print_selection = 2;
    EXPECT_EQ(print_graph_window(orders), 1);
    opts = saved;
    ASSERT_TRUE(std::filesystem::exists(pdf));
    const std::string again = pdf_text(pdf);
    EXPECT_EQ(std::count(again.begin(), again.end(), '\f'), 2) << again;
}

// Each reference line answers to its own option: 1 alone draws no line at
// 0, and 0 alone none at 1.
TEST_F(ScaledGraph, EachReferenceLineHasItsOwnOption) {
    g_->y_min = -10;
    g_->y_max = 10;
    set_reference_lines(*g_, xl_one, 2.5);
    EXPECT_EQ(g_->zero_line, 0);
    EXPECT_EQ(g_->one_line, 4500); // (10 - 1) / 20 of the height down
    EXPECT_EQ(g_->special_time_line, 0);
    set_reference_lines(*g_, xl_zero, 2.5);
    EXPECT_EQ(g_->zero_line, 5000);
    EXPECT_EQ(g_->one_line, 0);
    set_reference_lines(*g_, xl_special, 2.5);
    EXPECT_EQ(g_->zero_line + g_->one_line, 0);
    EXPECT_EQ(g_->special_time_line, 2500);
}

// Only points inside the x range choose the y range: a spike after the
// axis's end (or before its start) leaves the scale alone.
TEST_F(ScaledGraph, PointsOutsideTheXRangeDoNotWidenTheYRange) {
    add({-5, 0, 5, 10, 15}, {-900, 1, 2, 3, 1000});
    ASSERT_EQ(gather_graph_series(*g_, true), 1);
    EXPECT_LE(g_->y_min, 1);
    EXPECT_GE(g_->y_min, 0);
    EXPECT_GE(g_->y_max, 3);
    EXPECT_LE(g_->y_max, 10);
}

// The size choices of the Graph tool, in inches: medium 6 x 4, small 4 x 3,
// large 8 x 6; a custom size is read in inches unless the options say
// metric, and one too small in either way falls back to medium.
TEST_F(ScaledGraph, GraphSizesAreTheirInchesOnTheDevice) {
    const bool metric = opts.metric;
    auto expect_inches = [&](int code, double w_in, double h_in, double cw = 0, double ch = 0) {
        set_graph_size(*g_, code, cw, ch);
        EXPECT_EQ(g_->design_width, cm_to_device(w_in * 2.54, 1)) << code << " " << cw;
        EXPECT_EQ(g_->design_height, cm_to_device(h_in * 2.54, 0)) << code << " " << ch;
    };
    opts.metric = false;
    expect_inches(2, 6, 4);
    expect_inches(1, 4, 3);
    expect_inches(3, 8, 6);
    expect_inches(0, 2, 3, 2, 3);
    expect_inches(0, 6, 4, 2, 0.3); // 0.3 in high: not taken
    opts.metric = true;
    expect_inches(0, 2, 3, 2 * 2.54, 3 * 2.54);
    expect_inches(0, 6, 4, 0.5, 5); // 0.5 cm wide: not taken
    opts.metric = metric;
}

} // namespace

// Chart graphs: the inventory sample's GRAPH-STYLE definitions drawn by the
// chart control inside their graph windows, checked on the image, refilled
// while a run goes on, printed to the PDF printer and saved as a metafile.
#include "chart/axis.h"
#include "chart/chart.h"
#include "chart/data.h"
#include "chart/mfc/mfc_gdi.h"
#include "chart/plot.h"
#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "graphs/chartgraph.h"
#include "graphs/customgraph.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "graphs/sets/graphset.h"
#include "model/context.h"
#include "model/model.h"
#include "platform/metafile.h"
#include "platform/print.h"
#include "platform/win.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/common/command_output.h"
#include "tests/common/message_log.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/driver.h"
#include "tests/graphs/inventory_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace td = test_driver;

// ------------------------------------------------------------ the rules ---

// A long legend goes into columns, up to three, read down each column; every
// further column takes a smaller text and fewer characters a name.
TEST(ChartGraphRules, EachFurtherLegendColumnTakesASmallerText) {
    const chart_legend_layout one = chart_legend_columns(6), two = chart_legend_columns(12),
                              three = chart_legend_columns(13), many = chart_legend_columns(40);
    EXPECT_EQ(one.columns, 1);
    EXPECT_EQ(one.rows, 6);
    EXPECT_EQ(two.columns, 2);
    EXPECT_EQ(two.rows, 6);
    EXPECT_EQ(three.columns, 3);
    EXPECT_EQ(three.rows, 5);
    EXPECT_EQ(many.columns, 3);
    EXPECT_EQ(many.rows, 14);
    EXPECT_GT(one.points, two.points);
    EXPECT_GT(two.points, three.points);
    EXPECT_EQ(many.points, three.points);
    EXPECT_GT(two.max_chars, three.max_chars);
    EXPECT_GT(three.max_chars, 0);
    EXPECT_EQ(chart_legend_columns(0).rows, 1);
}

TEST(ChartGraphRules, StyleAndDotsPickTypeAndDimension) {
    struct row {
        int style, dots, type, dimension;
    } rows[] = {{1, 0, 4, 1}, {1, 1, 6, 1}, {2, 0, 4, 2}, {2, 1, 6, 2},
                {3, 1, 7, 2}, {4, 0, 1, 2}, {9, 0, 4, 1}};
    for (const row& r : rows) {
        const chart_kind k = chart_kind_for(r.style, r.dots);
        EXPECT_EQ(k.type, r.type) << "style " << r.style << " dots " << r.dots;
        EXPECT_EQ(k.dimension, r.dimension) << "style " << r.style;
    }
}

// Legend spacing follows the dimension the chart was made in: styles 2 to 4
// are all 3D (the old rule gave only style 1 the 2D spacing).
TEST(ChartGraphRules, LegendSpacingByDimension) {
    EXPECT_DOUBLE_EQ(chart_legend_y(1, 0), -130.0);
    EXPECT_DOUBLE_EQ(chart_legend_y(1, 2), -152.0);
    EXPECT_DOUBLE_EQ(chart_legend_y(2, 0), -175.0);
    EXPECT_DOUBLE_EQ(chart_legend_y(2, 2), -215.0);
    for (int style : {2, 3, 4})
        EXPECT_DOUBLE_EQ(chart_legend_y(chart_kind_for(style, 0).dimension, 1), -195.0);
}

TEST(ChartGraphRules, YTitleListsGroupsInThreeColumns) {
    int widest = -1;
    EXPECT_EQ(chart_y_title({chart_group{0, 10, "widgets"}}, &widest), "");
    EXPECT_EQ(widest, 0);
    const std::vector<chart_group> two = {{0, 10, "widgets"}, {100, 300, ""}};
    const std::string t = chart_y_title(two, &widest);
    EXPECT_EQ(t, "\t0 widgets\n100\t5 widgets\n200\t10 widgets\n300");
    EXPECT_EQ(widest, 10); // "10 widgets"
}

// The y numbers get the room they need left of the axis, whatever the
// window's width: not half the window for a short scale.
TEST(ChartGraphRules, LeftMarginFitsTheYNumbers) {
    EXPECT_DOUBLE_EQ(chart_left_margin(0, 600, 400), 10.0);
    const double short_numbers = chart_left_margin(11, 600, 400);
    EXPECT_GT(short_numbers, 10.0);
    EXPECT_LT(short_numbers, 25.0);
    // Wider windows need a smaller share; very long units stop at half.
    EXPECT_LT(chart_left_margin(11, 1200, 400), short_numbers);
    EXPECT_DOUBLE_EQ(chart_left_margin(200, 600, 400), 50.0);
}

// ------------------------------------------------------- in the program ---

namespace {

using test_driver::count_colour;

int count_dark(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 60) ++n;
    return n;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

class ChartGraphs : public InventoryWorkbenchTest {
protected:
    void more_setup() override {
        install_chart_graph_hooks();
        ASSERT_EQ(init_mfc_app(), 1);
    }
    void more_teardown() override {
        exit_mfc_app();
        chart_app = chart_app_hooks{};
    }
    graph_def& def(const char* name) {
        for (graph_def& d : set()->defs)
            if (d.name == name) return d;
        ADD_FAILURE() << name;
        return set()->defs[0];
    }
    handle run_tool(const char* name) {
        EXPECT_EQ(run_user_tool(name, -1, 0), 1);
        td::run_until_idle();
        return def(name).window;
    }
    static QImage shot(HWND w, const char* name) {
        QWidget* widget = win_widget(w);
        EXPECT_NE(widget, nullptr);
        if (!widget) return {};
        const QImage img = widget->grab().toImage();
        // KAVREL_SHOT_DIR keeps the pictures for a look after the run.
        const char* keep = std::getenv("KAVREL_SHOT_DIR");
        const std::string png = (keep ? std::string(keep) : ::testing::TempDir()) + name;
        img.save(QString::fromStdString(png), "PNG");
        std::printf("screenshot: %s\n", png.c_str());
        return img;
    }
};

// Style 1 makes a 2D line chart over the graph window: each point of the
// laid-out series back as a value, the legend in the series' colour, and the
// picture shows the line in that colour, axes and texts.
TEST_F(ChartGraphs, Style1DrawsA2DLineChartInItsWindow) {
    simulate("base");
    const handle h = run_tool("Style_1");
    ASSERT_NE(h, 0u);
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    auto* o = static_cast<output_record*>(lock_handle(h));
    EXPECT_EQ(o->chart, c);
    unlock_handle(h);
    EXPECT_EQ(c->GetChart()->GetPlot()->GetChartType(), 4);
    EXPECT_EQ(c->GetChart()->GetPlot()->GetDimension(), 1);
    const line_graph* g = graph_of(h);
    ASSERT_EQ(g->series.size(), 1u);
    CChartSeries* s = c->GetData()->GetDataSet(1);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->GetCount(), static_cast<int>(g->series[0].xs.size()));
    // The first point mapped back: x at the range's start, y the run's value.
    EXPECT_NEAR(s->GetPoint(1)->GetX(), g->x_min + g->series[0].xs[0] * (g->x_max - g->x_min) / 1e4,
                1e-9);
    // Its y is the value read (the chart's y axis runs up, the layout's down).
    EXPECT_NEAR(s->GetPoint(1)->GetY(), g->series[0].values[0], (g->y_max - g->y_min) * 2e-4);
    EXPECT_NEAR(s->GetPoint(s->GetCount())->GetY(), g->series[0].values.back(),
                (g->y_max - g->y_min) * 2e-4);
    EXPECT_GE(s->YMin(), g->y_min - 1e-6);
    EXPECT_LE(s->YMax(), g->y_max + 1e-6);
    EXPECT_EQ(c->GetData()->GetLegendCount(), 1);
    EXPECT_EQ(s->GetStyle()->GetFillColor(), CChartColor::FromRef(colour_table[0]));

    // The chart covers the graph window and shows the line in its colour.
    const HWND w = outwin_window(h);
    RECT gc{}, cc{};
    GetClientRect(w, &gc);
    GetClientRect(c->m_hWnd, &cc);
    EXPECT_EQ(cc.right, gc.right);
    EXPECT_EQ(cc.bottom, gc.bottom);
    const QImage img = shot(c->m_hWnd, "/kavrel_chart_style1.png");
    EXPECT_GT(count_colour(img, colour_table[0]), 40);
    EXPECT_GT(count_dark(img), 200); // axes, ticks, numbers, title

    // Resizing the graph window re-fits the chart.
    MoveWindow(GetParent(w) ? GetParent(w) : w, 0, 0, 700, 560, TRUE);
    SetWindowPos(w, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
    td::run_until_idle();
    GetClientRect(w, &gc);
    GetClientRect(c->m_hWnd, &cc);
    EXPECT_EQ(cc.right, gc.right);
    EXPECT_EQ(cc.bottom, gc.bottom);

    // Closing the window releases the chart.
    SendMessage(w, WM_COMMAND, cmd_close_output, 0);
    td::run_until_idle();
    EXPECT_EQ(chart_of(h), nullptr);
}

// Two scale groups: each series is given as its place on its own scale
// (0 to 10000), the y title lists both groups' ranges with their units and
// each legend names its own group's units.
TEST_F(ChartGraphs, TwoScaleGroupsTakeTheThreeLabelTitle) {
    simulate("base");
    graph_def d = def("Style_1");
    d.name = "Two";
    graph_var v = d.vars[0];
    v.name = "Workforce";
    v.scale_group = 1;
    d.vars.push_back(v);
    add_graph_def(*set(), d);
    const handle h = run_tool("Two");
    ASSERT_NE(h, 0u);
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    const line_graph* g = graph_of(h);
    ASSERT_EQ(group_count(*g), 2);
    CChartSeries* s = c->GetData()->GetDataSet(2);
    ASSERT_NE(s, nullptr);
    EXPECT_GE(s->YMin(), -1e-6);
    EXPECT_LE(s->YMax(), 10000 + 1e-6);
    EXPECT_GT(s->YMax() - s->YMin(), 2000); // spread over its own scale
    CChartTextStyle* t = c->GetTitleTextStyle(4);
    ASSERT_NE(t, nullptr);
    const std::string title = t->GetText();
    EXPECT_NE(title.find("widgets"), std::string::npos) << title;
    EXPECT_NE(title.find("people"), std::string::npos) << title;
}

TEST_F(ChartGraphs, Style3IsA3DRibbonChartWithThe3DLegendRule) {
    simulate("base");
    const handle h = run_tool("Style_3");
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetChart()->GetPlot()->GetChartType(), 7);
    EXPECT_EQ(c->GetChart()->GetPlot()->GetDimension(), 2);
    const QImage img = shot(c->m_hWnd, "/kavrel_chart_style3.png");
    EXPECT_GT(count_dark(img), 100);
}

// The x numbers of a chart run into each other when many are laid along a
// small window: such an axis gives them two rows; a few, or a wide window,
// keep one.
TEST(ChartGraphRules, CrowdedXNumbersTakeTwoRows) {
    line_graph g;
    g.x_min = 0;
    g.x_max = 100;
    g.x_divisions = 20;
    EXPECT_TRUE(chart_x_labels_crowd(g, 1, 10, 400, 300));
    EXPECT_FALSE(chart_x_labels_crowd(g, 1, 10, 2400, 300));
    g.x_divisions = 4;
    EXPECT_FALSE(chart_x_labels_crowd(g, 1, 10, 400, 300));
    // The 3D x axis is shorter on the screen: it crowds sooner.
    g.x_divisions = 10;
    g.x_max = 1000;
    int w2 = 0, w3 = 0;
    for (int w = 100; w < 4000 && !(w2 && w3); w += 20) {
        if (!w2 && !chart_x_labels_crowd(g, 1, 10, w, 300)) w2 = w;
        if (!w3 && !chart_x_labels_crowd(g, 2, 10, w, 300)) w3 = w;
    }
    EXPECT_GT(w2, 0);
    EXPECT_GT(w3, w2);
    // Nothing to lay out: never crowded.
    g.x_divisions = 0;
    EXPECT_FALSE(chart_x_labels_crowd(g, 1, 10, 50, 50));
    g.x_divisions = 10;
    EXPECT_FALSE(chart_x_labels_crowd(g, 1, 10, 0, 300));
}

// A chart-style graph widens a set y range by its data, like SOFT-BOUNDS:
// Inventory (about 160 to 500) with Y-MAX 100 still fits on the chart.
TEST_F(ChartGraphs, SetBoundsWidenToTheData) {
    simulate("base");
    def("Style_1").vars[0].y_max = 100;
    const handle h = run_tool("Style_1");
    const line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->soft_bounds);
    EXPECT_GE(g->y_max, 400);
}

TEST_F(ChartGraphs, CrowdedXNumbersAlternateRowsInTheChart) {
    simulate("base");
    def("Style_1").x_div = 50;
    def("Style_1").width = 420;
    def("Style_1").height = 320;
    handle h = run_tool("Style_1");
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    // The x axis takes its text style (with the switch) when it is built.
    CChartAxis* x = c->GetChart()->GetAxis(2);
    ASSERT_NE(x, nullptr);
    EXPECT_TRUE(c->GetTitleTextStyle(2)->IsAlternating());
    EXPECT_TRUE(x->GetTextStyle()->IsAlternating());
    const QImage img = shot(c->m_hWnd, "/kavrel_chart_crowded.png");
    EXPECT_GT(count_dark(img), 200);
    close_framed_tool_windows(1);
    td::run_until_idle();
    def("Style_1").window = 0;
    def("Style_1").x_div = 4;
    h = run_tool("Style_1");
    c = chart_of(h);
    ASSERT_NE(c, nullptr);
    EXPECT_FALSE(c->GetTitleTextStyle(2)->IsAlternating());
    EXPECT_EQ(c->GetTitleTextStyle(2)->GetVAnchor(), 2);
}

// The labels an axis draws (as the chart lays them out on the window's
// device): text and rectangle, and the screen y of the axis's line.
struct laid_label {
    std::string text;
    RECT r;
};
std::vector<laid_label> laid_labels(CChartCtrl* c, CChartAxis* a, int* line_y = nullptr) {
    std::vector<laid_label> out;
    HDC hdc = GetDC(c->m_hWnd);
    CDC cdc;
    cdc.Attach(hdc);
    CChartDC dc(&cdc);
    const std::vector<char> drawn = a->LayoutLabels(&dc);
    for (int i = 1; i <= a->GetTickCountUsed(); ++i) {
        RECT r{};
        if (a->GetTick(i)->LabelRect(&dc, &r) && drawn[static_cast<std::size_t>(i)])
            out.push_back({a->GetTick(i)->GetLabel(), r});
        if (line_y && i == 1) *line_y = a->GetTick(i)->GetStart()->GetScreenPoint().y;
    }
    cdc.Detach();
    ReleaseDC(c->m_hWnd, hdc);
    return out;
}

bool meet(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Where the axes meet, both number their ends: the time axis shows its 0 at
// the left edge beside the lowest value number (20 people), in 2D and in 3D,
// none of them running into another; crowded time numbers take two rows
// below the axis, not one inside the plot.
TEST_F(ChartGraphs, BothAxesNumberTheCornerWhereTheyMeet) {
    simulate("base");
    for (int style : {1, 3}) {
        SCOPED_TRACE(style);
        close_framed_tool_windows(1);
        td::run_until_idle();
        def("Style_1").window = 0;
        def("Style_1").graph_style = static_cast<std::uint8_t>(style);
        def("Style_1").vars[0].name = "Workforce";
        def("Style_1").x_div = 4;
        const handle h = run_tool("Style_1");
        CChartCtrl* c = chart_of(h);
        ASSERT_NE(c, nullptr);
        shot(c->m_hWnd, style == 1 ? "/kavrel_corner2d.png" : "/kavrel_corner3d.png");
        const std::vector<laid_label> xs = laid_labels(c, c->GetChart()->GetAxis(2));
        const std::vector<laid_label> ys = laid_labels(c, c->GetChart()->GetPlot()->GetAxis(3));
        ASSERT_FALSE(xs.empty());
        ASSERT_FALSE(ys.empty());
        const auto x0 =
            std::find_if(xs.begin(), xs.end(), [](const laid_label& l) { return l.text == "0"; });
        const auto y0 =
            std::find_if(ys.begin(), ys.end(), [](const laid_label& l) { return l.text == "20"; });
        ASSERT_NE(x0, xs.end());
        ASSERT_NE(y0, ys.end());
        for (const laid_label& x : xs)
            for (const laid_label& y : ys) EXPECT_FALSE(meet(x.r, y.r)) << x.text << " " << y.text;
    }
    close_framed_tool_windows(1);
    td::run_until_idle();
    def("Style_1").window = 0;
    def("Style_1").graph_style = 1;
    def("Style_1").vars[0].name = "Inventory";
    def("Style_1").x_div = 50;
    def("Style_1").width = 420;
    def("Style_1").height = 320;
    const handle h = run_tool("Style_1");
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    int line = 0;
    const std::vector<laid_label> xs = laid_labels(c, c->GetChart()->GetAxis(2), &line);
    ASSERT_GT(xs.size(), 4u);
    for (const laid_label& x : xs) EXPECT_GE(x.r.top, line) << x.text;
}

// Sixteen series on a chart: the legend goes into three columns of six
// lines, and the plot keeps at least half the window's height.
TEST_F(ChartGraphs, SixteenLegendLinesLeaveThePlotHalfTheWindow) {
    simulate("base");
    graph_def d = def("Style_1");
    d.name = "Sixteen";
    const graph_var v = d.vars[0];
    d.vars.clear();
    for (int i = 0; i < 16; ++i) {
        graph_var w = v;
        w.label = "Inventory of store " + std::to_string(i + 1);
        d.vars.push_back(w);
    }
    // Three columns hold 28 characters a line, the units included: one of
    // exactly that many is kept whole, a longer one is cut with dots.
    d.vars[0].label = "Stock of the first"; // and " (widgets)"
    d.vars[1].label = "Stock of the second";
    add_graph_def(*set(), d);
    const handle h = run_tool("Sixteen");
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    const QImage img = shot(c->m_hWnd, "/kavrel_chart_sixteen.png");
    ASSERT_EQ(c->GetData()->GetLegendCount(), 16);
    std::set<double> xs;
    for (int i = 1; i <= 16; ++i) xs.insert(c->GetData()->GetLegend(i)->GetPoint(1)->GetX());
    EXPECT_EQ(xs.size(), 3u);
    EXPECT_STREQ(c->GetData()->GetLegend(1)->GetName(), "Stock of the first (widgets)");
    EXPECT_STREQ(c->GetData()->GetLegend(2)->GetName(), "Stock of the second (widg...");
    EXPECT_STREQ(c->GetData()->GetLegend(16)->GetName(), "Inventory of store 16 (wi...");
    // Each legend line in its own series' colour, the table's twelve over again.
    for (int i = 1; i <= 16; ++i)
        EXPECT_EQ(c->GetLegendTextStyle(i)->GetTextColor(),
                  CChartColor::FromRef(colour_table[(i - 1) % 12]))
            << i;
    // The plot's grey from its top to its bottom down the middle.
    const QRgb want = qRgb(GetRValue(graph_background), GetGValue(graph_background),
                           GetBValue(graph_background)) &
                      0xFFFFFF;
    int first = -1, last = -1;
    for (int y = 0; y < img.height(); ++y)
        if ((img.pixel(img.width() / 2 + 7, y) & 0xFFFFFF) == want) {
            if (first < 0) first = y;
            last = y;
        }
    ASSERT_GE(first, 0);
    EXPECT_GE(last - first, img.height() / 2) << first << " " << last;
    // Six lines or fewer stay in one column, as the chart has always had them.
    EXPECT_EQ(chart_legend_columns(6).columns, 1);
    EXPECT_EQ(chart_legend_columns(7).columns, 2);
}

// Without the application object a styled definition is an ordinary line
// graph: no chart, the graph draws itself.
TEST_F(ChartGraphs, WithoutTheApplicationObjectTheGraphStaysPlain) {
    exit_mfc_app();
    simulate("base");
    const handle h = run_tool("Style_1");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(chart_of(h), nullptr);
    auto* o = static_cast<output_record*>(lock_handle(h));
    EXPECT_EQ(o->chart, nullptr);
    unlock_handle(h);
    EXPECT_EQ(build_chart_graph(h, 1), 0);
}

// A WIP definition with a graph style is refilled at every save of the run.
TEST_F(ChartGraphs, AWipChartIsRefilledWhileTheRunGoesOn) {
    float_opts |= fo_wip_graph;
    set()->defs[0].graph_style = 1;
    simulate("first");
    const handle h = set()->defs[0].window;
    ASSERT_NE(h, 0u);
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    const line_graph* g = graph_of(h);
    ASSERT_EQ(g->series.size(), 2u);
    CChartSeries* s = c->GetData()->GetDataSet(1);
    ASSERT_NE(s, nullptr);
    // Every point the run saved is in the chart, not only those of the start.
    EXPECT_EQ(s->GetCount(), static_cast<int>(g->series[0].xs.size()));
    EXPECT_GT(s->GetCount(), 100);
    // The refill kept the legend.
    EXPECT_EQ(c->GetData()->GetLegendCount(), 2);
}

// Printing goes through the chart: the PDF holds the title, the legend text
// and axis numbers.
TEST_F(ChartGraphs, PrintsToThePdfPrinterThroughTheChart) {
    simulate("base");
    const handle h = run_tool("Style_1");
    ASSERT_NE(chart_of(h), nullptr);
    const std::string pdf = testing::TempDir() + "/kavrel_chart_print.pdf";
    const std::string text = printed_pdf_text(
        pdf, [&] { SendMessage(outwin_window(h), WM_COMMAND, cmd_print_output, 0); });
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_NE(text.find("Style_1"), std::string::npos) << text;
    EXPECT_NE(text.find("Inventory : base"), std::string::npos) << text; // the legend
    EXPECT_NE(text.find("500"), std::string::npos) << text;              // a y axis number
}

// A metafile export is drawn by the chart at the export size (not at the
// window's), read back by the platform and converted by wmf2svg; a .gtx
// export says it stays empty.
TEST_F(ChartGraphs, ExportsAreDrawnAtTheirSizeAndGtxSaysItIsEmpty) {
    simulate("base");
    const handle h = run_tool("Style_1");
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    const std::string dir = testing::TempDir();
    const std::string wmf = dir + "/kavrel_chart.wmf";
    ASSERT_EQ(save_graph_window(h, wmf.c_str()), 1);
    const std::string bytes = read_text(wmf);
    ASSERT_GT(bytes.size(), 200u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD7);
    std::string error;
    EXPECT_TRUE(gdi::validate_wmf(reinterpret_cast<const BYTE*>(bytes.data()) + 22,
                                  bytes.size() - 22, error))
        << error;
    const std::string svg = wmf + ".svg";
    ASSERT_EQ(std::system(("wmf2svg -o '" + svg + "' '" + wmf + "' 2>/dev/null").c_str()), 0);
    EXPECT_NE(read_text(svg).find("Inventory"), std::string::npos);

    // Twice the window's size: the chart lays out over the whole picture, so
    // it draws beyond the window's width.
    RECT cc{};
    GetClientRect(c->m_hWnd, &cc);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, cc.right * 2, cc.bottom * 2);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bm);
    PatBlt(mem, 0, 0, cc.right * 2, cc.bottom * 2, WHITENESS);
    out_size = SIZE{cc.right * 2, cc.bottom * 2};
    drawing.gtx_mode = 1;
    {
        draw_pass pass(mem, mem);
        ASSERT_TRUE(pass.ok());
        EXPECT_EQ(draw_chart_graph(h), 1);
    }
    drawing.gtx_mode = 0;
    out_size = SIZE{0, 0};
    int right_most = -1;
    for (int y = 0; y < cc.bottom * 2; y += 2)
        for (int x = cc.right * 2 - 1; x > right_most; --x)
            if ((GetPixel(mem, x, y) & 0xFFFFFF) == (colour_table[0] & 0xFFFFFF)) {
                right_most = x;
                break;
            }
    EXPECT_GT(right_most, cc.right * 3 / 2);
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    // The window's own size is back.
    RECT after{};
    GetClientRect(c->m_hWnd, &after);
    EXPECT_EQ(after.right, cc.right);

    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    const std::string gtx = dir + "/kavrel_chart.gtx";
    save_graph_window(h, gtx.c_str());
    EXPECT_TRUE(message_log::said(
        "A chart graph cannot be written as graphics transfer text: the file is empty. Save it "
        "as a metafile."));
    set_message_hook(nullptr);
}

// Two variables of different units on a chart of each dimension: each
// scale group's numbers stand by the vertical axis, the title names each
// group's bottom, middle and top, the plot spans the window, and the 3D
// ribbons show their colours.
// An odd number of y divisions given: one scale keeps it; two scales double
// it, so the middle of the axis, where the second scale's middle number
// stands, has a tick.
TEST_F(ChartGraphs, OddYDivisionsDoubleOnlyForTwoScales) {
    simulate("base");
    for (int groups : {1, 2}) {
        graph_def d = def("Style_1");
        d.name = groups == 1 ? "OddOne" : "OddTwo";
        d.y_div = 5;
        if (groups == 2) {
            graph_var v = d.vars[0];
            v.name = "Workforce";
            v.scale_group = 1;
            d.vars.push_back(v);
        }
        add_graph_def(*set(), d);
        const handle h = run_tool(d.name.c_str());
        ASSERT_NE(h, 0u);
        CChartCtrl* c = chart_of(h);
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(group_count(*graph_of(h)), groups);
        CChartAxis* y = c->GetChart()->GetPlot()->GetAxis(3);
        ASSERT_NE(y, nullptr);
        // Ticks at both ends of every division: 5 divisions have 6, 10 have 11.
        EXPECT_EQ(y->GetTickCountUsed(), groups == 1 ? 6 : 11) << groups;
    }
}

TEST_F(ChartGraphs, TwoScaleGroupsAreReadableInBothDimensions) {
    simulate("base");
    for (int style : {1, 3}) {
        graph_def d = def("Style_1");
        d.name = style == 1 ? "Two2D" : "Two3D";
        d.graph_style = static_cast<std::uint8_t>(style);
        graph_var v = d.vars[0];
        v.name = "Workforce";
        v.scale_group = 1;
        d.vars.push_back(v);
        add_graph_def(*set(), d);
        const handle h = run_tool(d.name.c_str());
        ASSERT_NE(h, 0u);
        CChartCtrl* c = chart_of(h);
        ASSERT_NE(c, nullptr);
        const QImage img = shot(c->m_hWnd, style == 1 ? "/kavrel_two2d.png" : "/kavrel_two3d.png");
        // The plot starts in the left quarter, not the middle.
        RECT area{};
        GetClientRect(c->m_hWnd, &area);
        const CChartRect& view = c->GetChart()->GetPlot()->GetView()->GetViewRect();
        EXPECT_LT(view.left, area.right / 4) << style;
        EXPECT_GT(view.left, area.right / 20) << style;
        // Bottom, middle and top of both scales stand by the axis, all drawn.
        HDC hdc = GetDC(c->m_hWnd);
        CDC cdc;
        cdc.Attach(hdc);
        CChartDC dc(&cdc);
        CChartAxis* y = c->GetChart()->GetPlot()->GetAxis(3);
        const std::vector<char> drawn = y->LayoutLabels(&dc);
        std::vector<std::string> labels;
        for (int i = 1; i <= y->GetTickCountUsed(); ++i) {
            RECT r{};
            if (y->GetTick(i)->LabelRect(&dc, &r) && drawn[static_cast<std::size_t>(i)])
                labels.push_back(y->GetTick(i)->GetLabel());
        }
        cdc.Detach();
        ReleaseDC(c->m_hWnd, hdc);
        ASSERT_EQ(labels.size(), 3u) << style;
        EXPECT_EQ(labels[0].rfind("0 widgets\n", 0), 0u) << labels[0];
        EXPECT_NE(labels[1].find("people"), std::string::npos) << labels[1];
        EXPECT_NE(labels[2].find("widgets"), std::string::npos) << labels[2];
        // The ribbons show their colours, not their edges.
        if (style == 3) {
            EXPECT_GT(count_colour(img, colour_table[0]), 3000);
            EXPECT_GT(count_colour(img, colour_table[1]), 3000);
        }
    }
}

// The chart's texts take the graph fonts: the title's bold upright face, the
// axes' plain one, both in the face the options give tool output. The title
// has a line of its own above the plot: its dark text lies between the
// window's top and the plot's grey, clear of both.
TEST_F(ChartGraphs, TitleKeepsItsBoldFaceAndALineAboveThePlot) {
    simulate("base");
    const handle h = run_tool("Style_1");
    ASSERT_NE(h, 0u);
    CChartCtrl* c = chart_of(h);
    ASSERT_NE(c, nullptr);
    CChartTextStyle* title = c->GetAxisTitleTextStyle(1);
    CChartTextStyle* y_title = c->GetTitleTextStyle(4);
    ASSERT_NE(title, nullptr);
    ASSERT_NE(y_title, nullptr);
    EXPECT_EQ(title->GetLogFont().lfWeight, 700);
    EXPECT_EQ(title->GetLogFont().lfItalic, 0);
    EXPECT_EQ(title->GetLogFont().lfUnderline, 0);
    EXPECT_EQ(y_title->GetLogFont().lfWeight, 400);
    EXPECT_EQ(y_title->GetLogFont().lfItalic, 0);
    // 12 points against 10, as the chart scales them to the window.
    EXPECT_GT(title->GetLogFont().lfHeight, y_title->GetLogFont().lfHeight);
    EXPECT_STREQ(title->GetLogFont().lfFaceName, opts.tool_face);
    EXPECT_STREQ(y_title->GetLogFont().lfFaceName, opts.tool_face);

    const QImage img = shot(c->m_hWnd, "/kavrel_chart_title.png");
    ASSERT_FALSE(img.isNull());
    const QRgb grey = qRgb(192, 192, 192) & 0xFFFFFF; // the plot's fill
    const int mid = img.width() / 2 + 7;
    int plot_top = -1;
    for (int y = 0; y < img.height() && plot_top < 0; ++y)
        if ((img.pixel(mid, y) & 0xFFFFFF) == grey) plot_top = y;
    ASSERT_GT(plot_top, 0);
    // Rows above the plot's frame holding dark pixels in the middle third
    // (clear of the y numbers): the title's line.
    int first = -1, last = -1;
    for (int y = 0; y < plot_top - 2; ++y)
        for (int x = img.width() / 3; x < 2 * img.width() / 3; ++x)
            if (qGray(img.pixel(x, y)) < 60) {
                if (first < 0) first = y;
                last = y;
                break;
            }
    ASSERT_GE(first, 0) << "no title above the plot at " << plot_top;
    EXPECT_GT(first, 0);            // not cut at the window's top
    EXPECT_LT(last, plot_top - 6);  // a gap before the plot
    EXPECT_GE(last - first + 1, 6); // a whole line of 12-point text
    // The title's line is at least a tenth of the window down from the top.
    EXPECT_GE(plot_top, img.height() / 10) << plot_top << " of " << img.height();
}

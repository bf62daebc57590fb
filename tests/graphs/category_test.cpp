// The category graph: places and divisions of categories and bins, the
// window it opens (dots, names under the x axis, legend), and specs that
// cannot be drawn. Also a graph of given series over a time base, whose
// Shift-drag sets the shown times back in model time.
#include "draw/drawing.h"
#include "draw/prims.h"
#include "graphs/category.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "shell/palette.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"
#include "tests/graphs/graph_windows_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/model_builder.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>
#include <fstream>
#include <sstream>

namespace {

namespace td = test_driver;

category_graph_spec named(std::vector<std::string> names) {
    category_graph_spec s;
    s.categories = std::move(names);
    return s;
}

TEST(CategoryPlaces, CategoriesAndBinsSpreadOverTheSquareWithRoundDivisions) {
    // Five categories (and the x title): 1 to 5, a division per category.
    category_graph_spec five = named({"a", "b", "c", "d", "e", "Kind"});
    EXPECT_EQ(category_x_position(five, 0), 0);
    EXPECT_EQ(category_x_position(five, 1), 2500);
    EXPECT_EQ(category_x_position(five, 4), 10000);
    EXPECT_EQ(category_divisions(five), 4);
    // One category: no span to divide by; it sits at the left end.
    category_graph_spec one = named({"only", "Kind"});
    EXPECT_EQ(category_x_position(one, 0), 0);
    EXPECT_EQ(category_divisions(one), 1);
    // Fifty: 49 units cut to at most 20 divisions that divide them.
    std::vector<std::string> many(51, "n");
    EXPECT_EQ(category_divisions(named(many)), 7);
    // Bins: places from the lowest bound; 40 units give 20 divisions.
    category_graph_spec bins = named({"low", "mid", "high"});
    bins.bounds = {0, 10, 20, 40};
    EXPECT_EQ(category_x_position(bins, 1), 2500);
    EXPECT_EQ(category_x_position(bins, 2), 5000);
    EXPECT_EQ(category_divisions(bins), 20);
    // Equal bounds: a span of 1, never a division by zero.
    bins.bounds = {3, 3};
    bins.categories = {"all"};
    EXPECT_EQ(category_x_position(bins, 0), 0);
    EXPECT_EQ(category_divisions(bins), 1);
}

class CategoryGraph : public GraphWindowsTest {};

TEST_F(CategoryGraph, DotsSitOverTheirCategoriesWhoseNamesLabelTheAxis) {
    category_graph_spec s = named({"Low", "Mid", "High", "Level"});
    s.title = "Levels";
    s.variable = "Population";
    s.units = "people";
    s.y_min = 0;
    s.y_max = 100;
    s.series = {"base", "slow"};
    s.positions = {{2000, 5000, 8000}, {0, 6000, 9000}}; // slow has no Low
    handle rec = build_category_graph(s);
    ASSERT_NE(rec, 0u);
    HWND w = outwin_window(rec);
    ASSERT_NE(w, nullptr);
    td::run_until_idle();
    line_graph* g = graph_of(rec);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->graph_mode, 4);
    EXPECT_EQ(g->line_kind, 1);
    EXPECT_EQ(g->x_title, "Level");
    EXPECT_EQ(g->x_divisions, 2);
    EXPECT_EQ(g->x_labels, (std::vector<std::string>{"Low", "Mid", "High"}));
    ASSERT_EQ(g->series.size(), 2u);
    EXPECT_EQ(g->series[0].label, "Population : base");
    EXPECT_EQ(g->series[0].ys, (std::vector<std::int16_t>{8000, 5000, 2000}));
    EXPECT_EQ(g->series[1].ys[0], -1); // no value: outside the plot

    // The names are drawn under the axis and the legend names the series.
    const std::string gtx = dir + "/cat.gtx";
    ASSERT_EQ(save_graph_window(rec, gtx.c_str()), 1);
    std::ifstream in(gtx);
    std::stringstream text;
    text << in.rdbuf();
    for (const char* want :
         {"\nLow\n", "\nMid\n", "\nHigh\n", "\nLevel\n", "\nPopulation : slow\n"})
        EXPECT_NE(text.str().find(want), std::string::npos) << want;
    // Dots of the first colour in the window.
    const QImage img = td::image(w);
    const COLORREF c = colour_table[0];
    const QRgb want = qRgb(GetRValue(c), GetGValue(c), GetBValue(c)) & 0xFFFFFF;
    int dots = 0;
    for (int y = 0; y < img.height() / 2; ++y)
        for (int x = 0; x < img.width(); ++x) dots += (img.pixel(x, y) & 0xFFFFFF) == want;
    EXPECT_GT(dots, 3);

    // Named categories have no x scale to read values from: a Shift-drag
    // along the axis leaves the model's shown times alone (it used to take
    // category numbers as times).
    value_map vm{};
    ASSERT_TRUE(record_value_map(rec, &vm));
    EXPECT_EQ(vm.x_p0, vm.x_p1);
    const double start = model_rec ? model_rec->start : 0, end = model_rec ? model_rec->end : 0;
    RECT cr{};
    GetClientRect(w, &cr);
    td::drag(w, POINT{cr.right / 4, vm.y_p1 - 5}, POINT{3 * cr.right / 4, vm.y_p1 - 5}, 4,
             td::Button::left, td::shift);
    td::run_until_idle();
    if (model_rec) {
        EXPECT_EQ(model_rec->start, start);
        EXPECT_EQ(model_rec->end, end);
    }
}

// Bins label each division with the bin holding its place; a division on
// a bound belongs to the bin that starts there. Bounds 0, 10, 20, 40 over 20
// divisions of 2: places 0 to 8 "low", 10 to 18 "mid", 20 to 40 "high".
TEST_F(CategoryGraph, ADivisionOnABoundIsLabelledWithTheBinStartingThere) {
    category_graph_spec s = named({"low", "mid", "high", "Size"});
    s.bounds = {0, 10, 20, 40};
    s.variable = "Size";
    s.y_min = 0;
    s.y_max = 10;
    s.series = {"base"};
    s.positions = {{5000, 5000, 5000}};
    handle rec = build_category_graph(s);
    ASSERT_NE(rec, 0u);
    line_graph* g = graph_of(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->x_divisions, 20);
    ASSERT_EQ(g->x_labels.size(), 21u);
    for (int i = 0; i <= 20; ++i) {
        const char* want = i < 5 ? "low" : i < 10 ? "mid" : "high";
        EXPECT_EQ(g->x_labels[static_cast<std::size_t>(i)], want) << "division " << i;
    }
}

TEST_F(CategoryGraph, SpecsThatCannotBeDrawnAreRefusedWithNoWindowLeft) {
    const std::size_t before = open_windows.size();
    category_graph_spec s = named({"a", "b"});
    s.bounds = {5, 1, 9}; // not ascending
    s.series = {"x"};
    s.positions = {{1, 2}};
    answerer::box("Stop from Kavrel").text("Unable to complete graph").press(IDOK);
    EXPECT_EQ(build_category_graph(s), 0u);
    s.bounds.clear();
    s.series.clear(); // nothing to show
    answerer::box("Stop from Kavrel").text("Unable to complete graph").press(IDOK);
    EXPECT_EQ(build_category_graph(s), 0u);
    EXPECT_EQ(open_windows.size(), before);
    // One bin between equal bounds is drawn, positions too short are cut.
    category_graph_spec one = named({"all"});
    one.bounds = {3, 3};
    one.series = {"x"};
    one.positions = {{}};
    one.y_max = 10;
    handle rec = build_category_graph(one);
    ASSERT_NE(rec, 0u);
    EXPECT_TRUE(graph_of(rec)->series[0].xs.empty());
    EXPECT_EQ(graph_of(rec)->x_max, 4);
    // A line graph given no series is refused the same way.
    const std::size_t open = open_windows.size();
    answerer::box("Stop from Kavrel").text("Unable to complete graph").press(IDOK);
    EXPECT_EQ(show_line_graph(new_line_graph_record()), 0u);
    EXPECT_EQ(open_windows.size(), open);
}

TEST_F(CategoryGraph, AShiftDragOverATimeBaseAxisSetsTheShownTimesInModelTime) {
    // A model whose time axis is Months (12 per unit of time, offset 6).
    model_builder b("months");
    b.control(0, 10, 1, 1);
    b.level("Stock", "1", "0");
    const symbol_id months = b.time_base("Months", "Time * 12 + 6", 12, 6);
    ASSERT_TRUE(b.finish());
    model_pair m = b.release();
    read_model_settings(m.header, m.symbols);
    close_model(m.header, m.symbols, dir.c_str(), (dir + "/months.kmf").c_str());
    ASSERT_NE(model_rec, nullptr);
    model_rec->time_base = months;

    // Given series over months 6 to 126 (model time 0 to 10).
    handle rec = new_line_graph_record();
    line_graph* g = graph_of(rec);
    g->title = g->caption = "Stock";
    g->x_var_name = g->x_title = "Months";
    g->x_min = 6;
    g->x_max = 126;
    graph_series s;
    s.label = "Stock : given";
    for (int i = 0; i <= 10; ++i) {
        s.times.push_back(6.0f + 12.0f * static_cast<float>(i));
        s.values.push_back(static_cast<float>(i));
    }
    g->series.push_back(std::move(s));
    ASSERT_EQ(show_line_graph(rec), rec);
    HWND w = outwin_window(rec);
    ASSERT_NE(w, nullptr);
    td::run_until_idle();
    value_map vm{};
    ASSERT_TRUE(record_value_map(rec, &vm));
    EXPECT_FLOAT_EQ(vm.x_v0, 6);
    EXPECT_FLOAT_EQ(vm.x_v1, 126);
    // From a quarter to three quarters of the axis: months 36 to 96, model
    // time 2.5 to 7.5.
    const int q1 = vm.x_p0 + (vm.x_p1 - vm.x_p0) / 4, q3 = vm.x_p0 + 3 * (vm.x_p1 - vm.x_p0) / 4;
    td::drag(w, POINT{q1, vm.y_p1 - 5}, POINT{q3, vm.y_p1 - 5}, 4, td::Button::left, td::shift);
    td::run_until_idle();
    const double per_pixel = 10.0 / (vm.x_p1 - vm.x_p0);
    EXPECT_NEAR(model_rec->start, 2.5, per_pixel + 0.01);
    EXPECT_NEAR(model_rec->end, 7.5, per_pixel + 0.01);
    close_framed_tool_windows(1);
    close_model(0, 0);
}

} // namespace

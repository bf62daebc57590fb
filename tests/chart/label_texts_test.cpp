// The texts the label layers and ticks show: which title goes with which axis,
// and how much room a label of several lines takes.
#include "chart/axis.h"
#include "chart/data.h"
#include "chart/labels.h"
#include "chart/plots.h"
#include "chart/tick.h"
#include "chart_fixture.h"

#include <string>

namespace {

using charttest::Canvas;

// Title series k goes with the axis the control calls kind k: axes 3 and 4
// take series 4 and 3, axes 5 and 6 series 6 and 5; the others their own.
TEST(ChartAxisTitles, EachAxisShowsTheTitleOfItsKind) {
    CChartData data(nullptr, 3);
    for (int k = 1; k <= 7; ++k) data.GetTitle(k)->SetName(("title " + std::to_string(k)).c_str());
    CChartAxesPlot plot(1, 1);
    CChartAxisTitleLayer layer(&plot);
    layer.PlaceLabels(&data);
    const int title_of_axis[8] = {0, 1, 2, 4, 3, 6, 5, 7};
    for (int axis = 1; axis <= 7; ++axis) {
        ASSERT_NE(plot.GetAxis(axis), nullptr) << axis;
        EXPECT_EQ(std::string(plot.GetAxis(axis)->GetTitleTick()->GetLabel()),
                  "title " + std::to_string(title_of_axis[axis]))
            << "axis " << axis;
    }
}

// A label of several lines is as tall as its lines together and as wide as
// its widest line.
TEST(ChartTickLabel, SeveralLinesTakeTheRoomOfAllTheirLines) {
    Canvas c(300, 200);
    CChartDC dc(&c.cdc);
    const auto rect_of = [&](const char* text) {
        CChartTick t;
        t.SetLabelText(text);
        RECT r{};
        EXPECT_TRUE(t.LabelRect(&dc, &r)) << text;
        return r;
    };
    const RECT one = rect_of("Births"), wide = rect_of("Net migration");
    const RECT two = rect_of("Births\nNet migration"), three = rect_of("Births\nNet migration\nx");
    const int line = one.bottom - one.top;
    ASSERT_GT(line, 0);
    EXPECT_EQ(two.bottom - two.top, 2 * line);
    EXPECT_EQ(three.bottom - three.top, 3 * line);
    EXPECT_EQ(two.right - two.left, wide.right - wide.left);
    EXPECT_EQ(three.right - three.left, wide.right - wide.left);
}

} // namespace

// The chart's drawing context: a label of several lines drawn a line's
// height apart, and the area a chart may fill on each kind of device.
#include "chart/values.h"
#include "chart_fixture.h"

#include <vector>

namespace {

// Starting rows of the bands of rows holding ink in columns [x0, x1).
std::vector<int> ink_bands(const charttest::Canvas& cv, int x0, int x1, int h) {
    std::vector<int> starts;
    bool prev = false;
    for (int y = 0; y < h; ++y) {
        bool any = false;
        for (int x = x0; x < x1 && !any; ++x) any = cv.at(x, y) != RGB(255, 255, 255);
        if (any && !prev) starts.push_back(y);
        prev = any;
    }
    return starts;
}

TEST(ChartDcText, LinesOfALabelStandOneTextHeightApart) {
    charttest::Canvas cv(300, 200);
    CChartDC dc(&cv.cdc);
    dc.SetBkMode(TRANSPARENT);
    SIZE one{};
    ASSERT_TRUE(GetTextExtentPoint32(cv.dc, "HHHHHH", 6, &one));
    ASSERT_GT(one.cx, one.cy + 4) << "a line far wider than high";
    ASSERT_EQ(dc.DrawMultilineText(10, 10, "HHHHHH\nHHHHHH\nHHHHHH"), 1);
    const std::vector<int> bands = ink_bands(cv, 0, 300, 200);
    ASSERT_EQ(bands.size(), 3u);
    EXPECT_EQ(bands[1] - bands[0], one.cy);
    EXPECT_EQ(bands[2] - bands[1], one.cy);
    // One line: drawn once, where asked.
    charttest::Canvas single(300, 200);
    CChartDC sdc(&single.cdc);
    sdc.SetBkMode(TRANSPARENT);
    ASSERT_NE(sdc.DrawMultilineText(10, 10, "HHHHHH"), 0);
    const std::vector<int> one_band = ink_bands(single, 0, 300, 200);
    ASSERT_EQ(one_band.size(), 1u);
    EXPECT_EQ(one_band[0], bands[0]);
}

TEST(ChartDcText, TheDrawAreaIsTheBitmapOrElseTheDevice) {
    {
        charttest::Canvas cv(321, 123);
        CChartDC dc(&cv.cdc);
        CChartRect r;
        dc.GetDrawArea(r);
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right, 321);
        EXPECT_EQ(r.bottom, 123);
    }
    // A memory context holding only its one-pixel stock bitmap has no
    // picture of its own: the device's size.
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(mem, nullptr);
    {
        CDC cdc;
        cdc.Attach(mem);
        CChartDC dc(&cdc);
        CChartRect r;
        dc.GetDrawArea(r);
        EXPECT_EQ(r.right, GetDeviceCaps(mem, HORZRES));
        EXPECT_EQ(r.bottom, GetDeviceCaps(mem, VERTRES));
        EXPECT_GT(r.right, 1);
        cdc.Detach();
    }
    DeleteDC(mem);
}

} // namespace

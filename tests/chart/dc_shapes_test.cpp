// The chart's device context draws closed shapes on all their sides, and a
// text style keeps the underline or strike-out its font was given when the
// font is made again for the device.
#include "chart/values.h"
#include "chart_fixture.h"

using charttest::Canvas;

namespace {

constexpr COLORREF red = RGB(255, 0, 0);

// A frame is closed: the pen runs along all four sides, the inside untouched.
TEST(ChartDCShapes, AFrameHasAllFourSides) {
    Canvas c(30, 30);
    CChartDC dc(&c.cdc);
    dc.PushNewPen(CChartColor(255, 0, 0));
    dc.DrawFrame(CChartRect(4, 5, 20, 24));
    delete dc.PopPen();
    EXPECT_EQ(c.at(12, 5), red);  // top
    EXPECT_EQ(c.at(20, 14), red); // right
    EXPECT_EQ(c.at(12, 24), red); // bottom
    EXPECT_EQ(c.at(4, 14), red);  // left
    EXPECT_EQ(c.at(12, 14), RGB(255, 255, 255));
    EXPECT_EQ(c.at(2, 14), RGB(255, 255, 255));
}

// Rectangles and polygons are outlined by the pen on every side and filled
// by the brush.
TEST(ChartDCShapes, RectanglesAndPolygonsAreOutlinedAndFilled) {
    Canvas c(40, 40);
    CChartDC dc(&c.cdc);
    dc.PushNewPen(CChartColor(255, 0, 0));
    dc.PushNewBrush(CChartColor(0, 0, 255));
    dc.DrawRectangle(CChartRect(2, 2, 18, 18));
    const CChartPoint triangle[3] = {{22, 2}, {38, 2}, {22, 30}};
    dc.DrawPolygon(triangle, 3);
    delete dc.PopBrush();
    delete dc.PopPen();
    EXPECT_EQ(c.at(2, 10), red);
    EXPECT_EQ(c.at(10, 2), red);
    EXPECT_EQ(c.at(10, 10), RGB(0, 0, 255));
    // The polygon closes back to its first point: its left side is drawn.
    EXPECT_EQ(c.at(22, 16), red);
    EXPECT_EQ(c.at(30, 2), red);
    EXPECT_EQ(c.at(25, 6), RGB(0, 0, 255));
}

LOGFONT styled(bool italic, bool underline, bool strike) {
    CChartLogFont f("Sans Serif", 0, 14, 400, 0, 0, 0, 0, 0);
    LOGFONT lf = f.Get();
    lf.lfItalic = italic;
    lf.lfUnderline = underline;
    lf.lfStrikeOut = strike;
    return lf;
}

// The style bits of a chart font: 1 italic, 2 underline, 4 strike-out.
TEST(ChartFonts, StyleBitsMakeItalicUnderlineAndStrikeOut) {
    const LOGFONT italic = CChartLogFont("Sans Serif", 0, 14, 400, 0, 0, 1, 0, 0).Get();
    const LOGFONT under = CChartLogFont("Sans Serif", 0, 14, 400, 0, 0, 2, 0, 0).Get();
    const LOGFONT strike = CChartLogFont("Sans Serif", 0, 14, 400, 0, 0, 4, 0, 0).Get();
    EXPECT_EQ(italic.lfItalic, 1);
    EXPECT_EQ(italic.lfUnderline, 0);
    EXPECT_EQ(under.lfUnderline, 1);
    EXPECT_EQ(under.lfItalic, 0);
    EXPECT_EQ(under.lfStrikeOut, 0);
    EXPECT_EQ(strike.lfStrikeOut, 1);
    EXPECT_EQ(strike.lfUnderline, 0);
}

// An underlined or struck-out label stays so when its font is made again
// for the drawing area.
TEST(ChartFonts, RealizingKeepsUnderlineAndStrikeOut) {
    charttest::FixedServices fixed;
    charttest::ServicesGuard g(&fixed);
    Canvas c(400, 300);
    CChartDC dc(&c.cdc);
    {
        CChartTextStyle t;
        const LOGFONT lf = styled(false, true, false);
        t.SetLogFont(&lf);
        t.Realize(&dc);
        EXPECT_EQ(t.GetLogFont().lfUnderline, 1);
        EXPECT_EQ(t.GetLogFont().lfStrikeOut, 0);
    }
    {
        CChartTextStyle t;
        const LOGFONT lf = styled(false, false, true);
        t.SetLogFont(&lf);
        t.Realize(&dc);
        EXPECT_EQ(t.GetLogFont().lfStrikeOut, 1);
        EXPECT_EQ(t.GetLogFont().lfUnderline, 0);
    }
    {
        CChartTextStyle t;
        const LOGFONT lf = styled(true, false, false);
        t.SetLogFont(&lf);
        t.Realize(&dc);
        EXPECT_EQ(t.GetLogFont().lfItalic, 1);
    }
}

} // namespace

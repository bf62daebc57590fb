// The chart's value classes: number text, the pointer array, sizes, text
// styles and the device context's selection stacks.
#include "chart/values.h"
#include "chart_fixture.h"

#include <string>

using charttest::Canvas;

namespace {

std::string number(double v, const char* format) {
    CChartString s;
    s.SetNumber(v, format, 14);
    return s.c_str();
}

TEST(ChartString, TabFormatsPickTheirLabel) {
    const char* three = "\tnone\tsome\tmany";
    EXPECT_EQ(number(0, three), "none");
    EXPECT_EQ(number(12000, three), "many");
    EXPECT_EQ(number(9999.9, three), "many");
    EXPECT_EQ(number(5, three), "");
    EXPECT_EQ(number(5000, three), "some"); // the middle of the scale
    EXPECT_EQ(number(4900, three), "");
    EXPECT_EQ(number(5000, "\tonly\tone"), "Error");
    EXPECT_EQ(number(-5, three), "");
    EXPECT_EQ(number(0, "\tonly"), "Error");
    EXPECT_EQ(number(12000, "\ta\tb"), "Error");
}

TEST(ChartString, NumericFormatsOnlyOneConversion) {
    EXPECT_EQ(number(2.5, "%g"), "2.5");
    EXPECT_EQ(number(2.5, "%.3f units"), "2.500 units");
    EXPECT_EQ(number(0.5, "%5.1f%%"), "  0.5%");
    // Longer than the caller's 14 bytes: written whole, not cut or overrun.
    EXPECT_EQ(number(123456789.0, "value is %.4f now"), "value is 123456789.0000 now");
    // Users' text that is not one numeric conversion is shown as it stands.
    EXPECT_EQ(number(1, "%s"), "%s");
    EXPECT_EQ(number(1, "%n%g"), "%n%g");
    EXPECT_EQ(number(1, "%g and %g"), "%g and %g");
    EXPECT_EQ(number(1, "100%"), "100%");
    EXPECT_EQ(number(1, "%99999g"), "%99999g");
    EXPECT_EQ(number(1, "%*g"), "%*g");
    EXPECT_EQ(number(1, "plain"), "plain");
    // A label of no conversion reads "%%" as one percent sign, as printf would,
    // and so does one whose conversion is refused.
    EXPECT_EQ(number(1, "Share %%"), "Share %");
    EXPECT_EQ(number(1, "%%%% and %s %%"), "%% and %s %");
    EXPECT_EQ(number(40, "%g%% of 100%%"), "40% of 100%");
}

TEST(ChartString, EmptyFormatUsesTheProgramsNumbers) {
    EXPECT_EQ(number(1234567, ""), "1,234,567");
    EXPECT_EQ(number(2.5e12, ""), "2.5e+12");
    EXPECT_EQ(number(-1234.5, ""), "-1,234.5");
    struct Mine : chart::Services {
        std::string format_number(double) const override { return "mine"; }
    } mine;
    charttest::ServicesGuard g(&mine);
    EXPECT_EQ(number(3, ""), "mine");
}

TEST(ChartPtrArray, GrowsByDoublingWithNewEntriesNull) {
    CChartPtrArray<int> a;
    EXPECT_EQ(a.Capacity(), 16);
    int v = 1;
    a.At(3) = &v;
    a.At(40);
    EXPECT_EQ(a.Capacity(), 64);
    for (int i = 4; i < 64; ++i) EXPECT_EQ(a.Get(i), nullptr) << i;
    EXPECT_EQ(a.Get(3), &v);
    a.Reserve(10);
    EXPECT_EQ(a.Capacity(), 74);
    // Out of range indices never grow the array.
    a.At(-1);
    a.At(CChartPtrArray<int>::kMaxIndex + 1);
    EXPECT_EQ(a.Capacity(), 74);
}

TEST(ChartValues, SizesAnglesAndPointSizes) {
    CChartSize s = CChartSize::FromTenthsOfPoints(100, 100, nullptr);
    EXPECT_EQ(s.cx, 10);
    EXPECT_EQ(s.cy, 10);
    CChartTextStyle t;
    t.SetPointSize(0);
    EXPECT_EQ(t.GetPointSize(), 7.0);
    t.SetPointSize(-3);
    EXPECT_EQ(t.GetPointSize(), 7.0);
    t.SetAngle(90);
    EXPECT_EQ(t.GetLogFont().lfEscapement, 900);
    EXPECT_EQ(t.GetLogFont().lfOrientation, 900);
    EXPECT_EQ(t.GetAngle(), 90);
    t.SetHAnchor2();
    t.SetHAnchor1();
    EXPECT_EQ(t.GetHAnchor(), 1);
    EXPECT_EQ(t.GetVAnchor(), 3);
    EXPECT_STREQ(t.GetText(), "%g");
}

TEST(ChartDC, PopLeavesTheStockObjectsAndTheDestructorDeletesLeftovers) {
    Canvas c(20, 20);
    HGDIOBJ leftover = nullptr;
    {
        CChartDC dc(&c.cdc);
        dc.PushNewPen(CChartColor(255, 0, 0));
        EXPECT_NE(GetCurrentObject(c.dc, OBJ_PEN), GetStockObject(BLACK_PEN));
        delete dc.PopPen();
        EXPECT_EQ(GetCurrentObject(c.dc, OBJ_PEN), GetStockObject(BLACK_PEN));
        dc.PushNewBrush(CChartColor(0, 0, 255));
        dc.PushNewBrush(CChartColor(0, 255, 0));
        dc.PushNewBrush(CChartColor(1, 2, 3));
        delete dc.PopBrush();
        HGDIOBJ top = GetCurrentObject(c.dc, OBJ_BRUSH);
        EXPECT_NE(top, GetStockObject(WHITE_BRUSH));
        leftover = top;
        EXPECT_EQ(dc.BrushDepth(), 2);
    }
    // The context is back on its stock brush and the stacked brushes are gone.
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetObjectType(leftover), 0u);
}

TEST(ChartDC, DrawsFramesInThePensColour) {
    Canvas c(20, 20);
    CChartDC dc(&c.cdc);
    dc.PushNewPen(CChartColor(255, 0, 0));
    dc.DrawFrame(CChartRect(2, 2, 10, 10));
    delete dc.PopPen();
    EXPECT_EQ(c.at(2, 2), RGB(255, 0, 0));
    EXPECT_EQ(c.at(10, 6), RGB(255, 0, 0));
    EXPECT_EQ(c.at(6, 10), RGB(255, 0, 0));
    EXPECT_EQ(c.at(6, 6), RGB(255, 255, 255));
}

TEST(ChartDC, DrawAreaAndTwips) {
    Canvas c(800, 600);
    CChartDC dc(&c.cdc);
    CChartRect r;
    dc.GetDrawArea(r);
    EXPECT_EQ(r.Width(), 800);
    EXPECT_EQ(r.Height(), 600);
    charttest::FixedServices fixed;
    charttest::ServicesGuard g(&fixed);
    CChartDC::ToTwips(r);
    EXPECT_EQ(r.right, 12000);
    EXPECT_EQ(r.bottom, -9000);
    // Every side converts: x times 1440 over the horizontal resolution, y
    // times -1440 over the vertical one (here 96 and 72 dots an inch).
    fixed.res_y = 72;
    CChartRect o(48, 24, 144, 120);
    CChartDC::ToTwips(o);
    EXPECT_EQ(o.left, 720);
    EXPECT_EQ(o.top, -480);
    EXPECT_EQ(o.right, 2160);
    EXPECT_EQ(o.bottom, -2400);
    fixed.res_y = 96;
    // A device that reports no resolution does not divide by zero.
    fixed.res_x = fixed.res_y = 0;
    CChartRect z(0, 0, 96, 96);
    CChartDC::ToTwips(z);
    EXPECT_EQ(z.right, 1440);
}

// The font follows the drawing area: its character height from the shorter
// side on a landscape area, its width from the narrower one on a portrait one.
TEST(ChartTextStyle, RealizeSizesTheFontToTheArea) {
    charttest::FixedServices fixed;
    charttest::ServicesGuard g(&fixed);
    {
        Canvas c(800, 600);
        CChartDC dc(&c.cdc);
        ASSERT_EQ(dc.GetDeviceCaps(LOGPIXELSY), 96);
        CChartTextStyle t;
        t.SetAngle(90);
        t.Realize(&dc);
        // 9000 twips high: 209 tenths of a point high, 94 wide at 96 dpi.
        EXPECT_EQ(t.GetLogFont().lfHeight, 28);
        EXPECT_EQ(t.GetLogFont().lfWidth, 13);
        EXPECT_EQ(t.GetLogFont().lfEscapement, 900);
        EXPECT_STREQ(t.GetLogFont().lfFaceName, "SystemVariable");
        EXPECT_EQ(t.GetReferenceRect().bottom, -9000);
        EXPECT_EQ(dc.FontDepth(), 0);
    }
    {
        Canvas c(600, 800);
        CChartDC dc(&c.cdc);
        CChartTextStyle t;
        t.Realize(&dc);
        EXPECT_EQ(t.GetLogFont().lfWidth, 16);
        EXPECT_EQ(t.GetLogFont().lfHeight, 35);
    }
}

TEST(ChartDC, MultilineTextWritesEachLineBelowTheLast) {
    Canvas c(200, 100);
    CChartDC dc(&c.cdc);
    EXPECT_EQ(dc.DrawMultilineText(2, 2, "ab\ncd"), 1);
    auto ink_in_rows = [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < 60; ++x)
                if (c.at(x, y) != RGB(255, 255, 255)) return true;
        return false;
    };
    SIZE line{};
    dc.GetTextExtent("ab", 2, &line);
    ASSERT_GT(line.cy, 0);
    EXPECT_TRUE(ink_in_rows(2, 2 + line.cy));
    EXPECT_TRUE(ink_in_rows(2 + line.cy, 2 + 2 * line.cy));
}

// Text angles are kept within one turn: 450 degrees is 90, 720 is 0, and
// the font's escapement follows in tenths of a degree.
TEST(ChartTextStyle, AnglesWrapWithinOneTurn) {
    CChartTextStyle t;
    const std::pair<int, int> cases[] = {{450, 90}, {720, 0}, {359, 359}, {-90, -90}, {-450, -90}};
    for (const auto& [given, kept] : cases) {
        t.SetAngle(given);
        EXPECT_EQ(t.GetAngle(), kept) << given;
        EXPECT_EQ(t.GetLogFont().lfEscapement, kept * 10) << given;
        EXPECT_EQ(t.GetLogFont().lfOrientation, kept * 10) << given;
    }
}

} // namespace

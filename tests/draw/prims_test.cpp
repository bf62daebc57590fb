// Drawing primitives: colours and patterns chosen by index, the stock
// objects left behind, and the transfer records.
#include "draw/drawing.h"
#include "draw/prims.h"
#include "tests/draw/prims_fixture.h"

#include "platform/gdi_internal.h"
#include "resources/patterns.h"
#include "shell/settings_rows.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>
#include <set>

namespace {

class Prims : public PrimsTest {
protected:
    void TearDown() override {
        PrimsTest::TearDown();
        set_gtx_sink(nullptr);
    }
    void begin(std::uint8_t mode) {
        opts.colour_modes[0] = mode;
        RECT all{0, 0, 64, 32};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ASSERT_EQ(active_dc_push(dc_, dc_), 1);
    }
    QImage image() { return gdi_bitmap_image(bm_); }
};

// Each monochrome bar shows one of the twelve patterns, the pattern after
// its index's (the last index wraps to the first pattern), never blank.
TEST_F(Prims, MonochromeBarsUseTheTwelvePatternsForEveryIndex) {
    std::set<int> seen;
    for (int index = 0; index < 12; ++index) {
        begin(2);
        fill_bar(index, 0, 0, 17, 17, nullptr);
        active_dc_pop(dc_);
        QImage img = image();
        int id = fill_pattern_for(1, index);
        ASSERT_GE(id, fill_pattern_first);
        ASSERT_LT(id, fill_pattern_first + fill_pattern_count);
        seen.insert(id);
        const std::uint8_t* rows = fill_pattern_rows(id);
        ASSERT_NE(rows, nullptr);
        // Inside the black outline the pixels follow the pattern's rows.
        for (int y = 1; y < 16; ++y)
            for (int x = 1; x < 16; ++x) {
                bool ink = rows[y % 8] & (0x80 >> (x % 8));
                ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, ink ? 0u : 0xFFFFFFu)
                    << "index " << index << " at " << x << "," << y;
            }
        EXPECT_EQ(img.pixel(0, 5) & 0xFFFFFF, 0u); // outline
    }
    EXPECT_EQ(seen.size(), 12u);
    EXPECT_EQ(fill_pattern_for(1, 11), fill_pattern_first);
    EXPECT_EQ(fill_pattern_for(0, -1), fill_pattern_first + 11);
}

TEST_F(Prims, IndexesBeyondTheTableAreTakenModuloTwelve) {
    EXPECT_EQ(table_colour(12), 0xFFFFFFu);
    EXPECT_EQ(table_colour(13), 0u);
    EXPECT_EQ(table_colour(14), colour_table[2]);
    EXPECT_EQ(table_colour(1000), colour_table[1000 % 12]);
    EXPECT_EQ(table_colour(-1), colour_table[11]);
    begin(1);
    fill_box(14, 2, 2, 12, 12);
    draw_frame(25, 1, 20, 2, 30, 12);
    fill_bar(3, 40, 2, 49, 12, nullptr);
    active_dc_pop(dc_);
    QImage img = image();
    EXPECT_EQ(img.pixel(6, 6) & 0xFFFFFF, 0x008000u);   // table 2, as 0xRRGGBB
    EXPECT_EQ(img.pixel(20, 6) & 0xFFFFFF, 0xFF0000u);  // table 1, red
    EXPECT_EQ(img.pixel(25, 6) & 0xFFFFFF, 0xFFFFFFu);  // a frame is not filled
    EXPECT_EQ(img.pixel(49, 12) & 0xFFFFFF, 0x808080u); // a bar is one pixel larger
    // The stock objects are back.
    EXPECT_EQ(GetCurrentObject(dc_, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc_, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
}

// A printed line's width is given in the screen's pixels and drawn in the
// printer's: 2 pixels at 96 dots an inch are 6 dots at 288.
TEST_F(Prims, PrintedLinesKeepTheirWidthInThePrintersDots) {
    begin(1);
    drawing.printing = 1;
    drawing.device_res[0] = drawing.device_res[1] = 96;
    drawing.device_res[2] = drawing.device_res[3] = 288;
    draw_line(0, 2, 4, 16, 60, 16);
    active_dc_pop(dc_);
    drawing.printing = 0;
    const QImage img = image();
    int dark = 0;
    for (int y = 0; y < 32; ++y) dark += qGray(img.pixel(30, y)) < 128;
    EXPECT_EQ(dark, 6);
}

TEST_F(Prims, TransferRecordsAreWrittenInPoints) {
    std::string text;
    set_gtx_sink(&text);
    drawing.device_res[0] = drawing.device_res[1] = 144; // points are half the pixels
    begin(1);
    draw_line(0, 2, 10, 21, 100, 41);
    fill_box(0, 0, 0, 9, 9);
    fill_bar(0, 2, 2, 5, 5, nullptr);
    POINT pts[2] = {{30, 40}, {10, 60}};
    gtx_polyline(pts, 2);
    gtx_polyline(pts, 1);
    gtx_text(20, 30, "Population");
    active_dc_pop(dc_);
    EXPECT_EQ(text, "5|2\n4|(5,10)-(50,20)\n"
                    "2|(0,0)-(4,4)\n"
                    "2|(1,1)-(3,3)\n"
                    "3|(5,20)-(15,30)|2\n(15,20)\n(5,30)\n"
                    "3|(15,20)-(15,20)|1\n(15,20)\n"
                    "1|(10,15)10\nPopulation\n");
}

} // namespace

namespace {

TEST_F(Prims, CurvesArePolylinesBrokenAtGapsAndRecordedPerPiece) {
    std::string text;
    set_gtx_sink(&text);
    drawing.device_res[0] = drawing.device_res[1] = 72;
    begin(1);
    // x 3 apart under mode 5: one polyline; a step of 6 breaks it.
    const std::int16_t xs[] = {0, 3, 6, 12, 15}, ys[] = {0, 0, 5000, 5000, 10000};
    draw_curve(nullptr, 0, 1, 0, 0, 10000, 20, xs, ys, 5, 5, false, false);
    EXPECT_EQ(text, "5|1\n3|(0,0)-(6,10)|3\n(0,0)\n(3,0)\n(6,10)\n"
                    "5|1\n3|(12,10)-(15,20)|2\n(12,10)\n(15,20)\n");
    // Points that all coincide draw a single-point polyline.
    text.clear();
    const std::int16_t same[] = {100, 100, 100};
    draw_curve(nullptr, 1, 1, 0, 0, 1000, 1000, same, same, 3, 0, false, false);
    EXPECT_EQ(text, "5|1\n3|(10,10)-(10,10)|1\n(10,10)\n");
    // The live update draws only the last segment.
    text.clear();
    draw_curve(nullptr, 2, 1, 0, 0, 10000, 20, xs, ys, 5, 0, true, false);
    EXPECT_EQ(text, "5|1\n3|(12,10)-(15,20)|2\n(12,10)\n(15,20)\n");
    set_gtx_sink(nullptr);
    active_dc_pop(dc_);
}

TEST_F(Prims, ACurveClippedToItsBoxDrawsNothingOutside) {
    begin(1);
    // A line from far left-above to far right-below, clipped to 20..40.
    const std::int16_t xs[] = {-30000, 30000}, ys[] = {-30000, 30000};
    draw_curve(nullptr, 1, 0, 20, 8, 40, 24, xs, ys, 2, 0, false, true);
    active_dc_pop(dc_);
    QImage img = image();
    int inside = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            bool ink = (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
            if (x < 20 || x > 40 || y < 8 || y > 24)
                ASSERT_FALSE(ink) << x << "," << y;
            else
                inside += ink;
        }
    EXPECT_GT(inside, 5);
    EXPECT_EQ(img.pixel(30, 16) & 0xFFFFFF, 0xFF0000u); // colour 1, red, through the middle
    // The clip is gone after the curve.
    RECT r{0, 0, 4, 4};
    FillRect(dc_, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(image().pixel(1, 1) & 0xFFFFFF, 0u);
}

} // namespace

namespace {

TEST_F(Prims, MarkersBandsAndFamiliesDrawWhereTheirPositionsSay) {
    std::string text;
    set_gtx_sink(&text);
    drawing.device_res[0] = drawing.device_res[1] = 72;
    begin(1);
    // A filled square at (16, 16); a point at y 10001 (clipped) is not drawn.
    const std::int16_t mx[] = {2500, 7500}, my[] = {5000, 10001};
    draw_point_markers(nullptr, 2, 4, 2, 0, 0, 64, 32, mx, my, 2, false);
    QImage img = image();
    EXPECT_EQ(img.pixel(16, 16) & 0xFFFFFF, 0x008000u);
    EXPECT_EQ(img.pixel(48, 31) & 0xFFFFFF, 0xFFFFFFu);
    // An open circle keeps its middle white.
    const std::int16_t cx[] = {7500}, cy[] = {2500};
    draw_point_markers(nullptr, 0, 8, 3, 0, 0, 64, 32, cx, cy, 1, false);
    img = image();
    EXPECT_EQ(img.pixel(48, 8) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_NE(img.pixel(48, 3) & 0xFFFFFF, 0xFFFFFFu);
    // A band between rows 1 and 2 fills between them in colour 0.
    const std::int16_t bx[] = {0, 10000};
    const std::int16_t rows[] = {0, 0, 2000, 2000, 8000, 8000};
    fill_bands(0, 0, 64, 32, bx, rows, 2, 1, nullptr);
    img = image();
    EXPECT_EQ(img.pixel(5, 16) & 0xFFFFFF, 0x0000FFu); // blue (table 0)
    EXPECT_EQ(img.pixel(5, 29) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_TRUE(text.empty()); // markers and bands are not transferred
    // A family draws rows 2..count+1 and writes each.
    const std::int16_t fam[] = {0, 0, 1000, 1000, 3000, 3000, 5000, 5000};
    draw_curve_family(0, 0, 10000, 10, bx, fam, 2, 2, RGB(1, 2, 3));
    EXPECT_EQ(text, "5|0\n3|(0,3)-(10000,3)|2\n(0,3)\n(10000,3)\n"
                    "5|0\n3|(0,5)-(10000,5)|2\n(0,5)\n(10000,5)\n");
    active_dc_pop(dc_);
}

TEST_F(Prims, ADottedLineMustBeHorizontal) {
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    begin(1);
    dotted_line(nullptr, 1, 2, 5, 0, 10, 60, 12);
    EXPECT_TRUE(message_log::said("dotted_line", 10));
    EXPECT_EQ(image().pixel(2, 10) & 0xFFFFFF, 0xFFFFFFu);
    dotted_line(nullptr, 1, 2, 9, 0, 10, 60, 10); // crosses every 8 pixels
    QImage img = image();
    int marks = 0;
    for (int x = 0; x < 64; ++x) marks += (img.pixel(x, 10) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_GT(marks, 10);
    EXPECT_EQ(img.pixel(63, 10) & 0xFFFFFF, 0xFFFFFFu); // stops left of x2
    active_dc_pop(dc_);
    set_message_hook(nullptr);
}

} // namespace

namespace {

// The text records of a Windows metafile: TEXTOUT and EXTTEXTOUT.
int text_records(HMETAFILE mf) {
    UINT n = GetMetaFileBitsEx(mf, 0, nullptr);
    std::vector<std::uint8_t> b(n);
    GetMetaFileBitsEx(mf, n, b.data());
    int count = 0;
    for (std::size_t at = 18; at + 6 <= b.size();) {
        std::uint32_t words =
            b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
        std::uint16_t fn = static_cast<std::uint16_t>(b[at + 4] | b[at + 5] << 8);
        if (fn == 0x0521 || fn == 0x0A32) ++count;
        if (words < 3) break;
        at += static_cast<std::size_t>(words) * 2;
    }
    return count;
}

TEST_F(Prims, MarkersAlongCurvesAreSpacedAndALegendTakesAtMost512) {
    HDC screen = gdi_create_screen_dc();
    std::vector<std::int16_t> xs(101), ys(101, 5000);
    for (int i = 0; i <= 100; ++i)
        xs[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * 100);
    auto record = [&](auto draw) {
        HDC mf = CreateMetaFile(nullptr);
        {
            draw_pass pass(mf, screen);
            draw();
        }
        HMETAFILE h = CloseMetaFile(mf);
        int n = text_records(h);
        DeleteMetaFile(h);
        return n;
    };
    int plain = record([&] {
        draw_curve(nullptr, 1, 1, 0, 0, 1000, 100, xs.data(), ys.data(), 101, 0, false, false);
    });
    EXPECT_EQ(plain, 0);
    int marked = record([&] {
        draw_curve(nullptr, 1, 1, 0, 0, 1000, 100, xs.data(), ys.data(), 101, 0, false, false, 3);
    });
    EXPECT_GT(marked, 3);
    EXPECT_LT(marked, 60); // spaced, not at every point
    int wider = record([&] {
        draw_curve(nullptr, 1, 1, 0, 0, 1000, 100, xs.data(), ys.data(), 101, 0, false, false, 9);
    });
    EXPECT_LT(wider, marked);
    EXPECT_EQ(record([&] { draw_legend_line(nullptr, 2, 1, 0, 10, 1000000, 10, 3); }), 512);
    EXPECT_EQ(record([&] { draw_legend_line(nullptr, 2, 1, 0, 10, 40, 10, 0); }), 0);
    delete_marker_font();
    gdi_delete_image_dc(screen);
}

} // namespace

namespace {

bool inked(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
}

// Markers: a point on the square's right edge (10000) is inside and drawn,
// one past it not; with last_two only the last two points are drawn. Size 1
// makes squares 3 pixels wide centred on the point.
TEST_F(Prims, MarkersOnTheSquaresEdgesAreDrawnAndTheLastTwoMeansTwo) {
    begin(1);
    const std::int16_t xs[] = {0, 5000, 10000, 10001}, ys[] = {5000, 5000, 5000, 5000};
    draw_point_markers(nullptr, 0, 1, 0, 0, 0, 60, 30, xs, ys, 4, false);
    active_dc_pop(dc_);
    QImage img = image();
    EXPECT_TRUE(inked(img, 0, 15));
    EXPECT_TRUE(inked(img, 30, 15));
    EXPECT_TRUE(inked(img, 60, 15)) << "the right edge is inside the square";
    // Alone, the point past the edge draws nothing.
    begin(1);
    draw_point_markers(nullptr, 0, 1, 0, 0, 0, 60, 30, xs + 3, ys + 3, 1, false);
    active_dc_pop(dc_);
    EXPECT_FALSE(inked(image(), 60, 15)) << "10001 is outside";
    begin(1);
    draw_point_markers(nullptr, 0, 1, 0, 0, 0, 60, 30, xs, ys, 3, true);
    active_dc_pop(dc_);
    img = image();
    EXPECT_FALSE(inked(img, 0, 15));
    EXPECT_TRUE(inked(img, 30, 15));
    EXPECT_TRUE(inked(img, 60, 15));
}

// A dotted line: squares of size + 2 every twice that, while a square's right
// edge stays left of the end: size 1 from 0 to 20 puts squares at 0, 6 and 12.
TEST_F(Prims, DottedLinesLeaveAGapAsWideAsEachMarker) {
    begin(1);
    dotted_line(nullptr, 0, 1, 0, 0, 15, 20, 15);
    active_dc_pop(dc_);
    const QImage img = image();
    for (int x : {1, 7, 13}) EXPECT_TRUE(inked(img, x, 15)) << x;
    for (int x : {4, 10, 16, 19}) EXPECT_FALSE(inked(img, x, 15)) << x;
}

// Curves break only where neighbouring x positions differ by more than the
// mode: a step of exactly the mode stays one polyline.
TEST_F(Prims, ACurveStepOfExactlyTheModeDoesNotBreakIt) {
    std::string text;
    set_gtx_sink(&text);
    drawing.device_res[0] = drawing.device_res[1] = 72;
    begin(1);
    const std::int16_t xs[] = {0, 5, 10}, ys[] = {0, 0, 0};
    draw_curve(nullptr, 0, 1, 0, 0, 10000, 20, xs, ys, 3, 5, false, false);
    EXPECT_EQ(text, "5|1\n3|(0,0)-(10,0)|3\n(0,0)\n(5,0)\n(10,0)\n");
    set_gtx_sink(nullptr);
    active_dc_pop(dc_);
}

// A legend sample's markers run from the first place through its end: a
// sample ending where the first marker stands shows that marker.
TEST_F(Prims, ALegendSampleShowsAMarkerStandingAtItsEnd) {
    begin(1);
    draw_legend_line(nullptr, 0, 1, 0, 16, 0, 16, 0);
    active_dc_pop(dc_);
    QImage img = image();
    int ink = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 12; ++x) ink += inked(img, x, y);
    EXPECT_EQ(ink, 0) << "no markers asked for, a line of no length";
    begin(1);
    draw_legend_line(nullptr, 0, 1, 0, 16, 0, 16, 3);
    active_dc_pop(dc_);
    img = image();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 12; ++x) ink += inked(img, x, y);
    EXPECT_GT(ink, 0);
}

} // namespace

namespace {

// A frame of width 1 outlines left..right-1 and top..bottom-1, as a filled
// box does; a wider one takes the extra pixels inside.
TEST_F(Prims, AFrameStopsBeforeItsRightAndBottomEdges) {
    begin(1);
    draw_frame(1, 1, 20, 2, 30, 12);
    active_dc_pop(dc_);
    QImage img = image();
    for (int y = 2; y < 12; ++y) {
        EXPECT_EQ(img.pixel(20, y) & 0xFFFFFF, 0xFF0000u) << y;
        EXPECT_EQ(img.pixel(29, y) & 0xFFFFFF, 0xFF0000u) << y;
        EXPECT_EQ(img.pixel(30, y) & 0xFFFFFF, 0xFFFFFFu) << y;
    }
    for (int x = 20; x < 30; ++x) {
        EXPECT_EQ(img.pixel(x, 11) & 0xFFFFFF, 0xFF0000u) << x;
        EXPECT_EQ(img.pixel(x, 12) & 0xFFFFFF, 0xFFFFFFu) << x;
    }
}

// In monochrome every table index 0..11 fills its box with its own pattern
// (the first index too); an index beyond the table fills it white.
TEST_F(Prims, MonochromeBoxesUseTheirIndexsPatternFromTheFirst) {
    for (int index = 0; index < 12; ++index) {
        begin(2);
        fill_box(index, 0, 0, 17, 17);
        active_dc_pop(dc_);
        QImage img = image();
        const std::uint8_t* rows = fill_pattern_rows(fill_pattern_first + index);
        ASSERT_NE(rows, nullptr);
        for (int y = 1; y < 16; ++y)
            for (int x = 1; x < 16; ++x) {
                bool ink = rows[y % 8] & (0x80 >> (x % 8));
                ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, ink ? 0u : 0xFFFFFFu)
                    << "index " << index << " at " << x << "," << y;
            }
    }
    begin(2);
    fill_box(12, 0, 0, 17, 17);
    active_dc_pop(dc_);
    QImage img = image();
    for (int y = 1; y < 16; ++y)
        for (int x = 1; x < 16; ++x) ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu);
}

// A negative curve width names a line style: 1 dotted, 2 dashed, 3 dash-dot,
// 4 dash-dot-dot, and 5 solid again; styled pens are one pixel wide.
TEST_F(Prims, NegativeCurveWidthsPickTheFiveLineStylesInTurn) {
    begin(1);
    const UINT want[] = {PS_SOLID, PS_DOT, PS_DASH, PS_DASHDOT, PS_DASHDOTDOT, PS_SOLID, PS_DOT};
    for (int k = 1; k <= 6; ++k) {
        HPEN pen = curve_pen(nullptr, 1, -k);
        ASSERT_NE(pen, nullptr);
        LOGPEN lp{};
        ASSERT_EQ(GetObject(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
        EXPECT_EQ(lp.lopnStyle, want[k]) << "width " << -k;
        EXPECT_EQ(lp.lopnWidth.x, 1) << "width " << -k;
        EXPECT_EQ(lp.lopnColor, RGB(255, 0, 0)) << "width " << -k; // table colour 1
        DeleteObject(pen);
    }
    active_dc_pop(dc_);
}

// In monochrome a band is filled as the bar of its index is, so a band and
// its box in the legend show the same pattern; the second band the next.
TEST_F(Prims, MonochromeBandsTakeThePatternOfTheBarOfTheirIndex) {
    // Rows 1..3 are the band edges: the first band from the top to the
    // middle, the second from the middle to the bottom.
    const std::int16_t xs[2] = {0, 10000};
    const std::int16_t rows[4 * 2] = {0, 0, 0, 0, 5000, 5000, 10000, 10000};
    begin(2);
    fill_bands(0, 0, 63, 31, xs, rows, 2, 2, nullptr);
    active_dc_pop(dc_);
    const QImage filled = image();
    for (int band = 0; band < 2; ++band) {
        begin(2);
        fill_bar(band, 0, 0, 63, 31, nullptr);
        active_dc_pop(dc_);
        const QImage bar = image();
        const int top = band == 0 ? 2 : 18, bottom = band == 0 ? 13 : 29;
        int same = 0, ink = 0;
        for (int y = top; y <= bottom; ++y)
            for (int x = 2; x < 60; ++x) {
                same += (filled.pixel(x, y) & 0xFFFFFF) == (bar.pixel(x, y) & 0xFFFFFF);
                ink += (filled.pixel(x, y) & 0xFFFFFF) == 0;
            }
        EXPECT_EQ(same, (bottom - top + 1) * 58) << "band " << band;
        EXPECT_GT(ink, 0) << "band " << band;
    }
}

} // namespace

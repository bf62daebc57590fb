// Connectors drawn as their author stored them: the width code's pen styles
// (dash, dot) and widths (scaled by the zoom), a flow pipe's two lines its
// code's distance apart, arcs of every curved path type, and a label with
// its own colour and font anchored at the arrowhead; the same drawing on
// screen, played back from a recorded metafile and printed to a PDF.
#include <gtest/gtest.h>

#include <optional>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <QImage>

#include "draw/drawing.h"
#include "draw/printing.h"
#include "platform/print.h"
#include "shell/settings_rows.h"
#include "sketch/drawsketch.h"
#include "sketch/geometry.h"
#include "sketch/viewprint.h"
#include "sketch/views.h"
#include "tests/common/command_output.h"
#include "tests/common/packages.h"
#include "tests/driver/driver.h"
#include "tests/sketch/pictures_fixture.h"
#include "tests/sketch/sketch_fixture.h"

namespace {

constexpr int W = 700, H = 560;
constexpr COLORREF blue = RGB(0, 0, 255), magenta = RGB(200, 0, 200);

class ConnectorStyles : public SketchTest {
protected:
    void SetUp() override {
        SketchTest::SetUp();
        test_driver::start();
        s.view.rec.background = RGB(255, 255, 255);
        s.view.rec.connector = blue;
        s.view.rec.outline = RGB(0, 0, 0);
        s.zoom = 100;
        // One horizontal connector per row, from x 40 to x 600.
        solid_ = row(40, 0);
        dashed_ = row(80, 1);
        dotted_ = row(120, 2);
        wide_ = row(160, 15);
        thin_ = row(200, 10);
        pipe_ = row(250, 25);
        // An arc of path type 2 through a handle 60 units above the middle.
        const int a = box(40, 380), b = box(600, 380);
        arc_ = link(a, b, 2, {{320, 320}});
        // A labelled arrow: its own colour and a large font, at the head.
        const int c = box(40, 480), d = box(600, 480);
        labelled_ = link(c, d, 0, {{320, 480}});
        sketch_elem& l = el(labelled_);
        l.mark = 1;
        l.text = "flows";
        l.style = 2 | 8;
        l.font.colour = magenta;
        l.font.size = 16;
        l.decoration = deco_label_at_head;
        canvas_.emplace(W, H);
        dc_ = canvas_->dc();
    }
    void TearDown() override {
        canvas_.reset();
        dc_ = nullptr;
        test_driver::reset();
        SketchTest::TearDown();
    }
    int box(int x, int y) { return SketchTest::box(x, y, 4, 4, 0, ek_text); }
    int row(int y, int width_code) {
        const int a = box(40, y), b = box(600, y);
        return link(a, b, 0, {{320, static_cast<std::int16_t>(y)}}, width_code);
    }
    void paint() { paint_sketch(dc_, s, RECT{0, 0, W, H}); }
    static bool is(COLORREF p, COLORREF c) { return p == c; }
    // Changes between the colour and any other along a row, x from 100 to 500.
    int changes(HDC dc, int y, COLORREF c) {
        int n = 0;
        bool was = is(GetPixel(dc, 100, y), c);
        for (int x = 101; x < 500; ++x) {
            const bool now = is(GetPixel(dc, x, y), c);
            n += now != was;
            was = now;
        }
        return n;
    }
    // Pixels of a colour in the column x, rows y0 to y1.
    int in_column(HDC dc, int x, int y0, int y1, COLORREF c) {
        int n = 0;
        for (int y = y0; y <= y1; ++y) n += is(GetPixel(dc, x, y), c);
        return n;
    }
    int in_box(HDC dc, RECT r, COLORREF c) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += is(GetPixel(dc, x, y), c);
        return n;
    }
    std::optional<memory_canvas> canvas_; // the colour surface painted on
    HDC dc_ = nullptr;
    int solid_ = 0, dashed_ = 0, dotted_ = 0, wide_ = 0, thin_ = 0, pipe_ = 0, arc_ = 0,
        labelled_ = 0;
};

TEST_F(ConnectorStyles, WidthCodesGivePenStylesWidthsAndPipes) {
    paint();
    // Codes below 10 are pen styles one pixel wide.
    EXPECT_EQ(changes(dc_, 40, blue), 0);
    EXPECT_GT(changes(dc_, 80, blue), 10);
    EXPECT_GT(changes(dc_, 120, blue), 10);
    for (int y : {40, 80, 120}) EXPECT_LE(in_column(dc_, 301, y - 8, y + 8, blue), 1) << y;
    // 10 to 20: code - 10 units wide; 10 is the thinnest line, not none.
    EXPECT_EQ(changes(dc_, 160, blue), 0);
    EXPECT_NEAR(in_column(dc_, 300, 150, 170, blue), 5, 1);
    EXPECT_GE(in_column(dc_, 300, 195, 205, blue), 1);
    EXPECT_LE(in_column(dc_, 300, 195, 205, blue), 1);
    // A pipe: two lines 5 units either side of its path, the background
    // between them.
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255);
    EXPECT_EQ(GetPixel(dc_, 300, 250), white);
    EXPECT_GT(in_column(dc_, 300, 243, 246, black), 0);
    EXPECT_GT(in_column(dc_, 300, 254, 257, black), 0);
    EXPECT_EQ(in_column(dc_, 300, 247, 253, black), 0);
    // Twice the zoom: the wide line is twice as wide, a styled one stays thin.
    s.zoom = 200;
    s.scroll_x = 300;
    s.scroll_y = 0;
    paint();
    EXPECT_NEAR(in_column(dc_, 300, 300, 340, blue), 10, 1);
    EXPECT_LE(in_column(dc_, 300, 150, 170, blue), 1);
}

// Printed, a plain line is as wide as the print's zoom makes a pixel (three
// at 300 %), so it is not a hairline on paper; a copy keeps it one pixel.
TEST_F(ConnectorStyles, PrintedPlainLinesTakeTheZoomsWidth) {
    s.zoom = 300;
    s.scroll_x = 0;
    s.scroll_y = 0;
    drawing.printing = 1;
    paint_sketch(dc_, s, RECT{0, 0, W, H}, true);
    drawing.printing = 0;
    EXPECT_EQ(in_column(dc_, 300, 110, 130, blue), 3);       // the solid row at 40 units
    EXPECT_NEAR(in_column(dc_, 300, 460, 500, blue), 15, 1); // code 15: 5 units
    RECT all{0, 0, W, H};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    paint_sketch(dc_, s, RECT{0, 0, W, H}, true);
    EXPECT_EQ(in_column(dc_, 300, 110, 130, blue), 1);
}

// A mark of one character (a '+' or '-' polarity) stands across the middle
// of a straight link, the label distance (8 units) below a rightward line or
// above it when put on the other side, in the connector's colour.
TEST_F(ConnectorStyles, AOneCharacterMarkStandsBesideTheMiddle) {
    const RECT below{306, 42, 335, 62}, above{306, 18, 335, 38};
    paint();
    ASSERT_EQ(in_box(dc_, below, blue), 0);
    el(solid_).mark = '+';
    paint();
    EXPECT_GT(in_box(dc_, below, blue), 4);
    EXPECT_EQ(in_box(dc_, above, blue), 0);
    el(solid_).decoration = deco_other_side;
    paint();
    EXPECT_EQ(in_box(dc_, below, blue), 0);
    EXPECT_GT(in_box(dc_, above, blue), 4);
}

// Hidden links and links deeper than the level shown are not drawn; the
// others still are.
TEST_F(ConnectorStyles, HiddenAndDeeperLinksAreNotDrawn) {
    auto line_at = [&](int y) { return in_box(dc_, RECT{100, y - 3, 500, y + 4}, blue); };
    el(solid_).level |= level_hidden;
    el(dotted_).level = 5;
    s.shown_level = 3;
    paint();
    EXPECT_EQ(line_at(40), 0);
    EXPECT_EQ(line_at(120), 0);
    EXPECT_GT(line_at(80), 50);
    RECT all{0, 0, W, H};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    el(solid_).level = static_cast<std::uint8_t>(el(solid_).level & ~level_hidden);
    s.shown_level = 5;
    paint();
    EXPECT_GT(line_at(40), 300);
    EXPECT_GT(line_at(120), 50);
}

TEST_F(ConnectorStyles, EveryCurvedPathTypeIsDrawnAsItsArc) {
    ASSERT_GT(el(arc_).arc_width, 0);
    paint();
    // Through the handle point, not along the straight line below it.
    EXPECT_GT(in_box(dc_, RECT{310, 314, 330, 327}, blue), 3);
    EXPECT_EQ(in_box(dc_, RECT{200, 376, 440, 385}, blue), 0);
}

TEST_F(ConnectorStyles, ALabelTakesItsOwnColourAndFontAtTheArrowhead) {
    paint();
    const sketch_elem& l = el(labelled_);
    const int bx = static_cast<int>(l.arrow_x), by = static_cast<int>(l.arrow_y);
    // At the head, not the middle; in its own colour, not the line's.
    const int at_head = in_box(dc_, RECT{bx - 60, by - 40, bx + 40, by + 40}, magenta);
    EXPECT_GT(at_head, 20);
    EXPECT_EQ(in_box(dc_, RECT{260, 440, 380, 520}, magenta), 0);
    // 16 points: taller than the view's 8-point text.
    int rows = 0;
    for (int y = by - 40; y < by + 40; ++y)
        rows += in_box(dc_, RECT{bx - 60, y, bx + 40, y + 1}, magenta) > 0;
    EXPECT_GE(rows, 12);
    // Without the bit it stands at the middle.
    el(labelled_).decoration = 0;
    paint();
    EXPECT_GT(in_box(dc_, RECT{260, 440, 380, 520}, magenta), 20);
}

// The same drawing recorded as the clipboard's metafile and played back, and
// printed to the PDF printer.
TEST_F(ConnectorStyles, AMetafileCopyAndAPrintDrawWhatTheScreenShows) {
    paint();
    const auto played = sketch_pictures::replayed_sketch(s, W, H);
    ASSERT_NE(played, nullptr);
    HDC other = played->dc;
    EXPECT_GT(changes(other, 80, blue), 10);
    EXPECT_NEAR(in_column(other, 300, 150, 170, blue), 5, 1);
    EXPECT_EQ(GetPixel(other, 300, 250), RGB(255, 255, 255));
    EXPECT_GT(in_box(other, RECT{310, 314, 330, 327}, blue), 3);
    int differ = 0, inked = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const COLORREF p = GetPixel(dc_, x, y);
            inked += p != RGB(255, 255, 255);
            differ += p != GetPixel(other, x, y);
        }
    ASSERT_GT(inked, 2000);
    EXPECT_LT(differ, inked / 10) << differ << " of " << inked;

    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const view_output_settings set;
    s.min_x = 20, s.min_y = 20, s.max_x = 620, s.max_y = 500; // the view's extent
    const QImage page = sketch_pictures::printed_view(nullptr, s, set, "connstyle_test");
    ASSERT_FALSE(page.isNull());
    int pink = 0, blues = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            pink += std::abs(c.red() - 200) < 50 && c.green() < 60 && std::abs(c.blue() - 200) < 50;
            blues += c.red() < 60 && c.green() < 60 && c.blue() > 200;
        }
    EXPECT_GT(pink, 20);   // the label in its own colour
    EXPECT_GT(blues, 300); // the lines, the wide one among them
}

} // namespace

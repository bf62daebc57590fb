// Painting a working view into a memory image: arcs in both directions and
// the long way round, arrowheads at the computed base.
#include <gtest/gtest.h>

#include <limits>

#include "platform/gdi.h"
#include "sketch/drawsketch.h"
#include "tests/sketch/sketch_fixture.h"

namespace {

class DrawSketch : public SketchPaintTest {
protected:
    DrawSketch() : SketchPaintTest(200) {}
    void paint() {
        RECT rc{0, 0, 200, 200};
        paint_sketch(dc_, s, rc);
    }
    // Connector colour within a pixel of (x, y).
    bool inked(int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (GetPixel(dc_, x + dx, y + dy) == RGB(0, 0, 255)) return true;
        return false;
    }
    // An arc of the circle about (100, 100) of radius 50 from angle 0 (right)
    // to 90 degrees (top), as the geometry leaves it, with a sweep.
    void arc(int sweep) {
        int a = box(150, 100, 1, 1, 0);
        int b = box(100, 50, 1, 1, 0);
        sketch_elem t;
        t.path = path_arc | path_no_arrow;
        int n = add_link_element(s, a, b, &t, 0, false);
        sketch_elem& c = el(n);
        c.arc_left = 50, c.arc_top = 50, c.arc_width = 100, c.arc_height = 100;
        c.start_x = 150, c.start_y = 100, c.end_x = 100, c.end_y = 50;
        c.arrow_x = 100, c.arrow_y = 50;
        c.sweep = sweep;
    }
};

TEST_F(DrawSketch, ArcsGoTheShortWayOrTheLongWayRound) {
    arc(1);
    paint();
    EXPECT_TRUE(inked(135, 65));  // 45 degrees: on the short arc
    EXPECT_FALSE(inked(50, 100)); // 180 degrees: not
    EXPECT_FALSE(inked(100, 147));

    // The long way round draws the other three quarters (it used to draw nothing).
    el(3).sweep = -1;
    paint();
    EXPECT_FALSE(inked(135, 65));
    EXPECT_TRUE(inked(50, 100));
    EXPECT_TRUE(inked(100, 147));
    EXPECT_TRUE(inked(65, 135));
}

TEST_F(DrawSketch, ArrowheadsSitAtTheComputedBase) {
    int a = box(30, 100, 10, 10, 3);
    int b = box(170, 100, 10, 10, 3);
    int n = link(a, b, path_straight);
    float hx[3], hy[3];
    ASSERT_TRUE(arrowhead_points(el(n), hx, hy));
    // Tip on the head's edge, barbs either side of the base, the arrowhead's width apart.
    EXPECT_FLOAT_EQ(hx[0], el(n).end_x);
    EXPECT_FLOAT_EQ(hx[1], el(n).arrow_x);
    EXPECT_FLOAT_EQ(hy[1] - hy[2], static_cast<float>(connector_arrowhead(0).width));
    paint();
    int mid = static_cast<int>((hx[0] + 2 * hx[1]) / 3);
    EXPECT_EQ(GetPixel(dc_, mid, 100), RGB(0, 0, 255));
    // Without an arrow, or with its base on its tip, there is none.
    el(n).path |= path_no_arrow;
    EXPECT_FALSE(arrowhead_points(el(n), hx, hy));
    el(n).path = path_straight;
    el(n).arrow_x = el(n).end_x, el(n).arrow_y = el(n).end_y;
    EXPECT_FALSE(arrowhead_points(el(n), hx, hy));
    // A base that is no finite place (a corrupt file's) draws no arrowhead.
    el(n).arrow_x = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(arrowhead_points(el(n), hx, hy));
    el(n).arrow_x = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(arrowhead_points(el(n), hx, hy));
}

} // namespace

namespace {

// Marks and delay marks sit across the connector at the label distance.
TEST_F(DrawSketch, MarksAndDelayMarksStandAcrossTheConnector) {
    const int d = workbench_metrics().label_distance;
    // A straight arrow along x: its one anchor is the middle, the offset
    // straight across.
    int a = box(20, 100, 1, 1, 0), b = box(180, 100, 1, 1, 0);
    sketch_elem t;
    t.path = path_straight | path_no_arrow;
    int n = add_link_element(s, a, b, &t, 0, false);
    sketch_elem& c = el(n);
    c.start_x = 20, c.start_y = 100, c.arrow_x = 180, c.arrow_y = 100;
    auto anchors = connector_mark_anchors(c, true);
    ASSERT_EQ(anchors.size(), 1u);
    EXPECT_EQ(anchors[0].x, 100);
    EXPECT_EQ(anchors[0].y, 100);
    EXPECT_EQ(std::abs(anchors[0].dy), d);
    EXPECT_EQ(anchors[0].dx, 0);
    // The other-side bit turns a label round, not a delay mark.
    c.decoration = deco_other_side | deco_delay;
    EXPECT_EQ(connector_mark_anchors(c, true)[0].dy, -anchors[0].dy);
    EXPECT_EQ(connector_mark_anchors(c, false)[0].dy, anchors[0].dy);
    // The delay mark's strokes cross the line above and below it.
    paint();
    EXPECT_TRUE(inked(100 + 1, 100 - d + 1) || inked(100 - 1, 100 - d + 1));
    EXPECT_TRUE(inked(100 + 1, 100 + d - 1) || inked(100 - 1, 100 + d - 1));
    EXPECT_FALSE(inked(60, 100 - d + 1)) << "only at the anchor";
}

TEST_F(DrawSketch, AnArcOfNoSizeOrAStraightRunGetsAnOffsetStill) {
    const int d = workbench_metrics().label_distance;
    int a = box(20, 100, 1, 1, 0), b = box(180, 100, 1, 1, 0);
    sketch_elem t;
    t.path = path_arc;
    int n = add_link_element(s, a, b, &t, 0, false);
    sketch_elem& c = el(n);
    // A degenerate arc box: laid out as a straight arrow, no division by 0.
    c.start_x = 20, c.start_y = 100, c.arrow_x = 180, c.arrow_y = 100;
    c.arc_width = 0, c.arc_height = 40;
    c.points = {{100, 60}};
    auto arc = connector_mark_anchors(c, false);
    ASSERT_EQ(arc.size(), 1u);
    EXPECT_EQ(std::abs(arc[0].dy), d);
    // A real arc: toward its box's centre, in proportion to the box.
    c.arc_left = 20, c.arc_top = 60, c.arc_width = 160, c.arc_height = 160;
    arc = connector_mark_anchors(c, false);
    EXPECT_EQ(arc[0].x, 100);
    EXPECT_EQ(arc[0].dx, 0);
    EXPECT_EQ(arc[0].dy, 2 * d * (140 - 60) / 160);
    // A polyline bend on a straight run: across the way in.
    c.path = path_polyline;
    c.points = {{100, 100}};
    auto poly = connector_mark_anchors(c, false);
    ASSERT_EQ(poly.size(), 1u);
    EXPECT_EQ(poly[0].dx, 0);
    EXPECT_EQ(std::abs(poly[0].dy), d);
    // A corner (back down-left, on to the right): inside it, between the
    // two legs, the longer leg cut to the shorter's length.
    c.points = {{100, 20}};
    c.arrow_x = 180, c.arrow_y = 20;
    poly = connector_mark_anchors(c, false);
    EXPECT_GT(poly[0].dx, 0);
    EXPECT_GT(poly[0].dy, 2 * poly[0].dx);
}

// An orthogonal link reaches each point it passes along the horizontal
// first and then down; from its last point it goes down first, so it meets
// its arrow base across; a polyline runs straight from point to point.
TEST_F(DrawSketch, OrthogonalLinksRunAcrossThenDown) {
    const int a = box(30, 30, 1, 1, 0), b = box(170, 170, 1, 1, 0);
    sketch_elem t;
    t.path = path_orthogonal | path_no_arrow;
    const int n = add_link_element(s, a, b, &t, 0, false);
    auto shape = [&](int type) {
        sketch_elem& c = el(n);
        c.path = static_cast<std::uint8_t>(type | path_no_arrow);
        c.arc_width = c.arc_height = 0;
        c.start_x = 30, c.start_y = 30;
        c.points = {{100, 100}};
        c.end_x = c.arrow_x = 170, c.end_y = c.arrow_y = 170;
    };
    shape(path_orthogonal);
    paint();
    EXPECT_TRUE(inked(65, 30));   // across from the start
    EXPECT_TRUE(inked(100, 65));  // then down to the point
    EXPECT_TRUE(inked(100, 135)); // down from the last point
    EXPECT_TRUE(inked(135, 170)); // and across to the base
    EXPECT_FALSE(inked(135, 100));
    EXPECT_FALSE(inked(30, 65));
    EXPECT_FALSE(inked(65, 100));
    EXPECT_FALSE(inked(65, 65)); // no diagonal
    shape(path_polyline);
    paint();
    EXPECT_TRUE(inked(65, 65));
    EXPECT_TRUE(inked(135, 135));
    EXPECT_FALSE(inked(65, 30));
    EXPECT_FALSE(inked(100, 65));
}

// The valve's own shapes: 4 is a bar at the top and the bottom with a
// stroke down the middle from one to the other; 5 a circle crossed by two
// diagonals reaching seven tenths of its size out from the centre.
TEST_F(DrawSketch, ValveShapesDrawTheirWholeStrokes) {
    auto ink = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (GetPixel(dc_, x + dx, y + dy) != RGB(255, 255, 255)) return true;
        return false;
    };
    box(50, 50, 20, 20, 4, ek_valve);
    box(130, 130, 40, 40, 5, ek_valve);
    RECT all{0, 0, 200, 200};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    paint();
    EXPECT_TRUE(ink(50, 35));
    EXPECT_TRUE(ink(50, 65)); // the stroke reaches the bottom bar
    EXPECT_TRUE(ink(40, 30));
    EXPECT_TRUE(ink(40, 70));
    EXPECT_FALSE(ink(40, 50));
    // 0.7 x 40 = 28 out along each diagonal, inside the circle of 40.
    EXPECT_TRUE(ink(104, 104));
    EXPECT_TRUE(ink(156, 156));
    EXPECT_TRUE(ink(104, 156));
    EXPECT_TRUE(ink(156, 104));
    EXPECT_FALSE(ink(130, 118));
}

} // namespace

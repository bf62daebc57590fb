// Connector paths, arcs and their guards, bends, sizes, the grid and hit
// testing.
#include <cmath>

#include "tests/sketch/sketch_fixture.h"

namespace {

using Geometry = SketchTest;

TEST_F(Geometry, CircleThroughPointsFindsCirclesAndRefusesLinesAndHugeRadii) {
    int cx, cy, rx, ry;
    ASSERT_EQ(circle_through_points(0, 0, 10, 10, 20, 0, &cx, &cy, &rx, &ry, 1), 1);
    EXPECT_EQ(cx, 10);
    EXPECT_EQ(cy, 0);
    EXPECT_EQ(rx, 10);
    EXPECT_EQ(ry, 10);
    // Collinear and coincident points.
    EXPECT_EQ(circle_through_points(0, 0, 50, 50, 100, 100, &cx, &cy, &rx, &ry, 1), 0);
    EXPECT_EQ(circle_through_points(5, 5, 5, 5, 100, 0, &cx, &cy, &rx, &ry, 1), 0);
    // Centres 2600 apart with a nearly straight handle: a radius past 2500.
    EXPECT_EQ(circle_through_points(0, 0, 1300, 20, 2600, 0, &cx, &cy, &rx, &ry, 1), 0);
    // The ellipse form scales y by the ratio of the chords.
    ASSERT_EQ(circle_through_points(0, 0, 10, 20, 40, 0, &cx, &cy, &rx, &ry, 0), 1);
    EXPECT_NE(rx, ry);
}

TEST_F(Geometry, StraightConnectorEndsOnBoxesAndCircles) {
    int a = box(0, 0, 20, 10), b = box(100, 0, 20, 10);
    int c = link(a, b, path_straight);
    EXPECT_EQ(el(c).start_x, 20);
    EXPECT_EQ(el(c).start_y, 0);
    EXPECT_EQ(el(c).end_x, 80);
    EXPECT_FLOAT_EQ(el(c).arrow_x, 70); // set back by the arrowhead length
    ASSERT_EQ(el(c).points.size(), 1u);
    EXPECT_EQ(el(c).points[0].x, 45); // midpoint of the start and the arrow base
    EXPECT_EQ(el(c).arc_width, 0);

    // Round elements clip at their half width along the line; without an
    // arrowhead the arrow base is the end.
    int r1 = box(0, 100, 10, 10, 2), r2 = box(60, 180, 10, 10, 2);
    int d = link(r1, r2, path_straight | path_no_arrow);
    EXPECT_EQ(el(d).start_x, 6);
    EXPECT_EQ(el(d).start_y, 108);
    EXPECT_EQ(el(d).end_x, 54);
    EXPECT_EQ(el(d).end_y, 172);
    EXPECT_FLOAT_EQ(el(d).arrow_x, 54);

    // Coincident centres: no division by zero, everything at the centre.
    int z1 = box(300, 300, 10, 10), z2 = box(300, 300, 10, 10);
    int e = link(z1, z2, path_straight);
    EXPECT_EQ(el(e).start_x, 300);
    EXPECT_TRUE(std::isfinite(el(e).arrow_x));
}

TEST_F(Geometry, ArcsClipOnOutlinesAndFallBackToStraight) {
    int a = box(0, 0, 10, 10, 2), b = box(100, 0, 10, 10, 2);
    // A handle above the line: a circle of radius 50 about (50, 0).
    int c = link(a, b, path_arc, {{50, -50}});
    sketch_elem& k = el(c);
    EXPECT_EQ(k.arc_left, 0);
    EXPECT_EQ(k.arc_top, -50);
    EXPECT_EQ(k.arc_width, 100);
    EXPECT_EQ(k.sweep, 0); // clockwise in y-up terms, from a over the top to b
    auto on_circle = [](double x, double y) { return std::hypot(x - 50, y); };
    EXPECT_NEAR(on_circle(k.start_x, k.start_y), 50, 1);
    EXPECT_NEAR(on_circle(k.end_x, k.end_y), 50, 1);
    EXPECT_NEAR(std::hypot(k.start_x - 0, k.start_y - 0), 10, 1.5);
    EXPECT_NEAR(std::hypot(k.end_x - 100, k.end_y), 10, 1.5);
    EXPECT_LT(k.start_y, 0);
    // The arrow base lies one arrowhead further back along the arc.
    EXPECT_NEAR(std::hypot(k.arrow_x - k.end_x, k.arrow_y - k.end_y), 10, 1.5);
    EXPECT_NEAR(on_circle(k.arrow_x, k.arrow_y), 50, 1.5);

    // Handle on the line between the centres: straight.
    int s1 = link(a, b, path_arc, {{50, 0}});
    EXPECT_EQ(el(s1).arc_width, 0);
    EXPECT_EQ(el(s1).start_x, 10);
    // Centres 2600 apart with a nearly straight handle: straight.
    int far = box(2600, 0, 10, 10, 2);
    int s2 = link(a, far, path_arc, {{1300, 20}});
    EXPECT_EQ(el(s2).arc_width, 0);
}

TEST_F(Geometry, ElementWiderThanTheArcIsLaidOutStraight) {
    // A round element of half width 60 on an arc of radius 20: no crossing.
    int a = box(0, 0, 60, 60, 2), b = box(40, 0, 5, 5, 2);
    int c = link(a, b, path_arc, {{20, -20}});
    EXPECT_EQ(el(c).arc_width, 0);
    EXPECT_TRUE(std::isfinite(el(c).arrow_x));
    EXPECT_TRUE(std::isfinite(el(c).arrow_y));
    // The bend is kept: once the ends move apart the arc comes back.
    EXPECT_EQ(el(c).points[0].y, -20);
    move_element(s, b, 400, 0);
    EXPECT_GT(el(c).arc_width, 0);
    int px, py;
    float ax, ay;
    double angle;
    EXPECT_FALSE(clip_arc_round(1, 20, 0, 60, 10, true, &px, &py, &ax, &ay, &angle));
    EXPECT_FALSE(clip_arc_round(1, 0, 0, 5, 10, false, &px, &py, &ax, &ay, &angle));
    // An arrowhead longer than the arc's diameter.
    EXPECT_FALSE(clip_arc_round(1, 4, 0, 2, 10, true, &px, &py, &ax, &ay, &angle));
    // A flat ellipse has no crossing to offer: refused, not a division by zero.
    EXPECT_FALSE(
        clip_arc_rect(1, 0, 0, -5, 5, 5, -5, 0, 0, 10, 10, false, &px, &py, &ax, &ay, &angle));
    EXPECT_TRUE(
        clip_arc_rect(1, 10, 0, 5, 5, 15, -5, 0, 10, 10, 10, false, &px, &py, &ax, &ay, &angle));
    // The nearest crossing counter-clockwise from angle 0: the box's top at
    // (8.66, 5).
    EXPECT_EQ(px, 9);
    EXPECT_EQ(py, 5);
}

TEST_F(Geometry, OverlappingEndsOnAShortArcGoTheLongWayRound) {
    int a = box(0, 0, 15, 15, 2), b = box(24, 0, 15, 15, 2);
    int c = link(a, b, path_arc, {{12, -4}});
    EXPECT_GT(el(c).arc_width, 0);
    EXPECT_EQ(el(c).sweep, -1);
}

TEST_F(Geometry, PolylineAndOrthogonalEnds) {
    int a = box(0, 0, 20, 10), b = box(100, 100, 20, 10);
    int p = link(a, b, path_polyline, {{60, 0}, {100, 40}});
    EXPECT_EQ(el(p).start_x, 20);
    EXPECT_EQ(el(p).start_y, 0);
    EXPECT_EQ(el(p).end_x, 100);
    EXPECT_EQ(el(p).end_y, 90);
    EXPECT_FLOAT_EQ(el(p).arrow_y, 80);
    EXPECT_EQ(el(p).points.size(), 2u); // bend points are kept

    // Orthogonal: leaves the box sideways towards a bend to the right, and
    // enters the other from the top.
    int o = link(a, b, path_orthogonal, {{100, 0}});
    EXPECT_EQ(el(o).start_x, 20);
    EXPECT_EQ(el(o).start_y, 0);
    EXPECT_EQ(el(o).end_x, 100);
    EXPECT_EQ(el(o).end_y, 90);
    EXPECT_FLOAT_EQ(el(o).arrow_x, 100);
    EXPECT_FLOAT_EQ(el(o).arrow_y, 80);
    // A next bend within the box's width: the first bend point is placed
    // below the box, halfway to that bend, and the pipe leaves through the
    // bottom at the bend's x.
    int o2 = link(a, b, path_orthogonal, {{30, 60}, {10, 80}, {100, 80}});
    EXPECT_EQ(el(o2).points[0].x, 10);
    EXPECT_EQ(el(o2).points[0].y, 45);
    EXPECT_EQ(el(o2).start_x, 10);
    EXPECT_EQ(el(o2).start_y, 10);
    // A valve (not shape 5) is joined at its centre.
    int v = box(200, 0, 8, 12, 3, ek_valve);
    int o3 = link(v, b, path_orthogonal, {{200, 100}});
    EXPECT_EQ(el(o3).start_x, 200);
    EXPECT_EQ(el(o3).start_y, 0);
}

// A rectangular end whose next point stands exactly above or below its
// side takes that point's x (the side's ends count as inside) and leaves
// through the top or bottom; one pixel further out it leaves sideways.
TEST_F(Geometry, AnOrthogonalEndAtTheBoxsSideLeavesThroughTopOrBottom) {
    int a = box(0, 0, 20, 10), b = box(100, 100, 20, 10);
    // The next bend level with the box, at its right side: the first point
    // goes halfway to that side, which is the side itself.
    int o = link(a, b, path_orthogonal, {{0, 0}, {20, 5}, {100, 5}});
    EXPECT_EQ(el(o).points[0].x, 20);
    EXPECT_EQ(el(o).points[0].y, 5);
    EXPECT_EQ(el(o).start_x, 20);
    EXPECT_EQ(el(o).start_y, 10);
    int left = link(a, b, path_orthogonal, {{0, 0}, {-20, -5}, {100, -5}});
    EXPECT_EQ(el(left).start_x, -20);
    EXPECT_EQ(el(left).start_y, -10);
    int out = link(a, b, path_orthogonal, {{0, 0}, {22, 5}, {100, 5}});
    EXPECT_EQ(el(out).points[0].x, 21);
    EXPECT_EQ(el(out).start_x, 20);
    EXPECT_EQ(el(out).start_y, 5);
}

TEST_F(Geometry, PipeEndsMeetTheirElementsSquarely) {
    // A valve (a point) level with a stock: a straight pipe, its point
    // halfway between the valve and the stock's facing edge, held at the
    // valve's height within the stock.
    int stock = box(320, 180, 30, 15);
    int valve = box(180, 184, 12, 8, 5, ek_valve);
    int pipe = link(valve, stock, path_orthogonal, {{180, 184}});
    EXPECT_EQ(el(pipe).points[0].x, (180 + 290) / 2);
    EXPECT_EQ(el(pipe).points[0].y, 184);
    EXPECT_EQ(el(pipe).end_x, 290);
    EXPECT_EQ(el(pipe).end_y, 184);
    // Stacked boxes overlapping sideways too: halfway between the centres,
    // the x of the from-box held within the to-box.
    int low = box(330, 260, 30, 15);
    int up = link(low, stock, path_orthogonal, {{0, 0}});
    EXPECT_EQ(el(up).points[0].x, 330);
    EXPECT_EQ(el(up).points[0].y, (260 + 180) / 2);
    // Moved apart on both axes: one turn at the nearer corner.
    el(stock).x = 360, el(stock).y = 240;
    connector_geometry(s, pipe);
    EXPECT_EQ(el(pipe).points[0].x, 180);
    EXPECT_EQ(el(pipe).points[0].y, 240);
    EXPECT_EQ(el(pipe).start_x, 180); // down out of the valve
    EXPECT_EQ(el(pipe).start_y, 184 + 8);
    EXPECT_EQ(el(pipe).end_x, 330); // into the stock's left side
    EXPECT_EQ(el(pipe).end_y, 240);
    // Two or more points: the end points go against their elements, a
    // point level with a centre facing the from-box's left edge and the
    // to-box's right edge.
    std::vector<sketch_point> pts{{0, 0}, {320, 180}, {400, 240}, {0, 0}};
    place_pipe_ends(pts, el(stock), el(stock));
    EXPECT_EQ(pts[0].x, 360); // beside the box: from its centre
    EXPECT_EQ(pts[0].y, 180);
    EXPECT_EQ(pts[3].x, (400 + 390) / 2); // level with it: halfway to its edge
    EXPECT_EQ(pts[3].y, 240);
    pts = {{0, 0}, {360, 240}, {360, 240}, {0, 0}};
    place_pipe_ends(pts, el(stock), el(stock));
    EXPECT_EQ(pts[0].x, (360 + 330) / 2);
    EXPECT_EQ(pts[3].x, (360 + 390) / 2);
    // Two valves (points) at one height overlap vertically: the pipe runs
    // straight across, its point halfway; a stock whose top edge is the
    // valve's height overlaps it too.
    int v1 = box(0, 400, 8, 12, 5, ek_valve), v2 = box(200, 400, 8, 12, 5, ek_valve);
    int level = link(v1, v2, path_orthogonal, {{0, 0}});
    EXPECT_EQ(el(level).points[0].x, 100);
    EXPECT_EQ(el(level).points[0].y, 400);
    int below = box(300, 430, 30, 30);
    int edge = link(v1, below, path_orthogonal, {{0, 0}});
    EXPECT_EQ(el(edge).points[0].x, (0 + 270) / 2);
    EXPECT_EQ(el(edge).points[0].y, 400);
}

TEST_F(Geometry, WidthCodesEnlargeTheArrowheadInProportion) {
    arrowhead plain = connector_arrowhead(0);
    EXPECT_EQ(plain.width, 8);
    EXPECT_EQ(plain.length, 10);
    EXPECT_EQ(connector_arrowhead(10).width, 8);
    arrowhead w15 = connector_arrowhead(15), w25 = connector_arrowhead(25);
    EXPECT_EQ(w15.width, 13);
    EXPECT_EQ(w15.length, 16); // 13 / 0.4 * 0.5 truncated
    EXPECT_EQ(w25.width, 18);
    EXPECT_EQ(w25.length, 22);
    // The first band's ends: 11 one pixel wider, 20 ten (18 / 0.4 * 0.5 long).
    EXPECT_EQ(connector_arrowhead(11).width, 9);
    arrowhead w20 = connector_arrowhead(20);
    EXPECT_EQ(w20.width, 18);
    EXPECT_EQ(w20.length, 22);
    // The second band from its first code: 21 is 8 + 2 * 21 - 40 = 10 wide,
    // 10 / 0.4 * 0.5 = 12 long; 30 is 28 wide, 35 long.
    EXPECT_EQ(connector_arrowhead(21).width, 10);
    EXPECT_EQ(connector_arrowhead(21).length, 12);
    EXPECT_EQ(connector_arrowhead(30).width, 28);
    EXPECT_EQ(connector_arrowhead(30).length, 35);
    // The global metrics are untouched by a connector's code.
    EXPECT_EQ(workbench_metrics().arrow_width, 8);
    // A zero length metric: no division by it.
    workbench_metrics().arrow_length = 0;
    EXPECT_EQ(connector_arrowhead(25).length, 0);
    EXPECT_EQ(connector_arrowhead(25).width, 18);
    // The wider arrowhead sets the arrow base further back.
    workbench_metrics() = sketch_metrics{};
    int a = box(0, 0, 20, 10), b = box(100, 0, 20, 10);
    EXPECT_FLOAT_EQ(el(link(a, b, path_straight, {{0, 0}}, 25)).arrow_x, 58);
}

TEST_F(Geometry, BendKeepingFollowsTheMovedEnd) {
    s.min_x = s.min_y = -1000;
    s.max_x = s.max_y = 1000;
    sketch_point f{0, 0}, o{100, 0}, p{50, -30};
    // A translation of the moving end along the chord scales the handle.
    sketch_point q = keep_bend(s, p, f, o, {200, 0});
    EXPECT_EQ(q.x, 100);
    // The distance from the chord grows with the square (-120, rounded by
    // adding 0.5 and truncating).
    EXPECT_EQ(q.y, -119);
    // Old centre on the other end's centre: the handle stays.
    q = keep_bend(s, p, f, f, {300, 300});
    EXPECT_EQ(q.x, 50);
    EXPECT_EQ(q.y, -30);
    // Moving onto the other end's centre puts the handle there.
    q = keep_bend(s, p, f, o, f);
    EXPECT_EQ(q.x, 0);
    EXPECT_EQ(q.y, 0);
    // Kept strictly inside the drawing bounds.
    q = keep_bend(s, p, f, o, {900, 0});
    EXPECT_EQ(q.x, 450);
    EXPECT_EQ(q.y, -999);
    // Without bounds, still a 16-bit unit.
    sketch_state wide;
    q = keep_bend(wide, {0, 30000}, f, {1, 0}, {30000, 0});
    EXPECT_EQ(q.y, 32767);

    // Through move_element: the arc's handle moves with the element.
    int a = box(0, 0, 10, 10, 2), b = box(100, 0, 10, 10, 2);
    int c = link(a, b, path_arc, {{50, -30}});
    move_element(s, b, 200, 0);
    EXPECT_EQ(el(c).points[0].x, 100);
    EXPECT_EQ(el(c).points[0].y, -119);
    EXPECT_GT(el(c).arc_width, 0);
}

TEST_F(Geometry, LabelBoxesWrapNamesIntoFewLines) {
    int w, h;
    label_box_size("population", 60, &w, &h);
    EXPECT_EQ(w, 60); // one word: the default width
    EXPECT_EQ(h, 2 * 14 + 3);
    label_box_size("", 0, &w, &h);
    EXPECT_EQ(h, 14 + 3);
    const char* name = "average time to adjust the inventory of finished goods";
    int tw = measure_text(name, nullptr);
    label_box_size(name, tw, &w, &h);
    EXPECT_GT(h, 14);      // more than one line
    EXPECT_LE(h, 14 * 10); // at most ten
    EXPECT_LT(w, tw);
    EXPECT_EQ(w % 2, 0);
    // Without blanks, words break at a change to upper case.
    label_box_size("AverageTimeToAdjustTheInventoryOfGoods", 228, &w, &h);
    EXPECT_GT(h, 14);
    // A text too long for ten lines at every tried width: the tenth line
    // takes the rest, never an eleventh.
    std::string many;
    for (int k = 0; k < 400; ++k) many += "word ";
    label_box_size(many.c_str(), measure_text(many.c_str(), nullptr), &w, &h);
    EXPECT_EQ(h, 14 * 10);
}

TEST_F(Geometry, GridSnapsCentresOrEdges) {
    sketch_metrics m;
    m.grid_x = m.grid_y = 10;
    sketch_elem e;
    e.x = 23, e.y = -23, e.w = 5, e.h = 5;
    snap_to_grid(e, m);
    EXPECT_EQ(e.x, 20);
    EXPECT_EQ(e.y, -20);
    e.x = 23;
    m.align_x = 1;
    snap_to_grid(e, m);
    EXPECT_EQ(e.x, 25); // low edge on the grid
    e.x = 27;
    m.align_x = 2;
    snap_to_grid(e, m);
    EXPECT_EQ(e.x, 25); // high edge on the grid
    m.grid_x = m.grid_y = 1;
    e.x = 27;
    snap_to_grid(e, m);
    EXPECT_EQ(e.x, 27);
}

TEST_F(Geometry, HitTestMarginsHandlesAndOrder) {
    int a = box(0, 0, 20, 10);
    int b = box(30, 0, 20, 10);
    EXPECT_EQ(hit_test(s, 0, 15, 0, false), 1);
    EXPECT_EQ(s.hover, b); // the later element is on top
    EXPECT_EQ(hit_test(s, 0, -15, 0, false), 1);
    EXPECT_EQ(s.hover, a);
    // 2 units right of the last box: only the margin, nothing hit.
    EXPECT_EQ(hit_test(s, 0, 52, 0, false), 0);
    EXPECT_EQ(s.hover, 0);
    // The bottom-right handle of the element showing handles.
    s.handles = static_cast<std::uint16_t>(b);
    EXPECT_EQ(hit_test(s, 1, 52, 12, false), -1);
    EXPECT_EQ(s.grab, 3);
    EXPECT_EQ(s.drag_right, 50);
    EXPECT_EQ(s.drag_bottom, 10);
    // Hover reports the handle but leaves the grab and anchor alone.
    s.grab = 0;
    s.drag_right = 0;
    EXPECT_EQ(hit_test(s, 2, 51, 11, false), -1);
    EXPECT_EQ(s.grab, 0);
    EXPECT_EQ(s.drag_right, 0);
    // Levels above the shown level and shared elements are not hit.
    el(b).level = 5;
    s.shown_level = 4;
    EXPECT_EQ(hit_test(s, 0, 40, 0, false), 0);
    el(b).level = 4; // at the shown level: hit
    EXPECT_EQ(hit_test(s, 0, 40, 0, false), 1);
    EXPECT_EQ(s.hover, b);
    s.shown_level = max_level;
    el(b).runtime |= ef_shared;
    EXPECT_EQ(hit_test(s, 0, 40, 0, false), 0);
    EXPECT_EQ(hit_test(s, 0, 40, 0, true), 1);
    // A round element's handle is its bottom centre.
    int r = box(200, 200, 10, 10, 2);
    s.handles = static_cast<std::uint16_t>(r);
    EXPECT_EQ(hit_test(s, 1, 200, 211, false), -1);
    EXPECT_EQ(s.grab, 2);
}

TEST_F(Geometry, NaturalSizesByKindAndShape) {
    int v = add_sketch_element(s.view, ek_valve, 0, 0, 0, 5, ef_primary, 0);
    element_size(s, v, 0);
    EXPECT_EQ(el(v).w, 12);
    EXPECT_EQ(el(v).h, 12);
    int t = add_sketch_element(s.view, ek_text, 0, 0, 0, 0, 0, 0);
    el(t).text = "note";
    element_size(s, t, 0);
    EXPECT_EQ(el(t).w, (4 * 6 + 5) / 2);
    EXPECT_EQ(el(t).h, (14 + 3) / 2);
    int io = add_sketch_element(s.view, ek_text, 0, 0, 0, 3, ef_io_object, 0);
    el(io).label = 0;
    element_size(s, io, 0);
    EXPECT_EQ(el(io).w, 80);
    EXPECT_EQ(el(io).h, 20);
    int round = add_sketch_element(s.view, ek_variable, 0, 0, 0, 2, ef_primary, 0);
    element_size(s, round, 0);
    EXPECT_EQ(el(round).w, 12);
    // Automatic shape: a level becomes a box of the default size.
    int lv = add_sketch_element(s.view, ek_variable, 0, 0, 0, shape_auto, ef_primary, 0);
    element_size(s, lv, st_level);
    EXPECT_EQ(el(lv).shape_code(), 3);
    EXPECT_EQ(el(lv).w, 30);
}

TEST_F(Geometry, SketchUnitsMapToPixelsTruncating) {
    EXPECT_EQ(unit_to_pixel(33, 150, 10), 39);
    EXPECT_EQ(pixel_to_unit(39, 150, 10), 32);
    EXPECT_EQ(unit_to_pixel(-33, 150, 0), -49);
    EXPECT_EQ(pixel_to_unit(5, 0, 0), 0);
}

} // namespace

TEST_F(Geometry, ASketchPictureGivesItsTextElementItsSize) {
    // The cloud's own size whatever its text (shape 0: the natural size).
    const int cloud = add_sketch_element(s.view, ek_text, 50, 50, 1, 0, 0, 0);
    el(cloud).text = " ";
    element_size(s, cloud, 0);
    EXPECT_EQ(el(cloud).w, 14);
    EXPECT_EQ(el(cloud).h, 9);
    // A box (shape 3) without a size takes the picture's; a round shape
    // the circle round it.
    const int boxed = add_sketch_element(s.view, ek_text, 50, 50, 7, 3, 0, 0);
    element_size(s, boxed, 0);
    EXPECT_EQ(el(boxed).w, 12);
    EXPECT_EQ(el(boxed).h, 12);
    const int round = add_sketch_element(s.view, ek_text, 50, 50, 7, 2, 0, 0);
    element_size(s, round, 0);
    EXPECT_EQ(el(round).w, (static_cast<int>(std::sqrt(24.0 * 24 * 2)) + 2) / 2);
    // No picture (0, or past 50): the text's size.
    const int plain = add_sketch_element(s.view, ek_text, 50, 50, 0, 0, 0, 0);
    el(plain).text = " ";
    element_size(s, plain, 0);
    EXPECT_NE(el(plain).w, 14);
}

// Which shapes are round for a connector's end: a straight line ends on the
// circle of shapes 2 and 6 and on the box of the others (a loop shape too); a
// polyline takes the loops (4, 5) and shape 11 as round as well. Centres 100
// apart along (60, 80), half sizes 10: the circle is left at (6, 8) from the
// centre, the box at (7, 10) (its top edge, 7.5 truncated).
TEST_F(Geometry, RoundShapesEndConnectorsOnTheirCircleTheOthersOnTheirBox) {
    for (int shape : {2, 6, 3, 4}) {
        SCOPED_TRACE(shape);
        const bool round = shape == 2 || shape == 6;
        int a = box(0, 100, 10, 10, shape), b = box(60, 180, 10, 10, shape);
        int c = link(a, b, path_straight | path_no_arrow);
        EXPECT_EQ(el(c).start_x, round ? 6 : 7);
        EXPECT_EQ(el(c).start_y, round ? 108 : 110);
        EXPECT_EQ(el(c).end_x, round ? 54 : 52); // 52.5 truncated
        EXPECT_EQ(el(c).end_y, round ? 172 : 170);
    }
    for (int shape : {2, 4, 5, 6, 11, 3, 0}) {
        SCOPED_TRACE(shape);
        const bool round = shape != 3 && shape != 0;
        int a = box(0, 0, 10, 10, shape), b = box(300, 0, 10, 10);
        int p = link(a, b, path_polyline, {{60, 80}, {300, 80}});
        EXPECT_EQ(el(p).start_x, round ? 6 : 7);
        EXPECT_EQ(el(p).start_y, round ? 8 : 10);
    }
}

// A polyline whose first bend lies inside its element starts at that bend:
// the line never reaches out past the point it runs to.
TEST_F(Geometry, APolylineBendInsideItsElementIsWhereTheLineStarts) {
    for (int shape : {2, 3}) {
        SCOPED_TRACE(shape);
        int a = box(0, 0, 20, 20, shape), b = box(300, 0, 10, 10);
        int p = link(a, b, path_polyline, {{3, 4}, {300, 4}});
        EXPECT_EQ(el(p).start_x, 3);
        EXPECT_EQ(el(p).start_y, 4);
    }
}

// Depth order of faces where neither hides the other, and screen extents
// apart in either direction; a wall painted exactly over its outline.
#include "chart/frame.h"
#include "chart/polygon.h"
#include "chart/view3d.h"
#include "chart_fixture.h"

#include <QPolygon>

#include <array>

using charttest::add;
using charttest::Canvas;
using charttest::flat_view;

namespace {

void place(CChartFace& f, CChartView3D& v) {
    f.SetFlagC(1);
    f.Project(&v);
    f.ToScreen(&v);
}

// Two faces folded like an open book facing the viewer, meeting along
// x = 10: each stands in front of the other's plane, so neither can hide
// the other and neither must be painted after the other.
TEST(FaceOrder, FacesInFrontOfEachOthersPlanesKeepTheirOrder) {
    CChartView3D v = flat_view();
    CChartFace left, right;
    add(left, {{0, 0, 10}, {10, 0, 0}, {10, 20, 0}, {0, 20, 10}});
    add(right, {{10, 0, 0}, {20, 0, 10}, {20, 20, 10}, {10, 20, 0}});
    place(left, v);
    place(right, v);
    ASSERT_EQ(left.IsFrontFacing(), 1);
    ASSERT_EQ(right.IsFrontFacing(), 1);
    EXPECT_EQ(left.LiesInFront(right), 1);
    EXPECT_EQ(right.LiesInFront(left), 1);
    EXPECT_EQ(left.MustFollow(right), 0);
    EXPECT_EQ(right.MustFollow(left), 0);
}

// Faces one above the other on the screen do not overlap, whichever is
// asked about the other; side by side likewise.
TEST(FaceOrder, FacesApartOnTheScreenDoNotOverlapEitherWayRound) {
    CChartView3D v = flat_view();
    CChartFace low, high, beside;
    add(low, {{0, 0, 0}, {20, 0, 0}, {20, 20, 0}, {0, 20, 0}});
    add(high, {{0, 30, 5}, {20, 30, 5}, {20, 50, 5}, {0, 50, 5}});
    add(beside, {{30, 0, 5}, {50, 0, 5}, {50, 20, 5}, {30, 20, 5}});
    for (CChartFace* f : {&low, &high, &beside}) place(*f, v);
    EXPECT_EQ(low.ScreenExtentsOverlap(high), 0);
    EXPECT_EQ(high.ScreenExtentsOverlap(low), 0);
    EXPECT_EQ(low.ScreenExtentsOverlap(beside), 0);
    EXPECT_EQ(beside.ScreenExtentsOverlap(low), 0);
    EXPECT_EQ(low.ExtentsOverlap(high), 0);
    EXPECT_EQ(high.ExtentsOverlap(low), 0);
    EXPECT_EQ(high.MustFollow(low), 0);
    EXPECT_EQ(beside.MustFollow(low), 0);
}

// The wall of a turned view is painted inside its outline and fills it,
// also in perspective, where the wall's upright edges lean.
TEST(FaceOrder, AWallIsPaintedOverItsOutlineAndNowhereElse) {
    for (double perspective : {0.0, 60.0})
        for (double rotation : {-30.0, -60.0}) {
            SCOPED_TRACE(rotation + 1000 * perspective);
            CChartView3D v;
            v.SetAngles(40, rotation);
            v.SetPerspective(perspective);
            v.FitToRect(CChartRect(0, 0, 400, 300));
            CChartFrame f(&v);
            f.SetName("picture");
            f.MakeOutline();
            const CChartPoint* o = f.GetOutline();
            QPolygon outline;
            for (int k = 0; k < 4; ++k) outline << QPoint(o[k].x, o[k].y);
            Canvas c(400, 300);
            CChartDC dc(&c.cdc);
            f.DrawBody(&dc);
            int inside = 0, painted_inside = 0, painted_outside = 0;
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 400; ++x) {
                    const bool black = c.at(x, y) == RGB(0, 0, 0);
                    bool near = false;
                    for (int dy = -1; dy <= 1 && !near; ++dy)
                        for (int dx = -1; dx <= 1 && !near; ++dx)
                            near = outline.containsPoint(QPoint(x + dx, y + dy), Qt::OddEvenFill);
                    const bool in = outline.containsPoint(QPoint(x, y), Qt::OddEvenFill);
                    inside += in;
                    painted_inside += in && black;
                    painted_outside += black && !near;
                }
            ASSERT_GT(inside, 500);
            EXPECT_GE(painted_inside, inside * 95 / 100);
            // The walk of whole pixels may pass a corner by one.
            EXPECT_LE(painted_outside, 3);
        }
}

} // namespace

// Ribbons: box winding, flags reaching every face, faces brought into the
// current transform, the two depth sorts (the pairwise one bounded on
// cyclic overlap) and the style left as it was found.
#include "chart/ribbon.h"
#include "chart/view3d.h"
#include "chart_fixture.h"

#include <cmath>

using charttest::Canvas;
using charttest::flat_view;

namespace {

int front_faces(CChartRibbon& r) {
    int n = 0;
    for (int i = 1; i <= r.GetCount(); ++i) n += r.GetPart(i)->IsFrontFacing();
    return n;
}

TEST(ChartRibbon, BoxShowsAtMostThreeFacesFromAnyView) {
    CChartRibbon r;
    r.SetFlagA(0);
    r.SetFlagC(1);
    r.AddBox(-10, 20, -5, 15, -30, 10);
    ASSERT_EQ(r.GetCount(), 6);
    for (double e : {0.0, 10.0, 20.0, 45.0, 89.0})
        for (double rot : {0.0, -1.0, -30.0, -45.0, -89.0}) {
            CChartView3D v;
            v.SetAngles(e, rot);
            r.Project(&v);
            int n = front_faces(r);
            EXPECT_GE(n, 1) << e << " " << rot;
            EXPECT_LE(n, 3) << e << " " << rot;
        }
    // Straight on, only the front face (z = z2, face 5) turns to the viewer.
    CChartView3D v;
    v.SetAngles(0, 0);
    r.Project(&v);
    EXPECT_EQ(front_faces(r), 1);
    EXPECT_EQ(r.GetPart(5)->IsFrontFacing(), 1);
    // The default view sees the front, the top and the right side.
    CChartView3D d;
    r.Project(&d);
    EXPECT_EQ(front_faces(r), 3);
    EXPECT_EQ(r.GetPart(5)->IsFrontFacing() + r.GetPart(6)->IsFrontFacing() +
                  r.GetPart(4)->IsFrontFacing(),
              3);
}

TEST(ChartRibbon, FlagsAndTransformReachFacesAddedBeforeAndAfter) {
    CChartStyle style;
    CChartRibbon r(&style);
    CChartFace* before = r.AddPanel(0, 10, 0, 10, 0, 5);
    r.SetFlagC(1);
    r.SetFlagB(1);
    r.Translate(5, 0, 0);
    CChartFace* after = r.AddPanel(0, 10, 0, 10, 0, 5);
    for (CChartFace* f : {before, after}) {
        EXPECT_EQ(f->GetStyle(), &style);
        EXPECT_FALSE(f->OwnsStyle());
    }
    // Culling reached both: a panel edge-on faces away and is culled.
    CChartView3D v = flat_view();
    r.Project(&v);
    EXPECT_EQ(before->IsFrontFacing(), 0);
    EXPECT_EQ(after->IsFrontFacing(), 0);
    EXPECT_EQ(after->GetTransformedMinX(), 5.0);
    EXPECT_EQ(after->GetTransformedMaxX(), 15.0);
    EXPECT_EQ(after->GetWorldMinX(), 0.0);
    EXPECT_EQ(r.GetTransformedMaxX(), 15.0);
    EXPECT_EQ(r.GetWorldMaxX(), 10.0);
    // Scaled about the offset, then a panel added: it is scaled too.
    r.Scale(2, 1, 1);
    CChartFace* third = r.AddPanel(1, 2, 0, 1, 0, 1);
    EXPECT_EQ(third->GetTransformedMinX(), 7.0);
    EXPECT_EQ(before->GetTransformedMaxX(), 25.0);
    // Without a style the faces draw with neither pen nor brush of their own.
    CChartRibbon bare;
    CChartFace* f = bare.AddPanel(0, 1, 0, 1, 0, 1);
    EXPECT_FALSE(f->HasStyle());
}

// A panel seen straight on spanning x0..x1, y 0..20, at depth z (min z).
CChartFace* flat_panel(CChartRibbon& r, double x0, double x1, double z) {
    auto* f = new CChartFace();
    for (auto [x, y] : {std::pair{x0, 0.0}, {x1, 0.0}, {x1, 20.0}, {x0, 20.0}})
        f->AddVertexCopy(CChartVertex(x, y, z));
    return r.AddPart(f);
}

TEST(ChartRibbon, SortByDepthIsStableAndAscending) {
    CChartRibbon r;
    r.SetFlagA(0);
    r.SetFlagB(1);
    CChartFace* a = flat_panel(r, 0, 10, 3);
    CChartFace* b = flat_panel(r, 0, 10, 1);
    CChartFace* c = flat_panel(r, 0, 10, 2);
    CChartFace* d = flat_panel(r, 20, 30, 1); // equal key to b, added later
    CChartView3D v = flat_view();
    r.Project(&v);
    EXPECT_EQ(r.GetPart(1), b);
    EXPECT_EQ(r.GetPart(2), d);
    EXPECT_EQ(r.GetPart(3), c);
    EXPECT_EQ(r.GetPart(4), a);
    EXPECT_EQ(r.ProjectedBoxMinZ(), 1.0);
    EXPECT_EQ(r.ProjectedBoxMaxZ(), 3.0);
    EXPECT_EQ(r.ProjectedBoxMidX(), 15.0);
    // With neither sort the faces stay in the order added.
    CChartRibbon plain;
    plain.SetFlagA(0);
    CChartFace* p1 = flat_panel(plain, 0, 10, 3);
    CChartFace* p2 = flat_panel(plain, 0, 10, 1);
    plain.Project(&v);
    EXPECT_EQ(plain.GetPart(1), p1);
    EXPECT_EQ(plain.GetPart(2), p2);
    // Nor does asking for the depth order with that switch off.
    plain.SortByDepth();
    EXPECT_EQ(plain.GetPart(1), p1);
    EXPECT_EQ(plain.GetPart(2), p2);
    // An empty ribbon projects without reading a face.
    CChartRibbon empty;
    empty.Project(&v);
    EXPECT_EQ(empty.ProjectedBoxMaxX(), 0.0);
}

TEST(ChartRibbon, OverlapSortPaintsTheNearerPanelLast) {
    CChartStyle red, blue;
    red.SetFillColor(CChartColor(255, 0, 0));
    blue.SetFillColor(CChartColor(0, 0, 255));
    CChartRibbon r;
    CChartFace* near_face = flat_panel(r, 0, 30, 10);
    CChartFace* far_face = flat_panel(r, 10, 40, 0);
    near_face->SetStyle(&blue);
    far_face->SetStyle(&red);
    near_face->SetNoFill(0);
    far_face->SetNoFill(0);
    CChartView3D v = flat_view();
    r.Project(&v);
    r.ToScreen(&v);
    r.Project(&v); // now with screen boxes
    EXPECT_EQ(r.GetPart(1), far_face);
    EXPECT_EQ(r.LastOverlapPasses(), 1);
    Canvas c(200, 200);
    CChartDC dc(&c.cdc);
    r.Draw(&dc);
    EXPECT_EQ(c.at(140, 80), RGB(0, 0, 255)); // x 20: both, the near one shows
    EXPECT_EQ(c.at(170, 80), RGB(255, 0, 0)); // x 35: only the far one
    EXPECT_EQ(dc.PenDepth(), 0);
    EXPECT_EQ(dc.BrushDepth(), 0);
}

TEST(ChartRibbon, CyclicOverlapEndsAfterBoundedPasses) {
    // Three tilted strips each lying over the next: the pairwise test
    // exchanges them for ever.
    const double strips[3][4][3] = {
        {{22, 23, 25}, {-15, 39, -30}, {-7, 31, -30}, {30, 15, 25}},
        {{18, 38, 4}, {35, 4, 37}, {34, 8, 37}, {17, 42, 4}},
        {{23, 22, 26}, {39, -26, -30}, {38, -22, -30}, {22, 26, 26}},
    };
    CChartRibbon r;
    r.SetFlagC(1);
    for (const auto& s : strips) {
        auto* f = new CChartFace();
        for (const auto& p : s) f->AddVertexCopy(CChartVertex(p[0], p[1], p[2]));
        r.AddPart(f);
    }
    CChartView3D v = flat_view();
    r.Project(&v);
    r.ToScreen(&v);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(r.GetPart(i)->IsFrontFacing(), 1);
    // Each strip must follow another one: a cycle.
    CChartFace *a = r.GetPart(1), *b = r.GetPart(2), *c = r.GetPart(3);
    EXPECT_EQ(a->MustFollow(*b) + b->MustFollow(*a) + b->MustFollow(*c) + c->MustFollow(*b) +
                  a->MustFollow(*c) + c->MustFollow(*a),
              3);
    r.Project(&v); // sorts with the screen boxes in place; must end
    EXPECT_EQ(r.LastOverlapPasses(), 3);
    // Every face is still held once.
    int seen = 0;
    for (int i = 1; i <= 3; ++i) seen |= r.GetPart(i) == a ? 1 : r.GetPart(i) == b ? 2 : 4;
    EXPECT_EQ(seen, 7);
}

TEST(ChartRibbon, UnoutlinedDrawHidesEdgesAndRestoresThePen) {
    CChartStyle style;
    style.SetPenColor(CChartColor(0, 0, 0));
    style.SetFillColor(CChartColor(0, 160, 0));
    CChartRibbon r(&style);
    r.SetFlagA(0);
    flat_panel(r, 0, 30, 0);
    CChartView3D v = flat_view();
    r.Project(&v);
    r.ToScreen(&v);
    Canvas c(200, 200);
    CChartDC dc(&c.cdc);
    r.SetOutlined(0);
    r.Draw(&dc);
    // The panel's left edge (x 0 -> pixel 100) is in the fill colour.
    EXPECT_EQ(c.at(100, 80), RGB(0, 160, 0));
    EXPECT_EQ(style.GetPenColor(), CChartColor(0, 0, 0));
    r.SetOutlined(1);
    r.Draw(&dc);
    EXPECT_EQ(c.at(100, 80), RGB(0, 0, 0));
    EXPECT_EQ(dc.PenDepth(), 0);
    EXPECT_EQ(dc.BrushDepth(), 0);
}

// A panel seen straight on spanning x0..x1 and y0..y1 at depth z.
CChartFace* panel(CChartRibbon& r, double x0, double x1, double y0, double y1, double z) {
    auto* f = new CChartFace();
    for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}})
        f->AddVertexCopy(CChartVertex(x, y, z));
    return r.AddPart(f);
}

// Faces whose extents only touch (one's top edge the other's bottom, or
// side by side) overlap for the painting order; a gap parts them.
TEST(ChartRibbon, FacesThatTouchOverlapAndAGapPartsThem) {
    CChartRibbon r;
    r.SetFlagA(0);
    CChartFace* a = panel(r, 0, 10, 0, 20, 0);
    CChartFace* above = panel(r, 5, 15, 20, 40, 1);
    CChartFace* apart = panel(r, 5, 15, 21, 40, 1);
    CChartFace* beside = panel(r, 10, 20, 0, 20, 1);
    CChartView3D v = flat_view();
    r.Project(&v);
    EXPECT_EQ(a->ExtentsOverlap(*above), 1);
    EXPECT_EQ(above->ExtentsOverlap(*a), 1);
    EXPECT_EQ(a->ExtentsOverlap(*beside), 1);
    EXPECT_EQ(beside->ExtentsOverlap(*a), 1);
    EXPECT_EQ(a->ExtentsOverlap(*apart), 0);
    EXPECT_EQ(apart->ExtentsOverlap(*a), 0);
}

} // namespace

// An upright panel runs round its edge: its four corners are the ends of
// the top at both depths, and each side joins corners that differ either in
// place or in depth, never both (a crossed, bow-tie outline would).
TEST(ChartRibbon, APanelsCornersRunRoundItsEdge) {
    CChartRibbon r;
    CChartFace* f = r.AddPanel(0, 10, 2, 7, 1, 3);
    ASSERT_EQ(f->GetCount(), 4);
    int at_start = 0, near = 0;
    for (int i = 1; i <= 4; ++i) {
        CChartVertex* a = f->GetVertex(i);
        CChartVertex* b = f->GetVertex(i % 4 + 1);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        const bool moves = a->GetWorldX() != b->GetWorldX() || a->GetWorldY() != b->GetWorldY();
        const bool deepens = a->GetWorldZ() != b->GetWorldZ();
        EXPECT_NE(moves, deepens) << "side from corner " << i;
        at_start += a->GetWorldX() == 0 && a->GetWorldY() == 2;
        EXPECT_TRUE((a->GetWorldX() == 0 && a->GetWorldY() == 2) ||
                    (a->GetWorldX() == 10 && a->GetWorldY() == 7))
            << "corner " << i;
        near += a->GetWorldZ() == 1;
        EXPECT_TRUE(a->GetWorldZ() == 1 || a->GetWorldZ() == 3) << "corner " << i;
    }
    EXPECT_EQ(at_start, 2);
    EXPECT_EQ(near, 2);
}

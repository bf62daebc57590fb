// Vertices, vertex sets, polylines, polygons and faces: projection, the boxes
// per space, scaling about the offset, marker sizes, back faces and the
// pairwise depth-order test, with drawing checked on pixels and records.
#include "chart/polygon.h"
#include "chart/view3d.h"
#include "chart_fixture.h"
#include "platform/metafile.h"

#include <array>
#include <cmath>
#include <vector>

using charttest::add;
using charttest::Canvas;
using charttest::flat_view;

namespace {

template <class Set> void place(Set& s, CChartView3D& v) {
    s.Project(&v);
    s.ToScreen(&v);
}

// A flat vertex is already in screen space: projecting leaves it where it is,
// whatever the view's angles and perspective.
TEST(ChartVertex, AFlatVertexIsNotProjected) {
    CChartView3D v;
    v.SetAngles(30, 20);
    v.SetPerspective(9);
    CChartVertex p(3, 4, 5);
    p.SetFlat(1);
    p.Project(&v);
    EXPECT_EQ(p.GetProjectedX(), 3.0);
    EXPECT_EQ(p.GetProjectedY(), 4.0);
    EXPECT_EQ(p.GetProjectedZ(), 5.0);
    CChartVertex q(3, 4, 5);
    q.Project(&v);
    EXPECT_NE(q.GetProjectedX(), 3.0); // the same point not flat does move
}

// A styled marker: its ring in the pen colour, its centre pixel too; a copy
// of a marker without an outline draws no ring in the pen colour.
TEST(ChartVertex, MarkerCentreTakesThePenAndCopiesKeepTheOutlineSwitch) {
    CChartView3D fv = flat_view();
    CChartStyle style;
    style.SetPenColor(CChartColor(255, 0, 0));
    style.SetFillColor(CChartColor(0, 0, 255));
    CChartVertex m(0, 0, 0);
    m.SetStyle(&style);
    place(m, fv);
    {
        Canvas c(200, 200);
        CChartDC dc(&c.cdc);
        m.Draw(&dc);
        EXPECT_EQ(c.at(100, 100), RGB(255, 0, 0));
        EXPECT_EQ(c.at(97, 100), RGB(255, 0, 0));
        EXPECT_EQ(c.at(99, 100), RGB(0, 0, 255));
    }
    m.SetNoOutline(1);
    CChartVertex copy(m);
    place(copy, fv);
    Canvas c(200, 200);
    CChartDC dc(&c.cdc);
    copy.Draw(&dc);
    EXPECT_NE(c.at(97, 100), RGB(255, 0, 0));
    EXPECT_EQ(c.at(99, 100), RGB(0, 0, 255)); // still filled
    EXPECT_EQ(dc.PenDepth(), 0);
}

TEST(ChartVertex, ProjectionDividesBySignedWAboveTheThreshold) {
    CChartView3D v;
    v.SetPerspective(9);
    const double* m = v.GetMatrix();
    double len2 = m[3] * m[3] + m[7] * m[7] + m[11] * m[11];
    // A point along (m3, m7, m11) from the origin plus an offset across it has
    // w = 1 + t |m|^2 exactly as far as doubles go.
    auto check = [&](double w_target, bool divided) {
        double t = (w_target - 1.0) / len2;
        double x = t * m[3] + 7.0 * m[7], y = t * m[7] - 7.0 * m[3], z = t * m[11];
        CChartVertex p(x, y, z);
        p.Project(&v);
        double w = x * m[3] + y * m[7] + z * m[11] + m[15];
        double px = m[0] * x + m[4] * y + m[8] * z, pz = m[2] * x + m[6] * y + m[10] * z;
        EXPECT_NEAR(p.GetProjectedX(), divided ? px / w : px, 1e-9 * (1 + std::fabs(px / w)))
            << w_target;
        EXPECT_DOUBLE_EQ(p.GetProjectedZ(), pz) << w_target;
    };
    check(0.0009, false);
    check(-0.0009, false);
    check(0.0011, true);
    check(-0.5, true); // the signed w turns the point over
    // World, transformed and projected all start at the point given.
    CChartVertex q(1, 2, 3);
    EXPECT_EQ(q.GetProjectedY(), 2.0);
    EXPECT_EQ(q.GetTransformedZ(), 3.0);
}

TEST(ChartVertexSet, BoxesTranslateAndScaleAboutTheOffset) {
    CChartVertexSet s;
    add(s, {{1, 5, 0}, {3, 2, 0}});
    EXPECT_EQ(s.GetWorldMaxX(), 3.0);
    EXPECT_EQ(s.GetWorldMinX(), 1.0);
    EXPECT_EQ(s.GetWorldMaxY(), 5.0);
    EXPECT_EQ(s.GetWorldMinY(), 2.0);
    s.Translate(10, 0, 0);
    s.Scale(2, 2, 2);
    EXPECT_EQ(s.GetOffsetX(), 10.0);
    EXPECT_EQ(s.GetScaleX(), 2.0);
    EXPECT_EQ(s.GetTransformedMinX(), 12.0); // 10 + 2 x 1
    EXPECT_EQ(s.GetTransformedMaxX(), 16.0);
    EXPECT_EQ(s.GetVertex(2)->GetTransformedX(), 16.0);
    EXPECT_EQ(s.GetVertex(1)->GetTransformedY(), 10.0);
    EXPECT_EQ(s.GetWorldMaxX(), 3.0); // the world box stays

    // Clear keeps offset and scale: a refill is scaled about the old offset.
    s.Clear();
    EXPECT_EQ(s.GetCount(), 0);
    EXPECT_EQ(s.GetWorldMaxX(), 0.0);
    add(s, {{1, 0, 0}});
    s.Scale(3, 1, 1);
    EXPECT_EQ(s.GetScaleX(), 6.0);
    EXPECT_EQ(s.GetVertex(1)->GetTransformedX(), 10.0 + 3.0 * (1.0 - 10.0));
}

TEST(ChartVertexSet, ProjectedAndScreenBoxesAndTheEmptySet) {
    CChartView3D v = flat_view();
    CChartVertexSet s;
    place(s, v); // empty: nothing read, the boxes stay zero
    EXPECT_EQ(s.GetProjectedMaxX(), 0.0);
    EXPECT_EQ(s.GetScreenMaxX(), 0.0);
    add(s, {{-10, 20, 4}, {30, -5, -6}, {0, 0, 0}});
    place(s, v);
    EXPECT_EQ(s.GetProjectedMinX(), -10.0);
    EXPECT_EQ(s.GetProjectedMaxY(), 20.0);
    EXPECT_EQ(s.GetProjectedMidX(), 10.0);
    EXPECT_EQ(s.GetProjectedMidZ(), -1.0);
    EXPECT_EQ(s.GetScreenMinX(), 80.0);
    EXPECT_EQ(s.GetScreenMaxX(), 160.0);
    EXPECT_EQ(s.GetScreenMinY(), 60.0);
    EXPECT_EQ(s.GetScreenMaxY(), 110.0);
    s.Clear();
    place(s, v); // emptied again: the cleared boxes stay
    EXPECT_EQ(s.GetProjectedMinX(), 0.0);
    CChartVertex out(9, 9, 9);
    EXPECT_FALSE(s.GetVertexCopy(out, 1));
    EXPECT_EQ(out.GetWorldX(), 9.0);
}

TEST(ChartVertexSet, MarkerRadiiAndStyles) {
    // Back wall 400 x 300: the template's view-relative radius is 4.
    CChartView3D v;
    v.SetAngles(0, 0);
    for (auto set : {&CChartView3D::SetTopMargin, &CChartView3D::SetBottomMargin,
                     &CChartView3D::SetLeftMargin, &CChartView3D::SetRightMargin})
        (v.*set)(0);
    v.SetScaleMode(1);
    v.FitToRect(CChartRect(0, 0, 400, 300));
    ASSERT_EQ(v.GetReferenceRect(1).Width(), 400);
    ASSERT_EQ(v.GetReferenceRect(1).Height(), 300);
    CChartStyle style;
    style.SetPenColor(CChartColor(255, 0, 0));
    style.SetFillColor(CChartColor(0, 0, 255));
    CChartVertexSet scatter(&style);
    CChartPolyline line(&style);
    scatter.SetView(&v);
    line.SetView(&v);
    EXPECT_EQ(scatter.Marker().GetMarkerRadius(), 4);
    add(scatter, {{0, 0, 0}});
    add(line, {{0, 0, 0}});
    EXPECT_EQ(scatter.GetVertex(1)->GetMarkerRadius(), 3);
    EXPECT_TRUE(scatter.GetVertex(1)->GetSizeRelative() == 0);
    scatter.GetVertex(1)->SetSizeRelative(1);
    scatter.GetVertex(1)->SetMarkerRadius(9);
    scatter.GetVertex(1)->SetSizeRelative(0);
    EXPECT_EQ(scatter.GetVertex(1)->GetMarkerRadius(), 3);

    // The scatter draws at the template's 4, the polyline's markers at the
    // vertex's own 3. The point lands at (200, 150).
    place(scatter, v);
    place(line, v);
    style.SetSwitchA(1);
    {
        Canvas c(400, 300);
        CChartDC dc(&c.cdc);
        scatter.Draw(&dc);
        EXPECT_EQ(c.at(196, 150), RGB(255, 0, 0)); // outline at radius 4 in the pen colour
        EXPECT_EQ(c.at(199, 150), RGB(0, 0, 255)); // filled in the fill colour
        EXPECT_EQ(c.at(200, 150), RGB(0, 0, 0));   // the centre pixel: the vertex has no style
        EXPECT_EQ(dc.PenDepth(), 0);
        EXPECT_EQ(dc.BrushDepth(), 0);
    }
    {
        Canvas c(400, 300);
        CChartDC dc(&c.cdc);
        line.Draw(&dc);
        EXPECT_EQ(c.at(196, 150), RGB(255, 255, 255));
        EXPECT_EQ(c.at(197, 150), RGB(255, 0, 0));
        EXPECT_EQ(dc.PenDepth(), 0);
    }

    // A null style is no style.
    CChartVertexSet none(nullptr);
    EXPECT_FALSE(none.HasStyle());
    CChartFace face(nullptr);
    EXPECT_FALSE(face.HasStyle());
}

TEST(ChartPolyline, StrokesInTheFillColourAndRestoresTheStyle) {
    CChartView3D v = flat_view();
    CChartStyle style;
    style.SetPenColor(CChartColor(255, 0, 0));
    style.SetFillColor(CChartColor(0, 128, 0));
    style.SetPenWidth(3);
    CChartPolyline line(&style);
    add(line, {{-40, 0, 0}, {40, 0, 0}});
    place(line, v);
    Canvas c(200, 200);
    CChartDC dc(&c.cdc);
    line.DrawBody(&dc); // switch B off: the line only
    EXPECT_EQ(c.at(100, 100), RGB(0, 128, 0));
    EXPECT_EQ(c.at(20, 100), RGB(0, 128, 0));
    EXPECT_EQ(c.at(20, 105), RGB(255, 255, 255)); // no marker
    EXPECT_EQ(style.GetPenColor(), CChartColor(255, 0, 0));
    style.SetSwitchB(1);
    line.DrawBody(&dc);
    EXPECT_EQ(c.at(20, 97), RGB(255, 0, 0)); // marker outline, radius 3, in the pen colour
    EXPECT_EQ(style.GetPenWidth(), 3);
    EXPECT_EQ(style.GetPenColor(), CChartColor(255, 0, 0));
    EXPECT_EQ(dc.PenDepth(), 0);
    EXPECT_EQ(dc.BrushDepth(), 0);
}

// Each record's type and its bytes, from a recorded enhanced metafile.
std::vector<std::pair<DWORD, std::vector<BYTE>>> records(HDC recording) {
    HENHMETAFILE mf = CloseEnhMetaFile(recording);
    std::vector<BYTE> b(GetEnhMetaFileBits(mf, 0, nullptr));
    GetEnhMetaFileBits(mf, static_cast<UINT>(b.size()), b.data());
    DeleteEnhMetaFile(mf);
    auto u32 = [&](std::size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<DWORD>(b[at + 3]) << 24;
    };
    std::vector<std::pair<DWORD, std::vector<BYTE>>> out;
    for (std::size_t at = 0; at + 8 <= b.size();) {
        DWORD type = u32(at), size = u32(at + 4);
        if (size < 8 || at + size > b.size()) break;
        out.emplace_back(type, std::vector<BYTE>(b.begin() + at, b.begin() + at + size));
        at += size;
    }
    return out;
}

DWORD point_count(const std::vector<BYTE>& r) {
    return r[24] | r[25] << 8 | r[26] << 16 | static_cast<DWORD>(r[27]) << 24;
}

TEST(ChartPolygon, FillAndClosedOutlineRecorded) {
    test_driver::start();
    CChartView3D v = flat_view();
    HDC rec = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(rec, nullptr);
    {
        CDC base;
        base.Attach(rec);
        CChartDC dc(&base);
        CChartPolygon quad;
        quad.MakeStyle();
        add(quad, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}});
        place(quad, v);
        quad.Draw(&dc);
        quad.DrawOutline(&dc);
        EXPECT_EQ(dc.PenDepth(), 0);
        EXPECT_EQ(dc.BrushDepth(), 0);
        base.Detach();
    }
    std::vector<DWORD> counts;
    std::vector<DWORD> order;
    int created = 0, deleted = 0;
    for (const auto& [type, bytes] : records(rec)) {
        if (type == emr::POLYGON || type == emr::POLYGON16 || type == emr::POLYLINE ||
            type == emr::POLYLINE16) {
            order.push_back(type);
            counts.push_back(point_count(bytes));
        }
        created += type == emr::CREATEPEN || type == emr::CREATEBRUSHINDIRECT;
        deleted += type == emr::DELETEOBJECT;
    }
    ASSERT_EQ(order.size(), 2u);
    EXPECT_TRUE(order[0] == emr::POLYGON || order[0] == emr::POLYGON16);
    EXPECT_EQ(counts[0], 4u);
    EXPECT_TRUE(order[1] == emr::POLYLINE || order[1] == emr::POLYLINE16);
    EXPECT_EQ(counts[1], 5u); // the first point again
    EXPECT_EQ(created, 3);
    EXPECT_EQ(deleted, created);
}

TEST(ChartFace, BackFacesAndCulling) {
    CChartView3D v = flat_view();
    CChartStyle style;
    style.SetFillColor(CChartColor(0, 0, 255));
    CChartFace ccw(&style), cw(&style), line(&style), two(&style);
    add(ccw, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
    add(cw, {{10, 10, 0}, {10, 0, 0}, {0, 0, 0}});
    add(line, {{0, 0, 0}, {5, 5, 0}, {10, 10, 0}});
    add(two, {{0, 0, 0}, {10, 0, 0}});
    for (CChartFace* f : {&ccw, &cw, &line, &two}) {
        f->SetFlagC(1);
        place(*f, v);
    }
    EXPECT_EQ(ccw.IsFrontFacing(), 1);
    EXPECT_EQ(cw.IsFrontFacing(), 0);
    EXPECT_EQ(line.IsFrontFacing(), 0);
    EXPECT_EQ(two.IsFrontFacing(), 0);
    EXPECT_EQ(ccw.IsViewed(), 0); // a face's ToScreen leaves it unviewed

    // (0,0)-(10,0)-(10,10) covers pixel (115, 95) on the screen.
    Canvas c(200, 200);
    CChartDC dc(&c.cdc);
    cw.Draw(&dc);
    EXPECT_EQ(c.at(115, 95), RGB(255, 255, 255));
    cw.SetFlagC(0);
    cw.Draw(&dc);
    EXPECT_EQ(c.at(115, 95), RGB(0, 0, 255));
    two.Draw(&dc); // two vertices: nothing to read past the end
    EXPECT_EQ(dc.PenDepth(), 0);
}

// A 20 x 20 square at depth z, front facing, from (x, y).
void square(CChartFace& f, double x, double y, double z) {
    add(f, {{x, y, z}, {x + 20, y, z}, {x + 20, y + 20, z}, {x, y + 20, z}});
}

TEST(ChartFace, OverlapAndPlaneTests) {
    CChartView3D v = flat_view();
    CChartFace a, touching, apart, plane, near49, at5;
    square(a, 0, 0, 0);
    square(touching, 20, 0, 0); // shares the edge x = 20
    square(apart, 20.5, 0, 0);
    add(plane, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}); // z = 0, side value = z
    square(near49, 0, 0, 4.9);
    square(at5, 0, 0, 5.0);
    for (CChartFace* f : {&a, &touching, &apart, &plane, &near49, &at5}) {
        f->SetFlagC(1);
        place(*f, v);
    }
    EXPECT_EQ(a.ExtentsOverlap(touching), 1);
    EXPECT_EQ(touching.ExtentsOverlap(a), 1);
    EXPECT_EQ(a.ExtentsOverlap(apart), 0);
    EXPECT_EQ(a.ScreenExtentsOverlap(touching), 1);
    EXPECT_DOUBLE_EQ(near49.SideOfCentre(plane), 4.9);
    EXPECT_EQ(near49.IsCoplanar(plane), 1);
    EXPECT_EQ(near49.MustFollow(plane), 0);
    EXPECT_EQ(at5.IsCoplanar(plane), 0);
    EXPECT_EQ(at5.LiesInFront(plane), 1);
    EXPECT_EQ(at5.LiesBehind(plane), 0);
}

TEST(ChartFace, NearerFaceMustFollowTheFartherOne) {
    CChartView3D v = flat_view();
    CChartFace far_face, near_face, beside, stub;
    square(far_face, 0, 0, 0);
    square(near_face, 10, 10, 10);
    square(beside, 60, 0, 10);
    add(stub, {{0, 0, 10}, {30, 30, 10}});
    for (CChartFace* f : {&far_face, &near_face, &beside, &stub}) {
        f->SetFlagC(1);
        place(*f, v);
    }
    // Listed first, the nearer face must change places; listed second not.
    EXPECT_EQ(near_face.MustFollow(far_face), 1);
    EXPECT_EQ(far_face.MustFollow(near_face), 0);
    // Apart on the screen: no order needed.
    EXPECT_EQ(beside.MustFollow(far_face), 0);
    // Too few vertices: never exchanged, either way round.
    EXPECT_EQ(stub.MustFollow(far_face), 0);
    EXPECT_EQ(far_face.MustFollow(stub), 0);

    // Painted in the order the test gives, the nearer face covers the
    // farther where they overlap.
    CChartStyle red, blue;
    red.SetFillColor(CChartColor(255, 0, 0));
    blue.SetFillColor(CChartColor(0, 0, 255));
    far_face.SetStyle(&red);
    near_face.SetStyle(&blue);
    CChartFace* order[2] = {&near_face, &far_face};
    if (order[0]->MustFollow(*order[1])) std::swap(order[0], order[1]);
    Canvas c(200, 200);
    CChartDC dc(&c.cdc);
    for (CChartFace* f : order) f->Draw(&dc);
    EXPECT_EQ(c.at(130, 70), RGB(0, 0, 255)); // box (15, 15), inside both
    EXPECT_EQ(c.at(105, 95), RGB(255, 0, 0)); // box (2.5, 2.5), only the far one
}

TEST(ChartVertex, CopiesOwnTheirStyleCopies) {
    CChartVertex a(1, 2, 3);
    a.GetStyle()->SetPenColor(CChartColor(1, 2, 3));
    CChartVertex b(a);
    EXPECT_TRUE(b.OwnsStyle());
    EXPECT_NE(b.GetStyle(), a.GetStyle());
    EXPECT_EQ(b.GetStyle()->GetPenColor(), CChartColor(1, 2, 3));
    CChartStyle shared;
    CChartVertex c(4, 5, 6);
    c.SetStyle(&shared);
    b = c;
    EXPECT_EQ(b.GetStyle(), &shared);
    EXPECT_FALSE(b.OwnsStyle());
    EXPECT_EQ(b.GetWorldZ(), 6.0);
}

} // namespace

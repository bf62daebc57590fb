// Solids, boxes, pie slices and groups: where the centres (the sort keys)
// lie, scaling about the accumulated offset, late members brought into the
// current transform, painter's order of a group (depth, then key), and the
// drawing: nearer boxes cover farther ones and the slice leaves the pen
// stack and the shared style as it found them.
#include "chart/solid.h"
#include "chart/view3d.h"
#include "chart_fixture.h"
#include "platform/metafile.h"

#include <cmath>
#include <numbers>
#include <vector>

using charttest::Canvas;

namespace {

CChartView3D flat_view() {
    CChartView3D v;
    v.SetAngles(0, 0);
    v.SetTopMargin(0);
    v.SetBottomMargin(0);
    v.SetLeftMargin(0);
    v.SetRightMargin(0);
    v.SetScaleMode(1);
    v.FitToRect(CChartRect(0, 0, 200, 200));
    return v;
}

// A solid whose centre projects to a given depth with a given key.
class Probe : public CChartSolid {
public:
    Probe(double depth, double key) : CChartSolid(nullptr), depth_(depth), k_(key) {}
    void ProjectCentre(CChartView3D*) override {
        centre_.SetWorld(0, 0, depth_);
        key_ = k_;
    }
    double depth_, k_;
};

TEST(ChartSolid, BoxCentresAreTheLowerBoundPlusHalfTheSum) {
    CChartBox1 b1(0, 4, 2, 6, 0, 10, nullptr);
    EXPECT_EQ(b1.Centre().GetWorldX(), 0.0);
    EXPECT_EQ(b1.Centre().GetWorldY(), 6.0); // not the middle, 4
    EXPECT_EQ(b1.Centre().GetWorldZ(), 5.0);
    CChartBox2 b2(0, 8, 1, 3, 0, 2, nullptr);
    EXPECT_EQ(b2.Centre().GetWorldX(), 4.0);
    EXPECT_EQ(b2.Centre().GetWorldY(), 0.0);
    EXPECT_EQ(b2.Centre().GetWorldZ(), 1.0);
    CChartBox3 b3(0, 8, 0, 6, 0, 2, nullptr);
    EXPECT_EQ(b3.Centre().GetWorldX(), 4.0);
    EXPECT_EQ(b3.Centre().GetWorldY(), 3.0);
    EXPECT_EQ(b3.Centre().GetWorldZ(), 1.0);
    // Six faces of four vertices each, with the block's extent.
    ASSERT_EQ(b3.GetFaceCount(), 6);
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(b3.GetFace(i)->GetCount(), 4);
    EXPECT_EQ(b3.GetWorldMaxX(), 8.0);
    EXPECT_EQ(b3.GetWorldMinY(), 0.0);
    EXPECT_EQ(b3.GetWorldMaxY(), 6.0);
    EXPECT_EQ(b3.LastFace(), b3.GetFace(6));
    // The keys: |py| for boxes 1 and 3, |px| for box 2.
    CChartView3D v = flat_view();
    b1.Project(&v);
    b2.Project(&v);
    EXPECT_EQ(b1.Key(), std::fabs(b1.Centre().GetProjectedY()));
    EXPECT_EQ(b2.Key(), std::fabs(b2.Centre().GetProjectedX()));
}

TEST(ChartSolid, ScalingHappensAboutTheOffsetAndLateFacesJoinTheTransform) {
    CChartBox3 box(0, 2, 0, 2, 0, 2, nullptr);
    box.Translate(1, 0, 0);
    box.Scale(2, 2, 2);
    EXPECT_EQ(box.GetOffsetX(), 1.0);
    EXPECT_EQ(box.GetScaleX(), 2.0);
    // x 0..2 moved to 1..3, then doubled about x = 1: 1..5.
    EXPECT_EQ(box.GetTransformedMinX(), 1.0);
    EXPECT_EQ(box.GetTransformedMaxX(), 5.0);
    for (int i = 1; i <= 6; ++i)
        for (int k = 1; k <= 4; ++k) {
            double x = box.GetFace(i)->GetVertex(k)->GetTransformedX();
            EXPECT_TRUE(x == 1.0 || x == 5.0) << x;
        }
    EXPECT_EQ(box.GetWorldMaxX(), 2.0); // the world box is untouched

    CChartSolid s(nullptr);
    s.Translate(5, 0, 0);
    auto* f = new CChartFace();
    f->AddVertexCopy(CChartVertex(0, 0, 0));
    f->AddVertexCopy(CChartVertex(1, 0, 0));
    f->AddVertexCopy(CChartVertex(1, 1, 0));
    s.AddFace(f);
    EXPECT_EQ(f->GetTransformedMinX(), 5.0);
    EXPECT_EQ(s.GetTransformedMaxX(), 6.0);
}

TEST(ChartSolid, FacesAreOrderedByLowerDepthAndClearKeepsWorldAndProjectedBoxes) {
    CChartBox3 box(-10, 10, -10, 10, -10, 10, nullptr);
    CChartView3D v; // the default view looks down at an angle
    box.Project(&v);
    for (int i = 1; i < 6; ++i)
        EXPECT_LE(box.GetFace(i)->GetProjectedMinZ(), box.GetFace(i + 1)->GetProjectedMinZ());
    const double pmax = box.GetProjectedMaxX(), wmax = box.GetWorldMaxX();
    ASSERT_NE(pmax, 0.0);
    EXPECT_EQ(box.Clear(), 0);
    EXPECT_EQ(box.GetFaceCount(), 0);
    EXPECT_EQ(box.GetTransformedMaxX(), 0.0);
    EXPECT_EQ(box.GetProjectedMaxX(), pmax);
    EXPECT_EQ(box.GetWorldMaxX(), wmax);
    box.Project(&v); // without faces: nothing to read, boxes stay
    EXPECT_EQ(box.GetProjectedMaxX(), pmax);
}

TEST(ChartSolidGroup, PaintersOrderIsAscendingDepthThenDescendingKey) {
    CChartSolidGroup g;
    auto* a = g.AddSolid(new Probe(5, 1));
    auto* b = g.AddSolid(new Probe(3, 2));
    auto* c = g.AddSolid(new Probe(3, 4));
    CChartView3D v;
    g.Project(&v);
    EXPECT_EQ(g.GetSolid(1), c);
    EXPECT_EQ(g.GetSolid(2), b);
    EXPECT_EQ(g.GetSolid(3), a);
    // Already in order: it stays.
    g.Project(&v);
    EXPECT_EQ(g.GetSolid(1), c);
    EXPECT_EQ(g.GetSolid(3), a);
    // A NaN depth goes first rather than upsetting the order.
    auto* n = g.AddSolid(new Probe(std::nan(""), 0));
    g.Project(&v);
    EXPECT_EQ(g.GetSolid(1), n);
    EXPECT_EQ(g.GetSolid(4), a);
}

TEST(ChartSolidGroup, MembersJoinTheGroupsTransformAndKeepTheirOwnSwitches) {
    CChartStyle style;
    CChartSolidGroup g(&style);
    g.Translate(10, 0, 0);
    CChartSolid* box = g.AddBox2(0, 4, 0, 1, 0, 1);
    ASSERT_NE(box, nullptr);
    for (int i = 1; i <= 6; ++i)
        for (int k = 1; k <= 4; ++k) {
            double x = box->GetFace(i)->GetVertex(k)->GetTransformedX();
            EXPECT_TRUE(x == 10.0 || x == 14.0) << x;
        }
    EXPECT_EQ(box->GetFace(1)->GetStyle(), &style);
    EXPECT_EQ(g.GetTransformedMinX(), 10.0);

    CChartVertex bottom(0, 0, 0), top(0, 10, 0);
    CChartSolidGroup pie;
    auto* slice = static_cast<CChartRoundSolid*>(
        pie.AddRoundSolid(&bottom, &top, 50, 0, std::numbers::pi / 2, 100, 10, 1, nullptr));
    ASSERT_NE(slice, nullptr);
    EXPECT_EQ(pie.GetCount(), 1);
    EXPECT_EQ(slice->GetFaceCount(), 4);
    EXPECT_EQ(pie.Clear(), 0);
    EXPECT_EQ(pie.GetCount(), 0);
}

TEST(ChartRoundSolid, ApexAndRimArePushedOutAlongTheMiddleAngle) {
    CChartVertex bottom(0, 2, 0), top(0, 12, 0);
    const double pi = std::numbers::pi;
    CChartRoundSolid s(&bottom, &top, 50, 0, pi / 2, 50, 10, 1, nullptr);
    const auto& apex = s.GetPoint(CChartRoundSolid::apex_bottom);
    EXPECT_NEAR(std::hypot(apex.GetWorldX(), apex.GetWorldZ()), 5.0, 1e-12);
    EXPECT_NEAR(std::atan2(-apex.GetWorldZ(), apex.GetWorldX()), pi / 4, 1e-12);
    const auto& rim = s.GetPoint(CChartRoundSolid::start_bottom);
    EXPECT_NEAR(std::hypot(rim.GetWorldX() - apex.GetWorldX(), rim.GetWorldZ() - apex.GetWorldZ()),
                55.0, 1e-12);
    // Half the height between the references, from the bottom one.
    EXPECT_EQ(apex.GetWorldY(), 2.0);
    EXPECT_EQ(s.GetPoint(CChartRoundSolid::apex_top).GetWorldY(), 7.0);
    // The centre is the middle of the outer rim at the base.
    EXPECT_EQ(s.Centre().GetWorldX(), s.GetPoint(CChartRoundSolid::mid_bottom).GetWorldX());
    EXPECT_EQ(s.GetFaceCount(), 4);
    EXPECT_EQ(s.GetEdge(3).GetCount(), 2);
}

TEST(ChartRoundSolid, OutlineStaysWithTheFacesWhenScaledAfterAMove) {
    CChartVertex bottom(0, 0, 0), top(0, 10, 0);
    CChartRoundSolid s(&bottom, &top, 10, 0, 1, 100, 0, 1, nullptr);
    s.Translate(3, 0, 0);
    s.Scale(2, 1, 1);
    // Face 1 starts at the apex; the apex point must sit on it.
    EXPECT_EQ(s.GetSideFace(1)->GetVertex(1)->GetTransformedX(),
              s.GetPoint(CChartRoundSolid::apex_bottom).GetTransformedX());
    EXPECT_EQ(s.GetEdge(1).GetVertex(1)->GetTransformedX(),
              s.GetPoint(CChartRoundSolid::apex_bottom).GetTransformedX());
}

TEST(ChartSolidGroup, NearerBoxCoversTheFartherOnDrawing) {
    CChartStyle red, blue;
    red.SetFillColor(CChartColor(255, 0, 0));
    blue.SetFillColor(CChartColor(0, 0, 255));
    CChartSolidGroup g;
    // Straight on, z grows toward the viewer: the blue block is nearer and
    // is added first, so only the painter's order puts it on top.
    CChartSolid* near_box = g.AddSolid(new CChartBox3(0, 30, 0, 30, 20, 30, &blue));
    CChartSolid* far_box = g.AddSolid(new CChartBox3(10, 40, 10, 40, 0, 10, &red));
    CChartView3D v = flat_view();
    g.Project(&v);
    g.ToScreen(&v);
    EXPECT_EQ(g.GetSolid(1), far_box);
    EXPECT_EQ(g.GetSolid(2), near_box);
    Canvas c(200, 200);
    CChartDC dc(&c.cdc);
    g.Draw(&dc);
    // Pixel of x 20, y 20: both blocks; x 35, y 35: only the far one.
    EXPECT_EQ(c.at(140, 60), RGB(0, 0, 255));
    EXPECT_EQ(c.at(170, 30), RGB(255, 0, 0));
    EXPECT_EQ(dc.PenDepth(), 0);
    EXPECT_EQ(dc.BrushDepth(), 0);
}

TEST(ChartRoundSolid, DrawingFillsTheSliceAndLeavesStackAndStyleAsFound) {
    CChartStyle style;
    style.SetPenColor(CChartColor(0, 0, 0));
    style.SetFillColor(CChartColor(0, 160, 0));
    CChartVertex bottom(0, 0, 0), top(0, 20, 0);
    const double pi = std::numbers::pi;
    for (double elevation : {0.0, 30.0, 60.0})
        for (auto [start, end] : {std::pair{0.0, pi / 2}, std::pair{pi / 2, 3 * pi / 2}}) {
            CChartSolidGroup pie;
            pie.AddRoundSolid(&bottom, &top, 60, start, end, 100, 10, 1, &style);
            CChartView3D v = flat_view();
            v.SetAngles(elevation, 0);
            v.FitToRect(CChartRect(0, 0, 200, 200));
            pie.Project(&v);
            pie.ToScreen(&v);
            Canvas c(200, 200);
            CChartDC dc(&c.cdc);
            pie.Draw(&dc);
            EXPECT_EQ(dc.PenDepth(), 0);
            EXPECT_EQ(dc.BrushDepth(), 0);
            EXPECT_EQ(style.GetPenColor(), CChartColor(0, 0, 0));
            // The middle of the slice's top is filled.
            const auto* slice = static_cast<CChartRoundSolid*>(pie.GetSolid(1));
            const auto& mid = slice->GetPoint(CChartRoundSolid::mid_top);
            const auto& apex = slice->GetPoint(CChartRoundSolid::apex_top);
            const int x = (mid.GetScreenX() + apex.GetScreenX()) / 2;
            const int y = (mid.GetScreenY() + apex.GetScreenY()) / 2;
            EXPECT_EQ(c.at(x, y), RGB(0, 160, 0)) << elevation << " " << start;
        }
}

// The base's rim is outlined wherever any part of the curved side faces the
// viewer: with either half of it turned towards the eye, not only both.
TEST(ChartRoundSolid, TheBaseRimIsOutlinedWhenEitherHalfOfTheCurvedSideShows) {
    CChartStyle style;
    style.SetPenColor(CChartColor(0, 0, 0));
    style.SetFillColor(CChartColor(0, 160, 0));
    CChartVertex bottom(0, 0, 0), top(0, 20, 0);
    const double pi = std::numbers::pi;
    int one_half_only = 0, neither = 0;
    for (double elevation : {0.0, 30.0})
        for (double start = 0; start < 2 * pi; start += pi / 4) {
            CChartSolidGroup pie;
            pie.AddRoundSolid(&bottom, &top, 60, start, start + pi / 2, 100, 10, 1, &style);
            CChartView3D v = flat_view();
            v.SetAngles(elevation, 0);
            v.FitToRect(CChartRect(0, 0, 200, 200));
            pie.Project(&v);
            pie.ToScreen(&v);
            const auto* slice = static_cast<CChartRoundSolid*>(pie.GetSolid(1));
            const bool f2 = slice->GetSideFace(2)->IsFrontFacing() != 0;
            const bool f3 = slice->GetSideFace(3)->IsFrontFacing() != 0;
            one_half_only += f2 != f3;
            neither += !f2 && !f3;
            test_driver::start();
            HDC rec = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
            ASSERT_NE(rec, nullptr);
            {
                CDC base;
                base.Attach(rec);
                CChartDC dc(&base);
                pie.Draw(&dc);
                base.Detach();
            }
            HENHMETAFILE mf = CloseEnhMetaFile(rec);
            std::vector<BYTE> b(GetEnhMetaFileBits(mf, 0, nullptr));
            GetEnhMetaFileBits(mf, static_cast<UINT>(b.size()), b.data());
            DeleteEnhMetaFile(mf);
            int arcs = 0;
            for (std::size_t at = 0; at + 8 <= b.size();) {
                DWORD type = b[at] | b[at + 1] << 8 | b[at + 2] << 16 | DWORD{b[at + 3]} << 24;
                DWORD size = b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | DWORD{b[at + 7]} << 24;
                if (size < 8 || at + size > b.size()) break;
                arcs += type == emr::ARC;
                at += size;
            }
            // The top's rim is outlined always, the base's as the side shows.
            EXPECT_EQ(arcs, f2 || f3 ? 2 : 1) << elevation << " " << start;
        }
    EXPECT_GT(one_half_only, 0);
    EXPECT_GT(neither, 0);
}

} // namespace

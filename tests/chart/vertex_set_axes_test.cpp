// A vertex set scaled differently along each axis keeps each axis's box,
// and vertices added take the set's marker kind.
#include "chart/vertex.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(VertexSetAxes, EachAxisOfTheBoxScalesByItsOwnFactor) {
    CChartVertexSet s;
    for (const auto& p : {std::array<double, 3>{1, -2, 3}, std::array<double, 3>{4, 6, -1}})
        s.AddVertexCopy(CChartVertex(p[0], p[1], p[2]));
    s.Scale(2, 3, 5);
    EXPECT_DOUBLE_EQ(s.GetTransformedMinX(), 2);
    EXPECT_DOUBLE_EQ(s.GetTransformedMaxX(), 8);
    EXPECT_DOUBLE_EQ(s.GetTransformedMinY(), -6);
    EXPECT_DOUBLE_EQ(s.GetTransformedMaxY(), 18);
    EXPECT_DOUBLE_EQ(s.GetTransformedMinZ(), -5);
    EXPECT_DOUBLE_EQ(s.GetTransformedMaxZ(), 15);
    // The box stays the box of the vertices.
    EXPECT_DOUBLE_EQ(s.GetVertex(1)->GetTransformedY(), -6);
    EXPECT_DOUBLE_EQ(s.GetVertex(2)->GetTransformedZ(), -5);
}

// (Their radius is their own fixed one; the set draws them at its own.)
TEST(VertexSetAxes, AddedVerticesTakeTheSetsMarkerKind) {
    CChartVertexSet s;
    s.Marker().SetMarkerKind(5);
    s.AddVertexCopy(CChartVertex(0, 0, 0));
    s.AddVertex(new CChartVertex(1, 1, 1));
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(s.GetVertex(i)->GetMarkerKind(), 5) << i;
    }
}

} // namespace

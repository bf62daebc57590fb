// The sort keys solids are painted by: a plain solid's is its centre's
// distance from the axis its centre lies on (or from the middle), and a pie
// slice's is its distance from the pie's axis, whatever its height.
#include "chart/solid.h"
#include "chart/view3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// Angles 0 and no margins: projected coordinates are the box's.
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

// A plain solid with its centre at a given place.
class Centred : public CChartSolid {
public:
    Centred(double x, double y, double z) : CChartSolid(nullptr) { centre_.SetWorld(x, y, z); }
};

TEST(SolidKeys, APlainSolidsKeyIsItsCentresDistanceFromItsAxis) {
    CChartView3D v = flat_view();
    struct Case {
        double x, y, z, key;
    } cases[] = {{-3, 0, 4, 3}, // on the floor: across only
                 {0, -5, 1, 5}, // on the upright axis: up only
                 {3, 4, 7, 5}}; // elsewhere: from the middle
    for (const Case& c : cases) {
        Centred s(c.x, c.y, c.z);
        s.ProjectCentre(&v);
        EXPECT_DOUBLE_EQ(s.Key(), c.key) << c.x << "," << c.y << "," << c.z;
    }
}

TEST(SolidKeys, ASlicesKeyDoesNotDependOnItsHeight) {
    CChartView3D v = flat_view();
    double keys[2] = {};
    for (int k = 0; k < 2; ++k) {
        CChartVertex bottom(0, 30.0 * k, 0), top(0, 30.0 * k + 10, 0);
        CChartSolidGroup pie;
        CChartSolid* slice =
            pie.AddRoundSolid(&bottom, &top, 50, 0, std::numbers::pi / 2, 100, 10, 1, nullptr);
        ASSERT_NE(slice, nullptr);
        slice->ProjectCentre(&v);
        keys[k] = slice->Key();
    }
    EXPECT_GT(keys[0], 0.0);
    EXPECT_DOUBLE_EQ(keys[0], keys[1]);
}

} // namespace

// The view transform: matrix, clamps, screen fit and the guards that keep
// degenerate boxes and perspectives from producing NaN or overflowing ints.
#include "chart/view3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kDeg = 0.017453292;

TEST(ChartView3D, DefaultViewMatrixAndFitOn800x600) {
    CChartView3D v;
    EXPECT_EQ(v.GetElevation(), 20.0);
    EXPECT_EQ(v.GetRotation(), -45.0);
    const double* m = v.GetMatrix();
    double ca = std::cos(20 * kDeg), sa = std::sin(20 * kDeg);
    double cb = std::cos(-45 * kDeg), sb = std::sin(-45 * kDeg);
    EXPECT_DOUBLE_EQ(m[0], cb);
    EXPECT_DOUBLE_EQ(m[1], sb * sa);
    EXPECT_DOUBLE_EQ(m[2], -sb * ca);
    EXPECT_DOUBLE_EQ(m[5], ca);
    EXPECT_DOUBLE_EQ(m[6], sa);
    EXPECT_DOUBLE_EQ(m[9], -sa * cb);
    EXPECT_DOUBLE_EQ(m[10], cb * ca);
    EXPECT_EQ(m[3], 0.0); // perspective 0: W = 1 everywhere
    EXPECT_EQ(m[11], 0.0);
    EXPECT_EQ(m[15], 1.0);

    v.FitToRect(CChartRect(0, 0, 800, 600));
    const CChartRect& r = v.GetViewRect();
    EXPECT_EQ(r.left, 80);
    EXPECT_EQ(r.top, 90);
    EXPECT_EQ(r.right, 720);
    EXPECT_EQ(r.bottom, 540);
    // The box is 2 x 70.7 wide and 2 x (50 cos e + 100 sin e cos r) high on
    // the screen; the height limits the one scale of mode 0.
    double height = 2 * (50 * ca + 50 * sa * (std::fabs(cb) + std::fabs(sb)));
    EXPECT_NEAR(v.GetXScale(), 450 / height, 1e-9);
    EXPECT_NEAR(v.GetYScale(), -450 / height, 1e-9);
    EXPECT_EQ(v.GetXCentre(), 400.0);
    EXPECT_EQ(v.GetYCentre(), 315.0);
    // Screen corners: the box's own corners through the matrix and mapping.
    for (int i = 0; i < 8; ++i) {
        double x, y, z;
        v.GetCorner(i, x, y, z);
        double sx = x * m[0] + y * m[4] + z * m[8], sy = x * m[1] + y * m[5] + z * m[9];
        CChartPoint p = v.GetScreenCorner(i);
        EXPECT_EQ(p.x, static_cast<int>(sx * v.GetXScale() + 400.0)) << i;
        EXPECT_EQ(p.y, static_cast<int>(sy * v.GetYScale() + 315.0)) << i;
    }
    // The corner nearest the viewer in x (corner 1: +x, +z) is at the right.
    EXPECT_GT(v.GetScreenCorner(2).x, v.GetScreenCorner(0).x);
}

TEST(ChartView3D, FlatViewScalesInBothModes) {
    CChartView3D v;
    v.SetAngles(0, 0);
    v.FitToRect(CChartRect(0, 0, 800, 600));
    EXPECT_DOUBLE_EQ(v.GetXScale(), 4.5); // min(640, 450) / 100
    EXPECT_DOUBLE_EQ(v.GetYScale(), -4.5);
    v.SetScaleMode(1);
    EXPECT_EQ(v.IsFitted(), 0);
    v.FitToRect(CChartRect(0, 0, 800, 600));
    EXPECT_DOUBLE_EQ(v.GetXScale(), 6.4);
    EXPECT_DOUBLE_EQ(v.GetYScale(), -4.5);
    // The back wall fills the view rectangle, the left wall is seen edge-on.
    EXPECT_EQ(v.GetReferenceRect(1).Width(), 640);
    EXPECT_EQ(v.GetReferenceRect(1).Height(), 450);
    EXPECT_EQ(v.GetReferenceRect(2).Width(), 0);
    EXPECT_EQ(v.GetScreenCorner(3).x, 80);
    EXPECT_EQ(v.GetScreenCorner(3).y, 540);
    EXPECT_EQ(v.GetScreenCorner(6).x, 720);
    EXPECT_EQ(v.GetScreenCorner(6).y, 90);
}

TEST(ChartView3D, SettersClampAndRefuseNonFinite) {
    CChartView3D v;
    v.SetAngles(95, 10);
    EXPECT_EQ(v.GetElevation(), 90.0);
    EXPECT_EQ(v.GetRotation(), 0.0);
    v.SetAngles(-5, -100);
    EXPECT_EQ(v.GetElevation(), 0.0);
    EXPECT_EQ(v.GetRotation(), -90.0);
    v.SetAngles(std::nan(""), 30);
    EXPECT_EQ(v.GetElevation(), 0.0);
    EXPECT_EQ(v.GetRotation(), 0.0);
    v.SetPerspective(150);
    EXPECT_EQ(v.GetPerspective(), 100.0);
    v.SetPerspective(std::numeric_limits<double>::infinity());
    EXPECT_EQ(v.GetPerspective(), 0.0);
    v.SetBoxSize(std::nan(""), 1, 1);
    EXPECT_EQ(v.GetBoxSizeX(), 100.0);
    v.SetBoxSize(-40, 20, 10);
    EXPECT_EQ(v.GetBoxMinX(), -20.0);
    EXPECT_EQ(v.GetBoxMaxX(), 20.0);
    EXPECT_EQ(v.GetOrigin()[2], -5.0);
    v.SetLeftMargin(std::nan(""));
    v.FitToRect(CChartRect(0, 0, 800, 600));
    EXPECT_EQ(v.GetViewRect().left, 80);
}

TEST(ChartView3D, PerspectiveKeepsWPositiveInTheBox) {
    CChartView3D v;
    v.SetPerspective(100);
    const double* m = v.GetMatrix();
    EXPECT_NE(m[11], 0.0);
    for (int i = 0; i < 8; ++i) {
        double x, y, z;
        v.GetCorner(i, x, y, z);
        double w = x * m[3] + y * m[7] + z * m[11] + m[15];
        EXPECT_GT(w, 0.0999) << i;
    }
    // Nearer corners shrink less than farther ones do: the nearer of two
    // corners that differ only in depth lies farther from the centre.
    double x0, y0, z0, x2, y2, z2;
    v.GetTransformedCorner(0, x0, y0, z0);
    v.GetTransformedCorner(2, x2, y2, z2);
    EXPECT_NE(std::fabs(y0), std::fabs(y2));
}

TEST(ChartView3D, DegenerateBoxesGiveFiniteMapping) {
    CChartView3D v;
    v.SetPerspective(50);
    v.SetBoxSize(0, 0, 0); // no depth: no perspective divisor
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(v.GetMatrix()[i])) << i;
    v.FitToRect(CChartRect(0, 0, 800, 600));
    EXPECT_TRUE(std::isfinite(v.GetXScale()));
    EXPECT_TRUE(std::isfinite(v.GetYScale()));
    EXPECT_EQ(v.GetScreenCorner(5).x, 400);

    // Seen edge-on, a flat box takes the other axis's scale.
    CChartView3D flat;
    flat.SetAngles(0, 0);
    flat.SetBoxSize(100, 0, 100);
    flat.SetScaleMode(1);
    flat.FitToRect(CChartRect(0, 0, 800, 600));
    EXPECT_DOUBLE_EQ(flat.GetXScale(), 6.4);
    EXPECT_DOUBLE_EQ(flat.GetYScale(), -6.4);

    // A device rectangle inside out leaves a view of no size, not a negative
    // scale.
    CChartView3D inside_out;
    inside_out.FitToRect(CChartRect(0, 0, -50, -50));
    EXPECT_EQ(inside_out.GetXScale(), 0.0);
}

TEST(ChartView3D, ScreenIntegersAreClamped) {
    EXPECT_EQ(CChartView3D::ScreenInt(std::nan("")), 0);
    EXPECT_EQ(CChartView3D::ScreenInt(1e300), 1 << 30);
    EXPECT_EQ(CChartView3D::ScreenInt(-std::numeric_limits<double>::infinity()), -(1 << 30));
    EXPECT_EQ(CChartView3D::ScreenInt(-2.7), -2);
    CChartView3D v;
    v.SetBoxSize(1e300, 1e300, 1e300);
    v.FitToRect(CChartRect(0, 0, 800, 600));
    CChartPoint p = v.ToScreen(1e308, -1e308);
    EXPECT_EQ(p.x, 1 << 30);
    EXPECT_EQ(p.y, 1 << 30);
}

TEST(ChartView3D, TransformPointsDividesByMagnitudeOfW) {
    CChartView3D v;
    v.SetPerspective(9);
    const double* m = v.GetMatrix();
    // A point far behind the box, where W is negative: X and Y keep their
    // sign (divided by |W|), Z is not divided.
    double len2 = m[3] * m[3] + m[7] * m[7] + m[11] * m[11];
    double t = -3.0 / len2; // W = 1 + t |m|^2 = -2
    double x = t * m[3], y = t * m[7], z = t * m[11];
    double ex = x * m[0] + y * m[4] + z * m[8], ez = x * m[2] + y * m[6] + z * m[10];
    v.TransformPoints(&x, &y, &z, 1);
    EXPECT_NEAR(x, ex / 2.0, 1e-9);
    EXPECT_NEAR(z, ez, 1e-9);
}

} // namespace

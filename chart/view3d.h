// The view of a plot's box: three angles and a perspective give a 4 x 4
// matrix from box coordinates to projected ones, and margins and the device's
// drawing area give the mapping from projected coordinates to screen pixels.
// With both angles at 0 it is the plain 2D mapping the flat charts use.
#pragma once

#include "chart/values.h"

class CChartView3D {
public:
    CChartView3D() : CChartView3D(100.0, 100.0, 100.0) {}
    CChartView3D(double sx, double sy, double sz);
    CChartView3D(const CChartView3D&) = default;
    CChartView3D& operator=(const CChartView3D&) = default;

    // Non-finite sizes are refused (the box stays); negative ones count by
    // their magnitude.
    void SetBoxSize(double sx, double sy, double sz);
    // Elevation within 0..90, rotation within -90..0; roll becomes 0. A
    // non-finite angle keeps the one before.
    void SetAngles(double elevation, double rotation);
    // Stored within 0..100 (non-finite as 0); see `EffectivePerspective`.
    void SetPerspective(double p);
    void SetTopMargin(double m);
    void SetBottomMargin(double m);
    void SetLeftMargin(double m);
    void SetRightMargin(double m);
    void SetScaleMode(int mode);

    double GetElevation() const { return elevation_; }
    double GetRotation() const { return rotation_; }
    double GetRoll() const { return roll_; }
    double GetPerspective() const { return perspective_; }
    // The strength the matrix is built with: at most 9, so that w = 1 -
    // strength x depth / (10 x largest corner depth) stays at 0.1 or more for
    // every point of the box.
    double EffectivePerspective() const;
    int GetScaleMode() const { return scale_mode_; }
    double GetBoxMinX() const { return box_min_[0]; }
    double GetBoxMaxX() const { return box_max_[0]; }
    double GetBoxMinY() const { return box_min_[1]; }
    double GetBoxMaxY() const { return box_max_[1]; }
    double GetBoxMinZ() const { return box_min_[2]; }
    double GetBoxMaxZ() const { return box_max_[2]; }
    double GetBoxSizeX() const { return box_max_[0] - box_min_[0]; }
    double GetBoxSizeY() const { return box_max_[1] - box_min_[1]; }
    double GetBoxSizeZ() const { return box_max_[2] - box_min_[2]; }
    const double* GetOrigin() const { return origin_; }
    const double* GetEye() const { return eye_; }
    const CChartRect& GetDeviceRect() const { return device_rect_; }
    const CChartRect& GetViewRect() const { return view_rect_; }
    // The reference rectangle of back plane 1 (back wall), 2 (left wall) or
    // 3 (floor); any other number answers plane 1's.
    const CChartRect& GetReferenceRect(int plane) const;
    const double* GetMatrix() const { return m_; }
    double GetXScale() const { return x_scale_; }
    // Stored negated: screen y grows downward.
    double GetYScale() const { return y_scale_; }
    double GetXCentre() const { return x_centre_; }
    double GetYCentre() const { return y_centre_; }
    // Corner i (0..7) of the box, transformed and on the screen.
    void GetCorner(int i, double& x, double& y, double& z) const;
    void GetTransformedCorner(int i, double& x, double& y, double& z) const;
    CChartPoint GetScreenCorner(int i) const;
    int IsChanged() const { return changed_; }
    int IsComputed() const { return computed_; }
    int IsFitted() const { return fitted_; }
    // Counts the fits that changed the mapping to the screen (or its
    // rectangles): equal counts, equal screen points.
    int GetFitCount() const { return fit_count_; }

    void Update();
    // Fits the box into the context's drawing area.
    void FitToDC(CChartDC* dc);
    // The same for a given device rectangle.
    void FitToRect(const CChartRect& device);

    // The matrix applied in place; X and Y are divided by |W| when it is
    // above 0.001, Z never.
    void TransformPoints(double* x, double* y, double* z, int n) const;
    void ToScreenPoints(const double* x, const double* y, CChartPoint* points, int n) const;
    // One projected point on the screen.
    CChartPoint ToScreen(double x, double y) const;

    // A screen coordinate from a double: truncated toward zero, NaN as 0, and
    // kept within +-2^30 so that integer sums on it cannot overflow.
    static int ScreenInt(double v);

    // Back plane corners, P0 to P3 (corner numbers of the box).
    static const int kPlaneCorners[3][4];

private:
    void recompute();
    void transform(double& x, double& y, double& z) const;
    void map_corners();

    int changed_ = 1;
    int computed_ = 0;
    int fitted_ = 0;
    int fit_count_ = 0;
    double elevation_ = 20.0;
    double rotation_ = -45.0;
    double roll_ = 0.0;
    double perspective_ = 0.0;
    double left_margin_ = 10.0;
    double right_margin_ = 10.0;
    double top_margin_ = 15.0;
    double bottom_margin_ = 10.0;
    int scale_mode_ = 0;
    CChartRect device_rect_;
    CChartRect view_rect_;
    CChartRect ref_rects_[3]; // planes 2, 1, 3
    double m_[16] = {};
    double x_scale_ = 1.0, y_scale_ = -1.0, x_centre_ = 0.0, y_centre_ = 0.0;
    double corner_[3][8] = {};
    double tcorner_[3][8] = {};
    CChartPoint screen_corner_[8];
    double origin_[3] = {};
    double eye_[3] = {};
    double box_min_[3] = {};
    double box_max_[3] = {};
    double size_[3] = {100.0, 100.0, 100.0};
};

// The 3D view of a plot's box: the projection matrix from angles and
// perspective, and the mapping of projected points to screen pixels.
#include "chart/view3d.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegrees = 0.017453292;

// Margins are percentages; anything not finite keeps the one before, and the
// magnitude is bounded so the rectangle arithmetic stays in range.
double margin(double v, double old) {
    if (!std::isfinite(v)) return old;
    return std::clamp(v, -1000.0, 1000.0);
}

} // namespace

const int CChartView3D::kPlaneCorners[3][4] = {{3, 2, 6, 7}, {0, 3, 7, 4}, {0, 1, 2, 3}};

CChartView3D::CChartView3D(double sx, double sy, double sz) {
    SetBoxSize(sx, sy, sz);
}

int CChartView3D::ScreenInt(double v) {
    constexpr double lim = 1073741824.0; // 2^30
    if (std::isnan(v)) return 0;
    if (v > lim) return static_cast<int>(lim);
    if (v < -lim) return static_cast<int>(-lim);
    return static_cast<int>(v);
}

void CChartView3D::SetBoxSize(double sx, double sy, double sz) {
    if (std::isfinite(sx) && std::isfinite(sy) && std::isfinite(sz)) {
        size_[0] = std::fabs(sx);
        size_[1] = std::fabs(sy);
        size_[2] = std::fabs(sz);
    }
    double hx = size_[0] / 2, hy = size_[1] / 2, hz = size_[2] / 2;
    static const int sign[8][3] = {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1},
                                   {-1, 1, 1},  {1, 1, 1},  {1, 1, -1},  {-1, 1, -1}};
    double half[3] = {hx, hy, hz};
    for (int i = 0; i < 8; ++i)
        for (int a = 0; a < 3; ++a) corner_[a][i] = sign[i][a] * half[a];
    for (int a = 0; a < 3; ++a) {
        box_min_[a] = -half[a];
        box_max_[a] = half[a];
        origin_[a] = -half[a];
    }
    changed_ = 1;
    computed_ = 0;
    recompute();
}

void CChartView3D::SetAngles(double elevation, double rotation) {
    if (std::isfinite(elevation)) elevation_ = std::clamp(elevation, 0.0, 90.0);
    if (std::isfinite(rotation)) rotation_ = std::clamp(rotation, -90.0, 0.0);
    roll_ = 0.0;
    changed_ = 1;
    computed_ = 0;
    recompute();
}

void CChartView3D::SetPerspective(double p) {
    perspective_ = std::isfinite(p) ? std::clamp(p, 0.0, 100.0) : 0.0;
    changed_ = 1;
    computed_ = 0;
    recompute();
}

double CChartView3D::EffectivePerspective() const {
    return std::min(perspective_, 9.0);
}

void CChartView3D::SetTopMargin(double m) {
    top_margin_ = margin(m, top_margin_);
    changed_ = 1;
    fitted_ = 0;
}
void CChartView3D::SetBottomMargin(double m) {
    bottom_margin_ = margin(m, bottom_margin_);
    changed_ = 1;
    fitted_ = 0;
}
void CChartView3D::SetLeftMargin(double m) {
    left_margin_ = margin(m, left_margin_);
    changed_ = 1;
    fitted_ = 0;
}
void CChartView3D::SetRightMargin(double m) {
    right_margin_ = margin(m, right_margin_);
    changed_ = 1;
    fitted_ = 0;
}
void CChartView3D::SetScaleMode(int mode) {
    scale_mode_ = mode;
    changed_ = 1;
    fitted_ = 0;
}

const CChartRect& CChartView3D::GetReferenceRect(int plane) const {
    switch (plane) {
    case 2:
        return ref_rects_[0];
    case 3:
        return ref_rects_[2];
    default:
        return ref_rects_[1];
    }
}

void CChartView3D::GetCorner(int i, double& x, double& y, double& z) const {
    i = std::clamp(i, 0, 7);
    x = corner_[0][i];
    y = corner_[1][i];
    z = corner_[2][i];
}

void CChartView3D::GetTransformedCorner(int i, double& x, double& y, double& z) const {
    i = std::clamp(i, 0, 7);
    x = tcorner_[0][i];
    y = tcorner_[1][i];
    z = tcorner_[2][i];
}

CChartPoint CChartView3D::GetScreenCorner(int i) const {
    return screen_corner_[std::clamp(i, 0, 7)];
}

void CChartView3D::Update() {
    if (!computed_) recompute();
    changed_ = 0;
}

void CChartView3D::recompute() {
    double a = elevation_ * kDegrees, b = rotation_ * kDegrees, c = roll_ * kDegrees;
    double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    double cc = std::cos(c), sc = std::sin(c);
    double largest = 0.0;
    for (int i = 0; i < 8; ++i) {
        double depth = (cb * corner_[2][i] - sb * corner_[0][i]) * ca + sa * corner_[1][i];
        if (std::fabs(depth) > largest) largest = std::fabs(depth);
    }
    // A box of no depth has no perspective to scale by: parallel projection.
    double d = largest * 10.0;
    double pf = d > 0.0 ? EffectivePerspective() / d : 0.0;
    m_[0] = cc * cb - sc * sb * sa;
    m_[1] = sb * sa * cc + sc * cb;
    m_[2] = -sb * ca;
    m_[3] = pf * sb * ca;
    m_[4] = -sc * ca;
    m_[5] = cc * ca;
    m_[6] = sa;
    m_[7] = -pf * sa;
    m_[8] = sc * sa * cb + sb * cc;
    m_[9] = sc * sb - sa * cc * cb;
    m_[10] = cb * ca;
    m_[11] = -pf * cb * ca;
    m_[12] = m_[13] = m_[14] = 0.0;
    m_[15] = 1.0;
    for (int i = 0; i < 8; ++i) {
        tcorner_[0][i] = corner_[0][i];
        tcorner_[1][i] = corner_[1][i];
        tcorner_[2][i] = corner_[2][i];
        transform(tcorner_[0][i], tcorner_[1][i], tcorner_[2][i]);
    }
    eye_[0] = 0.0;
    eye_[1] = 0.0;
    eye_[2] = size_[0] + size_[1] + size_[2];
    transform(eye_[0], eye_[1], eye_[2]);
    computed_ = 1;
}

void CChartView3D::transform(double& x, double& y, double& z) const {
    double tx = x * m_[0] + y * m_[4] + z * m_[8];
    double ty = x * m_[1] + y * m_[5] + z * m_[9];
    double tz = x * m_[2] + y * m_[6] + z * m_[10];
    double w = std::fabs(x * m_[3] + y * m_[7] + z * m_[11] + m_[15]);
    if (w > 0.001) {
        tx /= w;
        ty /= w;
    }
    x = tx;
    y = ty;
    z = tz;
}

void CChartView3D::TransformPoints(double* x, double* y, double* z, int n) const {
    if (!x || !y || !z) return;
    for (int i = 0; i < n; ++i) transform(x[i], y[i], z[i]);
}

CChartPoint CChartView3D::ToScreen(double x, double y) const {
    return {ScreenInt(x * x_scale_ + x_centre_), ScreenInt(y * y_scale_ + y_centre_)};
}

void CChartView3D::ToScreenPoints(const double* x, const double* y, CChartPoint* points,
                                  int n) const {
    if (!x || !y || !points) return;
    for (int i = 0; i < n; ++i) points[i] = ToScreen(x[i], y[i]);
}

void CChartView3D::FitToDC(CChartDC* dc) {
    CChartRect area;
    if (dc) dc->GetDrawArea(area);
    FitToRect(area);
}

void CChartView3D::FitToRect(const CChartRect& device) {
    const CChartRect old_device = device_rect_, old_view = view_rect_;
    const double old_map[4] = {x_scale_, y_scale_, x_centre_, y_centre_};
    const int was_fitted = fitted_;
    device_rect_ = device;
    double w = device.Width(), h = device.Height();
    view_rect_.left = ScreenInt(w * left_margin_ / 100);
    view_rect_.top = ScreenInt(h * top_margin_ / 100);
    view_rect_.right = ScreenInt(device.right - std::trunc(w * right_margin_ / 100));
    view_rect_.bottom = ScreenInt(device.bottom - std::trunc(h * bottom_margin_ / 100));
    double lo_x = tcorner_[0][0], hi_x = lo_x, lo_y = tcorner_[1][0], hi_y = lo_y;
    for (int i = 1; i < 8; ++i) {
        lo_x = std::min(lo_x, tcorner_[0][i]);
        hi_x = std::max(hi_x, tcorner_[0][i]);
        lo_y = std::min(lo_y, tcorner_[1][i]);
        hi_y = std::max(hi_y, tcorner_[1][i]);
    }
    double width = std::fabs(hi_x - lo_x), height = std::fabs(hi_y - lo_y);
    double vw = std::max(0.0, static_cast<double>(view_rect_.right) - view_rect_.left);
    double vh = std::max(0.0, static_cast<double>(view_rect_.bottom) - view_rect_.top);
    // A box seen edge-on has no extent on one screen axis: every point lies on
    // the centre line there, so that axis takes the other's scale (or 1).
    bool x_ok = width > 0.0 && std::isfinite(width);
    bool y_ok = height > 0.0 && std::isfinite(height);
    double xs = x_ok ? vw / width : 0.0, ys = y_ok ? vh / height : 0.0;
    if (!x_ok) xs = y_ok ? ys : 1.0;
    if (!y_ok) ys = x_ok ? xs : 1.0;
    if (scale_mode_ == 0) xs = ys = std::min(xs, ys);
    x_scale_ = xs;
    y_scale_ = -ys;
    x_centre_ = view_rect_.left + vw * 0.5;
    y_centre_ = view_rect_.top + vh * 0.5;
    fitted_ = 1;
    map_corners();
    auto same_rect = [](const CChartRect& a, const CChartRect& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    // Compared bit for bit: NaN never equals, so it always counts as a change.
    if (!was_fitted || !same_rect(old_device, device_rect_) || !same_rect(old_view, view_rect_) ||
        !(old_map[0] == x_scale_ && old_map[1] == y_scale_ && old_map[2] == x_centre_ &&
          old_map[3] == y_centre_))
        ++fit_count_;
}

void CChartView3D::map_corners() {
    ToScreenPoints(tcorner_[0], tcorner_[1], screen_corner_, 8);
    // Reference rectangles in the order planes 2, 1, 3.
    static const int order[3] = {1, 0, 2};
    for (int k = 0; k < 3; ++k) {
        const int* pc = kPlaneCorners[order[k]];
        CChartPoint p[4];
        for (int j = 0; j < 4; ++j) p[j] = screen_corner_[pc[j]];
        auto len = [](const CChartPoint& a, const CChartPoint& b) {
            double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
            return ScreenInt(std::sqrt(dx * dx + dy * dy));
        };
        ref_rects_[k] = CChartRect(0, 0, std::max(len(p[0], p[1]), len(p[2], p[3])),
                                   std::max(len(p[0], p[3]), len(p[1], p[2])));
    }
}

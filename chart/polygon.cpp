// Figures of vertices: the open line, the filled polygon and the 3D face with
// its back-face and painting-order tests.
#include "chart/polygon.h"

#include <cmath>

namespace {

// Puts a shared style's pen colour and width back on every way out of a
// draw, a drawing object that cannot be made included.
class StyleRestore {
public:
    explicit StyleRestore(CChartStyle* s)
        : s_(s), colour_(s ? s->GetPenColor() : CChartColor()), width_(s ? s->GetPenWidth() : 1) {}
    StyleRestore(const StyleRestore&) = delete;
    StyleRestore& operator=(const StyleRestore&) = delete;
    ~StyleRestore() { restore(); }
    void restore() {
        if (s_) {
            s_->SetPenColor(colour_);
            s_->SetPenWidth(width_);
        }
    }

private:
    CChartStyle* s_;
    CChartColor colour_;
    int width_;
};

struct Plane {
    double a = 0, b = 0, c = 0, d = 0;
};

// The plane through the projected vertices 1 to 3 of `f`.
bool plane_of(const CChartFace& f, Plane& p) {
    const CChartVertex *v1 = f.GetVertex(1), *v2 = f.GetVertex(2), *v3 = f.GetVertex(3);
    if (!v1 || !v2 || !v3) return false;
    double x1 = v1->GetProjectedX(), y1 = v1->GetProjectedY(), z1 = v1->GetProjectedZ();
    double x2 = v2->GetProjectedX(), y2 = v2->GetProjectedY(), z2 = v2->GetProjectedZ();
    double x3 = v3->GetProjectedX(), y3 = v3->GetProjectedY(), z3 = v3->GetProjectedZ();
    p.a = y1 * (z2 - z3) + y2 * (z3 - z1) + y3 * (z1 - z2);
    p.b = z1 * (x2 - x3) + z2 * (x3 - x1) + z3 * (x1 - x2);
    p.c = x1 * (y2 - y3) + x2 * (y3 - y1) + x3 * (y1 - y2);
    p.d = -(x1 * (y2 * z3 - y3 * z2) + x2 * (y3 * z1 - y1 * z3) + x3 * (y1 * z2 - y2 * z1));
    return true;
}

} // namespace

void CChartPolyline::Draw(CChartDC* dc) {
    draw(dc, false);
}

void CChartPolyline::DrawBody(CChartDC* dc) {
    draw(dc, true);
}

void CChartPolyline::draw(CChartDC* dc, bool body) {
    if (!dc) return;
    std::vector<CChartPoint> pts = screen_points();
    CChartStyle* s = has_style ? style : nullptr;
    StyleRestore restore(s);
    if (s) s->SetPenColor(s->GetFillColor());
    SelectPen(dc);
    if (!pts.empty()) dc->DrawPolyline(pts.data(), static_cast<int>(pts.size()));
    UnselectPen(dc);
    restore.restore();
    if (!s || (body ? s->GetSwitchB() : s->GetSwitchA()) != 1) return;
    s->SetPenWidth(1);
    SelectBrush(dc);
    SelectPen(dc);
    for (int i = 1; i <= count_; ++i) {
        if (body)
            vertices_.Get(i)->DrawBody(dc);
        else
            vertices_.Get(i)->Draw(dc);
    }
    UnselectPen(dc);
    UnselectBrush(dc);
}

void CChartPolygon::fill(CChartDC* dc) {
    if (!dc) return;
    std::vector<CChartPoint> pts = screen_points();
    SelectPen(dc);
    SelectBrush(dc);
    if (!pts.empty()) dc->DrawPolygon(pts.data(), static_cast<int>(pts.size()));
    UnselectBrush(dc);
    UnselectPen(dc);
}

void CChartPolygon::Draw(CChartDC* dc) {
    fill(dc);
}

void CChartPolygon::DrawBody(CChartDC* dc) {
    fill(dc);
}

void CChartPolygon::DrawOutline(CChartDC* dc) {
    if (!dc) return;
    std::vector<CChartPoint> pts = screen_points(1);
    if (!pts.empty()) pts.push_back(pts.front());
    SelectPen(dc);
    if (!pts.empty()) dc->DrawPolyline(pts.data(), static_cast<int>(pts.size()));
    UnselectPen(dc);
}

// ---------------------------------------------------------------------------

void CChartFace::Project(CChartView3D* view) {
    project_vertices(view);
    if (flag_c == 1) TestBackFace();
}

int CChartFace::ToScreen(CChartView3D* view) {
    map_vertices(view);
    return viewed;
}

void CChartFace::Draw(CChartDC* dc) {
    if (flag_c == 1 && front_facing_ == 0) return;
    fill(dc);
}

void CChartFace::DrawBody(CChartDC* dc) {
    if (flag_c == 1 && front_facing_ == 0) return;
    fill(dc);
}

void CChartFace::TestBackFace() {
    if (count_ < 3) {
        front_facing_ = 0;
        return;
    }
    const CChartVertex* v1 = vertices_.Get(1);
    const CChartVertex* v2 = vertices_.Get(2);
    const CChartVertex* v3 = vertices_.Get(3);
    double x1 = v1->GetProjectedX(), y1 = v1->GetProjectedY();
    double x2 = v2->GetProjectedX(), y2 = v2->GetProjectedY();
    double x3 = v3->GetProjectedX(), y3 = v3->GetProjectedY();
    double cross = (y3 - y2) * (x2 - x1) - (x3 - x2) * (y2 - y1);
    front_facing_ = cross > 0.0 ? 1 : 0; // NaN and collinear face away
}

int CChartFace::ExtentsOverlap(const CChartFace& g) const {
    if (GetProjectedMinX() > g.GetProjectedMaxX() || g.GetProjectedMinX() > GetProjectedMaxX() ||
        GetProjectedMinY() > g.GetProjectedMaxY() || g.GetProjectedMinY() > GetProjectedMaxY())
        return 0;
    return 1;
}

int CChartFace::ScreenExtentsOverlap(const CChartFace& g) const {
    if (GetScreenMinX() > g.GetScreenMaxX() || g.GetScreenMinX() > GetScreenMaxX() ||
        GetScreenMinY() > g.GetScreenMaxY() || g.GetScreenMinY() > GetScreenMaxY())
        return 0;
    return 1;
}

double CChartFace::SideOfCentre(const CChartFace& g) const {
    Plane p;
    if (!plane_of(g, p)) return 0.0;
    return p.a * GetProjectedMidX() + p.b * GetProjectedMidY() + p.c * GetProjectedMidZ() + p.d;
}

int CChartFace::IsCoplanar(const CChartFace& g) const {
    double s = SideOfCentre(g);
    return s > -5.0 && s < 5.0 ? 1 : 0;
}

int CChartFace::LiesBehind(const CChartFace& g) const {
    double s = SideOfCentre(g);
    return (g.front_facing_ == 1 ? s <= 0.0 : s >= 0.0) ? 1 : 0;
}

int CChartFace::LiesInFront(const CChartFace& g) const {
    double s = SideOfCentre(g);
    return (g.front_facing_ == 1 ? s >= 0.0 : s <= 0.0) ? 1 : 0;
}

int CChartFace::MustFollow(const CChartFace& g) const {
    if (count_ < 3 || g.count_ < 3) return 0;
    if (!ExtentsOverlap(g)) return 0;
    if (IsCoplanar(g)) return 0;
    if (LiesBehind(g)) return 0;
    if (g.LiesInFront(*this)) return 0;
    return ScreenExtentsOverlap(g);
}

// Vertices in their four spaces with their round markers, and the vertex set
// with a bounding box per space.
#include "chart/vertex.h"

#include "chart/view3d.h"

#include <cmath>

CChartVertex::CChartVertex(double x, double y, double z) {
    SetWorld(x, y, z);
}

CChartVertex::CChartVertex(const CChartVertex& o) : CChartElement() {
    copy_from(o);
}

CChartVertex& CChartVertex::operator=(const CChartVertex& o) {
    if (this != &o) copy_from(o);
    return *this;
}

void CChartVertex::copy_from(const CChartVertex& o) {
    // A style the source made is copied, so neither deletes the other's.
    if (o.has_style && o.style) {
        if (o.owns_style) {
            auto* mine = new CChartStyle(*o.style);
            SetStyle(nullptr);
            style = mine;
            has_style = owns_style = 1;
        } else {
            SetStyle(o.style);
        }
    } else {
        SetStyle(nullptr);
    }
    if (o.has_text_style && o.text_style) {
        if (o.owns_text_style) {
            auto* mine = new CChartTextStyle(*o.text_style);
            SetTextStyle(nullptr);
            text_style = mine;
            has_text_style = owns_text_style = 1;
        } else {
            SetTextStyle(o.text_style);
        }
    } else {
        SetTextStyle(nullptr);
    }
    no_fill = o.no_fill;
    extra = o.extra;
    no_outline = o.no_outline;
    flag_a = o.flag_a;
    flag_b = o.flag_b;
    flag_c = o.flag_c;
    hidden = o.hidden;
    viewed = o.viewed;
    visible = o.visible;
    for (int a = 0; a < 3; ++a) {
        world_[a] = o.world_[a];
        transformed_[a] = o.transformed_[a];
        projected_[a] = o.projected_[a];
    }
    screen_ = o.screen_;
    flat_ = o.flat_;
    marker_kind_ = o.marker_kind_;
    marker_radius_ = o.marker_radius_;
    marker_scale_ = o.marker_scale_;
    size_relative_ = o.size_relative_;
}

void CChartVertex::SetWorld(double x, double y, double z) {
    world_[0] = transformed_[0] = projected_[0] = x;
    world_[1] = transformed_[1] = projected_[1] = y;
    world_[2] = transformed_[2] = projected_[2] = z;
}

void CChartVertex::SetSizeRelative(int v) {
    size_relative_ = v;
    if (v == 0) marker_radius_ = 3;
}

void CChartVertex::SetView(CChartView3D* view) {
    if (view && size_relative_ == 1) {
        const CChartRect& r = view->GetReferenceRect(1);
        double side = std::min(r.Width(), r.Height());
        marker_radius_ = CChartView3D::ScreenInt(side * marker_scale_ * 0.005);
    }
    CChartElement::SetView(view);
}

void CChartVertex::Project(CChartView3D* view) {
    if (flat_ == 1 || !view) {
        for (int a = 0; a < 3; ++a) projected_[a] = transformed_[a];
        return;
    }
    const double* m = view->GetMatrix();
    double tx = transformed_[0], ty = transformed_[1], tz = transformed_[2];
    double x = m[0] * tx + m[4] * ty + m[8] * tz;
    double y = m[1] * tx + m[5] * ty + m[9] * tz;
    double z = m[2] * tx + m[6] * ty + m[10] * tz;
    double w = m[3] * tx + m[7] * ty + m[11] * tz + m[15];
    // The signed w: with the view's perspective kept low it is positive for
    // everything in the box, where this and the view's |W| agree.
    if (std::fabs(w) > 0.001) {
        x /= w;
        y /= w;
    }
    projected_[0] = x;
    projected_[1] = y;
    projected_[2] = z;
}

int CChartVertex::ToScreen(CChartView3D* view) {
    if (view) screen_ = view->ToScreen(projected_[0], projected_[1]);
    viewed = 1;
    return viewed;
}

void CChartVertex::Draw(CChartDC* dc) {
    DrawMarkerSized(dc, marker_radius_, marker_kind_);
}

void CChartVertex::DrawBody(CChartDC* dc) {
    DrawMarkerSized(dc, marker_radius_, marker_kind_);
}

void CChartVertex::DrawMarkerSized(CChartDC* dc, int radius, int) {
    if (!dc || !visible) return;
    bool styled = has_style && style;
    bool pen = !no_outline && styled, brush = !no_fill && styled;
    if (pen) SelectPen(dc);
    if (brush) SelectBrush(dc);
    dc->DrawCircle(screen_, radius);
    dc->DrawPixel(screen_.x, screen_.y, styled ? style->GetPenColor() : CChartColor(0, 0, 0));
    if (brush) UnselectBrush(dc);
    if (pen) UnselectPen(dc);
}

// ---------------------------------------------------------------------------

CChartVertexSet::CChartVertexSet() {
    marker_.SetSizeRelative(1);
}

CChartVertexSet::CChartVertexSet(CChartStyle* s) : CChartElement(s) {
    marker_.SetSizeRelative(1);
}

CChartVertexSet::~CChartVertexSet() {
    for (CChartVertex* v : given_) delete v;
}

void CChartVertexSet::SetView(CChartView3D* view) {
    marker_.SetView(view);
    CChartElement::SetView(view);
}

void CChartVertexSet::project_vertices(CChartView3D* view) {
    if (count_ < 1) return;
    // One pass: each vertex projected and folded into the box while it is
    // at hand (a set of many points is larger than the caches).
    double* p = projected_;
    for (int i = 1; i <= count_; ++i) {
        CChartVertex* v = vertices_.Get(i);
        v->Project(view);
        if (i == 1) {
            p[0] = v->GetProjectedMaxX();
            p[1] = v->GetProjectedMinX();
            p[3] = v->GetProjectedMaxY();
            p[4] = v->GetProjectedMinY();
            p[6] = v->GetProjectedMaxZ();
            p[7] = v->GetProjectedMinZ();
            continue;
        }
        if (v->GetProjectedMaxX() > p[0]) p[0] = v->GetProjectedMaxX();
        if (v->GetProjectedMinX() < p[1]) p[1] = v->GetProjectedMinX();
        if (v->GetProjectedMaxY() > p[3]) p[3] = v->GetProjectedMaxY();
        if (v->GetProjectedMinY() < p[4]) p[4] = v->GetProjectedMinY();
        if (v->GetProjectedMaxZ() > p[6]) p[6] = v->GetProjectedMaxZ();
        if (v->GetProjectedMinZ() < p[7]) p[7] = v->GetProjectedMinZ();
    }
    for (int a = 0; a < 3; ++a) p[3 * a + 2] = (p[3 * a] - p[3 * a + 1]) * 0.5 + p[3 * a + 1];
}

void CChartVertexSet::Project(CChartView3D* view) {
    project_vertices(view);
}

void CChartVertexSet::map_vertices(CChartView3D* view) {
    if (count_ < 1) return;
    double* s = screen_box_;
    for (int i = 1; i <= count_; ++i) {
        CChartVertex* v = vertices_.Get(i);
        v->ToScreen(view);
        const CChartPoint p = v->GetScreenPoint();
        if (i == 1) {
            s[0] = s[1] = p.x;
            s[2] = s[3] = p.y;
            continue;
        }
        if (p.x > s[0]) s[0] = p.x;
        if (p.x < s[1]) s[1] = p.x;
        if (p.y > s[2]) s[2] = p.y;
        if (p.y < s[3]) s[3] = p.y;
    }
}

int CChartVertexSet::ToScreen(CChartView3D* view) {
    map_vertices(view);
    viewed = 1;
    return viewed;
}

void CChartVertexSet::Scale(double sx, double sy, double sz) {
    // Scaled about the offset: moved by minus the offset, scaled, moved
    // back; each vertex takes the three steps at once (one pass over them,
    // the same arithmetic in the same order).
    double ox = offset_[0], oy = offset_[1], oz = offset_[2];
    for (int i = 1; i <= count_; ++i) {
        CChartVertex* v = vertices_.Get(i);
        v->Translate(-ox, -oy, -oz);
        v->Scale(sx, sy, sz);
        v->Translate(ox, oy, oz);
    }
    move_box(-ox, -oy, -oz);
    scale_[0] *= sx;
    scale_[1] *= sy;
    scale_[2] *= sz;
    transformed_[0] *= sx;
    transformed_[1] *= sx;
    transformed_[2] *= sy;
    transformed_[3] *= sy;
    transformed_[4] *= sz;
    transformed_[5] *= sz;
    move_box(ox, oy, oz);
}

void CChartVertexSet::Translate(double dx, double dy, double dz) {
    for (int i = 1; i <= count_; ++i) vertices_.Get(i)->Translate(dx, dy, dz);
    move_box(dx, dy, dz);
}

void CChartVertexSet::move_box(double dx, double dy, double dz) {
    double d[3] = {dx, dy, dz};
    for (int a = 0; a < 3; ++a) {
        offset_[a] += d[a];
        transformed_[2 * a] += d[a];
        transformed_[2 * a + 1] += d[a];
    }
}

void CChartVertexSet::Draw(CChartDC* dc) {
    DrawBody(dc);
}

void CChartVertexSet::DrawBody(CChartDC* dc) {
    if (!dc) return;
    SelectPen(dc);
    SelectBrush(dc);
    int r = marker_.GetMarkerRadius(), kind = marker_.GetMarkerKind();
    for (int i = 1; i <= count_; ++i) vertices_.Get(i)->DrawMarkerSized(dc, r, kind);
    UnselectBrush(dc);
    UnselectPen(dc);
}

CChartVertex* CChartVertexSet::AddVertexCopy(const CChartVertex& v) {
    // Copies live in chunks the set keeps: a chart of many points would
    // otherwise spend most of a refill allocating and freeing them one by one.
    if (count_ + 1 > CChartPtrArray<CChartVertex>::kMaxIndex) return nullptr;
    return keep(copies_.make(v));
}

CChartVertex* CChartVertexSet::AddVertexAt(double x, double y, double z) {
    if (count_ + 1 > CChartPtrArray<CChartVertex>::kMaxIndex) return nullptr;
    return keep(copies_.make(x, y, z));
}

CChartVertex* CChartVertexSet::AddVertex(CChartVertex* v) {
    if (!v) return nullptr;
    if (count_ + 1 > CChartPtrArray<CChartVertex>::kMaxIndex) {
        delete v; // the set owns what it is given, even what it cannot keep
        return nullptr;
    }
    given_.push_back(v);
    return keep(v);
}

CChartVertex* CChartVertexSet::keep(CChartVertex* v) {
    vertices_.At(++count_) = v;
    v->SetMarkerKind(marker_.GetMarkerKind());
    v->SetMarkerRadius(marker_.GetMarkerRadius());
    v->SetNoOutline(1);
    v->SetNoFill(1);
    v->SetSizeRelative(0);
    double wv[6] = {v->GetWorldMaxX(), v->GetWorldMinX(), v->GetWorldMaxY(),
                    v->GetWorldMinY(), v->GetWorldMaxZ(), v->GetWorldMinZ()};
    double tv[6] = {v->GetTransformedMaxX(), v->GetTransformedMinX(), v->GetTransformedMaxY(),
                    v->GetTransformedMinY(), v->GetTransformedMaxZ(), v->GetTransformedMinZ()};
    for (int k = 0; k < 6; ++k) {
        bool is_max = k % 2 == 0;
        if (count_ == 1 || (is_max ? wv[k] > world_[k] : wv[k] < world_[k])) world_[k] = wv[k];
        if (count_ == 1 || (is_max ? tv[k] > transformed_[k] : tv[k] < transformed_[k]))
            transformed_[k] = tv[k];
    }
    return v;
}

void CChartVertexSet::Clear() {
    for (int i = 1; i <= count_; ++i) vertices_.At(i) = nullptr;
    for (CChartVertex* v : given_) delete v;
    given_.clear();
    copies_.clear();
    count_ = 0;
    for (double& d : world_) d = 0.0;
    for (double& d : transformed_) d = 0.0;
    for (double& d : projected_) d = 0.0;
    for (double& d : screen_box_) d = 0.0;
}

bool CChartVertexSet::GetVertexCopy(CChartVertex& out, int i) const {
    const CChartVertex* v = GetVertex(i);
    if (!v) return false;
    out = *v;
    return true;
}

std::vector<CChartPoint> CChartVertexSet::screen_points(int extra_slots) const {
    std::vector<CChartPoint> pts;
    pts.reserve(static_cast<std::size_t>(count_) + static_cast<std::size_t>(extra_slots));
    for (int i = 1; i <= count_; ++i) pts.push_back(vertices_.Get(i)->GetScreenPoint());
    return pts;
}

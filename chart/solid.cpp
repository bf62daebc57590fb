// Closed bodies of the 3D charts: solids of faces drawn back to front, the
// bar charts' blocks, the pie slice and the group that orders solids by depth.
#include "chart/solid.h"

#include "chart/view3d.h"

#include <cmath>
#include <optional>

// ---------------------------------------------------------------- solid

CChartSolid::CChartSolid(CChartStyle* s) : chart::projected_member_element<CChartFace>(s) {
    flag_a = 0;
    flag_b = 1;
    flag_c = 1;
}

CChartSolid::~CChartSolid() = default;

void CChartSolid::Project(CChartView3D* view) {
    // A solid without faces has no extent to project: its boxes stay.
    members_.for_each([view](CChartFace* f) { f->Project(view); });
    ProjectCentre(view);
    if (members_.count() < 1) return;
    members_.fold_projected();
    if (flag_b == 1) order_by_depth();
    if (flag_a == 1) order_by_overlap();
}

int CChartSolid::ToScreen(CChartView3D* view) {
    members_.for_each([view](CChartFace* f) { f->ToScreen(view); });
    return CentreToScreen(view);
}

void CChartSolid::scale_parts(double sx, double sy, double sz) {
    members_.scale_members(sx, sy, sz);
    centre_.Scale(sx, sy, sz);
}

void CChartSolid::Translate(double dx, double dy, double dz) {
    member_element::Translate(dx, dy, dz);
    centre_.Translate(dx, dy, dz);
}

CChartFace* CChartSolid::AddFace(CChartFace* f) {
    return adopt(f);
}

void CChartSolid::ProjectCentre(CChartView3D* view) {
    centre_.Project(view);
    const double px = centre_.GetProjectedX(), py = centre_.GetProjectedY();
    if (centre_.GetWorldY() == 0.0)
        key_ = std::sqrt(px * px);
    else if (centre_.GetWorldX() == 0.0)
        key_ = std::sqrt(py * py);
    else
        key_ = std::sqrt(px * px + py * py);
}

int CChartSolid::CentreToScreen(CChartView3D* view) {
    return centre_.ToScreen(view);
}

int CChartSolid::Clear() {
    members_.forget();
    return 0;
}

void CChartSolid::add_box_faces(double x1, double x2, double y1, double y2, double z1, double z2) {
    chart::for_box_faces(x1, x2, y1, y2, z1, z2, [this](const double(&corners)[4][3]) {
        auto* f = new CChartFace(style);
        for (const auto& v : corners) f->AddVertex(new CChartVertex(v[0], v[1], v[2]));
        AddFace(f);
    });
}

// ---------------------------------------------------------------- boxes

// Each centre coordinate is the lower bound plus half the sum of both
// bounds: the middle of the block only for a lower bound of 0. It is a sort
// key, and for blocks of one width it still grows with their position, so
// the bar charts keep it as their stored order expects.
namespace {
double centre_of(double lo, double hi) {
    return lo + (lo + hi) * 0.5;
}
} // namespace

CChartBox1::CChartBox1(double x1, double x2, double y1, double y2, double z1, double z2,
                       CChartStyle* s)
    : CChartSolid(s) {
    add_box_faces(x1, x2, y1, y2, z1, z2);
    centre_.SetWorld(0.0, centre_of(y1, y2), centre_of(z1, z2));
}

void CChartBox1::ProjectCentre(CChartView3D* view) {
    centre_.Project(view);
    key_ = std::sqrt(centre_.GetProjectedY() * centre_.GetProjectedY());
}

CChartBox2::CChartBox2(double x1, double x2, double y1, double y2, double z1, double z2,
                       CChartStyle* s)
    : CChartSolid(s) {
    add_box_faces(x1, x2, y1, y2, z1, z2);
    centre_.SetWorld(centre_of(x1, x2), 0.0, centre_of(z1, z2));
}

void CChartBox2::ProjectCentre(CChartView3D* view) {
    centre_.Project(view);
    key_ = std::sqrt(centre_.GetProjectedX() * centre_.GetProjectedX());
}

CChartBox3::CChartBox3(double x1, double x2, double y1, double y2, double z1, double z2,
                       CChartStyle* s)
    : CChartSolid(s) {
    add_box_faces(x1, x2, y1, y2, z1, z2);
    centre_.SetWorld(centre_of(x1, x2), centre_of(y1, y2), centre_of(z1, z2));
}

void CChartBox3::ProjectCentre(CChartView3D* view) {
    centre_.Project(view);
    key_ = std::sqrt(centre_.GetProjectedY() * centre_.GetProjectedY());
}

// ---------------------------------------------------------------- round solid

namespace {
// The flat view: the given view's elevation with no rotation, through which
// the slice's circle projects to an ellipse with axis-parallel extent.
CChartView3D flat_view(const CChartView3D* view) {
    CChartView3D flat(100.0, 100.0, 100.0);
    if (view) flat = *view;
    flat.SetAngles(flat.GetElevation(), 0.0);
    return flat;
}
} // namespace

CChartRoundSolid::CChartRoundSolid(const CChartVertex* bottom_ref, const CChartVertex* top_ref,
                                   double radius, double start_angle, double end_angle,
                                   double height_percent, double offset_percent, int,
                                   CChartStyle* s)
    : CChartSolid(s) {
    SetFlagC(1);
    SetFlagA(1);
    const double mid = (end_angle - start_angle) * 0.5 + start_angle;
    const double t = offset_percent * 0.01 * radius;
    const double cx = t * std::cos(mid), cz = -t * std::sin(mid);
    const double r = radius + t;
    const double yb = bottom_ref ? bottom_ref->GetTransformedY() : 0.0;
    const double ytop = top_ref ? top_ref->GetTransformedY() : 0.0;
    const double yt = (ytop - yb) * (height_percent * 0.01) + yb;

    auto rim = [&](Point p, double angle, double y) {
        points_[p].SetWorld(cx + r * std::cos(angle), y, cz - r * std::sin(angle));
    };
    points_[apex_bottom].SetWorld(cx, yb, cz);
    points_[corner_bottom_low].SetWorld(cx - r, yb, cz - r);
    points_[corner_bottom_high].SetWorld(cx + r, yb, cz + r);
    rim(start_bottom, start_angle, yb);
    rim(mid_bottom, mid, yb);
    rim(end_bottom, end_angle, yb);
    points_[apex_top].SetWorld(cx, yt, cz);
    points_[corner_top_low].SetWorld(cx - r, yt, cz - r);
    points_[corner_top_high].SetWorld(cx + r, yt, cz + r);
    rim(start_top, start_angle, yt);
    rim(mid_top, mid, yt);
    rim(end_top, end_angle, yt);
    points_[apex_bottom_flat] = points_[apex_bottom];
    points_[apex_top_flat] = points_[apex_top];

    const Point quads[4][4] = {
        {apex_bottom, start_bottom, start_top, apex_top},
        {start_bottom, mid_bottom, mid_top, start_top},
        {mid_bottom, end_bottom, end_top, mid_top},
        {apex_top, end_top, end_bottom, apex_bottom},
    };
    for (int i = 0; i < 4; ++i) {
        auto* f = new CChartFace(style);
        for (Point p : quads[i]) f->AddVertexCopy(points_[p]);
        side_[i] = AddFace(f);
    }
    const Point ends[7][2] = {
        {apex_bottom, start_bottom}, {apex_bottom, end_bottom}, {apex_bottom, apex_top},
        {start_bottom, start_top},   {end_bottom, end_top},     {apex_top, start_top},
        {apex_top, end_top},
    };
    for (int i = 0; i < 7; ++i) {
        edges_[i].AddVertexCopy(points_[ends[i][0]]);
        edges_[i].AddVertexCopy(points_[ends[i][1]]);
    }
    centre_ = points_[mid_bottom];
}

void CChartRoundSolid::Project(CChartView3D* view) {
    CChartSolid::Project(view);
    for (Point p :
         {apex_bottom, start_bottom, mid_bottom, end_bottom, apex_top, start_top, mid_top, end_top})
        points_[p].Project(view);
    CChartView3D flat = flat_view(view);
    for (Point p : {corner_bottom_low, corner_bottom_high, corner_top_low, corner_top_high,
                    apex_bottom_flat, apex_top_flat})
        points_[p].Project(&flat);
    for (auto& e : edges_) e.Project(view);
}

int CChartRoundSolid::ToScreen(CChartView3D* view) {
    CChartSolid::ToScreen(view);
    for (auto& p : points_) p.ToScreen(view);
    int last = 0;
    for (auto& e : edges_) last = e.ToScreen(view);
    return last;
}

void CChartRoundSolid::scale_parts(double sx, double sy, double sz) {
    CChartSolid::scale_parts(sx, sy, sz);
    for (auto& p : points_) p.Scale(sx, sy, sz);
    for (auto& e : edges_) e.Scale(sx, sy, sz);
}

void CChartRoundSolid::Translate(double dx, double dy, double dz) {
    CChartSolid::Translate(dx, dy, dz);
    for (auto& p : points_) p.Translate(dx, dy, dz);
    for (auto& e : edges_) e.Translate(dx, dy, dz);
}

void CChartRoundSolid::ProjectCentre(CChartView3D* view) {
    centre_.Project(view);
    const double px = centre_.GetProjectedX(), pz = centre_.GetProjectedZ();
    key_ = std::sqrt(px * px + pz * pz);
}

namespace {
CChartPoint screen(const CChartVertex& v) {
    return v.GetScreenPoint();
}

// The pen of the style's own colour, width and pen style, on the context's
// pen stack.
void push_style_pen(CChartDC* dc, const CChartStyle* s) {
    if (s) s->SelectPen(dc);
}
} // namespace

void CChartRoundSolid::DrawBody(CChartDC* dc) {
    if (!dc) return;
    SelectPen(dc);
    SelectBrush(dc);
    const auto& P = points_;
    // Base ellipse, shifted from where the flat view put it to where the
    // solid's view puts the apex.
    const int dx = screen(P[apex_bottom]).x - screen(P[apex_bottom_flat]).x;
    const int dy = screen(P[apex_bottom]).y - screen(P[apex_bottom_flat]).y;
    const CChartRect base(screen(P[corner_bottom_low]).x + dx, screen(P[corner_bottom_low]).y + dy,
                          screen(P[corner_bottom_high]).x + dx,
                          screen(P[corner_bottom_high]).y + dy);
    dc->DrawPie(base, screen(P[start_bottom]), screen(P[end_bottom]));

    // The faces without visible seams: a pen in the fill colour. A style
    // shared with other slices gets its pen colour back on every way out.
    CChartStyle* st = has_style ? style : nullptr;
    int style_pens = 0;
    {
        std::optional<chart::pen_colour_keeper> keep;
        if (st) keep.emplace(st);
        UnselectPen(dc);
        if (st) st->SetPenColor(st->GetFillColor());
        SelectPen(dc);
        CChartSolid::DrawBody(dc);
        UnselectPen(dc);
    }
    push_style_pen(dc, st);
    if (st) ++style_pens;

    const int f1 = side_[0]->IsFrontFacing(), f2 = side_[1]->IsFrontFacing();
    const int f3 = side_[2]->IsFrontFacing(), f4 = side_[3]->IsFrontFacing();
    if (f2 || f3) dc->DrawArc(base, screen(P[start_bottom]), screen(P[end_bottom]));
    if (f1) edges_[0].DrawBody(dc);
    if (f4) edges_[1].DrawBody(dc);

    // Where the curved side turns from the viewer to the side of the apex,
    // the flat faces leave a gap the ellipses do not cover: a rectangle in
    // the fill colour patches it, with a vertical line for its outside edge.
    const double zs = P[start_bottom].GetProjectedZ(), ze = P[end_bottom].GetProjectedZ();
    const double za = P[apex_bottom].GetProjectedZ();
    bool patched = false;
    auto patch = [&](int left, int right, int line_x) {
        if (style_pens > 0) {
            CChartStyle::PopPenAndDelete(dc);
            --style_pens;
        }
        if (st) {
            chart::pen_colour_keeper keep(st);
            st->SetPenColor(st->GetFillColor());
            st->SelectPen(dc);
        }
        dc->DrawRectangle(CChartRect(left, screen(P[apex_top]).y, right, screen(P[apex_bottom]).y));
        if (st) CChartStyle::PopPenAndDelete(dc);
        push_style_pen(dc, st);
        if (st) ++style_pens;
        const CChartPoint line[2] = {{line_x, screen(P[apex_top]).y},
                                     {line_x, screen(P[apex_bottom]).y}};
        dc->DrawPolyline(line, 2);
        patched = true;
    };
    if (zs > za && ze < za) {
        const int x = screen(P[corner_bottom_high]).x + dx;
        patch(screen(P[apex_top]).x, x, x);
    } else if (zs < za && ze > za) {
        const int x = screen(P[corner_top_low]).x + dx;
        patch(x, screen(P[apex_bottom]).x, x);
    }

    if (style_pens > 0) {
        CChartStyle::PopPenAndDelete(dc);
        --style_pens;
    }
    push_style_pen(dc, st);
    if (st) ++style_pens;
    edges_[2].DrawBody(dc);

    const int tdx = screen(P[apex_top]).x - screen(P[apex_top_flat]).x;
    const int tdy = screen(P[apex_top]).y - screen(P[apex_top_flat]).y;
    const CChartRect top(screen(P[corner_top_low]).x + tdx, screen(P[corner_top_low]).y + tdy,
                         screen(P[corner_top_high]).x + tdx, screen(P[corner_top_high]).y + tdy);
    dc->DrawPie(top, screen(P[start_top]), screen(P[end_top]));
    dc->DrawArc(top, screen(P[start_top]), screen(P[end_top]));

    if (f1 || (f2 && !patched)) edges_[3].DrawBody(dc);
    if (f4 || (f3 && !patched)) edges_[4].DrawBody(dc);

    while (style_pens-- > 0) CChartStyle::PopPenAndDelete(dc);
    UnselectBrush(dc);
    UnselectPen(dc);
}

// ---------------------------------------------------------------- group

CChartSolidGroup::CChartSolidGroup() {
    MakeStyle();
    flag_a = 0;
    flag_b = 1;
    flag_c = 1;
}

CChartSolidGroup::CChartSolidGroup(CChartStyle* s)
    : chart::projected_member_element<CChartSolid>(s) {
    flag_a = 0;
    flag_b = 1;
    flag_c = 1;
}

CChartSolidGroup::~CChartSolidGroup() = default;

void CChartSolidGroup::Project(CChartView3D* view) {
    last_passes_ = 0;
    // An empty group has nothing to order; its boxes stay.
    if (members_.count() < 1) return;
    members_.for_each([view](CChartSolid* s) { s->Project(view); });
    members_.fold_projected();
    if (flag_b == 1)
        members_.stable_order([](const CChartSolid* a, const CChartSolid* b) {
            // a goes before b for a smaller depth, or an equal depth and a
            // larger key: what the exchanges of neighbours leave.
            const double da = chart::nan_first(a->CentreDepth());
            const double db = chart::nan_first(b->CentreDepth());
            if (da != db) return da < db;
            return chart::nan_first(a->Key()) > chart::nan_first(b->Key());
        });
    if (flag_a == 1)
        last_passes_ = members_.pairwise_order([](const CChartSolid& a, const CChartSolid& b) {
            const CChartFace* fa = a.LastFace();
            const CChartFace* fb = b.LastFace();
            return fa && fb && fa->MustFollow(*fb) != 0;
        });
}

int CChartSolidGroup::ToScreen(CChartView3D* view) {
    members_.for_each([view](CChartSolid* s) { s->ToScreen(view); });
    return viewed;
}

CChartSolid* CChartSolidGroup::AddSolid(CChartSolid* s) {
    return members_.add(s);
}

CChartSolid* CChartSolidGroup::add_box(CChartSolid* box) {
    if (has_style) box->SetStyle(style);
    // The box selects nothing itself: each face selects from the shared style.
    box->SetNoOutline(1);
    box->SetNoFill(1);
    box->SetFlagA(0);
    box->SetFlagB(1);
    box->SetFlagC(1);
    return AddSolid(box);
}

CChartSolid* CChartSolidGroup::AddBox1(double x1, double x2, double y1, double y2, double z1,
                                       double z2) {
    return add_box(new CChartBox1(x1, x2, y1, y2, z1, z2, style));
}

CChartSolid* CChartSolidGroup::AddBox2(double x1, double x2, double y1, double y2, double z1,
                                       double z2) {
    return add_box(new CChartBox2(x1, x2, y1, y2, z1, z2, style));
}

CChartSolid* CChartSolidGroup::AddBox3(double x1, double x2, double y1, double y2, double z1,
                                       double z2) {
    return add_box(new CChartBox3(x1, x2, y1, y2, z1, z2, style));
}

CChartSolid* CChartSolidGroup::AddRoundSolid(const CChartVertex* bottom_ref,
                                             const CChartVertex* top_ref, double radius,
                                             double start_angle, double end_angle,
                                             double height_percent, double offset_percent,
                                             int unused, CChartStyle* s) {
    CChartSolid* slice =
        AddSolid(new CChartRoundSolid(bottom_ref, top_ref, radius, start_angle, end_angle,
                                      height_percent, offset_percent, unused, s));
    if (!slice) return nullptr;
    // Set after joining: a slice orders its four faces by the pairwise test only.
    slice->SetFlagA(1);
    slice->SetFlagB(0);
    slice->SetFlagC(1);
    return slice;
}

int CChartSolidGroup::Clear() {
    members_.forget();
    return 0;
}

// One series of the 3D area and ribbon charts: its faces, sorted back to
// front by depth or by the pairwise overlap test.
#include "chart/ribbon.h"

#include <optional>

CChartRibbon::CChartRibbon(CChartStyle* s) : chart::member_element<CChartFace>(s) {
    flag_a = 1;
}

CChartRibbon::~CChartRibbon() = default;

void CChartRibbon::Project(CChartView3D* view) {
    if (members_.count() < 1) return;
    members_.for_each([view](CChartFace* f) { f->Project(view); });
    members_.fold_projected();
    if (flag_b == 1) SortByDepth();
    if (flag_a == 1) SortByOverlap();
}

int CChartRibbon::ToScreen(CChartView3D* view) {
    members_.for_each([view](CChartFace* f) { f->ToScreen(view); });
    return viewed;
}

void CChartRibbon::DrawBody(CChartDC* dc) {
    if (!dc) return;
    // The faces share the style: without an outline the pen takes the fill
    // colour, or a ribbon of many narrow panels is all edges. The 3D plots
    // draw bodies, so the switch is kept here.
    std::optional<chart::pen_colour_keeper> restore;
    if (outlined_ != 1 && has_style && style) {
        restore.emplace(style);
        style->SetPenColor(style->GetFillColor());
    }
    draw_members(dc);
}

CChartFace* CChartRibbon::AddPart(CChartFace* f) {
    return adopt(f);
}

void CChartRibbon::AddBox(double x1, double x2, double y1, double y2, double z1, double z2) {
    chart::for_box_faces(x1, x2, y1, y2, z1, z2, [this](const double(&corners)[4][3]) {
        auto* f = new CChartFace();
        for (const auto& v : corners) f->AddVertexAt(v[0], v[1], v[2]);
        AddPart(f);
    });
}

CChartFace* CChartRibbon::AddPanel(double x1, double x2, double y1, double y2, double z1,
                                   double z2) {
    auto* f = new CChartFace();
    f->AddVertexAt(x1, y1, z2);
    f->AddVertexAt(x2, y2, z2);
    f->AddVertexAt(x2, y2, z1);
    f->AddVertexAt(x1, y1, z1);
    return AddPart(f);
}

void CChartRibbon::SortByDepth() {
    if (flag_b == 0) return;
    order_by_depth();
}

void CChartRibbon::SortByOverlap() {
    last_passes_ = 0;
    if (flag_a == 0) return;
    last_passes_ = order_by_overlap();
}

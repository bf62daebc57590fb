#include "chart/ribbon.h"

#include <optional>

CChartRibbon::CChartRibbon(CChartStyle* s) : CChartElement(s) {
    flag_a = 1;
}

CChartRibbon::~CChartRibbon() = default;

void CChartRibbon::Project(CChartView3D* view) {
    if (parts_.count() < 1) return;
    parts_.for_each([view](CChartFace* f) { f->Project(view); });
    parts_.fold_projected();
    if (flag_b == 1) SortByDepth();
    if (flag_a == 1) SortByOverlap();
}

int CChartRibbon::ToScreen(CChartView3D* view) {
    parts_.for_each([view](CChartFace* f) { f->ToScreen(view); });
    return viewed;
}

void CChartRibbon::Scale(double sx, double sy, double sz) {
    const double ox = parts_.offset[0], oy = parts_.offset[1], oz = parts_.offset[2];
    Translate(-ox, -oy, -oz);
    parts_.scale_members(sx, sy, sz);
    Translate(ox, oy, oz);
}

void CChartRibbon::Translate(double dx, double dy, double dz) {
    parts_.translate_members(dx, dy, dz);
}

int CChartRibbon::SetFlagA(int v) {
    flag_a = v;
    parts_.for_each([v](CChartFace* f) { f->SetFlagA(v); });
    return v;
}

int CChartRibbon::SetFlagB(int v) {
    flag_b = v;
    parts_.for_each([v](CChartFace* f) { f->SetFlagB(v); });
    return v;
}

int CChartRibbon::SetFlagC(int v) {
    flag_c = v;
    parts_.for_each([v](CChartFace* f) { f->SetFlagC(v); });
    return v;
}

void CChartRibbon::Draw(CChartDC* dc) {
    DrawBody(dc);
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
    SelectPen(dc);
    SelectBrush(dc);
    parts_.for_each([dc](CChartFace* f) { f->DrawBody(dc); });
    UnselectBrush(dc);
    UnselectPen(dc);
}

CChartFace* CChartRibbon::AddPart(CChartFace* f) {
    if (!f) return nullptr;
    if (has_style && style) {
        f->SetStyle(style);
    } else {
        f->SetNoOutline(1);
        f->SetNoFill(1);
    }
    f->SetFlagA(flag_a);
    f->SetFlagB(flag_b);
    f->SetFlagC(flag_c);
    return parts_.add(f);
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
    parts_.stable_order([](const CChartFace* a, const CChartFace* b) {
        return chart::nan_first(a->GetProjectedMinZ()) < chart::nan_first(b->GetProjectedMinZ());
    });
}

void CChartRibbon::SortByOverlap() {
    last_passes_ = 0;
    if (flag_a == 0) return;
    last_passes_ = parts_.pairwise_order(
        [](const CChartFace& a, const CChartFace& b) { return a.MustFollow(b) != 0; });
}

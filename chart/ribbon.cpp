#include "chart/ribbon.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

CChartRibbon::CChartRibbon(CChartStyle* s) : CChartElement(s) {
    flag_a = 1;
}

CChartRibbon::~CChartRibbon() {
    for (int i = 1; i <= count_; ++i) delete parts_.Get(i);
}

void CChartRibbon::Project(CChartView3D* view) {
    if (count_ < 1) return;
    for (int i = 1; i <= count_; ++i) parts_.Get(i)->Project(view);
    const CChartFace* f = parts_.Get(1);
    double* p = projected_;
    p[0] = f->GetProjectedMaxX();
    p[1] = f->GetProjectedMinX();
    p[3] = f->GetProjectedMaxY();
    p[4] = f->GetProjectedMinY();
    p[6] = f->GetProjectedMaxZ();
    p[7] = f->GetProjectedMinZ();
    for (int i = 2; i <= count_; ++i) {
        f = parts_.Get(i);
        if (f->GetProjectedMaxX() > p[0]) p[0] = f->GetProjectedMaxX();
        if (f->GetProjectedMinX() < p[1]) p[1] = f->GetProjectedMinX();
        if (f->GetProjectedMaxY() > p[3]) p[3] = f->GetProjectedMaxY();
        if (f->GetProjectedMinY() < p[4]) p[4] = f->GetProjectedMinY();
        if (f->GetProjectedMaxZ() > p[6]) p[6] = f->GetProjectedMaxZ();
        if (f->GetProjectedMinZ() < p[7]) p[7] = f->GetProjectedMinZ();
    }
    for (int a = 0; a < 3; ++a) p[3 * a + 2] = (p[3 * a] - p[3 * a + 1]) * 0.5 + p[3 * a + 1];
    if (flag_b == 1) SortByDepth();
    if (flag_a == 1) SortByOverlap();
}

int CChartRibbon::ToScreen(CChartView3D* view) {
    for (int i = 1; i <= count_; ++i) parts_.Get(i)->ToScreen(view);
    return viewed;
}

void CChartRibbon::Scale(double sx, double sy, double sz) {
    double ox = offset_[0], oy = offset_[1], oz = offset_[2];
    Translate(-ox, -oy, -oz);
    for (int i = 1; i <= count_; ++i) parts_.Get(i)->Scale(sx, sy, sz);
    double s[3] = {sx, sy, sz};
    for (int a = 0; a < 3; ++a) {
        scale_[a] *= s[a];
        transformed_[2 * a] *= s[a];
        transformed_[2 * a + 1] *= s[a];
    }
    Translate(ox, oy, oz);
}

void CChartRibbon::Translate(double dx, double dy, double dz) {
    for (int i = 1; i <= count_; ++i) parts_.Get(i)->Translate(dx, dy, dz);
    double d[3] = {dx, dy, dz};
    for (int a = 0; a < 3; ++a) {
        offset_[a] += d[a];
        transformed_[2 * a] += d[a];
        transformed_[2 * a + 1] += d[a];
    }
}

int CChartRibbon::SetFlagA(int v) {
    flag_a = v;
    for (int i = 1; i <= count_; ++i) parts_.Get(i)->SetFlagA(v);
    return v;
}

int CChartRibbon::SetFlagB(int v) {
    flag_b = v;
    for (int i = 1; i <= count_; ++i) parts_.Get(i)->SetFlagB(v);
    return v;
}

int CChartRibbon::SetFlagC(int v) {
    flag_c = v;
    for (int i = 1; i <= count_; ++i) parts_.Get(i)->SetFlagC(v);
    return v;
}

namespace {

// Puts a shared style's pen colour back on every way out of a draw.
class PenColourRestore {
public:
    explicit PenColourRestore(CChartStyle* s) : s_(s), colour_(s->GetPenColor()) {}
    PenColourRestore(const PenColourRestore&) = delete;
    PenColourRestore& operator=(const PenColourRestore&) = delete;
    ~PenColourRestore() { s_->SetPenColor(colour_); }

private:
    CChartStyle* s_;
    CChartColor colour_;
};

} // namespace

void CChartRibbon::Draw(CChartDC* dc) {
    if (outlined_ == 1 || !has_style || !style) {
        DrawBody(dc);
        return;
    }
    // The faces share the style: the pen in the fill colour hides the edges.
    PenColourRestore restore(style);
    style->SetPenColor(style->GetFillColor());
    DrawBody(dc);
}

void CChartRibbon::DrawBody(CChartDC* dc) {
    if (!dc) return;
    SelectPen(dc);
    SelectBrush(dc);
    for (int i = 1; i <= count_; ++i) parts_.Get(i)->DrawBody(dc);
    UnselectBrush(dc);
    UnselectPen(dc);
}

CChartFace* CChartRibbon::AddPart(CChartFace* f) {
    if (!f) return nullptr;
    if (count_ + 1 > CChartPtrArray<CChartFace>::kMaxIndex) {
        delete f; // the ribbon owns what it is given, even what it cannot keep
        return nullptr;
    }
    parts_.At(++count_) = f;
    if (has_style && style) {
        f->SetStyle(style);
    } else {
        f->SetNoOutline(1);
        f->SetNoFill(1);
    }
    f->SetFlagA(flag_a);
    f->SetFlagB(flag_b);
    f->SetFlagC(flag_c);
    f->Scale(scale_[0], scale_[1], scale_[2]);
    f->Translate(offset_[0], offset_[1], offset_[2]);
    double wv[6] = {f->GetWorldMaxX(), f->GetWorldMinX(), f->GetWorldMaxY(),
                    f->GetWorldMinY(), f->GetWorldMaxZ(), f->GetWorldMinZ()};
    double tv[6] = {f->GetTransformedMaxX(), f->GetTransformedMinX(), f->GetTransformedMaxY(),
                    f->GetTransformedMinY(), f->GetTransformedMaxZ(), f->GetTransformedMinZ()};
    for (int k = 0; k < 6; ++k) {
        bool is_max = k % 2 == 0;
        if (count_ == 1 || (is_max ? wv[k] > world_[k] : wv[k] < world_[k])) world_[k] = wv[k];
        if (count_ == 1 || (is_max ? tv[k] > transformed_[k] : tv[k] < transformed_[k]))
            transformed_[k] = tv[k];
    }
    return f;
}

void CChartRibbon::AddBox(double x1, double x2, double y1, double y2, double z1, double z2) {
    const double q[6][4][3] = {
        {{x1, y1, z2}, {x1, y1, z1}, {x2, y1, z1}, {x2, y1, z2}},
        {{x1, y1, z1}, {x1, y2, z1}, {x2, y2, z1}, {x2, y1, z1}},
        {{x1, y1, z2}, {x1, y2, z2}, {x1, y2, z1}, {x1, y1, z1}},
        {{x2, y1, z1}, {x2, y2, z1}, {x2, y2, z2}, {x2, y1, z2}},
        {{x2, y1, z2}, {x2, y2, z2}, {x1, y2, z2}, {x1, y1, z2}},
        {{x2, y2, z1}, {x1, y2, z1}, {x1, y2, z2}, {x2, y2, z2}},
    };
    for (const auto& face : q) {
        auto* f = new CChartFace();
        for (const auto& v : face) f->AddVertexCopy(CChartVertex(v[0], v[1], v[2]));
        AddPart(f);
    }
}

CChartFace* CChartRibbon::AddPanel(double x1, double x2, double y1, double y2, double z1,
                                   double z2) {
    auto* f = new CChartFace();
    f->AddVertexCopy(CChartVertex(x1, y1, z2));
    f->AddVertexCopy(CChartVertex(x2, y2, z2));
    f->AddVertexCopy(CChartVertex(x2, y2, z1));
    f->AddVertexCopy(CChartVertex(x1, y1, z1));
    return AddPart(f);
}

void CChartRibbon::SortByDepth() {
    if (flag_b == 0 || count_ < 2) return;
    // A stable sort gives exactly what passes of neighbour exchanges on a
    // strictly smaller key give; NaN keys go first so the order is strict.
    auto key = [](const CChartFace* f) {
        double k = f->GetProjectedMinZ();
        return std::isnan(k) ? -std::numeric_limits<double>::infinity() : k;
    };
    std::vector<CChartFace*> v;
    v.reserve(static_cast<std::size_t>(count_));
    for (int i = 1; i <= count_; ++i) v.push_back(parts_.Get(i));
    std::stable_sort(v.begin(), v.end(),
                     [&](const CChartFace* a, const CChartFace* b) { return key(a) < key(b); });
    for (int i = 1; i <= count_; ++i) parts_.At(i) = v[static_cast<std::size_t>(i - 1)];
}

void CChartRibbon::SortByOverlap() {
    last_passes_ = 0;
    if (flag_a == 0 || count_ < 2) return;
    for (int pass = 0; pass < count_; ++pass) {
        ++last_passes_;
        bool swapped = false;
        for (int i = 1; i < count_; ++i)
            for (int j = i + 1; j <= count_; ++j) {
                CChartFace*& a = parts_.At(i);
                CChartFace*& b = parts_.At(j);
                if (a->MustFollow(*b)) {
                    std::swap(a, b);
                    swapped = true;
                }
            }
        if (!swapped) break;
    }
}

// The plot of each chart type and dimension: how each turns the data model's
// sets into elements.
#include "chart/plots.h"

#include "chart/axis.h"
#include "chart/data.h"
#include "chart/ribbon.h"
#include "chart/solid.h"
#include "chart/view3d.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// The slices' turn: this constant, not a closer value of two pi, so that
// stored charts keep their angles.
constexpr double kTurn = 6.283185306;

// The data sets in index order, gaps left out.
std::vector<CChartSeries*> data_sets(CChartData* d) {
    std::vector<CChartSeries*> out;
    if (!d) return out;
    for (int s = d->GetLowestSet(); s >= 1 && s <= d->GetHighestSet(); ++s)
        if (CChartSeries* set = d->GetDataSet(s)) out.push_back(set);
    return out;
}

int set_number(CChartData* d, CChartSeries* set) {
    for (int s = d->GetLowestSet(); s >= 1 && s <= d->GetHighestSet(); ++s)
        if (d->GetDataSet(s) == set) return s;
    return 0;
}

// Where point i of a set lies along x, and the set's first and last x and
// depth, by the data model's x placement.
struct Placement {
    int mode;
    double x(CChartSeries* set, int i) const {
        if (mode == 1) return i;
        if (mode == 2) return i - 1;
        return set->GetPoint(i)->GetX();
    }
    double start(CChartSeries* set) const {
        return mode == 1 ? 1.0 : mode == 2 ? 0.0 : set->XMin();
    }
    double end(CChartSeries* set) const {
        const int n = set->GetCount();
        return mode == 1 ? n : mode == 2 ? n - 1 : set->XMax();
    }
    double depth(CChartSeries* set, int s) const { return mode == 3 ? set->ZMin() : s - 1; }
};

int largest_count(const std::vector<CChartSeries*>& sets) {
    int n = 0;
    for (auto* s : sets) n = std::max(n, s->GetCount());
    return n;
}

} // namespace

// ---------------------------------------------------------------- line, points, area

CChartPlot2D1::CChartPlot2D1() : CChartAxesPlot(1, 1) {
    SetDimension(1);
    MakeAxes();
}

void CChartPlot2D1::Build(CChartData* data) {
    CChartPlot::Build(data);
    if (data) {
        const Placement at{data->GetXMode()};
        for (CChartSeries* set : data_sets(data)) {
            if (!set->HasPoints()) continue;
            const double z = at.depth(set, set_number(data, set));
            auto* p = new CChartPolygon(set->GetStyle());
            p->AddVertexAt(at.start(set), 0, z);
            for (int i = 1; i <= set->GetCount(); ++i)
                p->AddVertexAt(at.x(set, i), set->GetPoint(i)->GetY(), z);
            p->AddVertexAt(at.end(set), 0, z);
            AddToList3(p);
        }
    }
    SetPanelValue(0);
    AddCornerPoints();
}

namespace {

// The ribbons' data bounds: x widened by one step in mode 1, z the depth
// bands of the sets.
void ribbon_bounds(CChartData* d, double b[6]) {
    const int mode = d->GetXMode();
    b[0] = d->GetXMin() - (mode == 1 ? 1.0 : 0.0);
    b[3] = d->GetXMax() + (mode == 1 ? 1.0 : 0.0);
    b[1] = d->GetYMin();
    b[4] = d->GetYMax();
    const double z = d->GetZMax();
    if (mode == 1) {
        b[2] = 0.0;
        b[5] = 2 * z;
    } else if (mode == 2) {
        b[2] = 0.0;
        b[5] = 2 * z - 1;
    } else {
        const double w = d->GetXStep() / 2;
        b[2] = d->GetZMin() - w;
        b[5] = d->GetZMax() + w;
    }
}

double band_centre(CChartData* d, CChartSeries* set, int s) {
    return d->GetXMode() == 3 ? set->GetPoint(1)->GetZ() : 2.0 * s - 1.5;
}

} // namespace

CChartPlot3D1::CChartPlot3D1() : CChartPlot2D1(1, 2) {
    SetDimension(2);
    MakeAxes();
}

void CChartPlot3D1::TakeDataBounds(CChartData* d) {
    if (d) ribbon_bounds(d, data_bounds_);
}

void CChartPlot3D1::Build(CChartData* data) {
    CChartPlot::Build(data);
    if (data) {
        const Placement at{data->GetXMode()};
        const double h = data->GetXStep() * 0.5 * bar_width_;
        for (CChartSeries* set : data_sets(data)) {
            const int n = set->GetCount();
            if (n < 2) continue;
            const double zc = band_centre(data, set, set_number(data, set));
            auto* r = new CChartRibbon(set->GetStyle());
            r->SetOutlined(1);
            r->SetFlagA(1);
            r->SetFlagC(0);
            auto seg = [&](double a, double b, double c, double e) {
                r->AddPanel(a, b, c, e, zc - h, zc + h);
            };
            const double x_start = at.start(set), x_end = at.end(set);
            seg(x_start, x_start, 0, set->GetPoint(1)->GetY());
            for (int i = 1; i < n; ++i) {
                const double x0 = at.x(set, i), x1 = at.x(set, i + 1);
                const double y0 = set->GetPoint(i)->GetY(), y1 = set->GetPoint(i + 1)->GetY();
                seg(x0, x1, y0, y1);
                if ((y0 > 0 && y1 < 0) || (y0 < 0 && y1 > 0)) {
                    const double k = x1 - x0 > 0.001 ? (y1 - y0) / (x1 - x0) : 1.0;
                    // At the fallback slope the crossing can fall outside the
                    // step: it stays within it.
                    const double xc =
                        std::clamp((k * x0 - y0) / k, std::min(x0, x1), std::max(x0, x1));
                    if (k > 0)
                        seg(x0, xc, 0, 0);
                    else
                        seg(xc, x1, 0, 0);
                } else if (!(y0 > 0) && !(y1 > 0)) {
                    seg(x0, x1, 0, 0);
                }
            }
            seg(x_end, x_end, set->GetPoint(n)->GetY(), 0);
            auto* front = new CChartFace(set->GetStyle());
            front->AddVertexAt(x_end, 0, zc + h);
            for (int i = n; i >= 1; --i)
                front->AddVertexAt(at.x(set, i), set->GetPoint(i)->GetY(), zc + h);
            front->AddVertexAt(x_start, 0, zc + h);
            r->AddPart(front);
            AddToList3(r);
        }
    }
    SetPanelValue(0);
    AddCornerPoints();
}

namespace {
// One element per set with points: the points at their place, in order.
template <class Element> void build_sets(CChartPlot& plot, CChartData* data) {
    if (!data) return;
    const Placement at{data->GetXMode()};
    for (CChartSeries* set : data_sets(data)) {
        if (!set->HasPoints()) continue;
        const double z = at.depth(set, set_number(data, set));
        auto* e = new Element(set->GetStyle());
        for (int i = 1; i <= set->GetCount(); ++i)
            e->AddVertexAt(at.x(set, i), set->GetPoint(i)->GetY(), z);
        plot.AddToList3(e);
    }
}
} // namespace

CChartPlot2D4::CChartPlot2D4() : CChartAxesPlot(4, 1) {
    SetDimension(1);
    MakeAxes();
}

void CChartPlot2D4::Build(CChartData* data) {
    CChartPlot::Build(data);
    build_sets<CChartPolyline>(*this, data);
    SetPanelValue(0);
    AddCornerPoints();
}

CChartPlot3D4::CChartPlot3D4() : CChartPlot2D4(4, 2) {
    SetDimension(2);
    MakeAxes();
}

CChartPlot2D6::CChartPlot2D6() : CChartAxesPlot(6, 1) {
    SetDimension(1);
    MakeAxes();
}

void CChartPlot2D6::Build(CChartData* data) {
    CChartPlot::Build(data);
    build_sets<CChartVertexSet>(*this, data);
    SetPanelValue(0);
    AddCornerPoints();
}

CChartPlot3D6::CChartPlot3D6() : CChartPlot2D6(6, 2) {
    SetDimension(2);
    MakeAxes();
}

CChartPlot3D7::CChartPlot3D7() : CChartAxesPlot(7, 2) {
    SetDimension(2);
    MakeAxes();
}

void CChartPlot3D7::TakeDataBounds(CChartData* d) {
    if (d) ribbon_bounds(d, data_bounds_);
}

void CChartPlot3D7::Build(CChartData* data) {
    CChartPlot::Build(data);
    if (data) {
        const Placement at{data->GetXMode()};
        const double h = 0.45 * bar_width_;
        for (CChartSeries* set : data_sets(data)) {
            const int n = set->GetCount();
            if (n < 2) continue;
            const double zc = band_centre(data, set, set_number(data, set));
            auto* r = new CChartRibbon(set->GetStyle());
            r->SetOutlined(0);
            r->SetFlagC(0);
            for (int i = 1; i < n; ++i)
                r->AddPanel(at.x(set, i), at.x(set, i + 1), set->GetPoint(i)->GetY(),
                            set->GetPoint(i + 1)->GetY(), zc - h, zc + h);
            AddToList3(r);
        }
    }
    SetPanelValue(0);
    AddCornerPoints();
}

CChartPlot2D7::CChartPlot2D7() : CChartPlot3D7(7, 1) {
    SetDimension(1);
    MakeAxes();
}

// ---------------------------------------------------------------- bars

namespace {

// A bar of four corners at depth 0: along y (upright) or along x.
CChartPolygon* bar(CChartStyle* style, double c, double h, double lo, double hi, bool upright) {
    auto* p = new CChartPolygon(style);
    if (upright) {
        p->AddVertexAt(c - h, lo, 0);
        p->AddVertexAt(c - h, hi, 0);
        p->AddVertexAt(c + h, hi, 0);
        p->AddVertexAt(c + h, lo, 0);
    } else {
        p->AddVertexAt(lo, c - h, 0);
        p->AddVertexAt(hi, c - h, 0);
        p->AddVertexAt(hi, c + h, 0);
        p->AddVertexAt(lo, c + h, 0);
    }
    return p;
}

void grouped_2d(CChartPlot& plot, CChartData* d, bool upright) {
    if (!d) return;
    const auto sets = data_sets(d);
    if (sets.empty()) return;
    const int mode = d->GetXMode();
    const int spread = d->GetHighestSet() - d->GetLowestSet();
    const int groups = mode == 1 ? spread + 2 : mode == 2 ? spread + 1 : 1;
    const double w = d->GetXStep() / groups;
    const double h = 0.5 * w * plot.GetBarWidth();
    const int n = largest_count(sets);
    for (int p = 1; p <= n; ++p)
        for (CChartSeries* set : sets) {
            if (!set->HasPoints()) continue;
            const int s = set_number(d, set);
            CChartDataPoint* pt = set->GetPoint(p);
            const double c = mode == 1   ? s * w + p - 0.5
                             : mode == 2 ? (s - 1) * w + (p - 1) + h
                                         : pt->GetX();
            plot.AddToList3(bar(set->GetStyle(), c, h, 0.0, pt->GetY(), upright));
        }
}

void grouped_3d(CChartPlot& plot, CChartData* d, bool upright) {
    if (!d) return;
    const int mode = d->GetXMode();
    const double h = 0.5 * d->GetXStep() * plot.GetBarWidth();
    for (CChartSeries* set : data_sets(d)) {
        if (!set->HasPoints()) continue;
        const int s = set_number(d, set);
        auto* g = new CChartSolidGroup(set->GetStyle());
        g->SetFlagA(1);
        g->SetFlagB(1);
        g->SetFlagC(1);
        for (int p = 1; p <= set->GetCount(); ++p) {
            CChartDataPoint* pt = set->GetPoint(p);
            const double y = pt->GetY();
            const double lo = y < 0 ? y : 0.0, hi = y < 0 ? 0.0 : y;
            const double c = mode == 1 ? p : mode == 2 ? p - 0.5 : pt->GetX();
            const double zc = mode == 3 ? pt->GetZ() : 2.0 * s - 1.5;
            if (upright)
                g->AddBox2(c - h, c + h, lo, hi, zc - h, zc + h);
            else
                g->AddBox1(lo, hi, c - h, c + h, zc - h, zc + h);
        }
        plot.AddToList3(g);
    }
}

// The x bounds of bars placed along x: half a step beyond the outer bars in
// mode 3, else from 0 to one past the last point.
void bar_positions(CChartData* d, double& lo, double& hi) {
    if (d->GetXMode() == 3) {
        lo = d->GetXMin() - d->GetXStep() / 2;
        hi = d->GetXMax() + d->GetXStep() / 2;
    } else {
        lo = 0.0;
        hi = d->GetXMax() + 1;
    }
}

void bar_depths(CChartData* d, double& lo, double& hi) {
    if (d->GetXMode() == 3) {
        lo = d->GetZMin() - d->GetXStep() / 2;
        hi = d->GetZMax() + d->GetXStep() / 2;
    } else {
        lo = 0.0;
        hi = 2 * d->GetZMax() - 1;
    }
}

void swapped_axes(CChartPlot& plot) {
    CChartAxis* v = plot.GetAxis(3);
    v->Enable();
    v->SetLabelMode(5);
    v->SetLabelEvery(1);
    v->SetGridEvery(1);
    CChartAxis* h = plot.GetAxis(2);
    h->Enable();
    h->SetLabelMode(6);
    h->SetLabelEvery(1); // the axis thins its labels where they would overlap
    h->SetGridEvery(2);
}

void stacked_axes(CChartPlot& plot) {
    CChartAxis* h = plot.GetAxis(2);
    h->Enable();
    h->SetLabelMode(5);
    h->SetLabelEvery(1);
    h->SetGridEvery(1);
    CChartAxis* v = plot.GetAxis(3);
    v->Enable();
    v->SetLabelMode(7);
    v->SetLabelEvery(1); // the axis thins its labels where they would overlap
    v->SetGridEvery(2);
}

// Calls `piece(c, h, set, lo, hi, p)` for every data set's piece at every
// position p, each set stacking on the sums of those before it (values at
// or above 0 on the positive sum, negative ones below the negative sum).
template <class Piece, class Position>
void stack(CChartPlot& plot, CChartData* d, Piece piece, Position position_done) {
    const auto sets = data_sets(d);
    const int n = largest_count(sets);
    if (n < 1) return;
    CChartSeries* reference = nullptr;
    for (auto* s : sets)
        if (s->GetCount() == n) {
            reference = s;
            break;
        }
    const int mode = d->GetXMode();
    const double h = 0.5 * d->GetXStep() * plot.GetBarWidth();
    for (int p = 1; p <= n; ++p) {
        const double c = mode == 1 ? p : mode == 2 ? p - 0.5 : reference->GetPoint(p)->GetX();
        double positive = 0.0, negative = 0.0;
        for (CChartSeries* set : sets) {
            if (!set->HasPoints()) continue;
            const double y = set->GetPoint(p)->GetY();
            double& sum = y >= 0 ? positive : negative;
            const double before = sum;
            sum += y;
            piece(c, h, set, before, sum);
        }
        position_done();
    }
    if (mode == 1) {
        auto* beyond = new CChartVertex(n + 1, 0, 0);
        beyond->SetVisible(0);
        plot.AddToList2(beyond);
    }
}

} // namespace

CChartPlot2D2::CChartPlot2D2() : CChartAxesPlot(2, 1) {
    SetDimension(1);
    MakeAxes();
}

void CChartPlot2D2::MakeAxes() {
    swapped_axes(*this);
}

void CChartPlot2D2::TakeDataBounds(CChartData* d) {
    if (!d) return;
    data_bounds_[0] = d->GetYMin();
    data_bounds_[3] = d->GetYMax();
    bar_positions(d, data_bounds_[1], data_bounds_[4]);
    data_bounds_[2] = 0.0;
    data_bounds_[5] = 2 * d->GetZMax() - 1;
}

void CChartPlot2D2::Build(CChartData* data) {
    CChartPlot::Build(data);
    grouped_2d(*this, data, false);
    SetPanelValue(0);
    AddCornerPoints();
}

CChartPlot3D2::CChartPlot3D2() : CChartAxesPlot(2, 2) {
    SetDimension(2);
    MakeAxes();
}

void CChartPlot3D2::MakeAxes() {
    swapped_axes(*this);
}

void CChartPlot3D2::TakeDataBounds(CChartData* d) {
    if (!d) return;
    data_bounds_[0] = d->GetYMin();
    data_bounds_[3] = d->GetYMax();
    bar_positions(d, data_bounds_[1], data_bounds_[4]);
    bar_depths(d, data_bounds_[2], data_bounds_[5]);
}

void CChartPlot3D2::Build(CChartData* data) {
    CChartPlot::Build(data);
    grouped_3d(*this, data, false);
    SetPanelValue(0);
    AddCornerPoints();
}

CChartPlot2D3::CChartPlot2D3() : CChartAxesPlot(3, 1) {
    SetDimension(1);
    MakeAxes();
}

void CChartPlot2D3::Build(CChartData* data) {
    CChartPlot::Build(data);
    grouped_2d(*this, data, true);
    SetPanelValue(0);
    AddCornerPoints();
}

CChartPlot3D3::CChartPlot3D3() : CChartAxesPlot(3, 2) {
    SetDimension(2);
    MakeAxes();
}

void CChartPlot3D3::TakeDataBounds(CChartData* d) {
    if (!d) return;
    bar_positions(d, data_bounds_[0], data_bounds_[3]);
    data_bounds_[1] = d->GetYMin();
    data_bounds_[4] = d->GetYMax();
    bar_depths(d, data_bounds_[2], data_bounds_[5]);
}

void CChartPlot3D3::Build(CChartData* data) {
    CChartPlot::Build(data);
    grouped_3d(*this, data, true);
    SetPanelValue(0);
    AddCornerPoints();
}

CChartPlot2D8::CChartPlot2D8() : CChartAxesPlot(8, 1) {
    SetDimension(1);
    MakeAxes();
}

void CChartPlot2D8::MakeAxes() {
    stacked_axes(*this);
}

void CChartPlot2D8::Build(CChartData* data) {
    CChartPlot::Build(data);
    if (data)
        stack(
            *this, data,
            [this](double c, double h, CChartSeries* set, double a, double b) {
                AddToList3(bar(set->GetStyle(), c, h, a, b, true));
            },
            [] {});
    SetPanelValue(0);
    AddCornerPoints();
}

CChartPlot3D8::CChartPlot3D8() : CChartAxesPlot(8, 2) {
    SetDimension(2);
    MakeAxes();
}

void CChartPlot3D8::MakeAxes() {
    stacked_axes(*this);
}

void CChartPlot3D8::TakeDataBounds(CChartData* d) {
    if (!d) return;
    bar_positions(d, data_bounds_[0], data_bounds_[3]);
    data_bounds_[1] = d->GetStackMin();
    data_bounds_[4] = d->GetStackMax();
    data_bounds_[2] = 0.0;
    data_bounds_[5] = 1.0;
}

void CChartPlot3D8::Build(CChartData* data) {
    CChartPlot::Build(data);
    if (data) {
        CChartSolidGroup* group = nullptr;
        stack(
            *this, data,
            [&group](double c, double h, CChartSeries* set, double a, double b) {
                if (!group) group = new CChartSolidGroup(nullptr);
                group->SetStyle(set->GetStyle());
                group->AddBox3(c - h, c + h, std::min(a, b), std::max(a, b), 0.5 - h, 0.5 + h);
            },
            [this, &group] {
                if (group) AddToList3(group);
                group = nullptr;
            });
    }
    SetPanelValue(0);
    AddCornerPoints();
}

// ---------------------------------------------------------------- pies

CChartPlot2D5::CChartPlot2D5() : CChartPlot2D5(5, 1) {}

CChartPlot2D5::CChartPlot2D5(int type, int dimension) : CChartNoAxesPlot(type, dimension) {
    SetShowPlane1(0);
    SetShowPlane2(0);
    SetShowPlane3(0);
    SetDimension(dimension);
}

double CChartPlot2D5::radius() const {
    return view_->GetBoxMaxX() - 0.1;
}

void CChartPlot2D5::slice_angles(CChartData* d, std::vector<double>& end_angle,
                                 std::vector<CChartSeries*>& sets) const {
    sets = data_sets(d);
    double total = 0.0;
    for (auto* s : sets) total += s->GetAbsYSum();
    double percent = 0.0;
    for (auto* s : sets) {
        // A total of (almost) nothing leaves every boundary at angle 0.
        if (std::fabs(total) >= 0.001)
            percent += s->GetAbsYSum() * 100.0 / total;
        else
            percent = 0.0;
        end_angle.push_back(percent * kTurn * 0.01);
    }
}

void CChartPlot2D5::Build(CChartData* data) {
    CChartPlot::Build(data);
    angles_.clear();
    if (!data) return;
    std::vector<double> angles;
    std::vector<CChartSeries*> sets;
    slice_angles(data, angles, sets);
    angles_ = angles;
    const double r = radius();
    for (std::size_t k = 0; k < sets.size(); ++k) {
        auto* v = new CChartVertex(r * std::cos(angles[k]), 0, -r * std::sin(angles[k]));
        v->SetStyle(sets[k]->GetStyle());
        AddToList2(v);
    }
}

CChartVertex* CChartPlot2D5::GetBoundary(int k) const {
    return static_cast<CChartVertex*>(GetListElement(2, k));
}

void CChartPlot2D5::TakeBoxSize() {
    CChartNoAxesPlot::TakeBoxSize();
    const int n = GetListCount(2);
    if (n > 1) {
        const double dy = view_->GetBoxMinY() - GetBoundary(1)->GetTransformedY();
        for (int k = 1; k <= n; ++k) GetBoundary(k)->Translate(0, dy, 0);
    }
}

CChartRect CChartPlot2D5::slice_rect() const {
    CChartPoint lo = GetRef(flat_right).GetScreenPoint(), hi = lo;
    for (Ref r : {flat_left, flat_back, flat_front, right, back}) {
        const CChartPoint p = GetRef(r).GetScreenPoint();
        lo = lo.MinCorner(p.x, p.y);
        hi = hi.MaxCorner(p.x, p.y);
    }
    return CChartRect(lo, hi);
}

bool CChartPlot2D5::slice_span(int to, double& start, double& end) const {
    if (to < 1 || to > static_cast<int>(angles_.size())) return false;
    end = angles_[static_cast<std::size_t>(to - 1)];
    start = to >= 2 ? angles_[static_cast<std::size_t>(to - 2)] : 0.0;
    return true;
}

void CChartPlot2D5::pie_slice(const CChartRect& r, const CChartPoint& centre, const CChartPoint& a,
                              const CChartPoint& b, CChartVertex* style_of, CChartDC* dc) const {
    style_of->SelectPen(dc);
    style_of->SelectBrush(dc);
    dc->DrawPie(r, a, b);
    style_of->UnselectBrush(dc);
    style_of->UnselectPen(dc);
    dc->PushNewPen(CChartColor(0, 0, 0));
    if (draw_arc_ == 1) dc->DrawArc(r, a, b);
    if (draw_radii_ == 1) {
        const CChartPoint ra[2] = {centre, a};
        const CChartPoint rb[2] = {centre, b};
        dc->DrawPolyline(ra, 2);
        dc->DrawPolyline(rb, 2);
    }
    delete dc->PopPen();
}

void CChartPlot2D5::DrawSlice(const CChartRect& r, int from, int to, CChartDC* dc) {
    CChartVertex* a = GetBoundary(from);
    CChartVertex* b = GetBoundary(to);
    if (!a || !b) return;
    // Slice `to` ends at boundary `to` and starts at the one before (at 0
    // for the first). A slice of no sweep has both radial points in one
    // place, which the pie primitive takes for the whole ellipse: it is not
    // drawn. (A slice of the whole turn has them in one place too, and is
    // rightly the whole ellipse.)
    double start = 0.0, end = 0.0;
    if (slice_span(to, start, end) && !(end - start > 0.0)) return;
    pie_slice(r, GetRef(CChartNoAxesPlot::centre).GetScreenPoint(), a->GetScreenPoint(),
              b->GetScreenPoint(), b, dc);
}

void CChartPlot2D5::draw_face(const CChartRect& r, CChartDC* dc,
                              const std::function<void(int from, int to)>& slice) {
    dc->PushNewPen(CChartColor(0, 0, 0));
    dc->PushNewBrush(CChartColor(255, 255, 255));
    dc->DrawEllipse({r.left, r.top}, {r.right, r.bottom});
    delete dc->PopBrush();
    delete dc->PopPen();
    const int n = GetListCount(2);
    if (n == 1) {
        CChartVertex* only = GetBoundary(1);
        only->SelectPen(dc);
        only->SelectBrush(dc);
        dc->DrawEllipse({r.left, r.top}, {r.right, r.bottom});
        only->UnselectBrush(dc);
        only->UnselectPen(dc);
    } else if (n > 1) {
        slice(n, 1);
        for (int k = 1; k < n; ++k) slice(k, k + 1);
    }
}

void CChartPlot2D5::DrawPlanes(CChartDC* dc) {
    CChartNoAxesPlot::DrawPlanes(dc);
    const CChartRect r = slice_rect();
    // The flat slices, by this class's own slice drawing: a derived pie's
    // DrawSlice draws something else (the 3D pie's side walls).
    draw_face(r, dc, [&](int from, int to) { CChartPlot2D5::DrawSlice(r, from, to, dc); });
    if (GetListCount(2) >= 1) GetBoundary(1)->DrawBody(dc);
}

void CChartPlot2D5::raise_top(std::vector<CChartVertex>& top, CChartVertex* top_centre) {
    thickness_ = thickness_fraction_ * view_->GetBoxSizeY();
    if (top_centre) top_centre->SetWorld(origin_[0], origin_[1] + thickness_, origin_[2]);
    const Ref ext[4] = {right, left, back, front};
    for (int i = 0; i < 4; ++i) {
        const CChartVertex& v = GetRef(ext[i]);
        top[static_cast<std::size_t>(i)].SetWorld(v.GetWorldX(), v.GetWorldY() + thickness_,
                                                  v.GetWorldZ());
        top[static_cast<std::size_t>(i + 4)] = top[static_cast<std::size_t>(i)];
    }
}

// ---------------------------------------------------------------- 3D pie

CChartPlot3D5::CChartPlot3D5() : CChartPlot2D5(5, 2) {}

void CChartPlot3D5::Build(CChartData* data) {
    CChartPlot2D5::Build(data);
    if (!data) return;
    std::vector<double> angles;
    std::vector<CChartSeries*> sets;
    slice_angles(data, angles, sets);
    const double r = radius();
    for (std::size_t k = 0; k < sets.size(); ++k) {
        auto* v = new CChartVertex(r * std::cos(angles[k]), thickness_, -r * std::sin(angles[k]));
        v->SetStyle(sets[k]->GetStyle());
        AddToList3(v);
    }
}

void CChartPlot3D5::TakeBoxSize() {
    CChartPlot2D5::TakeBoxSize();
    raise_top(top_, nullptr);
    const int n = GetListCount(3);
    if (n >= 2)
        for (int k = 1; k <= n; ++k) {
            CChartElement* e = GetListElement(3, k);
            e->Translate(0, view_->GetBoxMinY() + thickness_ - e->GetTransformedMinY(), 0);
        }
}

void CChartPlot3D5::ProjectPass() {
    CChartPlot2D5::ProjectPass();
    for (int i = 0; i < 4; ++i) top_[static_cast<std::size_t>(i)].Project(view_);
    const double first = view_->GetElevation(), second = view_->GetRotation();
    view_->SetAngles(first, 0.0);
    view_->Update();
    for (int i = 4; i < 8; ++i) top_[static_cast<std::size_t>(i)].Project(view_);
    view_->SetAngles(first, second);
    view_->Update();
}

void CChartPlot3D5::ToScreenPass() {
    CChartPlot2D5::ToScreenPass();
    if (!view_->IsFitted()) return;
    for (auto& v : top_) v.ToScreen(view_);
}

CChartPlot3D5::Ring CChartPlot3D5::ring(bool upper) const {
    // A ring is the disc's outline seen in parallel projection: an affine
    // image of the circle, given by its centre and the images of the radii
    // at angle 0 (right) and at a quarter turn (the front, z = -r).
    const CChartPoint rp = upper ? top_[4].GetScreenPoint() : GetRef(flat_right).GetScreenPoint();
    const CChartPoint lp = upper ? top_[5].GetScreenPoint() : GetRef(flat_left).GetScreenPoint();
    const CChartPoint bp = upper ? top_[6].GetScreenPoint() : GetRef(flat_back).GetScreenPoint();
    const CChartPoint fp = upper ? top_[7].GetScreenPoint() : GetRef(flat_front).GetScreenPoint();
    Ring g;
    g.cx = (rp.x + lp.x) * 0.5;
    g.cy = (rp.y + lp.y) * 0.5;
    g.ux = (rp.x - lp.x) * 0.5;
    g.uy = (rp.y - lp.y) * 0.5;
    g.vx = (fp.x - bp.x) * 0.5;
    g.vy = (fp.y - bp.y) * 0.5;
    CChartPoint lo = rp, hi = rp;
    for (const CChartPoint& p : {lp, bp, fp}) {
        lo = lo.MinCorner(p.x, p.y);
        hi = hi.MaxCorner(p.x, p.y);
    }
    g.rect = CChartRect(lo, hi);
    return g;
}

CChartPoint CChartPlot3D5::Ring::at(double a) const {
    const double c = std::cos(a), s = std::sin(a);
    return {static_cast<int>(std::lround(cx + ux * c + vx * s)),
            static_cast<int>(std::lround(cy + uy * c + vy * s))};
}

bool CChartPlot3D5::visible_arc(double& from, double& to) const {
    // The side shows where the bottom ring lies below its centre on the
    // screen: half a turn around the direction that points down the most.
    const Ring g = ring(false);
    if (g.uy == 0.0 && g.vy == 0.0) return false; // seen edge-on or from straight above
    const double mid = std::atan2(g.vy, g.uy);
    from = mid - kTurn * 0.25;
    to = mid + kTurn * 0.25;
    return true;
}

void CChartPlot3D5::DrawSlice(const CChartRect&, int from, int to, CChartDC* dc) {
    CChartVertex* b1 = GetBoundary(to);
    if (!GetBoundary(from) || !b1) return;
    double start = 0.0, end = 0.0, vis_from = 0.0, vis_to = 0.0;
    if (!slice_span(to, start, end) || !(end - start > 0.0)) return;
    if (!visible_arc(vis_from, vis_to)) return;
    const Ring lower = ring(false), upper = ring(true);
    CChartStyle* style = b1->GetStyle();
    // The slice's span against the visible half, tried a turn either way.
    for (double shift : {-kTurn, 0.0, kTurn}) {
        const double a0 = std::max(start, vis_from + shift);
        const double a1 = std::min(end, vis_to + shift);
        if (!(a1 > a0)) continue;
        const int steps = std::max(2, static_cast<int>((a1 - a0) / (kTurn / 180.0)) + 1);
        std::vector<CChartPoint> wall;
        wall.reserve(static_cast<std::size_t>(2 * (steps + 1)));
        for (int i = 0; i <= steps; ++i) wall.push_back(lower.at(a0 + (a1 - a0) * i / steps));
        for (int i = steps; i >= 0; --i) wall.push_back(upper.at(a0 + (a1 - a0) * i / steps));
        {
            chart::pen_colour_keeper keep(style);
            style->SetPenColor(style->GetFillColor());
            style->SelectPen(dc);
            style->SelectBrush(dc);
            dc->DrawPolygon(wall.data(), static_cast<int>(wall.size()));
            CChartStyle::PopBrushAndDelete(dc);
            CChartStyle::PopPenAndDelete(dc);
        }
        // The upright edges where the slice begins and ends on this side.
        style->SelectPen(dc);
        if (a0 == start) {
            const CChartPoint e[2] = {lower.at(a0), upper.at(a0)};
            dc->DrawPolyline(e, 2);
        }
        if (a1 == end) {
            const CChartPoint e[2] = {lower.at(a1), upper.at(a1)};
            dc->DrawPolyline(e, 2);
        }
        CChartStyle::PopPenAndDelete(dc);
    }
}

void CChartPlot3D5::DrawPlanes(CChartDC* dc) {
    CChartNoAxesPlot::DrawPlanes(dc);
    const Ring lower = ring(false), upper = ring(true);
    const int n = GetListCount(2);
    // The underside and the side band, white, under the walls; with one
    // data set the band is that set's.
    dc->PushNewPen(CChartColor(0, 0, 0));
    dc->PushNewBrush(CChartColor(255, 255, 255));
    dc->DrawEllipse({lower.rect.left, lower.rect.top}, {lower.rect.right, lower.rect.bottom});
    delete dc->PopBrush();
    delete dc->PopPen();
    const CChartPoint lb = GetRef(flat_left).GetScreenPoint();
    const CChartPoint rb = GetRef(flat_right).GetScreenPoint();
    const CChartPoint lt = top_[5].GetScreenPoint(), rt = top_[4].GetScreenPoint();
    const CChartPoint band[4] = {lb, lt, rt, rb};
    CChartStyle* one = n == 1 ? GetBoundary(1)->GetStyle() : nullptr;
    if (one) {
        chart::pen_colour_keeper keep(one);
        one->SetPenColor(one->GetFillColor());
        one->SelectPen(dc);
        one->SelectBrush(dc);
        dc->DrawPolygon(band, 4);
        // The front half of the underside belongs to the band too.
        dc->DrawEllipse({lower.rect.left, lower.rect.top}, {lower.rect.right, lower.rect.bottom});
        CChartStyle::PopBrushAndDelete(dc);
        CChartStyle::PopPenAndDelete(dc);
    } else {
        dc->PushNewPen(CChartColor(255, 255, 255));
        dc->PushNewBrush(CChartColor(255, 255, 255));
        dc->DrawPolygon(band, 4);
        delete dc->PopBrush();
        delete dc->PopPen();
    }
    if (n > 1) {
        const CChartRect r = lower.rect;
        DrawSlice(r, n, 1, dc);
        for (int k = 1; k < n; ++k) DrawSlice(r, k, k + 1, dc);
    }
    // The outline of the side: the near half of the underside and the two
    // upright edges at the disc's extremes.
    double vis_from = 0.0, vis_to = 0.0;
    dc->PushNewPen(CChartColor(0, 0, 0));
    if (visible_arc(vis_from, vis_to))
        dc->DrawArc(lower.rect, lower.at(vis_from), lower.at(vis_to));
    const CChartPoint left_edge[2] = {lower.at(vis_from), upper.at(vis_from)};
    const CChartPoint right_edge[2] = {lower.at(vis_to), upper.at(vis_to)};
    dc->DrawPolyline(left_edge, 2);
    dc->DrawPolyline(right_edge, 2);
    delete dc->PopPen();
    // The top face: the flat pie on the upper ring.
    const CChartPoint centre(static_cast<int>(std::lround(upper.cx)),
                             static_cast<int>(std::lround(upper.cy)));
    draw_face(upper.rect, dc, [&](int, int to) {
        double start = 0.0, end = 0.0;
        if (slice_span(to, start, end) && !(end - start > 0.0)) return;
        CChartVertex* b = GetBoundary(to);
        if (!b || !slice_span(to, start, end)) return;
        pie_slice(upper.rect, centre, upper.at(start), upper.at(end), b, dc);
    });
    if (n >= 1) GetBoundary(1)->DrawBody(dc);
}

// ---------------------------------------------------------------- round-solid pie

CChartPlot9::CChartPlot9() : CChartPlot2D5(9, 2) {
    SetShowPlane2(1);
}

void CChartPlot9::TakeBoxSize() {
    CChartPlot2D5::TakeBoxSize();
    raise_top(top_, &top_centre_);
}

void CChartPlot9::Build(CChartData* data) {
    CChartPlot2D5::Build(data);
    if (!data || data->GetHighestSet() - data->GetLowestSet() <= 1) return;
    std::vector<double> angles;
    std::vector<CChartSeries*> sets;
    slice_angles(data, angles, sets);
    auto* group = new CChartSolidGroup(nullptr);
    group->SetFlagA(0);
    group->SetFlagB(1);
    group->SetFlagC(1);
    double start = 0.0;
    for (std::size_t k = 0; k < sets.size(); ++k) {
        group->AddRoundSolid(&GetRef(CChartNoAxesPlot::centre), &top_centre_, radius(), start,
                             angles[k], 100.0, 10.0, 1, sets[k]->GetStyle());
        start = angles[k];
    }
    AddToList3(group);
}

void CChartPlot9::ProjectPass() {
    CChartPlot2D5::ProjectPass();
    top_centre_.Project(view_);
    for (auto& v : top_) v.Project(view_);
}

void CChartPlot9::ToScreenPass() {
    CChartPlot2D5::ToScreenPass();
    if (!view_->IsFitted()) return;
    top_centre_.ToScreen(view_);
    for (auto& v : top_) v.ToScreen(view_);
}

void CChartPlot9::DrawPlanes(CChartDC* dc) {
    if (project_dirty_ || view_->IsChanged()) {
        view_->Update();
        ProjectPass();
        screen_dirty_ = 1;
    }
    if (screen_dirty_ || !view_->IsFitted()) {
        view_->FitToDC(dc);
        ToScreenPass();
        SetViewPass();
    }
    for_lists(3, 4, [dc](CChartElement* e) { e->DrawBody(dc); });
}

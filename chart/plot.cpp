// The plot base: its view, planes, frame, axes, label layers and element
// lists, and the build, scale, project, screen and draw passes over them.
#include "chart/plot.h"

#include "chart/axis.h"
#include "chart/data.h"
#include "chart/frame.h"
#include "chart/labels.h"
#include "chart/view3d.h"

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------- base

CChartPlot::CChartPlot(int chart_type, int dimension) : CChartPlotState(chart_type, dimension) {
    for (int a = 0; a < 3; ++a) origin_[a] = view_->GetOrigin()[a];
    // The base's own operations: a derived plot is not built yet.
    CChartPlot::FollowOrigin();
    CChartPlot::MakeLists();
    CChartPlot::MakePlanes();
    CChartPlot::MakeDecoration();
    CChartPlot::MakeAxes();
    CChartPlot::ResetLayers();
}

CChartPlot::~CChartPlot() {
    for (int l = 1; l <= 4; ++l)
        for (int i = 1; i <= counts_[l - 1]; ++i) delete lists_[l - 1].Get(i);
    for (auto* s : plane_styles_) delete s;
    delete frame_;
}

CChartElement* CChartPlot::GetListElement(int list, int i) const {
    if (list < 1 || list > 4 || i < 1 || i > counts_[list - 1]) return nullptr;
    return lists_[list - 1].Get(i);
}

void CChartPlot::add_to(int list, CChartElement* e) {
    if (!e) return;
    if (counts_[list] + 1 > CChartPtrArray<CChartElement>::kMaxIndex) {
        delete e; // the plot owns what it is given, even what it cannot keep
        return;
    }
    e->Translate(origin_[0], origin_[1], origin_[2]);
    lists_[list].At(++counts_[list]) = e;
    mark_dirty();
}

void CChartPlot::Build(CChartData* data) {
    ClearLists();
    prepared_ = 0;
    TakeDataBounds(data);
    TakeBoxBounds();
    GetAxisTitleLayer()->PlaceLabels(data);
    GetAnnotationLayer()->PlaceLabels(data);
    GetLegendLayer()->PlaceLabels(data);
    // The enabled axes build their ticks over the bounds just taken.
    for (auto* a : axes_)
        if (a && a->IsEnabled()) a->Build(data);
    mark_dirty();
}

void CChartPlot::SetViewPass() {
    for_all([this](CChartElement* e) { e->SetView(view_); });
    view_dirty_ = 0;
}

void CChartPlot::ProjectPass() {
    view_->Update();
    for_all([this](CChartElement* e) { e->Project(view_); });
    for (auto& c : corners_) c.Project(view_);
    project_dirty_ = 0;
    screen_dirty_ = 1;
}

void CChartPlot::ToScreenPass() {
    if (!view_->IsFitted()) return;
    for_all([this](CChartElement* e) { e->ToScreen(view_); });
    for (auto& c : corners_) c.ToScreen(view_);
    screen_dirty_ = 0;
    screen_fit_ = view_->GetFitCount();
}

void CChartPlot::Rebuild() {
    FollowOrigin();
    TakeBoxSize();
    TakeBoxBounds();
    ComputeScale();
    ComputeOffset();
    ApplyScale();
    ApplyOffset();
    project_dirty_ = 1; // the transformed points moved
}

void CChartPlot::Draw(CChartDC* dc) {
    if (!dc) return;
    if (!prepared_) {
        // After a build the data model's notification has usually projected
        // and mapped everything already: a pass whose inputs (the points,
        // the view, the fit) are unchanged since would give the same
        // points, and over a large chart each pass costs milliseconds.
        const bool view_changed = view_->IsChanged();
        view_->Update();
        if (project_dirty_ || view_changed) ProjectPass();
        view_->FitToDC(dc);
        if (screen_dirty_ || screen_fit_ != view_->GetFitCount()) ToScreenPass();
        SetViewPass();
        prepared_ = 1;
    }
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
    if (!outline_only_ && draw_view_rect_) {
        dc->PushPen(new CChartPen(CChartColor(0, 0, 0), 2, 1));
        dc->DrawFrame(view_->GetViewRect());
        delete dc->PopPen();
    }
    if (dimension_ == 2)
        DrawPlanesAndFrame(dc);
    else
        DrawPlanes(dc);
    for (int i : {2, 0, 1})
        if (corners_[i].IsVisible()) corners_[i].DrawBody(dc);
}

void CChartPlot::DrawPlanes(CChartDC* dc) {
    for (int i = 0; i < 3; ++i) {
        if (!show_plane_[i]) continue;
        if (outline_only_)
            planes_[i].DrawOutline(dc);
        else
            planes_[i].DrawBody(dc);
    }
}

void CChartPlot::DrawPlanesAndFrame(CChartDC* dc) {
    // The base's own planes: through the table, a derived DrawPlanes that
    // calls this would recurse, and the axes plots would draw their lists
    // twice.
    CChartPlot::DrawPlanes(dc);
    if (show_frame_ == 1 && frame_ && frame_->HasName()) {
        frame_->DrawBody(dc);
        planes_[1].DrawOutline(dc);
    }
}

int CChartPlot::SetDimension(int d) {
    if (d == 1) {
        saved_view_[0] = view_->GetElevation();
        saved_view_[1] = view_->GetRotation();
        saved_view_[2] = view_->GetRoll();
        saved_view_[3] = view_->GetPerspective();
        view_->SetAngles(0.0, 0.0);
        view_->SetPerspective(0.0);
        if (dimension_ == 2) project_dirty_ = 1;
    } else if (d == 2) {
        view_->SetAngles(saved_view_[0], saved_view_[1]);
        view_->SetPerspective(saved_view_[3]);
        if (dimension_ == 1) project_dirty_ = 1;
    } else {
        return 0;
    }
    return 1;
}

int CChartPlot::SetDimensionValue(int d) {
    if (d != 1 && d != 2) return 0;
    SetDimension(d);
    dimension_ = d;
    return 1;
}

void CChartPlot::ClearLists() {
    for (int l = 1; l <= 2; ++l) {
        for (int i = 1; i <= counts_[l]; ++i) delete lists_[l].Get(i);
        counts_[l] = 0;
    }
}

void CChartPlot::ApplyScale() {
    for_lists(2, 3, [this](CChartElement* e) { e->Scale(scale_[0], scale_[1], scale_[2]); });
}

void CChartPlot::ApplyOffset() {
    for_lists(2, 3, [this](CChartElement* e) { e->Translate(offset_[0], offset_[1], offset_[2]); });
}

void CChartPlot::ComputeScale() {
    for (int a = 0; a < 3; ++a) {
        const double range = box_bounds_[3 + a] - box_bounds_[a];
        scale_[a] = std::fabs(range) > 0.001 ? box_size_[a] / range : 1.0;
    }
}

void CChartPlot::ComputeOffset() {
    for (int a = 0; a < 3; ++a) offset_[a] = (origin_[a] - box_bounds_[a]) * scale_[a];
}

void CChartPlot::TakeBoxSize() {
    const double now[3] = {view_->GetBoxSizeX(), view_->GetBoxSizeY(), view_->GetBoxSizeZ()};
    double ratio[3] = {1.0, 1.0, 1.0};
    bool changed = false;
    for (int a = 0; a < 3; ++a) {
        if (now[a] == box_size_[a]) continue;
        if (std::fabs(box_size_[a]) > 0.001) ratio[a] = now[a] / box_size_[a];
        box_size_[a] = now[a];
        changed = true;
    }
    if (changed)
        for (auto& p : planes_) p.Scale(ratio[0], ratio[1], ratio[2]);
}

void CChartPlot::MakePlanes() {
    // Left wall, back wall, floor: planes 2, 1, 3. The view numbers its
    // plane corners by plane (back wall first), as the planes here are.
    const int plane_of[3] = {1, 0, 2};
    for (int k = 0; k < 3; ++k) {
        CChartPolygon& p = planes_[plane_of[k]];
        p.Clear();
        for (int j = 0; j < 4; ++j) {
            double x, y, z;
            view_->GetCorner(CChartView3D::kPlaneCorners[plane_of[k]][j], x, y, z);
            p.AddVertex(new CChartVertex(x, y, z));
        }
        p.Project(view_);
    }
    box_size_[0] = view_->GetBoxSizeX();
    box_size_[1] = view_->GetBoxSizeY();
    box_size_[2] = view_->GetBoxSizeZ();
    saved_view_[0] = view_->GetElevation();
    saved_view_[1] = view_->GetRotation();
    saved_view_[2] = view_->GetRoll();
    saved_view_[3] = view_->GetPerspective();
}

void CChartPlot::MakeDecoration() {
    for (auto& c : corners_) c.SetVisible(0);
    draw_view_rect_ = 0;
    outline_only_ = 0;
    for (auto& s : show_plane_) s = 1;
    const CChartColor fills[3] = {{192, 192, 192}, {192, 192, 192}, {128, 128, 128}};
    for (int i = 0; i < 3; ++i) {
        delete plane_styles_[i];
        plane_styles_[i] = new CChartStyle();
        plane_styles_[i]->SetFillColor(fills[i]);
        planes_[i].SetStyle(plane_styles_[i]);
        planes_[i].SetNoFill(0);
    }
    show_frame_ = 0;
    delete frame_;
    frame_ = new CChartFrame(view_);
}

void CChartPlot::MakeAxes() {
    if (axes_[0]) return; // made once, with the plot
    axes_[0] = new CChartAxis1(this);
    axes_[1] = new CChartAxis2(this);
    axes_[2] = new CChartAxis3(this);
    axes_[3] = new CChartAxis4(this);
    axes_[4] = new CChartAxis5(this);
    axes_[5] = new CChartAxis6(this);
    axes_[6] = new CChartAxis7(this);
    for (auto* a : axes_) {
        AddToList1(a);
        a->Disable();
    }
    // What each axis counts by chart type: horizontal bars swap the value
    // and position axes, stacked bars count the running sums, and a pie has
    // only its angle axis (the others make no ticks when enabled).
    static const int modes[4][7] = {
        {6, 6, 5, 5, 4, 4, 0}, // 2
        {0, 0, 0, 0, 0, 0, 4}, // 5, 9
        {5, 5, 7, 7, 4, 4, 0}, // 8
        {5, 5, 6, 6, 4, 4, 0}, // others
    };
    const int row = chart_type_ == 2                       ? 0
                    : chart_type_ == 5 || chart_type_ == 9 ? 1
                    : chart_type_ == 8                     ? 2
                                                           : 3;
    for (int i = 0; i < 7; ++i) axes_[i]->SetLabelMode(modes[row][i]);
}

void CChartPlot::MakeLists() {
    for (int l = 0; l < 4; ++l) {
        counts_[l] = 0;
        lists_[l].Reserve(l == 0 ? 10 : 100);
    }
}

void CChartPlot::ResetLayers() {
    title_layer_ = nullptr;
    legend_layer_ = nullptr;
    annotation_layer_ = nullptr;
}

CChartAxisTitleLayer* CChartPlot::GetAxisTitleLayer() {
    if (!title_layer_) {
        title_layer_ = new CChartAxisTitleLayer(this);
        AddToList4(title_layer_);
    }
    return title_layer_;
}

CChartLegendLayer* CChartPlot::GetLegendLayer() {
    if (!legend_layer_) {
        legend_layer_ = new CChartLegendLayer(this);
        AddToList4(legend_layer_);
    }
    return legend_layer_;
}

CChartAnnotationLayer* CChartPlot::GetAnnotationLayer() {
    if (!annotation_layer_) {
        annotation_layer_ = new CChartAnnotationLayer(this);
        AddToList4(annotation_layer_);
    }
    return annotation_layer_;
}

void CChartPlot::TakeDataBounds(CChartData* d) {
    if (!d) return;
    double* b = data_bounds_;
    const int mode = d->GetXMode();
    switch (chart_type_) {
    case 1:
    case 4:
    case 6:
        b[0] = mode == 1 ? 0.0 : d->GetXMin();
        b[3] = mode == 1 ? d->GetXMax() + 1 : d->GetXMax();
        b[1] = d->GetYMin();
        b[4] = d->GetYMax();
        break;
    case 2:
        b[0] = d->GetYMin();
        b[3] = d->GetYMax();
        b[1] = mode == 2 ? 0.0 : d->GetXMin();
        b[4] = mode == 2 ? d->GetXMax() + 1 : d->GetXMax();
        break;
    case 3:
    case 8:
        if (mode == 3) {
            const double half = d->GetXStep() * 0.5;
            b[0] = d->GetXMin() - half;
            b[3] = d->GetXMax() + half;
        } else {
            b[0] = 0.0;
            b[3] = d->GetXMax() + 1;
        }
        b[1] = chart_type_ == 8 ? d->GetStackMin() : d->GetYMin();
        b[4] = chart_type_ == 8 ? d->GetStackMax() : d->GetYMax();
        break;
    default:
        b[0] = d->GetXMin();
        b[3] = d->GetXMax();
        b[1] = d->GetYMin();
        b[4] = d->GetYMax();
        break;
    }
    b[2] = d->GetZMin();
    b[5] = d->GetZMax();
    if (chart_type_ == 8) {
        b[2] = 0.0;
        b[5] = 1.0;
    } else if (chart_type_ == 2 || chart_type_ == 3 || chart_type_ == 7) {
        b[5] = 2 * d->GetZMax() - 1;
    }
}

void CChartPlot::TakeBoxBounds() {
    box_bounds_[0] = view_->GetBoxMinX();
    box_bounds_[1] = view_->GetBoxMinY();
    box_bounds_[2] = view_->GetBoxMinZ();
    box_bounds_[3] = view_->GetBoxMaxX();
    box_bounds_[4] = view_->GetBoxMaxY();
    box_bounds_[5] = view_->GetBoxMaxZ();
}

void CChartPlot::FollowOrigin() {
    const double now[3] = {view_->GetBoxMinX(), view_->GetBoxMinY(), view_->GetBoxMinZ()};
    const double d[3] = {now[0] - origin_[0], now[1] - origin_[1], now[2] - origin_[2]};
    for (int a = 0; a < 3; ++a) origin_[a] = now[a];
    if (d[0] == 0.0 && d[1] == 0.0 && d[2] == 0.0) return;
    for_lists(1, 3, [&d](CChartElement* e) { e->Translate(d[0], d[1], d[2]); });
}

void CChartPlot::SetPanelValue(int v) {
    auto pass = [v](CChartAxis* a) {
        if (a && a->IsEnabled()) a->SetPanelValue(v);
    };
    if (IsPieType()) {
        pass(axes_[6]);
        return;
    }
    for (int n : {2, 1, 3, 4}) pass(axes_[n - 1]);
    if (dimension_ == 2)
        for (int n : {5, 6}) pass(axes_[n - 1]);
}

void CChartPlot::AddCornerPoints() {
    auto* lo = new CChartVertex(data_bounds_[0], data_bounds_[1], data_bounds_[2]);
    auto* hi = new CChartVertex(data_bounds_[3], data_bounds_[4], data_bounds_[5]);
    lo->SetVisible(0);
    hi->SetVisible(0);
    AddToList2(lo);
    AddToList2(hi);
}

void CChartPlot::SetBackgroundColour(CChartColor c) {
    background_ = c;
    for (auto* a : axes_)
        if (a) a->SetBackgroundColour(c);
    GetAxisTitleLayer()->SetTickBackColour(c);
    GetLegendLayer()->SetTickBackColour(c);
    GetAnnotationLayer()->SetTickBackColour(c);
}

int CChartPlot::SetPerspective(double p) {
    int ok = 1;
    if (!(p >= 0.0)) { // below 0, or NaN
        p = 0.0;
        ok = 0;
    } else if (p > 100.0) {
        p = 100.0;
        ok = 0;
    }
    view_->SetPerspective(p);
    project_dirty_ = 1;
    return ok;
}

void CChartPlot::ResetPerspective() {
    view_->SetPerspective(0.0);
    project_dirty_ = 1;
}

int CChartPlot::SetRotation(double a, double b) {
    int ok = 1;
    const double ca = std::clamp(std::isnan(a) ? 0.0 : a, 0.0, 90.0);
    const double cb = std::clamp(std::isnan(b) ? 0.0 : b, -90.0, 0.0);
    if (ca != a || cb != b) ok = 0;
    view_->SetAngles(ca, cb);
    saved_view_[0] = view_->GetElevation();
    saved_view_[1] = view_->GetRotation();
    project_dirty_ = 1;
    return ok;
}

void CChartPlot::SetViewFactors(double a, double b) {
    view_factor_[0] = a / 100.0;
    view_factor_[1] = b / 100.0;
    const double s = 2 * view_->GetBoxMaxX();
    view_->SetBoxSize(s, s * a / 100.0, s * b / 100.0);
    Rebuild();
    project_dirty_ = 1;
}

// ---------------------------------------------------------------- axes plot

CChartAxesPlot::CChartAxesPlot(int chart_type, int dimension) : CChartPlot(chart_type, dimension) {
    FollowOrigin();
    SetPerspective(0);
    SetRotation(20, -30);
    SetViewFactors(100, 50);
    MakeAxes();
}

void CChartAxesPlot::Build(CChartData* data) {
    CChartPlot::Build(data);
    SetPanelValue(0);
    AddCornerPoints();
}

void CChartAxesPlot::DrawPlanes(CChartDC* dc) {
    CChartPlot::DrawPlanes(dc);
    for_lists(1, 4, [dc](CChartElement* e) { e->Draw(dc); });
}

void CChartAxesPlot::DrawPlanesAndFrame(CChartDC* dc) {
    CChartPlot::DrawPlanesAndFrame(dc);
    for_lists(1, 4, [dc](CChartElement* e) { e->DrawBody(dc); });
}

void CChartAxesPlot::MakeAxes() {
    CChartAxis* x = GetAxis(2);
    x->Enable();
    x->SetLabelMode(5);
    x->SetLabelEvery(1);
    x->SetGridEvery(1);
    CChartAxis* y = GetAxis(3);
    y->Enable();
    y->SetLabelMode(6);
    y->SetLabelEvery(1); // the axis thins its labels where they would overlap
    y->SetGridEvery(2);
}

void CChartAxesPlot::TakeBoxBounds() {
    double b[6] = {view_->GetBoxMinX(), view_->GetBoxMinY(), view_->GetBoxMinZ(),
                   view_->GetBoxMaxX(), view_->GetBoxMaxY(), view_->GetBoxMaxZ()};
    bool first = true;
    auto widen = [&](CChartElement* e) {
        const double v[6] = {e->GetTransformedMinX(), e->GetTransformedMinY(),
                             e->GetTransformedMinZ(), e->GetTransformedMaxX(),
                             e->GetTransformedMaxY(), e->GetTransformedMaxZ()};
        for (int a = 0; a < 3; ++a) {
            if (first || v[a] < b[a]) b[a] = v[a];
            if (first || v[3 + a] > b[3 + a]) b[3 + a] = v[3 + a];
        }
        first = false;
    };
    for_lists(3, 3, widen);
    for_lists(2, 2, widen);
    for (int a = 0; a < 3; ++a) {
        const double lo = data_bounds_[a], hi = data_bounds_[3 + a];
        if (lo == 0.0 && hi >= 0.0 && origin_[a] < b[a]) b[a] = origin_[a];
        if (lo <= 0.0 && hi == 0.0 && origin_[a] > b[3 + a]) b[3 + a] = origin_[a];
    }
    std::copy(b, b + 6, box_bounds_);
}

// ---------------------------------------------------------------- no-axes plot

CChartNoAxesPlot::CChartNoAxesPlot(int chart_type, int dimension)
    : CChartPlot(chart_type, dimension) {
    SetRotation(30, 0);
    ResetPerspective();
    SetViewFactors(5, 100);
    FollowOrigin();
}

void CChartNoAxesPlot::ProjectPass() {
    CChartPlot::ProjectPass();
    for (Ref r : {centre, right, left, back, front}) refs_[r].Project(view_);
    const double first = view_->GetElevation(), second = view_->GetRotation();
    view_->SetAngles(first, 0.0);
    view_->Update();
    for (Ref r : {flat_right, flat_left, flat_back, flat_front}) refs_[r].Project(view_);
    view_->SetAngles(first, second);
    view_->Update();
}

void CChartNoAxesPlot::ToScreenPass() {
    CChartPlot::ToScreenPass();
    if (!view_->IsFitted()) return;
    for (Ref r : {flat_right, flat_left, flat_back, flat_front, centre, right, left, back, front})
        refs_[r].ToScreen(view_);
}

void CChartNoAxesPlot::DrawPlanes(CChartDC* dc) {
    CChartPlot::DrawPlanesAndFrame(dc);
    CChartPoint lo = refs_[flat_right].GetScreenPoint(), hi = lo;
    for (Ref r : {flat_left, flat_back, flat_front, right, back}) {
        const CChartPoint p = refs_[r].GetScreenPoint();
        lo = lo.MinCorner(p.x, p.y);
        hi = hi.MaxCorner(p.x, p.y);
    }
    dc->DrawEllipse(lo, hi);
    for_lists(1, 1, [dc](CChartElement* e) { e->DrawBody(dc); });
}

int CChartNoAxesPlot::SetDimension(int d) {
    if (d == 1) {
        saved_view_[0] = view_->GetElevation();
        saved_view_[1] = view_->GetRotation();
        saved_view_[3] = view_->GetPerspective();
        view_->SetAngles(90.0, 0.0);
        view_->SetPerspective(0.0);
        return 1;
    }
    if (d == 2) {
        view_->SetAngles(saved_view_[0], saved_view_[1]);
        view_->SetPerspective(saved_view_[3]);
        return 1;
    }
    return 0;
}

void CChartNoAxesPlot::TakeBoxSize() {
    CChartPlot::TakeBoxSize();
    if (view_->GetBoxSizeZ() != view_->GetBoxSizeX()) {
        view_->SetBoxSize(view_->GetBoxSizeX(), view_->GetBoxSizeY(), view_->GetBoxSizeX());
        CChartPlot::TakeBoxSize();
    }
    const double ox = origin_[0], oy = origin_[1], oz = origin_[2];
    refs_[right].SetWorld(view_->GetBoxMaxX(), oy, oz);
    refs_[left].SetWorld(view_->GetBoxMinX(), oy, oz);
    refs_[back].SetWorld(ox, oy, view_->GetBoxMaxZ());
    refs_[front].SetWorld(ox, oy, view_->GetBoxMinZ());
    refs_[flat_right] = refs_[right];
    refs_[flat_left] = refs_[left];
    refs_[flat_back] = refs_[back];
    refs_[flat_front] = refs_[front];
    refs_[centre].SetWorld(ox, oy, oz);
}

void CChartNoAxesPlot::FollowOrigin() {
    const double now[3] = {0.0, view_->GetBoxMinY(), 0.0};
    const double d[3] = {now[0] - origin_[0], now[1] - origin_[1], now[2] - origin_[2]};
    for (int a = 0; a < 3; ++a) origin_[a] = now[a];
    if (d[0] == 0.0 && d[1] == 0.0 && d[2] == 0.0) return;
    for_lists(1, 3, [&d](CChartElement* e) { e->Translate(d[0], d[1], d[2]); });
}

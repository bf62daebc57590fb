// Label layers: axis titles, legend items and annotations placed as
// free-standing ticks in the plot's box.
#include "chart/labels.h"

#include "chart/axis.h"
#include "chart/data.h"
#include "chart/plotstate.h"

// ---------------------------------------------------------------- layers

CChartLabelLayer::CChartLabelLayer(CChartPlotState* plot) : plot_(plot) {}

CChartLabelLayer::~CChartLabelLayer() = default;

void CChartLabelLayer::Project(CChartView3D* view) {
    ticks_.for_each([view](CChartTick* t) { t->Project(view); });
}

int CChartLabelLayer::ToScreen(CChartView3D* view) {
    ticks_.for_each([view](CChartTick* t) { t->ToScreen(view); });
    return viewed;
}

void CChartLabelLayer::Scale(double sx, double sy, double sz) {
    const double ox = ticks_.offset[0], oy = ticks_.offset[1], oz = ticks_.offset[2];
    Translate(-ox, -oy, -oz);
    ticks_.scale_members(sx, sy, sz);
    Translate(ox, oy, oz);
}

void CChartLabelLayer::Translate(double dx, double dy, double dz) {
    ticks_.translate_members(dx, dy, dz);
}

void CChartLabelLayer::DrawBody(CChartDC* dc) {
    if (shown_ != 1 || !dc) return;
    ticks_.for_each([dc](CChartTick* t) { t->DrawBody(dc); });
}

void CChartLabelLayer::SetTickBackColour(CChartColor c) {
    ticks_.for_each([c](CChartTick* t) { t->GetTextStyle()->SetBackColor(c); });
}

void CChartLabelLayer::Clear() {
    ticks_.delete_all();
    last_tick_ = nullptr;
}

CChartTick* CChartLabelLayer::AddTick(CChartVertex* a, CChartVertex* b, CChartVertex* c) {
    auto* t = new CChartTick(a, b, c);
    t->SetTextStyle(GetTextStyle());
    last_tick_ = ticks_.add(t);
    return last_tick_;
}

CChartTick* CChartLabelLayer::AddLabelAt(double x, double y, double z) {
    CChartTick* t = AddTick(new CChartVertex(), new CChartVertex(), new CChartVertex());
    if (!t) return nullptr;
    double sx = 100.0, sy = 100.0, sz = 100.0;
    if (plot_ && plot_->GetView()) {
        sx = plot_->GetView()->GetBoxSizeX();
        sy = plot_->GetView()->GetBoxSizeY();
        sz = plot_->GetView()->GetBoxSizeZ();
    }
    // Percent of the box's half size from its centre: 100 is the box's edge,
    // so the legend (-117, -130) and title (125) places of the graph fall just
    // outside the box, in the margins the view leaves for them.
    t->GetEnd()->SetWorld(sx * x * 0.005, sy * y * 0.005, sz * z * 0.005);
    return last_tick_;
}

CChartTick* CChartLabelLayer::place_item(CChartSeries* s) {
    if (!s) return nullptr;
    CChartDataPoint* p = s->GetPoint(1);
    CChartTick* t = AddLabelAt(p->GetX(), p->GetY(), p->GetZ());
    if (!t) return nullptr;
    t->SetLabelText(s->GetName());
    t->SetStyle(s->GetStyle());
    t->SetTextStyle(s->GetTextStyle());
    return t;
}

void CChartLabelLayer::PlaceLabels(CChartData* data) {
    Clear();
    if (!data) return;
    for (int n = 1; n <= data->GetLegendCount(); ++n) place_item(data->GetLegend(n));
    for (int n = 1; n <= data->GetAnnotationCount(); ++n) place_item(data->GetAnnotation(n));
}

void CChartLegendLayer::PlaceLabels(CChartData* data) {
    Clear();
    if (!data) return;
    for (int n = 1; n <= data->GetLegendCount(); ++n) place_item(data->GetLegend(n));
}

void CChartAnnotationLayer::PlaceLabels(CChartData* data) {
    Clear();
    if (!data) return;
    for (int n = 1; n <= data->GetAnnotationCount(); ++n) place_item(data->GetAnnotation(n));
}

void CChartAxisTitleLayer::Clear() {
    CChartLabelLayer::Clear();
    for (auto*& r : refs_) r = nullptr;
}

void CChartAxisTitleLayer::PlaceLabels(CChartData* data) {
    Clear();
    if (!data) return;
    refs_[0] = place_item(data->GetAxisTitle(1));
    refs_[1] = place_item(data->GetAxisTitle(2));
    if (!plot_) return;
    // Axes 2, 1, 3, 4, 6, 5, 7 with title series 2, 1, 4, 3, 5, 6, 7: title
    // series k goes with the axis the control calls kind k.
    const int axes[7] = {2, 1, 3, 4, 6, 5, 7};
    const int series[7] = {2, 1, 4, 3, 5, 6, 7};
    for (int i = 0; i < 7; ++i) {
        CChartAxis* axis = plot_->GetAxis(axes[i]);
        CChartSeries* s = data->GetTitle(series[i]);
        if (!axis || !s) continue;
        CChartTick* t = axis->GetTitleTick();
        t->SetLabelText(s->GetName());
        t->SetStyle(s->GetStyle());
        t->SetTextStyle(s->GetTextStyle());
        CChartDataPoint* p = s->GetPoint(1);
        axis->PlaceTitle(p->GetX(), p->GetY(), p->GetZ());
        refs_[2 + i] = t;
    }
}

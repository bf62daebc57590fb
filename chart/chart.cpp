// The chart object with its data model and current plot, and the chart
// control window that paints it.
#include "chart/chart.h"

#include "chart/axis.h"
#include "chart/data.h"
#include "chart/plots.h"
#include "chart/view3d.h"

// ---------------------------------------------------------------- chart object

CChart::CChart(int chart_type, int dimension, int x_mode) : data_(new CChartData(this, x_mode)) {
    SetPlot(chart_type, dimension, 0);
}

CChart::~CChart() {
    // The plot first: its elements may share styles of the data's series.
    if (owns_plot_) delete plot_;
    if (owns_data_) delete data_;
}

int CChart::SetPlot(int type, int dimension, int replace) {
    if (replace == 1 && owns_plot_) {
        delete plot_;
        plot_ = nullptr;
    }
    CChartPlot* p = nullptr;
    if (type == 9 && (dimension == 1 || dimension == 2)) {
        p = new CChartPlot9();
    } else if (dimension == 1) {
        switch (type) {
        case 1:
            p = new CChartPlot2D1();
            break;
        case 2:
            p = new CChartPlot2D2();
            break;
        case 3:
            p = new CChartPlot2D3();
            break;
        case 4:
            p = new CChartPlot2D4();
            break;
        case 5:
            p = new CChartPlot2D5();
            break;
        case 7:
            p = new CChartPlot2D7();
            break;
        case 8:
            p = new CChartPlot2D8();
            break;
        default:
            break;
        }
    } else if (dimension == 2) {
        switch (type) {
        case 1:
            p = new CChartPlot3D1();
            break;
        case 2:
            p = new CChartPlot3D2();
            break;
        case 3:
            p = new CChartPlot3D3();
            break;
        case 4:
            p = new CChartPlot3D4();
            break;
        case 5:
            p = new CChartPlot3D5();
            break;
        case 6:
            p = new CChartPlot3D6();
            break;
        case 7:
            p = new CChartPlot3D7();
            break;
        case 8:
            p = new CChartPlot3D8();
            break;
        default:
            break;
        }
    }
    if (!p) p = new CChartPlot2D6();
    // A plot owned before and not replaced stays with whoever holds it;
    // the chart owns only the new one.
    plot_ = p;
    owns_plot_ = 1;
    data_->SetPlot(p);
    prepared_ = 0;
    return 1;
}

void CChart::PrepareForDC(CChartDC* dc) {
    if (!plot_ || !dc) return;
    plot_->GetView()->FitToDC(dc);
    plot_->ToScreenPass();
    plot_->SetViewPass();
}

int CChart::Draw(CChartDC* dc) {
    if (data_->IsChanged()) data_->Notify(0, 0, 0, 0, 0);
    if (plot_) plot_->Draw(dc);
    return 1;
}

void CChart::SetBackgroundColour(CChartColor c) {
    if (plot_) plot_->SetBackgroundColour(c);
}

CChartAxis* CChart::GetAxis(int kind) const {
    if (!plot_) return nullptr;
    static const int axis_of[8] = {2, 1, 2, 4, 3, 6, 5, 7};
    return plot_->GetAxis(kind >= 1 && kind <= 7 ? axis_of[kind] : 2);
}

// ---------------------------------------------------------------- control

CChartCtrl::CChartCtrl() : background_colour_(GetSysColor(COLOR_WINDOW)) {}

CChartCtrl::~CChartCtrl() {
    delete chart_;
    delete background_brush_;
}

int CChartCtrl::CreateChart(int type, int dimension, int x_mode) {
    delete chart_;
    chart_ = new CChart(type, dimension, x_mode);
    return 1;
}

BOOL CChartCtrl::Create(DWORD style, const RECT& rect, HWND parent, UINT id) {
    return CWnd::Create(nullptr, "Chart Control", style, rect, parent, id);
}

BOOL CChartCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return Create(style, rect, parent ? parent->m_hWnd : nullptr, id);
}

CChartData* CChartCtrl::GetData() const {
    return chart_ ? chart_->GetData() : nullptr;
}

void CChartCtrl::RedrawNow() {
    if (!chart_ || !m_hWnd) return;
    CDC* dc = GetDC();
    if (!dc) return;
    {
        CChartDC cdc(dc);
        chart_->PrepareForDC(&cdc);
    }
    ReleaseDC(dc);
}

void CChartCtrl::Refresh() {
    RedrawNow();
    if (chart_) chart_->GetData()->Notify(1, 1, 1, 1, 1);
    needs_refresh_ = 1;
}

void CChartCtrl::OnDraw(CDC* dc) {
    if (!chart_ || !dc) return;
    if (needs_refresh_) Refresh();
    CChartDC cdc(dc);
    try {
        if (!chart_->IsPrepared()) {
            chart_->PrepareForDC(&cdc);
            chart_->GetData()->Notify(1, 1, 1, 1, 1);
            chart_->SetPrepared(1);
        }
        cdc.SetBkMode(1);
        chart_->SetBackgroundColour(CChartColor::FromRef(background_colour_));
        chart_->Draw(&cdc);
        OnAfterDraw(dc);
    } catch (CResourceException* e) {
        AfxMessageBox("Caught a Resource Exception!");
        e->Delete();
    }
}

void CChartCtrl::OnPaint() {
    CPaintDC dc(this);
    OnDraw(&dc);
}

void CChartCtrl::OnSize(UINT, int, int) {
    Default();
    if (m_hWnd) {
        RedrawNow();
        InvalidateRect(nullptr, TRUE);
    }
}

BOOL CChartCtrl::OnEraseBkgnd(CDC* dc) {
    if (!dc) return FALSE;
    CBrush brush(background_colour_);
    HGDIOBJ old = dc->SelectObject(&brush);
    RECT r{};
    dc->GetClipBox(&r);
    dc->PatBlt(r.left, r.top, r.right - r.left, r.bottom - r.top, 0x00F00021);
    dc->SelectObject(old);
    return TRUE;
}

HBRUSH CChartCtrl::OnCtlColor(CDC* dc, CWnd*, UINT) {
    if (dc) dc->SetBkColor(background_colour_);
    return background_brush_ ? static_cast<HBRUSH>(*background_brush_) : nullptr;
}

void CChartCtrl::SetBackgroundBrush(COLORREF c) {
    delete background_brush_;
    background_brush_ = new CBrush(c);
    background_colour_ = c;
}

CChartDataPoint* CChartCtrl::AddPoint(int set, double x, double y) {
    CChartData* d = GetData();
    if (!d) return nullptr;
    if (d->GetCurrentSet() != set && !d->SelectDataSet(set)) return nullptr;
    return d->AddPoint(x, y);
}

CChartSeries* CChartCtrl::AddLegend(const char* text, double x, double y, double z) {
    CChartData* d = GetData();
    if (!d) return nullptr;
    chart_->SetPrepared(0);
    return d->AddLegend(text, x, y, z);
}

CChartTextStyle* CChartCtrl::GetTitleTextStyle(int kind) {
    CChartData* d = GetData();
    return d ? d->GetTitle(kind)->GetTextStyle() : nullptr;
}

CChartStyle* CChartCtrl::GetSeriesStyle(int n) {
    CChartData* d = GetData();
    CChartSeries* s = d ? d->SelectDataSet(n) : nullptr;
    return s ? s->GetStyle() : nullptr;
}

CChartTextStyle* CChartCtrl::GetLegendTextStyle(int n) {
    CChartData* d = GetData();
    CChartSeries* s = d ? d->GetLegend(n) : nullptr;
    return s ? s->GetTextStyle() : nullptr;
}

CChartTextStyle* CChartCtrl::GetAxisTitleTextStyle(int axis) {
    CChartData* d = GetData();
    CChartSeries* s = d ? d->GetAxisTitle(axis == 2 ? 2 : 1) : nullptr;
    return s ? s->GetTextStyle() : nullptr;
}

CChartSeries* CChartCtrl::SetAxisTitle(const char* text, int axis) {
    CChartData* d = GetData();
    if (!d) return nullptr;
    chart_->SetPrepared(0);
    if (axis == 2) return d->SetAxisTitle(text, 2, 0, 115, -115);
    return d->SetAxisTitle(text, 1, 0, 125, -125);
}

CChartAxis* CChartCtrl::SetAxis(int kind, int count, int second, double length, int flags) {
    CChartAxis* a = chart_ ? chart_->GetAxis(kind) : nullptr;
    if (!a) return nullptr;
    a->Enable();
    a->SetTickCount(count);
    a->SetMajorEvery(second);
    a->SetTickLength(length);
    a->SetHideTickMarks(flags & 1);
    a->SetFlipTicks((flags >> 1) & 1);
    return a;
}

int CChartCtrl::SetXRange(double min, double max) {
    CChartData* d = GetData();
    if (!d) return 0;
    d->SetFixedXMax(max);
    d->SetFixedXMin(min);
    return d->GetXMax() == max || d->GetXMin() == min ? 1 : 0;
}

int CChartCtrl::SetYRange(double min, double max) {
    CChartData* d = GetData();
    if (!d) return 0;
    d->SetZeroFactor(0.0);
    d->SetFixedYMax(max);
    d->SetFixedYMin(min);
    return d->GetYMax() == max || d->GetYMin() == min ? 1 : 0;
}

int CChartCtrl::SetViewRect(double top, double bottom, double left, double right) {
    if (!chart_ || !chart_->GetPlot()) return 0;
    CChartView3D* v = chart_->GetPlot()->GetView();
    v->SetTopMargin(top);
    v->SetBottomMargin(bottom);
    v->SetLeftMargin(left);
    v->SetRightMargin(right);
    return 1;
}

void CChartCtrl::SetViewOption(int v) {
    if (chart_ && chart_->GetPlot()) chart_->GetPlot()->GetView()->SetScaleMode(v);
}

void CChartCtrl::ClearData(int notify) {
    CChartData* d = GetData();
    if (!d) return;
    d->Clear();
    if (notify == 1) d->Notify(0, 0, 0, 0, 0);
}

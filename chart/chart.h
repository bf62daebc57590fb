// The chart object (the data model and the current plot, which the factory
// picks by chart type and dimension) and the chart control, the one window
// of the library: a child window that paints its chart and offers the calls
// through which graph code fills and shapes it.
#pragma once

#include "chart/mfc/mfc_wnd.h"
#include "chart/values.h"

class CChartAxis;
class CChartData;
class CChartDataPoint;
class CChartPlot;
class CChartSeries;

class CChart {
public:
    CChart(int chart_type, int dimension, int x_mode);
    CChart(const CChart&) = delete;
    CChart& operator=(const CChart&) = delete;
    virtual ~CChart();

    // The factory: types 1..8 in 2D or 3D, type 9 in either; any other
    // type or dimension makes the 2D points plot. With `replace`, the plot
    // owned before is deleted.
    int SetPlot(int chart_type, int dimension, int replace);
    void PrepareForDC(CChartDC* dc);
    int Draw(CChartDC* dc);
    void SetBackgroundColour(CChartColor c);
    // Kinds 3/4 and 5/6 are crossed; any other kind answers axis 2.
    CChartAxis* GetAxis(int kind) const;

    CChartData* GetData() const { return data_; }
    CChartPlot* GetPlot() const { return plot_; }
    int IsPrepared() const { return prepared_; }
    void SetPrepared(int v) { prepared_ = v; }

private:
    CChartData* data_;
    int owns_data_ = 1;
    CChartPlot* plot_ = nullptr;
    int owns_plot_ = 0;
    int prepared_ = 0;
};

class CChartCtrl : public CWnd {
public:
    CChartCtrl();
    ~CChartCtrl() override;

    int CreateChart(int chart_type, int dimension, int x_mode);
    using CWnd::Create;
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    BOOL Create(DWORD style, const RECT& rect, HWND parent, UINT id);
    virtual void OnDraw(CDC* dc);
    virtual void OnAfterDraw(CDC*) {}
    void Refresh();
    void RedrawNow();

    CChartData* GetData() const;
    CChart* GetChart() const { return chart_; }
    CChartDataPoint* AddPoint(int set, double x, double y);
    CChartSeries* AddLegend(const char* text, double x, double y, double z);
    CChartTextStyle* GetTitleTextStyle(int kind);
    CChartStyle* GetSeriesStyle(int n);
    CChartTextStyle* GetLegendTextStyle(int n);
    CChartTextStyle* GetAxisTitleTextStyle(int axis);
    CChartSeries* SetAxisTitle(const char* text, int axis);
    CChartAxis* SetAxis(int kind, int count, int second, double length, int flags);
    int SetXRange(double min, double max);
    int SetYRange(double min, double max);
    // Margins in percent of the client area.
    int SetViewRect(double top, double bottom, double left, double right);
    void SetViewOption(int v);
    void ClearData(int notify);
    void Disable() { EnableWindow(FALSE); }
    void Enable() { EnableWindow(TRUE); }
    void SetBackgroundBrush(COLORREF c);

protected:
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctl_colour) override;

private:
    CChart* chart_ = nullptr;
    int needs_refresh_ = 0;
    CBrush* background_brush_ = nullptr;
    COLORREF background_colour_;
};

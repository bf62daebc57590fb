// The chart's data model: numbered data sets of points, the palette, the
// title, axis-title, axis-label, legend and annotation series, the fixed
// bounds and the change flag. It computes the ranges the plots scale to and
// tells its plot which passes to run after a change.
#pragma once

#include "chart/members.h"
#include "chart/values.h"

class CChart;
class CChartPlotPasses;

class CChartDataPoint {
public:
    CChartDataPoint(double x, double y, double z) : x_(x), y_(y), z_(z) {}
    CChartDataPoint(const CChartDataPoint&) = delete;
    CChartDataPoint& operator=(const CChartDataPoint&) = delete;
    ~CChartDataPoint() { delete label_; }
    double GetX() const { return x_; }
    double GetY() const { return y_; }
    double GetZ() const { return z_; }
    int HasLabel() const { return has_label_; }
    const char* GetLabel() const { return label_ ? label_->c_str() : ""; }
    void SetLabel(const char* text);

private:
    double x_, y_, z_;
    CChartString* label_ = nullptr;
    int has_label_ = 0;
};

class CChartSeries {
public:
    CChartSeries() = default;
    CChartSeries(const CChartSeries&) = delete;
    CChartSeries& operator=(const CChartSeries&) = delete;
    ~CChartSeries() { Clear(); }

    CChartDataPoint* AddPoint(double x, double y, double z);
    // Point i (clamped into 1..count). An empty series answers a shared
    // zero point and stays empty.
    CChartDataPoint* GetPoint(int i);
    int GetCount() const { return count_; }
    int HasPoints() const { return count_ >= 1; }
    void SetName(const char* name) {
        if (name) name_ = name;
    }
    const char* GetName() const { return name_.c_str(); }
    CChartStyle* GetStyle() { return &style_; }
    CChartTextStyle* GetTextStyle() { return &text_style_; }
    int IsConfigured() const { return configured_; }
    void MarkConfigured() { configured_ = 1; }
    void Clear();
    // The smallest positive spacing of consecutive x values; else the span;
    // else 1.0 (so a step is never 0 or negative).
    double GetXStep() const;
    double GetAbsYSum() const;
    double XMax() const { return x_max_; }
    double XMin() const { return x_min_; }
    double YMax() const { return y_max_; }
    double YMin() const { return y_min_; }
    double ZMax() const { return z_max_; }
    double ZMin() const { return z_min_; }
    double YSum() const { return y_sum_; }

private:
    int configured_ = 0;
    CChartString name_;
    CChartStyle style_;
    CChartTextStyle text_style_;
    double x_max_ = 0, x_min_ = 0, x_sum_ = 0;
    double y_max_ = 0, y_min_ = 0, y_sum_ = 0;
    double z_max_ = 0, z_min_ = 0, z_sum_ = 0;
    CChartPtrArray<CChartDataPoint> points_;
    chart::chunk_pool<CChartDataPoint, 1024> storage_;
    int count_ = 0;
};

class CChartData {
public:
    // Data sets, legends and annotations beyond these numbers are refused
    // (the numbers come from callers' data).
    static constexpr int kMaxSets = 1000;
    static constexpr int kMaxItems = 1000;

    CChartData(CChart* owner, int x_mode);
    CChartData(const CChartData&) = delete;
    CChartData& operator=(const CChartData&) = delete;
    ~CChartData();

    void SetPlot(CChartPlotPasses* plot) {
        if (plot) plot_ = plot;
    }
    CChartPlotPasses* GetPlot() const { return plot_; }
    CChart* GetOwner() const { return owner_; }
    int GetXMode() const { return x_mode_; }

    CChartColor PaletteColour(int i) const;
    void SetPalette(const CChartColor colours[16], int recolour);

    CChartSeries* SelectDataSet(int n);
    CChartSeries* GetDataSet(int n) const {
        return n >= 1 && n <= data_set_objects_ ? sets_.Get(n) : nullptr;
    }
    // Null (and nothing added) for a non-finite coordinate.
    CChartDataPoint* AddPoint(double x, double y, const char* x_label = nullptr,
                              const char* y_label = nullptr);
    CChartSeries* AddLegend(const char* text, double x, double y, double z);
    CChartSeries* GetLegend(int n);
    CChartSeries* GetAnnotation(int n);
    CChartSeries* GetTitle(int kind);
    CChartSeries* GetAxisLabel(int kind);
    CChartSeries* GetAxisTitle(int axis);
    CChartSeries* SetAxisTitle(const char* text, int axis, double x, double y, double z);
    CChartSeries* GetGroups() { return groups_; }
    CChartSeries* GetDomain() { return domain_; }
    CChartSeries* GetRange() { return range_; }
    void Clear();

    void SetFixedXMax(double v) { fixed_x_max_ = v, has_fixed_x_max_ = 1; }
    void SetFixedXMin(double v) { fixed_x_min_ = v, has_fixed_x_min_ = 1; }
    void SetFixedYMax(double v) { fixed_y_max_ = v, has_fixed_y_max_ = 1; }
    void SetFixedYMin(double v) { fixed_y_min_ = v, has_fixed_y_min_ = 1; }
    void SetZeroFactor(double f) { zero_factor_ = f; }
    void SetForceZero(int v) { force_zero_ = v; }

    int IsChanged() const { return changed_; }
    int GetHighestSet() const { return highest_set_; }
    int GetLowestSet() const { return lowest_set_; }
    int GetCurrentSet() const { return current_set_; }
    int GetLegendCount() const { return legend_count_; }
    int GetAnnotationCount() const { return annotation_count_; }

    double GetXMin() const;
    double GetXMax() const;
    double GetXSpan() const { return GetXMax() - GetXMin(); }
    double GetXStep() const;
    double GetYMin() const;
    double GetYMax() const;
    double GetYSpan() const { return GetYMax() - GetYMin(); }
    double GetStackMax();
    double GetStackMin();
    double GetStackSpan() { return GetStackMax() - GetStackMin(); }
    double GetZMin() const;
    double GetZMax() const;

    // Runs the plot's passes: all of them after a change or with `build`,
    // else those switched on.
    void Notify(int build, int rebuild, int project, int to_screen, int set_view);

private:
    CChartSeries* make_named(const char* name);
    void configure_item(CChartSeries* s, int n, bool legend);
    double raw_y_max() const;
    double raw_y_min() const;
    double apply_max(double v) const;
    double apply_min(double v) const;

    CChart* owner_;
    CChartPlotPasses* plot_ = nullptr;
    int x_mode_;
    CChartColor palette_[16];
    int line_style_cycle_[3] = {0, 1, 2};
    int legend_pen_width_ = 1;
    int style_switch_a_ = 0;
    double fixed_x_max_ = 0;
    int has_fixed_x_max_ = 0;
    double fixed_x_min_ = 0;
    int has_fixed_x_min_ = 0;
    int force_zero_ = 0;
    double zero_factor_ = 1.0;
    double min_margin_ = 0;
    int round_min_ = 0;
    double max_margin_ = 0;
    int round_max_ = 0;
    double fixed_y_max_ = 0;
    int has_fixed_y_max_ = 0;
    double fixed_y_min_ = 0;
    int has_fixed_y_min_ = 0;
    int data_set_objects_ = 0;
    int highest_set_ = 0;
    int lowest_set_ = 0;
    int current_set_ = 0;
    int changed_ = 0;
    CChartPtrArray<CChartSeries> sets_;
    CChartSeries* groups_;
    CChartSeries* domain_;
    CChartSeries* range_;
    CChartSeries* axis_title_[2] = {nullptr, nullptr};
    CChartSeries* axis_label_[7] = {};
    CChartSeries* title_[7] = {};
    CChartPtrArray<CChartSeries> legends_;
    int legend_count_ = 0;
    CChartPtrArray<CChartSeries> annotations_;
    int annotation_count_ = 0;
};

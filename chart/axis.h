// The plot's axes: on each build an enabled axis turns a value range of the
// data model (or one of its tick-label series) into a row of ticks, each a
// grid line across the box, a tick mark outside it and a value label. The
// seven kinds differ only in their title series, their label mode and where
// a tick's three points lie.
#pragma once

#include "chart/members.h"
#include "chart/tick.h"
#include "chart/tick_run.h"

#include <vector>

class CChartPlotState;
class CChartData;

class CChartAxis : public CChartElement {
public:
    CChartAxis(CChartPlotState* plot, int title_kind, int label_mode);
    ~CChartAxis() override;

    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    // Back by the offset, scale, forward by the scaled offset.
    void Scale(double sx, double sy, double sz) override;
    void Translate(double dx, double dy, double dz) override;
    void DrawBody(CChartDC* dc) override;
    void Draw(CChartDC* dc) override { DrawBody(dc); }

    // The tick of one value (its three points placed by the kind); the
    // base places none.
    virtual CChartTick* PlaceTick(double value, int minor);
    virtual int MakeNoTicks(CChartData*) { return 0; }
    virtual int MakeSeriesTicks(CChartData* data);
    virtual int MakeXTicks(CChartData* data);
    virtual int MakeYTicks(CChartData* data);
    virtual int MakeStackTicks(CChartData* data);

    void Enable() { enabled_ = 1; }
    void Disable() { enabled_ = 0; }
    int IsEnabled() const { return enabled_; }
    int SetLabelMode(int mode) {
        label_mode_ = mode;
        return 1;
    }
    int GetLabelMode() const { return label_mode_; }
    void SetTickCount(int n);
    int GetTickCount() const { return tick_count_; }
    int SetMajorEvery(int n);
    int SetTickLength(double percent);
    double GetTickLength() const { return tick_length_; }
    int SetGridEvery(int n);
    int SetLabelEvery(int n);
    void SetHideTickMarks(int v);
    void SetFlipTicks(int v) { flip_ticks_ = v; }
    void SetEndTicks(int at_max, int at_min) {
        end_tick_at_max_ = at_max;
        end_tick_at_min_ = at_min;
    }
    void SetBackgroundColour(CChartColor c);
    // The plot's panel value, kept for the plots that read it.
    void SetPanelValue(int v) { panel_value_ = v; }
    int GetPanelValue() const { return panel_value_; }
    // Places the title tick's first point at (x, y, z) percent of the box.
    int PlaceTitle(double x, double y, double z);

    // Empties the ticks; an enabled axis then takes its title series' style,
    // its box from the plot, and makes its ticks by its label mode. 0 when
    // disabled or of no mode.
    int Build(CChartData* data);
    void TakeBox();
    // Takes ownership of the three points; the tick gets the axis's style,
    // its transform and its tick mark unless marks are hidden.
    CChartTick* AddTick(CChartVertex* a, CChartVertex* b, CChartVertex* c);
    CChartTick* AddValueTick(double value, int minor);
    // The step from the span of the data the label mode reads.
    void ComputeStep(CChartData* data, int count);
    int MakeRangeTicks(int x_mode, double min, double max);

    // Which ticks' labels are drawn on `dc`: of the shown labels, every
    // k-th of each run for the smallest k at which they stand apart, the
    // zero and end labels first; an axis also gives way to the labels of
    // the plot's enabled axes of lower kind (the x labels keep the corner
    // where both axes show 0). 1-based like the ticks; entry 0 unused.
    std::vector<char> LayoutLabels(CChartDC* dc);
    // Whether the labels come from a tab format (a scale's bottom, middle
    // and top texts) rather than numbers.
    bool HasScaleLabels();
    // Whether this axis's labels give way to another's where they meet:
    // scale labels before numbers, else the lower kind first.
    bool YieldsTo(CChartAxis* other);
    // The label rectangles of this axis that a stronger axis gives way to:
    // its end labels (every label for a scale), less those that read the
    // same as an end label of `other`.
    void PriorityLabels(CChartDC* dc, CChartAxis* other, std::vector<RECT>& out);
    // The axis kind, 1 to 7.
    virtual int Kind() const { return 0; }

    int GetTickCountUsed() const { return ticks_.count(); }
    CChartTick* GetTick(int i) const { return ticks_.get(i); }
    CChartTick* GetTitleTick() const { return title_tick_; }
    CChartTick* GetMaxTick() const { return max_tick_; }
    CChartTick* GetMinTick() const { return min_tick_; }
    double GetStep() const { return step_; }
    const double* GetBox() const { return box_; }

protected:
    // A value's place along the axis of `axis` (0 x, 1 y, 2 z), from the
    // data's lower bound, in the element bounds' units, undone by the
    // axis's scale (the tick is scaled with the axis afterwards).
    double place(int axis, double value) const;
    // Tick length for a major or minor tick: `tick_length` (negated when
    // flipped), halved for a minor tick.
    double length(int minor) const;
    double span(int axis) const { return box_[15 + axis]; }
    CChartPlotState* plot_;
    int title_kind_;
    int label_mode_;

private:
    void mark_every(int every, void (*apply)(CChartTick*, bool));
    // With an alternation switch of the axis's text style on, the labelled
    // ticks take the two row styles in turn (anchored above, then below);
    // otherwise none has a row style.
    void assign_rows();
    // The label of the lowest value of an axis across the screen moves
    // along it, off the corner where the axes meet (see
    // CChartTick::SetCornerNudge).
    void nudge_low_label();
    CChartTick* low_tick_ = nullptr;
    CChartTick* high_tick_ = nullptr;
    CChartTextStyle rows_[2];
    // This axis's own thinning, with `taken` rectangles of other axes to
    // keep clear of (null: none); appends the kept rectangles to `kept`.
    std::vector<char> layout(CChartDC* dc, const std::vector<RECT>* taken, std::vector<RECT>* kept);
    // The layout among the plot's other axes (LayoutLabels), the kept
    // rectangles appended to `kept`; depth bounds the axes asked in turn.
    std::vector<char> layout_among(CChartDC* dc, std::vector<RECT>* kept, int depth);
    // Each tick's place in its run (0 the run's first, the zero tick; -1 an
    // end tick), parallel to `ticks_`.
    std::vector<int> rank_;
    // Data upper and lower bound of x, y, z; element maximum and minimum of
    // x, y, z; data spans; element spans.
    double box_[18] = {};
    chart::member_list<CChartTick> ticks_;
    CChartTick* title_tick_;
    int enabled_ = 0;
    double tick_length_ = 0.03;
    int tick_count_given_ = 1;
    int tick_count_ = 10;
    double step_ = 1.0;
    int grid_every_ = 0;
    int label_every_ = 1;
    int major_every_ = 1;
    int end_tick_at_max_ = 1, label_max_tick_ = 1, end_tick_at_min_ = 1, label_min_tick_ = 1;
    int hide_tick_marks_ = 0;
    int flip_ticks_ = 0;
    CChartTick* max_tick_ = nullptr;
    CChartTick* min_tick_ = nullptr;
    int panel_value_ = 0;
};

class CChartAxis1 : public CChartAxis {
public:
    int Kind() const override { return 1; }
    explicit CChartAxis1(CChartPlotState* plot) : CChartAxis(plot, 1, 5) {}
    CChartTick* PlaceTick(double value, int minor) override;
};
class CChartAxis2 : public CChartAxis {
public:
    int Kind() const override { return 2; }
    explicit CChartAxis2(CChartPlotState* plot) : CChartAxis(plot, 2, 5) {}
    CChartTick* PlaceTick(double value, int minor) override;
};
class CChartAxis3 : public CChartAxis {
public:
    int Kind() const override { return 3; }
    explicit CChartAxis3(CChartPlotState* plot) : CChartAxis(plot, 4, 6) {}
    CChartTick* PlaceTick(double value, int minor) override;
};
class CChartAxis4 : public CChartAxis {
public:
    int Kind() const override { return 4; }
    explicit CChartAxis4(CChartPlotState* plot) : CChartAxis(plot, 3, 6) {}
    CChartTick* PlaceTick(double value, int minor) override;
};
class CChartAxis5 : public CChartAxis {
public:
    int Kind() const override { return 5; }
    explicit CChartAxis5(CChartPlotState* plot) : CChartAxis(plot, 6, 4) {}
    CChartTick* PlaceTick(double value, int minor) override;
};
class CChartAxis6 : public CChartAxis {
public:
    int Kind() const override { return 6; }
    explicit CChartAxis6(CChartPlotState* plot) : CChartAxis(plot, 5, 4) {}
    CChartTick* PlaceTick(double value, int minor) override;
};
// The angle axis of the pies: a value is an angle in radians.
class CChartAxis7 : public CChartAxis {
public:
    int Kind() const override { return 7; }
    explicit CChartAxis7(CChartPlotState* plot) : CChartAxis(plot, 7, 4) {}
    CChartTick* PlaceTick(double value, int minor) override;
};

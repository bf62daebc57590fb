// Label layers hold ticks as free-standing labels: the axis titles, the
// legend items and the annotations of the data model, placed at their 3D
// positions in percent of the plot's box.
#pragma once

#include "chart/members.h"
#include "chart/tick.h"

class CChartData;
class CChartPlotState;
class CChartSeries;

class CChartLabelLayer : public CChartElement {
public:
    explicit CChartLabelLayer(CChartPlotState* plot);
    ~CChartLabelLayer() override;

    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    void Scale(double sx, double sy, double sz) override;
    void Translate(double dx, double dy, double dz) override;
    void Draw(CChartDC* dc) override { DrawBody(dc); }
    void DrawBody(CChartDC* dc) override;

    // The legend items, then the annotations, each as a label at its first
    // point; the kinds place their own share.
    virtual void PlaceLabels(CChartData* data);
    virtual void SetTickBackColour(CChartColor c);
    virtual void Clear();

    CChartTick* AddTick(CChartVertex* a, CChartVertex* b, CChartVertex* c);
    // A label whose third point stands at (x, y, z) percent of the box.
    CChartTick* AddLabelAt(double x, double y, double z);
    int GetCount() const { return ticks_.count(); }
    CChartTick* GetTick(int i) const { return ticks_.get(i); }
    void SetShown(int v) { shown_ = v; }

protected:
    // Adds the item of `s` (name, style, text style) at its first point.
    CChartTick* place_item(CChartSeries* s);
    CChartPlotState* plot_;

private:
    chart::member_list<CChartTick> ticks_;
    CChartTick* last_tick_ = nullptr;
    int shown_ = 1;
};

class CChartLegendLayer : public CChartLabelLayer {
public:
    using CChartLabelLayer::CChartLabelLayer;
    void PlaceLabels(CChartData* data) override;
};

class CChartAnnotationLayer : public CChartLabelLayer {
public:
    using CChartLabelLayer::CChartLabelLayer;
    void PlaceLabels(CChartData* data) override;
};

// The two axis titles of the data model and the title ticks of the plot's
// seven axes.
class CChartAxisTitleLayer : public CChartLabelLayer {
public:
    using CChartLabelLayer::CChartLabelLayer;
    void PlaceLabels(CChartData* data) override;
    void Clear() override;
    // 1, 2: the data model's axis titles; 3..9: the title ticks of axes
    // 2, 1, 3, 4, 5, 6, 7.
    CChartTick* GetReference(int i) const { return i >= 1 && i <= 9 ? refs_[i - 1] : nullptr; }

private:
    CChartTick* refs_[9] = {};
};

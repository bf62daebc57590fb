// What the axes and label layers read of their plot: its view, its data and
// box bounds, its origin, its kind and background, and its seven axes. The
// plot base holds these; the axes see only this part of it.
#pragma once

#include "chart/vertex.h"
#include "chart/view3d.h"

class CChartAxis;

class CChartPlotState {
public:
    CChartPlotState(int chart_type, int dimension)
        : view_(new CChartView3D(100.0, 100.0, 100.0)), chart_type_(chart_type),
          dimension_(dimension) {}
    CChartPlotState(const CChartPlotState&) = delete;
    CChartPlotState& operator=(const CChartPlotState&) = delete;
    virtual ~CChartPlotState() {
        if (owns_view_) delete view_;
    }

    // Axis 0 x, 1 y, 2 z.
    double GetDataMin(int axis) const { return data_bounds_[axis_index(axis)]; }
    double GetDataMax(int axis) const { return data_bounds_[3 + axis_index(axis)]; }
    double GetBoxMin(int axis) const { return box_bounds_[axis_index(axis)]; }
    double GetBoxMax(int axis) const { return box_bounds_[3 + axis_index(axis)]; }
    double GetOriginX() const { return origin_[0]; }
    double GetOriginY() const { return origin_[1]; }
    double GetOriginZ() const { return origin_[2]; }
    double GetScale(int axis) const { return scale_[axis_index(axis)]; }
    double GetOffset(int axis) const { return offset_[axis_index(axis)]; }
    CChartColor GetBackgroundColour() const { return background_; }
    CChartView3D* GetView() const { return view_; }
    // Axis kinds 1 to 7 (null for another number).
    CChartAxis* GetAxis(int n) const { return n >= 1 && n <= 7 ? axes_[n - 1] : nullptr; }
    int GetChartType() const { return chart_type_; }
    int GetDimension() const { return dimension_; }
    int IsBarType() const { return chart_type_ == 2 || chart_type_ == 3 || chart_type_ == 8; }
    int IsPieType() const { return chart_type_ == 5 || chart_type_ == 9; }

    // Puts `v` at (px, py, pz) percent of the box maxima (less the origin
    // when `relative`) and projects it; 0 for no vertex.
    int PlaceElement(CChartVertex* v, double px, double py, double pz, int relative) {
        if (!v) return 0;
        v->SetWorld(view_->GetBoxMaxX() * px / 100.0, view_->GetBoxMaxY() * py / 100.0,
                    view_->GetBoxMaxZ() * pz / 100.0);
        if (relative == 1) v->Translate(-origin_[0], -origin_[1], -origin_[2]);
        v->Project(view_);
        return 1;
    }

protected:
    static int axis_index(int a) { return a >= 0 && a <= 2 ? a : 0; }
    CChartView3D* view_;
    int owns_view_ = 1;
    int chart_type_;
    int dimension_;
    CChartColor background_{255, 255, 255};
    CChartAxis* axes_[7] = {};
    double origin_[3] = {};
    double data_bounds_[6] = {};
    double box_bounds_[6] = {};
    double scale_[3] = {1.0, 1.0, 1.0};
    double offset_[3] = {};
};

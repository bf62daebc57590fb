// The base of every plot: its 3D view, back planes, frame, seven axes, three
// label layers and four element lists, and the passes that build the
// elements from the data model, scale them into the box, project them, map
// them to the screen and draw them. The axes plots (line, point, area,
// ribbon, bar) and the no-axes plots (pies) derive from it.
#pragma once

#include "chart/plotpass.h"
#include "chart/plotstate.h"
#include "chart/polygon.h"

class CChartAxis;
class CChartData;
class CChartFrame;
class CChartAxisTitleLayer;
class CChartLegendLayer;
class CChartAnnotationLayer;
class CChartView3D;

class CChartPlot : public CChartPlotPasses, public CChartPlotState {
public:
    // A line plot in 2D: what a plot made by no factory is.
    CChartPlot() : CChartPlot(1, 1) {}
    CChartPlot(int chart_type, int dimension);
    CChartPlot(const CChartPlot&) = delete;
    CChartPlot& operator=(const CChartPlot&) = delete;
    ~CChartPlot() override;

    // Takes the data's bounds and labels and marks every later pass due.
    void Build(CChartData* data) override;
    void SetViewPass() override;
    void ProjectPass() override;
    // Only once the view has been fitted to a device.
    void ToScreenPass() override;
    // Re-derives the box, scale and offset from the bounds taken.
    void Rebuild() override;
    virtual void Draw(CChartDC* dc);
    virtual void DrawPlanes(CChartDC* dc);
    virtual void DrawPlanesAndFrame(CChartDC* dc);
    // 1: flat (angles and perspective kept aside); 2: 3D (put back). Any
    // other value: 0 and nothing changes.
    virtual int SetDimension(int d);
    virtual void ClearLists();
    virtual void ApplyScale();
    virtual void ApplyOffset();
    virtual void ComputeScale();
    virtual void ComputeOffset();
    virtual void TakeBoxSize();
    virtual void MakePlanes();
    virtual void MakeDecoration();
    virtual void MakeAxes();
    virtual void MakeLists();
    virtual void ResetLayers();
    virtual void TakeDataBounds(CChartData* data);
    virtual void TakeBoxBounds();
    // The origin follows the view's box minimum; elements move with it.
    virtual void FollowOrigin();
    virtual void SetPanelValue(int v);
    virtual void AddCornerPoints();

    // Each translates the element by the origin and takes ownership.
    void AddToList1(CChartElement* e) { add_to(0, e); }
    void AddToList2(CChartElement* e) { add_to(1, e); }
    void AddToList3(CChartElement* e) { add_to(2, e); }
    void AddToList4(CChartElement* e) { add_to(3, e); }
    int GetListCount(int list) const { return list >= 1 && list <= 4 ? counts_[list - 1] : 0; }
    CChartElement* GetListElement(int list, int i) const;

    void SetBackgroundColour(CChartColor c);
    CChartAxisTitleLayer* GetAxisTitleLayer();
    CChartLegendLayer* GetLegendLayer();
    CChartAnnotationLayer* GetAnnotationLayer();
    CChartFrame* GetFrame() const { return frame_; }
    CChartPolygon& GetPlane(int i) { return planes_[i >= 1 && i <= 3 ? i - 1 : 0]; }
    int SetDimensionValue(int d);
    void SetShowPlane1(int v) { show_plane_[0] = v; }
    void SetShowPlane2(int v) { show_plane_[1] = v; }
    void SetShowPlane3(int v) { show_plane_[2] = v; }
    void SetShowFrame(int v) { show_frame_ = v; }
    void SetOutlineOnly(int v) { outline_only_ = v; }
    void SetDrawViewRect(int v) { draw_view_rect_ = v; }
    // Within 0..100; 0 when clamped.
    int SetPerspective(double p);
    void ResetPerspective();
    // Elevation within 0..90, rotation within -90..0; 0 when clamped.
    int SetRotation(double a, double b);
    // The box's height and depth in percent of its width.
    void SetViewFactors(double a, double b);
    CChartVertex& GetCorner(int i) { return corners_[i >= 1 && i <= 3 ? i - 1 : 0]; }
    // The bars' and ribbons' width as a fraction of their pitch.
    void SetBarWidth(double f) {
        if (f > 0 && f <= 1e6) bar_width_ = f;
    }
    double GetBarWidth() const { return bar_width_; }
    int IsPrepared() const { return prepared_; }
    int IsProjectDirty() const { return project_dirty_; }
    int IsScreenDirty() const { return screen_dirty_; }
    int IsViewDirty() const { return view_dirty_; }

protected:
    template <class F> void for_lists(int first, int last, F f) const {
        for (int l = first; l <= last; ++l)
            for (int i = 1; i <= counts_[l - 1]; ++i)
                if (CChartElement* e = lists_[l - 1].Get(i)) f(e);
    }
    // The passes over the planes, the lists and the corners in their order.
    template <class F> void for_all(F f) {
        f(&planes_[1]);
        f(&planes_[0]);
        f(&planes_[2]);
        for_lists(1, 4, f);
    }
    void mark_dirty() { view_dirty_ = project_dirty_ = screen_dirty_ = 1; }

    CChartVertex corners_[3];
    CChartPolygon planes_[3];
    CChartStyle* plane_styles_[3] = {};
    int show_plane_[3] = {1, 1, 1};
    CChartFrame* frame_ = nullptr;
    int show_frame_ = 0;
    CChartAxisTitleLayer* title_layer_ = nullptr;
    CChartLegendLayer* legend_layer_ = nullptr;
    CChartAnnotationLayer* annotation_layer_ = nullptr;
    double box_size_[3] = {100.0, 100.0, 100.0};
    CChartPtrArray<CChartElement> lists_[4];
    int counts_[4] = {};
    double view_factor_[2] = {1.0, 1.0};
    int prepared_ = 0;
    int view_dirty_ = 1, project_dirty_ = 1, screen_dirty_ = 1;
    int screen_fit_ = -1; // the view's fit count at the last mapping to the screen
    int outline_only_ = 0;
    int draw_view_rect_ = 0;
    double saved_view_[4] = {20.0, -45.0, 0.0, 0.0};
    double bar_width_ = 1.0;

private:
    void add_to(int list, CChartElement* e);
};

// The plots that stand in a box with axes.
class CChartAxesPlot : public CChartPlot {
public:
    CChartAxesPlot(int chart_type, int dimension);
    // The base build, then the panel value and the corner points: concrete
    // plots add their series in between.
    void Build(CChartData* data) override;
    void DrawPlanes(CChartDC* dc) override;
    void DrawPlanesAndFrame(CChartDC* dc) override;
    // Enables axis 2 (x values, every tick labelled and gridded) and axis 3
    // (y values, every second tick).
    void MakeAxes() override;
    // The bounds of the elements, stretched to the origin where the data
    // start or end at zero.
    void TakeBoxBounds() override;
};

// The pies: never scaled to their data, drawn round with a circle under them.
class CChartNoAxesPlot : public CChartPlot {
public:
    CChartNoAxesPlot(int chart_type, int dimension);
    void ProjectPass() override;
    void ToScreenPass() override;
    void DrawPlanes(CChartDC* dc) override;
    void DrawPlanesAndFrame(CChartDC* dc) override { DrawPlanes(dc); }
    int SetDimension(int d) override;
    void ApplyScale() override {}
    void ApplyOffset() override {}
    void ComputeScale() override {}
    void ComputeOffset() override {}
    void TakeBoxSize() override;
    void FollowOrigin() override;

    enum Ref { right, left, back, front, flat_right, flat_left, flat_back, flat_front, centre };
    const CChartVertex& GetRef(Ref r) const { return refs_[r]; }

private:
    CChartVertex refs_[9];
};

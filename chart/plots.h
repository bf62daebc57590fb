// The seventeen plots, one per chart type and dimension: area (1), grouped
// bars along x (2) and along y (3), line (4), pie (5), points (6), ribbon
// line (7), stacked bars (8) and the pie of round solids (9). Each turns the
// data sets of the data model into elements of its lists; everything else
// is the plot base's.
#pragma once

#include "chart/plot.h"

#include <functional>
#include <vector>

class CChartSeries;

// ---------------------------------------------------------------- lines, points, areas

class CChartPlot2D1 : public CChartAxesPlot {
public:
    CChartPlot2D1();
    void Build(CChartData* data) override;

protected:
    CChartPlot2D1(int type, int dimension) : CChartAxesPlot(type, dimension) {}
};

class CChartPlot3D1 : public CChartPlot2D1 {
public:
    CChartPlot3D1();
    void Build(CChartData* data) override;
    void TakeDataBounds(CChartData* data) override;
};

class CChartPlot2D4 : public CChartAxesPlot {
public:
    CChartPlot2D4();
    void Build(CChartData* data) override;

protected:
    CChartPlot2D4(int type, int dimension) : CChartAxesPlot(type, dimension) {}
};

class CChartPlot3D4 : public CChartPlot2D4 {
public:
    CChartPlot3D4();
};

class CChartPlot2D6 : public CChartAxesPlot {
public:
    CChartPlot2D6();
    void Build(CChartData* data) override;

protected:
    CChartPlot2D6(int type, int dimension) : CChartAxesPlot(type, dimension) {}
};

class CChartPlot3D6 : public CChartPlot2D6 {
public:
    CChartPlot3D6();
};

class CChartPlot3D7 : public CChartAxesPlot {
public:
    CChartPlot3D7();
    void Build(CChartData* data) override;
    void TakeDataBounds(CChartData* data) override;

protected:
    CChartPlot3D7(int type, int dimension) : CChartAxesPlot(type, dimension) {}
};

class CChartPlot2D7 : public CChartPlot3D7 {
public:
    CChartPlot2D7();
};

// ---------------------------------------------------------------- bars

class CChartPlot2D2 : public CChartAxesPlot {
public:
    CChartPlot2D2();
    void Build(CChartData* data) override;
    void MakeAxes() override;
    void TakeDataBounds(CChartData* data) override;
};

class CChartPlot3D2 : public CChartAxesPlot {
public:
    CChartPlot3D2();
    void Build(CChartData* data) override;
    void MakeAxes() override;
    void TakeDataBounds(CChartData* data) override;
};

class CChartPlot2D3 : public CChartAxesPlot {
public:
    CChartPlot2D3();
    void Build(CChartData* data) override;
};

class CChartPlot3D3 : public CChartAxesPlot {
public:
    CChartPlot3D3();
    void Build(CChartData* data) override;
    void TakeDataBounds(CChartData* data) override;
};

class CChartPlot2D8 : public CChartAxesPlot {
public:
    CChartPlot2D8();
    void Build(CChartData* data) override;
    void MakeAxes() override;
};

class CChartPlot3D8 : public CChartAxesPlot {
public:
    CChartPlot3D8();
    void Build(CChartData* data) override;
    void MakeAxes() override;
    void TakeDataBounds(CChartData* data) override;
};

// ---------------------------------------------------------------- pies

class CChartPlot2D5 : public CChartNoAxesPlot {
public:
    CChartPlot2D5();
    void Build(CChartData* data) override;
    void DrawPlanes(CChartDC* dc) override;
    void DrawPlanesAndFrame(CChartDC* dc) override { DrawPlanes(dc); }
    void TakeBoxSize() override;
    int SetSliceOutline(int radii, int arc) {
        draw_radii_ = radii;
        draw_arc_ = arc;
        return radii;
    }
    virtual void DrawSlice(const CChartRect& r, int from, int to, CChartDC* dc);
    // Boundary k (1-based) of the slices: the angle where slice k ends.
    CChartVertex* GetBoundary(int k) const;

protected:
    CChartPlot2D5(int type, int dimension);
    // The smallest screen rectangle of the four flat reference points, the
    // right point and the back point.
    CChartRect slice_rect() const;
    // The slice angles' running percentage for each data set, into
    // `percent` (start 0); the sets in order.
    void slice_angles(CChartData* data, std::vector<double>& end_angle,
                      std::vector<CChartSeries*>& sets) const;
    double radius() const;
    // Slice `to`'s start and end angles; false when there is no such slice.
    bool slice_span(int to, double& start, double& end) const;
    // One slice's pie in `r` between the radial points `a` and `b`, in the
    // style of `style_of`, with the outline the switches ask for.
    void pie_slice(const CChartRect& r, const CChartPoint& centre, const CChartPoint& a,
                   const CChartPoint& b, CChartVertex* style_of, CChartDC* dc) const;
    // The pie's face in `r`: the white ellipse, then the whole ellipse in the
    // only set's style or each slice by `slice` (from, to) in drawing order.
    void draw_face(const CChartRect& r, CChartDC* dc,
                   const std::function<void(int from, int to)>& slice);
    void raise_top(std::vector<CChartVertex>& top, CChartVertex* top_centre);
    int draw_radii_ = 0;
    int draw_arc_ = 0;
    // The boundaries' angles, as built.
    std::vector<double> angles_;
    double thickness_fraction_ = 1.0;
    double thickness_ = 0.0;
};

class CChartPlot3D5 : public CChartPlot2D5 {
public:
    CChartPlot3D5();
    void Build(CChartData* data) override;
    void ProjectPass() override;
    void ToScreenPass() override;
    void DrawPlanes(CChartDC* dc) override;
    void TakeBoxSize() override;
    void DrawSlice(const CChartRect& r, int from, int to, CChartDC* dc) override;

private:
    // A ring of the disc on the screen: centre, the images of the radius at
    // angle 0 and at a quarter turn, and the rectangle around it.
    struct Ring {
        double cx = 0, cy = 0, ux = 0, uy = 0, vx = 0, vy = 0;
        CChartRect rect;
        CChartPoint at(double angle) const;
    };
    Ring ring(bool upper) const;
    // The angles whose side wall faces the viewer.
    bool visible_arc(double& from, double& to) const;
    // The extreme points of the top face (right, left, back, front) and
    // their flat copies.
    std::vector<CChartVertex> top_ = std::vector<CChartVertex>(8);
};

class CChartPlot9 : public CChartPlot2D5 {
public:
    CChartPlot9();
    void Build(CChartData* data) override;
    void ProjectPass() override;
    void ToScreenPass() override;
    void DrawPlanes(CChartDC* dc) override;
    void TakeBoxSize() override;
    const CChartVertex& GetTopCentre() const { return top_centre_; }

private:
    std::vector<CChartVertex> top_ = std::vector<CChartVertex>(8);
    CChartVertex top_centre_;
};

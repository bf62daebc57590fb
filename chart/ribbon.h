// One series of the 3D area and ribbon charts: a run of faces (upright
// panels, boxes of six faces, or faces the plot builds) that it orders back
// to front before drawing, by projected depth or by the pairwise test.
#pragma once

#include "chart/members.h"
#include "chart/polygon.h"

class CChartRibbon : public chart::member_element<CChartFace> {
public:
    // Shares `style` (null: no style; the faces then draw without pen or
    // brush of their own).
    explicit CChartRibbon(CChartStyle* style = nullptr);
    ~CChartRibbon() override;

    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    // The switches (A: order by the pairwise test; B: by projected depth;
    // C: cull back faces) reach the faces added before and after.
    void DrawBody(CChartDC* dc) override;

    // Takes ownership (null is refused).
    virtual CChartFace* AddPart(CChartFace* face);
    // Six faces wound alike seen from outside, for x1 < x2, y1 < y2, z1 < z2.
    virtual void AddBox(double x1, double x2, double y1, double y2, double z1, double z2);
    // An upright panel from (x1, y1) to (x2, y2) between depths z1 and z2.
    virtual CChartFace* AddPanel(double x1, double x2, double y1, double y2, double z1, double z2);
    // Ascending projected minimum z, equal keys in their order (NaN first).
    virtual void SortByDepth();
    // Passes of pairwise exchanges by `CChartFace::MustFollow`, until a pass
    // exchanges nothing or after as many passes as there are faces (faces
    // overlapping in a cycle would exchange for ever).
    virtual void SortByOverlap();
    double ProjectedBoxMinX() const { return members_.projected[1]; }
    double ProjectedBoxMaxX() const { return members_.projected[0]; }
    double ProjectedBoxMidX() const { return members_.projected[2]; }
    double ProjectedBoxMinY() const { return members_.projected[4]; }
    double ProjectedBoxMaxY() const { return members_.projected[3]; }
    double ProjectedBoxMidY() const { return members_.projected[5]; }
    double ProjectedBoxMinZ() const { return members_.projected[7]; }
    double ProjectedBoxMaxZ() const { return members_.projected[6]; }
    double ProjectedBoxMidZ() const { return members_.projected[8]; }

    void SetOutlined(int v) { outlined_ = v; }
    int GetCount() const { return members_.count(); }
    CChartFace* GetPart(int i) const { return members_.get(i); }
    // Passes the last `SortByOverlap` ran.
    int LastOverlapPasses() const { return last_passes_; }
    double GetOffsetX() const { return members_.offset[0]; }
    double GetScaleX() const { return members_.scale[0]; }

private:
    int outlined_ = 1;
    int last_passes_ = 0;
};

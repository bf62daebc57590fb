// One series of the 3D area and ribbon charts: a run of faces (upright
// panels, boxes of six faces, or faces the plot builds) that it orders back
// to front before drawing, by projected depth or by the pairwise test.
#pragma once

#include "chart/members.h"
#include "chart/polygon.h"

class CChartRibbon : public CChartElement {
public:
    // Shares `style` (null: no style; the faces then draw without pen or
    // brush of their own).
    explicit CChartRibbon(CChartStyle* style = nullptr);
    ~CChartRibbon() override;

    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    void Scale(double sx, double sy, double sz) override;
    void Translate(double dx, double dy, double dz) override;
    // A: order by the pairwise test; B: by projected depth; C: cull back
    // faces. Each reaches the faces added before and after.
    int SetFlagA(int v) override;
    int SetFlagB(int v) override;
    int SetFlagC(int v) override;
    void Draw(CChartDC* dc) override;
    void DrawBody(CChartDC* dc) override;
    double GetWorldMinX() const override { return parts_.world[1]; }
    double GetWorldMaxX() const override { return parts_.world[0]; }
    double GetWorldMinY() const override { return parts_.world[3]; }
    double GetWorldMaxY() const override { return parts_.world[2]; }
    double GetWorldMinZ() const override { return parts_.world[5]; }
    double GetWorldMaxZ() const override { return parts_.world[4]; }
    double GetTransformedMinX() const override { return parts_.transformed[1]; }
    double GetTransformedMaxX() const override { return parts_.transformed[0]; }
    double GetTransformedMinY() const override { return parts_.transformed[3]; }
    double GetTransformedMaxY() const override { return parts_.transformed[2]; }
    double GetTransformedMinZ() const override { return parts_.transformed[5]; }
    double GetTransformedMaxZ() const override { return parts_.transformed[4]; }

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
    double ProjectedBoxMinX() const { return parts_.projected[1]; }
    double ProjectedBoxMaxX() const { return parts_.projected[0]; }
    double ProjectedBoxMidX() const { return parts_.projected[2]; }
    double ProjectedBoxMinY() const { return parts_.projected[4]; }
    double ProjectedBoxMaxY() const { return parts_.projected[3]; }
    double ProjectedBoxMidY() const { return parts_.projected[5]; }
    double ProjectedBoxMinZ() const { return parts_.projected[7]; }
    double ProjectedBoxMaxZ() const { return parts_.projected[6]; }
    double ProjectedBoxMidZ() const { return parts_.projected[8]; }

    void SetOutlined(int v) { outlined_ = v; }
    int GetCount() const { return parts_.count(); }
    CChartFace* GetPart(int i) const { return parts_.get(i); }
    // Passes the last `SortByOverlap` ran.
    int LastOverlapPasses() const { return last_passes_; }
    double GetOffsetX() const { return parts_.offset[0]; }
    double GetScaleX() const { return parts_.scale[0]; }

private:
    int outlined_ = 1;
    chart::member_list<CChartFace> parts_;
    int last_passes_ = 0;
};

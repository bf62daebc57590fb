// One series of the 3D area and ribbon charts: a run of faces (upright
// panels, boxes of six faces, or faces the plot builds) that it orders back
// to front before drawing, by projected depth or by the pairwise test.
#pragma once

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
    double GetWorldMinX() const override { return world_[1]; }
    double GetWorldMaxX() const override { return world_[0]; }
    double GetWorldMinY() const override { return world_[3]; }
    double GetWorldMaxY() const override { return world_[2]; }
    double GetWorldMinZ() const override { return world_[5]; }
    double GetWorldMaxZ() const override { return world_[4]; }
    double GetTransformedMinX() const override { return transformed_[1]; }
    double GetTransformedMaxX() const override { return transformed_[0]; }
    double GetTransformedMinY() const override { return transformed_[3]; }
    double GetTransformedMaxY() const override { return transformed_[2]; }
    double GetTransformedMinZ() const override { return transformed_[5]; }
    double GetTransformedMaxZ() const override { return transformed_[4]; }

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
    double ProjectedBoxMinX() const { return projected_[1]; }
    double ProjectedBoxMaxX() const { return projected_[0]; }
    double ProjectedBoxMidX() const { return projected_[2]; }
    double ProjectedBoxMinY() const { return projected_[4]; }
    double ProjectedBoxMaxY() const { return projected_[3]; }
    double ProjectedBoxMidY() const { return projected_[5]; }
    double ProjectedBoxMinZ() const { return projected_[7]; }
    double ProjectedBoxMaxZ() const { return projected_[6]; }
    double ProjectedBoxMidZ() const { return projected_[8]; }

    void SetOutlined(int v) { outlined_ = v; }
    int GetCount() const { return count_; }
    CChartFace* GetPart(int i) const { return i >= 1 && i <= count_ ? parts_.Get(i) : nullptr; }
    // Passes the last `SortByOverlap` ran.
    int LastOverlapPasses() const { return last_passes_; }
    double GetOffsetX() const { return offset_[0]; }
    double GetScaleX() const { return scale_[0]; }

private:
    int outlined_ = 1;
    double world_[6] = {};
    double transformed_[6] = {};
    double offset_[3] = {};
    double scale_[3] = {1.0, 1.0, 1.0};
    double projected_[9] = {};
    CChartPtrArray<CChartFace> parts_;
    int count_ = 0;
    int last_passes_ = 0;
};

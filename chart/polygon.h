// Vertex sets drawn as figures: an open line, a filled closed figure, and a
// face that knows whether it turns toward the viewer and whether it must be
// painted after another face.
#pragma once

#include "chart/vertex.h"

class CChartPolyline : public CChartVertexSet {
public:
    CChartPolyline() = default;
    explicit CChartPolyline(CChartStyle* style) : CChartVertexSet(style) {}
    // Stroked in the style's fill colour; markers (style switch A for Draw,
    // B for DrawBody) one pixel wide in the pen colour. The style is the
    // same afterwards whatever happens in between.
    void Draw(CChartDC* dc) override;
    void DrawBody(CChartDC* dc) override;

private:
    void draw(CChartDC* dc, bool body);
};

class CChartPolygon : public CChartVertexSet {
public:
    CChartPolygon() = default;
    explicit CChartPolygon(CChartStyle* style) : CChartVertexSet(style) {}
    void Draw(CChartDC* dc) override;
    void DrawBody(CChartDC* dc) override;
    // The closed outline, no fill.
    virtual void DrawOutline(CChartDC* dc);

protected:
    void fill(CChartDC* dc);
};

class CChartFace : public CChartPolygon {
public:
    CChartFace() = default;
    explicit CChartFace(CChartStyle* style) : CChartPolygon(style) {}
    // Projects, then runs the back-face test when culling (flag C) is on.
    void Project(CChartView3D* view) override;
    // Maps to the screen without marking the face viewed.
    int ToScreen(CChartView3D* view) override;
    // Nothing when culling is on and the face turns away.
    void Draw(CChartDC* dc) override;
    void DrawBody(CChartDC* dc) override;

    int IsFrontFacing() const { return front_facing_; }
    // From the projected vertices 1 to 3; a face of fewer than three
    // vertices, or a degenerate one, faces away.
    void TestBackFace();
    int ExtentsOverlap(const CChartFace& g) const;
    int ScreenExtentsOverlap(const CChartFace& g) const;
    // This face's centre within 5 projected units of g's plane.
    int IsCoplanar(const CChartFace& g) const;
    int LiesBehind(const CChartFace& g) const;
    int LiesInFront(const CChartFace& g) const;
    // 1 when this face, standing before g in a list, must change places with
    // it. Never for a face of fewer than three vertices.
    int MustFollow(const CChartFace& g) const;
    // The side value of this face's centre against g's plane (0 when g has
    // fewer than three vertices).
    double SideOfCentre(const CChartFace& g) const;

private:
    int front_facing_ = 1;
};

// A point of the 3D pipeline in its four spaces (world, transformed,
// projected, screen), drawn as a round marker, and the element that owns an
// ordered list of them with a bounding box per space.
#pragma once

#include "chart/element.h"
#include "chart/members.h"

#include <vector>

// Final: the sets hold thousands of vertices and walk them in every pass, and
// calls through a vertex pointer are then direct (and inlined).
class CChartVertex final : public CChartElement {
public:
    CChartVertex() = default;
    CChartVertex(double x, double y, double z);
    // Copies every field; a style the source made is copied too (the copy
    // owns its own), a shared one stays shared.
    CChartVertex(const CChartVertex& o);
    CChartVertex& operator=(const CChartVertex& o);

    void SetView(CChartView3D* view) override;
    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    // Inline: the sets move and scale every vertex in each pass.
    void Scale(double sx, double sy, double sz) override {
        transformed_[0] *= sx;
        transformed_[1] *= sy;
        transformed_[2] *= sz;
    }
    void Translate(double dx, double dy, double dz) override {
        transformed_[0] += dx;
        transformed_[1] += dy;
        transformed_[2] += dz;
    }
    void Draw(CChartDC* dc) override;
    void DrawBody(CChartDC* dc) override;
    double GetWorldMinX() const override { return world_[0]; }
    double GetWorldMaxX() const override { return world_[0]; }
    double GetWorldMinY() const override { return world_[1]; }
    double GetWorldMaxY() const override { return world_[1]; }
    double GetWorldMinZ() const override { return world_[2]; }
    double GetWorldMaxZ() const override { return world_[2]; }
    double GetTransformedMinX() const override { return transformed_[0]; }
    double GetTransformedMaxX() const override { return transformed_[0]; }
    double GetTransformedMinY() const override { return transformed_[1]; }
    double GetTransformedMaxY() const override { return transformed_[1]; }
    double GetTransformedMinZ() const override { return transformed_[2]; }
    double GetTransformedMaxZ() const override { return transformed_[2]; }
    double GetProjectedMinX() const override { return projected_[0]; }
    double GetProjectedMaxX() const override { return projected_[0]; }
    double GetProjectedMinY() const override { return projected_[1]; }
    double GetProjectedMaxY() const override { return projected_[1]; }
    double GetProjectedMinZ() const override { return projected_[2]; }
    double GetProjectedMaxZ() const override { return projected_[2]; }
    // The marker with the given radius; `kind` is carried but not used.
    virtual void DrawMarkerSized(CChartDC* dc, int radius, int kind);

    void SetWorld(double x, double y, double z);
    double GetWorldX() const { return world_[0]; }
    double GetWorldY() const { return world_[1]; }
    double GetWorldZ() const { return world_[2]; }
    double GetTransformedX() const { return transformed_[0]; }
    double GetTransformedY() const { return transformed_[1]; }
    double GetTransformedZ() const { return transformed_[2]; }
    double GetProjectedX() const { return projected_[0]; }
    double GetProjectedY() const { return projected_[1]; }
    double GetProjectedZ() const { return projected_[2]; }
    CChartPoint GetScreenPoint() const { return screen_; }
    int GetScreenX() const { return screen_.x; }
    int GetScreenY() const { return screen_.y; }
    int GetMarkerKind() const { return marker_kind_; }
    void SetMarkerKind(int k) { marker_kind_ = k; }
    int GetMarkerRadius() const { return marker_radius_; }
    void SetMarkerRadius(int r) { marker_radius_ = r; }
    // 0 also puts the radius back to 3.
    void SetSizeRelative(int v);
    int GetSizeRelative() const { return size_relative_; }
    void SetFlat(int v) { flat_ = v; }

private:
    void copy_from(const CChartVertex& o);
    double world_[3] = {};
    double transformed_[3] = {};
    double projected_[3] = {};
    CChartPoint screen_;
    int flat_ = 0;
    int marker_kind_ = 2;
    int marker_radius_ = 3;
    double marker_scale_ = 3.0;
    int size_relative_ = 0;
};

class CChartVertexSet : public CChartElement {
public:
    CChartVertexSet();
    // Shares `style` (null: no style).
    explicit CChartVertexSet(CChartStyle* style);
    ~CChartVertexSet() override;

    void SetView(CChartView3D* view) override;
    // With no vertex the boxes stay as they were.
    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    // About the accumulated offset.
    void Scale(double sx, double sy, double sz) override;
    void Translate(double dx, double dy, double dz) override;
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
    double GetProjectedMinX() const override { return projected_[1]; }
    double GetProjectedMaxX() const override { return projected_[0]; }
    double GetProjectedMinY() const override { return projected_[4]; }
    double GetProjectedMaxY() const override { return projected_[3]; }
    double GetProjectedMinZ() const override { return projected_[7]; }
    double GetProjectedMaxZ() const override { return projected_[6]; }
    virtual CChartVertex* AddVertexCopy(const CChartVertex& v);
    // A new plain vertex at (x, y, z), made in place: the same as
    // AddVertexCopy(CChartVertex(x, y, z)) without the copy.
    CChartVertex* AddVertexAt(double x, double y, double z);
    // Takes ownership (null is refused).
    virtual CChartVertex* AddVertex(CChartVertex* v);
    // Deletes the vertices and zeroes the boxes; offsets and scales stay.
    virtual void Clear();

    // Vertex i (1-based) into `out`; false (and `out` untouched) when there
    // is no such vertex.
    bool GetVertexCopy(CChartVertex& out, int i) const;
    CChartVertex* GetVertex(int i) const {
        return i >= 1 && i <= count_ ? vertices_.Get(i) : nullptr;
    }
    int GetCount() const { return count_; }
    double GetProjectedMidX() const { return projected_[2]; }
    double GetProjectedMidY() const { return projected_[5]; }
    double GetProjectedMidZ() const { return projected_[8]; }
    double GetScreenMaxX() const { return screen_box_[0]; }
    double GetScreenMinX() const { return screen_box_[1]; }
    double GetScreenMaxY() const { return screen_box_[2]; }
    double GetScreenMinY() const { return screen_box_[3]; }
    double GetOffsetX() const { return offset_[0]; }
    double GetOffsetY() const { return offset_[1]; }
    double GetOffsetZ() const { return offset_[2]; }
    double GetScaleX() const { return scale_[0]; }
    double GetScaleY() const { return scale_[1]; }
    double GetScaleZ() const { return scale_[2]; }
    CChartVertex& Marker() { return marker_; }

protected:
    // Projects every vertex and rebuilds the projected box.
    void project_vertices(CChartView3D* view);
    // Maps every vertex and rebuilds the screen box.
    void map_vertices(CChartView3D* view);
    // The screen points of all vertices in list order, `extra` more slots
    // at the end.
    std::vector<CChartPoint> screen_points(int extra = 0) const;

    CChartVertex marker_;
    double world_[6] = {};
    double transformed_[6] = {};
    double offset_[3] = {};
    double scale_[3] = {1.0, 1.0, 1.0};
    double projected_[9] = {};
    double screen_box_[4] = {};
    CChartPtrArray<CChartVertex> vertices_;
    int count_ = 0;

private:
    // Moves the offset and the transformed box (not the vertices).
    void move_box(double dx, double dy, double dz);
    // Files a vertex the set owns under the next number and widens the boxes.
    CChartVertex* keep(CChartVertex* v);
    // The owned vertices: those given, and the copies made here.
    std::vector<CChartVertex*> given_;
    chart::chunk_pool<CChartVertex> copies_;
};

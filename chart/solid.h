// Closed bodies of the 3D charts: a solid made of faces that it orders back
// to front before drawing, the three blocks of the 3D bar charts (alike but
// for where their centre lies and how their sort key is taken), the slice of
// a 3D pie, and the group that paints its solids in order of their centres'
// depth.
#pragma once

#include "chart/members.h"
#include "chart/polygon.h"

class CChartSolid : public chart::projected_member_element<CChartFace> {
public:
    // Shares `style` (a null style too: the faces then draw with what the
    // solid selected).
    explicit CChartSolid(CChartStyle* style);
    ~CChartSolid() override;

    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    // Scaling is about the accumulated offset. The switches (A: order faces
    // by the pairwise test; B: by projected depth; C: cull faces turned
    // away) reach the faces added before and after.
    void Translate(double dx, double dy, double dz) override;

    // Takes ownership (null is refused); the face shares the solid's style
    // and switches and is moved to where the solid's faces are.
    virtual CChartFace* AddFace(CChartFace* face);
    // Projects the centre and takes the sort key from it.
    virtual void ProjectCentre(CChartView3D* view);
    virtual int CentreToScreen(CChartView3D* view);
    // Forgets the faces (they are deleted with the solid) and zeroes the
    // transformed box; the world and projected boxes stay.
    virtual int Clear();

    // The face drawn last (the last in the current order); null without faces.
    CChartFace* LastFace() const { return members_.get(members_.count()); }
    double CentreDepth() const { return centre_.GetProjectedZ(); }
    double Key() const { return key_; }
    const CChartVertex& Centre() const { return centre_; }
    int GetFaceCount() const { return members_.count(); }
    CChartFace* GetFace(int i) const { return members_.get(i); }
    double GetOffsetX() const { return members_.offset[0]; }
    double GetOffsetY() const { return members_.offset[1]; }
    double GetOffsetZ() const { return members_.offset[2]; }
    double GetScaleX() const { return members_.scale[0]; }
    double GetProjectedMidX() const { return members_.projected[2]; }
    double GetProjectedMidY() const { return members_.projected[5]; }
    double GetProjectedMidZ() const { return members_.projected[8]; }

protected:
    // The scaling of faces, centre and boxes.
    void scale_parts(double sx, double sy, double sz) override;
    // Adds the six faces of the block; each gets four vertices of its own.
    void add_box_faces(double x1, double x2, double y1, double y2, double z1, double z2);
    CChartVertex centre_;
    double key_ = 0.0;
};

// The block of the bar chart whose bars stand along y: its centre on x = 0.
class CChartBox1 : public CChartSolid {
public:
    CChartBox1(double x1, double x2, double y1, double y2, double z1, double z2,
               CChartStyle* style);
    void ProjectCentre(CChartView3D* view) override;
};

// The block of the bar chart whose bars stand along x: its centre on y = 0.
class CChartBox2 : public CChartSolid {
public:
    CChartBox2(double x1, double x2, double y1, double y2, double z1, double z2,
               CChartStyle* style);
    void ProjectCentre(CChartView3D* view) override;
};

// The block of the bar chart laid out over x and z.
class CChartBox3 : public CChartSolid {
public:
    CChartBox3(double x1, double x2, double y1, double y2, double z1, double z2,
               CChartStyle* style);
    void ProjectCentre(CChartView3D* view) override;
};

// One slice of a 3D pie: a wedge of a cylinder with its axis along y,
// between two angles (radians; 0 along +x, positive towards -z), pushed out
// from the axis by `offset_percent` of the radius. Its base and top are drawn
// as true elliptic pie shapes, its sides as faces, its visible edges as lines.
class CChartRoundSolid : public CChartSolid {
public:
    // Only the transformed y of `bottom_ref` and `top_ref` is read (a null
    // one counts as 0); `unused` has no effect.
    CChartRoundSolid(const CChartVertex* bottom_ref, const CChartVertex* top_ref, double radius,
                     double start_angle, double end_angle, double height_percent,
                     double offset_percent, int unused, CChartStyle* style);

    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    void Translate(double dx, double dy, double dz) override;
    void DrawBody(CChartDC* dc) override;
    void ProjectCentre(CChartView3D* view) override;

    enum Point {
        apex_bottom_flat,
        apex_bottom,
        corner_bottom_low,
        corner_bottom_high,
        start_bottom,
        mid_bottom,
        end_bottom,
        apex_top_flat,
        apex_top,
        corner_top_low,
        corner_top_high,
        start_top,
        mid_top,
        end_top,
        point_count
    };
    const CChartVertex& GetPoint(Point p) const { return points_[p]; }
    // Edge 1..7 (apex-start and apex-end at the base, the apex line, the two
    // outer verticals, apex-start and apex-end at the top).
    const CChartPolyline& GetEdge(int i) const { return edges_[i >= 1 && i <= 7 ? i - 1 : 0]; }
    CChartFace* GetSideFace(int i) const { return i >= 1 && i <= 4 ? side_[i - 1] : nullptr; }

protected:
    // The points and edges are scaled inside the bracket of translations
    // about the offset, like the faces, so that outline and faces stay
    // together for a solid that was moved before it was scaled.
    void scale_parts(double sx, double sy, double sz) override;

private:
    CChartVertex points_[point_count];
    CChartPolyline edges_[7];
    CChartFace* side_[4] = {};
};

// Solids painted as one body: after each projection its members are ordered
// by the projected depth of their centres, ascending, equal depths by
// descending key.
class CChartSolidGroup : public chart::projected_member_element<CChartSolid> {
public:
    // With a default style of its own.
    CChartSolidGroup();
    // Shares `style`.
    explicit CChartSolidGroup(CChartStyle* style);
    ~CChartSolidGroup() override;

    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;

    // Takes ownership (null is refused); the solid is moved to where the
    // group's members are, and keeps its own style and switches.
    virtual CChartSolid* AddSolid(CChartSolid* solid);
    virtual CChartSolid* AddBox1(double x1, double x2, double y1, double y2, double z1, double z2);
    virtual CChartSolid* AddBox2(double x1, double x2, double y1, double y2, double z1, double z2);
    virtual CChartSolid* AddBox3(double x1, double x2, double y1, double y2, double z1, double z2);
    virtual CChartSolid* AddRoundSolid(const CChartVertex* bottom_ref, const CChartVertex* top_ref,
                                       double radius, double start_angle, double end_angle,
                                       double height_percent, double offset_percent, int unused,
                                       CChartStyle* style);
    // Forgets the members (deleted with the group) and zeroes the
    // transformed box.
    virtual int Clear();

    int GetCount() const { return members_.count(); }
    CChartSolid* GetSolid(int i) const { return members_.get(i); }
    double GetOffsetX() const { return members_.offset[0]; }
    double GetScaleX() const { return members_.scale[0]; }
    // Passes the last pairwise ordering ran.
    int LastOverlapPasses() const { return last_passes_; }

private:
    CChartSolid* add_box(CChartSolid* box);
    int last_passes_ = 0;
};

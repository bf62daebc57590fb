// The frame: a picture named by the frame's name, mapped onto the left wall
// of the plot box span by span and outlined. This system has no picture
// source, so a named frame paints its wall in black pixels.
#pragma once

#include "chart/element.h"

class CChartView3D;

class CChartFrame : public CChartElement {
public:
    // Keeps `view` (not owned).
    explicit CChartFrame(CChartView3D* view);

    // Nothing without a name; else the outline, the picture's spans and the
    // outline again.
    void DrawBody(CChartDC* dc) override;

    int HasName() const { return name_.Length() > 0 ? 1 : 0; }
    void SetName(const char* n) { name_ = n; }
    const char* GetName() const { return name_.c_str(); }

    // The wall's four screen corners and the first again.
    void MakeOutline();
    void MakeEdges();
    const CChartPoint* GetOutline() const { return outline_; }
    int GetLeftHeight() const { return left_height_; }
    int GetRightHeight() const { return right_height_; }
    // One picture row segment onto one screen segment.
    void CopySpan(CChartPoint src_start, CChartPoint src_end, CChartPoint dst_start,
                  CChartPoint dst_end, CChartDC* dc);
    // Spans copied by the last drawing (0 when it was left out).
    int SpansCopied() const { return spans_copied_; }

    // A wall taller or wider on the screen than this, or of more pixels than
    // the area below, is outlined only: its pixel walk would take longer
    // than any drawing should.
    static constexpr int kMaxWalk = 1 << 12;
    static constexpr long long kMaxWalkArea = 1LL << 20;

protected:
    // The picture source: empty in this system (size 0, every pixel black).
    virtual void LoadPicture(CChartDC*, int& width, int& height) { width = height = 0; }
    virtual CChartColor PicturePixel(int, int) const { return CChartColor(0, 0, 0); }

private:
    void outline(CChartDC* dc);
    // Within the clip box taken for the drawing (everywhere without one).
    bool visible_pixel(int x, int y) const;

    CChartView3D* view_;
    CChartString name_;
    int picture_width_ = 0;
    int picture_height_ = 0;
    int surface_width_ = 0;
    int surface_height_ = 0;
    CChartRect frame_rect_;
    CChartPoint outline_[5];
    int left_height_ = 0, right_height_ = 0, left_width_ = 0, right_width_ = 0;
    int bottom_width_ = 0, top_width_ = 0;
    CChartPoint up_step_{0, -1}, left_step_{-1, 0}, right_step_{-1, 0};
    int spans_copied_ = 0;
};

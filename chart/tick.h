// A tick: three points joined by up to two segments (a grid line across the
// box and a tick mark outside it) with an optional label anchored at one of
// them.
#pragma once

#include "chart/vertex.h"

class CChartTick : public CChartElement {
public:
    // Three default vertices, nothing drawn.
    CChartTick();
    // Takes ownership of the three vertices (a null one is replaced by a
    // default vertex); the box holds their transformed extents.
    CChartTick(CChartVertex* start, CChartVertex* middle, CChartVertex* end);
    ~CChartTick() override;

    void Project(CChartView3D* view) override;
    int ToScreen(CChartView3D* view) override;
    // About the accumulated offset.
    void Scale(double sx, double sy, double sz) override;
    void Translate(double dx, double dy, double dz) override;
    // The vertices share the tick's style.
    void MakeStyle() override;
    void SetStyle(CChartStyle* style) override;
    void Draw(CChartDC* dc) override { DrawBody(dc); }
    void DrawBody(CChartDC* dc) override;
    double GetTransformedMinX() const override { return box_[1]; }
    double GetTransformedMaxX() const override { return box_[0]; }
    double GetTransformedMinY() const override { return box_[3]; }
    double GetTransformedMaxY() const override { return box_[2]; }
    double GetTransformedMinZ() const override { return box_[5]; }
    double GetTransformedMaxZ() const override { return box_[4]; }

    void SetFirstSegment(int v) { first_segment_ = v; }
    void SetSecondSegment(int v) { second_segment_ = v; }
    int GetFirstSegment() const { return first_segment_; }
    int GetSecondSegment() const { return second_segment_; }
    void SetLabelAtMiddle(int v) { label_at_middle_ = v; }
    int IsLabelShown() const { return show_label_; }
    // Only a tick that has a label can show or hide it.
    void ShowLabel(int v) {
        if (has_label_) show_label_ = v;
    }
    int HasLabel() const { return has_label_; }
    // The value as text by `format` into a label the tick owns.
    void SetLabelValue(double value, const char* format);
    // Copies `text` (null keeps the label there was): a label never points
    // into a series that may be cleared while the tick is still drawn.
    void SetLabelText(const char* text);
    const char* GetLabel() const { return label_.c_str(); }
    CChartVertex* GetStart() const { return v_[0]; }
    CChartVertex* GetMiddle() const { return v_[1]; }
    CChartVertex* GetEnd() const { return v_[2]; }
    void SetFlipped(int v) { flipped_ = v; }
    int IsFlipped() const { return flipped_; }
    // 1: a label anchored at the end is moved on past the whole tick mark
    // (the second segment, drawn or not) on the sides its anchoring puts it,
    // so the mark never runs into the text. The axes' ticks set it.
    void SetLabelPastMark(int v) { past_mark_ = v; }
    int IsLabelPastMark() const { return past_mark_; }
    // A text style (not owned) whose anchors the label takes instead of its
    // own style's, for the rows of an alternating axis; null: none.
    void SetRowStyle(const CChartTextStyle* s) { row_style_ = s; }
    // Moves the label by half its own width (sx -1 or 1) and half its
    // height (sy, screen down positive) off its anchored place: the label at
    // an axis's low end goes over to the side where the axis runs on, out
    // of the corner the other axis's low label shares. 0, 0: stays.
    void SetCornerNudge(int sx, int sy) {
        nudge_x_ = sx;
        nudge_y_ = sy;
    }
    // The label's row under its anchored place: 1 moves it down by its own
    // height and a quarter (the second row of an alternating axis, apart
    // from the first); 0 stays.
    void SetRowDrop(int rows) { drop_ = rows; }

    // The device rectangle the label takes when drawn on `dc` (screen
    // points as last projected); false when the tick draws no label.
    bool LabelRect(CChartDC* dc, RECT* r);

    // Where the label's text rectangle starts for the anchor `p`, a text
    // w x h, the style's anchors and its angle (whole degrees).
    static CChartPoint AnchorLabel(CChartPoint p, int w, int h, const CChartTextStyle& ts);

private:
    void fold_box();
    // Realizes the text style's font and pushes it; false when the tick
    // draws in the context's font.
    bool push_font(CChartDC* dc);
    // The text style the label is anchored by: its own, or the plain one
    // when the tick draws in the context's font.
    const CChartTextStyle& label_style() const;
    // Where the label's text starts for a text of extent `ext`, and the
    // rectangle it takes (screen points as last projected).
    CChartPoint place_label(SIZE ext, RECT* r) const;
    CChartVertex* v_[3] = {};
    int first_segment_ = 0;
    int second_segment_ = 0;
    int label_at_middle_ = 0;
    int mark_start_ = 0;
    int mark_middle_ = 0;
    int flipped_ = 0;
    int past_mark_ = 0;
    const CChartTextStyle* row_style_ = nullptr;
    int nudge_x_ = 0, nudge_y_ = 0, drop_ = 0;
    double box_[6] = {};
    double offset_[3] = {};
    double scale_[3] = {1.0, 1.0, 1.0};
    CChartString label_;
    int has_label_ = 0;
    int show_label_ = 0;
};

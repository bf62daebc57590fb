// The plot's frame: the named picture mapped onto the box's left wall span by
// span, and its outline.
#include "chart/frame.h"

#include "chart/vertex.h"
#include "chart/view3d.h"

#include <algorithm>
#include <cstdlib>

namespace {

int sign(int v) {
    return v < 0 ? -1 : 1;
}

// |a - b|, kept within the int range for any two ints.
int dist(int a, int b) {
    long long d = std::llabs(static_cast<long long>(a) - b);
    return d > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(d);
}

} // namespace

CChartFrame::CChartFrame(CChartView3D* view) : view_(view) {}

void CChartFrame::MakeOutline() {
    if (!view_) return;
    static const int corners[4] = {0, 3, 7, 4};
    for (int k = 0; k < 4; ++k) {
        double x, y, z;
        view_->GetCorner(corners[k], x, y, z);
        CChartVertex v(x, y, z);
        v.Project(view_);
        v.ToScreen(view_);
        outline_[k] = v.GetScreenPoint();
    }
    outline_[4] = outline_[0];
}

void CChartFrame::MakeEdges() {
    const CChartPoint &p1 = outline_[0], &p2 = outline_[1], &p3 = outline_[2], &p4 = outline_[3];
    left_height_ = dist(p1.y, p4.y);
    right_height_ = dist(p2.y, p3.y);
    left_width_ = dist(p1.x, p4.x);
    right_width_ = dist(p2.x, p3.x);
    bottom_width_ = dist(p3.x, p4.x);
    top_width_ = dist(p2.x, p1.x);
    up_step_ = CChartPoint(0, -1);
    left_step_ = CChartPoint(p1.x < p4.x ? 1 : -1, 0);
    right_step_ = CChartPoint(p2.x < p3.x ? 1 : -1, 0);
}

void CChartFrame::CopySpan(CChartPoint src_start, CChartPoint src_end, CChartPoint dst_start,
                           CChartPoint dst_end, CChartDC* dc) {
    if (!dc) return;
    ++spans_copied_;
    if (dist(src_end.x, src_start.x) > kMaxWalk || dist(dst_end.x, dst_start.x) > kMaxWalk ||
        dist(dst_end.y, dst_start.y) > kMaxWalk)
        return;
    int sx = src_start.x, sy = src_start.y;
    int s_step = sign(src_end.x - src_start.x), sw = dist(src_end.x, src_start.x);
    int x = dst_start.x, y = dst_start.y;
    int dx = dist(dst_end.x, x), x_step = sign(dst_end.x - x);
    int dy = dist(dst_end.y, y), y_step = sign(dst_end.y - y);
    int e = 0, acc = 0;
    // The source keeps pace with the destination's x: several source
    // pixels per step when the source is wider, one now and then otherwise.
    auto advance = [&] {
        if (dx <= 0) return;
        if (sw >= dx) {
            while (acc <= sw) {
                sx += s_step;
                acc += dx;
            }
            acc -= sw;
        } else {
            acc += sw;
            if (acc > dx) {
                sx += s_step;
                acc -= dx;
            }
        }
    };
    if (dx <= dy) {
        for (int i = 0; i < dy; ++i) {
            if (visible_pixel(x, y)) dc->SetPixel(x, y, PicturePixel(sx, sy).Ref());
            y += y_step;
            e += dx;
            if (e > 0) {
                x += x_step;
                e -= dy;
                advance();
            }
        }
    } else {
        for (int i = 0; i <= dx; ++i) {
            CChartColor c = PicturePixel(sx, sy);
            advance();
            if (visible_pixel(x, y)) dc->SetPixel(x, y, c.Ref());
            x += x_step;
            e += dy;
            if (e > dx) {
                e -= dx;
                y += y_step;
            }
        }
    }
}

bool CChartFrame::visible_pixel(int x, int y) const {
    const CChartRect& r = frame_rect_;
    if (r.Width() <= 0 || r.Height() <= 0) return true;
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void CChartFrame::outline(CChartDC* dc) {
    SelectPen(dc);
    dc->DrawPolyline(outline_, 5);
    UnselectPen(dc);
}

void CChartFrame::DrawBody(CChartDC* dc) {
    spans_copied_ = 0;
    frame_rect_ = CChartRect();
    if (!dc || !HasName() || !view_) return;
    LoadPicture(dc, picture_width_, picture_height_);
    if (picture_width_ < 0 || picture_height_ < 0 || picture_width_ > kMaxWalk ||
        picture_height_ > kMaxWalk)
        picture_width_ = picture_height_ = 0;
    MakeOutline();
    MakeEdges();
    surface_width_ = picture_width_;
    surface_height_ = picture_height_;
    dc->GetClipRect(frame_rect_);
    outline(dc);
    int widest = std::max({left_width_, right_width_, bottom_width_, top_width_});
    int n = std::max(left_height_, right_height_);
    if (n > kMaxWalk || widest > kMaxWalk ||
        (static_cast<long long>(n) + 1) * (widest + 1) > kMaxWalkArea) {
        outline(dc);
        return;
    }
    // Edge A runs up from p1 to p4, edge B from p2 to p3; the taller leads.
    CChartPoint a = outline_[0], b = outline_[1];
    bool swapped = right_height_ > left_height_;
    CChartPoint* first = swapped ? &b : &a;
    CChartPoint* second = swapped ? &a : &b;
    int first_width = swapped ? right_width_ : left_width_;
    int second_height = swapped ? left_height_ : right_height_;
    int second_width = swapped ? left_width_ : right_width_;
    CChartPoint first_step = swapped ? right_step_ : left_step_;
    CChartPoint second_step = swapped ? left_step_ : right_step_;
    // The picture's bottom row is its height less one, the top row 0.
    CChartPoint src_l(0, picture_height_ - 1), src_r(picture_width_, picture_height_ - 1);
    int acc1 = 0, acc2 = 0, acc3 = 0, acc4 = 0;
    for (int i = 0; i < n; ++i) {
        CopySpan(src_l, src_r, a, b, dc);
        *first += up_step_;
        acc1 += first_width;
        if (acc1 > 0) {
            CopySpan(src_l, src_r, a, b, dc);
            acc1 -= n;
            *first += first_step;
        }
        acc2 += second_height;
        if (acc2 > 0) {
            CopySpan(src_l, src_r, a, b, dc);
            acc2 -= n;
            *second += up_step_;
        }
        acc3 += second_width;
        if (acc3 > 0) {
            CopySpan(src_l, src_r, a, b, dc);
            acc3 -= n;
            *second += second_step;
        }
        acc4 += picture_height_;
        if (acc4 > 0) {
            acc4 -= n;
            // The row moves up as often as the picture has rows, counting
            // the first: the last move would leave the picture.
            if (src_l.y > 0) {
                src_l += up_step_;
                src_r += up_step_;
            }
        }
    }
    CopySpan(src_l, src_r, a, b, dc);
    outline(dc);
}

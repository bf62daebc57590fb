// The frame's wall drawing: nothing without a name, the outline on the
// projected left wall, the span walk over the (empty, black) picture, and
// walls of no height or past any sensible size.
#include "chart/frame.h"
#include "chart/view3d.h"
#include "chart_fixture.h"
#include "platform/metafile.h"

#include <algorithm>
#include <map>
#include <vector>

using charttest::Canvas;

namespace {

std::map<DWORD, int> record_counts(HDC recording) {
    HENHMETAFILE mf = CloseEnhMetaFile(recording);
    std::vector<BYTE> b(GetEnhMetaFileBits(mf, 0, nullptr));
    GetEnhMetaFileBits(mf, static_cast<UINT>(b.size()), b.data());
    DeleteEnhMetaFile(mf);
    auto u32 = [&](std::size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<DWORD>(b[at + 3]) << 24;
    };
    std::map<DWORD, int> n;
    for (std::size_t at = 0; at + 8 <= b.size();) {
        DWORD type = u32(at), size = u32(at + 4);
        if (size < 8 || at + size > b.size()) break;
        ++n[type];
        at += size;
    }
    return n;
}

// Draws `frame` into a recorded metafile and counts its records.
std::map<DWORD, int> recorded(CChartFrame& frame) {
    test_driver::start();
    HDC rec = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(rec, nullptr);
    {
        CDC base;
        base.Attach(rec);
        CChartDC dc(&base);
        frame.DrawBody(&dc);
        EXPECT_EQ(dc.PenDepth(), 0);
        base.Detach();
    }
    return record_counts(rec);
}

TEST(ChartFrame, NothingWithoutAName) {
    CChartView3D v;
    v.FitToRect(CChartRect(0, 0, 400, 300));
    CChartFrame f(&v);
    EXPECT_EQ(f.HasName(), 0);
    auto n = recorded(f);
    EXPECT_EQ(n[emr::POLYLINE] + n[emr::POLYLINE16], 0);
    EXPECT_EQ(n[emr::SETPIXELV], 0);
    EXPECT_EQ(f.SpansCopied(), 0);
}

TEST(ChartFrame, WallOfNoHeightCopiesOneSpanBetweenTwoOutlines) {
    CChartView3D v;
    v.SetBoxSize(100, 0, 100);
    v.FitToRect(CChartRect(0, 0, 400, 300));
    CChartFrame f(&v);
    f.SetName("wall");
    auto n = recorded(f);
    EXPECT_EQ(f.GetLeftHeight(), 0);
    EXPECT_EQ(f.GetRightHeight(), 0);
    EXPECT_EQ(f.SpansCopied(), 1);
    EXPECT_EQ(n[emr::POLYLINE] + n[emr::POLYLINE16], 2);
    const CChartPoint* o = f.GetOutline();
    // One flat span from p1 to p2, every pixel of it.
    EXPECT_EQ(n[emr::SETPIXELV], std::abs(o[1].x - o[0].x) + 1);
}

TEST(ChartFrame, PaintsTheLeftWallInsideItsOutline) {
    CChartView3D v;
    v.FitToRect(CChartRect(0, 0, 400, 300));
    CChartFrame f(&v);
    f.SetName("picture");
    f.MakeOutline();
    const CChartPoint* o = f.GetOutline();
    for (int k = 0; k < 4; ++k) {
        double x, y, z;
        v.GetCorner(k == 0 ? 0 : k == 1 ? 3 : k == 2 ? 7 : 4, x, y, z);
        EXPECT_EQ(x, v.GetBoxMinX());
    }
    EXPECT_EQ(o[4].x, o[0].x);
    EXPECT_EQ(o[4].y, o[0].y);
    Canvas c(400, 300);
    CChartDC dc(&c.cdc);
    f.DrawBody(&dc);
    EXPECT_GT(f.SpansCopied(), f.GetLeftHeight());
    // The wall is painted (black: no picture source), the box's right side
    // and the left of the wall are not.
    int mx = (o[0].x + o[1].x + o[2].x + o[3].x) / 4, my = (o[0].y + o[1].y + o[2].y + o[3].y) / 4;
    EXPECT_EQ(c.at(mx, my), RGB(0, 0, 0));
    EXPECT_EQ(c.at(mx + 2, my), RGB(0, 0, 0));
    CChartPoint right = v.GetScreenCorner(6);
    EXPECT_EQ(c.at(right.x - 20, my), RGB(255, 255, 255));
    EXPECT_EQ(c.at(o[0].x - 3, my), RGB(255, 255, 255));
    EXPECT_EQ(dc.PenDepth(), 0);
}

TEST(ChartFrame, HugeWallIsOutlinedOnly) {
    CChartView3D v;
    v.SetBoxSize(1, 1, 1);
    v.SetScaleMode(1);
    v.FitToRect(CChartRect(0, 0, 400, 300));
    v.SetBoxSize(1e9, 1e9, 1e9); // the old scale on a huge box
    CChartFrame f(&v);
    f.SetName("x");
    auto n = recorded(f);
    EXPECT_GT(f.GetLeftHeight(), CChartFrame::kMaxWalk);
    EXPECT_EQ(f.SpansCopied(), 0);
    EXPECT_EQ(n[emr::SETPIXELV], 0);
    EXPECT_EQ(n[emr::POLYLINE] + n[emr::POLYLINE16], 2);
}

// A picture of 6 x 4 pixels, rows in grey levels, that notes the rows read.
struct PictureFrame : CChartFrame {
    using CChartFrame::CChartFrame;
    mutable int lowest = 1 << 30, highest = -(1 << 30);
    void LoadPicture(CChartDC*, int& w, int& h) override {
        w = 6;
        h = 4;
    }
    CChartColor PicturePixel(int, int y) const override {
        lowest = std::min(lowest, y);
        highest = std::max(highest, y);
        return CChartColor(40 * (y + 1), 40 * (y + 1), 40 * (y + 1));
    }
};

TEST(ChartFrame, PictureRowsReadFromTheBottomRowUp) {
    CChartView3D v;
    v.FitToRect(CChartRect(0, 0, 400, 300));
    PictureFrame f(&v);
    f.SetName("rows");
    Canvas c(400, 300);
    CChartDC dc(&c.cdc);
    f.DrawBody(&dc);
    EXPECT_EQ(f.highest, 3); // the bottom row, never one past it
    EXPECT_EQ(f.lowest, 0);
    // The top of the wall shows the picture's first row, its lower part a
    // lower row.
    const CChartPoint* o = f.GetOutline();
    EXPECT_EQ(c.at(o[3].x + 4, o[3].y + 6), RGB(40, 40, 40));
    int mx = (o[0].x + o[1].x + o[2].x + o[3].x) / 4, my = (o[0].y + o[1].y + o[2].y + o[3].y) / 4;
    EXPECT_EQ(c.at(mx, my + 55), RGB(120, 120, 120));
}

// The wall's pixels stop at the clip rectangle's right and bottom edges: a
// pixel on the edge itself lies outside it, so no pixel record names it.
TEST(ChartFrame, WallPixelsStayInsideTheClipRectangle) {
    CChartView3D v;
    v.FitToRect(CChartRect(0, 0, 400, 300));
    CChartFrame f(&v);
    f.SetName("clipped");
    f.MakeOutline();
    const CChartPoint* o = f.GetOutline();
    const int cut_x = (o[0].x + o[1].x) / 2;
    const int cut_y = (std::min(o[0].y, o[1].y) + std::max(o[2].y, o[3].y)) / 2;
    test_driver::start();
    HDC rec = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(rec, nullptr);
    IntersectClipRect(rec, 0, 0, cut_x, cut_y);
    {
        CDC base;
        base.Attach(rec);
        CChartDC dc(&base);
        f.DrawBody(&dc);
        base.Detach();
    }
    HENHMETAFILE mf = CloseEnhMetaFile(rec);
    std::vector<BYTE> b(GetEnhMetaFileBits(mf, 0, nullptr));
    GetEnhMetaFileBits(mf, static_cast<UINT>(b.size()), b.data());
    DeleteEnhMetaFile(mf);
    auto u32 = [&](std::size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<DWORD>(b[at + 3]) << 24;
    };
    int pixels = 0, max_x = -1, max_y = -1;
    for (std::size_t at = 0; at + 8 <= b.size();) {
        DWORD type = u32(at), size = u32(at + 4);
        if (size < 8 || at + size > b.size()) break;
        if (type == emr::SETPIXELV && size >= 20) {
            ++pixels;
            max_x = std::max(max_x, static_cast<int>(u32(at + 8)));
            max_y = std::max(max_y, static_cast<int>(u32(at + 12)));
        }
        at += size;
    }
    ASSERT_GT(pixels, 0);
    EXPECT_EQ(max_x, cut_x - 1);
    EXPECT_EQ(max_y, cut_y - 1);
}

} // namespace

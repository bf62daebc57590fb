// Polylines of two points are lines and play back as lines from either
// metafile kind; a polygon of two points is its one edge. A point alone
// draws nothing.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

constexpr QRgb white = 0xFFFFFFFF;

struct Canvas {
    QImage img;
    HDC dc;
    Canvas() : img(120, 80, QImage::Format_RGB32) {
        img.fill(white);
        dc = gdi_create_image_dc(&img, nullptr, QRegion());
    }
    ~Canvas() { gdi_delete_image_dc(dc); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    int inked_in_row(int y, int x0, int x1) const {
        int n = 0;
        for (int x = x0; x < x1; ++x) n += img.pixel(x, y) != white;
        return n;
    }
};

// A line across row 10 from 10 to 60, an edge down column 90 from 20 to 60
// (a polygon of two points, filled nothing: its outline only), and a lone
// point at (40, 50).
void scene(HDC dc) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    const POINT line[2] = {{10, 10}, {60, 10}};
    Polyline(dc, line, 2);
    const POINT edge[2] = {{90, 20}, {90, 60}};
    Polygon(dc, edge, 2);
    const POINT lone[1] = {{40, 50}};
    Polyline(dc, lone, 1);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void expect_scene(const Canvas& c) {
    EXPECT_GE(c.inked_in_row(10, 10, 60), 49); // the line, its last point left off
    EXPECT_EQ(c.inked_in_row(10, 61, 120), 0);
    int column = 0;
    for (int y = 20; y < 60; ++y) column += c.img.pixel(90, y) != white;
    EXPECT_GE(column, 39);
    EXPECT_EQ(c.img.pixel(40, 50), white);
}

TEST(MetafileShortPolys, TwoPointLinesAndEdgesPlayBackAsDrawn) {
    Canvas direct;
    scene(direct.dc);
    {
        SCOPED_TRACE("drawn directly");
        expect_scene(direct);
    }
    HDC mdc = CreateMetaFile(nullptr);
    ASSERT_NE(mdc, nullptr);
    scene(mdc);
    HMETAFILE wmf = CloseMetaFile(mdc);
    ASSERT_NE(wmf, nullptr);
    Canvas wmf_played;
    ASSERT_TRUE(PlayMetaFile(wmf_played.dc, wmf));
    {
        SCOPED_TRACE("Windows metafile");
        expect_scene(wmf_played);
        EXPECT_EQ(wmf_played.img, direct.img);
    }
    DeleteMetaFile(wmf);

    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edc, nullptr);
    scene(edc);
    // A frame of the whole canvas, so the picture plays back at its size.
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_NE(emf, nullptr);
    ENHMETAHEADER h{};
    ASSERT_NE(GetEnhMetaFileHeader(emf, sizeof h, &h), 0u);
    RECT r{h.rclBounds.left, h.rclBounds.top, h.rclBounds.right + 1, h.rclBounds.bottom + 1};
    Canvas emf_played;
    ASSERT_TRUE(PlayEnhMetaFile(emf_played.dc, emf, &r));
    {
        SCOPED_TRACE("enhanced metafile");
        expect_scene(emf_played);
        EXPECT_EQ(emf_played.img, direct.img);
    }
    DeleteEnhMetaFile(emf);
}

} // namespace

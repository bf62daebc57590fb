// Polylines of two points are lines and play back as lines from either
// metafile kind; a polygon of two points is its one edge. A point alone
// draws nothing.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"
#include "tests/platform/metafile_replay.h"

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
    expect_metafiles_replay<Canvas>(scene, expect_scene);
}

} // namespace

// One-pixel solid lines drawn by the layer's own rasteriser: the pixels
// against the painter's, clipping at the image and region edges, the
// platform's end-point rules, and the order of calls with a painter open.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <random>

namespace {

constexpr QRgb white = 0xFFFFFFFF;
constexpr QRgb ink = 0xFF2040A0;

struct Canvas {
    QImage img;
    HDC dc = nullptr;
    HPEN pen = nullptr;
    HGDIOBJ old = nullptr;
    Canvas(int w, int h, QRegion update = QRegion()) : img(w, h, QImage::Format_RGB32) {
        img.fill(white);
        dc = gdi_create_image_dc(&img, nullptr, update);
        pen = CreatePen(PS_SOLID, 0, RGB(0x20, 0x40, 0xA0));
        old = SelectObject(dc, pen);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(pen);
        gdi_delete_image_dc(dc);
    }
    void line(QPoint a, QPoint b) {
        MoveToEx(dc, a.x(), a.y(), nullptr);
        LineTo(dc, b.x(), b.y());
    }
};

// The painter's one-pixel line (what every line was drawn with before).
QImage painter_line(QSize size, QPoint a, QPoint b) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(white);
    QPainter p(&img);
    QPen pen(QColor::fromRgb(ink));
    pen.setCosmetic(true);
    pen.setWidth(1);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(a, b);
    return img;
}

// Does the line run backward along its longer axis (x when they are equal)?
bool backward(QPoint a, QPoint b) {
    int dx = b.x() - a.x(), dy = b.y() - a.y();
    return std::abs(dx) >= std::abs(dy) ? dx < 0 : dy < 0;
}

std::string where(QPoint a, QPoint b) {
    return "(" + std::to_string(a.x()) + "," + std::to_string(a.y()) + ")-(" +
           std::to_string(b.x()) + "," + std::to_string(b.y()) + ")";
}

int differences(const QImage& x, const QImage& y) {
    int n = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) n += x.pixel(c, r) != y.pixel(c, r);
    return n;
}

// Forward lines take exactly the painter's pixels; backward lines the same
// pixels with the ends swapped: the start drawn, the end not.
TEST(GdiRaster, LinesTakeThePaintersPixelsWithThePlatformsEnds) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> x(2, 93), y(2, 61), small(-6, 6);
    const QSize size(96, 64);
    for (int i = 0; i < 3000; ++i) {
        QPoint a(x(rng), y(rng)), b;
        if (i % 3 == 0) // short lines and every octant near 45 degrees
            b = QPoint(std::clamp(a.x() + small(rng), 0, 95),
                       std::clamp(a.y() + small(rng), 0, 63));
        else
            b = QPoint(x(rng), y(rng));
        if (a == b) continue;
        Canvas c(size.width(), size.height());
        c.line(a, b);
        QImage want = painter_line(size, a, b);
        if (backward(a, b)) {
            ASSERT_EQ(want.pixel(b), ink) << where(a, b);
            want.setPixel(b, white);
            want.setPixel(a, ink);
        }
        ASSERT_EQ(differences(c.img, want), 0) << where(a, b);
    }
}

// Each long-axis step inside the image has exactly one pixel, within a pixel
// of the ideal line: lines whose ends lie far outside (up to the layer's
// coordinate limit) are clipped, not lost, and do not wrap.
void expect_on_the_line(const QImage& img, QPoint a, QPoint b) {
    double dx = b.x() - a.x(), dy = b.y() - a.y();
    bool x_major = std::abs(dx) >= std::abs(dy);
    int across = x_major ? img.width() : img.height();
    int along = x_major ? img.height() : img.width();
    for (int u = 0; u < across; ++u) {
        // The ideal cross coordinate at this step.
        double t = x_major ? (u - a.x()) / dx : (u - a.y()) / dy;
        double v = x_major ? a.y() + t * dy : a.x() + t * dx;
        int count = 0;
        for (int w = 0; w < along; ++w) {
            QRgb p = x_major ? img.pixel(u, w) : img.pixel(w, u);
            if (p == white) continue;
            ++count;
            EXPECT_LE(std::abs(w - v), 1.0) << where(a, b) << " at " << u;
        }
        bool inside = t >= 0 && t < 1 && v >= 1 && v <= along - 2;
        if (inside) {
            EXPECT_EQ(count, 1) << where(a, b) << " at " << u;
        }
        if (t < -0.01 || t > 1.01) {
            EXPECT_EQ(count, 0) << where(a, b) << " at " << u;
        }
    }
}

TEST(GdiRaster, LinesFarOutsideTheImageAreClippedExactly) {
    const QSize size(80, 50);
    // Within reach of a bigger image: the clipped line must be the same
    // pixels as the part of the whole line that falls on the small image.
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> far(-400, 480);
    for (int i = 0; i < 400; ++i) {
        QPoint a(far(rng), far(rng)), b(far(rng), far(rng));
        if (a == b) continue;
        Canvas small(size.width(), size.height());
        small.line(a, b);
        Canvas big(1000, 1000);
        QPoint off(450, 450);
        big.line(a + off, b + off);
        QImage crop = big.img.copy(QRect(off, size));
        ASSERT_EQ(differences(small.img, crop), 0) << where(a, b);
    }
    // At the layer's coordinate limit.
    const int huge = 1 << 26;
    const QPoint ends[][2] = {{{-huge, -huge + 7}, {huge, huge - 3}},
                              {{huge, 25}, {-huge, 24}},
                              {{40, -huge}, {41, huge}},
                              {{-huge, 60}, {huge / 2, -huge / 3}},
                              {{40, 25}, {-huge, huge}}};
    for (auto& e : ends) {
        Canvas c(size.width(), size.height());
        c.line(e[0], e[1]);
        expect_on_the_line(c.img, e[0], e[1]);
    }
}

// A clip of several rectangles: the pixels inside it are those of the
// unclipped line, none outside.
TEST(GdiRaster, ClipRegionsKeepExactlyTheirPixels) {
    const QSize size(90, 70);
    QRegion clip = QRegion(5, 5, 40, 30) + QRegion(50, 10, 30, 50);
    clip -= QRegion(20, 15, 8, 8);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> x(-20, 110), y(-20, 90);
    for (int i = 0; i < 300; ++i) {
        QPoint a(x(rng), y(rng)), b(x(rng), y(rng));
        Canvas whole(size.width(), size.height());
        whole.line(a, b);
        // Half through the window's update region, half through a clip region.
        Canvas c(size.width(), size.height(), i % 2 ? clip : QRegion());
        if (i % 2 == 0) {
            HRGN r = CreateRectRgn(0, 0, 0, 0);
            for (const QRect& q : clip) {
                HRGN part = CreateRectRgn(q.left(), q.top(), q.right() + 1, q.bottom() + 1);
                CombineRgn(r, r, part, RGN_OR);
                DeleteObject(part);
            }
            SelectClipRgn(c.dc, r);
            DeleteObject(r);
        }
        c.line(a, b);
        for (int yy = 0; yy < size.height(); ++yy)
            for (int xx = 0; xx < size.width(); ++xx) {
                QRgb want = clip.contains(QPoint(xx, yy)) ? whole.img.pixel(xx, yy) : white;
                ASSERT_EQ(c.img.pixel(xx, yy), want) << where(a, b) << " at " << xx << "," << yy;
            }
    }
}

// An outline drawn point to point closes: each side draws its start and
// leaves its end to the next side (the side drawn right to left used to
// leave out its start, and the corner stayed open). A line to where the
// pen already is draws nothing.
TEST(GdiRaster, OutlinesCloseAndEmptyLinesDrawNothing) {
    Canvas c(40, 40);
    MoveToEx(c.dc, 10, 10, nullptr);
    LineTo(c.dc, 30, 10);
    LineTo(c.dc, 30, 25);
    LineTo(c.dc, 10, 25);
    LineTo(c.dc, 10, 10);
    int count = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) count += c.img.pixel(x, y) == ink;
    EXPECT_EQ(count, 2 * 20 + 2 * 15);
    for (QPoint corner : {QPoint(10, 10), QPoint(30, 10), QPoint(30, 25), QPoint(10, 25)})
        EXPECT_EQ(c.img.pixel(corner), ink) << corner.x() << "," << corner.y();

    Canvas d(20, 20);
    d.line(QPoint(7, 7), QPoint(7, 7));
    EXPECT_EQ(d.img.pixel(7, 7), white);
    POINT at{};
    GetCurrentPositionEx(d.dc, &at);
    EXPECT_EQ(at.x, 7);
    EXPECT_EQ(at.y, 7);
}

// A polyline is its segments drawn one after the other, each without its
// end, whichever way it turns; PolylineTo starts at the current position
// and moves it.
TEST(GdiRaster, PolylinesAreTheirSegments) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> x(-10, 70), y(-10, 50);
    for (int i = 0; i < 200; ++i) {
        std::vector<POINT> pts(2 + i % 6);
        for (auto& p : pts) p = POINT{x(rng), y(rng)};
        Canvas poly(64, 48), seg(64, 48), to(64, 48);
        Polyline(poly.dc, pts.data(), static_cast<int>(pts.size()));
        MoveToEx(seg.dc, pts[0].x, pts[0].y, nullptr);
        for (std::size_t k = 1; k < pts.size(); ++k) LineTo(seg.dc, pts[k].x, pts[k].y);
        MoveToEx(to.dc, pts[0].x, pts[0].y, nullptr);
        PolylineTo(to.dc, pts.data() + 1, static_cast<DWORD>(pts.size() - 1));
        ASSERT_EQ(differences(poly.img, seg.img), 0) << i;
        ASSERT_EQ(differences(to.img, seg.img), 0) << i;
        // Under a moved window origin: the same pixels from shifted points.
        Canvas moved(64, 48);
        SetWindowOrgEx(moved.dc, -7, 3, nullptr);
        std::vector<POINT> shifted = pts;
        for (auto& p : shifted) p = POINT{p.x - 7, p.y + 3};
        Polyline(moved.dc, shifted.data(), static_cast<int>(shifted.size()));
        ASSERT_EQ(differences(moved.img, seg.img), 0) << i;
        POINT at{};
        GetCurrentPositionEx(to.dc, &at);
        EXPECT_EQ(at.x, pts.back().x);
        EXPECT_EQ(at.y, pts.back().y);
    }
}

// Lines written into the pixels while the context's painter is open (after
// a text and a fill) land in call order: over what came before, under what
// comes after; a copy taken in between does not see later lines.
TEST(GdiRaster, CallsKeepTheirOrderWithThePainterOpen) {
    Canvas c(120, 60);
    HFONT f = CreateFont(-30, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    HGDIOBJ old_font = SelectObject(c.dc, f);
    SetBkMode(c.dc, OPAQUE);
    SetBkColor(c.dc, RGB(255, 255, 0));
    TextOut(c.dc, 0, 0, "MMMM", 4); // opaque yellow box behind the text
    RECT box{60, 30, 80, 50};
    FillRect(c.dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    QImage before = c.img;
    c.line(QPoint(0, 40), QPoint(120, 40)); // over the box
    FillRect(c.dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    c.line(QPoint(2, 0), QPoint(2, 60)); // over the text's box
    EXPECT_EQ(before.pixel(30, 40), white);
    EXPECT_EQ(c.img.pixel(30, 40), ink);
    EXPECT_EQ(c.img.pixel(70, 40), white); // the later fill covers the line
    EXPECT_EQ(c.img.pixel(2, 3), ink);
    EXPECT_EQ(before.pixel(2, 3), qRgb(255, 255, 0));
    // Drawing through the painter again after the direct writes.
    TextOut(c.dc, 0, 0, "MMMM", 4);
    EXPECT_NE(c.img.pixel(2, 3), ink);
    EXPECT_EQ(c.img.pixel(30, 40), ink);
    SelectObject(c.dc, old_font);
    DeleteObject(f);
}

} // namespace

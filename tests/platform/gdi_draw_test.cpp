// Drawing layer: pixels of lines, shapes, mix modes, mapping, clipping,
// objects and block transfers on image contexts.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <random>

namespace {

constexpr QRgb white = 0xFFFFFFFF;
constexpr QRgb black = 0xFF000000;

// An image context on a white (or given) image, deleted with the fixture.
struct Canvas {
    QImage img;
    HDC dc = nullptr;
    explicit Canvas(int w = 64, int h = 64, QRgb fill = white) : img(w, h, QImage::Format_RGB32) {
        img.fill(fill);
        dc = gdi_create_image_dc(&img, nullptr, QRegion());
    }
    ~Canvas() { gdi_delete_image_dc(dc); }
    QRgb at(int x, int y) const { return img.pixel(x, y); }
    bool ink(int x, int y) const { return img.pixel(x, y) != white; }
    int count_ink() const {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += ink(x, y);
        return n;
    }
};

QImage noise(int w, int h, unsigned seed) {
    QImage img(w, h, QImage::Format_RGB32);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFF));
    return img;
}

TEST(GdiLines, OnePixelLineStopsBeforeItsEnd) {
    Canvas c;
    MoveToEx(c.dc, 5, 10, nullptr);
    LineTo(c.dc, 15, 10);
    for (int x = 5; x < 15; ++x) EXPECT_EQ(c.at(x, 10), black) << x;
    EXPECT_EQ(c.at(15, 10), white);
    EXPECT_EQ(c.at(4, 10), white);
    EXPECT_EQ(c.count_ink(), 10);
    POINT p;
    GetCurrentPositionEx(c.dc, &p);
    EXPECT_EQ(p.x, 15);
    EXPECT_EQ(p.y, 10);
}

TEST(GdiLines, PenWidthAndStyles) {
    Canvas c(200, 40);
    HPEN wide = CreatePen(PS_SOLID, 5, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(c.dc, wide);
    EXPECT_EQ(old, GetStockObject(BLACK_PEN));
    MoveToEx(c.dc, 20, 20, nullptr);
    LineTo(c.dc, 100, 20);
    int rows = 0;
    for (int y = 0; y < 40; ++y) rows += c.at(60, y) == qRgb(255, 0, 0);
    EXPECT_GE(rows, 4);
    EXPECT_LE(rows, 6);
    SelectObject(c.dc, old);
    DeleteObject(wide);

    // Dotted: three on, three off along a one-pixel line.
    Canvas d(100, 10);
    HPEN dot = CreatePen(PS_DOT, 1, RGB(0, 0, 0));
    SelectObject(d.dc, dot);
    MoveToEx(d.dc, 0, 5, nullptr);
    LineTo(d.dc, 60, 5);
    std::string seen;
    for (int x = 0; x < 12; ++x) seen += d.ink(x, 5) ? '#' : '.';
    EXPECT_EQ(seen, "###...###...");
    // Dashed: eighteen on, six off.
    HPEN dash = CreatePen(PS_DASH, 0, RGB(0, 0, 0));
    SelectObject(d.dc, dash);
    MoveToEx(d.dc, 0, 8, nullptr);
    LineTo(d.dc, 60, 8);
    int on = 0;
    while (d.ink(on, 8)) ++on;
    EXPECT_EQ(on, 18);
    EXPECT_FALSE(d.ink(20, 8));
    EXPECT_TRUE(d.ink(24, 8));
    SelectObject(d.dc, GetStockObject(NULL_PEN));
    int before = d.count_ink();
    MoveToEx(d.dc, 0, 2, nullptr);
    LineTo(d.dc, 60, 2);
    EXPECT_EQ(d.count_ink(), before); // the null pen draws nothing
    SelectObject(d.dc, GetStockObject(BLACK_PEN));
    DeleteObject(dot);
    DeleteObject(dash);

    // Dash-dot: nine on, six off, three on, six off; dash-dot-dot: nine on,
    // then three off and three on twice, three off.
    auto pattern = [](int style) {
        Canvas l(100, 4);
        HPEN pen = CreatePen(style, 0, RGB(0, 0, 0));
        SelectObject(l.dc, pen);
        MoveToEx(l.dc, 0, 2, nullptr);
        LineTo(l.dc, 90, 2);
        SelectObject(l.dc, GetStockObject(BLACK_PEN));
        DeleteObject(pen);
        std::string out;
        for (int x = 0; x < 48; ++x) out += l.ink(x, 2) ? '#' : '.';
        return out;
    };
    EXPECT_EQ(pattern(PS_DASHDOT), "#########......###......#########......###......");
    EXPECT_EQ(pattern(PS_DASHDOTDOT), "#########...###...###...#########...###...###...");
}

// The hatch brushes' 8 x 8 cells: '\\' runs down to the right from the top
// left pixel, '/' up to the right from the bottom left one.
TEST(GdiDraw, HatchBrushesLeanTheWayTheirNamesSay) {
    auto cell = [](int hatch) {
        Canvas c(8, 8);
        HBRUSH b = CreateHatchBrush(hatch, RGB(0, 0, 0));
        const RECT all{0, 0, 8, 8};
        FillRect(c.dc, &all, b);
        DeleteObject(b);
        std::string out;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) out += c.ink(x, y) ? '#' : '.';
            out += '\n';
        }
        return out;
    };
    EXPECT_EQ(cell(HS_FDIAGONAL), "#.......\n"
                                  ".#......\n"
                                  "..#.....\n"
                                  "...#....\n"
                                  "....#...\n"
                                  ".....#..\n"
                                  "......#.\n"
                                  ".......#\n");
    EXPECT_EQ(cell(HS_BDIAGONAL), ".......#\n"
                                  "......#.\n"
                                  ".....#..\n"
                                  "....#...\n"
                                  "...#....\n"
                                  "..#.....\n"
                                  ".#......\n"
                                  "#.......\n");
    EXPECT_EQ(cell(HS_DIAGCROSS), "#......#\n"
                                  ".#....#.\n"
                                  "..#..#..\n"
                                  "...##...\n"
                                  "...##...\n"
                                  "..#..#..\n"
                                  ".#....#.\n"
                                  "#......#\n");
}

TEST(GdiShapes, RectangleExcludesRightAndBottom) {
    Canvas c;
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(c.dc, red);
    Rectangle(c.dc, 10, 10, 20, 20);
    EXPECT_EQ(c.at(10, 10), black);
    EXPECT_EQ(c.at(19, 19), black);
    EXPECT_EQ(c.at(20, 15), white);
    EXPECT_EQ(c.at(15, 20), white);
    EXPECT_EQ(c.at(15, 15), qRgb(255, 0, 0));
    // Without a pen the fill is one pixel smaller still.
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    Rectangle(c.dc, 30, 30, 40, 40);
    EXPECT_EQ(c.at(30, 30), qRgb(255, 0, 0));
    EXPECT_EQ(c.at(38, 38), qRgb(255, 0, 0));
    EXPECT_EQ(c.at(39, 35), white);
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(red);
    RECT r{40, 2, 50, 6};
    EXPECT_TRUE(FillRect(c.dc, &r, reinterpret_cast<HBRUSH>(COLOR_WINDOWTEXT + 1)));
    EXPECT_EQ(c.at(40, 2), black);
    EXPECT_EQ(c.at(49, 5), black);
    EXPECT_EQ(c.at(50, 5), white);
}

// A frame is one pixel on each side, inside the rectangle: the top row and the
// left column at left/top, the bottom row and the right column one before
// right/bottom; nothing inside it or past it. An empty rectangle draws nothing.
TEST(GdiShapes, FrameRectDrawsItsFourSidesOnTheRectanglesEdge) {
    Canvas c;
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    const RECT r{10, 12, 30, 40};
    ASSERT_TRUE(FrameRect(c.dc, &r, blue));
    const QRgb b = qRgb(0, 0, 255);
    for (int x = 10; x < 30; ++x) {
        EXPECT_EQ(c.at(x, 12), b) << "top, x " << x;
        EXPECT_EQ(c.at(x, 39), b) << "bottom, x " << x;
        EXPECT_EQ(c.at(x, 11), white) << "above, x " << x;
        EXPECT_EQ(c.at(x, 40), white) << "below, x " << x;
    }
    for (int y = 12; y < 40; ++y) {
        EXPECT_EQ(c.at(10, y), b) << "left, y " << y;
        EXPECT_EQ(c.at(29, y), b) << "right, y " << y;
        EXPECT_EQ(c.at(9, y), white) << "left of it, y " << y;
        EXPECT_EQ(c.at(30, y), white) << "right of it, y " << y;
    }
    EXPECT_EQ(c.at(11, 13), white);
    EXPECT_EQ(c.at(28, 38), white);
    EXPECT_EQ(c.count_ink(), 2 * 20 + 2 * 28 - 4); // the corners once each

    Canvas e;
    const RECT empty{5, 5, 5, 20};
    EXPECT_TRUE(FrameRect(e.dc, &empty, blue));
    EXPECT_EQ(e.count_ink(), 0);
    DeleteObject(blue);
}

TEST(GdiShapes, ArcsRunCounterClockwiseFromStartToEnd) {
    // From the right middle to the top middle: the top-right quarter.
    Canvas c(100, 100);
    Arc(c.dc, 10, 10, 90, 90, 90, 50, 50, 10);
    auto ink_in = [&](Canvas& k, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += k.ink(x, y);
        return n;
    };
    EXPECT_GT(ink_in(c, 52, 0, 100, 48), 20);
    EXPECT_EQ(ink_in(c, 0, 0, 48, 48), 0);
    EXPECT_EQ(ink_in(c, 0, 52, 100, 100), 0);
    // Clockwise: the other three quarters.
    Canvas d(100, 100);
    SetArcDirection(d.dc, AD_CLOCKWISE);
    Arc(d.dc, 10, 10, 90, 90, 90, 50, 50, 10);
    EXPECT_EQ(ink_in(d, 55, 0, 100, 45), 0);
    EXPECT_GT(ink_in(d, 0, 0, 45, 45), 20);
    EXPECT_GT(ink_in(d, 0, 55, 100, 100), 40);
    // A pie fills its wedge with the brush.
    Canvas e(100, 100);
    SelectObject(e.dc, GetStockObject(BLACK_BRUSH));
    Pie(e.dc, 10, 10, 90, 90, 90, 50, 50, 10);
    EXPECT_EQ(e.at(65, 35), black);
    EXPECT_EQ(e.at(35, 35), white);
    EXPECT_EQ(e.at(65, 65), white);
    // A chord closes the arc with a straight line: the corner stays empty.
    Canvas f(100, 100);
    SelectObject(f.dc, GetStockObject(BLACK_BRUSH));
    Chord(f.dc, 10, 10, 90, 90, 90, 50, 50, 10);
    EXPECT_EQ(f.at(80, 25), black);
    EXPECT_EQ(f.at(60, 40), white);
}

TEST(GdiMix, XorAndNotXorDrawnTwiceRestoreTheImage) {
    for (int mix : {R2_XORPEN, R2_NOTXORPEN, R2_NOT}) {
        QImage img = noise(80, 60, 7);
        QImage before = img.copy();
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
        SetROP2(dc, mix);
        HPEN pen = CreatePen(PS_SOLID, 3, RGB(200, 100, 50));
        HBRUSH brush = CreateHatchBrush(HS_DIAGCROSS, RGB(10, 200, 30));
        SelectObject(dc, pen);
        SelectObject(dc, brush);
        auto scene = [&] {
            MoveToEx(dc, 2, 2, nullptr);
            LineTo(dc, 70, 50);
            Rectangle(dc, 5, 30, 40, 55);
            Ellipse(dc, 30, 5, 75, 40);
            POINT tri[3] = {{10, 10}, {30, 25}, {5, 28}};
            Polygon(dc, tri, 3);
        };
        scene();
        EXPECT_NE(img, before) << mix;
        scene();
        EXPECT_EQ(img, before) << "mix " << mix;
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(pen);
        DeleteObject(brush);
        gdi_delete_image_dc(dc);
    }
}

TEST(GdiMix, NotXorLineInvertsOnWhite) {
    Canvas c;
    SetROP2(c.dc, R2_NOTXORPEN);
    MoveToEx(c.dc, 0, 5, nullptr);
    LineTo(c.dc, 30, 5); // black pen: not(black xor white) = black
    EXPECT_EQ(c.at(10, 5), black);
    SetROP2(c.dc, R2_NOP);
    MoveToEx(c.dc, 0, 8, nullptr);
    LineTo(c.dc, 30, 8);
    EXPECT_EQ(c.at(10, 8), white);
}

TEST(GdiMix, InvertFocusAndPatternInvertTwiceRestore) {
    QImage img = noise(50, 50, 11);
    QImage before = img.copy();
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    RECT r{5, 5, 40, 30};
    HBRUSH b = CreateSolidBrush(RGB(255, 255, 0));
    SelectObject(dc, b);
    InvertRect(dc, &r);
    DrawFocusRect(dc, &r);
    PatBlt(dc, 10, 10, 20, 20, PATINVERT);
    EXPECT_NE(img, before);
    PatBlt(dc, 10, 10, 20, 20, PATINVERT);
    DrawFocusRect(dc, &r);
    InvertRect(dc, &r);
    EXPECT_EQ(img, before);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(b);
    gdi_delete_image_dc(dc);
}

TEST(GdiMapping, AnisotropicLoEnglishAndIsotropic) {
    Canvas c(200, 200);
    SetMapMode(c.dc, MM_ANISOTROPIC);
    SetWindowExtEx(c.dc, 100, 100, nullptr);
    SetViewportExtEx(c.dc, 200, 50, nullptr);
    SetViewportOrgEx(c.dc, 10, 20, nullptr);
    POINT p[2] = {{50, 40}, {0, 0}};
    ASSERT_TRUE(LPtoDP(c.dc, p, 2));
    EXPECT_EQ(p[0].x, 110);
    EXPECT_EQ(p[0].y, 40);
    EXPECT_EQ(p[1].x, 10);
    EXPECT_EQ(p[1].y, 20);
    ASSERT_TRUE(DPtoLP(c.dc, p, 1));
    EXPECT_EQ(p[0].x, 50);
    EXPECT_EQ(p[0].y, 40);
    SelectObject(c.dc, GetStockObject(BLACK_BRUSH));
    Rectangle(c.dc, 10, 10, 20, 20); // device 30,25 .. 50,30
    EXPECT_EQ(c.at(30, 25), black);
    EXPECT_EQ(c.at(49, 29), black);
    EXPECT_EQ(c.at(50, 29), white);
    EXPECT_EQ(c.at(29, 25), white);

    Canvas e(200, 200);
    SetMapMode(e.dc, MM_LOENGLISH); // hundredths of an inch, y upwards
    POINT q{100, -100};
    LPtoDP(e.dc, &q, 1);
    EXPECT_EQ(q.x, 96);
    EXPECT_EQ(q.y, 96);
    // Every fixed mode: one inch in its units is one inch (96 pixels).
    for (auto [mode, per_inch] : {std::pair{MM_LOMETRIC, 254}, std::pair{MM_HIMETRIC, 2540},
                                  std::pair{MM_HIENGLISH, 1000}, std::pair{MM_TWIPS, 1440}}) {
        Canvas m(200, 200);
        SetMapMode(m.dc, mode);
        POINT inch{per_inch, -per_inch};
        LPtoDP(m.dc, &inch, 1);
        EXPECT_EQ(inch.x, 96) << mode;
        EXPECT_EQ(inch.y, 96) << mode;
    }
    SetMapMode(e.dc, MM_LOENGLISH);
    SetWindowExtEx(e.dc, 5, 5, nullptr); // ignored in a fixed mode
    q = POINT{100, -100};
    LPtoDP(e.dc, &q, 1);
    EXPECT_EQ(q.x, 96);

    Canvas i(200, 200);
    SetMapMode(i.dc, MM_ISOTROPIC);
    SetWindowExtEx(i.dc, 100, 100, nullptr);
    SetViewportExtEx(i.dc, 200, 100, nullptr); // the smaller scale wins
    SIZE vp;
    GetViewportExtEx(i.dc, &vp);
    EXPECT_EQ(vp.cx, 100);
    EXPECT_EQ(vp.cy, 100);
}

TEST(GdiClip, ClipRectsRegionsAndSaveRestore) {
    Canvas c(100, 100);
    RECT all{0, 0, 100, 100};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    int level = SaveDC(c.dc);
    EXPECT_EQ(level, 1);
    EXPECT_EQ(IntersectClipRect(c.dc, 10, 10, 50, 50), SIMPLEREGION);
    EXPECT_EQ(ExcludeClipRect(c.dc, 20, 20, 30, 30), COMPLEXREGION);
    RECT box;
    EXPECT_EQ(GetClipBox(c.dc, &box), COMPLEXREGION);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.right, 50);
    SetTextColor(c.dc, RGB(1, 2, 3));
    SelectObject(c.dc, red);
    FillRect(c.dc, &all, red);
    EXPECT_EQ(c.at(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(c.at(49, 49), qRgb(255, 0, 0));
    EXPECT_EQ(c.at(50, 49), white);
    EXPECT_EQ(c.at(25, 25), white);
    EXPECT_EQ(c.at(5, 5), white);
    ASSERT_TRUE(RestoreDC(c.dc, -1));
    EXPECT_EQ(GetTextColor(c.dc), RGB(0, 0, 0));
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_FALSE(RestoreDC(c.dc, -1)); // nothing saved any more
    GetClipBox(c.dc, &box);
    EXPECT_EQ(box.right, 100);

    HRGN ell = CreateEllipticRgn(60, 60, 100, 100);
    SelectClipRgn(c.dc, ell);
    FillRect(c.dc, &all, red);
    EXPECT_EQ(c.at(80, 80), qRgb(255, 0, 0));
    EXPECT_EQ(c.at(61, 61), white);
    EXPECT_EQ(c.at(70, 30), white);
    SelectClipRgn(c.dc, nullptr);
    DeleteObject(ell);
    DeleteObject(red);
}

TEST(GdiClip, WindowUpdateRegionLimitsDrawing) {
    QImage img(40, 40, QImage::Format_RGB32);
    img.fill(white);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(0, 0, 10, 10));
    RECT all{0, 0, 40, 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(img.pixel(9, 9), black);
    EXPECT_EQ(img.pixel(10, 9), white);
    RECT box;
    GetClipBox(dc, &box);
    EXPECT_EQ(box.right, 10);
    gdi_delete_image_dc(dc);
}

TEST(GdiBrush, PatternAndHatchBrushes) {
    // A monochrome checker: black pixels take the text colour, white the background.
    WORD rows[8];
    for (int y = 0; y < 8; ++y) rows[y] = (y % 2) ? 0x5555 : 0xAAAA;
    HBITMAP bm = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH pat = CreatePatternBrush(bm);
    DeleteObject(bm); // the brush keeps its own copy
    Canvas c(32, 32);
    SetTextColor(c.dc, RGB(255, 0, 0));
    SetBkColor(c.dc, RGB(0, 0, 255));
    RECT r{0, 0, 16, 16};
    FillRect(c.dc, &r, pat);
    EXPECT_EQ(c.at(0, 0), qRgb(0, 0, 255)); // bit set: white
    EXPECT_EQ(c.at(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(c.at(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(c.at(8, 8), c.at(0, 0)); // repeats every 8 pixels
    DeleteObject(pat);

    Canvas h(32, 32);
    HBRUSH hatch = CreateHatchBrush(HS_HORIZONTAL, RGB(0, 0, 0));
    SetBkMode(h.dc, TRANSPARENT);
    RECT all{0, 0, 32, 32};
    FillRect(h.dc, &all, hatch);
    int lines = 0;
    for (int y = 0; y < 32; ++y) lines += h.at(5, y) == black;
    EXPECT_EQ(lines, 4);
    EXPECT_EQ(h.at(5, 4), black);
    DeleteObject(hatch);
}

TEST(GdiBlt, RasterOperationsAndMonochromeSources) {
    Canvas src(16, 16, qRgb(0xF0, 0x0F, 0x33));
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateCompatibleBitmap(src.dc, 16, 16);
    HGDIOBJ old = SelectObject(mem, bm);
    BitBlt(mem, 0, 0, 16, 16, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(mem, 3, 3), RGB(0xF0, 0x0F, 0x33));

    Canvas dst(16, 16, qRgb(0x0F, 0xFF, 0x11));
    BitBlt(dst.dc, 0, 0, 8, 8, mem, 0, 0, SRCAND);
    EXPECT_EQ(dst.at(1, 1), qRgb(0x00, 0x0F, 0x11));
    BitBlt(dst.dc, 8, 0, 8, 8, mem, 0, 0, SRCPAINT);
    EXPECT_EQ(dst.at(9, 1), qRgb(0xFF, 0xFF, 0x33));
    QImage before = dst.img.copy();
    BitBlt(dst.dc, 0, 8, 16, 8, mem, 0, 0, SRCINVERT);
    EXPECT_EQ(dst.at(1, 9), qRgb(0xFF, 0xF0, 0x22));
    BitBlt(dst.dc, 0, 8, 16, 8, mem, 0, 0, SRCINVERT);
    EXPECT_EQ(dst.img, before);
    PatBlt(dst.dc, 0, 0, 4, 4, BLACKNESS);
    PatBlt(dst.dc, 4, 0, 4, 4, WHITENESS);
    PatBlt(dst.dc, 0, 4, 4, 4, DSTINVERT);
    EXPECT_EQ(dst.at(0, 0), black);
    EXPECT_EQ(dst.at(5, 0), white);
    EXPECT_EQ(dst.at(0, 5), qRgb(0xFF, 0xF0, 0xEE));
    SelectObject(dst.dc, GetStockObject(GRAY_BRUSH));
    PatBlt(dst.dc, 12, 12, 4, 4, PATCOPY);
    EXPECT_EQ(dst.at(13, 13), qRgb(128, 128, 128));

    // A monochrome source: black becomes the text colour, white the background.
    HDC mono = CreateCompatibleDC(nullptr);
    HBITMAP mbm = CreateBitmap(8, 1, 1, 1, "\x0F\x00");
    SelectObject(mono, mbm);
    Canvas col(8, 1);
    SetTextColor(col.dc, RGB(255, 0, 0));
    SetBkColor(col.dc, RGB(0, 255, 0));
    BitBlt(col.dc, 0, 0, 8, 1, mono, 0, 0, SRCCOPY);
    EXPECT_EQ(col.at(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(col.at(7, 0), qRgb(0, 255, 0));

    // Stretching doubles each pixel.
    Canvas big(32, 32);
    SetPixel(mem, 0, 0, RGB(0, 0, 0));
    StretchBlt(big.dc, 0, 0, 32, 32, mem, 0, 0, 16, 16, SRCCOPY);
    EXPECT_EQ(big.at(1, 1), black);
    EXPECT_EQ(big.at(2, 2), qRgb(0xF0, 0x0F, 0x33));

    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    DeleteDC(mono);
    DeleteObject(mbm);
}

TEST(GdiObjects, StaleHandlesFailCleanly) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    ASSERT_TRUE(DeleteObject(pen));
    Canvas c;
    EXPECT_EQ(SelectObject(c.dc, pen), nullptr);
    EXPECT_NE(std::string(gdi_last_error()), "");
    LOGPEN lp;
    EXPECT_EQ(GetObject(pen, sizeof lp, &lp), 0);
    HDC mem = CreateCompatibleDC(nullptr);
    DeleteDC(mem);
    EXPECT_FALSE(LineTo(mem, 3, 3));
    EXPECT_EQ(SetTextColor(mem, 0), CLR_INVALID);
    EXPECT_FALSE(DeleteDC(mem));
    // A handle of one kind is refused where another is expected.
    HBRUSH b = CreateSolidBrush(0);
    EXPECT_EQ(GetRgnBox(reinterpret_cast<HRGN>(b), nullptr), ERROR);
    DeleteObject(b);
}

TEST(GdiObjects, DeletingASelectedObjectWaitsForItsDeselection) {
    Canvas c;
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(c.dc, pen);
    EXPECT_TRUE(DeleteObject(pen));
    MoveToEx(c.dc, 0, 0, nullptr);
    LineTo(c.dc, 10, 0);
    EXPECT_EQ(c.at(5, 0), qRgb(255, 0, 0)); // still usable while selected
    EXPECT_EQ(GetObjectType(pen), OBJ_PEN);
    SelectObject(c.dc, old);
    EXPECT_EQ(GetObjectType(pen), 0u);                    // gone now
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN))); // stock objects stay
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), OBJ_PEN);
}

TEST(GdiObjects, RecordsOfObjectsAndDevice) {
    HPEN pen = CreatePen(PS_DASH, 0, RGB(4, 5, 6));
    LOGPEN lp{};
    ASSERT_EQ(GetObject(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DASH));
    EXPECT_EQ(lp.lopnColor, RGB(4, 5, 6));
    DeleteObject(pen);
    HBITMAP bm = CreateBitmap(13, 7, 1, 32, nullptr);
    BITMAP info{};
    GetObject(bm, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 13);
    EXPECT_EQ(info.bmHeight, 7);
    EXPECT_EQ(info.bmBitsPixel, 32);
    DeleteObject(bm);
    EXPECT_EQ(CreateBitmap(100000, 100000, 1, 32, nullptr), nullptr); // refused, no allocation
    HFONT f = CreateFont(-12, 0, 0, 0, FW_BOLD, 1, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    LOGFONT lf{};
    GetObject(f, sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, -12);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_STREQ(lf.lfFaceName, "Arial");
    DeleteObject(f);

    HDC screen = gdi_create_screen_dc();
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(screen, TECHNOLOGY), DT_RASDISPLAY);
    EXPECT_GT(GetDeviceCaps(screen, HORZRES), 0);
    EXPECT_EQ(GetDeviceCaps(screen, HORZSIZE),
              static_cast<int>(GetDeviceCaps(screen, HORZRES) * 25.4 / 96 + 0.5));
    EXPECT_TRUE(GetDeviceCaps(screen, RASTERCAPS) & RC_STRETCHBLT);
    gdi_delete_image_dc(screen);
    HDC disp = CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(disp, nullptr);
    EXPECT_EQ(GetDeviceCaps(disp, BITSPIXEL) * GetDeviceCaps(disp, PLANES), 32);
    DeleteDC(disp);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    LOGBRUSH lb{};
    GetObject(GetSysColorBrush(COLOR_BTNFACE), sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
}

// Texts the program draws on a grey bar of a system colour (an inactive
// window's title, a tip) stand out from it whatever grey the style gives it.
TEST(GdiDevices, BarTextsStandOutFromTheirBars) {
    const std::pair<int, int> pairs[] = {{COLOR_INACTIVECAPTIONTEXT, COLOR_INACTIVECAPTION},
                                         {COLOR_INFOTEXT, COLOR_INFOBK}};
    for (const auto& [text, back] : pairs)
        EXPECT_GE(colour_contrast(GetSysColor(text), GetSysColor(back)), 4.5) << text;
    // Grey on grey gives way to black; a light text on a dark bar stays.
    EXPECT_EQ(readable_on(RGB(190, 190, 190), RGB(160, 160, 160)), RGB(0, 0, 0));
    EXPECT_EQ(readable_on(RGB(240, 240, 240), RGB(30, 60, 120)), RGB(240, 240, 240));
    EXPECT_EQ(readable_on(RGB(20, 20, 90), RGB(40, 40, 60)), RGB(255, 255, 255));
    EXPECT_NEAR(colour_contrast(RGB(0, 0, 0), RGB(255, 255, 255)), 21.0, 1e-9);
}

TEST(GdiDevices, PainterContextsDrawThroughTheirPainter) {
    QImage page(100, 100, QImage::Format_RGB32);
    page.fill(white);
    QPainter painter(&page);
    HDC dc = gdi_create_painter_dc(&painter, QSize(100, 100), 300, 300);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 100);
    EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Rectangle(dc, 10, 10, 20, 20);
    SetROP2(dc, R2_XORPEN); // no raster operations on a printer: drawn as copy
    MoveToEx(dc, 0, 50, nullptr);
    LineTo(dc, 50, 50);
    gdi_delete_image_dc(dc);
    painter.end();
    EXPECT_EQ(page.pixel(15, 15), black);
    EXPECT_EQ(page.pixel(25, 50), black);
    EXPECT_EQ(page.pixel(25, 25), white);

    // A device with another resolution across than down: each direction
    // answers its own, and a page 10 inches each way is 254 mm each way.
    QImage sheet(100, 100, QImage::Format_RGB32);
    QPainter on_sheet(&sheet);
    HDC tall = gdi_create_painter_dc(&on_sheet, QSize(3000, 6000), 300, 600);
    EXPECT_EQ(GetDeviceCaps(tall, LOGPIXELSX), 300);
    EXPECT_EQ(GetDeviceCaps(tall, LOGPIXELSY), 600);
    EXPECT_EQ(GetDeviceCaps(tall, HORZRES), 3000);
    EXPECT_EQ(GetDeviceCaps(tall, VERTRES), 6000);
    EXPECT_EQ(GetDeviceCaps(tall, HORZSIZE), 254);
    EXPECT_EQ(GetDeviceCaps(tall, VERTSIZE), 254);
    gdi_delete_image_dc(tall);
    on_sheet.end();
}

TEST(GdiDevices, MemoryContextsAndTheirBitmaps) {
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateCompatibleBitmap(mem, 8, 8); // a fresh memory context is monochrome
    BITMAP info{};
    GetObject(mono, sizeof info, &info);
    EXPECT_EQ(info.bmBitsPixel, 1);
    HDC screen = gdi_create_screen_dc();
    HBITMAP colour = CreateCompatibleBitmap(screen, 8, 8);
    GetObject(colour, sizeof info, &info);
    EXPECT_EQ(info.bmBitsPixel, 32);
    HGDIOBJ first = SelectObject(mem, colour);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(DeleteObject(colour)); // selected: deleted when taken out
    EXPECT_EQ(SetPixel(mem, 1, 1, RGB(5, 6, 7)), RGB(5, 6, 7));
    EXPECT_EQ(GetPixel(mem, 1, 1), RGB(5, 6, 7));
    SelectObject(mem, mono);
    EXPECT_EQ(GetObjectType(colour), 0u);
    EXPECT_EQ(SetPixel(mem, 1, 1, RGB(200, 200, 200)), RGB(255, 255, 255)); // monochrome
    SelectObject(mem, first);
    DeleteObject(mono);
    DeleteDC(mem);
    gdi_delete_image_dc(screen);
    EXPECT_EQ(SelectObject(screen, GetStockObject(BLACK_PEN)), nullptr); // stale
}

TEST(GdiRegions, CombineAndHitTest) {
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 5, 20, 20);
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(r, a, b, RGN_AND), SIMPLEREGION);
    RECT box;
    GetRgnBox(r, &box);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.right, 10);
    EXPECT_EQ(CombineRgn(r, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(r, 19, 19));
    EXPECT_FALSE(PtInRegion(r, 20, 20));
    EXPECT_EQ(CombineRgn(r, a, a, RGN_DIFF), NULLREGION);
    HRGN poly;
    POINT tri[3] = {{0, 0}, {20, 0}, {0, 20}};
    poly = CreatePolygonRgn(tri, 3, ALTERNATE);
    EXPECT_TRUE(PtInRegion(poly, 2, 2));
    EXPECT_FALSE(PtInRegion(poly, 18, 18));
    for (HRGN h : {a, b, r, poly}) DeleteObject(h);
}

TEST(GdiPixels, SetAndGetPixelAndResourceBitmaps) {
    Canvas c;
    EXPECT_EQ(SetPixel(c.dc, 3, 4, RGB(9, 8, 7)), RGB(9, 8, 7));
    EXPECT_EQ(GetPixel(c.dc, 3, 4), RGB(9, 8, 7));
    EXPECT_EQ(GetPixel(c.dc, 300, 4), CLR_INVALID);
    QImage res(4, 4, QImage::Format_RGB32);
    res.fill(qRgb(1, 2, 3));
    gdi_register_bitmap(152, res, false);
    HBITMAP bm = LoadBitmap(nullptr, MAKEINTRESOURCE(152));
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(gdi_bitmap_image(bm).pixel(2, 2), qRgb(1, 2, 3));
    DeleteObject(bm);
    EXPECT_EQ(LoadBitmap(nullptr, MAKEINTRESOURCE(9999)), nullptr);
}

} // namespace

namespace {

// A context keeps its painter open across calls: copies, a second context on
// the same image, direct pixel access and a change of bitmap must all see the
// image as if each call had painted and finished on its own.
TEST(GdiPainterLifetime, CopiesAndOtherContextsSeeEachCallsResult) {
    Canvas c;
    RECT r{0, 0, 10, 10};
    FillRect(c.dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    QImage snap = c.img; // taken while the painter is open
    RECT r2{20, 20, 30, 30};
    FillRect(c.dc, &r2, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(snap.pixel(25, 25), white);
    EXPECT_EQ(c.at(25, 25), black);
    EXPECT_EQ(GetPixel(c.dc, 5, 5), RGB(0, 0, 0));

    HDC other = gdi_create_image_dc(&c.img, nullptr, QRegion());
    RECT r3{40, 40, 50, 50};
    for (int i = 0; i < 3; ++i) {
        FillRect(other, &r3, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        SetPixel(c.dc, 45 + i, 45, RGB(255, 0, 0));
        MoveToEx(c.dc, 0, 60 + i, nullptr);
        LineTo(c.dc, 64, 60 + i);
    }
    EXPECT_EQ(c.at(47, 45), qRgb(255, 0, 0));
    EXPECT_EQ(c.at(44, 44), qRgb(128, 128, 128));
    EXPECT_EQ(c.at(30, 61), black);
    gdi_delete_image_dc(other);
    c.img.fill(white); // the owner writes directly; drawing goes on after
    LineTo(c.dc, 0, 0);
    EXPECT_EQ(c.at(32, 31), black);
    EXPECT_EQ(c.at(47, 45), white);
}

TEST(GdiPainterLifetime, AClippedCallAfterATextIsClippedInDevicePixels) {
    // A text moves the painter to its origin; the next call's clip must not
    // move with it.
    QImage img(200, 100, QImage::Format_RGB32);
    img.fill(white);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 200, 100)));
    HFONT f = CreateFont(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    HGDIOBJ old = SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    TextOut(dc, 120, 60, "Kavrel", 6);
    RECT r{10, 10, 30, 30};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    POINT tri[3] = {{40, 10}, {60, 10}, {50, 30}};
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Polygon(dc, tri, 3);
    EXPECT_EQ(img.pixel(20, 20), black);
    EXPECT_EQ(img.pixel(50, 15), black);
    SelectObject(dc, old);
    DeleteObject(f);
    gdi_delete_image_dc(dc);
}

TEST(GdiPainterLifetime, MemoryContextFollowsItsBitmap) {
    HDC screen = gdi_create_screen_dc();
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP a = CreateCompatibleBitmap(screen, 16, 16);
    HBITMAP b = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(mem, a);
    RECT all{0, 0, 16, 16};
    FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SelectObject(mem, b);
    FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SelectObject(mem, a);
    MoveToEx(mem, 0, 8, nullptr);
    LineTo(mem, 16, 8);
    EXPECT_EQ(gdi_bitmap_image(a).pixel(4, 8), black);
    EXPECT_EQ(gdi_bitmap_image(a).pixel(4, 4), white);
    EXPECT_EQ(gdi_bitmap_image(b).pixel(4, 4), black);
    SelectObject(mem, old);
    DeleteObject(a); // not selected any more: really freed
    DeleteObject(b);
    DeleteDC(mem);
    gdi_delete_image_dc(screen);
}

} // namespace

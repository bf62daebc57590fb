// Drawing layer: device-independent bitmaps (packed DIBs of the sketch's
// pictures, pattern brushes, GetDIBits/SetDIBits).
#include "image_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <vector>

namespace {

// A packed DIB: header, colour table, rows (bottom-up unless top_down).
std::vector<BYTE> make_dib(int w, int h, int bpp, const std::vector<RGBQUAD>& colours,
                           const std::vector<BYTE>& rows, bool top_down = false,
                           DWORD compression = BI_RGB, const std::vector<DWORD>& masks = {}) {
    BITMAPINFOHEADER ih{};
    ih.biSize = 40;
    ih.biWidth = w;
    ih.biHeight = top_down ? -h : h;
    ih.biPlanes = 1;
    ih.biBitCount = static_cast<WORD>(bpp);
    ih.biCompression = compression;
    ih.biClrUsed = static_cast<DWORD>(colours.size());
    std::vector<BYTE> out(sizeof ih);
    std::memcpy(out.data(), &ih, sizeof ih);
    for (DWORD m : masks)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(m >> (8 * i)));
    for (const RGBQUAD& c : colours) {
        out.push_back(c.rgbBlue);
        out.push_back(c.rgbGreen);
        out.push_back(c.rgbRed);
        out.push_back(0);
    }
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

struct Canvas : ImageCanvas {
    Canvas(int w, int h) : ImageCanvas(w, h) {}
};

TEST(GdiDib, PaletteDibsStretchBottomUpAndTopDown) {
    // 2 x 2, 8 bits: bottom row first (red, green), then the top row (blue, white).
    std::vector<RGBQUAD> pal = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
    std::vector<BYTE> rows = {0, 1, 0, 0, 2, 3, 0, 0}; // rows padded to 4 bytes
    std::vector<BYTE> dib = make_dib(2, 2, 8, pal, rows);
    auto info = reinterpret_cast<const BITMAPINFO*>(dib.data());
    const BYTE* bits = dib.data() + 40 + 4 * pal.size();
    Canvas c(8, 8);
    EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 8, 8, 0, 0, 2, 2, bits, info, DIB_RGB_COLORS, SRCCOPY), 2);
    EXPECT_EQ(c.img.pixel(1, 1), qRgb(0, 0, 255));     // top left: blue
    EXPECT_EQ(c.img.pixel(6, 1), qRgb(255, 255, 255)); // top right: white
    EXPECT_EQ(c.img.pixel(1, 6), qRgb(255, 0, 0));     // bottom left: red
    EXPECT_EQ(c.img.pixel(6, 6), qRgb(0, 255, 0));

    // The same rows read top-down put red on top.
    std::vector<BYTE> td = make_dib(2, 2, 8, pal, rows, true);
    Canvas d(2, 2);
    StretchDIBits(d.dc, 0, 0, 2, 2, 0, 0, 2, 2, td.data() + 40 + 16,
                  reinterpret_cast<const BITMAPINFO*>(td.data()), DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(d.img.pixel(0, 0), qRgb(255, 0, 0));

    // A monochrome DIB used as a pattern brush.
    std::vector<BYTE> mono = make_dib(8, 1, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}}, {0xF0, 0, 0, 0});
    HBRUSH b = CreateDIBPatternBrushPt(mono.data(), DIB_RGB_COLORS);
    ASSERT_NE(b, nullptr);
    Canvas e(16, 2);
    RECT r{0, 0, 16, 2};
    FillRect(e.dc, &r, b);
    EXPECT_EQ(e.img.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(e.img.pixel(5, 1), qRgb(0, 0, 0));
    EXPECT_EQ(e.img.pixel(8, 0), qRgb(255, 255, 255));
    DeleteObject(b);
}

TEST(GdiDib, TrueColourAndBitfieldDibs) {
    // 24 bits, 1 x 1: blue, green, red bytes.
    std::vector<BYTE> d24 = make_dib(1, 1, 24, {}, {10, 20, 30, 0});
    Canvas c(1, 1);
    StretchDIBits(c.dc, 0, 0, 1, 1, 0, 0, 1, 1, d24.data() + 40,
                  reinterpret_cast<const BITMAPINFO*>(d24.data()), DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(c.img.pixel(0, 0), qRgb(30, 20, 10));
    // 16 bits 5-6-5 with colour masks: pure red.
    std::vector<BYTE> d16 =
        make_dib(1, 1, 16, {}, {0x00, 0xF8, 0, 0}, false, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});
    HBITMAP bm = CreateDIBitmap(nullptr, reinterpret_cast<const BITMAPINFOHEADER*>(d16.data()),
                                CBM_INIT, d16.data() + 52,
                                reinterpret_cast<const BITMAPINFO*>(d16.data()), DIB_RGB_COLORS);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(gdi_bitmap_image(bm).pixel(0, 0), qRgb(255, 0, 0));
    DeleteObject(bm);
}

TEST(GdiDib, GetAndSetDibitsRoundTrip) {
    HDC screen = gdi_create_screen_dc();
    HBITMAP bm = CreateCompatibleBitmap(screen, 3, 2);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bm);
    SetPixel(mem, 0, 0, RGB(1, 2, 3));
    SetPixel(mem, 2, 1, RGB(4, 5, 6));
    SelectObject(mem, old);
    BITMAPINFO info{};
    ASSERT_EQ(GetDIBits(screen, bm, 0, 2, nullptr, &info, DIB_RGB_COLORS), 2);
    EXPECT_EQ(info.bmiHeader.biWidth, 3);
    info.bmiHeader.biBitCount = 24;
    std::vector<BYTE> bits(2 * 12);
    ASSERT_EQ(GetDIBits(screen, bm, 0, 2, bits.data(), &info, DIB_RGB_COLORS), 2);
    // Bottom-up: the first row is the image's bottom row; pixel 2 of it is (4, 5, 6).
    EXPECT_EQ(bits[6], 6);
    EXPECT_EQ(bits[7], 5);
    EXPECT_EQ(bits[8], 4);
    EXPECT_EQ(bits[12 + 0], 3);
    HBITMAP copy = CreateCompatibleBitmap(screen, 3, 2);
    ASSERT_EQ(SetDIBits(screen, copy, 0, 2, bits.data(), &info, DIB_RGB_COLORS), 2);
    EXPECT_EQ(gdi_bitmap_image(copy), gdi_bitmap_image(bm));
    DeleteObject(bm);
    DeleteObject(copy);
    DeleteDC(mem);
    gdi_delete_image_dc(screen);
}

TEST(GdiDib, MalformedDibsAreRefused) {
    Canvas c(4, 4);
    std::vector<BYTE> d = make_dib(2, 2, 7, {}, std::vector<BYTE>(16, 0)); // no such depth
    EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 2, 2, 0, 0, 2, 2, d.data() + 40,
                            reinterpret_cast<const BITMAPINFO*>(d.data()), DIB_RGB_COLORS, SRCCOPY),
              0);
    std::vector<BYTE> huge = make_dib(100000, 100000, 24, {}, {});
    EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 2, 2, 0, 0, 2, 2, huge.data() + 40,
                            reinterpret_cast<const BITMAPINFO*>(huge.data()), DIB_RGB_COLORS,
                            SRCCOPY),
              0);
    EXPECT_EQ(CreateDIBPatternBrushPt(huge.data(), DIB_RGB_COLORS), nullptr);
    EXPECT_EQ(c.img.pixel(0, 0), 0xFFFFFFFFu);
}

} // namespace

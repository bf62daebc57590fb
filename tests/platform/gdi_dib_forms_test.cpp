// Bitmaps in the forms other programs store them: run-length coded rows with
// their moves, the older 12-byte header with three-byte colours, and rows
// read back top-down; regions combined the ways the paint code combines
// them; and what drawing objects say of themselves.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr QRgb white = 0xFFFFFFFFu;
constexpr QRgb red = 0xFFFF0000u;
constexpr QRgb blue = 0xFF0000FFu;

void put16(std::vector<BYTE>& v, unsigned x) {
    v.push_back(static_cast<BYTE>(x & 0xFF));
    v.push_back(static_cast<BYTE>(x >> 8));
}
void put32(std::vector<BYTE>& v, std::uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// A 40-byte header, a table of white, red, blue (four bytes each), and
// the coded bytes.
std::vector<BYTE> coded_dib(int w, int h, int bpp, DWORD compression,
                            const std::vector<BYTE>& code) {
    std::vector<BYTE> d;
    put32(d, 40);
    put32(d, static_cast<std::uint32_t>(w));
    put32(d, static_cast<std::uint32_t>(h));
    put16(d, 1);
    put16(d, static_cast<unsigned>(bpp));
    put32(d, compression);
    put32(d, static_cast<std::uint32_t>(code.size()));
    put32(d, 0);
    put32(d, 0);
    put32(d, 3); // colours used
    put32(d, 0);
    for (std::uint32_t c : {0x00FFFFFFu, 0x00FF0000u, 0x000000FFu}) put32(d, c); // 0RGB as BGR0
    d.insert(d.end(), code.begin(), code.end());
    return d;
}

// Draws a packed DIB one pixel a pixel into a white image.
QImage drawn(const std::vector<BYTE>& dib, std::size_t head, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(white);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    EXPECT_EQ(StretchDIBits(dc, 0, 0, w, h, 0, 0, w, h, dib.data() + head,
                            reinterpret_cast<const BITMAPINFO*>(dib.data()), DIB_RGB_COLORS,
                            SRCCOPY),
              h)
        << gdi_last_error();
    gdi_delete_image_dc(dc);
    return img;
}

std::vector<QRgb> row(const QImage& img, int y) {
    std::vector<QRgb> out;
    for (int x = 0; x < img.width(); ++x) out.push_back(img.pixel(x, y));
    return out;
}

TEST(DibForms, RunLengthRowsFollowTheirMovesRightThenUp) {
    // 4 x 3, 8 bits, coded from the bottom row: four red; end of row; a move
    // of 2 right and 1 up (to the top row's third pixel); two blue; end.
    const std::vector<BYTE> code = {4, 1, 0, 0, 0, 2, 2, 1, 2, 2, 0, 1};
    const QImage img = drawn(coded_dib(4, 3, 8, BI_RLE8, code), 52, 4, 3);
    EXPECT_EQ(row(img, 2), (std::vector<QRgb>{red, red, red, red}));
    EXPECT_EQ(row(img, 1), (std::vector<QRgb>{white, white, white, white})); // skipped
    EXPECT_EQ(row(img, 0), (std::vector<QRgb>{white, white, blue, blue}));

    // Four bits a pixel: a run's byte holds two colours taken in turn, and
    // literal pixels come two to a byte, padded to a whole word.
    const std::vector<BYTE> code4 = {5, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 1};
    const QImage img4 = drawn(coded_dib(5, 2, 4, BI_RLE4, code4), 52, 5, 2);
    EXPECT_EQ(row(img4, 1), (std::vector<QRgb>{red, blue, red, blue, red}));
    EXPECT_EQ(row(img4, 0), (std::vector<QRgb>{blue, red, blue, white, white}));
}

TEST(DibForms, TheTwelveByteHeaderHasThreeByteColours) {
    // 2 x 1, one bit a pixel: width, height, planes, depth as 16-bit words;
    // then blue and red as blue-green-red triples; then the row (0, 1).
    std::vector<BYTE> d;
    put32(d, 12);
    put16(d, 2);
    put16(d, 1);
    put16(d, 1);
    put16(d, 1);
    for (BYTE b : {255, 0, 0, 0, 0, 255}) d.push_back(b);
    for (BYTE b : {0x40, 0, 0, 0}) d.push_back(b);
    const QImage img = drawn(d, 18, 2, 1);
    EXPECT_EQ(img.pixel(0, 0), blue);
    EXPECT_EQ(img.pixel(1, 0), red);
}

TEST(DibForms, RowsAskedTopDownStartWithTheImagesTopRow) {
    HDC screen = gdi_create_screen_dc();
    HBITMAP bm = CreateCompatibleBitmap(screen, 2, 3);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bm);
    SetPixel(mem, 0, 0, RGB(10, 20, 30)); // top row
    SetPixel(mem, 1, 2, RGB(40, 50, 60)); // bottom row
    SelectObject(mem, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = -3;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<BYTE> bits(3 * 8, 0xEE);
    ASSERT_EQ(GetDIBits(screen, bm, 0, 3, bits.data(), &info, DIB_RGB_COLORS), 3);
    EXPECT_EQ(bits[0], 30); // blue, green, red of the top left pixel
    EXPECT_EQ(bits[1], 20);
    EXPECT_EQ(bits[2], 10);
    EXPECT_EQ(bits[16 + 4], 60); // the last row's second pixel
    EXPECT_EQ(bits[16 + 6], 40);
    DeleteObject(bm);
    DeleteDC(mem);
    gdi_delete_image_dc(screen);
}

TEST(Regions, CombinedTheFourWaysAndBoxedWithoutTheirLastPixels) {
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 0, 15, 10);
    HRGN d = CreateRectRgn(0, 0, 0, 0);
    RECT box{};
    // What is in a and not in b: the left half of a.
    EXPECT_EQ(CombineRgn(d, a, b, RGN_DIFF), SIMPLEREGION);
    EXPECT_EQ(GetRgnBox(d, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 5);
    EXPECT_EQ(box.bottom, 10);
    EXPECT_TRUE(PtInRegion(d, 4, 5));
    EXPECT_FALSE(PtInRegion(d, 5, 5));
    EXPECT_FALSE(PtInRegion(d, 12, 5));

    EXPECT_EQ(CombineRgn(d, a, b, RGN_AND), SIMPLEREGION);
    GetRgnBox(d, &box);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.right, 10);
    EXPECT_EQ(CombineRgn(d, a, b, RGN_OR), SIMPLEREGION);
    GetRgnBox(d, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 15);
    // Either but not both: two pieces with a hole between them.
    EXPECT_EQ(CombineRgn(d, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(d, 2, 2));
    EXPECT_FALSE(PtInRegion(d, 7, 2));
    EXPECT_TRUE(PtInRegion(d, 12, 2));
    // Nothing left.
    EXPECT_EQ(CombineRgn(d, a, a, RGN_DIFF), NULLREGION);
    EXPECT_EQ(GetRgnBox(d, &box), NULLREGION);
    EXPECT_EQ(box.right, 0);

    // Moved, compared and tested against rectangles.
    EXPECT_EQ(CombineRgn(d, a, nullptr, RGN_COPY), SIMPLEREGION);
    EXPECT_TRUE(EqualRgn(d, a));
    EXPECT_EQ(OffsetRgn(d, 3, -2), SIMPLEREGION);
    GetRgnBox(d, &box);
    EXPECT_EQ(box.left, 3);
    EXPECT_EQ(box.top, -2);
    EXPECT_EQ(box.right, 13);
    EXPECT_EQ(box.bottom, 8);
    EXPECT_FALSE(EqualRgn(d, a));
    const RECT touching{13, 0, 20, 5}, inside{12, 7, 20, 9};
    EXPECT_FALSE(RectInRegion(d, &touching));
    EXPECT_TRUE(RectInRegion(d, &inside));
    DeleteObject(a);
    DeleteObject(b);
    DeleteObject(d);
}

// Device bitmaps keep rows of whole 16-bit words; a two-colour bitmap ten
// pixels wide takes two bytes a row, a colour one four bytes a pixel.
TEST(GdiObjects, BitmapsTellTheirRowBytesAndHatchesOutsideTheSixAreRefused) {
    const BYTE rows[2 * 2] = {0xFF, 0xC0, 0x00, 0x00};
    HBITMAP mono = CreateBitmap(10, 2, 1, 1, rows);
    BITMAP bm{};
    ASSERT_EQ(GetObject(mono, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 10);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidthBytes, 2);
    HDC screen = gdi_create_screen_dc();
    HBITMAP colour = CreateCompatibleBitmap(screen, 3, 2);
    ASSERT_EQ(GetObject(colour, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidthBytes, 12);
    DeleteObject(mono);
    DeleteObject(colour);
    gdi_delete_image_dc(screen);

    // Horizontal (0) to diagonal cross (5) are the hatches there are.
    HBRUSH last = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 0));
    EXPECT_NE(last, nullptr);
    DeleteObject(last);
    EXPECT_EQ(CreateHatchBrush(HS_DIAGCROSS + 1, RGB(0, 0, 0)), nullptr);
    EXPECT_NE(std::string(gdi_last_error()).find("hatch"), std::string::npos);
    EXPECT_EQ(CreateHatchBrush(-1, RGB(0, 0, 0)), nullptr);
}

// A device bitmap's bits come top row first, four bytes a pixel (blue,
// green, red, unused), and no more than the buffer holds.
TEST(GdiObjects, BitmapBitsComeTopRowFirst) {
    HDC screen = gdi_create_screen_dc();
    HBITMAP bm = CreateCompatibleBitmap(screen, 2, 2);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bm);
    SetPixel(mem, 0, 0, RGB(10, 20, 30));
    SetPixel(mem, 1, 1, RGB(40, 50, 60));
    SelectObject(mem, old);
    std::vector<BYTE> bits(16, 0xEE);
    EXPECT_EQ(GetBitmapBits(bm, 16, bits.data()), 16);
    EXPECT_EQ(bits[0], 30);
    EXPECT_EQ(bits[1], 20);
    EXPECT_EQ(bits[2], 10);
    EXPECT_EQ(bits[12], 60);
    EXPECT_EQ(bits[14], 40);
    std::vector<BYTE> part(6, 0xEE);
    EXPECT_EQ(GetBitmapBits(bm, 6, part.data()), 6);
    EXPECT_EQ(part[0], 30);
    DeleteObject(bm);
    DeleteDC(mem);
    gdi_delete_image_dc(screen);
}

// Rows set into a bitmap a few at a time: the buffer holds just those rows
// (numbered from the bottom), and nothing past it is read.
TEST(DibForms, RowsSetPartlyComeFromABufferOfJustThoseRows) {
    HDC screen = gdi_create_screen_dc();
    HBITMAP bm = CreateCompatibleBitmap(screen, 2, 3);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bm);
    PatBlt(mem, 0, 0, 2, 3, WHITENESS);
    SelectObject(mem, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = 3; // the whole bitmap's rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    // One row, the second from the bottom: blue, then red (blue-green-red-unused).
    const std::vector<BYTE> row = {255, 0, 0, 0, 0, 0, 255, 0};
    auto heap_row = std::make_unique<BYTE[]>(row.size()); // exactly one row to read
    std::memcpy(heap_row.get(), row.data(), row.size());
    EXPECT_EQ(SetDIBits(screen, bm, 1, 1, heap_row.get(), &info, DIB_RGB_COLORS), 1);
    const QImage img = gdi_bitmap_image(bm);
    EXPECT_EQ(img.pixel(0, 1), blue);
    EXPECT_EQ(img.pixel(1, 1), red);
    EXPECT_EQ(img.pixel(0, 0), white); // the top row
    EXPECT_EQ(img.pixel(1, 2), white); // the bottom row
    // More rows asked than the bitmap has: only what there is.
    std::vector<BYTE> all(3 * 8, 0);
    EXPECT_EQ(SetDIBits(screen, bm, 0, 5, all.data(), &info, DIB_RGB_COLORS), 3);
    EXPECT_EQ(gdi_bitmap_image(bm).pixel(0, 0), 0xFF000000u);
    DeleteObject(bm);
    DeleteDC(mem);
    gdi_delete_image_dc(screen);
}

} // namespace

// What an enhanced metafile's bytes say of themselves: the reference device
// of a picture made without one, the bounds each polyline and polygon record
// carries, and a picture read from bytes keeping exactly its declared length.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

std::uint32_t u32(const std::vector<BYTE>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::int32_t i32(const std::vector<BYTE>& b, std::size_t at) {
    return static_cast<std::int32_t>(u32(b, at));
}

std::vector<BYTE> bits(HENHMETAFILE emf) {
    std::vector<BYTE> b(GetEnhMetaFileBits(emf, 0, nullptr));
    EXPECT_EQ(GetEnhMetaFileBits(emf, static_cast<UINT>(b.size()), b.data()), b.size());
    return b;
}

// Offsets of the records of the given type, walking the record sizes.
std::vector<std::size_t> records_of(const std::vector<BYTE>& b, std::uint32_t type) {
    std::vector<std::size_t> at;
    std::size_t p = 0;
    while (p + 8 <= b.size()) {
        const std::uint32_t t = u32(b, p), n = u32(b, p + 4);
        if (n < 8 || p + n > b.size()) break;
        if (t == type) at.push_back(p);
        p += n;
    }
    return at;
}

// Without a reference device the picture's reference is the screen: its
// size in pixels and, at the screen's resolution, in millimetres, each axis
// its own.
TEST(MetafileHeader, APictureWithoutAReferenceIsMeasuredOnTheScreen) {
    HDC screen = gdi_create_screen_dc();
    ASSERT_NE(screen, nullptr);
    const int px_w = GetDeviceCaps(screen, HORZRES), px_h = GetDeviceCaps(screen, VERTRES);
    const int dpi_x = GetDeviceCaps(screen, LOGPIXELSX), dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
    gdi_delete_image_dc(screen);

    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edc, nullptr);
    Rectangle(edc, 0, 0, 96, 48);
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_NE(emf, nullptr);
    ENHMETAHEADER h{};
    ASSERT_EQ(GetEnhMetaFileHeader(emf, sizeof h, &h), 108u);
    EXPECT_EQ(h.szlDevice.cx, px_w);
    EXPECT_EQ(h.szlDevice.cy, px_h);
    EXPECT_NEAR(h.szlMillimeters.cx, px_w * 25.4 / dpi_x, 1.0);
    EXPECT_NEAR(h.szlMillimeters.cy, px_h * 25.4 / dpi_y, 1.0);
    // 96 by 48 pixels at 96 to the inch: an inch by half an inch, in
    // hundredths of a millimetre (within a pixel's rounding of the
    // millimetre sizes).
    if (dpi_x == 96 && dpi_y == 96) {
        EXPECT_NEAR(h.rclFrame.right - h.rclFrame.left, 2540, 30);
        EXPECT_NEAR(h.rclFrame.bottom - h.rclFrame.top, 1270, 30);
    }
    DeleteEnhMetaFile(emf);
}

// A polyline's and a polygon's records carry the box of their points in
// device units (left, top, right, bottom, inclusive), then the count and
// the points.
TEST(MetafileHeader, PolylineAndPolygonRecordsCarryTheBoxOfTheirPoints) {
    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edc, nullptr);
    const POINT line[3] = {{10, 20}, {70, 25}, {40, 90}};
    const POINT shape[4] = {{100, 5}, {130, 15}, {125, 60}, {105, 40}};
    ASSERT_TRUE(Polyline(edc, line, 3));
    ASSERT_TRUE(Polygon(edc, shape, 4));
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_NE(emf, nullptr);
    const std::vector<BYTE> b = bits(emf);

    struct Expect {
        std::uint32_t type;
        const POINT* pts;
        int n;
        RECT box;
    } cases[] = {{emr::POLYLINE, line, 3, {10, 20, 70, 90}},
                 {emr::POLYGON, shape, 4, {100, 5, 130, 60}}};
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.type);
        const std::vector<std::size_t> at = records_of(b, e.type);
        ASSERT_EQ(at.size(), 1u);
        const std::size_t p = at[0];
        EXPECT_EQ(u32(b, p + 4), 8u + 16u + 4u + 8u * static_cast<std::uint32_t>(e.n));
        EXPECT_EQ(i32(b, p + 8), e.box.left);
        EXPECT_EQ(i32(b, p + 12), e.box.top);
        EXPECT_EQ(i32(b, p + 16), e.box.right);
        EXPECT_EQ(i32(b, p + 20), e.box.bottom);
        ASSERT_EQ(u32(b, p + 24), static_cast<std::uint32_t>(e.n));
        for (int i = 0; i < e.n; ++i) {
            EXPECT_EQ(i32(b, p + 28 + 8 * i), e.pts[i].x);
            EXPECT_EQ(i32(b, p + 32 + 8 * i), e.pts[i].y);
        }
    }
    DeleteEnhMetaFile(emf);
}

// Bytes given with something after the picture: the picture keeps the
// length its header declares, and gives back just those bytes.
TEST(MetafileHeader, BytesPastTheDeclaredLengthAreNotPartOfThePicture) {
    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edc, nullptr);
    Rectangle(edc, 5, 5, 40, 30);
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_NE(emf, nullptr);
    std::vector<BYTE> b = bits(emf);
    DeleteEnhMetaFile(emf);
    const std::uint32_t declared = u32(b, 48);
    ASSERT_EQ(declared, b.size());
    std::vector<BYTE> padded = b;
    padded.insert(padded.end(), 64, 0xAB);
    HENHMETAFILE back = SetEnhMetaFileBits(static_cast<UINT>(padded.size()), padded.data());
    ASSERT_NE(back, nullptr) << gdi_last_error();
    EXPECT_EQ(GetEnhMetaFileBits(back, 0, nullptr), declared);
    EXPECT_EQ(bits(back), b);
    DeleteEnhMetaFile(back);
}

} // namespace

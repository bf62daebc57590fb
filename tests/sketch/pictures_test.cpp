// Stored pictures are checked against their own size before their header is
// believed; a picture that fails is drawn as its box only.
#include <cstring>

#include "sketch/pictures.h"
#include "sketch/views.h"
#include "tests/sketch/sketch_fixture.h"
#include "tests/support/view_layout.h"

namespace {

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}
void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    std::memcpy(b.data() + at, &v, 2);
}

// A size word and a BMP file image: width x height at bits per pixel with a
// full colour table.
std::vector<std::uint8_t> bmp(int width, int height, int bits) {
    int colours = bits <= 8 ? 1 << bits : 0;
    std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    std::size_t off = 14 + 40 + 4 * static_cast<std::size_t>(colours);
    std::vector<std::uint8_t> b(4 + off + stride * static_cast<std::size_t>(height));
    put32(b, 0, static_cast<std::uint32_t>(b.size()));
    b[4] = 'B', b[5] = 'M';
    put32(b, 4 + 10, static_cast<std::uint32_t>(off));
    put32(b, 4 + 14, 40);
    put32(b, 4 + 18, static_cast<std::uint32_t>(width));
    put32(b, 4 + 22, static_cast<std::uint32_t>(height));
    put16(b, 4 + 26, 1);
    put16(b, 4 + 28, static_cast<std::uint16_t>(bits));
    return b;
}

TEST(Pictures, BitmapHeadersAreCheckedAgainstTheStoredSize) {
    bitmap_info bi;
    ASSERT_TRUE(check_bitmap(bmp(4, 2, 8), &bi));
    EXPECT_EQ(bi.width, 4);
    EXPECT_EQ(bi.height, 2);
    EXPECT_EQ(bi.colours, 256);
    EXPECT_EQ(bi.pixels, 4u + 14 + 40 + 1024);
    EXPECT_TRUE(check_bitmap(bmp(3, 3, 24), &bi));
    EXPECT_EQ(bi.pixel_bytes, 12u * 3);

    auto broken = [](auto change) {
        std::vector<std::uint8_t> b = bmp(4, 2, 8);
        change(b);
        return check_bitmap(b, nullptr);
    };
    // A colour count past what the depth allows.
    EXPECT_FALSE(broken([](auto& b) { put32(b, 4 + 46, 300); }));
    // A bit count no bitmap has.
    EXPECT_FALSE(broken([](auto& b) { put16(b, 4 + 28, 7); }));
    // Run-length coding on the wrong depth.
    EXPECT_FALSE(broken([](auto& b) {
        put16(b, 4 + 28, 24);
        put32(b, 4 + 30, 1);
    }));
    // Bits cut short, and a size word claiming more than is stored.
    EXPECT_FALSE(broken([](auto& b) { b.resize(b.size() - 1); }));
    EXPECT_FALSE(broken([](auto& b) {
        b.resize(b.size() - 4);
        put32(b, 0, static_cast<std::uint32_t>(b.size() + 4));
    }));
    // Bits said to start past the end, a table that overlaps them.
    EXPECT_FALSE(broken([](auto& b) { put32(b, 4 + 10, 0xFFFFFFF0u); }));
    EXPECT_FALSE(broken([](auto& b) { put32(b, 4 + 10, 20); }));
    // Sizes of 0 and an info header longer than the picture.
    EXPECT_FALSE(broken([](auto& b) { put32(b, 4 + 22, 0); }));
    EXPECT_FALSE(broken([](auto& b) { put32(b, 4 + 14, 0x7FFFFFFF); }));
    EXPECT_FALSE(broken([](auto& b) { b[5] = 'X'; }));
    EXPECT_FALSE(check_bitmap({}, nullptr));
    // A huge width does not wrap the row size.
    EXPECT_FALSE(broken([](auto& b) { put32(b, 4 + 18, 0x7FFFFFFF); }));
}

// A negative height stores the rows top-down; run-length coding is only for
// rows stored bottom-up, 8 bits per pixel for one kind and 4 for the other.
TEST(Pictures, RowOrderAndRunLengthCodingFollowTheHeight) {
    bitmap_info bi;
    std::vector<std::uint8_t> b = bmp(2, 2, 32);
    ASSERT_TRUE(check_bitmap(b, &bi));
    EXPECT_TRUE(bi.bottom_up);
    EXPECT_EQ(bi.pixel_bytes, 16u);
    put32(b, 4 + 22, static_cast<std::uint32_t>(-2));
    ASSERT_TRUE(check_bitmap(b, &bi));
    EXPECT_FALSE(bi.bottom_up);
    EXPECT_EQ(bi.height, 2);
    EXPECT_EQ(bi.colours, 0);

    // 4 bits, run-length coded in 6 bytes: kept bottom-up, refused top-down.
    std::vector<std::uint8_t> rle = bmp(4, 2, 4);
    put32(rle, 4 + 30, 2);
    put32(rle, 4 + 34, 6);
    ASSERT_TRUE(check_bitmap(rle, &bi));
    EXPECT_EQ(bi.compression, 2);
    EXPECT_EQ(bi.colours, 16);
    EXPECT_EQ(bi.pixel_bytes, 6u);
    put32(rle, 4 + 22, static_cast<std::uint32_t>(-2));
    EXPECT_FALSE(check_bitmap(rle, nullptr));
    // The same coding of 8-bit rows is the other kind's.
    std::vector<std::uint8_t> rle8 = bmp(4, 2, 8);
    put32(rle8, 4 + 30, 2);
    put32(rle8, 4 + 34, 6);
    EXPECT_FALSE(check_bitmap(rle8, nullptr));
    put32(rle8, 4 + 30, 1);
    EXPECT_TRUE(check_bitmap(rle8, nullptr));
    put32(rle8, 4 + 22, static_cast<std::uint32_t>(-2));
    EXPECT_FALSE(check_bitmap(rle8, nullptr));
}

TEST(Pictures, MetafileHeadersOfBothForms) {
    std::vector<std::uint8_t> b(40);
    put32(b, 0, 40);
    put32(b, 4, 8);
    put32(b, 8, 2000);
    put32(b, 12, 1000);
    metafile_info mi;
    ASSERT_TRUE(check_metafile(b, &mi));
    EXPECT_EQ(mi.bits, 20u);
    EXPECT_EQ(mi.bytes, 20u);
    EXPECT_EQ(mi.x_extent, 2000);
    // The older 16-bit header.
    std::vector<std::uint8_t> old(30);
    put32(old, 0, 30);
    put16(old, 4, 8);
    put16(old, 6, 300);
    put16(old, 8, 200);
    ASSERT_TRUE(check_metafile(old, &mi));
    EXPECT_EQ(mi.bits, 12u);
    EXPECT_EQ(mi.y_extent, 200);
    // Out-of-range values in both forms: no picture.
    put32(b, 4, 11);
    put16(b, 4, 11);
    EXPECT_FALSE(check_metafile(b, nullptr));
    put16(old, 6, 32000);
    EXPECT_FALSE(check_metafile(old, nullptr));
    // An extent of zero in either direction is no picture.
    put16(old, 6, 300);
    put16(old, 8, 0);
    EXPECT_FALSE(check_metafile(old, nullptr));
    put16(old, 8, 31999);
    EXPECT_TRUE(check_metafile(old, nullptr));
    put16(old, 6, 0);
    EXPECT_FALSE(check_metafile(old, nullptr));
}

class PictureSizes : public SketchTest {};

TEST_F(PictureSizes, ABitmapIsSizedByItsHeaderOrDrawnAsABoxOnly) {
    int good = add_sketch_element(s.view, ek_bitmap, 0, 0, 0, 3, 0, 0);
    el(good).blob = bmp(40, 30, 24);
    element_size(s, good, 0);
    EXPECT_EQ(el(good).w, 20);
    EXPECT_EQ(el(good).h, 15);
    int bad = add_sketch_element(s.view, ek_bitmap, 0, 0, 0, 3, 0, 0);
    el(bad).blob = bmp(40, 30, 24);
    el(bad).blob.resize(100);
    element_size(s, bad, 0);
    EXPECT_EQ(el(bad).w, 3); // the 6 x 6 box
    // Round: the circumscribed circle.
    int round = add_sketch_element(s.view, ek_bitmap, 0, 0, 0, 2, 0, 0);
    el(round).blob = bmp(30, 40, 24);
    element_size(s, round, 0);
    EXPECT_EQ(el(round).w, 26);
}

} // namespace

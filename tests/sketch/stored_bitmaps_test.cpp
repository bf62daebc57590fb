// Stored bitmaps of every kind a model may carry, written into a model file by
// the model store's writer, read back by its reader and painted: run-length
// coded (8 and 4 bits, including a huge one with almost no coded data), bit
// fields after a 44-byte header, the OS/2 core header, and damaged ones that
// show their box.
#include <gtest/gtest.h>

#include <optional>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "draw/drawing.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "sketch/drawsketch.h"
#include "sketch/views.h"
#include "tests/driver/driver.h"
#include "tests/sketch/pictures_fixture.h"
#include "tests/sketch/sketch_fixture.h"
#include "tests/support/view_layout.h"

namespace {

constexpr int W = 700, H = 200;
constexpr COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255), green = RGB(0, 160, 0);

using bytes = std::vector<std::uint8_t>;

void add32(bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void add16(bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// A 40-byte information header (longer with zero padding when size says so).
bytes info_header(int w, int h, int bpp, std::uint32_t compression, std::uint32_t coded,
                  std::uint32_t colours, std::uint32_t size = 40) {
    bytes b;
    add32(b, size);
    add32(b, static_cast<std::uint32_t>(w));
    add32(b, static_cast<std::uint32_t>(h));
    add16(b, 1);
    add16(b, static_cast<std::uint16_t>(bpp));
    add32(b, compression);
    add32(b, coded);
    add32(b, 0);
    add32(b, 0);
    add32(b, colours);
    add32(b, 0);
    b.resize(size, 0);
    return b;
}

// The OS/2 core header: 16-bit sides.
bytes core_header(int w, int h, int bpp) {
    bytes b;
    add32(b, 12);
    add16(b, static_cast<std::uint16_t>(w));
    add16(b, static_cast<std::uint16_t>(h));
    add16(b, 1);
    add16(b, static_cast<std::uint16_t>(bpp));
    return b;
}

// Colour table entries (blue, green, red and, unless core, a spare byte).
bytes table(const std::vector<COLORREF>& colours, bool core = false) {
    bytes b;
    for (COLORREF c : colours) {
        b.push_back(GetBValue(c));
        b.push_back(GetGValue(c));
        b.push_back(GetRValue(c));
        if (!core) b.push_back(0);
    }
    return b;
}

// A kind-30 block: its size, then a BMP file image.
bytes picture(const bytes& header, const bytes& colours, const bytes& bits) {
    const std::uint32_t file =
        static_cast<std::uint32_t>(14 + header.size() + colours.size() + bits.size());
    bytes b;
    add32(b, 4 + file);
    b.push_back('B');
    b.push_back('M');
    add32(b, file);
    add32(b, 0);
    add32(b, static_cast<std::uint32_t>(14 + header.size() + colours.size()));
    b.insert(b.end(), header.begin(), header.end());
    b.insert(b.end(), colours.begin(), colours.end());
    b.insert(b.end(), bits.begin(), bits.end());
    return b;
}

// 4 x 4 in quadrants, rows from the bottom: the lower half red then blue,
// the upper half blue then red.
const bytes rle8_quadrants = {
    2, 0, 2, 1, 0, 0,       // row 0: two red, two blue (coded runs)
    2, 0, 2, 1, 0, 0,       // row 1
    0, 4, 1, 1, 0, 0, 0, 0, // row 2: four literal pixels
    0, 4, 1, 1, 0, 0, 0, 1, // row 3, then the end of the bitmap
};
const bytes rle4_quadrants = {
    2,    0x00, 2,    0x11, 0, 0, // row 0: runs of one nibble pair each
    4,    0x01, 0,    0,          // row 1: 0 1 0 1 alternating, ended
    0,    4,    0x11, 0x00, 0, 0, // row 2: four literal nibbles, one word
    0x02, 0x11, 0x02, 0x00, 0, 1, // row 3 and the end
};

class StoredBitmaps : public SketchTest {
protected:
    void SetUp() override {
        SketchTest::SetUp();
        test_driver::start();
        b_.constant("k", 1);
        ASSERT_TRUE(b_.finish());
        view_layout v(b_, "Pictures");
        const std::vector<COLORREF> two = {red, blue};
        rle8_ = v.picture(ek_bitmap,
                          picture(info_header(4, 4, 8, BI_RLE8,
                                              static_cast<std::uint32_t>(rle8_quadrants.size()), 2),
                                  table(two), rle8_quadrants),
                          40, 50, 30, 30);
        rle4_ = v.picture(ek_bitmap,
                          picture(info_header(4, 4, 4, BI_RLE4,
                                              static_cast<std::uint32_t>(rle4_quadrants.size()), 2),
                                  table(two), rle4_quadrants),
                          120, 50, 30, 30);
        // Three thousand pixels a side from two bytes: the end mark alone.
        huge_ = v.picture(
            ek_bitmap,
            picture(info_header(3000, 3000, 8, BI_RLE8, 2, 2), table({green, red}), {0, 1}), 200,
            50, 30, 30);
        // 16-bit 5-6-5 pixels, the masks after a 44-byte header; one
        // pixel of pure red.
        bytes masks;
        add32(masks, 0xF800);
        add32(masks, 0x07E0);
        add32(masks, 0x001F);
        fields_ = v.picture(
            ek_bitmap,
            picture(info_header(1, 1, 16, BI_BITFIELDS, 4, 0, 44), masks, {0x00, 0xF8, 0, 0}), 280,
            50, 30, 30);
        // The core header, 8 bits with a whole table of 3-byte colours: blue
        // below, red above.
        std::vector<COLORREF> all(256, green);
        all[0] = red;
        all[1] = blue;
        core_ = v.picture(ek_bitmap,
                          picture(core_header(2, 2, 8), table(all, true), {1, 1, 0, 0, 0, 0, 0, 0}),
                          360, 50, 30, 30);
        // Literal pixels running past the coded size: refused, the box stays.
        cut_ = v.picture(ek_bitmap,
                         picture(info_header(4, 4, 8, BI_RLE8, 4, 2), table(two), {0, 8, 1, 1}),
                         440, 50, 30, 30);
        // Run-length coding with no coded size at all.
        no_size_ =
            v.picture(ek_bitmap, picture(info_header(4, 4, 8, BI_RLE8, 0, 2), table(two), {0, 1}),
                      520, 50, 30, 30);
        metafile_ =
            v.picture(ek_metafile, sketch_pictures::filled_metafile(green), 600, 50, 30, 30);
        // Second row: the plain kinds. 1 bit: red left, blue right (one row).
        mono_ = v.picture(ek_bitmap,
                          picture(info_header(2, 1, 1, BI_RGB, 0, 2), table(two), {0x40, 0, 0, 0}),
                          40, 130, 30, 30);
        // 4 bits, stored top-down: blue above, red below.
        nibbles_ = v.picture(ek_bitmap,
                             picture(info_header(1, -2, 4, BI_RGB, 0, 2), table(two),
                                     {0x10, 0, 0, 0, 0x00, 0, 0, 0}),
                             120, 130, 30, 30);
        // 24 bits: one green pixel.
        deep_ =
            v.picture(ek_bitmap, picture(info_header(1, 1, 24, BI_RGB, 0, 0), {}, {0, 160, 0, 0}),
                      200, 130, 30, 30);
        // 32 bits with the masks inside a 108-byte header: blue in the low byte.
        bytes v4 = info_header(1, 1, 32, BI_BITFIELDS, 4, 0, 108);
        const std::uint32_t v4_masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
        std::memcpy(v4.data() + 40, v4_masks, sizeof v4_masks);
        v4_ = v.picture(ek_bitmap, picture(v4, {}, {255, 0, 0, 0}), 280, 130, 30, 30);
        // Written and read back as a file, as the viewer opens it.
        path_ = testing::TempDir() + "stored_bitmaps.kmf";
        ASSERT_EQ(b_.write(path_.c_str()), 1);
        std::ifstream in(path_, std::ios::binary);
        const bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        model_ = read_model_bytes(file.data(), file.size(), path_.c_str());
        ASSERT_NE(model_.symbols, 0u);
        s.symbols = model_.symbols;
        s.header = model_.header;
        ASSERT_GE(load_view(s, 0, 0, false, 0, false), 0);
        saved_symbols_ = cur_model_symbols;
        cur_model_symbols = s.symbols;
        canvas_.emplace(W, H);
        dc_ = canvas_->dc();
        paint_sketch(dc_, s, RECT{0, 0, W, H});
    }
    void TearDown() override {
        cur_model_symbols = saved_symbols_;
        canvas_.reset();
        dc_ = nullptr;
        s.view = working_view{};
        if (model_.symbols) free_model(model_.header, model_.symbols);
        test_driver::reset();
        SketchTest::TearDown();
    }
    RECT box(int n) {
        const sketch_elem& x = el(n);
        return RECT{x.x - x.w, x.y - x.h, x.x + x.w, x.y + x.h};
    }
    // The colour at a fraction of the picture's box.
    COLORREF at(int n, double fx, double fy) {
        const RECT r = box(n);
        return GetPixel(dc_, r.left + static_cast<int>((r.right - r.left) * fx),
                        r.top + static_cast<int>((r.bottom - r.top) * fy));
    }
    // Dark pixels on the box's outline and inside it.
    int outline(int n) {
        const RECT r = box(n);
        int dark = 0;
        for (int x = r.left; x <= r.right; ++x)
            dark += (GetPixel(dc_, x, r.top) & 0xFFFFFF) == 0 ? 1 : 0;
        return dark;
    }
    model_builder b_{"pictures"};
    std::string path_;
    model_pair model_{};
    handle saved_symbols_ = 0;
    std::optional<memory_canvas> canvas_; // the colour surface painted on
    HDC dc_ = nullptr;
    int rle8_ = 0, rle4_ = 0, huge_ = 0, fields_ = 0, core_ = 0, cut_ = 0, no_size_ = 0;
    int metafile_ = 0, mono_ = 0, nibbles_ = 0, deep_ = 0, v4_ = 0;
};

TEST_F(StoredBitmaps, RunLengthCodedBitmapsShowTheirPixels) {
    for (int n : {rle8_, rle4_}) {
        SCOPED_TRACE(n == rle8_ ? "8 bits" : "4 bits");
        EXPECT_EQ(at(n, 0.25, 0.75), red);
        EXPECT_EQ(at(n, 0.75, 0.75), blue);
        EXPECT_EQ(at(n, 0.25, 0.25), blue);
        EXPECT_EQ(at(n, 0.75, 0.25), red);
    }
    // Row 1 of the 4-bit picture alternates red and blue.
    EXPECT_EQ(at(rle4_, 0.125, 0.625), red);
    EXPECT_EQ(at(rle4_, 0.375, 0.625), blue);
    // A huge bitmap of two coded bytes: its first colour, no more read.
    EXPECT_EQ(at(huge_, 0.5, 0.5), green);
}

TEST_F(StoredBitmaps, BitFieldsAfterALongerHeaderCoreHeadersAndMetafilesDraw) {
    EXPECT_EQ(at(fields_, 0.5, 0.5), red);
    EXPECT_EQ(at(metafile_, 0.5, 0.5), green);
    EXPECT_EQ(at(core_, 0.5, 0.75), blue);
    EXPECT_EQ(at(core_, 0.5, 0.25), red);
}

TEST_F(StoredBitmaps, PlainBitmapsOfEveryDepthDraw) {
    EXPECT_EQ(at(mono_, 0.25, 0.5), red);
    EXPECT_EQ(at(mono_, 0.75, 0.5), blue);
    EXPECT_EQ(at(nibbles_, 0.5, 0.25), blue);
    EXPECT_EQ(at(nibbles_, 0.5, 0.75), red);
    EXPECT_EQ(at(deep_, 0.5, 0.5), green);
    EXPECT_EQ(at(v4_, 0.5, 0.5), blue);
}

TEST_F(StoredBitmaps, DamagedBitmapsShowTheirBox) {
    for (int n : {cut_, no_size_}) {
        EXPECT_GT(outline(n), 40) << n;
        EXPECT_EQ(at(n, 0.5, 0.5) & 0xFFFFFF, 0xFFFFFFu) << n;
    }
}

} // namespace

// The pictures read back and saved again give the very bytes first written:
// what a file says of an element's picture does not depend on where the
// picture lay in memory.
TEST_F(StoredBitmaps, SavingTheReadBackPicturesAgainGivesTheSameFile) {
    const std::string again_dir = testing::TempDir() + "stored_bitmaps_again";
    std::filesystem::create_directories(again_dir);
    const std::string again = again_dir + "/stored_bitmaps.kmf";
    ASSERT_EQ(write_model_file(again.c_str(), model_.header, model_.symbols), 1);
    auto bytes_of = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    };
    const bytes first = bytes_of(path_), second = bytes_of(again);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_TRUE(first == second);
    std::filesystem::remove_all(again_dir);
}

// Windows metafiles put together record by record from the format's layout,
// as other programs write them: records our own recorder never writes (region
// frames, extent scaling) and pictures that reach past their own state are
// played into an image and checked pixel by pixel.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

#include <initializer_list>
#include <vector>

namespace {

constexpr QRgb white = 0xFFFFFFFFu;
constexpr QRgb black = 0xFF000000u;

// A metafile in memory: the 18-byte header, then records of a size in words,
// a function number and 16-bit parameters.
struct Wmf {
    std::vector<WORD> words;
    WORD objects = 0;
    DWORD longest = 3;

    void record(WORD function, std::initializer_list<int> params) {
        const DWORD size = 3 + static_cast<DWORD>(params.size());
        words.push_back(static_cast<WORD>(size & 0xFFFF));
        words.push_back(static_cast<WORD>(size >> 16));
        words.push_back(function);
        for (int p : params) words.push_back(static_cast<WORD>(p));
        longest = std::max(longest, size);
    }
    // A solid brush of `colour` (a 16-bit brush: style, colour, hatch).
    void solid_brush(COLORREF colour) {
        record(wmf::CREATEBRUSHINDIRECT,
               {BS_SOLID, static_cast<int>(colour & 0xFFFF), static_cast<int>(colour >> 16), 0});
        ++objects;
    }
    // A region of one rectangle: the region object's header (next in chain,
    // type 6, object count, size, scan count, longest scan, bounds), then one
    // scan (count, top, bottom, left, right, count again).
    void rect_region(int l, int t, int r, int b) {
        record(wmf::CREATEREGION, {0, 6, 0, 0, 22 + 12, 1, 2, l, t, r, b, 2, t, b, l, r, 2});
        ++objects;
    }
    std::vector<BYTE> bytes() const {
        std::vector<WORD> all = {1, 9, 0x0300, 0, 0, objects, 0, 0, 0};
        all.insert(all.end(), words.begin(), words.end());
        all.insert(all.end(), {3, 0, 0}); // the end record
        const DWORD total = static_cast<DWORD>(all.size());
        all[3] = static_cast<WORD>(total & 0xFFFF);
        all[4] = static_cast<WORD>(total >> 16);
        const DWORD longest_all = std::max<DWORD>(longest, 3);
        all[6] = static_cast<WORD>(longest_all & 0xFFFF);
        all[7] = static_cast<WORD>(longest_all >> 16);
        std::vector<BYTE> out;
        for (WORD w : all) {
            out.push_back(static_cast<BYTE>(w & 0xFF));
            out.push_back(static_cast<BYTE>(w >> 8));
        }
        return out;
    }
};

// Plays the metafile into a white image of 60 x 60, one unit a pixel, on a
// context the test may prepare first.
template <typename Prepare> QImage play(const Wmf& w, Prepare prepare) {
    QImage img(60, 60, QImage::Format_RGB32);
    img.fill(white);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    prepare(dc);
    const std::vector<BYTE> b = w.bytes();
    HMETAFILE mf = SetMetaFileBitsEx(static_cast<UINT>(b.size()), b.data());
    EXPECT_NE(mf, nullptr) << gdi_last_error();
    if (mf) {
        EXPECT_TRUE(PlayMetaFile(dc, mf)) << gdi_last_error();
        DeleteMetaFile(mf);
    }
    gdi_delete_image_dc(dc);
    return img;
}
QImage play(const Wmf& w) {
    return play(w, [](HDC) {});
}

// A region frame is stored as region, brush, then the height of its top and
// bottom strokes before the width of its side strokes.
TEST(BuiltWmf, RegionFramesTakeTheirStrokeHeightAndWidthInFileOrder) {
    Wmf w;
    w.solid_brush(RGB(0, 0, 0));              // object 0
    w.rect_region(10, 10, 50, 40);            // object 1
    w.record(wmf::FRAMEREGION, {1, 0, 5, 2}); // region, brush, height 5, width 2
    const QImage img = play(w);
    // The sides are two pixels wide.
    EXPECT_EQ(img.pixel(10, 25), black);
    EXPECT_EQ(img.pixel(11, 25), black);
    EXPECT_EQ(img.pixel(12, 25), white);
    EXPECT_EQ(img.pixel(49, 25), black);
    EXPECT_EQ(img.pixel(48, 25), black);
    EXPECT_EQ(img.pixel(47, 25), white);
    // The top and bottom are five pixels high.
    EXPECT_EQ(img.pixel(30, 14), black);
    EXPECT_EQ(img.pixel(30, 15), white);
    EXPECT_EQ(img.pixel(30, 35), black);
    EXPECT_EQ(img.pixel(30, 34), white);
    // Nothing outside the region.
    EXPECT_EQ(img.pixel(9, 25), white);
    EXPECT_EQ(img.pixel(30, 40), white);

    // A region filled and one painted with the selected brush cover it all.
    Wmf f;
    f.solid_brush(RGB(0, 0, 0));
    f.rect_region(20, 5, 30, 15);
    f.record(wmf::FILLREGION, {1, 0});
    const QImage filled = play(f);
    EXPECT_EQ(filled.pixel(20, 5), black);
    EXPECT_EQ(filled.pixel(29, 14), black);
    EXPECT_EQ(filled.pixel(30, 14), white);
    EXPECT_EQ(filled.pixel(29, 15), white);
}

} // namespace

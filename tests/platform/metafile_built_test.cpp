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

// A black box drawn by a pattern blit: rop, height, width, y, x (last first).
void black_box(Wmf& w, int x, int y, int width, int height) {
    w.record(wmf::PATBLT, {0x0042, 0x0000, height, width, y, x});
}

// Extents are scaled by fractions stored y denominator first: x numerator
// last. Window extents grow the units; viewport extents the pixels.
TEST(BuiltWmf, ExtentScalingReadsItsFractionsLastFirst) {
    Wmf w;
    w.record(wmf::SETMAPMODE, {MM_ANISOTROPIC});
    w.record(wmf::SETWINDOWEXT, {10, 10}); // y, x
    w.record(wmf::SETVIEWPORTEXT, {10, 10});
    // Window x extent times 2 / 1, y times 1 / 1: a unit across is half a pixel.
    w.record(wmf::SCALEWINDOWEXT, {1, 1, 1, 2}); // y denominator, y numerator, x den., x num.
    black_box(w, 0, 0, 40, 20);
    const QImage img = play(w);
    EXPECT_EQ(img.pixel(19, 10), black);
    EXPECT_EQ(img.pixel(20, 10), white);
    EXPECT_EQ(img.pixel(10, 19), black);
    EXPECT_EQ(img.pixel(10, 20), white);

    Wmf v;
    v.record(wmf::SETMAPMODE, {MM_ANISOTROPIC});
    v.record(wmf::SETWINDOWEXT, {10, 10});
    v.record(wmf::SETVIEWPORTEXT, {10, 10});
    // Viewport y extent times 3 / 1: a unit down is three pixels.
    v.record(wmf::SCALEVIEWPORTEXT, {1, 3, 1, 1});
    black_box(v, 0, 0, 10, 10);
    const QImage tall = play(v);
    EXPECT_EQ(tall.pixel(9, 29), black);
    EXPECT_EQ(tall.pixel(10, 29), white);
    EXPECT_EQ(tall.pixel(9, 30), white);
}

// A picture may restore only the levels it saved itself: the player's own
// level and the caller's stay, whatever the picture asks.
TEST(BuiltWmf, APictureCannotRestoreTheCallersSavedStates) {
    Wmf w;
    w.record(wmf::RESTOREDC, {0xFFFF});            // -1: one level back, never saved here
    w.record(wmf::SETTEXTCOLOR, {0x0809, 0x0007}); // RGB(9, 8, 7)
    black_box(w, 0, 0, 5, 5);
    QImage target(60, 60, QImage::Format_RGB32);
    target.fill(white);
    HDC dc = gdi_create_image_dc(&target, nullptr, QRegion());
    SetTextColor(dc, RGB(1, 2, 3));
    const int level = SaveDC(dc);
    SetTextColor(dc, RGB(4, 5, 6));
    const std::vector<BYTE> b = w.bytes();
    HMETAFILE mf = SetMetaFileBitsEx(static_cast<UINT>(b.size()), b.data());
    ASSERT_NE(mf, nullptr);
    PlayMetaFile(dc, mf);
    DeleteMetaFile(mf);
    EXPECT_EQ(target.pixel(2, 2), black); // the picture went on after the refused restore
    EXPECT_EQ(GetTextColor(dc), RGB(4, 5, 6));
    EXPECT_EQ(SaveDC(dc), level + 1);
    EXPECT_TRUE(RestoreDC(dc, -2));
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
    gdi_delete_image_dc(dc);
}

// Several polygons in one record: each is drawn, a two-point one as its
// outline (a line), the others filled and outlined.
TEST(BuiltWmf, PolygonsOfOneRecordAreAllDrawnTwoPointOnesToo) {
    Wmf w;
    w.solid_brush(RGB(0, 0, 0));
    w.record(wmf::SELECTOBJECT, {0});
    // Two polygons: a line of 2 points, a triangle of 3.
    w.record(wmf::POLYPOLYGON, {2, 2, 3, 5, 50, 40, 50, 10, 10, 50, 10, 30, 30});
    const QImage img = play(w);
    EXPECT_EQ(img.pixel(20, 50), black); // on the line
    EXPECT_EQ(img.pixel(20, 47), white);
    EXPECT_EQ(img.pixel(20, 15), black); // inside the triangle
    EXPECT_EQ(img.pixel(55, 15), white);
}

} // namespace

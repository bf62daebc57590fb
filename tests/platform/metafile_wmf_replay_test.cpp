// Windows metafiles written by the layer's own recorder and played back into
// an image: records whose arguments are stored last first (pattern blits)
// land where they were drawn.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

constexpr QRgb white = 0xFFFFFFFFu;
constexpr QRgb black = 0xFF000000u;

// Plays a metafile one logical unit to a pixel into a white 60 x 60 image.
QImage played(HMETAFILE mf) {
    QImage img(60, 60, QImage::Format_RGB32);
    img.fill(white);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    EXPECT_TRUE(PlayMetaFile(dc, mf));
    gdi_delete_image_dc(dc);
    return img;
}

TEST(WmfReplay, PatternBlitsLandAtTheirOwnCornerAndSize) {
    HDC rec = CreateMetaFile(nullptr);
    // A wide, low bar away from the diagonal: x and y (or width and height)
    // read the wrong way round put it somewhere else entirely.
    PatBlt(rec, 10, 40, 30, 4, BLACKNESS);
    HMETAFILE mf = CloseMetaFile(rec);
    ASSERT_NE(mf, nullptr);
    QImage img = played(mf);
    DeleteMetaFile(mf);
    EXPECT_EQ(img.pixel(10, 40), black);
    EXPECT_EQ(img.pixel(39, 43), black);
    EXPECT_EQ(img.pixel(40, 43), white); // the right edge is left out
    EXPECT_EQ(img.pixel(39, 44), white); // and the bottom one
    EXPECT_EQ(img.pixel(9, 40), white);
    EXPECT_EQ(img.pixel(40, 10), white); // nothing at the transposed place
    EXPECT_EQ(img.pixel(42, 12), white);
}

} // namespace

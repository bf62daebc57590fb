// Windows metafiles written by the layer's own recorder and played back into
// an image: records whose arguments are stored last first (pattern blits)
// land where they were drawn.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

#include <vector>

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

QImage played_blank() {
    QImage img(60, 60, QImage::Format_RGB32);
    img.fill(white);
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

// Spacing in a metafile is stored per byte of the text; a two-byte
// character moves the pen by the sum of its two bytes' spacing, however a
// writer split it between them.
TEST(WmfReplay, TwoByteCharactersAdvanceByTheSpacingOfBothTheirBytes) {
    HDC rec = CreateMetaFile(nullptr);
    HFONT f = CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    HGDIOBJ was = SelectObject(rec, f);
    const int dx[6] = {20, 0, 0, 20, 0, 0};
    ExtTextOut(rec, 2, 20, 0, nullptr, "\xE6\x97\xA5\xE6\x9C\xAC", 6, dx); // two characters
    SelectObject(rec, was);
    HMETAFILE mf = CloseMetaFile(rec);
    DeleteObject(f);
    ASSERT_NE(mf, nullptr);
    std::vector<BYTE> b(GetMetaFileBitsEx(mf, 0, nullptr));
    GetMetaFileBitsEx(mf, static_cast<UINT>(b.size()), b.data());
    const QImage whole_first = played(mf);
    DeleteMetaFile(mf);

    // The same record with each character's 20 split 10 + 10 over its bytes.
    bool found = false;
    for (std::size_t pos = 18; pos + 6 <= b.size();) {
        const std::size_t words = b[pos] | (b[pos + 1] << 8) | (b[pos + 2] << 16);
        const unsigned fn = b[pos + 4] | (b[pos + 5] << 8);
        if (fn == 0 || words < 3) break;
        if (fn == wmf::EXTTEXTOUT) {
            BYTE* p = b.data() + pos + 6;
            const int len = p[4] | (p[5] << 8);
            ASSERT_EQ(len, 4); // two bytes a character in the Japanese code page
            const std::size_t dx_at = 2 * (4 + (static_cast<std::size_t>(len) + 1) / 2);
            ASSERT_LE(pos + 6 + dx_at + 8, pos + 2 * words);
            ASSERT_EQ(p[dx_at] | (p[dx_at + 1] << 8), 20);
            for (int k = 0; k < 4; ++k) {
                p[dx_at + 2 * k] = 10;
                p[dx_at + 2 * k + 1] = 0;
            }
            found = true;
        }
        pos += 2 * words;
    }
    ASSERT_TRUE(found);
    HMETAFILE split = SetMetaFileBitsEx(static_cast<UINT>(b.size()), b.data());
    ASSERT_NE(split, nullptr);
    const QImage split_img = played(split);
    DeleteMetaFile(split);
    EXPECT_EQ(split_img, whole_first);
    EXPECT_NE(whole_first, played_blank());
}

} // namespace

// Drawings recorded by the layer's own writers (both metafile formats) and
// played back give the pixels the same calls give drawn directly: two-colour
// pattern brushes in the context's colours, text clipped to its rectangle and
// text in the face it was written in.
#include "image_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>

#include <functional>

namespace {

constexpr QRgb white = 0xFFFFFFFFu;

struct Canvas : ImageCanvas {
    Canvas() : ImageCanvas(120, 60) {}
};

using Scene = std::function<void(HDC)>;

QImage direct(const Scene& scene) {
    Canvas c;
    scene(c.dc);
    return c.img.copy();
}

QImage through_wmf(const Scene& scene) {
    HDC rec = CreateMetaFile(nullptr);
    scene(rec);
    HMETAFILE mf = CloseMetaFile(rec);
    Canvas c;
    EXPECT_TRUE(PlayMetaFile(c.dc, mf)) << gdi_last_error();
    DeleteMetaFile(mf);
    return c.img.copy();
}

QImage through_emf(const Scene& scene) {
    HDC rec = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    scene(rec);
    HENHMETAFILE mf = CloseEnhMetaFile(rec);
    ENHMETAHEADER h{};
    GetEnhMetaFileHeader(mf, sizeof h, &h);
    RECT r{h.rclBounds.left, h.rclBounds.top, h.rclBounds.right + 1, h.rclBounds.bottom + 1};
    Canvas c;
    EXPECT_TRUE(PlayEnhMetaFile(c.dc, mf, &r)) << gdi_last_error();
    DeleteEnhMetaFile(mf);
    return c.img.copy();
}

int count(const QImage& img, QRgb colour) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == colour;
    return n;
}

// A brush from a one-bit bitmap paints its clear bits in the text colour
// and its set bits in the background colour, recorded or not.
TEST(RecordedPictures, TwoColourPatternsTakeTheContextsColours) {
    const BYTE rows[8 * 2] = {0xF0, 0, 0xF0, 0, 0xF0, 0, 0xF0, 0,
                              0xF0, 0, 0xF0, 0, 0xF0, 0, 0xF0, 0}; // left half set
    const Scene scene = [&](HDC dc) {
        // A mark in a corner gives the played picture its frame.
        PatBlt(dc, 0, 0, 1, 1, BLACKNESS);
        HBITMAP bits = CreateBitmap(8, 8, 1, 1, rows);
        HBRUSH pattern = CreatePatternBrush(bits);
        SetTextColor(dc, RGB(255, 0, 0));
        SetBkColor(dc, RGB(0, 0, 255));
        HGDIOBJ old = SelectObject(dc, pattern);
        PatBlt(dc, 8, 8, 32, 32, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(pattern);
        DeleteObject(bits);
    };
    const QImage want = direct(scene);
    EXPECT_EQ(want.pixel(9, 9), 0xFF0000FFu);  // a set bit: the background colour
    EXPECT_EQ(want.pixel(13, 9), 0xFFFF0000u); // a clear one: the text colour
    EXPECT_EQ(through_wmf(scene), want);
    EXPECT_EQ(through_emf(scene), want);
}

TEST(RecordedPictures, ClippedTextStaysInItsRectangle) {
    const Scene scene = [](HDC dc) {
        PatBlt(dc, 0, 0, 1, 1, BLACKNESS);
        PatBlt(dc, 119, 59, 1, 1, BLACKNESS);
        HFONT f =
            CreateFont(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
        HGDIOBJ old = SelectObject(dc, f);
        SetBkMode(dc, TRANSPARENT);
        const RECT clip{10, 10, 40, 50};
        ExtTextOut(dc, 5, 15, ETO_CLIPPED, &clip, "WWWWWW", 6, nullptr);
        SelectObject(dc, old);
        DeleteObject(f);
    };
    const QImage want = direct(scene);
    int outside = 0, inside = 0;
    for (int y = 1; y < 59; ++y)
        for (int x = 1; x < 119; ++x) {
            const bool in = x >= 10 && x < 40 && y >= 10 && y < 50;
            (in ? inside : outside) += want.pixel(x, y) != white;
        }
    EXPECT_GT(inside, 30);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(through_wmf(scene), want);
    EXPECT_EQ(through_emf(scene), want);
}

// A face the played picture does not find falls back to another: the
// letters of a fixed-pitch face keep their widths only in that face.
TEST(RecordedPictures, TextIsPlayedInTheFaceItWasWrittenIn) {
    const Scene scene = [](HDC dc) {
        PatBlt(dc, 0, 0, 1, 1, BLACKNESS);
        PatBlt(dc, 119, 59, 1, 1, BLACKNESS);
        HFONT f = CreateFont(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0,
                             "DejaVu Sans Mono");
        HGDIOBJ old = SelectObject(dc, f);
        SetBkMode(dc, TRANSPARENT);
        TextOut(dc, 4, 4, "iiiiiiii|", 9);
        TextOut(dc, 4, 30, "WWWWWWWW|", 9);
        SelectObject(dc, old);
        DeleteObject(f);
    };
    const QImage want = direct(scene);
    EXPECT_GT(count(want, 0xFF000000u), 20);
    EXPECT_EQ(through_wmf(scene), want);
    EXPECT_EQ(through_emf(scene), want);
}

// Underlined and struck-out text keep which line they have.
TEST(RecordedPictures, UnderlineAndStrikeOutKeepTheirPlaces) {
    for (bool underline : {true, false}) {
        const Scene scene = [underline](HDC dc) {
            PatBlt(dc, 0, 0, 1, 1, BLACKNESS);
            PatBlt(dc, 119, 59, 1, 1, BLACKNESS);
            HFONT f = CreateFont(-20, 0, 0, 0, FW_NORMAL, 0, underline ? 1 : 0, underline ? 0 : 1,
                                 ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
            HGDIOBJ old = SelectObject(dc, f);
            SetBkMode(dc, TRANSPARENT);
            TextOut(dc, 4, 10, "mmmm", 4);
            SelectObject(dc, old);
            DeleteObject(f);
        };
        const QImage want = direct(scene);
        EXPECT_EQ(through_wmf(scene), want) << (underline ? "underlined" : "struck out");
        EXPECT_EQ(through_emf(scene), want) << (underline ? "underlined" : "struck out");
    }
}

} // namespace

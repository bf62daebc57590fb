// Drawing layer: what a font's fields do to the text (underline and strike
// out, weight, width, the default height), character widths in logical
// units, the face name handed back, and DrawText's tabs and prefixes.
#include "image_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <string>

namespace {

constexpr QRgb white = 0xFFFFFFFF;

struct Canvas : ImageCanvas {
    explicit Canvas(int w = 300, int h = 80) : ImageCanvas(w, h, true) {}
};

HFONT font(int height, int width = 0, int weight = FW_NORMAL, bool underline = false,
           bool strike = false) {
    return CreateFont(height, width, 0, 0, weight, 0, underline, strike, ANSI_CHARSET, 0, 0, 0,
                      VARIABLE_PITCH | FF_SWISS, "DejaVu Sans");
}

QImage drawn(HFONT f, const char* text, UINT format = 0) {
    Canvas c;
    SelectObject(c.dc, f);
    if (format) {
        RECT r{10, 10, 290, 70};
        DrawText(c.dc, text, -1, &r, format);
    } else {
        TextOut(c.dc, 10, 10, text, static_cast<int>(std::strlen(text)));
    }
    return c.img;
}

QRect ink_of(const QImage& img) {
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != white) r = r.united(QRect(x, y, 1, 1));
    return r;
}

TEST(GdiFontForms, UnderlineRunsBelowTheTextAndStrikeOutThroughIt) {
    HFONT plain = font(-24), under = font(-24, 0, FW_NORMAL, true),
          strike = font(-24, 0, FW_NORMAL, false, true);
    const QRect p = ink_of(drawn(plain, "ooo"));
    const QRect u = ink_of(drawn(under, "ooo"));
    const QImage s_img = drawn(strike, "ooo");
    const QRect s = ink_of(s_img);
    ASSERT_FALSE(p.isEmpty());
    EXPECT_GT(u.bottom(), p.bottom()); // below the letters
    EXPECT_LE(s.bottom(), p.bottom()); // within them
    EXPECT_NE(s_img, drawn(plain, "ooo"));
    for (HFONT f : {plain, under, strike}) DeleteObject(f);
}

TEST(GdiFontForms, WeightZeroIsNormalAndAWidthIsTakenWithoutItsSign) {
    HFONT normal = font(-20), zero = font(-20, 0, 0), bold = font(-20, 0, FW_BOLD);
    EXPECT_EQ(drawn(zero, "Weight"), drawn(normal, "Weight"));
    EXPECT_NE(drawn(bold, "Weight"), drawn(normal, "Weight"));
    HFONT wide = font(-20, 16), wide_neg = font(-20, -16);
    EXPECT_EQ(drawn(wide_neg, "Width"), drawn(wide, "Width"));
    EXPECT_GT(ink_of(drawn(wide, "Width")).width(), ink_of(drawn(normal, "Width")).width());
    for (HFONT f : {normal, zero, bold, wide, wide_neg}) DeleteObject(f);
}

TEST(GdiFontForms, AFontOfHeightZeroHasTheDefaultThirteenPixelEm) {
    Canvas c;
    HFONT f = font(0);
    SelectObject(c.dc, f);
    TEXTMETRIC tm{};
    ASSERT_TRUE(GetTextMetrics(c.dc, &tm));
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 13);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(GdiFontForms, CharacterWidthsAreLogicalUnitsUnderScaling) {
    Canvas a, b;
    HFONT f = font(-20);
    SelectObject(a.dc, f);
    SelectObject(b.dc, f);
    SetMapMode(b.dc, MM_ANISOTROPIC);
    SetWindowExtEx(b.dc, 1, 1, nullptr);
    SetViewportExtEx(b.dc, 3, 3, nullptr);
    int wa[3], wb[3];
    ASSERT_TRUE(GetCharWidth32(a.dc, 'W', 'Y', wa));
    ASSERT_TRUE(GetCharWidth32(b.dc, 'W', 'Y', wb));
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(wa[i], 5) << i;
        EXPECT_NEAR(wb[i], wa[i], 1) << i;
    }
    EXPECT_FALSE(GetCharWidth32(a.dc, 'Y', 'W', wa)); // the range given backwards
    SelectObject(a.dc, GetStockObject(SYSTEM_FONT));
    SelectObject(b.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(GdiFontForms, TheFaceNameFitsTheBufferGiven) {
    Canvas c;
    HFONT f = font(-20);
    SelectObject(c.dc, f);
    char full[64] = {};
    const int whole = GetTextFace(c.dc, sizeof full, full);
    ASSERT_GT(whole, 4);
    EXPECT_EQ(static_cast<std::size_t>(whole), std::strlen(full));
    EXPECT_EQ(GetTextFace(c.dc, 0, nullptr), whole + 1); // the room it needs, with its end
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(GetTextFace(c.dc, 4, small), 3);
    EXPECT_EQ(std::string(small), std::string(full, 3));
    EXPECT_EQ(small[4], '#');
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(GdiFontForms, TabsReachTheNextStopAndALastAmpersandIsDropped) {
    HFONT f = font(-20);
    const QRect tabbed = ink_of(drawn(f, "\tX", DT_LEFT | DT_SINGLELINE | DT_EXPANDTABS));
    const QRect plain = ink_of(drawn(f, "X", DT_LEFT | DT_SINGLELINE | DT_EXPANDTABS));
    EXPECT_GT(tabbed.left(), plain.left() + 10); // a tab at a stop goes to the next
    EXPECT_EQ(drawn(f, "Save&", DT_LEFT | DT_SINGLELINE),
              drawn(f, "Save", DT_LEFT | DT_SINGLELINE));
    DeleteObject(f);
}

} // namespace

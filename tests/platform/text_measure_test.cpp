// Text measuring as callers lay out by it: how many characters fit a width,
// what the metrics say of the selected font's styles, tab stops and the
// lines word wrapping makes.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <string>

namespace {

constexpr QRgb white = 0xFFFFFFFF;

struct Canvas {
    QImage img;
    HDC dc = nullptr;
    explicit Canvas(int w = 300, int h = 200) : img(w, h, QImage::Format_RGB32) {
        img.fill(white);
        dc = gdi_create_image_dc(&img, nullptr, QRegion());
        SetBkMode(dc, TRANSPARENT);
    }
    ~Canvas() { gdi_delete_image_dc(dc); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    // Bounding box of the non-white pixels in rows [y0, y1).
    QRect ink(int y0, int y1) const {
        QRect r;
        for (int y = std::max(0, y0); y < std::min(y1, img.height()); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != white) r = r.united(QRect(x, y, 1, 1));
        return r;
    }
};

HFONT styled(int height, int weight, BYTE italic, BYTE underline, BYTE strike) {
    return CreateFont(height, 0, 0, 0, weight, italic, underline, strike, ANSI_CHARSET, 0, 0, 0,
                      VARIABLE_PITCH | FF_SWISS, "DejaVu Sans");
}

TEST(TextMeasure, CharactersFitWhileTheirRunningExtentIsWithinTheWidth) {
    Canvas c;
    HFONT f = styled(-16, FW_NORMAL, 0, 0, 0);
    SelectObject(c.dc, f);
    const char* text = "abcdef";
    int dx[6] = {};
    int fit = -1;
    SIZE size{};
    ASSERT_TRUE(GetTextExtentExPoint(c.dc, text, 6, 100000, &fit, dx, &size));
    EXPECT_EQ(fit, 6);
    // The running extents grow, and the last one is the whole text's width.
    for (int i = 1; i < 6; ++i) EXPECT_GT(dx[i], dx[i - 1]);
    SIZE whole{};
    GetTextExtentPoint32(c.dc, text, 6, &whole);
    EXPECT_NEAR(dx[5], whole.cx, 1);
    EXPECT_EQ(size.cx, whole.cx);

    // A width exactly the extent of three characters fits three; one less, two.
    ASSERT_TRUE(GetTextExtentExPoint(c.dc, text, 6, dx[2], &fit, nullptr, nullptr));
    EXPECT_EQ(fit, 3);
    ASSERT_TRUE(GetTextExtentExPoint(c.dc, text, 6, dx[2] - 1, &fit, nullptr, nullptr));
    EXPECT_EQ(fit, 2);
    ASSERT_TRUE(GetTextExtentExPoint(c.dc, text, 6, 0, &fit, nullptr, nullptr));
    EXPECT_EQ(fit, 0);

    // A two-byte character counts as two bytes that fit or not together.
    const char* accented = "a\xC3\xA9z"; // a, e-acute, z
    int adx[4] = {};
    ASSERT_TRUE(GetTextExtentExPoint(c.dc, accented, 4, 100000, &fit, adx, nullptr));
    EXPECT_EQ(fit, 4);
    EXPECT_EQ(adx[1], adx[2]);
    ASSERT_TRUE(GetTextExtentExPoint(c.dc, accented, 4, adx[2] - 1, &fit, nullptr, nullptr));
    EXPECT_EQ(fit, 1);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(TextMeasure, MetricsReportTheSelectedFontsStyles) {
    Canvas c;
    struct Case {
        int weight;
        BYTE italic, underline, strike;
    } cases[] = {{FW_NORMAL, 0, 0, 0},
                 {FW_BOLD, 0, 0, 0},
                 {FW_NORMAL, 1, 0, 0},
                 {FW_NORMAL, 0, 1, 0},
                 {FW_NORMAL, 0, 0, 1}};
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.weight) + " " + std::to_string(k.italic) +
                     std::to_string(k.underline) + std::to_string(k.strike));
        HFONT f = styled(-20, k.weight, k.italic, k.underline, k.strike);
        SelectObject(c.dc, f);
        TEXTMETRIC tm{};
        ASSERT_TRUE(GetTextMetrics(c.dc, &tm));
        EXPECT_EQ(tm.tmWeight, k.weight);
        EXPECT_EQ(tm.tmItalic != 0, k.italic != 0);
        EXPECT_EQ(tm.tmUnderlined != 0, k.underline != 0);
        EXPECT_EQ(tm.tmStruckOut != 0, k.strike != 0);
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20);
        EXPECT_EQ(tm.tmCharSet, ANSI_CHARSET);
        EXPECT_EQ(tm.tmPitchAndFamily & 0xF0, FF_SWISS);
        SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(f);
    }
}

TEST(TextMeasure, TabsStopEveryEightAverageCharactersOrAsGiven) {
    Canvas c;
    HFONT f = styled(-14, FW_NORMAL, 0, 0, 0);
    SelectObject(c.dc, f);
    TEXTMETRIC tm{};
    GetTextMetrics(c.dc, &tm);
    SIZE x{}, blank{};
    GetTextExtentPoint32(c.dc, "x", 1, &x);
    GetTextExtentPoint32(c.dc, " ", 1, &blank);
    // "\tx" drawn: the x starts at the first tab stop (reached in blanks, so
    // up to a blank's width past it). A tab stop given in the format cannot
    // be measured (its count shares bits with DT_CALCRECT), only drawn.
    auto x_at = [&](UINT format) {
        Canvas d;
        SelectObject(d.dc, f);
        RECT r{0, 0, 300, 100};
        DrawText(d.dc, "\tx", -1, &r, DT_SINGLELINE | DT_EXPANDTABS | format);
        SelectObject(d.dc, GetStockObject(SYSTEM_FONT));
        return d.ink(0, 100).left();
    };
    const int eight = 8 * tm.tmAveCharWidth;
    EXPECT_GE(x_at(0), eight - 1);
    EXPECT_LE(x_at(0), eight + blank.cx + 2);
    const int three = 3 * tm.tmAveCharWidth;
    EXPECT_GE(x_at(DT_TABSTOP | (3u << 8)), three - 1);
    EXPECT_LE(x_at(DT_TABSTOP | (3u << 8)), three + blank.cx + 2);
    RECT calc{0, 0, 0, 0};
    DrawText(c.dc, "\tx", -1, &calc, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
    EXPECT_GE(calc.right, eight + x.cx - 1);
    EXPECT_LE(calc.right, eight + x.cx + blank.cx + 1);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(TextMeasure, WrappedLinesStartAtTheirFirstWordNotAtTheBlanks) {
    Canvas c(300, 120);
    HFONT f = styled(-14, FW_NORMAL, 0, 0, 0);
    SelectObject(c.dc, f);
    SetTextColor(c.dc, RGB(0, 0, 0));
    TEXTMETRIC tm{};
    GetTextMetrics(c.dc, &tm);
    SIZE word{};
    GetTextExtentPoint32(c.dc, "bold", 4, &word);
    // Room for one word: "bold" on the first line, "beta" on the second,
    // the blanks between them on neither.
    RECT calc{0, 0, word.cx + 4, 0};
    const char* text = "bold     beta";
    EXPECT_EQ(DrawText(c.dc, text, -1, &calc, DT_CALCRECT | DT_WORDBREAK), 2 * tm.tmHeight);
    RECT box{20, 0, 20 + word.cx + 4, 120};
    DrawText(c.dc, text, -1, &box, DT_WORDBREAK | DT_NOCLIP);
    QRect first = c.ink(0, tm.tmHeight), second = c.ink(tm.tmHeight, 2 * tm.tmHeight);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(second.left(), first.left()); // both begin with a "b" at the box's left
    EXPECT_LE(second.right(), 20 + word.cx + 4);
    EXPECT_TRUE(c.ink(2 * tm.tmHeight, 120).isEmpty());
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

} // namespace

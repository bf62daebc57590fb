// Drawing layer: fonts, text output and measuring.
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
    explicit Canvas(int w = 300, int h = 200) : ImageCanvas(w, h, true) {}
};

HFONT font(int height, int escapement = 0, const char* face = "DejaVu Sans",
           int weight = FW_NORMAL) {
    return CreateFont(height, 0, escapement, escapement, weight, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                      VARIABLE_PITCH | FF_SWISS, face);
}

TEST(GdiText, ExtentMatchesTheDrawnText) {
    Canvas c;
    HFONT f = font(-20);
    SelectObject(c.dc, f);
    const char* text = "Hello, Wide World";
    SIZE sz;
    ASSERT_TRUE(GetTextExtentPoint32(c.dc, text, static_cast<int>(std::strlen(text)), &sz));
    TextOut(c.dc, 10, 20, text, static_cast<int>(std::strlen(text)));
    QRect ink = c.ink();
    ASSERT_FALSE(ink.isEmpty());
    // The ink lies in the measured cell, and fills most of its width.
    EXPECT_GE(ink.left(), 10);
    EXPECT_LE(ink.right(), 10 + sz.cx + 1);
    EXPECT_GE(ink.width(), sz.cx * 9 / 10);
    EXPECT_GE(ink.top(), 20);
    EXPECT_LE(ink.bottom(), 20 + sz.cy);
    TEXTMETRIC tm;
    GetTextMetrics(c.dc, &tm);
    EXPECT_EQ(sz.cy, tm.tmHeight);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20); // negative height: the character height
    // The character widths add up to the extent.
    int widths[256];
    ASSERT_TRUE(GetCharWidth32(c.dc, 0, 255, widths));
    int sum = 0;
    for (const char* p = text; *p; ++p) sum += widths[static_cast<unsigned char>(*p)];
    EXPECT_NEAR(sum, sz.cx, 2);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(GdiText, PositiveHeightIsTheCellHeight) {
    Canvas c;
    HFONT f = font(30);
    SelectObject(c.dc, f);
    TEXTMETRIC tm;
    GetTextMetrics(c.dc, &tm);
    EXPECT_NEAR(tm.tmHeight, 30, 1);
    EXPECT_GT(tm.tmInternalLeading, 0);
    EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH); // set for a variable-pitch face
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(GdiText, AlignmentAndCurrentPosition) {
    HFONT f = font(-16);
    SIZE sz;
    int base_y;
    {
        Canvas c;
        SelectObject(c.dc, f);
        GetTextExtentPoint32(c.dc, "Middle", 6, &sz);
        SetTextAlign(c.dc, TA_CENTER | TA_BASELINE);
        TextOut(c.dc, 150, 100, "Middle", 6);
        QRect ink = c.ink();
        EXPECT_NEAR((ink.left() + ink.right()) / 2.0, 150, 2);
        EXPECT_LE(ink.bottom(), 100);
        EXPECT_GE(ink.bottom(), 95);
        base_y = ink.bottom();
        SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    }
    {
        Canvas c;
        SelectObject(c.dc, f);
        SetTextAlign(c.dc, TA_RIGHT | TA_BOTTOM);
        TextOut(c.dc, 200, 100, "Middle", 6);
        QRect ink = c.ink();
        EXPECT_LE(ink.right(), 200);
        EXPECT_GE(ink.right(), 200 - 3);
        EXPECT_LT(ink.bottom(), 100);
        EXPECT_LT(ink.bottom(), base_y + 1); // bottom alignment lifts the baseline
        SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    }
    {
        Canvas c;
        SelectObject(c.dc, f);
        SetTextAlign(c.dc, TA_UPDATECP);
        MoveToEx(c.dc, 10, 10, nullptr);
        TextOut(c.dc, 0, 0, "Middle", 6);
        POINT p;
        GetCurrentPositionEx(c.dc, &p);
        EXPECT_EQ(p.x, 10 + sz.cx);
        EXPECT_GE(c.ink().left(), 10);
        SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    }
    DeleteObject(f);
}

TEST(GdiText, RotatedText) {
    Canvas flat, up, slant;
    HFONT f0 = font(-20), f90 = font(-20, 900), f45 = font(-20, 450);
    SelectObject(flat.dc, f0);
    SelectObject(up.dc, f90);
    SelectObject(slant.dc, f45);
    const char* t = "Rotated";
    TextOut(flat.dc, 100, 150, t, 7);
    TextOut(up.dc, 100, 150, t, 7);
    TextOut(slant.dc, 100, 150, t, 7);
    QRect a = flat.ink(), b = up.ink(), s = slant.ink();
    EXPECT_GT(a.width(), a.height() * 2);
    EXPECT_GT(b.height(), b.width() * 2); // runs upwards
    EXPECT_LE(b.bottom(), 150 + 1);
    EXPECT_NEAR(b.height(), a.width(), 3);
    EXPECT_NEAR(s.width(), s.height(), 6); // diagonal
    EXPECT_LT(s.top(), 150 - 30);
    for (HDC dc : {flat.dc, up.dc, slant.dc}) SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f0);
    DeleteObject(f90);
    DeleteObject(f45);
}

// Glyphs too large for the toolkit's glyph images (a stretched font turned a
// little crashed inside the toolkit) are filled as outlines: they still draw,
// at the place and size the glyph images give, with their underline.
TEST(GdiText, LargeGlyphsDrawAsOutlines) {
    Canvas wide(900, 300);
    HFONT stretched = CreateFont(-64, 8000, -1, -1, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                                 VARIABLE_PITCH | FF_SWISS, "DejaVu Sans");
    SelectObject(wide.dc, stretched);
    TextOut(wide.dc, 10, 100, "Wm", 2);
    QRect w = wide.ink();
    EXPECT_GT(w.width(), 800); // each character about 16 ems wide
    EXPECT_GT(w.height(), 30);
    SelectObject(wide.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(stretched);

    // The same text below and above the size limit: the outline is where the
    // glyph image was, scaled.
    Canvas small(400, 400), large(400, 400);
    HFONT f100 = CreateFont(-100, 0, 0, 0, FW_NORMAL, 0, 1, 0, ANSI_CHARSET, 0, 0, 0,
                            VARIABLE_PITCH | FF_SWISS, "DejaVu Sans");
    HFONT f300 = CreateFont(-300, 0, 0, 0, FW_NORMAL, 0, 1, 0, ANSI_CHARSET, 0, 0, 0,
                            VARIABLE_PITCH | FF_SWISS, "DejaVu Sans");
    SelectObject(small.dc, f100);
    SelectObject(large.dc, f300);
    TextOut(small.dc, 10, 10, "x", 1);
    TextOut(large.dc, 10, 10, "x", 1);
    QRect a = small.ink(), b = large.ink();
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    EXPECT_NEAR(b.left() - 10, 3 * (a.left() - 10), 6);
    EXPECT_NEAR(b.height(), 3 * a.height(), 9); // underline included in both
    EXPECT_NEAR(b.width(), 3 * a.width(), 9);
    SelectObject(small.dc, GetStockObject(SYSTEM_FONT));
    SelectObject(large.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f100);
    DeleteObject(f300);
}

TEST(GdiText, OpaqueBackgroundFillsTheCell) {
    Canvas c;
    HFONT f = font(-16);
    SelectObject(c.dc, f);
    SetBkMode(c.dc, OPAQUE);
    SetBkColor(c.dc, RGB(0, 255, 0));
    TextOut(c.dc, 10, 10, "ab", 2);
    SIZE sz;
    GetTextExtentPoint32(c.dc, "ab", 2, &sz);
    EXPECT_EQ(c.img.pixel(10, 10), qRgb(0, 255, 0));
    EXPECT_EQ(c.img.pixel(10 + sz.cx - 1, 10 + sz.cy - 1), qRgb(0, 255, 0));
    EXPECT_EQ(c.img.pixel(10 + sz.cx + 1, 10), white);
    // ExtTextOut with an opaque rectangle and no text paints the rectangle.
    RECT r{100, 100, 120, 110};
    SetBkColor(c.dc, RGB(0, 0, 255));
    ExtTextOut(c.dc, 0, 0, ETO_OPAQUE, &r, "", 0, nullptr);
    EXPECT_EQ(c.img.pixel(119, 109), qRgb(0, 0, 255));
    EXPECT_EQ(c.img.pixel(120, 109), white);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(GdiText, DrawTextLayouts) {
    Canvas c;
    HFONT f = font(-14);
    SelectObject(c.dc, f);
    TEXTMETRIC tm;
    GetTextMetrics(c.dc, &tm);
    SIZE one;
    GetTextExtentPoint32(c.dc, "alpha", 5, &one);

    RECT calc{0, 0, 0, 0};
    int h = DrawText(c.dc, "alpha", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(h, tm.tmHeight);
    EXPECT_EQ(calc.right, one.cx);

    // Word breaking: three words in a box two words wide give two lines.
    SIZE two;
    GetTextExtentPoint32(c.dc, "alpha beta", 10, &two);
    RECT box{0, 0, two.cx + 2, 0};
    h = DrawText(c.dc, "alpha beta gamma", -1, &box, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(h, 2 * tm.tmHeight);
    EXPECT_EQ(box.bottom, 2 * tm.tmHeight);

    // Prefix characters are not shown and not measured.
    RECT pre{0, 0, 0, 0};
    DrawText(c.dc, "&alpha", -1, &pre, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(pre.right, one.cx);
    RECT raw{0, 0, 0, 0};
    DrawText(c.dc, "&alpha", -1, &raw, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_GT(raw.right, one.cx);

    // Centred in both directions.
    RECT r{0, 0, 300, 200};
    DrawText(c.dc, "alpha", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    QRect ink = c.ink();
    EXPECT_NEAR((ink.left() + ink.right()) / 2.0, 150, 3);
    EXPECT_NEAR((ink.top() + ink.bottom()) / 2.0, 100, 4);

    // An ellipsis keeps a long line inside its box.
    Canvas e;
    SelectObject(e.dc, f);
    RECT narrow{0, 0, 60, 40};
    DrawText(e.dc, "a rather long line of text", -1, &narrow,
             DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
    EXPECT_LT(e.ink().right(), 60);
    EXPECT_GT(e.ink().right(), 40);
    SelectObject(e.dc, GetStockObject(SYSTEM_FONT));
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

TEST(GdiText, ExtentsAreLogicalUnitsUnderScaling) {
    Canvas a, b;
    HFONT f = font(-20);
    SelectObject(a.dc, f);
    SelectObject(b.dc, f);
    SetMapMode(b.dc, MM_ANISOTROPIC);
    SetWindowExtEx(b.dc, 1, 1, nullptr);
    SetViewportExtEx(b.dc, 2, 2, nullptr);
    SIZE sa, sb;
    GetTextExtentPoint32(a.dc, "Scaled text", 11, &sa);
    GetTextExtentPoint32(b.dc, "Scaled text", 11, &sb);
    EXPECT_NEAR(sb.cx, sa.cx, 2);
    EXPECT_NEAR(sb.cy, sa.cy, 1);
    TextOut(a.dc, 0, 0, "Scaled text", 11);
    TextOut(b.dc, 0, 0, "Scaled text", 11);
    EXPECT_NEAR(b.ink().width(), 2 * a.ink().width(), 4); // drawn twice as large
    SelectObject(a.dc, GetStockObject(SYSTEM_FONT));
    SelectObject(b.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

int CALLBACK_count(const LOGFONT* lf, const TEXTMETRIC*, DWORD type, LPARAM data) {
    auto* found = reinterpret_cast<int*>(data);
    if (std::string(lf->lfFaceName) == "DejaVu Sans" && type == TRUETYPE_FONTTYPE) ++*found;
    return 1;
}

TEST(GdiText, FontFamiliesAreEnumerated) {
    HDC screen = gdi_create_screen_dc();
    int found = 0;
    EXPECT_EQ(EnumFontFamilies(screen, nullptr, CALLBACK_count, reinterpret_cast<LPARAM>(&found)),
              1);
    EXPECT_EQ(found, 1);
    int styles = 0;
    EnumFontFamilies(screen, "DejaVu Sans", CALLBACK_count, reinterpret_cast<LPARAM>(&styles));
    EXPECT_GE(styles, 2); // book and bold at least
    // A callback returning 0 stops the enumeration.
    int calls = 0;
    auto stop = [](const LOGFONT*, const TEXTMETRIC*, DWORD, LPARAM d) {
        ++*reinterpret_cast<int*>(d);
        return 0;
    };
    EXPECT_EQ(EnumFontFamilies(screen, nullptr, stop, reinterpret_cast<LPARAM>(&calls)), 0);
    EXPECT_EQ(calls, 1);
    gdi_delete_image_dc(screen);
}

// With TA_UPDATECP the text starts at the current position and moves it by
// its width: right-aligned text ends there and leaves it at its start,
// centred text leaves it where it was.
TEST(GdiText, TheCurrentPositionMovesByTheTextAsItIsAligned) {
    HFONT f = font(-20);
    for (UINT align : {TA_LEFT, TA_RIGHT, TA_CENTER}) {
        SCOPED_TRACE(align);
        Canvas c;
        SelectObject(c.dc, f);
        SIZE sz{};
        ASSERT_TRUE(GetTextExtentPoint32(c.dc, "Middle", 6, &sz));
        SetTextAlign(c.dc, TA_UPDATECP | align);
        MoveToEx(c.dc, 150, 10, nullptr);
        TextOut(c.dc, 0, 0, "Middle", 6);
        POINT p{};
        ASSERT_TRUE(GetCurrentPositionEx(c.dc, &p));
        const int want = align == TA_LEFT ? 150 + sz.cx : align == TA_RIGHT ? 150 - sz.cx : 150;
        EXPECT_EQ(p.x, want);
        EXPECT_EQ(p.y, 10);
        QRect ink = c.ink();
        ASSERT_FALSE(ink.isEmpty());
        if (align == TA_RIGHT) {
            EXPECT_LE(ink.right(), 150);
        }
        if (align == TA_LEFT) {
            EXPECT_GE(ink.left(), 150);
        }
        SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    }
    DeleteObject(f);
}

// In DrawText "&&" is one "&" and underlines nothing: it draws as "&" does
// with prefixes off, while "&S" underlines the S.
TEST(GdiText, ADoubledAmpersandIsOneAndUnderlinesNothing) {
    HFONT f = font(-20);
    Canvas doubled, plain, marked, unmarked;
    for (Canvas* c : {&doubled, &plain, &marked, &unmarked}) SelectObject(c->dc, f);
    RECT r{10, 10, 290, 60};
    DrawText(doubled.dc, "Save && Exit", -1, &r, DT_LEFT | DT_SINGLELINE);
    DrawText(plain.dc, "Save & Exit", -1, &r, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_FALSE(doubled.ink().isEmpty());
    EXPECT_EQ(doubled.img, plain.img);
    DrawText(marked.dc, "&Save", -1, &r, DT_LEFT | DT_SINGLELINE);
    DrawText(unmarked.dc, "Save", -1, &r, DT_LEFT | DT_SINGLELINE);
    EXPECT_NE(marked.img, unmarked.img) << "the mnemonic is underlined";
    EXPECT_GT(marked.ink().bottom(), unmarked.ink().bottom());
    for (Canvas* c : {&doubled, &plain, &marked, &unmarked})
        SelectObject(c->dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

// Byte runs that only look like UTF-8 (an encoded surrogate half, an
// overlong form, a value past the last plane) are code-page bytes, one
// character each, as any byte that starts no character.
TEST(GdiText, FalseUtf8IsReadAsCodePageBytes) {
    HFONT f = font(-20);
    Canvas c;
    SelectObject(c.dc, f);
    for (const std::string& s :
         {std::string("\xED\xA0\x80"), std::string("\xC0\xAF"), std::string("\xF5\xA1\xA2\xA3")}) {
        SCOPED_TRACE(s.size());
        std::vector<int> dx(s.size(), -1);
        int fit = -1;
        SIZE whole{};
        ASSERT_TRUE(GetTextExtentExPoint(c.dc, s.data(), static_cast<int>(s.size()), 100000, &fit,
                                         dx.data(), &whole));
        EXPECT_EQ(fit, static_cast<int>(s.size()));
        for (std::size_t i = 1; i < dx.size(); ++i)
            EXPECT_GT(dx[i], dx[i - 1]) << "byte " << i << " is a character of its own";
    }
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

} // namespace

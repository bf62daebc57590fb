// The caption window's font: a platform font turned into the drawing layer's
// description (its size in points rounded to the nearest, bold from weight
// 600, italic and underline), and the redraw a new font asks for.
#include "draw/ctext.h"
#include "draw/drawing.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstring>

namespace {

font_spec spec_of(long height, long weight, bool italic, bool underline) {
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfUnderline = underline ? 1 : 0;
    std::strcpy(lf.lfFaceName, "Arial");
    HFONT f = CreateFontIndirect(&lf);
    EXPECT_NE(f, nullptr);
    const font_spec s = font_spec_of(f);
    DeleteObject(f);
    return s;
}

// On a 96-pixel screen a point is 4/3 pixels: 14 pixels are 10.5 points,
// shown as 11; 13 pixels (9.75) as 10; 20 pixels as 15. A height given as
// the cell height (positive) counts the same.
TEST(CaptionFont, SizesAreRoundedToTheNearestPointAndStylesKept) {
    test_driver::start();
    EXPECT_EQ(spec_of(-14, 400, false, false).size, 11);
    EXPECT_EQ(spec_of(-13, 400, false, false).size, 10);
    EXPECT_EQ(spec_of(20, 400, false, false).size, 15);
    EXPECT_EQ(spec_of(-14, 400, false, false).style, 0);
    EXPECT_EQ(spec_of(-14, 600, false, false).style, font_bold); // semibold counts
    EXPECT_EQ(spec_of(-14, 599, false, false).style, 0);
    EXPECT_EQ(spec_of(-14, 400, true, true).style, font_italic | font_underline);
    EXPECT_STREQ(spec_of(-14, 400, false, false).face, "Arial");
}

// WM_SETFONT redraws the caption only when its redraw flag asks for it.
TEST(CaptionFont, ANewFontRedrawsWhenAsked) {
    test_driver::start();
    WNDCLASS wc{};
    wc.lpfnWndProc = ctext_proc;
    wc.lpszClassName = "Test_caption";
    RegisterClass(&wc);
    HWND w = CreateWindowEx(0, "Test_caption", "A caption", WS_POPUP | WS_VISIBLE, 0, 0, 200, 40,
                            nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    LOGFONT lf{};
    lf.lfHeight = -16;
    HFONT f = CreateFontIndirect(&lf);
    RECT r{};
    ValidateRect(w, nullptr);
    SendMessage(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), 0);
    EXPECT_FALSE(GetUpdateRect(w, &r, FALSE));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(w, WM_GETFONT, 0, 0)), f);
    SendMessage(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), 1);
    EXPECT_TRUE(GetUpdateRect(w, &r, FALSE));
    EXPECT_EQ(r.right, 200);
    DestroyWindow(w);
    DeleteObject(f);
}

// Without a font, or from any font, a caption has no colour of its own: it
// draws in the text colour its painting sets.
TEST(CaptionFont, ACaptionsFontHasNoColourOfItsOwn) {
    test_driver::start();
    const font_spec none = font_spec_of(nullptr);
    EXPECT_EQ(none.colour, 0xFFFFFFFFu);
    EXPECT_EQ(none.size, default_font_points);
    EXPECT_EQ(none.style, 0);
    EXPECT_EQ(spec_of(-14, 700, false, false).colour, 0xFFFFFFFFu);
}

// A new text is painted: the whole caption is invalidated.
TEST(CaptionFont, ANewTextRedrawsTheCaption) {
    test_driver::start();
    WNDCLASS wc{};
    wc.lpfnWndProc = ctext_proc;
    wc.lpszClassName = "Test_caption_text";
    RegisterClass(&wc);
    HWND w = CreateWindowEx(0, "Test_caption_text", "Before", WS_POPUP | WS_VISIBLE, 0, 0, 200, 40,
                            nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    RECT r{};
    ValidateRect(w, nullptr);
    ASSERT_FALSE(GetUpdateRect(w, &r, FALSE));
    SetWindowText(w, "After");
    EXPECT_TRUE(GetUpdateRect(w, &r, FALSE));
    EXPECT_EQ(r.right, 200);
    EXPECT_EQ(r.bottom, 40);
    char text[16] = {};
    GetWindowText(w, text, sizeof text);
    EXPECT_STREQ(text, "After");
    DestroyWindow(w);
}

// A caption is painted in the window text colour: its darkest pixels are
// that colour, never the grey of disabled text.
TEST(CaptionFont, ACaptionIsPaintedInTheWindowTextColour) {
    test_driver::start();
    WNDCLASS wc{};
    wc.lpfnWndProc = ctext_proc;
    wc.lpszClassName = "Test_caption_colour";
    RegisterClass(&wc);
    HWND w = CreateWindowEx(0, "Test_caption_colour", "Stock and flow", WS_POPUP | WS_VISIBLE, 0, 0,
                            200, 40, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    test_driver::run_until_idle();
    const QImage img = test_driver::image(w);
    ASSERT_FALSE(img.isNull());
    int darkest = 255;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) darkest = std::min(darkest, qGray(img.pixel(x, y)));
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    ASSERT_NE(text, GetSysColor(COLOR_GRAYTEXT));
    EXPECT_EQ(darkest, qGray(qRgb(GetRValue(text), GetGValue(text), GetBValue(text))));
    DestroyWindow(w);
}

} // namespace

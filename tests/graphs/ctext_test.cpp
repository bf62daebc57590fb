// The caption window class: its text drawn word-wrapped in the dialog's font
// with the background showing through, redrawn when the text or font
// changes.
#include "draw/ctext.h"
#include "draw/drawing.h"
#include "graphs/graphtool.h"
#include "platform/messages.h"
#include "shell/mainwnd.h"
#include "shell/upcalls.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>

namespace td = test_driver;

namespace {

// Rows of the image that hold dark (text) pixels, counted in runs: one run
// per drawn line of text.
int text_lines(const QImage& img) {
    int lines = 0;
    bool in = false;
    for (int y = 0; y < img.height(); ++y) {
        bool dark = false;
        for (int x = 0; x < img.width() && !dark; ++x) dark = qGray(img.pixel(x, y)) < 100;
        if (dark && !in) ++lines;
        in = dark;
    }
    return lines;
}

int dark_pixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 100) ++n;
    return n;
}

} // namespace

TEST(CaptionFont, APlatformFontBecomesItsDrawingLayerDescription) {
    const font_spec none = font_spec_of(nullptr);
    EXPECT_EQ(none.size, default_font_points);
    EXPECT_EQ(none.face[0], '\0');
    LOGFONT lf{};
    lf.lfHeight = -16; // 12 points on a 96-pixel screen
    lf.lfWeight = 700;
    lf.lfItalic = 1;
    std::memset(lf.lfFaceName, 'A', sizeof lf.lfFaceName); // no NUL in the face
    HFONT f = CreateFontIndirect(&lf);
    ASSERT_NE(f, nullptr);
    const font_spec spec = font_spec_of(f);
    DeleteObject(f);
    EXPECT_EQ(spec.size, 12);
    EXPECT_EQ(spec.style & (font_bold | font_italic), font_bold | font_italic);
    EXPECT_LT(std::strlen(spec.face), sizeof spec.face);
}

class CaptionWindow : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_graph_hooks();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
    }
    void TearDown() override {
        if (caption_ && IsWindow(caption_)) DestroyWindow(caption_);
        graphics_window_hook = nullptr;
        ctext_window_hook = nullptr;
        ShellWorkbenchTest::TearDown();
    }
    HWND caption_ = nullptr;
};

TEST_F(CaptionWindow, TextWrapsInTheWindowAndFollowsItsChanges) {
    caption_ = CreateWindow("Kavrel_ctext", "Short", WS_CHILD | WS_VISIBLE, 10, 10, 160, 90,
                            main_wnd, nullptr, hinst, nullptr);
    ASSERT_NE(caption_, nullptr);
    td::run_until_idle();
    const QImage one = td::image(caption_);
    ASSERT_FALSE(one.isNull());
    EXPECT_EQ(text_lines(one), 1);
    const int short_ink = dark_pixels(one);
    EXPECT_GT(short_ink, 10);

    // A longer text wraps onto several lines inside the window.
    SetWindowText(caption_, "Units of the inventory kept against the orders of a week");
    td::run_until_idle();
    const QImage wrapped = td::image(caption_);
    EXPECT_TRUE(td::save_png(caption_, testing::TempDir() + "kavrel_ctext.png"));
    EXPECT_GE(text_lines(wrapped), 3);
    // No line runs past the right edge: the last column stays clear.
    for (int y = 0; y < wrapped.height(); ++y)
        EXPECT_GE(qGray(wrapped.pixel(wrapped.width() - 1, y)), 100) << y;

    // A bigger font given to it draws the same text heavier.
    SetWindowText(caption_, "Short");
    LOGFONT lf{};
    lf.lfHeight = -32;
    HFONT big = CreateFontIndirect(&lf);
    SendMessage(caption_, WM_SETFONT, reinterpret_cast<WPARAM>(big), 1);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(caption_, WM_GETFONT, 0, 0)), big);
    td::run_until_idle();
    EXPECT_GT(dark_pixels(td::image(caption_)), short_ink * 2);
    DestroyWindow(caption_);
    caption_ = nullptr;
    DeleteObject(big);
}

// The dialog font the Options dialog sets, as a dialog gets it: the size in
// points at 96 pixels an inch (4 at the least), the style letters in either
// case, and the controls moved with the font's own width and height ratios.
#include "shell_fixture.h"

#include "platform/gdi.h"

namespace {

class DialogFonts : public ShellDialogTest {
protected:
    // The font and one control's client-relative rectangle as the question
    // dialog shows them with the dialog font `spec`.
    LOGFONT shown_font(const char* spec, RECT* edit = nullptr, SIZE* client = nullptr) {
        set_dialog_font_specs(spec, "", "");
        LOGFONT lf{};
        answerer::dialog(354)
            .call([&](HWND d) {
                HFONT f = reinterpret_cast<HFONT>(SendMessage(d, WM_GETFONT, 0, 0));
                EXPECT_NE(GetObject(f, sizeof lf, &lf), 0) << spec;
                RECT cr{};
                GetClientRect(d, &cr);
                if (client) *client = SIZE{cr.right, cr.bottom};
                if (edit) {
                    RECT r{};
                    GetWindowRect(GetDlgItem(d, 1660), &r);
                    POINT tl{r.left, r.top}, br{r.right, r.bottom};
                    ScreenToClient(d, &tl);
                    ScreenToClient(d, &br);
                    *edit = RECT{tl.x, tl.y, br.x, br.y};
                }
            })
            .press(IDCANCEL);
        ask_text("p", "");
        EXPECT_EQ(answerer::pending(), 0u);
        return lf;
    }
};

// 12 points are 16 pixels, 9 points 12; below 4 points the font is 4 points
// (5 pixels), so no setting makes a dialog unreadably small.
TEST_F(DialogFonts, PointsBecomePixelsAtNinetySixAnInch) {
    EXPECT_EQ(shown_font("Sans Serif|12|").lfHeight, -16);
    EXPECT_EQ(shown_font("Sans Serif|9|").lfHeight, -12);
    EXPECT_EQ(shown_font("Sans Serif|4|").lfHeight, -5);
    EXPECT_EQ(shown_font("Sans Serif|2|").lfHeight, -5);
    EXPECT_EQ(shown_font("Sans Serif|0|").lfHeight, -5);
    // A face alone is 8 points.
    EXPECT_EQ(shown_font("Sans Serif").lfHeight, -11);
}

// The style letters b and i, in either case, make it bold and italic.
TEST_F(DialogFonts, StyleLettersInEitherCase) {
    for (const char* spec : {"Sans Serif|10|i|", "Sans Serif|10|I|"}) {
        const LOGFONT lf = shown_font(spec);
        EXPECT_NE(lf.lfItalic, 0) << spec;
        EXPECT_LT(lf.lfWeight, FW_BOLD) << spec;
    }
    for (const char* spec : {"Sans Serif|10|b|", "Sans Serif|10|B|"}) {
        const LOGFONT lf = shown_font(spec);
        EXPECT_EQ(lf.lfWeight, FW_BOLD) << spec;
        EXPECT_EQ(lf.lfItalic, 0) << spec;
    }
    const LOGFONT both = shown_font("Sans Serif|10|Bi|");
    EXPECT_EQ(both.lfWeight, FW_BOLD);
    EXPECT_NE(both.lfItalic, 0);
    const LOGFONT plain = shown_font("Sans Serif|10||");
    EXPECT_EQ(plain.lfItalic, 0);
    EXPECT_LT(plain.lfWeight, FW_BOLD);
}

// With a larger bold font than the template's (wider for its height) the
// controls move down by the height ratio and along by the width ratio, as
// the dialog grows: a control below the top stays the same share of the way
// down and across it.
TEST_F(DialogFonts, ControlsMoveDownByTheHeightRatio) {
    RECT small{}, large{};
    SIZE small_client{}, large_client{};
    shown_font("", &small, &small_client);
    shown_font("Sans Serif|12|b|", &large, &large_client);
    ASSERT_GT(small.top, 0) << "the edit box stands below the prompt";
    ASSERT_GT(small_client.cy, 0);
    ASSERT_GT(large_client.cy, small_client.cy);
    const double down_small = static_cast<double>(small.top) / small_client.cy;
    const double down_large = static_cast<double>(large.top) / large_client.cy;
    EXPECT_NEAR(down_large, down_small, 0.02)
        << small.top << " of " << small_client.cy << ", " << large.top << " of " << large_client.cy;
    const double across_small = static_cast<double>(small.left) / small_client.cx;
    const double across_large = static_cast<double>(large.left) / large_client.cx;
    EXPECT_NEAR(across_large, across_small, 0.05);
    set_dialog_font_specs("", "", "");
}

} // namespace

// The bottom bar writes in the Bottom Menu Font of the options, not the
// Normal font, and takes a new one when fonts change.
#include "shell_fixture.h"

#include "foundation/names.h"
#include "shell/bottombar.h"
#include "shell/settings_rows.h"

namespace td = test_driver;

namespace {

class BottomFont : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        MoveWindow(main_wnd, 0, 0, 900, 500, TRUE);
        layout_frame(main_wnd);
        td::run_until_idle();
    }
    void TearDown() override {
        opts = opt_block{};
        if (bottom_wnd) SendMessage(bottom_wnd, WM_FONTCHANGE, 0, 0);
        ShellWorkbenchTest::TearDown();
    }
    static LOGFONT field_font() {
        LOGFONT lf{};
        set_bottom_bar(bm_input, "abc", 421);
        HWND edit = bottom_edit();
        EXPECT_NE(edit, nullptr);
        if (!edit) return lf;
        HFONT f = reinterpret_cast<HFONT>(SendMessage(edit, WM_GETFONT, 0, 0));
        EXPECT_NE(GetObject(f, sizeof lf, &lf), 0);
        set_bottom_bar(bm_text, nullptr, 0);
        return lf;
    }
};

TEST_F(BottomFont, TheBarUsesTheBottomMenuFont) {
    ASSERT_NE(bottom_wnd, nullptr);
    ASSERT_EQ(read_font_spec(&opts.fonts[of_normal], "Courier|9||", nullptr), 1);
    ASSERT_EQ(read_font_spec(&opts.fonts[of_bottom_menu], "Courier|18|B|", nullptr), 1);
    SendMessage(bottom_wnd, WM_FONTCHANGE, 0, 0);
    LOGFONT lf = field_font();
    EXPECT_EQ(lf.lfHeight, -24) << "18 points at 96 pixels an inch";
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    // A new bottom font reaches the bar once fonts change.
    ASSERT_EQ(read_font_spec(&opts.fonts[of_bottom_menu], "Courier|12||", nullptr), 1);
    SendMessage(bottom_wnd, WM_FONTCHANGE, 0, 0);
    lf = field_font();
    EXPECT_EQ(lf.lfHeight, -16);
    EXPECT_LT(lf.lfWeight, FW_BOLD);
}

} // namespace

// What the option dialogs show and refuse: the font buttons' descriptions,
// print sizes that are not finite numbers, the settings warnings' texts.
#include "shell_fixture.h"

#include "foundation/names.h"
#include "foundation/report.h"
#include "resources/options.h"
#include "shell/options.h"
#include "shell/settings_io.h"
#include "shell/settings_rows.h"
#include "shell/state.h"

#include <QImage>

#include <string>
#include <vector>

namespace {

class OptionTexts : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        opts = opt_block{};
        make_workbench();
        ASSERT_EQ(read_ini_file(nullptr, nullptr, 1), 1);
    }
    void close_windows() override {
        ShellWorkbenchTest::close_windows();
        opts = opt_block{};
    }
    static std::string label(HWND d, int id) {
        char buf[160] = {};
        GetDlgItemText(d, id, buf, sizeof buf);
        return buf;
    }
};

// Each style a font has is named on its button, in a fixed order.
TEST_F(OptionTexts, FontButtonsNameEveryStyleOfTheFont) {
    font_spec& eq = opts.fonts[of_equation];
    std::snprintf(eq.face, sizeof eq.face, "%s", "Courier");
    eq.size = 12;
    eq.style = font_bold | font_italic | font_underline | font_strikeout;
    font_spec& normal = opts.fonts[of_normal];
    std::snprintf(normal.face, sizeof normal.face, "%s", "Serif");
    normal.size = 8;
    normal.style = font_underline;
    std::string eq_label, normal_label;
    answerer::dialog(dlg_options)
        .call([&](HWND d) {
            eq_label = label(d, ido_font_equation);
            normal_label = label(d, ido_font_normal);
        })
        .press(IDCANCEL);
    options_dialog(302);
    EXPECT_EQ(eq_label, "Equation Editor - Courier, 12 pt, bold, italic, underlined, struck out");
    EXPECT_EQ(normal_label, "Normal - Serif, 8 pt, underlined");
}

// A print size too large for a number (it reads as infinite) is refused like
// a size of 0, and the dialog stays open for a size that reads.
TEST_F(OptionTexts, PrintSizesBeyondAnyNumberAreRefused) {
    opts.metric = 0;
    std::vector<bool> open_after;
    answerer::box(severity_caption(8)).text("width").press(IDOK);
    answerer::box(severity_caption(8)).text("height").press(IDOK);
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) {
            CheckDlgButton(d, idp_set_size, BST_CHECKED);
            SendMessage(d, WM_COMMAND, idp_set_size, 0);
            CheckDlgButton(d, idp_width_check, BST_CHECKED);
            CheckDlgButton(d, idp_height_check, BST_CHECKED);
            SetDlgItemText(d, idp_width, "1e39");
            SetDlgItemText(d, idp_height, "3");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            open_after.push_back(IsWindow(d) != 0);
            SetDlgItemText(d, idp_width, "4.5");
            SetDlgItemText(d, idp_height, "inf");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            open_after.push_back(IsWindow(d) != 0);
            SetDlgItemText(d, idp_height, "2.25");
        })
        .press(IDOK);
    EXPECT_EQ(print_options_dialog(1), 1);
    EXPECT_EQ(open_after, std::vector<bool>({true, true}));
    EXPECT_FLOAT_EQ(opts.print_width, 4.5f);
    EXPECT_FLOAT_EQ(opts.print_height, 2.25f);
}

// A size with anything but blanks after its number is refused: "12x" is not
// twelve points.
TEST_F(OptionTexts, AFontSizeWithTextAfterItsNumberIsRefused) {
    font_spec f{};
    ASSERT_EQ(read_font_spec(&f, "Courier|10||", nullptr), 1);
    bool open_after = false;
    answerer::box(severity_caption(8)).text("size").press(IDOK);
    answerer::dialog(dlg_font_select)
        .call([&](HWND d) {
            SetDlgItemText(d, idf_size, "12x");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            open_after = IsWindow(d) != 0;
        })
        .set_text(idf_size, "14 ")
        .press(IDOK);
    EXPECT_EQ(choose_font(&f, 0), 2);
    EXPECT_TRUE(open_after);
    EXPECT_EQ(f.size, 14);
}

// The example shows the font being described: a size the dialog would refuse
// (past 127 points) leaves it at the last size that reads.
TEST_F(OptionTexts, TheExampleKeepsItsSizeWhileTheTypedSizeIsOutOfRange) {
    font_spec f{};
    ASSERT_EQ(read_font_spec(&f, "Courier|10||", nullptr), 1);
    QImage at_ten, at_128, at_larger;
    answerer::dialog(dlg_font_select)
        .call([&](HWND d) {
            HWND example = GetDlgItem(d, idf_example);
            ASSERT_NE(example, nullptr);
            auto shown = [&](const char* size) {
                SetDlgItemText(d, idf_size, size);
                SendMessage(d, WM_COMMAND, MAKEWPARAM(idf_size, EN_CHANGE),
                            reinterpret_cast<LPARAM>(GetDlgItem(d, idf_size)));
                test_driver::run_until_idle();
                return test_driver::image(example);
            };
            at_ten = shown("10");
            at_128 = shown("128");
            at_larger = shown("24");
        })
        .press(IDCANCEL);
    EXPECT_EQ(choose_font(&f, 0), 0);
    ASSERT_FALSE(at_ten.isNull());
    EXPECT_NE(at_larger, at_ten) << "the example follows a size that reads";
    EXPECT_EQ(at_128, at_ten);
}

std::vector<std::string>& warnings() {
    static std::vector<std::string> w;
    return w;
}
int keep_warning(int kind, const char*, const char* text) {
    if (kind == 3) warnings().push_back(text ? text : "");
    return 0;
}

// A long unread setting is cut at 80 characters and the cut is marked; its
// control characters show as blanks.
TEST_F(OptionTexts, AnUnreadSettingsLongValueIsCutVisibly) {
    message_hook old = current_message_hook();
    set_message_hook(keep_warning);
    warnings().clear();
    forget_reported_settings();
    const std::string value = std::string(75, '7') + "x\tabcdefghij";
    report_unread_setting("ErrDim", value.c_str());
    report_unread_setting("SelDim", "1,\t2");
    set_message_hook(old);
    ASSERT_EQ(warnings().size(), 2u);
    EXPECT_NE(warnings()[0].find("(\"" + std::string(75, '7') + "x abc...\")"), std::string::npos)
        << warnings()[0];
    EXPECT_NE(warnings()[1].find("(\"1, 2\")"), std::string::npos) << warnings()[1];
    forget_reported_settings();
}

} // namespace

// The option dialogs driven through the answerer, the settings written at
// exit and read at the next start, the floating windows' placement and
// saved positions, the history window and fonts.
#include "shell_fixture.h"

#include "foundation/errlog.h"
#include "model/model.h"
#include "platform/print.h"
#include "resources/menus.h"
#include "resources/options.h"
#include "resources/panel.h"
#include "resources/template_parts.h"
#include "shell/controlpanel.h"
#include "shell/controls/buttons.h"
#include "shell/controls/colorpick.h"
#include "shell/dialogs.h"
#include "shell/floats.h"
#include "shell/fonts.h"
#include "shell/history.h"
#include "shell/options.h"
#include "shell/settings_io.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/winlist.h"

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

namespace td = test_driver;

namespace {

class Options : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        opts = opt_block{};
        float_opts = 0;
        make_workbench();
        ini_path = dir + "/kavread.ini";
        ASSERT_EQ(read_ini_file(nullptr, nullptr, 1), 1); // written fresh
    }
    void close_windows() override {
        if (HWND h = history_hwnd()) DestroyWindow(h);
        for (int k = 0; k < fw_count; ++k) set_float_window(static_cast<float_kind>(k), nullptr);
        ShellWorkbenchTest::close_windows();
        opts = opt_block{};
        float_opts = 0;
    }
    std::string ini_text() const { return read_file(ini_path); }

    // The dialog's image (its frame grabbed with the controls).
    static QImage grab(HWND dialog) {
        QWidget* w = win_widget(dialog);
        return w ? w->grab().toImage() : QImage();
    }
    // Saves a dialog's picture and checks it shows controls: more than a few
    // colours, and dark text pixels.
    void check_picture(HWND dialog, const char* name) {
        QImage img = grab(dialog);
        ASSERT_FALSE(img.isNull());
        std::string path = testing::TempDir() + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path)));
        std::set<QRgb> colours;
        int dark = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                QRgb c = img.pixel(x, y);
                colours.insert(c);
                if (qGray(c) < 60) ++dark;
            }
        EXPECT_GT(colours.size(), 3u) << name;
        EXPECT_GT(dark, 200) << name;
        EXPECT_GT(img.width(), 200);
    }

    std::string ini_path;
};

TEST_F(Options, MarkersWithColourGiveC1InEveryModeAndAreWritten) {
    answerer::dialog(dlg_options)
        .check(ido_markers)
        .check(ido_color)
        .check(ido_pagemarks)
        .set_text(ido_row, "L*")
        .set_text(ido_col, "K")
        .press(IDOK);
    EXPECT_EQ(options_dialog(302), 1);
    for (std::uint8_t m : opts.colour_modes) EXPECT_EQ(m, 0xC1);
    EXPECT_EQ(opts.sketch_positioning, 1);
    EXPECT_EQ(opts.r1c1_row, 'L');
    EXPECT_EQ(opts.r1c1_col, 'K');
    EXPECT_EQ(opts.r1c1_star, 1);
    std::string text = ini_text();
    EXPECT_NE(text.find("GraphicsOpt=-63,-63,-63,0,"), std::string::npos) << text;
    EXPECT_NE(text.find("XlsOptions=76,75,1,"), std::string::npos) << text;
    EXPECT_NE(text.find("size_options=0,1,"), std::string::npos) << text;

    // Markers off and monochrome with solid lines: the top bits go.
    answerer::dialog(dlg_options)
        .check(ido_markers, false)
        .check(ido_mono)
        .check(ido_solid)
        .press(IDOK);
    EXPECT_EQ(options_dialog(302), 1);
    for (std::uint8_t m : opts.colour_modes) EXPECT_EQ(m, cm_mono | cm_solid);
}

// A settings file that cannot be made (its folder is gone): Options says so
// once, naming the file and the reason, and both dialogs still open on this
// session's settings; the save after OK is not said again.
TEST_F(Options, WithASettingsFileThatCannotBeMadeTheDialogsStillOpen) {
    const std::string orphan = dir + "/gone/kavread.ini";
    ASSERT_EQ(read_ini_file(orphan.c_str(), nullptr, 1), -2);
    answerer::box(severity_caption(8)).text(orphan).press(IDOK);
    answerer::dialog(dlg_options).check(ido_markers).check(ido_color).press(IDOK);
    EXPECT_EQ(options_dialog(302), 1);
    EXPECT_EQ(opts.colour_modes[0] & 0xC0, 0xC0); // the session has the choice
    answerer::dialog(dlg_units).press(IDCANCEL);
    EXPECT_EQ(units_equivalences_dialog(), 0);
    for (const std::string& text : seen_texts())
        EXPECT_EQ(text.find("Unable to read"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(dir + "/gone"));
}

TEST_F(Options, CancelWritesNothing) {
    ASSERT_EQ(write_settings(0), 1);
    std::string before = ini_text();
    answerer::dialog(dlg_options).check(ido_markers).check(ido_color).press(IDCANCEL);
    EXPECT_EQ(options_dialog(302), 0);
    EXPECT_EQ(ini_text(), before);
    EXPECT_EQ(opts.colour_modes[0], 0);

    answerer::dialog(dlg_print_options).check(idp_landscape).press(IDCANCEL);
    EXPECT_EQ(print_options_dialog(0), 0);
    EXPECT_EQ(opts.orientation, 0);
}

TEST_F(Options, AnEmptyRowLetterIsRefusedAndTheDialogStaysOpen) {
    bool open_after = false;
    answerer::box(severity_caption(8)).text("letter of R1C1 rows").press(IDOK);
    answerer::dialog(dlg_options)
        .call([&](HWND d) {
            SetDlgItemText(d, ido_row, "");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            open_after = IsWindow(d) && IsWindowVisible(d);
            SetDlgItemText(d, ido_row, "Q");
        })
        .press(IDOK);
    EXPECT_EQ(options_dialog(302), 1);
    EXPECT_TRUE(open_after);
    EXPECT_EQ(opts.r1c1_row, 'Q');
}

TEST_F(Options, RowAndColumnLettersFollowOneRule) {
    // Each text is refused in either box (the row box may add "*").
    std::vector<std::pair<int, std::string>> tries = {
        {ido_col, "5x!"}, {ido_row, "5x!"}, {ido_col, "KX"}, {ido_row, "LX"},
        {ido_col, "K*"},  {ido_row, "*"},   {ido_col, "7"},  {ido_row, "l**"}};
    for (const auto& t : tries)
        answerer::box(severity_caption(8))
            .text(t.first == ido_row ? "letter of R1C1 rows" : "letter of R1C1 columns")
            .press(IDOK);
    answerer::box(severity_caption(8)).text("must differ").press(IDOK);
    int still_open = 0;
    answerer::dialog(dlg_options)
        .call([&](HWND d) {
            for (const auto& t : tries) {
                SetDlgItemText(d, ido_row, "R");
                SetDlgItemText(d, ido_col, "C");
                SetDlgItemText(d, t.first, t.second.c_str());
                SendMessage(d, WM_COMMAND, IDOK, 0);
                if (IsWindow(d) && IsWindowVisible(d)) ++still_open;
            }
            SetDlgItemText(d, ido_row, "k");
            SetDlgItemText(d, ido_col, "K");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            if (IsWindow(d) && IsWindowVisible(d)) ++still_open;
            SetDlgItemText(d, ido_row, " z* ");
            SetDlgItemText(d, ido_col, "y");
        })
        .press(IDOK);
    EXPECT_EQ(options_dialog(302), 1);
    EXPECT_EQ(still_open, static_cast<int>(tries.size()) + 1);
    EXPECT_EQ(opts.r1c1_row, 'z');
    EXPECT_EQ(opts.r1c1_star, 1);
    EXPECT_EQ(opts.r1c1_col, 'y');
}

// The units equivalences: read from the settings file when the dialog opens,
// edited, and written back on OK; at most 32 lines.
TEST_F(Options, UnitsEquivalencesAreEditedAndKeptInTheSettingsFile) {
    ini_set("Units0", "Dollar,$");
    ini_set("Units1", "Hour,Hours");
    ASSERT_GT(write_ini_file(2), 0);
    auto list_of = [](HWND d) { return test_driver::list_texts(GetDlgItem(d, idu_list)); };
    auto select = [](HWND d, int i) {
        SendDlgItemMessage(d, idu_list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
        SendMessage(d, WM_COMMAND, MAKEWPARAM(idu_list, LBN_SELCHANGE),
                    reinterpret_cast<LPARAM>(GetDlgItem(d, idu_list)));
    };
    std::vector<std::string> at_start, after_add, after_edit;
    std::string edit_after_no, edit_after_yes;
    answerer::box(question_caption).text("abandon what you are currently editing").press(IDNO);
    answerer::box(question_caption).text("abandon what you are currently editing").press(IDYES);
    answerer::box(severity_caption(8)).text("Can only have 32 equivalences").press(IDOK);
    answerer::dialog(dlg_units)
        .call([&](HWND d) {
            at_start = list_of(d);
            SetDlgItemText(d, idu_edit, " Day , Days ,, ");
            SendMessage(d, WM_COMMAND, idu_add, 0);
            after_add = list_of(d);
            SetDlgItemText(d, idu_edit, "Week");
            select(d, 0); // No: the edit stays
            edit_after_no = test_driver::item_text(d, idu_edit);
            select(d, 0); // Yes: the entry comes into the box
            edit_after_yes = test_driver::item_text(d, idu_edit);
            SetDlgItemText(d, idu_edit, "Dollar,$,Dollars");
            SendMessage(d, WM_COMMAND, idu_modify, 0);
            select(d, 1);
            SendMessage(d, WM_COMMAND, idu_delete, 0);
            after_edit = list_of(d);
            // Fill up to the limit: the 33rd is refused.
            for (int i = static_cast<int>(after_edit.size()); i <= 32; ++i) {
                std::string u = "u" + std::to_string(i) + ",v";
                SetDlgItemText(d, idu_edit, u.c_str());
                SendMessage(d, WM_COMMAND, idu_add, 0);
            }
            EXPECT_EQ(list_of(d).size(), 32u);
            CheckDlgButton(d, idu_strictest, BST_CHECKED);
        })
        .press(IDOK);
    EXPECT_EQ(units_equivalences_dialog(), 1);
    EXPECT_EQ(at_start, (std::vector<std::string>{"Dollar,$", "Hour,Hours"}));
    EXPECT_EQ(after_add, (std::vector<std::string>{"Dollar,$", "Hour,Hours", "Day,Days"}));
    EXPECT_EQ(edit_after_no, "Week");
    EXPECT_EQ(edit_after_yes, "Dollar,$");
    EXPECT_EQ(after_edit, (std::vector<std::string>{"Dollar,$,Dollars", "Day,Days"}));
    const std::string text = ini_text();
    EXPECT_NE(text.find("Units0=Dollar,$,Dollars"), std::string::npos) << text;
    EXPECT_NE(text.find("Units1=Day,Days"), std::string::npos) << text;
    EXPECT_NE(text.find("Units31=u31,v"), std::string::npos) << text;
    EXPECT_EQ(text.find("Units32="), std::string::npos) << text;
    EXPECT_NE(text.find("UnitsStrictest=1"), std::string::npos) << text;

    // Cancel writes nothing.
    answerer::dialog(dlg_units)
        .call([&](HWND d) { SendMessage(d, WM_COMMAND, idu_get_default, 0); })
        .press(IDCANCEL);
    EXPECT_EQ(units_equivalences_dialog(), 0);
    EXPECT_EQ(ini_text(), text);
}

// A sketch-settings page hands OK and Cancel to the dialog two levels up and
// edits the font it was given.
TEST_F(Options, SketchSettingsPagePassesOkAndCancelUpAndChoosesItsFont) {
    static std::vector<WPARAM> heard;
    heard.clear();
    HWND sheet = make_test_window(
        "KavrelTestSheet",
        [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_COMMAND) heard.push_back(wp);
            return DefWindowProc(w, m, wp, lp);
        },
        WS_POPUP | WS_VISIBLE, 300, 200);
    HWND middle =
        make_test_window("KavrelTestMiddle", DefWindowProc, WS_CHILD | WS_VISIBLE, 280, 180, sheet);
    ASSERT_NE(middle, nullptr);
    DialogTemplate t =
        template_parts::frame(9901, WS_CHILD | WS_VISIBLE | DS_SETFONT, nullptr, 150, 60);
    t.items = {{WC_BUTTON, ids_sketch_font, "Font - M", WS_VISIBLE | WS_TABSTOP, 5, 5, 140, 14}};
    dlg_register_template(t);
    font_spec f{};
    ASSERT_EQ(read_font_spec(&f, "Courier|10||", nullptr), 1);
    HWND page = CreateDialogParam(hinst, MAKEINTRESOURCE(9901), middle, sketchset_proc,
                                  reinterpret_cast<LPARAM>(&f));
    ASSERT_NE(page, nullptr);
    SendMessage(page, WM_COMMAND, IDOK, 0);
    SendMessage(page, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(heard, (std::vector<WPARAM>{IDOK, IDCANCEL}));
    answerer::dialog(dlg_font_select).set_text(idf_size, "12").press(IDOK);
    SendMessage(page, WM_COMMAND, ids_sketch_font, 0);
    EXPECT_EQ(f.size, 12);
    char label[64] = {};
    GetDlgItemText(page, ids_sketch_font, label, sizeof label);
    EXPECT_STREQ(label, "Font - Courier, 12 pt");
    DestroyWindow(sheet);
}

TEST_F(Options, PrintOptionsRefuseZeroPercentAndNonPositiveSizes) {
    opts.metric = 1;
    std::vector<bool> open_after;
    auto try_ok = [&](HWND d) {
        SendMessage(d, WM_COMMAND, IDOK, 0);
        open_after.push_back(IsWindow(d) != 0);
    };
    answerer::box(severity_caption(8)).text("percentage").press(IDOK);
    answerer::box(severity_caption(8)).text("percentage").press(IDOK);
    answerer::box(severity_caption(8)).text("width").press(IDOK);
    answerer::box(severity_caption(8)).text("height").press(IDOK);
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) {
            CheckDlgButton(d, idp_print_at, BST_CHECKED);
            SetDlgItemText(d, idp_percent, "0");
            try_ok(d);
            SetDlgItemText(d, idp_percent, "ten");
            try_ok(d);
            SetDlgItemText(d, idp_percent, "50");
            CheckDlgButton(d, idp_set_size, BST_CHECKED);
            SendMessage(d, WM_COMMAND, idp_set_size, 0);
            CheckDlgButton(d, idp_width_check, BST_CHECKED);
            CheckDlgButton(d, idp_height_check, BST_CHECKED);
            SetDlgItemText(d, idp_width, "-2");
            try_ok(d);
            SetDlgItemText(d, idp_width, "25.4");
            SetDlgItemText(d, idp_height, "0");
            try_ok(d);
            SetDlgItemText(d, idp_height, "12.7");
            SetDlgItemText(d, idp_comment, "For review");
            CheckDlgButton(d, idp_best, BST_UNCHECKED);
            CheckDlgButton(d, idp_landscape, BST_CHECKED);
        })
        .press(IDOK);
    EXPECT_EQ(print_options_dialog(1), 1);
    EXPECT_EQ(open_after, std::vector<bool>({true, true, true, true}));
    EXPECT_EQ(opts.print_percent, 50);
    EXPECT_EQ(opts.sizing, sz_percent | sz_width | sz_height);
    // Centimetres typed while the locale is metric.
    EXPECT_NEAR(opts.print_width, 10.0f, 1e-4);
    EXPECT_NEAR(opts.print_height, 5.0f, 1e-4);
    EXPECT_EQ(opts.orientation, 1);
    EXPECT_EQ(opts.print_comment, "For review");
}

TEST_F(Options, PrintOptionsWithoutAnOutputDisableTheChoicesAndShowSizes) {
    opts.metric = 0;
    opts.sizing = sz_width;
    opts.print_width = 7.5f;
    std::string width;
    bool all_enabled = true, percent_enabled = true;
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) {
            char buf[32] = {};
            GetDlgItemText(d, idp_width, buf, sizeof buf);
            width = buf;
            all_enabled = IsWindowEnabled(GetDlgItem(d, idp_all));
            percent_enabled = IsWindowEnabled(GetDlgItem(d, idp_percent));
        })
        .press(IDOK);
    EXPECT_EQ(print_options_dialog(0), 1);
    EXPECT_EQ(width, "7.5");
    EXPECT_FALSE(all_enabled);
    EXPECT_FALSE(percent_enabled);
    EXPECT_EQ(opts.sizing, sz_width);
    EXPECT_EQ(opts.print_percent, 100);
}

TEST_F(Options, PrintOptionsSetupGivesThePrintersPageSetupAndTheDialogStays) {
    // The printer's own page set-up: landscape on A3 is kept by the printer
    // for the jobs that follow; the Print Options dialog stays open.
    bool still_open = false;
    answerer::dialog("Printer Setup")
        .call([](HWND d) {
            CheckRadioButton(d, 101, 102, 102);
            HWND paper = GetDlgItem(d, 103);
            const LRESULT n = SendMessage(paper, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < n; ++i) {
                char text[32] = {};
                SendMessage(paper, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
                if (std::string(text) == "A3") SendMessage(paper, CB_SETCURSEL, i, 0);
            }
        })
        .press(IDOK);
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) {
            SendMessage(GetDlgItem(d, idp_setup), BM_CLICK, 0, 0);
            still_open = IsWindow(d) != FALSE;
        })
        .press(IDCANCEL);
    print_options_dialog(0);
    EXPECT_TRUE(still_open);
    EXPECT_EQ(answerer::pending(), 0u);
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinter(nullptr, &printer, nullptr));
    DEVMODE mode{};
    ASSERT_EQ(DocumentProperties(nullptr, printer, nullptr, &mode, nullptr, DM_OUT_BUFFER), IDOK);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_A3);
    // The printer gets back what it had.
    DEVMODE back = mode;
    back.dmOrientation = DMORIENT_PORTRAIT;
    back.dmPaperSize = DMPAPER_A4;
    back.dmFields = DM_ORIENTATION | DM_PAPERSIZE;
    DocumentProperties(nullptr, printer, nullptr, &mode, &back, DM_IN_BUFFER | DM_OUT_BUFFER);
    ClosePrinter(printer);
}

TEST_F(Options, FontSelectionResults) {
    font_spec f{};
    ASSERT_EQ(read_font_spec(&f, "Courier|10||", nullptr), 1);
    answerer::dialog(dlg_font_select).press(IDCANCEL);
    EXPECT_EQ(choose_font(&f, 0), 0);
    answerer::dialog(dlg_font_select).press(IDOK);
    EXPECT_EQ(choose_font(&f, 0), 1);
    EXPECT_EQ(font_spec_text(f), "Courier|10||0-0-0");

    bool open_after = false;
    answerer::box(severity_caption(8)).text("size").press(IDOK);
    answerer::dialog(dlg_font_select)
        .call([&](HWND d) {
            SetDlgItemText(d, idf_size, "big");
            SendMessage(d, WM_COMMAND, IDOK, 0);
            open_after = IsWindow(d) != 0;
        })
        .set_text(idf_size, "14")
        .set_text(idf_face, "Serif Face With A Very Long Name Beyond Thirty-One")
        .check(idf_bold)
        .check(idf_underline)
        .press(IDOK);
    EXPECT_EQ(choose_font(&f, 0), 2);
    EXPECT_TRUE(open_after);
    EXPECT_EQ(f.size, 14);
    EXPECT_EQ(f.style, font_bold | font_underline);
    EXPECT_EQ(std::string(f.face).size(), 31u);
}

// The colour button of Font Selection shows the font's colour and picks a
// new one through the picker; "none" gives the default colour back.
TEST_F(Options, FontSelectionColourButtonPicksTheFontsColour) {
    font_spec f{};
    ASSERT_EQ(read_font_spec(&f, "Courier|10||0-0-255", nullptr), 1);
    COLORREF shown = 0;
    answerer::dialog(dlg_font_select)
        .call([&](HWND d) {
            HWND button = GetDlgItem(d, idf_colour);
            ASSERT_NE(button, nullptr);
            shown = static_cast<COLORREF>(SendMessage(button, cb_get_colour, 0, 0));
            td::on_idle([] {
                HWND p = picker_window();
                ASSERT_NE(p, nullptr);
                RECT r = picker_cell_rect(8 * 3 + 3); // 0062A040
                td::mouse_down(p, r.left + 4, r.top + 4);
                td::mouse_up(p, r.left + 4, r.top + 4);
                td::run_until_idle();
                PostMessage(nullptr, WM_NULL, 0, 0);
            });
            td::advance(1000);
            td::click(button, 5, 5);
            td::run_until_idle();
        })
        .press(IDOK);
    EXPECT_EQ(choose_font(&f, 0), 2);
    EXPECT_EQ(shown, RGB(0, 0, 255));
    EXPECT_EQ(f.colour, 0x0062A040u);
    EXPECT_EQ(font_spec_text(f), "Courier|10||64-160-98");

    // "none" (the top-left cell, allowed here) is the default colour.
    answerer::dialog(dlg_font_select)
        .call([&](HWND d) {
            SendDlgItemMessage(d, idf_colour, cb_set_colour, 0, static_cast<LPARAM>(no_colour));
            SendMessage(d, WM_COMMAND, idf_colour, 0);
        })
        .press(IDOK);
    EXPECT_EQ(choose_font(&f, 0), 2);
    EXPECT_EQ(f.colour, no_colour);
}

TEST_F(Options, AFontButtonOpensFontSelectionAndTheNewFontIsKept) {
    answerer::dialog(dlg_font_select).set_text(idf_size, "11").check(idf_italic).press(IDOK);
    std::string label, normal, tool, automatic;
    answerer::dialog(dlg_options)
        .call([&](HWND d) {
            char first[128] = {};
            GetDlgItemText(d, ido_font_normal, first, sizeof first);
            normal = first;
            GetDlgItemText(d, ido_font_tool, first, sizeof first);
            tool = first;
            GetDlgItemText(d, ido_test, first, sizeof first);
            automatic = first;
            SendMessage(d, WM_COMMAND, ido_font_equation, 0);
            char buf[128] = {};
            GetDlgItemText(d, ido_font_equation, buf, sizeof buf);
            label = buf;
        })
        .press(IDOK);
    EXPECT_EQ(options_dialog(302), 1);
    // The buttons show the face and size as a person reads them, not the
    // settings' text form.
    EXPECT_EQ(normal, "Normal - MS Sans Serif, 9 pt");
    EXPECT_EQ(tool, "Tool Font Face - Times New Roman");
    EXPECT_EQ(label, "Equation Editor - MS Sans Serif, 11 pt, italic");
    EXPECT_EQ(automatic, "Test");
    EXPECT_EQ(opts.fonts[of_equation].size, 11);
    EXPECT_EQ(opts.fonts[of_equation].style, font_italic);
    EXPECT_EQ(opts.fonts[of_normal].size, 9);
    EXPECT_NE(ini_text().find("CDialogFont=Small Fonts|7||,MS Sans Serif|9||,MS Sans "
                              "Serif|11|I|,"),
              std::string::npos);
}

// The open Control Panel draws with the dialog font: a new font reaches it,
// its page and its tabs, and the old font object is deleted only after.
TEST_F(Options, ANewDialogFontReachesTheOpenControlPanelBeforeTheOldOneIsFreed) {
    apply_dialog_fonts(); // the settings name a dialog font
    control_tab = tab_scaling;
    control_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    ASSERT_NE(control_wnd, nullptr);
    auto font_of = [](HWND w) { return reinterpret_cast<HFONT>(SendMessage(w, WM_GETFONT, 0, 0)); };
    auto height_of = [](HFONT f) {
        LOGFONT lf{};
        return GetObject(f, sizeof lf, &lf) ? std::abs(lf.lfHeight) : 0L;
    };
    HFONT before = font_of(control_wnd);
    ASSERT_EQ(GetObjectType(before), static_cast<DWORD>(OBJ_FONT));
    const long height_before = height_of(before);
    RECT check{};
    GetWindowRect(GetDlgItem(control_wnd, idc_keep_on_top), &check);
    const long check_width_before = check.right - check.left;
    ASSERT_GT(height_before, 0);
    HFONT in_dialog = nullptr;
    answerer::dialog(dlg_font_select).set_text(idf_size, "14").press(IDOK);
    answerer::dialog(dlg_options)
        .call([&](HWND d) {
            in_dialog = font_of(d);
            SendMessage(d, WM_COMMAND, ido_font_normal, 0);
        })
        .press(IDOK);
    EXPECT_EQ(options_dialog(302), 1);
    EXPECT_EQ(in_dialog, before); // the Options dialog itself drew with it
    HFONT after = font_of(control_wnd);
    EXPECT_NE(after, before);
    ASSERT_EQ(GetObjectType(after), static_cast<DWORD>(OBJ_FONT));
    EXPECT_GT(height_of(after), height_before);
    ASSERT_NE(control_page, nullptr);
    EXPECT_EQ(font_of(control_page), after);
    EXPECT_EQ(font_of(GetDlgItem(control_wnd, idc_tabs)), after);
    EXPECT_EQ(control_tab, tab_scaling);
    // The bottom row's box is made to hold its text in it.
    GetWindowRect(GetDlgItem(control_wnd, idc_keep_on_top), &check);
    EXPECT_GT(check.right - check.left, check_width_before);
    EXPECT_TRUE(IsWindowVisible(control_page));
    // The old font went once nothing used it any more.
    EXPECT_EQ(GetObjectType(before), 0u);
    control_panel(-1, -1, -1, -1, -1);
}

TEST_F(Options, SettingsComeBackAtTheNextStart) {
    opts.orientation = 2;
    opts.custom_colours[7] = static_cast<std::uint32_t>(make_colour(1, 2, 3));
    float_opts = fo_control_on_top | fo_wip_graph;
    ASSERT_EQ(write_settings(0), 1);
    std::string text = ini_text();
    EXPECT_NE(text.find("CustomColor 7=1-2-3"), std::string::npos);
    EXPECT_NE(text.find("ScreenOpt2=9,"), std::string::npos);
    EXPECT_EQ(text.find("FragmentAddIn"), std::string::npos);

    opts = opt_block{};
    float_opts = 0;
    write_ini_file(0);
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 1), 1);
    read_settings_rows();
    EXPECT_EQ(opts.orientation, 2);
    EXPECT_EQ(opts.custom_colours[7], static_cast<std::uint32_t>(make_colour(1, 2, 3)));
    EXPECT_EQ(float_opts, fo_control_on_top | fo_wip_graph);
}

TEST_F(Options, ScreenshotsOfTheThreeOptionDialogs) {
    answerer::dialog(dlg_options)
        .call([&](HWND d) { check_picture(d, "kavrel_options.png"); })
        .press(IDCANCEL);
    options_dialog(302);
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) { check_picture(d, "kavrel_print_options.png"); })
        .press(IDCANCEL);
    print_options_dialog(0);
    font_spec f{};
    read_font_spec(&f, "Serif|14|B|", nullptr);
    answerer::dialog(dlg_font_select)
        .call([&](HWND d) {
            check_picture(d, "kavrel_font_selection.png");
            // The example shows the face's kind and name in the chosen font.
            QImage ex = grab(GetDlgItem(d, idf_example));
            int dark = 0;
            for (int y = 0; y < ex.height(); ++y)
                for (int x = 0; x < ex.width(); ++x) dark += qGray(ex.pixel(x, y)) < 80;
            EXPECT_GT(dark, 30);
        })
        .press(IDCANCEL);
    choose_font(&f, 0);
}

// ------------------------------------------------------ floating windows ---

TEST_F(Options, ContainerClampKeepsFloatsInside) {
    HWND f = make_test_window("KavrelTestFloat", DefWindowProc, WS_CHILD | WS_VISIBLE, 50, 40,
                              container_wnd);
    ASSERT_NE(f, nullptr);
    RECT c{};
    GetClientRect(container_wnd, &c);
    place_in_container(f, c.right + 500, -20, 50, 40, SWP_NOZORDER);
    POINT o = window_origin(f, container_wnd);
    EXPECT_EQ(o.x, c.right - 30);
    EXPECT_EQ(o.y, 0);
    // Below the bottom: the top edge comes back to 30 pixels above it, from
    // the container's height whatever its width.
    place_in_container(f, 10, c.bottom + 400, 50, 40, SWP_NOZORDER);
    o = window_origin(f, container_wnd);
    EXPECT_EQ(o.x, 10);
    EXPECT_EQ(o.y, c.bottom - 30);
    // Larger than the container: cut to it.
    place_in_container(f, 0, 0, c.right + 100, c.bottom + 100, SWP_NOZORDER);
    RECT wr{};
    GetWindowRect(f, &wr);
    EXPECT_EQ(wr.right - wr.left, c.right);
    EXPECT_EQ(wr.bottom - wr.top, c.bottom);
    EXPECT_EQ(clamp_value(12, -5), 0); // a container narrower than 30 pixels
    EXPECT_EQ(clamp_value(-3, 100), 0);
    EXPECT_EQ(clamp_value(130, 100), 100);

    // A window left of its parent keeps its negative x as a point.
    SetWindowPos(f, nullptr, -25, 7, 50, 40, SWP_NOZORDER);
    o = window_origin(f, container_wnd);
    EXPECT_EQ(o.x, -25);
    EXPECT_EQ(o.y, 7);
}

TEST_F(Options, KeptOnTopPanelStaysAboveAWindowBroughtForward) {
    HWND panel = make_test_window("KavrelTestFloat", DefWindowProc, WS_CHILD | WS_VISIBLE, 80, 80,
                                  container_wnd);
    HWND build = make_test_window("KavrelTestFloat", DefWindowProc, WS_CHILD | WS_VISIBLE, 80, 80,
                                  container_wnd);
    set_float_window(fw_control, panel);
    SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    float_opts = fo_control_on_top;
    place_under_floats(build, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(panel, GW_HWNDNEXT), build);
    // The sketch's "back under the floats" value.
    SetWindowPos(build, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    place_under_floats_b(build, 0, 0, 0, 0, place_back_under);
    EXPECT_EQ(GetWindow(panel, GW_HWNDNEXT), build);
    // Fill the container.
    place_under_floats_b(build, 5, 5, 5, 5, place_fill);
    RECT c{}, r{};
    GetClientRect(container_wnd, &c);
    GetClientRect(build, &r);
    EXPECT_EQ(r.right, c.right);
    // Without the bit, a plain placement.
    float_opts = 0;
    SetWindowPos(build, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    place_under_floats(build, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(build, GW_HWNDNEXT), panel);
}

// --------------------------------------------------------- history window ---

class History : public Options {
protected:
    void make_log(const std::string& contents) {
        set_log_directories(dir.c_str(), dir.c_str());
        ASSERT_EQ(error_log(2), 1);
        error_log(0);
        std::ofstream out(error_log_path(), std::ios::binary | std::ios::trunc);
        out << contents;
    }
};

TEST_F(History, LinesOfAnyBytesAndLengthAreShownCut) {
    std::string log = "first line\r\n";
    log += std::string(2000, 'x') + "\n";
    log += std::string("bin\0ary\x01\xff", 9) + "\n";
    log += "last without newline";
    make_log(log);
    history_window(1, -1, -1, -1, -1);
    ASSERT_NE(history_hwnd(), nullptr);
    const auto& lines = history_lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "first line");
    EXPECT_EQ(lines[1].size(), 512u);
    EXPECT_EQ(lines[2], std::string("bin ary \xff", 9));
    EXPECT_EQ(lines[3], "last without newline");
    char title[64] = {};
    GetWindowText(history_hwnd(), title, sizeof title);
    EXPECT_STREQ(title, "Kavrel History and Error Log");
    td::run_until_idle();
}

TEST_F(History, OpenedOverADiagramItComesOnTop) {
    // A build window filling the container, brought forward (a model's
    // diagram): the history opened after it must show above it, not behind.
    make_log("one\n");
    HWND build = make_test_window("KavrelTestBuild", DefWindowProc, WS_CHILD | WS_VISIBLE, 400, 300,
                                  container_wnd);
    SetWindowPos(build, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    history_window(1, -1, -1, -1, -1);
    ASSERT_NE(history_hwnd(), nullptr);
    EXPECT_TRUE(IsWindowVisible(history_hwnd()));
    EXPECT_EQ(GetWindow(container_wnd, GW_CHILD), history_hwnd());
    // A panel kept on top stays above it.
    HWND panel = make_test_window("KavrelTestFloat", DefWindowProc, WS_CHILD | WS_VISIBLE, 80, 80,
                                  container_wnd);
    set_float_window(fw_control, panel);
    SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    float_opts = fo_control_on_top;
    DestroyWindow(history_hwnd());
    history_window(1, -1, -1, -1, -1);
    ASSERT_NE(history_hwnd(), nullptr);
    EXPECT_EQ(GetWindow(container_wnd, GW_CHILD), panel);
    EXPECT_EQ(GetWindow(panel, GW_HWNDNEXT), history_hwnd());
    float_opts = 0;
    set_float_window(fw_control, nullptr);
    DestroyWindow(panel);
    DestroyWindow(build);
}

TEST_F(History, AMissingLogGivesAMessageAndAnEmptyWindow) {
    make_log("");
    std::filesystem::remove(error_log_path());
    answerer::box(severity_caption(6)).text("Unable to read the error log").press(IDOK);
    history_window(1, -1, -1, -1, -1);
    ASSERT_NE(history_hwnd(), nullptr);
    EXPECT_TRUE(history_lines().empty());
}

TEST_F(History, SavedPositionsAreRestoredHiddenOrIgnored) {
    make_log("one\n");
    ini_set("Err History", "0-x=10,y=20,w=300,h=200");
    restore_float_positions();
    HWND h = history_hwnd();
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(IsWindowVisible(h));
    POINT o = window_origin(h, GetParent(h));
    RECT r{};
    GetWindowRect(h, &r);
    EXPECT_EQ(o.x, 10);
    EXPECT_EQ(o.y, 20);
    EXPECT_EQ(r.right - r.left, 300);

    // Saved again as open; closed, the key goes.
    save_window_positions();
    EXPECT_STREQ(ini_value("Err History"), "1-x=10,y=20,w=300,h=200");
    DestroyWindow(h);
    EXPECT_EQ(opts.err_dim[2], 300);
    save_window_positions();
    EXPECT_EQ(ini_value("Err History"), nullptr);

    for (const char* bad : {"1-x=50000,y=20,w=300,h=200", "1-x=10,y=20,w=300",
                            "1-x=-900,y=0,w=300,h=200", "1-x=0,y=0,w=0,h=0"}) {
        ini_set("Err History", bad);
        restore_float_positions();
        EXPECT_EQ(history_hwnd(), nullptr) << bad;
    }

    // The screen's edges: a window whose left is the screen's right edge (or
    // whose top is its bottom edge, or whose right edge is the screen's left)
    // has not a pixel on it and is not used; one pixel inside is.
    const int sw = screen_right > 0 ? screen_right : GetSystemMetrics(SM_CXSCREEN);
    const int sh = screen_bottom > 0 ? screen_bottom : GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(sw, 0);
    ASSERT_GT(sh, 0);
    const auto place = [](int x, int y) {
        return "1-x=" + std::to_string(x) + ",y=" + std::to_string(y) + ",w=300,h=200";
    };
    for (const std::string& off : {place(sw, 0), place(0, sh), place(-300, 0), place(0, -200)}) {
        ini_set("Err History", off.c_str());
        restore_float_positions();
        EXPECT_EQ(history_hwnd(), nullptr) << off;
    }
    for (const std::string& on : {place(sw - 1, 0), place(0, sh - 1), place(-299, 0)}) {
        ini_set("Err History", on.c_str());
        restore_float_positions();
        EXPECT_NE(history_hwnd(), nullptr) << on;
        if (HWND w = history_hwnd()) DestroyWindow(w);
    }
}

TEST_F(History, NewLinesOfTheLogAppearWhileTheWindowIsOpen) {
    make_log("one\n");
    history_window(1, 10, 10, 400, 200);
    ASSERT_NE(history_hwnd(), nullptr);
    ASSERT_EQ(history_lines().size(), 1u);
    {
        std::ofstream out(error_log_path(), std::ios::binary | std::ios::app);
        out << "two\nthree, half";
    }
    td::advance(600);
    td::run_until_idle();
    EXPECT_EQ(history_lines(), (std::vector<std::string>{"one", "two", "three, half"}));
    {
        std::ofstream out(error_log_path(), std::ios::binary | std::ios::app);
        out << " and the rest\r\n";
        for (int i = 0; i < 40; ++i) out << "line " << i << "\n";
    }
    td::advance(600);
    td::run_until_idle();
    ASSERT_EQ(history_lines().size(), 43u);
    EXPECT_EQ(history_lines()[2], "three, half and the rest");
    EXPECT_EQ(history_lines().back(), "line 39");
    // The view was at the end and stays there: the last line is in sight.
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(history_hwnd(), SB_VERT, &si);
    EXPECT_EQ(si.nPos + static_cast<int>(si.nPage), 43);
    // A log made afresh (shorter) is read again from its start.
    {
        std::ofstream out(error_log_path(), std::ios::binary | std::ios::trunc);
        out << "fresh\n";
    }
    td::advance(600);
    td::run_until_idle();
    EXPECT_EQ(history_lines(), (std::vector<std::string>{"fresh"}));
}

TEST_F(History, CloseEscapeAndFileCloseCloseTheWindowAndATitleDoubleClickDoesNotMaximise) {
    make_log("one\n");
    auto open = [&] {
        history_window(1, 20, 20, 400, 200);
        td::run_until_idle();
        return history_hwnd();
    };
    HWND h = open();
    ASSERT_NE(h, nullptr);
    HWND close = GetDlgItem(h, IDCANCEL);
    ASSERT_NE(close, nullptr);
    EXPECT_TRUE(IsWindowVisible(close));
    RECT cr{}, hr{};
    GetWindowRect(close, &cr);
    GetWindowRect(h, &hr);
    EXPECT_LE(cr.right, hr.right);
    EXPECT_LE(cr.bottom, hr.bottom);
    td::click(close, 5, 5);
    td::run_until_idle();
    EXPECT_EQ(history_hwnd(), nullptr);

    h = open();
    SetFocus(h);
    td::press_key(VK_ESCAPE);
    td::run_until_idle();
    EXPECT_EQ(history_hwnd(), nullptr);

    // Ctrl+W with the keyboard in the window closes the window, not the model.
    const bool model_open = model_is_open();
    h = open();
    SetFocus(h);
    td::press_key('W', td::ctrl);
    td::run_until_idle();
    EXPECT_EQ(history_hwnd(), nullptr);
    EXPECT_EQ(model_is_open(), model_open);

    // The window never becomes the active child, so File > Close stays the
    // model's command (the modal tests check what it does to the model).
    h = open();
    activate_window(h, 0, 0);
    td::run_until_idle();
    EXPECT_NE(active_child, h);

    // A double click on the title leaves the place as it was.
    h = open();
    RECT before{};
    GetWindowRect(h, &before);
    SendMessage(h, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
    SendMessage(h, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    td::run_until_idle();
    RECT after{};
    GetWindowRect(h, &after);
    EXPECT_FALSE(IsZoomed(h));
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
}

TEST_F(History, ASavedPlaceLargerThanTheContainerComesBackInsideIt) {
    make_log("one\n");
    RECT c{};
    GetClientRect(container_wnd, &c);
    // What a maximised window once saved: above the work area, and larger.
    ini_set("Err History", ("1-x=-4,y=-22,w=" + std::to_string(c.right + 8) +
                            ",h=" + std::to_string(c.bottom + 26))
                               .c_str());
    restore_float_positions();
    HWND h = history_hwnd();
    ASSERT_NE(h, nullptr);
    POINT o = window_origin(h, GetParent(h));
    RECT r{};
    GetWindowRect(h, &r);
    EXPECT_GE(o.x, 0);
    EXPECT_GE(o.y, 0);
    EXPECT_LE(r.right - r.left, c.right);
    EXPECT_LE(r.bottom - r.top, c.bottom);
}

// The reader gives the same lines whatever pieces the log arrives in.
TEST(HistoryReader, PiecesGiveTheLinesOfTheWhole) {
    std::string log = "first\r\n" + std::string(700, 'x') + "\r\nmid\tdle\x01\n\n" +
                      std::string(512, 'y') + "\r\n" + std::string(513, 'z') + "\rend";
    std::vector<std::string> whole;
    history_reader r;
    r.take(log.data(), log.size(), &whole);
    ASSERT_EQ(whole.size(), 6u);
    EXPECT_EQ(whole[0], "first");
    EXPECT_EQ(whole[1], std::string(512, 'x'));
    EXPECT_EQ(whole[2], "mid\tdle ");
    EXPECT_EQ(whole[3], "");
    EXPECT_EQ(whole[4], std::string(512, 'y'));
    EXPECT_EQ(whole[5], std::string(512, 'z'));
    EXPECT_EQ(r.taken(), log.size());
    for (std::size_t piece : {1u, 2u, 3u, 7u, 511u, 512u, 513u, 514u}) {
        std::vector<std::string> got;
        history_reader p;
        for (std::size_t at = 0; at < log.size(); at += piece)
            p.take(log.data() + at, std::min(piece, log.size() - at), &got);
        EXPECT_EQ(got, whole) << "pieces of " << piece;
    }
}

// ----------------------------------------------------------------- fonts ---

// The default printer is named alone, as the printer list names it (the
// profile string behind it also carries the driver and the port).
TEST_F(Options, TheDefaultPrinterIsNamedWithoutItsDriverAndPort) {
    const std::string name = default_printer_name();
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.find(','), std::string::npos) << name;
    EXPECT_TRUE(printer_known(name.c_str())) << name;
    const std::vector<std::string> all = printer_names();
    EXPECT_NE(std::find(all.begin(), all.end(), name), all.end());
    EXPECT_FALSE(printer_known((name + ",PDF").c_str()));
}

TEST_F(Options, MakeFontFollowsPointsStyleAndScale) {
    HDC dc = GetDC(nullptr);
    int ppi = GetDeviceCaps(dc, LOGPIXELSY);
    font_spec f{};
    read_font_spec(&f, "Serif|10|BV|", nullptr);
    LOGFONT lf = font_logfont(dc, f, 0);
    EXPECT_EQ(lf.lfHeight, -(10 * ppi / 72));
    if (ppi == 96) {
        EXPECT_EQ(lf.lfHeight, -13);
    }
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_EQ(lf.lfEscapement, 900);
    EXPECT_EQ(lf.lfItalic, 0);
    EXPECT_STREQ(lf.lfFaceName, "Serif");
    EXPECT_EQ(font_logfont(dc, f, 50).lfHeight, -(10 * ppi * 50 / 7200));
    EXPECT_EQ(font_logfont(dc, f, 100).lfHeight, lf.lfHeight);
    // Each style letter sets its own flag and no other.
    font_spec u{};
    read_font_spec(&u, "Serif|12|U|", nullptr);
    LOGFONT lu = font_logfont(dc, u, 0);
    EXPECT_EQ(lu.lfUnderline, 1);
    EXPECT_EQ(lu.lfStrikeOut, 0);
    EXPECT_EQ(lu.lfWeight, FW_NORMAL);
    EXPECT_EQ(lu.lfEscapement, 0);
    font_spec st{};
    read_font_spec(&st, "Serif|12|SI|", nullptr);
    LOGFONT ls = font_logfont(dc, st, 0);
    EXPECT_EQ(ls.lfUnderline, 0);
    EXPECT_EQ(ls.lfStrikeOut, 1);
    EXPECT_EQ(ls.lfItalic, 1);
    if (ppi == 96) {
        EXPECT_EQ(lu.lfHeight, -16); // 12 points at 96 pixels per inch
        EXPECT_EQ(font_logfont(dc, u, 150).lfHeight, -24);
    }
    HFONT made = make_font(dc, f, 0);
    EXPECT_NE(made, nullptr);
    DeleteObject(made);
    ReleaseDC(nullptr, dc);

    // The font list is sorted and has no repeats.
    const auto& list = font_list();
    ASSERT_FALSE(list.empty());
    for (std::size_t i = 1; i < list.size(); ++i) EXPECT_LT(list[i - 1].name, list[i].name);
    EXPECT_NE(find_font_family(list[0].name.c_str()), nullptr);
    EXPECT_EQ(find_font_family("No Such Face At All"), nullptr);
}

} // namespace

// The dialog opens on the graphs' modes as they are: markers shown only when
// a marker bit (0x40 or 0x80) is set, so OK without a change keeps the modes.
TEST_F(Options, OkWithoutAChangeKeepsTheMarkerChoiceOfTheGraphModes) {
    const struct {
        std::uint8_t mode;
        bool markers;
    } rows[] = {{0x3F & ~cm_kind, false}, {0x3F, false}, {0x40, true}, {0x80 | cm_colour, true}};
    for (const auto& r : rows) {
        for (std::uint8_t& m : opts.colour_modes) m = 0;
        opts.colour_modes[1] = r.mode;
        answerer::dialog(dlg_options).press(IDOK);
        EXPECT_EQ(options_dialog(302), 1);
        EXPECT_EQ((opts.colour_modes[1] & cm_markers) != 0, r.markers) << int(r.mode);
        if (r.markers) {
            EXPECT_EQ(opts.colour_modes[1] & cm_markers, cm_markers) << int(r.mode);
        }
    }
}

// Print Options on a diagram (the population sample, views "Population" and
// "Crowding"): the choices name the whole view, the selection and all views
// with their sizes, the title names the model and the view, and each choice
// prints what it says on the PDF printer.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "draw/drawing.h"
#include "draw/printing.h"
#include "platform/controls.h"
#include "platform/print.h"
#include "resources/dialogs.h"
#include "resources/options.h"
#include "shell/menucmd.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "sketch/commands.h"
#include "sketch/overlays.h"
#include "tests/common/command_output.h"
#include "tests/common/env_override.h"
#include "tests/common/packages.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/window_fixture.h"

namespace td = test_driver;

namespace {

class DiagramPrintChoices : public SketchWindow {
protected:
    void SetUp() override {
        SketchWindow::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(packages_missing({"poppler-utils"}), "");
        print_use_system_printers(false);
        saved_ = opts;
        opts.printer_name.clear();
        opts.print_selection = 0;
        opts.title.clear();
        opts.sizing = 0;
        printer = print_state{};
        pdf_ = testing::TempDir() + "diagram_choices.pdf";
        std::filesystem::remove(pdf_);
        printer.output_file = pdf_;
    }
    void TearDown() override {
        if (drawing.printer_dc) DeleteDC(drawing.printer_dc);
        drawing = draw_state{};
        printer = print_state{};
        opts = saved_;
        print_use_system_printers(true);
        SketchWindow::TearDown();
    }
    void command(int id) {
        SendMessage(GetParent(view_), WM_COMMAND, static_cast<WPARAM>(id), 0);
        td::run_until_idle();
    }
    // What the dialog shows: the three choices (their texts, enabled and
    // checked), and the title.
    struct shown {
        std::string all, selection, multiple, title;
        bool selection_enabled = false, selection_checked = false, all_checked = false;
    };
    // Prints through the dialog, pressing `choice` (0 keeps what it offers).
    shown print(int choice) {
        shown s;
        std::filesystem::remove(pdf_);
        answerer::dialog(dlg_print_options)
            .call([&](HWND d) {
                s.all = test_driver::item_text(d, idp_all);
                s.selection = test_driver::item_text(d, idp_selection);
                s.multiple = test_driver::item_text(d, idp_multiple);
                s.title = test_driver::item_text(d, idp_title);
                s.selection_enabled = IsWindowEnabled(GetDlgItem(d, idp_selection));
                s.selection_checked = IsDlgButtonChecked(d, idp_selection) == BST_CHECKED;
                s.all_checked = IsDlgButtonChecked(d, idp_all) == BST_CHECKED;
                if (choice) {
                    for (int id : {idp_all, idp_selection, idp_multiple})
                        CheckDlgButton(d, id, id == choice ? BST_CHECKED : BST_UNCHECKED);
                }
            })
            .press(IDOK);
        command(skc_print);
        EXPECT_EQ(answerer::pending(), 0u);
        return s;
    }
    int pages() {
        const std::string info = command_output("pdfinfo '" + pdf_ + "' 2>&1");
        const std::size_t at = info.find("Pages:");
        return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
    }
    std::string text() { return pdf_text(pdf_); }
    // The dark pixels of the first page rendered at 40 dpi.
    int ink() {
        const std::string png = testing::TempDir() + "diagram_choices";
        std::filesystem::remove(png + ".png");
        command_output("pdftoppm -r 40 -singlefile -png '" + pdf_ + "' '" + png + "' 2>&1");
        QImage img(QString::fromStdString(png + ".png"));
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += qGray(img.pixel(x, y)) < 128;
        return n;
    }
    opt_block saved_;
    std::string pdf_;
};

TEST_F(DiagramPrintChoices, WholeViewSelectionAndAllViewsPrintWhatTheySay) {
    // Nothing selected: the whole view, checked; Selection greyed.
    shown s = print(0);
    EXPECT_EQ(s.all.rfind("Whole View (", 0), 0u) << s.all;
    EXPECT_NE(s.all.find('x'), std::string::npos);
    EXPECT_TRUE(s.all_checked);
    EXPECT_FALSE(s.selection_enabled);
    EXPECT_EQ(s.multiple, "All Views (1-2)");
    EXPECT_EQ(s.title, "Model: population.kmf View: Population");
    ASSERT_TRUE(std::filesystem::exists(pdf_));
    EXPECT_EQ(pages(), 1);
    const std::string whole = text();
    EXPECT_NE(whole.find("Model: population.kmf View: Population"), std::string::npos) << whole;
    EXPECT_NE(whole.find("average lifetime"), std::string::npos) << whole;
    const int whole_ink = ink();
    EXPECT_GT(whole_ink, 0);

    // The stock selected: Selection offered with its size and checked; the
    // page shows the stock without the far constants.
    command(sel_levels);
    s = print(0);
    EXPECT_TRUE(s.selection_enabled);
    EXPECT_TRUE(s.selection_checked);
    EXPECT_EQ(s.selection.rfind("Selected (", 0), 0u) << s.selection;
    EXPECT_NE(text().find("Population"), std::string::npos);
    // Only the stock is drawn: far less ink than the whole view.
    EXPECT_LT(ink(), whole_ink / 2);

    // All Views: one document, a page per view with its own name in the
    // title; the PDF printer names its one file once.
    const std::string home = testing::TempDir() + "diagram_home";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    env_override env;
    env.set("HOME", home.c_str());
    printer.output_file.clear();
    answerer::box("Message from Kavrel").text(home + "/Kavrel.pdf").press(IDOK);
    print(idp_multiple);
    std::string all;
    int files = 0;
    for (const auto& f : std::filesystem::directory_iterator(home)) {
        if (f.path().extension() != ".pdf") continue;
        ++files;
        all += command_output("pdftotext -layout '" + f.path().string() + "' - 2>&1");
        pdf_ = f.path().string();
    }
    EXPECT_EQ(files, 1);
    EXPECT_EQ(pages(), 2);
    EXPECT_NE(all.find("View: Population"), std::string::npos) << all;
    EXPECT_NE(all.find("View: Crowding"), std::string::npos) << all;
    EXPECT_LT(all.find("View: Population"), all.find("View: Crowding"));
    EXPECT_EQ(s_->view.rec.name, std::string("Population")); // back on the view shown
}

// The sizes say their unit and are what prints at 100 %: the view's extent
// (with the margin names and arrowheads need) at the screen's 96 pixels to
// the inch; in centimetres 2.54 times the inches.
TEST_F(DiagramPrintChoices, SizesSayTheirUnitAndAreTheViewsPrintedSize) {
    double inches[2] = {0, 0}, cms[2] = {0, 0};
    std::string shown[2];
    for (int metric : {0, 1}) {
        opts.metric = static_cast<std::uint8_t>(metric);
        answerer::dialog(dlg_print_options)
            .call([&](HWND d) {
                double* out = metric ? cms : inches;
                shown[metric] = test_driver::item_text(d, idp_all);
                std::sscanf(shown[metric].c_str(), "Whole View (%lgx%lg", &out[0], &out[1]);
            })
            .press(IDCANCEL);
        command(skc_print);
    }
    EXPECT_NE(shown[0].find(" in)"), std::string::npos) << shown[0];
    EXPECT_NE(shown[1].find(" cm)"), std::string::npos) << shown[1];
    ASSERT_GT(inches[0], 0);
    // The elements' extent and 20 units round; the slider's name under the
    // lowest element adds a line (at most 20 units) to the height.
    EXPECT_NEAR(inches[0], (s_->max_x - s_->min_x + 40) / 96.0, 0.06);
    EXPECT_GT(inches[1], (s_->max_y - s_->min_y + 40 + 8) / 96.0 - 0.01);
    EXPECT_LT(inches[1], (s_->max_y - s_->min_y + 40 + 20) / 96.0 + 0.01);
    EXPECT_NEAR(cms[0] / inches[0], 2.54, 0.05);
    EXPECT_NEAR(cms[1] / inches[1], 2.54, 0.05);
}

// File > Print Options with the diagram in front shows the diagram's form,
// as Print does: its sizes, its views, its title, and with an element
// selected, Selection checked.
TEST_F(DiagramPrintChoices, ThePrintOptionsMenuShowsTheDiagramsForm) {
    active_child = GetParent(view_);
    shown s;
    auto read = [&](HWND d) {
        s.all = test_driver::item_text(d, idp_all);
        s.multiple = test_driver::item_text(d, idp_multiple);
        s.title = test_driver::item_text(d, idp_title);
        s.selection_checked = IsDlgButtonChecked(d, idp_selection) == BST_CHECKED;
        s.selection_enabled = IsWindowEnabled(GetDlgItem(d, idp_selection));
    };
    answerer::dialog(dlg_print_options).call(read).press(IDCANCEL);
    menu_command(cmd_print_options);
    td::run_until_idle();
    EXPECT_EQ(s.all.rfind("Whole View (", 0), 0u) << s.all;
    EXPECT_EQ(s.multiple, "All Views (1-2)");
    EXPECT_EQ(s.title, "Model: population.kmf View: Population");
    EXPECT_FALSE(s.selection_enabled);
    // One element clicked: Selection is offered and checked.
    const sketch_elem* stock = variable("Population");
    ASSERT_NE(stock, nullptr);
    const POINT at{stock->x * s_->zoom / 100 - s_->scroll_x,
                   stock->y * s_->zoom / 100 - s_->scroll_y};
    td::click(view_, static_cast<int>(at.x), static_cast<int>(at.y));
    td::run_until_idle();
    answerer::dialog(dlg_print_options).call(read).press(IDCANCEL);
    menu_command(cmd_print_options);
    td::run_until_idle();
    EXPECT_TRUE(s.selection_enabled);
    EXPECT_TRUE(s.selection_checked);
    EXPECT_EQ(answerer::pending(), 0u);
}

// All Views chosen through the menu is still the choice Print offers next
// (with nothing selected), so the print that follows prints every view.
TEST_F(DiagramPrintChoices, AllViewsChosenInPrintOptionsIsWhatPrintOffersNext) {
    active_child = GetParent(view_);
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) {
            for (int id : {idp_all, idp_selection, idp_multiple})
                CheckDlgButton(d, id, id == idp_multiple ? BST_CHECKED : BST_UNCHECKED);
        })
        .press(IDOK);
    menu_command(cmd_print_options);
    td::run_until_idle();
    EXPECT_EQ(opts.print_selection, 2);
    bool all_views = false;
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) { all_views = IsDlgButtonChecked(d, idp_multiple) == BST_CHECKED; })
        .press(IDOK);
    command(skc_print);
    EXPECT_TRUE(all_views);
    ASSERT_TRUE(std::filesystem::exists(pdf_));
    EXPECT_EQ(pages(), 2);
}

} // namespace

// The export-size dialog: its texts, the options filling the fields, typing
// unchecking them, and sizes refused with "Bad number" while it stays open.
#include "draw/exsize.h"

#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/dialogs.h"
#include "tests/common/message_log.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ExportSize : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        answerer::install([](const std::string& m) { ADD_FAILURE() << m; });
        set_message_hook(message_log::test_hook);
        message_log::messages.clear();
        req_.full_w = 8.333;
        req_.full_h = 5.5;
        req_.screen_w = 4.17;
        req_.screen_h = 3.1;
    }
    void TearDown() override {
        EXPECT_EQ(answerer::pending(), 0u);
        answerer::uninstall();
        set_message_hook(nullptr);
        test_driver::reset();
    }
    export_size_request req_;
};

TEST_F(ExportSize, OptionsFillTheFieldsAndTypingUnchecksThem) {
    answerer::dialog(dlg_export_size)
        .call([](HWND d) {
            EXPECT_EQ(test_driver::item_text(d, exs_title), "Export Size in Inches");
            EXPECT_EQ(test_driver::item_text(d, exs_full), "Full Size (8.3x5.5)");
            EXPECT_EQ(test_driver::item_text(d, exs_screen), "Screen Size (4.2x3.1)");
            EXPECT_EQ(IsDlgButtonChecked(d, exs_screen), BST_CHECKED);
            EXPECT_EQ(test_driver::item_text(d, exs_width), "4.2");
            EXPECT_EQ(test_driver::item_text(d, exs_height), "3.1");
        })
        .check(exs_full)
        .call([](HWND d) {
            SendMessage(GetDlgItem(d, exs_full), BM_CLICK, 0, 0);
            EXPECT_EQ(test_driver::item_text(d, exs_width), "8.3");
            EXPECT_EQ(IsDlgButtonChecked(d, exs_full), BST_CHECKED);
        })
        .set_text(exs_height, "2")
        .call([](HWND d) {
            EXPECT_EQ(IsDlgButtonChecked(d, exs_full), BST_UNCHECKED);
            EXPECT_EQ(IsDlgButtonChecked(d, exs_screen), BST_UNCHECKED);
        })
        .press(IDOK);
    SIZE out{};
    EXPECT_EQ(ask_export_size(nullptr, req_, &out), 1);
    EXPECT_EQ(out.cx, 796); // 8.3 in x 2.54 x 0.39370078 x 96
    EXPECT_EQ(out.cy, 191);
}

TEST_F(ExportSize, ZeroNegativeAndHugeSizesAreRefusedAndTheDialogStays) {
    answerer::dialog(dlg_export_size)
        .call([](HWND d) {
            for (const char* bad : {"0", "-3", "1e9", "abc", "nan"}) {
                message_log::messages.clear();
                SetDlgItemText(d, exs_width, bad);
                SendMessage(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
                EXPECT_TRUE(message_log::said(std::string("Bad number ") + bad + " for width", 8))
                    << bad;
                EXPECT_TRUE(IsWindow(d));
            }
            SetDlgItemText(d, exs_width, "4");
            SetDlgItemText(d, exs_height, "400"); // 38400 pixels: beyond the header's box
            message_log::messages.clear();
            SendMessage(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
            EXPECT_TRUE(message_log::said("Bad number 400 for height", 8));
            SetDlgItemText(d, exs_height, "3");
        })
        .press(IDOK);
    SIZE out{};
    EXPECT_EQ(ask_export_size(nullptr, req_, &out), 1);
    EXPECT_EQ(out.cx, 383);
    EXPECT_EQ(out.cy, 287);
    // Centimetres at a printer's resolution; Cancel leaves the size alone.
    EXPECT_EQ(export_side_pixels("2.54", true, 600), 599);
    EXPECT_EQ(export_side_pixels("1 ", false, 300), 299);
    EXPECT_EQ(export_side_pixels("1x", false, 300), 0);
    answerer::dialog(dlg_export_size).press(IDCANCEL);
    SIZE kept{7, 7};
    EXPECT_EQ(ask_export_size(nullptr, req_, &kept), 0);
    EXPECT_EQ(kept.cx, 7);
}

} // namespace

namespace {

// In centimetres on a device whose dots are not square: Full Size fills
// both of its sides, and each side becomes pixels at its own resolution.
TEST_F(ExportSize, FullSizeInCentimetresTakesEachSideAtItsOwnResolution) {
    req_.metric = true;
    req_.res_x = 96;
    req_.res_y = 192;
    answerer::dialog(dlg_export_size)
        .call([](HWND d) {
            EXPECT_EQ(test_driver::item_text(d, exs_title), "Export Size in Centimeters");
            SendMessage(GetDlgItem(d, exs_full), BM_CLICK, 0, 0);
            EXPECT_EQ(test_driver::item_text(d, exs_width), "8.3");
            EXPECT_EQ(test_driver::item_text(d, exs_height), "5.5");
            EXPECT_EQ(IsDlgButtonChecked(d, exs_full), BST_CHECKED);
            SendMessage(GetDlgItem(d, exs_screen), BM_CLICK, 0, 0);
            EXPECT_EQ(test_driver::item_text(d, exs_width), "4.2");
            EXPECT_EQ(test_driver::item_text(d, exs_height), "3.1");
            SendMessage(GetDlgItem(d, exs_full), BM_CLICK, 0, 0);
        })
        .press(IDOK);
    SIZE out{};
    EXPECT_EQ(ask_export_size(nullptr, req_, &out), 1);
    EXPECT_EQ(out.cx, 313); // 8.3 cm = 3.268 in at 96
    EXPECT_EQ(out.cy, 415); // 5.5 cm = 2.165 in at 192
}

} // namespace

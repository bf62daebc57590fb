// The Control Panel at the bounds of its values: a start time typed equal to
// the model's first time, the start arrow stopping one step before the end,
// and the Scaling page's boxes showing each saved option on its own.
#include "controlpanel_fixture.h"

#include "model/context.h"
#include "platform/controls.h"
#include "resources/panel.h"
#include "shell/controlpanel.h"
#include "shell/controls/scaler.h"
#include "shell/settings_rows.h"

#include <string>

namespace td = test_driver;

namespace {

// Start and End inside the full range, the special time between them.
class PanelBounds : public ControlPanelTest {
protected:
    void SetUp() override {
        ControlPanelTest::SetUp();
        if (HasFatalFailure()) return;
        model_rec->start = 10;
        model_rec->end = 90;
        model_rec->special = 50;
    }
};

// Start may be the model's first time itself (0 here) and End its last (100);
// Start stays below End.
TEST_F(PanelBounds, TheFullRangesEndsAreTimesToo) {
    HWND page = open_time_axis();
    ASSERT_NE(page, nullptr);
    auto type = [&](int id, const char* text) { paste(page, id, text); };
    ASSERT_DOUBLE_EQ(model_rec->start, 10.0);
    type(idt_start, "0");
    EXPECT_DOUBLE_EQ(model_rec->start, 0.0);
    type(idt_end, "100");
    EXPECT_DOUBLE_EQ(model_rec->end, 100.0);
    type(idt_start, "100"); // at the end: ignored
    EXPECT_DOUBLE_EQ(model_rec->start, 0.0);
    type(idt_start, "-0.5"); // before the first time: ignored
    EXPECT_DOUBLE_EQ(model_rec->start, 0.0);
}

// The start arrow moves Start a step to the right while that keeps it before
// End; one step short of End it stays.
TEST_F(PanelBounds, TheStartArrowStopsAStepBeforeTheEnd) {
    HWND page = open_on(tab_time_axis);
    ASSERT_NE(page, nullptr);
    model_rec->start = 88;
    model_rec->end = 90;
    td::click(GetDlgItem(page, idt_start_right), 3, 3);
    td::run_until_idle();
    EXPECT_DOUBLE_EQ(model_rec->start, 89.0);
    EXPECT_EQ(test_driver::item_text(page, idt_start), "89");
    td::click(GetDlgItem(page, idt_start_right), 3, 3);
    td::run_until_idle();
    EXPECT_DOUBLE_EQ(model_rec->start, 89.0);
    // The end arrow likewise stops a step after Start.
    td::click(GetDlgItem(page, idt_end_left), 3, 3);
    td::run_until_idle();
    EXPECT_DOUBLE_EQ(model_rec->end, 90.0);
    EXPECT_LT(model_rec->start, model_rec->end);
}

// The special time's arrows keep it within the full range.
TEST_F(PanelBounds, TheSpecialArrowsStopAtTheFullRangesEnds) {
    HWND page = open_on(tab_time_axis);
    ASSERT_NE(page, nullptr);
    model_rec->special = 99.5;
    for (int i = 0; i < 2; ++i) {
        td::click(GetDlgItem(page, idt_special_right), 3, 3);
        td::run_until_idle();
    }
    EXPECT_DOUBLE_EQ(model_rec->special, 100.0);
    model_rec->special = 0.5;
    for (int i = 0; i < 2; ++i) {
        td::click(GetDlgItem(page, idt_special_left), 3, 3);
        td::run_until_idle();
    }
    EXPECT_DOUBLE_EQ(model_rec->special, 0.0);
    EXPECT_EQ(test_driver::item_text(page, idt_special), "0");
}

// Each saved option shows in its own box when the page opens.
TEST_F(PanelBounds, TheScalingBoxesShowEachOptionOnItsOwn) {
    struct {
        std::uint8_t lines;
        bool zero, one, special;
    } cases[] = {{xl_zero, true, false, false},
                 {xl_one, false, true, false},
                 {xl_special, false, false, true},
                 {static_cast<std::uint8_t>(xl_zero | xl_one | xl_special), true, true, true}};
    for (const auto& c : cases) {
        scaling_opts = scaling_options{};
        scaling_opts.extra_lines = c.lines;
        scaling_opts.include_zero = 1;
        scaling_opts.colorize = 0;
        HWND page = open_on(tab_scaling);
        ASSERT_NE(page, nullptr);
        auto on = [&](int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; };
        EXPECT_EQ(on(ids_line0), c.zero) << int{c.lines};
        EXPECT_EQ(on(ids_line1), c.one) << int{c.lines};
        EXPECT_EQ(on(ids_line_special), c.special) << int{c.lines};
        EXPECT_TRUE(on(ids_include0));
        EXPECT_FALSE(on(ids_colorize));
        control_panel(-1, -1, -1, -1, -1);
        td::run_until_idle();
    }
}

// Times left outside the full range (from another model's range or stored
// settings) come back inside it: a start before it to its first time, an end
// past it or not after the start and a special time outside it to its last.
TEST_F(PanelBounds, TimesOutsideTheFullRangeComeBackInside) {
    model_rec->start = -5;
    model_rec->end = 150;
    model_rec->special = 150;
    refresh_time_axis();
    EXPECT_DOUBLE_EQ(model_rec->start, 0.0);
    EXPECT_DOUBLE_EQ(model_rec->end, 100.0);
    EXPECT_DOUBLE_EQ(model_rec->special, 100.0);

    model_rec->start = 40;
    model_rec->end = 40;
    model_rec->special = -1;
    refresh_time_axis();
    EXPECT_DOUBLE_EQ(model_rec->start, 40.0);
    EXPECT_DOUBLE_EQ(model_rec->end, 100.0) << "an end equal to the start";
    EXPECT_DOUBLE_EQ(model_rec->special, 100.0);

    // Times inside stay as they are.
    model_rec->start = 0;
    model_rec->end = 60;
    model_rec->special = 0;
    refresh_time_axis();
    EXPECT_DOUBLE_EQ(model_rec->start, 0.0);
    EXPECT_DOUBLE_EQ(model_rec->end, 60.0);
    EXPECT_DOUBLE_EQ(model_rec->special, 0.0);
}

} // namespace

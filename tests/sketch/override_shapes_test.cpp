// The input options dialog as the shape buttons are clicked: each shape's
// field labels, which fields show, and the default times it proposes from
// the Livesweep run's time range (the population sample runs 0 to 200).
#include "resources/sketchdlg.h"
#include "sketch/mouse.h"
#include "sketch/overrides.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/live_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

struct shape_fields {
    std::string labels[4];
    bool p2_shown = false, p3_shown = false, p4_shown = false;
    std::string p3, p4;
};

class OverrideShapes : public LiveSketch {
protected:
    void SetUp() override {
        LiveSketch::SetUp();
        menu_command(cmd_livesweep);
        td::run_until_idle();
        ASSERT_EQ(livesweep_state, ls_on);
    }
    // Clicks each shape in turn in one opening of the dialog for birth rate,
    // then cancels.
    std::vector<shape_fields> click_shapes(const std::vector<int>& shapes) {
        std::vector<shape_fields> out;
        const sketch_elem* rate = variable("birth rate");
        EXPECT_NE(rate, nullptr);
        if (!rate) return out;
        set_selected(*s_, static_cast<int>(rate - &s_->view.elems[0]), true);
        s_->selection = 1;
        answerer::Answer& a = answerer::dialog(dlg_input_options);
        for (int shape : shapes) {
            a.check(shape).call([&out](HWND d) {
                shape_fields f;
                for (int i = 0; i < 4; ++i) f.labels[i] = test_driver::item_text(d, idi_label1 + i);
                f.p2_shown = IsWindowVisible(GetDlgItem(d, idi_p2));
                f.p3_shown = IsWindowVisible(GetDlgItem(d, idi_p3));
                f.p4_shown = IsWindowVisible(GetDlgItem(d, idi_p4));
                f.p3 = test_driver::item_text(d, idi_p3);
                f.p4 = test_driver::item_text(d, idi_p4);
                out.push_back(f);
            });
        }
        a.press(IDCANCEL);
        SetFocus(view_);
        td::press_key(VK_RETURN);
        td::run_until_idle();
        EXPECT_EQ(answerer::pending(), 0u);
        return out;
    }
};

TEST_F(OverrideShapes, DecayAndGrowthHideTheSecondValueAndStartAtTheFirstTime) {
    const auto f = click_shapes({ovr_decay, ovr_growth});
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].labels[0], "Starting from");
    EXPECT_EQ(f[0].labels[2], "changing after time");
    EXPECT_EQ(f[0].labels[3], "decay rate (%/unit time)");
    EXPECT_FALSE(f[0].p2_shown);
    EXPECT_TRUE(f[0].p3_shown);
    EXPECT_TRUE(f[0].p4_shown);
    EXPECT_EQ(f[0].p3, "0");
    EXPECT_EQ(f[0].p4, "2");
    EXPECT_EQ(f[1].labels[3], "growth rate (%/unit time)");
    EXPECT_FALSE(f[1].p2_shown);
}

TEST_F(OverrideShapes, PulsesAndRampProposeTimesWithinTheRun) {
    const auto f = click_shapes({ovr_pulse, ovr_pulse_train, ovr_ramp});
    ASSERT_EQ(f.size(), 3u);
    // A pulse a fifth of the way in; a train repeating every fifth of the run.
    EXPECT_EQ(f[0].labels[0], "Base value");
    EXPECT_EQ(f[0].labels[1], "pulsing to");
    EXPECT_EQ(f[0].labels[2], "at time");
    EXPECT_EQ(f[0].labels[3], "for duration");
    EXPECT_EQ(f[0].p3, "40");
    EXPECT_EQ(f[0].p4, "0");
    EXPECT_EQ(f[1].labels[2], "repeating every");
    EXPECT_EQ(f[1].p3, "40");
    EXPECT_EQ(f[1].p4, "0");
    // A ramp over the whole run.
    EXPECT_EQ(f[2].labels[0], "From");
    EXPECT_EQ(f[2].labels[1], "to");
    EXPECT_EQ(f[2].labels[2], "starting at time");
    EXPECT_EQ(f[2].labels[3], "finishing at");
    EXPECT_EQ(f[2].p3, "0");
    EXPECT_EQ(f[2].p4, "200");
    for (const auto& one : f) EXPECT_TRUE(one.p2_shown && one.p3_shown && one.p4_shown);
}

} // namespace

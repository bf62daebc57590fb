// The quick sliders from the keyboard of a sketch in Livesweep: Tab brings
// the focus to a slider and on round the sliders, the arrows step the focused
// one by its increment, and Home brings it back to the model's value.
#include "sketch/sliders.h"
#include "tests/sketch/live_fixture.h"

#include <gtest/gtest.h>

namespace td = test_driver;

namespace {

class SliderKeyboard : public LiveSketch {
protected:
    void SetUp() override {
        LiveSketch::SetUp();
        menu_command(cmd_livesweep);
        td::run_until_idle();
        ASSERT_EQ(livesweep_state, ls_on);
    }
    void press(WPARAM key, unsigned modifiers = 0) {
        SetFocus(view_);
        td::press_key(key, modifiers);
        td::run_until_idle();
    }
};

TEST_F(SliderKeyboard, TabArrowsAndHomeWorkTheFocusedSlider) {
    const sketch_elem* rate = variable("birth rate");
    ASSERT_NE(rate, nullptr);
    HWND w = element_slider(view_, static_cast<int>(rate - &s_->view.elems[0]));
    ASSERT_NE(w, nullptr);
    qslider_rec* r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    // Tab until birth rate's slider has the focus; it comes round within the
    // sliders the sketch shows.
    for (int i = 0; i < 10 && !r->focus; ++i) press(VK_TAB);
    ASSERT_TRUE(r->focus);
    // Shift+Tab goes back to another slider and Tab returns.
    press(VK_TAB, td::shift);
    EXPECT_FALSE(r->focus);
    press(VK_TAB);
    ASSERT_TRUE(r->focus);

    // The sample's birth rate: 0.04, stepping by 0.005 up to 0.1.
    EXPECT_FLOAT_EQ(r->value, 0.04f);
    press(VK_RIGHT);
    EXPECT_NEAR(r->value, 0.045f, 1e-6);
    press(VK_UP);
    EXPECT_NEAR(r->value, 0.05f, 1e-6);
    press(VK_LEFT);
    EXPECT_NEAR(r->value, 0.045f, 1e-6);
    press(VK_HOME);
    EXPECT_FLOAT_EQ(r->value, 0.04f) << "Home: the model's own value";
}

} // namespace

// Input overrides: the evaluator's shapes at their boundary times, the list
// (one entry per variable), the refused numbers of the input options, a
// randomized drive of the evaluator, and a Step Change on a constant of the
// population sample in Livesweep through the dialog.
#include "sketch/overrides.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/types.h"
#include "model/varnames.h"
#include "resources/sketchdlg.h"
#include "sketch/behave.h"
#include "sketch/drawsketch.h"
#include "sketch/mouse.h"
#include "sketch/sliders.h"
#include "tests/common/message_log.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/live_fixture.h"

namespace td = test_driver;

namespace {

// The population sample in Livesweep with the override tables set up.
class Overrides : public LiveSketch {
protected:
    void SetUp() override {
        LiveSketch::SetUp();
        menu_command(cmd_livesweep);
        td::run_until_idle();
        ASSERT_EQ(livesweep_state, ls_on);
        ASSERT_TRUE(override_flags & 2);
        rate_slot_ = slot_of("birth rate");
        life_slot_ = slot_of("average lifetime");
        ASSERT_GE(rate_slot_, 0);
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
    }
    void TearDown() override {
        set_message_hook(nullptr);
        // The engine's arrays were the test's own.
        if (value_array == own_.data()) {
            value_array = nullptr;
            value_slot_count = 0;
        }
        LiveSketch::TearDown();
    }
    // The evaluator works on the test's values, TIME STEP dt.
    void use_values(float dt) {
        own_.assign(input_override_tables().held.size(), 7.0f);
        value_array = own_.data();
        value_slot_count = static_cast<std::uint32_t>(own_.size());
        sim_dt = dt;
    }
    // One evaluation at TIME t with the engine's half-step bounds (mode 0),
    // or at the initial pass (mode 1, which sets the bounds itself).
    float eval_at(double t, int mode, std::int32_t slot) {
        own_[0] = static_cast<float>(t);
        sim_time = t;
        sim_time_hi = t + sim_dt / 2;
        sim_time_lo = t - sim_dt / 2;
        eval_input_overrides(mode);
        return own_[static_cast<std::size_t>(slot)];
    }
    void set(std::uint32_t shape, float p1, float p2, float p3, float p4) {
        input_override e{p1, p2, p3, p4, static_cast<std::uint32_t>(rate_slot_), shape};
        ASSERT_EQ(set_input_override(s_, e), 1);
    }
    std::vector<float> own_;
    std::int32_t rate_slot_ = -1, life_slot_ = -1;
};

TEST_F(Overrides, EachShapeAtItsBoundaryTimes) {
    use_values(1);
    eval_at(0, 1, rate_slot_); // the run's start: TIME 0

    // A pulse of duration 0 lasts exactly the one step whose bounds hold p3.
    set(ovr_pulse, 1, 9, 5, 0);
    EXPECT_EQ(eval_at(4, 0, rate_slot_), 1);
    EXPECT_EQ(eval_at(5, 0, rate_slot_), 9);
    EXPECT_EQ(eval_at(6, 0, rate_slot_), 1);

    // A pulse train gives no pulse in its first period.
    set(ovr_pulse_train, 1, 9, 10, 2);
    for (int t = 0; t <= 9; ++t) EXPECT_EQ(eval_at(t, 0, rate_slot_), 1) << t;
    EXPECT_EQ(eval_at(11, 0, rate_slot_), 9);
    EXPECT_EQ(eval_at(13, 0, rate_slot_), 1);
    EXPECT_EQ(eval_at(21, 0, rate_slot_), 9);

    // Sine and square waves hold their mean until p3.
    set(ovr_sine, 2, 6, 10, 8);
    EXPECT_EQ(eval_at(9, 0, rate_slot_), 4);
    EXPECT_NEAR(eval_at(12, 0, rate_slot_), 6, 1e-5); // a quarter period on: the top
    set(ovr_square, 2, 6, 10, 8);
    EXPECT_EQ(eval_at(9, 0, rate_slot_), 4);
    EXPECT_EQ(eval_at(11, 0, rate_slot_), 6); // the first half of a period high
    EXPECT_EQ(eval_at(15, 0, rate_slot_), 2);

    // A ramp at exactly its finishing time reaches p2 by interpolation.
    set(ovr_ramp, 10, 20, 4, 8);
    EXPECT_EQ(eval_at(3, 0, rate_slot_), 10);
    EXPECT_EQ(eval_at(6, 0, rate_slot_), 15);
    EXPECT_EQ(eval_at(8, 0, rate_slot_), 20);
    EXPECT_EQ(eval_at(9, 0, rate_slot_), 20);

    set(ovr_step, 1, 2, 5, 0);
    EXPECT_EQ(eval_at(4, 0, rate_slot_), 1);
    EXPECT_EQ(eval_at(5, 0, rate_slot_), 2);

    // Decay is taken at the upper time bound, growth at TIME itself.
    set(ovr_decay, 100, 0, 0, 10);
    EXPECT_NEAR(eval_at(1, 0, rate_slot_), 100 * std::exp(-1.5 * 0.1), 1e-3);
    EXPECT_EQ(eval_at(1, 1, rate_slot_), 100); // the initial pass starts from p1
    set(ovr_growth, 100, 0, 0, 10);
    EXPECT_NEAR(eval_at(1, 0, rate_slot_), 100 * std::exp(0.1), 1e-3);

    // The slider constant: the working copy at the initial pass, then the
    // value it gave.
    set(ovr_slider, 0, 1, 0, 0);
    ASSERT_EQ(set_setup_value(rate_slot_, 0.25f), 1);
    EXPECT_EQ(eval_at(0, 1, rate_slot_), 0.25f);
    own_[static_cast<std::size_t>(rate_slot_)] = 3;
    EXPECT_EQ(eval_at(1, 0, rate_slot_), 0.25f);

    // A slot no override holds is left alone.
    EXPECT_EQ(own_[static_cast<std::size_t>(life_slot_)], 7.0f);
}

TEST_F(Overrides, TheListKeepsOneEntryPerVariableAndTheTypeCopyFollows) {
    const override_tables& t = input_override_tables();
    set(ovr_step, 1, 2, 5, 0);
    set(ovr_ramp, 1, 2, 5, 6); // the same variable: replaced, not added
    EXPECT_EQ(t.count, 2);
    EXPECT_EQ(find_input_override(rate_slot_)->shape, ovr_ramp);
    input_override life{60, 0, 0, 0, static_cast<std::uint32_t>(life_slot_), ovr_slider};
    ASSERT_EQ(set_input_override(s_, life), 1);
    EXPECT_EQ(t.count, 3);
    EXPECT_EQ(override_flags, 3);
    EXPECT_EQ(override_held, t.held.data()); // the engine's table is this one
    // The marks: supplied by an override 2, shown on the view (and Time) 0,
    // recomputed 1 (INITIAL TIME, which no view shows).
    EXPECT_EQ(t.marks[static_cast<std::size_t>(rate_slot_)], 2);
    EXPECT_EQ(t.marks[0], 0);
    EXPECT_EQ(t.marks[static_cast<std::size_t>(slot_of("Population"))], 0);
    EXPECT_EQ(t.marks[static_cast<std::size_t>(slot_of("TIME STEP"))], 0);
    EXPECT_EQ(t.marks[static_cast<std::size_t>(slot_of("INITIAL TIME"))], 1);
    EXPECT_EQ(t.held[static_cast<std::size_t>(rate_slot_)], 2);
    {
        // An overridden constant is saved as a series; a slider keeps its type.
        handle_lock<std::uint8_t> c(type_copy);
        ASSERT_TRUE(c);
        EXPECT_EQ(c.get()[rate_slot_], st_aux);
        EXPECT_EQ(c.get()[life_slot_], st_constant);
    }
    // Unchecking one leaves the other in force.
    ASSERT_EQ(set_input_override(
                  s_, input_override{0, 0, 0, 0, static_cast<std::uint32_t>(rate_slot_), 0}),
              1);
    EXPECT_EQ(t.count, 2);
    EXPECT_EQ(find_input_override(rate_slot_), nullptr);
    EXPECT_EQ(t.held[static_cast<std::size_t>(rate_slot_)], 0);
    EXPECT_EQ(t.held[static_cast<std::size_t>(life_slot_)], 2);
    // With none left the count falls to 1 and the type copy goes; an
    // override made after that is counted (it was silently lost before).
    input_overrides_off();
    EXPECT_EQ(t.count, 1);
    EXPECT_EQ(override_flags & 1, 0);
    EXPECT_EQ(type_copy, 0u);
    set(ovr_step, 1, 2, 5, 0);
    EXPECT_EQ(t.count, 2);
    EXPECT_TRUE(override_flags & 1);
    EXPECT_EQ(t.held[static_cast<std::size_t>(rate_slot_)], 2);
    // The engine's clean-up of its setup copies takes the tables along.
    clear_setup();
    EXPECT_EQ(override_flags, 0);
    EXPECT_EQ(override_held, nullptr);
    EXPECT_TRUE(input_override_tables().list.empty());
    EXPECT_EQ(type_copy, 0u);
}

TEST(OverrideNumbers, PeriodsAndRampTimesThatWouldDivideByZeroAreRefused) {
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    float p[4];
    auto check = [&](std::uint32_t shape, const char* a, const char* b, const char* c,
                     const char* d) {
        const char* texts[4] = {a, b, c, d};
        return check_override_numbers(shape, texts, p);
    };
    EXPECT_EQ(check(ovr_sine, "0", "1", "5", "0"), 0);
    EXPECT_TRUE(message_log::said("period must be greater than 0"));
    EXPECT_EQ(check(ovr_square, "0", "1", "5", "-2"), 0);
    EXPECT_EQ(check(ovr_pulse_train, "0", "1", "0", "1"), 0);
    EXPECT_EQ(check(ovr_ramp, "0", "1", "5", "5"), 0);
    EXPECT_TRUE(message_log::said("ramp must finish after it starts"));
    EXPECT_EQ(check(ovr_step, "1", "2x", "5", nullptr), 0); // must parse whole
    EXPECT_EQ(check(ovr_step, "1", "1e999", "5", nullptr), 0);
    for (const auto& m : message_log::messages) EXPECT_EQ(m.kind, 8) << m.text;
    EXPECT_EQ(check(ovr_ramp, "0", "1", "5", "6"), 1);
    EXPECT_EQ(p[3], 6);
    // A hidden field takes its default.
    EXPECT_EQ(check(ovr_step, "1", "2", "5", nullptr), 1);
    EXPECT_EQ(p[3], 0);
    EXPECT_EQ(check(ovr_growth, "1", nullptr, "5", "3"), 1);
    EXPECT_EQ(p[1], 100);
    set_message_hook(nullptr);
}

// Arbitrary numbers and times: whatever the dialog lets through, the
// evaluator only ever puts finite values into the run.
TEST_F(Overrides, ArbitraryAcceptedInputsGiveOnlyFiniteValues) {
    set_message_hook([](int, const char*, const char*) { return 1; });
    std::mt19937 rng(20261207);
    const float specials[] = {0.0f, -0.0f, 1e-38f, -1e-38f, 1e38f, -1e38f, 3.4e38f, 1.0f, -1.0f};
    auto number = [&]() -> float {
        switch (rng() % 3) {
        case 0:
            return specials[rng() % std::size(specials)];
        case 1:
            return std::uniform_real_distribution<float>(-100, 100)(rng);
        default:
            return std::ldexp(std::uniform_real_distribution<float>(-1, 1)(rng),
                              static_cast<int>(rng() % 250) - 125);
        }
    };
    const std::uint32_t shapes[] = {ovr_decay, ovr_growth, ovr_pulse,  ovr_pulse_train, ovr_ramp,
                                    ovr_sine,  ovr_slider, ovr_square, ovr_step};
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::uint32_t shape = shapes[rng() % std::size(shapes)];
        char text[4][40];
        const char* texts[4];
        for (int i = 0; i < 4; ++i) {
            std::snprintf(text[i], sizeof text[i], "%g", static_cast<double>(number()));
            texts[i] = text[i];
        }
        float p[4];
        if (!check_override_numbers(shape, texts, p)) continue;
        ++accepted;
        use_values(std::max(1e-6f, std::fabs(std::uniform_real_distribution<float>(0, 2)(rng))));
        set(shape, p[0], p[1], p[2], p[3]);
        const double t0 = number();
        eval_at(t0, 1, rate_slot_);
        for (int k = 0; k < 5; ++k) {
            const double t = k == 0 ? number() : t0 + k * sim_dt;
            const float v = eval_at(t, k % 2, rate_slot_);
            ASSERT_TRUE(std::isfinite(v)) << "shape " << shape << " p " << p[0] << " " << p[1]
                                          << " " << p[2] << " " << p[3] << " t " << t;
        }
    }
    EXPECT_GT(accepted, 1000);
    set_message_hook(nullptr);
}

// Dialog 377 on "birth rate": a Step Change shows in the next re-run's
// series at p3; unchecking returns the constant to its equation.
TEST_F(Overrides, AStepChangeThroughTheDialogShowsInTheReRunAndUncheckingEndsIt) {
    const sketch_elem* rate = variable("birth rate");
    ASSERT_NE(rate, nullptr);
    const int n = static_cast<int>(rate - &s_->view.elems[0]);
    const float *t = nullptr, *v = nullptr;
    const int run = std::max(shown_run_slot(), 0);
    ASSERT_GT(cached_series(rate_slot_, &t, &v, run), 10); // the re-runs keep this one
    const float normal = v[0];
    set_selected(*s_, n, true);
    s_->selection = 1;
    std::string title, label3;
    bool p4_shown = true;
    answerer::dialog(dlg_input_options)
        .call([&](HWND d) {
            char text[200] = {};
            GetDlgItemText(d, idi_title, text, sizeof text);
            title = text;
            EXPECT_EQ(IsDlgButtonChecked(d, ovr_step), BST_CHECKED); // a constant's default
            EXPECT_EQ(IsDlgButtonChecked(d, idi_override), BST_CHECKED);
        })
        .check(ovr_step)
        .set_text(idi_p1, "0.02")
        .set_text(idi_p2, "0.08")
        .set_text(idi_p3, "30")
        .call([&](HWND d) {
            char text[80] = {};
            GetDlgItemText(d, idi_label3, text, sizeof text);
            label3 = text;
            p4_shown = IsWindowVisible(GetDlgItem(d, idi_p4));
        })
        .press(IDOK);
    SetFocus(view_);
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(title, "Input Options for: birth rate");
    EXPECT_EQ(label3, "at time");
    EXPECT_FALSE(p4_shown);
    const int count = cached_series(rate_slot_, &t, &v, run);
    ASSERT_GT(count, 10);
    bool before = false, after = false;
    // The re-runs write the shown run from its first point on: the first
    // point shows the override too, not the loaded run's initial value.
    EXPECT_FLOAT_EQ(v[0], 0.02f);
    for (int i = 0; i < count; ++i) {
        if (t[i] < 30) {
            EXPECT_FLOAT_EQ(v[i], 0.02f) << t[i];
            before = true;
        } else {
            EXPECT_FLOAT_EQ(v[i], 0.08f) << t[i];
            after = true;
        }
    }
    EXPECT_TRUE(before && after);
    shot("override-step.png");

    // Opening again shows the entry; unchecking ends the override.
    std::string p3;
    answerer::dialog(dlg_input_options)
        .call([&](HWND d) {
            char text[40] = {};
            GetDlgItemText(d, idi_p3, text, sizeof text);
            p3 = text;
        })
        .check(idi_override, false)
        .press(IDOK);
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_EQ(p3, "30");
    EXPECT_EQ(find_input_override(rate_slot_), nullptr);
    ASSERT_GT(cached_series(rate_slot_, &t, &v, run), 10);
    EXPECT_FLOAT_EQ(v[0], normal);
    EXPECT_FLOAT_EQ(v[count - 1], normal);

    // An override lasts as long as the stay in Livesweep.
    set(ovr_step, 1, 2, 5, 0);
    menu_command(cmd_livesweep);
    td::run_until_idle();
    ASSERT_EQ(livesweep_state, ls_off);
    EXPECT_EQ(override_flags, 0);
    EXPECT_EQ(override_held, nullptr);
    EXPECT_EQ(find_input_override(rate_slot_), nullptr);
}

// "Constant (with slider)" on a variable that is not a constant: the variable
// is held at the slider's value, the slider runs over the Minimum and Maximum
// typed, and dragging it re-runs the model with the new value.
TEST_F(Overrides, AConstantWithSliderOverrideGivesTheVariableASliderOverItsRange) {
    const sketch_elem* births = variable("births");
    ASSERT_NE(births, nullptr);
    const int n = static_cast<int>(births - &s_->view.elems[0]);
    const std::int32_t slot = slot_of("births");
    ASSERT_GE(slot, 0);
    EXPECT_EQ(element_slider(view_, n), nullptr); // not a constant: no slider yet
    set_selected(*s_, n, true);
    s_->selection = 1;
    bool slider_default = false;
    answerer::dialog(dlg_input_options)
        .call([&](HWND d) { slider_default = IsDlgButtonChecked(d, ovr_slider) == BST_CHECKED; })
        .set_text(idi_p1, "10")
        .set_text(idi_p2, "90")
        .press(IDOK);
    SetFocus(view_);
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(slider_default);
    HWND w = element_slider(view_, n);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindowVisible(w));
    qslider_rec* r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->slot, slot);
    EXPECT_FLOAT_EQ(r->min, 10);
    EXPECT_FLOAT_EQ(r->max, 90);
    // Dragged to the right end: births is 90 all through the re-run.
    const int left = slider_box_left(r->position);
    td::drag(w, POINT{left + 10, 6}, POINT{90, 6}, 6);
    td::run_until_idle();
    td::advance(livesweep_timer_ms + 1);
    td::run_until_idle();
    r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    EXPECT_FLOAT_EQ(r->value, 90);
    const float *t = nullptr, *v = nullptr;
    const int count = cached_series(slot, &t, &v, std::max(shown_run_slot(), 0));
    ASSERT_GT(count, 10);
    EXPECT_FLOAT_EQ(v[0], 90);
    EXPECT_FLOAT_EQ(v[count - 1], 90);
    shot("override-slider.png");
    // A new range in the dialog is the slider's at once (the slider's press
    // let go of the selection: the variable is chosen again).
    set_selected(*s_, n, true);
    s_->selection = 1;
    SetFocus(view_);
    answerer::dialog(dlg_input_options).set_text(idi_p1, "0").set_text(idi_p2, "200").press(IDOK);
    td::press_key(VK_RETURN);
    td::run_until_idle();
    td::advance(livesweep_timer_ms + 1);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    ASSERT_NE(find_input_override(slot), nullptr);
    EXPECT_FLOAT_EQ(find_input_override(slot)->p2, 200);
    r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    EXPECT_FLOAT_EQ(r->max, 200);
    // Back to its equation: the slider goes.
    answerer::dialog(dlg_input_options).check(idi_override, false).press(IDOK);
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_EQ(element_slider(view_, n), nullptr);
}

// In Livesweep a click chooses the variable; Enter then opens its options.
TEST_F(Overrides, AZeroPeriodKeepsTheDialogOpen) {
    const sketch_elem* rate = variable("birth rate");
    ASSERT_NE(rate, nullptr);
    td::click(view_, rate->x * s_->zoom / 100 - s_->scroll_x,
              rate->y * s_->zoom / 100 - s_->scroll_y);
    td::run_until_idle();
    ASSERT_EQ(workbench_var.var, rate->payload);
    answerer::dialog(dlg_input_options).check(ovr_sine).set_text(idi_p4, "0").press(IDOK);
    answerer::dialog(dlg_input_options).press(IDCANCEL);
    SetFocus(view_);
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(message_log::said("period must be greater than 0", 8));
    EXPECT_EQ(find_input_override(rate_slot_), nullptr);
}

} // namespace

namespace {

float working_value_at(std::int32_t slot) {
    auto* v = static_cast<float*>(lock_handle(setup_copy));
    const float out = v ? v[slot] : -1;
    if (v) unlock_handle(setup_copy);
    return out;
}

// Ctrl+Home (Reset all) while an override is in force asks first: No keeps
// the override and the changed values; Yes ends the overrides and brings
// every constant back to the model's value. Without an override it asks
// nothing.
TEST_F(Overrides, ResetAllAsksBeforeEndingOverridesInForce) {
    set(ovr_step, 1, 2, 5, 0);
    ASSERT_TRUE(override_flags & 1);
    const float life = working_value_at(life_slot_);
    ASSERT_EQ(set_setup_value(life_slot_, life * 2), 1);
    auto asked = [] {
        for (const auto& seen : answerer::seen())
            if (seen.text.find("Can't reset all. Overrides/Partial Simulation active - do you "
                               "want to stop this?") != std::string::npos)
                return true;
        return false;
    };
    answerer::clear();
    answerer::box("Question from Kavrel").press(IDNO);
    EXPECT_FALSE(slider_keys(view_, -1, false));
    EXPECT_TRUE(asked());
    EXPECT_TRUE(override_flags & 1);
    EXPECT_FLOAT_EQ(working_value_at(life_slot_), life * 2);
    answerer::clear();
    answerer::box("Question from Kavrel").press(IDYES);
    EXPECT_TRUE(slider_keys(view_, -1, false));
    td::run_until_idle();
    EXPECT_TRUE(asked());
    EXPECT_EQ(override_flags & 1, 0);
    ASSERT_EQ(livesweep_state, ls_on);
    EXPECT_FLOAT_EQ(working_value_at(life_slot_), life);
    answerer::clear();
    ASSERT_EQ(set_setup_value(life_slot_, life * 3), 1);
    EXPECT_TRUE(slider_keys(view_, -1, false));
    EXPECT_FALSE(asked());
    EXPECT_FLOAT_EQ(working_value_at(life_slot_), life);
}

} // namespace

namespace {

// Light green pixels in a variable's box of the diagram as painted now.
int light_green_in(const sketch_state& s, const sketch_elem& e) {
    const int w = 1200, h = 800;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    paint_sketch(mem, s, RECT{0, 0, w, h});
    const int z = s.zoom > 0 ? s.zoom : 100;
    int n = 0;
    for (int y = (e.y - e.h) * z / 100 - s.scroll_y; y < (e.y + e.h) * z / 100 - s.scroll_y; ++y)
        for (int x = (e.x - e.w) * z / 100 - s.scroll_x; x < (e.x + e.w) * z / 100 - s.scroll_x;
             ++x)
            n += x >= 0 && y >= 0 && x < w && y < h && GetPixel(mem, x, y) == RGB(128, 255, 128);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    return n;
}

// In Livesweep an input whose value an override supplies is marked light
// green on the diagram and, varying now, shows a behaviour graph as an
// auxiliary does; without the override it has neither.
TEST_F(Overrides, AnInputHeldByAnOverrideIsMarkedLightGreen) {
    const sketch_elem* e = variable("birth rate");
    ASSERT_NE(e, nullptr);
    ASSERT_GT(e->w, 0);
    auto graphed = [&] {
        const std::vector<std::int32_t> slots = behavior_graph_slots(*s_);
        return std::find(slots.begin(), slots.end(), rate_slot_) != slots.end();
    };
    EXPECT_EQ(light_green_in(*s_, *e), 0);
    EXPECT_FALSE(graphed());
    set(ovr_step, 0.01f, 0.05f, 10, 0);
    td::run_until_idle();
    EXPECT_GT(light_green_in(*s_, *e), e->w * e->h);
    EXPECT_TRUE(graphed());
    set(0, 0, 0, 0, 0);
    td::run_until_idle();
    EXPECT_EQ(light_green_in(*s_, *e), 0);
    EXPECT_FALSE(graphed());
}

} // namespace

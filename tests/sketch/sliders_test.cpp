// Quick sliders: their ranges, snapping and stepping, and the sliders the
// sketch shows in Livesweep, dragged through the test driver.
#include "sketch/sliders.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

#include "foundation/types.h"
#include "resources/sketchdlg.h"
#include "sketch/drawsketch.h"
#include "sketch/viewnav.h"
#include "tests/common/message_log.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/live_fixture.h"

namespace td = test_driver;

namespace {

TEST(SliderRange, DefaultRangesFollowTheValue) {
    struct {
        double v, dt, lo, hi;
    } cases[] = {
        {0, 1, -1, 1},
        {0.1, 0.1, -1, 1},
        {0.1, 0.05, 0, 1},
        {10, 1, 2, 50},
        {0.2, 1, -1, 1},
        {1, 0.5, 0, 5},
        {-0.1, 1, -1, 1},
        {-0.5, 1, -2.5, 1},
        {-3, 1, -15, 0},
        {-10, 1, -50, -2},
        // The ends of the bands: 5 and -5 take a fifth, -1 is still below 1.
        {5, 1, 1, 25},
        {-5, 1, -25, -1},
        {-1, 1, -5, 1},
    };
    for (const auto& c : cases) {
        double lo = 99, hi = 99;
        default_slider_range(c.v, c.dt, &lo, &hi);
        EXPECT_DOUBLE_EQ(lo, c.lo) << c.v;
        EXPECT_DOUBLE_EQ(hi, c.hi) << c.v;
    }
}

TEST(SliderRange, PositionsSnapToTheIncrementWithinTheEnds) {
    qslider_rec r;
    r.min = 0;
    r.max = 1;
    r.increment = 0.25f;
    EXPECT_FLOAT_EQ(slider_value_at(r, 41), 0.5f); // 0.5125 is two steps
    EXPECT_FLOAT_EQ(slider_value_at(r, 0), 0.0f);
    EXPECT_FLOAT_EQ(slider_value_at(r, 80), 1.0f);
    // Steps of 4 would reach 12 at the right end of 0 .. 10: held at the
    // maximum.
    r.max = 10;
    r.increment = 4;
    EXPECT_FLOAT_EQ(slider_value_at(r, 80), 10.0f);
    EXPECT_FLOAT_EQ(slider_value_at(r, 70), 8.0f);
    r.max = 1;
    r.increment = 0;
    EXPECT_FLOAT_EQ(slider_value_at(r, 20), 0.25f);
    r.min = -2;
    r.max = 2;
    EXPECT_FLOAT_EQ(slider_value_at(r, 40), 0.0f);

    r.value = 1;
    EXPECT_EQ(slider_position(r), 60);
    r.value = 5; // outside the range: at the end
    EXPECT_EQ(slider_position(r), 80);
    r.value = NA;
    EXPECT_EQ(slider_position(r), 0);
    r.value = 1;
    r.max = r.min; // an empty range
    EXPECT_EQ(slider_position(r), 0);
    EXPECT_EQ(slider_box_left(0), 6);
    EXPECT_EQ(slider_box_left(80), 36);
}

// The population sample in Livesweep.
class QuickSliders : public LiveSketch {
protected:
    void SetUp() override {
        LiveSketch::SetUp();
        menu_command(cmd_livesweep);
        td::run_until_idle();
        ASSERT_EQ(livesweep_state, ls_on);
        rate_ = variable("birth rate");
        ASSERT_NE(rate_, nullptr);
        n_ = static_cast<int>(rate_ - &s_->view.elems[0]);
        lock_model(0);
        slot_ = sym(find_symbol("birth rate"))->slot;
        unlock_model(0);
    }
    float working(std::int32_t slot) {
        auto* v = static_cast<float*>(lock_handle(setup_copy));
        float out = v[slot];
        unlock_handle(setup_copy);
        return out;
    }
    float population_at(int i) {
        lock_model(0);
        const std::int32_t slot = sym(find_symbol("Population"))->slot;
        unlock_model(0);
        const float *t = nullptr, *v = nullptr;
        const int count = cached_series(slot, &t, &v, std::max(shown_run_slot(), 0));
        return count > i ? v[i] : NA;
    }
    const sketch_elem* rate_ = nullptr;
    int n_ = 0;
    std::int32_t slot_ = -1;
};

TEST_F(QuickSliders, EachConstantGetsASliderUnderItsNameAndOnlyInLivesweep) {
    HWND w = element_slider(view_, n_);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindowVisible(w));
    RECT rc;
    GetClientRect(w, &rc);
    EXPECT_EQ(rc.right, qslider_width);
    EXPECT_EQ(rc.bottom, qslider_height);
    // Centred under the element.
    GetWindowRect(w, &rc);
    POINT at{rc.left, rc.top};
    ScreenToClient(view_, &at);
    EXPECT_EQ(at.x, rate_->x * s_->zoom / 100 - s_->scroll_x - 46);
    EXPECT_EQ(at.y,
              (rate_->y + rate_->h) * s_->zoom / 100 - s_->scroll_y + (rate_->label == 1 ? 12 : 0));
    qslider_rec* r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    EXPECT_FLOAT_EQ(r->value, working(slot_));
    EXPECT_LT(r->min, r->value);
    EXPECT_GT(r->max, r->value);
    // The stock and the flows are no constants: no slider.
    EXPECT_EQ(element_slider(view_, static_cast<int>(variable("Population") - &s_->view.elems[0])),
              nullptr);
    shot("sliders-live.png");

    // A zoom takes the sliders along.
    const int before = at.x;
    set_sketch_zoom(view_, 150);
    td::run_until_idle();
    GetWindowRect(w, &rc);
    at = {rc.left, rc.top};
    ScreenToClient(view_, &at);
    EXPECT_EQ(at.x, rate_->x * s_->zoom / 100 - s_->scroll_x - 46);
    EXPECT_NE(at.x, before);

    menu_command(cmd_livesweep);
    td::run_until_idle();
    EXPECT_EQ(livesweep_state, ls_off);
    EXPECT_EQ(element_slider(view_, n_), nullptr);
    EXPECT_FALSE(IsWindow(w));
}

// A name placed below its variable pushes the slider 12 pixels further
// down, under the name; moved back above, the slider comes back up.
TEST_F(QuickSliders, ANameBelowItsVariablePushesTheSliderDown) {
    HWND w = element_slider(view_, n_);
    ASSERT_NE(w, nullptr);
    const auto top = [&] {
        RECT rc;
        GetWindowRect(w, &rc);
        POINT at{rc.left, rc.top};
        ScreenToClient(view_, &at);
        return at.y;
    };
    sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n_)];
    for (int label : {1, 0, 2, 1}) {
        e.label = static_cast<std::uint8_t>(label);
        set_sketch_zoom(view_, s_->zoom == 100 ? 101 : 100);
        td::run_until_idle();
        const int now_under = (e.y + e.h) * s_->zoom / 100 - s_->scroll_y;
        EXPECT_EQ(top(), now_under + (label == 1 ? 12 : 0)) << "label " << label;
    }
}

// The slider with the keyboard focus shows it in its track's colour; the
// others keep the plain grey track.
TEST_F(QuickSliders, TheFocusedSlidersTrackStandsOut) {
    std::vector<HWND> all;
    for (int n = 1; n < static_cast<int>(s_->view.elems.size()); ++n)
        if (HWND w = element_slider(view_, n)) all.push_back(w);
    ASSERT_GE(all.size(), 2u);
    for (int i = 0; i < 10 && !quick_slider(all[0])->focus; ++i) slider_keys(view_, -2, false);
    ASSERT_TRUE(quick_slider(all[0])->focus);
    ASSERT_FALSE(quick_slider(all[1])->focus);
    td::run_until_idle();
    // Row 6 crosses the track's shaft from end to end (and the value box,
    // black and white, wherever it stands).
    const QImage focused = td::image(all[0]), plain = td::image(all[1]);
    const auto track = [](const QImage& img) {
        const int left = 8, right = qslider_width - 10;
        std::vector<QRgb> seen;
        for (int x = left; x < right; ++x) {
            const QRgb c = img.pixel(x, 6) & 0xFFFFFF;
            if (c != qRgb(0, 0, 0) && c != qRgb(255, 255, 255)) seen.push_back(c);
        }
        return seen;
    };
    const auto f = track(focused), p = track(plain);
    ASSERT_FALSE(p.empty());
    ASSERT_FALSE(f.empty());
    const QRgb grey = qRgb(128, 128, 128) & 0xFFFFFF;
    EXPECT_TRUE(std::find(p.begin(), p.end(), grey) != p.end());
    EXPECT_TRUE(std::find(f.begin(), f.end(), grey) == f.end());
}

TEST_F(QuickSliders, DraggingReRunsAndTheStocksCurveFollows) {
    HWND w = element_slider(view_, n_);
    ASSERT_NE(w, nullptr);
    const sketch_elem* pop = variable("Population");
    auto box = [&](const QImage& img) {
        return img.copy(pop->x * s_->zoom / 100 - s_->scroll_x - pop->w * s_->zoom / 100,
                        pop->y * s_->zoom / 100 - s_->scroll_y - pop->h * s_->zoom / 100,
                        2 * pop->w * s_->zoom / 100 + 1, 2 * pop->h * s_->zoom / 100 + 1);
    };
    const QImage before = box(shot("sliders-before.png"));
    const float mid_before = population_at(20);
    qslider_rec* r = quick_slider(w);
    const float start = r->value;
    const int left = slider_box_left(r->position);
    // Press on the value box and drag it right, to position 60.
    td::drag(w, POINT{left + 10, 6}, POINT{66, 6}, 6);
    td::run_until_idle();
    // A request made while a re-run was busy runs on the 100 ms timer.
    td::advance(livesweep_timer_ms + 1);
    td::run_until_idle();
    r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(r->dragging);
    EXPECT_EQ(r->position, 60);
    EXPECT_FLOAT_EQ(r->value, slider_value_at(*r, 60));
    EXPECT_GT(r->value, start);
    EXPECT_FLOAT_EQ(working(slot_), r->value);
    const QImage after = box(shot("sliders-after.png"));
    EXPECT_NE(after, before);
    // The re-run's series shows the faster growth (to the same carrying
    // capacity).
    EXPECT_GT(population_at(20), mid_before);
}

// A print or copy of the view in Livesweep carries the sliders as they
// stand: a grey double arrow under each constant with its value in a box.
TEST_F(QuickSliders, PrintsAndCopiesShowTheSliders) {
    sketch_state rs = *s_;
    rs.zoom = 100;
    rs.scroll_x = rs.scroll_y = 0;
    constexpr int W = 700, H = 500;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, W, H);
    ReleaseDC(nullptr, screen);
    HGDIOBJ was = SelectObject(dc, bm);
    auto grey_under_rate = [&] {
        int n = 0;
        for (int y = rate_->y + rate_->h; y < rate_->y + rate_->h + 30; ++y)
            for (int x = rate_->x - 45; x <= rate_->x + 45; ++x)
                n += GetPixel(dc, x, y) == RGB(128, 128, 128);
        return n;
    };
    paint_sketch(dc, rs, RECT{0, 0, W, H}, true);
    EXPECT_EQ(grey_under_rate(), 0);
    // Played back from a recording, as the clipboard's metafile is.
    HDC mf = CreateMetaFile(nullptr);
    paint_sketch(mf, rs, RECT{0, 0, W, H}, true);
    print_quick_sliders(mf, view_, rs);
    HMETAFILE h = CloseMetaFile(mf);
    ASSERT_NE(h, nullptr);
    PlayMetaFile(dc, h);
    DeleteMetaFile(h);
    EXPECT_GT(grey_under_rate(), 40);
    SelectObject(dc, was);
    DeleteObject(bm);
    DeleteDC(dc);
}

TEST_F(QuickSliders, KeysMoveTheFocusAndStepByAnEightiethOrTheIncrement) {
    HWND w = element_slider(view_, n_);
    ASSERT_NE(w, nullptr);
    qslider_rec* r = quick_slider(w);
    // Bring the focus to this slider.
    for (int i = 0; i < 10 && !r->focus; ++i) slider_keys(view_, -2, false);
    ASSERT_TRUE(r->focus);
    // Tab goes on to the next slider and Shift+Tab back, round the ends.
    std::vector<HWND> shown;
    for (std::size_t k = 1; k < s_->view.elems.size(); ++k)
        if (HWND o = element_slider(view_, static_cast<int>(k)))
            if (qslider_rec* q = quick_slider(o); q && q->max > q->min) shown.push_back(o);
    ASSERT_GE(shown.size(), 3u);
    const auto at =
        static_cast<std::size_t>(std::find(shown.begin(), shown.end(), w) - shown.begin());
    ASSERT_LT(at, shown.size());
    const std::size_t n = shown.size();
    ASSERT_TRUE(slider_keys(view_, -2, true));
    EXPECT_TRUE(quick_slider(shown[(at + n - 1) % n])->focus);
    EXPECT_FALSE(r->focus);
    ASSERT_TRUE(slider_keys(view_, -2, false));
    EXPECT_TRUE(r->focus);
    ASSERT_TRUE(slider_keys(view_, -2, false));
    EXPECT_TRUE(quick_slider(shown[(at + 1) % n])->focus);
    ASSERT_TRUE(slider_keys(view_, -2, true));
    ASSERT_TRUE(r->focus);
    // The model declares birth rate's range and step; without a step the
    // keys move by an eightieth of the range.
    EXPECT_FLOAT_EQ(r->increment, 0.005f);
    EXPECT_FLOAT_EQ(r->max, 0.1f);
    r->increment = 0;
    const float start = r->value;
    const float step = (r->max - r->min) / 80;
    ASSERT_TRUE(slider_keys(view_, 1, false));
    td::run_until_idle();
    EXPECT_NEAR(r->value, start + step, 1e-6);
    EXPECT_FLOAT_EQ(working(slot_), r->value);
    r->increment = (r->max - r->min) / 4;
    ASSERT_TRUE(slider_keys(view_, 2, false));
    EXPECT_NEAR(r->value, start + step - r->increment, 1e-6);
    // Reset: the model's own value again, once.
    ASSERT_TRUE(slider_keys(view_, 0, false));
    EXPECT_FLOAT_EQ(r->value, start);
    EXPECT_FALSE(slider_keys(view_, 0, false));
    // Stepping stops at the ends.
    r->value = r->max;
    EXPECT_FALSE(slider_keys(view_, 1, false));
}

} // namespace

namespace {

TEST(SliderOptions, TypedFieldsMustParseAndKeepTheRangeInOrder) {
    qslider_rec r;
    r.min = 0;
    r.max = 1;
    r.value = 0.5f;
    r.slot = -1; // no working copy to write
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    // Refused, the record untouched: each says why.
    EXPECT_EQ(apply_slider_options(r, "0.5", "2", "2", "", false), -1);
    EXPECT_TRUE(message_log::said("Max value less than minimum"));
    EXPECT_EQ(apply_slider_options(r, "0.5", "0", "1", "-0.1", false), -1);
    EXPECT_TRUE(message_log::said("Increment is negative"));
    EXPECT_EQ(apply_slider_options(r, "0.5", "0", "1", "2", false), -1);
    EXPECT_TRUE(message_log::said("Increment is more than max - min"));
    EXPECT_EQ(apply_slider_options(r, "0.5", "0", "1x", "", false), -1);
    EXPECT_EQ(apply_slider_options(r, "nan", "0", "1", "", false), -1);
    EXPECT_EQ(apply_slider_options(r, "0.5", "-1e39", "1", "", false), -1);
    EXPECT_FLOAT_EQ(r.max, 1.0f);
    EXPECT_FLOAT_EQ(r.value, 0.5f);
    // Accepted: 1 when only the range changed, 2 when the value did.
    EXPECT_EQ(apply_slider_options(r, "0.5", "-1", "3", "0.25", false), 1);
    EXPECT_FLOAT_EQ(r.min, -1.0f);
    EXPECT_FLOAT_EQ(r.max, 3.0f);
    EXPECT_FLOAT_EQ(r.increment, 0.25f);
    EXPECT_EQ(r.position, 30);
    EXPECT_EQ(apply_slider_options(r, "2", "-1", "3", "", false), 2);
    EXPECT_FLOAT_EQ(r.increment, 0.0f);
    EXPECT_EQ(r.position, 60);
    // An increment of the whole range is one step from end to end.
    EXPECT_EQ(apply_slider_options(r, "2", "-1", "3", "4", false), 1);
    EXPECT_FLOAT_EQ(r.increment, 4.0f);
    EXPECT_FLOAT_EQ(slider_value_at(r, 20), -1.0f);
    EXPECT_FLOAT_EQ(slider_value_at(r, 60), 3.0f);
    set_message_hook(nullptr);
}

TEST_F(QuickSliders, AClickOpensTheOptionsAndMakePermanentWritesTheConstant) {
    HWND w = element_slider(view_, n_);
    ASSERT_NE(w, nullptr);
    qslider_rec* r = quick_slider(w);
    std::string title;
    // A maximum not above the minimum is refused and the dialog stays open
    // for the next answer.
    answerer::dialog(dlg_slider_options)
        .call([&](HWND d) {
            char text[200] = {};
            GetDlgItemText(d, idq_title, text, sizeof text);
            title = text;
        })
        .set_text(idq_min, "0.2")
        .set_text(idq_max, "0.1")
        .press(IDOK);
    answerer::box("Stop from Kavrel").press(IDOK);
    answerer::dialog(dlg_slider_options)
        .set_text(idq_value, "0.06")
        .set_text(idq_min, "0")
        .set_text(idq_max, "0.1")
        .set_text(idq_increment, "0.01")
        .check(idq_permanent)
        .press(IDOK);
    // Off the value box: on the right arrow head.
    td::click(w, qslider_width - 2, 6);
    td::run_until_idle();
    EXPECT_EQ(title, "Slider control options for: birth rate");
    EXPECT_EQ(answerer::pending(), 0u);
    r = quick_slider(w);
    ASSERT_NE(r, nullptr);
    EXPECT_FLOAT_EQ(r->value, 0.06f);
    EXPECT_FLOAT_EQ(r->max, 0.1f);
    EXPECT_FLOAT_EQ(working(slot_), 0.06f);
    lock_model(0);
    const symbol_record* p = sym(find_symbol("birth rate"));
    EXPECT_FLOAT_EQ(as_float(p->max), 0.1f);
    EXPECT_FLOAT_EQ(as_float(p->incr), 0.01f);
    unlock_model(0);
}

} // namespace

namespace {

TEST_F(QuickSliders, ArrowKeysOnTheViewStepTheFocusedSlider) {
    HWND w = element_slider(view_, n_);
    ASSERT_NE(w, nullptr);
    qslider_rec* r = quick_slider(w);
    for (int i = 0; i < 10 && !r->focus; ++i) td::press_key(VK_TAB);
    td::run_until_idle();
    ASSERT_TRUE(r->focus);
    const float start = r->value;
    SetFocus(view_);
    td::press_key(VK_RIGHT);
    td::run_until_idle();
    EXPECT_NEAR(r->value, start + r->increment, 1e-6);
    td::press_key(VK_LEFT);
    td::press_key(VK_LEFT);
    td::run_until_idle();
    EXPECT_NEAR(r->value, start - r->increment, 1e-6);
    EXPECT_FLOAT_EQ(working(slot_), r->value);
}

// With two runs loaded, Livesweep over the second (the run name being made
// is its name): the diagram's first refresh keeps the run the driver chose
// to show, and the re-runs write that run's series, not the first one's.
TEST_F(LiveSketch, LivesweepOverTheSecondRunShowsAndReRunsThatRun) {
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "second");
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1); // "second" first, "base" second
    td::run_until_idle();
    ASSERT_EQ(model_rec->run_count, 2);
    const std::int32_t pop = slot_of("Population");
    auto last = [&](int run_slot) {
        const float* values = nullptr;
        const int n = cached_series(pop, nullptr, &values, run_slot);
        return n > 0 && values ? values[n - 1] : -1.0f;
    };
    const float second_before = last(0);
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "base");
    menu_command(cmd_livesweep);
    td::run_until_idle();
    ASSERT_EQ(livesweep_state, ls_on);
    EXPECT_EQ(shown_run_slot(), 1);
    EXPECT_EQ(shown_run_index(), model_rec->runs[1].run);
    // A changed birth rate re-runs into the shown run's arrays.
    lock_model(0);
    const std::int32_t rate = sym(find_symbol("birth rate"))->slot;
    unlock_model(0);
    ASSERT_EQ(set_setup_value(rate, 0.08f), 1); // twice the model's 0.04
    EXPECT_EQ(livesweep_rerun(5, 0, 0), 1);
    td::run_until_idle();
    EXPECT_EQ(shown_run_slot(), 1);
    EXPECT_EQ(last(0), second_before); // the other run is left as it was
}

TEST_F(LiveSketch, ShowBehaviorTogglesTheGraphsOutsideLivesweep) {
    ASSERT_FALSE(behavior_display());
    SetFocus(view_);
    td::press_key('B');
    td::run_until_idle();
    EXPECT_TRUE(behavior_display());
    td::press_key('B');
    td::run_until_idle();
    EXPECT_FALSE(behavior_display());
}

} // namespace

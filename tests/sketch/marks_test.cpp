// The marks a user reads on the diagram (what may be changed now, game
// inputs, inputs held by an override, variables without an equation) and
// the Options' colour modes on screen, in print and in copies.
#include <gtest/gtest.h>

#include <optional>

#include "draw/drawing.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "sim/simdata.h"
#include "sketch/drawsketch.h"
#include "sketch/views.h"
#include "tests/driver/driver.h"
#include "tests/sketch/sketch_fixture.h"
#include "tests/support/model_builder.h"
#include "tests/support/view_layout.h"

namespace {

constexpr int W = 700, H = 200;
constexpr COLORREF yellow = RGB(255, 255, 0), light_green = RGB(128, 255, 128);

class DiagramMarks : public SketchTest {
protected:
    void SetUp() override {
        SketchTest::SetUp();
        test_driver::start();
        b_.constant("k", 1);
        b_.aux("y", "k * 2");
        b_.function_of("f", {"k"});
        b_.aux("d", "1");
        b_.game_input("g", "1");
        b_.lookup("t", {{0, 0}, {1, 1}});
        ASSERT_TRUE(b_.finish());
        {
            // d's equation taken away, as a model can hold a name without one.
            model_lock_guard lock(b_.symbols(), 0);
            ASSERT_TRUE(lock.ok());
            sym(b_.id("d"))->eqn = 0;
        }
        view_layout v(b_, "Marks");
        const char* names[] = {"k", "y", "f", "d", "g", "t"};
        for (int i = 0; i < 6; ++i)
            el_[i] = v.styled(ek_variable, b_.id(names[i]), 60 + i * 110, 60, 40, 20, 3, 255,
                              view_layout::look{});
        // A link whose own colour is red, from k to y.
        v.arrows_from_causes();
        s.symbols = b_.symbols();
        s.header = b_.header();
        ASSERT_GE(load_view(s, 0, 0, false, 0, false), 0);
        for (sketch_elem& e : s.view.elems)
            if (e.kind == ek_connector) {
                e.style |= 1;
                e.line_colour = RGB(255, 0, 0);
            }
        s.view.rec.background = RGB(230, 230, 255);
        saved_symbols_ = cur_model_symbols;
        saved_modes_[0] = opts.colour_modes[0];
        saved_modes_[1] = opts.colour_modes[1];
        saved_modes_[2] = opts.colour_modes[2];
        canvas_.emplace(W, H);
        dc_ = canvas_->dc();
    }
    void TearDown() override {
        sim_phase = phase_idle;
        livesweep_state = ls_off;
        game_state = 0;
        drawing.printing = 0;
        drawing.gtx_mode = 0;
        for (int i = 0; i < 3; ++i) opts.colour_modes[i] = saved_modes_[i];
        cur_model_symbols = saved_symbols_;
        canvas_.reset();
        dc_ = nullptr;
        s.view = working_view{};
        test_driver::reset();
        SketchTest::TearDown();
    }
    void paint(bool output = false) { paint_sketch(dc_, s, RECT{0, 0, W, H}, output); }
    // Pixels of a colour (dark: any dark colour) inside element i's box.
    int count(int i, COLORREF c, bool dark = false, bool light = false) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(el_[i])];
        int n = 0;
        for (int y = e.y - e.h + 2; y < e.y + e.h - 1; ++y)
            for (int x = e.x - e.w + 2; x < e.x + e.w - 1; ++x) {
                const COLORREF p = GetPixel(dc_, x, y);
                const int sum = GetRValue(p) + GetGValue(p) + GetBValue(p);
                n += dark ? sum < 150 : light ? sum > 450 : p == c;
            }
        return n;
    }
    int inside(int i) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(el_[i])];
        return (2 * e.w - 3) * (2 * e.h - 3);
    }
    int everywhere(COLORREF c) {
        int n = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) n += GetPixel(dc_, x, y) == c;
        return n;
    }
    enum { k_, y_, f_, d_, g_, t_ };
    model_builder b_{"marks"};
    handle saved_symbols_ = 0;
    std::uint8_t saved_modes_[3]{};
    std::optional<memory_canvas> canvas_; // the colour surface painted on
    HDC dc_ = nullptr;
    int el_[6]{};
};

// Outside the modes (and for a model that is not the current one) a
// variable without an equation, or with only "A FUNCTION OF", is drawn
// inverted: its box dark, its name in the background colour.
TEST_F(DiagramMarks, AVariableWithoutAnEquationIsDrawnInverted) {
    paint();
    EXPECT_GT(count(f_, 0, true), inside(f_) * 8 / 10);
    EXPECT_GT(count(d_, 0, true), inside(d_) * 8 / 10);
    EXPECT_LT(count(k_, 0, true), inside(k_) / 4);
    EXPECT_LT(count(y_, 0, true), inside(y_) / 4);
    // The name shows in light pixels inside the dark box.
    EXPECT_GT(count(f_, 0, false, true), 5);
    cur_model_symbols = s.symbols;
    paint();
    EXPECT_GT(count(f_, 0, true), inside(f_) * 8 / 10);
}

// In Simulation Setup what may be changed is yellow; in Livesweep only the
// lookups (sliders stand for the constants); in a game the game inputs are
// light green, and nothing is inverted.
TEST_F(DiagramMarks, TheModesMarkWhatTheUserMayChange) {
    cur_model_symbols = s.symbols;
    sim_phase = phase_setup;
    paint();
    EXPECT_GT(count(k_, yellow), inside(k_) / 2);
    EXPECT_GT(count(t_, yellow), inside(t_) / 2);
    EXPECT_EQ(count(y_, yellow), 0);
    EXPECT_LT(count(f_, 0, true), inside(f_) / 4);
    sim_phase = phase_idle;
    livesweep_state = ls_on;
    paint();
    EXPECT_EQ(count(k_, yellow), 0);
    EXPECT_GT(count(t_, yellow), inside(t_) / 2);
    livesweep_state = ls_off;
    game_state = 1;
    paint();
    EXPECT_GT(count(g_, light_green), inside(g_) / 2);
    EXPECT_EQ(count(k_, light_green), 0);
    EXPECT_EQ(count(k_, yellow), 0);
    EXPECT_LT(count(d_, 0, true), inside(d_) / 4);
    // A sketch of another model shows none of the current model's modes.
    cur_model_symbols = 0;
    paint();
    EXPECT_EQ(count(g_, light_green), 0);
    EXPECT_GT(count(d_, 0, true), inside(d_) * 8 / 10);
}

// Options > Monochrome: black on white, no fills or marks in colour, links
// black whatever their own colour; each device reads its own byte of the
// Options (display, print, clipboard).
TEST_F(DiagramMarks, MonochromeDrawsBlackOnWhiteOnEachDevice) {
    cur_model_symbols = s.symbols;
    sim_phase = phase_setup;
    paint();
    EXPECT_GT(everywhere(RGB(230, 230, 255)), W * H / 2); // the view's background
    EXPECT_GT(everywhere(RGB(255, 0, 0)), 10);            // the links' own colour
    opts.colour_modes[0] = cm_mono;
    paint();
    EXPECT_EQ(everywhere(RGB(230, 230, 255)), 0);
    EXPECT_GT(everywhere(RGB(255, 255, 255)), W * H / 2);
    EXPECT_EQ(everywhere(RGB(255, 0, 0)), 0);
    EXPECT_EQ(everywhere(yellow), 0);
    // The printer and the clipboard have their own bytes.
    drawing.printing = 1;
    paint(true);
    EXPECT_GT(everywhere(RGB(255, 0, 0)), 10);
    opts.colour_modes[1] = cm_mono | cm_solid;
    EXPECT_EQ(sketch_colour_mode(true), cm_mono | cm_solid);
    paint(true);
    EXPECT_EQ(everywhere(RGB(255, 0, 0)), 0);
    drawing.printing = 0;
    drawing.gtx_mode = 1;
    paint(true);
    EXPECT_GT(everywhere(RGB(255, 0, 0)), 10);
    opts.colour_modes[2] = cm_mono;
    EXPECT_EQ(sketch_colour_mode(true), cm_mono);
    EXPECT_EQ(sketch_colour_mode(false), cm_mono); // the display's byte
}

} // namespace

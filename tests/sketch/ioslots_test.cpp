// Input sliders on a view bound to the element their text names or the
// subscript selection picks, and to a game input during a game.
#include <gtest/gtest.h>

#include "model/subscript_selection.h"
#include "model/varnames.h"
#include "resources/menus.h"
#include "resources/simdlg.h"
#include "shell/controls/slider.h"
#include "shell/simdlg.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sketch/drawsketch.h"
#include "sketch/ioobjects.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/live_fixture.h"

namespace {

namespace td = test_driver;

// Drags a slider's thumb past its right (or left) end.
void drag_to_end(HWND slider, bool right) {
    slider_geometry g;
    RECT rc{};
    GetClientRect(slider, &rc);
    ASSERT_TRUE(slider_layout(slider, SIZE{rc.right, rc.bottom}, &g));
    const POINT from{(g.thumb.left + g.thumb.right) / 2, (g.thumb.top + g.thumb.bottom) / 2};
    // Straight to the slider: the game's window may stand over it.
    const LPARAM to = MAKELPARAM(right ? rc.right + 50 : -50, from.y);
    SendMessage(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    SendMessage(slider, WM_MOUSEMOVE, MK_LBUTTON, to);
    SendMessage(slider, WM_LBUTTONUP, 0, to);
    td::run_until_idle();
}

// The input-slider elements of the view, in element order.
std::vector<int> sliders_of(const sketch_state& s) {
    std::vector<int> out;
    for (int i = 1; i < s.view.count(); ++i) {
        const sketch_elem& e = s.view.elems[static_cast<std::size_t>(i)];
        if (e.kind == ek_text && (e.flags & ef_io_object) && e.label == io_input_slider)
            out.push_back(i);
    }
    return out;
}

class SubscriptedSliders : public LiveSketch {
protected:
    const char* sample_name() const override { return "subscripted.kmf"; }
    // The value slot of an element name ("demand[south,tools]").
    std::int32_t slot_named(const char* name) {
        lock_model(0);
        std::int32_t slot = -1;
        find_var_name(name, &slot);
        unlock_model(0);
        return slot;
    }
    symbol_id symbol(const char* name) {
        lock_model(0);
        const symbol_id id = find_symbol(name);
        unlock_model(0);
        return id;
    }
    void TearDown() override {
        // The selection lives in the model's context; put it back.
        const symbol_id region = symbol("region"), product = symbol("product");
        select_element_span(region, 0, 3);
        select_element_span(product, 0, 2);
        LiveSketch::TearDown();
    }
};

// The selection picks, per dimension, its first selected element; a scalar
// gives its first slot; a name that is no variable gives nothing.
TEST_F(SubscriptedSliders, TheSelectionPicksTheFirstSelectedElementOfEachRange) {
    const symbol_id demand = symbol("demand"), region = symbol("region"),
                    product = symbol("product");
    ASSERT_TRUE(demand && region && product);
    lock_model(0);
    std::int32_t slot = 0;
    value_slot_ref ref;
    EXPECT_EQ(resolve_value_slot(demand, &slot, &ref), st_constant);
    EXPECT_EQ(slot, sym(demand)->slot); // everything selected: north, food
    EXPECT_EQ(ref.symbol, demand);
    EXPECT_EQ(ref.ndims, 2);
    EXPECT_EQ(ref.slot, slot);
    unlock_model(0);
    ASSERT_EQ(select_element_span(region, 2, 3), 1);  // east, west
    ASSERT_EQ(select_element_span(product, 1, 1), 1); // tools
    lock_model(0);
    EXPECT_EQ(resolve_value_slot(demand, &slot), st_constant);
    const std::int32_t first = sym(demand)->slot;
    EXPECT_EQ(resolve_value_slot(find_symbol("largest stock"), &slot, &ref), st_aux);
    EXPECT_EQ(ref.ndims, 0);
    EXPECT_EQ(resolve_value_slot(region, &slot), 0); // a range has no slots
    EXPECT_EQ(slot, 0);
    unlock_model(0);
    EXPECT_EQ(slot_named("demand[east,tools]") - first, 2 * 3 + 1);
    lock_model(0);
    resolve_value_slot(demand, &slot);
    unlock_model(0);
    EXPECT_EQ(slot, slot_named("demand[east,tools]"));
}

// The sample's two sliders on "demand": one without subscripts follows the
// selection, one on demand[south,tools] keeps its element. In Simulation
// Setup each is bound to its own element's slot, a value set through it
// lands there, and the first slider's name says which element it sets.
TEST_F(SubscriptedSliders, ASliderSetsTheElementItsTextNamesOrTheSelectionPicks) {
    const std::vector<int> n = sliders_of(*s_);
    ASSERT_EQ(n.size(), 2u);
    const sketch_elem& plain = s_->view.elems[static_cast<std::size_t>(n[0])];
    const sketch_elem& named = s_->view.elems[static_cast<std::size_t>(n[1])];
    std::int32_t slot = 0;
    symbol_id id = 0;
    EXPECT_EQ(io_object_slot(s_->symbols, plain, &slot, &id), st_constant);
    EXPECT_EQ(slot, slot_named("demand[north,food]"));
    EXPECT_EQ(id, symbol("demand"));
    EXPECT_EQ(io_object_slot(s_->symbols, named, &slot), st_constant);
    EXPECT_EQ(slot, slot_named("demand[south,tools]"));
    // Outside the modes both read their element's value in the run.
    float v = -1;
    ASSERT_TRUE(io_slider_value(plain, &v));
    EXPECT_FLOAT_EQ(v, 10.0f);
    ASSERT_TRUE(io_slider_value(named, &v));
    EXPECT_FLOAT_EQ(v, 4.0f);
    EXPECT_EQ(io_slider_name(*s_, plain), "demand");

    // The selection moves to west and cloth; the plain slider follows once
    // the change is told (as the Subscript Control tells it).
    ASSERT_EQ(select_element_span(symbol("region"), 3, 3), 1);
    ASSERT_EQ(select_element_span(symbol("product"), 2, 2), 1);
    refresh_sketch_values();
    td::run_until_idle();
    ASSERT_TRUE(io_slider_value(plain, &v));
    EXPECT_FLOAT_EQ(v, 4.0f); // demand[west,cloth]
    ASSERT_TRUE(io_slider_value(named, &v));
    EXPECT_FLOAT_EQ(v, 4.0f); // still demand[south,tools]

    menu_command(cmd_setup);
    td::run_until_idle();
    ASSERT_EQ(sim_phase, phase_setup);
    HWND w0 = io_object_window(view_, n[0]), w1 = io_object_window(view_, n[1]);
    ASSERT_TRUE(w0 && w1);
    EXPECT_EQ(slider_slot(w0), slot_named("demand[west,cloth]"));
    EXPECT_EQ(slider_slot(w1), slot_named("demand[south,tools]"));
    EXPECT_EQ(io_slider_name(*s_, plain), "demand[west,cloth]");
    EXPECT_EQ(io_slider_name(*s_, named), "demand[south,tools]");
    drag_to_end(w1, true);
    auto* values = static_cast<float*>(lock_handle(setup_copy));
    ASSERT_NE(values, nullptr);
    EXPECT_FLOAT_EQ(values[slot_named("demand[south,tools]")], 20.0f);
    EXPECT_FLOAT_EQ(values[slot_named("demand[west,cloth]")], 4.0f);
    EXPECT_FLOAT_EQ(values[slot_named("demand[north,food]")], 10.0f);
    unlock_handle(setup_copy);
    leave_sim_mode(0);
    td::run_until_idle();
}

// Values typed in the Constant Changes dialog in Setup reach the sliders on
// those elements: the one naming demand[south,tools] and the plain "demand"
// one on the element the selection picks. An element no slider shows leaves
// both as they were.
TEST_F(SubscriptedSliders, ValuesTypedInConstantChangesShowOnTheirElementsSliders) {
    const std::vector<int> n = sliders_of(*s_);
    ASSERT_EQ(n.size(), 2u);
    ASSERT_EQ(select_element_span(symbol("region"), 3, 3), 1);  // west
    ASSERT_EQ(select_element_span(symbol("product"), 2, 2), 1); // cloth
    refresh_sketch_values();
    menu_command(cmd_setup);
    td::run_until_idle();
    ASSERT_EQ(sim_phase, phase_setup);
    HWND plain = io_object_window(view_, n[0]), named = io_object_window(view_, n[1]);
    ASSERT_EQ(slider_slot(plain), slot_named("demand[west,cloth]"));
    ASSERT_EQ(slider_slot(named), slot_named("demand[south,tools]"));
    auto shown = [](HWND w) {
        float v = -1;
        SendMessage(w, vs_get_value, 0, reinterpret_cast<LPARAM>(&v));
        return v;
    };
    ASSERT_FLOAT_EQ(shown(plain), 4.0f);
    ASSERT_FLOAT_EQ(shown(named), 4.0f);
    // Chooses a row by its element's name and types a value, as a user does.
    auto type_value = [](HWND d, const char* name, const char* text) {
        HWND list = GetDlgItem(d, ids_list);
        const int rows = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < rows; ++i) {
            char line[256] = {};
            SendMessage(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            if (std::string(line).find(std::string(name) + " =") == std::string::npos) continue;
            SendMessage(list, LB_SETCURSEL, i, 0);
            SendMessage(d, WM_COMMAND, MAKEWPARAM(ids_list, LBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list));
            SetDlgItemText(d, ids_value, text);
            SendMessage(d, WM_COMMAND, ids_set, 0);
            return;
        }
        ADD_FAILURE() << "no row " << name;
    };
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            type_value(d, "demand[south,tools]", "12");
            type_value(d, "demand[west,cloth]", "7");
            type_value(d, "demand[north,food]", "15");
        })
        .press(IDOK);
    menu_command(cmd_constant_changes);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_FLOAT_EQ(shown(named), 12.0f);
    EXPECT_FLOAT_EQ(shown(plain), 7.0f);
    char text[32] = {};
    GetWindowText(named, text, sizeof text);
    EXPECT_STREQ(text, "12");
    leave_sim_mode(0);
    td::run_until_idle();
}

class GameSliders : public LiveSketch {
protected:
    const char* sample_name() const override { return "epidemic.kmf"; }
    void TearDown() override {
        if (game_state) sim_control_command(sc_end_game, 0, 0);
        close_game_window();
        destroy_game_window();
        game_interval = 0;
        LiveSketch::TearDown();
    }
};

// A slider on a game input is read-only outside a game; in a game it is
// bound to the input, and what it is set to between intervals is what the
// next interval runs with.
TEST_F(GameSliders, ASliderOnAGameInputSetsItForTheNextInterval) {
    const std::vector<int> n = sliders_of(*s_);
    ASSERT_EQ(n.size(), 1u);
    HWND w = io_object_window(view_, n[0]);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(slider_slot(w), 0);
    lock_model(0);
    const symbol_id distancing = find_symbol("distancing");
    const std::int32_t slot = sym(distancing)->slot;
    unlock_model(0);
    // In Simulation Setup a game input is no constant: still read-only.
    menu_command(cmd_setup);
    td::run_until_idle();
    EXPECT_EQ(slider_slot(io_object_window(view_, n[0])), 0);
    leave_sim_mode(0);
    td::run_until_idle();

    game_interval = 10;
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "play");
    ASSERT_EQ(run_command(rc_game, 0, 1, nullptr), 1);
    td::run_until_idle();
    ASSERT_TRUE(game_in_progress());
    w = io_object_window(view_, n[0]);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(slider_slot(w), slot);
    show_game_window(); // as the shell shows it after each move
    ASSERT_NE(game_window(), nullptr);
    drag_to_end(w, false); // no distancing at all: no contacts
    float shown = -1;
    ASSERT_TRUE(io_slider_value(s_->view.elems[static_cast<std::size_t>(n[0])], &shown));
    EXPECT_FLOAT_EQ(shown, 0.0f);
    // The game's window lists the new decision, changed, and taking its
    // fields before the move keeps it.
    char line[128] = {};
    SendDlgItemMessage(game_window(), ids_list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line));
    EXPECT_STREQ(line, "* distancing = 0");
    ASSERT_TRUE(take_game_window_fields());
    ASSERT_TRUE(io_slider_value(s_->view.elems[static_cast<std::size_t>(n[0])], &shown));
    EXPECT_FLOAT_EQ(shown, 0.0f);
    ASSERT_EQ(run_command(rc_game, 0, 1, nullptr), 1);
    td::run_until_idle();
    ASSERT_TRUE(game_in_progress());
    EXPECT_FLOAT_EQ(static_cast<float>(game_time()), 20.0f);
    // The second interval ran with the input at 0.
    ASSERT_NE(value_array, nullptr);
    EXPECT_FLOAT_EQ(value_array[slot], 0.0f);
}

} // namespace

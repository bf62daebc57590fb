// What the diagram and its print show: a shadow's name in angle brackets and
// the primary element's as it stands, and a print size given in inches taken
// in each direction's own printer resolution.
#include <gtest/gtest.h>

#include "model/model.h"
#include "sketch/drawsketch.h"
#include "sketch/viewprint.h"
#include "tests/sketch/window_fixture.h"

namespace {

class SketchTexts : public SketchWindow {};

TEST_F(SketchTexts, AShadowsNameIsShownInAngleBracketsThePrimaryAsItStands) {
    // The population sample's first view holds Population itself and a
    // shadow of initial population.
    lock_model(0);
    const symbol_id pop = find_symbol("Population"), init = find_symbol("initial population");
    unlock_model(0);
    const int primary = find_symbol_element(s_->view, pop, false);
    const int shadow = find_symbol_element(s_->view, init, true);
    ASSERT_GT(primary, 0);
    ASSERT_GT(shadow, 0);
    const sketch_elem& p = s_->view.elems[static_cast<std::size_t>(primary)];
    const sketch_elem& sh = s_->view.elems[static_cast<std::size_t>(shadow)];
    ASSERT_FALSE(sh.primary());
    EXPECT_EQ(sketch_element_text(*s_, p), "Population");
    EXPECT_EQ(sketch_element_text(*s_, sh), "<initial population>");
}

TEST(PrintSize, InchesAreTakenInEachDirectionsOwnResolution) {
    // A printer of 600 dots an inch across and 300 down; printable area 4500
    // by 3000 dots.
    const printer_page page{600 * 17 / 2, 300 * 11, 600, 300};
    view_output_settings set;
    set.sizing = 2; // a height of 2 inches: 600 dots for 100 pixels
    set.height_in = 2;
    EXPECT_DOUBLE_EQ(view_print_factor(set, 400, 100, page), 6.0);
    set.sizing = 1; // a width of 2 inches: 1200 dots for 400 pixels
    set.width_in = 2;
    EXPECT_DOUBLE_EQ(view_print_factor(set, 400, 100, page), 3.0);
    // Both: the smaller factor keeps the picture within both.
    set.sizing = 1 | 2;
    EXPECT_DOUBLE_EQ(view_print_factor(set, 400, 100, page), 3.0);
    set.height_in = 0.5f; // 150 dots down
    EXPECT_DOUBLE_EQ(view_print_factor(set, 400, 100, page), 1.5);
}

} // namespace

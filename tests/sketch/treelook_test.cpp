// The tree tool draws its links as the diagram draws the arrows between the
// same two variables: colour, width code and mark, found in the view shown.
#include <gtest/gtest.h>

#include "sketch/sketchwin.h"
#include "tests/sketch/sketch_fixture.h"
#include "tools/tree.h"

namespace {

class TreeLinkLook : public SketchTest {};

TEST_F(TreeLinkLook, AnArrowBetweenTheTwoVariablesGivesItsLook) {
    const int births = box(100, 100, 30, 10);
    const int rate = box(200, 100, 30, 10);
    const int stock = box(300, 100, 40, 20);
    el(births).payload = 11;
    el(rate).payload = 12;
    el(stock).payload = 13;
    const int arrow = link(rate, births, path_straight, {{150, 100}}, 3);
    el(arrow).line_colour = 0x0000FF;
    el(arrow).mark = '+';
    // A pipe between two variables is no causal arrow.
    link(births, stock, path_straight, {{200, 100}}, 24);

    tree_link_look look;
    ASSERT_TRUE(sketch_link_look(s, 12, 11, &look));
    EXPECT_EQ(look.colour, 0x0000FF);
    EXPECT_EQ(look.width, 3);
    EXPECT_EQ(look.polarity, '+');
    // The other way round, an unknown pair and the pipe have no arrow.
    EXPECT_FALSE(sketch_link_look(s, 11, 12, &look));
    EXPECT_FALSE(sketch_link_look(s, 12, 99, &look));
    EXPECT_FALSE(sketch_link_look(s, 11, 13, &look));
    // A default colour and no mark read as such.
    el(arrow).line_colour = 0xFFFFFFFFu;
    el(arrow).mark = 0;
    ASSERT_TRUE(sketch_link_look(s, 12, 11, &look));
    EXPECT_EQ(look.colour, -1);
    EXPECT_EQ(look.polarity, 0);
}

} // namespace

// The bottom bar's values taken from a sketch: the view's name and font,
// style bits beyond the four letters ignored, a default colour shown black,
// a name filling its whole field read no further.
#include "sketch/fontbar.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(SketchBarValues, TakeTheViewsLookAndShownDepth) {
    sketch_state s;
    view_rec& r = s.view.rec;
    std::memset(r.name, 'v', sizeof r.name); // no terminator: the field's length
    std::strcpy(r.font.face, "Mono");
    r.font.size = 14;
    r.font.style = 0xF2; // italic, with bits the bar has no letter for
    r.font.colour = 0xFFFFFFFFu;
    r.outline = 0x00123456u;
    r.connector = 0xFF00FF00u; // the high byte is no part of the colour
    s.shown_level = 5;
    bottom_view_values v = sketch_bar_values(s);
    EXPECT_EQ(v.view_name, std::string(sizeof r.name, 'v'));
    EXPECT_EQ(v.face, "Mono");
    EXPECT_EQ(v.size, 14);
    EXPECT_EQ(v.style, 2u);
    EXPECT_EQ(v.shown_level, 5);
    EXPECT_EQ(v.text_colour, RGB(0, 0, 0));
    EXPECT_EQ(v.outline_colour, 0x00123456u);
    EXPECT_EQ(v.connector_colour, 0x0000FF00u);
}

// An element's own look replaces the view's only where its style bits say
// so (1 the line colour, 2 the text colour, 8 the size, 16 the style, 32 the
// face); the style shows its four letters only.
TEST(SketchBarValues, AnElementsOwnLookReplacesTheViewsWhereItsBitsSaySo) {
    sketch_state s;
    view_rec& r = s.view.rec;
    std::strcpy(r.font.face, "Mono");
    r.font.size = 14;
    r.font.style = 2;
    r.font.colour = 0xFFFFFFFFu;
    r.outline = 0x00123456u;
    r.connector = 0x00654321u;
    s.view.elems.resize(3);
    sketch_elem& box = s.view.elems[1];
    box.kind = ek_variable;
    box.style = 1 | 2 | 8 | 16 | 32;
    std::strcpy(box.font.face, "Serif");
    box.font.size = 20;
    box.font.style = 0xF1; // bold, with bits the bar has no letter for
    box.font.colour = 0x000000FFu;
    box.own_outline = 0x0000FF00u;
    bool own = false;
    bottom_view_values v = element_bar_values(s, 1, &own);
    EXPECT_TRUE(own);
    EXPECT_EQ(v.face, "Serif");
    EXPECT_EQ(v.size, 20);
    EXPECT_EQ(v.style, 1u);
    EXPECT_EQ(v.text_colour, 0x000000FFu);
    EXPECT_EQ(v.outline_colour, 0x0000FF00u);
    EXPECT_EQ(v.connector_colour, 0x00654321u);

    // Only the size of its own: the rest is the view's.
    box.style = 8;
    v = element_bar_values(s, 1, &own);
    EXPECT_TRUE(own);
    EXPECT_EQ(v.face, "Mono");
    EXPECT_EQ(v.size, 20);
    EXPECT_EQ(v.style, 2u);
    EXPECT_EQ(v.text_colour, RGB(0, 0, 0));
    EXPECT_EQ(v.outline_colour, 0x00123456u);

    // A connector's line colour is the connector colour, not the outline.
    sketch_elem& arrow = s.view.elems[2];
    arrow.kind = ek_connector;
    arrow.style = 1;
    arrow.line_colour = 0x00ABCDEFu;
    v = element_bar_values(s, 2, &own);
    EXPECT_EQ(v.connector_colour, 0x00ABCDEFu);
    EXPECT_EQ(v.outline_colour, 0x00123456u);

    // No element, or one past the view's: the view's look, not its own.
    for (int n : {0, -1, 3}) {
        own = true;
        v = element_bar_values(s, n, &own);
        EXPECT_FALSE(own) << n;
        EXPECT_EQ(v.size, 14) << n;
    }
}

#include "tests/sketch/sketch_fixture.h"
#include "tests/support/view_layout.h"

namespace {

class BarViews : public SketchTest {};

// The view chooser lists the views a user can go to by their numbers: the
// shared view is left out and the numbers of the others are kept.
TEST_F(BarViews, TheSharedViewIsNotOffered) {
    model_builder b("bar");
    b.constant("k", 1);
    ASSERT_TRUE(b.finish());
    view_layout shared(b, "Common", 1);
    shared.variable("k", 50, 50);
    view_layout main(b, "Main");
    main.variable("k", 10, 10);
    view_layout other(b, "Other", 2);
    other.variable("k", 20, 20);
    auto views = listed_views(b.symbols());
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0], (std::pair<int, std::string>{1, "Main"}));
    EXPECT_EQ(views[1], (std::pair<int, std::string>{2, "Other"}));
    EXPECT_TRUE(listed_views(0).empty());
    // The depth chooser's entries are the levels by their index.
    auto depths = depth_texts();
    ASSERT_EQ(depths.size(), static_cast<std::size_t>(max_level + 1));
    EXPECT_EQ(depths[0], "Hide");
    EXPECT_EQ(depths[3], "Depth 3");
    EXPECT_EQ(depths[max_level], "Show");
}

} // namespace

TEST(SketchBarValues, AnElementsOwnStyleReplacesOnlyWhatItOwns) {
    sketch_state s;
    set_view_defaults(s.view.rec);
    s.view.rec.font.size = 8;
    std::strcpy(s.view.rec.font.face, "Sans");
    const int v = add_sketch_element(s.view, ek_variable, 10, 10, 0, 3, ef_primary, 0);
    sketch_elem& e = s.view.elems[static_cast<std::size_t>(v)];
    bool own = true;
    bottom_view_values b = element_bar_values(s, v, &own);
    EXPECT_FALSE(own);
    EXPECT_EQ(b.face, "Sans");
    // Own face (32) and outline (1); the size and colours stay the view's.
    e.style = 32 | 1;
    std::strcpy(e.font.face, "Serif");
    e.font.size = 30;
    e.own_outline = RGB(0, 128, 0);
    b = element_bar_values(s, v, &own);
    EXPECT_TRUE(own);
    EXPECT_EQ(b.face, "Serif");
    EXPECT_EQ(b.size, 8);
    EXPECT_EQ(b.outline_colour, RGB(0, 128, 0));
    // A connector's own line colour is the connector colour.
    sketch_elem t;
    t.style = 1;
    const int c = add_link_element(s, v, v, &t, 0, false);
    s.view.elems[static_cast<std::size_t>(c)].line_colour = RGB(1, 2, 3);
    s.view.elems[static_cast<std::size_t>(c)].style = 1;
    b = element_bar_values(s, c, &own);
    EXPECT_EQ(b.connector_colour, RGB(1, 2, 3));
    EXPECT_EQ(b.outline_colour, element_bar_values(s, 0, nullptr).outline_colour);
}

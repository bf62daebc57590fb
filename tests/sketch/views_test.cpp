// Loading views: choosing and making views, the shared view, links checked
// against the equations, links added for missing causes, and the checks on
// what the stored records say.
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "foundation/memory.h"
#include "sketch/views.h"
#include "tests/sketch/sketch_fixture.h"
#include "tests/support/view_layout.h"

namespace {

class Views : public SketchTest {
protected:
    // a constant k, an auxiliary c = k * 2, an auxiliary e = c + k, a level
    // L with rate e and initial value i0.
    void build(model_builder& b) {
        b.constant("k", 1);
        b.constant("i0", 5);
        b.aux("c", "k * 2");
        b.aux("e", "c + k");
        b.level("L", "e", "i0");
        ASSERT_TRUE(b.finish());
    }
    void use(model_builder& b) {
        s.symbols = b.symbols();
        s.header = b.header();
    }
    int connectors() {
        int n = 0;
        for (int i = 1; i < s.view.count(); ++i) n += el(i).kind == ek_connector;
        return n;
    }
    // The connector from element a to b (0 none).
    int link_between(int a, int b) {
        for (int i = 1; i < s.view.count(); ++i)
            if (el(i).kind == ek_connector && el(i).tail == a && el(i).head == b) return i;
        return 0;
    }
    void set_sketch_flags(model_builder& b, std::uint32_t flags) {
        set_header_word(b.symbols(), mh_sketch_flags, flags);
    }
};

TEST_F(Views, AModelWithoutViewsGetsView1AndNumbersOutOfRangeTakeView0) {
    model_builder b("noviews");
    build(b);
    use(b);
    EXPECT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    EXPECT_STREQ(s.view.rec.name, "View 1");
    EXPECT_EQ(s.view.count(), 1);
    EXPECT_EQ(get_header_word(b.symbols(), mh_view_count) & 0xFFFF, 1u);

    view_layout two(b, "Second");
    view_layout three(b, "Third");
    EXPECT_EQ(load_view(s, 7, 0, false, 0, false), 0);
    EXPECT_STREQ(s.view.rec.name, "View 1");
    EXPECT_EQ(load_view(s, 2, 0, false, 0, false), 2);
    EXPECT_STREQ(s.view.rec.name, "Third");
    // An unnamed slot is stepped over in the step's direction.
    {
        handle vb = get_header_word(b.symbols(), mh_views);
        handle_lock<view_rec> v(vb);
        v.get()[1].name[0] = 0;
    }
    EXPECT_EQ(load_view(s, 1, 1, false, 0, false), 2);
    EXPECT_EQ(load_view(s, 1, -1, false, 0, false), 0);
    // Without a step the first named view.
    EXPECT_EQ(load_view(s, 1, 0, false, 0, false), 0);
    // A new view reuses the unused slot.
    EXPECT_EQ(load_view(s, -1, 0, false, 0, false), 1);
    EXPECT_STREQ(s.view.rec.name, "View 2");
}

TEST_F(Views, StaleLinksAreDroppedAndMissingOnesAddedWithShadows) {
    model_builder b("links");
    build(b);
    view_layout v(b, "View 1");
    int k = v.variable("k", 100, 100);
    int c = v.variable("c", 200, 100);
    int e = v.variable("e", 300, 100);
    int stale = v.arrow(e, c);     // c does not use e
    int kept1 = v.arrow(k, c);     // c = k * 2
    int kept2 = v.arrow(k, c, 30); // a second link from the same cause
    use(b);
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    EXPECT_EQ(el(stale).kind, ek_deleted);
    EXPECT_EQ(el(kept1).kind, ek_connector);
    EXPECT_EQ(el(kept2).kind, ek_connector);
    EXPECT_EQ(el(kept2).path_type(), path_arc);
    // e = c + k: both causes are on the view without links to e; they get
    // links marked as added.
    int ce = link_between(c, e), ke = link_between(k, e);
    ASSERT_NE(ce, 0);
    ASSERT_NE(ke, 0);
    EXPECT_EQ(el(ce).decoration, deco_added);
    // The added links have their geometry.
    EXPECT_GT(el(ce).start_x, 200);
    // The stored view is not changed by loading it.
    handle vb = get_header_word(b.symbols(), mh_views);
    {
        handle_lock<view_rec> recs(vb);
        EXPECT_EQ(recs.get()[0].count, 7);
    }
    EXPECT_GT(s.view.count(), 7);
}

TEST_F(Views, AMissingCauseGetsANewShadowBelowTheEffect) {
    model_builder b("shadow");
    build(b);
    view_layout v(b, "View 1");
    int e = v.variable("e", 300, 32760); // near the bottom of the unit range
    use(b);
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    int c = find_symbol_element(s.view, b.id("c"), true);
    int k = find_symbol_element(s.view, b.id("k"), true);
    ASSERT_NE(c, 0);
    ASSERT_NE(k, 0);
    // Causes with equations come as shadows, placed below the effect and
    // kept inside the 16-bit range.
    EXPECT_FALSE(el(c).primary());
    EXPECT_EQ(el(c).y, 32767);
    EXPECT_EQ(el(c).x, 300);
    EXPECT_EQ(el(c).style, 3); // grey outline and text
    EXPECT_NE(link_between(c, e), 0);
    EXPECT_TRUE(s.layout_changed);
}

TEST_F(Views, InitialValueLinksAreHiddenWhenTheModelHidesThem) {
    model_builder b("init");
    build(b);
    view_layout v(b, "View 1");
    int l = v.stock("L", 100, 100);
    int i0 = v.variable("i0", 100, 200);
    int e = v.variable("e", 300, 100);
    int stored = v.arrow(i0, l);
    set_sketch_flags(b, sk_hide_init_links);
    use(b);
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    // A stored initial-value link is refused while they are hidden, and the
    // one added in its place is hidden.
    EXPECT_EQ(el(stored).kind, ek_deleted);
    int added = link_between(i0, l);
    ASSERT_NE(added, 0);
    EXPECT_TRUE(el(added).hidden());
    EXPECT_EQ(el(added).init_link, 1);
    EXPECT_FALSE(el(link_between(e, l)).hidden());
    // Shown again, the stored link is kept and marked as an initial-value link.
    set_sketch_flags(b, 0);
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    EXPECT_EQ(el(stored).kind, ek_connector);
    EXPECT_EQ(el(stored).init_link, 1);
    EXPECT_FALSE(el(stored).hidden());
}

TEST_F(Views, TheSharedViewComesFirstAndShiftsTheViewsNumbers) {
    model_builder b("shared");
    build(b);
    view_layout shared(b, "Common", 1);
    shared.variable("k", 50, 50);
    shared.text_box("Shared note", 50, 100);
    view_layout v(b, "Main");
    int c = v.variable("c", 200, 100);
    int e = v.variable("e", 300, 100);
    v.arrow(c, e);
    view_layout alone(b, "Alone", 2);
    alone.variable("e", 10, 10);
    use(b);
    ASSERT_EQ(load_view(s, 1, 0, false, 0, false), 1);
    ASSERT_GE(s.view.count(), 6);
    EXPECT_TRUE(el(1).shared());
    EXPECT_EQ(el(1).payload, b.id("k"));
    EXPECT_EQ(el(c + 2).payload, b.id("c"));
    EXPECT_FALSE(el(c + 2).shared());
    int link = link_between(c + 2, e + 2);
    ASSERT_NE(link, 0);
    EXPECT_EQ(link, 5); // the stored connector keeps its shifted number
    // k, a cause of c and e, is found in the shared view: no new element.
    EXPECT_NE(link_between(1, e + 2), 0);
    EXPECT_EQ(find_symbol_element(s.view, b.id("k"), true), 1);
    // A view that declines the shared view has only its own elements.
    ASSERT_EQ(load_view(s, 2, 0, false, 0, false), 2);
    EXPECT_FALSE(el(1).shared());
    EXPECT_EQ(el(1).payload, b.id("e"));
}

TEST_F(Views, BadStoredRecordsAreDroppedNotTrusted) {
    model_builder b("bad");
    build(b);
    view_layout v(b, "View 1");
    int c = v.variable("c", 200, 100);
    int valve = v.raw([] {
        std::vector<std::uint8_t> r(24);
        r[0] = 24, r[2] = ek_valve, r[16] = 5 | shape_pair, r[17] = 1;
        return r;
    }());
    int plain = v.variable("e", 300, 100); // no pair bit: the valve's pair is broken
    int bitmap = v.raw([] {
        std::vector<std::uint8_t> r(26);
        r[0] = 26, r[2] = ek_text, r[4] = 51, r[17] = 4, r[24] = 'x';
        return r;
    }());
    int far_link = v.raw([] {
        std::vector<std::uint8_t> r(20);
        r[0] = 20, r[2] = ek_connector, r[4] = 0xF4, r[5] = 0x01, r[6] = 1, r[13] = 1;
        return r;
    }());
    int slider = v.input_slider("k", 400, 100, "0,10,1");
    std::string bad_text = "999999,|0,1,1";
    int bad_slider = v.raw([&] {
        std::vector<std::uint8_t> r(24 + bad_text.size() + 1);
        r[0] = static_cast<std::uint8_t>(r.size()), r[2] = ek_text, r[16] = 3, r[17] = 1 | 4 | 8;
        std::memcpy(r.data() + 24, bad_text.c_str(), bad_text.size() + 1);
        return r;
    }());
    use(b);
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    EXPECT_EQ(el(valve).shape & shape_pair, 0);
    EXPECT_EQ(el(plain).shape & shape_pair, 0);
    EXPECT_EQ(el(bitmap).payload, 0u);
    EXPECT_EQ(el(far_link).kind, ek_deleted);
    EXPECT_TRUE(message_log::said("connector"));
    EXPECT_EQ(el(slider).kind, ek_text);
    EXPECT_EQ(s.io_state, 1);
    EXPECT_EQ(el(bad_slider).kind, ek_deleted);
    EXPECT_TRUE(message_log::said("input/output object"));
    EXPECT_EQ(el(c).kind, ek_variable);
}

TEST_F(Views, CyclesOfConnectorsBetweenBoxesEndTheLinkCheck) {
    model_builder b("cycle");
    build(b);
    view_layout v(b, "View 1");
    int k = v.variable("k", 100, 100);
    int t1 = v.raw([] {
        std::vector<std::uint8_t> r(26);
        r[0] = 26, r[2] = ek_text, r[17] = 1 | 4, r[24] = 'a';
        return r;
    }());
    int t2 = v.raw([] {
        std::vector<std::uint8_t> r(26);
        r[0] = 26, r[2] = ek_text, r[17] = 1 | 2 | 4, r[24] = 'b';
        return r;
    }());
    int c = v.variable("c", 300, 100);
    v.arrow(t1, t2);
    v.arrow(t2, t1);
    v.arrow(k, t1);
    int into_c = v.arrow(t2, c);
    use(b);
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    // The link from the box into c stands for k, a cause of c: accepted
    // after following t2 <- t1 <- (t2, k) once round the cycle.
    EXPECT_EQ(el(into_c).kind, ek_connector);
    EXPECT_EQ(link_between(k, c), 0); // k's link to c is the one through the boxes
}

TEST_F(Views, ViewsSurviveTheModelFile) {
    model_builder b("file");
    build(b);
    view_layout v(b, "View 1");
    int cloud = v.cloud(20, 100);
    int l = v.stock("L", 200, 100);
    int flow = v.flow("e", cloud, l, 100, 100);
    v.variable("c", 100, 200);
    v.arrows_from_causes();
    std::string path = ::testing::TempDir() + "/sketch_views.kmf";
    ASSERT_EQ(b.write(path.c_str()), 1);
    model_pair m = read_model_file(path.c_str());
    ASSERT_NE(m.symbols, 0u);
    s.symbols = m.symbols;
    s.header = m.header;
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    EXPECT_EQ(el(flow).kind, ek_variable);
    EXPECT_TRUE(el(flow - 1).is_valve_pair());
    // Both pipes are kept: into the valve from a tail that allows it, out of
    // the valve to the stock the flow fills.
    EXPECT_NE(link_between(cloud, flow - 1), 0);
    EXPECT_NE(link_between(flow - 1, l), 0);
    EXPECT_NE(link_between(find_symbol_element(s.view, b.id("c"), false), flow), 0);
    EXPECT_GT(s.max_x, s.min_x);
    s.view = working_view{};
    free_model(m.header, m.symbols);
    std::remove(path.c_str());
}

TEST_F(Views, ElementCountStopsAt65535) {
    int n = 0;
    for (int i = 1; i < max_view_elements; ++i)
        n = add_sketch_element(s.view, ek_variable, i % 1000, i / 1000, 0, 0, ef_primary, 0);
    EXPECT_EQ(n, max_view_elements - 1);
    EXPECT_TRUE(message_log::said("losing index")); // warned once past 60,000 cells
    message_log::messages.clear();
    EXPECT_EQ(add_sketch_element(s.view, ek_variable, 0, 0, 0, 0, ef_primary, 0), 0);
    EXPECT_EQ(add_link_element(s, 1, 2, nullptr, 0, false), 0);
    EXPECT_EQ(s.view.count(), max_view_elements);
    EXPECT_EQ(s.view.rec.count, max_view_elements);
    EXPECT_TRUE(message_log::said("Too many objects"));
    ASSERT_FALSE(message_log::messages.empty());
    EXPECT_EQ(message_log::messages.back().kind, 8);
    // A given number replaces that element; one past the view is refused.
    EXPECT_EQ(add_sketch_element(s.view, ek_valve, 5, 5, 0, 5, 1, 7), 7);
    EXPECT_EQ(el(7).kind, ek_valve);
    EXPECT_EQ(add_sketch_element(s.view, ek_valve, 5, 5, 0, 5, 1, max_view_elements), 0);
    EXPECT_EQ(add_sketch_element(s.view, ek_valve, 5, 5, 0, 5, 1, -3), 0);
    EXPECT_EQ(s.view.count(), max_view_elements);
}

// A connector made from a template with a text shows that text as its
// mark; one without keeps the template's mark character.
TEST_F(Views, AConnectorWithATextShowsIt) {
    const int a = box(10, 10, 5, 5), b = box(100, 10, 5, 5);
    sketch_elem t;
    t.text = "delay";
    const int labelled = add_link_element(s, a, b, &t, 0, false);
    ASSERT_GT(labelled, 0);
    EXPECT_EQ(el(labelled).mark, 1);
    EXPECT_EQ(el(labelled).text, "delay");
    sketch_elem plus;
    plus.mark = '+';
    const int marked = add_link_element(s, b, a, &plus, 0, false);
    EXPECT_EQ(el(marked).mark, '+');
    const int bare = add_link_element(s, a, b, nullptr, 0, false);
    EXPECT_EQ(el(bare).mark, 0);
    EXPECT_EQ(el(bare).tail, a);
    EXPECT_EQ(el(bare).head, b);
}

TEST_F(Views, NewElementsAndLevels) {
    int n = add_sketch_element(s.view, ek_variable, 10, 20, 99, -1, 0, 0);
    EXPECT_EQ(el(n).shape, 8);
    EXPECT_EQ(el(n).label, 255);
    EXPECT_EQ(el(n).own_outline, 0x00808080u); // a shadow is grey
    int p = add_sketch_element(s.view, ek_variable, 10, 20, 99, 3, ef_primary, 0);
    EXPECT_EQ(el(p).style, 0);
    EXPECT_EQ(find_symbol_element(s.view, 99, false), p);
    EXPECT_EQ(find_symbol_element(s.view, 98, true), 0);
    // A variable shown only as a shadow is found only when shadows are asked for.
    int only_shadow = add_sketch_element(s.view, ek_variable, 30, 20, 97, -1, 0, 0);
    EXPECT_EQ(find_symbol_element(s.view, 97, false), 0);
    EXPECT_EQ(find_symbol_element(s.view, 97, true), only_shadow);
    EXPECT_EQ(find_symbol_element(s.view, 99, true), p); // the primary before its shadow
    EXPECT_EQ(normalise_level(40), 8);
    EXPECT_EQ(normalise_level(31), 17);
    EXPECT_EQ(normalise_level(64 | 20), 64 | 17);
    EXPECT_EQ(normalise_level(64 | 5), 64 | 5);
}

} // namespace

namespace {

class ViewTexts : public SketchTest {};

TEST_F(ViewTexts, ObjectTextsRangesAndLinkStyles) {
    model_builder b("texts");
    b.constant("k", 1);
    b.aux("c", "k * 2");
    ASSERT_TRUE(b.finish());
    std::string out = "unchanged";
    std::string id = std::to_string(b.id("k"));
    ASSERT_TRUE(io_object_text(b.symbols(), id + ",|0,10,1", &out));
    EXPECT_EQ(out, "k|0,10,1");
    ASSERT_TRUE(io_object_text(b.symbols(), "0,Plain", &out));
    EXPECT_EQ(out, "Plain");
    out = "unchanged";
    EXPECT_FALSE(io_object_text(b.symbols(), "x,1", &out));
    EXPECT_FALSE(io_object_text(b.symbols(), "-5,1", &out));
    EXPECT_FALSE(io_object_text(b.symbols(), std::to_string(b.id("k") + 1) + ",1", &out));
    EXPECT_FALSE(io_object_text(b.symbols(), "99999999999999999999,1", &out));
    EXPECT_EQ(out, "unchanged");

    double lo, hi, step;
    ASSERT_TRUE(slider_range("7,|0,10.5,0.5", &lo, &hi, &step));
    EXPECT_DOUBLE_EQ(hi, 10.5);
    EXPECT_DOUBLE_EQ(step, 0.5);
    EXPECT_FALSE(slider_range("7,|0,1e999,1", &lo, &hi, &step));
    EXPECT_FALSE(slider_range("7,|5,1,1", &lo, &hi, &step));
    EXPECT_FALSE(slider_range("7,|0,10", &lo, &hi, &step));
    EXPECT_FALSE(slider_range("7,0,10,1", &lo, &hi, &step));
    // No range: the default applies, and nothing is wrong.
    std::string why;
    EXPECT_EQ(read_slider_range("7,", &lo, &hi, &step, &why), 0);
    EXPECT_EQ(read_slider_range("7,|0,10.5,0.5", &lo, &hi, &step, &why), 1);
    // Ranges a slider cannot work over, each with its reason: values beyond
    // a float, not numbers, denormal limits or steps, too narrow for a
    // float's digits, a step too small for the range.
    const std::pair<const char*, const char*> bad[] = {
        {"7,|0,1e39,1", "beyond"},          {"7,|-3e38,3e38,0", "too large"},
        {"7,|nan,1,0", "beyond"},           {"7,|0,inf,0", "beyond"},
        {"7,|0,1,1e999", "beyond"},         {"7,|x,1,0", "three numbers"},
        {"7,|0,,1", "three numbers"},       {"7,|1e-40,1,0", "too near 0"},
        {"7,|0,1,1e-40", "too near 0"},     {"7,|0,1e-39,0", "too near 0"},
        {"7,|1,1.0000005,0", "too narrow"}, {"7,|0,1,1e-9", "too small"},
        {"7,|5,1,1", "not below"},          {"7,|1,2,-1", "below 0"},
    };
    for (auto [text, reason] : bad) {
        why.clear();
        EXPECT_EQ(read_slider_range(text, &lo, &hi, &step, &why), -1) << text;
        EXPECT_NE(why.find(reason), std::string::npos) << text << ": " << why;
    }
    // A usable range: every value on it, as a float, is finite and apart
    // from its neighbours at the slider's resolution.
    for (const char* text :
         {"7,|0,1,0", "7,|1e-30,2e-30,0", "7,|-1e38,1e38,1e32", "7,|1,1.001,0"}) {
        ASSERT_EQ(read_slider_range(text, &lo, &hi, &step, &why), 1) << text;
        const float a = static_cast<float>(lo + (hi - lo) * 0.5);
        const float b = static_cast<float>(lo + (hi - lo) * 0.5125);
        EXPECT_TRUE(std::isfinite(a)) << text;
        EXPECT_NE(a, b) << text;
    }

    view_layout v(b, "View 1");
    int k = v.variable("k", 0, 0);
    int c = v.variable("c", 100, 0);
    v.arrow(k, c);
    int width = -1, mark = -1;
    std::uint32_t colour = 0;
    ASSERT_TRUE(find_link_style(b.symbols(), b.id("k"), b.id("c"), &width, &colour, &mark));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(colour, 0x00FF0000u); // the view's connector colour
    EXPECT_EQ(mark, 0);
    EXPECT_FALSE(find_link_style(b.symbols(), b.id("c"), b.id("k"), &width, &colour, &mark));
}

} // namespace

namespace {

class HiddenCauses : public SketchTest {};

TEST_F(HiddenCauses, HiddenLookupsComeSelectedAndHiddenAddedCausesALevelUp) {
    model_builder b("hidden");
    b.lookup("effect", {{0, 0}, {1, 1}});
    b.constant("k", 1);
    b.aux("y", "effect(k)");
    ASSERT_TRUE(b.finish());
    view_layout v(b, "View 1");
    int y = v.variable("y", 200, 100);
    set_header_word(b.symbols(), mh_sketch_flags, sk_hide_lookups);
    s.symbols = b.symbols();
    s.shown_level = 3;
    ASSERT_EQ(load_view(s, 0, 0, true, 0, false), 0);
    int lk = find_symbol_element(s.view, b.id("effect"), true);
    int k = find_symbol_element(s.view, b.id("k"), true);
    ASSERT_NE(lk, 0);
    ASSERT_NE(k, 0);
    // The lookup's element and link are hidden and selected; k's are shown,
    // both one level above the shown level.
    EXPECT_TRUE(el(lk).hidden());
    EXPECT_TRUE(el(lk).runtime & ef_selected);
    EXPECT_FALSE(el(k).hidden());
    EXPECT_EQ(el(k).level_value(), 4);
    int lk_link = 0, k_link = 0;
    for (int i = 1; i < s.view.count(); ++i) {
        if (el(i).kind != ek_connector || el(i).head != y) continue;
        if (el(i).tail == lk) lk_link = i;
        if (el(i).tail == k) k_link = i;
    }
    ASSERT_NE(lk_link, 0);
    ASSERT_NE(k_link, 0);
    EXPECT_TRUE(el(lk_link).hidden());
    EXPECT_FALSE(el(k_link).hidden());
    EXPECT_EQ(el(k_link).level_value(), 4);
    // A hidden element is not hit.
    s.shown_level = max_level;
    move_element(s, k, 500, 500);
    EXPECT_EQ(hit_test(s, 0, el(lk).x, el(lk).y, false), 0);
    EXPECT_EQ(hit_test(s, 0, 500, 500, false), 1);
    EXPECT_EQ(s.hover, k);
}

// A lookup drawn in a stored view is hidden while the model hides lookups,
// and so is the link from it; other causes and their links stay shown.
TEST_F(HiddenCauses, AStoredLookupAndItsLinkHideWhileLookupsAreHidden) {
    model_builder b("stored");
    b.lookup("effect", {{0, 0}, {1, 1}});
    b.constant("k", 1);
    b.aux("y", "effect(k)");
    ASSERT_TRUE(b.finish());
    view_layout v(b, "View 1");
    const int lk = v.variable("effect", 100, 100);
    const int k = v.variable("k", 100, 200);
    const int y = v.variable("y", 250, 150);
    v.arrow(lk, y);
    v.arrow(k, y);
    auto link_from = [&](int tail) {
        for (int i = 1; i < s.view.count(); ++i)
            if (el(i).kind == ek_connector && el(i).tail == tail && el(i).head == y) return i;
        return 0;
    };
    set_header_word(b.symbols(), mh_sketch_flags, sk_hide_lookups);
    s.symbols = b.symbols();
    s.shown_level = max_level;
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    EXPECT_TRUE(el(lk).hidden());
    EXPECT_FALSE(el(k).hidden());
    ASSERT_NE(link_from(lk), 0);
    ASSERT_NE(link_from(k), 0);
    EXPECT_TRUE(el(link_from(lk)).hidden());
    EXPECT_FALSE(el(link_from(k)).hidden());
    // Lookups shown again: both shown.
    set_header_word(b.symbols(), mh_sketch_flags, 0);
    ASSERT_EQ(load_view(s, 0, 0, false, 0, false), 0);
    EXPECT_FALSE(el(lk).hidden());
    ASSERT_NE(link_from(lk), 0);
    EXPECT_FALSE(el(link_from(lk)).hidden());
}

} // namespace

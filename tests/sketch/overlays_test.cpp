// Selection by kind and by the band (valve pairs go together), the sketch
// commands' arithmetic (fit, typed zoom, show more and less, find in a view)
// and the tool button pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/gdi.h"
#include "sketch/commands.h"
#include "sketch/mouse.h"
#include "sketch/overlays.h"
#include "tests/driver/driver.h"
#include "tests/sketch/sketch_fixture.h"

namespace {

class Overlays : public SketchTest {
protected:
    void SetUp() override {
        SketchTest::SetUp();
        stock_ = box(100, 100, 40, 20, 3);
        valve_ = box(200, 100, 6, 6, 5 | shape_pair, ek_valve);
        flow_ = box(200, 122, 10, 10, 8 | shape_pair);
        aux_ = box(300, 200, 20, 10, 8);
        shadow_ = box(300, 300, 20, 10, 8);
        el(shadow_).flags = 0; // not primary
        arrow_ = link(aux_, flow_, path_straight, {{250, 160}});
        pipe_ = link(valve_, stock_, path_orthogonal, {{200, 100}}, 24);
        text_ = box(400, 50, 30, 10, 0, ek_text);
    }
    std::set<int> selected() const {
        std::set<int> out;
        for (int n = 1; n < s.view.count(); ++n)
            if (s.view.elems[static_cast<std::size_t>(n)].runtime & ef_selected) out.insert(n);
        return out;
    }
    void band(int x0, int y0, int x1, int y1) {
        s.band_x0 = x0, s.band_y0 = y0, s.band_x1 = x1, s.band_y1 = y1;
    }
    int stock_, valve_, flow_, aux_, shadow_, arrow_, pipe_, text_;
};

TEST_F(Overlays, SelectionByKind) {
    EXPECT_EQ(select_sketch_elements(s, true, sel_levels), 1);
    EXPECT_EQ(selected(), (std::set<int>{stock_}));
    EXPECT_EQ(s.selection, 3);
    select_sketch_elements(s, true, sel_rates);
    EXPECT_EQ(selected(), (std::set<int>{valve_, flow_, pipe_}));
    select_sketch_elements(s, true, sel_aux);
    EXPECT_EQ(selected(), (std::set<int>{aux_, shadow_}));
    select_sketch_elements(s, true, sel_arrows);
    EXPECT_EQ(selected(), (std::set<int>{arrow_}));
    select_sketch_elements(s, true, sel_shadows);
    EXPECT_EQ(selected(), (std::set<int>{shadow_}));
    select_sketch_elements(s, true, sel_main);
    EXPECT_EQ(selected(), (std::set<int>{stock_, valve_, flow_, aux_, arrow_, pipe_, text_}));
    EXPECT_EQ(select_sketch_elements(s, true, sel_all), 8);
    // Elements above the shown level stay out.
    el(aux_).level = 5;
    s.shown_level = 4;
    select_sketch_elements(s, true, sel_all);
    EXPECT_EQ(selected().count(aux_), 0u);
}

TEST_F(Overlays, TheBandSelectsInsideItAndTakesValvePartnersAlong) {
    // Only the valve's box: its flow variable comes too, and the pipe whose
    // point lies there (the pipe's bend point is placed against the valve
    // by the geometry, so the band is drawn round where it now is).
    ASSERT_FALSE(el(pipe_).points.empty());
    const sketch_point p = el(pipe_).points.front();
    band(std::min(195, p.x - 2), std::min(95, p.y - 2), std::max(205, p.x + 2),
         std::max(104, p.y + 2));
    ASSERT_LT(std::max(205, p.x + 2), 240) << "the band must stay clear of the stock";
    EXPECT_EQ(select_sketch_elements(s, true, -1), 3);
    EXPECT_EQ(selected(), (std::set<int>{valve_, flow_, pipe_}));
    EXPECT_EQ(s.selection, 1);
    // Only the flow variable (corners in any order): its valve comes too.
    band(209, 130, 191, 125);
    select_sketch_elements(s, true, -1);
    EXPECT_EQ(selected(), (std::set<int>{valve_, flow_}));
    // A band touching the stock's box only at its right edge takes nothing;
    // one unit into it takes the stock. Without `fresh` the band adds.
    band(140, 50, 150, 90);
    EXPECT_EQ(select_sketch_elements(s, true, -1), 0);
    EXPECT_EQ(s.selection, 0);
    band(139, 50, 150, 90);
    EXPECT_EQ(select_sketch_elements(s, true, -1), 1);
    band(295, 195, 305, 205);
    select_sketch_elements(s, false, -1);
    EXPECT_EQ(selected(), (std::set<int>{stock_, aux_}));
    // A connector point within 3 units of the band; a connector without a
    // tail is never taken.
    el(arrow_).points = {{250, 160}};
    band(253, 163, 260, 170);
    EXPECT_EQ(select_sketch_elements(s, true, -1), 0);
    band(252, 162, 260, 170);
    EXPECT_EQ(select_sketch_elements(s, true, -1), 1);
    el(arrow_).tail = 0;
    EXPECT_EQ(select_sketch_elements(s, true, -1), 0);
}

TEST_F(Overlays, FitZoomShrinksOnlyAndCentres) {
    int zoom, sx, sy;
    // Content 60..440 x 80..310 (plus connector points) in a large client:
    // zoom 100, centred.
    RECT c;
    ASSERT_TRUE(content_bounds(s, &c));
    EXPECT_EQ(c.left, 60);
    EXPECT_EQ(c.right, 430);
    fit_view_zoom(s, 2000, 1000, &zoom, &sx, &sy);
    EXPECT_EQ(zoom, 100);
    EXPECT_EQ(sx, c.left - (2000 - (c.right - c.left)) / 2);
    // A small client shrinks it, never below 10 %.
    fit_view_zoom(s, 205, 1000, &zoom, &sx, &sy);
    EXPECT_EQ(zoom, 50);
    fit_view_zoom(s, 40, 40, &zoom, &sx, &sy);
    EXPECT_EQ(zoom, 10);
    // An empty view: zoom 100 at the origin (not the bounds of no content).
    sketch_state empty;
    fit_view_zoom(empty, 300, 200, &zoom, &sx, &sy);
    EXPECT_EQ(zoom, 100);
    EXPECT_EQ(sx, 0);
    EXPECT_EQ(sy, 0);
}

TEST_F(Overlays, TypedZoomMustBeAWholeNumberFrom10To500) {
    int zoom = 0;
    EXPECT_EQ(parse_zoom_answer("10", &zoom), 1);
    EXPECT_EQ(zoom, 10);
    EXPECT_EQ(parse_zoom_answer(" 500 ", &zoom), 1);
    EXPECT_EQ(zoom, 500);
    EXPECT_EQ(parse_zoom_answer("", &zoom), 0);
    EXPECT_EQ(parse_zoom_answer("  ", &zoom), 0);
    message_log::messages.clear();
    for (const char* bad : {"9", "501", "50.5", "abc", "12x", "99999999999999999999"})
        EXPECT_EQ(parse_zoom_answer(bad, &zoom), -1) << bad;
    EXPECT_EQ(zoom, 500);
    EXPECT_EQ(message_log::messages.size(), 6u);
    EXPECT_TRUE(message_log::said("Enter a % between 10 and 500", 8));
}

TEST_F(Overlays, ShowMoreAndLessStepThroughTheLevelsInUse) {
    el(aux_).level = 3;
    el(arrow_).level = 7;
    s.shown_level = 0;
    EXPECT_EQ(next_shown_level(s, true), 3);
    s.shown_level = 3;
    EXPECT_EQ(next_shown_level(s, true), 7);
    s.shown_level = 7;
    EXPECT_EQ(next_shown_level(s, true), max_level); // none deeper: show all
    EXPECT_EQ(next_shown_level(s, false), 3);
    s.shown_level = 2;
    EXPECT_EQ(next_shown_level(s, false), 0);
    // At the ends the user is told.
    message_log::messages.clear();
    s.shown_level = max_level;
    EXPECT_EQ(next_shown_level(s, true), max_level);
    EXPECT_TRUE(message_log::said("All hidden elements are showing", 8));
    s.shown_level = 0;
    EXPECT_EQ(next_shown_level(s, false), 0);
    EXPECT_TRUE(message_log::said("No hidden elements showing", 8));
    // Display modes 15 and 23 step one level at a time.
    s.mode = 15;
    s.shown_level = 3;
    EXPECT_EQ(next_shown_level(s, true), 4);
    EXPECT_EQ(next_shown_level(s, false), 2);
}

TEST_F(Overlays, FindInAViewGoesOnAfterTheStart) {
    el(aux_).payload = 9;
    el(shadow_).payload = 9;
    EXPECT_EQ(find_symbol_after(s, 9, 0), aux_);
    EXPECT_EQ(find_symbol_after(s, 9, aux_), shadow_);
    EXPECT_EQ(find_symbol_after(s, 9, shadow_), 0);
    EXPECT_EQ(find_symbol_after(s, 8, 0), 0);
}

// A band's edges belong to it: a box or an arrowhead just touching an edge
// is selected, one a unit beyond is not.
TEST_F(Overlays, TheBandTakesWhatTouchesItsEdges) {
    el(arrow_).arrow_x = 250;
    el(arrow_).arrow_y = 160;
    auto picked = [&](int x0, int y0, int x1, int y1) {
        clear_selection(s);
        select_elements(s, x0, y0, x1, y1);
        return selected();
    };
    // The arrowhead at (250, 160), from each side.
    EXPECT_EQ(picked(250, 160, 260, 170), std::set<int>{arrow_});
    EXPECT_EQ(picked(240, 150, 250, 160), std::set<int>{arrow_});
    EXPECT_TRUE(picked(251, 161, 260, 170).empty());
    EXPECT_TRUE(picked(240, 150, 249, 159).empty());
    // The auxiliary's box, 280 to 320 across and 190 to 210 down.
    EXPECT_EQ(picked(320, 210, 330, 220), std::set<int>{aux_});
    EXPECT_EQ(picked(270, 180, 280, 190), std::set<int>{aux_});
    EXPECT_TRUE(picked(321, 211, 330, 220).empty());
}

TEST(ToolIcons, EachToolHasItsOwnPictureAndOtherIdsDrawNothing) {
    test_driver::start(); // the tool font needs the application
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 24, 24);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT rc{0, 0, 24, 24};
    auto picture = [&](int id, bool* drawn) {
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        *drawn = draw_sketch_tool_icon(id, dc, rc);
        std::vector<COLORREF> px;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) px.push_back(GetPixel(dc, x, y));
        return px;
    };
    bool drawn = false;
    const auto blank = picture(0, &drawn);
    EXPECT_FALSE(drawn);
    for (int id : {1340, 1354, 1376}) EXPECT_EQ(picture(id, &drawn), blank) << id;
    std::set<std::vector<COLORREF>> seen;
    for (int id = 1341; id <= 1375; ++id) {
        if (id == 1354) continue;
        const auto p = picture(id, &drawn);
        EXPECT_TRUE(drawn) << id;
        EXPECT_NE(p, blank) << id;
        seen.insert(p);
    }
    EXPECT_EQ(seen.size(), 34u); // no two tools look alike
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// Page lines fall every page from the view's origin, where x >= 0.
TEST(PageLines, EveryPageFromTheOriginAndOnlyInsideTheClient) {
    test_driver::start();
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 1600, 100);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT rc{0, 0, 1600, 100};
    sketch_state s;
    auto columns = [&](int scroll_x, SIZE page) {
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        s.scroll_x = scroll_x;
        s.scroll_y = 0;
        draw_page_lines(dc, s, rc, page);
        std::vector<int> out;
        for (int x = 0; x < 1600; ++x) {
            int dark = 0;
            for (int y = 10; y < 30; ++y) dark += GetPixel(dc, x, y) == RGB(0, 0, 0);
            if (dark >= 5) out.push_back(x); // a dotted vertical line
        }
        return out;
    };
    EXPECT_EQ(columns(0, SIZE{700, 900}), (std::vector<int>{0, 700, 1400}));
    EXPECT_EQ(columns(100, SIZE{700, 900}), (std::vector<int>{600, 1300}));
    EXPECT_EQ(columns(-50, SIZE{700, 900}), (std::vector<int>{50, 750, 1450}));
    // A page of unknown width draws no vertical line (and ends).
    EXPECT_TRUE(columns(0, SIZE{0, 900}).empty());
    // Rows: every page height down from the origin, whatever the width.
    const RECT tall{0, 0, 100, 1600};
    auto rows = [&](int scroll_y, SIZE page) {
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        s.scroll_x = 0;
        s.scroll_y = scroll_y;
        draw_page_lines(dc, s, tall, page);
        std::vector<int> out;
        for (int y = 0; y < 100; ++y) {
            int dark = 0;
            for (int x = 10; x < 30; ++x) dark += GetPixel(dc, x, y) == RGB(0, 0, 0);
            if (dark >= 5) out.push_back(y); // a dotted horizontal line
        }
        return out;
    };
    EXPECT_EQ(rows(0, SIZE{700, 40}), (std::vector<int>{0, 40, 80}));
    EXPECT_EQ(rows(10, SIZE{700, 40}), (std::vector<int>{30, 70}));
    EXPECT_EQ(rows(0, SIZE{30, 45}), (std::vector<int>{0, 45, 90}));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

} // namespace

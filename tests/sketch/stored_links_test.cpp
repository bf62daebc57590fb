// Stored connectors with a look of their own and a text, read back from the
// record layout; shadows hidden while the model hides them; and selection
// by a band, which takes only what is shown and is drawn where it was
// dragged at any scroll.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "draw/drawing.h"
#include "platform/gdi.h"
#include "sketch/mouse.h"
#include "sketch/views.h"
#include "tests/sketch/sketch_fixture.h"
#include "tests/support/view_layout.h"

namespace {

void put16(std::vector<std::uint8_t>& r, std::size_t at, int v) {
    r[at] = static_cast<std::uint8_t>(v & 0xFF);
    r[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& r, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) r[at + static_cast<std::size_t>(i)] = (v >> (8 * i)) & 0xFF;
}

// A connector record from -> to through one point with style bits, a line
// colour, a text colour and size (and, with style 32, a face) and the text
// "more": 16 fixed bytes, 4 per point, 12 (or 44) of look, then the text.
std::vector<std::uint8_t> labelled_link(int from, int to, int style, const char* face = "") {
    const std::size_t look = (style & 32) ? 44 : 12;
    std::vector<std::uint8_t> r(16 + 4 + look + 5, 0);
    put16(r, 0, static_cast<int>(r.size()));
    r[2] = ek_connector;
    put16(r, 4, from);
    put16(r, 6, to);
    r[10] = 1; // the mark is the text
    r[12] = static_cast<std::uint8_t>(style);
    r[13] = 1;
    put16(r, 16, 150);
    put16(r, 18, 100);
    put32(r, 20, 0x0000C000u); // line colour
    put32(r, 24, 0x00C000C0u); // text colour
    r[28] = 14;                // size
    r[29] = font_bold;         // style
    if (style & 32) std::memcpy(&r[32], face, std::strlen(face) + 1);
    std::memcpy(&r[20 + look], "more", 5);
    return r;
}

class StoredLinks : public SketchTest {
protected:
    void build() {
        b_.constant("k", 1);
        b_.aux("c", "k * 2");
        ASSERT_TRUE(b_.finish());
    }
    int load() {
        s.symbols = b_.symbols();
        s.header = b_.header();
        s.shown_level = max_level;
        return load_view(s, 0, 0, false, 0, false);
    }
    int link_between(int a, int b) {
        for (int i = 1; i < s.view.count(); ++i)
            if (el(i).kind == ek_connector && el(i).tail == a && el(i).head == b) return i;
        return 0;
    }
    model_builder b_{"links"};
};

TEST_F(StoredLinks, ALinksOwnColoursSizeAndTextAreReadAfterItsPoints) {
    build();
    view_layout v(b_, "View 1");
    const int k = v.variable("k", 100, 100);
    const int c = v.variable("c", 200, 100);
    v.raw(labelled_link(k, c, 1 | 2 | 8));
    ASSERT_EQ(load(), 0);
    const int n = link_between(k, c);
    ASSERT_NE(n, 0);
    EXPECT_EQ(el(n).line_colour, 0x0000C000u);
    EXPECT_EQ(el(n).font.colour, 0x00C000C0u);
    EXPECT_EQ(el(n).font.size, 14);
    EXPECT_EQ(el(n).font.style, font_bold);
    EXPECT_EQ(el(n).mark, 1);
    EXPECT_EQ(el(n).text, "more");
}

TEST_F(StoredLinks, ALinkWithItsOwnFaceKeepsTheFaceAndItsText) {
    build();
    view_layout v(b_, "View 1");
    const int k = v.variable("k", 100, 100);
    const int c = v.variable("c", 200, 100);
    v.raw(labelled_link(k, c, 1 | 32, "Serif"));
    ASSERT_EQ(load(), 0);
    const int n = link_between(k, c);
    ASSERT_NE(n, 0);
    EXPECT_STREQ(el(n).font.face, "Serif");
    EXPECT_EQ(el(n).line_colour, 0x0000C000u);
    EXPECT_EQ(el(n).text, "more");
}

// Hiding shadows hides the copies of a variable, not the variable itself;
// shown again, both are shown.
TEST_F(StoredLinks, HiddenShadowsLeaveTheVariableShown) {
    build();
    view_layout v(b_, "View 1");
    const int k = v.variable("k", 100, 100);
    const int copy = v.shadow("k", 100, 250);
    const int c = v.variable("c", 200, 100);
    set_header_word(b_.symbols(), mh_sketch_flags, sk_hide_shadows);
    ASSERT_EQ(load(), 0);
    EXPECT_FALSE(el(k).hidden());
    EXPECT_FALSE(el(c).hidden());
    EXPECT_TRUE(el(copy).hidden());
    set_header_word(b_.symbols(), mh_sketch_flags, 0);
    ASSERT_EQ(load(), 0);
    EXPECT_FALSE(el(copy).hidden());
}

class BandSelection : public SketchTest {};

// A band takes the elements it touches that are shown: not the hidden ones
// nor those deeper than the level shown.
TEST_F(BandSelection, TakesOnlyWhatIsShown) {
    const int a = box(50, 50, 10, 10);
    const int hidden = box(80, 50, 10, 10);
    const int deep = box(110, 50, 10, 10);
    const int outside = box(300, 300, 10, 10);
    el(hidden).level |= level_hidden;
    el(deep).level = 4;
    s.shown_level = 2;
    EXPECT_EQ(select_elements(s, 0, 0, 200, 100), 1);
    EXPECT_TRUE(el(a).runtime & ef_selected);
    EXPECT_FALSE(el(hidden).runtime & ef_selected);
    EXPECT_FALSE(el(deep).runtime & ef_selected);
    EXPECT_FALSE(el(outside).runtime & ef_selected);
    s.shown_level = 4;
    EXPECT_EQ(select_elements(s, 0, 0, 200, 100), 2);
    EXPECT_TRUE(el(deep).runtime & ef_selected);
}

// The band's frame stands where it was dragged when the view is scrolled
// by different amounts across and down.
TEST_F(BandSelection, TheBandIsDrawnWhereItWasDraggedWhenScrolled) {
    memory_canvas canvas(300, 300);
    ASSERT_TRUE(canvas.ok());
    HDC dc = canvas.dc();
    RECT all{0, 0, 300, 300};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    s.zoom = 100;
    s.scroll_x = 10;
    s.scroll_y = 60;
    s.band_shown = true;
    s.band_x0 = 40, s.band_y0 = 100;  // pixels (30, 40)
    s.band_x1 = 200, s.band_y1 = 220; // pixels (190, 160)
    paint_selection(dc, s);
    auto marked = [&](RECT r) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += GetPixel(dc, x, y) != RGB(255, 255, 255);
        return n;
    };
    EXPECT_GT(marked(RECT{50, 38, 170, 43}), 20);   // top edge
    EXPECT_GT(marked(RECT{50, 157, 170, 162}), 20); // bottom edge
    EXPECT_GT(marked(RECT{27, 60, 33, 140}), 20);   // left edge
    EXPECT_GT(marked(RECT{187, 60, 193, 140}), 20); // right edge
    EXPECT_EQ(marked(RECT{50, 164, 170, 240}), 0);  // nothing below
    EXPECT_EQ(marked(RECT{50, 50, 170, 150}), 0);   // nor inside
}

} // namespace

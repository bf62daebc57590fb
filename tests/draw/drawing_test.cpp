// The drawing layer's state: levels of active devices and what each level
// derives, the font cache, measuring and unit conversion.
#include "draw/drawing.h"

#include "shell/settings_rows.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <vector>

namespace {

class Drawing : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        set_message_hook(message_log::test_hook);
        message_log::messages.clear();
        saved_modes_[0] = opts.colour_modes[0];
        saved_modes_[1] = opts.colour_modes[1];
        saved_modes_[2] = opts.colour_modes[2];
        drawing = draw_state{};
    }
    void TearDown() override {
        while (drawing.depth > 0) active_dc_pop(nullptr);
        for (HDC dc : dcs_) DeleteDC(dc);
        std::memcpy(opts.colour_modes, saved_modes_, 3);
        drawing = draw_state{};
        set_message_hook(nullptr);
    }
    HDC memory_dc() {
        HDC dc = CreateCompatibleDC(nullptr);
        dcs_.push_back(dc);
        return dc;
    }
    static font_spec spec(const char* face, int size, std::uint8_t style = 0) {
        font_spec f{};
        f.size = static_cast<std::uint8_t>(size);
        f.style = style;
        std::strncpy(f.face, face, sizeof f.face - 1);
        return f;
    }
    std::vector<HDC> dcs_;
    std::uint8_t saved_modes_[3];
};

TEST_F(Drawing, FourLevelsAtMostAndEachPopRestoresTheLevelBelow) {
    HDC d[5];
    for (HDC& x : d) x = memory_dc();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(active_dc_push(d[i], d[i]), 1);
    EXPECT_EQ(drawing.depth, 4);
    EXPECT_EQ(active_dc_push(d[4], d[4]), 0);
    EXPECT_TRUE(message_log::said("active_dc_pop", 10));
    EXPECT_EQ(drawing.cur_dc, d[3]);
    EXPECT_EQ(drawing.depth, 4);
    for (int i = 3; i >= 1; --i) {
        active_dc_pop(d[i]);
        EXPECT_EQ(drawing.cur_dc, d[i - 1]);
        EXPECT_EQ(drawing.measure_dc, d[i - 1]);
    }
    message_log::messages.clear();
    active_dc_pop(d[2]); // not the active device: reported, popped all the same
    EXPECT_TRUE(message_log::said("Baddcpop", 10));
    EXPECT_EQ(drawing.depth, 0);
    EXPECT_EQ(drawing.cur_dc, nullptr);
    active_dc_pop(nullptr);
    EXPECT_TRUE(message_log::said("<SS.Active_dc_pop", 10));
    EXPECT_EQ(drawing.depth, 0);
}

TEST_F(Drawing, APassWhosePushWasRefusedLeavesTheOuterLevelAndItsFontAlone) {
    HDC d[5];
    for (HDC& x : d) x = memory_dc();
    {
        draw_pass p0(d[0], d[0]), p1(d[1], d[1]), p2(d[2], d[2]), p3(d[3], d[3]);
        ASSERT_TRUE(p3.ok());
        font_spec f = spec("DejaVu Sans", 12);
        select_font(1, &f, nullptr, 0, 0xFFFFFFFF, 0, true);
        HFONT outer = drawing.cur_font;
        ASSERT_NE(outer, nullptr);
        message_log::messages.clear();
        {
            draw_pass refused(d[4], d[4]);
            EXPECT_FALSE(refused.ok());
        }
        EXPECT_TRUE(message_log::said("active_dc_pop", 10));
        EXPECT_FALSE(message_log::said("Baddcpop"));
        EXPECT_EQ(drawing.depth, 4);
        EXPECT_EQ(drawing.cur_dc, d[3]);
        EXPECT_EQ(drawing.cur_font, outer);
        LOGFONT lf{};
        EXPECT_NE(GetObject(outer, sizeof lf, &lf), 0); // still alive
        EXPECT_EQ(GetCurrentObject(d[3], OBJ_FONT), outer);
    }
    EXPECT_EQ(drawing.depth, 0);
    EXPECT_FALSE(message_log::said("Baddcpop"));
}

TEST_F(Drawing, PopGivesBackEveryFlagTheOuterPushDerived) {
    opts.colour_modes[0] = 0xC1 | 0x04; // colour, dash styles, line markers (bits 6 and 7)
    opts.colour_modes[2] = 0x02 | 0x10; // exports: monochrome, flag 4 cleared, no markers
    HDC screen = memory_dc(), meta = memory_dc();
    ASSERT_EQ(active_dc_push(screen, screen), 1);
    EXPECT_EQ(drawing.colour_mode, 1);
    EXPECT_EQ(drawing.styled_lines, 1);
    EXPECT_EQ(drawing.line_markers, 1);
    EXPECT_EQ(drawing.output_flag_7, 1);
    EXPECT_EQ(drawing.output_flag_4, 1);
    drawing.gtx_mode = 1; // an export inside the paint
    ASSERT_EQ(active_dc_push(meta, screen), 1);
    EXPECT_EQ(drawing.colour_mode, 0);
    EXPECT_EQ(drawing.styled_lines, 1); // monochrome: dashes unless "only solid"
    EXPECT_EQ(drawing.line_markers, 0);
    EXPECT_EQ(drawing.output_flag_7, 0);
    EXPECT_EQ(drawing.output_flag_4, 0);
    drawing.gtx_mode = 0;
    active_dc_pop(meta);
    EXPECT_EQ(drawing.colour_mode, 1);
    EXPECT_EQ(drawing.styled_lines, 1);
    EXPECT_EQ(drawing.line_markers, 1);
    EXPECT_EQ(drawing.output_flag_7, 1);
    EXPECT_EQ(drawing.output_flag_4, 1);
}

TEST_F(Drawing, ColourIsDecidedByTheOptionByteElseByTheDevice) {
    HDC dc = memory_dc();
    EXPECT_TRUE(device_draws_in_colour(dc, 0));       // a 32-bit device
    EXPECT_TRUE(device_draws_in_colour(dc, 3));       // 3 decides by the device too
    EXPECT_FALSE(device_draws_in_colour(dc, 2));      // monochrome asked for
    EXPECT_TRUE(device_draws_in_colour(nullptr, 1));  // colour asked for
    EXPECT_FALSE(device_draws_in_colour(nullptr, 0)); // no device to ask
    opts.colour_modes[0] = 0x08;                      // "only solid lines", by device
    ASSERT_EQ(active_dc_push(dc, dc), 1);
    EXPECT_EQ(drawing.colour_mode, 1);
    EXPECT_EQ(drawing.styled_lines, 0);
    active_dc_pop(dc);
    opts.colour_modes[0] = 0x0A; // monochrome, only solid lines
    ASSERT_EQ(active_dc_push(dc, dc), 1);
    EXPECT_EQ(drawing.colour_mode, 0);
    EXPECT_EQ(drawing.styled_lines, 0);
}

TEST_F(Drawing, TheFontCacheMakesAFontOnlyWhenSomethingChanged) {
    HDC dc = memory_dc();
    HBITMAP bm = CreateCompatibleBitmap(dc, 200, 50);
    HGDIOBJ old = SelectObject(dc, bm);
    font_spec f = spec("DejaVu Sans", 12);
    {
        draw_pass pass(dc, dc);
        EXPECT_EQ(select_font(1, &f, nullptr, 0, 0xFFFFFFFF, 0, true), 1);
        EXPECT_EQ(select_font(1, &f, nullptr, 0, 0xFFFFFFFF, 0, true), 0);
        EXPECT_EQ(select_font(1, nullptr, nullptr, 0, 0xFFFFFFFF, 0, true), 0);
        int lh = drawing.line_height;
        EXPECT_GT(lh, 10);
        EXPECT_EQ(lh, drawing.ascent + drawing.descent);
        // The override's size replaces the font_spec's; the colour replaces outright.
        font_spec big = spec("", 24);
        EXPECT_EQ(select_font(1, &f, &big, fo_size, 0x0000FF, 0, true), 1);
        EXPECT_EQ(drawing.active_font.size, 24);
        EXPECT_EQ(drawing.active_font.colour, 0x0000FFu);
        EXPECT_STREQ(drawing.active_font.face, "DejaVu Sans");
        EXPECT_GT(drawing.line_height, lh);
        EXPECT_EQ(GetTextColor(dc), 0x0000FFu);
        EXPECT_GT(text_width("WWWW"), text_width("WW"));
        // A push in between: the next selection makes a font again.
        HDC inner = memory_dc();
        {
            draw_pass p2(inner, inner);
            EXPECT_EQ(select_font(1, &f, &big, fo_size, 0x0000FF, 0, true), 1);
        }
        EXPECT_EQ(select_font(1, &f, &big, fo_size, 0x0000FF, 0, true), 1);
        EXPECT_EQ(select_font(1, &f, &big, fo_size, 0x0000FF, 0, true), 0);
        // Only measured on a screen device: no font stays, the metrics do.
        EXPECT_EQ(select_font(0, &f, nullptr, 0, 0xFFFFFFFF, 0, true), 1);
        EXPECT_EQ(drawing.cur_font, nullptr);
        EXPECT_EQ(drawing.line_height, lh);
        EXPECT_GT(text_width("Population"), 0);
    }
    SelectObject(dc, old);
    DeleteObject(bm);
}

TEST_F(Drawing, FontSpecsFromFilesAreMadeSafe) {
    font_spec f{};
    std::memset(f.face, 'A', sizeof f.face); // no NUL
    f.size = 0xF0;                           // reads as -16
    font_spec s = sane_font_spec(f);
    EXPECT_EQ(std::strlen(s.face), 31u);
    EXPECT_EQ(s.size, default_font_points);
    f.size = 0;
    EXPECT_EQ(sane_font_spec(f).size, default_font_points);
    f.size = 14;
    EXPECT_EQ(sane_font_spec(f).size, 14);
    // Selecting it works and measures as the default size would.
    EXPECT_EQ(select_font(0, &f, nullptr, 0, 0xFFFFFFFF, 0, true), 1);
    EXPECT_GT(drawing.line_height, 0);
}

TEST_F(Drawing, LinesAreWalkedWithTabStopsAndLineFeeds) {
    font_spec f = spec("DejaVu Sans Mono", 10);
    select_font(0, &f, nullptr, 0, 0xFFFFFFFF, 0, true);
    int cw = drawing.fixed_pitch ? drawing.char_width : drawing.widths['B'];
    ASSERT_GT(cw, 0);
    int tab = drawing.tab_stops * cw;
    const char* line = "\tab\ncd";
    for (int x : {0, 1, tab / 2, tab}) EXPECT_EQ(text_x_to_index(line, x), 0) << x;
    EXPECT_EQ(text_x_to_index(line, tab + 1), 1);
    EXPECT_EQ(text_x_to_index(line, 100000), 3); // stops at the line feed
    EXPECT_EQ(text_x_to_index("", 50), 0);
    EXPECT_EQ(text_index_to_x(10, line, 1), 10 + tab);
    EXPECT_EQ(text_index_to_x(10, line, 9), 10 + tab + char_advance('a') + char_advance('b'));
    EXPECT_EQ(text_index_to_x(10, "a\tb", 2), 10 + tab); // a tab goes to the next stop
}

// In a proportional font a tab stop is the tab count of "B" widths: a tab
// goes to the next multiple of it from the line's start, wherever that is.
TEST_F(Drawing, ProportionalTabStopsAreWidthsOfB) {
    font_spec f = spec("DejaVu Sans", 10);
    select_font(0, &f, nullptr, 0, 0xFFFFFFFF, 0, true);
    ASSERT_FALSE(drawing.fixed_pitch);
    ASSERT_NE(char_advance('B'), char_advance('i'));
    const int tab = drawing.tab_stops * char_advance('B');
    ASSERT_GT(tab, 0);
    EXPECT_EQ(text_index_to_x(0, "\tx", 1), tab);
    EXPECT_EQ(text_index_to_x(25, "\tx", 1), 25 + tab);
    EXPECT_EQ(text_index_to_x(25, "i\t", 2), 25 + tab);
    EXPECT_EQ(text_index_to_x(25, "\t\t", 2), 25 + 2 * tab);
    EXPECT_EQ(text_x_to_index("\tx", tab + 1), 1);
}

// A fixed-pitch text is as wide as its first line's characters; the part
// after a line feed is not measured into it.
TEST_F(Drawing, FixedPitchWidthsStopAtTheFirstLineFeed) {
    font_spec f = spec("DejaVu Sans Mono", 10);
    select_font(0, &f, nullptr, 0, 0xFFFFFFFF, 0, true);
    ASSERT_TRUE(drawing.fixed_pitch);
    ASSERT_GT(drawing.char_width, 0);
    EXPECT_EQ(text_width("Stock"), 5 * drawing.char_width);
    EXPECT_EQ(text_width("Stock\nFlow rate"), 5 * drawing.char_width);
    EXPECT_EQ(text_width("\nFlow"), 0);
    EXPECT_EQ(text_width(""), 0);
}

TEST_F(Drawing, CentimetresBecomeDevicePixelsTruncated) {
    EXPECT_EQ(cm_to_device(2.54, 1), 96);
    drawing.printing = 1;
    EXPECT_EQ(cm_to_device(2.54, 1), 71); // 72 x 2.54 x 0.3937... just below 72
    drawing.device_res[3] = 600;
    EXPECT_EQ(cm_to_device(1.0, 0), 236);
}

} // namespace

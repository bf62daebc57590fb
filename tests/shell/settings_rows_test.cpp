// The settings rows: their texts, reading them back, hand-edited values,
// the custom colours and the window-position values. No window is needed.
#include "foundation/ini.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "shell/settings_io.h"
#include "shell/settings_rows.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::uint8_t window_flags_set = 1 | 8;

class SettingsRows : public ::testing::Test {
protected:
    void SetUp() override {
        write_ini_file(0);
        forget_reported_settings();
    }
    void TearDown() override { write_ini_file(0); }

    // Every saved row's text, by key.
    static std::map<std::string, std::string> texts(opt_block& o, std::uint8_t flags) {
        std::map<std::string, std::string> out;
        int n = 0;
        const settings_row* rows = settings_rows(o, flags, &n);
        for (int i = 0; i < n; ++i) out[rows[i].key] = settings_row_value(rows[i]);
        return out;
    }
};

TEST_F(SettingsRows, DefaultTextsOfEveryRow) {
    opt_block o;
    auto t = texts(o, 0);
    EXPECT_EQ(t.size(), 13u);
    EXPECT_EQ(t["print_options"], "1,0,0,");
    EXPECT_EQ(t["size_options"], "0,2,");
    EXPECT_EQ(t["XlsOptions"], "82,67,0,");
    EXPECT_EQ(t["print_dimensions"], "10,10,");
    EXPECT_EQ(t["print_text_hndl"], "");
    EXPECT_EQ(t["printer_name"], "");
    EXPECT_EQ(t["ErrDim"], "0,0,0,0,");
    EXPECT_EQ(t["CDialogFont"],
              "Small Fonts|7||,MS Sans Serif|9||,MS Sans Serif|9||,MS Sans Serif|9||,");
    EXPECT_EQ(t["DefaultVariableFace"], "Times New Roman");
    EXPECT_EQ(t["GraphicsOpt"], "0,0,0,0,");
    EXPECT_EQ(t["ScreenOpt2"], "0,");
    EXPECT_EQ(t.count("FragmentAddIn"), 0u);
}

TEST_F(SettingsRows, WrittenRowsReadBackIntoAFreshBlock) {
    opt_block o;
    o.orientation = 2;
    o.sizing = sz_width | sz_percent;
    o.r1c1_row = 'Z';
    o.r1c1_star = 1;
    o.print_width = 7.25f;
    o.print_comment = "Draft, not for release";
    o.printer_name = "Office, 2nd floor";
    o.err_dim[0] = -40;
    o.err_dim[3] = 300;
    o.fonts[of_equation].style = font_bold | font_italic;
    o.fonts[of_equation].size = 12;
    std::snprintf(o.tool_face, sizeof o.tool_face, "Courier New");
    o.colour_modes[1] = 0xC1;
    put_settings_rows(o, window_flags_set);

    opt_block back;
    std::uint8_t flags = 0;
    read_settings(back, flags);
    EXPECT_EQ(texts(back, flags), texts(o, window_flags_set));
    EXPECT_EQ(flags, window_flags_set);
    EXPECT_EQ(back.print_comment, "Draft, not for release");
    EXPECT_EQ(back.printer_name, "Office, 2nd floor");
    EXPECT_EQ(back.fonts[of_equation].style, font_bold | font_italic);
    EXPECT_EQ(back.err_dim[0], -40);
}

TEST_F(SettingsRows, ShortRowsFillTheLeadingFieldsAndKeepTheRest) {
    opt_block o;
    o.orientation = 2;
    o.info_corner = 1;
    ini_set("print_options", "0");
    ini_set("ErrDim", "5,6,");
    std::uint8_t flags = 9;
    read_settings(o, flags);
    EXPECT_EQ(o.print_date, 0);
    EXPECT_EQ(o.orientation, 2);
    EXPECT_EQ(o.info_corner, 1);
    EXPECT_EQ(o.err_dim[0], 5);
    EXPECT_EQ(o.err_dim[1], 6);
    EXPECT_EQ(o.err_dim[2], 0);
    EXPECT_EQ(flags, 9); // no "ScreenOpt2": kept
}

TEST_F(SettingsRows, MissingFloatIsNAAndBytesAreSigned) {
    opt_block o;
    o.print_width = NA;
    o.colour_modes[0] = 0xC1;
    o.colour_modes[2] = 200;
    auto t = texts(o, 0);
    EXPECT_EQ(t["print_dimensions"], "NA,10,");
    o.print_height = 123.456f; // six digits, as "%g" writes them
    EXPECT_EQ(texts(o, 0)["print_dimensions"], "NA,123.456,");
    o.print_height = 10;
    EXPECT_EQ(t["GraphicsOpt"], "-63,0,-56,0,");

    opt_block back;
    std::uint8_t flags = 0;
    ini_set("print_dimensions", "NA,7.5,");
    ini_set("GraphicsOpt", "-63,193,1,1");
    read_settings(back, flags);
    EXPECT_TRUE(is_na(back.print_width));
    EXPECT_FLOAT_EQ(back.print_height, 7.5f);
    EXPECT_EQ(back.colour_modes[0], 0xC1);
    EXPECT_EQ(back.colour_modes[1], 0xC1);
    EXPECT_EQ(back.colour_modes[2], cm_colour);
    EXPECT_EQ(back.refresh_sketches, 1);
}

TEST_F(SettingsRows, GraphicsOptChoosesColourModesPerDevice) {
    opt_block o;
    std::uint8_t flags = 0;
    ini_set("GraphicsOpt", "1,2,0,1,");
    read_settings(o, flags);
    EXPECT_EQ(o.colour_modes[0] & cm_kind, cm_colour);
    EXPECT_EQ(o.colour_modes[1] & cm_kind, cm_mono);
    EXPECT_EQ(o.colour_modes[2] & cm_kind, 0);
    EXPECT_EQ(o.refresh_sketches, 1);
}

TEST_F(SettingsRows, AddInNameIsReadButNeverWritten) {
    ini_set("FragmentAddIn", "my add-in, v2");
    opt_block o;
    std::uint8_t flags = 0;
    read_settings(o, flags);
    EXPECT_EQ(o.addin_name, "my add-in, v2");
    o.addin_name = "changed";
    put_settings_rows(o, flags);
    EXPECT_STREQ(ini_value("FragmentAddIn"), "my add-in, v2");
    ini_set("FragmentAddIn", nullptr);
    put_settings_rows(o, flags);
    EXPECT_EQ(ini_value("FragmentAddIn"), nullptr);
}

TEST_F(SettingsRows, CustomColourKeysAreTwoCharactersWide) {
    EXPECT_EQ(custom_colour_key(0), "CustomColor 0");
    EXPECT_EQ(custom_colour_key(9), "CustomColor 9");
    EXPECT_EQ(custom_colour_key(15), "CustomColor15");
    opt_block o;
    ini_set("CustomColor 3", "10-20-30");
    ini_set("CustomColor15", "255-0-0");
    ini_set("CustomColor 4", "not a colour");
    ini_set("CustomColor 5", "300-0-0");
    read_custom_colours(o);
    EXPECT_EQ(o.custom_colours[3], static_cast<std::uint32_t>(make_colour(10, 20, 30)));
    EXPECT_EQ(o.custom_colours[15], 0x0000FFu);
    EXPECT_EQ(o.custom_colours[4], custom_colour_unset);
    EXPECT_EQ(o.custom_colours[5], custom_colour_unset);
    write_ini_file(0);
    put_custom_colours(o);
    EXPECT_EQ(ini_count(), 16);
    EXPECT_STREQ(ini_value("CustomColor 3"), "10-20-30");
    EXPECT_STREQ(ini_value("CustomColor 0"), "192-192-192");
}

TEST_F(SettingsRows, HandEditedValuesKeepDefaultsWhereTheyDoNotScan) {
    opt_block o;
    std::uint8_t flags = 0;
    ini_set("ErrDim", "abc,12,,99999999999,");
    ini_set("print_dimensions", "wide,inf,");
    ini_set("DefaultVariableFace", std::string(50, 'F').c_str());
    ini_set("CDialogFont", "|||||,Arial|x|,Arial|11|B|,");
    ini_set("XlsOptions", ",,,");
    read_settings(o, flags);
    EXPECT_EQ(o.err_dim[0], 0);
    EXPECT_EQ(o.err_dim[1], 12);
    EXPECT_EQ(o.err_dim[2], 0);
    EXPECT_EQ(o.err_dim[3], 0);
    EXPECT_FLOAT_EQ(o.print_width, 10.0f);
    EXPECT_FLOAT_EQ(o.print_height, 10.0f);
    EXPECT_EQ(std::string(o.tool_face), std::string(31, 'F'));
    EXPECT_STREQ(o.fonts[of_normal].face, "MS Sans Serif"); // "Arial|x" does not parse
    EXPECT_STREQ(o.fonts[of_equation].face, "Arial");
    EXPECT_EQ(o.fonts[of_equation].size, 11);
    EXPECT_EQ(o.fonts[of_equation].style, font_bold);
    EXPECT_EQ(o.r1c1_row, 'R');
    EXPECT_EQ(o.r1c1_col, 'C');

    // A byte field takes -128 to 255; past that the default stays. A float
    // field takes "NA" for a missing value, but no other word.
    opt_block b;
    ini_set("print_options", "255,-128,256,"); // the date, orientation, corner
    ini_set("print_dimensions", "N,NA,");
    read_settings(b, flags);
    EXPECT_EQ(b.print_date, 255);
    EXPECT_EQ(b.orientation, 128);
    EXPECT_EQ(b.info_corner, opt_block{}.info_corner);
    EXPECT_FLOAT_EQ(b.print_width, 10.0f);
    EXPECT_TRUE(is_na(b.print_height));
}

TEST_F(SettingsRows, AFaceHoldingACommaDoesNotShiftTheFontsAfterIt) {
    opt_block o;
    std::uint8_t flags = 0;
    ini_set("CDialogFont", "Small Fon,");
    read_settings(o, flags);
    EXPECT_STREQ(o.fonts[of_compressed].face, "Small Fon,");
    put_settings_rows(o, flags);
    opt_block back;
    read_settings(back, flags);
    EXPECT_STREQ(back.fonts[of_compressed].face, "Small Fon,");
    EXPECT_STREQ(back.fonts[of_normal].face, "MS Sans Serif");
    EXPECT_EQ(back.fonts[of_normal].size, 9);
}

TEST_F(SettingsRows, WindowPlaceValues) {
    window_place p;
    ASSERT_TRUE(parse_window_place("0-x=10,y=-20,w=300,h=200", &p));
    EXPECT_EQ(p.visible, 0);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, -20);
    EXPECT_EQ(p.w, 300);
    EXPECT_EQ(p.h, 200);
    EXPECT_EQ(window_place_text(p), "0-x=10,y=-20,w=300,h=200");
    for (const char* bad : {"1-x=10,y=20,w=300", "", "x=1,y=2,w=3,h=4", "1-x=,y=2,w=3,h=4",
                            "1-x=99999999999,y=2,w=3,h=4", "1;x=1,y=2,w=3,h=4"})
        EXPECT_FALSE(parse_window_place(bad, &p)) << bad;
    EXPECT_FALSE(parse_window_place(nullptr, &p));
}

// Messages of severity 3 (warnings: the error log, never a box) by text.
std::vector<std::string>& warnings() {
    static std::vector<std::string> w;
    return w;
}
int keep_warning(int kind, const char*, const char* text) {
    if (kind == 3) warnings().push_back(text ? text : "");
    return 0;
}

// Settings stay forgiving, but a row that does not read whole (a field that
// does not scan, a row cut short, a colour or a window place that does not
// read) is logged once with its key; rows that read whole are not.
TEST_F(SettingsRows, RowsThatDoNotReadAreLoggedOnceWithTheirKey) {
    message_hook old = current_message_hook();
    set_message_hook(keep_warning);
    warnings().clear();
    opt_block o;
    o.print_width = 7.5f;
    o.err_dim[2] = 640;
    put_settings_rows(o, window_flags_set);
    put_custom_colours(o);
    ini_set("FragmentAddIn", "");
    opt_block whole;
    std::uint8_t flags = 0;
    read_custom_colours(whole);
    read_settings(whole, flags);
    EXPECT_TRUE(warnings().empty()) << warnings().front();

    const std::map<std::string, std::string> bad = {
        {"print_options", "1,0,"},       // cut short
        {"SelDim", "1,2"},               // cut short, with no comma after it
        {"ErrDim", "5,6,7,8x,"},         // junk behind a number
        {"print_dimensions", "wide,8,"}, // not a number
        {"GraphicsOpt", "1,2,300,0,"},   // not a byte
        {"CDialogFont", "Arial|x|,"},    // not a font
        {"ScreenOpt2", ""},              // no number at all
        {"CustomColor 7", "10-20"},      // not a colour
    };
    for (const auto& [key, value] : bad) ini_set(key.c_str(), value.c_str());
    for (int twice = 0; twice < 2; ++twice) {
        opt_block back;
        read_custom_colours(back);
        read_settings(back, flags);
        EXPECT_EQ(back.err_dim[2], 7); // what reads is taken
        EXPECT_FLOAT_EQ(back.print_height, 8.0f);
    }
    ASSERT_EQ(warnings().size(), bad.size());
    for (const auto& [key, value] : bad) {
        int found = 0;
        for (const std::string& w : warnings())
            if (w.find("The setting " + key + " does not read whole (\"" + value + "\")") !=
                std::string::npos)
                ++found;
        EXPECT_EQ(found, 1) << key;
    }

    // Another bad value of a key is reported again; a window place too.
    warnings().clear();
    ini_set("ErrDim", "5,");
    ini_set("Sel History", "1-x=10,y=20");
    read_settings(whole, flags);
    restore_float_positions();
    restore_float_positions();
    EXPECT_EQ(warnings().size(), 2u);
    set_message_hook(old);
}

} // namespace

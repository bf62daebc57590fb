#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/app_strings.h"
#include "foundation/memory.h"
#include "foundation/names.h"

namespace {

class ScratchTest : public ::testing::Test {
protected:
    void TearDown() override { free_scratch(); }
};

std::string upper(std::string s) {
    str_upper(s.data());
    return s;
}
std::string lower(std::string s) {
    str_lower(s.data());
    return s;
}
std::string collapsed(std::string s) {
    collapse_blanks(s.data());
    return s.c_str();
}

} // namespace

// ----------------------------------------------------------------- names ---

TEST(NameCompare, FoldsCaseAndOrdersLikeStrcmp) {
    EXPECT_EQ(name_cmp("Birth Rate", "BIRTH rate"), 0);
    EXPECT_LT(name_cmp("apple", "Banana"), 0); // folded: APPLE < BANANA
    EXPECT_GT(name_cmp("b", "A"), 0);
    EXPECT_LT(name_cmp("abc", "abcd"), 0);
    EXPECT_GT(name_cmp("abcd", "ABC"), 0);
    EXPECT_EQ(name_cmp(nullptr, ""), 0);
    EXPECT_LT(name_cmp(nullptr, "a"), 0);
    // Bytes above 127 compare as unsigned, after any letter.
    EXPECT_LT(name_cmp("Z", "\xC4"), 0);
}

TEST(NameCompare, Latin1LettersFoldButOtherBytesDoNot) {
    EXPECT_EQ(name_cmp("\xE4pfel", "\xC4PFEL"), 0); // äpfel / ÄPFEL
    EXPECT_EQ(upper("gr\xFC\xDF"), "GR\xDC\xDF");   // ß has no single-byte capital
    EXPECT_EQ(lower("\xC9T\xC9"), "\xE9t\xE9");
    EXPECT_NE(name_cmp("\xD7", "\xF7"), 0); // × and ÷ are not a case pair
    EXPECT_EQ(upper("\xD7\xF7\xFF"), "\xD7\xF7\xFF");
    // Nor does lowering: the multiplication sign stays, thorn lowers.
    EXPECT_EQ(lower("\xD7\xF7\xDE"), "\xD7\xF7\xFE");
    // UTF-8 continuation bytes are not letters: upper-casing keeps "é" intact.
    EXPECT_EQ(upper("caf\xC3\xA9"), "CAF\xC3\xA9");
    EXPECT_EQ(upper("a_b 1"), "A_B 1");
}

TEST(NameCompare, UnderscoreEqualsBlank) {
    EXPECT_EQ(name_cmp_us("birth_rate", "Birth Rate"), 0);
    EXPECT_NE(name_cmp("birth_rate", "Birth Rate"), 0);
    EXPECT_LT(name_cmp_us("a_b", "a_c"), 0);
    EXPECT_EQ(name_ncmp_us("stock_one", "STOCK TWO", 6), 0);
    EXPECT_NE(name_ncmp_us("stock_one", "STOCK TWO", 7), 0);
    EXPECT_EQ(name_ncmp_us("ab", "AB", 10), 0); // stops at the end of both
    EXPECT_EQ(name_ncmp_us("x", "y", 0), 0);
}

TEST(NameCompare, UnquotedIgnoresEnclosingQuotes) {
    EXPECT_EQ(name_cmp_unquoted("\"Birth Rate\"", "birth rate"), 0);
    EXPECT_EQ(name_cmp_unquoted("\"a\"", "\"A\""), 0);
    EXPECT_NE(name_cmp_unquoted("\"a", "a"), 0); // not enclosed: the quote counts
    EXPECT_LT(name_cmp_unquoted("\"abc\"", "abd"), 0);
    EXPECT_GT(name_cmp_unquoted("abcd", "\"ABC\""), 0);
    EXPECT_EQ(name_cmp_unquoted("\"\"", ""), 0);
}

TEST(NameCompare, OnlyAPairOfQuotesIsTakenOff) {
    // One quote on one side encloses nothing: it is compared as a character.
    EXPECT_NE(name_cmp_unquoted("\"ab", "a"), 0);
    EXPECT_NE(name_cmp_unquoted("ab\"", "b"), 0);
    EXPECT_EQ(name_cmp_unquoted("\"ab", "\"AB"), 0);
    EXPECT_EQ(name_cmp_unquoted("\"x y\"", "\"X Y\""), 0);
}

TEST(NameEdits, BlanksUnderscoresAndCollapse) {
    char a[] = "net birth rate";
    EXPECT_STREQ(spaces_to_underscores(a), "net_birth_rate");
    EXPECT_STREQ(underscores_to_spaces(a), "net birth rate");
    EXPECT_EQ(collapsed(" \t birth \r\n  rate\f\v of   x  \n"), "birth rate of x");
    EXPECT_EQ(collapsed(" \t\n "), "");
    EXPECT_EQ(collapsed("one"), "one");
    char b[] = "  a  ";
    EXPECT_EQ(collapse_blanks(b), b);
    EXPECT_EQ(collapse_blanks(nullptr), nullptr);
    EXPECT_EQ(str_upper(nullptr), nullptr);
}

TEST(NameEdits, LineLength) {
    EXPECT_EQ(line_length("abc\ndef"), 3u);
    EXPECT_EQ(line_length("abc"), 3u);
    EXPECT_EQ(line_length("\n"), 0u);
    EXPECT_EQ(line_length(nullptr), 0u);
}

TEST(FindPair, BinarySearchOnSecondWord) {
    std::vector<word_pair> table = {
        {"1", "level"},  {"2", "AUX"},  {"3", "constant"}, {"4", "Data"},
        {"5", "lookup"}, {"6", "zeta"}, {"7", "a_b"},      {"8", "INITIAL"},
    };
    std::sort(table.begin(), table.end(), word_pair_less);
    for (int i = 0; i < static_cast<int>(table.size()); ++i)
        EXPECT_EQ(find_pair(table.data(), static_cast<int>(table.size()), table[i].second), i);
    int n = static_cast<int>(table.size());
    int i = find_pair(table.data(), n, "Constant");
    ASSERT_GE(i, 0);
    EXPECT_STREQ(table[i].first, "3");
    EXPECT_EQ(find_pair(table.data(), n, "missing"), -1);
    EXPECT_EQ(find_pair(table.data(), n, ""), -1);
    EXPECT_EQ(find_pair(table.data(), 0, "AUX"), -1);
    EXPECT_EQ(find_pair(nullptr, 3, "AUX"), -1);
}

TEST(Wildcard, StarsAndQuestionMarks) {
    EXPECT_TRUE(wildcard_match("", "*"));
    EXPECT_TRUE(wildcard_match("", ""));
    EXPECT_FALSE(wildcard_match("", "?"));
    EXPECT_TRUE(wildcard_match("birth rate", "BIRTH*"));
    EXPECT_TRUE(wildcard_match("birth rate", "*RATE"));
    EXPECT_TRUE(wildcard_match("birth rate", "*TH R*"));
    EXPECT_TRUE(wildcard_match("birth rate", "B?RTH?RATE"));
    EXPECT_FALSE(wildcard_match("birth rate", "B?RTH"));
    EXPECT_FALSE(wildcard_match("birth rate", "*RATES"));
    EXPECT_FALSE(wildcard_match("abc", "a**?c")); // pattern taken as given
    EXPECT_TRUE(wildcard_match("abc", "A**?C"));
    EXPECT_TRUE(wildcard_match("aXbXc", "A*B*C"));
    EXPECT_FALSE(wildcard_match("aXbXc", "A*C*B"));
    EXPECT_TRUE(wildcard_match("mississippi", "*SIP*"));
    EXPECT_TRUE(wildcard_match("mississippi", "M*ISS*PI"));
    EXPECT_TRUE(wildcard_match("\xE4rger", "\xC4*")); // Latin-1 folded
    EXPECT_TRUE(wildcard_match("a*b", "A*B"));
    EXPECT_FALSE(wildcard_match("anything", nullptr));
}

TEST(Wildcard, PathologicalPatternsDoNotBacktrackExponentially) {
    std::string name(20000, 'a');
    EXPECT_FALSE(wildcard_match(name.c_str(), "*A*A*A*A*A*A*A*A*B"));
    EXPECT_TRUE(wildcard_match(name.c_str(), "*A*A*A*A*A*A*A*A*A"));
    name += 'b';
    EXPECT_TRUE(wildcard_match(name.c_str(), "*A*A*A*A*A*A*A*A*B"));
    std::string qs(200, '?');
    EXPECT_FALSE(wildcard_match(std::string(199, 'x').c_str(), ("*" + qs).c_str()));
    EXPECT_TRUE(wildcard_match(std::string(200, 'x').c_str(), ("*" + qs).c_str()));
}

// ---------------------------------------------------------------- numbers ---

using FormatNumber = ScratchTest;

TEST_F(FormatNumber, DisplayForm) {
    EXPECT_STREQ(format_number(NA, 0, nullptr), "--");
    EXPECT_STREQ(format_number(NA, 1, "$"), "--");
    EXPECT_STREQ(format_number(0.0, 1, nullptr), "0");
    EXPECT_STREQ(format_number(-0.0, 0, nullptr), "0");
    EXPECT_STREQ(format_number(1.0, 0, nullptr), "1");
    EXPECT_STREQ(format_number(0.1f, 0, nullptr), "0.1"); // float noise rounded away
    EXPECT_STREQ(format_number(1234.5678f, 0, nullptr), "1234.57");
    EXPECT_STREQ(format_number(-2.5, 0, nullptr), "-2.5");
    EXPECT_STREQ(format_number(1234567.0, 0, nullptr), "1234567");
    EXPECT_STREQ(format_number(0.000123456, 0, nullptr), "0.000123456");
    EXPECT_STREQ(format_number(-0.00001, 0, nullptr), "-1e-05");
    EXPECT_STREQ(format_number(2.5e12, 0, nullptr), "2.5e+12");
    EXPECT_STREQ(format_number(1.23456789e-7, 0, nullptr), "1.23457e-07");
    EXPECT_STREQ(format_number(999999.7, 0, nullptr), "1000000");
    EXPECT_STREQ(format_number(1.0 / 0.0, 0, nullptr), "Inf");
    EXPECT_STREQ(format_number(-1.0 / 0.0, 0, nullptr), "-Inf");
}

TEST_F(FormatNumber, GroupingAndPrefix) {
    EXPECT_STREQ(format_number(1234567.0, 1, nullptr), "1,234,567");
    EXPECT_STREQ(format_number(-1234.5, 1, nullptr), "-1,234.5");
    EXPECT_STREQ(format_number(999.0, 1, nullptr), "999");
    EXPECT_STREQ(format_number(100000.0, 1, nullptr), "100,000");
    EXPECT_STREQ(format_number(123456789012.0, 1, nullptr), "123,456,789,012");
    EXPECT_STREQ(format_number(2.5e12, 1, nullptr), "2.5e+12"); // exponent form not grouped
    EXPECT_STREQ(format_number(-12.5, 0, "$"), "$-12.5");
    EXPECT_STREQ(format_number(1500.0, 1, "x="), "x=1,500");
    EXPECT_EQ(format_number_string(1500.0, 1, ""), "1,500");
}

// The ungrouped form has a fast writer of its own; the grouped form keeps the
// string road. Where grouping changes nothing (below 1,000 and the exponent
// forms) both must write the same text, over values of every magnitude,
// sign, and the rounding edges near powers of ten.
TEST_F(FormatNumber, TheFastWriterAgreesWithTheGroupedRoadWhereGroupingIsIdle) {
    std::vector<double> values = {0.0,     -0.0,      1e-4,   -1e-4,        9.99999e-5, 999.9995,
                                  999.999, 0.0999995, 1e12,   9.999995e11,  123.456,    -0.5,
                                  1e-300,  -7.5e300,  5e-324, 0.00012345678};
    unsigned seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const double mantissa = static_cast<double>(seed % 2000001u) / 1000.0 - 1000.0;
        const int exponent = static_cast<int>((seed >> 8) % 40u) - 20;
        values.push_back(mantissa * std::pow(10.0, exponent));
        // Floats, as the runs hold them, take a road of their own.
        values.push_back(static_cast<float>(mantissa * std::pow(10.0, exponent % 8)));
        values.push_back(static_cast<float>(static_cast<int>(seed % 100000u)) / 100.0f);
    }
    for (double v : values) {
        const double a = std::fabs(v);
        if (a >= 999.5 && a < 1e12) continue; // grouping would add commas
        char buf[number_chars_size];
        const std::string fast(buf, format_number_chars(v, buf));
        EXPECT_EQ(fast, format_number_string(v, 1, nullptr)) << v;
        EXPECT_EQ(fast, format_number_string(v, 0, nullptr)) << v;
    }
    char buf[number_chars_size];
    EXPECT_EQ(std::string(buf, format_number_chars(NA, buf)), "--");
    EXPECT_EQ(format_number_string(NA, 0, "$"), "--");
    EXPECT_EQ(std::string(buf, format_number_chars(-0.0000001234, buf)), "-1.234e-07");
    EXPECT_EQ(std::string(buf, format_number_chars(-0.0000004, buf)), "-4e-07");
}

TEST_F(FormatNumber, EachResultIsItsOwnText) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s", format_number(1.5, 0, nullptr),
                  format_number(2.5, 0, nullptr));
    EXPECT_STREQ(buf, "1.5 2.5");
    const char* a = number_text(7);
    const char* b = number_text(8);
    EXPECT_STREQ(a, "7");
    EXPECT_STREQ(b, "8");
}

TEST_F(FormatNumber, UserFormats) {
    EXPECT_STREQ(format_number_fmt("%8.2f", 0, 3.14159), "    3.14");
    EXPECT_STREQ(format_number_fmt("8.2f", 2, 3.14159), "    3.14");
    EXPECT_STREQ(format_number_fmt("%-6.1f|", 0, 2.0), "2.0   |");
    EXPECT_STREQ(format_number_fmt("%+.3e", 0, 12346.0), "+1.235e+04");
    EXPECT_STREQ(format_number_fmt("x=%g%%", 0, 0.5), "x=0.5%");
    EXPECT_STREQ(format_number_fmt("%.0f", 0, NA), "--");
    // Anything but one floating conversion falls back to the display form.
    EXPECT_STREQ(format_number_fmt("%s", 0, 1234.0), "1234");
    EXPECT_STREQ(format_number_fmt("%d", 1, 1234.0), "1,234");
    EXPECT_STREQ(format_number_fmt("%n%f", 0, 1.0), "1");
    EXPECT_STREQ(format_number_fmt("%f %f", 0, 1.0), "1");
    EXPECT_STREQ(format_number_fmt("%100f", 0, 1.0), "1");
    EXPECT_STREQ(format_number_fmt("%.100f", 0, 1.0), "1");
    EXPECT_STREQ(format_number_fmt("%*f", 0, 1.0), "1");
    EXPECT_STREQ(format_number_fmt("%lf", 0, 1.0), "1");
    EXPECT_STREQ(format_number_fmt("no conversion", 0, 2.0), "2");
    EXPECT_STREQ(format_number_fmt("%", 0, 2.0), "2");
    EXPECT_STREQ(format_number_fmt(nullptr, 1, 1e6), "1,000,000");
    EXPECT_STREQ(format_number_fmt("", 0, 1e6), "1000000");
    // The widest accepted conversion is written whole, not cut to a buffer.
    char expect[512];
    std::snprintf(expect, sizeof expect, "%99.99f", 1e300);
    EXPECT_STREQ(format_number_fmt("%99.99f", 0, 1e300), expect);
    EXPECT_TRUE(number_format_ok("%08.3g"));
    EXPECT_FALSE(number_format_ok("%x"));
    EXPECT_FALSE(number_format_ok(nullptr));
}

TEST_F(FormatNumber, ToStep) {
    EXPECT_STREQ(format_to_step(0.5, 0.25), "0.50");
    EXPECT_STREQ(format_to_step(3, 1), "3");
    EXPECT_STREQ(format_to_step(20, 5), "20");
    EXPECT_STREQ(format_to_step(0.1f, 0.1f), "0.1"); // steps come as floats
    EXPECT_STREQ(format_to_step(0.3f, 0.2f), "0.3");
    EXPECT_STREQ(format_to_step(1.2345678, 1e-9), "1.234568"); // at most 6 decimals
    EXPECT_STREQ(format_to_step(2.5, -0.5), "2.5");
    EXPECT_STREQ(format_to_step(-0.001, 0.01), "0.00");
    EXPECT_STREQ(format_to_step(-1.5, 0.5), "-1.5");
    EXPECT_STREQ(format_to_step(100000, 0.5), "100000.0");
    EXPECT_STREQ(format_to_step(100001, 0.5), "100001"); // beyond 1e5: %g
    EXPECT_STREQ(format_to_step(2e6, 0.5), "2e+06");
    EXPECT_STREQ(format_to_step(1.5, 0), "1.5");
    EXPECT_STREQ(format_to_step(NA, 1), "--");
}

TEST(ParseNumber, NumbersAndSuffixes) {
    float v = 0;
    EXPECT_TRUE(parse_number("12.5", &v, 0));
    EXPECT_FLOAT_EQ(v, 12.5f);
    EXPECT_TRUE(parse_number("  -3e2 ", &v, 0));
    EXPECT_FLOAT_EQ(v, -300.0f);
    EXPECT_TRUE(parse_number("+4", &v, 0));
    EXPECT_FLOAT_EQ(v, 4.0f);
    EXPECT_TRUE(parse_number(".5", &v, 0));
    EXPECT_FLOAT_EQ(v, 0.5f);
    EXPECT_TRUE(parse_number("5.", &v, 0));
    EXPECT_FLOAT_EQ(v, 5.0f);
    EXPECT_TRUE(parse_number("2M", &v, 0));
    EXPECT_FLOAT_EQ(v, 2e6f);
    EXPECT_TRUE(parse_number("1.5 b", &v, 0));
    EXPECT_FLOAT_EQ(v, 1.5e9f);
    EXPECT_TRUE(parse_number("3tR", &v, 0));
    EXPECT_FLOAT_EQ(v, 3e12f);
    EXPECT_TRUE(parse_number("-2e-3m", &v, 0));
    EXPECT_FLOAT_EQ(v, -2000.0f);
    EXPECT_TRUE(parse_number("1e-50", &v, 0)); // underflows to zero, still a number
    EXPECT_FLOAT_EQ(v, 0.0f);
}

TEST(ParseNumber, FailuresLeaveTheOutputAlone) {
    const char* bad[] = {"",   "   ",  "abc", "12x",   "1.2.3", "1e",    "1e+",
                         "M",  "-",    "1,5", "5 M x", "1 2",   "--",    "1e39",
                         "5T", "0x10", "inf", "nan",   "TR",    "1e400", "2e30B"};
    for (const char* text : bad) {
        float v = 42.0f;
        EXPECT_EQ(parse_number(text, &v, 0), 0) << '"' << text << '"';
        EXPECT_EQ(v, 42.0f) << '"' << text << '"';
    }
    float v = 42.0f;
    EXPECT_EQ(parse_number(nullptr, &v, 0), 0);
    EXPECT_EQ(parse_number("1", nullptr, 0), 0);
}

TEST(ParseNumber, DecimalComma) {
    float v = 0;
    EXPECT_TRUE(parse_number("1,5", &v, 1));
    EXPECT_FLOAT_EQ(v, 1.5f);
    EXPECT_TRUE(parse_number("2.25", &v, 1)); // a point is still a point
    EXPECT_FLOAT_EQ(v, 2.25f);
    v = 7;
    EXPECT_FALSE(parse_number("1.234,5", &v, 1));
    EXPECT_EQ(v, 7.0f);

    char text[] = "1,234.5";
    EXPECT_STREQ(swap_decimal_comma(text), "1.234,5");
    EXPECT_STREQ(swap_decimal_comma(text), "1,234.5");
}

// ----------------------------------------------------------------- colours ---

TEST(ColourSpec, Reads) {
    EXPECT_EQ(read_color_spec("255-128-0"), 0x0080FF);
    EXPECT_EQ(read_color_spec(" 1 - 2 - 3 "), make_colour(1, 2, 3));
    EXPECT_EQ(read_color_spec("0-0-0"), 0);
    EXPECT_EQ(read_color_spec("1-2-3,next"), make_colour(1, 2, 3));
    EXPECT_EQ(read_color_spec("1-2-3|"), make_colour(1, 2, 3));
    const char* bad[] = {"",       "none",   "1-2",    "1-2-",  "256-0-0", "0-0-1000",
                         "-1-2-3", "1--2-3", "1-2-3x", "a-b-c", "1-2-3-4", "1 2 3"};
    for (const char* text : bad) EXPECT_EQ(read_color_spec(text), -1) << text;
    EXPECT_EQ(read_color_spec(nullptr), -1);
}

TEST(ColourSpec, WritesAndRoundTrips) {
    char buf[32];
    EXPECT_EQ(write_color_spec(0x0080FF, 0, buf, sizeof buf), 9);
    EXPECT_STREQ(buf, "255-128-0");
    EXPECT_EQ(write_color_spec(colour_none, 0, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    char small[4];
    EXPECT_EQ(write_color_spec(0x0080FF, 0, small, sizeof small), 9); // cut, terminated
    EXPECT_STREQ(small, "255");
    for (int r : {0, 1, 127, 255})
        for (int g : {0, 9, 200})
            for (int b : {0, 100, 255}) {
                std::int32_t c = make_colour(r, g, b);
                EXPECT_EQ(read_color_spec(color_spec_text(c).c_str()), c);
            }
}

// ------------------------------------------------------------------- fonts ---

namespace {

font_spec make_font(const char* face, int size, int style, std::uint32_t colour) {
    font_spec f{};
    f.colour = colour;
    f.size = static_cast<std::uint8_t>(size);
    f.style = static_cast<std::uint8_t>(style);
    std::snprintf(f.face, sizeof f.face, "%s", face);
    return f;
}

bool same_font(const font_spec& a, const font_spec& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Each separator a colour may be followed by in a list ("," "|" ";"), and a
// blank before any further text.
TEST(ColourSpec, EverySeparatorEndsAColour) {
    for (const char* text : {"1-2-3,x", "1-2-3|x", "1-2-3;x", "1-2-3 x", "1-2-3\tx"})
        EXPECT_EQ(read_color_spec(text), make_colour(1, 2, 3)) << text;
    for (const char* text : {"1-2-3:x", "1-2-3.x", "1-2-3/x"})
        EXPECT_EQ(read_color_spec(text), -1) << text;
}

} // namespace

TEST(FontSpec, WritesTheTextForm) {
    font_spec f = make_font("Arial", 12, font_bold | font_italic, make_colour(1, 2, 3));
    char buf[64];
    EXPECT_EQ(write_font_spec(&f, 0, buf, sizeof buf, 1), 17);
    EXPECT_STREQ(buf, "Arial|12|BI|1-2-3");
    write_font_spec(&f, 0, buf, sizeof buf, 0);
    EXPECT_STREQ(buf, "|12|BI|1-2-3");
    f.style = 0;
    f.colour = 0xFFFFFFFFu;
    EXPECT_EQ(font_spec_text(f), "Arial|12||");
    f = make_font("A|B\tC", 9, font_underline | font_strikeout | font_vertical, 0);
    EXPECT_EQ(font_spec_text(f), "A B C|9|USV|0-0-0");
    char tiny[6];
    write_font_spec(&f, 0, tiny, sizeof tiny, 1);
    EXPECT_STREQ(tiny, "A B C");
}

TEST(FontSpec, RoundTrips) {
    font_spec deflt = make_font("Default", 10, 0, make_colour(9, 9, 9));
    const font_spec fonts[] = {
        make_font("Arial", 12, font_bold, make_colour(255, 0, 0)),
        make_font("MS Sans Serif", 9, 0, 0),
        make_font("Times New Roman", 127, 31, make_colour(10, 20, 30)),
        make_font("Small Fonts", 1, font_italic, make_colour(0, 0, 255)),
    };
    for (const font_spec& f : fonts) {
        font_spec back = make_font("junk", 99, 0, 5);
        ASSERT_EQ(read_font_spec(&back, font_spec_text(f).c_str(), &deflt), 1) << f.face;
        EXPECT_TRUE(same_font(back, f)) << font_spec_text(f);
    }
}

TEST(FontSpec, MissingPartsComeFromTheDefault) {
    font_spec deflt = make_font("Default", 10, font_bold, make_colour(9, 9, 9));
    deflt.spare[0] = 7;
    font_spec f{};
    ASSERT_EQ(read_font_spec(&f, "Times", &deflt), 1);
    EXPECT_STREQ(f.face, "Times");
    EXPECT_EQ(f.size, 10);
    EXPECT_EQ(f.style, font_bold);
    EXPECT_EQ(f.colour, deflt.colour);
    EXPECT_EQ(f.spare[0], 7);

    ASSERT_EQ(read_font_spec(&f, "  |14|", &deflt), 1);
    EXPECT_STREQ(f.face, "Default");
    EXPECT_EQ(f.size, 14);
    EXPECT_EQ(f.style, 0); // a present, empty style field is no style
    EXPECT_EQ(f.colour, deflt.colour);

    ASSERT_EQ(read_font_spec(&f, "Courier | 8 | bi | 0-0-255 ", &deflt), 1);
    EXPECT_STREQ(f.face, "Courier");
    EXPECT_EQ(f.size, 8);
    EXPECT_EQ(f.style, font_bold | font_italic);
    EXPECT_EQ(f.colour, static_cast<std::uint32_t>(make_colour(0, 0, 255)));

    // Colour none is written empty and read back as the default's colour.
    font_spec none = make_font("X", 11, 0, 0xFFFFFFFFu);
    ASSERT_EQ(read_font_spec(&f, font_spec_text(none).c_str(), &deflt), 1);
    EXPECT_EQ(f.colour, deflt.colour);

    // A size the reader refuses is not written, so the font still reads back.
    font_spec zero = make_font("Z", 0, font_bold, 0);
    EXPECT_EQ(font_spec_text(zero), "Z||B|0-0-0");
    ASSERT_EQ(read_font_spec(&f, font_spec_text(zero).c_str(), &deflt), 1);
    EXPECT_EQ(f.size, 10);
    EXPECT_EQ(f.style, font_bold);
    EXPECT_EQ(font_spec_text(make_font("Z", 200, 0, 0)), "Z|||0-0-0");
    ASSERT_EQ(read_font_spec(&f, "Z|0|", &deflt), 1);
    EXPECT_EQ(f.size, 10);

    ASSERT_EQ(read_font_spec(&f, "Y|12|B|1-1-1", nullptr), 1);
    EXPECT_EQ(f.spare[0], 0);
}

TEST(FontSpec, StopsAtTheEndOfItsText) {
    font_spec f{};
    const char* end = nullptr;
    const char* text = "Arial|12|B|1-2-3,next,field";
    ASSERT_EQ(read_font_spec(&f, text, nullptr, &end), 1);
    EXPECT_STREQ(end, ",next,field");
    ASSERT_EQ(read_font_spec(&f, "Arial|12\nrest", nullptr, &end), 1);
    EXPECT_STREQ(end, "\nrest");
    EXPECT_EQ(f.size, 12);
}

TEST(FontSpec, LongFacesAreCut) {
    std::string face(60, 'F');
    font_spec f{};
    ASSERT_EQ(read_font_spec(&f, (face + "|10|").c_str(), nullptr), 1);
    EXPECT_EQ(std::string(f.face), std::string(31, 'F'));
}

TEST(FontSpec, BadTextsLeaveTheOutputAlone) {
    font_spec deflt = make_font("Default", 10, 0, 0);
    const char* bad[] = {"",
                         "   ",
                         "Arial|abc|B|0-0-0",
                         "Arial|12|X|",
                         "Arial|128|",
                         "Arial|-3|",
                         "Arial|12|B|300-0-0",
                         "Arial|12|B|1-2",
                         "Arial|12|B|1-2-3 junk",
                         "Arial|1 2|"};
    for (const char* text : bad) {
        font_spec f = make_font("Keep", 33, 3, 44);
        font_spec before = f;
        EXPECT_EQ(read_font_spec(&f, text, &deflt), 0) << '"' << text << '"';
        EXPECT_TRUE(same_font(f, before)) << text;
    }
    font_spec f{};
    EXPECT_EQ(read_font_spec(&f, nullptr, &deflt), 0);
    EXPECT_EQ(read_font_spec(nullptr, "Arial", &deflt), 0);
}

// ------------------------------------------------------------- app strings ---

TEST(AppStrings, FixedTextsAndProgramDirectory) {
    app_string_block& a = app_strings();
    EXPECT_EQ(a.program_name, "Kavrel Viewer");
    EXPECT_EQ(a.version, "0.1.0");
    EXPECT_EQ(a.error_log_name, "kavrel.err");
    EXPECT_EQ(a.ini_name, "kavread.ini");
    ASSERT_FALSE(a.prog_dir.empty());
    EXPECT_EQ(a.prog_dir.back(), '/');
    // The test program itself lives in the program directory.
    std::FILE* self = std::fopen((a.prog_dir + "tests_foundation").c_str(), "rb");
    EXPECT_NE(self, nullptr);
    if (self) std::fclose(self);

    EXPECT_EQ(program_directory_of("/opt/kavrel/bin/kavrel"), "/opt/kavrel/bin/");
    EXPECT_EQ(program_directory_of("C:\\Kavrel\\kavrel.exe"), "C:\\Kavrel\\");
    EXPECT_EQ(program_directory_of("C:kavrel.exe"), "C:");
    EXPECT_EQ(program_directory_of("kavrel"), "");
}

TEST(AppStrings, CellsAreNumberedAndReused) {
    app_strings_clear_cells();
    std::int32_t a = app_string_add("default.kts");
    std::int32_t b = app_string_add(nullptr);
    EXPECT_GT(a, 0);
    EXPECT_NE(a, b);
    EXPECT_STREQ(app_string_text(a), "default.kts");
    EXPECT_STREQ(app_string_text(b), "");
    EXPECT_STREQ(app_string_text(0), "");
    EXPECT_STREQ(app_string_text(999), "");
    const char* kept = app_string_text(a);
    for (int i = 0; i < 1000; ++i) app_string_add("filler"); // other cells never move a
    EXPECT_STREQ(kept, "default.kts");
    EXPECT_EQ(app_string_set(a, "other.kts"), a);
    EXPECT_STREQ(app_string_text(a), "other.kts");
    app_string_free(a);
    EXPECT_STREQ(app_string_text(a), "");
    EXPECT_EQ(app_string_add("again"), a); // a freed cell is reused
    std::int32_t c = app_string_set(0, "new");
    EXPECT_GT(c, 0);
    EXPECT_STREQ(app_string_text(c), "new");
    app_strings_clear_cells();
    EXPECT_STREQ(app_string_text(c), "");
}

// Names, numbers, colours and fonts as text.
//
// Text in the program is single-byte Latin-1 (the code page in which models,
// run files and settings are written); case folding knows the Latin-1 letters
// but never touches bytes that are not letters, so UTF-8 continuation bytes
// pass through unchanged.
//
// Number texts use '.' as the decimal point whatever the C locale says; a user
// who wants a decimal comma gets it through swap_decimal_comma, which the
// callers apply where the decimal_comma option asks for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/types.h"

// ----------------------------------------------------------------- markup ---

// The entity that stands for a character markup gives a meaning to (&, <, >
// and the double quote), null for any other: what HTML and XML writers put in
// place of such a character in a text or an attribute value.
inline const char* markup_entity(char c) {
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    default:
        return nullptr;
    }
}

// ------------------------------------------------------------------ names ---

// Case-folding tables: fold_upper[c] is the upper-case form of byte c,
// fold_lower[c] the lower-case form (Latin-1 letters included; the sharp s and
// y with diaeresis, which have no single-byte partner, stay as they are).
extern const std::array<unsigned char, 256> fold_upper;
extern const std::array<unsigned char, 256> fold_lower;

// 0 when a and b are equal after folding to upper case; otherwise negative or
// positive as a sorts before or after b (comparing folded bytes as unsigned).
// A null text counts as "".
int name_cmp(const char* a, const char* b);
// As name_cmp with blank and underscore taken as the same character.
int name_cmp_us(const char* a, const char* b);
// As name_cmp_us over at most n characters.
int name_ncmp_us(const char* a, const char* b, std::size_t n);
// As name_cmp, each text first losing one pair of enclosing double quotes
// ("\"Birth Rate\"" equals "birth rate").
int name_cmp_unquoted(const char* a, const char* b);

// In-place changes; each returns its argument (null passes through).
char* str_upper(char* text);
char* str_lower(char* text);
char* spaces_to_underscores(char* text);
char* underscores_to_spaces(char* text);
// Trims white space (blank, tab, line feed, carriage return, form feed,
// vertical tab) at both ends and turns each inner run into one blank.
char* collapse_blanks(char* text);

// The number of characters up to the first line feed or the end (0 for null).
std::size_t line_length(const char* text);

// A word pair of a lookup table. Tables searched by find_pair are sorted by
// their second word in name_cmp order (word_pair_less sorts them so).
struct word_pair {
    const char* first;
    const char* second;
};
bool word_pair_less(const word_pair& a, const word_pair& b);
// Binary search for key among the second words (compared with name_cmp); the
// index of a matching pair, or -1 (also for a null table or count <= 0).
int find_pair(const word_pair* pairs, int count, const char* key);

// Non-zero when name matches pattern: "*" matches any run of characters
// (none included), "?" exactly one. The name is folded to upper case before
// each comparison; the pattern is taken as given, so callers pass it in upper
// case. Runs in time proportional to the product of the lengths at worst.
int wildcard_match(const char* name, const char* pattern);

// ---------------------------------------------------------------- numbers ---

// Non-zero when numbers are shown and typed with a decimal comma.
extern std::uint8_t decimal_comma;

// Exchanges ',' and '.' in place; returns the text.
char* swap_decimal_comma(char* text);

// The display form of a number (format_number_string returns it as a string):
// - NA is "--", infinities "Inf" and "-Inf", a NaN "NaN";
// - 0 (either sign) is "0";
// - magnitudes from 1e-4 up to 1e12 are written in fixed notation with six
//   significant digits (never fewer than the integer digits: 1234567 stays
//   1234567), trailing zeros after the point and a bare point dropped;
// - smaller and larger magnitudes take the exponent form of "%.6g" with the
//   mantissa's trailing zeros dropped ("1.5e-05", "2.5e+12");
// - group != 0 puts ',' between thousands of the integer part (fixed
//   notation only);
// - a prefix (null: none) is put in front of the text, sign included
//   ("$-12.5"); NA stays "--" without it.
std::string format_number_string(double value, int group, const char* prefix);
// The same form without grouping or prefix, written into out (at least
// number_chars_size bytes, not terminated); returns its length. For callers
// that format a million cells, where the string's temporaries dominate.
inline constexpr std::size_t number_chars_size = 64;
std::size_t format_number_chars(double value, char* out);
// The same text in its own scratch string (valid until scratch memory is
// released), so two calls in one printf show two texts.
const char* format_number(double value, int group, const char* prefix);

// Formats with a number format given by the user: one printf conversion
// %[flags][width][.precision] followed by f, g, e, F, G or E, with any plain
// text around it ("%%" stands for '%'). Flags are any of "-+ 0#", width and
// precision at most two digits each. Mode bits: 1 groups thousands when the
// format is not used; 2 puts a '%' in front of the format (for formats stored
// without it). A null, empty or unacceptable format gives format_number
// (group = mode & 1, no prefix). NA is always "--". Result in scratch memory.
const char* format_number_fmt(const char* format, int mode, double value);
// True when format (with the '%' already in front) is an acceptable number
// format for format_number_fmt.
bool number_format_ok(const char* format);

// As many decimals as step needs to be shown exactly (at most 6), for values
// whose magnitude is at most 1e5; larger values, a zero, NA or non-finite step
// give "%g". "-0.00" is written "0.00". NA is "--". Result in scratch memory.
const char* format_to_step(double value, double step);

// The plain display form: format_number(value, 0, null).
const char* number_text(double value);

// Parses a number: blanks around it are skipped; an optional sign, digits with
// at most one decimal point ('.', or ',' instead when decimal_comma_ok), an
// optional exponent, then an optional scale suffix (any case, blanks allowed
// before it): M 1e6, B 1e9, TR 1e12. The result must be a finite float.
// Returns 1 and stores the value on success; returns 0 and leaves *out
// unchanged when the text is not such a number (trailing text included).
int parse_number(const char* text, float* out, int decimal_comma_ok);

// ----------------------------------------------------------------- colours ---

// A colour as 0x00BBGGRR; colour_none for "no colour" / "default colour".
inline constexpr std::int32_t colour_none = -1;
inline constexpr std::int32_t make_colour(int r, int g, int b) {
    return (r & 255) | ((g & 255) << 8) | ((b & 255) << 16);
}

// Reads "r-g-b" (three decimal numbers 0..255 separated by '-', blanks allowed
// around each): the colour, or -1 when the text is empty, "none", malformed or
// a component is above 255. The text may go on after the blue component only
// past a blank, ',', '|' or ';'.
std::int32_t read_color_spec(const char* text);
// Writes "r-g-b" into out (size bytes, always NUL-terminated when size > 0);
// a colour with high bits set (colour_none) writes "". Returns the length of
// the full text (as snprintf does). The flags are unused (pass 0).
int write_color_spec(std::int32_t colour, int flags, char* out, std::size_t size);
std::string color_spec_text(std::int32_t colour);

// ------------------------------------------------------------------- fonts ---

// Style bits of a font_spec.
enum : std::uint8_t {
    font_bold = 1,
    font_italic = 2,
    font_underline = 4,
    font_strikeout = 8,
    font_vertical = 16,
};

// A font description: kept in tool option blocks, settings rows, graph
// definitions and output records, so its layout is fixed.
struct font_spec {
    std::uint32_t colour; // 0x00BBGGRR; 0xFFFFFFFF: the default colour
    std::uint8_t size;    // point size (made as a signed byte)
    std::uint8_t style;   // font_bold | font_italic | ...
    std::uint8_t spare[2];
    char face[32]; // NUL-terminated; "" is the device's default face
};
static_assert(sizeof(font_spec) == 40);
static_assert(offsetof(font_spec, size) == 4);
static_assert(offsetof(font_spec, style) == 5);
static_assert(offsetof(font_spec, face) == 8);

// The text form: "face|size|styles|r-g-b", the styles being the letters
// B (bold), I (italic), U (underline), S (strike-out) and V (vertical) of the
// bits that are set. Writes into out (size bytes, NUL-terminated when
// size > 0); with_face 0 leaves the face empty. A '|' or control character in
// the face is written as a blank; a size outside 1..127 is left empty. Returns
// the length of the full text.
int write_font_spec(const font_spec* font, int flags, char* out, std::size_t size, int with_face);
std::string font_spec_text(const font_spec& font, bool with_face = true);

// Reads the text form. Leading blanks are skipped; the fields are separated
// by '|'. A field that is absent (the text ends before it) or empty takes
// the default's value, except that a present but empty style field means no
// style. The face ends at '|', a line end or the end of the text (longer
// faces are cut to 31 characters, trailing blanks dropped); size, style and
// colour end at '|', ',', a line end or the end of the text, blanks around
// them ignored. Size must be 0..127 (0 as if empty), the style letters any of BIUSV in either
// case, the colour an r-g-b text; anything else in a field fails. An empty
// text fails.
// Returns 1 and fills *out (its spare bytes from the default), or 0 and
// leaves *out unchanged when the text does not parse; *end (when given) is
// set to the first character after the font text. deflt null: all zero.
int read_font_spec(font_spec* out, const char* text, const font_spec* deflt,
                   const char** end = nullptr);

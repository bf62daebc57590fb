// Names, numbers, colours and fonts as text.

#include "foundation/names.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "foundation/memory.h"

// ---------------------------------------------------------- fold tables ---

namespace {

constexpr bool latin1_upper_letter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}
constexpr bool latin1_lower_letter(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
}

constexpr std::array<unsigned char, 256> make_fold(bool to_upper) {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
        int f = c;
        if (to_upper && latin1_lower_letter(c)) f = c - 0x20;
        if (!to_upper && latin1_upper_letter(c)) f = c + 0x20;
        t[c] = static_cast<unsigned char>(f);
    }
    return t;
}

inline unsigned char uc(char c) {
    return static_cast<unsigned char>(c);
}

inline bool is_white(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The folded key of a character with blank and underscore taken as one.
inline int us_key(unsigned char c) {
    return c == '_' ? ' ' : fold_upper[c];
}

// A text without one pair of enclosing double quotes.
std::string_view unquoted(const char* text) {
    std::string_view v = text ? text : "";
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return v;
}

} // namespace

const std::array<unsigned char, 256> fold_upper = make_fold(true);
const std::array<unsigned char, 256> fold_lower = make_fold(false);

// ------------------------------------------------------------- compares ---

int name_cmp(const char* a, const char* b) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a ? a : "");
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b ? b : "");
    for (;; ++p, ++q) {
        int ca = fold_upper[*p];
        int cb = fold_upper[*q];
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
}

int name_ncmp_us(const char* a, const char* b, std::size_t n) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a ? a : "");
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b ? b : "");
    for (; n > 0; --n, ++p, ++q) {
        int ca = us_key(*p);
        int cb = us_key(*q);
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
    return 0;
}

int name_cmp_us(const char* a, const char* b) {
    return name_ncmp_us(a, b, SIZE_MAX);
}

int name_cmp_unquoted(const char* a, const char* b) {
    std::string_view x = unquoted(a);
    std::string_view y = unquoted(b);
    std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        int ca = fold_upper[uc(x[i])];
        int cb = fold_upper[uc(y[i])];
        if (ca != cb) return ca - cb;
    }
    if (x.size() == y.size()) return 0;
    return x.size() < y.size() ? -1 : 1;
}

// -------------------------------------------------------- in-place edits ---

char* str_upper(char* text) {
    if (text)
        for (char* p = text; *p; ++p) *p = static_cast<char>(fold_upper[uc(*p)]);
    return text;
}

char* str_lower(char* text) {
    if (text)
        for (char* p = text; *p; ++p) *p = static_cast<char>(fold_lower[uc(*p)]);
    return text;
}

char* spaces_to_underscores(char* text) {
    if (text)
        for (char* p = text; *p; ++p)
            if (*p == ' ') *p = '_';
    return text;
}

char* underscores_to_spaces(char* text) {
    if (text)
        for (char* p = text; *p; ++p)
            if (*p == '_') *p = ' ';
    return text;
}

char* collapse_blanks(char* text) {
    if (!text) return text;
    char* out = text;
    bool pending = false;
    for (const char* p = text; *p; ++p) {
        if (is_white(uc(*p))) {
            pending = out != text; // no blank at the start
            continue;
        }
        if (pending) *out++ = ' ';
        pending = false;
        *out++ = *p;
    }
    *out = 0;
    return text;
}

std::size_t line_length(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p && *p != '\n') ++p;
    return static_cast<std::size_t>(p - text);
}

// ------------------------------------------------------------ word pairs ---

bool word_pair_less(const word_pair& a, const word_pair& b) {
    return name_cmp(a.second, b.second) < 0;
}

int find_pair(const word_pair* pairs, int count, const char* key) {
    if (!pairs || count <= 0) return -1;
    int lo = 0;
    int hi = count - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int c = name_cmp(key, pairs[mid].second);
        if (c == 0) return mid;
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return -1;
}

// -------------------------------------------------------------- wildcards ---

int wildcard_match(const char* name, const char* pattern) {
    const unsigned char* n = reinterpret_cast<const unsigned char*>(name ? name : "");
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern ? pattern : "");
    // One resume point is enough: a later "*" can absorb everything an
    // earlier one could, so on a mismatch only the last star is retried,
    // one character further on. No recursion, no exponential backtracking.
    const unsigned char* star = nullptr; // pattern just after the last '*'
    const unsigned char* mark = nullptr; // name position that star started at
    while (*n) {
        if (*p == '*') {
            while (*p == '*') ++p;
            if (!*p) return 1; // a trailing star takes the rest
            star = p;
            mark = n;
        } else if (*p && (*p == '?' || fold_upper[*n] == *p)) {
            ++n;
            ++p;
        } else if (star) {
            p = star;
            n = ++mark;
        } else {
            return 0;
        }
    }
    while (*p == '*') ++p;
    return *p == 0;
}

// ---------------------------------------------------------------- numbers ---

std::uint8_t decimal_comma = 0;

char* swap_decimal_comma(char* text) {
    if (text)
        for (char* p = text; *p; ++p) {
            if (*p == ',')
                *p = '.';
            else if (*p == '.')
                *p = ',';
        }
    return text;
}

namespace {

// Locale-independent fixed and exponent forms.
std::string chars_fixed(double v, int decimals) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

std::string chars_scientific(double v, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, decimals);
    return std::string(buf, r.ptr);
}

// As printf's "%g" (six significant digits), whatever the locale.
std::string chars_g(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

// Drops trailing zeros after a decimal point, and the point when bare.
void trim_fraction(std::string& s, std::size_t end) {
    std::size_t dot = s.find('.');
    if (dot == std::string::npos || dot >= end) return;
    std::size_t last = end;
    while (last > dot + 1 && s[last - 1] == '0') --last;
    if (last == dot + 1) last = dot;
    s.erase(last, end - last);
}

// "-0", "-0.00": a negative sign in front of nothing but zeros goes.
void drop_negative_zero(std::string& s) {
    if (s.empty() || s[0] != '-') return;
    for (std::size_t i = 1; i < s.size(); ++i)
        if (s[i] != '0' && s[i] != '.') return;
    s.erase(0, 1);
}

void group_thousands(std::string& s) {
    std::size_t start = (!s.empty() && s[0] == '-') ? 1 : 0;
    std::size_t end = start;
    while (end < s.size() && s[end] >= '0' && s[end] <= '9') ++end;
    for (std::size_t i = end; i > start + 3; i -= 3) s.insert(i - 3, 1, ',');
}

char* to_scratch(const std::string& s) {
    char* out = static_cast<char*>(scratch(s.size() + 1));
    std::memcpy(out, s.data(), s.size());
    out[s.size()] = 0;
    return out;
}

// Replaces the C locale's decimal point (when it is not '.') by '.'.
void fix_locale_point(std::string& s) {
    const char* dp = std::localeconv()->decimal_point;
    if (!dp || !*dp || std::strcmp(dp, ".") == 0) return;
    std::size_t at = s.find(dp);
    if (at == std::string::npos) return;
    // The point is put in place and the rest of a longer one dropped, rather
    // than replacing the span, which GCC 12 at -O3 flags as a possible
    // overlapping copy.
    s[at] = '.';
    s.erase(at + 1, std::strlen(dp) - 1);
}

} // namespace

std::size_t format_number_chars(double value, char* out) {
    auto put = [&](const char* text) {
        const std::size_t n = std::strlen(text);
        std::memcpy(out, text, n);
        return n;
    };
    if (is_na(value)) return put("--");
    if (std::isnan(value)) return put("NaN");
    if (std::isinf(value)) return put(value < 0 ? "-Inf" : "Inf");
    const double a = std::fabs(value);
    if (a == 0) return put("0");
    char* const end = out + number_chars_size;
    if (a < 1e-4 || a >= 1e12) {
        char* stop = std::to_chars(out, end, value, std::chars_format::scientific, 5).ptr;
        char* e = std::find(out, stop, 'e');
        char* dot = std::find(out, e, '.');
        if (dot == e) return static_cast<std::size_t>(stop - out);
        char* last = e;
        while (last > dot + 1 && last[-1] == '0') --last;
        if (last == dot + 1) last = dot;
        const std::size_t exponent = static_cast<std::size_t>(stop - e);
        std::memmove(last, e, exponent);
        return static_cast<std::size_t>(last - out) + exponent;
    }
    // Most numbers shown are floats. When the shortest text that reads back
    // as the float has at most six significant digits, it is the six-digit
    // rounding with its zeros trimmed (the float is far closer to it than
    // half a step of six digits), and it comes much cheaper than formatting
    // to a precision.
    if (const float f = static_cast<float>(value); static_cast<double>(f) == value) {
        char* stop = std::to_chars(out, end, f, std::chars_format::fixed).ptr;
        int significant = 0;
        bool started = false;
        for (const char* p = out; p < stop; ++p) {
            if (*p < '0' || *p > '9') continue;
            started = started || *p != '0';
            significant += started;
        }
        if (significant <= 6) return static_cast<std::size_t>(stop - out);
    }
    // The integer digits by the powers of ten rather than log10, which costs
    // more than the rest of the formatting (a is within [1e-4, 1e12) here).
    static constexpr double powers[] = {1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2,  1e3, 1e4,
                                        1e5,  1e6,  1e7,  1e8, 1e9, 1e10, 1e11};
    int int_digits = -3;
    for (double p : powers) {
        if (a < p) break;
        ++int_digits;
    }
    const int decimals = std::max(0, 6 - int_digits);
    char* stop = std::to_chars(out, end, value, std::chars_format::fixed, decimals).ptr;
    if (decimals > 0) {
        while (stop[-1] == '0') --stop;
        if (stop[-1] == '.') --stop;
    }
    std::size_t n = static_cast<std::size_t>(stop - out);
    // "-0", "-0.00": a negative sign in front of nothing but zeros goes.
    if (out[0] == '-' && std::all_of(out + 1, stop, [](char c) { return c == '0' || c == '.'; })) {
        std::memmove(out, out + 1, n - 1);
        --n;
    }
    return n;
}

std::string format_number_string(double value, int group, const char* prefix) {
    if (is_na(value)) return "--";
    if (!group) {
        char buf[number_chars_size];
        std::string s;
        if (prefix && *prefix) s = prefix;
        s.append(buf, format_number_chars(value, buf));
        return s;
    }
    std::string s;
    double a = std::fabs(value);
    if (std::isnan(value)) {
        s = "NaN";
    } else if (std::isinf(value)) {
        s = value < 0 ? "-Inf" : "Inf";
    } else if (a == 0) {
        s = "0";
    } else if (a < 1e-4 || a >= 1e12) {
        s = chars_scientific(value, 5);
        trim_fraction(s, s.find('e'));
    } else {
        int int_digits = static_cast<int>(std::floor(std::log10(a))) + 1;
        int decimals = std::max(0, 6 - int_digits);
        s = chars_fixed(value, decimals);
        trim_fraction(s, s.size());
        drop_negative_zero(s);
        if (group) group_thousands(s);
    }
    if (prefix && *prefix) s.insert(0, prefix);
    return s;
}

const char* format_number(double value, int group, const char* prefix) {
    return to_scratch(format_number_string(value, group, prefix));
}

const char* number_text(double value) {
    return format_number(value, 0, nullptr);
}

namespace {

// Splits a number format into the text before the conversion, the
// conversion itself and the text after it ("%%" already turned into '%' in
// both texts). False when the format does not hold exactly one acceptable
// conversion.
bool split_number_format(std::string_view f, std::string& before, std::string& spec,
                         std::string& after) {
    before.clear();
    spec.clear();
    after.clear();
    bool found = false;
    for (std::size_t i = 0; i < f.size(); ++i) {
        std::string& text = found ? after : before;
        if (f[i] != '%') {
            text += f[i];
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == '%') {
            text += '%';
            ++i;
            continue;
        }
        if (found) return false; // a second conversion
        std::size_t j = i + 1;
        while (j < f.size() && std::strchr("-+ 0#", f[j]) && f[j]) ++j;
        std::size_t digits = 0;
        while (j < f.size() && f[j] >= '0' && f[j] <= '9') ++j, ++digits;
        if (digits > 2) return false;
        if (j < f.size() && f[j] == '.') {
            ++j;
            digits = 0;
            while (j < f.size() && f[j] >= '0' && f[j] <= '9') ++j, ++digits;
            if (digits > 2) return false;
        }
        if (j >= f.size() || !std::strchr("fFgGeE", f[j]) || !f[j]) return false;
        spec.assign(f.substr(i, j - i + 1));
        found = true;
        i = j;
    }
    return found;
}

} // namespace

bool number_format_ok(const char* format) {
    if (!format) return false;
    std::string before, spec, after;
    return split_number_format(format, before, spec, after);
}

const char* format_number_fmt(const char* format, int mode, double value) {
    if (is_na(value)) return to_scratch("--");
    std::string f;
    if (format && *format) {
        if (mode & 2) f = "%";
        f += format;
    }
    std::string before, spec, after;
    if (f.empty() || !split_number_format(f, before, spec, after))
        return format_number(value, mode & 1, nullptr);
    // The conversion is checked above, so the format is one this code chose
    // to accept: one floating conversion with at most 99 width and precision.
    int n = std::snprintf(nullptr, 0, spec.c_str(), value);
    if (n < 0) return format_number(value, mode & 1, nullptr);
    std::string number(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(number.data(), number.size(), spec.c_str(), value);
    number.resize(static_cast<std::size_t>(n));
    fix_locale_point(number);
    return to_scratch(before + number + after);
}

const char* format_to_step(double value, double step) {
    if (is_na(value)) return to_scratch("--");
    double s = std::fabs(step);
    if (!std::isfinite(value) || std::fabs(value) > 1e5 || !(s > 0) || !std::isfinite(s) ||
        is_na(step))
        return to_scratch(chars_g(value));
    // The fewest decimals that show the step exactly, within the precision
    // of the float the step usually came from.
    int decimals = 0;
    double scaled = s;
    while (decimals < 6 && std::fabs(scaled - std::nearbyint(scaled)) > 1e-6 * scaled) {
        ++decimals;
        scaled *= 10;
    }
    std::string text = chars_fixed(value, decimals);
    drop_negative_zero(text);
    return to_scratch(text);
}

int parse_number(const char* text, float* out, int decimal_comma_ok) {
    if (!text || !out) return 0;
    const char* p = text;
    while (is_white(uc(*p))) ++p;
    std::string num;
    if (*p == '+' || *p == '-') {
        if (*p == '-') num += '-';
        ++p;
    }
    int digits = 0;
    bool point = false;
    for (;; ++p) {
        if (*p >= '0' && *p <= '9') {
            num += *p;
            ++digits;
        } else if ((*p == '.' || (*p == ',' && decimal_comma_ok)) && !point) {
            num += '.';
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        std::string exp = "e";
        if (*q == '+' || *q == '-') exp += *q++;
        int exp_digits = 0;
        while (*q >= '0' && *q <= '9') exp += *q++, ++exp_digits;
        if (exp_digits == 0) return 0;
        num += exp;
        p = q;
    }
    while (is_white(uc(*p))) ++p;
    double scale = 1;
    char c = static_cast<char>(fold_upper[uc(*p)]);
    if (c == 'M') {
        scale = 1e6;
        ++p;
    } else if (c == 'B') {
        scale = 1e9;
        ++p;
    } else if (c == 'T' && fold_upper[uc(p[1])] == 'R') {
        scale = 1e12;
        p += 2;
    }
    while (is_white(uc(*p))) ++p;
    if (*p) return 0;
    double v = 0;
    auto r = std::from_chars(num.data(), num.data() + num.size(), v);
    // A range error (beyond double) is no float either.
    if (r.ec != std::errc() || r.ptr != num.data() + num.size()) return 0;
    v *= scale;
    if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) return 0;
    *out = static_cast<float>(v);
    return 1;
}

// ----------------------------------------------------------------- colours ---

namespace {

// Reads one component: blanks, 1..3 digits, blanks. -1 when malformed or above 255.
int read_component(const char*& p) {
    while (*p == ' ' || *p == '\t') ++p;
    int v = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
        if (++digits > 3) return -1;
        v = v * 10 + (*p++ - '0');
    }
    while (*p == ' ' || *p == '\t') ++p;
    if (digits == 0 || v > 255) return -1;
    return v;
}

// Reads "r-g-b" from p; the colour, or -1. *end is after the blue component
// and the blanks behind it.
std::int32_t read_colour_at(const char* p, const char** end) {
    int r = read_component(p);
    if (r < 0 || *p++ != '-') return -1;
    int g = read_component(p);
    if (g < 0 || *p++ != '-') return -1;
    int b = read_component(p);
    if (b < 0) return -1;
    if (end) *end = p;
    return make_colour(r, g, b);
}

} // namespace

std::int32_t read_color_spec(const char* text) {
    if (!text) return colour_none;
    const char* end = nullptr;
    std::int32_t c = read_colour_at(text, &end);
    if (c < 0) return colour_none;
    if (*end && !is_white(uc(end[-1])) && !std::strchr(",|;", *end)) return colour_none;
    return c;
}

std::string color_spec_text(std::int32_t colour) {
    if (static_cast<std::uint32_t>(colour) & 0xFF000000u) return {};
    return std::to_string(colour & 255) + "-" + std::to_string((colour >> 8) & 255) + "-" +
           std::to_string((colour >> 16) & 255);
}

namespace {

int copy_out(const std::string& s, char* out, std::size_t size) {
    if (out && size > 0) {
        std::size_t n = std::min(s.size(), size - 1);
        std::memcpy(out, s.data(), n);
        out[n] = 0;
    }
    return static_cast<int>(s.size());
}

} // namespace

int write_color_spec(std::int32_t colour, int /*flags*/, char* out, std::size_t size) {
    return copy_out(color_spec_text(colour), out, size);
}

// ------------------------------------------------------------------- fonts ---

namespace {

constexpr struct {
    char letter;
    std::uint8_t bit;
} style_letters[] = {
    {'B', font_bold},      {'I', font_italic},   {'U', font_underline},
    {'S', font_strikeout}, {'V', font_vertical},
};

// One field after the face: up to '|', ',', a line end or the end; blanks
// around it dropped.
std::string_view font_field(const char*& p) {
    const char* start = p;
    while (*p && *p != '|' && *p != ',' && *p != '\n' && *p != '\r') ++p;
    std::string_view v(start, static_cast<std::size_t>(p - start));
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}

} // namespace

std::string font_spec_text(const font_spec& font, bool with_face) {
    std::string s;
    if (with_face) {
        std::size_t n = strnlen(font.face, sizeof font.face);
        for (std::size_t i = 0; i < n; ++i) {
            char c = font.face[i];
            s += (c == '|' || uc(c) < 32) ? ' ' : c;
        }
    }
    s += '|';
    // A size the reader would refuse (0, above 127) is left out, so the font
    // still reads back, with the reader's default size.
    if (font.size >= 1 && font.size <= 127) s += std::to_string(font.size);
    s += '|';
    for (const auto& l : style_letters)
        if (font.style & l.bit) s += l.letter;
    s += '|';
    s += color_spec_text(static_cast<std::int32_t>(font.colour));
    return s;
}

int write_font_spec(const font_spec* font, int /*flags*/, char* out, std::size_t size,
                    int with_face) {
    if (!font) return copy_out({}, out, size);
    return copy_out(font_spec_text(*font, with_face != 0), out, size);
}

int read_font_spec(font_spec* out, const char* text, const font_spec* deflt, const char** end) {
    if (!out || !text) return 0;
    font_spec f{};
    if (deflt) f = *deflt;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p || *p == '\n' || *p == '\r') return 0;

    // Face.
    const char* q = p;
    while (*q && *q != '|' && *q != '\n' && *q != '\r') ++q;
    std::string_view face(p, static_cast<std::size_t>(q - p));
    while (!face.empty() && (face.back() == ' ' || face.back() == '\t')) face.remove_suffix(1);
    if (!face.empty()) {
        std::memset(f.face, 0, sizeof f.face);
        std::memcpy(f.face, face.data(), std::min(face.size(), sizeof f.face - 1));
    }
    p = q;

    // Size.
    if (*p == '|') {
        ++p;
        std::string_view size = font_field(p);
        if (!size.empty()) {
            int v = 0;
            auto r = std::from_chars(size.data(), size.data() + size.size(), v);
            if (r.ec != std::errc() || r.ptr != size.data() + size.size() || v < 0 || v > 127)
                return 0;
            if (v > 0) f.size = static_cast<std::uint8_t>(v); // 0: the default's
        }
        // Style.
        if (*p == '|') {
            ++p;
            std::uint8_t style = 0;
            for (char c : font_field(p)) {
                char u = static_cast<char>(fold_upper[uc(c)]);
                auto it = std::find_if(std::begin(style_letters), std::end(style_letters),
                                       [u](const auto& l) { return l.letter == u; });
                if (it == std::end(style_letters)) return 0;
                style |= it->bit;
            }
            f.style = style;
            // Colour.
            if (*p == '|') {
                ++p;
                std::string_view colour = font_field(p);
                if (!colour.empty()) {
                    std::string c(colour);
                    const char* ce = nullptr;
                    std::int32_t v = read_colour_at(c.c_str(), &ce);
                    if (v < 0 || *ce) return 0;
                    f.colour = static_cast<std::uint32_t>(v);
                }
            }
        }
    }
    if (end) *end = p;
    *out = f;
    return 1;
}

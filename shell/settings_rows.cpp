// The settings rows (see settings_rows.h).
#include "shell/settings_rows.h"

#include "foundation/ini.h"
#include "foundation/report.h"
#include "foundation/types.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

opt_block opts;

namespace {

void set_font(font_spec& f, const char* face, int points) {
    f = font_spec{};
    f.colour = 0xFFFFFFFFu;
    f.size = static_cast<std::uint8_t>(points);
    std::snprintf(f.face, sizeof f.face, "%s", face);
}

// Whether a field's text ends at p: blanks, then its comma or the end.
bool field_ends(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return *p == ',' || *p == 0;
}

// A whole number at p (blanks first), as "%d" would take it; false when
// there is none or it does not fit 32 bits. whole: nothing else follows it
// in its field.
bool scan_long(const char* p, long* out, bool* whole) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *out = v;
    *whole = field_ends(end);
    return true;
}

bool scan_float(const char* p, float* out, bool* whole) {
    while (*p == ' ' || *p == '\t') ++p;
    if (p[0] == 'N' && p[1] == 'A') {
        *out = NA;
        *whole = field_ends(p + 2);
        return true;
    }
    char* end = nullptr;
    float v = std::strtof(p, &end);
    if (end == p || !std::isfinite(v)) return false;
    *out = v;
    *whole = field_ends(end);
    return true;
}

// The text of a string field, cut to `width` characters (0: any length).
std::string take_text(const char* p, std::size_t width) {
    std::string s(p);
    if (width && s.size() > width) s.resize(width);
    return s;
}

// Scans one field at p into *field; *scanned: the field read whole. Returns
// where the search for the comma that ends the field starts: past a font's
// text (a face may hold commas), else p.
const char* read_field(int type, void* field, const char* p, bool* scanned) {
    long l = 0;
    bool& ok = *scanned;
    ok = false;
    switch (type) {
    case rt_int:
    case rt_long:
        if (scan_long(p, &l, &ok))
            *static_cast<std::int32_t*>(field) = static_cast<std::int32_t>(l);
        break;
    case rt_byte:
        // Written signed; either reading of the byte is taken.
        if (scan_long(p, &l, &ok) && l >= -128 && l <= 255)
            *static_cast<std::uint8_t*>(field) = static_cast<std::uint8_t>(l);
        else
            ok = false;
        break;
    case rt_float: {
        float f = 0;
        if (scan_float(p, &f, &ok)) *static_cast<float*>(field) = f;
        break;
    }
    case rt_str31: {
        std::string s = take_text(p, 31);
        std::memcpy(field, s.c_str(), s.size() + 1);
        ok = true;
        break;
    }
    case rt_text:
        if (*p) *static_cast<std::string*>(field) = take_text(p, 0);
        ok = true;
        break;
    case rt_app_text:
        *static_cast<std::string*>(field) = take_text(p, 0);
        ok = true;
        break;
    case rt_font: {
        font_spec f = *static_cast<font_spec*>(field);
        const char* end = nullptr;
        if (read_font_spec(&f, p, static_cast<font_spec*>(field), &end)) {
            *static_cast<font_spec*>(field) = f;
            ok = true;
            if (end) return end;
        }
        break;
    }
    default:
        break;
    }
    return p;
}

bool is_string_type(int type) {
    return type == rt_str31 || type == rt_text || type == rt_app_text;
}

void append_field(std::string& out, int type, const void* field) {
    char buf[64];
    switch (type) {
    case rt_int:
    case rt_long:
        std::snprintf(buf, sizeof buf, "%d,", *static_cast<const std::int32_t*>(field));
        out += buf;
        break;
    case rt_byte:
        // Written signed, as the byte is read back through a whole number.
        std::snprintf(
            buf, sizeof buf, "%d,",
            static_cast<int>(static_cast<std::int8_t>(*static_cast<const std::uint8_t*>(field))));
        out += buf;
        break;
    case rt_float: {
        float f = *static_cast<const float*>(field);
        if (is_na(f)) {
            out += "NA,";
        } else {
            std::snprintf(buf, sizeof buf, "%g,", static_cast<double>(f));
            out += buf;
        }
        break;
    }
    case rt_str31:
        out += static_cast<const char*>(field);
        break;
    case rt_text:
    case rt_app_text:
        out += *static_cast<const std::string*>(field);
        break;
    case rt_font:
        out += font_spec_text(*static_cast<const font_spec*>(field));
        out += ',';
        break;
    default:
        break;
    }
}

} // namespace

opt_block::opt_block() {
    default_option_fonts(*this);
    for (std::uint32_t& c : custom_colours) c = custom_colour_unset;
}

void default_option_fonts(opt_block& o) {
    set_font(o.fonts[of_compressed], "Small Fonts", 7);
    for (int i : {of_normal, of_equation, of_bottom_menu}) set_font(o.fonts[i], "MS Sans Serif", 9);
}

const settings_row* settings_rows(opt_block& o, std::uint8_t& window_flags, int* count) {
    // Rebuilt on each call: the rows point into the block they were asked for.
    static settings_row rows[13];
    const settings_row made[13] = {
        {rt_byte, "print_options", {&o.print_date, nullptr, &o.orientation, &o.info_corner}},
        {rt_byte, "size_options", {nullptr, nullptr, &o.sizing, &o.sketch_positioning}},
        {rt_byte, "XlsOptions", {&o.r1c1_row, &o.r1c1_col, nullptr, &o.r1c1_star}},
        {rt_float, "print_dimensions", {&o.print_width, &o.print_height, nullptr, nullptr}},
        {rt_text, "print_text_hndl", {&o.print_comment, nullptr, nullptr, nullptr}},
        {rt_text, "printer_name", {&o.printer_name, nullptr, nullptr, nullptr}},
        {rt_int, "ErrDim", {&o.err_dim[0], &o.err_dim[1], &o.err_dim[2], &o.err_dim[3]}},
        {rt_int, "SelDim", {&o.sel_dim[0], &o.sel_dim[1], &o.sel_dim[2], &o.sel_dim[3]}},
        {rt_int, "VarDim", {&o.var_dim[0], &o.var_dim[1], &o.var_dim[2], &o.var_dim[3]}},
        {rt_font, "CDialogFont", {&o.fonts[0], &o.fonts[1], &o.fonts[2], &o.fonts[3]}},
        {rt_str31, "DefaultVariableFace", {o.tool_face, nullptr, nullptr, nullptr}},
        {rt_byte,
         "GraphicsOpt",
         {&o.colour_modes[0], &o.colour_modes[1], &o.colour_modes[2], &o.refresh_sketches}},
        {rt_byte, "ScreenOpt2", {&window_flags, nullptr, nullptr, nullptr}},
    };
    std::memcpy(static_cast<void*>(rows), made, sizeof rows);
    if (count) *count = 13;
    return rows;
}

settings_row extra_settings_row(opt_block& o) {
    return {rt_app_text, "FragmentAddIn", {&o.addin_name, nullptr, nullptr, nullptr}};
}

std::string settings_row_value(const settings_row& row) {
    std::string out;
    for (void* f : row.fields)
        if (f) append_field(out, row.type, f);
    return out;
}

bool read_settings_row(const settings_row& row, const char* value) {
    const char* p = value;
    bool whole = true;
    int left = 0;
    for (void* f : row.fields) left += f ? 1 : 0;
    for (void* f : row.fields) {
        if (!f) continue;
        --left;
        bool scanned = false;
        const char* after = read_field(row.type, f, p, &scanned);
        whole = whole && scanned;
        if (is_string_type(row.type)) return whole;
        const char* comma = std::strchr(after, ',');
        // A row that ends before its last field was cut short.
        if (!comma) return whole && left == 0;
        p = comma + 1;
    }
    return whole;
}

namespace {
// The last value reported of each key, by hash.
std::map<std::string, std::size_t>& reported_settings() {
    static std::map<std::string, std::size_t> reported;
    return reported;
}
} // namespace

void forget_reported_settings() {
    reported_settings().clear();
}

void report_unread_setting(const char* key, const char* value) {
    if (!key) return;
    std::string v = value ? value : "";
    // Once per key and value: the settings are read more than once at start-up.
    std::map<std::string, std::size_t>& reported = reported_settings();
    std::size_t h = std::hash<std::string>{}(v);
    auto it = reported.find(key);
    if (it != reported.end() && it->second == h) return;
    reported[key] = h;
    if (v.size() > 80) v = v.substr(0, 80) + "...";
    for (char& c : v)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    report(3, "The setting %s does not read whole (\"%s\"); what does not read keeps its value",
           key, v.c_str());
}

void read_settings(opt_block& o, std::uint8_t& window_flags) {
    int n = 0;
    const settings_row* rows = settings_rows(o, window_flags, &n);
    settings_row extra = extra_settings_row(o);
    for (int i = 0; i <= n; ++i) {
        const settings_row& row = i < n ? rows[i] : extra;
        const char* v = ini_value(row.key);
        if (!v) continue;
        // An empty text is a text; no numbers are a row cut short.
        bool read = *v ? read_settings_row(row, v) : is_string_type(row.type);
        if (!read) report_unread_setting(row.key, v);
    }
}

void put_settings_rows(opt_block& o, std::uint8_t window_flags) {
    int n = 0;
    const settings_row* rows = settings_rows(o, window_flags, &n);
    for (int i = 0; i < n; ++i) ini_set(rows[i].key, settings_row_value(rows[i]).c_str());
}

std::string custom_colour_key(int i) {
    char key[24];
    std::snprintf(key, sizeof key, "CustomColor%2d", i);
    return key;
}

void read_custom_colours(opt_block& o) {
    for (int i = 0; i < 16; ++i) {
        const char* v = ini_value(custom_colour_key(i).c_str());
        if (!v) continue;
        std::int32_t c = read_color_spec(v);
        if (c != colour_none)
            o.custom_colours[i] = static_cast<std::uint32_t>(c);
        else
            report_unread_setting(custom_colour_key(i).c_str(), v);
    }
}

void put_custom_colours(const opt_block& o) {
    for (int i = 0; i < 16; ++i)
        ini_set(custom_colour_key(i).c_str(),
                color_spec_text(static_cast<std::int32_t>(o.custom_colours[i])).c_str());
}

bool parse_window_place(const char* value, window_place* out) {
    if (!value) return false;
    // "v-x=X,y=Y,w=W,h=H": each number after its own leading text.
    static const char* const leads[5] = {"", "-x=", ",y=", ",w=", ",h="};
    int* fields[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    window_place p;
    fields[0] = &p.visible;
    fields[1] = &p.x;
    fields[2] = &p.y;
    fields[3] = &p.w;
    fields[4] = &p.h;
    const char* s = value;
    for (int i = 0; i < 5; ++i) {
        std::size_t n = std::strlen(leads[i]);
        if (std::strncmp(s, leads[i], n) != 0) return false;
        s += n;
        long v = 0;
        char* end = nullptr;
        errno = 0;
        v = std::strtol(s, &end, 10);
        if (end == s || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
        *fields[i] = static_cast<int>(v);
        s = end;
    }
    *out = p;
    return true;
}

std::string window_place_text(const window_place& p) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d-x=%d,y=%d,w=%d,h=%d", p.visible, p.x, p.y, p.w, p.h);
    return buf;
}

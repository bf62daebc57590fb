// Spreadsheet files into a plain workbook (see workbook.h).
#include "datalinks/workbook.h"
#include "datalinks/xls_values.h"
#include "datalinks/zip_parts.h"
#include "platform/gdi.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include <freexl.h>
#include <orcus/exception.hpp>
#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/import_interface.hpp>

namespace sheets {

std::recursive_mutex& reader_fork_gate() {
    static std::recursive_mutex gate;
    return gate;
}

namespace {

// The upper-case form of one code point, for the scripts sheet and range
// names are written in (Latin, Greek, Cyrillic); others stay as they are.
char32_t upper_code_point(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c < 0x80) return c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c & ~char32_t{1};
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return c - 0x20;
    if (c == 0x3C2) return 0x3A3; // final sigma
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

// Sheet and range names compare without regard to case, as the spreadsheet
// programs compare them: "DONNÉES" is "Données". UTF-8 in, UTF-8 out; bytes
// that are not UTF-8 pass unchanged.
std::string upper(std::string_view s) {
    std::string u;
    u.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        auto cont = [&](std::size_t k) {
            return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        };
        if (b0 >= 0xC2 && b0 < 0xE0 && cont(1)) {
            const char32_t c = ((b0 & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            put_utf8(u, upper_code_point(c));
            i += 2;
        } else if (b0 < 0x80) {
            u.push_back(static_cast<char>(upper_code_point(b0)));
            ++i;
        } else {
            u.push_back(s[i++]); // three- and four-byte forms and stray bytes as they are
        }
    }
    return u;
}

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// A text that is a whole number ("1.5", " -2e3 ") as a number.
bool text_number(std::string_view s, double* out) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    if (s.empty() || s.size() > 64) return false;
    char buf[72];
    std::memcpy(buf, s.data(), s.size());
    buf[s.size()] = 0;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(buf, &end);
    if (end != buf + s.size() || errno == ERANGE || !std::isfinite(v)) return false;
    // strtod reads "nan", "inf" and hex forms that no spreadsheet writes as numbers.
    for (char ch : s)
        if (std::isalpha(static_cast<unsigned char>(ch)) && ch != 'e' && ch != 'E') return false;
    *out = v;
    return true;
}

// Error cells reach the import factory as texts that start with this mark
// (a private-use character no worksheet text begins with), and become error
// cells once the file is read: the library itself drops them.
constexpr std::string_view kErrorMark = "\xEF\xA3\xBF";

// What a formula cell without a stored result holds (openpyxl and other
// writers that do not calculate store the formula alone).
constexpr std::string_view kNoResult =
    "a formula with no stored result (the program that wrote the file did not calculate it: "
    "open and save it in a spreadsheet program)";

// ---- liborcus: an import factory over our workbook -------------------------

namespace oi = orcus::spreadsheet::iface;
namespace os = orcus::spreadsheet;

// A failure inside a callback: orcus passes exceptions through.
struct limit_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct pending_name {
    int scope_sheet; // -1: the workbook's
    std::string name, expression;
};

class factory;

class shared_strings final : public oi::import_shared_strings {
public:
    explicit shared_strings(workbook& b) : book_(b) {}
    size_t append(std::string_view s) override { return book_.add_text(s); }
    size_t add(std::string_view s) override { return book_.add_text(s); }
    void set_segment_font(size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(os::color_elem_t, os::color_elem_t, os::color_elem_t,
                                os::color_elem_t) override {}
    void append_segment(std::string_view s) override {
        if (segments_.size() + s.size() > (std::size_t{64} << 20))
            throw limit_error("a text too long");
        segments_.append(s);
    }
    size_t commit_segments() override {
        size_t i = book_.add_text(segments_);
        segments_.clear();
        return i;
    }

private:
    workbook& book_;
    std::string segments_;
};

class named_expression final : public oi::import_named_expression {
public:
    named_expression(std::vector<pending_name>& out, int scope) : out_(out), scope_(scope) {}
    void set_base_position(const os::src_address_t&) override {}
    void set_named_expression(std::string_view name, std::string_view expression) override {
        name_ = name;
        expr_ = expression;
    }
    void set_named_range(std::string_view name, std::string_view range) override {
        name_ = name;
        expr_ = range;
    }
    void commit() override {
        if (!name_.empty() && out_.size() < 100000) out_.push_back({scope_, name_, expr_});
        name_.clear();
        expr_.clear();
    }

private:
    std::vector<pending_name>& out_;
    int scope_;
    std::string name_, expr_;
};

class sheet_importer;

class formula final : public oi::import_formula {
public:
    formula(workbook& b, int s) : book_(b), sheet_(s) {}
    void set_position(os::row_t row, os::col_t col) override {
        row_ = row;
        col_ = col;
        result_ = cell{};
        has_result_ = false;
    }
    void set_formula(os::formula_grammar_t, std::string_view) override {}
    void set_shared_formula_index(size_t) override {}
    void set_result_string(std::string_view value) override {
        has_result_ = true;
        result_.kind = cell_kind::text;
        result_.text = book_.add_text(value);
    }
    void set_result_value(double value) override {
        has_result_ = true;
        result_.kind = cell_kind::number;
        result_.number = value;
    }
    void set_result_bool(bool value) override {
        has_result_ = true;
        result_.kind = cell_kind::boolean;
        result_.number = value ? 1 : 0;
    }
    void set_result_empty() override { result_ = cell{}; }
    void commit() override {
        std::string why;
        // A formula without its result is said so where it is read, not
        // taken for an empty cell.
        if (!has_result_) {
            result_.kind = cell_kind::text;
            result_.text = book_.add_text(std::string(kErrorMark) + std::string(kNoResult));
        }
        if (result_.kind != cell_kind::empty && !book_.put(sheet_, row_, col_, result_, &why))
            throw limit_error(why);
    }

private:
    workbook& book_;
    int sheet_;
    std::int64_t row_ = 0, col_ = 0;
    cell result_;
    bool has_result_ = false;
};

// Fonts, fills, borders and number formats: nothing the data needs, but the
// filters call them unasked.
class styles final : public oi::import_styles {
public:
    void set_font_count(size_t) override {}
    void set_font_bold(bool) override {}
    void set_font_italic(bool) override {}
    void set_font_name(std::string_view) override {}
    void set_font_size(double) override {}
    void set_font_underline(os::underline_t) override {}
    void set_font_underline_width(os::underline_width_t) override {}
    void set_font_underline_mode(os::underline_mode_t) override {}
    void set_font_underline_type(os::underline_type_t) override {}
    void set_font_underline_color(os::color_elem_t, os::color_elem_t, os::color_elem_t,
                                  os::color_elem_t) override {}
    void set_font_color(os::color_elem_t, os::color_elem_t, os::color_elem_t,
                        os::color_elem_t) override {}
    void set_strikethrough_style(os::strikethrough_style_t) override {}
    void set_strikethrough_type(os::strikethrough_type_t) override {}
    void set_strikethrough_width(os::strikethrough_width_t) override {}
    void set_strikethrough_text(os::strikethrough_text_t) override {}
    size_t commit_font() override { return 0; }
    void set_fill_count(size_t) override {}
    void set_fill_pattern_type(os::fill_pattern_t) override {}
    void set_fill_fg_color(os::color_elem_t, os::color_elem_t, os::color_elem_t,
                           os::color_elem_t) override {}
    void set_fill_bg_color(os::color_elem_t, os::color_elem_t, os::color_elem_t,
                           os::color_elem_t) override {}
    size_t commit_fill() override { return 0; }
    void set_border_count(size_t) override {}
    void set_border_style(os::border_direction_t, os::border_style_t) override {}
    void set_border_color(os::border_direction_t, os::color_elem_t, os::color_elem_t,
                          os::color_elem_t, os::color_elem_t) override {}
    void set_border_width(os::border_direction_t, double, orcus::length_unit_t) override {}
    size_t commit_border() override { return 0; }
    void set_cell_hidden(bool) override {}
    void set_cell_locked(bool) override {}
    void set_cell_print_content(bool) override {}
    void set_cell_formula_hidden(bool) override {}
    size_t commit_cell_protection() override { return 0; }
    void set_number_format_count(size_t) override {}
    void set_number_format_identifier(size_t) override {}
    void set_number_format_code(std::string_view) override {}
    size_t commit_number_format() override { return 0; }
    void set_cell_xf_count(size_t) override {}
    void set_cell_style_xf_count(size_t) override {}
    void set_dxf_count(size_t) override {}
    void set_xf_font(size_t) override {}
    void set_xf_fill(size_t) override {}
    void set_xf_border(size_t) override {}
    void set_xf_protection(size_t) override {}
    void set_xf_number_format(size_t) override {}
    void set_xf_style_xf(size_t) override {}
    void set_xf_apply_alignment(bool) override {}
    void set_xf_horizontal_alignment(os::hor_alignment_t) override {}
    void set_xf_vertical_alignment(os::ver_alignment_t) override {}
    size_t commit_cell_xf() override { return 0; }
    size_t commit_cell_style_xf() override { return 0; }
    size_t commit_dxf() override { return 0; }
    void set_cell_style_count(size_t) override {}
    void set_cell_style_name(std::string_view) override {}
    void set_cell_style_xf(size_t) override {}
    void set_cell_style_builtin(size_t) override {}
    void set_cell_style_parent_name(std::string_view) override {}
    size_t commit_cell_style() override { return 0; }
};

// Widths, heights and merges: nothing the data needs.
class sheet_properties final : public oi::import_sheet_properties {
public:
    void set_column_width(os::col_t, double, orcus::length_unit_t) override {}
    void set_column_hidden(os::col_t, bool) override {}
    void set_row_height(os::row_t, double, orcus::length_unit_t) override {}
    void set_row_hidden(os::row_t, bool) override {}
    void set_merge_cell_range(const os::range_t&) override {}
};

class sheet_importer final : public oi::import_sheet {
public:
    oi::import_sheet_properties* get_sheet_properties() override { return &properties_; }
    sheet_importer(workbook& b, int index, std::vector<pending_name>& names, double origin)
        : book_(b), index_(index), names_(names, index), formula_(b, index), origin_(origin) {}
    oi::import_named_expression* get_named_expression() override { return &names_; }
    oi::import_formula* get_formula() override { return &formula_; }
    void set_auto(os::row_t row, os::col_t col, std::string_view s) override {
        cell c;
        if (text_number(s, &c.number)) {
            c.kind = cell_kind::number;
        } else if (!s.empty()) {
            c.kind = cell_kind::text;
            c.text = book_.add_text(s);
        }
        store(row, col, c);
    }
    void set_string(os::row_t row, os::col_t col, os::string_id_t sindex) override {
        if (sindex >= book_.texts.size()) throw limit_error("a shared-string index out of range");
        cell c;
        c.kind = cell_kind::text;
        c.text = static_cast<std::uint32_t>(sindex);
        store(row, col, c);
    }
    void set_value(os::row_t row, os::col_t col, double value) override {
        cell c;
        c.kind = cell_kind::number;
        c.number = value;
        store(row, col, c);
    }
    void set_bool(os::row_t row, os::col_t col, bool value) override {
        cell c;
        c.kind = cell_kind::boolean;
        c.number = value ? 1 : 0;
        store(row, col, c);
    }
    void set_date_time(os::row_t row, os::col_t col, int year, int month, int day, int hour,
                       int minute, double second) override {
        if (month < 1 || month > 12 || day < 1 || day > 31 || year < -100000 || year > 100000)
            throw limit_error("a date out of range");
        cell c;
        c.kind = cell_kind::number;
        c.number = static_cast<double>(days_from_civil(year, static_cast<unsigned>(month),
                                                       static_cast<unsigned>(day))) -
                   origin_ + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
        store(row, col, c);
    }
    void set_format(os::row_t, os::col_t, size_t) override {}
    void set_format(os::row_t, os::col_t, os::row_t, os::col_t, size_t) override {}
    void fill_down_cells(os::row_t src_row, os::col_t src_col, os::row_t range_size) override {
        const cell* c = book_.sheets[static_cast<std::size_t>(index_)].at(src_row, src_col);
        if (!c || range_size <= 0) return;
        const cell copy = *c;
        for (os::row_t r = 1; r <= range_size; ++r)
            store(static_cast<std::int64_t>(src_row) + r, src_col, copy);
    }
    os::range_size_t get_sheet_size() const override {
        return {static_cast<os::row_t>(kMaxRows), static_cast<os::col_t>(kMaxColumns)};
    }

private:
    void store(std::int64_t row, std::int64_t col, const cell& c) {
        std::string why;
        if (!book_.put(index_, row, col, c, &why)) throw limit_error(why);
    }
    workbook& book_;
    int index_;
    named_expression names_;
    formula formula_;
    sheet_properties properties_;
    double origin_;
};

class global_settings final : public oi::import_global_settings {
public:
    explicit global_settings(double& origin) : origin_(origin) {}
    void set_origin_date(int year, int month, int day) override {
        if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && year > 1000 && year < 3000)
            origin_ = static_cast<double>(
                days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)));
    }
    void set_default_formula_grammar(os::formula_grammar_t g) override { grammar_ = g; }
    os::formula_grammar_t get_default_formula_grammar() const override { return grammar_; }
    void set_character_set(orcus::character_set_t) override {}

private:
    double& origin_;
    os::formula_grammar_t grammar_ = os::formula_grammar_t::unknown;
};

// Cell references in the files' own terms ("B3", "Sheet1!A1:C4"), as the
// filters ask to place cells and ranges.
class resolver final : public oi::import_reference_resolver {
public:
    explicit resolver(workbook& b) : book_(b) {}
    os::src_address_t resolve_address(std::string_view address) override {
        os::src_range_t r = resolve_range(address);
        return r.first;
    }
    os::src_range_t resolve_range(std::string_view range) override {
        std::string sheet_name;
        named_range r;
        if (!parse_range_ref(range, &sheet_name, &r))
            throw orcus::invalid_arg_error("a cell reference not understood");
        const int s = sheet_name.empty() ? 0 : book_.find_sheet(sheet_name);
        os::src_range_t out;
        out.first = {s, static_cast<os::row_t>(r.row0), static_cast<os::col_t>(r.col0)};
        out.last = {s, static_cast<os::row_t>(r.row1), static_cast<os::col_t>(r.col1)};
        return out;
    }

private:
    workbook& book_;
};

class factory final : public oi::import_factory {
public:
    explicit factory(workbook& b)
        : book_(b), strings_(b), globals_(origin_), names_(pending_, -1), resolver_(b) {}
    oi::import_reference_resolver* get_reference_resolver(os::formula_ref_context_t) override {
        return &resolver_;
    }
    oi::import_global_settings* get_global_settings() override { return &globals_; }
    oi::import_shared_strings* get_shared_strings() override { return &strings_; }
    oi::import_styles* get_styles() override { return &styles_; }
    oi::import_named_expression* get_named_expression() override { return &names_; }
    oi::import_sheet* append_sheet(os::sheet_t sheet_index, std::string_view name) override {
        if (sheet_index < 0 || static_cast<std::size_t>(sheet_index) != book_.sheets.size() ||
            book_.sheets.size() >= 10000)
            return nullptr;
        book_.sheets.push_back({std::string(name), {}});
        importers_.push_back(
            std::make_unique<sheet_importer>(book_, sheet_index, pending_, origin_));
        return importers_.back().get();
    }
    oi::import_sheet* get_sheet(std::string_view name) override {
        int i = book_.find_sheet(name);
        return i < 0 ? nullptr : importers_[static_cast<std::size_t>(i)].get();
    }
    oi::import_sheet* get_sheet(os::sheet_t sheet_index) override {
        if (sheet_index < 0 || static_cast<std::size_t>(sheet_index) >= importers_.size())
            return nullptr;
        return importers_[static_cast<std::size_t>(sheet_index)].get();
    }
    void finalize() override {
        for (const pending_name& p : pending_) {
            std::string sheet_name;
            named_range r;
            if (!parse_range_ref(p.expression, &sheet_name, &r)) continue; // not a range: unused
            int s = sheet_name.empty() ? p.scope_sheet : book_.find_sheet(sheet_name);
            if (s < 0) continue;
            r.sheet = s;
            r.scope = p.scope_sheet;
            book_.add_name(p.name, r);
        }
    }

private:
    workbook& book_;
    double origin_ = static_cast<double>(days_from_civil(1899, 12, 30));
    shared_strings strings_;
    global_settings globals_;
    std::vector<pending_name> pending_;
    named_expression names_;
    resolver resolver_;
    styles styles_;
    std::vector<std::unique_ptr<sheet_importer>> importers_;
};

// ---- mending what other programs write before liborcus reads it ----------

bool ends_with_element(std::string_view xml, std::string_view element) {
    while (!xml.empty() && std::isspace(static_cast<unsigned char>(xml.back())))
        xml.remove_suffix(1);
    if (xml.size() < element.size() + 3 || !xml.ends_with(std::string(element) + ">")) return false;
    const char before = xml[xml.size() - element.size() - 2];
    return before == '/' || before == ':';
}

// A relationship target written as an absolute part name ("/xl/worksheets/
// sheet1.xml", as openpyxl writes it) made relative to the folder of the part
// the relationships belong to, the only form the import library resolves.
void relative_targets(zip_part& rels) {
    // "xl/_rels/workbook.xml.rels" belongs to "xl/workbook.xml": folder "xl/".
    std::string folder = rels.name;
    const std::size_t r = folder.rfind("_rels/");
    folder = r == std::string::npos ? std::string() : folder.substr(0, r);
    std::string& x = rels.data;
    for (std::size_t at = 0; (at = x.find("Target=\"/", at)) != std::string::npos;) {
        const std::size_t start = at + 8, end = x.find('"', start);
        if (end == std::string::npos) break;
        std::string target = x.substr(start + 1, end - start - 1);
        std::string from = folder;
        std::string up;
        while (!from.empty() && target.rfind(from, 0) != 0) {
            from.pop_back();
            const std::size_t slash = from.rfind('/');
            from = slash == std::string::npos ? std::string() : from.substr(0, slash + 1);
            up += "../";
        }
        x.replace(start, end - start, up + target.substr(from.size()));
        at = start;
    }
}

// The texts of an inline-string cell's <is> element, as escaped XML.
std::string inline_text(std::string_view is) {
    std::string out;
    for (std::size_t at = 0; (at = is.find("<t", at)) != std::string_view::npos;) {
        const std::size_t close = is.find('>', at);
        if (close == std::string_view::npos) break;
        if (is[at + 2] != '>' && is[at + 2] != ' ') { // <tab>, <tc>...: not a text
            at = close;
            continue;
        }
        if (is[close - 1] == '/') { // <t/>
            at = close;
            continue;
        }
        const std::size_t end = is.find("</t>", close);
        if (end == std::string_view::npos) break;
        out += is.substr(close + 1, end - close - 1);
        at = end + 4;
    }
    return out;
}

// A number as the file writes it that no double holds ("1e999"), which the
// import library would read as its leading digits.
bool overflows(std::string_view text) {
    std::string t(text.substr(0, 64));
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(t.c_str(), &end);
    return end != t.c_str() && ((errno == ERANGE && std::fabs(v) > 1) || !std::isfinite(v));
}

// A number as the files write it: a sign, digits with one point, an
// exponent; nothing else ("0x10", "1,5", "inf" are none, and the import
// library would read their leading digits).
bool number_text(std::string_view t) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        return i - from;
    };
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    std::size_t n = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        n += digits();
    }
    if (n == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
        if (digits() == 0) return false;
    }
    return i == t.size();
}

// The error text of a value that is no number.
std::string not_a_number(std::string_view value) {
    std::string shown(value.substr(0, 40));
    for (char& c : shown)
        if (c == '<' || c == '&' || static_cast<unsigned char>(c) < 0x20) c = '?';
    return std::string(kErrorMark) + "the value \"" + shown + "\", which is no number";
}

std::string attribute(std::string_view head, std::string_view name) {
    const std::string key = " " + std::string(name) + "=\"";
    const std::size_t at = head.find(key);
    if (at == std::string_view::npos) return {};
    const std::size_t start = at + key.size(), end = head.find('"', start);
    return end == std::string_view::npos ? std::string()
                                         : std::string(head.substr(start, end - start));
}

// Cells the import library misreads, made cells it reads right: inline
// strings (t="inlineStr" with <is>, as openpyxl and others write them), which
// it drops, become shared strings; error cells and numbers beyond a double
// ("1e999", which it reads as 1) become marked texts, read as errors.
// Numbers the import library reads a unit or so off in the last place (it
// scales by powers of ten itself: "4e38" is not the double 4e38), by their
// sheet part and cell, to be set again from the file's text.
struct exact_number {
    std::string part;
    std::int64_t row, col;
    double value;
};

void mend_cells(zip_part& sheet_part, std::string& sst_items, std::size_t* count,
                std::vector<exact_number>* exact) {
    std::string& x = sheet_part.data;
    for (std::size_t open = 0; (open = x.find("<c", open)) != std::string::npos;) {
        const std::size_t head_end = x.find('>', open);
        if (head_end == std::string::npos) break;
        const char after = x[open + 2];
        if ((after != ' ' && after != '>' && after != '/') || x[head_end - 1] == '/') {
            open = head_end;
            continue;
        }
        const std::size_t cell_end = x.find("</c>", head_end);
        if (cell_end == std::string::npos) break;
        std::string head = x.substr(open, head_end - open);
        const std::string type = attribute(head, "t");
        const std::string_view inner(x.data() + head_end + 1, cell_end - head_end - 1);
        std::string text;
        bool mend = false;
        if (type == "inlineStr") {
            text = inline_text(inner);
            mend = true;
        } else if (type.empty() || type == "n" || type == "e") {
            const std::size_t v = inner.find("<v>"), v_end = inner.find("</v>");
            if (v != std::string_view::npos && v_end != std::string_view::npos && v_end > v) {
                const std::string_view value = inner.substr(v + 3, v_end - v - 3);
                if (type == "e") {
                    text = std::string(kErrorMark) + std::string(value);
                    mend = true;
                } else if (value.empty() && inner.find("<f") != std::string_view::npos) {
                    text = std::string(kErrorMark) + std::string(kNoResult);
                    mend = true;
                } else if (!value.empty() && !number_text(value)) {
                    text = not_a_number(value);
                    mend = true;
                } else if (overflows(value)) {
                    text = std::string(kErrorMark) + "#NUM!";
                    mend = true;
                } else if (value.find_first_of("eE") != std::string_view::npos ||
                           value.size() > 15) {
                    std::int64_t row = 0, col = 0;
                    const std::string v_text(value.substr(0, 64));
                    if (parse_cell_ref(attribute(head, "r"), &row, &col))
                        exact->push_back({sheet_part.name, row - 1, col - 1,
                                          std::strtod(v_text.c_str(), nullptr)});
                }
            }
        }
        if (!mend) {
            open = cell_end + 4;
            continue;
        }
        sst_items += "<si><t xml:space=\"preserve\">" + text + "</t></si>";
        const std::size_t t_at = head.find(" t=\"");
        if (t_at != std::string::npos) head.erase(t_at, head.find('"', t_at + 4) + 1 - t_at);
        const std::string cell = head + " t=\"s\"><v>" + std::to_string((*count)++) + "</v></c>";
        x.replace(open, cell_end + 4 - open, cell);
        open += cell.size();
    }
}

// Numbers of an .ods that no double holds become marked texts (see above).
void mend_ods_cells(zip_part& content) {
    std::string& x = content.data;
    const std::string key = "office:value=\"";
    for (std::size_t at = 0; (at = x.find(key, at)) != std::string::npos;) {
        const std::size_t start = at + key.size(), end = x.find('"', start);
        if (end == std::string::npos) break;
        const std::size_t open = x.rfind("<table:table-cell", at);
        const std::size_t head_end = x.find('>', end);
        const std::string_view value = std::string_view(x).substr(start, end - start);
        const bool bad_number = !number_text(value);
        if ((!overflows(value) && !bad_number) || open == std::string::npos ||
            head_end == std::string::npos) {
            at = end;
            continue;
        }
        const std::string error =
            bad_number ? not_a_number(value) : std::string(kErrorMark) + "#NUM!";
        std::size_t close = head_end + 1;
        if (x[head_end - 1] != '/') {
            close = x.find("</table:table-cell>", head_end);
            if (close == std::string::npos) break;
            close += 19;
        }
        std::string head = x.substr(open, head_end - open);
        if (head.ends_with("/")) head.pop_back();
        for (const char* drop :
             {" office:value-type=\"", " calcext:value-type=\"", " office:value=\""}) {
            const std::size_t a = head.find(drop);
            if (a != std::string::npos)
                head.erase(a, head.find('"', a + std::strlen(drop)) + 1 - a);
        }
        const std::string cell = head + " office:value-type=\"string\"><text:p>" + error +
                                 "</text:p></table:table-cell>";
        x.replace(open, close - open, cell);
        at = open + cell.size();
    }
}

// An ISO 8601 duration as an .ods writes a time cell ("PT36H00M00S",
// "-PT1H30M", "P1DT12H") in days; false when it is none.
bool duration_days(std::string_view d, double* days) {
    bool negative = false;
    if (!d.empty() && d.front() == '-') {
        negative = true;
        d.remove_prefix(1);
    }
    if (d.empty() || d.front() != 'P') return false;
    d.remove_prefix(1);
    double seconds = 0;
    bool in_time = false, any = false;
    while (!d.empty()) {
        if (d.front() == 'T') {
            if (in_time) return false;
            in_time = true;
            d.remove_prefix(1);
            continue;
        }
        std::size_t n = 0;
        while (n < d.size() &&
               (std::isdigit(static_cast<unsigned char>(d[n])) || d[n] == '.' || d[n] == ','))
            ++n;
        if (n == 0 || n == d.size() || n > 30) return false;
        std::string number(d.substr(0, n));
        std::replace(number.begin(), number.end(), ',', '.');
        char* end = nullptr;
        const double v = std::strtod(number.c_str(), &end);
        if (end != number.c_str() + number.size() || !std::isfinite(v)) return false;
        const char unit = d[n];
        d.remove_prefix(n + 1);
        any = true;
        if (!in_time && unit == 'D')
            seconds += v * 86400;
        else if (!in_time && unit == 'W')
            seconds += v * 7 * 86400;
        else if (in_time && unit == 'H')
            seconds += v * 3600;
        else if (in_time && unit == 'M')
            seconds += v * 60;
        else if (in_time && unit == 'S')
            seconds += v;
        else
            return false; // years and months have no fixed length
    }
    if (!any) return false;
    *days = (negative ? -seconds : seconds) / 86400;
    return true;
}

// Cells of an .ods the import library misreads, made cells it reads right:
// covered cells (the hidden part of a merged range) with a repeat count,
// which it counts as one cell, so every cell right of them moved left,
// become as many empty cells; time and duration cells, which it reads as
// empty, become their number of days, as the spreadsheet programs read them.
void mend_ods_cell_kinds(zip_part& content) {
    std::string& x = content.data;
    std::string out;
    std::size_t done = 0;
    for (std::size_t at = 0; (at = x.find('<', at)) != std::string::npos;) {
        const bool covered = x.compare(at, 25, "<table:covered-table-cell") == 0 &&
                             (x[at + 25] == ' ' || x[at + 25] == '/' || x[at + 25] == '>');
        const bool plain = x.compare(at, 17, "<table:table-cell") == 0 &&
                           (x[at + 17] == ' ' || x[at + 17] == '/' || x[at + 17] == '>');
        if (!covered && !plain) {
            ++at;
            continue;
        }
        const std::size_t head_end = x.find('>', at);
        if (head_end == std::string::npos) break;
        const std::string_view head(x.data() + at, head_end - at);
        const bool empty = x[head_end - 1] == '/';
        std::size_t end = head_end + 1;
        const char* close_tag = covered ? "</table:covered-table-cell>" : "</table:table-cell>";
        if (!empty) {
            const std::size_t close = x.find(close_tag, head_end);
            if (close == std::string::npos) break;
            end = close + std::strlen(close_tag);
        }
        std::string cell;
        if (covered) {
            const std::string repeat = attribute(head, "table:number-columns-repeated");
            cell = "<table:table-cell" +
                   (repeat.empty() ? std::string()
                                   : " table:number-columns-repeated=\"" + repeat + "\"") +
                   "/>";
        } else {
            const std::string type = attribute(head, "office:value-type");
            if (type != "time") {
                at = head_end;
                continue;
            }
            std::string h(head);
            if (empty) h.pop_back();
            const std::string value = attribute(h, "office:time-value");
            for (const char* drop :
                 {" office:value-type=\"", " calcext:value-type=\"", " office:time-value=\""}) {
                const std::size_t a = h.find(drop);
                if (a != std::string::npos) h.erase(a, h.find('"', a + std::strlen(drop)) + 1 - a);
            }
            double days = 0;
            if (duration_days(value, &days)) {
                char text[40] = {};
                std::to_chars(text, text + sizeof text - 1, days);
                cell = h + " office:value-type=\"float\" office:value=\"" + text + "\"/>";
            } else {
                cell = h + " office:value-type=\"string\"><text:p>" + std::string(kErrorMark) +
                       "#VALUE!</text:p></table:table-cell>";
            }
        }
        out.append(x, done, at - done);
        out += cell;
        done = end;
        at = end;
    }
    if (done == 0) return;
    out.append(x, done, std::string::npos);
    x = std::move(out);
}

zip_part* part_named(std::vector<zip_part>& parts, std::string_view name) {
    for (zip_part& p : parts)
        if (p.name == name) return &p;
    return nullptr;
}

bool mend_xlsx(std::vector<zip_part>& parts, std::vector<exact_number>* exact, std::string* why) {
    std::string items;
    std::size_t existing = 0;
    zip_part* sst = part_named(parts, "xl/sharedStrings.xml");
    if (sst)
        for (std::size_t at = 0; (at = sst->data.find("<si", at)) != std::string::npos; at += 3)
            existing +=
                sst->data[at + 3] == '>' || sst->data[at + 3] == ' ' || sst->data[at + 3] == '/';
    std::size_t count = existing;
    for (zip_part& p : parts) {
        if (p.name.ends_with(".rels")) relative_targets(p);
        if (p.name.starts_with("xl/worksheets/") && p.name.ends_with(".xml")) {
            // A part cut short would otherwise load its first rows silently.
            if (!ends_with_element(p.data, "worksheet")) {
                *why = "the worksheet part " + p.name + " is cut short (damaged)";
                return false;
            }
            mend_cells(p, items, &count, exact);
        }
    }
    if (count == existing) return true;
    if (sst) {
        const std::size_t end = sst->data.rfind("</sst>");
        if (end == std::string::npos) {
            *why = "a damaged shared-strings part";
            return false;
        }
        sst->data.insert(end, items);
        return true;
    }
    parts.push_back({"xl/sharedStrings.xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst "
                     "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
                         items + "</sst>"});
    if (zip_part* rels = part_named(parts, "xl/_rels/workbook.xml.rels")) {
        const std::size_t end = rels->data.rfind("</Relationships>");
        if (end != std::string::npos)
            rels->data.insert(end, "<Relationship Id=\"kavrelSst\" "
                                   "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                                   "relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>");
    }
    if (zip_part* types = part_named(parts, "[Content_Types].xml")) {
        const std::size_t end = types->data.rfind("</Types>");
        if (end != std::string::npos)
            types->data.insert(end, "<Override PartName=\"/xl/sharedStrings.xml\" "
                                    "ContentType=\"application/"
                                    "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+"
                                    "xml\"/>");
    }
    return true;
}

// Rows written once with table:number-rows-repeated, which the import library
// reads as one row followed by blank ones, written out in full. Repeated rows
// without a value (a sheet's blank tail) stay folded.
bool unfold_ods_rows(zip_part& content, std::string* why) {
    std::string& x = content.data;
    std::string out;
    std::size_t done = 0, rows = 0;
    const std::string attr = "table:number-rows-repeated=\"";
    for (std::size_t at = 0; (at = x.find("<table:table-row", at)) != std::string::npos;) {
        const std::size_t head_end = x.find('>', at);
        if (head_end == std::string::npos) break;
        const std::size_t rep = x.find(attr, at);
        std::size_t end = head_end + 1;
        if (x[head_end - 1] != '/') {
            const std::size_t close = x.find("</table:table-row>", head_end);
            if (close == std::string::npos) break;
            end = close + 18;
        }
        if (rep == std::string::npos || rep > head_end) {
            ++rows;
            at = end;
            continue;
        }
        const std::size_t digits = rep + attr.size();
        const std::size_t quote = x.find('"', digits);
        std::uint64_t n = 0;
        for (std::size_t k = digits; k < quote && n <= kMaxRows; ++k) {
            if (!std::isdigit(static_cast<unsigned char>(x[k]))) {
                n = 0;
                break;
            }
            n = n * 10 + static_cast<unsigned>(x[k] - '0');
        }
        const std::string_view body(x.data() + head_end, end - head_end);
        const bool has_value = body.find("office:value") != std::string_view::npos ||
                               body.find("<text:p") != std::string_view::npos;
        if (!has_value || n <= 1) {
            rows += n;
            at = end;
            continue;
        }
        rows += n;
        if (rows > static_cast<std::uint64_t>(kMaxRows) ||
            out.size() + n * (end - at) > kMaxInflated) {
            *why = "repeated rows beyond " + std::to_string(kMaxRows) + " rows";
            return false;
        }
        std::string row = x.substr(at, end - at);
        row.erase(rep - at - 1, attr.size() + 1 + (quote - digits) + 1); // the attribute
        out.append(x, done, at - done);
        for (std::uint64_t k = 0; k < n; ++k) out += row;
        done = end;
        at = end;
    }
    if (done == 0) return true;
    out.append(x, done, std::string::npos);
    x = std::move(out);
    return true;
}

// The archive as the import library can read it right, or empty with the
// reason. Every part is inflated and checked first: a part that holds more
// or less than its directory states, or fails its check sum, is damaged.
// The worksheets' part names in the workbook's order.
std::vector<std::string> sheet_parts(std::vector<zip_part>& parts) {
    std::vector<std::string> out;
    const zip_part* book = part_named(parts, "xl/workbook.xml");
    const zip_part* rels = part_named(parts, "xl/_rels/workbook.xml.rels");
    if (!book || !rels) return out;
    for (std::size_t at = 0; (at = book->data.find("<sheet ", at)) != std::string::npos; ++at) {
        const std::size_t end = book->data.find('>', at);
        if (end == std::string::npos) break;
        const std::string_view head(book->data.data() + at, end - at);
        const std::size_t id_at = head.find(":id=\"");
        std::string id;
        if (id_at != std::string_view::npos) {
            const std::size_t close = head.find('"', id_at + 5);
            if (close != std::string_view::npos) id = head.substr(id_at + 5, close - id_at - 5);
        }
        std::string target;
        const std::size_t rel =
            id.empty() ? std::string::npos : rels->data.find("Id=\"" + id + "\"");
        if (rel != std::string::npos) {
            const std::size_t open = rels->data.rfind("<Relationship", rel);
            const std::size_t close = rels->data.find('>', rel);
            if (open != std::string::npos && close != std::string::npos)
                target =
                    attribute(std::string_view(rels->data).substr(open, close - open), "Target");
        }
        out.push_back(target.empty() ? std::string() : "xl/" + target);
    }
    return out;
}

std::string mended_archive(std::string_view bytes, file_kind kind,
                           std::vector<std::pair<int, exact_number>>* exact, std::string* why) {
    std::vector<zip_part> parts;
    if (!unzip_parts(bytes, &parts, why)) return {};
    if (parts.empty()) {
        *why = "an empty zip archive";
        return {};
    }
    if (kind == file_kind::xlsx) {
        std::vector<exact_number> numbers;
        if (!mend_xlsx(parts, &numbers, why)) return {};
        if (!numbers.empty()) {
            const std::vector<std::string> order = sheet_parts(parts);
            for (exact_number& n : numbers)
                for (std::size_t k = 0; k < order.size(); ++k)
                    if (order[k] == n.part) exact->emplace_back(static_cast<int>(k), std::move(n));
        }
    } else if (zip_part* content = part_named(parts, "content.xml")) {
        if (!ends_with_element(content->data, "document-content")) {
            *why = "the part content.xml is cut short (damaged)";
            return {};
        }
        mend_ods_cell_kinds(*content);
        if (!unfold_ods_rows(*content, why)) return {};
        mend_ods_cells(*content);
    }
    return zip_archive(parts, false);
}

int read_orcus(std::string_view bytes, file_kind kind, workbook* book, std::string* why) {
    if ((kind == file_kind::xlsx || kind == file_kind::ods) && !check_zip(bytes, why)) return 0;
    std::vector<std::pair<int, exact_number>> exact;
    const std::string mended = mended_archive(bytes, kind, &exact, why);
    if (mended.empty()) return 0;
    try {
        factory f(*book);
        if (kind == file_kind::xlsx) {
            orcus::orcus_xlsx filter(&f);
            filter.read_stream(mended);
        } else {
            orcus::orcus_ods filter(&f);
            filter.read_stream(mended);
        }
    } catch (const std::exception& e) {
        *why = e.what();
        if (why->empty()) *why = "unreadable";
        return 0;
    } catch (...) {
        *why = "unreadable";
        return 0;
    }
    if (book->sheets.empty()) {
        *why = "no worksheet in it";
        return 0;
    }
    for (const auto& [index, n] : exact) {
        if (static_cast<std::size_t>(index) >= book->sheets.size()) continue;
        const cell* c = book->sheets[static_cast<std::size_t>(index)].at(n.row, n.col);
        if (c && c->kind == cell_kind::number) {
            cell fixed = *c;
            fixed.number = n.value;
            if (!book->put(index, n.row, n.col, fixed, why)) return 0;
        }
    }
    for (sheet& sh : book->sheets)
        for (auto& row : sh.rows)
            for (cell& c : row)
                if (c.kind == cell_kind::text && book->texts[c.text].starts_with(kErrorMark)) {
                    c.kind = cell_kind::error;
                    book->texts[c.text].erase(0, kErrorMark.size());
                }
    return 1;
}

// ---- text: .csv checks, .tab and .txt -------------------------------------

bool check_text(std::string_view bytes, std::string* why) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto ch = static_cast<unsigned char>(bytes[i]);
        if (ch < 0x20 && ch != '\t' && ch != '\r' && ch != '\n') {
            *why = "binary data at byte " + std::to_string(i) + ", not text";
            return false;
        }
    }
    return true;
}

// The delimiter of a .csv as other programs write it: a comma, or a
// semicolon where the comma is the decimal sign (the first line outside
// quotes holds semicolons, and commas only between digits).
char csv_delimiter(std::string_view bytes) {
    bool quoted = false, decimal_commas = true;
    int semicolons = 0;
    auto digit = [&](std::size_t i) {
        return i < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[i]));
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char ch = bytes[i];
        if (ch == '"') quoted = !quoted;
        if (quoted) continue;
        if (ch == '\n' || ch == '\r') break;
        if (ch == ',' && !(i > 0 && digit(i - 1) && digit(i + 1))) decimal_commas = false;
        semicolons += ch == ';';
    }
    return semicolons > 0 && decimal_commas ? ';' : ',';
}

// Delimited text: fields split by the delimiter, lines by LF, CR LF or a lone
// CR; a field opened by a quote runs to its closing quote, over delimiters
// and line ends, with "" for a quote inside. A UTF-8 byte-order mark is no
// part of the first field. With the semicolon as delimiter the comma is the
// decimal sign ("1,5"). Our own reader: the library's gave views past the
// end of its buffer on some damaged files.
int read_delimited(std::string_view bytes, char delimiter, std::string_view sheet_name,
                   workbook* book, std::string* why) {
    book->sheets.push_back({std::string(sheet_name), {}});
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::int64_t row = 0, col = 0;
    std::string field;
    bool quoted = false, any = false;
    auto number = [&](const std::string& f, double* v) {
        if (delimiter != ';' || f.find('.') != std::string::npos) return text_number(f, v);
        std::string dotted = f;
        const std::size_t comma = dotted.find(',');
        if (comma != std::string::npos) dotted[comma] = '.';
        return text_number(dotted, v);
    };
    auto end_field = [&]() {
        cell c;
        if (!quoted && number(field, &c.number)) {
            c.kind = cell_kind::number;
        } else if (!field.empty()) {
            c.kind = cell_kind::text;
            c.text = book->add_text(field);
        }
        field.clear();
        quoted = false;
        return c.kind == cell_kind::empty || book->put(0, row, col, c, why);
    };
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const char ch = bytes[i];
        if (ch == '"' && field.empty() && !quoted) {
            // A quoted field: to the closing quote.
            quoted = true;
            ++i;
            while (true) {
                if (i >= n) {
                    *why = "a quoted field without its closing quote";
                    return 0;
                }
                if (bytes[i] == '"') {
                    if (i + 1 < n && bytes[i + 1] == '"') {
                        field.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field.push_back(bytes[i++]);
            }
            any = true;
            continue;
        }
        if (ch == delimiter) {
            if (!end_field()) return 0;
            ++col;
        } else if (ch == '\n' || ch == '\r') {
            if (!end_field()) return 0;
            ++row;
            col = 0;
            any = false;
            if (ch == '\r' && i + 1 < n && bytes[i + 1] == '\n') ++i; // CR LF is one line end
        } else {
            field.push_back(ch);
            any = true;
        }
        ++i;
    }
    if ((any || !field.empty()) && !end_field()) return 0;
    return 1;
}

// ---- .wk1: our own record reader ------------------------------------------

// Whether bytes are UTF-8 throughout (plain ASCII included).
bool whole_utf8(std::string_view t) {
    for (std::size_t i = 0; i < t.size();) {
        const auto b = static_cast<unsigned char>(t[i]);
        const std::size_t n = b < 0x80         ? 1
                              : (b >> 5) == 6  ? 2
                              : (b >> 4) == 14 ? 3
                              : (b >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || (n > 1 && b < 0xC2) || i + n > t.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

int read_wk1(std::string_view bytes, std::string_view sheet_name, workbook* book,
             std::string* why) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    book->sheets.push_back({std::string(sheet_name), {}});
    std::size_t at = 0;
    bool first = true, ended = false;
    while (at < n) {
        if (n - at < 4) {
            *why = "a truncated record header at byte " + std::to_string(at);
            return 0;
        }
        const std::uint16_t op = le16(p + at), len = le16(p + at + 2);
        if (n - at - 4 < len) {
            *why = "record " + std::to_string(op) + " at byte " + std::to_string(at) +
                   " runs past the end of the file";
            return 0;
        }
        const unsigned char* d = p + at + 4;
        if (first) {
            const std::uint16_t version = len >= 2 ? le16(d) : 0;
            if (op != 0 || len != 2 || version < 0x0404 || version > 0x0406) {
                *why = "not a worksheet file (no beginning record)";
                return 0;
            }
            first = false;
        }
        auto cell_at = [&](std::size_t need, const char* what) {
            if (len < need) {
                *why = std::string("a short ") + what + " record at byte " + std::to_string(at);
                return false;
            }
            return true;
        };
        cell c;
        bool has_cell = false;
        switch (op) {
        case 0x01:
            ended = true;
            break;
        case 0x0D: // integer
            if (!cell_at(7, "integer")) return 0;
            c.kind = cell_kind::number;
            c.number = static_cast<std::int16_t>(le16(d + 5));
            has_cell = true;
            break;
        case 0x0E: // number
        case 0x10: // formula: its value
            if (!cell_at(op == 0x0E ? 13 : 15, op == 0x0E ? "number" : "formula")) return 0;
            c.kind = cell_kind::number;
            std::memcpy(&c.number, d + 5, 8);
            if (!std::isfinite(c.number)) {
                // An error cell names its error, as every reader's do.
                c.kind = cell_kind::error;
                c.text = book->add_text("#NUM!");
            }
            has_cell = true;
            break;
        case 0x0F: { // label: a prefix character, then the text up to its NUL
            if (!cell_at(6, "label")) return 0;
            const char* s = reinterpret_cast<const char*>(d + 6);
            std::size_t max = len - 6u;
            std::string_view text(s, strnlen(s, max));
            // The alignment prefix (' " ^ \ |) is no part of the text.
            if (!text.empty() && std::strchr("'\"^\\|", text.front())) text.remove_prefix(1);
            c.kind = cell_kind::text;
            // One byte a character in code page 437, the page the format's
            // writers use; a text that is whole UTF-8 as it is.
            c.text = book->add_text(
                whole_utf8(text)
                    ? std::string(text)
                    : code_page_text_utf8(text.data(), static_cast<int>(text.size()), 437));
            has_cell = true;
            break;
        }
        case 0x0B: { // a named range: 16 bytes of name, then the corners
            if (!cell_at(24, "name")) return 0;
            const char* s = reinterpret_cast<const char*>(d);
            std::string name(s, strnlen(s, 16));
            named_range r;
            r.col0 = le16(d + 16);
            r.row0 = le16(d + 18);
            r.col1 = le16(d + 20);
            r.row1 = le16(d + 22);
            if (!name.empty() && r.col0 <= r.col1 && r.row0 <= r.row1 && r.col1 < 256 &&
                r.row1 < 65536)
                book->add_name(name, r);
            break;
        }
        default:
            break; // formats, widths, windows: nothing for the data
        }
        if (has_cell) {
            const std::int64_t col = le16(d + 1), row = le16(d + 3);
            if (c.kind != cell_kind::empty && !book->put(0, row, col, c, why)) return 0;
        }
        at += 4u + len;
        if (ended) break;
    }
    if (first) {
        *why = "an empty file";
        return 0;
    }
    if (!ended) {
        *why = "truncated: no end record";
        return 0;
    }
    return 1;
}

// ---- .xls: libfreexl -------------------------------------------------------

// The library gives formula cells as empty and date and time cells as text
// to the second: the stored results and numbers are laid over its reading.
int overlay_xls_values(const std::string& path,
                       const std::set<std::tuple<unsigned, unsigned, unsigned>>& dated,
                       workbook* book, std::string* why) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<xls_value> values;
    if (!read_xls_values(bytes, &values)) return 1; // the library's reading stands
    for (const xls_value& v : values) {
        if (v.sheet < 0 || static_cast<std::size_t>(v.sheet) >= book->sheets.size()) continue;
        const cell* now = book->sheets[static_cast<std::size_t>(v.sheet)].at(v.row, v.col);
        const bool empty = !now || now->kind == cell_kind::empty;
        if (v.formula ? !empty || v.kind == xls_kind::empty
                      : !dated.count({static_cast<unsigned>(v.sheet), v.row, v.col}))
            continue;
        cell c;
        c.kind = v.kind == xls_kind::text      ? cell_kind::text
                 : v.kind == xls_kind::error   ? cell_kind::error
                 : v.kind == xls_kind::boolean ? cell_kind::boolean
                                               : cell_kind::number;
        c.number = v.number;
        if (c.kind == cell_kind::text || c.kind == cell_kind::error)
            c.text = book->add_text(v.text);
        if (!book->put(v.sheet, v.row, v.col, c, why)) return 0;
    }
    return 1;
}

int read_xls_in_process(const std::string& path, workbook* book, std::string* why) {
    const void* h = nullptr;
    int rc = freexl_open(path.c_str(), &h);
    struct closer {
        const void* h;
        ~closer() {
            if (h) freexl_close(h);
        }
    } guard{h};
    if (rc != FREEXL_OK || !h) {
        *why = "not a readable .xls workbook";
        return 0;
    }
    unsigned int info = 0;
    if (freexl_get_info(h, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED) {
        *why = "an encrypted workbook";
        return 0;
    }
    unsigned int count = 0;
    if (freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK || count == 0 ||
        count > 65535) {
        *why = "no worksheet in it";
        return 0;
    }
    // Cells the library gives as dates or times, for their stored numbers.
    std::set<std::tuple<unsigned, unsigned, unsigned>> dated;
    for (unsigned int s = 0; s < count; ++s) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(h, static_cast<unsigned short>(s), &name) != FREEXL_OK ||
            freexl_select_active_worksheet(h, static_cast<unsigned short>(s)) != FREEXL_OK) {
            *why = "an unreadable worksheet " + std::to_string(s + 1);
            return 0;
        }
        book->sheets.push_back({name ? name : "", {}});
        unsigned int rows = 0;
        unsigned short cols = 0;
        if (freexl_worksheet_dimensions(h, &rows, &cols) != FREEXL_OK) {
            *why = "an unreadable worksheet " + std::to_string(s + 1);
            return 0;
        }
        if (rows > kMaxRows || cols > kMaxColumns ||
            static_cast<std::uint64_t>(rows) * cols > kMaxCellSlots) {
            *why = "a worksheet too large (" + std::to_string(rows) + " rows, " +
                   std::to_string(cols) + " columns)";
            return 0;
        }
        for (unsigned int r = 0; r < rows; ++r)
            for (unsigned short col = 0; col < cols; ++col) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(h, r, col, &v) != FREEXL_OK) continue;
                cell c;
                switch (v.type) {
                case FREEXL_CELL_INT:
                    c.kind = cell_kind::number;
                    c.number = v.value.int_value;
                    break;
                case FREEXL_CELL_DOUBLE:
                    c.kind = cell_kind::number;
                    c.number = v.value.double_value;
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    c.kind = cell_kind::text;
                    c.text = book->add_text(v.value.text_value ? v.value.text_value : "");
                    break;
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME: {
                    // Text "YYYY-MM-DD[ HH:MM:SS]" or "HH:MM:SS": back to a serial.
                    int y = 0, mo = 0, d = 0, hh = 0, mm = 0, ss = 0;
                    const char* t = v.value.text_value ? v.value.text_value : "";
                    double serial = 0;
                    if (v.type == FREEXL_CELL_TIME) {
                        if (std::sscanf(t, "%d:%d:%d", &hh, &mm, &ss) != 3) break;
                    } else {
                        if (std::sscanf(t, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &hh, &mm, &ss) < 3 ||
                            mo < 1 || mo > 12 || d < 1 || d > 31)
                            break;
                        serial = static_cast<double>(days_from_civil(y, static_cast<unsigned>(mo),
                                                                     static_cast<unsigned>(d)) -
                                                     days_from_civil(1899, 12, 30));
                    }
                    c.kind = cell_kind::number;
                    c.number = serial + (hh * 3600.0 + mm * 60.0 + ss) / 86400.0;
                    dated.emplace(s, r, col);
                    break;
                }
                default:
                    break;
                }
                if (c.kind != cell_kind::empty && !book->put(static_cast<int>(s), r, col, c, why))
                    return 0;
            }
    }
    return overlay_xls_values(path, dated, book, why);
}

// The .xls library has been seen to write outside its buffers on damaged
// files, so it reads in a child process: the child sends back the workbook it
// read (or its reason), the parent checks every count of the answer, and a
// child that crashes or hangs costs a message, not the program. (glibc makes
// malloc safe to use in the child of a threaded process.)
void put_u32(std::string& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

std::string serialize(const workbook& b) {
    std::string out = "W";
    put_u32(out, static_cast<std::uint32_t>(b.sheets.size()));
    for (const sheet& s : b.sheets) {
        put_u32(out, static_cast<std::uint32_t>(s.name.size()));
        out += s.name;
        std::uint32_t count = 0;
        for (const auto& r : s.rows)
            for (const cell& c : r) count += c.kind != cell_kind::empty;
        put_u32(out, count);
        for (std::size_t r = 0; r < s.rows.size(); ++r)
            for (std::size_t k = 0; k < s.rows[r].size(); ++k) {
                const cell& c = s.rows[r][k];
                if (c.kind == cell_kind::empty) continue;
                put_u32(out, static_cast<std::uint32_t>(r));
                put_u32(out, static_cast<std::uint32_t>(k));
                out.push_back(static_cast<char>(c.kind));
                put_u32(out, c.text);
                char d[8];
                std::memcpy(d, &c.number, 8);
                out.append(d, 8);
            }
    }
    put_u32(out, static_cast<std::uint32_t>(b.texts.size()));
    for (const std::string& t : b.texts) {
        put_u32(out, static_cast<std::uint32_t>(t.size()));
        out += t;
    }
    // Named ranges, as the importers that know them found them.
    put_u32(out, static_cast<std::uint32_t>(b.names.size()));
    for (const auto& [name, r] : b.names) {
        put_u32(out, static_cast<std::uint32_t>(r.spelled.size()));
        out += r.spelled;
        put_u32(out, static_cast<std::uint32_t>(r.scope));
        put_u32(out, static_cast<std::uint32_t>(r.sheet));
        for (std::int64_t v : {r.row0, r.col0, r.row1, r.col1})
            put_u32(out, static_cast<std::uint32_t>(v));
    }
    return out;
}

int deserialize(std::string_view in, workbook* b, std::string* why) {
    std::size_t at = 1;
    bool ok = true;
    auto u32 = [&]() -> std::uint32_t {
        if (in.size() - at < 4) {
            ok = false;
            return 0;
        }
        std::uint32_t v = le32(reinterpret_cast<const unsigned char*>(in.data()) + at);
        at += 4;
        return v;
    };
    auto text = [&](std::uint32_t n) -> std::string {
        if (!ok || in.size() - at < n) {
            ok = false;
            return {};
        }
        std::string s(in.substr(at, n));
        at += n;
        return s;
    };
    const std::uint32_t sheet_count = u32();
    if (sheet_count > 65535) ok = false;
    for (std::uint32_t s = 0; ok && s < sheet_count; ++s) {
        b->sheets.push_back({text(u32()), {}});
        const std::uint32_t cells = u32();
        if (cells > kMaxCellSlots || (in.size() - at) / 21 < cells) ok = false;
        for (std::uint32_t k = 0; ok && k < cells; ++k) {
            const std::uint32_t row = u32(), col = u32();
            if (in.size() - at < 9) {
                ok = false;
                break;
            }
            cell c;
            const auto kind = static_cast<std::uint8_t>(in[at++]);
            if (kind > static_cast<std::uint8_t>(cell_kind::error)) ok = false;
            c.kind = static_cast<cell_kind>(kind);
            c.text = u32();
            if (!ok || in.size() - at < 8) {
                ok = false;
                break;
            }
            std::memcpy(&c.number, in.data() + at, 8);
            at += 8;
            if (!b->put(static_cast<int>(s), row, col, c, why)) return 0;
        }
    }
    const std::uint32_t text_count = ok ? u32() : 0;
    if (text_count > kMaxCellSlots) ok = false;
    for (std::uint32_t t = 0; ok && t < text_count; ++t) b->texts.push_back(text(u32()));
    const std::uint32_t name_count = ok ? u32() : 0;
    if (name_count > 65535) ok = false;
    for (std::uint32_t k = 0; ok && k < name_count; ++k) {
        std::string name = text(u32());
        named_range r;
        r.scope = static_cast<int>(u32());
        r.sheet = static_cast<int>(u32());
        r.row0 = u32();
        r.col0 = u32();
        r.row1 = u32();
        r.col1 = u32();
        if (r.sheet < 0 || static_cast<std::size_t>(r.sheet) >= b->sheets.size() ||
            r.row0 > r.row1 || r.col0 > r.col1 || r.scope < -1 ||
            r.scope >= static_cast<int>(b->sheets.size()) || name.empty())
            ok = false;
        else
            b->add_name(name, r);
    }
    if (ok)
        for (const sheet& s : b->sheets)
            for (const auto& r : s.rows)
                for (const cell& c : r)
                    if ((c.kind == cell_kind::text || c.kind == cell_kind::error) &&
                        c.text >= b->texts.size())
                        ok = false;
    if (!ok || at != in.size()) {
        *why = "not a readable workbook (a damaged answer from its reader)";
        return 0;
    }
    return 1;
}

// In the reader's child a crash is the reader's refusal: it dies by the
// default action of its signal, not through the handlers the parent installed
// (a crash reporter's, or a sanitizer's or fuzzer's, which would record the
// input as a finding of their own), and the parent reads the death as a
// failed read.
extern "C" void __sanitizer_set_death_callback(void (*)()) __attribute__((weak));
// Present only in builds made for coverage: the child leaves by _exit, which
// would drop the counts of the reader it ran.
extern "C" void __gcov_dump() __attribute__((weak));

void quiet_child_crashes() {
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP}) {
        struct sigaction sa {};
        sa.sa_handler = SIG_DFL;
        sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, nullptr);
    }
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback([] { ::_exit(70); });
}

// Runs a reader of a library we do not trust with damaged input in a child
// process: a crash, an abort from an assertion or a hang past 60 s costs only
// a message. `what` names the file kind in the messages (".xls").
int read_in_child(const std::function<int(workbook*, std::string*)>& read, const char* what,
                  workbook* book, std::string* why) {
    const std::string kind(what);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        *why = "no pipe for the " + kind + " reader";
        return 0;
    }
    pid_t pid;
    {
        std::lock_guard<std::recursive_mutex> gate(reader_fork_gate());
        pid = ::fork();
    }
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        *why = "no process for the " + kind + " reader";
        return 0;
    }
    if (pid == 0) {
        ::close(fds[0]);
        quiet_child_crashes();
        workbook child;
        std::string reason;
        std::string out;
        try {
            out = read(&child, &reason) ? serialize(child) : "E" + reason;
        } catch (...) {
            out = "Enot a readable " + kind + " workbook";
        }
        std::size_t sent = 0;
        while (sent < out.size()) {
            const ssize_t n = ::write(fds[1], out.data() + sent, out.size() - sent);
            if (n <= 0) ::_exit(1);
            sent += static_cast<std::size_t>(n);
        }
        if (__gcov_dump) __gcov_dump();
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string answer;
    bool timed_out = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    char buf[65536];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timed_out = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            timed_out = r == 0;
            break;
        }
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (answer.size() + static_cast<std::size_t>(n) > (std::size_t{1} << 30)) {
            timed_out = true; // an answer no workbook within the limits gives
            break;
        }
        answer.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (timed_out) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timed_out || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || answer.empty()) {
        *why = "not a readable " + kind + " workbook (its reader failed on it)";
        return 0;
    }
    if (answer[0] == 'E') {
        *why = answer.substr(1, 200);
        return 0;
    }
    if (answer[0] != 'W') {
        *why = "not a readable " + kind + " workbook (a damaged answer from its reader)";
        return 0;
    }
    return deserialize(answer, book, why);
}

int read_xls_file(const std::string& path, workbook* book, std::string* why) {
    return read_in_child(
        [&path](workbook* b, std::string* w) { return read_xls_in_process(path, b, w); }, ".xls",
        book, why);
}

std::string stem_of(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

} // namespace

// ---- the workbook ----------------------------------------------------------

std::int64_t sheet::used_columns() const {
    std::size_t m = 0;
    for (const auto& r : rows) m = std::max(m, r.size());
    return static_cast<std::int64_t>(m);
}

const cell* sheet::at(std::int64_t row, std::int64_t col) const {
    if (row < 0 || col < 0 || row >= used_rows()) return nullptr;
    const auto& r = rows[static_cast<std::size_t>(row)];
    if (col >= static_cast<std::int64_t>(r.size())) return nullptr;
    return &r[static_cast<std::size_t>(col)];
}

int workbook::find_sheet(std::string_view name) const {
    const std::string u = upper(name);
    for (std::size_t i = 0; i < sheets.size(); ++i)
        if (upper(sheets[i].name) == u) return static_cast<int>(i);
    return -1;
}

const named_range* workbook::find_name(std::string_view name, int from_sheet) const {
    const auto [first, last] = names.equal_range(upper(name));
    const named_range *global = nullptr, *other = nullptr;
    for (auto it = first; it != last; ++it) {
        if (from_sheet >= 0 && it->second.scope == from_sheet) return &it->second;
        if (it->second.scope < 0 && !global) global = &it->second;
        if (!other) other = &it->second;
    }
    return global ? global : other;
}

void workbook::add_name(std::string_view name, named_range r) {
    std::string key = upper(name);
    const auto [first, last] = names.equal_range(key);
    for (auto it = first; it != last; ++it)
        if (it->second.scope == r.scope) return;
    if (r.spelled.empty()) r.spelled = std::string(name);
    names.emplace(std::move(key), std::move(r));
}

std::uint32_t workbook::add_text(std::string_view s) {
    if (texts.size() >= kMaxCellSlots) throw std::length_error("too many texts");
    texts.emplace_back(s);
    return static_cast<std::uint32_t>(texts.size() - 1);
}

bool workbook::put(int s, std::int64_t row, std::int64_t col, const cell& c, std::string* why) {
    if (s < 0 || static_cast<std::size_t>(s) >= sheets.size()) {
        *why = "a cell of no sheet";
        return false;
    }
    if (row < 0 || col < 0 || row >= kMaxRows || col >= kMaxColumns) {
        *why = "a cell outside " + std::to_string(kMaxRows) + " rows and " +
               std::to_string(kMaxColumns) + " columns";
        return false;
    }
    auto& rows = sheets[static_cast<std::size_t>(s)].rows;
    const auto r = static_cast<std::size_t>(row), k = static_cast<std::size_t>(col);
    std::size_t grow = (r >= rows.size() ? r + 1 - rows.size() : 0);
    std::size_t row_len = r < rows.size() ? rows[r].size() : 0;
    std::size_t more = k >= row_len ? k + 1 - row_len : 0;
    if (slots + more + grow / 16 > kMaxCellSlots) {
        *why = "too many cells (more than " + std::to_string(kMaxCellSlots) + ")";
        return false;
    }
    if (grow) rows.resize(r + 1);
    if (more) rows[r].resize(k + 1);
    slots += more + grow / 16;
    rows[r][k] = c;
    return true;
}

file_kind kind_of_path(std::string_view path) {
    std::string ext = upper(std::filesystem::path(std::string(path)).extension().string());
    if (ext == ".XLSX" || ext == ".XLSM") return file_kind::xlsx;
    if (ext == ".ODS") return file_kind::ods;
    if (ext == ".XLS") return file_kind::xls;
    if (ext == ".CSV") return file_kind::csv;
    if (ext == ".TAB" || ext == ".TXT") return file_kind::tab;
    if (ext == ".WK1") return file_kind::wk1;
    return file_kind::unknown;
}

int read_workbook_bytes(std::string_view bytes, file_kind kind, std::string_view sheet_name,
                        workbook* book, std::string* why) {
    *book = workbook{};
    int ok = 0;
    try {
        switch (kind) {
        case file_kind::xlsx:
        case file_kind::ods:
            // The office suite's import library asserts (and aborts) on some
            // damaged XML: its reading runs in a child like the .xls reader's.
            ok = read_in_child(
                [bytes, kind](workbook* b, std::string* w) {
                    return read_orcus(bytes, kind, b, w);
                },
                kind == file_kind::xlsx ? ".xlsx" : ".ods", book, why);
            break;
        case file_kind::csv:
            ok = check_text(bytes, why) &&
                 read_delimited(bytes, csv_delimiter(bytes), sheet_name, book, why);
            break;
        case file_kind::tab:
            ok = check_text(bytes, why) && read_delimited(bytes, '\t', sheet_name, book, why);
            break;
        case file_kind::wk1:
            ok = read_wk1(bytes, sheet_name, book, why);
            break;
        case file_kind::xls: {
            char tmpl[] = "/tmp/kavrel-xls-XXXXXX";
            int fd = mkstemp(tmpl);
            if (fd < 0) {
                *why = "no temporary file";
                break;
            }
            bool written =
                ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
            ::close(fd);
            ok = written && read_xls_file(tmpl, book, why);
            if (!written) *why = "no temporary file";
            std::remove(tmpl);
            break;
        }
        case file_kind::unknown:
            *why = "not a spreadsheet file kind this version reads";
            break;
        }
    } catch (const std::exception& e) {
        *why = e.what();
        ok = 0;
    }
    if (!ok) *book = workbook{};
    return ok;
}

int read_workbook(const std::string& path, workbook* book, std::string* why) {
    *book = workbook{};
    const file_kind kind = kind_of_path(path);
    if (kind == file_kind::unknown) {
        *why = "not a spreadsheet file kind this version reads";
        return 0;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        *why = "no such file";
        return 0;
    }
    if (kind == file_kind::xls) {
        int ok = 0;
        try {
            ok = read_xls_file(path, book, why);
        } catch (const std::exception& e) {
            *why = e.what();
        }
        if (!ok) *book = workbook{};
        return ok;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    if (!in && !in.eof()) {
        *why = "unreadable";
        return 0;
    }
    const std::string bytes = std::move(all).str();
    return read_workbook_bytes(bytes, kind, stem_of(path), book, why);
}

std::string mend_archive(std::string_view bytes, file_kind kind, std::string* why) {
    if (!check_zip(bytes, why)) return {};
    std::vector<std::pair<int, exact_number>> exact;
    return mended_archive(bytes, kind, &exact, why);
}

bool check_zip(std::string_view bytes, std::string* why) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    if (n < 22 || le32(p) != 0x04034b50) {
        *why = "not a zip archive";
        return false;
    }
    // The end record: the last signature within the comment's reach.
    std::size_t eocd = std::string_view::npos;
    const std::size_t lowest = n > 22 + 65535 ? n - 22 - 65535 : 0;
    for (std::size_t i = n - 22 + 1; i-- > lowest;)
        if (le32(p + i) == 0x06054b50) {
            eocd = i;
            break;
        }
    if (eocd == std::string_view::npos) {
        *why = "a zip archive without its directory";
        return false;
    }
    const std::uint16_t entries = le16(p + eocd + 10);
    const std::uint32_t cd_size = le32(p + eocd + 12), cd_off = le32(p + eocd + 16);
    if (entries == 0xFFFF || cd_off == 0xFFFFFFFFu) {
        *why = "a zip64 archive (not read)";
        return false;
    }
    if (cd_off > eocd || cd_size > eocd - cd_off) {
        *why = "a zip directory outside the archive";
        return false;
    }
    std::uint64_t total = 0;
    std::size_t at = cd_off;
    const std::size_t cd_end = cd_off + cd_size;
    for (unsigned e = 0; e < entries; ++e) {
        if (cd_end - at < 46 || le32(p + at) != 0x02014b50) {
            *why = "a damaged zip directory";
            return false;
        }
        const std::uint16_t flags = le16(p + at + 8), method = le16(p + at + 10);
        const std::uint32_t csize = le32(p + at + 20), usize = le32(p + at + 24);
        const std::uint32_t name_len = le16(p + at + 28), extra = le16(p + at + 30),
                            comment = le16(p + at + 32);
        const std::uint32_t local = le32(p + at + 42);
        if (flags & 1) {
            *why = "an encrypted workbook";
            return false;
        }
        if (method != 0 && method != 8) {
            *why = "a zip part compressed by an unknown method";
            return false;
        }
        if (csize == 0xFFFFFFFFu || usize == 0xFFFFFFFFu || local == 0xFFFFFFFFu) {
            *why = "a zip64 archive (not read)";
            return false;
        }
        if (static_cast<std::uint64_t>(local) + 30 + csize > cd_off) {
            *why = "a zip part outside the archive";
            return false;
        }
        total += usize;
        if (total > kMaxInflated) {
            *why = "a zip archive too large when inflated";
            return false;
        }
        if (usize > (1u << 20) && static_cast<std::uint64_t>(usize) > kMaxRatio * csize) {
            *why = "a zip part compressed beyond any worksheet's ratio";
            return false;
        }
        const std::size_t step = 46u + name_len + extra + comment;
        if (cd_end - at < step) {
            *why = "a damaged zip directory";
            return false;
        }
        at += step;
    }
    return true;
}

std::string column_letters(std::int64_t column) {
    if (column < 1 || column > kMaxColumns) return {};
    std::string s;
    while (column > 0) {
        --column;
        s.insert(s.begin(), static_cast<char>('A' + column % 26));
        column /= 26;
    }
    return s;
}

bool parse_cell_ref(std::string_view text, std::int64_t* row, std::int64_t* column) {
    std::size_t i = 0;
    std::int64_t col = 0, r = 0;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
        col = col * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
        if (++i > 3) return false;
    }
    if (i == 0 || i == text.size() || col > kMaxColumns) return false;
    const std::size_t digits = i;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        r = r * 10 + (text[i] - '0');
        if (r > kMaxRows) return false;
    }
    if (i == digits || r < 1) return false;
    *row = r;
    *column = col;
    return true;
}

bool parse_range_ref(std::string_view text, std::string* sheet_out, named_range* out) {
    // Formula forms: a leading "=", "$" anchors, "Sheet!" or "Sheet." prefixes
    // (quoted with ' when they hold spaces), "A1" or "A1:B2".
    std::string_view t = text;
    while (!t.empty() && (t.front() == '=' || t.front() == ' ')) t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    sheet_out->clear();
    auto take_corner = [&](std::string_view s, std::string* sheet, std::int64_t* r,
                           std::int64_t* c) {
        std::size_t bang = std::string_view::npos;
        if (!s.empty() && (s.front() == '\'' || (s.size() > 1 && s[0] == '$' && s[1] == '\''))) {
            std::size_t open = s.find('\'');
            std::size_t close = s.find('\'', open + 1);
            if (close == std::string_view::npos) return false;
            *sheet = std::string(s.substr(open + 1, close - open - 1));
            bang = close + 1;
            if (bang >= s.size() || (s[bang] != '!' && s[bang] != '.')) return false;
        } else {
            bang = s.find_last_of("!.");
            if (bang != std::string_view::npos) {
                std::string_view sh = s.substr(0, bang);
                if (!sh.empty() && sh.front() == '$') sh.remove_prefix(1);
                *sheet = std::string(sh);
            }
        }
        std::string_view cellpart = bang == std::string_view::npos ? s : s.substr(bang + 1);
        std::string plain;
        for (char ch : cellpart)
            if (ch != '$') plain.push_back(ch);
        return parse_cell_ref(plain, r, c);
    };
    std::size_t colon = t.find(':');
    std::string s0, s1;
    std::int64_t r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    if (!take_corner(t.substr(0, colon), &s0, &r0, &c0)) return false;
    if (colon == std::string_view::npos) {
        r1 = r0;
        c1 = c0;
    } else if (!take_corner(t.substr(colon + 1), &s1, &r1, &c1)) {
        return false;
    }
    if (!s1.empty() && !s0.empty() && upper(s0) != upper(s1)) return false;
    *sheet_out = s0.empty() ? s1 : s0;
    out->row0 = std::min(r0, r1) - 1;
    out->row1 = std::max(r0, r1) - 1;
    out->col0 = std::min(c0, c1) - 1;
    out->col1 = std::max(c0, c1) - 1;
    return true;
}

} // namespace sheets

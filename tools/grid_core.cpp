// Grid rows, their texts and their export as text and as a BIFF2 worksheet.
#include "tools/grid_core.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "platform/gdi.h"

namespace {

bool missing(double v) {
    return is_na(v) || std::isnan(v);
}

void add16(std::vector<std::uint8_t>& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
unsigned get16(const std::uint8_t* p) {
    return static_cast<unsigned>(p[0] | (p[1] << 8));
}

} // namespace

int grid_add_row(grid_rows& grid, const char* label, const char* const* texts, const float* values,
                 const int* indices, int count, bool as_display, const char* format, int mode,
                 int colour) {
    grid_row row;
    row.label = label ? label : "";
    row.colour = colour;
    if (format) row.format = format;
    if (count > 0 && (texts || values)) {
        row.has_cells = true;
        const int number_kind = format && *format ? cell_formatted
                                : as_display      ? cell_display
                                                  : cell_number;
        for (int i = 0; i < count; ++i) {
            grid_cell c;
            if (texts) {
                c.kind = cell_text;
                c.text = texts[i] ? texts[i] : "";
            } else if (indices && mode != 1) {
                if (indices[i] != -1) {
                    c.kind = cell_integer;
                    c.integer = indices[i];
                } else {
                    c.kind = number_kind;
                    c.value = values[i];
                }
            } else {
                const int at = indices ? indices[i] : i;
                if (at < 0 || missing(values[at])) {
                    c.kind = cell_short_text;
                    c.text = "--";
                } else {
                    c.kind = number_kind;
                    c.value = values[at];
                }
            }
            row.cells.push_back(std::move(c));
        }
        grid.max_cells = std::max(grid.max_cells, count);
    }
    grid.rows.push_back(std::move(row));
    return static_cast<int>(grid.rows.size());
}

std::string grid_cell_text(const grid_row& row, const grid_cell& cell, bool exact) {
    switch (cell.kind) {
    case cell_short_text:
    case cell_text:
        return cell.text;
    case cell_integer:
        return std::to_string(cell.integer);
    default:
        break;
    }
    if (missing(cell.value)) return "--";
    if (cell.kind == cell_display) {
        std::string shown = format_number_string(cell.value, 0, nullptr);
        if (!exact) return shown;
        // Kept when it reads back as the number; else the plain form below
        // with every digit it needs (Stats' 12204.7148, not 12204.7).
        std::string plain = shown;
        if (decimal_comma) swap_decimal_comma(plain.data());
        char* end = nullptr;
        const float back = std::strtof(plain.c_str(), &end);
        if (end && *end == 0 && back == cell.value) return shown;
    }
    if (cell.kind == cell_formatted) return format_number_fmt(row.format.c_str(), 0, cell.value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(cell.value));
    if (exact) {
        // Six digits where they read back as the number; else as many as
        // that takes (a daily time axis in years: 2024.00274, not 2024).
        float back = 0;
        if (std::sscanf(buf, "%g", &back) != 1 || back != cell.value)
            std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(cell.value));
    }
    if (decimal_comma) swap_decimal_comma(buf);
    return buf;
}

std::string fit_number_text(const std::string& text,
                            const std::function<bool(const std::string&)>& fits) {
    if (fits(text)) return text;
    std::string dotted = text;
    if (decimal_comma) std::replace(dotted.begin(), dotted.end(), ',', '.');
    char* end = nullptr;
    const double v = std::strtod(dotted.c_str(), &end);
    if (dotted.empty() || end != dotted.c_str() + dotted.size() || !std::isfinite(v)) {
        std::string cut = text;
        while (!cut.empty() && !fits(cut)) cut.pop_back();
        return cut;
    }
    auto local = [](std::string t) {
        if (decimal_comma) std::replace(t.begin(), t.end(), '.', ',');
        return t;
    };
    // Fewer decimals, rounded ("123457"), for a number whose whole part fits.
    if (std::fabs(v) >= 1 && std::fabs(v) < 1e15)
        for (int decimals = 6; decimals >= 0; --decimals) {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
            const std::string t = local(buf);
            if (t.size() < text.size() && fits(t)) return t;
        }
    // Fewer digits, rounded: "-1.3e+30", "-1e+30".
    for (int digits = 6; digits >= 1; --digits) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
        std::string t = buf;
        const std::size_t e = t.find('e');
        std::string mantissa = t.substr(0, e), exponent = t.substr(e);
        if (mantissa.find('.') != std::string::npos) {
            while (mantissa.back() == '0') mantissa.pop_back();
            if (mantissa.back() == '.') mantissa.pop_back();
        }
        t = local(mantissa + exponent);
        if (t.size() < text.size() && fits(t)) return t;
    }
    // Not even one digit fits: marks that say so, as the spreadsheets show.
    std::string marks = "#";
    while (fits(marks + "#") && marks.size() < 40) marks += '#';
    return fits(marks) ? marks : std::string();
}

std::vector<std::string> grid_label_fields(const std::string& label) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (bool first = true;; first = false) {
        std::size_t tab = label.find('\t', at);
        std::string f = label.substr(at, tab == std::string::npos ? std::string::npos : tab - at);
        if (!first && f.size() >= 3 && f[0] == '\\' && f[1] >= '0' && f[1] <= ';' && f[2] == '\\')
            f.erase(0, 3);
        out.push_back(std::move(f));
        if (tab == std::string::npos) break;
        at = tab + 1;
    }
    return out;
}

namespace {

grid_field cell_field(const grid_row& row, const grid_cell& c, bool number_texts) {
    grid_field f;
    if (c.kind == cell_text || c.kind == cell_short_text || number_texts)
        f.text = grid_cell_text(row, c, number_texts);
    if (c.kind == cell_text) return f;
    f.number = true;
    if (c.kind == cell_short_text)
        f.value = NA; // the mark of a missing value: an empty cell in the worksheet
    else
        f.value = c.kind == cell_integer ? c.integer : static_cast<double>(c.value);
    return f;
}

} // namespace

std::vector<std::vector<grid_field>> grid_lines(const grid_rows& grid, bool number_texts) {
    std::vector<std::vector<grid_field>> lines;
    if (!grid.columns_layout) {
        for (const grid_row& row : grid.rows) {
            std::vector<grid_field> line;
            for (std::string& t : grid_label_fields(row.label))
                line.push_back({false, 0, std::move(t)});
            for (const grid_cell& c : row.cells) line.push_back(cell_field(row, c, number_texts));
            lines.push_back(std::move(line));
        }
        return lines;
    }
    std::vector<std::vector<std::string>> fields;
    std::vector<grid_field> head;
    for (const grid_row& row : grid.rows) {
        fields.push_back(grid_label_fields(row.label));
        head.push_back({false, 0, fields.back().front()});
    }
    lines.push_back(std::move(head));
    for (std::size_t k = 0;; ++k) {
        std::vector<grid_field> line;
        bool any = false;
        for (std::size_t r = 0; r < grid.rows.size(); ++r) {
            const grid_row& row = grid.rows[r];
            if (row.has_cells) {
                if (k < row.cells.size()) {
                    line.push_back(cell_field(row, row.cells[k], number_texts));
                    any = true;
                } else {
                    line.push_back({});
                }
            } else if (k + 1 < fields[r].size()) {
                line.push_back({false, 0, fields[r][k + 1]});
                any = true;
            } else {
                line.push_back({});
            }
        }
        if (!any) break;
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string grid_export_text(const grid_rows& grid, const char* line_end) {
    std::string out;
    if (grid.rows.empty()) return out;
    // Room for the whole text up front: a 10,000 x 100 grid is megabytes,
    // and growing by doubling copies it over and over.
    std::size_t estimate = 0;
    for (const grid_row& row : grid.rows) estimate += row.label.size() + 12 * row.cells.size() + 4;
    out.reserve(estimate);
    auto put = [&](const std::vector<grid_field>& line) {
        for (const grid_field& f : line) {
            out += f.text;
            out += '\t';
        }
        out += line_end;
    };
    if (grid.columns_layout) {
        for (const auto& line : grid_lines(grid)) put(line);
        return out;
    }
    // The lines layout is written straight from the rows: no field records,
    // each label field and cell text appended where it goes.
    for (const grid_row& row : grid.rows) {
        std::size_t at = 0;
        for (bool first = true;; first = false) {
            const std::size_t tab = row.label.find('\t', at);
            const std::size_t end = tab == std::string::npos ? row.label.size() : tab;
            std::size_t from = at;
            if (!first && end - at >= 3 && row.label[at] == '\\' && row.label[at + 1] >= '0' &&
                row.label[at + 1] <= ';' && row.label[at + 2] == '\\')
                from += 3;
            out.append(row.label, from, end - from);
            out += '\t';
            if (tab == std::string::npos) break;
            at = tab + 1;
        }
        for (const grid_cell& c : row.cells) {
            if (c.kind == cell_display && !missing(c.value) && !decimal_comma) {
                char buf[number_chars_size + 1];
                const std::size_t n = format_number_chars(c.value, buf);
                buf[n] = 0;
                // Six digits where they read back as the number; else the
                // exact form below.
                char* end = nullptr;
                if (std::strtof(buf, &end) == c.value && end == buf + n) {
                    buf[n] = '\t';
                    out.append(buf, n + 1);
                    continue;
                }
            }
            out += grid_cell_text(row, c, true);
            out += '\t';
        }
        out += line_end;
    }
    return out;
}

std::string grid_export_html(const grid_rows& grid) {
    std::string out;
    if (grid.rows.empty()) return out;
    out = "<html><head><meta http-equiv=\"content-type\" content=\"text/html; "
          "charset=utf-8\"></head><body><table>\n";
    for (const std::vector<grid_field>& line : grid_lines(grid)) {
        out += "<tr>";
        for (const grid_field& f : line) {
            out += "<td>";
            if (!(f.number && missing(f.value)))
                for (char c : f.text) {
                    if (const char* entity = markup_entity(c))
                        out += entity;
                    else
                        out += c;
                }
            out += "</td>";
        }
        out += "</tr>\n";
    }
    out += "</table></body></html>\n";
    return out;
}

namespace {

// Appends one field's record (nothing for an empty text or a missing number).
void biff_number(std::vector<std::uint8_t>& b, double value, std::size_t r, std::size_t c) {
    // The caller keeps to the sheet: a row or column past it would be written
    // cut to 16 bits, over another cell.
    assert(r < static_cast<std::size_t>(biff_max_rows) &&
           c < static_cast<std::size_t>(biff_max_columns));
    if (missing(value)) return;
    // One NUMBER record (type, length 15, row, column, three attribute
    // bytes, the IEEE double) written at once: a million cells make the
    // per-byte appends the copy's largest cost.
    std::uint8_t rec[19] = {0x03, 0x00, 15, 0x00};
    rec[4] = static_cast<std::uint8_t>(r & 0xFF);
    rec[5] = static_cast<std::uint8_t>((r >> 8) & 0xFF);
    rec[6] = static_cast<std::uint8_t>(c & 0xFF);
    rec[7] = static_cast<std::uint8_t>((c >> 8) & 0xFF);
    std::memcpy(rec + 11, &value, 8);
    b.insert(b.end(), rec, rec + sizeof rec);
}

bool plain_ascii(const char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

// A LABEL in the worksheet's one-byte code page (its CODEPAGE record says
// which); a character the page lacks is written '?'.
void biff_label(std::vector<std::uint8_t>& b, const char* text, std::size_t size, std::size_t r,
                std::size_t c, int page) {
    assert(r < static_cast<std::size_t>(biff_max_rows) &&
           c < static_cast<std::size_t>(biff_max_columns));
    if (!size) return;
    std::string encoded;
    if (!plain_ascii(text, size)) {
        encoded = program_text_in_code_page(text, static_cast<int>(size), page, nullptr);
        text = encoded.data();
        size = encoded.size();
    }
    // The length is one byte: a longer text is cut, never let run into the
    // next record.
    const std::size_t n = std::min<std::size_t>(size, 255);
    add16(b, 0x0004);
    add16(b, static_cast<unsigned>(8 + n));
    add16(b, static_cast<unsigned>(r));
    add16(b, static_cast<unsigned>(c));
    b.insert(b.end(), 3, 0);
    b.push_back(static_cast<std::uint8_t>(n));
    b.insert(b.end(), text, text + n);
}

// Appends one field's record (nothing for an empty text or a missing number).
void biff_field(std::vector<std::uint8_t>& b, const grid_field& f, std::size_t r, std::size_t c,
                int page) {
    if (f.number)
        biff_number(b, f.value, r, c);
    else
        biff_label(b, f.text.data(), f.text.size(), r, c, page);
}

// One row of the lines layout straight from the grid (the fields
// row_fields(row, false) would give, without making them).
void biff_row(std::vector<std::uint8_t>& b, const grid_row& row, std::size_t r, std::size_t columns,
              int page) {
    std::size_t c = 0;
    std::size_t at = 0;
    for (bool first = true; c < columns; first = false) {
        const std::size_t tab = row.label.find('\t', at);
        const std::size_t end = tab == std::string::npos ? row.label.size() : tab;
        std::size_t from = at;
        if (!first && end - at >= 3 && row.label[at] == '\\' && row.label[at + 1] >= '0' &&
            row.label[at + 1] <= ';' && row.label[at + 2] == '\\')
            from += 3;
        biff_label(b, row.label.data() + from, end - from, r, c++, page);
        if (tab == std::string::npos) break;
        at = tab + 1;
    }
    for (const grid_cell& cell : row.cells) {
        if (c >= columns) break;
        switch (cell.kind) {
        case cell_text: {
            const std::string t = grid_cell_text(row, cell);
            biff_label(b, t.data(), t.size(), r, c, page);
            break;
        }
        case cell_short_text:
            break; // the mark of a missing value: an empty cell
        case cell_integer:
            biff_number(b, cell.integer, r, c);
            break;
        default:
            biff_number(b, static_cast<double>(cell.value), r, c);
            break;
        }
        ++c;
    }
}

} // namespace

std::vector<std::uint8_t> grid_export_biff(const grid_rows& grid) {
    std::vector<std::uint8_t> b;
    if (grid.rows.empty()) return b;
    // The transposed layout is laid out whole; the lines layout one row at a
    // time, its columns counted first (label fields and cells).
    std::vector<std::vector<grid_field>> lines;
    std::size_t columns = 1, rows = 0;
    if (grid.columns_layout) {
        lines = grid_lines(grid, false);
        rows = lines.size();
        for (const auto& line : lines) columns = std::max(columns, line.size());
    } else {
        rows = grid.rows.size();
        for (const grid_row& row : grid.rows)
            columns = std::max(
                columns,
                1 + static_cast<std::size_t>(std::count(row.label.begin(), row.label.end(), '\t')) +
                    row.cells.size());
    }
    if (columns > static_cast<std::size_t>(biff_max_columns)) {
        report(6, "The spreadsheet copy holds only the first %d of %zu columns", biff_max_columns,
               columns);
        columns = biff_max_columns;
    }
    if (rows > static_cast<std::size_t>(biff_max_rows)) {
        report(6, "The spreadsheet copy holds only the first %d of %zu rows", biff_max_rows, rows);
        rows = biff_max_rows;
    }
    // The texts outside ASCII decide the code page.
    std::vector<std::string> wide;
    for (const grid_row& row : grid.rows) {
        if (!plain_ascii(row.label.data(), row.label.size())) wide.push_back(row.label);
        for (const grid_cell& c : row.cells)
            if (c.kind == cell_text && !plain_ascii(c.text.data(), c.text.size()))
                wide.push_back(c.text);
    }
    // The first one-byte page that holds every text, so that names of any
    // one script read right.
    const int page = wide.empty() ? 1252 : one_byte_page_holding(wide);
    b.reserve(26 + rows * columns * 19 + 4);
    // BOF: version 2, a worksheet.
    add16(b, 0x0009);
    add16(b, 4);
    add16(b, 2);
    add16(b, 0x0010);
    // DIMENSIONS: first row 0, rows, first column 0, columns.
    add16(b, 0x0000);
    add16(b, 8);
    add16(b, 0);
    add16(b, static_cast<unsigned>(rows));
    add16(b, 0);
    add16(b, static_cast<unsigned>(columns));
    // CODEPAGE: the page of the LABEL texts.
    add16(b, 0x0042);
    add16(b, 2);
    add16(b, static_cast<unsigned>(page));
    for (std::size_t r = 0; r < rows; ++r) {
        if (!grid.columns_layout) {
            biff_row(b, grid.rows[r], r, columns, page);
            continue;
        }
        const auto& l = lines[r];
        for (std::size_t c = 0; c < l.size() && c < columns; ++c) biff_field(b, l[c], r, c, page);
    }
    add16(b, 0x000A);
    add16(b, 0);
    return b;
}

bool check_biff2(const std::uint8_t* data, std::size_t size, int* rows, int* columns,
                 std::vector<biff_cell>* cells, std::string* why, int* code_page) {
    auto fail = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    std::size_t at = 0;
    int nrows = -1, ncols = -1, page = 1252;
    bool first = true, labels = false;
    while (true) {
        if (size - at < 4) return fail("record head past the end at " + std::to_string(at));
        const unsigned id = get16(data + at), len = get16(data + at + 2);
        const std::uint8_t* p = data + at + 4;
        if (size - at - 4 < len) return fail("record " + std::to_string(id) + " runs past the end");
        if (first && (id != 0x0009 || len != 4 || get16(p) != 2 || get16(p + 2) != 0x0010))
            return fail("no BIFF2 worksheet BOF");
        if (!first && id == 0x0009) return fail("second BOF");
        switch (id) {
        case 0x0009:
            break;
        case 0x0042:
            if (len != 2 || labels) return fail("bad CODEPAGE or one after a LABEL");
            page = static_cast<int>(get16(p));
            break;
        case 0x0000:
            if (len != 8 || nrows >= 0) return fail("bad or repeated DIMENSIONS");
            if (get16(p) != 0 || get16(p + 4) != 0) return fail("DIMENSIONS not from 0");
            nrows = static_cast<int>(get16(p + 2));
            ncols = static_cast<int>(get16(p + 6));
            if (ncols > biff_max_columns) return fail("more than 256 columns");
            break;
        case 0x0003:
        case 0x0004: {
            if (nrows < 0) return fail("cell before DIMENSIONS");
            if (len < 8) return fail("short cell record");
            biff_cell c;
            c.row = static_cast<int>(get16(p));
            c.column = static_cast<int>(get16(p + 2));
            if (c.row >= nrows || c.column >= ncols) return fail("cell outside DIMENSIONS");
            if (id == 0x0003) {
                if (len != 15) return fail("NUMBER of length " + std::to_string(len));
                c.number = true;
                std::memcpy(&c.value, p + 7, 8);
            } else {
                if (len != 8u + p[7]) return fail("LABEL length does not match its text");
                if (p[7] == 0) return fail("empty LABEL");
                c.text =
                    plain_ascii(reinterpret_cast<const char*>(p + 8), p[7])
                        ? std::string(reinterpret_cast<const char*>(p + 8), p[7])
                        : code_page_text_utf8(reinterpret_cast<const char*>(p + 8), p[7], page);
                labels = true;
            }
            if (cells) cells->push_back(std::move(c));
            break;
        }
        case 0x000A:
            if (len != 0) return fail("EOF with data");
            if (at + 4 != size) return fail("bytes after EOF");
            if (nrows < 0) return fail("no DIMENSIONS");
            if (rows) *rows = nrows;
            if (columns) *columns = ncols;
            if (code_page) *code_page = page;
            return true;
        default:
            return fail("unknown record " + std::to_string(id));
        }
        first = false;
        at += 4 + len;
    }
}

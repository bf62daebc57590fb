// Table answers into matrices (see tables.h).
#include "datalinks/tables.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/types.h"

namespace sheets {

namespace {

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// A matrix of rows x columns, all NA; none beyond the cell limit.
std::optional<data_matrix> make_matrix(std::int64_t rows, std::int64_t cols, bool transposed) {
    if (rows < 1 || cols < 1 || rows * cols > kMaxTableCells) return std::nullopt;
    data_matrix m;
    m.values.assign(static_cast<std::size_t>(rows * cols), NA);
    m.outer = static_cast<std::int32_t>(transposed ? cols : rows);
    m.inner = static_cast<std::int32_t>(transposed ? rows : cols);
    return m;
}

// Cells of a matrix addressed by row and column whatever its orientation.
struct cells {
    data_matrix& m;
    std::int64_t rows, cols;
    bool transposed;
    void set(std::int64_t r, std::int64_t c, float v) {
        if (r < 0 || c < 0 || r >= rows || c >= cols) return;
        m.values[static_cast<std::size_t>(transposed ? c * rows + r : r * cols + c)] = v;
    }
    void bad(std::int64_t r, std::int64_t c) {
        if (m.first_bad_row >= 0) return;
        m.first_bad_row = static_cast<std::int32_t>(r);
        m.first_bad_column = static_cast<std::int32_t>(c);
    }
};

// sscanf "%g" of a text that need not end with a zero.
float scan_float(std::string_view s) {
    char buf[64];
    const std::size_t n = std::min(s.size(), sizeof buf - 1);
    std::memcpy(buf, s.data(), n);
    buf[n] = 0;
    float v = 0;
    return std::sscanf(buf, "%g", &v) == 1 ? v : NA;
}

} // namespace

double text_to_number(std::string_view t) {
    std::size_t i = 0;
    auto blanks = [&] {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    };
    auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        return i > from;
    };
    blanks();
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (!digits()) return NA;
    blanks();
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (!digits()) return NA;
        blanks();
    }
    if (i != t.size() || t.size() > 200) return NA;
    // The conversion stops at the first blank, so an exponent written after
    // blanks ("12 E3") is not part of the number: 12, as the links have
    // always read such a cell.
    const std::string text(t);
    double v = 0;
    return std::sscanf(text.c_str(), "%lg", &v) == 1 ? v : NA;
}

std::optional<data_matrix> parse_xltable(std::string_view data, bool transposed) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t n = data.size();
    if (n < 8 || le16(p) != 16 || le16(p + 2) < 4) return std::nullopt;
    const std::int64_t rows = le16(p + 4), cols = le16(p + 6);
    std::optional<data_matrix> made = make_matrix(rows, cols, transposed);
    if (!made) return std::nullopt;
    cells out{*made, rows, cols, transposed};
    std::int64_t pos = 0; // cells so far, in row order
    std::size_t at = 4u + le16(p + 2);
    auto put = [&](float v, bool number) {
        const std::int64_t r = pos / cols, c = pos % cols;
        if (number)
            out.set(r, c, v);
        else
            out.bad(r, c);
        ++pos;
    };
    while (pos < rows * cols && at < n) {
        if (n - at < 4) return std::nullopt;
        const std::uint16_t type = le16(p + at), count = le16(p + at + 2);
        if (n - at - 4 < count) return std::nullopt;
        const unsigned char* d = p + at + 4;
        std::size_t k = 0;
        switch (type) {
        case 1: // floats
            for (; k + 8 <= count && pos < rows * cols; k += 8) {
                double v;
                std::memcpy(&v, d + k, 8);
                put(static_cast<float>(v), true);
            }
            break;
        case 2: // strings: a length byte, then the characters
            while (k < count && pos < rows * cols) {
                const std::size_t len = d[k];
                if (count - k - 1 < len) return std::nullopt;
                const std::string_view s(reinterpret_cast<const char*>(d + k + 1),
                                         std::min<std::size_t>(len, 40));
                const double v = text_to_number(s);
                put(static_cast<float>(v), !is_na(v));
                k += 1 + len;
            }
            break;
        case 3: // booleans
            for (; k + 2 <= count && pos < rows * cols; k += 2) put(le16(d + k), true);
            break;
        case 6: // integers, signed
            for (; k + 2 <= count && pos < rows * cols; k += 2)
                put(static_cast<std::int16_t>(le16(d + k)), true);
            break;
        case 4: // errors
            for (; k + 2 <= count && pos < rows * cols; k += 2) put(NA, false);
            break;
        case 5: { // blanks: a count of cells
            if (count < 2) return std::nullopt;
            const std::uint16_t skip = le16(d);
            out.bad(pos / cols, pos % cols);
            pos += skip;
            break;
        }
        default:
            return std::nullopt; // skip records and unknown types
        }
        at += 4u + count;
    }
    return made;
}

std::optional<data_matrix> parse_wk1_table(std::string_view data, bool transposed) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t n = data.size();
    if (n < 6 || p[0] != 0 || p[1] != 0 || p[2] != 2 || p[5] != 4) return std::nullopt;
    struct wk1_cell {
        std::int64_t row, col;
        float value;
        bool number;
    };
    std::vector<wk1_cell> found;
    std::size_t at = 6;
    bool ended = false;
    while (at < n) {
        if (n - at < 4) return std::nullopt;
        const std::uint16_t type = le16(p + at), len = le16(p + at + 2);
        if (n - at - 4 < len) return std::nullopt;
        const unsigned char* d = p + at + 4;
        if (type == 1) {
            ended = true;
            break;
        }
        if (type >= 13 && type <= 16) {
            const std::size_t need = type == 13 ? 7 : type == 15 ? 6 : 13;
            if (len < need) return std::nullopt;
            wk1_cell c{le16(d + 3), le16(d + 1), NA, true};
            if (type == 13) {
                c.value = static_cast<std::int16_t>(le16(d + 5));
            } else if (type == 15) {
                const auto* s = reinterpret_cast<const char*>(d + 5);
                c.value = scan_float(std::string_view(s, strnlen(s, len - 5u)));
                c.number = !is_na(c.value);
            } else {
                double v;
                std::memcpy(&v, d + 5, 8);
                // An error cell (a NaN) or a number beyond the floats: no number.
                if (std::isfinite(v) && std::fabs(v) <= FLT_MAX) {
                    c.value = static_cast<float>(v);
                } else {
                    c.value = NA;
                    c.number = false;
                }
            }
            if (found.size() >= static_cast<std::size_t>(kMaxTableCells)) return std::nullopt;
            found.push_back(c);
        }
        at += 4u + len;
    }
    // No cells: no table (not a table of negative size).
    if (!ended || found.empty()) return std::nullopt;
    std::int64_t r0 = 31000, c0 = 31000, r1 = 0, c1 = 0;
    for (const wk1_cell& c : found) {
        r0 = std::min(r0, c.row), c0 = std::min(c0, c.col);
        r1 = std::max(r1, c.row), c1 = std::max(c1, c.col);
    }
    if (r1 < r0 || c1 < c0) return std::nullopt;
    const std::int64_t rows = r1 - r0 + 1, cols = c1 - c0 + 1;
    std::optional<data_matrix> made = make_matrix(rows, cols, transposed);
    if (!made) return std::nullopt;
    cells out{*made, rows, cols, transposed};
    for (const wk1_cell& c : found) {
        if (c.number)
            out.set(c.row - r0, c.col - c0, c.value);
        else
            out.bad(c.row - r0, c.col - c0);
    }
    return made;
}

std::optional<data_matrix> parse_text_table(std::string_view text, bool transposed) {
    // First the shape: lines, and the most fields in one.
    std::int64_t rows = 0, cols = 0, fields = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\t') {
            ++fields;
        } else if (text[i] == '\n') {
            ++rows;
            cols = std::max(cols, fields);
            fields = 1;
        }
    }
    if (!text.empty() && text.back() != '\n') {
        ++rows;
        cols = std::max(cols, fields);
    }
    std::optional<data_matrix> made = make_matrix(rows, cols, transposed);
    if (!made) return std::nullopt;
    cells out{*made, rows, cols, transposed};
    std::int64_t r = 0, c = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\r')) ++i;
        std::size_t end = i;
        while (end < text.size() && text[end] != '\t' && text[end] != '\n') ++end;
        const float v = scan_float(text.substr(i, end - i));
        if (is_na(v))
            out.bad(r, c);
        else
            out.set(r, c, v);
        if (end >= text.size()) break;
        if (text[end] == '\t') {
            ++c;
        } else {
            ++r;
            c = 0;
        }
        i = end + 1;
    }
    return made;
}

} // namespace sheets

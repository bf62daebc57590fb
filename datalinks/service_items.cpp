// The readers and writers of the spreadsheet service (see service_items.h).
#include "datalinks/service_items.h"

#include "platform/gdi.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sheet_service {

using sheets::cell;
using sheets::cell_kind;
using sheets::sheet;
using sheets::workbook;

namespace {

std::string upper(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// A typed text as a cell: a whole number text is a number, empty is empty.
cell text_cell(workbook& wb, const std::string& t) {
    cell c;
    if (t.empty()) return c;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end && *end == 0 && end != t.c_str() && std::isfinite(v)) {
        c.kind = cell_kind::number;
        c.number = v;
        return c;
    }
    c.kind = cell_kind::text;
    c.text = wb.add_text(t);
    return c;
}

void put16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

} // namespace

// "A1", "A1:B2" or a defined name; false for anything else.
bool area_of(const sheets::workbook& wb, int sheet, const std::string& first,
             const std::string& last, area* out) {
    std::int64_t r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    std::string a = first, b = last;
    if (b.empty()) {
        const std::size_t colon = a.find(':');
        if (colon != std::string::npos) {
            b = a.substr(colon + 1);
            a = a.substr(0, colon);
        }
    }
    if (!sheets::parse_cell_ref(a, &r0, &c0)) {
        if (!b.empty()) return false;
        const sheets::named_range* n = wb.find_name(a);
        if (!n) return false;
        *out = {n->sheet, n->row0, n->col0, n->row1 - n->row0 + 1, n->col1 - n->col0 + 1};
        return true;
    }
    r1 = r0;
    c1 = c0;
    if (!b.empty() && !sheets::parse_cell_ref(b, &r1, &c1)) return false;
    if (r1 < r0) std::swap(r0, r1);
    if (c1 < c0) std::swap(c0, c1);
    *out = {sheet, r0 - 1, c0 - 1, r1 - r0 + 1, c1 - c0 + 1};
    return true;
}

bool r1c1_area(const std::string& item, int sheet, char row_letter_in, char col_letter_in,
               area* out) {
    // The row and column letters: R and C, or those given.
    const char row_letter =
        static_cast<char>(std::toupper(static_cast<unsigned char>(row_letter_in)));
    const char col_letter =
        static_cast<char>(std::toupper(static_cast<unsigned char>(col_letter_in)));
    auto number = [](const std::string& u, std::size_t* at, std::int64_t limit, std::int64_t* out) {
        std::int64_t v = 0;
        const std::size_t from = *at;
        while (*at < u.size() && std::isdigit(static_cast<unsigned char>(u[*at]))) {
            v = v * 10 + (u[(*at)++] - '0');
            if (v > limit) return false;
        }
        *out = v;
        return *at > from && v >= 1;
    };
    auto one = [&](const std::string& t, std::int64_t* r, std::int64_t* c) {
        const std::string u = upper(t);
        std::size_t at = 0;
        if (at >= u.size() || (u[at] != 'R' && u[at] != row_letter)) return false;
        ++at;
        if (!number(u, &at, sheets::kMaxRows, r)) return false;
        if (at >= u.size() || (u[at] != 'C' && u[at] != col_letter)) return false;
        ++at;
        return number(u, &at, sheets::kMaxColumns, c) && at == u.size();
    };
    std::int64_t r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    const std::size_t colon = item.find(':');
    if (!one(item.substr(0, colon), &r0, &c0)) return false;
    r1 = r0;
    c1 = c0;
    if (colon != std::string::npos && !one(item.substr(colon + 1), &r1, &c1)) return false;
    if (r1 < r0) std::swap(r0, r1);
    if (c1 < c0) std::swap(c0, c1);
    *out = {sheet, r0 - 1, c0 - 1, r1 - r0 + 1, c1 - c0 + 1};
    return true;
}

bool item_area(const sheets::workbook& wb, int sheet_index, bool lotus, const std::string& item,
               char row_letter, char col_letter, area* out) {
    if (lotus) {
        std::string rest = item;
        int sheet = sheet_index;
        const std::size_t colon = item.find(':');
        if (colon != std::string::npos) {
            sheet = wb.find_sheet(item.substr(0, colon));
            if (sheet < 0) return false;
            rest = item.substr(colon + 1);
        }
        const std::size_t dots = rest.find("..");
        if (dots == std::string::npos) return area_of(wb, sheet, rest, "", out);
        return area_of(wb, sheet, rest.substr(0, dots), rest.substr(dots + 2), out);
    }
    if (r1c1_area(item, sheet_index, row_letter, col_letter, out)) return true;
    // Else a defined name (cell addresses are R1C1 here, never A1).
    const sheets::named_range* n = wb.find_name(item);
    if (!n) return false;
    *out = {n->sheet, n->row0, n->col0, n->row1 - n->row0 + 1, n->col1 - n->col0 + 1};
    return true;
}

std::string text_block(const sheet& s, const workbook& wb, const area& a) {
    std::string out;
    for (std::int64_t r = 0; r < a.rows; ++r) {
        for (std::int64_t c = 0; c < a.cols; ++c) {
            if (c) out += '\t';
            const cell* k = s.at(a.row0 + r, a.col0 + c);
            if (!k) continue;
            if (k->kind == cell_kind::number) {
                char buf[40];
                std::snprintf(buf, sizeof buf, "%.15g", k->number);
                out += buf;
            } else if (k->kind == cell_kind::boolean) {
                out += k->number ? "TRUE" : "FALSE";
            } else if (k->text < wb.texts.size()) {
                out += wb.texts[k->text];
            }
        }
        out += "\r\n";
    }
    out += '\0';
    return out;
}

bool poke_text(workbook& wb, const area& a, std::string_view text, std::string* why) {
    // To the text's zero; a single-cell item takes the whole block, a range
    // only what falls inside it.
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos) text = text.substr(0, end);
    const bool one_cell = a.rows == 1 && a.cols == 1;
    std::int64_t r = 0, col = 0;
    std::string field;
    for (std::size_t k = 0; k <= text.size(); ++k) {
        const char ch = k < text.size() ? text[k] : '\n';
        if (ch == '\r') continue;
        if (ch != '\t' && ch != '\n') {
            field += ch;
            continue;
        }
        const bool trailing = k == text.size() && field.empty() && col == 0;
        if (!trailing && (one_cell || (r < a.rows && col < a.cols)) &&
            !wb.put(a.sheet, a.row0 + r, a.col0 + col, text_cell(wb, field), why))
            return false;
        field.clear();
        if (ch == '\t') {
            ++col;
        } else {
            ++r;
            col = 0;
        }
    }
    return true;
}

std::string xltable_block(const sheets::sheet& s, const sheets::workbook& book, std::int64_t row0,
                          std::int64_t col0, std::int64_t rows, std::int64_t cols) {
    std::string out;
    rows = std::min<std::int64_t>(rows, 0xFFFF);
    cols = std::min<std::int64_t>(cols, 0xFFFF);
    put16(out, 16);
    put16(out, 4);
    put16(out, static_cast<unsigned>(rows));
    put16(out, static_cast<unsigned>(cols));
    // Runs of cells of one kind make one record (at most 0xFFFF bytes).
    int kind = -1;
    std::string body;
    unsigned blanks = 0;
    auto flush = [&] {
        if (kind == 5) {
            put16(body, blanks);
            blanks = 0;
        }
        if (kind >= 0) {
            put16(out, static_cast<unsigned>(kind));
            put16(out, static_cast<unsigned>(body.size()));
            out += body;
        }
        body.clear();
        kind = -1;
    };
    const std::int64_t total = rows * cols;
    for (std::int64_t k = 0; k < total; ++k) {
        const std::int64_t r = k / cols, c = k % cols;
        const cell* x = s.at(row0 + r, col0 + c);
        const cell_kind ck = x ? x->kind : cell_kind::empty;
        const int want = ck == cell_kind::number    ? 1
                         : ck == cell_kind::text    ? 2
                         : ck == cell_kind::boolean ? 3
                         : ck == cell_kind::error   ? 4
                                                    : 5;
        if (want != kind || body.size() > 0xFF00 || (want == 5 && blanks == 0xFFFF)) flush();
        kind = want;
        switch (want) {
        case 1: {
            unsigned char b[8];
            std::memcpy(b, &x->number, 8);
            body.append(reinterpret_cast<const char*>(b), 8);
            break;
        }
        case 2: {
            std::string t = x->text < book.texts.size() ? book.texts[x->text] : "";
            if (t.size() > 255) t.resize(255);
            body.push_back(static_cast<char>(t.size()));
            body += t;
            break;
        }
        case 3:
            put16(body, x->number != 0 ? 1 : 0);
            break;
        case 4:
            put16(body, 42); // #N/A
            break;
        default:
            ++blanks;
            break;
        }
    }
    flush();
    return out;
}

std::string wk1_block(const sheets::sheet& s, const sheets::workbook& book, std::int64_t row0,
                      std::int64_t col0, std::int64_t rows, std::int64_t cols) {
    std::string out;
    put16(out, 0); // beginning of file, version 0x0406
    put16(out, 2);
    put16(out, 0x0406);
    rows = std::min<std::int64_t>(rows, 0xFFFF);
    cols = std::min<std::int64_t>(cols, 0xFFFF);
    for (std::int64_t r = 0; r < rows; ++r)
        for (std::int64_t c = 0; c < cols; ++c) {
            const cell* x = s.at(row0 + r, col0 + c);
            const cell_kind ck = x ? x->kind : cell_kind::empty;
            if (ck == cell_kind::number || ck == cell_kind::boolean || ck == cell_kind::error) {
                put16(out, 14);
                put16(out, 13);
                out.push_back(static_cast<char>(0xFF));
                put16(out, static_cast<unsigned>(c));
                put16(out, static_cast<unsigned>(r));
                // An error cell is a number no reader takes for one (a NaN),
                // not a blank label.
                const double v = ck == cell_kind::error ? std::nan("") : x->number;
                unsigned char b[8];
                std::memcpy(b, &v, 8);
                out.append(reinterpret_cast<const char*>(b), 8);
            } else {
                // A blank or text cell is a label, so the block keeps the
                // range's shape: its cells start at the range's corner.
                std::string t = "'";
                // Labels are one byte a character, in code page 437 ('?' for
                // what it lacks): the page the format's readers take them in.
                if (ck == cell_kind::text && x->text < book.texts.size())
                    t += program_text_in_code_page(book.texts[x->text].data(),
                                                   static_cast<int>(book.texts[x->text].size()),
                                                   437, nullptr);
                if (t.size() > 240) t.resize(240);
                put16(out, 15);
                put16(out, static_cast<unsigned>(5 + t.size() + 1));
                out.push_back(static_cast<char>(0xFF));
                put16(out, static_cast<unsigned>(c));
                put16(out, static_cast<unsigned>(r));
                out += t;
                out.push_back('\0');
            }
        }
    put16(out, 1);
    put16(out, 0);
    return out;
}

} // namespace sheet_service

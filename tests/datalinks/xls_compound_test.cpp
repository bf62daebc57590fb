// The .xls values reader over compound files built here record by record:
// a workbook stream at the mini-stream cut-off and past it, RK numbers in
// each of their four encodings, a row of them in one record, a formula's text
// result after its shared formula, and characters at the edge of two-byte
// UTF-8.
#include "datalinks/xls_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace sheets;

namespace {

void put16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, std::size_t at, std::uint32_t v) {
    put16(s, at, v & 0xFFFF);
    put16(s, at + 2, v >> 16);
}
std::string u16(std::uint32_t v) {
    std::string s(2, '\0');
    put16(s, 0, v);
    return s;
}
std::string u32(std::uint32_t v) {
    std::string s(4, '\0');
    put32(s, 0, v);
    return s;
}
std::string record(std::uint16_t id, const std::string& body) {
    return u16(id) + u16(static_cast<std::uint32_t>(body.size())) + body;
}
std::string bof() {
    return record(0x0809, u16(0x0600) + u16(0x0010) + std::string(12, '\0'));
}
std::string eof() {
    return record(0x000A, "");
}

// A BIFF8 workbook stream of one worksheet holding `cells` (records), padded
// with a record the reader passes over to exactly `size` bytes when given.
std::string workbook_stream(const std::string& cells, std::size_t size = 0) {
    const std::string sheet_name = "Sheet1";
    const auto boundsheet = [&](std::uint32_t at) {
        return record(0x0085, u32(at) + std::string(1, '\0') + std::string(1, '\0') +
                                  std::string(1, static_cast<char>(sheet_name.size())) +
                                  std::string(1, '\0') + sheet_name);
    };
    std::string globals = bof() + boundsheet(0);
    std::string filler;
    const std::size_t bare =
        globals.size() + eof().size() + bof().size() + cells.size() + eof().size();
    if (size) {
        EXPECT_GE(size, bare + 4);
        filler = record(0x00EB, std::string(size - bare - 4, '\0'));
    }
    globals += filler + eof();
    std::string w = bof() + boundsheet(static_cast<std::uint32_t>(globals.size())) + filler + eof();
    return w + bof() + cells + eof();
}

// A compound file (512-byte sectors) holding `stream` as "Workbook" in
// regular sectors: sector 0 the FAT, 1 the directory, 2 on the stream.
std::string compound_file(const std::string& stream) {
    const std::size_t sectors = (stream.size() + 511) / 512;
    std::string f(512 * (3 + sectors), '\0');
    f.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    put16(f, 0x18, 0x3E);
    put16(f, 0x1A, 3);
    put16(f, 0x1C, 0xFFFE);
    put16(f, 0x1E, 9);
    put16(f, 0x20, 6);
    put32(f, 0x2C, 1);          // one FAT sector
    put32(f, 0x30, 1);          // the directory's first sector
    put32(f, 0x38, 4096);       // the mini-stream cut-off
    put32(f, 0x3C, 0xFFFFFFFE); // no mini FAT
    put32(f, 0x44, 0xFFFFFFFE); // no DIFAT chain
    for (int k = 0; k < 109; ++k) put32(f, 0x4C + 4 * static_cast<std::size_t>(k), 0xFFFFFFFF);
    put32(f, 0x4C, 0);
    const std::size_t fat = 512;
    for (std::size_t k = 0; k < 128; ++k) put32(f, fat + 4 * k, 0xFFFFFFFF);
    put32(f, fat, 0xFFFFFFFD);     // sector 0: the FAT itself
    put32(f, fat + 4, 0xFFFFFFFE); // sector 1: the directory, one sector
    for (std::size_t k = 0; k < sectors; ++k)
        put32(f, fat + 4 * (2 + k),
              k + 1 < sectors ? static_cast<std::uint32_t>(3 + k) : 0xFFFFFFFEu);
    const auto entry = [&](std::size_t n, const std::string& name, int type, std::uint32_t start,
                           std::uint32_t size) {
        const std::size_t at = 1024 + 128 * n;
        for (std::size_t k = 0; k < name.size(); ++k) f[at + 2 * k] = name[k];
        put16(f, at + 64, static_cast<std::uint32_t>(2 * (name.size() + 1)));
        f[at + 66] = static_cast<char>(type);
        put32(f, at + 68, 0xFFFFFFFF);
        put32(f, at + 72, 0xFFFFFFFF);
        put32(f, at + 76, n == 0 ? 1 : 0xFFFFFFFF);
        put32(f, at + 116, start);
        put32(f, at + 120, size);
    };
    entry(0, "Root Entry", 5, 0xFFFFFFFE, 0);
    entry(1, "Workbook", 2, 2, static_cast<std::uint32_t>(stream.size()));
    f.replace(512 * 3, stream.size(), stream);
    return f;
}

// The cells' values; the stream is padded past the cut-off, as this builder
// has no mini stream.
std::vector<xls_value> values_of(const std::string& cells, std::size_t size = 4500) {
    std::vector<xls_value> v;
    EXPECT_TRUE(read_xls_values(compound_file(workbook_stream(cells, size)), &v));
    return v;
}

std::string number_cell(std::uint16_t row, std::uint16_t col, double x) {
    std::string d(8, '\0');
    std::memcpy(d.data(), &x, 8);
    return record(0x0203, u16(row) + u16(col) + u16(15) + d);
}

// A stream of exactly the cut-off (4096 bytes) and one longer lie in regular
// sectors, not in the mini stream: both read whole.
TEST(XlsCompound, AStreamAtTheCutOffIsReadFromRegularSectors) {
    for (std::size_t size : {std::size_t{4096}, std::size_t{5000}}) {
        const std::string stream = workbook_stream(number_cell(3, 1, 2.5), size);
        ASSERT_EQ(stream.size(), size);
        std::vector<xls_value> v;
        ASSERT_TRUE(read_xls_values(compound_file(stream), &v)) << size;
        ASSERT_EQ(v.size(), 1u) << size;
        EXPECT_EQ(v[0].row, 3u);
        EXPECT_EQ(v[0].col, 1u);
        EXPECT_EQ(v[0].number, 2.5);
    }
}

// RK: bit 1 set, a 30-bit integer; else the top 30 bits of a double; bit 0
// set, the value is a hundredth of that.
TEST(XlsCompound, RkNumbersInEachEncoding) {
    const auto rk = [](std::uint16_t col, std::uint32_t bits) {
        return record(0x027E, u16(0) + u16(col) + u16(15) + u32(bits));
    };
    const std::uint32_t minus_seven = static_cast<std::uint32_t>(-7) << 2;
    const auto v = values_of(rk(0, (5u << 2) | 2) + rk(1, (1234u << 2) | 3) + rk(2, 0x3FF80000) +
                             rk(3, 0x3FF80000 | 1) + rk(4, minus_seven | 2));
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[0].number, 5);
    EXPECT_DOUBLE_EQ(v[1].number, 12.34);
    EXPECT_EQ(v[2].number, 1.5);
    EXPECT_DOUBLE_EQ(v[3].number, 0.015);
    EXPECT_EQ(v[4].number, -7);
}

// MULRK: the row, the first column, then an (xf, RK) pair per cell, then the
// last column; each cell in its own column.
TEST(XlsCompound, ARowOfRkNumbersInOneRecord) {
    std::string body = u16(6) + u16(2);
    for (std::uint32_t n : {10u, 20u, 30u}) body += u16(15) + u32((n << 2) | 2);
    body += u16(4);
    const auto v = values_of(record(0x00BD, body));
    ASSERT_EQ(v.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(v[k].row, 6u);
        EXPECT_EQ(v[k].col, 2u + k);
        EXPECT_EQ(v[k].number, 10.0 * static_cast<double>(k + 1));
    }
}

// A formula with a text result: its STRING record may follow the shared
// formula record; two-byte characters 0x7FF and 0x800 are the last of two
// and the first of three UTF-8 bytes.
TEST(XlsCompound, AFormulasTextAfterItsSharedFormula) {
    std::string result(8, '\0');
    result[6] = '\xFF';
    result[7] = '\xFF'; // no number: the result type is in its first byte (0: text)
    const std::string formula =
        record(0x0006, u16(1) + u16(0) + u16(15) + result + u16(0) + u32(0) + u16(0));
    const std::string shared = record(0x04BC, std::string(10, '\0'));
    const std::string text =
        record(0x0207, u16(3) + std::string(1, '\1') + u16('A') + u16(0x7FF) + u16(0x800));
    const auto v = values_of(formula + shared + text);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(v[0].formula);
    EXPECT_EQ(v[0].kind, xls_kind::text);
    EXPECT_EQ(v[0].text, "A\xDF\xBF\xE0\xA0\x80");
}

// A formula's result other than a number: 0xFFFF in its last two bytes, the
// kind in the first (1 true or false, 2 an error by its code, 3 empty). The
// error texts are those the spreadsheet shows in the cell.
std::string formula_result(std::uint16_t row, unsigned kind, unsigned value) {
    std::string result(8, '\0');
    result[0] = static_cast<char>(kind);
    result[2] = static_cast<char>(value);
    result[6] = '\xFF';
    result[7] = '\xFF';
    return record(0x0006, u16(row) + u16(2) + u16(15) + result + u16(0) + u32(0) + u16(0));
}

TEST(XlsCompound, FormulaErrorsTrueFalseAndEmptyResults) {
    const std::pair<unsigned, const char*> errors[] = {
        {0x00, "#NULL!"}, {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
        {0x1D, "#NAME?"}, {0x24, "#NUM!"},   {0x2A, "#N/A"}};
    std::string cells;
    std::uint16_t row = 0;
    for (const auto& e : errors) cells += formula_result(row++, 2, e.first);
    cells += formula_result(row++, 1, 1);
    cells += formula_result(row++, 1, 0);
    cells += formula_result(row++, 3, 0);
    const auto v = values_of(cells);
    ASSERT_EQ(v.size(), std::size(errors) + 3);
    for (std::size_t k = 0; k < std::size(errors); ++k) {
        EXPECT_EQ(v[k].row, k);
        EXPECT_EQ(v[k].col, 2u);
        EXPECT_TRUE(v[k].formula);
        EXPECT_EQ(v[k].kind, xls_kind::error);
        EXPECT_EQ(v[k].text, errors[k].second);
    }
    const std::size_t b = std::size(errors);
    EXPECT_EQ(v[b].kind, xls_kind::boolean);
    EXPECT_EQ(v[b].number, 1);
    EXPECT_EQ(v[b + 1].kind, xls_kind::boolean);
    EXPECT_EQ(v[b + 1].number, 0);
    EXPECT_EQ(v[b + 2].kind, xls_kind::empty);
}

} // namespace

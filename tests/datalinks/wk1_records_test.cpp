// Worksheet (.wk1) records beyond labels and floating numbers: integer cells,
// named ranges, and records too short for what they must hold. Files are
// put together here from the record layout: a 2-byte type and a 2-byte
// length (both little-endian), then the body.
#include "datalinks/workbook.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace sheets;

namespace {

std::string le16(std::uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string record(std::uint16_t type, const std::string& body) {
    return le16(type) + le16(static_cast<std::uint16_t>(body.size())) + body;
}

// Beginning (version 0x0406), the records, end.
std::string sheet_of(const std::string& records) {
    return record(0x00, le16(0x0406)) + records + record(0x01, "");
}

// An integer cell: format byte, column, row, signed 16-bit value.
std::string integer_cell(std::uint16_t col, std::uint16_t row, std::int16_t v) {
    return record(0x0D, std::string(1, '\xFF') + le16(col) + le16(row) +
                            le16(static_cast<std::uint16_t>(v)));
}

// A named range: 16 bytes of name (zero-padded), then its corners.
std::string name_record(const std::string& name, std::uint16_t c0, std::uint16_t r0,
                        std::uint16_t c1, std::uint16_t r1) {
    std::string body = name;
    body.resize(16, '\0');
    return record(0x0B, body + le16(c0) + le16(r0) + le16(c1) + le16(r1));
}

TEST(Wk1Records, IntegerCellsKeepTheirSign) {
    workbook b;
    std::string why;
    const std::string bytes =
        sheet_of(integer_cell(2, 4, -3) + integer_cell(0, 0, 32767) + integer_cell(1, 0, -32768));
    ASSERT_EQ(read_workbook_bytes(bytes, file_kind::wk1, "s", &b, &why), 1) << why;
    const sheet& s = b.sheets[0];
    ASSERT_NE(s.at(4, 2), nullptr);
    EXPECT_EQ(s.at(4, 2)->kind, cell_kind::number);
    EXPECT_EQ(s.at(4, 2)->number, -3.0);
    ASSERT_NE(s.at(0, 0), nullptr);
    EXPECT_EQ(s.at(0, 0)->number, 32767.0);
    ASSERT_NE(s.at(0, 1), nullptr);
    EXPECT_EQ(s.at(0, 1)->number, -32768.0);
}

TEST(Wk1Records, NamedRangesAreFoundAndBackwardOnesLeftOut) {
    workbook b;
    std::string why;
    const std::string bytes =
        sheet_of(name_record("prices", 0, 1, 1, 5) + name_record("backward", 3, 2, 1, 2) +
                 name_record("", 0, 0, 0, 0) + integer_cell(0, 1, 7));
    ASSERT_EQ(read_workbook_bytes(bytes, file_kind::wk1, "s", &b, &why), 1) << why;
    const named_range* r = b.find_name("PRICES");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->sheet, 0);
    EXPECT_EQ(r->col0, 0);
    EXPECT_EQ(r->row0, 1);
    EXPECT_EQ(r->col1, 1);
    EXPECT_EQ(r->row1, 5);
    EXPECT_EQ(b.find_name("backward"), nullptr) << "its corners are the wrong way round";
    EXPECT_EQ(b.names.size(), 1u);
}

TEST(Wk1Records, RecordsTooShortForTheirCellAreRefused) {
    const std::string start = record(0x00, le16(0x0406));
    const struct {
        std::string rec;
        const char* what;
    } cases[] = {
        {record(0x0D, std::string("\xFF\x00\x00\x00\x00", 5)), "a short integer record at byte 6"},
        {record(0x0B, std::string(20, 'n')), "a short name record at byte 6"},
    };
    for (const auto& c : cases) {
        workbook b;
        std::string why;
        EXPECT_EQ(
            read_workbook_bytes(start + c.rec + record(0x01, ""), file_kind::wk1, "s", &b, &why),
            0);
        EXPECT_EQ(why, c.what);
    }
}

} // namespace

namespace {

// A label cell: format byte, column, row, the alignment prefix, the text and
// its zero.
std::string label_cell(std::uint16_t col, std::uint16_t row, const std::string& text) {
    return record(0x0F, std::string(1, '\xFF') + le16(col) + le16(row) + "'" + text +
                            std::string(1, '\0'));
}

// Labels are code page 437 unless they are whole UTF-8 as they stand; an
// overlong UTF-8 form is no UTF-8 (it would hide one character in another).
TEST(Wk1Records, LabelsAreCodePage437UnlessWholeUtf8) {
    workbook b;
    std::string why;
    const std::string bytes =
        sheet_of(label_cell(0, 0, "caf\xC3\xA9") + label_cell(1, 0, "caf\x82") +
                 label_cell(2, 0, "\xC0\xAF") + label_cell(3, 0, "\xE2\x82"));
    ASSERT_EQ(read_workbook_bytes(bytes, file_kind::wk1, "s", &b, &why), 1) << why;
    const sheet& s = b.sheets[0];
    auto text = [&](int col) {
        const cell* c = s.at(0, col);
        return c && c->kind == cell_kind::text ? b.texts[c->text] : std::string("(none)");
    };
    EXPECT_EQ(text(0), "caf\xC3\xA9");
    EXPECT_EQ(text(1), "caf\xC3\xA9");          // 0x82 is e acute in 437
    EXPECT_EQ(text(2), "\xE2\x94\x94\xC2\xBB"); // 0xC0 a corner, 0xAF a guillemet
    EXPECT_EQ(text(3), "\xCE\x93\xC3\xA9");     // a cut-off sequence: 437 too
}

} // namespace

// Spreadsheet files for the data links' tests: the kept fixtures
// (tests/data/sheets/prices.*: one sheet "prices", the same numbers in every
// format) and .xlsx workbooks written here with libxlsxwriter.
#pragma once

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string fixture(const char* name) {
    return std::string(KAVREL_SOURCE_DIR) + "/tests/data/sheets/" + name;
}

inline std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A temporary folder, removed with its files.
struct temp_folder {
    temp_folder() {
        char tmpl[] = "/tmp/kavrel_sheets_XXXXXX";
        const char* made = mkdtemp(tmpl);
        EXPECT_NE(made, nullptr);
        path = made ? made : "/tmp";
    }
    ~temp_folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const char* name) const { return path + "/" + name; }
    std::string path;
};

// The fixtures' layout, as an .xlsx: times 0..4 in B1:F1, series a and b in
// rows 2 and 3, constants k in B5:E6, and names over them.
inline void write_prices_xlsx(const std::string& path) {
    lxw_workbook* wb = workbook_new(path.c_str());
    ASSERT_NE(wb, nullptr);
    lxw_worksheet* ws = workbook_add_worksheet(wb, "prices");
    worksheet_write_string(ws, 0, 0, "Time", nullptr);
    worksheet_write_string(ws, 1, 0, "a", nullptr);
    worksheet_write_string(ws, 2, 0, "b", nullptr);
    for (int c = 0; c < 5; ++c) {
        worksheet_write_number(ws, 0, static_cast<lxw_col_t>(c + 1), c, nullptr);
        worksheet_write_number(ws, 1, static_cast<lxw_col_t>(c + 1), 10 + c, nullptr);
        worksheet_write_number(ws, 2, static_cast<lxw_col_t>(c + 1), c == 1 ? 21.5 : 20 + c,
                               nullptr);
    }
    worksheet_write_string(ws, 4, 0, "k", nullptr);
    for (int c = 0; c < 4; ++c) {
        worksheet_write_number(ws, 4, static_cast<lxw_col_t>(c + 1), 1 + c, nullptr);
        worksheet_write_number(ws, 5, static_cast<lxw_col_t>(c + 1), 5 + c, nullptr);
    }
    worksheet_write_string(ws, 6, 0, "note", nullptr);
    worksheet_write_string(ws, 6, 1, "hello", nullptr);
    worksheet_write_boolean(ws, 6, 2, 1, nullptr);
    workbook_define_name(wb, "Times", "=prices!$B$1:$F$1");
    workbook_define_name(wb, "Series", "=prices!$B$2:$F$3");
    workbook_define_name(wb, "Ks", "=prices!$B$5:$E$5");
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
}

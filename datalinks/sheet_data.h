// Spreadsheet data for data and constant equations (GET XLS DATA, GET XLS
// CONSTANTS, GET XLS LOOKUPS and the 1-2-3 forms): the call's texts name the
// file, the sheet, the time row or column and the first cell (or named
// ranges); the numbers come from the file read straight into a workbook.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datalinks/workbook.h"

struct data_source_call;

namespace sheets {

// How the time text of a data call reads: a row number ("5"), a column
// ("A" .. "XFD") or a named range (anything else).
struct time_ref {
    enum { row, column, name } kind = name;
    std::int64_t index = 0; // 1-based row or column
};
time_ref parse_time_ref(const std::string& text);

// A rectangle read out of a sheet: outer entries of inner values, NA where a
// cell holds no number. transposed: the outer entries are the columns.
struct matrix {
    std::vector<std::vector<float>> outer;
    std::int64_t gap_outer = -1, gap_inner = -1; // the first cell without a number
    // The first cell read other than as it stands (an error cell, a number
    // beyond or below the simulation's 32-bit numbers): sheet row and column
    // (0-based) and what became of it; note_row -1 when none.
    std::int64_t note_row = -1, note_col = -1;
    std::string note;
    // Every other such cell, in reading order (at most max_more of them; the
    // count of all in more_count).
    struct cell_remark {
        std::int64_t row, col;
        std::string note;
    };
    static constexpr std::size_t max_more = 10000;
    std::vector<cell_remark> more;
    std::int64_t more_count = 0;
};
// Warns of a matrix's notes, naming each cell, the file and the sheet.
void report_cell_note(const matrix& m, const std::string& file, const std::string& sheet_name);
matrix request_range(const sheet& s, std::int64_t row0, std::int64_t col0, std::int64_t rows,
                     std::int64_t cols, bool transposed, const workbook* book = nullptr);

// The workbook of a file, read once and kept while its size and time stay
// the same. Null with the reason in why.
const workbook* open_workbook(const std::string& path, std::string* why);
void forget_workbooks();

// get_xls_data and get_xls_constants over the engine's call: fills times and
// values per element (data and lookup forms) or values alone (constants).
// 1 on success; 0 after the messages, with nothing filled.
int get_xls_data(const data_source_call& call, std::vector<std::vector<float>>* times,
                 std::vector<std::vector<float>>* values);
int get_xls_constants(const data_source_call& call, std::vector<std::vector<float>>* values);
int read_sheet_data_source(const data_source_call& call, std::vector<std::vector<float>>* times,
                           std::vector<std::vector<float>>* values);

} // namespace sheets

// Makes the engine's data-source reader hand the spreadsheet forms to
// sheets::read_sheet_data_source.
void install_spreadsheet_sources();

// The table answers a spreadsheet program gives to a data request: the
// "XlTable" and "WK1" clipboard blocks and tab-separated text, read into a
// matrix of numbers. Every read is bounded by the block's size and every
// write by the table's rows x columns; a block that lies about either gives
// no matrix.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sheets {

struct data_matrix {
    std::vector<float> values;          // outer x inner, NA where no number came
    std::int32_t outer = 0, inner = 0;  // rows x columns (transposed: columns x rows)
    std::int32_t first_bad_column = -1; // the first cell without a number, 0-based
    std::int32_t first_bad_row = -1;
};

// The most cells a table may declare (the data links' sheet limit).
constexpr std::int64_t kMaxTableCells = std::int64_t{16} << 20;

// A whole number with an optional exponent ("12", " -3 E 2 "), else NA: a
// decimal point or a thousands separator is not a number here.
double text_to_number(std::string_view text);

std::optional<data_matrix> parse_xltable(std::string_view data, bool transposed);
std::optional<data_matrix> parse_wk1_table(std::string_view data, bool transposed);
std::optional<data_matrix> parse_text_table(std::string_view text, bool transposed);

} // namespace sheets

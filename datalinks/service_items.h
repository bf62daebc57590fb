// What the spreadsheet service reads from its clients and writes back: the
// items of requests and pokes (ranges or defined names), poked text, and the
// answers as "XlTable", "WK1" or tab-separated text. Windowless, so each is
// fuzzed on its own; every item is bounded by the sheet's limits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "datalinks/workbook.h"

namespace sheet_service {

// A rectangle of a sheet, 0-based.
struct area {
    int sheet = 0;
    std::int64_t row0 = 0, col0 = 0, rows = 0, cols = 0;
};

// "A1", "A1:B2" (or first and last apart) or a defined name.
bool area_of(const sheets::workbook& wb, int sheet, const std::string& first,
             const std::string& last, area* out);
// "R5C2:R54C2" or "R5C2", the letters R and C or the given ones, any case.
bool r1c1_area(const std::string& item, int sheet, char row_letter, char col_letter, area* out);
// An item of the Excel service (R1C1 or a defined name, never A1) or of the
// 1-2-3 one ("[sheet:]A1..B2", "A1" or a name); sheet_index is the topic's.
bool item_area(const sheets::workbook& wb, int sheet_index, bool lotus, const std::string& item,
               char row_letter, char col_letter, area* out);
// Poked text (tab-separated, lines by line feeds, to its zero) into the
// cells from the area's first: a single cell takes the whole block, a range
// only what falls inside it. A whole number is a number, empty clears.
bool poke_text(sheets::workbook& wb, const area& a, std::string_view text, std::string* why);

// The answers (at most 65535 rows and columns).
std::string text_block(const sheets::sheet& s, const sheets::workbook& wb, const area& a);
std::string xltable_block(const sheets::sheet& s, const sheets::workbook& book, std::int64_t row0,
                          std::int64_t col0, std::int64_t rows, std::int64_t cols);
std::string wk1_block(const sheets::sheet& s, const sheets::workbook& book, std::int64_t row0,
                      std::int64_t col0, std::int64_t rows, std::int64_t cols);

} // namespace sheet_service

// Shared by the spreadsheet fuzz targets: reads the input as a spreadsheet
// file of one kind and walks what was read, as the data equations do.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "datalinks/sheet_data.h"
#include "datalinks/workbook.h"

inline void fuzz_sheet(const std::uint8_t* data, std::size_t size, sheets::file_kind kind) {
    sheets::workbook book;
    std::string why;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!sheets::read_workbook_bytes(bytes, kind, "fuzz", &book, &why)) {
        if (why.empty()) __builtin_trap(); // a refusal always says why
        return;
    }
    for (const sheets::sheet& s : book.sheets) {
        const std::int64_t rows = std::min<std::int64_t>(s.used_rows(), 200);
        const std::int64_t cols = std::min<std::int64_t>(s.used_columns(), 200);
        sheets::request_range(s, 0, 0, rows, cols, false);
        sheets::request_range(s, 0, 0, rows, cols, true);
        for (const auto& row : s.rows)
            for (const sheets::cell& c : row)
                if ((c.kind == sheets::cell_kind::text || c.kind == sheets::cell_kind::error) &&
                    c.text >= book.texts.size())
                    __builtin_trap();
    }
    for (const auto& [name, r] : book.names) {
        if (r.sheet < 0 || static_cast<std::size_t>(r.sheet) >= book.sheets.size() ||
            r.row0 > r.row1 || r.col0 > r.col1)
            __builtin_trap();
    }
}

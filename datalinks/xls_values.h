// The stored values an .xls workbook holds that the .xls library does not
// give as they stand: the results of formula cells (which it gives as empty)
// and the numbers behind date and time cells (which it gives as text, days
// over 24 hours and fractions of a second lost). Read from the workbook's
// records by our own bounded reader of the compound file and its BIFF8
// stream; the .xls reader lays them over what the library read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sheets {

enum class xls_kind { number, text, boolean, error, empty };

struct xls_value {
    int sheet = 0; // index among the workbook's worksheets, in their order
    std::uint32_t row = 0, col = 0;
    bool formula = false; // a formula's result (else a number cell's value)
    xls_kind kind = xls_kind::number;
    double number = 0;
    std::string text; // text results and error names, UTF-8
};

// The values of a whole .xls file; false (nothing kept) when the file is not
// a compound file with a BIFF8 workbook stream or any count in it is out of
// bounds.
bool read_xls_values(std::string_view file, std::vector<xls_value>* out);

// Appends a code point of the Basic Multilingual Plane as UTF-8.
void put_utf8(std::string& out, char32_t c);

} // namespace sheets

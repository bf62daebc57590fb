// Fuzz target of the spreadsheet readers: the input read as an .xlsx and as an .ods workbook.
#include "fuzz/sheet_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_sheet(data, size, sheets::file_kind::xlsx);
    fuzz_sheet(data, size, sheets::file_kind::ods);
    return 0;
}

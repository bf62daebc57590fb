// Fuzz target of the spreadsheet readers: the input read as a .csv and as a .tab sheet.
#include "fuzz/sheet_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_sheet(data, size, sheets::file_kind::csv);
    fuzz_sheet(data, size, sheets::file_kind::tab);
    return 0;
}

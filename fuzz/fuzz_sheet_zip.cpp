// Fuzz target of the zip checks and mends the .xlsx and .ods readers make in
// their child process before the import library reads a workbook: here in
// the fuzzer's own process, where a fault is a finding. The input is read as
// an .xlsx and as an .ods archive; a mended archive must pass the checks
// again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "datalinks/workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (sheets::file_kind kind : {sheets::file_kind::xlsx, sheets::file_kind::ods}) {
        std::string why;
        const std::string mended = sheets::mend_archive(bytes, kind, &why);
        if (mended.empty()) {
            if (why.empty()) __builtin_trap(); // a refusal always says why
            continue;
        }
        if (!sheets::check_zip(mended, &why)) __builtin_trap();
    }
    return 0;
}

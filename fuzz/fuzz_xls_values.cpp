// Fuzz target of our own reader of an .xls file's stored values (formula
// results, the numbers of dates): the .xls reader runs it in its child
// process, where a crash would pass for the file's refusal, so it is fuzzed
// here in the fuzzer's own process.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "datalinks/xls_values.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<sheets::xls_value> values;
    if (!sheets::read_xls_values(std::string_view(reinterpret_cast<const char*>(data), size),
                                 &values))
        return 0;
    for (const sheets::xls_value& v : values)
        if (v.sheet < 0 || v.row > 0xFFFF || v.col > 0xFFFF + 0x3FFFu) __builtin_trap();
    return 0;
}

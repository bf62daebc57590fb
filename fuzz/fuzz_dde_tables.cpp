// Fuzz target of the table answers of a data request: the input read as an
// "XlTable" block, a "WK1" block and tab-separated text, each way round.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "datalinks/tables.h"

namespace {
void check(const std::optional<sheets::data_matrix>& m) {
    if (!m) return;
    // The matrix holds exactly its cells; a bad position lies within them.
    if (m->outer < 1 || m->inner < 1 ||
        m->values.size() != static_cast<std::size_t>(m->outer) * static_cast<std::size_t>(m->inner))
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (bool transposed : {false, true}) {
        check(sheets::parse_xltable(bytes, transposed));
        check(sheets::parse_wk1_table(bytes, transposed));
        check(sheets::parse_text_table(bytes, transposed));
    }
    if (size < 256) sheets::text_to_number(bytes);
    return 0;
}

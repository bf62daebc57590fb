// Reads arbitrary bytes as a binary graph-set file (.kgf). Every cell, count
// and chain is checked by the reader: no read outside the bytes, and a set
// that loads has only definitions with their items and writes as text.
#include "foundation/report.h"
#include "graphs/sets/graphset.h"
#include "graphs/sets/kgf.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool once = [] {
        set_report_stream(std::fopen("/dev/null", "w"));
        return true;
    }();
    (void)once;
    graph_set set;
    const kgf_result r = read_kgf_bytes(data, size, "fuzz.kgf", set, 1);
    if (r != kgf_loaded) {
        if (!set.defs.empty()) std::abort();
        return 0;
    }
    for (const graph_def& d : set.defs) {
        const bool has_items =
            (d.kind == gd_line && !d.vars.empty()) || (d.kind == gd_bar && !d.bar_vars.empty()) ||
            (d.kind == gd_table && !d.items.empty()) || (d.kind == gd_report && !d.lines.empty());
        if (!has_items || d.window != 0) std::abort();
    }
    std::string error;
    (void)graph_set_text(set, true, &error);
    return 0;
}

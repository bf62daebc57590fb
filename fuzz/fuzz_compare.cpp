// Fuzz target of the run comparison and the Datasets page's information
// reader: the input is two run files (a 4-byte length of the first, then the
// first, then the second), both opened through the run reader and compared
// for every class both ways; the first is also read for its information.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "fuzz/fuzz_files.h"
#include "runs/compare.h"
#include "runs/runfile.h"
#include "runs/runinfo.h"

namespace {
int quiet(int kind, const char*, const char* text) {
    if (kind == 10) std::fprintf(stderr, "internal error: %s\n", text ? text : "");
    return 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool once = [] {
        set_memory_debug(true);
        return true;
    }();
    (void)once;
    set_message_hook(quiet);
    report_message_level = 11;
    reset_report_counts();
    if (size < 4) return 0;
    std::uint32_t first = 0;
    std::memcpy(&first, data, 4);
    const std::size_t rest = size - 4;
    const std::size_t n1 = first < rest ? first : rest;
    const std::uint8_t* a = data + 4;
    const std::uint8_t* b = a + n1;
    const std::size_t n2 = rest - n1;

    run_file_info info;
    parse_run_file_info(a, n1, info);
    run_info_message("x", info);
    std::string p1 = fuzz_input_file("one.kdf", a, n1);
    std::string p2 = fuzz_input_file("two.kdf", b, n2);
    if (!p1.empty()) read_run_file_info(p1.c_str(), info);
    text_report(0, 0, 0, report_none, 0, 0);
    const int r1 = p1.empty() ? -1 : kdf_open(p1.c_str());
    const int r2 = p2.empty() ? -1 : kdf_open(p2.c_str());
    if (r1 >= 0) loaded_run_info(r1, info);
    for (int cls : {23, 26, 5, 22, 8, 17, 19}) {
        compare_runs("one", r1, "two", r2, 0, cls, 0, 0);
        compare_runs("two", r2, "one", r1, 1, cls, 0, 0);
        compare_runs("one", r1, "two", r2, 0, cls, 0.1f, 0.5f);
    }
    clear_report_lines();
    free_loaded_runs();
    free_scratch();
    std::remove(p1.c_str());
    std::remove(p2.c_str());
    if (report_counts[10] != 0) __builtin_trap();
    return 0;
}

// Reads arbitrary bytes as a tool set file, writes the tools it placed and
// reads that again: nothing may crash, the second read must place as many
// tools, and (while the grid keeps within the rows a file may name) writing
// it again must give the same text (for a read that placed tools).
#include "shell/toolset.h"

#include "foundation/report.h"
#include "fuzz/fuzz_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Questions (the version one) are answered Yes, so the file is read.
int yes_hook(int kind, const char*, const char*) {
    return kind >= question_yes_no ? 6 : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        set_message_hook(yes_hook);
        set_report_stream(std::fopen("/dev/null", "w"));
        return true;
    }();
    (void)quiet;
    std::string path = fuzz_input_file("in.kts", data, size);
    if (path.empty()) return 0;
    free_toolset(0);
    int n = read_toolset(path.c_str(), 0);
    if (n < 0) std::abort();
    std::string first = write_toolset_text(0);
    const int rows = palette_cells.rows;
    free_toolset(0);

    std::string again = fuzz_input_file(
        "again.kts", reinterpret_cast<const std::uint8_t*>(first.data()), first.size());
    if (again.empty()) return 0;
    int m = read_toolset(again.c_str(), 0);
    if (m != n) std::abort();
    if (n > 0 && rows <= 64 && write_toolset_text(0) != first) std::abort();
    free_toolset(0);
    return 0;
}

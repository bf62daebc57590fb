// Fuzz target: opening a packaged model: the package opened from disk, its
// main member chosen and read through the file layer as a model, then closed.
// Mutants get their checksums repaired (as in fuzz_package) so the model
// inside is fuzzed too; one in eight keeps its damage.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/memory.h"
#include "foundation/package.h"
#include "foundation/report.h"
#include "fuzz/fuzz_files.h"
#include "fuzz/package_repair.h"
#include "model/model.h"
#include "model/modelfile.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t max_size, unsigned int seed) {
    size = LLVMFuzzerMutate(data, size, max_size);
    if (seed % 8 != 0) fuzz_package_repair::repair(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        init_vocabulary();
        set_message_hook([](int, const char*, const char*) { return 1; });
        set_password_hook([](const char*, char* out, std::size_t n) {
            std::snprintf(out, n, "%s", fuzz_package_repair::password);
            return 1;
        });
        return true;
    }();
    (void)ready;
    // The flags word (either byte order) says whether it is an application.
    bool app = size > 87 && ((data[84] | data[87]) & pkg_flag_application);
    std::string path = fuzz_input_file(app ? "fuzz.kpa" : "fuzz.kpm", data, size);
    if (path.empty()) return 0;
    open_model(1, 0, path.c_str(), 0);
    close_model(0, 0);
    close_package();
    free_scratch();
    return 0;
}

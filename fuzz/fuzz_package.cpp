// Fuzz target: the package reader (header, areas, directory, names, members).
//
// Most mutants get their checksums (and file length) repaired so that the
// parser behind the checks is fuzzed; one mutant in eight keeps its damage so
// the checks themselves stay covered.
#include <cstddef>
#include <cstdint>

#include "foundation/package.h"
#include "foundation/report.h"
#include "fuzz/package_repair.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

using fuzz_package_repair::password;
using fuzz_package_repair::repair;

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t max_size, unsigned int seed) {
    size = LLVMFuzzerMutate(data, size, max_size);
    if (seed % 8 != 0) repair(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        set_message_hook([](int, const char*, const char*) { return 1; });
        return true;
    }();
    (void)quiet;
    // With a password, so that packages that ask for one are read through too.
    package_check_bytes(data, size, "fuzz.kpm", password);
    return 0;
}

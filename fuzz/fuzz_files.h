// A folder of the fuzz process's own under the temporary folder, for targets
// that read their input from a file: removed when the process ends.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline const std::string& fuzz_temp_dir() {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvfuzz_XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        static std::string made = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made, ec);
        });
        return pattern;
    }();
    return dir;
}

// Writes the input to a file of that folder; the file's path, "" when it
// could not be written.
inline std::string fuzz_input_file(const char* name, const std::uint8_t* data, std::size_t size) {
    std::string path = fuzz_temp_dir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return {};
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) return {};
    return path;
}

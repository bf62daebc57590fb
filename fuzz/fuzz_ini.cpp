// Reads arbitrary bytes as a settings file, then uses, rewrites and re-reads
// it: the rewritten file must read back as the same table.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "foundation/ini.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "fuzz/fuzz_files.h"

namespace {

std::string work_dir() {
    static const bool ready = [] {
        set_ini_directory(fuzz_temp_dir().c_str());
        return true;
    }();
    (void)ready;
    return fuzz_temp_dir();
}

int silent_hook(int, const char*, const char*) {
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    set_message_hook(silent_hook);
    std::string path = work_dir() + "/input.ini";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    if (read_ini_file(path.c_str(), nullptr, 1) < 0) return 0;

    // Adding and removing a key (which may also be one the input had) comes
    // before the table is remembered, so the round trip compares like with like.
    ini_set("FuzzAdded", "value");
    ini_set("FuzzAdded", nullptr);

    // Remember the table through its public face.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::pair<std::string, std::string>> seen;
    int count = ini_count();
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        if (const char* value = ini_value(key.c_str())) {
            ini_get(key.c_str(), "");
            if (std::string(line_buf) != value) std::abort();
            seen.emplace_back(key, value);
        }
    }

    ini_get("absent key", "default");
    if (write_ini_file(2) < 0) return 0;
    if (read_ini_file(path.c_str(), nullptr, 1) < 0) std::abort();
    if (ini_count() != count) std::abort();
    for (const auto& [key, value] : seen) {
        const char* again = ini_value(key.c_str());
        if (!again || value != again) std::abort();
    }
    write_ini_file(0);
    return 0;
}

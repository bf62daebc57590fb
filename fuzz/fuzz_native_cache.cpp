// Fuzz target of the reader of the compiled-code cache's entries: the input
// read as an entry (for the key its header names, so the reader gets past
// the key, and for another), then as a file of the cache's folder found by
// that key. What reads as an entry must be what the writer writes for its
// object, and the folder must find exactly what the reader accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_files.h"
#include "sim/native/object_cache.h"

using namespace native_detail;

namespace {

std::string entry_path(const cache_key& key) {
    static const char hex[] = "0123456789abcdef";
    std::string name;
    for (unsigned char c : key) {
        name += hex[c >> 4];
        name += hex[c & 15];
    }
    return fuzz_temp_dir() + "/" + name + ".obj";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool folder = [] {
        set_native_cache_folder(fuzz_temp_dir());
        return true;
    }();
    (void)folder;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    cache_key key{};
    if (size >= 48) std::memcpy(key.data(), data + 16, key.size());
    std::string_view object;
    const bool read = read_cache_entry(bytes, key, &object);
    if (read) {
        const std::vector<char> again = make_cache_entry(key, object);
        if (std::string_view(again.data(), again.size()) != bytes) std::abort();
    }
    cache_key other = key;
    other[0] ^= 1;
    std::string_view ignored;
    if (read_cache_entry(bytes, other, &ignored)) std::abort();

    // The same bytes as a file of the folder, found by the key.
    const std::string path = entry_path(key);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
        if (std::fclose(f) == 0 && written) {
            std::vector<char> found;
            const bool in_folder = cache_find(key, found);
            if (in_folder != read) std::abort();
            if (in_folder && std::string_view(found.data(), found.size()) != object) std::abort();
        }
        std::remove(path.c_str());
    }
    return 0;
}

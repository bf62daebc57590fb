// Fuzz target: text sources read from a file and from line arrays. Besides
// not crashing, no byte may be lost: the lines read add up to the input with
// each line end (CR LF, LF or CR) counted once, up to the line holding the
// first NUL byte, where a file stops being text.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/report.h"
#include "foundation/textsrc.h"

namespace {

std::size_t expected_length(const std::uint8_t* data, std::size_t size) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
        ++n;
    }
    return n;
}

const std::string& scratch_file() {
    static const std::string path = [] {
        char tmpl[] = "/tmp/kvfuzztextXXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        return std::string(tmpl);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        set_message_hook([](int, const char*, const char*) { return 1; });
        return true;
    }();
    (void)quiet;
    const std::string& path = scratch_file();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }

    // Line by line: nothing lost. A NUL byte ends the reading (the inputs are
    // far below the line cap): then the lines before the one holding it, and
    // nothing of that line, are given.
    if (open_text_source(path.c_str(), 0, 0)) {
        std::size_t total = 0;
        while (read_line(0) == 1) total += std::strlen(line_buf);
        bool refused = text_source_refused() != 0;
        close_text_source();
        const void* nul = size ? std::memchr(data, 0, size) : nullptr;
        if (refused != (nul != nullptr)) std::abort();
        std::size_t whole = size;
        if (nul) {
            std::size_t at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data);
            whole = 0;
            for (std::size_t i = 0; i < at; ++i)
                if (data[i] == '\n' || data[i] == '\r') whole = i + 1;
        }
        if (total != expected_length(data, whole)) std::abort();
    }

    // Joined lines, with the continuation character taken from the input.
    int cont = size ? data[0] : '\\';
    if (open_text_source(path.c_str(), 0, size ? 1 : 0)) {
        while (read_joined_line(size > 1 && (data[1] & 1), cont) == 1) {
        }
        close_text_source();
    }

    // Nothing stays behind in the temporary folder.
    std::remove(path.c_str());

    // The same bytes as an array of lines split at NULs, nested.
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    std::vector<const char*> ptrs;
    for (const std::string& p : parts) ptrs.push_back(p.c_str());
    for (int depth = 0; depth < 6; ++depth)
        push_text_source(ptrs.data(), static_cast<int>(ptrs.size()), depth & 1);
    while (text_source_depth() > 0) {
        while (read_line(text_source_depth() & 1) == 1) {
        }
        close_text_source();
    }
    return 0;
}

// Reads arbitrary bytes as the error log the History window shows, whole and
// in pieces (their sizes taken from the input), as a log that grows while the
// window is open is read: nothing may crash, no line may pass the limit, and
// the pieces must give the lines of the whole.
#include "shell/history_read.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the piece sizes; the rest is the log.
    const unsigned seed = data[0];
    const char* log = reinterpret_cast<const char*>(data + 1);
    const std::size_t n = size - 1;

    std::vector<std::string> whole;
    history_reader r;
    r.take(log, n, &whole);
    if (r.taken() != n) std::abort();
    for (const std::string& line : whole)
        if (line.size() > static_cast<std::size_t>(history_line_limit)) std::abort();

    std::vector<std::string> pieces;
    history_reader p;
    std::size_t at = 0, k = 0;
    while (at < n) {
        std::size_t piece = 1 + ((seed * 31u + k * 7u) % 600u);
        if (piece > n - at) piece = n - at;
        p.take(log + at, piece, &pieces);
        at += piece;
        ++k;
    }
    if (pieces != whole) std::abort();
    return 0;
}

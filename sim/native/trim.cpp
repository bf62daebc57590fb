// The code generator's library pages handed back while it works (see
// code_trimmer in compile_internal.h).
#include <sys/mman.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "sim/native/compile_internal.h"

namespace native_detail {

// Only the mappings of libLLVM and of this module that were never writable:
// every page of them is the file's as it stands, so dropping one loses
// nothing (the relocated tables, written by the loader, are in other
// mappings). code_only keeps to the executable ones.
void advise_library_pages(int advice, bool code_only) {
    std::FILE* maps = std::fopen("/proc/self/maps", "r");
    if (!maps) return;
    char line[4096];
    while (std::fgets(line, sizeof line, maps)) {
        unsigned long from = 0, to = 0;
        char perms[5] = {};
        int path_at = 0;
        if (std::sscanf(line, "%lx-%lx %4s %*s %*s %*s %n", &from, &to, perms, &path_at) < 3 ||
            path_at <= 0 || perms[1] == 'w' || (code_only && std::strcmp(perms, "r-xp") != 0))
            continue;
        const char* path = line + path_at;
        const char* base = std::strrchr(path, '/');
        base = base ? base + 1 : path;
        if (std::strncmp(base, "libLLVM", 7) == 0 ||
            std::strncmp(base, "libkavrel_native", 16) == 0)
            madvise(reinterpret_cast<void*>(from), to - from, advice); // a hint: errors ignored
    }
    std::fclose(maps);
}

void drop_code_pages() {
#if defined(MADV_DONTNEED)
    advise_library_pages(MADV_DONTNEED, true);
#endif
}

code_trimmer::code_trimmer(bool periodic, std::chrono::microseconds every) {
    if (!periodic) return;
    try {
        thread_ = std::thread([this, every] {
            std::unique_lock<std::mutex> g(mutex_);
            while (!changed_.wait_for(g, every, [this] { return done_; })) {
                g.unlock();
                drop_code_pages();
                g.lock();
            }
        });
    } catch (const std::system_error&) {
        // no thread to be had: the pages stay until the end
    }
}

code_trimmer::~code_trimmer() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        done_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    drop_code_pages();
}

} // namespace native_detail

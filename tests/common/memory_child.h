// Whether a piece of work stays within a memory bound: it runs in a forked
// child whose address space may grow only so far, so an allocation past the
// bound ends the child instead of passing unseen. Sanitizer builds reserve
// far more address space than they use; there the bound is not applied.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>

#include "tests/common/child_wait.h"

namespace memory_child {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool bound_applies = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool bound_applies = false;
#else
inline constexpr bool bound_applies = true;
#endif
#else
inline constexpr bool bound_applies = true;
#endif

// Runs fn in a child whose address space may grow by at most extra bytes
// beyond what it uses at the start; true when the child ended normally and
// fn returned true.
template <typename F> bool within(std::size_t extra, F fn) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        long pages = 0;
        if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        if (bound_applies && pages > 0) {
            rlimit lim{};
            ::getrlimit(RLIMIT_AS, &lim);
            lim.rlim_cur =
                static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + extra;
            ::setrlimit(RLIMIT_AS, &lim);
        }
        ::_exit(fn() ? 0 : 1);
    }
    int status = 0;
    return child_wait::reap(pid, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace memory_child

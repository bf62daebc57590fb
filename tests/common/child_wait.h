// Waits for a test's child process for a bounded time: a child that hangs
// (a lock another thread of the parent held when it forked, a window system
// that never answers) is killed, and the test fails saying so, instead of
// holding the whole test run until the machine's own limit.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>

namespace child_wait {

// Reaps pid within seconds; true when it ended by itself (its wait status in
// *status), false when it was killed for running too long (*status then
// holds the kill's status).
inline bool reap(pid_t pid, int* status, int seconds = 120) {
    int local = 0;
    int* out = status ? status : &local;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const pid_t r = ::waitpid(pid, out, WNOHANG);
        if (r == pid) return true;
        if (r < 0) return false;
        if (std::chrono::steady_clock::now() >= until) break;
        ::usleep(5000);
    }
    std::fprintf(stderr, "child process %d still running after %d s: killed\n",
                 static_cast<int>(pid), seconds);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, out, 0);
    return false;
}

// Reads fd to its end, or until seconds pass; false when the time ran out.
inline bool read_all(int fd, std::string* in, int seconds = 120) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count() > 100 ? 100 : left.count()));
        if (ready < 0) return false;
        if (ready == 0) continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        in->append(buf, static_cast<std::size_t>(n));
    }
}

} // namespace child_wait

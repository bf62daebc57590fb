// Real write faults for tests, whoever runs them: a forked child writes under
// a file-size limit (SIGXFSZ ignored, so writes past it fail with EFBIG as on
// a full disk) and hands back what it reported; a process id that is known to
// have ended.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/report.h"
#include "tests/common/child_wait.h"

namespace fault_child {

struct said {
    int kind;
    std::string text;
};

inline std::vector<said>& child_said() {
    static std::vector<said> s;
    return s;
}

inline int child_hook(int kind, const char*, const char* text) {
    child_said().push_back({kind, text ? text : ""});
    return kind >= question_yes_no ? 7 : 0;
}

// Runs fn in a child whose files may grow to at most bytes; the messages it
// reported (questions answered no), and in result what fn returned (-999 when
// the child did not end normally).
template <typename F>
std::vector<said> under_size_limit(rlim_t bytes, F fn, int* result = nullptr) {
    int p[2];
    if (::pipe(p) != 0) return {};
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(p[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{};
        ::getrlimit(RLIMIT_FSIZE, &lim);
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
        set_report_stream(nullptr);
        set_log_line_writer(nullptr);
        child_said().clear();
        set_message_hook(child_hook);
        int r = fn();
        // One line per message: its kind, a blank, its text (line ends kept
        // apart as \r).
        std::string out = std::to_string(r) + "\n";
        for (said& m : child_said()) {
            for (char& c : m.text)
                if (c == '\n') c = '\r';
            out += std::to_string(m.kind) + " " + m.text + "\n";
        }
        std::size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::write(p[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(p[1]);
    std::string in;
    const bool read = child_wait::read_all(p[0], &in);
    ::close(p[0]);
    int status = 0;
    if (!child_wait::reap(pid, &status, read ? 120 : 0)) in.clear();
    if (result) *result = -999;
    std::vector<said> out;
    if (!WIFEXITED(status) || in.empty()) return out;
    std::size_t at = in.find('\n');
    if (result) *result = std::stoi(in.substr(0, at));
    while (at != std::string::npos && at + 1 < in.size()) {
        std::size_t end = in.find('\n', at + 1);
        std::string line = in.substr(at + 1, end - at - 1);
        std::size_t blank = line.find(' ');
        std::string text = line.substr(blank + 1);
        for (char& c : text)
            if (c == '\r') c = '\n';
        out.push_back({std::stoi(line.substr(0, blank)), text});
        at = end;
    }
    return out;
}

// The id of a process that has ended (and been reaped), so no process has it
// until the system hands it out again.
inline long ended_pid() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

} // namespace fault_child

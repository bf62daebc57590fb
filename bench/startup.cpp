// Start-up: the time from starting the viewer to the first paint of its
// window, beside the same for a bare Qt window (bench_bare_window), both on
// one X server. Each program is started afresh per measurement and tells its
// first paint on stderr (KAVREL_TRACE_FIRST_PAINT); the time runs from just
// before the spawn to the reading of that line. An Xvfb of its own is started
// unless KAVREL_BENCH_DISPLAY names a display to use.
#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            int stderr_fd) {
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (stderr_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stderr_fd, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The X server all measurements share.
struct Display {
    std::string name;
    pid_t server = -1;

    Display() {
        if (const char* given = std::getenv("KAVREL_BENCH_DISPLAY")) {
            name = given;
            return;
        }
        for (int n = 87; n < 120; ++n) {
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (fs::exists(socket) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
            name = ":" + std::to_string(n);
            server =
                spawn({"/usr/bin/Xvfb", name, "-screen", "0", "1600x1000x24", "-nolisten", "tcp"},
                      {}, -1);
            for (int i = 0; i < 100 && server > 0 && !fs::exists(socket); ++i) usleep(50000);
            if (server > 0 && fs::exists(socket)) return;
            break;
        }
        name.clear();
    }
    ~Display() {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
    }
};

Display& display() {
    static Display d;
    return d;
}

// One start: the seconds to the first paint, or a negative value when the
// program never told it (within ten seconds).
double time_to_first_paint(const std::vector<std::string>& argv, const std::string& home) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::vector<std::string> env = {"DISPLAY=" + display().name,
                                    "KAVREL_TRACE_FIRST_PAINT=1",
                                    "HOME=" + home,
                                    "XDG_CONFIG_HOME=" + home + "/.config",
                                    "XDG_RUNTIME_DIR=" + home,
                                    "QT_QPA_PLATFORM=xcb"};
    if (const char* path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
    clock_type::time_point start = clock_type::now();
    pid_t pid = spawn(argv, env, fds[1]);
    close(fds[1]);
    double seconds = -1;
    std::string seen;
    if (pid > 0) {
        char buffer[4096];
        for (;;) {
            pollfd p{fds[0], POLLIN, 0};
            int left =
                10000 -
                int(std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start)
                        .count());
            if (left <= 0 || poll(&p, 1, left) <= 0) break;
            ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            seen.append(buffer, std::size_t(n));
            if (seen.find("kavrel: first paint") != std::string::npos) {
                seconds = std::chrono::duration<double>(clock_type::now() - start).count();
                break;
            }
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(fds[0]);
    return seconds;
}

void measure(benchmark::State& state, const std::vector<std::string>& argv) {
    if (display().name.empty()) {
        state.SkipWithError("no X server (Xvfb) could be started");
        return;
    }
    std::string home =
        (fs::temp_directory_path() / ("kavrel-start-" + std::to_string(getpid()))).string();
    fs::create_directories(home + "/.config");
    // One start before the measured ones: the settings file is made, and the
    // program's files are in the page cache, as for a user starting it again.
    time_to_first_paint(argv, home);
    for (auto _ : state) {
        double seconds = time_to_first_paint(argv, home);
        if (seconds < 0) {
            state.SkipWithError("the program never painted its window");
            break;
        }
        state.SetIterationTime(seconds);
    }
    fs::remove_all(home);
}

void BM_StartBareQtWindow(benchmark::State& state) {
    measure(state, {KAVREL_BARE_WINDOW});
}
BENCHMARK(BM_StartBareQtWindow)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->Unit(benchmark::kMillisecond);

void BM_StartViewer(benchmark::State& state) {
    measure(state, {KAVREL_VIEWER});
}
BENCHMARK(BM_StartViewer)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->Unit(benchmark::kMillisecond);

void BM_StartViewerWithModel(benchmark::State& state) {
    measure(state, {KAVREL_VIEWER, KAVREL_SAMPLE_MODEL});
}
BENCHMARK(BM_StartViewerWithModel)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->Unit(benchmark::kMillisecond);

} // namespace

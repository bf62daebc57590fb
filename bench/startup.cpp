// Start-up: the time from starting the viewer to the first paint of its
// window, beside the same for a bare Qt window (bench_bare_window), both on
// one X server. Each program is started afresh per measurement and tells its
// first paint on stderr (KAVREL_TRACE_FIRST_PAINT); the time runs from just
// before the spawn to the reading of that line. An Xvfb of its own is started
// unless KAVREL_BENCH_DISPLAY names a display to use. The viewer's memory
// with the large sample, opened and simulated (Ctrl+R sent by xdotool), is
// measured on the same display.
#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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
// program never told it (within ten seconds). With running, the program is
// left running and its process id given there.
double time_to_first_paint(const std::vector<std::string>& argv, const std::string& home,
                           pid_t* running = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::vector<std::string> env = {"DISPLAY=" + display().name,
                                    "KAVREL_TRACE_FIRST_PAINT=1",
                                    "HOME=" + home,
                                    "XDG_CONFIG_HOME=" + home + "/.config",
                                    "XDG_RUNTIME_DIR=" + home,
                                    "QT_QPA_PLATFORM=xcb"};
    if (const char* path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "KAVREL_NATIVE", 13) == 0) env.push_back(*e);
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
        if (running && seconds >= 0) {
            *running = pid;
        } else {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
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

// A field of /proc/PID/status in MB (VmRSS, VmHWM), or -1.
double status_mb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field)) / 1024;
    return -1;
}

// The resident size once it has not moved for two seconds (the compiles in
// the background done and their memory given back), within a minute.
double settled_mb(pid_t pid) {
    double last = status_mb(pid, "VmRSS:");
    int still = 0;
    for (int i = 0; i < 300 && still < 10; ++i) {
        usleep(200000);
        double now = status_mb(pid, "VmRSS:");
        still = now == last ? still + 1 : 0;
        last = now;
    }
    return last;
}

// The viewer with the large sample (a 100 x 100 ring): resident size opened,
// then after Model > Simulate (Ctrl+R) has run it and its compiles are done,
// and the peak. Under the X server, with its backing stores.
void BM_ViewerMemoryLargeModel(benchmark::State& state) {
    if (display().name.empty()) {
        state.SkipWithError("no X server (Xvfb) could be started");
        return;
    }
    if (access("/usr/bin/xdotool", X_OK) != 0) {
        state.SkipWithError("xdotool is needed to send Ctrl+R");
        return;
    }
    const std::string home =
        (fs::temp_directory_path() / ("kavrel-memory-" + std::to_string(getpid()))).string();
    fs::create_directories(home + "/.config");
    const std::string model = home + "/large.kmf";
    fs::copy_file(KAVREL_LARGE_MODEL, model, fs::copy_options::overwrite_existing);
    double opened = 0, simulated = 0, peak = 0;
    for (auto _ : state) {
        fs::remove(home + "/Current.kdf");
        pid_t pid = -1;
        if (time_to_first_paint({KAVREL_VIEWER, model}, home, &pid) < 0) {
            state.SkipWithError("the program never painted its window");
            break;
        }
        opened = settled_mb(pid);
        const std::string key =
            "DISPLAY=" + display().name + " /usr/bin/xdotool search --sync --onlyvisible --pid " +
            std::to_string(pid) + " --name ^Kavrel windowfocus --sync key ctrl+r >/dev/null 2>&1";
        const bool sent = std::system(key.c_str()) == 0;
        for (int i = 0; i < 300 && sent && !fs::exists(home + "/Current.kdf"); ++i) usleep(100000);
        const bool ran = sent && fs::exists(home + "/Current.kdf");
        simulated = settled_mb(pid);
        peak = status_mb(pid, "VmHWM:");
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        if (!ran) {
            state.SkipWithError("the simulation did not write its run");
            break;
        }
    }
    fs::remove_all(home);
    state.counters["opened_mb"] = opened;
    state.counters["simulated_mb"] = simulated;
    state.counters["peak_mb"] = peak;
}
BENCHMARK(BM_ViewerMemoryLargeModel)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

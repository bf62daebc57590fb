// Starting the real program: against a real X server (Xvfb, with its default
// reset when the last client leaves) it opens its window every time, and where
// the window system cannot be started it says why and exits with status 2,
// never with Qt's abort.
#include <gtest/gtest.h>

#include "../common/child_wait.h"
#include "../common/sanitized.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

namespace {

const std::string program = KAVREL_BINARY_DIR "/app/kavrel";
const std::string sample = KAVREL_BINARY_DIR "/samples/population.kmf";
// What the main window's title holds once the model is open.
const std::string model_name = "population";

// The environment of this test with `set` laid over it; a variable set to
// nullptr is removed.
std::vector<std::string>
environment_with(const std::vector<std::pair<std::string, const char*>>& set) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [n, v] : set) replaced = replaced || n == name;
        if (!replaced) out.push_back(entry);
    }
    for (const auto& [n, v] : set)
        if (v) out.push_back(n + "=" + v);
    return out;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& envp, int out_fd,
            int err_fd, int keep_fd = -1) {
    std::vector<char*> args, env;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : envp) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (out_fd >= 0) dup2(out_fd, 1);
        if (err_fd >= 0) dup2(err_fd, 2);
        for (int fd = 3; fd < 256; ++fd)
            if (fd != keep_fd) close(fd);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    return pid;
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string find_on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        fs::path p = fs::path(dir) / name;
        if (!dir.empty() && access(p.c_str(), X_OK) == 0) return p;
    }
    return "";
}

// An Xvfb server of this test's own, on a display number it picks itself.
class xvfb {
public:
    ~xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The display (":N"), or empty with the reason when no server could start.
    std::string start(std::string* why) {
        std::string binary = find_on_path("Xvfb");
        if (binary.empty()) {
            *why = "Xvfb is not installed";
            return "";
        }
        int fds[2];
        if (pipe(fds) != 0) {
            *why = "no pipe";
            return "";
        }
        int null_fd = open("/dev/null", O_WRONLY);
        pid_ = spawn({binary, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24",
                      "-nolisten", "tcp"},
                     environment_with({}), null_fd, null_fd, fds[1]);
        close(null_fd);
        close(fds[1]);
        std::string number;
        auto give_up = clock_type::now() + 20s;
        pollfd p{fds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && clock_type::now() < give_up) {
            if (poll(&p, 1, 100) <= 0) continue;
            char buf[32];
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, static_cast<std::size_t>(n));
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos) {
            *why = "Xvfb did not start";
            return "";
        }
        return ":" + number.substr(0, number.find('\n'));
    }

private:
    pid_t pid_ = -1;
};

// The names of the viewable top-level windows on `display` (one connection,
// closed again at once).
std::vector<std::string> viewable_windows(const std::string& display) {
    std::vector<std::string> names;
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c) == 0) {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        if (auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr)) {
            xcb_window_t* kids = xcb_query_tree_children(tree);
            for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
                auto* attr = xcb_get_window_attributes_reply(
                    c, xcb_get_window_attributes(c, kids[i]), nullptr);
                const bool viewable = attr && attr->map_state == XCB_MAP_STATE_VIEWABLE;
                free(attr);
                if (!viewable) continue;
                auto* name =
                    xcb_get_property_reply(c,
                                           xcb_get_property(c, 0, kids[i], XCB_ATOM_WM_NAME,
                                                            XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                           nullptr);
                names.emplace_back(
                    name
                        ? std::string(static_cast<char*>(xcb_get_property_value(name)),
                                      static_cast<std::size_t>(xcb_get_property_value_length(name)))
                        : std::string());
                free(name);
            }
            free(tree);
        }
    }
    xcb_disconnect(c);
    return names;
}

struct start_outcome {
    bool window = false;  // a viewable window appeared
    std::string title;    // its name
    int exit_status = -1; // when the program ended by itself
    int signal = 0;       // when a signal ended it
    std::string err;      // what it wrote to stderr
};

// Starts the program as a user would (a fresh settings folder, the sample
// model) and waits for its window or its end; a program that is still
// running is then ended.
start_outcome start_program(const std::vector<std::pair<std::string, const char*>>& env,
                            const std::string& display, const fs::path& home) {
    fs::remove_all(home);
    fs::create_directories(home / "config");
    const std::string home_s = home.string(), config_s = (home / "config").string();
    auto all = env;
    all.push_back({"HOME", home_s.c_str()});
    all.push_back({"XDG_CONFIG_HOME", config_s.c_str()});
    const fs::path err_path = home / "stderr";
    int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int null_fd = open("/dev/null", O_WRONLY);
    pid_t pid = spawn({program, sample}, environment_with(all), null_fd, err_fd);
    close(err_fd);
    close(null_fd);

    start_outcome out;
    const auto started = clock_type::now();
    bool running = true;
    while (clock_type::now() - started < 60s) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            running = false;
            if (WIFEXITED(status)) out.exit_status = WEXITSTATUS(status);
            if (WIFSIGNALED(status)) out.signal = WTERMSIG(status);
            break;
        }
        // Looked at only once the program has had time to connect: a look of
        // ours that ends before it does would itself set off the server's reset.
        if (!display.empty() && clock_type::now() - started > 500ms) {
            auto names = viewable_windows(display);
            if (!names.empty()) {
                out.window = true;
                out.title = names.front();
                // The window shows before its title names the model (a busy
                // machine can take a while between the two): wait for the name.
                if (out.title.find(model_name) != std::string::npos) break;
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    if (running) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    out.err = read_file(err_path);
    return out;
}

fs::path test_home(const char* name) {
    const char* tmp = std::getenv("TEST_TMPDIR");
    return fs::path(tmp ? tmp : "/tmp") / name;
}

TEST(ProgramStart, OpensItsWindowOnEveryStartAgainstAResettingXServer) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is not built";
    xvfb server;
    std::string why;
    const std::string display = server.start(&why);
    if (display.empty()) GTEST_SKIP() << why;
    // Each start is the server's only client: each one's end resets the
    // server, and so did the display check before Qt connected.
    for (int i = 0; i < 20; ++i) {
        start_outcome r = start_program({{"DISPLAY", display.c_str()},
                                         {"QT_QPA_PLATFORM", nullptr},
                                         {"WAYLAND_DISPLAY", nullptr}},
                                        display, test_home("start-x"));
        EXPECT_TRUE(r.window) << "start " << i + 1 << ": status " << r.exit_status << ", signal "
                              << r.signal << ", stderr:\n"
                              << r.err;
        EXPECT_NE(r.title.find(model_name), std::string::npos) << r.title;
        if (!r.window) break;
    }
}

TEST(ProgramStart, AWindowSystemQtCannotStartIsReportedWithStatusTwo) {
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is not built";
    // The check takes a platform of its own at its word; Qt then finds no
    // such plugin and would abort.
    start_outcome r =
        start_program({{"QT_QPA_PLATFORM", "no-such-platform"}}, "", test_home("start-plugin"));
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_status, 2) << r.err;
    EXPECT_NE(r.err.find("kavrel: the window system could not be started: "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("no-such-platform"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Reinstalling the application"), std::string::npos) << r.err;
}

} // namespace

namespace {

// The file endings named in `text` between `from` and `to` (".kmf" and the like).
std::set<std::string> endings_between(const std::string& text, const std::string& from,
                                      const std::string& to) {
    std::set<std::string> out;
    std::size_t b = text.find(from);
    if (b == std::string::npos) return out;
    std::size_t e = text.find(to, b + from.size());
    const std::string part = text.substr(b, e == std::string::npos ? std::string::npos : e - b);
    static const std::regex ending(R"(\.[a-z]{3}\b)");
    for (auto it = std::sregex_iterator(part.begin(), part.end(), ending);
         it != std::sregex_iterator(); ++it)
        out.insert(it->str());
    return out;
}

TEST(ProgramStart, UsageAndHelpPageNameTheSameModelFiles) {
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is not built";
    const fs::path out_path = test_home("usage");
    fs::create_directories(out_path);
    int out_fd = open((out_path / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = spawn({program, "--help"}, environment_with({}), out_fd, out_fd);
    close(out_fd);
    int status = 0;
    ASSERT_TRUE(child_wait::reap(pid, &status, 60)) << "--help did not end";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string usage = read_file(out_path / "out");
    const std::string page = read_file(KAVREL_SOURCE_DIR "/help/command-line.html");
    const auto in_usage = endings_between(usage, "MODEL ", "\n");
    const auto in_page = endings_between(page, "<dt><code>model-file</code></dt>", "</dd>");
    EXPECT_FALSE(in_usage.empty()) << usage;
    EXPECT_EQ(in_usage, in_page) << usage;
}

} // namespace

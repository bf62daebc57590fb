// The client program against the real viewer: the viewer started with no
// model listens on its socket; kavrel-open asks it to open a model, prints
// the acknowledgement and the viewer's title names the model. With no viewer
// the client says so and fails.
#include <gtest/gtest.h>

#include "../common/sanitized.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string viewer = KAVREL_BINARY_DIR "/app/kavrel";
const std::string client = KAVREL_BINARY_DIR "/app/kavrel-open";

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int out_fd,
            int keep_fd = -1) {
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (out_fd >= 0) {
            dup2(out_fd, 1);
            dup2(out_fd, 2);
        }
        for (int fd = 3; fd < 256; ++fd)
            if (fd != keep_fd) close(fd);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// This process's environment with some variables replaced.
std::vector<std::string> env_with(const std::vector<std::pair<std::string, std::string>>& set) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& s : set) replaced = replaced || s.first == name;
        if (!replaced) out.push_back(entry);
    }
    for (const auto& s : set) out.push_back(s.first + "=" + s.second);
    return out;
}

std::string read_all(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the client; its exit status and what it printed.
int run_client(const std::vector<std::string>& args, const std::vector<std::string>& env,
               std::string* printed, const fs::path& dir) {
    const fs::path out = dir / "client.out";
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argv{client};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = spawn(argv, env, fd);
    close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    *printed = read_all(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An X server of the test's own; empty when none could start.
struct xvfb {
    pid_t pid = -1;
    std::string display;
    xvfb() {
        int fds[2];
        if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return;
        const int null_fd = open("/dev/null", O_WRONLY);
        pid = spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                     "1024x768x24", "-nolisten", "tcp"},
                    env_with({}), null_fd, fds[1]);
        close(null_fd);
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
            if (poll(&p, 1, 100) <= 0) continue;
            char buf[32];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, static_cast<std::size_t>(n));
        }
        close(fds[0]);
        if (number.find('\n') != std::string::npos)
            display = ":" + number.substr(0, number.find('\n'));
    }
    ~xvfb() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// The names of the top-level windows on the display.
std::vector<std::string> window_names(const std::string& display) {
    std::vector<std::string> names;
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c) == 0) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        if (auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr)) {
            const xcb_window_t* kids = xcb_query_tree_children(tree);
            for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
                auto* name =
                    xcb_get_property_reply(c,
                                           xcb_get_property(c, 0, kids[i], XCB_ATOM_WM_NAME,
                                                            XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                           nullptr);
                if (name)
                    names.emplace_back(
                        static_cast<char*>(xcb_get_property_value(name)),
                        static_cast<std::size_t>(xcb_get_property_value_length(name)));
                free(name);
            }
            free(tree);
        }
    }
    xcb_disconnect(c);
    return names;
}

bool some_name_holds(const std::string& display, const std::string& part) {
    for (const auto& n : window_names(display))
        if (n.find(part) != std::string::npos) return true;
    return false;
}

TEST(OpenClient, AsksTheRunningViewerToOpenAModel) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    ASSERT_EQ(access(client.c_str(), X_OK), 0) << client << " is not built";
    const fs::path dir = fs::path(::testing::TempDir()) / "open-client";
    fs::remove_all(dir);
    fs::create_directories(dir / "config");
    fs::create_directories(dir / "run");
    chmod((dir / "run").c_str(), 0700);
    const fs::path model = fs::path(KAVREL_BINARY_DIR) / "samples" / "epidemic.kmf";

    // No viewer yet: the client says so.
    const auto env = env_with({{"HOME", dir.string()},
                               {"XDG_CONFIG_HOME", (dir / "config").string()},
                               {"XDG_RUNTIME_DIR", (dir / "run").string()}});
    std::string printed;
    EXPECT_EQ(run_client({model.string()}, env, &printed, dir), 2);
    EXPECT_NE(printed.find("no running Kavrel Viewer answers"), std::string::npos) << printed;
    EXPECT_EQ(run_client({}, env, &printed, dir), 64);
    EXPECT_EQ(run_client({(dir / "missing.kmf").string()}, env, &printed, dir), 2);

    xvfb x;
    if (x.display.empty()) GTEST_SKIP() << "Xvfb did not start";
    auto viewer_env = env;
    viewer_env.push_back("DISPLAY=" + x.display);
    viewer_env = [&] {
        std::vector<std::string> out;
        for (const auto& e : viewer_env)
            if (e.rfind("QT_QPA_PLATFORM=", 0) != 0 && e.rfind("WAYLAND_DISPLAY=", 0) != 0)
                out.push_back(e);
        return out;
    }();
    const int null_fd = open("/dev/null", O_WRONLY);
    const pid_t pid = spawn({viewer}, viewer_env, null_fd);
    close(null_fd);
    // The socket is there once the main window is.
    const fs::path socket = dir / "run" / "kavrel" / "kavrel";
    for (int i = 0; i < 600 && !fs::exists(socket); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(fs::exists(socket));
    const int status = run_client({"--timeout", "20", model.string()}, env, &printed, dir);
    EXPECT_EQ(status, 0) << printed;
    EXPECT_NE(printed.find("acknowledged: done (status 0x8001)"), std::string::npos) << printed;
    bool shown = false;
    for (int i = 0; i < 400 && !shown; ++i) {
        shown = some_name_holds(x.display, "epidemic.kmf");
        if (!shown) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(shown) << "the viewer's title does not name the model";
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

// A second program for the tests that talk to one: started with an
// environment of its own, on an X server of the test's own, its top-level
// window names read back through the X server.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace viewer_process {

// Starts argv[0] with env; its output goes to out_fd (-1: this process's),
// every other descriptor but keep_fd is closed in it.
inline pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   int out_fd, int keep_fd = -1) {
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

// This process's environment with the variables of `set` replaced and those
// named in `drop` left out.
inline std::vector<std::string>
env_with(const std::vector<std::pair<std::string, std::string>>& set,
         const std::vector<std::string>& drop = {}) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool gone = false;
        for (const auto& s : set) gone = gone || s.first == name;
        for (const auto& d : drop) gone = gone || d == name;
        if (!gone) out.push_back(entry);
    }
    for (const auto& s : set) out.push_back(s.first + "=" + s.second);
    return out;
}

// An X server of the test's own; display empty when none could start.
struct xvfb {
    pid_t pid = -1;
    std::string display;
    xvfb() {
        using namespace std::chrono_literals;
        int fds[2];
        if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return;
        // (stdio, not fcntl.h: glibc's struct file_handle there clashes with
        // the project's name of that spelling in the files including this.)
        std::FILE* null_out = std::fopen("/dev/null", "w");
        pid = spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                     "1024x768x24", "-nolisten", "tcp"},
                    env_with({}), null_out ? fileno(null_out) : -1, fds[1]);
        if (null_out) std::fclose(null_out);
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
    xvfb(const xvfb&) = delete;
    xvfb& operator=(const xvfb&) = delete;
};

// The names of the top-level windows on the display.
inline std::vector<std::string> window_names(const std::string& display) {
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

inline bool some_name_holds(const std::string& display, const std::string& part) {
    for (const auto& n : window_names(display))
        if (n.find(part) != std::string::npos) return true;
    return false;
}

} // namespace viewer_process

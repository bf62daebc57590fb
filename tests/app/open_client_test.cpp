// The client program against the real viewer: the viewer started with no
// model listens on its socket; kavrel-open asks it to open a model, prints
// what came of it and the viewer's title names the model; a damaged model
// fails with the viewer's reason. With no viewer the client says so and fails.
#include <gtest/gtest.h>

#include "../common/child_wait.h"
#include "../common/sanitized.h"
#include "../common/viewer_process.h"

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

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace viewer_process;

namespace {

const std::string viewer = KAVREL_BINARY_DIR "/app/kavrel";
const std::string client = KAVREL_BINARY_DIR "/app/kavrel-open";

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
    const bool ended = child_wait::reap(pid, &status, 120);
    *printed = read_all(out);
    if (!ended) *printed += "\n(the client did not end within 2 minutes)";
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    // A waiting time of no length or of more than an hour is wrong use.
    for (const char* t : {"0", "-1", "3601", "5x"})
        EXPECT_EQ(run_client({"--timeout", t, model.string()}, env, &printed, dir), 64) << t;
    // The viewer's command ends a name at '"' or ')': such a name is refused
    // before any viewer is asked.
    for (const char* name : {"a)b.kmf", "say \"x\".kmf"}) {
        const fs::path odd = dir / name;
        std::ofstream(odd) << "x";
        EXPECT_EQ(run_client({odd.string()}, env, &printed, dir), 2) << name;
        EXPECT_NE(printed.find("cannot be sent to the viewer"), std::string::npos) << printed;
    }

    xvfb x;
    if (x.display.empty()) GTEST_SKIP() << "Xvfb did not start";
    const auto viewer_env = env_with({{"HOME", dir.string()},
                                      {"XDG_CONFIG_HOME", (dir / "config").string()},
                                      {"XDG_RUNTIME_DIR", (dir / "run").string()},
                                      {"DISPLAY", x.display}},
                                     {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY"});
    const int null_fd = open("/dev/null", O_WRONLY);
    const pid_t pid = spawn({viewer}, viewer_env, null_fd);
    close(null_fd);
    // The socket is there once the main window is.
    const fs::path socket = dir / "run" / "kavrel" / "kavrel";
    for (int i = 0; i < 600 && !fs::exists(socket); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(fs::exists(socket));
    const int status = run_client({"--timeout", "20", model.string()}, env, &printed, dir);
    EXPECT_EQ(status, 0) << printed;
    EXPECT_NE(printed.find("opened: " + fs::absolute(model).lexically_normal().string()),
              std::string::npos)
        << printed;
    bool shown = false;
    for (int i = 0; i < 400 && !shown; ++i) {
        shown = some_name_holds(x.display, "epidemic.kmf");
        if (!shown) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(shown) << "the viewer's title does not name the model";
    // A damaged model: the viewer's reason, and a failure status, without
    // waiting for the user to close the viewer's box.
    const fs::path damaged = dir / "damaged.kmf";
    std::ofstream(damaged) << "not a model at all";
    EXPECT_EQ(run_client({"--timeout", "20", damaged.string()}, env, &printed, dir), 1) << printed;
    EXPECT_NE(printed.find("could not open"), std::string::npos) << printed;
    EXPECT_NE(printed.find("is not a binary model"), std::string::npos) << printed;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

// The exported kdde_* functions against another program: a second viewer
// serves "Kavrel" over its socket; this process connects to it as any client
// program would, has it open a model, hears it done, and ends the
// conversation with atoms, global memory and connections back at their
// baseline.
#include "tests/shell/shell_fixture.h"

#include "../common/sanitized.h"
#include "../common/viewer_process.h"
#include "datalinks/client.h"
#include "platform/clock.h"
#include "platform/dde.h"
#include "platform/dde_bridge.h"
#include "platform/global.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace viewer_process;

namespace {

// Runs this process's messages (and with them the sockets) on the real
// clock until `done` holds or 5 s pass.
template <class F> bool pump_until(F done) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < until) {
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        std::this_thread::sleep_for(2ms);
    }
    return done();
}

class ClientOverSocket : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        dir_ = fs::path(::testing::TempDir()) / ("kdde-socket-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config");
        fs::create_directories(dir_ / "run");
        chmod((dir_ / "run").c_str(), 0700);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        had_runtime_ = old != nullptr;
        old_runtime_ = old ? old : "";
        setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
        // The waits for the other program's answers are real ones.
        set_platform_clock(&steady_);
    }
    void close_windows() override {
        set_platform_clock(&test_driver::clock());
        if (had_runtime_)
            setenv("XDG_RUNTIME_DIR", old_runtime_.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        if (viewer_ > 0) {
            kill(viewer_, SIGKILL);
            waitpid(viewer_, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path dir_;
    bool had_runtime_ = false;
    std::string old_runtime_;
    SteadyClock steady_;
    pid_t viewer_ = -1;
};

TEST_F(ClientOverSocket, AnotherViewerOpensAModelAndTheConversationEndsClean) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    xvfb x;
    if (x.display.empty()) GTEST_SKIP() << "Xvfb did not start";
    const std::string viewer = KAVREL_BINARY_DIR "/app/kavrel";
    const fs::path model = fs::path(KAVREL_BINARY_DIR) / "samples" / "epidemic.kmf";
    ASSERT_EQ(access(viewer.c_str(), X_OK), 0) << viewer << " is not built";

    const std::size_t atoms0 = global_atom_count(), blocks0 = global_live_blocks();
    // No viewer yet: nobody answers, and nothing is left behind.
    EXPECT_EQ(kdde_initiate("Kavrel", "System"), -1);
    EXPECT_EQ(dde_bridge_connections(), 0u);

    std::FILE* null_out = std::fopen("/dev/null", "w");
    ASSERT_NE(null_out, nullptr);
    viewer_ = spawn({viewer},
                    env_with({{"DISPLAY", x.display},
                              {"HOME", dir_.string()},
                              {"XDG_CONFIG_HOME", (dir_ / "config").string()}},
                             {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY"}),
                    fileno(null_out));
    std::fclose(null_out);
    const fs::path socket = dir_ / "run" / "kavrel" / "kavrel";
    for (int i = 0; i < 600 && !fs::exists(socket); ++i) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(fs::exists(socket)) << "the second viewer does not serve its socket";

    // Its socket is there from its start; a viewer still starting up may not
    // take the connection yet: asked again for a while, as a client does.
    int ch = kdde_initiate("Kavrel", "System");
    for (const auto until = std::chrono::steady_clock::now() + 20s;
         ch < 0 && std::chrono::steady_clock::now() < until;) {
        const auto next = std::chrono::steady_clock::now() + 100ms;
        pump_until([&] { return std::chrono::steady_clock::now() >= next; });
        ch = kdde_initiate("Kavrel", "System");
    }
    ASSERT_GE(ch, 0) << "the other viewer did not answer the initiate";
    EXPECT_EQ(dde_bridge_connections(), 1u);
    // Asked again for the same service and topic: the same channel.
    EXPECT_EQ(kdde_initiate("Kavrel", "System"), ch);

    const std::string command = "[FileOpen(\"" + model.string() + "\")]";
    // A viewer still busy starting up answers busy: asked again, as any
    // client program does.
    int busy = 0;
    for (;;) {
        ASSERT_EQ(kdde_wait_execute(ch, command.c_str(), 20000), 1) << "no acknowledgement came";
        if ((dde_client::last_execute_status() & 0xC000) != 0x4000 || ++busy > 80) break;
        const auto until = std::chrono::steady_clock::now() + 250ms;
        pump_until([&] { return std::chrono::steady_clock::now() >= until; });
    }
    EXPECT_EQ(dde_client::last_execute_ack(), 1);
    EXPECT_EQ(dde_client::last_execute_status(), 0x8001) << "not acknowledged as done";
    bool shown = false;
    for (int i = 0; i < 400 && !shown; ++i) {
        shown = some_name_holds(x.display, "epidemic.kmf");
        if (!shown) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(shown) << "the other viewer's title does not name the model";

    // A request of an item the viewer does not serve is refused (no answer
    // text), not left waiting.
    const char* answer = reinterpret_cast<const char*>(1);
    EXPECT_EQ(kdde_request(ch, "Topics", &answer, 1000), 0);
    EXPECT_EQ(answer, nullptr);

    EXPECT_EQ(kdde_terminate(ch), 1);
    EXPECT_TRUE(pump_until([] { return dde_bridge_connections() == 0; }))
        << "the socket conversation was not closed";
    EXPECT_EQ(dde_client::live_channels(), 0);
    EXPECT_TRUE(pump_until(
        [&] { return global_atom_count() == atoms0 && global_live_blocks() == blocks0; }));
    EXPECT_EQ(global_atom_count(), atoms0) << "atoms left behind";
    EXPECT_EQ(global_live_blocks(), blocks0) << "global memory left behind";

    // The other viewer still serves: a second conversation works as the first.
    const int again = kdde_initiate("Kavrel", "System");
    EXPECT_GE(again, 0);
    if (again >= 0) kdde_terminate(again);
    EXPECT_TRUE(pump_until([] { return dde_bridge_connections() == 0; }));
}

} // namespace

// The client program against a stand-in viewer on the service's socket, which
// gives the answers a viewer may give: a refused request fails with status 1,
// a model the viewer could not open fails with the viewer's reason as it
// stands, and a viewer busy past the time limit fails rather than passing for
// success.
#include <gtest/gtest.h>

#include "../common/child_wait.h"
#include "../common/sanitized.h"
#include "../common/viewer_process.h"
#include "platform/messages.h"
#include "platform/wire/dde_wire.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace viewer_process;

namespace {

const std::string client = KAVREL_BINARY_DIR "/app/kavrel-open";

// How the stand-in answers the open request and the request for its outcome.
struct answers {
    std::uint16_t execute_status = 0; // the ACK's status word
    std::string outcome;              // the "FileOpen" item's DATA ("" none)
};

// Listens on the service's socket under dir/run and answers one client; every
// wait has a deadline, so a client that never comes or never ends cannot
// hold the test.
class stand_in {
public:
    stand_in(const fs::path& run_dir, answers a) : answers_(std::move(a)) {
        const fs::path folder = run_dir / "kavrel";
        fs::create_directories(folder);
        chmod(run_dir.c_str(), 0700);
        chmod(folder.c_str(), 0700);
        const std::string path = (folder / "kavrel").string();
        unlink(path.c_str());
        listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        ok_ = listen_fd_ >= 0 && path.size() < sizeof addr.sun_path &&
              bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              listen(listen_fd_, 1) == 0;
        if (ok_) thread_ = std::thread([this] { serve(); });
    }
    ~stand_in() {
        if (thread_.joinable()) thread_.join();
        if (listen_fd_ >= 0) close(listen_fd_);
    }
    bool ok() const { return ok_; }
    // The EXECUTE command the client sent.
    const std::string& command() const { return command_; }

private:
    void serve() {
        pollfd p{listen_fd_, POLLIN, 0};
        if (poll(&p, 1, 60000) != 1) return;
        const int fd = accept(listen_fd_, nullptr, nullptr);
        if (fd < 0) return;
        std::string buffer, why;
        dde_wire::frame f;
        // Each frame within 60 s; the client ends the conversation itself.
        while (dde_bridge_receive(fd, &buffer, &f, 60000, &why)) {
            dde_wire::frame a;
            if (f.message == WM_DDE_INITIATE) {
                a = {WM_DDE_ACK, 0, 0, WM_DDE_INITIATE, f.name1, f.name2, {}};
            } else if (f.message == WM_DDE_EXECUTE) {
                command_ = f.data;
                a = {WM_DDE_ACK, answers_.execute_status, 0, WM_DDE_EXECUTE, {}, {}, {}};
            } else if (f.message == WM_DDE_REQUEST && !answers_.outcome.empty()) {
                a = {WM_DDE_DATA, 0, 1, 0, f.name1, {}, answers_.outcome + '\0'};
            } else if (f.message == WM_DDE_REQUEST) {
                a = {WM_DDE_ACK, 0, 0, WM_DDE_REQUEST, f.name1, {}, {}};
            } else if (f.message == WM_DDE_TERMINATE) {
                dde_bridge_send(fd, {WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}}, &why);
                break;
            } else {
                break;
            }
            if (!dde_bridge_send(fd, a, &why)) break;
        }
        close(fd);
    }

    answers answers_;
    int listen_fd_ = -1;
    bool ok_ = false;
    std::string command_;
    std::thread thread_;
};

std::string read_all(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class OpenClientAnswers : public testing::Test {
protected:
    void SetUp() override {
        if (sanitized) GTEST_SKIP() << "run by the Release build";
        ASSERT_EQ(access(client.c_str(), X_OK), 0) << client << " is not built";
        // A folder of its own per case and process: cases may run side by side.
        // (short: the socket's path must fit its address)
        static int cases = 0;
        dir_ = fs::path(::testing::TempDir()) /
               ("oc-" + std::to_string(getpid()) + "-" + std::to_string(++cases));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "run");
        model_ = dir_ / "some model.kmf";
        std::ofstream(model_) << "a model";
    }
    // Runs the client on the model against a stand-in giving `a`; its exit
    // status, what it printed and the command the stand-in received.
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    int ask(const answers& a, const std::vector<std::string>& extra, std::string* printed,
            std::string* command = nullptr) {
        stand_in viewer(dir_ / "run", a);
        EXPECT_TRUE(viewer.ok());
        const auto env =
            env_with({{"HOME", dir_.string()}, {"XDG_RUNTIME_DIR", (dir_ / "run").string()}});
        const fs::path out = dir_ / "client.out";
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> argv{client};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back(model_.string());
        const pid_t pid = spawn(argv, env, fd);
        close(fd);
        int status = 0;
        const bool ended = child_wait::reap(pid, &status, 120);
        *printed = read_all(out);
        if (!ended) *printed += "\n(the client did not end within 2 minutes)";
        if (command) *command = viewer.command();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string path() const { return fs::absolute(model_).lexically_normal().string(); }

    fs::path dir_, model_;
};

TEST_F(OpenClientAnswers, OpenedPrintsThePathTheViewerGivesBack) {
    std::string printed, command;
    EXPECT_EQ(ask({0x8000, "1 /models/opened.kmf"}, {}, &printed, &command), 0) << printed;
    EXPECT_EQ(command, "[FileOpen(\"" + path() + "\")]");
    EXPECT_EQ(printed, "opened: /models/opened.kmf\n");
}

TEST_F(OpenClientAnswers, TheViewersReasonIsGivenAsItStands) {
    std::string printed;
    EXPECT_EQ(ask({0x8000, "0 the file is damaged"}, {}, &printed), 1) << printed;
    EXPECT_EQ(printed,
              "kavrel-open: the viewer could not open " + path() + ": the file is damaged\n");
}

TEST_F(OpenClientAnswers, ARefusedOrStillBusyRequestFails) {
    std::string printed;
    EXPECT_EQ(ask({0x0000, ""}, {}, &printed), 1) << printed;
    EXPECT_EQ(printed, "acknowledged: refused (status 0x0000)\n");
    // Busy at every try until the second the client was given has gone.
    EXPECT_EQ(ask({0x4000, ""}, {"--timeout", "1"}, &printed), 1) << printed;
    EXPECT_EQ(printed, "acknowledged: busy (status 0x4000)\n");
}

} // namespace

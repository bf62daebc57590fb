// The bridge's socket at its limits: peers beyond the connection limit wait
// in the queue and are served once others end, peers that never initiate are
// let go, the descriptor limit makes the bridge wait (said once) without
// spinning, and frames begun by many peers together are bounded in all.
#include "platform/dde_bridge.h"
#include "tests/common/sanitized.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> logged;

class DdeBridgeLimits : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        had_old_ = old != nullptr;
        if (old) old_value_ = old;
        base_ = std::filesystem::path(::testing::TempDir()) / "dde-limits";
        std::filesystem::remove_all(base_);
        std::filesystem::create_directories(base_);
        setenv("XDG_RUNTIME_DIR", base_.c_str(), 1);
        logged.clear();
        set_dde_bridge_log([](const char* line) { logged.emplace_back(line); });
        std::string why;
        ASSERT_TRUE(dde_bridge_listen("limits", &why)) << why;
    }
    void TearDown() override {
        for (int fd : clients_) close(fd);
        dde_bridge_stop();
        set_dde_bridge_limits(0, 0, 0, 0);
        set_dde_bridge_log(nullptr);
        if (had_old_)
            setenv("XDG_RUNTIME_DIR", old_value_.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(base_);
        test_driver::reset();
    }
    int connect_client() {
        std::string why;
        const int fd = dde_bridge_connect("limits", &why);
        EXPECT_GE(fd, 0) << why;
        if (fd >= 0) clients_.push_back(fd);
        return fd;
    }
    // Runs the event loop (which sleeps while nothing happens) for a while.
    // Qt's own loop object is not used: the sanitizer build cannot check
    // calls on it against Qt's vtables.
    static void run_for(int ms) {
        bool done = false;
        QTimer::singleShot(ms, [&done] { done = true; });
        while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    static int lines_with(const std::string& part) {
        int n = 0;
        for (const std::string& l : logged) n += l.find(part) != std::string::npos;
        return n;
    }
    // Sends all it can while the bridge runs; stops when the bridge closes.
    static void send_while_running(int fd, const std::string& bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n =
                send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                at += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;
            run_for(5);
        }
    }
    // Whether the bridge closed the client's end (anything sent first is skipped).
    static bool closed(int fd) {
        char buf[256];
        for (;;) {
            const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0) return true;
            // Closed with bytes of ours unread: the peer's end is reset.
            if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
        }
    }
    std::vector<int> clients_;
    std::filesystem::path base_;
    bool had_old_ = false;
    std::string old_value_;
};

TEST_F(DdeBridgeLimits, PeersBeyondTheLimitWaitAndThoseThatNeverInitiateAreLetGo) {
    set_dde_bridge_limits(4, 0, 400, 0);
    for (int k = 0; k < 6; ++k) connect_client();
    run_for(150);
    EXPECT_EQ(dde_bridge_connections(), 4u);
    EXPECT_EQ(lines_with("4 connections are open: new ones wait"), 1);
    // The first four never initiate: let go, and the two that waited are
    // served, then let go in their turn.
    run_for(1500);
    EXPECT_EQ(dde_bridge_connections(), 0u);
    for (int fd : clients_) EXPECT_TRUE(closed(fd)) << fd;
    // Said once for the flood, not a line a peer.
    EXPECT_GE(lines_with("with no initiate within 400 ms"), 1);
    EXPECT_LE(lines_with("with no initiate within 400 ms"), 2);
}

TEST_F(DdeBridgeLimits, AtTheDescriptorLimitTheBridgeWaitsWithoutSpinning) {
    // The sanitizers' runtime opens files of its own to check a call's
    // object, which the limit below denies it.
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    for (int k = 0; k < 3; ++k) connect_client();
    // No descriptor left for the bridge to accept them with.
    const int lowest_free = dup(0);
    ASSERT_GE(lowest_free, 0);
    close(lowest_free);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(lowest_free);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    run_for(1000);
    getrusage(RUSAGE_SELF, &after);
    setrlimit(RLIMIT_NOFILE, &saved);
    auto ms = [](const rusage& u) {
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
               (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
    };
    // A spinning loop would use the whole second.
    EXPECT_LT(ms(after) - ms(before), 250.0);
    EXPECT_EQ(lines_with("cannot take a new connection (Too many open files)"), 1)
        << (logged.empty() ? "" : logged.front());
    EXPECT_EQ(dde_bridge_connections(), 0u);
    // Descriptors again: the waiting peers are served.
    run_for(1500);
    EXPECT_EQ(dde_bridge_connections(), 3u);
}

TEST_F(DdeBridgeLimits, FramesBegunByManyPeersAreBoundedInAll) {
    set_dde_bridge_limits(0, 1u << 20, 0, 0);
    // Each peer sends the first 400 KiB of an 8 MiB frame and stops.
    dde_wire::frame f;
    f.message = dde_wire::first_message + 5;
    f.name1 = "item";
    f.data.assign(8u << 20, 'x');
    const std::string head = dde_wire::encode(f).substr(0, 400u << 10);
    for (int k = 0; k < 4; ++k) {
        const int fd = connect_client();
        ASSERT_GE(fd, 0);
        send_while_running(fd, head);
        run_for(100);
    }
    // Two fit in 1 MiB; the third and fourth passed it.
    EXPECT_EQ(dde_bridge_connections(), 2u);
    EXPECT_EQ(lines_with("passed 1 MiB in all"), 2);
    EXPECT_FALSE(closed(clients_[0]));
    EXPECT_TRUE(closed(clients_[3]));
}

} // namespace

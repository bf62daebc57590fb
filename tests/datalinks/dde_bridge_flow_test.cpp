// The DDE server reached over the bridge's socket, as another program of the
// user reaches it: a whole conversation with atoms and global memory back at
// their baseline, the socket's life with the workbench, and connections that
// break the rules (bad frames, another user) closed with a line in the log.
#include "datalinks/server.h"

#include "tests/shell/shell_fixture.h"

#include "platform/dde.h"
#include "platform/dde_bridge.h"
#include "platform/global.h"
#include "platform/messages.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using dde_wire::frame;

// Pumps the program's messages (and with them the sockets) until a frame
// comes on fd; false when the peer closed or nothing came within 5 s.
bool next_frame(int fd, std::string* buffer, frame* f) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
        std::size_t used = 0;
        std::string why;
        const auto r = dde_wire::decode(buffer->data(), buffer->size(), f, &used, &why);
        if (r == dde_wire::parsed::ok) {
            buffer->erase(0, used);
            return true;
        }
        if (r == dde_wire::parsed::bad) return false;
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2) <= 0) continue;
        char chunk[4096];
        const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0) return false;
        if (n > 0) buffer->append(chunk, static_cast<std::size_t>(n));
    }
    ADD_FAILURE() << "nothing came";
    return false;
}

// True when the peer closes the connection within 5 s (what was sent before
// the close is skipped).
bool closed_by_peer(int fd) {
    std::string buffer;
    frame f;
    while (next_frame(fd, &buffer, &f)) buffer.clear();
    char c;
    return recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

class DdeBridge : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        had_runtime = old != nullptr;
        old_runtime = old ? old : "";
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        install_dde_server();
        make_workbench();
        atoms0 = global_atom_count();
        blocks0 = global_live_blocks();
    }
    void TearDown() override {
        for (int fd : fds) close(fd);
        ShellWorkbenchTest::TearDown();
        EXPECT_FALSE(dde_bridge_listening("Kavrel")) << "still listening after shutdown";
        if (had_runtime)
            setenv("XDG_RUNTIME_DIR", old_runtime.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    int connect_to(const char* service = "Kavrel") {
        std::string why;
        const int fd = dde_bridge_connect(service, &why);
        EXPECT_GE(fd, 0) << why;
        if (fd >= 0) fds.push_back(fd);
        return fd;
    }
    void send(int fd, const frame& f) {
        std::string why;
        EXPECT_TRUE(dde_bridge_send(fd, f, &why)) << why;
    }
    // Sends f and reads the answer.
    frame ask(int fd, const frame& f) {
        send(fd, f);
        frame answer;
        EXPECT_TRUE(next_frame(fd, &buffer, &answer));
        return answer;
    }
    std::string socket_path() const { return dir + "/kavrel/kavrel"; }

    std::vector<int> fds;
    std::string buffer;
    std::size_t atoms0 = 0, blocks0 = 0;
    std::string old_runtime;
    bool had_runtime = false;
};

TEST_F(DdeBridge, AnotherProgramOpensAModelAndEndsTheConversation) {
    const std::string model = sample("population.kmf");
    struct stat st {};
    ASSERT_EQ(lstat(socket_path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const int fd = connect_to();
    ASSERT_GE(fd, 0);
    frame a = ask(fd, {WM_DDE_INITIATE, 0, 0, 0, "kavrel", "System", {}});
    EXPECT_EQ(a.message, WM_DDE_ACK);
    EXPECT_EQ(a.word3, WM_DDE_INITIATE);
    EXPECT_EQ(a.name1, "kavrel");
    EXPECT_EQ(a.name2, "System");
    EXPECT_EQ(dde_server_conversations(), 1u);

    a = ask(fd, {WM_DDE_EXECUTE, 0, 0, 0, {}, {}, "[FileOpen(\"" + model + "\")]"});
    EXPECT_EQ(a.message, WM_DDE_ACK);
    EXPECT_EQ(a.word3, WM_DDE_EXECUTE);
    EXPECT_EQ(a.word1, 0x8001);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();

    a = ask(fd, {WM_DDE_REQUEST, 0, 1, 0, "Topics", {}, {}});
    EXPECT_EQ(a.word3, WM_DDE_REQUEST);
    EXPECT_EQ(a.word1, 0);
    EXPECT_EQ(a.name1, "Topics");
    a = ask(fd, {WM_DDE_POKE, 0, 1, 0, "R1C1", {}, "42"});
    EXPECT_EQ(a.word3, WM_DDE_POKE);
    EXPECT_EQ(a.word1, 0x8000);
    a = ask(fd, {WM_DDE_ADVISE, 0, 1, 0, "Level", {}, {}});
    EXPECT_EQ(a.word3, WM_DDE_ADVISE);
    EXPECT_EQ(a.word1, 0);
    a = ask(fd, {WM_DDE_UNADVISE, 0, 1, 0, "Level", {}, {}});
    EXPECT_EQ(a.word1, 0x8000);
    // The refused advise's options and the poke's data were freed on this side.
    EXPECT_EQ(global_live_blocks(), blocks0);
    EXPECT_EQ(global_atom_count(), atoms0);

    a = ask(fd, {WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}});
    EXPECT_EQ(a.message, WM_DDE_TERMINATE);
    EXPECT_TRUE(closed_by_peer(fd));
    EXPECT_EQ(dde_server_conversations(), 0u);
    EXPECT_EQ(dde_bridge_connections(), 0u);
    EXPECT_EQ(global_live_blocks(), blocks0);
    EXPECT_EQ(global_atom_count(), atoms0);
}

TEST_F(DdeBridge, NoServiceNoConversation) {
    const int fd = connect_to();
    ASSERT_GE(fd, 0);
    frame a = ask(fd, {WM_DDE_INITIATE, 0, 0, 0, "Excel", "System", {}});
    EXPECT_EQ(a.message, WM_DDE_TERMINATE);
    EXPECT_TRUE(closed_by_peer(fd));
    EXPECT_EQ(dde_server_conversations(), 0u);
    EXPECT_EQ(global_atom_count(), atoms0);
}

TEST_F(DdeBridge, FramesThatBreakTheRulesCloseTheConnectionWithALogLine) {
    const std::string initiate = dde_wire::encode({WM_DDE_INITIATE, 0, 0, 0, "Kavrel", "", {}});
    const std::string data = dde_wire::encode({WM_DDE_DATA, 0, 1, 0, "X", "", "1"});
    // A name that runs to the end of its frame without its ending zero.
    const std::string unended =
        std::string("\x18\x00\x00\x00\xe8\x03", 6) + std::string(6, '\0') + "abcdefghijklmnop";
    const std::string oversized = std::string("\xff\xff\xff\x7f", 4);
    const std::string unknown = std::string("\x20\x00\x00\x00\x01\x04", 6);
    const struct {
        std::string bytes;
        const char* logged;
    } cases[] = {
        {oversized, "over the limit"},
        {unknown, "unknown message"},
        {initiate + unended, "without its ending zero"},
        {dde_wire::encode({WM_DDE_EXECUTE, 0, 0, 0, {}, {}, "[Beep()]"}), "not begun by initiate"},
        {initiate + data, "a message a client does not send"},
    };
    for (const auto& c : cases) {
        const int fd = connect_to();
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(c.bytes.size()));
        EXPECT_TRUE(closed_by_peer(fd)) << c.logged;
        EXPECT_NE(log_text().find(std::string("DDE bridge: closed a connection: ")),
                  std::string::npos);
        EXPECT_NE(log_text().find(c.logged), std::string::npos) << log_text();
    }
    EXPECT_EQ(dde_bridge_connections(), 0u);
    EXPECT_EQ(dde_server_conversations(), 0u);
    EXPECT_EQ(global_atom_count(), atoms0);
    EXPECT_EQ(global_live_blocks(), blocks0);
}

TEST_F(DdeBridge, APeerThatReadsNothingIsLetGo) {
    set_dde_bridge_unsent_limit(64 * 1024);
    const int fd = connect_to();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ask(fd, {WM_DDE_INITIATE, 0, 0, 0, "Kavrel", "System", {}}).message, WM_DDE_ACK);
    // Requests without end, each answered, and none of the answers read.
    std::string burst;
    for (int i = 0; i < 200; ++i)
        burst += dde_wire::encode({WM_DDE_REQUEST, 0, 1, 0, "Topics", {}, {}});
    bool closed = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::size_t sent = 0;
    while (!closed && std::chrono::steady_clock::now() < until) {
        const ssize_t n = ::send(fd, burst.data() + sent % burst.size(),
                                 burst.size() - sent % burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) sent += static_cast<std::size_t>(n);
        if (n < 0 && errno == EPIPE) closed = true;
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        closed = closed || dde_bridge_connections() == 0;
    }
    set_dde_bridge_unsent_limit(0);
    EXPECT_TRUE(closed);
    EXPECT_NE(log_text().find("closed a connection: the peer reads nothing"), std::string::npos)
        << log_text();
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    EXPECT_EQ(dde_server_conversations(), 0u);
    EXPECT_EQ(global_atom_count(), atoms0);
    EXPECT_EQ(global_live_blocks(), blocks0);
}

TEST_F(DdeBridge, TheSocketGoesWithTheWorkbench) {
    const int fd = connect_to();
    ASSERT_GE(fd, 0);
    frame a = ask(fd, {WM_DDE_INITIATE, 0, 0, 0, "Kavrel", "System", {}});
    ASSERT_EQ(a.message, WM_DDE_ACK);
    shutdown_ui();
    // The client hears the end of its conversation, and the socket file is gone.
    frame end;
    ASSERT_TRUE(next_frame(fd, &buffer, &end));
    EXPECT_EQ(end.message, WM_DDE_TERMINATE);
    EXPECT_TRUE(closed_by_peer(fd));
    struct stat st {};
    EXPECT_NE(lstat(socket_path().c_str(), &st), 0);
    std::string why;
    EXPECT_LT(dde_bridge_connect("Kavrel", &why), 0);
}

// A socket bound at the service's path by hand; listening when `answer`.
int bind_by_hand(const std::string& path, bool answer) {
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << path;
    if (answer) {
        EXPECT_EQ(listen(s, 4), 0);
    }
    return s;
}

TEST_F(DdeBridge, AnotherProgramsSocketIsLeftAloneAndALeftOverOneReplaced) {
    dde_bridge_stop();
    std::string why;
    // Another program answers there: it keeps the service.
    const int other = bind_by_hand(socket_path(), true);
    EXPECT_FALSE(dde_bridge_listen("Kavrel", &why));
    EXPECT_NE(why.find("another program serves"), std::string::npos) << why;
    close(other);
    // Its file left behind, answered by no one: replaced.
    EXPECT_TRUE(dde_bridge_listen("Kavrel", &why)) << why;
    EXPECT_GE(connect_to(), 0);
    // The socket was made under another name and renamed once it listened:
    // nothing else is left in its folder, and only its owner may use it.
    const std::filesystem::path made(socket_path());
    std::vector<std::string> in_folder;
    for (const auto& e : std::filesystem::directory_iterator(made.parent_path()))
        in_folder.push_back(e.path().filename().string());
    EXPECT_EQ(in_folder, std::vector<std::string>{made.filename().string()});
    struct stat st {};
    ASSERT_EQ(lstat(made.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A file that is not a socket is not removed.
    dde_bridge_stop();
    std::ofstream(socket_path()) << "x";
    EXPECT_FALSE(dde_bridge_listen("Kavrel", &why));
    EXPECT_NE(why.find("not a socket"), std::string::npos) << why;
    EXPECT_EQ(read_file(socket_path()), "x");
    std::filesystem::remove(socket_path());
    close(bind_by_hand(socket_path(), false));
    EXPECT_TRUE(dde_bridge_listen("Kavrel", &why)) << why;
}

TEST_F(DdeBridge, AnotherUserIsRefused) {
    if (getuid() != 0) GTEST_SKIP() << "needs the administrator to act as another user";
    // Opened up so that the other user's connect reaches the check of its identity.
    chmod((dir + "/kavrel").c_str(), 0711);
    chmod(dir.c_str(), 0711);
    chmod(socket_path().c_str(), 0666);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        const int s = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, socket_path().c_str());
        if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) _exit(4);
        const std::string init = dde_wire::encode({WM_DDE_INITIATE, 0, 0, 0, "Kavrel", "", {}});
        (void)::send(s, init.data(), init.size(), MSG_NOSIGNAL);
        char c;
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) _exit(5);
        _exit(recv(s, &c, 1, 0) <= 0 ? 0 : 6); // closed (or reset) without an answer
    }
    ASSERT_GT(child, 0);
    int status = -1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until && waitpid(child, &status, WNOHANG) == 0) {
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        usleep(2000);
    }
    chmod(dir.c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(log_text().find("refused a connection to \"Kavrel\" from user id 65534"),
              std::string::npos)
        << log_text();
    EXPECT_EQ(dde_server_conversations(), 0u);
}

} // namespace

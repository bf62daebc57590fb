// A server window of this process answers another program over the bridge:
// data that answers a request is marked as the answer and an advise's update
// is not, and a conversation that keeps talking stays open however long it
// lasts while one gone silent is let go. The other program is the test, on
// its end of a socket pair.
#include "platform/clip.h"
#include "platform/dde.h"
#include "platform/dde_bridge.h"
#include "platform/global.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <strings.h>
#include <vector>

namespace {

using dde_wire::frame;

std::vector<std::string> logged;

// Serves the application "Srv": initiate, request (answered with "42"),
// advise (acknowledged, then an update "43"), terminate.
LRESULT server_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    const HWND client = reinterpret_cast<HWND>(wp);
    switch (m) {
    case WM_DDE_INITIATE: {
        UINT_PTR app = 0, topic = 0;
        UnpackDDElParam(WM_DDE_INITIATE, lp, &app, &topic);
        char name[64];
        if (!app || !GlobalGetAtomNameA(static_cast<ATOM>(app), name, sizeof name) ||
            strcasecmp(name, "Srv") != 0)
            return 0;
        const ATOM a = GlobalAddAtomA("Srv"), t = GlobalAddAtomA("Topic");
        SendMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w),
                    PackDDElParam(WM_DDE_INITIATE, a, t));
        GlobalDeleteAtom(a);
        GlobalDeleteAtom(t);
        return 0;
    }
    case WM_DDE_REQUEST: {
        UINT_PTR format = 0, item = 0;
        UnpackDDElParam(WM_DDE_REQUEST, lp, &format, &item);
        dde_block b;
        b.response = true;
        b.release = true;
        b.format = CF_TEXT;
        b.value = "42";
        HGLOBAL data = make_dde_data(b);
        PostMessage(client, WM_DDE_DATA, reinterpret_cast<WPARAM>(w),
                    ReuseDDElParam(lp, WM_DDE_REQUEST, WM_DDE_DATA,
                                   reinterpret_cast<UINT_PTR>(data), item));
        return 0;
    }
    case WM_DDE_ADVISE: {
        UINT_PTR options = 0, item = 0;
        UnpackDDElParam(WM_DDE_ADVISE, lp, &options, &item);
        GlobalFree(reinterpret_cast<HGLOBAL>(options)); // taken on a positive answer
        PostMessage(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(w),
                    ReuseDDElParam(lp, WM_DDE_ADVISE, WM_DDE_ACK, 0x8000, item));
        dde_block b;
        b.release = true;
        b.format = CF_TEXT;
        b.value = "43";
        HGLOBAL data = make_dde_data(b);
        PostMessage(
            client, WM_DDE_DATA, reinterpret_cast<WPARAM>(w),
            PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(data), GlobalAddAtomA("Item")));
        return 0;
    }
    case WM_DDE_TERMINATE:
        PostMessage(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(w), 0);
        return 0;
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

// Pumps the program's messages (and with them the bridge's sockets) until a
// frame comes on fd; false when the peer closed or nothing came within 5 s.
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
        test_driver::run_until_idle();
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2) <= 0) continue;
        char chunk[4096];
        const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0) return false;
        if (n > 0) buffer->append(chunk, static_cast<std::size_t>(n));
    }
    return false;
}

class DdeBridgeServer : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        logged.clear();
        set_dde_bridge_log([](const char* line) { logged.emplace_back(line); });
        WNDCLASS wc{};
        wc.lpfnWndProc = server_proc;
        wc.lpszClassName = "DdeBridgeTestServer";
        ASSERT_NE(RegisterClass(&wc), 0);
        server = CreateWindowEx(0, "DdeBridgeTestServer", "", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(server, nullptr);
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        dde_bridge_serve_socket(pair[0]); // the bridge's to close
        fd = pair[1];
    }
    void TearDown() override {
        if (fd >= 0) close(fd);
        set_dde_bridge_limits(0, 0, 0, 0);
        // The bridge lets the closed connection go on its next turn.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (dde_bridge_connections() > 0 && std::chrono::steady_clock::now() < until)
            test_driver::run_until_idle();
        set_dde_bridge_log(nullptr);
        test_driver::reset();
    }
    void send(const frame& f) {
        std::string why;
        EXPECT_TRUE(dde_bridge_send(fd, f, &why)) << why;
    }
    frame ask(const frame& f) {
        send(f);
        frame answer;
        EXPECT_TRUE(next_frame(fd, &buffer, &answer)) << "no answer to " << f.message;
        return answer;
    }
    void initiate() {
        const frame a = ask({WM_DDE_INITIATE, 0, 0, 0, "Srv", "Topic", {}});
        ASSERT_EQ(a.message, WM_DDE_ACK);
        ASSERT_EQ(a.word3, WM_DDE_INITIATE);
    }
    HWND server = nullptr;
    int fd = -1;
    std::string buffer;
};

TEST_F(DdeBridgeServer, RequestedDataIsMarkedAsTheAnswerAndUpdatesAreNot) {
    initiate();
    const frame d = ask({WM_DDE_REQUEST, 0, CF_TEXT, 0, "Item", {}, {}});
    ASSERT_EQ(d.message, WM_DDE_DATA);
    EXPECT_EQ(d.name1, "Item");
    EXPECT_EQ(d.word2, CF_TEXT);
    EXPECT_EQ(d.data, "42");
    EXPECT_NE(d.word1 & 0x1000, 0) << "an answer to a request";

    const frame ack = ask({WM_DDE_ADVISE, 0, CF_TEXT, 0, "Item", {}, {}});
    EXPECT_EQ(ack.message, WM_DDE_ACK);
    EXPECT_EQ(ack.word3, WM_DDE_ADVISE);
    EXPECT_NE(ack.word1 & 0x8000, 0);
    frame update;
    ASSERT_TRUE(next_frame(fd, &buffer, &update));
    ASSERT_EQ(update.message, WM_DDE_DATA);
    EXPECT_EQ(update.data, "43");
    EXPECT_EQ(update.word1 & 0x1000, 0) << "an update asked by no request";

    const frame end = ask({WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}});
    EXPECT_EQ(end.message, WM_DDE_TERMINATE);
}

TEST_F(DdeBridgeServer, TalkingKeepsAConversationOpenAndSilenceEndsIt) {
    set_dde_bridge_limits(0, 0, 0, 600);
    initiate();
    // Twice the silence allowed, talking all the while.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1200)) {
        const frame d = ask({WM_DDE_REQUEST, 0, CF_TEXT, 0, "Item", {}, {}});
        ASSERT_EQ(d.message, WM_DDE_DATA) << "let go while talking";
        ASSERT_EQ(dde_bridge_connections(), 1u);
    }
    // Then silent: let go (the bridge closes its end), within a bound.
    frame f;
    EXPECT_FALSE(next_frame(fd, &buffer, &f));
    char c;
    EXPECT_EQ(recv(fd, &c, 1, MSG_DONTWAIT), 0);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("1 conversation(s) silent"), std::string::npos) << logged[0];
}

TEST_F(DdeBridgeServer, AnInitiateWithoutAnApplicationIsRefused) {
    send({WM_DDE_INITIATE, 0, 0, 0, {}, "Topic", {}});
    frame f;
    EXPECT_FALSE(next_frame(fd, &buffer, &f)); // closed without an answer
    char c;
    EXPECT_EQ(recv(fd, &c, 1, MSG_DONTWAIT), 0);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("an initiate without an application"), std::string::npos) << logged[0];
}

} // namespace

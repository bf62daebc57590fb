// A client window of this process talks to a server of another program over
// the bridge: its initiate broadcast reaches the socket of the service, a
// proxy window answers for the server, and execute, request, poke, advise,
// data asking for an acknowledgement and terminate go across with each
// side's memory and atoms freed by the rules of DDE. The other program is a
// thread here speaking the frames on a socket of its own.
#include "platform/dde.h"
#include "platform/dde_bridge.h"
#include "platform/global.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <strings.h>
#include <thread>
#include <vector>

namespace {

using dde_wire::frame;

struct got {
    UINT message = 0;
    HWND from = nullptr;
    UINT_PTR lo = 0, hi = 0;
    std::string name1, name2;
};
std::vector<got> inbox;
bool initiating = false; // while the test's initiate is broadcast

LRESULT client_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    // The broadcast reaches the client's own window too.
    if (m <= WM_DDE_INITIATE || m > WM_DDE_LAST) return DefWindowProc(w, m, wp, lp);
    got g;
    g.message = m;
    g.from = reinterpret_cast<HWND>(wp);
    const bool initiate_answer = m == WM_DDE_ACK && initiating;
    char buf[256];
    if (initiate_answer) { // sent: its atoms are the sender's, read while alive
        UnpackDDElParam(WM_DDE_INITIATE, lp, &g.lo, &g.hi);
        if (GlobalGetAtomNameA(static_cast<ATOM>(g.lo), buf, sizeof buf)) g.name1 = buf;
        if (GlobalGetAtomNameA(static_cast<ATOM>(g.hi), buf, sizeof buf)) g.name2 = buf;
    } else {
        UnpackDDElParam(m, lp, &g.lo, &g.hi);
        FreeDDElParam(m, lp);
        if (m != WM_DDE_TERMINATE && g.hi && g.hi <= 0xFFFF) {
            if (GlobalGetAtomNameA(static_cast<ATOM>(g.hi), buf, sizeof buf)) g.name1 = buf;
            GlobalDeleteAtom(static_cast<ATOM>(g.hi)); // the receiver's to delete
        }
    }
    inbox.push_back(g);
    return 0;
}

// Pumps until the inbox holds n messages (5 s at most).
bool wait_for(std::size_t n) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (inbox.size() < n && std::chrono::steady_clock::now() < until) {
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return inbox.size() >= n;
}

// The other program: serves "Fake" on its socket for one conversation.
struct fake_server {
    int listen_fd = -1;
    std::thread thread;
    std::vector<frame> heard; // what reached it, in order
    bool upper = false;       // answers items in its own spelling: capitals
    explicit fake_server(const std::string& path, bool upper_items = false) : upper(upper_items) {
        listen_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        EXPECT_EQ(bind(listen_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(listen(listen_fd, 4), 0);
        thread = std::thread([this] { serve(); });
    }
    ~fake_server() {
        shutdown(listen_fd, SHUT_RDWR);
        if (thread.joinable()) thread.join();
        close(listen_fd);
    }
    void serve() {
        const int fd = accept(listen_fd, nullptr, nullptr);
        if (fd < 0) return;
        std::string buffer, why;
        frame f;
        auto answer = [&](const frame& a) { dde_bridge_send(fd, a, &why); };
        while (dde_bridge_receive(fd, &buffer, &f, 5000, &why)) {
            heard.push_back(f);
            switch (f.message) {
            case WM_DDE_INITIATE:
                answer({WM_DDE_ACK, 0x8000, 0, WM_DDE_INITIATE, "Fake", f.name2, {}});
                break;
            case WM_DDE_EXECUTE:
                answer({WM_DDE_ACK, 0x8001, 0, WM_DDE_EXECUTE, {}, {}, {}});
                break;
            case WM_DDE_REQUEST: {
                std::string item = f.name1;
                if (upper)
                    for (char& ch : item)
                        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                if (strcasecmp(f.name1.c_str(), "Price") == 0)
                    answer({WM_DDE_DATA, 0x1000, f.word2, 0, item, {}, "12.5"});
                else
                    answer({WM_DDE_ACK, 0, 0, WM_DDE_REQUEST, item, {}, {}});
                break;
            }
            case WM_DDE_POKE:
                answer({WM_DDE_ACK, 0x8000, 0, WM_DDE_POKE, f.name1, {}, {}});
                // Then data of its own that asks for an acknowledgement.
                answer({WM_DDE_DATA, 0x8000, 1, 0, "Cell", {}, "7"});
                break;
            case WM_DDE_ADVISE:
                answer({WM_DDE_ACK, 0, 0, WM_DDE_ADVISE, f.name1, {}, {}});
                break;
            case WM_DDE_TERMINATE:
                answer({WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}});
                close(fd);
                return;
            default:
                break;
            }
        }
        close(fd);
    }
};

class DdeBridgeClient : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        had_old = old != nullptr;
        if (old) old_value = old;
        base = std::filesystem::path(::testing::TempDir()) / "dde-client";
        std::filesystem::remove_all(base);
        std::filesystem::create_directories(base);
        setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
        WNDCLASS wc{};
        wc.lpfnWndProc = client_proc;
        wc.lpszClassName = "dde_bridge_test_client";
        RegisterClass(&wc);
        client = CreateWindow("dde_bridge_test_client", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
        inbox.clear();
        atoms0 = global_atom_count();
        blocks0 = global_live_blocks();
    }
    void TearDown() override {
        if (client) DestroyWindow(client);
        inbox.clear();
        test_driver::reset();
        if (had_old)
            setenv("XDG_RUNTIME_DIR", old_value.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(base);
    }
    void broadcast_initiate(const char* app, const char* topic) {
        const ATOM a = GlobalAddAtomA(app), t = GlobalAddAtomA(topic);
        initiating = true;
        SendMessage(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(client),
                    PackDDElParam(WM_DDE_INITIATE, a, t));
        initiating = false;
        GlobalDeleteAtom(a);
        GlobalDeleteAtom(t);
    }
    // Posts to the server and waits for one more message.
    got post(HWND server, UINT message, LPARAM lp) {
        inbox.clear();
        EXPECT_TRUE(PostMessage(server, message, reinterpret_cast<WPARAM>(client), lp));
        EXPECT_TRUE(wait_for(1));
        return inbox.empty() ? got{} : inbox[0];
    }

    HWND client = nullptr;
    std::filesystem::path base;
    bool had_old = false;
    std::string old_value;
    std::size_t atoms0 = 0, blocks0 = 0;
};

TEST_F(DdeBridgeClient, AConversationWithAServerOfAnotherProgram) {
    std::string why;
    const std::string path = dde_bridge_socket_path("Fake", &why);
    ASSERT_FALSE(path.empty()) << why;
    fake_server other(path);

    broadcast_initiate("fake", "Sheet1");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].message, WM_DDE_ACK);
    // The server's spelling, as the atom the client still holds spells it.
    EXPECT_EQ(inbox[0].name1, "fake");
    EXPECT_EQ(inbox[0].name2, "Sheet1");
    const HWND server = inbox[0].from;
    ASSERT_TRUE(IsWindow(server));
    EXPECT_EQ(dde_bridge_connections(), 1u);

    // Execute: the acknowledgement carries the command memory back.
    HGLOBAL cmd = global_from_bytes("[Open(\"a.xls\")]", 16, GMEM_MOVEABLE | GMEM_DDESHARE);
    got a = post(server, WM_DDE_EXECUTE,
                 PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(cmd)));
    EXPECT_EQ(a.message, WM_DDE_ACK);
    EXPECT_EQ(a.lo, 0x8001u);
    EXPECT_EQ(reinterpret_cast<HGLOBAL>(a.hi), cmd);
    GlobalFree(cmd);

    // A request answered with data under the request's item, and one refused.
    got d = post(server, WM_DDE_REQUEST, PackDDElParam(WM_DDE_REQUEST, 1, GlobalAddAtomA("price")));
    ASSERT_EQ(d.message, WM_DDE_DATA);
    EXPECT_EQ(d.name1, "price");
    dde_block block;
    ASSERT_TRUE(read_dde_data(reinterpret_cast<HGLOBAL>(d.lo), &block));
    EXPECT_TRUE(block.response && block.release);
    EXPECT_EQ(block.value, "12.5");
    GlobalFree(reinterpret_cast<HGLOBAL>(d.lo));
    a = post(server, WM_DDE_REQUEST, PackDDElParam(WM_DDE_REQUEST, 1, GlobalAddAtomA("Nothing")));
    EXPECT_EQ(a.message, WM_DDE_ACK);
    EXPECT_EQ(a.lo, 0u);
    EXPECT_EQ(a.name1, "Nothing");

    // A poke taken with release set: its data is freed for the other program.
    dde_block poke;
    poke.release = true;
    poke.format = 1;
    poke.value = "42";
    HGLOBAL pdata = make_dde_poke(poke);
    inbox.clear();
    PostMessage(
        server, WM_DDE_POKE, reinterpret_cast<WPARAM>(client),
        PackDDElParam(WM_DDE_POKE, reinterpret_cast<UINT_PTR>(pdata), GlobalAddAtomA("R1C1")));
    ASSERT_TRUE(wait_for(2)); // the ack, then the server's own data
    EXPECT_EQ(inbox[0].message, WM_DDE_ACK);
    EXPECT_EQ(inbox[0].lo, 0x8000u);
    EXPECT_EQ(GlobalSize(pdata), 0u) << "taken poke data was not freed";
    ASSERT_EQ(inbox[1].message, WM_DDE_DATA);
    ASSERT_TRUE(read_dde_data(reinterpret_cast<HGLOBAL>(inbox[1].lo), &block));
    EXPECT_TRUE(block.ack_req);
    EXPECT_EQ(block.value, "7");
    GlobalFree(reinterpret_cast<HGLOBAL>(inbox[1].lo));
    // The acknowledgement it asked for goes across.
    PostMessage(server, WM_DDE_ACK, reinterpret_cast<WPARAM>(client),
                PackDDElParam(WM_DDE_ACK, 0x8000, GlobalAddAtomA("Cell")));

    // A refused advise leaves the options to the client.
    dde_block advise;
    advise.format = 1;
    HGLOBAL options = make_dde_advise(advise);
    a = post(
        server, WM_DDE_ADVISE,
        PackDDElParam(WM_DDE_ADVISE, reinterpret_cast<UINT_PTR>(options), GlobalAddAtomA("Level")));
    EXPECT_EQ(a.lo, 0u);
    EXPECT_EQ(a.name1, "Level");
    EXPECT_TRUE(read_dde_advise(options, &block));
    GlobalFree(options);

    // Terminate: answered, the proxy and the connection go.
    a = post(server, WM_DDE_TERMINATE, 0);
    EXPECT_EQ(a.message, WM_DDE_TERMINATE);
    EXPECT_FALSE(IsWindow(server));
    EXPECT_EQ(dde_bridge_connections(), 0u);
    EXPECT_EQ(global_atom_count(), atoms0);
    EXPECT_EQ(global_live_blocks(), blocks0);

    // What the other program heard, in order.
    other.thread.join();
    std::vector<UINT> heard;
    for (const auto& f : other.heard) heard.push_back(f.message);
    EXPECT_EQ(heard,
              (std::vector<UINT>{WM_DDE_INITIATE, WM_DDE_EXECUTE, WM_DDE_REQUEST, WM_DDE_REQUEST,
                                 WM_DDE_POKE, WM_DDE_ACK, WM_DDE_ADVISE, WM_DDE_TERMINATE}));
    ASSERT_EQ(other.heard.size(), 8u);
    EXPECT_EQ(other.heard[1].data, "[Open(\"a.xls\")]");
    EXPECT_EQ(other.heard[2].name1, "price");
    EXPECT_EQ(other.heard[4].data, "42");
    EXPECT_EQ(other.heard[4].word1 & 0x2000, 0x2000);
    EXPECT_EQ(other.heard[5].word3, WM_DDE_DATA);
    EXPECT_EQ(other.heard[5].name1, "Cell");
}

// Item names are compared without regard to case: a server answering a
// request in its own spelling answers that request, under the atom the
// client asked with.
TEST_F(DdeBridgeClient, AServersOwnSpellingOfAnItemAnswersTheRequest) {
    std::string why;
    const std::string path = dde_bridge_socket_path("Fake", &why);
    ASSERT_FALSE(path.empty()) << why;
    fake_server other(path, true);
    broadcast_initiate("Fake", "Sheet1");
    ASSERT_EQ(inbox.size(), 1u);
    const HWND server = inbox[0].from;
    ASSERT_TRUE(IsWindow(server));

    got d = post(server, WM_DDE_REQUEST, PackDDElParam(WM_DDE_REQUEST, 1, GlobalAddAtomA("price")));
    ASSERT_EQ(d.message, WM_DDE_DATA);
    EXPECT_EQ(d.name1, "price");
    dde_block block;
    ASSERT_TRUE(read_dde_data(reinterpret_cast<HGLOBAL>(d.lo), &block));
    EXPECT_TRUE(block.response);
    GlobalFree(reinterpret_cast<HGLOBAL>(d.lo));
    got a =
        post(server, WM_DDE_REQUEST, PackDDElParam(WM_DDE_REQUEST, 1, GlobalAddAtomA("Nothing")));
    EXPECT_EQ(a.message, WM_DDE_ACK);
    EXPECT_EQ(a.lo, 0u);
    EXPECT_EQ(a.name1, "Nothing");

    a = post(server, WM_DDE_TERMINATE, 0);
    EXPECT_EQ(a.message, WM_DDE_TERMINATE);
    EXPECT_EQ(dde_bridge_connections(), 0u);
    EXPECT_EQ(global_atom_count(), atoms0);
    EXPECT_EQ(global_live_blocks(), blocks0);
}

TEST_F(DdeBridgeClient, NoSocketNoAnswer) {
    broadcast_initiate("Nobody", "System");
    EXPECT_TRUE(inbox.empty());
    EXPECT_EQ(dde_bridge_connections(), 0u);
    EXPECT_EQ(global_atom_count(), atoms0);
}

} // namespace

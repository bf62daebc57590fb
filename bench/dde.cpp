// Speed of the DDE server's execute round trip (a command that changes
// nothing, answered by its acknowledgement): within the process, window to
// window (10,000 should take under 200 ms), and from another program's side
// of the socket bridge (1,000 under 1 s).
#include "platform/dde.h"
#include "datalinks/server.h"
#include "platform/dde_bridge.h"
#include "platform/global.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "shell/mainwnd.h"
#include "shell/state.h"

#include <benchmark/benchmark.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

int acks = 0;
HWND server_seen = nullptr;

LRESULT client_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m != WM_DDE_ACK) return DefWindowProc(w, m, wp, lp);
    if (!server_seen) { // the initiate's answer, sent
        server_seen = reinterpret_cast<HWND>(wp);
        return 0;
    }
    UINT_PTR status = 0, cmd = 0;
    UnpackDDElParam(WM_DDE_ACK, lp, &status, &cmd);
    FreeDDElParam(WM_DDE_ACK, lp);
    GlobalFree(reinterpret_cast<HGLOBAL>(cmd));
    ++acks;
    return 0;
}

// The workbench's part: the initiate goes to the server.
LRESULT workbench_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_DDE_INITIATE) {
        dde_server_initiate(reinterpret_cast<HWND>(wp), lp);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

// A workbench stand-in (the server windows' parent) and the server installed.
void set_up() {
    static bool done = false;
    if (done) return;
    done = true;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char tmpl[] = "/tmp/bench_dde_XXXXXX";
    setenv("XDG_RUNTIME_DIR", mkdtemp(tmpl), 1);
    platform_ensure_application();
    hinst = handle_from_token<HINSTANCE>(1);
    register_classes(hinst);
    install_dde_server();
    WNDCLASS wc{};
    wc.lpfnWndProc = client_proc;
    wc.hInstance = hinst;
    wc.lpszClassName = "bench_dde_client";
    RegisterClass(&wc);
    wc.lpfnWndProc = workbench_proc;
    wc.lpszClassName = "bench_dde_workbench";
    RegisterClass(&wc);
    main_wnd = CreateWindow("bench_dde_workbench", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            hinst, nullptr);
}

void pump() {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

void BM_ExecuteInProcess(benchmark::State& state) {
    set_up();
    HWND client = CreateWindow("bench_dde_client", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               hinst, nullptr);
    server_seen = nullptr;
    const ATOM app = GlobalAddAtomA("Kavrel"), topic = GlobalAddAtomA("System");
    dde_server_initiate(client, PackDDElParam(WM_DDE_INITIATE, app, topic));
    GlobalDeleteAtom(app);
    GlobalDeleteAtom(topic);
    HWND server = server_seen;
    if (!server) {
        state.SkipWithError("no answer to the initiate");
        return;
    }
    static const char command[] = "[Beep()]";
    for (auto _ : state) {
        const int before = acks;
        HGLOBAL cmd = global_from_bytes(command, sizeof command, GMEM_MOVEABLE | GMEM_DDESHARE);
        PostMessage(server, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(client),
                    PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(cmd)));
        while (acks == before) pump();
    }
    PostMessage(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(client), 0);
    pump();
    DestroyWindow(client);
}
BENCHMARK(BM_ExecuteInProcess)->Iterations(10000)->Unit(benchmark::kMillisecond);

void BM_ExecuteOverTheSocket(benchmark::State& state) {
    set_up();
    std::string why;
    if (!dde_bridge_listen("Kavrel", &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    const int fd = dde_bridge_connect("Kavrel", &why);
    std::string buffer;
    dde_wire::frame answer;
    auto receive = [&] {
        for (;;) {
            std::size_t used = 0;
            std::string bad;
            if (dde_wire::decode(buffer.data(), buffer.size(), &answer, &used, &bad) ==
                dde_wire::parsed::ok) {
                buffer.erase(0, used);
                return true;
            }
            pump();
            char chunk[4096];
            const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n == 0) return false;
            if (n > 0) buffer.append(chunk, static_cast<std::size_t>(n));
        }
    };
    if (fd < 0 || !dde_bridge_send(fd, {WM_DDE_INITIATE, 0, 0, 0, "Kavrel", "System", {}}, &why) ||
        !receive() || answer.message != WM_DDE_ACK) {
        state.SkipWithError("no conversation over the socket");
        return;
    }
    const dde_wire::frame execute{WM_DDE_EXECUTE, 0, 0, 0, {}, {}, "[Beep()]"};
    for (auto _ : state) {
        dde_bridge_send(fd, execute, &why);
        if (!receive()) {
            state.SkipWithError("the connection closed");
            break;
        }
    }
    dde_bridge_send(fd, {WM_DDE_TERMINATE, 0, 0, 0, {}, {}, {}}, &why);
    receive();
    close(fd);
    dde_bridge_stop();
    std::error_code ignored;
    std::filesystem::remove_all(std::getenv("XDG_RUNTIME_DIR"), ignored);
}
BENCHMARK(BM_ExecuteOverTheSocket)->Iterations(1000)->Unit(benchmark::kMillisecond);

} // namespace

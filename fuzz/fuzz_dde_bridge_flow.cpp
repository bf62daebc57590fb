// Fuzz target of a whole conversation over the DDE bridge: the input is what
// a peer sends on a connected socket, served by the program's DDE server
// (with a dialog up, so that FileOpen is answered busy and opens nothing).
// When the peer has sent it all and hung up, every conversation has ended and
// the atoms and global memory are back at their baseline.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include <sys/socket.h>
#include <unistd.h>

#include "datalinks/server.h"
#include "platform/dde.h"
#include "platform/dde_bridge.h"
#include "platform/global.h"
#include "platform/messages.h"
#include "platform/win.h"
#include "shell/mainwnd.h"
#include "shell/pump.h"
#include "shell/state.h"

namespace {

LRESULT workbench_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_DDE_INITIATE) {
        dde_server_initiate(reinterpret_cast<HWND>(wp), lp);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

void pump() {
    MSG m;
    for (int i = 0; i < 10000 && PeekMessage(&m, nullptr, 0, 0, PM_REMOVE); ++i)
        DispatchMessage(&m);
}

std::size_t atoms0 = 0, blocks0 = 0;
char runtime_dir[] = "/tmp/fuzz_dde_bridge_flow_XXXXXX";

void remove_runtime_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(runtime_dir, ignored);
}

void set_up() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (mkdtemp(runtime_dir)) {
        setenv("XDG_RUNTIME_DIR", runtime_dir, 1);
        std::atexit(remove_runtime_dir);
    }
    set_dde_bridge_log([](const char*) {});
    platform_ensure_application();
    hinst = handle_from_token<HINSTANCE>(1);
    register_classes(hinst);
    install_dde_server();
    WNDCLASS wc{};
    wc.lpfnWndProc = workbench_proc;
    wc.hInstance = hinst;
    wc.lpszClassName = "fuzz_workbench";
    RegisterClass(&wc);
    main_wnd = CreateWindow("fuzz_workbench", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, hinst,
                            nullptr);
    modal_count = 1; // FileOpen is answered busy: nothing is opened
    atoms0 = global_atom_count();
    blocks0 = global_live_blocks();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = (set_up(), true);
    (void)ready;
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sv) != 0) return 0;
    dde_bridge_serve_socket(sv[0]);
    std::size_t sent = 0;
    bool hung_up = false;
    for (int round = 0; round < 2000; ++round) {
        if (sent < size) {
            const ssize_t n = send(sv[1], data + sent, size - sent, MSG_NOSIGNAL);
            if (n > 0) sent += static_cast<std::size_t>(n);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) sent = size; // it closed
        } else if (!hung_up) {
            shutdown(sv[1], SHUT_WR);
            hung_up = true;
        }
        pump();
        char sink[65536];
        while (recv(sv[1], sink, sizeof sink, 0) > 0) {
        }
        if (hung_up && dde_bridge_connections() == 0) break;
    }
    close(sv[1]);
    dde_bridge_stop();
    pump();
    pump();
    if (dde_bridge_connections() != 0 || dde_server_conversations() != 0 ||
        global_atom_count() != atoms0 || global_live_blocks() != blocks0)
        __builtin_trap();
    return 0;
}

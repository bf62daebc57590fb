// The DDE server tests' fixture: a client window of the test's own that keeps
// what it is sent, and the workbench listening in the test's folder, with
// the atom and global-memory counts at the start to come back to.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "datalinks/server.h"
#include "platform/dde.h"
#include "platform/global.h"
#include "platform/messages.h"
#include "tests/shell/shell_fixture.h"

// A DDE client window of the test's own: what it was sent, with the names
// of the atoms read while they were alive.
struct received {
    UINT message = 0;
    HWND from = nullptr;
    UINT_PTR lo = 0, hi = 0;
    std::string app, topic; // initiate answers
};
inline std::vector<received> inbox;

inline LRESULT client_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m < WM_DDE_FIRST || m > WM_DDE_LAST) return DefWindowProc(w, m, wp, lp);
    received r;
    r.message = m;
    r.from = reinterpret_cast<HWND>(wp);
    UnpackDDElParam(m, lp, &r.lo, &r.hi);
    // A posted parameter block is the receiver's to free, as is the item atom
    // of an acknowledgement of an item.
    FreeDDElParam(m, lp);
    if (m == WM_DDE_ACK && r.hi >= first_string_atom && r.hi <= 0xFFFF) {
        char buf[256];
        if (GlobalGetAtomNameA(static_cast<ATOM>(r.hi), buf, sizeof buf)) r.app = buf;
        GlobalDeleteAtom(static_cast<ATOM>(r.hi));
    }
    inbox.push_back(r);
    return 0;
}

// The initiate answer is sent while the server still holds its atoms: the
// names are read there.
inline LRESULT initiating_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m != WM_DDE_ACK) return client_proc(w, m, wp, lp);
    received r;
    r.message = m;
    r.from = reinterpret_cast<HWND>(wp);
    UnpackDDElParam(WM_DDE_INITIATE, lp, &r.lo, &r.hi);
    char buf[256];
    if (GlobalGetAtomNameA(static_cast<ATOM>(r.lo), buf, sizeof buf)) r.app = buf;
    if (GlobalGetAtomNameA(static_cast<ATOM>(r.hi), buf, sizeof buf)) r.topic = buf;
    inbox.push_back(r);
    // Later acknowledgements are ordinary posted ones.
    SetWindowLongPtr(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(client_proc));
    return 0;
}

inline void drain() {
    MSG m;
    for (int i = 0; i < 1000 && PeekMessage(&m, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessage(&m);
}

class DdeServer : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        // The workbench listens for other programs: in the test's own folder.
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        old_runtime = old ? old : "";
        had_runtime = old != nullptr;
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        install_dde_server();
        make_workbench();
        inbox.clear();
        atoms0 = global_atom_count();
        blocks0 = global_live_blocks();
    }
    void TearDown() override {
        if (client && IsWindow(client)) DestroyWindow(client);
        inbox.clear();
        ShellWorkbenchTest::TearDown();
        if (had_runtime)
            setenv("XDG_RUNTIME_DIR", old_runtime.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    std::string old_runtime;
    bool had_runtime = false;

    // Initiates for (app, topic) from a fresh client window; the server
    // window that answered, or null.
    HWND initiate(const char* app, const char* topic) {
        if (client && IsWindow(client)) DestroyWindow(client);
        client = make_test_window("dde_test_client", initiating_proc);
        const ATOM a = app ? GlobalAddAtomA(app) : 0;
        const ATOM t = topic ? GlobalAddAtomA(topic) : 0;
        SendMessage(main_wnd, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(client),
                    PackDDElParam(WM_DDE_INITIATE, a, t));
        if (a) GlobalDeleteAtom(a);
        if (t) GlobalDeleteAtom(t);
        if (inbox.empty()) {
            SetWindowLongPtr(client, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(client_proc));
            return nullptr;
        }
        return inbox.back().from;
    }

    // Posts an execute of `text` and pumps; the acknowledgement's status word.
    // The command memory comes back with it and is freed here, as a client does.
    int execute(HWND server, const std::string& text, HGLOBAL* keep = nullptr) {
        HGLOBAL cmd = global_from_bytes(text.c_str(), text.size() + 1, GMEM_MOVEABLE);
        inbox.clear();
        EXPECT_TRUE(PostMessage(server, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(client),
                                PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(cmd))));
        drain();
        return take_ack(cmd, keep);
    }
    int take_ack(HGLOBAL cmd, HGLOBAL* keep = nullptr) {
        for (const auto& r : inbox) {
            if (r.message != WM_DDE_ACK) continue;
            EXPECT_EQ(reinterpret_cast<HGLOBAL>(r.hi), cmd) << "the command memory comes back";
            if (keep)
                *keep = cmd;
            else
                GlobalFree(cmd);
            return static_cast<int>(r.lo);
        }
        ADD_FAILURE() << "no acknowledgement";
        GlobalFree(cmd);
        return -1;
    }
    void expect_baseline() {
        EXPECT_EQ(global_atom_count(), atoms0);
        EXPECT_EQ(global_live_blocks(), blocks0);
    }

    HWND client = nullptr;
    std::size_t atoms0 = 0, blocks0 = 0;
};

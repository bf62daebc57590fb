// Shared fixture of the window layer's tests: a recording window class whose
// procedure logs every message and can be given per-test behaviour.
#pragma once

#include "platform/gdi.h"
#include "platform/win.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

namespace wintest {

struct Logged {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

inline std::vector<Logged>& log() {
    static std::vector<Logged> l;
    return l;
}

// Per-test behaviour: return true when handled (result in *out).
using Hook = std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT* out)>;
inline Hook& hook() {
    static Hook h;
    return h;
}

inline LRESULT record_proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    log().push_back({h, m, wp, lp});
    LRESULT r = 0;
    if (hook() && hook()(h, m, wp, lp, &r)) return r;
    return DefWindowProc(h, m, wp, lp);
}

// Messages of the log with the given numbers, in order.
inline std::vector<UINT> messages(std::initializer_list<UINT> wanted, HWND only = nullptr) {
    std::vector<UINT> out;
    for (const Logged& l : log()) {
        if (only && l.hwnd != only) continue;
        for (UINT w : wanted)
            if (l.msg == w) out.push_back(l.msg);
    }
    return out;
}

inline std::vector<Logged> entries(UINT msg) {
    std::vector<Logged> out;
    for (const Logged& l : log())
        if (l.msg == msg) out.push_back(l);
    return out;
}

class WinTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        log().clear();
        hook() = nullptr;
        WNDCLASS wc{};
        wc.lpfnWndProc = record_proc;
        wc.cbWndExtra = 8;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
        wc.lpszClassName = "Test_plain";
        ASSERT_NE(RegisterClass(&wc), 0);
        wc.style = CS_DBLCLKS;
        wc.lpszClassName = "Test_dbl";
        ASSERT_NE(RegisterClass(&wc), 0);
    }
    void TearDown() override {
        hook() = nullptr;
        test_driver::reset();
        log().clear();
    }
    HWND top(int x = 10, int y = 10, int w = 200, int h = 150, DWORD style = WS_POPUP | WS_VISIBLE,
             const char* cls = "Test_plain") {
        return CreateWindowEx(0, cls, "top", style, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
    }
    HWND child(HWND parent, int id, int x, int y, int w, int h, DWORD style = WS_CHILD | WS_VISIBLE,
               const char* cls = "Test_plain") {
        return CreateWindowEx(0, cls, "child", style, x, y, w, h, parent,
                              reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr,
                              nullptr);
    }
};

} // namespace wintest

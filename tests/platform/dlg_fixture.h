// Shared fixture of the dialog, control and message-box tests: the test
// driver, a dialog procedure that logs WM_COMMAND / WM_NOTIFY traffic and
// can be given per-test behaviour, error capture, and a modeless dialog of
// items for the control tests.
#pragma once

#include "platform/controls.h"
#include "platform/dlg.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace dlgtest {

// The style of a visible child control.
inline constexpr DWORD vis = WS_CHILD | WS_VISIBLE;

struct Note {
    UINT msg;
    int id;
    int code; // notification code (WM_COMMAND high word, NMHDR code)
};

inline std::vector<Note>& notes() {
    static std::vector<Note> n;
    return n;
}
inline std::vector<std::string>& errors() {
    static std::vector<std::string> e;
    return e;
}

using DlgHook = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;
inline DlgHook& hook() {
    static DlgHook h;
    return h;
}

// Logs notifications; OK and Cancel end the dialog with their ids unless the
// hook handled the command.
inline INT_PTR CALLBACK_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND) notes().push_back({msg, LOWORD(wp), HIWORD(wp)});
    if (msg == WM_NOTIFY) {
        auto* nm = reinterpret_cast<const NMHDR*>(lp);
        notes().push_back({msg, static_cast<int>(nm->idFrom), static_cast<int>(nm->code)});
    }
    if (hook()) {
        INT_PTR r = hook()(dlg, msg, wp, lp);
        if (r) return r;
    }
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

inline std::vector<int> codes_of(int id, UINT msg = WM_COMMAND) {
    std::vector<int> v;
    for (const Note& n : notes())
        if (n.id == id && n.msg == msg) v.push_back(n.code);
    return v;
}

class DlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        notes().clear();
        errors().clear();
        hook() = nullptr;
        ui_set_error_hook([](const char* m) { errors().push_back(m); });
        win_set_stall_handler([](const char* what) {
            ADD_FAILURE() << "a wait would hang: " << what;
            throw std::runtime_error("stalled");
        });
        controls_register();
    }
    void TearDown() override {
        hook() = nullptr;
        dlg_set_modal_hook(nullptr);
        ui_set_error_hook(nullptr);
        test_driver::reset();
        win_set_stall_handler(nullptr);
    }
    // A top-level owner window.
    HWND make_owner() {
        WNDCLASS wc{};
        if (!GetClassInfo(nullptr, "DlgTestOwner", &wc)) {
            wc.lpfnWndProc = DefWindowProc;
            wc.lpszClassName = "DlgTestOwner";
            RegisterClass(&wc);
        }
        HWND h = CreateWindowEx(0, "DlgTestOwner", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                10, 400, 300, nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(h, nullptr);
        return h;
    }
};

// Each test opens a modeless dialog of its own items (under the caption given
// by the fixture) and pumps it while it works the controls.
class ItemDialogTest : public DlgTest {
protected:
    explicit ItemDialogTest(const char* caption) : caption_(caption) {}
    HWND open(std::vector<DialogItem> items) {
        DialogTemplate t;
        t.caption = caption_;
        t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
        t.cx = 220;
        t.cy = 160;
        t.items = std::move(items);
        dialog = CreateDialogIndirectParam(nullptr, &t, nullptr, CALLBACK_proc, 0);
        EXPECT_NE(dialog, nullptr);
        notes().clear(); // the focus given at the start
        return dialog;
    }
    void pump() { answerer::run_modeless(dialog); }
    HWND item(int id) { return GetDlgItem(dialog, id); }
    HWND dialog = nullptr;

private:
    const char* caption_;
};

} // namespace dlgtest

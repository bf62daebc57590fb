// The keyboard interface of dialogs: tab order (WS_TABSTOP), groups
// (WS_GROUP) and the arrows within them, Enter for the default button, Escape
// for Cancel, and Alt+mnemonic.
#include "platform/dlg.h"
#include "platform/dlg_internal.h"
#include "platform/win_internal.h"

#include "platform/ctl_internal.h"

#include <QChar>

#include <vector>

namespace {

std::vector<HWND> controls_of(HWND dialog) {
    std::vector<HWND> v;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) v.push_back(c);
    return v;
}

bool usable(HWND c) {
    return IsWindowVisible(c) && IsWindowEnabled(c);
}

DWORD style(HWND c) {
    return static_cast<DWORD>(GetWindowLong(c, GWL_STYLE));
}

// The control whose text carries the mnemonic `ch` ("&x"; "&&" is a plain '&').
HWND mnemonic_owner(HWND dialog, char ch) {
    QChar want = QChar::fromLatin1(ch).toLower();
    for (HWND c : controls_of(dialog)) {
        if (!IsWindowVisible(c)) continue;
        char text[256];
        GetWindowText(c, text, sizeof text);
        for (const char* p = text; *p; ++p) {
            if (*p != '&') continue;
            if (p[1] == '&') {
                ++p;
                continue;
            }
            if (p[1] && QChar::fromLatin1(p[1]).toLower() == want) return c;
            break;
        }
    }
    return nullptr;
}

bool do_mnemonic(HWND dialog, char ch) {
    HWND c = mnemonic_owner(dialog, ch);
    if (!c) return false;
    LRESULT code = SendMessage(c, WM_GETDLGCODE, 0, 0);
    if (code & DLGC_STATIC) {
        // A label hands the focus to the next control that takes it.
        HWND next = GetNextDlgTabItem(dialog, c, FALSE);
        if (next) dlg::focus_control(dialog, next);
        return true;
    }
    if (!IsWindowEnabled(c)) return true;
    if (code & DLGC_BUTTON) {
        if (!(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) dlg::focus_control(dialog, c);
        SendMessage(c, BM_CLICK, 0, 0);
        return true;
    }
    dlg::focus_control(dialog, c);
    return true;
}

} // namespace

void dlg_mark_keyboard_focus(HWND control) {
    win::mark_keyboard_focus(control);
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    if (!IsWindow(dialog)) return nullptr;
    std::vector<HWND> v = controls_of(dialog);
    if (v.empty()) return nullptr;
    int n = static_cast<int>(v.size());
    int at = -1;
    for (int i = 0; i < n; ++i)
        if (v[static_cast<std::size_t>(i)] == control) at = i;
    for (int k = 1; k <= n; ++k) {
        int i = at < 0 ? (previous ? n - k : k - 1) : ((at + (previous ? -k : k)) % n + n) % n;
        HWND c = v[static_cast<std::size_t>(i)];
        if ((style(c) & WS_TABSTOP) && usable(c)) return c;
    }
    return control;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    if (!IsWindow(dialog)) return nullptr;
    std::vector<HWND> v = controls_of(dialog);
    int n = static_cast<int>(v.size());
    int at = -1;
    for (int i = 0; i < n; ++i)
        if (v[static_cast<std::size_t>(i)] == control) at = i;
    if (at < 0) return nullptr;
    // The group: from the nearest WS_GROUP control at or before `control` up
    // to the control before the next WS_GROUP.
    int start = at;
    while (start > 0 && !(style(v[static_cast<std::size_t>(start)]) & WS_GROUP)) --start;
    int end = at + 1;
    while (end < n && !(style(v[static_cast<std::size_t>(end)]) & WS_GROUP)) ++end;
    int size = end - start;
    for (int k = 1; k < size; ++k) {
        int i = start + ((at - start + (previous ? -k : k)) % size + size) % size;
        HWND c = v[static_cast<std::size_t>(i)];
        if (usable(c)) return c;
    }
    return control;
}

BOOL IsDialogMessage(HWND dialog, MSG* msg) {
    if (!msg || !IsWindow(dialog)) return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
    HWND focus = GetFocus();
    bool from_control = msg->hwnd != dialog;
    LRESULT code = from_control ? SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam,
                                              reinterpret_cast<LPARAM>(msg))
                                : 0;
    if (!IsWindow(dialog)) return TRUE;
    switch (msg->message) {
    case WM_KEYDOWN: {
        if (code & DLGC_WANTMESSAGE) break;
        int vk = static_cast<int>(msg->wParam);
        switch (vk) {
        case VK_TAB: {
            if (code & DLGC_WANTTAB) break;
            bool back = GetKeyState(VK_SHIFT) < 0;
            HWND from = focus && IsChild(dialog, focus) ? focus : nullptr;
            if (HWND next = GetNextDlgTabItem(dialog, from, back ? TRUE : FALSE)) {
                dlg::focus_control(dialog, next);
                win::mark_keyboard_focus(next);
            }
            return TRUE;
        }
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN: {
            if (code & DLGC_WANTARROWS) break;
            if (!focus || !IsChild(dialog, focus)) return TRUE;
            bool back = vk == VK_LEFT || vk == VK_UP;
            HWND next = GetNextDlgGroupItem(dialog, focus, back ? TRUE : FALSE);
            if (next && next != focus) {
                dlg::focus_control(dialog, next);
                win::mark_keyboard_focus(next);
                LRESULT nc = SendMessage(next, WM_GETDLGCODE, 0, 0);
                // Moving onto an automatic radio button checks it.
                if ((nc & DLGC_RADIOBUTTON) &&
                    (GetWindowLong(next, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                    SendMessage(next, BM_CLICK, 0, 0);
            }
            return TRUE;
        }
        case VK_RETURN: {
            int id = IDOK;
            HWND button = nullptr;
            if (focus && IsChild(dialog, focus) &&
                (SendMessage(focus, WM_GETDLGCODE, 0, 0) &
                 (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
                button = focus; // a focused push button is pressed by Enter
                id = GetDlgCtrlID(focus);
            } else {
                LRESULT def = SendMessage(dialog, DM_GETDEFID, 0, 0);
                if (HIWORD(static_cast<std::uintptr_t>(def)) == DC_HASDEFID)
                    id = LOWORD(static_cast<std::uintptr_t>(def));
                button = GetDlgItem(dialog, id);
            }
            if (button && !IsWindowEnabled(button)) {
                MessageBeep(0);
                return TRUE;
            }
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                        reinterpret_cast<LPARAM>(button));
            return TRUE;
        }
        case VK_ESCAPE: {
            HWND cancel = GetDlgItem(dialog, IDCANCEL);
            if (cancel && !IsWindowEnabled(cancel)) {
                MessageBeep(0);
                return TRUE;
            }
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                        reinterpret_cast<LPARAM>(cancel));
            return TRUE;
        }
        default:
            break;
        }
        break;
    }
    case WM_CHAR: {
        auto ch = static_cast<char>(msg->wParam);
        if (code & DLGC_WANTMESSAGE) break;
        if (ch == '\t' && !(code & DLGC_WANTTAB)) return TRUE;
        if (ch == '\r' || ch == 27) return TRUE;
        if (!(code & DLGC_WANTCHARS) && from_control && ch > ' ') {
            if (do_mnemonic(dialog, ch)) return TRUE;
        }
        break;
    }
    case WM_SYSKEYDOWN: {
        // Alt+letter: the mnemonic is taken from the key itself (then no
        // WM_SYSCHAR is made for it).
        int vk = static_cast<int>(msg->wParam);
        if (((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) &&
            do_mnemonic(dialog, static_cast<char>(vk)))
            return TRUE;
        break;
    }
    case WM_SYSCHAR: {
        auto ch = static_cast<char>(msg->wParam);
        if (ch > ' ' && do_mnemonic(dialog, ch)) return TRUE;
        break;
    }
    default:
        break;
    }
    TranslateMessage(msg);
    DispatchMessage(msg);
    return TRUE;
}

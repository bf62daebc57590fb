// The dialog manager: template registry, dialog creation from templates,
// DefDlgProc, modal loops, EndDialog and the dialog item helpers.
#include "platform/dlg.h"
#include "platform/dlg_internal.h"

#include "platform/ctl_internal.h"
#include "platform/gdi.h"

#include <QByteArray>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

// ---------------------------------------------------------------------------
// Errors

namespace {

ui_error_hook& error_hook() {
    static ui_error_hook h = nullptr;
    return h;
}
std::string& last_error() {
    static std::string s;
    return s;
}

} // namespace

void ui_set_error_hook(ui_error_hook hook) {
    error_hook() = hook;
}
std::string ui_last_error() {
    return last_error();
}
void ui_clear_last_error() {
    last_error().clear();
}
void ui_fail(const std::string& message) {
    last_error() = message;
    if (error_hook())
        error_hook()(message.c_str());
    else
        std::fprintf(stderr, "kavrel platform: %s\n", message.c_str());
}

// ---------------------------------------------------------------------------
// Templates

namespace {

std::map<int, DialogTemplate>& templates() {
    static std::map<int, DialogTemplate> t;
    return t;
}

std::string describe(const DialogTemplate& tpl) {
    return "dialog template " + std::to_string(tpl.id);
}

} // namespace

BOOL dlg_register_template(const DialogTemplate& tpl) {
    if (tpl.id <= 0 || tpl.id > 0xFFFF) {
        ui_fail("dialog template number " + std::to_string(tpl.id) + " is out of range");
        return FALSE;
    }
    if (tpl.cx < 0 || tpl.cy < 0) {
        ui_fail(describe(tpl) + ": negative size");
        return FALSE;
    }
    std::set<int> ids;
    for (const DialogItem& it : tpl.items) {
        if (!it.cls || !*it.cls) {
            ui_fail(describe(tpl) + ": control " + std::to_string(it.id) + " has no class");
            return FALSE;
        }
        if (it.cx < 0 || it.cy < 0) {
            ui_fail(describe(tpl) + ": control " + std::to_string(it.id) + " has a negative size");
            return FALSE;
        }
        if (it.id != IDC_STATIC && !ids.insert(it.id).second) {
            ui_fail(describe(tpl) + ": control id " + std::to_string(it.id) + " is used twice");
            return FALSE;
        }
    }
    templates()[tpl.id] = tpl;
    return TRUE;
}

const DialogTemplate* dlg_find_template(int id) {
    auto it = templates().find(id);
    return it == templates().end() ? nullptr : &it->second;
}

void dlg_clear_templates() {
    templates().clear();
}

// ---------------------------------------------------------------------------
// Dialog records

namespace dlg {
namespace {

std::map<std::uint32_t, State>& states() {
    static std::map<std::uint32_t, State> s;
    return s;
}
std::vector<HWND>& modal_stack() {
    static std::vector<HWND> s;
    return s;
}
ModalHook& modal_hook() {
    static ModalHook h;
    return h;
}

void register_dialog_class() {
    WNDCLASS wc{};
    if (GetClassInfo(nullptr, WC_DIALOG, &wc)) return;
    wc.style = CS_DBLCLKS | CS_SAVEBITS | CS_GLOBALCLASS;
    wc.lpfnWndProc = DefDlgProc;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_BTNFACE + 1));
    wc.lpszClassName = WC_DIALOG;
    RegisterClass(&wc);
}

bool special_result(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

int scale(int v, int base, int div) {
    return static_cast<int>((static_cast<long long>(v) * base) / div);
}

// Sets the default push button as DM_SETDEFID does: the old one loses the
// default look, the new one gets it.
void set_default(HWND dialog, State& s, int id) {
    if (s.def_id && s.def_id != id)
        if (HWND old = GetDlgItem(dialog, s.def_id))
            if ((SendMessage(old, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON))
                SendMessage(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    s.def_id = id;
    if (HWND b = GetDlgItem(dialog, id))
        if (SendMessage(b, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)
            SendMessage(b, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

HWND create(HINSTANCE instance, const DialogTemplate* tpl, HWND parent, DLGPROC proc, LPARAM param,
            bool modal) {
    if (!tpl) {
        ui_fail("dialog: no template");
        return nullptr;
    }
    platform_ensure_application();
    controls_register();
    register_dialog_class();
    const char* cls = tpl->cls ? tpl->cls : WC_DIALOG;
    WNDCLASS wc{};
    if (!GetClassInfo(instance, cls, &wc)) {
        ui_fail(describe(*tpl) + ": unknown dialog class \"" + cls + "\"");
        return nullptr;
    }
    if (wc.cbWndExtra < DLGWINDOWEXTRA) {
        ui_fail(describe(*tpl) + ": dialog class \"" + cls + "\" has too few window bytes");
        return nullptr;
    }
    // Check every control class first: a template that names an unknown class
    // makes no window at all.
    for (const DialogItem& it : tpl->items) {
        WNDCLASS ic{};
        if (!it.cls || !GetClassInfo(instance, it.cls, &ic)) {
            ui_fail(describe(*tpl) + ": control " + std::to_string(it.id) +
                    " has an unknown class \"" + (it.cls ? it.cls : "") + "\"");
            return nullptr;
        }
    }
    DWORD style = tpl->style;
    bool child = (style & WS_CHILD) != 0;
    if (child && !parent) {
        ui_fail(describe(*tpl) + ": a child dialog needs a parent window");
        return nullptr;
    }
    // The font and the dialog units it gives.
    HFONT font = nullptr;
    bool own_font = false;
    if (style & DS_SETFONT || tpl->font_face) {
        int points = tpl->font_points > 0 ? tpl->font_points : 8;
        font = CreateFont(-(points * 96 + 36) / 72, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0,
                          0, 0, tpl->font_face ? tpl->font_face : "MS Sans Serif");
        own_font = font != nullptr;
    }
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SIZE base = ctl::base_units_of(font);
    RECT rc{0, 0, scale(tpl->cx, base.cx, 4), scale(tpl->cy, base.cy, 8)};
    AdjustWindowRectEx(&rc, style & ~WS_VISIBLE, FALSE, tpl->ex_style);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int x = scale(tpl->x, base.cx, 4), y = scale(tpl->y, base.cy, 8);
    if (!child) {
        HWND owner = parent;
        if ((style & DS_CENTER) || !owner) {
            RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            if (owner && IsWindowVisible(owner)) GetWindowRect(owner, &area);
            x = area.left + (area.right - area.left - w) / 2;
            y = area.top + (area.bottom - area.top - h) / 2;
        } else if (!(style & DS_ABSALIGN)) {
            POINT o{0, 0};
            ClientToScreen(owner, &o);
            x += o.x;
            y += o.y;
        }
        x = std::max(x, 0);
        y = std::max(y, 0);
    }
    HWND dialog = CreateWindowEx(tpl->ex_style | (modal ? WS_EX_DLGMODALFRAME : 0), cls,
                                 tpl->caption ? tpl->caption : "", style & ~WS_VISIBLE, x, y, w, h,
                                 parent, nullptr, instance, nullptr);
    if (!dialog) {
        if (own_font) DeleteObject(font);
        ui_fail(describe(*tpl) + ": the dialog window could not be made");
        return nullptr;
    }
    State& s = states()[token_of(dialog)];
    s = State{};
    s.font = font;
    s.template_font = own_font ? font : nullptr;
    s.base = base;
    s.modal = modal;
    s.template_id = tpl->id;
    SetWindowLongPtr(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    SendMessage(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (const DialogItem& it : tpl->items) {
        int cx = scale(it.x, base.cx, 4), cy = scale(it.y, base.cy, 8);
        int cw = scale(it.cx, base.cx, 4), ch = scale(it.cy, base.cy, 8);
        HWND c = CreateWindowEx(it.ex_style | WS_EX_NOPARENTNOTIFY, it.cls, it.text,
                                it.style | WS_CHILD, cx, cy, cw, ch, dialog,
                                reinterpret_cast<HMENU>(static_cast<std::intptr_t>(it.id)),
                                instance, nullptr);
        if (!IsWindow(dialog)) return nullptr; // destroyed by its own procedure
        if (!c) {
            if (style & DS_NOFAILCREATE) continue;
            ui_fail(describe(*tpl) + ": control " + std::to_string(it.id) + " of class \"" +
                    it.cls + "\" could not be made");
            DestroyWindow(dialog);
            return nullptr;
        }
        SendMessage(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if ((it.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON &&
            (SendMessage(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) && !s.def_id)
            s.def_id = it.id;
    }
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    LRESULT r = SendMessage(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!IsWindow(dialog)) return nullptr;
    State* sp = state(dialog);
    if (r && first && IsWindow(first) && !(sp && sp->ended)) focus_control(dialog, first);
    if ((style & WS_VISIBLE) && !(sp && sp->ended)) ShowWindow(dialog, SW_SHOW);
    return dialog;
}

// Restores the owner and the modal stack however the loop is left.
struct ModalGuard {
    HWND owner = nullptr;
    bool reenable = false;
    HWND dialog = nullptr;
    ~ModalGuard() {
        auto& st = modal_stack();
        if (dialog) {
            auto it = std::find(st.begin(), st.end(), dialog);
            if (it != st.end()) st.erase(it);
        }
        if (reenable && IsWindow(owner)) EnableWindow(owner, TRUE);
        if (dialog && IsWindow(dialog)) DestroyWindow(dialog);
        if (reenable && IsWindow(owner)) SetActiveWindow(owner);
    }
};

} // namespace

State* state(HWND dialog) {
    if (!IsWindow(dialog)) return nullptr;
    auto it = states().find(token_of(dialog));
    return it == states().end() ? nullptr : &it->second;
}

void focus_control(HWND dialog, HWND control) {
    if (!control || !IsWindow(control)) return;
    SetFocus(control);
    if (SendMessage(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        SendMessage(control, EM_SETSEL, 0, static_cast<LPARAM>(-1));
    if (State* s = state(dialog)) s->last_focus = control;
}

INT_PTR run_modal(HINSTANCE instance, const DialogTemplate* tpl, HWND owner, DLGPROC proc,
                  LPARAM param, const ModalInfo* extra) {
    if (owner && !IsWindow(owner)) owner = nullptr;
    if (owner) owner = GetAncestor(owner, GA_ROOT);
    ModalGuard guard;
    guard.owner = owner;
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        guard.reenable = true;
    }
    DialogTemplate popup = tpl ? *tpl : DialogTemplate{};
    popup.style = (popup.style & ~WS_CHILD) | WS_POPUP;
    HWND dialog = create(instance, tpl ? &popup : nullptr, owner, proc, param, true);
    if (!dialog) return -1;
    guard.dialog = dialog;
    modal_stack().push_back(dialog);
    State* s = state(dialog);
    if (s && !s->ended) {
        ShowWindow(dialog, SW_SHOW);
        if (modal_hook()) {
            ModalInfo info = extra ? *extra : ModalInfo{};
            info.dialog = dialog;
            info.template_id = tpl ? tpl->id : 0;
            char caption[512];
            GetWindowText(dialog, caption, sizeof caption);
            info.caption = caption;
            ModalHook hook = modal_hook();
            hook(info);
        }
    }
    bool quit = false;
    WPARAM quit_code = 0;
    while ((s = state(dialog)) && !s->ended) {
        MSG msg{};
        BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got == 0) { // the quit belongs to the outer loop
            quit = true;
            quit_code = msg.wParam;
            break;
        }
        if (got < 0) break;
        if (!IsDialogMessage(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    INT_PTR result = -1;
    if ((s = state(dialog)) && s->ended) result = s->result;
    if (quit) PostQuitMessage(static_cast<int>(quit_code));
    return result;
}

} // namespace dlg

using dlg::State;

void dlg_set_modal_hook(ModalHook hook) {
    dlg::modal_hook() = std::move(hook);
}
std::vector<HWND> dlg_modal_stack() {
    return dlg::modal_stack();
}
int dlg_template_id(HWND dialog) {
    State* s = dlg::state(dialog);
    return s ? s->template_id : 0;
}

namespace {
const DialogTemplate* template_by_name(const char* name) {
    if (!name) {
        ui_fail("dialog: no template named");
        return nullptr;
    }
    if (!IS_INTRESOURCE(name)) {
        char* end = nullptr;
        long v = std::strtol(name[0] == '#' ? name + 1 : name, &end, 10);
        if (!end || *end || v <= 0 || v > 0xFFFF) {
            ui_fail(std::string("dialog template \"") + name + "\" is not known");
            return nullptr;
        }
        name = MAKEINTRESOURCE(static_cast<int>(v));
    }
    int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
    const DialogTemplate* tpl = dlg_find_template(id);
    if (!tpl) ui_fail("dialog template " + std::to_string(id) + " is not known");
    return tpl;
}
} // namespace

INT_PTR DialogBoxParam(HINSTANCE instance, const char* name, HWND owner, DLGPROC proc,
                       LPARAM param) {
    const DialogTemplate* tpl = template_by_name(name);
    if (!tpl) return -1;
    DialogTemplate copy = *tpl; // the registry may change while the dialog runs
    return dlg::run_modal(instance, &copy, owner, proc, param, nullptr);
}

INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const DialogTemplate* tpl, HWND owner,
                               DLGPROC proc, LPARAM param) {
    if (!tpl) {
        ui_fail("DialogBoxIndirectParam: no template");
        return -1;
    }
    return dlg::run_modal(instance, tpl, owner, proc, param, nullptr);
}

HWND CreateDialogParam(HINSTANCE instance, const char* name, HWND parent, DLGPROC proc,
                       LPARAM param) {
    const DialogTemplate* tpl = template_by_name(name);
    if (!tpl) return nullptr;
    DialogTemplate copy = *tpl;
    return dlg::create(instance, &copy, parent, proc, param, false);
}

HWND CreateDialogIndirectParam(HINSTANCE instance, const DialogTemplate* tpl, HWND parent,
                               DLGPROC proc, LPARAM param) {
    return dlg::create(instance, tpl, parent, proc, param, false);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    State* s = dlg::state(dialog);
    if (!s) return FALSE;
    s->ended = true;
    s->result = result;
    ShowWindow(dialog, SW_HIDE);
    if (s->modal) PostMessage(dialog, WM_NULL, 0, 0); // wakes the modal loop
    return TRUE;
}

LRESULT DefDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtr(dialog, DWLP_DLGPROC));
    INT_PTR ret = 0;
    if (proc) {
        SetWindowLongPtr(dialog, DWLP_MSGRESULT, 0);
        ret = proc(dialog, message, wparam, lparam);
        if (!IsWindow(dialog)) return ret;
        if (ret) {
            if (dlg::special_result(message)) return ret;
            return GetWindowLongPtr(dialog, DWLP_MSGRESULT);
        }
    }
    State* s = dlg::state(dialog);
    switch (message) {
    case WM_INITDIALOG:
        return ret;
    case WM_SETFONT:
        if (s) s->font = reinterpret_cast<HFONT>(wparam);
        return 0;
    case WM_GETFONT:
        return s ? reinterpret_cast<LRESULT>(s->font) : 0;
    case DM_GETDEFID:
        if (s && s->def_id) return MAKELONG(static_cast<WORD>(s->def_id), DC_HASDEFID);
        return 0;
    case DM_SETDEFID:
        if (s) dlg::set_default(dialog, *s, static_cast<int>(wparam));
        return TRUE;
    case DM_REPOSITION:
        return 0;
    case WM_NEXTDLGCTL: {
        HWND target;
        if (LOWORD(static_cast<std::uintptr_t>(lparam)))
            target = reinterpret_cast<HWND>(wparam);
        else
            target = GetNextDlgTabItem(dialog, GetFocus(), wparam ? TRUE : FALSE);
        dlg::focus_control(dialog, target);
        return 0;
    }
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel)) return 0;
        SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                    reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case WM_SETFOCUS: {
        HWND target = s && IsWindow(s->last_focus) && IsChild(dialog, s->last_focus)
                          ? s->last_focus
                          : GetNextDlgTabItem(dialog, nullptr, FALSE);
        if (target) dlg::focus_control(dialog, target);
        return 0;
    }
    case WM_ERASEBKGND: {
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessage(dialog, WM_CTLCOLORDLG, wparam, reinterpret_cast<LPARAM>(dialog)));
        RECT rc;
        GetClientRect(dialog, &rc);
        FillRect(reinterpret_cast<HDC>(wparam), &rc,
                 brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_NCDESTROY:
        if (s) {
            if (s->template_font) DeleteObject(s->template_font);
            dlg::states().erase(token_of(dialog));
        }
        return DefWindowProc(dialog, message, wparam, lparam);
    default:
        return DefWindowProc(dialog, message, wparam, lparam);
    }
}

// ---------------------------------------------------------------------------
// Item helpers

BOOL SetDlgItemText(HWND dialog, int id, const char* text) {
    HWND c = GetDlgItem(dialog, id);
    if (!c) return FALSE;
    return SendMessage(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) ? TRUE : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    HWND c = GetDlgItem(dialog, id);
    if (!c) return 0;
    return static_cast<UINT>(GetWindowText(c, buffer, size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL is_signed) {
    char text[24];
    if (is_signed)
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else
        std::snprintf(text, sizeof text, "%u", value);
    return SetDlgItemText(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL is_signed) {
    if (translated) *translated = FALSE;
    HWND c = GetDlgItem(dialog, id);
    if (!c) return 0;
    int n = GetWindowTextLength(c);
    std::string text(static_cast<std::size_t>(std::max(n, 0)) + 1, '\0');
    GetWindowText(c, text.data(), n + 1);
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) return 0;
    if (!is_signed && *p == '-') return 0;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(p, &end, 10);
    if (end == p || errno == ERANGE) return 0;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end) return 0;
    if (is_signed ? (v < INT_MIN || v > INT_MAX) : (v < 0 || v > UINT_MAX)) return 0;
    if (translated) *translated = TRUE;
    return static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND c = GetDlgItem(dialog, id);
    if (!c) return FALSE;
    SendMessage(c, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    HWND c = GetDlgItem(dialog, id);
    if (!c) return 0;
    return static_cast<UINT>(SendMessage(c, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
    if (!IsWindow(dialog) || first > last) return FALSE;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(c);
        if (id >= first && id <= last)
            SendMessage(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam) {
    HWND c = GetDlgItem(dialog, id);
    if (!c) return 0;
    return SendMessage(c, message, wparam, lparam);
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
    State* s = dlg::state(dialog);
    if (!s || !rect) return FALSE;
    rect->left = dlg::scale(rect->left, s->base.cx, 4);
    rect->right = dlg::scale(rect->right, s->base.cx, 4);
    rect->top = dlg::scale(rect->top, s->base.cy, 8);
    rect->bottom = dlg::scale(rect->bottom, s->base.cy, 8);
    return TRUE;
}

LONG GetDialogBaseUnits() {
    SIZE b = ctl::base_units_of(static_cast<HFONT>(GetStockObject(SYSTEM_FONT)));
    return MAKELONG(static_cast<WORD>(b.cx), static_cast<WORD>(b.cy));
}

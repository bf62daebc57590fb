// Window records: the layer's state, the handle table, the text helpers, start-up,
// errors and the system's fixed values. The window calls live by concern in the
// other win_*.cpp files.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/win_internal.h"

#include <QApplication>

#include <algorithm>
#include <unistd.h>

namespace win {

namespace {

void init_desktop(State& s) {
    auto d = std::make_unique<Window>();
    d->gen = 1;
    d->alive = true;
    d->is_desktop = true;
    d->style = WS_VISIBLE | WS_CLIPCHILDREN;
    d->text = "";
    auto cls = std::make_shared<WinClass>();
    cls->name = "#32769";
    d->cls = cls;
    s.table.push_back(std::move(d));
}

} // namespace

State& st() {
    static State s;
    if (s.table.empty()) init_desktop(s);
    return s;
}

bool on_owner_thread() {
    return std::this_thread::get_id() == st().owner;
}

HWND handle_of(std::uint32_t slot, std::uint16_t gen) {
    return handle_from_token<HWND>((static_cast<std::uint32_t>(gen) << 16) | slot);
}

Window* get(HWND hwnd) {
    auto raw = reinterpret_cast<std::uintptr_t>(hwnd);
    if (raw == 0 || (raw >> 30) != 0) return nullptr; // also refuses other layers' tokens
    auto token = static_cast<std::uint32_t>(raw);
    std::uint32_t slot = token & 0xFFFF;
    auto gen = static_cast<std::uint16_t>(token >> 16);
    auto& s = st();
    if (gen == 0 || slot >= s.table.size()) return nullptr;
    Window* w = s.table[slot].get();
    if (!w || !w->alive || w->gen != gen) return nullptr;
    return w;
}

Window* get_or_fail(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w) st().last_error = ERROR_INVALID_WINDOW_HANDLE;
    return w;
}

Window* desktop() {
    return st().table[0].get();
}

HWND desktop_handle() {
    return handle_of(0, desktop()->gen);
}

bool is_toplevel(const Window& w) {
    return !w.is_desktop && !w.parent;
}

std::string lower(const char* text) {
    if (!text) return {};
    if (IS_INTRESOURCE(text)) {
        std::string out = "#";
        out += std::to_string(reinterpret_cast<std::uintptr_t>(text));
        return out;
    }
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Window texts read as the drawing reads program text, so a name kept in the
// model's one-byte code page shows as the diagram shows it.
QString qstr(const char* text) {
    return text ? gdi::decode_program_text(text, -1) : QString();
}
QString qstr(const std::string& text) {
    return gdi::decode_program_text(text.data(), static_cast<int>(text.size()));
}
std::string bytes(const QString& text) {
    return text.toStdString();
}

} // namespace win

using namespace win;

// ---------------------------------------------------------------------------
// Start-up and errors

void platform_ensure_application() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char arg0[] = "kavrel";
    static char* argv[] = {arg0, nullptr};
    new QApplication(argc, argv);
}

DWORD GetLastError() {
    return st().last_error;
}

void SetLastError(DWORD code) {
    st().last_error = code;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* process_id) {
    if (!get_or_fail(hwnd)) return 0;
    if (process_id) *process_id = GetCurrentProcessId();
    return 1;
}

DWORD GetCurrentThreadId() {
    return 1;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

int GetSystemMetrics(int index) {
    QRect sc = screen_rect();
    QRect wa = work_area();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
        return sc.width();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return sc.height();
    case SM_XVIRTUALSCREEN:
        return sc.left();
    case SM_YVIRTUALSCREEN:
        return sc.top();
    case SM_CXFULLSCREEN:
        return wa.width();
    case SM_CYFULLSCREEN:
        return wa.height() - 18;
    case SM_CXMAXIMIZED:
        return wa.width();
    case SM_CYMAXIMIZED:
        return wa.height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return 16;
    case SM_CYCAPTION:
        return 18;
    case SM_CYSMCAPTION:
        return 15;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CYMENU:
        return 19;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXSIZE:
    case SM_CYSIZE:
        return 18;
    case SM_CXMIN:
    case SM_CXMINTRACK:
        return 112;
    case SM_CYMIN:
    case SM_CYMINTRACK:
        return 27;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    case SM_MOUSEPRESENT:
    case SM_CMONITORS:
        return 1;
    case SM_SWAPBUTTON:
        return 0;
    default:
        return 0;
    }
}

BOOL MessageBeep(UINT) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
    return TRUE;
}

// The class library's window over the platform's window layer.
#include "chart/mfc/mfc_wnd.h"

#include "platform/messages.h"

namespace {

constexpr const char* kClassName = "KavrelMfcWnd";

// Registered when first needed, and again after the class table was
// emptied (a platform reset between tests drops every class).
bool register_class(WNDPROC proc) {
    WNDCLASS known{};
    if (GetClassInfo(nullptr, kClassName, &known)) return true;
    WNDCLASS wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = kClassName;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    return RegisterClass(&wc) != 0;
}

} // namespace

CWnd::~CWnd() {
    DestroyWindow();
}

BOOL CWnd::Create(const char*, const char* window_name, DWORD style, const RECT& rect, HWND parent,
                  UINT id) {
    if (m_hWnd || !register_class(&CWnd::proc)) return FALSE;
    HWND h = CreateWindowEx(0, kClassName, window_name ? window_name : "", style, rect.left,
                            rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, this);
    return h != nullptr;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd); // WM_NCDESTROY unbinds
}

CDC* CWnd::GetDC() {
    if (!m_hWnd) return nullptr;
    HDC h = ::GetDC(m_hWnd);
    if (!h) return nullptr;
    CDC* dc = new CDC();
    dc->Attach(h);
    dc->owner = m_hWnd;
    return dc;
}

int CWnd::ReleaseDC(CDC* dc) {
    if (!dc) return 0;
    HDC h = dc->Detach();
    delete dc;
    return m_hWnd && h ? ::ReleaseDC(m_hWnd, h) : 0;
}

void CWnd::GetClientRect(RECT* rect) const {
    if (!rect) return;
    if (!m_hWnd || !::GetClientRect(m_hWnd, rect)) *rect = RECT{};
}

void CWnd::InvalidateRect(const RECT* rect, BOOL erase) {
    if (m_hWnd) ::InvalidateRect(m_hWnd, rect, erase);
}

BOOL CWnd::EnableWindow(BOOL enable) {
    return m_hWnd ? ::EnableWindow(m_hWnd, enable) : FALSE;
}

void CWnd::OnPaint() {
    Default();
}
void CWnd::OnSize(UINT, int, int) {
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*) {
    return static_cast<BOOL>(Default());
}
HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) {
    return reinterpret_cast<HBRUSH>(Default());
}
void CWnd::OnLButtonDown(UINT, POINT) {
    Default();
}
void CWnd::OnLButtonUp(UINT, POINT) {
    Default();
}

LRESULT CWnd::Default() {
    return m_hWnd ? DefWindowProc(m_hWnd, cur_msg_, cur_wparam_, cur_lparam_) : 0;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wparam), static_cast<short>(LOWORD(lparam)),
               static_cast<short>(HIWORD(lparam)));
        return 0;
    case WM_ERASEBKGND: {
        CDC dc;
        dc.Attach(reinterpret_cast<HDC>(wparam));
        dc.owner = m_hWnd;
        BOOL r = OnEraseBkgnd(&dc);
        dc.Detach();
        return r;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        CDC dc;
        dc.Attach(reinterpret_cast<HDC>(wparam));
        HBRUSH r = OnCtlColor(&dc, nullptr, message - WM_CTLCOLORMSGBOX);
        dc.Detach();
        return reinterpret_cast<LRESULT>(r);
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        POINT p{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        if (message == WM_LBUTTONDOWN)
            OnLButtonDown(static_cast<UINT>(wparam), p);
        else
            OnLButtonUp(static_cast<UINT>(wparam), p);
        return 0;
    }
    default:
        return Default();
    }
}

LRESULT CWnd::proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lparam);
        auto* self = cs ? static_cast<CWnd*>(cs->lpCreateParams) : nullptr;
        if (self) {
            self->m_hWnd = hwnd;
            SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    auto* self = reinterpret_cast<CWnd*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProc(hwnd, message, wparam, lparam);
    // Handlers may be re-entered (a paint inside a size); keep the outer message.
    UINT m = self->cur_msg_;
    WPARAM w = self->cur_wparam_;
    LPARAM l = self->cur_lparam_;
    self->cur_msg_ = message;
    self->cur_wparam_ = wparam;
    self->cur_lparam_ = lparam;
    LRESULT r = self->WindowProc(message, wparam, lparam);
    self->cur_msg_ = m;
    self->cur_wparam_ = w;
    self->cur_lparam_ = l;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
    }
    return r;
}

CPaintDC::CPaintDC(CWnd* wnd) : hwnd_(wnd ? wnd->m_hWnd : nullptr) {
    if (!hwnd_) return;
    Attach(::BeginPaint(hwnd_, &m_ps));
    owner = hwnd_;
}

CPaintDC::~CPaintDC() {
    if (!hwnd_) return;
    Detach();
    ::EndPaint(hwnd_, &m_ps);
}

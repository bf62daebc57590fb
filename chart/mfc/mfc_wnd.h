// The class library's window: a C++ object bound to a platform window of one
// shared class, whose messages reach virtual handlers (in place of message
// maps). Only the handlers the chart control needs are routed.
#pragma once

#include "chart/mfc/mfc_gdi.h"
#include "platform/win.h"

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Destroys the window if it still exists.
    virtual ~CWnd();

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Creates the platform window (a child when `parent` is given) and binds
    // it to this object. The class name is ignored: every object uses the
    // library's one class.
    virtual BOOL Create(const char* class_name, const char* window_name, DWORD style,
                        const RECT& rect, HWND parent, UINT id);
    BOOL Create(const char* class_name, const char* window_name, DWORD style, const RECT& rect,
                CWnd* parent, UINT id) {
        return Create(class_name, window_name, style, rect, parent ? parent->m_hWnd : nullptr, id);
    }
    BOOL DestroyWindow();

    // A context for the window's client area; give it back with ReleaseDC.
    CDC* GetDC();
    int ReleaseDC(CDC* dc);
    void GetClientRect(RECT* rect) const;
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
    BOOL EnableWindow(BOOL enable = TRUE);

protected:
    virtual void OnPaint();
    virtual void OnSize(UINT type, int cx, int cy);
    virtual BOOL OnEraseBkgnd(CDC* dc);
    virtual HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctl_colour);
    virtual void OnLButtonDown(UINT flags, POINT point);
    virtual void OnLButtonUp(UINT flags, POINT point);
    // The platform's default handling of the message being handled.
    LRESULT Default();

    // Every message: routes the ones above, others go to Default.
    virtual LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam);

public:
    // The procedure of the library's window class.
    static LRESULT proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
    UINT cur_msg_ = 0;
    WPARAM cur_wparam_ = 0;
    LPARAM cur_lparam_ = 0;
};

// BeginPaint on construction, EndPaint on destruction.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

private:
    HWND hwnd_;
};

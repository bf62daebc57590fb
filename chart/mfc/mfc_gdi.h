// The small class library the chart library is written against: device
// contexts, paint contexts and drawing objects as thin owners of the
// platform's handles. Only what the chart code calls is here.
#pragma once

#include "platform/gdi.h"
#include "platform/win.h"

// Thrown when a drawing object cannot be made; the chart control catches it
// around painting.
class CResourceException {
public:
    virtual ~CResourceException() = default;
    // The class library's exceptions are heap objects deleted by the catcher.
    void Delete() { delete this; }
};
[[noreturn]] void AfxThrowResourceException();

// A drawing object that owns its handle: the destructor deletes it.
class CGdiObject {
public:
    CGdiObject() = default;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    virtual ~CGdiObject() { DeleteObject(); }

    HGDIOBJ m_hObject = nullptr;
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    operator HGDIOBJ() const { return m_hObject; }
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
};

class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF colour) { CreatePen(style, width, colour); }
    BOOL CreatePen(int style, int width, COLORREF colour);
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF colour) { CreateSolidBrush(colour); }
    BOOL CreateSolidBrush(COLORREF colour);
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

class CFont : public CGdiObject {
public:
    BOOL CreateFontIndirect(const LOGFONT* font);
};

// A device context. The output context (m_hDC) is drawn on; the attribute
// context (m_hAttribDC) answers questions. Attach and Detach neither make nor
// end the platform's context. `owner` is the window whose context this is,
// when known (a window's or a paint context), so users can ask its size.
class CDC {
public:
    CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    virtual ~CDC() = default;

    HDC m_hDC = nullptr;
    HDC m_hAttribDC = nullptr;
    HWND owner = nullptr;

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL Attach(HDC dc);
    HDC Detach();
    void SetAttribDC(HDC dc) { m_hAttribDC = dc; }
    void SetOutputDC(HDC dc) { m_hDC = dc; }
    void ReleaseAttribDC() { m_hAttribDC = nullptr; }

    // Selects the object; answers the handle it replaced (null on failure).
    HGDIOBJ SelectObject(CGdiObject* object);
    HGDIOBJ SelectObject(HGDIOBJ object);
    HGDIOBJ SelectStockObject(int index);

    int GetDeviceCaps(int index) const;
    COLORREF SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const;
    COLORREF SetBkColor(COLORREF colour);
    COLORREF GetBkColor() const;
    int SetBkMode(int mode);
    int GetClipBox(RECT* rect) const;
    COLORREF SetPixel(int x, int y, COLORREF colour);
    BOOL Ellipse(int l, int t, int r, int b);
    BOOL Rectangle(int l, int t, int r, int b);
    BOOL Polyline(const POINT* points, int count);
    BOOL Polygon(const POINT* points, int count);
    BOOL Pie(int l, int t, int r, int b, int xs, int ys, int xe, int ye);
    BOOL Arc(int l, int t, int r, int b, int xs, int ys, int xe, int ye);
    BOOL PatBlt(int x, int y, int w, int h, DWORD rop);
    BOOL TextOut(int x, int y, const char* text, int length);
    BOOL GetTextExtent(const char* text, int length, SIZE* size) const;
    BOOL GetTextMetrics(TEXTMETRIC* metrics) const;

private:
    HDC attr() const { return m_hAttribDC ? m_hAttribDC : m_hDC; }
};

// A message box over the platform's own.
int AfxMessageBox(const char* text, UINT type = 0);

// The class-library application object: only whether it was set up.
struct CMfcApp {
    bool initialised = false;
};
CMfcApp& AfxGetApp();

// The class library's device contexts and drawing objects.
#include "chart/mfc/mfc_gdi.h"

#include "platform/msgbox.h"

void AfxThrowResourceException() {
    throw new CResourceException();
}

BOOL CGdiObject::Attach(HGDIOBJ object) {
    if (!object) return FALSE;
    DeleteObject();
    m_hObject = object;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject() {
    if (!m_hObject) return FALSE;
    HGDIOBJ h = Detach();
    return ::DeleteObject(h);
}

BOOL CPen::CreatePen(int style, int width, COLORREF colour) {
    return Attach(::CreatePen(style, width, colour));
}

BOOL CBrush::CreateSolidBrush(COLORREF colour) {
    return Attach(::CreateSolidBrush(colour));
}

BOOL CFont::CreateFontIndirect(const LOGFONT* font) {
    return font ? Attach(::CreateFontIndirect(font)) : FALSE;
}

BOOL CDC::Attach(HDC dc) {
    if (!dc || m_hDC) return FALSE;
    m_hDC = dc;
    m_hAttribDC = dc;
    return TRUE;
}

HDC CDC::Detach() {
    HDC h = m_hDC;
    m_hDC = nullptr;
    m_hAttribDC = nullptr;
    owner = nullptr;
    return h;
}

HGDIOBJ CDC::SelectObject(CGdiObject* object) {
    return object ? SelectObject(object->m_hObject) : nullptr;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object) {
    if (!m_hDC || !object) return nullptr;
    HGDIOBJ old = ::SelectObject(m_hDC, object);
    if (m_hAttribDC && m_hAttribDC != m_hDC) ::SelectObject(m_hAttribDC, object);
    return old;
}

HGDIOBJ CDC::SelectStockObject(int index) {
    return SelectObject(::GetStockObject(index));
}

int CDC::GetDeviceCaps(int index) const {
    return ::GetDeviceCaps(attr(), index);
}
COLORREF CDC::SetTextColor(COLORREF colour) {
    return ::SetTextColor(m_hDC, colour);
}
COLORREF CDC::GetTextColor() const {
    return ::GetTextColor(attr());
}
COLORREF CDC::SetBkColor(COLORREF colour) {
    return ::SetBkColor(m_hDC, colour);
}
COLORREF CDC::GetBkColor() const {
    return ::GetBkColor(attr());
}
int CDC::SetBkMode(int mode) {
    return ::SetBkMode(m_hDC, mode);
}
int CDC::GetClipBox(RECT* rect) const {
    return ::GetClipBox(m_hDC, rect);
}
COLORREF CDC::SetPixel(int x, int y, COLORREF colour) {
    return ::SetPixel(m_hDC, x, y, colour);
}
BOOL CDC::Ellipse(int l, int t, int r, int b) {
    return ::Ellipse(m_hDC, l, t, r, b);
}
BOOL CDC::Rectangle(int l, int t, int r, int b) {
    return ::Rectangle(m_hDC, l, t, r, b);
}
BOOL CDC::Polyline(const POINT* points, int count) {
    return ::Polyline(m_hDC, points, count);
}
BOOL CDC::Polygon(const POINT* points, int count) {
    return ::Polygon(m_hDC, points, count);
}
BOOL CDC::Pie(int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    return ::Pie(m_hDC, l, t, r, b, xs, ys, xe, ye);
}
BOOL CDC::Arc(int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    return ::Arc(m_hDC, l, t, r, b, xs, ys, xe, ye);
}
BOOL CDC::PatBlt(int x, int y, int w, int h, DWORD rop) {
    return ::PatBlt(m_hDC, x, y, w, h, rop);
}
BOOL CDC::TextOut(int x, int y, const char* text, int length) {
    return ::TextOut(m_hDC, x, y, text, length);
}
BOOL CDC::GetTextExtent(const char* text, int length, SIZE* size) const {
    return ::GetTextExtentPoint32(attr(), text, length, size);
}
BOOL CDC::GetTextMetrics(TEXTMETRIC* metrics) const {
    return ::GetTextMetrics(attr(), metrics);
}

int AfxMessageBox(const char* text, UINT type) {
    return ::MessageBox(nullptr, text, nullptr, type);
}

CMfcApp& AfxGetApp() {
    static CMfcApp app;
    return app;
}

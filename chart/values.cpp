// The chart library's small value classes: colours, pens, brushes, fonts,
// sizes, number strings, the stack and the device context with its stacks.
#include "chart/values.h"

#include "chart/services.h"
#include "foundation/names.h"
#include "platform/win.h"

#include <cmath>
#include <cstdio>
#include <vector>

void CChartGdiObject::Require() {
    if (!m_hObject) AfxThrowResourceException();
}

CChartPen::CChartPen(CChartColor colour, int pen_style, int width) {
    Attach(::CreatePen(pen_style, width, colour.Ref()));
    Require();
}

CChartBrush::CChartBrush(CChartColor colour) {
    Attach(::CreateSolidBrush(colour.Ref()));
    Require();
}

CChartFont::CChartFont(const LOGFONT& font) {
    Attach(::CreateFontIndirectA(&font));
    Require();
}

CChartSize CChartSize::FromTenthsOfPoints(int tenths_x, int tenths_y, const CDC* dc) {
    long long rx = 72, ry = 72;
    if (dc && dc->m_hDC) {
        int x = dc->GetDeviceCaps(LOGPIXELSX);
        int y = dc->GetDeviceCaps(LOGPIXELSY);
        if (x > 0) rx = x;
        if (y > 0) ry = y;
    }
    return {static_cast<int>(((tenths_x * rx) / 72 + 5) / 10),
            static_cast<int>(((tenths_y * ry) / 72 + 5) / 10)};
}

namespace {

// Literal text with "%%" read as one percent sign, as printf would.
std::string literal(const char* format) {
    std::string out;
    for (const char* p = format; *p; ++p) {
        out += *p;
        if (p[0] == '%' && p[1] == '%') ++p;
    }
    return out;
}

} // namespace

void CChartString::SetNumber(double value, const char* format, int) {
    if (!format || !*format) {
        s_ = chart::services().format_number(value);
        return;
    }
    if (format[0] == '\t') {
        const char* first = format + 1;
        const char* second = std::strchr(first, '\t');
        if (value == 0) {
            s_ = second ? std::string(first, second) : std::string("Error");
        } else if (value >= 9999.9) {
            const char* third = second ? std::strchr(second + 1, '\t') : nullptr;
            s_ = third ? std::string(third + 1) : std::string("Error");
        } else if (std::fabs(value - 5000.0) < 0.1) {
            // The middle of the 0..10000 range shows the middle label, so a
            // scale reads at its bottom, middle and top.
            const char* third = second ? std::strchr(second + 1, '\t') : nullptr;
            s_ = third ? std::string(second + 1, third) : std::string("Error");
        } else {
            s_.clear();
        }
        return;
    }
    if (!number_format_ok(format)) {
        s_ = literal(format);
        return;
    }
    int n = std::snprintf(nullptr, 0, format, value);
    if (n < 0) {
        s_ = literal(format);
        return;
    }
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::snprintf(buf.data(), buf.size(), format, value);
    s_.assign(buf.data(), static_cast<std::size_t>(n));
}

CGdiObject* CChartStack::Pop() {
    if (!top_) return nullptr;
    Node* n = top_;
    top_ = n->next;
    CGdiObject* item = n->item;
    delete n;
    return item;
}

int CChartStack::Depth() const {
    int d = 0;
    for (Node* n = top_; n; n = n->next) ++d;
    return d;
}

CChartDC::CChartDC(CDC* dc) {
    if (!dc) return;
    Attach(dc->m_hDC);
    m_hAttribDC = dc->m_hAttribDC;
    owner = dc->owner;
}

CChartDC::~CChartDC() {
    // Objects left on a stack are unselected (the stock object goes back in)
    // and deleted, so neither the device nor the process keeps them.
    for (CChartStack* s : {&brushes_, &fonts_, &pens_}) {
        int stock = s == &brushes_ ? WHITE_BRUSH : s == &fonts_ ? DEVICE_DEFAULT_FONT : BLACK_PEN;
        while (!s->Empty()) delete pop(*s, stock);
    }
    m_hAttribDC = m_hDC;
    Detach();
}

void CChartDC::push(CChartStack& s, CGdiObject* obj) {
    if (!obj) return;
    SelectObject(obj);
    s.Push(obj);
}

CGdiObject* CChartDC::pop(CChartStack& s, int stock) {
    CGdiObject* obj = s.Pop();
    if (s.Empty())
        SelectStockObject(stock);
    else
        SelectObject(s.Top());
    return obj;
}

void CChartDC::PushNewBrush(CChartColor c) {
    PushBrush(new CChartBrush(c));
}
void CChartDC::PushNewPen(CChartColor c) {
    PushPen(new CChartPen(c));
}

void CChartDC::GetDrawArea(CChartRect& r) const {
    r = CChartRect();
    if (owner) {
        RECT rc{};
        if (::GetClientRect(owner, &rc)) r = CChartRect(0, 0, rc.right, rc.bottom);
        return;
    }
    const chart::Services& sv = chart::services();
    if (!sv.printing() && !sv.graphics_file_output()) {
        BITMAP bm{};
        HGDIOBJ b = m_hDC ? ::GetCurrentObject(m_hDC, OBJ_BITMAP) : nullptr;
        if (b && ::GetObject(b, sizeof bm, &bm) == sizeof bm && bm.bmWidth > 1) {
            r = CChartRect(0, 0, bm.bmWidth, bm.bmHeight);
            return;
        }
        // Not a bitmap (a metafile or a printer context): the device's size.
        if (m_hDC) r = CChartRect(0, 0, GetDeviceCaps(HORZRES), GetDeviceCaps(VERTRES));
        return;
    }
    int w = 0, h = 0;
    sv.out_size(&w, &h);
    r = CChartRect(0, 0, w, h);
}

void CChartDC::ToTwips(CChartRect& r) {
    int rx = 0, ry = 0;
    chart::services().device_res(&rx, &ry);
    // A resolution of 0 would divide by zero: take the screen's usual one.
    long long x = rx > 0 ? rx : 96, y = ry > 0 ? ry : 96;
    r.left = static_cast<int>(r.left * 1440LL / x);
    r.right = static_cast<int>(r.right * 1440LL / x);
    r.top = static_cast<int>(r.top * -1440LL / y);
    r.bottom = static_cast<int>(r.bottom * -1440LL / y);
}

void CChartDC::DrawCircle(const CChartPoint& p, int radius) {
    Ellipse(p.x - radius, p.y - radius, p.x + radius, p.y + radius);
}

void CChartDC::DrawEllipse(const CChartPoint& a, const CChartPoint& b) {
    Ellipse(a.x, a.y, b.x, b.y);
}

CChartColor CChartDC::DrawPixel(int x, int y, CChartColor c) {
    SetPixel(x, y, c.Ref());
    return c;
}

static_assert(sizeof(CChartPoint) == sizeof(POINT), "points are passed to the device as they are");

void CChartDC::DrawPolyline(const CChartPoint* points, int n) {
    if (points && n > 0) Polyline(reinterpret_cast<const POINT*>(points), n);
}

void CChartDC::DrawPolygon(const CChartPoint* points, int n) {
    if (points && n > 0) Polygon(reinterpret_cast<const POINT*>(points), n);
}

void CChartDC::DrawPie(const CChartRect& r, const CChartPoint& s, const CChartPoint& e) {
    Pie(r.left, r.top, r.right, r.bottom, s.x, s.y, e.x, e.y);
}

void CChartDC::DrawArc(const CChartRect& r, const CChartPoint& s, const CChartPoint& e) {
    Arc(r.left, r.top, r.right, r.bottom, s.x, s.y, e.x, e.y);
}

void CChartDC::DrawRectangle(const CChartRect& r) {
    Rectangle(r.left, r.top, r.right, r.bottom);
}

void CChartDC::DrawFrame(const CChartRect& r) {
    const CChartPoint pts[5] = {{r.left, r.top},
                                {r.right, r.top},
                                {r.right, r.bottom},
                                {r.left, r.bottom},
                                {r.left, r.top}};
    DrawPolyline(pts, 5);
}

void CChartDC::GetClipRect(CChartRect& r) const {
    RECT rc{};
    if (GetClipBox(&rc) <= 0) rc = RECT{};
    r = CChartRect(rc.left, rc.top, rc.right, rc.bottom);
}

int CChartDC::DrawMultilineText(int x, int y, const char* text) {
    if (!text) return 0;
    const char* nl = std::strchr(text, '\n');
    if (!nl) return TextOut(x, y, text, static_cast<int>(std::strlen(text)));
    SIZE first{};
    GetTextExtent(text, static_cast<int>(nl - text), &first);
    for (const char* line = text;;) {
        const char* end = std::strchr(line, '\n');
        int len = static_cast<int>(end ? end - line : std::strlen(line));
        if (!TextOut(x, y, line, len)) return 0;
        if (!end) break;
        y += first.cy;
        line = end + 1;
    }
    return 1;
}

CChartLogFont::CChartLogFont(const char* face, int width, int height, int weight, int family,
                             int pitch, int style_bits, int escapement, int orientation) {
    std::memset(&lf_, 0, sizeof lf_);
    lf_.lfHeight = height;
    lf_.lfWidth = width;
    lf_.lfEscapement = escapement;
    lf_.lfOrientation = orientation;
    lf_.lfWeight = weight;
    lf_.lfItalic = (style_bits & 1) ? 1 : 0;
    lf_.lfUnderline = (style_bits & 2) ? 1 : 0;
    lf_.lfStrikeOut = (style_bits & 4) ? 1 : 0;
    lf_.lfPitchAndFamily = static_cast<BYTE>(family | pitch);
    if (face) std::snprintf(lf_.lfFaceName, sizeof lf_.lfFaceName, "%s", face);
    lf_.lfCharSet = chart::services().font_charset(lf_.lfFaceName);
}

CChartLogFont::Metrics CChartLogFont::FromDC(const CDC& dc) {
    Metrics m;
    TEXTMETRIC tm{};
    if (dc.GetTextMetrics(&tm)) {
        m.ave_char_width = tm.tmAveCharWidth;
        m.weight = tm.tmWeight;
        m.family = tm.tmPitchAndFamily & 0xF0;
        m.pitch = (tm.tmPitchAndFamily & 1) ? 2 : 1;
        m.italic = tm.tmItalic;
        m.underline = tm.tmUnderlined;
        m.strike_out = tm.tmStruckOut;
    }
    char face[LF_FACESIZE] = {};
    if (dc.m_hDC && ::GetTextFace(dc.m_hDC, sizeof face, face) > 0) m.face = face;
    return m;
}

void CChartStyle::SelectPen(CChartDC* dc) const {
    dc->PushPen(new CChartPen(pen_colour_, pen_style_, pen_width_));
}

CChartTextStyle::CChartTextStyle() : log_font_("SystemVariable", 5, 10, 500, 2, 0, 0, 0, 0) {}

void CChartTextStyle::SetAngle(int degrees) {
    // Text angles are tenths of a degree; keep them within one turn.
    angle_ = (degrees % 360) * 10;
    log_font_.Get().lfEscapement = angle_;
    log_font_.Get().lfOrientation = angle_;
}

void CChartTextStyle::Realize(CChartDC* dc) {
    if (!dc) return;
    CChartRect area;
    dc->GetDrawArea(area);
    CChartDC::ToTwips(area);
    reference_rect_ = area;
    double w = std::abs(static_cast<double>(area.Width()));
    double h = std::abs(static_cast<double>(area.Height()));
    double cw, ch;
    if (w < h) {
        cw = std::trunc(point_size_ * w / (scale_base_ * aspect_));
        ch = std::trunc(cw * 100.0 / width_percent_);
    } else {
        ch = std::trunc(h * aspect_ * std::trunc(point_size_) / scale_base_);
        cw = std::trunc(ch * width_percent_ * 0.01);
    }
    // Keep the sizes in a range any device can make (a huge area would
    // overflow the integer font fields).
    auto tenths = [](double v) { return static_cast<int>(v < 0 ? 0 : v > 100000 ? 100000 : v); };
    CChartSize px = CChartSize::FromTenthsOfPoints(tenths(cw), tenths(ch), dc);

    dc->PushFont(new CChartFont(log_font_.Get()));
    CChartLogFont::Metrics m = CChartLogFont::FromDC(*dc);
    delete dc->PopFont();
    int style = m.italic ? 1 : m.underline ? 2 : m.strike_out ? 4 : 0;
    std::string face = log_font_.Get().lfFaceName;
    log_font_ = CChartLogFont(face.c_str(), px.cx, px.cy, m.weight, m.family, m.pitch, style,
                              angle_, angle_);
}

// The small value classes of the chart library: colour, drawing objects and
// the device context with its selection stacks, the line/fill and text
// styles, points, rectangles, a 1-based pointer array, a string with number
// formatting and a stack.
#pragma once

#include "chart/mfc/mfc_gdi.h"

#include <cstdlib>
#include <cstring>
#include <string>

class CChartDC;

class CChartColor {
public:
    CChartColor() = default;
    CChartColor(int r, int g, int b) : rgb_(RGB(clamp(r), clamp(g), clamp(b))) {}
    static CChartColor FromRef(COLORREF c) {
        CChartColor k;
        k.rgb_ = c & 0xFFFFFFu;
        return k;
    }
    COLORREF Ref() const { return rgb_; }
    int Red() const { return rgb_ & 0xFF; }
    int Green() const { return (rgb_ >> 8) & 0xFF; }
    int Blue() const { return (rgb_ >> 16) & 0xFF; }
    bool operator==(const CChartColor& o) const { return rgb_ == o.rgb_; }

private:
    static BYTE clamp(int v) { return static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v); }
    COLORREF rgb_ = 0;
};

// A drawing object whose handle dies with it. A failed creation raises the
// class library's resource exception, which the chart control catches.
class CChartGdiObject : public CGdiObject {
public:
    void Serialize() {}

protected:
    void Require();
};

class CChartPen : public CChartGdiObject {
public:
    explicit CChartPen(CChartColor colour) : CChartPen(colour, PS_SOLID, 1) {}
    CChartPen(CChartColor colour, int pen_style, int width);
};

class CChartBrush : public CChartGdiObject {
public:
    explicit CChartBrush(CChartColor colour);
};

class CChartFont : public CChartGdiObject {
public:
    explicit CChartFont(const LOGFONT& font);
};

class CChartSize {
public:
    CChartSize() = default;
    CChartSize(int w, int h) : cx(w), cy(h) {}
    // Tenths of a point to pixels on the device (72 per inch without one).
    static CChartSize FromTenthsOfPoints(int tenths_x, int tenths_y, const CDC* dc);
    int cx = 0;
    int cy = 0;
};

class CChartPoint {
public:
    CChartPoint() = default;
    CChartPoint(int px, int py) : x(px), y(py) {}
    CChartPoint& operator+=(const CChartPoint& o) {
        x += o.x;
        y += o.y;
        return *this;
    }
    CChartPoint MinCorner(int px, int py) const { return {px < x ? px : x, py < y ? py : y}; }
    CChartPoint MaxCorner(int px, int py) const { return {px > x ? px : x, py > y ? py : y}; }
    void SetZero() { x = y = 0; }
    int x = 0;
    int y = 0;
};

class CChartRect {
public:
    CChartRect() = default;
    CChartRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    CChartRect(const CChartPoint& tl, const CChartPoint& br)
        : left(tl.x), top(tl.y), right(br.x), bottom(br.y) {}
    int Height() const { return bottom - top; }
    int Width() const { return right - left; }
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A growable array of owned-elsewhere pointers, used from index 1. The holder
// keeps its own count and deletes the members.
template <class T> class CChartPtrArray {
public:
    // Indices past this are refused (answered with entry 0): the holders cap
    // their counts far below it.
    static constexpr int kMaxIndex = 1 << 24;

    CChartPtrArray() : data_(static_cast<T**>(std::calloc(16, sizeof(T*)))), capacity_(16) {
        if (!data_) AfxThrowResourceException();
    }
    CChartPtrArray(const CChartPtrArray&) = delete;
    CChartPtrArray& operator=(const CChartPtrArray&) = delete;
    ~CChartPtrArray() { std::free(data_); }

    // Entry i, growing the array by doubling; new entries are null.
    T*& At(int i) {
        if (i < 0 || i > kMaxIndex) {
            data_[0] = nullptr;
            return data_[0];
        }
        int cap = capacity_;
        while (i >= cap) cap *= 2;
        if (cap != capacity_) grow(cap);
        return data_[i];
    }
    T* Get(int i) const { return i >= 1 && i < capacity_ ? data_[i] : nullptr; }
    void Reserve(int n) {
        if (n > 0 && n <= kMaxIndex) grow(capacity_ + n);
    }
    int Capacity() const { return capacity_; }

private:
    void grow(int cap) {
        T** d = static_cast<T**>(std::realloc(data_, static_cast<std::size_t>(cap) * sizeof(T*)));
        if (!d) AfxThrowResourceException();
        std::memset(d + capacity_, 0, static_cast<std::size_t>(cap - capacity_) * sizeof(T*));
        data_ = d;
        capacity_ = cap;
    }
    T** data_;
    int capacity_;
};

class CChartString {
public:
    CChartString() = default;
    CChartString(const char* s) : s_(s ? s : "") {}
    CChartString& operator=(const char* s) {
        s_ = s ? s : "";
        return *this;
    }
    const char* c_str() const { return s_.c_str(); }
    int Length() const { return static_cast<int>(s_.size()); }
    void Clear() { s_.clear(); }
    bool operator==(const char* s) const { return s && s_ == s; }

    // The value as text by `format`: a format starting with a tab holds three
    // labels (zero, unused, 9999.9 and up); one numeric conversion formats the
    // value; any other text is taken literally; an empty format gives the
    // program's number text. `buffer_size` is kept for callers: the text is
    // always as long as it needs to be.
    void SetNumber(double value, const char* format, int buffer_size = 0);

private:
    std::string s_;
};

// A stack of selected drawing objects.
class CChartStack {
public:
    CChartStack() = default;
    CChartStack(const CChartStack&) = delete;
    CChartStack& operator=(const CChartStack&) = delete;
    ~CChartStack() { Clear(); }
    void Push(CGdiObject* item) { top_ = new Node{item, top_}; }
    CGdiObject* Pop();
    CGdiObject* Top() const { return top_ ? top_->item : nullptr; }
    bool Empty() const { return top_ == nullptr; }
    int Depth() const;
    void Clear() {
        while (top_) Pop();
    }

private:
    struct Node {
        CGdiObject* item;
        Node* next;
    };
    Node* top_ = nullptr;
};

// The chart's device context: wraps another context's handle (never ends it)
// and keeps the brushes, fonts and pens selected through it on stacks.
class CChartDC : public CDC {
public:
    explicit CChartDC(CDC* dc);
    // Objects still stacked are unselected and deleted.
    ~CChartDC() override;

    void PushBrush(CGdiObject* obj) { push(brushes_, obj); }
    void PushFont(CGdiObject* obj) { push(fonts_, obj); }
    void PushPen(CGdiObject* obj) { push(pens_, obj); }
    // The caller deletes what is popped.
    CGdiObject* PopBrush() { return pop(brushes_, WHITE_BRUSH); }
    CGdiObject* PopFont() { return pop(fonts_, DEVICE_DEFAULT_FONT); }
    CGdiObject* PopPen() { return pop(pens_, BLACK_PEN); }
    void PushNewBrush(CChartColor c);
    void PushNewPen(CChartColor c);
    int BrushDepth() const { return brushes_.Depth(); }
    int FontDepth() const { return fonts_.Depth(); }
    int PenDepth() const { return pens_.Depth(); }

    void GetDrawArea(CChartRect& r) const;
    // Device units to twips (y grows upwards) at the output's resolution.
    static void ToTwips(CChartRect& r);

    void DrawCircle(const CChartPoint& p, int radius);
    void DrawEllipse(const CChartPoint& a, const CChartPoint& b);
    CChartColor DrawPixel(int x, int y, CChartColor c);
    void DrawPolyline(const CChartPoint* points, int n);
    void DrawPolygon(const CChartPoint* points, int n);
    void DrawPie(const CChartRect& r, const CChartPoint& start, const CChartPoint& end);
    void DrawArc(const CChartRect& r, const CChartPoint& start, const CChartPoint& end);
    void DrawRectangle(const CChartRect& r);
    void DrawFrame(const CChartRect& r);
    void GetClipRect(CChartRect& r) const;
    CChartColor GetTextColor() const { return CChartColor::FromRef(CDC::GetTextColor()); }
    CChartColor SetTextColor(CChartColor c) {
        return CChartColor::FromRef(CDC::SetTextColor(c.Ref()));
    }
    CChartColor GetBackColor() const { return CChartColor::FromRef(CDC::GetBkColor()); }
    CChartColor SetBackColor(CChartColor c) {
        return CChartColor::FromRef(CDC::SetBkColor(c.Ref()));
    }
    int DrawMultilineText(int x, int y, const char* text);

private:
    void push(CChartStack& s, CGdiObject* obj);
    CGdiObject* pop(CChartStack& s, int stock);
    CChartStack brushes_, fonts_, pens_;
};

class CChartLogFont {
public:
    CChartLogFont() { std::memset(&lf_, 0, sizeof lf_); }
    CChartLogFont(const char* face, const CChartRect& r, int weight, int family, int pitch,
                  int style_bits, int escapement = 0, int orientation = 0)
        : CChartLogFont(face, r.Width(), r.Height(), weight, family, pitch, style_bits, escapement,
                        orientation) {}
    CChartLogFont(const char* face, int width, int height, int weight, int family, int pitch,
                  int style_bits, int escapement, int orientation);
    const LOGFONT& Get() const { return lf_; }
    LOGFONT& Get() { return lf_; }

    // Read from the text metrics of the font selected into `dc`.
    struct Metrics {
        std::string face;
        int ave_char_width = 0, weight = 0, family = 0, pitch = 1;
        int italic = 0, underline = 0, strike_out = 0;
    };
    static Metrics FromDC(const CDC& dc);

private:
    LOGFONT lf_;
};

class CChartStyle {
public:
    CChartColor GetPenColor() const { return pen_colour_; }
    void SetPenColor(CChartColor c) { pen_colour_ = c; }
    CChartColor GetFillColor() const { return fill_colour_; }
    void SetFillColor(CChartColor c) { fill_colour_ = c; }
    int GetPenStyle() const { return pen_style_; }
    void SetPenStyle(int s) { pen_style_ = s; }
    int GetPenWidth() const { return pen_width_; }
    void SetPenWidth(int w) { pen_width_ = w; }
    int GetSize() const { return size_; }
    void SetSize(int s) { size_ = s; }
    int GetSwitchA() const { return switch_a_; }
    void SetSwitchA(int v) { switch_a_ = v; }
    int GetSwitchB() const { return switch_b_; }
    void SetSwitchB(int v) { switch_b_ = v; }

    void SelectBrush(CChartDC* dc) const { dc->PushNewBrush(fill_colour_); }
    void SelectPen(CChartDC* dc) const;
    static void PopBrushAndDelete(CChartDC* dc) { delete dc->PopBrush(); }
    static void PopPenAndDelete(CChartDC* dc) { delete dc->PopPen(); }

private:
    CChartColor pen_colour_{0, 0, 0};
    CChartColor fill_colour_{255, 255, 255};
    int pen_style_ = PS_SOLID;
    int pen_width_ = 1;
    int size_ = 10;
    int switch_a_ = 0;
    int switch_b_ = 0;
};

class CChartTextStyle {
public:
    CChartTextStyle();

    void SetLogFont(const LOGFONT* lf) {
        if (lf) log_font_.Get() = *lf;
    }
    const LOGFONT& GetLogFont() const { return log_font_.Get(); }
    void SetPointSize(double size) { point_size_ = size > 0 && size < 1e4 ? size : 7.0; }
    double GetPointSize() const { return point_size_; }
    void SetAngle(int degrees);
    int GetAngle() const { return angle_ / 10; }
    int GetAngleTenths() const { return angle_; }
    double GetAngleRadians() const { return GetAngle() * 0.017453292; }
    int SetTextColor(CChartColor c) {
        text_colour_ = c;
        return 1;
    }
    CChartColor GetTextColor() const { return text_colour_; }
    int SetBackColor(CChartColor c) {
        back_colour_ = c;
        return 1;
    }
    CChartColor GetBackColor() const { return back_colour_; }
    void SetText(const char* t) { text_ = t; }
    const char* GetText() const { return text_.c_str(); }

    void SetHAnchor1() { set_h(1); }
    void SetHAnchor2() { set_h(2); }
    void SetHCentre() { set_h(3); }
    void SetVAnchor1() { set_v(1); }
    void SetVAnchor2() { set_v(2); }
    void SetVCentre() { set_v(3); }
    // The two alternation switches (the vertical anchor's words 4 and 5):
    // an axis with either on gives its labelled ticks the text anchored
    // above and below their tips in turn, two rows of labels. A label's own
    // anchoring takes them as centred.
    void SetVAnchor4() { set_v(4); }
    void SetVAnchor5() { set_v(5); }
    bool IsAlternating() const { return v_anchor_ == 4 || v_anchor_ == 5; }
    // 1, 2 or 3 (centre); the vertical also 4 or 5.
    int GetHAnchor() const { return h_anchor_; }
    int GetVAnchor() const { return v_anchor_; }
    const CChartRect& GetReferenceRect() const { return reference_rect_; }

    // Rebuilds the font for the device: its size follows the drawing area.
    void Realize(CChartDC* dc);

private:
    void set_h(int which) { h_anchor_ = which; }
    void set_v(int which) { v_anchor_ = which; }
    CChartLogFont log_font_;
    int angle_ = 0;
    CChartRect reference_rect_;
    double point_size_ = 7.0;
    double width_percent_ = 45.0;
    double aspect_ = 1.33333333;
    double scale_base_ = 400.0;
    CChartColor text_colour_{0, 0, 0};
    CChartColor back_colour_{255, 255, 255};
    int h_anchor_ = 3;
    int v_anchor_ = 3;
    CChartString text_{"%g"};
};

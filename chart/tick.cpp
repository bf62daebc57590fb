// One tick of an axis: its grid line, tick mark and label, through the
// pipeline's passes, and where its label is anchored.
#include "chart/tick.h"

#include "chart/view3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// ---------------------------------------------------------------- tick

CChartTick::CChartTick() {
    for (auto& v : v_) v = new CChartVertex();
}

CChartTick::CChartTick(CChartVertex* a, CChartVertex* b, CChartVertex* c) {
    v_[0] = a ? a : new CChartVertex();
    v_[1] = b ? b : new CChartVertex();
    v_[2] = c ? c : new CChartVertex();
    fold_box();
}

CChartTick::~CChartTick() {
    for (auto* v : v_) delete v;
}

void CChartTick::fold_box() {
    // The first vertex sets the box; the others widen it strictly.
    for (int i = 0; i < 3; ++i) {
        const CChartVertex* v = v_[i];
        const double t[3] = {v->GetTransformedX(), v->GetTransformedY(), v->GetTransformedZ()};
        for (int a = 0; a < 3; ++a) {
            if (i == 0 || t[a] > box_[2 * a]) box_[2 * a] = t[a];
            if (i == 0 || t[a] < box_[2 * a + 1]) box_[2 * a + 1] = t[a];
        }
    }
}

void CChartTick::Project(CChartView3D* view) {
    for (auto* v : v_) v->Project(view);
}

int CChartTick::ToScreen(CChartView3D* view) {
    int r = 0;
    for (auto* v : v_) r = v->ToScreen(view);
    return r;
}

void CChartTick::Scale(double sx, double sy, double sz) {
    const double ox = offset_[0], oy = offset_[1], oz = offset_[2];
    Translate(-ox, -oy, -oz);
    for (auto* v : v_) v->Scale(sx, sy, sz);
    const double s[3] = {sx, sy, sz};
    for (int a = 0; a < 3; ++a) {
        scale_[a] *= s[a];
        box_[2 * a] *= s[a];
        box_[2 * a + 1] *= s[a];
    }
    Translate(ox, oy, oz);
}

void CChartTick::Translate(double dx, double dy, double dz) {
    for (auto* v : v_) v->Translate(dx, dy, dz);
    const double d[3] = {dx, dy, dz};
    for (int a = 0; a < 3; ++a) {
        offset_[a] += d[a];
        box_[2 * a] += d[a];
        box_[2 * a + 1] += d[a];
    }
}

void CChartTick::MakeStyle() {
    CChartElement::MakeStyle();
    if (has_style)
        for (auto* v : v_) v->SetStyle(style);
}

void CChartTick::SetStyle(CChartStyle* s) {
    CChartElement::SetStyle(s);
    if (has_style)
        for (auto* v : v_) v->SetStyle(style);
}

void CChartTick::SetLabelValue(double value, const char* format) {
    label_.Clear();
    label_.SetNumber(value, format ? format : "%g", 14);
    has_label_ = show_label_ = 1;
}

void CChartTick::SetLabelText(const char* text) {
    if (!text) return;
    label_ = text;
    has_label_ = show_label_ = 1;
}

CChartPoint CChartTick::AnchorLabel(CChartPoint p, int w, int h, const CChartTextStyle& ts) {
    const double theta = ts.GetAngleRadians();
    const int W = CChartView3D::ScreenInt(w * std::cos(theta) + h * std::sin(theta));
    const int H = CChartView3D::ScreenInt(w * std::sin(theta) + h * std::cos(theta));
    const int angle = ts.GetAngle();
    const bool h1 = ts.GetHAnchor() == 1, h2 = ts.GetHAnchor() == 2;
    const bool v1 = ts.GetVAnchor() == 1, v2 = ts.GetVAnchor() == 2;
    if (angle < 0) {
        if (h1) {
        } else if (h2) {
            p.x -= W;
        } else {
            p.x -= W / 2;
        }
    } else {
        if (h1)
            p.x -= W;
        else if (!h2)
            p.x -= W / 2;
    }
    if (angle > 0) {
        if (v1) {
        } else if (v2) {
            p.y += H;
        } else {
            p.y += H / 2;
        }
    } else {
        if (v1)
            p.y -= H;
        else if (!v2)
            p.y -= H / 2;
    }
    return p;
}

namespace {
// The text's extent: whole when it is one line, else the widest line and
// the sum of the line heights.
SIZE measure(CChartDC* dc, const char* text) {
    SIZE total{};
    for (const char* line = text;;) {
        const char* end = std::strchr(line, '\n');
        const int len = static_cast<int>(end ? end - line : std::strlen(line));
        SIZE s{};
        dc->GetTextExtent(line, len, &s);
        if (s.cx > total.cx) total.cx = s.cx;
        total.cy += s.cy;
        if (!end) break;
        line = end + 1;
    }
    return total;
}
} // namespace

void CChartTick::DrawBody(CChartDC* dc) {
    if (!dc) return;
    const CChartPoint p1 = v_[0]->GetScreenPoint(), p2 = v_[1]->GetScreenPoint(),
                      p3 = v_[2]->GetScreenPoint();
    SelectPen(dc);
    if (first_segment_ == 1) {
        const CChartPoint seg[2] = {p1, p2};
        dc->DrawPolyline(seg, 2);
    }
    if (second_segment_ == 1) {
        const CChartPoint seg[2] = {p2, p3};
        dc->DrawPolyline(seg, 2);
    }
    UnselectPen(dc);
    if (mark_start_ == 1) v_[0]->DrawBody(dc);
    if (mark_middle_ == 1) v_[1]->DrawBody(dc);
    if (!has_label_ || !show_label_ || label_.Length() < 1) return;

    const bool styled = extra == 0 && has_text_style && text_style;
    COLORREF old_text = 0, old_back = 0;
    if (styled) {
        old_text = dc->CDC::GetTextColor();
        old_back = dc->CDC::GetBkColor();
        dc->SetTextColor(text_style->GetTextColor());
        dc->SetBackColor(text_style->GetBackColor());
    }
    const bool pushed = push_font(dc);
    const SIZE ext = measure(dc, label_.c_str());
    RECT unused{};
    const CChartPoint at = place_label(ext, &unused);
    dc->DrawMultilineText(at.x, at.y, label_.c_str());
    if (styled) {
        dc->CDC::SetTextColor(old_text);
        dc->CDC::SetBkColor(old_back);
    }
    if (pushed) delete dc->PopFont();
}

bool CChartTick::push_font(CChartDC* dc) {
    if (extra != 0 || !has_text_style || !text_style) return false;
    text_style->Realize(dc);
    dc->PushFont(new CChartFont(text_style->GetLogFont()));
    return true;
}

const CChartTextStyle& CChartTick::label_style() const {
    static const CChartTextStyle plain;
    if (row_style_) return *row_style_;
    return extra == 0 && has_text_style && text_style ? *text_style : plain;
}

CChartPoint CChartTick::place_label(SIZE ext, RECT* r) const {
    const CChartTextStyle& ts = label_style();
    const CChartPoint p2 = v_[1]->GetScreenPoint(), p3 = v_[2]->GetScreenPoint();
    const CChartPoint anchor = label_at_middle_ ? p2 : p3;
    CChartPoint at = AnchorLabel(anchor, ext.cx, ext.cy, ts);
    // The text's turned extent, as the anchoring reckons it; a text turned
    // upward stands above its origin.
    const double theta = ts.GetAngleRadians();
    const int w = CChartView3D::ScreenInt(ext.cx * std::cos(theta) + ext.cy * std::sin(theta));
    const int h = CChartView3D::ScreenInt(ext.cx * std::sin(theta) + ext.cy * std::cos(theta));
    const int top = ts.GetAngle() > 0 ? at.y - h : at.y;
    r->left = std::min(at.x, at.x + w);
    r->right = std::max(at.x, at.x + w);
    r->top = std::min(top, top + h);
    r->bottom = std::max(top, top + h);
    // The text's origin and box moved together.
    auto move = [&](int dx, int dy) {
        at.x += dx;
        at.y += dy;
        OffsetRect(r, dx, dy);
    };
    if (past_mark_ && !label_at_middle_) {
        // The anchoring puts the text on one side of the mark's tip (or
        // centres it there); on each side it is put on, it is moved on past
        // the whole mark, which may run back from the tip towards the text.
        constexpr int gap = 2;
        int dx = 0, dy = 0;
        if (p2.y != p3.y) {
            if (r->top >= anchor.y)
                dy = std::max(p2.y, p3.y) - anchor.y + gap;
            else if (r->bottom <= anchor.y)
                dy = std::min(p2.y, p3.y) - anchor.y - gap;
        }
        if (p2.x != p3.x) {
            if (r->left >= anchor.x)
                dx = std::max(p2.x, p3.x) - anchor.x + gap;
            else if (r->right <= anchor.x)
                dx = std::min(p2.x, p3.x) - anchor.x - gap;
        }
        move(dx, dy);
    }
    if (nudge_x_ || nudge_y_ || drop_) {
        const int dx = nudge_x_ * ((r->right - r->left) / 2 + 1),
                  dy = nudge_y_ * ((r->bottom - r->top) / 2 + 1) +
                       drop_ * ((r->bottom - r->top) * 5 / 4 + 1);
        move(dx, dy);
    }
    return at;
}

bool CChartTick::LabelRect(CChartDC* dc, RECT* r) {
    if (!dc || !r || !has_label_ || !show_label_ || label_.Length() < 1) return false;
    const bool pushed = push_font(dc);
    const SIZE ext = measure(dc, label_.c_str());
    if (pushed) delete dc->PopFont();
    place_label(ext, r);
    return true;
}

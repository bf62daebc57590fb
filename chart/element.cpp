// The base element of a plot: its owned or shared styles, pen and brush
// selection, and the default passes.
#include "chart/element.h"

// A null style is no style: nothing may select a pen from it.
CChartElement::CChartElement(CChartStyle* s) : style(s), has_style(s ? 1 : 0) {}

CChartElement::~CChartElement() {
    if (has_style && owns_style) delete style;
    if (has_text_style && owns_text_style) delete text_style;
}

void CChartElement::MakeTextStyle() {
    auto* made = new CChartTextStyle();
    if (has_text_style && owns_text_style) delete text_style;
    text_style = made;
    has_text_style = owns_text_style = 1;
}

void CChartElement::SetTextStyle(CChartTextStyle* ts) {
    if (ts && ts == text_style) return; // already ours: deleting it would leave it dangling
    if (!ts) {
        // Letting go of a text style it made would lose it: it goes now.
        if (has_text_style && owns_text_style) delete text_style;
        text_style = nullptr;
        has_text_style = owns_text_style = 0;
        return;
    }
    if (has_text_style && owns_text_style) delete text_style;
    text_style = ts;
    has_text_style = 1;
    owns_text_style = 0;
}

void CChartElement::MakeStyle() {
    auto* made = new CChartStyle();
    if (has_style && owns_style) delete style;
    style = made;
    has_style = owns_style = 1;
}

void CChartElement::SetStyle(CChartStyle* s) {
    if (s && s == style) return; // already ours: deleting it would leave it dangling
    if (!s) {
        // Letting go of a style it made would lose it: it goes now.
        if (has_style && owns_style) delete style;
        style = nullptr;
        has_style = owns_style = 0;
        return;
    }
    if (has_style && owns_style) delete style;
    style = s;
    has_style = 1;
    owns_style = 0;
}

void CChartElement::SetView(CChartView3D*) {
    viewed = 1;
}

int CChartElement::ToScreen(CChartView3D* view) {
    if (!viewed) SetView(view);
    return viewed;
}

CChartStyle* CChartElement::GetStyle() {
    if (!has_style) MakeStyle();
    return style;
}

CChartTextStyle* CChartElement::GetTextStyle() {
    if (!has_text_style) MakeTextStyle();
    return text_style;
}

void CChartElement::SelectBrush(CChartDC* dc) {
    if (!dc || hidden || no_fill) return;
    dc->PushNewBrush(has_style && style ? style->GetFillColor() : CChartColor(255, 255, 255));
    ++brushes_pushed_;
}

void CChartElement::SelectPen(CChartDC* dc) {
    if (!dc || hidden || no_outline) return;
    if (has_style && style)
        dc->PushPen(
            new CChartPen(style->GetPenColor(), style->GetPenStyle(), style->GetPenWidth()));
    else
        dc->PushPen(new CChartPen(CChartColor(0, 0, 0), PS_SOLID, 1));
    ++pens_pushed_;
}

void CChartElement::UnselectBrush(CChartDC* dc) {
    if (!dc || brushes_pushed_ == 0) return;
    --brushes_pushed_;
    delete dc->PopBrush();
}

void CChartElement::UnselectPen(CChartDC* dc) {
    if (!dc || pens_pushed_ == 0) return;
    --pens_pushed_;
    delete dc->PopPen();
}

// The base of everything a plot draws: its line/fill and text styles (each
// owned or shared), the switches that keep it from selecting a pen or brush,
// and the virtual operations the plot's passes run over every element.
#pragma once

#include "chart/values.h"

class CChartView3D;

class CChartElement {
public:
    CChartElement() = default;
    // Shares `style` (the element never deletes it).
    explicit CChartElement(CChartStyle* style);
    CChartElement(const CChartElement&) = delete;
    CChartElement& operator=(const CChartElement&) = delete;
    virtual ~CChartElement();

    virtual void MakeTextStyle();
    virtual void SetTextStyle(CChartTextStyle* ts);
    virtual void SetView(CChartView3D* view);
    virtual void Project(CChartView3D*) {}
    virtual int ToScreen(CChartView3D* view);
    virtual void Scale(double, double, double) {}
    virtual void Translate(double, double, double) {}
    virtual void MakeStyle();
    virtual void SetStyle(CChartStyle* style);
    virtual int SetFlagA(int v) { return flag_a = v; }
    virtual int SetFlagB(int v) { return flag_b = v; }
    virtual int SetFlagC(int v) { return flag_c = v; }
    virtual int SetVisible(int v) { return visible = v; }
    virtual int SetHidden(int v) { return hidden = v; }
    virtual void Prepare(CChartDC*) {}
    virtual void Draw(CChartDC*) {}
    virtual void DrawBody(CChartDC*) {}
    virtual double GetWorldMinX() const { return 0.0; }
    virtual double GetWorldMaxX() const { return 0.0; }
    virtual double GetWorldMinY() const { return 0.0; }
    virtual double GetWorldMaxY() const { return 0.0; }
    virtual double GetWorldMinZ() const { return 0.0; }
    virtual double GetWorldMaxZ() const { return 0.0; }
    virtual double GetTransformedMinX() const { return 0.0; }
    virtual double GetTransformedMaxX() const { return 0.0; }
    virtual double GetTransformedMinY() const { return 0.0; }
    virtual double GetTransformedMaxY() const { return 0.0; }
    virtual double GetTransformedMinZ() const { return 0.0; }
    virtual double GetTransformedMaxZ() const { return 0.0; }
    virtual double GetProjectedMinX() const { return 0.0; }
    virtual double GetProjectedMaxX() const { return 0.0; }
    virtual double GetProjectedMinY() const { return 0.0; }
    virtual double GetProjectedMaxY() const { return 0.0; }
    virtual double GetProjectedMinZ() const { return 0.0; }
    virtual double GetProjectedMaxZ() const { return 0.0; }

    CChartStyle* GetStyle();
    CChartTextStyle* GetTextStyle();
    void SetExtra(int v) { extra = v; }
    void SetNoOutline(int v) { no_outline = v; }
    void SetNoFill(int v) { no_fill = v; }
    int IsVisible() const { return visible; }
    bool HasStyle() const { return has_style; }
    bool OwnsStyle() const { return owns_style; }
    int IsViewed() const { return viewed; }

    // Selecting pushes a brush (pen) unless the element is hidden or has no
    // fill (outline); unselecting pops exactly what its twin pushed, even
    // when the switches changed in between.
    void SelectBrush(CChartDC* dc);
    void SelectPen(CChartDC* dc);
    void UnselectBrush(CChartDC* dc);
    void UnselectPen(CChartDC* dc);

protected:
    CChartStyle* style = nullptr;
    int has_style = 0;
    int owns_style = 0;
    CChartTextStyle* text_style = nullptr;
    int has_text_style = 0;
    int owns_text_style = 0;
    int no_fill = 0;
    int extra = 0;
    int no_outline = 0;
    int flag_a = 0;
    int flag_b = 0;
    int flag_c = 0;
    int hidden = 0;
    int viewed = 0;
    int visible = 1;

private:
    int brushes_pushed_ = 0;
    int pens_pushed_ = 0;
};

// What the data model asks of its plot after a change: the passes, which it
// runs in order. The plot base implements them.
#pragma once

class CChartData;

class CChartPlotPasses {
public:
    virtual ~CChartPlotPasses() = default;
    // Takes the data's bounds and labels and marks every later pass due.
    virtual void Build(CChartData* data) = 0;
    // Re-derives the box, scale and offset from the bounds taken.
    virtual void Rebuild() = 0;
    virtual void ProjectPass() = 0;
    virtual void ToScreenPass() = 0;
    virtual void SetViewPass() = 0;
};

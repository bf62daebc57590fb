// The plot as the data model sees it: the passes it runs after a change.
#pragma once

class CChartData;

class CChartPlot {
public:
    virtual ~CChartPlot() = default;
    // Takes the data's bounds and labels and marks every later pass due.
    virtual void Build(CChartData* data) = 0;
    // Re-derives the box, scale and offset from the bounds taken.
    virtual void Rebuild() = 0;
    virtual void ProjectPass() = 0;
    virtual void ToScreenPass() = 0;
    virtual void SetViewPass() = 0;
};

#pragma once
// Holds the live series' picture still. While held, arriving points and scope-data resets are
// kept aside instead of reaching the series (whatever stores, answers or archives them goes on
// elsewhere); releasing applies them in order, so the series then shows everything received
// meanwhile. Zoom and scroll belong to the chart and keep working throughout.

#include "chart/core/ChartModel.h"
#include "chart/core/ChartSeries.h"

#include <QPointF>
#include <vector>

class TScopeHold {
public:
    TScopeHold(TChartModel& chart, TChartSeries& series);

    void AddPoint(double x, double y);
    // A scope-data reset: the series emptied and the zoom undone.
    void Reset();

    bool Held() const { return held_; }
    void SetHeld(bool held);
    // Points kept aside since the hold began, or since the last reset during it.
    int PendingCount() const { return int(pending_.size()); }

private:
    void reset();

    TChartModel& chart_;
    TChartSeries& series_;
    bool held_ = false;
    bool resetPending_ = false;
    // At most the points of one capture: a reset during the hold drops those before it.
    std::vector<QPointF> pending_;
};

#pragma once
// Holds the live series' picture still. While held, arriving points, scope-data resets and the
// live capture's units and identity are kept aside instead of reaching the chart (whatever
// stores, answers or archives them goes on elsewhere); releasing applies them in order, so the
// chart then shows everything received meanwhile, titled with its own units. A held picture
// keeps the titles it was taken with. Zoom and scroll belong to the chart and keep working
// throughout.

#include "chart/core/ChartModel.h"
#include "chart/core/ChartSeries.h"
#include "chart/core/TraceInfo.h"

#include <QPointF>
#include <vector>

class TChartTraces;

class TScopeHold {
public:
    // Without traces the units go straight to the bottom and left axis titles.
    TScopeHold(TChartModel& chart, TChartSeries& series, TChartTraces* traces = nullptr);

    void AddPoint(double x, double y);
    // A scope-data reset: the series emptied and the zoom undone.
    void Reset();
    // The units the device set for what follows, and the capture the points belong to.
    void SetXUnit(const QString& unit);
    void SetYUnit(const QString& unit);
    void SetCapture(const TTraceInfo& info);
    // What arrived last, shown or not: the units a capture being stored now was taken in.
    const TTraceInfo& Incoming() const { return incoming_; }

    bool Held() const { return held_; }
    void SetHeld(bool held);
    // Points kept aside since the hold began, or since the last reset during it.
    int PendingCount() const { return int(pending_.size()); }

private:
    void reset();
    void applyInfo();
    void liveChanged();

    TChartModel& chart_;
    TChartSeries& series_;
    TChartTraces* traces_;
    bool held_ = false;
    bool resetPending_ = false;
    bool infoPending_ = false;
    TTraceInfo incoming_;
    // At most the points of one capture: a reset during the hold drops those before it.
    std::vector<QPointF> pending_;
};

#include "chart/core/ScopeHold.h"

TScopeHold::TScopeHold(TChartModel& chart, TChartSeries& series)
    : chart_(chart)
    , series_(series)
{
}

void TScopeHold::AddPoint(double x, double y)
{
    if (held_) {
        pending_.emplace_back(x, y);
    } else {
        series_.AddPoint(x, y, QString(), clDefault);
    }
}

void TScopeHold::Reset()
{
    if (held_) {
        pending_.clear();
        resetPending_ = true;
    } else {
        reset();
    }
}

void TScopeHold::SetHeld(bool held)
{
    if (held == held_) {
        return;
    }
    held_ = held;
    if (held_) {
        return;
    }
    if (resetPending_) {
        resetPending_ = false;
        reset();
    }
    for (const QPointF& p : pending_) {
        series_.AddPoint(p.x(), p.y(), QString(), clDefault);
    }
    pending_.clear();
    pending_.shrink_to_fit();
}

void TScopeHold::reset()
{
    series_.Clear();
    chart_.UndoZoom();
}

#include "chart/core/ScopeHold.h"

#include "chart/core/ChartTraces.h"

TScopeHold::TScopeHold(TChartModel& chart, TChartSeries& series, TChartTraces* traces)
    : chart_(chart)
    , series_(series)
    , traces_(traces)
{
    incoming_ = traces ? traces->LiveInfo() : TTraceInfo{};
    if (!traces) {
        incoming_.xUnit = chart.BottomAxis().Title().Caption();
        incoming_.yUnit = chart.LeftAxis().Title().Caption();
    }
}

void TScopeHold::AddPoint(double x, double y)
{
    if (held_) {
        pending_.emplace_back(x, y);
        return;
    }
    series_.AddPoint(x, y, QString(), clDefault);
    if (series_.Count() == 1) {
        liveChanged();
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

void TScopeHold::SetXUnit(const QString& unit)
{
    incoming_.xUnit = unit;
    applyInfo();
}

void TScopeHold::SetYUnit(const QString& unit)
{
    incoming_.yUnit = unit;
    applyInfo();
}

void TScopeHold::SetCapture(const TTraceInfo& info)
{
    const QString x = incoming_.xUnit;
    const QString y = incoming_.yUnit;
    incoming_ = info;
    incoming_.xUnit = x;
    incoming_.yUnit = y;
    applyInfo();
}

void TScopeHold::applyInfo()
{
    if (held_) {
        infoPending_ = true;
        return;
    }
    infoPending_ = false;
    if (traces_) {
        traces_->SetLiveInfo(incoming_);
    } else {
        chart_.BottomAxis().Title().SetCaption(incoming_.xUnit);
        chart_.LeftAxis().Title().SetCaption(incoming_.yUnit);
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
    if (infoPending_) {
        applyInfo();
    }
    const bool wasEmpty = series_.Count() == 0;
    for (const QPointF& p : pending_) {
        series_.AddPoint(p.x(), p.y(), QString(), clDefault);
    }
    pending_.clear();
    pending_.shrink_to_fit();
    if (wasEmpty && series_.Count() > 0) {
        liveChanged();
    }
}

void TScopeHold::reset()
{
    series_.Clear();
    chart_.UndoZoom();
    liveChanged();
}

void TScopeHold::liveChanged()
{
    if (traces_) {
        traces_->LiveChanged();
    }
}

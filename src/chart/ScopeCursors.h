#pragma once
// The measuring cursors A and B on the scope chart: draws their lines over the chart, drags a
// line under a left press (instead of a zoom), and moves the cursor last touched one sample of
// the measured trace per arrow key while the chart (or a watched button) has the focus.

#include "chart/core/ChartCursors.h"

#include <QObject>
#include <optional>

class TChart;

class TScopeCursors : public QObject {
    Q_OBJECT
public:
    TScopeCursors(TChart& chart, const TChartTraces& traces, QObject* parent = nullptr);
    ~TScopeCursors() override;

    TChartCursors& Cursors() { return cursors_; }
    void SetOn(TCursorId which, bool on);
    // Arrow keys on this widget move `which`.
    void WatchKeys(QWidget* widget, TCursorId which);

signals:
    // A cursor was turned on or off or moved.
    void Changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void moved();
    void drawLines();
    bool step(TCursorId which, int key);

    TChart& chart_;
    TChartCursors cursors_;
    std::optional<TCursorId> dragging_;
    bool linesQueued_ = false;
};

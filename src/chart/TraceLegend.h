#pragma once
// The legend of the scope chart's traces, on the chart at the plotting rectangle's top right:
// a row per trace (the live one first) with a tick, its colour, №, event, start time, units
// and, for a trace that is not drawn, why. A click on the tick hides or shows the trace, a
// click elsewhere on the row selects it (drawn thicker). Shown while a stored capture is.

#include "chart/core/ChartTraces.h"

#include <QFont>
#include <QWidget>
#include <vector>

class TChart;

class TraceLegend : public QWidget {
    Q_OBJECT
public:
    TraceLegend(TChart& chart, TChartTraces& traces);

    // Rows read again from the traces, size and place set.
    void Refresh();
    const std::vector<TLegendRow>& Rows() const { return rows_; }
    // The row under a point of the legend (-1: none) and whether the point is on its tick.
    int RowAt(QPoint at, bool* onTick = nullptr) const;

    // The legend's picture, also drawn into a saved picture of the chart.
    static QSize SizeFor(const std::vector<TLegendRow>& rows, const QFont& font);
    static void Paint(QPainter& painter, QPoint at, const std::vector<TLegendRow>& rows, const QFont& font);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    TChart& chart_;
    TChartTraces& traces_;
    std::vector<TLegendRow> rows_;
    QFont sizedFor_; // the font rows_ were last measured in
    bool placeQueued_ = false;
};

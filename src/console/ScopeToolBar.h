#pragma once
// The bar below the scope chart's left end: "Задръж" (HoldScope) holds the live picture still,
// "PNG" (SaveChart) writes the chart's picture with its title block to a file and says where
// (SaveStatus), and CursorReadout is the scope cursor: at the mouse's X the value of every
// drawn trace in its own units, with a marker line on the chart. The bar also puts the traces'
// legend on the chart. The hold itself is TScopeHold; the window sends the scope's points,
// resets and units through Hold().

#include "chart/core/ChartTraces.h"
#include "chart/core/ScopeHold.h"

#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class TChart;
class TraceLegend;

class TScopeToolBar : public QWidget {
    Q_OBJECT
public:
    TScopeToolBar(TChart& chart, TChartTraces& traces, QWidget* parent = nullptr);
    ~TScopeToolBar() override;

    TScopeHold& Hold() { return *hold_; }
    TChartTraces& Traces() { return traces_; }

    // Renders the chart now and writes it as PNG on a worker thread; PictureSaved follows.
    void SaveChartTo(const QString& path);
    void SaveChartClick();

    // Asks the operator for the picture's file, proposing a name without folder or extension
    // (empty: cancelled); ".png" is added when missing.
    std::function<QString(const QString& proposedName)> ChoosePictureFile;
    // How a picture that could not be written reaches the operator.
    std::function<void(const QString& message)> ErrorReport;

    QPushButton* HoldScope = nullptr;
    QPushButton* SaveChart = nullptr;
    QLabel* CursorReadout = nullptr;
    QLabel* SaveStatus = nullptr;
    TraceLegend* Legend = nullptr;

signals:
    void PictureSaved(const QString& path, bool ok);
    // A trace was shown, hidden, ticked or selected, or its units changed.
    void TracesChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pictureWritten(const QString& path, bool ok);
    void showReadout();
    void tracesChanged();

    TChart& chart_;
    TChartTraces& traces_;
    std::unique_ptr<TScopeHold> hold_;
    std::optional<QPoint> mouse_; // over the chart
    bool readoutQueued_ = false;
};

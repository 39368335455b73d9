#pragma once
// The bar below the scope chart's left end: "Задръж" (HoldScope) holds the live picture still,
// "PNG" (SaveChart) writes the chart's picture with its title block to a file and says where
// (SaveStatus), and CursorReadout is the scope cursor: at the mouse's X the value of every
// drawn trace in its own units, with a marker line on the chart. The bar also puts the traces'
// legend on the chart. The hold itself is TScopeHold; the window sends the scope's points,
// resets and units through Hold().
// "A" and "B" (CursorA, CursorB) turn the measuring cursors on, read out below by CursorPanel;
// MeasurePanel below measures the selected trace, between the cursors when both are on, and
// "Спектър" (ShowSpectrum) opens its spectrum (SpectrumChart). Both follow the trace as it
// changes. The limit of a trace's quantity comes from the window through LimitFor.

#include "chart/core/ChartTraces.h"
#include "chart/core/ScopeHold.h"
#include "measure/Measure.h"

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
class CursorPanel;
class MeasurePanel;
class SpectrumChart;
class TScopeCursors;

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
    // The read-out limit of the quantity a trace's Y unit measures, if it has one.
    std::function<std::optional<measure::TLimit>(const QString& yUnit)> LimitFor;

    // Measures the selected trace and reads the cursors again now, not on the next pass.
    void RefreshMeasures();
    // Opens the spectrum window (made on first use).
    void ShowSpectrumClick();

    QPushButton* HoldScope = nullptr;
    QPushButton* SaveChart = nullptr;
    QLabel* CursorReadout = nullptr;
    QLabel* SaveStatus = nullptr;
    TraceLegend* Legend = nullptr;
    QPushButton* CursorA = nullptr;
    QPushButton* CursorB = nullptr;
    QPushButton* ShowSpectrum = nullptr;
    TScopeCursors* Cursors = nullptr;
    CursorPanel* CursorValues = nullptr;
    MeasurePanel* Measures = nullptr;
    SpectrumChart* Spectrum = nullptr; // until first opened

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
    void queueMeasures();

    // What the shown measurements were made of: the same again is not measured again.
    struct TMeasured {
        std::int64_t id = -2;
        int count = 0;
        double firstX = 0;
        double lastX = 0;
        double sumY = 0;
        std::optional<std::pair<double, double>> range;
        std::optional<double> limit;
        QString xUnit;
        QString yUnit;
        bool spectrum = false;
        bool held = false;
        bool operator==(const TMeasured&) const = default;
    };

    TChart& chart_;
    TChartTraces& traces_;
    std::unique_ptr<TScopeHold> hold_;
    std::optional<QPoint> mouse_; // over the chart
    bool readoutQueued_ = false;
    bool measuresQueued_ = false;
    TMeasured measured_;
};

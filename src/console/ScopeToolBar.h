#pragma once
// The bar below the scope chart's left end: "Задръж" (HoldScope) holds the live picture still,
// "PNG" (SaveChart) writes the chart's picture to a file, and CursorReadout shows the live
// series' point nearest to the mouse. The hold itself is TScopeHold; the window sends the
// scope's points and resets through Hold().

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
class TLineSeries;

class TScopeToolBar : public QWidget {
    Q_OBJECT
public:
    TScopeToolBar(TChart& chart, TLineSeries& series, QWidget* parent = nullptr);
    ~TScopeToolBar() override;

    TScopeHold& Hold() { return *hold_; }

    // Renders the chart now and writes it as PNG on a worker thread; PictureSaved follows.
    void SaveChartTo(const QString& path);
    void SaveChartClick();

    // Asks the operator for the picture's file (empty: cancelled); ".png" is added when missing.
    std::function<QString()> ChoosePictureFile;
    // How a picture that could not be written reaches the operator.
    std::function<void(const QString& message)> ErrorReport;

    QPushButton* HoldScope = nullptr;
    QPushButton* SaveChart = nullptr;
    QLabel* CursorReadout = nullptr;

signals:
    void PictureSaved(const QString& path, bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pictureWritten(const QString& path, bool ok);
    void showReadout();

    TChart& chart_;
    TLineSeries& series_;
    std::unique_ptr<TScopeHold> hold_;
    std::optional<QPoint> mouse_; // over the chart
    bool readoutQueued_ = false;
};

#pragma once
// The graphic-data page ("Графични данни"): the chart with its traces, the scope bar and the
// zoom buttons, the read-outs with their limits, and the five event counters. The read-outs are
// painted here (grey while the link is down); section "Limits" of the settings file is read and
// written here.

#include "common/Color.h"
#include "console/core/ReadoutShade.h"
#include "session/RecordParser.h"

#include <QFont>
#include <QSet>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

class QLabel;
class QPushButton;
class TChart;
class TChartTraces;
class TIniFile;
class TLineSeries;
class TScopeToolBar;
class TValidateEdit;

class ScopePage : public QWidget {
    Q_OBJECT
public:
    explicit ScopePage(QWidget* parent = nullptr);
    ~ScopePage() override;

    TChartTraces& Traces() const { return *traces_; }
    QString LimitText(TLimit which) const;
    void ShowReadout(TReadout which, const QString& value);
    void SetReadoutColor(TReadout which, TColor color);
    void SetCounter(TEvent which, std::uint16_t value, TColor background);
    // The link went down: the read-outs turn grey and say when their values came.
    void LinkDown();
    // A record came: the read-outs, if down, show their colours again.
    void LinkUp();

    void LoadLimits(const TIniFile& ini);
    void SaveLimits(TIniFile& ini) const;

    TChart* Chart1 = nullptr;
    TLineSeries* Series1 = nullptr;
    // The first reference trace's line (the grey one); the others are Series3 … Series9.
    TLineSeries* Series2 = nullptr;
    // "Задръж", "PNG", the scope cursor's read-out below the chart and the traces' legend.
    TScopeToolBar* ScopeBar = nullptr;
    QLabel* Voltage = nullptr;
    QLabel* Current = nullptr;
    QLabel* Temperature = nullptr;
    TValidateEdit* VoltageLimit = nullptr;
    TValidateEdit* CurrentLimit = nullptr;
    TValidateEdit* TempLimit = nullptr;
    QPushButton* Button16 = nullptr;
    QPushButton* Button17 = nullptr;
    QPushButton* Button18 = nullptr;
    QPushButton* Button19 = nullptr;
    QPushButton* Button20 = nullptr;
    // The event counters in the order of the event kinds, each named after its kind.
    std::array<TValidateEdit*, kEventCount> Counters{};
    TValidateEdit* Counter(TEvent which) const { return Counters[std::size_t(which)]; }
    QPushButton* Button14 = nullptr;

private:
    QLabel* readout(TReadout which) const;
    void paintReadout(TReadout which);

    std::unique_ptr<TChartTraces> traces_;
    TReadoutShade shade_;
    // The shapes of value each read-out was measured for, in its font.
    struct Measured {
        QSet<QString> shapes;
        QFont font;
    };
    std::array<Measured, 3> measured_;
};

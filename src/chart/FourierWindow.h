#pragma once
// A window with the magnitude spectrum of the measured trace on a chart of its own (our
// TChart with one line), the peak's frequency and magnitude above it, and a note when the
// trace's samples were not evenly spaced and had to be resampled first.

#include "common/Color.h"
#include "measure/Fourier.h"

#include <QWidget>

class QLabel;
class TChart;
class TLineSeries;

class SpectrumChart : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumChart(QWidget* parent = nullptr);

    struct TTrace {
        QString name;
        TColor color = clRed;
        QString xUnit;
        QString yUnit;
        bool betweenCursors = false;
    };
    void Show(const TTrace& trace, const measure::TSpectrum& spectrum);
    void ShowNone();

    TChart* Chart = nullptr;
    TLineSeries* Series = nullptr;
    QLabel* Peak = nullptr;
    QLabel* Note = nullptr;
};
